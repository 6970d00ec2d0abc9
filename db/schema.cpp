#include "schema.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

static void initResources() { Q_INIT_RESOURCE(schema); }

QStringList SchemaStatements(const QString& resource)
{
    initResources();
    QFile f(resource);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    QStringList statements;
    QString current;
    const QStringList lines = QString::fromUtf8(f.readAll()).split('\n');
    for (const QString& raw : lines) {
        const QString line = raw.trimmed();
        if (line.isEmpty() || line.startsWith("--"))
            continue;
        current += raw + '\n';
        if (line.endsWith(';')) {
            statements << current.trimmed();
            current.clear();
        }
    }
    if (!current.trimmed().isEmpty())
        statements << current.trimmed();
    return statements;
}

static bool createFromScript(const QString& path, const QString& resource, QString* error)
{
    auto fail = [error](const QString& text) {
        if (error)
            *error = text;
        return false;
    };
    if (QFileInfo::exists(path))
        return fail(QStringLiteral("%1 already exists; it is left as it is.").arg(path));
    const QFileInfo target(path);
    if (!target.absoluteDir().exists())
        return fail(QStringLiteral("The folder of %1 does not exist.").arg(path));

    const QStringList statements = SchemaStatements(resource);
    if (statements.isEmpty())
        return fail(QStringLiteral("The schema %1 could not be read.").arg(resource));

    const QString temp = target.absoluteFilePath() + ".new-" + QUuid::createUuid().toString(QUuid::Id128).left(8);
    const QString connName = "krv-schema-" + QUuid::createUuid().toString(QUuid::Id128);
    QString message;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", connName);
        db.setDatabaseName(temp);
        if (!db.open()) {
            message = db.lastError().text();
        } else {
            QSqlQuery q(db);
            q.exec("PRAGMA journal_mode=DELETE");
            if (!q.exec("BEGIN"))
                message = q.lastError().text();
            for (const QString& sql : statements) {
                if (!message.isEmpty())
                    break;
                if (!q.exec(sql))
                    message = q.lastError().text() + "\n" + sql;
            }
            if (message.isEmpty() && !q.exec("COMMIT"))
                message = q.lastError().text();
            q.finish();
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(connName);
    if (message.isEmpty() && !QFile::rename(temp, path))
        message = QStringLiteral("%1 could not be written.").arg(path);
    if (!message.isEmpty()) {
        QFile::remove(temp);
        QFile::remove(temp + "-journal");
        return fail(message);
    }
    return true;
}

bool CreateTunnelDatabase(const QString& path, QString* error)
{
    return createFromScript(path, ":/db/krv_schema.sql", error);
}

bool CreateReportDatabase(const QString& path, QString* error)
{
    return createFromScript(path, ":/db/reportdata_schema.sql", error);
}

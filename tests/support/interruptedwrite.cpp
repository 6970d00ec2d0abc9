#include "interruptedwrite.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

namespace {

QByteArray contentOf(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool replaceWith(const QString& from, const QString& to)
{
    QFile::remove(to);
    return QFile::rename(from, to);
}

}  // namespace

bool LeaveInterruptedWrite(const QString& path, const QStringList& statements, QString* why)
{
    const QString name = QStringLiteral("interrupted-writer");
    const QString crashed = path + QStringLiteral(".crashed");
    const QString journal = QStringLiteral("-journal");
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        QSqlQuery q(db);
        auto run = [&](const QString& sql) {
            if (q.exec(sql))
                return true;
            *why = sql + QStringLiteral(": ") + q.lastError().text();
            return false;
        };
        // A small page cache spills the filler to the file long before the commit.
        ok = db.open() && run(QStringLiteral("PRAGMA journal_mode=DELETE")) && run(QStringLiteral("PRAGMA cache_size=8"));
        const QByteArray before = contentOf(path);
        ok = ok && run(QStringLiteral("BEGIN IMMEDIATE"));
        for (const QString& sql : statements)
            ok = ok && run(sql);
        ok = ok && run(QStringLiteral("CREATE TABLE interrupted_filler (x BLOB)")) &&
             run(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 300) "
                                "INSERT INTO interrupted_filler SELECT randomblob(4000) FROM n"));
        // The crash: the file and its journal as they are now, the write still open.
        QFile::remove(crashed);
        QFile::remove(crashed + journal);
        if (ok && (!QFile::copy(path, crashed) || !QFile::copy(path + journal, crashed + journal))) {
            *why = QStringLiteral("the file and its journal could not be copied");
            ok = false;
        }
        if (ok && contentOf(crashed) == before) {
            *why = QStringLiteral("the unfinished write did not reach the file");
            ok = false;
        }
        q.finish();
        if (db.isOpen())
            QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    if (ok && (!replaceWith(crashed, path) || !replaceWith(crashed + journal, path + journal))) {
        *why = QStringLiteral("the crashed copy could not take the file's place");
        ok = false;
    }
    return ok;
}

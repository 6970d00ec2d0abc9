#pragma once
// What the replication tests need around the store: tunnel databases in a temporary folder, and the files
// read and written straight, as another program (the sqlite3 shell) would.
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <sqlite3.h>

#include "../repl/raisedcode.h"
#include "schema.h"

// A plain SQLite connection.
class Plain {
public:
    explicit Plain(const QString& path)
    {
        sqlite3_open_v2(QFile::encodeName(path).constData(), &m_db, SQLITE_OPEN_READWRITE, nullptr);
        sqlite3_busy_timeout(m_db, 5000);
    }
    ~Plain() { sqlite3_close_v2(m_db); }
    Plain(const Plain&) = delete;
    Plain& operator=(const Plain&) = delete;

    // The SQLite result code of running every statement of sql.
    int exec(const QString& sql)
    {
        char* err = nullptr;
        const int rc = sqlite3_exec(m_db, sql.toUtf8().constData(), nullptr, nullptr, &err);
        if (err) {
            m_error = QString::fromUtf8(err);
            sqlite3_free(err);
        }
        return rc;
    }
    // Every row of the first statement of sql, its values joined by "|" (NULL as "NULL"); one row
    // "<error ...>" when it cannot be prepared.
    QStringList rows(const QString& sql)
    {
        QStringList out;
        sqlite3_stmt* s = nullptr;
        if (sqlite3_prepare_v2(m_db, sql.toUtf8().constData(), -1, &s, nullptr) != SQLITE_OK)
            return {QStringLiteral("<error %1>").arg(QString::fromUtf8(sqlite3_errmsg(m_db)))};
        while (sqlite3_step(s) == SQLITE_ROW) {
            QStringList cells;
            for (int c = 0; c < sqlite3_column_count(s); ++c) {
                const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(s, c));
                cells << (t ? QString::fromUtf8(t) : QStringLiteral("NULL"));
            }
            out << cells.join(QLatin1Char('|'));
        }
        sqlite3_finalize(s);
        return out;
    }
    QString one(const QString& sql)
    {
        const QStringList r = rows(sql);
        return r.isEmpty() ? QString() : r.first();
    }
    QString error() const { return m_error; }

private:
    sqlite3* m_db = nullptr;
    QString m_error;
};

// The first row of one statement on the file (a write runs as well).
inline QString one(const QString& path, const QString& sql)
{
    return Plain(path).one(sql);
}

// The user data of the tables of a file, change columns left out, in a fixed order.
inline QStringList tableContent(const QString& path, const QStringList& tables)
{
    Plain db(path);
    QStringList out;
    for (const QString& t : tables) {
        QStringList cols, order;
        for (const QString& r : db.rows(QStringLiteral("SELECT name FROM pragma_table_info('%1')").arg(t)))
            if (!r.startsWith(QLatin1String("s_"))) {
                cols << QStringLiteral("quote(\"%1\")").arg(r);
                order << QString::number(cols.size());
            }
        // Ordered by every column, whatever their number.
        const QString sql = QStringLiteral("SELECT %1 FROM \"%2\" ORDER BY %3").arg(cols.join(", "), t, order.join(", "));
        for (const QString& r : db.rows(sql))
            out << t + QLatin1Char(':') + r;
    }
    return out;
}

// An empty tunnel database at path; the test cannot go on without one.
inline QString newTunnelDb(const QString& path)
{
    QString error;
    if (!CreateTunnelDatabase(path, &error))
        qFatal("%s", qPrintable(error));
    return path;
}

inline QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Rebuilds path with the sqlite3 shell, as people repair or copy a file: ".dump" piped into a new file, or
// ".clone". Both renumber the rowids of a table without an INTEGER PRIMARY KEY after gaps. The rebuilt file
// takes path's name; an empty answer means it worked, else what went wrong.
inline QString rebuildWithShell(const QString& path, bool clone)
{
    const QString shell = QStandardPaths::findExecutable(QStringLiteral("sqlite3"));
    if (shell.isEmpty())
        return QStringLiteral("the sqlite3 shell (Debian package sqlite3) is not installed");
    const QString rebuilt = path + QStringLiteral(".rebuilt");
    QFile::remove(rebuilt);
    if (clone) {
        QProcess p;
        p.start(shell, {path, QStringLiteral(".clone %1").arg(rebuilt)});
        if (!p.waitForFinished(60000) || p.exitCode() != 0)
            return QString::fromUtf8(p.readAllStandardError());
    } else {
        QProcess dump, load;
        dump.setStandardOutputProcess(&load);
        dump.start(shell, {path, QStringLiteral(".dump")});
        load.start(shell, {rebuilt});
        if (!dump.waitForFinished(60000) || dump.exitCode() != 0)
            return QString::fromUtf8(dump.readAllStandardError());
        if (!load.waitForFinished(60000) || load.exitCode() != 0)
            return QString::fromUtf8(load.readAllStandardError());
        const QString err = QString::fromUtf8(load.readAllStandardError());
        if (!err.isEmpty())
            return err;
    }
    if (!QFile::remove(path) || !QFile::rename(rebuilt, path))
        return QStringLiteral("the rebuilt file could not take the name %1").arg(path);
    return QString();
}

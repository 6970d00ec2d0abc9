#pragma once
// Another program's connection to the tunnel database, for tests of what the program does
// while that one holds a lock.
#include "db.h"

#include <QProcess>
#include <QString>
#include <memory>

// Its own short busy wait, so a test's lock calls fail fast instead of waiting on the program.
inline std::unique_ptr<Connection> OpenOtherProgram(const QString& dbPath)
{
    auto other = std::make_unique<Connection>(QStringLiteral("tst-holder"));
    other->open(dbPath, false, 100);
    return other;
}

// The other program holding the write lock until it commits or rolls back.
inline std::unique_ptr<Connection> HoldWriteLock(const QString& dbPath)
{
    auto other = OpenOtherProgram(dbPath);
    other->exec(QStringLiteral("BEGIN IMMEDIATE"));
    return other;
}

// Another program writing the file: the sqlite3 shell runs the statements and ends, as a user of
// another machine saving would. Returns the shell's error text, "" when it succeeded.
inline QString RunSqliteShell(const QString& dbPath, const QString& sql)
{
    QProcess shell;
    shell.start(QStringLiteral("sqlite3"), {QStringLiteral("-bail"), QStringLiteral("-cmd"),
                                            QStringLiteral(".timeout 5000"), dbPath, sql});
    if (!shell.waitForFinished(30000))
        return QStringLiteral("sqlite3 did not finish");
    const QString err = QString::fromUtf8(shell.readAllStandardError());
    if (shell.exitStatus() != QProcess::NormalExit || shell.exitCode() != 0)
        return err.isEmpty() ? QStringLiteral("sqlite3 failed") : err;
    return err;
}

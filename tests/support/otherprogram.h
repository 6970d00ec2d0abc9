#pragma once
// Another program's connection to the tunnel database, for tests of what the program does
// while that one holds a lock.
#include "db.h"

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

#pragma once
#include <QString>
#include <QStringList>

// Leaves the database at path as a crash during a write leaves it: part of an unfinished write
// transaction (statements, then enough filler to make SQLite write pages to the file before the
// commit) is in the file, and the hot journal that undoes it lies beside it. No connection may
// be open on the file. False, with the reason, when the file could not be brought to that state.
bool LeaveInterruptedWrite(const QString& path, const QStringList& statements, QString* why);

#pragma once
#include <QString>
#include <exception>

// Why a failure happened, in plain words a user can act on. A message that reports a failure
// keeps its own sentence and adds this on a second line ("Error saving data." / "The disk is
// full."), so the reason does not stay in err.log alone.

// The reason an error tells: a database error by its engine code (a full disk, a read-only or
// missing file, a damaged file, a missing table), any error by the system's error number and the
// file it names. "" when it tells nothing more than the message's own sentence.
QString FailureReason(const std::exception& error);

// The reason of a system error number (errno) met on a file or folder (path may be ""). A full
// disk is named by the file: "The disk that holds <file> is full."
QString SystemErrorReason(int error, const QString& path = QString());

// The reason of a SQLite result code (plain or extended) on a database file; text is the engine's
// message, systemError the errno behind an I/O failure (0 when unknown).
QString SqliteErrorReason(long code, const QString& text, const QString& file = QString(), int systemError = 0);

// The system error number whose words a Qt file error carries ("...: No space left on device"),
// 0 when none of those a reason is given for: QFile hands on the system's text, not its number.
int SystemErrorInText(const QString& text);

// The SQLite result code whose words (the engine's own, "database or disk is full") a text
// carries, 0 when none of those a reason is given for: what a library hands on as text.
long SqliteCodeInText(const QString& text);

// The words for a database file that SQLite cannot read as one: cut short or not a database.
QString DamagedFileReason(const QString& file);

// message, and reason on a second line when there is one.
QString WithReason(const QString& message, const QString& reason);

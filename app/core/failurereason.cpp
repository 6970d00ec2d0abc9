#include "failurereason.h"

#include "krverror.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>
#include <cstring>
#include <sqlite3.h>

namespace {

QString shown(const QString& path) { return QDir::toNativeSeparators(path); }

// The program's own numbers that say a file is missing (ErrNo::FileNotFound).
constexpr long kFileNotFound = ErrNo::FileNotFound;

}  // namespace

QString SystemErrorReason(int error, const QString& path)
{
    const QFileInfo fi(path);
    switch (error) {
    case 0:
        return QString();
    case ENOSPC:
    case EDQUOT:
        // Named by the file, so the user knows which disk to free (the stick's or the office's).
        return path.isEmpty() ? QStringLiteral("The disk is full.")
                              : QStringLiteral("The disk that holds %1 is full.").arg(shown(path));
    case EROFS:
        return path.isEmpty() ? QStringLiteral("The disk is read-only.")
                              : QStringLiteral("The disk holding %1 is read-only.").arg(shown(path));
    case EACCES:
    case EPERM:
        if (path.isEmpty())
            return QStringLiteral("Permission was denied.");
        if (fi.isDir())
            return QStringLiteral("The folder %1 is read-only.").arg(shown(path));
        if (fi.exists() && !fi.isWritable())
            return QStringLiteral("The file %1 is read-only.").arg(shown(path));
        return QStringLiteral("Permission to use %1 was denied.").arg(shown(path));
    case ENOENT:
    case ENOTDIR:
        if (path.isEmpty())
            return QStringLiteral("The file does not exist.");
        if (path.endsWith(QLatin1Char('/')) || path.endsWith(QLatin1Char('\\')))
            return QStringLiteral("The folder %1 does not exist.").arg(shown(path));
        return QStringLiteral("The file %1 does not exist.").arg(shown(path));
    case EISDIR:
        return QStringLiteral("%1 is a folder, not a file.").arg(shown(path));
    case EIO:
        return QStringLiteral("The disk could not be read or written (an input/output error).");
    case EINVAL:
        // What the program's regular-file checks give for a pipe, a device or a socket.
        if (fi.exists() && !fi.isFile() && !fi.isDir())
            return QStringLiteral("%1 is not a regular file (a pipe or a device).").arg(shown(path));
        break;
    default:
        break;
    }
    const QString text = QString::fromLocal8Bit(std::strerror(error));
    return path.isEmpty() ? text + QLatin1Char('.') : QStringLiteral("%1: %2.").arg(shown(path), text);
}

int SystemErrorInText(const QString& text)
{
    for (const int error : {ENOSPC, EDQUOT, EROFS, EACCES, EPERM, ENOENT, EISDIR, EIO})
        if (text.contains(QString::fromLocal8Bit(std::strerror(error)), Qt::CaseInsensitive))
            return error;
    return 0;
}

long SqliteCodeInText(const QString& text)
{
    for (const int code : {SQLITE_FULL, SQLITE_READONLY, SQLITE_CANTOPEN, SQLITE_CORRUPT, SQLITE_NOTADB, SQLITE_IOERR,
                           SQLITE_PERM})
        if (text.contains(QString::fromUtf8(sqlite3_errstr(code)), Qt::CaseInsensitive))
            return code;
    return 0;
}

QString DamagedFileReason(const QString& file)
{
    return QStringLiteral("The file %1 is damaged (cut short or not a database).").arg(shown(file));
}

QString SqliteErrorReason(long code, const QString& text, const QString& file, int systemError)
{
    switch (code & 0xff) {
    case SQLITE_FULL:
        return SystemErrorReason(ENOSPC, file);
    case SQLITE_READONLY:
        if (systemError == EROFS)
            return SystemErrorReason(EROFS, file);
        if (QFileInfo(file).isDir())
            return QStringLiteral("The folder %1 is read-only.").arg(shown(file));
        return file.isEmpty() ? QStringLiteral("The database is read-only.")
                              : QStringLiteral("The file %1 is read-only.").arg(shown(file));
    case SQLITE_CANTOPEN:
        if (!file.isEmpty() && !QFileInfo::exists(file))
            return SystemErrorReason(ENOENT, file);
        if (systemError)
            return SystemErrorReason(systemError, file);
        // A file to be made there: the folder is the one that refuses.
        if (QFileInfo(file).isDir())
            return QStringLiteral("No file can be made in the folder %1 (it is read-only, or it may not be written to).")
                .arg(shown(file));
        return QStringLiteral("The file %1 cannot be opened.").arg(shown(file));
    case SQLITE_IOERR:
        if (systemError)
            return SystemErrorReason(systemError, file);
        return SystemErrorReason(EIO);
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return DamagedFileReason(file);
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return SystemErrorReason(EACCES, file);
    case SQLITE_ERROR: {
        // The engine's words for a table or column the statement names but the file lacks.
        static const QRegularExpression table(QStringLiteral("no such table: (?:main\\.)?([^\\s\\[\\]]+)"));
        static const QRegularExpression column(QStringLiteral("no such column: ([^\\s\\[\\]]+)"));
        static const QRegularExpression named(QStringLiteral("table (\\S+) has no column named (\\S+)"));
        if (const auto m = table.match(text); m.hasMatch())
            return QStringLiteral("The database has no table %1.").arg(m.captured(1));
        if (const auto m = named.match(text); m.hasMatch())
            return QStringLiteral("The table %1 of the database has no column %2.").arg(m.captured(1), m.captured(2));
        if (const auto m = column.match(text); m.hasMatch())
            return QStringLiteral("The database has no column %1.").arg(m.captured(1));
        return QString();
    }
    default:
        return QString();
    }
}

QString FailureReason(const std::exception& error)
{
    const auto* e = dynamic_cast<const KrvError*>(&error);
    if (!e)
        return QString();
    if (dynamic_cast<const DbError*>(e)) {
        // The engine's codes run from 1 to 28 (with extended bits above); the program's own
        // numbers for a missing file or a missing row are of another range.
        const long primary = e->number() & 0xff;
        if (e->number() > 0 && primary >= SQLITE_ERROR && primary <= SQLITE_NOTADB && e->number() != kFileNotFound)
            return SqliteErrorReason(e->number(), e->description(), e->file(), e->systemError());
    }
    if (e->systemError() != 0)
        return SystemErrorReason(e->systemError(), e->file());
    if (e->number() == kFileNotFound && !e->file().isEmpty() && !QFileInfo::exists(e->file()))
        return SystemErrorReason(ENOENT, e->file());
    return QString();
}

QString WithReason(const QString& message, const QString& reason)
{
    if (reason.isEmpty() || message.contains(reason))
        return message;
    return message + QLatin1Char('\n') + reason;
}

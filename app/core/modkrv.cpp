#include "modkrv.h"

#include "db.h"
#include "failurereason.h"
#include "globals.h"
#include "helpers.h"
#include "krverror.h"
#include "lookups.h"
#include "prompt.h"
#include "savefile.h"
#include "settings.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>
#include <cstdio>

// ------------------------------------------------------------------ error log

QString GeneralDateText(const QDateTime& when)
{
    const QLocale locale = QLocale::system();
    QString timeFormat = locale.timeFormat(QLocale::LongFormat);
    // The long time format of a locale may carry the time zone; the log does not.
    timeFormat.remove(QLatin1Char('t')).remove(QStringLiteral("  "));
    return locale.toString(when.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
           locale.toString(when.time(), timeFormat.trimmed());
}

// A text of several lines (a message with its reason under it) as one line of the record: each
// line after the first follows the one before, after a stop where that one has none.
static QString oneLine(const QString& text)
{
    static const QRegularExpression breaks(QStringLiteral("[\\r\\n\\x{2028}\\x{2029}]+"));
    QString out;
    for (const QString& part : text.split(breaks, Qt::SkipEmptyParts)) {
        const QString line = part.trimmed();
        if (line.isEmpty())
            continue;
        if (!out.isEmpty())
            out += QStringView(u".:;!?").contains(out.back()) ? QStringLiteral(" ") : QStringLiteral(". ");
        out += line;
    }
    return text.contains(breaks) ? out : text;
}

QByteArray ErrorLogRecord(const QString& message, const QString& source, long number, const QString& description,
                          const QDateTime& when)
{
    // Two lines whatever the texts hold: the date, form and message; the number and error text.
    const QString record = QLatin1Char('"') + GeneralDateText(when) + QLatin1Char('\t') + source + QLatin1Char('-') +
                           oneLine(message) + QStringLiteral("\r\n\t") + QString::number(number) +
                           QStringLiteral(": ") + oneLine(description) + QStringLiteral("\"\r\n");
    return record.toUtf8();
}

bool AppendErrorLog(const QString& message, const QString& source, long number, const QString& description,
                    QString* failure)
{
    QString logFailure;
    try {
        const QByteArray record = ErrorLogRecord(message, source, number, description, QDateTime::currentDateTime());
        // A record that does not fit is taken back whole: the log keeps its old records intact.
        if (!AppendToFile(ProgramFile(QStringLiteral("err.log")), record, &logFailure)) {
            // The log is lost, not the message: the user still sees it.
            std::fprintf(stderr, "krv: %s\n%s", qPrintable(logFailure), record.constData());
        }
    } catch (...) {
    }
    if (failure)
        *failure = logFailure;
    return logFailure.isEmpty();
}

void LogError(const QString& message, const QString& source, long number, const QString& description)
{
    QString logFailure;
    AppendErrorLog(message, source, number, description, &logFailure);
    try {
        if (!message.isEmpty())
            Prompt().message(logFailure.isEmpty() ? message : message + QStringLiteral("\n\n") + logFailure, kAppTitle,
                             MsgIcon::Critical, MsgButtons::Ok, MsgAnswer::Ok);
    } catch (...) {
    }
    RestoreDefaultCursor();
}

void LogError(const QString& message, const QString& source, const std::exception& error)
{
    // Another program holding the database is no fault of the data: the user is told why,
    // and that trying again later will do.
    // (Said even where a handler shows no message of its own: the user must learn why.)
    if (IsDatabaseInUse(error)) {
        const auto& e = static_cast<const KrvError&>(error);
        const QString why = kDatabaseInUseText + QStringLiteral(" Nothing was changed; try again when it is free.");
        LogError(message.isEmpty() ? why : message + QLatin1Char('\n') + why, source, e.number(),
                 e.description());
        return;
    }
    // The message keeps its sentence; why it failed (a full disk, a read-only file) follows on a
    // line of its own, not in err.log alone.
    const QString shown = message.isEmpty() ? message : WithReason(message, FailureReason(error));
    if (const auto* e = dynamic_cast<const KrvError*>(&error))
        LogError(shown, source, e->number(), e->description());
    else
        LogError(shown, source, 0, QString::fromLocal8Bit(error.what()));
}

void LogError(const QString& message, const QString& source) { LogError(message, source, 0, QString()); }

// ------------------------------------------------------------------ paths

static qsizetype lastSeparator(const QString& path)
{
    return std::max(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\')));
}

QString GetFileTitle(const QString& path)
{
    QString name = path.mid(lastSeparator(path) + 1);
    const qsizetype dot = name.indexOf(QLatin1Char('.'));
    if (dot >= 0)
        name.truncate(dot);
    return name;
}

QString GetFolderPart(const QString& path)
{
    const qsizetype sep = lastSeparator(path);
    return sep < 0 ? QString() : path.left(sep + 1);
}

void MakeFolderTree(const QString& path)
{
    QString folder = path;
    folder.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (folder.isEmpty())
        throw KrvError(ErrNo::PathNotFound, QStringLiteral("Path not found: an empty folder name."));
    const QFileInfo fi(folder);
    if (fi.exists()) {
        if (!fi.isDir())
            throw KrvError(ErrNo::PathNotFound, QStringLiteral("%1 is a file, not a folder.").arg(path));
        return;
    }
    if (!QDir().mkpath(folder))
        throw KrvError(ErrNo::PermissionDenied, QStringLiteral("The folder %1 cannot be made.").arg(path));
}

bool IsPlainFolderName(const QString& name)
{
    if (name.isEmpty() || name == QStringLiteral(".") || name == QStringLiteral(".."))
        return false;
    return !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\')) && !name.contains(QChar(0));
}

// The tunnel's folder name, checked: a missing tunnel or an unsafe name never yields a path.
static QString tunnelFolderName(qint32 tunnelId)
{
    const RowSet rs = gConn.query(QStringLiteral("SELECT TunnelName FROM Tunnels WHERE TunnelID = ?"), {tunnelId});
    if (rs.isEmpty())
        throw DbError(ErrNo::NoCurrentRecord, QStringLiteral("No current record: there is no tunnel %1.").arg(tunnelId));
    const QString name = rs.value(0, QStringLiteral("TunnelName")).toString();
    if (!IsPlainFolderName(name))
        throw KrvError(ErrNo::BadFileName,
                       QStringLiteral("The tunnel name \"%1\" cannot be used as a folder name.").arg(name));
    return name;
}

QString GetTunnelFolder(qint32 tunnelId)
{
    return IniGetSystemPath() + tunnelFolderName(tunnelId) + QLatin1Char('/');
}

QString GetInspectionFolder(qint32 tunnelId, qint32 inspectionId)
{
    const QString tunnel = GetTunnelFolder(tunnelId);
    return tunnel + QString::number(DbGetInspectionYear(inspectionId)) + QLatin1Char('/');
}

QString GetPhotoFolder(qint32 tunnelId, qint32 inspectionId)
{
    return GetInspectionFolder(tunnelId, inspectionId) + QStringLiteral("photo/");
}

QString GetSketchFolder(qint32 tunnelId, qint32 inspectionId)
{
    return GetInspectionFolder(tunnelId, inspectionId) + QStringLiteral("sketch/");
}

QString GetVideoFolder(qint32 tunnelId, qint32 inspectionId)
{
    return GetInspectionFolder(tunnelId, inspectionId) + QStringLiteral("video/");
}

QString GetInspectionFolderUnder(const QString& basePath, qint32 tunnelId, qint32 inspectionId)
{
    const QString name = tunnelFolderName(tunnelId);
    return GetFolderPart(basePath) + name + QLatin1Char('/') + QString::number(DbGetInspectionYear(inspectionId)) +
           QLatin1Char('/');
}

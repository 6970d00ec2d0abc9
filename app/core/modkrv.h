#pragma once
#include <QDateTime>
#include <QString>
#include <exception>

// ---- Error log
// Appends one record to err.log in the program folder, then shows the message (when not
// empty) with the application title and puts the default cursor back. Never throws: when
// err.log cannot take the record it keeps its old records whole, and the message is still
// shown, with a paragraph naming err.log and why. With the error itself, a message that is
// shown gets the reason the error tells (FailureReason) on a second line.
void LogError(const QString& message, const QString& source);
void LogError(const QString& message, const QString& source, const std::exception& error);
void LogError(const QString& message, const QString& source, long number, const QString& description);

// Appends LogError's record without showing the message, for a caller that tells the user later
// (several failures of one run in one message). False, with failure saying why, when err.log
// cannot take it (it keeps its old records whole).
bool AppendErrorLog(const QString& message, const QString& source, long number, const QString& description,
                    QString* failure = nullptr);

// The record LogError appends, for the given moment (exposed for tests). Two lines whatever
// the texts hold: a message or description of several lines (a reason under its sentence) is
// written on one.
QByteArray ErrorLogRecord(const QString& message, const QString& source, long number, const QString& description,
                          const QDateTime& when);
// Date and time in the system's general format: short date and long time.
QString GeneralDateText(const QDateTime& when);

// ---- Paths. Separators may be "/" or "\".
// The file name without folder and without extension (cut at the first point).
QString GetFileTitle(const QString& path);
// The text up to and including the last separator; "" when there is none.
QString GetFolderPart(const QString& path);
// Makes the folder and any missing parents; raises KrvError when it cannot.
void MakeFolderTree(const QString& path);
// True when name can be one folder of the media tree: not empty, not "." or "..", and
// without "/", "\" or NUL.
bool IsPlainFolderName(const QString& name);

// ---- The media folder tree: data path, tunnel name, year, then photo/sketch/video.
// Each reads SystemPath afresh. Raise KrvError for a missing tunnel or period, and for a
// tunnel name that cannot be a folder name.
QString GetTunnelFolder(qint32 tunnelId);
QString GetInspectionFolder(qint32 tunnelId, qint32 inspectionId);
QString GetPhotoFolder(qint32 tunnelId, qint32 inspectionId);
QString GetSketchFolder(qint32 tunnelId, qint32 inspectionId);
QString GetVideoFolder(qint32 tunnelId, qint32 inspectionId);
QString GetInspectionFolderUnder(const QString& basePath, qint32 tunnelId, qint32 inspectionId);

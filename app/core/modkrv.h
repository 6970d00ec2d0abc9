#pragma once
#include <QDateTime>
#include <QString>
#include <exception>

class QComboBox;
class QTreeWidget;
class QWidget;

// ---- Error log
// Appends one record to err.log in the program folder, then shows the message (when not
// empty) with the application title and puts the default cursor back. Never throws: when
// err.log cannot be written the message is still shown.
void LogError(const QString& message, const QString& source);
void LogError(const QString& message, const QString& source, const std::exception& error);
void LogError(const QString& message, const QString& source, long number, const QString& description);

// The record LogError appends, for the given moment (exposed for tests).
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

// ---- Lists
// True when one of the combo box's entries equals text exactly (case counts).
bool ListContains(const QString& text, QComboBox* combo);
// Sorts a five-column list by column 1 to 5 (row key in Qt::UserRole of column 0); each
// column alternates ascending and descending, shared by every list.
void SortListView(int column, QTreeWidget* list);
void SwapListItems(int i, int j, QTreeWidget* list);
void ResetListSortDirections();  // tests

// Keeps a window above the others, or returns it to the normal order.
void SetTopMost(QWidget* window, bool topMost);

// ---- Picture chooser: runs frmOpenSysMap (registered with RegisterFormFactory; it has a
// Q_INVOKABLE LoadForm(QString title, QString folder)) and answers the chosen file, ""
// when nothing was chosen.
QString ChooseSystemMap(const QString& title, const QString& folder);
void SetSysMapChoice(const QString& fileName);

#include "modkrv.h"

#include "db.h"
#include "forms.h"
#include "globals.h"
#include "helpers.h"
#include "krverror.h"
#include "lookups.h"
#include "mappicture.h"
#include "prompt.h"
#include "settings.h"

#include <QComboBox>
#include <QDateTime>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QTreeWidget>
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

QByteArray ErrorLogRecord(const QString& message, const QString& source, long number, const QString& description,
                          const QDateTime& when)
{
    const QString record = QLatin1Char('"') + GeneralDateText(when) + QLatin1Char('\t') + source + QLatin1Char('-') +
                           message + QStringLiteral("\r\n\t") + QString::number(number) + QStringLiteral(": ") +
                           description + QStringLiteral("\"\r\n");
    return record.toUtf8();
}

void LogError(const QString& message, const QString& source, long number, const QString& description)
{
    try {
        QFile log(ProgramFile(QStringLiteral("err.log")));
        const QByteArray record = ErrorLogRecord(message, source, number, description, QDateTime::currentDateTime());
        if (!log.open(QIODevice::WriteOnly | QIODevice::Append) || log.write(record) != record.size()) {
            // The log is lost, not the message: the user still sees it below.
            std::fprintf(stderr, "krv: err.log cannot be written (%s): %s", qPrintable(log.errorString()),
                         record.constData());
        }
        log.close();
    } catch (...) {
    }
    try {
        if (!message.isEmpty())
            Prompt().message(message, kAppTitle, MsgIcon::None, MsgButtons::Ok, MsgAnswer::Ok);
    } catch (...) {
    }
    RestoreDefaultCursor();
}

void LogError(const QString& message, const QString& source, const std::exception& error)
{
    if (const auto* e = dynamic_cast<const KrvError*>(&error))
        LogError(message, source, e->number(), e->description());
    else
        LogError(message, source, 0, QString::fromLocal8Bit(error.what()));
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

// ------------------------------------------------------------------ lists

bool ListContains(const QString& text, QComboBox* combo)
{
    if (!combo)
        return false;
    return combo->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive) >= 0;
}

static bool gSortDescending[5] = {false, false, false, false, false};

void ResetListSortDirections()
{
    for (bool& d : gSortDescending)
        d = false;
}

namespace {
struct SortKey {
    bool numeric = false;
    double number = 0;
    QString text;
};

SortKey sortKey(QTreeWidgetItem* item, int column)
{
    SortKey k;
    switch (column) {
    case 1:
        k.text = item->text(0);
        break;
    case 2:
        k.numeric = true;
        k.number = Val(item->text(1));
        break;
    case 3:
        k.text = item->text(2);
        break;
    case 4:
    case 5: {
        // An amount after its currency sign; thousands separators belong to the number.
        QString amount = item->text(column - 1).mid(1);
        amount.remove(QLatin1Char(','));
        k.numeric = true;
        k.number = Val(amount);
        break;
    }
    }
    return k;
}

// True when a should come before b.
bool before(const SortKey& a, const SortKey& b, bool descending)
{
    if (a.numeric)
        return descending ? a.number > b.number : a.number < b.number;
    // By character code, case apart.
    const int c = QString::compare(a.text, b.text, Qt::CaseSensitive);
    return descending ? c > 0 : c < 0;
}
}  // namespace

void SwapListItems(int i, int j, QTreeWidget* list)
{
    if (!list || i == j)
        return;
    QTreeWidgetItem* a = list->topLevelItem(i);
    QTreeWidgetItem* b = list->topLevelItem(j);
    if (!a || !b)
        return;
    const QVariant keyA = a->data(0, Qt::UserRole);
    const QVariant keyB = b->data(0, Qt::UserRole);
    QStringList textsA, textsB;
    for (int c = 0; c < 5; ++c) {
        textsA << a->text(c);
        textsB << b->text(c);
    }
    for (int c = 0; c < 5; ++c) {
        a->setText(c, textsB[c]);
        b->setText(c, textsA[c]);
    }
    a->setData(0, Qt::UserRole, keyB);
    b->setData(0, Qt::UserRole, keyA);
}

void SortListView(int column, QTreeWidget* list)
{
    if (column < 1 || column > 5 || !list)
        return;
    const bool descending = gSortDescending[column - 1];
    const int n = list->topLevelItemCount();
    for (int i = 0; i < n; ++i)
        for (int j = i; j < n; ++j)
            if (before(sortKey(list->topLevelItem(j), column), sortKey(list->topLevelItem(i), column), descending))
                SwapListItems(i, j, list);
    gSortDescending[column - 1] = !descending;
}

void SetTopMost(QWidget* window, bool topMost)
{
    if (!window)
        return;
    const bool visible = window->isVisible();
    const QRect geometry = window->geometry();
    window->setWindowFlag(Qt::WindowStaysOnTopHint, topMost);
    // Changing the flag hides the window; put it back where it was.
    window->setGeometry(geometry);
    if (visible)
        window->show();
}

// ------------------------------------------------------------------ picture chooser

void SetSysMapChoice(const QString& fileName) { gSysMapChoice = fileName; }

QString ChooseSystemMap(const QString& title, const QString& folder)
{
    QString result;
    QWidget* chooser = CreateForm(QStringLiteral("frmOpenSysMap"));
    if (chooser) {
        QMetaObject::invokeMethod(chooser, "LoadForm", Q_ARG(QString, title), Q_ARG(QString, folder));
        if (gPictureFound) {
            if (auto* dialog = qobject_cast<QDialog*>(chooser))
                dialog->exec();
            result = gSysMapChoice;
        }
    }
    if (IsFormLoaded(QStringLiteral("frmOpenSysMap")))
        UnloadFormByName(QStringLiteral("frmOpenSysMap"));
    gPictureFound = true;
    // Whichever chooser answered, a picture too large for a map is never handed on to be stored.
    if (!result.isEmpty() && !MapPictureSizeAccepted(folder + result, title))
        result.clear();
    return result;
}

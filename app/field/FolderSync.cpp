#include "FolderSync.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTableWidget>

#include "SortedList.h"
#include "helpers.h"
#include "prompt.h"

namespace {

constexpr long kPathFileAccessError = 75;
const QChar kSep = QLatin1Char('/');

QString stripOneSeparator(const QString& path)
{
    return path.endsWith(kSep) ? path.chopped(1) : path;
}

QString withSeparator(const QString& path)
{
    return path.endsWith(kSep) ? path : path + kSep;
}

QString yesNo(bool on)
{
    return on ? QStringLiteral("True") : QStringLiteral("False");
}

// The same folder however it is spelled: "a//b", "a/./b", a link to it.
QString comparablePath(const QString& path)
{
    const QFileInfo fi(path);
    const QString canonical = fi.canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(fi.absoluteFilePath()) : canonical;
}

int attributeBits(const QFileInfo& fi, bool countLink)
{
    if (!fi.exists() && !fi.isSymLink())
        return 0;
    int value = 0;
    if (countLink && fi.isSymLink())
        value |= FolderSync::Link;
    if (fi.isDir())
        value |= FolderSync::Directory;
    else if (fi.exists() && !fi.isFile())
        value |= FolderSync::System;  // a pipe, socket or device: reading one could wait for ever
    if (fi.exists() && !(fi.permissions() & QFile::WriteOwner))
        value |= FolderSync::ReadOnly;
    const QString name = fi.fileName();
    if (name.startsWith(QLatin1Char('.')) && name != QLatin1String(".") && name != QLatin1String(".."))
        value |= FolderSync::Hidden;
    return value;
}

}  // namespace

FolderSync::FolderSync(QObject* parent) : QObject(parent) {}

FolderSync::~FolderSync() = default;

int FolderSync::attributesOf(const QString& path)
{
    return attributeBits(QFileInfo(path), true);
}

bool FolderSync::folderExists(const QString& path) const
{
    const QString p = stripOneSeparator(path);
    if (p.isEmpty())
        return false;
    // The folders the caller names may be reached through a link; inside a pass links count.
    return attributeBits(QFileInfo(p), false) == Directory;
}

bool FolderSync::refuseWhileBusy()
{
    if (m_busy)
        report(QStringLiteral("SYS"), QStringLiteral("Attempt to use object while busy"), QStringLiteral("R"));
    return m_busy;
}

void FolderSync::setFromFolder(const QString& folder)
{
    if (refuseWhileBusy())
        return;
    m_fromFolder = stripOneSeparator(folder);
    if (!folderExists(m_fromFolder))
        throw FolderSyncError(FolderSyncError::SourceMissing, QStringLiteral("Source folder does not exist"));
}

void FolderSync::setToFolder(const QString& folder)
{
    if (refuseWhileBusy())
        return;
    m_toFolder = stripOneSeparator(folder);
    if (folderExists(m_toFolder))
        return;
    const MsgAnswer answer = MsgBox(m_toFolder + QStringLiteral(" does not exist. Do you want to create it now?"),
                                    MsgButtons::YesNo, MsgIcon::Question, QStringLiteral("Folder does not exist"));
    if (answer != MsgAnswer::Yes)
        throw FolderSyncError(FolderSyncError::DestinationMissing, QStringLiteral("Destination folder does not exist"));
    createFolder(m_toFolder);
}

#define KRV_FS_FLAG(setter, member) \
    void FolderSync::setter(bool on)        \
    {                                       \
        if (!refuseWhileBusy())             \
            member = on;                    \
    }
KRV_FS_FLAG(setIncludeSubFolders, m_includeSubFolders)
KRV_FS_FLAG(setCreateSubFolders, m_createSubFolders)
KRV_FS_FLAG(setDeleteEmpties, m_deleteEmpties)
KRV_FS_FLAG(setOverwriteAll, m_overwriteAll)
KRV_FS_FLAG(setCopyIfMissing, m_copyIfMissing)
KRV_FS_FLAG(setIncludeSystemFiles, m_includeSystemFiles)
KRV_FS_FLAG(setIncludeNormalFiles, m_includeNormalFiles)
KRV_FS_FLAG(setIncludeHiddenFiles, m_includeHiddenFiles)
KRV_FS_FLAG(setIncludeArchiveFilesOnly, m_includeArchiveFilesOnly)
KRV_FS_FLAG(setClearArchiveFlag, m_clearArchiveFlag)
#undef KRV_FS_FLAG

QString FolderSync::fileAttributes() const
{
    QString letters;
    if (m_includeNormalFiles)
        letters += QLatin1Char('N');
    if (m_includeHiddenFiles)
        letters += QLatin1Char('H');
    if (m_includeSystemFiles)
        letters += QLatin1Char('S');
    if (m_includeArchiveFilesOnly)
        letters += QLatin1Char('A');
    return letters;
}

void FolderSync::setFileAttributes(const QString& letters)
{
    if (refuseWhileBusy())
        return;
    m_includeNormalFiles = letters.contains(QLatin1Char('N'));
    m_includeHiddenFiles = letters.contains(QLatin1Char('H'));
    m_includeSystemFiles = letters.contains(QLatin1Char('S'));
    m_includeArchiveFilesOnly = letters.contains(QLatin1Char('A'));
}

void FolderSync::setReportGrid(QTableWidget* grid)
{
    if (refuseWhileBusy())
        return;
    m_grid = grid;
    if (!grid)
        return;
    grid->clear();
    grid->setRowCount(0);
    grid->setColumnCount(2);
    grid->setHorizontalHeaderLabels({QStringLiteral("Time"), QStringLiteral("Action")});
    grid->setColumnWidth(0, 0);
    grid->setColumnHidden(0, true);
    grid->setColumnWidth(1, std::max(grid->width(), TwipsToPixels(2000)));
    // The newest row is brought into view by report() only while the user watches the end.
    grid->setAutoScroll(false);
}

void FolderSync::report(const QString& category, const QString& message, const QString& flags)
{
    emit Action(QStringLiteral("MSG"), message);
    QTableWidget* grid = m_grid;
    if (!grid)
        return;
    const int row = grid->rowCount();
    bool followEnd = true;
    if (row > 0) {
        const QRect previous = grid->visualRect(grid->model()->index(row - 1, 1));
        followEnd = grid->viewport()->rect().intersects(previous);
    }
    grid->setRowCount(row + 1);
    grid->setItem(row, 0, new QTableWidgetItem(QTime::currentTime().toString(QStringLiteral("hh:mm:ss"))));
    auto* cell = new QTableWidgetItem(category + QStringLiteral(": ") + message);
    cell->setTextAlignment(Qt::AlignLeft | Qt::AlignTop);
    QFont font = grid->font();
    if (flags.contains(QLatin1Char('R')))
        cell->setForeground(BgrToColor(255));
    if (flags.contains(QLatin1Char('Y')))
        cell->setBackground(BgrToColor(65535));
    if (flags.contains(QLatin1Char('B')))
        font.setBold(true);
    if (flags.contains(QLatin1Char('I')))
        font.setItalic(true);
    cell->setFont(font);
    grid->setItem(row, 1, cell);
    grid->setCurrentCell(row, 1);
    if (followEnd)
        grid->scrollToItem(cell, QAbstractItemView::PositionAtTop);
}

void FolderSync::yield()
{
    QCoreApplication::processEvents();
}

bool FolderSync::syncFoldersNow()
{
    if (refuseWhileBusy())
        return false;
    m_cancel = false;

    const QString cfg = QStringLiteral("CFG");
    const QString n = QStringLiteral("N");
    report(cfg, QStringLiteral("Synchronisation settings:"), n);
    report(cfg, QStringLiteral("  Include sub folders = ") + yesNo(m_includeSubFolders), n);
    if (m_includeSubFolders)
        report(cfg, QStringLiteral("    Create missing subfolders = ") + yesNo(m_createSubFolders), n);
    report(cfg, QStringLiteral("  Copy files if not present in destination = ") + yesNo(m_copyIfMissing), n);
    report(cfg, QStringLiteral("  Delete files with zero length = ") + yesNo(m_deleteEmpties), n);
    report(cfg, QStringLiteral("  Overwrite option:"), n);
    report(cfg,
           m_overwriteAll ? QStringLiteral("    - Overwrite matching files in destination regardless of date")
                          : QStringLiteral("    - Overwrite destination only if source file is later"),
           n);
    report(cfg, QStringLiteral("  File Atrribute Settings = ") + fileAttributes(), n);
    report(cfg, QStringLiteral("  FROM: ") + m_fromFolder, n);
    report(cfg, QStringLiteral("  TO: ") + m_toFolder, n);
    report(cfg, QString(43, QLatin1Char('-')), n);

    // Compared as the folders they name, so another spelling of the same or a nested folder
    // cannot make a pass copy a tree into itself.
    const QString from = m_fromFolder.isEmpty() ? QString() : comparablePath(m_fromFolder);
    const QString to = m_toFolder.isEmpty() ? QString() : comparablePath(m_toFolder);
    if (from.isEmpty() || to.isEmpty() || from == to) {
        report(QStringLiteral("ERR"), QStringLiteral("Invalid from or to folder"), QStringLiteral("R"));
        throw FolderSyncError(FolderSyncError::InvalidFolders, QStringLiteral("Invalid from or to folder"));
    }
    if (m_includeSubFolders) {
        const QString a = withSeparator(from);
        const QString b = withSeparator(to);
        const QString& shorter = a.size() < b.size() ? a : b;
        const QString& longer = a.size() < b.size() ? b : a;
        if (longer.startsWith(shorter)) {
            report(QStringLiteral("ERR"), QStringLiteral("Cannot deep-synchronise folders where one is subfolder of the other"),
                   QStringLiteral("R"));
            throw FolderSyncError(FolderSyncError::Nested,
                                  QStringLiteral("Cannot deep-synch where one is subfolder of the other"));
        }
    }

    m_busy = true;
    try {
        folderPass(m_fromFolder, m_toFolder);
    } catch (...) {
        m_busy = false;
        throw;
    }
    m_busy = false;

    if (m_cancel) {
        report(QStringLiteral("SYS"), QStringLiteral("Operation cancelled by user - synchronisation not completed"),
               QStringLiteral("R"));
        return false;
    }
    report(QStringLiteral("SYS"), QStringLiteral("SYNCHRONIZATION COMPLETED"), QStringLiteral("RY"));
    return true;
}

// Listed by a listing with this mask: a file whose attributes, apart from read-only and
// archive, all lie in the mask (a link never does).
bool FolderSync::listedAsFile(const QString& path, int mask) const
{
    const QFileInfo fi(path);
    if (!fi.exists() && !fi.isSymLink())
        return false;
    const int value = attributeBits(fi, true);
    if ((value & Directory) || !fi.isFile())
        return false;
    return (value & ~(ReadOnly | Archive) & ~mask) == 0;
}

void FolderSync::folderPass(const QString& source, const QString& destination)
{
    yield();
    if (m_cancel)
        return;
    const QString srcPrefix = withSeparator(source);
    const QString dstPrefix = withSeparator(destination);

    // A pass never writes through a link: a linked destination folder would lead out of the tree.
    if (destination != m_toFolder && QFileInfo(destination).isSymLink()) {
        report(QStringLiteral("ERR"), QStringLiteral("  - destination folder is a link and is not used: ") + destination,
               QStringLiteral("R"));
        throw KrvError(kPathFileAccessError, QStringLiteral("Path/File access error: ") + destination);
    }
    if (!folderExists(destination)) {
        if (!m_createSubFolders)
            return;
        createFolder(destination);
    }

    if (source.size() > withSeparator(m_fromFolder).size()) {
        report(QStringLiteral("SUBF"), QStringLiteral("--") + source.mid(m_fromFolder.size()), QStringLiteral("Y"));
    } else {
        report(QStringLiteral("FROM"), source, QStringLiteral("Y"));
        report(QStringLiteral("TO"), destination, QStringLiteral("Y"));
    }
    yield();

    const QFileInfo sourceInfo(source);
    if (!sourceInfo.isReadable() || !sourceInfo.isExecutable()) {
        report(QStringLiteral("ERR"), QStringLiteral("  - unable to read folder ") + source, QStringLiteral("R"));
        throw KrvError(ErrNo::PermissionDenied, QStringLiteral("Permission denied: ") + source);
    }

    int mask = 0;
    if (m_includeArchiveFilesOnly)
        mask += Archive;
    if (m_includeHiddenFiles)
        mask += Hidden;
    if (m_includeSystemFiles)
        mask += System;

    SortedList files;
    const QDir dir(source);
    const QStringList names = dir.entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Unsorted);
    for (const QString& name : names) {
        if (listedAsFile(srcPrefix + name, mask))
            files.addItem(name);
    }
    files.SortList(QStringLiteral("A"));

    // Once the first file is reached, a failure further on is skipped (subfolders included).
    bool pastFirstFile = false;
    while (!files.atEnd() && !m_cancel) {
        const QString name = files.getNext();
        pastFirstFile = true;
        try {
            processFile(srcPrefix, dstPrefix, name);
        } catch (const KrvError&) {
        }
        yield();
    }

    if (m_cancel || !m_includeSubFolders)
        return;
    SortedList folders;
    const QStringList subNames =
        dir.entryList(QDir::Dirs | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Unsorted);
    for (const QString& name : subNames) {
        if (attributesOf(srcPrefix + name) == Directory)
            folders.addItem(name);
    }
    folders.SortList(QStringLiteral("A"));
    yield();
    while (!folders.atEnd() && !m_cancel) {
        const QString name = folders.getNext();
        try {
            folderPass(srcPrefix + name, dstPrefix + name);
        } catch (const KrvError&) {
            if (!pastFirstFile)
                throw;
        }
        yield();
    }
}

void FolderSync::processFile(const QString& srcPrefix, const QString& dstPrefix, const QString& name)
{
    const QString src = srcPrefix + name;
    const QString dst = dstPrefix + name;
    const QFileInfo srcInfo(src);
    const QFileInfo dstInfo(dst);
    const bool destExists = listedAsFile(dst, 0);
    const bool sourceEmpty = srcInfo.size() == 0;

    bool sourceNewer = false;
    if (destExists) {
        // Whole seconds: the file systems at both ends need not keep finer times.
        sourceNewer = srcInfo.lastModified().toSecsSinceEpoch() > dstInfo.lastModified().toSecsSinceEpoch();
    }
    const int srcAttr = attributesOf(src);
    const bool isHidden = srcAttr & Hidden;
    const bool isSystem = srcAttr & System;
    const bool isNormal = !(srcAttr & (Hidden | System | Directory));
    if ((m_includeArchiveFilesOnly && !(srcAttr & Archive)) || (isHidden && !m_includeHiddenFiles) ||
        (isSystem && !m_includeSystemFiles) || (isNormal && !m_includeNormalFiles))
        return;

    const bool doDelete = m_deleteEmpties && sourceEmpty && (m_overwriteAll || sourceNewer);
    const bool doCopy = !doDelete && (m_overwriteAll || (m_copyIfMissing && !destExists) || (destExists && sourceNewer));

    if (doDelete) {
        report(QStringLiteral("DEL"), name, QStringLiteral("N"));
        const QFile::Permissions dstPerms = QFile::permissions(dst);
        if (destExists)
            QFile::setPermissions(dst, dstPerms | QFile::WriteOwner);
        if (!QFile::remove(dst)) {
            report(QStringLiteral("ERR"), QStringLiteral("  - unable to delete from destination folder"),
                   QStringLiteral("R"));
            if (destExists)
                QFile::setPermissions(dst, dstPerms);
        }
        const QFile::Permissions srcPerms = QFile::permissions(src);
        QFile::setPermissions(src, srcPerms | QFile::WriteOwner);
        if (!QFile::remove(src)) {
            report(QStringLiteral("ERR"), QStringLiteral("  - unable to delete empty file from source folder"),
                   QStringLiteral("R"));
            QFile::setPermissions(src, srcPerms);
        }
        return;
    }
    if (!doCopy)
        return;

    report(destExists ? QStringLiteral("REPL") : QStringLiteral("NEW"), name, QStringLiteral("N"));
    if (dstInfo.isSymLink()) {
        report(QStringLiteral("ERR"), QStringLiteral("  - destination is a link and was not replaced"),
               QStringLiteral("R"));
        return;
    }
    QString error;
    if (!copyFile(src, dst, &error))
        report(QStringLiteral("ERR"), error, QStringLiteral("R"));
}

// Written under a temporary name and renamed over the destination, so a failed copy leaves
// the old file as it was; the copy keeps the source's modification time, or the return pass
// would find every copied file newer and bring it straight back.
bool FolderSync::copyFile(const QString& source, const QString& destination, QString* error)
{
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly)) {
        *error = in.errorString();
        return false;
    }
    QSaveFile out(destination);
    out.setDirectWriteFallback(false);
    if (!out.open(QIODevice::WriteOnly)) {
        *error = out.errorString();
        return false;
    }
    QByteArray buffer;
    constexpr qint64 kChunk = 1 << 20;
    while (!in.atEnd()) {
        buffer = in.read(kChunk);
        if (buffer.isEmpty() && in.error() != QFileDevice::NoError) {
            *error = in.errorString();
            out.cancelWriting();
            return false;
        }
        if (out.write(buffer) != buffer.size()) {
            *error = out.errorString();
            out.cancelWriting();
            return false;
        }
    }
    const QDateTime modified = QFileInfo(source).lastModified();
    const QFile::Permissions permissions = in.permissions();
    in.close();
    out.flush();
    out.setFileTime(modified, QFileDevice::FileModificationTime);
    if (!out.commit()) {
        *error = out.errorString();
        return false;
    }
    QFile result(destination);
    if (QFileInfo(destination).lastModified() != modified && result.open(QIODevice::ReadOnly | QIODevice::WriteOnly)) {
        result.setFileTime(modified, QFileDevice::FileModificationTime);
        result.close();
    }
    result.setPermissions(permissions);
    return true;
}

void FolderSync::createFolder(const QString& path)
{
    if (folderExists(path))
        return;
    const qsizetype last = path.lastIndexOf(kSep);
    if (last < 0)
        throw FolderSyncError(FolderSyncError::BadFolderName, QStringLiteral("Bad folder name"));
    const QString parent = path.left(last);
    // A parent that is there as a folder (a hidden one under the home folder, say) is used as it is.
    if (!parent.isEmpty() && !QFileInfo(parent).isDir())
        createFolder(parent);
    if (!QDir().mkdir(path)) {
        report(QStringLiteral("ERR"), QStringLiteral("  - unable to create folder ") + path, QStringLiteral("R"));
        throw KrvError(kPathFileAccessError, QStringLiteral("Path/File access error: ") + path);
    }
    report(QStringLiteral("NEWSF"), path.mid(m_toFolder.size() + 1), QStringLiteral("N"));
}

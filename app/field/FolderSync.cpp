#include "FolderSync.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QTableWidget>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "SortedList.h"
#include "helpers.h"
#include "prompt.h"
#include "regularfiles.h"
#include "uihelpers.h"

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

// The same from a record already read (never a link): read-only when the owner cannot write,
// hidden by its name, system when neither a file nor a folder.
int attributeBits(const struct stat& st, const QByteArray& rawName)
{
    int value = 0;
    if (S_ISDIR(st.st_mode))
        value |= FolderSync::Directory;
    else if (!S_ISREG(st.st_mode))
        value |= FolderSync::System;
    if (!(st.st_mode & S_IWUSR))
        value |= FolderSync::ReadOnly;
    if (rawName.startsWith('.'))
        value |= FolderSync::Hidden;
    return value;
}

}  // namespace

FolderSync::FolderSync(QObject* parent) : QObject(parent) {}

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
    // The grid may not be laid out yet: the action column also follows the grid's later width.
    grid->horizontalHeader()->setStretchLastSection(true);
    // The newest row is brought into view by report() only while the user watches the end.
    grid->setAutoScroll(false);
}

void FolderSync::report(const QString& category, const QString& message, const QString& flags)
{
    emit Action(QStringLiteral("MSG"), message);
    if (!m_grid)
        return;
    m_rows.push_back({QTime::currentTime().toString(QStringLiteral("hh:mm:ss")), category + QStringLiteral(": ") + message,
                      flags});
    if (!m_busy)
        showRows();
}

// Adds the waiting lines to the grid in one go: a row at a time would lay the grid out and
// repaint it for every file.
void FolderSync::showRows()
{
    QTableWidget* grid = m_grid;
    if (!grid || m_rows.empty()) {
        m_rows.clear();
        return;
    }
    const int first = grid->rowCount();
    bool followEnd = true;
    if (first > 0) {
        const QRect previous = grid->visualRect(grid->model()->index(first - 1, 1));
        followEnd = grid->viewport()->rect().intersects(previous);
    }
    grid->setRowCount(first + int(m_rows.size()));
    QTableWidgetItem* cell = nullptr;
    int row = first;
    for (const PendingRow& line : m_rows) {
        grid->setItem(row, 0, new QTableWidgetItem(line.time));
        cell = new QTableWidgetItem(line.text);
        cell->setTextAlignment(Qt::AlignLeft | Qt::AlignTop);
        QFont font = grid->font();
        if (line.flags.contains(QLatin1Char('R')))
            cell->setForeground(BgrToColor(255));
        if (line.flags.contains(QLatin1Char('Y')))
            cell->setBackground(BgrToColor(65535));
        if (line.flags.contains(QLatin1Char('B')))
            font.setBold(true);
        if (line.flags.contains(QLatin1Char('I')))
            font.setItalic(true);
        cell->setFont(font);
        grid->setItem(row, 1, cell);
        ++row;
    }
    m_rows.clear();
    grid->setCurrentCell(row - 1, 1);
    // A user who watches the end keeps seeing the newest row; one who scrolled away is left there.
    if (followEnd)
        grid->scrollToItem(cell, QAbstractItemView::PositionAtTop);
}

void FolderSync::addReportLine(const QString& category, const QString& message, const QString& flags)
{
    report(category, message, flags);
}

void FolderSync::yield()
{
    constexpr qint64 kShowEveryMs = 75;
    if (!m_rows.empty() && (!m_sinceShown.isValid() || m_sinceShown.elapsed() >= kShowEveryMs)) {
        showRows();
        m_sinceShown.start();
    }
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
        folderPass(m_fromFolder, m_toFolder, QFile::encodeName(m_fromFolder), QFile::encodeName(m_toFolder));
        flushCopies();
    } catch (...) {
        m_busy = false;
        flushCopies();
        showRows();
        throw;
    }
    m_busy = false;
    showRows();

    if (m_cancel) {
        report(QStringLiteral("SYS"), QStringLiteral("Operation cancelled by user - synchronisation not completed"),
               QStringLiteral("R"));
        return false;
    }
    report(QStringLiteral("SYS"), QStringLiteral("SYNCHRONIZATION COMPLETED"), QStringLiteral("RY"));
    return true;
}

// An open folder; shared by the copies that wait to be named in it.
struct FolderSync::Dir {
    int fd = -1;
    dev_t device = 0;
    explicit Dir(int f) : fd(f)
    {
        struct stat st {};
        if (::fstat(fd, &st) == 0)
            device = st.st_dev;
    }
    ~Dir()
    {
        if (fd >= 0)
            ::close(fd);
    }
    Dir(const Dir&) = delete;
    Dir& operator=(const Dir&) = delete;
};

// A copy written to an unnamed file in its destination folder, with the source's time set.
struct FolderSync::PendingCopy {
    int fd = -1;
    std::shared_ptr<Dir> folder;
    QByteArray rawName;
    QString name;
    bool replace = false;
};

// Copies still waiting to be named are unnamed files: closing them drops them.
FolderSync::~FolderSync()
{
    for (const PendingCopy& c : m_copies)
        ::close(c.fd);
}

namespace {

QString systemText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// A folder that cannot be made or read: the error names it and the system's reason, for the message.
KrvError folderError(long number, const QString& words, const QString& folder, int systemError)
{
    KrvError error(number, words + folder);
    error.setFile(folder.endsWith(kSep) ? folder : folder + kSep, systemError);
    return error;
}

bool hiddenName(const QByteArray& raw)
{
    return raw.startsWith('.');
}

// Read with readdir; a name whose type the file system does not give is looked up.
struct Listed {
    QByteArray raw;
    unsigned char type;
};

bool listFolder(int fd, std::vector<Listed>* out)
{
    const int copy = ::dup(fd);
    if (copy < 0)
        return false;
    DIR* d = ::fdopendir(copy);
    if (!d) {
        ::close(copy);
        return false;
    }
    ::rewinddir(d);
    errno = 0;
    while (const dirent* e = ::readdir(d)) {
        const char* n = e->d_name;
        if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0)))
            continue;
        unsigned char type = e->d_type;
        if (type == DT_UNKNOWN) {
            struct stat st {};
            if (::fstatat(fd, n, &st, AT_SYMLINK_NOFOLLOW) == 0)
                type = S_ISREG(st.st_mode) ? DT_REG : S_ISDIR(st.st_mode) ? DT_DIR : S_ISLNK(st.st_mode) ? DT_LNK : DT_FIFO;
        }
        out->push_back({QByteArray(n), type});
        errno = 0;  // only readdir's own failure counts
    }
    const bool ok = errno == 0;
    ::closedir(d);
    return ok;
}

// The names in the order of the sorted list (ascending, without regard to case).
std::vector<const Listed*> sortedNames(const std::vector<const Listed*>& names, QStringList* shown)
{
    QStringList keys;
    keys.reserve(qsizetype(names.size()));
    for (const Listed* n : names)
        keys << QFile::decodeName(n->raw);
    SortedList list;
    list.addAll(keys);
    list.SortList(QStringLiteral("A"));
    std::vector<const Listed*> ordered;
    ordered.reserve(names.size());
    while (!list.atEnd()) {
        *shown << list.getNext();
        ordered.push_back(names[size_t(list.currentObject().toInt())]);
    }
    return ordered;
}

bool sameFile(const struct stat& a, const struct stat& b)
{
    return a.st_size == b.st_size && a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec &&
           a.st_ctim.tv_sec == b.st_ctim.tv_sec && a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

// Copies the size taken before reading from one open file into another (a file that grew or
// shrank meanwhile is caught by the check after the copy); false with errno set on failure.
bool copyData(int in, int out, off_t size)
{
    bool kernelCopy = true;
    std::vector<char> buffer;
    while (size > 0) {
        if (kernelCopy) {
            const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, size_t(std::min<off_t>(size, 64 << 20)), 0);
            if (n > 0) {
                size -= n;
                continue;
            }
            if (n == 0)
                return true;
            if (errno == EINTR)
                continue;
            if (errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP && errno != EPERM)
                return false;
            kernelCopy = false;  // not between these two file systems: read and write
            buffer.resize(1 << 20);
        }
        const ssize_t n = ::read(in, buffer.data(), size_t(std::min<off_t>(size, off_t(buffer.size()))));
        if (n == 0)
            return true;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = ::write(out, buffer.data() + done, size_t(n - done));
            if (w < 0) {
                if (errno == EINTR)
                    continue;
                return false;
            }
            done += w;
        }
        size -= n;
    }
    return true;
}

QByteArray procFdPath(int fd)
{
    return QByteArray("/proc/self/fd/") + QByteArray::number(fd);
}

bool procFdUsable()
{
    static const bool usable = ::access("/proc/self/fd", X_OK) == 0;
    return usable;
}

// Each waiting copy holds an open file: a quarter of what the process may open, at most
// 4096. Every sync of the file system also waits for whatever else is being written to it,
// so fewer and larger batches are much faster on a busy disk.
size_t maxWaitingCopies()
{
    static const size_t limit = [] {
        rlimit r {};
        if (::getrlimit(RLIMIT_NOFILE, &r) != 0 || r.rlim_cur == RLIM_INFINITY)
            return size_t(256);
        return std::clamp<size_t>(size_t(r.rlim_cur / 4), 64, 4096);
    }();
    return limit;
}

// Bounds what a power cut can take back (to be copied again by the next run).
constexpr off_t kMaxWaitingBytes = off_t(512) << 20;

}  // namespace

void FolderSync::folderPass(const QString& source, const QString& destination, const QByteArray& sourcePath,
                            const QByteArray& destinationPath)
{
    yield();
    if (m_cancel)
        return;
    const bool top = destination == m_toFolder;

    struct stat dst {};
    const bool dstThere = ::lstat(destinationPath.constData(), &dst) == 0;
    // A pass never writes through a link: a linked destination folder would lead out of the tree.
    // It is skipped with its line, and the pass goes on with the next folder.
    if (!top && dstThere && S_ISLNK(dst.st_mode)) {
        report(QStringLiteral("LINK"), QStringLiteral("destination folder is a link and is not used: ") + destination,
               QStringLiteral("R"));
        return;
    }
    // As folderExists: a plain folder the owner may write to.
    if (top ? !folderExists(destination) : !(dstThere && S_ISDIR(dst.st_mode) && (dst.st_mode & S_IWUSR))) {
        // The folder bound at the start is gone (a card pulled out, say): nothing can be copied.
        if (top) {
            report(QStringLiteral("ERR"), QStringLiteral("Destination folder does not exist: ") + destination,
                   QStringLiteral("R"));
            throw FolderSyncError(FolderSyncError::DestinationMissing,
                                  QStringLiteral("Destination folder does not exist"));
        }
        if (!m_createSubFolders)
            return;
        if (::mkdir(destinationPath.constData(), 0777) != 0) {
            const int why = errno;
            report(QStringLiteral("ERR"), QStringLiteral("  - unable to create folder ") + destination,
                   QStringLiteral("R"));
            throw folderError(kPathFileAccessError, QStringLiteral("Path/File access error: "), destination, why);
        }
        report(QStringLiteral("NEWSF"), destination.mid(m_toFolder.size() + 1), QStringLiteral("N"));
    }

    if (source.size() > withSeparator(m_fromFolder).size()) {
        report(QStringLiteral("SUBF"), QStringLiteral("--") + source.mid(m_fromFolder.size()), QStringLiteral("Y"));
    } else {
        report(QStringLiteral("FROM"), source, QStringLiteral("Y"));
        report(QStringLiteral("TO"), destination, QStringLiteral("Y"));
    }
    yield();

    const int follow = top ? 0 : O_NOFOLLOW;
    const int srcFd = ::open(sourcePath.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | follow);
    std::vector<Listed> entries;
    if (srcFd < 0 || ::faccessat(srcFd, ".", R_OK | X_OK, 0) != 0 || !listFolder(srcFd, &entries)) {
        const int why = errno;
        if (srcFd >= 0)
            ::close(srcFd);
        report(QStringLiteral("ERR"), QStringLiteral("  - unable to read folder ") + source, QStringLiteral("R"));
        throw folderError(ErrNo::PermissionDenied, QStringLiteral("Permission denied: "), source, why);
    }
    const auto srcDir = std::make_shared<Dir>(srcFd);
    const int dstFd = ::open(destinationPath.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | follow);
    if (dstFd < 0) {
        const int why = errno;
        report(QStringLiteral("ERR"), QStringLiteral("  - unable to read folder ") + destination, QStringLiteral("R"));
        throw folderError(ErrNo::PermissionDenied, QStringLiteral("Permission denied: "), destination, why);
    }
    const auto dstDir = std::make_shared<Dir>(dstFd);

    // A listing returns the plain files, and the hidden ones when they are asked for; links,
    // pipes and devices never.
    std::vector<const Listed*> files;
    for (const Listed& e : entries) {
        if (e.type == DT_REG && (!hiddenName(e.raw) || m_includeHiddenFiles))
            files.push_back(&e);
    }
    QStringList names;
    const std::vector<const Listed*> ordered = sortedNames(files, &names);

    // Once the first file is reached, a failure further on is skipped (subfolders included).
    bool pastFirstFile = false;
    for (size_t i = 0; i < ordered.size() && !m_cancel; ++i) {
        pastFirstFile = true;
        try {
            processFile(srcDir, dstDir, ordered[i]->raw, names[qsizetype(i)]);
        } catch (const KrvError&) {
        }
        yield();
    }

    if (m_cancel)
        return;
    // The links of the source are never followed, and none goes by without a line: a file that
    // is a link, and a folder that is one when subfolders are taken.
    std::vector<const Listed*> links;
    for (const Listed& e : entries) {
        if (e.type != DT_LNK || (hiddenName(e.raw) && !m_includeHiddenFiles))
            continue;
        struct stat target {};
        const bool toFolder = ::fstatat(srcFd, e.raw.constData(), &target, 0) == 0 && S_ISDIR(target.st_mode);
        if (!toFolder || m_includeSubFolders)
            links.push_back(&e);
    }
    QStringList linkNames;
    sortedNames(links, &linkNames);
    for (const QString& name : linkNames)
        report(QStringLiteral("LINK"), QStringLiteral("a link is not followed: ") + source + kSep + name,
               QStringLiteral("R"));
    if (m_cancel || !m_includeSubFolders)
        return;
    entries.clear();
    listFolder(srcFd, &entries);
    std::vector<const Listed*> folders;
    for (const Listed& e : entries) {
        if (e.type != DT_DIR || hiddenName(e.raw))
            continue;
        struct stat st {};
        if (::fstatat(srcFd, e.raw.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 && attributeBits(st, e.raw) == Directory)
            folders.push_back(&e);
    }
    QStringList folderNames;
    const std::vector<const Listed*> orderedFolders = sortedNames(folders, &folderNames);
    yield();
    for (size_t i = 0; i < orderedFolders.size() && !m_cancel; ++i) {
        const QByteArray& raw = orderedFolders[i]->raw;
        try {
            folderPass(source + kSep + folderNames[qsizetype(i)], destination + kSep + folderNames[qsizetype(i)],
                       sourcePath + '/' + raw, destinationPath + '/' + raw);
        } catch (const KrvError&) {
            if (!pastFirstFile)
                throw;
        }
        yield();
    }
}

void FolderSync::processFile(const std::shared_ptr<Dir>& source, const std::shared_ptr<Dir>& destination,
                             const QByteArray& rawName, const QString& name)
{
    const char* raw = rawName.constData();
    // Read once, here, before any of its data: a file that is gone by its turn is not an
    // empty file, and the time taken now is the one the copy gets.
    struct stat src {};
    const bool read = ::fstatat(source->fd, raw, &src, AT_SYMLINK_NOFOLLOW) == 0;
    if (!read || !S_ISREG(src.st_mode)) {
        const QString why = read ? QStringLiteral("not a plain file any more") : systemText(errno);
        report(QStringLiteral("ERR"), QStringLiteral("  - unable to read source file ") + name + QStringLiteral(": ") + why,
               QStringLiteral("R"));
        return;
    }
    struct stat dst {};
    const bool dstThere = ::fstatat(destination->fd, raw, &dst, AT_SYMLINK_NOFOLLOW) == 0;
    // A hidden destination file is there like any other, and compared by time.
    const bool destExists = dstThere && S_ISREG(dst.st_mode);
    const bool sourceEmpty = src.st_size == 0;
    // Whole seconds: the file systems at both ends need not keep finer times.
    const bool sourceNewer = destExists && src.st_mtim.tv_sec > dst.st_mtim.tv_sec;

    const int srcAttr = attributeBits(src, rawName);
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
        if (::unlinkat(destination->fd, raw, 0) != 0)
            report(QStringLiteral("ERR"), QStringLiteral("  - unable to delete from destination folder"),
                   QStringLiteral("R"));
        if (::unlinkat(source->fd, raw, 0) != 0)
            report(QStringLiteral("ERR"), QStringLiteral("  - unable to delete empty file from source folder"),
                   QStringLiteral("R"));
        return;
    }
    if (!doCopy)
        return;

    report(destExists ? QStringLiteral("REPL") : QStringLiteral("NEW"), name, QStringLiteral("N"));
    if (dstThere && S_ISLNK(dst.st_mode)) {
        report(QStringLiteral("ERR"), QStringLiteral("  - destination is a link and was not replaced"),
               QStringLiteral("R"));
        return;
    }
    if (dstThere && !destExists) {
        report(QStringLiteral("ERR"), systemText(S_ISDIR(dst.st_mode) ? EISDIR : EEXIST), QStringLiteral("R"));
        return;
    }
    QString error;
    if (!copyFile(source, destination, rawName, name, src, destExists, &error))
        report(QStringLiteral("ERR"), error, QStringLiteral("R"));
}

// A file to write the copy into, in the destination folder: unnamed where the file system
// allows it (nothing is left behind by a power cut), else under a hidden temporary name.
int FolderSync::openUnnamed(const std::shared_ptr<Dir>& destination, QByteArray* tempName)
{
    tempName->clear();
    if (procFdUsable()) {
        int fd = ::openat(destination->fd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
        if (fd < 0 && errno == EMFILE && !m_copies.empty()) {
            flushCopies();
            fd = ::openat(destination->fd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
        }
        if (fd >= 0 || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL && errno != ENOENT))
            return fd;
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        *tempName = ".krv-copy-" + QByteArray::number(qint64(::getpid())) + '-' + QByteArray::number(attempt);
        const int fd = ::openat(destination->fd, tempName->constData(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

// The copy gets the time the source had before it was read; a source that changes while it
// is read is copied again, and reported when it keeps changing.
bool FolderSync::copyFile(const std::shared_ptr<Dir>& source, const std::shared_ptr<Dir>& destination,
                          const QByteArray& rawName, const QString& name, struct stat before, bool replace,
                          QString* error)
{
    const char* raw = rawName.constData();
    constexpr int kAttempts = 3;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        // A pipe or a device put in the file's place since it was listed is not waited on.
        const int in = OpenRegularFileAt(source->fd, raw, O_NOFOLLOW);
        if (in < 0) {
            *error = systemText(errno);
            return false;
        }
        QByteArray tempName;
        const int out = openUnnamed(destination, &tempName);
        if (out < 0) {
            *error = systemText(errno);
            ::close(in);
            return false;
        }
        const auto discard = [&] {
            ::close(out);
            if (!tempName.isEmpty())
                ::unlinkat(destination->fd, tempName.constData(), 0);
        };
        if (!copyData(in, out, before.st_size)) {
            *error = systemText(errno);
            ::close(in);
            discard();
            return false;
        }
        if (m_copyObserver)
            m_copyObserver(name);
        struct stat after {};
        const bool read = ::fstat(in, &after) == 0;
        ::close(in);
        if (!read || !sameFile(before, after)) {
            discard();
            before = after;
            continue;
        }
        const timespec times[2] = {{0, UTIME_OMIT}, before.st_mtim};
        if (::fchmod(out, before.st_mode & 0777) != 0 || ::futimens(out, times) != 0) {
            *error = systemText(errno);
            discard();
            return false;
        }
        if (tempName.isEmpty()) {
            m_copies.push_back({out, destination, rawName, name, replace});
            m_waitingBytes += before.st_size;
            if (m_copies.size() >= maxWaitingCopies() || m_waitingBytes >= kMaxWaitingBytes)
                flushCopies();
            return true;
        }
        // Without unnamed files: on the disk before it takes the name.
        const bool ok = ::fdatasync(out) == 0;
        const int syncError = errno;
        ::close(out);
        if (!ok || ::renameat(destination->fd, tempName.constData(), destination->fd, raw) != 0) {
            *error = systemText(ok ? errno : syncError);
            ::unlinkat(destination->fd, tempName.constData(), 0);
            return false;
        }
        return true;
    }
    *error = QStringLiteral("  - the file changed while it was copied and was not copied: ") + name;
    return false;
}

// The waiting copies are put on the disk together, one sync per file system, and only then
// named: a power cut leaves either the old file or the whole new one, never a copy that has
// the source's time without its content.
void FolderSync::flushCopies()
{
    if (m_copies.empty())
        return;
    std::vector<PendingCopy> copies;
    copies.swap(m_copies);
    m_waitingBytes = 0;
    std::vector<std::pair<dev_t, int>> synced;  // file system, its sync result
    for (const PendingCopy& c : copies) {
        if (std::none_of(synced.begin(), synced.end(), [&](const auto& s) { return s.first == c.folder->device; }))
            synced.emplace_back(c.folder->device, ::syncfs(c.fd) == 0 ? 0 : errno);
    }
    for (const PendingCopy& c : copies) {
        int error = 0;
        for (const auto& s : synced) {
            if (s.first == c.folder->device)
                error = s.second;
        }
        const QByteArray from = procFdPath(c.fd);
        if (!error && !c.replace) {
            if (::linkat(AT_FDCWD, from.constData(), c.folder->fd, c.rawName.constData(), AT_SYMLINK_FOLLOW) != 0)
                error = errno;
        } else if (!error) {
            // Linked under a passing name, then renamed over the old file in one step.
            QByteArray temp;
            for (int attempt = 0;; ++attempt) {
                temp = ".krv-copy-" + QByteArray::number(qint64(::getpid())) + '-' + QByteArray::number(attempt);
                if (::linkat(AT_FDCWD, from.constData(), c.folder->fd, temp.constData(), AT_SYMLINK_FOLLOW) == 0)
                    break;
                if (errno != EEXIST || attempt >= 100) {
                    error = errno;
                    temp.clear();
                    break;
                }
            }
            if (!temp.isEmpty() && ::renameat(c.folder->fd, temp.constData(), c.folder->fd, c.rawName.constData()) != 0) {
                error = errno;
                ::unlinkat(c.folder->fd, temp.constData(), 0);
            }
        }
        ::close(c.fd);
        if (error)
            report(QStringLiteral("ERR"), QStringLiteral("  - ") + c.name + QStringLiteral(": ") + systemText(error),
                   QStringLiteral("R"));
    }
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
    if (::mkdir(QFile::encodeName(path).constData(), 0777) != 0) {
        const int why = errno;
        report(QStringLiteral("ERR"), QStringLiteral("  - unable to create folder ") + path, QStringLiteral("R"));
        throw folderError(kPathFileAccessError, QStringLiteral("Path/File access error: "), path, why);
    }
    report(QStringLiteral("NEWSF"), path.mid(m_toFolder.size() + 1), QStringLiteral("N"));
}

#include "regularfiles.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool IsRegularFile(const QString& path)
{
    if (path.isEmpty())
        return false;
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 && S_ISREG(st.st_mode);
}

QStringList RegularFileNames(const QString& folder, const QStringList& patterns, QDir::SortFlags sort, bool hidden)
{
    // QDir's file filter passes a link to a pipe or a device: each name is looked at itself.
    const QDir dir(folder);
    QDir::Filters filters = QDir::Files;
    if (hidden)
        filters |= QDir::Hidden;
    QStringList names;
    for (const QString& name : dir.entryList(patterns, filters, sort))
        if (IsRegularFile(dir.filePath(name)))
            names << name;
    return names;
}

int OpenRegularFileAt(int folderFd, const char* name, int flags)
{
    // Looked at first, so a pipe is not opened at all (opening one, even without waiting, lets
    // a writer on its other end go on); the look after the open is at what was opened, should
    // something have been put in its place between the two.
    {
        struct stat named {};
        const bool follow = !(flags & O_NOFOLLOW);
        if (::fstatat(folderFd, name, &named, follow ? 0 : AT_SYMLINK_NOFOLLOW) != 0)
            return -1;
        if (!S_ISREG(named.st_mode)) {
            errno = S_ISDIR(named.st_mode) ? EISDIR : S_ISLNK(named.st_mode) ? ELOOP : EINVAL;
            return -1;
        }
    }
    // Non-blocking, so a pipe put in its place meanwhile is not waited on.
    const int fd = ::openat(folderFd, name, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | flags);
    if (fd < 0)
        return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int why = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        ::close(fd);
        errno = why;
        return -1;
    }
    // Reads of a regular file never wait; the flag is dropped all the same.
    const int fl = ::fcntl(fd, F_GETFL);
    if (fl >= 0)
        ::fcntl(fd, F_SETFL, fl & ~O_NONBLOCK);
    return fd;
}

bool OpenRegularFile(QFile& file, const QString& path)
{
    // Looked at first, so a pipe is never opened at all.
    struct stat st {};
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &st) != 0) {
        if (path.isEmpty())
            errno = ENOENT;
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        return false;
    }
    const int fd = OpenRegularFileAt(AT_FDCWD, QFile::encodeName(path).constData());
    if (fd < 0)
        return false;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        errno = EIO;
        return false;
    }
    return true;
}

#include "smalldisk.h"

#include <QFile>

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

bool writeProcFile(const char* path, const QByteArray& text)
{
    const int fd = ::open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::write(fd, text.constData(), size_t(text.size())) == text.size();
    ::close(fd);
    return ok;
}

}  // namespace

void EnterOwnMountNamespace()
{
    const uid_t uid = ::geteuid();
    const gid_t gid = ::getegid();
    if (uid == 0) {
        if (::unshare(CLONE_NEWNS) != 0)
            return;
    } else {
        if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0)
            return;
        // The user is root of the new namespace, with its own files still its own.
        writeProcFile("/proc/self/setgroups", "deny");
        writeProcFile("/proc/self/uid_map", "0 " + QByteArray::number(uid) + " 1");
        writeProcFile("/proc/self/gid_map", "0 " + QByteArray::number(gid) + " 1");
    }
    // Nothing mounted here reaches the rest of the system.
    ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr);
}

SmallDisk::SmallDisk(qint64 bytes)
{
    if (!m_dir.isValid()) {
        m_why = QStringLiteral("no temporary folder");
        return;
    }
    const QByteArray options = "size=" + QByteArray::number(bytes);
    if (::mount("tmpfs", QFile::encodeName(m_dir.path()).constData(), "tmpfs", 0, options.constData()) != 0) {
        m_why = QStringLiteral("a small tmpfs cannot be mounted here (%1: needs root or a user namespace)")
                    .arg(QString::fromLocal8Bit(std::strerror(errno)));
        return;
    }
    m_mounted = true;
}

SmallDisk::~SmallDisk()
{
    if (m_mounted)
        ::umount2(QFile::encodeName(m_dir.path()).constData(), MNT_DETACH);
}

qint64 SmallDisk::freeBytes() const
{
    struct statvfs st {};
    if (::statvfs(QFile::encodeName(m_dir.path()).constData(), &st) != 0)
        return -1;
    return qint64(st.f_bavail) * qint64(st.f_frsize);
}

bool SmallDisk::fill(qint64 room)
{
    if (!m_mounted)
        return false;
    QFile filler(file(QStringLiteral("filler")));
    if (!filler.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return false;
    const QByteArray block(4096, 'f');
    while (freeBytes() > room)
        if (filler.write(block) != block.size())
            return false;
    filler.close();
    return freeBytes() <= room;
}

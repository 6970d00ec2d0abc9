#include "savefile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStorageInfo>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstring>

namespace {

struct Fault {
    QString fileName;
    qint64 room = 0;
    int error = 0;
};
Fault* gFault = nullptr;

const Fault* faultFor(const QString& path)
{
    return gFault && QFileInfo(path).fileName() == gFault->fileName ? gFault : nullptr;
}

QByteArray encoded(const QString& path) { return QFile::encodeName(path); }

// Links followed at most, as the system itself does; more is taken for a loop.
constexpr int kMaxLinks = 40;

// The file a write of path lands in: a chain of links is followed to its end, so every link
// stays a link (a site's shared krv.ini). A relative link is taken from the folder that really
// holds it, which differs from its name's folder where a link led there ("../" goes up from
// the real one). 0, or the error (ELOOP for a chain that goes round or goes on too long).
int writtenPath(const QString& path, QString* target)
{
    QByteArray current = encoded(path);
    for (int followed = 0; followed <= kMaxLinks; ++followed) {
        struct stat st {};
        if (::lstat(current.constData(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            // Not a link (or missing: it is made there); the open tells any other trouble.
            *target = QFile::decodeName(current);
            return 0;
        }
        QByteArray link(qsizetype(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
        const ssize_t n = ::readlink(current.constData(), link.data(), size_t(link.size()));
        if (n < 0)
            return errno;
        if (n >= link.size())
            return ENAMETOOLONG;  // the link changed under us; taken as a name too long
        link.truncate(n);
        if (link.startsWith('/')) {
            current = link;
            continue;
        }
        const qsizetype slash = current.lastIndexOf('/');
        const QByteArray folder = slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : current.left(slash);
        char* real = ::realpath(folder.constData(), nullptr);
        if (!real)
            return errno;
        current = QByteArray(real);
        ::free(real);
        if (!current.endsWith('/'))
            current += '/';
        current += link;
    }
    return ELOOP;
}

}  // namespace

bool IsReadOnlyFile(const QString& target)
{
    const QByteArray name = encoded(target);
    struct stat st {};
    if (::stat(name.constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
        return true;
    return ::access(name.constData(), W_OK) != 0 && (errno == EACCES || errno == EPERM);
}

namespace {

// "krv.ini is read-only"; a file reached through links is named whole, so the user knows which.
QString readOnlyReason(const QString& path, const QString& target)
{
    const QString name = QFileInfo(path).absoluteFilePath() == QFileInfo(target).absoluteFilePath()
                             ? QFileInfo(target).fileName()
                             : QDir::toNativeSeparators(target);
    return QStringLiteral("%1 is read-only").arg(name);
}

// Where a write of path goes, or why it may not: "" with *target set, or the reason.
QString writableTarget(const QString& path, QString* target)
{
    if (const int error = writtenPath(path, target))
        return PlainFileReason(error);
    if (IsReadOnlyFile(*target))
        return readOnlyReason(path, *target);
    return QString();
}

// Writes all of data at the file's position (or at offset when not negative), holding to the
// room a test's fault leaves; 0, or the error.
int writeAll(int fd, const char* data, qint64 size, const Fault* fault, qint64 alreadyOnDisk, qint64 offset = -1,
             qint64* done = nullptr)
{
    qint64 pos = 0;
    int result = 0;
    while (pos < size) {
        qint64 chunk = size - pos;
        if (fault) {
            const qint64 room = fault->room - alreadyOnDisk - pos;
            if (room <= 0) {
                result = fault->error;
                break;
            }
            chunk = std::min(chunk, room);
        }
        const ssize_t n = offset < 0 ? ::write(fd, data + pos, size_t(chunk))
                                     : ::pwrite(fd, data + pos, size_t(chunk), off_t(offset + pos));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            result = errno;
            break;
        }
        if (n == 0) {
            result = EIO;
            break;
        }
        pos += n;
    }
    if (done)
        *done = pos;
    return result;
}

// The disk's own sync; a file system without one has nothing more to write.
int syncFile(int fd)
{
    if (::fsync(fd) == 0 || errno == EINVAL || errno == ENOTSUP)
        return 0;
    return errno;
}

int openTemporary(const QString& target, QString* temp)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        *temp = target + QStringLiteral(".krv-%1").arg(QRandomGenerator::global()->generate() & 0xffffff, 6, 16,
                                                       QLatin1Char('0'));
        const int fd = ::open(encoded(*temp).constData(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

// The new file keeps the old one's permissions.
void keepMode(int fd, const QString& target)
{
    struct stat st {};
    if (::stat(encoded(target).constData(), &st) == 0)
        (void)::fchmod(fd, st.st_mode & 07777);
}

}  // namespace

QString PlainFileReason(int error)
{
    switch (error) {
    case 0:
        return QString();
    case ENOSPC:
    case EDQUOT:
        return QStringLiteral("the disk is full");
    case EFBIG:
        return QStringLiteral("the file is too large for the disk");
    case EROFS:
        return QStringLiteral("the disk is read-only");
    case EACCES:
    case EPERM:
        return QStringLiteral("the file or its folder is read-only");
    case ENOENT:
    case ENOTDIR:
        return QStringLiteral("the folder does not exist");
    case EISDIR:
        return QStringLiteral("a folder has that name");
    case ENAMETOOLONG:
        return QStringLiteral("the name is too long");
    case ELOOP:
        return QStringLiteral("its links lead round in a loop (or through too many links)");
    case EIO:
        return QStringLiteral("the disk could not be written (input/output error)");
    default:
        break;
    }
    QString text = QString::fromLocal8Bit(std::strerror(error));
    if (!text.isEmpty())
        text[0] = text[0].toLower();
    return text;
}

QString FileNotWrittenText(const QString& path, const QString& reason)
{
    return QStringLiteral("The file %1 could not be written: %2.").arg(QDir::toNativeSeparators(path), reason);
}

QString WithFileReason(const QString& sentence, const std::exception& error)
{
    if (const auto* e = dynamic_cast<const FileWriteError*>(&error))
        return sentence + QLatin1Char('\n') + e->description();
    return sentence;
}

// ------------------------------------------------------------------ SaveFile

SaveFile::SaveFile(const QString& path) : m_path(path), m_target(path) {}

SaveFile::~SaveFile()
{
    if (isOpen())
        discard();
}

bool SaveFile::open(OpenMode mode)
{
    if (isOpen() || (mode & ReadOnly) || !(mode & WriteOnly) || (mode & Append)) {
        setErrorString(QStringLiteral("A file written whole is opened for writing only."));
        return false;
    }
    m_reason.clear();
    m_buffer.clear();
    m_written = m_onDisk = 0;
    m_inPlace = false;
    if (const QString refused = writableTarget(m_path, &m_target); !refused.isEmpty())
        return fail(refused);
    if (const Fault* f = faultFor(m_target); f && f->room < 0)
        return fail(f->error);
    m_fd = openTemporary(m_target, &m_temp);
    if (m_fd < 0) {
        const int error = errno;
        m_temp.clear();
        const QFileInfo there(m_target);
        if (!m_inPlaceAllowed || (error != EACCES && error != EPERM) || !there.isFile() || !there.isWritable())
            return fail(error);
        QFile old(m_target);
        if (!old.open(QIODevice::ReadOnly))
            return fail(EACCES);
        m_oldBytes = old.readAll();
        m_fd = ::open(encoded(m_target).constData(), O_WRONLY | O_CLOEXEC);
        if (m_fd < 0)
            return fail(errno);
        m_inPlace = true;
    } else {
        keepMode(m_fd, m_target);
    }
    return QIODevice::open(WriteOnly | Unbuffered);
}

qint64 SaveFile::writeData(const char* data, qint64 size)
{
    if (!m_reason.isEmpty())
        return -1;
    m_buffer.append(data, size);
    m_written += size;
    // In place, nothing touches the file before the commit.
    constexpr qsizetype kChunk = 1 << 16;
    if (!m_inPlace && m_buffer.size() >= kChunk && !flushBuffer())
        return -1;
    return size;
}

bool SaveFile::flushBuffer()
{
    if (m_buffer.isEmpty())
        return true;
    qint64 done = 0;
    const int error = writeAll(m_fd, m_buffer.constData(), m_buffer.size(), faultFor(m_target), m_onDisk, -1, &done);
    m_onDisk += done;
    m_buffer.clear();
    return error ? fail(error) : true;
}

bool SaveFile::fail(int error) { return fail(PlainFileReason(error)); }

bool SaveFile::fail(const QString& reason)
{
    if (m_reason.isEmpty())
        m_reason = reason;
    setErrorString(failureText());
    return false;
}

QString SaveFile::failureText() const { return m_reason.isEmpty() ? QString() : FileNotWrittenText(m_path, m_reason); }

void SaveFile::discard()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    if (!m_temp.isEmpty())
        ::unlink(encoded(m_temp).constData());
    m_temp.clear();
    m_buffer.clear();
    m_oldBytes.clear();
    QIODevice::close();
}

void SaveFile::cancel()
{
    if (isOpen())
        discard();
}

bool SaveFile::commit()
{
    if (!isOpen()) {
        if (m_reason.isEmpty())
            fail(QStringLiteral("it was not opened"));
        return false;
    }
    if (m_inPlace)
        return commitInPlace();
    bool ok = m_reason.isEmpty() && flushBuffer();
    if (ok) {
        if (const int error = syncFile(m_fd))
            ok = fail(error);
    }
    if (ok) {
        // Every byte the caller gave is in the file: no short write passed unseen.
        struct stat st {};
        if (::fstat(m_fd, &st) != 0)
            ok = fail(errno);
        else if (st.st_size != m_written)
            ok = fail(QStringLiteral("only %1 of its %2 bytes reached the disk").arg(st.st_size).arg(m_written));
    }
    if (ok) {
        const int fd = m_fd;
        m_fd = -1;
        if (::close(fd) != 0)
            ok = fail(errno);
    }
    if (ok && m_expectPdf) {
        if (const QString problem = PdfProblem(m_temp); !problem.isEmpty())
            ok = fail(QStringLiteral("the PDF came out incomplete (%1)").arg(problem));
    }
    if (ok && ::rename(encoded(m_temp).constData(), encoded(m_target).constData()) != 0)
        ok = fail(errno);
    if (!ok) {
        discard();
        return false;
    }
    m_temp.clear();
    QIODevice::close();
    return true;
}

bool SaveFile::commitInPlace()
{
    const Fault* fault = faultFor(m_target);
    int error = m_reason.isEmpty() ? 0 : -1;
    if (!error)
        error = writeAll(m_fd, m_buffer.constData(), m_buffer.size(), fault, 0, 0);
    if (!error && ::ftruncate(m_fd, off_t(m_buffer.size())) != 0)
        error = errno;
    if (!error)
        error = syncFile(m_fd);
    if (error) {
        // The old bytes fit where they were.
        writeAll(m_fd, m_oldBytes.constData(), m_oldBytes.size(), nullptr, 0, 0);
        (void)::ftruncate(m_fd, off_t(m_oldBytes.size()));
        syncFile(m_fd);
        if (error > 0)
            fail(error);
        discard();
        return false;
    }
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0) {
        fail(errno);
        discard();
        return false;
    }
    m_buffer.clear();
    m_oldBytes.clear();
    QIODevice::close();
    return true;
}

bool SaveFileBytes(const QString& path, const QByteArray& bytes, QString* failure, bool inPlaceFallback)
{
    SaveFile file(path);
    file.setInPlaceFallback(inPlaceFallback);
    if (file.open() && file.write(bytes) == bytes.size() && file.commit())
        return true;
    file.cancel();
    if (failure)
        *failure = file.failureText();
    return false;
}

bool AppendToFile(const QString& path, const QByteArray& bytes, QString* failure)
{
    const Fault* fault = faultFor(path);
    auto failed = [&](int error) {
        if (failure)
            *failure = FileNotWrittenText(path, PlainFileReason(error));
        return false;
    };
    if (fault && fault->room < 0)
        return failed(fault->error);
    if (IsReadOnlyFile(path)) {
        if (failure)
            *failure = FileNotWrittenText(path, readOnlyReason(path, path));
        return false;
    }
    const bool existed = QFileInfo::exists(path);
    const int fd = ::open(encoded(path).constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    if (fd < 0)
        return failed(errno);
    struct stat st {};
    int error = ::fstat(fd, &st) == 0 ? 0 : errno;
    if (!error)
        error = writeAll(fd, bytes.constData(), bytes.size(), fault, 0);
    if (!error)
        error = syncFile(fd);
    if (error) {
        (void)::ftruncate(fd, st.st_size);
        ::close(fd);
        if (!existed)
            ::unlink(encoded(path).constData());
        return failed(error);
    }
    if (::close(fd) != 0)
        return failed(errno);
    return true;
}

// ------------------------------------------------------------------ files another writer makes

QString MakeTemporaryBeside(const QString& target, QString* failure)
{
    QString temp;
    QString written;
    if (const QString refused = writableTarget(target, &written); !refused.isEmpty()) {
        if (failure)
            *failure = FileNotWrittenText(target, refused);
        return QString();
    }
    const int fd = openTemporary(written, &temp);
    if (fd < 0) {
        if (failure)
            *failure = FileNotWrittenText(target, PlainFileReason(errno));
        return QString();
    }
    ::close(fd);
    return temp;
}

bool CommitWrittenPdf(const QString& temp, const QString& target, QString* failure)
{
    QString written;
    QString reason = writableTarget(target, &written);
    if (!reason.isEmpty()) {
        // Made read-only (or its links changed) while the printer wrote: the old file stays.
        QFile::remove(temp);
        if (failure)
            *failure = FileNotWrittenText(target, reason);
        return false;
    }
    if (const Fault* f = faultFor(written)) {
        // What the disk would have left of it.
        if (f->room < 0 || QFileInfo(temp).size() > f->room) {
            QFile::resize(temp, std::max<qint64>(0, f->room));
            reason = PlainFileReason(f->error);
        }
    }
    const QString problem = PdfProblem(temp);
    if (!problem.isEmpty() && reason.isEmpty()) {
        // A cut file on a disk with no room left was cut by the disk.
        const QStorageInfo disk(QFileInfo(temp).absolutePath());
        reason = disk.isValid() && disk.bytesAvailable() < (1 << 20)
                     ? PlainFileReason(ENOSPC)
                     : QStringLiteral("the PDF came out incomplete (%1)").arg(problem);
    }
    int error = 0;
    if (problem.isEmpty()) {
        const int fd = ::open(encoded(temp).constData(), O_RDONLY | O_CLOEXEC);
        error = fd < 0 ? errno : syncFile(fd);
        if (fd >= 0) {
            if (!error)
                keepMode(fd, written);
            ::close(fd);
        }
        if (!error && ::rename(encoded(temp).constData(), encoded(written).constData()) != 0)
            error = errno;
        if (error)
            reason = PlainFileReason(error);
    }
    if (!problem.isEmpty() || error) {
        QFile::remove(temp);
        if (failure)
            *failure = FileNotWrittenText(target, reason);
        return false;
    }
    return true;
}

QString PdfProblem(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QStringLiteral("it cannot be read");
    const qint64 size = f.size();
    if (size == 0)
        return QStringLiteral("it is empty");
    const qint64 tailStart = std::max<qint64>(0, size - 1024);
    f.seek(tailStart);
    const QByteArray tail = f.read(size - tailStart);
    if (!tail.trimmed().endsWith("%%EOF"))
        return QStringLiteral("it does not end with %%EOF");
    const qsizetype at = tail.lastIndexOf("startxref");
    if (at < 0)
        return QStringLiteral("it has no startxref");
    bool ok = false;
    const qint64 xref = tail.mid(at + 9).trimmed().split('\n').value(0).trimmed().toLongLong(&ok);
    const qint64 xrefEnd = tailStart + at;  // the table and the trailer end where startxref begins
    if (!ok || xref <= 0 || xref >= xrefEnd)
        return QStringLiteral("its cross-reference table is not where its trailer says");
    f.seek(xref);
    const QByteArray table = f.read(xrefEnd - xref);
    if (!table.startsWith("xref"))
        return QStringLiteral("its cross-reference table is not where its trailer says");
    // Subsections "first count" of 20-byte entries, up to the trailer; every object in use lies
    // before the table.
    qsizetype pos = 4;
    auto skipSpace = [&] {
        while (pos < table.size() && std::isspace(uchar(table[pos])))
            ++pos;
    };
    for (;;) {
        skipSpace();
        if (table.mid(pos, 7) == "trailer")
            return QString();
        const qsizetype eol = table.indexOf('\n', pos);
        if (eol < 0)
            break;
        const QList<QByteArray> head = table.mid(pos, eol - pos).trimmed().split(' ');
        bool okCount = false;
        const qint64 count = head.value(1).toLongLong(&okCount);
        if (head.size() != 2 || !okCount || count < 0)
            break;
        pos = eol + 1;
        if (pos + count * 20 > table.size())
            break;
        for (qint64 i = 0; i < count; ++i, pos += 20) {
            const QByteArray entry = table.mid(pos, 20);
            if (entry.size() != 20 || (entry[17] != 'n' && entry[17] != 'f'))
                return QStringLiteral("its cross-reference table is damaged");
            if (entry[17] == 'n' && entry.left(10).toLongLong() >= xref)
                return QStringLiteral("an object lies past its cross-reference table");
        }
    }
    return QStringLiteral("its cross-reference table is cut short");
}

// ------------------------------------------------------------------ test seam

WriteFault::WriteFault(const QString& fileName, qint64 room, int error)
{
    delete gFault;
    gFault = new Fault{fileName, room, error};
}

WriteFault::~WriteFault()
{
    delete gFault;
    gFault = nullptr;
}

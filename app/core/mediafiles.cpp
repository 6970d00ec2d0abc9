#include "mediafiles.h"

#include "failurereason.h"
#include "regularfiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>

QString NumberedFileName(const QString& name, int number)
{
    if (number <= 1)
        return name;
    // The number goes before the last extension; a leading dot is no extension.
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    const QString suffix = QStringLiteral(" (%1)").arg(number);
    if (dot <= 0)
        return name + suffix;
    return name.left(dot) + suffix + name.mid(dot);
}

bool SameFileContent(const QString& a, const QString& b)
{
    // Regular files only, opened without ever waiting on a pipe put in their place.
    QFile fa, fb;
    if (!OpenRegularFile(fa, a) || !OpenRegularFile(fb, b) || fa.size() != fb.size())
        return false;
    constexpr qint64 kChunk = 1 << 16;
    for (;;) {
        const QByteArray x = fa.read(kChunk);
        const QByteArray y = fb.read(kChunk);
        if (x != y)
            return false;
        if (x.isEmpty())
            return fa.atEnd() && fb.atEnd();
    }
}

namespace {

// Copies source to target through a temporary name beside it; never replaces target.
// "" on success, else why not.
QString copyWithoutReplacing(const QFileInfo& source, const QString& target, bool* targetAppeared)
{
    *targetAppeared = false;
    const QString temp = target + QStringLiteral(".krv-copy");
    if (QFileInfo::exists(temp) && !QFile::remove(temp))
        return QStringLiteral("%1 cannot be replaced").arg(QDir::toNativeSeparators(temp));
    QFile in(source.filePath());
    if (!in.copy(temp)) {
        QFile::remove(temp);
        return in.errorString();
    }
    {
        QFile out(temp);
        if (!out.open(QIODevice::ReadWrite)
            || !out.setFileTime(source.lastModified(), QFileDevice::FileModificationTime)) {
            const QString why = out.errorString();
            out.close();
            QFile::remove(temp);
            return why;
        }
    }
    // QFile::rename refuses an existing target: a file that appeared meanwhile stays.
    QFile copied(temp);
    if (!copied.rename(target)) {
        *targetAppeared = QFileInfo::exists(target);
        const QString why = copied.errorString();
        QFile::remove(temp);
        return why;
    }
    return QString();
}

}  // namespace

MediaPlacement PlaceMediaFile(const QString& source, const QString& folder,
                              const std::function<bool(const QString&)>& taken)
{
    MediaPlacement result;
    const QFileInfo src(source);
    if (!IsRegularFile(source)) {
        result.error = QStringLiteral("%1 is not a file").arg(QDir::toNativeSeparators(source));
        result.reason = SystemErrorReason(src.exists() ? (src.isDir() ? EISDIR : EINVAL) : ENOENT, source);
        return result;
    }
    const QDir dir(folder);
    const QString name = src.fileName();
    for (int n = 1; n < 10000; ++n) {
        const QString candidate = NumberedFileName(name, n);
        const QString target = dir.filePath(candidate);
        const QFileInfo there(target);
        if (there.exists() || there.isSymLink()) {
            if (SameFileContent(source, target)) {
                result.name = candidate;
                return result;
            }
            continue;
        }
        if (taken && taken(candidate))
            continue;
        bool appeared = false;
        const QString why = copyWithoutReplacing(src, target, &appeared);
        if (why.isEmpty()) {
            result.name = candidate;
            result.copied = true;
            return result;
        }
        if (!appeared) {
            result.error = why;
            // A read-only or full folder is named as such; the folder, not the copy's temporary name.
            result.reason = SystemErrorReason(SystemErrorInText(why), folder);
            return result;
        }
    }
    result.error = QStringLiteral("No free name for %1").arg(name);
    return result;
}

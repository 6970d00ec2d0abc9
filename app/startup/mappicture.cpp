#include "mappicture.h"

#include "failurereason.h"
#include "prompt.h"
#include "regularfiles.h"

#include <QDir>

#include <QFile>
#include <QFileInfo>
#include <QImageReader>

#include <cerrno>

MapPictureCheck CheckMapPicture(const QString& path, QSize* size)
{
    if (size)
        *size = QSize();
    // A pipe or a device named like a picture is never opened: a reader would wait for good.
    QFile file;
    if (!OpenRegularFile(file, path))
        return MapPictureCheck::NotPicture;
    QImageReader reader(&file);
    reader.setDecideFormatFromContent(true);
    if (!reader.canRead())
        return MapPictureCheck::NotPicture;
    const QSize s = reader.size();
    if (size)
        *size = s;
    // A format that does not tell its size from the header is judged when it is read.
    if (!s.isValid())
        return MapPictureCheck::Ok;
    if (s.width() > kMapPictureMaxSide || s.height() > kMapPictureMaxSide ||
        qint64(s.width()) * s.height() > kMapPictureMaxPixels)
        return MapPictureCheck::TooLarge;
    return MapPictureCheck::Ok;
}

QString MapPictureTooLargeText(const QString& fileName, QSize size)
{
    return QStringLiteral("The picture %1 is %2 x %3 pixels, too large for a map.  A map picture may have at most "
                          "%4 million pixels (for example 8000 x 5000) and %5 pixels on a side.")
        .arg(fileName)
        .arg(size.width())
        .arg(size.height())
        .arg(kMapPictureMaxPixels / 1'000'000)
        .arg(kMapPictureMaxSide);
}

bool MapPictureSizeAccepted(const QString& path, const QString& title)
{
    QSize size;
    if (CheckMapPicture(path, &size) != MapPictureCheck::TooLarge)
        return true;
    MsgBox(MapPictureTooLargeText(QFileInfo(path).fileName(), size), MsgButtons::Ok, MsgIcon::Warning, title);
    return false;
}

QString UnreadableMapPictureText(const QString& path)
{
    const QString sentence = QStringLiteral("The map picture %1 cannot be read.").arg(QDir::toNativeSeparators(path));
    const QFileInfo fi(path);
    if (!fi.exists())
        return WithReason(sentence, SystemErrorReason(ENOENT, path));
    if (fi.isDir())
        return WithReason(sentence, SystemErrorReason(EISDIR, path));
    if (!fi.isFile())
        return WithReason(sentence, SystemErrorReason(EINVAL, path));
    QFile file;
    if (!OpenRegularFile(file, path))
        return WithReason(sentence, fi.isReadable() ? QString() : QStringLiteral("Permission to read it was denied."));
    QImageReader reader(&file);
    reader.setDecideFormatFromContent(true);
    if (!reader.canRead())
        return WithReason(sentence, QStringLiteral("It is not a picture, or it is damaged."));
    return QString();
}

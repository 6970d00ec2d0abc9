#include "picturetypes.h"

#include "regularfiles.h"

#include <QFile>
#include <QImageReader>
#include <QStringList>

namespace {

struct Kind {
    const char* format;  // as QImageReader names it
    const char* name;
    const char* patterns;
    bool browse;  // offered by the file dialog too
};

// In the order the choosers list them.
constexpr Kind kKinds[] = {
    {"bmp", "Bitmap Files (*.bmp;*.dib)", "*.bmp;*.dib", true},
    {"gif", "GIF Files (*.gif)", "*.gif", true},
    {"jpeg", "JPEG Files (*.jpg;*.jpeg)", "*.jpg;*.jpeg", true},
    {"png", "PNG Files (*.png)", "*.png", true},
    {"ico", nullptr, "*.ico", false},
    {"cur", nullptr, "*.cur", false},
};

bool readable(const char* format)
{
    static const QList<QByteArray> formats = QImageReader::supportedImageFormats();
    return formats.contains(QByteArray(format));
}

}  // namespace

QList<PictureFileType> PictureFileTypes()
{
    QStringList all;
    QList<PictureFileType> types;
    for (const Kind& k : kKinds) {
        if (!readable(k.format))
            continue;
        all << QString::fromLatin1(k.patterns);
        if (k.name)
            types.append({QString::fromLatin1(k.name), QString::fromLatin1(k.patterns)});
    }
    types.prepend({QStringLiteral("All Picture Files"), all.join(QLatin1Char(';'))});
    return types;
}

QString PictureBrowseFilter()
{
    QStringList patterns;
    for (const Kind& k : kKinds)
        if (k.browse && readable(k.format))
            patterns << QString::fromLatin1(k.patterns).split(QLatin1Char(';'));
    return QStringLiteral("All Picture Files (%1)").arg(patterns.join(QLatin1Char(' ')));
}

bool IsReadablePicture(const QString& path)
{
    // A pipe or a device named like a picture is never opened: a reader would wait for good.
    QFile file;
    if (!OpenRegularFile(file, path))
        return false;
    QImageReader reader(&file);
    reader.setDecideFormatFromContent(true);
    if (!reader.canRead())
        return false;
    // Judged by its header and a decode at thumbnail size: a camera's picture may be far larger
    // than Qt decodes whole, and it is only ever decoded at the size it is shown (a JPEG decodes
    // straight at an eighth of its size). A kind that does not tell its size first is read whole.
    const QSize size = reader.size();
    if (size.isValid()) {
        if (size.isEmpty())
            return false;
        reader.setScaledSize(size.scaled(64, 64, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)));
    }
    return !reader.read().isNull();
}

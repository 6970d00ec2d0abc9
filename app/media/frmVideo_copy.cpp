#include "frmVideo_copy.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

bool CopyClipInto(const QString& source, const QString& folder, const QString& bareName)
{
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        return false;
    const QDateTime modified = QFileInfo(in).lastModified();
    QSaveFile out(QDir(folder).filePath(bareName));
    if (!out.open(QIODevice::WriteOnly))
        return false;
    QByteArray buffer(1 << 20, Qt::Uninitialized);
    for (;;) {
        const qint64 n = in.read(buffer.data(), buffer.size());
        if (n < 0) {
            out.cancelWriting();
            return false;
        }
        if (n == 0)
            break;
        if (out.write(buffer.constData(), n) != n) {
            out.cancelWriting();
            return false;
        }
    }
    // Flushed first, so no later write touches the time set here; the rename keeps it.
    if (!out.flush() || !out.setFileTime(modified, QFileDevice::FileModificationTime)) {
        out.cancelWriting();
        return false;
    }
    return out.commit();
}

bool SameFolderText(const QString& a, const QString& b)
{
    return QDir::cleanPath(QDir::fromNativeSeparators(a)) == QDir::cleanPath(QDir::fromNativeSeparators(b));
}

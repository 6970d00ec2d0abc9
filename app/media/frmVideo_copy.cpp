#include "frmVideo_copy.h"

#include <QDir>

bool SameFolderText(const QString& a, const QString& b)
{
    return QDir::cleanPath(QDir::fromNativeSeparators(a)) == QDir::cleanPath(QDir::fromNativeSeparators(b));
}

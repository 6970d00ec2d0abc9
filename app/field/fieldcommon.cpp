#include "fieldcommon.h"

#include "helpers.h"
#include "modkrv.h"

#include <varnock_errors.h>

QString DefaultReplicaFileName(const QDate& date)
{
    QString text = ShortDateText(date);
    text.replace(QLatin1Char('/'), QLatin1Char('_'));
    return QStringLiteral("KRV_Replica_") + text + kReplicaExtension;
}

QString ReplicaDescription(const QDate& date)
{
    return QStringLiteral("KRV Inspection Replica ") + ShortDateText(date);
}

QString ReplicaFilePath(const QString& folder, const QString& fileName, int count, int i)
{
    QString base = folder;
    if (!base.endsWith(QLatin1Char('/')))
        base += QLatin1Char('/');
    if (count < 2)
        return base + fileName;
    const qsizetype ext = fileName.indexOf(kReplicaExtension);
    return base + fileName.left(ext < 0 ? fileName.size() : ext) + QLatin1Char('_') + QString::number(i) +
           kReplicaExtension;
}

bool HasReplicaExtension(const QString& fileName)
{
    return fileName.trimmed().endsWith(kReplicaExtension, Qt::CaseSensitive);
}

void LogFieldError(const QString& message, const QString& source, const std::exception& error)
{
    if (const auto* e = dynamic_cast<const Varnock::SynchronizerError*>(&error))
        LogError(message, source, long(e->number()), e->description());
    else
        LogError(message, source, error);
}

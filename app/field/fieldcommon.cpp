#include "fieldcommon.h"

#include "helpers.h"
#include "db.h"
#include "krverror.h"
#include "modkrv.h"
#include "settings.h"

#include <varnock.h>
#include <varnock_errors.h>

#include <QLocale>
#include <QRegularExpression>

#include <algorithm>

QString ReplicaDateText(const QDate& date, const QString& shortFormat)
{
    QString format = shortFormat;
    static const QRegularExpression numeric(QStringLiteral("^[dMy]{1,4}([^A-Za-z']+[dMy]{1,4}){2}$"));
    if (!numeric.match(format).hasMatch() || format.contains(QLatin1String("MMM")) ||
        format.contains(QLatin1String("ddd")) || !format.contains(QLatin1Char('d')) ||
        !format.contains(QLatin1Char('M')) || !format.contains(QLatin1Char('y')))
        format = QStringLiteral("M/d/yyyy");
    else if (!format.contains(QLatin1String("yyyy")))
        format.replace(QRegularExpression(QStringLiteral("y+")), QStringLiteral("yyyy"));
    // QDate's own formatting writes ASCII digits whatever the locale.
    QString text = date.toString(format);
    text.replace(QRegularExpression(QStringLiteral("[^0-9]+")), QStringLiteral("_"));
    return text;
}

QString DefaultReplicaFileName(const QDate& date)
{
    return QStringLiteral("KRV_Replica_") + ReplicaDateText(date, QLocale::system().dateFormat(QLocale::ShortFormat)) +
           kReplicaExtension;
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

bool IsMemberOfSet(Varnock::Synchronizer& master, const QString& replicaPath)
{
    const auto set = master.ReplicaSet();
    const QString id = GetReplicaId(replicaPath);
    if (id.isEmpty())
        return false;
    const std::int16_t count = std::int16_t(std::min(set->Count(), 32767));
    for (std::int16_t i = 1; i <= count; ++i)
        if (set->Item(i)->ReplicaID() == id)
            return true;
    return false;
}

void LogFieldError(const QString& message, const QString& source, const std::exception& error)
{
    if (const auto* e = dynamic_cast<const Varnock::SynchronizerError*>(&error))
        LogError(message, source, long(e->number()), e->description());
    else
        LogError(message, source, error);
}

void KeepRightsAtMaster(const QString& master)
{
    QString why;
    if (!Varnock::SetMasterOnlyTables(master, kMasterOnlyTables, &why))
        throw KrvError(ErrNo::PermissionDenied, why);
}

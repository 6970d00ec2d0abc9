#include "fieldcommon.h"

#include "helpers.h"
#include "db.h"
#include "failurereason.h"
#include "krverror.h"
#include "modkrv.h"
#include "prompt.h"
#include "settings.h"

#include <varnock.h>
#include <varnock_errors.h>

#include <QDir>
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

ReplicaCheck CheckReplica(Varnock::Synchronizer& master, const QString& replicaPath)
{
    if (IsDamagedDatabase(replicaPath))
        return ReplicaCheck::Damaged;
    return IsMemberOfSet(master, replicaPath) ? ReplicaCheck::Member : ReplicaCheck::NotMember;
}

QString DamagedReplicaText(const QString& replicaPath)
{
    return QStringLiteral("The replica file %1 is damaged (cut short or not a database); nothing was exchanged.")
        .arg(QDir::toNativeSeparators(replicaPath));
}

bool ReplicaAccepted(ReplicaCheck check, const QString& replicaPath)
{
    if (check == ReplicaCheck::Member)
        return true;
    MsgBox(check == ReplicaCheck::Damaged ? DamagedReplicaText(replicaPath) : kNotMemberOfSet, MsgButtons::Ok,
           MsgIcon::Warning);
    return false;
}

QString FieldFailureFile(const std::exception& error, const QString& file)
{
    // The file the error itself names wins: of a replica and its source, only the library knows which one
    // met the full disk.
    if (const auto* e = dynamic_cast<const Varnock::SynchronizerError*>(&error); e && !e->file().isEmpty())
        return e->file();
    if (const auto* k = dynamic_cast<const KrvError*>(&error); k && !k->file().isEmpty())
        return k->file();
    return file;
}

QString FieldFailureReason(const std::exception& error, const QString& file)
{
    QString text;
    const QString concerned = FieldFailureFile(error, file);
    if (const auto* e = dynamic_cast<const Varnock::SynchronizerError*>(&error)) {
        text = e->description();
    } else {
        if (const QString reason = FailureReason(error); !reason.isEmpty())
            return reason;
        // The synchronizer's words handed on (the rights kept at the master); a database error has its code.
        if (const auto* k = dynamic_cast<const KrvError*>(&error); k && !dynamic_cast<const DbError*>(k))
            text = k->description();
    }
    // The synchronizer hands on the engine's or the system's words; the message says them plainly.
    if (const long code = SqliteCodeInText(text))
        return SqliteErrorReason(code, text, concerned);
    if (const int system = SystemErrorInText(text))
        return SystemErrorReason(system, concerned);
    return QString();
}

void LogFieldError(const QString& message, const QString& source, const std::exception& error, const QString& file)
{
    const QString shown = message.isEmpty() ? message : WithReason(message, FieldFailureReason(error, file));
    if (const auto* e = dynamic_cast<const Varnock::SynchronizerError*>(&error))
        LogError(shown, source, long(e->number()), e->description());
    else
        LogError(shown, source, error);
}

void KeepRightsAtMaster(const QString& master)
{
    QString why;
    if (!Varnock::SetMasterOnlyTables(master, kMasterOnlyTables, &why)) {
        // It writes the master's file: its disk, not the replica's, is the one a failure concerns.
        KrvError error(ErrNo::PermissionDenied, why);
        error.setFile(master);
        throw error;
    }
}

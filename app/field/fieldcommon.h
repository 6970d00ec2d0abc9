#pragma once
#include <QDate>
#include <QString>
#include <QStringList>
#include <exception>

// What the replica windows and the field synchronisation screen share.

// The synchronizer's log and the field synchronisation's log, both in the program folder.
inline const QString kReplicaLogName = QStringLiteral("KRV_ReplicaLog.txt");
inline const QString kSyncLogName = QStringLiteral("KRV_SyncLog.txt");
// Replica files are tunnel databases.
inline const QString kReplicaExtension = QStringLiteral(".db");
inline const QString kReplicaFileFilter = QStringLiteral("Tunnel Database Files (*.db)");

// The users and their rights: changed at the master only, never taken in from a replica.
inline const QStringList kMasterOnlyTables = {QStringLiteral("login")};
// Records that rule in the master's file; throws when it cannot.
void KeepRightsAtMaster(const QString& master);

// "KRV_Replica_", the numeric short date and ".db".
QString DefaultReplicaFileName(const QDate& date);
// A date in a short format as a file name takes it: numbers only, the year in four digits, "_" between. A
// format that spells the month or the day (the C locale's "d MMM yyyy") gives way to month, day, year.
QString ReplicaDateText(const QDate& date, const QString& shortFormat);
// "KRV Inspection Replica " and the short date.
QString ReplicaDescription(const QDate& date);
// The file of replica i (from 1) of count in folder: the name as it is for fewer than 2,
// else the name up to its first ".db", "_", i and ".db".
QString ReplicaFilePath(const QString& folder, const QString& fileName, int count, int i);
// True when the trimmed name ends in ".db" (case counts).
bool HasReplicaExtension(const QString& fileName);

namespace Varnock {
class Synchronizer;
}
// True when the file at replicaPath is a member of the replica set of the database master is bound to.
// A plain database is made replicable by the look-up (a set of its own), as GetReplicaId does.
bool IsMemberOfSet(Varnock::Synchronizer& master, const QString& replicaPath);
// The text shown when it is not.
inline const QString kNotMemberOfSet = QStringLiteral(
    "The selected database file does not appear to be part of the KRV Replica Set or is not a replicated "
    "database.\nData synchronization was not performed.");

// What a replica brought for an exchange is: a damaged file (cut short on the way, or no database at
// all) is told apart from a whole one of another set, so a stick holding field work is not thrown away.
enum class ReplicaCheck { Member, NotMember, Damaged };
ReplicaCheck CheckReplica(Varnock::Synchronizer& master, const QString& replicaPath);
// The text shown for a damaged one.
QString DamagedReplicaText(const QString& replicaPath);
// Shows the text for a replica that is not a member or is damaged; false then.
bool ReplicaAccepted(ReplicaCheck check, const QString& replicaPath);

// The file an error of the field windows concerns: the one it names itself (the library names the
// file whose disk is full), else file.
QString FieldFailureFile(const std::exception& error, const QString& file = QString());
// The reason an error of the field windows tells, the synchronizer's included (it hands on the
// engine's or the system's words), in plain words; file: the file it concerns. "" when none.
QString FieldFailureReason(const std::exception& error, const QString& file = QString());

// LogError with the number and text of any error the field windows meet, the
// synchronizer's included; a message shown gets the reason on a second line. file: the file the
// failure concerns, for the reason's words (the replica being made).
void LogFieldError(const QString& message, const QString& source, const std::exception& error,
                   const QString& file = QString());

#pragma once
#include <QDate>
#include <QString>
#include <exception>

// What the replica windows and the field synchronisation screen share.

// The synchronizer's log and the field synchronisation's log, both in the program folder.
inline const QString kReplicaLogName = QStringLiteral("KRV_ReplicaLog.txt");
inline const QString kSyncLogName = QStringLiteral("KRV_SyncLog.txt");
// Replica files are tunnel databases.
inline const QString kReplicaExtension = QStringLiteral(".db");
inline const QString kReplicaFileFilter = QStringLiteral("Tunnel Database Files (*.db)");

// "KRV_Replica_" and the short date with every "/" made "_", then ".db".
QString DefaultReplicaFileName(const QDate& date);
// "KRV Inspection Replica " and the short date.
QString ReplicaDescription(const QDate& date);
// The file of replica i (from 1) of count in folder: the name as it is for fewer than 2,
// else the name up to its first ".db", "_", i and ".db".
QString ReplicaFilePath(const QString& folder, const QString& fileName, int count, int i);
// True when the trimmed name ends in ".db" (case counts).
bool HasReplicaExtension(const QString& fileName);

// LogError with the number and text of any error the field windows meet, the
// synchronizer's included.
void LogFieldError(const QString& message, const QString& source, const std::exception& error);

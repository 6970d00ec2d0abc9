#pragma once
// What the store's own files share (replsetup, replicas, exchange*, history, masteronly); not for callers
// of the store, who use replstore.h.
#include "replstore.h"
#include "sqlitedb.h"

#include <QByteArray>
#include <QSet>
#include <QString>
#include <QStringList>

namespace Varnock::Store {

constexpr int kDesignMasterPriority = 100;

// Now in UTC, as the store's tables keep times.
QString isoNow();

// A nickname for a new member that none of taken has.
qint32 newNickname(const QSet<qint64>& taken);

// A row not changed since its file became replicable stores no identity or lineage: these give the SQL of its
// derived identity from its rowid, of the rowid inside such an identity, and the lineage it has until its first
// change (of the Design Master of that nickname, or of the file of schema).
QString derivedGuidSql(const QString& table, const QString& rowid);
QString derivedRowidSql(const QString& table, const QString& guid);
QByteArray firstLineage(qint64 designMasterNickname);
QByteArray firstLineage(Sql::Db& db, const QString& schema);

// The user columns of a table (its change columns left out).
QStringList userColumns(Sql::Db& db, const QString& schema, const QString& table);
// Whether the capture triggers of the file of schema are this version's, and bringing them there (those of an
// earlier version are replaced; inside a write transaction). refreshTriggers is true when it changed some.
bool triggersCurrent(Sql::Db& db, const QString& schema);
bool refreshTriggers(Sql::Db& db, const QString& schema);

// Refusals of a read-only or prevent-deletes replica for writes that are not the engine's.
QStringList guardTriggers(const QString& table, int flags);

// Whether the file of schema has a replica identity, and that identity (NotReplicable thrown without one).
bool hasInfo(Sql::Db& db, const QString& schema = QStringLiteral("main"));
Identity readInfo(Sql::Db& db, const QString& schema = QStringLiteral("main"));

// One row of the exchange history of the file of schema (replaced when the exchange is already listed).
void writeHistory(Sql::Db& db, const QString& schema, const Exchange& e);

}  // namespace Varnock::Store

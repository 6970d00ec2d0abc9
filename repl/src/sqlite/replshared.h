#pragma once
// What the store's own files share (replsetup, replicas, exchange*, history, masteronly); not for callers
// of the store, who use replstore.h.
#include "replstore.h"
#include "sqlitedb.h"

#include <QByteArray>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVector>

namespace Varnock::Store {

constexpr int kDesignMasterPriority = 100;

// A text as a JSON string.
QString jsonString(const QString& s);
// The REAL x (SQL) as JSON that gives back exactly the same value.
QString exactRealJsonSql(const QString& x);

// Now in UTC, as the store's tables keep times.
QString isoNow();

// A nickname for a new member that none of taken has.
qint32 newNickname(const QSet<qint64>& taken);

// What the identity of a row not changed since its file became replicable is derived from: values that survive
// any rebuild of the file that keeps them (the sqlite3 shell's .dump and .clone renumber the rowids of a table
// without an INTEGER PRIMARY KEY).
struct TableKey {
    enum Kind {
        Rowid = 0,     // the INTEGER PRIMARY KEY (the rowid itself)
        Columns = 1,   // the primary key, or a unique index, of NOT NULL columns
        Content = 2,   // every user column: a row of a table without such a key is its values
    };
    int kind = Rowid;
    QStringList cols;        // the key's columns (Columns), every user column (Content)
    QString rowidAlias;      // the INTEGER PRIMARY KEY column, if the table has one
    struct Unique {
        QStringList cols, colls;
    };
    QVector<Unique> uniques; // every unique constraint or index of columns (partial ones left out)
    QStringList indexed;     // columns of the table's indexes
    QSet<QString> textual;   // columns of TEXT affinity, which hold no REAL
};

// The key of a table: the one recorded in the file (repl_keys) when the file became replicable, or (a file of an
// earlier version that has none yet) the one its design gives.
TableKey tableKey(Sql::Db& db, const QString& schema, const QString& table);
bool sameKey(const TableKey& a, const TableKey& b);
// Only the recorded key (kind and columns); false when the file has none for the table.
bool recordedTableKey(Sql::Db& db, const QString& schema, const QString& table, TableKey* k);

// The SQL of the derived identity of a row (row: "OLD.", "x." or "" before its columns), and of the rowid (a
// scalar subquery) of the row of tn (schema-qualified) not changed yet whose derived identity is guid (sender: the
// alias of the sending row, whose key most often is still the one inside the identity).
QString derivedGuidSql(const QString& table, const TableKey& key, const QString& row);
QString unstampedRowSql(const QString& table, const TableKey& key, const QString& tn, const QString& guid,
                        const QString& sender = QString());
// The lineage a row has until its first change (of the Design Master of that nickname, or of the file of schema).
QByteArray firstLineage(qint64 designMasterNickname);
QByteArray firstLineage(Sql::Db& db, const QString& schema);

// The user columns of a table (its change columns left out).
QStringList userColumns(Sql::Db& db, const QString& schema, const QString& table);
// Whether the capture triggers of the file of schema are this version's, and bringing them there (those of an
// earlier version are replaced; inside a write transaction). refreshTriggers is true when it changed some.
bool triggersCurrent(Sql::Db& db, const QString& schema);
bool refreshTriggers(Sql::Db& db, const QString& schema, bool fresh = false);
// Before a file of an earlier version (identities of unchanged rows derived from rowids) of schema a is brought
// to this version: IdentitiesDiffer is thrown when its unchanged rows and those of b no longer line up.
void checkRowidIdentities(Sql::Db& db, const QString& a, const QString& b);
// A replicated table of the file of schema that lost its capture triggers or change columns (made again by another
// tool, as database browsers do to change a design): IdentitiesDiffer is thrown naming it, before anything is written.
void refuseUntrackedTables(Sql::Db& db, const QString& schema);

// Refusals of a read-only or prevent-deletes replica for writes that are not the engine's.
QStringList guardTriggers(const QString& table, int flags);

// Whether the file of schema has a replica identity, and that identity (NotReplicable thrown without one).
bool hasInfo(Sql::Db& db, const QString& schema = QStringLiteral("main"));
Identity readInfo(Sql::Db& db, const QString& schema = QStringLiteral("main"));

// One row of the exchange history of the file of schema (replaced when the exchange is already listed).
void writeHistory(Sql::Db& db, const QString& schema, const Exchange& e);

}  // namespace Varnock::Store

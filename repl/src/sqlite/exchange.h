#pragma once
// The exchange's own parts, shared by exchange.cpp (the run: tables, watermarks, history, the idle shortcut),
// exchangeapply.cpp (collecting versions and writing them) and exchangedecide.cpp (how each version is decided
// against what the receiving file holds).
//
// Two paths write the changes of a table. SetApply plans every version of both directions first and writes a
// statement per kind of change; Exchanger goes row by row, in the order the rows were changed, and is taken for a
// table whose set-wise writes met a key clash (or another refused write). Both decide every version alike.
#include "replshared.h"

#include "lineage.h"

#include <QMap>
#include <QSet>
#include <QStringList>
#include <QVector>

#include <functional>
#include <map>
#include <memory>
#include <vector>

namespace Varnock::Store {

struct TableInfo {
    QString name;
    QStringList cols;                  // common user columns
    int pkCol = -1;                    // index of the INTEGER PRIMARY KEY column (the rowid) in cols
    QVector<QVector<int>> uniques;     // primary keys and UNIQUE indexes of other columns, as indexes into cols
    TableKey key;                      // what the identity of a row not changed yet is derived from
    QByteArray firstLineage;           // of a row not changed since the file became replicable
};

struct Version {
    QByteArray guid;
    QByteArray linText;
    Lineage lin;
    bool deleted = false;
    std::vector<sqlite3_value*> vals;
};

struct Side {
    QString schema;      // "main" or "partner"
    Identity id;
    qint64 echo = 0;     // generation stamped on rows taken over as they came
    qint64 decided = 0;  // generation stamped on versions this exchange decided (passed on later)
    // A conflict between two versions of one row is met on both sides of a two-way exchange and decided alike
    // there, so its outcome needs no further sending; after a one-way exchange it goes back next time.
    qint64 settled = 0;
    qint64 wmOfOther = 0;
    // counts of what this side received
    int inserts = 0, updates = 0, deletes = 0, errors = 0;
    QSet<QString> tablesChanged;
    // One conflict is met on both sides of a two-way exchange; it is counted once.
    QSet<QByteArray>* conflictKeys = nullptr;
    void noteConflict(const QByteArray& a, const QByteArray& b = {})
    {
        conflictKeys->insert(b.isEmpty() ? a : (a < b ? a + b : b + a));
    }
};

// The rowid (a scalar subquery) of the row of the table tn (schema-qualified) whose identity is the SQL
// expression guid: stored, or derived for a row not changed since the file became replicable.
QString rowOfIdentitySql(const TableInfo& t, const QString& tn, const QString& guid, const QString& sender = QString());
// The row x as JSON text, as the conflict table keeps it; or the values (SQL, one per column) as that row.
QString rowJsonSql(const QStringList& cols);
QString rowJsonSql(const QStringList& cols, const QStringList& values);

// How the user columns of row a stand to those of row b (SQL aliases), as SQL giving -1, 0 or 1: equal only when
// every value and its type are; otherwise by the first column that differs, in SQLite's order of values.
QString contentOrderSql(const QStringList& cols, const QString& a, const QString& b);

// A value and a text as the conflict table keeps them in a losing row's JSON.
QString jsonText(const QString& s);
QString valueJson(const sqlite3_value* v);

// The row-by-row path: collects the versions of a table that one file sends, then applies them to the other.
class Exchanger {
public:
    Exchanger(Sql::Db& db, const QString& exchangeId) : m_db(db), m_exchangeId(exchangeId) {}
    ~Exchanger();

    QVector<TableInfo> tables;

    void collect(const Side& from, int tableIndex, qint64 above, qint64 upTo);
    void applyTable(const Side& from, Side& to, int ti, const std::function<void()>& tick);

private:
    static QString columnList(const TableInfo& t, const QString& prefix);

    // The statements of one table in one receiving file.
    class Target {
    public:
        Target(Sql::Db& db, const TableInfo& t, Side& side, const QString& exchangeId);
        ~Target();
        void apply(Version& in);   // decided in exchangedecide.cpp
        // The versions of the batch not applied yet, by identity: a row that holds a key another row moves to,
        // and is itself moved on by the batch, steps aside instead of clashing (two rows that swap keys).
        std::map<QByteArray, const Version*>* pending = nullptr;
        // Rows that stepped aside and were not taken back go back where they were.
        void finish();

    private:
        // A row taken out of the way of another, with every column it had.
        struct Aside {
            qint64 rid = 0;
            QByteArray linText;
            QString json;
            std::vector<sqlite3_value*> all;   // user columns, then s_GUID, s_Generation, s_Lineage
        };
        bool stepAside(qint64 rid, const QByteArray& guid, const Lineage& local);
        bool putBack(Aside& a);

        // Deciding (exchangedecide.cpp).
        void applyOverRow(Version& in, qint64 rid, const Lineage& local);
        void applyOverAside(Version& in, Aside& a);
        void applyOverTombstone(Version& in, const Lineage& tomb);
        int resolveClashes(Version& in, const Lineage& lin);
        // contentOrderSql of the incoming values against the local row rid, or against values held aside.
        std::vector<sqlite3_value*> readRow(qint64 rid);
        int contentOrder(const Version& in, qint64 rid);
        int contentOrder(const Version& in, const std::vector<sqlite3_value*>& local);

        // Writing and recording (exchangeapply.cpp).
        bool writeRow(Version& in, qint64 rid, const Lineage& lin, qint64 gen);
        Lineage bumped(const Lineage& l) const;
        void stamp(qint64 rid, const Lineage& lin, qint64 gen);
        void deleteRow(qint64 rid, const QByteArray& guid, const Lineage& lin, qint64 gen);
        void putTombstone(const QByteArray& guid, qint64 rid, const Lineage& lin, qint64 gen);
        void dropTombstone(const QByteArray& guid);
        QString rowJson(const std::vector<sqlite3_value*>& vals);
        void record(const QByteArray& guid, const QString& reason, bool deleted, const QString& data);
        void recordIncomingLoser(const Version& in, const QString& reason);
        void recordDeletionLoser(const QByteArray& guid, const QString& reason) { record(guid, reason, true, QString()); }
        void recordLocalLoser(qint64 rid, const QByteArray& guid, const QString& reason);

        Sql::Db& m_db;
        const TableInfo& m_t;
        Side& m_side;
        QString m_exchangeId;
        std::unique_ptr<Sql::Stmt> m_findRow, m_findTomb, m_insert, m_update, m_stamp, m_delete, m_putTomb, m_dropTomb,
            m_readRow, m_conflict, m_rowJson, m_order;
        std::vector<std::pair<std::unique_ptr<Sql::Stmt>, QVector<int>>> m_keyFinders;
        std::unique_ptr<Sql::Stmt> m_readAll, m_insertAll, m_keep, m_reclaim;
        std::map<QByteArray, Aside> m_aside;
    };

    Sql::Db& m_db;
    QString m_exchangeId;
    std::map<std::pair<QString, int>, std::vector<Version>> m_batches;
};

// The changes of one table in both directions, applied a statement per kind of change instead of a statement per
// row. Each version is classified as the row-by-row path would (same comparisons, same decisions, same
// generations); the writes then run over a temporary table of planned steps, joined to the sending file by rowid.
// A key or UNIQUE clash (or any other refused write) is not resolved here: run() then answers false, and the
// caller rolls the table back and takes the row-by-row path, which decides clashes one row at a time.
class SetApply {
public:
    enum Kind {
        DeleteRow = 1,    // delete the receiver's row trid, tombstone with lin/gen
        PutTomb = 2,      // tombstone only (no row here)
        Update = 3,       // the receiver's row trid takes the sender's row srid, with lin/gen
        Stamp = 4,        // the receiver's row keeps its values, takes lin/gen
        Revive = 5,       // drop the receiver's tombstone, then insert as Insert
        Insert = 6,       // the sender's row srid as a new row
        KeepLocal = 7,    // conflict: the receiver's row trid is kept as the loser
        KeepIncoming = 8, // conflict: the sender's row srid is kept as the loser
        KeepDeletion = 9, // conflict: a losing deletion is kept
    };
    // Step keys: table, direction, kind, then the order planned, so each statement reads one key range.
    static constexpr qint64 kKindSpan = 10000000000LL;
    static constexpr qint64 kDirSpan = 10 * kKindSpan;
    static constexpr qint64 kTableSpan = 2 * kDirSpan;
    // Changed-column masks cover this many columns; a wider table rewrites every column.
    static constexpr int kMaskColumns = 62;
    static constexpr qint64 kAllColumns = -1;
    // Set in a mask when the receiver's row has no stored identity yet.
    static constexpr int kIdentityBit = 62;

    static void prepare(Sql::Db& db);

    SetApply(Sql::Db& db, const TableInfo& t, int tableIndex, const QString& exchangeId)
        : m_db(db), m_t(t), m_base(tableIndex * kTableSpan), m_exchangeId(exchangeId)
    {
    }

    void plan(int dir, const Side& from, Side& to, qint64 above, qint64 upTo);
    qint64 steps() const { return m_dir[0].versions + m_dir[1].versions; }
    bool run(const std::function<void(qint64)>& advance);
    void flush();

private:
    struct Dir {
        const Side* from = nullptr;
        Side* to = nullptr;
        qint64 count[10] = {};
        QMap<qint64, qint64> masks;   // changed-column mask of updates -> how many
        qint64 versions = 0;
        qint64 skipped = 0;
    };

    static void parseColumn(Sql::Stmt& s, int c, Lineage* out);
    void classify(Dir& d, int dir, Sql::Stmt& s, bool deleted);   // exchangedecide.cpp
    // contentOrderSql of the sender's row srid against the receiver's row trid.
    int contentOrder(int dir, qint64 srid, qint64 trid);
    void put(Dir& d, int dir, Kind kind, qint64 srid, qint64 trid, const QByteArray& guid, const QByteArray& lin,
             qint64 gen, const QString& reason = {}, qint64 mask = 0);
    bool exec(int dir, Kind kind, const QString& sql, const std::function<void(Sql::Stmt&)>& more = {},
              qint64 expected = -1);

    Sql::Db& m_db;
    const TableInfo& m_t;
    qint64 m_base;
    QString m_exchangeId;
    Dir m_dir[2];
    Lineage m_in, m_local;   // reused from row to row
    struct Step {
        qint64 k, srid, trid;
        QByteArray guid, lin;
        qint64 gen;
        QString reason;
        qint64 mask;
        bool hasMask;
    };
    // Steps are written many rows to a statement.
    static constexpr size_t kBatch = 64;
    std::vector<Step> m_pending;
    std::unique_ptr<Sql::Stmt> m_putBatch;
    std::unique_ptr<Sql::Stmt> m_order[2];   // made when first needed
};

}  // namespace Varnock::Store

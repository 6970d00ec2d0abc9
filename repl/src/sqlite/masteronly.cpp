#include "masteronly.h"

#include "exchange.h"

#include "replshared.h"
#include "replstore.h"
#include "varnock.h"

#include <QDateTime>
#include <QSet>

#include <memory>
#include <vector>

namespace Varnock::Store::MasterOnly {

using Sql::Db;
using Sql::Failure;
using Sql::ident;
using Sql::literal;
using Sql::Stmt;

namespace {

const QString kListTable = QStringLiteral("repl_master_only");
const QString kReason = QStringLiteral("Users and rights are changed at the Design Master only");

bool isChangeColumn(const QString& c)
{
    for (const char* s : {"s_GUID", "s_Generation", "s_Lineage"})
        if (c.compare(QLatin1String(s), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

// The user columns both files have.
QStringList commonColumns(Db& db, const QString& a, const QString& b, const QString& table)
{
    auto columns = [&](const QString& schema) {
        QStringList out;
        Stmt s(db, QStringLiteral("PRAGMA %1.table_info(%2)").arg(ident(schema), ident(table)));
        while (s.step())
            if (!isChangeColumn(s.text(1)))
                out << s.text(1);
        return out;
    };
    const QStringList theirs = columns(b);
    QStringList out;
    for (const QString& c : columns(a))
        if (theirs.contains(c, Qt::CaseInsensitive))
            out << c;
    return out;
}

}  // namespace

int mark(const QString& path, const QStringList& tables, QString* error)
{
    try {
        Db db;
        db.open(path);
        auto missing = [&] {
            QStringList out;
            const bool listed = db.tableExists(QStringLiteral("main"), kListTable);
            for (const QString& t : tables) {
                if (!listed) {
                    out << t;
                    continue;
                }
                Stmt s(db, QStringLiteral("SELECT 1 FROM main.%1 WHERE tbl = ?").arg(ident(kListTable)));
                s.bind(1, t);
                if (!s.step())
                    out << t;
            }
            return out;
        };
        if (missing().isEmpty())
            return Result::Ok;
        Sql::Transaction tx(db);
        db.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS main.%1 (tbl TEXT PRIMARY KEY COLLATE NOCASE)").arg(ident(kListTable)));
        for (const QString& t : tables) {
            Stmt s(db, QStringLiteral("INSERT OR IGNORE INTO main.%1 (tbl) VALUES (?)").arg(ident(kListTable)));
            s.bind(1, t).run();
        }
        tx.commit();
        return Result::Ok;
    } catch (const Failure& f) {
        return Sql::fail(f, error);
    }
}

QStringList tables(Db& db, const QString& schema)
{
    QStringList out;
    if (!db.tableExists(schema, kListTable))
        return out;
    const QString other = schema == QLatin1String("main") ? QStringLiteral("partner") : QStringLiteral("main");
    Stmt s(db, QStringLiteral("SELECT l.tbl FROM %1.%2 l JOIN %1.repl_tables a ON a.name = l.tbl COLLATE NOCASE "
                              "JOIN %3.repl_tables b ON b.name = a.name ORDER BY a.name")
                   .arg(ident(schema), ident(kListTable), ident(other)));
    while (s.step())
        out << s.text(0);
    return out;
}

QVector<QByteArray> putBack(Db& db, const QString& table, const QString& master, qint64 nickname, qint64 priority,
                            qint64 masterStamp, const QString& replica, qint64 above, qint64 upTo, qint64 stamp,
                            const QString& exchangeId)
{
    const QString M = ident(master), R = ident(replica), X = ident(table);
    const QStringList cols = commonColumns(db, master, replica, table);

    // What the replica would send: its changed rows and its deletions.
    QVector<QByteArray> guids;
    QSet<QByteArray> seen;
    {
        Stmt s(db, QStringLiteral("SELECT s_GUID FROM %1.%2 WHERE s_Generation > ? AND s_Generation <= ? "
                                  "AND s_GUID IS NOT NULL")
                       .arg(R, X));
        s.bind(1, above).bind(2, upTo);
        while (s.step())
            if (!seen.contains(s.blob(0)))
                seen.insert(s.blob(0)), guids << s.blob(0);
        Stmt t(db, QStringLiteral("SELECT guid FROM %1.repl_tombstones WHERE tbl = ? AND generation > ? AND generation <= ?")
                       .arg(R));
        t.bind(1, table).bind(2, above).bind(3, upTo);
        while (t.step())
            if (!seen.contains(t.blob(0)))
                seen.insert(t.blob(0)), guids << t.blob(0);
    }
    if (guids.isEmpty())
        return {};

    QStringList same;
    for (const QString& c : cols)
        same << QStringLiteral("(m.%1 IS r.%1 COLLATE BINARY AND typeof(m.%1) = typeof(r.%1))").arg(ident(c));
    QStringList colList;
    for (const QString& c : cols)
        colList << ident(c);
    const QString colText = colList.join(QStringLiteral(", ")) + (colList.isEmpty() ? QString() : QStringLiteral(", "));

    // A row not changed since its file became replicable is found by the rowid in its derived identity.
    const QByteArray masterFirst = firstLineage(db, master);
    const QByteArray replicaFirst = firstLineage(db, replica);
    const TableKey key = tableKey(db, master, table);
    auto finder = [&](const QString& schema) {
        const QString tn = schema + QLatin1Char('.') + X;
        return QStringLiteral("SELECT rowid, coalesce(s_Lineage, ?2) FROM %1 WHERE rowid = coalesce((SELECT rowid FROM "
                              "%1 WHERE s_GUID = ?1), %2)")
            .arg(tn, unstampedRowSql(table, key, tn, QStringLiteral("?1")));
    };
    Stmt rowOf(db, finder(R));
    Stmt masterRow(db, finder(M));
    Stmt masterTomb(db, QStringLiteral("SELECT lineage FROM %1.repl_tombstones WHERE guid = ?").arg(M));
    Stmt replicaTomb(db, QStringLiteral("SELECT lineage FROM %1.repl_tombstones WHERE guid = ?").arg(R));
    Stmt equal(db, QStringLiteral("SELECT %1 FROM %2.%3 m, %4.%3 r WHERE m.rowid = ? AND r.rowid = ?")
                       .arg(same.isEmpty() ? QStringLiteral("1") : same.join(QStringLiteral(" AND ")), M, X, R));
    Stmt restamp(db, QStringLiteral("UPDATE %1.%2 SET s_GUID = ?, s_Lineage = ?, s_Generation = ? WHERE rowid = ?").arg(R, X));
    Stmt restampMaster(db, QStringLiteral("UPDATE %1.%2 SET s_GUID = ?, s_Lineage = ?, s_Generation = ? WHERE rowid = ?")
                               .arg(M, X));
    Stmt restampTomb(db, QStringLiteral("UPDATE %1.repl_tombstones SET lineage = coalesce(?, lineage), generation = ? "
                                        "WHERE guid = ?")
                             .arg(R));
    Stmt drop(db, QStringLiteral("DELETE FROM %1.%2 WHERE rowid = ?").arg(R, X));
    Stmt dropTomb(db, QStringLiteral("DELETE FROM %1.repl_tombstones WHERE guid = ?").arg(R));
    auto tombstoneIn = [&](const QString& schema) {
        return QStringLiteral("INSERT OR REPLACE INTO %1.repl_tombstones (guid, tbl, rid, generation, lineage) "
                              "VALUES (?, ?, NULL, ?, ?)")
            .arg(schema);
    };
    Stmt putTomb(db, tombstoneIn(R));
    Stmt putMasterTomb(db, tombstoneIn(M));
    Stmt copy(db, QStringLiteral("INSERT INTO %1.%2 (%3s_GUID, s_Generation, s_Lineage) SELECT %3coalesce(s_GUID, %5), ?, ? "
                                 "FROM %4.%2 WHERE rowid = ?")
                      .arg(R, X, colText, M, derivedGuidSql(table, key, QString())));
    Stmt loserRow(db, QStringLiteral("SELECT %1 FROM %2.%3 x WHERE rowid = ?").arg(rowJsonSql(cols), R, X));
    const QString at = QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs);
    auto record = [&](const QByteArray& guid, bool deleted, const QString& data) {
        for (const QString& schema : {M, R}) {
            Stmt c(db, QStringLiteral("INSERT INTO %1.repl_conflicts (tbl, guid, exchange_guid, reason, loser_deleted, "
                                      "row_data, at) VALUES (?, ?, ?, ?, ?, ?, ?)")
                           .arg(schema));
            c.bind(1, table).bindBlob(2, guid).bind(3, exchangeId).bind(4, kReason).bind(5, qint64(deleted ? 1 : 0));
            c.bind(6, data).bind(7, at).run();
        }
    };
    auto lookUp = [](Stmt& s, const QByteArray& guid) {
        s.reset();
        s.bindBlob(1, guid);
        QByteArray out;
        if (s.step())
            out = s.utf8(0);
        s.reset();
        return out;
    };
    // The master's version of a row: its rowid (0 when it holds no row) and its lineage (the tombstone's when
    // the row was deleted; null when the master never had it).
    struct MasterVersion {
        bool has = false;
        qint64 rid = 0;
        QByteArray lineage;
    };
    auto masterVersion = [&](const QByteArray& guid) {
        MasterVersion v;
        masterRow.reset();
        masterRow.bindBlob(1, guid).bindText(2, masterFirst);
        v.has = masterRow.step();
        v.rid = v.has ? masterRow.integer(0) : 0;
        v.lineage = v.has ? masterRow.utf8(1) : QByteArray();
        masterRow.reset();
        if (!v.has)
            v.lineage = lookUp(masterTomb, guid);
        return v;
    };

    // First every differing row of the replica goes, then the master's rows come back: a replica that swapped
    // two users' names clashes with no row half-way.
    QVector<QByteArray> differed;
    struct Copy {
        qint64 mrid;
        QByteArray lineage, guid;
    };
    QVector<Copy> toCopy;
    QSet<QByteArray> copied;
    for (const QByteArray& guid : guids) {
        rowOf.reset();
        rowOf.bindBlob(1, guid).bindText(2, replicaFirst);
        const bool hasRow = rowOf.step();
        const qint64 rid = hasRow ? rowOf.integer(0) : 0;
        const QByteArray ownLineage = hasRow ? rowOf.utf8(1) : lookUp(replicaTomb, guid);
        rowOf.reset();
        const auto [masterHas, mrid, masterLineage] = masterVersion(guid);
        if (!hasRow && !masterHas) {
            // Added and deleted in the field: nothing of it reaches the master.
            restampTomb.reset();
            if (masterLineage.isNull())
                restampTomb.bindNull(1);
            else
                restampTomb.bindText(1, masterLineage);
            restampTomb.bind(2, stamp).bindBlob(3, guid).run();
            continue;
        }
        // A version the master has seen (one that came from the master, by whatever way) goes back as the master
        // has it. Any other was refused: the master's version goes back as one newer than both, which every file
        // that holds the refused version takes, and which the master's own later changes follow.
        Lineage mine, theirs;
        Lineage::parse(masterLineage, &mine);
        Lineage::parse(ownLineage, &theirs);
        const Order o = compare(theirs, mine);
        const bool seen = !masterLineage.isNull() && (o == Order::Before || o == Order::Equal);
        QByteArray putText = masterLineage;
        if (!seen) {
            Lineage winner;
            winner.writer = nickname;
            winner.priority = priority;
            Lineage put = merged(mine, theirs, winner);
            put.set(nickname, masterStamp);
            putText = put.toJson();
            if (masterHas) {
                restampMaster.reset();
                restampMaster.bindBlob(1, guid).bindText(2, putText).bind(3, masterStamp).bind(4, mrid).run();
            } else {
                putMasterTomb.reset();
                putMasterTomb.bindBlob(1, guid).bind(2, table).bind(3, masterStamp).bindText(4, putText).run();
            }
        }
        if (hasRow && masterHas) {
            equal.reset();
            equal.bind(1, mrid).bind(2, rid);
            const bool unchanged = equal.step() && equal.integer(0) != 0;
            equal.reset();
            if (unchanged) {
                restamp.reset();
                restamp.bindBlob(1, guid).bindText(2, putText).bind(3, stamp).bind(4, rid).run();
                continue;
            }
        }
        QString data;
        if (hasRow) {
            loserRow.reset();
            loserRow.bind(1, rid);
            if (loserRow.step())
                data = loserRow.text(0);
            loserRow.reset();
            drop.reset();
            drop.bind(1, rid).run();
        }
        // An earlier version of the master's own is no refused change.
        if (!seen) {
            record(guid, !hasRow, data);
            differed << guid;
        }
        if (masterHas) {
            dropTomb.reset();
            dropTomb.bindBlob(1, guid).run();
            toCopy.append({mrid, putText, guid});
            copied.insert(guid);
        } else {
            putTomb.reset();
            putTomb.bindBlob(1, guid).bind(2, table).bind(3, stamp).bindText(4, putText).run();
        }
    }
    // A master's row coming back may meet, on one of its keys, a row the replica did not change whose master version
    // has moved on (another user renamed over it, or deleted by a REPLACE): that row goes too, and comes back as the
    // master has it, or as its deletion.
    std::vector<std::unique_ptr<Stmt>> clashes;
    {
        const QString pick = QStringLiteral("SELECT r.rowid, coalesce(r.s_GUID, %1) FROM %2.%3 r, %4.%3 m WHERE m.rowid = ?1 AND ")
                                 .arg(derivedGuidSql(table, key, QStringLiteral("r.")), R, X, M);
        if (!key.rowidAlias.isEmpty())
            clashes.push_back(std::make_unique<Stmt>(db, pick + QStringLiteral("r.rowid = m.rowid")));
        for (const TableKey::Unique& u : key.uniques) {
            QStringList same;
            for (int i = 0; i < u.cols.size(); ++i)
                same << QStringLiteral("r.%1 = m.%1 COLLATE %2")
                            .arg(ident(u.cols[i]), ident(u.colls.value(i, QStringLiteral("BINARY"))));
            clashes.push_back(std::make_unique<Stmt>(db, pick + same.join(QStringLiteral(" AND "))));
        }
    }
    for (qsizetype i = 0; i < toCopy.size(); ++i) {
        const Copy c = toCopy[i];
        for (auto& clash : clashes) {
            clash->reset();
            clash->bind(1, c.mrid);
            QVector<std::pair<qint64, QByteArray>> met;
            while (clash->step())
                if (clash->blob(1) != c.guid)
                    met.append({clash->integer(0), clash->blob(1)});
            clash->reset();
            for (const auto& [rid, guid] : met) {
                const auto [masterHas, mrid, masterLineage] = masterVersion(guid);
                if ((masterHas && copied.contains(guid)) || masterLineage.isNull())
                    continue;   // left to the copy below, which tells the clash
                drop.reset();
                drop.bind(1, rid).run();
                if (masterHas) {
                    toCopy.append({mrid, masterLineage, guid});
                    copied.insert(guid);
                } else {
                    putTomb.reset();
                    putTomb.bindBlob(1, guid).bind(2, table).bind(3, stamp).bindText(4, masterLineage).run();
                }
            }
        }
        copy.reset();
        copy.bind(1, stamp).bindText(2, c.lineage).bind(3, c.mrid);
        if (copy.run(true) != SQLITE_CONSTRAINT)
            continue;
        throw Failure{Result::Failed, QStringLiteral("The rows of %1 could not be put back in the replica: %2")
                                          .arg(table, QString::fromUtf8(sqlite3_errmsg(db.handle())))};
    }
    return differed;
}

}  // namespace Varnock::Store::MasterOnly

namespace Varnock {

bool SetMasterOnlyTables(const QString& designMaster, const QStringList& tables, QString* error)
{
    return Store::MasterOnly::mark(designMaster, tables, error) >= 0;
}

}  // namespace Varnock

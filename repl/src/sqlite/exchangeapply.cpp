// Collecting the versions a file sends and writing them into the other: row by row (Exchanger) or a statement
// per kind of change (SetApply). What each version does is decided in exchangedecide.cpp.
#include "exchange.h"

namespace Varnock::Store {

using Sql::Db;
using Sql::Failure;
using Sql::ident;
using Sql::literal;
using Sql::Stmt;

QString rowOfIdentitySql(const TableInfo& t, const QString& tn, const QString& guid, const QString& sender)
{
    return QStringLiteral("coalesce((SELECT x.rowid FROM %1 x WHERE x.s_GUID = %2), %3)")
        .arg(tn, guid, unstampedRowSql(t.name, t.key, tn, guid, sender));
}

QString jsonText(const QString& s)
{
    return jsonString(s);
}

QString valueJson(const sqlite3_value* v)
{
    auto* mv = const_cast<sqlite3_value*>(v);
    switch (sqlite3_value_type(mv)) {
    case SQLITE_INTEGER:
        return QString::number(sqlite3_value_int64(mv));
    case SQLITE_FLOAT:
        return QString::number(sqlite3_value_double(mv), 'g', 17);
    case SQLITE_TEXT:
        return jsonText(QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_value_text(mv)),
                                          sqlite3_value_bytes(mv)));
    case SQLITE_BLOB:
        return jsonText(QString::fromLatin1(
            QByteArray(static_cast<const char*>(sqlite3_value_blob(mv)), sqlite3_value_bytes(mv)).toHex()));
    default:
        return QStringLiteral("null");
    }
}

Exchanger::~Exchanger()
{
    for (auto& [t, list] : m_batches)
        for (Version& v : list)
            for (sqlite3_value* x : v.vals)
                sqlite3_value_free(x);
}

void Exchanger::collect(const Side& from, int tableIndex, qint64 above, qint64 upTo)
{
    const TableInfo& t = tables[tableIndex];
    auto& out = m_batches[{from.schema, tableIndex}];
    const QString s = ident(from.schema);
    const QString colList = columnList(t, QString());
    // Deletions first, so a key deleted and added again arrives in that order.
    Stmt ts(m_db, QStringLiteral("SELECT guid, lineage FROM %1.repl_tombstones WHERE tbl = ? "
                                 "AND generation > ? AND generation <= ?")
                      .arg(s));
    ts.bind(1, t.name).bind(2, above).bind(3, upTo);
    while (ts.step()) {
        Version v;
        v.guid = ts.blob(0);
        v.linText = ts.utf8(1);
        Lineage::parse(v.linText, &v.lin);
        v.deleted = true;
        out.push_back(std::move(v));
    }
    Stmt rs(m_db, QStringLiteral("SELECT s_GUID, s_Lineage%1 FROM %2.%3 WHERE s_Generation > ? "
                                 "AND s_Generation <= ? AND s_GUID IS NOT NULL")
                      .arg(colList.isEmpty() ? QString() : QStringLiteral(", ") + colList, s, ident(t.name)));
    rs.bind(1, above).bind(2, upTo);
    while (rs.step()) {
        Version v;
        v.guid = rs.blob(0);
        v.linText = rs.utf8(1);
        Lineage::parse(v.linText, &v.lin);
        v.vals.reserve(t.cols.size());
        for (int c = 0; c < t.cols.size(); ++c)
            v.vals.push_back(sqlite3_value_dup(rs.value(2 + c)));
        out.push_back(std::move(v));
    }
}

// Applies what was collected of one table from `from` into `to`, row by row, and lets the versions go.
void Exchanger::applyTable(const Side& from, Side& to, int ti, const std::function<void()>& tick)
{
    auto it = m_batches.find({from.schema, ti});
    if (it == m_batches.end())
        return;
    {
        Target target(m_db, tables[ti], to, m_exchangeId);
        std::map<QByteArray, const Version*> pending;
        for (const Version& v : it->second)
            pending[v.guid] = &v;
        target.pending = &pending;
        for (Version& v : it->second) {
            pending.erase(v.guid);
            target.apply(v);
            tick();
        }
        target.finish();
    }
    for (Version& v : it->second)
        for (sqlite3_value* x : v.vals)
            sqlite3_value_free(x);
    m_batches.erase(it);
}

QString Exchanger::columnList(const TableInfo& t, const QString& prefix)
{
    QStringList cs;
    for (const QString& c : t.cols)
        cs << prefix + ident(c);
    return cs.join(QStringLiteral(", "));
}

Exchanger::Target::Target(Db& db, const TableInfo& t, Side& side, const QString& exchangeId)
    : m_db(db), m_t(t), m_side(side), m_exchangeId(exchangeId)
{
    const QString s = ident(side.schema);
    const QString tn = s + QLatin1Char('.') + ident(t.name);
    QStringList marks, sets;
    for (const QString& c : t.cols) {
        marks << QStringLiteral("?");
        sets << ident(c) + QStringLiteral(" = ?");
    }
    const QString cols = columnList(t, QString());
    // A row not changed since the file became replicable is found by the rowid in its derived identity.
    m_findRow = std::make_unique<Stmt>(
        db, QStringLiteral("SELECT rowid, coalesce(s_Lineage, ?2) FROM %1 WHERE rowid = %2")
                .arg(tn, rowOfIdentitySql(t, tn, QStringLiteral("?1"))));
    m_findTomb = std::make_unique<Stmt>(
        db, QStringLiteral("SELECT lineage FROM %1.repl_tombstones WHERE guid = ?").arg(s));
    m_insert = std::make_unique<Stmt>(
        db, QStringLiteral("INSERT INTO %1 (%2%3s_GUID, s_Generation, s_Lineage) VALUES (%4%5?, ?, ?)")
                .arg(tn, cols, cols.isEmpty() ? QString() : QStringLiteral(", "), marks.join(QStringLiteral(", ")),
                     marks.isEmpty() ? QString() : QStringLiteral(", ")));
    m_update = std::make_unique<Stmt>(
        db, QStringLiteral("UPDATE %1 SET %2%3s_GUID = ?, s_Lineage = ?, s_Generation = ? WHERE rowid = ?")
                .arg(tn, sets.join(QStringLiteral(", ")), sets.isEmpty() ? QString() : QStringLiteral(", ")));
    m_stamp = std::make_unique<Stmt>(
        db, QStringLiteral("UPDATE %1 SET s_Lineage = ?, s_Generation = ? WHERE rowid = ?").arg(tn));
    m_keep = std::make_unique<Stmt>(db, QStringLiteral("SELECT coalesce(s_Lineage, ?2) FROM %1 WHERE rowid = ?1").arg(tn));
    m_reclaim = std::make_unique<Stmt>(
        db, QStringLiteral("UPDATE %1 SET s_GUID = ?, s_Lineage = ?, s_Generation = ? WHERE rowid = ?").arg(tn));
    m_delete = std::make_unique<Stmt>(db, QStringLiteral("DELETE FROM %1 WHERE rowid = ?").arg(tn));
    m_putTomb = std::make_unique<Stmt>(
        db, QStringLiteral("INSERT OR REPLACE INTO %1.repl_tombstones (guid, tbl, rid, generation, lineage) "
                           "VALUES (?, ?, ?, ?, ?)")
                .arg(s));
    m_dropTomb = std::make_unique<Stmt>(db, QStringLiteral("DELETE FROM %1.repl_tombstones WHERE guid = ?").arg(s));
    m_readRow = std::make_unique<Stmt>(
        db, QStringLiteral("SELECT %1 FROM %2 WHERE rowid = ?").arg(cols.isEmpty() ? QStringLiteral("1") : cols, tn));
    {
        const QString all = cols + (cols.isEmpty() ? QString() : QStringLiteral(", ")) +
                            QStringLiteral("s_GUID, s_Generation, s_Lineage");
        QStringList allMarks = marks;
        allMarks << QStringLiteral("?") << QStringLiteral("?") << QStringLiteral("?") << QStringLiteral("?");
        m_readAll = std::make_unique<Stmt>(db, QStringLiteral("SELECT %1 FROM %2 WHERE rowid = ?").arg(all, tn));
        m_insertAll = std::make_unique<Stmt>(db, QStringLiteral("INSERT INTO %1 (%2, rowid) VALUES (%3)")
                                                     .arg(tn, all, allMarks.join(QStringLiteral(", "))));
    }
    {
        QStringList params;
        for (int c = 0; c < t.cols.size(); ++c)
            params << QStringLiteral("?%1").arg(c + 1);
        m_rowJson = std::make_unique<Stmt>(db, QStringLiteral("SELECT ") + rowJsonSql(t.cols, params));
    }
    {
        QStringList in, local;
        for (int c = 0; c < t.cols.size(); ++c) {
            in << QStringLiteral("?%1 AS %2").arg(c + 1).arg(ident(t.cols[c]));
            local << QStringLiteral("?%1 AS %2").arg(c + 1 + t.cols.size()).arg(ident(t.cols[c]));
        }
        m_order = std::make_unique<Stmt>(
            db, t.cols.isEmpty() ? QStringLiteral("SELECT 0")
                                 : QStringLiteral("SELECT %1 FROM (SELECT %2) AS a, (SELECT %3) AS b")
                                       .arg(contentOrderSql(t.cols, QStringLiteral("a"), QStringLiteral("b")),
                                            in.join(QStringLiteral(", ")), local.join(QStringLiteral(", "))));
    }
    m_conflict = std::make_unique<Stmt>(
        db, QStringLiteral("INSERT INTO %1.repl_conflicts (tbl, guid, exchange_guid, reason, loser_deleted, "
                           "row_data, at) VALUES (?, ?, ?, ?, ?, ?, ?)")
                .arg(s));
    // The identity and lineage of a row not changed since the file became replicable are derived.
    const QString keyed = QStringLiteral("SELECT rowid, coalesce(s_GUID, %1), coalesce(s_Lineage, ?%2) FROM %3 WHERE %4");
    const QString derived = derivedGuidSql(t.name, t.key, QString());
    if (t.pkCol >= 0)
        m_keyFinders.push_back({std::make_unique<Stmt>(db, keyed.arg(derived).arg(2).arg(tn, QStringLiteral("rowid = ?1"))),
                                QVector<int>{t.pkCol}});
    for (const QVector<int>& u : t.uniques) {
        QStringList w;
        for (int k = 0; k < u.size(); ++k)
            w << ident(t.cols[u[k]]) + QStringLiteral(" = ?%1").arg(k + 1);
        m_keyFinders.push_back(
            {std::make_unique<Stmt>(db, keyed.arg(derived).arg(u.size() + 1).arg(tn, w.join(QStringLiteral(" AND ")))),
             u});
    }
}

Exchanger::Target::~Target()
{
    for (auto& [g, a] : m_aside)
        for (sqlite3_value* v : a.all)
            sqlite3_value_free(v);
}

// Takes the row rid out of the way when a later version of this batch moves it on anyway (and wins); false when
// it stays where it is.
bool Exchanger::Target::stepAside(qint64 rid, const QByteArray& guid, const Lineage& local)
{
    if (!pending)
        return false;
    const auto p = pending->find(guid);
    if (p == pending->end())
        return false;
    const Version& v = *p->second;
    const Order o = compare(v.lin, local);
    if (!(o == Order::After || (o == Order::Concurrent && beats(v.lin, guid, local, guid))))
        return false;
    Aside a;
    a.rid = rid;
    a.linText = local.toJson();
    m_readAll->reset();
    m_readAll->bind(1, rid);
    if (!m_readAll->step())
        return false;
    for (int c = 0; c < m_t.cols.size() + 3; ++c)
        a.all.push_back(sqlite3_value_dup(m_readAll->value(c)));
    m_readAll->reset();
    a.json = rowJson(a.all);
    m_delete->reset();
    m_delete->bind(1, rid);
    m_delete->run();
    m_aside.emplace(guid, std::move(a));
    return true;
}

// The row goes back as it was; false when its place is taken now.
bool Exchanger::Target::putBack(Aside& a)
{
    m_insertAll->reset();
    int i = 1;
    for (sqlite3_value* v : a.all)
        m_insertAll->bindValue(i++, v);
    m_insertAll->bind(i, a.rid);
    return m_insertAll->run(true) != SQLITE_CONSTRAINT;
}

void Exchanger::Target::finish()
{
    for (auto& [guid, a] : m_aside) {
        if (putBack(a))
            continue;
        // Its key is held by a row that moved there: kept as a loser, deleted on both sides alike.
        Lineage l;
        Lineage::parse(a.linText, &l);
        record(guid, QStringLiteral("Its key was taken by another row of %1").arg(m_t.name), false, a.json);
        m_side.noteConflict(guid);
        putTombstone(guid, a.rid, bumped(l), m_side.decided);
        m_side.tablesChanged.insert(m_t.name);
    }
}

// Inserts (rid < 0) or updates a row. A key or UNIQUE clash with another row is decided like a conflict:
// the loser is kept in the conflict table and deleted with a tombstone, never overwritten unseen.
// False when the incoming version lost.
bool Exchanger::Target::writeRow(Version& in, qint64 rid, const Lineage& lin, qint64 gen)
{
    const QByteArray linText = lin.toJson();
    for (int attempt = 0; attempt < 8; ++attempt) {
        int rc;
        if (rid < 0) {
            m_insert->reset();
            int i = 1;
            for (sqlite3_value* v : in.vals)
                m_insert->bindValue(i++, v);
            m_insert->bindBlob(i, in.guid);
            m_insert->bind(i + 1, gen);
            m_insert->bindText(i + 2, linText);
            rc = m_insert->run(true);
        } else {
            m_update->reset();
            int i = 1;
            for (sqlite3_value* v : in.vals)
                m_update->bindValue(i++, v);
            m_update->bindBlob(i, in.guid);
            m_update->bindText(i + 1, linText);
            m_update->bind(i + 2, gen);
            m_update->bind(i + 3, rid);
            rc = m_update->run(true);
        }
        if (rc != SQLITE_CONSTRAINT)
            return true;
        const int clashes = resolveClashes(in, lin);
        if (clashes < 0) {
            if (rid >= 0) {
                // The row is here already: it keeps its place and values, as a version newer than both, so that it
                // goes back to the sender as well (a move that cannot be taken loses no row).
                m_keep->reset();
                m_keep->bind(1, rid).bindText(2, m_t.firstLineage);
                Lineage local;
                if (m_keep->step())
                    Lineage::parse(m_keep->utf8(0), &local);
                m_keep->reset();
                m_reclaim->reset();
                m_reclaim->bindBlob(1, in.guid).bindText(2, bumped(merged(lin, local, local)).toJson());
                m_reclaim->bind(3, m_side.decided).bind(4, rid).run();
            } else {
                // A new row that lost its key: removed here too, so both sides agree.
                putTombstone(in.guid, 0, bumped(lin), m_side.decided);
            }
            m_side.tablesChanged.insert(m_t.name);
            return false;
        }
        if (clashes == 0) {
            // Not a key clash (NOT NULL, CHECK, a refusing trigger): the row is skipped and counted.
            ++m_side.errors;
            recordIncomingLoser(in, QString::fromUtf8(sqlite3_errmsg(m_db.handle())));
            return false;
        }
    }
    m_db.fail(SQLITE_CONSTRAINT, QStringLiteral("key clash in %1").arg(m_t.name));
}

Lineage Exchanger::Target::bumped(const Lineage& l) const
{
    Lineage b = l;
    b.set(m_side.id.nickname, m_side.decided);
    return b;
}

void Exchanger::Target::stamp(qint64 rid, const Lineage& lin, qint64 gen)
{
    m_stamp->reset();
    m_stamp->bindText(1, lin.toJson()).bind(2, gen).bind(3, rid);
    m_stamp->run();
}

void Exchanger::Target::deleteRow(qint64 rid, const QByteArray& guid, const Lineage& lin, qint64 gen)
{
    m_delete->reset();
    m_delete->bind(1, rid);
    m_delete->run();
    putTombstone(guid, rid, lin, gen);
}

void Exchanger::Target::putTombstone(const QByteArray& guid, qint64 rid, const Lineage& lin, qint64 gen)
{
    m_putTomb->reset();
    m_putTomb->bindBlob(1, guid).bind(2, m_t.name);
    if (rid > 0)
        m_putTomb->bind(3, rid);
    else
        m_putTomb->bindNull(3);
    m_putTomb->bind(4, gen).bindText(5, lin.toJson());
    m_putTomb->run();
}

void Exchanger::Target::dropTombstone(const QByteArray& guid)
{
    m_dropTomb->reset();
    m_dropTomb->bindBlob(1, guid);
    m_dropTomb->run();
}

// Written by the same SQL as the set-based path writes a row, so both keep a version alike.
QString Exchanger::Target::rowJson(const std::vector<sqlite3_value*>& vals)
{
    m_rowJson->reset();
    for (int c = 0; c < m_t.cols.size() && c < int(vals.size()); ++c)
        m_rowJson->bindValue(c + 1, vals[size_t(c)]);
    const QString out = m_rowJson->step() ? m_rowJson->text(0) : QStringLiteral("{}");
    m_rowJson->reset();
    return out;
}

void Exchanger::Target::record(const QByteArray& guid, const QString& reason, bool deleted, const QString& data)
{
    m_conflict->reset();
    m_conflict->bind(1, m_t.name).bindBlob(2, guid).bind(3, m_exchangeId).bind(4, reason);
    m_conflict->bind(5, qint64(deleted ? 1 : 0)).bind(6, data).bind(7, isoNow());
    m_conflict->run();
}

void Exchanger::Target::recordIncomingLoser(const Version& in, const QString& reason)
{
    record(in.guid, reason, in.deleted, in.deleted ? QString() : rowJson(in.vals));
}

int Exchanger::Target::contentOrder(const Version& in, const std::vector<sqlite3_value*>& local)
{
    m_order->reset();
    const int n = int(m_t.cols.size());
    for (int c = 0; c < n; ++c) {
        m_order->bindValue(c + 1, in.vals[size_t(c)]);
        m_order->bindValue(n + c + 1, local[size_t(c)]);
    }
    const int order = m_order->step() ? int(m_order->integer(0)) : 0;
    m_order->reset();
    return order;
}

// The stored row's values, valid until m_readRow is reset; empty when there is no such row.
std::vector<sqlite3_value*> Exchanger::Target::readRow(qint64 rid)
{
    m_readRow->reset();
    m_readRow->bind(1, rid);
    std::vector<sqlite3_value*> vals;
    if (m_readRow->step())
        for (int c = 0; c < m_t.cols.size(); ++c)
            vals.push_back(m_readRow->value(c));
    return vals;
}

int Exchanger::Target::contentOrder(const Version& in, qint64 rid)
{
    const std::vector<sqlite3_value*> vals = readRow(rid);
    const int order = vals.size() == size_t(m_t.cols.size()) ? contentOrder(in, vals) : 0;
    m_readRow->reset();
    return order;
}

void Exchanger::Target::recordLocalLoser(qint64 rid, const QByteArray& guid, const QString& reason)
{
    const QString data = rowJson(readRow(rid));
    m_readRow->reset();
    record(guid, reason, false, data);
}

// The steps of all tables, in a temporary table of this connection. lin NULL: the sender's lineage as it
// is; guid NULL: the sender's row identity.
void SetApply::prepare(Db& db)
{
    db.exec(QStringLiteral("CREATE TEMP TABLE IF NOT EXISTS repl_steps (k INTEGER PRIMARY KEY, srid INTEGER, "
                           "trid INTEGER, guid BLOB, lin TEXT, gen INTEGER, reason TEXT, mask INTEGER)"));
    db.exec(QStringLiteral("DELETE FROM temp.repl_steps"));
}

// Plans what `from` sends to `to` (direction 0 or 1). Reads only.
void SetApply::plan(int dir, const Side& from, Side& to, qint64 above, qint64 upTo)
{
    Dir& d = m_dir[dir];
    d.from = &from;
    d.to = &to;
    const QString S = ident(from.schema), T = ident(to.schema), X = ident(m_t.name);
    // Deletions first, as the row-by-row path takes them.
    // The receiver's tombstone is looked up only where it has no row.
    const QString tomb = QStringLiteral("CASE WHEN t.rowid IS NULL THEN (SELECT lineage FROM %1.repl_tombstones "
                                        "WHERE guid = s.%2) END");
    // The receiver's row: by its stored identity, or a row not changed since the file became replicable.
    const QString tn = T + QLatin1Char('.') + X;
    const QString byGuid = QStringLiteral("t.rowid = ") + rowOfIdentitySql(m_t, tn, QStringLiteral("s.guid"));
    Stmt ts(m_db, QStringLiteral("SELECT s.guid, s.lineage, t.rowid, coalesce(t.s_Lineage, ?4), %4 "
                                 "FROM %1.repl_tombstones s LEFT JOIN %2.%3 t ON %5 "
                                 "WHERE s.generation > ?1 AND s.generation <= ?2 AND s.tbl = ?3")
                      .arg(S, T, X, tomb.arg(T, QStringLiteral("guid")), byGuid));
    ts.bind(1, above).bind(2, upTo).bind(3, m_t.name).bindText(4, m_t.firstLineage);
    while (ts.step())
        classify(d, dir, ts, true);
    // Which user columns differ from the receiver's row, so an update rewrites (and re-indexes) only those.
    QStringList bits;
    if (m_t.cols.size() <= kMaskColumns)
        for (int c = 0; c < m_t.cols.size(); ++c)
            bits << QStringLiteral("((s.%1 IS NOT t.%1 COLLATE BINARY OR typeof(s.%1) <> typeof(t.%1)) << %2)")
                        .arg(ident(m_t.cols[c]))
                        .arg(c);
    const QString mask = m_t.cols.size() > kMaskColumns ? QString::number(kAllColumns)
                         : bits.isEmpty()                ? QStringLiteral("0")
                                                         : bits.join(QStringLiteral(" | "));
    // A receiver's row without a stored identity takes the sender's.
    Stmt rs(m_db, QStringLiteral("SELECT s.s_GUID, s.s_Lineage, t.rowid, coalesce(t.s_Lineage, ?3), %5, s.rowid, "
                                 "CASE WHEN t.rowid IS NULL THEN 0 ELSE (%4) | ((t.s_GUID IS NULL) << %7) END "
                                 "FROM %1.%3 s LEFT JOIN %2.%3 t ON %6 "
                                 "WHERE s.s_Generation > ?1 AND s.s_Generation <= ?2 AND s.s_GUID IS NOT NULL")
                      .arg(S, T, X, mask, tomb.arg(T, QStringLiteral("s_GUID")),
                           QStringLiteral("t.rowid = ") + rowOfIdentitySql(m_t, tn, QStringLiteral("s.s_GUID"), QStringLiteral("s")))
                      .arg(kIdentityBit));
    rs.bind(1, above).bind(2, upTo).bindText(3, m_t.firstLineage);
    while (rs.step())
        classify(d, dir, rs, false);
}

int SetApply::contentOrder(int dir, qint64 srid, qint64 trid)
{
    const Dir& d = m_dir[dir];
    auto& st = m_order[dir];
    if (!st) {
        const QString X = ident(m_t.name);
        st = std::make_unique<Stmt>(
            m_db, QStringLiteral("SELECT %1 FROM %2.%3 AS s, %4.%3 AS t WHERE s.rowid = ?1 AND t.rowid = ?2")
                      .arg(m_t.cols.isEmpty() ? QStringLiteral("0")
                                              : contentOrderSql(m_t.cols, QStringLiteral("s"), QStringLiteral("t")),
                           ident(d.from->schema), X, ident(d.to->schema)));
    }
    st->reset();
    st->bind(1, srid).bind(2, trid);
    const int order = st->step() ? int(st->integer(0)) : 0;
    st->reset();
    return order;
}

// Writes what was planned: the losers of both directions first (while both files still hold them), then
// each direction. False when a write was refused (nothing of it is kept by the caller).
bool SetApply::run(const std::function<void(qint64)>& advance)
{
    const QString at = isoNow();
    for (int dir = 0; dir < 2; ++dir) {
        Dir& d = m_dir[dir];
        if (!d.to)
            continue;
        const QString S = ident(d.from->schema), T = ident(d.to->schema), X = ident(m_t.name);
        const QString conflictInsert = QStringLiteral("INSERT INTO %1.repl_conflicts (tbl, guid, exchange_guid, reason, "
                                                      "loser_deleted, row_data, at) ")
                                           .arg(T);
        auto bindConflict = [&](Stmt& st) { st.bind(3, m_t.name).bind(4, m_exchangeId).bind(5, at); };
        if (d.count[KeepLocal])
            exec(dir, KeepLocal,
                 conflictInsert + QStringLiteral("SELECT ?3, o.guid, ?4, o.reason, 0, %1, ?5 FROM temp.repl_steps o "
                                                 "JOIN %2.%3 x ON x.rowid = o.trid WHERE o.k BETWEEN ?1 AND ?2 ORDER BY o.k")
                                      .arg(rowJsonSql(m_t.cols), T, X),
                 bindConflict);
        if (d.count[KeepIncoming])
            exec(dir, KeepIncoming,
                 conflictInsert + QStringLiteral("SELECT ?3, o.guid, ?4, o.reason, 0, %1, ?5 FROM temp.repl_steps o "
                                                 "JOIN %2.%3 x ON x.rowid = o.srid WHERE o.k BETWEEN ?1 AND ?2 ORDER BY o.k")
                                      .arg(rowJsonSql(m_t.cols), S, X),
                 bindConflict);
        if (d.count[KeepDeletion])
            exec(dir, KeepDeletion,
                 conflictInsert + QStringLiteral("SELECT ?3, o.guid, ?4, o.reason, 1, NULL, ?5 FROM temp.repl_steps o "
                                                 "WHERE o.k BETWEEN ?1 AND ?2 ORDER BY o.k"),
                 bindConflict);
    }
    for (int dir = 0; dir < 2; ++dir) {
        Dir& d = m_dir[dir];
        if (!d.to)
            continue;
        const QString S = ident(d.from->schema), T = ident(d.to->schema), X = ident(m_t.name);
        auto bindName = [&](Stmt& st) { st.bind(3, m_t.name); };
        const QString tombs = QStringLiteral("INSERT OR REPLACE INTO %1.repl_tombstones (guid, tbl, rid, generation, "
                                             "lineage) SELECT guid, ?3, trid, gen, lin FROM temp.repl_steps "
                                             "WHERE k BETWEEN ?1 AND ?2 ORDER BY k")
                                  .arg(T);
        if (d.count[DeleteRow]) {
            exec(dir, DeleteRow, QStringLiteral("DELETE FROM %1.%2 WHERE rowid IN (SELECT trid FROM temp.repl_steps "
                                                "WHERE k BETWEEN ?1 AND ?2)")
                                     .arg(T, X));
            exec(dir, DeleteRow, tombs, bindName);
        }
        if (d.count[PutTomb])
            exec(dir, PutTomb, tombs, bindName);
        advance(d.count[DeleteRow] + d.count[PutTomb]);
        for (auto it = d.masks.cbegin(); it != d.masks.cend(); ++it) {
            QStringList sets;
            for (int c = 0; c < m_t.cols.size(); ++c)
                if (it.key() == kAllColumns || (it.key() >> c) & 1)
                    sets << ident(m_t.cols[c]) + QStringLiteral(" = s.") + ident(m_t.cols[c]);
            if ((it.key() >> kIdentityBit) & 1)
                sets << QStringLiteral("s_GUID = s.s_GUID");
            sets << QStringLiteral("s_Lineage = coalesce(o.lin, s.s_Lineage)") << QStringLiteral("s_Generation = o.gen");
            const qint64 m = it.key();
            if (!exec(dir, Update,
                      QStringLiteral("UPDATE %1.%2 AS t SET %3 FROM temp.repl_steps o JOIN %4.%2 s ON s.rowid = o.srid "
                                     "WHERE t.rowid = o.trid AND o.k BETWEEN ?1 AND ?2 AND o.mask = ?3")
                          .arg(T, X, sets.join(QStringLiteral(", ")), S),
                      [m](Stmt& st) { st.bind(3, m); }, it.value()))
                return false;
        }
        if (d.count[Stamp])
            exec(dir, Stamp, QStringLiteral("UPDATE %1.%2 AS t SET s_Lineage = o.lin, s_Generation = o.gen FROM "
                                            "temp.repl_steps o WHERE t.rowid = o.trid AND o.k BETWEEN ?1 AND ?2")
                                 .arg(T, X));
        advance(d.count[Update] + d.count[Stamp]);
        if (d.count[Revive])
            exec(dir, Revive, QStringLiteral("DELETE FROM %1.repl_tombstones WHERE guid IN (SELECT guid FROM "
                                             "temp.repl_steps WHERE k BETWEEN ?1 AND ?2)")
                                  .arg(T));
        QStringList cols, srcCols;
        for (const QString& c : m_t.cols) {
            cols << ident(c);
            srcCols << QStringLiteral("s.") + ident(c);
        }
        cols << QStringLiteral("s_GUID") << QStringLiteral("s_Generation") << QStringLiteral("s_Lineage");
        srcCols << QStringLiteral("s.s_GUID") << QStringLiteral("o.gen") << QStringLiteral("coalesce(o.lin, s.s_Lineage)");
        const QString insert = QStringLiteral("INSERT INTO %1.%2 (%3) SELECT %4 FROM temp.repl_steps o JOIN %5.%2 s "
                                              "ON s.rowid = o.srid WHERE o.k BETWEEN ?1 AND ?2 ORDER BY o.k")
                                   .arg(T, X, cols.join(QStringLiteral(", ")), srcCols.join(QStringLiteral(", ")), S);
        for (Kind k : {Revive, Insert})
            if (d.count[k] && !exec(dir, k, insert, {}, d.count[k]))
                return false;
        advance(d.count[Revive] + d.count[Insert] + d.skipped);
        d.to->inserts += int(d.count[Revive] + d.count[Insert]);
        d.to->updates += int(d.count[Update]);
        d.to->deletes += int(d.count[DeleteRow]);
        if (d.count[Revive] + d.count[Insert] + d.count[Update] + d.count[DeleteRow])
            d.to->tablesChanged.insert(m_t.name);
    }
    return true;
}

// s: guid, lineage, local rowid, local lineage, local tombstone lineage[, sender rowid, changed columns]
void SetApply::parseColumn(Stmt& s, int c, Lineage* out)
{
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(s.handle(), c));
    Lineage::parse(p, sqlite3_column_bytes(s.handle(), c), out);
}

void SetApply::put(Dir& d, int dir, Kind kind, qint64 srid, qint64 trid, const QByteArray& guid, const QByteArray& lin,
                   qint64 gen, const QString& reason, qint64 mask)
{
    Step st{m_base + dir * kDirSpan + kind * kKindSpan + d.count[kind]++, srid, trid, guid, lin, gen, reason, mask,
            kind == Update};
    if (kind == Update)
        ++d.masks[mask];
    m_pending.push_back(std::move(st));
    if (m_pending.size() == kBatch)
        flush();
}

// Writes the steps still held back; call after the last plan().
void SetApply::flush()
{
    if (m_pending.empty())
        return;
    std::unique_ptr<Stmt> one;
    Stmt* p = nullptr;
    if (m_pending.size() == kBatch) {
        if (!m_putBatch) {
            QStringList rows;
            for (size_t i = 0; i < kBatch; ++i)
                rows << QStringLiteral("(?, ?, ?, ?, ?, ?, ?, ?)");
            m_putBatch = std::make_unique<Stmt>(m_db, QStringLiteral("INSERT INTO temp.repl_steps (k, srid, trid, "
                                                                     "guid, lin, gen, reason, mask) VALUES %1")
                                                          .arg(rows.join(QStringLiteral(", "))));
        }
        p = m_putBatch.get();
    } else {
        QStringList rows;
        for (size_t i = 0; i < m_pending.size(); ++i)
            rows << QStringLiteral("(?, ?, ?, ?, ?, ?, ?, ?)");
        one = std::make_unique<Stmt>(m_db, QStringLiteral("INSERT INTO temp.repl_steps (k, srid, trid, guid, lin, gen, "
                                                          "reason, mask) VALUES %1")
                                               .arg(rows.join(QStringLiteral(", "))));
        p = one.get();
    }
    p->reset();
    int i = 0;
    for (const Step& st : m_pending) {
        p->bind(i + 1, st.k);
        if (st.srid > 0)
            p->bind(i + 2, st.srid);
        if (st.trid > 0)
            p->bind(i + 3, st.trid);
        if (!st.guid.isNull())
            p->bindBlob(i + 4, st.guid);
        if (!st.lin.isNull())
            p->bindText(i + 5, st.lin);
        if (st.gen > 0)
            p->bind(i + 6, st.gen);
        if (!st.reason.isNull())
            p->bind(i + 7, st.reason);
        if (st.hasMask)
            p->bind(i + 8, st.mask);
        i += 8;
    }
    p->run();
    m_pending.clear();
}

QString contentOrderSql(const QStringList& cols, const QString& a, const QString& b)
{
    // Unary plus drops the columns' affinity, so values compare as they are stored.
    QString sql = QStringLiteral("CASE");
    for (const QString& c : cols) {
        const QString x = a + QLatin1Char('.') + ident(c), y = b + QLatin1Char('.') + ident(c);
        sql += QStringLiteral(" WHEN +%1 IS NOT +%2 COLLATE BINARY OR typeof(%1) <> typeof(%2) THEN CASE WHEN %1 IS NULL "
                              "THEN -1 WHEN %2 IS NULL THEN 1 WHEN +%1 < +%2 COLLATE BINARY THEN -1 WHEN +%1 > +%2 "
                              "COLLATE BINARY THEN 1 WHEN typeof(%1) < typeof(%2) THEN -1 ELSE 1 END")
                   .arg(x, y);
    }
    return sql + QStringLiteral(" ELSE 0 END");
}

// Runs one statement over the planned steps of one kind; false when it met a constraint, or when it wrote
// fewer rows than planned (a sending row gone would be a change silently lost).
bool SetApply::exec(int dir, Kind kind, const QString& sql, const std::function<void(Stmt&)>& more, qint64 expected)
{
    Stmt st(m_db, sql);
    const qint64 first = m_base + dir * kDirSpan + kind * kKindSpan;
    st.bind(1, first).bind(2, first + kKindSpan - 1);
    if (more)
        more(st);
    if (st.run(true) == SQLITE_CONSTRAINT)
        return false;
    return expected < 0 || sqlite3_changes64(m_db.handle()) == expected;
}

QString rowJsonSql(const QStringList& cols, const QStringList& values)
{
    QStringList parts;
    for (int c = 0; c < cols.size(); ++c)
        parts << QStringLiteral("%1, CASE typeof(%2) WHEN 'blob' THEN lower(hex(%2)) WHEN 'real' THEN %3 ELSE %2 END")
                     .arg(literal(cols[c]), values[c], exactRealJsonSql(values[c]));
    return parts.isEmpty() ? QStringLiteral("'{}'") : QStringLiteral("json_object(%1)").arg(parts.join(QStringLiteral(", ")));
}

QString rowJsonSql(const QStringList& cols)
{
    QStringList values;
    for (const QString& c : cols)
        values << QStringLiteral("x.") + ident(c);
    return rowJsonSql(cols, values);
}

}  // namespace Varnock::Store

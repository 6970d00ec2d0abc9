// How an incoming version is decided against what the receiving file holds of its row, on both paths.
//
// The two lineages (version vectors) are compared. A version the receiver has already seen (Equal, Before) is
// skipped; one that has seen the receiver's (After) is taken as it came, stamped with the echo generation. Two
// changes made without knowing of each other (Concurrent) are a conflict: beats() picks the winner from the two
// versions alone (writer priority, then writer nickname, then the row identity, then the lineage text), so both
// sides of an exchange decide alike; the merged lineage is written with the settled generation, and the losing
// version (a row as JSON, or a deletion) goes into the receiver's repl_conflicts. A deletion is kept as a
// tombstone, so a row the receiver deleted can only come back through a version that saw the deletion or beat
// it. A key or UNIQUE clash with another row is decided like a conflict (row by row only).
//
// Two files that decided different pairs of the same versions can reach equal lineages with different values.
// Equal lineages are therefore taken as one version only when the values (or both deletions) and the writer are
// alike; different values are a conflict like any other, and alike values under different writers take the
// lineage that beats, so every file ends with the same value and the same lineage.
#include "exchange.h"

namespace Varnock::Store {

using Sql::Stmt;

namespace {

// beats(), and for versions alike in all it weighs (equal lineages), the values: order is how the incoming values
// stand to the local ones (a row before a deletion), and the lower wins.
bool inBeats(const Lineage& in, const Lineage& local, const QByteArray& guid, int order)
{
    if (beats(in, guid, local, guid))
        return true;
    return !beats(local, guid, in, guid) && order < 0;
}

bool sameWriter(const Lineage& a, const Lineage& b)
{
    return a.writer == b.writer && a.priority == b.priority;
}

}  // namespace

void Exchanger::Target::apply(Version& in)
{
    const auto aside = m_aside.find(in.guid);
    if (aside != m_aside.end()) {
        Aside a = std::move(aside->second);
        m_aside.erase(aside);
        applyOverAside(in, a);
        for (sqlite3_value* v : a.all)
            sqlite3_value_free(v);
        return;
    }
    m_findRow->reset();
    m_findRow->bindBlob(1, in.guid).bindText(2, m_t.firstLineage);
    if (m_findRow->step()) {
        const qint64 rid = m_findRow->integer(0);
        Lineage local;
        Lineage::parse(m_findRow->utf8(1), &local);
        m_findRow->reset();
        applyOverRow(in, rid, local);
        return;
    }
    m_findRow->reset();
    m_findTomb->reset();
    m_findTomb->bindBlob(1, in.guid);
    if (m_findTomb->step()) {
        Lineage tomb;
        Lineage::parse(m_findTomb->utf8(0), &tomb);
        m_findTomb->reset();
        applyOverTombstone(in, tomb);
        return;
    }
    m_findTomb->reset();
    if (in.deleted) {
        // A deletion of a row this file never had: kept, so the row cannot come back later.
        putTombstone(in.guid, 0, in.lin, m_side.echo);
        return;
    }
    if (writeRow(in, -1, in.lin, m_side.echo))
        ++m_side.inserts, m_side.tablesChanged.insert(m_t.name);
}

void Exchanger::Target::applyOverRow(Version& in, qint64 rid, const Lineage& local)
{
    Order o = compare(in.lin, local);
    int order = 0;
    if (o == Order::Equal) {
        order = in.deleted ? 1 : contentOrder(in, rid);
        if (order == 0) {
            if (!sameWriter(in.lin, local) && beats(in.lin, in.guid, local, in.guid))
                stamp(rid, in.lin, m_side.settled);
            return;
        }
        o = Order::Concurrent;
    }
    if (o == Order::Before)
        return;
    if (o == Order::After) {
        if (in.deleted) {
            deleteRow(rid, in.guid, in.lin, m_side.echo);
            ++m_side.deletes;
        } else if (writeRow(in, rid, in.lin, m_side.echo)) {
            ++m_side.updates;
        }
        m_side.tablesChanged.insert(m_t.name);
        return;
    }
    // Two changes made without knowing of each other.
    const bool inWins = inBeats(in.lin, local, in.guid, order);
    const Lineage m = merged(in.lin, local, inWins ? in.lin : local);
    m_side.noteConflict(in.guid);
    if (inWins) {
        recordLocalLoser(rid, in.guid, QStringLiteral("Changed in both replicas"));
        if (in.deleted) {
            deleteRow(rid, in.guid, m, m_side.settled);
            ++m_side.deletes;
        } else if (writeRow(in, rid, m, m_side.settled)) {
            ++m_side.updates;
        }
        m_side.tablesChanged.insert(m_t.name);
    } else {
        recordIncomingLoser(in, QStringLiteral("Changed in both replicas"));
        stamp(rid, m, m_side.settled);
    }
}

// A row that stepped aside for another row's key: it takes this version as it would have where it was.
void Exchanger::Target::applyOverAside(Version& in, Aside& a)
{
    Lineage local;
    Lineage::parse(a.linText, &local);
    Order o = compare(in.lin, local);
    int order = 0;
    if (o == Order::Equal) {
        order = in.deleted ? 1 : contentOrder(in, a.all);
        if (order != 0)
            o = Order::Concurrent;
    }
    const bool concurrent = o == Order::Concurrent;
    if (o == Order::After || (concurrent && inBeats(in.lin, local, in.guid, order))) {
        const Lineage m = concurrent ? merged(in.lin, local, in.lin) : in.lin;
        const qint64 gen = concurrent ? m_side.settled : m_side.echo;
        if (concurrent) {
            m_side.noteConflict(in.guid);
            record(in.guid, QStringLiteral("Changed in both replicas"), false, a.json);
        }
        if (in.deleted) {
            putTombstone(in.guid, a.rid, m, gen);
            ++m_side.deletes;
        } else if (writeRow(in, -1, m, gen)) {
            ++m_side.updates;
        }
        m_side.tablesChanged.insert(m_t.name);
        return;
    }
    // Not taken after all: back where it was, and decided there.
    if (putBack(a)) {
        apply(in);
        return;
    }
    m_aside.emplace(in.guid, std::move(a));
    a.all.clear();
}

void Exchanger::Target::applyOverTombstone(Version& in, const Lineage& tomb)
{
    Order o = compare(in.lin, tomb);
    int order = 0;
    if (o == Order::Equal) {
        if (in.deleted) {
            if (!sameWriter(in.lin, tomb) && beats(in.lin, in.guid, tomb, in.guid))
                putTombstone(in.guid, 0, in.lin, m_side.settled);
            return;
        }
        // A row against a deletion of the same lineage: the row comes first.
        order = -1;
        o = Order::Concurrent;
    }
    if (o == Order::Before)
        return;
    if (in.deleted) {
        // Two deletions: nothing is lost, the tombstone takes both histories.
        const Lineage m = o == Order::After ? in.lin : merged(in.lin, tomb, beats(in.lin, in.guid, tomb, in.guid) ? in.lin : tomb);
        putTombstone(in.guid, 0, m, o == Order::After ? m_side.echo : m_side.settled);
        return;
    }
    if (o == Order::After) {
        // Brought back by a version that saw the deletion.
        dropTombstone(in.guid);
        if (writeRow(in, -1, in.lin, m_side.echo))
            ++m_side.inserts, m_side.tablesChanged.insert(m_t.name);
        return;
    }
    const bool inWins = inBeats(in.lin, tomb, in.guid, order);
    const Lineage m = merged(in.lin, tomb, inWins ? in.lin : tomb);
    m_side.noteConflict(in.guid);
    if (inWins) {
        recordDeletionLoser(in.guid, QStringLiteral("Deleted here, changed in the other replica"));
        dropTombstone(in.guid);
        if (writeRow(in, -1, m, m_side.settled))
            ++m_side.inserts, m_side.tablesChanged.insert(m_t.name);
    } else {
        recordIncomingLoser(in, QStringLiteral("Changed in the other replica, deleted here"));
        putTombstone(in.guid, 0, m, m_side.settled);
    }
}

// Looks for rows that hold the incoming row's keys. Returns the number of local rows removed because the
// incoming row beat them, -1 when a local row beat the incoming one, 0 when no clash was found.
int Exchanger::Target::resolveClashes(Version& in, const Lineage& lin)
{
    int removed = 0;
    for (auto& [stmt, cols] : m_keyFinders) {
        stmt->reset();
        bool hasNull = false;
        for (int k = 0; k < cols.size(); ++k) {
            sqlite3_value* v = in.vals[size_t(cols[k])];
            if (sqlite3_value_type(v) == SQLITE_NULL)
                hasNull = true;
            stmt->bindValue(k + 1, v);
        }
        if (hasNull)
            continue;
        stmt->bindText(int(cols.size()) + 1, m_t.firstLineage);
        if (!stmt->step())
            continue;
        const qint64 rid = stmt->integer(0);
        const QByteArray guid = stmt->blob(1);
        Lineage other;
        Lineage::parse(stmt->utf8(2), &other);
        stmt->reset();
        if (guid == in.guid)
            continue;
        // The row holding the key moves on later in this batch: it steps aside, and no row is lost to the order
        // of the moves.
        if (stepAside(rid, guid, other)) {
            ++removed;
            continue;
        }
        m_side.noteConflict(in.guid, guid);
        // Which table and key, so a clash of keys given by another writer can be traced.
        QStringList key;
        for (int c : cols)
            key << m_t.cols[c] + QStringLiteral(" = ") + valueJson(in.vals[size_t(c)]);
        const QString where = QStringLiteral(": table %1, key %2").arg(m_t.name, key.join(QStringLiteral(", ")));
        if (beats(lin, in.guid, other, guid)) {
            recordLocalLoser(rid, guid, QStringLiteral("Same key as a row added in the other replica") + where);
            Lineage gone = other;
            gone.set(m_side.id.nickname, m_side.decided);
            deleteRow(rid, guid, gone, m_side.decided);
            ++removed;
        } else {
            recordIncomingLoser(in, QStringLiteral("Same key as a row added in this replica") + where);
            return -1;
        }
    }
    return removed;
}

void SetApply::classify(Dir& d, int dir, Stmt& s, bool deleted)
{
    ++d.versions;
    Lineage& in = m_in;
    parseColumn(s, 1, &in);
    const qint64 srid = deleted ? 0 : s.integer(5);
    const qint64 mask = deleted ? 0 : s.integer(6);
    const Side& to = *d.to;
    if (!s.isNull(2)) {
        const qint64 trid = s.integer(2);
        Lineage& local = m_local;
        parseColumn(s, 3, &local);
        Order o = compare(in, local);
        int order = 0;
        if (o == Order::Equal) {
            // The changed-column mask tells alike values at once where it covers every column.
            const bool alike = !deleted && m_t.cols.size() <= kMaskColumns && (mask & ~(qint64(1) << kIdentityBit)) == 0;
            order = deleted ? 1 : alike ? 0 : contentOrder(dir, srid, trid);
            if (order == 0) {
                if (!sameWriter(in, local) && beats(in, s.blob(0), local, s.blob(0)))
                    put(d, dir, Stamp, 0, trid, {}, in.toJson(), to.settled);
                else
                    ++d.skipped;
                return;
            }
            o = Order::Concurrent;
        }
        if (o == Order::Before) {
            ++d.skipped;
            return;
        }
        if (o == Order::After) {
            if (deleted)
                put(d, dir, DeleteRow, 0, trid, s.blob(0), s.utf8(1), to.echo);
            else
                put(d, dir, Update, srid, trid, {}, {}, to.echo, {}, mask);
            return;
        }
        const QByteArray guid = s.blob(0);
        const bool inWins = inBeats(in, local, guid, order);
        const QByteArray m = merged(in, local, inWins ? in : local).toJson();
        d.to->noteConflict(guid);
        const QString reason = QStringLiteral("Changed in both replicas");
        if (inWins) {
            put(d, dir, KeepLocal, 0, trid, guid, {}, 0, reason);
            if (deleted)
                put(d, dir, DeleteRow, 0, trid, guid, m, to.settled);
            else
                put(d, dir, Update, srid, trid, {}, m, to.settled, {}, mask);
        } else {
            put(d, dir, deleted ? KeepDeletion : KeepIncoming, srid, 0, guid, {}, 0, reason);
            put(d, dir, Stamp, 0, trid, {}, m, to.settled);
        }
        return;
    }
    const QByteArray guid = s.blob(0);
    if (!s.isNull(4)) {
        Lineage& tomb = m_local;
        parseColumn(s, 4, &tomb);
        Order o = compare(in, tomb);
        int order = 0;
        if (o == Order::Equal) {
            if (deleted) {
                if (!sameWriter(in, tomb) && beats(in, guid, tomb, guid))
                    put(d, dir, PutTomb, 0, 0, guid, in.toJson(), to.settled);
                else
                    ++d.skipped;
                return;
            }
            // A row against a deletion of the same lineage: the row comes first.
            order = -1;
            o = Order::Concurrent;
        }
        if (o == Order::Before) {
            ++d.skipped;
            return;
        }
        if (deleted) {
            // Two deletions: nothing is lost, the tombstone takes both histories.
            const Lineage m = o == Order::After ? in : merged(in, tomb, beats(in, guid, tomb, guid) ? in : tomb);
            put(d, dir, PutTomb, 0, 0, guid, m.toJson(), o == Order::After ? to.echo : to.settled);
            return;
        }
        if (o == Order::After) {
            put(d, dir, Revive, srid, 0, guid, in.toJson(), to.echo);
            return;
        }
        const bool inWins = inBeats(in, tomb, guid, order);
        const QByteArray m = merged(in, tomb, inWins ? in : tomb).toJson();
        d.to->noteConflict(guid);
        if (inWins) {
            put(d, dir, KeepDeletion, 0, 0, guid, {}, 0, QStringLiteral("Deleted here, changed in the other replica"));
            put(d, dir, Revive, srid, 0, guid, m, to.settled);
        } else {
            put(d, dir, KeepIncoming, srid, 0, guid, {}, 0, QStringLiteral("Changed in the other replica, deleted here"));
            put(d, dir, PutTomb, 0, 0, guid, m, to.settled);
        }
        return;
    }
    // A deletion of a row this file never had is kept, so the row cannot come back later.
    if (deleted)
        put(d, dir, PutTomb, 0, 0, guid, s.utf8(1), to.echo);
    else
        put(d, dir, Insert, srid, 0, {}, {}, to.echo);
}

}  // namespace Varnock::Store

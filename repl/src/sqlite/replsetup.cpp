// Identity and set-up of a replicable file: making a plain database the Design Master of a set, the triggers
// that keep the change columns, the identities a row has before its first change, and the file's own identity
// and member list.
#include "replshared.h"

#include "lineage.h"

#include <QDateTime>
#include <QFileInfo>
#include <QMap>
#include <QRandomGenerator>
#include <QSysInfo>
#include <QUuid>
#include <QVariant>

namespace Varnock::Store {

using Sql::Db;
using Sql::fail;
using Sql::Failure;
using Sql::ident;
using Sql::literal;
using Sql::openReplicable;
using Sql::Stmt;

namespace {

constexpr int kDefaultRetention = 1000;

const char* const kMetaSchema[] = {
    "CREATE TABLE repl_info (id INTEGER PRIMARY KEY CHECK (id = 1), replica_guid TEXT NOT NULL, "
    "set_guid TEXT NOT NULL, dm_guid TEXT NOT NULL, nickname INTEGER NOT NULL, priority INTEGER NOT NULL, "
    "description TEXT, set_description TEXT, retention INTEGER NOT NULL, flags INTEGER NOT NULL DEFAULT 0, "
    "generation INTEGER NOT NULL, applying INTEGER NOT NULL DEFAULT 0, created TEXT)",
    "CREATE TABLE repl_tables (name TEXT PRIMARY KEY)",
    "CREATE TABLE repl_replicas (replica_guid TEXT PRIMARY KEY, nickname INTEGER NOT NULL, replica_name TEXT, "
    "unc_name TEXT, machine_name TEXT, description TEXT, priority INTEGER, synchronizer_guid TEXT, "
    "flags INTEGER NOT NULL DEFAULT 0, removed INTEGER NOT NULL DEFAULT 0)",
    "CREATE TABLE repl_watermarks (nickname INTEGER PRIMARY KEY, generation INTEGER NOT NULL)",
    "CREATE TABLE repl_tombstones (guid BLOB PRIMARY KEY, tbl TEXT NOT NULL, rid INTEGER, "
    "generation INTEGER NOT NULL, lineage TEXT NOT NULL)",
    "CREATE INDEX repl_tombstones_gen ON repl_tombstones (generation)",
    "CREATE INDEX repl_tombstones_rid ON repl_tombstones (tbl, rid)",
    "CREATE TABLE repl_conflicts (id INTEGER PRIMARY KEY, tbl TEXT, guid BLOB, exchange_guid TEXT, reason TEXT, "
    "loser_deleted INTEGER NOT NULL DEFAULT 0, row_data TEXT, at TEXT)",
    "CREATE TABLE repl_history (exchange_guid TEXT PRIMARY KEY, initiated TEXT, last_action TEXT, "
    "connection_type INTEGER, direction INTEGER, status INTEGER, table_modifications INTEGER, "
    "inserts_received INTEGER, deletes_received INTEGER, updates_received INTEGER, errors INTEGER, "
    "conflicts INTEGER, design_sent INTEGER, design_received INTEGER, inserts_updates_sent INTEGER, "
    "deletes_sent INTEGER, error_code INTEGER, partner_nickname INTEGER, initiated_here INTEGER, "
    "scheduled INTEGER, error_text TEXT)",
};

// The lineage a local change writes, as SQL over repl_info i and the old lineage text.
QString bumpedLineageSql(const QString& old)
{
    return QStringLiteral("json_set(coalesce(%1, '{\"v\":{}}'), '$.w', i.nickname, '$.p', i.priority, "
                          "'$.v.\"' || i.nickname || '\"', i.generation)")
        .arg(old);
}

}  // namespace

QString isoNow()
{
    return QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs);
}

qint32 newNickname(const QSet<qint64>& taken)
{
    for (;;) {
        const qint32 n = qint32(QRandomGenerator::system()->bounded(1, 0x7fffffff));
        if (!taken.contains(n))
            return n;
    }
}

// A row still as it was when its file became replicable stores no identity, generation or lineage (the three
// columns are added without rewriting a row). Its identity is derived from values every replica of the set shares
// and every rebuild of a file keeps: the INTEGER PRIMARY KEY, else a primary key or unique index of NOT NULL
// columns, else the row's values (a table without a key; rows that are not told apart by their values, or hold a
// blob, get a stored identity when the file becomes replicable). Its lineage is the Design Master's first one.
// Both are stored when the row is first changed or deleted, so later changes of its key or values keep it.
namespace {

QByteArray derivedGuidPrefix(const QString& table)
{
    return QByteArray("~") + table.toUtf8() + ':';
}

QString prefixLiteral(const QString& table)
{
    return QStringLiteral("X'%1'").arg(QString::fromLatin1(derivedGuidPrefix(table).toHex()));
}

// The rowid inside an identity derived from it (the only form of earlier versions), else NULL.
QString rowidInGuidSql(const QString& table, const QString& guid)
{
    const int n = int(derivedGuidPrefix(table).size());
    return QStringLiteral("CASE WHEN substr(%1, 1, %2) = %3 AND CAST(substr(%1, %4) AS TEXT) GLOB '[0-9]*' AND "
                          "CAST(substr(%1, %4) AS TEXT) NOT GLOB '*[^0-9]*' THEN CAST(CAST(substr(%1, %4) AS TEXT) AS INTEGER) END")
        .arg(guid)
        .arg(n)
        .arg(prefixLiteral(table))
        .arg(n + 1);
}

// A value inside a derived identity. A column of TEXT affinity holds no REAL (SQLite stores a number given to it as
// text), so its values need no look for one.
QString encodedSql(const QString& col, bool textual)
{
    if (textual)
        return QStringLiteral("CASE typeof(%1) WHEN 'blob' THEN json_object('x', hex(%1)) ELSE %1 END").arg(col);
    return QStringLiteral("CASE typeof(%1) WHEN 'blob' THEN json_object('x', hex(%1)) WHEN 'real' THEN %2 ELSE %1 END")
        .arg(col, exactRealJsonSql(col));
}

// SQLite's rule for a column's affinity: TEXT when its declared type names no INT but CHAR, CLOB or TEXT.
bool textAffinity(const QString& declared)
{
    const QString t = declared.toUpper();
    return !t.contains(QLatin1String("INT")) &&
           (t.contains(QLatin1String("CHAR")) || t.contains(QLatin1String("CLOB")) || t.contains(QLatin1String("TEXT")));
}

// The key as the design of the table gives it.
TableKey designKey(Db& db, const QString& schema, const QString& table)
{
    TableKey k;
    QStringList cols;
    QSet<QString> notNull;
    QMap<int, QString> pk;
    QString pkType;
    {
        Stmt s(db, QStringLiteral("PRAGMA %1.table_info(%2)").arg(ident(schema), ident(table)));
        while (s.step()) {
            const QString c = s.text(1);
            if (!c.compare(QLatin1String("s_GUID"), Qt::CaseInsensitive) ||
                !c.compare(QLatin1String("s_Generation"), Qt::CaseInsensitive) ||
                !c.compare(QLatin1String("s_Lineage"), Qt::CaseInsensitive))
                continue;
            cols << c;
            if (textAffinity(s.text(2)))
                k.textual.insert(c);
            if (s.integer(3))
                notNull.insert(c);
            if (s.integer(5) > 0) {
                pk.insert(int(s.integer(5)), c);
                pkType = s.text(2);
            }
        }
    }
    struct Index {
        QString name, origin;
        TableKey::Unique u;
        bool usable = true;
    };
    QVector<Index> indexes;
    {
        Stmt s(db, QStringLiteral("PRAGMA %1.index_list(%2)").arg(ident(schema), ident(table)));
        while (s.step())
            if (s.integer(4) == 0 && !s.text(1).startsWith(QLatin1String("repl_")))
                indexes.append({s.text(1), s.text(3), {}, s.integer(2) != 0});
    }
    for (Index& ix : indexes) {
        const bool unique = ix.usable;
        Stmt s(db, QStringLiteral("PRAGMA %1.index_xinfo(%2)").arg(ident(schema), ident(ix.name)));
        while (s.step()) {
            if (s.integer(5) == 0)
                continue;   // not a key column of the index
            if (s.integer(1) < 0 || s.isNull(2))
                ix.usable = false;   // the rowid or an expression
            if (!s.isNull(2) && !k.indexed.contains(s.text(2)))
                k.indexed << s.text(2);
            ix.u.cols << s.text(2);
            ix.u.colls << s.text(4);
        }
        ix.usable = ix.usable && unique;
    }
    indexes.erase(std::remove_if(indexes.begin(), indexes.end(), [](const Index& ix) { return !ix.usable; }),
                  indexes.end());
    std::sort(indexes.begin(), indexes.end(), [](const Index& a, const Index& b) {
        return (a.origin == QLatin1String("pk")) != (b.origin == QLatin1String("pk")) ? a.origin == QLatin1String("pk")
                                                                                       : a.name < b.name;
    });
    bool pkIndex = false;
    for (const Index& ix : indexes) {
        pkIndex = pkIndex || ix.origin == QLatin1String("pk");
        if (ix.usable)
            k.uniques << ix.u;
    }
    // Only the ascending INTEGER PRIMARY KEY of a rowid table is the rowid; any other primary key has an index.
    if (pk.size() == 1 && !pkIndex && pkType.compare(QLatin1String("INTEGER"), Qt::CaseInsensitive) == 0) {
        k.kind = TableKey::Rowid;
        k.rowidAlias = pk.first();
        return k;
    }
    for (const Index& ix : indexes) {
        bool ok = ix.usable && !ix.u.cols.isEmpty();
        for (const QString& c : ix.u.cols)
            ok = ok && notNull.contains(c);
        if (ok) {
            k.kind = TableKey::Columns;
            k.cols = ix.u.cols;
            return k;
        }
    }
    k.kind = TableKey::Content;
    k.cols = cols;
    return k;
}

void recordKey(Db& db, const QString& schema, const QString& table, const TableKey& k)
{
    Stmt s(db, QStringLiteral("INSERT OR REPLACE INTO %1.repl_keys (tbl, kind, cols) VALUES (?, ?, ?)").arg(ident(schema)));
    QStringList quoted;
    for (const QString& c : k.cols)
        quoted << jsonString(c);
    s.bind(1, table).bind(2, qint64(k.kind)).bind(3, QLatin1Char('[') + quoted.join(QLatin1Char(',')) + QLatin1Char(']'));
    s.run();
}

// A file made replicable by an earlier version that derived the identities of unchanged rows from their rowids
// (which a rebuild renumbers): those rows store that identity now, before a rebuild can move them, so every
// replica that still derives it finds them by it.
void storeRowidIdentities(Db& db, const QString& schema, const QString& table, const TableKey& key)
{
    if (key.kind == TableKey::Rowid)
        return;
    db.exec(QStringLiteral("UPDATE %1.%2 SET s_GUID = CAST(%3 || rowid AS BLOB) WHERE s_GUID IS NULL")
                .arg(ident(schema), ident(table), literal(QString::fromUtf8(derivedGuidPrefix(table)))));
}

}  // namespace

QString exactRealJsonSql(const QString& x)
{
    // SQLite's JSON writes a REAL with 15 digits, which finds 0.1 + 0.2 no more: a value those do not give back
    // exactly is written with 21 (which its JSON reader gives back exactly), an infinity (no JSON number) as text.
    return QStringLiteral("CASE WHEN abs(%1)=9e999 THEN json_object('r',%1||'') WHEN json_extract(json_array(%1),'$[0]')=%1 "
                          "THEN %1 ELSE json(printf('%!.20e',%1)) END")
        .arg(x);
}

QString jsonString(const QString& s)
{
    QString out = QStringLiteral("\"");
    for (QChar c : s) {
        if (c == QLatin1Char('"') || c == QLatin1Char('\\'))
            out += QLatin1Char('\\') + c;
        else if (c.unicode() < 0x20)
            out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out + QLatin1Char('"');
}

bool recordedTableKey(Db& db, const QString& schema, const QString& table, TableKey* k)
{
    if (!db.tableExists(schema, QStringLiteral("repl_keys")))
        return false;
    Stmt s(db, QStringLiteral("SELECT kind, cols FROM %1.repl_keys WHERE tbl = ?").arg(ident(schema)));
    s.bind(1, table);
    if (!s.step())
        return false;
    k->kind = int(s.integer(0));
    k->cols.clear();
    Stmt c(db, QStringLiteral("SELECT value FROM json_each(?)"));
    c.bind(1, s.text(1));
    while (c.step())
        k->cols << c.text(0);
    return true;
}

TableKey tableKey(Db& db, const QString& schema, const QString& table)
{
    TableKey k = designKey(db, schema, table);
    TableKey rec;
    if (recordedTableKey(db, schema, table, &rec)) {
        k.kind = rec.kind;
        k.cols = rec.cols;
    }
    return k;
}

bool sameKey(const TableKey& a, const TableKey& b)
{
    return a.kind == b.kind && a.cols == b.cols;
}

QString derivedGuidSql(const QString& table, const TableKey& key, const QString& row)
{
    if (key.kind == TableKey::Rowid)
        return QStringLiteral("CAST(%1 || %2rowid AS BLOB)").arg(literal(QString::fromUtf8(derivedGuidPrefix(table))), row);
    QStringList parts;
    for (const QString& c : key.cols)
        parts << encodedSql(row + ident(c), key.textual.contains(c));
    return QStringLiteral("CAST(%1 || json_array(%2) AS BLOB)")
        .arg(literal(QString::fromUtf8(derivedGuidPrefix(table))), parts.join(QStringLiteral(", ")));
}

QString unstampedRowSql(const QString& table, const TableKey& key, const QString& tn, const QString& guid,
                        const QString& sender)
{
    if (key.kind == TableKey::Rowid)
        return QStringLiteral("(SELECT x.rowid FROM %1 x WHERE x.rowid = %2 AND x.s_GUID IS NULL)")
            .arg(tn, rowidInGuidSql(table, guid));
    // The values inside the identity find the row through the table's own indexes; the identity itself decides.
    const int n = int(derivedGuidPrefix(table).size());
    const QString values = QStringLiteral("CAST(substr(%1, %2) AS TEXT)").arg(guid).arg(n + 1);
    // Of a row's values (a table without a key), those of its indexes are enough to find it. An infinity is kept as
    // text.
    const QString value = QStringLiteral("x.%1 IS coalesce(CASE json_extract(%2, '$[%3].r') WHEN 'Inf' THEN 9e999 WHEN "
                                         "'-Inf' THEN -9e999 END, json_extract(%2, '$[%3]'))");
    QStringList where;
    for (int i = 0; i < key.cols.size(); ++i)
        if (key.kind == TableKey::Columns || key.indexed.contains(key.cols[i]))
            where << value.arg(ident(key.cols[i]), values).arg(i);
    if (where.isEmpty())
        for (int i = 0; i < key.cols.size(); ++i)
            where << value.arg(ident(key.cols[i]), values).arg(i);
    where << QStringLiteral("x.s_GUID IS NULL") << derivedGuidSql(table, key, QStringLiteral("x.")) + QStringLiteral(" = ") + guid;
    QString bySender;
    if (!sender.isEmpty() && key.kind == TableKey::Columns) {
        // The sending row's key, when it has not changed, finds the row without reading the identity's values.
        QStringList same;
        for (const QString& c : key.cols)
            same << QStringLiteral("x.%1 IS %2.%1").arg(ident(c), sender);
        same << where.mid(where.size() - 2);
        bySender = QStringLiteral("(SELECT x.rowid FROM %1 x WHERE %2), ").arg(tn, same.join(QStringLiteral(" AND ")));
    }
    // (No rowid here: every identity of this table that names a rowid is stored in its row, and a rowid named by a
    // row deleted here may belong to another row by now.)
    return QStringLiteral("CASE WHEN substr(%1, 1, %2) = %3 AND substr(%1, %4, 1) = X'5B' THEN (SELECT x.rowid "
                          "FROM %5 x WHERE %6) END")
        .arg(guid)
        .arg(n)
        .arg(prefixLiteral(table))
        .arg(n + 1)
        .arg(tn, where.join(QStringLiteral(" AND ")))
        .prepend(bySender.isEmpty() ? QString() : QStringLiteral("coalesce(") + bySender)
        .append(bySender.isEmpty() ? QString() : QStringLiteral(")"));
}

QByteArray firstLineage(qint64 designMasterNickname)
{
    Lineage l;
    l.writer = designMasterNickname;
    l.priority = kDesignMasterPriority;
    l.v = {{designMasterNickname, 1}};
    return l.toJson();
}

QByteArray firstLineage(Db& db, const QString& schema)
{
    Stmt s(db, QStringLiteral("SELECT r.nickname FROM %1.repl_replicas r, %1.repl_info i WHERE r.replica_guid = i.dm_guid")
                   .arg(ident(schema)));
    return s.step() ? firstLineage(s.integer(0)) : QByteArray();
}

namespace {

// A replica that may not delete refuses a REPLACE that removes rows (the rows of repl_replaced r where, beyond
// those continued) as it refuses a DELETE.
QString refuseRemoval(const QString& where, int continued)
{
    return QStringLiteral("SELECT RAISE(ABORT, 'Rows cannot be deleted in this replica.') FROM repl_info i WHERE "
                          "(i.flags & %1) <> 0 AND (SELECT count(*) FROM repl_replaced r WHERE %2) > %3; ")
        .arg(QString::number(ReplicaFlag::ReadOnly | ReplicaFlag::PreventDeletes), where, QString::number(continued));
}

// Triggers that keep a table's change columns for every connection, and record its deletions. l0 is the
// lineage of a row not changed since the file became replicable; cols are the table's user columns.
QVector<std::pair<QString, QString>> captureTriggers(const QString& table, const QByteArray& l0, const QStringList& cols,
                                                     const TableKey& key)
{
    const QString t = ident(table);
    const QString n = literal(table);
    const QString raw = QString(table).replace(QLatin1Char('"'), QLatin1Char('_'));
    const QString oldLineage = QStringLiteral("coalesce(OLD.s_Lineage, %1)").arg(literal(QString::fromUtf8(l0)));
    const QString bi = QStringLiteral("repl_bi_") + raw, ai = QStringLiteral("repl_ai_") + raw,
                  au = QStringLiteral("repl_au_") + raw, ad = QStringLiteral("repl_ad_") + raw;
    QVector<std::pair<QString, QString>> out;
    const QString fresh = QStringLiteral("(SELECT json_object('w', nickname, 'p', priority, 'v', "
                                         "json_object(CAST(nickname AS TEXT), generation)) FROM repl_info)");
    // INSERT OR REPLACE (or REPLACE) deletes the rows holding the new row's keys without a delete trigger (unless
    // recursive triggers are on): the rows it is about to meet are noted first, and the new row continues the one
    // of the same identity key (its stored or derived identity and its lineage, as a change), the others are
    // deleted with tombstones. An insert that fails or is ignored leaves the rows, and the note is not used.
    QStringList meets;
    QString sameKeyCond;
    if (!key.rowidAlias.isEmpty()) {
        meets << QStringLiteral("rowid = NEW.%1").arg(ident(key.rowidAlias));
        if (key.kind == TableKey::Rowid)
            sameKeyCond = meets.last();
    } else if (!key.uniques.isEmpty()) {
        // A rowid given by the writer (a tool that copies rows with theirs) replaces the row holding it too.
        meets << QStringLiteral("rowid = NEW.rowid");
    }
    for (const TableKey::Unique& u : key.uniques) {
        QStringList eq;
        for (int i = 0; i < u.cols.size(); ++i)
            eq << QStringLiteral("%1 = NEW.%1 COLLATE %2").arg(ident(u.cols[i]), ident(u.colls.value(i, QStringLiteral("BINARY"))));
        meets << eq.join(QStringLiteral(" AND "));
        if (key.kind == TableKey::Columns && u.cols == key.cols && sameKeyCond.isEmpty())
            sameKeyCond = meets.last();
    }
    const QString replaced = QStringLiteral("r.tbl = %1 AND (r.rid = NEW.rowid OR NOT EXISTS (SELECT 1 FROM %2 z WHERE "
                                            "z.rowid = r.rid))")
                                 .arg(n, t);
    const QString continued = QStringLiteral("(SELECT r.%1 FROM repl_replaced r WHERE %2 ORDER BY r.pref, r.rid LIMIT 1)");
    if (!meets.isEmpty()) {
        QStringList cond;
        for (const QString& m : meets)
            cond << QLatin1Char('(') + m + QLatin1Char(')');
        out.append({bi, QStringLiteral("CREATE TRIGGER %1 BEFORE INSERT ON %2 WHEN (SELECT applying FROM repl_info) = 0 BEGIN "
                                       "DELETE FROM repl_replaced WHERE tbl = %3; "
                                       "INSERT INTO repl_replaced (tbl, rid, pref, guid, lineage) SELECT %3, rowid, %4, "
                                       "coalesce(s_GUID, %5), coalesce(s_Lineage, %6) FROM %2 WHERE %7; END")
                            .arg(ident(bi), t, n,
                                 sameKeyCond.isEmpty() ? QStringLiteral("1")
                                                       : QStringLiteral("CASE WHEN %1 THEN 0 ELSE 1 END").arg(sameKeyCond),
                                 derivedGuidSql(table, key, QString()), literal(QString::fromUtf8(l0)),
                                 cond.join(QStringLiteral(" OR ")))});
        out.append({ai, QStringLiteral("CREATE TRIGGER %1 AFTER INSERT ON %2 WHEN (SELECT applying FROM repl_info) = 0 BEGIN "
                                       "%10"
                                       "INSERT OR REPLACE INTO repl_tombstones (guid, tbl, rid, generation, lineage) "
                                       "SELECT r.guid, %3, r.rid, i.generation, %4 FROM repl_replaced r, repl_info i "
                                       "WHERE %5 AND r.rid IS NOT %6; "
                                       "UPDATE %2 SET s_GUID = coalesce(%7, randomblob(16)), "
                                       "s_Generation = (SELECT generation FROM repl_info), "
                                       "s_Lineage = coalesce((SELECT %8 FROM repl_info i, repl_replaced r WHERE %5 "
                                       "ORDER BY r.pref, r.rid LIMIT 1), %9) WHERE rowid = NEW.rowid; "
                                       "DELETE FROM repl_tombstones WHERE guid = (SELECT s_GUID FROM %2 WHERE rowid = NEW.rowid); "
                                       "DELETE FROM repl_replaced WHERE tbl = %3; END")
                            .arg(ident(ai), t, n, bumpedLineageSql(QStringLiteral("r.lineage")), replaced,
                                 continued.arg(QStringLiteral("rid"), replaced), continued.arg(QStringLiteral("guid"), replaced),
                                 bumpedLineageSql(QStringLiteral("r.lineage")), fresh)
                            .arg(refuseRemoval(replaced, 1))});
    } else {
        // No key but the rowid SQLite gives: an insert replaces nothing.
        out.append({ai, QStringLiteral("CREATE TRIGGER %1 AFTER INSERT ON %2 WHEN (SELECT applying FROM repl_info) = 0 BEGIN "
                                       "UPDATE %2 SET s_GUID = randomblob(16), s_Generation = (SELECT generation FROM "
                                       "repl_info), s_Lineage = %3 WHERE rowid = NEW.rowid; END")
                            .arg(ident(ai), t, fresh)});
    }
    // Only an UPDATE that gives a user column another value is a change (a tool that rewrites a row as it was
    // sends nothing); a change of case or of type is another value. The WHERE clause skips a row already stamped
    // this generation, so a connection with recursive triggers on does not loop.
    QStringList differs;
    for (const QString& c : cols)
        differs << QStringLiteral("NEW.%1 IS NOT OLD.%1 COLLATE BINARY OR typeof(NEW.%1) <> typeof(OLD.%1)").arg(ident(c));
    // UPDATE OR REPLACE deletes the rows that held the keys a row moves to, likewise without a delete trigger:
    // noted before, sent as deletions after.
    QString replacedByUpdate;
    if (!meets.isEmpty()) {
        QStringList keyCols, cond;
        keyCols << (key.rowidAlias.isEmpty() ? QStringLiteral("rowid") : key.rowidAlias);
        for (const TableKey::Unique& u : key.uniques)
            for (const QString& c : u.cols)
                if (!keyCols.contains(c))
                    keyCols << c;
        QStringList moved;
        for (const QString& c : keyCols)
            moved << QStringLiteral("NEW.%1 IS NOT OLD.%1").arg(ident(c));
        for (const QString& m : meets)
            cond << QLatin1Char('(') + m + QLatin1Char(')');
        const QString bu = QStringLiteral("repl_bu_") + raw;
        out.append({bu, QStringLiteral("CREATE TRIGGER %1 BEFORE UPDATE ON %2 WHEN (SELECT applying FROM repl_info) = 0 "
                                       "AND (%3) BEGIN DELETE FROM repl_replaced WHERE tbl = %4; "
                                       "INSERT INTO repl_replaced (tbl, rid, pref, guid, lineage) SELECT %4, rowid, 1, "
                                       "coalesce(s_GUID, %5), coalesce(s_Lineage, %6) FROM %2 WHERE rowid <> OLD.rowid "
                                       "AND (%7); END")
                            .arg(ident(bu), t, moved.join(QStringLiteral(" OR ")), n, derivedGuidSql(table, key, QString()),
                                 literal(QString::fromUtf8(l0)), cond.join(QStringLiteral(" OR ")))});
        // The notes are this update's only when its key moved (its before trigger made them then): a note left by a
        // write SQLite ignored names a row that may have moved since, never one this update removed.
        const QString gone = QStringLiteral("(%1) AND r.tbl = %2 AND r.rid <> OLD.rowid AND (r.rid = NEW.rowid OR NOT "
                                            "EXISTS (SELECT 1 FROM %3 z WHERE z.rowid = r.rid))")
                                 .arg(moved.join(QStringLiteral(" OR ")), n, t);
        replacedByUpdate = QStringLiteral("%4INSERT OR REPLACE INTO repl_tombstones (guid, tbl, rid, generation, lineage) "
                                          "SELECT r.guid, %1, r.rid, i.generation, %2 FROM repl_replaced r, repl_info i "
                                          "WHERE %3 AND NOT EXISTS (SELECT 1 FROM repl_tombstones b WHERE b.guid = r.guid); "
                                          "DELETE FROM repl_replaced WHERE tbl = %1; ")
                               .arg(n, bumpedLineageSql(QStringLiteral("r.lineage")), gone, refuseRemoval(gone, 0));
    }
    out.append({au, QStringLiteral("CREATE TRIGGER %1 AFTER UPDATE ON %2 WHEN (SELECT applying FROM repl_info) = 0 "
                                   "AND NEW.s_Lineage IS OLD.s_Lineage AND (%5) BEGIN %6"
                                   "UPDATE %2 SET s_GUID = coalesce(s_GUID, OLD.s_GUID, %4), "
                                   "s_Generation = (SELECT generation FROM repl_info), "
                                   "s_Lineage = (SELECT %3 FROM repl_info i) "
                                   "WHERE rowid = NEW.rowid AND (s_Generation IS NOT (SELECT generation FROM repl_info) "
                                   "OR s_Lineage IS NOT (SELECT %3 FROM repl_info i)); END")
                        .arg(ident(au), t, bumpedLineageSql(oldLineage), derivedGuidSql(table, key, QStringLiteral("OLD.")),
                             differs.isEmpty() ? QStringLiteral("0") : differs.join(QStringLiteral(" OR ")), replacedByUpdate)});
    out.append({ad, QStringLiteral("CREATE TRIGGER %1 AFTER DELETE ON %2 WHEN (SELECT applying FROM repl_info) = 0 BEGIN "
                                   "INSERT OR REPLACE INTO repl_tombstones (guid, tbl, rid, generation, lineage) "
                                   "SELECT coalesce(OLD.s_GUID, %5), %3, OLD.rowid, i.generation, %4 FROM repl_info i; END")
                        .arg(ident(ad), t, n, bumpedLineageSql(oldLineage), derivedGuidSql(table, key, QStringLiteral("OLD.")))});
    return out;
}

// Rows whose identity cannot be derived from their values (two rows of a table without a key that hold the same
// values, or a key that holds a blob) store one now: the form earlier versions derived from the rowid, which
// every replica made from this file shares. Runs with the triggers idle.
void storeUnderivableIdentities(Db& db, const QString& schema, const QString& table, const TableKey& key)
{
    if (key.kind == TableKey::Rowid)
        return;
    const QString tn = ident(schema) + QLatin1Char('.') + ident(table);
    QStringList blobs;
    for (const QString& c : key.cols)
        blobs << QStringLiteral("typeof(%1) = 'blob'").arg(ident(c));
    QString which = blobs.join(QStringLiteral(" OR "));
    if (key.kind == TableKey::Content) {
        const QString d = derivedGuidSql(table, key, QString());
        which += QStringLiteral(" OR %1 IN (SELECT %1 FROM %2 WHERE s_GUID IS NULL GROUP BY 1 HAVING count(*) > 1)").arg(d, tn);
    }
    db.exec(QStringLiteral("UPDATE %1 SET s_GUID = CAST(%2 || rowid AS BLOB) WHERE s_GUID IS NULL AND (%3)")
                .arg(tn, literal(QString::fromUtf8(derivedGuidPrefix(table))), which));
}

}  // namespace
// Refusals of a read-only or prevent-deletes replica for writes that are not the engine's.
QStringList guardTriggers(const QString& table, int flags)
{
    const QString t = ident(table);
    const QString raw = QString(table).replace(QLatin1Char('"'), QLatin1Char('_'));
    QStringList out;
    if (flags & ReplicaFlag::ReadOnly) {
        for (const char* op : {"INSERT", "UPDATE"})
            out << QStringLiteral("CREATE TRIGGER %1 BEFORE %2 ON %3 WHEN (SELECT applying FROM repl_info) = 0 "
                                  "BEGIN SELECT RAISE(ABORT, 'This replica is read-only.'); END")
                       .arg(ident(QStringLiteral("repl_ro_%1_").arg(QString::fromLatin1(op).toLower()) + raw),
                            QLatin1String(op), t);
    }
    if (flags & (ReplicaFlag::ReadOnly | ReplicaFlag::PreventDeletes))
        out << QStringLiteral("CREATE TRIGGER %1 BEFORE DELETE ON %2 WHEN (SELECT applying FROM repl_info) = 0 "
                              "BEGIN SELECT RAISE(ABORT, 'Rows cannot be deleted in this replica.'); END")
                   .arg(ident(QStringLiteral("repl_nd_") + raw), t);
    return out;
}

QStringList userColumns(Db& db, const QString& schema, const QString& table)
{
    QStringList out;
    Stmt s(db, QStringLiteral("PRAGMA %1.table_info(%2)").arg(ident(schema), ident(table)));
    while (s.step()) {
        const QString c = s.text(1);
        if (c.compare(QLatin1String("s_GUID"), Qt::CaseInsensitive) && c.compare(QLatin1String("s_Generation"), Qt::CaseInsensitive) &&
            c.compare(QLatin1String("s_Lineage"), Qt::CaseInsensitive))
            out << c;
    }
    return out;
}

namespace {

const char* const kKeySchema[] = {
    // What the derived identities of each table's rows are made of, fixed when the file became replicable.
    "CREATE TABLE IF NOT EXISTS %1.repl_keys (tbl TEXT PRIMARY KEY, kind INTEGER NOT NULL, cols TEXT NOT NULL)",
    // The rows an insert is about to meet (what REPLACE would delete), for its capture triggers only.
    "CREATE TABLE IF NOT EXISTS %1.repl_replaced (tbl TEXT NOT NULL, rid INTEGER NOT NULL, pref INTEGER NOT NULL, "
    "guid BLOB, lineage TEXT, PRIMARY KEY (tbl, rid))",
};

// What the capture triggers of the file of schema should be and what they are, per table.
struct TriggerState {
    QString table;
    TableKey key;
    bool keyRecorded = false;
    QVector<std::pair<QString, QString>> wanted;
    QStringList present;   // names of capture triggers in the file
    bool current = true;
};

QVector<TriggerState> triggerStates(Db& db, const QString& schema)
{
    QVector<TriggerState> out;
    const QByteArray l0 = firstLineage(db, schema);
    const bool tablesThere = db.tableExists(schema, QStringLiteral("repl_keys")) &&
                             db.tableExists(schema, QStringLiteral("repl_replaced"));
    QStringList tables;
    {
        Stmt s(db, QStringLiteral("SELECT r.name FROM %1.repl_tables r JOIN %1.sqlite_master m ON m.type = 'table' "
                                  "AND m.name = r.name ORDER BY r.name")
                       .arg(ident(schema)));
        while (s.step())
            tables << s.text(0);
    }
    Stmt have(db, QStringLiteral("SELECT name, sql FROM %1.sqlite_master WHERE type = 'trigger' AND tbl_name = ?1 AND "
                                 "name IN (?2, ?3, ?4, ?5, ?6)")
                      .arg(ident(schema)));
    for (const QString& t : tables) {
        TriggerState st;
        st.table = t;
        st.key = designKey(db, schema, t);
        TableKey rec;
        st.keyRecorded = recordedTableKey(db, schema, t, &rec);
        if (st.keyRecorded) {
            st.key.kind = rec.kind;
            st.key.cols = rec.cols;
        }
        st.wanted = captureTriggers(t, l0, userColumns(db, schema, t), st.key);
        const QString raw = QString(t).replace(QLatin1Char('"'), QLatin1Char('_'));
        have.reset();
        have.bind(1, t);
        int i = 2;
        for (const char* kind : {"repl_ai_", "repl_au_", "repl_ad_", "repl_bi_", "repl_bu_"})
            have.bind(i++, QLatin1String(kind) + raw);
        QMap<QString, QString> sql;
        while (have.step())
            sql.insert(have.text(0), have.text(1));
        st.present = sql.keys();
        st.current = tablesThere && st.keyRecorded && sql.size() == st.wanted.size();
        for (const auto& w : st.wanted)
            st.current = st.current && sql.value(w.first) == w.second;
        out << st;
    }
    return out;
}

// A table's key recorded, the identities its values cannot give stored (a file made replicable now) or those an
// earlier version derived from rowids (a file made by it), and its capture triggers made.
void prepareTable(Db& db, const QString& schema, const TriggerState& st, bool fresh)
{
    for (const QString& name : st.present)
        db.exec(QStringLiteral("DROP TRIGGER %1.%2").arg(ident(schema), ident(name)));
    if (!st.keyRecorded) {
        recordKey(db, schema, st.table, st.key);
        if (fresh)
            storeUnderivableIdentities(db, schema, st.table, st.key);
        else
            storeRowidIdentities(db, schema, st.table, st.key);
    }
    for (const auto& w : st.wanted)
        db.exec(QStringLiteral("CREATE TRIGGER %1.%2").arg(ident(schema), w.second.mid(int(qstrlen("CREATE TRIGGER ")))));
}

}  // namespace

namespace {

// The triggers of this version, as a row of repl_keys: its name is empty, its kind this version's form of the
// triggers, its cols the schema version of the file they were checked against. While both hold (no design change,
// no rebuild since), the triggers need no look.
constexpr int kTriggerForm = 3;

}  // namespace

bool triggersCurrent(Db& db, const QString& schema)
{
    if (!db.tableExists(schema, QStringLiteral("repl_keys")))
        return false;
    Stmt s(db, QStringLiteral("SELECT kind = ?1 AND cols = ?2 FROM %1.repl_keys WHERE tbl = ''").arg(ident(schema)));
    s.bind(1, qint64(kTriggerForm))
        .bind(2, QString::number(db.scalarInt(QStringLiteral("PRAGMA %1.schema_version").arg(ident(schema)))));
    return s.step() && s.integer(0) != 0;
}

void checkRowidIdentities(Db& db, const QString& a, const QString& b)
{
    QStringList tables;
    {
        Stmt s(db, QStringLiteral("SELECT name FROM %1.repl_tables INTERSECT SELECT name FROM %2.repl_tables")
                       .arg(ident(a), ident(b)));
        while (s.step())
            tables << s.text(0);
    }
    for (const QString& t : tables) {
        TableKey rec;
        if (recordedTableKey(db, a, t, &rec) || designKey(db, a, t).kind == TableKey::Rowid)
            continue;
        QStringList same;
        const QStringList theirs = userColumns(db, b, t);
        for (const QString& c : userColumns(db, a, t))
            if (theirs.contains(c, Qt::CaseInsensitive))
                same << QStringLiteral("x.%1 IS y.%1 COLLATE BINARY").arg(ident(c));
        if (same.isEmpty())
            continue;
        // Rows unchanged on both sides that the other file names by the same rowid hold the same values, unless one
        // of the files was rebuilt since and its rowids moved.
        const bool theyRecorded = recordedTableKey(db, b, t, &rec);
        const QString join = theyRecorded ? QStringLiteral("y.s_GUID = CAST(%1 || x.rowid AS BLOB) AND y.s_Lineage IS NULL")
                                                .arg(literal(QString::fromUtf8(derivedGuidPrefix(t))))
                                          : QStringLiteral("y.rowid = x.rowid AND y.s_GUID IS NULL");
        Stmt s(db, QStringLiteral("SELECT 1 FROM %1.%3 x JOIN %2.%3 y ON %4 WHERE x.s_GUID IS NULL AND NOT (%5) LIMIT 1")
                       .arg(ident(a), ident(b), ident(t), join, same.join(QStringLiteral(" AND "))));
        if (s.step())
            throw Failure{Result::IdentitiesDiffer,
                          QStringLiteral("The two databases no longer agree on which rows of the table %1 are the same "
                                         "rows (one of them was rebuilt before this version first exchanged it), so "
                                         "nothing was exchanged. Make a new replica from the Design Master.")
                              .arg(t)};
    }
}

void refuseUntrackedTables(Db& db, const QString& schema)
{
    // Every version made these three triggers and columns; a table without them had writes nothing recorded, and
    // comparing rows cannot tell those from the partner's changes. One statement: it runs at every exchange.
    Stmt s(db, QStringLiteral("SELECT r.name FROM %1.repl_tables r JOIN %1.sqlite_master m ON m.type = 'table' AND "
                              "m.name = r.name WHERE (SELECT count(*) FROM %1.sqlite_master t WHERE t.type = 'trigger' "
                              "AND t.tbl_name = r.name AND t.name IN ('repl_ai_' || replace(r.name, '\"', '_'), "
                              "'repl_au_' || replace(r.name, '\"', '_'), 'repl_ad_' || replace(r.name, '\"', '_'))) < 3 "
                              "OR (SELECT count(*) FROM pragma_table_info(r.name, ?1) WHERE lower(name) IN "
                              "('s_guid', 's_generation', 's_lineage')) < 3 ORDER BY r.name LIMIT 1")
                   .arg(ident(schema)));
    s.bind(1, schema);
    if (s.step()) {
        const QString t = s.text(0);
        const char* file = sqlite3_db_filename(db.handle(), schema.toUtf8().constData());
        const bool master = db.scalarInt(QStringLiteral("SELECT replica_guid = dm_guid COLLATE NOCASE FROM %1.repl_info")
                                             .arg(ident(schema))) != 0;
        const QString remedy = master ? QStringLiteral("Put back a copy of the Design Master saved before that change "
                                                       "and enter what was changed since again.")
                                      : QStringLiteral("Make a new replica from the Design Master and enter this "
                                                       "replica's changes not yet exchanged again.");
        throw Failure{Result::IdentitiesDiffer,
                      QStringLiteral("The table %1 in %2 was made again without its change tracking (as a database "
                                     "browser does when it changes a table's design), so what was changed in it since "
                                     "cannot be known, and nothing was exchanged. %3")
                          .arg(t, file ? QString::fromUtf8(file) : schema, remedy)};
    }
}

bool refreshTriggers(Db& db, const QString& schema, bool fresh)
{
    if (!fresh)
        refuseUntrackedTables(db, schema);
    if (triggersCurrent(db, schema))
        return false;
    // The engine's own writes: no trigger of an earlier version stamps them.
    const qint64 applying = db.scalarInt(QStringLiteral("SELECT applying FROM %1.repl_info").arg(ident(schema)));
    db.exec(QStringLiteral("UPDATE %1.repl_info SET applying = 1").arg(ident(schema)));
    bool changed = false;
    for (const char* sql : kKeySchema)
        db.exec(QString::fromLatin1(sql).arg(ident(schema)));
    for (const TriggerState& st : triggerStates(db, schema)) {
        if (st.current)
            continue;
        changed = true;
        prepareTable(db, schema, st, fresh);
    }
    Stmt back(db, QStringLiteral("UPDATE %1.repl_info SET applying = ?").arg(ident(schema)));
    back.bind(1, applying).run();
    Stmt note(db, QStringLiteral("INSERT OR REPLACE INTO %1.repl_keys (tbl, kind, cols) VALUES ('', ?, ?)").arg(ident(schema)));
    note.bind(1, qint64(kTriggerForm))
        .bind(2, QString::number(db.scalarInt(QStringLiteral("PRAGMA %1.schema_version").arg(ident(schema)))));
    note.run();
    return changed;
}

bool hasInfo(Db& db, const QString& schema)
{
    return db.tableExists(schema, QStringLiteral("repl_info"));
}

Identity readInfo(Db& db, const QString& schema)
{
    Stmt s(db, QStringLiteral("SELECT replica_guid, set_guid, dm_guid, nickname, priority, description, "
                              "set_description, retention, flags, generation FROM %1.repl_info")
                   .arg(ident(schema)));
    if (!s.step())
        throw Failure{Result::NotReplicable, QStringLiteral("The database has no replica identity.")};
    Identity id;
    id.replicaId = s.text(0);
    id.setId = s.text(1);
    id.designMasterId = s.text(2);
    id.nickname = qint32(s.integer(3));
    id.priority = int(s.integer(4));
    id.description = s.text(5);
    id.setDescription = s.text(6);
    id.retention = int(s.integer(7));
    id.flags = int(s.integer(8));
    id.generation = s.integer(9);
    return id;
}

namespace {

// The user tables of a file that replication tracks (rowid tables only).
QStringList userTables(Db& db)
{
    QStringList out;
    // Virtual tables and their shadow tables hold nothing of their own to exchange.
    Stmt s(db, QStringLiteral("SELECT name, wr FROM pragma_table_list WHERE schema = 'main' AND type = 'table' "
                              "AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\' AND name NOT LIKE 'repl\\_%' ESCAPE '\\' "
                              "ORDER BY name"));
    while (s.step()) {
        // A row of a WITHOUT ROWID table has no rowid for the triggers and the exchange to name it by.
        if (s.integer(1))
            throw Failure{Result::NotReplicableDesign,
                          QStringLiteral("The table %1 is a WITHOUT ROWID table, which cannot be replicated. The database "
                                         "was not made replicable; give the table a rowid (rebuild it without WITHOUT "
                                         "ROWID) and try again.")
                              .arg(s.text(0))};
        out << s.text(0);
    }
    return out;
}

}  // namespace

QString newGuidText()
{
    return QUuid::createUuid().toString(QUuid::WithBraces).toUpper();
}

QString replicaId(const QString& path)
{
    try {
        Db db;
        db.open(path, true);
        if (!hasInfo(db))
            return QString();
        Stmt s(db, QStringLiteral("SELECT replica_guid FROM repl_info"));
        return s.step() ? s.text(0) : QString();
    } catch (const Failure&) {
        return QString();
    }
}

int checkDatabase(const QString& path, QString* error)
{
    try {
        Db db;
        db.open(path, true);
        return Result::Ok;
    } catch (const Failure& f) {
        return fail(f, error);
    }
}

int executeSql(const QString& path, const QString& sql, QString* error)
{
    try {
        Db db;
        db.open(path);
        db.exec(sql);
        return Result::Ok;
    } catch (const Failure& f) {
        return fail(f, error);
    }
}

bool isReplicable(const QString& path)
{
    return !replicaId(path).isEmpty();
}

int makeReplicable(const QString& path, QString* error)
{
    try {
        Db db;
        db.open(path);
        Sql::useRollbackJournal(db, QStringLiteral("main"), path);
        db.exec(QStringLiteral("BEGIN EXCLUSIVE"));
        try {
            if (hasInfo(db)) {
                db.exec(QStringLiteral("ROLLBACK"));
                return Result::Ok;
            }
            const QStringList tables = userTables(db);
            for (const char* sql : kMetaSchema)
                db.exec(QString::fromLatin1(sql));
            const QString guid = newGuidText();
            const qint32 nick = newNickname({});
            {
                Stmt s(db, QStringLiteral("INSERT INTO repl_info (id, replica_guid, set_guid, dm_guid, nickname, "
                                          "priority, retention, generation, created) VALUES (1, ?, ?, ?, ?, ?, ?, 1, ?)"));
                s.bind(1, guid).bind(2, newGuidText()).bind(3, guid).bind(4, qint64(nick));
                s.bind(5, qint64(kDesignMasterPriority)).bind(6, qint64(kDefaultRetention)).bind(7, isoNow());
                s.run();
            }
            {
                const QString abs = QFileInfo(path).absoluteFilePath();
                Stmt s(db, QStringLiteral("INSERT INTO repl_replicas (replica_guid, nickname, replica_name, unc_name, "
                                          "machine_name, priority, synchronizer_guid) VALUES (?, ?, ?, ?, ?, ?, ?)"));
                s.bind(1, guid).bind(2, qint64(nick)).bind(3, path).bind(4, abs);
                s.bind(5, QSysInfo::machineHostName()).bind(6, qint64(kDesignMasterPriority));
                s.bind(7, QUuid().toString(QUuid::WithBraces).toUpper());
                s.run();
            }
            for (const QString& t : tables) {
                const QString q = ident(t);
                const QString raw = QString(t).replace(QLatin1Char('"'), QLatin1Char('_'));
                db.exec(QStringLiteral("ALTER TABLE %1 ADD COLUMN s_GUID BLOB").arg(q));
                db.exec(QStringLiteral("ALTER TABLE %1 ADD COLUMN s_Generation INTEGER").arg(q));
                db.exec(QStringLiteral("ALTER TABLE %1 ADD COLUMN s_Lineage TEXT").arg(q));
                // The rows keep their records: their identity and lineage are derived until they change, so
                // the indexes hold only changed rows.
                db.exec(QStringLiteral("CREATE UNIQUE INDEX %1 ON %2 (s_GUID) WHERE s_GUID IS NOT NULL")
                            .arg(ident(QStringLiteral("repl_guid_") + raw), q));
                db.exec(QStringLiteral("CREATE INDEX %1 ON %2 (s_Generation) WHERE s_Generation IS NOT NULL")
                            .arg(ident(QStringLiteral("repl_gen_") + raw), q));
                Stmt s(db, QStringLiteral("INSERT INTO repl_tables (name) VALUES (?)"));
                s.bind(1, t).run();
            }
            // Every table's key, the identities its rows' values cannot give, and its triggers.
            refreshTriggers(db, QStringLiteral("main"), true);
            db.exec(QStringLiteral("COMMIT"));
        } catch (...) {
            sqlite3_exec(db.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
            throw;
        }
        return Result::Ok;
    } catch (const Failure& f) {
        return fail(f, error);
    }
}

int readIdentity(const QString& path, Identity* out, QString* error)
{
    try {
        Db db;
        openReplicable(db, path, true);
        *out = readInfo(db);
        return Result::Ok;
    } catch (const Failure& f) {
        return fail(f, error);
    }
}

static int setInfoColumn(const QString& path, const char* column, const QVariant& value, QString* error)
{
    try {
        Db db;
        openReplicable(db, path);
        Stmt s(db, QStringLiteral("UPDATE repl_info SET %1 = ?").arg(QLatin1String(column)));
        if (value.typeId() == QMetaType::QString)
            s.bind(1, value.toString());
        else
            s.bind(1, value.toLongLong());
        s.run();
        Stmt m(db, QStringLiteral("UPDATE repl_replicas SET %1 = ? WHERE replica_guid = "
                                  "(SELECT replica_guid FROM repl_info)")
                       .arg(QLatin1String(column)));
        if (qstrcmp(column, "description") == 0) {
            m.bind(1, value.toString());
            m.run();
        }
        return Result::Ok;
    } catch (const Failure& f) {
        return fail(f, error);
    }
}

int setDescription(const QString& path, const QString& text, QString* error)
{
    return setInfoColumn(path, "description", text.isNull() ? QString(QLatin1String("")) : text, error);
}

int setSetDescription(const QString& path, const QString& text, QString* error)
{
    return setInfoColumn(path, "set_description", text.isNull() ? QString(QLatin1String("")) : text, error);
}

int setRetention(const QString& path, int days, QString* error)
{
    return setInfoColumn(path, "retention", days, error);
}

int members(const QString& path, QVector<Member>* out, QString* error)
{
    try {
        Db db;
        openReplicable(db, path, true);
        out->clear();
        Stmt s(db, QStringLiteral("SELECT r.replica_guid, r.nickname, r.replica_name, r.unc_name, r.machine_name, "
                                  "r.description, r.priority, r.synchronizer_guid, r.flags, r.removed "
                                  "FROM repl_replicas r, repl_info i WHERE r.removed = 0 "
                                  "ORDER BY r.replica_guid <> i.replica_guid, r.rowid"));
        while (s.step()) {
            Member m;
            m.replicaId = s.text(0);
            m.nickname = qint32(s.integer(1));
            m.replicaName = s.text(2);
            m.uncName = s.text(3);
            m.machineName = s.text(4);
            m.description = s.text(5);
            m.priority = int(s.integer(6));
            m.synchronizerId = s.text(7);
            m.flags = int(s.integer(8));
            m.removed = s.integer(9) != 0;
            out->append(m);
        }
        return Result::Ok;
    } catch (const Failure& f) {
        return fail(f, error);
    }
}

int removeMember(const QString& path, const QString& replica, QString* error)
{
    try {
        Db db;
        openReplicable(db, path);
        const Identity id = readInfo(db);
        if (replica.compare(id.replicaId, Qt::CaseInsensitive) == 0 ||
            replica.compare(id.designMasterId, Qt::CaseInsensitive) == 0)
            throw Failure{Result::RefusedRemoval,
                          QStringLiteral("The database's own replica and the Design Master cannot be removed.")};
        Stmt s(db, QStringLiteral("UPDATE repl_replicas SET removed = 1 WHERE replica_guid = ? COLLATE NOCASE"));
        s.bind(1, replica).run();
        if (sqlite3_changes(db.handle()) == 0)
            throw Failure{Result::UnknownReplica, QStringLiteral("No such replica: %1").arg(replica)};
        return Result::Ok;
    } catch (const Failure& f) {
        return fail(f, error);
    }
}

}  // namespace Varnock::Store

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
// columns are added without rewriting a row). Its identity is derived from its table and rowid, which every
// replica of the set shares: replicas are page copies, and VACUUM keeps the rowids of a table with an index (every
// replicated table has the two of replication). Its lineage is the Design Master's first one. Both are stored
// when the row is first changed or deleted.
QByteArray derivedGuidPrefix(const QString& table)
{
    return QByteArray("~") + table.toUtf8() + ':';
}

QString derivedGuidSql(const QString& table, const QString& rowid)
{
    return QStringLiteral("CAST(%1 || %2 AS BLOB)").arg(literal(QString::fromUtf8(derivedGuidPrefix(table))), rowid);
}

QString derivedRowidSql(const QString& table, const QString& guid)
{
    const QByteArray prefix = derivedGuidPrefix(table);
    return QStringLiteral("CASE WHEN substr(%1, 1, %2) = X'%3' THEN CAST(CAST(substr(%1, %4) AS TEXT) AS INTEGER) END")
        .arg(guid)
        .arg(prefix.size())
        .arg(QString::fromLatin1(prefix.toHex()))
        .arg(prefix.size() + 1);
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

// Triggers that keep a table's change columns for every connection, and record its deletions. l0 is the
// lineage of a row not changed since the file became replicable; cols are the table's user columns.
QVector<std::pair<QString, QString>> captureTriggers(const QString& table, const QByteArray& l0, const QStringList& cols)
{
    const QString t = ident(table);
    const QString n = literal(table);
    const QString raw = QString(table).replace(QLatin1Char('"'), QLatin1Char('_'));
    const QString oldLineage = QStringLiteral("coalesce(OLD.s_Lineage, %1)").arg(literal(QString::fromUtf8(l0)));
    const QString ai = QStringLiteral("repl_ai_") + raw, au = QStringLiteral("repl_au_") + raw,
                  ad = QStringLiteral("repl_ad_") + raw;
    QVector<std::pair<QString, QString>> out;
    out.append({ai, QStringLiteral("CREATE TRIGGER %1 AFTER INSERT ON %2 WHEN (SELECT applying FROM repl_info) = 0 BEGIN "
                          "UPDATE %2 SET s_GUID = randomblob(16), s_Generation = (SELECT generation FROM repl_info), "
                          "s_Lineage = (SELECT json_object('w', nickname, 'p', priority, 'v', "
                          "json_object(CAST(nickname AS TEXT), generation)) FROM repl_info) "
                          "WHERE rowid = NEW.rowid; END")
                        .arg(ident(ai), t)});
    // Only an UPDATE that gives a user column another value is a change (a tool that rewrites a row as it was
    // sends nothing); a change of case or of type is another value. The WHERE clause skips a row already stamped
    // this generation, so a connection with recursive triggers on does not loop.
    QStringList differs;
    for (const QString& c : cols)
        differs << QStringLiteral("NEW.%1 IS NOT OLD.%1 COLLATE BINARY OR typeof(NEW.%1) <> typeof(OLD.%1)").arg(ident(c));
    out.append({au, QStringLiteral("CREATE TRIGGER %1 AFTER UPDATE ON %2 WHEN (SELECT applying FROM repl_info) = 0 "
                          "AND NEW.s_Lineage IS OLD.s_Lineage AND (%5) BEGIN "
                          "UPDATE %2 SET s_GUID = coalesce(s_GUID, OLD.s_GUID, %4), "
                          "s_Generation = (SELECT generation FROM repl_info), "
                          "s_Lineage = (SELECT %3 FROM repl_info i) "
                          "WHERE rowid = NEW.rowid AND (s_Generation IS NOT (SELECT generation FROM repl_info) "
                          "OR s_Lineage IS NOT (SELECT %3 FROM repl_info i)); END")
                        .arg(ident(au), t, bumpedLineageSql(oldLineage), derivedGuidSql(table, QStringLiteral("OLD.rowid")),
                             differs.isEmpty() ? QStringLiteral("0") : differs.join(QStringLiteral(" OR ")))});
    out.append({ad, QStringLiteral("CREATE TRIGGER %1 AFTER DELETE ON %2 WHEN (SELECT applying FROM repl_info) = 0 BEGIN "
                          "INSERT OR REPLACE INTO repl_tombstones (guid, tbl, rid, generation, lineage) "
                          "SELECT coalesce(OLD.s_GUID, %5), %3, OLD.rowid, i.generation, %4 FROM repl_info i; END")
                        .arg(ident(ad), t, n, bumpedLineageSql(oldLineage),
                             derivedGuidSql(table, QStringLiteral("OLD.rowid")))});
    return out;
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

// What the capture triggers of the file of schema should be and what they are, per table.
struct TriggerState {
    QString table;
    QVector<std::pair<QString, QString>> wanted;
    QStringList present;   // names of capture triggers in the file
    bool current = true;
};

QVector<TriggerState> triggerStates(Db& db, const QString& schema)
{
    QVector<TriggerState> out;
    const QByteArray l0 = firstLineage(db, schema);
    QStringList tables;
    {
        Stmt s(db, QStringLiteral("SELECT r.name FROM %1.repl_tables r JOIN %1.sqlite_master m ON m.type = 'table' "
                                  "AND m.name = r.name ORDER BY r.name")
                       .arg(ident(schema)));
        while (s.step())
            tables << s.text(0);
    }
    Stmt have(db, QStringLiteral("SELECT name, sql FROM %1.sqlite_master WHERE type = 'trigger' AND tbl_name = ?1 AND "
                                 "name IN (?2, ?3, ?4, ?5)")
                      .arg(ident(schema)));
    for (const QString& t : tables) {
        TriggerState st;
        st.table = t;
        st.wanted = captureTriggers(t, l0, userColumns(db, schema, t));
        const QString raw = QString(t).replace(QLatin1Char('"'), QLatin1Char('_'));
        have.reset();
        have.bind(1, t);
        int i = 2;
        for (const char* kind : {"repl_ai_", "repl_au_", "repl_ad_", "repl_bi_"})
            have.bind(i++, QLatin1String(kind) + raw);
        QMap<QString, QString> sql;
        while (have.step())
            sql.insert(have.text(0), have.text(1));
        st.present = sql.keys();
        st.current = sql.size() == st.wanted.size();
        for (const auto& w : st.wanted)
            st.current = st.current && sql.value(w.first) == w.second;
        out << st;
    }
    return out;
}

}  // namespace

bool triggersCurrent(Db& db, const QString& schema)
{
    for (const TriggerState& st : triggerStates(db, schema))
        if (!st.current)
            return false;
    return true;
}

bool refreshTriggers(Db& db, const QString& schema)
{
    bool changed = false;
    for (const TriggerState& st : triggerStates(db, schema)) {
        if (st.current)
            continue;
        changed = true;
        for (const QString& name : st.present)
            db.exec(QStringLiteral("DROP TRIGGER %1.%2").arg(ident(schema), ident(name)));
        for (const auto& w : st.wanted)
            db.exec(QStringLiteral("CREATE TRIGGER %1.%2").arg(ident(schema), w.second.mid(int(qstrlen("CREATE TRIGGER ")))));
    }
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
    Stmt s(db, QStringLiteral("SELECT name, sql FROM main.sqlite_master WHERE type = 'table' "
                              "AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\' AND name NOT LIKE 'repl\\_%' ESCAPE '\\' "
                              "ORDER BY name"));
    while (s.step()) {
        const QString sql = s.text(1).simplified().toUpper();
        if (sql.startsWith(QLatin1String("CREATE VIRTUAL")) || sql.contains(QLatin1String("WITHOUT ROWID")))
            continue;
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
        db.exec(QStringLiteral("PRAGMA journal_mode = DELETE"));
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
                for (const auto& trig : captureTriggers(t, firstLineage(nick), userColumns(db, QStringLiteral("main"), t)))
                    db.exec(trig.second);
                Stmt s(db, QStringLiteral("INSERT INTO repl_tables (name) VALUES (?)"));
                s.bind(1, t).run();
            }
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

#include "replstore.h"

#include "lineage.h"
#include "maintenance.h"
#include "masteronly.h"
#include "sqlitedb.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMap>
#include <QRandomGenerator>
#include <QSet>
#include <QSysInfo>
#include <QTextStream>
#include <QUuid>

#include <memory>

namespace Varnock::Store {

using Sql::Db;
using Sql::fail;
using Sql::Failure;
using Sql::ident;
using Sql::literal;
using Sql::openReplicable;
using Sql::Stmt;

namespace {

constexpr int kDesignMasterPriority = 100;
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

// The lineage a local change writes, as SQL over repl_info i and the old lineage text.
QString bumpedLineageSql(const QString& old)
{
    return QStringLiteral("json_set(coalesce(%1, '{\"v\":{}}'), '$.w', i.nickname, '$.p', i.priority, "
                          "'$.v.\"' || i.nickname || '\"', i.generation)")
        .arg(old);
}

}  // namespace

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
// lineage of a row not changed since the file became replicable.
QStringList captureTriggers(const QString& table, const QByteArray& l0)
{
    const QString t = ident(table);
    const QString n = literal(table);
    const QString raw = QString(table).replace(QLatin1Char('"'), QLatin1Char('_'));
    const QString oldLineage = QStringLiteral("coalesce(OLD.s_Lineage, %1)").arg(literal(QString::fromUtf8(l0)));
    QStringList out;
    out << QStringLiteral("CREATE TRIGGER %1 AFTER INSERT ON %2 WHEN (SELECT applying FROM repl_info) = 0 BEGIN "
                          "UPDATE %2 SET s_GUID = randomblob(16), s_Generation = (SELECT generation FROM repl_info), "
                          "s_Lineage = (SELECT json_object('w', nickname, 'p', priority, 'v', "
                          "json_object(CAST(nickname AS TEXT), generation)) FROM repl_info) "
                          "WHERE rowid = NEW.rowid; END")
               .arg(ident(QStringLiteral("repl_ai_") + raw), t);
    // The WHERE clause skips a row already stamped this generation, so a connection with recursive
    // triggers on does not loop.
    out << QStringLiteral("CREATE TRIGGER %1 AFTER UPDATE ON %2 WHEN (SELECT applying FROM repl_info) = 0 "
                          "AND NEW.s_Lineage IS OLD.s_Lineage BEGIN "
                          "UPDATE %2 SET s_GUID = coalesce(s_GUID, OLD.s_GUID, %4), "
                          "s_Generation = (SELECT generation FROM repl_info), "
                          "s_Lineage = (SELECT %3 FROM repl_info i) "
                          "WHERE rowid = NEW.rowid AND (s_Generation IS NOT (SELECT generation FROM repl_info) "
                          "OR s_Lineage IS NOT (SELECT %3 FROM repl_info i)); END")
               .arg(ident(QStringLiteral("repl_au_") + raw), t, bumpedLineageSql(oldLineage),
                    derivedGuidSql(table, QStringLiteral("OLD.rowid")));
    out << QStringLiteral("CREATE TRIGGER %1 AFTER DELETE ON %2 WHEN (SELECT applying FROM repl_info) = 0 BEGIN "
                          "INSERT OR REPLACE INTO repl_tombstones (guid, tbl, rid, generation, lineage) "
                          "SELECT coalesce(OLD.s_GUID, %5), %3, OLD.rowid, i.generation, %4 FROM repl_info i; END")
               .arg(ident(QStringLiteral("repl_ad_") + raw), t, n, bumpedLineageSql(oldLineage),
                    derivedGuidSql(table, QStringLiteral("OLD.rowid")));
    return out;
}

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

bool hasInfo(Db& db, const QString& schema = QStringLiteral("main"))
{
    return db.tableExists(schema, QStringLiteral("repl_info"));
}

Identity readInfo(Db& db, const QString& schema = QStringLiteral("main"))
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

void writeLog(const QString& logFile, const QString& line)
{
    if (logFile.isEmpty())
        return;
    QFile f(logFile);
    // A log that cannot be written never fails the operation.
    if (f.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
        QTextStream ts(&f);
        ts << QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")) << "  " << line << "\n";
    }
}

QString jsonText(const QString& s)
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

}  // namespace

// ---------------------------------------------------------------- identity

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
                for (const QString& trig : captureTriggers(t, firstLineage(nick)))
                    db.exec(trig);
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

// ---------------------------------------------------------------- making a replica

int makeReplica(const QString& source, const QString& target, const QString& description, int priority,
                int flags, const Progress& progress, QString* error)
{
    const QString temp = target + QStringLiteral(".part");
    QString newGuid;
    try {
        if (QFileInfo::exists(target))
            throw Failure{Result::TargetExists, QStringLiteral("%1 already exists.").arg(target)};
        if (QFileInfo::exists(temp) && !QFile::remove(temp))
            throw Failure{Result::AccessDenied, QStringLiteral("%1 cannot be replaced.").arg(temp)};

        Db src;
        openReplicable(src, source);
        src.exec(QStringLiteral("PRAGMA journal_mode = DELETE"));

        // Close the source's generation and enter the new member, so rows changed from now on are newer than
        // the copy.
        newGuid = newGuidText();
        qint32 nick = 0;
        qint64 closed = 0;
        Identity srcId;
        src.exec(QStringLiteral("BEGIN IMMEDIATE"));
        try {
            srcId = readInfo(src);
            closed = srcId.generation;
            QSet<qint64> taken;
            Stmt n(src, QStringLiteral("SELECT nickname FROM repl_replicas"));
            while (n.step())
                taken.insert(n.integer(0));
            nick = newNickname(taken);
            src.exec(QStringLiteral("UPDATE repl_info SET generation = generation + 1"));
            Stmt m(src, QStringLiteral("INSERT INTO repl_replicas (replica_guid, nickname, replica_name, unc_name, "
                                       "machine_name, description, priority, synchronizer_guid, flags) "
                                       "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"));
            m.bind(1, newGuid).bind(2, qint64(nick)).bind(3, target).bind(4, QFileInfo(target).absoluteFilePath());
            m.bind(5, QSysInfo::machineHostName()).bind(6, description.isNull() ? QString(QLatin1String("")) : description);
            m.bind(7, qint64(priority)).bind(8, QUuid().toString(QUuid::WithBraces).toUpper()).bind(9, qint64(flags));
            m.run();
            src.exec(QStringLiteral("COMMIT"));
        } catch (...) {
            sqlite3_exec(src.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
            throw;
        }

        auto undoMember = [&] {
            try {
                Stmt d(src, QStringLiteral("DELETE FROM repl_replicas WHERE replica_guid = ?"));
                d.bind(1, newGuid).run();
                Stmt w(src, QStringLiteral("DELETE FROM repl_watermarks WHERE nickname = ?"));
                w.bind(1, qint64(nick)).run();
            } catch (const Failure&) {
            }
        };

        try {
            sqlite3* dest = nullptr;
            int rc = sqlite3_open_v2(QFile::encodeName(temp).constData(), &dest,
                                     SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
            if (rc != SQLITE_OK) {
                sqlite3_close_v2(dest);
                throw Failure{Sql::resultOf(rc), QStringLiteral("%1 cannot be written.").arg(temp)};
            }
            sqlite3_backup* b = sqlite3_backup_init(dest, "main", src.handle(), "main");
            if (!b) {
                const QString text = QString::fromUtf8(sqlite3_errmsg(dest));
                sqlite3_close_v2(dest);
                throw Failure{Result::Failed, text};
            }
            bool cancelled = false;
            do {
                rc = sqlite3_backup_step(b, 256);
                if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED) {
                    sqlite3_sleep(20);
                    continue;
                }
                if (rc != SQLITE_OK && rc != SQLITE_DONE)
                    break;
                const int total = sqlite3_backup_pagecount(b);
                const int done = total - sqlite3_backup_remaining(b);
                if (progress && !progress(done, total)) {
                    cancelled = true;
                    break;
                }
            } while (rc != SQLITE_DONE);
            const int frc = sqlite3_backup_finish(b);
            sqlite3_close_v2(dest);
            if (cancelled)
                throw Failure{Result::Cancelled, QStringLiteral("The replica was not made: cancelled.")};
            if (rc != SQLITE_DONE || frc != SQLITE_OK)
                throw Failure{Sql::resultOf(rc != SQLITE_DONE ? rc : frc),
                              QStringLiteral("The database could not be copied to %1.").arg(temp)};

            // The copy's own identity. Its counter starts above every generation the copy holds, and the source
            // notes that it has all of the copy's rows up to there.
            qint64 top = 0;
            {
                Db copy;
                copy.open(temp);
                copy.exec(QStringLiteral("PRAGMA journal_mode = DELETE"));
                copy.exec(QStringLiteral("BEGIN EXCLUSIVE"));
                copy.exec(QStringLiteral("UPDATE repl_info SET applying = 1"));
                Stmt tl(copy, QStringLiteral("SELECT name FROM repl_tables"));
                QStringList tables;
                while (tl.step())
                    tables << tl.text(0);
                top = copy.scalarInt(QStringLiteral("SELECT coalesce(max(generation), 0) FROM repl_tombstones"));
                for (const QString& t : tables)
                    top = std::max(top, copy.scalarInt(QStringLiteral("SELECT coalesce(max(s_Generation), 0) FROM %1 "
                                                                      "WHERE s_Generation IS NOT NULL")
                                                           .arg(ident(t))));
                top = std::max(top, closed + 1);
                Stmt u(copy, QStringLiteral("UPDATE repl_info SET replica_guid = ?, nickname = ?, priority = ?, "
                                            "description = ?, flags = ?, generation = ?, created = ?"));
                u.bind(1, newGuid).bind(2, qint64(nick)).bind(3, qint64(priority));
                u.bind(4, description.isNull() ? QString(QLatin1String("")) : description);
                u.bind(5, qint64(flags)).bind(6, top + 1).bind(7, isoNow()).run();
                copy.exec(QStringLiteral("DELETE FROM repl_history"));
                copy.exec(QStringLiteral("DELETE FROM repl_conflicts"));
                Stmt w(copy, QStringLiteral("INSERT INTO repl_watermarks (nickname, generation) VALUES (?, ?) "
                                            "ON CONFLICT (nickname) DO UPDATE SET generation = "
                                            "max(generation, excluded.generation)"));
                w.bind(1, qint64(srcId.nickname)).bind(2, closed).run();
                for (const QString& t : tables)
                    for (const QString& trig : guardTriggers(t, flags))
                        copy.exec(trig);
                copy.exec(QStringLiteral("UPDATE repl_info SET applying = 0"));
                copy.exec(QStringLiteral("COMMIT"));
            }
            {
                Stmt w(src, QStringLiteral("INSERT INTO repl_watermarks (nickname, generation) VALUES (?, ?) "
                                           "ON CONFLICT (nickname) DO UPDATE SET generation = excluded.generation"));
                w.bind(1, qint64(nick)).bind(2, top).run();
            }
            if (!QFile::rename(temp, target))
                throw Failure{Result::AccessDenied, QStringLiteral("%1 could not be written.").arg(target)};
        } catch (...) {
            Sql::removeWithJournal(temp);
            undoMember();
            throw;
        }
        return Result::Ok;
    } catch (const Failure& f) {
        return fail(f, error);
    }
}

int moveReplica(const QString& oldPath, const QString& newPath, QString* error)
{
    try {
        if (QFileInfo::exists(newPath))
            throw Failure{Result::TargetExists, QStringLiteral("%1 already exists.").arg(newPath)};
        {
            Db db;
            openReplicable(db, oldPath);
            Stmt s(db, QStringLiteral("UPDATE repl_replicas SET replica_name = ?, unc_name = ? "
                                      "WHERE replica_guid = (SELECT replica_guid FROM repl_info)"));
            s.bind(1, newPath).bind(2, QFileInfo(newPath).absoluteFilePath()).run();
        }
        if (!QFile::rename(oldPath, newPath))
            throw Failure{Result::AccessDenied, QStringLiteral("%1 could not be moved.").arg(oldPath)};
        return Result::Ok;
    } catch (const Failure& f) {
        return fail(f, error);
    }
}

// ---------------------------------------------------------------- exchange

namespace {

// Set by tests: every table goes row by row.
bool g_rowByRow = false;

struct TableInfo {
    QString name;
    QStringList cols;                  // common user columns
    int pkCol = -1;                    // index of the INTEGER PRIMARY KEY column in cols
    QVector<QVector<int>> uniques;     // UNIQUE indexes, as indexes into cols
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

class Exchanger {
public:
    Exchanger(Db& db, const QString& exchangeId) : m_db(db), m_exchangeId(exchangeId) {}
    ~Exchanger()
    {
        for (auto& [t, list] : m_batches)
            for (Version& v : list)
                for (sqlite3_value* x : v.vals)
                    sqlite3_value_free(x);
    }

    QVector<TableInfo> tables;

    void collect(const Side& from, int tableIndex, qint64 above, qint64 upTo)
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
    void applyTable(const Side& from, Side& to, int ti, const std::function<void()>& tick)
    {
        auto it = m_batches.find({from.schema, ti});
        if (it == m_batches.end())
            return;
        {
            Target target(m_db, tables[ti], to, m_exchangeId);
            for (Version& v : it->second) {
                target.apply(v);
                tick();
            }
        }
        for (Version& v : it->second)
            for (sqlite3_value* x : v.vals)
                sqlite3_value_free(x);
        m_batches.erase(it);
    }

private:
    static QString columnList(const TableInfo& t, const QString& prefix)
    {
        QStringList cs;
        for (const QString& c : t.cols)
            cs << prefix + ident(c);
        return cs.join(QStringLiteral(", "));
    }

    // The statements of one table in one receiving file.
    class Target {
    public:
        Target(Db& db, const TableInfo& t, Side& side, const QString& exchangeId)
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
                db, QStringLiteral("SELECT rowid, coalesce(s_Lineage, ?2) FROM %1 WHERE rowid = coalesce((SELECT rowid FROM "
                                   "%1 WHERE s_GUID = ?1), (SELECT rowid FROM %1 WHERE rowid = %2 AND s_GUID IS NULL))")
                        .arg(tn, derivedRowidSql(t.name, QStringLiteral("?1"))));
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
            m_delete = std::make_unique<Stmt>(db, QStringLiteral("DELETE FROM %1 WHERE rowid = ?").arg(tn));
            m_putTomb = std::make_unique<Stmt>(
                db, QStringLiteral("INSERT OR REPLACE INTO %1.repl_tombstones (guid, tbl, rid, generation, lineage) "
                                   "VALUES (?, ?, ?, ?, ?)")
                        .arg(s));
            m_dropTomb = std::make_unique<Stmt>(db, QStringLiteral("DELETE FROM %1.repl_tombstones WHERE guid = ?").arg(s));
            m_readRow = std::make_unique<Stmt>(
                db, QStringLiteral("SELECT %1 FROM %2 WHERE rowid = ?").arg(cols.isEmpty() ? QStringLiteral("1") : cols, tn));
            m_conflict = std::make_unique<Stmt>(
                db, QStringLiteral("INSERT INTO %1.repl_conflicts (tbl, guid, exchange_guid, reason, loser_deleted, "
                                   "row_data, at) VALUES (?, ?, ?, ?, ?, ?, ?)")
                        .arg(s));
            // The identity and lineage of a row not changed since the file became replicable are derived.
            const QString keyed = QStringLiteral("SELECT rowid, coalesce(s_GUID, %1), coalesce(s_Lineage, ?%2) FROM %3 WHERE %4");
            const QString derived = derivedGuidSql(t.name, QStringLiteral("rowid"));
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

        void apply(Version& in)
        {
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

    private:
        void applyOverRow(Version& in, qint64 rid, const Lineage& local)
        {
            const Order o = compare(in.lin, local);
            if (o == Order::Equal || o == Order::Before)
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
            const bool inWins = beats(in.lin, in.guid, local, in.guid);
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

        void applyOverTombstone(Version& in, const Lineage& tomb)
        {
            const Order o = compare(in.lin, tomb);
            if (o == Order::Equal || o == Order::Before)
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
            const bool inWins = beats(in.lin, in.guid, tomb, in.guid);
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

        // Inserts (rid < 0) or updates a row. A key or UNIQUE clash with another row is decided like a conflict:
        // the loser is kept in the conflict table and deleted with a tombstone, never overwritten unseen.
        // False when the incoming version lost.
        bool writeRow(Version& in, qint64 rid, const Lineage& lin, qint64 gen)
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
                    // The local row won: the incoming row is removed here too, so both sides agree.
                    if (rid >= 0)
                        deleteRow(rid, in.guid, bumped(lin), m_side.decided);
                    else
                        putTombstone(in.guid, 0, bumped(lin), m_side.decided);
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

        // Looks for rows that hold the incoming row's keys. Returns the number of local rows removed because the
        // incoming row beat them, -1 when a local row beat the incoming one, 0 when no clash was found.
        int resolveClashes(Version& in, const Lineage& lin)
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

        Lineage bumped(const Lineage& l) const
        {
            Lineage b = l;
            b.set(m_side.id.nickname, m_side.decided);
            return b;
        }

        void stamp(qint64 rid, const Lineage& lin, qint64 gen)
        {
            m_stamp->reset();
            m_stamp->bindText(1, lin.toJson()).bind(2, gen).bind(3, rid);
            m_stamp->run();
        }

        void deleteRow(qint64 rid, const QByteArray& guid, const Lineage& lin, qint64 gen)
        {
            m_delete->reset();
            m_delete->bind(1, rid);
            m_delete->run();
            putTombstone(guid, rid, lin, gen);
        }

        void putTombstone(const QByteArray& guid, qint64 rid, const Lineage& lin, qint64 gen)
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

        void dropTombstone(const QByteArray& guid)
        {
            m_dropTomb->reset();
            m_dropTomb->bindBlob(1, guid);
            m_dropTomb->run();
        }

        QString rowJson(const std::vector<sqlite3_value*>& vals) const
        {
            QStringList parts;
            for (int c = 0; c < m_t.cols.size() && c < int(vals.size()); ++c)
                parts << jsonText(m_t.cols[c]) + QLatin1Char(':') + valueJson(vals[size_t(c)]);
            return QLatin1Char('{') + parts.join(QLatin1Char(',')) + QLatin1Char('}');
        }

        void record(const QByteArray& guid, const QString& reason, bool deleted, const QString& data)
        {
            m_conflict->reset();
            m_conflict->bind(1, m_t.name).bindBlob(2, guid).bind(3, m_exchangeId).bind(4, reason);
            m_conflict->bind(5, qint64(deleted ? 1 : 0)).bind(6, data).bind(7, isoNow());
            m_conflict->run();
        }

        void recordIncomingLoser(const Version& in, const QString& reason)
        {
            record(in.guid, reason, in.deleted, in.deleted ? QString() : rowJson(in.vals));
        }

        void recordDeletionLoser(const QByteArray& guid, const QString& reason) { record(guid, reason, true, QString()); }

        void recordLocalLoser(qint64 rid, const QByteArray& guid, const QString& reason)
        {
            m_readRow->reset();
            m_readRow->bind(1, rid);
            std::vector<sqlite3_value*> vals;
            if (m_readRow->step())
                for (int c = 0; c < m_t.cols.size(); ++c)
                    vals.push_back(m_readRow->value(c));
            const QString data = rowJson(vals);
            m_readRow->reset();
            record(guid, reason, false, data);
        }

        Db& m_db;
        const TableInfo& m_t;
        Side& m_side;
        QString m_exchangeId;
        std::unique_ptr<Stmt> m_findRow, m_findTomb, m_insert, m_update, m_stamp, m_delete, m_putTomb, m_dropTomb,
            m_readRow, m_conflict;
        std::vector<std::pair<std::unique_ptr<Stmt>, QVector<int>>> m_keyFinders;
    };

    Db& m_db;
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

    // The steps of all tables, in a temporary table of this connection. lin NULL: the sender's lineage as it
    // is; guid NULL: the sender's row identity.
    static void prepare(Db& db)
    {
        db.exec(QStringLiteral("CREATE TEMP TABLE IF NOT EXISTS repl_steps (k INTEGER PRIMARY KEY, srid INTEGER, "
                               "trid INTEGER, guid BLOB, lin TEXT, gen INTEGER, reason TEXT, mask INTEGER)"));
        db.exec(QStringLiteral("DELETE FROM temp.repl_steps"));
    }

    SetApply(Db& db, const TableInfo& t, int tableIndex, const QString& exchangeId)
        : m_db(db), m_t(t), m_base(tableIndex * kTableSpan), m_exchangeId(exchangeId)
    {
    }

    // Plans what `from` sends to `to` (direction 0 or 1). Reads only.
    void plan(int dir, const Side& from, Side& to, qint64 above, qint64 upTo)
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
        const QString row = QStringLiteral("t.rowid = coalesce((SELECT x.rowid FROM %1.%2 x WHERE x.s_GUID = %3), "
                                           "(SELECT x.rowid FROM %1.%2 x WHERE x.rowid = %4 AND x.s_GUID IS NULL))");
        const QString byGuid = row.arg(T, X, QStringLiteral("s.guid"), derivedRowidSql(m_t.name, QStringLiteral("s.guid")));
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
                               row.arg(T, X, QStringLiteral("s.s_GUID"), derivedRowidSql(m_t.name, QStringLiteral("s.s_GUID"))))
                          .arg(kIdentityBit));
        rs.bind(1, above).bind(2, upTo).bindText(3, m_t.firstLineage);
        while (rs.step())
            classify(d, dir, rs, false);
    }

    qint64 steps() const { return m_dir[0].versions + m_dir[1].versions; }

    // Writes what was planned: the losers of both directions first (while both files still hold them), then
    // each direction. False when a write was refused (nothing of it is kept by the caller).
    bool run(const std::function<void(qint64)>& advance)
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
                                          .arg(rowJsonSql(), T, X),
                     bindConflict);
            if (d.count[KeepIncoming])
                exec(dir, KeepIncoming,
                     conflictInsert + QStringLiteral("SELECT ?3, o.guid, ?4, o.reason, 0, %1, ?5 FROM temp.repl_steps o "
                                                     "JOIN %2.%3 x ON x.rowid = o.srid WHERE o.k BETWEEN ?1 AND ?2 ORDER BY o.k")
                                          .arg(rowJsonSql(), S, X),
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

private:
    struct Dir {
        const Side* from = nullptr;
        Side* to = nullptr;
        qint64 count[10] = {};
        QMap<qint64, qint64> masks;   // changed-column mask of updates -> how many
        qint64 versions = 0;
        qint64 skipped = 0;
    };

    // s: guid, lineage, local rowid, local lineage, local tombstone lineage[, sender rowid, changed columns]
    static void parseColumn(Stmt& s, int c, Lineage* out)
    {
        const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(s.handle(), c));
        Lineage::parse(p, sqlite3_column_bytes(s.handle(), c), out);
    }

    void classify(Dir& d, int dir, Stmt& s, bool deleted)
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
            const Order o = compare(in, local);
            if (o == Order::Equal || o == Order::Before) {
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
            const bool inWins = beats(in, guid, local, guid);
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
            const Order o = compare(in, tomb);
            if (o == Order::Equal || o == Order::Before) {
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
            const bool inWins = beats(in, guid, tomb, guid);
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

    void put(Dir& d, int dir, Kind kind, qint64 srid, qint64 trid, const QByteArray& guid, const QByteArray& lin,
             qint64 gen, const QString& reason = {}, qint64 mask = 0)
    {
        Step st{m_base + dir * kDirSpan + kind * kKindSpan + d.count[kind]++, srid, trid, guid, lin, gen, reason, mask,
                kind == Update};
        if (kind == Update)
            ++d.masks[mask];
        m_pending.push_back(std::move(st));
        if (m_pending.size() == kBatch)
            flush();
    }

public:
    // Writes the steps still held back; call after the last plan().
    void flush()
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

private:
    // Runs one statement over the planned steps of one kind; false when it met a constraint, or when it wrote
    // fewer rows than planned (a sending row gone would be a change silently lost).
    bool exec(int dir, Kind kind, const QString& sql, const std::function<void(Stmt&)>& more = {}, qint64 expected = -1)
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

    // The row x as JSON text, as the conflict table keeps it.
    QString rowJsonSql() const
    {
        QStringList parts;
        for (const QString& c : m_t.cols)
            parts << QStringLiteral("%1, CASE typeof(x.%2) WHEN 'blob' THEN lower(hex(x.%2)) "
                                    "WHEN 'real' THEN json(printf('%.17g', x.%2)) ELSE x.%2 END")
                         .arg(literal(c), ident(c));
        return parts.isEmpty() ? QStringLiteral("'{}'") : QStringLiteral("json_object(%1)").arg(parts.join(QStringLiteral(", ")));
    }

    Db& m_db;
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
    std::unique_ptr<Stmt> m_putBatch;
};

QStringList tableColumns(Db& db, const QString& schema, const QString& table, QString* pk)
{
    QStringList cols;
    Stmt s(db, QStringLiteral("PRAGMA %1.table_info(%2)").arg(ident(schema), ident(table)));
    int pkCount = 0;
    QString pkName, pkType;
    while (s.step()) {
        const QString name = s.text(1);
        if (s.integer(5) > 0) {
            ++pkCount;
            pkName = name;
            pkType = s.text(2);
        }
        if (!name.startsWith(QLatin1String("s_"), Qt::CaseInsensitive) || (name.compare(QLatin1String("s_GUID"), Qt::CaseInsensitive) &&
                                                                           name.compare(QLatin1String("s_Generation"), Qt::CaseInsensitive) &&
                                                                           name.compare(QLatin1String("s_Lineage"), Qt::CaseInsensitive)))
            cols << name;
    }
    if (pk)
        *pk = (pkCount == 1 && pkType.compare(QLatin1String("INTEGER"), Qt::CaseInsensitive) == 0) ? pkName : QString();
    return cols;
}

QVector<QVector<int>> uniqueKeys(Db& db, const QString& schema, const QString& table, const QStringList& cols)
{
    QVector<QVector<int>> out;
    QStringList names;
    {
        Stmt s(db, QStringLiteral("PRAGMA %1.index_list(%2)").arg(ident(schema), ident(table)));
        while (s.step())
            if (s.integer(2) != 0 && s.text(4) != QLatin1String("pk") && !s.text(1).startsWith(QLatin1String("repl_")))
                names << s.text(1);
    }
    for (const QString& n : names) {
        Stmt s(db, QStringLiteral("PRAGMA %1.index_info(%2)").arg(ident(schema), ident(n)));
        QVector<int> key;
        bool usable = true;
        while (s.step()) {
            const int c = int(cols.indexOf(s.text(2)));
            if (s.isNull(2) || c < 0)
                usable = false;
            key << c;
        }
        if (usable && !key.isEmpty())
            out << key;
    }
    return out;
}

QVector<TableInfo> commonTables(Db& db)
{
    QSet<QString> partnerTables;
    {
        Stmt s(db, QStringLiteral("SELECT name FROM partner.repl_tables"));
        while (s.step())
            partnerTables.insert(s.text(0));
    }
    QVector<TableInfo> out;
    const QByteArray firstLineage = Store::firstLineage(db, QStringLiteral("main"));
    Stmt s(db, QStringLiteral("SELECT name FROM main.repl_tables ORDER BY name"));
    while (s.step()) {
        const QString name = s.text(0);
        if (!partnerTables.contains(name))
            continue;
        TableInfo t;
        t.name = name;
        QString pk;
        const QStringList mine = tableColumns(db, QStringLiteral("main"), name, &pk);
        const QStringList theirs = tableColumns(db, QStringLiteral("partner"), name, nullptr);
        for (const QString& c : mine)
            if (theirs.contains(c, Qt::CaseInsensitive))
                t.cols << c;
        t.pkCol = pk.isEmpty() ? -1 : int(t.cols.indexOf(pk));
        t.uniques = uniqueKeys(db, QStringLiteral("main"), name, t.cols);
        t.firstLineage = firstLineage;
        out << t;
    }
    return out;
}

// The tables (indexes into tables) with rows or deletions of generations (above, upTo] in schema, asked in two
// statements, so a table with nothing to send costs no planning.
QSet<int> tablesToSend(Db& db, const QVector<TableInfo>& tables, const QString& schema, qint64 above, qint64 upTo)
{
    QSet<int> out;
    QHash<QString, int> byName;
    QStringList parts;
    for (int t = 0; t < tables.size(); ++t) {
        byName.insert(tables[t].name, t);
        parts << QStringLiteral("SELECT %1 WHERE EXISTS (SELECT 1 FROM %2.%3 WHERE s_Generation > ?1 AND s_Generation <= ?2)")
                     .arg(t)
                     .arg(ident(schema), ident(tables[t].name));
    }
    // A compound statement has a limit on its parts.
    for (int from = 0; from < parts.size(); from += 400) {
        Stmt rows(db, parts.mid(from, 400).join(QStringLiteral(" UNION ALL ")));
        rows.bind(1, above).bind(2, upTo);
        while (rows.step())
            out.insert(int(rows.integer(0)));
    }
    Stmt tombs(db, QStringLiteral("SELECT DISTINCT tbl FROM %1.repl_tombstones WHERE generation > ?1 AND generation <= ?2")
                       .arg(ident(schema)));
    tombs.bind(1, above).bind(2, upTo);
    while (tombs.step()) {
        const auto it = byName.constFind(tombs.text(0));
        if (it != byName.constEnd())
            out.insert(*it);
    }
    return out;
}

qint64 watermark(Db& db, const QString& schema, qint32 nickname)
{
    Stmt s(db, QStringLiteral("SELECT generation FROM %1.repl_watermarks WHERE nickname = ?").arg(ident(schema)));
    s.bind(1, qint64(nickname));
    return s.step() ? s.integer(0) : 0;
}

void setWatermark(Db& db, const QString& schema, qint32 nickname, qint64 gen)
{
    Stmt s(db, QStringLiteral("INSERT INTO %1.repl_watermarks (nickname, generation) VALUES (?, ?) "
                              "ON CONFLICT (nickname) DO UPDATE SET generation = max(generation, excluded.generation)")
                   .arg(ident(schema)));
    s.bind(1, qint64(nickname)).bind(2, gen).run();
}

bool memberRemoved(Db& db, const QString& schema, const QString& replica)
{
    Stmt s(db, QStringLiteral("SELECT removed FROM %1.repl_replicas WHERE replica_guid = ?").arg(ident(schema)));
    s.bind(1, replica);
    return s.step() && s.integer(0) != 0;
}

// Each file learns the members the other knows, and which were removed.
void mergeMembers(Db& db, const QString& from, const QString& to)
{
    db.exec(QStringLiteral("INSERT OR IGNORE INTO %2.repl_replicas SELECT * FROM %1.repl_replicas").arg(ident(from), ident(to)));
    db.exec(QStringLiteral("UPDATE %2.repl_replicas SET removed = 1 WHERE removed = 0 AND replica_guid IN "
                           "(SELECT replica_guid FROM %1.repl_replicas WHERE removed <> 0)")
                .arg(ident(from), ident(to)));
}

void writeHistory(Db& db, const QString& schema, const Exchange& e)
{
    Stmt s(db, QStringLiteral("INSERT OR REPLACE INTO %1.repl_history (exchange_guid, initiated, last_action, "
                              "connection_type, direction, status, table_modifications, inserts_received, "
                              "deletes_received, updates_received, errors, conflicts, design_sent, design_received, "
                              "inserts_updates_sent, deletes_sent, error_code, partner_nickname, initiated_here, "
                              "scheduled, error_text) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")
                   .arg(ident(schema)));
    const QVariantList values = {e.exchangeId, e.initiated.toString(Qt::ISODateWithMs),
                                 e.lastAction.toString(Qt::ISODateWithMs), e.connectionType, e.direction, e.status,
                                 e.tableModifications, e.insertsReceived, e.deletesReceived, e.updatesReceived,
                                 e.errors, e.conflicts, e.designChangesSent, e.designChangesReceived,
                                 e.insertsAndUpdatesSent, e.deletesSent, e.errorCode, e.partnerNickname,
                                 e.initiatedHere ? 255 : 0, e.scheduled ? 255 : 0,
                                 e.errorText.isNull() ? QString(QLatin1String("")) : e.errorText};
    for (int i = 0; i < values.size(); ++i) {
        if (values[i].typeId() == QMetaType::QString)
            s.bind(i + 1, values[i].toString());
        else
            s.bind(i + 1, values[i].toLongLong());
    }
    s.run();
}

QString logLine(const QString& local, const QString& partner, const Exchange& e)
{
    QString what;
    switch (e.status) {
    case Status::Completed:
        what = QStringLiteral("completed");
        break;
    case Status::Cancelled:
        what = QStringLiteral("cancelled");
        break;
    default:
        what = QStringLiteral("failed (%1: %2)").arg(e.errorCode).arg(e.errorText);
    }
    return QStringLiteral("Exchange %1 between %2 and %3 %4; received %5 inserts, %6 updates, %7 deletions; "
                          "sent %8 inserts and updates, %9 deletions; %10 conflicts, %11 errors")
        .arg(e.exchangeId, local, partner, what)
        .arg(e.insertsReceived)
        .arg(e.updatesReceived)
        .arg(e.deletesReceived)
        .arg(e.insertsAndUpdatesSent)
        .arg(e.deletesSent)
        .arg(e.conflicts)
        .arg(e.errors);
}

void refuseMismatch(Db& db, const Identity& a, const Identity& b)
{
    if (a.setId.compare(b.setId, Qt::CaseInsensitive) != 0)
        throw Failure{Result::OtherSet, QStringLiteral("The two databases are not replicas of the same set.")};
    if (a.replicaId.compare(b.replicaId, Qt::CaseInsensitive) == 0)
        throw Failure{Result::SameReplica, QStringLiteral("The two databases are the same replica.")};
    if (memberRemoved(db, QStringLiteral("main"), b.replicaId) || memberRemoved(db, QStringLiteral("partner"), a.replicaId))
        throw Failure{Result::RemovedReplica, QStringLiteral("The replica was removed from the replica set.")};
}

// True when neither file has a change the other lacks and both know the same members. Runs in a read
// transaction; refuses unrelated files as the exchange itself would.
bool nothingToExchange(Db& db, bool exporting, bool importing)
{
    db.exec(QStringLiteral("BEGIN"));
    try {
        const Identity a = readInfo(db, QStringLiteral("main"));
        const Identity b = readInfo(db, QStringLiteral("partner"));
        refuseMismatch(db, a, b);
        bool idle = db.scalarInt(QStringLiteral("SELECT EXISTS (SELECT replica_guid, removed FROM main.repl_replicas EXCEPT "
                                                "SELECT replica_guid, removed FROM partner.repl_replicas) OR EXISTS "
                                                "(SELECT replica_guid, removed FROM partner.repl_replicas EXCEPT "
                                                "SELECT replica_guid, removed FROM main.repl_replicas)")) == 0;
        QStringList tables;
        if (idle) {
            Stmt t(db, QStringLiteral("SELECT name FROM main.repl_tables INTERSECT SELECT name FROM partner.repl_tables"));
            while (t.step())
                tables << t.text(0);
        }
        auto pending = [&](const QString& schema, qint64 above) {
            Stmt t(db, QStringLiteral("SELECT 1 FROM %1.repl_tombstones WHERE generation > ? LIMIT 1").arg(ident(schema)));
            t.bind(1, above);
            if (t.step())
                return true;
            for (const QString& name : tables) {
                Stmt r(db, QStringLiteral("SELECT 1 FROM %1.%2 WHERE s_Generation > ? LIMIT 1").arg(ident(schema), ident(name)));
                r.bind(1, above);
                if (r.step())
                    return true;
            }
            return false;
        };
        if (idle && exporting)
            idle = !pending(QStringLiteral("main"), watermark(db, QStringLiteral("partner"), a.nickname));
        if (idle && importing)
            idle = !pending(QStringLiteral("partner"), watermark(db, QStringLiteral("main"), b.nickname));
        db.exec(QStringLiteral("COMMIT"));
        return idle;
    } catch (...) {
        sqlite3_exec(db.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

}  // namespace

namespace {

// A file's header as the idle shortcut reads it, without SQLite: no schema is parsed.
struct Header {
    bool usable = false;     // a rollback-journal database with no journal or log beside it
    quint32 counter = 0;     // file change counter, moved by every transaction that wrote the file
    quint32 pairToken = 0;   // user_version: the token of the last two-way exchange that left the file in step
    quint32 expected = 0;    // application_id: the change counter that exchange left
};

quint32 be32(const char* p)
{
    return (quint32(quint8(p[0])) << 24) | (quint32(quint8(p[1])) << 16) | (quint32(quint8(p[2])) << 8) | quint8(p[3]);
}

// ownTransaction: read under this process's own write transaction, whose journal is expected.
Header readHeader(const QString& path, bool ownTransaction = false)
{
    Header h;
    if ((!ownTransaction && QFileInfo::exists(path + QStringLiteral("-journal"))) ||
        QFileInfo::exists(path + QStringLiteral("-wal")))
        return h;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return h;
    const QByteArray b = f.read(100);
    if (b.size() < 100 || !b.startsWith(QByteArrayLiteral("SQLite format 3")) || b[18] != 1 || b[19] != 1)
        return h;
    h.usable = true;
    h.counter = be32(b.constData() + 24);
    h.pairToken = be32(b.constData() + 60);
    h.expected = be32(b.constData() + 68);
    return h;
}

// True when a two-way exchange between exactly these two files left both in step and neither was written since:
// the two tokens are one pair (each file holds its own half), and each change counter is where that exchange
// left it. A copy of a file holds the same half as the file, so a file and its copy never pass.
bool inStepSinceLastExchange(const QString& a, const QString& b)
{
    const Header x = readHeader(a), y = readHeader(b);
    return x.usable && y.usable && x.pairToken != 0 && (x.pairToken ^ y.pairToken) == 1 && x.counter == x.expected &&
           y.counter == y.expected;
}

// An exchange that found nothing to send is listed in both files' history all the same, in one small write. A file
// that was in step with its partner stays so: the change counter it expects moves with this write.
void recordIdleExchange(const QString& local, const QString& partner, Exchange& e)
{
    try {
        Db db;
        openReplicable(db, local);
        Stmt at(db, QStringLiteral("ATTACH DATABASE ? AS partner"));
        at.bind(1, partner).run();
        Sql::Transaction tx(db);
        const Identity a = readInfo(db, QStringLiteral("main")), b = readInfo(db, QStringLiteral("partner"));
        e.partnerNickname = b.nickname;
        Exchange theirs = e;
        theirs.initiatedHere = false;
        theirs.partnerNickname = a.nickname;
        theirs.direction = e.direction == Direction::Export   ? Direction::Import
                           : e.direction == Direction::Import ? Direction::Export
                                                              : e.direction;
        for (int i = 0; i < 2; ++i) {
            const QString schema = i == 0 ? QStringLiteral("main") : QStringLiteral("partner");
            const Header h = readHeader(i == 0 ? local : partner, true);
            writeHistory(db, schema, i == 0 ? e : theirs);
            if (h.usable && h.pairToken != 0 && h.counter == h.expected)
                db.exec(QStringLiteral("PRAGMA %1.application_id = %2").arg(schema).arg(qint32(h.counter + 1)));
        }
        tx.commit();
    } catch (const Failure&) {
        // The history is a record only: a file that cannot take it now does not undo an exchange that was not needed.
    }
}

}  // namespace

void setRowByRow(bool on)
{
    g_rowByRow = on;
}

int synchronize(const QString& local, const QString& partner, int direction, const Progress& progress,
                const QString& logFile, Exchange* out, QString* error)
{
    Exchange e;
    e.exchangeId = newGuidText();
    e.initiated = QDateTime::currentDateTimeUtc();
    e.direction = direction;
    e.initiatedHere = true;
    e.status = Status::InProgress;
    const bool exporting = direction & (Direction::Export | Direction::Both);
    const bool importing = direction & (Direction::Import | Direction::Both);
    Db db;
    bool attached = false;
    try {
        const QFileInfo a(local), b(partner);
        if (!a.isFile())
            throw Failure{Result::NotDatabase, QStringLiteral("The database file %1 does not exist.").arg(local)};
        if (!b.isFile())
            throw Failure{Result::NotDatabase, QStringLiteral("The database file %1 does not exist.").arg(partner)};
        if (a.canonicalFilePath() == b.canonicalFilePath())
            throw Failure{Result::SameReplica, QStringLiteral("A database cannot be synchronized with itself.")};
        if (!exporting && !importing)
            throw Failure{Result::Failed, QStringLiteral("No direction for the exchange.")};
        // Nothing written on either side since their last exchange: a look at the two file headers suffices.
        // (The partner's nickname is not read on this path.)
        if (inStepSinceLastExchange(local, partner)) {
            e.status = Status::Completed;
            e.lastAction = QDateTime::currentDateTimeUtc();
            recordIdleExchange(local, partner, e);
            writeLog(logFile, logLine(local, partner, e) + QStringLiteral(" (nothing to exchange)"));
            if (out)
                *out = e;
            return Result::Ok;
        }

        openReplicable(db, local);
        {
            Stmt at(db, QStringLiteral("ATTACH DATABASE ? AS partner"));
            at.bind(1, partner).run();
            attached = true;
        }
        // Sanity of the partner: a SQLite file that is a replica of the same set.
        try {
            db.scalarInt(QStringLiteral("SELECT count(*) FROM partner.sqlite_master"));
        } catch (const Failure& f) {
            throw Failure{Result::NotDatabase, QStringLiteral("%1 is not a database that can be used: %2").arg(partner, f.text)};
        }
        if (!hasInfo(db, QStringLiteral("partner")))
            throw Failure{Result::NotReplicable, QStringLiteral("%1 is not a replica.").arg(partner)};
        // An exchange with nothing to send leaves both files untouched and costs only reads.
        if (nothingToExchange(db, exporting, importing)) {
            Identity theirs = readInfo(db, QStringLiteral("partner"));
            e.partnerNickname = theirs.nickname;
            e.status = Status::Completed;
            e.lastAction = QDateTime::currentDateTimeUtc();
            db.exec(QStringLiteral("DETACH DATABASE partner"));
            attached = false;
            db.close();
            recordIdleExchange(local, partner, e);
            writeLog(logFile, logLine(local, partner, e) + QStringLiteral(" (nothing to exchange)"));
            if (out)
                *out = e;
            return Result::Ok;
        }

        // Only a rollback journal commits over both files at once.
        db.exec(QStringLiteral("PRAGMA main.journal_mode = DELETE"));
        db.exec(QStringLiteral("PRAGMA partner.journal_mode = DELETE"));
        // The exchange walks indexes of both files at random; a cache that holds them saves re-reading pages.
        db.exec(QStringLiteral("PRAGMA main.cache_size = -131072"));
        db.exec(QStringLiteral("PRAGMA partner.cache_size = -131072"));
        db.exec(QStringLiteral("PRAGMA temp_store = MEMORY"));

        db.exec(QStringLiteral("BEGIN IMMEDIATE"));
        try {
            Side sa, sb;
            QSet<QByteArray> conflictKeys;
            sa.conflictKeys = sb.conflictKeys = &conflictKeys;
            sa.schema = QStringLiteral("main");
            sb.schema = QStringLiteral("partner");
            sa.id = readInfo(db, sa.schema);
            sb.id = readInfo(db, sb.schema);
            e.partnerNickname = sb.id.nickname;
            refuseMismatch(db, sa.id, sb.id);

            // Close both generations: g is what is sent, g+1 holds what arrives, g+2 is open for new changes and for
            // the versions this exchange decides.
            for (Side* s : {&sa, &sb}) {
                const qint64 g = s->id.generation;
                s->echo = g + 1;
                s->decided = g + 2;
                s->settled = exporting && importing ? g + 1 : g + 2;
                Stmt close(db, QStringLiteral("UPDATE %1.repl_info SET generation = ?, applying = 1").arg(ident(s->schema)));
                close.bind(1, g + 2).run();
            }
            sa.wmOfOther = watermark(db, sa.schema, sb.id.nickname);   // what A has of B
            sb.wmOfOther = watermark(db, sb.schema, sa.id.nickname);   // what B has of A
            // Tables the Design Master keeps to itself: what a replica changed there is put back, not taken in.
            for (Side* m : {&sa, &sb}) {
                const Side* r = m == &sa ? &sb : &sa;
                if (!(m == &sa ? importing : exporting) || m->id.replicaId.compare(m->id.designMasterId, Qt::CaseInsensitive))
                    continue;
                for (const QString& t : MasterOnly::tables(db, m->schema))
                    for (const QByteArray& g : MasterOnly::putBack(db, t, m->schema, r->schema, m->wmOfOther,
                                                                   r->id.generation, r->echo, e.exchangeId))
                        conflictKeys.insert(g);
            }

            Exchanger ex(db, e.exchangeId);
            ex.tables = commonTables(db);
            // Every version of both directions is classified before anything is written, so each side is judged
            // as it was when the exchange began.
            SetApply::prepare(db);
            const QSet<int> sendsA = exporting ? tablesToSend(db, ex.tables, sa.schema, sb.wmOfOther, sa.id.generation) : QSet<int>();
            const QSet<int> sendsB = importing ? tablesToSend(db, ex.tables, sb.schema, sa.wmOfOther, sb.id.generation) : QSet<int>();
            std::vector<std::unique_ptr<SetApply>> plans;
            bool rowByRowUsed = false;
            qint64 total = 0;
            for (int t = 0; t < ex.tables.size(); ++t) {
                plans.push_back(std::make_unique<SetApply>(db, ex.tables[t], t, e.exchangeId));
                if (exporting && sendsA.contains(t))
                    plans.back()->plan(0, sa, sb, sb.wmOfOther, sa.id.generation);
                if (importing && sendsB.contains(t))
                    plans.back()->plan(1, sb, sa, sa.wmOfOther, sb.id.generation);
                plans.back()->flush();
                total += plans.back()->steps();
            }
            total = std::max<qint64>(1, total);
            qint64 done = 0;
            const qint64 every = std::max<qint64>(1, total / 100);
            auto cancelled = [] { return Failure{Result::Cancelled, QStringLiteral("The exchange was cancelled.")}; };
            auto tick = [&] {
                ++done;
                if (progress && done % every == 0 && !progress(done, total))
                    throw cancelled();
            };
            auto advance = [&](qint64 n) {
                done += n;
                if (n > 0 && progress && !progress(std::min(done, total), total))
                    throw cancelled();
            };
            if (progress && !progress(0, total))
                throw cancelled();
            for (int t = 0; t < ex.tables.size(); ++t) {
                if (plans[size_t(t)]->steps() == 0)
                    continue;
                const Side keepA = sa, keepB = sb;
                const QSet<QByteArray> keepConflicts = conflictKeys;
                const qint64 keepDone = done;
                db.exec(QStringLiteral("SAVEPOINT repl_table"));
                if (!g_rowByRow && plans[size_t(t)]->run(advance)) {
                    db.exec(QStringLiteral("RELEASE repl_table"));
                    continue;
                }
                // A clash between keys (or a write refused otherwise): this table goes row by row, in the order
                // the rows were changed, each clash decided as it comes.
                db.exec(QStringLiteral("ROLLBACK TO repl_table"));
                rowByRowUsed = true;
                sa = keepA;
                sb = keepB;
                conflictKeys = keepConflicts;
                done = keepDone;
                if (exporting)
                    ex.collect(sa, t, sb.wmOfOther, sa.id.generation);
                if (importing)
                    ex.collect(sb, t, sa.wmOfOther, sb.id.generation);
                if (exporting)
                    ex.applyTable(sa, sb, t, tick);
                if (importing)
                    ex.applyTable(sb, sa, t, tick);
                db.exec(QStringLiteral("RELEASE repl_table"));
            }
            if (progress && !progress(total, total))
                throw cancelled();
            // Watermarks: the receiver has everything the sender had up to its closed generation, and the sender's
            // echo generation holds only what came from the receiver.
            if (exporting)
                setWatermark(db, sb.schema, sa.id.nickname, sa.id.generation + (importing ? 1 : 0));
            if (importing)
                setWatermark(db, sa.schema, sb.id.nickname, sb.id.generation + (exporting ? 1 : 0));
            mergeMembers(db, sa.schema, sb.schema);
            mergeMembers(db, sb.schema, sa.schema);
            for (Side* s : {&sa, &sb})
                db.exec(QStringLiteral("UPDATE %1.repl_info SET applying = 0").arg(ident(s->schema)));

            e.status = Status::Completed;
            e.lastAction = QDateTime::currentDateTimeUtc();
            e.insertsReceived = sa.inserts;
            e.updatesReceived = sa.updates;
            e.deletesReceived = sa.deletes;
            e.insertsAndUpdatesSent = sb.inserts + sb.updates;
            e.deletesSent = sb.deletes;
            e.conflicts = int(conflictKeys.size());
            e.errors = sa.errors + sb.errors;
            e.tableModifications = int((sa.tablesChanged + sb.tablesChanged).size());
            writeHistory(db, sa.schema, e);
            Exchange theirs = e;
            theirs.initiatedHere = false;
            theirs.partnerNickname = sa.id.nickname;
            theirs.direction = direction == Direction::Export   ? Direction::Import
                               : direction == Direction::Import ? Direction::Export
                                                                : direction;
            theirs.insertsReceived = sb.inserts;
            theirs.updatesReceived = sb.updates;
            theirs.deletesReceived = sb.deletes;
            theirs.insertsAndUpdatesSent = sa.inserts + sa.updates;
            theirs.deletesSent = sa.deletes;
            writeHistory(db, sb.schema, theirs);
            // A two-way exchange that decided no key clash leaves nothing to send: both headers get one half of a
            // fresh token and the change counter this commit leaves (it moves by one per writing transaction;
            // were it to move otherwise, the shortcut would merely not apply).
            const bool inStep = exporting && importing && !rowByRowUsed;
            const quint32 token = (QRandomGenerator::system()->generate() | 2u) & ~1u;
            for (int i = 0; i < 2; ++i) {
                const QString schema = i == 0 ? sa.schema : sb.schema;
                const Header h = readHeader(i == 0 ? local : partner, true);
                const bool stamp = inStep && h.usable;
                db.exec(QStringLiteral("PRAGMA %1.user_version = %2").arg(schema).arg(stamp ? qint32(token | quint32(i)) : 0));
                db.exec(QStringLiteral("PRAGMA %1.application_id = %2").arg(schema).arg(stamp ? qint32(h.counter + 1) : 0));
            }
            db.exec(QStringLiteral("COMMIT"));
        } catch (...) {
            sqlite3_exec(db.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
            throw;
        }
        writeLog(logFile, logLine(local, partner, e));
        if (out)
            *out = e;
        return Result::Ok;
    } catch (const Failure& f) {
        e.status = f.result == Result::Cancelled ? Status::Cancelled : Status::Failed;
        e.errorCode = f.result;
        e.errorText = f.text;
        e.lastAction = QDateTime::currentDateTimeUtc();
        e.insertsReceived = e.updatesReceived = e.deletesReceived = e.insertsAndUpdatesSent = e.deletesSent = 0;
        e.conflicts = e.errors = e.tableModifications = 0;
        // The failed attempt is noted in this file's history when the file is a replica.
        try {
            if (attached)
                sqlite3_exec(db.handle(), "DETACH DATABASE partner", nullptr, nullptr, nullptr);
            if (!db.isOpen() && QFileInfo(local).isFile())
                db.open(local);
            if (db.isOpen() && hasInfo(db))
                writeHistory(db, QStringLiteral("main"), e);
        } catch (const Failure&) {
        }
        writeLog(logFile, logLine(local, partner, e));
        if (out)
            *out = e;
        return fail(f, error);
    }
}

// ---------------------------------------------------------------- history

namespace {

Exchange readExchange(Stmt& s)
{
    Exchange e;
    int i = 0;
    e.exchangeId = s.text(i++);
    e.initiated = QDateTime::fromString(s.text(i++), Qt::ISODateWithMs);
    e.lastAction = QDateTime::fromString(s.text(i++), Qt::ISODateWithMs);
    e.connectionType = int(s.integer(i++));
    e.direction = int(s.integer(i++));
    e.status = int(s.integer(i++));
    e.tableModifications = int(s.integer(i++));
    e.insertsReceived = int(s.integer(i++));
    e.deletesReceived = int(s.integer(i++));
    e.updatesReceived = int(s.integer(i++));
    e.errors = int(s.integer(i++));
    e.conflicts = int(s.integer(i++));
    e.designChangesSent = int(s.integer(i++));
    e.designChangesReceived = int(s.integer(i++));
    e.insertsAndUpdatesSent = int(s.integer(i++));
    e.deletesSent = int(s.integer(i++));
    e.errorCode = int(s.integer(i++));
    e.partnerNickname = qint32(s.integer(i++));
    e.initiatedHere = s.integer(i++) == 255;
    e.scheduled = s.integer(i++) == 255;
    e.errorText = s.text(i++);
    return e;
}

const char* const kHistoryColumns =
    "exchange_guid, initiated, last_action, connection_type, direction, status, table_modifications, "
    "inserts_received, deletes_received, updates_received, errors, conflicts, design_sent, design_received, "
    "inserts_updates_sent, deletes_sent, error_code, partner_nickname, initiated_here, scheduled, error_text";

}  // namespace

int history(const QString& path, int filter, QVector<Exchange>* out, QString* error)
{
    try {
        Db db;
        openReplicable(db, path, true);
        QString where = QStringLiteral("1");
        QString limit;
        const QString since2 = QDateTime::currentDateTimeUtc().addDays(-2).toString(Qt::ISODateWithMs);
        const QString since7 = QDateTime::currentDateTimeUtc().addDays(-7).toString(Qt::ISODateWithMs);
        QString since;
        switch (filter) {
        case Filter::Incomplete: where = QStringLiteral("status IN (0, 1)"); break;
        case Filter::Unsuccessful: where = QStringLiteral("status IN (3, 4)"); break;
        case Filter::Successful: where = QStringLiteral("status = 2"); break;
        case Filter::InLast2Days: where = QStringLiteral("initiated >= ?"); since = since2; break;
        case Filter::InLast7Days: where = QStringLiteral("initiated >= ?"); since = since7; break;
        case Filter::Last25: limit = QStringLiteral(" LIMIT 25"); break;
        case Filter::Last50: limit = QStringLiteral(" LIMIT 50"); break;
        case Filter::InitiatedHere: where = QStringLiteral("initiated_here = 255"); break;
        case Filter::WithAnyChanges:
            where = QStringLiteral("inserts_received + deletes_received + updates_received + inserts_updates_sent + "
                                   "deletes_sent + design_sent + design_received > 0");
            break;
        case Filter::WithDataChanges:
            where = QStringLiteral("inserts_received + deletes_received + updates_received + inserts_updates_sent + "
                                   "deletes_sent > 0");
            break;
        case Filter::WithSchemaChanges: where = QStringLiteral("design_sent + design_received > 0"); break;
        case Filter::WithConflicts: where = QStringLiteral("conflicts > 0"); break;
        default: break;
        }
        Stmt s(db, QStringLiteral("SELECT %1 FROM repl_history WHERE %2 ORDER BY initiated DESC, rowid DESC%3")
                       .arg(QLatin1String(kHistoryColumns), where, limit));
        if (!since.isEmpty())
            s.bind(1, since);
        out->clear();
        while (s.step())
            out->append(readExchange(s));
        return Result::Ok;
    } catch (const Failure& f) {
        return fail(f, error);
    }
}

int historyItem(const QString& path, const QString& exchangeId, Exchange* out, QString* error)
{
    try {
        Db db;
        openReplicable(db, path, true);
        Stmt s(db, QStringLiteral("SELECT %1 FROM repl_history WHERE exchange_guid = ? COLLATE NOCASE")
                       .arg(QLatin1String(kHistoryColumns)));
        s.bind(1, exchangeId);
        if (!s.step())
            throw Failure{Result::UnknownExchange, QStringLiteral("No exchange %1 in this replica.").arg(exchangeId)};
        *out = readExchange(s);
        return Result::Ok;
    } catch (const Failure& f) {
        return fail(f, error);
    }
}

int conflicts(const QString& path, QVector<Conflict>* out, QString* error)
{
    try {
        Db db;
        openReplicable(db, path, true);
        Stmt s(db, QStringLiteral("SELECT tbl, guid, exchange_guid, reason, loser_deleted, row_data FROM repl_conflicts "
                                  "ORDER BY id"));
        out->clear();
        while (s.step()) {
            Conflict c;
            c.table = s.text(0);
            c.rowGuid = s.blob(1);
            c.exchangeId = s.text(2);
            c.reason = s.text(3);
            c.loserDeleted = s.integer(4) != 0;
            c.rowData = s.text(5);
            out->append(c);
        }
        return Result::Ok;
    } catch (const Failure& f) {
        return fail(f, error);
    }
}

// ---------------------------------------------------------------- history rows written from outside an exchange

int recordExchange(const QString& path, const Exchange& e, QString* error)
{
    try {
        Db db;
        openReplicable(db, path);
        writeHistory(db, QStringLiteral("main"), e);
        return Result::Ok;
    } catch (const Failure& f) {
        return fail(f, error);
    }
}

}  // namespace Varnock::Store

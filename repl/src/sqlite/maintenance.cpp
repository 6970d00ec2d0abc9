// Compaction, moving, partial replicas, data-definition statements, schedules and managing synchronizers.
#include "maintenance.h"
#include "replshared.h"
#include "sqlitedb.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

namespace Varnock::Store {

using Sql::Db;
using Sql::fail;
using Sql::Failure;
using Sql::openReplicable;
using Sql::removeWithJournal;
using Sql::Stmt;
using Sql::tempNameFor;

namespace {

// Attaches the replica at path as schema "partner".
void attachPartner(Db& db, const QString& path)
{
    {
        Stmt at(db, QStringLiteral("ATTACH DATABASE ? AS partner"));
        at.bind(1, path).run();
    }
    if (!db.tableExists(QStringLiteral("partner"), QStringLiteral("repl_info")))
        throw Failure{Result::NotReplicable, QStringLiteral("%1 is not a replica.").arg(path)};
}

struct ProgressState {
    const Progress* progress = nullptr;
    qint64 total = 1;
    qint64 done = 0;
};

int progressHandler(void* p)
{
    auto* state = static_cast<ProgressState*>(p);
    state->done = std::min(state->done + 1, state->total - 1);
    return (*state->progress)(state->done, state->total) ? 0 : 1;
}

}  // namespace

// ---------------------------------------------------------------- compaction

int compactDatabase(const QString& source, const QString& destination, const Progress& progress, QString* error)
{
    const QString temp = tempNameFor(destination);
    try {
        if (QFileInfo::exists(destination))
            throw Failure{Result::TargetExists, QStringLiteral("%1 already exists.").arg(destination)};
        if (QFileInfo(source).absoluteFilePath() == QFileInfo(destination).absoluteFilePath())
            throw Failure{Result::TargetExists, QStringLiteral("%1 already exists.").arg(destination)};
        if (QFileInfo::exists(temp) && !QFile::remove(temp))
            throw Failure{Result::AccessDenied, QStringLiteral("%1 cannot be replaced.").arg(temp)};
        Db src;
        src.open(source, true);
        ProgressState state;
        state.progress = &progress;
        state.total = std::max<qint64>(2, src.scalarInt(QStringLiteral("PRAGMA page_count")));
        if (progress) {
            if (!progress(0, state.total))
                throw Failure{Result::Cancelled, QStringLiteral("The compaction was cancelled.")};
            sqlite3_progress_handler(src.handle(), 1000, &progressHandler, &state);
        }
        try {
            Stmt v(src, QStringLiteral("VACUUM INTO ?"));
            v.bind(1, temp);
            v.run();
        } catch (const Failure& f) {
            sqlite3_progress_handler(src.handle(), 0, nullptr, nullptr);
            if (sqlite3_errcode(src.handle()) == SQLITE_INTERRUPT)
                throw Failure{Result::Cancelled, QStringLiteral("The compaction was cancelled.")};
            throw;
        }
        sqlite3_progress_handler(src.handle(), 0, nullptr, nullptr);
        src.close();
        {
            Db copy;
            copy.open(temp);
            // A compacted copy is another file: the source's mark of being in step with a partner is not its own.
            copy.exec(QStringLiteral("PRAGMA user_version = 0"));
            copy.exec(QStringLiteral("PRAGMA application_id = 0"));
            Stmt check(copy, QStringLiteral("PRAGMA integrity_check"));
            if (!check.step() || check.text(0) != QLatin1String("ok"))
                throw Failure{Result::Damaged, QStringLiteral("The compacted copy of %1 failed its integrity check.").arg(source)};
        }
        if (progress && !progress(state.total, state.total))
            throw Failure{Result::Cancelled, QStringLiteral("The compaction was cancelled.")};
        if (!QFile::rename(temp, destination))
            throw Failure{Result::AccessDenied, QStringLiteral("%1 could not be written.").arg(destination)};
        return Result::Ok;
    } catch (const Failure& f) {
        removeWithJournal(temp);
        return fail(f, error);
    }
}

// ---------------------------------------------------------------- moving

int relocateReplica(const QString& oldPath, const QString& newPath, QString* error)
{
    try {
        if (!QFileInfo(oldPath).isFile())
            throw Failure{Result::NotDatabase, QStringLiteral("The database file %1 does not exist.").arg(oldPath)};
        if (QFileInfo::exists(newPath))
            throw Failure{Result::TargetExists, QStringLiteral("%1 already exists.").arg(newPath)};
        // A journal left by an unfinished write belongs to the old name; moving the file away from it would lose it.
        if (QFileInfo::exists(oldPath + QStringLiteral("-journal")))
            throw Failure{Result::Locked, QStringLiteral("%1 is in use.").arg(oldPath)};
        {
            Db db;
            openReplicable(db, oldPath, true);
        }
        if (!QFile::rename(oldPath, newPath))
            throw Failure{Result::AccessDenied, QStringLiteral("%1 could not be moved.").arg(oldPath)};
        try {
            Db db;
            db.open(newPath);
            Stmt s(db, QStringLiteral("UPDATE repl_replicas SET replica_name = ?, unc_name = ? "
                                      "WHERE replica_guid = (SELECT replica_guid FROM repl_info)"));
            s.bind(1, newPath).bind(2, QFileInfo(newPath).absoluteFilePath()).run();
        } catch (const Failure&) {
            QFile::rename(newPath, oldPath);
            throw;
        }
        return Result::Ok;
    } catch (const Failure& f) {
        return fail(f, error);
    }
}

// ---------------------------------------------------------------- partial replicas

int populatePartial(const QString& partial, const QString& full, bool failOnPushError, const QString& logFile,
                    QString* error)
{
    try {
        Identity id;
        QString text;
        int r = readIdentity(partial, &id, &text);
        if (r < 0)
            throw Failure{r, text};
        if (!(id.flags & ReplicaFlag::Partial))
            throw Failure{Result::NotPartial, QStringLiteral("%1 is not a partial replica.").arg(partial)};
        r = synchronize(partial, full, Direction::Export, {}, logFile, nullptr, &text);
        if (r < 0 && (failOnPushError || r == Result::OtherSet || r == Result::SameReplica || r == Result::NotDatabase ||
                      r == Result::NotReplicable))
            throw Failure{r, text};
        {
            // Everything the full replica holds is due again; rows the partial has already are skipped by lineage.
            Db db;
            db.open(partial);
            db.exec(QStringLiteral("DELETE FROM repl_watermarks"));
        }
        r = synchronize(partial, full, Direction::Import, {}, logFile, nullptr, &text);
        if (r < 0)
            throw Failure{r, text};
        return Result::Ok;
    } catch (const Failure& f) {
        return fail(f, error);
    }
}

// ---------------------------------------------------------------- statements

namespace {

struct Touched {
    QSet<QString> designed;   // tables whose design the statement changes
    bool replTables = false;  // the statement writes a replication table itself
    QSet<QString> dropped;         // tables dropped
    QSet<QString> replTriggersOf;  // tables whose replication triggers are dropped
};

int authorizer(void* p, int action, const char* a1, const char* a2, const char*, const char* trigger)
{
    auto* t = static_cast<Touched*>(p);
    const QString s1 = QString::fromUtf8(a1 ? a1 : "");
    const QString s2 = QString::fromUtf8(a2 ? a2 : "");
    auto isRepl = [](const QString& name) { return name.startsWith(QLatin1String("repl_"), Qt::CaseInsensitive); };
    switch (action) {
    case SQLITE_ALTER_TABLE: t->designed << s2; if (isRepl(s2)) t->replTables = true; break;
    case SQLITE_DROP_TABLE:
        t->designed << s1;
        t->dropped << s1.toLower();
        if (isRepl(s1))
            t->replTables = true;
        break;
    case SQLITE_DROP_TRIGGER:
        // Dropping a table drops its triggers with it; only a trigger dropped by itself counts.
        t->designed << s2;
        if (isRepl(s1))
            t->replTriggersOf << s2.toLower();
        break;
    case SQLITE_CREATE_INDEX:
    case SQLITE_DROP_INDEX:
    case SQLITE_CREATE_TRIGGER:
        t->designed << s2;
        if (isRepl(s1) || isRepl(s2))
            t->replTables = true;
        break;
    case SQLITE_INSERT:
    case SQLITE_UPDATE:
    case SQLITE_DELETE:
        // The capture triggers write the replication tables; only a statement's own writes are refused.
        if (!trigger && isRepl(s1))
            t->replTables = true;
        break;
    default: break;
    }
    return SQLITE_OK;
}

}  // namespace

int executeStatement(const QString& path, const QString& sql, const Progress& progress, QString* error)
{
    try {
        Db db;
        db.open(path);
        const bool replica = db.tableExists(QStringLiteral("main"), QStringLiteral("repl_info"));
        Touched touched;
        sqlite3_set_authorizer(db.handle(), &authorizer, &touched);
        const QByteArray text = sql.toUtf8();
        sqlite3_stmt* raw = nullptr;
        const char* tail = nullptr;
        const int rc = sqlite3_prepare_v2(db.handle(), text.constData(), int(text.size()), &raw, &tail);
        sqlite3_set_authorizer(db.handle(), nullptr, nullptr);
        std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> stmt(raw, &sqlite3_finalize);
        if (rc != SQLITE_OK)
            db.fail(rc, QStringLiteral("The statement cannot be run"));
        if (!stmt)
            throw Failure{Result::Failed, QStringLiteral("The statement is empty.")};
        if (!QString::fromUtf8(tail).remove(QLatin1Char(';')).trimmed().isEmpty())
            throw Failure{Result::Failed, QStringLiteral("Only one statement can be run at a time.")};
        QSet<QString> replicable;
        bool designMaster = true;
        if (replica) {
            Stmt t(db, QStringLiteral("SELECT name FROM repl_tables"));
            while (t.step())
                replicable << t.text(0).toLower();
            designMaster = db.scalarInt(QStringLiteral("SELECT replica_guid = dm_guid COLLATE NOCASE FROM repl_info")) != 0;
        }
        bool designsReplicable = false;
        for (const QString& name : touched.designed)
            designsReplicable = designsReplicable || replicable.contains(name.toLower());
        if (designsReplicable && !designMaster)
            throw Failure{Result::NotDesignMaster,
                          QStringLiteral("The design of a replicated table can be changed only at the Design Master.")};
        for (const QString& table : touched.replTriggersOf)
            touched.replTables = touched.replTables || !touched.dropped.contains(table);
        if (replica && touched.replTables)
            throw Failure{Result::AccessDenied, QStringLiteral("The replication tables cannot be changed.")};
        if (progress && !progress(0, 1))
            throw Failure{Result::Cancelled, QStringLiteral("The statement was cancelled.")};
        Sql::Transaction tx(db);
        int step;
        while ((step = sqlite3_step(stmt.get())) == SQLITE_ROW) {
        }
        if (step != SQLITE_DONE)
            db.fail(step, QStringLiteral("The statement failed"));
        // A dropped replicated table is no longer one.
        if (designsReplicable)
            db.exec(QStringLiteral("DELETE FROM repl_tables WHERE name NOT IN "
                                   "(SELECT name FROM sqlite_master WHERE type = 'table')"));
        // A column added to a replicated table is watched for changes from now on.
        if (designsReplicable)
            refreshTriggers(db, QStringLiteral("main"));
        tx.commit();
        if (progress)
            progress(1, 1);
        return Result::Ok;
    } catch (const Failure& f) {
        return fail(f, error);
    }
}

// ---------------------------------------------------------------- schedules

namespace {
void ensureSynchronizerTables(Db& db)
{
    db.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS repl_schedules (local_guid TEXT NOT NULL, "
                           "partner_guid TEXT NOT NULL, record BLOB NOT NULL, PRIMARY KEY (local_guid, partner_guid))"));
    db.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS repl_transport (transporter_guid TEXT PRIMARY KEY, "
                           "defunct INTEGER NOT NULL DEFAULT 0, address TEXT, name TEXT)"));
}
}  // namespace

int setSchedule(const QString& path, const QString& localSync, const QString& partnerSync, const QByteArray& record,
                QString* error)
{
    try {
        Db db;
        openReplicable(db, path);
        Sql::Transaction tx(db);
        ensureSynchronizerTables(db);
        Stmt s(db, QStringLiteral("INSERT OR REPLACE INTO repl_schedules (local_guid, partner_guid, record) "
                                  "VALUES (upper(?), upper(?), ?)"));
        s.bind(1, localSync).bind(2, partnerSync).bindBlob(3, record).run();
        tx.commit();
        return Result::Ok;
    } catch (const Failure& f) {
        return fail(f, error);
    }
}

int schedule(const QString& path, const QString& localSync, const QString& partnerSync, QByteArray* record,
             QString* error)
{
    try {
        Db db;
        openReplicable(db, path, true);
        if (!db.tableExists(QStringLiteral("main"), QStringLiteral("repl_schedules")))
            return Result::NoSchedule;
        Stmt s(db, QStringLiteral("SELECT record FROM repl_schedules WHERE local_guid = upper(?) AND partner_guid = upper(?)"));
        s.bind(1, localSync).bind(2, partnerSync);
        if (!s.step())
            return Result::NoSchedule;
        *record = s.blob(0);
        return Result::Ok;
    } catch (const Failure& f) {
        return fail(f, error);
    }
}

// ---------------------------------------------------------------- managing synchronizers

int setManagingSynchronizer(const QString& path, const QString& synchronizer, const QString& dropbox, QString* error)
{
    try {
        Db db;
        openReplicable(db, path);
        Sql::Transaction tx(db);
        ensureSynchronizerTables(db);
        db.exec(QStringLiteral("UPDATE repl_info SET applying = 1"));
        Stmt s(db, QStringLiteral("UPDATE repl_replicas SET synchronizer_guid = ? "
                                  "WHERE replica_guid = (SELECT replica_guid FROM repl_info)"));
        s.bind(1, synchronizer.isEmpty() ? QStringLiteral("{00000000-0000-0000-0000-000000000000}") : synchronizer.toUpper());
        s.run();
        if (!synchronizer.isEmpty() && !dropbox.isEmpty()) {
            Stmt t(db, QStringLiteral("INSERT OR REPLACE INTO repl_transport (transporter_guid, defunct, address, name) "
                                      "VALUES (upper(?), 0, ?, ?)"));
            t.bind(1, synchronizer).bind(2, dropbox).bind(3, QStringLiteral("dropbox")).run();
        }
        db.exec(QStringLiteral("UPDATE repl_info SET applying = 0"));
        tx.commit();
        return Result::Ok;
    } catch (const Failure& f) {
        return fail(f, error);
    }
}

int dropboxOf(const QString& path, const QString& synchronizer, QString* dropbox, QString* error)
{
    try {
        Db db;
        openReplicable(db, path, true);
        if (!db.tableExists(QStringLiteral("main"), QStringLiteral("repl_transport")))
            return Result::UnknownSynchronizer;
        Stmt s(db, QStringLiteral("SELECT address FROM repl_transport WHERE transporter_guid = upper(?) "
                                  "AND (defunct & 256) = 0"));
        s.bind(1, synchronizer);
        if (!s.step() || s.text(0).isEmpty())
            return Result::UnknownSynchronizer;
        *dropbox = s.text(0);
        return Result::Ok;
    } catch (const Failure& f) {
        return fail(f, error);
    }
}

namespace {
// Into schema `to`: the managing synchronizer of `from`'s own replica and `from`'s drop boxes.
void learnSynchronizers(Db& db, const QString& from, const QString& to)
{
    const QString f = Sql::ident(from), t = Sql::ident(to);
    db.exec(QStringLiteral("UPDATE %2.repl_replicas SET synchronizer_guid = (SELECT r.synchronizer_guid FROM "
                           "%1.repl_replicas r, %1.repl_info i WHERE r.replica_guid = i.replica_guid) "
                           "WHERE replica_guid = (SELECT replica_guid FROM %1.repl_info)")
                .arg(f, t));
    if (db.tableExists(from, QStringLiteral("repl_transport")))
        db.exec(QStringLiteral("INSERT OR REPLACE INTO %2.repl_transport SELECT * FROM %1.repl_transport").arg(f, t));
}
}  // namespace

int shareSynchronizers(const QString& a, const QString& b, QString* error)
{
    try {
        Db db;
        openReplicable(db, a);
        attachPartner(db, b);
        Sql::Transaction tx(db);
        ensureSynchronizerTables(db);
        db.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS partner.repl_transport (transporter_guid TEXT PRIMARY KEY, "
                               "defunct INTEGER NOT NULL DEFAULT 0, address TEXT, name TEXT)"));
        learnSynchronizers(db, QStringLiteral("partner"), QStringLiteral("main"));
        learnSynchronizers(db, QStringLiteral("main"), QStringLiteral("partner"));
        tx.commit();
        return Result::Ok;
    } catch (const Failure& f) {
        return fail(f, error);
    }
}

// ---------------------------------------------------------------- design changes

int carryDesign(const QString& a, const QString& b, int* changes, QString* error)
{
    int added = 0;
    try {
        Db db;
        openReplicable(db, a);
        attachPartner(db, b);
        if (db.scalarInt(QStringLiteral("SELECT (SELECT set_guid FROM main.repl_info) = "
                                         "(SELECT set_guid FROM partner.repl_info) COLLATE NOCASE")) == 0)
            return Result::Ok;   // the exchange refuses them
        QStringList tables;
        {
            Stmt t(db, QStringLiteral("SELECT name FROM main.repl_tables INTERSECT SELECT name FROM partner.repl_tables"));
            while (t.step())
                tables << t.text(0);
        }
        auto columns = [&](const QString& schema, const QString& table) {
            QVector<std::pair<QString, QString>> out;   // name, declared type
            Stmt c(db, QStringLiteral("SELECT name, type FROM pragma_table_info(?, ?)"));
            c.bind(1, table).bind(2, schema);
            while (c.step())
                out.append({c.text(0), c.text(1)});
            return out;
        };
        Sql::Transaction tx(db);
        for (const QString& table : tables) {
            const auto mine = columns(QStringLiteral("main"), table);
            const auto theirs = columns(QStringLiteral("partner"), table);
            auto has = [](const QVector<std::pair<QString, QString>>& list, const QString& name) {
                for (const auto& c : list)
                    if (c.first.compare(name, Qt::CaseInsensitive) == 0)
                        return true;
                return false;
            };
            auto addMissing = [&](const QVector<std::pair<QString, QString>>& from,
                                  const QVector<std::pair<QString, QString>>& to, const QString& schema) {
                for (const auto& c : from) {
                    if (has(to, c.first))
                        continue;
                    db.exec(QStringLiteral("ALTER TABLE %1.%2 ADD COLUMN %3 %4")
                                .arg(Sql::ident(schema), Sql::ident(table), Sql::ident(c.first),
                                     c.second.isEmpty() ? QString() : Sql::ident(c.second)));
                    ++added;
                }
            };
            addMissing(mine, theirs, QStringLiteral("partner"));
            addMissing(theirs, mine, QStringLiteral("main"));
        }
        tx.commit();
        if (changes)
            *changes = added;
        return Result::Ok;
    } catch (const Failure& f) {
        return fail(f, error);
    }
}

}  // namespace Varnock::Store

// Making a replica (a page copy of a member that takes an identity of its own) and moving a replica file.
#include "replshared.h"

#include <QFile>
#include <QFileInfo>
#include <QSysInfo>
#include <QUuid>

#include <algorithm>

namespace Varnock::Store {

using Sql::Db;
using Sql::fail;
using Sql::Failure;
using Sql::ident;
using Sql::openReplicable;
using Sql::Stmt;

int makeReplica(const QString& source, const QString& target, const QString& description, int priority,
                int flags, const Progress& progress, QString* error)
{
    const QString temp = target + QStringLiteral(".part");
    QString newGuid;
    try {
        if (QFileInfo::exists(target))
            throw Failure{Result::TargetExists, QStringLiteral("%1 already exists.").arg(target), target};
        if (QFileInfo::exists(temp) && !QFile::remove(temp))
            throw Failure{Result::AccessDenied, QStringLiteral("%1 cannot be replaced.").arg(temp), target};

        Db src;
        openReplicable(src, source);
        Sql::useRollbackJournal(src, QStringLiteral("main"), source);

        // Close the source's generation and enter the new member, so rows changed from now on are newer than
        // the copy.
        newGuid = newGuidText();
        qint32 nick = 0;
        qint64 closed = 0;
        Identity srcId;
        src.exec(QStringLiteral("BEGIN IMMEDIATE"));
        try {
            // A file of an earlier version is brought to this one first, so the copy starts alike.
            refreshTriggers(src, QStringLiteral("main"));
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
                const QString why = QString::fromUtf8(sqlite3_errstr(rc));
                sqlite3_close_v2(dest);
                throw Failure{Sql::resultOf(rc), QStringLiteral("%1 cannot be written: %2.").arg(temp, why), target};
            }
            sqlite3_backup* b = sqlite3_backup_init(dest, "main", src.handle(), "main");
            if (!b) {
                const QString text = QString::fromUtf8(sqlite3_errmsg(dest));
                sqlite3_close_v2(dest);
                throw Failure{Result::Failed, text, target};
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
            // The engine's words say why (a full disk, a read-only folder), for the message that reports it.
            if (rc != SQLITE_DONE || frc != SQLITE_OK)
                throw Failure{Sql::resultOf(rc != SQLITE_DONE ? rc : frc),
                              QStringLiteral("The database could not be copied to %1: %2.")
                                  .arg(temp, QString::fromUtf8(sqlite3_errstr(rc != SQLITE_DONE ? rc : frc))),
                              target};

            // The copy's own identity. Its counter starts above every generation the copy holds, and the source
            // notes that it has all of the copy's rows up to there.
            qint64 top = 0;
            {
                Db copy;
                copy.open(temp);
                copy.exec(QStringLiteral("PRAGMA journal_mode = DELETE"));
                copy.exec(QStringLiteral("BEGIN EXCLUSIVE"));
                copy.exec(QStringLiteral("UPDATE repl_info SET applying = 1"));
                refreshTriggers(copy, QStringLiteral("main"));
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
                copy.exec(QStringLiteral("DELETE FROM repl_replaced"));
                // A file of its own: the source's mark of being in step with a partner is not the copy's.
                copy.exec(QStringLiteral("PRAGMA user_version = 0"));
                copy.exec(QStringLiteral("PRAGMA application_id = 0"));
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
            QFile made(temp);
            if (!made.rename(target))
                throw Failure{Result::AccessDenied,
                              QStringLiteral("%1 could not be written: %2.").arg(target, made.errorString()), target};
        } catch (Failure& f) {
            // The copy is named as the user named it: its temporary name is gone with it.
            if (f.file.isEmpty() || f.file == temp)
                f.file = target;
            Sql::removeWithJournal(temp);
            undoMember();
            throw;
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

}  // namespace Varnock::Store

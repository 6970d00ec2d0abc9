// The exchange between two replicas of one set: both files attached to one connection, one transaction over
// both, every table's versions planned and written (exchangeapply.cpp, decided in exchangedecide.cpp), watermarks
// and members brought level, and the history of both files written. An exchange with nothing to send is known from
// the two file headers, or from reads only.
#include "exchange.h"

#include "masteronly.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fcntl.h>
#include <sys/stat.h>

namespace Varnock::Store {

using Sql::Db;
using Sql::fail;
using Sql::Failure;
using Sql::ident;
using Sql::openReplicable;
using Sql::Stmt;

namespace {

// Set by tests: every table goes row by row.
bool g_rowByRow = false;

// What the last log writes could not do, and the room a test leaves the log.
QString g_logProblem;
qint64 g_logRoom = -1;

QString plainReason(int error)
{
    switch (error) {
    case ENOSPC:
    case EDQUOT:
        return QStringLiteral("the disk is full");
    case EROFS:
        return QStringLiteral("the disk is read-only");
    case EACCES:
    case EPERM:
        return QStringLiteral("the file or its folder is read-only");
    case ENOENT:
    case ENOTDIR:
        return QStringLiteral("the folder does not exist");
    case EISDIR:
        return QStringLiteral("a folder has that name");
    default:
        return QString::fromLocal8Bit(std::strerror(error));
    }
}

// One line added to the log, every write and the sync checked; a line that does not fit is taken back, so
// the log keeps its old lines whole. A log that cannot be written never fails the operation: why is kept
// for the host.
void writeLog(const QString& logFile, const QString& line)
{
    if (logFile.isEmpty())
        return;
    const QByteArray bytes =
        (QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")) + QStringLiteral("  ") + line +
         QLatin1Char('\n'))
            .toUtf8();
    const QByteArray name = QFile::encodeName(logFile);
    const bool existed = QFileInfo::exists(logFile);
    int error = 0;
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    if (fd < 0) {
        error = errno;
    } else {
        struct stat st {};
        const bool measured = ::fstat(fd, &st) == 0;
        if (!measured)
            error = errno;
        qint64 pos = 0;
        while (!error && pos < bytes.size()) {
            qint64 chunk = bytes.size() - pos;
            if (g_logRoom >= 0 && (chunk = std::min(chunk, g_logRoom - pos)) <= 0) {
                error = ENOSPC;
                break;
            }
            const ssize_t n = ::write(fd, bytes.constData() + pos, size_t(chunk));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                error = n < 0 ? errno : EIO;
            else
                pos += n;
        }
        if (!error && ::fsync(fd) != 0 && errno != EINVAL)
            error = errno;
        if (error && measured)
            (void)::ftruncate(fd, st.st_size);
        if (::close(fd) != 0 && !error)
            error = errno;
        if (error && !existed)
            ::unlink(name.constData());
    }
    if (error)
        g_logProblem = QStringLiteral("The file %1 could not be written: %2.").arg(logFile, plainReason(error));
}

// The unique keys of a table whose columns both files have, as indexes into cols.
QVector<QVector<int>> uniqueKeys(const TableKey& key, const QStringList& cols)
{
    QVector<QVector<int>> out;
    for (const TableKey::Unique& u : key.uniques) {
        QVector<int> k;
        for (const QString& c : u.cols)
            k << int(cols.indexOf(c));
        if (!k.isEmpty() && !k.contains(-1))
            out << k;
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
        t.key = tableKey(db, QStringLiteral("main"), name);
        const QStringList mine = userColumns(db, QStringLiteral("main"), name);
        const QStringList theirs = userColumns(db, QStringLiteral("partner"), name);
        for (const QString& c : mine)
            if (theirs.contains(c, Qt::CaseInsensitive))
                t.cols << c;
        t.pkCol = t.key.rowidAlias.isEmpty() ? -1 : int(t.cols.indexOf(t.key.rowidAlias));
        t.uniques = uniqueKeys(t.key, t.cols);
        t.firstLineage = firstLineage;
        // Both files derive the identities of their unchanged rows alike, or no change can be applied safely.
        TableKey theirKey;
        if (!recordedTableKey(db, QStringLiteral("partner"), name, &theirKey) || !sameKey(t.key, theirKey))
            throw Failure{Result::IdentitiesDiffer,
                          QStringLiteral("The two databases no longer agree on which rows of the table %1 are the same "
                                         "rows, so nothing was exchanged. Make a new replica from the Design Master.")
                              .arg(name)};
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
    // One or many, as the count says: "1 conflict", "2 conflicts".
    const auto counted = [](qint64 n, const char* one, const char* many) {
        return QStringLiteral("%1 %2").arg(n).arg(QLatin1String(n == 1 ? one : many));
    };
    return QStringLiteral("Exchange %1 between %2 and %3 %4; received %5, %6, %7; sent %8, %9; %10, %11")
        .arg(e.exchangeId, local, partner, what)
        .arg(counted(e.insertsReceived, "insert", "inserts"), counted(e.updatesReceived, "update", "updates"),
             counted(e.deletesReceived, "deletion", "deletions"),
             counted(e.insertsAndUpdatesSent, "insert or update", "inserts and updates"),
             counted(e.deletesSent, "deletion", "deletions"), counted(e.conflicts, "conflict", "conflicts"),
             counted(e.errors, "error", "errors"));
}

// A value of a row kept as JSON, as a reader of the log sees it.
QString shownValue(const QJsonValue& v)
{
    switch (v.type()) {
    case QJsonValue::Null:
    case QJsonValue::Undefined:
        return QStringLiteral("NULL");
    case QJsonValue::String:
        return QLatin1Char('\'') + v.toString().replace(QLatin1Char('\''), QStringLiteral("''")) + QLatin1Char('\'');
    case QJsonValue::Double: {
        const double d = v.toDouble();
        return d == double(qint64(d)) && std::abs(d) < 1e15 ? QString::number(qint64(d)) : QString::number(d, 'g', 17);
    }
    case QJsonValue::Bool:
        return v.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    default:
        return QString::fromUtf8(QJsonDocument(v.toObject()).toJson(QJsonDocument::Compact));
    }
}

QString shownColumns(const QStringList& cols, const QJsonObject& row, const QString& joiner)
{
    QStringList parts;
    for (const QString& c : cols)
        parts << c + QStringLiteral(" = ") + shownValue(row.value(c));
    return parts.join(joiner);
}

// The log's account of each conflict the exchange settled (met in either file, told once): the table, the row's
// key, the value kept and the value set aside, and why. The set-aside versions stay in repl_conflicts.
QStringList conflictLines(Db& db, const QVector<TableInfo>& tables, const QString& exchangeId)
{
    QHash<QString, const TableInfo*> byName;
    for (const TableInfo& t : tables)
        byName.insert(t.name, &t);
    QStringList out;
    QSet<QString> told;
    // One statement per table finds the kept rows of all its conflicts.
    std::map<QString, std::unique_ptr<Stmt>> rows, byKeys;
    for (const QString& schema : {QStringLiteral("main"), QStringLiteral("partner")}) {
        Stmt c(db, QStringLiteral("SELECT tbl, guid, reason, loser_deleted, row_data FROM %1.repl_conflicts "
                                  "WHERE exchange_guid = ? ORDER BY id")
                       .arg(ident(schema)));
        c.bind(1, exchangeId);
        while (c.step()) {
            const QString table = c.text(0);
            const QByteArray guid = c.blob(1);
            const QString reason = c.text(2);
            const bool loserDeleted = c.integer(3) != 0;
            const QString data = c.text(4);
            // Both files keep the same losing version (each with the reason as seen from there).
            const QString seen = table + QLatin1Char('\n') + QString::fromLatin1(guid.toHex()) + QLatin1Char('\n') +
                                 QString::number(int(loserDeleted)) + data;
            if (told.contains(seen))
                continue;
            told.insert(seen);
            const TableInfo* t = byName.value(table);
            const QJsonObject aside = QJsonDocument::fromJson(data.toUtf8()).object();
            // The version kept: the row of that identity now, or (a key clash) the row holding the key.
            QJsonObject kept;
            bool keptRow = false;
            QStringList key;
            if (t) {
                // The row's key as its identity is derived from (a table without one shows what differs only).
                if (t->pkCol >= 0)
                    key << t->cols[t->pkCol];
                else if (t->key.kind == TableKey::Columns)
                    for (const QString& k : t->key.cols)
                        if (t->cols.contains(k))
                            key << k;
                const QString tn = QStringLiteral("main.") + ident(table);
                std::unique_ptr<Stmt>& row = rows[table];
                if (!row)
                    row = std::make_unique<Stmt>(db, QStringLiteral("SELECT %1 FROM %2 x WHERE x.rowid = %3")
                                                         .arg(rowJsonSql(t->cols), tn, rowOfIdentitySql(*t, tn, QStringLiteral("?1"))));
                row->reset();
                row->bindBlob(1, guid);
                if (row->step()) {
                    kept = QJsonDocument::fromJson(row->utf8(0)).object();
                    keptRow = true;
                } else if (!key.isEmpty() && !aside.isEmpty()) {
                    std::unique_ptr<Stmt>& byKey = byKeys[table];
                    if (!byKey) {
                        QStringList where;
                        for (int k = 0; k < key.size(); ++k)
                            where << QStringLiteral("%1 IS json_extract(?1, ?%2)").arg(ident(key[k])).arg(k + 2);
                        byKey = std::make_unique<Stmt>(db, QStringLiteral("SELECT %1 FROM %2 x WHERE %3")
                                                               .arg(rowJsonSql(t->cols), tn, where.join(QStringLiteral(" AND "))));
                    }
                    byKey->reset();
                    byKey->bind(1, data);
                    for (int k = 0; k < key.size(); ++k)
                        byKey->bind(k + 2, QStringLiteral("$.\"%1\"").arg(QString(key[k]).replace(QLatin1Char('"'), QStringLiteral("\\\""))));
                    if (byKey->step()) {
                        kept = QJsonDocument::fromJson(byKey->utf8(0)).object();
                        keptRow = true;
                    }
                }
                row->reset();
            }
            const QJsonObject& keyRow = keptRow ? kept : aside;
            QStringList cols = t ? t->cols : keyRow.keys();
            QStringList differing;
            for (const QString& col : cols)
                if (!key.contains(col) && (!keptRow || loserDeleted || kept.value(col) != aside.value(col)))
                    differing << col;
            if (keptRow && !loserDeleted && differing.isEmpty())
                differing = cols;
            QString line = QStringLiteral("  Conflict in %1").arg(table);
            if (!key.isEmpty() && !keyRow.isEmpty())
                line += QStringLiteral(", ") + shownColumns(key, keyRow, QStringLiteral(", "));
            line += QStringLiteral(": kept ");
            line += keptRow ? shownColumns(differing, kept, QStringLiteral(", ")) : QStringLiteral("the deletion of the row");
            line += QStringLiteral("; set aside ");
            line += loserDeleted ? QStringLiteral("the deletion of the row") : shownColumns(differing, aside, QStringLiteral(", "));
            line += QStringLiteral(" (%1)").arg(reason);
            out << line;
        }
    }
    return out;
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

// A file put back from its own backup (a plain copy or a .backup, put in its place) is behind what its partner
// remembers of it: the partner's watermark of it reaches the generation the file is still writing, or the partner's
// last exchange with it is missing from the file's own history.
bool behindPartner(Db& db, const QString& x, const Identity& xid, const QString& y)
{
    if (watermark(db, y, xid.nickname) >= xid.generation)
        return true;
    Stmt last(db, QStringLiteral("SELECT exchange_guid FROM %1.repl_history WHERE partner_nickname = ?1 AND status = ?2 "
                                 "ORDER BY rowid DESC LIMIT 1")
                      .arg(ident(y)));
    last.bind(1, qint64(xid.nickname)).bind(2, qint64(Status::Completed));
    if (!last.step())
        return false;
    Stmt has(db, QStringLiteral("SELECT 1 FROM %1.repl_history WHERE exchange_guid = ?").arg(ident(x)));
    has.bind(1, last.text(0));
    return !has.step();
}

// How far a file put back skips its generation: past any its lost history may have reached in other files.
constexpr qint64 kPutBackLeap = qint64(1) << 20;

// A file put back (x, behind partner y). Its writes since its last exchange carry generations its lost history had
// used already: where y holds a version of the same row that the lost history wrote at or after that generation,
// x's version cannot be told from one the lost history replaced, so it takes y's lineage and the exchange decides
// the two as a conflict (the loser set aside, as for any conflict) instead of dropping x's as older; elsewhere it
// carries a mark of the put-back, so a later version of the lost history that y never saw meets it as a conflict
// in whatever file they meet. Its later writes
// are numbered past the lost history, and y forgets what it had of x, so everything x holds is compared at this
// exchange (or the next that takes x's changes) and what y lacks goes over. Runs in the exchange's transaction;
// xid's generation follows.
void renumberPutBack(Db& db, const QString& x, Identity* xid, const QString& y)
{
    const qint64 open = xid->generation;
    const qint64 fresh = std::max(open, watermark(db, y, xid->nickname)) + kPutBackLeap;
    const QString own = QStringLiteral("'$.v.\"%1\"'").arg(xid->nickname);
    const QString X = ident(x), Y = ident(y);
    db.exec(QStringLiteral("UPDATE %1.repl_info SET applying = 1").arg(X));
    QStringList tables;
    {
        Stmt t(db, QStringLiteral("SELECT r.name FROM %1.repl_tables r JOIN %1.sqlite_master m ON m.type = 'table' "
                                  "AND m.name = r.name JOIN %2.sqlite_master n ON n.type = 'table' AND n.name = r.name")
                       .arg(X, Y));
        while (t.step())
            tables << t.text(0);
    }
    // y's version of a row (its row, else its deletion), when y has one.
    auto theirs = [](Stmt& s, const QByteArray& guid) {
        s.reset();
        s.bindBlob(1, guid);
        QByteArray out = s.step() ? s.utf8(0) : QByteArray();
        s.reset();
        return out;
    };
    // What x's version takes: y's lineage where the lost history may have written after it (Take); nothing where y
    // holds this very version (Keep); else a mark of this put-back (Mark), an entry no version of the lost history
    // carries, so wherever x's version meets a later one of that history in another file, the two are concurrent
    // and decided as a conflict instead of x's being dropped as older.
    enum class Verdict { Take, Keep, Mark };
    auto verdict = [](const QByteArray& mine, const QByteArray& their) {
        Lineage a, b;
        if (their.isEmpty() || !Lineage::parse(mine, &a) || !Lineage::parse(their, &b))
            return Verdict::Mark;
        const Order o = compare(b, a);
        return o == Order::After ? Verdict::Take : o == Order::Equal ? Verdict::Keep : Verdict::Mark;
    };
    const QString markPath = QStringLiteral("$.v.\"%1\"").arg(-xid->nickname);
    Stmt theirTomb(db, QStringLiteral("SELECT lineage FROM %1.repl_tombstones WHERE guid = ?").arg(Y));
    // Only its own writes, as the capture triggers stamped them: versions an exchange decided keep theirs.
    for (const QString& t : tables) {
        const QString T = ident(t);
        Stmt mine(db, QStringLiteral("SELECT rowid, s_GUID, s_Lineage FROM %1.%2 WHERE s_Generation = ?1 AND s_GUID IS NOT "
                                     "NULL AND json_extract(s_Lineage, '$.w') = ?2 AND json_extract(s_Lineage, %3) = ?1")
                          .arg(X, T, own));
        mine.bind(1, open).bind(2, qint64(xid->nickname));
        Stmt theirRow(db, QStringLiteral("SELECT s_Lineage FROM %1.%2 WHERE s_GUID = ?").arg(Y, T));
        std::vector<std::pair<qint64, QByteArray>> taken;
        std::vector<qint64> marked;
        while (mine.step()) {
            QByteArray their = theirs(theirRow, mine.blob(1));
            if (their.isEmpty())
                their = theirs(theirTomb, mine.blob(1));
            switch (verdict(mine.utf8(2), their)) {
            case Verdict::Take: taken.emplace_back(mine.integer(0), their); break;
            case Verdict::Mark: marked.push_back(mine.integer(0)); break;
            case Verdict::Keep: break;
            }
        }
        Stmt take(db, QStringLiteral("UPDATE %1.%2 SET s_Lineage = ? WHERE rowid = ?").arg(X, T));
        for (const auto& [rid, lin] : taken) {
            take.reset();
            take.bindText(1, lin).bind(2, rid).run();
        }
        Stmt mark(db, QStringLiteral("UPDATE %1.%2 SET s_Lineage = json_set(s_Lineage, ?, ?) WHERE rowid = ?").arg(X, T));
        for (qint64 rid : marked) {
            mark.reset();
            mark.bind(1, markPath).bind(2, fresh).bind(3, rid).run();
        }
    }
    {
        Stmt mine(db, QStringLiteral("SELECT guid, tbl, lineage FROM %1.repl_tombstones WHERE generation = ?1 AND "
                                     "json_extract(lineage, '$.w') = ?2 AND json_extract(lineage, %2) = ?1")
                          .arg(X, own));
        mine.bind(1, open).bind(2, qint64(xid->nickname));
        std::vector<std::pair<QByteArray, QByteArray>> taken;
        std::vector<QByteArray> marked;
        while (mine.step()) {
            QByteArray their;
            if (tables.contains(mine.text(1))) {
                Stmt theirRow(db, QStringLiteral("SELECT s_Lineage FROM %1.%2 WHERE s_GUID = ?").arg(Y, ident(mine.text(1))));
                their = theirs(theirRow, mine.blob(0));
            }
            if (their.isEmpty())
                their = theirs(theirTomb, mine.blob(0));
            switch (verdict(mine.utf8(2), their)) {
            case Verdict::Take: taken.emplace_back(mine.blob(0), their); break;
            case Verdict::Mark: marked.push_back(mine.blob(0)); break;
            case Verdict::Keep: break;
            }
        }
        Stmt take(db, QStringLiteral("UPDATE %1.repl_tombstones SET lineage = ? WHERE guid = ?").arg(X));
        for (const auto& [guid, lin] : taken) {
            take.reset();
            take.bindText(1, lin).bindBlob(2, guid).run();
        }
        Stmt mark(db, QStringLiteral("UPDATE %1.repl_tombstones SET lineage = json_set(lineage, ?, ?) WHERE guid = ?").arg(X));
        for (const QByteArray& guid : marked) {
            mark.reset();
            mark.bind(1, markPath).bind(2, fresh).bindBlob(3, guid).run();
        }
    }
    Stmt g(db, QStringLiteral("UPDATE %1.repl_info SET generation = ?").arg(X));
    g.bind(1, fresh).run();
    Stmt forget(db, QStringLiteral("UPDATE %1.repl_watermarks SET generation = 0 WHERE nickname = ?").arg(Y));
    forget.bind(1, qint64(xid->nickname)).run();
    xid->generation = fresh;
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
        // A file put back from its backup may hold writes numbered where its partner no longer looks.
        if (idle)
            idle = !behindPartner(db, QStringLiteral("main"), a, QStringLiteral("partner")) &&
                   !behindPartner(db, QStringLiteral("partner"), b, QStringLiteral("main"));
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
    bool usable = false;     // a rollback-journal database with no log beside it
    quint32 counter = 0;     // file change counter, moved by every transaction that wrote the file
    quint32 cookie = 0;      // schema cookie, moved by every design change
    quint32 pairToken = 0;   // user_version: the token of the last two-way exchange that left the file in step
    quint32 expected = 0;    // application_id: the change counter that exchange left, sealed to the very file
    quint64 inode = 0, born = 0;   // which file this is: a copy, even one put in its place, is another
};

quint32 be32(const char* p)
{
    return (quint32(quint8(p[0])) << 24) | (quint32(quint8(p[1])) << 16) | (quint32(quint8(p[2])) << 8) | quint8(p[3]);
}

// Which file is at path, from its name: statx and stat open nothing.
void identify(const QString& path, Header* h)
{
    const QByteArray name = QFile::encodeName(path);
    struct statx sx {};
    if (statx(AT_FDCWD, name.constData(), 0, STATX_INO | STATX_BTIME, &sx) == 0 && (sx.stx_mask & STATX_INO)) {
        h->inode = sx.stx_ino;
        if (sx.stx_mask & STATX_BTIME)
            h->born = quint64(sx.stx_btime.tv_sec) * 1000000000u + sx.stx_btime.tv_nsec;
        return;
    }
    // A system without statx still tells the inode.
    struct stat st {};
    if (::stat(name.constData(), &st) != 0) {
        h->usable = false;
        return;
    }
    h->inode = st.st_ino;
}

// The header of the file of schema (at path), read through the connection's own file while the caller's
// transaction holds it. Never through a descriptor of its own: closing one drops every lock this process holds on
// the file, SQLite's included, and lets another program write under a transaction still running.
Header readHeader(Db& db, const QString& schema, const QString& path)
{
    Header h;
    if (QFileInfo::exists(path + QStringLiteral("-wal")))
        return h;
    sqlite3_file* file = nullptr;
    if (sqlite3_file_control(db.handle(), schema.toUtf8().constData(), SQLITE_FCNTL_FILE_POINTER, &file) != SQLITE_OK ||
        !file || !file->pMethods)
        return h;
    char b[100];
    if (file->pMethods->xRead(file, b, int(sizeof b), 0) != SQLITE_OK ||
        std::memcmp(b, "SQLite format 3", 16) != 0 || b[18] != 1 || b[19] != 1)
        return h;
    h.usable = true;
    h.counter = be32(b + 24);
    h.cookie = be32(b + 40);
    h.pairToken = be32(b + 60);
    h.expected = be32(b + 68);
    identify(path, &h);
    return h;
}

quint64 mixed(quint64 x)
{
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// What application_id holds for a file whose change counter is counter: the counter sealed with the file's token,
// its schema cookie and which file it is. A copy keeps the token and the sealed value but not the file, and its own
// counter starts again: it never passes for its source, however often it is written.
quint32 sealed(const Header& h, quint32 counter, quint32 token, quint32 cookie)
{
    quint64 x = mixed(token);
    for (quint64 v : {quint64(cookie), h.inode, h.born})
        x = mixed(x ^ v);
    return counter ^ quint32(x ^ (x >> 32));
}

// The file is where the two-way exchange that stamped it left it: unwritten since, and the very file it wrote.
bool unwrittenSinceStamp(const Header& h)
{
    return h.usable && h.pairToken != 0 && h.expected == sealed(h, h.counter, h.pairToken, h.cookie);
}

// An exchange that found nothing to send is listed in both files' history all the same, in one small write, inside
// the caller's write transaction over both files. A file that was in step with its partner stays so: the change
// counter it expects moves with this write.
void writeIdleExchange(Db& db, const QString& local, const QString& partner, Exchange& e)
{
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
        const Header h = readHeader(db, schema, i == 0 ? local : partner);
        writeHistory(db, schema, i == 0 ? e : theirs);
        if (unwrittenSinceStamp(h))
            db.exec(QStringLiteral("PRAGMA %1.application_id = %2")
                        .arg(schema)
                        .arg(qint32(sealed(h, h.counter + 1, h.pairToken, h.cookie))));
    }
}

void openPair(Db& db, const QString& local, const QString& partner)
{
    openReplicable(db, local);
    Stmt at(db, QStringLiteral("ATTACH DATABASE ? AS partner"));
    at.bind(1, partner).run();
}

// The history of an exchange not needed is a record only: a file that cannot take it now does not undo it.
void recordIdleExchange(const QString& local, const QString& partner, Exchange& e)
{
    try {
        Db db;
        openPair(db, local, partner);
        Sql::Transaction tx(db);
        writeIdleExchange(db, local, partner, e);
        tx.commit();
    } catch (const Failure&) {
    }
}

// True, and the exchange recorded, when a two-way exchange between exactly these two files left both in step and
// neither was written since: the two tokens are one pair (each file holds its own half), and each file is unwritten
// since. A copy of a file holds the same half as the file, so a file and its copy never pass. The headers are read
// with both files held.
bool idleSinceLastExchange(const QString& local, const QString& partner, Exchange& e)
{
    Db db;
    try {
        openPair(db, local, partner);
        db.exec(QStringLiteral("BEGIN IMMEDIATE"));
    } catch (const Failure&) {
        return false;
    }
    try {
        const Header x = readHeader(db, QStringLiteral("main"), local);
        const Header y = readHeader(db, QStringLiteral("partner"), partner);
        if (!unwrittenSinceStamp(x) || !unwrittenSinceStamp(y) || (x.pairToken ^ y.pairToken) != 1) {
            db.exec(QStringLiteral("ROLLBACK"));
            return false;
        }
    } catch (const Failure&) {
        sqlite3_exec(db.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
        return false;
    }
    e.status = Status::Completed;
    e.lastAction = QDateTime::currentDateTimeUtc();
    try {
        writeIdleExchange(db, local, partner, e);
        db.exec(QStringLiteral("COMMIT"));
    } catch (const Failure&) {
        sqlite3_exec(db.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
    }
    return true;
}

}  // namespace

void setRowByRow(bool on)
{
    g_rowByRow = on;
}

QString takeLogProblem()
{
    return std::exchange(g_logProblem, QString());
}

void setLogRoom(qint64 room)
{
    g_logRoom = room;
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
        if (idleSinceLastExchange(local, partner, e)) {
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
            // A file another program holds is in use; any other that cannot be read is damaged, never foreign.
            if (f.result == Result::Locked)
                throw Failure{Result::NotDatabase, QStringLiteral("%1 is not a database that can be used: %2").arg(partner, f.text)};
            throw Failure{Result::NotDatabase,
                          QStringLiteral("The replica file %1 is damaged (cut short or not a database): %2").arg(partner, f.text)};
        }
        if (!hasInfo(db, QStringLiteral("partner")))
            throw Failure{Result::NotReplicable, QStringLiteral("%1 is not a replica.").arg(partner)};
        refuseMismatch(db, readInfo(db, QStringLiteral("main")), readInfo(db, QStringLiteral("partner")));
        // A table another tool made again without its triggers is found whatever its schema counter says (a copy
        // of the file may restart it).
        refuseUntrackedTables(db, QStringLiteral("main"));
        refuseUntrackedTables(db, QStringLiteral("partner"));
        // Files made by an earlier version get this version's capture triggers before anything is exchanged, so
        // what other writers do to them from now on is captured by the same rules.
        if (!triggersCurrent(db, QStringLiteral("main")) || !triggersCurrent(db, QStringLiteral("partner"))) {
            Sql::useRollbackJournal(db, QStringLiteral("main"), local);
            Sql::useRollbackJournal(db, QStringLiteral("partner"), partner);
            Sql::Transaction tx(db);
            checkRowidIdentities(db, QStringLiteral("main"), QStringLiteral("partner"));
            checkRowidIdentities(db, QStringLiteral("partner"), QStringLiteral("main"));
            refreshTriggers(db, QStringLiteral("main"));
            refreshTriggers(db, QStringLiteral("partner"));
            tx.commit();
        }
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
        Sql::useRollbackJournal(db, QStringLiteral("main"), local);
        Sql::useRollbackJournal(db, QStringLiteral("partner"), partner);
        // The exchange walks indexes of both files at random; a cache that holds them saves re-reading pages.
        db.exec(QStringLiteral("PRAGMA main.cache_size = -131072"));
        db.exec(QStringLiteral("PRAGMA partner.cache_size = -131072"));
        db.exec(QStringLiteral("PRAGMA temp_store = MEMORY"));

        QString logText;
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
            for (Side* x : {&sa, &sb}) {
                const Side* y = x == &sa ? &sb : &sa;
                if (behindPartner(db, x->schema, x->id, y->schema))
                    renumberPutBack(db, x->schema, &x->id, y->schema);
            }

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
            // A note of the rows an insert or update would meet stays behind when SQLite ignored that write; it
            // belongs to no statement now.
            for (Side* s : {&sa, &sb})
                db.exec(QStringLiteral("DELETE FROM %1.repl_replaced").arg(ident(s->schema)));
            sa.wmOfOther = watermark(db, sa.schema, sb.id.nickname);   // what A has of B
            sb.wmOfOther = watermark(db, sb.schema, sa.id.nickname);   // what B has of A
            // Tables the Design Master keeps to itself: what a replica changed there is put back, not taken in.
            for (Side* m : {&sa, &sb}) {
                const Side* r = m == &sa ? &sb : &sa;
                if (!(m == &sa ? importing : exporting) || m->id.replicaId.compare(m->id.designMasterId, Qt::CaseInsensitive))
                    continue;
                for (const QString& t : MasterOnly::tables(db, m->schema))
                    for (const QByteArray& g : MasterOnly::putBack(db, t, m->schema, m->id.nickname, m->id.priority,
                                                                   m->echo, r->schema, m->wmOfOther, r->id.generation,
                                                                   r->echo, e.exchangeId))
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
                const Header h = readHeader(db, schema, i == 0 ? local : partner);
                const bool stamp = inStep && h.usable;
                const quint32 half = token | quint32(i);
                const quint32 cookie = quint32(db.scalarInt(QStringLiteral("PRAGMA %1.schema_version").arg(schema)));
                db.exec(QStringLiteral("PRAGMA %1.user_version = %2").arg(schema).arg(stamp ? qint32(half) : 0));
                db.exec(QStringLiteral("PRAGMA %1.application_id = %2")
                            .arg(schema)
                            .arg(stamp ? qint32(sealed(h, h.counter + 1, half, cookie)) : 0));
            }
            const QStringList told = e.conflicts && !logFile.isEmpty() ? conflictLines(db, ex.tables, e.exchangeId) : QStringList();
            db.exec(QStringLiteral("COMMIT"));
            logText = told.join(QLatin1Char('\n'));
        } catch (...) {
            sqlite3_exec(db.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
            throw;
        }
        writeLog(logFile, logLine(local, partner, e) + (logText.isEmpty() ? QString() : QLatin1Char('\n') + logText));
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

}  // namespace Varnock::Store

// Builds a master of the posting benchmark's size (2,000 panels x 25 elements: 50,000 ratings, with
// comments, defect quantities, pictures and clips in proportion), makes it replicable and makes a
// replica. Then 10,000 rows change on each side (updates, inserts and deletes; 1,000 of the updates hit
// the same rows on both sides) and the two-way exchange is timed (a), against a full SQLite backup copy
// of the master (b). Also times an exchange with nothing to send (c), which still records its history item in
// both files, against (f): the bare durable write of one row to each of the two files (copies of them), the
// least such a record costs; both are bound by the disk's flushes, so they are timed in turns, many times, and the
// least of each is compared; and checks with sqldiff that the user tables of both files are equal afterwards. The floor of the exchange (e): the same changes recorded by SQLite's
// session extension on each side, replication columns included, and each changeset applied on the other side.
//
// Then the size case, on the M database of bench/scale (L with --large; --folder DIR keeps and reuses the built
// files, as bench/scale does): the plain file, made replicable, and a replica of it, against the plain size, and
// the time to make it replicable against VACUUM INTO of the plain file.
#include "replstore.h"
#include "schema.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <sqlite3.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>

using namespace Varnock::Store;

namespace {

constexpr int kPanels = 2000;
constexpr int kElements = 25;
constexpr int kRuns = 3;
constexpr int kIdleTurns = 7;   // per run, for (c) and (f)

void run(sqlite3* db, const char* sql)
{
    char* err = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &err) != SQLITE_OK)
        qFatal("%s: %s", sql, err);
}

sqlite3* openDb(const QString& path, int extra = 0)
{
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE | extra, nullptr) != SQLITE_OK)
        qFatal("cannot open %s", qPrintable(path));
    return db;
}

void buildMaster(const QString& path)
{
    QString error;
    if (!CreateTunnelDatabase(path, &error))
        qFatal("%s", qPrintable(error));
    sqlite3* db = openDb(path);
    run(db, "BEGIN");
    run(db, "INSERT INTO System (SystemID, SystemName) VALUES (1, 'Bench')");
    run(db, "INSERT INTO Tunnels (TunnelID, SystemID, TunnelName) VALUES (1, 1, 'North')");
    run(db, "INSERT INTO InspectionPeriod (InspectionID, TunnelID, InspectionYear) VALUES (1, 1, 2024)");
    const QByteArray sql = QStringLiteral(
        "WITH RECURSIVE p(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM p WHERE n < %1), "
        "e(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM e WHERE n < %2) "
        "INSERT INTO Ratings (InspectionID, PanelID, ElementID, Rating) SELECT 1, p.n, e.n, (p.n + e.n) % 10 FROM p, e;")
                               .arg(kPanels)
                               .arg(kElements)
                               .toUtf8();
    run(db, sql.constData());
    for (int p = 1; p <= kPanels; ++p) {
        run(db, QStringLiteral("INSERT INTO Panels (PanelID, TunnelID, PanelNum, PanelName) VALUES (%1, 1, %1, 'P%1');"
                               "INSERT INTO PanelComments (InspectionID, PanelID, Comments) VALUES "
                               "(1, %1, 'Panel %1: damp patches near the joint');"
                               "INSERT INTO ImagePaths (PanelID, ElementID, ImagePath, FieldSketch, InspectionID) "
                               "VALUES (%1, 1, 'IMG_%1_a.jpg', 0, 1), (%1, 2, 'IMG_%1_b.jpg', 1, 1);")
                    .arg(p)
                    .toUtf8()
                    .constData());
        if (p % 2 == 0)
            run(db, QStringLiteral("INSERT INTO DefectQuantity (ID, PanelID, InspectionID, Quantity, Units, UnitCost, "
                                   "Description) VALUES (%1, %1, 1, %2, 'sq ft', 12.5, 'Spalling, panel %1')")
                        .arg(p)
                        .arg(p % 17)
                        .toUtf8()
                        .constData());
        if (p % 10 == 0)
            run(db, QStringLiteral("INSERT INTO Videos (PanelID, ElementID, VideoFile, InspectionID) "
                                   "VALUES (%1, 1, 'CLIP_%1.avi', 1)")
                        .arg(p)
                        .toUtf8()
                        .constData());
    }
    for (int e = 1; e <= kElements; ++e)
        run(db, QStringLiteral("INSERT INTO AvailableElements (ElementID, ElementName) VALUES (%1, 'Element %1')")
                    .arg(e)
                    .toUtf8()
                    .constData());
    run(db, "COMMIT");
    sqlite3_close_v2(db);
}

// 10,000 changed rows through a plain connection: 6,000 rating updates (panels from `first`, the first
// 1,000 shared by both sides), 2,000 new defect quantities, 2,000 deleted pictures.
void changeSide(sqlite3* db, int side)
{
    run(db, "BEGIN");
    const int first = side == 0 ? 1 : 201;        // panels 201..240 are rated on both sides
    const int last = first + 240 - 1;             // 240 panels x 25 = 6,000 ratings
    run(db, QStringLiteral("UPDATE Ratings SET Rating = %1 WHERE PanelID BETWEEN %2 AND %3")
                .arg(side == 0 ? 1 : 8)
                .arg(first)
                .arg(last)
                .toUtf8()
                .constData());
    const qint64 base = side == 0 ? 100000000 : 200000000;   // as random keys would be: apart
    run(db, QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 2000) "
                           "INSERT INTO DefectQuantity (ID, PanelID, InspectionID, Quantity, Units, Description) "
                           "SELECT %1 + i, i, 1, 1.5, 'ea', 'new ' || i FROM n")
                .arg(base)
                .toUtf8()
                .constData());
    run(db, QStringLiteral("DELETE FROM ImagePaths WHERE PanelID %1 AND PanelID BETWEEN %2 AND %3")
                .arg(side == 0 ? QStringLiteral("% 2 = 0") : QStringLiteral("% 2 = 1"))
                .arg(1)
                .arg(2000)
                .toUtf8()
                .constData());
    run(db, "COMMIT");
}

void changeSide(const QString& path, int side)
{
    sqlite3* db = openDb(path);
    changeSide(db, side);
    sqlite3_close_v2(db);
}

double msSince(const QElapsedTimer& t) { return double(t.nsecsElapsed()) / 1e6; }

double backupCopy(const QString& source, const QString& target)
{
    QFile::remove(target);
    QElapsedTimer t;
    t.start();
    sqlite3* src = openDb(source);
    sqlite3* dst = nullptr;
    sqlite3_open_v2(QFile::encodeName(target).constData(), &dst, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    sqlite3_backup* b = sqlite3_backup_init(dst, "main", src, "main");
    sqlite3_backup_step(b, -1);
    sqlite3_backup_finish(b);
    sqlite3_close_v2(dst);
    sqlite3_close_v2(src);
    return msSince(t);
}

// The floor of any exchange that records itself: open a file, attach a second, write one row to each in one
// transaction (durable, as the history item is), close. Run on copies of the replicas, so that it reads the same
// schemas as the exchange does.
double durableRecord(const QString& a, const QString& b)
{
    QElapsedTimer t;
    t.start();
    sqlite3* db = openDb(a);
    const QByteArray attach = "ATTACH DATABASE '" + QFile::encodeName(b).replace("'", "''") + "' AS partner";
    const char* steps[] = {attach.constData(), "BEGIN IMMEDIATE", "INSERT INTO main.repl_conflicts (tbl, at) VALUES ('bench', julianday('now'))",
                           "INSERT INTO partner.repl_conflicts (tbl, at) VALUES ('bench', julianday('now'))", "COMMIT"};
    for (const char* sql : steps)
        if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
            qFatal("durable record: %s", sqlite3_errmsg(db));
    sqlite3_close_v2(db);
    return msSince(t);
}

int historyCount(const QString& path)
{
    QVector<Exchange> items;
    QString error;
    if (history(path, 0, &items, &error) != 0)
        qFatal("history: %s", qPrintable(error));
    return int(items.size());
}

// The session extension tracks only tables with a declared primary key. A table without one gets its rowid
// declared as a last INTEGER PRIMARY KEY column: the same pages and the same rows, now keyed as SQLite's own
// replication needs.
void declareRowidKeys(const QString& path)
{
    sqlite3* db = openDb(path);
    QStringList keyless;
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(db, "SELECT name FROM sqlite_master m WHERE type = 'table' AND name NOT LIKE 'sqlite%' AND NOT EXISTS "
                           "(SELECT 1 FROM pragma_table_info(m.name) WHERE pk > 0)", -1, &s, nullptr);
    while (sqlite3_step(s) == SQLITE_ROW)
        keyless << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(s, 0)));
    sqlite3_finalize(s);
    run(db, "BEGIN; PRAGMA writable_schema = ON");
    for (const QString& t : keyless) {
        sqlite3_prepare_v2(db, "UPDATE sqlite_master SET sql = substr(rtrim(sql), 1, length(rtrim(sql)) - 1) || "
                               "', bench_rowid INTEGER PRIMARY KEY)' WHERE type = 'table' AND name = ?", -1, &s, nullptr);
        const QByteArray name = t.toUtf8();
        sqlite3_bind_text(s, 1, name.constData(), int(name.size()), SQLITE_TRANSIENT);
        if (sqlite3_step(s) != SQLITE_DONE)
            qFatal("%s", sqlite3_errmsg(db));
        sqlite3_finalize(s);
    }
    run(db, "PRAGMA writable_schema = OFF");
    sqlite3_prepare_v2(db, "PRAGMA schema_version", -1, &s, nullptr);
    sqlite3_step(s);
    const int version = sqlite3_column_int(s, 0);
    sqlite3_finalize(s);
    run(db, QStringLiteral("PRAGMA schema_version = %1; COMMIT").arg(version + 1).toUtf8().constData());
    sqlite3_close_v2(db);
    sqlite3* check = openDb(path);
    sqlite3_prepare_v2(check, "PRAGMA quick_check", -1, &s, nullptr);
    if (sqlite3_step(s) != SQLITE_ROW || qstrcmp(reinterpret_cast<const char*>(sqlite3_column_text(s, 0)), "ok") != 0)
        qFatal("the keyed copy %s is damaged", qPrintable(path));
    sqlite3_finalize(s);
    sqlite3_close_v2(check);
}

// One side's changes recorded as a changeset: every table, the replication columns the capture triggers wrote
// and the tombstones included.
QByteArray recordChanges(const QString& path, int side)
{
    sqlite3* db = openDb(path);
    sqlite3_session* session = nullptr;
    if (sqlite3session_create(db, "main", &session) != SQLITE_OK || sqlite3session_attach(session, nullptr) != SQLITE_OK)
        qFatal("no session: %s", sqlite3_errmsg(db));
    changeSide(db, side);
    int size = 0;
    void* data = nullptr;
    if (sqlite3session_changeset(session, &size, &data) != SQLITE_OK)
        qFatal("no changeset");
    const QByteArray out(static_cast<const char*>(data), size);
    sqlite3_free(data);
    sqlite3session_delete(session);
    sqlite3_close_v2(db);
    return out;
}

// The floor of the exchange: each side's changeset applied on the other side, the capture triggers quiet as
// in the exchange (the changesets carry the replication columns). A row changed on both sides takes the
// incoming version.
double applyChangesets(const QString& a, const QByteArray& fromB, const QString& b, const QByteArray& fromA)
{
    auto onConflict = [](void*, int kind, sqlite3_changeset_iter*) {
        return kind == SQLITE_CHANGESET_DATA || kind == SQLITE_CHANGESET_CONFLICT ? SQLITE_CHANGESET_REPLACE
                                                                                   : SQLITE_CHANGESET_OMIT;
    };
    QElapsedTimer t;
    t.start();
    for (const auto& [path, changes] : {std::pair{a, fromB}, std::pair{b, fromA}}) {
        sqlite3* db = openDb(path);
        run(db, "PRAGMA journal_mode = DELETE; PRAGMA cache_size = -131072; UPDATE repl_info SET applying = 1");
        if (sqlite3changeset_apply(db, int(changes.size()), const_cast<char*>(changes.constData()), nullptr, onConflict,
                                   nullptr) != SQLITE_OK)
            qFatal("changeset not applied: %s", sqlite3_errmsg(db));
        run(db, "UPDATE repl_info SET applying = 0");
        sqlite3_close_v2(db);
    }
    return msSince(t);
}

// A copy of the user tables with only what both files must agree on: the user columns and the row identity,
// in identity order (local generations and the text form of lineages differ by design; a row never changed
// has its identity derived from its rowid, which both files share).
QString checkCopy(const QString& path, const QString& out)
{
    QFile::remove(out);
    sqlite3* db = openDb(path, SQLITE_OPEN_CREATE);
    run(db, QStringLiteral("ATTACH '%1' AS c").arg(out).toUtf8().constData());
    static const char* tables[] = {"Ratings", "PanelComments", "DefectQuantity", "ImagePaths", "Videos", "Panels",
                                   "AvailableElements", "Tunnels", "InspectionPeriod", "System"};
    for (const char* t : tables) {
        QStringList cols;
        sqlite3_stmt* s = nullptr;
        sqlite3_prepare_v2(db, QStringLiteral("SELECT name FROM pragma_table_info('%1')").arg(t).toUtf8().constData(), -1, &s,
                           nullptr);
        while (sqlite3_step(s) == SQLITE_ROW) {
            const QString c = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(s, 0)));
            if (c != "s_Generation" && c != "s_Lineage" && c != "s_GUID")
                cols << '"' + c + '"';
        }
        sqlite3_finalize(s);
        run(db, QStringLiteral("CREATE TABLE c.\"%1\" AS SELECT coalesce(s_GUID, CAST('~%1:' || rowid AS BLOB)) AS id, %2 "
                               "FROM main.\"%1\" ORDER BY id")
                    .arg(t, cols.join(", "))
                    .toUtf8()
                    .constData());
    }
    sqlite3_close_v2(db);
    return out;
}

double median(QVector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// ---------------------------------------------------------------- the size case

struct SizeCase {
    QString name;
    qint64 plain = 0, replicable = 0, replica = 0;
    double vacuumMs = 0, replicableMs = 0, replicaMs = 0, handfulMs = 0;
};

qint64 fileSize(const QString& path) { return QFileInfo(path).size(); }

// The plain database of bench/scale, built by that program (next to this one) or kept in the folder.
QString scaleDatabase(const QString& folder, const QString& size, bool keep)
{
    const QString db = QDir(folder).filePath(QStringLiteral("krv-%1.db").arg(size));
    if (keep && QFileInfo::exists(db))
        return db;
    const QString builder = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("bench_scale"));
    if (!QFileInfo::exists(builder))
        return QString();
    QFile::remove(db);
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("SQLITE_TMPDIR"), folder);
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.start(builder, {QStringLiteral("--build"), db, size});
    if (!child.waitForFinished(-1) || child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0)
        return QString();
    return db;
}

SizeCase measureSize(const QString& plain, const QString& folder, const QString& name)
{
    SizeCase c;
    c.name = name;
    c.plain = fileSize(plain);
    const QString vacuumed = QDir(folder).filePath(QStringLiteral("vacuum-%1.db").arg(name));
    const QString master = QDir(folder).filePath(QStringLiteral("master-%1.db").arg(name));
    const QString replica = QDir(folder).filePath(QStringLiteral("replica-%1.db").arg(name));
    for (const QString& f : {vacuumed, master, replica})
        QFile::remove(f);
    // Both timed from a file read once before, so neither pays for the first read from disk alone.
    QFile::copy(plain, master);
    {
        QElapsedTimer t;
        t.start();
        sqlite3* db = openDb(plain);
        run(db, QStringLiteral("VACUUM INTO '%1'").arg(vacuumed).toUtf8().constData());
        sqlite3_close_v2(db);
        c.vacuumMs = msSince(t);
    }
    QFile::remove(vacuumed);
    QString error;
    {
        QElapsedTimer t;
        t.start();
        if (makeReplicable(master, &error) != 0)
            qFatal("%s", qPrintable(error));
        c.replicableMs = msSince(t);
    }
    c.replicable = fileSize(master);
    {
        QElapsedTimer t;
        t.start();
        if (makeReplica(master, replica, QStringLiteral("field"), 90, 0, {}, &error) != 0)
            qFatal("%s", qPrintable(error));
        c.replicaMs = msSince(t);
    }
    c.replica = fileSize(replica);
    // A handful of changes on each side of the big pair, exchanged; the median of three rounds.
    QVector<double> handful;
    for (int round = 0; round < 3; ++round) {
        for (const auto& [file, side] : {std::pair{master, 0}, std::pair{replica, 1}}) {
            sqlite3* db = openDb(file);
            run(db, QStringLiteral("BEGIN; UPDATE Ratings SET Rating = %1 WHERE rowid IN (SELECT rowid FROM Ratings "
                                   "WHERE InspectionID = 1 AND PanelID = 1 + %2 LIMIT 5);"
                                   "DELETE FROM ImagePaths WHERE rowid = (SELECT max(rowid) - %2 FROM ImagePaths);"
                                   "INSERT INTO DefectQuantity (ID, PanelID, InspectionID, Quantity) VALUES (%3, 1, 1, 2); COMMIT")
                        .arg(side + 1 + 2 * round)
                        .arg(side + 2 * round)
                        .arg(900000000 + side + 2 * round)
                        .toUtf8()
                        .constData());
            sqlite3_close_v2(db);
        }
        // Both files on disk first, so the exchange's commit does not pay for writing the copies.
        for (const QString& f : {master, replica}) {
            QFile file(f);
            if (file.open(QIODevice::ReadOnly))
                ::fsync(file.handle());
        }
        QElapsedTimer t;
        t.start();
        if (synchronize(master, replica, Direction::Both, {}, {}, nullptr, &error) != 0)
            qFatal("%s", qPrintable(error));
        handful << msSince(t);
    }
    c.handfulMs = median(handful);
    for (const QString& f : {master, replica})
        QFile::remove(f);
    return c;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    const bool large = args.contains(QStringLiteral("--large"));
    const int at = int(args.indexOf(QStringLiteral("--folder")));
    QTemporaryDir dir;
    if (!dir.isValid())
        qFatal("no temporary folder");
    const QString folder = at >= 0 ? args.value(at + 1) : dir.path();
    if (folder.isEmpty() || !QDir().mkpath(folder))
        qFatal("no folder for the databases");
    const QString master = dir.filePath("master.db");
    std::printf("Building the master (%d panels x %d elements)...\n", kPanels, kElements);
    std::fflush(stdout);
    buildMaster(master);
    QString error;
    if (makeReplicable(master, &error) != 0)
        qFatal("%s", qPrintable(error));

    QVector<double> exchange, floor, idle, session, record;
    bool equal = true;
    bool idleWrote = false;

    QString diffReport;
    Exchange last;
    for (int r = 0; r < kRuns; ++r) {
        const QString a = dir.filePath(QStringLiteral("a%1.db").arg(r));
        const QString b = dir.filePath(QStringLiteral("b%1.db").arg(r));
        QFile::copy(master, a);
        if (makeReplica(a, b, "bench", 90, 0, {}, &error) != 0)
            qFatal("%s", qPrintable(error));
        {
            const QString sa = dir.filePath(QStringLiteral("session-a%1.db").arg(r));
            const QString sb = dir.filePath(QStringLiteral("session-b%1.db").arg(r));
            QFile::copy(a, sa);
            QFile::copy(b, sb);
            declareRowidKeys(sa);
            declareRowidKeys(sb);
            const QByteArray fromA = recordChanges(sa, 0);
            const QByteArray fromB = recordChanges(sb, 1);
            session << applyChangesets(sa, fromB, sb, fromA);
            QFile::remove(sa);
            QFile::remove(sb);
        }
        changeSide(a, 0);
        changeSide(b, 1);

        floor << backupCopy(a, dir.filePath("floor.db"));

        QElapsedTimer t;
        t.start();
        if (synchronize(a, b, Direction::Both, {}, {}, &last, &error) != 0)
            qFatal("exchange failed: %s", qPrintable(error));
        exchange << msSince(t);

        const int historyA = historyCount(a), historyB = historyCount(b);
        Exchange nothing;
        if (synchronize(a, b, Direction::Both, {}, {}, &nothing, &error) != 0)
            qFatal("exchange failed: %s", qPrintable(error));
        if (nothing.insertsReceived + nothing.updatesReceived + nothing.deletesReceived + nothing.insertsAndUpdatesSent +
                nothing.deletesSent != 0)
            qFatal("the second exchange still had rows to send");
        // An exchange with nothing to send writes its history item to each file, and nothing else.
        if (historyCount(a) != historyA + 1 || historyCount(b) != historyB + 1)
            idleWrote = true;
        {
            // Both are bound by the disk's flushes, whose time varies widely on a shared machine: timed in turns,
            // many times, on files already on disk, and the least of each compared.
            const QString ra = dir.filePath("rec-a.db"), rb = dir.filePath("rec-b.db");
            QFile::remove(ra);
            QFile::remove(rb);
            QFile::copy(a, ra);
            QFile::copy(b, rb);
            for (const QString& f : {a, b, ra, rb}) {
                QFile file(f);
                if (file.open(QIODevice::ReadOnly))
                    ::fsync(file.handle());
            }
            for (int turn = 0; turn < kIdleTurns; ++turn) {
                t.restart();
                if (synchronize(a, b, Direction::Both, {}, {}, &nothing, &error) != 0)
                    qFatal("exchange failed: %s", qPrintable(error));
                idle << msSince(t);
                record << durableRecord(ra, rb);
            }
            QFile::remove(ra);
            QFile::remove(rb);
        }

        if (r == 0) {
            const QString sqldiff = QStandardPaths::findExecutable("sqldiff");
            if (sqldiff.isEmpty()) {
                equal = false;
                diffReport = "sqldiff not found (Debian package sqlite3-tools)";
            } else {
                const QString ca = checkCopy(a, dir.filePath("check-a.db"));
                const QString cb = checkCopy(b, dir.filePath("check-b.db"));
                QProcess p;
                p.start(sqldiff, {ca, cb});
                p.waitForFinished(120000);
                const QByteArray out = p.readAllStandardOutput() + p.readAllStandardError();
                equal = p.exitCode() == 0 && out.trimmed().isEmpty();
                diffReport = equal ? QStringLiteral("no differences") : QString::fromUtf8(out.left(400));
            }
        }
        QFile::remove(a);
        QFile::remove(b);
    }
    const double ex = median(exchange), fl = median(floor), se = median(session);
    const double id = *std::min_element(idle.begin(), idle.end()), rc = *std::min_element(record.begin(), record.end());
    const double idleWork = std::max(0.0, id - rc);
    std::printf("Rows exchanged: %d received, %d sent (inserts+updates %d/%d, deletions %d/%d), %d conflicts\n",
                last.insertsReceived + last.updatesReceived + last.deletesReceived,
                last.insertsAndUpdatesSent + last.deletesSent, last.insertsReceived + last.updatesReceived,
                last.insertsAndUpdatesSent, last.deletesReceived, last.deletesSent, last.conflicts);
    std::printf("(a) two-way exchange, 10,000 changes each side: %8.1f ms (median of %d)\n", ex, kRuns);
    std::printf("(b) full backup copy of the master:             %8.1f ms (a/b = %.2f)\n", fl, ex / fl);
    std::printf("(c) exchange with nothing to send:              %8.1f ms = %.3f x (b) (least of %d)\n", id, id / fl,
                int(idle.size()));
    std::printf("(f) one row written durably to each of both files:  %6.1f ms (the least that recording the exchange costs; "
                "least of %d, in turns with (c))\n",
                rc, int(record.size()));
    std::printf("    (c) above (f): %.1f ms = %.3f x (b) (goal <= 0.1: %s)\n", idleWork, idleWork / fl,
                idleWork / fl <= 0.1 ? "met" : "NOT met");
    std::printf("    the exchanges with nothing to send wrote their history item and nothing else: %s\n",
                idleWrote ? "NO" : "yes");
    std::printf("(e) the same changes as SQLite session changesets, each applied on the other side: %.1f ms\n", se);
    std::printf("    ratio a/e: %.2f (goal <= 2.0: %s)\n", ex / se, ex / se <= 2.0 ? "met" : "NOT met");
    std::printf("sqldiff of the user tables of both files: %s\n", qPrintable(diffReport));
    std::fflush(stdout);
    QStringList missed;
    if (ex / se > 2.0)
        missed << QStringLiteral("ratio a/e %1 > 2.0").arg(ex / se, 0, 'f', 2);
    if (idleWork / fl > 0.1)
        missed << QStringLiteral("nothing to send, above its durable record, %1 x (b) > 0.1").arg(idleWork / fl, 0, 'f', 3);
    if (idleWrote)
        missed << QStringLiteral("an exchange with nothing to send did not record exactly its history item");
    if (!equal)
        missed << QStringLiteral("the files differ");

    // The size case.
    QStringList sizes{QStringLiteral("M")};
    if (large)
        sizes << QStringLiteral("L");
    for (const QString& size : sizes) {
        std::printf("\nSize case %s: %s the plain database...\n", qPrintable(size),
                    at >= 0 && QFileInfo::exists(QDir(folder).filePath(QStringLiteral("krv-%1.db").arg(size))) ? "keeping"
                                                                                                             : "building");
        std::fflush(stdout);
        const QString plain = scaleDatabase(folder, size, at >= 0);
        if (plain.isEmpty()) {
            missed << QStringLiteral("size case %1: no database (bench_scale is built beside this program)").arg(size);
            continue;
        }
        const SizeCase c = measureSize(plain, folder, size);
        const double grown = double(c.replicable) / double(c.plain);
        const double replicaGrown = double(c.replica) / double(c.plain);
        const double slower = c.replicableMs / c.vacuumMs;
        std::printf("%s: plain file                     %10.1f MB\n", qPrintable(size), c.plain / 1e6);
        std::printf("%s: made replicable                %10.1f MB = %.3f x plain (goal <= 1.3: %s)\n", qPrintable(size),
                    c.replicable / 1e6, grown, grown <= 1.3 ? "met" : "NOT met");
        std::printf("%s: a replica of it                %10.1f MB = %.3f x plain (goal <= 1.3: %s), made in %.0f ms\n",
                    qPrintable(size), c.replica / 1e6, replicaGrown, replicaGrown <= 1.3 ? "met" : "NOT met", c.replicaMs);
        std::printf("%s: making it replicable           %10.0f ms = %.2f x VACUUM INTO of the plain file, %.0f ms "
                    "(goal <= 3.0: %s)\n",
                    qPrintable(size), c.replicableMs, slower, c.vacuumMs, slower <= 3.0 ? "met" : "NOT met");
        std::printf("%s: an exchange of 7 changed rows a side between them: %.1f ms (median of 3)\n", qPrintable(size), c.handfulMs);
        std::fflush(stdout);
        if (grown > 1.3)
            missed << QStringLiteral("%1: replicable file %2 x plain > 1.3").arg(size).arg(grown, 0, 'f', 3);
        if (replicaGrown > 1.3)
            missed << QStringLiteral("%1: replica %2 x plain > 1.3").arg(size).arg(replicaGrown, 0, 'f', 3);
        if (slower > 3.0)
            missed << QStringLiteral("%1: making replicable %2 x VACUUM INTO > 3.0").arg(size).arg(slower, 0, 'f', 2);
    }

    if (missed.isEmpty())
        std::printf("\nGoals met.\n");
    else
        std::printf("\nGoals not met: %s\n", qPrintable(missed.join(QStringLiteral("; "))));
    return 0;
}

// Builds a master of the posting benchmark's size (2,000 panels x 25 elements: 50,000 ratings, with
// comments, defect quantities, pictures and clips in proportion), makes it replicable and makes a
// replica. Then 10,000 rows change on each side (updates, inserts and deletes; 1,000 of the updates hit
// the same rows on both sides) and the two-way exchange is timed (a), against a full SQLite backup copy
// of the master (b, the floor). Also times an exchange with nothing to send, and checks with sqldiff
// that the user tables of both files are equal afterwards. Also times (d): the same changes written by bare SQL
// with nothing decided, what writing them costs before any deciding.
#include "replstore.h"
#include "schema.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <sqlite3.h>

#include <algorithm>
#include <cstdio>

using namespace Varnock::Store;

namespace {

constexpr int kPanels = 2000;
constexpr int kElements = 25;
constexpr int kRuns = 3;

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
void changeSide(const QString& path, int side)
{
    sqlite3* db = openDb(path);
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
    sqlite3_close_v2(db);
}

QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

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
    return t.nsecsElapsed() / 1e6;
}

// The bare writes of this exchange, as plain SQL over the two files with nothing decided: each side's changed
// ratings written over the other's rows (joined by row identity), its new defect quantities inserted, its deleted
// pictures deleted with their tombstones, one transaction over both files. The exchange cannot write these
// changes for less in these files, so this bounds what it can reach against the floor.
double bareWrites(const QString& a, const QString& b)
{
    QElapsedTimer t;
    t.start();
    sqlite3* db = openDb(a);
    run(db, QStringLiteral("ATTACH '%1' AS partner").arg(b).toUtf8().constData());
    run(db, "PRAGMA main.journal_mode = DELETE; PRAGMA partner.journal_mode = DELETE; PRAGMA temp_store = MEMORY;"
            "PRAGMA main.cache_size = -131072; PRAGMA partner.cache_size = -131072;");
    run(db, "BEGIN IMMEDIATE; UPDATE main.repl_info SET applying = 1; UPDATE partner.repl_info SET applying = 1;"
            "CREATE TEMP TABLE st (srid INTEGER, trid INTEGER, lin TEXT, guid BLOB)");
    for (const auto& [from, to] : {std::pair{"main", "partner"}, std::pair{"partner", "main"}}) {
        const QString gen = QStringLiteral("(SELECT generation FROM %1.repl_info)").arg(from);
        const QString sql = QStringLiteral(
            "DELETE FROM st;"
            "INSERT INTO st SELECT s.rowid, t.rowid, s.s_Lineage, s.s_GUID FROM %1.Ratings s JOIN %2.Ratings t "
            " ON t.s_GUID = s.s_GUID WHERE s.s_Generation = %3;"
            "UPDATE %2.Ratings AS t SET Rating = s.Rating, s_Lineage = o.lin, s_Generation = %3 + 1 FROM st o "
            " JOIN %1.Ratings s ON s.rowid = o.srid WHERE t.rowid = o.trid;"
            "INSERT INTO %2.DefectQuantity SELECT * FROM %1.DefectQuantity WHERE s_Generation = %3;"
            "DELETE FROM st;"
            "INSERT INTO st SELECT NULL, t.rowid, s.lineage, s.guid FROM %1.repl_tombstones s JOIN %2.ImagePaths t "
            " ON t.s_GUID = s.guid WHERE s.generation = %3;"
            "DELETE FROM %2.ImagePaths WHERE rowid IN (SELECT trid FROM st);"
            "INSERT OR REPLACE INTO %2.repl_tombstones (guid, tbl, rid, generation, lineage) "
            " SELECT guid, 'ImagePaths', trid, %3 + 1, lin FROM st;")
                                .arg(QLatin1String(from), QLatin1String(to), gen);
        run(db, sql.toUtf8().constData());
    }
    run(db, "UPDATE main.repl_info SET applying = 0; UPDATE partner.repl_info SET applying = 0; COMMIT");
    sqlite3_close_v2(db);
    return t.nsecsElapsed() / 1e6;
}

// A copy of the user tables with only what both files must agree on: the user columns and the row identity,
// in identity order (local generations and the text form of lineages differ by design).
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
            if (c != "s_Generation" && c != "s_Lineage")
                cols << '"' + c + '"';
        }
        sqlite3_finalize(s);
        run(db, QStringLiteral("CREATE TABLE c.\"%1\" AS SELECT %2 FROM main.\"%1\" ORDER BY s_GUID")
                    .arg(t, cols.join(", "))
                    .toUtf8()
                    .constData());
    }
    sqlite3_close_v2(db);
    return out;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    if (!dir.isValid())
        qFatal("no temporary folder");
    const QString master = dir.filePath("master.db");
    std::printf("Building the master (%d panels x %d elements)...\n", kPanels, kElements);
    std::fflush(stdout);
    buildMaster(master);
    QString error;
    if (makeReplicable(master, &error) != 0)
        qFatal("%s", qPrintable(error));

    QVector<double> exchange, floor, idle, bare;
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
        changeSide(a, 0);
        changeSide(b, 1);

        floor << backupCopy(a, dir.filePath("floor.db"));
        {
            const QString ba = dir.filePath(QStringLiteral("bare-a%1.db").arg(r));
            const QString bb = dir.filePath(QStringLiteral("bare-b%1.db").arg(r));
            QFile::copy(a, ba);
            QFile::copy(b, bb);
            bare << bareWrites(ba, bb);
        }

        QElapsedTimer t;
        t.start();
        if (synchronize(a, b, Direction::Both, {}, {}, &last, &error) != 0)
            qFatal("exchange failed: %s", qPrintable(error));
        exchange << t.nsecsElapsed() / 1e6;

        const QByteArray beforeA = fileBytes(a), beforeB = fileBytes(b);
        Exchange nothing;
        t.restart();
        if (synchronize(a, b, Direction::Both, {}, {}, &nothing, &error) != 0)
            qFatal("exchange failed: %s", qPrintable(error));
        idle << t.nsecsElapsed() / 1e6;
        if (nothing.insertsReceived + nothing.updatesReceived + nothing.deletesReceived + nothing.insertsAndUpdatesSent +
                nothing.deletesSent != 0)
            qFatal("the second exchange still had rows to send");
        // An exchange with nothing to send writes nothing at all.
        if (fileBytes(a) != beforeA || fileBytes(b) != beforeB)
            idleWrote = true;

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
    }
    auto median = [](QVector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    const double ex = median(exchange), fl = median(floor), id = median(idle), bw = median(bare);
    std::printf("Rows exchanged: %d received, %d sent (inserts+updates %d/%d, deletions %d/%d), %d conflicts\n",
                last.insertsReceived + last.updatesReceived + last.deletesReceived,
                last.insertsAndUpdatesSent + last.deletesSent, last.insertsReceived + last.updatesReceived,
                last.insertsAndUpdatesSent, last.deletesReceived, last.deletesSent, last.conflicts);
    std::printf("(a) two-way exchange, 10,000 changes each side: %8.1f ms (median of %d)\n", ex, kRuns);
    std::printf("(b) full backup copy of the master (floor):     %8.1f ms\n", fl);
    std::printf("    ratio a/b: %.2f (goal <= 2.0: %s)\n", ex / fl, ex / fl <= 2.0 ? "met" : "NOT met");
    std::printf("(c) exchange with nothing to send:              %8.1f ms = %.3f x floor (goal <= 0.1: %s)\n", id,
                id / fl, id / fl <= 0.1 ? "met" : "NOT met");
    std::printf("    the exchanges with nothing to send left both files unchanged: %s\n", idleWrote ? "NO" : "yes");
    std::printf("(d) the bare writes of these changes in plain SQL, nothing decided: %.1f ms = %.2f x floor\n"
                "    (what writing them costs in these files before anything is decided: a floor for ratio a/b)\n",
                bw, bw / fl);
    std::printf("sqldiff of the user tables of both files: %s\n", qPrintable(diffReport));
    QStringList missed;
    if (ex / fl > 2.0)
        missed << QStringLiteral("ratio a/b %1 > 2.0").arg(ex / fl, 0, 'f', 2);
    if (id / fl > 0.1)
        missed << QStringLiteral("nothing to send %1 x floor > 0.1").arg(id / fl, 0, 'f', 3);
    if (idleWrote)
        missed << QStringLiteral("an exchange with nothing to send wrote to a file");
    if (!equal)
        missed << QStringLiteral("the files differ");
    if (missed.isEmpty())
        std::printf("Goals met.\n");
    else
        std::printf("Goals not met: %s\n", qPrintable(missed.join(QStringLiteral("; "))));
    return 0;
}

// Times filling the report working database for 2,000 panels x 25 elements x 2 periods, with a
// minimum bound on half of the elements, through the real build (a), against the floor (b): a
// plain INSERT ... SELECT of the same ratings from an attached copy of the tunnel database into
// a fresh working database, in one transaction. Median of three alternating runs.

#include "db.h"
#include "globals.h"
#include "modCreateReportRatings.h"
#include "schema.h"
#include "settings.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int kPanels = 2000;
constexpr int kElements = 25;
constexpr int kRuns = 3;

double median(QVector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Two periods of one tunnel, every panel rated; ratings mostly 2 to 9, a few 1s, one in 50 unrated.
void buildTunnelDatabase(const QString& path)
{
    QString error;
    if (!CreateTunnelDatabase(path, &error))
        qFatal("cannot make the database: %s", qPrintable(error));
    gConn.open(path);
    TxGuard tx;
    gConn.exec(QStringLiteral("INSERT INTO System (SystemID, SystemName) VALUES (1, 'Bench')"));
    gConn.exec(QStringLiteral("INSERT INTO Tunnels (TunnelID, SystemID, TunnelName) VALUES (1, 1, 'North')"));
    gConn.exec(QStringLiteral("INSERT INTO InspectionPeriod (InspectionID, TunnelID, InspectionYear) "
                              "VALUES (1, 1, 2022), (2, 1, 2024)"));
    gConn.exec(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < ?) "
                              "INSERT INTO AvailableElements (ElementID, ElementName, ElementCategory) "
                              "SELECT i, 'Element ' || i, 1 FROM n"),
               {kElements});
    gConn.exec(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < ?) "
                              "INSERT INTO Panels (PanelID, TunnelID, PanelNum, PanelName) SELECT i, 1, i, 'P' || i FROM n"),
               {kPanels});
    gConn.exec(QStringLiteral(
        "INSERT INTO Ratings (InspectionID, PanelID, ElementID, Rating, Posted) "
        "SELECT ip.InspectionID, p.PanelID, e.ElementID, "
        "CASE WHEN (p.PanelID * 7 + e.ElementID * 3 + ip.InspectionID) % 50 = 0 THEN NULL "
        "     WHEN (p.PanelID * 13 + e.ElementID * 11 + ip.InspectionID * 5) % 997 = 0 THEN 1 "
        "     ELSE 2 + (p.PanelID + e.ElementID * 3 + ip.InspectionID) % 8 END, 1 "
        "FROM InspectionPeriod ip, Panels p, AvailableElements e"));
    tx.commit();
}

ReportRatingsSelection selection()
{
    ReportRatingsSelection s;
    s.tunnelIDs = {1};
    s.period1 = QStringLiteral("2022");
    s.period2 = QStringLiteral("2024");
    for (int e = 1; e <= kElements; ++e)
        s.elements.append({e, true, e % 2 ? QStringLiteral("2") : QString(), QString()});
    return s;
}

void freshReportDatabase(const QString& path)
{
    QFile::remove(path);
    QString error;
    if (!CreateReportDatabase(path, &error))
        qFatal("cannot make the working database: %s", qPrintable(error));
}

}  // namespace

int main(int argc, char** argv)
{
    // A failure is reported through a message box; no display is needed for it.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    SetProgramFolder(dir.path());
    const QString tunnelDb = dir.filePath(QStringLiteral("krv.db"));
    const QString reportDb = dir.filePath(QStringLiteral("ReportData.db"));
    const QString floorDb = dir.filePath(QStringLiteral("Floor.db"));
    WriteIniString(dir.filePath(QStringLiteral("krv.ini")), QStringLiteral("KRV"), QStringLiteral("ReportRatingsFile"),
                   reportDb);

    QElapsedTimer timer;
    timer.start();
    buildTunnelDatabase(tunnelDb);
    std::printf("tunnel database: %d panels x %d elements x 2 periods = %d ratings, built in %lld ms\n", kPanels,
                kElements, kPanels * kElements * 2, timer.elapsed());

    QVector<double> build, floor;
    int rows = 0, floorRows = 0;
    for (int run = 0; run < kRuns; ++run) {
        gReportConn.close();
        freshReportDatabase(reportDb);
        timer.start();
        if (!CreateReportRatings(selection()))
            qFatal("the build failed");
        build << timer.nsecsElapsed() / 1e6;
        rows = gReportConn.scalar(QStringLiteral("SELECT count(*) FROM ReportRatings")).toInt();
        gReportConn.close();

        freshReportDatabase(floorDb);
        timer.start();
        {
            Connection conn(QStringLiteral("floor"));
            conn.open(floorDb);
            conn.exec(QStringLiteral("ATTACH DATABASE ? AS src"), {tunnelDb});
            TxGuard tx(conn);
            conn.exec(QStringLiteral("INSERT INTO ReportRatings (InspectionID, PanelID, ElementID, Rating) "
                                     "SELECT InspectionID, PanelID, ElementID, Rating FROM src.Ratings "
                                     "WHERE InspectionID IN (1, 2)"));
            tx.commit();
            floor << timer.nsecsElapsed() / 1e6;
            floorRows = conn.scalar(QStringLiteral("SELECT count(*) FROM ReportRatings")).toInt();
        }
    }
    const double a = median(build), b = median(floor);
    std::printf("build (copy, bounds on %d elements, n/a rows): %.1f ms, %d rows left\n", (kElements + 1) / 2, a, rows);
    std::printf("floor (INSERT ... SELECT from the attached copy): %.1f ms, %d rows\n", b, floorRows);
    std::printf("ratio build/floor: %.2f (goal <= 2.0)\n", a / b);
    std::printf("%s\n", a / b <= 2.0 ? "goals met" : "goal not met: ratio build/floor <= 2.0");
    return 0;
}

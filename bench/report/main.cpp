// Renders an expenditure-style report (titles, 200 category groups with a silver header,
// column headings, subtotal and group value in the footer, grand total, print date and
// "Page n of m" on every page) of 10,000 and 100,000 rows to PDF through the real engine
// (a), against the floor (b): the same rows drawn as plain text lines with QPainter on a
// QPdfWriter, 50 lines a page, no layout. Each size runs in a child process of its own so
// its peak memory is its own.
//
// Then the defect report of 5 tunnels x 4 years x 2,000 posted defects (40,000 rows), read
// and laid out by the program's own report builder and written to PDF, against its floor:
// the plain SELECT of the same rows and the same rows drawn as plain text lines.
//
// Then the report window with the same report of 10,000 and 100,000 rows: the time from the
// report handed over to its first page painted, paging to the last page and back, and the
// peak memory of the process (each size in a child of its own).
//
//   bench_report             runs all, prints the figures and goals
//   bench_report --rows N    one size: prints "rows load engine floor pages peakKiB"
//   bench_report --defects   the defect report: prints "rows select build floor pages"
//   bench_report --viewer N  the report window: prints "rows firstPageMs lastPageMs pages peakKiB"

#include "db.h"
#include "dbdefects.h"
#include "frmReportViewer.h"
#include "report.h"
#include "reportlayout.h"
#include "reportlayouts.h"
#include "schema.h"

#include <QApplication>
#include <QDate>
#include <QElapsedTimer>
#include <QFile>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>

namespace {

constexpr int kGroups = 200;

long PeakKiB()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

void BuildData(const QString& path, int rows)
{
    QString error;
    if (!CreateTunnelDatabase(path, &error))
        qFatal("cannot make the database: %s", qPrintable(error));
    gConn.open(path);
    TxGuard tx;
    for (int t = 1; t <= 12; ++t)
        gConn.exec(QStringLiteral("INSERT INTO Tunnels (TunnelName) VALUES (?)"),
                   {QStringLiteral("Tunnel %1").arg(t, 2, 10, QLatin1Char('0'))});
    for (int c = 1; c <= kGroups; ++c)
        gConn.exec(QStringLiteral("INSERT INTO ExpenditureCats (Category) VALUES (?)"),
                   {QStringLiteral("Category %1").arg(c, 3, 10, QLatin1Char('0'))});
    const QDate first(2000, 1, 1);
    for (int i = 0; i < rows; ++i)
        gConn.exec(QStringLiteral("INSERT INTO Expenditures (TunnelID, CategoryID, Cost, [Date], Comments) "
                                  "VALUES (?, ?, ?, ?, ?)"),
                   {1 + i % 12, 1 + (i * 7) % kGroups, double((i * 37) % 100000) / 7.0,
                    first.addDays(i % 7000).toString(Qt::ISODate), QStringLiteral("Work order %1").arg(i % 5000)});
    tx.commit();
}

// The report as the expenditure report is put together: grouped by category.
std::shared_ptr<Report> BuildReport(DataTable data)
{
    auto r = std::make_shared<Report>();
    r->data = std::move(data);
    r->title = QStringLiteral("Expenditures Report");
    r->sortBy(QStringLiteral("TunnelName"));
    const int g = r->addGroup(QStringLiteral("Category"));
    const double w = r->sectionWidth();
    r->reportHeader().add(ReportObject::textObject(QStringLiteral("Corvane Quorrel"), 0, 235, w, 390).size(18).bold().italic().centre());
    r->reportHeader().add(ReportObject::textObject(QStringLiteral("Expenditures Report"), 0, 655, w, 390).size(18).bold().italic().centre());
    Section& gh = r->groupHeader(g);
    gh.height = 220;
    gh.background = QColor(192, 192, 192);
    gh.add(ReportObject::field(QStringLiteral("Category"), 0, 0, 5620, 226).bold());
    Section& d = r->details();
    d.height = 200;
    const struct {
        const char* name;
        double left, width, heading;
        bool money;
    } cols[] = {{"TunnelName", 240, 2280, 2280, false},
                {"Date", 2540, 1050, 1050, false},
                {"Cost", 3610, 1089, 1000, true},
                {"Comments", 4769, 2280, 2280, false}};
    for (const auto& c : cols) {
        ReportObject f = ReportObject::field(QLatin1String(c.name), c.left, 0, c.width, 236);
        ReportObject h = ReportObject::textObject(QLatin1String(c.name), c.left, 235, c.heading, 236).size(8).italic();
        if (c.money) {
            f.fixed(2).rightAligned();
            h.rightAligned();
        }
        if (QLatin1String(c.name) == QLatin1String("Comments"))
            f.grow();
        d.add(f);
        gh.add(h);
    }
    Section& gf = r->groupFooter(g);
    gf.add(ReportObject::field(QStringLiteral("Category"), 0, 100, 3570, 236).bold().rightAligned());
    gf.add(ReportObject::textObject(QStringLiteral("Subtotal:"), 0, 300, 3570, 236).bold().rightAligned());
    gf.add(ReportObject::summary(SummaryOp::Sum, QStringLiteral("Cost"), g, 3610, 300, 1090, 236).fixed(2).bold().rightAligned());
    Section& rf = r->reportFooter();
    rf.height = 450;
    rf.add(ReportObject::summary(SummaryOp::Sum, QStringLiteral("Cost"), 0, 3610, 40, 1090, 236).fixed(2).bold().rightAligned());
    rf.add(ReportObject::line(3610, 286, 4700, 286));
    rf.add(ReportObject::textObject(QStringLiteral("Expenditures Grand Total:"), 0, 80, 3570, 236).bold().rightAligned());
    Section& pf = r->pageFooter();
    pf.height = 220;
    pf.add(ReportObject::specialField(SpecialField::PrintDate, 155, 429, 770, 226).size(8));
    pf.add(ReportObject::specialField(SpecialField::PageNofM, 155, 700, 1070, 226).size(8));
    return r;
}

// The floor: every row as one plain text line, 50 to a page, nothing measured or placed.
int Floor(const DataTable& data, const QString& path)
{
    QPdfWriter pdf(path);
    pdf.setResolution(1200);
    pdf.setPageSize(QPageSize(QPageSize::Letter));
    QPainter p(&pdf);
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPointSize(10);
    p.setFont(font);
    const double step = pdf.resolution() / 1440.0 * 236;
    int pages = 1;
    for (int r = 0; r < data.rowCount(); ++r) {
        if (r > 0 && r % 50 == 0) {
            pdf.newPage();
            ++pages;
        }
        QString line;
        for (int c = 0; c < data.columns.size(); ++c) {
            if (c)
                line += QLatin1String("   ");
            line += data.value(r, c).toString();
        }
        p.drawText(QPointF(step * 3, step * (3 + r % 50)), line);
    }
    p.end();
    return pages;
}

int RunOne(int rows)
{
    QTemporaryDir dir;
    BuildData(dir.filePath(QStringLiteral("krv.db")), rows);
    QElapsedTimer t;
    t.start();
    DataTable data = DataTable::fromQuery(
        gConn, QStringLiteral("SELECT Category, TunnelName, [Date], Cost, Comments FROM ExpenditureCats INNER JOIN "
                              "(Tunnels INNER JOIN Expenditures ON Tunnels.TunnelID = Expenditures.TunnelID) ON "
                              "ExpenditureCats.CategoryID = Expenditures.CategoryID"));
    const qint64 load = t.elapsed();
    gConn.close();
    t.restart();
    auto report = BuildReport(data);
    const int pages = WriteReportPdf(*report, dir.filePath(QStringLiteral("engine.pdf")));
    const qint64 engine = t.elapsed();
    report.reset();
    t.restart();
    const int floorPages = Floor(data, dir.filePath(QStringLiteral("floor.pdf")));
    const qint64 floor = t.elapsed();
    std::printf("%d %lld %lld %lld %d %d %ld\n", rows, load, engine, floor, pages, floorPages, PeakKiB());
    return 0;
}

// Posted defects of 5 tunnels x 4 years, 2,000 a tunnel and year, on 400 panels a tunnel.
void BuildDefects(const QString& path)
{
    QString error;
    if (!CreateTunnelDatabase(path, &error))
        qFatal("cannot make the database: %s", qPrintable(error));
    gConn.open(path);
    TxGuard tx;
    gConn.exec(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 5) "
                              "INSERT INTO Tunnels (TunnelID, TunnelName) SELECT i, 'Tunnel ' || i FROM n"));
    gConn.exec(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 2000) "
                              "INSERT INTO Panels (PanelID, TunnelID, PanelNum, PanelName) "
                              "SELECT i, 1 + (i - 1) / 400, 1 + (i - 1) % 400, 'P' || (1 + (i - 1) % 400) FROM n"));
    gConn.exec(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 20) "
                              "INSERT INTO InspectionPeriod (InspectionID, TunnelID, InspectionYear) "
                              "SELECT i, 1 + (i - 1) / 4, 2018 + 2 * ((i - 1) % 4) FROM n"));
    gConn.exec(QStringLiteral(
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 40000) "
        "INSERT INTO DefectQuantityPosted (ID, PanelID, InspectionID, Quantity, Units, UnitCost, TotalCost, Description) "
        "SELECT i, 1 + ((i - 1) / 8000) * 400 + (i % 400), 1 + (i - 1) / 2000, 1 + i % 9, 'sq ft', 12.5, "
        "12.5 * (1 + i % 9), 'Spalling near joint ' || (i % 97) FROM n"));
    tx.commit();
}

int RunDefects()
{
    QTemporaryDir dir;
    BuildDefects(dir.filePath(QStringLiteral("krv.db")));
    const QVector<qint32> tunnels{1, 2, 3, 4, 5};
    const QVector<qint32> years{2018, 2020, 2022, 2024};
    QElapsedTimer t;
    t.start();
    const RowSet plain = DbGetDefectReportRows(tunnels, years);
    const qint64 select = t.elapsed();
    t.restart();
    auto report = BuildDefectReport(DataTable::fromRowSet(DbGetDefectReportRows(tunnels, years)));
    const int pages = WriteReportPdf(*report, dir.filePath(QStringLiteral("defects.pdf")));
    const qint64 build = t.elapsed();
    report.reset();
    t.restart();
    const DataTable rows = DataTable::fromRowSet(DbGetDefectReportRows(tunnels, years));
    Floor(rows, dir.filePath(QStringLiteral("floor.pdf")));
    const qint64 floor = t.elapsed();
    std::printf("%d %lld %lld %lld %d\n", int(plain.count()), select, build, floor, pages);
    return 0;
}

int RunViewer(int rows)
{
    QTemporaryDir dir;
    BuildData(dir.filePath(QStringLiteral("krv.db")), rows);
    DataTable data = DataTable::fromQuery(
        gConn, QStringLiteral("SELECT Category, TunnelName, [Date], Cost, Comments FROM ExpenditureCats INNER JOIN "
                              "(Tunnels INNER JOIN Expenditures ON Tunnels.TunnelID = Expenditures.TunnelID) ON "
                              "ExpenditureCats.CategoryID = Expenditures.CategoryID"));
    gConn.close();
    auto report = BuildReport(std::move(data));
    auto* viewer = new frmReportViewer;
    viewer->show();
    QCoreApplication::processEvents();
    QElapsedTimer t;
    t.start();
    viewer->SetReport(report);
    viewer->pageView->repaint();
    const qint64 first = t.elapsed();
    t.restart();
    viewer->ShowPage(viewer->PageCount());
    viewer->pageView->repaint();
    const qint64 last = t.elapsed();
    // Paging through a stretch and back, as a reader does.
    for (int p = 1; p <= 40; ++p)
        viewer->ShowPage(p);
    for (int p = 40; p >= 1; --p)
        viewer->ShowPage(p);
    std::printf("%d %lld %lld %d %ld\n", rows, first, last, viewer->PageCount(), PeakKiB());
    delete viewer;
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 3 && args[1] == QLatin1String("--rows"))
        return RunOne(args[2].toInt());
    if (args.size() == 2 && args[1] == QLatin1String("--defects"))
        return RunDefects();
    if (args.size() == 3 && args[1] == QLatin1String("--viewer"))
        return RunViewer(args[2].toInt());

    struct Figures {
        int rows = 0;
        qint64 load = 0, engine = 0, floor = 0;
        int pages = 0, floorPages = 0;
        long peak = 0;
    };
    QVector<Figures> all;
    for (int rows : {10000, 100000}) {
        QProcess child;
        child.start(app.applicationFilePath(), {QStringLiteral("--rows"), QString::number(rows)});
        child.waitForFinished(-1);
        const QList<QByteArray> v = child.readAllStandardOutput().trimmed().split(' ');
        if (child.exitCode() != 0 || v.size() != 7)
            qFatal("run of %d rows failed", rows);
        all.append({v[0].toInt(), v[1].toLongLong(), v[2].toLongLong(), v[3].toLongLong(), v[4].toInt(), v[5].toInt(),
                    v[6].toLong()});
    }
    std::printf("Report to PDF, expenditure style, %d groups with subtotals\n", kGroups);
    std::printf("%8s %9s %12s %11s %7s %7s %8s %10s\n", "rows", "load ms", "engine ms", "floor ms", "ratio",
                "pages", "floor pp", "peak MiB");
    for (const Figures& f : all)
        std::printf("%8d %9lld %12lld %11lld %7.2f %7d %8d %10.1f\n", f.rows, f.load, f.engine, f.floor,
                    double(f.engine) / double(std::max<qint64>(f.floor, 1)), f.pages, f.floorPages, f.peak / 1024.0);
    const Figures& big = all.last();
    const double ratio = double(big.engine) / double(std::max<qint64>(big.floor, 1));
    const double memory = double(big.peak) / double(all.first().peak);
    std::printf("goal: engine / floor at 100,000 rows <= 2.0: %.2f %s\n", ratio, ratio <= 2.0 ? "met" : "NOT met");
    std::printf("goal: peak memory 100,000 / 10,000 rows <= 1.5: %.2f %s\n", memory,
                memory <= 1.5 ? "met" : "NOT met");

    QProcess child;
    child.start(app.applicationFilePath(), {QStringLiteral("--defects")});
    child.waitForFinished(-1);
    const QList<QByteArray> d = child.readAllStandardOutput().trimmed().split(' ');
    if (child.exitCode() != 0 || d.size() != 5)
        qFatal("the defect report run failed");
    const double build = d[2].toDouble(), floor = d[3].toDouble(), select = d[1].toDouble();
    std::printf("\nDefect report, 5 tunnels x 4 years x 2,000 defects: %d rows, %d pages\n", d[0].toInt(), d[4].toInt());
    std::printf("read, laid out and written to PDF: %.0f ms; plain SELECT: %.0f ms; floor (SELECT and plain "
                "text lines to PDF): %.0f ms\n", build, select, floor);
    const double defectRatio = build / std::max(floor, 1.0);
    std::printf("goal: defect report / floor <= 3.0: %.2f %s\n", defectRatio, defectRatio <= 3.0 ? "met" : "NOT met");

    struct Shown {
        int rows = 0;
        qint64 first = 0, last = 0;
        int pages = 0;
        long peak = 0;
    };
    QVector<Shown> views;
    for (int rows : {10000, 100000}) {
        QProcess viewerChild;
        viewerChild.start(app.applicationFilePath(), {QStringLiteral("--viewer"), QString::number(rows)});
        viewerChild.waitForFinished(-1);
        const QList<QByteArray> v = viewerChild.readAllStandardOutput().trimmed().split(' ');
        if (viewerChild.exitCode() != 0 || v.size() != 5)
            qFatal("the report window run of %d rows failed", rows);
        views.append({v[0].toInt(), v[1].toLongLong(), v[2].toLongLong(), v[3].toInt(), v[4].toLong()});
    }
    std::printf("\nReport window, the same report: pages counted, laid out as they are shown\n");
    std::printf("%8s %15s %14s %7s %10s\n", "rows", "first page ms", "last page ms", "pages", "peak MiB");
    for (const Shown& v : views)
        std::printf("%8d %15lld %14lld %7d %10.1f\n", v.rows, v.first, v.last, v.pages, v.peak / 1024.0);
    const double viewerMemory = double(views.last().peak) / double(std::max(views.first().peak, 1L));
    const double firstPage = views.last().first / 1000.0;
    std::printf("goal: report window peak memory 100,000 / 10,000 rows <= 1.5: %.2f %s\n", viewerMemory,
                viewerMemory <= 1.5 ? "met" : "NOT met");
    std::printf("goal: first page shown at 100,000 rows <= 0.5 s: %.2f s %s\n", firstPage,
                firstPage <= 0.5 ? "met" : "NOT met");
    const bool all_met =
        ratio <= 2.0 && memory <= 1.5 && defectRatio <= 3.0 && viewerMemory <= 1.5 && firstPage <= 0.5;
    std::printf("%s\n", all_met ? "goals met" : "goals not met");
    return 0;
}

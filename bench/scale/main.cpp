// Rating entry, review, the period chooser and posting on a system with years of ratings:
// M = 10 tunnels x 500 panels x 25 elements x 5 periods (625,000 ratings) and, with
// --large, L = 40 x 2,000 x 30 x 8 (19.2 million, about 1.8 GB). Each database is built
// with set-based SQL by a child run of this program (so its memory is not counted), in a
// temporary folder under $TMPDIR (or --folder DIR, where a built file is kept and reused).
//
// Every operation is the median of nine runs through the real windows. Beside the map
// loads stands the baseline: the same outlines and shading read by two set-based
// statements (an outline join and MIN(Rating) ... GROUP BY PanelID) and drawn by the map
// control alone, with the tunnel picture; the two maps must shade alike.

#include "db.h"
#include "dbhighlights.h"
#include "dbposting.h"
#include "forms.h"
#include "frmDataInput.h"
#include "frmDataView.h"
#include "frmIPdialog.h"
#include "frmViewSystem.h"
#include "globals.h"
#include "inspectionforms.h"
#include "inventoryforms.h"
#include "reviewforms.h"
#include "schema.h"
#include "scriptedprompt.h"
#include "settings.h"
#include "zvmap.h"

#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QSettings>
#include <QStorageInfo>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>

namespace {

struct Size {
    const char* name;
    int tunnels;
    int panels;
    int elements;
    int periods;
};
constexpr Size kM{"M", 10, 500, 25, 5};
constexpr Size kL{"L", 40, 2000, 30, 8};
constexpr int kColumns = 100;     // panels per row of a tunnel picture
constexpr int kCell = 300;        // a panel's square, picture twips
constexpr int kFirstYear = 2010;  // periods every two years

double msSince(const QElapsedTimer& t) { return double(t.nsecsElapsed()) / 1e6; }

// Runs of 10 to 20 ms on a shared machine vary by half their length: an odd number of them, enough
// for the median to stand still.
constexpr int kRuns = 9;

double median(const std::function<double()>& run)
{
    QVector<double> v;
    for (int i = 0; i < kRuns; ++i)
        v << run();
    std::sort(v.begin(), v.end());
    return v[kRuns / 2];
}

long peakMb()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss / 1024;
}

// ---------------------------------------------------------------- building (child run)

void exec(const QString& sql, const QVariantList& binds = {}) { gConn.exec(sql, binds); }

void buildDatabase(const QString& path, const Size& s)
{
    QString error;
    QFile::remove(path);
    if (!CreateTunnelDatabase(path, &error))
        qFatal("cannot make the database: %s", qPrintable(error));
    gConn.open(path);
    exec(QStringLiteral("PRAGMA journal_mode=OFF"));
    exec(QStringLiteral("PRAGMA synchronous=OFF"));
    exec(QStringLiteral("PRAGMA cache_size=-400000"));
    // The big indexes are made after the rows, sorted once.
    const RowSet indexes = gConn.query(QStringLiteral(
        "SELECT name, sql FROM sqlite_master WHERE type = 'index' AND sql IS NOT NULL AND tbl_name IN "
        "('Ratings', 'RatingsPosted', 'PanelComments', 'PanelCommentsPosted', 'ImagePaths', 'ImagePathsPosted', "
        "'PanelCoord', 'PanelElements')"));
    for (int i = 0; i < indexes.count(); ++i)
        exec(QStringLiteral("DROP INDEX ") + indexes.toText(i, QStringLiteral("name")));

    exec(QStringLiteral("BEGIN"));
    exec(QStringLiteral("CREATE TEMP TABLE n (i INTEGER PRIMARY KEY)"));
    exec(QStringLiteral("WITH RECURSIVE c(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM c WHERE i < 5000) "
                        "INSERT INTO n SELECT i FROM c"));
    exec(QStringLiteral("INSERT INTO System (SystemID, SystemName, SystemPicture, DrawWidth, SystemForeground, View, "
                        "WarningHighlight, CriticalHighlight) VALUES (1, 'Bench Lines', 'map.png', 1, 255, 1, 5, 3)"));
    const int perCategory = s.elements / 5;
    exec(QStringLiteral("INSERT INTO ElementCategory (EleCategoryID, EleCategoryName, EleCategorySort) "
                        "SELECT i, 'Category ' || i, 6 - i FROM n WHERE i <= 5"));
    exec(QStringLiteral("INSERT INTO AvailableElements (ElementID, ElementName, ElementCategory) "
                        "SELECT i, 'Element ' || i, 1 + (i - 1) / ? FROM n WHERE i <= ?"),
         {perCategory, s.elements});
    // Tunnels side by side on the system map, each 1,000 x 600 twips.
    exec(QStringLiteral("INSERT INTO Tunnels (TunnelID, SystemID, TunnelName, TunnelPicture, TunnelForeground, DrawWidth) "
                        "SELECT i, 1, printf('Tunnel%02d', i), 'tunnel.png', 65280, 1 FROM n WHERE i <= ?"),
         {s.tunnels});
    exec(QStringLiteral("INSERT INTO TunnelCoord (TunnelID, CoordIndex, TunnelX, TunnelY) "
                        "SELECT t.i, k.i, (t.i - 1) % 10 * 1200 + CASE WHEN k.i IN (2, 3) THEN 1000 ELSE 100 END, "
                        "(t.i - 1) / 10 * 800 + CASE WHEN k.i >= 3 THEN 700 ELSE 100 END "
                        "FROM n AS t, n AS k WHERE t.i <= ? AND k.i <= 4"),
         {s.tunnels});
    exec(QStringLiteral("INSERT INTO Panels (TunnelID, PanelNum, PanelName) "
                        "SELECT t.i, p.i, 'P' || p.i FROM n AS t, n AS p WHERE t.i <= ? AND p.i <= ? "
                        "ORDER BY t.i, p.i"),
         {s.tunnels, s.panels});
    // Squares in rows of 100; the numbering runs across the columns in a shuffled order, so
    // the leftmost panel is not the first one.
    exec(QStringLiteral("INSERT INTO PanelCoord (PanelID, CoordIndex, PanelX, PanelY) "
                        "SELECT p.PanelID, k.i, ((p.PanelNum * 37) % ?) * ? + CASE WHEN k.i IN (2, 3) THEN ? ELSE 0 END, "
                        "((p.PanelNum - 1) / ?) * ? + CASE WHEN k.i >= 3 THEN ? ELSE 0 END "
                        "FROM Panels AS p, n AS k WHERE k.i <= 4 ORDER BY p.PanelID, k.i"),
         {kColumns, kCell, kCell - 30, kColumns, kCell, kCell - 30});
    exec(QStringLiteral("INSERT INTO PanelElements (PanelID, ElementID) "
                        "SELECT p.PanelID, e.ElementID FROM Panels AS p, AvailableElements AS e "
                        "ORDER BY p.PanelID, e.ElementID"));
    exec(QStringLiteral("INSERT INTO InspectionPeriod (TunnelID, InspectionYear) "
                        "SELECT t.TunnelID, ? + 2 * (y.i - 1) FROM Tunnels AS t, n AS y WHERE y.i <= ? "
                        "ORDER BY t.TunnelID, y.i"),
         {kFirstYear, s.periods});
    const int lastYear = kFirstYear + 2 * (s.periods - 1);
    // Mostly good ratings, some fair and a few poor; one in 200 not rated.
    exec(QStringLiteral("INSERT INTO Ratings (InspectionID, PanelID, ElementID, Rating, Posted) "
                        "SELECT InspectionID, PanelID, ElementID, "
                        "CASE WHEN h < 5 THEN NULL WHEN h < 8 THEN 2 WHEN h < 20 THEN 4 ELSE 5 + h % 5 END, "
                        "InspectionYear < ? FROM (SELECT ip.InspectionID, ip.InspectionYear, pe.PanelID, pe.ElementID, "
                        "(pe.PanelID * 7919 + pe.ElementID * 104729 + ip.InspectionID * 1299709) % 1000 AS h "
                        "FROM InspectionPeriod AS ip JOIN Panels AS p ON p.TunnelID = ip.TunnelID "
                        "JOIN PanelElements AS pe ON pe.PanelID = p.PanelID "
                        "ORDER BY ip.InspectionID, pe.PanelID, pe.ElementID)"),
         {lastYear});
    // Posted copies; a rating changed after posting is marked -1.
    exec(QStringLiteral("INSERT INTO RatingsPosted (InspectionID, PanelID, ElementID, Rating) "
                        "SELECT InspectionID, PanelID, ElementID, "
                        "CASE WHEN (PanelID * 31 + ElementID * 17 + InspectionID) % 997 = 0 THEN -1 ELSE Rating END "
                        "FROM Ratings WHERE Posted"));
    exec(QStringLiteral("INSERT INTO PanelComments (InspectionID, PanelID, Comments, Posted) "
                        "SELECT ip.InspectionID, p.PanelID, 'Panel ' || p.PanelName || ', ' || ip.InspectionYear || "
                        "': damp patches near the joint, hairline cracks by the drain', ip.InspectionYear < ? "
                        "FROM InspectionPeriod AS ip JOIN Panels AS p ON p.TunnelID = ip.TunnelID"),
         {lastYear});
    exec(QStringLiteral("INSERT INTO PanelCommentsPosted (InspectionID, PanelID, Comments) "
                        "SELECT InspectionID, PanelID, Comments FROM PanelComments WHERE Posted"));
    exec(QStringLiteral("INSERT INTO DefectQuantity (PanelID, InspectionID, Quantity, Units, UnitCost, TotalCost, "
                        "Description, Posted) SELECT p.PanelID, ip.InspectionID, p.PanelNum % 17, 'sq ft', 12.5, "
                        "12.5 * (p.PanelNum % 17), 'Spalling', ip.InspectionYear < ? "
                        "FROM InspectionPeriod AS ip JOIN Panels AS p ON p.TunnelID = ip.TunnelID WHERE p.PanelNum % 4 = 0"),
         {lastYear});
    exec(QStringLiteral("INSERT INTO DefectQuantityPosted (ID, PanelID, InspectionID, Quantity, Units, UnitCost, "
                        "TotalCost, Description) SELECT ID, PanelID, InspectionID, Quantity, Units, UnitCost, "
                        "TotalCost, Description FROM DefectQuantity WHERE Posted"));
    // A photo of one element of every panel, a field sketch on every tenth, a clip on every twentieth.
    exec(QStringLiteral("INSERT INTO ImagePaths (PanelID, ElementID, ImagePath, FieldSketch, InspectionID, "
                        "Annotation, Posted) SELECT p.PanelID, 1 + p.PanelNum % ?, 'IMG_' || p.PanelID || '.jpg', 0, "
                        "ip.InspectionID, 'note', ip.InspectionYear < ? "
                        "FROM InspectionPeriod AS ip JOIN Panels AS p ON p.TunnelID = ip.TunnelID"),
         {s.elements, lastYear});
    exec(QStringLiteral("INSERT INTO ImagePaths (PanelID, ElementID, ImagePath, FieldSketch, InspectionID, "
                        "Annotation, Posted) SELECT p.PanelID, 1, 'SK_' || p.PanelID || '.jpg', 1, "
                        "ip.InspectionID, '', ip.InspectionYear < ? "
                        "FROM InspectionPeriod AS ip JOIN Panels AS p ON p.TunnelID = ip.TunnelID WHERE p.PanelNum % 10 = 0"),
         {lastYear});
    exec(QStringLiteral("INSERT INTO ImagePathsPosted (PanelID, ElementID, ImagePath, FieldSketch, InspectionID, "
                        "Annotation) SELECT PanelID, ElementID, ImagePath, FieldSketch, InspectionID, Annotation "
                        "FROM ImagePaths WHERE Posted ORDER BY rowid"));
    exec(QStringLiteral("INSERT INTO Videos (PanelID, ElementID, VideoFile, InspectionID, Posted) "
                        "SELECT p.PanelID, 2, 'CLIP_' || p.PanelID || '.avi', ip.InspectionID, ip.InspectionYear < ? "
                        "FROM InspectionPeriod AS ip JOIN Panels AS p ON p.TunnelID = ip.TunnelID WHERE p.PanelNum % 20 = 0"),
         {lastYear});
    exec(QStringLiteral("INSERT INTO VideosPosted (PanelID, ElementID, VideoFile, InspectionID) "
                        "SELECT PanelID, ElementID, VideoFile, InspectionID FROM Videos WHERE Posted"));
    exec(QStringLiteral("DROP TABLE n"));
    exec(QStringLiteral("COMMIT"));
    for (int i = 0; i < indexes.count(); ++i)
        exec(indexes.toText(i, QStringLiteral("sql")));
    exec(QStringLiteral("PRAGMA journal_mode=DELETE"));
    gConn.close();
}

// ---------------------------------------------------------------- measuring

struct Figure {
    QString name;
    double ms = 0;
    double baseline = 0;  // 0: none
};

using Shading = std::map<qint32, qint16>;

Shading shadingOf(const ZVMap* map)
{
    Shading s;
    for (int i = 0; i < map->PolyCount(); ++i) {
        const zv::Poly p = map->Poly(i);
        s[p.ID] = p.Shading;
    }
    return s;
}

// The baseline: the map of one period drawn from two set-based statements. posted picks
// the posted ratings (review: -1 marks a changed rating and does not count).
Shading baselineMap(qint32 tunnelId, qint32 inspectionId, bool posted, const QString& picture)
{
    ZVMap map;
    map.resize(1200, 500);
    map.setImage(picture);
    const RowSet outlines = gConn.query(
        QStringLiteral("SELECT c.PanelID, c.PanelX, c.PanelY FROM Panels AS p JOIN PanelCoord AS c ON c.PanelID = "
                       "p.PanelID WHERE p.TunnelID = ? ORDER BY p.PanelNum, c.PanelID, c.CoordIndex"),
        {tunnelId});
    const RowSet lowest = gConn.query(
        QStringLiteral("SELECT r.PanelID, MIN(r.Rating) FROM %1 AS r JOIN PanelElements AS pe ON pe.PanelID = "
                       "r.PanelID AND pe.ElementID = r.ElementID WHERE r.InspectionID = ? %2 GROUP BY r.PanelID")
            .arg(posted ? QStringLiteral("RatingsPosted") : QStringLiteral("Ratings"),
                 posted ? QStringLiteral("AND r.Rating <> -1") : QString()),
        {inspectionId});
    zv::Poly poly;
    qint32 current = 0;
    const auto flush = [&] {
        if (current != 0)
            map.SetPoly(current, poly);
        poly.Pt.clear();
    };
    for (const QVariantList& row : outlines.rows()) {
        const qint32 id = row[0].toInt();
        if (id != current) {
            flush();
            current = id;
        }
        poly.Pt.append({row[1].toInt(), row[2].toInt()});
    }
    flush();
    for (const QVariantList& row : lowest.rows()) {
        if (row[1].isNull())
            continue;
        const int low = row[1].toInt();
        const qint16 level = low <= gCriticalHighlight ? 2 : low <= gWarningHighlight ? 1 : 0;
        if (level > 0)
            map.ShadePoly(row[0].toInt(), level);
    }
    return shadingOf(&map);
}

double timeBaseline(qint32 tunnelId, qint32 inspectionId, bool posted, const QString& picture, Shading* out)
{
    return median([&] {
        QElapsedTimer t;
        t.start();
        *out = baselineMap(tunnelId, inspectionId, posted, picture);
        return msSince(t);
    });
}

void undoPosting(qint32 insp)
{
    TxGuard tx;
    for (const char* t : {"RatingsPosted", "DefectQuantityPosted", "PanelCommentsPosted", "ImagePathsPosted",
                          "VideosPosted"})
        gConn.exec(QStringLiteral("DELETE FROM %1 WHERE InspectionID = ?").arg(QLatin1String(t)), {insp});
    for (const char* t : {"Ratings", "DefectQuantity", "PanelComments", "ImagePaths", "Videos"})
        gConn.exec(QStringLiteral("UPDATE %1 SET Posted = 0 WHERE InspectionID = ?").arg(QLatin1String(t)), {insp});
    tx.commit();
}

void clickTab(QTabBar* bar, int index)
{
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(index).center());
    QCoreApplication::processEvents();
}

struct Result {
    QVector<Figure> figures;
    long peak = 0;
    QStringList faults;
};

Result measure(const QString& dbPath, const Size& s, const QString& folder)
{
    Result r;
    // A program folder of its own: krv.ini, err.log, window placement and the pictures.
    QDir(folder).mkpath(QStringLiteral("Data/Tunnel01"));
    SetProgramFolder(folder);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder + QStringLiteral("/settings"));
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, folder + QStringLiteral("/settings"));
    const int rows = (s.panels + kColumns - 1) / kColumns;
    QImage tunnelPicture(kColumns * kCell / 15, rows * kCell / 15 + 20, QImage::Format_RGB32);
    tunnelPicture.fill(Qt::lightGray);
    const QString picture = folder + QStringLiteral("/Data/Tunnel01/tunnel.png");
    tunnelPicture.save(picture);
    QImage systemPicture(1000, 400, QImage::Format_RGB32);
    systemPicture.fill(Qt::white);
    systemPicture.save(folder + QStringLiteral("/Data/map.png"));

    ResetGlobals();
    gConn.open(dbPath);
    gDbPath = dbPath;
    gDbFolder = QFileInfo(dbPath).absolutePath() + QLatin1Char('/');
    gSystemID = 1;
    gIsWizard = true;
    gIsDataEntry = true;
    DbLoadHighlights();
    ScriptedPrompt prompt;

    const qint32 tunnel = 1;
    const RowSet periods = gConn.query(
        QStringLiteral("SELECT InspectionID, InspectionYear FROM InspectionPeriod WHERE TunnelID = ? "
                       "ORDER BY InspectionYear DESC"),
        {tunnel});
    const qint32 latest = periods.toInt(0, QStringLiteral("InspectionID"));
    const qint16 latestYear = qint16(periods.toInt(0, QStringLiteral("InspectionYear")));
    const qint32 posted2 = periods.toInt(1, QStringLiteral("InspectionID"));
    const qint32 posted1 = periods.toInt(2, QStringLiteral("InspectionID"));

    Shading entryBase, reviewBase;
    const double entryBaseMs = timeBaseline(tunnel, latest, false, picture, &entryBase);
    const double reviewBaseMs = timeBaseline(tunnel, posted2, true, picture, &reviewBase);

    // Rating entry.
    frmDataInput* entry = nullptr;
    const double entryOpen = median([&] {
        if (entry) {
            UnloadForm(entry);
            // The window closed is deleted before the next is timed, as the event loop would.
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
        QElapsedTimer t;
        t.start();
        entry = qobject_cast<frmDataInput*>(CreateForm(QStringLiteral("frmDataInput")));
        CallFormMethod(entry, "LoadForm", {latestYear, tunnel});
        return msSince(t);
    });
    if (shadingOf(entry->ZVMap1) != entryBase)
        r.faults << QStringLiteral("rating entry shades its map unlike the baseline");
    const double entryReload = median([&] {
        QElapsedTimer t;
        t.start();
        CallFormMethod(entry, "LoadForm", {latestYear, tunnel});
        return msSince(t);
    });
    if (shadingOf(entry->ZVMap1) != entryBase)
        r.faults << QStringLiteral("rating entry shades its reloaded map unlike the baseline");
    int nextPanel = 0;
    const double panelSwitch = median([&] {
        const qint32 id = entry->ZVMap1->Poly(100 + 37 * nextPanel++).ID;
        QElapsedTimer t;
        t.start();
        emit entry->ZVMap1->PolyHit(id, 0);
        return msSince(t);
    });
    int nextTab = 1;
    const double tabSwitch = median([&] {
        QElapsedTimer t;
        t.start();
        clickTab(entry->TabStrip1, nextTab++ % entry->TabStrip1->count());
        return msSince(t);
    });
    UnloadForm(entry);

    // Review of two periods.
    frmDataView* review = nullptr;
    const double reviewOpen = median([&] {
        if (review) {
            UnloadForm(review);
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
        QElapsedTimer t;
        t.start();
        review = qobject_cast<frmDataView*>(CreateForm(QStringLiteral("frmDataView")));
        CallFormMethod(review, "LoadForm", {tunnel, posted1, posted2});
        return msSince(t);
    });
    if (shadingOf(review->ZVMap1) != reviewBase)
        r.faults << QStringLiteral("the review shades its map unlike the baseline");
    const double reviewReload = median([&] {
        QElapsedTimer t;
        t.start();
        CallFormMethod(review, "LoadForm", {tunnel, posted1, posted2});
        return msSince(t);
    });
    if (shadingOf(review->ZVMap1) != reviewBase)
        r.faults << QStringLiteral("the review shades its reloaded map unlike the baseline");
    UnloadForm(review);

    // Main window: a tunnel click opens the chooser (several posted periods); the first year is chosen.
    auto* main = new frmViewSystem;
    main->show();
    QVector<double> shown, chosen;
    for (int run = 0; run < 3; ++run) {
        QElapsedTimer t;
        std::function<void()> onShown;
        onShown = [&] {
            frmIPdialog* chooser = nullptr;
            for (QWidget* w : LoadedForms())
                if (auto* c = qobject_cast<frmIPdialog*>(w))
                    chooser = c;
            if (!chooser || !chooser->isVisible()) {
                QTimer::singleShot(0, onShown);
                return;
            }
            shown << msSince(t);
            QElapsedTimer c;
            c.start();
            chooser->InspectionYr1->setCurrentIndex(0);
            emit chooser->InspectionYr1->activated(0);
            chosen << msSince(c);
            if (chooser->InspectionYr2->count() != s.periods - 2)
                r.faults << QStringLiteral("the chooser lists %1 periods").arg(chooser->InspectionYr2->count() + 1);
            QTest::mouseClick(chooser->cmdCancel, Qt::LeftButton);
        };
        QTimer::singleShot(0, onShown);
        t.start();
        emit main->ZVMap1->PolyHit(tunnel, 0);
    }
    std::sort(shown.begin(), shown.end());
    std::sort(chosen.begin(), chosen.end());
    UnloadForm(main);

    // Posting the latest period (undone untimed after each run).
    const double posting = median([&] {
        QElapsedTimer t;
        t.start();
        DbPostInspection(latest);
        const double ms = msSince(t);
        undoPosting(latest);
        return ms;
    });

    for (const PromptCall& c : std::as_const(prompt.calls))
        r.faults << QStringLiteral("message: %1").arg(c.text);
    gConn.close();

    r.figures = {{QStringLiteral("rating entry: open (latest year)"), entryOpen, entryBaseMs},
                 {QStringLiteral("rating entry: LoadForm again"), entryReload, entryBaseMs},
                 {QStringLiteral("review: open two periods"), reviewOpen, reviewBaseMs},
                 {QStringLiteral("review: LoadForm again"), reviewReload, reviewBaseMs},
                 {QStringLiteral("main window: tunnel click -> chooser shown"), shown.value(1), 0},
                 {QStringLiteral("chooser: choosing the first year"), chosen.value(1), 0},
                 {QStringLiteral("rating entry: switch panel"), panelSwitch, 0},
                 {QStringLiteral("rating entry: switch category"), tabSwitch, 0},
                 {QStringLiteral("posting a period"), posting, 0}};
    r.peak = peakMb();
    return r;
}

QStringList goalsNotMet(const Result& r)
{
    QStringList missed = r.faults;
    for (const Figure& f : r.figures) {
        if (f.baseline > 0) {
            if (f.ms > 300 || f.ms > 2.0 * f.baseline)
                missed << QStringLiteral("%1 (%2 ms; goal <= 300 ms and <= 2.0 x baseline)").arg(f.name).arg(f.ms, 0, 'f', 1);
        } else if (f.name.startsWith(QLatin1String("main window")) || f.name.startsWith(QLatin1String("chooser"))) {
            if (f.ms > 20)
                missed << QStringLiteral("%1 (%2 ms; goal <= 20 ms)").arg(f.name).arg(f.ms, 0, 'f', 1);
        } else if (f.name.startsWith(QLatin1String("posting"))) {
            if (f.ms > 1000)
                missed << QStringLiteral("%1 (%2 ms; goal <= 1 s)").arg(f.name).arg(f.ms, 0, 'f', 1);
        } else if (f.ms > 30) {
            missed << QStringLiteral("%1 (%2 ms; goal <= 30 ms)").arg(f.name).arg(f.ms, 0, 'f', 1);
        }
    }
    if (r.peak > 150)
        missed << QStringLiteral("peak memory (%1 MB; goal <= 150 MB)").arg(r.peak);
    return missed;
}

}  // namespace

int main(int argc, char** argv)
{
    const QStringList args = [&] {
        QStringList a;
        for (int i = 1; i < argc; ++i)
            a << QString::fromLocal8Bit(argv[i]);
        return a;
    }();
    if (args.value(0) == QLatin1String("--build")) {
        QCoreApplication app(argc, argv);
        buildDatabase(args.value(1), args.value(2) == QLatin1String("L") ? kL : kM);
        return 0;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const bool large = args.contains(QStringLiteral("--large"));
    const int at = int(args.indexOf(QStringLiteral("--folder")));
    QTemporaryDir temp;
    const QString folder = at >= 0 ? args.value(at + 1) : temp.path();
    if (folder.isEmpty() || !QDir().mkpath(folder))
        qFatal("no folder for the databases");
    RegisterInventoryForms();
    RegisterInspectionForms();
    RegisterReviewForms();

    QVector<Size> sizes{kM};
    if (large)
        sizes << kL;
    std::printf("median of %d runs; baseline: the same map read set-based and drawn by the control alone\n", kRuns);
    Result last;
    for (const Size& s : sizes) {
        const QString db = QDir(folder).filePath(QStringLiteral("krv-%1.db").arg(QLatin1String(s.name)));
        const qint64 ratings = qint64(s.tunnels) * s.panels * s.elements * s.periods;
        if (!QFileInfo::exists(db) || at < 0) {
            // The file, and as much again for the sorts that make its indexes.
            const double needGb = 2.2 * double(ratings) * 110 / 1e9 + 0.1;
            const double freeGb = double(QStorageInfo(folder).bytesAvailable()) / 1e9;
            if (freeGb < needGb)
                qFatal("%s needs about %.1f GB free in %s (or --folder DIR); there are %.1f GB", s.name, needGb,
                       qPrintable(folder), freeGb);
            QElapsedTimer t;
            t.start();
            // SQLite sorts beside the file, not in a small /tmp.
            QProcess child;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("SQLITE_TMPDIR"), folder);
            child.setProcessEnvironment(env);
            child.setProcessChannelMode(QProcess::ForwardedChannels);
            child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--build"), db, QLatin1String(s.name)});
            const bool built = child.waitForFinished(-1) && child.exitStatus() == QProcess::NormalExit;
            if (!built || child.exitCode() != 0)
                qFatal("building the %s database failed", s.name);
            std::printf("%s: %d tunnels x %d panels x %d elements x %d periods = %lld ratings, built in %.0f s\n",
                        s.name, s.tunnels, s.panels, s.elements, s.periods, ratings, msSince(t) / 1000);
        } else {
            std::printf("%s: %lld ratings (kept file)\n", s.name, ratings);
        }
        std::printf("%s: database file %.0f MB\n", s.name, double(QFileInfo(db).size()) / 1e6);
        std::fflush(stdout);
        last = measure(db, s, QDir(folder).filePath(QStringLiteral("program-%1").arg(QLatin1String(s.name))));
        std::printf("%-46s %10s %10s %7s\n", "operation", "ms", "baseline", "ratio");
        for (const Figure& f : std::as_const(last.figures)) {
            if (f.baseline > 0)
                std::printf("%-46s %10.1f %10.1f %7.2f\n", qPrintable(f.name), f.ms, f.baseline, f.ms / f.baseline);
            else
                std::printf("%-46s %10.1f %10s %7s\n", qPrintable(f.name), f.ms, "", "");
        }
        std::printf("%s: peak memory %ld MB\n", s.name, last.peak);
        for (const QString& f : std::as_const(last.faults))
            std::printf("%s: %s\n", s.name, qPrintable(f));
        std::fflush(stdout);
    }
    const QStringList missed = goalsNotMet(last);
    if (missed.isEmpty())
        std::printf("goals met\n");
    else
        std::printf("goals not met (%s): %s\n", large ? "L" : "M", qPrintable(missed.join(QStringLiteral("; "))));
    return 0;
}

// Times posting one inspection period of 2,000 panels x 25 elements (50,000 ratings, with
// comments, defect quantities, pictures and clips in proportion) through the real
// procedures (a), against plain SQL doing the same logical work with one set-based
// statement per table in one transaction (b). Also times a second posting of the
// unchanged period and the rating-entry save of one panel's 25 ratings.

#include "db.h"
#include "dbinspection.h"
#include "dbposting.h"
#include "globals.h"
#include "schema.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <cstdio>
#include <optional>

namespace {

constexpr int kPanels = 2000;
constexpr int kElements = 25;
constexpr int kRuns = 5;

struct Period {
    qint32 previous = 0;  // already posted
    qint32 current = 0;   // to post
};

// Working rows of one period: every rating (one in 40 unrated), a comment per panel, a
// defect quantity on every other panel, two pictures per panel and a clip on every tenth.
void fillPeriod(qint32 insp, int seed)
{
    for (int p = 1; p <= kPanels; ++p) {
        for (int e = 1; e <= kElements; ++e) {
            const QVariant rating = (p * e + seed) % 40 == 0 ? QVariant(QMetaType(QMetaType::Int))
                                                             : QVariant((p + e + seed) % 10);
            gConn.exec(QStringLiteral("INSERT INTO Ratings (InspectionID, PanelID, ElementID, Rating, Posted) "
                                      "VALUES (?, ?, ?, ?, 0)"),
                       {insp, p, e, rating});
        }
        gConn.exec(QStringLiteral("INSERT INTO PanelComments (InspectionID, PanelID, Comments, Posted) "
                                  "VALUES (?, ?, ?, 0)"),
                   {insp, p, QStringLiteral("Panel %1: damp patches near the joint, seen %2").arg(p).arg(seed)});
        if (p % 2 == 0)
            gConn.exec(QStringLiteral("INSERT INTO DefectQuantity (PanelID, InspectionID, Quantity, Units, UnitCost, "
                                      "TotalCost, Description, Posted) VALUES (?, ?, ?, 'sq ft', 12.5, ?, ?, 0)"),
                       {p, insp, double(p % 17), 12.5 * (p % 17), QStringLiteral("Spalling, panel %1").arg(p)});
        for (int k = 0; k < 2; ++k)
            gConn.exec(QStringLiteral("INSERT INTO ImagePaths (PanelID, ElementID, ImagePath, FieldSketch, "
                                      "InspectionID, Annotation, Posted) VALUES (?, ?, ?, ?, ?, ?, 0)"),
                       {p, 1 + (p + k) % kElements, QStringLiteral("IMG_%1_%2_%3.jpg").arg(seed).arg(p).arg(k), k,
                        insp, QStringLiteral("note %1").arg(p)});
        if (p % 10 == 0)
            gConn.exec(QStringLiteral("INSERT INTO Videos (PanelID, ElementID, VideoFile, InspectionID, Posted) "
                                      "VALUES (?, ?, ?, ?, 0)"),
                       {p, 1, QStringLiteral("CLIP_%1_%2.avi").arg(seed).arg(p), insp});
    }
}

Period buildDatabase(const QString& path)
{
    QString error;
    if (!CreateTunnelDatabase(path, &error))
        qFatal("cannot make the database: %s", qPrintable(error));
    gConn.open(path);
    Period period;
    TxGuard tx;
    gSystemID = qint32(gConn.insertAutoNumber(QStringLiteral("System"), {{QStringLiteral("SystemName"), "Bench"}}));
    const qint64 tunnel = gConn.insertAutoNumber(
        QStringLiteral("Tunnels"), {{QStringLiteral("SystemID"), gSystemID}, {QStringLiteral("TunnelName"), "North"}});
    for (int e = 1; e <= kElements; ++e)
        gConn.exec(QStringLiteral("INSERT INTO AvailableElements (ElementID, ElementName, ElementCategory) "
                                  "VALUES (?, ?, 1)"),
                   {e, QStringLiteral("Element %1").arg(e)});
    for (int p = 1; p <= kPanels; ++p) {
        gConn.exec(QStringLiteral("INSERT INTO Panels (PanelID, TunnelID, PanelNum, PanelName) VALUES (?, ?, ?, ?)"),
                   {p, tunnel, p, QStringLiteral("P%1").arg(p)});
        for (int e = 1; e <= kElements; ++e)
            gConn.exec(QStringLiteral("INSERT INTO PanelElements (PanelID, ElementID) VALUES (?, ?)"), {p, e});
    }
    period.previous = qint32(gConn.insertAutoNumber(
        QStringLiteral("InspectionPeriod"), {{QStringLiteral("TunnelID"), tunnel}, {QStringLiteral("InspectionYear"), 2019}}));
    period.current = qint32(gConn.insertAutoNumber(
        QStringLiteral("InspectionPeriod"), {{QStringLiteral("TunnelID"), tunnel}, {QStringLiteral("InspectionYear"), 2020}}));
    fillPeriod(period.previous, 1);
    fillPeriod(period.current, 2);
    tx.commit();
    DbPostInspection(period.previous);  // the posted tables are not empty, as in use
    gConn.close();
    return period;
}

// Plain SQL: copy every table's rows of the period into its posted twin and set the
// working flags, one set-based statement per table, one transaction.
void baselinePost(qint32 insp)
{
    TxGuard tx;
    const QVariantList id{insp};
    gConn.exec(QStringLiteral("INSERT INTO RatingsPosted (InspectionID, PanelID, ElementID, Rating) "
                              "SELECT InspectionID, PanelID, ElementID, Rating FROM Ratings WHERE InspectionID = ?"),
               id);
    gConn.exec(QStringLiteral("INSERT INTO DefectQuantityPosted (ID, PanelID, InspectionID, Quantity, Units, UnitCost, "
                              "TotalCost, Description) SELECT ID, PanelID, InspectionID, Quantity, Units, UnitCost, "
                              "TotalCost, Description FROM DefectQuantity WHERE InspectionID = ?"),
               id);
    gConn.exec(QStringLiteral("INSERT INTO PanelCommentsPosted (InspectionID, PanelID, Comments) "
                              "SELECT InspectionID, PanelID, Comments FROM PanelComments WHERE InspectionID = ?"),
               id);
    gConn.exec(QStringLiteral("INSERT INTO ImagePathsPosted (PanelID, ElementID, ImagePath, FieldSketch, InspectionID, "
                              "Annotation) SELECT PanelID, ElementID, ImagePath, FieldSketch, InspectionID, Annotation "
                              "FROM ImagePaths WHERE InspectionID = ?"),
               id);
    gConn.exec(QStringLiteral("INSERT INTO VideosPosted (PanelID, ElementID, VideoFile, InspectionID) "
                              "SELECT PanelID, ElementID, VideoFile, InspectionID FROM Videos WHERE InspectionID = ?"),
               id);
    for (const char* t : {"Ratings", "DefectQuantity", "PanelComments", "ImagePaths", "Videos"})
        gConn.exec(QStringLiteral("UPDATE %1 SET Posted = 1 WHERE InspectionID = ?").arg(QLatin1String(t)), id);
    tx.commit();
}

double msSince(const QElapsedTimer& t) { return double(t.nsecsElapsed()) / 1e6; }

double median(QVector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void copyFile(const QString& from, const QString& to)
{
    QFile::remove(to);
    if (!QFile::copy(from, to))
        qFatal("cannot copy %s", qPrintable(from));
}

// Row counts of the period's posted tables and a digest of their rows (sorted, so the
// order the rows were written in does not count): the two ways must agree.
QString postedDigest(qint32 insp)
{
    QStringList counts;
    QCryptographicHash hash(QCryptographicHash::Sha1);
    for (const char* t : {"RatingsPosted", "DefectQuantityPosted", "PanelCommentsPosted", "ImagePathsPosted",
                          "VideosPosted"}) {
        const RowSet rs = gConn.query(QStringLiteral("SELECT * FROM %1 WHERE InspectionID = ?").arg(QLatin1String(t)),
                                      {insp});
        QStringList rows;
        for (const QVariantList& row : rs.rows()) {
            QStringList cells;
            for (const QVariant& v : row)
                cells << (v.isNull() ? QStringLiteral("<null>") : v.toString());
            rows << cells.join(QLatin1Char('|'));
        }
        rows.sort();
        hash.addData(rows.join(QLatin1Char('\n')).toUtf8());
        counts << QString::number(rs.count());
    }
    return counts.join(QLatin1Char('/')) + QStringLiteral(" sha1 ") + QString::fromLatin1(hash.result().toHex().left(12));
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    if (!dir.isValid())
        qFatal("no temporary folder");
    const QString master = dir.filePath(QStringLiteral("master.db"));
    const QString work = dir.filePath(QStringLiteral("work.db"));

    QElapsedTimer build;
    build.start();
    const Period period = buildDatabase(master);
    std::printf("database: %d panels x %d elements = %d ratings per period, built in %.0f ms\n", kPanels, kElements,
                kPanels * kElements, msSince(build));

    QVector<double> real, second, base;
    QString realDigest, baseDigest;
    for (int run = 0; run < kRuns; ++run) {
        copyFile(master, work);
        gConn.open(work);
        QElapsedTimer t;
        t.start();
        baselinePost(period.current);
        base << msSince(t);
        baseDigest = postedDigest(period.current);
        gConn.close();

        copyFile(master, work);
        gConn.open(work);
        t.start();
        DbPostInspection(period.current);
        real << msSince(t);
        t.start();
        DbPostInspection(period.current);
        second << msSince(t);
        realDigest = postedDigest(period.current);
        if (DbHasUnpostedData(period.current) || DbHasUnpostedMedia(period.current))
            qFatal("posting left unposted rows");
        gConn.close();
    }
    if (realDigest != baseDigest)
        qFatal("the two postings differ: %s against %s", qPrintable(realDigest), qPrintable(baseDigest));

    const double a = median(real), b = median(base), a2 = median(second);
    std::printf("posted rows (ratings/defects/comments/pictures/clips), same for (a) and (b): %s\n", qPrintable(realDigest));
    std::printf("(a) posting through the procedures:      %8.1f ms (median of %d)\n", a, kRuns);
    std::printf("(b) baseline, set-based SQL:              %8.1f ms (median of %d)\n", b, kRuns);
    std::printf("a/b = %.2f (goal <= 1.5)\n", a / b);
    std::printf("second posting of the unchanged period:   %8.1f ms (%.2f of the first; goal <= 1.0)\n", a2, a2 / a);

    // Rating entry: the window saves every box of the shown category on each save.
    copyFile(master, work);
    gConn.open(work);
    DbPostInspection(period.current);
    const auto savePanel = [&](int panel, bool change, bool oneTransaction) {
        std::optional<TxGuard> tx;
        if (oneTransaction)
            tx.emplace();
        for (int e = 1; e <= kElements; ++e) {
            const QString now = DbGetRating(period.current, panel, e);
            const QString text = change ? QString::number((now.toInt() + 1) % 10) : now;
            DbSaveRating(period.current, panel, e, text);
        }
        if (tx)
            tx->commit();
    };
    const auto timeSaves = [&](bool change, bool oneTransaction, int firstPanel) {
        QVector<double> v;
        for (int k = 0; k < 20; ++k) {
            QElapsedTimer t;
            t.start();
            savePanel(firstPanel + k, change, oneTransaction);
            v << msSince(t);
        }
        return median(v);
    };
    std::printf("saving one panel's %d ratings (median of 20 panels; reads of the boxes included):\n", kElements);
    std::printf("  unchanged, each save its own transaction: %6.2f ms\n", timeSaves(false, false, 100));
    std::printf("  changed,   each save its own transaction: %6.2f ms\n", timeSaves(true, false, 200));
    std::printf("  unchanged, one transaction for the panel: %6.2f ms\n", timeSaves(false, true, 300));
    std::printf("  changed,   one transaction for the panel: %6.2f ms\n", timeSaves(true, true, 400));
    gConn.close();
    return 0;
}

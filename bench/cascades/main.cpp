// Cascaded deletes on a tunnel of realistic size: the program's path (questions first,
// then every delete in one transaction) against the same statements each committed on its
// own, and the panel removal with and without an index of pictures by panel.

#include "db.h"
#include "dbcascades.h"
#include "prompt.h"
#include "schema.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>

namespace {
constexpr int kPanels = 400;
constexpr int kElements = 15;
constexpr int kYears = 4;
constexpr int kRuns = 5;

// Answers Yes to every question, as a user who confirms.
class YesPrompt final : public PromptService {
public:
    MsgAnswer message(const QString&, const QString&, MsgIcon, MsgButtons, MsgAnswer) override
    {
        return MsgAnswer::Yes;
    }
    std::optional<QString> inputText(const QString&, const QString&, const QString&) override { return {}; }
    QString openFileName(const QString&, const QString&, const QString&) override { return {}; }
    QString saveFileName(const QString&, const QString&, const QString&) override { return {}; }
    QString folderName(const QString&, const QString&) override { return {}; }
    std::optional<quint32> chooseColor(quint32, const QString&) override { return {}; }
    bool printSetup(QPrinter*, const QString&) override { return false; }
    bool launch(const QUrl&) override { return false; }
};

// Two tunnels of kPanels panels, kElements elements each, kYears periods with a rating and
// a photo of every cell; the second tunnel gets a sketch per cell as well.
void build(const QString& path)
{
    QString error;
    if (!CreateTunnelDatabase(path, &error))
        qFatal("%s", qPrintable(error));
    gConn.open(path);
    TxGuard tx;
    for (int t = 1; t <= 2; ++t) {
        gConn.exec(QStringLiteral("INSERT INTO Tunnels (TunnelID, TunnelName) VALUES (?, ?)"),
                   {t, QStringLiteral("Tunnel %1").arg(t)});
        for (int y = 0; y < kYears; ++y)
            gConn.exec(QStringLiteral("INSERT INTO InspectionPeriod VALUES (?, ?, ?)"), {t * 100 + y, t, 2000 + y});
        for (int p = 0; p < kPanels; ++p) {
            const int panel = t * 10000 + p;
            gConn.exec(QStringLiteral("INSERT INTO Panels (PanelID, TunnelID, PanelNum) VALUES (?, ?, ?)"),
                       {panel, t, p});
            for (int k = 0; k < 4; ++k)
                gConn.exec(QStringLiteral("INSERT INTO PanelCoord VALUES (?, ?, ?, ?)"), {panel, k, k, k});
            for (int e = 1; e <= kElements; ++e) {
                gConn.exec(QStringLiteral("INSERT INTO PanelElements VALUES (?, ?)"), {panel, e});
                for (int y = 0; y < kYears; ++y) {
                    const int insp = t * 100 + y;
                    gConn.exec(QStringLiteral("INSERT INTO Ratings (InspectionID, PanelID, ElementID, Rating) "
                                              "VALUES (?, ?, ?, 5)"),
                               {insp, panel, e});
                    gConn.exec(QStringLiteral("INSERT INTO ImagePaths (PanelID, ElementID, ImagePath, FieldSketch, "
                                              "InspectionID) VALUES (?, ?, ?, 0, ?)"),
                               {panel, e, QStringLiteral("p%1_%2.jpg").arg(panel).arg(e), insp});
                }
            }
            for (int y = 0; y < kYears; ++y)
                gConn.exec(QStringLiteral("INSERT INTO PanelComments (InspectionID, PanelID, Comments) "
                                          "VALUES (?, ?, 'c')"),
                           {t * 100 + y, panel});
        }
    }
    tx.commit();
    gConn.close();
}

// Median of kRuns runs, each on a fresh copy of the built database.
template <class F>
double medianMs(const QString& master, const QString& work, F&& f)
{
    QVector<double> ms;
    for (int r = 0; r < kRuns; ++r) {
        QFile::remove(work);
        QFile::copy(master, work);
        gConn.open(work);
        QElapsedTimer timer;
        timer.start();
        f();
        ms << timer.nsecsElapsed() / 1e6;
        gConn.close();
    }
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

void row(const char* what, double ms, double baseMs)
{
    std::printf("%-64s %9.2f ms   baseline %9.2f ms   ratio %5.2f\n", what, ms, baseMs, ms / baseMs);
}
}  // namespace

int main(int argc, char** argv)
{
    // Windows are measured off screen: no display needed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QCoreApplication app(argc, argv);
    YesPrompt yes;
    SetPromptService(&yes);
    QTemporaryDir dir;
    const QString master = dir.filePath(QStringLiteral("master.db"));
    const QString work = dir.filePath(QStringLiteral("work.db"));
    build(master);
    std::printf("%d panels x %d elements x %d years per tunnel, 2 tunnels; median of %d runs\n", kPanels, kElements,
                kYears, kRuns);

    // An inspection period: 6000 ratings, 6000 pictures, 400 comments.
    const QStringList periodStatements{
        QStringLiteral("DELETE FROM Ratings WHERE InspectionID = ?"),
        QStringLiteral("DELETE FROM PanelComments WHERE InspectionID = ?"),
        QStringLiteral("DELETE FROM ImagePaths WHERE InspectionID = ?"),
        QStringLiteral("DELETE FROM InspectionPeriod WHERE InspectionID = ?")};
    const double period = medianMs(master, work, [] {
        if (!DbDeleteInspectionPeriod(101))
            qFatal("period not deleted");
    });
    const double periodBase = medianMs(master, work, [&] {
        for (const QString& s : periodStatements)
            gConn.exec(s, {101});
    });
    row("DbDeleteInspectionPeriod (baseline: each statement on its own)", period, periodBase);

    // A panel: 60 ratings, 60 pictures among 48000; pictures are found by panel, which the
    // schema does not index. Baseline: the same database with such an index.
    const QString indexed = dir.filePath(QStringLiteral("indexed.db"));
    QFile::copy(master, indexed);
    gConn.open(indexed);
    gConn.exec(QStringLiteral("CREATE INDEX ImagePaths_P ON ImagePaths(PanelID, ElementID)"));
    gConn.close();
    const auto deletePanel = [] {
        if (!DbDeletePanel(10007))
            qFatal("panel not deleted");
    };
    const auto removeElement = [] {
        if (!DbRemovePanelElement(10007, 3))
            qFatal("element not removed");
    };
    row("DbDeletePanel (baseline: pictures indexed by panel)", medianMs(master, work, deletePanel),
        medianMs(indexed, work, deletePanel));
    row("DbRemovePanelElement (baseline: pictures indexed by panel)", medianMs(master, work, removeElement),
        medianMs(indexed, work, removeElement));

    // A tunnel without ratings: 6000 cells of pictures, outlines, elements, comments.
    const QString unrated = dir.filePath(QStringLiteral("unrated.db"));
    QFile::copy(master, unrated);
    gConn.open(unrated);
    gConn.exec(QStringLiteral("DELETE FROM Ratings WHERE PanelID IN (SELECT PanelID FROM Panels WHERE TunnelID = 1)"));
    gConn.close();
    const double tunnel = medianMs(unrated, work, [] {
        if (!DbDeleteTunnel(1, QStringLiteral("Tunnel 1")))
            qFatal("tunnel not deleted");
    });
    const double tunnelBase = medianMs(unrated, work, [] {
        const QString ofPanels = QStringLiteral(" WHERE PanelID IN (SELECT PanelID FROM Panels WHERE TunnelID = ?)");
        const QStringList statements{QStringLiteral("DELETE FROM Tunnels WHERE TunnelID = ?"),
                                     QStringLiteral("DELETE FROM TunnelCoord WHERE TunnelID = ?"),
                                     QStringLiteral("DELETE FROM ImagePaths") + ofPanels,
                                     QStringLiteral("DELETE FROM InspectionPeriod WHERE TunnelID = ?"),
                                     QStringLiteral("DELETE FROM PanelComments") + ofPanels,
                                     QStringLiteral("DELETE FROM PanelCoord") + ofPanels,
                                     QStringLiteral("DELETE FROM PanelElements") + ofPanels,
                                     QStringLiteral("DELETE FROM RepairLogs") + ofPanels,
                                     QStringLiteral("DELETE FROM Panels WHERE TunnelID = ?")};
        for (const QString& s : statements)
            gConn.exec(s, {1});
    });
    row("DbDeleteTunnel (baseline: each statement on its own)", tunnel, tunnelBase);
    SetPromptService(nullptr);
    return 0;
}

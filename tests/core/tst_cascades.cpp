#include "db.h"
#include "dbcascades.h"
#include "dbinspection.h"
#include "dbrecords.h"
#include "dbsystem.h"
#include "otherprogram.h"
#include "scriptedprompt.h"
#include "testinstall.h"

#include <QMap>
#include <QTest>
#include <functional>

// Every cascade is run against the same small system: tunnel 1 "North" (panels 11 and 12,
// periods 31 and 32) is the one removed from; tunnel 2 "South" (panel 21, period 41) must
// come through untouched. After each call the whole database is compared with what it
// held before minus exactly the rows the cascade is meant to delete.

namespace {
using Snapshot = QMap<QString, QStringList>;

void sql(const QString& statement)
{
    gConn.exec(statement);
}

void seed()
{
    const QStringList rows{
        "INSERT INTO Tunnels (TunnelID, SystemID, TunnelName) VALUES (1, 1, 'North'), (2, 1, 'South')",
        "INSERT INTO TunnelCoord VALUES (1, 0, 10, 10), (1, 1, 20, 20), (2, 0, 30, 30)",
        "INSERT INTO Panels (PanelID, TunnelID, PanelNum, PanelName) VALUES (11, 1, 1, 'N1'), (12, 1, 2, 'N2'), "
        "(21, 2, 1, 'S1')",
        "INSERT INTO PanelCoord VALUES (11, 0, 1, 1), (11, 1, 2, 2), (12, 0, 3, 3), (21, 0, 4, 4)",
        "INSERT INTO ElementCategory VALUES (1, 'Structure', 1)",
        "INSERT INTO AvailableElements VALUES (101, 'Lining', 1), (102, 'Drain', 1)",
        "INSERT INTO PanelElements VALUES (11, 101), (11, 102), (12, 101), (21, 101)",
        "INSERT INTO InspectionPeriod VALUES (31, 1, 2005), (32, 1, 2006), (41, 2, 2005)",
        "INSERT INTO Ratings (InspectionID, PanelID, ElementID, Rating) VALUES (31, 11, 101, 5), (31, 11, 102, 6), "
        "(32, 11, 101, 4), (31, 12, 101, 7), (41, 21, 101, 3)",
        "INSERT INTO RatingsPosted VALUES (31, 11, 101, 5), (41, 21, 101, 3)",
        "INSERT INTO PanelComments (InspectionID, PanelID, Comments) VALUES (31, 11, 'a'), (32, 11, 'b'), "
        "(31, 12, 'c'), (41, 21, 'd')",
        "INSERT INTO PanelCommentsPosted VALUES (31, 11, 'a'), (41, 21, 'd')",
        "INSERT INTO ImagePaths (PanelID, ElementID, ImagePath, FieldSketch, InspectionID) VALUES "
        "(11, 101, 's.jpg', 1, 31), (11, 101, 'p.jpg', 0, 31), (11, 102, 'q.jpg', 0, 31), (11, 101, 'r.jpg', 0, 32), "
        "(12, 101, 't.jpg', 0, 31), (21, 101, 'u.jpg', 0, 41)",
        "INSERT INTO ImagePathsPosted (PanelID, ElementID, ImagePath, FieldSketch, InspectionID) VALUES "
        "(11, 101, 's.jpg', 1, 31), (21, 101, 'u.jpg', 0, 41)",
        "INSERT INTO Videos (PanelID, ElementID, VideoFile, InspectionID) VALUES (11, 101, 'v.avi', 31), "
        "(21, 101, 'w.avi', 41)",
        "INSERT INTO VideosPosted VALUES (11, 101, 'v.avi', 31), (21, 101, 'w.avi', 41)",
        "INSERT INTO DefectQuantity (ID, PanelID, InspectionID, Quantity) VALUES (1, 11, 31, 2), (2, 21, 41, 3)",
        "INSERT INTO DefectQuantityPosted (ID, PanelID, InspectionID, Quantity) VALUES (1, 11, 31, 2)",
        "INSERT INTO RepairLogs (PanelID, RepairDate, RepairLog) VALUES (11, '2005-03-01', 'x'), "
        "(12, '2005-03-02', 'y'), (21, '2005-03-03', 'z')",
        "INSERT INTO Emergencies (PanelID, EmergencyDate, Emergency) VALUES (11, '2005-04-01', 'e'), "
        "(21, '2005-04-02', 'f')",
        "INSERT INTO TabDefinitions (ID, TabIndex, TabCaption) VALUES (1, 0, 'History')",
        "INSERT INTO TabData VALUES (1, 11, 'h1'), (1, 21, 'h2')",
        "INSERT INTO ExpenditureCats VALUES (1, 'Repair')",
        "INSERT INTO Expenditures (TunnelID, Cost, [Date], Comments, CategoryID) VALUES (1, 10.5, '2005-05-01', "
        "'c1', 1), (2, 20, '2005-05-02', 'c2', 1)",
    };
    for (const QString& r : rows)
        sql(r);
}

QStringList tables()
{
    const RowSet rs = gConn.query(QStringLiteral(
        "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite%' ORDER BY name"));
    QStringList out;
    for (int i = 0; i < rs.count(); ++i)
        out << rs.value(i, 0).toString();
    return out;
}

// Every row of every table; the rows matching removed[table] left out.
Snapshot snapshot(const QMap<QString, QString>& removed = {})
{
    Snapshot out;
    for (const QString& t : tables()) {
        QString q = QStringLiteral("SELECT * FROM [%1]").arg(t);
        if (removed.contains(t))
            q += QStringLiteral(" WHERE NOT (%1)").arg(removed[t]);
        const RowSet rs = gConn.query(q + QStringLiteral(" ORDER BY rowid"));
        QStringList rows;
        for (const QVariantList& r : rs.rows()) {
            QStringList cells;
            for (const QVariant& v : r)
                cells << (v.isNull() ? QStringLiteral("<null>") : v.toString());
            rows << cells.join(QLatin1Char('|'));
        }
        out.insert(t, rows);
    }
    return out;
}

struct Question {
    QString text, title;
    MsgIcon icon;
    MsgButtons buttons;
    MsgAnswer defaultButton;
};

const QMap<QString, Question>& questions()
{
    static const QMap<QString, Question> q{
        {"tRefuse",
         {"Unable to remove tunnel.  Ratings data exists.", "North", MsgIcon::Warning, MsgButtons::Ok, MsgAnswer::Ok}},
        {"tImages",
         {"Field sketches and photographs exist for this tunnel.  Are you sure you want to remove the tunnel?",
          "North", MsgIcon::Question, MsgButtons::YesNo, MsgAnswer::Yes}},
        {"tConfirm",
         {"Are you sure you want to remove North?", "Remove Tunnel", MsgIcon::None, MsgButtons::YesNo, MsgAnswer::No}},
        {"pConfirm",
         {"Are you sure you want to remove this panel?", "Remove Panel", MsgIcon::Question, MsgButtons::YesNo,
          MsgAnswer::Yes}},
        {"pRatings",
         {"This panel has ratings data.  Would you like to delete it anyway?", "Ratings Data", MsgIcon::Information,
          MsgButtons::YesNo, MsgAnswer::Yes}},
        {"eRatings",
         {"This element has ratings data.  Would you like to delete it anyway?", "Ratings Data", MsgIcon::Question,
          MsgButtons::YesNo, MsgAnswer::Yes}},
        {"eImages",
         {"There are also images associated with this element.  Would you like to continue?", "Images",
          MsgIcon::Question, MsgButtons::YesNo, MsgAnswer::Yes}},
        {"iRatings",
         {"Ratings data exists for this Inspection Period. Are you sure you want to delete the Inspection Period and "
          "lose this information?",
          "Ratings Data Found", MsgIcon::None, MsgButtons::YesNo, MsgAnswer::No}},
        {"iImages",
         {"Field sketches and photographs exist for this inspection period. Are you sure you want to remove this "
          "inspection period?",
          "Delete Image Information", MsgIcon::None, MsgButtons::YesNo, MsgAnswer::No}},
    };
    return q;
}

// Where each cascade's ratings and pictures are (emptied for the "without" cases) and
// which rows it must delete.
struct Cascade {
    QString scope;  // over Ratings and ImagePaths
    QMap<QString, QString> deletes;
    std::function<bool()> run;
};

Cascade cascade(const QString& name)
{
    if (name == QLatin1String("tunnel"))
        return {"PanelID IN (11, 12)",
                {{"Tunnels", "TunnelID = 1"},
                 {"TunnelCoord", "TunnelID = 1"},
                 {"ImagePaths", "PanelID IN (11, 12)"},
                 {"InspectionPeriod", "TunnelID = 1"},
                 {"PanelComments", "PanelID IN (11, 12)"},
                 {"PanelCoord", "PanelID IN (11, 12)"},
                 {"PanelElements", "PanelID IN (11, 12)"},
                 {"RepairLogs", "PanelID IN (11, 12)"},
                 {"Panels", "TunnelID = 1"}},
                [] { return DbDeleteTunnel(1, QStringLiteral("North")); }};
    if (name == QLatin1String("panel"))
        return {"PanelID = 11",
                {{"Ratings", "PanelID = 11"},
                 {"Panels", "PanelID = 11"},
                 {"PanelElements", "PanelID = 11"},
                 {"PanelCoord", "PanelID = 11"},
                 {"PanelComments", "PanelID = 11"},
                 {"RepairLogs", "PanelID = 11"},
                 {"ImagePaths", "PanelID = 11"}},
                [] { return DbDeletePanel(11); }};
    if (name == QLatin1String("element"))
        return {"PanelID = 11 AND ElementID = 101",
                {{"PanelElements", "PanelID = 11 AND ElementID = 101"},
                 {"ImagePaths", "PanelID = 11 AND ElementID = 101"},
                 {"Ratings", "PanelID = 11 AND ElementID = 101"}},
                [] { return DbRemovePanelElement(11, 101); }};
    return {"InspectionID = 31",
            {{"Ratings", "InspectionID = 31"},
             {"PanelComments", "InspectionID = 31"},
             {"ImagePaths", "InspectionID = 31"},
             {"InspectionPeriod", "InspectionID = 31"}},
            [] { return DbDeleteInspectionPeriod(31); }};
}

// Table by table, so a failure names the table.
#define COMPARE_SNAPSHOTS(actual, expected)                                              \
    do {                                                                                 \
        const Snapshot a_ = (actual), e_ = (expected);                                   \
        QCOMPARE(a_.keys(), e_.keys());                                                  \
        for (const QString& t_ : e_.keys())                                              \
            QVERIFY2(a_[t_] == e_[t_], qPrintable(QStringLiteral("%1: %2 rows, expected %3: %4")          \
                                                      .arg(t_).arg(a_[t_].size()).arg(e_[t_].size())     \
                                                      .arg(a_[t_].join(QLatin1String("; ")))));          \
    } while (false)

MsgAnswer effectiveDefault(const PromptCall& c)
{
    return c.defaultButton == MsgAnswer::Default ? FirstButton(c.buttons) : c.defaultButton;
}
}  // namespace

class TestCascades : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        m_install = std::make_unique<TestInstall>();
        seed();
    }
    void cleanup() { m_install.reset(); }

    void answerPaths_data()
    {
        QTest::addColumn<QString>("which");
        QTest::addColumn<bool>("ratings");
        QTest::addColumn<bool>("images");
        QTest::addColumn<QList<int>>("answers");
        QTest::addColumn<QStringList>("asked");
        QTest::addColumn<bool>("deleted");
        const int Y = int(MsgAnswer::Yes), N = int(MsgAnswer::No);
        using L = QList<int>;
        using S = QStringList;

        QTest::newRow("tunnel with ratings is refused") << "tunnel" << true << true << L{} << S{"tRefuse"} << false;
        QTest::newRow("tunnel pictures declined") << "tunnel" << false << true << L{N} << S{"tImages"} << false;
        QTest::newRow("tunnel pictures yes, confirm no")
            << "tunnel" << false << true << L{Y, N} << S{"tImages", "tConfirm"} << false;
        QTest::newRow("tunnel pictures yes, confirm yes")
            << "tunnel" << false << true << L{Y, Y} << S{"tImages", "tConfirm"} << true;
        QTest::newRow("tunnel bare, confirm no") << "tunnel" << false << false << L{N} << S{"tConfirm"} << false;
        QTest::newRow("tunnel bare, confirm left at default")
            << "tunnel" << false << false << L{} << S{"tConfirm"} << false;
        QTest::newRow("tunnel bare, confirm yes") << "tunnel" << false << false << L{Y} << S{"tConfirm"} << true;

        QTest::newRow("panel bare, no") << "panel" << false << true << L{N} << S{"pConfirm"} << false;
        QTest::newRow("panel bare, yes") << "panel" << false << true << L{Y} << S{"pConfirm"} << true;
        QTest::newRow("panel rated, no") << "panel" << true << true << L{N} << S{"pConfirm"} << false;
        QTest::newRow("panel rated, yes then no")
            << "panel" << true << false << L{Y, N} << S{"pConfirm", "pRatings"} << false;
        QTest::newRow("panel rated, yes yes") << "panel" << true << true << L{Y, Y} << S{"pConfirm", "pRatings"}
                                              << true;

        QTest::newRow("element bare goes without a question") << "element" << false << false << L{} << S{} << true;
        QTest::newRow("element rated, no") << "element" << true << false << L{N} << S{"eRatings"} << false;
        QTest::newRow("element rated, yes") << "element" << true << false << L{Y} << S{"eRatings"} << true;
        QTest::newRow("element pictured, no") << "element" << false << true << L{N} << S{"eImages"} << false;
        QTest::newRow("element pictured, yes") << "element" << false << true << L{Y} << S{"eImages"} << true;
        QTest::newRow("element both, no") << "element" << true << true << L{N} << S{"eRatings"} << false;
        QTest::newRow("element both, yes no")
            << "element" << true << true << L{Y, N} << S{"eRatings", "eImages"} << false;
        QTest::newRow("element both, yes yes")
            << "element" << true << true << L{Y, Y} << S{"eRatings", "eImages"} << true;

        QTest::newRow("period bare goes without a question") << "period" << false << false << L{} << S{} << true;
        QTest::newRow("period rated, no") << "period" << true << false << L{N} << S{"iRatings"} << false;
        QTest::newRow("period rated, left at default") << "period" << true << false << L{} << S{"iRatings"} << false;
        QTest::newRow("period rated, yes") << "period" << true << false << L{Y} << S{"iRatings"} << true;
        QTest::newRow("period pictured, no") << "period" << false << true << L{N} << S{"iImages"} << false;
        QTest::newRow("period pictured, yes") << "period" << false << true << L{Y} << S{"iImages"} << true;
        QTest::newRow("period both, no") << "period" << true << true << L{N} << S{"iRatings"} << false;
        QTest::newRow("period both, yes no") << "period" << true << true << L{Y, N} << S{"iRatings", "iImages"}
                                             << false;
        QTest::newRow("period both, yes yes") << "period" << true << true << L{Y, Y} << S{"iRatings", "iImages"}
                                              << true;
    }

    void answerPaths()
    {
        QFETCH(QString, which);
        QFETCH(bool, ratings);
        QFETCH(bool, images);
        QFETCH(QList<int>, answers);
        QFETCH(QStringList, asked);
        QFETCH(bool, deleted);

        const Cascade c = cascade(which);
        if (!ratings)
            sql(QStringLiteral("DELETE FROM Ratings WHERE ") + c.scope);
        if (!images)
            sql(QStringLiteral("DELETE FROM ImagePaths WHERE ") + c.scope);
        const Snapshot expected = deleted ? snapshot(c.deletes) : snapshot();

        ScriptedPrompt prompt;
        for (int a : answers)
            prompt.answer(MsgAnswer(a));
        QList<int> depthAtQuestion;
        prompt.handler = [&](const PromptCall&) {
            depthAtQuestion << gConn.transactionDepth();
            return QVariant();
        };

        QCOMPARE(c.run(), deleted);

        QCOMPARE(prompt.calls.size(), asked.size());
        for (int i = 0; i < asked.size(); ++i) {
            const Question& q = questions()[asked[i]];
            const PromptCall& call = prompt.calls[i];
            QCOMPARE(call.kind, PromptCall::Message);
            QCOMPARE(call.text, q.text);
            QCOMPARE(call.title, q.title);
            QCOMPARE(call.icon, q.icon);
            QCOMPARE(call.buttons, q.buttons);
            QCOMPARE(effectiveDefault(call), q.defaultButton);
        }
        // Every question comes before anything is written.
        QCOMPARE(depthAtQuestion, QList<int>(asked.size(), 0));
        QCOMPARE(gConn.transactionDepth(), 0);
        COMPARE_SNAPSHOTS(snapshot(), expected);
    }

    // Another program saves rows while a question is open. The removal looks again inside its
    // transaction: rows no answer covered refuse it, or are asked about before anything goes;
    // nothing is deleted unasked, and nothing is left that belongs to a removed row.
    void rowsSavedWhileAQuestionIsOpen_data()
    {
        QTest::addColumn<QString>("which");
        QTest::addColumn<bool>("ratings");
        QTest::addColumn<bool>("images");
        QTest::addColumn<QString>("openAt");  // the question during which the other program saves
        QTest::addColumn<QString>("other");
        QTest::addColumn<QList<int>>("answers");
        QTest::addColumn<QStringList>("asked");
        QTest::addColumn<bool>("deleted");
        const int Y = int(MsgAnswer::Yes), N = int(MsgAnswer::No);
        using L = QList<int>;
        using S = QStringList;
        // Both rows are in every cascade's scope: panel 11 of tunnel North, element 101, period 31.
        const QString rating = "INSERT INTO Ratings (InspectionID, PanelID, ElementID, Rating) VALUES (31, 11, 101, 2)";
        const QString image = "INSERT INTO ImagePaths (PanelID, ElementID, ImagePath, FieldSketch, InspectionID) "
                              "VALUES (11, 101, 'new.jpg', 0, 31)";

        QTest::newRow("tunnel: ratings saved during the last question refuse it")
            << "tunnel" << false << false << "tConfirm" << rating << L{Y} << S{"tConfirm", "tRefuse"} << false;
        QTest::newRow("tunnel: pictures saved during the last question, declined")
            << "tunnel" << false << false << "tConfirm" << image << L{Y, N} << S{"tConfirm", "tImages"} << false;
        QTest::newRow("tunnel: pictures saved during the last question, accepted")
            << "tunnel" << false << false << "tConfirm" << image << L{Y, Y} << S{"tConfirm", "tImages"} << true;
        QTest::newRow("panel: ratings saved during 'Are you sure', declined")
            << "panel" << false << true << "pConfirm" << rating << L{Y, N} << S{"pConfirm", "pRatings"} << false;
        QTest::newRow("panel: ratings saved during 'Are you sure', accepted")
            << "panel" << false << true << "pConfirm" << rating << L{Y, Y} << S{"pConfirm", "pRatings"} << true;
        QTest::newRow("element: ratings saved during the pictures question, declined")
            << "element" << false << true << "eImages" << rating << L{Y, N} << S{"eImages", "eRatings"} << false;
        QTest::newRow("element: ratings saved during the pictures question, accepted")
            << "element" << false << true << "eImages" << rating << L{Y, Y} << S{"eImages", "eRatings"} << true;
        QTest::newRow("period: pictures saved during the ratings question, declined")
            << "period" << true << false << "iRatings" << image << L{Y, N} << S{"iRatings", "iImages"} << false;
        QTest::newRow("period: pictures saved during the ratings question, accepted")
            << "period" << true << false << "iRatings" << image << L{Y, Y} << S{"iRatings", "iImages"} << true;
    }

    void rowsSavedWhileAQuestionIsOpen()
    {
        QFETCH(QString, which);
        QFETCH(bool, ratings);
        QFETCH(bool, images);
        QFETCH(QString, openAt);
        QFETCH(QString, other);
        QFETCH(QList<int>, answers);
        QFETCH(QStringList, asked);
        QFETCH(bool, deleted);

        const Cascade c = cascade(which);
        if (!ratings)
            sql(QStringLiteral("DELETE FROM Ratings WHERE ") + c.scope);
        if (!images)
            sql(QStringLiteral("DELETE FROM ImagePaths WHERE ") + c.scope);

        ScriptedPrompt prompt;
        for (int a : answers)
            prompt.answer(MsgAnswer(a));
        QList<int> depthAtQuestion;
        QString shellError = QStringLiteral("the question was not asked");
        Snapshot expected;
        prompt.handler = [&](const PromptCall& call) {
            depthAtQuestion << gConn.transactionDepth();
            if (call.text == questions()[openAt].text && expected.isEmpty()) {
                shellError = RunSqliteShell(m_install->dbPath(), other);
                expected = deleted ? snapshot(c.deletes) : snapshot();
            }
            return QVariant();
        };

        QCOMPARE(c.run(), deleted);
        QCOMPARE(shellError, QString());
        QStringList texts;
        for (const QString& q : asked)
            texts << questions()[q].text;
        QCOMPARE(prompt.messages(), texts);
        QCOMPARE(depthAtQuestion, QList<int>(asked.size(), 0));
        QCOMPARE(gConn.transactionDepth(), 0);
        COMPARE_SNAPSHOTS(snapshot(), expected);
        if (deleted) {
            QCOMPARE(gConn.scalar(QStringLiteral("SELECT count(*) FROM Ratings WHERE ") + c.scope).toInt(), 0);
            QCOMPARE(gConn.scalar(QStringLiteral("SELECT count(*) FROM ImagePaths WHERE ") + c.scope).toInt(), 0);
        }
    }

    // A tunnel's panels, outlines and element assignments go with it: nothing of the tunnel
    // is left that could only be reached through a deleted Panels row.
    void tunnelLeavesNoPanelBehind()
    {
        sql(QStringLiteral("DELETE FROM Ratings WHERE PanelID IN (11, 12)"));
        ScriptedPrompt prompt;
        prompt.answer(MsgAnswer::Yes);
        prompt.answer(MsgAnswer::Yes);
        QVERIFY(DbDeleteTunnel(1, QStringLiteral("North")));
        for (const char* t : {"Panels", "PanelCoord", "PanelElements", "PanelComments", "ImagePaths", "RepairLogs"})
            QCOMPARE(gConn.scalar(QStringLiteral("SELECT count(*) FROM %1 WHERE PanelID IN (11, 12)").arg(t)).toInt(),
                     0);
        QCOMPARE(gConn.scalar(QStringLiteral("SELECT count(*) FROM Panels WHERE TunnelID = 1")).toInt(), 0);
    }

    // The rows a cascade leaves (clips, tab texts, emergencies) name a key that no new
    // panel or period ever gets.
    void leftRowsNeverAttachToANewRow()
    {
        ScriptedPrompt prompt;
        prompt.handler = [](const PromptCall&) { return QVariant::fromValue(int(MsgAnswer::Yes)); };
        QVERIFY(DbDeletePanel(21));  // the newest panel
        QVERIFY(DbDeleteInspectionPeriod(41));  // the newest period
        const qint64 panel = gConn.insertAutoNumber(QStringLiteral("Panels"), {{QStringLiteral("TunnelID"), 2}});
        const qint64 period
            = gConn.insertAutoNumber(QStringLiteral("InspectionPeriod"), {{QStringLiteral("TunnelID"), 2}});
        QVERIFY(panel > 21);
        QVERIFY(period > 41);
        QCOMPARE(gConn.scalar(QStringLiteral("SELECT count(*) FROM Videos WHERE PanelID = 21")).toInt(), 1);
        QCOMPARE(gConn.scalar(QStringLiteral("SELECT count(*) FROM TabData WHERE PanelID = 21")).toInt(), 1);
    }

    // A window still open on a removed tunnel or panel writes no rows for it: each write
    // that adds rows for one raises, and the database stays as it was.
    void writesForARemovedTunnelOrPanel_data()
    {
        QTest::addColumn<QString>("write");
        for (const char* w : {"panel", "panel point", "panel outline", "tunnel outline", "panel element",
                              "inspection period",
                              "expenditure", "expenditure moved"})
            QTest::newRow(w) << QString::fromLatin1(w);
    }
    void writesForARemovedTunnelOrPanel()
    {
        QFETCH(QString, write);
        sql("DELETE FROM Tunnels WHERE TunnelID = 2");  // removed elsewhere; its panel 21 too
        sql("DELETE FROM Panels WHERE PanelID = 21");
        const Snapshot before = snapshot();
        const QDate date(2007, 1, 2);
        const ExpenditureOwners gone{2, QStringLiteral("South"), 1, QStringLiteral("Repair")};
        ScriptedPrompt prompt;
        const QMap<QString, std::function<void()>> writes{
            {"panel", [] { DbAddPanel(2, QStringLiteral("S2")); }},
            {"panel point", [] { DbAddPanelPoint(21, 5, 5); }},
            {"panel outline", [] { DbSavePanelCoords(21, {{1, 1}, {2, 2}, {3, 1}}); }},
            {"tunnel outline", [] { DbSaveTunnelCoords(2, {{1, 1}, {2, 2}, {3, 1}}); }},
            {"panel element", [] { DbAddPanelElement(21, 102); }},
            {"inspection period", [] { DbAddInspectionPeriod(QStringLiteral("x2"), 2007); }},
            {"expenditure", [&] { DbAddExpenditure(gone, 5, date, QStringLiteral("c")); }},
            {"expenditure moved",
             [&] {
                 DbUpdateExpenditure(1, QStringLiteral("The expenditure"), gone, {{QStringLiteral("TunnelID"), 1}},
                                     {{QStringLiteral("TunnelID"), 2}});
             }},
        };
        bool raised = false;
        try {
            writes.value(write)();
        } catch (const DbError& e) {
            raised = e.number() == ErrNo::NoCurrentRecord;
        }
        // Refused, or told what another user removed.
        QVERIFY(raised
                || prompt.messages()
                       == QStringList{QStringLiteral("The tunnel South was removed by another user; nothing was saved for it.")});
        QCOMPARE(snapshot(), before);
    }

    // A statement failing part-way rolls the whole cascade back and reaches the caller.
    void failureDeletesNothing_data()
    {
        QTest::addColumn<QString>("which");
        QTest::addColumn<QString>("failingTable");  // deleted last by the cascade
        QTest::newRow("tunnel") << "tunnel" << "Panels";
        QTest::newRow("panel") << "panel" << "ImagePaths";
        QTest::newRow("element") << "element" << "Ratings";
        QTest::newRow("period") << "period" << "InspectionPeriod";
    }

    void failureDeletesNothing()
    {
        QFETCH(QString, which);
        QFETCH(QString, failingTable);
        const Cascade c = cascade(which);
        if (which == QLatin1String("tunnel"))
            sql(QStringLiteral("DELETE FROM Ratings WHERE ") + c.scope);
        sql(QStringLiteral("CREATE TRIGGER refuse BEFORE DELETE ON %1 BEGIN SELECT RAISE(ABORT, 'disk on fire'); END")
                .arg(failingTable));
        const Snapshot before = snapshot();

        ScriptedPrompt prompt;
        prompt.handler = [](const PromptCall&) { return QVariant::fromValue(int(MsgAnswer::Yes)); };
        bool raised = false;
        try {
            c.run();
        } catch (const DbError& e) {
            raised = true;
            QVERIFY2(e.description().contains(QLatin1String("disk on fire")), qPrintable(e.description()));
        }
        QVERIFY(raised);
        QCOMPARE(gConn.transactionDepth(), 0);
        COMPARE_SNAPSHOTS(snapshot(), before);
    }

private:
    std::unique_ptr<TestInstall> m_install;
};

QTEST_MAIN(TestCascades)
#include "tst_cascades.moc"

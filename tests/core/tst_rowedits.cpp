#include "db.h"
#include "otherprogram.h"
#include "rowedits.h"
#include "scriptedprompt.h"
#include "testinstall.h"

#include <QTest>

// A save checks the rows it writes against the file as another program left it since the
// window loaded them.
namespace {

QVariant comment(qint32 panel)
{
    return gConn.scalar(QStringLiteral("SELECT Comments FROM PanelComments WHERE InspectionID = 1 AND PanelID = ?"),
                        {panel});
}

LoadedRow commentRow(qint32 panel, const QVariant& loaded)
{
    return {QStringLiteral("PanelComments"),
            {{QStringLiteral("InspectionID"), 1}, {QStringLiteral("PanelID"), panel}},
            {{QStringLiteral("Comments"), loaded}},
            false};
}

RowWrite changeComment(qint32 panel, const QVariant& loaded, const QString& text)
{
    RowWrite w;
    w.loaded = commentRow(panel, loaded);
    w.what = QStringLiteral("The comment of panel P%1").arg(panel);
    w.needs = {{QStringLiteral("Panels"), {{QStringLiteral("PanelID"), panel}}, QStringLiteral("The panel P%1").arg(panel)}};
    w.write = [panel, text] {
        UpdateChanged(QStringLiteral("PanelComments"), {{QStringLiteral("Comments"), text}},
                      QStringLiteral("InspectionID = 1 AND PanelID = ?"), {panel});
    };
    return w;
}

}  // namespace

class TestRowEdits : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        m_install = std::make_unique<TestInstall>();
        gConn.exec(QStringLiteral("INSERT INTO InspectionPeriod (InspectionID, InspectionYear) VALUES (1, 2026)"));
        for (int p = 1; p <= 3; ++p) {
            gConn.exec(QStringLiteral("INSERT INTO Panels (PanelID, TunnelID, PanelName) VALUES (?, 1, ?)"),
                       {p, QStringLiteral("P%1").arg(p)});
            gConn.exec(QStringLiteral("INSERT INTO PanelComments (InspectionID, PanelID, Comments) VALUES (1, ?, 'old')"),
                       {p});
        }
        m_other = OpenOtherProgram(m_install->dbPath());
    }
    void cleanup()
    {
        m_other.reset();
        m_install.reset();
    }

    // The other program changes the row between loading and saving; each answer does what it says.
    void aRowChangedMeanwhileIsAskedAbout_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("saved");
        QTest::newRow("yes replaces") << int(MsgAnswer::Yes) << "mine" << true;
        QTest::newRow("no keeps theirs") << int(MsgAnswer::No) << "theirs" << true;
        QTest::newRow("cancel writes nothing") << int(MsgAnswer::Cancel) << "theirs" << false;
    }
    void aRowChangedMeanwhileIsAskedAbout()
    {
        QFETCH(int, answer);
        QFETCH(QString, stored);
        QFETCH(bool, saved);
        QCOMPARE(RunSqliteShell(m_install->dbPath(),
                                QStringLiteral("UPDATE PanelComments SET Comments = 'theirs' WHERE PanelID = 1")),
                 QString());
        ScriptedPrompt prompt;
        prompt.answer(MsgAnswer(answer));
        // Panel 2's comment nobody else touched is written, except when the save is cancelled.
        const SaveOutcome out = SaveRows({changeComment(1, QStringLiteral("old"), QStringLiteral("mine")),
                                          changeComment(2, QStringLiteral("old"), QStringLiteral("two"))});
        QCOMPARE(prompt.messages(),
                 QStringList{QStringLiteral("The comment of panel P1 was changed by another user after you opened "
                                            "it. Replace it with yours?")});
        QCOMPARE(out.saved(), saved);
        QCOMPARE(comment(1).toString(), stored);
        QCOMPARE(comment(2).toString(), saved ? QStringLiteral("two") : QStringLiteral("old"));
        QCOMPARE(out.showStored(), answer == int(MsgAnswer::No));
    }

    // Nobody else wrote: no question; a change of case by the other program is a change.
    void onlyRealChangesAreAskedAbout()
    {
        ScriptedPrompt prompt;
        QVERIFY(SaveRows({changeComment(1, QStringLiteral("old"), QStringLiteral("mine"))}).saved());
        QVERIFY(prompt.calls.isEmpty());
        m_other->exec(QStringLiteral("UPDATE PanelComments SET Comments = 'OLD' WHERE PanelID = 2"));
        prompt.answer(MsgAnswer::No);
        QVERIFY(SaveRows({changeComment(2, QStringLiteral("old"), QStringLiteral("mine"))}).saved());
        QCOMPARE(prompt.calls.size(), 1);
        QCOMPARE(comment(2).toString(), QStringLiteral("OLD"));
    }

    // What the whole save writes into is gone: nothing written, the user told.
    void aSaveIntoWhatIsGoneWritesNothing()
    {
        m_other->exec(QStringLiteral("DELETE FROM InspectionPeriod WHERE InspectionID = 1"));
        ScriptedPrompt prompt;
        const SaveOutcome out = SaveRows({changeComment(1, QStringLiteral("old"), QStringLiteral("mine"))},
                                         {{QStringLiteral("InspectionPeriod"), {{QStringLiteral("InspectionID"), 1}},
                                           QStringLiteral("The inspection period 2026")}});
        QCOMPARE(out.result, SaveOutcome::Result::Gone);
        QCOMPARE(prompt.messages(), QStringList{QStringLiteral("The inspection period 2026 was removed by another "
                                                               "user; nothing was saved for it.")});
        QCOMPARE(comment(1).toString(), QStringLiteral("old"));
    }

    // A row gone, or the row it belongs to gone, is skipped and told; the rest is written.
    void aRowGoneIsToldAndTheRestSaved()
    {
        m_other->exec(QStringLiteral("DELETE FROM PanelComments WHERE PanelID = 1"));
        m_other->exec(QStringLiteral("DELETE FROM Panels WHERE PanelID = 2"));
        ScriptedPrompt prompt;
        const SaveOutcome out = SaveRows({changeComment(1, QStringLiteral("old"), QStringLiteral("mine")),
                                          changeComment(2, QStringLiteral("old"), QStringLiteral("mine")),
                                          changeComment(3, QStringLiteral("old"), QStringLiteral("mine"))});
        QVERIFY(out.saved());
        QCOMPARE(out.gone, (QVector<int>{0, 1}));
        QCOMPARE(prompt.messages(),
                 QStringList{QStringLiteral("The comment of panel P1 was removed by another user; nothing was saved "
                                            "for it.\nThe panel P2 was removed by another user; nothing was saved for "
                                            "it.")});
        QVERIFY(comment(1).isNull());
        QCOMPARE(comment(2).toString(), QStringLiteral("old"));
        QCOMPARE(comment(3).toString(), QStringLiteral("mine"));
    }

    // A row the window loaded as absent that another user added meanwhile; a removal of a row
    // already gone is done without a word; a removal of a row changed meanwhile asks.
    void addsAndRemovals()
    {
        ScriptedPrompt prompt;
        RowWrite add;
        add.kind = RowWrite::Kind::Add;
        add.loaded = commentRow(3, {});
        add.loaded.table = QStringLiteral("RepairLogs");
        add.loaded.key = {{QStringLiteral("PanelID"), 3}};
        add.loaded.values = {};
        add.loaded.absent = true;
        add.what = QStringLiteral("The repair log of panel P3");
        bool written = false;
        add.write = [&] { written = true; };
        m_other->exec(QStringLiteral("INSERT INTO RepairLogs (PanelID, RepairLog) VALUES (3, 'theirs')"));
        prompt.answer(MsgAnswer::No);
        QVERIFY(SaveRows({add}).saved());
        QVERIFY(!written);
        QCOMPARE(prompt.calls.size(), 1);

        RowWrite remove = changeComment(1, QStringLiteral("old"), QString());
        remove.kind = RowWrite::Kind::Remove;
        remove.write = [] { gConn.exec(QStringLiteral("DELETE FROM PanelComments WHERE PanelID = 1")); };
        m_other->exec(QStringLiteral("DELETE FROM PanelComments WHERE PanelID = 1"));
        prompt.calls.clear();
        QVERIFY(SaveRows({remove}).saved());
        QVERIFY(prompt.calls.isEmpty());

        RowWrite removeChanged = changeComment(2, QStringLiteral("old"), QString());
        removeChanged.kind = RowWrite::Kind::Remove;
        removeChanged.write = [] { gConn.exec(QStringLiteral("DELETE FROM PanelComments WHERE PanelID = 2")); };
        m_other->exec(QStringLiteral("UPDATE PanelComments SET Comments = 'theirs' WHERE PanelID = 2"));
        prompt.answer(MsgAnswer::Yes);
        QVERIFY(SaveRows({removeChanged}).saved());
        QCOMPARE(prompt.messages().last(), QStringLiteral("The comment of panel P2 was changed by another user after "
                                                          "you opened it. Remove it all the same?"));
        QVERIFY(comment(2).isNull());
    }

    // A REAL loaded with all its digits is the same value; a change in the last digit is a change.
    void realsCompareExactly()
    {
        gConn.exec(QStringLiteral("INSERT INTO DefectQuantity (ID, PanelID, InspectionID, Quantity) VALUES (9, 1, 1, 0.1 + 0.2)"));
        const QVariant loaded = gConn.scalar(QStringLiteral("SELECT Quantity FROM DefectQuantity WHERE ID = 9"));
        RowWrite w;
        w.loaded = {QStringLiteral("DefectQuantity"), {{QStringLiteral("ID"), 9}}, {{QStringLiteral("Quantity"), loaded}}, false};
        w.what = QStringLiteral("The defect");
        w.write = [] {};
        ScriptedPrompt prompt;
        QVERIFY(SaveRows({w}).saved());
        QVERIFY(prompt.calls.isEmpty());
        m_other->exec(QStringLiteral("UPDATE DefectQuantity SET Quantity = 0.3 WHERE ID = 9"));
        prompt.answer(MsgAnswer::Cancel);
        QCOMPARE(SaveRows({w}).result, SaveOutcome::Result::Cancelled);
        QCOMPARE(prompt.calls.size(), 1);
    }

    // Yes to the question, then the row changes once more before the save runs again: asked again.
    void aRowChangedAgainAfterTheAnswerIsAskedAgain()
    {
        ScriptedPrompt prompt;
        m_other->exec(QStringLiteral("UPDATE PanelComments SET Comments = 'theirs' WHERE PanelID = 1"));
        int asked = 0;
        prompt.handler = [&](const PromptCall&) {
            if (++asked == 1)
                m_other->exec(QStringLiteral("UPDATE PanelComments SET Comments = 'theirs again' WHERE PanelID = 1"));
            return QVariant::fromValue(int(MsgAnswer::Yes));
        };
        QVERIFY(SaveRows({changeComment(1, QStringLiteral("old"), QStringLiteral("mine"))}).saved());
        QCOMPARE(asked, 2);
        QCOMPARE(comment(1).toString(), QStringLiteral("mine"));
    }

    // A row kept as several rows (a panel's outline) compares as its reader reads it.
    void aRowOfSeveralRowsComparesAsItsReaderReadsIt()
    {
        gConn.exec(QStringLiteral("INSERT INTO PanelCoord (PanelID, CoordIndex, PanelX, PanelY) VALUES (1, 1, 10, 10), "
                                  "(1, 2, 20, 20)"));
        RowWrite w;
        w.loaded = {QStringLiteral("PanelCoord"), {{QStringLiteral("PanelID"), 1}},
                    {{QStringLiteral("Outline"), QStringLiteral("10,10 20,20")}}, false};
        w.what = QStringLiteral("The outline of panel P1");
        w.readStored = [] {
            return QVariantList{gConn.scalar(QStringLiteral(
                "SELECT group_concat(PanelX || ',' || PanelY, ' ') FROM (SELECT PanelX, PanelY FROM PanelCoord "
                "WHERE PanelID = 1 ORDER BY CoordIndex)"))};
        };
        int writes = 0;
        w.write = [&] { ++writes; };
        ScriptedPrompt prompt;
        QVERIFY(SaveRows({w}).saved());
        QCOMPARE(writes, 1);
        QVERIFY(prompt.calls.isEmpty());

        m_other->exec(QStringLiteral("UPDATE PanelCoord SET PanelX = 11 WHERE CoordIndex = 1"));
        prompt.answer(MsgAnswer::No);
        const SaveOutcome out = SaveRows({w});
        QCOMPARE(prompt.messages(), QStringList{QStringLiteral("The outline of panel P1 was changed by another user "
                                                               "after you opened it. Replace it with yours?")});
        QCOMPARE(writes, 1);
        QCOMPARE(out.kept, QVector<int>{0});
    }

    // Written column by column: another user's change of another column stays with no
    // question; a column both changed is asked about naming both values (a long text
    // shortened, on one line); a column stored as the user has it is no question.
    void columnsAreMergedOneByOne_data()
    {
        QTest::addColumn<QString>("theirs");
        QTest::addColumn<QString>("mine");
        QTest::addColumn<QString>("question");
        QTest::addColumn<QString>("stored");  // Description|Units with Yes to any question
        const QString longText = QStringLiteral("A crack along the north wall\nfrom the portal to the first niche, "
                                                "widening");
        QTest::newRow("other column") << "UPDATE DefectQuantity SET Units = 'm'" << "mine" << QString() << "mine|m";
        QTest::newRow("same value") << "UPDATE DefectQuantity SET Description = 'mine'" << "mine" << QString()
                                    << "mine|ft";
        QTest::newRow("both") << "UPDATE DefectQuantity SET Description = 'theirs', Units = 'm'" << "mine"
                              << "The description of the defect was changed by another user after you opened it: it "
                                 "is now \"theirs\", yours is \"mine\". Replace it with yours?"
                              << "mine|m";
        QTest::newRow("long text") << "UPDATE DefectQuantity SET Description = 'theirs'" << longText
                                   << "The description of the defect was changed by another user after you opened it: it "
                                      "is now \"theirs\", yours is \"A crack along the north wall from the portal to the "
                                      "first...\". Replace it with yours?"
                                   << longText + QStringLiteral("|ft");
        QTest::newRow("emptied") << "UPDATE DefectQuantity SET Description = 'theirs'" << QString()
                                 << "The description of the defect was changed by another user after you opened it: it "
                                    "is now \"theirs\", yours is empty. Replace it with yours?"
                                 << "|ft";
    }
    void columnsAreMergedOneByOne()
    {
        QFETCH(QString, theirs);
        QFETCH(QString, mine);
        QFETCH(QString, question);
        QFETCH(QString, stored);
        gConn.exec(QStringLiteral("INSERT INTO DefectQuantity (ID, PanelID, InspectionID, Description, Units) "
                                  "VALUES (9, 1, 1, 'old', 'ft')"));
        ShownFields shown;
        shown.filled(QStringLiteral("Description"), QStringLiteral("old"), QStringLiteral("old"));
        shown.filled(QStringLiteral("Units"), QStringLiteral("ft"), QStringLiteral("ft"));
        QVERIFY(!shown.changed(QStringLiteral("Units"), QStringLiteral("ft")));
        QVERIFY(shown.changed(QStringLiteral("Description"), mine));
        RowWrite w;
        w.loaded = {QStringLiteral("DefectQuantity"), {{QStringLiteral("ID"), 9}}, shown.loadedColumns(), false};
        w.what = QStringLiteral("The defect");
        w.columns = {{QStringLiteral("Description"), mine, QStringLiteral("The description of the defect"), {}}};
        m_other->exec(theirs);
        ScriptedPrompt prompt;
        prompt.answer(MsgAnswer::Yes);
        QVERIFY(SaveRows({w}).saved());
        QCOMPARE(prompt.messages(), question.isEmpty() ? QStringList() : QStringList{question});
        QCOMPARE(gConn.query(QStringLiteral("SELECT ifnull(Description, '') || '|' || Units FROM DefectQuantity")).value(0, 0).toString(),
                 stored);
    }

private:
    std::unique_ptr<TestInstall> m_install;
    std::unique_ptr<Connection> m_other;
};

QTEST_GUILESS_MAIN(TestRowEdits)
#include "tst_rowedits.moc"

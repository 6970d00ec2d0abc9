// The data tab editor: the custom tabs of every panel, edited on screen; Save writes what
// changed on screen.
#include "db.h"
#include "dbrecords.h"
#include "fixtures.h"
#include "forms.h"
#include "frmDataTabs.h"
#include "otherprogram.h"
#include "scriptedprompt.h"
#include "testinstall.h"

#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTabBar>
#include <QTest>

namespace {

qint32 addTab(int tabIndex, const QString& caption) { return DbAddTabDefinition(tabIndex, caption); }

QStringList stored()
{
    return Rows(QStringLiteral("SELECT TabIndex, TabCaption FROM TabDefinitions ORDER BY TabIndex, ID"));
}

frmDataTabs* open()
{
    frmDataTabs* f = frmDataTabs::ShowForm();
    return f;
}

}  // namespace

class TestDataTabs : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        m_install = std::make_unique<TestInstall>();
        m_prompt = std::make_unique<ScriptedPrompt>();
    }
    void cleanup()
    {
        m_prompt.reset();
        m_install.reset();
    }

    void emptyTableThenAddTabs()
    {
        frmDataTabs* f = open();
        QCOMPARE(f->objectName(), QStringLiteral("frmDataTabs"));
        QCOMPARE(f->windowTitle(), QStringLiteral("Panel Data Tabs Definition"));
        QCOMPARE(f->cmdMoveLeft->text(), QStringLiteral("<< Move Left"));
        QCOMPARE(f->cmdMoveRight->toolTip(), QStringLiteral("Move current tab right"));
        QCOMPARE(f->cmdSave->toolTip(), QStringLiteral("Save tab configuration"));
        QVERIFY(!f->SSTab1->isVisible());
        QVERIFY(!f->cmdRemove->isEnabled());
        QVERIFY(f->txtCaption->text().isEmpty());
        QVERIFY(f->tabCaptions().isEmpty());
        QVERIFY(!f->changed());

        f->cmdAdd->click();
        QVERIFY(f->SSTab1->isVisible());
        QVERIFY(f->cmdRemove->isEnabled());
        QVERIFY(f->changed());
        QCOMPARE(f->tabCaptions(), QStringList{"Tab 0"});
        QCOMPARE(f->tabIds(), QVector<qint32>{0});
        QCOMPARE(f->txtCaption->text(), QStringLiteral("Tab 0"));
        QCOMPARE(f->txtCaption->selectedText(), QStringLiteral("Tab 0"));

        f->cmdAdd->click();
        QCOMPARE(f->tabCaptions(), (QStringList{"Tab 0", "Tab 1"}));
        QCOMPARE(f->SSTab1->currentIndex(), 1);
        QCOMPARE(f->txtCaption->text(), QStringLiteral("Tab 1"));
        QVERIFY(stored().isEmpty());

        f->cmdSave->click();
        QVERIFY(!f->changed());
        QCOMPARE(stored(), (QStringList{"0|Tab 0", "1|Tab 1"}));
        QCOMPARE(f->tabIds(), (QVector<qint32>{DbGetTabID(0), DbGetTabID(1)}));
        QVERIFY(!f->tabIds().contains(0));
    }

    void oneInstanceLoadedAfreshAfterUnload()
    {
        addTab(0, QStringLiteral("Notes"));
        frmDataTabs* f = open();
        QCOMPARE(open(), f);
        f->cmdAdd->click();
        QCOMPARE(f->tabCaptions().size(), 2);
        m_prompt->answer(MsgAnswer::No);
        f->close();  // the close box asks as Close does; No drops the edit
        QCOMPARE(m_prompt->messages(), QStringList{"Save the current Panel Data Tab structure?"});
        QVERIFY(!IsFormLoaded(QStringLiteral("frmDataTabs")));
        frmDataTabs* g = open();
        QCOMPARE(g->tabCaptions(), QStringList{"Notes"});
        QVERIFY(!g->changed());
    }

    void typingRenamesTheCurrentTab()
    {
        addTab(0, QStringLiteral("Notes"));
        addTab(1, QStringLiteral("Access"));
        frmDataTabs* f = open();
        QCOMPARE(f->txtCaption->text(), QStringLiteral("Notes"));
        // Showing another tab's caption is no edit.
        f->SSTab1->setCurrentIndex(1);
        QCOMPARE(f->txtCaption->text(), QStringLiteral("Access"));
        QVERIFY(!f->changed());
        f->cmdClose->click();
        QVERIFY(m_prompt->calls.isEmpty());

        f = open();
        f->SSTab1->setCurrentIndex(1);
        f->txtCaption->setFocus();
        f->txtCaption->selectAll();
        QTest::keyClicks(f->txtCaption, QStringLiteral("R&D"));
        QCOMPARE(f->tabCaptions(), (QStringList{"Notes", "R&D"}));
        QCOMPARE(f->SSTab1->tabText(1), QStringLiteral("R&&D"));
        QVERIFY(f->changed());
        // No check: empty, or the same as another tab.
        f->txtCaption->clear();
        QCOMPARE(f->tabCaptions(), (QStringList{"Notes", ""}));
        f->txtCaption->setText(QStringLiteral("Notes"));
        f->cmdSave->click();
        QCOMPARE(stored(), (QStringList{"0|Notes", "1|Notes"}));
    }

    void storedPositionsAreRenumbered()
    {
        const qint32 a = addTab(7, QStringLiteral("A"));
        const qint32 b = addTab(3, QStringLiteral("B"));
        const qint32 c = addTab(3, QStringLiteral("C"));
        frmDataTabs* f = open();
        QCOMPARE(f->tabCaptions(), (QStringList{"B", "C", "A"}));
        QCOMPARE(f->tabIds(), (QVector<qint32>{b, c, a}));
        f->cmdSave->click();
        QCOMPARE(stored(), (QStringList{"0|B", "1|C", "2|A"}));
    }

    void removeTab()
    {
        const qint32 notes = addTab(0, QStringLiteral("Notes"));
        addTab(1, QStringLiteral("Access"));
        addTab(2, QStringLiteral("Drainage"));
        gConn.exec(QStringLiteral("INSERT INTO TabData (TabID, PanelID, TabData) VALUES (?, 1, 'wet')"), {notes});
        frmDataTabs* f = open();

        // A tab with a panel's text stays, but the attempt counts as a change.
        f->cmdRemove->click();
        QCOMPARE(m_prompt->messages(), QStringList{"Cannot remove this tab.  Data already exists for this topic."});
        QCOMPARE(m_prompt->calls[0].title, QStringLiteral("Remove Tab"));
        QCOMPARE(m_prompt->calls[0].icon, MsgIcon::Warning);
        QCOMPARE(f->tabCaptions().size(), 3);
        QVERIFY(f->changed());

        // The middle one: the next takes its place and is current.
        f->SSTab1->setCurrentIndex(1);
        f->cmdRemove->click();
        QCOMPARE(f->tabCaptions(), (QStringList{"Notes", "Drainage"}));
        QCOMPARE(f->SSTab1->currentIndex(), 1);
        QCOMPARE(f->txtCaption->text(), QStringLiteral("Drainage"));
        QCOMPARE(stored().size(), 3);  // until Save

        // The last one: the new last is current. A tab not saved yet always goes.
        f->cmdAdd->click();
        gConn.exec(QStringLiteral("INSERT INTO TabData (TabID, PanelID, TabData) VALUES (0, 1, 'stray')"));
        f->cmdRemove->click();
        QCOMPARE(f->tabCaptions(), (QStringList{"Notes", "Drainage"}));
        f->cmdRemove->click();
        QCOMPARE(f->tabCaptions(), QStringList{"Notes"});
        QCOMPARE(f->SSTab1->currentIndex(), 0);
        QCOMPARE(f->txtCaption->text(), QStringLiteral("Notes"));

        f->cmdSave->click();
        QCOMPARE(stored(), QStringList{"0|Notes"});
        QCOMPARE(CountRows(QStringLiteral("TabData")), 2);
    }

    void removingTheOnlyTabHidesThemAndSaveDeletesAll()
    {
        addTab(0, QStringLiteral("Notes"));
        frmDataTabs* f = open();
        f->cmdRemove->click();
        QVERIFY(!f->SSTab1->isVisible());
        QVERIFY(!f->cmdRemove->isEnabled());
        QVERIFY(f->txtCaption->text().isEmpty());
        QCOMPARE(f->SSTab1->tabText(0), QStringLiteral("Tab 0"));
        f->cmdSave->click();
        QVERIFY(stored().isEmpty());
        // Adding again starts from "Tab 0" with a new row at Save.
        f->cmdAdd->click();
        QCOMPARE(f->tabCaptions(), QStringList{"Tab 0"});
        QCOMPARE(f->tabIds(), QVector<qint32>{0});
    }

    void movingKeepsEveryPanelsTextWithItsTab()
    {
        const qint32 a = addTab(0, QStringLiteral("A"));
        const qint32 b = addTab(1, QStringLiteral("B"));
        addTab(2, QStringLiteral("C"));
        gConn.exec(QStringLiteral("INSERT INTO TabData (TabID, PanelID, TabData) VALUES (?, 9, 'text of A')"), {a});
        gConn.exec(QStringLiteral("INSERT INTO TabData (TabID, PanelID, TabData) VALUES (?, 9, 'text of B')"), {b});
        frmDataTabs* f = open();
        f->cmdMoveRight->click();
        f->cmdMoveRight->click();
        QCOMPARE(f->tabCaptions(), (QStringList{"B", "C", "A"}));
        QCOMPARE(f->SSTab1->currentIndex(), 2);
        QCOMPARE(f->txtCaption->text(), QStringLiteral("A"));
        f->cmdMoveLeft->click();
        QCOMPARE(f->tabCaptions(), (QStringList{"B", "A", "C"}));
        QCOMPARE(f->SSTab1->currentIndex(), 1);
        f->cmdSave->click();
        QCOMPARE(stored(), (QStringList{"0|B", "1|A", "2|C"}));
        QCOMPARE(DbGetTabData(9, 0), QStringLiteral("text of B"));
        QCOMPARE(DbGetTabData(9, 1), QStringLiteral("text of A"));
        QCOMPARE(DbGetTabData(9, 2), QString());
    }

    // Nothing moves at either end, yet Close asks.
    void movesAtTheEndsStillCountAsChanges_data()
    {
        QTest::addColumn<int>("current");
        QTest::addColumn<bool>("left");
        QTest::newRow("left on the first") << 0 << true;
        QTest::newRow("right on the last") << 1 << false;
    }
    void movesAtTheEndsStillCountAsChanges()
    {
        QFETCH(int, current);
        QFETCH(bool, left);
        addTab(0, QStringLiteral("A"));
        addTab(1, QStringLiteral("B"));
        frmDataTabs* f = open();
        f->SSTab1->setCurrentIndex(current);
        (left ? f->cmdMoveLeft : f->cmdMoveRight)->click();
        QCOMPARE(f->tabCaptions(), (QStringList{"A", "B"}));
        QCOMPARE(f->SSTab1->currentIndex(), current);
        QVERIFY(f->changed());
        m_prompt->answer(MsgAnswer::No);
        f->cmdClose->click();
        QCOMPARE(m_prompt->messages(), QStringList{"Save the current Panel Data Tab structure?"});
        QVERIFY(!IsFormLoaded(QStringLiteral("frmDataTabs")));
    }

    void closeAsksAboutChanges_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("stillOpen");
        QTest::addColumn<QStringList>("rows");
        QTest::newRow("cancel") << int(MsgAnswer::Cancel) << true << QStringList{"0|Notes"};
        QTest::newRow("yes") << int(MsgAnswer::Yes) << false << QStringList{"0|Notes", "1|Tab 1"};
        QTest::newRow("no") << int(MsgAnswer::No) << false << QStringList{"0|Notes"};
    }
    void closeAsksAboutChanges()
    {
        QFETCH(int, answer);
        QFETCH(bool, stillOpen);
        QFETCH(QStringList, rows);
        addTab(0, QStringLiteral("Notes"));
        frmDataTabs* f = open();
        f->cmdAdd->click();
        m_prompt->answer(MsgAnswer(answer));
        f->cmdClose->click();
        QCOMPARE(m_prompt->calls.size(), 1);
        const PromptCall& q = m_prompt->calls[0];
        QCOMPARE(q.text, QStringLiteral("Save the current Panel Data Tab structure?"));
        QCOMPARE(q.title, QStringLiteral("Close Panel Data Tab Definition"));
        QCOMPARE(q.buttons, MsgButtons::YesNoCancel);
        QCOMPARE(q.icon, MsgIcon::Question);
        QCOMPARE(IsFormLoaded(QStringLiteral("frmDataTabs")), stillOpen);
        QCOMPARE(stored(), rows);
        if (stillOpen)
            QCOMPARE(f->tabCaptions(), (QStringList{"Notes", "Tab 1"}));
    }

    // A failing save keeps nothing of itself, keeps the edits on screen as unsaved, and
    // keeps the window open when it came from Close.
    void aFailedSaveIsAllOrNothing()
    {
        const qint32 a = addTab(0, QStringLiteral("A"));
        const qint32 b = addTab(1, QStringLiteral("B"));
        frmDataTabs* f = open();
        f->cmdMoveRight->click();
        f->cmdAdd->click();
        QCOMPARE(f->tabCaptions(), (QStringList{"B", "A", "Tab 2"}));
        FailWhen(QStringLiteral("noinsert"), QStringLiteral("INSERT"), QStringLiteral("TabDefinitions"),
                 QStringLiteral("1"));

        // The two updates before the failing insert are undone with it.
        f->cmdSave->click();
        QCOMPARE(m_prompt->messages(), QStringList{"Error saving data tab configuration"});
        QCOMPARE(stored(), (QStringList{"0|A", "1|B"}));
        QCOMPARE(f->tabIds(), (QVector<qint32>{b, a, 0}));
        QVERIFY(f->changed());

        m_prompt->answer(MsgAnswer::Yes);
        f->cmdClose->click();
        QCOMPARE(m_prompt->messages().size(), 3);
        QVERIFY(IsFormLoaded(QStringLiteral("frmDataTabs")));

        DropFailure(QStringLiteral("noinsert"));
        m_prompt->answer(MsgAnswer::Yes);
        f->cmdClose->click();
        QVERIFY(!IsFormLoaded(QStringLiteral("frmDataTabs")));
        QCOMPARE(stored(), (QStringList{"0|B", "1|A", "2|Tab 2"}));
        QCOMPARE(DbGetTabID(0), b);
        QCOMPARE(DbGetTabID(1), a);
    }

    // Another program changes the structure between the load and Save, where this window
    // renamed A and added a tab: what it did stays, and the window shows it afterwards.
    void anotherUsersChangesStay_data()
    {
        QTest::addColumn<QString>("theirs");
        QTest::addColumn<QStringList>("rows");
        QTest::newRow("a tab added") << "INSERT INTO TabDefinitions (TabIndex, TabCaption) VALUES (3, 'Theirs')"
                                     << QStringList{"0|Mine", "1|B", "2|C", "3|Theirs", "3|Tab 3"};
        QTest::newRow("another tab renamed") << "UPDATE TabDefinitions SET TabCaption = 'B2' WHERE TabCaption = 'B'"
                                             << QStringList{"0|Mine", "1|B2", "2|C", "3|Tab 3"};
        QTest::newRow("other tabs moved") << "UPDATE TabDefinitions SET TabIndex = 3 - TabIndex WHERE TabIndex > 0"
                                          << QStringList{"0|Mine", "1|C", "2|B", "3|Tab 3"};
        QTest::newRow("another tab removed") << "DELETE FROM TabDefinitions WHERE TabCaption = 'C'"
                                             << QStringList{"0|Mine", "1|B", "3|Tab 3"};
    }
    void anotherUsersChangesStay()
    {
        QFETCH(QString, theirs);
        QFETCH(QStringList, rows);
        for (const char* c : {"A", "B", "C"})
            addTab(stored().size(), QLatin1String(c));
        frmDataTabs* f = open();
        f->txtCaption->setText(QStringLiteral("Mine"));
        f->cmdAdd->click();
        QCOMPARE(RunSqliteShell(m_install->dbPath(), theirs), QString());
        f->cmdSave->click();
        QVERIFY(m_prompt->calls.isEmpty());
        QCOMPARE(stored(), rows);
        QStringList shown;
        for (const QString& row : rows)
            shown << row.section(QLatin1Char('|'), 1);
        QCOMPARE(f->tabCaptions(), shown);
        QVERIFY(!f->changed());
    }

    // A tab this window renamed, changed or removed by another program meanwhile.
    void aTabChangedMeanwhileAsksOrTells_data()
    {
        QTest::addColumn<QString>("theirs");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<QStringList>("shown");
        const QString renamed = QStringLiteral("UPDATE TabDefinitions SET TabCaption = 'Theirs' WHERE TabCaption = 'A'");
        const QString asked =
            QStringLiteral("The name of the tab A was changed by another user after you opened it: it is now \"Theirs\", "
                           "yours is \"Mine\". Replace it with yours?");
        QTest::newRow("renamed, yes") << renamed << int(MsgAnswer::Yes) << asked << QStringList{"0|Mine", "1|B"}
                                      << QStringList{"Mine", "B"};
        QTest::newRow("renamed, no") << renamed << int(MsgAnswer::No) << asked << QStringList{"0|Theirs", "1|B"}
                                     << QStringList{"Theirs", "B"};
        QTest::newRow("renamed, cancel") << renamed << int(MsgAnswer::Cancel) << asked
                                         << QStringList{"0|Theirs", "1|B"} << QStringList{"Mine", "B"};
        QTest::newRow("removed") << "DELETE FROM TabDefinitions WHERE TabCaption = 'A'" << int(MsgAnswer::Default)
                                 << "The tab A was removed by another user; nothing was saved for it."
                                 << QStringList{"1|B"} << QStringList{"B"};
    }
    void aTabChangedMeanwhileAsksOrTells()
    {
        QFETCH(QString, theirs);
        QFETCH(int, answer);
        QFETCH(QString, message);
        QFETCH(QStringList, rows);
        QFETCH(QStringList, shown);
        addTab(0, QStringLiteral("A"));
        addTab(1, QStringLiteral("B"));
        frmDataTabs* f = open();
        f->txtCaption->setText(QStringLiteral("Mine"));
        QCOMPARE(RunSqliteShell(m_install->dbPath(), theirs), QString());
        if (answer != int(MsgAnswer::Default))
            m_prompt->answer(MsgAnswer(answer));
        f->cmdSave->click();
        QCOMPARE(m_prompt->messages(), QStringList{message});
        QCOMPARE(stored(), rows);
        QCOMPARE(f->tabCaptions(), shown);
        QCOMPARE(f->changed(), answer == int(MsgAnswer::Cancel));
    }

    // Texts saved for a tab after its Remove was clicked (by review, or another program) make
    // the save refuse: nothing is written, the tab comes back, the other edits stay to save.
    void aRemovalChecksTheTabsTextsAgain_data()
    {
        QTest::addColumn<bool>("review");
        QTest::newRow("another program") << false;
        QTest::newRow("review's save") << true;
    }
    void aRemovalChecksTheTabsTextsAgain()
    {
        QFETCH(bool, review);
        addTab(0, QStringLiteral("A"));
        const qint32 b = addTab(1, QStringLiteral("B"));
        addTab(2, QStringLiteral("C"));
        frmDataTabs* f = open();
        f->txtCaption->setText(QStringLiteral("Mine"));
        f->SSTab1->setCurrentIndex(1);
        f->cmdRemove->click();
        QCOMPARE(f->tabCaptions(), (QStringList{"Mine", "C"}));
        if (review) {
            gConn.exec(QStringLiteral("INSERT INTO Panels (PanelID, TunnelID, PanelName) VALUES (7, 1, 'P7')"));
            QVERIFY(DbSaveTabText(b, QStringLiteral("B"), 7, QStringLiteral("P7"), DbGetTabText(b, 7),
                                  QStringLiteral("wet"))
                        .saved());
        } else
            QCOMPARE(RunSqliteShell(m_install->dbPath(),
                                    QStringLiteral("INSERT INTO TabData (TabID, PanelID, TabData) VALUES (%1, 7, 'wet')")
                                        .arg(b)),
                     QString());
        f->cmdSave->click();
        QCOMPARE(m_prompt->messages(), QStringList{"Cannot remove this tab.  Data already exists for this topic."});
        QCOMPARE(stored(), (QStringList{"0|A", "1|B", "2|C"}));
        QCOMPARE(Rows(QStringLiteral("SELECT TabID, TabData FROM TabData")), QStringList{QString::number(b) + "|wet"});
        QCOMPARE(f->tabCaptions(), (QStringList{"Mine", "B", "C"}));
        QVERIFY(f->changed());
        f->cmdSave->click();
        QCOMPARE(stored(), (QStringList{"0|Mine", "1|B", "2|C"}));
    }

private:
    std::unique_ptr<TestInstall> m_install;
    std::unique_ptr<ScriptedPrompt> m_prompt;
};

QTEST_MAIN(TestDataTabs)
#include "tst_datatabs.moc"

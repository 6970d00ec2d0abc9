// Posting a period: the list of panels with incomplete ratings, the layout by its length,
// posting all of a period's entered data in one go, cancelling, a failed posting, and the
// inspection-period window around it.

#include "../startup/windowscript.h"
#include "db.h"
#include "dbdefects.h"
#include "dbinspection.h"
#include "dbposting.h"
#include "dbsystem.h"
#include "fixtures.h"
#include "forms.h"
#include "frmInspectionPd.h"
#include "frmPost.h"
#include "globals.h"
#include "helpers.h"
#include "inspectionforms.h"
#include "otherprogram.h"
#include "scriptedprompt.h"
#include "testinstall.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include <memory>

namespace {

qint32 AddPanel(qint32 tunnelId, const QString& name, const QList<qint32>& elements)
{
    const qint32 id = DbAddPanel(tunnelId, name);
    for (qint32 e : elements)
        DbAddPanelElement(id, e);
    return id;
}

QStringList ListItems(QListWidget* list)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->item(i)->text();
    return out;
}

}  // namespace

class TestPost : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TestInstall> m_install;
    std::unique_ptr<ScriptedPrompt> m_prompt;
    qint32 m_tunnel = 0;
    qint32 m_period = 0;

    // A tunnel with elements 1..3 and a period of 2024.
    void makeTunnel()
    {
        FixtureSystem();
        m_tunnel = FixtureTunnel(QStringLiteral("Harbour"));
        for (int e = 1; e <= 3; ++e)
            FixtureElement(e, QStringLiteral("Element %1").arg(e));
        m_period = FixturePeriod(m_tunnel, 2024);
    }

    // The tree on the period's node, as a user clicks it.
    frmInspectionPd* openTree()
    {
        frmInspectionPd::SetTunnelID(m_tunnel);
        auto* tree = new frmInspectionPd;
        tree->show();
        QTreeWidgetItem* node = tree->FindNode(QStringLiteral("y%1").arg(m_period));
        tree->tv->setCurrentItem(node);
        tree->tv_NodeClick(node);
        return tree;
    }

    // Runs LoadForm; act sees the shown window.
    void runPost(const std::function<void(frmPost*)>& act)
    {
        WindowScript script;
        script.when(QStringLiteral("frmPost"), [&](QWidget* w) { act(static_cast<frmPost*>(w)); });
        auto* post = new frmPost;
        post->LoadForm(m_tunnel, m_period);
        QVERIFY(!script.timedOut());
        QVERIFY(script.done());
        QTest::qWait(1);
    }

private slots:
    void initTestCase() { RegisterInspectionForms(); }

    void init()
    {
        m_install = std::make_unique<TestInstall>();
        m_prompt = std::make_unique<ScriptedPrompt>();
        gIsWizard = true;
        gIsDataEntry = true;
        makeTunnel();
    }
    void cleanup()
    {
        for (QWidget* w : LoadedForms())
            UnloadForm(w);
        QTest::qWait(1);
        m_prompt.reset();
        m_install.reset();
    }

    void layoutFollowsTheNumberOfListedPanels_data()
    {
        QTest::addColumn<int>("items");
        QTest::addColumn<bool>("shown");
        QTest::addColumn<int>("listHeight");
        QTest::addColumn<int>("label3Top");
        QTest::addColumn<int>("buttonsTop");
        QTest::addColumn<int>("height");
        QTest::newRow("none") << 0 << false << 1005 << 600 << 900 << 1450;
        QTest::newRow("one") << 1 << true << 250 << 1525 << 1885 << 2470;
        QTest::newRow("two") << 2 << true << 450 << 1725 << 2085 << 2670;
        QTest::newRow("four") << 4 << true << 850 << 2125 << 2485 << 3070;
        QTest::newRow("five: design") << 5 << true << 1005 << 2280 << 2640 << 3225;
        QTest::newRow("nine: design") << 9 << true << 1005 << 2280 << 2640 << 3225;
    }
    void layoutFollowsTheNumberOfListedPanels()
    {
        QFETCH(int, items);
        QFETCH(bool, shown);
        QFETCH(int, listHeight);
        QFETCH(int, label3Top);
        QFETCH(int, buttonsTop);
        QFETCH(int, height);
        QCOMPARE(PostLayoutFor(items), (PostLayout{shown, listHeight, label3Top, buttonsTop, height}));
    }

    void incompletePanelsAreListedOnceInPanelOrder()
    {
        const qint32 bare = AddPanel(m_tunnel, QStringLiteral("P1 bare"), {});
        const qint32 half = AddPanel(m_tunnel, QStringLiteral("P2 half"), {1, 2});
        const qint32 full = AddPanel(m_tunnel, QStringLiteral("P3 full"), {1, 2, 3});
        const qint32 nulls = AddPanel(m_tunnel, QStringLiteral("P4 null"), {1});
        const qint32 stale = AddPanel(m_tunnel, QStringLiteral("P5 stale"), {1, 2});
        DbSaveRating(m_period, half, 1, QStringLiteral("7"));
        for (int e = 1; e <= 3; ++e)
            DbSaveRating(m_period, full, e, QStringLiteral("8"));
        DbSaveRating(m_period, nulls, 1, QString());  // a Null rating is a missing one
        // Element 3 was rated, then taken off the panel: it does not stand in for element 2.
        DbSaveRating(m_period, stale, 1, QStringLiteral("5"));
        DbSaveRating(m_period, stale, 3, QStringLiteral("5"));
        // Another period's ratings do not count.
        const qint32 other = FixturePeriod(m_tunnel, 2020);
        DbSaveRating(other, half, 2, QStringLiteral("4"));
        Q_UNUSED(bare);

        QCOMPARE(frmPost::IncompletePanels(m_tunnel, m_period),
                 (QStringList{QStringLiteral("P1 bare"), QStringLiteral("P2 half"), QStringLiteral("P4 null"),
                              QStringLiteral("P5 stale")}));
    }

    void theShownWindowListsAndIsLaidOut()
    {
        const qint32 half = AddPanel(m_tunnel, QStringLiteral("Half"), {1, 2});
        AddPanel(m_tunnel, QStringLiteral("Bare"), {});
        DbSaveRating(m_period, half, 1, QStringLiteral("7"));
        auto* tree = openTree();
        bool treeHidden = false;
        runPost([&](frmPost* post) {
            treeHidden = !tree->isVisible();
            QVERIFY(post->isModal());
            QVERIFY(post->windowFlags() & Qt::FramelessWindowHint);
            QCOMPARE(post->windowTitle(), QString());
            QCOMPARE(ListItems(post->List1), (QStringList{QStringLiteral("Half"), QStringLiteral("Bare")}));
            QVERIFY(post->Label2->isVisible());
            QCOMPARE(post->List1->height(), TwipsToPixels(450));
            QCOMPARE(post->Label3->y(), TwipsToPixels(1725 + 15));
            QCOMPARE(post->cmdYes->y(), TwipsToPixels(2085 + 15));
            QCOMPARE(post->cmdNo->y(), TwipsToPixels(2085 + 15));
            QCOMPARE(post->height(), TwipsToPixels(2670));
            QCOMPARE(post->Label1->text(), QStringLiteral("This action will allow users to view the data that has "
                                                          "been input for the selected inspection year.  "));
            QCOMPARE(post->Label3->text(), QStringLiteral("Are you sure you want to post the data?"));
            post->cmdNo->click();
        });
        QVERIFY(treeHidden);
        QVERIFY(tree->isVisible());
    }

    void everyPanelRatedHidesTheList()
    {
        const qint32 p = AddPanel(m_tunnel, QStringLiteral("Done"), {1});
        DbSaveRating(m_period, p, 1, QStringLiteral("6"));
        runPost([](frmPost* post) {
            QCOMPARE(post->List1->count(), 0);
            QVERIFY(!post->Label2->isVisible());
            QVERIFY(!post->List1->isVisible());
            QCOMPARE(post->Label3->y(), TwipsToPixels(600 + 15));
            QCOMPARE(post->cmdYes->y(), TwipsToPixels(900 + 15));
            QCOMPARE(post->height(), TwipsToPixels(1450));
            post->cmdNo->click();
        });
    }

    void sixPanelsKeepTheDesignedLayout()
    {
        for (int i = 1; i <= 6; ++i)
            AddPanel(m_tunnel, QStringLiteral("Panel %1").arg(i), {});
        runPost([](frmPost* post) {
            QCOMPARE(post->List1->count(), 6);
            QCOMPARE(post->List1->height(), TwipsToPixels(1005));
            QCOMPARE(post->cmdYes->y(), TwipsToPixels(2640 + 15));
            post->cmdNo->click();
        });
    }

    void aTunnelWithoutPanelsHasNothingToPost()
    {
        auto* tree = openTree();
        DbSaveRating(m_period, 999, 1, QStringLiteral("3"));  // unposted data, but no panel
        tree->tv_NodeClick(tree->tv->currentItem());
        QVERIFY(tree->cmdPost->isEnabled());
        tree->cmdPost_Click();
        QCOMPARE(m_prompt->messages(), QStringList{QStringLiteral("There is no data to post.")});
        QCOMPARE(m_prompt->calls.last().title, QStringLiteral("Corvane Quorrel"));
        QVERIFY(tree->isVisible());
        QVERIFY(tree->cmdPost->isEnabled());
        QTest::qWait(1);
        QVERIFY(!IsFormLoaded(QStringLiteral("frmPost")));
        QCOMPARE(CountRows(QStringLiteral("RatingsPosted")), 0);
    }

    void yesPostsThePeriodAndDisablesTheTreeButtons()
    {
        const qint32 p = AddPanel(m_tunnel, QStringLiteral("Portal"), {1, 2});
        DbSaveRating(m_period, p, 1, QStringLiteral("7"));
        DbSaveRating(m_period, p, 2, QStringLiteral("2"));
        DbSavePanelComment(m_period, p, QStringLiteral("Spalling at the crown"));
        DbAddDefectQuantity(p, m_period, QStringLiteral("Crack"), 3, QStringLiteral("ft"), 10, 30);
        FixturePicture(p, 1, m_period, QStringLiteral("crack.jpg"), false, QStringLiteral("north wall"));
        FixtureClip(p, 2, m_period, QStringLiteral("drive.mp4"));
        auto* tree = openTree();
        QVERIFY(tree->cmdPost->isEnabled());
        QVERIFY(!tree->cmdReport->isEnabled());  // the reports are not part of this build

        WindowScript script;
        script.when(QStringLiteral("frmPost"), [](QWidget* w) { static_cast<frmPost*>(w)->cmdYes->click(); });
        tree->cmdPost->click();
        QVERIFY(script.done());
        QTest::qWait(1);

        QCOMPARE(m_prompt->messages(), QStringList{QStringLiteral("The data has been posted.")});
        QVERIFY(tree->isVisible());
        QVERIFY(!tree->cmdPost->isEnabled());
        QVERIFY(!tree->cmdReport->isEnabled());
        QVERIFY(!IsFormLoaded(QStringLiteral("frmPost")));
        QVERIFY(!DbHasUnpostedData(m_period));
        QVERIFY(!DbHasUnpostedMedia(m_period));
        QCOMPARE(Rows(QStringLiteral("SELECT PanelID, ElementID, Rating FROM RatingsPosted ORDER BY ElementID")),
                 (QStringList{QStringLiteral("%1|1|7").arg(p), QStringLiteral("%1|2|2").arg(p)}));
        QCOMPARE(Rows(QStringLiteral("SELECT Comments FROM PanelCommentsPosted")),
                 QStringList{QStringLiteral("Spalling at the crown")});
        QCOMPARE(CountRows(QStringLiteral("DefectQuantityPosted")), 1);
        QCOMPARE(Rows(QStringLiteral("SELECT ImagePath, Annotation FROM ImagePathsPosted")),
                 QStringList{QStringLiteral("crack.jpg|north wall")});
        QCOMPARE(CountRows(QStringLiteral("VideosPosted")), 1);
    }

    void enterOnTheFocusedYesPosts()
    {
        const qint32 p = AddPanel(m_tunnel, QStringLiteral("Portal"), {1});
        DbSaveRating(m_period, p, 1, QStringLiteral("4"));
        auto* tree = openTree();
        WindowScript script;
        script.when(QStringLiteral("frmPost"), [](QWidget* w) {
            auto* post = static_cast<frmPost*>(w);
            post->cmdYes->setFocus();
            QTest::keyClick(post->cmdYes, Qt::Key_Return);
        });
        tree->cmdPost->click();
        QVERIFY(script.done());
        QTest::qWait(1);
        QCOMPARE(m_prompt->messages(), QStringList{QStringLiteral("The data has been posted.")});
        QCOMPARE(CountRows(QStringLiteral("RatingsPosted")), 1);
        QVERIFY(!IsFormLoaded(QStringLiteral("frmPost")));
    }

    void noAndEscapeCloseWithoutWriting_data()
    {
        QTest::addColumn<bool>("escape");
        QTest::newRow("No") << false;
        QTest::newRow("Escape") << true;
    }
    void noAndEscapeCloseWithoutWriting()
    {
        QFETCH(bool, escape);
        const qint32 p = AddPanel(m_tunnel, QStringLiteral("Portal"), {1});
        DbSaveRating(m_period, p, 1, QStringLiteral("4"));
        auto* tree = openTree();
        WindowScript script;
        script.when(QStringLiteral("frmPost"), [escape](QWidget* w) {
            if (escape)
                QTest::keyClick(w, Qt::Key_Escape);
            else
                static_cast<frmPost*>(w)->cmdNo->click();
        });
        tree->cmdPost->click();
        QVERIFY(script.done());
        QTest::qWait(1);
        QVERIFY(m_prompt->calls.isEmpty());
        QVERIFY(tree->isVisible());
        QVERIFY(tree->cmdPost->isEnabled());
        QVERIFY(!IsFormLoaded(QStringLiteral("frmPost")));
        QCOMPARE(CountRows(QStringLiteral("RatingsPosted")), 0);
        QVERIFY(DbHasUnpostedData(m_period));
    }

    void aFailedPostingChangesNothingAndCanBeRepeated()
    {
        const qint32 p = AddPanel(m_tunnel, QStringLiteral("Portal"), {1});
        DbSaveRating(m_period, p, 1, QStringLiteral("4"));
        DbSavePanelComment(m_period, p, QStringLiteral("old"));
        DbPostInspection(m_period);
        DbSaveRating(m_period, p, 1, QStringLiteral("6"));  // posted copy now -1
        DbSavePanelComment(m_period, p, QStringLiteral("new"));
        FixtureClip(p, 1, m_period, QStringLiteral("a.mp4"));
        // The last table of the posting cannot be written.
        FailWhen(QStringLiteral("full"), QStringLiteral("INSERT"), QStringLiteral("VideosPosted"), QStringLiteral("1"));
        auto* tree = openTree();

        bool stayedOpen = false;
        bool treeHidden = false;
        WindowScript script;
        script.when(QStringLiteral("frmPost"), [&](QWidget* w) {
            auto* post = static_cast<frmPost*>(w);
            post->cmdYes->click();
            stayedOpen = post->isVisible();
            treeHidden = !tree->isVisible();
            QCOMPARE(Rows(QStringLiteral("SELECT Rating FROM RatingsPosted")), QStringList{QStringLiteral("-1")});
            QCOMPARE(Rows(QStringLiteral("SELECT Comments FROM PanelCommentsPosted")), QStringList{QStringLiteral("old")});
            QVERIFY(DbHasUnpostedData(m_period));
            // Pressed again once the table can be written: everything is posted.
            DropFailure(QStringLiteral("full"));
            post->cmdYes->click();
        });
        tree->cmdPost->click();
        QVERIFY(script.done());
        QTest::qWait(1);

        QVERIFY(stayedOpen);
        QVERIFY(treeHidden);
        QCOMPARE(m_prompt->messages(),
                 (QStringList{QStringLiteral("Error posting data"), QStringLiteral("The data has been posted.")}));
        QVERIFY(m_install->read(QStringLiteral("err.log")).contains("frmPost-Error posting data"));
        QCOMPARE(Rows(QStringLiteral("SELECT Rating FROM RatingsPosted")), QStringList{QStringLiteral("6")});
        QCOMPARE(Rows(QStringLiteral("SELECT Comments FROM PanelCommentsPosted")), QStringList{QStringLiteral("new")});
        QCOMPARE(CountRows(QStringLiteral("VideosPosted")), 1);
        QVERIFY(tree->isVisible());
    }

    // Another program removes the period, as the program removes one, while the window asks:
    // Yes posts nothing (the posted copies stay, the defects the removal left are not posted)
    // and says why, never "The data has been posted."
    void aPeriodRemovedMeanwhileIsNotPosted()
    {
        const qint32 p = AddPanel(m_tunnel, QStringLiteral("Portal"), {1});
        DbSaveRating(m_period, p, 1, QStringLiteral("4"));
        DbPostInspection(m_period);
        DbSaveRating(m_period, p, 1, QStringLiteral("6"));  // posted copy now -1
        DbAddDefectQuantity(p, m_period, QStringLiteral("Crack"), 3, QStringLiteral("ft"), 10, 30);
        auto* tree = openTree();
        WindowScript script;
        script.when(QStringLiteral("frmPost"), [this](QWidget* w) {
            QCOMPARE(RunSqliteShell(m_install->dbPath(),
                                    QStringLiteral("DELETE FROM Ratings WHERE InspectionID = %1;"
                                                   "DELETE FROM PanelComments WHERE InspectionID = %1;"
                                                   "DELETE FROM ImagePaths WHERE InspectionID = %1;"
                                                   "DELETE FROM InspectionPeriod WHERE InspectionID = %1;")
                                        .arg(m_period)),
                     QString());
            static_cast<frmPost*>(w)->cmdYes->click();
        });
        tree->cmdPost->click();
        QVERIFY(script.done());
        QTest::qWait(1);

        QCOMPARE(m_prompt->messages(), QStringList{QStringLiteral("The inspection period 2024 was removed by another "
                                                                  "user; nothing was saved for it.")});
        QVERIFY(!IsFormLoaded(QStringLiteral("frmPost")));
        QVERIFY(tree->isVisible());
        QCOMPARE(Rows(QStringLiteral("SELECT Rating FROM RatingsPosted")), QStringList{QStringLiteral("-1")});
        QCOMPARE(CountRows(QStringLiteral("DefectQuantityPosted")), 0);
        QCOMPARE(CountRows(QStringLiteral("DefectQuantity"), QStringLiteral("Posted = 0")), 1);
    }
};

QTEST_MAIN(TestPost)
#include "tst_post.moc"

// The inspection-period window: the tree of tunnels and years, its buttons by node and
// rights, the windows it opens by name, adding a year with its folders and the sketch copy,
// deleting and renaming years, deleting tunnels, and removing a year's folders.

#include "db.h"
#include "dbinspection.h"
#include "dbsystem.h"
#include "fixtures.h"
#include "forms.h"
#include "frmInspectionPd.h"
#include "frmInspectionPdFolders.h"
#include "globals.h"
#include "inspectionforms.h"
#include "krverror.h"
#include "lookups.h"
#include "otherprogram.h"
#include "scriptedprompt.h"
#include "settings.h"
#include "testinstall.h"

#include <QApplication>
#include <QDateTime>
#include <QMouseEvent>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include <memory>

namespace {

// What the stand-ins of other libraries' windows were asked to do, in order.
QStringList gCalls;

class FakeForm : public KrvForm<QDialog> {
    Q_OBJECT
public:
    explicit FakeForm(const QString& name) : KrvForm<QDialog>(name) {}

    Q_INVOKABLE void LoadForm(qint16 year, qint32 tunnelId)
    {
        gCalls << QStringLiteral("%1.LoadForm(%2,%3)").arg(objectName()).arg(year).arg(tunnelId);
        show();
    }
    Q_INVOKABLE void LoadForm(qint32 tunnelId, qint32 first, qint32 second)
    {
        gCalls << QStringLiteral("%1.LoadForm(%2,%3,%4)").arg(objectName()).arg(tunnelId).arg(first).arg(second);
        show();
    }
    Q_INVOKABLE void CreateUnpostedDataRpt(qint32 tunnelId, qint32 inspectionId, const QString& kind)
    {
        gCalls << QStringLiteral("%1.CreateUnpostedDataRpt(%2,%3,%4)").arg(objectName()).arg(tunnelId).arg(inspectionId).arg(kind);
    }
    Q_INVOKABLE void GetReportType(QString& kind)
    {
        gCalls << QStringLiteral("%1.GetReportType(%2)").arg(objectName(), kind);
    }
    int exec() override
    {
        gCalls << objectName() + QStringLiteral(".exec");
        return 0;
    }
};

const QStringList kOtherWindows{QStringLiteral("frmDataInput"), QStringLiteral("frmDataView"),
                                QStringLiteral("frmReport"), QStringLiteral("frmReportViewer"),
                                QStringLiteral("frmSystem")};

void RegisterFakes(bool on)
{
    for (const QString& name : kOtherWindows)
        RegisterFormFactory(name, on ? FormFactory([name] { return new FakeForm(name); }) : FormFactory());
}

QStringList Children(QTreeWidgetItem* node)
{
    QStringList out;
    for (int i = 0; i < node->childCount(); ++i)
        out << node->child(i)->text(0);
    return out;
}

// Enabled state of the seven buttons as a word: A I V R P S C (lower case when disabled).
QString Buttons(frmInspectionPd* w)
{
    QString s;
    const QList<QPair<QPushButton*, QChar>> buttons{{w->cmdAddYear, QLatin1Char('a')}, {w->cmdInput, QLatin1Char('i')},
                                                     {w->cmdViewData, QLatin1Char('v')}, {w->cmdReport, QLatin1Char('r')},
                                                     {w->cmdPost, QLatin1Char('p')},   {w->cmdSystem, QLatin1Char('s')},
                                                     {w->cmdClose, QLatin1Char('c')}};
    for (const auto& b : buttons)
        s += b.first->isEnabled() ? b.second.toUpper() : b.second;
    return s;
}

void WriteFile(const QString& path, const QByteArray& data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(data);
}

}  // namespace

class TestInspectionPd : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TestInstall> m_install;
    std::unique_ptr<ScriptedPrompt> m_prompt;
    qint32 m_harbour = 0;  // years 2001, 2007
    qint32 m_canal = 0;    // no year
    qint32 m_east = 0;     // year 2005
    qint32 m_h2001 = 0;
    qint32 m_h2007 = 0;
    qint32 m_e2005 = 0;

    void makeSystem()
    {
        FixtureSystem();
        m_harbour = FixtureTunnel(QStringLiteral("Harbour"));
        m_canal = FixtureTunnel(QStringLiteral("Canal"));
        m_east = FixtureTunnel(QStringLiteral("East"));
        m_h2007 = FixturePeriod(m_harbour, 2007);
        m_h2001 = FixturePeriod(m_harbour, 2001);
        m_e2005 = FixturePeriod(m_east, 2005);
    }

    QString data(const QString& rest = QString()) const { return IniGetSystemPath() + rest; }

    frmInspectionPd* open()
    {
        auto* w = new frmInspectionPd;
        w->show();
        return w;
    }

    // Selects a node as the keyboard does, or clicks it when it is selected already.
    static void click(frmInspectionPd* w, const QString& key)
    {
        QTreeWidgetItem* node = w->FindNode(key);
        QVERIFY(node);
        if (w->tv->currentItem() != node)
            w->tv->setCurrentItem(node);
        else
            w->tv_NodeClick(node);
    }

    static QString T(qint32 id) { return QStringLiteral("x%1").arg(id); }
    static QString Y(qint32 id) { return QStringLiteral("y%1").arg(id); }

private slots:
    void initTestCase() { RegisterInspectionForms(); }

    void init()
    {
        m_install = std::make_unique<TestInstall>();
        m_prompt = std::make_unique<ScriptedPrompt>();
        gCalls.clear();
        RegisterFakes(true);
        gIsWizard = true;
        gIsDataEntry = true;
        frmInspectionPd::SetTunnelID(0);
    }
    void cleanup()
    {
        for (QWidget* w : LoadedForms())
            UnloadForm(w);
        QTest::qWait(1);
        RegisterFakes(false);
        m_prompt.reset();
        m_install.reset();
    }

    // ------------------------------------------------------------ the tree

    void theTreeListsTunnelsByNameWithTheirYears()
    {
        makeSystem();
        auto* w = open();
        QCOMPARE(w->windowTitle(), QStringLiteral("Inspection Periods"));
        QCOMPARE(w->tv->topLevelItemCount(), 3);
        QStringList names;
        for (int i = 0; i < 3; ++i)
            names << w->tv->topLevelItem(i)->text(0) + QLatin1Char('=') + frmInspectionPd::NodeKey(w->tv->topLevelItem(i));
        QCOMPARE(names, (QStringList{QStringLiteral("Canal=") + T(m_canal), QStringLiteral("East=") + T(m_east),
                                     QStringLiteral("Harbour=") + T(m_harbour)}));
        QTreeWidgetItem* harbour = w->FindNode(T(m_harbour));
        QCOMPARE(Children(harbour), (QStringList{QStringLiteral("2001"), QStringLiteral("2007")}));
        QCOMPARE(frmInspectionPd::NodeKey(harbour->child(0)), Y(m_h2001));
        QVERIFY(w->tv->isEnabled());
        QCOMPARE(w->cmdAddYear->text(), QStringLiteral("Add Inspection Year"));
        QCOMPARE(w->cmdAddYear->toolTip(), QStringLiteral("Add Inspection Period"));
        QCOMPARE(w->cmdReport->text(), QStringLiteral("      Report Unposted Data"));
        QCOMPARE(w->cmdReport->toolTip(), QStringLiteral("Report Unposted Data"));
        QCOMPARE(Buttons(w), QStringLiteral("AivrpSC"));
        QVERIFY(!w->tv->currentItem());
        gIsWizard = false;
        auto* again = new frmInspectionPd;
        QCOMPARE(Buttons(again), QStringLiteral("AivrpsC"));
        again->Unload();
    }

    void aSystemWithoutTunnelsHasAnEmptyDisabledTree()
    {
        FixtureSystem();
        auto* w = open();
        QCOMPARE(w->tv->topLevelItemCount(), 0);
        QVERIFY(!w->tv->isEnabled());
        QVERIFY(!w->cmdAddYear->isEnabled());
        w->cmdAddYear_Click();
        QVERIFY(m_prompt->calls.isEmpty());
    }

    void loadFormSelectsTheTunnelAndALaterOpeningSelectsItAgain()
    {
        makeSystem();
        auto* w = new frmInspectionPd;
        w->LoadForm(m_east);
        QVERIFY(w->isVisible());
        QCOMPARE(w->tv->currentItem(), w->FindNode(T(m_east)));
        QVERIFY(w->FindNode(T(m_east))->isExpanded());
        QCOMPARE(Buttons(w), QStringLiteral("AivrpSC"));  // not a node click
        w->Unload();
        QTest::qWait(1);
        QCOMPARE(frmInspectionPd::TunnelID(), m_east);
        auto* again = open();
        QCOMPARE(frmInspectionPd::NodeKey(again->tv->currentItem()), T(m_east));

        // The set-up window opens the loaded window on a tunnel made after it was filled.
        const qint32 later = FixtureTunnel(QStringLiteral("Bay"));
        again->LoadForm(later);
        QCOMPARE(frmInspectionPd::NodeKey(again->tv->currentItem()), T(later));
        QCOMPARE(again->tv->topLevelItemCount(), 4);
        QCOMPARE(Children(again->FindNode(T(m_harbour))), (QStringList{QStringLiteral("2001"), QStringLiteral("2007")}));
    }

    void nodeClickSetsTheButtonsByNodeAndRights_data()
    {
        QTest::addColumn<QString>("node");  // "tunnel", "year"
        QTest::addColumn<bool>("wizard");
        QTest::addColumn<bool>("dataEntry");
        QTest::addColumn<QString>("unposted");  // "", "rating", "comment", "photo"
        QTest::addColumn<QString>("buttons");
        QTest::newRow("tunnel, wizard") << "tunnel" << true << true << "rating" << "AivrpSC";
        QTest::newRow("tunnel, data entry") << "tunnel" << false << true << "" << "AivrpsC";
        QTest::newRow("year, nothing unposted") << "year" << false << true << "" << "AIVrpsC";
        QTest::newRow("year, unposted rating") << "year" << false << true << "rating" << "AIVRPsC";
        QTest::newRow("year, unposted comment") << "year" << true << false << "comment" << "AIVRPSC";
        QTest::newRow("year, only a photo") << "year" << false << true << "photo" << "AIVrPsC";
        QTest::newRow("year, no rights") << "year" << false << false << "rating" << "AiVrpsC";
    }
    void nodeClickSetsTheButtonsByNodeAndRights()
    {
        QFETCH(QString, node);
        QFETCH(bool, wizard);
        QFETCH(bool, dataEntry);
        QFETCH(QString, unposted);
        QFETCH(QString, buttons);
        makeSystem();
        const qint32 panel = DbAddPanel(m_harbour, QStringLiteral("P1"));
        if (unposted == QLatin1String("rating"))
            DbSaveRating(m_h2007, panel, 1, QStringLiteral("5"));
        else if (unposted == QLatin1String("comment"))
            DbSavePanelComment(m_h2007, panel, QStringLiteral("wet"));
        else if (unposted == QLatin1String("photo"))
            FixturePicture(panel, 1, m_h2007, QStringLiteral("a.jpg"), false);
        gIsWizard = wizard;
        gIsDataEntry = dataEntry;
        auto* w = open();
        click(w, node == QLatin1String("tunnel") ? T(m_harbour) : Y(m_h2007));
        QCOMPARE(Buttons(w), buttons);
        QCOMPARE(w->cmdAddYear->text(), node == QLatin1String("tunnel") ? QStringLiteral("Add Inspection Year")
                                                                         : QStringLiteral("Delete Inspection Year"));
        QCOMPARE(frmInspectionPd::TunnelID(), m_harbour);
    }

    void keyboardMovesAndCollapsesActAsClicks()
    {
        makeSystem();
        auto* w = open();
        click(w, T(m_harbour));
        w->FindNode(T(m_harbour))->setExpanded(true);
        w->tv->setFocus();
        QTest::keyClick(w->tv, Qt::Key_Down);
        QCOMPARE(frmInspectionPd::NodeKey(w->tv->currentItem()), Y(m_h2001));
        QCOMPARE(w->cmdAddYear->text(), QStringLiteral("Delete Inspection Year"));
        // Collapsing the tunnel of the selected year selects the tunnel, as a click on it.
        w->tv->collapseItem(w->FindNode(T(m_harbour)));
        QCOMPARE(frmInspectionPd::NodeKey(w->tv->currentItem()), T(m_harbour));
        QCOMPARE(w->cmdAddYear->text(), QStringLiteral("Add Inspection Year"));
    }

    void aMouseClickIsOneNodeClick()
    {
        makeSystem();
        auto* w = open();
        gConn.exec(QStringLiteral("DELETE FROM Tunnels WHERE TunnelID = ?"), {m_east});
        QTreeWidgetItem* node = w->FindNode(T(m_east));
        QTest::mouseClick(w->tv->viewport(), Qt::LeftButton, {}, w->tv->visualItemRect(node).center());
        QCOMPARE(w->tv->currentItem(), node);
        QCOMPARE(m_prompt->messages(), QStringList{QStringLiteral("Error selecting tunnel")});
        QTreeWidgetItem* harbour = w->FindNode(T(m_harbour));
        QTest::mouseClick(w->tv->viewport(), Qt::LeftButton, {}, w->tv->visualItemRect(harbour).center());
        QCOMPARE(frmInspectionPd::TunnelID(), m_harbour);
        QCOMPARE(m_prompt->calls.size(), 1);
    }

    // The caption and buttons belong to the selected node, however it was selected.
    void theButtonsAlwaysBelongToTheSelectedNode()
    {
        makeSystem();
        DbSaveRating(m_h2007, DbAddPanel(m_harbour, QStringLiteral("P")), 1, QStringLiteral("5"));
        auto* w = open();
        QTreeWidgetItem* harbour = w->FindNode(T(m_harbour));
        harbour->setExpanded(true);
        QTreeWidgetItem* year = w->FindNode(Y(m_h2007));

        // Pressed on the tunnel, released over a year: the year is selected, and shown.
        const QPoint from = w->tv->visualItemRect(harbour).center();
        const QPoint to = w->tv->visualItemRect(year).center();
        QTest::mousePress(w->tv->viewport(), Qt::LeftButton, {}, from);
        QMouseEvent move(QEvent::MouseMove, to, w->tv->viewport()->mapToGlobal(to), Qt::NoButton, Qt::LeftButton,
                         Qt::NoModifier);
        QApplication::sendEvent(w->tv->viewport(), &move);
        QTest::mouseRelease(w->tv->viewport(), Qt::LeftButton, {}, to);
        QTest::qWait(1);
        QCOMPARE(w->tv->currentItem(), year);
        QCOMPARE(w->cmdAddYear->text(), QStringLiteral("Delete Inspection Year"));
        QCOMPARE(Buttons(w), QStringLiteral("AIVRPSC"));

        // LoadForm on the open tree: the tunnel's node, and the tunnel's caption and buttons.
        w->LoadForm(m_harbour);
        QCOMPARE(w->tv->currentItem(), harbour);
        QCOMPARE(w->cmdAddYear->text(), QStringLiteral("Add Inspection Year"));
        QCOMPARE(Buttons(w), QStringLiteral("AivrpSC"));
        QVERIFY(m_prompt->calls.isEmpty());
    }

    void aNodeClickFindsTheTunnelByItsKey()
    {
        makeSystem();
        const qint32 twin = FixtureTunnel(QStringLiteral("Harbour"));
        const qint32 twinYear = FixturePeriod(twin, 2010);
        auto* w = open();
        click(w, Y(twinYear));
        QCOMPARE(frmInspectionPd::TunnelID(), twin);
        w->cmdViewData_Click();
        QCOMPARE(gCalls, QStringList{QStringLiteral("frmDataView.LoadForm(%1,%2,0)").arg(twin).arg(twinYear)});

        // A tunnel removed behind the window's back: logged, and nothing changes.
        gConn.exec(QStringLiteral("DELETE FROM Tunnels WHERE TunnelID = ?"), {m_east});
        const QString before = Buttons(w);
        click(w, Y(m_e2005));
        QCOMPARE(m_prompt->messages(), QStringList{QStringLiteral("Error selecting tunnel")});
        QVERIFY(m_install->read(QStringLiteral("err.log")).contains("frmInspectionPd-Error selecting tunnel"));
        QCOMPARE(frmInspectionPd::TunnelID(), twin);
        QCOMPARE(Buttons(w), before);
    }

    void commandsOfMissingWindowsStayDisabled()
    {
        makeSystem();
        DbSaveRating(m_h2007, DbAddPanel(m_harbour, QStringLiteral("P")), 1, QStringLiteral("5"));
        RegisterFakes(false);
        auto* w = open();
        click(w, Y(m_h2007));
        QCOMPARE(Buttons(w), QStringLiteral("AivrPsC"));
        // Whoever enables them by name, they stay off.
        w->cmdReport->setEnabled(true);
        w->cmdViewData->setEnabled(true);
        QCOMPARE(Buttons(w), QStringLiteral("AivrPsC"));
    }

    // ------------------------------------------------------------ launchers

    void inputDataOpensRatingEntryForTheYear()
    {
        makeSystem();
        auto* w = open();
        click(w, T(m_harbour));
        w->cmdInput_Click();
        QCOMPARE(m_prompt->calls.size(), 1);
        QCOMPARE(m_prompt->calls[0].text, QStringLiteral("Please select a year."));
        QCOMPARE(m_prompt->calls[0].title, QStringLiteral("Input Ratings Data"));
        QVERIFY(gCalls.isEmpty());

        click(w, Y(m_h2001));
        w->cmdInput->click();
        QWidget* entry = nullptr;
        for (QWidget* f : LoadedForms())
            if (f->objectName() == QLatin1String("frmDataInput"))
                entry = f;
        QVERIFY(entry && entry->isVisible());
        click(w, Y(m_h2007));
        w->cmdInput->click();
        QTest::qWait(1);
        int open = 0;
        for (QWidget* f : LoadedForms())
            open += f->objectName() == QLatin1String("frmDataInput");
        QCOMPARE(open, 1);  // the earlier one was unloaded first
        QCOMPARE(gCalls, (QStringList{QStringLiteral("frmDataInput.LoadForm(2001,%1)").arg(m_harbour),
                                      QStringLiteral("frmDataInput.LoadForm(2007,%1)").arg(m_harbour)}));
    }

    void launchersOnATunnelAskForAYear_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("title");
        QTest::newRow("input") << "cmdInput" << "Input Ratings Data";
        QTest::newRow("post") << "cmdPost" << "Post Ratings Data";
        QTest::newRow("report") << "cmdReport" << "Report Unposted Data";
    }
    void launchersOnATunnelAskForAYear()
    {
        QFETCH(QString, button);
        QFETCH(QString, title);
        makeSystem();
        DbAddPanel(m_harbour, QStringLiteral("P1"));
        auto* w = open();
        click(w, T(m_harbour));
        if (button == QLatin1String("cmdInput"))
            w->cmdInput_Click();
        else if (button == QLatin1String("cmdPost"))
            w->cmdPost_Click();
        else
            w->cmdReport_Click();
        QCOMPARE(m_prompt->messages(), QStringList{QStringLiteral("Please select a year.")});
        QCOMPARE(m_prompt->calls[0].title, title);
        QVERIFY(gCalls.isEmpty());
        QVERIFY(!IsFormLoaded(QStringLiteral("frmPost")));
        QVERIFY(w->isVisible());
    }

    void placementIsKept()
    {
        makeSystem();
        auto* w = open();
        w->move(123, 77);
        const QPoint at = w->pos();
        w->Unload();
        QTest::qWait(1);
        auto* again = open();
        QCOMPARE(again->pos(), at);
    }

    void viewDataOnATunnelOpensItsFirstYear()
    {
        makeSystem();
        auto* w = open();
        click(w, T(m_canal));
        w->cmdViewData_Click();
        QCOMPARE(m_prompt->messages(), QStringList{QStringLiteral("Please select an inspection period.")});
        QCOMPARE(m_prompt->calls[0].title, QStringLiteral("View Ratings Data"));
        QVERIFY(gCalls.isEmpty());
        click(w, T(m_harbour));
        w->cmdViewData_Click();
        QCOMPARE(gCalls, QStringList{QStringLiteral("frmDataView.LoadForm(%1,%2,0)").arg(m_harbour).arg(m_h2001)});
        QCOMPARE(frmInspectionPd::NodeKey(w->tv->currentItem()), Y(m_h2001));
    }

    void reportUnpostedDataBuildsTheReportAndShowsTheViewer()
    {
        makeSystem();
        auto* w = open();
        click(w, Y(m_h2007));
        w->cmdReport_Click();
        QCOMPARE(m_prompt->messages(), QStringList{QStringLiteral("There is no data to report.")});
        QCOMPARE(m_prompt->calls[0].title, QStringLiteral("Report Unposted Data"));
        QVERIFY(gCalls.isEmpty());

        DbAddPanel(m_harbour, QStringLiteral("P1"));
        w->cmdReport_Click();
        QCOMPARE(gCalls, (QStringList{QStringLiteral("frmReport.CreateUnpostedDataRpt(%1,%2,PreDataPost)")
                                          .arg(m_harbour)
                                          .arg(m_h2007),
                                      QStringLiteral("frmReportViewer.GetReportType(PreDataPost)"),
                                      QStringLiteral("frmReportViewer.exec")}));
        QTest::qWait(1);
        QVERIFY(!IsFormLoaded(QStringLiteral("frmReport")));  // no hidden window stays behind
    }

    void systemWizardUnloadsTheTreeAndOpensTheSetUpWindow()
    {
        makeSystem();
        auto* w = open();
        QPointer<QWidget> tree(w);
        w->cmdSystem->click();
        QTest::qWait(1);
        QVERIFY(!tree);
        QVERIFY(IsFormLoaded(QStringLiteral("frmSystem")));
    }

    void renamingATunnelIsRefused()
    {
        makeSystem();
        auto* w = open();
        QTreeWidgetItem* node = w->FindNode(T(m_east));
        QVERIFY(!w->tv_AfterLabelEdit(node, QStringLiteral("West")));
        QCOMPARE(m_prompt->messages(), QStringList{QStringLiteral("You must change the tunnel names on the System screen.")});
        QCOMPARE(node->text(0), QStringLiteral("East"));
        QCOMPARE(DbGetTunnelName(m_east), QStringLiteral("East"));
    }

    // ------------------------------------------------------------ adding a year

    void theYearAnswerIsReadAsALeadingNumber_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("year");
        QTest::newRow("2004abc") << "2004abc" << int(YearAnswer::Year) << 2004;
        QTest::newRow("leading blanks") << "   2004" << int(YearAnswer::Year) << 2004;
        QTest::newRow("half to even") << "2004.5" << int(YearAnswer::Year) << 2004;
        QTest::newRow("20045") << "20045" << int(YearAnswer::Invalid) << 0;
        QTest::newRow("-500") << "-500" << int(YearAnswer::Invalid) << 0;
        QTest::newRow("999") << "999" << int(YearAnswer::Invalid) << 0;
        QTest::newRow("abc") << "abc" << int(YearAnswer::Invalid) << 0;
        QTest::newRow("0") << "0" << int(YearAnswer::Silent) << 0;
        QTest::newRow("empty") << "" << int(YearAnswer::Silent) << 0;
        QTest::newRow("blanks") << "   " << int(YearAnswer::Silent) << 0;
    }
    void theYearAnswerIsReadAsALeadingNumber()
    {
        QFETCH(QString, answer);
        QFETCH(int, kind);
        QFETCH(int, year);
        const YearAnswer y = ReadYearAnswer(answer);
        QCOMPARE(int(y.kind), kind);
        QCOMPARE(int(y.year), year);
    }

    void aYearGoesInAtItsPlace_data()
    {
        QTest::addColumn<QString>("tunnel");
        QTest::addColumn<QStringList>("years");
        QTest::newRow("between") << "Harbour" << QStringList{"2001", "2004", "2007"};
        QTest::newRow("after") << "Only2001" << QStringList{"2001", "2004"};
        QTest::newRow("before") << "Only2007" << QStringList{"2004", "2007"};
        QTest::newRow("first") << "Canal" << QStringList{"2004"};
    }
    void aYearGoesInAtItsPlace()
    {
        QFETCH(QString, tunnel);
        QFETCH(QStringList, years);
        makeSystem();
        FixturePeriod(FixtureTunnel(QStringLiteral("Only2001")), 2001);
        FixturePeriod(FixtureTunnel(QStringLiteral("Only2007")), 2007);
        auto* w = open();
        QTreeWidgetItem* node = nullptr;
        for (int i = 0; i < w->tv->topLevelItemCount(); ++i)
            if (w->tv->topLevelItem(i)->text(0) == tunnel)
                node = w->tv->topLevelItem(i);
        const qint32 tunnelId = frmInspectionPd::KeyNumber(node);
        click(w, frmInspectionPd::NodeKey(node));
        m_prompt->answerText(QStringLiteral("2004"));
        m_prompt->answer(MsgAnswer::No);  // no sketch copy
        w->cmdAddYear->click();

        QCOMPARE(m_prompt->calls[0].kind, PromptCall::Input);
        QCOMPARE(m_prompt->calls[0].text, QStringLiteral("Enter an inspection year: "));
        QCOMPARE(m_prompt->calls[0].title, tunnel);
        QCOMPARE(m_prompt->calls[0].initial, QString::number(QDate::currentDate().year()));
        QCOMPARE(Children(node), years);
        const qint32 id = DbGetInspectionID(tunnelId, 2004);
        QVERIFY(id > 0);
        QCOMPARE(frmInspectionPd::NodeKey(w->tv->currentItem()), Y(id));
        QCOMPARE(w->cmdAddYear->text(), QStringLiteral("Delete Inspection Year"));
        QCOMPARE(Buttons(w), QStringLiteral("AIVRPSC"));
        for (const char* sub : {"sketch", "photo", "video"})
            QVERIFY(QFileInfo(data(tunnel + QStringLiteral("/2004/") + QLatin1String(sub))).isDir());
        // The first year of a tunnel is not asked about sketches.
        QCOMPARE(m_prompt->count(PromptCall::Message), tunnel == QLatin1String("Canal") ? 0 : 1);
    }

    void refusedAndSilentYearsChangeNothing_data()
    {
        QTest::addColumn<QVariant>("answer");  // null QVariant cancels
        QTest::addColumn<QStringList>("messages");
        const QStringList invalid{QStringLiteral("Invalid Year. Please enter a year between 1000 and 9999.")};
        QTest::newRow("20045") << QVariant(QStringLiteral("20045")) << invalid;
        QTest::newRow("abc") << QVariant(QStringLiteral("abc")) << invalid;
        QTest::newRow("0") << QVariant(QStringLiteral("0")) << QStringList();
        QTest::newRow("cancel") << QVariant() << QStringList();
        QTest::newRow("existing")
            << QVariant(QStringLiteral(" 2007")) << QStringList{QStringLiteral("This year has already been entered.")};
    }
    void refusedAndSilentYearsChangeNothing()
    {
        QFETCH(QVariant, answer);
        QFETCH(QStringList, messages);
        makeSystem();
        auto* w = open();
        click(w, T(m_harbour));
        if (answer.isNull())
            m_prompt->answerCancel();
        else
            m_prompt->answerText(answer.toString());
        w->cmdAddYear_Click();
        QCOMPARE(m_prompt->messages(), messages);
        QCOMPARE(CountRows(QStringLiteral("InspectionPeriod")), 3);
        QCOMPARE(Children(w->FindNode(T(m_harbour))), (QStringList{QStringLiteral("2001"), QStringLiteral("2007")}));
        QVERIFY(!QFileInfo::exists(data(QStringLiteral("Harbour"))));
    }

    void aTunnelNameThatCannotBeAFolderGetsNoPeriod()
    {
        FixtureSystem();
        const qint32 bad = FixtureTunnel(QStringLiteral(".."));
        auto* w = open();
        click(w, T(bad));
        m_prompt->answerText(QStringLiteral("2004"));
        w->cmdAddYear_Click();
        QCOMPARE(m_prompt->messages(), QStringList{QStringLiteral("Error removing Inspection Period")});
        QCOMPARE(CountRows(QStringLiteral("InspectionPeriod")), 0);
        QCOMPARE(w->FindNode(T(bad))->childCount(), 0);
    }

    void anEarlierYearCopiesTheLaterYearsSketches()
    {
        makeSystem();
        const qint32 panel = DbAddPanel(m_east, QStringLiteral("P1"));
        for (qint32 e : {1, 2, 3})
            DbAddPanelElement(panel, e);
        FixturePicture(panel, 1, m_e2005, QStringLiteral("s1.png"), true, QStringLiteral("crown's edge"), true);
        FixturePicture(panel, 2, m_e2005, QStringLiteral("s2.png"), true);
        FixturePicture(panel, 1, m_e2005, QStringLiteral("photo.jpg"), false, QStringLiteral("a photo"));
        const QString from = data(QStringLiteral("East/2005/sketch/"));
        WriteFile(from + QStringLiteral("s1.png"), "one");
        WriteFile(from + QStringLiteral("s2.png"), "two");
        const QDateTime old = QDateTime::currentDateTime().addDays(-30);
        {
            QFile f(from + QStringLiteral("s1.png"));
            QVERIFY(f.open(QIODevice::ReadWrite));
            QVERIFY(f.setFileTime(old, QFileDevice::FileModificationTime));
        }
        // A file of the same name in the new folder is never replaced: other content sends the
        // copy to a free name, the same content is used as it is. One that cannot be copied
        // is reported.
        FixturePicture(panel, 3, m_e2005, QStringLiteral("s3.png"), true);
        WriteFile(from + QStringLiteral("s3.png"), "three");
        const QString to = data(QStringLiteral("East/2003/sketch/"));
        WriteFile(to + QStringLiteral("s2.png"), "stale");
        WriteFile(to + QStringLiteral("s3.png"), "three");
        WriteFile(from + QStringLiteral("blocked.png"), "x");
        QDir().mkpath(to + QStringLiteral("blocked.png.krv-copy"));

        auto* w = open();
        click(w, T(m_east));
        m_prompt->answerText(QStringLiteral("2003"));
        m_prompt->answer(MsgAnswer::Yes);
        w->cmdAddYear_Click();

        const QList<PromptCall>& calls = m_prompt->calls;
        QCOMPARE(calls.size(), 3);
        QCOMPARE(calls[1].text, QStringLiteral("Do you want to copy the previous inspection's field sketches into "
                                               "this new inspection period?"));
        QCOMPARE(calls[1].title, QStringLiteral("Copy Sketches"));
        QCOMPARE(calls[1].defaultButton, MsgAnswer::No);
        QCOMPARE(calls[2].title, QStringLiteral("Error copying file blocked.png"));
        QCOMPARE(calls[2].icon, MsgIcon::Critical);
        QCOMPARE(m_install->read(QStringLiteral("Data/East/2003/sketch/s1.png")), QByteArray("one"));
        QCOMPARE(m_install->read(QStringLiteral("Data/East/2003/sketch/s2.png")), QByteArray("stale"));
        QCOMPARE(m_install->read(QStringLiteral("Data/East/2003/sketch/s2 (2).png")), QByteArray("two"));
        QCOMPARE(QFileInfo(to + QStringLiteral("s1.png")).lastModified().toSecsSinceEpoch(), old.toSecsSinceEpoch());
        QCOMPARE(QDir(to).entryList(QDir::Files | QDir::Hidden, QDir::Name),
                 (QStringList{"s1.png", "s2 (2).png", "s2.png", "s3.png"}));
        const qint32 id = DbGetInspectionID(m_east, 2003);
        QCOMPARE(Rows(QStringLiteral("SELECT PanelID, ElementID, ImagePath, FieldSketch, Annotation, Posted FROM "
                                     "ImagePaths WHERE InspectionID = ? ORDER BY ImagePath"),
                      {id}),
                 (QStringList{QStringLiteral("%1|1|s1.png|1|crown's edge|1").arg(panel),
                              QStringLiteral("%1|2|s2 (2).png|1||0").arg(panel),
                              QStringLiteral("%1|3|s3.png|1||0").arg(panel)}));
        QCOMPARE(CountRows(QStringLiteral("ImagePaths"), QStringLiteral("InspectionID = ?"), {m_e2005}), 4);
        QVERIFY(QFileInfo(data(QStringLiteral("East/2003/video"))).isDir());
    }

    void nothingChangesTheTreeWhileSketchesAreCopied()
    {
        makeSystem();
        WriteFile(data(QStringLiteral("East/2005/sketch/blocked.png")), "x");
        QDir().mkpath(data(QStringLiteral("East/2003/sketch/blocked.png.krv-copy")));
        auto* w = open();
        click(w, T(m_east));
        bool busy = false;
        bool closed = true;
        int callsDuring = 0;
        m_prompt->handler = [&](const PromptCall& call) -> QVariant {
            if (!call.title.startsWith(QLatin1String("Error copying file")))
                return {};
            // The copy's message comes while the copy runs: commands that change the tree wait.
            busy = w->Busy();
            callsDuring = m_prompt->calls.size();
            w->tv->setCurrentItem(w->FindNode(Y(m_e2005)));
            w->tv_DeleteKey();
            w->cmdAddYear_Click();
            closed = w->close();
            callsDuring = m_prompt->calls.size() - callsDuring;
            return int(MsgAnswer::Ok);
        };
        m_prompt->answerText(QStringLiteral("2003"));
        m_prompt->answer(MsgAnswer::Yes);
        w->cmdAddYear_Click();
        QVERIFY(busy);
        QVERIFY(!closed);
        QCOMPARE(callsDuring, 0);
        QVERIFY(w->FindNode(Y(m_e2005)));
        QVERIFY(!w->Busy());
    }

    void aFailedSketchRowCopyKeepsNoneOfTheRows()
    {
        makeSystem();
        const qint32 panel = DbAddPanel(m_east, QStringLiteral("P1"));
        DbAddPanelElement(panel, 1);
        DbAddPanelElement(panel, 2);
        FixturePicture(panel, 1, m_e2005, QStringLiteral("s1.png"), true);
        FixturePicture(panel, 2, m_e2005, QStringLiteral("s2.png"), true);
        FailWhen(QStringLiteral("second"), QStringLiteral("INSERT"), QStringLiteral("ImagePaths"),
                 QStringLiteral("NEW.ImagePath = 's2.png'"));
        auto* w = open();
        click(w, T(m_east));
        m_prompt->answerText(QStringLiteral("2006"));
        m_prompt->answer(MsgAnswer::Yes);
        w->cmdAddYear_Click();
        QCOMPARE(m_prompt->messages().last(), QStringLiteral("Error adding previous field sketch database records."));
        QCOMPARE(CountRows(QStringLiteral("ImagePaths"), QStringLiteral("InspectionID = ?"),
                           {DbGetInspectionID(m_east, 2006)}),
                 0);
        QVERIFY(QFileInfo(data(QStringLiteral("East/2006/photo"))).isDir());
    }

    // Another program adds the same year, or removes the tunnel, while the year's input box is
    // open: no second period, none for no tunnel, and the user is told.
    void addingAYearOverAnotherUsersChange_data()
    {
        QTest::addColumn<QString>("other");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("tunnelShown");
        QTest::newRow("the same year added") << "INSERT INTO InspectionPeriod (TunnelID, InspectionYear) VALUES (%1, 2004)"
                                             << "This year has already been entered." << true;
        QTest::newRow("the tunnel removed")
            << "DELETE FROM Tunnels WHERE TunnelID = %1"
            << "The tunnel Harbour was removed by another user; nothing was saved for it." << false;
    }
    void addingAYearOverAnotherUsersChange()
    {
        QFETCH(QString, other);
        QFETCH(QString, message);
        QFETCH(bool, tunnelShown);
        makeSystem();
        auto* w = open();
        click(w, T(m_harbour));
        QString shellError = QStringLiteral("not asked");
        m_prompt->handler = [&](const PromptCall& c) -> QVariant {
            if (c.kind != PromptCall::Input)
                return {};
            shellError = RunSqliteShell(m_install->dbPath(), other.arg(m_harbour));
            return QStringLiteral("2004");
        };
        w->cmdAddYear_Click();
        QCOMPARE(shellError, QString());
        QCOMPARE(m_prompt->messages(), QStringList{message});
        QCOMPARE(CountRows(QStringLiteral("InspectionPeriod"), QStringLiteral("InspectionYear = 2004")), tunnelShown ? 1 : 0);
        QCOMPARE(bool(w->FindNode(T(m_harbour))), tunnelShown);
        if (tunnelShown)
            QCOMPARE(Children(w->FindNode(T(m_harbour))), (QStringList{QStringLiteral("2001"), QStringLiteral("2007")}));
        QVERIFY(!QFileInfo::exists(data(QStringLiteral("Harbour/2004"))));
    }

    // Another program removes a panel, a panel's element or the new period while "copy the
    // sketches?" is open: no sketch row is copied for what is gone, the rest are, and the user
    // is told.
    void copyingSketchesOverAnotherUsersRemoval_data()
    {
        QTest::addColumn<QString>("other");
        QTest::addColumn<QStringList>("copied");
        QTest::addColumn<QString>("told");
        QTest::newRow("a panel removed") << "DELETE FROM Panels WHERE PanelName = 'P1'" << QStringList{"s2.png"}
                                         << "The panel P1 was removed by another user; nothing was saved for it.";
        QTest::newRow("a panel's element removed")
            << "DELETE FROM PanelElements WHERE ElementID = 1 AND PanelID IN (SELECT PanelID FROM Panels WHERE "
               "PanelName = 'P1')"
            << QStringList{"s2.png"} << "The element Lining of panel P1 was removed by another user; nothing was saved for it.";
        QTest::newRow("the new period removed") << "DELETE FROM InspectionPeriod WHERE InspectionYear = 2003"
                                                << QStringList{}
                                                << "The inspection period 2003 was removed by another user; nothing "
                                                   "was saved for it.";
    }
    void copyingSketchesOverAnotherUsersRemoval()
    {
        QFETCH(QString, other);
        QFETCH(QStringList, copied);
        QFETCH(QString, told);
        makeSystem();
        FixtureElement(1, QStringLiteral("Lining"));
        const qint32 p1 = DbAddPanel(m_east, QStringLiteral("P1"));
        const qint32 p2 = DbAddPanel(m_east, QStringLiteral("P2"));
        for (qint32 p : {p1, p2}) {
            DbAddPanelElement(p, 1);
            FixturePicture(p, 1, m_e2005, QStringLiteral("s%1.png").arg(p == p1 ? 1 : 2), true);
            WriteFile(data(QStringLiteral("East/2005/sketch/s%1.png").arg(p == p1 ? 1 : 2)), "s");
        }
        auto* w = open();
        click(w, T(m_east));
        QString shellError = QStringLiteral("not asked");
        m_prompt->handler = [&](const PromptCall& c) -> QVariant {
            if (c.title != QLatin1String("Copy Sketches"))
                return {};
            shellError = RunSqliteShell(m_install->dbPath(), other);
            return int(MsgAnswer::Yes);
        };
        m_prompt->answerText(QStringLiteral("2003"));
        w->cmdAddYear_Click();
        QCOMPARE(shellError, QString());
        QCOMPARE(m_prompt->messages().mid(1), QStringList{told});
        QCOMPARE(Rows(QStringLiteral("SELECT ImagePath FROM ImagePaths WHERE InspectionID NOT IN (?) ORDER BY ImagePath"),
                      {m_e2005}),
                 copied);
    }

    // ------------------------------------------------------------ deleting

    void deletingAYearAsksAndRemovesFoldersOnRequest_data()
    {
        QTest::addColumn<QList<int>>("answers");  // MsgAnswer values in order
        QTest::addColumn<bool>("deleted");
        QTest::addColumn<bool>("foldersGone");
        const int yes = int(MsgAnswer::Yes), no = int(MsgAnswer::No);
        QTest::newRow("no") << QList<int>{no} << false << false;
        QTest::newRow("ratings: no") << QList<int>{yes, no} << false << false;
        QTest::newRow("folders kept") << QList<int>{yes, yes, yes, no} << true << false;
        QTest::newRow("folders removed") << QList<int>{yes, yes, yes, yes} << true << true;
    }
    void deletingAYearAsksAndRemovesFoldersOnRequest()
    {
        QFETCH(QList<int>, answers);
        QFETCH(bool, deleted);
        QFETCH(bool, foldersGone);
        makeSystem();
        const qint32 panel = DbAddPanel(m_harbour, QStringLiteral("P1"));
        DbSaveRating(m_h2007, panel, 1, QStringLiteral("5"));
        FixturePicture(panel, 1, m_h2007, QStringLiteral("p.jpg"), false);
        WriteFile(data(QStringLiteral("Harbour/2007/photo/p.jpg")), "p");
        WriteFile(data(QStringLiteral("Harbour/2007/sketch/nested/s.png")), "s");
        QDir().mkpath(data(QStringLiteral("Harbour/2007/video")));
        WriteFile(data(QStringLiteral("Harbour/2001/photo/keep.jpg")), "k");
        for (int a : answers)
            m_prompt->answer(MsgAnswer(a));
        auto* w = open();
        click(w, Y(m_h2007));
        w->cmdAddYear->click();

        QCOMPARE(m_prompt->calls[0].text, QStringLiteral("Are you sure you want to delete the selected Inspection Year?"));
        QCOMPARE(m_prompt->calls[0].title, QStringLiteral("Delete Inspection Year"));
        QCOMPARE(m_prompt->calls[0].defaultButton, MsgAnswer::No);
        QCOMPARE(m_prompt->calls.size(), answers.size());
        if (answers.size() == 4) {
            const QString folder = QDir::toNativeSeparators(data(QStringLiteral("Harbour/2007")));
            QCOMPARE(m_prompt->calls[3].text, QStringLiteral("Do you also want to delete the directory structure for "
                                                             "this Inspection Year? This will delete ")
                                                  + folder + QStringLiteral(" and all of its contents."));
            QCOMPARE(m_prompt->calls[3].title, QStringLiteral("Delete Inspection Year Directory"));
            QCOMPARE(m_prompt->calls[3].defaultButton, MsgAnswer::No);
        }
        QCOMPARE(CountRows(QStringLiteral("InspectionPeriod"), QStringLiteral("InspectionID = ?"), {m_h2007}),
                 deleted ? 0 : 1);
        QCOMPARE(w->FindNode(Y(m_h2007)) == nullptr, deleted);
        QCOMPARE(QFileInfo::exists(data(QStringLiteral("Harbour/2007"))), !foldersGone);
        QVERIFY(QFileInfo::exists(data(QStringLiteral("Harbour/2001/photo/keep.jpg"))));
        if (deleted) {
            // The buttons follow the node the tree selected instead.
            QCOMPARE(frmInspectionPd::NodeKey(w->tv->currentItem()), Y(m_h2001));
            QCOMPARE(Buttons(w), QStringLiteral("AIVrpSC"));
        }
    }

    void deletingTheLastYearLeavesTheTunnelSelected()
    {
        makeSystem();
        auto* w = open();
        click(w, Y(m_e2005));
        m_prompt->answer(MsgAnswer::Yes);
        m_prompt->answer(MsgAnswer::No);
        w->cmdAddYear_Click();
        QCOMPARE(frmInspectionPd::NodeKey(w->tv->currentItem()), T(m_east));
        QCOMPARE(w->cmdAddYear->text(), QStringLiteral("Add Inspection Year"));
        QCOMPARE(Buttons(w), QStringLiteral("AivrpSC"));
    }

    void theDeleteKeyNeverTouchesFolders()
    {
        makeSystem();
        QDir().mkpath(data(QStringLiteral("East/2005/photo")));
        auto* w = open();
        click(w, Y(m_e2005));
        m_prompt->answer(MsgAnswer::Yes);
        w->tv->setFocus();
        QTest::keyClick(w->tv, Qt::Key_Delete);
        QCOMPARE(m_prompt->calls.size(), 1);
        QCOMPARE(m_prompt->calls[0].title, QStringLiteral("Delete Inspection Year"));
        QVERIFY(!w->FindNode(Y(m_e2005)));
        QCOMPARE(CountRows(QStringLiteral("InspectionPeriod"), QStringLiteral("InspectionID = ?"), {m_e2005}), 0);
        QVERIFY(QFileInfo(data(QStringLiteral("East/2005/photo"))).isDir());
    }

    void theDeleteKeyOnATunnelNeedsTheWizardRight_data()
    {
        QTest::addColumn<bool>("wizard");
        QTest::newRow("wizard") << true;
        QTest::newRow("data entry") << false;
    }
    void theDeleteKeyOnATunnelNeedsTheWizardRight()
    {
        QFETCH(bool, wizard);
        makeSystem();
        gIsWizard = wizard;
        auto* w = open();
        click(w, T(m_canal));
        m_prompt->answer(MsgAnswer::Yes);
        QTest::keyClick(w->tv, Qt::Key_Delete);
        if (wizard) {
            QCOMPARE(m_prompt->messages(), QStringList{QStringLiteral("Are you sure you want to remove Canal?")});
            QVERIFY(!w->FindNode(T(m_canal)));
            QCOMPARE(DbGetTunnelName(m_canal), QString());
        } else {
            QVERIFY(m_prompt->calls.isEmpty());
            QVERIFY(w->FindNode(T(m_canal)));
        }
    }

    void aYearFolderIsRemovedOnlyInsideTheDataPath()
    {
        const QString dataPath = m_install->file(QStringLiteral("Data/"));
        const QString outside = m_install->file(QStringLiteral("Elsewhere"));
        WriteFile(outside + QStringLiteral("/precious.txt"), "keep");
        WriteFile(dataPath + QStringLiteral("T/2001/photo/a.jpg"), "a");
        QVERIFY(QFile::link(outside, dataPath + QStringLiteral("T/2001/photo/link")));
        QVERIFY(QFile::link(outside, dataPath + QStringLiteral("T/1999")));

        // Not a year folder of a tunnel: refused, nothing removed.
        QCOMPARE(RemoveYearFolder(dataPath + QStringLiteral("T"), dataPath), QStringList{dataPath + QStringLiteral("T")});
        QCOMPARE(RemoveYearFolder(outside, dataPath), QStringList{outside});
        QCOMPARE(RemoveYearFolder(dataPath + QStringLiteral("T/2001/../../../Elsewhere"), dataPath).size(), 1);
        // A year folder that is a link is not followed.
        QCOMPARE(RemoveYearFolder(dataPath + QStringLiteral("T/1999"), dataPath),
                 QStringList{dataPath + QStringLiteral("T/1999")});
        QVERIFY(QFileInfo::exists(outside + QStringLiteral("/precious.txt")));
        // A missing folder is nothing to do; a real one goes, links inside removed as links.
        QCOMPARE(RemoveYearFolder(dataPath + QStringLiteral("T/1800"), dataPath), QStringList());
        QCOMPARE(RemoveYearFolder(dataPath + QStringLiteral("T/2001"), dataPath), QStringList());
        QVERIFY(!QFileInfo::exists(dataPath + QStringLiteral("T/2001")));
        QVERIFY(QFileInfo::exists(outside + QStringLiteral("/precious.txt")));
    }

    void whatCannotBeRemovedIsReported()
    {
        makeSystem();
        const QString outside = m_install->file(QStringLiteral("Elsewhere"));
        WriteFile(outside + QStringLiteral("/precious.txt"), "keep");
        QDir().mkpath(data(QStringLiteral("East")));
        QVERIFY(QFile::link(outside, data(QStringLiteral("East/2005"))));
        auto* w = open();
        click(w, Y(m_e2005));
        for (int i = 0; i < 2; ++i)
            m_prompt->answer(MsgAnswer::Yes);
        w->cmdAddYear_Click();
        QCOMPARE(m_prompt->calls.size(), 3);
        QCOMPARE(m_prompt->calls[2].text, QStringLiteral("These files and folders could not be removed:\n")
                                              + QDir::toNativeSeparators(data(QStringLiteral("East/2005"))));
        QVERIFY(!w->FindNode(Y(m_e2005)));
        QVERIFY(QFileInfo::exists(outside + QStringLiteral("/precious.txt")));
    }

    // ------------------------------------------------------------ renaming a year

    void renamingAYearMovesItsFolderAndKeepsTheOrder()
    {
        makeSystem();
        WriteFile(data(QStringLiteral("Harbour/2001/photo/a.jpg")), "a");
        auto* w = open();
        QTreeWidgetItem* node = w->FindNode(Y(m_h2001));
        QVERIFY(w->tv_AfterLabelEdit(node, QStringLiteral("2009")));
        QCOMPARE(DbGetInspectionYear(m_h2001), 2009);
        QVERIFY(QFileInfo::exists(data(QStringLiteral("Harbour/2009/photo/a.jpg"))));
        QVERIFY(!QFileInfo::exists(data(QStringLiteral("Harbour/2001"))));
        node->setText(0, QStringLiteral("2009"));
        QCOMPARE(Children(w->FindNode(T(m_harbour))), (QStringList{QStringLiteral("2007"), QStringLiteral("2009")}));
        QVERIFY(m_prompt->calls.isEmpty());
    }

    void aRenameThatBreaksTheRulesIsCancelled_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("clash");  // the new year's folder exists already
        QTest::addColumn<QString>("message");
        QTest::newRow("out of range") << "20001" << false << "Invalid Year. Please enter a year between 1000 and 9999.";
        QTest::newRow("no number") << "abc" << false << "Invalid Year. Please enter a year between 1000 and 9999.";
        QTest::newRow("duplicate") << "2007" << false << "This year has already been entered.";
        QTest::newRow("folder taken") << "2003" << true << "already exists";
    }
    void aRenameThatBreaksTheRulesIsCancelled()
    {
        QFETCH(QString, text);
        QFETCH(bool, clash);
        QFETCH(QString, message);
        makeSystem();
        WriteFile(data(QStringLiteral("Harbour/2001/photo/a.jpg")), "a");
        if (clash)
            QDir().mkpath(data(QStringLiteral("Harbour/2003")));
        auto* w = open();
        QVERIFY(!w->tv_AfterLabelEdit(w->FindNode(Y(m_h2001)), text));
        QCOMPARE(m_prompt->messages().size(), 1);
        QVERIFY2(m_prompt->messages()[0].contains(message), qPrintable(m_prompt->messages()[0]));
        QCOMPARE(DbGetInspectionYear(m_h2001), 2001);
        QVERIFY(QFileInfo::exists(data(QStringLiteral("Harbour/2001/photo/a.jpg"))));
    }

    // Another program changed the year (moving its folder, as its window does), removed the
    // period, or took the new year while the question was open: the rename asks, writes nothing
    // into what is gone, and moves no folder it does not rename the year of.
    void renamingAYearOverAnotherUsersChange_data()
    {
        QTest::addColumn<QString>("other");
        QTest::addColumn<QString>("whileAsked");  // run while the question is open
        QTest::addColumn<int>("answer");
        QTest::addColumn<int>("year");  // stored afterwards; 0: no period
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QString>("node");  // its text afterwards, "" when it is gone
        const QString changed = "UPDATE InspectionPeriod SET InspectionYear = 2003 WHERE InspectionID = %1";
        const QString asked =
            "The year of the inspection period 2001 was changed by another user after you opened it: it is now 2003, "
            "yours is 2009. Replace it with yours?";
        QTest::newRow("changed, yes") << changed << "" << int(MsgAnswer::Yes) << 2009 << QStringList{asked} << "2009";
        QTest::newRow("changed, no") << changed << "" << int(MsgAnswer::No) << 2003 << QStringList{asked} << "2003";
        QTest::newRow("changed, cancel") << changed << "" << int(MsgAnswer::Cancel) << 2003 << QStringList{asked}
                                         << "2001";
        QTest::newRow("year taken while asked")
            << changed << "INSERT INTO InspectionPeriod (TunnelID, InspectionYear) SELECT TunnelID, 2009 FROM "
                          "InspectionPeriod WHERE InspectionID = %1"
            << int(MsgAnswer::Yes) << 2003 << QStringList{asked, "This year has already been entered."} << "2001";
        QTest::newRow("period removed")
            << "DELETE FROM InspectionPeriod WHERE InspectionID = %1" << "" << 0 << 0
            << QStringList{"The inspection period 2001 was removed by another user; nothing was saved for it."} << "";
    }
    void renamingAYearOverAnotherUsersChange()
    {
        QFETCH(QString, other);
        QFETCH(QString, whileAsked);
        QFETCH(int, answer);
        QFETCH(int, year);
        QFETCH(QStringList, messages);
        QFETCH(QString, node);
        makeSystem();
        WriteFile(data(QStringLiteral("Harbour/2001/photo/a.jpg")), "a");
        auto* w = open();
        QCOMPARE(RunSqliteShell(m_install->dbPath(), other.arg(m_h2001)), QString());
        if (year && year != 2001)
            QVERIFY(QDir(data(QStringLiteral("Harbour"))).rename(QStringLiteral("2001"), QStringLiteral("2003")));
        QString shellError;
        m_prompt->handler = [&](const PromptCall& c) -> QVariant {
            if (c.buttons != MsgButtons::YesNoCancel)
                return {};
            if (!whileAsked.isEmpty())
                shellError = RunSqliteShell(m_install->dbPath(), whileAsked.arg(m_h2001));
            return answer;
        };
        const bool renamed = w->tv_AfterLabelEdit(w->FindNode(Y(m_h2001)), QStringLiteral("2009"));
        QCOMPARE(shellError, QString());
        QCOMPARE(renamed, year == 2009);
        QCOMPARE(m_prompt->messages(), messages);
        QCOMPARE(Rows(QStringLiteral("SELECT InspectionYear FROM InspectionPeriod WHERE InspectionID = ?"), {m_h2001}),
                 year ? QStringList{QString::number(year)} : QStringList());
        // The media folder is the stored year's, moved only with it.
        const int folder = year == 2009 ? 2009 : (year == 0 ? 2001 : 2003);
        QVERIFY(QFileInfo::exists(data(QStringLiteral("Harbour/%1/photo/a.jpg").arg(folder))));
        QCOMPARE(QDir(data(QStringLiteral("Harbour"))).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), 1);
        QTreeWidgetItem* n = w->FindNode(Y(m_h2001));
        QCOMPARE(n ? n->text(0) : QString(), node);
    }

    // A year stored as something its label shows otherwise (a real, a text with a no-break space): the label given back untouched writes nothing and asks nothing, nor
    // overwrites another user's year meanwhile.
    void anUntouchedYearLabelWritesNothing_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<bool>("theirs");  // another user made it 2003 meanwhile
        QTest::addColumn<QString>("read");
        for (const bool theirs : {false, true}) {
            const QString tag = theirs ? QStringLiteral(", theirs") : QString();
            const QString read = QStringLiteral("2003");
            QTest::newRow(qPrintable("real" + tag)) << QVariant(2001.4) << theirs << (theirs ? read : "2001.4");
            QTest::newRow(qPrintable("no-break space" + tag))
                << QVariant(QStringLiteral("2001\u00A0")) << theirs << (theirs ? read : QStringLiteral("2001\u00A0"));
        }
    }
    void anUntouchedYearLabelWritesNothing()
    {
        QFETCH(QVariant, stored);
        QFETCH(bool, theirs);
        QFETCH(QString, read);
        makeSystem();
        gConn.exec(QStringLiteral("UPDATE InspectionPeriod SET InspectionYear = ? WHERE InspectionID = ?"),
                   {stored, m_h2001});
        auto* w = open();
        if (theirs)
            QCOMPARE(RunSqliteShell(m_install->dbPath(),
                                    QStringLiteral("UPDATE InspectionPeriod SET InspectionYear = 2003 WHERE InspectionID = %1")
                                        .arg(m_h2001)),
                     QString());
        const qint64 changes = gConn.scalar(QStringLiteral("SELECT total_changes()")).toLongLong();
        QTreeWidgetItem* node = w->FindNode(Y(m_h2001));
        const QString shown = node->text(0);
        w->tv->setCurrentItem(node);
        w->tv->editItem(node);
        auto* editor = w->tv->findChild<QLineEdit*>();
        QVERIFY(editor);
        QCOMPARE(editor->text(), shown);
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_VERIFY(!w->tv->findChild<QLineEdit*>() || !w->tv->findChild<QLineEdit*>()->isVisible());
        // The label's end handed over as it showed, as any caller may.
        QVERIFY(!w->tv_AfterLabelEdit(w->FindNode(Y(m_h2001)), shown));
        QCOMPARE(m_prompt->messages(), QStringList());
        QCOMPARE(Rows(QStringLiteral("SELECT InspectionYear FROM InspectionPeriod WHERE InspectionID = ?"), {m_h2001}),
                 QStringList{read});
        QCOMPARE(gConn.scalar(QStringLiteral("SELECT total_changes()")).toLongLong(), changes);
        QCOMPARE(w->FindNode(Y(m_h2001))->text(0), shown);
    }

    void editingALabelInPlaceRenamesTheYear()
    {
        makeSystem();
        auto* w = open();
        QTreeWidgetItem* node = w->FindNode(Y(m_e2005));
        w->tv->setCurrentItem(node);
        w->tv->editItem(node);
        auto* editor = w->tv->findChild<QLineEdit*>();
        QVERIFY(editor);
        editor->setText(QStringLiteral(" 2006x"));
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_COMPARE(node->text(0), QStringLiteral("2006"));
        QCOMPARE(DbGetInspectionYear(m_e2005), 2006);
    }
};

QTEST_MAIN(TestInspectionPd)
#include "tst_inspectionpd.moc"

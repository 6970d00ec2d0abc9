// The main window: the system map and its tunnels, the report menu, the rights, the routing
// of a tunnel click, zoom and pan, the windows it opens by name, placement and the end.

#include "../startup/windowscript.h"
#include "clicklabel.h"
#include "db.h"
#include "fixtures.h"
#include "forms.h"
#include "frmAbout.h"
#include "frmDBManager.h"
#include "frmHelp.h"
#include "frmViewSystem.h"
#include "globals.h"
#include "inventoryforms.h"
#include "krverror.h"
#include "helpers.h"
#include "prompt.h"
#include "scriptedprompt.h"
#include "settings.h"
#include "startup.h"
#include "testinstall.h"
#include "zvmap.h"

#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QToolButton>

#include <memory>

namespace {

// What the stand-ins of other libraries' windows were asked to do, in order.
QStringList gCalls;

// A window of a later library, as far as the main window uses it.
class FakeForm : public KrvForm<QDialog> {
    Q_OBJECT
public:
    explicit FakeForm(const QString& name) : KrvForm<QDialog>(name) {}

    // frmDataInput: refuses like rating entry does for a tunnel without panels.
    static inline bool refuseInput = false;
    // Any LoadForm fails.
    static inline bool failLoad = false;

    Q_INVOKABLE void LoadForm(qint16 year, qint32 tunnelId)
    {
        note(QStringLiteral("LoadForm(%1,%2)").arg(year).arg(tunnelId));
        if (refuseInput) {
            MsgBox(QStringLiteral("You must first add at least 1 panel\rbefore you can input data."), MsgButtons::Ok,
                   MsgIcon::Warning, QStringLiteral("Add Panel"));
            Unload();
            return;
        }
        show();
    }
    Q_INVOKABLE void LoadForm(qint32 tunnelId, qint32 first, qint32 second)
    {
        note(QStringLiteral("LoadForm(%1,%2,%3)").arg(tunnelId).arg(first).arg(second));
        show();
    }
    Q_INVOKABLE void LoadForm(qint32 tunnelId)
    {
        note(QStringLiteral("LoadForm(%1)").arg(tunnelId));
        show();
    }
    Q_INVOKABLE void LoadForm(const QString& mode, const QString& table, const QString& idColumn,
                              const QString& nameColumn)
    {
        note(QStringLiteral("LoadForm(%1,%2,%3,%4)").arg(mode, table, idColumn, nameColumn));
        setWindowTitle(mode + QStringLiteral(" Definition"));
        show();
    }
    Q_INVOKABLE QString GetFormType(QString& kind)
    {
        note(QStringLiteral("GetFormType(%1)").arg(kind));
        return QString();
    }
    Q_INVOKABLE void CreateElePerfRep() { note(QStringLiteral("CreateElePerfRep()")); }

    // Modal windows answer at once.
    int exec() override
    {
        note(QStringLiteral("exec"));
        return 0;
    }

private:
    void note(const QString& what)
    {
        if (failLoad && what.startsWith(QLatin1String("LoadForm")))
            throw KrvError(3021, QStringLiteral("No current record."));
        gCalls << objectName() + QLatin1Char('.') + what;
    }
};

const QStringList kLaterWindows{QStringLiteral("frmDataInput"),       QStringLiteral("frmDataView"),
                                QStringLiteral("frmIPdialog"),        QStringLiteral("frmExpense"),
                                QStringLiteral("frmReportSelection"), QStringLiteral("frmReport"),
                                QStringLiteral("frmInspectionPd"),    QStringLiteral("frmEleDef")};

void RegisterFakes(bool on)
{
    for (const QString& name : kLaterWindows) {
        if (on)
            RegisterFormFactory(name, [name] { return new FakeForm(name); });
        else
            RegisterFormFactory(name, {});
    }
}

QStringList LoadedNames()
{
    QStringList names;
    for (QWidget* w : LoadedForms())
        names << w->objectName();
    return names;
}

QStringList Captions(const QList<QAction*>& items)
{
    QStringList out;
    for (QAction* a : items)
        out << a->text();
    return out;
}

zv::Poly Rect(int x, int y, int w, int h)
{
    zv::Poly p;
    p.Pt = {{x, y}, {x + w, y}, {x + w, y + h}, {x, y + h}};
    return p;
}

void AddOutline(qint32 tunnelId, const zv::Poly& p)
{
    int i = 1;
    for (const zv::Point& pt : p.Pt)
        gConn.exec(QStringLiteral("INSERT INTO TunnelCoord (TunnelID, CoordIndex, TunnelX, TunnelY) VALUES (?, ?, ?, ?)"),
                   {tunnelId, i++, pt.x, pt.y});
}

qint32 AddPanel(qint32 tunnelId, int num)
{
    return qint32(gConn.insertAutoNumber(QStringLiteral("Panels"), {{QStringLiteral("TunnelID"), tunnelId},
                                                                    {QStringLiteral("PanelNum"), num},
                                                                    {QStringLiteral("PanelName"), QString::number(num)}}));
}

void Post(qint32 inspectionId, qint32 panelId, qint32 elementId, int rating)
{
    gConn.exec(QStringLiteral("INSERT INTO RatingsPosted (InspectionID, PanelID, ElementID, Rating) VALUES (?, ?, ?, ?)"),
               {inspectionId, panelId, elementId, rating});
}

// Sends a mouse event to the map at a display position (twips), scrolling included.
void SendToMap(ZVMap* map, QEvent::Type type, Qt::MouseButton button, double x, double y)
{
    QWidget* vp = map->findChild<QWidget*>(QStringLiteral("picContainer"));
    const QPointF local((x + map->SurfaceLeft()) / 15.0, (y + map->SurfaceTop()) / 15.0);
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease || type == QEvent::MouseMove ? Qt::NoButton : button;
    QMouseEvent ev(type, local, vp->mapToGlobal(local), type == QEvent::MouseMove ? Qt::NoButton : button, held,
                   Qt::NoModifier);
    QApplication::sendEvent(vp, &ev);
}

void ClickMap(ZVMap* map, double x, double y, Qt::MouseButton button = Qt::LeftButton)
{
    SendToMap(map, QEvent::MouseButtonPress, button, x, y);
    SendToMap(map, QEvent::MouseButtonRelease, button, x, y);
}

}  // namespace

class TestFrmViewSystem : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TestInstall> m_install;
    std::unique_ptr<ScriptedPrompt> m_prompt;
    qint32 m_east = 0;   // outline (1500,1500)-(9000,6000)
    qint32 m_west = 0;   // outline (12000,1500)-(19500,6000)
    qint32 m_north = 0;  // no outline

    // A system with a map picture and three tunnels, two of them outlined.
    void makeSystem()
    {
        QDir(m_install->folder()).mkpath(QStringLiteral("Data"));
        QImage img(1600, 1000, QImage::Format_RGB32);
        img.fill(Qt::white);
        QVERIFY(img.save(m_install->file(QStringLiteral("Data/map.png"))));
        gSystemID = qint32(gConn.insertAutoNumber(
            QStringLiteral("System"), {{QStringLiteral("SystemName"), QStringLiteral("Harbour Line")},
                                       {QStringLiteral("SystemPicture"), QStringLiteral("map.png")},
                                       {QStringLiteral("DrawWidth"), 3},
                                       {QStringLiteral("SystemForeground"), 0x0000E6FF}}));
        m_west = FixtureTunnel(QStringLiteral("West Bore"));
        m_east = FixtureTunnel(QStringLiteral("East Bore"));
        m_north = FixtureTunnel(QStringLiteral("North Adit"));
        AddOutline(m_east, Rect(1500, 1500, 7500, 4500));
        AddOutline(m_west, Rect(12000, 1500, 7500, 4500));
    }

    frmViewSystem* open()
    {
        auto* w = new frmViewSystem;
        w->show();
        return w;
    }

    // The centre of a tunnel's outline on the map at 100 %.
    static QPointF centreOf(qint32 id, qint32 east)
    {
        return id == east ? QPointF(5250, 3750) : QPointF(15750, 3750);
    }

private slots:
    void initTestCase() { RegisterInventoryForms(); }

    void init()
    {
        m_install = std::make_unique<TestInstall>();
        m_prompt = std::make_unique<ScriptedPrompt>();
        gCalls.clear();
        FakeForm::refuseInput = false;
        FakeForm::failLoad = false;
        RegisterFakes(true);
        gIsWizard = true;
    }
    void cleanup()
    {
        RegisterFakes(false);
        m_prompt.reset();
        m_install.reset();
        SetHelpFile(QStringLiteral("help.html"));
    }

    void loadShowsTheSystemMapAndItsOutlinedTunnels()
    {
        makeSystem();
        auto* w = open();
        QCOMPARE(w->windowTitle(), QStringLiteral("Corvane Quorrel"));
        QCOMPARE(w->SystemID(), gSystemID);
        QCOMPARE(w->txtSysName->text(), QStringLiteral("Harbour Line"));
        QVERIFY(w->txtSysName->isReadOnly());
        QCOMPARE(w->ZVMap1->Image(), m_install->file(QStringLiteral("Data/map.png")));
        QCOMPARE(w->ZVMap1->DrawWidth(), qint16(3));
        QCOMPARE(w->ZVMap1->ForeColor(), quint32(0x0000E6FF));
        QVERIFY(!w->ZVMap1->PVisible());
        // By name; the tunnel without an outline is not on the map.
        QCOMPARE(w->ZVMap1->PolyCount(), 2);
        QCOMPARE(w->ZVMap1->Poly(0).ID, m_east);
        QCOMPARE(w->ZVMap1->Poly(0).Pt, Rect(1500, 1500, 7500, 4500).Pt);
        QCOMPARE(w->ZVMap1->Poly(1).ID, m_west);
        QVERIFY(!w->RatingsInputMode());
        QVERIFY(!w->MapPanOn());
        QCOMPARE(w->height(), TwipsToPixels(9000));
        QVERIFY(m_prompt->calls.isEmpty());

        // Texts and tips as the window shows them.
        QCOMPARE(w->Label1->text(), QStringLiteral("Click on a tunnel in the image to select."));
        QCOMPARE(w->Label2->text(), QStringLiteral("Quorrel"));
        QCOMPARE(w->txtSysName->toolTip(), QStringLiteral("System Name"));
        QCOMPARE(w->cboZoom->toolTip(), QStringLiteral("Zoom"));
        QCOMPARE(w->imgZoom->toolTip(), QStringLiteral("Zoom"));
        const QStringList zoomList{"50%", "75%", "100%", "150%", "200%"};
        for (int i = 0; i < zoomList.size(); ++i)
            QCOMPARE(w->cboZoom->itemText(i), zoomList[i]);
        QCOMPARE(w->cmdExp->text() + "|" + w->cmdExp->toolTip(), QStringLiteral("&Expenditures|Launch expenditures"));
        QCOMPARE(w->cmdReport->text() + "|" + w->cmdReport->toolTip(), QStringLiteral("&Report|Launch report"));
        QCOMPARE(w->cmdAdmin->text() + "|" + w->cmdAdmin->toolTip(),
                 QStringLiteral("A&dministrator Tools|Launch administrator tools"));
        QCOMPARE(w->cmdExit->text() + "|" + w->cmdExit->toolTip(), QStringLiteral("E&xit|Exit the system"));
        QStringList bar;
        for (QAction* a : w->menuBar()->actions())
            bar << a->text();
        QCOMPARE(bar, (QStringList{"&System", "&Tools", "&Administrator", "&Map", "&Help"}));
        QCOMPARE(Captions(w->mnuAdmin->actions()),
                 (QStringList{"&System Definition", "Available &Element Definition", "Expenditure &Category Definition",
                              "&Inspection Period Definition and Ratings Input", "&Ratings Input", "&User Manager"}));
        QCOMPARE(Captions(w->mnuHelp->actions()), (QStringList{"&Contents...", "&Index...", "", "&About"}));
        QCOMPARE(Captions(w->mnuZoom->actions()), (QStringList{"50%", "75%", "100%", "150%", "200%"}));
        QVERIFY(w->mnuRatingsInput->isCheckable() && w->mnuPan->isCheckable());
    }

    void loadGoesOnWithoutSystemOrPicture_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("polys");
        QTest::addColumn<QStringList>("messages");
        QTest::newRow("empty System table") << "no system" << 0 << QStringList();
        // A picture that cannot be read is told with its file, never shown as an empty area.
        QTest::newRow("picture missing") << "missing" << 2
                                         << QStringList{"The map picture %1 cannot be read.\nThe file %1 does not exist."};
        QTest::newRow("picture named, no name") << "null name" << 2 << QStringList();
        QTest::newRow("picture unreadable") << "corrupt" << 2
                                            << QStringList{"The map picture %1 cannot be read.\n"
                                                           "It is not a picture, or it is damaged."};
    }
    void loadGoesOnWithoutSystemOrPicture()
    {
        QFETCH(QString, kind);
        QFETCH(int, polys);
        QFETCH(QStringList, messages);
        gConn.exec(QStringLiteral("INSERT INTO ElementCategory (EleCategoryName) VALUES ('Lining')"));
        if (kind != QLatin1String("no system")) {
            makeSystem();
            if (kind == QLatin1String("missing"))
                QFile::remove(m_install->file(QStringLiteral("Data/map.png")));
            if (kind == QLatin1String("null name"))
                gConn.exec(QStringLiteral("UPDATE System SET SystemName = NULL, DrawWidth = NULL, "
                                          "SystemForeground = NULL"));
            if (kind == QLatin1String("corrupt"))
                m_install->write(QStringLiteral("Data/map.png"), "not a picture");
        }
        gIsWizard = false;
        gIsDataEntry = false;
        auto* w = open();
        for (QString& m : messages)
            m = m.arg(m_install->file(QStringLiteral("Data/map.png")));
        QCOMPARE(m_prompt->messages(), messages);
        for (const PromptCall& call : m_prompt->calls)
            QCOMPARE(call.icon, MsgIcon::Critical);
        QCOMPARE(w->txtSysName->text(), kind == QLatin1String("no system") || kind == QLatin1String("null name")
                                            ? QString()
                                            : QStringLiteral("Harbour Line"));
        QCOMPARE(w->ZVMap1->Picture().isNull(), kind != QLatin1String("null name"));
        QCOMPARE(w->ZVMap1->PolyCount(), polys);
        if (kind == QLatin1String("null name")) {
            QCOMPARE(w->ZVMap1->DrawWidth(), qint16(1));
            QCOMPARE(w->ZVMap1->ForeColor(), quint32(0));
        }
        // The report menu and the rights still apply.
        QCOMPARE(Captions(w->mnuRpt), (QStringList{"Defect", "Element Performance", "Expenditure",
                                                   "Lining Element Condition Evaluation"}));
        QVERIFY(!w->mnuAdmin->menuAction()->isVisible());
        if (!messages.isEmpty())
            QVERIFY(m_install->read(QStringLiteral("err.log")).contains("frmViewSystem-The map picture "));
    }

    void reportMenuIsBuiltFromTheDatabase_data()
    {
        QTest::addColumn<QVariantList>("reports");
        QTest::addColumn<QVariantList>("categories");
        QTest::addColumn<QStringList>("captions");
        const QString ece = QStringLiteral(" Element Condition Evaluation");
        QTest::newRow("both empty") << QVariantList() << QVariantList() << QStringList{"&Tunnel Elements"};
        QTest::newRow("categories only: the first takes item 0")
            << QVariantList() << QVariantList{"Portal", "Lining"} << QStringList{"Lining" + ece, "Portal" + ece};
        QTest::newRow("names once, Nulls skipped, reports first")
            << QVariantList{"Defect", QVariant(), "Element Performance", "Defect", "Expenditure"}
            << QVariantList{QVariant(), "Drainage"}
            << QStringList{"Defect", "Element Performance", "Expenditure", "Drainage" + ece};
        QTest::newRow("only Nulls") << QVariantList{QVariant()} << QVariantList{QVariant()}
                                    << QStringList{"&Tunnel Elements"};
        QTest::newRow("the user's order, not character codes")
            << QVariantList{"Zugang", "Ärmelkanal"} << QVariantList{"Zwischendecke", "Überbau", "Auflager"}
            << QStringList{"Ärmelkanal", "Zugang", "Auflager" + ece, "Überbau" + ece, "Zwischendecke" + ece};
        QTest::newRow("an \"&\" is shown as written")
            << QVariantList{"R&D"} << QVariantList{"Roof&Drains"}
            << QStringList{"R&&D", "Roof&&Drains" + ece};
    }
    void reportMenuIsBuiltFromTheDatabase()
    {
        QFETCH(QVariantList, reports);
        QFETCH(QVariantList, categories);
        QFETCH(QStringList, captions);
        gConn.exec(QStringLiteral("DELETE FROM Reports"));  // the new database's own rows
        for (const QVariant& r : reports)
            gConn.exec(QStringLiteral("INSERT INTO Reports (ReportName) VALUES (?)"), {r});
        for (const QVariant& c : categories)
            gConn.exec(QStringLiteral("INSERT INTO ElementCategory (EleCategoryName) VALUES (?)"), {c});
        auto* w = open();
        QAction* designItem = w->mnuRpt.first();
        QCOMPARE(Captions(w->mnuRpt), captions);
        QCOMPARE(w->mnuRpt.first(), designItem);
        QCOMPARE(w->mnuReports->actions(), w->mnuRpt);
        for (QAction* a : w->mnuRpt)
            QVERIFY(a->isVisible() && a->isEnabled());
        QVERIFY(m_prompt->calls.isEmpty());
    }

    void reportItemHandsItsCaptionToTheReportWindow()
    {
        gConn.exec(QStringLiteral("DELETE FROM Reports WHERE ReportName = 'Expenditure'"));
        auto* w = open();
        QCOMPARE(Captions(w->mnuRpt), (QStringList{"Defect", "Element Performance"}));
        w->mnuRpt[1]->trigger();
        QCOMPARE(gCalls, QStringList{"frmReportSelection.CreateElePerfRep()"});
        gCalls.clear();
        w->mnuRpt[0]->trigger();
        QCOMPARE(gCalls, (QStringList{"frmReport.GetFormType(Defect)", "frmReport.exec"}));

        // The design caption is handed over like any other.
        gConn.exec(QStringLiteral("DELETE FROM Reports"));
        auto* second = new frmViewSystem;
        gCalls.clear();
        second->mnuRpt[0]->trigger();
        QCOMPARE(gCalls.first(), QStringLiteral("frmReport.GetFormType(&Tunnel Elements)"));

        // A stored name with "&" is handed over as stored, not as shown.
        gConn.exec(QStringLiteral("INSERT INTO Reports (ReportName) VALUES ('R&D')"));
        auto* third = new frmViewSystem;
        gCalls.clear();
        QCOMPARE(third->mnuRpt[0]->text(), QStringLiteral("R&&D"));
        third->mnuRpt[0]->trigger();
        QCOMPARE(gCalls.first(), QStringLiteral("frmReport.GetFormType(R&D)"));
        QVERIFY(m_prompt->calls.isEmpty());
    }

    void rightsTrimTheAdministratorTools_data()
    {
        QTest::addColumn<bool>("wizard");
        QTest::addColumn<bool>("dataEntry");
        QTest::addColumn<bool>("breakLoad");
        QTest::addColumn<QStringList>("adminItems");  // "" when the menu is hidden
        QTest::addColumn<bool>("adminButton");
        const QStringList all{"&System Definition", "Available &Element Definition", "Expenditure &Category Definition",
                              "&Inspection Period Definition and Ratings Input", "&Ratings Input", "&User Manager"};
        const QStringList two{"&Inspection Period Definition and Ratings Input", "&Ratings Input"};
        QTest::newRow("wizard") << true << false << false << all << true;
        QTest::newRow("wizard and data entry") << true << true << false << all << true;
        QTest::newRow("data entry") << false << true << false << two << true;
        QTest::newRow("no right") << false << false << false << QStringList() << false;
        // A failed load still trims the menus.
        QTest::newRow("data entry, load failed") << false << true << true << two << true;
        QTest::newRow("no right, load failed") << false << false << true << QStringList() << false;
    }
    void rightsTrimTheAdministratorTools()
    {
        QFETCH(bool, wizard);
        QFETCH(bool, dataEntry);
        QFETCH(bool, breakLoad);
        QFETCH(QStringList, adminItems);
        QFETCH(bool, adminButton);
        makeSystem();
        if (breakLoad)
            gConn.exec(QStringLiteral("DROP TABLE Reports"));
        gIsWizard = wizard;
        gIsDataEntry = dataEntry;
        auto* w = open();
        QStringList shown;
        for (QAction* a : w->mnuAdmin->actions())
            if (a->isVisible())
                shown << a->text();
        QCOMPARE(w->mnuAdmin->menuAction()->isVisible() ? shown : QStringList(), adminItems);
        QCOMPARE(w->cmdAdmin->isEnabled(), adminButton);
        QVERIFY(w->cmdAdmin->isVisible());
        QCOMPARE(m_prompt->messages(),
                 breakLoad ? QStringList{QStringLiteral("Error loading System View screen\nThe database has no table Reports.")}
                           : QStringList());
        if (adminButton) {
            w->cmdAdmin->click();
            QVERIFY(w->mnuAdmin->isVisible());
            w->mnuAdmin->close();
        }
    }

    void commandsOfWindowsNotInTheProgramAreDisabled()
    {
        RegisterFakes(false);
        gConn.exec(QStringLiteral("INSERT INTO Reports (ReportName) VALUES ('Element Performance'), ('Defect')"));
        auto* w = open();
        for (QObject* c : QList<QObject*>{w->cmdExp, w->mnuExpenditures, w->cmdReport, w->mnuRpt[0], w->mnuRpt[1],
                                          w->mnuWizardElement, w->mnuWizardExpenditure, w->mnuWizardInspPd,
                                          w->mnuRatingsInput})
            QVERIFY2(!c->property("enabled").toBool(), qPrintable(c->objectName()));
        QVERIFY(w->mnuWizardSystem->isEnabled());
        QVERIFY(w->mnuUsers->isEnabled());
        QVERIFY(w->cmdAdmin->isEnabled());

        // The report chooser alone makes "Element Performance" available, not the others.
        RegisterFormFactory(QStringLiteral("frmReportSelection"),
                            [] { return new FakeForm(QStringLiteral("frmReportSelection")); });
        auto* second = new frmViewSystem;
        QVERIFY(second->cmdReport->isEnabled());
        QVERIFY(!second->mnuRpt[0]->isEnabled());
        QVERIFY(second->mnuRpt[1]->isEnabled());

        // A map click whose window is missing says so instead of doing nothing.
        makeSystem();
        const qint32 insp = FixturePeriod(m_east, 2021);
        Post(insp, AddPanel(m_east, 1), 1, 7);
        auto* third = open();
        ClickMap(third->ZVMap1, 5250, 3750);
        QCOMPARE(m_prompt->messages(), QStringList{QStringLiteral("Error loading Tunnel Ratings screen")});
        QVERIFY(m_install->read(QStringLiteral("err.log")).contains("frmDataView is not part of this program"));
        QVERIFY(!IsFormLoaded(QStringLiteral("frmDataView")));
    }

    void tunnelClickOpensThePostedData_data()
    {
        QTest::addColumn<QString>("tunnel");
        QTest::addColumn<QString>("call");
        QTest::addColumn<QString>("message");
        QTest::newRow("no posted period") << "west" << "" << "There is no posted data for this tunnel.";
        QTest::newRow("one posted period: review") << "east one" << "frmDataView.LoadForm(%1,%2,0)" << "";
        QTest::newRow("two posted periods: chooser") << "east two" << "frmIPdialog.LoadForm(%1)" << "";
        QTest::newRow("rows of a removed period do not count") << "east removed" << "frmDataView.LoadForm(%1,%2,0)"
                                                               << "";
    }
    void tunnelClickOpensThePostedData()
    {
        QFETCH(QString, tunnel);
        QFETCH(QString, call);
        QFETCH(QString, message);
        makeSystem();
        const qint32 eastPanel = AddPanel(m_east, 1);
        const qint32 westPanel = AddPanel(m_west, 1);
        const qint32 p2019 = FixturePeriod(m_east, 2019);
        const qint32 p2021 = FixturePeriod(m_east, 2021);
        FixturePeriod(m_west, 2021);
        gConn.exec(QStringLiteral("INSERT INTO Ratings (InspectionID, PanelID, ElementID, Rating, Posted) "
                                  "VALUES (?, ?, 1, 4, 0)"),
                   {p2019, westPanel});  // entered, not posted
        Post(p2021, eastPanel, 1, 6);
        Post(p2021, eastPanel, 2, 8);
        if (tunnel == QLatin1String("east two"))
            Post(p2019, eastPanel, 1, 7);
        if (tunnel == QLatin1String("east removed")) {
            const qint32 p2017 = FixturePeriod(m_east, 2017);
            Post(p2017, eastPanel, 1, 5);
            gConn.exec(QStringLiteral("DELETE FROM InspectionPeriod WHERE InspectionID = ?"), {p2017});
        }
        const qint32 id = tunnel == QLatin1String("west") ? m_west : m_east;
        auto* w = open();
        const QPointF at = centreOf(id, m_east);
        ClickMap(w->ZVMap1, at.x(), at.y());
        call.replace(QLatin1String("%1"), QString::number(id)).replace(QLatin1String("%2"), QString::number(p2021));
        QCOMPARE(gCalls, call.isEmpty() ? QStringList() : QStringList{call});
        QCOMPARE(m_prompt->messages(), message.isEmpty() ? QStringList() : QStringList{message});
        if (!message.isEmpty())
            QCOMPARE(m_prompt->calls.first().title, QStringLiteral("Corvane Quorrel"));
        QVERIFY(!w->RatingsInputMode());

        // A click beside every tunnel opens nothing.
        gCalls.clear();
        ClickMap(w->ZVMap1, 10500, 9000);
        QVERIFY(gCalls.isEmpty());
    }

    void ratingsInputModeOpensRatingEntry_data()
    {
        QTest::addColumn<bool>("refuse");
        QTest::newRow("rating entry opens") << false;
        QTest::newRow("rating entry refuses: no panels") << true;
    }
    void ratingsInputModeOpensRatingEntry()
    {
        QFETCH(bool, refuse);
        makeSystem();
        FixturePeriod(m_east, 2023);
        FixturePeriod(m_east, 2019);
        FakeForm::refuseInput = refuse;
        auto* w = open();
        w->mnuRatingsInput->trigger();
        QVERIFY(w->RatingsInputMode());
        QVERIFY(w->mnuRatingsInput->isChecked());

        // A tunnel without periods: the mode stays on.
        ClickMap(w->ZVMap1, 15750, 3750);
        QCOMPARE(m_prompt->messages(),
                 QStringList{QStringLiteral("Please add inspection periods before attempting to input data.")});
        QVERIFY(gCalls.isEmpty());
        QVERIFY(w->RatingsInputMode());
        QVERIFY(w->mnuRatingsInput->isChecked());

        // The greatest year; the mode then switches off, whatever rating entry did.
        m_prompt->calls.clear();
        ClickMap(w->ZVMap1, 5250, 3750);
        QCOMPARE(gCalls, QStringList{QStringLiteral("frmDataInput.LoadForm(2023,%1)").arg(m_east)});
        QVERIFY(!w->RatingsInputMode());
        QVERIFY(!w->mnuRatingsInput->isChecked());
        QCOMPARE(IsFormLoaded(QStringLiteral("frmDataInput")), !refuse);
        QCOMPARE(m_prompt->count(PromptCall::Message), refuse ? 1 : 0);

        // The menu turns it on and off again.
        w->mnuRatingsInput->trigger();
        w->mnuRatingsInput->trigger();
        QVERIFY(!w->RatingsInputMode());
    }

    void failingWindowIsLoggedAndLeavesNothingLoaded_data()
    {
        QTest::addColumn<bool>("inputMode");
        QTest::addColumn<QString>("message");
        QTest::newRow("review") << false << "Error loading Tunnel Ratings screen";
        QTest::newRow("rating entry") << true << "Error loading Ratings Input screen";
    }
    void failingWindowIsLoggedAndLeavesNothingLoaded()
    {
        QFETCH(bool, inputMode);
        QFETCH(QString, message);
        makeSystem();
        const qint32 insp = FixturePeriod(m_east, 2022);
        Post(insp, AddPanel(m_east, 1), 1, 3);
        FakeForm::failLoad = true;
        auto* w = open();
        if (inputMode)
            w->mnuRatingsInput->trigger();
        ClickMap(w->ZVMap1, 5250, 3750);
        QCOMPARE(m_prompt->messages(), QStringList{message});
        QVERIFY(m_install->read(QStringLiteral("err.log")).contains(("frmViewSystem-" + message).toUtf8()));
        QCOMPARE(LoadedNames(), QStringList{QStringLiteral("frmViewSystem")});
        QCOMPARE(w->RatingsInputMode(), inputMode);  // the action stopped
    }

    void hoverNamesTheTunnel()
    {
        makeSystem();
        auto* w = open();
        auto* tip = w->ZVMap1->findChild<QLabel*>(QStringLiteral("lblToolTip"));
        SendToMap(w->ZVMap1, QEvent::MouseMove, Qt::NoButton, 14000, 3000);
        QVERIFY(tip->isVisible());
        QCOMPARE(tip->text(), QStringLiteral("West Bore"));

        // A failed look-up leaves no tip and no message; the log has it.
        gConn.exec(QStringLiteral("DROP TABLE Tunnels"));
        SendToMap(w->ZVMap1, QEvent::MouseMove, Qt::NoButton, 3000, 3000);
        QVERIFY(tip->isHidden());
        QVERIFY(m_prompt->calls.isEmpty());
        QVERIFY(m_install->read(QStringLiteral("err.log")).contains("frmViewSystem-"));
    }

    void rightClickPopsUpTheMapMenu()
    {
        makeSystem();
        auto* w = open();
        ClickMap(w->ZVMap1, 10500, 9000, Qt::LeftButton);
        QVERIFY(!w->mnuMap->isVisible());
        ClickMap(w->ZVMap1, 10500, 9000, Qt::RightButton);
        QVERIFY(w->mnuMap->isVisible());
        w->mnuMap->close();
    }

    void zoomFromTheBoxTheButtonAndTheMenu_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("how");
        QTest::addColumn<double>("zoom");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<bool>("enterReachesBox");
        QTest::newRow("120 and Enter") << "120" << "enter" << 1.2 << QStringList() << false;
        QTest::newRow("0 and Enter") << "0" << "enter" << 1.0 << QStringList() << false;
        QTest::newRow("negative") << "-50" << "enter" << 1.0 << QStringList() << false;
        QTest::newRow("letters") << "abc" << "enter" << 1.0 << QStringList() << false;
        QTest::newRow("leading number") << "60 percent" << "enter" << 0.6 << QStringList() << false;
        QTest::newRow("half to even") << "62.5" << "enter" << 0.62 << QStringList() << false;
        QTest::newRow("too large: failure, Enter goes through")
            << "99999" << "enter" << 1.0 << QStringList{"Error zooming map"} << true;
        QTest::newRow("zoom button") << "175%" << "button" << 1.75 << QStringList() << false;
        QTest::newRow("menu 50%") << "" << "menu" << 0.5 << QStringList() << false;
    }
    void zoomFromTheBoxTheButtonAndTheMenu()
    {
        QFETCH(QString, typed);
        QFETCH(QString, how);
        QFETCH(double, zoom);
        QFETCH(QStringList, messages);
        QFETCH(bool, enterReachesBox);
        makeSystem();
        auto* w = open();
        QLineEdit* edit = w->cboZoom->lineEdit();
        QSignalSpy returned(edit, &QLineEdit::returnPressed);
        if (!typed.isEmpty()) {
            edit->clear();
            QTest::keyClicks(edit, typed);
        }
        if (how == QLatin1String("enter"))
            QTest::keyClick(edit, Qt::Key_Return);
        else if (how == QLatin1String("button"))
            QTest::mouseClick(w->imgZoom, Qt::LeftButton);
        else
            w->mnuZoom50->trigger();
        QCOMPARE(w->ZVMap1->ZoomFactor(), float(zoom));
        QCOMPARE(m_prompt->messages(), messages);
        QCOMPARE(returned.count() > 0, enterReachesBox);
        if (!typed.isEmpty())
            QCOMPARE(edit->text(), typed);  // Enter adds nothing to the box
        QCOMPARE(w->cboZoom->count(), 5);
    }

    void listPickZooms()
    {
        makeSystem();
        auto* w = open();
        // A pick from the list: the box shows the item, then the zoom follows it.
        w->cboZoom->setCurrentIndex(4);
        emit w->cboZoom->activated(4);
        QCOMPARE(w->ZVMap1->ZoomFactor(), 2.0f);
    }

    void panTogglesWithItsCheckMark()
    {
        makeSystem();
        auto* w = open();
        w->mnuPan->trigger();
        QVERIFY(w->MapPanOn());
        QVERIFY(w->mnuPan->isChecked());
        QVERIFY(w->ZVMap1->PanOn());
        w->mnuPan->trigger();
        QVERIFY(!w->MapPanOn());
        QVERIFY(!w->mnuPan->isChecked());
        QVERIFY(!w->ZVMap1->PanOn());
    }

    void commandsOpenTheirWindows()
    {
        auto* w = open();
        w->cmdExp->click();
        w->mnuExpenditures->trigger();  // the one instance again
        QCOMPARE(LoadedNames().count(QStringLiteral("frmExpense")), 1);
        QVERIFY(LoadedForms().last()->isVisible());
        w->cmdReport->click();
        w->mnuWizardInspPd->trigger();
        QVERIFY(IsFormLoaded(QStringLiteral("frmInspectionPd")));
        QCOMPARE(gCalls, QStringList{"frmReportSelection.exec"});

        // The element editor: a new one unless one of that caption is open.
        gCalls.clear();
        w->mnuWizardElement->trigger();
        w->mnuWizardElement->trigger();
        w->mnuWizardExpenditure->trigger();
        QCOMPARE(gCalls, (QStringList{"frmEleDef.LoadForm(Element,AvailableElements,ElementID,ElementName)",
                                      "frmEleDef.LoadForm(Expenditure Category,ExpenditureCats,CategoryID,Category)"}));
        QCOMPARE(LoadedNames().count(QStringLiteral("frmEleDef")), 2);
        QVERIFY(m_prompt->calls.isEmpty());
    }

    void userManagerAndAboutAreModal()
    {
        auto* w = open();
        WindowScript script;
        script.when(QStringLiteral("frmDBManager"), [](QWidget* m) { static_cast<frmDBManager*>(m)->Command1->click(); });
        w->mnuUsers->trigger();
        script.when(QStringLiteral("frmAbout"), [](QWidget* a) { static_cast<frmAbout*>(a)->Unload(); });
        QTest::mouseClick(w->Label2, Qt::LeftButton);
        script.when(QStringLiteral("frmAbout"), [](QWidget* a) { static_cast<frmAbout*>(a)->Unload(); });
        QTest::mouseClick(w->Image1, Qt::LeftButton);
        script.when(QStringLiteral("frmAbout"), [](QWidget* a) { static_cast<frmAbout*>(a)->Unload(); });
        w->mnuAbout->trigger();
        QVERIFY(!script.timedOut());
        QCOMPARE(script.shownModal(), (QStringList{"frmDBManager", "frmAbout", "frmAbout", "frmAbout"}));
    }

    void helpCommands()
    {
        auto* w = open();
        SetHelpFile(QString());
        w->mnuHelpContents->trigger();
        w->mnuHelpIndex->trigger();
        const QString none =
            QStringLiteral("Unable to display Help Contents. There is no Help associated with this project.");
        QCOMPARE(m_prompt->messages(), (QStringList{none, none}));
        QCOMPARE(m_prompt->calls[0].icon, MsgIcon::Information);
        QCOMPARE(m_prompt->calls[1].title, w->windowTitle());

        m_prompt->calls.clear();
        m_install->write(QStringLiteral("help.html"), "<html></html>");
        SetHelpFile(QStringLiteral("help.html"));
        w->mnuHelpIndex->trigger();
        QVERIFY(frmHelp::Current());
        QVERIFY(frmHelp::Current()->txtHelp->source().toLocalFile().endsWith(QLatin1String("help.html")));
        QVERIFY(m_prompt->calls.isEmpty());
        frmHelp::Current()->close();
        QFile::remove(m_install->file(QStringLiteral("help.html")));
        w->mnuHelpContents->trigger();
        QCOMPARE(m_prompt->messages(), QStringList{QStringLiteral("Error locating help file\nThe file %1 does not exist.")
                                                       .arg(m_install->file(QStringLiteral("help.html")))});
    }

    void layoutFollowsTheWindowSize_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::newRow("large") << QSize(1200, 900);
        QTest::newRow("design") << QSize(760, 600);
        QTest::newRow("tiny") << QSize(200, 120);
    }
    void layoutFollowsTheWindowSize()
    {
        QFETCH(QSize, size);
        auto* w = open();
        w->resize(size);
        QCoreApplication::processEvents();
        QWidget* client = w->centralWidget();
        const int innerW = client->width();
        const int innerH = client->height();
        const int framesTop = std::max(TwipsToPixels(960), innerH - w->fraButtons->height());
        QCOMPARE(w->fraButtons->y(), framesTop);
        QCOMPARE(w->fraButtons->width(), std::max(TwipsToPixels(7900), innerW - TwipsToPixels(300)));
        QCOMPARE(w->cmdExit->geometry().right() + 1, w->fraButtons->width());
        QCOMPARE(w->ZVMap1->width(), std::max(TwipsToPixels(1000), innerW - w->ZVMap1->x()));
        QCOMPARE(w->ZVMap1->height(),
                 std::max(TwipsToPixels(500), framesTop - w->ZVMap1->y() - TwipsToPixels(100)));
        QCOMPARE(w->fraZoom->x(), std::max(TwipsToPixels(6450), w->ZVMap1->geometry().right() + 1 - w->fraZoom->width()));
    }

    void placementIsKeptAndAMaximizedWindowStaysSo()
    {
        makeSystem();
        auto* w = open();
        w->move(40, 30);
        w->resize(900, 700);
        w->Unload();
        QSettings reg(QStringLiteral("Quillmar Inc."), QStringLiteral("KRV"));
        QCOMPARE(reg.value(QStringLiteral("frmviewsystem/Width")).toString(), QString::number(900 * 15));
        auto* again = new frmViewSystem;
        QCOMPARE(again->width(), 900);
        QCOMPARE(again->height(), TwipsToPixels(9000));  // the window's own height
        again->Unload();

        reg.setValue(QStringLiteral("frmviewsystem/Max"), QStringLiteral("True"));
        reg.sync();
        auto* maximized = new frmViewSystem;
        QVERIFY(maximized->isMaximized());
        QCOMPARE(maximized->ZVMap1->PolyCount(), 2);  // the rest of the load ran
    }

    // Closing the main window closes every other window and ends the program.
    void exitClosesEveryWindowAndEndsTheProgram_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("Exit button") << "button";
        QTest::newRow("Exit menu") << "menu";
        QTest::newRow("close box") << "close";
    }
    void exitClosesEveryWindowAndEndsTheProgram()
    {
        QFETCH(QString, how);
        makeSystem();
        const qint32 insp = FixturePeriod(m_east, 2022);
        Post(insp, AddPanel(m_east, 1), 1, 3);
        auto* w = open();
        w->cmdExp->click();
        ClickMap(w->ZVMap1, 5250, 3750);  // the review
        QCOMPARE(LoadedNames(), (QStringList{"frmViewSystem", "frmExpense", "frmDataView"}));
        SetEndWhenLastFormUnloads(true);
        QStringList after;
        QTimer::singleShot(0, [&] {
            if (how == QLatin1String("button"))
                w->cmdExit->click();
            else if (how == QLatin1String("menu"))
                w->mnuExit->trigger();
            else
                w->close();
            after = LoadedNames();
        });
        QTimer watchdog;
        watchdog.setSingleShot(true);
        connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(1); });
        watchdog.start(5000);
        const int code = QCoreApplication::exec();
        SetEndWhenLastFormUnloads(false);
        QCOMPARE(after, QStringList());
        QCOMPARE(code, 0);
    }

    void systemDefinitionHandsOverToTheSetUpWindow()
    {
        auto* w = open();
        w->cmdExp->click();
        w->mnuWizardSystem->trigger();
        QCOMPARE(LoadedNames(), QStringList{QStringLiteral("frmSystem")});
        QVERIFY(LoadedForms().first()->isVisible());
        QVERIFY(m_prompt->calls.isEmpty());
    }
};

QTEST_MAIN(TestFrmViewSystem)
#include "tst_frmviewsystem.moc"

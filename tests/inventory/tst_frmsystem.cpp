// The set-up window: loading, the tunnel outlines drawn, redrawn, moved, edited, copied,
// removed and renamed with their folders, the system options, zoom, edit mode, the
// set-up screens it opens, and Close.
#include "../startup/windowscript.h"
#include "../zvimaging/zvtestutil.h"
#include "uihelpers.h"

#include "clicklabel.h"
#include "dbsystem.h"
#include "fixtures.h"
#include "forms.h"
#include "frmOpenSysMap.h"
#include "frmPanelElements.h"
#include "dbinventory.h"
#include "frmSystem.h"
#include "frmTunnelSpecs.h"
#include "globals.h"
#include "helpers.h"
#include "inventoryforms.h"
#include "mappicture.h"
#include "modkrv.h"
#include "otherprogram.h"
#include "picturebomb.h"
#include "scriptedprompt.h"
#include "settings.h"
#include "startup.h"
#include "testinstall.h"

#include <QAction>
#include <QBuffer>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFrame>
#include <QImageReader>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

// A stand-in for the set-up screens of other libraries: records how it was opened.
class FakeScreen : public KrvForm<QWidget> {
    Q_OBJECT
public:
    explicit FakeScreen(const QString& name) : KrvForm<QWidget>(name) {}
    bool refuse = false;  // as a window with unsaved work whose question is cancelled
    Q_INVOKABLE void LoadForm(qint32 id)
    {
        log << QStringLiteral("%1.LoadForm(%2)").arg(objectName()).arg(id);
        show();
    }
    Q_INVOKABLE void LoadForm(QString kind, QString table, QString idColumn, QString nameColumn)
    {
        log << QStringLiteral("%1.LoadForm(%2)").arg(objectName(), QStringList{kind, table, idColumn, nameColumn}.join(','));
        setWindowTitle(kind + QStringLiteral(" Definition"));
        show();
    }
    static inline QStringList log;

protected:
    bool QueryUnload() override { return !refuse; }
};

namespace {

using zvtest::click;
using zvtest::move;
using zvtest::press;
using zvtest::release;

const QStringList kScreens = {"frmDataTabs", "frmPanelElements", "frmTunnelSpecs", "frmEleDef",
                              "frmInspectionPd", "frmCreateReplica", "frmSyncFS"};

void registerScreens(bool on)
{
    for (const QString& name : kScreens) {
        if (on)
            RegisterFormFactory(name, [name] { return new FakeScreen(name); });
        else
            RegisterFormFactory(name, nullptr);
    }
}

void writePicture(const QString& path, int w = 400, int h = 300)
{
    QImage im(w, h, QImage::Format_RGB32);
    im.fill(Qt::white);
    QVERIFY(im.save(path, "BMP"));
}

// The stored outline of a tunnel, checking that CoordIndex runs 1..n.
Outline stored(qint32 tunnelId)
{
    const RowSet rs = gConn.query(
        QStringLiteral("SELECT CoordIndex, TunnelX, TunnelY FROM TunnelCoord WHERE TunnelID = ? ORDER BY CoordIndex"),
        {tunnelId});
    Outline out;
    for (int r = 0; r < rs.count(); ++r) {
        if (rs.toInt(r, "CoordIndex") != r + 1)
            qWarning("CoordIndex out of order");
        out.append({rs.toInt(r, "TunnelX"), rs.toInt(r, "TunnelY")});
    }
    return out;
}

Outline outlineOnMap(ZVMap* map, qint32 id)
{
    for (int i = 0; i < map->PolyCount(); ++i)
        if (map->Poly(i).ID == id)
            return ToOutline(map->Poly(i).Pt);
    return {};
}

QStringList listRows(QListWidget* list)
{
    QStringList rows;
    for (int i = 0; i < list->count(); ++i)
        rows << QStringLiteral("%1=%2").arg(list->item(i)->text()).arg(list->item(i)->data(Qt::UserRole).toInt());
    return rows;
}

void selectRow(QListWidget* list, const QString& text)
{
    const QList<QListWidgetItem*> found = list->findItems(text, Qt::MatchExactly);
    QVERIFY2(found.size() == 1, qPrintable(text));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(found.first()).center());
}

// Clicks the vertices of an outline on the map; the last click, with Ctrl, closes it.
void draw(ZVMap* map, const Outline& pts)
{
    for (int i = 0; i < pts.size(); ++i)
        click(*map, pts[i].x, pts[i].y, Qt::LeftButton, i + 1 == pts.size() ? Qt::ControlModifier : Qt::NoModifier);
}

const Outline kSquare = {{600, 600}, {1800, 600}, {1800, 1800}, {600, 1800}};
const Outline kTriangle = {{2400, 600}, {3600, 600}, {3000, 1500}};

// The names of the window's buttons and menu items that are enabled now.
QStringList enabledCommands(frmSystem* w)
{
    QStringList names;
    for (QPushButton* b : w->findChildren<QPushButton*>())
        if (b->isEnabled())
            names << b->objectName();
    QList<QAction*> pending = w->menuBar()->actions();
    while (!pending.isEmpty()) {
        QAction* a = pending.takeFirst();
        if (a->menu())
            pending << a->menu()->actions();
        if (!a->isSeparator() && a->isEnabled())
            names << a->objectName();
    }
    names.sort();
    return names;
}

}  // namespace

class TestFrmSystem : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { RegisterInventoryForms(); }
    void init()
    {
        m_install = std::make_unique<TestInstall>();
        m_prompt = std::make_unique<ScriptedPrompt>();
        m_data = m_install->file(QStringLiteral("Data/"));
        QDir().mkpath(m_data);
        writePicture(m_data + "map.bmp");
        SetHelpFile(QString());
        FakeScreen::log.clear();
    }
    void cleanup()
    {
        registerScreens(false);
        m_prompt.reset();
        m_install.reset();
        ClearPendingQuit();
    }

    // ---------------------------------------------------------------- loading

    void loadsTheSystemRowTunnelsAndOptions()
    {
        FixtureSystem(QStringLiteral("Metro"));
        gConn.exec("UPDATE System SET SystemPicture = 'map.bmp', DrawWidth = 3, SystemForeground = 255, View = 1, "
                   "WarningHighlight = 6, CriticalHighlight = 2");
        const qint32 b = DbAddTunnel(QStringLiteral("Bravo"), kSquare);
        const qint32 a = DbAddTunnel(QStringLiteral("Alpha"), {});  // a paste with nothing copied
        const qint32 c = DbAddTunnel(QStringLiteral("Charlie"), kTriangle);
        const qint32 systemId = gSystemID;
        gSystemID = 0;
        auto* w = new frmSystem;
        w->show();
        QCOMPARE(w->windowTitle(), QStringLiteral("Corvane Quorrel"));
        QCOMPARE(gSystemID, systemId);
        QCOMPARE(w->txtSysName->text(), QStringLiteral("Metro"));
        QCOMPARE(w->ZVMap1->Image(), m_data + "map.bmp");
        QCOMPARE(w->ZVMap1->DrawWidth(), 3);
        QCOMPARE(w->ZVMap1->ForeColor(), 255u);
        QVERIFY(w->chkCompare->isChecked());
        QCOMPARE(w->cboWarningHL->currentText(), QStringLiteral("6"));
        QCOMPARE(w->cboCriticalHL->currentText(), QStringLiteral("2"));
        QCOMPARE(gWarningHighlight, 6);
        QCOMPARE(gCriticalHighlight, 2);
        QCOMPARE(listRows(w->List1), (QStringList{QStringLiteral("Alpha=%1").arg(a), QStringLiteral("Bravo=%1").arg(b),
                                                  QStringLiteral("Charlie=%1").arg(c)}));
        QCOMPARE(w->ZVMap1->PolyCount(), 2);
        QCOMPARE(outlineOnMap(w->ZVMap1, b), kSquare);
        QCOMPARE(outlineOnMap(w->ZVMap1, c), kTriangle);
        QCOMPARE(w->RedrawTunnelID(), -1);
        QCOMPARE(w->ClickedTunnelID(), 0);
        QCOMPARE(w->SSTab1->currentIndex(), 0);
        QCOMPARE(w->SSTab1->tabText(2), QStringLiteral("Input Options"));
        QCOMPARE(w->height(), 600);
        QVERIFY(!w->mnuSep->isVisible() && !w->mnuCancelAdd->isVisible());
        QVERIFY(!w->mnuCopy->isEnabled() && !w->mnuPaste->isEnabled());
        QVERIFY(m_prompt->calls.isEmpty());
        // Showing what is stored stores nothing.
        QCOMPARE(Rows("SELECT SystemName, View FROM System"), QStringList{"Metro|1"});
    }

    // A stored map that cannot be read is told with its file and why (not left an empty grey
    // area); the window opens all the same, Null columns taking their defaults.
    void unreadablePictureIsToldAndNullColumnsOpen_data()
    {
        QTest::addColumn<QString>("picture");
        QTest::addColumn<QString>("reason");  // after the file's path
        QTest::newRow("missing file") << "gone.bmp" << "does not exist.";
        QTest::newRow("file that is no picture") << "bad.bmp" << "";
    }
    void unreadablePictureIsToldAndNullColumnsOpen()
    {
        QFETCH(QString, picture);
        QFETCH(QString, reason);
        m_install->write("Data/bad.bmp", "not a picture");
        FixtureSystem(QStringLiteral("Metro"));
        gConn.exec("UPDATE System SET SystemPicture = ?, DrawWidth = NULL, SystemForeground = NULL, "
                   "WarningHighlight = NULL, CriticalHighlight = NULL, SystemName = NULL", {picture});
        const qint32 t = DbAddTunnel(QStringLiteral("Bravo"), kSquare);
        auto* w = new frmSystem;
        w->show();
        const QString path = m_install->file("Data/" + picture);
        QCOMPARE(m_prompt->messages(),
                 QStringList{"The map picture " + path + " cannot be read.\n" +
                             (reason.isEmpty() ? QString("It is not a picture, or it is damaged.")
                                               : "The file " + path + " " + reason)});
        QCOMPARE(m_prompt->calls.first().icon, MsgIcon::Critical);
        QCOMPARE(m_prompt->calls.first().title, QString("System Wizard"));
        QCOMPARE(w->ZVMap1->Image(), QString());
        QVERIFY(!w->MapHasPicture());
        QCOMPARE(w->txtSysName->text(), QString());
        QCOMPARE(w->ZVMap1->DrawWidth(), 1);
        QCOMPARE(w->ZVMap1->ForeColor(), 0u);
        QCOMPARE(w->cboWarningHL->currentText(), QStringLiteral("5"));
        QCOMPARE(w->cboCriticalHL->currentText(), QStringLiteral("3"));
        QCOMPARE(outlineOnMap(w->ZVMap1, t), kSquare);
        // The shown limits are not written back.
        QCOMPARE(Rows("SELECT WarningHighlight, CriticalHighlight FROM System"), QStringList{"<null>|<null>"});
    }

    // A map picture stored before pictures were checked, too large to show: the window says
    // so, loads its tunnels all the same, and a new map can be set.
    void storedMapTooLargeStillLoadsTheTunnels()
    {
        m_install->write("Data/bomb.png", PngClaiming(30000, 30000));
        FixtureSystem(QStringLiteral("Metro"));
        gConn.exec("UPDATE System SET SystemPicture = 'bomb.png'");
        const qint32 t = DbAddTunnel(QStringLiteral("Bravo"), kSquare);
        auto* w = new frmSystem;
        w->show();
        QCOMPARE(m_prompt->messages(),
                 QStringList{MapPictureTooLargeText(QStringLiteral("bomb.png"), QSize(30000, 30000)) +
                             QStringLiteral("  Choose another with Set System Map.")});
        QVERIFY(!QFile::exists(m_install->file("err.log")) ||
                !m_install->read("err.log").contains("Error loading System Wizard"));
        QCOMPARE(w->ZVMap1->Image(), QString());
        QCOMPARE(w->txtSysName->text(), QStringLiteral("Metro"));
        QCOMPARE(listRows(w->List1), QStringList{QStringLiteral("Bravo=%1").arg(t)});
        QCOMPARE(outlineOnMap(w->ZVMap1, t), kSquare);

        m_prompt->calls.clear();
        QTimer::singleShot(0, [] {
            auto* chooser = qobject_cast<frmOpenSysMap*>(LoadedForms().last());
            QVERIFY(chooser);
            chooser->File1->setCurrentRow(chooser->listedFiles().indexOf("map.bmp"));
            QTest::mouseClick(chooser->cmdOpen, Qt::LeftButton);
        });
        QTest::mouseClick(w->cmdSetMap, Qt::LeftButton);
        QCOMPARE(Rows("SELECT SystemPicture FROM System"), QStringList{"map.bmp"});
        QCOMPARE(w->ZVMap1->Image(), m_data + "map.bmp");
        QVERIFY(m_prompt->calls.isEmpty());
    }

    // A map picture at the size limit the help states (8000 x 5000, beyond Qt's own default
    // allocation limit) is stored, shown, and shown again at the next opening; Qt's limit is
    // left as it was.
    void aMapAtTheSizeLimitIsStoredAndShown()
    {
        QVERIFY(WriteFlatJpeg(m_data + "large.jpg", 8000, 5000));
        FixtureSystem(QStringLiteral("Metro"));
        const int limit = QImageReader::allocationLimit();
        auto* w = new frmSystem;
        w->show();
        QTimer::singleShot(0, [] {
            auto* chooser = qobject_cast<frmOpenSysMap*>(LoadedForms().last());
            QVERIFY(chooser);
            chooser->File1->setCurrentRow(chooser->listedFiles().indexOf("large.jpg"));
            QTest::mouseClick(chooser->cmdOpen, Qt::LeftButton);
        });
        QTest::mouseClick(w->cmdSetMap, Qt::LeftButton);
        QCOMPARE(m_prompt->messages(), QStringList());
        QCOMPARE(Rows("SELECT SystemPicture FROM System"), QStringList{"large.jpg"});
        QCOMPARE(w->ZVMap1->Picture().size(), QSize(8000, 5000));
        QVERIFY(w->Unload());
        auto* again = new frmSystem;
        again->show();
        QCOMPARE(again->ZVMap1->Image(), m_data + "large.jpg");
        QCOMPARE(again->ZVMap1->Picture().size(), QSize(8000, 5000));
        QCOMPARE(m_prompt->messages(), QStringList());
        QVERIFY(!QFile::exists(m_install->file("err.log")));
        QCOMPARE(QImageReader::allocationLimit(), limit);
    }

    void withoutSystemRowTheFirstLetterAddsIt()
    {
        auto* w = new frmSystem;
        w->show();
        QCOMPARE(gSystemID, 0);
        QCOMPARE(w->List1->count(), 0);
        QVERIFY(!w->MapHasPicture());
        w->SSTab1->setCurrentIndex(2);
        // The compare box needs a system first: one message per click, never ticked.
        for (int i = 0; i < 2; ++i) {
            QTest::mouseClick(w->chkCompare, Qt::LeftButton, {}, QPoint(6, w->chkCompare->height() / 2));
            QVERIFY(!w->chkCompare->isChecked());
        }
        QCOMPARE(m_prompt->messages(),
                 QStringList(2, QStringLiteral("Please select a name or map image for the system before setting this value.")));
        QCOMPARE(m_prompt->calls[0].title, QStringLiteral("System Wizard"));
        QCOMPARE(CountRows("System"), 0);

        QTest::keyClicks(w->txtSysName, QStringLiteral("Ur"));
        QVERIFY(gSystemID != 0);
        QCOMPARE(Rows("SELECT SystemID, SystemName, SystemPicture FROM System"),
                 QStringList{QStringLiteral("%1|Ur|").arg(gSystemID)});
        // Now the box stores.
        QTest::mouseClick(w->chkCompare, Qt::LeftButton, {}, QPoint(6, w->chkCompare->height() / 2));
        QCOMPARE(Rows("SELECT View FROM System"), QStringList{"1"});
        QTest::mouseClick(w->chkCompare, Qt::LeftButton, {}, QPoint(6, w->chkCompare->height() / 2));
        QCOMPARE(Rows("SELECT View FROM System"), QStringList{"0"});
        QCOMPARE(m_prompt->calls.size(), 2);
    }

    // Without a System row, border width, border colour and the limits are refused as the
    // compare box is; once the row is made, its stored limits are shown and used.
    void settingsBeforeTheSystemRowAreRefused()
    {
        gWarningHighlight = 0;
        gCriticalHighlight = 0;
        auto* w = new frmSystem;
        w->show();
        QCOMPARE(gSystemID, 0);
        const QString message = QStringLiteral("Please select a name or map image for the system before setting this value.");
        w->mnuBorderWidth->trigger();
        w->mnuColor->trigger();
        w->SSTab1->setCurrentIndex(2);
        w->cboWarningHL->setFocus();
        QTest::keyClicks(w->cboWarningHL, QStringLiteral("8"));
        QCOMPARE(m_prompt->messages(), QStringList(3, message));
        QCOMPARE(m_prompt->count(PromptCall::Input) + m_prompt->count(PromptCall::Color), 0);
        QCOMPARE(gWarningHighlight, 0);
        QVERIFY(w->cboWarningHL->currentText() != QStringLiteral("8"));
        QCOMPARE(CountRows("System"), 0);

        QTest::keyClicks(w->txtSysName, QStringLiteral("U"));
        QVERIFY(gSystemID != 0);
        QCOMPARE(Rows("SELECT WarningHighlight, CriticalHighlight FROM System"), QStringList{"5|3"});
        QCOMPARE(QStringLiteral("%1|%2").arg(gWarningHighlight).arg(gCriticalHighlight), QStringLiteral("5|3"));
        QCOMPARE(w->cboWarningHL->currentText(), QStringLiteral("5"));
        QCOMPARE(w->cboCriticalHL->currentText(), QStringLiteral("3"));
        // Now the settings store.
        m_prompt->answers.enqueue(QVariant("3"));
        w->mnuBorderWidth->trigger();
        QCOMPARE(Rows("SELECT DrawWidth FROM System"), QStringList{"3"});
        QCOMPARE(int(w->ZVMap1->DrawWidth()), 3);
    }

    // ---------------------------------------------------------------- system options

    void highlightLimitsComparedAsTexts_data()
    {
        QTest::addColumn<QString>("list");
        QTest::addColumn<QString>("pick");
        QTest::addColumn<QVariant>("answer");
        QTest::addColumn<bool>("asked");
        QTest::addColumn<QString>("stored");  // warning|critical
        QTest::addColumn<QString>("shown");
        // Stored: warning 5, critical 3.
        QTest::newRow("critical below warning") << "critical" << "2" << QVariant() << false << "5|2" << "2";
        QTest::newRow("equal limits") << "critical" << "5" << QVariant() << false << "5|5" << "5";
        QTest::newRow("critical above, Yes") << "critical" << "6" << QVariant(int(MsgAnswer::Yes)) << true << "5|6" << "6";
        QTest::newRow("critical above, No") << "critical" << "6" << QVariant(int(MsgAnswer::No)) << true << "5|3" << "3";
        QTest::newRow("warning below critical, Yes")
            << "warning" << "2" << QVariant(int(MsgAnswer::Yes)) << true << "2|3" << "2";
        QTest::newRow("warning below critical, No")
            << "warning" << "2" << QVariant(int(MsgAnswer::No)) << true << "5|3" << "5";
        QTest::newRow("warning raised") << "warning" << "8" << QVariant() << false << "8|3" << "8";
    }
    void highlightLimitsComparedAsTexts()
    {
        QFETCH(QString, list);
        QFETCH(QString, pick);
        QFETCH(QVariant, answer);
        QFETCH(bool, asked);
        QFETCH(QString, stored);
        QFETCH(QString, shown);
        FixtureSystem(QStringLiteral("Metro"));
        auto* w = new frmSystem;
        w->show();
        if (answer.isValid())
            m_prompt->answers.enqueue(answer);
        QComboBox* box = list == "critical" ? w->cboCriticalHL : w->cboWarningHL;
        box->setFocus();
        QTest::keyClicks(box, pick);  // the pick, as the keyboard makes it
        QCOMPARE(m_prompt->calls.size(), asked ? 1 : 0);
        if (asked) {
            QCOMPARE(m_prompt->calls[0].text, QStringLiteral("Critical Limit is greater than Warning Limit.  The warning "
                                                             "highlight will not appear. \nAre you sure you want to "
                                                             "change the limit?"));
            QCOMPARE(m_prompt->calls[0].title, QStringLiteral("Warning!"));
            QCOMPARE(m_prompt->calls[0].buttons, MsgButtons::YesNo);
            QCOMPARE(m_prompt->calls[0].icon, MsgIcon::Warning);
        }
        QCOMPARE(Rows("SELECT WarningHighlight, CriticalHighlight FROM System"), QStringList{stored});
        QCOMPARE(QStringLiteral("%1|%2").arg(gWarningHighlight).arg(gCriticalHighlight), stored);
        QCOMPARE(box->currentText(), shown);
    }

    void borderWidthAnswers_data()
    {
        QTest::addColumn<QVariant>("answer");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("drawn");
        QTest::newRow("7 is kept, drawn as 5") << QVariant("7") << "7" << 5;
        QTest::newRow("7.6 rounds to 8") << QVariant("7.6") << "8" << 5;
        QTest::newRow("2.5 rounds to even") << QVariant("2.5") << "2" << 2;
        QTest::newRow("leading number") << QVariant(" 3 px") << "3" << 3;
        QTest::newRow("0") << QVariant("0") << "0" << 1;
        QTest::newRow("8") << QVariant("8") << "0" << 1;
        QTest::newRow("-2") << QVariant("-2") << "0" << 1;
        QTest::newRow("letters") << QVariant("wide") << "0" << 1;
        QTest::newRow("cancel") << QVariant() << "0" << 1;
    }
    void borderWidthAnswers()
    {
        QFETCH(QVariant, answer);
        QFETCH(QString, stored);
        QFETCH(int, drawn);
        FixtureSystem(QStringLiteral("Metro"));
        auto* w = new frmSystem;
        w->show();
        m_prompt->answers.enqueue(answer);
        w->mnuBorderWidth->trigger();
        QCOMPARE(m_prompt->calls.size(), 1);
        QCOMPARE(m_prompt->calls[0].kind, PromptCall::Input);
        QCOMPARE(m_prompt->calls[0].text, QStringLiteral("Change border width from 1 to: "));
        QCOMPARE(m_prompt->calls[0].title, QStringLiteral("Border Width"));
        QCOMPARE(Rows("SELECT DrawWidth FROM System"), QStringList{stored});
        QCOMPARE(int(w->ZVMap1->DrawWidth()), drawn);
    }

    void borderColourChosenOrCancelled()
    {
        FixtureSystem(QStringLiteral("Metro"));
        gConn.exec("UPDATE System SET SystemForeground = 255");
        auto* w = new frmSystem;
        w->show();
        m_prompt->answers.enqueue(QVariant::fromValue(quint32(0x00FF00)));
        w->mnuColor->trigger();
        QCOMPARE(m_prompt->calls[0].kind, PromptCall::Color);
        QCOMPARE(m_prompt->calls[0].initial, QStringLiteral("255"));
        QCOMPARE(Rows("SELECT SystemForeground FROM System"), QStringList{"65280"});
        QCOMPARE(w->ZVMap1->ForeColor(), 0x00FF00u);
        m_prompt->answerCancel();
        w->mnuColor->trigger();
        QCOMPARE(m_prompt->calls.size(), 2);
        QCOMPARE(Rows("SELECT SystemForeground FROM System"), QStringList{"65280"});
        QVERIFY(!QFileInfo::exists(m_install->file("err.log")));
    }

    // ---------------------------------------------------------------- system map

    void setMapThroughThePictureChooser_data()
    {
        QTest::addColumn<bool>("withRow");
        QTest::newRow("System row") << true;
        QTest::newRow("no System row") << false;
    }
    void setMapThroughThePictureChooser()
    {
        QFETCH(bool, withRow);
        if (withRow)
            FixtureSystem(QStringLiteral("Old"));
        writePicture(m_data + "it's.bmp", 200, 100);
        auto* w = new frmSystem;
        w->show();
        w->txtSysName->setText(QStringLiteral("Metro"));
        const qint32 before = gSystemID;
        QString title;
        QTimer::singleShot(0, [&] {
            auto* chooser = qobject_cast<frmOpenSysMap*>(LoadedForms().last());
            QVERIFY(chooser);
            title = chooser->windowTitle();
            chooser->File1->setCurrentRow(chooser->listedFiles().indexOf("it's.bmp"));
            QTest::mouseClick(chooser->cmdOpen, Qt::LeftButton);
        });
        QTest::mouseClick(w->cmdSetMap, Qt::LeftButton);
        QCOMPARE(title, QStringLiteral("Insert System Map"));
        QCOMPARE(w->ZVMap1->Image(), m_data + "it's.bmp");
        QCOMPARE(w->ZVMap1->Picture().width(), 200);
        QVERIFY(gSystemID != 0);
        QCOMPARE(gSystemID, before);  // typing the name made the row
        QCOMPARE(Rows("SELECT SystemName, SystemPicture FROM System"), QStringList{"Metro|it's.bmp"});
        QVERIFY(m_prompt->calls.isEmpty());
    }

    void setMapRefusals_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("title");
        QTest::newRow("cancelled") << "" << "" << "";
        QTest::newRow("no picture") << "bad.jpg" << "Image could not be added.  Make sure the file is a valid image."
                                    << "System Wizard";
        QTest::newRow("not in the data folder") << "elsewhere.bmp" << "File not found." << "Insert System Map";
        QTest::newRow("store fails") << "new.bmp" << "Error setting system map" << "Corvane Quorrel";
        QTest::newRow("too large for a map")
            << "bomb.png" << MapPictureTooLargeText(QStringLiteral("bomb.png"), QSize(30000, 30000))
            << "Insert System Map";
        // Its header passes; the map cannot load it: nothing is stored.
        QTest::newRow("does not load") << "cut.png" << "Image could not be added.  Make sure the file is a valid image."
                                       << "System Wizard";
    }
    void setMapRefusals()
    {
        QFETCH(QString, file);
        QFETCH(QString, message);
        QFETCH(QString, title);
        FixtureSystem(QStringLiteral("Metro"));
        gConn.exec("UPDATE System SET SystemPicture = 'map.bmp'");
        m_install->write("Data/bad.jpg", "not a picture");
        m_install->write("Data/bomb.png", PngClaiming(30000, 30000));
        writePicture(m_data + "new.bmp", 100, 100);
        {
            QImage whole(300, 200, QImage::Format_RGB32);
            whole.fill(Qt::gray);
            QByteArray png;
            QBuffer buffer(&png);
            QVERIFY(buffer.open(QIODevice::WriteOnly));
            QVERIFY(whole.save(&buffer, "PNG"));
            m_install->write("Data/cut.png", png.left(png.size() / 2));
        }
        FailWhen("nomap", "UPDATE", "System", "NEW.SystemPicture = 'new.bmp'");
        auto* w = new frmSystem;
        w->show();
        // A chooser that answers the file, whether or not it is in the folder.
        RegisterFormFactory("frmOpenSysMap", [file] {
            struct Answering : frmOpenSysMap {
                QString answer;
                void FormUnload() override { SetSysMapChoice(answer); }
            };
            auto* chooser = new Answering;
            chooser->answer = file;
            return static_cast<frmOpenSysMap*>(chooser);
        });
        QTimer::singleShot(0, [] { UnloadFormByName("frmOpenSysMap"); });
        QTest::mouseClick(w->cmdSetMap, Qt::LeftButton);
        RegisterInventoryForms();
        QCOMPARE(m_prompt->messages(), message.isEmpty() ? QStringList() : QStringList{message});
        if (!message.isEmpty())
            QCOMPARE(m_prompt->calls[0].title, title);
        // The map shows what the database holds.
        QCOMPARE(Rows("SELECT SystemPicture FROM System"), QStringList{"map.bmp"});
        QCOMPARE(w->ZVMap1->Image(), m_data + "map.bmp");
        QCOMPARE(w->ZVMap1->Picture().width(), 400);
    }

    // ---------------------------------------------------------------- drawing a tunnel

    void addTunnelNeedsAPicture()
    {
        FixtureSystem(QStringLiteral("Metro"));
        auto* w = new frmSystem;
        w->show();
        QTest::mouseClick(w->cmdAddTunnel, Qt::LeftButton);
        QCOMPARE(m_prompt->messages(), QStringList{"Please select a map image before adding a tunnel."});
        QCOMPARE(m_prompt->calls[0].title, QStringLiteral("System Wizard"));
        QVERIFY(w->cmdAddTunnel->isEnabled() && w->List1->isEnabled());
        QCOMPARE(w->ZVMap1->mode(), ZVMap::Mode::Normal);
        w->mnuCoordMove->trigger();
        QCOMPARE(m_prompt->messages().last(), QStringLiteral("Please select a map image before editing tunnels."));
        QVERIFY(w->cmdAddTunnel->isEnabled());
    }

    void drawingLocksTheWindow()
    {
        FixtureSystem(QStringLiteral("Metro"));
        gConn.exec("UPDATE System SET SystemPicture = 'map.bmp'");
        registerScreens(true);
        auto* w = new frmSystem;
        w->show();
        const QStringList idle = enabledCommands(w);
        QTest::mouseClick(w->cmdAddTunnel, Qt::LeftButton);
        QCOMPARE(enabledCommands(w), (QStringList{"cmdClose", "mnuAbout", "mnuCancelAdd", "mnuClose", "mnuExit",
                                                  "mnuHelp", "mnuHelpContents", "mnuHelpIndex", "mnuSys", "mnuTunnel"}));
        QVERIFY(w->mnuCancelAdd->isVisible() && w->mnuSep->isVisible());
        QVERIFY(!w->List1->isEnabled());
        for (QWidget* c : QList<QWidget*>{w->txtSysName, w->cboWarningHL, w->cboCriticalHL, w->chkCompare, w->cboZoom,
                                          w->ZVMap1})
            QVERIFY2(c->isEnabled(), qPrintable(c->objectName()));
        // The drawing tool's own message goes through the prompt service.
        click(*w->ZVMap1, 600, 600);
        click(*w->ZVMap1, 1200, 600, Qt::LeftButton, Qt::ControlModifier);
        QCOMPARE(m_prompt->messages(), QStringList{"You must add at least 3 points to create a region."});
        QCOMPARE(m_prompt->calls[0].title, QStringLiteral("Draw"));
        m_prompt->calls.clear();
        // Cancel: everything back, nothing stored.
        w->mnuCancelAdd->trigger();
        QCOMPARE(enabledCommands(w), idle);
        QVERIFY(w->List1->isEnabled());
        QVERIFY(!w->mnuCancelAdd->isVisible() && !w->mnuSep->isVisible());
        QCOMPARE(w->ZVMap1->PolyCount(), 0);
        QCOMPARE(w->ZVMap1->mode(), ZVMap::Mode::Normal);
        QCOMPARE(CountRows("Tunnels"), 0);
        QVERIFY(m_prompt->calls.isEmpty());
    }

    void drawAndNameATunnel_data()
    {
        QTest::addColumn<QStringList>("answers");  // "" cancels
        QTest::addColumn<QString>("name");         // "" when none is added
        QTest::addColumn<int>("messages");
        QTest::newRow("plain name") << QStringList{"North Bore"} << "North Bore" << 0;
        QTest::newRow("quote in the name") << QStringList{"O'Hare"} << "O'Hare" << 0;
        QTest::newRow("empty answer") << QStringList{""} << "" << 0;
        QTest::newRow("cancelled") << QStringList{QString()} << "" << 0;
        // A name that is no folder name is refused before anything is written, and asked again.
        QTest::newRow("separator, then a good name") << QStringList{"a/b", "..", "Ab"} << "Ab" << 2;
        QTest::newRow("parent folder, then given up") << QStringList{"../up", ""} << "" << 1;
    }
    void drawAndNameATunnel()
    {
        QFETCH(QStringList, answers);
        QFETCH(QString, name);
        QFETCH(int, messages);
        FixtureSystem(QStringLiteral("Metro"));
        gConn.exec("UPDATE System SET SystemPicture = 'map.bmp'");
        auto* w = new frmSystem;
        w->show();
        for (const QString& a : answers) {
            a.isNull() ? m_prompt->answerCancel() : m_prompt->answerText(a);
            if (!a.isEmpty() && !IsPlainFolderName(a))
                m_prompt->answer(MsgAnswer::Ok);  // the refusal's message
        }
        QTest::mouseClick(w->cmdAddTunnel, Qt::LeftButton);
        draw(w->ZVMap1, kSquare);
        QCOMPARE(m_prompt->calls[0].text, QStringLiteral("Enter a name for the tunnel:"));
        QCOMPARE(m_prompt->calls[0].title, QStringLiteral("Metro Tunnel System"));
        QCOMPARE(m_prompt->calls[0].initial, QString());
        QCOMPARE(m_prompt->messages().size(), messages);
        QVERIFY(!w->mnuCancelAdd->isVisible());
        QVERIFY(w->List1->isEnabled() && w->cmdAddTunnel->isEnabled());
        QCOMPARE(w->ZVMap1->mode(), ZVMap::Mode::Normal);
        if (name.isEmpty()) {
            QCOMPARE(CountRows("Tunnels"), 0);
            QCOMPARE(CountRows("TunnelCoord"), 0);
            QCOMPARE(w->ZVMap1->PolyCount(), 0);
            QCOMPARE(w->List1->count(), 0);
            QCOMPARE(QDir(m_data).entryList(QDir::Dirs | QDir::NoDotAndDotDot), QStringList());
            QVERIFY(!QFileInfo::exists(m_install->file("up")));
            return;
        }
        const qint32 id = gConn.scalar("SELECT TunnelID FROM Tunnels").toInt();
        QCOMPARE(Rows("SELECT TunnelID, SystemID, TunnelName FROM Tunnels"),
                 QStringList{QStringLiteral("%1|%2|%3").arg(id).arg(gSystemID).arg(name)});
        QCOMPARE(stored(id), kSquare);
        QCOMPARE(outlineOnMap(w->ZVMap1, id), kSquare);
        QCOMPARE(listRows(w->List1), QStringList{QStringLiteral("%1=%2").arg(name).arg(id)});
        QVERIFY(QFileInfo(m_data + name).isDir());
    }

    void newTunnelFolders()
    {
        FixtureSystem(QStringLiteral("Metro"));
        gConn.exec("UPDATE System SET SystemPicture = 'map.bmp'");
        // A folder left by a removed tunnel is taken over; a file in the way keeps the
        // tunnel, which is still listed and drawn, and says so.
        QDir().mkpath(m_data + "Old");
        m_install->write("Data/Old/photo.jpg", "x");
        m_install->write("Data/Blocked", "a file");
        auto* w = new frmSystem;
        w->show();
        m_prompt->answerText("Old");
        QTest::mouseClick(w->cmdAddTunnel, Qt::LeftButton);
        draw(w->ZVMap1, kSquare);
        QVERIFY(m_prompt->messages().isEmpty());
        QVERIFY(QFileInfo::exists(m_data + "Old/photo.jpg"));
        m_prompt->answerText("Blocked");
        QTest::mouseClick(w->cmdAddTunnel, Qt::LeftButton);
        draw(w->ZVMap1, kTriangle);
        QCOMPARE(m_prompt->messages(), QStringList{"Error identifying new tunnel on map"});
        QVERIFY(m_install->read("err.log").contains("frmSystem-Error identifying new tunnel on map"));
        QCOMPARE(Rows("SELECT TunnelName FROM Tunnels ORDER BY TunnelID"), (QStringList{"Old", "Blocked"}));
        QCOMPARE(w->List1->count(), 2);
        QCOMPARE(w->ZVMap1->PolyCount(), 2);
        QVERIFY(!w->mnuCancelAdd->isVisible());
        QVERIFY(w->cmdAddTunnel->isEnabled());
    }

    void failedAddKeepsNothing()
    {
        FixtureSystem(QStringLiteral("Metro"));
        gConn.exec("UPDATE System SET SystemPicture = 'map.bmp'");
        FailWhen("nocoord", "INSERT", "TunnelCoord", "NEW.CoordIndex = 3");
        auto* w = new frmSystem;
        w->show();
        m_prompt->answerText("North");
        QTest::mouseClick(w->cmdAddTunnel, Qt::LeftButton);
        draw(w->ZVMap1, kSquare);
        QCOMPARE(m_prompt->messages(), QStringList{"Error identifying new tunnel on map"});
        QCOMPARE(CountRows("Tunnels"), 0);
        QCOMPARE(CountRows("TunnelCoord"), 0);
        QCOMPARE(w->ZVMap1->PolyCount(), 0);
        QCOMPARE(w->List1->count(), 0);
        QVERIFY(!QFileInfo::exists(m_data + "North"));
        QVERIFY(w->cmdAddTunnel->isEnabled() && !w->mnuCancelAdd->isVisible());
    }

    void redrawReplacesTheOutlineWhole()
    {
        FixtureSystem(QStringLiteral("Metro"));
        gConn.exec("UPDATE System SET SystemPicture = 'map.bmp'");
        const qint32 t = DbAddTunnel(QStringLiteral("North"), kSquare);
        const qint32 other = DbAddTunnel(QStringLiteral("South"), kTriangle);
        auto* w = new frmSystem;
        w->show();
        QTest::mouseClick(w->cmdRedraw, Qt::LeftButton);
        QCOMPARE(m_prompt->messages(), QStringList{"Please select a tunnel from the list."});
        m_prompt->calls.clear();
        selectRow(w->List1, "North");
        QTest::mouseClick(w->cmdRedraw, Qt::LeftButton);
        QCOMPARE(w->RedrawTunnelID(), t);
        QCOMPARE(outlineOnMap(w->ZVMap1, t), Outline());
        QVERIFY(!w->mnuCancelAdd->isVisible());  // a redraw runs to its end
        QVERIFY(!w->cmdAddTunnel->isEnabled());
        const Outline fresh = {{300, 2100}, {900, 2100}, {600, 2700}};
        draw(w->ZVMap1, fresh);
        QVERIFY(m_prompt->calls.isEmpty());  // no name asked
        QCOMPARE(stored(t), fresh);
        QCOMPARE(outlineOnMap(w->ZVMap1, t), fresh);
        QCOMPARE(stored(other), kTriangle);
        QCOMPARE(w->RedrawTunnelID(), -1);
        QVERIFY(w->cmdAddTunnel->isEnabled());
        // The next drawing is a new tunnel again.
        m_prompt->answerText("East");
        QTest::mouseClick(w->cmdAddTunnel, Qt::LeftButton);
        draw(w->ZVMap1, kSquare);
        QCOMPARE(m_prompt->count(PromptCall::Input), 1);
        QCOMPARE(CountRows("Tunnels"), 3);
    }

    void failedRedrawKeepsTheStoredOutline()
    {
        FixtureSystem(QStringLiteral("Metro"));
        gConn.exec("UPDATE System SET SystemPicture = 'map.bmp'");
        const qint32 t = DbAddTunnel(QStringLiteral("North"), kSquare);
        FailWhen("nocoord", "INSERT", "TunnelCoord", "NEW.CoordIndex = 2");
        auto* w = new frmSystem;
        w->show();
        selectRow(w->List1, "North");
        QTest::mouseClick(w->cmdRedraw, Qt::LeftButton);
        draw(w->ZVMap1, kTriangle);
        QCOMPARE(m_prompt->messages(), QStringList{"Error identifying new tunnel on map"});
        QCOMPARE(stored(t), kSquare);
        QCOMPARE(w->ZVMap1->PolyCount(), 1);
        QCOMPARE(outlineOnMap(w->ZVMap1, t), kSquare);
        QCOMPARE(w->RedrawTunnelID(), -1);
        QVERIFY(w->cmdAddTunnel->isEnabled());
    }

    void moveAnOutline_data()
    {
        QTest::addColumn<bool>("fail");
        QTest::newRow("stored") << false;
        QTest::newRow("store fails") << true;
    }
    void moveAnOutline()
    {
        QFETCH(bool, fail);
        FixtureSystem(QStringLiteral("Metro"));
        gConn.exec("UPDATE System SET SystemPicture = 'map.bmp'");
        auto* w0 = new frmSystem;
        w0->show();
        QTest::mouseClick(w0->cmdMove, Qt::LeftButton);
        QCOMPARE(m_prompt->messages(), QStringList{"Please add a tunnel before attempting this operation."});
        w0->Unload();
        m_prompt->calls.clear();

        const qint32 t = DbAddTunnel(QStringLiteral("North"), kSquare);
        if (fail)
            FailWhen("nocoord", "INSERT", "TunnelCoord", "NEW.CoordIndex = 4");
        auto* w = new frmSystem;
        w->show();
        QTest::mouseClick(w->cmdMove, Qt::LeftButton);
        QVERIFY(w->mnuCancelAdd->isVisible() && !w->cmdMove->isEnabled());
        press(*w->ZVMap1, 900, 900);
        move(*w->ZVMap1, 1200, 1050, Qt::LeftButton);
        release(*w->ZVMap1, 1200, 1050);
        Outline moved = kSquare;
        for (auto& p : moved) {
            p.x += 300;
            p.y += 150;
        }
        QCOMPARE(stored(t), fail ? kSquare : moved);
        QCOMPARE(outlineOnMap(w->ZVMap1, t), fail ? kSquare : moved);
        QCOMPARE(m_prompt->messages(), fail ? QStringList{"Error moving tunnel on map"} : QStringList());
        // Unlocked either way.
        QVERIFY(!w->mnuCancelAdd->isVisible() && w->cmdMove->isEnabled() && w->List1->isEnabled());
    }

    void pointToolsStoreTheOutline()
    {
        FixtureSystem(QStringLiteral("Metro"));
        gConn.exec("UPDATE System SET SystemPicture = 'map.bmp'");
        const qint32 t = DbAddTunnel(QStringLiteral("North"), kSquare);
        auto* w = new frmSystem;
        w->show();
        w->mnuCoordDel->trigger();
        QVERIFY(w->mnuCancelAdd->isVisible() && !w->cmdRemove->isEnabled());
        click(*w->ZVMap1, 1800, 1800);
        const Outline three = {{600, 600}, {1800, 600}, {600, 1800}};
        QCOMPARE(stored(t), three);
        QVERIFY(!w->mnuCancelAdd->isVisible() && w->cmdRemove->isEnabled());

        w->mnuCoordMove->trigger();
        press(*w->ZVMap1, 600, 600);
        move(*w->ZVMap1, 450, 300, Qt::LeftButton);
        release(*w->ZVMap1, 450, 300);
        QCOMPARE(stored(t), (Outline{{450, 300}, {1800, 600}, {600, 1800}}));
        QVERIFY(w->cmdRemove->isEnabled());

        // Cancel ends a point tool with nothing stored.
        w->mnuCoordAdd->trigger();
        w->mnuCancelAdd->trigger();
        QCOMPARE(w->ZVMap1->mode(), ZVMap::Mode::Normal);
        QCOMPARE(stored(t), (Outline{{450, 300}, {1800, 600}, {600, 1800}}));
        QVERIFY(m_prompt->calls.isEmpty());
    }

    // ---------------------------------------------------------------- selecting, copy and paste

    void mapClickSelectsAndCopyPastes()
    {
        FixtureSystem(QStringLiteral("Metro"));
        gConn.exec("UPDATE System SET SystemPicture = 'map.bmp'");
        const qint32 a = DbAddTunnel(QStringLiteral("North"), kSquare);
        DbAddTunnel(QStringLiteral("South"), kTriangle);
        auto* w = new frmSystem;
        w->show();
        click(*w->ZVMap1, 900, 900);
        QCOMPARE(w->ClickedTunnelID(), a);
        QCOMPARE(w->SelectedTunnelID(), a);
        QVERIFY(w->mnuCopy->isEnabled());
        QVERIFY(!w->mnuPaste->isEnabled());
        w->mnuCopy->trigger();
        QVERIFY(w->mnuPaste->isEnabled());

        m_prompt->answerText("North Copy");
        w->mnuPaste->trigger();
        QCOMPARE(m_prompt->calls[0].title, QStringLiteral("Metro Tunnel System"));
        QCOMPARE(w->List1->count(), 3);
        const qint32 copy = w->List1->item(2)->data(Qt::UserRole).toInt();
        QCOMPARE(w->List1->item(2)->text(), QStringLiteral("North Copy"));
        // At the top-left of the visible picture at once.
        const Outline first = {{0, 0}, {1200, 0}, {1200, 1200}, {0, 1200}};
        QCOMPARE(stored(copy), first);
        QCOMPARE(outlineOnMap(w->ZVMap1, copy), first);
        QCOMPARE(w->ZVMap1->mode(), ZVMap::Mode::MovePoly);
        // Then dragged into place.
        press(*w->ZVMap1, 300, 300);
        move(*w->ZVMap1, 3300, 2400, Qt::LeftButton);
        release(*w->ZVMap1, 3300, 2400);
        QCOMPARE(stored(copy), (Outline{{3000, 2100}, {4200, 2100}, {4200, 3300}, {3000, 3300}}));
        QCOMPARE(stored(a), kSquare);
        QVERIFY(!QFileInfo::exists(m_data + "North Copy"));  // no folder for a paste
        QVERIFY(m_prompt->messages().isEmpty());
    }

    void pasteWithNothingCopied()
    {
        FixtureSystem(QStringLiteral("Metro"));
        gConn.exec("UPDATE System SET SystemPicture = 'map.bmp'");
        DbAddTunnel(QStringLiteral("North"), kSquare);
        auto* w = new frmSystem;
        w->show();
        click(*w->ZVMap1, 900, 900);
        // Any edit then offers Paste.
        w->mnuCoordMove->trigger();
        w->mnuCancelAdd->trigger();
        QVERIFY(w->mnuCopy->isEnabled() && w->mnuPaste->isEnabled());
        m_prompt->answerText("Empty");
        w->mnuPaste->trigger();
        QCOMPARE(Rows("SELECT TunnelName FROM Tunnels ORDER BY TunnelID"), (QStringList{"North", "Empty"}));
        QCOMPARE(w->List1->count(), 2);
        QCOMPARE(w->ZVMap1->PolyCount(), 1);
        QCOMPARE(CountRows("TunnelCoord"), 4);
        // An empty name ends the command.
        w->mnuPaste->trigger();
        QCOMPARE(CountRows("Tunnels"), 2);
        QVERIFY(m_prompt->messages().isEmpty());
    }

    void copyAndPasteOnlyAfterAMapClick()
    {
        FixtureSystem(QStringLiteral("Metro"));
        gConn.exec("UPDATE System SET SystemPicture = 'map.bmp'");
        DbAddTunnel(QStringLiteral("North"), kSquare);
        auto* w = new frmSystem;
        w->show();
        selectRow(w->List1, "North");  // a list pick is no map click
        w->mnuCoordMove->trigger();
        w->mnuCancelAdd->trigger();
        QVERIFY(!w->mnuCopy->isEnabled() && !w->mnuPaste->isEnabled());
    }

    // ---------------------------------------------------------------- removing and renaming

    void removeTheSelectedTunnel()
    {
        FixtureSystem(QStringLiteral("Metro"));
        gConn.exec("UPDATE System SET SystemPicture = 'map.bmp'");
        const qint32 keep = DbAddTunnel(QStringLiteral("Rated"), kTriangle);
        DbAddTunnel(QStringLiteral("North"), kSquare);
        const qint32 panel = DbAddPanel(keep, QStringLiteral("P1"));
        const qint32 period = FixturePeriod(keep, 2020);
        gConn.exec("INSERT INTO Ratings (InspectionID, PanelID, ElementID, Rating) VALUES (?, ?, 1, 7)", {period, panel});
        QDir().mkpath(m_data + "North");
        auto* w = new frmSystem;
        w->show();
        QTest::mouseClick(w->cmdRemove, Qt::LeftButton);
        QCOMPARE(m_prompt->messages(), QStringList{"Please select a tunnel from the list."});

        m_prompt->calls.clear();
        selectRow(w->List1, "Rated");
        QTest::mouseClick(w->cmdRemove, Qt::LeftButton);
        QCOMPARE(m_prompt->messages(), QStringList{"Unable to remove tunnel.  Ratings data exists."});
        QCOMPARE(w->List1->count(), 2);
        QCOMPARE(w->ZVMap1->PolyCount(), 2);

        m_prompt->calls.clear();
        selectRow(w->List1, "North");
        m_prompt->answer(MsgAnswer::Yes);
        QTest::mouseClick(w->cmdRemove, Qt::LeftButton);
        QCOMPARE(m_prompt->messages(), QStringList{"Are you sure you want to remove North?"});
        QCOMPARE(Rows("SELECT TunnelName FROM Tunnels"), QStringList{"Rated"});
        QCOMPARE(CountRows("TunnelCoord"), 3);
        QCOMPARE(listRows(w->List1), QStringList{QStringLiteral("Rated=%1").arg(keep)});
        QCOMPARE(w->ZVMap1->PolyCount(), 1);
        QVERIFY(QFileInfo(m_data + "North").isDir());  // the folder stays
    }

    // The panel windows of a removed tunnel close, so none can store panels or elements for
    // it; another tunnel's window stays.
    void removingATunnelClosesItsWindows()
    {
        FixtureSystem(QStringLiteral("Metro"));
        gConn.exec("UPDATE System SET SystemPicture = 'map.bmp'");
        const qint32 north = DbAddTunnel(QStringLiteral("North"), kSquare);
        const qint32 south = DbAddTunnel(QStringLiteral("South"), kTriangle);
        for (qint32 id : {north, south}) {
            const QString name = id == north ? QStringLiteral("North") : QStringLiteral("South");
            QDir().mkpath(m_data + name);
            writePicture(m_data + name + "/bore.bmp");
            DbSetTunnelPicture(id, QStringLiteral("bore.bmp"));
            DbSavePanelCoords(DbAddPanel(id, QStringLiteral("P1")), kSquare);
        }
        auto* w = new frmSystem;
        w->show();
        (new frmTunnelSpecs)->LoadForm(north);
        (new frmPanelElements)->LoadForm(south);
        QVERIFY(IsFormLoaded(QStringLiteral("frmTunnelSpecs")) && IsFormLoaded(QStringLiteral("frmPanelElements")));

        selectRow(w->List1, "North");
        m_prompt->answer(MsgAnswer::Yes);
        QTest::mouseClick(w->cmdRemove, Qt::LeftButton);
        QCOMPARE(Rows("SELECT TunnelName FROM Tunnels"), QStringList{"South"});
        QVERIFY(!IsFormLoaded(QStringLiteral("frmTunnelSpecs")));
        QVERIFY(IsFormLoaded(QStringLiteral("frmPanelElements")));

        selectRow(w->List1, "South");
        m_prompt->answer(MsgAnswer::Yes);
        QTest::mouseClick(w->cmdRemove, Qt::LeftButton);
        QVERIFY(!IsFormLoaded(QStringLiteral("frmPanelElements")));
        QCOMPARE(w->List1->count(), 0);
        QVERIFY(IsFormLoaded(QStringLiteral("frmSystem")));
    }

    void renameWithItsFolder_data()
    {
        QTest::addColumn<bool>("oldFolder");
        QTest::addColumn<bool>("newFolder");
        QTest::addColumn<QString>("newName");
        QTest::newRow("folder renamed") << true << false << "North Bore";
        QTest::newRow("both folders exist") << true << true << "North Bore";
        QTest::newRow("old folder missing") << false << false << "O'Neil";
        QTest::newRow("old missing, new exists") << false << true << "North Bore";
        QTest::newRow("same name") << true << false << "North";
    }
    void renameWithItsFolder()
    {
        QFETCH(bool, oldFolder);
        QFETCH(bool, newFolder);
        QFETCH(QString, newName);
        FixtureSystem(QStringLiteral("Metro"));
        const qint32 t = DbAddTunnel(QStringLiteral("North"), kSquare);
        if (oldFolder) {
            QDir().mkpath(m_data + "North/2020/photo");
            m_install->write("Data/North/2020/photo/a.jpg", "old");
        }
        if (newFolder) {
            QDir().mkpath(m_data + newName);
            m_install->write("Data/" + newName + "/b.jpg", "new");
        }
        auto* w = new frmSystem;
        w->show();
        selectRow(w->List1, "North");
        m_prompt->answerText(newName);
        QTest::mouseClick(w->cmdRename, Qt::LeftButton);
        QCOMPARE(m_prompt->calls[0].text, QStringLiteral("Change North to:"));
        QCOMPARE(m_prompt->calls[0].title, QStringLiteral("Rename"));
        QCOMPARE(m_prompt->calls[0].initial, QStringLiteral("North"));
        QCOMPARE(m_prompt->messages(), QStringList());
        QCOMPARE(Rows("SELECT TunnelName FROM Tunnels WHERE TunnelID = ?", {t}), QStringList{newName});
        QCOMPARE(w->List1->item(0)->text(), newName);
        QVERIFY(QFileInfo(m_data + newName).isDir());
        QCOMPARE(QFileInfo::exists(m_data + newName + "/2020/photo/a.jpg"), oldFolder && (!newFolder || newName == "North"));
        QCOMPARE(QFileInfo::exists(m_data + newName + "/b.jpg"), newFolder);
        if (newName != "North")
            QCOMPARE(QFileInfo::exists(m_data + "North"), oldFolder && newFolder);
    }

    void renameRefusalsChangeNothing_data()
    {
        QTest::addColumn<QVariant>("answer");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("failDatabase");
        QTest::newRow("cancelled") << QVariant() << "" << false;
        QTest::newRow("empty") << QVariant("") << "" << false;
        QTest::newRow("a path") << QVariant("../../etc") << "refused" << false;
        QTest::newRow("a file in the way") << QVariant("Blocked") << "Error renaming tunnel" << false;
        // The folder goes back with the name, so media paths keep working.
        QTest::newRow("database fails") << QVariant("South") << "Error renaming tunnel" << true;
    }
    void renameRefusalsChangeNothing()
    {
        QFETCH(QVariant, answer);
        QFETCH(QString, message);
        QFETCH(bool, failDatabase);
        FixtureSystem(QStringLiteral("Metro"));
        DbAddTunnel(QStringLiteral("North"), kSquare);
        QDir().mkpath(m_data + "North");
        m_install->write("Data/North/a.jpg", "old");
        m_install->write("Data/Blocked", "a file");
        if (answer.toString() == "Blocked")
            QDir(m_data + "North").removeRecursively();
        if (failDatabase)
            FailWhen("norename", "UPDATE", "Tunnels", "1");
        auto* w = new frmSystem;
        w->show();
        selectRow(w->List1, "North");
        m_prompt->answers.enqueue(answer);
        QTest::mouseClick(w->cmdRename, Qt::LeftButton);
        const QStringList shown = m_prompt->messages();
        if (message.isEmpty())
            QCOMPARE(shown, QStringList());
        else if (message == "refused")
            QVERIFY(shown.size() == 1 && shown[0].startsWith("The tunnel name \"../../etc\" cannot be used"));
        else
            QCOMPARE(shown, QStringList{message});
        QCOMPARE(Rows("SELECT TunnelName FROM Tunnels"), QStringList{"North"});
        QCOMPARE(w->List1->item(0)->text(), QStringLiteral("North"));
        if (answer.toString() != "Blocked")
            QCOMPARE(m_install->read("Data/North/a.jpg"), QByteArray("old"));
        QVERIFY(!QFileInfo::exists(m_data + "South"));
        QCOMPARE(m_install->read("Data/Blocked"), QByteArray("a file"));
    }

    // Two tunnels of one name would share one media folder.
    void duplicateTunnelNamesAreRefused()
    {
        FixtureSystem(QStringLiteral("Metro"));
        DbAddTunnel(QStringLiteral("North"), kSquare);
        DbAddTunnel(QStringLiteral("South Bore"), kSquare);
        QDir().mkpath(m_data + "North");
        auto* w = new frmSystem;
        w->show();
        selectRow(w->List1, "North");
        m_prompt->answerText("SOUTH bore");
        QTest::mouseClick(w->cmdRename, Qt::LeftButton);
        QCOMPARE(m_prompt->messages(),
                 QStringList{"A tunnel named \"SOUTH bore\" already exists.  Please enter another name."});
        QCOMPARE(Rows("SELECT TunnelName FROM Tunnels ORDER BY TunnelID"), (QStringList{"North", "South Bore"}));
        QVERIFY(QFileInfo(m_data + "North").isDir());

        // The tunnel's own name in another case is no duplicate.
        selectRow(w->List1, "North");
        m_prompt->answerText("NORTH");
        QTest::mouseClick(w->cmdRename, Qt::LeftButton);
        QCOMPARE(Rows("SELECT TunnelName FROM Tunnels ORDER BY TunnelID"), (QStringList{"NORTH", "South Bore"}));
    }

    // ---------------------------------------------------------------- another user on the same file

    // Another user gave a tunnel the name after the window looked: adding and renaming look
    // again inside their transaction and refuse, nothing written and no folder moved.
    void aNameTakenMeanwhileIsRefusedInsideTheSave()
    {
        FixtureSystem(QStringLiteral("Metro"));
        const qint32 north = DbAddTunnel(QStringLiteral("North"), kSquare);
        QDir().mkpath(m_data + "North");
        QCOMPARE(RunSqliteShell(m_install->dbPath(),
                                QStringLiteral("INSERT INTO Tunnels (SystemID, TunnelName) VALUES (%1, 'WEST')").arg(gSystemID)),
                 QString());
        QVERIFY_THROWS_EXCEPTION(TunnelNameTaken, DbAddTunnel(QStringLiteral("west"), kSquare));
        QVERIFY_THROWS_EXCEPTION(TunnelNameTaken, RenameTunnelAndFolder(north, QStringLiteral("North"),
                                                                        QStringLiteral("North"), QStringLiteral("West")));
        QCOMPARE(Rows("SELECT TunnelName FROM Tunnels ORDER BY TunnelID"), (QStringList{"North", "WEST"}));
        QCOMPARE(Rows("SELECT count(*) FROM TunnelCoord"), QStringList{QString::number(kSquare.size())});
        QVERIFY(QFileInfo(m_data + "North").isDir());
        QVERIFY(!QFileInfo::exists(m_data + "West"));
    }


    // Another program changed or removed North after the window loaded it: an outline edit asks
    // before replacing theirs (No and Cancel show theirs), and a removed tunnel gets nothing and
    // leaves the window.
    void anOutlineEditOverAnotherUsersChange_data()
    {
        QTest::addColumn<bool>("redraw");  // else a move
        QTest::addColumn<QString>("other");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("kept");  // mine, theirs or none
        QTest::addColumn<QString>("message");
        const QString change = "UPDATE TunnelCoord SET TunnelX = TunnelX + 100 WHERE TunnelID = %1";
        const QString remove = "DELETE FROM TunnelCoord WHERE TunnelID = %1; DELETE FROM Tunnels WHERE TunnelID = %1";
        const QString asked =
            "The outline of tunnel North was changed by another user after you opened it. Replace it with yours?";
        const QString told = "The tunnel North was removed by another user; nothing was saved for it.";
        QTest::newRow("move, yes") << false << change << int(MsgAnswer::Yes) << "mine" << asked;
        QTest::newRow("move, no") << false << change << int(MsgAnswer::No) << "theirs" << asked;
        QTest::newRow("redraw, cancel") << true << change << int(MsgAnswer::Cancel) << "theirs" << asked;
        QTest::newRow("move, tunnel removed") << false << remove << 0 << "none" << told;
        QTest::newRow("redraw, tunnel removed") << true << remove << 0 << "none" << told;
    }
    void anOutlineEditOverAnotherUsersChange()
    {
        QFETCH(bool, redraw);
        QFETCH(QString, other);
        QFETCH(int, answer);
        QFETCH(QString, kept);
        QFETCH(QString, message);
        FixtureSystem(QStringLiteral("Metro"));
        gConn.exec("UPDATE System SET SystemPicture = 'map.bmp'");
        const qint32 t = DbAddTunnel(QStringLiteral("North"), kSquare);
        const qint32 south = DbAddTunnel(QStringLiteral("South"), kTriangle);
        auto* w = new frmSystem;
        w->show();
        QCOMPARE(RunSqliteShell(m_install->dbPath(), other.arg(t)), QString());
        if (answer)
            m_prompt->answer(MsgAnswer(answer));
        const Outline fresh = {{300, 2100}, {900, 2100}, {600, 2700}};
        Outline mine = kSquare;
        if (redraw) {
            selectRow(w->List1, "North");
            QTest::mouseClick(w->cmdRedraw, Qt::LeftButton);
            draw(w->ZVMap1, fresh);
            mine = fresh;
        } else {
            QTest::mouseClick(w->cmdMove, Qt::LeftButton);
            press(*w->ZVMap1, 900, 900);
            move(*w->ZVMap1, 1200, 1050, Qt::LeftButton);
            release(*w->ZVMap1, 1200, 1050);
            for (auto& p : mine)
                p = {p.x + 300, p.y + 150};
        }
        QCOMPARE(m_prompt->messages(), QStringList{message});
        Outline theirs = kSquare;
        for (auto& p : theirs)
            p.x += 100;
        const Outline expected = kept == QLatin1String("mine")     ? mine
                                 : kept == QLatin1String("theirs") ? theirs
                                                                   : Outline();
        QCOMPARE(stored(t), expected);
        QCOMPARE(outlineOnMap(w->ZVMap1, t), expected);
        QCOMPARE(stored(south), kTriangle);
        QCOMPARE(listRows(w->List1).size(), kept == QLatin1String("none") ? 1 : 2);
        QVERIFY(w->cmdAddTunnel->isEnabled() && w->List1->isEnabled());
    }

    // Another program renamed North (its folder too) or removed it while the rename's input box
    // was open: Yes takes the folder of the stored name along, No shows theirs, and a removed
    // tunnel gets no rename and no folder.
    // Another program changes a value of the System row after the window loaded it; the window's
    // own change of that value asks (Yes writes it, No shows theirs); a value of another column the
    // other user changed is left alone.
    void systemValuesOverAnotherUsersChange_data()
    {
        QTest::addColumn<QString>("column");
        QTest::addColumn<QString>("theirs");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("question");
        const QString q = "The tunnel system's %1 was changed by another user after you opened it: it is now %2, yours "
                          "is %3. Replace it with yours?";
        const QString name = q.arg("name", "\"Theirs\"", "\"Metrox\"");
        QTest::newRow("name yes") << "SystemName" << "'Theirs'" << int(MsgAnswer::Yes) << "Metrox" << name;
        QTest::newRow("name no") << "SystemName" << "'Theirs'" << int(MsgAnswer::No) << "Theirs" << name;
        QTest::newRow("width yes") << "DrawWidth" << "6" << int(MsgAnswer::Yes) << "4" << q.arg("border width", "6", "4");
        QTest::newRow("width no") << "DrawWidth" << "6" << int(MsgAnswer::No) << "6" << q.arg("border width", "6", "4");
        QTest::newRow("colour no") << "SystemForeground" << "255" << int(MsgAnswer::No) << "255"
                                   << q.arg("border colour", "#ff0000", "#00ff00");
        // Both made the same change: nothing to ask.
        QTest::newRow("compare, same") << "View" << "1" << int(MsgAnswer::No) << "1" << QString();
        QTest::newRow("warning yes") << "WarningHighlight" << "7" << int(MsgAnswer::Yes) << "6"
                                     << q.arg("warning limit", "7", "6");
        QTest::newRow("warning no") << "WarningHighlight" << "7" << int(MsgAnswer::No) << "7"
                                    << q.arg("warning limit", "7", "6");
    }
    void systemValuesOverAnotherUsersChange()
    {
        QFETCH(QString, column);
        QFETCH(QString, theirs);
        QFETCH(int, answer);
        QFETCH(QString, stored);
        QFETCH(QString, question);
        FixtureSystem(QStringLiteral("Metro"));
        gConn.exec("UPDATE System SET DrawWidth = 2, SystemForeground = 9, View = 0, WarningHighlight = 5, "
                   "CriticalHighlight = 3");
        auto* w = new frmSystem;
        w->show();
        // The other user changes this column and the critical limit, which this window leaves alone.
        QCOMPARE(RunSqliteShell(m_install->dbPath(),
                                QStringLiteral("UPDATE System SET %1 = %2, CriticalHighlight = 2").arg(column, theirs)),
                 QString());
        m_prompt->handler = [&](const PromptCall& c) -> QVariant {
            if (c.kind == PromptCall::Input)
                return QStringLiteral("4");
            if (c.kind == PromptCall::Color)
                return QVariant::fromValue(quint32(0x00FF00));
            return c.buttons == MsgButtons::YesNoCancel ? QVariant(answer) : QVariant();
        };
        if (column == "SystemName") {
            w->txtSysName->setFocus();
            QTest::keyClick(w->txtSysName, Qt::Key_End);
            QTest::keyClick(w->txtSysName, Qt::Key_X);
            QCOMPARE(w->txtSysName->text(), stored);
        } else if (column == "DrawWidth") {
            w->mnuBorderWidth->trigger();
            QCOMPARE(int(w->ZVMap1->DrawWidth()), qMin(stored.toInt(), 5));  // the map draws 5 at most
        } else if (column == "SystemForeground") {
            w->mnuColor->trigger();
            QCOMPARE(w->ZVMap1->ForeColor(), stored.toUInt());
        } else if (column == "View") {
            QTest::mouseClick(w->chkCompare, Qt::LeftButton);
            QCOMPARE(w->chkCompare->isChecked(), stored == "1");
        } else {
            w->cboWarningHL->setCurrentIndex(w->cboWarningHL->findText("6"));
            emit w->cboWarningHL->activated(w->cboWarningHL->currentIndex());
            QCOMPARE(w->cboWarningHL->currentText(), stored);
            QCOMPARE(gWarningHighlight, stored.toInt());
        }
        QCOMPARE(m_prompt->messages(), question.isEmpty() ? QStringList() : QStringList{question});
        QCOMPARE(Rows(QStringLiteral("SELECT %1, CriticalHighlight FROM System").arg(column)),
                 QStringList{stored + "|2"});
        // Asked once: from now on the window's value is the one it knows.
        if (column == "SystemName") {
            QTest::keyClick(w->txtSysName, Qt::Key_Y);
            QCOMPARE(Rows("SELECT SystemName FROM System"), QStringList{stored + "y"});
            QCOMPARE(m_prompt->messages().size(), 1);
        }
    }

    // A System value the window shows otherwise than stored (a real width shown whole, no colour
    // shown black, a real or missing limit shown as a whole number): giving the field back what
    // it showed writes nothing and asks nothing, nor overwrites another user's change meanwhile.
    void untouchedSystemValuesWriteNothing_data()
    {
        QTest::addColumn<QString>("column");
        QTest::addColumn<QString>("stored");  // as SQL
        QTest::addColumn<QString>("theirs");  // as SQL; empty: nobody else writes
        QTest::addColumn<QString>("read");    // as Rows() reads it back
        QTest::newRow("real width") << "DrawWidth" << "2.4" << "" << "2.4";
        QTest::newRow("real width, theirs") << "DrawWidth" << "2.4" << "6" << "6";
        QTest::newRow("no colour") << "SystemForeground" << "NULL" << "" << "<null>";
        QTest::newRow("no colour, theirs") << "SystemForeground" << "NULL" << "255" << "255";
        QTest::newRow("real critical limit") << "CriticalHighlight" << "2.6" << "" << "2.6";
        QTest::newRow("real critical limit, theirs") << "CriticalHighlight" << "2.6" << "1" << "1";
        QTest::newRow("no warning limit") << "WarningHighlight" << "NULL" << "" << "<null>";
        QTest::newRow("no warning limit, theirs") << "WarningHighlight" << "NULL" << "8" << "8";
    }
    void untouchedSystemValuesWriteNothing()
    {
        QFETCH(QString, column);
        QFETCH(QString, stored);
        QFETCH(QString, theirs);
        QFETCH(QString, read);
        FixtureSystem(QStringLiteral("Metro"));
        gConn.exec(QStringLiteral("UPDATE System SET %1 = %2").arg(column, stored));
        auto* w = new frmSystem;
        w->show();
        if (!theirs.isEmpty())
            QCOMPARE(RunSqliteShell(m_install->dbPath(), QStringLiteral("UPDATE System SET %1 = %2").arg(column, theirs)),
                     QString());
        const qint64 changes = gConn.scalar(QStringLiteral("SELECT total_changes()")).toLongLong();
        m_prompt->handler = [&](const PromptCall& c) -> QVariant {
            if (c.kind == PromptCall::Input)
                return QStringLiteral("2");  // the width the window showed
            if (c.kind == PromptCall::Color)
                return QVariant::fromValue(quint32(0));  // the black it showed
            return QVariant();
        };
        if (column == "DrawWidth") {
            w->mnuBorderWidth->trigger();
        } else if (column == "SystemForeground") {
            w->mnuColor->trigger();
        } else {
            QComboBox* box = column == "CriticalHighlight" ? w->cboCriticalHL : w->cboWarningHL;
            const QString shown = box->currentText();
            QCOMPARE(shown, column == "CriticalHighlight" ? QStringLiteral("3") : QStringLiteral("5"));  // 2.6 shown rounded
            emit box->activated(box->currentIndex());
        }
        QCOMPARE(m_prompt->messages(), QStringList());
        QCOMPARE(Rows(QStringLiteral("SELECT %1 FROM System").arg(column)), QStringList{read});
        QCOMPARE(gConn.scalar(QStringLiteral("SELECT total_changes()")).toLongLong(), changes);
    }

    void aRenameOverAnotherUsersChange_data()
    {
        QTest::addColumn<QString>("other");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("name");  // stored afterwards, "" for none
        QTest::addColumn<QStringList>("list");
        QTest::addColumn<QStringList>("folders");
        QTest::addColumn<QString>("message");
        const QString asked =
            "The name of tunnel North was changed by another user after you opened it: it is now \"East\", yours is "
            "\"West\". Replace it with yours?";
        QTest::newRow("yes") << "rename" << int(MsgAnswer::Yes) << "West" << QStringList{"South", "West"}
                             << QStringList{"West"} << asked;
        QTest::newRow("no") << "rename" << int(MsgAnswer::No) << "East" << QStringList{"East", "South"}
                            << QStringList{"East"} << asked;
        QTest::newRow("removed") << "remove" << 0 << "" << QStringList{"South"} << QStringList{"North"}
                                 << "The tunnel North was removed by another user; nothing was saved for it.";
    }
    void aRenameOverAnotherUsersChange()
    {
        QFETCH(QString, other);
        QFETCH(int, answer);
        QFETCH(QString, name);
        QFETCH(QStringList, list);
        QFETCH(QStringList, folders);
        QFETCH(QString, message);
        FixtureSystem(QStringLiteral("Metro"));
        const qint32 t = DbAddTunnel(QStringLiteral("North"), kSquare);
        DbAddTunnel(QStringLiteral("South"), kTriangle);
        QDir().mkpath(m_data + "North/2020");
        auto* w = new frmSystem;
        w->show();
        selectRow(w->List1, "North");
        QString shellError;
        m_prompt->handler = [&](const PromptCall& c) -> QVariant {
            if (c.kind != PromptCall::Input)
                return answer && c.buttons == MsgButtons::YesNoCancel ? QVariant(answer) : QVariant();
            if (other == QLatin1String("rename")) {
                shellError = RunSqliteShell(m_install->dbPath(),
                                            QStringLiteral("UPDATE Tunnels SET TunnelName = 'East' WHERE TunnelID = %1").arg(t));
                QDir(m_data).rename("North", "East");  // as that user's program moves it
            } else {
                shellError = RunSqliteShell(m_install->dbPath(), QStringLiteral("DELETE FROM Tunnels WHERE TunnelID = %1").arg(t));
            }
            return QStringLiteral("West");
        };
        QTest::mouseClick(w->cmdRename, Qt::LeftButton);
        QCOMPARE(shellError, QString());
        QCOMPARE(m_prompt->messages(), QStringList{message});
        QCOMPARE(Rows("SELECT TunnelName FROM Tunnels WHERE TunnelID = ?", {t}),
                 name.isEmpty() ? QStringList() : QStringList{name});
        QStringList shown;
        for (int i = 0; i < w->List1->count(); ++i)
            shown << w->List1->item(i)->text();
        shown.sort();
        QCOMPARE(shown, list);
        QStringList made = QDir(m_data).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        QCOMPARE(made, folders);
        QVERIFY(QFileInfo(m_data + folders.first() + "/2020").isDir());  // the media went with it
    }

    // Ratings another user saves while "Are you sure you want to remove North?" is open make
    // the removal refuse: nothing is deleted, nothing is left for no panel.
    void ratingsSavedWhileTheRemovalAsksRefuseIt()
    {
        FixtureSystem(QStringLiteral("Metro"));
        const qint32 t = DbAddTunnel(QStringLiteral("North"), kSquare);
        const qint32 panel = DbAddPanel(t, QStringLiteral("P1"));
        const qint32 period = FixturePeriod(t, 2020);
        auto* w = new frmSystem;
        w->show();
        selectRow(w->List1, "North");
        QString shellError = QStringLiteral("not asked");
        m_prompt->handler = [&](const PromptCall& c) -> QVariant {
            if (c.text != QLatin1String("Are you sure you want to remove North?"))
                return {};
            shellError = RunSqliteShell(m_install->dbPath(),
                                        QStringLiteral("INSERT INTO Ratings (InspectionID, PanelID, ElementID, Rating) "
                                                       "VALUES (%1, %2, 1, 6)")
                                            .arg(period)
                                            .arg(panel));
            return int(MsgAnswer::Yes);
        };
        QTest::mouseClick(w->cmdRemove, Qt::LeftButton);
        QCOMPARE(shellError, QString());
        QCOMPARE(m_prompt->messages(), (QStringList{"Are you sure you want to remove North?",
                                                    "Unable to remove tunnel.  Ratings data exists."}));
        QCOMPARE(Rows("SELECT TunnelName FROM Tunnels"), QStringList{"North"});
        QCOMPARE(CountRows("Panels"), 1);
        QCOMPARE(CountRows("TunnelCoord"), 4);
        QCOMPARE(listRows(w->List1), QStringList{QStringLiteral("North=%1").arg(t)});
        QCOMPARE(w->ZVMap1->PolyCount(), 1);
    }

    // ---------------------------------------------------------------- zoom, pan, pop-up, help

    void zoomBoxAndMenus()
    {
        FixtureSystem(QStringLiteral("Metro"));
        gConn.exec("UPDATE System SET SystemPicture = 'map.bmp'");
        auto* w = new frmSystem;
        w->show();
        QLineEdit* edit = w->cboZoom->lineEdit();
        auto typeAndEnter = [&](const QString& text) {
            edit->selectAll();
            QTest::keyClicks(edit, text.isEmpty() ? QString() : text);
            if (text.isEmpty())
                QTest::keyClick(edit, Qt::Key_Delete);
            QTest::keyClick(edit, Qt::Key_Return);
        };
        typeAndEnter("150");
        QCOMPARE(w->ZVMap1->ZoomFactor(), 1.5f);
        typeAndEnter("100%");
        QCOMPARE(w->ZVMap1->ZoomFactor(), 1.0f);
        typeAndEnter("0");
        typeAndEnter("");
        typeAndEnter("big");
        QCOMPARE(w->ZVMap1->ZoomFactor(), 1.0f);
        typeAndEnter("400");  // no upper bound here
        QCOMPARE(w->ZVMap1->ZoomFactor(), 4.0f);
        QCOMPARE(w->cboZoom->count(), 5);  // Enter adds no entry
        // The zoom picture applies the box.
        edit->setText("75");
        QTest::mouseClick(w->imgZoom, Qt::LeftButton);
        QCOMPARE(w->ZVMap1->ZoomFactor(), 0.75f);
        // The menus leave the box as it is.
        w->mnuZoom200->trigger();
        QCOMPARE(w->ZVMap1->ZoomFactor(), 2.0f);
        QCOMPARE(w->cboZoom->currentText(), QStringLiteral("75"));
        w->mnuZoom50->trigger();
        QCOMPARE(w->ZVMap1->ZoomFactor(), 0.5f);
        QVERIFY(m_prompt->calls.isEmpty());
    }

    void panRightClickAndHelp()
    {
        FixtureSystem(QStringLiteral("Metro"));
        gConn.exec("UPDATE System SET SystemPicture = 'map.bmp'");
        auto* w = new frmSystem;
        w->show();
        w->mnuPan->trigger();
        QVERIFY(w->mnuPan->isChecked() && w->ZVMap1->PanOn());
        w->mnuPan->trigger();
        QVERIFY(!w->mnuPan->isChecked() && !w->ZVMap1->PanOn());
        click(*w->ZVMap1, 3000, 3000, Qt::RightButton);
        QVERIFY(w->mnuMap->isVisible());
        w->mnuMap->close();
        w->mnuHelpIndex->trigger();
        QCOMPARE(m_prompt->messages(),
                 QStringList{"Unable to display Help Contents. There is no Help associated with this project."});
        QCOMPARE(m_prompt->calls[0].title, QStringLiteral("Corvane Quorrel"));
        QCOMPARE(m_prompt->calls[0].icon, MsgIcon::Information);
    }

    void logoOpensTheAboutBox()
    {
        auto* w = new frmSystem;
        w->show();
        WindowScript script;
        script.when(QStringLiteral("frmAbout"), [](QWidget* about) { UnloadForm(about); });
        QTest::mouseClick(w->Label1, Qt::LeftButton);
        QVERIFY(!script.timedOut());
        QCOMPARE(script.shownModal(), QStringList{QStringLiteral("frmAbout")});
    }

    // ---------------------------------------------------------------- set-up screens, Close

    void screensNotInTheProgramAreOffered_disabled()
    {
        auto* w = new frmSystem;
        w->show();
        for (QWidget* b : QList<QWidget*>{w->cmdDataTabs, w->cmdDefPanelEles, w->cmdDefinePanels, w->cmdExpCategories,
                                          w->cmdElements, w->cmdDataInput})
            QVERIFY2(!b->isEnabled(), qPrintable(b->objectName()));
        QVERIFY(!w->mnuCreateRep->isEnabled() && !w->mnuSyncFS->isEnabled());
        // and stay so after an edit.
        w->SetTunnelEditMode(true);
        w->SetTunnelEditMode(false);
        QVERIFY(!w->cmdDefinePanels->isEnabled() && !w->mnuSyncFS->isEnabled());
        QVERIFY(w->cmdAddTunnel->isEnabled() && w->mnuUsers->isEnabled());
    }

    void opensTheSetUpScreens()
    {
        registerScreens(true);
        FixtureSystem(QStringLiteral("Metro"));
        auto* w = new frmSystem;
        w->show();
        QTest::mouseClick(w->cmdDataInput, Qt::LeftButton);
        QCOMPARE(m_prompt->messages(), QStringList{"Please add a tunnel before inputting tunnel data."});
        w->Unload();
        m_prompt->calls.clear();

        const qint32 t = DbAddTunnel(QStringLiteral("North"), kSquare);
        w = new frmSystem;
        w->show();
        QTest::mouseClick(w->cmdDefinePanels, Qt::LeftButton);
        QTest::mouseClick(w->cmdDefPanelEles, Qt::LeftButton);
        QCOMPARE(m_prompt->messages(), (QStringList{"Please select a tunnel before defining panels.",
                                                    "Please select a tunnel before defining panel elements."}));
        QTest::mouseClick(w->cmdDataInput, Qt::LeftButton);  // no row: shown without a tunnel
        QVERIFY(IsFormLoaded("frmInspectionPd"));
        QCOMPARE(FakeScreen::log, QStringList());
        selectRow(w->List1, "North");
        QTest::mouseClick(w->cmdDefinePanels, Qt::LeftButton);
        QTest::mouseClick(w->cmdDefinePanels, Qt::LeftButton);  // one panel window, opened afresh
        QTest::mouseClick(w->cmdDefPanelEles, Qt::LeftButton);
        QTest::mouseClick(w->cmdDataInput, Qt::LeftButton);
        QTest::mouseClick(w->cmdElements, Qt::LeftButton);
        QTest::mouseClick(w->cmdElements, Qt::LeftButton);  // already open: brought forward
        QTest::mouseClick(w->cmdExpCategories, Qt::LeftButton);
        QTest::mouseClick(w->cmdDataTabs, Qt::LeftButton);
        QTest::mouseClick(w->cmdDataTabs, Qt::LeftButton);
        w->mnuSyncFS->trigger();
        const QString id = QString::number(t);
        QCOMPARE(FakeScreen::log,
                 (QStringList{"frmTunnelSpecs.LoadForm(" + id + ")", "frmTunnelSpecs.LoadForm(" + id + ")",
                              "frmPanelElements.LoadForm(" + id + ")", "frmInspectionPd.LoadForm(" + id + ")",
                              "frmEleDef.LoadForm(Element,AvailableElements,ElementID,ElementName)",
                              "frmEleDef.LoadForm(Expenditure Category,ExpenditureCats,CategoryID,Category)"}));
        QStringList names = LoadedFormNames();
        QCOMPARE(names.count("frmTunnelSpecs"), 1);
        QCOMPARE(names.count("frmInspectionPd"), 1);
        QCOMPARE(names.count("frmEleDef"), 2);
        QCOMPARE(names.count("frmDataTabs"), 1);
        QCOMPARE(names.count("frmSyncFS"), 1);
        QCOMPARE(m_prompt->calls.size(), 2);

        // Close unloads every other window, then the main window takes over.
        QTest::mouseClick(w->cmdClose, Qt::LeftButton);
        QCOMPARE(LoadedFormNames(), QStringList{QStringLiteral("frmViewSystem")});
        QVERIFY(LoadedForms().first()->isVisible());
    }

    void exitAndTheCloseBox()
    {
        registerScreens(true);
        auto* w = new frmSystem;
        w->show();
        QTest::mouseClick(w->cmdDataTabs, Qt::LeftButton);
        // The close box unloads this window alone.
        w->close();
        QCOMPARE(LoadedFormNames(), QStringList{QStringLiteral("frmDataTabs")});
        w = new frmSystem;
        w->show();
        w->mnuExit->trigger();
        QCOMPARE(LoadedFormNames(), QStringList());

        // A window that will not close keeps the set-up window with it.
        w = new frmSystem;
        w->show();
        QTest::mouseClick(w->cmdDataTabs, Qt::LeftButton);
        auto* tabs = static_cast<FakeScreen*>(LoadedForms().last());
        tabs->refuse = true;
        QTest::mouseClick(w->cmdClose, Qt::LeftButton);
        QCOMPARE(LoadedFormNames(), (QStringList{"frmSystem", "frmDataTabs"}));
        tabs->refuse = false;
        w->mnuClose->trigger();
        QCOMPARE(LoadedFormNames(), QStringList{"frmViewSystem"});
    }

    void oneSetUpWindow()
    {
        // The inspection-period window asks for the set-up window while it is open.
        QWidget* first = CreateForm("frmSystem");
        first->show();
        QCOMPARE(CreateForm("frmSystem"), first);
        QCOMPARE(LoadedFormNames(), QStringList{"frmSystem"});
        UnloadForm(first);
        QWidget* second = CreateForm("frmSystem");
        QVERIFY(second);
        QCOMPARE(LoadedFormNames(), QStringList{"frmSystem"});
    }

    void resizeRules()
    {
        auto* w = new frmSystem;
        w->show();
        w->resize(1200, 700);
        QWidget* body = w->centralWidget();
        auto near = [](int a, int b) { return qAbs(a - b) <= 1; };
        QVERIFY(near(w->fraButtons->y(), body->height() - w->fraButtons->height()));
        QVERIFY(near(w->ZVMap1->geometry().bottom() + 1, w->fraButtons->y() - 7));
        QVERIFY(near(w->ZVMap1->geometry().right() + 1, body->width() - 7));
        QVERIFY(near(w->fraButtons->width(), w->frameGeometry().width() - 18));
        QVERIFY(near(w->SSTab1->geometry().right() + 1, w->fraButtons->width()));
        QVERIFY(near(w->cmdClose->geometry().right() + 1, w->fraButtons->width() - 8));
        QVERIFY(near(w->List1->geometry().right() + 1, w->SSTab1->x() - 8));
        // The minimums hold in a small window.
        w->resize(200, 120);
        QVERIFY(near(w->fraButtons->y(), qMax(93, body->height() - w->fraButtons->height())));
        QVERIFY(near(w->fraButtons->width(), qMax(487, w->frameGeometry().width() - 18)));
        QVERIFY(w->ZVMap1->width() >= 66);
    }

private:
    std::unique_ptr<TestInstall> m_install;
    std::unique_ptr<ScriptedPrompt> m_prompt;
    QString m_data;
};

QTEST_MAIN(TestFrmSystem)
#include "tst_frmsystem.moc"

// The panel definition window: tunnel picture, drawing, naming, redrawing, moving,
// point edits, copy and paste, renaming and removing panels, outline width and colour.
#include "../zvimaging/zvtestutil.h"
#include "dbsystem.h"
#include "fixtures.h"
#include "forms.h"
#include "frmTunnelSpecs.h"
#include "globals.h"
#include "inventoryforms.h"
#include "modkrv.h"
#include "otherprogram.h"
#include "picturebomb.h"
#include "scriptedprompt.h"
#include "testinstall.h"
#include "uihelpers.h"

#include <QAction>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QTest>

using namespace zvtest;
using Pts = QVector<zv::Point>;

namespace {

// Stands in for the picture chooser: answers the file the test chose, and notes how it
// was asked.
QString gChooserAnswer;
QStringList gChooserCalls;

class FakeChooser : public KrvForm<QWidget> {
    Q_OBJECT
public:
    FakeChooser() : KrvForm<QWidget>(QStringLiteral("frmOpenSysMap")) {}
    Q_INVOKABLE void LoadForm(QString title, QString folder)
    {
        gChooserCalls << title + QLatin1Char('|') + folder;
        SetSysMapChoice(gChooserAnswer);
    }
};

// A window the panel window closes when it opens.
class OtherWindow : public KrvForm<QWidget> {
public:
    explicit OtherWindow(const QString& name) : KrvForm<QWidget>(name) {}
};

Outline square(int x, int y, int side)
{
    return {{x, y}, {x + side, y}, {x + side, y + side}, {x, y + side}};
}

QStringList coords(qint32 panelId)
{
    return Rows(QStringLiteral("SELECT CoordIndex, PanelX, PanelY FROM PanelCoord WHERE PanelID = ? ORDER BY CoordIndex"),
                {panelId});
}

QStringList coordRows(const Outline& pts)
{
    QStringList out;
    for (int i = 0; i < pts.size(); ++i)
        out << QStringLiteral("%1|%2|%3").arg(i + 1).arg(pts[i].x).arg(pts[i].y);
    return out;
}

void drawTriangle(ZVMap& map, int x, int y)
{
    click(map, x, y);
    click(map, x + 1200, y);
    click(map, x + 600, y + 900, Qt::LeftButton, Qt::ControlModifier);  // adds the last point and closes
}

void drag(ZVMap& map, double fromX, double fromY, double toX, double toY)
{
    press(map, fromX, fromY);
    send(map, QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, toX, toY);
    release(map, toX, toY);
}

// The panel's outline as the map shows it; empty when it is not on the map.
Outline onMap(ZVMap& map, qint32 id)
{
    for (int i = 0; i < map.PolyCount(); ++i)
        if (map.Poly(i).ID == id)
            return ToOutline(map.Poly(i).Pt);
    return {};
}

QString changedText(const QString& what)
{
    return what + QStringLiteral(" was changed by another user after you opened it. Replace it with yours?");
}

QString changedText(const QString& what, const QString& now, const QString& yours)
{
    return what + QStringLiteral(" was changed by another user after you opened it: it is now %1, yours is %2. "
                                 "Replace it with yours?")
                      .arg(now, yours);
}
QString removedText(const QString& what)
{
    return what + QStringLiteral(" was removed by another user; nothing was saved for it.");
}

}  // namespace

class TestTunnelSpecs : public QObject {
    Q_OBJECT

    std::unique_ptr<TestInstall> m_install;
    std::unique_ptr<ScriptedPrompt> m_prompt;
    QList<MsgAnswer> m_msgAnswers;  // questions take these; other messages their default
    qint32 m_tunnel = 0;
    qint32 m_panelA = 0, m_panelB = 0, m_panelC = 0;
    QString m_folder;

    frmTunnelSpecs* open(qint32 tunnelId)
    {
        auto* w = qobject_cast<frmTunnelSpecs*>(CreateForm(QStringLiteral("frmTunnelSpecs")));
        if (!w)
            return nullptr;
        QMetaObject::invokeMethod(w, "LoadForm", Q_ARG(qint32, tunnelId));
        return w;
    }
    frmTunnelSpecs* openTunnel() { return open(m_tunnel); }

    QStringList enabledButtons(frmTunnelSpecs* w) const
    {
        QStringList out;
        for (QPushButton* b : w->findChildren<QPushButton*>())
            if (b->isEnabled() && !b->isHidden())
                out << b->objectName();
        out.sort();
        return out;
    }

    void makePicture(const QString& name, const char* format = "PNG")
    {
        QImage im(600, 400, QImage::Format_RGB32);
        im.fill(Qt::white);
        QVERIFY(im.save(m_folder + name, format));
    }

    void errLogHas(const QString& text) { QVERIFY2(m_install->read("err.log").contains(text.toUtf8()), qPrintable(text)); }

private slots:
    void initTestCase()
    {
        RegisterInventoryForms();
        RegisterFormFactory(QStringLiteral("frmOpenSysMap"), [] { return new FakeChooser; });
    }

    void init()
    {
        m_install = std::make_unique<TestInstall>();
        m_prompt = std::make_unique<ScriptedPrompt>();
        m_msgAnswers.clear();
        m_prompt->handler = [this](const PromptCall& c) -> QVariant {
            if (c.kind != PromptCall::Message)
                return {};
            if (!m_msgAnswers.isEmpty())
                return int(m_msgAnswers.takeFirst());
            return int(c.defaultButton == MsgAnswer::Default ? FirstButton(c.buttons) : c.defaultButton);
        };
        gChooserAnswer.clear();
        gChooserCalls.clear();

        FixtureSystem();
        m_tunnel = FixtureTunnel(QStringLiteral("North Bore"));
        m_folder = m_install->file(QStringLiteral("Data/North Bore/"));
        QVERIFY(QDir().mkpath(m_folder));
        makePicture(QStringLiteral("bore.png"));
        DbSetTunnelPicture(m_tunnel, QStringLiteral("bore.png"));
        m_panelA = DbAddPanel(m_tunnel, QStringLiteral("Panel A"));
        DbSavePanelCoords(m_panelA, square(600, 600, 1500));
        m_panelB = DbAddPanel(m_tunnel, QStringLiteral("Panel B"));
        DbSavePanelCoords(m_panelB, square(3000, 600, 1500));
        m_panelC = DbAddPanel(m_tunnel, QStringLiteral("Panel C"));  // no outline
    }

    void cleanup()
    {
        m_prompt.reset();
        m_install.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // ------------------------------------------------------------ opening

    void opensWithPictureOutlinesAndClosesMediaWindows()
    {
        DbSetTunnelForeground(m_tunnel, 0x0000FF00);
        DbSetDrawWidth(QStringLiteral("Tunnels"), m_tunnel, 3);
        auto* images1 = new OtherWindow(QStringLiteral("frmImages"));
        auto* images2 = new OtherWindow(QStringLiteral("frmimages"));
        auto* keyplan = new OtherWindow(QStringLiteral("frmPrintKeyplan"));
        auto* thumbs = new OtherWindow(QStringLiteral("frmMultImg"));
        auto* other = new OtherWindow(QStringLiteral("frmEleDef"));
        QPointer<QWidget> gone[] = {images1, images2, keyplan, thumbs};

        auto* w = qobject_cast<frmTunnelSpecs*>(CreateForm(QStringLiteral("frmTunnelSpecs")));
        QVERIFY(w);
        QVERIFY(QMetaObject::invokeMethod(w, "LoadForm", Q_ARG(int, m_tunnel)));  // callers may pass a plain int
        QVERIFY(w->isVisible());
        QCOMPARE(w->windowTitle(), QStringLiteral("Panel Definition - North Bore"));
        QCOMPARE(w->ZVMap1->Image(), m_folder + "bore.png");
        QCOMPARE(w->ZVMap1->PolyCount(), 2);  // Panel C has no outline
        QCOMPARE(w->ZVMap1->Poly(0).ID, m_panelA);
        QCOMPARE(w->ZVMap1->Poly(1).Pt, (Pts{{3000, 600}, {4500, 600}, {4500, 2100}, {3000, 2100}}));
        QVERIFY(w->ZVMap1->PVisible());
        QCOMPARE(w->ZVMap1->ForeColor(), 0x0000FF00u);
        QCOMPARE(w->ZVMap1->DrawWidth(), qint16(3));
        QCOMPARE(enabledButtons(w), (QStringList{"cmdBorderWidth", "cmdClose", "cmdColor", "cmdDelete", "cmdDraw",
                                                 "cmdMove", "cmdRedraw", "cmdRename", "cmdTImage"}));
        QVERIFY(w->cmdCancel->isHidden());
        QVERIFY(!w->mnuPaste->isEnabled());
        QVERIFY(w->mnuCoor->title() == QStringLiteral("Panel Coodinates"));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        for (const auto& g : gone)
            QVERIFY(!g);
        QVERIFY(IsFormLoaded(QStringLiteral("frmEleDef")));
        delete other;
        QVERIFY(m_prompt->calls.isEmpty());
    }

    void missingPictureThenChosenOne_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::newRow("no picture") << QString();
        QTest::newRow("picture file missing") << QStringLiteral("gone.png");
    }
    void missingPictureThenChosenOne()
    {
        QFETCH(QString, stored);
        DbSetTunnelPicture(m_tunnel, stored);
        gConn.exec(QStringLiteral("UPDATE Tunnels SET TunnelForeground = NULL, DrawWidth = NULL"));
        frmTunnelSpecs* w = openTunnel();
        QVERIFY(w->isVisible());
        QVERIFY(w->ZVMap1->Image().isEmpty());
        QCOMPARE(enabledButtons(w), (QStringList{"cmdClose", "cmdTImage"}));
        QCOMPARE(w->ZVMap1->PolyCount(), 2);  // the outlines are still there
        QVERIFY(m_prompt->calls.isEmpty());    // no error

        // The chooser answers nothing: nothing changes.
        QTest::mouseClick(w->cmdTImage, Qt::LeftButton);
        QCOMPARE(gChooserCalls, QStringList{"Panel Definitions|" + m_folder});
        QCOMPARE(enabledButtons(w), (QStringList{"cmdClose", "cmdTImage"}));
        QVERIFY(!IsFormLoaded(QStringLiteral("frmOpenSysMap")));

        // A file that is no picture: reported, nothing stored.
        m_install->write("Data/North Bore/notes.png", "not a picture");
        gChooserAnswer = QStringLiteral("notes.png");
        QTest::mouseClick(w->cmdTImage, Qt::LeftButton);
        QCOMPARE(m_prompt->messages(), QStringList{"Error loading image."});
        QCOMPARE(DbGetTunnelPicture(m_tunnel), stored);
        QVERIFY(w->ZVMap1->Image().isEmpty());  // the map as it was

        makePicture(QStringLiteral("new bore.jpg"), "JPG");
        gChooserAnswer = QStringLiteral("new bore.jpg");
        QTest::mouseClick(w->cmdTImage, Qt::LeftButton);
        QCOMPARE(DbGetTunnelPicture(m_tunnel), QStringLiteral("new bore.jpg"));  // the bare name
        QCOMPARE(w->ZVMap1->Image(), m_folder + "new bore.jpg");
        QCOMPARE(w->ZVMap1->ForeColor(), 0u);       // a Null colour reads black
        QCOMPARE(w->ZVMap1->DrawWidth(), qint16(1));  // a Null width reads 1
        QCOMPARE(enabledButtons(w), (QStringList{"cmdClose", "cmdColor", "cmdDraw", "cmdTImage"}));

        // The first Add Panel, finished or cancelled, makes the rest usable.
        QTest::mouseClick(w->cmdDraw, Qt::LeftButton);
        QTest::mouseClick(w->cmdCancel, Qt::LeftButton);
        QCOMPARE(enabledButtons(w).size(), 9);
    }

    // A tunnel picture at the size limit the help states (8000 x 5000, beyond Qt's default
    // allocation limit) is stored once the map holds it whole, and shows at the next opening.
    void aPictureAtTheSizeLimitIsStoredAndShown()
    {
        QVERIFY(WriteFlatJpeg(m_folder + QStringLiteral("large.jpg"), 8000, 5000));
        frmTunnelSpecs* w = openTunnel();
        gChooserAnswer = QStringLiteral("large.jpg");
        QTest::mouseClick(w->cmdTImage, Qt::LeftButton);
        QCOMPARE(m_prompt->messages(), QStringList());
        QCOMPARE(DbGetTunnelPicture(m_tunnel), QStringLiteral("large.jpg"));
        QCOMPARE(w->ZVMap1->Picture().size(), QSize(8000, 5000));
        QVERIFY(w->Unload());
        frmTunnelSpecs* again = openTunnel();
        QCOMPARE(again->ZVMap1->Image(), m_folder + "large.jpg");
        QCOMPARE(again->ZVMap1->Picture().size(), QSize(8000, 5000));
        QCOMPARE(m_prompt->messages(), QStringList());
        QVERIFY(again->Unload());
    }

    void databaseGoneOnOpening()
    {
        gConn.close();
        QPointer<frmTunnelSpecs> w = openTunnel();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(m_prompt->messages(), (QStringList{"Error loading image.", "Error loading panels.",
                                                    "Error loading Panel Definitions screen."}));
        QVERIFY(!w);
        QVERIFY(!IsFormLoaded(QStringLiteral("frmTunnelSpecs")));
    }

    void secondTunnelReplacesTheFirst()
    {
        const qint32 other = FixtureTunnel(QStringLiteral("South Bore"));
        QPointer<frmTunnelSpecs> first = openTunnel();
        first->move(40, 50);
        QPointer<frmTunnelSpecs> second = open(other);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!first);
        QVERIFY(second->isVisible());
        QCOMPARE(second->windowTitle(), QStringLiteral("Panel Definition - South Bore"));
        QCOMPARE(second->ZVMap1->PolyCount(), 0);  // none of the first tunnel's panels
        int loaded = 0;
        for (QWidget* f : LoadedForms())
            loaded += f->objectName() == QLatin1String("frmTunnelSpecs");
        QCOMPARE(loaded, 1);
        QSettings settings(QStringLiteral("Quillmar Inc."), QStringLiteral("KRV"));
        QVERIFY(settings.childGroups().contains(QStringLiteral("frmtunnelspecs")));  // placement saved

        // The same window loaded again by an opener that kept it starts from the design state.
        click(*second->ZVMap1, 100, 100);
        QMetaObject::invokeMethod(second, "LoadForm", Q_ARG(qint32, m_tunnel));
        QCOMPARE(second->ZVMap1->PolyCount(), 2);
        click(*second->ZVMap1, 1000, 1000);
        QCOMPARE(second->SelectedPanelID(), m_panelA);
        QMetaObject::invokeMethod(second, "LoadForm", Q_ARG(qint32, other));
        QCOMPARE(second->ZVMap1->PolyCount(), 0);
        QCOMPARE(second->SelectedPanelID(), 0);
        QVERIFY(second->ZVMap1->Picture().isNull());  // North Bore's picture went with its map
        QCOMPARE(second->findChildren<ZVMap*>(QStringLiteral("ZVMap1")).size(), 1);
        QCOMPARE(enabledButtons(second), (QStringList{"cmdClose", "cmdTImage"}));
        QTest::mouseClick(second->cmdClose, Qt::LeftButton);
        QVERIFY(!IsFormLoaded(QStringLiteral("frmTunnelSpecs")));
    }

    // ------------------------------------------------------------ adding

    void addPanel_data()
    {
        QTest::addColumn<QStringList>("answers");
        QTest::addColumn<bool>("failOutline");
        QTest::addColumn<QString>("added");
        QTest::addColumn<QStringList>("messages");
        const QString dup = QStringLiteral("A panel by the name of PANEL A already exists in this tunnel. \n"
                                           "Please enter a different name for the current panel.");
        QTest::newRow("named") << QStringList{"Panel D"} << false << "Panel D" << QStringList{};
        QTest::newRow("name taken in another case, asked again")
            << QStringList{"panel a", "Panel D"} << false << "Panel D" << QStringList{dup};
        QTest::newRow("empty answer discards") << QStringList{""} << false << "" << QStringList{};
        QTest::newRow("cancelled") << QStringList{} << false << "" << QStringList{};
        QTest::newRow("outline write fails: no panel either")
            << QStringList{"Panel D"} << true << "" << QStringList{"Error identifying new panel."};
    }
    void addPanel()
    {
        QFETCH(QStringList, answers);
        QFETCH(bool, failOutline);
        QFETCH(QString, added);
        QFETCH(QStringList, messages);
        frmTunnelSpecs* w = openTunnel();
        for (const QString& a : answers)
            m_prompt->answerText(a);
        if (failOutline)
            FailWhen("fail_coord", "INSERT", "PanelCoord", "NEW.CoordIndex = 3");

        QTest::mouseClick(w->cmdDraw, Qt::LeftButton);
        QVERIFY(w->cmdDraw->isHidden());
        QVERIFY(w->cmdCancel->isVisible());
        QCOMPARE(enabledButtons(w), (QStringList{"cmdCancel", "cmdClose"}));
        drawTriangle(*w->ZVMap1, 6000, 3000);

        QCOMPARE(m_prompt->messages(), messages);
        QCOMPARE(m_prompt->count(PromptCall::Input), qMax(1, int(answers.size())));
        QCOMPARE(m_prompt->calls.first().text, QStringLiteral("Enter name: "));
        QCOMPARE(m_prompt->calls.first().title, QStringLiteral("Panel Name"));
        QCOMPARE(enabledButtons(w).size(), 9);  // buttons back whatever the outcome
        QVERIFY(w->cmdCancel->isHidden());
        const Pts drawn{{6000, 3000}, {7200, 3000}, {6600, 3900}};
        if (added.isEmpty()) {
            QCOMPARE(CountRows("Panels"), 3);
            QCOMPARE(CountRows("PanelCoord"), 8);
            QCOMPARE(w->ZVMap1->PolyCount(), 2);  // the drawn polygon went
            if (failOutline)
                errLogHas(QStringLiteral("Error identifying new panel."));
            return;
        }
        QCOMPARE(Rows("SELECT PanelNum, PanelName FROM Panels WHERE PanelID = ?", {w->EditPanelID()}),
                 QStringList{"4|" + added});
        QCOMPARE(coords(w->EditPanelID()), coordRows(ToOutline(drawn)));
        QCOMPARE(w->ZVMap1->PolyCount(), 3);
        QCOMPARE(w->ZVMap1->Poly(2).ID, w->EditPanelID());
        QCOMPARE(w->SelectedPanelID(), 0);
        QVERIFY(w->lblPanelName->text().isEmpty());
        QVERIFY(w->NewPanelMode());
    }

    // The tunnel removed by another program on the same database while the window is open:
    // a panel drawn or pasted then is not stored for it, and the user is told.
    void aRemovedTunnelGetsNoPanel()
    {
        frmTunnelSpecs* w = openTunnel();
        click(*w->ZVMap1, 1000, 1000);
        w->mnuCopy->trigger();
        QCOMPARE(RunSqliteShell(m_install->dbPath(), QStringLiteral("DELETE FROM Tunnels WHERE TunnelID = %1").arg(m_tunnel)),
                 QString());
        const QString told = QStringLiteral("The tunnel North Bore was removed by another user; nothing was saved for it.");
        m_prompt->answerText(QStringLiteral("Panel D"));
        QTest::mouseClick(w->cmdDraw, Qt::LeftButton);
        drawTriangle(*w->ZVMap1, 6000, 3000);
        QCOMPARE(m_prompt->messages(), QStringList{told});
        m_prompt->answerText(QStringLiteral("Panel E"));
        w->mnuPaste->trigger();
        QCOMPARE(m_prompt->messages(), (QStringList{told, told}));
        QCOMPARE(CountRows("Panels"), 3);
        QCOMPARE(CountRows("PanelCoord"), 8);
        QCOMPARE(w->ZVMap1->PolyCount(), 2);
        QCOMPARE(enabledButtons(w).size(), 9);
    }

    // ------------------------------------------------------------ redrawing

    void redrawReplacesOnlyTheOutline()
    {
        frmTunnelSpecs* w = openTunnel();
        ZVMap& map = *w->ZVMap1;
        QTest::mouseClick(w->cmdRedraw, Qt::LeftButton);  // nothing selected
        QCOMPARE(m_prompt->calls.last().text, QStringLiteral("Please select a panel."));
        QCOMPARE(m_prompt->calls.last().title, QStringLiteral("Redraw Panel"));
        QCOMPARE(m_prompt->calls.last().icon, MsgIcon::Warning);

        click(map, 1000, 1000);  // Panel A
        QCOMPARE(w->SelectedPanelID(), m_panelA);
        QCOMPARE(w->lblPanelName->text(), QStringLiteral("Panel A"));
        QTest::mouseClick(w->cmdRedraw, Qt::LeftButton);
        QCOMPARE(map.PolyCount(), 1);
        QVERIFY(w->lblPanelName->text().isEmpty());
        QCOMPARE(map.mode(), ZVMap::Mode::Drawing);
        const int prompts = m_prompt->calls.size();
        drawTriangle(map, 6000, 3000);
        QCOMPARE(m_prompt->calls.size(), prompts);  // no name asked
        QCOMPARE(coords(m_panelA), coordRows({{6000, 3000}, {7200, 3000}, {6600, 3900}}));
        QCOMPARE(Rows("SELECT PanelID, PanelNum, PanelName FROM Panels ORDER BY PanelID").first(),
                 QStringLiteral("%1|1|Panel A").arg(m_panelA));
        QCOMPARE(map.PolyCount(), 2);
        QCOMPARE(map.Poly(1).ID, m_panelA);
        QCOMPARE(enabledButtons(w).size(), 9);
    }

    void redrawGivenUpOrFailedKeepsTheStoredOutline_data()
    {
        QTest::addColumn<bool>("fail");
        QTest::newRow("cancelled") << false;
        QTest::newRow("write fails") << true;
    }
    void redrawGivenUpOrFailedKeepsTheStoredOutline()
    {
        QFETCH(bool, fail);
        frmTunnelSpecs* w = openTunnel();
        ZVMap& map = *w->ZVMap1;
        const QStringList before = coords(m_panelB);
        click(map, 3500, 1000);  // Panel B
        QTest::mouseClick(w->cmdRedraw, Qt::LeftButton);
        QVERIFY(w->cmdCancel->isVisible());  // a redraw can be given up
        if (fail) {
            FailWhen("fail_coord", "INSERT", "PanelCoord", "NEW.CoordIndex = 2");
            drawTriangle(map, 6000, 3000);
            QCOMPARE(m_prompt->messages(), QStringList{"Error identifying new panel."});
        } else {
            click(map, 6000, 3000);
            click(map, 7000, 3000);
            QTest::mouseClick(w->cmdCancel, Qt::LeftButton);
        }
        QCOMPARE(coords(m_panelB), before);
        QCOMPARE(map.PolyCount(), 2);
        QCOMPARE(map.Poly(1).ID, m_panelB);
        QCOMPARE(map.Poly(1).Pt, (Pts{{3000, 600}, {4500, 600}, {4500, 2100}, {3000, 2100}}));
        QCOMPARE(map.mode(), ZVMap::Mode::Normal);
        QCOMPARE(enabledButtons(w).size(), 9);
        QVERIFY(w->cmdCancel->isHidden());
    }

    // ------------------------------------------------------------ moving and point edits

    void moveRewritesTheOutlineWhole_data()
    {
        QTest::addColumn<bool>("fail");
        QTest::newRow("moved") << false;
        QTest::newRow("write fails midway: old outline kept") << true;
    }
    void moveRewritesTheOutlineWhole()
    {
        QFETCH(bool, fail);
        frmTunnelSpecs* w = openTunnel();
        ZVMap& map = *w->ZVMap1;
        const QStringList before = coords(m_panelA);
        if (fail)
            FailWhen("fail_coord", "INSERT", "PanelCoord", "NEW.CoordIndex = 3");
        w->mnuMove->trigger();
        drag(map, 1000, 1000, 1300, 1150);
        if (fail) {
            QCOMPARE(coords(m_panelA), before);
            QCOMPARE(m_prompt->messages(), QStringList{"Error moving panel."});
            QCOMPARE(map.Poly(map.PolyCount() - 1).Pt, (Pts{{600, 600}, {2100, 600}, {2100, 2100}, {600, 2100}}));
        } else {
            QCOMPARE(coords(m_panelA), coordRows(square(900, 750, 1500)));
            QVERIFY(m_prompt->calls.isEmpty());
        }
    }

    void pointEdits()
    {
        frmTunnelSpecs* w = openTunnel();
        ZVMap& map = *w->ZVMap1;
        w->mnuCoorDel->trigger();
        click(map, 2100, 2100);  // a corner of Panel A
        QCOMPARE(coords(m_panelA), coordRows({{600, 600}, {2100, 600}, {600, 2100}}));
        w->mnuCoorMove->trigger();
        drag(map, 600, 600, 300, 450);
        QCOMPARE(coords(m_panelA), coordRows({{300, 450}, {2100, 600}, {600, 2100}}));
        w->mnuCoorAdd->trigger();
        click(map, 2100, 600);
        click(map, 600, 2100);
        click(map, 2400, 2400);
        QCOMPARE(coords(m_panelA), coordRows({{300, 450}, {2100, 600}, {2400, 2400}, {600, 2100}}));
        QVERIFY(m_prompt->calls.isEmpty());
        QCOMPARE(enabledButtons(w).size(), 9);  // the point tools leave the buttons usable
    }

    void pointToolsNeedAPicture_data()
    {
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("message");
        QTest::newRow("add") << "mnuCoorAdd" << "Please select panel before editing.";
        QTest::newRow("move") << "mnuCoorMove" << "Please select panel before editing.";
        QTest::newRow("remove") << "mnuCoorDel" << "Please select a panel before editing.";
    }
    void pointToolsNeedAPicture()
    {
        QFETCH(QString, item);
        QFETCH(QString, message);
        DbSetTunnelPicture(m_tunnel, QString());
        frmTunnelSpecs* w = openTunnel();
        w->findChild<QAction*>(item)->trigger();
        QCOMPARE(m_prompt->messages(), QStringList{message});
        QCOMPARE(m_prompt->calls.last().title, QStringLiteral("Define Panels"));
        QCOMPARE(w->ZVMap1->mode(), ZVMap::Mode::Normal);
    }

    // ------------------------------------------------------------ copy and paste

    void copyAndPaste()
    {
        frmTunnelSpecs* w = openTunnel();
        ZVMap& map = *w->ZVMap1;
        w->mnuCopy->trigger();  // nothing selected
        QCOMPARE(m_prompt->calls.last().text, QStringLiteral("You must select a panel."));
        QCOMPARE(m_prompt->calls.last().icon, MsgIcon::Information);
        QCOMPARE(m_prompt->calls.last().title, QStringLiteral("Select Panel"));

        click(map, 3500, 1000);  // Panel B
        w->mnuCopy->trigger();
        QVERIFY(w->mnuPaste->isEnabled());
        QVERIFY(!w->mnuCopy->isEnabled());
        m_prompt->answerText(QStringLiteral("PANEL B"));  // taken
        m_prompt->answerText(QStringLiteral("Copy 1"));
        w->mnuPaste->trigger();
        QCOMPARE(m_prompt->count(PromptCall::Input), 2);
        QCOMPARE(m_prompt->calls.last().text, QStringLiteral("Enter a name for this panel:"));
        QCOMPARE(m_prompt->calls.last().title, QStringLiteral("New Panel"));
        const qint32 copy1 = Rows("SELECT PanelID FROM Panels WHERE PanelName = 'Copy 1'").value(0).toInt();
        QVERIFY(copy1 > 0);
        QCOMPARE(coords(copy1), coordRows(square(0, 0, 1500)));  // top-left of the visible picture, before the drag
        QCOMPARE(w->lblPanelName->text(), QStringLiteral("Copy 1"));
        QCOMPARE(map.mode(), ZVMap::Mode::MovePoly);
        drag(map, 300, 300, 6300, 3300);  // inside the copy, outside Panel A
        QCOMPARE(coords(copy1), coordRows(square(6000, 3000, 1500)));
        QVERIFY(w->mnuPaste->isEnabled());

        m_prompt->answerText(QStringLiteral("Copy 2"));  // the same copy again
        w->mnuPaste->trigger();
        QCOMPARE(Rows("SELECT PanelNum, PanelName FROM Panels ORDER BY PanelNum").mid(3),
                 (QStringList{"4|Copy 1", "5|Copy 2"}));
        QCOMPARE(map.PolyCount(), 4);
        map.Cancel();

        w->mnuPaste->trigger();  // no name: nothing pasted
        QCOMPARE(CountRows("Panels"), 5);
        QVERIFY(!w->mnuPaste->isEnabled());
        QVERIFY(w->mnuCopy->isEnabled());
    }

    void failedPasteTakesThePanelBack()
    {
        frmTunnelSpecs* w = openTunnel();
        ZVMap& map = *w->ZVMap1;
        click(map, 1000, 1000);
        w->mnuCopy->trigger();
        FailWhen("fail_coord", "INSERT", "PanelCoord", "NEW.CoordIndex = 4");
        m_prompt->answerText(QStringLiteral("Copy 1"));
        w->mnuPaste->trigger();
        QCOMPARE(m_prompt->messages(), QStringList{"Error pasting panel."});
        QCOMPARE(CountRows("Panels"), 3);
        QCOMPARE(CountRows("PanelCoord"), 8);
        QCOMPARE(map.PolyCount(), 2);
        QCOMPARE(map.mode(), ZVMap::Mode::Normal);
        QVERIFY(w->lblPanelName->text().isEmpty());
    }

    // ------------------------------------------------------------ removing and renaming

    void removePanel_data()
    {
        QTest::addColumn<bool>("ratings");
        QTest::addColumn<QList<MsgAnswer>>("answers");
        QTest::addColumn<bool>("removed");
        using A = QList<MsgAnswer>;
        QTest::newRow("yes") << false << A{MsgAnswer::Yes} << true;
        QTest::newRow("no") << false << A{MsgAnswer::No} << false;
        QTest::newRow("ratings, yes twice") << true << A{MsgAnswer::Yes, MsgAnswer::Yes} << true;
        QTest::newRow("ratings, yes then no") << true << A{MsgAnswer::Yes, MsgAnswer::No} << false;
    }
    void removePanel()
    {
        QFETCH(bool, ratings);
        QFETCH(QList<MsgAnswer>, answers);
        QFETCH(bool, removed);
        if (ratings) {
            FixtureElement(1, QStringLiteral("Lining"));
            const qint32 period = FixturePeriod(m_tunnel, 2024);
            gConn.exec(QStringLiteral("INSERT INTO Ratings (InspectionID, PanelID, ElementID, Rating) VALUES (?, ?, 1, 4)"),
                       {period, m_panelA});
        }
        frmTunnelSpecs* w = openTunnel();
        QTest::mouseClick(w->cmdDelete, Qt::LeftButton);  // nothing selected
        QCOMPARE(m_prompt->messages(), QStringList{"Please select a panel."});
        QCOMPARE(m_prompt->calls.last().title, QStringLiteral("Select Panel"));
        m_prompt->calls.clear();

        click(*w->ZVMap1, 1000, 1000);
        m_msgAnswers = answers;
        w->mnuDelete->trigger();
        QCOMPARE(m_prompt->count(PromptCall::Message), int(answers.size()));
        QCOMPARE(CountRows("Panels", "PanelID = ?", {m_panelA}), removed ? 0 : 1);
        QCOMPARE(CountRows("PanelCoord", "PanelID = ?", {m_panelA}), removed ? 0 : 4);
        QCOMPARE(CountRows("Ratings"), ratings && !removed ? 1 : 0);
        QCOMPARE(w->ZVMap1->PolyCount(), removed ? 1 : 2);
        QCOMPARE(w->SelectedPanelID(), removed ? 0 : m_panelA);
        QCOMPARE(w->lblPanelName->text(), removed ? QString() : QStringLiteral("Panel A"));
    }

    void renamePanel()
    {
        frmTunnelSpecs* w = openTunnel();
        QTest::mouseClick(w->cmdRename, Qt::LeftButton);  // nothing selected
        QCOMPARE(m_prompt->messages(), QStringList{"Please select a panel."});
        m_prompt->calls.clear();

        click(*w->ZVMap1, 1000, 1000);
        m_prompt->answerText(QStringLiteral("panel b"));       // another panel's name in another case
        m_prompt->answerText(QStringLiteral(" Panel A "));     // its own name counts as taken
        m_prompt->answerText(QStringLiteral("  It's New  "));  // a quote is just a character
        QTest::mouseClick(w->cmdRename, Qt::LeftButton);
        QCOMPARE(m_prompt->count(PromptCall::Input), 3);
        QCOMPARE(m_prompt->count(PromptCall::Message), 2);
        QCOMPARE(m_prompt->calls.first().text, QStringLiteral("Change Panel A to:"));
        QCOMPARE(m_prompt->calls.first().title, QStringLiteral("Rename"));
        QCOMPARE(DbGetPanelName(m_panelA), QStringLiteral("It's New"));  // stored trimmed
        QCOMPARE(w->lblPanelName->text(), QStringLiteral("  It's New  "));

        m_prompt->calls.clear();
        m_prompt->answerText(QStringLiteral("   "));  // blanks alone are no name
        QTest::mouseClick(w->cmdRename, Qt::LeftButton);
        QCOMPARE(m_prompt->calls.first().text, QStringLiteral("Change It's New to:"));
        QCOMPARE(DbGetPanelName(m_panelA), QStringLiteral("It's New"));

        // Other tunnels' panel names are free.
        const qint32 other = FixtureTunnel(QStringLiteral("South Bore"));
        DbAddPanel(other, QStringLiteral("Shared"));
        m_prompt->answerText(QStringLiteral("Shared"));
        QTest::mouseClick(w->cmdRename, Qt::LeftButton);
        QCOMPARE(DbGetPanelName(m_panelA), QStringLiteral("Shared"));
    }

    // ------------------------------------------------------------ outline width and colour

    void borderWidth_data()
    {
        QTest::addColumn<QStringList>("answers");
        QTest::addColumn<int>("questions");
        QTest::addColumn<int>("messages");
        QTest::addColumn<int>("stored");
        QTest::newRow("3") << QStringList{"3"} << 1 << 0 << 3;
        QTest::newRow("7 then 4") << QStringList{"7", "4"} << 2 << 1 << 4;
        QTest::newRow("0 then cancel") << QStringList{"0"} << 2 << 1 << 2;
        QTest::newRow("2.5 told once") << QStringList{"2.5"} << 1 << 1 << 2;
        QTest::newRow("blank then 5") << QStringList{" ", " 5 "} << 2 << 1 << 5;
        QTest::newRow("empty") << QStringList{""} << 1 << 0 << 2;
    }
    void borderWidth()
    {
        QFETCH(QStringList, answers);
        QFETCH(int, questions);
        QFETCH(int, messages);
        QFETCH(int, stored);
        DbSetDrawWidth(QStringLiteral("Tunnels"), m_tunnel, 2);
        frmTunnelSpecs* w = openTunnel();
        for (const QString& a : answers)
            m_prompt->answerText(a);
        QTest::mouseClick(w->cmdBorderWidth, Qt::LeftButton);
        QCOMPARE(m_prompt->count(PromptCall::Input), questions);
        QCOMPARE(m_prompt->calls.first().text, QStringLiteral("Change border width from 2 to: (5 max)"));
        QCOMPARE(m_prompt->calls.first().title, QStringLiteral("Border Width"));
        QCOMPARE(m_prompt->count(PromptCall::Message), messages);
        if (messages)
            QCOMPARE(m_prompt->messages().first(), QStringLiteral("You must enter a value between 1 and 5."));
        QCOMPARE(DbGetTunnelDrawWidth(m_tunnel), stored);
        QCOMPARE(w->ZVMap1->DrawWidth(), qint16(stored));
    }

    void borderColour()
    {
        frmTunnelSpecs* w = openTunnel();
        m_prompt->answers.enqueue(QVariant::fromValue(quint32(0x00123456)));
        QTest::mouseClick(w->cmdColor, Qt::LeftButton);
        QCOMPARE(DbGetTunnelForeground(m_tunnel), 0x00123456);
        QCOMPARE(w->ZVMap1->ForeColor(), 0x00123456u);

        w->mnuBorderColor->trigger();  // cancelled: the colour stays, stored again
        QCOMPARE(DbGetTunnelForeground(m_tunnel), 0x00123456);
        QVERIFY(m_prompt->messages().isEmpty());

        // A colour the database refuses is reported, not shown.
        FailWhen("fail_colour", "UPDATE", "Tunnels", "1");
        m_prompt->answers.enqueue(QVariant::fromValue(quint32(0x000000FF)));
        QTest::mouseClick(w->cmdColor, Qt::LeftButton);
        QCOMPARE(m_prompt->messages(), QStringList{"Error modifying border color."});
        QCOMPARE(w->ZVMap1->ForeColor(), 0x00123456u);
    }

    // ------------------------------------------------------------ another user on the same file

    // Another program changed or removed Panel A's outline after the window loaded it: a move
    // asks before replacing theirs, and writes nothing for a removed panel.
    void aMoveOverAnotherUsersOutline_data()
    {
        QTest::addColumn<QString>("other");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("stored");  // mine, theirs or none
        QTest::addColumn<QString>("message");
        const QString change = "UPDATE PanelCoord SET PanelX = PanelX + 100 WHERE PanelID = %1";
        const QString remove = "DELETE FROM PanelCoord WHERE PanelID = %1; DELETE FROM Panels WHERE PanelID = %1";
        const QString asked = changedText("The outline of panel Panel A");
        QTest::newRow("yes") << change << int(MsgAnswer::Yes) << "mine" << asked;
        QTest::newRow("no") << change << int(MsgAnswer::No) << "theirs" << asked;
        QTest::newRow("cancel") << change << int(MsgAnswer::Cancel) << "theirs" << asked;
        QTest::newRow("panel removed") << remove << 0 << "none" << removedText("The panel Panel A");
    }
    void aMoveOverAnotherUsersOutline()
    {
        QFETCH(QString, other);
        QFETCH(int, answer);
        QFETCH(QString, stored);
        QFETCH(QString, message);
        frmTunnelSpecs* w = openTunnel();
        QCOMPARE(RunSqliteShell(m_install->dbPath(), other.arg(m_panelA)), QString());
        if (answer)
            m_msgAnswers = {MsgAnswer(answer)};
        w->mnuMove->trigger();
        drag(*w->ZVMap1, 1000, 1000, 1300, 1150);
        QCOMPARE(m_prompt->messages(), QStringList{message});
        const Outline expected = stored == QLatin1String("mine")     ? square(900, 750, 1500)
                                 : stored == QLatin1String("theirs") ? Outline{{700, 600}, {2200, 600}, {2200, 2100}, {700, 2100}}
                                                                     : Outline();
        QCOMPARE(coords(m_panelA), coordRows(expected));
        QCOMPARE(onMap(*w->ZVMap1, m_panelA), expected);
        QCOMPARE(onMap(*w->ZVMap1, m_panelB), square(3000, 600, 1500));
    }

    // A value of the tunnel or panel row another program changed after the window loaded it is
    // replaced only on Yes; one it removed gets nothing. Values the user did not change are not
    // written at all (a cancelled colour dialog).
    void valuesAnotherUserChanged_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QVariant>("input");  // the user's value; null cancels
        QTest::addColumn<QString>("other");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QVariant>("stored");  // null: no row
        QTest::addColumn<QVariant>("shown");
        QTest::addColumn<QString>("message");
        const QVariant none;
        const QString renamed = "UPDATE Panels SET PanelName = 'Theirs' WHERE PanelID = %1";
        const QString panelGone = "DELETE FROM PanelCoord WHERE PanelID = %1; DELETE FROM Panels WHERE PanelID = %1";
        const QString tunnelGone = "DELETE FROM Tunnels";
        QTest::newRow("rename, theirs replaced")
            << "rename" << QVariant("Mine") << renamed << int(MsgAnswer::Yes) << QVariant("Mine") << QVariant("Mine")
            << changedText("The name of panel Panel A", "\"Theirs\"", "\"Mine\"");
        QTest::newRow("rename, theirs kept")
            << "rename" << QVariant("Mine") << renamed << int(MsgAnswer::No) << QVariant("Theirs") << QVariant("Theirs")
            << changedText("The name of panel Panel A", "\"Theirs\"", "\"Mine\"");
        QTest::newRow("rename, panel removed") << "rename" << QVariant("Mine") << panelGone << 0 << none << QVariant("")
                                               << removedText("The panel Panel A");
        QTest::newRow("picture, theirs kept")
            << "picture" << QVariant("mine.png") << "UPDATE Tunnels SET TunnelPicture = 'theirs.png'"
            << int(MsgAnswer::No) << QVariant("theirs.png") << QVariant("theirs.png")
            << changedText("The picture of tunnel North Bore", "\"theirs.png\"", "\"mine.png\"");
        QTest::newRow("picture, tunnel removed") << "picture" << QVariant("mine.png") << tunnelGone << 0 << none
                                                 << QVariant("bore.png") << removedText("The tunnel North Bore");
        QTest::newRow("width, cancelled")
            << "width" << QVariant("4") << "UPDATE Tunnels SET DrawWidth = 5" << int(MsgAnswer::Cancel) << QVariant(5)
            << QVariant(1) << changedText("The border width of tunnel North Bore", "5", "4");
        QTest::newRow("colour, theirs kept")
            << "colour" << QVariant::fromValue(quint32(0x00ABCDEF)) << "UPDATE Tunnels SET TunnelForeground = 255"
            << int(MsgAnswer::No) << QVariant(255) << QVariant(255) << changedText("The border colour of tunnel North Bore", "#ff0000", "#efcdab");
        QTest::newRow("colour dialog cancelled writes nothing")
            << "colour" << none << "UPDATE Tunnels SET TunnelForeground = 255" << 0 << QVariant(255) << QVariant(0)
            << QString();
        QTest::newRow("colour, tunnel removed") << "colour" << QVariant::fromValue(quint32(0x00ABCDEF)) << tunnelGone
                                                << 0 << none << QVariant(0) << removedText("The tunnel North Bore");
    }
    void valuesAnotherUserChanged()
    {
        QFETCH(QString, command);
        QFETCH(QVariant, input);
        QFETCH(QString, other);
        QFETCH(int, answer);
        QFETCH(QVariant, stored);
        QFETCH(QVariant, shown);
        QFETCH(QString, message);
        makePicture(QStringLiteral("mine.png"));
        makePicture(QStringLiteral("theirs.png"));
        frmTunnelSpecs* w = openTunnel();
        // The other program saves while the window asks for the user's value.
        QString shellError = QStringLiteral("not run");
        const auto runOther = [&] {
            shellError = RunSqliteShell(m_install->dbPath(), other.contains("%1") ? other.arg(m_panelA) : other);
        };
        m_prompt->handler = [&](const PromptCall& c) -> QVariant {
            if (c.kind == PromptCall::Message)
                return answer && c.buttons == MsgButtons::YesNoCancel ? QVariant(answer) : QVariant();
            runOther();
            return input;
        };
        const QMap<QString, QString> column{{"rename", "SELECT PanelName FROM Panels WHERE PanelID = ?"},
                                            {"picture", "SELECT TunnelPicture FROM Tunnels WHERE TunnelID = ?"},
                                            {"width", "SELECT DrawWidth FROM Tunnels WHERE TunnelID = ?"},
                                            {"colour", "SELECT TunnelForeground FROM Tunnels WHERE TunnelID = ?"}};
        if (command == QLatin1String("rename")) {
            click(*w->ZVMap1, 1000, 1000);
            w->cmdRename->click();
        } else if (command == QLatin1String("picture")) {
            runOther();
            gChooserAnswer = input.toString();
            w->cmdTImage->click();
        } else if (command == QLatin1String("width")) {
            w->cmdBorderWidth->click();
        } else {
            w->cmdColor->click();
        }
        QCOMPARE(shellError, QString());
        QCOMPARE(m_prompt->messages(), message.isEmpty() ? QStringList() : QStringList{message});
        const QVariant now = gConn.scalar(column.value(command),
                                          {command == QLatin1String("rename") ? m_panelA : m_tunnel});
        QCOMPARE(now.isNull() ? QString() : now.toString(), stored.isNull() ? QString() : stored.toString());
        QCOMPARE(now.isNull(), stored.isNull());
        if (command == QLatin1String("rename")) {
            QCOMPARE(w->lblPanelName->text(), shown.toString());
            QCOMPARE(onMap(*w->ZVMap1, m_panelA).isEmpty(), stored.isNull());
        } else if (command == QLatin1String("picture")) {
            QCOMPARE(w->ZVMap1->Image(), m_folder + shown.toString());
        } else if (command == QLatin1String("width")) {
            QCOMPARE(w->ZVMap1->DrawWidth(), qint16(shown.toInt()));
        } else {
            QCOMPARE(w->ZVMap1->ForeColor(), shown.toUInt());
        }
    }

    // ------------------------------------------------------------ pop-up menu

    void popUpMenuZoomAndPan()
    {
        frmTunnelSpecs* w = openTunnel();
        ZVMap& map = *w->ZVMap1;
        click(map, 8000, 5000, Qt::RightButton);
        QVERIFY(w->mnuPopUp->isVisible());
        w->mnuPopUp->hide();
        QStringList captions;
        for (QAction* a : w->mnuPopUp->actions())
            captions << (a->isSeparator() ? QStringLiteral("-") : a->text());
        QCOMPARE(captions, (QStringList{"Pan", "Zoom", "-", "Copy Panel", "Paste Panel", "-", "Add Panel", "Move Panel",
                                        "Remove Panel", "Panel Coodinates", "-", "Set Border Width", "Set Border Color"}));
        w->mnuZoom150->trigger();
        QCOMPARE(map.ZoomFactor(), 1.5f);
        w->mnuZoom50->trigger();
        QCOMPARE(map.ZoomFactor(), 0.5f);
        w->mnuPan->trigger();
        QVERIFY(w->mnuPan->isChecked());
        QVERIFY(map.PanOn());
        w->mnuPan->trigger();
        QVERIFY(!map.PanOn());
        w->mnuDrawRect->trigger();
        QCOMPARE(map.mode(), ZVMap::Mode::Drawing);
        QVERIFY(w->cmdCancel->isVisible());
    }
};

QTEST_MAIN(TestTunnelSpecs)
#include "tst_tunnelspecs.moc"

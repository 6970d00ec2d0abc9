// The panel elements window: picking panels on the tunnel picture, adding elements to
// every picked panel, removing them from the current one, and the refused openings.
#include "../zvimaging/zvtestutil.h"
#include "dbsystem.h"
#include "fixtures.h"
#include "forms.h"
#include "frmPanelElements.h"
#include "frmTunnelSpecs.h"
#include "globals.h"
#include "inventoryforms.h"
#include "otherprogram.h"
#include "scriptedprompt.h"
#include "testinstall.h"

#include <QAction>
#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QTest>

using namespace zvtest;

namespace {

Outline square(int x, int y, int side)
{
    return {{x, y}, {x + side, y}, {x + side, y + side}, {x, y + side}};
}

QStringList texts(const QListWidget* list)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->item(i)->text();
    return out;
}

QStringList selectedTexts(const QListWidget* list)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        if (list->item(i)->isSelected())
            out << list->item(i)->text();
    return out;
}

void selectTexts(QListWidget* list, const QStringList& wanted)
{
    for (int i = 0; i < list->count(); ++i)
        if (wanted.contains(list->item(i)->text())) {
            list->setCurrentRow(i, QItemSelectionModel::NoUpdate);
            list->item(i)->setSelected(true);
        }
}

QStringList pairs()
{
    return Rows(QStringLiteral("SELECT p.PanelName, e.ElementName FROM PanelElements pe "
                               "JOIN Panels p ON p.PanelID = pe.PanelID "
                               "JOIN AvailableElements e ON e.ElementID = pe.ElementID "
                               "ORDER BY p.PanelNum, e.ElementID"));
}

}  // namespace

class TestPanelElements : public QObject {
    Q_OBJECT

    std::unique_ptr<TestInstall> m_install;
    std::unique_ptr<ScriptedPrompt> m_prompt;
    QList<MsgAnswer> m_msgAnswers;  // questions take these; other messages their default
    qint32 m_tunnel = 0;
    qint32 m_panelA = 0, m_panelB = 0, m_panelC = 0;
    QString m_folder;

    frmPanelElements* open(qint32 tunnelId)
    {
        QPointer<frmPanelElements> w = qobject_cast<frmPanelElements*>(CreateForm(QStringLiteral("frmPanelElements")));
        if (!w)
            return nullptr;
        QMetaObject::invokeMethod(w, "LoadForm", Q_ARG(qint32, tunnelId));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return w;  // null when it unloaded itself
    }
    frmPanelElements* openTunnel() { return open(m_tunnel); }

    void errLogHas(const QString& text) { QVERIFY2(m_install->read("err.log").contains(text.toUtf8()), qPrintable(text)); }

    void makePicture(const QString& path)
    {
        QImage im(600, 400, QImage::Format_RGB32);
        im.fill(Qt::white);
        QVERIFY(im.save(path, "PNG"));
    }

private slots:
    void initTestCase() { RegisterInventoryForms(); }

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

        FixtureSystem();
        m_tunnel = FixtureTunnel(QStringLiteral("North Bore"));
        m_folder = m_install->file(QStringLiteral("Data/North Bore/"));
        QVERIFY(QDir().mkpath(m_folder));
        makePicture(m_folder + "bore.png");
        DbSetTunnelPicture(m_tunnel, QStringLiteral("bore.png"));
        m_panelA = DbAddPanel(m_tunnel, QStringLiteral("Panel A"));
        DbSavePanelCoords(m_panelA, square(600, 600, 1500));
        m_panelB = DbAddPanel(m_tunnel, QStringLiteral("Panel B"));
        DbSavePanelCoords(m_panelB, square(3000, 600, 1500));
        m_panelC = DbAddPanel(m_tunnel, QStringLiteral("Panel C"));  // no outline
        FixtureElement(0, QStringLiteral("Lining"));
        FixtureElement(1, QStringLiteral("Drain"));
        FixtureElement(2, QStringLiteral("Rail"));
        FixtureElement(3, QStringLiteral("Lamp"));
        DbAddPanelElement(m_panelA, 1);
    }

    void cleanup()
    {
        m_prompt.reset();
        m_install.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // ------------------------------------------------------------ opening

    void opensWithOutlinesAndCatalogue()
    {
        DbSetDrawWidth(QStringLiteral("Tunnels"), m_tunnel, 4);
        auto* w = qobject_cast<frmPanelElements*>(CreateForm(QStringLiteral("frmPanelElements")));
        QVERIFY(w);
        QVERIFY(QMetaObject::invokeMethod(w, "LoadForm", Q_ARG(int, m_tunnel)));
        QVERIFY(w->isVisible());
        QCOMPARE(w->windowTitle(), QStringLiteral("Panel Element Definition - North Bore"));
        QCOMPARE(w->ZVMap1->Image(), m_folder + "bore.png");
        QCOMPARE(w->ZVMap1->PolyCount(), 2);
        QCOMPARE(w->ZVMap1->DrawWidth(), qint16(4));
        QCOMPARE(texts(w->lstAvailEle), (QStringList{"Lining", "Drain", "Rail", "Lamp"}));
        QCOMPARE(w->lstAvailEle->item(0)->data(Qt::UserRole).toInt(), 0);
        QVERIFY(texts(w->lstPanels).isEmpty());
        QVERIFY(texts(w->lstEle).isEmpty());
        QVERIFY(w->lblPanelName->text().isEmpty());
        QCOMPARE(w->PanelID(), m_panelA);
        QVERIFY(m_prompt->calls.isEmpty());
    }

    void refusedOpenings_data()
    {
        QTest::addColumn<int>("setup");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("title");
        QTest::newRow("no panels") << 0 << "You must first add at least 1 panel\nbefore you can define any elements."
                                   << "Define Elements";
        QTest::newRow("picture missing") << 1 << "Image not found: %1gone.png"
                                         << "Image not Found";
        QTest::newRow("no picture, empty folder") << 2 << "Image not found: %1"
                                                  << "Image not Found";
    }
    void refusedOpenings()
    {
        QFETCH(int, setup);
        QFETCH(QString, message);
        QFETCH(QString, title);
        qint32 tunnel = m_tunnel;
        if (setup == 0)
            tunnel = FixtureTunnel(QStringLiteral("Bare"));
        else if (setup == 1)
            DbSetTunnelPicture(m_tunnel, QStringLiteral("gone.png"));
        else {
            DbSetTunnelPicture(m_tunnel, QString());
            QVERIFY(QFile::remove(m_folder + "bore.png"));
        }
        QVERIFY(!open(tunnel));
        QVERIFY(!IsFormLoaded(QStringLiteral("frmPanelElements")));
        QCOMPARE(m_prompt->messages(), QStringList{message.contains("%1") ? message.arg(m_folder) : message});
        QCOMPARE(m_prompt->calls.first().title, title);
        QCOMPARE(m_prompt->calls.first().icon, MsgIcon::Warning);
        QVERIFY(gPictureFound);  // the next attempt starts afresh
    }

    void databaseGoneOnOpening()
    {
        gConn.close();
        QVERIFY(!openTunnel());
        QCOMPARE(m_prompt->messages(), QStringList{"Error loading Element Definitions screen."});
        QVERIFY(!IsFormLoaded(QStringLiteral("frmPanelElements")));
        errLogHas(QStringLiteral("frmPanelElements"));
    }

    void noPictureNameWithFilesInTheFolderOpensWithoutPicture()
    {
        DbSetTunnelPicture(m_tunnel, QString());
        frmPanelElements* w = openTunnel();
        QVERIFY(w && w->isVisible());
        QVERIFY(w->ZVMap1->Image().isEmpty());
        QCOMPARE(w->ZVMap1->PolyCount(), 2);
        QVERIFY(m_prompt->calls.isEmpty());
    }

    void reopenedForAnotherTunnelShowsOnlyItsPanels()
    {
        const qint32 south = FixtureTunnel(QStringLiteral("South Bore"));
        QVERIFY(QDir().mkpath(m_install->file("Data/South Bore")));
        makePicture(m_install->file("Data/South Bore/south.png"));
        DbSetTunnelPicture(south, QStringLiteral("south.png"));
        const qint32 s1 = DbAddPanel(south, QStringLiteral("S1"));
        DbSavePanelCoords(s1, square(6000, 3000, 1500));

        QPointer<frmPanelElements> first = openTunnel();
        QPointer<frmPanelElements> second = open(south);
        QVERIFY(!first);
        QVERIFY(second && second->isVisible());
        QCOMPARE(second->ZVMap1->PolyCount(), 1);
        click(*second->ZVMap1, 1000, 1000);  // where North Bore's Panel A was drawn
        QVERIFY(texts(second->lstPanels).isEmpty());
        click(*second->ZVMap1, 6500, 3500);
        QCOMPARE(texts(second->lstPanels), QStringList{"S1"});
        QCOMPARE(second->PanelID(), s1);

        // The same window loaded again by an opener that kept it.
        QMetaObject::invokeMethod(second, "LoadForm", Q_ARG(qint32, m_tunnel));
        QCOMPARE(second->ZVMap1->PolyCount(), 2);
        QCOMPARE(second->ZVMap1->Poly(0).ID, m_panelA);
        QVERIFY(texts(second->lstPanels).isEmpty());
        click(*second->ZVMap1, 6500, 3500);  // where S1 was
        QVERIFY(texts(second->lstPanels).isEmpty());
    }

    // ------------------------------------------------------------ picking panels

    void pickingPanelsOnTheMap()
    {
        frmPanelElements* w = openTunnel();
        ZVMap& map = *w->ZVMap1;
        click(map, 1000, 1000);
        QCOMPARE(texts(w->lstPanels), QStringList{"Panel A"});
        QCOMPARE(selectedTexts(w->lstPanels), QStringList{"Panel A"});
        QCOMPARE(w->lblPanelName->text(), QStringLiteral("Panel A"));
        QCOMPARE(texts(w->lstEle), QStringList{"Drain"});

        click(map, 3500, 1000, Qt::LeftButton, Qt::ControlModifier);  // adds B; A stays current
        QCOMPARE(texts(w->lstPanels), (QStringList{"Panel A", "Panel B"}));
        QCOMPARE(w->PanelID(), m_panelA);
        QCOMPARE(selectedTexts(w->lstPanels), QStringList{"Panel A"});

        click(map, 1000, 1000, Qt::LeftButton, Qt::ControlModifier);  // takes A out: B becomes current
        QCOMPARE(texts(w->lstPanels), QStringList{"Panel B"});
        QCOMPARE(w->PanelID(), m_panelB);
        QCOMPARE(w->lblPanelName->text(), QStringLiteral("Panel B"));
        QVERIFY(texts(w->lstEle).isEmpty());

        click(map, 3500, 1000, Qt::LeftButton, Qt::ControlModifier);  // the last one out
        QVERIFY(texts(w->lstPanels).isEmpty());
        QVERIFY(texts(w->lstEle).isEmpty());
        QVERIFY(w->lblPanelName->text().isEmpty());

        click(map, 1000, 1000, Qt::LeftButton, Qt::ControlModifier);
        click(map, 3500, 1000, Qt::LeftButton, Qt::ControlModifier);
        click(map, 3500, 1000, Qt::LeftButton, Qt::ShiftModifier | Qt::ControlModifier);  // not Ctrl alone
        QCOMPARE(texts(w->lstPanels), QStringList{"Panel B"});

        // Choosing in the list makes that panel current and highlights its outline.
        w->cmdSelectAllPanels->click();
        QCOMPARE(texts(w->lstPanels), (QStringList{"Panel A", "Panel B", "Panel C"}));  // C has no outline
        QCOMPARE(w->PanelID(), m_panelA);
        const QRect second = w->lstPanels->visualItemRect(w->lstPanels->item(1));
        QTest::mouseClick(w->lstPanels->viewport(), Qt::LeftButton, Qt::NoModifier, second.center());
        QCOMPARE(w->PanelID(), m_panelB);
        QCOMPARE(w->lblPanelName->text(), QStringLiteral("Panel B"));
        QCOMPARE(map.Line(4).width, map.DrawWidth() + 2);  // B's first edge
        QCOMPARE(map.Line(0).width, int(map.DrawWidth()));
        QVERIFY(m_prompt->calls.isEmpty());
    }

    // ------------------------------------------------------------ adding and removing

    void addToEveryPickedPanel()
    {
        frmPanelElements* w = openTunnel();
        selectTexts(w->lstAvailEle, {"Drain"});
        w->cmdAdd->click();  // no panel picked: nothing
        QCOMPARE(pairs(), QStringList{"Panel A|Drain"});

        click(*w->ZVMap1, 1000, 1000);
        click(*w->ZVMap1, 3500, 1000, Qt::LeftButton, Qt::ControlModifier);
        selectTexts(w->lstAvailEle, {"Drain", "Lamp"});
        w->cmdAdd->click();
        QCOMPARE(pairs(), (QStringList{"Panel A|Drain", "Panel A|Lamp", "Panel B|Drain", "Panel B|Lamp"}));
        QVERIFY(selectedTexts(w->lstAvailEle).isEmpty());
        QCOMPARE(texts(w->lstEle), (QStringList{"Drain", "Lamp"}));  // the selected panel's
        QCOMPARE(w->PanelID(), m_panelA);
        QVERIFY(m_prompt->calls.isEmpty());  // an existing pair is passed over silently

        w->cmdSelectAllEle->click();
        QCOMPARE(selectedTexts(w->lstAvailEle), (QStringList{"Lining", "Drain", "Rail", "Lamp"}));
    }

    // A panel or element removed meanwhile (in the panel window, or by another program) gets no
    // elements and the user is told; the other picked panel gets them all the same.
    void addIntoWhatIsRemoved_data()
    {
        QTest::addColumn<QString>("removedBy");
        QTest::addColumn<QString>("told");
        QTest::addColumn<QStringList>("stored");
        QTest::addColumn<QStringList>("picked");
        QTest::addColumn<QStringList>("available");
        const QStringList all{"Lining", "Drain", "Rail", "Lamp"};
        const QString panelGone = "The panel Panel B was removed by another user; nothing was saved for it.";
        const QStringList toA{"Panel A|Drain", "Panel A|Rail", "Panel A|Lamp"};
        QTest::newRow("panel removed in the panel window") << "window" << panelGone << toA << QStringList{"Panel A"} << all;
        QTest::newRow("panel removed by another program") << "panel" << panelGone << toA << QStringList{"Panel A"} << all;
        QTest::newRow("element removed by another program")
            << "element" << "The element Rail was removed by another user; nothing was saved for it."
            << QStringList{"Panel A|Drain", "Panel A|Lamp", "Panel B|Lamp"} << QStringList{"Panel A", "Panel B"}
            << QStringList{"Lining", "Drain", "Lamp"};
    }
    void addIntoWhatIsRemoved()
    {
        QFETCH(QString, removedBy);
        QFETCH(QString, told);
        QFETCH(QStringList, stored);
        QFETCH(QStringList, picked);
        QFETCH(QStringList, available);
        QPointer<frmPanelElements> w = openTunnel();
        click(*w->ZVMap1, 1000, 1000);
        click(*w->ZVMap1, 3500, 1000, Qt::LeftButton, Qt::ControlModifier);
        selectTexts(w->lstAvailEle, {"Rail", "Lamp"});
        if (removedBy == QLatin1String("window")) {
            auto* specs = qobject_cast<frmTunnelSpecs*>(CreateForm(QStringLiteral("frmTunnelSpecs")));
            specs->LoadForm(m_tunnel);
            click(*specs->ZVMap1, 3500, 1000);
            m_msgAnswers = {MsgAnswer::Yes};
            specs->mnuDelete->trigger();
            QCOMPARE(CountRows("Panels", "PanelID = ?", {m_panelB}), 0);
            m_prompt->calls.clear();
        } else if (removedBy == QLatin1String("panel")) {
            QCOMPARE(RunSqliteShell(m_install->dbPath(),
                                    QStringLiteral("DELETE FROM Panels WHERE PanelID = %1").arg(m_panelB)),
                     QString());
        } else {
            QCOMPARE(RunSqliteShell(m_install->dbPath(), QStringLiteral("DELETE FROM AvailableElements WHERE ElementID = 2")),
                     QString());
        }
        QVERIFY(w);
        w->cmdAdd->click();
        QCOMPARE(m_prompt->messages(), QStringList{told});
        QCOMPARE(::pairs(), stored);
        // No row for what is gone.
        QCOMPARE(CountRows("PanelElements", removedBy == QLatin1String("element") ? QStringLiteral("ElementID = 2")
                                                                                   : QStringLiteral("PanelID = %1").arg(m_panelB)),
                 0);
        QCOMPARE(texts(w->lstPanels), picked);
        QCOMPARE(w->ZVMap1->PolyCount(), picked.size());
        QCOMPARE(texts(w->lstAvailEle), available);
        QCOMPARE(w->PanelID(), m_panelA);
    }

    void selectAllThenAddAddsEveryElement()
    {
        frmPanelElements* w = openTunnel();
        click(*w->ZVMap1, 3500, 1000);  // Panel B; no element row has been clicked
        QCOMPARE(w->lstAvailEle->currentRow(), -1);
        w->cmdSelectAllEle->click();
        w->cmdAdd->click();
        QCOMPARE(pairs(), (QStringList{"Panel A|Drain", "Panel B|Lining", "Panel B|Drain", "Panel B|Rail",
                                       "Panel B|Lamp"}));
        QCOMPARE(texts(w->lstEle), (QStringList{"Lining", "Drain", "Rail", "Lamp"}));
        QVERIFY(m_prompt->calls.isEmpty());
    }

    void failedAddWritesNothing()
    {
        frmPanelElements* w = openTunnel();
        click(*w->ZVMap1, 1000, 1000);
        click(*w->ZVMap1, 3500, 1000, Qt::LeftButton, Qt::ControlModifier);
        FailWhen("fail_pair", "INSERT", "PanelElements", QStringLiteral("NEW.PanelID = %1").arg(m_panelB));
        selectTexts(w->lstAvailEle, {"Rail"});
        w->cmdAdd->click();
        QCOMPARE(m_prompt->messages(), QStringList{"Error: Unable to add element(s)."});
        QCOMPARE(pairs(), QStringList{"Panel A|Drain"});  // not Panel A's half either
        QCOMPARE(w->PanelID(), m_panelA);
        QCOMPARE(selectedTexts(w->lstAvailEle), QStringList{"Rail"});  // still chosen, to try again
    }

    void removeFromTheCurrentPanelOnly_data()
    {
        QTest::addColumn<QList<MsgAnswer>>("answers");
        QTest::addColumn<QStringList>("left");
        QTest::addColumn<QStringList>("panelA");
        using A = QList<MsgAnswer>;
        QTest::newRow("all yes") << A{MsgAnswer::Yes, MsgAnswer::Yes} << QStringList{}
                                 << QStringList{};
        QTest::newRow("ratings kept") << A{MsgAnswer::No, MsgAnswer::Yes} << QStringList{"Drain"}
                                      << QStringList{"Panel A|Drain"};
        QTest::newRow("images kept") << A{MsgAnswer::Yes, MsgAnswer::No} << QStringList{"Rail"}
                                     << QStringList{"Panel A|Rail"};
    }
    void removeFromTheCurrentPanelOnly()
    {
        QFETCH(QList<MsgAnswer>, answers);
        QFETCH(QStringList, left);
        QFETCH(QStringList, panelA);
        const qint32 period = FixturePeriod(m_tunnel, 2024);
        DbAddPanelElement(m_panelA, 2);
        DbAddPanelElement(m_panelA, 3);
        for (qint32 e : {1, 2})
            DbAddPanelElement(m_panelB, e);
        gConn.exec(QStringLiteral("INSERT INTO Ratings (InspectionID, PanelID, ElementID, Rating) VALUES (?, ?, 1, 4)"),
                   {period, m_panelA});
        FixturePicture(m_panelA, 2, period, QStringLiteral("p1.jpg"), false);

        frmPanelElements* w = openTunnel();
        click(*w->ZVMap1, 1000, 1000);
        click(*w->ZVMap1, 3500, 1000, Qt::LeftButton, Qt::ControlModifier);
        QCOMPARE(texts(w->lstEle), (QStringList{"Drain", "Rail", "Lamp"}));
        w->cmdRemove->click();  // nothing selected: nothing asked
        QVERIFY(m_prompt->calls.isEmpty());

        selectTexts(w->lstEle, {"Drain", "Rail", "Lamp"});
        m_msgAnswers = answers;
        w->cmdRemove->click();
        QCOMPARE(m_prompt->messages(),
                 (QStringList{"This element has ratings data.  Would you like to delete it anyway?",
                              "There are also images associated with this element.  Would you like to continue?"}));
        QCOMPARE(texts(w->lstEle), left);
        QVERIFY(selectedTexts(w->lstEle).isEmpty());  // refused ones are deselected
        QCOMPARE(pairs(), panelA + QStringList({"Panel B|Drain", "Panel B|Rail"}));
        QCOMPARE(CountRows("Ratings"), left.contains("Drain") ? 1 : 0);
        QCOMPARE(CountRows("ImagePaths"), left.contains("Rail") ? 1 : 0);
    }

    // ------------------------------------------------------------ pop-up menu

    void borderWidthOnThisMapOnly_data()
    {
        QTest::addColumn<QStringList>("answers");
        QTest::addColumn<int>("messages");
        QTest::addColumn<int>("width");
        QTest::newRow("0, 6, -1 then 3") << QStringList{"0", "6", "-1", "3"} << 3 << 3;
        QTest::newRow("2.5 told once") << QStringList{"2.5", "4"} << 1 << 2;
        QTest::newRow("cancel") << QStringList{} << 0 << 2;
    }
    void borderWidthOnThisMapOnly()
    {
        QFETCH(QStringList, answers);
        QFETCH(int, messages);
        QFETCH(int, width);
        DbSetDrawWidth(QStringLiteral("Tunnels"), m_tunnel, 2);
        frmPanelElements* w = openTunnel();
        for (const QString& a : answers)
            m_prompt->answerText(a);
        w->mnuBorderWidth->trigger();
        QCOMPARE(m_prompt->calls.first().text, QStringLiteral("Change border width from 2 to: (5 max)"));
        QCOMPARE(m_prompt->count(PromptCall::Message), messages);
        QCOMPARE(w->ZVMap1->DrawWidth(), qint16(width));
        QCOMPARE(w->ZVMap1->Line(0).width, width);
        QCOMPARE(DbGetTunnelDrawWidth(m_tunnel), 2);  // never stored
    }

    void popUpMenuAndColour()
    {
        frmPanelElements* w = openTunnel();
        ZVMap& map = *w->ZVMap1;
        click(map, 8000, 5000, Qt::RightButton);
        QVERIFY(w->mnuPopUp->isVisible());
        w->mnuPopUp->hide();
        QStringList captions;
        for (QAction* a : w->mnuPopUp->actions())
            captions << (a->isSeparator() ? QStringLiteral("-") : a->text());
        QCOMPARE(captions, (QStringList{"Pan", "Zoom", "-", "Set Border Width", "Set Border Color"}));
        w->mnuZoom200->trigger();
        QCOMPARE(map.ZoomFactor(), 2.0f);
        w->mnuPan->trigger();
        QVERIFY(map.PanOn());

        m_prompt->answers.enqueue(QVariant::fromValue(quint32(0x0000E6FF)));
        w->mnuBorderColor->trigger();
        QCOMPARE(DbGetTunnelForeground(m_tunnel), 0x0000E6FF);
        QCOMPARE(map.ForeColor(), 0x0000E6FFu);
        FailWhen("fail_colour", "UPDATE", "Tunnels", "1");
        m_prompt->answers.enqueue(QVariant::fromValue(quint32(0x000000FF)));
        w->mnuBorderColor->trigger();
        QCOMPARE(m_prompt->messages(), QStringList{"Error modifying border color."});
        QCOMPARE(map.ForeColor(), 0x0000E6FFu);

        w->cmdClose->click();
        QVERIFY(!IsFormLoaded(QStringLiteral("frmPanelElements")));
    }
};

QTEST_MAIN(TestPanelElements)
#include "tst_panelelements.moc"

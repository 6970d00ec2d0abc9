// The review window: periods side by side, shading from the later period, the rows of the
// current panel, comments and defects, repair logs and emergencies, custom data tabs, the
// media and print commands, reloads, rights and unloading.

#include "db.h"
#include "fixtures.h"
#include "forms.h"
#include "frmDataView.h"
#include "frmTunnelSpecs.h"
#include "globals.h"
#include "helpers.h"
#include "krverror.h"
#include "alteredtexts.h"
#include "otherprogram.h"
#include "prompt.h"
#include "reviewforms.h"
#include "scriptedprompt.h"
#include "settings.h"
#include "testinstall.h"
#include "zvmap.h"
#include "frmViewSystem.h"

#include <QDateEdit>
#include <QDialog>
#include <QDir>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

#include <memory>

namespace {

// What the stand-ins of other libraries' windows were asked to do, in order.
QStringList gCalls;

// A window of a later library, as far as the review uses it.
class FakeForm : public KrvForm<QDialog> {
    Q_OBJECT
public:
    explicit FakeForm(const QString& name) : KrvForm<QDialog>(name) {}

    // Every LoadForm fails.
    static inline bool failLoad = false;

    Q_INVOKABLE void LoadForm(qint16 index, bool sketch, qint32 panelId, qint32 elementId, qint32 inspectionId)
    {
        if (failLoad)
            throw KrvError(53, QStringLiteral("File not found"));
        gCalls << QStringLiteral("%1.LoadForm(%2,%3,%4,%5,%6)")
                      .arg(objectName())
                      .arg(index)
                      .arg(sketch ? "true" : "false")
                      .arg(panelId)
                      .arg(elementId)
                      .arg(inspectionId);
        show();
    }
    Q_INVOKABLE void LoadForm(qint32 panelId, qint32 elementId, qint32 inspectionId, bool sketch)
    {
        gCalls << QStringLiteral("%1.LoadForm(%2,%3,%4,%5)")
                      .arg(objectName())
                      .arg(panelId)
                      .arg(elementId)
                      .arg(inspectionId)
                      .arg(sketch ? "true" : "false");
        show();
    }
    Q_INVOKABLE void LoadForm(qint32 panelId, qint32 elementId, qint32 inspectionId)
    {
        if (failLoad)
            throw KrvError(53, QStringLiteral("File not found"));
        gCalls << QStringLiteral("%1.LoadForm(%2,%3,%4)").arg(objectName()).arg(panelId).arg(elementId).arg(inspectionId);
        show();
    }
    Q_INVOKABLE void LoadForm(qint32 tunnelId, qint32 first, qint32 second, QWidget* caller)
    {
        gCalls << QStringLiteral("%1.LoadForm(%2,%3,%4,%5)")
                      .arg(objectName())
                      .arg(tunnelId)
                      .arg(first)
                      .arg(second)
                      .arg(caller ? caller->objectName() : QStringLiteral("null"));
    }
    Q_INVOKABLE QString GetFormType(QString& kind)
    {
        gCalls << QStringLiteral("%1.GetFormType(%2)").arg(objectName(), kind);
        return QString();
    }
    int exec() override
    {
        gCalls << objectName() + QStringLiteral(".exec");
        return 0;
    }
};

const QStringList kLaterWindows{QStringLiteral("frmImages"), QStringLiteral("frmMultImg"),
                                QStringLiteral("frmVideoView"), QStringLiteral("frmPrintKeyplan"),
                                QStringLiteral("frmReport")};

void RegisterFakes(bool on)
{
    for (const QString& name : kLaterWindows)
        RegisterFormFactory(name, on ? FormFactory([name] { return new FakeForm(name); }) : FormFactory());
}

qint32 AddPanel(qint32 tunnelId, int num, const QString& name)
{
    return qint32(gConn.insertAutoNumber(QStringLiteral("Panels"), {{QStringLiteral("TunnelID"), tunnelId},
                                                                    {QStringLiteral("PanelNum"), num},
                                                                    {QStringLiteral("PanelName"), name}}));
}

void AddOutline(qint32 panelId, int x, int y, int w, int h)
{
    const QVector<QPoint> pts{{x, y}, {x + w, y}, {x + w, y + h}, {x, y + h}};
    int i = 1;
    for (const QPoint& p : pts)
        gConn.exec(QStringLiteral("INSERT INTO PanelCoord (PanelID, CoordIndex, PanelX, PanelY) VALUES (?, ?, ?, ?)"),
                   {panelId, i++, p.x(), p.y()});
}

qint32 AddCategory(const QString& name, int sort)
{
    return qint32(gConn.insertAutoNumber(QStringLiteral("ElementCategory"),
                                         {{QStringLiteral("EleCategoryName"), name},
                                          {QStringLiteral("EleCategorySort"), sort}}));
}

void Assign(qint32 panelId, qint32 elementId)
{
    gConn.exec(QStringLiteral("INSERT INTO PanelElements (PanelID, ElementID) VALUES (?, ?)"), {panelId, elementId});
}

void Post(qint32 inspectionId, qint32 panelId, qint32 elementId, const QVariant& rating)
{
    gConn.exec(QStringLiteral("INSERT INTO RatingsPosted (InspectionID, PanelID, ElementID, Rating) VALUES (?, ?, ?, ?)"),
               {inspectionId, panelId, elementId, rating});
}

void PostComment(qint32 inspectionId, qint32 panelId, const QString& text)
{
    gConn.exec(QStringLiteral("INSERT INTO PanelCommentsPosted (InspectionID, PanelID, Comments) VALUES (?, ?, ?)"),
               {inspectionId, panelId, text});
}

void PostDefect(qint32 id, qint32 inspectionId, qint32 panelId, const QVariant& description, double quantity,
                const QString& units, double unitCost, double totalCost)
{
    gConn.exec(QStringLiteral("INSERT INTO DefectQuantityPosted (ID, PanelID, InspectionID, Quantity, Units, UnitCost, "
                              "TotalCost, Description) VALUES (?, ?, ?, ?, ?, ?, ?, ?)"),
               {id, panelId, inspectionId, quantity, units, unitCost, totalCost, description});
}

void PostPicture(qint32 panelId, qint32 elementId, qint32 inspectionId, const QString& file, bool sketch)
{
    FixturePicture(panelId, elementId, inspectionId, file, sketch, QString(), true);
    gConn.exec(QStringLiteral("INSERT INTO ImagePathsPosted (PanelID, ElementID, ImagePath, FieldSketch, InspectionID) "
                              "VALUES (?, ?, ?, ?, ?)"),
               {panelId, elementId, file, int(sketch), inspectionId});
}

void SendToMap(ZVMap* map, QEvent::Type type, Qt::MouseButton button, double x, double y)
{
    QWidget* vp = map->findChild<QWidget*>(QStringLiteral("picContainer"));
    const QPointF local((x + map->SurfaceLeft()) / 15.0, (y + map->SurfaceTop()) / 15.0);
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : button;
    QMouseEvent ev(type, local, vp->mapToGlobal(local), button, held, Qt::NoModifier);
    QApplication::sendEvent(vp, &ev);
}

void ClickMap(ZVMap* map, double x, double y)
{
    SendToMap(map, QEvent::MouseButtonPress, Qt::LeftButton, x, y);
    SendToMap(map, QEvent::MouseButtonRelease, Qt::LeftButton, x, y);
}

QStringList Texts(const QVector<QLabel*>& labels, int n)
{
    QStringList out;
    for (int i = 0; i < n; ++i)
        out << labels[i]->text();
    return out;
}

QStringList ListTexts(const QListWidget* list)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->item(i)->text();
    return out;
}

QStringList TreeRows(const QTreeWidget* tree)
{
    QStringList out;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        QStringList cells;
        for (int c = 0; c < 5; ++c)
            cells << tree->topLevelItem(i)->text(c);
        out << cells.join(QLatin1Char('|'));
    }
    return out;
}

frmDataView* Review() { return qobject_cast<frmDataView*>(CreateForm(QStringLiteral("frmDataView"))); }

}  // namespace

class TestDataView : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TestInstall> m_install;
    std::unique_ptr<ScriptedPrompt> m_prompt;
    qint32 m_tunnel = 0;
    qint32 m_p2022 = 0, m_p2024 = 0;
    qint32 m_west = 0;   // PanelNum 2, leftmost outline (x 1500)
    qint32 m_east = 0;   // PanelNum 1, outline from x 6000
    qint32 m_bare = 0;   // PanelNum 3, no outline
    qint32 m_lining = 0, m_drains = 0;

    // A tunnel with a picture, three panels (one without an outline), two categories of
    // elements and two posted periods.
    void makeTunnel()
    {
        FixtureSystem(QStringLiteral("Harbour Line"));
        m_tunnel = FixtureTunnel(QStringLiteral("East Bore"));
        QDir(m_install->folder()).mkpath(QStringLiteral("Data/East Bore"));
        QImage img(900, 400, QImage::Format_RGB32);
        img.fill(Qt::white);
        QVERIFY(img.save(m_install->file(QStringLiteral("Data/East Bore/bore.png"))));
        gConn.exec(QStringLiteral("UPDATE Tunnels SET TunnelPicture = 'bore.png' WHERE TunnelID = ?"), {m_tunnel});
        m_east = AddPanel(m_tunnel, 1, QStringLiteral("East"));
        m_west = AddPanel(m_tunnel, 2, QStringLiteral("West"));
        m_bare = AddPanel(m_tunnel, 3, QStringLiteral("Bare"));
        AddOutline(m_east, 6000, 1500, 3000, 3000);
        AddOutline(m_west, 1500, 1500, 3000, 3000);
        m_lining = AddCategory(QStringLiteral("Lining"), 1);
        m_drains = AddCategory(QStringLiteral("Roof&Drains"), 2);
        FixtureElement(1, QStringLiteral("Crown"), m_lining);
        FixtureElement(2, QStringLiteral("Wall"), m_lining);
        FixtureElement(3, QStringLiteral("Invert"), m_lining);
        FixtureElement(4, QStringLiteral("Gully"), m_drains);
        for (qint32 p : {m_east, m_west})
            for (qint32 e : {1, 2, 3, 4})
                Assign(p, e);
        m_p2022 = FixturePeriod(m_tunnel, 2022);
        m_p2024 = FixturePeriod(m_tunnel, 2024);
        gWarningHighlight = 5;
        gCriticalHighlight = 3;
    }

    frmDataView* open(qint32 first, qint32 second)
    {
        frmDataView* w = Review();
        w->LoadForm(m_tunnel, first, second);
        return w;
    }

    static qint16 shadingOf(ZVMap* map, qint32 id)
    {
        for (int i = 0; i < map->PolyCount(); ++i)
            if (map->Poly(i).ID == id)
                return map->Poly(i).Shading;
        return -1;
    }

private slots:
    void initTestCase() { RegisterReviewForms(); }

    void init()
    {
        m_install = std::make_unique<TestInstall>();
        m_prompt = std::make_unique<ScriptedPrompt>();
        gCalls.clear();
        FakeForm::failLoad = false;
        gIsDataEntry = true;
        QLocale::setDefault(QLocale::c());
    }
    void cleanup()
    {
        for (QWidget* w : LoadedForms())
            UnloadForm(w);
        RegisterFakes(false);
        m_prompt.reset();
        m_install.reset();
    }

    void twoPeriodsSideBySide()
    {
        makeTunnel();
        Post(m_p2022, m_west, 1, 7);
        Post(m_p2022, m_west, 2, 6);
        Post(m_p2024, m_west, 1, 4);
        Post(m_p2024, m_west, 2, -1);  // changed after posting
        PostComment(m_p2022, m_west, QStringLiteral("Hairline cracks."));
        PostComment(m_p2024, m_west, QStringLiteral("Cracks wider; it's spreading."));
        PostDefect(11, m_p2022, m_west, QStringLiteral("Spalling"), 2.5, QStringLiteral("m2"), 40, 100);
        PostDefect(12, m_p2024, m_west, QVariant(), 3, QStringLiteral("m"), 12.5, 37.5);

        frmDataView* w = open(m_p2022, m_p2024);
        QVERIFY(m_prompt->calls.isEmpty());
        QVERIFY(w->isVisible());
        QCOMPARE(w->windowTitle(), QStringLiteral("Harbour Line - East Bore"));
        QCOMPARE(w->ZVMap1->Image(), m_install->file(QStringLiteral("Data/East Bore/bore.png")));
        QCOMPARE(w->Year1(), 2022);
        QCOMPARE(w->Year2(), 2024);
        // Panels with outlines only; the leftmost vertex picks the first panel shown.
        QCOMPARE(w->ZVMap1->PolyCount(), 2);
        QCOMPARE(w->CurrentPanelID(), m_west);
        QCOMPARE(w->lblPanelID->text(), QStringLiteral("West"));
        QCOMPARE(frmDataView::Tag(w->lblPanelID), QString::number(m_west));

        QCOMPARE(w->lblYear1[0]->text() + w->lblYear1[1]->text(), QStringLiteral("20222022"));
        QCOMPARE(w->lblYear2[0]->text() + w->lblYear2[1]->text(), QStringLiteral("20242024"));
        QStringList tabs;
        for (int i = 0; i < 6; ++i)
            tabs << w->SSTab1->tabText(i);
        QCOMPARE(tabs, (QStringList{"Comments 2022", "Defect Quantity 2022", "Comments 2024", "Defect Quantity 2024",
                                    "Repair Log", "&Emergency Incidents"}));
        QVERIFY(w->SSTab1->isTabVisible(2) && w->SSTab1->isTabVisible(3));

        // Categories of the panel in their order; the rows of the first.
        QCOMPARE(w->TabStrip1->count(), 2);
        QCOMPARE(w->TabStrip1->tabText(0), QStringLiteral("Lining"));
        QCOMPARE(w->TabStrip1->tabData(1).toInt(), m_drains);
        QCOMPARE(w->TabStrip1->tabText(1), QStringLiteral("Roof&&Drains"));  // as written, no access key
        QCOMPARE(w->RowCount(), 3);
        QCOMPARE(Texts(w->lblElement, 3), (QStringList{"Crown", "Wall", "Invert"}));
        QCOMPARE(Texts(w->lblRate1, 3), (QStringList{"7", "6", ""}));
        QCOMPARE(Texts(w->lblRate2, 3), (QStringList{"4", "M", ""}));
        QCOMPARE(frmDataView::Tag(w->lblElement[2]), QStringLiteral("3"));
        QVERIFY(w->lblRate2[1]->isVisibleTo(w));

        QCOMPARE(w->txtComments[0]->toPlainText(), QStringLiteral("Hairline cracks."));
        QCOMPARE(w->txtComments[1]->toPlainText(), QStringLiteral("Cracks wider; it's spreading."));
        QVERIFY(w->txtComments[0]->isReadOnly());
        QCOMPARE(TreeRows(w->lvDefectQty), QStringList{"Spalling|2.5|m2|$40|$100.00"});
        QCOMPARE(TreeRows(w->lvDefectQty2), QStringList{"|3|m|$12.5|$37.50"});
        QCOMPARE(w->lvDefectQty->topLevelItem(0)->data(0, Qt::UserRole).toString(), QStringLiteral("X11"));

        // The other category's rows.
        w->TabStrip1->setCurrentIndex(1);
        QCOMPARE(w->RowCount(), 1);
        QCOMPARE(w->lblElement.size(), 1);
        QCOMPARE(w->lblElement[0]->text(), QStringLiteral("Gully"));
    }

    // The map reads every panel's lowest posted rating at once; a stored value that is no
    // whole number still shades as the element-by-element reading does.
    void shadingOfStoredValuesThatAreNoWholeNumbers_data()
    {
        QTest::addColumn<QVariant>("odd");
        QTest::addColumn<int>("level");
        QTest::newRow("letters read as 0") << QVariant(QStringLiteral("x")) << 2;
        QTest::newRow("a number before letters") << QVariant(QStringLiteral("4a")) << 1;
        QTest::newRow("a fraction rounds half to even") << QVariant(5.5) << 0;
        QTest::newRow("above nine counts as nine") << QVariant(12) << 0;
    }
    void shadingOfStoredValuesThatAreNoWholeNumbers()
    {
        QFETCH(QVariant, odd);
        QFETCH(int, level);
        makeTunnel();
        Post(m_p2024, m_west, 1, 7);
        Post(m_p2024, m_west, 2, odd);
        frmDataView* w = open(m_p2024, 0);
        QCOMPARE(shadingOf(w->ZVMap1, m_west), qint16(level));
        QCOMPARE(shadingOf(w->ZVMap1, m_east), qint16(0));
    }

    void shadingUsesTheLaterPeriod_data()
    {
        QTest::addColumn<int>("firstYear");
        QTest::addColumn<int>("secondYear");  // 0: one period
        QTest::addColumn<QVariant>("firstRating");
        QTest::addColumn<QVariant>("secondRating");
        QTest::addColumn<int>("level");  // -2: nothing sent
        QTest::newRow("later second, 5 warns") << 2022 << 2024 << QVariant(9) << QVariant(5) << 1;
        QTest::newRow("later second, 3 critical") << 2022 << 2024 << QVariant(9) << QVariant(3) << 2;
        QTest::newRow("later second, 6 nothing") << 2022 << 2024 << QVariant(1) << QVariant(6) << 0;
        QTest::newRow("earlier second: first period") << 2024 << 2022 << QVariant(2) << QVariant(8) << 2;
        QTest::newRow("same year: first period") << 2024 << 2024 << QVariant(4) << QVariant(1) << 1;
        QTest::newRow("one period") << 2022 << 0 << QVariant(3) << QVariant() << 2;
        QTest::newRow("changed after posting is skipped") << 2022 << 2024 << QVariant(1) << QVariant(-1) << 0;
        QTest::newRow("no rating is skipped") << 2022 << 2024 << QVariant(1) << QVariant() << 0;
    }
    void shadingUsesTheLaterPeriod()
    {
        QFETCH(int, firstYear);
        QFETCH(int, secondYear);
        QFETCH(QVariant, firstRating);
        QFETCH(QVariant, secondRating);
        QFETCH(int, level);
        makeTunnel();
        const qint32 first = firstYear == 2022 ? m_p2022 : m_p2024;
        qint32 second = secondYear == 0 ? 0 : secondYear == 2022 ? m_p2022 : m_p2024;
        if (firstYear == secondYear)
            second = FixturePeriod(m_tunnel, qint16(secondYear));
        Post(first, m_west, 1, firstRating);
        if (second != 0)
            Post(second, m_west, 1, secondRating);
        frmDataView* w = open(first, second);
        QCOMPARE(shadingOf(w->ZVMap1, m_west), qint16(level));
        QCOMPARE(shadingOf(w->ZVMap1, m_east), qint16(0));
    }

    void onePeriod()
    {
        makeTunnel();
        PostPicture(m_west, 1, m_p2024, QStringLiteral("crown.jpg"), false);
        frmDataView* w = open(m_p2022, 0);
        QVERIFY(!w->SSTab1->isTabVisible(2) && !w->SSTab1->isTabVisible(3));
        QCOMPARE(w->SSTab1->tabText(2), QStringLiteral("Comments"));
        QCOMPARE(w->lblYear2[0]->text() + w->lblYear2[1]->text(), QString());
        for (int i = 0; i < w->RowCount(); ++i) {
            QVERIFY(!w->lblRate2[i]->isVisibleTo(w));
            QVERIFY(!w->cmdPhoto2[i]->isVisibleTo(w));
        }
        QCOMPARE(w->txtComments[1]->toPlainText(), QString());
        QCOMPARE(w->lvDefectQty2->topLevelItemCount(), 0);
    }

    void rowGeometry_data()
    {
        QTest::addColumn<int>("n");
        QTest::addColumn<double>("container");
        QTest::addColumn<double>("ratings");
        QTest::addColumn<int>("scrollMax");  // -1: no scroll bar
        QTest::addColumn<QList<QPointF>>("lefttops");
        QTest::newRow("none") << 0 << 530.0 << 530.0 << -1 << QList<QPointF>{};
        QTest::newRow("one") << 1 << 845.0 << 845.0 << -1 << QList<QPointF>{{210, 420}};
        QTest::newRow("two") << 2 << 845.0 << 845.0 << -1 << QList<QPointF>{{210, 420}, {6825, 420}};
        QTest::newRow("six") << 6 << 1475.0 << 1475.0 << -1
                             << QList<QPointF>{{210, 420}, {210, 735}, {210, 1050}, {6825, 420}, {6825, 735},
                                               {6825, 1050}};
        QTest::newRow("seven") << 7 << 1475.0 << 1790.0 << 315
                               << QList<QPointF>{{210, 420}, {210, 735}, {210, 1050}, {210, 1365}, {6825, 420},
                                                 {6825, 735}, {6825, 1050}};
        QTest::newRow("eight") << 8 << 1475.0 << 1790.0 << 315 << QList<QPointF>{};
    }
    void rowGeometry()
    {
        QFETCH(int, n);
        QFETCH(double, container);
        QFETCH(double, ratings);
        QFETCH(int, scrollMax);
        QFETCH(QList<QPointF>, lefttops);
        makeTunnel();
        gConn.exec(QStringLiteral("DELETE FROM PanelElements"));
        for (int e = 0; e < n; ++e) {
            FixtureElement(10 + e, QStringLiteral("E%1").arg(e), m_lining);
            Assign(m_west, 10 + e);
        }
        frmDataView* w = open(m_p2022, m_p2024);
        QCOMPARE(w->RowCount(), n);
        QCOMPARE(w->lblElement.size(), qMax(n, 1));
        QCOMPARE(frmDataView::Tw(w->picContainer).height(), container);
        QCOMPARE(frmDataView::Tw(w->fraRatings).height(), ratings);
        QCOMPARE(frmDataView::TwY2(w->Line1), ratings - 245);
        QCOMPARE(w->VScroll1->isVisibleTo(w), scrollMax >= 0);
        if (scrollMax >= 0) {
            QCOMPARE(w->VScroll1->maximum(), scrollMax);
            QCOMPARE(frmDataView::Tw(w->VScroll1).height(), container);
        }
        for (int i = 0; i < lefttops.size(); ++i) {
            const QRectF r = frmDataView::Tw(w->lblElement[i]);
            QCOMPARE(r.topLeft(), lefttops[i]);
            // The row's other controls keep their offsets from the element label.
            QCOMPARE(frmDataView::Tw(w->cmdPhoto[i]).left() - r.left(), 2520.0 - 210);
            QCOMPARE(frmDataView::Tw(w->cmdVideo2[i]).left() - r.left(), 4500.0 - 210);
            QCOMPARE(frmDataView::Tw(w->lblRate2[i]).top(), r.top());
        }
        if (n == 0)
            QVERIFY(!w->lblElement[0]->isVisibleTo(w));
        // The tab dialog follows the row area.
        QCOMPARE(frmDataView::Tw(w->SSTab1).top(), 780 + container + 100);
        QCOMPARE(frmDataView::Tw(w->SSTab1).height(), 5520 - (780 + container + 100) - 500);
        QCOMPARE(frmDataView::Tw(w->lstRepairDates).height(), frmDataView::Tw(w->SSTab1).height() - 600);
    }

    void scrollingMovesTheRows()
    {
        makeTunnel();
        for (int e = 0; e < 10; ++e) {
            FixtureElement(10 + e, QStringLiteral("E%1").arg(e), m_lining);
            Assign(m_west, 10 + e);
        }
        frmDataView* w = open(m_p2022, 0);
        w->VScroll1->setValue(315);
        QCOMPARE(frmDataView::Tw(w->fraRatings).top(), -315.0);
        // A new build starts at the top.
        w->TabStrip1->setCurrentIndex(1);
        QCOMPARE(w->VScroll1->value(), 0);
        QCOMPARE(frmDataView::Tw(w->fraRatings).top(), 0.0);
    }

    void panelClickLoadsThatPanel()
    {
        makeTunnel();
        Post(m_p2022, m_east, 1, 2);
        PostComment(m_p2022, m_east, QStringLiteral("East side"));
        frmDataView* w = open(m_p2022, 0);
        w->show();
        ClickMap(w->ZVMap1, 7500, 3000);
        QCOMPARE(w->CurrentPanelID(), m_east);
        QCOMPARE(w->lblPanelID->text(), QStringLiteral("East"));
        QCOMPARE(w->lblRate1[0]->text(), QStringLiteral("2"));
        QCOMPARE(w->txtComments[0]->toPlainText(), QStringLiteral("East side"));
        QVERIFY(m_prompt->calls.isEmpty());
    }

    void reloadReplacesPolygonsAndShading()
    {
        makeTunnel();
        Post(m_p2022, m_west, 1, 2);
        Post(m_p2024, m_west, 1, 8);
        frmDataView* w = open(m_p2022, 0);
        QCOMPARE(shadingOf(w->ZVMap1, m_west), qint16(2));
        // Opened again on the loaded window: the same instance, no doubled outlines, no
        // shading left from the first load.
        QCOMPARE(Review(), w);
        w->LoadForm(m_tunnel, m_p2024, 0);
        QCOMPARE(w->ZVMap1->PolyCount(), 2);
        QCOMPARE(shadingOf(w->ZVMap1, m_west), qint16(0));
        QCOMPARE(w->Year1(), 2024);
        QCOMPARE(w->lblRate1[0]->text(), QStringLiteral("8"));
    }

    void tunnelWithoutPanels()
    {
        makeTunnel();
        const qint32 empty = FixtureTunnel(QStringLiteral("Adit"));
        const qint32 period = FixturePeriod(empty, 2022);
        frmDataView* w = open(m_p2022, 0);
        QCOMPARE(w->CurrentPanelID(), m_west);
        w->LoadForm(empty, period, 0);
        QVERIFY(m_prompt->calls.isEmpty());
        QCOMPARE(w->ZVMap1->PolyCount(), 0);
        QCOMPARE(w->CurrentPanelID(), 0);
        QCOMPARE(w->TabStrip1->count(), 0);
        QCOMPARE(w->RowCount(), 0);
        QCOMPARE(w->lblPanelID->text(), QString());
        // Nothing can be entered for no panel.
        w->SSTab1->setCurrentIndex(4);
        w->cmdAdd->click();
        QCOMPARE(m_prompt->calls.size(), 1);
        QCOMPARE(m_prompt->calls[0].text, QStringLiteral("Please select a panel from the keyplan at the top of the screen."));
        QCOMPARE(m_prompt->calls[0].title, QStringLiteral("Add Repair Log"));
        QVERIFY(w->cmdAdd->isVisibleTo(w));
        w->cmdAddEmergency->click();
        QCOMPARE(m_prompt->calls[1].title, QStringLiteral("Add Emergency Incident"));
        QCOMPARE(CountRows(QStringLiteral("RepairLogs")) + CountRows(QStringLiteral("Emergencies")), 0);
    }

    void loadFailureIsReportedAndUnloads()
    {
        makeTunnel();
        frmDataView* w = Review();
        QPointer<frmDataView> guard(w);
        w->LoadForm(m_tunnel, 9999, 0);
        QCOMPARE(m_prompt->messages(), QStringList{"Error loading the Data View screen."});
        QVERIFY(!IsFormLoaded(QStringLiteral("frmDataView")));
    }

    void missingPictureIsNoError()
    {
        makeTunnel();
        QFile::remove(m_install->file(QStringLiteral("Data/East Bore/bore.png")));
        frmDataView* w = open(m_p2022, 0);
        QVERIFY(m_prompt->calls.isEmpty());
        QVERIFY(w->isVisible());
        QCOMPARE(w->ZVMap1->PolyCount(), 2);
    }

    // A picture file that is no picture is a missing picture; a reload for a tunnel
    // without one shows none, not the previous tunnel's.
    void aFileThatIsNoPictureIsAMissingPicture_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("not a picture") << "garbage";
        QTest::newRow("no picture named") << "none";
        QTest::newRow("file gone") << "gone";
    }
    void aFileThatIsNoPictureIsAMissingPicture()
    {
        QFETCH(QString, how);
        makeTunnel();
        frmDataView* w = open(m_p2022, 0);
        QVERIFY(!w->ZVMap1->Picture().isNull());
        if (how == QLatin1String("garbage"))
            m_install->write(QStringLiteral("Data/East Bore/bore.png"), "this is no picture");
        else if (how == QLatin1String("none"))
            gConn.exec(QStringLiteral("UPDATE Tunnels SET TunnelPicture = NULL"));
        else
            QFile::remove(m_install->file(QStringLiteral("Data/East Bore/bore.png")));
        w->LoadForm(m_tunnel, m_p2024, 0);
        QCOMPARE(m_prompt->messages(), QStringList());
        QVERIFY(w->isVisible());
        QVERIFY(w->ZVMap1->Picture().isNull());
        QCOMPARE(w->ZVMap1->PolyCount(), 2);
        QCOMPARE(w->lblYear1[0]->text(), QStringLiteral("2024"));
    }

    void repairLogsByTheirKey()
    {
        makeTunnel();
        const QDate d(2023, 5, 4);
        const qint32 a = qint32(gConn.insertAutoNumber(QStringLiteral("RepairLogs"),
                                                       {{QStringLiteral("PanelID"), m_west},
                                                        {QStringLiteral("RepairDate"), d},
                                                        {QStringLiteral("RepairLog"), QStringLiteral("Patched crown")}}));
        gConn.insertAutoNumber(QStringLiteral("RepairLogs"), {{QStringLiteral("PanelID"), m_west},
                                                              {QStringLiteral("RepairDate"), d},
                                                              {QStringLiteral("RepairLog"), QStringLiteral("Sealed joint")}});
        gConn.insertAutoNumber(QStringLiteral("RepairLogs"), {{QStringLiteral("PanelID"), m_west},
                                                              {QStringLiteral("RepairDate"), QDate(2021, 1, 2)},
                                                              {QStringLiteral("RepairLog"), QStringLiteral("Early")}});
        frmDataView* w = open(m_p2022, 0);
        QCOMPARE(ListTexts(w->lstRepairDates),
                 (QStringList{ShortDateText(QDate(2021, 1, 2)), ShortDateText(d), ShortDateText(d)}));
        QCOMPARE(w->lstRepairDates->currentRow(), 0);
        QCOMPARE(w->txtRepairLog->toPlainText(), QStringLiteral("Early"));
        // Two entries of one date keep their own texts.
        w->lstRepairDates->setCurrentRow(1);
        QCOMPARE(w->txtRepairLog->toPlainText(), QStringLiteral("Patched crown"));
        w->lstRepairDates->setCurrentRow(2);
        QCOMPARE(w->txtRepairLog->toPlainText(), QStringLiteral("Sealed joint"));

        // No keeps everything; Yes deletes only the chosen entry.
        m_prompt->answer(MsgAnswer::No);
        w->cmdDelete->click();
        QCOMPARE(m_prompt->calls.last().text,
                 QStringLiteral("Are you sure you want to delete this entry on %1?").arg(ShortDateText(d)));
        QCOMPARE(m_prompt->calls.last().title, QStringLiteral("Delete Repair Log"));
        QCOMPARE(w->lstRepairDates->count(), 3);
        m_prompt->answer(MsgAnswer::Yes);
        w->cmdDelete->click();
        QCOMPARE(Rows(QStringLiteral("SELECT RepairID FROM RepairLogs WHERE RepairDate = ?"), {d}),
                 QStringList{QString::number(a)});
        QCOMPARE(w->lstRepairDates->count(), 2);
        QCOMPARE(w->lstRepairDates->currentRow(), -1);
        QCOMPARE(w->txtRepairLog->toPlainText(), QString());
        w->cmdDelete->click();
        QCOMPARE(m_prompt->calls.last().text, QStringLiteral("Please select a repair log item."));
    }

    void repairLogAddSaveCancel()
    {
        makeTunnel();
        gConn.insertAutoNumber(QStringLiteral("RepairLogs"), {{QStringLiteral("PanelID"), m_west},
                                                              {QStringLiteral("RepairDate"), QDate(2023, 5, 4)},
                                                              {QStringLiteral("RepairLog"), QStringLiteral("Old")}});
        frmDataView* w = open(m_p2022, 0);
        w->SSTab1->setCurrentIndex(4);
        w->cmdAdd->click();
        QVERIFY(!w->txtRepairLog->isReadOnly());
        QVERIFY(w->cmdSave->isVisibleTo(w) && !w->cmdAdd->isVisibleTo(w) && w->dtp->isEnabled());
        QCOMPARE(w->dtp->date(), QDate::currentDate());
        QCOMPARE(w->txtRepairLog->toPlainText(), QString());
        // Cancel brings the chosen entry's text back.
        w->txtRepairLog->setPlainText(QStringLiteral("typed"));
        w->cmdCancel->click();
        QVERIFY(w->txtRepairLog->isReadOnly() && w->cmdAdd->isVisibleTo(w) && !w->dtp->isEnabled());
        QCOMPARE(w->txtRepairLog->toPlainText(), QStringLiteral("Old"));

        // An earlier date is listed last until the panel is shown again.
        w->cmdAdd->click();
        w->dtp->setDate(QDate(2020, 3, 1));
        w->txtRepairLog->setPlainText(QStringLiteral("Drain's grating replaced"));
        w->cmdSave->click();
        QVERIFY(m_prompt->calls.isEmpty());
        QCOMPARE(ListTexts(w->lstRepairDates),
                 (QStringList{ShortDateText(QDate(2023, 5, 4)), ShortDateText(QDate(2020, 3, 1))}));
        QCOMPARE(w->lstRepairDates->currentRow(), 1);
        QCOMPARE(w->txtRepairLog->toPlainText(), QStringLiteral("Drain's grating replaced"));
        QCOMPARE(Rows(QStringLiteral("SELECT PanelID, RepairDate, RepairLog FROM RepairLogs ORDER BY RepairID DESC LIMIT 1")),
                 QStringList{QStringLiteral("%1|2020-03-01|Drain's grating replaced").arg(m_west)});
        w->TabStrip1->setCurrentIndex(1);
        QCOMPARE(w->lstRepairDates->item(0)->text(), ShortDateText(QDate(2020, 3, 1)));

        // A failed save keeps the typed text and adds no entry.
        FailWhen(QStringLiteral("nologs"), QStringLiteral("INSERT"), QStringLiteral("RepairLogs"), QStringLiteral("1"));
        w->cmdAdd->click();
        w->txtRepairLog->setPlainText(QStringLiteral("lost?"));
        w->cmdSave->click();
        QCOMPARE(m_prompt->messages(), QStringList{"Error saving repair log."});
        QCOMPARE(w->lstRepairDates->count(), 2);
        QCOMPARE(w->txtRepairLog->toPlainText(), QStringLiteral("lost?"));
    }

    // Typing in the repair log, emergency or a custom tab is never dropped by a click on
    // another panel: Yes saves it for the panel it was typed for, No drops it, Cancel stays
    // on the panel with the typing kept. Another category of the same panel keeps it too.
    void typingSurvivesAPanelClick_data()
    {
        QTest::addColumn<QString>("editor");
        QTest::addColumn<MsgAnswer>("answer");
        for (const char* editor : {"repair", "emergency", "custom"})
            for (const auto& [name, answer] :
                 {std::pair{"save", MsgAnswer::Yes}, std::pair{"drop", MsgAnswer::No}, std::pair{"keep", MsgAnswer::Cancel}})
                QTest::addRow("%s, %s", editor, name) << QString::fromLatin1(editor) << answer;
    }
    void typingSurvivesAPanelClick()
    {
        QFETCH(QString, editor);
        QFETCH(MsgAnswer, answer);
        makeTunnel();
        gConn.exec(QStringLiteral("INSERT INTO TabDefinitions (TabIndex, TabCaption) VALUES (0, 'History')"));
        frmDataView* w = open(m_p2022, 0);
        QCOMPARE(w->CurrentPanelID(), m_west);
        QPlainTextEdit* box = nullptr;
        QString table, title;
        if (editor == QLatin1String("repair")) {
            w->SSTab1->setCurrentIndex(4);
            w->cmdAdd->click();
            box = w->txtRepairLog;
            table = QStringLiteral("SELECT PanelID, RepairLog FROM RepairLogs");
            title = QStringLiteral("Repair Log");
        } else if (editor == QLatin1String("emergency")) {
            w->SSTab1->setCurrentIndex(5);
            w->cmdAddEmergency->click();
            box = w->txtEmergency;
            table = QStringLiteral("SELECT PanelID, Emergency FROM Emergencies");
            title = QStringLiteral("Emergency Incidents");
        } else {
            w->SSTab1->setCurrentIndex(6);
            w->cmdEditAddl->click();
            box = w->txtAdditional[0];
            table = QStringLiteral("SELECT PanelID, TabData FROM TabData");
            title = QStringLiteral("History");
        }
        QTest::keyClicks(box, QStringLiteral("Crack sealed"));
        // Another category of the same panel: the typing stays, nothing is asked.
        w->TabStrip1->setCurrentIndex(1);
        QCOMPARE(box->toPlainText(), QStringLiteral("Crack sealed"));
        QVERIFY(!box->isReadOnly());
        QVERIFY(m_prompt->calls.isEmpty());

        m_prompt->answer(answer);
        ClickMap(w->ZVMap1, 7500, 3000);
        QCOMPARE(m_prompt->calls.size(), 1);
        QVERIFY(m_prompt->calls[0].text.contains(QStringLiteral("has not been saved")));
        QCOMPARE(m_prompt->calls[0].buttons, MsgButtons::YesNoCancel);
        QCOMPARE(m_prompt->calls[0].title, title);
        if (answer == MsgAnswer::Cancel) {
            QCOMPARE(w->CurrentPanelID(), m_west);
            QCOMPARE(box->toPlainText(), QStringLiteral("Crack sealed"));
            QVERIFY(!box->isReadOnly());
            QCOMPARE(Rows(table), QStringList());
            // Saved now, it goes with the panel it was typed for.
            QPushButton* save = editor == QLatin1String("repair")      ? w->cmdSave
                                : editor == QLatin1String("emergency") ? w->cmdSaveEmergency
                                                                       : w->cmdSaveAddl;
            save->click();
            QCOMPARE(Rows(table), QStringList{QStringLiteral("%1|Crack sealed").arg(m_west)});
            return;
        }
        QCOMPARE(w->CurrentPanelID(), m_east);
        QVERIFY(box->isReadOnly());
        QCOMPARE(Rows(table), answer == MsgAnswer::Yes ? QStringList{QStringLiteral("%1|Crack sealed").arg(m_west)}
                                                       : QStringList());
        QVERIFY(box->toPlainText().isEmpty());
        // Nothing typed: a panel click asks nothing.
        ClickMap(w->ZVMap1, 3000, 3000);
        QCOMPARE(w->CurrentPanelID(), m_west);
        QCOMPARE(m_prompt->calls.size(), 1);
    }

    void emergencies()
    {
        makeTunnel();
        const QDate d(2024, 2, 2);
        for (const char* text : {"Flooding", "Rock fall"})
            gConn.insertAutoNumber(QStringLiteral("Emergencies"), {{QStringLiteral("PanelID"), m_west},
                                                                   {QStringLiteral("EmergencyDate"), d},
                                                                   {QStringLiteral("Emergency"), QString::fromLatin1(text)}});
        frmDataView* w = open(m_p2022, 0);
        QCOMPARE(w->txtEmergency->toPlainText(), QStringLiteral("Flooding"));
        w->lstEmergency->setCurrentRow(1);
        QCOMPARE(w->txtEmergency->toPlainText(), QStringLiteral("Rock fall"));
        w->SSTab1->setCurrentIndex(5);
        w->cmdAddEmergency->click();
        QVERIFY(!w->txtEmergency->isReadOnly() && w->cmdSaveEmergency->isVisibleTo(w));
        w->txtEmergency->setPlainText(QStringLiteral("Fire"));
        w->cmdSaveEmergency->click();
        QCOMPARE(w->lstEmergency->count(), 3);
        QCOMPARE(w->txtEmergency->toPlainText(), QStringLiteral("Fire"));
        m_prompt->answer(MsgAnswer::Yes);
        w->cmdDeleteEmergency->click();
        QCOMPARE(m_prompt->calls.last().title, QStringLiteral("Delete Emergency Incident"));
        QCOMPARE(CountRows(QStringLiteral("Emergencies"), QStringLiteral("Emergency = 'Fire'")), 0);
        QCOMPARE(w->lstEmergency->count(), 2);
        w->cmdDeleteEmergency->click();
        QCOMPARE(m_prompt->calls.last().text, QStringLiteral("Please select an emergency item."));
    }

    void rightsWithoutDataEntry()
    {
        makeTunnel();
        gConn.exec(QStringLiteral("INSERT INTO TabDefinitions (TabIndex, TabCaption) VALUES (0, 'History')"));
        gIsDataEntry = false;
        frmDataView* w = open(m_p2022, 0);
        for (QPushButton* b : {w->cmdAdd, w->cmdDelete, w->cmdAddEmergency, w->cmdDeleteEmergency, w->cmdEditAddl})
            QVERIFY2(!b->isEnabled(), qPrintable(b->objectName()));
        w->SSTab1->setCurrentIndex(6);
        QVERIFY(w->cmdEditAddl->isVisibleTo(w));
    }

    void customTabs()
    {
        makeTunnel();
        for (const char* c : {"History", "Access", "R&D"})
            gConn.exec(QStringLiteral("INSERT INTO TabDefinitions (TabIndex, TabCaption) VALUES "
                                      "((SELECT count(*) FROM TabDefinitions), ?)"),
                       {QString::fromLatin1(c)});
        frmDataView* w = open(m_p2022, 0);
        QCOMPARE(w->SSTab1->count(), 9);
        QCOMPARE(w->SSTab1->tabText(6) + w->SSTab1->tabText(7) + w->SSTab1->tabText(8),
                 QStringLiteral("HistoryAccessR&&D"));
        QCOMPARE(w->txtAdditional.size(), 3);

        // Only the current custom tab's box shows, with Edit.
        w->SSTab1->setCurrentIndex(7);
        QVERIFY(w->txtAdditional[1]->isVisibleTo(w) && !w->txtAdditional[0]->isVisibleTo(w));
        QVERIFY(w->cmdEditAddl->isVisibleTo(w));
        w->SSTab1->setCurrentIndex(4);
        QVERIFY(!w->txtAdditional[1]->isVisibleTo(w) && !w->cmdEditAddl->isVisibleTo(w));
        w->SSTab1->setCurrentIndex(7);

        // Edit locks the other tabs; Save stores the text, quotes and all.
        w->cmdEditAddl->click();
        QVERIFY(!w->txtAdditional[1]->isReadOnly());
        QVERIFY(w->SSTab1->isTabEnabled(7) && !w->SSTab1->isTabEnabled(0) && !w->SSTab1->isTabEnabled(8));
        w->txtAdditional[1]->setPlainText(QStringLiteral("Gate 'B' key"));
        w->cmdSaveAddl->click();
        QVERIFY(w->txtAdditional[1]->isReadOnly() && w->SSTab1->isTabEnabled(0));
        QCOMPARE(Rows(QStringLiteral("SELECT PanelID, TabData FROM TabData")),
                 QStringList{QStringLiteral("%1|Gate 'B' key").arg(m_west)});
        // Second save updates; Cancel brings the stored text back.
        w->cmdEditAddl->click();
        w->txtAdditional[1]->setPlainText(QStringLiteral("Gate C"));
        w->cmdSaveAddl->click();
        w->cmdEditAddl->click();
        w->txtAdditional[1]->setPlainText(QStringLiteral("scribble"));
        w->cmdCancelAddl->click();
        QCOMPARE(w->txtAdditional[1]->toPlainText(), QStringLiteral("Gate C"));
        QCOMPARE(CountRows(QStringLiteral("TabData")), 1);

        // Another panel shows its own texts.
        ClickMap(w->ZVMap1, 7500, 3000);
        QCOMPARE(w->CurrentPanelID(), m_east);
        QCOMPARE(w->txtAdditional[1]->toPlainText(), QString());
        QVERIFY(m_prompt->calls.isEmpty());
    }

    void noCustomTabs()
    {
        makeTunnel();
        frmDataView* w = open(m_p2022, 0);
        QCOMPARE(w->SSTab1->count(), 7);
        QVERIFY(!w->SSTab1->isTabVisible(6));
        QCOMPARE(w->txtAdditional.size(), 1);
        QVERIFY(!w->txtAdditional[0]->isVisibleTo(w));
    }

    void mediaButtonsFollowPostedMedia()
    {
        makeTunnel();
        PostPicture(m_west, 1, m_p2022, QStringLiteral("a.jpg"), false);
        PostPicture(m_west, 2, m_p2024, QStringLiteral("b.jpg"), false);
        PostPicture(m_west, 2, m_p2024, QStringLiteral("c.jpg"), false);
        PostPicture(m_west, 2, m_p2024, QStringLiteral("s.png"), true);
        // Without the media windows the buttons show what exists but cannot be used.
        frmDataView* w = open(m_p2022, m_p2024);
        QVERIFY(w->cmdPhoto[0]->isVisibleTo(w) && !w->cmdSketch[0]->isVisibleTo(w));
        QVERIFY(!w->cmdPhoto2[0]->isVisibleTo(w));
        QVERIFY(w->cmdPhoto2[1]->isVisibleTo(w) && w->cmdSketch2[1]->isVisibleTo(w) && !w->cmdVideo2[1]->isVisibleTo(w));
        QVERIFY(!w->cmdPhoto[0]->isEnabled() && !w->cmdPrint->isEnabled() && !w->cmdDefectRpt->isEnabled());
        UnloadForm(w);

        RegisterFakes(true);
        w = open(m_p2022, m_p2024);
        QVERIFY(w->cmdPhoto[0]->isEnabled() && w->cmdPhoto2[1]->isEnabled() && w->cmdPrint->isEnabled());
        w->cmdPhoto[0]->click();
        w->cmdPhoto[0]->click();
        w->cmdPhoto2[1]->click();
        w->cmdSketch2[1]->click();
        const QString p = QString::number(m_west);
        QCOMPARE(gCalls, (QStringList{QStringLiteral("frmImages.LoadForm(0,false,%1,1,%2)").arg(p).arg(m_p2022),
                                      QStringLiteral("frmImages.LoadForm(0,false,%1,1,%2)").arg(p).arg(m_p2022),
                                      QStringLiteral("frmMultImg.LoadForm(%1,2,%2,false)").arg(p).arg(m_p2024),
                                      QStringLiteral("frmImages.LoadForm(0,true,%1,2,%2)").arg(p).arg(m_p2024)}));
        // Each photo click opened its own viewer.
        int viewers = 0;
        for (QWidget* f : LoadedForms())
            viewers += f->objectName() == QLatin1String("frmImages");
        QCOMPARE(viewers, 3);
        QVERIFY(m_prompt->calls.isEmpty());
    }

    void photoButtonWithoutPhotoRow()
    {
        makeTunnel();
        PostPicture(m_west, 1, m_p2022, QStringLiteral("a.jpg"), false);
        gConn.exec(QStringLiteral("DELETE FROM ImagePaths"));
        RegisterFakes(true);
        frmDataView* w = open(m_p2022, 0);
        w->cmdPhoto[0]->click();
        QCOMPARE(m_prompt->messages(), QStringList{"Error loading photographs"});
        QVERIFY(gCalls.isEmpty());
    }

    void sketchOnDataCollector()
    {
        makeTunnel();
        m_install->write(QStringLiteral("krv.ini"), "[KRV]\nDataCollector=Yes\n");
        PostPicture(m_west, 1, m_p2022, QStringLiteral("crown sketch.png"), true);
        frmDataView* w = open(m_p2022, 0);
        QVERIFY(w->cmdSketch[0]->isEnabled());
        const QString path = m_install->file(QStringLiteral("Data/East Bore/2022/sketch/crown sketch.png"));
        w->cmdSketch[0]->click();
        QCOMPARE(m_prompt->calls.size(), 1);
        QCOMPARE(m_prompt->calls[0].text, QStringLiteral("The field sketch you requested: \r\n") +
                                              QDir::toNativeSeparators(path) + QStringLiteral("\r\ncould not be found."));
        QCOMPARE(m_prompt->calls[0].icon, MsgIcon::Critical);
        QDir().mkpath(m_install->file(QStringLiteral("Data/East Bore/2022/sketch")));
        m_install->write(QStringLiteral("Data/East Bore/2022/sketch/crown sketch.png"), "x");
        w->cmdSketch[0]->click();
        QCOMPARE(m_prompt->calls.size(), 2);
        QCOMPARE(m_prompt->calls[1].kind, PromptCall::Launch);
        QCOMPARE(QUrl(m_prompt->calls[1].text).toLocalFile(), path);
    }

    void printAndDefectReport()
    {
        makeTunnel();
        RegisterFakes(true);
        frmDataView* w = open(m_p2022, 0);
        w->cmdPrint->click();
        w->cmdDefectRpt->click();
        QCOMPARE(gCalls, (QStringList{QStringLiteral("frmPrintKeyplan.LoadForm(%1,%2,0,frmDataView)")
                                          .arg(m_tunnel)
                                          .arg(m_p2022),
                                      QStringLiteral("frmPrintKeyplan.exec"),
                                      QStringLiteral("frmReport.GetFormType(Defect)"), QStringLiteral("frmReport.exec")}));
        // Closing the review takes an open key plan with it and keeps the placement.
        QVERIFY(IsFormLoaded(QStringLiteral("frmPrintKeyplan")));
        w->move(40, 50);
        w->cmdClose->click();
        QVERIFY(!IsFormLoaded(QStringLiteral("frmDataView")));
        QVERIFY(!IsFormLoaded(QStringLiteral("frmPrintKeyplan")));
        QSettings reg(QStringLiteral("Quillmar Inc."), QStringLiteral("KRV"));
        QVERIFY(reg.contains(QStringLiteral("frmdataview/Width")));
    }

    void zoomAndPan()
    {
        makeTunnel();
        frmDataView* w = open(m_p2022, 0);
        // The right button offers the map menu.
        SendToMap(w->ZVMap1, QEvent::MouseButtonPress, Qt::RightButton, 300, 300);
        QVERIFY(w->mnuMap->isVisible());
        w->mnuMap->hide();
        w->mnuZoom200->trigger();
        QCOMPARE(w->ZVMap1->ZoomFactor(), 2.0f);
        w->mnuPan->trigger();
        QVERIFY(w->PanMode() && w->mnuPan->isChecked() && w->ZVMap1->PanOn());
        w->mnuPan->trigger();
        QVERIFY(!w->PanMode() && !w->ZVMap1->PanOn());
        QVERIFY(m_prompt->calls.isEmpty());
    }

    void defectColumnsSort()
    {
        makeTunnel();
        PostDefect(1, m_p2022, m_west, QStringLiteral("b"), 10, QStringLiteral("m"), 9, 90);
        PostDefect(2, m_p2022, m_west, QStringLiteral("a"), 2, QStringLiteral("m"), 100, 200);
        frmDataView* w = open(m_p2022, 0);
        emit w->lvDefectQty->header()->sectionClicked(4);
        QCOMPARE(w->lvDefectQty->topLevelItem(0)->text(4), QStringLiteral("$90.00"));
        QCOMPARE(w->lvDefectQty->topLevelItem(0)->data(0, Qt::UserRole).toString(), QStringLiteral("X1"));
        emit w->lvDefectQty->header()->sectionClicked(4);
        QCOMPARE(w->lvDefectQty->topLevelItem(0)->text(4), QStringLiteral("$200.00"));
    }
    void resizeLayout_data()
    {
        QTest::addColumn<int>("widthPx");
        QTest::addColumn<int>("heightPx");
        QTest::newRow("design") << 788 << 660;
        QTest::newRow("large") << 1200 << 900;
        QTest::newRow("tiny") << 200 << 150;
    }
    void resizeLayout()
    {
        QFETCH(int, widthPx);
        QFETCH(int, heightPx);
        makeTunnel();
        gConn.exec(QStringLiteral("INSERT INTO TabDefinitions (TabIndex, TabCaption) VALUES (0, 'A'), (1, 'B')"));
        frmDataView* w = open(m_p2022, 0);
        w->resize(widthPx, heightPx);
        const double sw = PixelsToTwips(w->width());
        const double sh = PixelsToTwips(w->height());
        auto tw = [](const QWidget* c) { return frmDataView::Tw(c); };
        QCOMPARE(tw(w->fraData).top(), qMax(825.0, sh - 5520));
        QCOMPARE(tw(w->ZVMap1).width(), qMax(1000.0, sw - 120));
        QCOMPARE(tw(w->ZVMap1).height(), qMax(500.0, sh - 5520 - 100 - 120));
        const double data = qMax(5000.0, tw(w->ZVMap1).width() - 100);
        QCOMPARE(tw(w->fraData).width(), data);
        QCOMPARE(tw(w->VScroll1).left(), data - tw(w->VScroll1).width());
        QCOMPARE(tw(w->picContainer).width(), tw(w->VScroll1).left());
        QCOMPARE(tw(w->fraRatings).width(), tw(w->VScroll1).left());
        QCOMPARE(tw(w->SSTab1).width(), data);
        QCOMPARE(tw(w->txtComments[1]).width(), data - 220);
        QCOMPARE(tw(w->txtRepairLog).width(), data - 3700);
        QCOMPARE(tw(w->txtEmergency).width(), data - 3700);
        QCOMPARE(tw(w->txtAdditional[1]).width(), data - 220);
        QCOMPARE(tw(w->lvDefectQty2).width(), data - 220);
        QCOMPARE(tw(w->cmdClose).left(), qMax(3000.0, data - tw(w->cmdClose).width() - 40));
    }

    void customBoxesLieOverTheTabPages()
    {
        makeTunnel();
        gConn.exec(QStringLiteral("INSERT INTO TabDefinitions (TabIndex, TabCaption) VALUES (0, 'A'), (1, 'B')"));
        frmDataView* w = open(m_p2022, 0);
        const QRectF tab = frmDataView::Tw(w->SSTab1);
        const QRectF comments = frmDataView::Tw(w->txtComments[0]);
        for (QPlainTextEdit* box : std::as_const(w->txtAdditional)) {
            QCOMPARE(frmDataView::Tw(box).top(), tab.top() + comments.top());
            QCOMPARE(frmDataView::Tw(box).height(), comments.height() - 480);
        }
        QCOMPARE(frmDataView::Tw(w->cmdEditAddl).top(),
                 frmDataView::Tw(w->txtAdditional[0]).top() + frmDataView::Tw(w->txtAdditional[0]).height() + 80);
        QCOMPARE(frmDataView::Tw(w->cmdCancelAddl).top(), frmDataView::Tw(w->cmdEditAddl).top());
    }

    void failedCustomSaveKeepsTheText()
    {
        makeTunnel();
        gConn.exec(QStringLiteral("INSERT INTO TabDefinitions (TabIndex, TabCaption) VALUES (0, 'History')"));
        frmDataView* w = open(m_p2022, 0);
        w->SSTab1->setCurrentIndex(6);
        w->cmdEditAddl->click();
        w->txtAdditional[0]->setPlainText(QStringLiteral("Built 1911"));
        FailWhen(QStringLiteral("notabs"), QStringLiteral("INSERT"), QStringLiteral("TabData"), QStringLiteral("1"));
        w->cmdSaveAddl->click();
        QCOMPARE(m_prompt->messages(), QStringList{"Error saving data"});
        QCOMPARE(w->txtAdditional[0]->toPlainText(), QStringLiteral("Built 1911"));
        // Still being edited, to be saved again.
        QVERIFY(!w->txtAdditional[0]->isReadOnly() && w->cmdSaveAddl->isVisibleTo(w) && !w->cmdEditAddl->isVisibleTo(w));
        QCOMPARE(CountRows(QStringLiteral("TabData")), 0);
        DropFailure(QStringLiteral("notabs"));
        w->cmdSaveAddl->click();
        QVERIFY(w->txtAdditional[0]->isReadOnly() && w->cmdEditAddl->isVisibleTo(w) && w->SSTab1->isTabEnabled(0));
        QCOMPARE(Rows(QStringLiteral("SELECT TabData FROM TabData")), QStringList{"Built 1911"});
    }

    void panelChangeWhileEditingALog()
    {
        makeTunnel();
        gConn.insertAutoNumber(QStringLiteral("RepairLogs"), {{QStringLiteral("PanelID"), m_east},
                                                              {QStringLiteral("RepairDate"), QDate(2023, 1, 1)},
                                                              {QStringLiteral("RepairLog"), QStringLiteral("East log")}});
        frmDataView* w = open(m_p2022, 0);
        w->show();
        w->SSTab1->setCurrentIndex(4);
        w->cmdAdd->click();
        w->txtRepairLog->setPlainText(QStringLiteral("typed for west"));
        // The map stays usable: the list and the text follow the new panel, the mode stays.
        ClickMap(w->ZVMap1, 7500, 3000);
        QCOMPARE(w->CurrentPanelID(), m_east);
        QCOMPARE(w->lstRepairDates->count(), 1);
        QCOMPARE(w->txtRepairLog->toPlainText(), QStringLiteral("East log"));
        QVERIFY(w->cmdSave->isVisibleTo(w) && !w->txtRepairLog->isReadOnly());
        w->txtRepairLog->setPlainText(QStringLiteral("Second east entry"));
        w->cmdSave->click();
        QCOMPARE(CountRows(QStringLiteral("RepairLogs"), QStringLiteral("PanelID = ?"), {m_east}), 2);
        QCOMPARE(CountRows(QStringLiteral("RepairLogs"), QStringLiteral("PanelID = ?"), {m_west}), 0);
    }

    void sketchLookupReadsTheWorkingTable()
    {
        makeTunnel();
        FixturePicture(m_west, 1, m_p2022, QStringLiteral("photo.jpg"), false);
        FixturePicture(m_west, 1, m_p2022, QStringLiteral("O'Hare sketch.png"), true);
        FixturePicture(m_west, 1, m_p2024, QStringLiteral("later.png"), true);
        QCOMPARE(frmDataView::FindSketchPath(m_west, 1, m_p2022), QStringLiteral("O'Hare sketch.png"));
        QCOMPARE(frmDataView::FindSketchPath(m_west, 2, m_p2022), QString());
    }

    void mainWindowOpensTheReviewOfItsOnlyPostedPeriod()
    {
        makeTunnel();
        QImage img(800, 400, QImage::Format_RGB32);
        img.fill(Qt::white);
        QVERIFY(img.save(m_install->file(QStringLiteral("Data/map.png"))));
        gConn.exec(QStringLiteral("UPDATE System SET SystemPicture = 'map.png'"));
        int i = 1;
        for (const QPoint& p : {QPoint(1500, 1500), QPoint(6000, 1500), QPoint(6000, 4500), QPoint(1500, 4500)})
            gConn.exec(QStringLiteral("INSERT INTO TunnelCoord (TunnelID, CoordIndex, TunnelX, TunnelY) VALUES (?, ?, ?, ?)"),
                       {m_tunnel, i++, p.x(), p.y()});
        Post(m_p2024, m_west, 1, 4);
        auto* main = new frmViewSystem;
        main->show();
        ClickMap(main->ZVMap1, 3000, 3000);
        QVERIFY(m_prompt->calls.isEmpty());
        frmDataView* w = nullptr;
        for (QWidget* f : LoadedForms())
            if (auto* r = qobject_cast<frmDataView*>(f))
                w = r;
        QVERIFY(w);
        QVERIFY(w->isVisible());
        QCOMPARE(w->InspectionID1(), m_p2024);
        QCOMPARE(w->InspectionID2(), 0);
        QCOMPARE(w->lblRate1[0]->text(), QStringLiteral("4"));
    }

    void leftmostVertexPicksTheFirstPanel()
    {
        makeTunnel();
        // A tie on the leftmost x goes to the lower PanelNum.
        gConn.exec(QStringLiteral("UPDATE PanelCoord SET PanelX = 1500 WHERE PanelID = ? AND CoordIndex = 4"), {m_east});
        frmDataView* w = open(m_p2022, 0);
        QCOMPARE(w->CurrentPanelID(), m_east);
        // Without any outline no panel is current, and nothing is drawn.
        UnloadForm(w);
        gConn.exec(QStringLiteral("DELETE FROM PanelCoord"));
        w = open(m_p2022, 0);
        QVERIFY(m_prompt->calls.isEmpty());
        QCOMPARE(w->CurrentPanelID(), 0);
        QCOMPARE(w->ZVMap1->PolyCount(), 0);
        QCOMPARE(w->RowCount(), 0);
    }

    void videoAndFailingViewers()
    {
        makeTunnel();
        PostPicture(m_west, 1, m_p2022, QStringLiteral("s.png"), true);
        FixtureClip(m_west, 1, m_p2022, QStringLiteral("walk.avi"), true);
        gConn.exec(QStringLiteral("INSERT INTO VideosPosted (PanelID, ElementID, VideoFile, InspectionID) VALUES (?, 1, 'walk.avi', ?)"),
                   {m_west, m_p2022});
        RegisterFakes(true);
        frmDataView* w = open(m_p2022, 0);
        QVERIFY(w->cmdVideo[0]->isVisibleTo(w) && w->cmdVideo[0]->isEnabled());
        w->cmdVideo[0]->click();
        QCOMPARE(gCalls, QStringList{QStringLiteral("frmVideoView.LoadForm(%1,1,%2)").arg(m_west).arg(m_p2022)});
        UnloadFormByName(QStringLiteral("frmVideoView"));

        // A viewer that cannot load is reported and goes again.
        FakeForm::failLoad = true;
        w->cmdSketch[0]->click();
        w->cmdVideo[0]->click();
        QCOMPARE(m_prompt->messages(), (QStringList{"Error loading field sketch box.", "Error loading video"}));
        QVERIFY(!IsFormLoaded(QStringLiteral("frmImages")));
        QVERIFY(!IsFormLoaded(QStringLiteral("frmVideoView")));
    }

    // Another program writes the file between Edit and Save of the West panel's "History"
    // text: the save goes to the tab the box was made for, asks about a text changed since
    // it was shown, and writes nothing into a tab or panel that is gone.
    void customTextAgainstAnotherUser_data()
    {
        QTest::addColumn<bool>("hadText");
        QTest::addColumn<QString>("sql");
        QTest::addColumn<MsgAnswer>("answer");
        QTest::addColumn<QString>("told");
        QTest::addColumn<QStringList>("rows");  // TabID|TabData
        QTest::addColumn<bool>("editing");
        QTest::addColumn<QString>("shown");
        const QString west = QStringLiteral("(SELECT PanelID FROM Panels WHERE PanelName = 'West')");
        const QString changed = QStringLiteral("UPDATE TabData SET TabData = 'theirs'");
        const QString asked =
            QStringLiteral("The \"History\" text of panel West was changed by another user after you opened it: it is "
                           "now \"theirs\", yours is \"mine\". Replace it with yours?");
        const auto gone = [](const char* what) {
            return QString::fromUtf8(what) + QStringLiteral(" was removed by another user; nothing was saved for it.");
        };
        QTest::newRow("another panel's text stays")
            << true << QStringLiteral("INSERT INTO TabData SELECT 1, PanelID, 'theirs' FROM Panels WHERE PanelName = 'East'")
            << MsgAnswer::Default << QString() << QStringList{"1|mine", "1|theirs"} << false << "mine";
        QTest::newRow("changed: yes") << true << changed << MsgAnswer::Yes << asked << QStringList{"1|mine"} << false
                                      << "mine";
        QTest::newRow("changed: no") << true << changed << MsgAnswer::No << asked << QStringList{"1|theirs"} << false
                                     << "theirs";
        QTest::newRow("changed: cancel") << true << changed << MsgAnswer::Cancel << asked << QStringList{"1|theirs"}
                                         << true << "mine";
        QTest::newRow("added: no")
            << false << QStringLiteral("INSERT INTO TabData VALUES (1, %1, 'theirs')").arg(west) << MsgAnswer::No
            << asked << QStringList{"1|theirs"} << false << "theirs";
        QTest::newRow("tabs renumbered") << true << QStringLiteral("UPDATE TabDefinitions SET TabIndex = 1 - TabIndex")
                                         << MsgAnswer::Default << QString() << QStringList{"1|mine"} << false << "mine";
        QTest::newRow("tab removed") << true << QStringLiteral("DELETE FROM TabDefinitions WHERE ID = 1")
                                     << MsgAnswer::Default << gone("The data tab \"History\"")
                                     << QStringList{"1|old"} << true << "mine";
        QTest::newRow("panel removed") << true << QStringLiteral("DELETE FROM Panels WHERE PanelName = 'West'")
                                       << MsgAnswer::Default << gone("The panel West") << QStringList{"1|old"} << true
                                       << "mine";
    }
    void customTextAgainstAnotherUser()
    {
        QFETCH(bool, hadText);
        QFETCH(QString, sql);
        QFETCH(MsgAnswer, answer);
        QFETCH(QString, told);
        QFETCH(QStringList, rows);
        QFETCH(bool, editing);
        QFETCH(QString, shown);
        makeTunnel();
        gConn.exec(QStringLiteral("INSERT INTO TabDefinitions (ID, TabIndex, TabCaption) VALUES (1, 0, 'History'), "
                                  "(2, 1, 'Access')"));
        if (hadText)
            gConn.exec(QStringLiteral("INSERT INTO TabData VALUES (1, ?, 'old')"), {m_west});
        frmDataView* w = open(m_p2022, 0);
        QPlainTextEdit* box = w->txtAdditional[0];
        QCOMPARE(box->toPlainText(), hadText ? QStringLiteral("old") : QString());
        w->SSTab1->setCurrentIndex(6);
        w->cmdEditAddl->click();
        box->setPlainText(QStringLiteral("mine"));
        QCOMPARE(RunSqliteShell(m_install->dbPath(), sql), QString());
        m_prompt->answer(answer);
        w->cmdSaveAddl->click();
        QCOMPARE(m_prompt->messages(), told.isEmpty() ? QStringList() : QStringList{told});
        QCOMPARE(Rows(QStringLiteral("SELECT TabID, TabData FROM TabData ORDER BY TabID, TabData")), rows);
        QCOMPARE(!box->isReadOnly(), editing);
        QCOMPARE(box->toPlainText(), shown);
    }

    // A text stored by another tool with Windows line ends, a lone carriage return or a
    // no-break space comes back from its box altered: Edit and Save write nothing, and another
    // user's change of it meanwhile is kept without a question.
    void aTextTheBoxAltersIsNoChange_data() { AddAlteredTextRows(); }
    void aTextTheBoxAltersIsNoChange()
    {
        QFETCH(QString, stored);
        QFETCH(bool, theirs);
        makeTunnel();
        gConn.exec(QStringLiteral("INSERT INTO TabDefinitions (ID, TabIndex, TabCaption) VALUES (1, 0, 'History')"));
        gConn.exec(QStringLiteral("INSERT INTO TabData VALUES (1, ?, ?)"), {m_west, stored});
        frmDataView* w = open(m_p2022, 0);
        QVERIFY(w->txtAdditional[0]->toPlainText() != stored);  // the box does alter it
        w->SSTab1->setCurrentIndex(6);
        w->cmdEditAddl->click();
        if (theirs)
            QCOMPARE(RunSqliteShell(m_install->dbPath(), QStringLiteral("UPDATE TabData SET TabData = 'theirs'")), QString());
        w->cmdSaveAddl->click();
        QCOMPARE(m_prompt->messages(), QStringList());
        QVERIFY(w->txtAdditional[0]->isReadOnly());
        QCOMPARE(gConn.scalar(QStringLiteral("SELECT TabData FROM TabData")).toString(),
                 theirs ? QStringLiteral("theirs") : stored);
    }

    // Typing for the West panel while another user removes the panel, through the panel
    // window of this program or another program: the save writes nothing, says what is
    // gone, and keeps the typing.
    void entriesIntoARemovedPanel_data()
    {
        QTest::addColumn<QString>("editor");
        QTest::addColumn<bool>("panelWindow");
        QTest::newRow("repair log, panel window") << "repair" << true;
        QTest::newRow("emergency, sqlite3") << "emergency" << false;
        QTest::newRow("custom text, panel window") << "custom" << true;
    }
    void entriesIntoARemovedPanel()
    {
        QFETCH(QString, editor);
        QFETCH(bool, panelWindow);
        makeTunnel();
        gConn.exec(QStringLiteral("INSERT INTO TabDefinitions (TabIndex, TabCaption) VALUES (0, 'History')"));
        frmDataView* w = open(m_p2022, 0);
        QPlainTextEdit* box = nullptr;
        QPushButton* save = nullptr;
        QString table;
        if (editor == QLatin1String("repair")) {
            w->SSTab1->setCurrentIndex(4);
            w->cmdAdd->click();
            box = w->txtRepairLog;
            save = w->cmdSave;
            table = QStringLiteral("RepairLogs");
        } else if (editor == QLatin1String("emergency")) {
            w->SSTab1->setCurrentIndex(5);
            w->cmdAddEmergency->click();
            box = w->txtEmergency;
            save = w->cmdSaveEmergency;
            table = QStringLiteral("Emergencies");
        } else {
            w->SSTab1->setCurrentIndex(6);
            w->cmdEditAddl->click();
            box = w->txtAdditional[0];
            save = w->cmdSaveAddl;
            table = QStringLiteral("TabData");
        }
        QTest::keyClicks(box, QStringLiteral("Crack sealed"));

        if (panelWindow) {
            auto* specs = new frmTunnelSpecs;
            specs->LoadForm(m_tunnel);
            ClickMap(specs->ZVMap1, 3000, 3000);
            QCOMPARE(specs->SelectedPanelID(), m_west);
            m_prompt->handler = [](const PromptCall& c) {
                return c.buttons == MsgButtons::YesNo ? QVariant::fromValue(int(MsgAnswer::Yes)) : QVariant();
            };
            specs->mnuDelete->trigger();
            m_prompt->handler = nullptr;
        } else {
            QCOMPARE(RunSqliteShell(m_install->dbPath(), QStringLiteral("DELETE FROM Panels WHERE PanelName = 'West'")),
                     QString());
        }
        QCOMPARE(CountRows(QStringLiteral("Panels"), QStringLiteral("PanelID = ?"), {m_west}), 0);
        m_prompt->calls.clear();
        save->click();
        QCOMPARE(m_prompt->messages(),
                 QStringList{QStringLiteral("The panel West was removed by another user; nothing was saved for it.")});
        QCOMPARE(CountRows(table, QStringLiteral("PanelID = ?"), {m_west}), 0);
        QVERIFY(!box->isReadOnly());
        QCOMPARE(box->toPlainText(), QStringLiteral("Crack sealed"));
    }

    // An entry another program deleted already is deleted as asked, without a word more.
    void deletingAnEntryGoneAlready()
    {
        makeTunnel();
        const QDate d(2024, 2, 2);
        for (const QString& table : {QStringLiteral("RepairLogs"), QStringLiteral("Emergencies")})
            gConn.exec(QStringLiteral("INSERT INTO %1 VALUES (NULL, ?, ?, 'gone soon')").arg(table), {m_west, d});
        frmDataView* w = open(m_p2022, 0);
        QCOMPARE(RunSqliteShell(m_install->dbPath(), QStringLiteral("DELETE FROM RepairLogs; DELETE FROM Emergencies;")),
                 QString());
        m_prompt->answer(MsgAnswer::Yes);
        m_prompt->answer(MsgAnswer::Yes);
        w->cmdDelete->click();
        w->cmdDeleteEmergency->click();
        QCOMPARE(m_prompt->messages(),
                 QStringList(2, QStringLiteral("Are you sure you want to delete this entry on %1?").arg(ShortDateText(d))));
        QCOMPARE(w->lstRepairDates->count(), 0);
        QCOMPARE(w->lstEmergency->count(), 0);
    }
};

QTEST_MAIN(TestDataView)
#include "tst_dataview.moc"

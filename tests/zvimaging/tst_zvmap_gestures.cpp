// Host calls that arrive in the middle of a gesture, emptying the control in one step, damaged outlines,
// shading at deep zoom and the hover tip's text.

#include "zvtestutil.h"

#include <QLabel>
#include <QTimer>

#include <memory>

using namespace zvtest;

class TestZVMapGestures : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_pic;

    std::unique_ptr<ZVMap> makeMap(Recorder& rec, const QString& pic = {})
    {
        auto map = std::make_unique<ZVMap>();
        map->resize(400, 300);
        map->setImage(pic.isEmpty() ? m_pic : pic);
        map->show();
        rec.attach(*map);
        return map;
    }
    static QLabel* tip(ZVMap& m) { return m.findChild<QLabel*>("lblToolTip"); }

private slots:
    void initTestCase() { m_pic = makePicture(m_dir, 2000, 1500); }

    void clearEmptiesEverythingWithoutEvents()
    {
        Recorder rec;
        auto map = makeMap(rec);
        map->SetPoly(10, rect(0, 0, 3000, 3000));
        map->SetPoly(20, rect(4000, 0, 1500, 1500));
        map->ShadePoly(10, 2);
        map->ShadePoly(20, 1);
        rec.tip = "Panel A";
        move(*map, 600, 1500);
        QVERIFY(tip(*map)->isVisible());
        map->PolyMove();
        press(*map, 4500, 500);  // a polygon drag under way
        rec.take();

        map->Clear();
        QCOMPARE(map->PolyCount(), 0);
        QCOMPARE(map->LineCount(), 1);
        QVERIFY(!map->Line(0).visible);
        QVERIFY(map->ShadeDots().isEmpty());
        QCOMPARE(map->HitTest(500, 500), -1);
        QCOMPARE(map->HitTest(4500, 500), -1);
        QVERIFY(tip(*map)->isHidden());
        QVERIFY(!map->findChild<QTimer*>("Timer1")->isActive());
        QCOMPARE(map->mode(), ZVMap::Mode::Normal);
        send(*map, QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, 4800, 800);
        release(*map, 4800, 800);
        QVERIFY(!rec.take().contains("PolyMoved 20"));  // the drag went with the store
        map->Clear();  // already empty: nothing happens
        QCOMPARE(map->PolyCount(), 0);

        // A drawing under way is dropped too; the next one starts on an empty store.
        map->DrawPoly();
        click(*map, 1000, 1000);
        click(*map, 2000, 1000);
        map->Clear();
        QCOMPARE(map->mode(), ZVMap::Mode::Normal);
        QCOMPARE(map->PolyCount(), 0);
        QCOMPARE(rec.take(), (QStringList{"MouseUp 1", "MouseUp 1"}));
        map->SetPoly(30, rect(100, 100, 300, 300));
        QCOMPARE(map->Poly(0).StartLine, 0);
        QCOMPARE(map->LineCount(), 4);
        QCOMPARE(map->HitTest(200, 200), 0);
        map->DrawPoly();
        click(*map, 1000, 1000);
        click(*map, 2000, 1000);
        rec.outId = 40;
        click(*map, 2000, 2000, Qt::LeftButton, Qt::ControlModifier);
        QCOMPARE(map->PolyCount(), 2);
        QCOMPARE(map->Poly(1).ID, 40);
        QCOMPARE(map->Poly(1).StartLine, 4);
        QCOMPARE(map->Poly(1).Pt, (Pts{{1000, 1000}, {2000, 1000}, {2000, 2000}}));
    }
};

QTEST_MAIN(TestZVMapGestures)
#include "tst_zvmap_gestures.moc"

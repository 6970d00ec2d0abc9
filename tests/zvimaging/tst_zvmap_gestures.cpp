// Host calls that arrive in the middle of a gesture, emptying the control in one step, damaged outlines,
// shading at deep zoom and the hover tip's text.

#include "zvtestutil.h"

#include <QLabel>
#include <QPainter>
#include <QRandomGenerator>
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

    void deleteKeepsTheOtherShading()
    {
        // Overlapping outlines: the later fill lies on top and stays there when an unrelated one goes.
        ZVMap map;
        map.SetPoly(1, rect(0, 0, 600, 600));
        map.SetPoly(2, rect(300, 300, 600, 600));
        map.SetPoly(3, rect(3000, 0, 300, 300));
        map.SetPoly(2, rect(5000, 0, 300, 300));  // a second entry with ID 2
        map.ShadePoly(2, 1);
        map.ShadePoly(1, 2);
        map.ShadePoly(3, 1);
        const QVector<zv::DotBatch> before = map.ShadeDots();
        QCOMPARE(before.size(), 3);
        map.Delete(3);
        QCOMPARE(map.ShadeDots().size(), 2);
        QCOMPARE(map.ShadeDots()[0].bounds, before[0].bounds);  // polygon 2 still under polygon 1
        QCOMPARE(map.ShadeDots()[1].bounds, before[1].bounds);
        QCOMPARE(map.ShadeDots()[1].color, 0x000000FFu);
        QCOMPARE(map.Poly(1).Shading, qint16(1));
        map.Delete(2);  // the later entry with ID 2, never shaded: the earlier keeps its shading
        QCOMPARE(map.ShadeDots().size(), 2);
        QCOMPARE(map.Poly(1).Shading, qint16(1));
        map.Delete(1);
        QCOMPARE(map.ShadeDots().size(), 1);
        QCOMPARE(map.ShadeDots()[0].bounds, before[0].bounds);
        QCOMPARE(map.ShadeDots()[0].color, 0x0000E6FFu);
    }

    void shadeDotsAreTheGridPointsInsideTheRegion()
    {
        // The dots must be exactly the grid points that the region contains, at every zoom.
        QRandomGenerator rng(5);
        for (int round = 0; round < 60; ++round) {
            ZVMap map;
            const int n = 3 + int(rng.bounded(9));
            zv::Poly p;
            for (int k = 0; k < n; ++k) p.Pt.append({int(rng.bounded(3000)), int(rng.bounded(2000))});
            map.SetPoly(1, p);
            const qint16 zoom = qint16(QList<int>{25, 100, 133, 250, 1000}[round % 5]);
            map.Zoom(zoom);
            map.ShadePoly(1, 1);
            const double z = zoom / 100.0;
            QPolygon region;
            for (const zv::Point& pt : p.Pt) region << QPoint(int(std::lrint(pt.x * z)), int(std::lrint(pt.y * z)));
            const QRect b = region.boundingRect();
            QVector<QPoint> expect;
            for (int x = b.left(); x <= b.right(); x += 30)
                for (int y = b.top(); y <= b.bottom(); y += 30)
                    if (region.containsPoint(QPoint(x, y), Qt::OddEvenFill)) expect.append(QPoint(x, y));
            if (expect.isEmpty()) {
                QVERIFY(map.ShadeDots().isEmpty());
            } else {
                QCOMPARE(map.ShadeDots().size(), 1);
                QCOMPARE(map.ShadeDots()[0].bounds, b);
                QCOMPARE(map.ShadeDots()[0].points, expect);
            }
        }
    }

    void deepZoomPaintsTheShadingInView()
    {
        // At 3200 % the view shows a small part of one shaded polygon: its dots are painted there.
        QTemporaryDir dir;
        Recorder rec;
        auto map = makeMap(rec, makePicture(dir, 400, 300));
        map->SetPoly(1, rect(0, 0, 3000, 4500));
        map->SetPoly(2, rect(3000, 0, 3000, 4500));
        map->ShadePoly(1, 1);
        map->ShadePoly(2, 2);
        map->Zoom(3200);
        auto* h = map->findChild<QScrollBar*>("HScroll1");
        h->setValue(int((3000 * 32 - 1500) / map->ScrollUnitX()));  // the border of the two 100 px from the left
        QWidget* vp = map->findChild<QWidget*>("picContainer");
        const QImage shot = vp->grab().toImage();
        int amber = 0, red = 0;
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width(); ++x) {
                const QColor c = shot.pixelColor(x, y);
                amber += c == QColor(255, 230, 0);
                red += c == QColor(255, 0, 0);
            }
        // a dot every 2 px in each direction, on either side of the border
        const int rows = shot.height() / 2, amberExpected = 50 * rows, redExpected = (shot.width() - 100) / 2 * rows;
        QVERIFY2(std::abs(amber - amberExpected) < amberExpected / 20 && std::abs(red - redExpected) < redExpected / 20,
                 qPrintable(QString("amber %1 (%2), red %3 (%4)").arg(amber).arg(amberExpected).arg(red).arg(redExpected)));
    }
};

QTEST_MAIN(TestZVMapGestures)
#include "tst_zvmap_gestures.moc"

// Mouse interaction: drawing, hit, hover tip, pan, the editing tools, copy/paste and Cancel.

#include "zvtestutil.h"

#include <QLabel>
#include <QSignalSpy>
#include <QTimer>

#include <memory>

using namespace zvtest;

Q_DECLARE_METATYPE(zv::Point)

class TestZVMapMouse : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_pic;

    std::unique_ptr<ZVMap> makeMap(Recorder& rec)
    {
        auto map = std::make_unique<ZVMap>();
        map->resize(400, 300);
        map->setImage(m_pic);
        map->show();
        rec.attach(*map);
        return map;
    }
    static QWidget* viewport(ZVMap& m) { return m.findChild<QWidget*>("picContainer"); }
    static QLabel* tip(ZVMap& m) { return m.findChild<QLabel*>("lblToolTip"); }

private slots:
    void initTestCase() { m_pic = makePicture(m_dir, 2000, 1500); }

    void drawTriangleAtZoom200()
    {
        Recorder rec;
        auto map = makeMap(rec);
        map->Zoom(200);
        map->DrawPoly();
        click(*map, 301, 101);
        // a real pointer press: pixel (40, 7) is display (600, 105)
        QTest::mouseClick(viewport(*map), Qt::LeftButton, Qt::NoModifier, QPoint(40, 7));
        move(*map, 700, 800);
        QCOMPARE(map->Line(1).x2, 700.0);  // the rubber band follows the pointer
        QCOMPARE(map->Line(1).y2, 800.0);
        rec.outId = 77;
        click(*map, 451, 401, Qt::LeftButton, Qt::ControlModifier);
        QCOMPARE(rec.take(), (QStringList{"MouseUp 1", "MouseUp 1", "PolyIdentified", "MouseUp 1"}));
        QCOMPARE(rec.points.last(), (Pts{{150, 50}, {300, 52}, {226, 200}}));  // halves to even
        QCOMPARE(map->Poly(0).ID, 77);
        QCOMPARE(map->Poly(0).Pt, rec.points.last());
        QCOMPARE(map->Line(0).x1, 300.0);  // drawn at the stored point times the zoom
        QCOMPARE(map->Line(0).y1, 100.0);
        QCOMPARE(map->Line(2).x2, 300.0);  // closed back to the first vertex
        QCOMPARE(map->mode(), ZVMap::Mode::Normal);
        QCOMPARE(map->HitTest(450, 200), 0);
    }

    void drawingPressRules()
    {
        Recorder rec;
        auto map = makeMap(rec);
        map->DrawPoly();
        click(*map, 1000, 1000);
        click(*map, 3000, 1000, Qt::LeftButton, Qt::ControlModifier);  // only two: a message, drawing goes on
        QCOMPARE(rec.messages, QStringList{"Draw: You must add at least 3 points to create a region."});
        QCOMPARE(map->mode(), ZVMap::Mode::Drawing);
        click(*map, 3000, 3000, Qt::LeftButton, Qt::ControlModifier | Qt::ShiftModifier);  // adds only
        click(*map, 1000, 3000, Qt::LeftButton, Qt::ShiftModifier);
        QCOMPARE(map->Poly(0).Pt.size(), 4);
        click(*map, 500, 500, Qt::RightButton);  // takes the last vertex back
        QCOMPARE(map->Poly(0).Pt.size(), 3);
        QCOMPARE(map->LineCount(), 3);
        QVERIFY(!rec.take().contains("MouseDown 2 0"));  // never MouseDown while drawing
        rec.cancel = true;  // the host refuses the polygon
        click(*map, 2000, 4000, Qt::LeftButton, Qt::ControlModifier);
        QVERIFY(rec.take().contains("PolyIdentified"));
        QCOMPARE(rec.points.last().size(), 4);
        QVERIFY(map->StoreEmpty());
        QCOMPARE(map->LineCount(), 1);
        QVERIFY(!map->Line(0).visible);

        // One vertex: a right press does nothing; two: it removes the second.
        rec.cancel = false;
        map->DrawPoly();
        click(*map, 1000, 1000);
        click(*map, 1000, 1000, Qt::RightButton);
        QCOMPARE(map->Poly(0).Pt.size(), 1);
        click(*map, 2000, 1000);
        click(*map, 2000, 1000, Qt::RightButton);
        QCOMPARE(map->Poly(0).Pt.size(), 1);
        move(*map, 1500, 1500);
        QCOMPARE(map->Line(0).x1, 1000.0);  // the rubber band starts at the first vertex again
        QCOMPARE(map->Line(0).x2, 1500.0);
    }

    void hitAndClickRules()
    {
        Recorder rec;
        auto map = makeMap(rec);
        map->setDrawWidth(2);
        map->SetPoly(10, rect(0, 0, 3000, 3000));
        map->SetPoly(20, rect(1500, 1500, 3000, 3000));
        click(*map, 2000, 2000, Qt::LeftButton, Qt::ShiftModifier);  // overlap: the first stored
        QCOMPARE(rec.take(), (QStringList{"PolyHit 10 1", "MouseUp 1"}));  // no MouseDown, no Click
        QCOMPARE(map->Line(0).width, 4);
        QCOMPARE(map->Line(4).width, 2);
        click(*map, 4000, 4000);
        QCOMPARE(map->Line(0).width, 2);
        QCOMPARE(map->Line(4).width, 4);
        rec.take();
        click(*map, 5000, 4000);  // a miss: the click goes through
        QCOMPARE(rec.take(), (QStringList{"MouseUp 1", "Click"}));
        click(*map, 2000, 2000, Qt::RightButton, Qt::ControlModifier);
        QCOMPARE(rec.take(), (QStringList{"MouseDown 2 2", "MouseUp 2"}));
        map->setPVisible(false);
        click(*map, 4000, 4000);
        QCOMPARE(rec.take().first(), QStringLiteral("PolyHit 20 0"));
        QCOMPARE(map->Line(4).width, 2);

        map->setEnabled(false);  // no polygon can be hit
        rec.take();
        QTest::mouseClick(viewport(*map), Qt::LeftButton, Qt::NoModifier, QPoint(20, 20));
        QVERIFY(rec.take().isEmpty());
        map->setEnabled(true);

        // A host that throws from its handler does not bring the control down.
        QObject::connect(map.get(), &ZVMap::PolyHit, [](qint32, qint16) { throw std::runtime_error("host"); });
        click(*map, 500, 500);
        QCOMPARE(map->mode(), ZVMap::Mode::Normal);
    }

    void hoverTipAndItsTimer()
    {
        Recorder rec;
        auto map = makeMap(rec);
        map->SetPoly(10, rect(0, 0, 3000, 3000));
        map->SetPoly(20, rect(4000, 0, 1500, 1500));
        QTimer* timer = map->findChild<QTimer*>("Timer1");
        QCOMPARE(timer->interval(), 5000);
        rec.tip = "Panel A";
        move(*map, 600, 1500);
        QVERIFY(tip(*map)->isVisible());
        QCOMPARE(tip(*map)->text(), QStringLiteral("Panel A"));
        QCOMPARE(tip(*map)->pos(), QPoint(qRound((600 + 40) / 15.0), qRound((1500 - 220) / 15.0)));
        QVERIFY(timer->isActive());
        move(*map, 1500, 2100);  // same text: the tip stays where it is
        QCOMPARE(tip(*map)->pos(), QPoint(qRound((600 + 40) / 15.0), qRound((1500 - 220) / 15.0)));
        QCOMPARE(rec.take(), (QStringList{"PolyMouseOver 10", "PolyMouseOver 10"}));

        // A press on the tip reports its polygon.
        QTest::mouseClick(tip(*map), Qt::LeftButton, Qt::ControlModifier);
        QCOMPARE(rec.take(), QStringList{"PolyHit 10 2"});

        move(*map, 9000, 9000);  // off every polygon
        QVERIFY(tip(*map)->isHidden());
        rec.tip.clear();
        move(*map, 4500, 600);  // the host gives no text: no tip
        QVERIFY(tip(*map)->isHidden());

        // The tick hides it even while the pointer stays.
        rec.tip = "Panel B";
        timer->stop();
        move(*map, 4500, 600);
        QVERIFY(tip(*map)->isVisible());
        timer->setInterval(30);
        timer->start();
        QTRY_VERIFY_WITH_TIMEOUT(tip(*map)->isHidden(), 2000);
        QVERIFY(!timer->isActive());
        timer->setInterval(5000);

        // Removing polygons hides the tip; a press on a stale one reports nothing.
        move(*map, 4600, 700);
        QVERIFY(tip(*map)->isVisible());
        map->Delete(10);  // polygon 20 moves to index 0
        QVERIFY(tip(*map)->isHidden());
        rec.take();
        QMouseEvent stale(QEvent::MouseButtonPress, QPointF(2, 2), tip(*map)->mapToGlobal(QPointF(2, 2)),
                          Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(tip(*map), &stale);
        QVERIFY(rec.take().isEmpty());
    }

    void panWithAndWithoutPolygons_data()
    {
        QTest::addColumn<bool>("withPolygons");
        QTest::newRow("with polygons") << true;
        QTest::newRow("empty store") << false;
    }

    void panWithAndWithoutPolygons()
    {
        QFETCH(bool, withPolygons);
        Recorder rec;
        auto map = makeMap(rec);
        if (withPolygons) map->SetPoly(10, rect(0, 0, 3000, 3000));
        auto* h = map->findChild<QScrollBar*>("HScroll1");
        auto* v = map->findChild<QScrollBar*>("VScroll1");
        h->setValue(3000);
        v->setValue(1500);
        map->Pan(true);
        press(*map, 6000, 4500);
        QCOMPARE(map->mode(), ZVMap::Mode::PanDrag);
        // Moves are measured from the press: a pointer 1500 left and 600 up scrolls 1500 right, 600 down.
        send(*map, QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, 6000 - 1500, 4500 - 600);
        QCOMPARE(h->value(), 4500);
        QCOMPARE(v->value(), 2100);
        send(*map, QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, 6000 + 100000, 4500);
        QCOMPARE(h->value(), 0);  // bounded by the range
        release(*map, 6000, 4500);
        QCOMPARE(map->mode(), ZVMap::Mode::Pan);
        QCOMPARE(rec.take(), QStringList{"MouseDown 1 0"});  // no MouseUp, no Click after a pan drag
        press(*map, 1000, 1000);
        release(*map, 1000, 1000);
        const QStringList second = rec.take();
        QCOMPARE(second.contains("PolyHit 10 0"), withPolygons);  // a hit in pan mode still reports
        QVERIFY(second.contains("MouseDown 1 0"));
    }

    void movePolygon()
    {
        Recorder rec;
        auto map = makeMap(rec);
        map->SetPoly(10, rect(1000, 1000, 1000, 1000));
        map->SetPoly(20, rect(5000, 1000, 600, 600));
        map->ShadePoly(10, 2);
        map->PolyMove();
        click(*map, 9000, 9000);  // a miss leaves the tool in place
        QCOMPARE(map->mode(), ZVMap::Mode::MovePoly);
        QCOMPARE(rec.take(), QStringList{"MouseUp 1"});
        press(*map, 1500, 1500);
        QVERIFY(map->ShadeDots().isEmpty());  // cleared for the drag
        send(*map, QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, 1800, 1650);
        send(*map, QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, 40000, 1650);  // beyond the picture: x stays
        QCOMPARE(map->Line(0).x1, 1300.0);
        release(*map, 40000, 1650);
        QCOMPARE(rec.take(), (QStringList{"PolyMoved 10"}));
        QCOMPARE(rec.points.last(), (Pts{{1300, 1150}, {2300, 1150}, {2300, 2150}, {1300, 2150}}));
        QCOMPARE(map->Poly(0).Pt, rec.points.last());
        QCOMPARE(map->HitTest(2200, 2100), 0);
        QCOMPARE(map->ShadeDots().size(), 1);  // shading restored
        QCOMPARE(map->Poly(0).Shading, qint16(2));
        QCOMPARE(map->mode(), ZVMap::Mode::Normal);  // one drag per PolyMove
    }

    void moveDeleteAndInsertVertex()
    {
        Recorder rec;
        auto map = makeMap(rec);
        const zv::Poly square = poly({{0, 0}, {3000, 0}, {3000, 3000}, {0, 3000}});
        map->SetPoly(10, square);
        map->SetPoly(20, poly({{6000, 0}, {7000, 0}, {6500, 900}}));

        map->MovePoint();
        press(*map, 3200, 2900);  // near vertex 2
        send(*map, QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, 3601, 3301);
        release(*map, 3601, 3301);
        QCOMPARE(rec.take(), (QStringList{"PointMoved 10", "Click"}));  // a vertex tool lets the click through
        QCOMPARE(rec.points.last(), (Pts{{0, 0}, {3000, 0}, {3601, 3301}, {0, 3000}}));
        QCOMPARE(map->Line(1).x2, 3601.0);
        QCOMPARE(map->mode(), ZVMap::Mode::Normal);

        // 500 away finds nothing; 499.9 finds the vertex.
        map->DeletePoint();
        click(*map, 500, 0);
        QVERIFY(rec.take().contains("Click"));
        QCOMPARE(map->Poly(0).Pt.size(), 4);
        click(*map, 499.9, 0);
        QCOMPARE(rec.take().first(), QStringLiteral("PointMoved 10"));
        QCOMPARE(rec.points.last(), (Pts{{3000, 0}, {3601, 3301}, {0, 3000}}));
        QCOMPARE(map->Poly(1).StartLine, 3);  // the later polygon's edges moved down
        QCOMPARE(map->Line(3).x1, 6000.0);
        map->DeletePoint();
        click(*map, 3000, 0);  // a triangle keeps its vertices and the tool stays
        QCOMPARE(map->Poly(0).Pt.size(), 3);
        QCOMPARE(map->mode(), ZVMap::Mode::DeleteVertex);
        map->Cancel();

        map->Delete(20);
        map->Delete(10);
        map->SetPoly(10, square);
        map->SetPoly(20, poly({{6000, 0}, {7000, 0}, {6500, 900}}));
        map->ShadePoly(10, 1);
        rec.take();
        // Insert between v1 and v2, chosen in reverse order.
        map->AddPoint();
        click(*map, 3000, 3000);
        QVERIFY(map->MarkerVisible(0));
        QCOMPARE(map->MarkerCentre(0), QPointF(3000, 3000));
        click(*map, 0, 0);  // v0 is not a neighbour of v2: ignored
        QVERIFY(!map->MarkerVisible(1));
        click(*map, 3000, 0);
        QVERIFY(map->MarkerVisible(1));
        QCOMPARE(map->mode(), ZVMap::Mode::InsertPlace);
        click(*map, 3500, 1500);
        QCOMPARE(rec.points.last(), (Pts{{0, 0}, {3000, 0}, {3500, 1500}, {3000, 3000}, {0, 3000}}));
        QVERIFY(!map->MarkerVisible(0) && !map->MarkerVisible(1));
        QCOMPARE(map->Poly(1).StartLine, 5);
        QCOMPARE(map->Line(5).x1, 6000.0);
        QCOMPARE(map->Poly(0).Shading, qint16(1));  // shading re-applied
        QCOMPARE(map->mode(), ZVMap::Mode::Normal);

        // Between the last vertex and the first: the new point becomes vertex 0.
        map->AddPoint();
        click(*map, 0, 3000);
        click(*map, 0, 0);
        click(*map, 300, 1500);
        QCOMPARE(rec.points.last(), (Pts{{300, 1500}, {0, 0}, {3000, 0}, {3500, 1500}, {3000, 3000}, {0, 3000}}));
        QCOMPARE(map->Line(0).x2, 0.0);
        QCOMPARE(map->Line(5).x2, 300.0);
        QCOMPARE(map->HitTest(3400, 1500), 0);
    }

    void copyAndPaste()
    {
        Recorder rec;
        auto map = makeMap(rec);
        map->SetPoly(10, poly({{100, 200}, {400, 200}, {400, 500}}));
        map->SetPoly(11, poly({{26000, 20000}, {26300, 20000}, {26300, 20300}}));  // far right and low
        map->Paste(99);  // nothing copied yet
        QVERIFY(rec.take().isEmpty());
        map->Copy(10);
        map->findChild<QScrollBar*>("HScroll1")->setValue(1500);
        map->findChild<QScrollBar*>("VScroll1")->setValue(600);
        int linesWhenPasted = -1;
        QObject::connect(map.get(), &ZVMap::PolyPasted, [&](qint32, const Pts&) { linesWhenPasted = map->LineCount(); });
        map->Paste(12);
        QCOMPARE(rec.take(), QStringList{"PolyPasted 12"});
        QCOMPARE(rec.points.last(), (Pts{{1500, 600}, {1800, 600}, {1800, 900}}));
        QCOMPARE(linesWhenPasted, 6);  // announced before its edges exist
        QCOMPARE(map->LineCount(), 9);
        QCOMPARE(map->mode(), ZVMap::Mode::MovePoly);
        press(*map, 1700, 700);
        send(*map, QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, 2700, 1700);
        release(*map, 2700, 1700);
        QCOMPARE(rec.take(), QStringList{"PolyMoved 12"});
        QCOMPARE(rec.points.last(), (Pts{{2500, 1600}, {2800, 1600}, {2800, 1900}}));

        // The true minimum: a copy of a polygon far right pastes at the visible corner.
        map->Copy(11);
        map->Paste(13);
        QCOMPARE(rec.points.last(), (Pts{{1500, 600}, {1800, 600}, {1800, 900}}));
        map->Cancel();
    }

    void cancelInEachMode_data()
    {
        QTest::addColumn<int>("setup");
        QTest::addColumn<int>("expected");
        const auto M = [](ZVMap::Mode m) { return int(m); };
        QTest::newRow("drawing") << 0 << M(ZVMap::Mode::Normal);
        QTest::newRow("pan") << 1 << M(ZVMap::Mode::Pan);
        QTest::newRow("move polygon") << 2 << M(ZVMap::Mode::Normal);
        QTest::newRow("move vertex") << 3 << M(ZVMap::Mode::Normal);
        QTest::newRow("delete vertex") << 4 << M(ZVMap::Mode::Normal);
        QTest::newRow("insert vertex") << 5 << M(ZVMap::Mode::Normal);
        QTest::newRow("half-drawn, then pan") << 6 << M(ZVMap::Mode::Pan);
    }

    void cancelInEachMode()
    {
        QFETCH(int, setup);
        QFETCH(int, expected);
        Recorder rec;
        auto map = makeMap(rec);
        map->SetPoly(10, rect(0, 0, 3000, 3000));
        switch (setup) {
        case 0:
        case 6:
            map->DrawPoly();
            click(*map, 5000, 5000);
            click(*map, 8000, 5000);
            click(*map, 8000, 8000);
            QCOMPARE(map->LineCount(), 7);
            if (setup == 6) map->Pan(true);  // leaves drawing without taking the polygon away
            break;
        case 1: map->Pan(true); break;
        case 2: map->PolyMove(); break;
        case 3: map->MovePoint(); break;
        case 4: map->DeletePoint(); break;
        case 5:
            map->AddPoint();
            click(*map, 0, 0);
            QVERIFY(map->MarkerVisible(0));
            break;
        }
        map->Cancel();
        QCOMPARE(int(map->mode()), expected);
        QCOMPARE(map->PolyCount(), 1);  // a half-drawn polygon is gone
        QCOMPARE(map->LineCount(), 4);
        QVERIFY(!map->MarkerVisible(0));
        // The next drawing starts fresh.
        map->DrawPoly();
        rec.outId = 30;
        click(*map, 9000, 9000);
        click(*map, 12000, 9000);
        click(*map, 12000, 12000, Qt::LeftButton, Qt::ControlModifier);
        QCOMPARE(rec.points.last(), (Pts{{9000, 9000}, {12000, 9000}, {12000, 12000}}));
        QCOMPARE(map->Poly(1).StartLine, 4);
    }

    void cancelOnlyPolygonWhileDrawing()
    {
        Recorder rec;
        auto map = makeMap(rec);
        map->DrawPoly();
        click(*map, 1000, 1000);
        click(*map, 2000, 1000);
        click(*map, 2000, 2000);
        map->Cancel();
        QVERIFY(map->StoreEmpty());
        QCOMPARE(map->LineCount(), 1);
        QVERIFY(!map->Line(0).visible);
        QCOMPARE(map->mode(), ZVMap::Mode::Normal);
    }
};

QTEST_MAIN(TestZVMapMouse)
#include "tst_zvmap_mouse.moc"

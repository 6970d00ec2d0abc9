// Host calls that arrive in the middle of a gesture, emptying the control in one step, damaged outlines,
// shading at deep zoom and the hover tip's text.

#include "zvtestutil.h"

#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QPainter>
#include <QRandomGenerator>
#include <QTimer>

#include <memory>

#include <sys/resource.h>

using namespace zvtest;

namespace {

// Each polygon's edges must be its own points times the zoom.
bool edgesMatchPoints(const ZVMap& map, double z = 1.0)
{
    for (int i = 0; i < map.PolyCount(); ++i) {
        const zv::Poly p = map.Poly(i);
        const int n = int(p.Pt.size());
        for (int k = 0; k < n; ++k) {
            const zv::Line e = map.Line(p.StartLine + k);
            if (e.x1 != p.Pt[k].x * z || e.y1 != p.Pt[k].y * z || e.x2 != p.Pt[(k + 1) % n].x * z ||
                e.y2 != p.Pt[(k + 1) % n].y * z)
                return false;
        }
    }
    return true;
}

// Cases run in a child process (a crash there fails the test instead of the whole program).
long vmSizeKb()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmSize:")) return line.mid(7).trimmed().split(' ').first().toLong();
    return -1;
}

int childCase(const QString& name)
{
    QTemporaryDir dir;
    ZVMap map;
    map.resize(400, 300);
    map.setImage(makePicture(dir, 400, 300));
    map.show();
    if (name == "huge") {
        // Damaged rows: outlines spanning more than 2^31 twips beside a sound one.
        map.SetPoly(1, poly({{-2'000'000'000, 100}, {2'000'000'000, 100}, {0, 2'100'000'000}}));
        map.SetPoly(2, rect(300, 300, 900, 900));
        map.SetPoly(3, poly({{std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::min()},
                             {std::numeric_limits<qint32>::max(), std::numeric_limits<qint32>::min()},
                             {std::numeric_limits<qint32>::max(), std::numeric_limits<qint32>::max()}}));
        map.ShadePoly(1, 1);
        map.ShadePoly(3, 2);
        for (const qint16 zoom : {100, 3200, 1, 100}) {
            map.Zoom(zoom);
            move(map, 600, 600);
            click(map, 600, 600);
            map.grab();
        }
        map.Copy(3);
        map.Paste(4);
        map.HighlightPoly(1);
        map.grab();
        if (map.HitTest(600, 600) != 1) return 3;  // the sound polygon still answers
        return map.PolyCount() == 4 ? 0 : 4;
    }
    if (name == "deepzoom") {
        // A fully shaded map at a deep zoom, with 1 GB more address space: every dot would take 24 GB.
        const rlim_t cap = (rlim_t(vmSizeKb()) << 10) + (rlim_t(1) << 30);
        const rlimit lim{cap, cap};
        setrlimit(RLIMIT_AS, &lim);
        for (int r = 0; r < 30; ++r)
            for (int c = 0; c < 40; ++c) map.SetPoly(r * 40 + c + 1, rect(c * 150, r * 150, 150, 150));
        for (int i = 1; i <= 1200; ++i) map.ShadePoly(i, qint16(1 + i % 2));
        map.Zoom(32000);
        map.grab();
        map.Zoom(100);
        return map.ShadeDots().size() == 1200 ? 0 : 5;
    }
    return 2;
}

}  // namespace

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
        map.Delete(2);  // the later entry with ID 2 goes; the earlier one with that ID is unshaded too
        QCOMPARE(map.ShadeDots().size(), 1);
        QCOMPARE(map.Poly(1).Shading, qint16(0));
        QCOMPARE(map.ShadeDots()[0].bounds, before[1].bounds);
        QCOMPARE(map.ShadeDots()[0].color, 0x000000FFu);
        map.Delete(1);
        QCOMPARE(map.ShadeDots().size(), 0);
        QCOMPARE(map.Poly(0).ID, 2);
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

    void pasteOrSetPolyWhileDrawing()
    {
        // The host adds polygons between the presses of a drawing: every polygon keeps its own edges.
        Recorder rec;
        QTemporaryDir dir;
        auto map = makeMap(rec, makePicture(dir, 400, 300));
        map->SetPoly(1, rect(4200, 3000, 900, 900));
        map->Copy(1);
        map->DrawPoly();
        click(*map, 600, 600);
        click(*map, 2400, 600);
        map->Paste(50);
        press(*map, 450, 450);
        send(*map, QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, 3450, 1450);
        release(*map, 3450, 1450);
        QCOMPARE(rec.points.last(), (Pts{{3000, 1000}, {3900, 1000}, {3900, 1900}, {3000, 1900}}));
        map->DrawPoly();
        click(*map, 2400, 2400);
        move(*map, 1000, 2600);
        const zv::Poly drawing = map->Poly(1);
        QCOMPARE(map->Line(drawing.StartLine + 2).x2, 1000.0);  // the rubber band is the drawing's own
        QCOMPARE(map->Poly(2).Pt, (Pts{{3000, 1000}, {3900, 1000}, {3900, 1900}, {3000, 1900}}));
        rec.outId = 3;
        click(*map, 600, 2400, Qt::LeftButton, Qt::ControlModifier);
        QCOMPARE(map->Poly(1).ID, 3);
        QCOMPARE(map->Poly(1).Pt, (Pts{{600, 600}, {2400, 600}, {2400, 2400}, {600, 2400}}));
        QVERIFY(edgesMatchPoints(*map));
        map->PolyMove();
        press(*map, 3450, 1450);
        send(*map, QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, 3550, 1550);
        release(*map, 3550, 1550);
        QCOMPARE(rec.events.last(), QStringLiteral("PolyMoved 50"));
        QCOMPARE(rec.points.last(), (Pts{{3100, 1100}, {4000, 1100}, {4000, 2000}, {3100, 2000}}));
        QVERIFY(edgesMatchPoints(*map));
        QCOMPARE(map->HitTest(1000, 1000), 1);
        QCOMPARE(map->HitTest(3200, 1200), 2);

        // The same with SetPoly, and a vertex taken back after it.
        map->DrawPoly();
        click(*map, 600, 3000);
        click(*map, 1200, 3000);
        map->SetPoly(60, rect(5000, 100, 500, 500));
        click(*map, 1800, 3000);
        click(*map, 1800, 3600);
        click(*map, 0, 0, Qt::RightButton);  // takes (1800, 3600) back
        QCOMPARE(map->Poly(4).Pt, (Pts{{5000, 100}, {5500, 100}, {5500, 600}, {5000, 600}}));
        rec.outId = 61;
        click(*map, 1200, 4000, Qt::LeftButton, Qt::ControlModifier);
        QCOMPARE(map->Poly(3).ID, 61);
        QCOMPARE(map->Poly(3).Pt, (Pts{{600, 3000}, {1200, 3000}, {1800, 3000}, {1200, 4000}}));
        QVERIFY(edgesMatchPoints(*map));
        QCOMPARE(map->HitTest(5200, 300), 4);
        map->Delete(1);  // edges laid out anew: still each polygon's own
        QVERIFY(edgesMatchPoints(*map));

        // The host removes the polygon being drawn (its ID is 0 until closed): the drawing starts afresh.
        const int count = map->PolyCount();
        map->DrawPoly();
        click(*map, 100, 4200);
        click(*map, 500, 4200);
        map->Delete(0);
        QCOMPARE(map->PolyCount(), count);
        QVERIFY(edgesMatchPoints(*map));
        click(*map, 2000, 4000);
        click(*map, 2600, 4000);
        rec.outId = 70;
        click(*map, 2600, 4400, Qt::LeftButton, Qt::ControlModifier);
        QCOMPARE(map->PolyCount(), count + 1);
        QCOMPARE(map->Poly(count).ID, 70);
        QCOMPARE(map->Poly(count).Pt, (Pts{{2000, 4000}, {2600, 4000}, {2600, 4400}}));
        QVERIFY(edgesMatchPoints(*map));
    }

    void hostDeletesDuringADrag_data()
    {
        QTest::addColumn<bool>("vertex");
        QTest::addColumn<int>("deleted");
        QTest::newRow("polygon drag, an earlier polygon deleted") << false << 1;
        QTest::newRow("polygon drag, its own polygon deleted") << false << 2;
        QTest::newRow("vertex drag, an earlier polygon deleted") << true << 1;
        QTest::newRow("vertex drag, its own polygon deleted") << true << 2;
    }

    void hostDeletesDuringADrag()
    {
        QFETCH(bool, vertex);
        QFETCH(int, deleted);
        Recorder rec;
        auto map = makeMap(rec);
        map->SetPoly(1, rect(300, 300, 900, 900));
        map->SetPoly(2, rect(3000, 300, 900, 900));
        map->SetPoly(3, rect(6000, 300, 900, 900));
        map->ShadePoly(2, 1);
        const Pts third = map->Poly(2).Pt;
        if (vertex) {
            map->MovePoint();
            press(*map, 3010, 310);  // the first vertex of polygon 2
        } else {
            map->PolyMove();
            press(*map, 3400, 700);
        }
        send(*map, QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, 3210, 510);
        map->Delete(deleted);
        send(*map, QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, 3310, 610);
        release(*map, 3310, 610);
        const QStringList events = rec.take();
        QCOMPARE(map->Poly(1).ID, 3);  // index 1 whichever was deleted
        QCOMPARE(map->Poly(1).Pt, third);  // never moves another polygon
        QVERIFY(!events.contains("PolyMoved 3") && !events.contains("PointMoved 3"));
        QVERIFY(edgesMatchPoints(*map));
        if (deleted == 2) {
            QVERIFY(!events.join(' ').contains("Moved"));
            return;
        }
        const Pts expect = vertex ? Pts{{3310, 610}, {3900, 300}, {3900, 1200}, {3000, 1200}}
                                  : Pts{{2910, 210}, {3810, 210}, {3810, 1110}, {2910, 1110}};
        QCOMPARE(events.filter("Moved"), QStringList{vertex ? "PointMoved 2" : "PolyMoved 2"});
        QCOMPARE(rec.points.last(), expect);
        QCOMPARE(map->Poly(0).ID, 2);
        QCOMPARE(map->Poly(0).Pt, expect);
        QCOMPARE(map->Poly(0).Shading, qint16(1));
    }

    void cancelDuringAVertexDragPutsItBack()
    {
        Recorder rec;
        auto map = makeMap(rec);
        map->SetPoly(1, rect(300, 300, 900, 900));
        map->ShadePoly(1, 2);
        const Pts before = map->Poly(0).Pt;
        const QVector<zv::DotBatch> shading = map->ShadeDots();
        map->MovePoint();
        press(*map, 1210, 1210);
        send(*map, QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, 2000, 1800);
        map->Cancel();
        QCOMPARE(map->Poly(0).Pt, before);
        QVERIFY(edgesMatchPoints(*map));
        QCOMPARE(map->ShadeDots().size(), 1);
        QCOMPARE(map->ShadeDots()[0].points, shading[0].points);
        release(*map, 2000, 1800);
        QVERIFY(!rec.take().join(' ').contains("Moved"));
        // The next edit reports the polygon as it was, moved.
        map->PolyMove();
        press(*map, 600, 600);
        send(*map, QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, 700, 700);
        release(*map, 700, 700);
        QCOMPARE(rec.points.last(), (Pts{{400, 400}, {1300, 400}, {1300, 1300}, {400, 1300}}));
    }

    void childProcessCases_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("outlines spanning more than 2^31 twips") << "huge";
        QTest::newRow("deepest zoom of a fully shaded map") << "deepzoom";
    }

    void childProcessCases()
    {
        QFETCH(QString, name);
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("ZVMAP_CHILD_CASE", name);
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::ForwardedChannels);
        child.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(child.waitForFinished(60000));
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 0);
    }

    void hoverTipShowsPlainText()
    {
        Recorder rec;
        auto map = makeMap(rec);
        map->SetPoly(10, rect(0, 0, 3000, 3000));
        rec.tip = "<b>Panel</b> 7 &amp; <i>8</i>";
        move(*map, 600, 1500);
        QLabel* label = tip(*map);
        QVERIFY(label->isVisible());
        QCOMPARE(label->text(), rec.tip);
        // It looks as a label that shows the text as written.
        QLabel plain;
        plain.setTextFormat(Qt::PlainText);
        plain.setFrameShape(label->frameShape());
        plain.setMargin(label->margin());
        plain.setFont(label->font());
        plain.setText(rec.tip);
        QCOMPARE(label->sizeHint(), plain.sizeHint());
    }
};

int main(int argc, char** argv)
{
    const QString childCaseName = qEnvironmentVariable("ZVMAP_CHILD_CASE");
    if (!childCaseName.isEmpty()) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        QApplication app(argc, argv);
        return childCase(childCaseName);
    }
    QApplication app(argc, argv);
    TestZVMapGestures t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_zvmap_gestures.moc"

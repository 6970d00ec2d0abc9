// Properties and persistence, the polygon store with its edge list, hit testing, shading and highlight.

#include "zvtestutil.h"

#include <QRandomGenerator>
#include <QSignalSpy>

using namespace zvtest;

class TestZVMapStore : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    // Edges k of polygon p at zoom z, as the control must hold them.
    static void checkEdges(const ZVMap& map, const zv::Poly& p, double z)
    {
        const int n = int(p.Pt.size());
        for (int k = 0; k < n; ++k) {
            const zv::Line e = map.Line(p.StartLine + k);
            QCOMPARE(e.x1, p.Pt[k].x * z);
            QCOMPARE(e.y1, p.Pt[k].y * z);
            QCOMPARE(e.x2, p.Pt[(k + 1) % n].x * z);
            QCOMPARE(e.y2, p.Pt[(k + 1) % n].y * z);
        }
    }

private slots:
    void defaultsAndPersistence()
    {
        ZVMap map;
        QCOMPARE(map.BackColor(), 0x8000000Fu);
        QCOMPARE(map.ForeColor(), 0x80000012u);
        QVERIFY(map.Enabled());
        QCOMPARE(map.BackStyle(), qint16(1));
        QCOMPARE(map.BorderStyle(), qint16(0));
        QCOMPARE(map.Appearance(), qint16(1));
        QCOMPARE(map.DrawWidth(), qint16(1));
        QCOMPARE(map.MousePointer(), qint16(0));
        QVERIFY(map.PVisible());
        QVERIFY(map.Image().isEmpty());
        QCOMPARE(map.ZoomFactor(), 1.0f);
        QCOMPARE(map.ScrollUnitX(), qint16(1));
        QVERIFY(map.WriteProperties().isEmpty());  // defaults are not written

        const QString pic = makePicture(m_dir, 50, 40);
        QFont f = map.font();
        f.setPointSize(f.pointSize() + 3);
        QPixmap icon(8, 8);
        icon.fill(Qt::red);
        QSignalSpy changed(&map, &ZVMap::PropertyChanged);
        map.setBackColor(0x00112233);
        map.setForeColor(0x000000FF);
        map.setEnabled(false);
        map.setFont(f);
        map.setBackStyle(0);
        map.setBorderStyle(1);
        map.setAppearance(0);
        map.setDrawWidth(3);
        map.setImage(pic);
        map.setMouseIcon(icon);
        map.setMousePointer(99);
        map.setPVisible(false);
        map.setToolTipText(QStringLiteral("tip"));
        QCOMPARE(changed.count(), 12);  // every persisted property but PVisible notifies
        QVERIFY(!changed.contains(QVariantList{QStringLiteral("PVisible")}));

        const auto bag = map.WriteProperties();
        QStringList names;
        QVariantMap asMap;
        for (const auto& kv : bag) {
            names << kv.first;
            asMap.insert(kv.first, kv.second);
        }
        QCOMPARE(names, (QStringList{"BackColor", "ForeColor", "Enabled", "Font", "BackStyle", "BorderStyle",
                                     "Appearance", "DrawWidth", "Image", "MouseIcon", "MousePointer", "PVisible",
                                     "ToolTipText"}));

        ZVMap back;
        back.ReadProperties(asMap);
        QCOMPARE(back.BackColor(), 0x00112233u);
        QCOMPARE(back.ForeColor(), 0x000000FFu);
        QVERIFY(!back.Enabled());
        QCOMPARE(back.Font(), f);
        QCOMPARE(back.BackStyle(), qint16(0));
        QCOMPARE(back.BorderStyle(), qint16(1));
        QCOMPARE(back.Appearance(), qint16(0));
        QCOMPARE(back.DrawWidth(), qint16(3));
        QCOMPARE(back.Image(), pic);
        QCOMPARE(back.Picture().size(), QSize(50, 40));  // the stored picture is shown again
        QCOMPARE(back.MousePointer(), qint16(99));
        QVERIFY(!back.MouseIcon().isNull());
        QVERIFY(!back.PVisible());
        QCOMPARE(back.ToolTipText(), QStringLiteral("tip"));
        QCOMPARE(back.WriteProperties().size(), bag.size());
    }

    void propertyEdgeCases()
    {
        ZVMap map;
        map.setDrawWidth(0);
        QCOMPARE(map.DrawWidth(), qint16(1));
        map.setDrawWidth(9);
        QCOMPARE(map.DrawWidth(), qint16(5));
        map.ReadProperties({{"DrawWidth", 9}});
        QCOMPARE(map.DrawWidth(), qint16(9));  // read as stored

        map.ReadProperties({{"PVisible", false}});
        QVERIFY(!map.PVisible());
        map.ReadProperties({});
        QVERIFY(map.PVisible());

        // A stored picture that no longer exists shows nothing and raises nothing.
        map.ReadProperties({{"Image", m_dir.filePath("gone.png")}});
        QVERIFY(map.Picture().isNull());
        QCOMPARE(map.Image(), m_dir.filePath("gone.png"));

        map.SetPoly(7, rect(0, 0, 300, 300));
        QCOMPARE(map.Poly(0).ID, 7);
        QCOMPARE(map.Poly(-1).ID, 0);
        QVERIFY(map.Poly(-1).Pt.isEmpty());
        QVERIFY(map.Poly(1).Pt.isEmpty());
        map.PopupMenu(nullptr, 1, 2, 3, QVariant());
        QCOMPARE(map.Poly(0).Pt.size(), 4);

        // ForeColor recolours every edge and becomes the colour of later ones.
        map.setForeColor(0x00FF0000);
        QCOMPARE(map.Line(2).color, 0x00FF0000u);
        map.SetPoly(8, rect(0, 0, 30, 30));
        QCOMPARE(map.Line(5).color, 0x00FF0000u);
    }

    void imageFailures()
    {
        ZVMap map;
        const QString good = makePicture(m_dir, 20, 10);
        map.setImage(good);
        QFile bad(m_dir.filePath("bad.png"));
        QVERIFY(bad.open(QIODevice::WriteOnly));
        bad.write("not a picture");
        bad.close();
        for (const QString& path : {bad.fileName(), m_dir.filePath("missing.bmp")}) {
            bool thrown = false;
            try {
                map.setImage(path);
            } catch (const zv::Error& e) {
                thrown = true;
                QVERIFY(e.number() == 481 || e.number() == 53);
            }
            QVERIFY(thrown);
            QCOMPARE(map.Image(), path);                     // the text has changed
            QCOMPARE(map.Picture().size(), QSize(20, 10));  // the previous picture stays
        }
        bool thrown = false;
        try {
            map.SetPoly(1, zv::Poly{});
        } catch (const zv::Error&) {
            thrown = true;
        }
        QVERIFY(thrown);
        QCOMPARE(map.PolyCount(), 0);  // nothing was taken by the refused call
    }

    void edgeListAfterSetPolyAndDelete()
    {
        ZVMap map;
        const zv::Poly a = poly({{100, 100}, {400, 100}, {250, 400}});
        const zv::Poly b = rect(1000, 1000, 600, 300);
        const zv::Poly c = poly({{2000, 0}, {2300, 0}, {2300, 300}});
        map.SetPoly(10, a);
        map.SetPoly(20, b);
        map.SetPoly(30, c);
        QCOMPARE(map.Poly(0).StartLine, 0);
        QCOMPARE(map.Poly(1).StartLine, 3);
        QCOMPARE(map.Poly(2).StartLine, 7);
        QCOMPARE(map.LineCount(), 10);
        for (int i = 0; i < 3; ++i) checkEdges(map, map.Poly(i), 1.0);
        for (int k = 0; k < 10; ++k) QVERIFY(map.Line(k).visible);

        map.Delete(20);  // a middle entry: the later one moves down, edges consecutive again
        QCOMPARE(map.PolyCount(), 2);
        QCOMPARE(map.Poly(1).ID, 30);
        QCOMPARE(map.Poly(1).StartLine, 3);
        QCOMPARE(map.LineCount(), 6);
        checkEdges(map, map.Poly(0), 1.0);
        checkEdges(map, map.Poly(1), 1.0);

        map.Zoom(200);
        checkEdges(map, map.Poly(1), 2.0);
        map.Zoom(100);

        // Duplicate IDs: Delete takes the later entry.
        map.SetPoly(10, rect(5000, 5000, 100, 100));
        map.Delete(10);
        QCOMPARE(map.PolyCount(), 2);
        QCOMPARE(map.Poly(0).Pt, a.Pt);

        map.Delete(10);
        map.Delete(30);
        QVERIFY(map.StoreEmpty());
        QCOMPARE(map.PolyCount(), 0);
        QCOMPARE(map.LineCount(), 1);
        QVERIFY(!map.Line(0).visible);
        map.Delete(30);  // nothing left: nothing happens
        map.SetPoly(40, c);
        QCOMPARE(map.Poly(0).StartLine, 0);
        QCOMPARE(map.LineCount(), 3);

        // A one-point polygon owns one edge; the next polygon starts after it.
        ZVMap single;
        single.SetPoly(1, poly({{50, 50}}));
        single.SetPoly(2, a);
        QCOMPARE(single.Poly(1).StartLine, 1);
        QCOMPARE(single.LineCount(), 4);
        checkEdges(single, single.Poly(1), 1.0);
    }

    void editsRightAfterZoomSeeExactEdges()
    {
        // A zoom leaves the edges to be made on first use: whatever comes next must see them exact.
        ZVMap map;
        const zv::Poly a = poly({{100, 100}, {400, 100}, {250, 400}});
        const zv::Poly b = rect(1000, 1000, 600, 300);
        map.SetPoly(10, a);
        map.Zoom(250);
        map.SetPoly(20, b);
        QCOMPARE(map.Poly(1).StartLine, 3);
        QCOMPARE(map.LineCount(), 7);
        checkEdges(map, map.Poly(0), 2.5);
        checkEdges(map, map.Poly(1), 2.5);
        map.Zoom(50);
        map.HighlightPoly(20);
        QCOMPARE(map.Line(3).width, 3);
        QCOMPARE(map.Line(0).width, 1);
        checkEdges(map, map.Poly(1), 0.5);
        map.Zoom(100);
        map.Delete(10);
        QCOMPARE(map.Poly(0).StartLine, 0);
        checkEdges(map, map.Poly(0), 1.0);
        QCOMPARE(map.HitTest(1001, 1001), 0);
    }

    void neverUsedStoreIsQuiet()
    {
        ZVMap map;
        map.Delete(5);
        map.ShadePoly(5, 1);
        map.ShadePoly(5, 0);
        map.HighlightPoly(5);
        map.HighlightInvisPoly(5);
        map.Copy(5);
        map.Paste(6);  // nothing copied: nothing added
        QCOMPARE(map.PolyCount(), 0);
        QCOMPARE(map.HitTest(10, 10), -1);
    }

    void hitTestFirstStoredWins_data()
    {
        QTest::addColumn<double>("x");
        QTest::addColumn<double>("y");
        QTest::addColumn<int>("index");
        // 0: square 0..3000; 1: square 1500..4500 overlapping it; 2: another with ID 1 (duplicate) further away
        QTest::newRow("only first") << 500.0 << 500.0 << 0;
        QTest::newRow("overlap: first stored") << 2000.0 << 2000.0 << 0;
        QTest::newRow("only second") << 4000.0 << 4000.0 << 1;
        QTest::newRow("left edge inside") << 0.0 << 1000.0 << 0;
        QTest::newRow("top edge inside") << 1000.0 << 0.0 << 0;
        QTest::newRow("right edge outside") << 4500.0 << 4000.0 << -1;
        QTest::newRow("bottom edge outside") << 4000.0 << 4500.0 << -1;
        QTest::newRow("half rounds to even: out") << 4499.5 << 4000.0 << -1;  // 4500
        QTest::newRow("half rounds to even: in") << 4498.5 << 4000.0 << 1;    // 4498
        QTest::newRow("duplicate id entry") << 8100.0 << 8100.0 << 2;
        QTest::newRow("miss") << 6000.0 << 500.0 << -1;
    }

    void hitTestFirstStoredWins()
    {
        QFETCH(double, x);
        QFETCH(double, y);
        QFETCH(int, index);
        ZVMap map;
        map.SetPoly(1, rect(0, 0, 3000, 3000));
        map.SetPoly(2, rect(1500, 1500, 3000, 3000));
        map.SetPoly(1, rect(8000, 8000, 300, 300));
        QCOMPARE(map.HitTest(float(x), float(y)), index);
    }

    void hitTestIndexAgreesWithStoreOrderScan()
    {
        // The grid index must answer exactly what a scan in store order answers.
        ZVMap map;
        QRandomGenerator rng(12345);
        QVector<QPolygon> regions;
        for (int i = 0; i < 1500; ++i) {
            const int cx = rng.bounded(60000), cy = rng.bounded(40000), r = 200 + rng.bounded(3000);
            zv::Poly p;
            QPolygon q;
            for (int k = 0; k < 6; ++k) {
                const double a = k * 3.14159265 / 3 + rng.bounded(0.5);
                const double rr = r * (0.4 + rng.bounded(0.6));
                const zv::Point pt{cx + int(rr * std::cos(a)), cy + int(rr * std::sin(a))};
                p.Pt.append(pt);
                q.append(QPoint(pt.x, pt.y));
            }
            map.SetPoly(i, p);
            regions.append(q);
        }
        for (int t = 0; t < 20000; ++t) {
            const int x = rng.bounded(-500, 61000), y = rng.bounded(-500, 41000);
            int expect = -1;
            for (int i = 0; i < regions.size(); ++i)
                if (regions[i].containsPoint(QPoint(x, y), Qt::OddEvenFill)) {
                    expect = i;
                    break;
                }
            QCOMPARE(map.HitTest(float(x), float(y)), expect);
        }
        // Still right after the store changes under the index.
        map.Delete(0);
        map.Zoom(50);
        int hits = 0;
        for (int t = 0; t < 3000; ++t) {
            const int x = rng.bounded(30000), y = rng.bounded(20000);
            int expect = -1;
            for (int i = 1; i < regions.size(); ++i) {
                QPolygon half;
                for (const QPoint& pt : regions[i]) half.append(QPoint(int(std::nearbyint(pt.x() * 0.5)),
                                                                       int(std::nearbyint(pt.y() * 0.5))));
                if (half.containsPoint(QPoint(x, y), Qt::OddEvenFill)) {
                    expect = i - 1;
                    break;
                }
            }
            hits += expect >= 0;
            QCOMPARE(map.HitTest(float(x), float(y)), expect);
        }
        QVERIFY(hits > 100);
    }

    void shadingLevelsAndColours()
    {
        ZVMap map;
        map.SetPoly(1, rect(0, 0, 600, 300));
        map.SetPoly(2, rect(3000, 0, 300, 300));
        map.SetPoly(3, rect(6000, 0, 20, 300));  // narrower than one step: left column only

        map.ShadePoly(1, 1);
        QCOMPARE(map.ShadeDots().size(), 1);
        QCOMPARE(map.ShadeDots()[0].color, 0x0000E6FFu);
        QCOMPARE(map.Poly(0).Shading, qint16(1));
        // 30-twip grid from the box corner; right and bottom borders lie outside the region
        QCOMPARE(map.ShadeDots()[0].points.size(), 20 * 10);
        QCOMPARE(map.ShadeDots()[0].points.first(), QPoint(0, 0));

        map.ShadePoly(2, 2);
        QCOMPARE(map.ShadeDots().last().color, 0x000000FFu);
        map.ShadePoly(3, 1);
        for (const QPoint& pt : map.ShadeDots().last().points) QCOMPARE(pt.x(), 6000);

        map.ShadePoly(1, 2);  // same dots in the new colour
        QCOMPARE(map.Poly(0).Shading, qint16(2));
        QCOMPARE(map.ShadeDots().last().color, 0x000000FFu);
        QCOMPARE(map.ShadeDots().size(), 3);

        map.ShadePoly(2, 0);  // repaint: the others come back, this one stays clear
        QCOMPARE(map.Poly(1).Shading, qint16(0));
        QCOMPARE(map.ShadeDots().size(), 2);
        for (const zv::DotBatch& b : map.ShadeDots()) QVERIFY(b.bounds.left() != 3000);

        // Zoom keeps the shading, drawn again at the new factor and inside the polygon.
        map.Zoom(250);
        QCOMPARE(map.ShadeDots().size(), 2);
        const zv::DotBatch first = map.ShadeDots()[0];
        QCOMPARE(first.color, 0x000000FFu);
        QCOMPARE(first.bounds, QRect(0, 0, 1501, 751));
        for (const QPoint& pt : first.points) {
            QVERIFY(pt.x() >= 0 && pt.x() < 1500 && pt.y() >= 0 && pt.y() < 750);
            QCOMPARE(map.HitTest(pt.x(), pt.y()), 0);
        }
        QCOMPARE(first.points.size(), 50 * 25);

        map.Delete(1);  // unshades before it removes
        QCOMPARE(map.ShadeDots().size(), 1);
        QCOMPARE(map.ShadeDots()[0].bounds.left(), 15000);
    }

    void shadingIsPainted()
    {
        ZVMap map;
        map.resize(300, 200);
        map.setImage(makePicture(m_dir, 200, 150));
        map.SetPoly(1, rect(300, 300, 900, 900));  // 20..80 px
        map.ShadePoly(1, 1);
        const QImage shot = map.grab().toImage();
        const QPoint vpOrigin = map.findChild<QWidget*>("picContainer")->pos();
        // a dot of the 2-px grid inside, amber; the outline black on the left edge
        QCOMPARE(shot.pixelColor(vpOrigin + QPoint(22, 22)), QColor(255, 230, 0));
        QCOMPARE(shot.pixelColor(vpOrigin + QPoint(20, 50)), QColor(0, 0, 0));
        QCOMPARE(shot.pixelColor(vpOrigin + QPoint(120, 120)), QColor(255, 255, 255));
    }

    void deleteUnshadesEveryEntryOfItsID_data()
    {
        QTest::addColumn<int>("zoom");
        QTest::addColumn<bool>("laterFirst");  // the later entry added before the other polygon's
        QTest::newRow("100 %") << 100 << false;
        QTest::newRow("250 %") << 250 << false;
        QTest::newRow("other polygon last") << 100 << true;
    }

    void deleteUnshadesEveryEntryOfItsID()
    {
        // Two entries with ID 5, the earlier shaded: Delete removes the later and leaves no dot of ID 5.
        QFETCH(int, zoom);
        QFETCH(bool, laterFirst);
        ZVMap map;
        map.resize(400, 300);
        map.setImage(makePicture(m_dir, 300, 200, "dup.png"));
        map.Zoom(qint16(zoom));
        map.SetPoly(5, rect(300, 300, 900, 900));  // 20..80 px at 100 %
        if (laterFirst) map.SetPoly(5, rect(1500, 1500, 300, 300));
        map.SetPoly(7, rect(2400, 300, 600, 600));
        if (!laterFirst) map.SetPoly(5, rect(1500, 1500, 300, 300));
        map.ShadePoly(5, 1);
        map.ShadePoly(7, 2);
        QCOMPARE(map.ShadeDots().size(), 2);
        const int at = 300 * zoom / 100 / 15 + 2;  // a dot of the earlier entry, two pixels in
        const QPoint vpOrigin = map.findChild<QWidget*>("picContainer")->pos();
        QCOMPARE(map.grab().toImage().pixelColor(vpOrigin + QPoint(at, at)), QColor(255, 230, 0));
        map.Delete(5);
        QCOMPARE(map.grab().toImage().pixelColor(vpOrigin + QPoint(at, at)), QColor(255, 255, 255));
        QCOMPARE(map.PolyCount(), 2);
        QCOMPARE(map.Poly(0).ID, 5);
        QCOMPARE(map.Poly(0).Pt, rect(300, 300, 900, 900).Pt);
        QCOMPARE(map.Poly(0).Shading, qint16(0));
        QCOMPARE(map.ShadeDots().size(), 1);  // only the other polygon's
        QCOMPARE(map.ShadeDots()[0].color, 0x000000FFu);
        QCOMPARE(map.ShadeDots()[0].bounds.left(), int(std::lrint(2400 * zoom / 100.0)));
        // A zoom brings back what is shaded, and ID 5 is not.
        map.Zoom(100);
        QCOMPARE(map.ShadeDots().size(), 1);
        QCOMPARE(map.ShadeDots()[0].color, 0x000000FFu);
        map.Delete(5);  // the last one
        QCOMPARE(map.PolyCount(), 1);
        QCOMPARE(map.ShadeDots().size(), 1);
    }

    void sameOutlineShadedTwiceKeepsBoth()
    {
        // Two polygons with the same outline, both shaded: deleting one leaves the other's dots.
        ZVMap map;
        map.SetPoly(1, rect(0, 0, 600, 600));
        map.SetPoly(2, rect(0, 0, 600, 600));
        map.ShadePoly(1, 1);
        map.ShadePoly(2, 2);
        map.Delete(2);
        QCOMPARE(map.Poly(0).Shading, qint16(1));
        QCOMPARE(map.ShadeDots().size(), 1);
        QCOMPARE(map.ShadeDots()[0].color, 0x0000E6FFu);
        QVERIFY(!map.ShadeDots()[0].points.isEmpty());
        map.ShadePoly(1, 2);  // the same polygon again: its dots in the new colour, once
        QCOMPARE(map.ShadeDots().size(), 1);
        QCOMPARE(map.ShadeDots()[0].color, 0x000000FFu);
    }

    void highlightAndScrollIntoView()
    {
        ZVMap map;
        map.resize(300, 200);
        map.setImage(makePicture(m_dir, 2000, 1500, "big.png"));
        map.setDrawWidth(2);
        map.SetPoly(1, rect(300, 300, 600, 600));
        map.SetPoly(2, rect(15000, 9000, 900, 900));      // out of view
        map.SetPoly(3, rect(29000, 22000, 900, 400));     // near the bottom-right corner
        QScrollBar* h = map.findChild<QScrollBar*>("HScroll1");
        QScrollBar* v = map.findChild<QScrollBar*>("VScroll1");

        map.HighlightPoly(1);
        for (int k = 0; k < 4; ++k) QCOMPARE(map.Line(k).width, 4);
        QCOMPARE(map.Line(4).width, 2);
        QCOMPARE(h->value(), 0);  // in view: no scrolling

        map.HighlightPoly(2);
        QCOMPARE(map.Line(0).width, 2);
        QCOMPARE(map.Line(4).width, 4);
        QCOMPARE(h->value(), 15000);
        QCOMPARE(v->value(), 9000);
        QCOMPARE(map.SurfaceLeft(), -15000.0);

        map.HighlightPoly(3);  // beyond the range: clamped to its end
        QCOMPARE(h->value(), h->maximum());
        QCOMPARE(v->value(), v->maximum());
        QCOMPARE(map.SurfaceTop(), -double(v->maximum()));

        map.HighlightInvisPoly(2);
        for (int k = 0; k < map.LineCount(); ++k) {
            const zv::Line e = map.Line(k);
            const bool mine = k >= 4 && k < 8;
            QCOMPARE(e.visible, mine);
            QCOMPARE(e.width, mine ? 4 : 2);
            QCOMPARE(e.color, mine ? 0x000000FFu : 0u);
        }
        // A later redraw does not spread the highlight colour to every outline.
        map.setPVisible(true);
        QCOMPARE(map.Line(0).color, 0u);
        QVERIFY(map.Line(0).visible);

        // Hidden outlines: no width changes, only scrolling.
        map.setPVisible(false);
        h->setValue(0);
        v->setValue(0);
        map.HighlightPoly(2);
        QCOMPARE(map.Line(4).width, 2);
        QCOMPARE(h->value(), 15000);
    }

    void scrollUnitWithLargeRange()
    {
        // With a unit above 1 the highlight asks for more than the range: clamped, no error.
        ZVMap map;
        map.resize(300, 200);
        map.setImage(makePicture(m_dir, 4000, 300, "wide.png"));
        map.Zoom(100);
        QCOMPARE(map.ScrollUnitX(), qint16(2));
        QScrollBar* h = map.findChild<QScrollBar*>("HScroll1");
        map.SetPoly(9, rect(59000, 100, 300, 100));
        map.HighlightPoly(9);
        QCOMPARE(h->value(), h->maximum());
        QCOMPARE(map.SurfaceLeft(), -double(h->maximum()) * 2);
    }
};

QTEST_MAIN(TestZVMapStore)
#include "tst_zvmap_store.moc"

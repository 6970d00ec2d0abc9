// The viewport: picture, zoom, scroll bars and their units, visible part, painting of the visible area.

#include "picturebomb.h"
#include "pipewatch.h"
#include "zvtestutil.h"

#include <QImageReader>
#include <QPainter>
#include <QSignalSpy>
#include <QStyle>

#include <cmath>

using namespace zvtest;

class TestZVMapViewport : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    static QScrollBar* hbar(ZVMap& m) { return m.findChild<QScrollBar*>("HScroll1"); }
    static QScrollBar* vbar(ZVMap& m) { return m.findChild<QScrollBar*>("VScroll1"); }
    static int barExtent(ZVMap& m) { return m.style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, &m); }

    // Largest difference between neighbouring pixels' grey along a row of the viewport: high
    // where one-pixel stripes are drawn as they are, low where they are blurred to grey.
    static int stripeContrast(ZVMap& map, int y)
    {
        QWidget* vp = map.findChild<QWidget*>("picContainer");
        const QImage shot = vp->grab().toImage();
        int most = 0;
        for (int x = 1; x < qMin(shot.width(), 200); ++x)
            most = qMax(most, qAbs(qGray(shot.pixel(x, y)) - qGray(shot.pixel(x - 1, y))));
        return most;
    }

private slots:
    void coordinatesAtZoom200()
    {
        ZVMap map;
        map.resize(400, 300);
        map.setImage(makePicture(m_dir, 1000, 800));
        map.Zoom(200);
        QCOMPARE(map.ZoomFactor(), 2.0f);
        const zv::Point p = map.PictureFromDisplay(301, 101);
        QCOMPARE(p.x, 150);  // 150.5 -> 150
        QCOMPARE(p.y, 50);   // 50.5 -> 50
        QCOMPARE(map.PictureFromDisplay(303, 105).x, 152);  // 151.5 -> 152

        float sx = -1, sy = -1;
        qint32 w = 0, h = 0;
        map.PicCoordinates(sx, sy, w, h);
        QCOMPARE(sx, 0.0f);
        QCOMPARE(sy, 0.0f);
        QCOMPARE(w, (400 - barExtent(map)) * 15);  // the viewport's width: the picture is wider
        QCOMPARE(h, (300 - barExtent(map)) * 15);
        qint32 iw = 0, ih = 0;
        map.ImgSize(iw, ih);
        QCOMPARE(iw, 30000);
        QCOMPARE(ih, 24000);
    }

    // A picture is decoded whole up to the decode limit, else scaled down by halves to within
    // it; either way the control measures and zooms it at its natural size. Qt's allocation
    // limit (below 8000 x 5000 here) is raised for the decode only.
    void largePicturesAreHeldWithinTheDecodeLimit_data()
    {
        QTest::addColumn<QSize>("natural");
        QTest::addColumn<qint64>("limit");
        QTest::addColumn<QSize>("held");
        QTest::addColumn<QByteArray>("format");
        const qint64 map = ZVMap::kDefaultDecodeLimit;
        QTest::newRow("map at the limit, whole") << QSize(8000, 5000) << map << QSize(8000, 5000) << QByteArray("jpeg");
        QTest::newRow("beyond the limit, a half") << QSize(9000, 6000) << map << QSize(4500, 3000) << QByteArray("jpeg");
        QTest::newRow("phone photo, whole") << QSize(4000, 3000) << qint64(16'000'000) << QSize(4000, 3000)
                                            << QByteArray("jpeg");
        QTest::newRow("45 MP photo, a half") << QSize(8256, 5504) << qint64(16'000'000) << QSize(4128, 2752)
                                             << QByteArray("jpeg");
        QTest::newRow("200 MP photo, a quarter") << QSize(16320, 12240) << qint64(16'000'000) << QSize(4080, 3060)
                                                 << QByteArray("jpeg");
        QTest::newRow("odd size rounds up") << QSize(1001, 999) << qint64(300'000) << QSize(501, 500)
                                            << QByteArray("jpeg");
        // A PNG as large as two 4K screens side by side: whole beyond Qt's own allocation limit.
        QTest::newRow("38 MP PNG, whole") << QSize(8192, 4608) << map << QSize(8192, 4608) << QByteArray("png");
        QTest::newRow("38 MP PNG, a half") << QSize(8192, 4608) << qint64(16'000'000) << QSize(4096, 2304)
                                        << QByteArray("png");
    }
    void largePicturesAreHeldWithinTheDecodeLimit()
    {
        QFETCH(QSize, natural);
        QFETCH(qint64, limit);
        QFETCH(QSize, held);
        QFETCH(QByteArray, format);
        const QString path = m_dir.filePath(QStringLiteral("large.") + QString::fromLatin1(format));
        if (format == "jpeg") {
            QVERIFY(WriteFlatJpeg(path, natural.width(), natural.height()));
        } else {
            QImage im(natural, QImage::Format_RGB32);
            im.fill(Qt::darkCyan);
            QVERIFY(im.save(path, format.constData(), 0));
        }
        const int allocation = QImageReader::allocationLimit();
        ZVMap map;
        map.resize(400, 300);
        map.setDecodeLimit(limit);
        map.setImage(path);
        QCOMPARE(map.Picture().size(), held);
        QCOMPARE(map.PictureSize(), natural);
        qint32 w = 0, h = 0;
        map.ImgSize(w, h);
        QCOMPARE(w, natural.width() * 15);
        QCOMPARE(h, natural.height() * 15);
        map.Zoom(50);
        map.ImgSize(w, h);
        QCOMPARE(w, qint32(std::nearbyint(natural.width() * 15 / 2.0)));
        map.grab();  // paints, the detail included
        QCOMPARE(QImageReader::allocationLimit(), allocation);
        // Reading properties loads the same way.
        ZVMap again;
        again.setDecodeLimit(limit);
        again.ReadProperties({{QStringLiteral("Image"), path}});
        QCOMPARE(again.Picture().size(), held);
        QCOMPARE(again.PictureSize(), natural);
    }

    // A picture held scaled down shows the detail the zoom asks for: one-pixel stripes stay
    // stripes at 100 %, at the top left and after scrolling to the far corner; at a zoom the
    // held picture covers they are grey, as they are at that size.
    void aScaledPictureShowsItsDetailWhereShown()
    {
        QImage im(1600, 1200, QImage::Format_RGB32);
        for (int x = 0; x < im.width(); ++x)
            for (int y = 0; y < im.height(); ++y)
                im.setPixel(x, y, x % 2 ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
        const QString path = m_dir.filePath("stripes.jpg");
        QVERIFY(im.save(path, "JPEG", 100));
        ZVMap map;
        map.resize(400, 300);
        map.setDecodeLimit(1600 * 1200 / 16);
        map.setImage(path);
        QCOMPARE(map.Picture().size(), QSize(400, 300));
        map.show();
        // Shown at once from the held picture, then in detail once the view is still.
        QVERIFY(!map.DetailShown());
        QTRY_VERIFY(map.DetailShown());
        QVERIFY(stripeContrast(map, 20) > 150);
        hbar(map)->setValue(hbar(map)->maximum());
        vbar(map)->setValue(vbar(map)->maximum());
        QTRY_VERIFY(map.DetailShown());
        QVERIFY(stripeContrast(map, 200) > 150);
        map.Zoom(25);
        QVERIFY(map.DetailShown());  // the held picture has all the detail shown at 25 %
        QVERIFY(stripeContrast(map, 20) < 60);
        // The same picture held whole draws the same stripes.
        ZVMap whole;
        whole.resize(400, 300);
        whole.setImage(path);
        QCOMPARE(whole.Picture().size(), QSize(1600, 1200));
        whole.show();
        QVERIFY(whole.DetailShown());
        QVERIFY(stripeContrast(whole, 20) > 150);
    }

    void visibleTopLeftAfterScrolling()
    {
        ZVMap map;
        map.resize(400, 300);
        map.setImage(makePicture(m_dir, 1000, 800));
        map.Zoom(150);
        hbar(map)->setValue(3000);
        QCOMPARE(map.SurfaceLeft(), -3000.0);
        float sx = 0, sy = 0;
        qint32 w = 0, h = 0;
        map.PicCoordinates(sx, sy, w, h);
        QCOMPARE(sx, 2000.0f);

        // Zooming keeps the bar values within their new ranges.
        vbar(map)->setValue(vbar(map)->maximum());
        map.Zoom(100);
        QCOMPARE(hbar(map)->value(), 3000);
        QCOMPARE(vbar(map)->value(), vbar(map)->maximum());
        QCOMPARE(map.SurfaceTop(), -double(vbar(map)->maximum()));

        map.Zoom(0);  // ignored
        map.Zoom(-50);
        QCOMPARE(map.ZoomFactor(), 1.0f);
    }

    void smallPictureHidesBars()
    {
        ZVMap map;
        map.resize(400, 300);
        map.setImage(makePicture(m_dir, 100, 80));
        QVERIFY(hbar(map)->isHidden());
        QVERIFY(vbar(map)->isHidden());
        QCOMPARE(map.SurfaceLeft(), 0.0);
        QCOMPARE(map.SurfaceTop(), 0.0);
        float sx, sy;
        qint32 w, h;
        map.PicCoordinates(sx, sy, w, h);
        QCOMPARE(w, 1500);
        QCOMPARE(h, 1200);
        // The viewport does not grow when the bars hide.
        QCOMPARE(map.findChild<QWidget*>("picContainer")->width(), 400 - barExtent(map));
    }

    void scrollUnits_data()
    {
        QTest::addColumn<int>("surplus");
        QTest::addColumn<int>("unit");
        QTest::addColumn<int>("maximum");
        QTest::newRow("within range") << 30000 << 1 << 30000;
        QTest::newRow("40005: half to even") << 40005 << 2 << 20002;
        QTest::newRow("40035") << 40035 << 2 << 20018;  // 20017.5 -> 20018
        QTest::newRow("65535") << 65535 << 3 << 21845;
    }

    void scrollUnits()
    {
        QFETCH(int, surplus);
        QFETCH(int, unit);
        QFETCH(int, maximum);
        ZVMap map;
        map.resize(400, 300);
        const int cw = 400 - barExtent(map), ch = 300 - barExtent(map);
        map.setImage(makePicture(m_dir, cw + surplus / 15, ch + surplus / 15, "units.png"));
        QCOMPARE(int(map.ScrollUnitX()), unit);
        QCOMPARE(hbar(map)->maximum(), maximum);
        QCOMPARE(int(map.ScrollUnitY()), unit);
        QCOMPARE(vbar(map)->maximum(), maximum);
        QCOMPARE(hbar(map)->pageStep(), int(std::nearbyint(cw * 15 / 4.0)));
        hbar(map)->setValue(7);
        QCOMPARE(map.SurfaceLeft(), -7.0 * unit);
        QCOMPARE(hbar(map)->focusPolicy(), Qt::NoFocus);
    }

    // A link to a named pipe named like a picture is refused as an invalid picture without being
    // opened (a blocking open would never return; the watch would see it), and the picture shown
    // before stays.
    void aPipeIsNoPicture()
    {
        ZVMap map;
        map.resize(400, 300);
        map.setImage(makePicture(m_dir, 300, 200));
        PipeWatch pipe(m_dir.filePath("pipe"));
        QVERIFY(pipe.made());
        QVERIFY(QFile::link(m_dir.filePath("pipe"), m_dir.filePath("linkpipe.jpg")));
        try {
            map.setImage(m_dir.filePath("linkpipe.jpg"));
            QFAIL("no error");
        } catch (const zv::Error& e) {
            QCOMPARE(e.number(), 481);
        }
        QCOMPARE(map.Picture().width(), 300);
        QVERIFY(!pipe.opened());
    }

    void imageAfterZoomShowsNaturalSize()
    {
        ZVMap map;
        map.resize(400, 300);
        map.setImage(makePicture(m_dir, 300, 200));
        map.Zoom(50);
        map.setImage(makePicture(m_dir, 120, 90, "other.png"));
        qint32 w, h;
        map.ImgSize(w, h);
        QCOMPARE(w, 1800);
        QCOMPARE(h, 1350);
        QCOMPARE(map.ZoomFactor(), 0.5f);
    }

    void paintsOnlyTheVisiblePartCorrectly()
    {
        // Left half red, right half blue, a green 1-px column at x 500 of the picture.
        QImage im(1000, 600, QImage::Format_RGB32);
        QPainter p(&im);
        p.fillRect(0, 0, 500, 600, Qt::red);
        p.fillRect(500, 0, 500, 600, Qt::blue);
        p.fillRect(500, 0, 1, 600, Qt::green);
        p.end();
        const QString path = m_dir.filePath("halves.png");
        im.save(path);

        ZVMap map;
        map.resize(400, 300);
        map.setImage(path);
        map.Zoom(400);
        // picture x 500 is display x 500*4 px = 30000 twips; scroll it to 100 px from the left
        QCOMPARE(map.ScrollUnitX(), qint16(2));
        hbar(map)->setValue((30000 - 1500) / 2);
        QCOMPARE(map.SurfaceLeft(), -28500.0);
        const QImage shot = map.grab().toImage();
        const QPoint o = map.findChild<QWidget*>("picContainer")->pos();
        QCOMPARE(shot.pixelColor(o + QPoint(50, 50)), QColor(Qt::red));
        QCOMPARE(shot.pixelColor(o + QPoint(101, 50)), QColor(Qt::green));  // 4 px wide at 400 %
        QCOMPARE(shot.pixelColor(o + QPoint(104, 50)), QColor(Qt::blue));
        QCOMPARE(shot.pixelColor(o + QPoint(99, 50)), QColor(Qt::red));
    }

    void outlinesFollowTheZoom()
    {
        ZVMap map;
        map.resize(300, 250);
        map.setImage(makePicture(m_dir, 200, 150));
        map.SetPoly(1, rect(300, 300, 900, 900));
        map.Zoom(200);  // outline at display 600..2400 twips: 40..160 px
        const QPoint o = map.findChild<QWidget*>("picContainer")->pos();
        for (int pass = 0; pass < 2; ++pass) {
            const QImage shot = map.grab().toImage();
            QCOMPARE(shot.pixelColor(o + QPoint(40, 100)), QColor(Qt::black));
            QCOMPARE(shot.pixelColor(o + QPoint(100, 40)), QColor(Qt::black));
            QCOMPARE(shot.pixelColor(o + QPoint(20, 100)), QColor(Qt::white));  // where it lay at 100 %
            QCOMPARE(shot.pixelColor(o + QPoint(100, 100)), QColor(Qt::white));
            QCOMPARE(map.Line(0).x1, 600.0);  // the edges themselves, made on demand
            QCOMPARE(map.HitTest(601, 601), 0);
            QCOMPARE(map.HitTest(599, 601), -1);
        }
        map.setPVisible(false);
        QCOMPARE(map.grab().toImage().pixelColor(o + QPoint(40, 100)), QColor(Qt::white));
    }

    void clickOnPictureAndSkipClick()
    {
        ZVMap map;
        map.resize(400, 300);
        map.setImage(makePicture(m_dir, 200, 150));
        map.SetPoly(1, rect(150, 150, 300, 300));
        QSignalSpy clicks(&map, &ZVMap::Click);
        click(map, 1500, 1500);  // no polygon there
        QCOMPARE(clicks.count(), 1);
        map.HighlightPoly(1);  // the next click on the picture is swallowed
        click(map, 1500, 1500, Qt::RightButton);
        QCOMPARE(clicks.count(), 1);
        click(map, 1500, 1500);
        QCOMPARE(clicks.count(), 2);
        // Outside the picture, on the viewport: a click whatever SkipClick says.
        map.HighlightPoly(1);
        click(map, 4000, 4000);
        QCOMPARE(clicks.count(), 3);
    }

    void ownSurfacePassesEventsOn()
    {
        ZVMap map;
        map.resize(400, 300);
        map.setImage(makePicture(m_dir, 1000, 800));
        map.show();
        QStringList got;
        connect(&map, &ZVMap::MouseDown, &map, [&](qint16 b, qint16 s, float x, float y) {
            got << QString("MouseDown %1 %2 %3 %4").arg(b).arg(s).arg(x).arg(y);
        });
        connect(&map, &ZVMap::Click, &map, [&] { got << "Click"; });
        connect(&map, &ZVMap::DblClick, &map, [&] { got << "DblClick"; });
        connect(&map, &ZVMap::KeyDown, &map, [&](qint16 k, qint16 s) { got << QString("KeyDown %1 %2").arg(k).arg(s); });
        connect(&map, &ZVMap::KeyPress, &map, [&](qint16 a) { got << QString("KeyPress %1").arg(a); });
        connect(&map, &ZVMap::KeyUp, &map, [&](qint16 k, qint16) { got << QString("KeyUp %1").arg(k); });
        // The square between the two bars belongs to the control's own surface: its own twips.
        QTest::mouseClick(&map, Qt::RightButton, Qt::AltModifier, QPoint(395, 295));
        QTest::mouseClick(&map, Qt::LeftButton, Qt::NoModifier, QPoint(395, 295));
        QTest::mouseDClick(&map, Qt::LeftButton, Qt::NoModifier, QPoint(395, 295));
        QCOMPARE(got.mid(0, 3), (QStringList{"MouseDown 2 4 5925 4425", "MouseDown 1 0 5925 4425", "Click"}));
        QVERIFY(got.contains("DblClick"));
        got.clear();
        QTest::keyClick(map.findChild<QWidget*>("picContainer"), 'a');
        QCOMPARE(got, (QStringList{"KeyDown 65 0", QString("KeyPress %1").arg(int('a')), "KeyUp 65"}));
    }

    void panModeCursorAndDrawingEnds()
    {
        ZVMap map;
        map.DrawPoly();
        QCOMPARE(map.mode(), ZVMap::Mode::Drawing);
        map.Pan(true);
        QCOMPARE(map.mode(), ZVMap::Mode::Pan);
        QCOMPARE(map.findChild<QWidget*>("picContainer")->cursor().shape(), Qt::OpenHandCursor);
        map.DrawPoly();
        map.Pan(false);
        QCOMPARE(map.mode(), ZVMap::Mode::Normal);
        QCOMPARE(map.findChild<QWidget*>("picContainer")->cursor().shape(), Qt::ArrowCursor);
    }
};

QTEST_MAIN(TestZVMapViewport)
#include "tst_zvmap_viewport.moc"

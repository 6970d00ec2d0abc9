// Map control benchmark, two cases.
// Shaded map: a 400 x 300 picture covered by 2,000 polygons, every one shaded; peak memory and the
// time of a zoom (with the repaint that follows) at 100, 400 and 3200 %, beside the same map unshaded;
// then the time to empty it polygon by polygon with Delete, and in one step with Clear.
// Large map: a generated 6000 x 4000 picture with 5,000 eight-point polygons.
// Times hit tests, repaints of the visible area at 100 % and 400 % and the zoom from 100 % to 400 %,
// then the same work on a QGraphicsScene/QGraphicsView baseline, and prints each figure with its
// ratio to the baseline and the peak memory at 100 % and at 400 %.

#include "zvmap.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QGraphicsPixmapItem>
#include <QGraphicsPolygonItem>
#include <QGraphicsScene>
#include <QGraphicsView>
#include <QPainter>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QWindow>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr int kPicW = 6000, kPicH = 4000;  // pixels
constexpr int kPolys = 5000;
constexpr int kHits = 100000;
constexpr int kRepaints = 40;
constexpr int kZooms = 15;
constexpr int kViewW = 1200, kViewH = 800;

long procStatusKb(const char* key)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly)) return -1;
    const QByteArray k(key);
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(k)) return line.mid(k.size()).trimmed().split(' ').first().toLong();
    return -1;
}

QImage makePicture()
{
    QImage im(kPicW, kPicH, QImage::Format_RGB32);
    for (int y = 0; y < kPicH; ++y) {
        auto* row = reinterpret_cast<QRgb*>(im.scanLine(y));
        for (int x = 0; x < kPicW; ++x) row[x] = qRgb((x / 7) & 0xFF, (y / 5) & 0xFF, ((x + y) / 11) & 0xFF);
    }
    return im;
}

// Polygons in picture twips: irregular stars of radius 20..60 px.
QVector<zv::Poly> makePolygons()
{
    QRandomGenerator rng(4711);
    QVector<zv::Poly> out;
    for (int i = 0; i < kPolys; ++i) {
        const double cx = 60 + rng.bounded(kPicW - 120), cy = 60 + rng.bounded(kPicH - 120);
        const double r = 20 + rng.bounded(40.0);
        zv::Poly p;
        for (int k = 0; k < 8; ++k) {
            const double a = k * M_PI / 4;
            const double rr = r * (k % 2 ? 0.55 : 1.0);
            p.Pt.append({int(std::lround((cx + rr * std::cos(a)) * 15)), int(std::lround((cy + rr * std::sin(a)) * 15))});
        }
        out.append(p);
    }
    return out;
}

QVector<QPointF> makeProbes()
{
    QRandomGenerator rng(99);
    QVector<QPointF> out;
    out.reserve(kHits);
    for (int i = 0; i < kHits; ++i) out.append(QPointF(rng.bounded(double(kPicW)), rng.bounded(double(kPicH))));
    return out;
}

void waitExposed(QWidget* w)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 2000 && !(w->windowHandle() && w->windowHandle()->isExposed()))
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QCoreApplication::processEvents();
}

double ms(const QElapsedTimer& t) { return t.nsecsElapsed() / 1.0e6; }

double median(QVector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.isEmpty() ? 0 : v[v.size() / 2];
}

// Times a and b alternately, n times each, so both see the same machine load; medians in ms.
template <typename A, typename B>
QPair<double, double> alternate(int n, A a, B b)
{
    QVector<double> sa, sb;
    for (int i = 0; i < n; ++i) {
        QElapsedTimer t;
        t.start();
        a();
        sa.append(ms(t));
        t.restart();
        b();
        sb.append(ms(t));
    }
    return {median(sa), median(sb)};
}

void line(const char* what, double ours, double base)
{
    std::printf("%-36s ours %9.3f ms   baseline %10.3f ms   ratio %.3f\n", what, ours, base, ours / base);
}

// Shaded case, run first so that its peak memory is not hidden by the large case's.
constexpr int kShadeW = 400, kShadeH = 300;  // pixels, also the view
constexpr int kShadeCols = 50, kShadeRows = 40;
constexpr int kShadeZooms = 3;

bool shadedCase(const QTemporaryDir& dir)
{
    const QString path = dir.filePath(QStringLiteral("shaded.bmp"));
    {
        QImage im(kShadeW, kShadeH, QImage::Format_RGB32);
        im.fill(Qt::white);
        if (!im.save(path)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return false;
        }
    }
    // Slightly irregular quadrilaterals that tile the picture.
    QRandomGenerator rng(17);
    const int cw = kShadeW * 15 / kShadeCols, ch = kShadeH * 15 / kShadeRows;
    QVector<zv::Poly> polys;
    for (int r = 0; r < kShadeRows; ++r)
        for (int c = 0; c < kShadeCols; ++c) {
            const int x = c * cw, y = r * ch, j = int(rng.bounded(20));
            zv::Poly p;
            p.Pt = {{x + j, y}, {x + cw, y + j}, {x + cw - j, y + ch}, {x, y + ch - j}};
            polys.append(p);
        }
    auto makeMap = [&](bool shaded) {
        auto* m = new ZVMap;
        m->resize(kShadeW + 20, kShadeH + 20);
        m->show();
        waitExposed(m);
        m->setImage(path);
        for (int i = 0; i < polys.size(); ++i) m->SetPoly(i + 1, polys[i]);
        if (shaded)
            for (int i = 0; i < polys.size(); ++i) m->ShadePoly(i + 1, qint16(1 + i % 2));
        return m;
    };
    const int zooms[] = {100, 400, 3200};
    std::printf("shaded map: picture %d x %d px, %d polygons, all shaded, view %d x %d px\n", kShadeW, kShadeH,
                int(polys.size()), kShadeW, kShadeH);

    // Memory first, on the shaded map alone: the peak after each zoom and its repaint.
    ZVMap* shaded = makeMap(true);
    QWidget* svp = shaded->findChild<QWidget*>(QStringLiteral("picContainer"));
    long hwm[3] = {0, 0, 0};
    for (int k = 0; k < 3; ++k) {
        shaded->Zoom(qint16(zooms[k]));
        svp->repaint();
        QCoreApplication::processEvents();
        hwm[k] = procStatusKb("VmHWM:");
    }
    shaded->Zoom(100);

    // Then the zoom times, shaded and unshaded alternately.
    ZVMap* plain = makeMap(false);
    QWidget* pvp = plain->findChild<QWidget*>(QStringLiteral("picContainer"));
    double zs[3], zp[3];
    for (int k = 0; k < 3; ++k) {
        auto zoomOnce = [&](ZVMap* m, QWidget* vp) {
            m->Zoom(100);
            vp->repaint();
            QElapsedTimer t;
            t.start();
            m->Zoom(qint16(zooms[k]));
            vp->repaint();
            return ms(t);
        };
        QVector<double> a, b;
        for (int i = 0; i < kShadeZooms; ++i) {
            a.append(zoomOnce(shaded, svp));
            b.append(zoomOnce(plain, pvp));
        }
        zs[k] = median(a);
        zp[k] = median(b);
    }
    // Emptying the map one polygon at a time, as a window that reloads its map does, and with Clear.
    auto emptyByDelete = [&](ZVMap* m) {
        QElapsedTimer t;
        t.start();
        for (int i = 0; i < polys.size(); ++i) m->Delete(i + 1);
        return ms(t);
    };
    auto refill = [&](ZVMap* m, bool shade) {
        for (int i = 0; i < polys.size(); ++i) m->SetPoly(i + 1, polys[i]);
        if (shade)
            for (int i = 0; i < polys.size(); ++i) m->ShadePoly(i + 1, qint16(1 + i % 2));
    };
    shaded->Zoom(100);
    plain->Zoom(100);
    const double delShaded = emptyByDelete(shaded), delPlain = emptyByDelete(plain);
    refill(shaded, true);
    QElapsedTimer tc;
    tc.start();
    shaded->Clear();
    const double clearShaded = ms(tc);
    delete plain;
    delete shaded;
    for (int k = 0; k < 3; ++k) {
        std::printf("shaded zoom 100->%d %% + repaint (median of %d): %9.3f ms   unshaded %9.3f ms   ratio %.3f\n",
                    zooms[k], kShadeZooms, zs[k], zp[k], zs[k] / zp[k]);
    }
    std::printf("shaded peak memory (VmHWM) at 100 %%: %ld KiB; at 400 %%: %ld KiB (%.3f); at 3200 %%: %ld KiB (%.3f)\n",
                hwm[0], hwm[1], double(hwm[1]) / double(hwm[0]), hwm[2], double(hwm[2]) / double(hwm[0]));
    std::printf("emptying with Delete, one by one: shaded %9.3f ms   unshaded %9.3f ms   ratio %.3f\n", delShaded,
                delPlain, delShaded / delPlain);
    std::printf("emptying the shaded map with Clear: %.3f ms\n", clearShaded);
    const bool ok = double(hwm[2]) <= 1.2 * double(hwm[0]) && zs[2] <= 3.0 * std::max(zs[0], zp[2]) &&
                    delShaded <= 2.0 * delPlain;
    std::printf("shaded goals (memory at 3200 %% <= 1.2 x at 100 %%, zoom to 3200 %% <= 3 x the larger of "
                "zoom to 100 %% and the unshaded zoom to 3200 %%, emptying by Delete <= 2 x unshaded): %s\n",
                ok ? "met" : "NOT met");
    return ok;
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const bool shadedOk = shadedCase(dir);
    const QString path = dir.filePath(QStringLiteral("map.bmp"));
    {
        const QImage pic = makePicture();
        if (!pic.save(path)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    const QVector<zv::Poly> polys = makePolygons();
    const QVector<QPointF> probes = makeProbes();
    std::printf("picture %d x %d px, %d polygons of 8 points, %d hit positions, view %d x %d px\n", kPicW, kPicH,
                kPolys, kHits, kViewW, kViewH);

    // ---- the control alone first, for its memory at 100 % and at 400 % ----
    ZVMap map;
    map.resize(kViewW, kViewH);
    map.show();
    waitExposed(&map);
    map.setImage(path);
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < polys.size(); ++i) map.SetPoly(i + 1, polys[i]);
    std::printf("SetPoly x %d: %.3f ms\n", kPolys, ms(t));
    QWidget* vp = map.findChild<QWidget*>(QStringLiteral("picContainer"));
    auto* mh = map.findChild<QScrollBar*>(QStringLiteral("HScroll1"));
    auto* mv = map.findChild<QScrollBar*>(QStringLiteral("VScroll1"));
    auto placeOurs = [&] {  // the same picture point at the view's top-left at either zoom
        mh->setValue(int(20000 * map.ZoomFactor() / map.ScrollUnitX()));
        mv->setValue(int(15000 * map.ZoomFactor() / map.ScrollUnitY()));
    };
    placeOurs();
    for (int i = 0; i < 5; ++i) vp->repaint();
    QCoreApplication::processEvents();
    const long hwm100 = procStatusKb("VmHWM:"), rss100 = procStatusKb("VmRSS:");
    map.Zoom(400);
    placeOurs();
    for (int i = 0; i < 5; ++i) vp->repaint();
    QCoreApplication::processEvents();
    const long hwm400 = procStatusKb("VmHWM:"), rss400 = procStatusKb("VmRSS:");
    map.Zoom(100);
    placeOurs();

    // ---- baseline: Qt's own scene, with the same picture, polygons and view ----
    QGraphicsScene scene;
    scene.addItem(new QGraphicsPixmapItem(QPixmap::fromImage(QImage(path))));
    const QPen pen(Qt::black, 0);
    for (const zv::Poly& p : polys) {
        QPolygonF q;
        for (const zv::Point& pt : p.Pt) q.append(QPointF(pt.x / 15.0, pt.y / 15.0));
        scene.addPolygon(q, pen)->setFillRule(Qt::OddEvenFill);
    }
    QGraphicsView view(&scene);
    view.resize(kViewW, kViewH);
    view.show();
    waitExposed(&view);
    auto placeBase = [&](double z) {
        view.horizontalScrollBar()->setValue(int(20000 / 15.0 * z));
        view.verticalScrollBar()->setValue(int(15000 / 15.0 * z));
    };
    placeBase(1);
    view.viewport()->repaint();

    // ---- timings, ours and the baseline alternately ----
    int hits = 0, baseHits = 0;
    map.HitTest(0, 0);        // builds the index once
    scene.items(QPointF(0, 0));  // likewise
    const auto hit = alternate(
        5,
        [&] {
            hits = 0;
            for (const QPointF& p : probes) hits += map.HitTest(float(p.x() * 15), float(p.y() * 15)) >= 0;
        },
        [&] {
            baseHits = 0;
            for (const QPointF& p : probes) {
                const QList<QGraphicsItem*> found = scene.items(p);
                for (QGraphicsItem* it : found)
                    if (it->type() == QGraphicsPolygonItem::Type) {
                        ++baseHits;
                        break;
                    }
            }
        });
    const auto paint100 = alternate(kRepaints, [&] { vp->repaint(); }, [&] { view.viewport()->repaint(); });
    QVector<double> zo, zb;
    for (int i = 0; i < kZooms; ++i) {
        map.Zoom(100);
        placeOurs();
        vp->repaint();
        view.setTransform(QTransform());
        placeBase(1);
        view.viewport()->repaint();
        t.restart();
        map.Zoom(400);
        vp->repaint();
        zo.append(ms(t));
        t.restart();
        view.setTransform(QTransform::fromScale(4, 4));
        view.viewport()->repaint();
        zb.append(ms(t));
    }
    placeOurs();
    placeBase(4);
    vp->repaint();
    view.viewport()->repaint();
    const auto paint400 = alternate(kRepaints, [&] { vp->repaint(); }, [&] { view.viewport()->repaint(); });
    const double oursHit = hit.first, baseHit = hit.second;
    const double oursPaint100 = paint100.first, basePaint100 = paint100.second;
    const double oursPaint400 = paint400.first, basePaint400 = paint400.second;
    const double oursZoom = median(zo), baseZoom = median(zb);

    std::printf("hits found: ours %d, baseline %d (of %d positions)\n", hits, baseHits, kHits);
    line("hit tests, 100,000 positions", oursHit, baseHit);
    line("repaint of the view at 100 % (median)", oursPaint100, basePaint100);
    line("repaint of the view at 400 % (median)", oursPaint400, basePaint400);
    line("zoom 100->400 % + repaint (median)", oursZoom, baseZoom);
    std::printf("peak memory (VmHWM) at 100 %%: %ld KiB; at 400 %%: %ld KiB; ratio %.3f\n", hwm100, hwm400,
                double(hwm400) / double(hwm100));
    std::printf("resident memory (VmRSS) at 100 %%: %ld KiB; at 400 %%: %ld KiB; ratio %.3f\n", rss100, rss400,
                double(rss400) / double(rss100));
    const bool ok = shadedOk && oursHit <= baseHit && oursPaint100 <= basePaint100 && oursPaint400 <= basePaint400 &&
                    oursZoom <= baseZoom && double(hwm400) <= 1.2 * double(hwm100);
    std::printf("goals (shaded goals; every ratio <= 1.0, memory at 400 %% <= 1.2 x at 100 %%): %s\n",
                ok ? "met" : "NOT met");
    return 0;
}

#include "zvviewport.h"
#include "zvmap.h"
#include "zveditor.h"
#include "zvpointer.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QImageReader>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QTimer>

#include <climits>
#include <cmath>

MapViewport::MapViewport(ZVMap* map, zv::PolyStore* store) : QWidget(map), m_map(map), m_store(store)
{
    m_detailTimer = new QTimer(this);
    m_detailTimer->setSingleShot(true);
    m_detailTimer->setInterval(120);
    connect(m_detailTimer, &QTimer::timeout, this, [this] {
        try {
            decodeDetail();
        } catch (...) {
        }
    });
    setObjectName(QStringLiteral("picContainer"));
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_hbar = new QScrollBar(Qt::Horizontal, map);
    m_hbar->setObjectName(QStringLiteral("HScroll1"));
    m_vbar = new QScrollBar(Qt::Vertical, map);
    m_vbar->setObjectName(QStringLiteral("VScroll1"));
    for (QScrollBar* bar : {m_hbar, m_vbar}) {
        bar->setFocusPolicy(Qt::NoFocus);  // the viewport keeps the focus
        bar->setTracking(true);
        bar->setRange(0, 0);
        bar->hide();
        connect(bar, &QScrollBar::valueChanged, this, [this] {
            try {
                syncSurfaceFromBars();
            } catch (...) {
            }
        });
    }
}

void MapViewport::paintEvent(QPaintEvent* e)
{
    try {
        QPainter p(this);
        paintSurface(p, e->rect());
    } catch (...) {
    }
}

// Pointer events belong to the control's pointer input.
void MapViewport::mousePressEvent(QMouseEvent* e) { m_map->viewportPress(e); }
// The second press of a double click is a press like any other.
void MapViewport::mouseDoubleClickEvent(QMouseEvent* e) { m_map->viewportPress(e); }
void MapViewport::mouseMoveEvent(QMouseEvent* e) { m_map->viewportMove(e); }
void MapViewport::mouseReleaseEvent(QMouseEvent* e) { m_map->viewportRelease(e); }

namespace {

// Qt refuses to allocate a picture beyond its allocation limit (a guard against files whose header
// lies). A decode whose size the control has already accepted gets the room it needs, once.
class AllocationRoom {
public:
    explicit AllocationRoom(QSize size) : m_old(QImageReader::allocationLimit())
    {
        // Eight bytes a pixel covers the widest format a reader decodes to (16 bits a channel).
        const qint64 mb = (qint64(size.width()) * size.height() * 8 >> 20) + 1;
        if (m_old > 0 && mb > m_old) QImageReader::setAllocationLimit(int(qMin<qint64>(mb, INT_MAX)));
    }
    ~AllocationRoom() { QImageReader::setAllocationLimit(m_old); }
    AllocationRoom(const AllocationRoom&) = delete;
    AllocationRoom& operator=(const AllocationRoom&) = delete;

private:
    int m_old;
};

}  // namespace

// The picture whole when it is within the decode limit, else scaled down by halves (the steps a
// JPEG decodes at directly, so the whole picture is never held).
QImage MapViewport::decodeOverview(const QString& path, QSize& natural) const
{
    natural = QSize();
    // Only a regular file (after links) is read: a pipe named like a picture would keep the
    // reader waiting for good, a device reading for ever.
    if (!QFileInfo(path).isFile()) return QImage();
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    natural = reader.size();
    QSize target = natural;
    if (natural.isValid()) {
        int halves = 0;
        while (qint64(natural.width() >> halves) * (natural.height() >> halves) > m_decodeLimit &&
               (natural.width() >> halves) > 1 && (natural.height() >> halves) > 1)
            ++halves;
        if (halves > 0) {
            const int d = 1 << halves;
            target = QSize((natural.width() + d - 1) / d, (natural.height() + d - 1) / d);
            reader.setScaledSize(target);
        }
    }
    // A format that does not tell its size first is read under Qt's own limit.
    const AllocationRoom room(natural.isValid() ? target : QSize());
    QImage im = reader.read();
    if (!natural.isValid()) natural = im.size();
    return im;
}

void MapViewport::setImage(const QString& path)
{
    m_imageText = path;
    QSize natural;
    QImage im = decodeOverview(path, natural);
    if (im.isNull()) {
        if (!QFileInfo::exists(path)) throw zv::Error(53, QStringLiteral("File not found"));
        throw zv::Error(481, QStringLiteral("Invalid picture"));
    }
    takePicture(im, natural);
    layoutParts();
    update();
}

void MapViewport::readImage(const QString& path)
{
    m_imageText = path;
    if (path.isEmpty() || !QFileInfo::exists(path)) return;
    QSize natural;
    const QImage im = decodeOverview(path, natural);
    if (!im.isNull()) takePicture(im, natural);
}

void MapViewport::takePicture(const QImage& im, QSize natural)
{
    m_img = im.convertToFormat(im.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    m_pxSize = natural.isValid() ? natural : m_img.size();
    m_detail = Detail();
    m_natW = m_pxSize.width() * 15;
    m_natH = m_pxSize.height() * 15;
    m_imgW = m_natW;
    m_imgH = m_natH;
    m_store->clearDots();
}

void MapViewport::resetZoom()
{
    m_store->setZoom(1.0f);
    m_unitX = m_unitY = 1;
}

void MapViewport::clearImage()
{
    m_imageText.clear();
    m_img = QImage();
    m_pxSize = QSize();
    m_detail = Detail();
    m_natW = m_natH = 0;
    m_imgW = m_imgH = 0;
    m_store->clearDots();
    layoutParts();
    update();
}

void MapViewport::zoom(qint16 ZoomPercent)
{
    if (ZoomPercent <= 0) return;
    m_imgW = ZoomPercent / 100.0 * m_natW;
    m_imgH = ZoomPercent / 100.0 * m_natH;
    m_store->rezoom(float(ZoomPercent) / 100.0f);
    layoutParts();
    update();
}

void MapViewport::layoutParts()
{
    const int b = m_map->BorderStyle() != 0 ? 1 : 0;
    const double innerW = double(m_map->width() - 2 * b) * 15.0;
    const double innerH = double(m_map->height() - 2 * b) * 15.0;
    const int sb = m_map->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, m_map);
    const double vLeft = innerW - sb * 15.0;
    const double hTop = innerH - sb * 15.0;
    if (vLeft > 0) m_contW = vLeft;
    if (hTop > 0) m_contH = hTop;
    const int cw = int(zv::rte(m_contW / 15.0)), ch = int(zv::rte(m_contH / 15.0));
    setGeometry(b, b, cw, ch);
    m_hbar->setGeometry(b, b + int(zv::rte(hTop / 15.0)), cw, sb);
    m_vbar->setGeometry(b + int(zv::rte(vLeft / 15.0)), b, sb, ch);

    auto setupBar = [](QScrollBar* bar, double img, double cont, qint16& unit) {
        const QSignalBlocker block(bar);
        if (img > cont) {
            const double d = img - cont;
            unit = d > 32767 ? qint16(std::min(32767.0, std::floor(d / 32767) + 1)) : qint16(1);
            bar->setRange(0, int(zv::rte(d / unit)));
            bar->setSingleStep(std::max(1, int(zv::rte(150.0 / unit))));
            bar->show();
        } else {
            bar->setRange(0, 0);
            bar->setValue(0);
            bar->hide();
        }
        if (cont > 0) bar->setPageStep(std::max(1, int(zv::rte(cont / 4))));  // a quarter of the viewport
    };
    setupBar(m_hbar, m_imgW, m_contW, m_unitX);
    setupBar(m_vbar, m_imgH, m_contH, m_unitY);
    syncSurfaceFromBars();
}

void MapViewport::syncSurfaceFromBars()
{
    m_left = m_hbar->isHidden() ? 0.0 : -(double(m_hbar->value()) * m_unitX);
    m_top = m_vbar->isHidden() ? 0.0 : -(double(m_vbar->value()) * m_unitY);
    if (m_map->m_pointer) m_map->m_pointer->placeTip();
    update();
}

// Brings the polygon's top-left corner to the viewport's, bounded by the scroll range.
void MapViewport::scrollToPoly(int i)
{
    double minX = 0, minY = 0;
    if (!m_store->topLeftOfEdges(i, minX, minY)) return;
    const double left = zv::rte(minX), top = zv::rte(minY);
    const double h = zv::rte(std::min(left / m_unitX, std::max(m_imgW - m_contW, 0.0)));
    const double v = zv::rte(std::min(top / m_unitY, std::max(m_imgH - m_contH, 0.0)));
    m_hbar->setValue(int(std::clamp<double>(h, m_hbar->minimum(), m_hbar->maximum())));
    m_vbar->setValue(int(std::clamp<double>(v, m_vbar->minimum(), m_vbar->maximum())));
    syncSurfaceFromBars();
}

// A pan drag from one display position to another: the picture follows the pointer, within the range.
void MapViewport::panBy(double fromX, double fromY, double toX, double toY)
{
    auto drag = [](QScrollBar* bar, double from, double to, int unit) {
        if (bar->isHidden()) return;
        const double v = (from - to) / unit + bar->value();
        if (v > bar->maximum())
            bar->setValue(bar->maximum());
        else if (v < bar->minimum())
            bar->setValue(bar->minimum());
        else
            bar->setValue(int(zv::rte(v)));
    };
    drag(m_vbar, fromY, toY, m_unitY);
    drag(m_hbar, fromX, toX, m_unitX);
}

void MapViewport::picCoordinates(float& StartX, float& StartY, qint32& PicWidth, qint32& PicHeight) const
{
    StartX = float(-m_left) / m_store->zoom();
    StartY = float(-m_top) / m_store->zoom();
    PicWidth = qint32(zv::rte(std::min(m_contW, m_imgW)));
    PicHeight = qint32(zv::rte(std::min(m_contH, m_imgH)));
}

void MapViewport::imgSize(qint32& imgWidth, qint32& imgHeight) const
{
    imgWidth = qint32(zv::rte(m_imgW));
    imgHeight = qint32(zv::rte(m_imgH));
}

QPointF MapViewport::displayFromViewportPx(const QPointF& px) const
{
    return {double(pxToTw(px.x())) - m_left, double(pxToTw(px.y())) - m_top};
}

// The part of the picture on screen, in natural pixels, and the detail it is shown at (never more
// than natural size); false when the held picture has all the detail shown.
bool MapViewport::detailWanted(QRect& wanted, double& scale) const
{
    const QRectF picPx(m_left / 15.0, m_top / 15.0, m_imgW / 15.0, m_imgH / 15.0);
    if (m_img.isNull() || m_img.width() >= m_pxSize.width() || m_pxSize.isEmpty() || picPx.width() <= 0 ||
        m_detail.failed)
        return false;
    if (picPx.width() <= m_img.width() * 1.01) return false;
    const double shown = picPx.width() / m_pxSize.width();  // display pixels per natural pixel
    scale = qMin(shown, 1.0);
    const QRectF onScreen = picPx & QRectF(rect());
    if (onScreen.isEmpty()) return false;
    wanted = QRectF((onScreen.left() - picPx.left()) / shown, (onScreen.top() - picPx.top()) / shown,
                    onScreen.width() / shown, onScreen.height() / shown)
                 .toAlignedRect() &
             QRect(QPoint(0, 0), m_pxSize);
    return !wanted.isEmpty();
}

bool MapViewport::detailShown() const
{
    QRect wanted;
    double scale = 0;
    if (!detailWanted(wanted, scale)) return true;
    return !m_detail.image.isNull() && qFuzzyCompare(m_detail.scale, scale) && m_detail.source.contains(wanted);
}

// Decodes the part on screen, and a margin so that small scrolls reuse it, at the detail shown.
void MapViewport::decodeDetail()
{
    QRect wanted;
    double scale = 0;
    if (detailShown() || !detailWanted(wanted, scale)) return;
    const int mx = wanted.width() / 4, my = wanted.height() / 4;
    const QRect source = wanted.adjusted(-mx, -my, mx, my) & QRect(QPoint(0, 0), m_pxSize);
    const QSize size(qMax(1, int(std::lround(source.width() * scale))),
                     qMax(1, int(std::lround(source.height() * scale))));
    if (!QFileInfo(m_imageText).isFile()) {
        m_detail.failed = true;
        return;
    }
    QImageReader reader(m_imageText);
    reader.setDecideFormatFromContent(true);
    reader.setClipRect(source);
    if (size != source.size()) reader.setScaledSize(size);
    // A reader that cannot give a part decodes the whole first: not for a picture this large.
    if (!reader.supportsOption(QImageIOHandler::ClipRect)) {
        m_detail.failed = true;
        return;
    }
    QImage im;
    {
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        const AllocationRoom room(source.size());
        im = reader.read();
        QGuiApplication::restoreOverrideCursor();
    }
    if (im.isNull()) {
        m_detail.failed = true;
        return;
    }
    m_detail.image = im;
    m_detail.source = source;
    m_detail.scale = scale;
    update();
}

// Over the scaled-down picture, the detail decoded for the part on screen. A part not yet decoded
// is decoded once the view has been still for a moment: scrolling stays smooth on the held picture.
void MapViewport::paintDetail(QPainter& p, const QRectF& picPx)
{
    QRect wanted;
    double scale = 0;
    if (!detailWanted(wanted, scale)) return;
    const double shown = picPx.width() / m_pxSize.width();
    if (!m_detail.image.isNull() && qFuzzyCompare(m_detail.scale, scale)) {
        const QRectF target(picPx.left() + m_detail.source.left() * shown, picPx.top() + m_detail.source.top() * shown,
                            m_detail.source.width() * shown, m_detail.source.height() * shown);
        p.drawImage(target, m_detail.image);
    }
    if (!detailShown()) m_detailTimer->start();
}

// Paints only the exposed part of the picture surface: never a raster of the whole zoomed picture.
void MapViewport::paintSurface(QPainter& p, const QRect& exposed)
{
    const QRectF picPx(m_left / 15.0, m_top / 15.0, m_imgW / 15.0, m_imgH / 15.0);
    const QRectF vis = picPx & QRectF(exposed);
    // Only the strips the picture does not cover get the background.
    const QRegion bare = QRegion(exposed).subtracted(QRegion(vis.toAlignedRect().adjusted(1, 1, -1, -1)));
    for (const QRect& r : bare) p.fillRect(r, m_map->palette().color(QPalette::Dark));
    if (vis.isEmpty()) return;
    p.setClipRect(vis);
    if (!m_img.isNull() && m_imgW > 0 && m_imgH > 0) {
        const double sx = m_img.width() / picPx.width(), sy = m_img.height() / picPx.height();
        const QRectF src((vis.left() - picPx.left()) * sx, (vis.top() - picPx.top()) * sy, vis.width() * sx,
                         vis.height() * sy);
        p.drawImage(vis, m_img, src);
        paintDetail(p, picPx);
    }
    // From here on, paint in display twips.
    p.setTransform(QTransform(1.0 / 15, 0, 0, 1.0 / 15, m_left / 15.0, m_top / 15.0));
    const QRectF visTw((vis.left() * 15) - m_left, (vis.top() * 15) - m_top, vis.width() * 15, vis.height() * 15);
    // Shading dots only for the visible part (and a pixel around it): never the whole zoomed polygon.
    const QRect dotClip = visTw.toAlignedRect().adjusted(-30, -30, 30, 30);
    QVector<QPoint> dots;
    for (const zv::PolyStore::Shade& shade : m_store->shades()) {
        if (!QRectF(shade.bounds).adjusted(-15, -15, 15, 15).intersects(visTw)) continue;
        dots.clear();
        zv::forEachShadeDot(shade.poly, shade.bounds, dotClip, [&dots](int x, int y) {
            dots.append(QPoint(x, y));
            return true;
        });
        if (dots.isEmpty()) continue;
        QPen pen(zv::oleToColor(shade.color, m_map->palette()), 1);
        pen.setCosmetic(true);
        p.setPen(pen);
        p.drawPoints(dots.constData(), int(dots.size()));
    }
    const std::vector<zv::PolyStore::Edge>& lines = m_store->linesAsTheyAre();
    // Edges are found through the polygons the grid index places in view, plus the polygons whose
    // outline may have left their region (being drawn or dragged, or without one).
    QVector<int> shown;
    const double margin = 8 * 15;
    const double vl = visTw.left() - margin, vr = visTw.right() + margin;
    const double vt = visTw.top() - margin, vb = visTw.bottom() + margin;
    auto consider = [&](int k) {
        const zv::PolyStore::Edge& e = lines[k];
        if (!e.visible) return;
        if (std::max(e.x1, e.x2) < vl || std::min(e.x1, e.x2) > vr || std::max(e.y1, e.y2) < vt ||
            std::min(e.y1, e.y2) > vb)
            return;
        shown.append(k);
    };
    if (m_store->edgesStale()) {
        // Every outline is exactly its points times the zoom, in the template colour and width.
        if (m_store->pVisible() && m_store->hasPolygons()) {
            QVector<QLineF> lines;
            const double z = m_store->zoom(), m = 0.5 / z + 1e-3;
            auto outline = [&](int i) {
                const QVector<zv::Point>& pts = m_store->polys()[i].Pt;
                const int n = int(pts.size());
                for (int k = 0; k < n; ++k) {
                    const QLineF l(pts[k].x * z, pts[k].y * z, pts[(k + 1) % n].x * z, pts[(k + 1) % n].y * z);
                    if (std::max(l.x1(), l.x2()) < vl || std::min(l.x1(), l.x2()) > vr ||
                        std::max(l.y1(), l.y2()) < vt || std::min(l.y1(), l.y2()) > vb)
                        continue;
                    lines.append(l);
                }
            };
            m_store->forCandidates(vl / z - m, vt / z - m, vr / z + m, vb / z + m, outline);
            for (int i = 0; i < m_store->polys().size(); ++i)  // damaged outlines have no region, so no index entry
                if (!m_store->hasRegion(i) && !m_store->polys()[i].Pt.isEmpty()) outline(i);
            QPen pen(zv::oleToColor(m_store->lineColor(), m_map->palette()), m_store->drawWidth(), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
            pen.setCosmetic(true);
            p.setPen(pen);
            p.drawLines(lines.constData(), int(lines.size()));
        }
    } else if (m_store->hasPolygons()) {
        std::vector<char> seen(size_t(m_store->polys().size()), 0);
        auto considerPoly = [&](int i) {
            if (i < 0 || i >= m_store->polys().size() || seen[size_t(i)]) return;
            seen[size_t(i)] = 1;
            const zv::Poly& poly = m_store->polys()[i];
            const int end = std::min<int>(poly.StartLine + int(poly.Pt.size()), m_store->lineCount());
            for (int k = std::max(0, poly.StartLine); k < end; ++k) consider(k);
        };
        const double z = m_store->zoom(), m = 0.5 / z + 1e-3;
        m_store->forCandidates(vl / z - m, vt / z - m, vr / z + m, vb / z + m, considerPoly);
        for (int i = 0; i < m_store->polys().size(); ++i)
            if (!m_store->hasRegion(i)) considerPoly(i);
        if (m_map->m_editor->m_dragging) considerPoly(m_map->m_editor->m_activePoly);
        if (m_map->m_editor->m_drawCount > 0) considerPoly(m_map->m_editor->m_drawIndex);
    }
    std::sort(shown.begin(), shown.end(), [&lines](int a, int b) {
        return lines[a].z != lines[b].z ? lines[a].z < lines[b].z : a < b;
    });
    QVector<QLineF> batch;
    int curWidth = -1;
    quint32 curColor = 0;
    auto flush = [&] {
        if (batch.isEmpty()) return;
        QPen pen(zv::oleToColor(curColor, m_map->palette()), curWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
        pen.setCosmetic(true);
        p.setPen(pen);
        p.drawLines(batch.constData(), int(batch.size()));
        batch.clear();
    };
    for (int k : shown) {
        const zv::PolyStore::Edge& e = lines[k];
        if (e.width != curWidth || e.color != curColor) {
            flush();
            curWidth = e.width;
            curColor = e.color;
        }
        batch.append(QLineF(e.x1, e.y1, e.x2, e.y2));
    }
    flush();
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::red);
    for (const auto& m : m_map->m_editor->m_markers)
        if (m.visible) p.drawEllipse(QRectF(m.left, m.top, kMarkerSize, kMarkerSize));
}

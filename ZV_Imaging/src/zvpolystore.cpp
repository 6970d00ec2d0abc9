#include "zvpolystore.h"

#include <limits>

namespace zv {

PolyStore::PolyStore()
{
    m_lines.resize(1);
    m_lines[0].color = m_lineColor;
}

void PolyStore::rezoom(float z)
{
    m_zoom = z;
    m_shades.clear();
    m_dotCache.clear();
    markStale();
    // Shading survives a zoom: drawn again at the new factor.
    refillShaded(0, false);
}

void PolyStore::restyleWidths()
{
    for (Edge& e : lines()) e.width = m_drawWidth;
}

void PolyStore::setLineColor(quint32 c)
{
    m_lineColor = c;
    for (Edge& e : lines()) e.color = c;
}

// ---- entries -------------------------------------------------------------------------------

Poly PolyStore::entry(int index) const
{
    if (!hasPolygons() || index < 0 || index >= m_polys.size()) return {};
    return m_polys[index];
}

int PolyStore::firstIndexOf(qint32 ID) const
{
    if (!hasPolygons()) return -1;
    for (int i = 0; i < m_polys.size(); ++i)
        if (m_polys[i].ID == ID) return i;
    return -1;
}

int PolyStore::lastIndexOf(qint32 ID) const
{
    if (!hasPolygons()) return -1;
    for (int i = int(m_polys.size()) - 1; i >= 0; --i)
        if (m_polys[i].ID == ID) return i;
    return -1;
}

int PolyStore::newPolySlot()
{
    if (m_polys.isEmpty() || m_polys.size() > 1 || !m_storeEmpty) {
        m_polys.append(Poly{});
        m_regions.append(Region{});
    } else {
        m_polys[0] = Poly{};
        m_regions[0] = Region{};
    }
    m_storeEmpty = false;
    invalidateIndex();
    return int(m_polys.size()) - 1;
}

// The first edge of a new polygon follows every edge already owned, so no two polygons share one.
int PolyStore::ownedEdgesBefore(int slot) const
{
    if (!hasPolygons()) return 0;
    qint64 sum = 0;
    for (int j = 0; j < m_polys.size(); ++j)
        if (j != slot) sum += m_polys[j].Pt.size();
    return int(std::min<qint64>(sum, kMaxEdges));
}

int PolyStore::add(qint32 ID, const QVector<Point>& pts)
{
    if (pts.isEmpty()) throw Error(9, QStringLiteral("Subscript out of range"));
    const int owned = ownedEdgesBefore(-1);
    if (qint64(owned) + pts.size() > kMaxEdges || m_polys.size() >= kMaxEntries)
        throw Error(6, QStringLiteral("Overflow"));
    const int i = newPolySlot();
    Poly& p = m_polys[i];
    p.ID = ID;
    p.Pt = pts;
    p.Shading = 0;
    p.StartLine = owned;
    drawPolyEdges(i);
    changed();
    return i;
}

int PolyStore::deleteLast(qint32 ID)
{
    if (!hasPolygons()) return -1;
    // Every entry with this ID loses its shading, the later one goes; other polygons keep theirs as painted.
    QVector<int> same;
    for (int i = 0; i < m_polys.size(); ++i)
        if (m_polys[i].ID == ID) same.append(i);
    if (same.isEmpty()) return -1;
    for (int i : same) m_polys[i].Shading = 0;
    dropShadesOf(same);
    const int i = same.last();
    removeAt(i);
    return i;
}

void PolyStore::removeAt(int i)
{
    if (i < 0 || i >= m_polys.size()) return;
    if (m_listener) m_listener->aboutToRemove(i);
    releaseRegion(i);
    dropShadesOf(i);
    int c = m_polys[i].StartLine;
    for (int j = i + 1; j < m_polys.size(); ++j) {
        m_polys[j - 1] = m_polys[j];
        m_regions[j - 1] = m_regions[j];
        m_polys[j - 1].StartLine = c;
        c += int(m_polys[j - 1].Pt.size());
    }
    if (m_polys.size() == 1) {
        m_storeEmpty = true;
    } else {
        m_polys.removeLast();
        m_regions.removeLast();
    }
    if (m_listener) m_listener->removed(i);
    invalidateIndex();
    redraw();
}

void PolyStore::dropLastSlot()
{
    if (m_polys.isEmpty()) return;
    if (m_polys.size() == 1) {
        m_storeEmpty = true;
        m_regions[0] = Region{};
    } else {
        m_polys.removeLast();
        m_regions.removeLast();
    }
    invalidateIndex();
}

void PolyStore::clear()
{
    m_polys.clear();
    m_regions.clear();
    m_storeEmpty = false;
    m_lines.assign(1, Edge{});
    m_lines[0].color = m_lineColor;
    m_edgesStale = false;
    m_shades.clear();
    m_dotCache.clear();
    m_gridStart.clear();
    m_gridItems.clear();
    m_gridCols = m_gridRows = 0;
    invalidateIndex();
}

// ---- edges ---------------------------------------------------------------------------------

std::vector<PolyStore::Edge>& PolyStore::lines() const
{
    if (m_edgesStale) const_cast<PolyStore*>(this)->redraw();
    return m_lines;
}

Line PolyStore::line(int k) const
{
    if (k < 0 || k >= lineCount()) return {};
    const Edge& e = lines()[k];
    return {e.x1, e.y1, e.x2, e.y2, e.width, e.color, e.visible};
}

PolyStore::Edge& PolyStore::edge(int k)
{
    if (k < 0 || k >= lineCount()) throw Error(9, QStringLiteral("Subscript out of range"));
    return lines()[k];
}

PolyStore::Edge& PolyStore::createEdge(int k)
{
    if (k < 0 || k >= kMaxEdges) throw Error(6, QStringLiteral("Overflow"));
    Edge t;
    t.color = m_lineColor;
    t.width = m_drawWidth;
    if (k == lineCount())
        lines().push_back(t);
    else if (k > lineCount())
        lines().resize(size_t(k) + 1, t);
    else
        lines()[k] = t;
    return lines()[k];
}

void PolyStore::destroyTopEdge()
{
    if (lineCount() > 1)
        lines().pop_back();
    else
        lines()[0].visible = false;
}

void PolyStore::drawPolyEdges(int i)
{
    Poly& p = m_polys[i];
    const int n = int(p.Pt.size());
    const int s = p.StartLine;
    const double z = m_zoom;
    const bool onTop = s > 0 && s == lineCount() && qint64(s) + n <= kMaxEdges;
    if (onTop) {
        // The usual case: the polygon's edges go on top, made in one step.
        Edge t;
        t.color = m_lineColor;
        lines().resize(size_t(s) + size_t(n), t);
    }
    for (int k = 0; k < n; ++k) {
        const int idx = s + k;
        Edge& e = onTop ? lines()[size_t(idx)] : idx == 0 ? lines()[0] : createEdge(idx);
        const Point& a = p.Pt[k];
        const Point& b = p.Pt[(k + 1) % n];
        e.x1 = a.x * z;
        e.y1 = a.y * z;
        e.x2 = b.x * z;
        e.y2 = b.y * z;
        e.width = m_drawWidth;
        if (m_pVisible) {
            e.visible = true;
            bringToFront(e);
        }
    }
    makeRegion(p.Pt, i);
}

void PolyStore::redraw()
{
    changed();
    m_edgesStale = false;
    if (m_polys.isEmpty()) return;
    m_lines.resize(1);
    m_lines[0].visible = false;
    m_lines[0].color = m_lineColor;  // a highlight must not become every outline's colour
    if (m_storeEmpty) return;
    m_lines.reserve(size_t(ownedEdgesBefore(-1)) + 1);
    for (int i = 0; i < m_polys.size(); ++i) {
        try {
            drawPolyEdges(i);  // rebuilds the region too
        } catch (...) {
            releaseRegion(i);
        }
    }
    if (m_listener) m_listener->edgesRedrawn();
}

// What redraw would make, left to be made on first use: a zoom of a large map then costs
// only what is painted.
void PolyStore::markStale()
{
    changed();
    if (m_polys.isEmpty()) return;
    ++m_regionGen;
    m_edgesStale = true;
    if (m_storeEmpty) return;
    for (int i = 0; i < m_polys.size(); ++i)
        if (!m_regions[i].valid && !m_polys[i].Pt.isEmpty()) makeRegion(m_polys[i].Pt, i);
}

bool PolyStore::lineInView(int k, const View& v) const
{
    if (k < 0 || k >= lineCount()) return false;
    const Edge& e = lines()[k];
    const double l = rte(v.left), t = rte(v.top);
    const double r = rte(v.left + v.width), b = rte(v.top + v.height);
    return l <= e.x1 && e.x1 <= r && l <= e.x2 && e.x2 <= r && t <= e.y1 && e.y1 <= b && t <= e.y2 && e.y2 <= b;
}

bool PolyStore::lineOwner(int k, int& entry, int& vertex) const
{
    if (!hasPolygons() || k < 0) return false;
    int owner = -1;
    for (int i = 0; i < m_polys.size(); ++i)
        if (m_polys[i].StartLine <= k) owner = i;
    if (owner < 0) return false;
    const int v = k - m_polys[owner].StartLine;
    if (v >= m_polys[owner].Pt.size()) return false;
    entry = owner;
    vertex = v;
    return true;
}

bool PolyStore::highlight(int i, const View& v)
{
    bool allInView = true;
    if (m_pVisible) {
        for (Edge& e : lines()) e.width = m_drawWidth;
        const Poly& p = m_polys[i];
        for (int k = p.StartLine; k < p.StartLine + p.Pt.size() && k < lineCount(); ++k) {
            lines()[k].width = m_drawWidth + 2;
            if (!lineInView(k, v)) allInView = false;
        }
    }
    changed();
    return !m_pVisible || !allInView;
}

bool PolyStore::highlightAlone(int i, const View& v)
{
    for (Edge& e : lines()) {
        e.width = m_drawWidth;
        e.color = 0;
        e.visible = false;
    }
    bool allInView = true;
    const Poly& p = m_polys[i];
    for (int k = p.StartLine; k < p.StartLine + p.Pt.size() && k < lineCount(); ++k) {
        Edge& e = lines()[k];
        e.visible = true;
        e.width = m_drawWidth + 2;
        e.color = kHighlight;
        if (!lineInView(k, v)) allInView = false;
    }
    changed();
    return !allInView;
}

void PolyStore::widen(int i)
{
    for (Edge& e : lines()) e.width = m_drawWidth;
    const Poly& p = m_polys[i];
    for (int k = p.StartLine; k < p.StartLine + p.Pt.size() && k < lineCount(); ++k)
        lines()[k].width = m_drawWidth + 2;
    changed();
}

bool PolyStore::topLeftOfEdges(int i, double& x, double& y) const
{
    if (i < 0 || i >= m_polys.size()) return false;
    const Poly& p = m_polys[i];
    if (p.Pt.isEmpty() || p.StartLine >= lineCount()) return false;
    double minX = lines()[p.StartLine].x1, minY = lines()[p.StartLine].y1;
    for (int k = p.StartLine; k < p.StartLine + p.Pt.size() && k < lineCount(); ++k) {
        const Edge& e = lines()[k];
        minX = std::min({minX, double(e.x1), double(e.x2)});
        minY = std::min({minY, double(e.y1), double(e.y2)});
    }
    x = minX;
    y = minY;
    return true;
}

// ---- regions and hit tests -------------------------------------------------------------------

void PolyStore::makeRegion(const QVector<Point>& pts, int i)
{
    if (i < 0 || i >= m_regions.size()) return;
    Region& r = m_regions[i];
    const bool wasValid = r.valid;
    const QRect oldPb = r.pbounds;
    r.poly.resize(pts.size());  // storage is reused: a zoom rebuilds every region
    r.valid = !pts.isEmpty() && std::all_of(pts.begin(), pts.end(), [](const Point& p) {
        return std::abs(qint64(p.x)) <= kCoordLimit && std::abs(qint64(p.y)) <= kCoordLimit;
    });
    if (r.valid) {
        const double z = m_zoom;
        qint32 x0 = pts[0].x, x1 = x0, y0 = pts[0].y, y1 = y0;
        for (int k = 0; k < pts.size(); ++k) {
            const Point& p = pts[k];
            r.poly[k] = QPoint(rti(p.x * z), rti(p.y * z));
            x0 = std::min(x0, p.x);
            x1 = std::max(x1, p.x);
            y0 = std::min(y0, p.y);
            y1 = std::max(y1, p.y);
        }
        r.bounds = r.poly.boundingRect();
        r.pbounds = QRect(QPoint(x0, y0), QPoint(x1, y1));
        r.gen = m_regionGen;
    }
    if (wasValid != r.valid || (r.valid && oldPb != r.pbounds)) invalidateIndex();
}

void PolyStore::releaseRegion(int i)
{
    if (i < 0 || i >= m_regions.size() || !m_regions[i].valid) return;
    m_regions[i].valid = false;
    invalidateIndex();
}

const PolyStore::Region& PolyStore::region(int i) const
{
    Region& r = m_regions[i];
    if (r.valid && r.gen != m_regionGen) {
        // Same points, new zoom: the picture box (and so the index) stays.
        const QVector<Point>& pts = m_polys[i].Pt;
        const double z = m_zoom;
        r.poly.resize(pts.size());
        for (int k = 0; k < pts.size(); ++k) r.poly[k] = QPoint(rti(pts[k].x * z), rti(pts[k].y * z));
        r.bounds = r.poly.boundingRect();
        r.gen = m_regionGen;
    }
    return r;
}

// The index: a uniform grid of picture-coordinate cells listing, in store order, the polygons whose
// bounding box touches the cell. Picture coordinates keep it valid across zooms.
void PolyStore::buildIndex() const
{
    m_indexDirty = false;
    m_gridStart.clear();
    m_gridItems.clear();
    m_gridCols = m_gridRows = 0;
    QRect all;
    int count = 0;
    for (const Region& r : m_regions) {
        if (!r.valid) continue;
        all = count == 0 ? r.pbounds : all.united(r.pbounds);
        ++count;
    }
    if (count == 0) return;
    m_gridBounds = all;
    const double area = double(all.width()) * double(all.height());
    const double targetCells = std::clamp(double(count) * 2.0, 1.0, 1.0e6);
    const int cell = std::max(64, int(std::ceil(std::sqrt(area / targetCells))));
    m_gridCell = cell;
    m_gridCols = all.width() / cell + 1;
    m_gridRows = all.height() / cell + 1;
    const int cells = m_gridCols * m_gridRows;
    QVector<int> counts(cells + 1, 0);
    auto range = [&](const QRect& b, int& c0, int& c1, int& r0, int& r1) {
        c0 = (b.left() - all.left()) / cell;
        c1 = (b.right() - all.left()) / cell;
        r0 = (b.top() - all.top()) / cell;
        r1 = (b.bottom() - all.top()) / cell;
    };
    for (const Region& r : m_regions) {
        if (!r.valid) continue;
        int c0, c1, r0, r1;
        range(r.pbounds, c0, c1, r0, r1);
        for (int row = r0; row <= r1; ++row)
            for (int col = c0; col <= c1; ++col) ++counts[row * m_gridCols + col + 1];
    }
    for (int c = 0; c < cells; ++c) counts[c + 1] += counts[c];
    m_gridStart = counts;
    m_gridItems.resize(counts[cells]);
    for (int i = 0; i < m_regions.size(); ++i) {
        const Region& r = m_regions[i];
        if (!r.valid) continue;
        int c0, c1, r0, r1;
        range(r.pbounds, c0, c1, r0, r1);
        for (int row = r0; row <= r1; ++row)
            for (int col = c0; col <= c1; ++col) m_gridItems[counts[row * m_gridCols + col]++] = i;
    }
}

int PolyStore::hitTestRounded(int rx, int ry) const
{
    if (!hasPolygons()) return -1;
    // A display vertex is its picture vertex times the zoom, rounded: within half a display unit.
    const double z = m_zoom, m = 0.5 / z + 1e-3;
    const double px = rx / z, py = ry / z;
    const QPoint pt(rx, ry);
    int found = -1;
    forCandidates(px - m, py - m, px + m, py + m, [&](int i) {
        if (found >= 0 && i > found) return;
        if (!m_regions[i].valid) return;
        const Region& r = region(i);
        if (r.bounds.contains(pt) && r.poly.containsPoint(pt, Qt::OddEvenFill)) found = i;
    });
    return found;
}

int PolyStore::hitTest(float x, float y) const { return hitTestRounded(int(rte(x)), int(rte(y))); }

// ---- shading -------------------------------------------------------------------------------

void PolyStore::clearDots()
{
    m_shades.clear();
    m_dotCache.clear();
    changed();
}

// The shading of one polygon goes with it; every other stays as painted.
void PolyStore::dropShadesOf(int i)
{
    bool any = false;
    for (int j = int(m_shades.size()) - 1; j >= 0; --j) {
        if (m_shades[j].owner == i) {
            m_shades.remove(j);
            any = true;
        } else if (m_shades[j].owner > i) {
            --m_shades[j].owner;
        }
    }
    if (any) changed();
}

// The same for several polygons (ascending store indices) in one pass; nothing moves down.
void PolyStore::dropShadesOf(const QVector<int>& owners)
{
    const auto before = m_shades.size();
    m_shades.removeIf([&owners](const Shade& s) { return std::binary_search(owners.begin(), owners.end(), s.owner); });
    if (m_shades.size() != before) changed();
}

const QVector<DotBatch>& PolyStore::dots() const
{
    QVector<DotBatch>& out = m_dotCache;
    out.clear();
    out.reserve(m_shades.size());
    for (const Shade& s : m_shades) {
        DotBatch b;
        b.color = s.color;
        b.bounds = s.bounds;
        forEachShadeDot(s.poly, s.bounds, s.bounds, [&b](int x, int y) {
            b.points.append(QPoint(x, y));
            return true;
        });
        // column by column, as the grid is walked
        std::sort(b.points.begin(), b.points.end(),
                  [](const QPoint& l, const QPoint& r) { return l.x() != r.x() ? l.x() < r.x() : l.y() < r.y(); });
        out.append(std::move(b));
    }
    return out;
}

// Dots every 30 twips of the display, so they fall inside the polygon at every zoom.
void PolyStore::fillPoly(int i, quint32 color)
{
    if (i < 0 || i >= m_regions.size() || !m_regions[i].valid) return;
    const Region& r = region(i);
    if (forEachShadeDot(r.poly, r.bounds, r.bounds, [](int, int) { return false; })) return;  // no dot inside
    // Shading again paints the same dots in the new colour: the old batch is covered, so drop it.
    auto dots = [](const QPolygon& poly, const QRect& b) {
        QVector<QPoint> pts;
        forEachShadeDot(poly, b, b, [&pts](int x, int y) {
            pts.append(QPoint(x, y));
            return true;
        });
        return pts;
    };
    // Only its own: another polygon with the same outline keeps its dots for when this one goes.
    for (int j = int(m_shades.size()) - 1; j >= 0; --j) {
        const Shade& old = m_shades[j];
        if (old.owner == i && old.bounds == r.bounds &&
            (old.poly == r.poly || dots(old.poly, old.bounds) == dots(r.poly, r.bounds)))
            m_shades.remove(j);
    }
    m_shades.append(Shade{color, i, r.bounds, r.poly});
    changed();
}

void PolyStore::refillShaded(qint32 exceptID, bool skipID)
{
    if (!hasPolygons()) return;
    quint32 prev = 0;
    for (int i = 0; i < m_polys.size(); ++i) {
        Poly& p = m_polys[i];
        if (skipID && p.ID == exceptID) {
            p.Shading = 0;
        } else if (p.Shading != 0) {
            const quint32 c = p.Shading == 1 ? kWarning : p.Shading == 2 ? kCritical : prev;
            fillPoly(i, c);
            prev = c;
        }
    }
}

void PolyStore::shade(qint32 ID, qint16 level)
{
    if (level == 0) {
        clearDots();
        refillShaded(ID, true);
        return;
    }
    const quint32 color = level == 1 ? kWarning : level == 2 ? kCritical : 0;
    const int i = firstIndexOf(ID);
    if (i < 0) return;
    m_polys[i].Shading = level;
    fillPoly(i, color);
}

}  // namespace zv

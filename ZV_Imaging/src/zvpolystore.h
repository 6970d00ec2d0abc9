#pragma once
// The polygon store of the map control: polygons in host order with their edge elements, hit regions,
// shading and a grid index for hit tests. Qt Core and Gui only: it paints nothing and knows no widget,
// so a test can drive it alone. All coordinates are twips; edges, regions and dots are in display
// coordinates (picture coordinates times the zoom factor).

#include "zvtypes.h"

#include <QPolygon>
#include <QRectF>

#include <algorithm>
#include <cmath>
#include <vector>

namespace zv {

// Halves go to the even neighbour (default rounding mode).
inline double rte(double v) { return std::nearbyint(v); }
// The same rounding, straight to an integer.
inline int rti(double v) { return int(std::lrint(v)); }

constexpr quint32 kWarning = 0x0000E6FF;
constexpr quint32 kCritical = 0x000000FF;
constexpr quint32 kHighlight = 0x000000FF;

// Calls f(x, y) (false stops) for each point of the 30-twip grid from the corner of `bounds` that lies inside `poly`
// (odd-even rule) and within `clip`, row by row. The crossing test is the one QPolygon::containsPoint
// makes, so the same points come out as testing each grid point, at the cost of one pass per row.
template <typename F>
bool forEachShadeDot(const QPolygon& poly, const QRect& bounds, const QRect& clip, F&& f)
{
    const int n = int(poly.size());
    if (n == 0 || bounds.isEmpty()) return true;
    const QRect area = bounds & clip;
    if (area.isEmpty()) return true;
    const qint64 left = bounds.left(), top = bounds.top();
    auto firstStep = [](qint64 origin, qint64 from) { return from <= origin ? 0 : (from - origin + 29) / 30; };
    std::vector<double> xs;
    for (qint64 y = top + 30 * firstStep(top, area.top()); y <= area.bottom(); y += 30) {
        xs.clear();
        for (int k = 0; k < n; ++k) {
            const QPointF a = poly[k], b = poly[(k + 1) % n];
            qreal x1 = a.x(), y1 = a.y(), x2 = b.x(), y2 = b.y();
            if (qFuzzyCompare(y1, y2)) continue;  // horizontal edges do not cross a row
            if (y2 < y1) {
                std::swap(x1, x2);
                std::swap(y1, y2);
            }
            const qreal yy = qreal(y);
            if (yy >= y1 && yy < y2) xs.push_back(x1 + ((x2 - x1) / (y2 - y1)) * (yy - y1));
        }
        if (xs.size() < 2) continue;
        std::sort(xs.begin(), xs.end());
        // A point is inside when an odd number of crossings lie at or left of it: [xs[0], xs[1]), ...
        for (size_t j = 0; j + 1 < xs.size(); j += 2) {
            const double from = std::max<double>(xs[j], area.left()), to = xs[j + 1];
            qint64 x = left + 30 * firstStep(left, qint64(std::ceil(from)));
            for (; x < to && x <= area.right(); x += 30)
                if (!f(int(x), int(y))) return false;
        }
    }
    return true;
}

class ZVIMAGING_EXPORT PolyStore {
public:
    // Limits: far above what a picture holds, low enough that indices stay in int.
    static constexpr int kMaxEdges = 4'000'000;
    static constexpr int kMaxEntries = 1'000'000;
    // Outlines beyond this many twips from the origin are damaged rows: times the largest zoom they would
    // overflow the display's int coordinates, so they get no region (no hit test, index or shading).
    static constexpr qint32 kCoordLimit = 3'000'000;

    struct Edge {
        float x1 = 0, y1 = 0, x2 = 0, y2 = 0;  // single precision
        int width = 1;
        quint32 color = 0;
        bool visible = false;
        quint64 z = 0;
    };
    struct Region {
        bool valid = false;
        QPolygon poly;
        QRect bounds;     // display coordinates
        QRect pbounds;    // picture coordinates: the index uses these, so a zoom keeps it
        quint32 gen = 0;  // zoom generation it was built for
    };
    // One shaded polygon: its dots are those of a 30-twip grid from the box corner inside the region,
    // made when painted and only for the visible part, so a deep zoom costs no more than 100 %.
    struct Shade {
        quint32 color = 0;
        int owner = -1;  // store index of the polygon it was filled for
        QRect bounds;    // display coordinates
        QPolygon poly;
    };
    // The part of the display in view, for highlights (left/top: display coordinates of its corner).
    struct View {
        double left = 0, top = 0, width = 0, height = 0;
    };
    // What the store tells its owner. Every call is optional.
    class Listener {
    public:
        virtual ~Listener() = default;
        virtual void storeChanged() {}        // something shown changed
        virtual void aboutToRemove(int) {}    // entry i is about to go
        virtual void removed(int) {}          // entry i went; the edges are laid out anew next
        virtual void edgesRedrawn() {}        // every edge was made anew from the points
    };

    PolyStore();
    void setListener(Listener* l) { m_listener = l; }

    // ---- settings the edges and regions follow ----
    float zoom() const { return m_zoom; }
    void setZoom(float z) { m_zoom = z; }  // the factor alone
    void rezoom(float z);                  // the factor, and edges, regions and shading made for it
    qint16 drawWidth() const { return m_drawWidth; }
    void setDrawWidth(qint16 w) { m_drawWidth = w; }
    void restyleWidths();  // every edge takes the draw width
    quint32 lineColor() const { return m_lineColor; }
    void setLineColor(quint32 c);  // the template of new edges and every edge
    bool pVisible() const { return m_pVisible; }
    void setPVisible(bool v) { m_pVisible = v; }

    // ---- entries ----
    bool hasPolygons() const { return !m_polys.isEmpty() && !m_storeEmpty; }
    int count() const { return hasPolygons() ? int(m_polys.size()) : 0; }
    bool storeEmpty() const { return m_storeEmpty; }
    void setStoreEmpty(bool e) { m_storeEmpty = e; }
    const QVector<Poly>& polys() const { return m_polys; }
    QVector<Poly>& polys() { return m_polys; }
    Poly entry(int index) const;  // bad index or no polygon -> empty record
    int firstIndexOf(qint32 ID) const;
    int lastIndexOf(qint32 ID) const;
    int newPolySlot();
    int ownedEdgesBefore(int slot) const;
    int add(qint32 ID, const QVector<Point>& pts);  // appends and draws; throws Error
    int deleteLast(qint32 ID);  // unshades every entry with the ID, removes the last; its index or -1
    void removeAt(int i);
    void dropLastSlot();  // the last slot goes without a redraw (a drawing taken back)
    void clear();

    // ---- edges ----
    std::vector<Edge>& lines() const;  // made first when a zoom left them to be made
    bool edgesStale() const { return m_edgesStale; }
    const std::vector<Edge>& linesAsTheyAre() const { return m_lines; }
    int lineCount() const { return int(lines().size()); }
    Line line(int k) const;
    Edge& edge(int k);  // throws Error for a bad index
    Edge& createEdge(int k);
    void destroyTopEdge();
    void bringToFront(Edge& e) { e.z = ++m_zCounter; }
    void drawPolyEdges(int i);
    void redraw();
    void markStale();
    bool lineInView(int k, const View& v) const;
    bool lineOwner(int k, int& entry, int& vertex) const;
    bool highlight(int i, const View& v);       // true when entry i must be scrolled into view
    bool highlightAlone(int i, const View& v);  // the same, every other outline hidden
    void widen(int i);                          // entry i wider than the others
    bool topLeftOfEdges(int i, double& x, double& y) const;

    // ---- regions and hit tests ----
    void makeRegion(const QVector<Point>& pts, int i);
    void releaseRegion(int i);
    const Region& region(int i) const;
    bool hasRegion(int i) const { return i >= 0 && i < m_regions.size() && m_regions[i].valid; }
    int hitTest(float x, float y) const;  // first entry containing a display point, -1 none
    int hitTestRounded(int rx, int ry) const;
    // Calls f(store index) for the polygons listed in the cells that cover a picture-coordinate box:
    // once each, in ascending store order.
    template <typename F>
    void forCandidates(double px0, double py0, double px1, double py1, F&& f) const;

    // ---- shading ----
    void shade(qint32 ID, qint16 level);  // 0 clears, 1 warning, 2 critical
    void fillPoly(int i, quint32 color);
    void clearDots();
    void refillShaded(qint32 exceptID, bool skipID);
    const QVector<Shade>& shades() const { return m_shades; }
    const QVector<DotBatch>& dots() const;  // every dot, in paint order; valid until the next call

private:
    void changed()
    {
        if (m_listener) m_listener->storeChanged();
    }
    void invalidateIndex() { m_indexDirty = true; }
    void buildIndex() const;
    void dropShadesOf(int i);
    void dropShadesOf(const QVector<int>& owners);

    Listener* m_listener = nullptr;
    float m_zoom = 1.0f;
    qint16 m_drawWidth = 1;
    quint32 m_lineColor = 0;
    bool m_pVisible = true;

    QVector<Poly> m_polys;
    mutable QVector<Region> m_regions;
    quint32 m_regionGen = 0;
    bool m_storeEmpty = false;
    mutable std::vector<Edge> m_lines;  // reach it through lines()
    mutable bool m_edgesStale = false;
    quint64 m_zCounter = 0;
    QVector<Shade> m_shades;
    mutable QVector<DotBatch> m_dotCache;
    mutable bool m_indexDirty = true;
    mutable QRect m_gridBounds;
    mutable int m_gridCell = 1, m_gridCols = 0, m_gridRows = 0;
    mutable QVector<int> m_gridStart, m_gridItems;
};

template <typename F>
void PolyStore::forCandidates(double px0, double py0, double px1, double py1, F&& f) const
{
    if (m_indexDirty) buildIndex();
    if (m_gridCols == 0) return;
    const QRect& g = m_gridBounds;
    if (px1 < g.left() || py1 < g.top() || px0 > g.right() + 1 || py0 > g.bottom() + 1) return;
    // Clamped before the conversion: a far position must not overflow int.
    auto cellOf = [this](double v, double origin, int count) {
        return int(std::clamp(std::floor((v - origin) / m_gridCell), 0.0, double(count - 1)));
    };
    const int c0 = cellOf(px0, g.left(), m_gridCols), c1 = cellOf(px1, g.left(), m_gridCols);
    const int r0 = cellOf(py0, g.top(), m_gridRows), r1 = cellOf(py1, g.top(), m_gridRows);
    if (c0 == c1 && r0 == r1) {
        const int c = r0 * m_gridCols + c0;
        for (int k = m_gridStart[c]; k < m_gridStart[c + 1]; ++k) f(m_gridItems[k]);
        return;
    }
    std::vector<int> all;
    for (int row = r0; row <= r1; ++row)
        for (int col = c0; col <= c1; ++col) {
            const int c = row * m_gridCols + col;
            all.insert(all.end(), m_gridItems.begin() + m_gridStart[c], m_gridItems.begin() + m_gridStart[c + 1]);
        }
    std::sort(all.begin(), all.end());
    all.erase(std::unique(all.begin(), all.end()), all.end());
    for (int i : all) f(i);
}

}  // namespace zv

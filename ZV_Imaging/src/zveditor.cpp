#include "zveditor.h"
#include "zvpointer.h"
#include "zvviewport.h"

#include <QMessageBox>
#include <QPainter>

#include <limits>

namespace {

constexpr int kMaxDrawVertices = 32767;  // 16-bit vertex count while drawing

// Small generated cursors for the vertex tools: a ring with a sign in it.
QCursor toolCursor(char sign)
{
    QPixmap pm(19, 19);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::white, 3));
    p.drawEllipse(QPointF(9, 9), 6, 6);
    p.setPen(QPen(Qt::black, 1.5));
    p.drawEllipse(QPointF(9, 9), 6, 6);
    if (sign == '+' || sign == 'x') {
        p.drawLine(QPointF(6, 9), QPointF(12, 9));
        if (sign == '+') p.drawLine(QPointF(9, 6), QPointF(9, 12));
    } else if (sign == 'n') {
        p.setBrush(Qt::red);
        p.drawEllipse(QPointF(9, 9), 2.5, 2.5);
    } else {
        p.setBrush(Qt::black);
        p.drawEllipse(QPointF(9, 9), 1.5, 1.5);
    }
    return QCursor(pm, 9, 9);
}

// A store index after entry `removed` has gone: -1 when it was that entry.
int indexAfterRemoval(int idx, int removed) { return idx == removed ? -1 : idx > removed ? idx - 1 : idx; }

qint32 toInt32(double v)
{
    return qint32(std::clamp(v, double(std::numeric_limits<qint32>::min()), double(std::numeric_limits<qint32>::max())));
}

}  // namespace

MapEditor::MapEditor(ZVMap* map, zv::PolyStore* store, MapViewport* view) : m_map(map), m_store(store), m_container(view)
{
    m_message = [map](const QString& title, const QString& text) { QMessageBox::warning(map, title, text); };
}

void MapEditor::setMessageHandler(std::function<void(const QString&, const QString&)> handler)
{
    m_message = std::move(handler);
}

void MapEditor::storeChanged() { m_container->update(); }

void MapEditor::dropGestures()
{
    m_dragging = false;
    m_drawCount = 0;
    m_drawPts.clear();
    m_drawIndex = -1;
    m_activePoly = 0;
    m_activePoint = -1;
    m_firstPoint = -1;
    m_savedShading = 0;
    m_markers[0].visible = m_markers[1].visible = false;
    switch (m_mode) {
    case Mode::Drawing:
    case Mode::MovePoly:
    case Mode::MoveVertex:
    case Mode::DeleteVertex:
    case Mode::InsertChoose:
    case Mode::InsertPlace: setMode(Mode::Normal); break;
    default: break;
    }
}

// A vertex chosen for a drag or an insertion is an edge index: keep it as a vertex of its polygon.
void MapEditor::aboutToRemove(int)
{
    const bool vertexChosen = (m_dragging && m_mode == Mode::MoveVertex) ||
                              ((m_mode == Mode::InsertChoose || m_mode == Mode::InsertPlace) && m_activePoint != -1);
    m_removalActive = m_removalFirst = -1;
    const auto& polys = m_store->polys();
    if (vertexChosen && m_activePoly >= 0 && m_activePoly < polys.size()) {
        m_removalActive = m_activePoint - polys[m_activePoly].StartLine;
        if (m_mode == Mode::InsertPlace) m_removalFirst = m_firstPoint - polys[m_activePoly].StartLine;
    }
}

void MapEditor::removed(int i)
{
    if (m_drawIndex == i) {
        // The host removed the polygon being drawn: the drawing starts afresh.
        m_drawCount = 0;
        m_drawPts.clear();
        m_drawIndex = -1;
    } else if (m_drawIndex > i) {
        --m_drawIndex;
    }
    m_closingIndex = indexAfterRemoval(m_closingIndex, i);
    m_pasteIndex = indexAfterRemoval(m_pasteIndex, i);
    followRemoval(i, m_removalActive, m_removalFirst);
    m_pointer->hideTip();  // its store index may now name another polygon
}

// A polygon being dragged keeps the place it was dragged to: its points change only at the release.
void MapEditor::edgesRedrawn()
{
    if (!(m_dragging && m_mode == Mode::MovePoly && m_activePoly >= 0 && m_activePoly < m_store->polys().size()))
        return;
    const double f = double(m_store->zoom()) / m_dragZoom;
    const zv::Poly& p = m_store->polys()[m_activePoly];
    auto& lines = m_store->lines();
    for (int k = p.StartLine; k < p.StartLine + p.Pt.size() && k < int(lines.size()); ++k) {
        zv::PolyStore::Edge& e = lines[size_t(k)];
        e.x1 += m_dragShiftX * f;
        e.x2 += m_dragShiftX * f;
        e.y1 += m_dragShiftY * f;
        e.y2 += m_dragShiftY * f;
    }
}

// A drag or insertion under way follows its own polygon past a removal, or is dropped with it.
void MapEditor::followRemoval(int i, int vActive, int vFirst)
{
    const bool dragging = m_dragging && (m_mode == Mode::MovePoly || m_mode == Mode::MoveVertex);
    const bool inserting = (m_mode == Mode::InsertChoose || m_mode == Mode::InsertPlace) && m_activePoint != -1;
    if (!dragging && !inserting) return;
    m_activePoly = indexAfterRemoval(m_activePoly, i);
    if (m_activePoly < 0 || (m_store->storeEmpty() && m_store->polys().size() == 1)) {
        m_activePoly = -1;
        m_activePoint = -1;
        m_firstPoint = -1;
        m_savedShading = 0;
        if (inserting) {
            m_markers[0].visible = m_markers[1].visible = false;
            setMode(Mode::InsertChoose);
            m_container->update();
        }
        return;
    }
    const int s = m_store->polys()[m_activePoly].StartLine;
    if (vActive >= 0) m_activePoint = s + vActive;
    if (vFirst >= 0) m_firstPoint = s + vFirst;
}

void MapEditor::setMode(Mode m)
{
    m_mode = m;
    switch (m) {
    case Mode::Normal: m_container->setCursor(Qt::ArrowCursor); break;
    case Mode::Drawing: m_container->setCursor(Qt::CrossCursor); break;
    case Mode::Pan: m_container->setCursor(Qt::OpenHandCursor); break;
    case Mode::PanDrag: m_container->setCursor(Qt::ClosedHandCursor); break;
    case Mode::MovePoly: m_container->setCursor(Qt::SizeAllCursor); break;
    case Mode::MoveVertex: m_container->setCursor(toolCursor('.')); break;
    case Mode::DeleteVertex: m_container->setCursor(toolCursor('x')); break;
    case Mode::InsertChoose: m_container->setCursor(toolCursor('+')); break;
    case Mode::InsertPlace: m_container->setCursor(toolCursor('n')); break;
    }
}

void MapEditor::returnToPanOrNormal() { setMode(m_panOn ? Mode::Pan : Mode::Normal); }

void MapEditor::DrawPoly() { setMode(Mode::Drawing); }

void MapEditor::PolyMove() { setMode(Mode::MovePoly); }

void MapEditor::MovePoint() { setMode(Mode::MoveVertex); }

void MapEditor::DeletePoint() { setMode(Mode::DeleteVertex); }

void MapEditor::AddPoint()
{
    setMode(Mode::InsertChoose);
    m_activePoint = -1;
}

void MapEditor::Cancel()
{
    // A half-drawn polygon goes whatever the mode, so the next drawing starts fresh.
    if (m_drawCount > 0) {
        const int i = m_drawIndex;
        if (i >= 0 && i == m_store->polys().size() - 1) {
            const zv::Poly& p = m_store->polys()[i];
            for (int k = p.StartLine + int(p.Pt.size()) - 1; k >= p.StartLine; --k) {
                if (k == 0)
                    m_store->lines()[0].visible = false;
                else if (k == m_store->lineCount() - 1)
                    m_store->lines().pop_back();
            }
            m_store->dropLastSlot();
            m_pointer->hideTip();
        } else if (i >= 0 && i < m_store->polys().size()) {
            m_store->removeAt(i);
        }
        m_drawCount = 0;
        m_drawPts.clear();
        m_drawIndex = -1;
    }
    // A drag under way is abandoned: its polygon goes back to its stored outline.
    if (m_dragging && (m_mode == Mode::MovePoly || m_mode == Mode::MoveVertex)) {
        m_dragging = false;
        // A vertex drag changes the stored vertex as it goes: put the polygon back as it was.
        if (m_mode == Mode::MoveVertex && m_activePoly >= 0 && m_activePoly < m_store->polys().size() &&
            m_dragSavedPts.size() == m_store->polys()[m_activePoly].Pt.size())
            m_store->polys()[m_activePoly].Pt = m_dragSavedPts;
        m_dragSavedPts.clear();
        m_store->redraw();
        if (m_savedShading > 0 && m_activePoly >= 0 && m_activePoly < m_store->polys().size())
            m_store->shade(m_store->polys()[m_activePoly].ID, m_savedShading);
    }
    switch (m_mode) {
    case Mode::Drawing:
    case Mode::MovePoly:
    case Mode::MoveVertex:
    case Mode::DeleteVertex: setMode(Mode::Normal); break;
    case Mode::InsertChoose:
    case Mode::InsertPlace:
        m_markers[0].visible = m_markers[1].visible = false;
        m_activePoint = -1;
        setMode(Mode::Normal);
        break;
    default: break;
    }
    m_container->update();
}

void MapEditor::Copy(qint32 PolyID)
{
    if (!m_store->hasPolygons()) return;
    int found = -1;
    for (int i = 0; i < m_store->polys().size(); ++i)
        if (m_store->polys()[i].ID == PolyID) found = i;
    if (found < 0) return;
    const QVector<zv::Point>& pts = m_store->polys()[found].Pt;
    if (pts.isEmpty()) return;
    // The true minimum: a copy of a polygon far right or low still pastes at the visible corner.
    qint32 minX = pts[0].x, minY = pts[0].y;
    for (const zv::Point& pt : pts) {
        minX = std::min(minX, pt.x);
        minY = std::min(minY, pt.y);
    }
    QVector<zv::Point> buf;
    buf.reserve(pts.size());
    for (const zv::Point& pt : pts) buf.append({toInt32(double(pt.x) - minX), toInt32(double(pt.y) - minY)});
    m_copyBuffer = buf;
}

void MapEditor::Paste(qint32 NewPolyID)
{
    if (m_copyBuffer.isEmpty()) return;
    if (qint64(m_store->ownedEdgesBefore(-1)) + m_copyBuffer.size() > zv::PolyStore::kMaxEdges || m_store->polys().size() >= zv::PolyStore::kMaxEntries)
        throw zv::Error(6, QStringLiteral("Overflow"));
    const int i = m_store->newPolySlot();
    m_store->polys()[i].ID = NewPolyID;
    try {
        const double sx = float(-m_container->left()) / m_store->zoom(), sy = float(-m_container->top()) / m_store->zoom();
        QVector<zv::Point> pts;
        pts.reserve(m_copyBuffer.size());
        for (const zv::Point& b : m_copyBuffer) pts.append({toInt32(zv::rte(sx + b.x)), toInt32(zv::rte(sy + b.y))});
        m_store->polys()[i].Pt = pts;
        m_pasteIndex = i;  // followed through whatever the host removes in its handler
        emit m_map->PolyPasted(NewPolyID, pts);
        const int at = m_pasteIndex;
        m_pasteIndex = -1;
        if (at < 0 || at >= m_store->polys().size()) return;
        m_store->polys()[at].StartLine = m_store->ownedEdgesBefore(at);
        m_store->drawPolyEdges(at);
        setMode(Mode::MovePoly);
        m_container->update();
    } catch (...) {
    }
}

void MapEditor::nearestVertex(float x, float y)
{
    if (m_store->lineCount() == 1 && !m_store->lines()[0].visible) {
        m_activePoint = -1;
        return;
    }
    double best = std::numeric_limits<double>::infinity();
    int bestK = -1;
    for (int k = 0; k < m_store->lineCount(); ++k) {
        const float ex = float(m_store->lines()[k].x1), ey = float(m_store->lines()[k].y1);
        const double dx = double(x) - ex, dy = double(y) - ey;
        const double d = std::sqrt(dx * dx + dy * dy);
        if (d < best) {
            best = d;
            bestK = k;
        }
    }
    int owner = 0, v = 0;
    if (best < 500 && m_store->lineOwner(bestK, owner, v)) {
        m_activePoint = bestK;
        m_activePoly = owner;
    } else {
        m_activePoint = -1;
    }
}

void MapEditor::moveVertexTo(float x, float y)
{
    int i = 0, v = 0;
    if (!m_store->lineOwner(m_activePoint, i, v)) return;
    zv::Poly& p = m_store->polys()[i];
    const int n = int(p.Pt.size());
    zv::PolyStore::Edge& e = m_store->edge(m_activePoint);
    e.x1 = x;
    e.y1 = y;
    zv::PolyStore::Edge& prev = m_store->edge(p.StartLine + (v + n - 1) % n);
    prev.x2 = x;
    prev.y2 = y;
    p.Pt[v] = {qint32(zv::rte(x / m_store->zoom())), qint32(zv::rte(y / m_store->zoom()))};
    m_container->update();
}

bool MapEditor::edgesAdjacent(int a, int b) const
{
    int i = 0, v = 0;
    if (!m_store->lineOwner(a, i, v)) return false;
    const int n = int(m_store->polys()[i].Pt.size());
    const int s = m_store->polys()[i].StartLine;
    return b == s + (v + n - 1) % n || b == s + (v + 1) % n;
}

void MapEditor::rebuildPointsFromEdges(int i)
{
    zv::Poly& p = m_store->polys()[i];
    const int n = int(p.Pt.size());
    for (int k = 0; k < n; ++k) {
        const zv::PolyStore::Edge& e = m_store->edge(p.StartLine + k);
        p.Pt[k] = {qint32(zv::rte(float(e.x1) / m_store->zoom())), qint32(zv::rte(float(e.y1) / m_store->zoom()))};
    }
}

void MapEditor::deleteVertex()
{
    if (m_activePoint < 0) return;
    int i = 0, v = 0;
    if (!m_store->lineOwner(m_activePoint, i, v)) return;
    zv::Poly& p = m_store->polys()[i];
    const int n = int(p.Pt.size());
    if (n < 2) return;
    zv::PolyStore::Edge& prev = m_store->edge(p.StartLine + (v + n - 1) % n);
    const zv::PolyStore::Edge& cur = m_store->edge(m_activePoint);
    prev.x2 = cur.x2;
    prev.y2 = cur.y2;
    for (int k = m_activePoint + 1; k < m_store->lineCount(); ++k) {
        zv::PolyStore::Edge& dst = m_store->lines()[k - 1];
        const zv::PolyStore::Edge& src = m_store->lines()[k];
        dst.x1 = src.x1;
        dst.y1 = src.y1;
        dst.x2 = src.x2;
        dst.y2 = src.y2;
        dst.width = src.width;
    }
    m_store->destroyTopEdge();
    for (int j = i + 1; j < m_store->polys().size(); ++j) m_store->polys()[j].StartLine -= 1;
    p.Pt.resize(n - 1);
    rebuildPointsFromEdges(i);
    m_store->makeRegion(p.Pt, i);
    m_pointer->hideTip();
    m_container->update();
    const qint32 id = p.ID;
    const QVector<zv::Point> pts = p.Pt;
    emit m_map->PointMoved(id, pts);
}

void MapEditor::insertVertex(int first, int second, float x, float y)
{
    int i = 0, v1 = 0, v2 = 0, i2 = 0;
    // The pair may have gone stale if the host changed the store between the presses.
    if (!m_store->lineOwner(first, i, v1) || !m_store->lineOwner(second, i2, v2) || i != i2 || !edgesAdjacent(first, second)) return;
    zv::Poly& p = m_store->polys()[i];
    const int n = int(p.Pt.size());
    const int s = p.StartLine;
    // Order the pair so that the first's edge ends at the second's vertex.
    if (second != s + (v1 + 1) % n && first == s + (v2 + 1) % n) std::swap(first, second);
    const int top = m_store->lineCount() - 1;
    const bool topVisible = m_store->lines()[top].visible;
    zv::PolyStore::Edge& added = m_store->createEdge(top + 1);
    added.visible = topVisible || m_store->pVisible();
    m_store->bringToFront(added);
    for (int k = top + 1; k > second; --k) {
        zv::PolyStore::Edge& dst = m_store->lines()[k];
        const zv::PolyStore::Edge& src = m_store->lines()[k - 1];
        dst.x1 = src.x1;
        dst.y1 = src.y1;
        dst.x2 = src.x2;
        dst.y2 = src.y2;
        dst.width = m_store->drawWidth();
        m_store->bringToFront(dst);
    }
    zv::PolyStore::Edge& sec = m_store->lines()[second];
    sec.x2 = sec.x1;
    sec.y2 = sec.y1;
    sec.x1 = x;
    sec.y1 = y;
    const int firstNow = first > second ? first + 1 : first;
    m_store->lines()[firstNow].x2 = x;
    m_store->lines()[firstNow].y2 = y;
    for (int j = i + 1; j < m_store->polys().size(); ++j) m_store->polys()[j].StartLine += 1;
    p.Pt.resize(n + 1);
    rebuildPointsFromEdges(i);
    m_store->makeRegion(p.Pt, i);
    m_container->update();
    const qint32 id = p.ID;
    const QVector<zv::Point> pts = p.Pt;
    emit m_map->PointMoved(id, pts);
}

void MapEditor::reshade(int i, qint16 level)
{
    if (level <= 0 || i < 0 || i >= m_store->polys().size()) return;
    const qint32 id = m_store->polys()[i].ID;
    m_store->shade(id, 0);
    m_store->shade(id, level);
}

// True when a polygon other than the one being drawn owns edge k or one above it.
bool MapEditor::edgesOwnedFrom(int k) const
{
    if (!m_store->hasPolygons()) return false;
    for (int j = 0; j < m_store->polys().size(); ++j)
        if (j != m_drawIndex && !m_store->polys()[j].Pt.isEmpty() && m_store->polys()[j].StartLine >= k) return true;
    return false;
}

void MapEditor::addVertex(float x, float y)
{
    if (m_drawCount >= kMaxDrawVertices) return;
    const zv::Point pt{qint32(zv::rte(x / m_store->zoom())), qint32(zv::rte(y / m_store->zoom()))};
    if (m_drawCount == 0) {
        if (m_store->ownedEdgesBefore(-1) >= zv::PolyStore::kMaxEdges || m_store->polys().size() >= zv::PolyStore::kMaxEntries) return;
        m_drawIndex = m_store->newPolySlot();
        m_store->polys()[m_drawIndex].StartLine = m_store->ownedEdgesBefore(m_drawIndex);
        m_store->polys()[m_drawIndex].Pt = {pt};
        m_drawPts = {pt};
    } else {
        if (m_drawIndex < 0 || m_drawIndex >= m_store->polys().size()) return;
        if (m_store->polys()[m_drawIndex].StartLine + m_drawCount >= zv::PolyStore::kMaxEdges || m_store->lineCount() >= zv::PolyStore::kMaxEdges) return;
        m_store->polys()[m_drawIndex].Pt.append(pt);
        m_drawPts.append(pt);
    }
    const int s = m_store->polys()[m_drawIndex].StartLine;
    if (m_drawCount > 0) {
        zv::PolyStore::Edge& prev = m_store->edge(s + m_drawCount - 1);
        prev.x2 = x;
        prev.y2 = y;
    }
    const int k = s + m_drawCount;
    zv::PolyStore::Edge* e = nullptr;
    if (k == 0) {
        e = &m_store->lines()[0];
    } else if (k < m_store->lineCount() && edgesOwnedFrom(k)) {
        // The host added polygons while this one is drawn: their edges move up to make room.
        zv::PolyStore::Edge t;
        t.color = m_store->lineColor();
        m_store->lines().insert(m_store->lines().begin() + k, t);
        for (int j = 0; j < m_store->polys().size(); ++j)
            if (j != m_drawIndex && m_store->polys()[j].StartLine >= k) ++m_store->polys()[j].StartLine;
        e = &m_store->lines()[size_t(k)];
    } else {
        e = &m_store->createEdge(k);
    }
    e->x1 = e->x2 = pt.x * double(m_store->zoom());
    e->y1 = e->y2 = pt.y * double(m_store->zoom());
    e->width = m_store->drawWidth();
    e->visible = true;
    m_store->bringToFront(*e);
    ++m_drawCount;
    m_container->update();
}

void MapEditor::takeBackVertex()
{
    if (m_drawIndex < 0 || m_drawIndex >= m_store->polys().size()) return;
    const int k = m_store->polys()[m_drawIndex].StartLine + m_drawCount - 1;
    m_drawPts.removeLast();
    m_store->polys()[m_drawIndex].Pt.removeLast();
    if (k > 0 && k < m_store->lineCount() - 1 && edgesOwnedFrom(k + 1)) {
        m_store->lines().erase(m_store->lines().begin() + k);
        for (int j = 0; j < m_store->polys().size(); ++j)
            if (j != m_drawIndex && m_store->polys()[j].StartLine > k) --m_store->polys()[j].StartLine;
    } else {
        m_store->destroyTopEdge();
    }
    --m_drawCount;
    m_container->update();
}

void MapEditor::closeDrawnPolygon()
{
    int i = m_drawIndex;
    if (i < 0 || i >= m_store->polys().size()) return;
    const int s = m_store->polys()[i].StartLine;
    const double z = m_store->zoom();
    zv::PolyStore::Edge& band = m_store->edge(s + m_drawCount - 1);
    band.x1 = m_drawPts.last().x * z;
    band.y1 = m_drawPts.last().y * z;
    band.x2 = m_drawPts.first().x * z;
    band.y2 = m_drawPts.first().y * z;
    m_store->makeRegion(m_drawPts, i);
    const QVector<zv::Point> pts = m_drawPts;
    // Cleared before the event: a Cancel from the host's handler must not take the polygon twice.
    m_drawCount = 0;
    m_drawIndex = -1;
    m_drawPts.clear();
    m_container->update();
    qint32 outId = 0;
    bool cancel = false;
    m_closingIndex = i;  // followed through whatever the host removes in its handler
    emit m_map->PolyIdentified(outId, pts, cancel);
    i = m_closingIndex;
    m_closingIndex = -1;
    if (i >= 0 && i < m_store->polys().size()) {
        if (cancel) {
            m_store->removeAt(i);
        } else {
            m_store->polys()[i].ID = outId;
            m_store->setStoreEmpty(false);
        }
    }
    returnToPanOrNormal();
}

void MapEditor::Pan(bool PanOn)
{
    m_panOn = PanOn;
    setMode(PanOn ? Mode::Pan : Mode::Normal);
}

void MapEditor::showMessage(const QString& title, const QString& text)
{
    if (m_message) m_message(title, text);
}

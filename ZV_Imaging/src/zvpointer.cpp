#include "zvpointer.h"
#include "zveditor.h"
#include "zvviewport.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QTimer>

namespace {

using Mode = ZVMap::Mode;

int buttonCode(Qt::MouseButton b)
{
    switch (b) {
    case Qt::LeftButton: return 1;
    case Qt::RightButton: return 2;
    case Qt::MiddleButton: return 4;
    default: return 0;
    }
}

int buttonsCode(Qt::MouseButtons bs)
{
    return (bs & Qt::LeftButton ? 1 : 0) | (bs & Qt::RightButton ? 2 : 0) | (bs & Qt::MiddleButton ? 4 : 0);
}

int shiftCode(Qt::KeyboardModifiers m)
{
    return (m & Qt::ShiftModifier ? 1 : 0) | (m & Qt::ControlModifier ? 2 : 0) | (m & Qt::AltModifier ? 4 : 0);
}

int virtualKey(int key)
{
    if (key >= Qt::Key_A && key <= Qt::Key_Z) return key;
    if (key >= Qt::Key_0 && key <= Qt::Key_9) return key;
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24) return 112 + (key - Qt::Key_F1);
    switch (key) {
    case Qt::Key_Backspace: return 8;
    case Qt::Key_Tab: return 9;
    case Qt::Key_Return:
    case Qt::Key_Enter: return 13;
    case Qt::Key_Shift: return 16;
    case Qt::Key_Control: return 17;
    case Qt::Key_Alt: return 18;
    case Qt::Key_Escape: return 27;
    case Qt::Key_Space: return 32;
    case Qt::Key_PageUp: return 33;
    case Qt::Key_PageDown: return 34;
    case Qt::Key_End: return 35;
    case Qt::Key_Home: return 36;
    case Qt::Key_Left: return 37;
    case Qt::Key_Up: return 38;
    case Qt::Key_Right: return 39;
    case Qt::Key_Down: return 40;
    case Qt::Key_Insert: return 45;
    case Qt::Key_Delete: return 46;
    default: return 0;
    }
}

}  // namespace

MapPointer::MapPointer(ZVMap* map, zv::PolyStore* store, MapViewport* view, MapEditor* editor)
    : m_map(map), m_store(store), m_container(view), m_editor(editor)
{
    m_tip = new MapTipLabel(this, map, view);
    m_timer = new QTimer(map);
    m_timer->setObjectName(QStringLiteral("Timer1"));
    m_timer->setInterval(5000);
    m_timer->setSingleShot(true);
    QObject::connect(m_timer, &QTimer::timeout, map, [this] {
        try {
            timerTick();
        } catch (...) {
        }
    });
}

void MapPointer::reset()
{
    m_tipIndex = -1;
    hideTip();
    m_timer->stop();
}

// Presses on the viewport go to the picture surface or to the viewport itself, and stay with it until release.
void MapPointer::viewportPress(QMouseEvent* e)
{
    e->accept();
    try {
        const QPointF d = m_container->displayFromViewportPx(e->position());
        const int b = buttonCode(e->button());
        if (m_pressTarget == 0 || e->buttons() == e->button()) {
            const bool onPicture = m_container->onPicture(d);
            m_pressTarget = onPicture ? 1 : 2;
            m_pressButton = b;
        }
        if (m_pressTarget == 1) surfacePress(b, shiftCode(e->modifiers()), float(d.x()), float(d.y()));
    } catch (...) {
    }
}

void MapPointer::viewportMove(QMouseEvent* e)
{
    e->accept();
    try {
        const QPointF d = m_container->displayFromViewportPx(e->position());
        const int target = m_pressTarget;
        const bool onPicture = m_container->onPicture(d);
        if (target == 1 || (target == 0 && onPicture))
            surfaceMove(buttonsCode(e->buttons()), shiftCode(e->modifiers()), float(d.x()), float(d.y()));
    } catch (...) {
    }
}

void MapPointer::viewportRelease(QMouseEvent* e)
{
    e->accept();
    try {
        const QPointF d = m_container->displayFromViewportPx(e->position());
        const int b = buttonCode(e->button());
        const int target = m_pressTarget;
        const bool leftClick = b == 1 && m_pressButton == 1 && m_container->rect().contains(e->position().toPoint());
        if (e->buttons() == Qt::NoButton) m_pressTarget = 0;
        if (target == 1) {
            surfaceRelease(b, shiftCode(e->modifiers()), float(d.x()), float(d.y()));
            if (leftClick) surfaceClick();
        } else if (target == 2 && leftClick) {
            emit m_map->Click();
        }
    } catch (...) {
    }
}

void MapPointer::surfacePress(int button, int shift, float x, float y)
{
    m_skipClick = false;
    switch (m_editor->m_mode) {
    case Mode::Drawing:
        m_skipClick = true;
        if (button == 1) {
            m_editor->addVertex(x, y);
            if (shift == 2) {
                if (m_editor->m_drawCount < 3)
                    m_editor->showMessage(QStringLiteral("Draw"), QStringLiteral("You must add at least 3 points to create a region."));
                else
                    m_editor->closeDrawnPolygon();
            }
        } else if (button == 2 && m_editor->m_drawCount >= 2) {
            m_editor->takeBackVertex();
        }
        return;
    case Mode::Normal:
    case Mode::Pan:
        if (button != 1) break;
        try {
            const int i = m_store->hitTest(x, y);
            if (i >= 0) {
                m_skipClick = true;
                if (m_store->pVisible()) m_store->widen(i);
                emit m_map->PolyHit(m_store->polys()[i].ID, qint16(shift));
            }
        } catch (...) {
        }
        // Pan works with or without polygons (the picture viewer has none).
        if (m_editor->m_mode == Mode::Pan) {
            m_skipClick = true;
            m_editor->m_dragging = true;
            m_editor->setMode(Mode::PanDrag);
            m_editor->m_dragX = x;
            m_editor->m_dragY = y;
            emit m_map->MouseDown(qint16(button), qint16(shift), x, y);
        }
        return;
    case Mode::MovePoly: {
        m_skipClick = true;
        const int i = m_store->hitTest(x, y);
        if (i >= 0) {
            m_editor->m_activePoly = i;
            m_editor->m_dragging = true;
            m_editor->m_dragX = x;
            m_editor->m_dragY = y;
            m_editor->m_dragShiftX = m_editor->m_dragShiftY = 0;
            m_editor->m_dragZoom = m_store->zoom();
            m_editor->m_savedShading = m_store->polys()[i].Shading;
            if (m_editor->m_savedShading > 0) m_store->shade(m_store->polys()[i].ID, 0);
        }
        return;
    }
    case Mode::MoveVertex:
        m_editor->m_dragging = true;
        m_editor->nearestVertex(x, y);
        if (m_editor->m_activePoint == -1) {
            m_editor->m_dragging = false;
        } else {
            m_editor->m_dragSavedPts = m_store->polys()[m_editor->m_activePoly].Pt;  // what Cancel puts back
            m_editor->m_savedShading = m_store->polys()[m_editor->m_activePoly].Shading;
            if (m_editor->m_savedShading > 0) m_store->shade(m_store->polys()[m_editor->m_activePoly].ID, 0);
        }
        return;
    case Mode::DeleteVertex:
        m_editor->nearestVertex(x, y);
        if (m_editor->m_activePoint != -1 && m_store->polys()[m_editor->m_activePoly].Pt.size() >= 4) {
            const int i = m_editor->m_activePoly;
            const qint16 level = m_store->polys()[i].Shading;
            m_editor->deleteVertex();
            m_editor->returnToPanOrNormal();
            m_editor->reshade(i, level);
        }
        return;
    case Mode::InsertChoose:
        if (m_editor->m_activePoint == -1) {
            m_editor->nearestVertex(x, y);
            if (m_editor->m_activePoint != -1) {
                m_editor->m_markers[0] = {true, m_store->lines()[m_editor->m_activePoint].x1 - kMarkerSize / 2, m_store->lines()[m_editor->m_activePoint].y1 - kMarkerSize / 2};
                m_container->update();
            }
        } else {
            m_editor->m_firstPoint = m_editor->m_activePoint;
            const int firstPoly = m_editor->m_activePoly;
            m_editor->nearestVertex(x, y);
            if (m_editor->m_activePoint != -1 && m_editor->edgesAdjacent(m_editor->m_firstPoint, m_editor->m_activePoint)) {
                m_editor->m_markers[1] = {true, m_store->lines()[m_editor->m_activePoint].x1 - kMarkerSize / 2, m_store->lines()[m_editor->m_activePoint].y1 - kMarkerSize / 2};
                m_editor->setMode(Mode::InsertPlace);
                m_container->update();
            } else {
                m_editor->m_activePoint = m_editor->m_firstPoint;
                m_editor->m_activePoly = firstPoly;
            }
        }
        return;
    case Mode::InsertPlace: {
        const int i = m_editor->m_activePoly;
        const qint16 level = (i >= 0 && i < m_store->polys().size()) ? m_store->polys()[i].Shading : 0;
        m_editor->insertVertex(m_editor->m_firstPoint, m_editor->m_activePoint, x, y);
        m_editor->m_activePoint = -1;
        m_editor->m_markers[0].visible = m_editor->m_markers[1].visible = false;
        m_editor->reshade(i, level);
        m_editor->returnToPanOrNormal();
        m_container->update();
        return;
    }
    case Mode::PanDrag: break;
    }
    emit m_map->MouseDown(qint16(button), qint16(shift), x, y);
}

void MapPointer::surfaceMove(int buttons, int shift, float x, float y)
{
    if (m_editor->m_dragging) {
        switch (m_editor->m_mode) {
        case Mode::PanDrag: {
            m_container->panBy(m_editor->m_dragX, m_editor->m_dragY, x, y);
            break;
        }
        case Mode::MovePoly: {
            if (m_editor->m_activePoly < 0 || m_editor->m_activePoly >= m_store->polys().size()) break;
            const double dx = (0 < x && x < m_container->shownWidth()) ? double(x) - m_editor->m_dragX : 0.0;
            const double dy = (0 < y && y < m_container->shownHeight()) ? double(y) - m_editor->m_dragY : 0.0;
            const zv::Poly& p = m_store->polys()[m_editor->m_activePoly];
            for (int k = p.StartLine; k < p.StartLine + p.Pt.size() && k < m_store->lineCount(); ++k) {
                zv::PolyStore::Edge& e = m_store->lines()[k];
                e.x1 += dx;
                e.x2 += dx;
                e.y1 += dy;
                e.y2 += dy;
            }
            m_editor->m_dragShiftX += dx;
            m_editor->m_dragShiftY += dy;
            m_editor->m_dragX = x;
            m_editor->m_dragY = y;
            m_container->update();
            break;
        }
        case Mode::MoveVertex: m_editor->moveVertexTo(x, y); break;
        default: break;
        }
        return;
    }
    if (m_editor->m_mode == Mode::Drawing) {
        if (m_editor->m_drawCount > 0 && m_editor->m_drawIndex >= 0 && m_editor->m_drawIndex < m_store->polys().size()) {
            const int k = m_store->polys()[m_editor->m_drawIndex].StartLine + m_editor->m_drawCount - 1;
            if (k < m_store->lineCount()) {
                zv::PolyStore::Edge& band = m_store->lines()[size_t(k)];  // the drawing's last edge, wherever the host put others
                band.x2 = x;
                band.y2 = y;
                m_container->update();
            }
        }
        return;
    }
    try {
        hover(x, y);
    } catch (...) {
    }
    emit m_map->MouseMove(qint16(buttons), qint16(shift), x, y);
}

void MapPointer::hover(float x, float y)
{
    if (!m_store->hasPolygons()) return;
    const int i = m_store->hitTest(x, y);
    if (i < 0) {
        hideTip();
        return;
    }
    QString tip;
    emit m_map->PolyMouseOver(m_store->polys()[i].ID, tip);
    if (tip.isEmpty()) {
        hideTip();
        return;
    }
    if (tip != m_tip->text() || m_tip->isHidden()) {
        // A hidden tip with the same text is shown again for this polygon, at the pointer.
        if (tip != m_tip->text()) m_tip->setText(tip);
        m_tip->adjustSize();
        m_tipIndex = i;
        m_tipX = double(x) + 40;
        m_tipY = double(y) - 220;
        if (!m_timer->isActive()) m_timer->start();
        placeTip();
        m_tip->show();
        m_tip->raise();
    }
}

void MapPointer::placeTip()
{
    if (m_tip) m_tip->move(int(zv::rte((m_tipX + m_container->left()) / 15.0)), int(zv::rte((m_tipY + m_container->top()) / 15.0)));
}

void MapPointer::hideTip()
{
    if (m_tip) m_tip->hide();
}

void MapPointer::timerTick()
{
    m_tip->hide();
    m_timer->stop();
}

void MapPointer::tipPressed(int, int shift)
{
    // A stale index (the store changed under the tip) reports nothing.
    if (!m_store->hasPolygons() || m_tip->isHidden() || m_tipIndex < 0 || m_tipIndex >= m_store->polys().size()) return;
    const int i = m_tipIndex;
    if (m_store->pVisible()) m_store->widen(i);
    emit m_map->PolyHit(m_store->polys()[i].ID, qint16(shift));
}

void MapPointer::surfaceRelease(int button, int shift, float x, float y)
{
    if (m_editor->m_dragging) {
        m_editor->m_dragging = false;
        switch (m_editor->m_mode) {
        case Mode::MovePoly: {
            const int i = m_editor->m_activePoly;
            if (i < 0 || i >= m_store->polys().size()) break;
            m_editor->rebuildPointsFromEdges(i);
            m_store->makeRegion(m_store->polys()[i].Pt, i);
            if (m_editor->m_savedShading > 0) m_store->shade(m_store->polys()[i].ID, m_editor->m_savedShading);
            const qint32 id = m_store->polys()[i].ID;
            const QVector<zv::Point> pts = m_store->polys()[i].Pt;
            m_editor->returnToPanOrNormal();
            emit m_map->PolyMoved(id, pts);
            break;
        }
        case Mode::MoveVertex: {
            const int i = m_editor->m_activePoly;
            if (m_editor->m_activePoint == -1 || i < 0 || i >= m_store->polys().size()) break;
            m_store->makeRegion(m_store->polys()[i].Pt, i);
            if (m_editor->m_savedShading > 0) m_store->shade(m_store->polys()[i].ID, m_editor->m_savedShading);
            const qint32 id = m_store->polys()[i].ID;
            const QVector<zv::Point> pts = m_store->polys()[i].Pt;
            m_editor->returnToPanOrNormal();
            emit m_map->PointMoved(id, pts);
            break;
        }
        case Mode::PanDrag: m_editor->setMode(Mode::Pan); break;
        default: break;
        }
        return;
    }
    emit m_map->MouseUp(qint16(button), qint16(shift), x, y);
}

void MapPointer::surfaceClick()
{
    const bool skip = m_skipClick;
    m_skipClick = false;
    if (!skip) emit m_map->Click();
}

void MapPointer::ownPress(QMouseEvent* e)
{
    e->accept();
    try {
        m_ownPressed = e->button() == Qt::LeftButton;
        emit m_map->MouseDown(qint16(buttonCode(e->button())), qint16(shiftCode(e->modifiers())), pxToTw(e->position().x()),
                       pxToTw(e->position().y()));
    } catch (...) {
    }
}

void MapPointer::ownMove(QMouseEvent* e)
{
    e->accept();
    try {
        emit m_map->MouseMove(qint16(buttonsCode(e->buttons())), qint16(shiftCode(e->modifiers())), pxToTw(e->position().x()),
                       pxToTw(e->position().y()));
    } catch (...) {
    }
}

void MapPointer::ownRelease(QMouseEvent* e)
{
    e->accept();
    try {
        const bool click = m_ownPressed && e->button() == Qt::LeftButton && m_map->rect().contains(e->position().toPoint());
        if (e->button() == Qt::LeftButton) m_ownPressed = false;
        emit m_map->MouseUp(qint16(buttonCode(e->button())), qint16(shiftCode(e->modifiers())), pxToTw(e->position().x()),
                     pxToTw(e->position().y()));
        if (click) emit m_map->Click();
    } catch (...) {
    }
}

void MapPointer::ownDoubleClick(QMouseEvent* e)
{
    e->accept();
    try {
        emit m_map->DblClick();
    } catch (...) {
    }
}

void MapPointer::keyPress(QKeyEvent* e)
{
    e->accept();
    try {
        emit m_map->KeyDown(qint16(virtualKey(e->key())), qint16(shiftCode(e->modifiers())));
        const QString t = e->text();
        if (!t.isEmpty() && t.at(0).unicode() < 256) emit m_map->KeyPress(qint16(t.at(0).unicode()));
    } catch (...) {
    }
}

void MapPointer::keyRelease(QKeyEvent* e)
{
    e->accept();
    try {
        emit m_map->KeyUp(qint16(virtualKey(e->key())), qint16(shiftCode(e->modifiers())));
    } catch (...) {
    }
}

MapTipLabel::MapTipLabel(MapPointer* pointer, ZVMap* map, QWidget* parent) : QLabel(parent), m_pointer(pointer)
{
    setObjectName(QStringLiteral("lblToolTip"));
    setTextFormat(Qt::PlainText);  // the host's text as written, never markup
    setAutoFillBackground(true);
    setFrameShape(QFrame::Box);
    setMargin(1);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, zv::oleToColor(0x80000005, map->palette()));
    pal.setColor(QPalette::WindowText, zv::oleToColor(0x80000008, map->palette()));
    setPalette(pal);
    hide();
}

void MapTipLabel::mousePressEvent(QMouseEvent* e)
{
    e->accept();
    try {
        m_pointer->tipPressed(buttonCode(e->button()), shiftCode(e->modifiers()));
    } catch (...) {
    }
}

void MapTipLabel::mouseReleaseEvent(QMouseEvent* e) { e->accept(); }

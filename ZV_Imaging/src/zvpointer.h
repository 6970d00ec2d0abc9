#pragma once
// Pointer input of the map control: presses, moves and releases on the viewport (routed to the picture
// surface or the viewport), on the control's own surface and on the hover tip, keys, and the hover tip
// with its timer. What a press means in each mode is the editor's; the events go to the host.

#include "zvmap.h"

#include <QLabel>

class MapEditor;
class MapViewport;
class MapPointer;
class QTimer;
namespace zv {
class PolyStore;
}

// A plain QLabel ignores presses, which would then fall through to the surface.
class MapTipLabel : public QLabel {
public:
    MapTipLabel(MapPointer* pointer, ZVMap* map, QWidget* parent);

protected:
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

private:
    MapPointer* m_pointer;
};

class MapPointer {
public:
    MapPointer(ZVMap* map, zv::PolyStore* store, MapViewport* view, MapEditor* editor);

    // the viewport's events
    void viewportPress(QMouseEvent* e);
    void viewportMove(QMouseEvent* e);
    void viewportRelease(QMouseEvent* e);
    // the control's own surface
    void ownPress(QMouseEvent* e);
    void ownMove(QMouseEvent* e);
    void ownRelease(QMouseEvent* e);
    void ownDoubleClick(QMouseEvent* e);
    void keyPress(QKeyEvent* e);
    void keyRelease(QKeyEvent* e);

    void skipNextClick() { m_skipClick = true; }
    void placeTip();
    void hideTip();
    void reset();  // tip hidden and forgotten, timer stopped
    void tipPressed(int button, int shift);

private:
    void surfacePress(int button, int shift, float x, float y);
    void surfaceMove(int buttons, int shift, float x, float y);
    void surfaceRelease(int button, int shift, float x, float y);
    void surfaceClick();
    void hover(float x, float y);
    void timerTick();

    ZVMap* m_map;
    zv::PolyStore* m_store;
    MapViewport* m_container;
    MapEditor* m_editor;
    MapTipLabel* m_tip = nullptr;  // lblToolTip
    QTimer* m_timer = nullptr;     // Timer1
    bool m_skipClick = false;
    int m_tipIndex = -1;
    double m_tipX = 0, m_tipY = 0;
    // press target of the viewport until release: 0 none, 1 picture surface, 2 container
    int m_pressTarget = 0;
    int m_pressButton = 0;
    bool m_ownPressed = false;
};

#pragma once
// Child parts of ZVMap: the viewport that paints the visible part of the picture surface, and the
// hover tip label (a plain QLabel ignores presses, which would then fall through to the surface).

#include "zvmap.h"

#include <QLabel>
#include <QWidget>

class MapViewport : public QWidget {
public:
    explicit MapViewport(ZVMap* map);

protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;

private:
    ZVMap* m_map;
};

class MapTipLabel : public QLabel {
public:
    MapTipLabel(ZVMap* map, QWidget* parent);

protected:
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

private:
    ZVMap* m_map;
};

#pragma once
// The hover tip label of ZVMap (a plain QLabel ignores presses, which would then fall through to the surface).

#include "zvmap.h"

#include <QLabel>
#include <QWidget>

class MapTipLabel : public QLabel {
public:
    MapTipLabel(ZVMap* map, QWidget* parent);

protected:
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

private:
    ZVMap* m_map;
};

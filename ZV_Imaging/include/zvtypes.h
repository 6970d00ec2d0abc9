#pragma once
// The records and helpers that cross the map control's interface. Qt Core and Gui only, so that the
// polygon store can use them without any widget.

#include "zvimaging_global.h"

#include <QColor>
#include <QPalette>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QVector>

#include <stdexcept>

namespace zv {

// A polygon vertex in picture coordinates (twips at 100 %).
struct Point {
    qint32 x = 0;
    qint32 y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

// One polygon of the control. StartLine and Shading belong to the control; SetPoly ignores them.
struct Poly {
    qint32 ID = 0;
    qint32 StartLine = 0;  // first edge element; 32-bit so that more than 32768 edges fit
    QVector<Point> Pt;     // outline closes from the last vertex back to the first
    qint16 Shading = 0;    // 0 none, 1 warning, 2 critical
};

// Failure raised to the host by a public method (number as the platform's error numbers).
class ZVIMAGING_EXPORT Error : public std::runtime_error {
public:
    Error(int number, const QString& text);
    int number() const { return m_number; }
    QString text() const { return m_text; }

private:
    int m_number;
    QString m_text;
};

// Read-only view of one edge element (element k of the edge array), display coordinates.
struct Line {
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    int width = 1;
    quint32 color = 0;
    bool visible = false;
};

// A batch of shading dots (display coordinates) in one colour.
struct DotBatch {
    quint32 color = 0;
    QRect bounds;
    QVector<QPoint> points;
};

// BGR value (or system colour 0x800000nn) to a QColor, system colours taken from the palette.
ZVIMAGING_EXPORT QColor oleToColor(quint32 ole, const QPalette& palette);

}  // namespace zv

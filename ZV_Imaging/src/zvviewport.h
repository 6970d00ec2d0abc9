#pragma once
// The viewport of the map control (`picContainer`): the picture at its zoom, the two scroll bars, the
// scrolling offset, and the painting of the visible part of the picture surface with its dots,
// outlines and markers. Pointer events on it go to the control's pointer input.

#include "zvmap.h"
#include "zvpolystore.h"

#include <QImage>
#include <QWidget>

class QScrollBar;
class QTimer;
class ZVMap;

// Pixel positions times 15 pick up float noise; whole twips stay whole.
inline float pxToTw(double px)
{
    const double tw = px * 15.0;
    const double r = std::nearbyint(tw);
    return float(std::abs(tw - r) < 1e-3 ? r : tw);
}

constexpr double kMarkerSize = 135.0;  // the insertion tool's vertex markers, twips

class MapViewport : public QWidget {
public:
    MapViewport(ZVMap* map, zv::PolyStore* store);

    // picture
    QString imageText() const { return m_imageText; }
    const QImage& picture() const { return m_img; }
    QSize pictureSize() const { return m_pxSize; }  // natural size, pixels
    qint64 decodeLimit() const { return m_decodeLimit; }
    // True when the part on screen shows all the detail the zoom asks for (decoded, or not needed).
    bool detailShown() const;
    void setDecodeLimit(qint64 pixels) { m_decodeLimit = pixels > 0 ? pixels : 1; }
    void setImage(const QString& path);  // throws zv::Error when the file cannot be loaded; the text stays
    void readImage(const QString& path);  // the same, silent: a missing or bad file leaves no picture change
    void clearImage();
    void zoom(qint16 percent);
    void resetZoom();  // factor and scroll units 1, as after reading the properties

    // scrolling
    void layoutParts();
    void syncSurfaceFromBars();
    void scrollToPoly(int i);
    void panBy(double fromX, double fromY, double toX, double toY);
    double left() const { return m_left; }
    double top() const { return m_top; }
    qint16 unitX() const { return m_unitX; }
    qint16 unitY() const { return m_unitY; }
    double shownWidth() const { return m_imgW; }  // displayed picture size, twips
    double shownHeight() const { return m_imgH; }
    zv::PolyStore::View visible() const { return {-m_left, -m_top, m_contW, m_contH}; }
    void picCoordinates(float& startX, float& startY, qint32& picWidth, qint32& picHeight) const;
    void imgSize(qint32& w, qint32& h) const;

    QPointF displayFromViewportPx(const QPointF& px) const;
    bool onPicture(const QPointF& d) const { return d.x() >= 0 && d.y() >= 0 && d.x() < m_imgW && d.y() < m_imgH; }

protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;

private:
    void paintSurface(QPainter& p, const QRect& exposed);
    void takePicture(const QImage& im, QSize natural);
    QImage decodeOverview(const QString& path, QSize& natural) const;
    void paintDetail(QPainter& p, const QRectF& picPx);
    bool detailWanted(QRect& wanted, double& scale) const;
    void decodeDetail();

    // A picture larger than the decode limit is held scaled down; the part on screen is decoded
    // again at the detail shown when the zoom asks for more than the scaled picture has.
    struct Detail {
        QImage image;
        QRect source;       // natural pixels it covers
        double scale = 0;   // its pixels per natural pixel
        bool failed = false;  // the file gives no parts: the scaled picture is all there is
    };

    ZVMap* m_map;
    zv::PolyStore* m_store;
    QScrollBar* m_hbar = nullptr;  // HScroll1
    QScrollBar* m_vbar = nullptr;  // VScroll1
    QString m_imageText;
    QImage m_img;  // whole, or scaled down to within m_decodeLimit
    QSize m_pxSize;
    qint64 m_decodeLimit = ZVMap::kDefaultDecodeLimit;
    Detail m_detail;
    QTimer* m_detailTimer = nullptr;
    qint32 m_natW = 0, m_natH = 0;  // twips at 100 %
    double m_imgW = 0, m_imgH = 0;  // displayed size, twips
    qint16 m_unitX = 1, m_unitY = 1;
    double m_left = 0, m_top = 0;
    double m_contW = 0, m_contH = 0;
};

#pragma once
// ZVMap: a picture in a scrolling viewport with zoom and pan, carrying polygons that the host
// identifies by its own 32-bit IDs. Hosts include only this header.
//
// Units: every coordinate and length is in twips (15 per logical pixel). Picture coordinates are
// twips of the picture at 100 %; display coordinates are picture coordinates times ZoomFactor,
// measured from the top-left corner of the displayed picture (independent of scrolling).
// Conversions round halves to the even neighbour.
// Colours are 32-bit BGR values (0x00BBGGRR); 0x800000nn names a system colour.
//
// Events are Qt signals. Those with reference out-arguments (PolyIdentified, PolyMouseOver) must be
// connected directly (same thread): the control reads the written values back when the slot returns.
// Public methods report failures by throwing zv::Error; nothing ever leaves an event handler of the control.

#include "zvimaging_global.h"
#include "zvtypes.h"

#include <QFont>
#include <QImage>
#include <QList>
#include <QPair>
#include <QPixmap>
#include <QPolygon>
#include <QString>
#include <QVariant>
#include <QVector>
#include <QWidget>

#include <functional>
#include <memory>
#include <stdexcept>
#include <vector>

class QScrollBar;
class QTimer;
class QLabel;


class MapViewport;
class MapEditor;
class MapPointer;
namespace zv {
class PolyStore;
}

class ZVIMAGING_EXPORT ZVMap : public QWidget {
    Q_OBJECT
    Q_PROPERTY(quint32 BackColor READ BackColor WRITE setBackColor)
    Q_PROPERTY(quint32 ForeColor READ ForeColor WRITE setForeColor)
    Q_PROPERTY(bool Enabled READ Enabled WRITE setEnabled)
    Q_PROPERTY(QString ToolTipText READ ToolTipText WRITE setToolTipText)
    Q_PROPERTY(qint16 BackStyle READ BackStyle WRITE setBackStyle)
    Q_PROPERTY(qint16 BorderStyle READ BorderStyle WRITE setBorderStyle)
    Q_PROPERTY(qint16 Appearance READ Appearance WRITE setAppearance)
    Q_PROPERTY(qint16 DrawWidth READ DrawWidth WRITE setDrawWidth)
    Q_PROPERTY(QString Image READ Image WRITE setImage)
    Q_PROPERTY(qint16 MousePointer READ MousePointer WRITE setMousePointer)
    Q_PROPERTY(bool PVisible READ PVisible WRITE setPVisible)

public:
    static constexpr const char* ClassId = "ZVImaging.ZVMap";

    // Interaction mode of the picture surface.
    enum class Mode { Normal, Drawing, Pan, PanDrag, MovePoly, MoveVertex, DeleteVertex, InsertChoose, InsertPlace };

    explicit ZVMap(QWidget* parent = nullptr);
    ~ZVMap() override;

    // ---- properties -------------------------------------------------------------------------
    quint32 BackColor() const { return m_backColor; }
    void setBackColor(quint32 c);
    quint32 ForeColor() const { return m_foreColor; }
    void setForeColor(quint32 c);  // also recolours every edge
    bool Enabled() const { return isEnabled(); }
    void setEnabled(bool on);
    QString ToolTipText() const { return m_toolTipText; }
    void setToolTipText(const QString& t);
    QFont Font() const { return font(); }
    void setFont(const QFont& f);
    zv::Poly Poly(qint32 index) const;  // store entry at that position; bad position -> empty record
    qint16 BackStyle() const { return m_backStyle; }
    void setBackStyle(qint16 v);
    qint16 BorderStyle() const { return m_borderStyle; }
    void setBorderStyle(qint16 v);
    qint16 Appearance() const { return m_appearance; }
    void setAppearance(qint16 v);
    // The loaded picture as decoded: at its natural size when that is within DecodeLimit pixels,
    // else scaled down to within it (the part on screen is then decoded again at the detail shown).
    QImage Picture() const;
    QSize PictureSize() const;  // natural size in pixels, from the file's header
    static constexpr qint64 kDefaultDecodeLimit = 40'000'000;
    qint64 DecodeLimit() const;
    void setDecodeLimit(qint64 pixels);  // applies from the next picture loaded
    // True once the part on screen shows the detail the zoom asks for: a part of a picture held
    // scaled down is decoded a moment after the view comes to rest.
    bool DetailShown() const;
    qint16 DrawWidth() const;
    void setDrawWidth(qint16 w);  // clamped to 1..5
    QString Image() const;
    void setImage(const QString& path);  // throws zv::Error when the file cannot be loaded
    void ClearImage();                   // no picture at all, as before the first setImage
    QPixmap MouseIcon() const { return m_mouseIcon; }
    void setMouseIcon(const QPixmap& icon);
    qint16 MousePointer() const { return m_mousePointer; }
    void setMousePointer(qint16 p);
    bool PVisible() const;
    void setPVisible(bool v);

    // Persistence: a missing name reads as its default; values equal to their default are not written.
    void ReadProperties(const QVariantMap& bag);
    QList<QPair<QString, QVariant>> WriteProperties() const;

    // ---- methods ------------------------------------------------------------------------------
    void Refresh();
    void PopupMenu(QObject* Menu, const QVariant& FLAGS = {}, const QVariant& x = {}, const QVariant& y = {},
                   const QVariant& DefaultMenu = {});  // accepted and ignored
    void DrawPoly();
    void Pan(bool PanOn);
    void Zoom(qint16 ZoomPercent);  // percentages <= 0 are ignored
    void SetPoly(qint32 ID, const zv::Poly& Point);  // appends; throws zv::Error on an empty point list
    void Delete(qint32 ID);  // removes the last entry with this ID
    // Empties the control in one step: every polygon with its edges, regions and shading. Hides the tip and
    // drops any drawing or drag under way; raises no event.
    void Clear();
    void PolyMove();
    void Cancel();
    void Copy(qint32 PolyID);
    void Paste(qint32 NewPolyID);
    // Visible part: StartX/StartY picture coordinates of the visible top-left corner; PicWidth/PicHeight display sizes.
    void PicCoordinates(float& StartX, float& StartY, qint32& PicWidth, qint32& PicHeight) const;
    void ImgSize(qint32& imgWidth, qint32& imgHeight) const;  // displayed picture size
    void HighlightPoly(qint32 ID);
    void HighlightInvisPoly(qint32 ID);
    void MovePoint();
    void DeletePoint();
    void AddPoint();
    void ShadePoly(qint32 ID, qint16 ShadingLevel);  // 0 clears, 1 warning, 2 critical

    // ---- state for hosts, diagnostics and tests --------------------------------------------
    float ZoomFactor() const;
    qint16 ScrollUnitX() const;
    qint16 ScrollUnitY() const;
    double SurfaceLeft() const;  // left of the picture surface in the viewport (<= 0)
    double SurfaceTop() const;
    Mode mode() const;
    bool PanOn() const;
    bool StoreEmpty() const;
    int PolyCount() const;
    int LineCount() const;
    zv::Line Line(int k) const;
    // Every dot of every shaded polygon, in paint order; made on each call (the reference is valid until the next).
    const QVector<zv::DotBatch>& ShadeDots() const;
    bool MarkerVisible(int i) const;
    QPointF MarkerCentre(int i) const;  // display coordinates
    int HitTest(float x, float y) const;  // store index of the first polygon containing a display point, -1 none
    zv::Point PictureFromDisplay(float x, float y) const;  // display -> picture, halves to even
    // Where a message of the control goes; the default shows a warning box.
    void setMessageHandler(std::function<void(const QString& title, const QString& text)> handler);

signals:
    void Click();
    void DblClick();
    void KeyDown(qint16 KeyCode, qint16 Shift);
    void KeyPress(qint16 KeyAscii);
    void KeyUp(qint16 KeyCode, qint16 Shift);
    // Button: 1 left, 2 right, 4 middle; Shift: 1 Shift, 2 Ctrl, 4 Alt. On the picture: display coordinates.
    void MouseDown(qint16 Button, qint16 Shift, float x, float y);
    void MouseMove(qint16 Button, qint16 Shift, float x, float y);
    void MouseUp(qint16 Button, qint16 Shift, float x, float y);
    // A drawn polygon was closed: write OutID (the new polygon's ID) or set Cancel to drop it. Direct connection.
    void PolyIdentified(qint32& OutID, const QVector<zv::Point>& Points, bool& Cancel);
    void PolyHit(qint32 ID, qint16 Shift);
    void PolyMoved(qint32 ID, const QVector<zv::Point>& NewPoints);
    void PolyPasted(qint32 ID, const QVector<zv::Point>& Points);
    // The pointer is over a polygon: write the tool tip text (empty: none). Direct connection.
    void PolyMouseOver(qint32 ID, QString& ToolTip);
    void PointMoved(qint32 PolyID, const QVector<zv::Point>& NewPoints);
    void PropertyChanged(const QString& name);

protected:
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void keyReleaseEvent(QKeyEvent* e) override;

private:
    friend class MapViewport;

    // the viewport's pointer events go to the pointer input
    void viewportPress(QMouseEvent* e);
    void viewportMove(QMouseEvent* e);
    void viewportRelease(QMouseEvent* e);
    void applyMousePointer();

    // properties of the control's own surface
    quint32 m_backColor = 0x8000000F;
    quint32 m_foreColor = 0x80000012;
    QString m_toolTipText;
    qint16 m_backStyle = 1;
    qint16 m_borderStyle = 0;
    qint16 m_appearance = 1;
    QPixmap m_mouseIcon;
    qint16 m_mousePointer = 0;

    // its parts
    std::unique_ptr<zv::PolyStore> m_store;    // polygons, edges, regions, shading, hit index
    MapViewport* m_container = nullptr;        // picContainer: picture, zoom, scrolling, painting
    std::unique_ptr<MapEditor> m_editor;       // modes and editing
    std::unique_ptr<MapPointer> m_pointer;     // pointer input and the hover tip
};

#include "zvmap.h"
#include "zveditor.h"
#include "zvpointer.h"
#include "zvpolystore.h"
#include "zvviewport.h"

#include <QApplication>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

Qt::CursorShape pointerShape(int mp)
{
    switch (mp) {
    case 2: return Qt::CrossCursor;
    case 3: return Qt::IBeamCursor;
    case 5:
    case 15: return Qt::SizeAllCursor;
    case 6: return Qt::SizeBDiagCursor;
    case 7: return Qt::SizeVerCursor;
    case 8: return Qt::SizeFDiagCursor;
    case 9: return Qt::SizeHorCursor;
    case 10: return Qt::UpArrowCursor;
    case 11: return Qt::WaitCursor;
    case 12: return Qt::ForbiddenCursor;
    case 13: return Qt::BusyCursor;
    default: return Qt::ArrowCursor;
    }
}

}  // namespace

// ============================================================================================
// Construction and properties

ZVMap::ZVMap(QWidget* parent) : QWidget(parent)
{
    m_store = std::make_unique<zv::PolyStore>();
    m_container = new MapViewport(this, m_store.get());
    m_editor = std::make_unique<MapEditor>(this, m_store.get(), m_container);
    m_pointer = std::make_unique<MapPointer>(this, m_store.get(), m_container, m_editor.get());
    m_editor->setPointer(m_pointer.get());
    m_store->setListener(m_editor.get());
    setMouseTracking(true);
    resize(320, 240);
    ReadProperties({});
}

ZVMap::~ZVMap()
{
    m_store->setListener(nullptr);
}

QImage ZVMap::Picture() const { return m_container->picture(); }
QSize ZVMap::PictureSize() const { return m_container->pictureSize(); }
qint64 ZVMap::DecodeLimit() const { return m_container->decodeLimit(); }
void ZVMap::setDecodeLimit(qint64 pixels) { m_container->setDecodeLimit(pixels); }
bool ZVMap::DetailShown() const { return m_container->detailShown(); }
qint16 ZVMap::DrawWidth() const { return m_store->drawWidth(); }
QString ZVMap::Image() const { return m_container->imageText(); }
bool ZVMap::PVisible() const { return m_store->pVisible(); }
float ZVMap::ZoomFactor() const { return m_store->zoom(); }
qint16 ZVMap::ScrollUnitX() const { return m_container->unitX(); }
qint16 ZVMap::ScrollUnitY() const { return m_container->unitY(); }
double ZVMap::SurfaceLeft() const { return m_container->left(); }
double ZVMap::SurfaceTop() const { return m_container->top(); }
ZVMap::Mode ZVMap::mode() const { return m_editor->mode(); }
bool ZVMap::PanOn() const { return m_editor->panOn(); }
bool ZVMap::StoreEmpty() const { return m_store->storeEmpty(); }
int ZVMap::PolyCount() const { return m_store->count(); }
int ZVMap::LineCount() const { return m_store->lineCount(); }

void ZVMap::setBackColor(quint32 c)
{
    m_backColor = c;
    update();
    emit PropertyChanged(QStringLiteral("BackColor"));
}

void ZVMap::setForeColor(quint32 c)
{
    m_foreColor = c;
    m_store->setLineColor(c);
    m_container->update();
    emit PropertyChanged(QStringLiteral("ForeColor"));
}

void ZVMap::setEnabled(bool on)
{
    QWidget::setEnabled(on);
    emit PropertyChanged(QStringLiteral("Enabled"));
}

void ZVMap::setToolTipText(const QString& t)
{
    // Belongs to the hidden picture holder: never shown.
    m_toolTipText = t;
    emit PropertyChanged(QStringLiteral("ToolTipText"));
}

void ZVMap::setFont(const QFont& f)
{
    QWidget::setFont(f);
    emit PropertyChanged(QStringLiteral("Font"));
}

zv::Poly ZVMap::Poly(qint32 index) const
{
    if (!m_store->hasPolygons() || index < 0 || index >= m_store->polys().size()) return {};
    return m_store->polys()[index];
}

void ZVMap::setBackStyle(qint16 v)
{
    m_backStyle = v;
    update();
    emit PropertyChanged(QStringLiteral("BackStyle"));
}

void ZVMap::setBorderStyle(qint16 v)
{
    m_borderStyle = v;
    m_container->layoutParts();
    update();
    emit PropertyChanged(QStringLiteral("BorderStyle"));
}

void ZVMap::setAppearance(qint16 v)
{
    m_appearance = v;
    update();
    emit PropertyChanged(QStringLiteral("Appearance"));
}

void ZVMap::setDrawWidth(qint16 w)
{
    m_store->setDrawWidth(std::clamp<qint16>(w, 1, 5));
    m_store->restyleWidths();
    m_container->update();
    emit PropertyChanged(QStringLiteral("DrawWidth"));
}

void ZVMap::setMouseIcon(const QPixmap& icon)
{
    m_mouseIcon = icon;
    applyMousePointer();
    emit PropertyChanged(QStringLiteral("MouseIcon"));
}

void ZVMap::setMousePointer(qint16 p)
{
    m_mousePointer = p;
    applyMousePointer();
    emit PropertyChanged(QStringLiteral("MousePointer"));
}

void ZVMap::applyMousePointer()
{
    if (m_mousePointer == 0)
        unsetCursor();
    else if (m_mousePointer == 99 && !m_mouseIcon.isNull())
        setCursor(QCursor(m_mouseIcon));
    else
        setCursor(pointerShape(m_mousePointer));
}

void ZVMap::setPVisible(bool v)
{
    m_store->setPVisible(v);
    m_store->redraw();
}

namespace {
QFont ambientFont(const QWidget* w)
{
    return w->parentWidget() ? w->parentWidget()->font() : QApplication::font();
}
}  // namespace

void ZVMap::ReadProperties(const QVariantMap& bag)
{
    auto get = [&bag](const char* name, const QVariant& def) {
        const auto it = bag.constFind(QLatin1String(name));
        return it == bag.constEnd() ? def : it.value();
    };
    m_backColor = get("BackColor", 0x8000000Fu).toUInt();
    m_foreColor = get("ForeColor", 0x80000012u).toUInt();  // the surface only; edges keep the template colour
    QWidget::setEnabled(get("Enabled", true).toBool());
    const QVariant f = get("Font", QVariant());
    QWidget::setFont(f.canConvert<QFont>() && f.isValid() ? f.value<QFont>() : ambientFont(this));
    m_backStyle = qint16(get("BackStyle", 1).toInt());
    m_borderStyle = qint16(get("BorderStyle", 0).toInt());
    m_appearance = qint16(get("Appearance", 1).toInt());
    m_store->setDrawWidth(qint16(get("DrawWidth", 1).toInt()));  // as stored, not clamped
    m_toolTipText = get("ToolTipText", QString()).toString();
    const QString image = get("Image", QString()).toString();
    const QVariant icon = get("MouseIcon", QVariant());
    m_mouseIcon = icon.isValid() ? icon.value<QPixmap>() : QPixmap();
    m_mousePointer = qint16(get("MousePointer", 0).toInt());
    m_store->setPVisible(get("PVisible", true).toBool());
    applyMousePointer();

    m_container->readImage(image);  // a missing file: no picture, no error
    m_container->resetZoom();
    m_container->layoutParts();
    update();
    m_container->update();
}

QList<QPair<QString, QVariant>> ZVMap::WriteProperties() const
{
    QList<QPair<QString, QVariant>> out;
    auto put = [&out](const char* name, const QVariant& v, bool isDefault) {
        if (!isDefault) out.append({QString::fromLatin1(name), v});
    };
    put("BackColor", m_backColor, m_backColor == 0x8000000Fu);
    put("ForeColor", m_foreColor, m_foreColor == 0x80000012u);
    put("Enabled", isEnabled(), isEnabled());
    put("Font", font(), font() == ambientFont(this));
    put("BackStyle", int(m_backStyle), m_backStyle == 1);
    put("BorderStyle", int(m_borderStyle), m_borderStyle == 0);
    put("Appearance", int(m_appearance), m_appearance == 1);
    put("DrawWidth", int(m_store->drawWidth()), m_store->drawWidth() == 1);
    const QString image = m_container->imageText();
    put("Image", image, image.isEmpty());
    put("MouseIcon", m_mouseIcon, m_mouseIcon.isNull());
    put("MousePointer", int(m_mousePointer), m_mousePointer == 0);
    put("PVisible", m_store->pVisible(), m_store->pVisible());
    put("ToolTipText", m_toolTipText, m_toolTipText.isEmpty());
    return out;
}

void ZVMap::Refresh()
{
    update();
    m_container->update();
}

void ZVMap::PopupMenu(QObject*, const QVariant&, const QVariant&, const QVariant&, const QVariant&) {}

void ZVMap::setMessageHandler(std::function<void(const QString&, const QString&)> handler)
{
    m_editor->setMessageHandler(std::move(handler));
}

// ============================================================================================
// Modes and editing

void ZVMap::DrawPoly() { m_editor->DrawPoly(); }
void ZVMap::PolyMove() { m_editor->PolyMove(); }
void ZVMap::MovePoint() { m_editor->MovePoint(); }
void ZVMap::DeletePoint() { m_editor->DeletePoint(); }
void ZVMap::AddPoint() { m_editor->AddPoint(); }
void ZVMap::Pan(bool PanOn) { m_editor->Pan(PanOn); }
void ZVMap::Cancel() { m_editor->Cancel(); }
void ZVMap::Copy(qint32 PolyID) { m_editor->Copy(PolyID); }
void ZVMap::Paste(qint32 NewPolyID) { m_editor->Paste(NewPolyID); }

// ============================================================================================
// Pointer input

void ZVMap::viewportPress(QMouseEvent* e) { m_pointer->viewportPress(e); }
void ZVMap::viewportMove(QMouseEvent* e) { m_pointer->viewportMove(e); }
void ZVMap::viewportRelease(QMouseEvent* e) { m_pointer->viewportRelease(e); }
void ZVMap::mousePressEvent(QMouseEvent* e) { m_pointer->ownPress(e); }
void ZVMap::mouseMoveEvent(QMouseEvent* e) { m_pointer->ownMove(e); }
void ZVMap::mouseReleaseEvent(QMouseEvent* e) { m_pointer->ownRelease(e); }
void ZVMap::mouseDoubleClickEvent(QMouseEvent* e) { m_pointer->ownDoubleClick(e); }
void ZVMap::keyPressEvent(QKeyEvent* e) { m_pointer->keyPress(e); }
void ZVMap::keyReleaseEvent(QKeyEvent* e) { m_pointer->keyRelease(e); }

// ============================================================================================
// The polygon store

zv::Line ZVMap::Line(int k) const { return m_store->line(k); }

void ZVMap::SetPoly(qint32 ID, const zv::Poly& Point) { m_store->add(ID, Point.Pt); }

void ZVMap::Delete(qint32 ID) { m_store->deleteLast(ID); }

void ZVMap::Clear()
{
    // Gestures first: nothing may point into the store once it is gone.
    m_editor->dropGestures();
    m_store->clear();
    m_pointer->reset();
    m_container->update();
}

void ZVMap::HighlightPoly(qint32 ID)
{
    const int i = m_store->firstIndexOf(ID);
    if (i < 0) return;
    m_pointer->skipNextClick();
    if (m_store->highlight(i, m_container->visible())) m_container->scrollToPoly(i);
}

void ZVMap::HighlightInvisPoly(qint32 ID)
{
    const int i = m_store->firstIndexOf(ID);
    if (i < 0) return;
    m_pointer->skipNextClick();
    if (m_store->highlightAlone(i, m_container->visible())) m_container->scrollToPoly(i);
}

const QVector<zv::DotBatch>& ZVMap::ShadeDots() const { return m_store->dots(); }

void ZVMap::ShadePoly(qint32 ID, qint16 ShadingLevel) { m_store->shade(ID, ShadingLevel); }

int ZVMap::HitTest(float x, float y) const { return m_store->hitTest(x, y); }

zv::Point ZVMap::PictureFromDisplay(float x, float y) const
{
    const float z = m_store->zoom();
    return {qint32(zv::rte(x / z)), qint32(zv::rte(y / z))};
}

bool ZVMap::MarkerVisible(int i) const { return i >= 0 && i < 2 && m_editor->marker(i).visible; }

QPointF ZVMap::MarkerCentre(int i) const
{
    if (i < 0 || i >= 2) return {};
    const MapEditor::Marker& m = m_editor->marker(i);
    return {m.left + kMarkerSize / 2, m.top + kMarkerSize / 2};
}

// ============================================================================================
// Viewport: picture, zoom, scrolling

void ZVMap::setImage(const QString& path)
{
    m_container->setImage(path);
    emit PropertyChanged(QStringLiteral("Image"));
}

void ZVMap::ClearImage()
{
    m_container->clearImage();
    emit PropertyChanged(QStringLiteral("Image"));
}

void ZVMap::Zoom(qint16 ZoomPercent) { m_container->zoom(ZoomPercent); }

void ZVMap::PicCoordinates(float& StartX, float& StartY, qint32& PicWidth, qint32& PicHeight) const
{
    m_container->picCoordinates(StartX, StartY, PicWidth, PicHeight);
}

void ZVMap::ImgSize(qint32& imgWidth, qint32& imgHeight) const { m_container->imgSize(imgWidth, imgHeight); }

void ZVMap::resizeEvent(QResizeEvent*)
{
    try {
        m_container->layoutParts();
    } catch (...) {
    }
}

void ZVMap::paintEvent(QPaintEvent*)
{
    try {
        QPainter p(this);
        if (m_backStyle != 0) p.fillRect(rect(), zv::oleToColor(m_backColor, palette()));
        if (m_borderStyle != 0) {
            p.setPen(palette().color(QPalette::WindowText));
            p.drawRect(rect().adjusted(0, 0, -1, -1));
        }
    } catch (...) {
    }
}

#include "zvmap.h"
#include "zvmap_parts.h"
#include "zvpolystore.h"
#include "zvviewport.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr int kMaxDrawVertices = 32767;  // 16-bit vertex count while drawing

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

// A store index after entry `removed` has gone: -1 when it was that entry.
int indexAfterRemoval(int idx, int removed) { return idx == removed ? -1 : idx > removed ? idx - 1 : idx; }

qint32 toInt32(double v)
{
    return qint32(std::clamp(v, double(std::numeric_limits<qint32>::min()), double(std::numeric_limits<qint32>::max())));
}

}  // namespace


// The store reports its changes to the control.
class ZVMap::StoreHooks : public zv::PolyStore::Listener {
public:
    explicit StoreHooks(ZVMap* map) : m_map(map) {}
    void storeChanged() override { m_map->m_container->update(); }
    void aboutToRemove(int i) override { m_map->storeAboutToRemove(i); }
    void removed(int i) override { m_map->storeRemoved(i); }
    void edgesRedrawn() override { m_map->storeRedrawn(); }

private:
    ZVMap* m_map;
};

// ============================================================================================
// Parts

MapTipLabel::MapTipLabel(ZVMap* map, QWidget* parent) : QLabel(parent), m_map(map)
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
        m_map->tipPressed(buttonCode(e->button()), shiftCode(e->modifiers()));
    } catch (...) {
    }
}

void MapTipLabel::mouseReleaseEvent(QMouseEvent* e) { e->accept(); }

// ============================================================================================
// Construction and properties

ZVMap::ZVMap(QWidget* parent) : QWidget(parent)
{
    m_store = std::make_unique<zv::PolyStore>();
    m_hooks = std::make_unique<StoreHooks>(this);
    m_store->setListener(m_hooks.get());
    m_container = new MapViewport(this, m_store.get());
    m_tip = new MapTipLabel(this, m_container);
    m_timer = new QTimer(this);
    m_timer->setObjectName(QStringLiteral("Timer1"));
    m_timer->setInterval(5000);
    m_timer->setSingleShot(true);
    connect(m_timer, &QTimer::timeout, this, [this] {
        try {
            timerTick();
        } catch (...) {
        }
    });
    m_message = [this](const QString& title, const QString& text) { QMessageBox::warning(this, title, text); };
    setMouseTracking(true);
    resize(320, 240);
    ReadProperties({});
}

ZVMap::~ZVMap() = default;

QImage ZVMap::Picture() const { return m_container->picture(); }
qint16 ZVMap::DrawWidth() const { return m_store->drawWidth(); }
QString ZVMap::Image() const { return m_container->imageText(); }
bool ZVMap::PVisible() const { return m_store->pVisible(); }
float ZVMap::ZoomFactor() const { return m_store->zoom(); }
qint16 ZVMap::ScrollUnitX() const { return m_container->unitX(); }
qint16 ZVMap::ScrollUnitY() const { return m_container->unitY(); }
double ZVMap::SurfaceLeft() const { return m_container->left(); }
double ZVMap::SurfaceTop() const { return m_container->top(); }
ZVMap::Mode ZVMap::mode() const { return m_mode; }
bool ZVMap::PanOn() const { return m_panOn; }
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
    m_message = std::move(handler);
}

void ZVMap::showMessage(const QString& title, const QString& text)
{
    if (m_message) m_message(title, text);
}

// ============================================================================================
// The polygon store: what the control does when it changes

zv::Line ZVMap::Line(int k) const { return m_store->line(k); }

// A vertex chosen for a drag or an insertion is an edge index: keep it as a vertex of its polygon.
void ZVMap::storeAboutToRemove(int)
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

void ZVMap::storeRemoved(int i)
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
    hideTip();  // its store index may now name another polygon
}

// A polygon being dragged keeps the place it was dragged to: its points change only at the release.
void ZVMap::storeRedrawn()
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
void ZVMap::followRemoval(int i, int vActive, int vFirst)
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

void ZVMap::SetPoly(qint32 ID, const zv::Poly& Point) { m_store->add(ID, Point.Pt); }

void ZVMap::Delete(qint32 ID) { m_store->deleteLast(ID); }

void ZVMap::Clear()
{
    // Gestures first: nothing may point into the store once it is gone.
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
    m_store->clear();
    m_tipIndex = -1;
    hideTip();
    m_timer->stop();
    m_container->update();
}

void ZVMap::HighlightPoly(qint32 ID)
{
    const int i = m_store->firstIndexOf(ID);
    if (i < 0) return;
    m_skipClick = true;
    if (m_store->highlight(i, m_container->visible())) m_container->scrollToPoly(i);
}

void ZVMap::HighlightInvisPoly(qint32 ID)
{
    const int i = m_store->firstIndexOf(ID);
    if (i < 0) return;
    m_skipClick = true;
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

bool ZVMap::MarkerVisible(int i) const { return i >= 0 && i < 2 && m_markers[i].visible; }

QPointF ZVMap::MarkerCentre(int i) const
{
    if (i < 0 || i >= 2) return {};
    return {m_markers[i].left + kMarkerSize / 2, m_markers[i].top + kMarkerSize / 2};
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

void ZVMap::Pan(bool PanOn)
{
    m_panOn = PanOn;
    setMode(PanOn ? Mode::Pan : Mode::Normal);
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

// ============================================================================================
// Modes and editing

void ZVMap::setMode(Mode m)
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

void ZVMap::returnToPanOrNormal() { setMode(m_panOn ? Mode::Pan : Mode::Normal); }

void ZVMap::DrawPoly() { setMode(Mode::Drawing); }
void ZVMap::PolyMove() { setMode(Mode::MovePoly); }
void ZVMap::MovePoint() { setMode(Mode::MoveVertex); }
void ZVMap::DeletePoint() { setMode(Mode::DeleteVertex); }

void ZVMap::AddPoint()
{
    setMode(Mode::InsertChoose);
    m_activePoint = -1;
}

void ZVMap::Cancel()
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
            hideTip();
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
            ShadePoly(m_store->polys()[m_activePoly].ID, m_savedShading);
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

void ZVMap::Copy(qint32 PolyID)
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

void ZVMap::Paste(qint32 NewPolyID)
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
        emit PolyPasted(NewPolyID, pts);
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

void ZVMap::nearestVertex(float x, float y)
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

void ZVMap::moveVertexTo(float x, float y)
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

bool ZVMap::edgesAdjacent(int a, int b) const
{
    int i = 0, v = 0;
    if (!m_store->lineOwner(a, i, v)) return false;
    const int n = int(m_store->polys()[i].Pt.size());
    const int s = m_store->polys()[i].StartLine;
    return b == s + (v + n - 1) % n || b == s + (v + 1) % n;
}

void ZVMap::rebuildPointsFromEdges(int i)
{
    zv::Poly& p = m_store->polys()[i];
    const int n = int(p.Pt.size());
    for (int k = 0; k < n; ++k) {
        const zv::PolyStore::Edge& e = m_store->edge(p.StartLine + k);
        p.Pt[k] = {qint32(zv::rte(float(e.x1) / m_store->zoom())), qint32(zv::rte(float(e.y1) / m_store->zoom()))};
    }
}

void ZVMap::deleteVertex()
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
    hideTip();
    m_container->update();
    const qint32 id = p.ID;
    const QVector<zv::Point> pts = p.Pt;
    emit PointMoved(id, pts);
}

void ZVMap::insertVertex(int first, int second, float x, float y)
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
    emit PointMoved(id, pts);
}

void ZVMap::reshade(int i, qint16 level)
{
    if (level <= 0 || i < 0 || i >= m_store->polys().size()) return;
    const qint32 id = m_store->polys()[i].ID;
    ShadePoly(id, 0);
    ShadePoly(id, level);
}

// ============================================================================================
// Pointer input on the picture surface

// Presses on the viewport go to the picture surface or to the viewport itself, and stay with it until release.
void ZVMap::viewportPress(QMouseEvent* e)
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


void ZVMap::viewportMove(QMouseEvent* e)
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

void ZVMap::viewportRelease(QMouseEvent* e)
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
            emit Click();
        }
    } catch (...) {
    }
}


void ZVMap::surfacePress(int button, int shift, float x, float y)
{
    m_skipClick = false;
    switch (m_mode) {
    case Mode::Drawing:
        m_skipClick = true;
        if (button == 1) {
            addVertex(x, y);
            if (shift == 2) {
                if (m_drawCount < 3)
                    showMessage(QStringLiteral("Draw"), QStringLiteral("You must add at least 3 points to create a region."));
                else
                    closeDrawnPolygon();
            }
        } else if (button == 2 && m_drawCount >= 2) {
            takeBackVertex();
        }
        return;
    case Mode::Normal:
    case Mode::Pan:
        if (button != 1) break;
        try {
            const int i = HitTest(x, y);
            if (i >= 0) {
                m_skipClick = true;
                if (m_store->pVisible()) m_store->widen(i);
                emit PolyHit(m_store->polys()[i].ID, qint16(shift));
            }
        } catch (...) {
        }
        // Pan works with or without polygons (the picture viewer has none).
        if (m_mode == Mode::Pan) {
            m_skipClick = true;
            m_dragging = true;
            setMode(Mode::PanDrag);
            m_dragX = x;
            m_dragY = y;
            emit MouseDown(qint16(button), qint16(shift), x, y);
        }
        return;
    case Mode::MovePoly: {
        m_skipClick = true;
        const int i = HitTest(x, y);
        if (i >= 0) {
            m_activePoly = i;
            m_dragging = true;
            m_dragX = x;
            m_dragY = y;
            m_dragShiftX = m_dragShiftY = 0;
            m_dragZoom = m_store->zoom();
            m_savedShading = m_store->polys()[i].Shading;
            if (m_savedShading > 0) ShadePoly(m_store->polys()[i].ID, 0);
        }
        return;
    }
    case Mode::MoveVertex:
        m_dragging = true;
        nearestVertex(x, y);
        if (m_activePoint == -1) {
            m_dragging = false;
        } else {
            m_dragSavedPts = m_store->polys()[m_activePoly].Pt;  // what Cancel puts back
            m_savedShading = m_store->polys()[m_activePoly].Shading;
            if (m_savedShading > 0) ShadePoly(m_store->polys()[m_activePoly].ID, 0);
        }
        return;
    case Mode::DeleteVertex:
        nearestVertex(x, y);
        if (m_activePoint != -1 && m_store->polys()[m_activePoly].Pt.size() >= 4) {
            const int i = m_activePoly;
            const qint16 level = m_store->polys()[i].Shading;
            deleteVertex();
            returnToPanOrNormal();
            reshade(i, level);
        }
        return;
    case Mode::InsertChoose:
        if (m_activePoint == -1) {
            nearestVertex(x, y);
            if (m_activePoint != -1) {
                m_markers[0] = {true, m_store->lines()[m_activePoint].x1 - kMarkerSize / 2, m_store->lines()[m_activePoint].y1 - kMarkerSize / 2};
                m_container->update();
            }
        } else {
            m_firstPoint = m_activePoint;
            const int firstPoly = m_activePoly;
            nearestVertex(x, y);
            if (m_activePoint != -1 && edgesAdjacent(m_firstPoint, m_activePoint)) {
                m_markers[1] = {true, m_store->lines()[m_activePoint].x1 - kMarkerSize / 2, m_store->lines()[m_activePoint].y1 - kMarkerSize / 2};
                setMode(Mode::InsertPlace);
                m_container->update();
            } else {
                m_activePoint = m_firstPoint;
                m_activePoly = firstPoly;
            }
        }
        return;
    case Mode::InsertPlace: {
        const int i = m_activePoly;
        const qint16 level = (i >= 0 && i < m_store->polys().size()) ? m_store->polys()[i].Shading : 0;
        insertVertex(m_firstPoint, m_activePoint, x, y);
        m_activePoint = -1;
        m_markers[0].visible = m_markers[1].visible = false;
        reshade(i, level);
        returnToPanOrNormal();
        m_container->update();
        return;
    }
    case Mode::PanDrag: break;
    }
    emit MouseDown(qint16(button), qint16(shift), x, y);
}

// True when a polygon other than the one being drawn owns edge k or one above it.
bool ZVMap::edgesOwnedFrom(int k) const
{
    if (!m_store->hasPolygons()) return false;
    for (int j = 0; j < m_store->polys().size(); ++j)
        if (j != m_drawIndex && !m_store->polys()[j].Pt.isEmpty() && m_store->polys()[j].StartLine >= k) return true;
    return false;
}

void ZVMap::addVertex(float x, float y)
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

void ZVMap::takeBackVertex()
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

void ZVMap::closeDrawnPolygon()
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
    emit PolyIdentified(outId, pts, cancel);
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

void ZVMap::surfaceMove(int buttons, int shift, float x, float y)
{
    if (m_dragging) {
        switch (m_mode) {
        case Mode::PanDrag: {
            m_container->panBy(m_dragX, m_dragY, x, y);
            break;
        }
        case Mode::MovePoly: {
            if (m_activePoly < 0 || m_activePoly >= m_store->polys().size()) break;
            const double dx = (0 < x && x < m_container->shownWidth()) ? double(x) - m_dragX : 0.0;
            const double dy = (0 < y && y < m_container->shownHeight()) ? double(y) - m_dragY : 0.0;
            const zv::Poly& p = m_store->polys()[m_activePoly];
            for (int k = p.StartLine; k < p.StartLine + p.Pt.size() && k < m_store->lineCount(); ++k) {
                zv::PolyStore::Edge& e = m_store->lines()[k];
                e.x1 += dx;
                e.x2 += dx;
                e.y1 += dy;
                e.y2 += dy;
            }
            m_dragShiftX += dx;
            m_dragShiftY += dy;
            m_dragX = x;
            m_dragY = y;
            m_container->update();
            break;
        }
        case Mode::MoveVertex: moveVertexTo(x, y); break;
        default: break;
        }
        return;
    }
    if (m_mode == Mode::Drawing) {
        if (m_drawCount > 0 && m_drawIndex >= 0 && m_drawIndex < m_store->polys().size()) {
            const int k = m_store->polys()[m_drawIndex].StartLine + m_drawCount - 1;
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
    emit MouseMove(qint16(buttons), qint16(shift), x, y);
}

void ZVMap::hover(float x, float y)
{
    if (!m_store->hasPolygons()) return;
    const int i = HitTest(x, y);
    if (i < 0) {
        hideTip();
        return;
    }
    QString tip;
    emit PolyMouseOver(m_store->polys()[i].ID, tip);
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

void ZVMap::placeTip()
{
    if (m_tip) m_tip->move(int(zv::rte((m_tipX + m_container->left()) / 15.0)), int(zv::rte((m_tipY + m_container->top()) / 15.0)));
}

void ZVMap::hideTip()
{
    if (m_tip) m_tip->hide();
}

void ZVMap::timerTick()
{
    m_tip->hide();
    m_timer->stop();
}

void ZVMap::tipPressed(int, int shift)
{
    // A stale index (the store changed under the tip) reports nothing.
    if (!m_store->hasPolygons() || m_tip->isHidden() || m_tipIndex < 0 || m_tipIndex >= m_store->polys().size()) return;
    const int i = m_tipIndex;
    if (m_store->pVisible()) m_store->widen(i);
    emit PolyHit(m_store->polys()[i].ID, qint16(shift));
}

void ZVMap::surfaceRelease(int button, int shift, float x, float y)
{
    if (m_dragging) {
        m_dragging = false;
        switch (m_mode) {
        case Mode::MovePoly: {
            const int i = m_activePoly;
            if (i < 0 || i >= m_store->polys().size()) break;
            rebuildPointsFromEdges(i);
            m_store->makeRegion(m_store->polys()[i].Pt, i);
            if (m_savedShading > 0) ShadePoly(m_store->polys()[i].ID, m_savedShading);
            const qint32 id = m_store->polys()[i].ID;
            const QVector<zv::Point> pts = m_store->polys()[i].Pt;
            returnToPanOrNormal();
            emit PolyMoved(id, pts);
            break;
        }
        case Mode::MoveVertex: {
            const int i = m_activePoly;
            if (m_activePoint == -1 || i < 0 || i >= m_store->polys().size()) break;
            m_store->makeRegion(m_store->polys()[i].Pt, i);
            if (m_savedShading > 0) ShadePoly(m_store->polys()[i].ID, m_savedShading);
            const qint32 id = m_store->polys()[i].ID;
            const QVector<zv::Point> pts = m_store->polys()[i].Pt;
            returnToPanOrNormal();
            emit PointMoved(id, pts);
            break;
        }
        case Mode::PanDrag: setMode(Mode::Pan); break;
        default: break;
        }
        return;
    }
    emit MouseUp(qint16(button), qint16(shift), x, y);
}

void ZVMap::surfaceClick()
{
    const bool skip = m_skipClick;
    m_skipClick = false;
    if (!skip) emit Click();
}

// ============================================================================================
// The control's own surface passes its events on unchanged.

void ZVMap::mousePressEvent(QMouseEvent* e)
{
    e->accept();
    try {
        m_ownPressed = e->button() == Qt::LeftButton;
        emit MouseDown(qint16(buttonCode(e->button())), qint16(shiftCode(e->modifiers())), pxToTw(e->position().x()),
                       pxToTw(e->position().y()));
    } catch (...) {
    }
}

void ZVMap::mouseMoveEvent(QMouseEvent* e)
{
    e->accept();
    try {
        emit MouseMove(qint16(buttonsCode(e->buttons())), qint16(shiftCode(e->modifiers())), pxToTw(e->position().x()),
                       pxToTw(e->position().y()));
    } catch (...) {
    }
}

void ZVMap::mouseReleaseEvent(QMouseEvent* e)
{
    e->accept();
    try {
        const bool click = m_ownPressed && e->button() == Qt::LeftButton && rect().contains(e->position().toPoint());
        if (e->button() == Qt::LeftButton) m_ownPressed = false;
        emit MouseUp(qint16(buttonCode(e->button())), qint16(shiftCode(e->modifiers())), pxToTw(e->position().x()),
                     pxToTw(e->position().y()));
        if (click) emit Click();
    } catch (...) {
    }
}

void ZVMap::mouseDoubleClickEvent(QMouseEvent* e)
{
    e->accept();
    try {
        emit DblClick();
    } catch (...) {
    }
}

void ZVMap::keyPressEvent(QKeyEvent* e)
{
    e->accept();
    try {
        emit KeyDown(qint16(virtualKey(e->key())), qint16(shiftCode(e->modifiers())));
        const QString t = e->text();
        if (!t.isEmpty() && t.at(0).unicode() < 256) emit KeyPress(qint16(t.at(0).unicode()));
    } catch (...) {
    }
}

void ZVMap::keyReleaseEvent(QKeyEvent* e)
{
    e->accept();
    try {
        emit KeyUp(qint16(virtualKey(e->key())), qint16(shiftCode(e->modifiers())));
    } catch (...) {
    }
}

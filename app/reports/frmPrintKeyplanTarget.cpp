#include "frmPrintKeyplanTarget.h"

#include "krverror.h"

#include <QFontMetricsF>
#include <QPageLayout>
#include <QPrinter>

#include <cmath>

namespace {

constexpr double kTwipsPerPoint = 20;
constexpr double kTwipsPerPixel = 15;

}  // namespace

// Sheets and reports use the Liberation faces (fonts-liberation, metric-compatible with the
// faces the layouts were designed for, so the marks fit their boxes); without them the
// nearest installed ones stand in.
void SubstituteReportFonts()
{
    static const bool done = [] {
        QFont::insertSubstitutions(kPrintFont, {QStringLiteral("DejaVu Sans")});
        QFont::insertSubstitutions(kPrintNarrowFont,
                                   {QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("DejaVu Sans")});
        return true;
    }();
    (void)done;
}

namespace {

void SubstituteFonts()
{
    SubstituteReportFonts();
}

}  // namespace

QPrinter& CurrentPrinter()
{
    static QPrinter printer(QPrinter::HighResolution);
    return printer;
}

QSizeF PrinterPageSize(QPrinter& printer)
{
    const QRectF full = printer.pageLayout().fullRect(QPageLayout::Point);
    return {full.width() * kTwipsPerPoint, full.height() * kTwipsPerPoint};
}

KeyplanTarget::KeyplanTarget(QPrinter* printer) : m_printer(printer)
{
    if (!printer->isValid())
        throw KrvError(484, QStringLiteral("Printer information unavailable."));
    const QPageLayout layout = printer->pageLayout();
    const QRectF paint = layout.paintRect(QPageLayout::Point);
    m_scaleWidth = paint.width() * kTwipsPerPoint;
    m_scaleHeight = paint.height() * kTwipsPerPoint;
    m_width = layout.fullRect(QPageLayout::Point).width() * kTwipsPerPoint;
    if (!m_painter.begin(printer))
        throw KrvError(482, QStringLiteral("Printer error."));
    begin(printer, printer->resolution() / 1440.0);
}

KeyplanTarget::KeyplanTarget(QImage* picture) : m_picture(picture)
{
    m_scaleWidth = m_width = picture->width() * kTwipsPerPixel;
    m_scaleHeight = picture->height() * kTwipsPerPixel;
    if (!m_painter.begin(picture))
        throw KrvError(481, QStringLiteral("Invalid picture."));
    begin(picture, 1.0 / kTwipsPerPixel);
}

KeyplanTarget::~KeyplanTarget()
{
    if (m_painter.isActive())
        m_painter.end();
}

void KeyplanTarget::begin(QPaintDevice*, double unitsPerTwip)
{
    SubstituteFonts();
    m_painter.setRenderHint(QPainter::Antialiasing, false);
    m_painter.setRenderHint(QPainter::TextAntialiasing, true);
    m_painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    m_painter.scale(unitsPerTwip, unitsPerTwip);
    applyFont();
}

void KeyplanTarget::applyFont()
{
    m_font = QFont(m_fontName);
    // Sizes in twips: the painter's scale brings them to the device.
    m_font.setPixelSize(int(m_fontSize * kTwipsPerPoint));
    m_font.setBold(m_bold);
    m_font.setUnderline(m_underline);
    m_font.setKerning(false);
    m_font.setHintingPreference(QFont::PreferNoHinting);
    m_painter.setFont(m_font);
}

void KeyplanTarget::setFontName(const QString& name)
{
    m_fontName = name;
    applyFont();
}

void KeyplanTarget::setFontSize(int points)
{
    m_fontSize = points;
    applyFont();
}

void KeyplanTarget::setBold(bool on)
{
    m_bold = on;
    applyFont();
}

void KeyplanTarget::setUnderline(bool on)
{
    m_underline = on;
    applyFont();
}

double KeyplanTarget::TextWidth(const QString& text) const
{
    return QFontMetricsF(m_font).horizontalAdvance(text);
}

QFontMetricsF KeyplanTarget::Metrics() const { return QFontMetricsF(m_font); }

double KeyplanTarget::TextHeight() const { return QFontMetricsF(m_font).lineSpacing(); }

PrintItem KeyplanTarget::item(PrintItem::Kind kind) const
{
    PrintItem it;
    it.kind = kind;
    it.page = m_page;
    it.fontName = m_fontName;
    it.fontSize = m_fontSize;
    it.bold = m_bold;
    it.underline = m_underline;
    return it;
}

void KeyplanTarget::newPage()
{
    if (!m_printer->newPage())
        throw KrvError(482, QStringLiteral("Printer error."));
    ++m_page;
    m_items << item(PrintItem::NewPage);
    CurrentY = 0;
}

void KeyplanTarget::Print(const QString& text)
{
    const double h = TextHeight();
    // On paper a line that would pass the bottom goes to the next page.
    if (m_printer && CurrentY > 0 && CurrentY + h > m_scaleHeight)
        newPage();
    const double w = TextWidth(text);
    if (!text.isEmpty())
        m_painter.drawText(QPointF(CurrentX, CurrentY + QFontMetricsF(m_font).ascent()), text);
    PrintItem it = item(PrintItem::Text);
    it.text = text;
    it.rect = QRectF(CurrentX, CurrentY, w, h);
    m_items << it;
    CurrentX += w;
}

void KeyplanTarget::Tab(int column)
{
    const double x = std::max(0, column - 1) * QFontMetricsF(m_font).averageCharWidth();
    if (CurrentX > x + 0.5)
        EndLine();
    CurrentX = x;
}

void KeyplanTarget::EndLine(int count)
{
    for (int i = 0; i < count; ++i) {
        CurrentX = 0;
        CurrentY += TextHeight();
    }
}

void KeyplanTarget::PaintPicture(const QImage& picture, QSize natural, double x, double y, double w, double h, double sx,
                                 double sy, double sw, double sh)
{
    if (picture.isNull() || w <= 0 || h <= 0 || sw <= 0 || sh <= 0)
        return;
    if (natural.isEmpty())
        natural = picture.size();
    const QRectF source(sx, sy, sw, sh);
    const QRectF whole(0, 0, natural.width() * kTwipsPerPixel, natural.height() * kTwipsPerPixel);
    const QRectF part = source & whole;
    PrintItem it = item(PrintItem::Picture);
    it.rect = QRectF(x, y, w, h);
    m_items << it;
    if (part.isEmpty())
        return;
    // The destination in proportion to the part of the source that exists.
    const double fx = w / sw, fy = h / sh;
    const QRectF dest(x + (part.left() - sx) * fx, y + (part.top() - sy) * fy, part.width() * fx, part.height() * fy);
    // The picture may be held scaled down from its natural size.
    const double kx = double(picture.width()) / natural.width() / kTwipsPerPixel;
    const double ky = double(picture.height()) / natural.height() / kTwipsPerPixel;
    const QRectF px(part.left() * kx, part.top() * ky, part.width() * kx, part.height() * ky);
    m_painter.drawImage(dest, picture, px);
}

void KeyplanTarget::Line(double x1, double y1, double x2, double y2, const QColor& color)
{
    m_painter.setPen(QPen(color, kTwipsPerPixel));
    m_painter.drawLine(QPointF(x1, y1), QPointF(x2, y2));
    PrintItem it = item(PrintItem::Line);
    it.rect = QRectF(QPointF(x1, y1), QPointF(x2, y2));
    it.color = color;
    m_items << it;
}

void KeyplanTarget::Cls()
{
    if (m_picture) {
        m_painter.save();
        m_painter.resetTransform();
        m_painter.fillRect(QRect(0, 0, m_picture->width(), m_picture->height()), Qt::white);
        m_painter.restore();
    }
    m_items.clear();
    CurrentX = CurrentY = 0;
}

void KeyplanTarget::EndDoc()
{
    if (m_painter.isActive() && !m_painter.end())
        throw KrvError(482, QStringLiteral("Printer error."));
}

void KeyplanTarget::Abort()
{
    if (m_printer)
        m_printer->abort();
    if (m_painter.isActive())
        m_painter.end();
}

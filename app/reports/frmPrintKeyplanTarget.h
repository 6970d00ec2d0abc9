#pragma once
#include <QColor>
#include <QFont>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QRectF>
#include <QString>
#include <QVector>

class QPrinter;

// The surface the key plan sheet is written on: the printer or the preview picture, both
// through the same QPainter code. Everything is in twips; text goes line by line from a
// current position, as on a printed page: Print leaves the position after the text,
// EndLine moves to the start of the next line, Tab(n) to text column n.
//
// Every item drawn is also kept in Items(), so the sheet's layout can be checked without
// looking at pixels.

// The faces of the printouts.
inline const QString kPrintFont = QStringLiteral("Liberation Sans");
inline const QString kPrintNarrowFont = QStringLiteral("Liberation Sans Narrow");

struct PrintItem {
    enum Kind { Text, Line, Picture, NewPage };
    Kind kind = Text;
    int page = 0;
    QString text;
    QRectF rect;  // text: left, top, width, height; line: from (x, y) to (right, bottom)
    QString fontName;
    int fontSize = 0;
    bool bold = false;
    bool underline = false;
    QColor color;
};

class KeyplanTarget {
public:
    // A character unit (the horizontal text unit of a printed page).
    static constexpr double kCharUnit = 120;

    // The printer: the origin is the top-left of its printable area; text that passes the
    // bottom of a page continues on a new one. Raises KrvError 482 when the printer cannot
    // be opened.
    explicit KeyplanTarget(QPrinter* printer);
    // A picture of a page (15 twips to the pixel); one page high, nothing past it.
    explicit KeyplanTarget(QImage* picture);
    ~KeyplanTarget();
    KeyplanTarget(const KeyplanTarget&) = delete;
    KeyplanTarget& operator=(const KeyplanTarget&) = delete;

    double CurrentX = 0;
    double CurrentY = 0;

    double ScaleWidth() const { return m_scaleWidth; }
    double ScaleHeight() const { return m_scaleHeight; }
    double Width() const { return m_width; }

    QString FontName() const { return m_fontName; }
    void setFontName(const QString& name);
    void setFontSize(int points);
    void setBold(bool on);
    void setUnderline(bool on);

    double TextWidth(const QString& text) const;
    // The measures of the current font, in twips.
    QFontMetricsF Metrics() const;
    double TextHeight() const;

    // Writes the text at the current position and stays on the line.
    void Print(const QString& text);
    // Moves to text column n (column 1 at the left edge, as wide as the font's average
    // character); a position already past it goes to the next line first.
    void Tab(int column);
    // Ends the line: back to the left edge, one text line down.
    void EndLine(int count = 1);

    // Paints part of a picture given in twips of its natural size (15 to the pixel), unscaled
    // when the two sizes are equal; the part outside the picture stays blank. The picture may
    // be held scaled down from natural (empty: it is not).
    void PaintPicture(const QImage& picture, QSize natural, double x, double y, double w, double h, double sx, double sy,
                      double sw, double sh);
    void Line(double x1, double y1, double x2, double y2, const QColor& color);
    // Clears the picture (white).
    void Cls();
    // Ends the printer's document.
    void EndDoc();
    // Closes the printer's job without finishing it.
    void Abort();

    const QVector<PrintItem>& Items() const { return m_items; }
    int PageCount() const { return m_page + 1; }

private:
    void begin(QPaintDevice* device, double unitsPerTwip);
    void applyFont();
    void newPage();
    PrintItem item(PrintItem::Kind kind) const;

    QPrinter* m_printer = nullptr;
    QImage* m_picture = nullptr;
    QPainter m_painter;
    double m_scaleWidth = 0;
    double m_scaleHeight = 0;
    double m_width = 0;
    QString m_fontName = kPrintFont;
    int m_fontSize = 10;
    bool m_bold = false;
    bool m_underline = false;
    QFont m_font;
    int m_page = 0;
    QVector<PrintItem> m_items;
};

// The printouts ask for faces by name ("Arial", "Arial Narrow"); where they are not
// installed, the nearest installed ones stand in.
void SubstituteReportFonts();

// The program's current printer (the one printing goes to unless the print dialog picks
// another for one job).
QPrinter& CurrentPrinter();
// The full page of the current printer, twips.
QSizeF PrinterPageSize(QPrinter& printer);

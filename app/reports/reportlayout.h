#pragma once
#include "report.h"

#include <QColor>
#include <QRectF>
#include <QString>
#include <QVector>
#include <functional>

class QFontMetricsF;
class QPainter;
class QPrinter;

// One thing printed on a laid-out page. Positions are twips from the top-left corner of
// the paper. A text's rect is its object's box (one box per line of a wrapped text); the
// alignment says where in the box the text stands.
struct LaidItem {
    enum Kind { Text, Line, Fill };
    Kind kind = Text;
    QRectF rect;  // line: from rect.topLeft() to rect.bottomRight()
    QString text;
    double fontSize = 10;
    bool bold = false, italic = false, underline = false;
    int align = AlignLeft;
    QColor color;     // fill
    QString section;  // the section's name
    QString object;   // the object's name, if any
};

struct LaidPage {
    int number = 0;   // from 1
    int total = 0;
    QVector<LaidItem> items;
};

// Lays a report out into pages. The first pass only counts the pages (for "Page n of m");
// the second builds each page and hands it on as soon as it is complete, so a long report
// never holds more than one page. A few pages can be had alone: the pages before them are
// only measured, and the layout ends after them.
class ReportLayout {
public:
    explicit ReportLayout(const Report& report);

    int pageCount();
    void run(const std::function<void(const LaidPage&)>& sink);
    QVector<LaidPage> allPages();
    // Pages first..last (from 1, within the report's pages).
    QVector<LaidPage> pages(int first, int last);
    // Sees the number of each page as a pass finishes it; it may throw to end the work.
    void setPageWatcher(std::function<void(int)> onPage) { m_onPage = std::move(onPage); }

private:
    const Report& m_report;
    int m_pageCount = -1;
    std::function<void(int)> m_onPage;
};

// Paints a laid-out page; the painter's unit is unitsPerTwip device units to the twip and
// its origin the paper's top-left corner.
void PaintPage(const Report& report, const LaidPage& page, QPainter& painter, double unitsPerTwip);

// Writes the report as a PDF file (through a temporary file, so a failure or a cancel leaves an
// old file whole and no new one); returns the number of pages. Raises KrvError on failure,
// ReportCancelled when the user cancels.
int WriteReportPdf(const Report& report, const QString& path);
// Prints the report on the printer as it is set up (paper, orientation, copies).
int PrintReport(const Report& report, QPrinter& printer);

// The font a report object asks for, its size given in twips, so measures come in twips.
QFont ReportFont(const QString& family, double points, bool bold, bool italic, bool underline = false);

// The lines of a growing text in a box of that width (what starts lower in its section moves
// down as far as the text grew): broken between words, inside a word
// only where the word alone is wider than the box; the text's own line breaks kept. A text
// that starts after something on its first line has firstWidth there (the first line is
// empty when not even its first word fits).
QStringList WrapReportText(const QString& text, const QFontMetricsF& metrics, double width, double firstWidth = -1);
// The font of an object of the report.
QFont ObjectFont(const Report& report, const ReportObject& object);

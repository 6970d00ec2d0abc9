#include "reportlayout.h"

#include "frmPrintKeyplanTarget.h"
#include "helpers.h"
#include "krverror.h"
#include "printfile.h"
#include "reportprogress.h"
#include "savefile.h"

#include <QFontMetricsF>
#include <QHash>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <vector>

namespace {

constexpr double kEps = 0.01;

struct FontKey {
    double size;
    bool bold, italic, underline;
    bool operator<(const FontKey& o) const
    {
        return std::tie(size, bold, italic, underline) < std::tie(o.size, o.bold, o.italic, o.underline);
    }
};

// Fonts and their measures, made once per style.
class Fonts {
public:
    explicit Fonts(QString family) : m_family(std::move(family)) {}
    struct Entry {
        QFont font;
        QFontMetricsF metrics;
        double maxChar;
    };
    const Entry& get(double size, bool bold, bool italic, bool underline)
    {
        const FontKey key{size, bold, italic, underline};
        auto it = m_cache.find(key);
        if (it == m_cache.end()) {
            QFont f = ReportFont(m_family, size, bold, italic, underline);
            QFontMetricsF fm(f);
            it = m_cache.emplace(key, Entry{f, fm, fm.maxWidth()}).first;
        }
        return it->second;
    }

private:
    QString m_family;
    std::map<FontKey, Entry> m_cache;
};

// Where a row is in its report: the sorted rows and the row's group ranges.
struct Context {
    const Report* report = nullptr;
    const QVector<int>* rows = nullptr;  // data rows in print order
    int pos = -1;                        // position in rows, -1 none
    QVector<std::pair<int, int>> ranges; // per group level: [begin, end) in rows
    double x = 0;                        // left of the report's sections on the paper
    bool main = true;

    int fixedRow = -1;                   // without rows: the row, as a page header or footer sees it

    int row() const
    {
        if (!rows)
            return fixedRow;
        return (pos >= 0 && pos < rows->size()) ? (*rows)[pos] : -1;
    }
};

struct Band {
    double height = 0;
    QVector<LaidItem> items;  // tops relative to the band
    QVector<int> specials;    // per item: -1, or the special field it shows
    bool reportHeader = false;
    double keepNext = 0;      // what must fit below it on the same page (a heading is never left alone)
};

class Paginator;

// Ends a layout once the last page asked for is done.
struct StopLayout {};

class Flow {
public:
    Flow(const Report& main, Fonts& fonts, bool measureOnly, int totalPages)
        : m_main(main), m_fonts(fonts), m_measureOnly(measureOnly), m_total(totalPages)
    {
    }

    void run(Paginator& pages);
    Band makeBand(const Section& section, const Context& ctx);
    // Pages before the ones wanted are only measured: no texts made.
    void setMeasureOnly(bool on) { m_measureOnly = on; }
    QString specialText(SpecialField which, int page) const;
    double pageFooterHeight(const Context& ctx) { return pfHeight(ctx); }
    const QVector<std::pair<const Section*, Context>>& openHeaders() const { return m_openHeaders; }

private:
    void layoutReport(const Report& report, const QVector<int>& rows, double x, bool main, Paginator& pages);
    void walk(const Report& report, Context& ctx, int level, int begin, int end, Paginator& pages);
    void section(const Section* s, const Context& ctx, Paginator& pages, double keepNext = 0);
    // A band to place; one that may not fit a page is made whole, as it is split by its items.
    Band placedBand(const Section& s, const Context& ctx, const Paginator& pages);
    double leadHeight(const Report& report, Context ctx, int level, int pos);
    QString fieldText(const ReportObject& o, const Context& ctx);
    double pfHeight(const Context& ctx);
    QVector<double> groupKeys(const Report& report, int level);

    const Report& m_main;
    Fonts& m_fonts;
    bool m_measureOnly;
    int m_total;
    QVector<QVector<double>> m_groupKeys;  // of the report being walked
    QVector<std::pair<const Section*, Context>> m_openHeaders;  // main report headers to repeat
    // Rows of each linked subreport by link value, made once.
    QHash<const ReportObject*, QHash<QString, QVector<int>>> m_links;
};

class Paginator {
public:
    // Pages first..last are handed to the sink; the others are only measured, and the layout
    // stops after last. onPage sees every page's number as it is done.
    Paginator(const Report& main, Flow& flow, int totalPages, const std::function<void(const LaidPage&)>& sink,
              int first = 1, int last = std::numeric_limits<int>::max(),
              const std::function<void(int)>& onPage = {})
        : m_main(main), m_flow(flow), m_total(totalPages), m_sink(sink), m_first(first), m_last(last),
          m_onPage(onPage)
    {
        const QSizeF paper = main.paperSize();
        m_bodyTop = main.marginTop;
        m_paperBottom = paper.height() - main.marginBottom;
        measureUntilWanted();
    }

    int pages() const { return m_number; }
    // A band this tall may have to be split over pages by its items.
    bool maySplit(double height) const { return height > (m_paperBottom - m_bodyTop) / 4; }

    void place(Band band, const Context& ctx)
    {
        if (ctx.main && ctx.report == &m_main)
            m_mainRow = ctx.row();
        if (!m_open)
            start(ctx);
        if (!band.reportHeader)
            pageHeader(ctx);
        // A heading goes to the next page with what it heads, unless even a fresh page could not hold both.
        const double room = m_bodyBottom - m_y;
        const bool keep = band.height + band.keepNext <= m_bodyBottom - m_contentTop + kEps;
        if ((band.height > room + kEps || (keep && band.height + band.keepNext > room + kEps)) &&
            m_y > m_contentTop + kEps) {
            finish();
            start(ctx);
            pageHeader(ctx);
            continued();
        }
        if (m_y + band.height <= m_bodyBottom + kEps) {
            put(band, 0, band.items.size());
            m_y += band.height;
            return;
        }
        // Taller than a page: its items go over as many pages as they need.
        double offset = 0;
        int from = 0;
        QVector<int> order(band.items.size());
        for (int i = 0; i < order.size(); ++i)
            order[i] = i;
        std::stable_sort(order.begin(), order.end(),
                         [&](int a, int b) { return band.items[a].rect.top() < band.items[b].rect.top(); });
        Band sorted;
        for (int i : order) {
            sorted.items << band.items[i];
            sorted.specials << band.specials[i];
        }
        while (from < sorted.items.size()) {
            int to = from;
            while (to < sorted.items.size() &&
                   (m_y + std::max(sorted.items[to].rect.bottom(), sorted.items[to].rect.top()) - offset <=
                        m_bodyBottom + kEps ||
                    to == from))
                ++to;
            for (int i = from; i < to; ++i)
                sorted.items[i].rect.translate(0, -offset);
            put(sorted, from, to);
            for (int i = from; i < to; ++i)
                sorted.items[i].rect.translate(0, offset);
            if (to >= sorted.items.size())
                break;
            offset = sorted.items[to].rect.top();
            from = to;
            finish();
            start(ctx);
            pageHeader(ctx);
            continued();
        }
        m_y += band.height - offset;
    }

    void end(const Context& ctx)
    {
        if (!m_open) {
            start(ctx);
        }
        pageHeader(ctx);
        finish();
    }

private:
    // A band made now lands on this page or the next: texts are made from the page before the first wanted.
    void measureUntilWanted()
    {
        if (m_sink)
            m_flow.setMeasureOnly(m_number + 1 < m_first);
    }

    void start(const Context& ctx)
    {
        ++m_number;
        measureUntilWanted();
        m_open = true;
        m_page = LaidPage();
        m_page.number = m_number;
        m_page.total = m_total;
        // Page header and footer fields show the main report's row at the page start.
        if (ctx.main && ctx.report == &m_main)
            m_mainRow = ctx.row();
        m_pageCtx = Context();
        m_pageCtx.report = &m_main;
        m_pageCtx.x = m_main.marginLeft;
        m_pageCtx.fixedRow = m_mainRow;
        m_headerDone = false;
        m_y = m_bodyTop;
        m_contentTop = m_bodyTop;
        m_bodyBottom = m_paperBottom - m_flow.pageFooterHeight(m_pageCtx);
    }

    void pageHeader(const Context& ctx)
    {
        if (m_headerDone)
            return;
        m_headerDone = true;
        (void)ctx;
        if (const Section* ph = m_main.findSection(SectionKind::PageHeader)) {
            Band b = m_flow.makeBand(*ph, m_pageCtx);
            put(b, 0, b.items.size());
            m_y += b.height;
        }
        m_contentTop = m_y;
    }

    // A page that goes on inside groups repeats the headers of those that ask for it.
    void continued()
    {
        for (const auto& [section, ctx] : m_flow.openHeaders()) {
            Band b = m_flow.makeBand(*section, ctx);
            put(b, 0, b.items.size());
            m_y += b.height;
        }
        m_contentTop = m_y;
    }

    void finish()
    {
        if (!m_open)
            return;
        if (const Section* pf = m_main.findSection(SectionKind::PageFooter)) {
            Band b = m_flow.makeBand(*pf, m_pageCtx);
            const double y = m_y;
            m_y = m_paperBottom - b.height;
            put(b, 0, b.items.size());
            m_y = y;
        }
        m_open = false;
        if (m_sink && m_number >= m_first)
            m_sink(m_page);
        if (m_onPage)
            m_onPage(m_number);
        if (m_number >= m_last)
            throw StopLayout();
    }

    void put(const Band& band, int from, int to)
    {
        if (!m_sink || m_number < m_first)
            return;
        for (int i = from; i < to; ++i) {
            LaidItem it = band.items[i];
            it.rect.translate(0, m_y);
            if (band.specials[i] >= 0)
                it.text = m_flow.specialText(SpecialField(band.specials[i]), m_number);
            m_page.items << std::move(it);
        }
    }

    const Report& m_main;
    Flow& m_flow;
    int m_total;
    std::function<void(const LaidPage&)> m_sink;
    int m_first, m_last;
    std::function<void(int)> m_onPage;
    LaidPage m_page;
    Context m_pageCtx;
    bool m_open = false;
    bool m_headerDone = false;
    int m_mainRow = -1;
    int m_number = 0;
    double m_y = 0, m_bodyTop = 0, m_contentTop = 0, m_bodyBottom = 0, m_paperBottom = 0;
};

QString Flow::specialText(SpecialField which, int page) const
{
    switch (which) {
    case SpecialField::PrintDate:
        return ShortDateText(m_main.printDate);
    case SpecialField::PageNumber:
        return QString::number(page);
    case SpecialField::PageNofM:
        return QStringLiteral("Page %1 of %2").arg(page).arg(m_total);
    }
    return QString();
}

double Flow::pfHeight(const Context& ctx)
{
    const Section* pf = m_main.findSection(SectionKind::PageFooter);
    if (!pf)
        return 0;
    Context c = ctx;
    c.report = &m_main;
    const bool measure = m_measureOnly;
    m_measureOnly = true;
    const double h = makeBand(*pf, c).height;
    m_measureOnly = measure;
    return h;
}

QVector<double> Flow::groupKeys(const Report& report, int level)
{
    const ReportGroup& g = report.groups[level];
    const int col = report.data.columnIndex(g.column);
    if (g.condition == GroupCondition::EachChange || col < 0)
        return report.data.sortKeys(col);
    QVector<double> keys(report.data.rowCount(), -std::numeric_limits<double>::infinity());
    for (int r = 0; r < keys.size(); ++r) {
        const QVariant v = report.data.value(r, col);
        if (v.isNull())
            continue;
        const QDate d = v.typeId() == QMetaType::QDate ? v.toDate() : v.toDateTime().date();
        keys[r] = g.condition == GroupCondition::Yearly ? d.year() : d.year() * 12.0 + d.month();
    }
    return keys;
}

void Flow::run(Paginator& pages)
{
    QVector<int> rows(m_main.data.rowCount());
    for (int i = 0; i < rows.size(); ++i)
        rows[i] = i;
    layoutReport(m_main, rows, m_main.marginLeft, true, pages);
    Context end;
    end.report = &m_main;
    end.x = m_main.marginLeft;
    pages.end(end);
}

void Flow::layoutReport(const Report& report, const QVector<int>& unsorted, double x, bool main, Paginator& pages)
{
    // Rows in print order: group keys first, then the record sort; ties keep data order.
    QVector<QVector<double>> keys;
    for (int g = 0; g < report.groups.size(); ++g)
        keys << groupKeys(report, g);
    for (const QString& c : report.sortColumns)
        keys << report.data.sortKeys(report.data.columnIndex(c));
    QVector<int> rows = unsorted;
    if (!keys.isEmpty())
        std::stable_sort(rows.begin(), rows.end(), [&](int a, int b) {
            for (const QVector<double>& k : keys)
                if (k[a] != k[b])
                    return k[a] < k[b];
            return false;
        });
    m_groupKeys.clear();
    for (int g = 0; g < report.groups.size(); ++g)
        m_groupKeys << keys[g];

    Context ctx;
    ctx.report = &report;
    ctx.rows = &rows;
    ctx.x = x;
    ctx.main = main;
    ctx.pos = rows.isEmpty() ? -1 : 0;
    ctx.ranges.fill({0, int(rows.size())}, report.groups.size());

    if (const Section* rh = report.findSection(SectionKind::ReportHeader)) {
        Band b = placedBand(*rh, ctx, pages);
        b.reportHeader = main;
        if (!main)
            b.keepNext = rows.isEmpty() ? 236 : leadHeight(report, ctx, 0, 0);
        pages.place(std::move(b), ctx);
    }
    if (rows.isEmpty()) {
        if (!report.noDataText.isEmpty()) {
            Band b;
            LaidItem it;
            it.text = report.noDataText;
            it.rect = QRectF(x + 240, 0, report.sectionWidth() - 240, 236);
            it.section = QStringLiteral("Section3");
            b.items << it;
            b.specials << -1;
            b.height = 236;
            pages.place(std::move(b), ctx);
        }
    } else {
        walk(report, ctx, 0, 0, int(rows.size()), pages);
    }
    ctx.pos = rows.isEmpty() ? -1 : int(rows.size()) - 1;
    section(report.findSection(SectionKind::ReportFooter), ctx, pages);
}

void Flow::walk(const Report& report, Context& ctx, int level, int begin, int end, Paginator& pages)
{
    if (level == report.groups.size()) {
        const Section* d = report.findSection(SectionKind::Details);
        // A group's last row keeps the footers that close after it company, as a heading keeps its first row.
        double footers = 0;
        if (d && level > 0 && std::none_of(d->objects.begin(), d->objects.end(), [](const ReportObject& o) {
                return o.kind == ObjectKind::Subreport;
            })) {
            ctx.pos = end - 1;
            for (int l = level - 1; l >= 0 && ctx.ranges[l].second == end; --l)
                if (const Section* f = report.findSection(SectionKind::GroupFooter, l + 1))
                    footers += makeBand(*f, ctx).height;
        }
        for (int p = begin; p < end; ++p) {
            ctx.pos = p;
            section(d, ctx, pages, p == end - 1 ? footers : 0);
        }
        return;
    }
    const QVector<int>& rows = *ctx.rows;
    const QVector<double> keys = m_groupKeys[level];
    int b = begin;
    while (b < end) {
        int e = b + 1;
        while (e < end && keys[rows[e]] == keys[rows[b]])
            ++e;
        ctx.ranges[level] = {b, e};
        ctx.pos = b;
        const Section* header = report.findSection(SectionKind::GroupHeader, level + 1);
        section(header, ctx, pages, header ? leadHeight(report, ctx, level + 1, b) : 0);
        const bool repeat = header && header->repeatOnNewPage && ctx.main;
        if (repeat)
            m_openHeaders.append({header, ctx});
        walk(report, ctx, level + 1, b, e, pages);
        if (repeat)
            m_openHeaders.removeLast();
        ctx.ranges[level] = {b, e};
        ctx.pos = e - 1;
        section(report.findSection(SectionKind::GroupFooter, level + 1), ctx, pages);
        b = e;
    }
}

// The height of what a heading at `level` leads to before the first row shows: the headers of the deeper
// groups, the first detail band, and the heading and first line of the first subreport it holds.
double Flow::leadHeight(const Report& report, Context ctx, int level, int pos)
{
    ctx.pos = pos;
    double h = 0;
    for (int l = level; l < report.groups.size(); ++l)
        if (const Section* s = report.findSection(SectionKind::GroupHeader, l + 1))
            h += makeBand(*s, ctx).height;
    const Section* d = report.findSection(SectionKind::Details);
    if (!d)
        return h;
    h += makeBand(*d, ctx).height;
    for (const ReportObject& o : d->objects) {
        if (o.kind != ObjectKind::Subreport || !o.subreport)
            continue;
        Context sub;
        sub.report = o.subreport.get();
        sub.x = ctx.x + o.left;
        sub.main = false;
        if (const Section* rh = o.subreport->findSection(SectionKind::ReportHeader))
            h += makeBand(*rh, sub).height;
        h += 236;
        break;
    }
    return h;
}

void Flow::section(const Section* s, const Context& ctx, Paginator& pages, double keepNext)
{
    if (!s)
        return;
    Band b = placedBand(*s, ctx, pages);
    b.keepNext = keepNext;
    if (b.height > 0 || !b.items.isEmpty())
        pages.place(std::move(b), ctx);
    for (const ReportObject& o : s->objects) {
        if (o.kind != ObjectKind::Subreport || !o.subreport)
            continue;
        const Report& sub = *o.subreport;
        QVector<int> rows;
        if (o.linkColumn.isEmpty() || o.subLinkColumn.isEmpty()) {
            for (int r = 0; r < sub.data.rowCount(); ++r)
                rows << r;
        } else {
            auto it = m_links.find(&o);
            if (it == m_links.end()) {
                QHash<QString, QVector<int>> index;
                const int col = sub.data.columnIndex(o.subLinkColumn);
                for (int r = 0; r < sub.data.rowCount(); ++r)
                    index[sub.data.value(r, col).toString()] << r;
                it = m_links.insert(&o, index);
            }
            rows = it->value(ctx.report->data.value(ctx.row(), o.linkColumn).toString());
        }
        // The subreport keeps its own group keys; the caller's are put back after it.
        const QVector<QVector<double>> saved = m_groupKeys;
        layoutReport(sub, rows, ctx.x + o.left, false, pages);
        m_groupKeys = saved;
    }
}

Band Flow::placedBand(const Section& s, const Context& ctx, const Paginator& pages)
{
    Band b = makeBand(s, ctx);
    if (m_measureOnly && pages.maySplit(b.height)) {
        m_measureOnly = false;
        b = makeBand(s, ctx);
        m_measureOnly = true;
    }
    return b;
}

QString Flow::fieldText(const ReportObject& o, const Context& ctx)
{
    const DataTable& data = ctx.report->data;
    const int col = data.columnIndex(o.column);
    const ValueType type = col >= 0 ? data.types[col] : ValueType::Text;
    if (o.source == FieldSource::Column)
        return FormatValue(data.value(ctx.row(), col), type, o);
    // Summary over the group's rows, or all rows of the report; none in a page header or footer.
    if (!ctx.rows)
        return FormatValue(o.op == SummaryOp::Count ? QVariant(0) : QVariant(), ValueType::Number, o);
    int b = 0, e = int(ctx.rows->size());
    if (o.summaryGroup > 0 && o.summaryGroup <= ctx.ranges.size())
        std::tie(b, e) = ctx.ranges[o.summaryGroup - 1];
    double total = 0;
    int count = 0;
    for (int p = b; p < e; ++p) {
        const QVariant v = data.value((*ctx.rows)[p], col);
        if (v.isNull())
            continue;
        ++count;
        total += v.toDouble();
    }
    if (o.op == SummaryOp::Count)
        return FormatValue(count, ValueType::Number, o);
    return FormatValue(total, type == ValueType::Currency ? ValueType::Currency : ValueType::Number, o);
}

Band Flow::makeBand(const Section& s, const Context& ctx)
{
    Band band;
    band.height = s.height;
    const double width = ctx.report->sectionWidth();
    // No box reaches past the right margin, whatever paper its width was set for.
    const double pageRight = m_main.marginLeft + m_main.sectionWidth();
    const bool keep = !m_measureOnly;
    if (keep && s.background.isValid()) {
        LaidItem fill;
        fill.kind = LaidItem::Fill;
        fill.color = s.background;
        fill.section = s.name;
        band.items << fill;  // sized below, once the height is known
        band.specials << -1;
    }

    // Growing texts first: their lines, and how much taller than their boxes they are.
    const int n = int(s.objects.size());
    QVector<QString> texts(n);
    QVector<QStringList> wrapped(n);
    std::vector<double> extra;
    for (int i = 0; i < n; ++i) {
        const ReportObject& o = s.objects[i];
        if (!o.canGrow || o.kind == ObjectKind::Subreport || o.kind == ObjectKind::Line ||
            (o.kind == ObjectKind::Field && o.source == FieldSource::Special))
            continue;
        texts[i] = o.kind == ObjectKind::Text ? o.text : fieldText(o, ctx);
        const QString& text = texts[i];
        const double boxWidth = std::max(0.0, std::min(o.width, pageRight - ctx.x - o.left));
        const Fonts::Entry& f = m_fonts.get(o.fontSize, o.isBold, o.isItalic, o.isUnderline);
        if ((text.size() * f.maxChar > boxWidth && f.metrics.horizontalAdvance(text) > boxWidth) ||
            text.contains(QLatin1Char('\n'))) {
            wrapped[i] = WrapReportText(text, f.metrics, boxWidth);
            const double grown = wrapped[i].size() * std::max(f.metrics.height(), 1.0) - o.height;
            if (grown > kEps) {
                if (extra.empty())
                    extra.assign(size_t(n), 0.0);
                extra[size_t(i)] = grown;
            }
        }
    }
    // What starts lower than a text that grew moves down with it (as far as the tallest growth above it).
    std::vector<double> shift(size_t(n), 0.0);
    if (!extra.empty()) {
        auto top = [&](int i) {
            const ReportObject& o = s.objects[i];
            return o.kind == ObjectKind::Line ? std::min(o.top, o.bottom) : o.top;
        };
        QVector<int> order(n);
        for (int i = 0; i < n; ++i)
            order[i] = i;
        std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return top(a) < top(b); });
        for (int k = 0; k < n; ++k)
            for (int j = 0; j < k; ++j) {
                const size_t i = size_t(order[k]), above = size_t(order[j]);
                if (extra[above] > 0 && top(int(i)) > s.objects[int(above)].top + kEps)
                    shift[i] = std::max(shift[i], shift[above] + extra[above]);
            }
        // The section grows by as much, keeping the room it had below its objects.
        for (size_t i = 0; i < size_t(n); ++i)
            band.height = std::max(band.height, s.height + shift[i] + extra[i]);
    }

    for (int i = 0; i < n; ++i) {
        const ReportObject& o = s.objects[i];
        const double oTop = o.top + shift[size_t(i)];
        if (o.kind == ObjectKind::Subreport)
            continue;
        if (o.kind == ObjectKind::Line) {
            band.height = std::max(band.height, std::max(o.top, o.bottom) + shift[size_t(i)]);
            if (keep) {
                LaidItem it;
                it.kind = LaidItem::Line;
                it.rect = QRectF(QPointF(std::min(ctx.x + o.left, pageRight), o.top + shift[size_t(i)]),
                                 QPointF(std::min(ctx.x + o.right, pageRight), o.bottom + shift[size_t(i)]));
                it.section = s.name;
                it.object = o.name;
                band.items << it;
                band.specials << -1;
            }
            continue;
        }
        double bottom = oTop + o.height;
        if (!keep && !o.canGrow) {
            band.height = std::max(band.height, bottom);
            continue;
        }
        const double boxWidth = std::max(0.0, std::min(o.width, pageRight - ctx.x - o.left));
        LaidItem it;
        it.rect = QRectF(ctx.x + o.left, oTop, boxWidth, o.height);
        it.fontSize = o.fontSize;
        it.bold = o.isBold;
        it.italic = o.isItalic;
        it.underline = o.isUnderline;
        it.align = o.align;
        it.section = s.name;
        it.object = o.name;
        int special = -1;
        QString text;
        if (o.kind == ObjectKind::Text)
            text = o.text;
        else if (o.source == FieldSource::Special)
            special = int(o.special);
        else
            text = o.canGrow ? texts[i] : fieldText(o, ctx);
        const Fonts::Entry& f = m_fonts.get(o.fontSize, o.isBold, o.isItalic, o.isUnderline);
        if (!wrapped[i].isEmpty()) {
            // One item per line, so a page may end between lines.
            const double lineHeight = std::max(f.metrics.height(), 1.0);
            double y = oTop;
            for (const QString& line : std::as_const(wrapped[i])) {
                if (keep) {
                    LaidItem li = it;
                    li.text = line;
                    li.rect = QRectF(ctx.x + o.left, y, boxWidth, std::min(o.height, lineHeight));
                    band.items << li;
                    band.specials << -1;
                }
                y += lineHeight;
            }
            bottom = std::max(bottom, y);
            band.height = std::max(band.height, bottom);
            continue;
        }
        band.height = std::max(band.height, bottom);
        if (!keep)
            continue;
        const bool mayOverflow = special < 0 && text.size() * f.maxChar > boxWidth;
        if (mayOverflow && f.metrics.horizontalAdvance(text) > boxWidth)
            text = f.metrics.elidedText(text, Qt::ElideRight, boxWidth);
        it.text = text;
        band.items << it;
        band.specials << special;
    }
    if (keep && s.background.isValid())
        band.items[0].rect = QRectF(ctx.x, 0, width, band.height);
    return band;
}

}  // namespace

QFont ReportFont(const QString& family, double points, bool bold, bool italic, bool underline)
{
    SubstituteReportFonts();
    QFont f(family);
    f.setPixelSize(std::max(1, int(std::lround(points * 20))));
    f.setBold(bold);
    f.setItalic(italic);
    f.setUnderline(underline);
    f.setHintingPreference(QFont::PreferNoHinting);
    f.setStyleStrategy(QFont::PreferOutline);
    return f;
}

QStringList WrapReportText(const QString& text, const QFontMetricsF& metrics, double width, double firstWidth)
{
    QStringList out;
    // The width of the line being filled: the first one may start further right.
    auto room = [&] { return out.isEmpty() && firstWidth >= 0 ? firstWidth : width; };
    auto fits = [&](const QString& s) { return metrics.horizontalAdvance(s) <= room() + kEps; };
    const QStringList paragraphs = QString(text).replace(QLatin1String("\r\n"), QLatin1String("\n")).split(QLatin1Char('\n'));
    for (const QString& paragraph : paragraphs) {
        QString line;
        for (QString word : paragraph.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            const QString longer = line.isEmpty() ? word : line + QLatin1Char(' ') + word;
            if (fits(longer)) {
                line = longer;
                continue;
            }
            if (!line.isEmpty() || (out.isEmpty() && firstWidth >= 0 && firstWidth < width)) {
                out << line;
                line.clear();
                if (fits(word)) {
                    line = word;
                    continue;
                }
            }
            // A word wider than the box is cut where the box ends, never into nothing.
            while (!fits(word)) {
                int lo = 1, hi = int(word.size()) - 1;
                while (lo < hi) {
                    const int m = (lo + hi + 1) / 2;
                    if (fits(word.left(m)))
                        lo = m;
                    else
                        hi = m - 1;
                }
                if (lo > 1 && word.at(lo).isLowSurrogate())
                    --lo;
                out << word.left(lo);
                word = word.mid(lo);
            }
            line = word;
        }
        out << line;
    }
    return out;
}

QFont ObjectFont(const Report& report, const ReportObject& object)
{
    return ReportFont(report.fontFamily, object.fontSize, object.isBold, object.isItalic, object.isUnderline);
}

ReportLayout::ReportLayout(const Report& report) : m_report(report) {}

int ReportLayout::pageCount()
{
    if (m_pageCount < 0) {
        Fonts fonts(m_report.fontFamily);
        Flow flow(m_report, fonts, true, 0);
        Paginator pages(m_report, flow, 0, {}, 1, std::numeric_limits<int>::max(), m_onPage);
        flow.run(pages);
        m_pageCount = pages.pages();
    }
    return m_pageCount;
}

void ReportLayout::run(const std::function<void(const LaidPage&)>& sink)
{
    const int total = pageCount();
    Fonts fonts(m_report.fontFamily);
    Flow flow(m_report, fonts, false, total);
    Paginator pages(m_report, flow, total, sink, 1, std::numeric_limits<int>::max(), m_onPage);
    flow.run(pages);
}

QVector<LaidPage> ReportLayout::pages(int first, int last)
{
    const int total = pageCount();
    first = std::max(first, 1);
    last = std::min(last, total);
    QVector<LaidPage> out;
    if (first > last)
        return out;
    Fonts fonts(m_report.fontFamily);
    Flow flow(m_report, fonts, false, total);
    Paginator paginator(m_report, flow, total, [&out](const LaidPage& p) { out << p; }, first, last, m_onPage);
    try {
        flow.run(paginator);
    } catch (const StopLayout&) {
    }
    return out;
}

QVector<LaidPage> ReportLayout::allPages()
{
    QVector<LaidPage> out;
    run([&](const LaidPage& p) { out << p; });
    return out;
}

void PaintPage(const Report& report, const LaidPage& page, QPainter& painter, double unitsPerTwip)
{
    painter.save();
    painter.scale(unitsPerTwip, unitsPerTwip);
    struct Face {
        QFont font;
        QFontMetricsF metrics;
    };
    std::map<FontKey, Face> faces;
    const Face* current = nullptr;
    const QPen text(Qt::black);
    QPen rule(Qt::black);
    rule.setWidthF(15);
    painter.setPen(text);
    for (const LaidItem& it : page.items) {
        switch (it.kind) {
        case LaidItem::Fill:
            painter.fillRect(it.rect, it.color);
            break;
        case LaidItem::Line:
            painter.setPen(rule);
            painter.drawLine(it.rect.topLeft(), it.rect.bottomRight());
            painter.setPen(text);
            break;
        case LaidItem::Text: {
            if (it.text.isEmpty())
                break;
            const FontKey key{it.fontSize, it.bold, it.italic, it.underline};
            auto f = faces.find(key);
            if (f == faces.end()) {
                const QFont font = ReportFont(report.fontFamily, it.fontSize, it.bold, it.italic, it.underline);
                f = faces.emplace(key, Face{font, QFontMetricsF(font)}).first;
            }
            if (current != &f->second) {
                current = &f->second;
                painter.setFont(current->font);
            }
            double x = it.rect.left();
            if (it.align != AlignLeft) {
                const double w = current->metrics.horizontalAdvance(it.text);
                x += it.align == AlignRight ? it.rect.width() - w : (it.rect.width() - w) / 2;
            }
            painter.drawText(QPointF(x, it.rect.top() + current->metrics.ascent()), it.text);
            break;
        }
        }
    }
    painter.restore();
}

namespace {

int PaintAll(const Report& report, QPagedPaintDevice& device, double resolution, const QString& label)
{
    // Counted first, then painted page by page; the user may cancel either pass.
    ReportWork work(label);
    ReportLayout layout(report);
    layout.setPageWatcher([&work](int page) { work.stepTo(page); });
    const int total = layout.pageCount();
    work.setTotal(total);
    QPainter painter;
    if (!painter.begin(&device))
        throw KrvError(482, QStringLiteral("Printer error."));
    int pages = 0;
    layout.run([&](const LaidPage& page) {
        if (pages++ > 0)
            device.newPage();
        PaintPage(report, page, painter, resolution / 1440.0);
    });
    if (!painter.end())
        throw KrvError(482, QStringLiteral("Printer error."));
    return pages;
}

}  // namespace

int WriteReportPdf(const Report& report, const QString& path)
{
    // Checked whole before it takes the name: a full disk leaves the old file, never a cut one.
    SaveFile file(path);
    file.setExpectPdf(true);
    if (!file.open())
        throw FileWriteError(file.failureText());
    int pages = 0;
    {
        QPdfWriter pdf(&file);
        pdf.setTitle(report.title);
        pdf.setCreator(QStringLiteral("KRV"));
        pdf.setResolution(1200);
        pdf.setPageLayout(report.pageLayout());
        pages = PaintAll(report, pdf, pdf.resolution(), QStringLiteral("Writing the PDF file..."));
    }
    if (!file.commit())
        throw FileWriteError(file.failureText());
    return pages;
}

int PrintReport(const Report& report, QPrinter& printer)
{
    // Our positions are from the paper's corner; the printer is shared, so its own setting comes back.
    struct FullPage {
        QPrinter& p;
        bool was;
        explicit FullPage(QPrinter& printer) : p(printer), was(printer.fullPage()) { p.setFullPage(true); }
        ~FullPage() { p.setFullPage(was); }
    } fullPage(printer);
    printer.setDocName(report.title);
    PrintFile file(printer);
    try {
        const int pages = PaintAll(report, printer, printer.resolution(), QStringLiteral("Printing the report..."));
        file.finish();
        return pages;
    } catch (const ReportCancelled&) {
        printer.abort();
        throw;
    }
}

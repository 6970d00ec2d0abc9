#include "reportlayouts.h"

#include "db.h"
#include "helpers.h"
#include "reportlayout.h"

#include <QFontMetricsF>

#include <QLocale>
#include <QMap>
#include <QSet>

#include <algorithm>
#include <cmath>

namespace {

const QColor kSilver(192, 192, 192);

ReportObject title(const QString& text, double top, double width)
{
    return ReportObject::textObject(text, 0, top, width, 390).size(18).bold().italic().centre();
}

// Print date and "Page n of m" at the foot of every page.
void pageFooter(Report& r)
{
    r.pageFooter().height = 220;
    r.pageFooter().add(ReportObject::specialField(SpecialField::PrintDate, 155, 429, 770, 226).size(8));
    r.pageFooter().add(ReportObject::specialField(SpecialField::PageNofM, 155, 700, 1070, 226).size(8));
}

// The width of the widest amount of a column as a field shows it and as its sums show it in bold: no row, subtotal
// or total can be wider than the largest amount and the sum of all amounts, with a sign when one is negative.
// (Digits are all of one width.)
double AmountWidth(const Report& r, const DataTable& rows, int column, const ReportObject& field)
{
    double largest = 0, all = 0;
    bool negative = false;
    for (int row = 0; row < rows.rowCount(); ++row) {
        const double v = rows.value(row, column).toDouble();
        largest = std::max(largest, std::abs(v));
        all += std::abs(v);
        negative = negative || v < 0;
    }
    ReportObject bold = field;
    bold.bold();
    const QFontMetricsF plain(ObjectFont(r, field)), strong(ObjectFont(r, bold));
    const double sign = negative ? -1 : 1;
    const ValueType type = rows.types.value(column);
    return std::max(plain.horizontalAdvance(FormatValue(sign * largest, type, field)),
                    strong.horizontalAdvance(FormatValue(sign * all, type, field)));
}

// The widest text of a column as the field shows it.
double WidestText(const Report& r, const DataTable& rows, int column, const ReportObject& field)
{
    const QFontMetricsF fm(ObjectFont(r, field));
    double widest = 0;
    QSet<QString> seen;
    for (int row = 0; row < rows.rowCount(); ++row) {
        const QString text = FormatValue(rows.value(row, column), rows.types.value(column), field);
        if (!seen.contains(text)) {
            seen.insert(text);
            widest = std::max(widest, fm.horizontalAdvance(text));
        }
    }
    return widest;
}

std::shared_ptr<Report> newReport(const QString& name)
{
    auto r = std::make_shared<Report>();
    r->marginLeft = r->marginRight = r->marginTop = r->marginBottom = 720;
    r->title = name;
    return r;
}

}  // namespace

// ------------------------------------------------------------------ expenditure

std::shared_ptr<Report> BuildExpenditureReport(const DataTable& rows, const QString& grouping)
{
    auto r = newReport(QStringLiteral("Expenditures Report"));
    r->data = rows;
    const double width = r->sectionWidth();
    r->reportHeader().add(title(QStringLiteral("Corvane Quorrel"), 235, width));
    r->reportHeader().add(title(QStringLiteral("Expenditures Report"), 655, width));

    // The group value: the category, the month's name, or the year.
    QString groupValue = QStringLiteral("Category");
    int group = 0;
    if (grouping == QLatin1String("Month")) {
        r->addFormula(QStringLiteral("MonthName"), ValueType::Text, [](const DataTable& t, int row) {
            const QDate d = t.value(row, QStringLiteral("Date")).toDate();
            return d.isValid() ? QVariant(QLocale(QLocale::English).standaloneMonthName(d.month())) : QVariant();
        });
        groupValue = QStringLiteral("MonthName");
        group = r->addGroup(QStringLiteral("Date"), GroupCondition::Monthly);
        r->sortBy(QStringLiteral("Date"));
    } else if (grouping == QLatin1String("Year")) {
        r->addFormula(QStringLiteral("Year"), ValueType::Number, [](const DataTable& t, int row) {
            const QDate d = t.value(row, QStringLiteral("Date")).toDate();
            return d.isValid() ? QVariant(d.year()) : QVariant();
        });
        groupValue = QStringLiteral("Year");
        group = r->addGroup(QStringLiteral("Date"), GroupCondition::Yearly);
    } else {
        group = r->addGroup(QStringLiteral("Category"));
    }
    r->sortBy(QStringLiteral("TunnelName"));

    // Amounts are never cut: the Cost column is as wide as the widest amount of the report, its sums included.
    const int costColumn = rows.columnIndex(QStringLiteral("Cost"));
    const bool hasCost = costColumn > 0 && rows.types.value(costColumn) == ValueType::Currency;
    ReportObject money = ReportObject::field(QString(), 0, 0, 0, 236).money();
    double costWidth = 1089;
    if (hasCost)
        costWidth = std::max(costWidth, AmountWidth(*r, rows, costColumn, money) + 60);

    // A long group value wraps; the headings below it and the subtotal below the footer's value move down with it.
    ReportObject groupField = ReportObject::field(groupValue, 0, 0, 5620, 226).bold().grow().fixed(
        groupValue == QLatin1String("Year") ? 0 : -1);
    double costLeft = -1;
    {
        double l = 240;
        for (int c = 1; c < rows.columns.size() && costLeft < 0; ++c) {
            const ValueType type = rows.types.value(c);
            if (type == ValueType::Currency && c == costColumn)
                costLeft = l;
            l += (type == ValueType::DateTime ? 1050 : type == ValueType::Number ? 750 : 2280) + 20;
        }
    }
    const double headTop = 235;

    Section& header = r->groupHeader(group);
    header.height = 220;
    header.background = kSilver;
    header.repeatOnNewPage = true;  // a group going on to the next page keeps its name and column headings
    header.add(groupField);
    r->details().height = 200;

    // Every column after the grouping one, left to right.
    double left = 240;
    for (int c = 1; c < rows.columns.size(); ++c) {
        const QString name = rows.columns[c];
        const ValueType type = rows.types.value(c);
        double dataWidth = 2280, headWidth = 2280, advance = 2280;
        ReportObject data = ReportObject::field(name, left, 0, dataWidth, 236);
        ReportObject head = ReportObject::textObject(name, left, headTop, headWidth, 236).size(8).italic();
        if (type == ValueType::DateTime) {
            dataWidth = headWidth = advance = 1050;
            data.dateFormat = QStringLiteral("MM/dd/yyyy");
        } else if (type == ValueType::Currency) {
            dataWidth = advance = costWidth;
            headWidth = costWidth - 89;
            data.money().rightAligned();
            head.rightAligned();
        } else if (type == ValueType::Number) {
            dataWidth = headWidth = advance = 750;
            data.fixed(0);
        } else {
            // Long names and comments wrap, short of the next column.
            dataWidth = headWidth = 2180;
            data.grow();
        }
        data.width = dataWidth;
        head.width = headWidth;
        r->details().add(data);
        header.add(head);
        left += advance + 20 + (type == ValueType::Currency ? 50 : 0);
    }

    // Subtotals and the grand total only when there are costs to add up.
    if (hasCost && costLeft >= 0) {
        const QString cost = rows.columns[costColumn];
        Section& footer = r->groupFooter(group);
        ReportObject footerValue = groupField;
        footerValue.top = 100;
        footerValue.width = costLeft - 40;
        footerValue.height = 236;
        footerValue.rightAligned();
        footer.add(footerValue);
        // Sums stand in the Cost column, which holds the widest of them; captions end short of them.
        const double subtotalTop = 300;
        const double captionWidth = costLeft - 40;
        footer.add(ReportObject::textObject(QStringLiteral("Subtotal:"), 0, subtotalTop, captionWidth, 236)
                       .bold()
                       .rightAligned());
        footer.add(ReportObject::summary(SummaryOp::Sum, cost, group, costLeft, subtotalTop, costWidth, 236)
                       .money()
                       .bold()
                       .rightAligned());
        Section& total = r->reportFooter();
        total.height = 450;
        total.add(ReportObject::summary(SummaryOp::Sum, cost, 0, costLeft, 40, costWidth, 236).money().bold().rightAligned());
        total.add(ReportObject::line(costLeft, 286, costLeft + costWidth, 286));  // under the whole total
        total.add(ReportObject::textObject(QStringLiteral("Expenditures Grand Total:"), 0, 80, captionWidth, 236)
                      .bold()
                      .rightAligned());
    }
    pageFooter(*r);
    return r;
}

// ------------------------------------------------------------------ element condition evaluation

namespace {

// The whole grid of an element condition evaluation: a row per panel, a cell per element and period.
struct ConditionGrid {
    QString kind;
    QStringList elements;  // by name
    QList<int> years;
    DataTable cells;       // TunnelName, PanelNum, PanelName, then element e, year y at 3 + e * years + y
};

// Lays the grid out for the report's width. The elements that fit side by side make one block of columns; more
// elements go on in further blocks under the same tunnel, each with its headings, so no column leaves the page.
void LayOutConditionGrid(Report& r, const ConditionGrid& g)
{
    const double width = r.sectionWidth();
    const int years = std::max(1, int(g.years.size()));
    const int elements = int(g.elements.size());

    ReportObject heading = ReportObject::textObject(QString(), 0, 40, 0, 236).size(8).bold().centre().grow();
    ReportObject year = ReportObject::textObject(QString(), 0, 0, 0, 236).size(8).italic().centre();
    ReportObject cell = ReportObject::field(QString(), 0, 0, 0, 236).size(9).centre();
    const QFontMetricsF yearFm(ObjectFont(r, year)), cellFm(ObjectFont(r, cell));
    const double nameWidth = 1800;
    const double room = width - nameWidth;
    // A cell holds its period's year and "n/a" with room between neighbours.
    const double minCell = std::max({400.0, yearFm.horizontalAdvance(QStringLiteral("0000")) + 160,
                                     cellFm.horizontalAdvance(QStringLiteral("n/a")) + 160});
    const int fit = std::max(1, int(room / (minCell * years)));
    const int blocks = elements ? (elements + fit - 1) / fit : 1;
    const int perBlock = elements ? (elements + blocks - 1) / blocks : 0;
    const double cellWidth = perBlock ? std::min(1440.0, room / (perBlock * years)) : 0;
    const double headWidth = cellWidth * years - 120;  // a gap between neighbouring headings

    // One row per panel and block; the block's headings and years are fields of its rows.
    DataTable t;
    t.addColumn(QStringLiteral("TunnelName"), ValueType::Text);
    t.addColumn(QStringLiteral("PanelNum"), ValueType::Number);
    t.addColumn(QStringLiteral("PanelName"), ValueType::Text);
    t.addColumn(QStringLiteral("Block"), ValueType::Number);
    for (int k = 0; k < perBlock; ++k) {
        t.addColumn(QStringLiteral("h%1").arg(k), ValueType::Text);
        for (int y = 0; y < years; ++y) {
            t.addColumn(QStringLiteral("y%1_%2").arg(k).arg(y), ValueType::Text);
            t.addColumn(QStringLiteral("c%1_%2").arg(k).arg(y), ValueType::Text);
        }
    }
    for (int row = 0; row < g.cells.rowCount(); ++row)
        for (int b = 0; b < blocks; ++b) {
            QVariantList v{g.cells.value(row, 0), g.cells.value(row, 1), g.cells.value(row, 2), b};
            for (int k = 0; k < perBlock; ++k) {
                const int e = b * perBlock + k;
                v << (e < elements ? QVariant(g.elements[e]) : QVariant());
                for (int y = 0; y < years; ++y) {
                    const bool shown = e < elements && y < g.years.size();
                    v << (shown ? QVariant(QString::number(g.years[y])) : QVariant());
                    v << (shown ? g.cells.value(row, 3 + e * int(g.years.size()) + y) : QVariant());
                }
            }
            t.appendRow(v);
        }
    r.data = t;

    // Long element names wrap; the years and the rule move down with them.
    const double yearTop = heading.top + heading.height + 40;
    const double rule = yearTop + year.height + 24;

    Section& ph = r.pageHeader();
    ph.objects.clear();
    ph.add(ReportObject::textObject(g.kind, 15, 440, width - 15, 435).size(18).bold().italic().centre().grow());
    Section& tunnel = r.groupHeader(1);
    tunnel.objects.clear();
    tunnel.add(ReportObject::field(QStringLiteral("TunnelName"), 0, 60, width, 300).size(12).bold().centre().grow());
    Section& gh = r.groupHeader(2);
    gh.objects.clear();
    Section& d = r.details();
    d.objects.clear();
    gh.add(ReportObject::textObject(QStringLiteral("Panel"), 0, yearTop, nameWidth, 236).size(8).bold());
    d.add(ReportObject::field(QStringLiteral("PanelName"), 0, 0, nameWidth - 120, 236).size(9).grow());
    double left = nameWidth;
    for (int k = 0; k < perBlock; ++k) {
        ReportObject h = heading;
        h.kind = ObjectKind::Field;
        h.source = FieldSource::Column;
        h.column = QStringLiteral("h%1").arg(k);
        h.left = left;
        h.width = headWidth;
        gh.add(h);
        for (int y = 0; y < years; ++y) {
            ReportObject yo = year;
            yo.kind = ObjectKind::Field;
            yo.source = FieldSource::Column;
            yo.column = QStringLiteral("y%1_%2").arg(k).arg(y);
            yo.left = left;
            yo.top = yearTop;
            yo.width = cellWidth - 40;
            gh.add(yo);
            ReportObject c = cell;
            c.column = QStringLiteral("c%1_%2").arg(k).arg(y);
            c.left = left;
            c.width = cellWidth - 40;
            d.add(c);
            left += cellWidth;
        }
    }
    gh.add(ReportObject::line(0, rule, std::min(width, left), rule));
    gh.height = rule + 60;  // the first row clear of the rule
}

}  // namespace

std::shared_ptr<Report> BuildElementConditionReport(const RowSet& rows, const RowSet& tunnels, const QString& kind)
{
    auto r = newReport(kind);
    // The joined rows name some columns twice; each is read by its position in its table.
    const int cPanelId = 0, cPanelNum = 2, cPanelName = 3, cElementId = 4, cElementName = 5, cRating = 10,
              cTunnelId = 1, cYear = 13;
    QMap<QString, QString> tunnelNames;  // id -> name
    for (int i = 0; i < tunnels.count(); ++i)
        tunnelNames.insert(tunnels.value(i, QStringLiteral("TunnelID")).toString(),
                           tunnels.value(i, QStringLiteral("TunnelName")).toString());

    // The grid: elements by name, each with one column per period present.
    QMap<QString, qint32> elements;  // name -> id, in name order
    QSet<int> yearSet;
    for (int i = 0; i < rows.count(); ++i) {
        elements.insert(rows.value(i, cElementName).toString(), rows.value(i, cElementId).toInt());
        yearSet.insert(rows.value(i, cYear).toInt());
    }
    ConditionGrid g;
    g.kind = kind;
    g.years = yearSet.values();
    std::sort(g.years.begin(), g.years.end());
    g.elements = elements.keys();

    DataTable& grid = g.cells;
    grid.addColumn(QStringLiteral("TunnelName"), ValueType::Text);
    grid.addColumn(QStringLiteral("PanelNum"), ValueType::Number);
    grid.addColumn(QStringLiteral("PanelName"), ValueType::Text);
    QHash<QPair<qint32, int>, int> cellColumn;  // (element, year) -> column
    for (auto e = elements.cbegin(); e != elements.cend(); ++e)
        for (int y : g.years) {
            cellColumn.insert({e.value(), y}, int(grid.columns.size()));
            grid.addColumn(QStringLiteral("c%1_%2").arg(e.value()).arg(y), ValueType::Text);
        }
    QHash<qint32, QVariantList> panelRows;  // panel -> row values
    QVector<qint32> panelOrder;
    for (int i = 0; i < rows.count(); ++i) {
        const qint32 panel = rows.value(i, cPanelId).toInt();
        if (!panelRows.contains(panel)) {
            QVariantList v(grid.columns.size());
            v[0] = tunnelNames.value(rows.value(i, cTunnelId).toString());
            v[1] = rows.value(i, cPanelNum);
            v[2] = rows.value(i, cPanelName);
            panelRows.insert(panel, v);
            panelOrder << panel;
        }
        const int col = cellColumn.value({rows.value(i, cElementId).toInt(), rows.value(i, cYear).toInt()}, -1);
        if (col >= 0)
            panelRows[panel][col] = rows.value(i, cRating).toString().trimmed();
    }
    for (qint32 p : panelOrder)
        grid.appendRow(panelRows[p]);
    r->noDataText = QStringLiteral("No data");

    const int g1 = r->addGroup(QStringLiteral("TunnelName"));
    r->groupHeader(g1).repeatOnNewPage = true;
    // The headings sit in a header of their own (one per block of columns), so widening the tunnel's header
    // leaves them be.
    r->groupHeader(r->addGroup(QStringLiteral("Block"))).repeatOnNewPage = true;
    r->sortBy(QStringLiteral("PanelNum"));
    pageFooter(*r);
    r->fitToWidth = [g](Report& report) { LayOutConditionGrid(report, g); };
    r->fitWidth();
    return r;
}

// ------------------------------------------------------------------ defects

namespace {

struct DefectColumn {
    const char* heading;
    const char* column;
    double width;
    bool money;
    bool right;
};

// Lays the defect report out for the report's width: the numbers and amounts keep the width they need, the
// description takes what is left (down to a narrow column that wraps).
void LayOutDefectReport(Report& r, QVector<DefectColumn> cols, const QString& missing)
{
    for (Section& s : r.sections)
        if (s.kind != SectionKind::PageFooter)
            s.objects.clear();
    const double width = r.sectionWidth();
    const double gap = 160;
    r.reportHeader().add(title(QStringLiteral("Defect Quantity Report"), 235, width));
    // What the report leaves out is said under its title; a long list of years wraps.
    if (!missing.isEmpty())
        r.reportHeader().add(ReportObject::textObject(missing, 0, 700, width, 280).size(11).centre().grow());
    r.groupHeader(1).add(ReportObject::field(QStringLiteral("TunnelName"), 0, 60, width, 300).size(12).bold().grow());
    Section& yh = r.groupHeader(2);
    yh.add(ReportObject::field(QStringLiteral("InspectionYear"), 0, 0, 2000, 236).bold().fixed(0));
    double used = -gap;
    for (const DefectColumn& c : cols)
        used += c.width + gap;
    cols[1].width = std::max(1500.0, cols[1].width - std::max(0.0, used - width));
    double left = 0, totalLeft = 0, totalWidth = 0;
    for (const DefectColumn& c : cols) {
        ReportObject head = ReportObject::textObject(QLatin1String(c.heading), left, 260, c.width, 236).size(8).italic();
        ReportObject data = ReportObject::field(QLatin1String(c.column), left, 0, c.width, 236);
        if (c.right) {
            head.rightAligned();
            data.rightAligned();
        }
        if (c.money)
            data.money();
        else if (!c.right)
            data.grow();  // names, descriptions and units wrap
        yh.add(head);
        r.details().add(data);
        if (QLatin1String(c.column) == QLatin1String("TotalCost")) {
            totalLeft = left;
            totalWidth = c.width;
        }
        left += c.width + gap;
    }
    auto total = [&](Section& s, int group, const QString& caption) {
        s.add(ReportObject::textObject(caption, 0, 60, totalLeft - gap, 236).bold().rightAligned());
        s.add(ReportObject::summary(SummaryOp::Sum, QStringLiteral("TotalCost"), group, totalLeft, 60, totalWidth, 236)
                  .money()
                  .bold()
                  .rightAligned());
    };
    total(r.groupFooter(2), 2, QStringLiteral("Subtotal:"));
    total(r.groupFooter(1), 1, QStringLiteral("Tunnel Total:"));
    total(r.reportFooter(), 0, QStringLiteral("Defect Quantities Grand Total:"));
    r.reportFooter().add(ReportObject::line(totalLeft, 330, totalLeft + totalWidth, 330));
}

}  // namespace

QString MissingDefectYearsText(const DataTable& rows, const QVector<qint32>& years)
{
    QSet<qint32> present;
    const int col = rows.columnIndex(QStringLiteral("InspectionYear"));
    for (int row = 0; col >= 0 && row < rows.rowCount(); ++row)
        present.insert(rows.value(row, col).toInt());
    QVector<qint32> missing;
    for (const qint32 year : years)
        if (!present.contains(year) && !missing.contains(year))
            missing << year;
    if (missing.isEmpty())
        return QString();
    std::sort(missing.begin(), missing.end());
    QStringList names;
    for (const qint32 year : missing)
        names << QString::number(year);
    const QString last = names.takeLast();
    const QString list = names.isEmpty() ? last : names.join(QStringLiteral(", ")) + QStringLiteral(" and ") + last;
    return QStringLiteral("No posted defect quantities for %1.").arg(list);
}

std::shared_ptr<Report> BuildDefectReport(const DataTable& rows, const QVector<qint32>& years)
{
    auto r = newReport(QStringLiteral("Defect Quantity Report"));
    r->data = rows;
    const int gTunnel = r->addGroup(QStringLiteral("TunnelName"));
    const int gYear = r->addGroup(QStringLiteral("InspectionYear"));
    r->sortBy(QStringLiteral("PanelName"));
    r->sortBy(QStringLiteral("ID"));
    r->groupHeader(gTunnel).repeatOnNewPage = true;
    Section& yh = r->groupHeader(gYear);
    yh.background = kSilver;
    yh.repeatOnNewPage = true;
    QVector<DefectColumn> cols{{"Panel", "PanelName", 1240, false, false},  {"Description", "Description", 3340, false, false},
                               {"Quantity", "Quantity", 840, false, true},  {"Units", "Units", 840, false, false},
                               {"Unit Cost", "UnitCost", 1140, true, true}, {"Total Cost", "TotalCost", 1240, true, true}};
    // Numbers and amounts are never cut: their columns take the widest of them (the totals' sums included).
    for (DefectColumn& c : cols) {
        const int col = rows.columnIndex(QLatin1String(c.column));
        ReportObject probe = ReportObject::field(QLatin1String(c.column), 0, 0, 0, 236);
        if (c.money)
            probe.money();
        if (col >= 0 && QLatin1String(c.column) == QLatin1String("TotalCost"))
            c.width = std::max(c.width, AmountWidth(*r, rows, col, probe) + 40);
        else if (col >= 0 && c.right)
            c.width = std::max(c.width, WidestText(*r, rows, col, probe) + 40);
    }
    pageFooter(*r);
    const QString missing = MissingDefectYearsText(rows, years);
    r->fitToWidth = [cols, missing](Report& report) { LayOutDefectReport(report, cols, missing); };
    r->fitWidth();
    return r;
}

// ------------------------------------------------------------------ unposted data

std::shared_ptr<Report> BuildUnpostedDataReport(qint32 tunnelId, qint32 inspectionId)
{
    // Every panel of the tunnel with unposted ratings, defects or comment, with its comment
    // when that is unposted; a panel without a comment row is listed all the same.
    const RowSet panels = gConn.query(
        QStringLiteral(
            "SELECT t.TunnelName, ip.InspectionYear, p.PanelID, p.PanelName, p.PanelNum, "
            "CASE WHEN pc.Posted THEN '' ELSE IFNULL(pc.Comments, '') END AS Comment "
            "FROM Panels p JOIN Tunnels t ON t.TunnelID = p.TunnelID "
            "JOIN InspectionPeriod ip ON ip.InspectionID = ? "
            "LEFT JOIN PanelComments pc ON pc.PanelID = p.PanelID AND pc.InspectionID = ip.InspectionID "
            "WHERE p.TunnelID = ? AND ("
            "EXISTS (SELECT 1 FROM Ratings r WHERE r.PanelID = p.PanelID AND r.InspectionID = ip.InspectionID "
            "AND NOT r.Posted) OR "
            "EXISTS (SELECT 1 FROM DefectQuantity d WHERE d.PanelID = p.PanelID AND d.InspectionID = ip.InspectionID "
            "AND NOT d.Posted) OR "
            "EXISTS (SELECT 1 FROM PanelComments c WHERE c.PanelID = p.PanelID AND c.InspectionID = ip.InspectionID "
            "AND NOT c.Posted)) ORDER BY p.PanelNum, p.PanelID"),
        {inspectionId, tunnelId});
    const RowSet ratings = gConn.query(
        QStringLiteral("SELECT r.PanelID, e.ElementName, r.Rating FROM Ratings r JOIN AvailableElements e "
                       "ON e.ElementID = r.ElementID WHERE r.InspectionID = ? AND r.PanelID IN "
                       "(SELECT PanelID FROM Panels WHERE TunnelID = ?) AND NOT r.Posted ORDER BY e.ElementName"),
        {inspectionId, tunnelId});
    const RowSet defects = gConn.query(
        QStringLiteral("SELECT PanelID, Quantity, Units, UnitCost, TotalCost, Description FROM DefectQuantity "
                       "WHERE InspectionID = ? AND PanelID IN (SELECT PanelID FROM Panels WHERE TunnelID = ?) "
                       "AND NOT Posted ORDER BY ID"),
        {inspectionId, tunnelId});

    auto r = newReport(QStringLiteral("Unposted Inspection Data"));
    r->data = DataTable::fromRowSet(panels);
    r->addFormula(QStringLiteral("PanelCaption"), ValueType::Text, [](const DataTable& t, int row) {
        return QVariant(QStringLiteral("Panel: ") + t.value(row, QStringLiteral("PanelName")).toString());
    });
    const double width = r->sectionWidth();
    Section& rh = r->reportHeader();
    rh.add(title(QStringLiteral("Unposted Inspection Data"), 235, width));
    const QString tunnel = panels.isEmpty()
                               ? gConn.scalar(QStringLiteral("SELECT TunnelName FROM Tunnels WHERE TunnelID = ?"), {tunnelId})
                                     .toString()
                               : panels.value(0, QStringLiteral("TunnelName")).toString();
    QString year;
    if (!panels.isEmpty())
        year = panels.value(0, QStringLiteral("InspectionYear")).toString();
    else
        year = gConn.scalar(QStringLiteral("SELECT InspectionYear FROM InspectionPeriod WHERE InspectionID = ?"),
                            {inspectionId})
                   .toString();
    // A long tunnel name wraps and the year moves down below it.
    const ReportObject tunnelLine =
        ReportObject::textObject(QStringLiteral("Tunnel: ") + tunnel, 0, 700, width, 280).size(11).centre().grow();
    rh.add(tunnelLine);
    rh.add(ReportObject::textObject(QStringLiteral("Inspection Year: ") + year, 0, 1000, width, 280).size(11).centre());
    r->noDataText = QStringLiteral("There is no unposted data for this period.");

    // Group 1 holds the whole period; group 2 is the panel, so its sections are Section8 and 9.
    r->addGroup(QStringLiteral("InspectionYear"));
    const int gPanel = r->addGroup(QStringLiteral("PanelID"));
    Section& ph = r->groupHeader(gPanel);
    // A long panel name wraps and the rule moves down below it.
    ph.add(ReportObject::field(QStringLiteral("PanelCaption"), 0, 120, width, 260).bold().grow());
    ph.add(ReportObject::line(15, 420, 9825, 420));
    ph.repeatOnNewPage = true;

    auto ratingsReport = std::make_shared<Report>();
    ratingsReport->data = DataTable::fromRowSet(ratings);
    ratingsReport->noDataText = QStringLiteral("NONE");
    ratingsReport->reportHeader().add(ReportObject::textObject(QStringLiteral("Ratings"), 0, 60, 3000, 236).bold());
    ratingsReport->reportHeader().add(
        ReportObject::textObject(QStringLiteral("Element"), 240, 320, 3000, 236).size(8).italic());
    ratingsReport->reportHeader().add(
        ReportObject::textObject(QStringLiteral("Rating"), 3300, 320, 800, 236).size(8).italic());
    ratingsReport->details().add(ReportObject::field(QStringLiteral("ElementName"), 240, 0, 2900, 236).grow());
    ratingsReport->details().add(ReportObject::field(QStringLiteral("Rating"), 3300, 0, 800, 236).fixed(0));

    auto defectsReport = std::make_shared<Report>();
    defectsReport->data = DataTable::fromRowSet(defects);
    defectsReport->noDataText = QStringLiteral("NONE");
    defectsReport->reportHeader().add(
        ReportObject::textObject(QStringLiteral("Defect Quantities"), 0, 60, 3000, 236).bold());
    struct Col {
        const char* heading;
        const char* column;
        double width;
        bool money;
    };
    Col cols[] = {{"Description", "Description", 3300, false}, {"Quantity", "Quantity", 840, false},
                  {"Units", "Units", 840, false},             {"Unit Cost", "UnitCost", 1140, true},
                  {"Total Cost", "TotalCost", 1240, true}};
    // Numbers and amounts are never cut; the description gives up the room they need.
    const double gap = 160;
    double used = 240;
    for (Col& c : cols) {
        const int col = defectsReport->data.columnIndex(QLatin1String(c.column));
        ReportObject probe = ReportObject::field(QLatin1String(c.column), 0, 0, 0, 236);
        if (c.money)
            probe.money();
        if (col >= 0 && (c.money || QLatin1String(c.column) == QLatin1String("Quantity")))
            c.width = std::max(c.width, WidestText(*r, defectsReport->data, col, probe) + 40);
        used += c.width + gap;
    }
    cols[0].width = std::max(1500.0, cols[0].width - std::max(0.0, used - gap - width));
    double left = 240;
    for (const Col& c : cols) {
        ReportObject head = ReportObject::textObject(QLatin1String(c.heading), left, 320, c.width, 236).size(8).italic();
        ReportObject data = ReportObject::field(QLatin1String(c.column), left, 0, c.width, 236);
        if (c.money) {
            head.rightAligned();
            data.money().rightAligned();
        } else if (QLatin1String(c.column) != QLatin1String("Quantity")) {
            data.grow();  // descriptions and units wrap
        }
        defectsReport->reportHeader().add(head);
        defectsReport->details().add(data);
        left += c.width + gap;
    }

    ReportObject sub2 = ReportObject::subreportObject(ratingsReport, QStringLiteral("PanelID"),
                                                      QStringLiteral("PanelID"), 0, 0, width, 236)
                            .named(QStringLiteral("Subreport2"));
    ReportObject sub3 = ReportObject::subreportObject(defectsReport, QStringLiteral("PanelID"),
                                                      QStringLiteral("PanelID"), 0, 300, width, 236)
                            .named(QStringLiteral("Subreport3"));
    r->details().add(sub2);
    r->details().add(sub3);

    Section& pf = r->groupFooter(gPanel);
    pf.add(ReportObject::textObject(QStringLiteral("Comments:"), 0, 60, 1200, 236).bold());
    pf.add(ReportObject::field(QStringLiteral("Comment"), 1200, 60, width - 1200, 236).grow());
    pageFooter(*r);
    return r;
}

// ------------------------------------------------------------------ width and hand-over

void CheckReportWidth(Report& report, bool landscape, const QString& kind)
{
    report.orientation = landscape ? QPageLayout::Landscape : QPageLayout::Portrait;
    report.fitWidth();
    const double width = report.sectionWidth();
    for (Section& s : report.sections) {
        const bool expenditure = kind == QLatin1String("Expenditure");
        if (expenditure ? s.name != QLatin1String("Section3")
                        : (s.name != QLatin1String("Section6") && s.name != QLatin1String("Section1")))
            continue;
        for (ReportObject& o : s.objects)
            if (o.kind == ObjectKind::Text || (!expenditure && o.kind == ObjectKind::Field)) {
                o.width = width - o.left;
                o.align = AlignCentre;
            }
    }
}

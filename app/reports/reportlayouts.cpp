#include "reportlayouts.h"

#include "db.h"
#include "helpers.h"
#include "reportlayout.h"

#include <QFontMetricsF>

#include <QLocale>
#include <QMap>
#include <QSet>

#include <algorithm>

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

    Section& header = r->groupHeader(group);
    header.height = 220;
    header.background = kSilver;
    header.repeatOnNewPage = true;  // a group going on to the next page keeps its name and column headings
    header.add(ReportObject::field(groupValue, 0, 0, 5620, 226).bold().fixed(groupValue == QLatin1String("Year") ? 0 : -1));
    r->details().height = 200;

    // Every column after the grouping one, left to right.
    double left = 240;
    double costLeft = -1;
    for (int c = 1; c < rows.columns.size(); ++c) {
        const QString name = rows.columns[c];
        const ValueType type = rows.types.value(c);
        double dataWidth = 2280, headWidth = 2280;
        ReportObject data = ReportObject::field(name, left, 0, dataWidth, 236);
        ReportObject head = ReportObject::textObject(name, left, 235, headWidth, 236).size(8).italic();
        if (type == ValueType::DateTime) {
            dataWidth = headWidth = 1050;
            data.dateFormat = QStringLiteral("MM/dd/yyyy");
        } else if (type == ValueType::Currency) {
            dataWidth = 1089;
            headWidth = 1000;
            data.money().rightAligned();
            head.rightAligned();
            costLeft = left;
        } else if (type == ValueType::Number) {
            dataWidth = headWidth = 750;
            data.fixed(0);
        } else {
            data.grow();  // long comments wrap
        }
        data.width = dataWidth;
        head.width = headWidth;
        r->details().add(data);
        header.add(head);
        left += dataWidth + 20 + (type == ValueType::Currency ? 50 : 0);
    }

    // Subtotals and the grand total only when there are costs to add up.
    if (costLeft >= 0) {
        const QString cost = rows.columns[rows.columnIndex(QStringLiteral("Cost"))];
        Section& footer = r->groupFooter(group);
        footer.add(ReportObject::field(groupValue, 0, 100, costLeft - 40, 236).bold().rightAligned().fixed(
            groupValue == QLatin1String("Year") ? 0 : -1));
        // Totals end where the column ends; when the grand total in bold is wider than the
        // column, they reach further left and their captions end short of them, so no sum is
        // cut and no caption runs into it.
        double grand = 0;
        const int costColumn = rows.columnIndex(QStringLiteral("Cost"));
        for (int row = 0; row < rows.rowCount(); ++row)
            grand += rows.value(row, costColumn).toDouble();
        ReportObject probe = ReportObject::summary(SummaryOp::Sum, cost, 0, 0, 0, 0, 0).money().bold();
        const double sumWidth = std::max(
            1090.0, QFontMetricsF(ReportFont(r->fontFamily, probe.fontSize, true, false))
                            .horizontalAdvance(FormatValue(grand, ValueType::Currency, probe)) +
                        40);
        const double sumLeft = costLeft + 1090 - sumWidth;
        const double captionWidth = sumLeft - 40;
        footer.add(ReportObject::textObject(QStringLiteral("Subtotal:"), 0, 300, captionWidth, 236).bold().rightAligned());
        footer.add(ReportObject::summary(SummaryOp::Sum, cost, group, sumLeft, 300, sumWidth, 236)
                       .money()
                       .bold()
                       .rightAligned());
        Section& total = r->reportFooter();
        total.height = 450;
        total.add(ReportObject::summary(SummaryOp::Sum, cost, 0, sumLeft, 40, sumWidth, 236).money().bold().rightAligned());
        total.add(ReportObject::line(sumLeft, 286, costLeft + 1090, 286));  // under the whole total
        total.add(ReportObject::textObject(QStringLiteral("Expenditures Grand Total:"), 0, 80, captionWidth, 236)
                      .bold()
                      .rightAligned());
    }
    pageFooter(*r);
    return r;
}

// ------------------------------------------------------------------ element condition evaluation

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
    QList<int> years = yearSet.values();
    std::sort(years.begin(), years.end());

    DataTable grid;
    grid.addColumn(QStringLiteral("TunnelName"), ValueType::Text);
    grid.addColumn(QStringLiteral("PanelNum"), ValueType::Number);
    grid.addColumn(QStringLiteral("PanelName"), ValueType::Text);
    QHash<QPair<qint32, int>, int> cellColumn;  // (element, year) -> column
    for (auto e = elements.cbegin(); e != elements.cend(); ++e)
        for (int y : years) {
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
    r->data = grid;
    r->noDataText = QStringLiteral("No data");

    const double width = r->sectionWidth();
    Section& ph = r->pageHeader();
    ph.add(ReportObject::textObject(kind, 15, 440, width - 15, 435).size(18).bold().italic().centre());
    const int g = r->addGroup(QStringLiteral("TunnelName"));
    r->sortBy(QStringLiteral("PanelNum"));
    r->groupHeader(g).add(ReportObject::field(QStringLiteral("TunnelName"), 0, 60, width, 300).size(12).bold().centre());
    r->groupHeader(g).repeatOnNewPage = true;
    // The headings sit in a header of their own, so widening the tunnel's header leaves them be.
    Section& gh = r->groupHeader(r->addGroup(QStringLiteral("TunnelName")));
    gh.repeatOnNewPage = true;

    // Column headings under the tunnel's name, the cells one line a panel.
    const double nameWidth = 1800;
    const int cells = int(elements.size() * years.size());
    const double cellWidth = cells ? std::clamp((width - nameWidth) / cells, 400.0, 1440.0) : 0;
    gh.add(ReportObject::textObject(QStringLiteral("Panel"), 0, 300, nameWidth, 236).size(8).bold());
    r->details().add(ReportObject::field(QStringLiteral("PanelName"), 0, 0, nameWidth - 40, 236).size(9));
    double left = nameWidth;
    for (auto e = elements.cbegin(); e != elements.cend(); ++e) {
        gh.add(ReportObject::textObject(e.key(), left, 40, cellWidth * years.size() - 40, 236)
                   .size(8)
                   .bold()
                   .centre()
                   .grow());
        for (int y : years) {
            gh.add(ReportObject::textObject(QString::number(y), left, 300, cellWidth - 40, 236).size(8).italic().centre());
            r->details().add(
                ReportObject::field(QStringLiteral("c%1_%2").arg(e.value()).arg(y), left, 0, cellWidth - 40, 236)
                    .size(9)
                    .centre());
            left += cellWidth;
        }
    }
    gh.add(ReportObject::line(0, 560, std::min(width, left), 560));
    gh.height = 620;  // the first row clear of the rule
    pageFooter(*r);
    return r;
}

// ------------------------------------------------------------------ defects

std::shared_ptr<Report> BuildDefectReport(const DataTable& rows)
{
    auto r = newReport(QStringLiteral("Defect Quantity Report"));
    r->data = rows;
    const double width = r->sectionWidth();
    r->reportHeader().add(title(QStringLiteral("Defect Quantity Report"), 235, width));
    const int gTunnel = r->addGroup(QStringLiteral("TunnelName"));
    const int gYear = r->addGroup(QStringLiteral("InspectionYear"));
    r->sortBy(QStringLiteral("PanelName"));
    r->sortBy(QStringLiteral("ID"));

    r->groupHeader(gTunnel).add(ReportObject::field(QStringLiteral("TunnelName"), 0, 60, width, 300).size(12).bold());
    r->groupHeader(gTunnel).repeatOnNewPage = true;
    Section& yh = r->groupHeader(gYear);
    yh.background = kSilver;
    yh.repeatOnNewPage = true;
    yh.add(ReportObject::field(QStringLiteral("InspectionYear"), 0, 0, 2000, 236).bold().fixed(0));
    struct Col {
        const char* heading;
        const char* column;
        double width;
        bool money;
        bool right;
    };
    const Col cols[] = {{"Panel", "PanelName", 1300, false, false},    {"Description", "Description", 3400, false, false},
                        {"Quantity", "Quantity", 900, false, true},    {"Units", "Units", 900, false, false},
                        {"Unit Cost", "UnitCost", 1200, true, true},   {"Total Cost", "TotalCost", 1300, true, true}};
    double left = 0, totalLeft = 0;
    for (const Col& c : cols) {
        ReportObject head = ReportObject::textObject(QLatin1String(c.heading), left, 260, c.width - 60, 236).size(8).italic();
        ReportObject data = ReportObject::field(QLatin1String(c.column), left, 0, c.width - 60, 236);
        if (c.right) {
            head.rightAligned();
            data.rightAligned();
        }
        if (c.money)
            data.money();
        if (QLatin1String(c.column) == QLatin1String("Description"))
            data.grow();
        yh.add(head);
        r->details().add(data);
        if (QLatin1String(c.column) == QLatin1String("TotalCost"))
            totalLeft = left;
        left += c.width;
    }
    auto total = [&](Section& s, int group, const QString& caption) {
        s.add(ReportObject::textObject(caption, 0, 60, totalLeft - 60, 236).bold().rightAligned());
        s.add(ReportObject::summary(SummaryOp::Sum, QStringLiteral("TotalCost"), group, totalLeft, 60, 1240, 236)
                  .money()
                  .bold()
                  .rightAligned());
    };
    total(r->groupFooter(gYear), gYear, QStringLiteral("Subtotal:"));
    total(r->groupFooter(gTunnel), gTunnel, QStringLiteral("Tunnel Total:"));
    total(r->reportFooter(), 0, QStringLiteral("Defect Quantities Grand Total:"));
    r->reportFooter().add(ReportObject::line(totalLeft, 330, totalLeft + 1240, 330));
    pageFooter(*r);
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
    rh.add(ReportObject::textObject(QStringLiteral("Tunnel: ") + tunnel, 0, 700, width, 280).size(11).centre());
    rh.add(ReportObject::textObject(QStringLiteral("Inspection Year: ") + year, 0, 1000, width, 280).size(11).centre());
    r->noDataText = QStringLiteral("There is no unposted data for this period.");

    // Group 1 holds the whole period; group 2 is the panel, so its sections are Section8 and 9.
    r->addGroup(QStringLiteral("InspectionYear"));
    const int gPanel = r->addGroup(QStringLiteral("PanelID"));
    Section& ph = r->groupHeader(gPanel);
    ph.add(ReportObject::field(QStringLiteral("PanelCaption"), 0, 120, width, 260).bold());
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
    ratingsReport->details().add(ReportObject::field(QStringLiteral("ElementName"), 240, 0, 3000, 236));
    ratingsReport->details().add(ReportObject::field(QStringLiteral("Rating"), 3300, 0, 800, 236).fixed(0));

    auto defectsReport = std::make_shared<Report>();
    defectsReport->data = DataTable::fromRowSet(defects);
    defectsReport->noDataText = QStringLiteral("NONE");
    defectsReport->reportHeader().add(
        ReportObject::textObject(QStringLiteral("Defect Quantities"), 0, 60, 3000, 236).bold());
    struct Col {
        const char* heading;
        const char* column;
        double left, width;
        bool money;
    };
    const Col cols[] = {{"Description", "Description", 240, 3400, false}, {"Quantity", "Quantity", 3700, 900, false},
                        {"Units", "Units", 4650, 900, false},             {"Unit Cost", "UnitCost", 5600, 1200, true},
                        {"Total Cost", "TotalCost", 6850, 1300, true}};
    for (const Col& c : cols) {
        ReportObject head = ReportObject::textObject(QLatin1String(c.heading), c.left, 320, c.width, 236).size(8).italic();
        ReportObject data = ReportObject::field(QLatin1String(c.column), c.left, 0, c.width, 236);
        if (c.money) {
            head.rightAligned();
            data.money().rightAligned();
        }
        if (QLatin1String(c.column) == QLatin1String("Description"))
            data.grow();
        defectsReport->reportHeader().add(head);
        defectsReport->details().add(data);
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

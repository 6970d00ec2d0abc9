#include "elementperformance.h"

#include "db.h"

namespace {

bool SameSeries(const PerfRecord& a, const PerfRecord& b)
{
    return a.TunnelName == b.TunnelName && a.PanelName == b.PanelName && a.ElementName == b.ElementName;
}

// Ratings are small numbers; they are judged as 16-bit values, as they are stored.
qint16 R(const PerfRecord& r)
{
    return qint16(r.Rating);
}

DataTable ListTable(const std::vector<PerfRecord>& list)
{
    DataTable t;
    t.addColumn(QStringLiteral("TunnelName"), ValueType::Text);
    t.addColumn(QStringLiteral("PanelName"), ValueType::Text);
    t.addColumn(QStringLiteral("ElementName"), ValueType::Text);
    t.addColumn(QStringLiteral("InspectionYear"), ValueType::Number);
    t.addColumn(QStringLiteral("Rating"), ValueType::Number);
    for (const PerfRecord& r : list)
        t.appendRow({r.TunnelName, r.PanelName, r.ElementName, r.InspectionYear, r.Rating});
    return t;
}

// Column headings and the row fields of both lists.
struct Column {
    const char* heading;
    const char* field;
    double left, width;
    int align;
};
const Column kColumns[] = {{"Tunnel", "TunnelName", 0, 2640, AlignLeft},
                           {"Panel", "PanelName", 2800, 2240, AlignLeft},
                           {"Element", "ElementName", 5200, 2840, AlignLeft},
                           {"Inspection Year", "InspectionYear", 8200, 1400, AlignRight},
                           {"Rating", "Rating", 9700, 1000, AlignRight}};

void AddList(Report& r, Section& header, double top, const QString& heading)
{
    header.add(ReportObject::textObject(heading, 0, top, r.sectionWidth(), 280).size(11).bold());
    for (const Column& c : kColumns) {
        header.add(ReportObject::textObject(QLatin1String(c.heading), c.left, top + 340, c.width, 236)
                       .size(9)
                       .bold()
                       .underline()
                       .alignment(c.align));
        // Long names wrap in their column.
        r.details().add(ReportObject::field(QLatin1String(c.field), c.left, 0, c.width, 236)
                            .size(10)
                            .alignment(c.align)
                            .grow(c.align == AlignLeft));
    }
    header.height = top + 640;
    r.details().height = 250;
    r.noDataText = QStringLiteral("NONE");
}

}  // namespace

std::vector<PerfRecord> ReadPostedRatings()
{
    // SQLite's GROUP BY does not promise an order: the scan needs the five columns sorted.
    const RowSet rows = gConn.query(QStringLiteral(
        "SELECT Tunnels.TunnelName, Panels.PanelName, AvailEle.ElementName, Insp.InspectionYear, Ratings.Rating "
        "FROM (((RatingsPosted AS Ratings LEFT JOIN AvailableElements AS AvailEle ON Ratings.ElementID = "
        "AvailEle.ElementID) LEFT JOIN Panels ON Ratings.PanelID = Panels.PanelID) LEFT JOIN InspectionPeriod AS Insp "
        "ON Ratings.InspectionID = Insp.InspectionID) LEFT JOIN Tunnels ON Insp.TunnelID = Tunnels.TunnelID "
        "WHERE Ratings.Rating IS NOT NULL "
        "GROUP BY Tunnels.TunnelName, Panels.PanelName, AvailEle.ElementName, Insp.InspectionYear, Ratings.Rating "
        "ORDER BY Tunnels.TunnelName, Panels.PanelName, AvailEle.ElementName, Insp.InspectionYear, Ratings.Rating"));
    std::vector<PerfRecord> out;
    out.reserve(rows.count());
    for (int i = 0; i < rows.count(); ++i) {
        const QVariantList& v = rows.rows()[i];
        if (v[0].isNull() || v[1].isNull() || v[2].isNull() || v[3].isNull())
            continue;
        out.push_back({v[0].toString(), v[1].toString(), v[2].toString(), quint32(v[3].toLongLong()),
                       qint32(v[4].toLongLong())});
    }
    return out;
}

PerfLists ScanPerformance(const std::vector<PerfRecord>& rows)
{
    PerfLists lists;
    const size_t n = rows.size();
    // Rapid: each pair of consecutive inspections of a series that drops by 2 or more; a row
    // ending one pair and starting the next is listed twice.
    for (size_t i = 0; i + 1 < n; ++i)
        if (SameSeries(rows[i], rows[i + 1]) && R(rows[i + 1]) <= R(rows[i]) - 2) {
            lists.quickly.push_back(rows[i]);
            lists.quickly.push_back(rows[i + 1]);
        }
    // Gradual: series of 3 or more with at least two steps down by exactly 1, and, after the
    // last rise of 3 or more, some later drop.
    size_t begin = 0;
    while (begin < n) {
        size_t end = begin + 1;
        while (end < n && SameSeries(rows[begin], rows[end]))
            ++end;
        const size_t len = end - begin;
        if (len >= 3) {
            int count = 1;
            for (size_t i = begin; i + 1 < end; ++i)
                if (R(rows[i]) - R(rows[i + 1]) == 1)
                    ++count;
            if (count >= 3) {
                bool qualifies = true;
                for (size_t i = begin; i + 1 < end; ++i) {
                    if (R(rows[i + 1]) - R(rows[i]) >= 3) {
                        qualifies = false;
                        for (size_t j = i + 1; j + 1 < end; ++j)
                            if (R(rows[j]) - R(rows[j + 1]) >= 1)
                                qualifies = true;
                    }
                }
                if (qualifies)
                    lists.gradually.insert(lists.gradually.end(), rows.begin() + long(begin), rows.begin() + long(end));
            }
        }
        begin = end;
    }
    return lists;
}

std::shared_ptr<Report> BuildElementPerformanceReport(const PerfLists& lists)
{
    auto r = std::make_shared<Report>();
    r->title = QStringLiteral("Tunnel Element Performance");
    r->data = ListTable(lists.quickly);
    Section& rh = r->reportHeader();
    rh.add(ReportObject::textObject(QStringLiteral("Tunnel Element Performance"), 0, 0, r->sectionWidth(), 435)
               .size(18)
               .bold()
               .italic()
               .centre());
    AddList(*r, rh, 700, QStringLiteral("Rapid Deterioration (rating dropped by 2 or more between consecutive inspections)"));

    auto sub = std::make_shared<Report>();
    sub->data = ListTable(lists.gradually);
    AddList(*sub, sub->reportHeader(), 400, QStringLiteral("Gradual Deterioration (rating fell step by step by 1)"));
    r->reportFooter().add(
        ReportObject::subreportObject(sub, QString(), QString(), 0, 0, r->sectionWidth(), 0).named(QStringLiteral("Subreport1")));

    Section& pf = r->pageFooter();
    pf.height = 220;
    pf.add(ReportObject::specialField(SpecialField::PrintDate, 155, 429, 1500, 226).size(8));
    pf.add(ReportObject::specialField(SpecialField::PageNofM, 155, 700, 1500, 226).size(8));
    return r;
}

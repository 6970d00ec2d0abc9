#pragma once
#include "report.h"

#include <QString>
#include <memory>
#include <vector>

// The element performance report: the posted rating histories of every element on every
// panel, picking out those that fell quickly (by 2 or more between consecutive inspections)
// or gradually (step by step by 1).

struct PerfRecord {
    QString TunnelName;
    QString PanelName;
    QString ElementName;
    quint32 InspectionYear = 0;
    qint32 Rating = 0;
};

struct PerfLists {
    std::vector<PerfRecord> quickly;
    std::vector<PerfRecord> gradually;
};

// The posted ratings in tunnel, panel, element, year, rating order, one row per distinct
// combination. Rows whose tunnel, panel, element or year is gone (a removed period leaves
// its posted rows) are skipped.
std::vector<PerfRecord> ReadPostedRatings();

// The two lists from the ordered rows. A series is the run of rows with the same tunnel,
// panel and element name; any length.
PerfLists ScanPerformance(const std::vector<PerfRecord>& rows);

// The report: the rapid list in the main part, the gradual list in a subreport.
std::shared_ptr<Report> BuildElementPerformanceReport(const PerfLists& lists);

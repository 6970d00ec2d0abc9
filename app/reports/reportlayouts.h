#pragma once
#include "db.h"
#include "report.h"

#include <QString>
#include <QVector>
#include <memory>

// The layouts of the custom reports, each built from rows taken whole when it is built.

// Expenditures grouped by "Category", "Month" or "Year": the first column is the grouping
// column, the second the tunnel, then the other fields chosen. Subtotals and a grand total
// only when Cost is a column.
std::shared_ptr<Report> BuildExpenditureReport(const DataTable& rows, const QString& grouping);

// The element condition evaluation of one element category: per tunnel a grid of its panels
// against the chosen elements, one column per chosen period. rows: the working database's
// joined ratings; tunnels: its Tunnels table; kind: the report kind, the title.
std::shared_ptr<Report> BuildElementConditionReport(const RowSet& rows, const RowSet& tunnels, const QString& kind);

// Posted defect quantities grouped by tunnel and year, with their totals. A year of years (the
// checked ones) that has no row is named under the title, so the printout never looks complete
// without it ("No posted defect quantities for 2026.").
std::shared_ptr<Report> BuildDefectReport(const DataTable& rows, const QVector<qint32>& years = {});

// "No posted defect quantities for 2025 and 2026." for the years of years without a row in rows;
// "" when every one has some.
QString MissingDefectYearsText(const DataTable& rows, const QVector<qint32>& years);

// One period's data entered but not posted: every panel with unposted ratings, defect
// quantities or comment, with its ratings, defects and comment.
std::shared_ptr<Report> BuildUnpostedDataReport(qint32 tunnelId, qint32 inspectionId);

// Portrait or landscape; then, for the expenditure kind, the detail texts, else the report
// header's and first group header's texts and fields, take the section's width, centred.
void CheckReportWidth(Report& report, bool landscape, const QString& kind);

class frmReportViewer;
// The one report window: the loaded one, or a new one.
frmReportViewer* ReportViewer();
// The report viewer: shows a report of a kind modally, or takes one for the caller to show.
void ShowReportModal(const std::shared_ptr<Report>& report, const QString& kind);
void HandReportToViewer(const std::shared_ptr<Report>& report);

#pragma once
#include <QString>
#include <QVector>

// The working database of the element condition evaluation report (ReportData.db on
// gReportConn): the chosen tunnels, periods and elements copied from the tunnel database and
// shaped there, so the report's query reads only what was chosen.

// What the criteria window has chosen, read from its controls.
struct ReportRatingsSelection {
    QVector<qint32> tunnelIDs;  // the checked tunnels, in list order
    QString period1;            // the two rating-period texts (inspection years); either may be empty
    QString period2;
    struct Element {
        qint32 elementID = 0;
        bool checked = false;
        QString min;  // bounds as typed; blank means no bound
        QString max;
    };
    QVector<Element> elements;  // every element offered, checked or not
};

// Opens gReportConn on the configured working database unless it is open. On failure logs
// "Error connecting to the Report Ratings Database." and answers false.
bool OpenReportConnection();

// Fills the working database for the selection (opening the connection first). A panel whose
// rating of a bounded element lies outside a bound leaves the report with all its rows; every
// remaining (period, panel) pair gets one row per chosen element, "n/a" where it has no rating.
// Answers false, after logging, when the data could not be made: no report is to be shown then.
bool CreateReportRatings(const ReportRatingsSelection& selection);

// Empties the working tables, closes the connection and compacts the configured file in place.
// Logs "Error compacting ReportData.db" with the given source on failure.
void ClearReportDatabase(const QString& source);

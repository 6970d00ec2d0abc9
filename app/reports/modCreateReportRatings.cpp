#include "modCreateReportRatings.h"

#include "db.h"
#include "dbbind.h"
#include "modkrv.h"
#include "settings.h"

#include <QLocale>

#include <cmath>
#include <map>

namespace {

const QString kSource = QStringLiteral("modCreateReportRatings");
const QString kTables[] = {QStringLiteral("ReportRatings"), QStringLiteral("Panels"),
                           QStringLiteral("AvailableElements"), QStringLiteral("InspectionPeriod"),
                           QStringLiteral("Tunnels")};

// A bound as the user typed it, read as a number in the user's locale or in plain digits.
double boundValue(const QString& text)
{
    const QString t = text.trimmed();
    bool ok = false;
    double v = QLocale().toDouble(t, &ok);
    if (!ok)
        v = QLocale::c().toDouble(t, &ok);
    if (!ok || !std::isfinite(v))
        throw KrvError(13, QStringLiteral("The rating bound \"%1\" is not a number.").arg(t));
    return v;
}

// Detaches the tunnel database from the report connection however the copy ends; ATTACH and
// DETACH cannot run inside a transaction, so this lives outside the copy's guard.
struct Attached {
    explicit Attached(const QString& path)
    {
        gReportConn.exec(QStringLiteral("ATTACH DATABASE ? AS krvsrc"), {path});
    }
    ~Attached()
    {
        try {
            gReportConn.exec(QStringLiteral("DETACH DATABASE krvsrc"));
        } catch (...) {
        }
    }
};

struct Bounds {
    QStringList outside;  // one condition per bound, on a rating row
    QVariantList binds;
};

Bounds readBounds(const ReportRatingsSelection& sel)
{
    // A panel leaves with all its rows as soon as one of its ratings of a bounded element lies
    // outside a bound, whether or not that element is checked; an unrated one counts as 0. The
    // panels are left out as the ratings are copied, which gives the same rows as deleting them
    // afterwards without writing them first.
    // Elements that share a bound are tested together: one term per distinct bound, not per element.
    std::map<std::pair<QString, double>, QVariantList> byBound;
    for (const auto& e : sel.elements) {
        for (const auto& [text, op] : {std::pair{e.min, QStringLiteral("<")}, std::pair{e.max, QStringLiteral(">")}}) {
            if (text.trimmed().isEmpty())
                continue;
            byBound[{op, boundValue(text)}] << e.elementID;
        }
    }
    Bounds b;
    for (const auto& [bound, elements] : byBound) {
        b.outside << QStringLiteral("(ElementID IN (%1) AND IFNULL(CAST(Rating AS REAL), 0) %2 ?)")
                         .arg(Placeholders(elements.size()), bound.first);
        b.binds << elements << bound.second;
    }
    return b;
}

void copySelection(const ReportRatingsSelection& sel, const Bounds& bounds)
{
    const QVariantList tunnels = IdBinds(sel.tunnelIDs);
    QVector<qint32> elementIds;
    for (const auto& e : sel.elements)
        if (e.checked)
            elementIds << e.elementID;
    const QVariantList elements = IdBinds(elementIds);

    // The periods actually chosen: the second alone is a valid choice.
    QVariantList years;
    for (const QString& p : {sel.period1, sel.period2}) {
        if (p.trimmed().isEmpty())
            continue;
        bool ok = false;
        const int year = p.trimmed().toInt(&ok);
        if (!ok)
            throw KrvError(13, QStringLiteral("The rating period \"%1\" is not a year.").arg(p.trimmed()));
        years << year;
    }

    const QString tIn = Placeholders(tunnels.size());
    const QString yIn = Placeholders(years.size());
    const RowSet periods = gReportConn.query(
        QStringLiteral("SELECT InspectionID FROM krvsrc.InspectionPeriod WHERE TunnelID IN (%1) AND "
                       "InspectionYear IN (%2)")
            .arg(tIn, yIn),
        tunnels + years);
    QVariantList inspections;
    for (int r = 0; r < periods.count(); ++r)
        inspections << periods.value(r, 0);
    const QString iIn = Placeholders(inspections.size());

    QString filter;
    QVariantList ratingBinds = inspections;
    if (!bounds.outside.isEmpty()) {
        filter = QStringLiteral(" AND PanelID NOT IN (SELECT PanelID FROM krvsrc.Ratings WHERE InspectionID IN (%1) "
                                "AND (%2))")
                     .arg(iIn, bounds.outside.join(QStringLiteral(" OR ")));
        ratingBinds += inspections;
        ratingBinds += bounds.binds;
    }
    // A rating is printed with room for its sign (" 5"); an unrated one reads "n/a".
    gReportConn.exec(QStringLiteral("INSERT INTO ReportRatings (InspectionID, PanelID, ElementID, Rating) "
                                    "SELECT InspectionID, PanelID, ElementID, CASE WHEN Rating IS NULL "
                                    "OR trim(Rating) = '' THEN 'n/a' WHEN Rating < 0 THEN CAST(Rating AS TEXT) "
                                    "ELSE ' ' || Rating END FROM krvsrc.Ratings WHERE InspectionID IN (%1)%2")
                         .arg(iIn, filter),
                     ratingBinds);
    gReportConn.exec(QStringLiteral("INSERT INTO Tunnels (TunnelID, SystemID, TunnelName, TunnelPicture, "
                                    "TunnelForeground, DrawWidth) SELECT TunnelID, SystemID, TunnelName, "
                                    "TunnelPicture, TunnelForeground, DrawWidth FROM krvsrc.Tunnels "
                                    "WHERE TunnelID IN (%1)")
                         .arg(tIn),
                     tunnels);
    gReportConn.exec(QStringLiteral("INSERT INTO InspectionPeriod (InspectionID, TunnelID, InspectionYear) "
                                    "SELECT InspectionID, TunnelID, InspectionYear FROM krvsrc.InspectionPeriod "
                                    "WHERE InspectionID IN (%1)")
                         .arg(iIn),
                     inspections);
    gReportConn.exec(QStringLiteral("INSERT INTO Panels (PanelID, TunnelID, PanelNum, PanelName) "
                                    "SELECT PanelID, TunnelID, PanelNum, PanelName FROM krvsrc.Panels "
                                    "WHERE TunnelID IN (%1)")
                         .arg(tIn),
                     tunnels);
    gReportConn.exec(QStringLiteral("INSERT INTO AvailableElements (ElementID, ElementName, ElementCategory) "
                                    "SELECT ElementID, ElementName, ElementCategory FROM krvsrc.AvailableElements "
                                    "WHERE ElementID IN (%1)")
                         .arg(Placeholders(elements.size())),
                     elements);
}

// Every (period, panel) that is left gets a row for each chosen element. Only pairs that lack one
// are looked at: most panels have every element rated.
void fillGaps()
{
    gReportConn.exec(QStringLiteral(
        "INSERT INTO ReportRatings (InspectionID, PanelID, ElementID, Rating) "
        "SELECT p.InspectionID, p.PanelID, e.ElementID, 'n/a' FROM "
        "(SELECT InspectionID, PanelID FROM ReportRatings WHERE InspectionID IS NOT NULL AND PanelID IS NOT NULL "
        " GROUP BY InspectionID, PanelID HAVING count(DISTINCT CASE WHEN ElementID IN "
        " (SELECT ElementID FROM AvailableElements) THEN ElementID END) < "
        " (SELECT count(DISTINCT ElementID) FROM AvailableElements)) AS p CROSS JOIN AvailableElements AS e "
        "WHERE NOT EXISTS (SELECT 1 FROM ReportRatings AS r WHERE r.InspectionID = p.InspectionID "
        " AND r.PanelID = p.PanelID AND r.ElementID = e.ElementID) ORDER BY e.rowid, p.InspectionID, p.PanelID"));
}

}  // namespace

bool OpenReportConnection()
{
    if (gReportConn.isOpen())
        return true;
    try {
        gReportConn.open(IniGetReportRatingsFile());
        return true;
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error connecting to the Report Ratings Database."), kSource, e);
        return false;
    }
}

bool CreateReportRatings(const ReportRatingsSelection& selection)
{
    if (!OpenReportConnection())
        return false;
    try {
        Attached src(gConn.path());
        TxGuard tx(gReportConn);
        for (const QString& table : kTables)
            gReportConn.exec(QStringLiteral("DELETE FROM %1").arg(table));
        const Bounds bounds = readBounds(selection);
        try {
            copySelection(selection, bounds);
        } catch (const std::exception& e) {
            LogError(QStringLiteral("Error copying data to the Report Ratings Database."), kSource, e);
            return false;
        }
        fillGaps();
        tx.commit();
        return true;
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error creating report data."), kSource, e);
        return false;
    }
}

void ClearReportDatabase(const QString& source)
{
    try {
        if (gReportConn.isOpen()) {
            {
                TxGuard tx(gReportConn);
                for (const QString& table : kTables)
                    gReportConn.exec(QStringLiteral("DELETE FROM %1").arg(table));
                tx.commit();
            }
            gReportConn.close();
        }
        // Compacted in place: no other file of the folder is made, renamed or removed.
        gReportConn.open(IniGetReportRatingsFile());
        gReportConn.exec(QStringLiteral("VACUUM"));
        gReportConn.close();
    } catch (const std::exception& e) {
        gReportConn.close();
        LogError(QStringLiteral("Error compacting ReportData.db"), source, e);
    }
}

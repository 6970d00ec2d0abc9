#pragma once
#include "db.h"

#include <QPair>
#include <QString>
#include <QVariant>
#include <QVector>

// Defect quantities per panel and inspection, their posted copies, and the unit names
// offered for them.

// The DefectQuantity row of that ID (empty when there is none).
RowSet DbGetDefectQuantity(qint32 id);
// The panel's defect quantities in the inspection; no order.
RowSet DbGetDefectQuantities(qint32 panelId, qint32 inspectionId);
// The same from DefectQuantityPosted.
RowSet DbGetPostedDefectQuantities(qint32 panelId, qint32 inspectionId);
// Adds an unposted row, texts stored as typed; returns its ID.
qint32 DbAddDefectQuantity(qint32 panelId, qint32 inspectionId, const QString& description, double quantity,
                           const QString& units, double unitCost, double totalCost);
// Rewrites the row and makes it unposted, whether anything changed or not. Its panel and
// inspection never change.
void DbUpdateDefectQuantity(qint32 id, const QString& description, double quantity, const QString& units,
                            double unitCost, double totalCost);
// Writes only the given columns of the row (names from the caller's fixed list); a row
// whose values change becomes unposted, one that holds them already is left alone. A change
// of the quantity or unit cost sets the total from both as stored then.
void DbUpdateDefectQuantityColumns(qint32 id, const QVector<QPair<QString, QVariant>>& columns);
// Deletes the row.
void DbDeleteDefectQuantity(qint32 id);
// Posted defect quantities of the listed tunnels in inspections of the listed years, with
// ID, PanelID, PanelName, Quantity, Units, UnitCost, TotalCost, TunnelName,
// InspectionYear, Description; no order. An empty list gives no rows.
RowSet DbGetDefectReportRows(const QVector<qint32>& tunnelIds, const QVector<qint32>& years);
// UnitTypes in the user's order of the units.
RowSet DbGetUnitTypes();
// Adds a unit name the caller's list lacks, unless the table has it by now (in any case).
void DbAddUnitType(const QString& unit);

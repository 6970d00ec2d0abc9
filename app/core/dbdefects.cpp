#include "dbdefects.h"

#include "dbbind.h"
#include "helpers.h"

RowSet DbGetDefectQuantity(qint32 id)
{
    return gConn.query(QStringLiteral("SELECT * FROM DefectQuantity WHERE ID = ?"), {id});
}

RowSet DbGetDefectQuantities(qint32 panelId, qint32 inspectionId)
{
    return gConn.query(QStringLiteral("SELECT * FROM DefectQuantity WHERE PanelID = ? AND InspectionID = ?"),
                       {panelId, inspectionId});
}

RowSet DbGetPostedDefectQuantities(qint32 panelId, qint32 inspectionId)
{
    return gConn.query(QStringLiteral("SELECT * FROM DefectQuantityPosted WHERE PanelID = ? AND InspectionID = ?"),
                       {panelId, inspectionId});
}

qint32 DbAddDefectQuantity(qint32 panelId, qint32 inspectionId, const QString& description, double quantity,
                           const QString& units, double unitCost, double totalCost)
{
    return qint32(gConn.insertAutoNumber(QStringLiteral("DefectQuantity"),
                                         {{QStringLiteral("PanelID"), panelId},
                                          {QStringLiteral("InspectionID"), inspectionId},
                                          {QStringLiteral("Quantity"), quantity},
                                          {QStringLiteral("Units"), TextValue(units)},
                                          {QStringLiteral("UnitCost"), unitCost},
                                          {QStringLiteral("TotalCost"), totalCost},
                                          {QStringLiteral("Description"), TextValue(description)},
                                          {QStringLiteral("Posted"), 0}}));
}

void DbUpdateDefectQuantity(qint32 id, const QString& description, double quantity, const QString& units,
                            double unitCost, double totalCost)
{
    UpdateChanged(QStringLiteral("DefectQuantity"),
                  {{QStringLiteral("Description"), TextValue(description)},
                   {QStringLiteral("Quantity"), quantity},
                   {QStringLiteral("Units"), TextValue(units)},
                   {QStringLiteral("UnitCost"), unitCost},
                   {QStringLiteral("TotalCost"), totalCost},
                   {QStringLiteral("Posted"), 0}},
                  QStringLiteral("ID = ?"), {id});
}

void DbUpdateDefectQuantityColumns(qint32 id, const QVector<QPair<QString, QVariant>>& columns)
{
    TxGuard tx;
    // A value that is stored already changes nothing, so a posted row stays posted.
    int changed = UpdateChanged(QStringLiteral("DefectQuantity"), columns, QStringLiteral("ID = ?"), {id});
    // The total follows the quantity and unit cost as stored now, another user's included.
    bool amounts = false;
    for (const auto& pair : columns)
        amounts = amounts || pair.first == QLatin1String("Quantity") || pair.first == QLatin1String("UnitCost");
    const RowSet rs = amounts ? gConn.query(QStringLiteral("SELECT Quantity, UnitCost FROM DefectQuantity WHERE ID = ?"), {id})
                              : RowSet();
    if (changed > 0 && !rs.isEmpty()) {
        const double total =
            Val(MoneyText(rs.value(0, QStringLiteral("Quantity")).toDouble() * rs.value(0, QStringLiteral("UnitCost")).toDouble()));
        changed += UpdateChanged(QStringLiteral("DefectQuantity"), {{QStringLiteral("TotalCost"), total}},
                                 QStringLiteral("ID = ?"), {id});
    }
    if (changed > 0)
        UpdateChanged(QStringLiteral("DefectQuantity"), {{QStringLiteral("Posted"), 0}}, QStringLiteral("ID = ?"), {id});
    tx.commit();
}

void DbDeleteDefectQuantity(qint32 id)
{
    gConn.exec(QStringLiteral("DELETE FROM DefectQuantity WHERE ID = ?"), {id});
}

RowSet DbGetDefectReportRows(const QVector<qint32>& tunnelIds, const QVector<qint32>& years)
{
    // An empty list gives "IN ()", which matches nothing.
    QVariantList tunnels, yearList;
    for (qint32 t : tunnelIds)
        tunnels << t;
    for (qint32 y : years)
        yearList << y;
    const QString sql =
        QStringLiteral("SELECT dq.ID AS ID, dq.PanelID AS PanelID, Panels.PanelName AS PanelName, "
                       "dq.Quantity AS Quantity, dq.Units AS Units, dq.UnitCost AS UnitCost, "
                       "dq.TotalCost AS TotalCost, Tunnels.TunnelName AS TunnelName, "
                       "InspectionPeriod.InspectionYear AS InspectionYear, dq.Description AS Description "
                       "FROM DefectQuantityPosted AS dq, Panels, Tunnels, InspectionPeriod "
                       "WHERE dq.PanelID = Panels.PanelID "
                       "AND dq.PanelID IN (SELECT PanelID FROM Panels WHERE TunnelID IN (%1)) "
                       "AND Tunnels.TunnelID IN (%1) "
                       "AND dq.InspectionID = InspectionPeriod.InspectionID "
                       "AND Panels.TunnelID = Tunnels.TunnelID "
                       "AND dq.InspectionID IN (SELECT InspectionID FROM InspectionPeriod WHERE InspectionYear IN (%2))")
            .arg(Placeholders(tunnels.size()), Placeholders(yearList.size()));
    return gConn.query(sql, tunnels + tunnels + yearList);
}

RowSet DbGetUnitTypes()
{
    return gConn.query(QStringLiteral("SELECT * FROM UnitTypes ORDER BY rowid")).sortedByName(QStringLiteral("Unit"));
}

void DbAddUnitType(const QString& unit)
{
    // Another user may have added the name since the caller's list was read: not twice.
    gConn.exec(QStringLiteral("INSERT INTO UnitTypes (Unit) SELECT ? WHERE NOT EXISTS "
                              "(SELECT 1 FROM UnitTypes WHERE Unit = ?)"),
               {TextValue(unit), TextValue(unit)});
}

#include "lookups.h"

#include "db.h"

QString DbGetTunnelName(qint32 tunnelId)
{
    const RowSet rs = gConn.query(QStringLiteral("SELECT TunnelName FROM Tunnels WHERE TunnelID = ?"), {tunnelId});
    if (rs.isEmpty())
        return QString();
    return rs.value(0, QStringLiteral("TunnelName")).toString();
}

qint32 DbGetInspectionYear(qint32 inspectionId)
{
    const RowSet rs = gConn.query(
        QStringLiteral("SELECT InspectionYear FROM InspectionPeriod WHERE InspectionID = ?"), {inspectionId});
    return rs.toInt(0, QStringLiteral("InspectionYear"));
}

QVariant NullToEmpty(const QVariant& value)
{
    if (value.isNull())
        return QString();
    return value;
}

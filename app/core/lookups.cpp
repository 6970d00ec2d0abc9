#include "lookups.h"

namespace {
// A year the caller passes as text: a whole number, blanks around it allowed.
qint32 yearValue(const QString& year)
{
    bool ok = false;
    const qint32 y = year.trimmed().toInt(&ok);
    if (!ok)
        throw DbError(-1, QStringLiteral("\"%1\" is not a year.").arg(year));
    return y;
}
}  // namespace

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

qint32 DbGetInspectionTunnelID(qint32 inspectionId, qint32 inspectionYear)
{
    const RowSet rs = gConn.query(
        QStringLiteral("SELECT TunnelID FROM InspectionPeriod WHERE InspectionID = ? AND InspectionYear = ?"),
        {inspectionId, inspectionYear});
    return rs.toInt(0, QStringLiteral("TunnelID"));
}

qint16 DbGetLatestInspectionYear(qint32 tunnelId)
{
    const QVariant v =
        gConn.scalar(QStringLiteral("SELECT max(InspectionYear) FROM InspectionPeriod WHERE TunnelID = ?"), {tunnelId});
    return v.isNull() ? 0 : qint16(v.toInt());
}

QString DbGetOtherMaxYear(qint32 tunnelId, const QString& year)
{
    const QVariant v = gConn.scalar(
        QStringLiteral("SELECT max(InspectionYear) FROM InspectionPeriod WHERE TunnelID = ? AND InspectionYear <> ?"),
        {tunnelId, yearValue(year)});
    return NullToEmpty(v).toString();
}

qint32 DbFindInspectionID(qint32 tunnelId, const QString& year)
{
    const QVariant v = gConn.scalar(
        QStringLiteral("SELECT InspectionID FROM InspectionPeriod WHERE TunnelID = ? AND InspectionYear = ? "
                       "ORDER BY InspectionID LIMIT 1"),
        {tunnelId, yearValue(year)});
    return v.isNull() ? 0 : v.toInt();
}

RowSet DbGetPanelElementCategories(qint32 panelId)
{
    return gConn.query(QStringLiteral(
                           "SELECT * FROM ElementCategory WHERE EleCategoryID IN ("
                           "SELECT ElementCategory FROM AvailableElements WHERE ElementID IN ("
                           "SELECT ElementID FROM PanelElements WHERE PanelID = ?)) "
                           "ORDER BY EleCategorySort, EleCategoryID"),
                       {panelId});
}

QVariant NullToEmpty(const QVariant& value)
{
    if (value.isNull())
        return QString();
    return value;
}

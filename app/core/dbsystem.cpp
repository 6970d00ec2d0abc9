#include "dbsystem.h"

#include <QHash>

#include "dbbind.h"
#include "globals.h"
#include "helpers.h"
#include "prompt.h"

namespace {

void insertTunnelPoints(qint32 tunnelId, const Outline& points)
{
    for (int k = 0; k < points.size(); ++k)
        gConn.exec(QStringLiteral("INSERT INTO TunnelCoord (TunnelID, CoordIndex, TunnelX, TunnelY) VALUES (?, ?, ?, ?)"),
                   {tunnelId, k + 1, points[k].x, points[k].y});
}

// The stored outline, in its order. table, key and the columns come from the two callers.
Outline storedOutline(const QString& table, const QString& key, const QString& x, const QString& y, qint32 id)
{
    const RowSet rs = gConn.query(
        QStringLiteral("SELECT %3, %4 FROM %1 WHERE %2 = ? ORDER BY CoordIndex").arg(table, key, x, y), {id});
    Outline out;
    for (int i = 0; i < rs.count(); ++i)
        out.append({rs.value(i, x).toInt(), rs.value(i, y).toInt()});
    return out;
}

// An outline as one value, for comparing what a window loaded with what is stored now.
QString outlineText(const Outline& outline)
{
    QStringList points;
    points.reserve(outline.size());
    for (const OutlinePoint& p : outline)
        points << QStringLiteral("%1,%2").arg(p.x).arg(p.y);
    return points.join(QLatin1Char(' '));
}

struct OutlineTable {
    QString table, key, x, y;
};
const OutlineTable kTunnelOutline{QStringLiteral("TunnelCoord"), QStringLiteral("TunnelID"), QStringLiteral("TunnelX"),
                                  QStringLiteral("TunnelY")};
const OutlineTable kPanelOutline{QStringLiteral("PanelCoord"), QStringLiteral("PanelID"), QStringLiteral("PanelX"),
                                 QStringLiteral("PanelY")};

Outline storedOutline(const OutlineTable& t, qint32 id)
{
    return storedOutline(t.table, t.key, t.x, t.y, id);
}

// The outline a window edited, checked against the one it loaded (see DbSaveTunnelCoords).
SaveOutcome saveLoadedOutline(const OutlineTable& t, qint32 id, const Outline& points, const Outline& loaded,
                              const QString& ownerTable, const QString& owner,
                              const std::function<void()>& write)
{
    if (points == loaded)
        return {};
    RowWrite w;
    w.loaded = {t.table, {{t.key, id}}, {{QStringLiteral("Outline"), outlineText(loaded)}}, false};
    w.readStored = [t, id] { return QVariantList{outlineText(storedOutline(t, id))}; };
    w.what = QStringLiteral("The outline of %1").arg(owner);
    w.write = write;
    return SaveRows({w}, {{ownerTable, {{t.key, id}}, QStringLiteral("The %1").arg(owner)}});
}

// The columns of a tunnel's row the set-up windows change one at a time.
bool tunnelValueColumn(const QString& column)
{
    static const QStringList columns{QStringLiteral("TunnelName"), QStringLiteral("TunnelPicture"),
                                     QStringLiteral("TunnelForeground"), QStringLiteral("DrawWidth")};
    return columns.contains(column);
}

QString tunnelValueWhat(const QString& column)
{
    if (column == QLatin1String("TunnelName"))
        return QStringLiteral("name");
    if (column == QLatin1String("TunnelPicture"))
        return QStringLiteral("picture");
    if (column == QLatin1String("TunnelForeground"))
        return QStringLiteral("border colour");
    return QStringLiteral("border width");
}

// A stored value as a question names it: a colour by its RGB name, the comparison on or off.
std::function<QString(const QVariant&)> valueShow(const QString& column)
{
    if (column.endsWith(QLatin1String("Foreground")))
        return [](const QVariant& v) {
            const quint32 c = quint32(v.toLongLong());  // stored as 0x00BBGGRR
            return v.isNull() ? QString()
                              : QStringLiteral("#%1%2%3")
                                    .arg(c & 0xFF, 2, 16, QLatin1Char('0'))
                                    .arg((c >> 8) & 0xFF, 2, 16, QLatin1Char('0'))
                                    .arg((c >> 16) & 0xFF, 2, 16, QLatin1Char('0'));
        };
    if (column == QLatin1String("View"))
        return [](const QVariant& v) { return !v.isNull() && v.toLongLong() != 0 ? QStringLiteral("on") : QStringLiteral("off"); };
    return {};
}

}  // namespace

// ---------------------------------------------------------------- System row

namespace {

QString systemValueWhat(const QString& column)
{
    static const QHash<QString, QString> names{
        {QStringLiteral("SystemName"), QStringLiteral("name")},
        {QStringLiteral("SystemPicture"), QStringLiteral("map")},
        {QStringLiteral("DrawWidth"), QStringLiteral("border width")},
        {QStringLiteral("SystemForeground"), QStringLiteral("border colour")},
        {QStringLiteral("View"), QStringLiteral("comparison of inspection periods")},
        {QStringLiteral("WarningHighlight"), QStringLiteral("warning limit")},
        {QStringLiteral("CriticalHighlight"), QStringLiteral("critical limit")}};
    return names.value(column);
}

}  // namespace

SaveOutcome DbSaveSystemValue(const QString& column, const QVariant& loaded, const QVariant& value)
{
    const QString what = systemValueWhat(column);
    if (what.isEmpty())
        throw DbError(-1, QStringLiteral("No column %1 of the system to change.").arg(column));
    if (SameValue(loaded, value))
        return {};
    const ColumnValues key{{QStringLiteral("SystemID"), gSystemID}};
    RowWrite w;
    w.loaded = {QStringLiteral("System"), key, {{column, loaded}}, false};
    w.what = QStringLiteral("The tunnel system's %1").arg(what);
    w.columns = {{column, value, {}, valueShow(column)}};
    w.writeColumns = [column, value](const ColumnValues&) {
        // The limits hold for every row, as they are read from any.
        const bool limit = column.endsWith(QLatin1String("Highlight"));
        UpdateChanged(QStringLiteral("System"), {{column, value}},
                      limit ? QStringLiteral("1") : QStringLiteral("SystemID = ?"),
                      limit ? QVariantList{} : QVariantList{gSystemID});
    };
    return SaveRows({w}, {{QStringLiteral("System"), key, QStringLiteral("The tunnel system")}});
}

RowSet DbGetSystem()
{
    return gConn.query(QStringLiteral("SELECT * FROM System"));
}

QString DbGetSystemName()
{
    const RowSet rs = gConn.query(QStringLiteral("SELECT SystemName FROM System"));
    if (rs.isEmpty())
        return QString();
    return rs.toText(0, QStringLiteral("SystemName"));
}

void DbSaveSystemMap(RowSet& systemRs, const QString& picture, const QString& name)
{
    if (gSystemID != 0) {
        TxGuard tx;
        DbSetSystemPicture(picture);
        DbSetSystemName(name);
        tx.commit();
        return;
    }
    gSystemID = DbAddSystem(picture, name);
    systemRs = DbGetSystem();
}

qint32 DbAddSystem(const QString& picture, const QString& name)
{
    return qint32(gConn.insertAutoNumber(QStringLiteral("System"), {{QStringLiteral("SystemName"), TextValue(name)},
                                                                   {QStringLiteral("SystemPicture"), TextValue(picture)}}));
}

void DbSetSystemName(const QString& name)
{
    UpdateChanged(QStringLiteral("System"), {{QStringLiteral("SystemName"), TextValue(name)}}, QStringLiteral("SystemID = ?"), {gSystemID});
}

void DbSetSystemPicture(const QString& picture)
{
    UpdateChanged(QStringLiteral("System"), {{QStringLiteral("SystemPicture"), TextValue(picture)}}, QStringLiteral("SystemID = ?"), {gSystemID});
}

void DbSetSystemView(qint32 systemId, bool view)
{
    UpdateChanged(QStringLiteral("System"), {{QStringLiteral("View"), BoolToBit(view)}}, QStringLiteral("SystemID = ?"), {systemId});
}

void DbSetDrawWidth(const QString& table, qint32 key, qint16 width)
{
    // Table names cannot be bound: only the two tables with a width are accepted.
    if (table == QLatin1String("Tunnels"))
        UpdateChanged(QStringLiteral("Tunnels"), {{QStringLiteral("DrawWidth"), width}}, QStringLiteral("TunnelID = ?"), {key});
    else if (table.compare(QLatin1String("System"), Qt::CaseInsensitive) == 0)
        UpdateChanged(QStringLiteral("System"), {{QStringLiteral("DrawWidth"), width}}, QStringLiteral("SystemID = ?"), {key});
    else
        throw DbError(-1, QStringLiteral("No draw width in table %1.").arg(table));
}

void DbSetForeground(const QString& table, qint32 key, qint32 colour)
{
    if (table.compare(QLatin1String("System"), Qt::CaseInsensitive) != 0)
        throw DbError(-1, QStringLiteral("No foreground colour in table %1.").arg(table));
    UpdateChanged(QStringLiteral("System"), {{QStringLiteral("SystemForeground"), colour}}, QStringLiteral("SystemID = ?"), {key});
}

// ---------------------------------------------------------------- Tunnels

RowSet DbGetTunnels(qint32 systemId)
{
    return gConn.query(QStringLiteral("SELECT * FROM Tunnels WHERE SystemID = ? ORDER BY TunnelID"), {systemId})
        .sortedByName(QStringLiteral("TunnelName"));
}

bool DbTunnelNameTaken(const QString& name, qint32 exceptTunnelId)
{
    // Two tunnels of one name would share one media folder.
    const RowSet others =
        gConn.query(QStringLiteral("SELECT TunnelName FROM Tunnels WHERE TunnelID <> ?"), {exceptTunnelId});
    for (int i = 0; i < others.count(); ++i)
        if (SameName(others.value(i, QStringLiteral("TunnelName")).toString(), name))
            return true;
    return false;
}

qint32 DbAddTunnel(const QString& name, const Outline& points)
{
    TxGuard tx;
    // Looked at again here: the window's look came before the user drew or named it.
    if (DbTunnelNameTaken(name, 0))
        throw TunnelNameTaken(name);
    const qint32 tunnelId = qint32(gConn.insertAutoNumber(
        QStringLiteral("Tunnels"), {{QStringLiteral("SystemID"), gSystemID}, {QStringLiteral("TunnelName"), TextValue(name)}}));
    insertTunnelPoints(tunnelId, points);
    tx.commit();
    return tunnelId;
}

void DbSaveTunnelCoords(qint32 tunnelId, const Outline& points)
{
    TxGuard tx;
    DbRequireTunnel(tunnelId);
    // The same outline again is no change: its rows stay as they are.
    if (storedOutline(QStringLiteral("TunnelCoord"), QStringLiteral("TunnelID"), QStringLiteral("TunnelX"),
                      QStringLiteral("TunnelY"), tunnelId) == points) {
        tx.commit();
        return;
    }
    gConn.exec(QStringLiteral("DELETE FROM TunnelCoord WHERE TunnelID = ?"), {tunnelId});
    insertTunnelPoints(tunnelId, points);
    tx.commit();
}

SaveOutcome DbSaveTunnelCoords(qint32 tunnelId, const Outline& points, const Outline& loaded,
                               const QString& tunnelName)
{
    return saveLoadedOutline(kTunnelOutline, tunnelId, points, loaded, QStringLiteral("Tunnels"),
                             QStringLiteral("tunnel %1").arg(tunnelName),
                             [tunnelId, points] { DbSaveTunnelCoords(tunnelId, points); });
}

RowSet DbGetTunnelCoords(qint32 tunnelId, qint32& pointCount)
{
    TxGuard tx;  // the count and the rows from one snapshot
    const RowSet count =
        gConn.query(QStringLiteral("SELECT count(*) AS PtCount FROM TunnelCoord WHERE TunnelID = ?"), {tunnelId});
    pointCount = count.toInt(0, QStringLiteral("PtCount"));
    RowSet rs =
        gConn.query(QStringLiteral("SELECT * FROM TunnelCoord WHERE TunnelID = ? ORDER BY CoordIndex"), {tunnelId});
    tx.commit();
    return rs;
}

void DbRenameTunnel(qint32 tunnelId, const QString& name)
{
    UpdateChanged(QStringLiteral("Tunnels"), {{QStringLiteral("TunnelName"), TextValue(name)}}, QStringLiteral("TunnelID = ?"), {tunnelId});
}

QVariant DbGetTunnelValue(qint32 tunnelId, const QString& column)
{
    if (!tunnelValueColumn(column))
        throw DbError(-1, QStringLiteral("No column %1 of a tunnel to change.").arg(column));
    return gConn.scalar(QStringLiteral("SELECT [%1] FROM Tunnels WHERE TunnelID = ?").arg(column), {tunnelId});
}

SaveOutcome DbSaveTunnelValue(qint32 tunnelId, const QString& tunnelName, const QString& column,
                              const QVariant& loaded, const QVariant& value, const std::function<void()>& alsoWrite)
{
    if (!tunnelValueColumn(column))
        throw DbError(-1, QStringLiteral("No column %1 of a tunnel to change.").arg(column));
    if (SameValue(loaded, value))
        return {};
    const ColumnValues key{{QStringLiteral("TunnelID"), tunnelId}};
    RowWrite w;
    w.loaded = {QStringLiteral("Tunnels"), key, {{column, loaded}}, false};
    w.what = QStringLiteral("The %1 of tunnel %2").arg(tunnelValueWhat(column), tunnelName);
    w.columns = {{column, value, {}, valueShow(column)}};
    w.writeColumns = [tunnelId, column, value, alsoWrite](const ColumnValues&) {
        if (alsoWrite)
            alsoWrite();
        UpdateChanged(QStringLiteral("Tunnels"), {{column, value}}, QStringLiteral("TunnelID = ?"), {tunnelId});
    };
    return SaveRows({w}, {{QStringLiteral("Tunnels"), key, QStringLiteral("The tunnel %1").arg(tunnelName)}});
}

void DbSetTunnelPicture(qint32 tunnelId, const QString& picture)
{
    UpdateChanged(QStringLiteral("Tunnels"), {{QStringLiteral("TunnelPicture"), TextValue(picture)}}, QStringLiteral("TunnelID = ?"), {tunnelId});
}

QString DbGetTunnelPicture(qint32 tunnelId)
{
    const RowSet rs = gConn.query(QStringLiteral("SELECT TunnelPicture FROM Tunnels WHERE TunnelID = ?"), {tunnelId});
    const QVariant v = rs.value(0, QStringLiteral("TunnelPicture"));
    return v.isNull() ? QString() : v.toString();
}

void DbSetTunnelForeground(qint32 tunnelId, qint32 colour)
{
    UpdateChanged(QStringLiteral("Tunnels"), {{QStringLiteral("TunnelForeground"), colour}}, QStringLiteral("TunnelID = ?"), {tunnelId});
}

qint32 DbGetTunnelForeground(qint32 tunnelId)
{
    const RowSet rs =
        gConn.query(QStringLiteral("SELECT TunnelForeground FROM Tunnels WHERE TunnelID = ?"), {tunnelId});
    const QVariant v = rs.value(0, QStringLiteral("TunnelForeground"));
    return v.isNull() ? 0 : v.toInt();
}

qint32 DbGetTunnelDrawWidth(qint32 tunnelId)
{
    const RowSet rs = gConn.query(QStringLiteral("SELECT DrawWidth FROM Tunnels WHERE TunnelID = ?"), {tunnelId});
    const QVariant v = rs.value(0, QStringLiteral("DrawWidth"));
    if (v.isNull() || v.toInt() == 0)
        return 1;
    return v.toInt();
}

// ---------------------------------------------------------------- Panels

void DbRequireTunnel(qint32 tunnelId)
{
    if (gConn.query(QStringLiteral("SELECT 1 FROM Tunnels WHERE TunnelID = ?"), {tunnelId}).isEmpty())
        throw DbError(ErrNo::NoCurrentRecord, QStringLiteral("The tunnel no longer exists."));
}

void DbRequirePanel(qint32 panelId)
{
    if (gConn.query(QStringLiteral("SELECT 1 FROM Panels WHERE PanelID = ?"), {panelId}).isEmpty())
        throw DbError(ErrNo::NoCurrentRecord, QStringLiteral("The panel no longer exists."));
}

qint32 DbAddPanel(qint32 tunnelId, const QString& name)
{
    TxGuard tx;
    DbRequireTunnel(tunnelId);
    const QVariant pnum =
        gConn.scalar(QStringLiteral("SELECT MAX(PanelNum) AS Pnum FROM Panels WHERE TunnelID = ?"), {tunnelId});
    const qint32 number = pnum.isNull() ? 1 : pnum.toInt() + 1;
    const qint32 panelId = qint32(gConn.insertAutoNumber(QStringLiteral("Panels"),
                                                         {{QStringLiteral("TunnelID"), tunnelId},
                                                          {QStringLiteral("PanelNum"), number},
                                                          {QStringLiteral("PanelName"), TextValue(name)}}));
    tx.commit();
    return panelId;
}

bool DbPanelNameExists(qint32 tunnelId, const QString& name)
{
    // Compared here rather than by the column's collation, which folds ASCII letters only.
    const RowSet rs = gConn.query(QStringLiteral("SELECT PanelName FROM Panels WHERE TunnelID = ?"), {tunnelId})
                          .filtered(QStringLiteral("PanelName"), name);
    if (rs.isEmpty())
        return false;
    MsgBox(QStringLiteral("A panel by the name of ") + name.toUpper() +
               QStringLiteral(" already exists in this tunnel. \nPlease enter a different name for the current panel."),
           MsgButtons::Ok, MsgIcon::Warning, QStringLiteral("Duplicate Name"));
    return true;
}

void DbRenamePanel(qint32 panelId, const QString& name)
{
    UpdateChanged(QStringLiteral("Panels"), {{QStringLiteral("PanelName"), TextValue(name)}}, QStringLiteral("PanelID = ?"), {panelId});
}

SaveOutcome DbSavePanelName(qint32 panelId, const QVariant& loaded, const QString& loadedName, const QString& name)
{
    const QVariant value = TextValue(name);
    if (SameValue(loaded, value))
        return {};
    const ColumnValues key{{QStringLiteral("PanelID"), panelId}};
    RowWrite w;
    w.loaded = {QStringLiteral("Panels"), key, {{QStringLiteral("PanelName"), loaded}}, false};
    w.what = QStringLiteral("The name of panel %1").arg(loadedName);
    w.columns = {{QStringLiteral("PanelName"), value, {}, {}}};
    w.writeColumns = [panelId, name](const ColumnValues&) { DbRenamePanel(panelId, name); };
    return SaveRows({w}, {{QStringLiteral("Panels"), key, QStringLiteral("The panel %1").arg(loadedName)}});
}

QString DbGetPanelName(qint32 panelId)
{
    const RowSet rs = gConn.query(QStringLiteral("SELECT PanelName FROM Panels WHERE PanelID = ?"), {panelId});
    const QVariant v = rs.value(0, QStringLiteral("PanelName"));
    return v.isNull() ? QString() : v.toString();
}

QVariant DbGetPanelNameValue(qint32 panelId)
{
    return gConn.scalar(QStringLiteral("SELECT PanelName FROM Panels WHERE PanelID = ?"), {panelId});
}

void DbGetPanelInfo(qint32 panelId, qint32& panelNum, QString& panelName)
{
    const RowSet rs = gConn.query(QStringLiteral("SELECT PanelNum, PanelName FROM Panels WHERE PanelID = ?"), {panelId});
    if (rs.isEmpty())
        return;
    panelNum = rs.value(0, QStringLiteral("PanelNum")).toInt();
    const QVariant name = rs.value(0, QStringLiteral("PanelName"));
    panelName = name.isNull() ? QString() : name.toString();
}

RowSet DbGetPanels(qint32 tunnelId)
{
    return gConn.query(QStringLiteral("SELECT * FROM Panels WHERE TunnelID = ? ORDER BY PanelNum"), {tunnelId});
}

// ---------------------------------------------------------------- Panel outlines

void DbAddPanelPoint(qint32 panelId, qint32 x, qint32 y)
{
    TxGuard tx;
    DbRequirePanel(panelId);
    const QVariant last =
        gConn.scalar(QStringLiteral("SELECT MAX(CoordIndex) AS CIndex FROM PanelCoord WHERE PanelID = ?"), {panelId});
    const qint32 index = last.isNull() ? 1 : last.toInt() + 1;
    gConn.exec(QStringLiteral("INSERT INTO PanelCoord (PanelID, CoordIndex, PanelX, PanelY) VALUES (?, ?, ?, ?)"),
               {panelId, index, x, y});
    tx.commit();
}

void DbDeletePanelPoints(qint32 panelId)
{
    gConn.exec(QStringLiteral("DELETE FROM PanelCoord WHERE PanelID = ?"), {panelId});
}

void DbSavePanelCoords(qint32 panelId, const Outline& points)
{
    TxGuard tx;
    if (storedOutline(QStringLiteral("PanelCoord"), QStringLiteral("PanelID"), QStringLiteral("PanelX"),
                      QStringLiteral("PanelY"), panelId) == points) {
        tx.commit();
        return;
    }
    DbDeletePanelPoints(panelId);
    for (const OutlinePoint& p : points)
        DbAddPanelPoint(panelId, p.x, p.y);
    tx.commit();
}

SaveOutcome DbSavePanelCoords(qint32 panelId, const Outline& points, const Outline& loaded, const QString& panelName)
{
    return saveLoadedOutline(kPanelOutline, panelId, points, loaded, QStringLiteral("Panels"),
                             QStringLiteral("panel %1").arg(panelName),
                             [panelId, points] { DbSavePanelCoords(panelId, points); });
}

RowSet DbGetPanelCoords(qint32 panelId, qint32& pointCount)
{
    TxGuard tx;
    const RowSet count =
        gConn.query(QStringLiteral("SELECT count(*) AS PtCount FROM PanelCoord WHERE PanelID = ?"), {panelId});
    pointCount = count.toInt(0, QStringLiteral("PtCount"));
    RowSet rs =
        gConn.query(QStringLiteral("SELECT * FROM PanelCoord WHERE PanelID = ? ORDER BY CoordIndex"), {panelId});
    tx.commit();
    return rs;
}

RowSet DbGetTunnelPanelCoords(qint32 tunnelId)
{
    // rowid last: points of equal index come in the order the per-panel read gives them.
    return gConn.query(QStringLiteral("SELECT c.PanelID, c.PanelX, c.PanelY FROM Panels AS p "
                                      "JOIN PanelCoord AS c ON c.PanelID = p.PanelID WHERE p.TunnelID = ? "
                                      "ORDER BY c.PanelID, c.CoordIndex, c.rowid"),
                       {tunnelId});
}

// ---------------------------------------------------------------- Elements

RowSet DbGetAvailableElements()
{
    return gConn.query(QStringLiteral("SELECT * FROM AvailableElements ORDER BY ElementID"));
}

RowSet DbGetPanelElements(qint32 panelId)
{
    return gConn.query(QStringLiteral("SELECT ElementName, ElementID, ElementCategory FROM AvailableElements "
                                      "WHERE ElementID IN (SELECT ElementID FROM PanelElements WHERE PanelID = ?)"),
                       {panelId});
}

bool DbAddPanelElement(qint32 panelId, qint32 elementId)
{
    TxGuard tx;
    DbRequirePanel(panelId);
    const RowSet rs = gConn.query(QStringLiteral("SELECT 1 FROM PanelElements WHERE PanelID = ? AND ElementID = ?"),
                                  {panelId, elementId});
    if (!rs.isEmpty())
        return false;
    gConn.exec(QStringLiteral("INSERT INTO PanelElements (PanelID, ElementID) VALUES (?, ?)"), {panelId, elementId});
    tx.commit();
    return true;
}

QString DbGetElementName(qint32 elementId)
{
    const RowSet rs =
        gConn.query(QStringLiteral("SELECT ElementName FROM AvailableElements WHERE ElementID = ?"), {elementId});
    return rs.toText(0, QStringLiteral("ElementName"));
}

#include "dbcascades.h"

#include "db.h"
#include "prompt.h"

namespace {
bool hasRows(const QString& sql, const QVariantList& binds)
{
    return !gConn.query(sql, binds).isEmpty();
}

bool yes(MsgAnswer a) { return a == MsgAnswer::Yes; }

// Runs the statements in order, all or none.
void deleteAll(const QStringList& statements, const QVariantList& binds)
{
    TxGuard tx;
    for (const QString& sql : statements)
        gConn.exec(sql, binds);
    tx.commit();
}
}  // namespace

bool DbDeleteTunnel(qint32 tunnelId, const QString& tunnelName)
{
    if (hasRows(QStringLiteral("SELECT 1 FROM Ratings WHERE PanelID IN "
                               "(SELECT PanelID FROM Panels WHERE TunnelID = ?) LIMIT 1"),
                {tunnelId})) {
        MsgBox(QStringLiteral("Unable to remove tunnel.  Ratings data exists."), MsgButtons::Ok, MsgIcon::Warning,
               tunnelName);
        return false;
    }
    if (hasRows(QStringLiteral("SELECT 1 FROM ImagePaths WHERE PanelID IN "
                               "(SELECT PanelID FROM Panels WHERE TunnelID = ?) LIMIT 1"),
                {tunnelId})) {
        if (!yes(MsgBox(QStringLiteral("Field sketches and photographs exist for this tunnel.  "
                                       "Are you sure you want to remove the tunnel?"),
                        MsgButtons::YesNo, MsgIcon::Question, tunnelName)))
            return false;
    }
    if (!yes(MsgBox(QStringLiteral("Are you sure you want to remove %1?").arg(tunnelName), MsgButtons::YesNo,
                    MsgIcon::None, QStringLiteral("Remove Tunnel"), MsgAnswer::No)))
        return false;

    // The panels go last: the statements before them find the tunnel's rows through them.
    const QString ofPanels = QStringLiteral(" WHERE PanelID IN (SELECT PanelID FROM Panels WHERE TunnelID = ?)");
    deleteAll({QStringLiteral("DELETE FROM Tunnels WHERE TunnelID = ?"),
               QStringLiteral("DELETE FROM TunnelCoord WHERE TunnelID = ?"),
               QStringLiteral("DELETE FROM ImagePaths") + ofPanels,
               QStringLiteral("DELETE FROM InspectionPeriod WHERE TunnelID = ?"),
               QStringLiteral("DELETE FROM PanelComments") + ofPanels,
               QStringLiteral("DELETE FROM PanelCoord") + ofPanels,
               QStringLiteral("DELETE FROM PanelElements") + ofPanels,
               QStringLiteral("DELETE FROM RepairLogs") + ofPanels,
               QStringLiteral("DELETE FROM Panels WHERE TunnelID = ?")},
              {tunnelId});
    return true;
}

bool DbDeletePanel(qint32 panelId)
{
    const bool hasRatings = hasRows(QStringLiteral("SELECT 1 FROM Ratings WHERE PanelID = ? LIMIT 1"), {panelId});
    if (!yes(MsgBox(QStringLiteral("Are you sure you want to remove this panel?"), MsgButtons::YesNo,
                    MsgIcon::Question, QStringLiteral("Remove Panel"))))
        return false;
    if (hasRatings
        && !yes(MsgBox(QStringLiteral("This panel has ratings data.  Would you like to delete it anyway?"),
                       MsgButtons::YesNo, MsgIcon::Information, QStringLiteral("Ratings Data"))))
        return false;

    QStringList statements;
    if (hasRatings)
        statements << QStringLiteral("DELETE FROM Ratings WHERE PanelID = ?");
    statements << QStringLiteral("DELETE FROM Panels WHERE PanelID = ?")
               << QStringLiteral("DELETE FROM PanelElements WHERE PanelID = ?")
               << QStringLiteral("DELETE FROM PanelCoord WHERE PanelID = ?")
               << QStringLiteral("DELETE FROM PanelComments WHERE PanelID = ?")
               << QStringLiteral("DELETE FROM RepairLogs WHERE PanelID = ?")
               << QStringLiteral("DELETE FROM ImagePaths WHERE PanelID = ?");
    deleteAll(statements, {panelId});
    return true;
}

bool DbRemovePanelElement(qint32 panelId, qint32 elementId)
{
    const QVariantList key{panelId, elementId};
    const bool hasRatings =
        hasRows(QStringLiteral("SELECT 1 FROM Ratings WHERE PanelID = ? AND ElementID = ? LIMIT 1"), key);
    const bool hasImages =
        hasRows(QStringLiteral("SELECT 1 FROM ImagePaths WHERE PanelID = ? AND ElementID = ? LIMIT 1"), key);
    if (hasRatings
        && !yes(MsgBox(QStringLiteral("This element has ratings data.  Would you like to delete it anyway?"),
                       MsgButtons::YesNo, MsgIcon::Question, QStringLiteral("Ratings Data"))))
        return false;
    if (hasImages
        && !yes(MsgBox(QStringLiteral("There are also images associated with this element.  "
                                      "Would you like to continue?"),
                       MsgButtons::YesNo, MsgIcon::Question, QStringLiteral("Images"))))
        return false;

    deleteAll({QStringLiteral("DELETE FROM PanelElements WHERE PanelID = ? AND ElementID = ?"),
               QStringLiteral("DELETE FROM ImagePaths WHERE PanelID = ? AND ElementID = ?"),
               QStringLiteral("DELETE FROM Ratings WHERE PanelID = ? AND ElementID = ?")},
              key);
    return true;
}

bool DbDeleteInspectionPeriod(qint32 inspectionId)
{
    if (hasRows(QStringLiteral("SELECT 1 FROM Ratings WHERE InspectionID = ? LIMIT 1"), {inspectionId})
        && !yes(MsgBox(QStringLiteral("Ratings data exists for this Inspection Period. Are you sure you want to "
                                      "delete the Inspection Period and lose this information?"),
                       MsgButtons::YesNo, MsgIcon::None, QStringLiteral("Ratings Data Found"), MsgAnswer::No)))
        return false;
    if (hasRows(QStringLiteral("SELECT 1 FROM ImagePaths WHERE InspectionID = ? LIMIT 1"), {inspectionId})
        && !yes(MsgBox(QStringLiteral("Field sketches and photographs exist for this inspection period. Are you "
                                      "sure you want to remove this inspection period?"),
                       MsgButtons::YesNo, MsgIcon::None, QStringLiteral("Delete Image Information"),
                       MsgAnswer::No)))
        return false;

    deleteAll({QStringLiteral("DELETE FROM Ratings WHERE InspectionID = ?"),
               QStringLiteral("DELETE FROM PanelComments WHERE InspectionID = ?"),
               QStringLiteral("DELETE FROM ImagePaths WHERE InspectionID = ?"),
               QStringLiteral("DELETE FROM InspectionPeriod WHERE InspectionID = ?")},
              {inspectionId});
    return true;
}

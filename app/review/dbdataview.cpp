#include "dbdataview.h"

#include "db.h"
#include "lookups.h"

QString DbGetFieldSketchPath(qint32 panelId, qint32 elementId, qint32 inspectionId)
{
    const RowSet rs = gConn.query(QStringLiteral("SELECT ImagePath FROM ImagePaths WHERE PanelID = ? AND ElementID = ? "
                                                 "AND InspectionID = ? AND FieldSketch = 1 ORDER BY rowid LIMIT 1"),
                                  {panelId, elementId, inspectionId});
    return rs.isEmpty() ? QString() : NullToEmpty(rs.value(0, 0)).toString();
}

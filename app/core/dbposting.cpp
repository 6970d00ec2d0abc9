#include "dbposting.h"

#include "db.h"

// Each step is a few set-based statements that give the rows a row-by-row merge would:
// the merges touch only unposted working rows, the replacements copy everything.

namespace {

bool exists(const QString& table, qint32 inspectionId)
{
    // table comes from the fixed lists below, never from outside.
    return gConn
        .scalar(QStringLiteral("SELECT EXISTS (SELECT 1 FROM %1 WHERE InspectionID = ? AND NOT Posted)").arg(table),
                {inspectionId})
        .toBool();
}

// True when the posted copy already holds exactly the working rows (same values, same
// order): posting again would delete and add the same rows, a write that changes nothing.
// columns and the tables come from the callers below.
bool postedCopyIsCurrent(const QString& columns, const QString& working, const QString& posted, qint32 inspectionId)
{
    // A first posting has no copy yet: nothing to compare.
    if (!gConn.scalar(QStringLiteral("SELECT 1 FROM %1 WHERE InspectionID = ? LIMIT 1").arg(posted), {inspectionId})
             .isValid())
        return false;
    const QString sql = QStringLiteral("SELECT %1 FROM %2 WHERE InspectionID = ? ORDER BY rowid");
    return gConn.query(sql.arg(columns, working), {inspectionId}).rows() ==
           gConn.query(sql.arg(columns, posted), {inspectionId}).rows();
}

}  // namespace

void DbPostRatings(qint32 inspectionId)
{
    TxGuard tx;
    // One pass adds the missing copies and overwrites the others (a -1 marker included);
    // the unique key of RatingsPosted is what finds an existing copy.
    gConn.exec(QStringLiteral("INSERT INTO RatingsPosted (InspectionID, PanelID, ElementID, Rating) "
                              "SELECT InspectionID, PanelID, ElementID, Rating FROM Ratings "
                              "WHERE InspectionID = ? AND NOT Posted "
                              "ON CONFLICT (InspectionID, PanelID, ElementID) DO UPDATE SET Rating = excluded.Rating "
                              "WHERE RatingsPosted.Rating IS NOT excluded.Rating"),
               {inspectionId});
    // Posted ratings whose working row is gone, posted or not.
    gConn.exec(QStringLiteral("DELETE FROM RatingsPosted WHERE InspectionID = ? AND NOT EXISTS ("
                              "SELECT 1 FROM Ratings AS r WHERE r.InspectionID = RatingsPosted.InspectionID "
                              "AND r.PanelID = RatingsPosted.PanelID AND r.ElementID = RatingsPosted.ElementID)"),
               {inspectionId});
    tx.commit();
}

void DbPostDefectQuantities(qint32 inspectionId)
{
    TxGuard tx;
    // Matched by ID. A posted copy keeps its own PanelID and InspectionID. Null numbers
    // post as Null; a Null unit or description as the empty text.
    gConn.exec(QStringLiteral("INSERT INTO DefectQuantityPosted "
                              "(ID, PanelID, InspectionID, Quantity, Units, UnitCost, TotalCost, Description) "
                              "SELECT ID, PanelID, InspectionID, Quantity, COALESCE(Units, ''), UnitCost, TotalCost, "
                              "COALESCE(Description, '') FROM DefectQuantity WHERE InspectionID = ? AND NOT Posted "
                              "ON CONFLICT (ID) DO UPDATE SET Quantity = excluded.Quantity, Units = excluded.Units, "
                              "UnitCost = excluded.UnitCost, TotalCost = excluded.TotalCost, "
                              "Description = excluded.Description "
                              "WHERE DefectQuantityPosted.Quantity IS NOT excluded.Quantity "
                              "OR DefectQuantityPosted.Units IS NOT excluded.Units COLLATE BINARY "
                              "OR DefectQuantityPosted.UnitCost IS NOT excluded.UnitCost "
                              "OR DefectQuantityPosted.TotalCost IS NOT excluded.TotalCost "
                              "OR DefectQuantityPosted.Description IS NOT excluded.Description COLLATE BINARY"),
               {inspectionId});
    // Matched by ID alone: a working row of any inspection keeps its posted copy.
    gConn.exec(QStringLiteral("DELETE FROM DefectQuantityPosted WHERE InspectionID = ? AND NOT EXISTS ("
                              "SELECT 1 FROM DefectQuantity AS d WHERE d.ID = DefectQuantityPosted.ID)"),
               {inspectionId});
    tx.commit();
}

void DbPostPanelComments(qint32 inspectionId)
{
    TxGuard tx;
    // One copy per panel: changed ones are rewritten, new ones added, gone ones deleted;
    // an unchanged copy is left alone.
    gConn.exec(QStringLiteral("INSERT INTO PanelCommentsPosted (InspectionID, PanelID, Comments) "
                              "SELECT InspectionID, PanelID, Comments FROM PanelComments WHERE InspectionID = ? "
                              "ON CONFLICT (InspectionID, PanelID) DO UPDATE SET Comments = excluded.Comments "
                              "WHERE PanelCommentsPosted.Comments IS NOT excluded.Comments COLLATE BINARY"),
               {inspectionId});
    gConn.exec(QStringLiteral("DELETE FROM PanelCommentsPosted WHERE InspectionID = ? AND NOT EXISTS ("
                              "SELECT 1 FROM PanelComments AS c WHERE c.InspectionID = PanelCommentsPosted.InspectionID "
                              "AND c.PanelID = PanelCommentsPosted.PanelID)"),
               {inspectionId});
    // Rows already posted are left as they are; the result is the same, the write is saved.
    gConn.exec(QStringLiteral("UPDATE PanelComments SET Posted = 1 "
                              "WHERE InspectionID = ? AND (Posted IS NULL OR NOT Posted)"),
               {inspectionId});
    tx.commit();
}

void DbPostImagesAndVideos(qint32 inspectionId)
{
    TxGuard tx;
    if (!postedCopyIsCurrent(QStringLiteral("PanelID, ElementID, ImagePath, FieldSketch, Annotation"),
                             QStringLiteral("ImagePaths"), QStringLiteral("ImagePathsPosted"), inspectionId)) {
        gConn.exec(QStringLiteral("DELETE FROM ImagePathsPosted WHERE InspectionID = ?"), {inspectionId});
        gConn.exec(QStringLiteral("INSERT INTO ImagePathsPosted "
                                  "(PanelID, ElementID, ImagePath, FieldSketch, InspectionID, Annotation) "
                                  "SELECT PanelID, ElementID, ImagePath, FieldSketch, InspectionID, Annotation "
                                  "FROM ImagePaths WHERE InspectionID = ? ORDER BY rowid"),
                   {inspectionId});
    }
    if (!postedCopyIsCurrent(QStringLiteral("PanelID, ElementID, VideoFile"), QStringLiteral("Videos"),
                             QStringLiteral("VideosPosted"), inspectionId)) {
        gConn.exec(QStringLiteral("DELETE FROM VideosPosted WHERE InspectionID = ?"), {inspectionId});
        gConn.exec(QStringLiteral("INSERT INTO VideosPosted (PanelID, ElementID, VideoFile, InspectionID) "
                                  "SELECT PanelID, ElementID, VideoFile, InspectionID FROM Videos WHERE InspectionID = ? "
                                  "ORDER BY rowid"),
                   {inspectionId});
    }
    tx.commit();
}

void DbMarkInspectionPosted(qint32 inspectionId)
{
    TxGuard tx;
    for (const char* table : {"Ratings", "DefectQuantity", "ImagePaths", "Videos"})
        gConn.exec(QStringLiteral("UPDATE %1 SET Posted = 1 WHERE InspectionID = ? AND (Posted IS NULL OR NOT Posted)")
                       .arg(QLatin1String(table)),
                   {inspectionId});
    tx.commit();
}

void DbPostInspection(qint32 inspectionId)
{
    TxGuard tx;
    DbPostRatings(inspectionId);
    DbPostDefectQuantities(inspectionId);
    DbPostPanelComments(inspectionId);
    DbPostImagesAndVideos(inspectionId);
    DbMarkInspectionPosted(inspectionId);
    tx.commit();
}

bool DbHasUnpostedData(qint32 inspectionId)
{
    // Every table is asked, also after a hit, so a table that cannot be read is reported.
    const bool ratings = exists(QStringLiteral("Ratings"), inspectionId);
    const bool defects = exists(QStringLiteral("DefectQuantity"), inspectionId);
    const bool comments = exists(QStringLiteral("PanelComments"), inspectionId);
    return ratings || defects || comments;
}

bool DbHasUnpostedMedia(qint32 inspectionId)
{
    const bool pictures = exists(QStringLiteral("ImagePaths"), inspectionId);
    const bool clips = exists(QStringLiteral("Videos"), inspectionId);
    return pictures || clips;
}

#include "dbmedia.h"

#include <exception>
#include <limits>

qint16 gPhotoCount = 0;

namespace {
const QString kCell = QStringLiteral(" WHERE PanelID = ? AND ElementID = ? AND InspectionID = ?");

// Yes/no columns hold 0 or 1; a row brought in from elsewhere may hold -1 for yes.
QString sketchTest(bool fieldSketch)
{
    return fieldSketch ? QStringLiteral(" AND FieldSketch <> 0") : QStringLiteral(" AND FieldSketch = 0");
}

bool hasPostedPicture(qint32 panelId, qint32 inspectionId, qint32 elementId, bool fieldSketch)
{
    try {
        return !gConn
                    .query(QStringLiteral("SELECT 1 FROM ImagePathsPosted") + kCell + sketchTest(fieldSketch)
                               + QStringLiteral(" LIMIT 1"),
                           {panelId, elementId, inspectionId})
                    .isEmpty();
    } catch (const std::exception&) {
        // Only enables a media button: a check that cannot run shows none.
        return false;
    }
}
}  // namespace

QVector<NeededRow> DbMediaCellNeeds(qint32 panelId, qint32 elementId, qint32 inspectionId)
{
    const QVariant year =
        gConn.scalar(QStringLiteral("SELECT InspectionYear FROM InspectionPeriod WHERE InspectionID = ?"), {inspectionId});
    const QVariant panel = gConn.scalar(QStringLiteral("SELECT PanelName FROM Panels WHERE PanelID = ?"), {panelId});
    const QVariant element =
        gConn.scalar(QStringLiteral("SELECT ElementName FROM AvailableElements WHERE ElementID = ?"), {elementId});
    const QString panelName = panel.isNull() ? QString::number(panelId) : panel.toString();
    const QString elementName = element.isNull() ? QString::number(elementId) : element.toString();
    return {{QStringLiteral("InspectionPeriod"), {{QStringLiteral("InspectionID"), inspectionId}},
             QStringLiteral("The inspection period %1").arg(year.isNull() ? QString::number(inspectionId) : year.toString())},
            {QStringLiteral("Panels"), {{QStringLiteral("PanelID"), panelId}}, QStringLiteral("The panel %1").arg(panelName)},
            {QStringLiteral("PanelElements"),
             {{QStringLiteral("PanelID"), panelId}, {QStringLiteral("ElementID"), elementId}},
             QStringLiteral("The element %1 of panel %2").arg(elementName, panelName)}};
}

SaveOutcome DbSetImageAnnotation(const PictureRow& row, const QVariant& loaded, const QString& annotation,
                                 const QString& picture, const QVector<NeededRow>& cell)
{
    RowWrite w;
    w.loaded = {QStringLiteral("ImagePaths"),
                {{QStringLiteral("PanelID"), row.panelId},
                 {QStringLiteral("ElementID"), row.elementId},
                 {QStringLiteral("InspectionID"), row.inspectionId},
                 {QStringLiteral("ImagePath"), row.imagePath},
                 {QStringLiteral("FieldSketch"), row.fieldSketch}},
                {{QStringLiteral("Annotation"), loaded}},
                false};
    w.what = QStringLiteral("The %1").arg(picture);
    w.columns = {{QStringLiteral("Annotation"), annotation, QStringLiteral("The annotation of %1").arg(picture), {}}};
    w.writeColumns = [row, annotation](const ColumnValues&) {
        UpdateChanged(QStringLiteral("ImagePaths"), {{QStringLiteral("Annotation"), annotation}},
                      kCell.mid(QStringLiteral(" WHERE ").size()) + QStringLiteral(" AND ImagePath = ? AND FieldSketch IS ?"),
                      {row.panelId, row.elementId, row.inspectionId, row.imagePath, row.fieldSketch});
    };
    return SaveRows({w}, cell);
}

QString DbGetImagePaths(qint32 panelId, qint32 inspectionId, qint32 elementId, QStringList& photos)
{
    gPhotoCount = 0;
    const QString sql = QStringLiteral("SELECT ImagePath FROM ImagePaths") + kCell;
    const QVariantList cell{panelId, elementId, inspectionId};

    QString sketch;
    const RowSet sketches = gConn.query(sql + sketchTest(true) + QStringLiteral(" ORDER BY rowid LIMIT 1"), cell);
    if (!sketches.isEmpty())
        sketch = sketches.value(0, 0).toString();

    const RowSet found = gConn.query(sql + sketchTest(false) + QStringLiteral(" ORDER BY rowid"), cell);
    if (!found.isEmpty()) {
        // Exactly the photos found: whatever the list held beyond them goes.
        photos.resize(found.count());
        for (int n = 0; n < found.count(); ++n)
            photos[n] = found.value(n, 0).toString();
        gPhotoCount = qint16(qMin<int>(found.count(), std::numeric_limits<qint16>::max()));
    }
    return sketch;
}

bool DbMediaFileInUse(qint32 inspectionId, MediaKind kind, const QString& fileName)
{
    QString sql;
    if (kind == MediaKind::Video) {
        sql = QStringLiteral("SELECT 1 FROM Videos WHERE InspectionID = ? AND VideoFile = ? UNION ALL "
                             "SELECT 1 FROM VideosPosted WHERE InspectionID = ? AND VideoFile = ?");
    } else {
        const QString sketch = sketchTest(kind == MediaKind::Sketch);
        sql = QStringLiteral("SELECT 1 FROM ImagePaths WHERE InspectionID = ? AND ImagePath = ?") + sketch
              + QStringLiteral(" UNION ALL SELECT 1 FROM ImagePathsPosted WHERE InspectionID = ? AND ImagePath = ?")
              + sketch;
    }
    return !gConn.query(sql + QStringLiteral(" LIMIT 1"), {inspectionId, fileName, inspectionId, fileName}).isEmpty();
}

RowSet DbGetVideos(qint32 panelId, qint32 elementId, qint32 inspectionId)
{
    // In the order attached, as the clip windows list them.
    return gConn.query(QStringLiteral("SELECT VideoFile FROM Videos") + kCell + QStringLiteral(" ORDER BY rowid"),
                       {panelId, elementId, inspectionId});
}

RowSet DbGetPostedVideos(qint32 panelId, qint32 elementId, qint32 inspectionId)
{
    return gConn.query(QStringLiteral("SELECT VideoFile FROM VideosPosted") + kCell + QStringLiteral(" ORDER BY rowid"),
                       {panelId, elementId, inspectionId});
}

ClipAdded DbAddVideo(qint32 panelId, qint32 elementId, qint32 inspectionId, const QString& videoFile,
                     const QVector<NeededRow>& cell)
{
    int added = 0;
    RowWrite add;
    add.kind = RowWrite::Kind::Add;
    add.write = [&] {
        added = gConn.exec(
            QStringLiteral("INSERT INTO Videos (PanelID, ElementID, VideoFile, InspectionID) SELECT ?, ?, ?, ? "
                           "WHERE NOT EXISTS (SELECT 1 FROM Videos WHERE PanelID = ? AND ElementID = ? "
                           "AND VideoFile = ? AND InspectionID = ?)"),
            {panelId, elementId, videoFile, inspectionId, panelId, elementId, videoFile, inspectionId});
    };
    if (!SaveRows({add}, cell).saved())
        return ClipAdded::Gone;
    return added > 0 ? ClipAdded::Added : ClipAdded::Already;
}

void DbDeleteVideo(qint32 panelId, qint32 elementId, qint32 inspectionId, const QString& videoFile)
{
    gConn.exec(QStringLiteral("DELETE FROM Videos") + kCell + QStringLiteral(" AND VideoFile = ?"),
               {panelId, elementId, inspectionId, videoFile});
}

bool DbHasPostedSketch(qint32 panelId, qint32 inspectionId, qint32 elementId)
{
    return hasPostedPicture(panelId, inspectionId, elementId, true);
}

bool DbHasPostedPhoto(qint32 panelId, qint32 inspectionId, qint32 elementId)
{
    return hasPostedPicture(panelId, inspectionId, elementId, false);
}

bool DbHasPostedVideo(qint32 panelId, qint32 inspectionId, qint32 elementId)
{
    return !DbGetPostedVideos(panelId, elementId, inspectionId).isEmpty();
}

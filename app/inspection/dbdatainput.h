#pragma once
#include "db.h"
#include "rowedits.h"

#include <QHash>
#include <QString>
#include <QVector>

#include <optional>

// The reads and writes of rating entry that go beyond one core procedure. The window keeps
// each row as it loaded it and hands the save only what the user added, changed or deleted;
// rows another user wrote meanwhile are left alone or asked about (see rowedits.h).

// The panel's comment row in the inspection as stored; absent when there is none.
LoadedRow DbLoadPanelComment(qint32 inspectionId, qint32 panelId);
// The comment as the box shows it: a stored Null, or no row, is no comment.
QString PanelCommentText(const LoadedRow& comment);

// The rating row of the element as loaded, from the panel's ratings (DbGetPanelRatings);
// absent when the element has none.
LoadedRow RatingLoadedRow(qint32 inspectionId, qint32 panelId, qint32 elementId,
                          const QHash<qint32, QVariant>& ratings);

// One row of the defect quantity list, as the list shows it (money without its "$").
struct DefectQuantityRow {
    QString key;  // "X" and the row's ID; "" for a row not stored yet
    QString description;
    QString quantity;
    QString units;
    QString unitCost;
    QString totalCost;
};

// A number as the defect list shows a stored value: its shortest text ("2.5", "0.25", "6").
QString NumberText(const QVariant& v);

// Row r of DbGetDefectQuantities as the list showed it right after filling (shown): each
// column's value as loaded and as shown. Named by column, so loadedColumns() is the row.
ShownFields DefectShownFields(const RowSet& rows, int r, const DefectQuantityRow& shown);

// A defect quantity row the user added, changed or deleted in the list.
struct DefectEdit {
    RowWrite::Kind kind = RowWrite::Kind::Change;
    LoadedRow loaded;          // Change and Remove: the row as loaded
    QString description;       // names it: as loaded, or as typed for a new row
    DefectQuantityRow typed;   // Add: the list's texts
    ColumnValues columns;      // Change: the columns the user changed, as they are written
};

// The columns of loaded row id whose texts in the list differ from what they showed at
// load; no value when the user changed none. The total is not the user's: the save sets it
// from the quantity and unit cost as stored.
std::optional<DefectEdit> DefectChange(qint32 id, const ShownFields& shown, const DefectQuantityRow& now);

// A rating the user changed.
struct RatingEdit {
    qint32 elementId = 0;
    QString elementName;
    LoadedRow loaded;
    QString rating;  // the rating box's text
};

// A comment the user changed.
struct CommentEdit {
    LoadedRow loaded;
    QString text;
};

// What the user changed on one panel in one inspection, with the names that tell the user
// what was changed or removed by another user.
struct PanelEdit {
    qint32 tunnelId = 0;
    QString tunnelName;
    qint32 inspectionId = 0;
    qint16 year = 0;
    qint32 panelId = 0;
    QString panelName;
    QVector<RatingEdit> ratings;
    std::optional<CommentEdit> comment;
    qint32 previousInspectionId = 0;
    qint16 previousYear = 0;
    std::optional<CommentEdit> previousComment;
    QVector<DefectEdit> defects;

    bool isEmpty() const { return ratings.isEmpty() && !comment && !previousComment && defects.isEmpty(); }
};

// Writes the edit in one transaction through SaveRows: nothing when the tunnel, the period or
// the panel is gone; a rating whose element left the panel, and a row another user removed,
// are skipped and told; a row another user changed is asked about. A rating keeps its posted
// state as DbSaveRating keeps it; a changed defect becomes unposted. Database errors are raised.
SaveOutcome DbSavePanelEdit(const PanelEdit& edit);

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

// Row r of DbGetDefectQuantities as loaded: the values the list shows, as stored.
LoadedRow DefectLoadedRow(const RowSet& rows, int r);

// A defect quantity row the user added, changed or deleted in the list.
struct DefectEdit {
    RowWrite::Kind kind = RowWrite::Kind::Change;
    LoadedRow loaded;          // Change and Remove: the row as loaded
    QString description;       // names it: as loaded, or as typed for a new row
    DefectQuantityRow typed;   // Add: the list's texts
    ColumnValues columns;      // Change: the columns the user changed, as they are written
};

// The change of a loaded row from the texts it was loaded with to the list's texts now; no
// value when the user changed nothing (numbers compare by value, so "2.50" is "2.5"). The
// three amounts go together: quantity, unit cost and total are written as one.
std::optional<DefectEdit> DefectChange(const LoadedRow& loaded, const DefectQuantityRow& loadedTexts,
                                       const DefectQuantityRow& now);

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

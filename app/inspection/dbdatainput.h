#pragma once
#include "db.h"

#include <QPair>
#include <QString>
#include <QVector>

#include <optional>

// The reads and writes of rating entry that go beyond one core procedure.

// The panel's comment in the inspection; a stored Null reads as no comment, so one odd row
// does not stop the panel from loading.
QString DbGetPanelCommentText(qint32 inspectionId, qint32 panelId);

// One row of the defect quantity list, as the list shows it (money without its "$").
struct DefectQuantityRow {
    QString key;  // "X" and the row's ID; "" for a row not stored yet
    QString description;
    QString quantity;
    QString units;
    QString unitCost;
    QString totalCost;
};

// True when the stored row differs from what the list shows (the total compared in cents);
// false when the row is gone.
bool DbDefectQuantityChanged(const DefectQuantityRow& row);

// An edit of one panel in one inspection, as the save writes it.
struct PanelEdit {
    qint32 inspectionId = 0;
    qint32 panelId = 0;
    QVector<QPair<qint32, QString>> ratings;  // ElementID and the rating box's text
    std::optional<QString> comment;           // written only when set
    qint32 previousInspectionId = 0;
    std::optional<QString> previousComment;   // written only when set
    QVector<DefectQuantityRow> defects;       // the whole list: rows not in it are deleted
};

// Writes the ratings, the comments and the defect quantities of the edit in one transaction:
// all of it or, on an error (raised), nothing. Returns the ID of each defect row, in the
// order of edit.defects; new rows have theirs now.
QVector<qint32> DbSavePanelEdit(const PanelEdit& edit);

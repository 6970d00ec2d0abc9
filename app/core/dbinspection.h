#pragma once
#include "db.h"

#include <QHash>
#include <QString>
#include <QVariant>
#include <optional>

// Inspection periods, ratings per inspection, panel and element, and the comment per
// inspection and panel, with their posted copies.

// Set by DbCheckPostedImages: the element has posted pictures on the panel.
extern bool gHasPostedImages;

// ---------------------------------------------------------------- Inspection periods

// tunnelKey is a tree key: one letter and the TunnelID ("x12"). The caller checks the
// year's range. Returns the new InspectionID; 0, adding nothing, when the tunnel has a period
// of that year (another user may have added it since the caller looked). Raises for a
// removed tunnel.
qint32 DbAddInspectionPeriod(const QString& tunnelKey, qint16 year);
// True when the tunnel has a period of that year other than exceptInspectionId.
bool DbInspectionYearExists(qint32 tunnelId, qint16 year, qint32 exceptInspectionId = 0);
// inspectionKey is a tree key: one letter and the InspectionID ("y34").
void DbSetInspectionYear(const QString& inspectionKey, qint16 year);
// 0 when the tunnel has no period of that year.
qint32 DbGetInspectionID(qint32 tunnelId, qint16 year);
// The tunnel's greatest year below year (which need not have a period itself); no value
// when there is none.
std::optional<qint16> DbGetPreviousInspectionYear(qint32 tunnelId, qint16 year);

// ---------------------------------------------------------------- Ratings

// The working rating as text, "" when there is no row or no rating.
QString DbGetRating(qint32 inspectionId, qint32 panelId, qint32 elementId);
// The panel's working ratings in the inspection as stored (Null included), by ElementID, in
// one read; an element without a row is not listed.
QHash<qint32, QVariant> DbGetPanelRatings(qint32 inspectionId, qint32 panelId);
// A stored rating as a rating box shows it: "" for Null or no row.
QString RatingText(const QVariant& rating);
// A rating box's text as the value stored: one digit, anything else Null.
QVariant RatingValue(const QString& rating);
// The posted rating as text, "M" when it was changed after posting, "" when there is no
// row or no rating.
QString DbGetPostedRating(qint32 inspectionId, qint32 panelId, qint32 elementId);
// Saves a rating box's text: one digit; anything else ("", "x", "10") is stored as Null.
// A value that equals the posted one keeps the row posted; any other makes it unposted,
// and a posted row's copy is marked -1.
void DbSaveRating(qint32 inspectionId, qint32 panelId, qint32 elementId, const QString& rating);
// True when the panel has NO unposted rating in the inspection (all posted, or none).
bool DbHasUnpostedRatings(qint32 inspectionId, qint32 panelId);
// The same answer under the name that says what it means (the key plan's name for it).
inline bool DbAllRatingsPosted(qint32 inspectionId, qint32 panelId)
{
    return DbHasUnpostedRatings(inspectionId, panelId);
}

// The lowest rating of each panel of the inspection, in one read, over the elements
// DbGetPanelElements lists for the panel; panels without a rating row are not listed. A
// panel whose stored values may read otherwise as text (a text, or a fraction as its
// lowest) is marked odd, for the caller to read it element by element as before.
struct PanelLowest {
    QVariant lowest;  // a whole number; null: none, or odd
    bool odd = false;
};
QHash<qint32, PanelLowest> DbGetLowestRatings(qint32 inspectionId);
// The same over the posted ratings; a rating changed after posting (-1) does not count.
QHash<qint32, PanelLowest> DbGetLowestPostedRatings(qint32 inspectionId);

// ---------------------------------------------------------------- Comments

// "" when there is no row; a Null comment raises DbError.
QString DbGetPanelComment(qint32 inspectionId, qint32 panelId);
QString DbGetPostedPanelComment(qint32 inspectionId, qint32 panelId);
// Adds the row, or rewrites it (unposted) when the text differs in any way; an equal text
// writes nothing, so a posted comment stays posted.
void DbSavePanelComment(qint32 inspectionId, qint32 panelId, const QString& comments);

// ---------------------------------------------------------------- Posted pictures

// The posted pictures of the element on the panel, of every inspection, and
// gHasPostedImages true; no value and gHasPostedImages false when there are none.
std::optional<RowSet> DbCheckPostedImages(qint32 panelId, qint32 elementId);
// The same for one inspection only (the posted pictures' index leads with it).
std::optional<RowSet> DbCheckPostedImages(qint32 panelId, qint32 elementId, qint32 inspectionId);

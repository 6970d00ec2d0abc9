#pragma once
#include "db.h"

#include <QString>
#include <QVariant>

// Small look-ups of the tunnel database. The window look-ups (FormIsOpen, IsFormLoaded,
// UnloadFormByName) live in forms.h.

// The tunnel's name, "" when there is no such tunnel (or its name is Null).
QString DbGetTunnelName(qint32 tunnelId);
// The period's year; raises DbError (no current record) when there is no such period.
qint32 DbGetInspectionYear(qint32 inspectionId);
// The period's tunnel; raises DbError (no current record) when no period has that id and year.
qint32 DbGetInspectionTunnelID(qint32 inspectionId, qint32 inspectionYear);
// The tunnel's latest year, 0 when it has no period.
qint16 DbGetLatestInspectionYear(qint32 tunnelId);
// The tunnel's greatest year other than year (which may be later than year), "" when it
// has no other period. year is the text of a whole number; other text raises DbError.
QString DbGetOtherMaxYear(qint32 tunnelId, const QString& year);
// InspectionID of the tunnel's period of that year, 0 when none. year as above.
qint32 DbFindInspectionID(qint32 tunnelId, const QString& year);
// The element categories that at least one element of the panel belongs to, each once, in
// their display order (all columns of ElementCategory).
RowSet DbGetPanelElementCategories(qint32 panelId);

// "" for a Null value, the value itself otherwise.
QVariant NullToEmpty(const QVariant& value);

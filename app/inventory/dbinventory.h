#pragma once
#include "dbsystem.h"

#include <QString>

// The inventory windows' reads and writes that go beyond one core procedure: outlines as
// the maps take them, the System row's settings, and tunnel changes that move their
// media folder along.

// The tunnel's stored outline, by CoordIndex; empty when it has none.
Outline DbGetTunnelOutline(qint32 tunnelId);
// The panel's stored outline, by CoordIndex; empty when it has none.
Outline DbGetPanelOutline(qint32 panelId);

// What the set-up window shows of the System row.
struct SystemSettings {
    qint32 systemId = 0;
    QString name;     // "" when Null
    QString picture;  // "" when Null
    qint16 drawWidth = 1;     // a Null width reads as 1
    quint32 foreground = 0;   // BGR; a Null colour reads as 0
    bool compareView = false; // the compare option (column View)
};
// The settings of the first row of a DbGetSystem() row set; the row set must not be empty.
SystemSettings SystemSettingsOf(const RowSet& systemRs);

// Names the system: renames row gSystemID, or adds the row and sets gSystemID. True when
// the row was added.
bool DbSaveSystemName(const QString& name);

// The tunnel's media folder under the data path, made when it is missing.
void MakeTunnelFolder(const QString& name);

// Renames the tunnel from loadedName, its name as the window loaded it (Null kept), to newName,
// checked against the file as DbSaveTunnelValue does (shownName names the tunnel for the user).
// The media folder of the name stored at the time goes first, in the same transaction (made
// when there is none), so that when it cannot follow nothing changes; a failed store puts it
// back. A tunnel removed meanwhile gets nothing, its folder included.
SaveOutcome RenameTunnelAndFolder(qint32 tunnelId, const QVariant& loadedName, const QString& shownName,
                                  const QString& newName);

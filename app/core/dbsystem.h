#pragma once
#include "db.h"
#include "rowedits.h"

#include <QString>
#include <QVector>
#include <concepts>
#include <iterator>

// The System row, tunnels with their outlines on the system map, panels with their
// outlines on the tunnel picture, and the elements rated on a panel.

// One vertex of an outline, in picture coordinates (twips of the picture at 100 %).
struct OutlinePoint {
    qint32 x = 0;
    qint32 y = 0;
    friend bool operator==(const OutlinePoint&, const OutlinePoint&) = default;
};
using Outline = QVector<OutlinePoint>;

// Any list of points with public x and y members (the map control's Point records) as an
// outline, in the same order.
template <class Points>
    requires requires(const Points& pts) {
        { pts.begin()->x } -> std::convertible_to<qint32>;
        { pts.begin()->y } -> std::convertible_to<qint32>;
    }
Outline ToOutline(const Points& pts)
{
    Outline out;
    out.reserve(qsizetype(std::size(pts)));
    for (const auto& p : pts)
        out.append({qint32(p.x), qint32(p.y)});
    return out;
}

// ---------------------------------------------------------------- System row

// "select * from System".
RowSet DbGetSystem();
// SystemName of the first System row, "" when there is none.
QString DbGetSystemName();
// With gSystemID set: stores the picture, then the name; systemRs is left alone. Without:
// adds the row, sets gSystemID and replaces systemRs by a fresh DbGetSystem().
void DbSaveSystemMap(RowSet& systemRs, const QString& picture, const QString& name);
// Adds the System row; returns its SystemID (gSystemID is the caller's business).
qint32 DbAddSystem(const QString& picture, const QString& name);
// A window's change of one column of the System row (SystemName, SystemPicture, DrawWidth,
// SystemForeground, View, WarningHighlight, CriticalHighlight) from loaded, the value as it
// loaded it, as DbSaveTunnelValue does for a tunnel's: another user's change meanwhile is
// asked about, a System row removed meanwhile is told; the same value as loaded is no change.
SaveOutcome DbSaveSystemValue(const QString& column, const QVariant& loaded, const QVariant& value);
void DbSetSystemName(const QString& name);        // row gSystemID
void DbSetSystemPicture(const QString& picture);  // row gSystemID
void DbSetSystemView(qint32 systemId, bool view);
// table "Tunnels" (exactly) with a TunnelID, or "System" with gSystemID. Any other table
// raises DbError and writes nothing.
void DbSetDrawWidth(const QString& table, qint32 key, qint16 width);
// table "System" with gSystemID writes SystemForeground; any other raises DbError.
void DbSetForeground(const QString& table, qint32 key, qint32 colour);

// ---------------------------------------------------------------- Tunnels

// The system's tunnels by name, in the user's order.
RowSet DbGetTunnels(qint32 systemId);
// True when a tunnel other than exceptTunnelId has the name (compared as names are).
bool DbTunnelNameTaken(const QString& name, qint32 exceptTunnelId);
// A tunnel's name that another tunnel has: two tunnels of one name would share one media
// folder. Its text is the message for the user.
class TunnelNameTaken : public KrvError {
public:
    explicit TunnelNameTaken(const QString& name)
        : KrvError(ErrNo::BadFileName,
                   QStringLiteral("A tunnel named \"%1\" already exists.  Please enter another name.").arg(name))
    {
    }
};
// Adds a tunnel of gSystemID with its outline (CoordIndex from 1); an empty outline adds
// the tunnel alone. All or nothing; raises TunnelNameTaken when another tunnel has the name
// by then. Returns the TunnelID.
qint32 DbAddTunnel(const QString& name, const Outline& points);
// Replaces the tunnel's outline whole; on failure the stored outline stays as it was. Raises
// for a removed tunnel. For a tunnel no other user can have drawn yet (one just added).
void DbSaveTunnelCoords(qint32 tunnelId, const Outline& points);
// A window's edit of an outline it loaded (loaded): replaces the stored outline only while it
// is still the loaded one; one another user changed meanwhile is replaced on the user's Yes
// (No keeps it: the outcome's showStored() tells the window to show it). A tunnel removed
// meanwhile gets nothing and the user is told. tunnelName names it in both. An outline the
// same as the loaded one is no change: nothing is read or written.
SaveOutcome DbSaveTunnelCoords(qint32 tunnelId, const Outline& points, const Outline& loaded,
                               const QString& tunnelName);
// pointCount = the outline's number of points; the rows (TunnelX, TunnelY, ...) by CoordIndex.
RowSet DbGetTunnelCoords(qint32 tunnelId, qint32& pointCount);
void DbRenameTunnel(qint32 tunnelId, const QString& name);
// One column of the tunnel's row as stored, Null kept (for a window to compare at its save):
// TunnelName, TunnelPicture, TunnelForeground or DrawWidth. A null QVariant for a missing tunnel.
QVariant DbGetTunnelValue(qint32 tunnelId, const QString& column);
// A window's change of one of those columns from loaded, the value as it loaded it: value is
// written unless another user changed the column meanwhile (asked: Yes writes, No keeps theirs)
// or removed the tunnel (told, nothing written). A value the same as the loaded one is no
// change. tunnelName names the tunnel for the user; alsoWrite runs in the same transaction
// right before the write, with the stored value still in place (the media folder that
// follows a new name).
SaveOutcome DbSaveTunnelValue(qint32 tunnelId, const QString& tunnelName, const QString& column,
                              const QVariant& loaded, const QVariant& value,
                              const std::function<void()>& alsoWrite = {});
void DbSetTunnelPicture(qint32 tunnelId, const QString& picture);
// The picture's file name, "" when Null; raises DbError for a missing tunnel.
QString DbGetTunnelPicture(qint32 tunnelId);
void DbSetTunnelForeground(qint32 tunnelId, qint32 colour);
// BGR colour of the tunnel's panel outlines; a Null colour reads as 0. Raises for a missing tunnel.
qint32 DbGetTunnelForeground(qint32 tunnelId);
// Width of the tunnel's panel outlines; 0 or Null reads as 1. Raises for a missing tunnel.
qint32 DbGetTunnelDrawWidth(qint32 tunnelId);

// A window may still be open on a tunnel or panel that was removed meanwhile: the writes
// that add rows for one check first, and raise DbError (no current record) when it is gone.
void DbRequireTunnel(qint32 tunnelId);
void DbRequirePanel(qint32 panelId);

// ---------------------------------------------------------------- Panels

// Adds a panel numbered 1 + the tunnel's greatest number (1 for the first). Returns PanelID.
// Raises for a removed tunnel.
qint32 DbAddPanel(qint32 tunnelId, const QString& name);
// True, after the "Duplicate Name" message, when the tunnel has a panel of that name in
// any case; false silently otherwise.
bool DbPanelNameExists(qint32 tunnelId, const QString& name);
void DbRenamePanel(qint32 panelId, const QString& name);
// A window's rename of a panel from loaded, its PanelName as the window read it (raw), as
// DbSaveTunnelValue does for a tunnel's column. loadedName names the panel for the user.
SaveOutcome DbSavePanelName(qint32 panelId, const QVariant& loaded, const QString& loadedName, const QString& name);
// The panel's name, "" when Null; raises DbError (no current record) for a missing panel.
QString DbGetPanelName(qint32 panelId);
// The panel's PanelName as stored, Null kept (to compare with at a save); a null QVariant
// for a missing panel.
QVariant DbGetPanelNameValue(qint32 panelId);
// Sets both outputs from the panel's row (name "" when Null); without a row leaves both.
void DbGetPanelInfo(qint32 panelId, qint32& panelNum, QString& panelName);
// The tunnel's panels by PanelNum.
RowSet DbGetPanels(qint32 tunnelId);

// ---------------------------------------------------------------- Panel outlines

// Appends a point after the panel's last one (CoordIndex 1 for the first). Raises for a
// removed panel.
void DbAddPanelPoint(qint32 panelId, qint32 x, qint32 y);
void DbDeletePanelPoints(qint32 panelId);
// DbDeletePanelPoints and one DbAddPanelPoint per point, all or nothing. For a panel no other
// user can have drawn yet (one just added).
void DbSavePanelCoords(qint32 panelId, const Outline& points);
// A window's edit of a panel outline it loaded, as DbSaveTunnelCoords with loaded.
SaveOutcome DbSavePanelCoords(qint32 panelId, const Outline& points, const Outline& loaded, const QString& panelName);
// pointCount = the outline's number of points; the rows (PanelX, PanelY, ...) by CoordIndex.
RowSet DbGetPanelCoords(qint32 panelId, qint32& pointCount);
// The outline points of every panel of the tunnel in one read (PanelID, PanelX, PanelY),
// by PanelID and then in the order DbGetPanelCoords gives each panel's points.
RowSet DbGetTunnelPanelCoords(qint32 tunnelId);

// ---------------------------------------------------------------- Elements

// The whole element catalogue, by ElementID.
RowSet DbGetAvailableElements();
// ElementName, ElementID, ElementCategory of the panel's elements; no order.
RowSet DbGetPanelElements(qint32 panelId);
// Adds the pair and answers true; false, writing nothing, when the panel has the element.
// Raises for a removed panel.
bool DbAddPanelElement(qint32 panelId, qint32 elementId);
// The element's name; raises DbError for a missing element or a Null name.
QString DbGetElementName(qint32 elementId);

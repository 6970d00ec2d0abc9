#pragma once
#include "dbsystem.h"
#include "zvmap.h"

#include <QString>
#include <exception>
#include <functional>
#include <optional>

class ClickLabel;
class QAction;
class QMenu;
class QWidget;

// What the inventory's map windows (system, panel definition, panel elements) do alike.

QAction* MenuItem(QMenu* menu, const QString& text, const char* name);
// A sub-menu whose title item carries the same name.
QMenu* SubMenu(QMenu* parent, const QString& text, const char* name);

// LogError for a window's handler: the map control's own errors keep their number.
void LogFormError(const QString& message, const QString& form, const std::exception& e);

// The outline as the map control takes it.
zv::Poly ToPoly(const Outline& outline);

// ---------------------------------------------------------------- tunnel-picture windows

// The map control of a tunnel-picture window, made fresh (a control can drop its polygons
// but not its picture): the old one, if any, goes. Its warnings go through the prompt service.
ZVMap* NewTunnelPictureMap(QWidget* window, ZVMap* old);

// Unloads every other loaded window of the form's name; when there was one, this window
// takes over its saved placement.
void UnloadOtherInstances(QWidget* window, const QString& form);

// A tunnel's outline colour and width as stored when the window loaded them (Null kept), to
// compare with at a save.
struct LoadedTunnelBorder {
    QVariant foreground;
    QVariant drawWidth;
};

// The tunnel's stored outline colour and width (1 to 5) on the map; returns them as stored.
LoadedTunnelBorder ShowTunnelBorder(ZVMap* map, qint32 tunnelId);

// Shows a new picture on the map and runs store() only once the map has taken it; a picture the
// map cannot take, or a failed store, puts back the picture shown before, so the window never
// shows what the database does not hold. Throws what setImage or store() threw.
void ChangeMapPicture(ZVMap* map, const QString& path, const std::function<void()>& store);

// Puts the panel's stored outline on the map; a panel without points stays off it. Returns the
// outline as loaded.
Outline ShowPanelOutline(ZVMap* map, qint32 panelId);

// Asks for a border width of one digit from 1 to 5 until one is given; nullopt when the
// user gives up (or, told once, enters an in-range value that is no single digit).
std::optional<qint16> AskBorderWidth(qint16 current);

// Asks for the tunnel's outline colour and stores a new one; a cancelled dialog, or the colour
// shown, writes nothing. border holds the colour as the window loaded it: the save checks the
// file against it (another user's colour since then is asked about, a removed tunnel is told),
// and afterwards it holds what the map shows. A colour the database refused raises and is not
// shown. tunnelName names the tunnel in the questions.
void ChangeTunnelBorderColour(ZVMap* map, qint32 tunnelId, const QString& tunnelName, LoadedTunnelBorder& border);

// The pop-up menu's first items: Pan and the Zoom sub-menu, then a separator "mnuSep".
struct PanZoomItems {
    QAction* pan;
    QMenu* zoom;
    QAction* zoom50;
    QAction* zoom100;
    QAction* zoom150;
    QAction* zoom200;
};
PanZoomItems AddPanZoomItems(QMenu* popup);

// The logo picture and its caption, clicked for About; the caption sits 630 twips lower.
void AddLogo(QWidget* parent, int top, const char* captionName, ClickLabel*& image, ClickLabel*& caption);

// The map fills the window above the data strip of dataHeight twips. Returns the strip's
// width: the map's less dataInset, at least minDataWidth.
int ArrangeMapAndData(QWidget* window, ZVMap* map, QWidget* data, int dataHeight, int dataInset, int minDataWidth);

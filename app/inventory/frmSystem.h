#pragma once
#include "rowedits.h"
#include "db.h"
#include "dbsystem.h"
#include "forms.h"
#include "zvmap.h"

#include <QHash>

#include <QMainWindow>

class ClickLabel;
class QAction;
class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPushButton;
class QTabWidget;

// The set-up window of a wizard user: the system's name and map, one outline per tunnel
// drawn on the map (each also a list row, a Tunnels row and a folder under the data path),
// the highlight limits and the compare option, and the commands that open every set-up
// screen. Close hands over to frmViewSystem; Exit ends the program.
class frmSystem : public KrvForm<QMainWindow> {
    Q_OBJECT
public:
    explicit frmSystem(QWidget* parent = nullptr);

    // ---- controls
    QLabel* lblSysName;
    QLineEdit* txtSysName;
    ZVMap* ZVMap1;
    QComboBox* cboZoom;
    ClickLabel* imgZoom;
    ClickLabel* Image1;
    ClickLabel* Label1;
    QFrame* fraButtons;
    QListWidget* List1;
    QTabWidget* SSTab1;
    QPushButton* cmdAddTunnel;
    QPushButton* cmdRename;
    QPushButton* cmdMove;
    QPushButton* cmdRemove;
    QPushButton* cmdRedraw;
    QPushButton* cmdSetMap;
    QPushButton* cmdDataTabs;
    QPushButton* cmdDefPanelEles;
    QPushButton* cmdDefinePanels;
    QPushButton* cmdExpCategories;
    QPushButton* cmdElements;
    QPushButton* cmdDataInput;
    QComboBox* cboWarningHL;
    QComboBox* cboCriticalHL;
    QLabel* picWarningHL;
    QLabel* picCriticalHL;
    QCheckBox* chkCompare;
    QPushButton* cmdClose;

    // ---- menus
    QMenu* mnuSys;
    QAction* mnuSysMap;
    QMenu* mnuTunnel;
    QAction* mnuAddTunnel;
    QAction* mnuRemove;
    QAction* mnuRename;
    QAction* mnuRedraw;
    QAction* mnuMove;
    QMenu* mnuCoord;
    QAction* mnuCoordMove;
    QAction* mnuCoordAdd;
    QAction* mnuCoordDel;
    QAction* mnuSep;
    QAction* mnuCancelAdd;
    QAction* mnuSep4;
    QAction* mnuUsers;
    QAction* mnuSep5;
    QAction* mnuClose;
    QAction* mnuExit;
    QMenu* mnuMap;
    QAction* mnuPan;
    QMenu* mnuZoom;
    QAction* mnuZoom50;
    QAction* mnuZoom75;
    QAction* mnuZoom100;
    QAction* mnuZoom150;
    QAction* mnuZoom200;
    QAction* mnuCopy;
    QAction* mnuPaste;
    QAction* mnuSep6;
    QAction* mnuBorderWidth;
    QAction* mnuColor;
    QMenu* mnuReplication;
    QAction* mnuCreateRep;
    QAction* mnuSyncFS;
    QMenu* mnuHelp;
    QAction* mnuHelpContents;
    QAction* mnuHelpIndex;
    QAction* mnuHelpSep;
    QAction* mnuAbout;

    // ---- state
    qint32 RedrawTunnelID() const { return m_redrawTunnelId; }
    qint32 ClickedTunnelID() const { return m_clickedTunnelId; }
    const RowSet& SystemRs() const { return m_systemRs; }

    // Every tunnel of the system: its outline on the map and its row in the list.
    void LoadTunnels(qint32 systemId);
    // Locks the window while an outline is edited: buttons and menu items off (Close,
    // Exit, Cancel, help and About stay), Copy and Paste after an edit as a map click allows.
    void SetTunnelEditMode(bool editing);
    // Unloads every other window and this one; with showViewer, then opens frmViewSystem.
    void CloseWizard(bool showViewer);

    // ---- commands
    void cmdSetMap_Click();
    void cmdAddTunnel_Click();
    void cmdRedraw_Click();
    void cmdMove_Click();
    void cmdRemove_Click();
    // A tunnel removed elsewhere (the inspection-period tree) leaves the list and the map.
    Q_INVOKABLE void TunnelRemoved(qint32 tunnelId);
    void cmdRename_Click();
    void cmdDataTabs_Click();
    void cmdDefinePanels_Click();
    void cmdDefPanelEles_Click();
    void cmdElements_Click();
    void cmdExpCategories_Click();
    void cmdDataInput_Click();
    void mnuCoordAdd_Click();
    void mnuCoordDel_Click();
    void mnuCoordMove_Click();
    void mnuCancelAdd_Click();
    void mnuCopy_Click();
    void mnuPaste_Click();
    void mnuBorderWidth_Click();
    void mnuColor_Click();
    void mnuPan_Click();
    void mnuUsers_Click();
    void mnuCreateRep_Click();
    void mnuSyncFS_Click();
    void mnuAbout_Click();
    void mnuHelp_Click();
    void List1_Click();
    void txtSysName_Change();
    void chkCompare_Click();
    void HighlightPicked(QComboBox* picked);
    // The zoom box's value (click, Enter, the zoom picture); message as the caller's.
    void ZoomFromBox(const QString& errorMessage);
    void ZoomTo(qint16 percent);

    // ---- map events
    void ZVMap1_PolyHit(qint32 id, qint16 shift);
    void ZVMap1_PolyIdentified(qint32& outId, const QVector<zv::Point>& points, bool& cancel);
    void ZVMap1_PolyMoved(qint32 id, const QVector<zv::Point>& newPoints);
    void ZVMap1_PointMoved(qint32 polyId, const QVector<zv::Point>& newPoints);
    void ZVMap1_PolyPasted(qint32 id, const QVector<zv::Point>& points);
    void ZVMap1_MouseDown(qint16 button, qint16 shift, float x, float y);

    // The tunnel list's item data of the selected row, -1 when none is selected.
    qint32 SelectedTunnelID() const;
    // True when the map shows a picture.
    bool MapHasPicture() const;

protected:
    void FormUnload() override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void FormLoad();
    void showCancelItems(bool on);
    void startPointTool(void (ZVMap::*tool)(), const QString& errorMessage);
    // Opens a set-up screen that is not part of this library: by name, LoadForm invoked
    // with the arguments; false when the window is not part of the program.
    QWidget* openByName(const QString& formName);
    // False, after saying why, for a name that cannot be a folder or that another tunnel has.
    bool acceptTunnelName(const QString& name, qint32 tunnelId = 0);
    QString tunnelNamePrompt();
    void layoutControls();
    void updateWindowCommands();
    // The tunnel's name as the list shows it.
    QString tunnelName(qint32 tunnelId) const;
    // Puts the tunnel's stored outline on the map, as loaded from now on.
    void showStoredOutline(qint32 tunnelId);
    // Stores an outline edited on the map against the one loaded; false when not stored (the map
    // then shows the stored outline, or a tunnel removed meanwhile leaves the window).
    bool saveEditedOutline(qint32 tunnelId, const QVector<zv::Point>& points);

    // Each tunnel's outline as the window loaded it, to compare with at a save.
    QHash<qint32, Outline> m_loadedOutlines;

    RowSet m_systemRs;
    qint32 m_redrawTunnelId = -1;
    qint32 m_clickedTunnelId = 0;
    bool m_panOn = false;
    bool m_compareGuard = false;
    // False, with the message, while there is no System row to store a setting in.
    bool systemRowExists();
    // After the System row was made: its stored values shown and used.
    void showNewSystem();
    // Stores one value of the System row when what its field shows now (shown, as
    // systemShown() gives it) differs from what it showed when filled; an untouched field
    // writes nothing. When it was not stored as given (kept, gone, refused), the window's
    // loaded values are read again; the caller shows the stored value unless the user cancelled.
    SaveOutcome saveSystemValue(const QString& column, const QVariant& shown, const QVariant& value);
    void reloadSystemValues();
    // The System row's values as loaded, or as this window stored them since.
    QHash<QString, QVariant> m_loadedSystem;
    // Each System value as loaded and as its field shows it.
    ShownFields m_shownSystem;
    bool m_loading = true;
    bool m_editing = false;
};

#pragma once
#include "forms.h"
#include "mapwindows.h"
#include "zvmap.h"

#include <QWidget>

class ClickLabel;
class QAction;
class QGroupBox;
class QLabel;
class QListWidget;
class QMenu;
class QPushButton;

// Assigns elements of the catalogue to the panels of one tunnel: panels are picked on the
// tunnel picture (Ctrl+click picks several), elements are added to every picked panel at
// once and removed from the current one. Modeless, one at a time: opening it for a tunnel
// unloads the one already open, so its map never carries another tunnel's panels.
//
// Open it with CreateForm("frmPanelElements") and LoadForm(TunnelID), which shows it, or
// unloads it after its message when the tunnel has no panels or its picture is missing;
// the caller does not show it itself.
class frmPanelElements : public KrvForm<QWidget> {
    Q_OBJECT
public:
    explicit frmPanelElements(QWidget* parent = nullptr);

    Q_INVOKABLE void LoadForm(qint32 TunnelID);

    qint32 TunnelID() const { return m_tunnelId; }
    qint32 PanelID() const { return m_panelId; }
    qint32 PanelNum() const { return m_panelNum; }
    QString PanelName() const { return m_panelName; }

    ZVMap* ZVMap1 = nullptr;
    QWidget* fraData = nullptr;
    QGroupBox* fra1;
    QLabel* lblPanelName;
    QListWidget* lstPanels;
    QListWidget* lstEle;
    QListWidget* lstAvailEle;
    QPushButton* cmdAdd;
    QPushButton* cmdRemove;
    QPushButton* cmdSelectAllEle;
    QPushButton* cmdSelectAllPanels;
    QPushButton* cmdClose;
    ClickLabel* Image1;
    ClickLabel* Label5;

    QMenu* mnuPopUp;
    QAction* mnuPan;
    QMenu* mnuZoom;
    QAction* mnuZoom50;
    QAction* mnuZoom100;
    QAction* mnuZoom150;
    QAction* mnuZoom200;
    QAction* mnuBorderWidth;
    QAction* mnuBorderColor;

protected:
    void FormUnload() override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void MakeMap();
    void Arrange();
    void LoadTunnelImage();
    void LoadPanels();
    void ShowPanelElements();
    void FillAvailableElements();
    void selectFirstPanel();

    void lstPanels_Click();
    void cmdAdd_Click();
    void cmdRemove_Click();
    void cmdSelectAllEle_Click();
    void cmdSelectAllPanels_Click();
    void cmdClose_Click();
    void mnuBorderWidth_Click();
    void mnuBorderColor_Click();
    void mnuPan_Click();
    void zoomTo(qint16 percent);
    void showAbout();

    void ZVMap1_MouseDown(qint16 button, qint16 shift, float x, float y);
    void ZVMap1_PolyHit(qint32 id, qint16 shift);

    // Panels another user removed leave the picked ones and the map.
    void dropRemovedPanels();

    qint32 m_tunnelId = 0;
    QString m_tunnelName;
    // The tunnel's outline colour as loaded, to compare with at a save.
    LoadedTunnelBorder m_border;
    bool m_loaded = false;
    qint32 m_panelId = 0;
    qint32 m_panelNum = 0;
    QString m_panelName;
    // Set while the code fills or selects in lstPanels, whose handler it then runs itself.
    bool m_settingPanels = false;
};

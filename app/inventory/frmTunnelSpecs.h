#pragma once
#include "forms.h"
#include "mapwindows.h"
#include "zvmap.h"

#include <QHash>
#include <QWidget>

class ClickLabel;
class QAction;
class QGroupBox;
class QLabel;
class QMenu;
class QPushButton;

// The panel definition window of one tunnel: the tunnel picture with its panels drawn on
// it, each panel a row of Panels with its outline in PanelCoord. Modeless, one at a time:
// opening it for a tunnel unloads the one already open.
//
// Open it with CreateForm("frmTunnelSpecs") and LoadForm(TunnelID), which shows it; the
// caller does not show it itself.
class frmTunnelSpecs : public KrvForm<QWidget> {
    Q_OBJECT
public:
    explicit frmTunnelSpecs(QWidget* parent = nullptr);

    Q_INVOKABLE void LoadForm(qint32 TunnelID);

    qint32 TunnelID() const { return m_tunnelId; }
    qint32 SelectedPanelID() const { return m_selectedPanelId; }
    qint32 EditPanelID() const { return m_editPanelId; }
    bool NewPanelMode() const { return m_newPanelMode; }

    ZVMap* ZVMap1 = nullptr;
    QWidget* fraData = nullptr;
    QGroupBox* Frame1;
    QLabel* Label3;
    QLabel* lblPanelName;
    QGroupBox* fra1;
    QPushButton* cmdDraw;
    QPushButton* cmdCancel;
    QPushButton* cmdRedraw;
    QPushButton* cmdMove;
    QPushButton* cmdDelete;
    QPushButton* cmdRename;
    QPushButton* cmdTImage;
    QPushButton* cmdColor;
    QPushButton* cmdBorderWidth;
    QPushButton* cmdClose;
    ClickLabel* Image1;
    ClickLabel* Label1;

    QMenu* mnuPopUp;
    QAction* mnuPan;
    QMenu* mnuZoom;
    QAction* mnuZoom50;
    QAction* mnuZoom100;
    QAction* mnuZoom150;
    QAction* mnuZoom200;
    QAction* mnuCopy;
    QAction* mnuPaste;
    QAction* mnuDrawRect;
    QAction* mnuMove;
    QAction* mnuDelete;
    QMenu* mnuCoor;
    QAction* mnuCoorMove;
    QAction* mnuCoorAdd;
    QAction* mnuCoorDel;
    QAction* mnuBorderWidth;
    QAction* mnuBorderColor;

protected:
    void FormUnload() override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void MakeMap();
    void Arrange();
    void CloseImageForms();
    void ClearMap();
    void LoadTunnelImage();
    void LoadPanels();
    void ShowStoredOutline(qint32 panelId);
    bool SaveEditedOutline(qint32 panelId, const Outline& points);
    void ForgetPanel(qint32 panelId);
    void ShowStoredPicture();
    void DisableButtons();
    void ResetButtons();

    void cmdDraw_Click();
    void cmdCancel_Click();
    void cmdRedraw_Click();
    void cmdMove_Click();
    void cmdDelete_Click();
    void cmdRename_Click();
    void cmdTImage_Click();
    void cmdColor_Click();
    void cmdBorderWidth_Click();
    void cmdClose_Click();
    void mnuCopy_Click();
    void mnuPaste_Click();
    void mnuBorderColor_Click();
    void mnuPan_Click();
    void zoomTo(qint16 percent);
    void pointTool(void (ZVMap::*tool)(), const QString& noPictureText, const QString& errorText);
    void showAbout();

    void ZVMap1_MouseDown(qint16 button, qint16 shift, float x, float y);
    void ZVMap1_PolyHit(qint32 id, qint16 shift);
    void ZVMap1_PolyIdentified(qint32& outId, const QVector<zv::Point>& points, bool& cancel);
    void ZVMap1_PolyMoved(qint32 id, const QVector<zv::Point>& points);
    void ZVMap1_PolyPasted(qint32 id, const QVector<zv::Point>& points);
    void ZVMap1_PointMoved(qint32 polyId, const QVector<zv::Point>& points);

    qint32 m_tunnelId = 0;
    bool m_newPanelMode = true;
    qint32 m_selectedPanelId = 0;
    qint32 m_editPanelId = 0;
    qint32 m_pastedPanelId = 0;
    bool m_redrawing = false;
    bool m_loaded = false;
    // Set by the pasted-outline handler when its write failed; read by the paste command.
    QString m_pasteError;
    QString m_pasteReason;  // the same in plain words, for the message

    // What the window loaded and shows, to compare with at a save: each panel's outline on the
    // map (with its name for the messages), the tunnel's picture and border.
    struct LoadedPanel {
        Outline outline;
        QString name;
    };
    QHash<qint32, LoadedPanel> m_panels;
    QString m_tunnelName;
    QVariant m_loadedPicture;
    LoadedTunnelBorder m_border;
};

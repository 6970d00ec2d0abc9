#include "frmTunnelSpecs.h"

#include "clicklabel.h"
#include "db.h"
#include "dbcascades.h"
#include "dbbind.h"
#include "dbsystem.h"
#include "failurereason.h"
#include "frmAbout.h"
#include "helpers.h"
#include "lookups.h"
#include "mapwindows.h"
#include "modkrv.h"
#include "prompt.h"
#include "regularfiles.h"
#include "settings.h"
#include "textfit.h"
#include "uihelpers.h"

#include <QAction>
#include <QCursor>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QResizeEvent>

namespace {
const QString kForm = QStringLiteral("frmTunnelSpecs");

QPushButton* button(QWidget* parent, const QString& text, const QString& tip, const char* name)
{
    auto* b = new QPushButton(text, parent);
    b->setObjectName(QLatin1String(name));
    b->setToolTip(tip);
    return b;
}

void logError(const QString& message, const std::exception& e) { LogFormError(message, kForm, e); }

// A picture the map took but the database did not (the user kept another user's, or the tunnel
// is gone): the map puts back the one it showed.
struct PictureNotStored {};

// Geometry of the design, in twips.
constexpr int kDataHeight = 1980;
constexpr int kFrameWidth = 10400;
constexpr int kButtonWidth = 1960;
constexpr int kButtonHeight = 420;
constexpr int kCloseWidth = 1200;

}  // namespace

frmTunnelSpecs::frmTunnelSpecs(QWidget* parent) : KrvForm<QWidget>(kForm, parent)
{
    setWindowTitle(QStringLiteral("Panel Definition"));

    MakeMap();

    fraData = new QWidget(this);
    fraData->setObjectName(QStringLiteral("fraData"));

    Frame1 = new QGroupBox(fraData);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Label3 = new QLabel(QStringLiteral("Panel Name:"), Frame1);
    Label3->setObjectName(QStringLiteral("Label3"));
    Label3->setGeometry(TwipRect(240, 150, 1300, 300));
    lblPanelName = new QLabel(QStringLiteral("Panel Name"), Frame1);
    lblPanelName->setObjectName(QStringLiteral("lblPanelName"));
    lblPanelName->setGeometry(TwipRect(1560, 150, kFrameWidth - 1800, 300));
    QFont bold = lblPanelName->font();
    bold.setBold(true);
    lblPanelName->setFont(bold);

    fra1 = new QGroupBox(QStringLiteral("Define Panel Elements"), fraData);
    fra1->setObjectName(QStringLiteral("fra1"));
    cmdDraw = button(fra1, QStringLiteral("&Add Panel"), QStringLiteral("Add Panel"), "cmdDraw");
    cmdCancel = button(fra1, QStringLiteral("Ca&ncel"), QStringLiteral("Cancel Panel"), "cmdCancel");
    cmdRedraw = button(fra1, QStringLiteral("Redraw &Panel"), QStringLiteral("Redraw Panel"), "cmdRedraw");
    cmdMove = button(fra1, QStringLiteral("&Move Panel"), QStringLiteral("Move Panel"), "cmdMove");
    cmdDelete = button(fra1, QStringLiteral("Remo&ve Panel"), QStringLiteral("Remove Panel"), "cmdDelete");
    cmdRename = button(fra1, QStringLiteral("&Rename Panel"), QStringLiteral("Rename Panel"), "cmdRename");
    cmdTImage = button(fra1, QStringLiteral("&Set Tunnel Image"), QStringLiteral("Set Tunnel Image"), "cmdTImage");
    cmdColor = button(fra1, QStringLiteral("Set Foreground &Color"), QStringLiteral("Set Foreground Color"), "cmdColor");
    cmdBorderWidth =
        button(fra1, QStringLiteral("Set &Border Width"), QStringLiteral("Set Border Width"), "cmdBorderWidth");
    const QList<QPushButton*> row1{cmdDraw, cmdRedraw, cmdMove, cmdDelete, cmdRename};
    const QList<QPushButton*> row2{cmdTImage, cmdColor, cmdBorderWidth};
    for (int i = 0; i < row1.size(); ++i)
        row1[i]->setGeometry(TwipRect(120 + i * (kButtonWidth + 60), 330, kButtonWidth, kButtonHeight));
    for (int i = 0; i < row2.size(); ++i)
        row2[i]->setGeometry(TwipRect(120 + i * (kButtonWidth + 60), 840, kButtonWidth, kButtonHeight));
    // Each row's buttons take the width its widest caption needs in the desktop's face.
    FitButtonRow({row1.begin(), row1.end()});
    FitButtonRow({row2.begin(), row2.end()});
    cmdCancel->setGeometry(cmdDraw->geometry());
    cmdCancel->hide();
    cmdCancel->lower();
    for (QPushButton* b : {cmdDraw, cmdRedraw, cmdMove, cmdDelete, cmdRename, cmdColor, cmdBorderWidth})
        b->setEnabled(false);

    cmdClose = button(fraData, QStringLiteral("&Close"), QStringLiteral("Close"), "cmdClose");

    AddLogo(fraData, 120, "Label1", Image1, Label1);

    mnuPopUp = new QMenu(QStringLiteral("PopUp"), this);
    mnuPopUp->setObjectName(QStringLiteral("mnuPopUp"));
    const PanZoomItems panZoom = AddPanZoomItems(mnuPopUp);
    mnuPan = panZoom.pan;
    mnuZoom = panZoom.zoom;
    mnuZoom50 = panZoom.zoom50;
    mnuZoom100 = panZoom.zoom100;
    mnuZoom150 = panZoom.zoom150;
    mnuZoom200 = panZoom.zoom200;
    mnuCopy = MenuItem(mnuPopUp, QStringLiteral("Copy Panel"), "mnuCopy");
    mnuPaste = MenuItem(mnuPopUp, QStringLiteral("Paste Panel"), "mnuPaste");
    mnuPaste->setEnabled(false);
    mnuPopUp->addSeparator()->setObjectName(QStringLiteral("mnuSep1"));
    mnuDrawRect = MenuItem(mnuPopUp, QStringLiteral("Add Panel"), "mnuDrawRect");
    mnuMove = MenuItem(mnuPopUp, QStringLiteral("Move Panel"), "mnuMove");
    mnuDelete = MenuItem(mnuPopUp, QStringLiteral("Remove Panel"), "mnuDelete");
    mnuCoor = SubMenu(mnuPopUp, QStringLiteral("Panel Coodinates"), "mnuCoor");
    mnuCoorMove = MenuItem(mnuCoor, QStringLiteral("Move Point"), "mnuCoorMove");
    mnuCoorAdd = MenuItem(mnuCoor, QStringLiteral("Add Point"), "mnuCoorAdd");
    mnuCoorDel = MenuItem(mnuCoor, QStringLiteral("Remove Point"), "mnuCoorDel");
    mnuPopUp->addSeparator()->setObjectName(QStringLiteral("mnuSep2"));
    mnuBorderWidth = MenuItem(mnuPopUp, QStringLiteral("Set Border Width"), "mnuBorderWidth");
    mnuBorderColor = MenuItem(mnuPopUp, QStringLiteral("Set Border Color"), "mnuBorderColor");

    connect(cmdDraw, &QPushButton::clicked, this, &frmTunnelSpecs::cmdDraw_Click);
    connect(mnuDrawRect, &QAction::triggered, this, &frmTunnelSpecs::cmdDraw_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmTunnelSpecs::cmdCancel_Click);
    connect(cmdRedraw, &QPushButton::clicked, this, &frmTunnelSpecs::cmdRedraw_Click);
    connect(cmdMove, &QPushButton::clicked, this, &frmTunnelSpecs::cmdMove_Click);
    connect(mnuMove, &QAction::triggered, this, &frmTunnelSpecs::cmdMove_Click);
    connect(cmdDelete, &QPushButton::clicked, this, &frmTunnelSpecs::cmdDelete_Click);
    connect(mnuDelete, &QAction::triggered, this, &frmTunnelSpecs::cmdDelete_Click);
    connect(cmdRename, &QPushButton::clicked, this, &frmTunnelSpecs::cmdRename_Click);
    connect(cmdTImage, &QPushButton::clicked, this, &frmTunnelSpecs::cmdTImage_Click);
    connect(cmdColor, &QPushButton::clicked, this, &frmTunnelSpecs::cmdColor_Click);
    connect(mnuBorderColor, &QAction::triggered, this, &frmTunnelSpecs::mnuBorderColor_Click);
    connect(cmdBorderWidth, &QPushButton::clicked, this, &frmTunnelSpecs::cmdBorderWidth_Click);
    connect(mnuBorderWidth, &QAction::triggered, this, &frmTunnelSpecs::cmdBorderWidth_Click);
    connect(cmdClose, &QPushButton::clicked, this, &frmTunnelSpecs::cmdClose_Click);
    connect(mnuCopy, &QAction::triggered, this, &frmTunnelSpecs::mnuCopy_Click);
    connect(mnuPaste, &QAction::triggered, this, &frmTunnelSpecs::mnuPaste_Click);
    connect(mnuPan, &QAction::triggered, this, &frmTunnelSpecs::mnuPan_Click);
    connect(mnuZoom50, &QAction::triggered, this, [this] { zoomTo(50); });
    connect(mnuZoom100, &QAction::triggered, this, [this] { zoomTo(100); });
    connect(mnuZoom150, &QAction::triggered, this, [this] { zoomTo(150); });
    connect(mnuZoom200, &QAction::triggered, this, [this] { zoomTo(200); });
    connect(mnuCoorAdd, &QAction::triggered, this, [this] {
        pointTool(&ZVMap::AddPoint, QStringLiteral("Please select panel before editing."),
                  QStringLiteral("Error adding panel coordinate."));
    });
    connect(mnuCoorDel, &QAction::triggered, this, [this] {
        pointTool(&ZVMap::DeletePoint, QStringLiteral("Please select a panel before editing."),
                  QStringLiteral("Error deleting panel coordinate."));
    });
    connect(mnuCoorMove, &QAction::triggered, this, [this] {
        pointTool(&ZVMap::MovePoint, QStringLiteral("Please select panel before editing."),
                  QStringLiteral("Error moving tunnel coordinate."));
    });
    connect(Image1, &ClickLabel::clicked, this, &frmTunnelSpecs::showAbout);
    connect(Label1, &ClickLabel::clicked, this, &frmTunnelSpecs::showAbout);

    setMinimumSize(TwipsToPixels(kFrameWidth + 3200), TwipsToPixels(kDataHeight + 2400));
    resize(960, 720);
    RestoreFormPosition(this);
}

// ---------------------------------------------------------------- opening

// A fresh map control: a window loaded again shows nothing of the tunnel it showed before
// (the control can drop its polygons but not its picture).
void frmTunnelSpecs::MakeMap()
{
    ZVMap1 = NewTunnelPictureMap(this, ZVMap1);
    // Out-arguments of the control's events are read back when the slot returns.
    connect(ZVMap1, &ZVMap::MouseDown, this, &frmTunnelSpecs::ZVMap1_MouseDown, Qt::DirectConnection);
    connect(ZVMap1, &ZVMap::PolyHit, this, &frmTunnelSpecs::ZVMap1_PolyHit, Qt::DirectConnection);
    connect(ZVMap1, &ZVMap::PolyIdentified, this, &frmTunnelSpecs::ZVMap1_PolyIdentified, Qt::DirectConnection);
    connect(ZVMap1, &ZVMap::PolyMoved, this, &frmTunnelSpecs::ZVMap1_PolyMoved, Qt::DirectConnection);
    connect(ZVMap1, &ZVMap::PolyPasted, this, &frmTunnelSpecs::ZVMap1_PolyPasted, Qt::DirectConnection);
    connect(ZVMap1, &ZVMap::PointMoved, this, &frmTunnelSpecs::ZVMap1_PointMoved, Qt::DirectConnection);
    ZVMap1->show();
    Arrange();
}

void frmTunnelSpecs::LoadForm(qint32 tunnelId)
{
    try {
        CloseImageForms();
        if (m_loaded)
            ClearMap();
        m_loaded = true;
        m_tunnelId = tunnelId;
        m_panels.clear();
        SetFormTunnel(this, tunnelId);
        LoadTunnelImage();
        LoadPanels();
        m_tunnelName.clear();
        ShowTunnelInTitle(this, QStringLiteral("Panel Definition - "), tunnelId, m_tunnelName);
        show();
    } catch (const std::exception& e) {
        logError(QStringLiteral("Error loading Panel Definitions screen."), e);
        // Not left loaded and unseen.
        Unload();
    }
}

void frmTunnelSpecs::CloseImageForms()
{
    try {
        // One panel window at a time: the one open already goes, with its placement saved,
        // and this one takes that placement.
        UnloadOtherInstances(this, kForm);
        for (const char* name : {"frmImages", "frmImgInput", "frmMultImg", "frmPrintKeyplan"}) {
            const QString formName = QLatin1String(name);
            if (IsFormLoaded(formName))
                UnloadFormByName(formName);
        }
    } catch (const std::exception& e) {
        logError(QStringLiteral("Error"), e);
    }
}

// A second LoadForm on the same window starts from the design state.
void frmTunnelSpecs::ClearMap()
{
    MakeMap();
    mnuPan->setChecked(false);
    m_newPanelMode = true;
    m_selectedPanelId = m_editPanelId = m_pastedPanelId = 0;
    m_redrawing = false;
    ResetButtons();
    for (QPushButton* b : {cmdDraw, cmdRedraw, cmdMove, cmdDelete, cmdRename, cmdColor, cmdBorderWidth})
        b->setEnabled(false);
    lblPanelName->setText(QStringLiteral("Panel Name"));
    mnuCopy->setEnabled(true);
    mnuPaste->setEnabled(false);
}

void frmTunnelSpecs::LoadTunnelImage()
{
    try {
        m_loadedPicture = DbGetTunnelValue(m_tunnelId, QStringLiteral("TunnelPicture"));
        const QString picture = DbGetTunnelPicture(m_tunnelId);
        const QString folder = GetTunnelFolder(m_tunnelId);
        if (picture.isEmpty())
            return;
        const QString path = folder + picture;
        // A missing picture is no error: the map stays empty and only the picture and close
        // buttons are usable.
        if (IsRegularFile(path)) {
            ZVMap1->setImage(path);
            for (QPushButton* b :
                 {cmdDraw, cmdColor, cmdClose, cmdDelete, cmdMove, cmdRedraw, cmdRename, cmdBorderWidth})
                b->setEnabled(true);
        }
        m_border = ShowTunnelBorder(ZVMap1, m_tunnelId);
    } catch (const std::exception& e) {
        logError(QStringLiteral("Error loading image."), e);
    }
}

// After the user kept another user's picture: the map shows the stored one.
void frmTunnelSpecs::ShowStoredPicture()
{
    m_loadedPicture = DbGetTunnelValue(m_tunnelId, QStringLiteral("TunnelPicture"));
    const QString path = GetTunnelFolder(m_tunnelId) + DbGetTunnelPicture(m_tunnelId);
    if (!m_loadedPicture.toString().isEmpty() && QFileInfo(path).isFile())
        ZVMap1->setImage(path);
    else
        ZVMap1->ClearImage();
    m_border = ShowTunnelBorder(ZVMap1, m_tunnelId);
}

void frmTunnelSpecs::LoadPanels()
{
    try {
        const RowSet panels = DbGetPanels(m_tunnelId);
        for (int i = 0; i < panels.count(); ++i) {
            const qint32 id = panels.toInt(i, QStringLiteral("PanelID"));
            m_panels[id].name = panels.value(i, QStringLiteral("PanelName")).toString();
            ShowStoredOutline(id);
        }
        ZVMap1->setPVisible(true);
    } catch (const std::exception& e) {
        logError(QStringLiteral("Error loading panels."), e);
    }
}

// Puts the panel's stored outline on the map; a panel without points stays off it.
void frmTunnelSpecs::ShowStoredOutline(qint32 panelId)
{
    m_panels[panelId].outline = ShowPanelOutline(ZVMap1, panelId);
}

// Stores an outline edited on the map against the one the window loaded. True when stored; when
// not, the map shows the stored outline again (the user kept another user's, or gave up), or
// drops a panel removed meanwhile (the user was told).
bool frmTunnelSpecs::SaveEditedOutline(qint32 panelId, const Outline& points)
{
    const LoadedPanel loaded = m_panels.value(panelId);
    const SaveOutcome out = DbSavePanelCoords(panelId, points, loaded.outline, loaded.name);
    if (out.saved() && !out.showStored()) {
        m_panels[panelId].outline = points;
        return true;
    }
    ZVMap1->Delete(panelId);
    if (out.result == SaveOutcome::Result::Gone)
        ForgetPanel(panelId);
    else
        ShowStoredOutline(panelId);
    return false;
}

void frmTunnelSpecs::ForgetPanel(qint32 panelId)
{
    m_panels.remove(panelId);
    if (m_selectedPanelId == panelId) {
        m_selectedPanelId = 0;
        lblPanelName->clear();
    }
}

// ---------------------------------------------------------------- buttons

void frmTunnelSpecs::DisableButtons()
{
    for (QPushButton* b : {cmdTImage, cmdColor, cmdBorderWidth, cmdDraw, cmdRename, cmdMove, cmdRedraw, cmdDelete})
        b->setEnabled(false);
}

void frmTunnelSpecs::ResetButtons()
{
    for (QPushButton* b : {cmdTImage, cmdColor, cmdBorderWidth, cmdDraw, cmdRename, cmdMove, cmdRedraw, cmdDelete})
        b->setEnabled(true);
    cmdDraw->show();
    cmdCancel->hide();
    cmdCancel->lower();
}

void frmTunnelSpecs::cmdDraw_Click()
{
    try {
        m_newPanelMode = true;
        m_redrawing = false;
        ZVMap1->DrawPoly();
        DisableButtons();
        cmdDraw->hide();
        cmdCancel->show();
        cmdCancel->raise();
        ZVMap1->Refresh();
    } catch (const std::exception& e) {
        logError(QStringLiteral("Error drawing panel."), e);
    }
}

void frmTunnelSpecs::cmdCancel_Click()
{
    try {
        m_newPanelMode = true;
        ZVMap1->Cancel();
        // A cancelled redraw puts the panel's stored outline back, which was never replaced.
        if (m_redrawing) {
            m_redrawing = false;
            ShowStoredOutline(m_editPanelId);
        }
        ResetButtons();
        ZVMap1->Refresh();
    } catch (const std::exception& e) {
        logError(QStringLiteral("Error drawing panel."), e);
    }
}

void frmTunnelSpecs::cmdRedraw_Click()
{
    try {
        m_newPanelMode = false;
        if (m_selectedPanelId == 0) {
            MsgBox(QStringLiteral("Please select a panel."), MsgButtons::Ok, MsgIcon::Warning,
                   QStringLiteral("Redraw Panel"));
            return;
        }
        DisableButtons();
        ZVMap1->Delete(m_selectedPanelId);
        ZVMap1->DrawPoly();
        lblPanelName->clear();
        m_redrawing = true;
        // Unlike the design, a redraw can be given up: the stored outline comes back.
        cmdDraw->hide();
        cmdCancel->show();
        cmdCancel->raise();
    } catch (const std::exception& e) {
        logError(QStringLiteral("Error redrawing tunnel"), e);
    }
}

void frmTunnelSpecs::cmdMove_Click()
{
    try {
        m_newPanelMode = false;
        ZVMap1->PolyMove();
        ZVMap1->Refresh();
    } catch (const std::exception& e) {
        logError(QStringLiteral("Error moving panel."), e);
    }
}

void frmTunnelSpecs::cmdDelete_Click()
{
    try {
        if (m_selectedPanelId == 0) {
            MsgBox(QStringLiteral("Please select a panel."), MsgButtons::Ok, MsgIcon::Warning,
                   QStringLiteral("Select Panel"));
        } else if (DbDeletePanel(m_selectedPanelId)) {
            ZVMap1->Delete(m_selectedPanelId);
            ForgetPanel(m_selectedPanelId);
        }
        ZVMap1->Refresh();
    } catch (const std::exception& e) {
        logError(QStringLiteral("Error deleting panel."), e);
    }
}

void frmTunnelSpecs::cmdRename_Click()
{
    try {
        if (m_selectedPanelId == 0) {
            MsgBox(QStringLiteral("Please select a panel."), MsgButtons::Ok, MsgIcon::Warning,
                   QStringLiteral("Select Panel"));
            return;
        }
        const qint32 id = m_selectedPanelId;
        QString answer;
        QString trimmed;
        // The name as the question shows it is the one the rename replaces.
        QVariant loaded;
        for (;;) {
            loaded = DbGetPanelNameValue(id);
            answer = Prompt()
                         .inputText(QStringLiteral("Change ") + loaded.toString() + QStringLiteral(" to:"),
                                    QStringLiteral("Rename"), QString())
                         .value_or(QString());
            trimmed = answer.trimmed();
            // Blanks alone are no name: the panel keeps its own.
            if (trimmed.isEmpty() || !DbPanelNameExists(m_tunnelId, trimmed))
                break;
        }
        if (trimmed.isEmpty())
            return;
        const QString shownName = m_panels.contains(id) ? m_panels.value(id).name : loaded.toString();
        const SaveOutcome out = DbSavePanelName(id, loaded, shownName, trimmed);
        if (out.result == SaveOutcome::Result::Gone) {
            ZVMap1->Delete(id);
            ForgetPanel(id);
            ZVMap1->Refresh();
            return;
        }
        if (!out.saved())
            return;
        if (out.showStored()) {
            m_panels[id].name = DbGetPanelName(id);
            lblPanelName->setText(m_panels[id].name);
            return;
        }
        m_panels[id].name = trimmed;
        lblPanelName->setText(answer);
    } catch (const std::exception& e) {
        logError(QStringLiteral("Error renaming panel."), e);
    }
}

void frmTunnelSpecs::cmdTImage_Click()
{
    try {
        // The picture is looked for in the tunnel's folder, which goes by the tunnel's name.
        if (!RowExists(QStringLiteral("Tunnels"), {{QStringLiteral("TunnelID"), m_tunnelId}})) {
            MsgBox(RemovedByAnotherUserText(QStringLiteral("The tunnel ") + m_tunnelName), MsgButtons::Ok,
                   MsgIcon::Warning);
            return;
        }
        const QString folder = GetTunnelFolder(m_tunnelId);
        QString file;
        if (!OutlivesLoop(this, [&] { file = ChooseSystemMap(QStringLiteral("Panel Definitions"), folder); }))
            return;
        if (file.isEmpty() || !IsRegularFile(folder + file))
            return;
        // Stored only once the map has taken it; one it cannot take, or one not stored, leaves
        // the map as it was.
        bool kept = false;
        try {
            ChangeMapPicture(ZVMap1, folder + file, [&] {
                const SaveOutcome out = DbSaveTunnelValue(m_tunnelId, m_tunnelName, QStringLiteral("TunnelPicture"),
                                                          m_loadedPicture, TextValue(file));
                if (!out.saved())
                    throw PictureNotStored();
                kept = out.showStored();
            });
        } catch (const PictureNotStored&) {
            return;
        }
        if (kept) {
            ShowStoredPicture();
            return;
        }
        m_loadedPicture = TextValue(file);
        m_border = ShowTunnelBorder(ZVMap1, m_tunnelId);
        cmdDraw->setEnabled(true);
        cmdColor->setEnabled(true);
    } catch (const std::exception& e) {
        logError(QStringLiteral("Error loading image."), e);
    }
}

void frmTunnelSpecs::cmdColor_Click()
{
    // A cancelled dialog writes nothing. A colour the database refused is reported and not
    // shown, so the map never claims a colour the next opening will not have.
    try {
        ChangeTunnelBorderColour(ZVMap1, m_tunnelId, m_tunnelName, m_border);
    } catch (const std::exception& e) {
        logError(QStringLiteral("Error modifying border color."), e);
    }
}

void frmTunnelSpecs::mnuBorderColor_Click()
{
    cmdColor_Click();
    try {
        ZVMap1->Refresh();
    } catch (const std::exception& e) {
        logError(QStringLiteral("Error modifying border color."), e);
    }
}

void frmTunnelSpecs::cmdBorderWidth_Click()
{
    try {
        const std::optional<qint16> width = AskBorderWidth(ZVMap1->DrawWidth());
        if (!width || *width == ZVMap1->DrawWidth())
            return;
        const SaveOutcome out =
            DbSaveTunnelValue(m_tunnelId, m_tunnelName, QStringLiteral("DrawWidth"), m_border.drawWidth, *width);
        if (!out.saved())
            return;
        if (out.showStored()) {
            m_border = ShowTunnelBorder(ZVMap1, m_tunnelId);
            return;
        }
        m_border.drawWidth = *width;
        ZVMap1->setDrawWidth(*width);
    } catch (const std::exception& e) {
        logError(QStringLiteral("Error modifying border width."), e);
    }
}

void frmTunnelSpecs::cmdClose_Click()
{
    try {
        Unload();
    } catch (const std::exception& e) {
        logError(QStringLiteral("Error closing Panel Definition Screen"), e);
    }
}

void frmTunnelSpecs::FormUnload()
{
    try {
        if (IsFormLoaded(QStringLiteral("frmOpenSysMap")))
            UnloadFormByName(QStringLiteral("frmOpenSysMap"));
        SaveFormPosition(this);
        m_selectedPanelId = 0;
    } catch (const std::exception& e) {
        logError(QStringLiteral("Error unloading Panel Definitions screen."), e);
    }
}

// ---------------------------------------------------------------- pop-up menu

void frmTunnelSpecs::mnuCopy_Click()
{
    try {
        m_newPanelMode = false;
        if (m_selectedPanelId != 0) {
            ZVMap1->Copy(m_selectedPanelId);
            mnuPaste->setEnabled(true);
            mnuCopy->setEnabled(false);
        } else {
            MsgBox(QStringLiteral("You must select a panel."), MsgButtons::Ok, MsgIcon::Information,
                   QStringLiteral("Select Panel"));
        }
        ZVMap1->Refresh();
    } catch (const std::exception& e) {
        logError(QStringLiteral("Error copying panel."), e);
    }
}

void frmTunnelSpecs::mnuPaste_Click()
{
    try {
        m_newPanelMode = false;
        QString name;
        for (;;) {
            name = Prompt()
                       .inputText(QStringLiteral("Enter a name for this panel:"), QStringLiteral("New Panel"), QString())
                       .value_or(QString());
            if (name.isEmpty() || !DbPanelNameExists(m_tunnelId, name))
                break;
        }
        if (name.isEmpty()) {
            m_selectedPanelId = 0;
            mnuPaste->setEnabled(false);
            mnuCopy->setEnabled(true);
            return;
        }
        m_pasteError.clear();
        m_pasteReason.clear();
        bool placed = false;
        bool tunnelGone = false;
        {
            // The panel and its first outline together: a failed outline takes the panel back.
            WaitCursor wait;
            TxGuard tx;
            tunnelGone = !RowExists(QStringLiteral("Tunnels"), {{QStringLiteral("TunnelID"), m_tunnelId}});
            if (!tunnelGone) {
                lblPanelName->setText(name);
                m_pastedPanelId = DbAddPanel(m_tunnelId, name);
                m_panels[m_pastedPanelId].name = name;
                ZVMap1->Paste(m_pastedPanelId);
                placed = true;
                if (m_pasteError.isEmpty())
                    tx.commit();
            }
        }
        if (tunnelGone)
            MsgBox(RemovedByAnotherUserText(QStringLiteral("The tunnel ") + m_tunnelName), MsgButtons::Ok,
                   MsgIcon::Warning);
        if (placed && !m_pasteError.isEmpty()) {
            ZVMap1->Cancel();
            ZVMap1->Delete(m_pastedPanelId);
            m_panels.remove(m_pastedPanelId);
            lblPanelName->clear();
            LogError(WithReason(QStringLiteral("Error pasting panel."), m_pasteReason), kForm, 0, m_pasteError);
        }
        m_selectedPanelId = 0;
        ZVMap1->Refresh();
    } catch (const std::exception& e) {
        lblPanelName->clear();
        logError(QStringLiteral("Error: Unable to paste panel."), e);
    }
}

void frmTunnelSpecs::mnuPan_Click()
{
    try {
        ZVMap1->Pan(mnuPan->isChecked());
    } catch (const std::exception& e) {
        logError(QStringLiteral("Error setting pan."), e);
    }
}

void frmTunnelSpecs::zoomTo(qint16 percent)
{
    try {
        ZVMap1->Zoom(percent);
    } catch (const std::exception& e) {
        logError(QStringLiteral("Error zooming to %1%").arg(percent), e);
    }
}

void frmTunnelSpecs::pointTool(void (ZVMap::*tool)(), const QString& noPictureText, const QString& errorText)
{
    // The buttons stay as they are: the tool ends with its point or with another command.
    try {
        m_newPanelMode = false;
        if (ZVMap1->Image().isEmpty()) {
            MsgBox(noPictureText, MsgButtons::Ok, MsgIcon::None, QStringLiteral("Define Panels"));
            return;
        }
        (ZVMap1->*tool)();
        ZVMap1->Refresh();
    } catch (const std::exception& e) {
        logError(errorText, e);
    }
}

void frmTunnelSpecs::showAbout()
{
    (new frmAbout(this))->exec();
}

// ---------------------------------------------------------------- map events

void frmTunnelSpecs::ZVMap1_MouseDown(qint16 button, qint16, float, float)
{
    if (button == 2)
        mnuPopUp->popup(QCursor::pos());
}

void frmTunnelSpecs::ZVMap1_PolyHit(qint32 id, qint16)
{
    try {
        m_selectedPanelId = m_editPanelId = id;
        m_newPanelMode = false;
        lblPanelName->setText(DbGetPanelName(id));
        ShowTunnelInTitle(this, QStringLiteral("Panel Definition - "), m_tunnelId, m_tunnelName);
        mnuCopy->setEnabled(true);
        mnuPaste->setEnabled(false);
        cmdRename->setEnabled(true);
    } catch (const std::exception& e) {
        logError(QStringLiteral("Error locating panel."), e);
    }
}

void frmTunnelSpecs::ZVMap1_PolyIdentified(qint32& outId, const QVector<zv::Point>& points, bool& cancel)
{
    const bool redraw = !m_newPanelMode;
    try {
        m_redrawing = false;
        if (m_newPanelMode) {
            QString name;
            for (;;) {
                name = Prompt()
                           .inputText(QStringLiteral("Enter name: "), QStringLiteral("Panel Name"), QString())
                           .value_or(QString());
                if (name.isEmpty() || !DbPanelNameExists(m_tunnelId, name))
                    break;
            }
            if (name.isEmpty()) {
                m_selectedPanelId = 0;
                cancel = true;
                ResetButtons();
                return;
            }
            // A new panel comes with its outline or not at all, and never into a tunnel
            // another user removed.
            const Outline outline = ToOutline(points);
            qint32 panelId = 0;
            RowWrite add;
            add.kind = RowWrite::Kind::Add;
            add.what = QStringLiteral("The panel ") + name;
            add.write = [&] {
                panelId = DbAddPanel(m_tunnelId, name);
                DbSavePanelCoords(panelId, outline);
            };
            if (!SaveRows({add}, {{QStringLiteral("Tunnels"), {{QStringLiteral("TunnelID"), m_tunnelId}},
                                   QStringLiteral("The tunnel ") + m_tunnelName}})
                     .saved()) {
                m_selectedPanelId = 0;
                cancel = true;
                ResetButtons();
                return;
            }
            m_editPanelId = panelId;
            m_panels[panelId] = {outline, name};
        } else if (!SaveEditedOutline(m_editPanelId, ToOutline(points))) {
            cancel = true;
            m_newPanelMode = true;
            m_selectedPanelId = 0;
            lblPanelName->clear();
            ResetButtons();
            return;
        }
        outId = m_editPanelId;
        m_selectedPanelId = 0;
        lblPanelName->clear();
        m_newPanelMode = true;
        ResetButtons();
    } catch (const std::exception& e) {
        // Nothing was stored: the drawn polygon goes, and a redrawn panel shows its stored
        // outline again.
        cancel = true;
        m_newPanelMode = true;
        m_selectedPanelId = 0;
        ResetButtons();
        if (redraw) {
            try {
                ShowStoredOutline(m_editPanelId);
            } catch (const std::exception&) {
            }
        }
        logError(QStringLiteral("Error identifying new panel."), e);
    }
}

void frmTunnelSpecs::ZVMap1_PolyMoved(qint32 id, const QVector<zv::Point>& points)
{
    try {
        m_newPanelMode = false;
        SaveEditedOutline(id, ToOutline(points));
    } catch (const std::exception& e) {
        // The stored outline stays whole; the map shows it again.
        try {
            ZVMap1->Delete(id);
            ShowStoredOutline(id);
        } catch (const std::exception&) {
        }
        logError(QStringLiteral("Error moving panel."), e);
    }
}

void frmTunnelSpecs::ZVMap1_PolyPasted(qint32 id, const QVector<zv::Point>& points)
{
    // Runs inside the paste command's transaction, which reports a failure once it has
    // rolled back.
    try {
        m_newPanelMode = false;
        const Outline outline = ToOutline(points);
        DbSavePanelCoords(id, outline);
        m_panels[id].outline = outline;
    } catch (const std::exception& e) {
        m_pasteError = QString::fromUtf8(e.what());
        m_pasteReason = FailureReason(e);
        if (m_pasteError.isEmpty())
            m_pasteError = QStringLiteral("Error");
    }
}

void frmTunnelSpecs::ZVMap1_PointMoved(qint32 polyId, const QVector<zv::Point>& points)
{
    try {
        m_newPanelMode = false;
        SaveEditedOutline(polyId, ToOutline(points));
        ZVMap1->Refresh();
    } catch (const std::exception& e) {
        try {
            ZVMap1->Delete(polyId);
            ShowStoredOutline(polyId);
        } catch (const std::exception&) {
        }
        logError(QStringLiteral("Error moving panel point."), e);
    }
}

// ---------------------------------------------------------------- layout

void frmTunnelSpecs::resizeEvent(QResizeEvent* event)
{
    KrvForm<QWidget>::resizeEvent(event);
    Arrange();
}

void frmTunnelSpecs::Arrange()
{
    if (!ZVMap1 || !fraData)
        return;
    const int dataW = ArrangeMapAndData(this, ZVMap1, fraData, kDataHeight, 500, 100);
    const int frameLeft = (dataW - kFrameWidth) / 2;
    Frame1->setGeometry(TwipRect(frameLeft, 0, kFrameWidth, 560));
    fra1->setGeometry(TwipRect(frameLeft, 600, kFrameWidth, 1340));
    cmdClose->setGeometry(TwipRect(VarMax(5000, dataW - kCloseWidth - 40), 1460, kCloseWidth, kButtonHeight));
}

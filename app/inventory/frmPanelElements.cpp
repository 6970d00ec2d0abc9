#include "frmPanelElements.h"

#include "clicklabel.h"
#include "db.h"
#include "dbcascades.h"
#include "dbsystem.h"
#include "frmAbout.h"
#include "globals.h"
#include "helpers.h"
#include "lookups.h"
#include "mapwindows.h"
#include "modkrv.h"
#include "prompt.h"
#include "regularfiles.h"
#include "settings.h"
#include "uihelpers.h"

#include <QAction>
#include <QCursor>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QResizeEvent>

namespace {
const QString kForm = QStringLiteral("frmPanelElements");

QPushButton* button(QWidget* parent, const QString& text, const char* name)
{
    auto* b = new QPushButton(text, parent);
    b->setObjectName(QLatin1String(name));
    return b;
}

QListWidget* list(QWidget* parent, const char* name, bool multi)
{
    auto* l = new QListWidget(parent);
    l->setObjectName(QLatin1String(name));
    l->setSelectionMode(multi ? QAbstractItemView::MultiSelection : QAbstractItemView::SingleSelection);
    return l;
}

QLabel* caption(QWidget* parent, const QString& text, const char* name)
{
    auto* l = new QLabel(text, parent);
    l->setObjectName(QLatin1String(name));
    return l;
}

void addItem(QListWidget* list, const QString& text, qint32 data)
{
    auto* item = new QListWidgetItem(text, list);
    item->setData(Qt::UserRole, data);
}

qint32 itemData(const QListWidgetItem* item) { return item->data(Qt::UserRole).toInt(); }

void logError(const QString& message, const std::exception& e) { LogFormError(message, kForm, e); }

// Geometry of the design, in twips.
constexpr int kDataHeight = 3420;
constexpr int kFrameWidth = 11900;
constexpr int kListWidth = 3000;
constexpr int kCloseWidth = 1200;
constexpr int kButtonHeight = 420;

}  // namespace

frmPanelElements::frmPanelElements(QWidget* parent) : KrvForm<QWidget>(kForm, parent)
{
    setWindowTitle(QStringLiteral("Panel Element Definition"));

    MakeMap();

    fraData = new QWidget(this);
    fraData->setObjectName(QStringLiteral("fraData"));
    fra1 = new QGroupBox(QStringLiteral("Define Panel Elements"), fraData);
    fra1->setObjectName(QStringLiteral("fra1"));

    caption(fra1, QStringLiteral("Panel Name:"), "Label4")->setGeometry(TwipRect(240, 300, 1200, 300));
    lblPanelName = caption(fra1, QString(), "lblPanelName");
    lblPanelName->setGeometry(TwipRect(1440, 300, 6000, 300));
    QFont bold = lblPanelName->font();
    bold.setBold(true);
    lblPanelName->setFont(bold);

    // Three lists side by side; Add sits between the catalogue and the panel's elements.
    const int listTop = 900;
    const int listHeight = 1740;
    const int addWidth = 1800;
    const int x1 = 200, x2 = x1 + kListWidth + 200, xAdd = x2 + kListWidth + 150, x3 = xAdd + addWidth + 150;
    caption(fra1, QStringLiteral("Selected Panels"), "Label1")->setGeometry(TwipRect(x1, 620, kListWidth, 260));
    caption(fra1, QStringLiteral("Panel Elements"), "Label2")->setGeometry(TwipRect(x2, 620, kListWidth, 260));
    caption(fra1, QStringLiteral("Available Elements"), "Label3")->setGeometry(TwipRect(x3, 620, kListWidth, 260));
    lstPanels = list(fra1, "lstPanels", false);
    lstEle = list(fra1, "lstEle", true);
    lstAvailEle = list(fra1, "lstAvailEle", true);
    lstPanels->setGeometry(TwipRect(x1, listTop, kListWidth, listHeight));
    lstEle->setGeometry(TwipRect(x2, listTop, kListWidth, listHeight));
    lstAvailEle->setGeometry(TwipRect(x3, listTop, kListWidth, listHeight));

    const int buttonTop = listTop + listHeight + 60;
    cmdSelectAllPanels = button(fra1, QStringLiteral("Select All Panels"), "cmdSelectAllPanels");
    cmdSelectAllPanels->setGeometry(TwipRect(x1, buttonTop, kListWidth, kButtonHeight));
    cmdRemove = button(fra1, QStringLiteral("Remove Element(s)"), "cmdRemove");
    cmdRemove->setGeometry(TwipRect(x2, buttonTop, kListWidth, kButtonHeight));
    cmdAdd = button(fra1, QStringLiteral("Add Element(s)"), "cmdAdd");
    cmdAdd->setGeometry(TwipRect(xAdd, listTop + (listHeight - kButtonHeight) / 2, addWidth, kButtonHeight));
    cmdSelectAllEle = button(fra1, QStringLiteral("Select All Elements"), "cmdSelectAllEle");
    cmdSelectAllEle->setGeometry(TwipRect(x3, buttonTop, kListWidth, kButtonHeight));

    cmdClose = button(fraData, QStringLiteral("Close"), "cmdClose");

    AddLogo(fraData, 180, "Label5", Image1, Label5);

    mnuPopUp = new QMenu(QStringLiteral("PopUp"), this);
    mnuPopUp->setObjectName(QStringLiteral("mnuPopUp"));
    const PanZoomItems panZoom = AddPanZoomItems(mnuPopUp);
    mnuPan = panZoom.pan;
    mnuZoom = panZoom.zoom;
    mnuZoom50 = panZoom.zoom50;
    mnuZoom100 = panZoom.zoom100;
    mnuZoom150 = panZoom.zoom150;
    mnuZoom200 = panZoom.zoom200;
    mnuBorderWidth = MenuItem(mnuPopUp, QStringLiteral("Set Border Width"), "mnuBorderWidth");
    mnuBorderColor = MenuItem(mnuPopUp, QStringLiteral("Set Border Color"), "mnuBorderColor");

    connect(lstPanels, &QListWidget::itemSelectionChanged, this, [this] {
        if (!m_settingPanels)
            lstPanels_Click();
    });
    connect(cmdAdd, &QPushButton::clicked, this, &frmPanelElements::cmdAdd_Click);
    connect(cmdRemove, &QPushButton::clicked, this, &frmPanelElements::cmdRemove_Click);
    connect(cmdSelectAllEle, &QPushButton::clicked, this, &frmPanelElements::cmdSelectAllEle_Click);
    connect(cmdSelectAllPanels, &QPushButton::clicked, this, &frmPanelElements::cmdSelectAllPanels_Click);
    connect(cmdClose, &QPushButton::clicked, this, &frmPanelElements::cmdClose_Click);
    connect(mnuBorderWidth, &QAction::triggered, this, &frmPanelElements::mnuBorderWidth_Click);
    connect(mnuBorderColor, &QAction::triggered, this, &frmPanelElements::mnuBorderColor_Click);
    connect(mnuPan, &QAction::triggered, this, &frmPanelElements::mnuPan_Click);
    connect(mnuZoom50, &QAction::triggered, this, [this] { zoomTo(50); });
    connect(mnuZoom100, &QAction::triggered, this, [this] { zoomTo(100); });
    connect(mnuZoom150, &QAction::triggered, this, [this] { zoomTo(150); });
    connect(mnuZoom200, &QAction::triggered, this, [this] { zoomTo(200); });
    connect(Image1, &ClickLabel::clicked, this, &frmPanelElements::showAbout);
    connect(Label5, &ClickLabel::clicked, this, &frmPanelElements::showAbout);

    setMinimumSize(TwipsToPixels(kFrameWidth + 2700), TwipsToPixels(kDataHeight + 2400));
    try {
        resize(1000, 760);
        RestoreFormPosition(this);
    } catch (const std::exception& e) {
        logError(QStringLiteral("Error loading Element Definition screen."), e);
    }
}

// ---------------------------------------------------------------- opening

// A fresh map control: a window loaded again shows nothing of the tunnel it showed before
// (the control can drop its polygons but not its picture).
void frmPanelElements::MakeMap()
{
    ZVMap1 = NewTunnelPictureMap(this, ZVMap1);
    // Out-arguments of the control's events are read back when the slot returns.
    connect(ZVMap1, &ZVMap::MouseDown, this, &frmPanelElements::ZVMap1_MouseDown, Qt::DirectConnection);
    connect(ZVMap1, &ZVMap::PolyHit, this, &frmPanelElements::ZVMap1_PolyHit, Qt::DirectConnection);
    ZVMap1->show();
    Arrange();
}

void frmPanelElements::LoadForm(qint32 tunnelId)
{
    try {
        // One window at a time, each with a map of its own tunnel's panels only.
        UnloadOtherInstances(this, kForm);

        const RowSet panels = DbGetPanels(tunnelId);
        if (panels.isEmpty()) {
            MsgBox(QStringLiteral("You must first add at least 1 panel\nbefore you can define any elements."),
                   MsgButtons::Ok, MsgIcon::Warning, QStringLiteral("Define Elements"));
            Unload();
            return;
        }
        // Loaded again (the opener kept this window): no outline of the last tunnel stays.
        if (m_loaded) {
            MakeMap();
            mnuPan->setChecked(false);
        }
        m_loaded = true;
        m_tunnelId = tunnelId;
        SetFormTunnel(this, tunnelId);
        m_tunnelName.clear();
        ShowTunnelInTitle(this, QStringLiteral("Panel Element Definition - "), tunnelId, m_tunnelName);
        m_panelId = panels.toInt(0, QStringLiteral("PanelID"));
        LoadTunnelImage();
        if (!gPictureFound) {
            gPictureFound = true;
            Unload();
            return;
        }
        LoadPanels();
        FillAvailableElements();
        m_settingPanels = true;
        lstPanels->clear();
        m_settingPanels = false;
        lstEle->clear();
        lblPanelName->clear();
        show();
    } catch (const std::exception& e) {
        logError(QStringLiteral("Error loading Element Definitions screen."), e);
        // Not left loaded and unseen.
        Unload();
    }
}

void frmPanelElements::LoadTunnelImage()
{
    try {
        const QString picture = DbGetTunnelPicture(m_tunnelId);
        const QString folder = GetTunnelFolder(m_tunnelId);
        const QString path = folder + picture;
        // Without a picture name the path is the folder, which counts as found when it
        // holds any file.
        const bool found = picture.isEmpty() ? !RegularFileNames(folder, {}).isEmpty()
                                             : IsRegularFile(path);
        if (!found) {
            MsgBox(QStringLiteral("Image not found: ") + path, MsgButtons::Ok, MsgIcon::Warning,
                   QStringLiteral("Image not Found"));
            gPictureFound = false;
            return;
        }
        if (picture.isEmpty())
            return;
        ZVMap1->setImage(path);
        m_border = ShowTunnelBorder(ZVMap1, m_tunnelId);
    } catch (const std::exception& e) {
        logError(QStringLiteral("Error loading image."), e);
    }
}

void frmPanelElements::LoadPanels()
{
    try {
        const RowSet panels = DbGetPanels(m_tunnelId);
        for (int i = 0; i < panels.count(); ++i)
            ShowPanelOutline(ZVMap1, panels.toInt(i, QStringLiteral("PanelID")));
        ZVMap1->setPVisible(true);
    } catch (const std::exception& e) {
        logError(QStringLiteral("Error loading panels."), e);
    }
}

void frmPanelElements::FillAvailableElements()
{
    try {
        lstAvailEle->clear();
        const RowSet rs = DbGetAvailableElements();
        for (int i = 0; i < rs.count(); ++i)
            addItem(lstAvailEle, rs.value(i, QStringLiteral("ElementName")).toString(),
                    rs.toInt(i, QStringLiteral("ElementID")));
    } catch (const std::exception& e) {
        logError(QStringLiteral("Error loading defined elements ."), e);
    }
}

void frmPanelElements::ShowPanelElements()
{
    try {
        lstEle->clear();
        DbGetPanelInfo(m_panelId, m_panelNum, m_panelName);
        lblPanelName->setText(m_panelName);
        ShowTunnelInTitle(this, QStringLiteral("Panel Element Definition - "), m_tunnelId, m_tunnelName);
        const RowSet rs = DbGetPanelElements(m_panelId);
        for (int i = 0; i < rs.count(); ++i)
            addItem(lstEle, rs.value(i, QStringLiteral("ElementName")).toString(),
                    rs.toInt(i, QStringLiteral("ElementID")));
    } catch (const std::exception& e) {
        logError(QStringLiteral("Error loading panel elements."), e);
    }
}

// ---------------------------------------------------------------- panels

// Selects the first listed panel and runs the list's click for it, as a click would.
void frmPanelElements::selectFirstPanel()
{
    if (lstPanels->count() == 0)
        return;
    m_settingPanels = true;
    lstPanels->setCurrentRow(0);
    lstPanels->item(0)->setSelected(true);
    m_settingPanels = false;
    lstPanels_Click();
}

void frmPanelElements::lstPanels_Click()
{
    try {
        const QList<QListWidgetItem*> selected = lstPanels->selectedItems();
        if (selected.isEmpty())
            return;
        m_panelId = itemData(selected.first());
        ShowPanelElements();
        ZVMap1->HighlightPoly(m_panelId);
    } catch (const std::exception& e) {
        logError(QStringLiteral("Error selecting panel."), e);
    }
}

void frmPanelElements::ZVMap1_PolyHit(qint32 id, qint16 shift)
{
    try {
        m_panelId = id;
        if (shift != 2) {
            qint32 number = 0;
            QString name;
            DbGetPanelInfo(id, number, name);
            m_settingPanels = true;
            lstPanels->clear();
            addItem(lstPanels, name, id);
            m_settingPanels = false;
            selectFirstPanel();
            return;
        }
        // Ctrl+click adds the panel to the picked ones, or takes it out again.
        int found = -1;
        for (int row = 0; row < lstPanels->count() && found < 0; ++row)
            if (itemData(lstPanels->item(row)) == id)
                found = row;
        if (found < 0) {
            qint32 number = 0;
            QString name;
            DbGetPanelInfo(id, number, name);
            m_settingPanels = true;
            addItem(lstPanels, name, id);
            m_settingPanels = false;
            selectFirstPanel();
            return;
        }
        m_settingPanels = true;
        delete lstPanels->takeItem(found);
        m_settingPanels = false;
        if (lstPanels->count() == 0) {
            lstEle->clear();
            lblPanelName->clear();
        }
        ZVMap1->Refresh();
        selectFirstPanel();
    } catch (const std::exception& e) {
        m_settingPanels = false;
        logError(QStringLiteral("Error identifying panel."), e);
    }
}

void frmPanelElements::cmdSelectAllPanels_Click()
{
    try {
        m_settingPanels = true;
        lstPanels->clear();
        const RowSet panels = DbGetPanels(m_tunnelId);
        for (int i = 0; i < panels.count(); ++i)
            addItem(lstPanels, panels.value(i, QStringLiteral("PanelName")).toString(),
                    panels.toInt(i, QStringLiteral("PanelID")));
        m_settingPanels = false;
        selectFirstPanel();
    } catch (const std::exception& e) {
        m_settingPanels = false;
        logError(QStringLiteral("Error: Unable to select all panels."), e);
    }
}

// ---------------------------------------------------------------- elements

void frmPanelElements::cmdSelectAllEle_Click()
{
    try {
        for (int row = 0; row < lstAvailEle->count(); ++row)
            lstAvailEle->item(row)->setSelected(true);
    } catch (const std::exception& e) {
        logError(QStringLiteral("Error: Unable to select all elements."), e);
    }
}

void frmPanelElements::cmdAdd_Click()
{
    const qint32 current = m_panelId;
    try {
        // The selection counts, not the current row: Select All leaves no current row.
        if (lstAvailEle->selectedItems().isEmpty() || lstPanels->count() == 0)
            return;
        QList<QListWidgetItem*> elements;
        for (int row = 0; row < lstAvailEle->count(); ++row)
            if (lstAvailEle->item(row)->isSelected())
                elements << lstAvailEle->item(row);
        // Every pair of the command in one transaction; a panel or element another user removed
        // meanwhile gets none, and the user is told.
        QVector<RowWrite> writes;
        for (QListWidgetItem* element : elements) {
            const qint32 elementId = itemData(element);
            for (int row = 0; row < lstPanels->count(); ++row) {
                const qint32 panelId = itemData(lstPanels->item(row));
                const QString panel = lstPanels->item(row)->text();
                RowWrite w;
                w.kind = RowWrite::Kind::Add;
                w.what = QStringLiteral("The element %1 of panel %2").arg(element->text(), panel);
                w.needs = {{QStringLiteral("Panels"), {{QStringLiteral("PanelID"), panelId}},
                            QStringLiteral("The panel ") + panel},
                           {QStringLiteral("AvailableElements"), {{QStringLiteral("ElementID"), elementId}},
                            QStringLiteral("The element ") + element->text()}};
                w.write = [panelId, elementId] { DbAddPanelElement(panelId, elementId); };
                writes << w;
            }
        }
        SaveOutcome out;
        {
            WaitCursor wait;
            out = SaveRows(writes);
        }
        for (QListWidgetItem* element : elements)
            element->setSelected(false);
        if (out.showStored()) {
            FillAvailableElements();
            dropRemovedPanels();
        }
        lstEle->clear();
        if (lstPanels->count() == 0)
            return;
        if (lstPanels->selectedItems().isEmpty())
            ShowPanelElements();
        else
            lstPanels_Click();
    } catch (const std::exception& e) {
        m_panelId = current;
        logError(QStringLiteral("Error: Unable to add element(s)."), e);
    }
}

void frmPanelElements::dropRemovedPanels()
{
    m_settingPanels = true;
    for (int row = lstPanels->count() - 1; row >= 0; --row) {
        const qint32 id = itemData(lstPanels->item(row));
        if (RowExists(QStringLiteral("Panels"), {{QStringLiteral("PanelID"), id}}))
            continue;
        delete lstPanels->takeItem(row);
        ZVMap1->Delete(id);
    }
    m_settingPanels = false;
    if (!RowExists(QStringLiteral("Panels"), {{QStringLiteral("PanelID"), m_panelId}})) {
        lblPanelName->clear();
        if (lstPanels->count() > 0)
            m_panelId = itemData(lstPanels->item(0));
    }
}

void frmPanelElements::cmdRemove_Click()
{
    try {
        if (lstEle->selectedItems().isEmpty())
            return;
        WaitCursor wait;
        // Each selected element of the current panel once, top to bottom: removed ones leave
        // the list, refused ones are deselected.
        int row = 0;
        while (row < lstEle->count()) {
            QListWidgetItem* item = lstEle->item(row);
            if (!item->isSelected()) {
                ++row;
                continue;
            }
            if (DbRemovePanelElement(m_panelId, itemData(item))) {
                delete lstEle->takeItem(row);
            } else {
                item->setSelected(false);
                ++row;
            }
        }
    } catch (const std::exception& e) {
        logError(QStringLiteral("Error: Unable to remove element(s)."), e);
    }
}

// ---------------------------------------------------------------- pop-up menu

void frmPanelElements::mnuBorderWidth_Click()
{
    // Applies to this map only; the tunnel's stored width is the set-up window's business.
    try {
        if (const std::optional<qint16> width = AskBorderWidth(ZVMap1->DrawWidth()))
            ZVMap1->setDrawWidth(*width);
    } catch (const std::exception& e) {
        logError(QStringLiteral("Error modifying border width."), e);
    }
}

void frmPanelElements::mnuBorderColor_Click()
{
    // A cancelled dialog writes nothing. A colour the database refused is reported and not
    // shown.
    try {
        ChangeTunnelBorderColour(ZVMap1, m_tunnelId, m_tunnelName, m_border);
    } catch (const std::exception& e) {
        logError(QStringLiteral("Error modifying border color."), e);
    }
}

void frmPanelElements::mnuPan_Click()
{
    try {
        ZVMap1->Pan(mnuPan->isChecked());
    } catch (const std::exception& e) {
        logError(QStringLiteral("Error setting pan."), e);
    }
}

void frmPanelElements::zoomTo(qint16 percent)
{
    try {
        ZVMap1->Zoom(percent);
    } catch (const std::exception& e) {
        logError(QStringLiteral("Error zooming map to %1%").arg(percent), e);
    }
}

void frmPanelElements::showAbout()
{
    (new frmAbout(this))->exec();
}

void frmPanelElements::ZVMap1_MouseDown(qint16 button, qint16, float, float)
{
    if (button == 2)
        mnuPopUp->popup(QCursor::pos());
}

// ---------------------------------------------------------------- closing and layout

void frmPanelElements::cmdClose_Click()
{
    try {
        Unload();
    } catch (const std::exception& e) {
        logError(QStringLiteral("Error closing Panel Elements Screen."), e);
    }
}

void frmPanelElements::FormUnload()
{
    SaveFormPosition(this);
}

void frmPanelElements::resizeEvent(QResizeEvent* event)
{
    KrvForm<QWidget>::resizeEvent(event);
    Arrange();
}

void frmPanelElements::Arrange()
{
    if (!ZVMap1 || !fraData)
        return;
    const int dataW = ArrangeMapAndData(this, ZVMap1, fraData, kDataHeight, 100, 5000);
    fra1->setGeometry(TwipRect((dataW - kFrameWidth) / 2, 0, kFrameWidth, kDataHeight - 60));
    cmdClose->setGeometry(
        TwipRect(VarMax(5000, dataW - kCloseWidth - 40), kDataHeight - kButtonHeight - 120, kCloseWidth, kButtonHeight));
}

#include "frmSystem.h"

#include "clicklabel.h"
#include "dbbind.h"
#include "dbcascades.h"
#include "dbhighlights.h"
#include "dbinventory.h"
#include "frmAbout.h"
#include "frmDBManager.h"
#include "globals.h"
#include "helpers.h"
#include "krverror.h"
#include "mappicture.h"
#include "mapwindows.h"
#include "modkrv.h"
#include "prompt.h"
#include "regularfiles.h"
#include "settings.h"
#include "startup.h"
#include "textfit.h"
#include "uihelpers.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCursor>
#include <QDialog>
#include <QFileInfo>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QTabWidget>

namespace {

const QString kTitle = QStringLiteral("System Wizard");

int tw(double twips) { return TwipsToPixels(twips); }

QAction* separator(QMenu* menu, const char* name)
{
    QAction* a = menu->addSeparator();
    a->setObjectName(QLatin1String(name));
    return a;
}

// The zoom picture: a magnifying glass.
QPixmap magnifier(int size)
{
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const double r = size * 0.28;
    const QPointF centre(size * 0.42, size * 0.42);
    p.setPen(QPen(QColor(60, 60, 60), size * 0.1));
    p.setBrush(QColor(200, 225, 245));
    p.drawEllipse(centre, r, r);
    p.setPen(QPen(QColor(60, 60, 60), size * 0.16, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(centre + QPointF(r * 0.75, r * 0.75), QPointF(size * 0.9, size * 0.9));
    return pm;
}

// The list item's data: the TunnelID, and the name as loaded (Null kept) to compare with at a rename.
constexpr int kLoadedNameRole = Qt::UserRole + 1;

// True when the file reads as a picture, as the map control reads it.
bool isPicture(const QString& path) { return CheckMapPicture(path) != MapPictureCheck::NotPicture; }

void systemWizardMessage(const QString& text) { MsgBox(text, MsgButtons::Ok, MsgIcon::None, kTitle); }

Outline outlineOf(const QVector<zv::Point>& points) { return ToOutline(points); }

// The windows the set-up screens live in, for the commands that open them.
struct WindowCommand {
    const char* command;
    const char* form;
};
constexpr WindowCommand kWindowCommands[] = {
    {"cmdDataTabs", "frmDataTabs"},         {"cmdDefPanelEles", "frmPanelElements"},
    {"cmdDefinePanels", "frmTunnelSpecs"},  {"cmdExpCategories", "frmEleDef"},
    {"cmdElements", "frmEleDef"},           {"cmdDataInput", "frmInspectionPd"},
    {"mnuCreateRep", "frmCreateReplica"},   {"mnuSyncFS", "frmSyncFS"},
};

QWidget* loadedForm(const QString& name)
{
    for (QWidget* w : LoadedForms())
        if (w->objectName().compare(name, Qt::CaseInsensitive) == 0)
            return w;
    return nullptr;
}

}  // namespace

frmSystem::frmSystem(QWidget* parent) : KrvForm<QMainWindow>(QStringLiteral("frmSystem"), parent)
{
    setWindowTitle(kAppTitle);

    // ---- menus
    mnuSys = menuBar()->addMenu(QStringLiteral("&System"));
    mnuSys->setObjectName(QStringLiteral("mnuSys"));
    mnuSys->menuAction()->setObjectName(QStringLiteral("mnuSys"));
    mnuSysMap = MenuItem(mnuSys, QStringLiteral("Set System &Map"), "mnuSysMap");
    mnuTunnel = SubMenu(mnuSys, QStringLiteral("Tunnels"), "mnuTunnel");
    mnuAddTunnel = MenuItem(mnuTunnel, QStringLiteral("&Add Tunnel"), "mnuAddTunnel");
    mnuRemove = MenuItem(mnuTunnel, QStringLiteral("&Remove Tunnel"), "mnuRemove");
    mnuRename = MenuItem(mnuTunnel, QStringLiteral("Re&name Tunnel"), "mnuRename");
    mnuRedraw = MenuItem(mnuTunnel, QStringLiteral("&Redraw Tunnel"), "mnuRedraw");
    mnuMove = MenuItem(mnuTunnel, QStringLiteral("&Move Tunnel"), "mnuMove");
    mnuCoord = SubMenu(mnuTunnel, QStringLiteral("&Tunnel Coordinates"), "mnuCoord");
    mnuCoordMove = MenuItem(mnuCoord, QStringLiteral("&Move Point"), "mnuCoordMove");
    mnuCoordAdd = MenuItem(mnuCoord, QStringLiteral("&Add Point"), "mnuCoordAdd");
    mnuCoordDel = MenuItem(mnuCoord, QStringLiteral("&Delete Point"), "mnuCoordDel");
    mnuSep = separator(mnuTunnel, "mnuSep");
    mnuCancelAdd = MenuItem(mnuTunnel, QStringLiteral("&Cancel"), "mnuCancelAdd");
    mnuSep4 = separator(mnuSys, "mnuSep4");
    mnuUsers = MenuItem(mnuSys, QStringLiteral("User Manager"), "mnuUsers");
    mnuSep5 = separator(mnuSys, "mnuSep5");
    mnuClose = MenuItem(mnuSys, QStringLiteral("&Close Wizard"), "mnuClose");
    mnuExit = MenuItem(mnuSys, QStringLiteral("E&xit"), "mnuExit");

    mnuMap = menuBar()->addMenu(QStringLiteral("&Map"));
    mnuMap->setObjectName(QStringLiteral("mnuMap"));
    mnuMap->menuAction()->setObjectName(QStringLiteral("mnuMap"));
    mnuPan = MenuItem(mnuMap, QStringLiteral("&Pan"), "mnuPan");
    mnuPan->setCheckable(true);
    mnuZoom = SubMenu(mnuMap, QStringLiteral("&Zoom"), "mnuZoom");
    mnuZoom50 = MenuItem(mnuZoom, QStringLiteral("50%"), "mnuZoom50");
    mnuZoom75 = MenuItem(mnuZoom, QStringLiteral("75%"), "mnuZoom75");
    mnuZoom100 = MenuItem(mnuZoom, QStringLiteral("100%"), "mnuZoom100");
    mnuZoom150 = MenuItem(mnuZoom, QStringLiteral("150%"), "mnuZoom150");
    mnuZoom200 = MenuItem(mnuZoom, QStringLiteral("200%"), "mnuZoom200");
    mnuCopy = MenuItem(mnuMap, QStringLiteral("&Copy Tunnel"), "mnuCopy");
    mnuPaste = MenuItem(mnuMap, QStringLiteral("Paste &Tunnel"), "mnuPaste");
    mnuSep6 = separator(mnuMap, "mnuSep6");
    mnuBorderWidth = MenuItem(mnuMap, QStringLiteral("Set Border &Width"), "mnuBorderWidth");
    mnuColor = MenuItem(mnuMap, QStringLiteral("Set Border &Color"), "mnuColor");

    mnuReplication = menuBar()->addMenu(QStringLiteral("&Replication"));
    mnuReplication->setObjectName(QStringLiteral("mnuReplication"));
    mnuReplication->menuAction()->setObjectName(QStringLiteral("mnuReplication"));
    mnuCreateRep = MenuItem(mnuReplication, QStringLiteral("Create Inspection &Replica"), "mnuCreateRep");
    mnuSyncFS = MenuItem(mnuReplication, QStringLiteral("&Synchronize Inspection Data"), "mnuSyncFS");

    mnuHelp = menuBar()->addMenu(QStringLiteral("&Help"));
    mnuHelp->setObjectName(QStringLiteral("mnuHelp"));
    mnuHelp->menuAction()->setObjectName(QStringLiteral("mnuHelp"));
    mnuHelpContents = MenuItem(mnuHelp, QStringLiteral("&Contents..."), "mnuHelpContents");
    mnuHelpIndex = MenuItem(mnuHelp, QStringLiteral("&Index..."), "mnuHelpIndex");
    mnuHelpSep = separator(mnuHelp, "mnuHelpSep");
    mnuAbout = MenuItem(mnuHelp, QStringLiteral("&About"), "mnuAbout");

    mnuSep->setVisible(false);
    mnuCancelAdd->setVisible(false);
    mnuCopy->setEnabled(false);
    mnuPaste->setEnabled(false);

    // ---- controls
    auto* body = new QWidget(this);
    body->setObjectName(QStringLiteral("body"));
    setCentralWidget(body);

    Image1 = new ClickLabel(QString(), body);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setPixmap(ProgramLogo(tw(600)));
    Image1->setGeometry(tw(120), tw(60), tw(600), tw(600));
    Label1 = new ClickLabel(QStringLiteral("Quorrel"), body);
    Label1->setObjectName(QStringLiteral("Label1"));
    QFont logoFont = Label1->font();
    logoFont.setBold(true);
    logoFont.setPointSizeF(logoFont.pointSizeF() * 1.6);
    Label1->setFont(logoFont);
    Label1->setGeometry(tw(780), tw(150), tw(1500), tw(450));

    lblSysName = new QLabel(QStringLiteral("System Name"), body);
    lblSysName->setObjectName(QStringLiteral("lblSysName"));
    lblSysName->setGeometry(tw(2400), tw(60), tw(2000), tw(255));
    txtSysName = new QLineEdit(body);
    txtSysName->setObjectName(QStringLiteral("txtSysName"));
    txtSysName->setToolTip(QStringLiteral("Enter a name for the system"));
    txtSysName->setGeometry(tw(2400), tw(330), tw(4000), tw(345));

    cboZoom = new QComboBox(body);
    cboZoom->setObjectName(QStringLiteral("cboZoom"));
    cboZoom->setEditable(true);
    cboZoom->setInsertPolicy(QComboBox::NoInsert);
    cboZoom->addItems({QStringLiteral("50%"), QStringLiteral("75%"), QStringLiteral("100%"), QStringLiteral("150%"),
                       QStringLiteral("200%")});
    cboZoom->setCurrentIndex(2);
    cboZoom->setToolTip(QStringLiteral("Zoom"));
    cboZoom->setGeometry(tw(6600), tw(330), tw(1100), tw(345));
    imgZoom = new ClickLabel(QString(), body);
    imgZoom->setPixmap(magnifier(tw(345)));
    imgZoom->setObjectName(QStringLiteral("imgZoom"));
    imgZoom->setToolTip(QStringLiteral("Zoom"));
    imgZoom->setAlignment(Qt::AlignCenter);
    imgZoom->setGeometry(tw(7760), tw(330), tw(345), tw(345));

    ZVMap1 = new ZVMap(body);
    ZVMap1->setObjectName(QStringLiteral("ZVMap1"));
    ZVMap1->setBorderStyle(1);
    ZVMap1->setGeometry(tw(120), tw(780), tw(8000), tw(4000));
    // The drawing tool's messages go through the prompt service like every other.
    ZVMap1->setMessageHandler([](const QString& title, const QString& text) {
        MsgBox(text, MsgButtons::Ok, MsgIcon::Warning, title);
    });

    fraButtons = new QFrame(body);
    fraButtons->setObjectName(QStringLiteral("fraButtons"));
    fraButtons->setGeometry(tw(120), tw(5000), tw(7300), tw(3000));
    List1 = new QListWidget(fraButtons);
    List1->setObjectName(QStringLiteral("List1"));
    List1->setGeometry(tw(0), tw(120), tw(1200), tw(2835));

    SSTab1 = new QTabWidget(fraButtons);
    SSTab1->setObjectName(QStringLiteral("SSTab1"));
    SSTab1->setGeometry(tw(1400), tw(0), tw(5900), tw(2500));
    auto page = [this](const QString& caption, const char* name) {
        auto* p = new QWidget;
        p->setObjectName(QLatin1String(name));
        SSTab1->addTab(p, caption);
        return p;
    };
    QWidget* setupPage = page(QStringLiteral("System Setup"), "tabSystemSetup");
    QWidget* definitionPage = page(QStringLiteral("Tunnel Definition"), "tabTunnelDefinition");
    QWidget* optionsPage = page(QStringLiteral("Input Options"), "tabInputOptions");
    auto button = [](QWidget* parent, const QString& text, const char* name, const QString& tip, int column, int row) {
        auto* b = new QPushButton(text, parent);
        b->setObjectName(QLatin1String(name));
        if (!tip.isEmpty())
            b->setToolTip(tip);
        b->setAutoDefault(false);
        b->setGeometry(tw(120 + column * 2850), tw(150 + row * 495), tw(2700), tw(375));
        return b;
    };
    cmdAddTunnel = button(setupPage, QStringLiteral("Add Tunnel"), "cmdAddTunnel",
                          QStringLiteral("Add a tunnel to the system"), 0, 0);
    cmdRename = button(setupPage, QStringLiteral("Rename Tunnel"), "cmdRename",
                       QStringLiteral("Rename the selected tunnel"), 0, 1);
    cmdMove = button(setupPage, QStringLiteral("Move Tunnel"), "cmdMove", QStringLiteral("Move a tunnel on the map"), 0, 2);
    cmdRemove = button(setupPage, QStringLiteral("Remove Tunnel"), "cmdRemove",
                       QStringLiteral("Remove the selected tunnel from the system"), 1, 0);
    cmdRedraw = button(setupPage, QStringLiteral("Redraw Tunnel"), "cmdRedraw",
                       QStringLiteral("Redraw the selected tunnel on the map"), 1, 1);
    cmdSetMap = button(setupPage, QStringLiteral("Set System Map"), "cmdSetMap", QStringLiteral("Select system map image"),
                       1, 2);
    cmdDefinePanels = button(definitionPage, QStringLiteral("Define Tunnel Panels"), "cmdDefinePanels",
                             QStringLiteral("Define panels for the selected tunnel"), 0, 0);
    cmdDefPanelEles = button(definitionPage, QStringLiteral("Define Panel Elements"), "cmdDefPanelEles",
                             QStringLiteral("Associate elements with panels for the selected tunnel"), 0, 1);
    cmdDataTabs = button(definitionPage, QStringLiteral("Define Panel Data Tabs"), "cmdDataTabs", QString(), 0, 2);
    cmdElements = button(definitionPage, QStringLiteral("Define Available Elements"), "cmdElements",
                         QStringLiteral("Define available elements for the system"), 1, 0);
    cmdExpCategories = button(definitionPage, QStringLiteral("Define Expenditure Categories"), "cmdExpCategories",
                              QStringLiteral("Define expenditure categories for the system"), 1, 1);
    cmdDataInput = button(definitionPage, QStringLiteral("Tunnel Data Input"), "cmdDataInput",
                          QStringLiteral("Input inspection periods and ratings for a tunnel."), 1, 2);
    // Both columns take the width the widest caption needs in the desktop's face, and the
    // tab grows to hold them (it keeps its right edge in the frame).
    {
        const QList<QWidget*> grid = {cmdAddTunnel,    cmdRename,       cmdMove,     cmdRemove,
                                      cmdRedraw,       cmdSetMap,       cmdDefinePanels, cmdDefPanelEles,
                                      cmdDataTabs,     cmdElements,     cmdExpCategories, cmdDataInput};
        QList<int> columns;
        for (const QWidget* b : grid)
            columns << (b->x() > tw(120) ? 1 : 0);
        const int width = WidenToWidest(grid);
        for (int i = 0; i < grid.size(); ++i)
            grid[i]->move(tw(120) + columns[i] * (width + tw(150)), grid[i]->y());
        const int right = tw(120) + 2 * width + tw(150);
        SSTab1->resize(std::max(SSTab1->width(), right + tw(230)), SSTab1->height());
    }

    const QStringList digits = {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9"};
    auto limitRow = [&](const QString& caption, const char* listName, const char* swatchName, quint32 bgr, int row,
                        QComboBox*& list, QLabel*& swatch) {
        auto* label = new QLabel(caption, optionsPage);
        label->setGeometry(tw(120), tw(180 + row * 480), tw(3200), tw(300));
        list = new QComboBox(optionsPage);
        list->setObjectName(QLatin1String(listName));
        list->addItems(digits);
        list->setCurrentIndex(-1);
        list->setGeometry(tw(3400), tw(150 + row * 480), tw(800), tw(345));
        swatch = new QLabel(optionsPage);
        swatch->setObjectName(QLatin1String(swatchName));
        swatch->setAutoFillBackground(true);
        QPalette pal = swatch->palette();
        pal.setColor(QPalette::Window, BgrToColor(bgr));
        swatch->setPalette(pal);
        swatch->setFrameShape(QFrame::Box);
        swatch->setGeometry(tw(4350), tw(165 + row * 480), tw(450), tw(315));
    };
    limitRow(QStringLiteral("Warning Highlight for Ratings <="), "cboWarningHL", "picWarningHL", 0x0000E6FF, 0,
             cboWarningHL, picWarningHL);
    limitRow(QStringLiteral("Critical Highlight for Ratings <="), "cboCriticalHL", "picCriticalHL", 0x000000FF, 1,
             cboCriticalHL, picCriticalHL);
    chkCompare = new QCheckBox(QStringLiteral("Compare Ratings during Input"), optionsPage);
    chkCompare->setObjectName(QStringLiteral("chkCompare"));
    chkCompare->setToolTip(QStringLiteral("Allow data entry users to view previous year's data"));
    chkCompare->setGeometry(tw(120), tw(1200), tw(5000), tw(345));

    cmdClose = new QPushButton(QStringLiteral("&Close"), fraButtons);
    cmdClose->setObjectName(QStringLiteral("cmdClose"));
    cmdClose->setToolTip(QStringLiteral("Close the Wizard"));
    cmdClose->setAutoDefault(false);
    cmdClose->setGeometry(tw(6000), tw(2580), tw(1200), tw(375));

    // ---- wiring: a menu item with a button's effect runs the button's handling
    auto both = [this](QPushButton* b, QAction* a, void (frmSystem::*handler)()) {
        if (b)
            connect(b, &QPushButton::clicked, this, [this, handler] { (this->*handler)(); });
        if (a)
            connect(a, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
    };
    both(cmdSetMap, mnuSysMap, &frmSystem::cmdSetMap_Click);
    both(cmdAddTunnel, mnuAddTunnel, &frmSystem::cmdAddTunnel_Click);
    both(cmdRedraw, mnuRedraw, &frmSystem::cmdRedraw_Click);
    both(cmdMove, mnuMove, &frmSystem::cmdMove_Click);
    both(cmdRemove, mnuRemove, &frmSystem::cmdRemove_Click);
    both(cmdRename, mnuRename, &frmSystem::cmdRename_Click);
    both(cmdDataTabs, nullptr, &frmSystem::cmdDataTabs_Click);
    both(cmdDefinePanels, nullptr, &frmSystem::cmdDefinePanels_Click);
    both(cmdDefPanelEles, nullptr, &frmSystem::cmdDefPanelEles_Click);
    both(cmdElements, nullptr, &frmSystem::cmdElements_Click);
    both(cmdExpCategories, nullptr, &frmSystem::cmdExpCategories_Click);
    both(cmdDataInput, nullptr, &frmSystem::cmdDataInput_Click);
    both(nullptr, mnuCoordAdd, &frmSystem::mnuCoordAdd_Click);
    both(nullptr, mnuCoordDel, &frmSystem::mnuCoordDel_Click);
    both(nullptr, mnuCoordMove, &frmSystem::mnuCoordMove_Click);
    both(nullptr, mnuCancelAdd, &frmSystem::mnuCancelAdd_Click);
    both(nullptr, mnuCopy, &frmSystem::mnuCopy_Click);
    both(nullptr, mnuPaste, &frmSystem::mnuPaste_Click);
    both(nullptr, mnuBorderWidth, &frmSystem::mnuBorderWidth_Click);
    both(nullptr, mnuColor, &frmSystem::mnuColor_Click);
    both(nullptr, mnuPan, &frmSystem::mnuPan_Click);
    both(nullptr, mnuUsers, &frmSystem::mnuUsers_Click);
    both(nullptr, mnuCreateRep, &frmSystem::mnuCreateRep_Click);
    both(nullptr, mnuSyncFS, &frmSystem::mnuSyncFS_Click);
    both(nullptr, mnuAbout, &frmSystem::mnuAbout_Click);
    both(nullptr, mnuHelpContents, &frmSystem::mnuHelp_Click);
    both(nullptr, mnuHelpIndex, &frmSystem::mnuHelp_Click);
    connect(Image1, &ClickLabel::clicked, this, &frmSystem::mnuAbout_Click);
    connect(Label1, &ClickLabel::clicked, this, &frmSystem::mnuAbout_Click);
    connect(cmdClose, &QPushButton::clicked, this, [this] { CloseWizard(true); });
    connect(mnuClose, &QAction::triggered, this, [this] { CloseWizard(true); });
    connect(mnuExit, &QAction::triggered, this, [this] { CloseWizard(false); });

    const struct {
        QAction* item;
        qint16 percent;
    } zoomItems[] = {{mnuZoom50, 50}, {mnuZoom75, 75}, {mnuZoom100, 100}, {mnuZoom150, 150}, {mnuZoom200, 200}};
    for (const auto& z : zoomItems) {
        const qint16 percent = z.percent;
        connect(z.item, &QAction::triggered, this, [this, percent] {
            try {
                ZoomTo(percent);
            } catch (const std::exception& e) {
                LogError(QStringLiteral("Error zooming map to %1%").arg(percent), objectName(), e);
            }
        });
    }
    connect(cboZoom, &QComboBox::activated, this, [this] { ZoomFromBox(QStringLiteral("Error zooming image")); });
    connect(imgZoom, &ClickLabel::clicked, this, [this] { ZoomFromBox(QStringLiteral("Error zooming map")); });
    // Enter in the zoom box zooms, and goes no further.
    OnZoomBoxEnter(cboZoom, [this] {
        ZoomFromBox(QStringLiteral("Error zooming image"));
        return true;
    });

    connect(txtSysName, &QLineEdit::textChanged, this, &frmSystem::txtSysName_Change);
    connect(cboWarningHL, &QComboBox::activated, this, [this] { HighlightPicked(cboWarningHL); });
    connect(cboCriticalHL, &QComboBox::activated, this, [this] { HighlightPicked(cboCriticalHL); });
    connect(chkCompare, &QCheckBox::clicked, this, &frmSystem::chkCompare_Click);
    connect(List1, &QListWidget::itemSelectionChanged, this, &frmSystem::List1_Click);

    connect(ZVMap1, &ZVMap::PolyHit, this, &frmSystem::ZVMap1_PolyHit);
    connect(ZVMap1, &ZVMap::PolyIdentified, this, &frmSystem::ZVMap1_PolyIdentified, Qt::DirectConnection);
    connect(ZVMap1, &ZVMap::PolyMoved, this, &frmSystem::ZVMap1_PolyMoved);
    connect(ZVMap1, &ZVMap::PointMoved, this, &frmSystem::ZVMap1_PointMoved);
    connect(ZVMap1, &ZVMap::PolyPasted, this, &frmSystem::ZVMap1_PolyPasted, Qt::DirectConnection);
    connect(ZVMap1, &ZVMap::MouseDown, this, &frmSystem::ZVMap1_MouseDown);

    resize(tw(13500), tw(9000));
    updateWindowCommands();
    FormLoad();
}

// ------------------------------------------------------------------ load, layout, unload

void frmSystem::FormLoad()
{
    m_loading = true;
    RestoreFormPosition(this);
    // A maximised window keeps its size; otherwise the height is fixed.
    if (!isMaximized())
        resize(width(), tw(9000));
    try {
        m_redrawTunnelId = -1;
        SSTab1->setCurrentIndex(0);

        DbGetHighlights(gWarningHighlight, gCriticalHighlight);
        // Shown only: the lists' pick handling stores, a load does not.
        cboWarningHL->setCurrentIndex(cboWarningHL->findText(QString::number(gWarningHighlight)));
        cboCriticalHL->setCurrentIndex(cboCriticalHL->findText(QString::number(gCriticalHighlight)));

        m_systemRs = DbGetSystem();
        reloadSystemValues();
        if (m_systemRs.isEmpty()) {
            gSystemID = 0;
        } else {
            const SystemSettings system = SystemSettingsOf(m_systemRs);
            gSystemID = system.systemId;
            {
                QSignalBlocker block(txtSysName);
                txtSysName->setText(system.name);
            }
            if (!system.picture.isEmpty()) {
                const QString path = IniGetSystemPath() + system.picture;
                // A picture that cannot be read (missing, moved, no picture) or shown (stored
                // before pictures were checked) is told, never left an empty area; the tunnels
                // load all the same, so that another map can be set.
                QSize size;
                const QString unreadable = UnreadableMapPictureText(path);
                if (!unreadable.isEmpty()) {
                    MsgBox(unreadable, MsgButtons::Ok, MsgIcon::Critical, kTitle);
                } else if (CheckMapPicture(path, &size) == MapPictureCheck::TooLarge) {
                    systemWizardMessage(MapPictureTooLargeText(system.picture, size) +
                                        QStringLiteral("  Choose another with Set System Map."));
                } else {
                    try {
                        ZVMap1->setImage(path);
                    } catch (const zv::Error& e) {
                        LogError(QStringLiteral("Error loading System Wizard"), objectName(), e.number(), e.text());
                    }
                }
            }
            ZVMap1->setDrawWidth(system.drawWidth);
            ZVMap1->setForeColor(system.foreground);
            chkCompare->setChecked(system.compareView);
            LoadTunnels(gSystemID);
        }
    } catch (const zv::Error& e) {
        LogError(QStringLiteral("Error loading System Wizard"), objectName(), e.number(), e.text());
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error loading System Wizard"), objectName(), e);
    }
    m_loading = false;
}

void frmSystem::FormUnload() { SaveFormPosition(this); }

void frmSystem::resizeEvent(QResizeEvent* event)
{
    KrvForm<QMainWindow>::resizeEvent(event);
    layoutControls();
}

void frmSystem::layoutControls()
{
    QWidget* body = centralWidget();
    if (!body)
        return;
    const double innerW = PixelsToTwips(body->width());
    const double innerH = PixelsToTwips(body->height());
    const double outerW = PixelsToTwips(frameGeometry().width());
    const double frameH = PixelsToTwips(fraButtons->height());
    const double frameTop = VarMax(1395.0, innerH - frameH);
    const double mapLeft = PixelsToTwips(ZVMap1->x());
    const double mapTop = PixelsToTwips(ZVMap1->y());
    const double mapH = VarMax(0.0, frameTop - 100 - mapTop);
    const double mapW = VarMax(1000.0, innerW - mapLeft - 100);
    ZVMap1->setGeometry(tw(mapLeft), tw(mapTop), tw(mapW), tw(mapH));
    const double frameW = VarMax(7300.0, outerW - 265);
    fraButtons->setGeometry(fraButtons->x(), tw(frameTop), tw(frameW), fraButtons->height());
    cmdClose->move(tw(frameW - PixelsToTwips(cmdClose->width()) - 120), cmdClose->y());
    const double tabLeft = frameW - PixelsToTwips(SSTab1->width());
    SSTab1->move(tw(tabLeft), SSTab1->y());
    List1->resize(tw(VarMax(0.0, tabLeft - 120 - PixelsToTwips(List1->x()))), List1->height());
}

// ------------------------------------------------------------------ tunnels on the map

void frmSystem::LoadTunnels(qint32 systemId)
{
    const RowSet tunnels = DbGetTunnels(systemId);
    QSignalBlocker block(List1);
    for (int r = 0; r < tunnels.count(); ++r) {
        const qint32 id = tunnels.toInt(r, QStringLiteral("TunnelID"));
        const Outline outline = DbGetTunnelOutline(id);
        if (!outline.isEmpty()) {
            // Outlines are counted in 16 bits.
            if (outline.size() > 32767)
                throw KrvError(6, QStringLiteral("Overflow"));
            ZVMap1->SetPoly(id, ToPoly(outline));
        }
        m_loadedOutlines.insert(id, outline);
        const QVariant name = tunnels.value(r, QStringLiteral("TunnelName"));
        auto* item = new QListWidgetItem(name.isNull() ? QString() : name.toString(), List1);
        item->setData(Qt::UserRole, id);
        item->setData(kLoadedNameRole, name);
    }
}

QString frmSystem::tunnelName(qint32 tunnelId) const
{
    for (int i = 0; i < List1->count(); ++i)
        if (List1->item(i)->data(Qt::UserRole).toInt() == tunnelId)
            return List1->item(i)->text();
    return QString();
}

// Puts the stored outline of a tunnel back on the map after a store failed or was not made.
void frmSystem::showStoredOutline(qint32 tunnelId)
{
    try {
        const Outline outline = DbGetTunnelOutline(tunnelId);
        ZVMap1->Delete(tunnelId);
        if (!outline.isEmpty())
            ZVMap1->SetPoly(tunnelId, ToPoly(outline));
        m_loadedOutlines.insert(tunnelId, outline);
    } catch (...) {
    }
}

bool frmSystem::saveEditedOutline(qint32 tunnelId, const QVector<zv::Point>& points)
{
    const Outline outline = outlineOf(points);
    const SaveOutcome out =
        DbSaveTunnelCoords(tunnelId, outline, m_loadedOutlines.value(tunnelId), tunnelName(tunnelId));
    if (out.saved() && !out.showStored()) {
        m_loadedOutlines.insert(tunnelId, outline);
        return true;
    }
    if (out.result == SaveOutcome::Result::Gone)
        TunnelRemoved(tunnelId);
    else
        showStoredOutline(tunnelId);
    return false;
}

qint32 frmSystem::SelectedTunnelID() const
{
    const QList<QListWidgetItem*> sel = List1->selectedItems();
    return sel.isEmpty() ? -1 : sel.first()->data(Qt::UserRole).toInt();
}

bool frmSystem::MapHasPicture() const { return !ZVMap1->Image().isEmpty() && !ZVMap1->Picture().isNull(); }

void frmSystem::showCancelItems(bool on)
{
    mnuSep->setVisible(on);
    mnuCancelAdd->setVisible(on);
}

void frmSystem::SetTunnelEditMode(bool editing)
{
    m_editing = editing;
    static const QStringList untouched = {
        QStringLiteral("cmdClose"), QStringLiteral("mnuSys"),          QStringLiteral("mnuClose"),
        QStringLiteral("mnuTunnel"), QStringLiteral("mnuCancelAdd"),   QStringLiteral("mnuHelp"),
        QStringLiteral("mnuHelpContents"), QStringLiteral("mnuHelpIndex"), QStringLiteral("mnuHelpSep"),
        QStringLiteral("mnuAbout"), QStringLiteral("mnuExit")};
    for (QPushButton* b : findChildren<QPushButton*>())
        if (!untouched.contains(b->objectName()))
            b->setEnabled(!editing);
    // Every menu item, the menus' own titles included.
    QList<QAction*> items;
    QList<QAction*> pending = menuBar()->actions();
    while (!pending.isEmpty()) {
        QAction* a = pending.takeFirst();
        items << a;
        if (a->menu())
            pending << a->menu()->actions();
    }
    for (QAction* a : items) {
        if (a->isSeparator() || untouched.contains(a->objectName()))
            continue;
        if (a == mnuCopy || a == mnuPaste) {
            if (!editing)
                a->setEnabled(m_clickedTunnelId != 0);
            continue;
        }
        a->setEnabled(!editing);
    }
    List1->setEnabled(!editing);
    if (!editing)
        updateWindowCommands();
}

void frmSystem::updateWindowCommands()
{
    // A command whose window is not part of the program is offered disabled.
    for (const WindowCommand& c : kWindowCommands) {
        if (FormIsAvailable(QLatin1String(c.form)))
            continue;
        if (auto* b = findChild<QPushButton*>(QLatin1String(c.command)))
            b->setEnabled(false);
        else if (auto* a = findChild<QAction*>(QLatin1String(c.command)))
            a->setEnabled(false);
    }
}

bool frmSystem::acceptTunnelName(const QString& name, qint32 tunnelId)
{
    if (!IsPlainFolderName(name)) {
        systemWizardMessage(QStringLiteral("The tunnel name \"%1\" cannot be used: a tunnel's media are kept in a "
                                           "folder of that name.  Please enter a name without \"/\" or \"\\\" that "
                                           "is not \".\" or \"..\".")
                                .arg(name));
        return false;
    }
    // Two tunnels of one name would share one media folder, and removing one's year would
    // remove the other's pictures.
    if (DbTunnelNameTaken(name, tunnelId)) {
        systemWizardMessage(TunnelNameTaken(name).description());
        return false;
    }
    return true;
}

QString frmSystem::tunnelNamePrompt()
{
    // Asked again until the name can be a folder name; "" when given up.
    for (;;) {
        const std::optional<QString> answer = Prompt().inputText(
            QStringLiteral("Enter a name for the tunnel:"), txtSysName->text() + QStringLiteral(" Tunnel System"), QString());
        if (!answer || answer->isEmpty())
            return QString();
        if (acceptTunnelName(*answer))
            return *answer;
    }
}

void frmSystem::cmdSetMap_Click()
{
    try {
        const QString dataPath = IniGetSystemPath();
        QString chosen;
        if (!OutlivesLoop(this, [&] { chosen = ChooseSystemMap(QStringLiteral("Insert System Map"), dataPath); }))
            return;
        if (chosen.isEmpty())
            return;
        const QString path = dataPath + chosen;
        if (!IsRegularFile(path)) {
            MsgBox(QStringLiteral("File not found."), MsgButtons::Ok, MsgIcon::Warning, QStringLiteral("Insert System Map"));
            return;
        }
        if (!isPicture(path)) {
            MsgBox(QStringLiteral("Image could not be added.  Make sure the file is a valid image."), MsgButtons::Ok,
                   MsgIcon::Warning, kTitle);
            return;
        }
        if (!MapPictureSizeAccepted(path, kTitle))
            return;
        // Stored only once the map has taken it, so the next start shows the same map.
        const bool made = gSystemID == 0;
        struct NotStored {};
        bool kept = false;
        try {
            ChangeMapPicture(ZVMap1, path, [&] {
                if (made) {
                    DbSaveSystemMap(m_systemRs, chosen, txtSysName->text());
                    return;
                }
                const SaveOutcome out = saveSystemValue(QStringLiteral("SystemPicture"), chosen, TextValue(chosen));
                if (!out.saved())
                    throw NotStored();
                kept = out.showStored();
            });
        } catch (const NotStored&) {
            return;  // the map shows the picture it had
        } catch (const zv::Error&) {
            MsgBox(QStringLiteral("Image could not be added.  Make sure the file is a valid image."), MsgButtons::Ok,
                   MsgIcon::Warning, kTitle);
            return;
        }
        if (made)
            showNewSystem();
        if (kept) {
            // The user kept another user's map: show that one.
            const QString stored = m_loadedSystem.value(QStringLiteral("SystemPicture")).toString();
            const QString storedPath = dataPath + stored;
            try {
                if (!stored.isEmpty() && QFileInfo(storedPath).isFile() &&
                    CheckMapPicture(storedPath, nullptr) == MapPictureCheck::Ok)
                    ZVMap1->setImage(storedPath);
                else
                    ZVMap1->ClearImage();
            } catch (const zv::Error&) {
                ZVMap1->ClearImage();
            }
        }
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error setting system map"), objectName(), e);
    }
}

void frmSystem::List1_Click()
{
    try {
        const qint32 id = SelectedTunnelID();
        if (id >= 0)
            ZVMap1->HighlightPoly(id);
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error selecting tunnel"), objectName(), e);
    }
}

void frmSystem::ZVMap1_PolyHit(qint32 id, qint16)
{
    try {
        m_clickedTunnelId = id;
        mnuCopy->setEnabled(true);
        for (int i = 0; i < List1->count(); ++i)
            if (List1->item(i)->data(Qt::UserRole).toInt() == id)
                List1->setCurrentRow(i);
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error locating tunnel"), objectName(), e);
    }
}

void frmSystem::cmdAddTunnel_Click()
{
    try {
        if (!MapHasPicture()) {
            systemWizardMessage(QStringLiteral("Please select a map image before adding a tunnel."));
            return;
        }
        SetTunnelEditMode(true);
        showCancelItems(true);
        ZVMap1->DrawPoly();
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error adding tunnel."), objectName(), e);
    }
}

void frmSystem::cmdRedraw_Click()
{
    try {
        const qint32 id = SelectedTunnelID();
        if (id < 0) {
            systemWizardMessage(QStringLiteral("Please select a tunnel from the list."));
            return;
        }
        SetTunnelEditMode(true);
        m_redrawTunnelId = id;
        ZVMap1->Delete(id);
        ZVMap1->DrawPoly();
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error redrawing tunnel"), objectName(), e);
    }
}

void frmSystem::ZVMap1_PolyIdentified(qint32& outId, const QVector<zv::Point>& points, bool& cancel)
{
    SetTunnelEditMode(false);
    if (m_redrawTunnelId >= 0) {
        const qint32 id = m_redrawTunnelId;
        m_redrawTunnelId = -1;
        try {
            if (saveEditedOutline(id, points))
                outId = id;
            else
                cancel = true;
        } catch (const std::exception& e) {
            // The stored outline is whole and unchanged: show it again instead of the drawn one.
            cancel = true;
            showStoredOutline(id);
            LogError(QStringLiteral("Error identifying new tunnel on map"), objectName(), e);
        }
        return;
    }
    try {
        const QString name = tunnelNamePrompt();
        if (name.isEmpty()) {
            cancel = true;
            showCancelItems(false);
            return;
        }
        WaitCursor wait;
        try {
            outId = DbAddTunnel(name, outlineOf(points));
        } catch (...) {
            // Nothing stored: the drawn outline goes too.
            cancel = true;
            showCancelItems(false);
            throw;
        }
        auto* item = new QListWidgetItem(name, List1);
        item->setData(Qt::UserRole, outId);
        item->setData(kLoadedNameRole, name);
        m_loadedOutlines.insert(outId, outlineOf(points));
        showCancelItems(false);
        MakeTunnelFolder(name);
    } catch (const TunnelNameTaken& e) {
        systemWizardMessage(e.description());
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error identifying new tunnel on map"), objectName(), e);
    }
}

void frmSystem::cmdMove_Click()
{
    try {
        if (List1->count() == 0) {
            systemWizardMessage(QStringLiteral("Please add a tunnel before attempting this operation."));
            return;
        }
        SetTunnelEditMode(true);
        showCancelItems(true);
        ZVMap1->PolyMove();
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error moving tunnel"), objectName(), e);
    }
}

void frmSystem::ZVMap1_PolyMoved(qint32 id, const QVector<zv::Point>& newPoints)
{
    showCancelItems(false);
    try {
        saveEditedOutline(id, newPoints);
    } catch (const std::exception& e) {
        showStoredOutline(id);
        LogError(QStringLiteral("Error moving tunnel on map"), objectName(), e);
    }
    // The window is unlocked whatever the store did.
    SetTunnelEditMode(false);
}

void frmSystem::startPointTool(void (ZVMap::*tool)(), const QString& errorMessage)
{
    try {
        if (!MapHasPicture()) {
            systemWizardMessage(QStringLiteral("Please select a map image before editing tunnels."));
            return;
        }
        SetTunnelEditMode(true);
        showCancelItems(true);
        (ZVMap1->*tool)();
    } catch (const std::exception& e) {
        LogError(errorMessage, objectName(), e);
    }
}

void frmSystem::mnuCoordAdd_Click() { startPointTool(&ZVMap::AddPoint, QStringLiteral("Error adding tunnel coordinate.")); }

void frmSystem::mnuCoordDel_Click()
{
    startPointTool(&ZVMap::DeletePoint, QStringLiteral("Error deleting tunnel coordinate."));
}

void frmSystem::mnuCoordMove_Click()
{
    startPointTool(&ZVMap::MovePoint, QStringLiteral("Error moving tunnel coordinate."));
}

void frmSystem::ZVMap1_PointMoved(qint32 polyId, const QVector<zv::Point>& newPoints)
{
    showCancelItems(false);
    SetTunnelEditMode(false);
    try {
        saveEditedOutline(polyId, newPoints);
    } catch (const std::exception& e) {
        showStoredOutline(polyId);
        LogError(QStringLiteral("Error moving tunnel point on map"), objectName(), e);
    }
}

void frmSystem::mnuCancelAdd_Click()
{
    // Every step runs; a failure is reported once at the end.
    std::optional<QString> failure;
    try {
        ZVMap1->Cancel();
    } catch (const std::exception& e) {
        failure = QString::fromUtf8(e.what());
    }
    try {
        SetTunnelEditMode(false);
        showCancelItems(false);
    } catch (const std::exception& e) {
        failure = QString::fromUtf8(e.what());
    }
    if (failure)
        LogError(QStringLiteral("Error canceling add operation"), objectName(), -1, *failure);
}

void frmSystem::mnuCopy_Click()
{
    try {
        ZVMap1->Copy(m_clickedTunnelId);
        mnuPaste->setEnabled(true);
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error copying tunnel"), objectName(), e);
    }
}

void frmSystem::mnuPaste_Click()
{
    try {
        const QString name = tunnelNamePrompt();
        if (name.isEmpty())
            return;
        WaitCursor wait;
        const qint32 id = DbAddTunnel(name, {});
        auto* item = new QListWidgetItem(name, List1);
        item->setData(Qt::UserRole, id);
        item->setData(kLoadedNameRole, name);
        m_loadedOutlines.insert(id, {});
        ZVMap1->Paste(id);
    } catch (const TunnelNameTaken& e) {
        systemWizardMessage(e.description());
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error: Unable to paste tunnel"), objectName(), e);
    }
}

void frmSystem::ZVMap1_PolyPasted(qint32 id, const QVector<zv::Point>& points)
{
    try {
        // A tunnel just added: nobody else has drawn it.
        DbSaveTunnelCoords(id, outlineOf(points));
        m_loadedOutlines.insert(id, outlineOf(points));
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error pasting tunnel on map"), objectName(), e);
    }
    try {
        SetTunnelEditMode(false);
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error pasting tunnel on map"), objectName(), e);
    }
}

void frmSystem::cmdRemove_Click()
{
    try {
        QListWidgetItem* item = List1->currentItem();
        if (!item || !item->isSelected()) {
            systemWizardMessage(QStringLiteral("Please select a tunnel from the list."));
            return;
        }
        const qint32 id = item->data(Qt::UserRole).toInt();
        WaitCursor wait;
        if (DbDeleteTunnel(id, item->text())) {
            ZVMap1->Delete(id);
            m_loadedOutlines.remove(id);
            delete item;
            // The tunnel's panel, rating and media windows close; none may write for it.
            NotifyTunnelRemoved(id);
        }
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error removing tunnel"), objectName(), e);
    }
}

void frmSystem::TunnelRemoved(qint32 tunnelId)
{
    for (int i = List1->count() - 1; i >= 0; --i)
        if (List1->item(i)->data(Qt::UserRole).toInt() == tunnelId)
            delete List1->item(i);
    ZVMap1->Delete(tunnelId);
    m_loadedOutlines.remove(tunnelId);
}

void frmSystem::cmdRename_Click()
{
    try {
        QListWidgetItem* item = List1->currentItem();
        if (!item || !item->isSelected()) {
            systemWizardMessage(QStringLiteral("Please select a tunnel from the list."));
            return;
        }
        const QString oldName = item->text();
        const std::optional<QString> answer = Prompt().inputText(
            QStringLiteral("Change ") + oldName + QStringLiteral(" to:"), QStringLiteral("Rename"), oldName);
        if (!answer || answer->isEmpty())
            return;
        const QString newName = *answer;
        // The name given back as the list showed it is no rename, whatever is stored.
        if (newName == oldName)
            return;
        if (!acceptTunnelName(newName, item->data(Qt::UserRole).toInt()))
            return;
        const qint32 id = item->data(Qt::UserRole).toInt();

        const SaveOutcome out = RenameTunnelAndFolder(id, item->data(kLoadedNameRole), oldName, newName);
        if (out.result == SaveOutcome::Result::Gone) {
            TunnelRemoved(id);
            return;
        }
        if (!out.saved())
            return;
        const QVariant stored = out.showStored() ? DbGetTunnelValue(id, QStringLiteral("TunnelName")) : QVariant(newName);
        item->setData(kLoadedNameRole, stored);
        item->setText(stored.toString());
    } catch (const TunnelNameTaken& e) {
        systemWizardMessage(e.description());
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error renaming tunnel"), objectName(), e);
    }
}

// ------------------------------------------------------------------ system options

void frmSystem::txtSysName_Change()
{
    try {
        if (gSystemID == 0) {
            if (DbSaveSystemName(txtSysName->text()))
                showNewSystem();
            return;
        }
        const SaveOutcome out =
            saveSystemValue(QStringLiteral("SystemName"), txtSysName->text(), TextValue(txtSysName->text()));
        if (out.showStored() || out.result == SaveOutcome::Result::Gone) {
            QSignalBlocker block(txtSysName);
            txtSysName->setText(m_loadedSystem.value(QStringLiteral("SystemName")).toString());
        }
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error naming tunnel system"), objectName(), e);
    }
}

bool frmSystem::systemRowExists()
{
    if (gSystemID != 0)
        return true;
    // Nothing to store the value in yet.
    systemWizardMessage(QStringLiteral("Please select a name or map image for the system before setting this value."));
    return false;
}

void frmSystem::showNewSystem()
{
    // The new row's own values (its limits are the schema's defaults) are what is shown
    // and used from now on.
    m_systemRs = DbGetSystem();
    reloadSystemValues();
    DbGetHighlights(gWarningHighlight, gCriticalHighlight);
    cboWarningHL->setCurrentIndex(cboWarningHL->findText(QString::number(gWarningHighlight)));
    cboCriticalHL->setCurrentIndex(cboCriticalHL->findText(QString::number(gCriticalHighlight)));
    if (m_systemRs.isEmpty())
        return;
    const SystemSettings system = SystemSettingsOf(m_systemRs);
    ZVMap1->setDrawWidth(system.drawWidth);
    ZVMap1->setForeColor(system.foreground);
}

namespace {

// A System value as its field shows it: a name as text, a width as a whole number, no colour
// as black, no limit as the default one.
QVariant systemShown(const QString& column, const QVariant& stored)
{
    if (column == QLatin1String("DrawWidth"))
        return stored.isNull() ? 1 : stored.toInt();
    if (column == QLatin1String("SystemForeground"))
        return stored.isNull() ? 0 : qint64(quint32(stored.toLongLong()));
    if (column == QLatin1String("View"))
        return !stored.isNull() && stored.toInt() != 0;
    if (column == QLatin1String("WarningHighlight"))
        return stored.isNull() ? kDefaultWarningHighlight : stored.toInt();
    if (column == QLatin1String("CriticalHighlight"))
        return stored.isNull() ? kDefaultCriticalHighlight : stored.toInt();
    return stored.isNull() ? QString() : stored.toString();
}

}  // namespace

void frmSystem::reloadSystemValues()
{
    const RowSet rs = DbGetSystem();
    m_loadedSystem.clear();
    m_shownSystem.clear();
    if (rs.isEmpty())
        return;
    for (int c = 0; c < rs.columns().size(); ++c) {
        const QString column = rs.columns().at(c);
        m_loadedSystem.insert(column, rs.value(0, c));
        m_shownSystem.filled(column, rs.value(0, c), systemShown(column, rs.value(0, c)));
    }
}

SaveOutcome frmSystem::saveSystemValue(const QString& column, const QVariant& shown, const QVariant& value)
{
    if (!m_shownSystem.changed(column, shown))
        return {};
    SaveOutcome out;
    try {
        out = DbSaveSystemValue(column, m_shownSystem.loaded(column), value);
    } catch (...) {
        reloadSystemValues();
        throw;
    }
    if (out.saved() && !out.showStored()) {
        m_loadedSystem.insert(column, value);
        m_shownSystem.filled(column, value, shown);
    } else if (out.result != SaveOutcome::Result::Cancelled) {
        reloadSystemValues();
    }
    return out;
}

void frmSystem::HighlightPicked(QComboBox* picked)
{
    const bool critical = picked == cboCriticalHL;
    auto showStored = [&] {
        const qint32 stored = critical ? gCriticalHighlight : gWarningHighlight;
        picked->setCurrentIndex(picked->findText(QString::number(stored)));
    };
    if (!systemRowExists()) {
        showStored();
        return;
    }
    // Compared as texts: with single digits the same as numbers.
    if (cboCriticalHL->currentText() > cboWarningHL->currentText()) {
        const MsgAnswer a = MsgBox(QStringLiteral("Critical Limit is greater than Warning Limit.  The warning highlight "
                                                  "will not appear. \nAre you sure you want to change the limit?"),
                                   MsgButtons::YesNo, MsgIcon::Warning, QStringLiteral("Warning!"));
        if (a != MsgAnswer::Yes) {
            showStored();
            return;
        }
    }
    try {
        const qint32 level = qint32(Val(picked->currentText()));
        const SaveOutcome out =
            saveSystemValue(critical ? QStringLiteral("CriticalHighlight") : QStringLiteral("WarningHighlight"), level, level);
        if (out.saved() && !out.showStored()) {
            (critical ? gCriticalHighlight : gWarningHighlight) = level;
        } else {
            DbGetHighlights(gWarningHighlight, gCriticalHighlight);
            showStored();
        }
    } catch (const std::exception& e) {
        showStored();
        LogError(QStringLiteral("Error saving highlight limit"), objectName(), e);
    }
}

void frmSystem::chkCompare_Click()
{
    try {
        if (gSystemID != 0) {
            // Only the administrator's click stores; showing the stored value does not.
            if (isVisible() && !m_loading) {
                const SaveOutcome out =
                    saveSystemValue(QStringLiteral("View"), chkCompare->isChecked(), BoolToBit(chkCompare->isChecked()));
                if (!out.saved() || out.showStored()) {
                    const QVariant stored = m_loadedSystem.value(QStringLiteral("View"));
                    QSignalBlocker block(chkCompare);
                    chkCompare->setChecked(!stored.isNull() && stored.toInt() != 0);
                }
            }
            return;
        }
        // Without a system the box cannot be ticked: one message per click.
        if (m_compareGuard)
            return;
        m_compareGuard = true;
        chkCompare->setChecked(false);
        m_compareGuard = false;
        systemRowExists();
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error comparing inspection periods."), objectName(), e);
    }
}

void frmSystem::mnuBorderWidth_Click()
{
    if (!systemRowExists())
        return;
    try {
        const std::optional<QString> answer =
            Prompt().inputText(QStringLiteral("Change border width from ") + QString::number(ZVMap1->DrawWidth()) +
                                   QStringLiteral(" to: "),
                               QStringLiteral("Border Width"), QString());
        if (!answer)
            return;
        const double value = Val(*answer);
        if (!(value > 0 && value < 8))
            return;
        const qint16 width = qint16(RoundHalfEven(value));
        // Stored first: a failed store leaves the map as the database has it.
        const SaveOutcome out = saveSystemValue(QStringLiteral("DrawWidth"), qint32(width), width);
        if (out.saved() && !out.showStored())
            ZVMap1->setDrawWidth(width);
        else if (out.result != SaveOutcome::Result::Cancelled)
            ZVMap1->setDrawWidth(SystemSettingsOf(DbGetSystem()).drawWidth);
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error modifying border width"), objectName(), e);
    }
}

void frmSystem::mnuColor_Click()
{
    if (!systemRowExists())
        return;
    try {
        const std::optional<quint32> colour = Prompt().chooseColor(ZVMap1->ForeColor(), QStringLiteral("Color"));
        if (!colour)
            return;  // cancelled: silently
        const SaveOutcome out = saveSystemValue(QStringLiteral("SystemForeground"), qint64(*colour), qint32(*colour));
        if (out.saved() && !out.showStored())
            ZVMap1->setForeColor(*colour);
        else if (out.result != SaveOutcome::Result::Cancelled)
            ZVMap1->setForeColor(SystemSettingsOf(DbGetSystem()).foreground);
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error modifying border color"), objectName(), e);
    }
}

// ------------------------------------------------------------------ zoom, pan, pop-up

void frmSystem::ZoomTo(qint16 percent) { ZVMap1->Zoom(percent); }

void frmSystem::ZoomFromBox(const QString& errorMessage)
{
    try {
        const double value = Val(cboZoom->currentText());
        if (!(value > 0))
            return;
        const double percent = RoundHalfEven(value);
        if (percent > 32767)
            throw KrvError(6, QStringLiteral("Overflow"));
        ZoomTo(qint16(percent));
    } catch (const std::exception& e) {
        LogError(errorMessage, objectName(), e);
    }
}

void frmSystem::mnuPan_Click()
{
    try {
        m_panOn = !m_panOn;
        mnuPan->setChecked(m_panOn);
        ZVMap1->Pan(m_panOn);
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error setting pan"), objectName(), e);
    }
}

void frmSystem::ZVMap1_MouseDown(qint16 button, qint16, float, float)
{
    if (button == 2 && mnuMap->menuAction()->isEnabled())
        mnuMap->popup(QCursor::pos());
}

// ------------------------------------------------------------------ other windows

QWidget* frmSystem::openByName(const QString& formName)
{
    QWidget* w = CreateForm(formName);
    if (!w)
        throw KrvError(ErrNo::FileNotFound, QStringLiteral("The window %1 is not part of the program.").arg(formName));
    return w;
}

namespace {
// Calls the window's LoadForm; a window whose LoadForm does not take these arguments is
// unloaded again and reported.
template <typename... Args>
void invokeLoadForm(QWidget* w, Args&&... args)
{
    if (!QMetaObject::invokeMethod(w, "LoadForm", std::forward<Args>(args)...)) {
        const QString name = w->objectName();
        UnloadForm(w);
        throw KrvError(-1, QStringLiteral("The window %1 cannot be loaded with these arguments.").arg(name));
    }
}
}  // namespace

void frmSystem::cmdDataTabs_Click()
{
    try {
        QWidget* w = loadedForm(QStringLiteral("frmDataTabs"));
        if (!w)
            w = openByName(QStringLiteral("frmDataTabs"));
        w->show();
        w->raise();
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error loading Data Tab Definition screen"), objectName(), e);
    }
}

void frmSystem::cmdDefinePanels_Click()
{
    try {
        const qint32 id = SelectedTunnelID();
        if (id < 0) {
            systemWizardMessage(QStringLiteral("Please select a tunnel before defining panels."));
            return;
        }
        // One panel window: a fresh one for this tunnel.
        UnloadFormByName(QStringLiteral("frmTunnelSpecs"));
        QWidget* w = loadedForm(QStringLiteral("frmTunnelSpecs"));
        if (!w)
            w = openByName(QStringLiteral("frmTunnelSpecs"));
        invokeLoadForm(w, Q_ARG(qint32, id));
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error loading Panel Definitions screen."), objectName(), e);
    }
}

void frmSystem::cmdDefPanelEles_Click()
{
    try {
        const qint32 id = SelectedTunnelID();
        if (id < 0) {
            systemWizardMessage(QStringLiteral("Please select a tunnel before defining panel elements."));
            return;
        }
        UnloadFormByName(QStringLiteral("frmPanelElements"));
        QWidget* w = loadedForm(QStringLiteral("frmPanelElements"));
        if (!w)
            w = openByName(QStringLiteral("frmPanelElements"));
        invokeLoadForm(w, Q_ARG(qint32, id));
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error loading Element Definitions screen."), objectName(), e);
    }
}

void frmSystem::cmdElements_Click()
{
    try {
        if (FormIsOpen(QStringLiteral("Element Definition"), true))
            return;
        QWidget* w = openByName(QStringLiteral("frmEleDef"));
        invokeLoadForm(w, Q_ARG(QString, QStringLiteral("Element")), Q_ARG(QString, QStringLiteral("AvailableElements")),
                       Q_ARG(QString, QStringLiteral("ElementID")), Q_ARG(QString, QStringLiteral("ElementName")));
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error loading Element Definition screen."), objectName(), e);
    }
}

void frmSystem::cmdExpCategories_Click()
{
    try {
        if (FormIsOpen(QStringLiteral("Expenditure Category Definition"), true))
            return;
        QWidget* w = openByName(QStringLiteral("frmEleDef"));
        invokeLoadForm(w, Q_ARG(QString, QStringLiteral("Expenditure Category")),
                       Q_ARG(QString, QStringLiteral("ExpenditureCats")), Q_ARG(QString, QStringLiteral("CategoryID")),
                       Q_ARG(QString, QStringLiteral("Category")));
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error loading Expenditure Category Definition screen."), objectName(), e);
    }
}

void frmSystem::cmdDataInput_Click()
{
    try {
        if (List1->count() == 0) {
            systemWizardMessage(QStringLiteral("Please add a tunnel before inputting tunnel data."));
            return;
        }
        QWidget* w = loadedForm(QStringLiteral("frmInspectionPd"));
        if (!w)
            w = openByName(QStringLiteral("frmInspectionPd"));
        const qint32 id = SelectedTunnelID();
        if (id < 0) {
            w->show();
            w->raise();
        } else {
            invokeLoadForm(w, Q_ARG(qint32, id));
        }
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error loading Inspection Period screen"), objectName(), e);
    }
}

void frmSystem::mnuUsers_Click()
{
    try {
        auto* manager = new frmDBManager(this);
        manager->exec();
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error loading User Manager screen"), objectName(), e);
    }
}

void frmSystem::mnuCreateRep_Click()
{
    try {
        QWidget* w = openByName(QStringLiteral("frmCreateReplica"));
        if (auto* d = qobject_cast<QDialog*>(w)) {
            d->exec();
        } else {
            w->setWindowModality(Qt::ApplicationModal);
            w->show();
        }
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error loading Create Replica screen"), objectName(), e);
    }
}

void frmSystem::mnuSyncFS_Click()
{
    try {
        QWidget* w = loadedForm(QStringLiteral("frmSyncFS"));
        if (!w)
            w = openByName(QStringLiteral("frmSyncFS"));
        w->show();
        w->raise();
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error loading Synchronize Inspection Data screen"), objectName(), e);
    }
}

void frmSystem::mnuAbout_Click() { (new frmAbout(this))->exec(); }

void frmSystem::mnuHelp_Click()
{
    // The help document has no index of its own: both items open its contents.
    ShowHelpContents(windowTitle(), objectName());
}

void frmSystem::CloseWizard(bool showViewer)
{
    // A window that refuses to close (work not saved) keeps the set-up window open too.
    for (QWidget* w : LoadedForms())
        if (w != this && !UnloadForm(w))
            return;
    if (!UnloadForm(this))
        return;
    if (showViewer)
        if (QWidget* viewer = CreateForm(QStringLiteral("frmViewSystem")))
            viewer->show();
}

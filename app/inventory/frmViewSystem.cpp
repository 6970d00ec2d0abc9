#include "frmViewSystem.h"

#include "clicklabel.h"
#include "db.h"
#include "dbinventory.h"
#include "frmAbout.h"
#include "frmDBManager.h"
#include "globals.h"
#include "helpers.h"
#include "krverror.h"
#include "lookups.h"
#include "mappicture.h"
#include "mapwindows.h"
#include "modkrv.h"
#include "prompt.h"
#include "settings.h"
#include "startup.h"
#include "uihelpers.h"
#include "zvmap.h"

#include <QComboBox>
#include <QCursor>
#include <QEvent>
#include <QFileInfo>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QToolButton>

#include <array>

namespace {

const QString kSource = QStringLiteral("frmViewSystem");
const QString kDesignReportCaption = QStringLiteral("&Tunnel Elements");
const QString kElementPerformance = QStringLiteral("Element Performance");

// Design sizes, twips.
constexpr int kDesignWidth = 11400;
constexpr int kLoadHeight = 9000;
constexpr int kMapLeft = 120;
constexpr int kMapTop = 1080;
constexpr int kButtonsLeft = 150;
constexpr int kButtonsHeight = 720;
constexpr int kZoomWidth = 1950;
constexpr int kZoomHeight = 720;
constexpr int kExitWidth = 1200;

// The report a menu item stands for: the stored name it shows, or its own caption.
QString reportKind(const QAction* item) { return item->data().isValid() ? item->data().toString() : item->text(); }

QMenu* subMenu(QWidget* parent, const QString& text, const char* name)
{
    auto* m = new QMenu(text, parent);
    m->setObjectName(QLatin1String(name));
    m->menuAction()->setObjectName(QLatin1String(name));
    return m;
}

void ShowModeless(QWidget* w)
{
    w->show();
    w->raise();
    w->activateWindow();
}

// The zoom button's picture: a magnifying glass.
QIcon ZoomIcon()
{
    QPixmap pm(24, 24);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(40, 40, 40), 2.5));
    p.setBrush(QColor(200, 225, 255));
    p.drawEllipse(QRectF(3, 3, 12, 12));
    p.setPen(QPen(QColor(40, 40, 40), 4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(14, 14), QPointF(20.5, 20.5));
    return QIcon(pm);
}

}  // namespace

frmViewSystem::frmViewSystem(QWidget* parent) : KrvForm<QMainWindow>(QStringLiteral("frmViewSystem"), parent)
{
    setWindowTitle(QStringLiteral("Corvane Quorrel"));
    buildControls();
    buildMenus();
    connectCommands();
    resize(TwipsToPixels(kDesignWidth), TwipsToPixels(kLoadHeight));
    Form_Load();
}

void frmViewSystem::buildControls()
{
    m_client = new QWidget(this);
    m_client->setObjectName(QStringLiteral("client"));
    setCentralWidget(m_client);

    Image1 = new ClickLabel(QString(), m_client);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setPixmap(ProgramLogo(TwipsToPixels(600)));
    PlaceTwips(Image1, 120, 60, 600, 600);

    Label2 = new ClickLabel(QStringLiteral("Quorrel"), m_client);
    Label2->setObjectName(QStringLiteral("Label2"));
    QFont big = Label2->font();
    big.setPointSizeF(big.pointSizeF() * 1.8);
    big.setBold(true);
    big.setItalic(true);
    Label2->setFont(big);
    PlaceTwips(Label2, 780, 90, 1860, 540);

    txtSysName = new QLineEdit(m_client);
    txtSysName->setObjectName(QStringLiteral("txtSysName"));
    txtSysName->setReadOnly(true);
    txtSysName->setToolTip(QStringLiteral("System Name"));
    PlaceTwips(txtSysName, 2700, 195, 3600, 360);

    fraZoom = new QFrame(m_client);
    fraZoom->setObjectName(QStringLiteral("fraZoom"));
    PlaceTwips(fraZoom, 6450, 0, kZoomWidth, kZoomHeight);
    cboZoom = new QComboBox(fraZoom);
    cboZoom->setObjectName(QStringLiteral("cboZoom"));
    cboZoom->setEditable(true);
    // Typed text is a zoom value, never a new list entry, and is not completed from the list.
    cboZoom->setInsertPolicy(QComboBox::NoInsert);
    cboZoom->setCompleter(nullptr);
    cboZoom->addItems({QStringLiteral("50%"), QStringLiteral("75%"), QStringLiteral("100%"), QStringLiteral("150%"),
                       QStringLiteral("200%")});
    cboZoom->setCurrentIndex(2);
    cboZoom->setToolTip(QStringLiteral("Zoom"));
    // Enter zooms and is swallowed; it reaches the box only when the zoom failed.
    OnZoomBoxEnter(cboZoom, [this] { return zoomToTyped(); });
    PlaceTwips(cboZoom, 120, 180, 1200, 360);
    imgZoom = new QToolButton(fraZoom);
    imgZoom->setObjectName(QStringLiteral("imgZoom"));
    imgZoom->setIcon(ZoomIcon());
    imgZoom->setAutoRaise(true);
    imgZoom->setToolTip(QStringLiteral("Zoom"));
    PlaceTwips(imgZoom, 1440, 150, 420, 420);

    Label1 = new QLabel(QStringLiteral("Click on a tunnel in the image to select."), m_client);
    Label1->setObjectName(QStringLiteral("Label1"));
    PlaceTwips(Label1, 120, 750, 6000, 300);

    ZVMap1 = new ZVMap(m_client);
    ZVMap1->setObjectName(QStringLiteral("ZVMap1"));
    ZVMap1->setBorderStyle(1);
    PlaceTwips(ZVMap1, kMapLeft, kMapTop, kDesignWidth - kMapLeft, 6000);

    fraButtons = new QFrame(m_client);
    fraButtons->setObjectName(QStringLiteral("fraButtons"));
    PlaceTwips(fraButtons, kButtonsLeft, 8000, 7900, kButtonsHeight);
    auto button = [this](const QString& text, const QString& tip, const char* name, int left, int width) {
        auto* b = new QPushButton(text, fraButtons);
        b->setObjectName(QLatin1String(name));
        b->setToolTip(tip);
        b->setAutoDefault(false);
        PlaceTwips(b, left, 150, width, 420);
        return b;
    };
    cmdExp = button(QStringLiteral("&Expenditures"), QStringLiteral("Launch expenditures"), "cmdExp", 0, 1650);
    cmdReport = button(QStringLiteral("&Report"), QStringLiteral("Launch report"), "cmdReport", 1770, 1650);
    cmdAdmin = button(QStringLiteral("A&dministrator Tools"), QStringLiteral("Launch administrator tools"),
                      "cmdAdmin", 3540, 2280);
    cmdExit = button(QStringLiteral("E&xit"), QStringLiteral("Exit the system"), "cmdExit", 7900 - kExitWidth,
                     kExitWidth);

    m_client->installEventFilter(this);
}

void frmViewSystem::buildMenus()
{
    mnuSystem = subMenu(this, QStringLiteral("&System"), "mnuSystem");
    menuBar()->addMenu(mnuSystem);
    mnuExit = MenuItem(mnuSystem, QStringLiteral("E&xit"), "mnuExit");

    mnuTools = subMenu(this, QStringLiteral("&Tools"), "mnuTools");
    menuBar()->addMenu(mnuTools);
    mnuExpenditures = MenuItem(mnuTools, QStringLiteral("&Expenditures"), "mnuExpenditures");
    mnuReports = subMenu(mnuTools, QStringLiteral("&Reports"), "mnuReports");
    mnuTools->addMenu(mnuReports);
    mnuRpt << MenuItem(mnuReports, kDesignReportCaption, "mnuRpt");

    mnuAdmin = subMenu(this, QStringLiteral("&Administrator"), "mnuAdmin");
    menuBar()->addMenu(mnuAdmin);
    mnuWizardSystem = MenuItem(mnuAdmin, QStringLiteral("&System Definition"), "mnuWizardSystem");
    mnuWizardElement = MenuItem(mnuAdmin, QStringLiteral("Available &Element Definition"), "mnuWizardElement");
    mnuWizardExpenditure =
        MenuItem(mnuAdmin, QStringLiteral("Expenditure &Category Definition"), "mnuWizardExpenditure");
    mnuWizardInspPd =
        MenuItem(mnuAdmin, QStringLiteral("&Inspection Period Definition and Ratings Input"), "mnuWizardInspPd");
    mnuRatingsInput = MenuItem(mnuAdmin, QStringLiteral("&Ratings Input"), "mnuRatingsInput");
    mnuRatingsInput->setCheckable(true);
    mnuUsers = MenuItem(mnuAdmin, QStringLiteral("&User Manager"), "mnuUsers");

    mnuMap = subMenu(this, QStringLiteral("&Map"), "mnuMap");
    menuBar()->addMenu(mnuMap);
    mnuPan = MenuItem(mnuMap, QStringLiteral("&Pan"), "mnuPan");
    mnuPan->setCheckable(true);
    mnuZoom = subMenu(mnuMap, QStringLiteral("&Zoom"), "mnuZoom");
    mnuMap->addMenu(mnuZoom);
    mnuZoom50 = MenuItem(mnuZoom, QStringLiteral("50%"), "mnuZoom50");
    mnuZoom75 = MenuItem(mnuZoom, QStringLiteral("75%"), "mnuZoom75");
    mnuZoom100 = MenuItem(mnuZoom, QStringLiteral("100%"), "mnuZoom100");
    mnuZoom150 = MenuItem(mnuZoom, QStringLiteral("150%"), "mnuZoom150");
    mnuZoom200 = MenuItem(mnuZoom, QStringLiteral("200%"), "mnuZoom200");

    mnuHelp = subMenu(this, QStringLiteral("&Help"), "mnuHelp");
    menuBar()->addMenu(mnuHelp);
    mnuHelpContents = MenuItem(mnuHelp, QStringLiteral("&Contents..."), "mnuHelpContents");
    mnuHelpIndex = MenuItem(mnuHelp, QStringLiteral("&Index..."), "mnuHelpIndex");
    mnuSep = mnuHelp->addSeparator();
    mnuSep->setObjectName(QStringLiteral("mnuSep"));
    mnuAbout = MenuItem(mnuHelp, QStringLiteral("&About"), "mnuAbout");
}

void frmViewSystem::connectCommands()
{
    connect(cmdExit, &QPushButton::clicked, this, [this] { Unload(); });
    connect(mnuExit, &QAction::triggered, this, [this] { Unload(); });
    connect(cmdExp, &QPushButton::clicked, this, &frmViewSystem::cmdExp_Click);
    connect(mnuExpenditures, &QAction::triggered, this, &frmViewSystem::cmdExp_Click);
    connect(cmdReport, &QPushButton::clicked, this, &frmViewSystem::cmdReport_Click);
    connect(cmdAdmin, &QPushButton::clicked, this, &frmViewSystem::cmdAdmin_Click);
    connect(mnuReports, &QMenu::triggered, this, [this](QAction* a) {
        if (mnuRpt.contains(a))
            mnuRpt_Click(a);
    });
    connect(mnuWizardSystem, &QAction::triggered, this, &frmViewSystem::mnuWizardSystem_Click);
    connect(mnuWizardElement, &QAction::triggered, this, [this] {
        openDefinitionEditor(QStringLiteral("Element Definition"),
                             {QStringLiteral("Element"), QStringLiteral("AvailableElements"),
                              QStringLiteral("ElementID"), QStringLiteral("ElementName")},
                             QStringLiteral("Error loading Available Elements Definition screen"));
    });
    connect(mnuWizardExpenditure, &QAction::triggered, this, [this] {
        openDefinitionEditor(QStringLiteral("Expenditure Category Definition"),
                             {QStringLiteral("Expenditure Category"), QStringLiteral("ExpenditureCats"),
                              QStringLiteral("CategoryID"), QStringLiteral("Category")},
                             QStringLiteral("Error loading Expenditure Category Definition screen"));
    });
    connect(mnuWizardInspPd, &QAction::triggered, this, &frmViewSystem::mnuWizardInspPd_Click);
    connect(mnuRatingsInput, &QAction::triggered, this, [this](bool on) { setRatingsInputMode(on); });
    connect(mnuUsers, &QAction::triggered, this, &frmViewSystem::mnuUsers_Click);

    connect(mnuPan, &QAction::triggered, this, &frmViewSystem::mnuPan_Click);
    const std::array<std::pair<QAction*, qint16>, 5> zooms{
        {{mnuZoom50, 50}, {mnuZoom75, 75}, {mnuZoom100, 100}, {mnuZoom150, 150}, {mnuZoom200, 200}}};
    for (const auto& [item, percent] : zooms) {
        const qint16 p = percent;
        connect(item, &QAction::triggered, this,
                [this, p] { zoomTo(p, QStringLiteral("Error zooming map to %1%").arg(p)); });
    }
    connect(imgZoom, &QToolButton::clicked, this, [this] { zoomToTyped(); });
    connect(cboZoom, &QComboBox::activated, this, [this] { zoomToTyped(); });

    auto help = [this] {
        try {
            ShowHelpContents(windowTitle(), kSource);
        } catch (const std::exception& e) {
            LogError(QStringLiteral("Error locating help file"), kSource, e);
        }
    };
    connect(mnuHelpContents, &QAction::triggered, this, help);
    // The help document is one page whose contents are also its index.
    connect(mnuHelpIndex, &QAction::triggered, this, help);
    connect(mnuAbout, &QAction::triggered, this, &frmViewSystem::showAbout);
    connect(Image1, &ClickLabel::clicked, this, &frmViewSystem::showAbout);
    connect(Label2, &ClickLabel::clicked, this, &frmViewSystem::showAbout);

    connect(ZVMap1, &ZVMap::PolyHit, this, [this](qint32 id, qint16) { ZVMap1_PolyHit(id); });
    // The tool tip is written back when the handler returns: a direct connection.
    connect(ZVMap1, &ZVMap::PolyMouseOver, this, &frmViewSystem::ZVMap1_PolyMouseOver, Qt::DirectConnection);
    connect(ZVMap1, &ZVMap::MouseDown, this, [this](qint16 button, qint16, float, float) { ZVMap1_MouseDown(button); });
}

// ------------------------------------------------------------------ load and layout

void frmViewSystem::Form_Load()
{
    RestoreFormPosition(this);
    // A window restored maximized stays so; any other gets the window's own height.
    if (!isMaximized())
        resize(width(), TwipsToPixels(kLoadHeight));
    setRatingsInputMode(false);
    offerAvailableWindows();

    try {
        const RowSet system = DbGetSystem();
        if (!system.isEmpty()) {
            m_systemId = system.toInt(0, QStringLiteral("SystemID"));
            txtSysName->setText(NullToEmpty(system.value(0, QStringLiteral("SystemName"))).toString());
            const QString picture = NullToEmpty(system.value(0, QStringLiteral("SystemPicture"))).toString();
            if (!picture.isEmpty()) {
                const QString path = IniGetSystemPath() + picture;
                // A picture that cannot be read or shown is told; the tunnels can still be clicked.
                if (const QString unreadable = UnreadableMapPictureText(path); !unreadable.isEmpty()) {
                    constexpr long kInvalidPicture = 481;
                    LogError(unreadable, kSource, QFileInfo::exists(path) ? kInvalidPicture : ErrNo::FileNotFound,
                             QString(unreadable).replace(QLatin1Char('\n'), QLatin1Char(' ')));
                } else {
                    try {
                        ZVMap1->setImage(path);
                    } catch (const zv::Error& e) {
                        LogError(QStringLiteral("Error loading System View screen"), kSource, e.number(), e.text());
                    }
                }
            }
            ZVMap1->setDrawWidth(system.isNull(0, QStringLiteral("DrawWidth"))
                                     ? qint16(1)
                                     : qint16(system.toInt(0, QStringLiteral("DrawWidth"))));
            ZVMap1->setForeColor(system.isNull(0, QStringLiteral("SystemForeground"))
                                     ? 0u
                                     : quint32(system.toInt64(0, QStringLiteral("SystemForeground"))));
            ZVMap1->setPVisible(false);  // the outlines are click areas only
            DrawTunnels(m_systemId);
        }
        BuildReportMenu();
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error loading System View screen"), kSource, e);
    }
    // Whatever failed above, the menus never offer more than the user's rights allow.
    ApplyRights();
}

void frmViewSystem::DrawTunnels(qint32 systemId)
{
    const RowSet tunnels = DbGetTunnels(systemId);
    for (int i = 0; i < tunnels.count(); ++i) {
        const qint32 tunnelId = tunnels.toInt(i, QStringLiteral("TunnelID"));
        const Outline outline = DbGetTunnelOutline(tunnelId);
        if (outline.isEmpty())
            continue;  // a tunnel without an outline is not on the map
        ZVMap1->SetPoly(tunnelId, ToPoly(outline));
    }
}

void frmViewSystem::BuildReportMenu()
{
    // Both lists are read before the menu changes, so a failure leaves the menu as it was.
    const RowSet reports =
        gConn.query(QStringLiteral("SELECT ReportName FROM Reports GROUP BY ReportName ORDER BY ReportName"))
            .sortedByName(QStringLiteral("ReportName"));
    const RowSet categories =
        gConn.query(QStringLiteral("SELECT EleCategoryName FROM ElementCategory ORDER BY EleCategoryID"))
            .sortedByName(QStringLiteral("EleCategoryName"));
    QStringList captions;
    for (int i = 0; i < reports.count(); ++i)
        if (!reports.isNull(i, QStringLiteral("ReportName")))
            captions << reports.value(i, QStringLiteral("ReportName")).toString();
    for (int i = 0; i < categories.count(); ++i)
        if (!categories.isNull(i, QStringLiteral("EleCategoryName")))
            captions << categories.value(i, QStringLiteral("EleCategoryName")).toString() +
                            QStringLiteral(" Element Condition Evaluation");

    while (mnuRpt.size() > 1)
        delete mnuRpt.takeLast();
    // A stored name is shown as written ("&" is no access key); the item keeps the name itself.
    if (captions.isEmpty()) {
        mnuRpt[0]->setText(kDesignReportCaption);
        mnuRpt[0]->setData(QVariant());
    } else {
        mnuRpt[0]->setText(ShownName(captions[0]));
        mnuRpt[0]->setData(captions[0]);
    }
    for (int i = 1; i < captions.size(); ++i) {
        mnuRpt << MenuItem(mnuReports, ShownName(captions[i]), "mnuRpt");
        mnuRpt.last()->setData(captions[i]);
    }
    for (QAction* item : std::as_const(mnuRpt)) {
        item->setVisible(true);
        item->setEnabled(FormIsAvailable(reportKind(item) == kElementPerformance ? QStringLiteral("frmReportSelection")
                                                                               : QStringLiteral("frmReport")));
    }
}

void frmViewSystem::offerAvailableWindows()
{
    const bool expense = FormIsAvailable(QStringLiteral("frmExpense"));
    cmdExp->setEnabled(expense);
    mnuExpenditures->setEnabled(expense);
    cmdReport->setEnabled(FormIsAvailable(QStringLiteral("frmReportSelection")));
    mnuRpt[0]->setEnabled(FormIsAvailable(QStringLiteral("frmReport")));
    mnuWizardSystem->setEnabled(FormIsAvailable(QStringLiteral("frmSystem")));
    const bool editor = FormIsAvailable(QStringLiteral("frmEleDef"));
    mnuWizardElement->setEnabled(editor);
    mnuWizardExpenditure->setEnabled(editor);
    mnuWizardInspPd->setEnabled(FormIsAvailable(QStringLiteral("frmInspectionPd")));
    mnuRatingsInput->setEnabled(FormIsAvailable(QStringLiteral("frmDataInput")));
}

void frmViewSystem::ApplyRights()
{
    if (gIsWizard)
        return;
    // The wizard's commands go for every other user; without the DataEntry right the
    // whole menu goes too.
    mnuWizardSystem->setVisible(false);
    mnuWizardElement->setVisible(false);
    mnuWizardExpenditure->setVisible(false);
    mnuUsers->setVisible(false);
    if (!gIsDataEntry) {
        cmdAdmin->setEnabled(false);
        mnuAdmin->menuAction()->setVisible(false);
    }
}

bool frmViewSystem::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_client && event->type() == QEvent::Resize) {
        Form_Resize();
    }
    return KrvForm<QMainWindow>::eventFilter(watched, event);
}

void frmViewSystem::Form_Resize()
{
    const double innerWidth = PixelsToTwips(m_client->width());
    const double innerHeight = PixelsToTwips(m_client->height());
    const double buttonsTop = VarMax<double>(960, innerHeight - kButtonsHeight);
    const double buttonsWidth = VarMax<double>(7900, innerWidth - 300);
    PlaceTwips(fraButtons, kButtonsLeft, buttonsTop, buttonsWidth, kButtonsHeight);
    cmdExit->move(TwipsToPixels(buttonsWidth - kExitWidth), cmdExit->y());
    const double mapWidth = VarMax<double>(1000, innerWidth - kMapLeft);
    const double mapHeight = VarMax<double>(500, buttonsTop - kMapTop - 100);
    PlaceTwips(ZVMap1, kMapLeft, kMapTop, mapWidth, mapHeight);
    const double zoomLeft = VarMax<double>(6450, kMapLeft + mapWidth - kZoomWidth);
    fraZoom->move(TwipsToPixels(zoomLeft), fraZoom->y());
}

bool frmViewSystem::QueryUnload()
{
    // The program ends with this window: every other one unloads first, and one that keeps
    // an edit the user chose to keep (Cancel) keeps this one open too.
    QList<QPointer<QWidget>> others;
    for (QWidget* w : LoadedForms())
        if (w != this)
            others << w;
    bool refused = false;
    for (const auto& w : others) {
        // One window's unload may have unloaded another of the list already.
        if (w && LoadedForms().contains(w.data()) && !UnloadForm(w))
            refused = true;
    }
    return !refused;
}

void frmViewSystem::FormUnload() { SaveFormPosition(this); }

// ------------------------------------------------------------------ the map

void frmViewSystem::ZVMap1_PolyHit(qint32 id)
{
    const bool input = m_ratingsInputMode;
    try {
        const qint16 latestYear = DbGetLatestInspectionYear(id);
        if (input) {
            if (latestYear == 0) {
                MsgBox(QStringLiteral("Please add inspection periods before attempting to input data."));
                return;
            }
            OpenedForm entry(QStringLiteral("frmDataInput"));
            CallFormMethod(entry.get(), "LoadForm", {latestYear, id});
            entry.done();
            setRatingsInputMode(false);
            return;
        }
        // Posted ratings of the tunnel's own periods: rows left behind by a removed period
        // would open a review of a period that no longer exists. Asked per period, each a
        // short walk of the posted ratings' index.
        const RowSet periods = gConn.query(
            QStringLiteral("SELECT ip.InspectionID FROM InspectionPeriod AS ip WHERE ip.TunnelID = ? AND EXISTS "
                           "(SELECT 1 FROM RatingsPosted AS r WHERE r.InspectionID = ip.InspectionID AND r.PanelID IN "
                           "(SELECT PanelID FROM Panels WHERE TunnelID = ?)) ORDER BY ip.InspectionID"),
            {id, id});
        if (periods.isEmpty()) {
            MsgBox(QStringLiteral("There is no posted data for this tunnel."));
        } else if (periods.count() == 1) {
            OpenedForm review(QStringLiteral("frmDataView"));
            CallFormMethod(review.get(), "LoadForm", {id, periods.toInt(0, QStringLiteral("InspectionID")), 0});
            review.done();
        } else {
            OpenedForm chooser(QStringLiteral("frmIPdialog"));
            CallFormMethod(chooser.get(), "LoadForm", {id});
            chooser.done();
        }
    } catch (const std::exception& e) {
        LogError(input ? QStringLiteral("Error loading Ratings Input screen")
                       : QStringLiteral("Error loading Tunnel Ratings screen"),
                 kSource, e);
    }
}

void frmViewSystem::ZVMap1_PolyMouseOver(qint32 id, QString& toolTip)
{
    // Nothing may leave the control's event; a failed look-up only goes to the log.
    try {
        toolTip = DbGetTunnelName(id);
    } catch (const std::exception& e) {
        toolTip.clear();
        LogError(QString(), kSource, e);
    }
}

void frmViewSystem::ZVMap1_MouseDown(qint16 button)
{
    if (button == 2)
        mnuMap->popup(QCursor::pos());
}

void frmViewSystem::zoomTo(qint16 percent, const QString& failure)
{
    try {
        ZVMap1->Zoom(percent);
    } catch (const std::exception& e) {
        LogError(failure, kSource, e);
    }
}

bool frmViewSystem::zoomToTyped()
{
    const double value = Val(cboZoom->currentText());
    if (value <= 0)
        return true;
    try {
        const double percent = RoundHalfEven(value);
        if (percent > 32767)
            throw KrvError(6, QStringLiteral("Overflow"));
        ZVMap1->Zoom(qint16(percent));
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error zooming map"), kSource, e);
        return false;
    }
    return true;
}

void frmViewSystem::mnuPan_Click()
{
    const bool on = !m_mapPanOn;
    try {
        ZVMap1->Pan(on);
        m_mapPanOn = on;
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error setting pan"), kSource, e);
    }
    mnuPan->setChecked(m_mapPanOn);
}

void frmViewSystem::setRatingsInputMode(bool on)
{
    m_ratingsInputMode = on;
    mnuRatingsInput->setChecked(on);
}

// ------------------------------------------------------------------ commands

void frmViewSystem::cmdExp_Click()
{
    try {
        OpenedForm expense(QStringLiteral("frmExpense"));
        ShowModeless(expense.get());
        expense.done();
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error loading Expenditure screen"), kSource, e);
    }
}

void frmViewSystem::cmdReport_Click()
{
    try {
        OpenedForm chooser(QStringLiteral("frmReportSelection"));
        chooser.done();
        ShowFormModal(chooser.get());
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error loading Report Selection screen"), kSource, e);
    }
}

void frmViewSystem::cmdAdmin_Click()
{
    mnuAdmin->popup(cmdAdmin->mapToGlobal(QPoint(0, cmdAdmin->height())));
}

void frmViewSystem::mnuRpt_Click(QAction* item)
{
    // The caption is the report kind, handed over as it stands.
    const QString kind = reportKind(item);
    try {
        if (kind == kElementPerformance) {
            // The chooser only builds the report here; it is not left behind hidden.
            OpenedForm chooser(QStringLiteral("frmReportSelection"));
            CallFormMethod(chooser.get(), "CreateElePerfRep", {});
        } else {
            OpenedForm report(QStringLiteral("frmReport"));
            CallFormMethod(report.get(), "GetFormType", {kind});
            report.done();
            ShowFormModal(report.get());
        }
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error loading Defect report"), kSource, e);
    }
}

void frmViewSystem::mnuWizardSystem_Click()
{
    try {
        if (!FormIsAvailable(QStringLiteral("frmSystem")))
            throw FormNotInProgram(QStringLiteral("frmSystem"));
        // Unloading this window unloads every other; the set-up window then keeps the program running.
        Unload();
        QWidget* setup = CreateForm(QStringLiteral("frmSystem"));
        if (!setup)
            throw FormNotInProgram(QStringLiteral("frmSystem"));
        setup->show();
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error loading System Wizard screen"), kSource, e);
    }
}

void frmViewSystem::openDefinitionEditor(const QString& caption, const QStringList& loadArgs,
                                         const QString& failure)
{
    try {
        if (FormIsOpen(caption, true))
            return;
        // A new editor for each use; its LoadForm shows it.
        OpenedForm editor(QStringLiteral("frmEleDef"), false);
        QVariantList args;
        for (const QString& a : loadArgs)
            args << a;
        CallFormMethod(editor.get(), "LoadForm", args);
        editor.done();
    } catch (const std::exception& e) {
        LogError(failure, kSource, e);
    }
}

void frmViewSystem::mnuWizardInspPd_Click()
{
    try {
        OpenedForm periods(QStringLiteral("frmInspectionPd"));
        ShowModeless(periods.get());
        periods.done();
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error loading Inspection Period screen"), kSource, e);
    }
}

void frmViewSystem::mnuUsers_Click()
{
    try {
        auto* manager = new frmDBManager(this);
        manager->exec();
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error loading User Manager screen"), kSource, e);
    }
}

void frmViewSystem::showAbout()
{
    auto* about = new frmAbout(this);
    about->exec();
}

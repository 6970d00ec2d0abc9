#include "frmDataView.h"

#include "clicklabel.h"
#include "db.h"
#include "dbdataview.h"
#include "dbdefects.h"
#include "dbinspection.h"
#include "dbmedia.h"
#include "dbrecords.h"
#include "dbsystem.h"
#include "frmAbout.h"
#include "globals.h"
#include "helpers.h"
#include "krverror.h"
#include "lookups.h"
#include "modkrv.h"
#include "panelmap.h"
#include "prompt.h"
#include "regularfiles.h"
#include "settings.h"
#include "textfit.h"
#include "uihelpers.h"
#include "zvmap.h"

#include <QCursor>
#include <QDateEdit>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTextDocument>
#include <QToolButton>
#include <QTreeWidget>
#include <QUrl>

#include <array>
#include <limits>

namespace {

const QString kSource = QStringLiteral("frmDataView");
const QString kNoPanel = QStringLiteral("Please select a panel from the keyplan at the top of the screen.");

// Design sizes, twips.
constexpr double kDesignWidth = 11820;
constexpr double kDesignHeight = 9900;
constexpr double kMapLeft = 120;
constexpr double kMapTop = 120;
constexpr double kDataHeight = 5520;
constexpr double kRowStep = 315;
constexpr double kRowTop = 420;
constexpr double kColumnStep = 6615;
constexpr double kElementLeft = 210;

// Item data of the two dated lists.
constexpr int kIdRole = Qt::UserRole;
constexpr int kDateRole = Qt::UserRole + 1;

const char* const kTwProperty = "krvTw";
const char* const kTwOffsetProperty = "krvTwOffsetY";  // a tab page's offset within its tab dialog
const char* const kTagProperty = "Tag";
const char* const kY2Property = "Y2";

void applyTw(QWidget* w)
{
    const QRectF r = w->property(kTwProperty).toRectF();
    double dy = 0;
    if (QWidget* p = w->parentWidget())
        dy = p->property(kTwOffsetProperty).toDouble();
    w->setGeometry(TwipsToPixels(r.left()), TwipsToPixels(r.top() - dy), TwipsToPixels(r.width()),
                   TwipsToPixels(r.height()));
}

void place(QWidget* w, double left, double top, double width, double height)
{
    w->setProperty(kTwProperty, QRectF(left, top, width, height));
    applyTw(w);
}

void setLeft(QWidget* w, double v)
{
    QRectF r = frmDataView::Tw(w);
    r.moveLeft(v);
    place(w, r.left(), r.top(), r.width(), r.height());
}
void setTop(QWidget* w, double v)
{
    QRectF r = frmDataView::Tw(w);
    r.moveTop(v);
    place(w, r.left(), r.top(), r.width(), r.height());
}
void setWidth(QWidget* w, double v)
{
    const QRectF r = frmDataView::Tw(w);
    place(w, r.left(), r.top(), v, r.height());
}
void setHeight(QWidget* w, double v)
{
    const QRectF r = frmDataView::Tw(w);
    place(w, r.left(), r.top(), r.width(), v);
}

void setTag(QWidget* w, const QString& tag) { w->setProperty(kTagProperty, tag); }

// The whole-number value of a Tag: its leading number rounded to a 32-bit integer.
qint32 tagValue(const QWidget* w)
{
    const double v = RoundHalfEven(Val(frmDataView::Tag(w)));
    if (v > std::numeric_limits<qint32>::max() || v < std::numeric_limits<qint32>::min())
        throw KrvError(6, QStringLiteral("Overflow"));
    return qint32(v);
}

// Pictures of the media buttons: a pencil, a camera, a film frame.
QIcon MediaIcon(int kind)
{
    QPixmap pm(15, 15);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    if (kind == 0) {
        p.setPen(QPen(QColor(150, 90, 20), 3, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(3, 12), QPointF(12, 3));
        p.setPen(QPen(Qt::black, 1.5));
        p.drawLine(QPointF(2, 13), QPointF(4, 11));
    } else if (kind == 1) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(60, 60, 60));
        p.drawRoundedRect(QRectF(1, 4, 13, 9), 2, 2);
        p.drawRect(QRectF(5, 2, 5, 3));
        p.setBrush(QColor(170, 210, 255));
        p.drawEllipse(QRectF(5, 6, 5, 5));
    } else {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(40, 40, 110));
        p.drawRect(QRectF(1, 3, 13, 9));
        p.setBrush(Qt::white);
        p.drawPolygon(QPolygonF({QPointF(6, 5), QPointF(11, 7.5), QPointF(6, 10)}));
    }
    return QIcon(pm);
}

QDate itemDate(const QListWidgetItem* item) { return item->data(kDateRole).toDate(); }

}  // namespace

// ------------------------------------------------------------------ twips of the controls

QRectF frmDataView::Tw(const QWidget* w) { return w->property(kTwProperty).toRectF(); }

double frmDataView::TwY2(const QWidget* line) { return line->property(kY2Property).toDouble(); }

QString frmDataView::Tag(const QWidget* w) { return w->property(kTagProperty).toString(); }

// ------------------------------------------------------------------ construction

frmDataView::frmDataView(QWidget* parent) : KrvForm<QWidget>(QStringLiteral("frmDataView"), parent)
{
    setWindowTitle(QStringLiteral("Data View"));
    buildControls();
    buildTabs();
    connectCommands();
    resize(TwipsToPixels(kDesignWidth), TwipsToPixels(kDesignHeight));
    Form_Load();
}

frmDataView* frmDataView::Instance()
{
    for (QWidget* w : LoadedForms())
        if (auto* review = qobject_cast<frmDataView*>(w))
            return review;
    return new frmDataView;
}

void frmDataView::buildControls()
{
    ZVMap1 = new ZVMap(this);
    ZVMap1->setObjectName(QStringLiteral("ZVMap1"));
    ZVMap1->setBorderStyle(1);
    place(ZVMap1, kMapLeft, kMapTop, kDesignWidth - kMapLeft, kDesignHeight - kDataHeight - 100 - kMapTop);

    fraData = new QFrame(this);
    fraData->setObjectName(QStringLiteral("fraData"));
    place(fraData, 120, kDesignHeight - kDataHeight, kDesignWidth - 220, kDataHeight);
    const double dataWidth = Tw(fraData).width();

    lblPanelID = new QLabel(fraData);
    lblPanelID->setObjectName(QStringLiteral("lblPanelID"));
    QFont bold = lblPanelID->font();
    bold.setBold(true);
    lblPanelID->setFont(bold);
    place(lblPanelID, 120, 60, 6000, 300);

    TabStrip1 = new QTabBar(fraData);
    TabStrip1->setObjectName(QStringLiteral("TabStrip1"));
    TabStrip1->setExpanding(false);
    TabStrip1->setDrawBase(true);
    place(TabStrip1, 0, 390, dataWidth, 390);

    VScroll1 = new QScrollBar(Qt::Vertical, fraData);
    VScroll1->setObjectName(QStringLiteral("VScroll1"));
    // The rows keep the focus, never the scroll bar.
    VScroll1->setFocusPolicy(Qt::NoFocus);
    VScroll1->setSingleStep(int(kRowStep));
    VScroll1->setPageStep(int(3 * kRowStep));
    VScroll1->setVisible(false);
    place(VScroll1, dataWidth - 255, 780, 255, 1475);

    picContainer = new QWidget(fraData);
    picContainer->setObjectName(QStringLiteral("picContainer"));
    picContainer->setFocusPolicy(Qt::StrongFocus);
    place(picContainer, 0, 780, dataWidth - 255, 1475);

    fraRatings = new QWidget(picContainer);
    fraRatings->setObjectName(QStringLiteral("fraRatings"));
    place(fraRatings, 0, 0, dataWidth - 255, 1475);

    auto line = [this](const char* name, double x) {
        auto* l = new QFrame(fraRatings);
        l->setObjectName(QLatin1String(name));
        l->setFrameShape(QFrame::VLine);
        l->setFrameShadow(QFrame::Sunken);
        l->setProperty(kY2Property, 1475 - 245.0);
        place(l, x, 120, 30, 1475 - 245.0 - 120);
        return l;
    };
    Line1 = line("Line1", 3330);
    Line2 = line("Line2", 3330 + kColumnStep);

    auto heading = [this](const char* name, int index, double left) {
        auto* l = new QLabel(fraRatings);
        l->setObjectName(QLatin1String(name));
        l->setProperty("Index", index);
        QFont f = l->font();
        f.setBold(true);
        l->setFont(f);
        place(l, left, 120, 1200, 255);
        return l;
    };
    lblYear1 = {heading("lblYear1", 0, 1860), heading("lblYear1", 1, 1860 + kColumnStep)};
    lblYear2 = {heading("lblYear2", 0, 3570), heading("lblYear2", 1, 3570 + kColumnStep)};

    // Row 0 as designed; the others copy it.
    auto label = [this](const char* name, double left, double width) {
        auto* l = new QLabel(fraRatings);
        l->setObjectName(QLatin1String(name));
        l->setProperty("Index", 0);
        place(l, left, kRowTop, width, 225);
        return l;
    };
    lblElement = {label("lblElement", kElementLeft, 1650)};
    lblRate1 = {label("lblRate1", 1920, 285)};
    lblRate2 = {label("lblRate2", 3630, 285)};
    lblRate2[0]->setVisible(false);
    auto mediaButton = [this](const char* name, double left, const QString& tip, int kind) {
        auto* b = new QToolButton(fraRatings);
        b->setObjectName(QLatin1String(name));
        b->setProperty("Index", 0);
        b->setToolTip(tip);
        b->setIcon(MediaIcon(kind));
        b->setAutoRaise(true);
        b->setVisible(false);
        place(b, left, kRowTop, 225, 225);
        return b;
    };
    cmdSketch = {mediaButton("cmdSketch", 2250, QStringLiteral("Field Sketch"), 0)};
    cmdPhoto = {mediaButton("cmdPhoto", 2520, QStringLiteral("Photo"), 1)};
    cmdVideo = {mediaButton("cmdVideo", 2790, QStringLiteral("View Video Clip"), 2)};
    cmdSketch2 = {mediaButton("cmdSketch2", 3960, QStringLiteral("Field Sketch"), 0)};
    cmdPhoto2 = {mediaButton("cmdPhoto2", 4230, QStringLiteral("Photo"), 1)};
    cmdVideo2 = {mediaButton("cmdVideo2", 4500, QStringLiteral("View Video Clip"), 2)};

    // The command row at the foot of the frame.
    Image1 = new ClickLabel(QString(), fraData);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setPixmap(ProgramLogo(TwipsToPixels(375)));
    place(Image1, 120, kDataHeight - 435, 375, 375);
    Label1 = new ClickLabel(QStringLiteral("Quorrel"), fraData);
    Label1->setObjectName(QStringLiteral("Label1"));
    QFont logo = Label1->font();
    logo.setBold(true);
    logo.setItalic(true);
    Label1->setFont(logo);
    place(Label1, 540, kDataHeight - 420, 840, 345);
    auto command = [this](const QString& text, const QString& tip, const char* name, double left, double width) {
        auto* b = new QPushButton(text, fraData);
        b->setObjectName(QLatin1String(name));
        b->setToolTip(tip);
        b->setAutoDefault(false);
        // As wide as the caption needs in the desktop's face.
        place(b, left, kDataHeight - 435, std::max(width, PixelsToTwips(TextWidthNeeded(b))), 375);
        return b;
    };
    cmdPrint = command(QStringLiteral("Print..."), QStringLiteral("Print the current screen's data"), "cmdPrint",
                       1440, 975);
    cmdDefectRpt = command(QStringLiteral("Defect Report"), QStringLiteral("Print the current screen's data"),
                           "cmdDefectRpt", 2475, 1275);
    cmdClose = command(QStringLiteral("Close"), QStringLiteral("Close window"), "cmdClose", dataWidth - 1095 - 40,
                       1095);

    mnuMap = new QMenu(this);
    mnuMap->setObjectName(QStringLiteral("mnuMap"));
    mnuZoom = mnuMap->addMenu(QStringLiteral("&Zoom"));
    mnuZoom->setObjectName(QStringLiteral("mnuZoom"));
    auto zoomItem = [this](const QString& text, const char* name) {
        QAction* a = mnuZoom->addAction(text);
        a->setObjectName(QLatin1String(name));
        return a;
    };
    mnuZoom50 = zoomItem(QStringLiteral("50%"), "mnuZoom50");
    mnuZoom75 = zoomItem(QStringLiteral("75%"), "mnuZoom75");
    mnuZoom100 = zoomItem(QStringLiteral("100%"), "mnuZoom100");
    mnuZoom150 = zoomItem(QStringLiteral("150%"), "mnuZoom150");
    mnuZoom200 = zoomItem(QStringLiteral("200%"), "mnuZoom200");
    mnuPan = mnuMap->addAction(QStringLiteral("&Pan"));
    mnuPan->setObjectName(QStringLiteral("mnuPan"));
    mnuPan->setCheckable(true);
}

void frmDataView::buildTabs()
{
    SSTab1 = new QTabWidget(fraData);
    SSTab1->setObjectName(QStringLiteral("SSTab1"));
    place(SSTab1, 0, 2355, Tw(fraData).width(), 2665);
    const QStringList captions{QStringLiteral("Comments"),    QStringLiteral("Defect Quantity"),
                               QStringLiteral("Comments"),    QStringLiteral("Defect Quantity"),
                               QStringLiteral("Repair Log"),  QStringLiteral("&Emergency Incidents"),
                               QStringLiteral("Custom")};
    QVector<QWidget*> pages;
    for (const QString& c : captions) {
        auto* page = new QWidget;
        page->setObjectName(QStringLiteral("SSTab1Page%1").arg(pages.size()));
        SSTab1->addTab(page, c);
        pages << page;
    }
    // Positions inside a page are twips from the top of the tab dialog, tabs included.
    const double header = PixelsToTwips(SSTab1->tabBar()->sizeHint().height() + 3);
    for (QWidget* page : pages)
        page->setProperty(kTwOffsetProperty, header);

    const double width = Tw(SSTab1).width();
    auto text = [](QWidget* page, const char* name, double left, double w) {
        auto* t = new QPlainTextEdit(page);
        t->setObjectName(QLatin1String(name));
        t->setReadOnly(true);
        t->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        place(t, left, 420, w, 2065);
        return t;
    };
    txtComments = {text(pages[0], "txtComments", 120, width - 220), text(pages[2], "txtComments", 120, width - 220)};
    txtComments[0]->setProperty("Index", 0);
    txtComments[1]->setProperty("Index", 1);

    auto defects = [width](QWidget* page, const char* name) {
        auto* lv = new QTreeWidget(page);
        lv->setObjectName(QLatin1String(name));
        lv->setRootIsDecorated(false);
        lv->setColumnCount(5);
        lv->setHeaderLabels({QStringLiteral("Description"), QStringLiteral("Quantity"), QStringLiteral("Units"),
                             QStringLiteral("Unit Cost"), QStringLiteral("Total Cost")});
        lv->header()->setSectionsClickable(true);
        lv->setColumnWidth(0, TwipsToPixels(4000));
        place(lv, 120, 420, width - 220, 2065);
        return lv;
    };
    lvDefectQty = defects(pages[1], "lvDefectQty");
    lvDefectQty2 = defects(pages[3], "lvDefectQty2");

    auto button = [](QWidget* page, const QString& caption, const char* name, double top, bool visible) {
        auto* b = new QPushButton(caption, page);
        b->setObjectName(QLatin1String(name));
        b->setAutoDefault(false);
        b->setVisible(visible);
        place(b, 240, top, 1575, 375);
        return b;
    };
    auto picker = [](QWidget* page, const char* name) {
        auto* d = new QDateEdit(page);
        d->setObjectName(QLatin1String(name));
        d->setCalendarPopup(true);
        place(d, 240, 1515, 1575, 375);
        return d;
    };
    auto list = [](QWidget* page, const char* name) {
        auto* l = new QListWidget(page);
        l->setObjectName(QLatin1String(name));
        l->setSortingEnabled(false);
        place(l, 1920, 480, 1575, 2065);
        return l;
    };
    cmdAdd = button(pages[4], QStringLiteral("Add"), "cmdAdd", 480, true);
    cmdDelete = button(pages[4], QStringLiteral("Delete"), "cmdDelete", 960, true);
    cmdSave = button(pages[4], QStringLiteral("Save"), "cmdSave", 480, false);
    cmdCancel = button(pages[4], QStringLiteral("Cancel"), "cmdCancel", 960, false);
    dtp = picker(pages[4], "dtp");
    lstRepairDates = list(pages[4], "lstRepairDates");
    txtRepairLog = text(pages[4], "txtRepairLog", 3600, 7935);
    setTop(txtRepairLog, 480);

    cmdAddEmergency = button(pages[5], QStringLiteral("Add"), "cmdAddEmergency", 480, true);
    cmdDeleteEmergency = button(pages[5], QStringLiteral("Delete"), "cmdDeleteEmergency", 960, true);
    cmdSaveEmergency = button(pages[5], QStringLiteral("Save"), "cmdSaveEmergency", 480, false);
    cmdCancelEmergency = button(pages[5], QStringLiteral("Cancel"), "cmdCancelEmergency", 960, false);
    dtpEmergency = picker(pages[5], "dtpEmergency");
    lstEmergency = list(pages[5], "lstEmergency");
    txtEmergency = text(pages[5], "txtEmergency", 3600, 7935);
    setTop(txtEmergency, 480);

    // The custom texts lie on the frame over the tab pages; only the current tab's shows.
    auto* extra = new QPlainTextEdit(fraData);
    extra->setObjectName(QStringLiteral("txtAdditional"));
    extra->setProperty("Index", 0);
    extra->setReadOnly(true);
    extra->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    extra->setVisible(false);
    place(extra, 120, 2775, 11460, 1585);
    txtAdditional = {extra};
    auto addlButton = [this](const QString& caption, const char* name, double left) {
        auto* b = new QPushButton(caption, fraData);
        b->setObjectName(QLatin1String(name));
        b->setAutoDefault(false);
        b->setVisible(false);
        place(b, left, 4440, 975, 375);
        return b;
    };
    cmdEditAddl = addlButton(QStringLiteral("Edit"), "cmdEditAddl", 120);
    cmdSaveAddl = addlButton(QStringLiteral("Save"), "cmdSaveAddl", 120);
    cmdCancelAddl = addlButton(QStringLiteral("Cancel"), "cmdCancelAddl", 1200);
}

void frmDataView::connectCommands()
{
    connect(ZVMap1, &ZVMap::PolyHit, this, [this](qint32 id, qint16) { ZVMap1_PolyHit(id); });
    // The tool tip is read back when the handler returns: a direct connection.
    connect(
        ZVMap1, &ZVMap::PolyMouseOver, this,
        [](qint32 id, QString& toolTip) {
            try {
                toolTip = DbGetPanelName(id);
            } catch (const std::exception& e) {
                toolTip.clear();
                LogError(QString(), kSource, e);
            }
        },
        Qt::DirectConnection);
    connect(ZVMap1, &ZVMap::MouseDown, this, [this](qint16 button, qint16, float, float) { ZVMap1_MouseDown(button); });

    const std::array<std::pair<QAction*, qint16>, 5> zooms{
        {{mnuZoom50, 50}, {mnuZoom75, 75}, {mnuZoom100, 100}, {mnuZoom150, 150}, {mnuZoom200, 200}}};
    for (const auto& [item, percent] : zooms) {
        const qint16 p = percent;
        connect(item, &QAction::triggered, this, [this, p] { zoomTo(p); });
    }
    connect(mnuPan, &QAction::triggered, this, &frmDataView::mnuPan_Click);

    // Rebuilding the strip blocks its signals: only the user's choice reloads the rows.
    connect(TabStrip1, &QTabBar::currentChanged, this, [this](int) { LoadReviewPanelData(m_currentPanelId); });
    connect(VScroll1, &QScrollBar::valueChanged, this, &frmDataView::VScroll1_Change);

    connect(lvDefectQty->header(), &QHeaderView::sectionClicked, this,
            [this](int section) { SortListView(section + 1, lvDefectQty); });
    connect(lvDefectQty2->header(), &QHeaderView::sectionClicked, this,
            [this](int section) { SortListView(section + 1, lvDefectQty2); });

    // Choosing an entry, by the user or by the code, shows its text; so does a click on the
    // entry already chosen.
    connect(lstRepairDates, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0)
            lstRepairDates_Click();
    });
    connect(lstRepairDates, &QListWidget::itemClicked, this, [this] { lstRepairDates_Click(); });
    connect(lstEmergency, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0)
            lstEmergency_Click();
    });
    connect(lstEmergency, &QListWidget::itemClicked, this, [this] { lstEmergency_Click(); });
    connect(cmdAdd, &QPushButton::clicked, this, &frmDataView::cmdAdd_Click);
    connect(cmdSave, &QPushButton::clicked, this, &frmDataView::cmdSave_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmDataView::cmdCancel_Click);
    connect(cmdDelete, &QPushButton::clicked, this, &frmDataView::cmdDelete_Click);
    connect(cmdAddEmergency, &QPushButton::clicked, this, &frmDataView::cmdAddEmergency_Click);
    connect(cmdSaveEmergency, &QPushButton::clicked, this, &frmDataView::cmdSaveEmergency_Click);
    connect(cmdCancelEmergency, &QPushButton::clicked, this, &frmDataView::cmdCancelEmergency_Click);
    connect(cmdDeleteEmergency, &QPushButton::clicked, this, &frmDataView::cmdDeleteEmergency_Click);

    connect(SSTab1, &QTabWidget::currentChanged, this, [this](int) {
        const int previous = m_currentTab;
        m_currentTab = SSTab1->currentIndex();
        SSTab1_Click(previous);
    });
    connect(cmdEditAddl, &QPushButton::clicked, this, &frmDataView::cmdEditAddl_Click);
    connect(cmdSaveAddl, &QPushButton::clicked, this, &frmDataView::cmdSaveAddl_Click);
    connect(cmdCancelAddl, &QPushButton::clicked, this, &frmDataView::cmdCancelAddl_Click);

    connect(cmdPrint, &QPushButton::clicked, this, &frmDataView::cmdPrint_Click);
    connect(cmdDefectRpt, &QPushButton::clicked, this, &frmDataView::cmdDefectRpt_Click);
    connect(cmdClose, &QPushButton::clicked, this, [this] { Unload(); });
    connect(Image1, &ClickLabel::clicked, this, &frmDataView::showAbout);
    connect(Label1, &ClickLabel::clicked, this, &frmDataView::showAbout);
}

// Row i's media buttons open their period's media of the row's element.
void frmDataView::makeRow(int i)
{
    auto copyLabel = [this, i](QVector<QLabel*>& array) {
        QLabel* first = array[0];
        auto* l = new QLabel(fraRatings);
        l->setObjectName(first->objectName());
        l->setProperty("Index", i);
        l->setFont(first->font());
        l->setVisible(false);
        const QRectF r = Tw(first);
        place(l, r.left(), r.top(), r.width(), r.height());
        array << l;
    };
    auto copyButton = [this, i](QVector<QToolButton*>& array, bool second, int kind) {
        QToolButton* first = array[0];
        auto* b = new QToolButton(fraRatings);
        b->setObjectName(first->objectName());
        b->setProperty("Index", i);
        b->setToolTip(first->toolTip());
        b->setIcon(first->icon());
        b->setAutoRaise(true);
        b->setEnabled(first->isEnabled());
        b->setVisible(false);
        const QRectF r = Tw(first);
        place(b, r.left(), r.top(), r.width(), r.height());
        connect(b, &QToolButton::clicked, this, [this, i, second, kind] {
            if (kind == 0)
                cmdSketch_Click(i, second);
            else if (kind == 1)
                cmdPhoto_Click(i, second);
            else
                cmdVideo_Click(i, second);
        });
        array << b;
    };
    copyButton(cmdSketch, false, 0);
    copyButton(cmdPhoto, false, 1);
    copyButton(cmdVideo, false, 2);
    copyButton(cmdSketch2, true, 0);
    copyButton(cmdPhoto2, true, 1);
    copyButton(cmdVideo2, true, 2);
    copyLabel(lblElement);
    copyLabel(lblRate1);
    copyLabel(lblRate2);
}

void frmDataView::removeRowsAfterFirst()
{
    for (auto* array : {&cmdSketch, &cmdPhoto, &cmdVideo, &cmdSketch2, &cmdPhoto2, &cmdVideo2}) {
        while (array->size() > 1)
            delete array->takeLast();
    }
    for (auto* array : {&lblElement, &lblRate1, &lblRate2}) {
        while (array->size() > 1)
            delete array->takeLast();
    }
}

// ------------------------------------------------------------------ load, layout, unload

void frmDataView::Form_Load()
{
    RestoreFormPosition(this);
    dtp->setDate(QDate::currentDate());
    dtpEmergency->setDate(QDate::currentDate());
    SSTab1->setCurrentIndex(0);
    m_currentTab = 0;
    if (!gIsDataEntry) {
        cmdAdd->setEnabled(false);
        cmdDelete->setEnabled(false);
        cmdAddEmergency->setEnabled(false);
        cmdDeleteEmergency->setEnabled(false);
        cmdEditAddl->setEnabled(false);
    }
    offerAvailableWindows();
    // Each row of row 0 opens its own media.
    connect(cmdSketch[0], &QToolButton::clicked, this, [this] { cmdSketch_Click(0, false); });
    connect(cmdPhoto[0], &QToolButton::clicked, this, [this] { cmdPhoto_Click(0, false); });
    connect(cmdVideo[0], &QToolButton::clicked, this, [this] { cmdVideo_Click(0, false); });
    connect(cmdSketch2[0], &QToolButton::clicked, this, [this] { cmdSketch_Click(0, true); });
    connect(cmdPhoto2[0], &QToolButton::clicked, this, [this] { cmdPhoto_Click(0, true); });
    connect(cmdVideo2[0], &QToolButton::clicked, this, [this] { cmdVideo_Click(0, true); });
    try {
        LoadAdditionalTabs();
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error loading the Data View screen."), kSource, e);
    }
}

void frmDataView::offerAvailableWindows()
{
    // Commands whose window is not part of the program stay disabled.
    cmdPrint->setEnabled(FormIsAvailable(QStringLiteral("frmPrintKeyplan")));
    cmdDefectRpt->setEnabled(FormIsAvailable(QStringLiteral("frmReport")));
    const bool photos = FormIsAvailable(QStringLiteral("frmImages")) && FormIsAvailable(QStringLiteral("frmMultImg"));
    const bool sketch = IniIsDataCollector() || FormIsAvailable(QStringLiteral("frmImages"));
    const bool video = FormIsAvailable(QStringLiteral("frmVideoView"));
    cmdPhoto[0]->setEnabled(photos);
    cmdPhoto2[0]->setEnabled(photos);
    cmdSketch[0]->setEnabled(sketch);
    cmdSketch2[0]->setEnabled(sketch);
    cmdVideo[0]->setEnabled(video);
    cmdVideo2[0]->setEnabled(video);
}

void frmDataView::resizeEvent(QResizeEvent* event)
{
    KrvForm<QWidget>::resizeEvent(event);
    Form_Resize();
}

void frmDataView::Form_Resize()
{
    const double sw = PixelsToTwips(width());
    const double sh = PixelsToTwips(height());
    setTop(fraData, VarMax<double>(825, sh - Tw(fraData).height()));
    setWidth(ZVMap1, VarMax<double>(1000, sw - Tw(ZVMap1).left()));
    setHeight(ZVMap1, VarMax<double>(500, sh - Tw(fraData).height() - 100 - Tw(ZVMap1).top()));
    setWidth(fraData, VarMax<double>(5000, Tw(ZVMap1).width() - 100));
    setLeft(VScroll1, Tw(fraData).width() - Tw(VScroll1).width());
    setWidth(picContainer, Tw(VScroll1).left());
    setWidth(fraRatings, Tw(picContainer).width());
    setWidth(SSTab1, Tw(fraData).width());
    for (QPlainTextEdit* t : std::as_const(txtComments))
        setWidth(t, Tw(SSTab1).width() - 120 - 100);
    setWidth(txtRepairLog, Tw(SSTab1).width() - 3600 - 100);
    for (QPlainTextEdit* t : std::as_const(txtAdditional))
        setWidth(t, Tw(txtComments[0]).width());
    setWidth(txtEmergency, Tw(txtRepairLog).width());
    setWidth(lvDefectQty, Tw(txtComments[0]).width());
    setWidth(lvDefectQty2, Tw(txtComments[0]).width());
    setLeft(cmdClose, VarMax<double>(3000, Tw(fraData).width() - Tw(cmdClose).width() - 40));
    setWidth(TabStrip1, Tw(fraData).width());
}

void frmDataView::FormUnload()
{
    SaveFormPosition(this);
    if (IsFormLoaded(QStringLiteral("frmPrintKeyplan")))
        UnloadFormByName(QStringLiteral("frmPrintKeyplan"));
}

void frmDataView::LoadForm(qint32 tunnelId, qint32 inspectionId1, qint32 inspectionId2)
{
    // Another tunnel or period replaces the panel shown: its typing is settled first.
    if (!SettleTyping()) {
        show();
        activateWindow();
        return;
    }
    try {
        hide();
        WaitCursor wait;
        m_tunnelId = tunnelId;
        SetFormTunnel(this, tunnelId);
        const QString picture = DbGetTunnelPicture(tunnelId);
        const QString path = GetTunnelFolder(tunnelId) + picture;
        // A file that is no picture counts as a missing one; without one the previous
        // tunnel's picture must not stay (the key plan prints what the map holds).
        bool shown = false;
        if (!picture.isEmpty() && IsRegularFile(path)) {
            try {
                ZVMap1->setImage(path);
                shown = true;
            } catch (const zv::Error&) {
            }
        }
        if (!shown)
            ZVMap1->ClearImage();
        ZVMap1->setForeColor(quint32(DbGetTunnelForeground(tunnelId)));
        ZVMap1->setDrawWidth(qint16(DbGetTunnelDrawWidth(tunnelId)));
        m_tunnelName.clear();
        ShowTunnelInTitle(this, DbGetSystemName() + QStringLiteral(" - "), tunnelId, m_tunnelName);

        m_inspectionId1 = inspectionId1;
        m_inspectionId2 = inspectionId2;
        m_year1 = DbGetInspectionYear(inspectionId1);
        if (inspectionId2 != 0) {
            m_year2 = DbGetInspectionYear(inspectionId2);
            for (QLabel* l : std::as_const(lblYear2))
                l->setText(QString::number(m_year2));
            SSTab1->setTabText(2, QStringLiteral("Comments %1").arg(m_year2));
            SSTab1->setTabText(3, QStringLiteral("Defect Quantity %1").arg(m_year2));
            SSTab1->setTabVisible(2, true);
            SSTab1->setTabVisible(3, true);
        } else {
            m_year2 = 0;
            for (QLabel* l : std::as_const(lblYear2))
                l->clear();
            SSTab1->setTabText(2, QStringLiteral("Comments"));
            if (SSTab1->currentIndex() == 2 || SSTab1->currentIndex() == 3)
                SSTab1->setCurrentIndex(0);
            SSTab1->setTabVisible(2, false);
            SSTab1->setTabVisible(3, false);
        }
        for (QLabel* l : std::as_const(lblYear1))
            l->setText(QString::number(m_year1));
        SSTab1->setTabText(0, QStringLiteral("Comments %1").arg(m_year1));
        SSTab1->setTabText(1, QStringLiteral("Defect Quantity %1").arg(m_year1));

        DrawReviewPanels();
        show();
        activateWindow();
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error loading the Data View screen."), kSource, e);
        Unload();
    }
}

// ------------------------------------------------------------------ the map

void frmDataView::DrawReviewPanels()
{
    // Polygons of the previous load go first: a reload would otherwise keep the old
    // periods' shading and answer clicks with stale outlines.
    ZVMap1->Clear();

    const RowSet panels = DbGetPanels(m_tunnelId);
    if (panels.isEmpty()) {
        // No panel of this tunnel can be current, nor a category of another tunnel's panel.
        m_currentPanelId = 0;
        LoadReviewCategoryTabs(0);
        LoadReviewPanelData(0);
        return;
    }
    // Three reads for the whole map: the panels, every outline point and the lowest posted
    // rating of each panel in the later period.
    const RowSet coords = DbGetTunnelPanelCoords(m_tunnelId);
    const QHash<qint32, PanelLowest> lowest = DbGetLowestPostedRatings(shadingPeriod());
    const qint32 best =
        DrawPanelOutlines(ZVMap1, panels, coords, lowest, [this](qint32 id) { ShadeReviewPanel(id, false); });
    m_currentPanelId = best;
    LoadReviewCategoryTabs(best);
    LoadReviewPanelData(best);
    ZVMap1->HighlightInvisPoly(best);
}

qint32 frmDataView::shadingPeriod() const
{
    // Always the later of the two periods.
    return m_inspectionId2 != 0 && m_year2 > m_year1 ? m_inspectionId2 : m_inspectionId1;
}

void frmDataView::ShadeReviewPanel(qint32 panelId, bool shadeAll)
{
    const qint32 period = shadingPeriod();
    double lowest = 9;
    const RowSet elements = DbGetPanelElements(panelId);
    for (int i = 0; i < elements.count(); ++i) {
        const QString rating =
            DbGetPostedRating(period, panelId, elements.toInt(i, QStringLiteral("ElementID")));
        if (rating.isEmpty() || rating == QLatin1String("M"))
            continue;
        const double value = RoundHalfEven(Val(rating));
        if (value < lowest)
            lowest = value;
    }
    qint16 level = 0;
    if (lowest <= gCriticalHighlight)
        level = 2;
    else if (lowest <= gWarningHighlight)
        level = 1;
    else if (!shadeAll)
        return;
    ZVMap1->ShadePoly(panelId, level);
}

void frmDataView::LoadReviewCategoryTabs(qint32 panelId)
{
    const QSignalBlocker block(TabStrip1);
    FillCategoryTabs(TabStrip1, panelId == 0 ? RowSet() : DbGetPanelElementCategories(panelId));
}

void frmDataView::ZVMap1_PolyHit(qint32 id)
{
    // Typing of the panel shown is saved, dropped or kept as the user says, never lost.
    if (id != currentPanel() && !SettleTyping()) {
        try {
            ZVMap1->HighlightInvisPoly(m_currentPanelId);
        } catch (const std::exception&) {
        }
        return;
    }
    bool failed = false;
    auto step = [&failed](const auto& f) {
        try {
            f();
        } catch (const std::exception&) {
            failed = true;
        }
    };
    step([&] { ZVMap1->HighlightInvisPoly(id); });
    m_currentPanelId = id;
    step([&] { LoadReviewCategoryTabs(id); });
    step([&] { LoadReviewPanelData(id); });
    if (failed)
        LogError(QStringLiteral("Error loading panel information"), kSource);
}

void frmDataView::ZVMap1_MouseDown(qint16 button)
{
    if (button == 2)
        mnuMap->popup(QCursor::pos());
}

void frmDataView::zoomTo(qint16 percent)
{
    try {
        ZVMap1->Zoom(percent);
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error zooming tunnel image to %1%").arg(percent), kSource, e);
    }
}

void frmDataView::mnuPan_Click()
{
    m_panMode = !m_panMode;
    mnuPan->setChecked(m_panMode);
    try {
        ZVMap1->Pan(m_panMode);
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error setting pan"), kSource, e);
    }
}

void frmDataView::showAbout()
{
    auto* about = new frmAbout(this);
    about->exec();
}

// ------------------------------------------------------------------ rows of the current panel

qint32 frmDataView::currentPanel() const { return tagValue(lblPanelID); }

void frmDataView::VScroll1_Change(int value)
{
    try {
        setTop(fraRatings, -value);
    } catch (const std::exception& e) {
        LogError(QString(), kSource, e);
    }
}

void frmDataView::LoadReviewPanelData(qint32 panelId)
{
    // Reading the elements and their category: a failure leaves them unfiltered (or none).
    RowSet elements;
    try {
        elements = DbGetPanelElements(panelId);
    } catch (const std::exception&) {
    }
    RowSet rows = elements;
    const int tab = TabStrip1->currentIndex();
    if (tab >= 0)
        rows = elements.filtered(QStringLiteral("ElementCategory"), TabStrip1->tabData(tab));
    const int n = rows.count();

    try {
        const int perColumn = n / 2 + n % 2;
        setHeight(picContainer, VarMin(perColumn, 3) * kRowStep + 530);
        setHeight(fraRatings, perColumn * kRowStep + 530);
        VScroll1->setVisible(perColumn > 3);
        if (perColumn > 3) {
            VScroll1->setMaximum(int(Tw(fraRatings).height() - Tw(picContainer).height()));
            setHeight(VScroll1, Tw(picContainer).height());
        }
        // Each build starts at the top of its rows.
        VScroll1->setValue(0);
        setTop(fraRatings, 0);
        for (QFrame* l : {Line1, Line2}) {
            l->setProperty(kY2Property, Tw(fraRatings).height() - 245);
            setHeight(l, Tw(fraRatings).height() - 245 - Tw(l).top());
        }
        for (QLabel* l : lblYear1 + lblYear2)
            l->setVisible(true);

        removeRowsAfterFirst();
        m_rowCount = 0;
        const bool two = m_inspectionId2 != 0;
        if (n == 0 || !two) {
            // Row 0 shows nothing of a build without rows, nor a second period that is not shown.
            for (QWidget* w : std::initializer_list<QWidget*>{lblRate2[0], cmdSketch2[0], cmdPhoto2[0], cmdVideo2[0]})
                w->setVisible(false);
        }
        if (n == 0)
            for (QWidget* w : std::initializer_list<QWidget*>{lblElement[0], lblRate1[0], cmdSketch[0], cmdPhoto[0],
                                                               cmdVideo[0]})
                w->setVisible(false);

        for (int i = 0; i < n; ++i) {
            if (i > 0)
                makeRow(i);
            m_rowCount = i + 1;
            const int column = i / perColumn;
            const int line = i % perColumn;
            const double shift = column * kColumnStep + kElementLeft - Tw(lblElement[0]).left();
            const double top = line * kRowStep + kRowTop;
            setLeft(lblElement[i], column * kColumnStep + kElementLeft);
            // Each control keeps its designed offset from the element label, shifted by the column.
            auto placeLike = [shift, top](QWidget* w, const QWidget* first) {
                setLeft(w, Tw(first).left() + shift);
                setTop(w, top);
            };
            placeLike(cmdSketch[i], cmdSketch[0]);
            placeLike(cmdPhoto[i], cmdPhoto[0]);
            placeLike(cmdVideo[i], cmdVideo[0]);
            placeLike(lblRate1[i], lblRate1[0]);
            setTop(lblElement[i], top);
            const qint32 elementId = rows.toInt(i, QStringLiteral("ElementID"));
            if (two) {
                placeLike(cmdSketch2[i], cmdSketch2[0]);
                placeLike(cmdPhoto2[i], cmdPhoto2[0]);
                placeLike(cmdVideo2[i], cmdVideo2[0]);
                placeLike(lblRate2[i], lblRate2[0]);
            }
            cmdSketch[i]->setVisible(DbHasPostedSketch(panelId, m_inspectionId1, elementId));
            cmdPhoto[i]->setVisible(DbHasPostedPhoto(panelId, m_inspectionId1, elementId));
            cmdVideo[i]->setVisible(DbHasPostedVideo(panelId, m_inspectionId1, elementId));
            if (two) {
                cmdSketch2[i]->setVisible(DbHasPostedSketch(panelId, m_inspectionId2, elementId));
                cmdPhoto2[i]->setVisible(DbHasPostedPhoto(panelId, m_inspectionId2, elementId));
                cmdVideo2[i]->setVisible(DbHasPostedVideo(panelId, m_inspectionId2, elementId));
                lblRate2[i]->setVisible(true);
                lblRate2[i]->setText(DbGetPostedRating(m_inspectionId2, panelId, elementId));
            }
            lblElement[i]->setVisible(true);
            lblRate1[i]->setVisible(true);
            lblElement[i]->setText(NullToEmpty(rows.value(i, QStringLiteral("ElementName"))).toString());
            setTag(lblElement[i], QString::number(elementId));
            lblRate1[i]->setText(DbGetPostedRating(m_inspectionId1, panelId, elementId));
        }

        // Showing the same panel again (another category) keeps what is being typed.
        const bool samePanel = panelId == currentPanel();
        const bool keepRepair = samePanel && repairTyped();
        const bool keepEmergency = samePanel && emergencyTyped();
        const int addl = samePanel ? addlTyped() : -1;
        const QString repairText = keepRepair ? txtRepairLog->toPlainText() : QString();
        const QString emergencyText = keepEmergency ? txtEmergency->toPlainText() : QString();
        const QString addlText = addl >= 0 ? txtAdditional[addl]->toPlainText() : QString();
        auto putBack = [](QPlainTextEdit* box, const QString& text) {
            box->setPlainText(text);
            box->moveCursor(QTextCursor::End);
            box->document()->setModified(true);
        };

        qint32 panelNum = 0;
        QString panelName;
        DbGetPanelInfo(panelId, panelNum, panelName);
        lblPanelID->setText(panelName);
        setTag(lblPanelID, QString::number(panelId));
        ShowTunnelInTitle(this, DbGetSystemName() + QStringLiteral(" - "), m_tunnelId, m_tunnelName);

        ArrangeDataTabs();
        txtComments[0]->setPlainText(DbGetPostedPanelComment(m_inspectionId1, panelId));
        txtComments[1]->setPlainText(DbGetPostedPanelComment(m_inspectionId2, panelId));
        LoadRepairLogs(panelId);
        if (keepRepair)
            putBack(txtRepairLog, repairText);
        LoadReviewDefects(panelId, m_inspectionId1, lvDefectQty);
        if (two)
            LoadReviewDefects(panelId, m_inspectionId2, lvDefectQty2);
        else
            lvDefectQty2->clear();
        LoadEmergencies(panelId);
        if (keepEmergency)
            putBack(txtEmergency, emergencyText);
        // The text being typed keeps the stored text it started from.
        const TabText addlLoaded = addl >= 0 ? m_addlLoaded.value(addl) : TabText{};
        LoadAdditionalData(panelId);
        if (addl >= 0) {
            putBack(txtAdditional[addl], addlText);
            m_addlLoaded[addl] = addlLoaded;
        }
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error loading data.  Not all available data may be displayed"), kSource, e);
    }
}

void frmDataView::LoadReviewDefects(qint32 panelId, qint32 inspectionId, QTreeWidget* list)
{
    list->clear();
    const RowSet rs = DbGetPostedDefectQuantities(panelId, inspectionId);
    for (int i = 0; i < rs.count(); ++i) {
        auto* item = new QTreeWidgetItem(list);
        item->setData(0, Qt::UserRole, QStringLiteral("X") + rs.value(i, QStringLiteral("ID")).toString());
        item->setText(0, NullToEmpty(rs.value(i, QStringLiteral("Description"))).toString());
        item->setText(1, NullToEmpty(rs.value(i, QStringLiteral("Quantity"))).toString());
        item->setText(2, NullToEmpty(rs.value(i, QStringLiteral("Units"))).toString());
        item->setText(3, QStringLiteral("$") + NullToEmpty(rs.value(i, QStringLiteral("UnitCost"))).toString());
        item->setText(4, QStringLiteral("$") + MoneyText(rs.value(i, QStringLiteral("TotalCost")).toDouble()));
    }
}

QString frmDataView::FindSketchPath(qint32 panelId, qint32 elementId, qint32 inspectionId)
{
    return DbGetFieldSketchPath(panelId, elementId, inspectionId);
}

// ------------------------------------------------------------------ repair log and emergencies

namespace {
// Fills a dated list: the date as shown, the key and the date as item data.
void FillDatedList(QListWidget* list, const RowSet& rs, const QString& idColumn, const QString& dateColumn)
{
    for (int i = 0; i < rs.count(); ++i) {
        const QString stored = rs.value(i, dateColumn).toString();
        const QDate date = QDate::fromString(stored.left(10), Qt::ISODate);
        auto* item = new QListWidgetItem(date.isValid() ? ShortDateText(date) : stored, list);
        item->setData(kIdRole, rs.value(i, idColumn));
        item->setData(kDateRole, date);
    }
}

void AppendDatedItem(QListWidget* list, const QDate& date, qint32 id)
{
    auto* item = new QListWidgetItem(ShortDateText(date), list);
    item->setData(kIdRole, id);
    item->setData(kDateRole, date);
}

// Removes the chosen entry; no entry is chosen afterwards.
void RemoveChosen(QListWidget* list)
{
    const QSignalBlocker block(list);
    delete list->takeItem(list->currentRow());
    list->setCurrentRow(-1);
    list->clearSelection();
}
}  // namespace

void frmDataView::LoadRepairLogs(qint32 panelId)
{
    {
        const QSignalBlocker block(lstRepairDates);
        lstRepairDates->clear();
    }
    txtRepairLog->clear();
    const RowSet rs = DbGetRepairLogs(panelId);
    {
        const QSignalBlocker block(lstRepairDates);
        FillDatedList(lstRepairDates, rs, QStringLiteral("RepairID"), QStringLiteral("RepairDate"));
    }
    if (lstRepairDates->count() > 0)
        lstRepairDates->setCurrentRow(0);
}

void frmDataView::LoadEmergencies(qint32 panelId)
{
    {
        const QSignalBlocker block(lstEmergency);
        lstEmergency->clear();
    }
    txtEmergency->clear();
    const RowSet rs = DbGetEmergencies(panelId);
    {
        const QSignalBlocker block(lstEmergency);
        FillDatedList(lstEmergency, rs, QStringLiteral("EmergencyID"), QStringLiteral("EmergencyDate"));
    }
    if (lstEmergency->count() > 0)
        lstEmergency->setCurrentRow(0);
}

void frmDataView::SetRepairEditMode(bool editMode)
{
    dtp->setEnabled(editMode);
    txtRepairLog->setReadOnly(!editMode);
    cmdAdd->setVisible(!editMode);
    cmdDelete->setVisible(!editMode);
    cmdSave->setVisible(editMode);
    cmdCancel->setVisible(editMode);
}

void frmDataView::SetEmergencyEditMode(bool editMode)
{
    dtpEmergency->setEnabled(editMode);
    txtEmergency->setReadOnly(!editMode);
    cmdAddEmergency->setVisible(!editMode);
    cmdDeleteEmergency->setVisible(!editMode);
    cmdSaveEmergency->setVisible(editMode);
    cmdCancelEmergency->setVisible(editMode);
}

void frmDataView::lstRepairDates_Click()
{
    // By the entry's key: two entries of one date keep their own texts.
    try {
        QListWidgetItem* item = lstRepairDates->currentItem();
        if (item)
            txtRepairLog->setPlainText(DbGetRepairLogTextByID(item->data(kIdRole).toInt()));
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error loading repair log information."), kSource, e);
    }
}

void frmDataView::lstEmergency_Click()
{
    try {
        QListWidgetItem* item = lstEmergency->currentItem();
        if (item)
            txtEmergency->setPlainText(DbGetEmergencyText(item->data(kIdRole).toInt()));
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error loading emergency information."), kSource, e);
    }
}

void frmDataView::cmdAdd_Click()
{
    try {
        // An entry needs a panel that shows it.
        if (currentPanel() == 0) {
            MsgBox(kNoPanel, MsgButtons::Ok, MsgIcon::None, QStringLiteral("Add Repair Log"));
            return;
        }
        txtRepairLog->clear();
        txtRepairLog->document()->setModified(false);
        SetRepairEditMode(true);
        dtp->setDate(QDate::currentDate());
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error adding repair log"), kSource, e);
    }
}

void frmDataView::cmdSave_Click() { SaveRepairEntry(); }

bool frmDataView::SaveRepairEntry()
{
    try {
        const qint32 panel = currentPanel();
        if (panel == 0) {
            MsgBox(kNoPanel, MsgButtons::Ok, MsgIcon::None, QStringLiteral("Add Repair Log"));
            return false;
        }
        // Edit mode ends once the entry is stored: a failed save (another program holding
        // the database) leaves the typing to be saved again.
        const QDate date = dtp->date();
        // A panel removed meanwhile takes no entry: told, and the typing stays to be kept elsewhere.
        const qint32 id = DbAddRepairLog(panel, lblPanelID->text(), date, txtRepairLog->toPlainText());
        if (id == 0)
            return false;
        SetRepairEditMode(false);
        txtRepairLog->document()->setModified(false);
        AppendDatedItem(lstRepairDates, date, id);
        lstRepairDates->setCurrentRow(lstRepairDates->count() - 1);
        return true;
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error saving repair log."), kSource, e);
        return false;
    }
}

void frmDataView::cmdCancel_Click()
{
    try {
        SetRepairEditMode(false);
        if (QListWidgetItem* item = lstRepairDates->currentItem(); item && lstRepairDates->currentRow() >= 0)
            txtRepairLog->setPlainText(DbGetRepairLogTextByID(item->data(kIdRole).toInt()));
        else
            txtRepairLog->clear();
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Unexpected error"), kSource, e);
    }
}

void frmDataView::cmdDelete_Click()
{
    try {
        QListWidgetItem* item = lstRepairDates->currentRow() >= 0 ? lstRepairDates->currentItem() : nullptr;
        if (!item) {
            MsgBox(QStringLiteral("Please select a repair log item."), MsgButtons::Ok, MsgIcon::None,
                   QStringLiteral("Delete Repair Log"));
            return;
        }
        if (DbDeleteRepairLog(item->data(kIdRole).toInt(), itemDate(item))) {
            RemoveChosen(lstRepairDates);
            txtRepairLog->clear();
        }
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error deleting repair log"), kSource, e);
    }
}

void frmDataView::cmdAddEmergency_Click()
{
    try {
        if (currentPanel() == 0) {
            MsgBox(kNoPanel, MsgButtons::Ok, MsgIcon::None, QStringLiteral("Add Emergency Incident"));
            return;
        }
        txtEmergency->clear();
        txtEmergency->document()->setModified(false);
        SetEmergencyEditMode(true);
        dtpEmergency->setDate(QDate::currentDate());
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error adding emergency"), kSource, e);
    }
}

void frmDataView::cmdSaveEmergency_Click() { SaveEmergencyEntry(); }

bool frmDataView::SaveEmergencyEntry()
{
    try {
        const qint32 panel = currentPanel();
        if (panel == 0) {
            MsgBox(kNoPanel, MsgButtons::Ok, MsgIcon::None, QStringLiteral("Add Emergency Incident"));
            return false;
        }
        const QDate date = dtpEmergency->date();
        const qint32 id = DbAddEmergency(panel, lblPanelID->text(), date, txtEmergency->toPlainText());
        if (id == 0)
            return false;
        SetEmergencyEditMode(false);
        txtEmergency->document()->setModified(false);
        AppendDatedItem(lstEmergency, date, id);
        lstEmergency->setCurrentRow(lstEmergency->count() - 1);
        return true;
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error saving emergency incident."), kSource, e);
        return false;
    }
}

void frmDataView::cmdCancelEmergency_Click()
{
    try {
        SetEmergencyEditMode(false);
        if (QListWidgetItem* item = lstEmergency->currentItem(); item && lstEmergency->currentRow() >= 0)
            txtEmergency->setPlainText(DbGetEmergencyText(item->data(kIdRole).toInt()));
        else
            txtEmergency->clear();
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Unexpected error: Cancel Emergency"), kSource, e);
    }
}

void frmDataView::cmdDeleteEmergency_Click()
{
    try {
        QListWidgetItem* item = lstEmergency->currentRow() >= 0 ? lstEmergency->currentItem() : nullptr;
        if (!item) {
            MsgBox(QStringLiteral("Please select an emergency item."), MsgButtons::Ok, MsgIcon::None,
                   QStringLiteral("Delete Emergency Incident"));
            return;
        }
        if (DbDeleteEmergency(item->data(kIdRole).toInt(), itemDate(item))) {
            RemoveChosen(lstEmergency);
            txtEmergency->clear();
        }
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error deleting emergency incident"), kSource, e);
    }
}

// ------------------------------------------------------------------ custom data tabs

void frmDataView::LoadAdditionalTabs()
{
    const RowSet defs = DbGetTabDefinitions();
    // Each box keeps the tab it was made for, whatever another user renumbers meanwhile.
    m_tabIds.clear();
    m_tabCaptions.clear();
    for (int i = 0; i < defs.count(); ++i) {
        m_tabIds << defs.toInt(i, QStringLiteral("ID"));
        m_tabCaptions << NullToEmpty(defs.value(i, QStringLiteral("TabCaption"))).toString();
    }
    SSTab1->setTabVisible(6, defs.count() > 0);
    while (SSTab1->count() < 6 + defs.count()) {
        auto* page = new QWidget;
        page->setObjectName(QStringLiteral("SSTab1Page%1").arg(SSTab1->count()));
        SSTab1->addTab(page, QString());
    }
    for (int k = 6; k < 6 + defs.count(); ++k) {
        SSTab1->setTabText(k, ShownName(NullToEmpty(defs.value(k - 6, QStringLiteral("TabCaption"))).toString()));
        if (k > 6) {
            QPlainTextEdit* first = txtAdditional[0];
            auto* box = new QPlainTextEdit(fraData);
            box->setObjectName(first->objectName());
            box->setProperty("Index", k - 6);
            box->setReadOnly(true);
            box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
            box->setVisible(false);
            const QRectF r = Tw(first);
            place(box, r.left(), r.top(), r.width(), r.height());
            txtAdditional << box;
        }
    }
}

void frmDataView::LoadAdditionalData(qint32 panelId)
{
    m_addlLoaded.fill(TabText{}, txtAdditional.size());
    for (int i = 0; i < txtAdditional.size(); ++i)
        loadAddlText(i, panelId);
}

void frmDataView::loadAddlText(int k, qint32 panelId)
{
    if (m_addlLoaded.size() < txtAdditional.size())
        m_addlLoaded.resize(txtAdditional.size());
    m_addlLoaded[k] = k < m_tabIds.size() ? DbGetTabText(m_tabIds[k], panelId) : TabText{};
    txtAdditional[k]->setPlainText(m_addlLoaded[k].text());
    // A save compares with the box as filled, which may hold the stored text altered.
    m_addlShown.filled(QString::number(k), m_addlLoaded[k].value, txtAdditional[k]->toPlainText());
}

void frmDataView::ArrangeDataTabs()
{
    setTop(SSTab1, Tw(picContainer).top() + Tw(picContainer).height() + 100);
    setHeight(SSTab1, Tw(fraData).height() - Tw(SSTab1).top() - 500);
    setHeight(txtComments[0], Tw(SSTab1).height() - 600);
    const double h = Tw(txtComments[0]).height();
    for (QWidget* w : std::initializer_list<QWidget*>{txtComments[1], lvDefectQty, lvDefectQty2, lstRepairDates,
                                                       txtRepairLog, lstEmergency, txtEmergency})
        setHeight(w, h);
    for (QPlainTextEdit* t : std::as_const(txtAdditional)) {
        setHeight(t, h - 480);
        setTop(t, Tw(SSTab1).top() + Tw(txtComments[0]).top());
    }
    const double buttonsTop = Tw(txtAdditional[0]).top() + Tw(txtAdditional[0]).height() + 80;
    for (QPushButton* b : {cmdEditAddl, cmdSaveAddl, cmdCancelAddl})
        setTop(b, buttonsTop);
}

void frmDataView::SSTab1_Click(int previousTab)
{
    if (previousTab >= 6 && previousTab - 6 < txtAdditional.size()) {
        txtAdditional[previousTab - 6]->setVisible(false);
        cmdEditAddl->setVisible(false);
        cmdSaveAddl->setVisible(false);
        cmdCancelAddl->setVisible(false);
    }
    const int current = SSTab1->currentIndex();
    if (current >= 6 && current - 6 < txtAdditional.size()) {
        txtAdditional[current - 6]->setVisible(true);
        txtAdditional[current - 6]->raise();
        cmdEditAddl->setVisible(true);
        cmdEditAddl->raise();
    }
}

void frmDataView::cmdEditAddl_Click()
{
    try {
        const int current = SSTab1->currentIndex();
        if (current < 6 || current - 6 >= txtAdditional.size())
            return;
        // A text belongs to a panel: none is current before a panel is shown.
        if (currentPanel() == 0) {
            MsgBox(kNoPanel);
            return;
        }
        cmdEditAddl->setVisible(false);
        cmdSaveAddl->setVisible(true);
        cmdCancelAddl->setVisible(true);
        cmdSaveAddl->raise();
        cmdCancelAddl->raise();
        QPlainTextEdit* box = txtAdditional[current - 6];
        box->document()->setModified(false);
        box->setReadOnly(false);
        for (int i = 0; i < SSTab1->count(); ++i)
            SSTab1->setTabEnabled(i, i == current);
        box->setFocus();
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error editing data"), kSource, e);
    }
}

void frmDataView::leaveAddlEditMode()
{
    cmdEditAddl->setVisible(true);
    cmdSaveAddl->setVisible(false);
    cmdCancelAddl->setVisible(false);
    const int current = SSTab1->currentIndex();
    if (current >= 6 && current - 6 < txtAdditional.size())
        txtAdditional[current - 6]->setReadOnly(true);
    for (int i = 0; i < SSTab1->count(); ++i)
        SSTab1->setTabEnabled(i, true);
}

void frmDataView::cmdSaveAddl_Click() { SaveAddlText(); }

bool frmDataView::SaveAddlText()
{
    try {
        const int current = SSTab1->currentIndex();
        if (current < 6 || current - 6 >= txtAdditional.size()) {
            leaveAddlEditMode();
            return false;
        }
        const qint32 panel = currentPanel();
        if (panel == 0) {
            leaveAddlEditMode();
            MsgBox(kNoPanel);
            return false;
        }
        // Stays in edit mode until the text is stored, so a failed save keeps it to save again;
        // so do a save the user cancels and one into a tab or panel another user removed.
        const int k = current - 6;
        if (k >= m_tabIds.size())
            return false;
        const QString text = txtAdditional[k]->toPlainText();
        if (!m_addlShown.changed(QString::number(k), text)) {
            leaveAddlEditMode();
            txtAdditional[k]->document()->setModified(false);
            return true;
        }
        const SaveOutcome out = DbSaveTabText(m_tabIds[k], m_tabCaptions[k], panel, lblPanelID->text(),
                                              m_addlLoaded.value(k), text);
        if (!out.saved())
            return false;
        leaveAddlEditMode();
        txtAdditional[k]->document()->setModified(false);
        if (out.showStored())
            loadAddlText(k, panel);
        else if (m_addlLoaded[k].stored || !text.isEmpty()) {
            m_addlLoaded[k] = TabText{true, text};
            m_addlShown.filled(QString::number(k), text, text);
        }
        return true;
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error saving data"), kSource, e);
        return false;
    }
}

bool frmDataView::repairTyped() const
{
    return !txtRepairLog->isReadOnly() && txtRepairLog->document()->isModified();
}

bool frmDataView::emergencyTyped() const
{
    return !txtEmergency->isReadOnly() && txtEmergency->document()->isModified();
}

int frmDataView::addlTyped() const
{
    const int k = SSTab1->currentIndex() - 6;
    if (k < 0 || k >= txtAdditional.size())
        return -1;
    const QPlainTextEdit* box = txtAdditional[k];
    return !box->isReadOnly() && box->document()->isModified() ? k : -1;
}

bool frmDataView::SettleTyping()
{
    const QString panel = lblPanelID->text();
    auto ask = [&panel](const QString& what, const QString& title) {
        return MsgBox(what + QStringLiteral(" you typed for panel ") + panel
                          + QStringLiteral(" has not been saved.\r\nSave it now?"),
                      MsgButtons::YesNoCancel, MsgIcon::Question, title);
    };
    // Yes saves, No drops; anything else (Cancel, the box closed) keeps the typing.
    if (repairTyped()) {
        const MsgAnswer a = ask(QStringLiteral("The repair log entry"), QStringLiteral("Repair Log"));
        if (a == MsgAnswer::Yes) {
            if (!SaveRepairEntry())
                return false;
        } else if (a == MsgAnswer::No) {
            cmdCancel_Click();
        } else {
            return false;
        }
    }
    if (emergencyTyped()) {
        const MsgAnswer a = ask(QStringLiteral("The emergency incident"), QStringLiteral("Emergency Incidents"));
        if (a == MsgAnswer::Yes) {
            if (!SaveEmergencyEntry())
                return false;
        } else if (a == MsgAnswer::No) {
            cmdCancelEmergency_Click();
        } else {
            return false;
        }
    }
    if (const int k = addlTyped(); k >= 0) {
        const QString caption = SSTab1->tabText(k + 6).replace(QStringLiteral("&&"), QStringLiteral("&"));
        const MsgAnswer a = ask(QStringLiteral("The \"") + caption + QStringLiteral("\" text"), caption);
        if (a == MsgAnswer::Yes) {
            if (!SaveAddlText())
                return false;
        } else if (a == MsgAnswer::No) {
            cmdCancelAddl_Click();
        } else {
            return false;
        }
    }
    return true;
}

void frmDataView::cmdCancelAddl_Click()
{
    try {
        const int current = SSTab1->currentIndex();
        leaveAddlEditMode();
        if (current < 6 || current - 6 >= txtAdditional.size())
            return;
        loadAddlText(current - 6, currentPanel());
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error adding new data"), kSource, e);
    }
}

// ------------------------------------------------------------------ media, printing, report

void frmDataView::cmdPhoto_Click(int index, bool second)
{
    try {
        const qint32 panel = currentPanel();
        const qint32 element = tagValue(lblElement.value(index, lblElement[0]));
        const qint32 period = second ? m_inspectionId2 : m_inspectionId1;
        QStringList photos;
        DbGetImagePaths(panel, period, element, photos);
        if (photos.isEmpty())
            throw KrvError(9, QStringLiteral("The element has no photo."));
        if (photos.size() == 1) {
            // A new viewer for each click.
            OpenedForm viewer(QStringLiteral("frmImages"), false);
            CallFormMethod(viewer.get(), "LoadForm", {0, false, panel, element, period});
            viewer.done();
        } else {
            OpenedForm thumbnails(QStringLiteral("frmMultImg"), true);
            CallFormMethod(thumbnails.get(), "LoadForm", {panel, element, period, false});
            thumbnails.done();
        }
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error loading photographs"), kSource, e);
    }
}

void frmDataView::cmdSketch_Click(int index, bool second)
{
    const qint32 period = second ? m_inspectionId2 : m_inspectionId1;
    if (IniIsDataCollector()) {
        // The sketch opens for editing in the desktop's program; nothing here is reported
        // but a missing file.
        try {
            const qint32 year = DbGetInspectionYear(period);
            const qint32 tunnel = DbGetInspectionTunnelID(period, year);
            const QString folder = GetSketchFolder(tunnel, period);
            const qint32 panel = currentPanel();
            const qint32 element = tagValue(lblElement.value(index, lblElement[0]));
            const QString fileName = FindSketchPath(panel, element, period);
            const QString path = folder + fileName;
            if (fileName.isEmpty() || !IsRegularFile(path)) {
                MsgBox(QStringLiteral("The field sketch you requested: \r\n") + QDir::toNativeSeparators(path) +
                           QStringLiteral("\r\ncould not be found."),
                       MsgButtons::Ok, MsgIcon::Critical);
                return;
            }
            Prompt().launch(QUrl::fromLocalFile(path));
        } catch (const std::exception&) {
        }
        return;
    }
    QPointer<QWidget> viewer;
    try {
        const qint32 panel = currentPanel();
        const qint32 element = tagValue(lblElement.value(index, lblElement[0]));
        viewer = CreateForm(QStringLiteral("frmImages"));
        if (!viewer)
            throw FormNotInProgram(QStringLiteral("frmImages"));
        CallFormMethod(viewer, "LoadForm", {0, true, panel, element, period});
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error loading field sketch box."), kSource, e);
        if (viewer)
            UnloadForm(viewer);
    }
}

void frmDataView::cmdVideo_Click(int index, bool second)
{
    try {
        const qint32 panel = currentPanel();
        const qint32 element = tagValue(lblElement.value(index, lblElement[0]));
        OpenedForm player(QStringLiteral("frmVideoView"), true);
        CallFormMethod(player.get(), "LoadForm", {panel, element, second ? m_inspectionId2 : m_inspectionId1});
        player.done();
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error loading video"), kSource, e);
    }
}

void frmDataView::cmdPrint_Click()
{
    try {
        OpenedForm keyplan(QStringLiteral("frmPrintKeyplan"), true);
        CallFormMethod(keyplan.get(), "LoadForm",
                   {m_tunnelId, m_inspectionId1, m_inspectionId2, QVariant::fromValue(static_cast<QObject*>(this))});
        keyplan.done();
        ShowFormModal(keyplan.get());
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error printing Keyplan."), kSource, e);
        if (IsFormLoaded(QStringLiteral("frmPrintKeyplan")))
            UnloadFormByName(QStringLiteral("frmPrintKeyplan"));
    }
}

void frmDataView::cmdDefectRpt_Click()
{
    try {
        OpenedForm report(QStringLiteral("frmReport"), true);
        CallFormMethod(report.get(), "GetFormType", {QStringLiteral("Defect")});
        report.done();
        ShowFormModal(report.get());
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error loading Defect Quantity Report"), kSource, e);
    }
}

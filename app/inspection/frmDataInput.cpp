#include "frmDataInput.h"

#include "clicklabel.h"
#include "db.h"
#include "dbdatainput.h"
#include "dbdefects.h"
#include "dbinspection.h"
#include "dbmedia.h"
#include "dbposting.h"
#include "dbsystem.h"
#include "frmAbout.h"
#include "frmDataInputCalls.h"
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

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QFrame>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QScrollBar>
#include <QSet>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include <cmath>

namespace {

const QString kSource = QStringLiteral("frmDataInput");

// Design sizes, twips.
constexpr int kDesignWidth = 12600;
constexpr int kDesignHeight = 10500;
constexpr int kMapLeft = 60;
constexpr int kMapTop = 60;
constexpr int kFraDataHeight = 5900;
constexpr int kPicTop = 700;
constexpr int kRowHeight = 315;
constexpr int kRowTop = 420;
constexpr int kColumnWidth = 6610;
constexpr int kScrollWidth = 255;
constexpr int kTabHeader = 360;  // the tab row of SSTab1; its pages start below it

// Left of each control of row 0, twips, and its size.
struct RowPart {
    int left;
    int width;
    int height;
};
constexpr RowPart kElement{175, 1695, 225};
constexpr RowPart kSketch{2250, 225, 225};
constexpr RowPart kPhoto{2520, 225, 225};
constexpr RowPart kVideo{2790, 225, 225};
constexpr RowPart kRate1{3045, 360, 225};
constexpr RowPart kRate2{3540, 435, 285};
constexpr RowPart kInputSketch{4060, 225, 225};
constexpr RowPart kInputPhoto{4330, 225, 225};
constexpr RowPart kInputVideo{4600, 225, 225};

const QString kImgInput = QStringLiteral("frmImgInput");
const QString kImages = QStringLiteral("frmImages");
const QString kMultImg = QStringLiteral("frmMultImg");
const QString kVideoForm = QStringLiteral("frmVideo");
const QString kVideoView = QStringLiteral("frmVideoView");
const QString kKeyplan = QStringLiteral("frmPrintKeyplan");

int tw(int pixels) { return int(PixelsToTwips(pixels)); }

// The fields a save compares, as ShownFields names them.
const QString kCurrentComment = QStringLiteral("comment");
const QString kPreviousComment = QStringLiteral("previous comment");
QString ratingField(int row) { return QStringLiteral("rating %1").arg(row); }

// The small glyph of a media button: a letter in the button's colour.
QToolButton* mediaButton(QWidget* parent, const char* name, const QString& tip, const QString& glyph,
                         const QColor& colour)
{
    auto* b = new QToolButton(parent);
    b->setObjectName(QLatin1String(name));
    b->setToolTip(tip);
    b->setText(glyph);
    b->setFocusPolicy(Qt::NoFocus);
    QFont f = b->font();
    f.setPixelSize(10);
    f.setBold(true);
    b->setFont(f);
    // Coloured only while enabled, so an unavailable button looks it.
    QPalette pal = b->palette();
    pal.setColor(QPalette::Active, QPalette::ButtonText, colour);
    pal.setColor(QPalette::Inactive, QPalette::ButtonText, colour);
    b->setPalette(pal);
    return b;
}

}  // namespace

// ====================================================================== window

frmDataInput::frmDataInput(QWidget* parent) : KrvForm<QWidget>(QStringLiteral("frmDataInput"), parent)
{
    setWindowFlag(Qt::Window);
    setWindowTitle(QStringLiteral("Data Input"));
    buildControls();
    resize(TwipsToPixels(kDesignWidth), TwipsToPixels(kDesignHeight));
    Form_Load();
}

frmDataInput::~frmDataInput() = default;

void frmDataInput::buildControls()
{
    ZVMap1 = new ZVMap(this);
    ZVMap1->setObjectName(QStringLiteral("ZVMap1"));
    ZVMap1->setBorderStyle(1);
    PlaceTwips(ZVMap1, kMapLeft, kMapTop, kDesignWidth - kMapLeft, 3000);
    connect(ZVMap1, &ZVMap::PolyHit, this, [this](qint32 id, qint16) { ZVMap1_PolyHit(id); });
    connect(ZVMap1, &ZVMap::PolyMouseOver, this,
            [this](qint32 id, QString& tip) { ZVMap1_PolyMouseOver(id, tip); }, Qt::DirectConnection);
    connect(ZVMap1, &ZVMap::Click, this, [this] { ZVMap1_Click(); });

    fraData = new QFrame(this);
    fraData->setObjectName(QStringLiteral("fraData"));
    PlaceTwips(fraData, kMapLeft, kDesignHeight - kFraDataHeight, kDesignWidth - kMapLeft - 100, kFraDataHeight);

    lblName = new QLabel(fraData);
    lblName->setObjectName(QStringLiteral("lblName"));
    QFont bold = lblName->font();
    bold.setBold(true);
    lblName->setFont(bold);
    PlaceTwips(lblName, 120, 40, 4800, 285);

    TabStrip1 = new QTabBar(fraData);
    TabStrip1->setObjectName(QStringLiteral("TabStrip1"));
    TabStrip1->setFocusPolicy(Qt::NoFocus);
    TabStrip1->setExpanding(false);
    TabStrip1->setDrawBase(false);
    TabStrip1->installEventFilter(this);
    PlaceTwips(TabStrip1, 60, 340, 6000, 360);

    picContainer = new QWidget(fraData);
    picContainer->setObjectName(QStringLiteral("picContainer"));
    picContainer->setAutoFillBackground(true);
    picContainer->setFocusPolicy(Qt::ClickFocus);
    PlaceTwips(picContainer, 0, kPicTop, 6000, 1475);

    fraRatings = new QWidget(picContainer);
    fraRatings->setObjectName(QStringLiteral("fraRatings"));
    PlaceTwips(fraRatings, 0, 0, 6000, 1475);

    VScroll1 = new QScrollBar(Qt::Vertical, fraData);
    VScroll1->setObjectName(QStringLiteral("VScroll1"));
    VScroll1->setSingleStep(kRowHeight);
    VScroll1->installEventFilter(this);
    VScroll1->hide();
    PlaceTwips(VScroll1, 6000, kPicTop, kScrollWidth, 1475);
    connect(VScroll1, &QScrollBar::valueChanged, this, [this](int v) { VScroll1_Change(v); });

    lblNoData = new QLabel(QStringLiteral("No Elements Available for panel:"), fraData);
    lblNoData->setObjectName(QStringLiteral("lblNoData"));
    PlaceTwips(lblNoData, 240, kPicTop + 120, 2900, 285);
    lblNoData->hide();
    lblPanel = new QLabel(fraData);
    lblPanel->setObjectName(QStringLiteral("lblPanel"));
    lblPanel->setFont(bold);
    PlaceTwips(lblPanel, 3180, kPicTop + 120, 3000, 285);
    lblPanel->hide();

    // Column headers and the lines between the previous and the current rating.
    for (int c = 0; c < 2; ++c) {
        lblYear1[c] = new QLabel(fraRatings);
        lblYear1[c]->setObjectName(QStringLiteral("lblYear1"));
        lblYear1[c]->setProperty("Index", c);
        PlaceTwips(lblYear1[c], kRate1.left + c * kColumnWidth - 60, 120, 480, 225);
        lblYear1[c]->hide();
        lblYear2[c] = new QLabel(fraRatings);
        lblYear2[c]->setObjectName(QStringLiteral("lblYear2"));
        lblYear2[c]->setProperty("Index", c);
        PlaceTwips(lblYear2[c], kRate2.left + c * kColumnWidth, 120, 480, 225);
    }
    Line1 = new QFrame(fraRatings);
    Line1->setObjectName(QStringLiteral("Line1"));
    Line1->setFrameShape(QFrame::VLine);
    Line1->setFrameShadow(QFrame::Sunken);
    Line2 = new QFrame(fraRatings);
    Line2->setObjectName(QStringLiteral("Line2"));
    Line2->setFrameShape(QFrame::VLine);
    Line2->setFrameShadow(QFrame::Sunken);
    PlaceTwips(Line1, 3440, 120, 60, 1000);
    PlaceTwips(Line2, 3440 + kColumnWidth, 120, 60, 1000);

    createRow(0);
    cmdSketch[0]->hide();
    cmdPhoto[0]->hide();
    cmdVideo[0]->hide();

    SSTab1 = new QTabWidget(fraData);
    SSTab1->setObjectName(QStringLiteral("SSTab1"));
    PlaceTwips(SSTab1, 0, kPicTop + 1475 + 100, 6000, kFraDataHeight - (kPicTop + 1475 + 100) - 650);
    QWidget* pages[4];
    for (int t = 0; t < 4; ++t) {
        pages[t] = new QWidget;
        pages[t]->setObjectName(QStringLiteral("SSTab1Page%1").arg(t));
        SSTab1->addTab(pages[t], QString());
    }
    SSTab1->setTabText(0, QStringLiteral("Comments"));
    SSTab1->setTabText(1, QStringLiteral("Defect Quantity"));
    SSTab1->setTabText(2, QStringLiteral("Comments"));
    SSTab1->setTabText(3, QStringLiteral("Defect Quantity"));
    for (int k = 0; k < 2; ++k) {
        txt1[k] = new QPlainTextEdit(pages[k == 0 ? 0 : 2]);
        txt1[k]->setObjectName(QStringLiteral("txt1"));
        txt1[k]->setProperty("Index", k);
        txt1[k]->setReadOnly(true);
        txt1[k]->setTabChangesFocus(true);
        txt1[k]->viewport()->installEventFilter(this);
        PlaceTwips(txt1[k], 100, 60, 5780, 1700);
    }
    auto makeList = [](QWidget* page, const char* name) {
        auto* lv = new QTreeWidget(page);
        lv->setObjectName(QLatin1String(name));
        lv->setRootIsDecorated(false);
        lv->setUniformRowHeights(true);
        lv->setSelectionMode(QAbstractItemView::SingleSelection);
        lv->setHeaderLabels({QStringLiteral("Defect Description"), QStringLiteral("Quantity"), QStringLiteral("Unit"),
                             QStringLiteral("Unit Cost"), QStringLiteral("Total Cost")});
        lv->setColumnWidth(0, TwipsToPixels(2400));
        for (int c = 1; c < 5; ++c)
            lv->setColumnWidth(c, TwipsToPixels(1100));
        return lv;
    };
    lvDefectQty2 = makeList(pages[1], "lvDefectQty2");
    PlaceTwips(lvDefectQty2, 100, 60, 5780, 1700);
    lvDefectQty = makeList(pages[3], "lvDefectQty");
    PlaceTwips(lvDefectQty, 3840, 60, 2040, 1700);
    buildDefectTab(pages[3]);

    auto button = [this](const char* name, const QString& caption, const QString& tip, int left) {
        auto* b = new QPushButton(caption, fraData);
        b->setObjectName(QLatin1String(name));
        b->setToolTip(tip);
        PlaceTwips(b, left, kFraDataHeight - 520, 900, 400);
        return b;
    };
    cmdEdit = button("cmdEdit", QStringLiteral("&Edit"), QStringLiteral("Edit Data "), 120);
    cmdSave = button("cmdSave", QStringLiteral("&Save"), QStringLiteral("Save Data"), 1080);
    cmdCancel = button("cmdCancel", QStringLiteral("&Cancel"), QStringLiteral("Canel Changes"), 2040);
    cmdPrint = button("cmdPrint", QStringLiteral("&Print..."), QStringLiteral("Print Information"), 3000);
    cmdClose = button("cmdClose", QStringLiteral("Cl&ose"), QStringLiteral("Close"), 5000);
    cmdSave->setEnabled(false);
    cmdCancel->setEnabled(false);
    cmdEdit->setEnabled(false);
    cmdPrint->setEnabled(false);
    connect(cmdEdit, &QPushButton::clicked, this, [this] { cmdEdit_Click(); });
    connect(cmdSave, &QPushButton::clicked, this, [this] { cmdSave_Click(); });
    connect(cmdCancel, &QPushButton::clicked, this, [this] { cmdCancel_Click(); });
    connect(cmdPrint, &QPushButton::clicked, this, [this] { cmdPrint_Click(); });
    connect(cmdClose, &QPushButton::clicked, this, [this] { cmdClose_Click(); });

    Image1 = new ClickLabel(QString(), fraData);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setPixmap(ProgramLogo(TwipsToPixels(420)));
    PlaceTwips(Image1, 4020, kFraDataHeight - 530, 420, 420);
    Label1 = new ClickLabel(QStringLiteral("Quorrel"), fraData);
    Label1->setObjectName(QStringLiteral("Label1"));
    QFont brand = Label1->font();
    brand.setBold(true);
    brand.setItalic(true);
    brand.setPointSizeF(brand.pointSizeF() * 1.3);
    Label1->setFont(brand);
    PlaceTwips(Label1, 4500, kFraDataHeight - 520, 1300, 400);
    connect(Image1, &ClickLabel::clicked, this, [this] { showAbout(); });
    connect(Label1, &ClickLabel::clicked, this, [this] { showAbout(); });
    cmdClose->raise();
}

void frmDataInput::buildDefectTab(QWidget* page)
{
    // The editor sits left of the list; tops are below the tab row.
    auto label = [page](const QString& text, int top) {
        auto* l = new QLabel(text, page);
        PlaceTwips(l, 240, top - kTabHeader, 950, 285);
        return l;
    };
    QLabel* const captions[] = {label(QStringLiteral("Description"), 480), label(QStringLiteral("Quantity"), 960),
                                label(QStringLiteral("Units"), 1320), label(QStringLiteral("Unit Cost"), 1680),
                                label(QStringLiteral("Total Cost"), 2040)};

    txtDefectDesc = new QLineEdit(page);
    txtDefectDesc->setObjectName(QStringLiteral("txtDefectDesc"));
    PlaceTwips(txtDefectDesc, 1200, 480 - kTabHeader, 2415, 405);
    txtQty = new QLineEdit(page);
    txtQty->setObjectName(QStringLiteral("txtQty"));
    PlaceTwips(txtQty, 1200, 960 - kTabHeader, 1335, 285);
    cboUnits = new QComboBox(page);
    cboUnits->setObjectName(QStringLiteral("cboUnits"));
    cboUnits->setEditable(true);
    cboUnits->setInsertPolicy(QComboBox::NoInsert);
    cboUnits->lineEdit()->setMaxLength(15);
    cboUnits->lineEdit()->installEventFilter(this);
    PlaceTwips(cboUnits, 1200, 1320 - kTabHeader, 1335, 315);
    txtUnitCost = new QLineEdit(page);
    txtUnitCost->setObjectName(QStringLiteral("txtUnitCost"));
    PlaceTwips(txtUnitCost, 1200, 1680 - kTabHeader, 1335, 285);
    txtTotalCost = new QLineEdit(page);
    txtTotalCost->setObjectName(QStringLiteral("txtTotalCost"));
    txtTotalCost->setReadOnly(true);
    txtTotalCost->setFocusPolicy(Qt::NoFocus);
    QPalette pal = txtTotalCost->palette();
    pal.setColor(QPalette::Base, BgrToColor(0x00E0E0E0));
    txtTotalCost->setPalette(pal);
    PlaceTwips(txtTotalCost, 1200, 2040 - kTabHeader, 1335, 285);
    txtQty->installEventFilter(this);
    txtUnitCost->installEventFilter(this);
    // A pasted amount is read whole, or refused with the beep a bad typed key gets.
    ReadEnteredAmounts(txtQty, [] { QApplication::beep(); });
    ReadEnteredAmounts(txtUnitCost, [] { QApplication::beep(); });

    auto button = [page](const char* name, const QString& caption, int top) {
        auto* b = new QPushButton(caption, page);
        b->setObjectName(QLatin1String(name));
        PlaceTwips(b, 2640, top - kTabHeader, 1000, 375);
        return b;
    };
    cmdAddDefect = button("cmdAddDefect", QStringLiteral("Add"), 960);
    cmdEditDefect = button("cmdEditDefect", QStringLiteral("Update"), 1440);
    cmdDeleteDefect = button("cmdDeleteDefect", QStringLiteral("Delete"), 1920);
    // The captions take the width their text needs in the desktop's face.
    FitLabelColumn({{captions[0], txtDefectDesc},
                    {captions[1], txtQty},
                    {captions[2], cboUnits},
                    {captions[3], txtUnitCost},
                    {captions[4], txtTotalCost}});

    connect(txtQty, &QLineEdit::textChanged, this, [this] { costChanged(); });
    connect(txtUnitCost, &QLineEdit::textChanged, this, [this] { costChanged(); });
    connect(txtDefectDesc, &QLineEdit::textChanged, this, [this] { UpdateAddDefectButton(); });
    connect(cboUnits, &QComboBox::editTextChanged, this, [this] { UpdateAddDefectButton(); });
    connect(cboUnits, &QComboBox::activated, this, [this] { UpdateAddDefectButton(); });
    connect(lvDefectQty, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item) { lvDefectQty_ItemClick(item); });
    connect(cmdAddDefect, &QPushButton::clicked, this, [this] { cmdAddDefect_Click(); });
    connect(cmdEditDefect, &QPushButton::clicked, this, [this] { cmdEditDefect_Click(); });
    connect(cmdDeleteDefect, &QPushButton::clicked, this, [this] { cmdDeleteDefect_Click(); });
    SetEditControls(false);
}

void frmDataInput::Form_Load()
{
    try {
        RestoreFormPosition(this);
        UnloadChildForms();
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error loading Data Input form."), kSource, e);
    }
}

void frmDataInput::FormUnload()
{
    // An edit in progress was settled before (SettleEditBeforeClose).
    SaveFormPosition(this);
    UnloadChildForms();
}

bool frmDataInput::Editing() const { return m_editing; }

bool frmDataInput::EditChanged() const
{
    return m_editing && (ratingsChanged() || commentsChanged() || m_defectsTouched || DefectTyped());
}

bool frmDataInput::ratingsChanged() const
{
    for (int i = 0; i < m_rowCount && i < txtRate1.size(); ++i)
        if (m_shown.changed(ratingField(i), txtRate1[i]->text()))
            return true;
    return false;
}

bool frmDataInput::commentsChanged() const
{
    return currentCommentChanged() || previousCommentChanged();
}

bool frmDataInput::currentCommentChanged() const
{
    return m_shown.changed(kCurrentComment, txt1[1]->toPlainText());
}

bool frmDataInput::previousCommentChanged() const
{
    // The earlier period's comment counts as the save writes it: only while it is shown.
    return m_previousYear != 0 && m_viewPrevious && m_previousInspectionId != 0
           && m_shown.changed(kPreviousComment, txt1[0]->toPlainText());
}

bool frmDataInput::DefectTyped() const { return m_editing && defectFields() != m_defectFieldsSettled; }

// What the closing question names: only the kinds of data that are actually pending.
QString frmDataInput::PendingEditText() const
{
    QStringList parts;
    if (ratingsChanged())
        parts << QStringLiteral("ratings");
    if (commentsChanged())
        parts << QStringLiteral("comments");
    if (m_defectsTouched || DefectTyped())
        parts << QStringLiteral("defects");
    if (parts.isEmpty())
        parts << QStringLiteral("changes");
    QString list = parts.first();
    for (int k = 1; k < parts.size(); ++k)
        list += (k == parts.size() - 1 ? QStringLiteral(" and ") : QStringLiteral(", ")) + parts[k];
    return list + QStringLiteral(" entered for panel ") + m_panelName;
}

// ====================================================================== opening

void frmDataInput::resetForLoad()
{
    // A second LoadForm (the main window does not unload first) starts from a clean window:
    // no outlines, units, defects or rows of the tunnel shown before.
    UnloadChildForms();
    ZVMap1->Clear();
    m_editing = false;
    setRatingsLocked(true);
    txt1[0]->setReadOnly(true);
    txt1[1]->setReadOnly(true);
    txt1[0]->clear();
    txt1[1]->clear();
    cmdSave->setEnabled(false);
    cmdCancel->setEnabled(false);
    cmdClose->setEnabled(true);
    ZVMap1->setEnabled(true);
    SetEditControls(false);
    while (TabStrip1->count() > 0)
        TabStrip1->removeTab(0);
    destroyExtraRows();
    lblElement[0]->hide();
    lvDefectQty->clear();
    lvDefectQty2->clear();
    ClearDefectFields();
    cboUnits->clear();
    m_panelId = 0;
    m_panelName.clear();
    m_rowCount = 0;
    m_lastCategoryId = 0;
    m_tabSwitchAllowed = false;
    m_savingOnTabSwitch = false;
}

void frmDataInput::LoadForm(qint16 year, qint32 tunnelId)
{
    // Another tunnel or year replaces what is on screen: an edit in progress is settled first.
    if (!SettleEdit()) {
        raise();
        activateWindow();
        return;
    }
    try {
        resetForLoad();
        SSTab1->setCurrentIndex(0);
        m_year = year;
        m_tunnelId = tunnelId;
        SetFormTunnel(this, tunnelId);
        m_inspectionId = DbGetInspectionID(tunnelId, year);
        m_previousYear = DbGetPreviousInspectionYear(tunnelId, year).value_or(0);
        m_previousInspectionId = m_previousYear != 0 ? DbGetInspectionID(tunnelId, m_previousYear) : 0;

        LoadTunnelPicture();
        LoadUnits();
        m_tunnelName.clear();
        ShowTunnelInTitle(this, QStringLiteral("Data Input - "), tunnelId, m_tunnelName);

        if (!gPictureFound) {
            // A hidden window would keep the program running; the next LoadForm makes a new one.
            gPictureFound = true;
            Unload();
            return;
        }
        if (DbGetPanels(tunnelId).isEmpty()) {
            MsgBox(QStringLiteral("You must first add at least 1 panel\nbefore you can input data."), MsgButtons::Ok,
                   MsgIcon::Warning, QStringLiteral("Add Panel"));
            Unload();
            return;
        }
        DrawPanels();
        setRatingsLocked(true);
        show();
        raise();
        activateWindow();
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error loading the Data Input screen"), kSource, e);
    }
}

void frmDataInput::LoadTunnelPicture()
{
    try {
        gPictureFound = true;
        // The previous tunnel's picture never stays behind.
        ZVMap1->ClearImage();
        const QString picture = DbGetTunnelPicture(m_tunnelId);
        const QString path = GetTunnelFolder(m_tunnelId) + picture;
        bool found;
        if (picture.isEmpty()) {
            found = !RegularFileNames(path, {}).isEmpty();
        } else {
            // A file that is no picture counts as a missing one, as the map reads it.
            QImageReader reader(path);
            reader.setDecideFormatFromContent(true);
            found = IsRegularFile(path) && reader.canRead();
        }
        if (!found) {
            MsgBox(QStringLiteral("Image not found: ") + path, MsgButtons::Ok, MsgIcon::Warning,
                   QStringLiteral("Image not found"));
            gPictureFound = false;
        } else if (!picture.isEmpty()) {
            ZVMap1->setImage(path);
            ZVMap1->setForeColor(quint32(DbGetTunnelForeground(m_tunnelId)));
        }
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error loading image."), kSource, e);
    }
}

void frmDataInput::DrawPanels()
{
    try {
        // Three reads for the whole map: the panels in their order, every outline point and
        // every panel's lowest rating.
        const RowSet panels = DbGetPanels(m_tunnelId);
        const RowSet coords = DbGetTunnelPanelCoords(m_tunnelId);
        const QHash<qint32, PanelLowest> lowest = DbGetLowestRatings(m_inspectionId);
        const qint32 first =
            DrawPanelOutlines(ZVMap1, panels, coords, lowest, [this](qint32 id) { ShadePanel(id, false); });
        ZVMap1->setPVisible(true);

        m_panelId = first;
        if (first == 0) {
            // No outlined panel: nothing to rate yet, and nothing to report.
            picContainer->hide();
            VScroll1->hide();
            lblNoData->hide();
            lblPanel->hide();
            lblName->clear();
            lblName->setProperty("Tag", QStringLiteral("0"));
            cmdEdit->setEnabled(false);
            cmdPrint->setEnabled(false);
            return;
        }
        LoadCategoryTabs(m_panelId);
        LoadPanelData(m_panelId);
        ZVMap1->HighlightInvisPoly(m_panelId);
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error loading panels."), kSource, e);
    }
}

qint16 frmDataInput::ShadeLevel(int lowestRating, int warning, int critical)
{
    return PanelShadeLevel(lowestRating, warning, critical);
}

void frmDataInput::ShadePanel(qint32 panelId, bool shadeAll)
{
    int lowest = 9;
    const RowSet elements = DbGetPanelElements(panelId);
    for (int i = 0; i < elements.count(); ++i) {
        const QString rating =
            DbGetRating(m_inspectionId, panelId, elements.toInt(i, QStringLiteral("ElementID")));
        if (rating.isEmpty())
            continue;
        const int value = int(RoundHalfEven(Val(rating)));
        if (value < lowest)
            lowest = value;
    }
    const qint16 level = ShadeLevel(lowest, gWarningHighlight, gCriticalHighlight);
    if (level > 0 || shadeAll)
        ZVMap1->ShadePoly(panelId, level);
}

void frmDataInput::ZVMap1_PolyHit(qint32 id)
{
    try {
        UnloadChildForms();
        m_panelId = id;
        ZVMap1->HighlightInvisPoly(m_panelId);
        LoadCategoryTabs(id);
        LoadPanelData(m_panelId);
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error identifying panel."), kSource, e);
    }
}

void frmDataInput::ZVMap1_PolyMouseOver(qint32 id, QString& toolTip)
{
    // Nothing may leave the control's event: a panel removed meanwhile gives no tip.
    try {
        toolTip = DbGetPanelName(id);
    } catch (const std::exception& e) {
        toolTip.clear();
        LogError(QString(), kSource, e);
    }
}

void frmDataInput::ZVMap1_Click() { UnloadChildForms(); }

void frmDataInput::UnloadChildForms()
{
    try {
        UnloadFormByName(kImages);
        for (const QString& name : {kImgInput, kMultImg, kKeyplan})
            if (IsFormLoaded(name))
                UnloadFormByName(name);
    } catch (const std::exception& e) {
        LogError(QString(), kSource, e);
    }
}

void frmDataInput::resizeEvent(QResizeEvent* event)
{
    KrvForm<QWidget>::resizeEvent(event);
    Form_Resize();
}

void frmDataInput::Form_Resize()
{
    try {
        const int scaleWidth = tw(width());
        const int scaleHeight = tw(height());
        const int fraHeight = tw(fraData->height());
        const int mapLeft = tw(ZVMap1->x());
        const int mapTop = tw(ZVMap1->y());

        const int fraTop = VarMax(825, scaleHeight - fraHeight);
        const int mapWidth = VarMax(1000, scaleWidth - mapLeft);
        const int mapHeight = VarMax(500, scaleHeight - fraHeight - 100 - mapTop);
        const int fraWidth = VarMax(5000, mapWidth - 100);
        PlaceTwips(fraData, tw(fraData->x()), fraTop, fraWidth, fraHeight);
        PlaceTwips(ZVMap1, mapLeft, mapTop, mapWidth, mapHeight);

        const int scrollLeft = fraWidth - tw(VScroll1->width());
        VScroll1->move(TwipsToPixels(scrollLeft), VScroll1->y());
        picContainer->resize(TwipsToPixels(scrollLeft), picContainer->height());
        fraRatings->resize(picContainer->width(), fraRatings->height());
        TabStrip1->resize(picContainer->width() - TabStrip1->x(), TabStrip1->height());

        SSTab1->resize(TwipsToPixels(fraWidth), SSTab1->height());
        const int textWidth = TwipsToPixels(fraWidth - 220);
        txt1[0]->resize(textWidth, txt1[0]->height());
        txt1[1]->resize(textWidth, txt1[1]->height());
        lvDefectQty2->resize(textWidth, lvDefectQty2->height());
        lvDefectQty->resize(TwipsToPixels(VarMax(0, fraWidth - 3960)), lvDefectQty->height());

        const int closeLeft = VarMax(3000, fraWidth - tw(cmdClose->width()) - 40);
        cmdClose->move(TwipsToPixels(closeLeft), cmdClose->y());
    } catch (const std::exception& e) {
        LogError(QString(), kSource, e);
    }
}

// ====================================================================== rows

void frmDataInput::LoadCategoryTabs(qint32 panelId)
{
    FillCategoryTabs(TabStrip1, DbGetPanelElementCategories(panelId));
}

void frmDataInput::createRow(int i)
{
    QWidget* parent = fraRatings;
    const QColor view(0, 0, 160);
    const QColor add(0, 120, 0);

    auto* element = new QLabel(parent);
    element->setObjectName(QStringLiteral("lblElement"));
    auto* sketch = mediaButton(parent, "cmdSketch", QStringLiteral("View Field Sketch"), QStringLiteral("S"), view);
    auto* photo = mediaButton(parent, "cmdPhoto", QStringLiteral("View Photo"), QStringLiteral("P"), view);
    auto* video = mediaButton(parent, "cmdVideo", QStringLiteral("View Video Clip"), QStringLiteral("V"), view);
    auto* rate1 = new QLabel(parent);
    rate1->setObjectName(QStringLiteral("lblRate1"));
    rate1->setAlignment(Qt::AlignCenter);
    auto* rate = new QLineEdit(parent);
    rate->setObjectName(QStringLiteral("txtRate1"));
    rate->setToolTip(QStringLiteral("Condition Rating"));
    rate->setAlignment(Qt::AlignCenter);
    // One digit or nothing: a pasted letter would otherwise be stored as 0, the worst rating.
    rate->setMaxLength(1);
    rate->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]?")), rate));
    rate->setReadOnly(!m_editing);
    rate->installEventFilter(this);
    auto* inSketch =
        mediaButton(parent, "cmdInputSketch", QStringLiteral("Add Field Sketch"), QStringLiteral("S"), add);
    auto* inPhoto = mediaButton(parent, "cmdInputPhoto", QStringLiteral("Add Photo"), QStringLiteral("P"), add);
    auto* inVideo = mediaButton(parent, "cmdInputVideo", QStringLiteral("Add Video Clip"), QStringLiteral("V"), add);

    lblElement.append(element);
    cmdSketch.append(sketch);
    cmdPhoto.append(photo);
    cmdVideo.append(video);
    lblRate1.append(rate1);
    txtRate1.append(rate);
    cmdInputSketch.append(inSketch);
    cmdInputPhoto.append(inPhoto);
    cmdInputVideo.append(inVideo);
    for (QWidget* w : std::initializer_list<QWidget*>{element, sketch, photo, video, rate1, rate, inSketch, inPhoto,
                                                       inVideo}) {
        w->setProperty("Index", i);
        w->hide();
    }
    connect(sketch, &QToolButton::clicked, this, [this, sketch] { cmdSketch_Click(rowOf(sketch)); });
    connect(photo, &QToolButton::clicked, this, [this, photo] { cmdPhoto_Click(rowOf(photo)); });
    connect(video, &QToolButton::clicked, this, [this, video] { cmdVideo_Click(rowOf(video)); });
    connect(inSketch, &QToolButton::clicked, this, [this, inSketch] { cmdInputSketch_Click(rowOf(inSketch)); });
    connect(inPhoto, &QToolButton::clicked, this, [this, inPhoto] { cmdInputPhoto_Click(rowOf(inPhoto)); });
    connect(inVideo, &QToolButton::clicked, this, [this, inVideo] { cmdInputVideo_Click(rowOf(inVideo)); });

    const bool attach = m_editing;
    inSketch->setEnabled(attach && FormIsAvailable(kImgInput));
    inPhoto->setEnabled(attach && FormIsAvailable(kImgInput));
    inVideo->setEnabled(attach && FormIsAvailable(kVideoForm));
    sketch->setEnabled(FormIsAvailable(kImages));
    photo->setEnabled(FormIsAvailable(kImages) && FormIsAvailable(kMultImg));
    video->setEnabled(FormIsAvailable(kVideoView));
    placeRow(i, kElement.left, kRowTop);
}

void frmDataInput::placeRow(int i, int left, int top)
{
    const int shift = left - kElement.left;
    PlaceTwips(lblElement[i], left, top, kElement.width, kElement.height);
    PlaceTwips(cmdSketch[i], kSketch.left + shift, top, kSketch.width, kSketch.height);
    PlaceTwips(cmdPhoto[i], kPhoto.left + shift, top, kPhoto.width, kPhoto.height);
    PlaceTwips(cmdVideo[i], kVideo.left + shift, top, kVideo.width, kVideo.height);
    PlaceTwips(lblRate1[i], kRate1.left + shift, top, kRate1.width, kRate1.height);
    PlaceTwips(txtRate1[i], kRate2.left + shift, top, kRate2.width, kRate2.height);
    PlaceTwips(cmdInputSketch[i], kInputSketch.left + shift, top, kInputSketch.width, kInputSketch.height);
    PlaceTwips(cmdInputPhoto[i], kInputPhoto.left + shift, top, kInputPhoto.width, kInputPhoto.height);
    PlaceTwips(cmdInputVideo[i], kInputVideo.left + shift, top, kInputVideo.width, kInputVideo.height);
}

void frmDataInput::destroyExtraRows()
{
    while (lblElement.size() > 1) {
        delete lblElement.takeLast();
        delete cmdSketch.takeLast();
        delete cmdPhoto.takeLast();
        delete cmdVideo.takeLast();
        delete lblRate1.takeLast();
        delete txtRate1.takeLast();
        delete cmdInputSketch.takeLast();
        delete cmdInputPhoto.takeLast();
        delete cmdInputVideo.takeLast();
    }
}

int frmDataInput::rowOf(QObject* control) const { return control->property("Index").toInt(); }

qint32 frmDataInput::rowElementId(int i) const
{
    return qint32(RoundHalfEven(Val(lblElement.value(i) ? lblElement[i]->property("Tag").toString() : QString())));
}

void frmDataInput::LoadPanelData(qint32 panelId)
{
    WaitCursor wait;
    RowSet elements;
    RowSet system;
    // Steps of the read: a tunnel without tabs lists every element of the panel.
    try {
        elements = DbGetPanelElements(panelId);
        system = DbGetSystem();
        if (TabStrip1->count() > 0 && TabStrip1->currentIndex() >= 0)
            elements = elements.filtered(QStringLiteral("ElementCategory"),
                                         TabStrip1->tabData(TabStrip1->currentIndex()));
    } catch (const std::exception&) {
    }

    try {
        m_viewPrevious = system.toBool(0, QStringLiteral("View"));
        m_rowCount = elements.count();
        cmdEdit->setEnabled(true);
        updatePrintButton();
        const bool comparing = m_previousYear != 0 && m_viewPrevious;

        const int lines = m_rowCount / 2 + m_rowCount % 2;
        m_lines = lines;
        m_shown.clear();
        if (m_rowCount == 0) {
            for (QLabel* l : lblElement)
                l->hide();
            picContainer->hide();
            VScroll1->hide();
            lblNoData->show();
            lblPanel->setText(DbGetPanelName(panelId));
            lblPanel->show();
        } else {
            picContainer->show();
            lblNoData->hide();
            lblPanel->hide();
            m_picHeight = VarMin(lines, 3) * kRowHeight + 530;
            const int frameHeight = lines * kRowHeight + 530;
            PlaceTwips(picContainer, tw(picContainer->x()), kPicTop, tw(picContainer->width()), m_picHeight);
            PlaceTwips(fraRatings, 0, 0, tw(picContainer->width()), frameHeight);
            VScroll1->setValue(0);
            VScroll1->setMaximum(frameHeight - m_picHeight);
            VScroll1->setPageStep(m_picHeight);
            if (frameHeight > m_picHeight) {
                PlaceTwips(VScroll1, tw(VScroll1->x()), kPicTop, tw(VScroll1->width()), m_picHeight);
                VScroll1->show();
            } else {
                VScroll1->hide();
            }
            const int lineBottom = frameHeight - 245;
            PlaceTwips(Line1, tw(Line1->x()), 120, 60, lineBottom - 120);
            PlaceTwips(Line2, tw(Line2->x()), 120, 60, lineBottom - 120);
            Line1->setVisible(comparing);
            Line2->setVisible(comparing && m_rowCount > 1);

            destroyExtraRows();
            m_ratingRows.clear();
            // Each period's ratings of the panel in one read.
            const QHash<qint32, QVariant> ratings = DbGetPanelRatings(m_inspectionId, panelId);
            const QHash<qint32, QVariant> previousRatings =
                comparing ? DbGetPanelRatings(m_previousInspectionId, panelId) : QHash<qint32, QVariant>();
            cmdSketch[0]->hide();
            cmdPhoto[0]->hide();
            cmdVideo[0]->hide();

            for (int i = 0; i < m_rowCount; ++i) {
                if (i > 0)
                    createRow(i);
                const qint32 elementId = elements.toInt(i, QStringLiteral("ElementID"));
                lblElement[i]->setProperty("Tag", QString::number(elementId));
                placeRow(i, (i / lines) * kColumnWidth + kElement.left, (i % lines) * kRowHeight + kRowTop);

                if (m_viewPrevious) {
                    const std::optional<RowSet> posted =
                        DbCheckPostedImages(panelId, elementId, m_previousInspectionId);
                    if (gHasPostedImages && posted) {
                        for (int r = 0; r < posted->count(); ++r) {
                            if (posted->value(r, QStringLiteral("InspectionID")).toLongLong() != m_previousInspectionId)
                                continue;
                            const QVariant sketchFlag = posted->value(r, QStringLiteral("FieldSketch"));
                            const bool isSketch = !sketchFlag.isNull() && sketchFlag.toLongLong() != 0;
                            if (isSketch)
                                cmdSketch[i]->show();
                            else if (!posted->value(r, QStringLiteral("ImagePath")).toString().isEmpty())
                                cmdPhoto[i]->show();
                        }
                    }
                    if (!DbGetPostedVideos(panelId, elementId, m_previousInspectionId).isEmpty())
                        cmdVideo[i]->show();
                }
                cmdInputPhoto[i]->show();
                cmdInputSketch[i]->show();
                cmdInputVideo[i]->show();
                lblElement[i]->show();
                txtRate1[i]->show();
                lblRate1[i]->setVisible(comparing);
                lblElement[i]->setText(NullToEmpty(elements.value(i, QStringLiteral("ElementName"))).toString());
                lblElement[i]->setToolTip(lblElement[i]->text());
                lblRate1[i]->setText(comparing ? RatingText(previousRatings.value(elementId)) : QString());
                txtRate1[i]->setText(RatingText(ratings.value(elementId)));
                m_shown.filled(ratingField(i), ratings.value(elementId), txtRate1[i]->text());
                m_ratingRows.append(RatingLoadedRow(m_inspectionId, panelId, elementId, ratings));
            }
            setTabOrderOfRows();

            const int tabTop = kPicTop + m_picHeight + 100;
            const int tabHeight = kFraDataHeight - tabTop - 650;
            PlaceTwips(SSTab1, 0, tabTop, tw(SSTab1->width()), tabHeight);
            const int textHeight = VarMax(300, tabHeight - 640);
            for (QWidget* w : std::initializer_list<QWidget*>{txt1[0], txt1[1], lvDefectQty, lvDefectQty2})
                w->resize(w->width(), TwipsToPixels(textHeight));
        }

        m_currentCommentRow = DbLoadPanelComment(m_inspectionId, panelId);
        m_previousCommentRow = DbLoadPanelComment(m_previousInspectionId, panelId);

        m_panelName = DbGetPanelName(panelId);
        lblName->setText(m_panelName);
        ShowTunnelInTitle(this, QStringLiteral("Data Input - "), m_tunnelId, m_tunnelName);
        lblName->setProperty("Tag", QString::number(panelId));

        if (comparing) {
            SSTab1->setTabText(0, QStringLiteral("Comments %1").arg(m_previousYear));
            SSTab1->setTabText(1, QStringLiteral("Defect Quantity %1").arg(m_previousYear));
        }
        SSTab1->setTabText(2, QStringLiteral("Comments %1").arg(m_year));
        SSTab1->setTabText(3, QStringLiteral("Defect Quantity %1").arg(m_year));

        ZVMap1->setEnabled(true);

        txt1[0]->clear();
        txt1[1]->clear();
        if (comparing) {
            txt1[0]->setPlainText(PanelCommentText(m_previousCommentRow));
        }
        SSTab1->setTabEnabled(0, comparing);
        SSTab1->setTabEnabled(1, comparing);
        if (!comparing && SSTab1->currentIndex() < 2)
            SSTab1->setCurrentIndex(2);
        txt1[1]->setPlainText(PanelCommentText(m_currentCommentRow));
        // What a save compares with: the boxes as filled, which may hold a stored text altered.
        m_shown.filled(kPreviousComment, m_previousCommentRow.values.value(0).second, txt1[0]->toPlainText());
        m_shown.filled(kCurrentComment, m_currentCommentRow.values.value(0).second, txt1[1]->toPlainText());

        for (int c = 0; c < 2; ++c) {
            lblYear1[c]->setVisible(comparing);
            lblYear1[c]->setText(QString::number(m_previousYear));
            lblYear2[c]->setText(QString::number(m_year));
            lblYear2[c]->setVisible(c == 0 || m_rowCount > 1);
            lblYear1[c]->setVisible(comparing && (c == 0 || m_rowCount > 1));
        }
        RestoreDefaultCursor();

        LoadDefectQuantities(panelId, m_inspectionId, lvDefectQty);
        if (m_previousInspectionId != 0)
            LoadDefectQuantities(panelId, m_previousInspectionId, lvDefectQty2);
        else
            lvDefectQty2->clear();
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error loading data.  Not all available data may be displayed."), kSource, e);
        RestoreDefaultCursor();
    }
}

void frmDataInput::setTabOrderOfRows()
{
    for (int i = 1; i < txtRate1.size(); ++i)
        QWidget::setTabOrder(txtRate1[i - 1], txtRate1[i]);
}

void frmDataInput::setRatingsLocked(bool locked)
{
    for (QLineEdit* box : txtRate1)
        box->setReadOnly(locked);
}

void frmDataInput::txtRate1_GotFocus(int index)
{
    QLineEdit* box = txtRate1.value(index);
    if (!box)
        return;
    QPointer<QLineEdit> guard(box);
    if (!box->isReadOnly()) {
        // After the focus change itself, which places the cursor where the mouse went.
        QTimer::singleShot(0, box, [guard] {
            if (guard)
                guard->setSelection(0, 1);
        });
    } else {
        QPointer<QPushButton> edit(cmdEdit);
        QTimer::singleShot(0, this, [edit] {
            if (edit && edit->isEnabled())
                edit->setFocus(Qt::OtherFocusReason);
        });
    }
    // Scroll the row into view.
    const int top = tw(box->y());
    const int below = top + tw(box->height()) - m_picHeight;
    if (below > VScroll1->value())
        VScroll1->setValue(below);
    if (top < VScroll1->value())
        VScroll1->setValue(top);
}

bool frmDataInput::txtRate1_KeyPress(int index, QKeyEvent* event)
{
    QLineEdit* box = txtRate1.value(index);
    if (!box)
        return false;
    try {
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
            if (index < txtRate1.size() - 1 && txtRate1[index + 1]->isVisible())
                txtRate1[index + 1]->setFocus(Qt::TabFocusReason);
            else
                cmdSave->setFocus(Qt::TabFocusReason);
            return true;
        }
        const QString text = event->text();
        const bool backspace = event->key() == Qt::Key_Backspace;
        // Keys without a character (arrows, Tab, Delete) and shortcuts go to the box as they are.
        if (!backspace && (text.isEmpty() || text.at(0).category() == QChar::Other_Control))
            return false;
        // An Alt or Ctrl chord is a command key, not typing.
        if (event->modifiers() & (Qt::AltModifier | Qt::ControlModifier | Qt::MetaModifier))
            return false;
        if (box->isReadOnly())
            return false;
        if (backspace)
            return false;
        const QChar c = text.at(0);
        if (text.size() != 1 || c < QLatin1Char('0') || c > QLatin1Char('9')) {
            MsgBox(QStringLiteral("You must enter a value between 0 and 9."), MsgButtons::Ok, MsgIcon::Warning,
                   QStringLiteral("Input Error!"));
            return true;
        }
        const QString digit(c);
        if (DbGetPreviousInspectionYear(m_tunnelId, m_year).has_value()) {
            const QString previous = DbGetRating(m_previousInspectionId, m_panelId, rowElementId(index));
            const QString old = box->text();
            if (previous.isEmpty() || std::abs(digit.toInt() - int(Val(previous))) < 2) {
                box->setText(digit);
            } else {
                const MsgAnswer a = MsgBox(
                    QStringLiteral("The new rating entered for the current period %1\n is showing a difference of 2 "
                                   "or more from the previous period.\n\nWould you like to keep new rating?")
                        .arg(m_year),
                    MsgButtons::YesNo, MsgIcon::Question, QStringLiteral("Condition Ratings"));
                box->setText(a == MsgAnswer::Yes ? digit : old);
            }
            return true;
        }
        // A digit replaces the box's one character.
        box->setText(digit);
        return true;
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error: Data input."), kSource, e);
        return true;
    }
}

void frmDataInput::VScroll1_Change(int value)
{
    try {
        fraRatings->move(0, -TwipsToPixels(value));
    } catch (const std::exception& e) {
        LogError(QString(), QString(), e);
    }
}

void frmDataInput::SetEditControls(bool enabled)
{
    cmdAddDefect->setEnabled(enabled);
    cmdDeleteDefect->setEnabled(enabled);
    cmdEditDefect->setEnabled(enabled);
    SetDefectFieldsEnabled(enabled);
    const bool imgInput = enabled && FormIsAvailable(kImgInput);
    const bool video = enabled && FormIsAvailable(kVideoForm);
    for (int i = 0; i < cmdInputSketch.size(); ++i) {
        cmdInputSketch[i]->setEnabled(imgInput);
        cmdInputPhoto[i]->setEnabled(imgInput);
        cmdInputVideo[i]->setEnabled(video);
    }
}

void frmDataInput::updatePrintButton()
{
    cmdPrint->setEnabled(!m_editing && m_panelId != 0 && FormIsAvailable(kKeyplan));
}

void frmDataInput::cmdEdit_Click()
{
    try {
        // Nothing is typed yet: the edit starts from what is stored now, which another user
        // may have changed since the panel was loaded.
        if (!showStored())
            return;
        m_editing = true;
        m_defectsTouched = false;
        for (int i = 0; i < txtRate1.size(); ++i)
            txtRate1[i]->setReadOnly(false);
        setTabOrderOfRows();
        cmdSave->setEnabled(true);
        cmdCancel->setEnabled(true);
        cmdEdit->setEnabled(false);
        cmdPrint->setEnabled(false);
        cmdClose->setEnabled(false);
        txt1[0]->setReadOnly(false);
        txt1[1]->setReadOnly(false);
        ZVMap1->setEnabled(false);
        SetEditControls(true);
        // A defect clicked in view mode is shown, not typed.
        markDefectFieldsSettled(m_defectFieldsItem);
        if (txtRate1[0]->isVisibleTo(this))
            txtRate1[0]->setFocus(Qt::OtherFocusReason);
        else if (lblNoData->isVisibleTo(this))
            txt1[1]->setFocus(Qt::OtherFocusReason);
    } catch (const std::exception& e) {
        LogError(QString(), kSource, e);
    }
}

void frmDataInput::enterViewMode()
{
    m_editing = false;
    m_defectsTouched = false;
    // The edit is saved or dropped: typing left in the defect fields would look stored.
    ClearDefectFields();
    setRatingsLocked(true);
    ZVMap1->setEnabled(true);
    cmdEdit->setEnabled(true);
    cmdClose->setEnabled(true);
    updatePrintButton();
    cmdCancel->setEnabled(false);
    cmdSave->setEnabled(false);
    SetEditControls(false);
    cmdEdit->setFocus(Qt::OtherFocusReason);
    txt1[0]->setReadOnly(true);
    txt1[1]->setReadOnly(true);
}

void frmDataInput::cmdCancel_Click()
{
    try {
        enterViewMode();
        showStored();
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error canceling changes"), kSource, e);
    }
}

bool frmDataInput::showStored()
{
    // What another user removed meanwhile goes from the screen: the window of a removed tunnel
    // closes, as it does for a removal here; a removed panel leaves the map.
    if (!RowExists(QStringLiteral("Tunnels"), {{QStringLiteral("TunnelID"), m_tunnelId}})) {
        Unload();
        return false;
    }
    if (m_panelId != 0 && !RowExists(QStringLiteral("Panels"), {{QStringLiteral("PanelID"), m_panelId}})) {
        LoadForm(m_year, m_tunnelId);
        return false;
    }
    LoadPanelData(m_panelId);
    if (m_panelId != 0)
        ShadePanel(m_panelId, true);
    return true;
}

void frmDataInput::cmdSave_Click()
{
    // Until a save has gone through, a pending tab switch must not reload over the edit.
    m_tabSwitchAllowed = false;
    const bool typedDefect = DefectTyped();
    MsgAnswer answer;
    if (m_savingOnTabSwitch)
        answer = MsgBox(QStringLiteral("Save changes for this element category?"), MsgButtons::YesNoCancel,
                        MsgIcon::None, QStringLiteral("Save Data"));
    else if (typedDefect)  // in place of "Are you sure?": either answer but Cancel saves
        answer = MsgBox(TypedDefectQuestion(), MsgButtons::YesNoCancel, MsgIcon::Question, QStringLiteral("Save Data"));
    else
        answer = MsgBox(QStringLiteral("Are you sure?"), MsgButtons::YesNo, MsgIcon::Question, QStringLiteral("Save Data"));

    if (answer == MsgAnswer::Cancel)
        return;  // stays in edit mode (on the old tab)
    // A typed defect that Add or Update refuses keeps the edit, with the message they give.
    if (answer == MsgAnswer::Yes && typedDefect && !StoreTypedDefect())
        return;
    // "No" to the defect saves the rest without it.
    const bool save = answer == MsgAnswer::Yes || (typedDefect && !m_savingOnTabSwitch);
    if (save && !SaveEdit())
        return;
    m_tabSwitchAllowed = true;
    enterViewMode();
    // "No" drops the edit: show what is stored (a tab switch loads the new tab itself).
    if (!save && !m_savingOnTabSwitch)
        LoadPanelData(m_panelId);
}

bool frmDataInput::SaveEdit()
{
    bool written = false;
    const QString current = txt1[1]->toPlainText();
    const QString previous = txt1[0]->toPlainText();
    try {
        PanelEdit edit;
        edit.tunnelId = m_tunnelId;
        edit.tunnelName = m_tunnelName;
        edit.inspectionId = m_inspectionId;
        edit.year = m_year;
        edit.panelId = m_panelId;
        edit.panelName = m_panelName;
        // Only the ratings the user changed: an untouched one is no change, and writing it
        // would set another user's change to it aside.
        for (int i = 0; i < m_rowCount && i < txtRate1.size() && i < m_ratingRows.size(); ++i)
            if (m_shown.changed(ratingField(i), txtRate1[i]->text()))
                edit.ratings.append({rowElementId(i), lblElement[i]->text(), m_ratingRows[i], txtRate1[i]->text()});
        // Only a comment the user changed is written: an untouched one would leave an
        // empty row behind, which counts as unposted data of its period.
        if (currentCommentChanged())
            edit.comment = CommentEdit{m_currentCommentRow, current};
        edit.previousInspectionId = m_previousInspectionId;
        edit.previousYear = m_previousYear;
        if (previousCommentChanged())
            edit.previousComment = CommentEdit{m_previousCommentRow, previous};
        if (m_defectsTouched)
            edit.defects = defectEdits();
        // Nothing changed: nothing to write, and no reason to wait for another program's lock.
        if (!edit.isEmpty()) {
            const SaveOutcome outcome = DbSavePanelEdit(edit);
            // Cancelled, or what the save belongs to is gone (the user was told): still editing.
            if (!outcome.saved())
                return false;
            written = true;
        }
    } catch (const std::exception& e) {
        // Nothing of the panel was written; the edit stays on screen to be saved again.
        LogError(QStringLiteral("Error saving data."), kSource, e);
        return false;
    }
    try {
        // The window shows what is stored now, which is also what a next save compares with;
        // a tab switch loads the next tab itself.
        if (written && !m_savingOnTabSwitch) {
            LoadPanelData(m_panelId);
        } else {
            m_shown.filled(kCurrentComment, m_shown.loaded(kCurrentComment), current);
            m_shown.filled(kPreviousComment, m_shown.loaded(kPreviousComment), previous);
            for (int i = 0; i < m_rowCount && i < txtRate1.size(); ++i)
                if (m_shown.has(ratingField(i)))
                    m_shown.filled(ratingField(i), m_shown.loaded(ratingField(i)), txtRate1[i]->text());
        }
        ShadePanel(m_panelId, true);
        UpdateInspectionPdButtons();
    } catch (const std::exception& e) {
        LogError(QString(), kSource, e);
    }
    return true;
}

QVector<DefectEdit> frmDataInput::defectEdits() const
{
    QVector<DefectEdit> edits;
    QSet<qint32> listed;
    for (int n = 0; n < lvDefectQty->topLevelItemCount(); ++n) {
        const DefectQuantityRow row = defectItemRow(lvDefectQty->topLevelItem(n));
        if (row.key.isEmpty()) {
            DefectEdit add;
            add.kind = RowWrite::Kind::Add;
            add.description = row.description;
            add.typed = row;
            edits.append(add);
            continue;
        }
        const qint32 id = qint32(Val(row.key.mid(1)));
        listed.insert(id);
        const auto loaded = m_loadedDefects.constFind(id);
        if (loaded == m_loadedDefects.constEnd())
            continue;
        if (std::optional<DefectEdit> change = DefectChange(id, *loaded, row))
            edits.append(*change);
    }
    // A loaded row no longer in the list was deleted by the user.
    for (auto it = m_loadedDefects.constBegin(); it != m_loadedDefects.constEnd(); ++it) {
        if (listed.contains(it.key()))
            continue;
        DefectEdit remove;
        remove.kind = RowWrite::Kind::Remove;
        remove.loaded = {QStringLiteral("DefectQuantity"), {{QStringLiteral("ID"), it.key()}}, it->loadedColumns(), false};
        remove.description = it->loaded(QStringLiteral("Description")).toString();
        edits.append(remove);
    }
    return edits;
}

DefectQuantityRow frmDataInput::defectItemRow(const QTreeWidgetItem* item)
{
    return {item->data(0, Qt::UserRole).toString(), item->text(0), item->text(1), item->text(2), item->text(3).mid(1),
            item->text(4).mid(1)};
}

bool frmDataInput::SettleEdit()
{
    if (!m_editing)
        return true;
    // Edit pressed but nothing changed: nothing to save or lose, so nothing to ask.
    if (!EditChanged()) {
        m_tabSwitchAllowed = true;
        enterViewMode();
        return true;
    }
    const MsgAnswer answer = AskToSaveEdit(PendingEditText());
    if (answer == MsgAnswer::Yes) {
        if (DefectTyped() && !StoreTypedDefect())
            return false;
        if (!SaveEdit())
            return false;
    } else if (answer != MsgAnswer::No) {
        return false;  // kept on screen, still being edited
    }
    m_tabSwitchAllowed = true;
    enterViewMode();
    return true;
}

void frmDataInput::TabStrip1_MouseDown()
{
    const int t = TabStrip1->currentIndex();
    m_lastCategoryId = t >= 0 ? TabStrip1->tabData(t).toInt() : 0;
}

void frmDataInput::TabStrip1_MouseUp()
{
    const int t = TabStrip1->currentIndex();
    if (t < 0 || TabStrip1->tabData(t).toInt() == m_lastCategoryId)
        return;
    if (cmdSave->isEnabled() && !EditChanged()) {
        // Nothing typed: nothing to ask about; the edit ends as a "No" would end it.
        m_tabSwitchAllowed = true;
        enterViewMode();
    } else if (cmdSave->isEnabled()) {
        m_savingOnTabSwitch = true;
        cmdSave_Click();
    } else {
        m_tabSwitchAllowed = true;
    }
    m_savingOnTabSwitch = false;
    if (!m_tabSwitchAllowed) {
        for (int k = 0; k < TabStrip1->count(); ++k)
            if (TabStrip1->tabData(k).toInt() == m_lastCategoryId)
                TabStrip1->setCurrentIndex(k);
        return;
    }
    LoadPanelData(m_panelId);
}

void frmDataInput::cmdClose_Click()
{
    try {
        Unload();
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error closing Data Input screen."), kSource, e);
    }
}

void frmDataInput::cmdPrint_Click()
{
    bool created = false;
    QPointer<QWidget> printout;
    try {
        printout = DataInputOpenForm(kKeyplan, true, &created);
        // The previous period only when it is shown; the window keeps its own.
        const qint32 first = m_viewPrevious ? m_previousInspectionId : 0;
        DataInputCall(printout, "LoadForm",
                      {m_tunnelId, first, m_inspectionId, QVariant::fromValue<QWidget*>(this)});
        if (auto* dialog = qobject_cast<QDialog*>(printout.data()))
            dialog->exec();
        else if (printout)
            printout->show();
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error printing information."), kSource, e);
        if (created && printout && !printout->isVisible())
            UnloadForm(printout);
    }
}

// ====================================================================== events

bool frmDataInput::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (watched == TabStrip1) {
        if (type == QEvent::MouseButtonPress)
            TabStrip1_MouseDown();
        else if (type == QEvent::MouseButtonRelease) {
            QTimer::singleShot(0, this, [this] { TabStrip1_MouseUp(); });
        } else if (type == QEvent::Wheel) {
            return true;  // a switch goes through the mouse only, so the save question is asked
        }
        return false;
    }
    if (watched == VScroll1) {
        if (type == QEvent::FocusIn)
            picContainer->setFocus(Qt::OtherFocusReason);
        return false;
    }
    if (txt1[1] && (watched == txt1[0]->viewport() || watched == txt1[1]->viewport())) {
        if (type == QEvent::MouseButtonPress) {
            QPlainTextEdit* box = watched == txt1[0]->viewport() ? txt1[0] : txt1[1];
            if (box->isReadOnly() && cmdEdit->isEnabled()) {
                QPointer<QPushButton> edit(cmdEdit);
                QTimer::singleShot(0, this, [edit] {
                    if (edit)
                        edit->setFocus(Qt::OtherFocusReason);
                });
            }
        }
        return false;
    }
    if (watched && (watched == txtQty || watched == txtUnitCost)) {
        if (type == QEvent::KeyPress) {
            auto* ke = static_cast<QKeyEvent*>(event);
            const QString text = ke->text();
            // Editing keys and shortcuts (Ctrl+V among them) pass; pasted text is read by the box.
            if (ke->key() == Qt::Key_Backspace || text.isEmpty() || text.at(0).category() == QChar::Other_Control
                || (ke->modifiers() & (Qt::ControlModifier | Qt::MetaModifier)))
                return false;
            const QChar c = text.at(0);
            if (text.size() == 1 && (c == QLatin1Char('.') || (c >= QLatin1Char('0') && c <= QLatin1Char('9'))))
                return false;
            QApplication::beep();
            return true;
        }
        return false;
    }
    if (cboUnits && watched == cboUnits->lineEdit()) {
        if (type == QEvent::KeyPress) {
            auto* ke = static_cast<QKeyEvent*>(event);
            const QString text = ke->text();
            if (ke->key() == Qt::Key_Backspace || text.isEmpty() || text.at(0).category() == QChar::Other_Control)
                return false;
            if (cboUnits->currentText().size() >= 15) {
                QApplication::beep();
                return true;
            }
        }
        return false;
    }
    if (auto* box = qobject_cast<QLineEdit*>(watched); box && box->objectName() == QLatin1String("txtRate1")) {
        const int index = rowOf(box);
        if (type == QEvent::FocusIn)
            txtRate1_GotFocus(index);
        else if (type == QEvent::KeyPress)
            return txtRate1_KeyPress(index, static_cast<QKeyEvent*>(event));
        return false;
    }
    return KrvForm<QWidget>::eventFilter(watched, event);
}

// ====================================================================== defect quantities

QString frmDataInput::PlainNumber(double value)
{
    if (value == 0)
        return QStringLiteral("0");
    QString s = QString::number(value, 'g', 15);
    if (s.startsWith(QStringLiteral("0.")))
        s.remove(0, 1);
    else if (s.startsWith(QStringLiteral("-0.")))
        s.remove(1, 1);
    return s;
}

QString frmDataInput::CalcTotalCost(const QString& quantity, const QString& unitCost)
{
    const double product = Val(quantity) * Val(unitCost);
    // Rounded to cents as "#.#0" writes it, then shortest.
    return PlainNumber(Val(MoneyText(product)));
}

void frmDataInput::LoadUnits()
{
    cboUnits->clear();
    const RowSet units = DbGetUnitTypes();
    for (int i = 0; i < units.count(); ++i)
        cboUnits->addItem(NullToEmpty(units.value(i, QStringLiteral("Unit"))).toString());
    cboUnits->setCurrentIndex(-1);
    cboUnits->setEditText(QString());
}

void frmDataInput::LoadDefectQuantities(qint32 panelId, qint32 inspectionId, QTreeWidget* list)
{
    list->clear();
    ClearDefectFields();
    const bool current = list == lvDefectQty;
    if (current)
        m_loadedDefects.clear();
    const RowSet rows = DbGetDefectQuantities(panelId, inspectionId);
    for (int r = 0; r < rows.count(); ++r) {
        auto* item = new QTreeWidgetItem(list);
        item->setData(0, Qt::UserRole, QStringLiteral("X") + QString::number(rows.toInt(r, QStringLiteral("ID"))));
        item->setText(0, NullToEmpty(rows.value(r, QStringLiteral("Description"))).toString());
        item->setText(1, NumberText(rows.value(r, QStringLiteral("Quantity"))));
        item->setText(2, NullToEmpty(rows.value(r, QStringLiteral("Units"))).toString());
        item->setText(3, QStringLiteral("$") + NumberText(rows.value(r, QStringLiteral("UnitCost"))));
        const QVariant total = rows.value(r, QStringLiteral("TotalCost"));
        item->setText(4, QStringLiteral("$") + (total.isNull() ? QString() : MoneyText(total.toDouble())));
        // What the save compares with: the row as stored and as the list showed it.
        if (current)
            m_loadedDefects.insert(rows.toInt(r, QStringLiteral("ID")), DefectShownFields(rows, r, defectItemRow(item)));
    }
    UpdateDefectButtons();
}

void frmDataInput::UpdateInspectionPdButtons()
{
    QWidget* tree = nullptr;
    for (QWidget* w : LoadedForms())
        if (w->objectName().compare(QLatin1String("frmInspectionPd"), Qt::CaseInsensitive) == 0)
            tree = w;
    // The tree decides: only its selected year node of this period is refreshed.
    if (tree)
        QMetaObject::invokeMethod(tree, "RefreshYear", Q_ARG(qint32, m_inspectionId));
}

void frmDataInput::SetDefectFieldsEnabled(bool enabled)
{
    txtDefectDesc->setEnabled(enabled);
    txtQty->setEnabled(enabled);
    cboUnits->setEnabled(enabled);
    txtUnitCost->setEnabled(enabled);
}

void frmDataInput::UpdateAddDefectButton()
{
    cmdAddDefect->setEnabled(cmdSave->isEnabled() && !txtDefectDesc->text().trimmed().isEmpty() &&
                             !txtQty->text().trimmed().isEmpty() && !cboUnits->currentText().trimmed().isEmpty() &&
                             !txtUnitCost->text().trimmed().isEmpty());
}

void frmDataInput::UpdateDefectButtons()
{
    const bool on = cmdSave->isEnabled() && !lvDefectQty->selectedItems().isEmpty();
    cmdEditDefect->setEnabled(on);
    cmdDeleteDefect->setEnabled(on);
}

void frmDataInput::costChanged()
{
    try {
        UpdateAddDefectButton();
        txtTotalCost->setText(CalcTotalCost(txtQty->text(), txtUnitCost->text()));
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error calculating Total Defect Cost"), kSource, e);
    }
}

void frmDataInput::lvDefectQty_ItemClick(QTreeWidgetItem* item)
{
    try {
        if (!item)
            return;
        txtDefectDesc->setText(item->text(0));
        txtQty->setText(item->text(1));
        cboUnits->setEditText(item->text(2));
        txtUnitCost->setText(item->text(3).mid(1));
        txtTotalCost->setText(item->text(4).mid(1));
        markDefectFieldsSettled(item);
        cmdEditDefect->setEnabled(true);
        cmdDeleteDefect->setEnabled(true);
        UpdateDefectButtons();
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error selecting defect item"), kSource, e);
    }
}

bool frmDataInput::defectEditorComplete(bool)
{
    struct Check {
        QWidget* field;
        QString text;
        const char* message;
    };
    const Check checks[] = {
        {txtDefectDesc, txtDefectDesc->text(), "Please enter a description"},
        {txtQty, txtQty->text(), "Please enter quantity."},
        {cboUnits, cboUnits->currentText(), "Please enter units."},
        {txtUnitCost, txtUnitCost->text(), "Please enter unit cost."},
    };
    for (const Check& c : checks) {
        if (c.text.isEmpty()) {
            SSTab1->setCurrentIndex(3);  // a save may ask from another tab: the field is shown
            MsgBox(QString::fromLatin1(c.message));
            c.field->setFocus(Qt::OtherFocusReason);
            return false;
        }
    }
    return true;
}

void frmDataInput::fillDefectItem(QTreeWidgetItem* item)
{
    item->setText(0, txtDefectDesc->text());
    item->setText(1, txtQty->text());
    item->setText(2, cboUnits->currentText());
    item->setText(3, QStringLiteral("$") + QString::number(Val(txtUnitCost->text()), 'g', 15));
    item->setText(4, QStringLiteral("$") + MoneyText(Val(txtTotalCost->text())));
}

void frmDataInput::EnsureUnitListed()
{
    const QString typed = cboUnits->currentText();
    int match = -1;
    for (int i = 0; i < cboUnits->count(); ++i)
        if (SameName(cboUnits->itemText(i), typed))
            match = i;
    if (match >= 0) {
        cboUnits->setCurrentIndex(match);
        cboUnits->setEditText(cboUnits->itemText(match));
        return;
    }
    DbAddUnitType(typed);
    cboUnits->addItem(typed);
    cboUnits->setCurrentIndex(cboUnits->count() - 1);
}

bool frmDataInput::AddDefect()
{
    try {
        if (!defectEditorComplete(true))
            return false;
        EnsureUnitListed();
        auto* item = new QTreeWidgetItem(lvDefectQty);
        fillDefectItem(item);
        m_defectsTouched = true;
        markDefectFieldsSettled(nullptr);
        return true;
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error adding defect"), kSource, e);
        return false;
    }
}

bool frmDataInput::UpdateDefect()
{
    try {
        if (!defectEditorComplete(false))
            return false;
        EnsureUnitListed();
        const QList<QTreeWidgetItem*> selected = lvDefectQty->selectedItems();
        if (selected.isEmpty())
            throw KrvError(91, QStringLiteral("No defect quantity is selected."));
        fillDefectItem(selected.first());
        m_defectsTouched = true;
        markDefectFieldsSettled(selected.first());
        return true;
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error saving defect"), kSource, e);
        return false;
    }
}

void frmDataInput::cmdAddDefect_Click() { AddDefect(); }

void frmDataInput::cmdEditDefect_Click() { UpdateDefect(); }

QStringList frmDataInput::defectFields() const
{
    return {txtDefectDesc->text(), txtQty->text(), cboUnits->currentText(), txtUnitCost->text()};
}

void frmDataInput::ClearDefectFields()
{
    txtDefectDesc->clear();
    txtQty->clear();
    cboUnits->setCurrentIndex(-1);
    cboUnits->setEditText(QString());
    txtUnitCost->clear();
    txtTotalCost->clear();
    markDefectFieldsSettled(nullptr);
}

void frmDataInput::markDefectFieldsSettled(QTreeWidgetItem* from)
{
    m_defectFieldsSettled = defectFields();
    m_defectFieldsItem = from;
}

QTreeWidgetItem* frmDataInput::typedDefectTarget() const
{
    // Typing over the defect clicked in the list, still selected, changes it as Update would;
    // any other typing is a new defect.
    if (!m_defectFieldsItem)
        return nullptr;
    const QList<QTreeWidgetItem*> selected = lvDefectQty->selectedItems();
    return selected.size() == 1 && selected.first() == m_defectFieldsItem ? m_defectFieldsItem : nullptr;
}

QString frmDataInput::TypedDefectQuestion() const
{
    if (const QTreeWidgetItem* item = typedDefectTarget()) {
        const QString name = item->text(0).trimmed();
        return name.isEmpty() ? QStringLiteral("Update the selected defect before saving?")
                              : QStringLiteral("Update the defect ") + name + QStringLiteral(" before saving?");
    }
    const QString name = txtDefectDesc->text().trimmed();
    return name.isEmpty() ? QStringLiteral("Add the typed defect before saving?")
                          : QStringLiteral("Add the defect ") + name + QStringLiteral(" before saving?");
}

bool frmDataInput::StoreTypedDefect() { return typedDefectTarget() ? UpdateDefect() : AddDefect(); }

void frmDataInput::cmdDeleteDefect_Click()
{
    try {
        const QList<QTreeWidgetItem*> selected = lvDefectQty->selectedItems();
        if (selected.isEmpty()) {
            MsgBox(QStringLiteral("Please select a defect quantity record."), MsgButtons::Ok, MsgIcon::None,
                   QStringLiteral("Delete Defect"));
            return;
        }
        // The fields showing the defect deleted are no typing of a new one.
        if (selected.first() == m_defectFieldsItem)
            markDefectFieldsSettled(nullptr);
        delete selected.first();
        m_defectsTouched = true;
        UpdateDefectButtons();
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error deleting defect quantity record"), kSource, e);
    }
}

// ====================================================================== media buttons

void frmDataInput::cmdInputPhoto_Click(int index)
{
    try {
        UnloadChildForms();
        const qint32 elementId = rowElementId(index);
        QWidget* w = DataInputOpenForm(kImgInput, true);
        DataInputCall(w, "Load", {m_tunnelId, m_panelId, elementId, m_inspectionId, false});
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error loading input photo box."), kSource, e);
        UnloadFormByName(kImgInput);
    }
}

void frmDataInput::cmdInputSketch_Click(int index)
{
    try {
        UnloadChildForms();
        const qint32 elementId = rowElementId(index);
        QWidget* w = DataInputOpenForm(kImgInput, true);
        DataInputCall(w, "Load", {m_tunnelId, m_panelId, elementId, m_inspectionId, true});
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error loading input sketch box."), kSource, e);
        UnloadFormByName(kImgInput);
    }
}

void frmDataInput::cmdInputVideo_Click(int index)
{
    try {
        UnloadChildForms();
        const qint32 elementId = rowElementId(index);
        QWidget* w = DataInputOpenForm(kVideoForm, true);
        DataInputCall(w, "LoadForm", {m_panelId, m_tunnelId, elementId, m_inspectionId});
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error loading input video box."), kSource, e);
        UnloadFormByName(kVideoForm);
    }
}

void frmDataInput::cmdPhoto_Click(int index)
{
    QPointer<QWidget> viewer;
    try {
        UnloadChildForms();
        const qint32 elementId = rowElementId(index);
        QStringList photos;
        DbGetImagePaths(m_panelId, m_previousInspectionId, elementId, photos);
        if (gPhotoCount < 2) {
            viewer = DataInputOpenForm(kImages, false);
            DataInputCall(viewer, "LoadForm", {0, false, m_panelId, elementId, m_previousInspectionId});
        } else {
            QWidget* thumbs = DataInputOpenForm(kMultImg, true);
            DataInputCall(thumbs, "LoadForm", {m_panelId, elementId, m_previousInspectionId, false});
        }
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error loading photo box."), kSource, e);
        if (viewer)
            UnloadForm(viewer);
    }
}

void frmDataInput::cmdSketch_Click(int index)
{
    QPointer<QWidget> viewer;
    try {
        UnloadChildForms();
        const qint32 elementId = rowElementId(index);
        viewer = DataInputOpenForm(kImages, false);
        DataInputCall(viewer, "LoadForm", {0, true, m_panelId, elementId, m_previousInspectionId});
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error loading field sketch box."), kSource, e);
        if (viewer)
            UnloadForm(viewer);
    }
}

void frmDataInput::cmdVideo_Click(int index)
{
    try {
        const qint32 elementId = rowElementId(index);
        const qint32 panelId = qint32(Val(lblName->property("Tag").toString()));
        QWidget* w = DataInputOpenForm(kVideoView, true);
        DataInputCall(w, "LoadForm", {panelId, elementId, m_previousInspectionId});
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error loading video"), kSource, e);
    }
}

void frmDataInput::showAbout()
{
    auto* about = new frmAbout(this);
    about->exec();
}

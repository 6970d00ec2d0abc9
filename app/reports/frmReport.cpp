#include "frmReport.h"

#include "clicklabel.h"
#include "db.h"
#include "dbbind.h"
#include "dbdefects.h"
#include "frmAbout.h"
#include "frmReportViewer.h"
#include "frmSaveRpt.h"
#include "helpers.h"
#include "modCreateReportRatings.h"
#include "modkrv.h"
#include "prompt.h"
#include "report.h"
#include "reportprogress.h"
#include "reportlayouts.h"
#include "uihelpers.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTreeWidget>
#include <algorithm>

namespace {

const QString kSource = QStringLiteral("frmReport");
const QString kEce = QStringLiteral("Element Condition Evaluation");
constexpr double kRowPitch = 330;   // twips between element rows
constexpr double kRowHeight = 285;
constexpr double kViewportHeight = 2970;

template <class W>
W* named(W* w, const QString& name)
{
    w->setObjectName(name);
    return w;
}

QLabel* label(QWidget* parent, const QString& text, const char* name, double l, double t, double w, double h = 255)
{
    auto* lbl = named(new QLabel(text, parent), QLatin1String(name));
    PlaceTwips(lbl, l, t, w, h);
    return lbl;
}

QPushButton* button(QWidget* parent, const QString& text, const char* name, double l, double t, double w)
{
    auto* b = named(new QPushButton(text, parent), QLatin1String(name));
    b->setAutoDefault(false);
    PlaceTwips(b, l, t, w, 375);
    return b;
}

// The chooser's own text, when it shows: the short date with a four-digit year.
QString DateEditFormat()
{
    QString format = QLocale().dateFormat(QLocale::ShortFormat);
    if (!format.contains(QLatin1String("yyyy")))
        format.replace(QLatin1String("yy"), QLatin1String("yyyy"));
    return format;
}

}  // namespace

frmReport::frmReport(QWidget* parent) : KrvForm<QDialog>(QStringLiteral("frmReport"), parent)
{
    setFixedSize(TwipsToPixels(9720), TwipsToPixels(6480));

    auto* bar = new QMenuBar(this);
    bar->setNativeMenuBar(false);
    mnuRpt = named(bar->addMenu(QStringLiteral("&Report")), QStringLiteral("mnuRpt"));
    mnuOpen = named(mnuRpt->addAction(QStringLiteral("&Open Report...")), QStringLiteral("mnuOpen"));
    mnuSave = named(mnuRpt->addAction(QStringLiteral("&Save Report...")), QStringLiteral("mnuSave"));
    mnuDelete = named(mnuRpt->addAction(QStringLiteral("&Delete Report...")), QStringLiteral("mnuDelete"));
    mnuShow = named(mnuRpt->addAction(QStringLiteral("S&how Report")), QStringLiteral("mnuShow"));
    mnuRpt->addSeparator();
    mnuClose = named(mnuRpt->addAction(QStringLiteral("&Close")), QStringLiteral("mnuClose"));
    bar->setGeometry(0, 0, width(), bar->sizeHint().height());
    const double top = PixelsToTwips(bar->sizeHint().height());

    Label6 = label(this, QString(), "Label6", 120, top + 60, 9480, 420);
    Label6->setWordWrap(true);

    lvTunnels = named(new QTreeWidget(this), QStringLiteral("lvTunnels"));
    lvTunnels->setColumnCount(1);
    lvTunnels->setHeaderLabels({QStringLiteral("Available Tunnels")});
    lvTunnels->setRootIsDecorated(false);
    lvTunnels->header()->setSectionsClickable(false);
    PlaceTwips(lvTunnels, 120, top + 540, 3255, 3900);
    cmdSelAll = button(this, QStringLiteral("Select All"), "cmdSelAll", 120, top + 4530, 1575);
    cmdSelNone = button(this, QStringLiteral("Select None"), "cmdSelNone", 1800, top + 4530, 1575);
    cmdInvSel = button(this, QStringLiteral("Invert Selection"), "cmdInvSel", 120, top + 4965, 3255);

    const double areaLeft = 3600, areaTop = top + 540, areaWidth = 6000, areaHeight = 4830;

    // Expenditure criteria.
    picExpenditure = named(new QWidget(this), QStringLiteral("picExpenditure"));
    PlaceTwips(picExpenditure, areaLeft, areaTop, areaWidth, areaHeight);
    label(picExpenditure, QStringLiteral("Fields to Include in Report"), "Label2", 0, 0, 2600);
    static const char* const kFields[4] = {"Category", "Date", "Cost", "Comments"};
    for (int k = 0; k < 4; ++k) {
        chkExpField[k] = named(new QCheckBox(QLatin1String(kFields[k]), picExpenditure), QStringLiteral("chkExpField"));
        PlaceTwips(chkExpField[k], 120, 330 + k * 330, 2100, 285);
    }
    label(picExpenditure, QStringLiteral("Filter By"), "Label3", 2760, 0, 3000);
    cboCategories = named(new QComboBox(picExpenditure), QStringLiteral("cboCategories"));
    PlaceTwips(cboCategories, 3300, 300, 2640, 330);
    dtFromDate = named(new QDateEdit(picExpenditure), QStringLiteral("dtFromDate"));
    dtFromDate->setCalendarPopup(true);
    dtFromDate->setDisplayFormat(DateEditFormat());
    PlaceTwips(dtFromDate, 3300, 720, 2640, 330);
    dtToDate = named(new QDateEdit(picExpenditure), QStringLiteral("dtToDate"));
    dtToDate->setCalendarPopup(true);
    dtToDate->setDisplayFormat(DateEditFormat());
    PlaceTwips(dtToDate, 3300, 1140, 2640, 330);
    label(picExpenditure, QStringLiteral("From"), "Label4", 2760, 765, 540);
    label(picExpenditure, QStringLiteral("To"), "Label5", 2760, 1185, 540);
    label(picExpenditure, QStringLiteral("Min"), "Label7", 2760, 1605, 540);
    label(picExpenditure, QStringLiteral("Max"), "Label8", 2760, 2025, 540);
    // Each criteria box lies over its chooser's edit part, leaving the drop-down button free.
    const double boxTops[5] = {300, 720, 1140, 1560, 1980};
    for (int k = 0; k < 5; ++k) {
        txtExpCriteria[k] = named(new QLineEdit(picExpenditure), QStringLiteral("txtExpCriteria"));
        PlaceTwips(txtExpCriteria[k], 3300, boxTops[k], k < 3 ? 2640 - 300 : 1500, 330);
        txtExpCriteria[k]->raise();
    }
    Frame1 = named(new QGroupBox(QStringLiteral("Group Report By"), picExpenditure), QStringLiteral("Frame1"));
    PlaceTwips(Frame1, 120, 1800, 2100, 1380);
    static const char* const kGroups[3] = {"Category", "Month", "Year"};
    for (int k = 0; k < 3; ++k) {
        optGroupBy[k] = named(new QRadioButton(QLatin1String(kGroups[k]), Frame1), QStringLiteral("optGroupBy"));
        PlaceTwips(optGroupBy[k], 150, 330 + k * 315, 1800, 285);
    }
    optGroupBy[0]->setChecked(true);
    picExpenditure->hide();

    // Defect years.
    picDefect = named(new QWidget(this), QStringLiteral("picDefect"));
    PlaceTwips(picDefect, areaLeft, areaTop, areaWidth, areaHeight);
    label(picDefect, QStringLiteral("Inspection Years"), "Label9", 0, 0, 3000);
    lvDefectDates = named(new QListWidget(picDefect), QStringLiteral("lvDefectDates"));
    PlaceTwips(lvDefectDates, 0, 300, 3000, 4200);
    picDefect->hide();

    // Element rows and rating periods; picElements is the viewport the rows scroll in.
    lblAE = label(this, QStringLiteral("Available Elements"), "lblAE", areaLeft, areaTop, 2700);
    lblRatings = label(this, QStringLiteral("Ratings"), "lblRatings", areaLeft + 3000, areaTop, 1500);
    lblMin = label(this, QStringLiteral("Min"), "lblMin", areaLeft + 3000, areaTop + 270, 600);
    lblMax = label(this, QStringLiteral("Max"), "lblMax", areaLeft + 3700, areaTop + 270, 600);
    picElements = named(new QWidget(this), QStringLiteral("picElements"));
    PlaceTwips(picElements, areaLeft, areaTop + 570, 4500, kViewportHeight);
    picAvailableElements = named(new QWidget(picElements), QStringLiteral("picAvailableElements"));
    PlaceTwips(picAvailableElements, 0, 0, 4500, kViewportHeight);
    VScroll1 = named(new QScrollBar(Qt::Vertical, this), QStringLiteral("VScroll1"));
    PlaceTwips(VScroll1, areaLeft + 4560, areaTop + 570, 255, kViewportHeight);
    VScroll1->setEnabled(false);
    lblRP1 = label(this, QStringLiteral("Rating Period 1"), "lblRP1", areaLeft, areaTop + 3720, 1500);
    cboRP1 = named(new QComboBox(this), QStringLiteral("cboRP1"));
    PlaceTwips(cboRP1, areaLeft + 1560, areaTop + 3660, 1200, 330);
    lblRP2 = label(this, QStringLiteral("Rating Period 2"), "lblRP2", areaLeft, areaTop + 4140, 1500);
    cboRP2 = named(new QComboBox(this), QStringLiteral("cboRP2"));
    PlaceTwips(cboRP2, areaLeft + 1560, areaTop + 4080, 1200, 330);
    for (QWidget* w : std::initializer_list<QWidget*>{lblAE, lblRatings, lblMin, lblMax, picElements, VScroll1, lblRP1,
                                                      cboRP1, lblRP2, cboRP2})
        w->hide();

    Image1 = named(new ClickLabel(QString(), this), QStringLiteral("Image1"));
    Image1->setPixmap(ProgramLogo(TwipsToPixels(480)));
    Image1->setCursor(Qt::PointingHandCursor);
    PlaceTwips(Image1, 120, top + 5460, 480, 480);
    Label1 = named(new ClickLabel(QStringLiteral("Quorrel"), this), QStringLiteral("Label1"));
    Label1->setCursor(Qt::PointingHandCursor);
    PlaceTwips(Label1, 660, top + 5610, 1100, 285);
    cmdReport = button(this, QStringLiteral("Show Report"), "cmdReport", 6420, top + 5520, 1500);
    cmdClose = button(this, QStringLiteral("Close"), "cmdClose", 8100, top + 5520, 1500);

    connect(lvTunnels, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem*, int) { tunnelsChanged(); });
    connect(cmdSelAll, &QPushButton::clicked, this,
            [this] { setTunnelChecks([](QTreeWidgetItem*) { return true; }, true); });
    connect(cmdSelNone, &QPushButton::clicked, this,
            [this] { setTunnelChecks([](QTreeWidgetItem*) { return false; }, true); });
    connect(cmdInvSel, &QPushButton::clicked, this, [this] {
        setTunnelChecks([](QTreeWidgetItem* item) { return item->checkState(0) != Qt::Checked; }, true);
    });
    connect(cboCategories, &QComboBox::activated, this, [this](int) {
        txtExpCriteria[0]->setText(cboCategories->currentText());
        txtExpCriteria[0]->raise();
    });
    connect(dtFromDate, &QDateEdit::userDateChanged, this, [this](QDate d) { showDate(1, d); });
    connect(dtToDate, &QDateEdit::userDateChanged, this, [this](QDate d) { showDate(2, d); });
    connect(cboRP1, &QComboBox::activated, this, [this](int) { LoadPeriods(cboRP2, true); });
    connect(VScroll1, &QScrollBar::valueChanged, this,
            [this](int value) { picAvailableElements->move(0, -TwipsToPixels(value)); });
    connect(lvDefectDates, &QListWidget::itemChanged, this, &frmReport::lvDefectDates_ItemCheck);
    connect(cmdReport, &QPushButton::clicked, this, &frmReport::cmdReport_Click);
    connect(mnuShow, &QAction::triggered, this, &frmReport::cmdReport_Click);
    connect(cmdClose, &QPushButton::clicked, this, [this] { Unload(); });
    connect(mnuClose, &QAction::triggered, this, [this] { Unload(); });
    connect(mnuSave, &QAction::triggered, this, &frmReport::mnuSave_Click);
    connect(mnuOpen, &QAction::triggered, this, &frmReport::mnuOpen_Click);
    connect(mnuDelete, &QAction::triggered, this, &frmReport::mnuDelete_Click);
    connect(Image1, &ClickLabel::clicked, this, &frmReport::showAbout);
    connect(Label1, &ClickLabel::clicked, this, &frmReport::showAbout);
}

// ------------------------------------------------------------------ set-up

void frmReport::GetFormType(const QString& reportKind)
{
    m_kind = reportKind;
    Label6->setText(reportKind == QLatin1String("Defect")
                        ? QStringLiteral("Use the check boxes to select inspection years to be included in the report.")
                        : QStringLiteral("Use the check boxes to select items to be included in the report "
                                         "and the text boxes to filter the results."));
    if (!m_setUp) {
        m_setUp = true;
        setUp();
    }
}

void frmReport::setUp()
{
    setWindowTitle(m_kind + QStringLiteral(" Report Query"));
    {
        // Only a date the user picks goes into its criteria box.
        const QSignalBlocker quietFrom(dtFromDate), quietTo(dtToDate);
        dtFromDate->setDate(QDate::currentDate());
        dtToDate->setDate(QDate::currentDate());
    }
    CheckedDefectYears = {0};
    LoadTunnels();
    if (m_kind.contains(kEce)) {
        LoadPeriods(cboRP1, false);
        LoadPeriods(cboRP2, true);
        LoadElements();
        for (QWidget* w : std::initializer_list<QWidget*>{lblAE, lblRatings, lblMin, lblMax, picElements, VScroll1,
                                                          lblRP1, cboRP1, lblRP2, cboRP2})
            w->show();
    } else if (m_kind.contains(QLatin1String("Expenditure"))) {
        LoadCategories();
        picExpenditure->show();
    } else if (m_kind.contains(QLatin1String("Defect"))) {
        LoadYears();
        CheckedDefectYears.clear();
        {
            const QSignalBlocker quiet(lvDefectDates);
            for (int i = 0; i < lvDefectDates->count(); ++i) {
                lvDefectDates->item(i)->setCheckState(Qt::Checked);
                CheckedDefectYears << qint16(Val(lvDefectDates->item(i)->text()));
            }
        }
        if (CheckedDefectYears.isEmpty())
            CheckedDefectYears = {0};
        picDefect->show();
    }
}

QString frmReport::categoryOfKind() const
{
    return m_kind.left(m_kind.size() - 29);
}

QVector<qint32> frmReport::checkedTunnels() const
{
    QVector<qint32> ids;
    for (int i = 0; i < lvTunnels->topLevelItemCount(); ++i)
        if (lvTunnels->topLevelItem(i)->checkState(0) == Qt::Checked)
            ids << lvTunnels->topLevelItem(i)->data(0, Qt::UserRole).toInt();
    return ids;
}

void frmReport::LoadTunnels()
{
    try {
        const QSignalBlocker quiet(lvTunnels);
        lvTunnels->clear();
        lvTunnels->setColumnWidth(0, lvTunnels->width() - TwipsToPixels(75));
        const RowSet rows = gConn.query(
            QStringLiteral("SELECT TunnelID, TunnelName FROM Tunnels WHERE TunnelName IS NOT NULL"))
                                 .sortedByName(QStringLiteral("TunnelName"));
        for (int i = 0; i < rows.count(); ++i) {
            auto* item = new QTreeWidgetItem(lvTunnels, {rows.value(i, QStringLiteral("TunnelName")).toString()});
            item->setData(0, Qt::UserRole, rows.value(i, QStringLiteral("TunnelID")));
            item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
            item->setCheckState(0, Qt::Checked);
        }
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error loading Tunnels."), kSource, e);
    }
}

void frmReport::LoadCategories()
{
    try {
        cboCategories->clear();
        cboCategories->addItem(QString());
        const RowSet rows = gConn.query(QStringLiteral(
            "SELECT CategoryID, Category FROM ExpenditureCats WHERE Category IS NOT NULL"))
                                 .sortedByName(QStringLiteral("Category"));
        for (int i = 0; i < rows.count(); ++i)
            cboCategories->addItem(rows.value(i, QStringLiteral("Category")).toString(),
                                   rows.value(i, QStringLiteral("CategoryID")));
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error loading Categories."), kSource, e);
    }
}

void frmReport::LoadYears()
{
    const QSignalBlocker quiet(lvDefectDates);
    lvDefectDates->clear();
    const QVector<qint32> tunnels = checkedTunnels();
    if (tunnels.isEmpty())
        return;
    try {
        const RowSet rows = gConn.query(QStringLiteral("SELECT DISTINCT InspectionYear FROM InspectionPeriod "
                                                       "WHERE TunnelID IN (%1) AND InspectionYear IS NOT NULL "
                                                       "ORDER BY InspectionYear")
                                            .arg(Placeholders(tunnels.size())),
                                        IdBinds(tunnels));
        for (int i = 0; i < rows.count(); ++i) {
            auto* item = new QListWidgetItem(rows.value(i, QStringLiteral("InspectionYear")).toString(), lvDefectDates);
            item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
            const qint16 year = qint16(Val(item->text()));
            item->setCheckState(CheckedDefectYears.contains(year) && year != 0 ? Qt::Checked : Qt::Unchecked);
        }
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error selecting defect quantity item"), kSource, e);
    }
}

void frmReport::LoadPeriods(QComboBox* box, bool second)
{
    box->clear();
    const QVector<qint32> tunnels = checkedTunnels();
    if (tunnels.isEmpty())
        return;
    try {
        box->addItem(QString());
        // Periods of the checked tunnels that have posted ratings.
        const QString in = Placeholders(tunnels.size());
        const RowSet rows = gConn.query(
            QStringLiteral("SELECT DISTINCT ip.InspectionYear FROM InspectionPeriod ip WHERE ip.TunnelID IN (%1) "
                           "AND ip.InspectionYear IS NOT NULL AND EXISTS (SELECT 1 FROM RatingsPosted r "
                           "WHERE r.InspectionID = ip.InspectionID AND r.PanelID IN "
                           "(SELECT PanelID FROM Panels WHERE TunnelID IN (%1))) ORDER BY ip.InspectionYear")
                .arg(in),
            IdBinds(tunnels) + IdBinds(tunnels));
        for (int i = 0; i < rows.count(); ++i)
            box->addItem(rows.value(i, QStringLiteral("InspectionYear")).toString());
    } catch (const std::exception& e) {
        LogError(second ? QStringLiteral("Error Loading Rating Periods 2 box.")
                        : QStringLiteral("Error Loading Rating Periods 1 box."),
                 kSource, e);
    }
}

void frmReport::clearElementRows()
{
    for (int i = 0; i < chkElement.size(); ++i) {
        m_bounds.insert(chkElement[i]->property("ElementID").toInt(),
                        {txtRatingMin[i]->text(), txtRatingMax[i]->text()});
        delete chkElement[i];
        delete txtRatingMin[i];
        delete txtRatingMax[i];
    }
    chkElement.clear();
    txtRatingMin.clear();
    txtRatingMax.clear();
}

void frmReport::LoadElements()
{
    clearElementRows();
    picAvailableElements->resize(picAvailableElements->width(), picElements->height());
    picAvailableElements->move(0, 0);
    VScroll1->setRange(0, 0);
    VScroll1->setEnabled(false);
    const QVector<qint32> tunnels = checkedTunnels();
    if (tunnels.isEmpty())
        return;
    try {
        const QVariant category = gConn.scalar(
            QStringLiteral("SELECT EleCategoryID FROM ElementCategory WHERE EleCategoryName = ?"), {categoryOfKind()});
        const RowSet rows = gConn.query(
            QStringLiteral("SELECT DISTINCT AvailableElements.ElementID, AvailableElements.ElementName FROM Tunnels "
                           "INNER JOIN (Panels INNER JOIN (AvailableElements INNER JOIN PanelElements ON "
                           "AvailableElements.ElementID = PanelElements.ElementID) ON Panels.PanelID = "
                           "PanelElements.PanelID) ON Tunnels.TunnelID = Panels.TunnelID WHERE Tunnels.TunnelID IN (%1) "
                           "AND AvailableElements.ElementCategory = ?")
                .arg(Placeholders(tunnels.size())),
            IdBinds(tunnels) << (category.isNull() ? 0 : category.toInt()))
                                 .sortedByName(QStringLiteral("ElementName"));
        for (int i = 0; i < rows.count(); ++i) {
            const qint32 id = rows.toInt(i, QStringLiteral("ElementID"));
            const QString name = rows.value(i, QStringLiteral("ElementName")).toString();
            auto* chk = named(new QCheckBox(ShownName(name), picAvailableElements), QStringLiteral("chkElement"));
            chk->setProperty("ElementID", id);
            chk->setProperty("ElementName", name);
            chk->setChecked(true);
            PlaceTwips(chk, 60, i * kRowPitch, 2880, kRowHeight);
            auto* min = named(new QLineEdit(picAvailableElements), QStringLiteral("txtRatingMin"));
            PlaceTwips(min, 3000, i * kRowPitch, 600, kRowHeight);
            auto* max = named(new QLineEdit(picAvailableElements), QStringLiteral("txtRatingMax"));
            PlaceTwips(max, 3700, i * kRowPitch, 600, kRowHeight);
            if (m_bounds.contains(id)) {
                min->setText(m_bounds[id].first);
                max->setText(m_bounds[id].second);
            }
            for (QWidget* w : std::initializer_list<QWidget*>{chk, min, max})
                w->show();
            chkElement << chk;
            txtRatingMin << min;
            txtRatingMax << max;
        }
        const double lastTop = (rows.count() - 1) * kRowPitch;
        const double viewport = PixelsToTwips(picElements->height());
        if (rows.count() > 0 && lastTop + kRowHeight > viewport) {
            const double panel = lastTop + kRowHeight + 125;
            picAvailableElements->resize(picAvailableElements->width(), TwipsToPixels(panel));
            const int range = int(RoundHalfEven(panel - viewport));
            VScroll1->setRange(0, range);
            VScroll1->setPageStep(int(RoundHalfEven(range / 5.0)));
            VScroll1->setSingleStep(int(RoundHalfEven(range / 20.0)));
            VScroll1->setValue(0);
            VScroll1->setEnabled(true);
        }
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error loading Available Elements."), kSource, e);
    }
}

void frmReport::tunnelsChanged()
{
    // Only the element condition evaluation shows element rows and periods.
    if (m_kind.contains(kEce)) {
        LoadElements();
        LoadPeriods(cboRP1, false);
        LoadPeriods(cboRP2, true);
    }
    if (m_kind == QLatin1String("Defect"))
        LoadYears();
}

void frmReport::setTunnelChecks(const std::function<bool(QTreeWidgetItem*)>& checked, bool runHandler)
{
    {
        const QSignalBlocker quiet(lvTunnels);
        for (int i = 0; i < lvTunnels->topLevelItemCount(); ++i) {
            QTreeWidgetItem* item = lvTunnels->topLevelItem(i);
            item->setCheckState(0, checked(item) ? Qt::Checked : Qt::Unchecked);
        }
    }
    if (runHandler)
        tunnelsChanged();
}

void frmReport::lvDefectDates_ItemCheck(QListWidgetItem* item)
{
    try {
        const qint16 year = qint16(Val(item->text()));
        if (item->checkState() == Qt::Checked) {
            if (CheckedDefectYears.size() == 1 && CheckedDefectYears[0] == 0)
                CheckedDefectYears[0] = year;
            else
                CheckedDefectYears << year;
        } else {
            const int at = int(CheckedDefectYears.lastIndexOf(year));
            if (at >= 0) {
                if (CheckedDefectYears.size() == 1)
                    CheckedDefectYears[0] = 0;
                else
                    CheckedDefectYears.remove(at);
            }
        }
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error selecting defect quantity item"), kSource, e);
    }
}

void frmReport::showAbout() { (new frmAbout(this))->exec(); }

void frmReport::showDate(int box, const QDate& date)
{
    m_picked[box] = date;
    m_pickedText[box] = date.isValid() ? CriteriaDateText(date) : QString();
    txtExpCriteria[box]->setText(m_pickedText[box]);
    txtExpCriteria[box]->raise();
}

void frmReport::FormUnload()
{
    if (m_kind.contains(kEce)) {
        WaitCursor wait;
        ClearReportDatabase(kSource);
    }
    RestoreDefaultCursor();
}

// ------------------------------------------------------------------ criteria

ExpenditureCriteria frmReport::expenditureCriteria() const
{
    ExpenditureCriteria c;
    for (int k = 0; k < 4; ++k)
        c.fields[k] = chkExpField[k]->isChecked();
    for (int k = 0; k < 5; ++k)
        c.filters[k] = txtExpCriteria[k]->text();
    // A chosen date stays that date while its box shows it; an edited box is read again.
    for (int k : {1, 2})
        if (m_picked[k].isValid() && c.filters[k] == m_pickedText[k])
            c.picked[k] = m_picked[k];
    return c;
}

int frmReport::groupBy() const
{
    return optGroupBy[0]->isChecked() ? 0 : optGroupBy[1]->isChecked() ? 1 : 2;
}

int frmReport::checkedElementCount() const
{
    int n = 0;
    for (QCheckBox* c : chkElement)
        n += c->isChecked() ? 1 : 0;
    return n;
}

bool frmReport::WantsLandscape(int checkedElements, bool bothPeriods)
{
    return bothPeriods ? checkedElements > 7 : checkedElements >= 15;
}

bool frmReport::boundsRead()
{
    // Every row's bounds count, checked or not: a bound of an unchecked element still removes panels.
    for (int i = 0; i < chkElement.size(); ++i) {
        for (QLineEdit* box : {txtRatingMin[i], txtRatingMax[i]}) {
            const QString text = box->text().trimmed();
            if (text.isEmpty())
                continue;
            const std::optional<double> v = ReadCriteriaNumber(text);
            if (v && *v >= 0 && *v <= 9)
                continue;
            MsgBox(QStringLiteral("The %1 rating of the element '%2' must be a number from 0 to 9.")
                       .arg(box == txtRatingMin[i] ? QStringLiteral("Min") : QStringLiteral("Max"),
                            chkElement[i]->property("ElementName").toString()),
                   MsgButtons::Ok, MsgIcon::None, QStringLiteral("Invalid Rating Entered"));
            box->setFocus();
            box->selectAll();
            return false;
        }
    }
    return true;
}

// ------------------------------------------------------------------ show report

void frmReport::cmdReport_Click()
{
    auto refuse = [](const QString& text, const QString& title) {
        MsgBox(text, MsgButtons::Ok, MsgIcon::None, title);
    };
    try {
        if (m_kind.contains(kEce) && !OpenReportConnection())
            return;
        const QVector<qint32> tunnels = checkedTunnels();
        if (tunnels.isEmpty())
            return refuse(QStringLiteral("You must select at least one Tunnel to run a report."),
                          QStringLiteral("No Tunnel Selected"));

        QStringList fields;
        FilterTerms terms;
        const ExpenditureCriteria criteria = expenditureCriteria();
        if (m_kind == QLatin1String("Expenditure")) {
            if (!std::any_of(criteria.fields.begin(), criteria.fields.end(), [](bool on) { return on; }))
                return refuse(QStringLiteral("You must select at least one field to appear on the Expenditure Report"),
                              QStringLiteral("No Fields Selected"));
            static const char* const kDateMessages[2] = {"You must enter a vaild date for the From Date.",
                                                         "You must enter a vaild date for the To Date."};
            for (int k : {1, 2})
                if (!criteria.filters[k].trimmed().isEmpty() && !CriteriaDate(criteria, k))
                    return refuse(QLatin1String(kDateMessages[k - 1]), QStringLiteral("Invalid Date Entered"));
            static const char* const kCostMessages[2] = {"You must enter a vaild numeric value for the Minimum Cost.",
                                                         "You must enter a vaild numeric value for the Maximum Cost."};
            for (int k : {3, 4})
                if (!criteria.filters[k].trimmed().isEmpty() && !ReadCriteriaNumber(criteria.filters[k]))
                    return refuse(QLatin1String(kCostMessages[k - 3]), QStringLiteral("Invalid Cost Entered"));
            fields = ExpenditureFieldList(criteria, groupBy());
            terms = ExpenditureFilterTerms(criteria);
        } else if (m_kind.contains(kEce)) {
            if (cboRP1->currentText().trimmed().isEmpty() && cboRP2->currentText().trimmed().isEmpty())
                return refuse(QStringLiteral("You must select at least one Rating Period to print the Tunnel Report"),
                              QStringLiteral("No Rating Period Selected"));
            if (checkedElementCount() == 0)
                return refuse(QStringLiteral("You must select at least one Element to print the Tunnel Report"),
                              QStringLiteral("No Element Selected"));
            if (!boundsRead())
                return;
            WaitCursor wait;
            ReportRatingsSelection selection;
            selection.tunnelIDs = tunnels;
            selection.period1 = cboRP1->currentText();
            selection.period2 = cboRP2->currentText();
            for (int i = 0; i < chkElement.size(); ++i)
                selection.elements.append({chkElement[i]->property("ElementID").toInt(), chkElement[i]->isChecked(),
                                           txtRatingMin[i]->text(), txtRatingMax[i]->text()});
            if (!CreateReportRatings(selection))
                return;  // said already; no report of another build is shown
            fields = {QStringLiteral("*")};
        } else if (m_kind == QLatin1String("Defect")) {
            QVector<qint32> years;
            for (int i = 0; i < lvDefectDates->count(); ++i)
                if (lvDefectDates->item(i)->checkState() == Qt::Checked)
                    years << qint32(Val(lvDefectDates->item(i)->text()));
            if (years.isEmpty())
                return refuse(QStringLiteral("You must select at least one year to be included in the report."),
                              QStringLiteral("Show Report"));
            bool ready = false;
            {
                WaitCursor wait;
                ReportWork work(QStringLiteral("Preparing the report..."));
                ready = showInViewer(BuildReport({}, tunnels, years, QStringLiteral("Defect"), QString()),
                                     QStringLiteral("Defect"));
            }
            RestoreDefaultCursor();
            if (ready)
                ReportViewer()->exec();
            return;
        }

        bool ready = false;
        {
            WaitCursor wait;
            ReportWork work(QStringLiteral("Preparing the report..."));
            const QString sql = BuildReportQuery(m_kind, tunnels, fields, terms, criteria);
            if (sql.isEmpty())
                throw KrvError(-1, QStringLiteral("There is no report of the kind \"%1\".").arg(m_kind));
            const QString grouping = !m_kind.contains(QLatin1String("Expenditure")) ? QString()
                                     : groupBy() == 0                               ? QStringLiteral("Category")
                                     : groupBy() == 1                               ? QStringLiteral("Month")
                                                                                    : QStringLiteral("Year");
            ready = showInViewer(BuildReport(sql, tunnels, {}, m_kind, grouping), m_kind);
        }
        RestoreDefaultCursor();
        if (ready)
            ReportViewer()->exec();
    } catch (const ReportCancelled&) {
        RestoreDefaultCursor();  // the user stopped it: nothing shown, nothing to say
    } catch (const std::exception& e) {
        RestoreDefaultCursor();
        LogError(QStringLiteral("Error creating report in module BuildReport."), kSource, e);
    }
}

std::shared_ptr<Report> frmReport::BuildReport(const QString& sql, const QVector<qint32>& tunnels,
                                               const QVector<qint32>& years, const QString& kind,
                                               const QString& grouping)
{
    try {
        std::shared_ptr<Report> report;
        if (m_kind.contains(QLatin1String("Expenditure")))
            report = BuildExpenditureReport(DataTable::fromQuery(gConn, sql), grouping);
        else if (m_kind.contains(kEce))
            report = BuildElementConditionReport(gReportConn.query(sql),
                                                 gReportConn.query(QStringLiteral("SELECT * FROM Tunnels")), m_kind);
        else if (m_kind.contains(QLatin1String("PreDataPost")))
            return nullptr;
        else if (m_kind.contains(QLatin1String("Defect")))
            report = BuildDefectReport(DataTable::fromRowSet(DbGetDefectReportRows(tunnels, years)), years);
        if (report && kind != QLatin1String("Defect")) {
            const bool both = !cboRP1->currentText().trimmed().isEmpty() && !cboRP2->currentText().trimmed().isEmpty();
            // Only the element condition evaluation has element rows to widen the page for.
            const int n = m_kind.contains(kEce) ? checkedElementCount() : 0;
            CheckReportWidth(*report, WantsLandscape(n, both), m_kind);
        }
        return report;
    } catch (const ReportCancelled&) {
        throw;
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error creating report in module BuildReport."), kSource, e);
        return nullptr;
    }
}

bool frmReport::showInViewer(const std::shared_ptr<Report>& report, const QString& kind)
{
    if (!report)
        return false;
    frmReportViewer* viewer = ReportViewer();
    viewer->GetReportType(kind);
    if (!viewer->SetReport(report))
        throw ReportCancelled();
    return true;
}

void frmReport::CreateUnpostedDataRpt(qint32 TunnelID, qint32 InspectionID, const QString&)
{
    // The caller reports a failure; the viewer then holds no report, never an older one.
    frmReportViewer::ClearReport();
    try {
        HandReportToViewer(BuildUnpostedDataReport(TunnelID, InspectionID));
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error creating report in module BuildReport."), kSource, e);
    }
}

// ------------------------------------------------------------------ saved definitions

bool frmReport::askName(const char* load)
{
    auto* dialog = new frmSaveRpt(this);
    QMetaObject::invokeMethod(dialog, load, Q_ARG(QObject*, this), Q_ARG(QString, m_kind));
    // False too when this window was closed meanwhile: nothing goes on then.
    return OutlivesLoop(this, [&] { dialog->exec(); }) && !RptName.isEmpty();
}

namespace {

// A save found other definitions of its name than the user agreed to replace.
struct DefinitionsChanged {
    QVariantList keys;
};

}  // namespace

void frmReport::mnuSave_Click()
{
    try {
        RptKeys.clear();
        if (!askName("LoadSave"))
            return;
        for (;;) {
            try {
                if (m_kind.contains(QLatin1String("Expenditure")))
                    SaveExpenditureRpt();
                else if (m_kind.contains(kEce))
                    SaveTunnelRpt();
                else if (m_kind.contains(QLatin1String("Defect")))
                    SaveDefectRpt();
                return;
            } catch (const DefinitionsChanged& changed) {
                // Rolled back: asked with no transaction open, then saved again.
                if (MsgBox(QStringLiteral("The report '%1' was saved by another user after you chose the name. "
                                          "Replace it with yours?")
                               .arg(RptName),
                           MsgButtons::YesNo, MsgIcon::Question, QStringLiteral("Save Report")) != MsgAnswer::Yes)
                    return;
                RptKeys = changed.keys;
            }
        }
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error saving report"), kSource, e);
    }
}

void frmReport::mnuOpen_Click()
{
    try {
        if (!askName("LoadOpen"))
            return;
        if (m_kind.contains(QLatin1String("Expenditure")))
            OpenExpenditureRpt();
        else if (m_kind.contains(kEce))
            OpenTunnelRpt();
        else if (m_kind.contains(QLatin1String("Defect")))
            OpenDefectRpt();
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error opening report"), kSource, e);
    }
}

void frmReport::mnuDelete_Click()
{
    try {
        RptKeys.clear();
        if (askName("LoadDelete"))
            DeleteRpt();
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error deleting report"), kSource, e);
    }
}

namespace {

// The keys of the definitions a name stands for: names are the same as the program's names
// are (SameName), the one written exactly first.
QVector<qint64> definitionKeys(const QString& table, const QString& name)
{
    QVector<qint64> keys;
    const RowSet rows = gConn.query(QStringLiteral("SELECT ID, Name FROM %1 ORDER BY ID").arg(table));
    for (int i = 0; i < rows.count(); ++i) {
        const QString stored = rows.value(i, QStringLiteral("Name")).toString();
        if (stored == name)
            keys.prepend(rows.value(i, QStringLiteral("ID")).toLongLong());
        else if (SameName(stored, name))
            keys.append(rows.value(i, QStringLiteral("ID")).toLongLong());
    }
    return keys;
}

void deleteDefinitions(const QString& table, const QStringList& children, const QVector<qint64>& keys)
{
    for (qint64 key : keys) {
        for (const QString& child : children)
            gConn.exec(QStringLiteral("DELETE FROM %1 WHERE ID = ?").arg(child), {key});
        gConn.exec(QStringLiteral("DELETE FROM %1 WHERE ID = ?").arg(table), {key});
    }
}

// The parent row of a definition under a new key, after the old one of that name and its
// child rows are gone; the key is the one the database gave the new row. Only the
// definitions the user agreed to replace go: raises DefinitionsChanged when the name stands
// for others now.
qint64 replaceDefinition(const QString& table, const QStringList& children,
                         const QVector<QPair<QString, QVariant>>& values, const QVariantList& agreed)
{
    const QString name = values.first().second.toString();
    const QVector<qint64> keys = definitionKeys(table, name);
    QVector<qint64> sortedKeys = keys;
    std::sort(sortedKeys.begin(), sortedKeys.end());
    QVector<qint64> sortedAgreed;
    for (const QVariant& k : agreed)
        sortedAgreed << k.toLongLong();
    std::sort(sortedAgreed.begin(), sortedAgreed.end());
    if (sortedKeys != sortedAgreed) {
        QVariantList now;
        for (qint64 k : keys)
            now << k;
        throw DefinitionsChanged{now};
    }
    deleteDefinitions(table, children, keys);
    const qint64 key = gConn.insertAutoNumber(table, values);
    for (const QString& child : children)
        gConn.exec(QStringLiteral("DELETE FROM %1 WHERE ID = ?").arg(child), {key});
    return key;
}

void saveTunnels(const QString& table, qint64 key, const QVector<qint32>& tunnels)
{
    for (qint32 t : tunnels)
        gConn.exec(QStringLiteral("INSERT INTO %1 (ID, TunnelID) VALUES (?, ?)").arg(table), {key, t});
}

QVariant dateOrNull(const std::optional<QDate>& d)
{
    return d ? QVariant(d->toString(Qt::ISODate)) : QVariant();
}

QVariant numberOrNull(const QString& text)
{
    const auto v = ReadCriteriaNumber(text);
    return v ? QVariant(*v) : QVariant();
}

QString textOf(const QVariant& v)
{
    if (v.isNull())
        return QString();
    return QLocale().toString(v.toDouble(), 'g', 15);
}

// Rows of a definition's child table, as a set of one column's values.
QSet<qint64> childValues(const QString& table, const QString& column, qint64 key)
{
    QSet<qint64> out;
    const RowSet rows = gConn.query(QStringLiteral("SELECT %1 FROM %2 WHERE ID = ?").arg(column, table), {key});
    for (int i = 0; i < rows.count(); ++i)
        out.insert(rows.value(i, 0).toLongLong());
    return out;
}

}  // namespace

void frmReport::SaveExpenditureRpt()
{
    const ExpenditureCriteria criteria = expenditureCriteria();
    TxGuard tx;
    const QVariant filterBy = cboCategories->currentIndex() > 0 ? cboCategories->currentData() : QVariant();
    const qint64 key = replaceDefinition(
        QStringLiteral("ExpenditureRpt"), {QStringLiteral("ExpenditureRptTunnels")},
        {{QStringLiteral("Name"), RptName},
         {QStringLiteral("FCategory"), BoolToBit(chkExpField[0]->isChecked())},
         {QStringLiteral("FDate"), BoolToBit(chkExpField[1]->isChecked())},
         {QStringLiteral("FCost"), BoolToBit(chkExpField[2]->isChecked())},
         {QStringLiteral("FComments"), BoolToBit(chkExpField[3]->isChecked())},
         {QStringLiteral("FilterBy"), filterBy.isValid() && !filterBy.isNull() ? filterBy : QVariant()},
         {QStringLiteral("DateFrom"), dateOrNull(CriteriaDate(criteria, 1))},
         {QStringLiteral("DateTo"), dateOrNull(CriteriaDate(criteria, 2))},
         {QStringLiteral("Min"), numberOrNull(txtExpCriteria[3]->text())},
         {QStringLiteral("Max"), numberOrNull(txtExpCriteria[4]->text())},
         {QStringLiteral("GroupBy"), optGroupBy[groupBy()]->text()}},
        RptKeys);
    saveTunnels(QStringLiteral("ExpenditureRptTunnels"), key, checkedTunnels());
    tx.commit();
}

void frmReport::SaveTunnelRpt()
{
    TxGuard tx;
    auto period = [](QComboBox* box) {
        return box->currentIndex() > 0 && !box->currentText().trimmed().isEmpty() ? QVariant(box->currentText().toInt())
                                                                                  : QVariant();
    };
    const qint64 key = replaceDefinition(QStringLiteral("TunnelRpt"),
                                         {QStringLiteral("TunnelRptTunnels"), QStringLiteral("TunnelRptElements")},
                                         {{QStringLiteral("Name"), RptName},
                                          {QStringLiteral("RatingPd1"), period(cboRP1)},
                                          {QStringLiteral("RatingPd2"), period(cboRP2)}},
                                         RptKeys);
    saveTunnels(QStringLiteral("TunnelRptTunnels"), key, checkedTunnels());
    for (int i = 0; i < chkElement.size(); ++i) {
        const QString min = txtRatingMin[i]->text(), max = txtRatingMax[i]->text();
        if (!chkElement[i]->isChecked() && min.isEmpty() && max.isEmpty())
            continue;
        gConn.exec(QStringLiteral("INSERT INTO TunnelRptElements (ID, ElementID, Include, Min, Max) VALUES (?, ?, ?, ?, ?)"),
                   {key, chkElement[i]->property("ElementID"), BoolToBit(chkElement[i]->isChecked()),
                    numberOrNull(min), numberOrNull(max)});
    }
    tx.commit();
}

void frmReport::SaveDefectRpt()
{
    TxGuard tx;
    const qint64 key = replaceDefinition(QStringLiteral("DefectRpt"),
                                         {QStringLiteral("DefectRptTunnels"), QStringLiteral("DefectRptInspections")},
                                         {{QStringLiteral("Name"), RptName}}, RptKeys);
    saveTunnels(QStringLiteral("DefectRptTunnels"), key, checkedTunnels());
    for (int i = 0; i < lvDefectDates->count(); ++i)
        if (lvDefectDates->item(i)->checkState() == Qt::Checked)
            gConn.exec(QStringLiteral("INSERT INTO DefectRptInspections (ID, InspYear) VALUES (?, ?)"),
                       {key, qint32(Val(lvDefectDates->item(i)->text()))});
    tx.commit();
}

bool frmReport::OpenExpenditureRpt()
{
    const QVector<qint64> keys = definitionKeys(QStringLiteral("ExpenditureRpt"), RptName);
    const RowSet def = keys.isEmpty() ? RowSet()
                                      : gConn.query(QStringLiteral("SELECT * FROM ExpenditureRpt WHERE ID = ?"), {keys.first()});
    if (def.isEmpty()) {
        MsgBox(QStringLiteral("Could not find Report '") + RptName + QLatin1Char('\''), MsgButtons::Ok, MsgIcon::Warning,
               QStringLiteral("Open Report"));
        return false;
    }
    const qint64 key = def.value(0, QStringLiteral("ID")).toLongLong();
    static const char* const kColumns[4] = {"FCategory", "FDate", "FCost", "FComments"};
    for (int k = 0; k < 4; ++k)
        chkExpField[k]->setChecked(def.value(0, QLatin1String(kColumns[k])).toInt() != 0);
    if (!def.isNull(0, QStringLiteral("FilterBy"))) {
        const int at = cboCategories->findData(def.value(0, QStringLiteral("FilterBy")).toInt());
        if (at >= 0) {
            cboCategories->setCurrentIndex(at);
            txtExpCriteria[0]->setText(cboCategories->currentText());
        }
    }
    for (const auto& [box, column] : {std::pair{1, QStringLiteral("DateFrom")}, std::pair{2, QStringLiteral("DateTo")}}) {
        const QString stored = def.value(0, column).toString();
        const QDate d = QDate::fromString(stored, Qt::ISODate);
        showDate(box, d);
        if (d.isValid()) {
            const QSignalBlocker quiet(box == 1 ? dtFromDate : dtToDate);
            (box == 1 ? dtFromDate : dtToDate)->setDate(d);
        } else {
            txtExpCriteria[box]->setText(stored);
        }
    }
    txtExpCriteria[3]->setText(textOf(def.value(0, QStringLiteral("Min"))));
    txtExpCriteria[4]->setText(textOf(def.value(0, QStringLiteral("Max"))));
    for (QRadioButton* opt : optGroupBy)
        if (opt->text() == def.value(0, QStringLiteral("GroupBy")).toString()) {
            opt->setChecked(true);
            break;
        }
    const QSet<qint64> tunnels = childValues(QStringLiteral("ExpenditureRptTunnels"), QStringLiteral("TunnelID"), key);
    setTunnelChecks([&](QTreeWidgetItem* item) { return tunnels.contains(item->data(0, Qt::UserRole).toLongLong()); },
                    true);
    return true;
}

bool frmReport::OpenTunnelRpt()
{
    const QVector<qint64> keys = definitionKeys(QStringLiteral("TunnelRpt"), RptName);
    const RowSet def = keys.isEmpty() ? RowSet()
                                      : gConn.query(QStringLiteral("SELECT * FROM TunnelRpt WHERE ID = ?"), {keys.first()});
    if (def.isEmpty()) {
        MsgBox(QStringLiteral("Could not find Report '") + RptName + QLatin1Char('\''), MsgButtons::Ok, MsgIcon::Warning,
               QStringLiteral("Open Report"));
        return false;
    }
    const qint64 key = def.value(0, QStringLiteral("ID")).toLongLong();
    const QSet<qint64> tunnels = childValues(QStringLiteral("TunnelRptTunnels"), QStringLiteral("TunnelID"), key);
    // The tunnels first, so the element rows and periods are those of the definition's tunnels.
    setTunnelChecks([&](QTreeWidgetItem* item) { return tunnels.contains(item->data(0, Qt::UserRole).toLongLong()); },
                    true);
    for (const auto& [column, box] : {std::pair{QStringLiteral("RatingPd1"), cboRP1},
                                      std::pair{QStringLiteral("RatingPd2"), cboRP2}}) {
        if (def.isNull(0, column))
            continue;
        const int at = box->findText(def.value(0, column).toString());
        if (at >= 0) {
            box->setCurrentIndex(at);
            if (box == cboRP1)
                LoadPeriods(cboRP2, true);
        }
    }
    const RowSet elements =
        gConn.query(QStringLiteral("SELECT ElementID, Include, Min, Max FROM TunnelRptElements WHERE ID = ?"), {key});
    for (int i = 0; i < chkElement.size(); ++i) {
        const RowSet row = elements.filtered(QStringLiteral("ElementID"), chkElement[i]->property("ElementID"));
        if (row.isEmpty()) {
            chkElement[i]->setChecked(false);
            continue;
        }
        chkElement[i]->setChecked(row.value(0, QStringLiteral("Include")).toInt() != 0);
        if (!row.isNull(0, QStringLiteral("Min")))
            txtRatingMin[i]->setText(textOf(row.value(0, QStringLiteral("Min"))));
        if (!row.isNull(0, QStringLiteral("Max")))
            txtRatingMax[i]->setText(textOf(row.value(0, QStringLiteral("Max"))));
    }
    return true;
}

bool frmReport::OpenDefectRpt()
{
    const QVector<qint64> keys = definitionKeys(QStringLiteral("DefectRpt"), RptName);
    const RowSet def = keys.isEmpty() ? RowSet()
                                      : gConn.query(QStringLiteral("SELECT * FROM DefectRpt WHERE ID = ?"), {keys.first()});
    if (def.isEmpty()) {
        MsgBox(QStringLiteral("Could not find Report '") + RptName + QLatin1Char('\''), MsgButtons::Ok, MsgIcon::Warning,
               QStringLiteral("Open Report"));
        return false;
    }
    const qint64 key = def.value(0, QStringLiteral("ID")).toLongLong();
    const QSet<qint64> tunnels = childValues(QStringLiteral("DefectRptTunnels"), QStringLiteral("TunnelID"), key);
    setTunnelChecks([&](QTreeWidgetItem* item) { return tunnels.contains(item->data(0, Qt::UserRole).toLongLong()); },
                    true);
    const QSet<qint64> years = childValues(QStringLiteral("DefectRptInspections"), QStringLiteral("InspYear"), key);
    for (int i = 0; i < lvDefectDates->count(); ++i) {
        QListWidgetItem* item = lvDefectDates->item(i);
        const bool want = years.contains(qint64(Val(item->text())));
        if (want != (item->checkState() == Qt::Checked))
            item->setCheckState(want ? Qt::Checked : Qt::Unchecked);  // runs the year handler
    }
    return true;
}

void frmReport::DeleteRpt()
{
    const QString table = frmSaveRpt::DefinitionTable(m_kind);
    QStringList children;
    if (table == QLatin1String("ExpenditureRpt"))
        children = {QStringLiteral("ExpenditureRptTunnels")};
    else if (table == QLatin1String("TunnelRpt"))
        children = {QStringLiteral("TunnelRptTunnels"), QStringLiteral("TunnelRptElements")};
    else if (table == QLatin1String("DefectRpt"))
        children = {QStringLiteral("DefectRptTunnels"), QStringLiteral("DefectRptInspections")};
    else
        return;
    // The definitions the user agreed to remove, not one saved under the name since.
    QVector<qint64> keys;
    for (const QVariant& key : RptKeys)
        keys << key.toLongLong();
    TxGuard tx;
    deleteDefinitions(table, children, keys);
    tx.commit();
}

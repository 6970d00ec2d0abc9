#include "frmPrintKeyplan.h"

#include "dbdefects.h"
#include "dbinspection.h"
#include "dbrecords.h"
#include "frmPrintPreview.h"
#include "helpers.h"
#include "krverror.h"
#include "lookups.h"
#include "modkrv.h"
#include "printfile.h"
#include "prompt.h"
#include "reportlayout.h"
#include "savefile.h"
#include "uihelpers.h"
#include "zvmap.h"

#include <QDate>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPrinter>
#include <QPushButton>
#include <QRegularExpression>
#include <QVBoxLayout>

#include <limits>
#include <memory>
#include <optional>

namespace {

const QString kSource = QStringLiteral("frmPrintKeyplan");
const QString kDataInput = QStringLiteral("frmDataInput");
const QString kDataView = QStringLiteral("frmDataView");
const QString kPreview = QStringLiteral("frmPrintPreview");
constexpr double kChar = KeyplanTarget::kCharUnit;

double Round(double v) { return RoundHalfEven(v); }

// Element `index` of a control array of the caller: the child of that name whose "Index"
// is index (a lone control without an index counts as element 0).
QWidget* ArrayElement(QObject* caller, const QString& name, int index)
{
    const QList<QWidget*> all = caller->findChildren<QWidget*>(name);
    for (QWidget* w : all) {
        const QVariant i = w->property("Index");
        if ((i.isValid() ? i.toInt() : 0) == index)
            return w;
    }
    return nullptr;
}

// The greatest index of a control array, -1 when it has no element.
int UpperBound(QObject* caller, const QString& name)
{
    int ub = -1;
    for (QWidget* w : caller->findChildren<QWidget*>(name)) {
        const QVariant i = w->property("Index");
        ub = std::max(ub, i.isValid() ? i.toInt() : 0);
    }
    return ub;
}

// A label's caption or a box's text; "" for an element the caller does not have.
QString Caption(const QWidget* w) { return w ? w->property("text").toString() : QString(); }

QString ElementCaption(QObject* caller, const QString& name, int index)
{
    return Caption(ArrayElement(caller, name, index));
}

// A stored number as it prints: 12.5, 3, -0.25.
QString PlainValue(const QVariant& v)
{
    if (v.isNull())
        return QString();
    bool ok = false;
    const double d = v.toDouble(&ok);
    if (ok && (v.typeId() == QMetaType::Double || v.typeId() == QMetaType::Float))
        return QString::number(d, 'g', 15);
    return v.toString();
}

QString ShortDate(const QVariant& v)
{
    const QDate d = QDate::fromString(v.toString(), Qt::ISODate);
    return d.isValid() ? ShortDateText(d) : v.toString();
}

// The right end of every printed line: the ratings box's edge, inside the page.
double RightEdge(const KeyplanTarget& t) { return t.ScaleWidth() - 100; }

// The lines of a text between x and right at the current font (x is where the first line starts, wrapped lines
// start at `left`): broken between words, inside a word only where it alone is too wide.
QStringList Wrap(const KeyplanTarget& t, const QString& text, double left, double x, double right)
{
    const QString flat = QString(text).replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    if (!flat.contains(QLatin1Char('\n')) && x + t.TextWidth(flat) <= right)
        return {flat};  // as it is, blanks and all
    QStringList lines;
    for (const QString& paragraph : flat.split(QLatin1Char('\n'))) {
        if (x + t.TextWidth(paragraph) <= right)
            lines << paragraph;
        else
            lines << WrapReportText(paragraph, t.Metrics(), std::max(kChar, right - left), std::max(0.0, right - x));
        x = left;
    }
    return lines;
}

// A text from the current position to the right edge; wrapped lines start at the left edge.
void PrintLines(KeyplanTarget& t, const QString& text)
{
    const QStringList lines = Wrap(t, text, 0, t.CurrentX, RightEdge(t));
    for (int i = 0; i < lines.size(); ++i) {
        if (i > 0)
            t.EndLine();
        t.Print(lines[i]);
    }
}

// Texts side by side, each in its column [x, right) and wrapped there; the row is as many lines as its tallest.
void PrintRow(KeyplanTarget& t, const QVector<std::pair<double, double>>& columns, const QStringList& texts)
{
    QVector<QStringList> cells;
    int lines = 1;
    for (int k = 0; k < texts.size(); ++k) {
        cells << Wrap(t, texts[k], columns[k].first, columns[k].first, columns[k].second);
        lines = std::max(lines, int(cells.last().size()));
    }
    for (int line = 0; line < lines; ++line) {
        for (int k = 0; k < cells.size(); ++k)
            if (line < cells[k].size() && !cells[k][line].isEmpty()) {
                t.CurrentX = columns[k].first;
                t.Print(cells[k][line]);
            }
        t.EndLine();
    }
}

bool PrinterError(const std::exception& e)
{
    const auto* k = dynamic_cast<const KrvError*>(&e);
    return k && (k->number() == 482 || k->number() == 484);
}

}  // namespace

frmPrintKeyplan::frmPrintKeyplan(QWidget* parent) : KrvForm<QDialog>(QStringLiteral("frmPrintKeyplan"), parent)
{
    setWindowTitle(QStringLiteral("Print Keyplan"));
    setModal(true);

    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    QFont bold = Label1->font();
    bold.setBold(true);
    Label1->setFont(bold);

    lvPrint = new QListWidget(this);
    lvPrint->setObjectName(QStringLiteral("lvPrint"));

    auto button = [this](const char* name, const QString& text, const QString& tip) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false);
        if (!tip.isEmpty())
            b->setToolTip(tip);
        return b;
    };
    cmdPreview = button("cmdPreview", QStringLiteral("P&review"), QStringLiteral("Print Preview"));
    cmdPrint = button("cmdPrint", QStringLiteral("&Print..."), QStringLiteral("Print"));
    cmdCancel = button("cmdCancel", QStringLiteral("&Cancel"), QStringLiteral("Cancel Print"));
    cmdSelectAll = button("cmdSelectAll", QStringLiteral("&Select All"), QString());
    cmdUnselectAll = button("cmdUnselectAll", QStringLiteral("&Unselect All"), QString());

    auto* select = new QHBoxLayout;
    select->addWidget(cmdSelectAll);
    select->addWidget(cmdUnselectAll);
    select->addStretch();
    auto* commands = new QVBoxLayout;
    commands->addWidget(cmdPreview);
    commands->addWidget(cmdPrint);
    commands->addWidget(cmdCancel);
    commands->addStretch();
    auto* grid = new QGridLayout(this);
    grid->addWidget(Label1, 0, 0, 1, 2);
    grid->addWidget(lvPrint, 1, 0);
    grid->addLayout(commands, 1, 1);
    grid->addLayout(select, 2, 0);
    resize(420, 330);

    connect(cmdPreview, &QPushButton::clicked, this, [this] { cmdPreview_Click(); });
    connect(cmdPrint, &QPushButton::clicked, this, [this] { cmdPrint_Click(); });
    connect(cmdCancel, &QPushButton::clicked, this, [this] { cmdCancel_Click(); });
    connect(cmdSelectAll, &QPushButton::clicked, this, [this] { setAllChecked(true); });
    connect(cmdUnselectAll, &QPushButton::clicked, this, [this] { setAllChecked(false); });
}

int frmPrintKeyplan::exec()
{
    if (!LoadedForms().contains(this))
        return QDialog::Rejected;
    return KrvForm<QDialog>::exec();
}

void frmPrintKeyplan::FormUnload()
{
    if (IsFormLoaded(kPreview))
        UnloadFormByName(kPreview);
}

void frmPrintKeyplan::addItem(const QString& text)
{
    auto* item = new QListWidgetItem(text, lvPrint);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    item->setCheckState(Qt::Checked);
}

void frmPrintKeyplan::LoadForm(qint32 TunnelID, qint32 InspectionID1, qint32 InspectionID2, QObject* CallerForm)
{
    try {
        m_caller = CallerForm;
        m_callerName = CallerForm ? CallerForm->objectName() : QString();
        m_tunnelId = TunnelID;
        m_inspectionId1 = InspectionID1;
        m_inspectionId2 = InspectionID2;
        Label1->setText(DbGetTunnelName(TunnelID));
        m_year1 = InspectionID1 != 0 ? DbGetInspectionYear(InspectionID1) : 0;
        m_year2 = InspectionID2 != 0 ? DbGetInspectionYear(InspectionID2) : 0;

        lvPrint->clear();
        addItem(QStringLiteral("Tunnel Image"));
        addItem(QStringLiteral("Ratings"));
        if (m_inspectionId1 != 0) {
            addItem(QStringLiteral("Comments %1").arg(m_year1));
            addItem(QStringLiteral("Defect Quantity %1").arg(m_year1));
        }
        if (m_inspectionId2 != 0) {
            addItem(QStringLiteral("Comments %1").arg(m_year2));
            addItem(QStringLiteral("Defect Quantity %1").arg(m_year2));
        }
        if (!fromDataInput()) {
            addItem(QStringLiteral("Repair Log"));
            addItem(QStringLiteral("Emergency Incidents"));
            const RowSet tabs = DbGetTabDefinitions();
            for (int i = 0; i < tabs.count(); ++i)
                addItem(NullToEmpty(tabs.value(i, QStringLiteral("TabCaption"))).toString());
        }
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error loading print dialog."), kSource, e);
        Unload();
    }
}

void frmPrintKeyplan::setAllChecked(bool checked)
{
    try {
        for (int i = 0; i < lvPrint->count(); ++i)
            lvPrint->item(i)->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
    } catch (const std::exception& e) {
        LogError(QString(), kSource, e);
    }
}

void frmPrintKeyplan::cmdCancel_Click() { Unload(); }

bool frmPrintKeyplan::sectionChecked(const QString& text) const
{
    for (int i = 0; i < lvPrint->count(); ++i)
        if (lvPrint->item(i)->text() == text)
            return lvPrint->item(i)->checkState() == Qt::Checked;
    return false;
}

bool frmPrintKeyplan::fromDataView() const { return m_callerName == kDataView; }
bool frmPrintKeyplan::fromDataInput() const { return m_callerName == kDataInput; }

QObject* frmPrintKeyplan::caller() const
{
    if (!m_caller)
        throw KrvError(91, QStringLiteral("Object variable not set."));
    return m_caller;
}

qint32 frmPrintKeyplan::panelId() const
{
    const QString label = fromDataInput() ? QStringLiteral("lblName") : QStringLiteral("lblPanelID");
    QWidget* w = caller()->findChild<QWidget*>(label);
    if (!w)
        throw KrvError(91, QStringLiteral("Object variable not set."));
    const double v = Round(Val(w->property("Tag").toString()));
    if (v > std::numeric_limits<qint32>::max() || v < std::numeric_limits<qint32>::min())
        throw KrvError(6, QStringLiteral("Overflow"));
    return qint32(v);
}

// ====================================================================== the sheet

void frmPrintKeyplan::OutputRun(KeyplanTarget& t)
{
    m_lastOutput.clear();
    PageHeader(t);
    if (sectionChecked(QStringLiteral("Tunnel Image")))
        TunnelImage(t);
    if (sectionChecked(QStringLiteral("Ratings")))
        Ratings(t);
    if (m_inspectionId1 != 0) {
        if (sectionChecked(QStringLiteral("Comments %1").arg(m_year1)))
            Comments(t, m_inspectionId1, m_year1);
        if (sectionChecked(QStringLiteral("Defect Quantity %1").arg(m_year1)))
            DefectQuantities(t, m_inspectionId1, m_year1);
    }
    if (m_inspectionId2 != 0) {
        if (sectionChecked(QStringLiteral("Comments %1").arg(m_year2)))
            Comments(t, m_inspectionId2, m_year2);
        if (sectionChecked(QStringLiteral("Defect Quantity %1").arg(m_year2)))
            DefectQuantities(t, m_inspectionId2, m_year2);
    }
    if (fromDataView()) {
        if (sectionChecked(QStringLiteral("Repair Log")))
            Records(t, false);
        if (sectionChecked(QStringLiteral("Emergency Incidents")))
            Records(t, true);
        const RowSet tabs = DbGetTabDefinitions();
        for (int i = 0; i < tabs.count(); ++i) {
            const QString caption = NullToEmpty(tabs.value(i, QStringLiteral("TabCaption"))).toString();
            if (sectionChecked(caption))
                CustomTab(t, caption, tabs.toInt(i, QStringLiteral("TabIndex")));
        }
    }
    m_lastOutput = t.Items();
}

void frmPrintKeyplan::Title(KeyplanTarget& t, const QString& text)
{
    t.setFontSize(10);
    t.setUnderline(true);
    t.setBold(true);
    PrintLines(t, text);
    t.EndLine(2);
}

void frmPrintKeyplan::PageHeader(KeyplanTarget& t)
{
    const QString name = Label1->text();
    t.setFontSize(14);
    t.setBold(true);
    t.setFontName(kPrintFont);
    const double x = Round((t.ScaleWidth() - t.TextWidth(name)) / 2);
    t.EndLine(2);
    t.setFontSize(11);
    t.Print(ShortDateText(QDate::currentDate()));
    const double dateEnd = t.CurrentX;
    t.setFontSize(14);
    // A name too long for the room beside the date wraps, each line centred.
    const double room = t.ScaleWidth() - 2 * (dateEnd + kChar);
    if (x >= dateEnd + kChar || name.isEmpty()) {
        t.CurrentX = x;
        t.Print(name);
        t.EndLine();
    } else {
        for (const QString& line : WrapReportText(name, t.Metrics(), std::max(room, 10 * kChar))) {
            t.CurrentX = Round((t.ScaleWidth() - t.TextWidth(line)) / 2);
            t.Print(line);
            t.EndLine();
        }
    }
    m_headerBottom = t.CurrentY;
    t.EndLine(2);
}

void frmPrintKeyplan::TunnelImage(KeyplanTarget& t)
{
    auto* map = caller()->findChild<ZVMap*>(QStringLiteral("ZVMap1"));
    if (!map)
        throw KrvError(91, QStringLiteral("Object variable not set."));
    float startX = 0, startY = 0;
    qint32 picWidth = 0, picHeight = 0;
    map->PicCoordinates(startX, startY, picWidth, picHeight);
    // An unscaled strip one page wide, from the visible top-left corner, below a header that wrapped.
    const double top = std::max(1200.0, m_headerBottom + 234);
    t.PaintPicture(map->Picture(), map->PictureSize(), 0, top, t.Width(), picHeight, startX, startY, t.Width(),
                   picHeight);
    t.CurrentY = top + picHeight + 600;
}

void frmPrintKeyplan::Ratings(KeyplanTarget& t)
{
    QObject* c = caller();
    Title(t, QStringLiteral("Ratings"));
    const double yTop = t.CurrentY;
    t.setFontSize(9);
    t.setUnderline(false);
    t.setBold(false);

    const double mid = Round(t.ScaleWidth() / 2);
    const double x1 = Round(mid * 2 / 3);
    const double x2 = Round(mid * 5 / 3);

    t.EndLine();
    const double yHeader = t.CurrentY;

    const bool unposted = fromDataInput() && m_inspectionId2 != 0 && !DbAllRatingsPosted(m_inspectionId2, panelId());
    auto mark = [&t, unposted] {
        if (!unposted)
            return;
        const double y = t.CurrentY;
        t.CurrentY = y - 50;
        t.setBold(true);
        t.setFontName(kPrintNarrowFont);
        t.Print(QStringLiteral("  UNPOSTED"));
        t.setBold(false);
        t.setFontName(kPrintFont);
        t.CurrentY = y;
    };

    const QString label = fromDataInput() ? QStringLiteral("lblName") : QStringLiteral("lblPanelID");
    t.Tab(2);
    // The panel's name wraps short of the first year heading; its further lines go below the headings.
    const double nameX = t.CurrentX;
    const double headingsX = m_inspectionId1 != 0 ? x1 - kChar : m_inspectionId2 != 0 ? x1 + 4 * kChar : RightEdge(t) + kChar;
    const QStringList panelLines =
        Wrap(t, Caption(c->findChild<QWidget*>(label)), nameX, nameX, std::max(nameX + kChar, headingsX - kChar));
    t.Print(panelLines.value(0));
    if (m_inspectionId1 != 0) {
        t.CurrentX = x1 - kChar;
        t.Print(ElementCaption(c, QStringLiteral("lblYear1"), 0));
    }
    if (m_inspectionId2 != 0) {
        t.CurrentX = x1 + 4 * kChar;
        t.Print(ElementCaption(c, QStringLiteral("lblYear2"), 0));
        mark();
    }
    if (m_inspectionId1 != 0) {
        t.CurrentX = x2 - kChar;
        t.Print(ElementCaption(c, QStringLiteral("lblYear1"), 1));
    }
    if (m_inspectionId2 != 0) {
        t.CurrentX = x2 + 4 * kChar;
        t.Print(ElementCaption(c, QStringLiteral("lblYear2"), 1));
        mark();
    }
    for (int i = 1; i < panelLines.size(); ++i) {
        t.EndLine();
        t.CurrentX = nameX;
        t.Print(panelLines[i]);
    }
    t.EndLine(2);

    QWidget* first = ArrayElement(c, QStringLiteral("lblElement"), 0);
    if (first && !first->isHidden()) {
        const QString rate2 = fromDataView() ? QStringLiteral("lblRate2") : QStringLiteral("txtRate1");
        const int ub = UpperBound(c, QStringLiteral("lblElement"));
        // Two elements a line; a long name wraps short of its ratings, and its further lines go below.
        QStringList more[2];
        for (int i = 0; i <= ub; ++i) {
            const bool left = i % 2 == 0;
            const double nameX = left ? 4 * kChar : mid;
            const double rateX = left ? x1 : x2;
            const double nameEnd = m_inspectionId1 != 0   ? rateX - kChar
                                   : m_inspectionId2 != 0 ? rateX + 4 * kChar
                                   : left                 ? mid - kChar
                                                          : RightEdge(t);
            QStringList lines = Wrap(t, ElementCaption(c, QStringLiteral("lblElement"), i), nameX, nameX,
                                     std::max(nameX + kChar, nameEnd));
            t.CurrentX = nameX;
            t.Print(lines.takeFirst());
            more[left ? 0 : 1] = lines;
            if (m_inspectionId1 != 0) {
                t.CurrentX = rateX;
                t.Print(ElementCaption(c, QStringLiteral("lblRate1"), i));
            }
            if (m_inspectionId2 != 0) {
                t.CurrentX = rateX + 5 * kChar;
                t.Print(ElementCaption(c, rate2, i));
            }
            if (!left || i == ub) {
                for (int k = 0; k < std::max(more[0].size(), more[1].size()); ++k) {
                    t.EndLine();
                    for (int side = 0; side < 2; ++side)
                        if (k < more[side].size()) {
                            t.CurrentX = side == 0 ? 4 * kChar : mid;
                            t.Print(more[side][k]);
                        }
                }
                more[0].clear();
                more[1].clear();
            }
            if (!left)
                t.EndLine();
        }
        t.EndLine();
        if (m_inspectionId1 != 0 && m_inspectionId2 != 0) {
            t.Line(x1 + 3 * kChar, yHeader, x1 + 3 * kChar, t.CurrentY, Qt::black);
            t.Line(x2 + 3 * kChar, yHeader, x2 + 3 * kChar, t.CurrentY, Qt::black);
        }
        t.EndLine();
        const double yEnd = t.CurrentY;
        const double right = t.ScaleWidth() - 100;
        t.Line(0, yTop, right, yTop, Qt::black);
        t.Line(right, yTop, right, yEnd, Qt::black);
        t.Line(right, yEnd, 0, yEnd, Qt::black);
        t.Line(0, yEnd, 0, yTop, Qt::black);
        t.CurrentY = yEnd;
    }
    t.EndLine(3);
}

void frmPrintKeyplan::Comments(KeyplanTarget& t, qint32 inspectionId, qint32 year)
{
    Title(t, QStringLiteral("Comments %1").arg(year));
    t.setFontSize(9);
    t.setUnderline(false);
    t.setBold(false);
    const QString comment = DbGetPanelComment(inspectionId, panelId());
    PrintLines(t, comment.isEmpty() ? QStringLiteral("NONE") : comment);
    t.EndLine();
    t.EndLine(2);
}

void frmPrintKeyplan::DefectQuantities(KeyplanTarget& t, qint32 inspectionId, qint32 year)
{
    const qint32 panel = panelId();
    const RowSet rows = fromDataView() ? DbGetPostedDefectQuantities(panel, inspectionId)
                                       : DbGetDefectQuantities(panel, inspectionId);
    Title(t, QStringLiteral("Defect Quantity %1").arg(year));
    t.setFontSize(9);
    t.setBold(false);
    if (rows.isEmpty()) {
        t.setUnderline(false);
        t.Print(QStringLiteral("NONE"));
        t.EndLine();
    } else {
        QVector<QStringList> table{{QStringLiteral("Description"), QStringLiteral("Quantity"), QStringLiteral("Units"),
                                    QStringLiteral("Unit Cost"), QStringLiteral("Total Cost")}};
        for (int i = 0; i < rows.count(); ++i)
            table.append({NullToEmpty(rows.value(i, QStringLiteral("Description"))).toString(),
                          PlainValue(rows.value(i, QStringLiteral("Quantity"))),
                          NullToEmpty(rows.value(i, QStringLiteral("Units"))).toString(),
                          QStringLiteral("$") + PlainValue(rows.value(i, QStringLiteral("UnitCost"))),
                          QStringLiteral("$") + PlainValue(rows.value(i, QStringLiteral("TotalCost")))});
        // The columns stand at their text columns; a number or amount too wide for its column moves the columns
        // before it to the left (the description wraps in what is left), so no number is ever broken.
        static const int columns[] = {5, 35, 45, 55, 70};
        const double unit = t.Metrics().averageCharWidth();
        double widest[5] = {};
        for (const QStringList& row : table)
            for (int k : {1, 3, 4})
                widest[k] = std::max(widest[k], t.TextWidth(row[k]));
        double x[5];
        double end = RightEdge(t);
        for (int k = 4; k >= 0; --k) {
            x[k] = (columns[k] - 1) * unit;
            if (k > 0 && k != 2)
                x[k] = std::min(x[k], end - widest[k]);
            if (k == 2)
                x[k] = std::min(x[k], end - 9 * unit);
            end = x[k] - unit;
        }
        QVector<std::pair<double, double>> spans;
        for (int k = 0; k < 5; ++k)
            spans.append({x[k], k < 4 ? x[k + 1] - unit : RightEdge(t)});
        for (int r = 0; r < table.size(); ++r) {
            PrintRow(t, spans, table[r]);
            if (r == 0)
                t.setUnderline(false);
        }
    }
    t.EndLine(2);
}

void frmPrintKeyplan::Records(KeyplanTarget& t, bool emergencies)
{
    const qint32 panel = panelId();
    const RowSet rows = emergencies ? DbGetEmergencies(panel) : DbGetRepairLogs(panel);
    const QString dateColumn = emergencies ? QStringLiteral("EmergencyDate") : QStringLiteral("RepairDate");
    const QString textColumn = emergencies ? QStringLiteral("Emergency") : QStringLiteral("RepairLog");
    Title(t, emergencies ? QStringLiteral("Emergency Incidents") : QStringLiteral("Repair Log"));
    t.setFontSize(9);
    t.setUnderline(false);
    t.setBold(false);
    if (rows.isEmpty()) {
        t.Print(QStringLiteral("NONE"));
        t.EndLine();
        t.EndLine();
    }
    for (int i = 0; i < rows.count(); ++i) {
        t.setBold(true);
        t.Print(ShortDate(rows.value(i, dateColumn)));
        t.setBold(false);
        PrintLines(t, QStringLiteral(" - ") + NullToEmpty(rows.value(i, textColumn)).toString());
        t.EndLine();
        t.EndLine();
    }
    t.EndLine();
}

void frmPrintKeyplan::CustomTab(KeyplanTarget& t, const QString& caption, qint32 tabIndex)
{
    Title(t, caption);
    t.setFontSize(9);
    t.setUnderline(false);
    t.setBold(false);
    const QString text = DbGetTabData(panelId(), tabIndex);
    PrintLines(t, text.isEmpty() ? QStringLiteral("NONE") : text);
    t.EndLine();
    t.EndLine(2);
}

// ====================================================================== commands

void frmPrintKeyplan::cmdPrint_Click()
{
    QPrinter& printer = CurrentPrinter();
    // The file a printer writes outlives the painter: it is checked once the painter ended.
    std::optional<PrintFile> out;
    std::unique_ptr<KeyplanTarget> target;
    try {
        const QString device = printer.printerName();
        const QString file = printer.outputFileName();
        if (!Prompt().printSetup(&printer, QStringLiteral("Print")))
            return;
        {
            WaitCursor wait;
            out.emplace(printer);
            target = std::make_unique<KeyplanTarget>(&printer);
            OutputRun(*target);
            target->EndDoc();
            out->finish();
            out.reset();
        }
        // The dialog chose the printer for this job only.
        printer.setPrinterName(device);
        printer.setOutputFileName(file);
        RestoreDefaultCursor();
        Unload();
    } catch (const std::exception& e) {
        if (target)
            target->Abort();
        target.reset();
        out.reset();
        LogError(PrinterError(e) ? QStringLiteral("Error printing keyplan data.  Check to make sure a printer is attached.")
                                 : WithFileReason(QStringLiteral("Error: Unable to print Keyplan"), e),
                 kSource, e);
        Unload();
    }
}

void frmPrintKeyplan::cmdPreview_Click()
{
    try {
        frmPrintPreview* preview = nullptr;
        for (QWidget* w : LoadedForms())
            if (w->objectName() == kPreview)
                preview = qobject_cast<frmPrintPreview*>(w);
        if (!preview)
            preview = new frmPrintPreview(this);
        QPrinter& printer = CurrentPrinter();
        if (!printer.isValid())
            throw KrvError(484, QStringLiteral("Printer information unavailable."));
        preview->pic->setPageSize(PrinterPageSize(printer));
        {
            WaitCursor wait;
            KeyplanTarget target(&preview->pic->image());
            target.Cls();
            OutputRun(target);
        }
        RestoreDefaultCursor();
        preview->pic->update();
        preview->Form_Resize();
        preview->exec();
    } catch (const std::exception& e) {
        LogError(PrinterError(e) ? QStringLiteral("Error previewing image.  A printer must be selected.")
                                 : QStringLiteral("Error: Unable to preview Keyplan"),
                 kSource, e);
        Unload();
    }
}

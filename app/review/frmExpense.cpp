#include "frmExpense.h"

#include "clicklabel.h"
#include "db.h"
#include "dbrecords.h"
#include "dbsystem.h"
#include "frmAbout.h"
#include "frmEleDef.h"
#include "frmExpense_controls.h"
#include "frmIPdialog_call.h"
#include "globals.h"
#include "helpers.h"
#include "krverror.h"
#include "modkrv.h"
#include "prompt.h"
#include "settings.h"
#include "textfit.h"
#include "uihelpers.h"

#include <QApplication>
#include <QDateEdit>
#include <QFrame>
#include <QHash>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTreeWidget>

namespace {
const QString kSource = QStringLiteral("frmExpense");
const QString kCategoryEditorCaption = QStringLiteral("Expenditure Category Definition");
const QString kReport = QStringLiteral("frmReport");
constexpr int kDateRole = Qt::UserRole;  // column 1

QPushButton* button(QWidget* parent, const char* name, const QString& caption, const QString& tip, double left,
                    double width = 1095)
{
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QLatin1String(name));
    b->setToolTip(tip);
    b->setAutoDefault(false);
    PlaceTwips(b, left, 1215, width, 330);
    return b;
}

QLabel* label(QWidget* parent, const char* name, const QString& text, double left, double top)
{
    auto* l = new QLabel(text, parent);
    l->setObjectName(QLatin1String(name));
    PlaceTwips(l, left, top, 900, 285);
    return l;
}

// The list shows the date alone, with the time of day only when there is one.
QString dateText(const QDateTime& when)
{
    if (when.time() == QTime(0, 0))
        return ShortDateText(when.date());
    return GeneralDateText(when);
}

QDateTime storedDate(const QVariant& value)
{
    const QString text = value.toString();
    QDateTime when = QDateTime::fromString(text, Qt::ISODate);
    if (!when.isValid())
        when = QDateTime(QDate::fromString(text.left(10), Qt::ISODate), QTime(0, 0));
    return when;
}

qint32 keyNumber(const QTreeWidgetItem* item) { return item->data(0, Qt::UserRole).toString().mid(1).toInt(); }

// The columns the editor writes, in the order of its fields (fieldsNow).
constexpr const char* kWrittenColumns[] = {"Date", "TunnelID", "CategoryID", "Cost", "Comments"};

QVariant loadedValue(const ColumnValues& values, const QString& column)
{
    for (const auto& [name, value] : values)
        if (name == column)
            return value;
    return {};
}

QString expenditureName(const QTreeWidgetItem* item)
{
    return QStringLiteral("The expenditure of %1").arg(item->text(1));
}

// The characters a cost may be typed with: digits and # $ % ' .
bool costCharacter(QChar c)
{
    const ushort code = c.unicode();
    return (code >= 48 && code <= 57) || code == 35 || code == 36 || code == 37 || code == 39 || code == 46;
}
}  // namespace

frmExpense::frmExpense(QWidget* parent) : KrvForm<QWidget>(QStringLiteral("frmExpense"), parent)
{
    setWindowTitle(QStringLiteral("Expenditures"));
    resize(TwipsToPixels(kClientWidth), TwipsToPixels(kClientHeight));

    lvExp = new QTreeWidget(this);
    lvExp->setObjectName(QStringLiteral("lvExp"));
    lvExp->setRootIsDecorated(false);
    lvExp->setUniformRowHeights(true);
    lvExp->setAllColumnsShowFocus(true);
    lvExp->setSelectionMode(QAbstractItemView::SingleSelection);
    lvExp->setHeaderLabels({QStringLiteral("Category"), QStringLiteral("Date"), QStringLiteral("Cost Value"),
                            QStringLiteral("Tunnel"), QStringLiteral("Comments")});
    const int widths[5] = {2300, 1100, 1200, 1800, 3000};
    for (int c = 0; c < 5; ++c)
        lvExp->setColumnWidth(c, TwipsToPixels(widths[c]));
    lvExp->header()->setSectionsClickable(true);
    lvExp->header()->setSortIndicatorShown(false);
    PlaceTwips(lvExp, 105, 105, 9705, 3870);

    fraButtons = new QFrame(this);
    fraButtons->setObjectName(QStringLiteral("fraButtons"));
    fraButtons->setFrameShape(QFrame::NoFrame);
    PlaceTwips(fraButtons, 120, 4080, 9735, 1575);

    Label1 = label(fraButtons, "Label1", QStringLiteral("Date"), 0, 90);
    dtp = new QDateEdit(QDate::currentDate(), fraButtons);
    dtp->setObjectName(QStringLiteral("dtp"));
    dtp->setCalendarPopup(true);
    PlaceTwips(dtp, 930, 90, 1485, 315);
    Label2 = label(fraButtons, "Label2", QStringLiteral("Tunnel"), 2685, 90);
    cboTunnel = new LockableComboBox(fraButtons);
    cboTunnel->setObjectName(QStringLiteral("cboTunnel"));
    cboTunnel->setToolTip(QStringLiteral("Select a Tunnel"));
    PlaceTwips(cboTunnel, 3495, 90, 2745, 315);

    Label3 = label(fraButtons, "Label3", QStringLiteral("Cost Value"), 0, 630);
    txtCost = new QLineEdit(fraButtons);
    txtCost->setObjectName(QStringLiteral("txtCost"));
    txtCost->setToolTip(QStringLiteral("Enter the Cost Value"));
    txtCost->installEventFilter(this);
    // A pasted "1,200.50" is read whole, or refused as a bad typed cost is.
    ReadEnteredAmounts(txtCost, [] {
        MsgBox(QStringLiteral("Please enter a valid cost value."), MsgButtons::Ok, MsgIcon::None, QString());
    });
    PlaceTwips(txtCost, 930, 630, 1485, 315);
    Label5 = label(fraButtons, "Label5", QStringLiteral("Category"), 2685, 630);
    cboCategory = new LockableComboBox(fraButtons);
    cboCategory->setObjectName(QStringLiteral("cboCategory"));
    cboCategory->setToolTip(QStringLiteral("Select a Category"));
    PlaceTwips(cboCategory, 3495, 630, 2745, 315);

    Label4 = label(fraButtons, "Label4", QStringLiteral("Comments"), 6495, 0);
    Label4->lower();  // the box below overlaps the label's empty foot
    txtComments = new QPlainTextEdit(fraButtons);
    txtComments->setObjectName(QStringLiteral("txtComments"));
    txtComments->setToolTip(QStringLiteral("Comments"));
    txtComments->setTabChangesFocus(true);
    PlaceTwips(txtComments, 6495, 240, 3150, 765);

    cmdReport = button(fraButtons, "cmdReport", QStringLiteral("&Report"), QStringLiteral("Launch Report"), 1750);
    cmdNew = button(fraButtons, "cmdNew", QStringLiteral("&New"), QStringLiteral("New Expenditure"), 2895);
    cmdSave = button(fraButtons, "cmdSave", QStringLiteral("&Save"), QStringLiteral("Save Expenditure"), 2895);
    cmdEdit = button(fraButtons, "cmdEdit", QStringLiteral("&Edit"), QStringLiteral("Edit Expenditure"), 4035);
    cmdCancel = button(fraButtons, "cmdCancel", QStringLiteral("&Cancel"), QStringLiteral("Cancel"), 4035);
    cmdDelete = button(fraButtons, "cmdDelete", QStringLiteral("&Delete"), QStringLiteral("Delete Expenditure"), 5175);
    cmdCategories = button(fraButtons, "cmdCategories", QStringLiteral("Edit &Categories"),
                           QStringLiteral("Edit Expenditure Categories"), 6310, 1275);
    cmdClose = button(fraButtons, "cmdClose", QStringLiteral("&Close"), QStringLiteral("Close"), 8520);
    // Likewise the widest caption keeps its text whole.
    cmdCategories->resize(VarMax(cmdCategories->width(), cmdCategories->sizeHint().width()), cmdCategories->height());
    // Captions and the date take the room their text needs in the desktop's face.
    FitLabelColumn({{Label1, dtp}, {Label3, txtCost}});
    dtp->resize(VarMax(dtp->width(), DateEditWidthNeeded(dtp)), dtp->height());
    FitLabelColumn({{Label2, cboTunnel}, {Label5, cboCategory}});
    WidenToText(Label4);
    cmdSave->setVisible(false);
    cmdCancel->setVisible(false);
    cmdDelete->setEnabled(false);

    Image1 = new ClickLabel(QString(), fraButtons);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setPixmap(ProgramLogo(TwipsToPixels(480)));
    Image1->setCursor(Qt::PointingHandCursor);
    PlaceTwips(Image1, 0, 1095, 480, 480);
    Label6 = new ClickLabel(QStringLiteral("Quorrel"), fraButtons);
    Label6->setObjectName(QStringLiteral("Label6"));
    Label6->setCursor(Qt::PointingHandCursor);
    PlaceTwips(Label6, 540, 1260, 1100, 285);

    setTabOrder(dtp, cboTunnel);
    setTabOrder(cboTunnel, txtCost);
    setTabOrder(txtCost, cboCategory);
    setTabOrder(cboCategory, txtComments);

    connect(lvExp, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* item, QTreeWidgetItem*) { currentRowChanged(item); });
    connect(lvExp, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item, int) { rowClicked(item); });
    connect(lvExp->header(), &QHeaderView::sectionClicked, this,
            [this](int section) { lvExp_ColumnClick(section + 1); });
    connect(cmdNew, &QPushButton::clicked, this, &frmExpense::cmdNew_Click);
    connect(cmdEdit, &QPushButton::clicked, this, &frmExpense::cmdEdit_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmExpense::cmdCancel_Click);
    connect(cmdSave, &QPushButton::clicked, this, &frmExpense::cmdSave_Click);
    connect(cmdDelete, &QPushButton::clicked, this, &frmExpense::cmdDelete_Click);
    connect(cmdCategories, &QPushButton::clicked, this, &frmExpense::cmdCategories_Click);
    connect(cmdReport, &QPushButton::clicked, this, &frmExpense::cmdReport_Click);
    connect(cmdClose, &QPushButton::clicked, this, &frmExpense::cmdClose_Click);
    connect(Image1, &ClickLabel::clicked, this, &frmExpense::showAbout);
    connect(Label6, &ClickLabel::clicked, this, &frmExpense::showAbout);

    Form_Load();
}

// ---------------------------------------------------------------- load

void frmExpense::Form_Load()
{
    try {
        RestoreFormPosition(this);
        const qint32 systemId = DbGetSystem().toInt(0, QStringLiteral("SystemID"));

        const RowSet tunnels = DbGetTunnels(systemId);
        for (int i = 0; i < tunnels.count(); ++i)
            cboTunnel->addItem(tunnels.value(i, QStringLiteral("TunnelName")).toString(),
                               tunnels.toInt(i, QStringLiteral("TunnelID")));
        cboTunnel->setCurrentIndex(-1);

        LoadCategories();

        const RowSet list = DbGetExpenditureList();
        m_quietSelection = true;
        for (int i = 0; i < list.count(); ++i)
            loadRow(new QTreeWidgetItem(lvExp), list, i);
        m_quietSelection = false;
        // Dates and amounts are never cut short.
        for (int c : {1, 2}) {
            const int designed = lvExp->columnWidth(c);
            lvExp->resizeColumnToContents(c);
            lvExp->setColumnWidth(c, VarMax(designed, lvExp->columnWidth(c)));
        }
        if (lvExp->topLevelItemCount() > 0) {
            selectRowQuietly(lvExp->topLevelItem(0));
            lvExp_ItemClick(lvExp->topLevelItem(0));
        }
    } catch (const std::exception& e) {
        m_quietSelection = false;
        LogError(QStringLiteral("Error loading Expenditure screen"), kSource, e);
    }
    // The rights hold even when the load failed part way.
    cmdCategories->setVisible(gIsWizard);
    cmdNew->setVisible(gIsDataEntry);
    cmdEdit->setVisible(gIsDataEntry);
    cmdDelete->setVisible(gIsDataEntry);
    cmdReport->setEnabled(FormIsAvailable(kReport));
    SetEditMode(false);
}

void frmExpense::LoadCategories()
{
    cboCategory->clear();
    const RowSet cats = DbGetExpenditureCategories();
    for (int i = 0; i < cats.count(); ++i)
        cboCategory->addItem(cats.value(i, QStringLiteral("Category")).toString(),
                             cats.toInt(i, QStringLiteral("CategoryID")));
    cboCategory->setCurrentIndex(-1);
}

void frmExpense::setRow(QTreeWidgetItem* item, qint32 expId, const QString& category, const QDateTime& when,
                        double cost, const QString& tunnel, const QString& comments)
{
    item->setData(0, Qt::UserRole, QStringLiteral("x%1").arg(expId));
    item->setText(0, category);
    item->setText(1, dateText(when));
    item->setData(1, kDateRole, when);
    item->setText(2, MoneyText(cost));
    item->setText(3, tunnel);
    item->setText(4, comments);
}

void frmExpense::loadRow(QTreeWidgetItem* item, const RowSet& list, int i)
{
    const qint32 expId = list.toInt(i, QStringLiteral("ExpID"));
    setRow(item, expId, list.value(i, QStringLiteral("Category")).toString(),
           storedDate(list.value(i, QStringLiteral("Date"))), list.value(i, QStringLiteral("Cost")).toDouble(),
           list.value(i, QStringLiteral("TunnelName")).toString(), list.value(i, QStringLiteral("Comments")).toString());
    ColumnValues values;
    for (const char* column : kWrittenColumns)
        values.append({QLatin1String(column), list.value(i, QLatin1String(column))});
    m_loaded.insert(expId, values);
}

void frmExpense::showStoredRow(QTreeWidgetItem* item, qint32 expId)
{
    const RowSet stored = DbGetExpenditure(expId);
    if (stored.isEmpty()) {
        dropRow(item);
        return;
    }
    loadRow(item, stored, 0);
    if (item->isSelected())
        lvExp_ItemClick(item);
}

// No other row becomes the selected one; the fields that showed the row go blank, so nothing
// removed stays on screen.
void frmExpense::dropRow(QTreeWidgetItem* item)
{
    m_loaded.remove(keyNumber(item));
    m_quietSelection = true;
    if (m_selectedByPress == item)
        m_selectedByPress = nullptr;
    const bool selected = item->isSelected();
    delete item;
    if (selected) {
        lvExp->clearSelection();
        lvExp->setCurrentItem(nullptr);
        ClearFields();
        cmdDelete->setEnabled(false);
    }
    m_quietSelection = false;
}

// ---------------------------------------------------------------- modes and fields

void frmExpense::FindText(QComboBox* combo, const QString& text)
{
    for (int i = 0; i < combo->count(); ++i)
        if (combo->itemText(i) == text) {
            combo->setCurrentIndex(i);
            return;
        }
}

void frmExpense::SetEditMode(bool editing)
{
    // The editor may change from here on: a click on the current row shows it again.
    m_selectedByPress = nullptr;
    m_editing = editing;
    if (gIsDataEntry) {
        cmdNew->setVisible(!editing);
        cmdEdit->setVisible(!editing);
        cmdDelete->setVisible(!editing);
        cmdSave->setVisible(editing);
        cmdCancel->setVisible(editing);
        cmdCategories->setEnabled(!editing);
    }
    txtCost->setReadOnly(!editing);
    txtComments->setReadOnly(!editing);
    // A box that takes no typing looks it (a read-only box stays white otherwise), as the
    // locked lists and the date beside it do.
    for (QWidget* box : {static_cast<QWidget*>(txtCost), static_cast<QWidget*>(txtComments)}) {
        QPalette look = box->palette();
        const QPalette standard = QApplication::palette(box);
        look.setColor(QPalette::Base, standard.color(editing ? QPalette::Base : QPalette::Window));
        box->setPalette(look);
    }
    cboTunnel->setLocked(!editing);
    cboCategory->setLocked(!editing);
    dtp->setEnabled(editing);
    lvExp->setEnabled(!editing);
}

void frmExpense::ClearFields()
{
    txtCost->clear();
    txtComments->clear();
    cboTunnel->setCurrentIndex(-1);
    cboCategory->setCurrentIndex(-1);
    dtp->setDate(QDate::currentDate());
}

bool frmExpense::ValidateFields()
{
    QString refusal;
    if (cboTunnel->currentIndex() < 0)
        refusal = QStringLiteral("Please select a tunnel");
    else if (cboCategory->currentIndex() < 0)
        refusal = QStringLiteral("Please select a category");
    else if (!(Val(txtCost->text()) > 0))
        refusal = QStringLiteral("Please enter a valid cost value.");
    if (refusal.isEmpty())
        return true;
    MsgBox(refusal, MsgButtons::Ok, MsgIcon::None, QString());
    return false;
}

QTreeWidgetItem* frmExpense::selectedRow() const
{
    const QList<QTreeWidgetItem*> selected = lvExp->selectedItems();
    return selected.isEmpty() ? nullptr : selected.first();
}

QTreeWidgetItem* frmExpense::rowOfKey(const QVariant& key) const
{
    for (int i = 0; i < lvExp->topLevelItemCount(); ++i)
        if (lvExp->topLevelItem(i)->data(0, Qt::UserRole) == key)
            return lvExp->topLevelItem(i);
    return nullptr;
}

void frmExpense::selectRowQuietly(QTreeWidgetItem* item)
{
    m_quietSelection = true;
    lvExp->clearSelection();
    lvExp->setCurrentItem(item);
    if (item)
        item->setSelected(true);
    m_quietSelection = false;
}

// ---------------------------------------------------------------- the list

void frmExpense::currentRowChanged(QTreeWidgetItem* item)
{
    if (m_quietSelection || !item)
        return;
    // A click reports the row it made current twice (press and click); the selection runs once.
    m_selectedByPress = item;
    lvExp_ItemClick(item);
}

void frmExpense::rowClicked(QTreeWidgetItem* item)
{
    if (m_selectedByPress == item) {
        m_selectedByPress = nullptr;
        return;
    }
    m_selectedByPress = nullptr;
    lvExp_ItemClick(item);
}

void frmExpense::lvExp_ItemClick(QTreeWidgetItem* item)
{
    if (!item)
        return;
    try {
        FindText(cboCategory, item->text(0));
        dtp->setDate(item->data(1, kDateRole).toDateTime().date());
        txtCost->setText(item->text(2));
        FindText(cboTunnel, item->text(3));
        txtComments->setPlainText(item->text(4));
        cmdDelete->setEnabled(true);
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error selecting expenditure item"), kSource, e);
    }
}

void frmExpense::lvExp_ColumnClick(int column)
{
    if (column < 1 || column > 5)
        return;
    try {
        const bool flag = ColumnSortFlag[column - 1];
        // The value a row is compared by, -1, 0 or 1 for a against b.
        auto compare = [column](const QTreeWidgetItem* a, const QTreeWidgetItem* b) -> int {
            if (column == 2) {
                const QDateTime x = a->data(1, kDateRole).toDateTime(), y = b->data(1, kDateRole).toDateTime();
                return x < y ? -1 : (y < x ? 1 : 0);
            }
            if (column == 3) {
                const double x = Val(a->text(2)), y = Val(b->text(2));
                return x < y ? -1 : (y < x ? 1 : 0);
            }
            const int c = QString::compare(a->text(column - 1).toLower(), b->text(column - 1).toLower(),
                                           Qt::CaseSensitive);
            return c < 0 ? -1 : (c > 0 ? 1 : 0);
        };
        // The date sorts newest first on its first click; the others ascending.
        const bool ascending = column == 2 ? flag : !flag;
        // Rows trade contents, so the selection is taken by key and put back on the row that
        // now holds that expenditure: Edit, Save and Delete then act on the one the editor shows.
        const QTreeWidgetItem* selected = selectedRow();
        const QVariant selectedKey = selected ? selected->data(0, Qt::UserRole) : QVariant();
        const int n = lvExp->topLevelItemCount();
        for (int i = 0; i < n; ++i)
            for (int j = i; j < n; ++j) {
                const int c = compare(lvExp->topLevelItem(j), lvExp->topLevelItem(i));
                if (ascending ? c < 0 : c > 0)
                    SwapExpenseRows(i, j);
            }
        ColumnSortFlag[column - 1] = !flag;
        if (selectedKey.isValid())
            if (QTreeWidgetItem* row = rowOfKey(selectedKey)) {
                selectRowQuietly(row);
                lvExp->scrollToItem(row);
            }
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error sorting column %1").arg(column), kSource, e);
    }
}

void frmExpense::SwapExpenseRows(int i, int j)
{
    if (i == j)
        return;
    QTreeWidgetItem* a = lvExp->topLevelItem(i);
    QTreeWidgetItem* b = lvExp->topLevelItem(j);
    if (!a || !b)
        return;
    // The rows trade contents; the sort moves the selection after them.
    const QVariant keyA = a->data(0, Qt::UserRole), dateA = a->data(1, kDateRole);
    QStringList textsA;
    for (int c = 0; c < 5; ++c)
        textsA << a->text(c);
    a->setData(0, Qt::UserRole, b->data(0, Qt::UserRole));
    a->setData(1, kDateRole, b->data(1, kDateRole));
    for (int c = 0; c < 5; ++c)
        a->setText(c, b->text(c));
    b->setData(0, Qt::UserRole, keyA);
    b->setData(1, kDateRole, dateA);
    for (int c = 0; c < 5; ++c)
        b->setText(c, textsA[c]);
}

// ---------------------------------------------------------------- commands

void frmExpense::cmdNew_Click()
{
    try {
        IsNewExpenditure = true;
        SetEditMode(true);
        ClearFields();
        fillAtEdit({});
        dtp->setFocus();
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error adding new expenditure"), kSource, e);
    }
}

void frmExpense::cmdEdit_Click()
{
    try {
        if (!selectedRow()) {
            MsgBox(QStringLiteral("Please select an expenditure from the list."), MsgButtons::Ok, MsgIcon::None,
                   QStringLiteral("Edit Expenditure"));
            return;
        }
        IsNewExpenditure = false;
        // Save changes this expenditure, wherever its row is by then.
        m_editKey = selectedRow()->data(0, Qt::UserRole);
        SetEditMode(true);
        fillAtEdit(m_loaded.value(keyNumber(selectedRow())));
        dtp->setFocus();
    } catch (const std::exception& e) {
        LogError(QString(), kSource, e);
    }
}

void frmExpense::cmdCancel_Click()
{
    try {
        SetEditMode(false);
    } catch (const std::exception& e) {
        LogError(QString(), kSource, e);
    }
}

void frmExpense::cmdSave_Click()
{
    const bool adding = IsNewExpenditure;
    try {
        // An edit that changed nothing ends without a write (nor a wait for another program).
        const QStringList fields = fieldsNow();
        if (!adding && !fieldsChanged()) {
            SetEditMode(false);
            return;
        }
        if (!ValidateFields())
            return;
        const double cost = Val(txtCost->text());
        const QDate date = dtp->date();
        const QString comments = txtComments->toPlainText();
        const ExpenditureOwners owners{cboTunnel->currentData().toInt(), cboTunnel->currentText(),
                                       cboCategory->currentData().toInt(), cboCategory->currentText()};
        // As the file keeps them, in the order of the fields.
        const QVariant values[] = {date.toString(Qt::ISODate), owners.tunnelId, owners.categoryId, cost, comments};
        if (adding) {
            // A tunnel or category another user removed takes nothing: told, the typing stays.
            const qint32 expId = DbAddExpenditure(owners, cost, date, comments);
            if (expId == 0)
                return;
            ColumnValues stored;
            for (int f = 0; f < 5; ++f)
                stored.append({QLatin1String(kWrittenColumns[f]), values[f]});
            m_loaded.insert(expId, stored);
            // At the end, showing the cost as stored, whatever else the box held ("5$" is stored as 5).
            auto* row = new QTreeWidgetItem(lvExp);
            setRow(row, expId, owners.categoryName, QDateTime(date, QTime(0, 0)), cost, owners.tunnelName, comments);
            selectRowQuietly(row);
            SetEditMode(false);
            return;
        }
        QTreeWidgetItem* row = rowOfKey(m_editKey);
        // An edit needs its row; the list is disabled while editing, so it cannot go away.
        if (!row)
            throw KrvError(ErrNo::NoCurrentRecord, QStringLiteral("No current record."));
        const qint32 expId = keyNumber(row);
        // Only the fields the user changed are written, each checked against its value as
        // loaded: another user's change of the others stays.
        ColumnValues changed;
        for (int f = 0; f < 5; ++f)
            if (m_atEdit.changed(QLatin1String(kWrittenColumns[f]), fields[f]))
                changed.append({QLatin1String(kWrittenColumns[f]), values[f]});
        // It stays with the tunnel and the category it has unless the user chose others.
        ExpenditureOwners stays = owners;
        if (!m_atEdit.changed(QStringLiteral("TunnelID"), fields[1])) {
            stays.tunnelId = m_atEdit.loaded(QStringLiteral("TunnelID")).toInt();
            stays.tunnelName = row->text(3);
        }
        if (!m_atEdit.changed(QStringLiteral("CategoryID"), fields[2])) {
            stays.categoryId = m_atEdit.loaded(QStringLiteral("CategoryID")).toInt();
            stays.categoryName = row->text(0);
        }
        const SaveOutcome out =
            DbUpdateExpenditure(expId, expenditureName(row), stays, m_atEdit.loadedColumns(), changed);
        // Cancelled, or its tunnel or category removed: the edit goes on with the typing.
        if (!out.saved())
            return;
        // The row shows what is stored now, another user's change of the other fields with it;
        // one another user removed goes, never shown as saved.
        SetEditMode(false);
        showStoredRow(row, expId);
    } catch (const std::exception& e) {
        LogError(adding ? QStringLiteral("Error adding expenditure") : QStringLiteral("Error updating expenditure"),
                 kSource, e);
    }
}

void frmExpense::cmdDelete_Click()
{
    try {
        QTreeWidgetItem* row = selectedRow();
        if (!row) {
            MsgBox(QStringLiteral("Please select an item from the list."), MsgButtons::Ok, MsgIcon::None,
                   QStringLiteral("Delete Expenditure"));
            return;
        }
        if (MsgBox(QStringLiteral("Are you sure you want to remove the selected expenditure?"), MsgButtons::YesNo,
                   MsgIcon::None, QStringLiteral("Delete Expenditure"), MsgAnswer::Yes) != MsgAnswer::Yes)
            return;
        const qint32 expId = keyNumber(row);
        const SaveOutcome out = DbDeleteExpenditure(expId, expenditureName(row), m_loaded.value(expId));
        if (!out.saved())
            return;
        // Kept as another user changed it: shown as stored now.
        if (!out.kept.isEmpty()) {
            showStoredRow(row, expId);
            return;
        }
        dropRow(row);
    } catch (const std::exception& e) {
        m_quietSelection = false;
        LogError(QStringLiteral("Error deleting expenditure"), kSource, e);
    }
}

void frmExpense::cmdCategories_Click()
{
    try {
        if (FormIsOpen(kCategoryEditorCaption, true))
            return;
        auto* editor = new frmEleDef;
        if (editor->LoadForm(QStringLiteral("Expenditure Category"), QStringLiteral("ExpenditureCats"),
                             QStringLiteral("CategoryID"), QStringLiteral("Category"))) {
            editor->hide();
            // the editor unloads itself when it closes; this window may have closed meanwhile
            if (!OutlivesLoop(this, [&] { editor->exec(); }))
                return;
        }
        const QVariant remembered = cboCategory->currentIndex() < 0 ? QVariant() : cboCategory->currentData();
        LoadCategories();
        if (remembered.isValid())
            cboCategory->setCurrentIndex(cboCategory->findData(remembered));
        RefreshCategoryNames();
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error loading Category Definition screen"), kSource, e);
    }
}

void frmExpense::RefreshCategoryNames()
{
    const RowSet list = DbGetExpenditureList();
    QHash<qint32, QString> categories;
    for (int i = 0; i < list.count(); ++i)
        categories.insert(list.toInt(i, QStringLiteral("ExpID")), list.value(i, QStringLiteral("Category")).toString());
    // Deleting a category in the editor deleted its expenditures: their rows go too, so
    // none can be edited or deleted again.
    for (int i = lvExp->topLevelItemCount() - 1; i >= 0; --i) {
        QTreeWidgetItem* row = lvExp->topLevelItem(i);
        const auto found = categories.constFind(keyNumber(row));
        if (found == categories.constEnd())
            dropRow(row);
        else
            row->setText(0, *found);
    }
}

void frmExpense::cmdReport_Click()
{
    try {
        QWidget* report = LoadedOrNewForm(kReport);
        if (!report)
            throw FormNotInProgram(kReport);
        QPointer<QWidget> guard(report);
        try {
            CallFormMethod(report, "GetFormType", {QStringLiteral("Expenditure")});
        } catch (...) {
            // A new report window that will not be shown must not stay loaded.
            if (guard && !guard->isVisible())
                UnloadForm(guard);
            throw;
        }
        ShowFormModal(report);
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error loading expenditure report"), kSource, e);
    }
}

void frmExpense::cmdClose_Click() { Unload(); }

void frmExpense::showAbout() { (new frmAbout(this))->exec(); }

// ---------------------------------------------------------------- window

void frmExpense::FormUnload() { SaveFormPosition(this); }

QStringList frmExpense::fieldsNow() const
{
    return {dtp->date().toString(Qt::ISODate), cboTunnel->currentText(), cboCategory->currentText(), txtCost->text(),
            txtComments->toPlainText()};
}

void frmExpense::fillAtEdit(const ColumnValues& loaded)
{
    m_atEdit.clear();
    const QStringList fields = fieldsNow();
    for (int f = 0; f < 5; ++f) {
        const QString column = QLatin1String(kWrittenColumns[f]);
        m_atEdit.filled(column, loadedValue(loaded, column), fields[f]);
    }
}

bool frmExpense::fieldsChanged() const
{
    const QStringList fields = fieldsNow();
    for (int f = 0; f < 5; ++f)
        if (m_atEdit.changed(QLatin1String(kWrittenColumns[f]), fields[f]))
            return true;
    return false;
}

bool frmExpense::SettleEditBeforeClose()
{
    if (!m_editing)
        return true;
    // Nothing typed since New or Edit: nothing to save or lose, so nothing to ask.
    if (!fieldsChanged()) {
        cmdCancel_Click();
        return true;
    }
    switch (AskToSaveEdit(IsNewExpenditure ? QStringLiteral("new expenditure's details")
                                           : QStringLiteral("changes to this expenditure"))) {
    case MsgAnswer::Yes:
        cmdSave_Click();
        return !m_editing;  // a refused or failed save keeps the window and the edit
    case MsgAnswer::No:
        cmdCancel_Click();
        return true;
    default:
        return false;
    }
}

void frmExpense::resizeEvent(QResizeEvent* event)
{
    KrvForm<QWidget>::resizeEvent(event);
    if (isMinimized())
        return;
    const double clientWidth = PixelsToTwips(width());
    const double clientHeight = PixelsToTwips(height());
    const double frameLeft = PixelsToTwips(fraButtons->x());
    const double frameTop = VarMax(1200.0, clientHeight - 1605);
    const double frameWidth = VarMax(8900.0, clientWidth - frameLeft);
    PlaceTwips(fraButtons, frameLeft, frameTop, frameWidth, PixelsToTwips(fraButtons->height()));
    PlaceTwips(cmdClose, frameWidth - PixelsToTwips(cmdClose->width()) - 150, 1215, PixelsToTwips(cmdClose->width()),
          330);
    const double listLeft = PixelsToTwips(lvExp->x());
    PlaceTwips(lvExp, listLeft, PixelsToTwips(lvExp->y()), clientWidth - 2 * listLeft, frameTop - 150);
}

bool frmExpense::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == txtCost && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const QString text = key->text();
        // Typed characters only: editing keys and shortcuts (Ctrl+V among them) pass.
        const bool shortcut = key->modifiers() & (Qt::ControlModifier | Qt::MetaModifier);
        if (!shortcut && text.size() == 1 && text.at(0).unicode() >= 32 && !costCharacter(text.at(0)))
            return true;
    }
    return KrvForm<QWidget>::eventFilter(watched, event);
}

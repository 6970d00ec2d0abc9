#include "frmEleDef.h"

#include "clicklabel.h"
#include "failurereason.h"
#include "frmAbout.h"
#include "helpers.h"
#include "modkrv.h"
#include "prompt.h"
#include "rowedits.h"
#include "settings.h"
#include "textfit.h"
#include "uihelpers.h"

#include <QComboBox>
#include <QEvent>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTimer>
#include <functional>
#include <limits>

namespace {

// The two lists this window edits. Table and column names reach SQL only from here.
struct Lookup {
    QString table;
    QString idField;
    QString nameField;
};
const Lookup kElements{QStringLiteral("AvailableElements"), QStringLiteral("ElementID"),
                       QStringLiteral("ElementName")};
const Lookup kExpCats{QStringLiteral("ExpenditureCats"), QStringLiteral("CategoryID"), QStringLiteral("Category")};

bool same(const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) == 0; }

// The list whose table this is; fields left empty are not checked. Raises DbError for any
// other table or column.
const Lookup& lookupOf(const QString& table, const QString& idField = QString(), const QString& nameField = QString())
{
    for (const Lookup* l : {&kElements, &kExpCats}) {
        if (!same(table, l->table))
            continue;
        if ((!idField.isEmpty() && !same(idField, l->idField)) || (!nameField.isEmpty() && !same(nameField, l->nameField)))
            break;
        return *l;
    }
    throw DbError(-1, QStringLiteral("Not a definition list: %1 (%2, %3)").arg(table, idField, nameField));
}

const Lookup& requireLookup(const Lookup& wanted, const QString& table, const QString& idField,
                            const QString& nameField)
{
    const Lookup& l = lookupOf(table, idField, nameField);
    if (&l != &wanted)
        throw DbError(-1, QStringLiteral("This operation does not apply to %1").arg(table));
    return l;
}

// Every table that keeps rows of an element, even after the element is removed.
const char* const kElementTables[] = {"AvailableElements", "PanelElements",   "Ratings",      "RatingsPosted",
                                      "ImagePaths",        "ImagePathsPosted", "Videos",       "VideosPosted",
                                      "TunnelRptElements"};

// A list whose press, move and release reach the window after the list has moved its
// selection, as the window's drag ordering expects.
class OrderList : public QListWidget {
public:
    using QListWidget::QListWidget;
    std::function<void()> onPress, onMove, onRelease;

protected:
    void mousePressEvent(QMouseEvent* e) override
    {
        QListWidget::mousePressEvent(e);
        if (onPress)
            onPress();
    }
    void mouseMoveEvent(QMouseEvent* e) override
    {
        QListWidget::mouseMoveEvent(e);
        if (onMove)
            onMove();
    }
    void mouseReleaseEvent(QMouseEvent* e) override
    {
        QListWidget::mouseReleaseEvent(e);
        if (onRelease)
            onRelease();
    }
};

void moveLeft(QWidget* w, int left) { w->move(TwipsToPixels(left), w->y()); }

QPushButton* button(const QString& text, QWidget* parent, const char* name)
{
    auto* b = new QPushButton(text, parent);
    b->setObjectName(QLatin1String(name));
    b->setAutoDefault(false);
    return b;
}

QLineEdit* lineEdit(QWidget* parent, const char* name)
{
    auto* e = new QLineEdit(parent);
    e->setObjectName(QLatin1String(name));
    return e;
}

constexpr int kDesignWidth = 7785;
constexpr int kDesignHeight = 4800;

}  // namespace

frmEleDef::frmEleDef(QWidget* parent) : KrvForm<QDialog>(QStringLiteral("frmEleDef"), parent)
{
    const char* labelNames[] = {"Label1_0", "Label1_1", "Label1_2", "Label1_3"};
    for (int i = 0; i < 4; ++i) {
        Label1[i] = new QLabel(this);
        Label1[i]->setObjectName(QLatin1String(labelNames[i]));
    }

    // The category half.
    Label1[1]->setText(QStringLiteral("Element Category"));
    PlaceTwips(Label1[1], 60, 135, 1215, 255);
    txtEleCatName = lineEdit(this, "txtEleCatName");
    PlaceTwips(txtEleCatName, 1335, 90, 1935, 315);
    cmdAddCat = button(QStringLiteral("&Add"), this, "cmdAddCat");
    PlaceTwips(cmdAddCat, 180, 480, 855, 330);
    cmdUpdateCat = button(QStringLiteral("&Update"), this, "cmdUpdateCat");
    PlaceTwips(cmdUpdateCat, 1110, 480, 855, 330);
    cmdRemoveCat = button(QStringLiteral("&Remove"), this, "cmdRemoveCat");
    PlaceTwips(cmdRemoveCat, 2040, 480, 855, 330);
    auto* cats = new OrderList(this);
    lstEleCat = cats;
    lstEleCat->setObjectName(QStringLiteral("lstEleCat"));
    lstEleCat->setSelectionMode(QAbstractItemView::SingleSelection);
    PlaceTwips(lstEleCat, 75, 900, 3195, 2790);
    Label1[2]->setText(QStringLiteral("Drag categories names to set order of tabs in data view screen"));
    Label1[2]->setWordWrap(true);
    PlaceTwips(Label1[2], 75, 3750, 3195, 420);

    Line1 = new QFrame(this);
    Line1->setObjectName(QStringLiteral("Line1"));
    Line1->setFrameShape(QFrame::VLine);
    Line1->setFrameShadow(QFrame::Sunken);
    PlaceTwips(Line1, 3405, 60, 30, 4200);

    // The item half.
    Label1[0]->setText(QStringLiteral("Element Name"));
    PlaceTwips(Label1[0], 3555, 135, 1155, 255);
    txtName = lineEdit(this, "txtName");
    PlaceTwips(txtName, 4755, 90, 2895, 315);
    txtName->installEventFilter(this);
    Label1[3]->setText(QStringLiteral("Category"));
    PlaceTwips(Label1[3], 3555, 495, 1155, 255);
    cboEleCat = new QComboBox(this);
    cboEleCat->setObjectName(QStringLiteral("cboEleCat"));
    cboEleCat->setEditable(false);
    PlaceTwips(cboEleCat, 4755, 450, 2895, 315);
    cmdAdd = button(QStringLiteral("&Add"), this, "cmdAdd");
    PlaceTwips(cmdAdd, 4125, 870, 855, 330);
    cmdUpdate = button(QStringLiteral("&Update"), this, "cmdUpdate");
    PlaceTwips(cmdUpdate, 5070, 870, 855, 330);
    cmdRemove = button(QStringLiteral("&Remove"), this, "cmdRemove");
    PlaceTwips(cmdRemove, 6000, 870, 855, 330);
    lstEle = new QListWidget(this);
    lstEle->setObjectName(QStringLiteral("lstEle"));
    lstEle->setSelectionMode(QAbstractItemView::SingleSelection);
    PlaceTwips(lstEle, 3570, 1290, 4080, 2400);
    cmdClose = button(QStringLiteral("&Close"), this, "cmdClose");
    cmdClose->setToolTip(QStringLiteral("Close"));
    PlaceTwips(cmdClose, 6045, 3825, 855, 330);

    Image1 = new ClickLabel(QString(), this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setPixmap(ProgramLogo(TwipsToPixels(480)));
    PlaceTwips(Image1, 75, 4230, 480, 480);
    Label2 = new ClickLabel(kAppTitle, this);
    Label2->setObjectName(QStringLiteral("Label2"));
    PlaceTwips(Label2, 600, 4335, 2400, 255);

    resize(TwipsToPixels(kDesignWidth), TwipsToPixels(kDesignHeight));

    // The handlers trap their own errors; these are the ones the user starts by clicking.
    auto eleClick = [this] {
        try {
            lstEle_Click();
        } catch (const std::exception& e) {
            LogError(QStringLiteral("Error: Unable to show the element's category."), objectName(), e);
        }
    };
    connect(lstEle, &QListWidget::currentRowChanged, this, [eleClick](int row) {
        if (row >= 0)
            eleClick();
    });
    connect(lstEle, &QListWidget::itemClicked, this, eleClick);
    connect(lstEleCat, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0)
            lstEleCat_Click();
    });
    connect(lstEleCat, &QListWidget::itemClicked, this, [this] { lstEleCat_Click(); });
    cats->onPress = [this] { lstEleCat_MouseDown(); };
    cats->onMove = [this] { lstEleCat_MouseMove(); };
    cats->onRelease = [this] { lstEleCat_MouseUp(); };

    connect(cmdAdd, &QPushButton::clicked, this, &frmEleDef::cmdAdd_Click);
    connect(cmdUpdate, &QPushButton::clicked, this, &frmEleDef::cmdUpdate_Click);
    connect(cmdRemove, &QPushButton::clicked, this, &frmEleDef::cmdRemove_Click);
    connect(cmdAddCat, &QPushButton::clicked, this, &frmEleDef::cmdAddCat_Click);
    connect(cmdUpdateCat, &QPushButton::clicked, this, &frmEleDef::cmdUpdateCat_Click);
    connect(cmdRemoveCat, &QPushButton::clicked, this, &frmEleDef::cmdRemoveCat_Click);
    connect(cmdClose, &QPushButton::clicked, this, [this] { Unload(); });
    connect(Image1, &ClickLabel::clicked, this, &frmEleDef::showAbout);
    connect(Label2, &ClickLabel::clicked, this, &frmEleDef::showAbout);
}

bool frmEleDef::LoadForm(const QString& caption, const QString& table, const QString& idField,
                         const QString& nameField)
{
    try {
        // Only the two lists of this window; their names come from the fixed list.
        const Lookup& l = lookupOf(table, idField, nameField);
        m_table = l.table;
        m_idField = l.idField;
        m_nameField = l.nameField;

        m_caption = caption;
        setWindowTitle(caption + QStringLiteral(" Definition"));
        Form_Load();

        cmdAdd->setToolTip(QStringLiteral("Add ") + caption);
        cmdRemove->setToolTip(QStringLiteral("Remove ") + caption);
        cmdUpdate->setToolTip(QStringLiteral("Update ") + caption);
        txtName->setToolTip(QStringLiteral("Enter ") + caption);
        layOut(caption);
        show();
        return true;
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error loading ") + caption + QStringLiteral(" definition screen."), objectName(), e);
        Unload();
        return false;
    }
}

void frmEleDef::layOut(const QString& caption)
{
    QWidget* const categoryHalf[] = {Label1[1], txtEleCatName, cmdAddCat, cmdUpdateCat, cmdRemoveCat,
                                     lstEleCat, Label1[2],     Line1,     Label1[3],    cboEleCat};
    if (caption == QStringLiteral("Expenditure Category")) {
        resize(TwipsToPixels(4290), height());
        for (QWidget* w : categoryHalf)
            w->hide();
        Label1[0]->setText(QStringLiteral("Category Name"));
        moveLeft(Label1[0], 60);
        moveLeft(txtName, 1260);
        moveLeft(cmdAdd, 630);
        moveLeft(cmdUpdate, 1575);
        moveLeft(cmdRemove, 2505);
        moveLeft(lstEle, 75);
        moveLeft(cmdClose, 2550);
    } else if (caption == QStringLiteral("Element")) {
        resize(TwipsToPixels(kDesignWidth), height());
        for (QWidget* w : categoryHalf)
            w->show();
        Label1[0]->setText(QStringLiteral("Element Name"));
        moveLeft(Label1[0], 3555);
        moveLeft(txtName, 4755);
        moveLeft(cmdAdd, 4125);
        moveLeft(cmdUpdate, 5070);
        moveLeft(cmdRemove, 6000);
        moveLeft(lstEle, 3570);
        moveLeft(cmdClose, 6045);
    }
    // Each caption takes the room its text needs in the desktop's face; its field keeps
    // its right edge.
    FitLabelBeforeField(Label1[0], txtName);
    FitLabelBeforeField(Label1[1], txtEleCatName);
    FitLabelBeforeField(Label1[3], cboEleCat);
}

void frmEleDef::Form_Load()
{
    try {
        RestoreFormPosition(this);
        LoadElementCategories();
        loadItems();
        if (lstEle->count() > 0)
            selectFirstEle();
    } catch (const std::exception& e) {
        // Only the log: the window still opens with what it could read.
        LogError(QString(), objectName(), e);
    }
}

bool frmEleDef::elementMode() const { return same(m_table, kElements.table); }

void frmEleDef::LoadElementCategories()
{
    lstEleCat->clear();
    cboEleCat->clear();
    m_readCats.clear();
    m_readCatOrder.clear();
    m_shownCats.clear();
    const RowSet rs = DBGetEleCats();
    for (int i = 0; i < rs.count(); ++i) {
        const QString name = rs.value(i, QStringLiteral("EleCategoryName")).toString();
        const qint32 id = rs.toInt(i, QStringLiteral("EleCategoryID"));
        auto* item = new QListWidgetItem(name, lstEleCat);
        item->setData(Qt::UserRole, id);
        cboEleCat->addItem(name, id);
        m_readCats.insert(id, {rs.value(i, QStringLiteral("EleCategoryName")), rs.value(i, QStringLiteral("EleCategorySort"))});
        m_readCatOrder << id;
        m_shownCats.filled(QString::number(id), rs.value(i, QStringLiteral("EleCategoryName")), item->text());
    }
    cboEleCat->setCurrentIndex(-1);
}

void frmEleDef::loadItems()
{
    const QSignalBlocker block(lstEle);
    lstEle->clear();
    m_readItems.clear();
    const RowSet rs = DbGetLookupData(m_table, m_idField, m_nameField);
    for (int i = 0; i < rs.count(); ++i) {
        const qint32 id = rs.toInt(i, m_idField);
        auto* item = new QListWidgetItem(rs.value(i, m_nameField).toString(), lstEle);
        item->setData(Qt::UserRole, id);
        m_readItems.insert(id, {rs.value(i, m_nameField), QVariant()});
    }
}

void frmEleDef::readItem(QListWidgetItem* item)
{
    const qint32 id = item->data(Qt::UserRole).toInt();
    const QString columns = elementMode() ? QStringLiteral("ElementName, ElementCategory") : m_nameField;
    const RowSet rs =
        gConn.query(QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ?").arg(columns, m_table, m_idField), {id});
    // Removed meanwhile: an update of it says so.
    if (rs.isEmpty())
        return;
    const ReadItem read{rs.value(0, 0), elementMode() ? rs.value(0, 1) : QVariant()};
    m_readItems.insert(id, read);
    item->setText(read.name.toString());
}

void frmEleDef::reloadLists(bool keepTyping)
{
    const QString typed = txtName->text();
    const QVariant element = lstEle->currentItem() ? lstEle->currentItem()->data(Qt::UserRole) : QVariant();
    const QVariant category = lstEleCat->currentItem() ? lstEleCat->currentItem()->data(Qt::UserRole) : QVariant();
    {
        const QSignalBlocker block(lstEleCat);
        LoadElementCategories();
        for (int i = 0; category.isValid() && i < lstEleCat->count(); ++i)
            if (lstEleCat->item(i)->data(Qt::UserRole) == category)
                lstEleCat->setCurrentRow(i);
    }
    loadItems();
    int row = -1;
    for (int i = 0; element.isValid() && i < lstEle->count(); ++i)
        if (lstEle->item(i)->data(Qt::UserRole) == element)
            row = i;
    {
        const QSignalBlocker block(lstEle);
        lstEle->setCurrentRow(row);
    }
    if (row >= 0)
        lstEle_Click();
    if (keepTyping)
        txtName->setText(typed);
}

void frmEleDef::selectFirstEle()
{
    {
        const QSignalBlocker block(lstEle);
        lstEle->setCurrentRow(0);
    }
    lstEle_Click();
}

void frmEleDef::selectEleCat(int row)
{
    {
        const QSignalBlocker block(lstEleCat);
        lstEleCat->setCurrentRow(row);
    }
    if (row >= 0 && row < lstEleCat->count())
        lstEleCat_Click();
}

qint32 frmEleDef::selectedCategoryId() const
{
    if (cboEleCat->currentIndex() < 0)
        throw KrvError(381, QStringLiteral("No element category is chosen."));
    return cboEleCat->currentData().toInt();
}

// ---------------------------------------------------------------- events

void frmEleDef::lstEle_Click()
{
    QListWidgetItem* item = lstEle->currentItem();
    if (!item)
        return;
    // What is shown is what an update compares with.
    readItem(item);
    txtName->setText(item->text());
    const qint32 id = item->data(Qt::UserRole).toInt();
    const ReadItem read = m_readItems.value(id);
    m_shownItem.clear();
    m_shownItemId = id;
    m_shownItem.filled(m_nameField, read.name, txtName->text());
    if (elementMode()) {
        cboEleCat->setCurrentIndex(read.category.isNull() ? -1 : cboEleCat->findData(read.category.toInt()));
        m_shownItem.filled(QStringLiteral("ElementCategory"), read.category,
                           cboEleCat->currentIndex() < 0 ? QVariant() : cboEleCat->currentData());
    }
}

void frmEleDef::lstEleCat_Click()
{
    if (QListWidgetItem* item = lstEleCat->currentItem())
        txtEleCatName->setText(item->text());
}

bool frmEleDef::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == txtName && event->type() == QEvent::FocusIn)
        QTimer::singleShot(0, txtName, &QLineEdit::selectAll);
    return KrvForm<QDialog>::eventFilter(watched, event);
}

void frmEleDef::cmdAdd_Click()
{
    try {
        const QString name = txtName->text();
        if (name.isEmpty())
            return;
        if (windowTitle() == QStringLiteral("Element Definition") && cboEleCat->currentText().isEmpty()) {
            MsgBox(QStringLiteral("You must assign this element to an element category."), MsgButtons::Ok,
                   MsgIcon::None, QStringLiteral("No Category Specified"));
            return;
        }
        qint32 id;
        if (elementMode())
            id = DbAddLookup(m_table, m_idField, m_nameField, name, selectedCategoryId());
        else
            id = DbAddExpLookup(m_table, m_nameField, name);
        if (id >= 0) {
            auto* item = new QListWidgetItem(name, lstEle);
            item->setData(Qt::UserRole, id);
            m_readItems.insert(id, {name, elementMode() ? QVariant(selectedCategoryId()) : QVariant()});
        } else if (id == kAddFailed && elementMode()) {
            // The category is gone: the lists show what is stored, the name stays to add again.
            reloadLists(true);
        } else if (id == -1) {
            MsgBox(QStringLiteral("Unable to add item.  ") + name + QStringLiteral(" already exists in the database."),
                   MsgButtons::Ok, MsgIcon::None, QStringLiteral("Add Element"));
        }
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error: Unable to add item"), objectName(), e);
    }
}

void frmEleDef::cmdUpdate_Click()
{
    try {
        QListWidgetItem* item = lstEle->currentItem();
        if (!item || !item->isSelected()) {
            MsgBox(QStringLiteral("Please select an element from the list"), MsgButtons::Ok, MsgIcon::None,
                   QStringLiteral("Update Element"));
            return;
        }
        const qint32 id = item->data(Qt::UserRole).toInt();
        SaveOutcome out;
        if (elementMode()) {
            out = DbUpdateElement(m_table, m_idField, m_nameField, txtName->text(), id, selectedCategoryId());
        } else {
            try {
                out = DbUpdateExp(m_table, m_idField, m_nameField, txtName->text(), id);
            } catch (const KrvError& e) {
                // The list keeps showing what the database holds.
                MsgBox(WithReason(e.description(), FailureReason(e)), MsgButtons::Ok, MsgIcon::Critical);
                return;
            }
        }
        if (out.result == SaveOutcome::Result::Cancelled)
            return;
        if (!out.saved() || out.showStored()) {
            // Kept or gone: the lists show what is stored; a name not saved stays typed.
            reloadLists(out.kept.isEmpty());
            return;
        }
        // Shown as stored now, with what another user changed in the other column.
        lstEle_Click();
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error: Unable to update item."), objectName(), e);
    }
}

void frmEleDef::cmdRemove_Click()
{
    try {
        QListWidgetItem* item = lstEle->currentItem();
        if (!item || !item->isSelected()) {
            MsgBox(QStringLiteral("Please select an element from the list"), MsgButtons::Ok, MsgIcon::None,
                   QStringLiteral("Remove Element"));
            return;
        }
        if (DbRemoveLookupData(item->data(Qt::UserRole).toInt(), m_table, m_idField)) {
            // Nothing is selected afterwards; txtName keeps the removed name.
            const QSignalBlocker block(lstEle);
            delete lstEle->takeItem(lstEle->row(item));
            lstEle->setCurrentRow(-1);
        }
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error: Unable to remove item."), objectName(), e);
    }
}

void frmEleDef::cmdAddCat_Click()
{
    try {
        const QString name = txtEleCatName->text();
        if (name.isEmpty())
            return;
        if (!DBAddElementCategory(name)) {
            MsgBox(QStringLiteral("Unable to add element category.  ") + name +
                       QStringLiteral(" already exists in the database."),
                   MsgButtons::Ok, MsgIcon::None, QStringLiteral("Add Element Category"));
            return;
        }
        LoadElementCategories();
        selectEleCat(lstEleCat->count() - 1);
        if (lstEle->count() > 0)
            selectFirstEle();
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error: Unable to add element category"), objectName(), e);
    }
}

void frmEleDef::cmdUpdateCat_Click()
{
    try {
        const int pos = lstEleCat->currentRow();
        QListWidgetItem* item = lstEleCat->currentItem();
        if (pos < 0 || !item || !item->isSelected()) {
            MsgBox(QStringLiteral("Please select an element category from the list"), MsgButtons::Ok, MsgIcon::None,
                   QStringLiteral("Update Element Category"));
            return;
        }
        const QString newName = txtEleCatName->text();
        if (MsgBox(QStringLiteral("Are you sure you want to rename this Element Category?\nAll elements in the ") +
                       item->text() + QStringLiteral(" element category will be moved to the ") + newName +
                       QStringLiteral(" element category."),
                   MsgButtons::YesNo, MsgIcon::None, QStringLiteral("Change Category Name?")) != MsgAnswer::Yes)
            return;
        const qint32 id = item->data(Qt::UserRole).toInt();
        const SaveOutcome out = DBUpdateElementCategory(id, newName);
        if (out.result == SaveOutcome::Result::Cancelled)
            return;
        LoadElementCategories();
        // The category stays chosen; when another user removed it, none is and the name
        // typed stays.
        int at = -1;
        for (int i = 0; i < lstEleCat->count(); ++i)
            if (lstEleCat->item(i)->data(Qt::UserRole).toInt() == id)
                at = i;
        selectEleCat(at);
        if (lstEle->count() > 0)
            selectFirstEle();
        else
            lstEle->setCurrentRow(-1);
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error: Unable to update item."), objectName(), e);
    }
}

void frmEleDef::cmdRemoveCat_Click()
{
    try {
        QListWidgetItem* item = lstEleCat->currentItem();
        if (!item || !item->isSelected()) {
            MsgBox(QStringLiteral("Please select an element category from the list"), MsgButtons::Ok, MsgIcon::None,
                   QStringLiteral("Remove Element Category"));
            return;
        }
        if (MsgBox(QStringLiteral("Are you sure you want to remove this Element Category?"), MsgButtons::YesNo,
                   MsgIcon::None, QStringLiteral("Remove Category")) != MsgAnswer::Yes)
            return;
        // By the entry's key: two categories may share a name after a rename.
        if (!DBRemoveElementCategory(item->data(Qt::UserRole).toInt())) {
            MsgBox(QStringLiteral("Elements of this category exist.  Remove those elements before attempting "
                                  "to remove this category."));
            return;
        }
        LoadElementCategories();
        if (lstEle->count() > 0)
            selectFirstEle();
        else
            lstEle->setCurrentRow(-1);
        txtEleCatName->clear();
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error: Unable to update item."), objectName(), e);
    }
}

void frmEleDef::lstEleCat_MouseDown()
{
    m_dragging = true;
    m_dragPos = lstEleCat->currentRow();
    if (QListWidgetItem* item = lstEleCat->currentItem()) {
        m_dragText = item->text();
        m_dragId = item->data(Qt::UserRole).toInt();
    } else {
        m_dragText.clear();
    }
}

void frmEleDef::lstEleCat_MouseMove()
{
    if (!m_dragging)
        return;
    const int pos = lstEleCat->currentRow();
    // A press beside every entry has nothing to carry.
    if (pos != m_dragPos && pos >= 0 && m_dragPos >= 0 && m_dragPos < lstEleCat->count()) {
        QListWidgetItem* item = lstEleCat->takeItem(m_dragPos);
        item->setText(m_dragText);
        item->setData(Qt::UserRole, m_dragId);
        lstEleCat->insertItem(pos, item);
        lstEleCat->setCurrentRow(pos);
    }
    m_dragPos = lstEleCat->currentRow();
    if (QListWidgetItem* item = lstEleCat->currentItem()) {
        m_dragText = item->text();
        m_dragId = item->data(Qt::UserRole).toInt();
    }
}

void frmEleDef::lstEleCat_MouseUp() { m_dragging = false; }

bool frmEleDef::QueryUnload()
{
    // Only an element editor shows the order; another editor's hidden copy, read when it
    // opened, would put back an order changed since. Written before the unload goes on, so
    // Cancel to a question about it keeps the window.
    if (elementMode()) {
        try {
            return DBSetCategoryOrder();
        } catch (const std::exception& e) {
            LogError(QStringLiteral("Error: Unable to save the order of the element categories."), objectName(), e);
        }
    }
    return true;
}

void frmEleDef::FormUnload() { SaveFormPosition(this); }

// A name (or an element's category) changed for the selected entry and not yet applied with
// Update is an edit in progress. The box also takes the names Add takes, and keeps them after
// Add and Remove: a name another entry has is not a pending change of the selected one.
bool frmEleDef::elementEdited()
{
    QListWidgetItem* item = lstEle->currentItem();
    if (!item || !item->isSelected())
        return false;
    const QString name = txtName->text();
    if (name != item->text()) {
        for (int i = 0; i < lstEle->count(); ++i)
            if (lstEle->item(i) != item && lstEle->item(i)->text().compare(name, Qt::CaseInsensitive) == 0)
                return false;
        return true;
    }
    if (!elementMode() || cboEleCat->currentIndex() < 0)
        return false;
    const QVariant read = m_readItems.value(item->data(Qt::UserRole).toInt()).category;
    return read.isNull() || cboEleCat->currentData().toInt() != read.toInt();
}

bool frmEleDef::categoryEdited() const
{
    QListWidgetItem* item = lstEleCat->currentItem();
    return elementMode() && item && item->isSelected() && txtEleCatName->text() != item->text();
}

bool frmEleDef::SettleEditBeforeClose()
{
    try {
        const bool element = elementEdited();
        const bool category = categoryEdited();
        if (!element && !category)
            return true;
        // The question names the entry Yes updates, so a name meant for Add is not taken for a rename.
        const QString what = element ? QStringLiteral("changes typed for the %1 \"%2\"")
                                           .arg(m_caption.toLower(), lstEle->currentItem()->text())
                                     : QStringLiteral("changes typed for the element category \"%1\"")
                                           .arg(lstEleCat->currentItem()->text());
        switch (AskToSaveEdit(what)) {
        case MsgAnswer::No:
            return true;
        case MsgAnswer::Yes:
            break;
        default:
            return false;
        }
        // Update as its button would; the window stays open when an update did not take.
        if (element) {
            cmdUpdate_Click();
            if (elementEdited())
                return false;
        }
        if (categoryEdited()) {
            cmdUpdateCat_Click();
            if (categoryEdited())
                return false;
        }
        return true;
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error: Unable to update item."), objectName(), e);
        return false;
    }
}

void frmEleDef::showAbout() { (new frmAbout(this))->exec(); }

// ---------------------------------------------------------------- data access

bool frmEleDef::DbRemoveLookupData(qint32 id, const QString& table, const QString& idField)
{
    if (!same(table, kElements.table) && !same(table, kExpCats.table))
        return false;
    const Lookup* l = &lookupOf(table, idField);
    const bool element = l == &kElements;
    const auto any = [id](const char* table, const char* column) {
        return !gConn
                    .query(QStringLiteral("SELECT 1 FROM %1 WHERE %2 = ? LIMIT 1")
                               .arg(QLatin1String(table), QLatin1String(column)),
                           {id})
                    .isEmpty();
    };
    // The rows the user agreed to delete with the entry.
    bool ratings = false;
    bool pictures = false;
    bool expenditures = false;
    bool sure = false;
    for (;;) {
        if (element) {
            if (!ratings && any("Ratings", "ElementID")) {
                if (MsgBox(QStringLiteral("Ratings data exists for this element.  Removing this element will remove "
                                          "all ratings associated with the element.  \nAre you sure you want to "
                                          "delete it?"),
                           MsgButtons::YesNo, MsgIcon::Warning, QStringLiteral("Delete Element")) == MsgAnswer::No)
                    return false;
                ratings = true;
            }
            if (!pictures && any("ImagePaths", "ElementID")) {
                if (MsgBox(QStringLiteral("Field sketches and photographs exist for this element.  Are you sure you "
                                          "want to delete the element?"),
                           MsgButtons::YesNo, MsgIcon::Question, QStringLiteral("Delete Element")) == MsgAnswer::No)
                    return false;
                pictures = true;
            }
        } else if (!expenditures && any("Expenditures", "CategoryID")) {
            if (MsgBox(QStringLiteral("Expenditure data exists for this element.  Removing this element will remove "
                                      "all expenditures associated with the element.  \nAre you sure you want to "
                                      "delete it?"),
                       MsgButtons::YesNo, MsgIcon::Warning, QStringLiteral("Delete Element")) == MsgAnswer::No)
                return false;
            expenditures = true;
        }
        if (!sure) {
            if (MsgBox(QStringLiteral("Are you sure you want to delete this item?"), MsgButtons::YesNo, MsgIcon::None,
                       QStringLiteral("Delete")) == MsgAnswer::No)
                return false;
            sure = true;
        }

        // The answers are in: the entry and its rows go together or not at all. Rows another
        // user saved since the questions are not deleted unasked: their question comes first.
        // Posted rows, pictures and clips stay; NextElementID never gives their key out again.
        TxGuard tx;
        const bool unasked = element ? (!ratings && any("Ratings", "ElementID")) ||
                                           (!pictures && any("ImagePaths", "ElementID"))
                                     : !expenditures && any("Expenditures", "CategoryID");
        if (unasked)
            continue;  // rolled back with the guard
        gConn.exec(QStringLiteral("DELETE FROM %1 WHERE %2 = ?").arg(l->table, l->idField), {id});
        if (element) {
            gConn.exec(QStringLiteral("DELETE FROM PanelElements WHERE ElementID = ?"), {id});
            gConn.exec(QStringLiteral("DELETE FROM ImagePaths WHERE ElementID = ?"), {id});
            gConn.exec(QStringLiteral("DELETE FROM Ratings WHERE ElementID = ?"), {id});
        } else {
            gConn.exec(QStringLiteral("DELETE FROM Expenditures WHERE CategoryID = ?"), {id});
        }
        tx.commit();
        return true;
    }
}

qint32 frmEleDef::NextElementID()
{
    QStringList parts;
    for (const char* table : kElementTables)
        parts << QStringLiteral("SELECT MAX(ElementID) AS m FROM %1").arg(QLatin1String(table));
    const QVariant greatest =
        gConn.scalar(QStringLiteral("SELECT MAX(m) FROM (") + parts.join(QStringLiteral(" UNION ALL ")) +
                     QStringLiteral(")"));
    if (greatest.isNull())
        return 0;
    const qint64 next = greatest.toLongLong() + 1;
    if (next > std::numeric_limits<qint32>::max())
        throw DbError(6, QStringLiteral("Overflow: no element key is left above %1.").arg(greatest.toLongLong()));
    return qint32(next);
}

qint32 frmEleDef::DbAddLookup(const QString& table, const QString& idField, const QString& nameField,
                              const QString& name, qint32 categoryId)
{
    requireLookup(kElements, table, idField, nameField);
    qint32 id = -1;
    RowWrite add;
    add.kind = RowWrite::Kind::Add;
    add.what = QStringLiteral("The element ") + name;
    add.write = [&] {
        if (!gConn.query(QStringLiteral("SELECT ElementName FROM AvailableElements"))
                 .filtered(QStringLiteral("ElementName"), name)
                 .isEmpty())
            return;
        id = NextElementID();
        gConn.exec(QStringLiteral("INSERT INTO AvailableElements (ElementID, ElementName, ElementCategory) "
                                  "VALUES (?, ?, ?)"),
                   {id, name, categoryId});
    };
    // Never an element of a category another user removed meanwhile.
    const NeededRow category{QStringLiteral("ElementCategory"),
                             {{QStringLiteral("EleCategoryID"), categoryId}},
                             QStringLiteral("The element category ") + m_readCats.value(categoryId).name.toString()};
    return SaveRows({add}, {category}).saved() ? id : kAddFailed;
}

qint32 frmEleDef::DbAddExpLookup(const QString& table, const QString& nameField, const QString& name)
{
    try {
        requireLookup(kExpCats, table, QString(), nameField);
        // The check and the insert together: another user's add of the name comes first or after.
        TxGuard tx;
        if (!gConn.query(QStringLiteral("SELECT Category FROM ExpenditureCats"))
                 .filtered(QStringLiteral("Category"), name)
                 .isEmpty())
            return -1;
        const qint32 id =
            qint32(gConn.insertAutoNumber(QStringLiteral("ExpenditureCats"), {{QStringLiteral("Category"), name}}));
        tx.commit();
        return id;
    } catch (const KrvError& e) {
        MsgBox(WithReason(e.description(), FailureReason(e)), MsgButtons::Ok, MsgIcon::Critical,
               QStringLiteral("Add Expenditure Lookup"));
        return kAddFailed;
    }
}

bool frmEleDef::DBAddElementCategory(const QString& name)
{
    TxGuard tx;
    if (!gConn.query(QStringLiteral("SELECT EleCategoryName FROM ElementCategory"))
             .filtered(QStringLiteral("EleCategoryName"), name)
             .isEmpty())
        return false;
    const QVariant curMax = gConn.scalar(QStringLiteral("SELECT MAX(EleCategorySort) FROM ElementCategory"));
    const qint64 sort = curMax.isNull() ? 1 : curMax.toLongLong() + 1;
    gConn.exec(QStringLiteral("INSERT INTO ElementCategory (EleCategoryName, EleCategorySort) VALUES (?, ?)"),
               {name, sort});
    tx.commit();
    return true;
}

qint32 frmEleDef::DBGetCategoryID(const QString& name)
{
    const RowSet rs =
        gConn.query(QStringLiteral("SELECT EleCategoryID, EleCategoryName FROM ElementCategory ORDER BY EleCategoryID"))
            .filtered(QStringLiteral("EleCategoryName"), name);
    return rs.toInt(0, QStringLiteral("EleCategoryID"));
}

bool frmEleDef::DBExistingCat(qint32 categoryId)
{
    return !gConn.query(QStringLiteral("SELECT 1 FROM AvailableElements WHERE ElementCategory = ? LIMIT 1"),
                        {categoryId})
                .isEmpty();
}

SaveOutcome frmEleDef::DBUpdateElementCategory(qint32 categoryId, const QString& name)
{
    const ReadCategory read = m_readCats.value(categoryId);
    // A name given back as the list showed it is no rename.
    if (!m_shownCats.changed(QString::number(categoryId), name))
        return {};
    RowWrite w;
    w.loaded = {QStringLiteral("ElementCategory"),
                {{QStringLiteral("EleCategoryID"), categoryId}},
                {{QStringLiteral("EleCategoryName"), read.name}}};
    w.what = QStringLiteral("The element category ") + read.name.toString();
    w.columns = {{QStringLiteral("EleCategoryName"), name, QStringLiteral("The name of the element category ") + read.name.toString(), {}}};
    return SaveRows({w});
}

bool frmEleDef::DBRemoveElementCategory(qint32 categoryId)
{
    TxGuard tx;
    if (DBExistingCat(categoryId))
        return false;
    gConn.exec(QStringLiteral("DELETE FROM ElementCategory WHERE EleCategoryID = ?"), {categoryId});
    tx.commit();
    return true;
}

SaveOutcome frmEleDef::DbUpdateExp(const QString& table, const QString& idField, const QString& nameField,
                                   const QString& newName, qint32 id)
{
    requireLookup(kExpCats, table, idField, nameField);
    return updateItem(id, newName, QVariant());
}

SaveOutcome frmEleDef::DbUpdateElement(const QString& table, const QString& idField, const QString& nameField,
                                       const QString& name, qint32 id, qint32 categoryId)
{
    requireLookup(kElements, table, idField, nameField);
    return updateItem(id, name, categoryId);
}

SaveOutcome frmEleDef::updateItem(qint32 id, const QString& name, const QVariant& categoryId)
{
    // Only a field that shows something else than when the entry was chosen: a rename leaves a
    // category another user set since, and the reverse; a name stored otherwise than the box
    // shows it is not written back untouched.
    const ReadItem read = m_readItems.value(id);
    const auto edited = [&](const QString& field, const QVariant& shownNow) {
        return id == m_shownItemId && m_shownItem.changed(field, shownNow);
    };
    ColumnValues was;
    ColumnValues now;
    QVector<NeededRow> needs;
    if (edited(m_nameField, name)) {
        was << qMakePair(m_nameField, m_shownItem.loaded(m_nameField));
        now << qMakePair(m_nameField, QVariant(name));
    }
    if (categoryId.isValid() && edited(QStringLiteral("ElementCategory"), categoryId)) {
        was << qMakePair(QStringLiteral("ElementCategory"), m_shownItem.loaded(QStringLiteral("ElementCategory")));
        now << qMakePair(QStringLiteral("ElementCategory"), categoryId);
        needs << NeededRow{QStringLiteral("ElementCategory"),
                           {{QStringLiteral("EleCategoryID"), categoryId}},
                           QStringLiteral("The element category ") + m_readCats.value(categoryId.toInt()).name.toString()};
    }
    if (now.isEmpty())
        return {};
    RowWrite w;
    // By key: names are not unique once renamed, and a rename by name would rename all.
    w.loaded = {m_table, {{m_idField, id}}, was};
    w.needs = needs;
    w.what = QStringLiteral("The %1 %2").arg(m_caption.toLower(), read.name.toString());
    for (const auto& [column, value] : now) {
        const bool isName = column == m_nameField;
        ColumnEdit edit{column, value, QStringLiteral("The %1 of the %2 %3").arg(isName ? QStringLiteral("name") : QStringLiteral("category"), m_caption.toLower(), read.name.toString()), {}};
        if (!isName)
            edit.show = [](const QVariant& v) {
                return gConn.scalar(QStringLiteral("SELECT EleCategoryName FROM ElementCategory WHERE EleCategoryID = ?"), {v})
                    .toString();
            };
        w.columns << edit;
    }
    const SaveOutcome out = SaveRows({w});
    if (out.saved() && !out.showStored()) {
        ReadItem& stored = m_readItems[id];
        for (const auto& [column, value] : now)
            (column == m_nameField ? stored.name : stored.category) = value;
    }
    return out;
}

RowSet frmEleDef::DbGetLookupData(const QString& table, const QString& idField, const QString& nameField)
{
    const Lookup& l = lookupOf(table, idField, nameField);
    return gConn.query(QStringLiteral("SELECT %1, %2 FROM %3 ORDER BY %1").arg(l.idField, l.nameField, l.table));
}

RowSet frmEleDef::DBGetEleCats()
{
    return gConn.query(QStringLiteral("SELECT * FROM ElementCategory ORDER BY EleCategorySort, EleCategoryID"));
}

bool frmEleDef::DBSetCategoryOrder()
{
    const int n = lstEleCat->count();
    bool moved = false;
    for (int p = 0; p < n && p < m_readCatOrder.size(); ++p)
        moved = moved || lstEleCat->item(p)->data(Qt::UserRole).toInt() != m_readCatOrder[p];
    if (!moved || n != m_readCatOrder.size())
        return true;
    // Each place keeps the sort value it had as read (made rising where read values tie); a
    // category the user moved takes the value of its new place. Categories that kept their
    // place are not written, so another user's reorder of them stays.
    QVector<qint64> place(n);
    for (int p = 0; p < n; ++p) {
        place[p] = m_readCats.value(m_readCatOrder[p]).sort.toLongLong();
        if (p > 0 && place[p] <= place[p - 1])
            place[p] = place[p - 1] + 1;
    }
    QVector<RowWrite> writes;
    for (int p = 0; p < n; ++p) {
        const qint32 id = lstEleCat->item(p)->data(Qt::UserRole).toInt();
        const ReadCategory read = m_readCats.value(id);
        if (!read.sort.isNull() && read.sort.toLongLong() == place[p])
            continue;
        RowWrite w;
        w.loaded = {QStringLiteral("ElementCategory"),
                    {{QStringLiteral("EleCategoryID"), id}},
                    {{QStringLiteral("EleCategorySort"), read.sort}}};
        w.what = QStringLiteral("The element category ") + read.name.toString();
        // A place as the list shows it: counted from 1.
        w.columns = {{QStringLiteral("EleCategorySort"), place[p],
                      QStringLiteral("The place of the element category ") + read.name.toString(),
                      [p, mine = place[p]](const QVariant& v) {
                          if (v.toLongLong() == mine)
                              return QString::number(p + 1);
                          return QString::number(
                              gConn.scalar(QStringLiteral("SELECT count(*) FROM ElementCategory WHERE EleCategorySort < ?"), {v})
                                  .toInt() + 1);
                      }}};
        writes << w;
    }
    return SaveRows(writes).result != SaveOutcome::Result::Cancelled;
}

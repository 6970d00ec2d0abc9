#pragma once
#include "rowedits.h"
#include "db.h"
#include "forms.h"

#include <QDialog>
#include <QHash>
#include <QString>
#include <QVariant>
#include <QVector>

class ClickLabel;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;
struct SaveOutcome;

// The definition list editor: elements with their categories and the categories' display
// order ("Element"), or the expenditure categories ("Expenditure Category"). Made anew for
// each use; the openers keep one per caption with FormIsOpen("Element Definition", true)
// or FormIsOpen("Expenditure Category Definition", true). Every change is written when its
// button is pressed; the category order when the window unloads. Other users may change the
// same lists meanwhile: each write sends only what this window changed, compared with the
// values as it read them (SaveRows).
//
//   auto* ed = new frmEleDef;
//   ed->LoadForm("Element", "AvailableElements", "ElementID", "ElementName");   // modeless
//   ed->LoadForm("Expenditure Category", "ExpenditureCats", "CategoryID", "Category");
//
// A modal opener hides the shown editor again and exec()s it; the window deletes itself
// when it unloads, so the pointer is not used after exec() returns.
class frmEleDef : public KrvForm<QDialog> {
    Q_OBJECT
public:
    explicit frmEleDef(QWidget* parent = nullptr);

    // Stores the names, loads the lists, lays the window out for the mode and shows it
    // modeless. False when it could not load: the error was reported and the window unloaded.
    Q_INVOKABLE bool LoadForm(const QString& caption, const QString& table, const QString& idField,
                              const QString& nameField);

    // ---- the window's own data access (table and column names must be those of one of
    // the two modes; any other raises DbError)

    // The removal with its questions: true when rows were deleted. The dependent rows are
    // checked again inside the removal's transaction: rows that appeared after the questions
    // are asked about before anything is deleted.
    bool DbRemoveLookupData(qint32 id, const QString& table, const QString& idField);
    // The new element's ID, -1 when an element of that name exists, kAddFailed when its
    // category was removed meanwhile (the user was told).
    qint32 DbAddLookup(const QString& table, const QString& idField, const QString& nameField, const QString& name,
                       qint32 categoryId);
    // The new category's ID, -1 when one of that name exists, kAddFailed when the insert
    // failed (the error was shown).
    qint32 DbAddExpLookup(const QString& table, const QString& nameField, const QString& name);
    static constexpr qint32 kAddFailed = -2;
    // False when a category of that name exists.
    bool DBAddElementCategory(const QString& name);
    // The first category of that name; raises DbError (no current record) when none.
    qint32 DBGetCategoryID(const QString& name);
    // True when elements of the category exist.
    bool DBExistingCat(qint32 categoryId);
    // Renames the category, checked against its name as this window read it.
    SaveOutcome DBUpdateElementCategory(qint32 categoryId, const QString& name);
    // Refuses (false, nothing deleted) a category that still has elements.
    bool DBRemoveElementCategory(qint32 categoryId);
    // Renames the row with that key. Raises KrvError when the write failed.
    SaveOutcome DbUpdateExp(const QString& table, const QString& idField, const QString& nameField,
                            const QString& newName, qint32 id);
    // Writes the element's name and category where they differ from what this window read.
    SaveOutcome DbUpdateElement(const QString& table, const QString& idField, const QString& nameField,
                                const QString& name, qint32 id, qint32 categoryId);
    RowSet DbGetLookupData(const QString& table, const QString& idField, const QString& nameField);
    RowSet DBGetEleCats();
    // Writes the display order of the categories the user moved, in one go; the others are
    // left as stored. False when the user chose to go on editing (Cancel to a question).
    bool DBSetCategoryOrder();

    // The key for a new element: one more than the greatest ElementID still found anywhere
    // (the catalogue, the working and posted rows, pictures, clips, saved report choices),
    // 0 for the first element of an empty database. A removed element's posted rows stay,
    // so its key must never be given to another element.
    static qint32 NextElementID();

    bool elementMode() const;

    // ---- controls
    QLabel* Label1[4];
    QLineEdit* txtEleCatName;
    QPushButton* cmdAddCat;
    QPushButton* cmdUpdateCat;
    QPushButton* cmdRemoveCat;
    QListWidget* lstEleCat;
    QFrame* Line1;
    QLineEdit* txtName;
    QComboBox* cboEleCat;
    QPushButton* cmdAdd;
    QPushButton* cmdUpdate;
    QPushButton* cmdRemove;
    QListWidget* lstEle;
    QPushButton* cmdClose;
    ClickLabel* Image1;
    ClickLabel* Label2;

    // Category order by dragging: press, moves (the list's selection follows the pointer
    // while the button is held), release.
    void lstEleCat_MouseDown();
    void lstEleCat_MouseMove();
    void lstEleCat_MouseUp();

protected:
    bool QueryUnload() override;
    void FormUnload() override;
    bool SettleEditBeforeClose() override;
    void reject() override { Unload(); }
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Form_Load();
    void layOut(const QString& caption);
    bool elementEdited();
    bool categoryEdited() const;
    QString m_caption;
    void LoadElementCategories();
    void loadItems();
    // Both lists again as stored, the chosen entries kept where they still exist; keepTyping
    // leaves the typed name in its box.
    void reloadLists(bool keepTyping);
    // Reads the entry as stored now, shows it and keeps it as the values updates compare with.
    void readItem(QListWidgetItem* item);
    SaveOutcome updateItem(qint32 id, const QString& name, const QVariant& categoryId);
    qint32 selectedCategoryId() const;
    void selectFirstEle();
    void selectEleCat(int row);

    void lstEle_Click();
    void lstEleCat_Click();
    void cmdAdd_Click();
    void cmdUpdate_Click();
    void cmdRemove_Click();
    void cmdAddCat_Click();
    void cmdUpdateCat_Click();
    void cmdRemoveCat_Click();
    void showAbout();

    QString m_table;
    QString m_idField;
    QString m_nameField;

    // The entries of lstEle as read (at load, then when chosen): the values an update
    // compares with and writes only where they differ.
    struct ReadItem {
        QVariant name;
        QVariant category;
    };
    QHash<qint32, ReadItem> m_readItems;
    // The chosen entry's fields as read and as shown when it was chosen (m_shownItemId):
    // an update writes only a field that shows something else now.
    ShownFields m_shownItem;
    qint32 m_shownItemId = 0;
    // Each category's name as read and as the list shows it, by its ID.
    ShownFields m_shownCats;
    // The categories as read, and their order then.
    struct ReadCategory {
        QVariant name;
        QVariant sort;
    };
    QHash<qint32, ReadCategory> m_readCats;
    QVector<qint32> m_readCatOrder;

    bool m_dragging = false;
    QString m_dragText;
    int m_dragPos = -1;
    qint32 m_dragId = 0;
};

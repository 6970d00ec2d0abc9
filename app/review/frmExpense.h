#pragma once
#include "forms.h"
#include "rowedits.h"

#include <QHash>
#include <QWidget>

class ClickLabel;
class LockableComboBox;
class QComboBox;
class QDateEdit;
class QFrame;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

// The expenditures of the tunnel system: one list of every expenditure, an editor below it
// for users with the DataEntry right, the expenditure categories for wizards, and the
// expenditure report. Single instance, modeless; everything is loaded when it is made.
//
// A row's key "x" + ExpID is in Qt::UserRole of column 0; its date and time in
// Qt::UserRole of column 1.
class frmExpense : public KrvForm<QWidget> {
    Q_OBJECT
public:
    explicit frmExpense(QWidget* parent = nullptr);

    // Selects the first entry whose text equals text exactly; no match leaves the
    // selection as it was.
    void FindText(QComboBox* combo, const QString& text);

    // True after New, false after Edit: Save adds or changes by it.
    bool IsNewExpenditure = false;
    // Per list column 1 to 5: flips after each sort by that column.
    bool ColumnSortFlag[5] = {false, false, false, false, false};

    // ---- controls
    QTreeWidget* lvExp;
    QFrame* fraButtons;
    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label3;
    QLabel* Label4;
    QLabel* Label5;
    QDateEdit* dtp;
    LockableComboBox* cboTunnel;
    QLineEdit* txtCost;
    LockableComboBox* cboCategory;
    QPlainTextEdit* txtComments;
    QPushButton* cmdReport;
    QPushButton* cmdNew;
    QPushButton* cmdSave;
    QPushButton* cmdEdit;
    QPushButton* cmdCancel;
    QPushButton* cmdDelete;
    QPushButton* cmdCategories;
    QPushButton* cmdClose;
    ClickLabel* Image1;
    ClickLabel* Label6;

    // ---- the commands, as their buttons run them
    void lvExp_ItemClick(QTreeWidgetItem* item);
    void lvExp_ColumnClick(int column);  // 1 to 5
    void cmdNew_Click();
    void cmdEdit_Click();
    void cmdCancel_Click();
    void cmdSave_Click();
    void cmdDelete_Click();
    void cmdCategories_Click();
    void cmdReport_Click();
    void cmdClose_Click();

    // ---- the designed client area, in twips
    static constexpr double kClientWidth = 9915;
    static constexpr double kClientHeight = 5685;

protected:
    void FormUnload() override;
    bool SettleEditBeforeClose() override;
    // The editor's fields as text: date, tunnel, category, cost, comments.
    QStringList fieldsNow() const;
    void fillAtEdit(const ColumnValues& loaded);
    bool fieldsChanged() const;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Form_Load();
    void LoadCategories();
    void ClearFields();
    void SetEditMode(bool editing);
    bool ValidateFields();
    void RefreshCategoryNames();
    void SwapExpenseRows(int i, int j);
    void setRow(QTreeWidgetItem* item, qint32 expId, const QString& category, const QDateTime& when, double cost,
                const QString& tunnel, const QString& comments);
    // Fills the row from row i of an expenditure list and keeps its values as loaded.
    void loadRow(QTreeWidgetItem* item, const RowSet& list, int i);
    // Shows the expenditure as stored now; its row goes when it is stored no more.
    void showStoredRow(QTreeWidgetItem* item, qint32 expId);
    void dropRow(QTreeWidgetItem* item);
    QTreeWidgetItem* selectedRow() const;
    QTreeWidgetItem* rowOfKey(const QVariant& key) const;
    void selectRowQuietly(QTreeWidgetItem* item);
    void currentRowChanged(QTreeWidgetItem* item);
    void rowClicked(QTreeWidgetItem* item);
    void showAbout();

    // Set while the program itself moves the list's selection: no row selection runs then.
    bool m_quietSelection = false;
    bool m_editing = false;
    // The editor's fields as New or Edit left them, with the values they were filled from.
    ShownFields m_atEdit;
    // Each listed expenditure's columns as read from the file (or as this window wrote them).
    QHash<qint32, ColumnValues> m_loaded;
    // The key of the row Edit was started on.
    QVariant m_editKey;
    // The press that made a row current already ran the row selection; its click does not again.
    QTreeWidgetItem* m_selectedByPress = nullptr;
};

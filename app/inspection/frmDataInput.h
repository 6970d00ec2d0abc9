#pragma once
#include "dbdatainput.h"
#include "forms.h"

#include <QMap>
#include <QPointer>
#include <QStringList>
#include <QVector>
#include <QWidget>

class ClickLabel;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QScrollBar;
class QTabBar;
class QTabWidget;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;
class ZVMap;

// Rating entry of one tunnel and one inspection year: the tunnel picture with its panel
// outlines shaded by their lowest rating, and for the current panel the element category
// tabs, one rating row per element (the previous year beside it when the System row's View
// is on), the comments and the defect quantities of both years.
//
// View mode (after LoadForm, Cancel and Save) locks every box; Edit unlocks them and
// disables the map, so the panel cannot change during an edit. A save writes, in one
// transaction, only the ratings, comments and defect quantities the user changed since the
// panel was loaded; another user's change to one of them is asked about, and a period, panel
// or element another user removed gets nothing (the user is told and keeps editing). A defect
// typed in the defect fields but not added (or updated) is part of the edit: Save and the
// closing question ask about it, and the fields are emptied once the edit is saved or dropped.
//
// Row controls are arrays: index i of lblElement, cmdSketch, cmdPhoto, cmdVideo, lblRate1,
// txtRate1, cmdInputSketch, cmdInputPhoto and cmdInputVideo make row i. Each control's
// objectName is its array's name and its property "Index" the row; rows not in use are
// hidden. The key-plan printout reads ZVMap1, lblName (text, property "Tag" = PanelID),
// lblYear1, lblYear2, lblElement, lblRate1 and txtRate1 by name.
class frmDataInput : public KrvForm<QWidget> {
    Q_OBJECT
public:
    explicit frmDataInput(QWidget* parent = nullptr);
    ~frmDataInput() override;

    // Fills the window for the tunnel's period of that year and shows it. Refuses, with a
    // message, a tunnel without panels and a missing tunnel picture (the window unloads).
    Q_INVOKABLE void LoadForm(qint16 year, qint32 tunnelId);

    // Window state, read by tests and by the windows it opens.
    qint16 Year() const { return m_year; }
    qint32 TunnelID() const { return m_tunnelId; }
    qint32 InspectionID() const { return m_inspectionId; }
    qint16 PreviousYear() const { return m_previousYear; }
    qint32 PreviousInspectionID() const { return m_previousInspectionId; }
    qint32 PanelID() const { return m_panelId; }
    QString PanelName() const { return m_panelName; }
    int RowCount() const { return m_rowCount; }
    bool ViewPrevious() const { return m_viewPrevious; }
    bool Editing() const;
    // In edit mode with something typed that differs from what is stored.
    bool EditChanged() const;
    // In edit mode with defect fields that differ from what was last put in them (nothing,
    // the defect clicked in the list, the one just added or updated): a defect typed but
    // not yet added or updated.
    bool DefectTyped() const;
    // Before the window shows another tunnel or closes for one: an edit in progress is saved
    // or dropped as the user answers; false when the user keeps it (Cancel) or the save failed.
    bool SettleEdit();

    // The shading level the rule gives a panel: 2 at or below the critical threshold, else 1
    // at or below the warning threshold, else 0 (an unrated panel counts as 9).
    static qint16 ShadeLevel(int lowestRating, int warning, int critical);
    // Total cost text of the defect editor: quantity times unit cost, rounded to cents and
    // written in its shortest form (7.5, 6, .25).
    static QString CalcTotalCost(const QString& quantity, const QString& unitCost);
    // A number in its shortest plain form ("2.5", ".25", "6", "-.5").
    static QString PlainNumber(double value);

    // Controls (names as the other windows and tests find them).
    ZVMap* ZVMap1 = nullptr;
    QFrame* fraData = nullptr;
    QLabel* lblName = nullptr;
    QTabBar* TabStrip1 = nullptr;
    QWidget* picContainer = nullptr;
    QWidget* fraRatings = nullptr;
    QScrollBar* VScroll1 = nullptr;
    QLabel* lblNoData = nullptr;
    QLabel* lblPanel = nullptr;
    QFrame* Line1 = nullptr;
    QFrame* Line2 = nullptr;
    QLabel* lblYear1[2] = {};
    QLabel* lblYear2[2] = {};
    QVector<QLabel*> lblElement;
    QVector<QToolButton*> cmdSketch;
    QVector<QToolButton*> cmdPhoto;
    QVector<QToolButton*> cmdVideo;
    QVector<QLabel*> lblRate1;
    QVector<QLineEdit*> txtRate1;
    QVector<QToolButton*> cmdInputSketch;
    QVector<QToolButton*> cmdInputPhoto;
    QVector<QToolButton*> cmdInputVideo;
    QTabWidget* SSTab1 = nullptr;
    QPlainTextEdit* txt1[2] = {};
    QTreeWidget* lvDefectQty = nullptr;
    QTreeWidget* lvDefectQty2 = nullptr;
    QLineEdit* txtDefectDesc = nullptr;
    QLineEdit* txtQty = nullptr;
    QComboBox* cboUnits = nullptr;
    QLineEdit* txtUnitCost = nullptr;
    QLineEdit* txtTotalCost = nullptr;
    QPushButton* cmdAddDefect = nullptr;
    QPushButton* cmdEditDefect = nullptr;
    QPushButton* cmdDeleteDefect = nullptr;
    QPushButton* cmdEdit = nullptr;
    QPushButton* cmdSave = nullptr;
    QPushButton* cmdCancel = nullptr;
    QPushButton* cmdPrint = nullptr;
    QPushButton* cmdClose = nullptr;
    ClickLabel* Image1 = nullptr;
    ClickLabel* Label1 = nullptr;

protected:
    void FormUnload() override;
    bool SettleEditBeforeClose() override { return SettleEdit(); }
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void buildDefectTab(QWidget* page);
    void Form_Load();
    void Form_Resize();
    void resetForLoad();

    // map and panels
    void LoadTunnelPicture();
    void DrawPanels();
    void ShadePanel(qint32 panelId, bool shadeAll);
    void ZVMap1_PolyHit(qint32 id);
    void ZVMap1_PolyMouseOver(qint32 id, QString& toolTip);
    void ZVMap1_Click();
    void UnloadChildForms();

    // rows
    void LoadCategoryTabs(qint32 panelId);
    void LoadPanelData(qint32 panelId);
    void createRow(int i);
    void destroyExtraRows();
    int rowOf(QObject* control) const;
    qint32 rowElementId(int i) const;
    void placeRow(int i, int left, int top);
    void txtRate1_GotFocus(int index);
    bool txtRate1_KeyPress(int index, QKeyEvent* event);
    void setRatingsLocked(bool locked);
    void setTabOrderOfRows();
    void VScroll1_Change(int value);
    void SetEditControls(bool enabled);
    void cmdEdit_Click();
    void cmdCancel_Click();
    // Loads the panel as stored now; false when the tunnel or panel is gone (the window
    // closed or shows the tunnel again).
    bool showStored();
    void cmdSave_Click();
    bool SaveEdit();
    void enterViewMode();
    bool ratingsChanged() const;
    bool commentsChanged() const;
    bool currentCommentChanged() const;
    bool previousCommentChanged() const;
    QString PendingEditText() const;
    void TabStrip1_MouseDown();
    void TabStrip1_MouseUp();
    void cmdClose_Click();
    void cmdPrint_Click();
    void updatePrintButton();

    // defect quantities
    void LoadUnits();
    void LoadDefectQuantities(qint32 panelId, qint32 inspectionId, QTreeWidget* list);
    void UpdateInspectionPdButtons();
    void EnsureUnitListed();
    void SetDefectFieldsEnabled(bool enabled);
    void UpdateAddDefectButton();
    void UpdateDefectButtons();
    void costChanged();
    void lvDefectQty_ItemClick(QTreeWidgetItem* item);
    void cmdAddDefect_Click();
    void cmdEditDefect_Click();
    void cmdDeleteDefect_Click();
    bool defectEditorComplete(bool adding);
    void fillDefectItem(QTreeWidgetItem* item);
    bool AddDefect();
    bool UpdateDefect();
    QStringList defectFields() const;
    void ClearDefectFields();
    void markDefectFieldsSettled(QTreeWidgetItem* from);
    QTreeWidgetItem* typedDefectTarget() const;
    QString TypedDefectQuestion() const;
    bool StoreTypedDefect();
    static DefectQuantityRow defectItemRow(const QTreeWidgetItem* item);
    QVector<DefectEdit> defectEdits() const;

    // media buttons
    void cmdInputPhoto_Click(int index);
    void cmdInputSketch_Click(int index);
    void cmdInputVideo_Click(int index);
    void cmdPhoto_Click(int index);
    void cmdSketch_Click(int index);
    void cmdVideo_Click(int index);
    void showAbout();

    qint16 m_year = 0;
    qint32 m_tunnelId = 0;
    qint32 m_inspectionId = 0;
    qint16 m_previousYear = 0;
    qint32 m_previousInspectionId = 0;
    qint32 m_panelId = 0;
    QString m_panelName;
    int m_rowCount = 0;
    int m_lines = 0;
    bool m_viewPrevious = false;
    // Each rating box and comment box as filled at load: a save writes only what differs.
    ShownFields m_shown;
    QVector<LoadedRow> m_ratingRows;   // each row's rating as stored at load
    LoadedRow m_currentCommentRow;
    LoadedRow m_previousCommentRow;
    // The current period's defect rows as loaded, by ID: as stored and as the list showed them.
    QMap<qint32, ShownFields> m_loadedDefects;
    QString m_tunnelName;
    qint32 m_lastCategoryId = 0;
    bool m_savingOnTabSwitch = false;
    bool m_tabSwitchAllowed = false;
    bool m_editing = false;
    bool m_defectsTouched = false;  // a defect row added, changed or deleted in this edit
    // The defect fields as last put there, and the list item they came from (none for a new
    // defect): typing that differs from them is a defect not yet added or updated.
    QStringList m_defectFieldsSettled{QString(), QString(), QString(), QString()};
    QTreeWidgetItem* m_defectFieldsItem = nullptr;
    int m_picHeight = 0;  // twips
};

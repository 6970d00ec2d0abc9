#pragma once
#include "dbrecords.h"
#include "forms.h"

#include <QList>
#include <QRectF>
#include <QVector>
#include <QWidget>

class ClickLabel;
class QAction;
class QDateEdit;
class QFrame;
class QLabel;
class QListWidget;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QScrollBar;
class QTabBar;
class QTabWidget;
class QToolButton;
class QTreeWidget;
class ZVMap;

// The review of posted data of one tunnel: one inspection period, or two side by side.
// Above, the tunnel picture with its panels shaded from the posted ratings of the later
// period; below, the rows of the current panel for one element category, the comments and
// defect quantities of each period, the panel's repair log, emergency incidents and custom
// data tabs. Nothing here writes ratings, comments or defects.
//
// One instance, opened by name (LoadForm); a further LoadForm reloads it. Geometry is kept
// in twips (Tw*), as the key-plan printout and the tests read it; the widgets follow.
// Row controls are arrays: index 0 is permanent, the others are made for each build.
class frmDataView : public KrvForm<QWidget> {
    Q_OBJECT
public:
    explicit frmDataView(QWidget* parent = nullptr);
    // The loaded review window, or a new one: there is never more than one.
    static frmDataView* Instance();

    // Shows posted data of the tunnel: period 1, and period 2 beside it (0 for none).
    Q_INVOKABLE void LoadForm(qint32 TunnelID, qint32 InspectionID1, qint32 InspectionID2);

    // The field sketch's file name of the element in the period, "" when none.
    static QString FindSketchPath(qint32 panelId, qint32 elementId, qint32 inspectionId);

    // Window state.
    qint32 TunnelID() const { return m_tunnelId; }
    qint32 InspectionID1() const { return m_inspectionId1; }
    qint32 InspectionID2() const { return m_inspectionId2; }
    qint32 Year1() const { return m_year1; }
    qint32 Year2() const { return m_year2; }
    qint32 CurrentPanelID() const { return m_currentPanelId; }
    bool PanMode() const { return m_panMode; }
    // Rows built by the last panel load (the arrays keep row 0 even with none).
    int RowCount() const { return m_rowCount; }

    // Geometry in twips of a control placed by this window (left, top, width, height).
    static QRectF Tw(const QWidget* w);
    // The lower end of a line control, twips.
    static double TwY2(const QWidget* line);
    // The text a control keeps in its Tag ("" when none).
    static QString Tag(const QWidget* w);

    // The map and the frame below it.
    ZVMap* ZVMap1;
    QFrame* fraData;
    QTabBar* TabStrip1;
    QWidget* picContainer;
    QWidget* fraRatings;
    QScrollBar* VScroll1;
    QFrame* Line1;
    QFrame* Line2;
    QTabWidget* SSTab1;
    QVector<QLabel*> lblYear1;  // 0 and 1
    QVector<QLabel*> lblYear2;
    QLabel* lblPanelID;

    // Row arrays.
    QVector<QLabel*> lblElement;
    QVector<QLabel*> lblRate1;
    QVector<QLabel*> lblRate2;
    QVector<QToolButton*> cmdSketch;
    QVector<QToolButton*> cmdPhoto;
    QVector<QToolButton*> cmdVideo;
    QVector<QToolButton*> cmdSketch2;
    QVector<QToolButton*> cmdPhoto2;
    QVector<QToolButton*> cmdVideo2;

    // Tab pages.
    QVector<QPlainTextEdit*> txtComments;  // 0 and 1
    QTreeWidget* lvDefectQty;
    QTreeWidget* lvDefectQty2;
    QPushButton* cmdAdd;
    QPushButton* cmdDelete;
    QPushButton* cmdSave;
    QPushButton* cmdCancel;
    QDateEdit* dtp;
    QListWidget* lstRepairDates;
    QPlainTextEdit* txtRepairLog;
    QPushButton* cmdAddEmergency;
    QPushButton* cmdDeleteEmergency;
    QPushButton* cmdSaveEmergency;
    QPushButton* cmdCancelEmergency;
    QDateEdit* dtpEmergency;
    QListWidget* lstEmergency;
    QPlainTextEdit* txtEmergency;
    QVector<QPlainTextEdit*> txtAdditional;
    QPushButton* cmdEditAddl;
    QPushButton* cmdSaveAddl;
    QPushButton* cmdCancelAddl;

    QPushButton* cmdPrint;
    QPushButton* cmdDefectRpt;
    QPushButton* cmdClose;
    ClickLabel* Image1;
    ClickLabel* Label1;

    QMenu* mnuMap;
    QMenu* mnuZoom;
    QAction* mnuZoom50;
    QAction* mnuZoom75;
    QAction* mnuZoom100;
    QAction* mnuZoom150;
    QAction* mnuZoom200;
    QAction* mnuPan;

protected:
    void FormUnload() override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void buildControls();
    void buildTabs();
    void connectCommands();
    void Form_Load();
    void Form_Resize();

    // The map.
    void DrawReviewPanels();
    void ShadeReviewPanel(qint32 panelId, bool shadeAll);
    qint32 shadingPeriod() const;
    void LoadReviewCategoryTabs(qint32 panelId);
    void ZVMap1_PolyHit(qint32 id);
    void ZVMap1_MouseDown(qint16 button);
    void zoomTo(qint16 percent);
    void mnuPan_Click();

    // The rows and the period tabs.
    void LoadReviewPanelData(qint32 panelId);
    void LoadReviewDefects(qint32 panelId, qint32 inspectionId, QTreeWidget* list);
    void makeRow(int i);
    void removeRowsAfterFirst();
    void VScroll1_Change(int value);
    qint32 currentPanel() const;

    // Repair log and emergencies.
    void LoadRepairLogs(qint32 panelId);
    void LoadEmergencies(qint32 panelId);
    void SetRepairEditMode(bool editMode);
    void SetEmergencyEditMode(bool editMode);
    void lstRepairDates_Click();
    void lstEmergency_Click();
    void cmdAdd_Click();
    void cmdSave_Click();
    void cmdCancel_Click();
    void cmdDelete_Click();
    void cmdAddEmergency_Click();
    void cmdSaveEmergency_Click();
    void cmdCancelEmergency_Click();
    void cmdDeleteEmergency_Click();
    bool SaveRepairEntry();
    bool SaveEmergencyEntry();

    // Custom data tabs.
    void LoadAdditionalTabs();
    void LoadAdditionalData(qint32 panelId);
    // Reads box k's text of the panel from the file, as loaded.
    void loadAddlText(int k, qint32 panelId);
    void ArrangeDataTabs();
    void SSTab1_Click(int previousTab);
    void cmdEditAddl_Click();
    void cmdSaveAddl_Click();
    void cmdCancelAddl_Click();
    void leaveAddlEditMode();
    bool SaveAddlText();

    // Typing not yet saved in the repair log, emergency and custom-tab editors.
    bool repairTyped() const;
    bool emergencyTyped() const;
    int addlTyped() const;  // index of the custom box being typed in, or -1
    // Before the editors show another panel or tunnel: asks whether to save each typed text
    // (Yes saves it, No drops it); false when the user keeps it (Cancel) or a save failed.
    bool SettleTyping();
    bool SettleEditBeforeClose() override { return SettleTyping(); }

    // Media, printing and the defect report.
    void cmdPhoto_Click(int index, bool second);
    void cmdSketch_Click(int index, bool second);
    void cmdVideo_Click(int index, bool second);
    void cmdPrint_Click();
    void cmdDefectRpt_Click();
    void offerAvailableWindows();
    void showAbout();

    qint32 m_tunnelId = 0;
    QString m_tunnelName;  // as the title shows it
    qint32 m_inspectionId1 = 0;
    qint32 m_inspectionId2 = 0;
    qint32 m_year1 = 0;
    qint32 m_year2 = 0;
    qint32 m_currentPanelId = 0;
    bool m_panMode = false;
    int m_rowCount = 0;
    int m_currentTab = 0;
    // The custom tabs as this window made their boxes: the definitions' IDs and captions.
    QVector<qint32> m_tabIds;
    QStringList m_tabCaptions;
    // The current panel's text of each box as read from the file.
    QVector<TabText> m_addlLoaded;
    ShownFields m_addlShown;  // each custom box as filled, by its index
};

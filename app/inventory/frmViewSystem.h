#pragma once
#include "forms.h"

#include <QList>
#include <QMainWindow>

class ClickLabel;
class QAction;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QToolButton;
class ZVMap;

// The main window of every user not working in the set-up window: the system map with the
// tunnels as click areas, expenditures, reports, the administrator tools the user's rights
// allow, help and About. One instance; unloading it unloads every other window.
//
// Windows of other libraries are opened by name (CreateForm); a command whose window is not
// part of the program is disabled.
class frmViewSystem : public KrvForm<QMainWindow> {
    Q_OBJECT
public:
    explicit frmViewSystem(QWidget* parent = nullptr);

    // Window state.
    qint32 SystemID() const { return m_systemId; }
    bool RatingsInputMode() const { return m_ratingsInputMode; }
    bool MapPanOn() const { return m_mapPanOn; }

    // The map and the controls around it.
    ZVMap* ZVMap1;
    QLineEdit* txtSysName;
    QLabel* Label1;
    ClickLabel* Label2;
    ClickLabel* Image1;
    QFrame* fraZoom;
    QComboBox* cboZoom;
    QToolButton* imgZoom;
    QFrame* fraButtons;
    QPushButton* cmdExp;
    QPushButton* cmdReport;
    QPushButton* cmdAdmin;
    QPushButton* cmdExit;

    // Menus.
    QMenu* mnuSystem;
    QAction* mnuExit;
    QMenu* mnuTools;
    QAction* mnuExpenditures;
    QMenu* mnuReports;
    QList<QAction*> mnuRpt;  // the report items, by index; item 0 always exists
    QMenu* mnuAdmin;
    QAction* mnuWizardSystem;
    QAction* mnuWizardElement;
    QAction* mnuWizardExpenditure;
    QAction* mnuWizardInspPd;
    QAction* mnuRatingsInput;
    QAction* mnuUsers;
    QMenu* mnuMap;
    QAction* mnuPan;
    QMenu* mnuZoom;
    QAction* mnuZoom50;
    QAction* mnuZoom75;
    QAction* mnuZoom100;
    QAction* mnuZoom150;
    QAction* mnuZoom200;
    QMenu* mnuHelp;
    QAction* mnuHelpContents;
    QAction* mnuHelpIndex;
    QAction* mnuSep;
    QAction* mnuAbout;

protected:
    bool QueryUnload() override;
    void FormUnload() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void buildMenus();
    void connectCommands();
    void Form_Load();
    void Form_Resize();
    void DrawTunnels(qint32 systemId);
    void BuildReportMenu();
    void ApplyRights();
    void offerAvailableWindows();

    void ZVMap1_PolyHit(qint32 id);
    void ZVMap1_PolyMouseOver(qint32 id, QString& toolTip);
    void ZVMap1_MouseDown(qint16 button);
    void zoomTo(qint16 percent, const QString& failure);
    bool zoomToTyped();
    void mnuPan_Click();
    void setRatingsInputMode(bool on);

    void cmdExp_Click();
    void cmdReport_Click();
    void cmdAdmin_Click();
    void mnuRpt_Click(QAction* item);
    void mnuWizardSystem_Click();
    void openDefinitionEditor(const QString& caption, const QStringList& loadArgs, const QString& failure);
    void mnuWizardInspPd_Click();
    void mnuUsers_Click();
    void showAbout();

    qint32 m_systemId = 0;
    bool m_ratingsInputMode = false;
    bool m_mapPanOn = false;
    QWidget* m_client = nullptr;
};

#pragma once
#include "forms.h"

#include <QList>
#include <QWidget>

class ClickLabel;
class FolderSync;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollBar;
class QStatusBar;
class QTableWidget;

// Brings field work back: for each ticked tunnel and its chosen inspection year, copies the
// year's media folder to the replica's folder tree and back, appends the report to
// KRV_SyncLog.txt, then exchanges the replica's data with the master. Modeless, one
// instance, opened by the set-up window.
//
// A run is one piece: while it lasts (exchange included) Synchronize is disabled and Close
// only stops it. Stop Sync ends the folder passes and skips the exchange. No folder is copied
// unless the replica path names a replica of the master's set.
class frmSyncFS : public KrvForm<QWidget> {
    Q_OBJECT
public:
    explicit frmSyncFS(QWidget* parent = nullptr);
    ~frmSyncFS() override;

    bool isRunning() const { return m_running; }
    // Ticks a tunnel's row, as a click on its check box does.
    void setTunnelChecked(int row, bool on);

    QWidget* picContainer;
    QWidget* picSync;
    QScrollBar* VScroll1;
    QList<QCheckBox*> chkSyncTunnel;
    QList<ClickLabel*> lblSyncTunnel;
    QList<QComboBox*> cboInspPD;
    QPushButton* cmdSelectAll;
    QPushButton* cmdSelectNone;
    QLabel* lblRepDB;
    QLineEdit* txtRepDB;
    QPushButton* cmdBrowse;
    QPushButton* cmdSync;
    QPushButton* cmdClose;
    QTableWidget* msfReport;
    QStatusBar* sb1;
    QLabel* sbPanel1;
    FolderSync* fsync;

    void cmdSync_Click();
    void cmdClose_Click();
    void cmdBrowse_Click();
    void cmdSelectAll_Click();
    void cmdSelectNone_Click();

protected:
    // A run in progress keeps the window.
    bool QueryUnload() override { return !m_running; }

private:
    void loadTunnels();
    void loadInspectionPeriods();
    void addRow(int index, qint32 tunnelId, const QString& name);
    void chkSyncTunnel_Click(int index);
    void lblSyncTunnel_Click(int index);
    void layoutPanel();
    void setStatus(const QString& text);
    void runFolderPasses(const QString& replica);
    // Why the run's records could not be added (logged, not shown yet); empty when they were.
    struct LogProblem {
        QString text;        // names the file and why
        QString errLogText;  // why err.log could not take its record either
    };
    LogProblem writeSyncLog();
    void tellSyncLogProblem(const LogProblem& problem);
    // conflicts: what the exchange's master priority settled (-1: not known). A failure is told in
    // one message, with the sync log's problem when that one has another cause.
    bool exchange(const QString& replicaPath, int* conflicts, const LogProblem& syncLog);
    void endRun(const QString& status);

    bool m_running = false;
    bool m_stop = false;
};

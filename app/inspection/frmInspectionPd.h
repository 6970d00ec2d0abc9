#pragma once
#include <QHash>
#include "db.h"
#include "forms.h"
#include "rowedits.h"

#include <QString>
#include <QWidget>

class ClickLabel;
class QLabel;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

// The inspection periods of every tunnel of the system: a tree of tunnels with their years,
// from which years are added, renamed and deleted (with their media folders), and rating
// entry, the review of a period, the report of unposted data and posting are started.
// One instance, modeless. Windows of other libraries (rating entry, review, reports, the
// set-up window) are opened by name; a command whose window is not part of the program
// stays disabled.
class frmInspectionPd : public KrvForm<QWidget> {
    Q_OBJECT
public:
    explicit frmInspectionPd(QWidget* parent = nullptr);

    // Makes the tunnel the window's tunnel, selects and expands its node, and shows the window.
    Q_INVOKABLE void LoadForm(qint32 TunnelID);

    // The window's tunnel; it outlives the window, so a later opening selects it again.
    static qint32 TunnelID();
    static void SetTunnelID(qint32 tunnelId);  // tests

    // Node keys: "x" and the TunnelID for a tunnel, "y" and the InspectionID for a year.
    static QString NodeKey(const QTreeWidgetItem* node);
    static qint32 KeyNumber(const QTreeWidgetItem* node);
    QTreeWidgetItem* FindNode(const QString& key) const;

    // After the period's data changed elsewhere (a save in rating entry, a posting): the
    // buttons again, when that period's year node is the selected one.
    Q_INVOKABLE void RefreshYear(qint32 inspectionId);

    QTreeWidget* tv;
    QPushButton* cmdAddYear;
    QPushButton* cmdInput;
    QPushButton* cmdViewData;
    QPushButton* cmdReport;
    QPushButton* cmdPost;
    QPushButton* cmdSystem;
    QPushButton* cmdClose;
    ClickLabel* Label1;
    ClickLabel* Image1;

    // The handlers, as the controls run them.
    void tv_NodeClick(QTreeWidgetItem* node);
    void cmdAddYear_Click();
    void cmdInput_Click();
    void cmdViewData_Click();
    void cmdReport_Click();
    void cmdPost_Click();
    void cmdSystem_Click();
    // The Delete key on the tree.
    void tv_DeleteKey();
    // An edited label; false cancels the edit (the node keeps its text).
    bool tv_AfterLabelEdit(QTreeWidgetItem* node, const QString& newText);

    // A tunnel removed in the set-up window leaves the tree.
    Q_INVOKABLE void TunnelRemoved(qint32 tunnelId);

    // True while field sketches are being copied: the commands that change the tree wait.
    bool Busy() const { return m_busy; }

protected:
    bool QueryUnload() override;
    void FormUnload() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void Form_Load();
    void fillTree();
    void selectTunnel(qint32 tunnelId);
    void setCurrent(QTreeWidgetItem* node);
    // Takes the node of that key off the tree (its period is gone) and selects what is current then.
    void removeNode(const QString& key);
    // The caption and buttons of the node (none: as for a tunnel); showNode logs a failure.
    void setNodeButtons(QTreeWidgetItem* node);
    void showNode(QTreeWidgetItem* node);
    void setYearButtons(QTreeWidgetItem* yearNode);
    void refreshAfterDelete();
    void addYear(QTreeWidgetItem* tunnelNode);
    void deleteYear(QTreeWidgetItem* yearNode, bool askFolders);
    void deleteTunnel(QTreeWidgetItem* tunnelNode);
    bool renameYear(QTreeWidgetItem* yearNode, const QString& newText);
    void placeYear(QTreeWidgetItem* node, qint32 year);
    // Each year node's year as loaded and as its label showed it, by node key.
    ShownFields m_shownYears;
    // The period's field-sketch rows with their panel's and element's names.
    static RowSet sketchRows(qint32 inspectionId);
    static void copySketchRecords(const RowSet& sketches, qint32 toInspectionId, qint16 toYear,
                                  const QHash<QString, QString>& placed);
    void showAbout();

    bool m_busy = false;
    bool m_programmatic = false;  // selection changed by the window, not by the user
    bool m_mousePressed = false;
};

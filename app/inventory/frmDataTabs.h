#pragma once
#include "rowedits.h"
#include "forms.h"

#include <QHash>
#include <QStringList>
#include <QVariant>
#include <QVector>
#include <QWidget>

class ClickLabel;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabBar;

// The editor of the custom data tabs that review shows for every panel. The structure is
// edited on screen and written to TabDefinitions by Save; a tab for which a panel holds
// text cannot be removed. Save writes only the tabs added, renamed, moved or removed here,
// checked against the definitions as loaded, and then shows the structure as stored. One instance: the set-up window opens it with
// frmDataTabs::ShowForm(), which loads it afresh after it was unloaded.
class frmDataTabs : public KrvForm<QWidget> {
    Q_OBJECT
public:
    explicit frmDataTabs(QWidget* parent = nullptr);

    // The loaded instance, made and loaded from the database when there is none.
    static frmDataTabs* Instance();
    // Instance(), shown modeless and brought to the front.
    static frmDataTabs* ShowForm();

    QTabBar* SSTab1;
    QLabel* Label1;
    QLineEdit* txtCaption;
    QPushButton* cmdAdd;
    QPushButton* cmdRemove;
    QPushButton* cmdMoveLeft;
    QPushButton* cmdMoveRight;
    QPushButton* cmdSave;
    QPushButton* cmdClose;
    QFrame* Frame1;
    ClickLabel* imgCorvane;
    ClickLabel* lblKRV;

    // What the editor holds: the data tabs' captions and IDs in tab order (0 for a tab not
    // saved yet); both empty while there is no data tab.
    QStringList tabCaptions() const;
    QVector<qint32> tabIds() const;
    bool changed() const { return m_changed; }

protected:
    bool SettleEditBeforeClose() override;

private:
    // Loads the stored structure; current is the tab shown afterwards.
    void Form_Load(int current = 0);
    // A removed tab back at its loaded place, after the save refused its removal.
    void restoreTab(qint32 id);
    QString caption(int tab) const;
    void setCaption(int tab, const QString& text);
    void showCaption();

    void SSTab1_Click();
    void txtCaption_Change();
    void cmdAdd_Click();
    void cmdRemove_Click();
    void cmdMove_Click(int step);
    // False when the save failed (reported; nothing of it was kept).
    bool cmdSave_Click();
    void cmdClose_Click();
    void showAbout();

    QVector<qint32> m_ids;  // one per tab of SSTab1
    // The definitions as loaded, by ID: what Save compares with.
    struct LoadedTab {
        QVariant index;
        QVariant caption;
    };
    QHash<qint32, LoadedTab> m_loaded;
    // Each tab's name as loaded and as shown then, by "TabCaption/<ID>": Save renames only a
    // tab whose name shows otherwise now.
    ShownFields m_shownTabs;
    bool m_changed = false;
    bool m_guard = false;
};

#pragma once
#include "forms.h"

#include <QDialog>

class QLabel;
class QListWidget;
class QPushButton;

// The user manager: lists the users and adds, edits and removes them. Modal from the
// main windows' Users menu (exec); modeless from the start-up while no wizard user
// exists, and then closing it once a wizard exists runs the start-up again.
class frmDBManager : public KrvForm<QDialog> {
    Q_OBJECT
public:
    explicit frmDBManager(QWidget* parent = nullptr);

    QLabel* Label1;
    QListWidget* lstUsers;
    QPushButton* cmdUsersAdd;
    QPushButton* cmdUsersEdit;
    QPushButton* cmdUsersRemove;
    QPushButton* Command1;

protected:
    bool QueryUnload() override;
    void reject() override { Unload(); }

private:
    void cmdUsersAdd_Click();
    void cmdUsersEdit_Click();
    void cmdUsersRemove_Click();
    void lstUsers_Click();
    QString selectedName() const;
    // The users as stored now (another user may have added or removed some); the named
    // one chosen when it is listed.
    void reloadUsers(const QString& select);
};

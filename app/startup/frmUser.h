#pragma once
#include "dbusers.h"
#include "forms.h"

#include <QDialog>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QStackedWidget;

// The user editor: one user's rights and password. LoadForm, then exec (modal). Saving
// always uses the name given to LoadForm, and writes only what changed since LoadForm read
// the user: a user that did not exist then is added (never over one another user added
// since), one that did is updated (never made again once another user removed it).
class frmUser : public KrvForm<QDialog> {
    Q_OBJECT
public:
    explicit frmUser(QWidget* parent = nullptr);

    Q_INVOKABLE void LoadForm(const QString& userName);
    QString userName() const { return m_userName; }

    QLabel* Label1;
    QLineEdit* txtUserName;
    QLabel* Label5;
    QGroupBox* fraPermission;
    QCheckBox* chkWizard;
    QCheckBox* chkDataEntry;
    QPushButton* cmdPasswd;
    QGroupBox* fraPassword;
    QLabel* Label2;
    QLineEdit* txtOldPW;
    QLabel* Label3;
    QLineEdit* txtNewPW1;
    QLabel* Label4;
    QLineEdit* txtNewPW2;
    QPushButton* cmdOk;
    QPushButton* cmdExitNoSave;

    bool passwordPaneShown() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void reject() override;

private:
    void showPasswordPane(bool show);
    void cmdOk_Click();
    void cmdExitNoSave_Click();
    void okOnPasswordPane();
    void okOnPermissionPane();

    QStackedWidget* m_panes;
    QString m_userName;
    LoadedUser m_loaded;
};

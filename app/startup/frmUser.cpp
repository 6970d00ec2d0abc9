#include "frmUser.h"

#include "dbusers.h"
#include "modkrv.h"
#include "passwords.h"
#include "prompt.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace {

QLineEdit* passwordBox(QWidget* parent, const char* name)
{
    auto* box = new QLineEdit(parent);
    box->setObjectName(QLatin1String(name));
    box->setEchoMode(QLineEdit::Password);
    box->setStyleSheet(QStringLiteral("lineedit-password-character: 42;"));
    return box;
}

QLabel* label(const QString& text, QWidget* parent, const char* name)
{
    auto* l = new QLabel(text, parent);
    l->setObjectName(QLatin1String(name));
    return l;
}

}  // namespace

frmUser::frmUser(QWidget* parent) : KrvForm<QDialog>(QStringLiteral("frmUser"), parent)
{
    setWindowTitle(QStringLiteral("User Privileges"));
    setModal(true);

    Label1 = label(QStringLiteral("User Name:"), this, "Label1");
    txtUserName = new QLineEdit(this);
    txtUserName->setObjectName(QStringLiteral("txtUserName"));
    txtUserName->setToolTip(QStringLiteral("Enter User Name"));
    // Saving uses the name the editor was opened with, so the box only shows it.
    txtUserName->setReadOnly(true);
    txtUserName->setFocusPolicy(Qt::NoFocus);
    Label5 = label(QStringLiteral("It is recommended that the user name be the same as the Windows logon name."), this,
                   "Label5");
    Label5->setWordWrap(true);

    fraPermission = new QGroupBox(QStringLiteral("Permissions"), this);
    fraPermission->setObjectName(QStringLiteral("fraPermission"));
    chkWizard = new QCheckBox(QStringLiteral("Wizard"), fraPermission);
    chkWizard->setObjectName(QStringLiteral("chkWizard"));
    chkWizard->setToolTip(QStringLiteral("Grant Wizard Permissions"));
    chkDataEntry = new QCheckBox(QStringLiteral("Data Entry"), fraPermission);
    chkDataEntry->setObjectName(QStringLiteral("chkDataEntry"));
    chkDataEntry->setToolTip(QStringLiteral("Grant Data Entry Permissions"));
    cmdPasswd = new QPushButton(QStringLiteral("Set Password..."), fraPermission);
    cmdPasswd->setObjectName(QStringLiteral("cmdPasswd"));
    cmdPasswd->setToolTip(QStringLiteral("Set Password"));
    cmdPasswd->setAutoDefault(false);
    auto* perm = new QVBoxLayout(fraPermission);
    perm->addWidget(chkWizard);
    perm->addWidget(chkDataEntry);
    perm->addStretch(1);
    perm->addWidget(cmdPasswd, 0, Qt::AlignLeft);

    fraPassword = new QGroupBox(QStringLiteral("Password"), this);
    fraPassword->setObjectName(QStringLiteral("fraPassword"));
    Label2 = label(QStringLiteral("Old Password:"), fraPassword, "Label2");
    txtOldPW = passwordBox(fraPassword, "txtOldPW");
    Label3 = label(QStringLiteral("New Password:"), fraPassword, "Label3");
    txtNewPW1 = passwordBox(fraPassword, "txtNewPW1");
    Label4 = label(QStringLiteral("Retype Password:"), fraPassword, "Label4");
    txtNewPW2 = passwordBox(fraPassword, "txtNewPW2");
    auto* pw = new QGridLayout(fraPassword);
    pw->addWidget(Label2, 0, 0);
    pw->addWidget(txtOldPW, 0, 1);
    pw->addWidget(Label3, 1, 0);
    pw->addWidget(txtNewPW1, 1, 1);
    pw->addWidget(Label4, 2, 0);
    pw->addWidget(txtNewPW2, 2, 1);
    txtNewPW1->installEventFilter(this);
    txtNewPW2->installEventFilter(this);

    m_panes = new QStackedWidget(this);
    m_panes->addWidget(fraPermission);
    m_panes->addWidget(fraPassword);

    cmdOk = new QPushButton(QStringLiteral("&Ok"), this);
    cmdOk->setObjectName(QStringLiteral("cmdOk"));
    cmdOk->setDefault(true);
    cmdExitNoSave = new QPushButton(QStringLiteral("&Cancel"), this);
    cmdExitNoSave->setObjectName(QStringLiteral("cmdExitNoSave"));
    cmdExitNoSave->setAutoDefault(false);
    connect(cmdOk, &QPushButton::clicked, this, &frmUser::cmdOk_Click);
    connect(cmdExitNoSave, &QPushButton::clicked, this, &frmUser::cmdExitNoSave_Click);
    connect(cmdPasswd, &QPushButton::clicked, this, [this] { showPasswordPane(true); });

    auto* name = new QHBoxLayout;
    name->addWidget(Label1);
    name->addWidget(txtUserName, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdOk);
    buttons->addWidget(cmdExitNoSave);
    auto* all = new QVBoxLayout(this);
    all->addLayout(name);
    all->addWidget(Label5);
    all->addWidget(m_panes);
    all->addLayout(buttons);

    showPasswordPane(false);
    resize(360, 300);
}

void frmUser::LoadForm(const QString& userName)
{
    m_userName = userName;
    txtUserName->setText(userName);
    try {
        m_loaded = DbLoadUser(userName);
        chkWizard->setChecked(m_loaded.isWizard());
        chkDataEntry->setChecked(m_loaded.isDataEntry());
        // A new user has no old password to give.
        Label2->setEnabled(m_loaded.exists);
        txtOldPW->setEnabled(m_loaded.exists);
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Unable to load User Privileges box."), objectName(), e);
    }
}

bool frmUser::passwordPaneShown() const { return m_panes->currentWidget() == fraPassword; }

void frmUser::showPasswordPane(bool show)
{
    m_panes->setCurrentWidget(show ? fraPassword : fraPermission);
    if (show)
        (txtOldPW->isEnabled() ? txtOldPW : txtNewPW1)->setFocus();
}

void frmUser::cmdOk_Click()
{
    try {
        if (passwordPaneShown())
            okOnPasswordPane();
        else
            okOnPermissionPane();
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error saving user information"), objectName(), e);
    }
}

void frmUser::okOnPasswordPane()
{
    if (txtNewPW1->text() != txtNewPW2->text()) {
        MsgBox(QStringLiteral("The new passwords are not the same"));
        txtNewPW1->setFocus();
        txtNewPW1->selectAll();
        return;
    }
    if (DbUserExists(txtUserName->text()) && !VerifyPassword(DbGetUserPassword(m_userName), txtOldPW->text())) {
        MsgBox(QStringLiteral("The old password is not correct."));
        txtOldPW->setFocus();
        txtOldPW->selectAll();
        return;
    }
    // Kept in txtNewPW1 until Ok on the permission pane saves it.
    showPasswordPane(false);
}

void frmUser::okOnPermissionPane()
{
    const bool wizard = chkWizard->isChecked();
    const bool dataEntry = chkDataEntry->isChecked();
    if (m_loaded.exists) {
        const SaveOutcome out = DbSaveUser(m_loaded, wizard, dataEntry, txtNewPW1->text());
        // Cancelled, or the user is gone (told): the editor stays with what was typed.
        if (!out.saved() || !out.gone.isEmpty())
            return;
        if (out.showStored()) {
            // The stored values the user chose to keep are shown; a kept password is dropped.
            LoadForm(m_userName);
            txtOldPW->clear();
            txtNewPW1->clear();
            txtNewPW2->clear();
            return;
        }
    } else {
        if (txtNewPW1->text().isEmpty()) {
            MsgBox(QStringLiteral("You must enter a password for user ") + m_userName);
            return;
        }
        if (!DbAddNewUser(m_userName, txtNewPW1->text(), wizard, dataEntry)) {
            // Never over another user's: theirs stays, with its own password and rights.
            MsgBox(QStringLiteral("The user ") + m_userName +
                       QStringLiteral(" was added by another user after you chose the name; nothing was saved."),
                   MsgButtons::Ok, MsgIcon::Warning);
        }
    }
    Unload();
}

void frmUser::cmdExitNoSave_Click()
{
    try {
        if (passwordPaneShown()) {
            txtOldPW->clear();
            txtNewPW1->clear();
            txtNewPW2->clear();
            showPasswordPane(false);
        } else {
            Unload();
        }
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Unexpected error"), objectName(), e);
    }
}

void frmUser::reject()
{
    // Escape acts as Cancel.
    cmdExitNoSave_Click();
}

bool frmUser::eventFilter(QObject* watched, QEvent* event)
{
    if ((watched == txtNewPW1 || watched == txtNewPW2) && event->type() == QEvent::KeyPress) {
        auto* box = static_cast<QLineEdit*>(watched);
        const QString typed = static_cast<QKeyEvent*>(event)->text();
        // A typed character counts; Backspace, Tab, Enter, Escape and keys that type
        // nothing pass, and pasted text is not limited.
        const bool character = !typed.isEmpty() && typed.at(0).unicode() >= 0x20 && typed.at(0).unicode() != 0x7f;
        if (character && box->text().size() >= kMaxPasswordLength) {
            MsgBox(QStringLiteral("Password can be at most 8 characters."));
            return true;
        }
    }
    return KrvForm<QDialog>::eventFilter(watched, event);
}

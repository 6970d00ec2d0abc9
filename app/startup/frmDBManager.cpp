#include "frmDBManager.h"

#include "dbusers.h"
#include "helpers.h"
#include "frmUser.h"
#include "modkrv.h"
#include "prompt.h"
#include "startup.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

frmDBManager::frmDBManager(QWidget* parent) : KrvForm<QDialog>(QStringLiteral("frmDBManager"), parent)
{
    setWindowTitle(QStringLiteral("Corvane Tunnel System Users"));

    Label1 = new QLabel(QStringLiteral("User Manager"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    QFont heading = Label1->font();
    heading.setBold(true);
    heading.setPointSizeF(heading.pointSizeF() * 1.3);
    Label1->setFont(heading);

    lstUsers = new QListWidget(this);
    lstUsers->setObjectName(QStringLiteral("lstUsers"));

    auto button = [this](const QString& text, const char* name) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(QLatin1String(name));
        b->setAutoDefault(false);
        return b;
    };
    cmdUsersAdd = button(QStringLiteral("A&dd..."), "cmdUsersAdd");
    cmdUsersEdit = button(QStringLiteral("&Priviledges..."), "cmdUsersEdit");
    cmdUsersRemove = button(QStringLiteral("Re&move"), "cmdUsersRemove");
    Command1 = button(QStringLiteral("E&xit"), "Command1");
    cmdUsersEdit->setEnabled(false);
    cmdUsersRemove->setEnabled(false);

    connect(cmdUsersAdd, &QPushButton::clicked, this, &frmDBManager::cmdUsersAdd_Click);
    connect(cmdUsersEdit, &QPushButton::clicked, this, &frmDBManager::cmdUsersEdit_Click);
    connect(cmdUsersRemove, &QPushButton::clicked, this, &frmDBManager::cmdUsersRemove_Click);
    connect(Command1, &QPushButton::clicked, this, [this] { Unload(); });
    connect(lstUsers, &QListWidget::itemSelectionChanged, this, &frmDBManager::lstUsers_Click);
    connect(lstUsers, &QListWidget::itemDoubleClicked, this, &frmDBManager::cmdUsersEdit_Click);

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(cmdUsersAdd);
    buttons->addWidget(cmdUsersEdit);
    buttons->addWidget(cmdUsersRemove);
    buttons->addStretch(1);
    buttons->addWidget(Command1);
    auto* body = new QHBoxLayout;
    body->addWidget(lstUsers, 1);
    body->addLayout(buttons);
    auto* all = new QVBoxLayout(this);
    all->addWidget(Label1);
    all->addLayout(body);
    resize(380, 280);

    try {
        lstUsers->addItems(DbGetUserNames());
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error loading User Manager"), objectName(), e);
    }
}

QString frmDBManager::selectedName() const
{
    const QList<QListWidgetItem*> sel = lstUsers->selectedItems();
    return sel.isEmpty() ? QString() : sel.first()->text();
}

void frmDBManager::reloadUsers(const QString& select)
{
    {
        const QSignalBlocker block(lstUsers);
        lstUsers->clear();
        lstUsers->addItems(DbGetUserNames());
        for (int i = 0; i < lstUsers->count(); ++i)
            if (!select.isEmpty() && SameName(lstUsers->item(i)->text(), select))
                lstUsers->setCurrentRow(i);
    }
    lstUsers_Click();
}

void frmDBManager::lstUsers_Click()
{
    try {
        const bool selected = !lstUsers->selectedItems().isEmpty();
        cmdUsersEdit->setEnabled(selected);
        cmdUsersRemove->setEnabled(selected);
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error selecting user"), objectName(), e);
    }
}

void frmDBManager::cmdUsersAdd_Click()
{
    try {
        const std::optional<QString> name =
            Prompt().inputText(QStringLiteral("Enter the name of the new user:"), QStringLiteral("New User"), QString());
        if (!name || name->isEmpty())
            return;
        auto* editor = new frmUser(this);
        editor->LoadForm(*name);
        // The manager may be closed while the editor is open (a session end).
        if (!OutlivesLoop(this, [&] {
                editor->exec();  // frees the editor
                QCoreApplication::processEvents();
            }))
            return;
        reloadUsers(selectedName());
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error adding new user"), objectName(), e);
    }
}

void frmDBManager::cmdUsersEdit_Click()
{
    try {
        const QString name = selectedName();
        if (name.isEmpty())
            return;
        auto* editor = new frmUser(this);
        editor->LoadForm(name);
        if (!OutlivesLoop(this, [&] {
                editor->exec();
                QCoreApplication::processEvents();
            }))
            return;
        reloadUsers(name);
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error loading user privileges"), objectName(), e);
    }
}

void frmDBManager::cmdUsersRemove_Click()
{
    try {
        const QString name = selectedName();
        if (name.isEmpty())
            return;
        const QString lastWizard = QStringLiteral("Unable to remove ") + name +
                                   QStringLiteral(".  This is the only user defined as a wizard.\n"
                                                  "To remove this user, give wizard privileges to another user.");
        if (DbIsLastWizard(name)) {
            MsgBox(lastWizard, MsgButtons::Ok, MsgIcon::Warning);
            return;
        }
        if (MsgBox(QStringLiteral("Are you sure you want to remove the user ") + name + QStringLiteral("?"),
                   MsgButtons::YesNo, MsgIcon::None, QString()) != MsgAnswer::Yes)
            return;
        // Checked again with the removal: another user may have removed the other wizards
        // while the question was open.
        if (!DbRemoveUser(name)) {
            MsgBox(lastWizard, MsgButtons::Ok, MsgIcon::Warning);
            reloadUsers(name);
            return;
        }
        reloadUsers(QString());
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error removing user"), objectName(), e);
    }
}

bool frmDBManager::QueryUnload()
{
    if (lstUsers->count() == 0) {
        return MsgBox(QStringLiteral("At least one user must be added to run this application.  "
                                     "Are you sure you want to exit?"),
                      MsgButtons::YesNo) == MsgAnswer::Yes;
    }
    bool anyWizard = false;
    try {
        anyWizard = DbAnyWizard();
    } catch (const std::exception& e) {
        // Nothing can be checked: let the window go rather than trap the user in it.
        LogError(QStringLiteral("Unexpected error"), objectName(), e);
        return true;
    }
    if (anyWizard) {
        const QList<QWidget*> loaded = LoadedForms();
        if (loaded.size() == 1 && loaded.first() == this) {
            // The first run: the start-up goes on, now with the logon.
            hide();
            Main();
        }
        return true;
    }
    MsgBox(QStringLiteral("No wizard users are defined for this system.  There must be at least one wizard defined."));
    return false;
}

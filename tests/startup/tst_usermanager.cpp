// The user manager and the user editor.
#include "db.h"
#include "dbusers.h"
#include "fixtures.h"
#include "frmDBManager.h"
#include "frmSystem.h"
#include "frmUser.h"
#include "globals.h"
#include "inventoryforms.h"
#include "otherprogram.h"
#include "scriptedprompt.h"
#include "testinstall.h"
#include "windowscript.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QTest>

namespace {

QStringList listed(frmDBManager* m)
{
    QStringList out;
    for (int i = 0; i < m->lstUsers->count(); ++i)
        out << m->lstUsers->item(i)->text();
    return out;
}

void select(frmDBManager* m, const QString& name)
{
    const auto items = m->lstUsers->findItems(name, Qt::MatchExactly);
    QVERIFY(!items.isEmpty());
    m->lstUsers->setCurrentItem(items.first());
}

// An editor opened on its own, shown but not modal, so the test drives it directly.
frmUser* openEditor(const QString& name)
{
    auto* u = new frmUser;
    u->LoadForm(name);
    u->show();
    return u;
}

void setNewPassword(frmUser* u, const QString& oldPw, const QString& pw1, const QString& pw2)
{
    if (!u->passwordPaneShown())
        QTest::mouseClick(u->cmdPasswd, Qt::LeftButton);
    u->txtOldPW->setText(oldPw);
    u->txtNewPW1->setText(pw1);
    u->txtNewPW2->setText(pw2);
    QTest::mouseClick(u->cmdOk, Qt::LeftButton);
}

}  // namespace

class TestUserManager : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { RegisterInventoryForms(); }
    void init()
    {
        m_install = std::make_unique<TestInstall>();
        m_prompt = std::make_unique<ScriptedPrompt>();
    }
    void cleanup()
    {
        m_prompt.reset();
        m_install.reset();
        ClearPendingQuit();
    }

    void listsUsersAndFollowsTheSelection()
    {
        DbAddUser(QStringLiteral("zed"), QStringLiteral("pw"), false, true);
        DbAddUser(QStringLiteral("admin"), QStringLiteral("pw"), true, false);
        auto* m = new frmDBManager;
        m->show();
        QCOMPARE(m->windowTitle(), QStringLiteral("Corvane Tunnel System Users"));
        QCOMPARE(m->cmdUsersEdit->text(), QStringLiteral("&Priviledges..."));
        QCOMPARE(listed(m), (QStringList{"admin", "zed"}));
        QVERIFY(!m->cmdUsersEdit->isEnabled() && !m->cmdUsersRemove->isEnabled());
        // Nothing selected: Privileges and Remove do nothing.
        m->cmdUsersEdit->click();
        m->cmdUsersRemove->click();
        QVERIFY(m_prompt->calls.isEmpty());
        QCOMPARE(LoadedFormNames(), QStringList{QStringLiteral("frmDBManager")});

        select(m, QStringLiteral("zed"));
        QVERIFY(m->cmdUsersEdit->isEnabled() && m->cmdUsersRemove->isEnabled());

        // A double click opens the editor on the row, modal, with the user's rights.
        bool wizard = true, dataEntry = false, modal = false;
        QString shownName;
        WindowScript script;
        script.when(QStringLiteral("frmUser"), [&](QWidget* w) {
            auto* u = static_cast<frmUser*>(w);
            modal = u->isModal();
            shownName = u->txtUserName->text();
            wizard = u->chkWizard->isChecked();
            dataEntry = u->chkDataEntry->isChecked();
            u->cmdExitNoSave->click();
        });
        emit m->lstUsers->itemDoubleClicked(m->lstUsers->currentItem());
        QVERIFY(!script.timedOut());
        QVERIFY(modal);
        QCOMPARE(shownName, QStringLiteral("zed"));
        QVERIFY(!wizard && dataEntry);
        m->lstUsers->clearSelection();
        QVERIFY(!m->cmdUsersEdit->isEnabled());
    }

    void removeProtectsTheLastWizard()
    {
        DbAddUser(QStringLiteral("admin"), QStringLiteral("pw"), true, false);
        DbAddUser(QStringLiteral("bob"), QStringLiteral("pw"), true, true);
        DbAddUser(QStringLiteral("carl"), QStringLiteral("pw"), false, true);
        auto* m = new frmDBManager;
        m->show();

        select(m, QStringLiteral("admin"));
        m_prompt->answer(MsgAnswer::No);
        m->cmdUsersRemove->click();
        QCOMPARE(m_prompt->calls.last().text, QStringLiteral("Are you sure you want to remove the user admin?"));
        QCOMPARE(m_prompt->calls.last().title, QString());
        QCOMPARE(m_prompt->calls.last().buttons, MsgButtons::YesNo);
        QVERIFY(DbUserExists(QStringLiteral("admin")));

        m_prompt->answer(MsgAnswer::Yes);
        m->cmdUsersRemove->click();
        QVERIFY(!DbUserExists(QStringLiteral("admin")));
        QCOMPARE(listed(m), (QStringList{"bob", "carl"}));

        select(m, QStringLiteral("bob"));
        m->cmdUsersRemove->click();
        const PromptCall refusal = m_prompt->calls.last();
        QCOMPARE(refusal.text, QStringLiteral("Unable to remove bob.  This is the only user defined as a wizard.\n"
                                              "To remove this user, give wizard privileges to another user."));
        QCOMPARE(refusal.icon, MsgIcon::Warning);
        QCOMPARE(refusal.title, kAppTitle);
        QVERIFY(DbUserExists(QStringLiteral("bob")));
        QCOMPARE(listed(m), (QStringList{"bob", "carl"}));
    }

    void addMakesAUserOnceListed()
    {
        DbAddUser(QStringLiteral("admin"), QStringLiteral("krvadmin"), true, false);
        auto* m = new frmDBManager;
        m->show();

        // Cancel or an empty name: nothing happens.
        m_prompt->answerCancel();
        m->cmdUsersAdd->click();
        m_prompt->answerText(QString());
        m->cmdUsersAdd->click();
        QCOMPARE(m_prompt->count(PromptCall::Input), 2);
        QCOMPARE(m_prompt->calls[0].text, QStringLiteral("Enter the name of the new user:"));
        QCOMPARE(m_prompt->calls[0].title, QStringLiteral("New User"));
        QCOMPARE(LoadedFormNames(), QStringList{QStringLiteral("frmDBManager")});

        // A new name with a quote: a password is required, then it is stored hashed.
        QStringList editorMessages;
        WindowScript script;
        script.when(QStringLiteral("frmUser"), [&](QWidget* w) {
            auto* u = static_cast<frmUser*>(w);
            QVERIFY(!u->chkWizard->isChecked() && !u->chkDataEntry->isChecked());
            QVERIFY(!u->txtOldPW->isEnabled());
            u->chkDataEntry->setChecked(true);
            u->cmdOk->click();
            editorMessages = m_prompt->messages();
            QVERIFY(u->isVisible());
            setNewPassword(u, QStringLiteral("anything"), QStringLiteral("o'k"), QStringLiteral("o'k"));
            QVERIFY(!u->passwordPaneShown());
            u->cmdOk->click();
        });
        m_prompt->answerText(QStringLiteral("O'Neil"));
        m->cmdUsersAdd->click();
        QVERIFY(!script.timedOut());
        QCOMPARE(editorMessages, QStringList{QStringLiteral("You must enter a password for user O'Neil")});
        QCOMPARE(listed(m), (QStringList{"admin", "O'Neil"}));
        QVERIFY(DbVerifyUserPassword(QStringLiteral("o'neil"), QStringLiteral("o'k")));
        bool w = true, d = false;
        DbGetUserRights(QStringLiteral("O'Neil"), w, d);
        QVERIFY(!w && d);

        // Adding a name that is listed edits that user and does not list it again.
        WindowScript again;
        bool wasWizard = false;
        again.when(QStringLiteral("frmUser"), [&](QWidget* w) {
            auto* u = static_cast<frmUser*>(w);
            wasWizard = u->chkWizard->isChecked();
            u->chkDataEntry->setChecked(true);
            u->cmdOk->click();
        });
        m_prompt->answerText(QStringLiteral("ADMIN"));
        m->cmdUsersAdd->click();
        QVERIFY(!again.timedOut());
        QVERIFY(wasWizard);
        QCOMPARE(listed(m), (QStringList{"admin", "O'Neil"}));
        DbGetUserRights(QStringLiteral("admin"), w, d);
        QVERIFY(w && d);
        QVERIFY(DbVerifyUserPassword(QStringLiteral("admin"), QStringLiteral("krvadmin")));
    }

    void passwordPaneRules()
    {
        DbAddUser(QStringLiteral("ann"), QStringLiteral("Secret1"), false, true);
        const QString stored = DbGetUserPassword(QStringLiteral("ann"));
        frmUser* u = openEditor(QStringLiteral("ann"));
        QCOMPARE(u->windowTitle(), QStringLiteral("User Privileges"));
        QVERIFY(u->txtUserName->isReadOnly());
        QVERIFY(u->fraPermission->isVisible());
        QVERIFY(!u->fraPassword->isVisible());
        QTest::mouseClick(u->cmdPasswd, Qt::LeftButton);
        QVERIFY(u->fraPassword->isVisible());
        QVERIFY(u->txtOldPW->isEnabled());
        QCOMPARE(u->focusWidget(), u->txtOldPW);
        QVERIFY(!u->fraPermission->isVisible());

        // Different new passwords are refused before the old one is looked at.
        setNewPassword(u, QStringLiteral("wrong"), QStringLiteral("abc"), QStringLiteral("abd"));
        QCOMPARE(m_prompt->messages().last(), QStringLiteral("The new passwords are not the same"));
        QCOMPARE(u->focusWidget(), u->txtNewPW1);
        QCOMPARE(u->txtNewPW1->selectedText(), QStringLiteral("abc"));
        // The old password is compared exactly.
        setNewPassword(u, QStringLiteral("secret1"), QStringLiteral("abc"), QStringLiteral("abc"));
        QCOMPARE(m_prompt->messages().last(), QStringLiteral("The old password is not correct."));
        QCOMPARE(u->focusWidget(), u->txtOldPW);
        QVERIFY(u->passwordPaneShown());
        QCOMPARE(m_prompt->messages().size(), 2);

        // Right: back to the permissions, nothing stored yet.
        setNewPassword(u, QStringLiteral("Secret1"), QStringLiteral("abc"), QStringLiteral("abc"));
        QVERIFY(!u->passwordPaneShown());
        QCOMPARE(DbGetUserPassword(QStringLiteral("ann")), stored);
        // Cancel on the permissions drops it.
        u->cmdExitNoSave->click();
        QVERIFY(!IsFormLoaded(QStringLiteral("frmUser")));
        QCOMPARE(DbGetUserPassword(QStringLiteral("ann")), stored);

        // Cancel on the password pane clears the boxes and goes back.
        u = openEditor(QStringLiteral("ann"));
        QTest::mouseClick(u->cmdPasswd, Qt::LeftButton);
        u->txtOldPW->setText(QStringLiteral("Secret1"));
        u->txtNewPW1->setText(QStringLiteral("x"));
        u->cmdExitNoSave->click();
        QVERIFY(!u->passwordPaneShown());
        QVERIFY(u->txtOldPW->text().isEmpty() && u->txtNewPW1->text().isEmpty());
        QVERIFY(u->isVisible());

        // Ok on both panes stores it.
        setNewPassword(u, QStringLiteral("Secret1"), QStringLiteral("n3w pw"), QStringLiteral("n3w pw"));
        u->cmdOk->click();
        QVERIFY(!IsFormLoaded(QStringLiteral("frmUser")));
        QVERIFY(DbVerifyUserPassword(QStringLiteral("ann"), QStringLiteral("n3w pw")));
    }

    void eightCharacterTypingRule()
    {
        DbAddUser(QStringLiteral("ann"), QStringLiteral("pw"), false, true);
        frmUser* u = openEditor(QStringLiteral("ann"));
        QTest::mouseClick(u->cmdPasswd, Qt::LeftButton);
        QTest::keyClicks(u->txtNewPW1, QStringLiteral("12345678 "));
        QCOMPARE(u->txtNewPW1->text(), QStringLiteral("12345678"));
        QCOMPARE(m_prompt->messages(), QStringList{QStringLiteral("Password can be at most 8 characters.")});
        QCOMPARE(m_prompt->calls.last().icon, MsgIcon::None);
        // Editing keys pass; a selection does not make room.
        u->txtNewPW1->selectAll();
        QTest::keyClick(u->txtNewPW1, Qt::Key_X);
        QCOMPARE(m_prompt->messages().size(), 2);
        QTest::keyClick(u->txtNewPW1, Qt::Key_Left);
        QTest::keyClick(u->txtNewPW1, Qt::Key_Backspace);
        QCOMPARE(u->txtNewPW1->text(), QStringLiteral("1234568"));
        QTest::keyClick(u->txtNewPW1, Qt::Key_End);
        QTest::keyClicks(u->txtNewPW1, QStringLiteral("9!"));
        QCOMPARE(u->txtNewPW1->text(), QStringLiteral("12345689"));
        QCOMPARE(m_prompt->messages().size(), 3);
        // Pasted text is not limited.
        QGuiApplication::clipboard()->setText(QStringLiteral("abcdefghij"));
        QTest::keyClick(u->txtNewPW2, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(u->txtNewPW2->text(), QStringLiteral("abcdefghij"));
        QTest::keyClick(u->txtNewPW2, Qt::Key_K);
        QCOMPARE(u->txtNewPW2->text(), QStringLiteral("abcdefghij"));
        QCOMPARE(m_prompt->messages().size(), 4);
        // The old password box has no such rule.
        QTest::keyClicks(u->txtOldPW, QStringLiteral("0123456789"));
        QCOMPARE(u->txtOldPW->text().size(), 10);
        QCOMPARE(m_prompt->messages().size(), 4);
        u->Unload();
    }

    void failedSaveWritesNothing()
    {
        DbAddUser(QStringLiteral("ann"), QStringLiteral("old"), false, true);
        gConn.exec(QStringLiteral("CREATE TRIGGER no_pw BEFORE UPDATE OF Password ON login "
                                  "BEGIN SELECT RAISE(ABORT, 'password store refused'); END"));
        frmUser* u = openEditor(QStringLiteral("ann"));
        u->chkWizard->setChecked(true);
        u->chkDataEntry->setChecked(false);
        setNewPassword(u, QStringLiteral("old"), QStringLiteral("new"), QStringLiteral("new"));
        u->cmdOk->click();
        QCOMPARE(m_prompt->messages(), QStringList{QStringLiteral("Error saving user information")});
        QVERIFY(u->isVisible());
        bool w = true, d = false;
        DbGetUserRights(QStringLiteral("ann"), w, d);
        QVERIFY(!w && d);
        QVERIFY(DbVerifyUserPassword(QStringLiteral("ann"), QStringLiteral("old")));
        QVERIFY(m_install->read(QStringLiteral("err.log")).contains("frmUser-Error saving user information"));
        u->Unload();
    }

    // Another program changes ann between the editor reading her and Ok: only what the
    // editor changed is written, a value both changed is asked about, a removal is told.
    void aSaveWritesOnlyTheEditorChanged_data()
    {
        QTest::addColumn<QString>("theirs");
        QTest::addColumn<bool>("password");  // else Data Entry unticked
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("stored");  // Wizard|DataEntry|whose password, "" when no row
        QTest::addColumn<bool>("open");
        const QString newPassword = QStringLiteral("UPDATE login SET Password = 'theirs' WHERE Username = 'ann'");
        const QString asked = QStringLiteral("The password of the user ann was changed by another user after you "
                                             "opened it. Replace it with yours?");
        const int none = int(MsgAnswer::Default);
        QTest::newRow("they grant wizard, we take data entry")
            << "UPDATE login SET Wizard = 1 WHERE Username = 'ann'" << false << none << "" << "1|0|old" << false;
        // The same change by both: nothing to ask.
        QTest::newRow("both take data entry")
            << "UPDATE login SET DataEntry = 0 WHERE Username = 'ann'" << false << none << "" << "0|0|old" << false;
        QTest::newRow("both set the password, yes") << newPassword << true << int(MsgAnswer::Yes) << asked
                                                    << "0|1|mine" << false;
        QTest::newRow("both set the password, no") << newPassword << true << int(MsgAnswer::No) << asked
                                                   << "0|1|theirs" << true;
        QTest::newRow("both set the password, cancel") << newPassword << true << int(MsgAnswer::Cancel) << asked
                                                       << "0|1|theirs" << true;
        QTest::newRow("user removed") << "DELETE FROM login WHERE Username = 'ann'" << true << none
                                      << "The user ann was removed by another user; nothing was saved for it." << ""
                                      << true;
    }
    void aSaveWritesOnlyTheEditorChanged()
    {
        QFETCH(QString, theirs);
        QFETCH(bool, password);
        QFETCH(int, answer);
        QFETCH(QString, message);
        QFETCH(QString, stored);
        QFETCH(bool, open);
        DbAddUser(QStringLiteral("ann"), QStringLiteral("old"), false, true);
        frmUser* u = openEditor(QStringLiteral("ann"));
        if (password)
            setNewPassword(u, QStringLiteral("old"), QStringLiteral("mine"), QStringLiteral("mine"));
        else
            u->chkDataEntry->setChecked(false);
        QCOMPARE(RunSqliteShell(m_install->dbPath(), theirs), QString());
        if (answer != int(MsgAnswer::Default))
            m_prompt->answer(MsgAnswer(answer));
        u->cmdOk->click();
        QCOMPARE(m_prompt->messages(), message.isEmpty() ? QStringList() : QStringList{message});
        const RowSet row = gConn.query(QStringLiteral("SELECT Wizard, DataEntry, Password FROM login"));
        QString now;
        if (!row.isEmpty()) {
            const QString pw = row.value(0, QStringLiteral("Password")).toString();
            now = QStringLiteral("%1|%2|%3")
                      .arg(row.value(0, 0).toInt())
                      .arg(row.value(0, 1).toInt())
                      .arg(pw == QLatin1String("theirs")                ? QStringLiteral("theirs")
                           : DbVerifyUserPassword(QStringLiteral("ann"), QStringLiteral("mine")) ? QStringLiteral("mine")
                                                                                                  : QStringLiteral("old"));
        }
        QCOMPARE(now, stored);
        QCOMPARE(IsFormLoaded(QStringLiteral("frmUser")), open);
        if (open)
            u->Unload();
    }

    // A name another user added while the editor was open is not added over.
    void addingANameAddedMeanwhileIsRefused()
    {
        DbAddUser(QStringLiteral("admin"), QStringLiteral("pw"), true, false);
        auto* m = new frmDBManager;
        m->show();
        WindowScript script;
        script.when(QStringLiteral("frmUser"), [&](QWidget* w) {
            auto* u = static_cast<frmUser*>(w);
            setNewPassword(u, QString(), QStringLiteral("mine"), QStringLiteral("mine"));
            QCOMPARE(RunSqliteShell(m_install->dbPath(),
                                    QStringLiteral("INSERT INTO login (Username, Password, Wizard) VALUES ('Ann', 'theirs', 1)")),
                     QString());
            u->cmdOk->click();
        });
        m_prompt->answerText(QStringLiteral("ann"));
        m->cmdUsersAdd->click();
        QVERIFY(!script.timedOut());
        QCOMPARE(m_prompt->messages(), QStringList{QStringLiteral("The user ann was added by another user after you "
                                                                  "chose the name; nothing was saved.")});
        QCOMPARE(Rows(QStringLiteral("SELECT Username, Password, Wizard FROM login WHERE Username <> 'admin'")),
                 QStringList{"Ann|theirs|1"});
        QCOMPARE(listed(m), (QStringList{"admin", "Ann"}));
    }

    // The other wizard loses the right, or goes, while "Are you sure" is open: the removal
    // checks again inside its transaction and refuses.
    void removalChecksTheLastWizardAgain_data()
    {
        QTest::addColumn<QString>("theirs");
        QTest::newRow("the other wizard removed") << "DELETE FROM login WHERE Username = 'w2'";
        QTest::newRow("the other wizard's right taken") << "UPDATE login SET Wizard = 0 WHERE Username = 'w2'";
    }
    void removalChecksTheLastWizardAgain()
    {
        QFETCH(QString, theirs);
        DbAddUser(QStringLiteral("w1"), QStringLiteral("pw"), true, false);
        DbAddUser(QStringLiteral("w2"), QStringLiteral("pw"), true, false);
        auto* m = new frmDBManager;
        m->show();
        select(m, QStringLiteral("w1"));
        QString shellError;
        m_prompt->handler = [&](const PromptCall& call) -> QVariant {
            if (call.buttons == MsgButtons::YesNo)
                shellError = RunSqliteShell(m_install->dbPath(), theirs);
            return QVariant();
        };
        m->cmdUsersRemove->click();
        QCOMPARE(shellError, QString());
        QCOMPARE(m_prompt->messages(), (QStringList{"Are you sure you want to remove the user w1?",
                                                    "Unable to remove w1.  This is the only user defined as a wizard.\n"
                                                    "To remove this user, give wizard privileges to another user."}));
        QVERIFY(DbUserExists(QStringLiteral("w1")));
        QVERIFY(DbAnyWizard());
        QCOMPARE(listed(m), QStringList{"w1"} + (theirs.startsWith(QLatin1String("UPDATE")) ? QStringList{"w2"} : QStringList()));
    }

    void fromTheMenuItIsModalAndJustCloses()
    {
        DbAddUser(QStringLiteral("admin"), QStringLiteral("pw"), true, false);
        gIsWizard = true;
        auto* setup = new frmSystem;
        setup->show();
        WindowScript script;
        script.when(QStringLiteral("frmDBManager"), [](QWidget* w) {
            static_cast<frmDBManager*>(w)->Command1->click();
        });
        setup->mnuUsers->trigger();
        QVERIFY(!script.timedOut());
        QCOMPARE(script.shownModal(), QStringList{QStringLiteral("frmDBManager")});
        // Other windows are open: no second start-up, no logon.
        QCOMPARE(LoadedFormNames(), QStringList{QStringLiteral("frmSystem")});
        QVERIFY(m_prompt->calls.isEmpty());
    }

    // The manager is taken away while its user editor is open (a session end, any code that
    // closes windows): the program goes on without it, and without a crash.
    void managerGoneWhileItsEditorIsOpen_data()
    {
        QTest::addColumn<bool>("adding");
        QTest::addColumn<bool>("programEnds");
        QTest::newRow("privileges, deleted") << false << false;
        QTest::newRow("privileges, program ends") << false << true;
        QTest::newRow("add, deleted") << true << false;
        QTest::newRow("add, program ends") << true << true;
    }
    void managerGoneWhileItsEditorIsOpen()
    {
        QFETCH(bool, adding);
        QFETCH(bool, programEnds);
        DbAddUser(QStringLiteral("admin"), QStringLiteral("pw"), true, false);
        QPointer<frmDBManager> m = new frmDBManager;
        m->show();
        select(m, QStringLiteral("admin"));
        bool editorShown = false;
        WindowScript script;
        script.when(QStringLiteral("frmUser"), [&](QWidget*) {
            editorShown = true;
            if (programEnds)
                EndProgram();
            else
                delete m.data();
        });
        if (adding) {
            m_prompt->answerText(QStringLiteral("newbie"));
            m->cmdUsersAdd->click();
        } else {
            m->cmdUsersEdit->click();
        }
        QVERIFY(!script.timedOut());
        QVERIFY(editorShown);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!m);
        QVERIFY(LoadedForms().isEmpty());
        QVERIFY(!DbUserExists(QStringLiteral("newbie")));
        ResetProgramEnding();
    }

private:
    std::unique_ptr<TestInstall> m_install;
    std::unique_ptr<ScriptedPrompt> m_prompt;
};

QTEST_MAIN(TestUserManager)
#include "tst_usermanager.moc"

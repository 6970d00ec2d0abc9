// The start-up paths, driven headless: which messages appear, in which order, and which
// windows are loaded when the start-up is over.
#include "clicklabel.h"
#include "db.h"
#include "dbusers.h"
#include "demodata.h"
#include "forms.h"
#include "frmDBManager.h"
#include "frmLogon.h"
#include "frmSystem.h"
#include "frmUser.h"
#include "frmViewSystem.h"
#include "globals.h"
#include "interruptedwrite.h"
#include "inventoryforms.h"
#include "passwords.h"
#include "savefile.h"
#include "schema.h"
#include "scriptedprompt.h"
#include "settings.h"
#include "startup.h"
#include "testinstall.h"
#include "windowscript.h"
#include "zvmap.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>
#include <QToolButton>

#include <optional>

#include <sys/mount.h>

namespace {

// The message for a missing database names the file looked for, so a moved folder shows where.
QString notFound(const QString& path)
{
    return QStringLiteral("Database not found.  Please locate a valid tunnel database.\nThe file %1 does not exist.")
        .arg(path);
}
const QString kCannotOpen = QStringLiteral("The Quorrel cannot be opened without a valid database file.");
const QString kBadUser = QStringLiteral("Unable to log into system.  Invalid user name.");
const QString kBadPassword = QStringLiteral("Unable to log into system.  Invalid password.");

// One try: reveal the fields, type, Ok.
void tryLogon(frmLogon* d, const QString& name, const QString& password)
{
    if (!d->logonFieldsShown())
        QTest::mouseClick(d->cmdLogin, Qt::LeftButton);
    d->txtName->setText(name);
    d->txtPW->clear();
    QTest::keyClicks(d->txtPW, password);
    QTest::mouseClick(d->cmdOk, Qt::LeftButton);
}

// Tries "name/password" pairs in turn while the dialog stays open.
std::function<void(QWidget*)> logonTries(const QStringList& tries)
{
    return [tries](QWidget* w) {
        QPointer<frmLogon> d(static_cast<frmLogon*>(w));
        for (const QString& t : tries) {
            if (!d || !d->isVisible())
                return;
            tryLogon(d, t.section('/', 0, 0), t.section('/', 1));
        }
    };
}

std::function<void(QWidget*)> logonAs(const QString& name, const QString& password)
{
    return logonTries({name + QLatin1Char('/') + password});
}

void writeIniDatabase(TestInstall& install, const QString& path)
{
    install.write(QStringLiteral("krv.ini"), ("[KRV]\nDatabaseFile=" + path + "\n").toUtf8());
}

QString iniDatabase() { return ReadIniString(IniFilePath(), QStringLiteral("KRV"), QStringLiteral("DatabaseFile"), {}); }

// A second tunnel database elsewhere, with a wizard; gConn is left on the installation's.
QString makeOtherDatabase(TestInstall& install, const QString& relPath)
{
    const QString path = install.file(relPath);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QString error;
    if (!CreateTunnelDatabase(path, &error))
        qFatal("%s", qPrintable(error));
    const QString home = gConn.path();
    gConn.open(path);
    DbAddUser(QStringLiteral("admin"), QStringLiteral("krvadmin"), true, false);
    gConn.open(home);
    return path;
}

}  // namespace

class TestStartup : public QObject {
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

    void logonOpensTheWindowOfTheRights_data()
    {
        QTest::addColumn<bool>("wizard");
        QTest::addColumn<bool>("dataEntry");
        QTest::addColumn<QString>("window");
        QTest::newRow("wizard") << true << false << "frmSystem";
        QTest::newRow("wizard and data entry") << true << true << "frmSystem";
        QTest::newRow("data entry") << false << true << "frmViewSystem";
        QTest::newRow("no right") << false << false << "frmViewSystem";
    }
    void logonOpensTheWindowOfTheRights()
    {
        QFETCH(bool, wizard);
        QFETCH(bool, dataEntry);
        QFETCH(QString, window);
        DbAddUser(QStringLiteral("admin"), QStringLiteral("krvadmin"), true, false);
        DbAddUser(QStringLiteral("Pat O'Hara"), QStringLiteral("it's me"), wizard, dataEntry);
        gConn.exec(QStringLiteral("INSERT INTO System (SystemName, WarningHighlight, CriticalHighlight) VALUES "
                                  "('Line 4', 6, 2)"));
        const qint32 systemId = gConn.scalar(QStringLiteral("SELECT SystemID FROM System")).toInt();

        WindowScript script;
        // Name typed in another case: names are compared without regard to case.
        script.when(QStringLiteral("frmLogon"), logonAs(QStringLiteral("pat o'hara"), QStringLiteral("it's me")));
        Main();

        QVERIFY(!script.timedOut());
        QCOMPARE(script.shownModal(), QStringList{QStringLiteral("frmLogon")});
        QCOMPARE(LoadedFormNames(), QStringList{window});
        QVERIFY(ProgramHasWindowToRun());
        QCOMPARE(gLogonStatus, LogonStatus::LoggedOn);
        QCOMPARE(gIsWizard, wizard);
        QCOMPARE(gIsDataEntry, dataEntry);
        QCOMPARE(gSystemID, systemId);
        QCOMPARE(gWarningHighlight, 6);
        QCOMPARE(gCriticalHighlight, 2);
        QVERIFY(m_prompt->calls.isEmpty());

        if (auto* viewer = qobject_cast<frmViewSystem*>(LoadedForms().first())) {
            // The administrator commands follow the rights.
            QCOMPARE(viewer->mnuAdmin->menuAction()->isVisible(), dataEntry);
            QVERIFY(!viewer->mnuUsers->isVisible());
        }
    }

    // A demo folder krv-demo wrote, then moved: its krv.ini names its files relatively, so the
    // program in the moved folder opens the demo's database without asking for one and shows
    // the map, for the wizard's window and the viewer's alike.
    void aMovedDemoFolderOpensWithItsMap_data()
    {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("window");
        QTest::newRow("wizard") << "admin" << "frmSystem";
        QTest::newRow("data entry") << "inspector" << "frmViewSystem";
    }
    void aMovedDemoFolderOpensWithItsMap()
    {
        QFETCH(QString, user);
        QFETCH(QString, window);
        const QString office = m_install->file(QStringLiteral("krv-office"));
        QString error;
        QVERIFY2(MakeDemoInstallation(office, &error), qPrintable(error));
        const QString moved = m_install->file(QStringLiteral("krv-office-moved"));
        QVERIFY(QDir().rename(office, moved));
        SetProgramFolder(moved);
        QString password;
        for (const DemoUser& u : kDemoUsers)
            if (user == QLatin1String(u.name))
                password = QLatin1String(u.password);

        WindowScript script;
        script.when(QStringLiteral("frmLogon"), logonAs(user, password));
        Main();

        QVERIFY(!script.timedOut());
        QCOMPARE(m_prompt->messages(), QStringList());
        QCOMPARE(gConn.path(), moved + QStringLiteral("/krv.db"));
        QCOMPARE(LoadedFormNames(), QStringList{window});
        const QWidget* w = LoadedForms().first();
        const ZVMap* map = window == QLatin1String("frmSystem") ? static_cast<const frmSystem*>(w)->ZVMap1
                                                                 : static_cast<const frmViewSystem*>(w)->ZVMap1;
        QCOMPARE(map->Image(), moved + QStringLiteral("/Data/SystemMap.png"));
        QVERIFY(!map->Picture().isNull());
        QVERIFY(!QFileInfo::exists(moved + QStringLiteral("/err.log")));
    }

    void logonTriesAndTheirMessages_data()
    {
        QTest::addColumn<QStringList>("tries");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QString>("window");
        QTest::addColumn<bool>("ending");
        const QString badPw = QStringLiteral("Invalid password");
        const QString badUser = QStringLiteral("Invalid user name");
        QTest::newRow("three unknown names")
            << QStringList{"nobody/x", "nobody/x", "nemo/krvadmin"} << QStringList{badUser, badUser, kBadUser} << ""
            << true;
        QTest::newRow("three wrong passwords")
            << QStringList{"admin/x", "admin/y", "admin/KRVADMIN"} << QStringList{badPw, badPw, kBadPassword} << ""
            << false;
        QTest::newRow("password, name, password")
            << QStringList{"admin/x", "nobody/krvadmin", "admin/z"} << QStringList{badPw, badUser, kBadPassword}
            << "" << false;
        QTest::newRow("name, password, name")
            << QStringList{"nobody/x", "admin/x", "nobody/z"} << QStringList{badUser, badPw, kBadUser} << "" << true;
        QTest::newRow("right on the third try")
            << QStringList{"admin/x", "nobody/x", "admin/krvadmin"} << QStringList{badPw, badUser} << "frmSystem"
            << false;
        QTest::newRow("a quote cannot open the door")
            << QStringList{"' OR '1'='1/' OR '1'='1", "admin/' OR '1'='1", "admin' --/x"}
            << QStringList{badUser, badPw, kBadUser} << "" << true;
    }
    void logonTriesAndTheirMessages()
    {
        QFETCH(QStringList, tries);
        QFETCH(QStringList, messages);
        QFETCH(QString, window);
        QFETCH(bool, ending);
        DbAddUser(QStringLiteral("admin"), QStringLiteral("krvadmin"), true, false);

        WindowScript script;
        script.when(QStringLiteral("frmLogon"), logonTries(tries));
        Main();

        QVERIFY(!script.timedOut());
        QCOMPARE(m_prompt->messages(), messages);
        for (const PromptCall& c : m_prompt->calls) {
            QCOMPARE(c.icon, MsgIcon::Warning);
            QCOMPARE(c.title, kAppTitle);
            QCOMPARE(c.buttons, MsgButtons::Ok);
        }
        QCOMPARE(LoadedFormNames(), window.isEmpty() ? QStringList() : QStringList{window});
        QCOMPARE(ProgramEnding(), ending);
        QCOMPARE(ProgramHasWindowToRun(), !window.isEmpty());
    }

    void cancelledLogonEndsTheProgram_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QStringList>("messages");  // the dialog's own, of the tries before
        QTest::newRow("Exit System") << "exit" << QStringList();
        QTest::newRow("Escape") << "escape" << QStringList();
        QTest::newRow("close box") << "close" << QStringList();
        QTest::newRow("Cancel, then Exit") << "cancel-exit" << QStringList();
        QTest::newRow("Exit ignored while the fields are shown, then close box") << "shown-exit-close" << QStringList();
        // Closing counts as cancelled whatever tries came before: no "Unable to log into system".
        QTest::newRow("a wrong password, then close box") << "badpw-close" << QStringList{"Invalid password"};
        QTest::newRow("a wrong name, then close box") << "baduser-close" << QStringList{"Invalid user name"};
        QTest::newRow("two wrong passwords, then Exit") << "badpw2-cancel-exit"
                                                        << QStringList{"Invalid password", "Invalid password"};
    }
    void cancelledLogonEndsTheProgram()
    {
        QFETCH(QString, how);
        QFETCH(QStringList, messages);
        DbAddUser(QStringLiteral("admin"), QStringLiteral("krvadmin"), true, false);
        gConn.exec(QStringLiteral("INSERT INTO System (SystemName, WarningHighlight, CriticalHighlight) VALUES "
                                  "('Line 4', 7, 1)"));
        bool exitIgnored = true;
        WindowScript script;
        script.when(QStringLiteral("frmLogon"), [how, &exitIgnored](QWidget* w) {
            auto* d = static_cast<frmLogon*>(w);
            if (how == "exit") {
                QTest::mouseClick(d->cmdExit, Qt::LeftButton);
            } else if (how == "escape") {
                QTest::keyClick(d, Qt::Key_Escape);
            } else if (how == "close") {
                d->close();
            } else if (how == "cancel-exit") {
                QTest::mouseClick(d->cmdLogin, Qt::LeftButton);
                QTest::mouseClick(d->cmdCancel, Qt::LeftButton);
                QTest::mouseClick(d->cmdExit, Qt::LeftButton);
            } else if (how.startsWith("bad")) {
                const int tries = how.startsWith("badpw2") ? 2 : 1;
                for (int i = 0; i < tries; ++i)
                    tryLogon(d, how.startsWith("baduser") ? QStringLiteral("nobody") : QStringLiteral("admin"),
                             QStringLiteral("wrong"));
                if (how.endsWith("cancel-exit")) {
                    QTest::mouseClick(d->cmdCancel, Qt::LeftButton);
                    QTest::mouseClick(d->cmdExit, Qt::LeftButton);
                } else {
                    d->close();
                }
            } else {
                QTest::keyClick(d, Qt::Key_Return);
                QTest::mouseClick(d->cmdExit, Qt::LeftButton);
                QTest::keyClick(d, Qt::Key_Escape);
                exitIgnored = d->isVisible() && d->logonFieldsShown();
                d->close();
            }
        });
        Main();

        QVERIFY(!script.timedOut());
        QVERIFY(exitIgnored);
        QCOMPARE(m_prompt->messages(), messages);
        QCOMPARE(gLogonStatus, LogonStatus::Cancelled);
        QVERIFY(ProgramEnding());
        QVERIFY(LoadedForms().isEmpty());
        // The thresholds are loaded whatever the logon's outcome.
        QCOMPARE(gWarningHighlight, 7);
        QCOMPARE(gCriticalHighlight, 1);
    }

    void firstRunMakesAWizardThenLogsOn()
    {
        QVERIFY(!DbAnyWizard());
        WindowScript script;
        script.when(QStringLiteral("frmDBManager"), [this](QWidget* w) {
            auto* m = static_cast<frmDBManager*>(w);
            m_prompt->answerText(QStringLiteral("admin"));
            QTest::mouseClick(m->cmdUsersAdd, Qt::LeftButton);
        });
        script.when(QStringLiteral("frmUser"), [](QWidget* w) {
            auto* u = static_cast<frmUser*>(w);
            u->chkWizard->setChecked(true);
            QTest::mouseClick(u->cmdPasswd, Qt::LeftButton);
            QTest::keyClicks(u->txtNewPW1, QStringLiteral("krvadmin"));
            QTest::keyClicks(u->txtNewPW2, QStringLiteral("krvadmin"));
            QTest::mouseClick(u->cmdOk, Qt::LeftButton);  // password pane
            QTest::mouseClick(u->cmdOk, Qt::LeftButton);  // permissions: saves
        });
        Main();

        // No wizard: no logon, the user manager, modeless.
        QCOMPARE(gLogonStatus, LogonStatus::NoWizard);
        QCOMPARE(LoadedFormNames(), QStringList{QStringLiteral("frmDBManager")});
        auto* manager = static_cast<frmDBManager*>(LoadedForms().first());
        QVERIFY(manager->isVisible());
        QVERIFY(!manager->isModal());
        QCOMPARE(gWarningHighlight, 0);  // no System row: the thresholds keep their values
        QTRY_VERIFY_WITH_TIMEOUT(script.done(), 20000);
        QTRY_COMPARE(manager->lstUsers->count(), 1);
        QCOMPARE(manager->lstUsers->item(0)->text(), QStringLiteral("admin"));

        // Stored as a salted hash, never as typed.
        const QString stored = gConn.scalar(QStringLiteral("SELECT Password FROM login")).toString();
        QVERIFY(!stored.contains(QStringLiteral("krvadmin")));
        QVERIFY(VerifyPassword(stored, QStringLiteral("krvadmin")));

        // Closing the manager runs the start-up again, now with the logon.
        WindowScript logon;
        logon.when(QStringLiteral("frmLogon"), logonAs(QStringLiteral("admin"), QStringLiteral("krvadmin")));
        QTest::mouseClick(manager->Command1, Qt::LeftButton);
        QVERIFY(!logon.timedOut());
        QCOMPARE(logon.shownModal(), QStringList{QStringLiteral("frmLogon")});
        QCOMPARE(LoadedFormNames(), QStringList{QStringLiteral("frmSystem")});
        QVERIFY(ProgramHasWindowToRun());
        QVERIFY(m_prompt->messages().isEmpty());
    }

    void firstRunCloseRules_data()
    {
        QTest::addColumn<bool>("plainUser");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("stays");
        QTest::newRow("no user, No") << false << int(MsgAnswer::No)
                                     << "At least one user must be added to run this application.  Are you sure you "
                                        "want to exit?"
                                     << true;
        QTest::newRow("no user, Yes") << false << int(MsgAnswer::Yes)
                                      << "At least one user must be added to run this application.  Are you sure you "
                                         "want to exit?"
                                      << false;
        QTest::newRow("users but no wizard")
            << true << int(MsgAnswer::Ok)
            << "No wizard users are defined for this system.  There must be at least one wizard defined." << true;
    }
    void firstRunCloseRules()
    {
        QFETCH(bool, plainUser);
        QFETCH(int, answer);
        QFETCH(QString, message);
        QFETCH(bool, stays);
        if (plainUser)
            DbAddUser(QStringLiteral("inspector"), QStringLiteral("inspect1"), false, true);
        Main();
        QCOMPARE(LoadedFormNames(), QStringList{QStringLiteral("frmDBManager")});
        auto* manager = static_cast<frmDBManager*>(LoadedForms().first());

        m_prompt->answer(MsgAnswer(answer));
        QTest::mouseClick(manager->Command1, Qt::LeftButton);
        QCOMPARE(m_prompt->messages(), QStringList{message});
        if (stays) {
            QCOMPARE(LoadedFormNames(), QStringList{QStringLiteral("frmDBManager")});
            QVERIFY(manager->isVisible());
        } else {
            QVERIFY(LoadedForms().isEmpty());
            QVERIFY(!ProgramHasWindowToRun());
        }
    }

    void secondRunThatFailsLeavesNoWindow_data()
    {
        QTest::addColumn<QStringList>("tries");
        QTest::addColumn<bool>("ending");
        QTest::newRow("logon cancelled") << QStringList() << true;
        QTest::newRow("three wrong passwords") << QStringList{"admin/a", "admin/b", "admin/c"} << false;
    }
    void secondRunThatFailsLeavesNoWindow()
    {
        QFETCH(QStringList, tries);
        QFETCH(bool, ending);
        Main();
        auto* manager = static_cast<frmDBManager*>(LoadedForms().first());
        DbAddUser(QStringLiteral("admin"), QStringLiteral("krvadmin"), true, false);
        manager->lstUsers->addItem(QStringLiteral("admin"));

        WindowScript script;
        script.when(QStringLiteral("frmLogon"), [tries](QWidget* w) {
            if (tries.isEmpty())
                QTest::mouseClick(static_cast<frmLogon*>(w)->cmdExit, Qt::LeftButton);
            else
                logonTries(tries)(w);
        });
        QTest::mouseClick(manager->Command1, Qt::LeftButton);
        QVERIFY(!script.timedOut());
        QCOMPARE(ProgramEnding(), ending);
        QVERIFY(LoadedForms().isEmpty());
        QVERIFY(!ProgramHasWindowToRun());
    }

    void missingDatabaseIsLocatedAndStored()
    {
        const QString good = makeOtherDatabase(*m_install, QStringLiteral("elsewhere/tunnels.db"));
        const QString typo = m_install->file(QStringLiteral("elsewhere/tunels.db"));
        writeIniDatabase(*m_install, m_install->file(QStringLiteral("moved.db")));
        int windowsAtFirstMessage = -1;
        m_prompt->handler = [&](const PromptCall&) -> QVariant {
            if (windowsAtFirstMessage < 0)
                windowsAtFirstMessage = int(LoadedForms().size());
            return QVariant();
        };
        m_prompt->answer(MsgAnswer::Ok);
        m_prompt->answerText(typo);
        m_prompt->answer(MsgAnswer::Yes);
        m_prompt->answerText(good);

        WindowScript script;
        script.when(QStringLiteral("frmLogon"), logonAs(QStringLiteral("admin"), QStringLiteral("krvadmin")));
        Main();

        QVERIFY(!script.timedOut());
        QCOMPARE(windowsAtFirstMessage, 0);
        QCOMPARE(m_prompt->messages(),
                 (QStringList{notFound(m_install->file(QStringLiteral("moved.db"))),
                              typo + QStringLiteral(" does not exist.  Locate existing file?")}));
        QCOMPARE(m_prompt->count(PromptCall::OpenFile), 2);
        QCOMPARE(m_prompt->calls[1].filter, QStringLiteral("Tunnel Database Files (*.db)"));
        QCOMPARE(m_prompt->calls[2].buttons, MsgButtons::YesNo);
        QCOMPARE(iniDatabase(), good);
        QCOMPARE(gDbPath, good);
        QCOMPARE(gDbFolder, m_install->file(QStringLiteral("elsewhere/")));
        QCOMPARE(gConn.path(), good);
        QCOMPARE(LoadedFormNames(), QStringList{QStringLiteral("frmSystem")});
    }

    // Another program holding the database locked: it is in use, not missing. No locate
    // dialog, and krv.ini keeps its path whatever the answer.
    void lockedDatabaseIsInUseNotMissing_data()
    {
        QTest::addColumn<int>("retries");
        QTest::addColumn<bool>("freed");
        QTest::newRow("Retry once it is free") << 1 << true;
        QTest::newRow("Retry while still locked, then Cancel") << 1 << false;
        QTest::newRow("Cancel") << 0 << false;
    }
    void lockedDatabaseIsInUseNotMissing()
    {
        QFETCH(int, retries);
        QFETCH(bool, freed);
        DbAddUser(QStringLiteral("admin"), QStringLiteral("krvadmin"), true, false);
        writeIniDatabase(*m_install, m_install->dbPath());
        const QByteArray iniBefore = m_install->read(QStringLiteral("krv.ini"));
        gConn.close();
        auto locker = std::make_unique<Connection>(QStringLiteral("tst-locker"));
        locker->open(m_install->dbPath());
        locker->exec(QStringLiteral("BEGIN EXCLUSIVE"));

        int asked = 0;
        m_prompt->handler = [&](const PromptCall& call) -> QVariant {
            if (call.kind != PromptCall::Message || !call.text.contains(QStringLiteral("in use")))
                return QVariant();
            if (++asked > retries)
                return int(MsgAnswer::Cancel);
            if (freed)
                locker.reset();
            return int(MsgAnswer::Retry);
        };
        WindowScript script;
        if (freed)
            script.when(QStringLiteral("frmLogon"), logonAs(QStringLiteral("admin"), QStringLiteral("krvadmin")));
        Main();

        QVERIFY(!script.timedOut());
        QCOMPARE(m_prompt->count(PromptCall::OpenFile), 0);
        QVERIFY(m_prompt->messages().filter(QStringLiteral("Database not found")).isEmpty());
        QVERIFY(!m_prompt->messages().contains(kCannotOpen));
        QCOMPARE(asked, freed ? 1 : retries + 1);
        const PromptCall& first = m_prompt->calls.first();
        QCOMPARE(first.buttons, MsgButtons::RetryCancel);
        QVERIFY2(first.text.contains(m_install->dbPath()), qPrintable(first.text));
        QCOMPARE(m_install->read(QStringLiteral("krv.ini")), iniBefore);
        if (freed) {
            QCOMPARE(gConn.path(), m_install->dbPath());
            QCOMPARE(LoadedFormNames(), QStringList{QStringLiteral("frmSystem")});
        } else {
            QCOMPARE(gLogonStatus, LogonStatus::Cancelled);
            QVERIFY(ProgramEnding());
            QVERIFY(LoadedForms().isEmpty());
            QVERIFY(!gConn.isOpen());
        }
        locker.reset();
    }

    // A file picked in the locate dialog that another program holds is waited for, not
    // refused as no tunnel database.
    void lockedFileChosenInTheLocateDialogIsWaitedFor()
    {
        const QString good = makeOtherDatabase(*m_install, QStringLiteral("elsewhere/tunnels.db"));
        writeIniDatabase(*m_install, m_install->file(QStringLiteral("moved.db")));
        auto locker = std::make_unique<Connection>(QStringLiteral("tst-locker"));
        locker->open(good);
        locker->exec(QStringLiteral("BEGIN EXCLUSIVE"));
        m_prompt->answer(MsgAnswer::Ok);
        m_prompt->answerText(good);
        m_prompt->handler = [&](const PromptCall& call) -> QVariant {
            if (call.kind == PromptCall::Message && call.text.contains(QStringLiteral("in use"))) {
                locker.reset();
                return int(MsgAnswer::Retry);
            }
            return QVariant();
        };
        WindowScript script;
        script.when(QStringLiteral("frmLogon"), logonAs(QStringLiteral("admin"), QStringLiteral("krvadmin")));
        Main();

        QVERIFY(!script.timedOut());
        QCOMPARE(m_prompt->messages(),
                 (QStringList{notFound(m_install->file(QStringLiteral("moved.db"))),
                              good + QStringLiteral(" is in use by another program.  Retry when it is free?")}));
        QCOMPARE(iniDatabase(), good);
        QCOMPARE(gConn.path(), good);
        QCOMPARE(LoadedFormNames(), QStringList{QStringLiteral("frmSystem")});
    }

    void locateGivenUpEndsTheProgram_data()
    {
        QTest::addColumn<QVariantList>("answers");
        const QVariant cancel;
        const QVariant missing = QStringLiteral("/nowhere/krv.db");
        const QVariant yes = int(MsgAnswer::Yes);
        const QVariant no = int(MsgAnswer::No);
        const QVariant ok = int(MsgAnswer::Ok);
        QTest::newRow("cancel") << QVariantList{ok, cancel};
        QTest::newRow("missing file, No") << QVariantList{ok, missing, no};
        QTest::newRow("missing file, Yes, cancel") << QVariantList{ok, missing, yes, cancel};
    }
    void locateGivenUpEndsTheProgram()
    {
        QFETCH(QVariantList, answers);
        writeIniDatabase(*m_install, QStringLiteral("/nowhere/old.db"));
        const QByteArray iniBefore = m_install->read(QStringLiteral("krv.ini"));
        for (const QVariant& a : answers)
            m_prompt->answers.enqueue(a);
        Main();
        QVERIFY(m_prompt->answers.isEmpty());
        QCOMPARE(m_prompt->messages().first(), notFound(QStringLiteral("/nowhere/old.db")));
        QCOMPARE(m_prompt->messages().last(), kCannotOpen);
        QCOMPARE(gLogonStatus, LogonStatus::Cancelled);
        QVERIFY(ProgramEnding());
        QVERIFY(LoadedForms().isEmpty());
        QCOMPARE(m_install->read(QStringLiteral("krv.ini")), iniBefore);
    }

    // A krv.ini that cannot take the choice (a folder in its place; a full disk, through the write
    // seam) keeps its old bytes; the chosen file is used for this run and the user is told why.
    void unwritableIniStillUsesTheChosenFile_data()
    {
        QTest::addColumn<bool>("fullDisk");
        QTest::newRow("a folder in its place") << false;
        QTest::newRow("a full disk") << true;
    }
    void unwritableIniStillUsesTheChosenFile()
    {
        QFETCH(bool, fullDisk);
        const QString good = makeOtherDatabase(*m_install, QStringLiteral("elsewhere/tunnels.db"));
        gConn.close();
        QFile::remove(m_install->dbPath());
        const QString ini = m_install->file(QStringLiteral("krv.ini"));
        if (fullDisk)
            writeIniDatabase(*m_install, m_install->dbPath());
        else
            QVERIFY(QDir(m_install->folder()).mkdir(QStringLiteral("krv.ini")));  // neither read nor written
        const QByteArray iniBefore = m_install->read(QStringLiteral("krv.ini"));
        m_prompt->answer(MsgAnswer::Ok);
        m_prompt->answerText(good);

        WindowScript script;
        script.when(QStringLiteral("frmLogon"), logonAs(QStringLiteral("admin"), QStringLiteral("krvadmin")));
        {
            std::optional<WriteFault> fault;
            if (fullDisk)
                fault.emplace(QStringLiteral("krv.ini"), 10);
            Main();
        }

        QVERIFY(!script.timedOut());
        const QString stored = QStringLiteral("The database %1 is used for this run only: its place could not be stored.\n")
                                   .arg(good);
        if (fullDisk) {
            QCOMPARE(m_prompt->messages(),
                     (QStringList{notFound(m_install->dbPath()),
                                  stored + "The file " + ini + " could not be written: the disk is full."}));
            QCOMPARE(m_install->read(QStringLiteral("krv.ini")), iniBefore);
        } else {
            QCOMPARE(m_prompt->messages().size(), 2);
            QVERIFY2(m_prompt->messages()[1].startsWith(stored + ini), qPrintable(m_prompt->messages()[1]));
            QVERIFY(QFileInfo(ini).isDir());
        }
        QCOMPARE(gDbPath, good);
        QCOMPARE(LoadedFormNames(), QStringList{QStringLiteral("frmSystem")});
        const QByteArray log = m_install->read(QStringLiteral("err.log"));
        QVERIFY2(log.contains("frmLocateDb-"), log.constData());
        QVERIFY(log.contains("krv.ini"));
        QCOMPARE(QDir(m_install->folder()).entryList({QStringLiteral("krv.ini*")}, QDir::AllEntries | QDir::Hidden),
                 QStringList{QStringLiteral("krv.ini")});
    }

    void notATunnelDatabase_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("viaLocate");
        QTest::newRow("text file") << "text" << false;
        QTest::newRow("empty file") << "empty" << false;
        QTest::newRow("another program's database") << "sqlite" << false;
        QTest::newRow("text file chosen in the locate dialog") << "text" << true;
    }
    void notATunnelDatabase()
    {
        QFETCH(QString, kind);
        QFETCH(bool, viaLocate);
        const QString path = m_install->file(QStringLiteral("notes.db"));
        if (kind == "text") {
            m_install->write(QStringLiteral("notes.db"), "Minutes of the meeting, 'draft'.\n");
        } else if (kind == "empty") {
            m_install->write(QStringLiteral("notes.db"), QByteArray());
        } else {
            {
                QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("other"));
                db.setDatabaseName(path);
                QVERIFY(db.open());
                QSqlQuery(db).exec(QStringLiteral("CREATE TABLE notes (id INTEGER, body TEXT)"));
                db.close();
            }
            QSqlDatabase::removeDatabase(QStringLiteral("other"));
        }
        const QByteArray before = m_install->read(QStringLiteral("notes.db"));
        // Stored, it leads to the locate dialog as a missing file does; chosen there, it is
        // refused before it is stored. Here the user then gives up.
        const QString stored = viaLocate ? m_install->file(QStringLiteral("gone.db")) : path;
        writeIniDatabase(*m_install, stored);
        m_prompt->answer(MsgAnswer::Ok);
        if (viaLocate) {
            m_prompt->answerText(path);
            m_prompt->answer(MsgAnswer::No);
        } else {
            m_prompt->answerCancel();
        }
        Main();

        // A file that is there is not called missing.
        QStringList expected{viaLocate ? notFound(m_install->file(QStringLiteral("gone.db")))
                                       : QStringLiteral("The file ") + path +
                                             QStringLiteral(" is not a tunnel database.  Please locate a valid "
                                                            "tunnel database.")};
        if (viaLocate)
            expected << path + QStringLiteral(" is not a tunnel database.  Locate another file?");
        expected << kCannotOpen;
        QCOMPARE(m_prompt->messages(), expected);
        QVERIFY(!m_install->read(QStringLiteral("err.log")).contains("Unable to launch KRV."));
        QVERIFY(LoadedForms().isEmpty());
        QVERIFY(!ProgramHasWindowToRun());
        QCOMPARE(m_install->read(QStringLiteral("notes.db")), before);
        QCOMPARE(iniDatabase(), stored);  // never the file that is no tunnel database
    }

    // A file that is no tunnel database is refused in the locate dialog; the next choice,
    // a tunnel database, is stored and used.
    void aChosenFileIsCheckedBeforeItIsStored()
    {
        const QString good = makeOtherDatabase(*m_install, QStringLiteral("elsewhere/tunnels.db"));
        const QString text = m_install->file(QStringLiteral("notes.db"));
        m_install->write(QStringLiteral("notes.db"), "Minutes\n");
        writeIniDatabase(*m_install, text);
        m_prompt->answer(MsgAnswer::Ok);
        m_prompt->answerText(text);
        m_prompt->answer(MsgAnswer::Yes);
        m_prompt->answerText(good);
        WindowScript script;
        script.when(QStringLiteral("frmLogon"), logonAs(QStringLiteral("admin"), QStringLiteral("krvadmin")));
        Main();
        QVERIFY(!script.timedOut());
        QCOMPARE(m_prompt->messages(),
                 (QStringList{QStringLiteral("The file ") + text +
                                  QStringLiteral(" is not a tunnel database.  Please locate a valid tunnel database."),
                              text + QStringLiteral(" is not a tunnel database.  Locate another file?")}));
        QCOMPARE(iniDatabase(), good);
        QCOMPARE(gConn.path(), good);
        QCOMPARE(LoadedFormNames(), QStringList{QStringLiteral("frmSystem")});
    }

    // A kill or a flat battery during a write leaves a hot journal beside the file: start-up rolls
    // the unfinished write back and goes on to the logon, whether the file is the stored one or
    // the one chosen in the locate dialog.
    void aDatabaseLeftByACrashOpens_data()
    {
        QTest::addColumn<bool>("viaLocate");
        QTest::addColumn<QString>("folder");  // below the installation, where the database lies
        QTest::newRow("stored in krv.ini") << false << "";
        QTest::newRow("chosen in the locate dialog") << true << "";
        QTest::newRow("in a folder whose name looks like an address") << false << "/Line 50% #2 ?mode=ro&é";
    }
    void aDatabaseLeftByACrashOpens()
    {
        QFETCH(bool, viaLocate);
        QFETCH(QString, folder);
        DbAddUser(QStringLiteral("admin"), QStringLiteral("krvadmin"), true, false);
        gConn.exec(QStringLiteral("INSERT INTO System (SystemName) VALUES ('Harbour Line')"));
        const QString path = m_install->folder() + folder + QStringLiteral("/krv.db");
        gConn.close();
        if (path != m_install->dbPath()) {
            QVERIFY(QDir().mkpath(QFileInfo(path).path()));
            QVERIFY(QFile::rename(m_install->dbPath(), path));
        }
        QString why;
        // Had the write stayed, there would be no user to log on as.
        QVERIFY2(LeaveInterruptedWrite(path,
                                       {QStringLiteral("UPDATE System SET SystemName = 'Half written'"),
                                        QStringLiteral("DELETE FROM login")},
                                       &why),
                 qPrintable(why));
        QVERIFY(QFileInfo::exists(path + QStringLiteral("-journal")));
        writeIniDatabase(*m_install, viaLocate ? m_install->file(QStringLiteral("moved.db")) : path);
        if (viaLocate) {
            m_prompt->answer(MsgAnswer::Ok);
            m_prompt->answerText(path);
        }

        WindowScript script;
        script.when(QStringLiteral("frmLogon"), logonAs(QStringLiteral("admin"), QStringLiteral("krvadmin")));
        Main();

        QVERIFY(!script.timedOut());
        QCOMPARE(m_prompt->messages(), viaLocate ? QStringList{notFound(m_install->file(QStringLiteral("moved.db")))} : QStringList());
        QCOMPARE(LoadedFormNames(), QStringList{QStringLiteral("frmSystem")});
        QCOMPARE(gConn.path(), path);
        QCOMPARE(iniDatabase(), path);
        QCOMPARE(gConn.scalar(QStringLiteral("SELECT SystemName FROM System")).toString(), QString("Harbour Line"));
        QVERIFY(!gConn.scalar(QStringLiteral("SELECT 1 FROM sqlite_master WHERE name = 'interrupted_filler'")).isValid());
        QVERIFY(!QFileInfo::exists(path + QStringLiteral("-journal")));
    }

    // The same file on a write-protected medium cannot be put back: the message says why, and
    // the file is neither called missing nor changed.
    void aDatabaseLeftByACrashOnAReadOnlyMedium()
    {
        DbAddUser(QStringLiteral("admin"), QStringLiteral("krvadmin"), true, false);
        const QString folder = m_install->file(QStringLiteral("stick"));
        QVERIFY(QDir().mkpath(folder));
        const QString path = folder + QStringLiteral("/krv.db");
        gConn.close();
        QVERIFY(QFile::copy(m_install->dbPath(), path));
        QString why;
        QVERIFY2(LeaveInterruptedWrite(path, {QStringLiteral("DELETE FROM login")}, &why), qPrintable(why));
        const QByteArray encoded = QFile::encodeName(folder);
        if (::mount(encoded.constData(), encoded.constData(), nullptr, MS_BIND, nullptr) != 0)
            QSKIP("a read-only folder cannot be mounted here (needs root)");
        struct Unmount {
            QByteArray path;
            ~Unmount() { ::umount2(path.constData(), MNT_DETACH); }
        } unmount{encoded};
        QVERIFY(::mount(nullptr, encoded.constData(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) == 0);
        const QByteArray before = m_install->read(QStringLiteral("stick/krv.db"));
        writeIniDatabase(*m_install, path);
        m_prompt->answer(MsgAnswer::Ok);
        m_prompt->answerCancel();
        Main();

        QCOMPARE(m_prompt->messages().size(), 2);
        const QString first = m_prompt->messages().first();
        QVERIFY2(first.startsWith(QStringLiteral("The file ") + path + QStringLiteral(" is not a tunnel database.")) &&
                     first.contains(QStringLiteral("read-only")),
                 qPrintable(first));
        QCOMPARE(m_prompt->messages().last(), kCannotOpen);
        QCOMPARE(m_install->read(QStringLiteral("stick/krv.db")), before);
        QVERIFY(QFileInfo::exists(path + QStringLiteral("-journal")));
    }

    void startupPatchesAnOldDatabase()
    {
        DbAddUser(QStringLiteral("admin"), QStringLiteral("krvadmin"), true, false);
        gConn.exec(QStringLiteral("INSERT INTO System (SystemName) VALUES ('Old line')"));
        gConn.exec(QStringLiteral("ALTER TABLE System DROP COLUMN WarningHighlight"));
        gConn.exec(QStringLiteral("ALTER TABLE System DROP COLUMN CriticalHighlight"));
        WindowScript script;
        script.when(QStringLiteral("frmLogon"), logonAs(QStringLiteral("admin"), QStringLiteral("krvadmin")));
        Main();
        QVERIFY(!script.timedOut());
        QCOMPARE(LoadedFormNames(), QStringList{QStringLiteral("frmSystem")});
        QCOMPARE(gWarningHighlight, 5);
        QCOMPARE(gCriticalHighlight, 3);
        const RowSet rs = gConn.query(QStringLiteral("SELECT WarningHighlight, CriticalHighlight FROM System"));
        QCOMPARE(rs.toInt(0, QStringLiteral("WarningHighlight")), 5);
        QCOMPARE(rs.toInt(0, QStringLiteral("CriticalHighlight")), 3);
    }

private:
    std::unique_ptr<TestInstall> m_install;
    std::unique_ptr<ScriptedPrompt> m_prompt;
};

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"

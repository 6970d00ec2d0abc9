// The logon dialog on its own: keys, fields and the database failing under it.
#include "clicklabel.h"
#include "db.h"
#include "dbusers.h"
#include "frmLogon.h"
#include "globals.h"
#include "scriptedprompt.h"
#include "testinstall.h"
#include "windowscript.h"

#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QToolButton>

class TestLogon : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        m_install = std::make_unique<TestInstall>();
        m_prompt = std::make_unique<ScriptedPrompt>();
        DbAddUser(QStringLiteral("admin"), QStringLiteral("krvadmin"), true, true);
    }
    void cleanup()
    {
        m_prompt.reset();
        m_install.reset();
        ClearPendingQuit();
    }

    void opensWithTheFieldsHidden()
    {
        qputenv("USER", "jdoe");
        gLogonStatus = LogonStatus::LoggedOn;
        auto* d = new frmLogon;
        d->show();
        QCOMPARE(gLogonStatus, LogonStatus::Cancelled);
        QCOMPARE(d->windowTitle(), QString());
        QCOMPARE(d->txtName->text(), QStringLiteral("jdoe"));
        QCOMPARE(d->cmdLogin->toolTip(), QStringLiteral("System Login"));
        QCOMPARE(d->cmdExit->toolTip(), QStringLiteral("Exit System"));
        QCOMPARE(d->cmdCancel->toolTip(), QStringLiteral("Cancel Login"));
        QCOMPARE(d->Label1->text(), QStringLiteral("Name"));
        QCOMPARE(d->Label2->text(), QStringLiteral("Password"));
        QCOMPARE(d->cmdOk->text(), QStringLiteral("Ok"));
        QCOMPARE(d->cmdCancel->text(), QStringLiteral("Cancel"));
        for (QWidget* w : {static_cast<QWidget*>(d->Label1), static_cast<QWidget*>(d->txtName),
                           static_cast<QWidget*>(d->Label2), static_cast<QWidget*>(d->txtPW),
                           static_cast<QWidget*>(d->cmdOk), static_cast<QWidget*>(d->cmdCancel),
                           static_cast<QWidget*>(d->Shape1), static_cast<QWidget*>(d->Shape2),
                           static_cast<QWidget*>(d->Shape3)})
            QVERIFY2(!w->isVisible(), qPrintable(w->objectName()));
        QVERIFY(d->cmdLogin->isVisible());
        QVERIFY(d->cmdExit->isVisible());

        // Enter on the window shows the fields and puts the focus into the password.
        d->activateWindow();
        QTest::keyClick(d, Qt::Key_Return);
        QVERIFY(d->logonFieldsShown());
        QVERIFY(d->txtPW->isVisible() && d->Shape2->isVisible());
        QCOMPARE(d->focusWidget(), d->txtPW);
        QTest::keyClicks(d->txtPW, QStringLiteral("abc"));
        QCOMPARE(d->txtPW->displayText(), QStringLiteral("***"));

        // Enter in the name moves to the password, and is not typed.
        d->txtName->setFocus();
        QTest::keyClick(d->txtName, Qt::Key_Return);
        QCOMPARE(d->focusWidget(), d->txtPW);
        QCOMPARE(d->txtName->text(), QStringLiteral("jdoe"));
        // Escape while the fields are shown does nothing; Cancel hides them.
        QTest::keyClick(d, Qt::Key_Escape);
        QVERIFY(d->isVisible());
        QTest::mouseClick(d->cmdCancel, Qt::LeftButton);
        QVERIFY(!d->logonFieldsShown());
        QVERIFY(!d->txtName->isVisible());
        QTest::keyClick(d, Qt::Key_Escape);
        QVERIFY(!IsFormLoaded(QStringLiteral("frmLogon")));
        QCOMPARE(gLogonStatus, LogonStatus::Cancelled);
        QVERIFY(m_prompt->calls.isEmpty());
    }

    void enterInThePasswordLogsOn()
    {
        auto* d = new frmLogon;
        d->show();
        QTest::mouseClick(d->cmdLogin, Qt::LeftButton);
        d->txtName->setText(QStringLiteral("ADMIN"));
        QTest::keyClicks(d->txtPW, QStringLiteral("krvadmin"));
        QTest::keyClick(d->txtPW, Qt::Key_Enter);
        QCOMPARE(gLogonStatus, LogonStatus::LoggedOn);
        QVERIFY(gIsWizard);
        QVERIFY(gIsDataEntry);
        QVERIFY(!IsFormLoaded(QStringLiteral("frmLogon")));
    }

    void databaseErrorKeepsTheDialogOpen()
    {
        auto* d = new frmLogon;
        d->show();
        QTest::mouseClick(d->cmdLogin, Qt::LeftButton);
        d->txtName->setText(QStringLiteral("admin"));
        d->txtPW->setText(QStringLiteral("krvadmin"));
        gConn.exec(QStringLiteral("DROP TABLE login"));
        QTest::mouseClick(d->cmdOk, Qt::LeftButton);
        QCOMPARE(m_prompt->messages(), QStringList{QStringLiteral("Error logging in\nThe database has no table login.")});
        QCOMPARE(gLogonStatus, LogonStatus::Cancelled);
        QVERIFY(d->isVisible());
        QCOMPARE(d->failures(), 0);
        QVERIFY(m_install->read(QStringLiteral("err.log")).contains("frmLogon-Error logging in"));
        d->Unload();
    }

private:
    std::unique_ptr<TestInstall> m_install;
    std::unique_ptr<ScriptedPrompt> m_prompt;
};

QTEST_MAIN(TestLogon)
#include "tst_logon.moc"

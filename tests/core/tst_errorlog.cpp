#include "db.h"
#include "krverror.h"
#include "modkrv.h"
#include "savefile.h"
#include "scriptedprompt.h"
#include "testinstall.h"
#include "uihelpers.h"

#include <QApplication>
#include <QDir>
#include <QTest>

class TestErrorLog : public QObject {
    Q_OBJECT
private slots:
    void init() { m_install = std::make_unique<TestInstall>(false); }
    void cleanup() { m_install.reset(); }

    void recordHasTheExactBytes()
    {
        const QDateTime when(QDate(2026, 3, 4), QTime(5, 6, 7));
        const QByteArray record =
            ErrorLogRecord("Error logging in", "frmLogon", 3021, "No current \"record\".", when);
        const QByteArray expected = "\"" + GeneralDateText(when).toUtf8() +
                                    "\tfrmLogon-Error logging in\r\n\t3021: No current \"record\".\"\r\n";
        QCOMPARE(record, expected);
        QVERIFY(GeneralDateText(when).contains("5") && GeneralDateText(when).contains("07"));
    }

    void logErrorAppendsAndShowsWithTitle()
    {
        ScriptedPrompt prompt;
        QApplication::setOverrideCursor(Qt::WaitCursor);
        QApplication::setOverrideCursor(Qt::WaitCursor);
        LogError("Error saving user information", "frmUser", DbError(19, "UNIQUE constraint failed"));
        LogError("", "frmSystem", 5, "Invalid procedure call");

        QCOMPARE(prompt.calls.size(), 1);  // an empty message is logged, not shown
        const PromptCall& call = prompt.calls[0];
        QCOMPARE(call.kind, PromptCall::Message);
        QCOMPARE(call.text, QString("Error saving user information"));
        QCOMPARE(call.title, QString("Corvane Quorrel"));
        QCOMPARE(call.icon, MsgIcon::Critical);  // an error box shows the error icon
        QCOMPARE(call.buttons, MsgButtons::Ok);
        QVERIFY(!QApplication::overrideCursor());

        const QList<QByteArray> lines = m_install->read("err.log").split('\n');
        QCOMPARE(lines.size(), 5);  // two records of two lines, and the end
        QVERIFY(lines[0].startsWith('"'));
        QVERIFY(lines[0].endsWith("\tfrmUser-Error saving user information\r"));
        QCOMPARE(lines[1], QByteArray("\t19: UNIQUE constraint failed\"\r"));
        QVERIFY(lines[2].endsWith("\tfrmSystem-\r"));
        QCOMPARE(lines[3], QByteArray("\t5: Invalid procedure call\"\r"));
    }

    void otherExceptionsAndNoErrorAreLoggedToo()
    {
        ScriptedPrompt prompt;
        LogError("Unable to launch KRV.", "KRV");
        LogError("Oops", "frmX", std::runtime_error("bad thing"));
        const QByteArray log = m_install->read("err.log");
        QVERIFY(log.contains("\tKRV-Unable to launch KRV.\r\n\t0: \"\r\n"));
        QVERIFY(log.contains("\tfrmX-Oops\r\n\t0: bad thing\"\r\n"));
        QCOMPARE(prompt.messages(), (QStringList{"Unable to launch KRV.", "Oops"}));
    }

    // A log that cannot take the record (a folder in its place; a full disk, through the write
    // seam) keeps its old records whole; the message is still shown, and says why the log lacks it.
    void unwritableLogStillShowsTheMessage_data()
    {
        QTest::addColumn<bool>("fullDisk");
        QTest::addColumn<QString>("reason");
        QTest::newRow("a folder in its place") << false << "a folder has that name";
        QTest::newRow("a full disk") << true << "the disk is full";
    }
    void unwritableLogStillShowsTheMessage()
    {
        QFETCH(bool, fullDisk);
        QFETCH(QString, reason);
        ScriptedPrompt prompt;
        if (fullDisk)
            LogError(QString(), "frmTunnelSpecs", 1, "an earlier record");
        else
            QVERIFY(QDir(m_install->folder()).mkdir("err.log"));
        const QByteArray before = m_install->read("err.log");
        {
            WriteFault fault("err.log", 30);
            LogError("Error deleting panel", "frmTunnelSpecs", 1, "x");
        }
        QCOMPARE(prompt.messages(), QStringList{"Error deleting panel\n\nThe file " + m_install->file("err.log") +
                                                " could not be written: " + reason + "."});
        QCOMPARE(m_install->read("err.log"), before);
    }

private:
    std::unique_ptr<TestInstall> m_install;
};

QTEST_MAIN(TestErrorLog)
#include "tst_errorlog.moc"

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

    // A message whose reason is on a line of its own, and an error text of several lines, make a
    // record of two lines all the same: the reason follows the sentence on its line.
    void aReasonOnASecondLineStaysInItsLine_data()
    {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("first");   // after the date
        QTest::addColumn<QString>("second");  // after the tab
        QTest::newRow("reason under a sentence without a stop")
            << "Error locating help file\nThe file /opt/krv/KRV.chm does not exist." << "File not found"
            << "frmAbout-Error locating help file. The file /opt/krv/KRV.chm does not exist." << "53: File not found";
        QTest::newRow("reason under a sentence with a stop")
            << "Error creating Inspection Replica.\nThe disk that holds /media/stick/Field.db is full." << "x"
            << "frmAbout-Error creating Inspection Replica. The disk that holds /media/stick/Field.db is full."
            << "53: x";
        QTest::newRow("a paragraph after an empty line")
            << "Error saving data.\n\nThe tunnel database is in use by another program." << "x"
            << "frmAbout-Error saving data. The tunnel database is in use by another program." << "53: x";
        QTest::newRow("an error text of several lines")
            << "Error" << "near \"SELEC\": syntax error\r\nSELEC *\rFROM t"
            << "frmAbout-Error" << "53: near \"SELEC\": syntax error. SELEC *. FROM t";
    }
    void aReasonOnASecondLineStaysInItsLine()
    {
        QFETCH(QString, message);
        QFETCH(QString, description);
        QFETCH(QString, first);
        QFETCH(QString, second);
        const QDateTime when(QDate(2026, 3, 4), QTime(5, 6, 7));
        QCOMPARE(ErrorLogRecord(message, "frmAbout", 53, description, when),
                 "\"" + GeneralDateText(when).toUtf8() + "\t" + first.toUtf8() + "\r\n\t" + second.toUtf8() + "\"\r\n");
        // As LogError writes it, beside an earlier record: each record two lines, the message shown as it was.
        ScriptedPrompt prompt;
        LogError("", "frmLogon", 3021, "an earlier record");
        LogError(message, "frmAbout", 53, description);
        QCOMPARE(prompt.messages(), QStringList{message});
        const QList<QByteArray> lines = m_install->read("err.log").split('\n');
        QCOMPARE(lines.size(), 5);
        QVERIFY(lines[2].endsWith("\t" + first.toUtf8() + "\r"));
        QCOMPARE(lines[3], "\t" + second.toUtf8() + "\"\r");
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

// Exchanges beside another program writing one of the two files: the sqlite3 shell writes many small
// transactions while exchanges of the pair run one after another. Its writes must wait for each exchange's commit,
// never fail, and both files stay whole. (Closing a descriptor of a file drops every lock the process holds on it,
// so an exchange that opened the file by itself while holding its locks let the other program write under it.)
#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

#include "plaindb.h"
#include "replpair.h"
#include "replstore.h"

using namespace Varnock::Store;

namespace {

constexpr int kWrites = 1500;
constexpr int kRounds = 3;

// The shell's script: each insert is a transaction of its own, with a key as a program's new row would take. Its
// commits skip the disk flush, which changes nothing of its locks and keeps the test short.
QByteArray writerScript(int round)
{
    QByteArray script = ".timeout 20000\n.bail on\nPRAGMA synchronous = OFF;\n";
    for (int i = 0; i < kWrites; ++i)
        script += QByteArray("INSERT INTO DefectQuantity (ID, PanelID, InspectionID, Description) VALUES (") +
                  QByteArray::number(100000000 + round * 100000 + i) + ", 1, 1, 'written beside " +
                  QByteArray::number(i) + "');\n";
    return script;
}

}  // namespace

class TstReplBeside : public QObject {
    Q_OBJECT

    OfficeAndField m_pairs;

private slots:
    void initTestCase()
    {
        QVERIFY(m_pairs.dir.isValid());
        if (QStandardPaths::findExecutable(QStringLiteral("sqlite3")).isEmpty())
            QSKIP("the sqlite3 shell is not installed");
    }

    void anotherProgramWritesDuringExchanges_data()
    {
        QTest::addColumn<bool>("intoOffice");
        QTest::newRow("the other program writes the office file") << true;
        QTest::newRow("the other program writes the field replica") << false;
    }
    void anotherProgramWritesDuringExchanges()
    {
        QFETCH(bool, intoOffice);
        QString office, field;
        m_pairs.make([](const QString& p) { fillTunnel(p, ""); }, &office, &field);
        const QString target = intoOffice ? office : field;
        int exchanges = 0;
        for (int round = 0; round < kRounds; ++round) {
            QProcess shell;
            shell.setProcessChannelMode(QProcess::MergedChannels);
            shell.start(QStandardPaths::findExecutable(QStringLiteral("sqlite3")), {target});
            QVERIFY(shell.waitForStarted());
            shell.write(writerScript(round));
            shell.closeWriteChannel();
            // Exchanges one after another for as long as the other program writes; each finds its new rows.
            QDeadlineTimer deadline(120000);
            while (shell.state() != QProcess::NotRunning) {
                QVERIFY2(!deadline.hasExpired(), "the other program did not finish");
                QString error;
                const int rc = synchronize(office, field, Direction::Both, {}, {}, nullptr, &error);
                // Waiting longer than the exchange's patience for the other program's lock is allowed; no other failure.
                QVERIFY2(rc == Result::Ok || rc == Result::Locked, qPrintable(error));
                ++exchanges;
                shell.waitForFinished(0);
            }
            QCOMPARE(shell.exitStatus(), QProcess::NormalExit);
            const QString output = QString::fromUtf8(shell.readAll()).trimmed();
            QVERIFY2(output.isEmpty(), qPrintable(output));
            QCOMPARE(shell.exitCode(), 0);
            for (const QString& f : {office, field})
                QCOMPARE(one(f, QStringLiteral("PRAGMA integrity_check")), QStringLiteral("ok"));
            QCOMPARE(one(target, QStringLiteral("SELECT count(*) FROM DefectQuantity WHERE ID >= %1").arg(100000000 + round * 100000)),
                     QString::number(kWrites));
        }
        QVERIFY(exchanges > kRounds);
        qInfo("%d exchanges beside the other program", exchanges);
        // Whatever the exchanges took in while the other program wrote, one more brings both files level.
        QCOMPARE(synchronize(office, field, Direction::Both), 0);
        const QStringList tables = {QStringLiteral("DefectQuantity")};
        QCOMPARE(tableContent(office, tables), tableContent(field, tables));
        QCOMPARE(one(office, QStringLiteral("SELECT count(*) FROM DefectQuantity")), QString::number(kRounds * kWrites));
    }
};

QTEST_GUILESS_MAIN(TstReplBeside)
#include "tst_replbeside.moc"

// A disk that fills up, for real: a small tmpfs of the test's own (skipped with the reason
// where none can be mounted). Each file the program writes whole keeps its old bytes when the
// disk cannot take the new ones, leaves no cut or temporary file, and the user is told which
// file and why.
#include "filebytes.h"
#include "../field/fieldfixture.h"
#include "fieldcommon.h"
#include "fieldforms.h"
#include "frmCreateReplica.h"
#include "frmLocateDb.h"
#include "frmPrintKeyplanTarget.h"
#include "frmSyncFS.h"
#include "report.h"
#include "reportlayout.h"
#include "savefile.h"
#include "schema.h"
#include "scriptedprompt.h"
#include "smalldisk.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPrinter>
#include <QTemporaryDir>
#include <QTest>

using namespace fieldtest;

namespace {

std::shared_ptr<Report> someReport(int rows)
{
    auto r = std::make_shared<Report>();
    r->title = QStringLiteral("Element Condition Evaluation");
    r->data.addColumn(QStringLiteral("Name"), ValueType::Text);
    for (int i = 1; i <= rows; ++i)
        r->data.appendRow({QStringLiteral("Panel %1, lining: spalling over the construction joint").arg(i)});
    r->pageHeader().add(ReportObject::textObject(QStringLiteral("Heading"), 0, 0, 3000, 300).bold());
    r->pageHeader().height = 400;
    r->details().add(ReportObject::field(QStringLiteral("Name"), 240, 0, 8000, 236));
    r->details().height = 236;
    return r;
}

}  // namespace

class tst_fulldisk : public QObject {
    Q_OBJECT

    QTemporaryDir m_registry;
    std::unique_ptr<ScriptedPrompt> m_prompt;

    QStringList filesOn(const SmallDisk& disk) const
    {
        QStringList names = QDir(disk.path()).entryList(QDir::Files | QDir::Hidden);
        names.removeAll(QStringLiteral("filler"));
        names.sort();
        return names;
    }

private slots:
    void initTestCase()
    {
        qputenv("VARNOCK_REGISTRY", m_registry.filePath("registry.db").toUtf8());
        RegisterFieldForms();
    }
    void init() { m_prompt = std::make_unique<ScriptedPrompt>(); }
    void cleanup() { m_prompt.reset(); }

    // The locate dialog's choice on a full disk: krv.ini keeps every setting, the chosen file is
    // used for this run, and the message names krv.ini and the full disk.
    void iniOnAFullDiskKeepsItsOldBytes()
    {
        TestInstall install(false);
        const QString good = install.file(QStringLiteral("tunnels.db"));
        QVERIFY(CreateTunnelDatabase(good));
        SmallDisk disk(256 * 1024);
        if (!disk.isMounted())
            QSKIP(qPrintable(disk.why()));
        const QByteArray before = "[KRV]\r\nDatabaseFile=/nowhere/old.db\r\nSystemPath=Data/\r\nDataCollector=Yes\r\n";
        WriteFileBytes(disk.file(QStringLiteral("krv.ini")), before);
        SetProgramFolder(disk.path());
        QVERIFY(disk.fill(0));
        m_prompt->answerText(good);
        QVERIFY(frmLocateDb::Locate());
        QCOMPARE(gDbPath, good);
        QCOMPARE(ReadFileBytes(disk.file(QStringLiteral("krv.ini"))), before);
        QCOMPARE(m_prompt->messages().size(), 1);
        const QString message = m_prompt->messages().first();
        QVERIFY2(message.startsWith(QStringLiteral("The database %1 is used for this run only: its place could not be "
                                                   "stored.\nThe file %2 could not be written: the disk is full.")
                                        .arg(good, disk.file(QStringLiteral("krv.ini")))),
                 qPrintable(message));
        // The error log has no room either, and says so.
        QVERIFY2(message.endsWith("The file " + disk.file(QStringLiteral("err.log")) +
                                  " could not be written: the disk is full."),
                 qPrintable(message));
        QCOMPARE(filesOn(disk), QStringList{QStringLiteral("krv.ini")});
    }

    // A PDF with room for 95 % of it, exported or printed to a file: the old file stays whole,
    // no cut file is left, and the failure names the file and the full disk.
    void aPdfWithRoomForPartOfItKeepsTheOldFile_data()
    {
        QTest::addColumn<bool>("print");
        QTest::newRow("export") << false;
        QTest::newRow("printed to a file") << true;
    }
    void aPdfWithRoomForPartOfItKeepsTheOldFile()
    {
        QFETCH(bool, print);
        TestInstall install(false);
        auto report = someReport(1500);
        auto write = [&](const QString& path) {
            if (!print)
                return WriteReportPdf(*report, path);
            QPrinter& printer = CurrentPrinter();
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(path);
            const int pages = PrintReport(*report, printer);
            printer.setOutputFileName(QString());
            return pages;
        };
        const QString measured = install.file(QStringLiteral("measured.pdf"));
        QVERIFY(write(measured) > 1);
        const qint64 size = QFileInfo(measured).size();
        SmallDisk disk(size + 256 * 1024);
        if (!disk.isMounted())
            QSKIP(qPrintable(disk.why()));
        const QString target = disk.file(QStringLiteral("report.pdf"));
        WriteFileBytes(target, "the old report");
        QVERIFY(disk.fill(size * 95 / 100));
        QString failure;
        try {
            write(target);
        } catch (const FileWriteError& e) {
            failure = e.description();
        }
        CurrentPrinter().setOutputFileName(QString());
        QCOMPARE(failure, "The file " + target + " could not be written: the disk is full.");
        QCOMPARE(ReadFileBytes(target), QByteArray("the old report"));
        QCOMPARE(filesOn(disk), QStringList{QStringLiteral("report.pdf")});
    }

    // Both logs beside the program on a full disk: the folders and the database are exchanged
    // all the same, each log keeps its old records whole, and the user learns which file and why.
    void theSyncLogsOnAFullDiskKeepTheirOldRecords()
    {
        Master master;
        const QString stick = master.install.file(QStringLiteral("stick"));
        QVERIFY(QDir().mkpath(stick));
        auto* create = new frmCreateReplica;
        create->setDirPath(stick);
        create->txtFileName->setText(QStringLiteral("Field.db"));
        create->txtNumReps->setText(QStringLiteral("1"));
        create->cmdCreateRep_Click();
        QCOMPARE(create->lblStatus->text(), "Replica creation complete: Field.db in " + stick + ".");
        create->Unload();
        const QString replica = stick + QStringLiteral("/Field.db");
        DbSaveRating(master.northYear, master.northPanels[1], 2, QStringLiteral("4"));

        SmallDisk disk(256 * 1024);
        if (!disk.isMounted())
            QSKIP(qPrintable(disk.why()));
        QVERIFY(QFile::copy(master.install.file(QStringLiteral("krv.ini")), disk.file(QStringLiteral("krv.ini"))));
        const QByteArray syncLog = "\"old sync record\"\r\n\"\r\n\r\n\"\r\n";
        // The replica log fills its last block, so its next line needs a block the disk has not.
        QByteArray replicaLog = "2026-01-01 10:00:00  an older exchange ";
        replicaLog += QByteArray(4095 - replicaLog.size(), '.') + '\n';
        WriteFileBytes(disk.file(kSyncLogName), syncLog);
        WriteFileBytes(disk.file(kReplicaLogName), replicaLog);
        SetProgramFolder(disk.path());
        QVERIFY(disk.fill(0));

        auto* w = new frmSyncFS;
        w->show();
        w->cmdSelectAll_Click();
        w->txtRepDB->setText(replica);
        w->cmdSync_Click();
        SetProgramFolder(master.install.folder());

        QCOMPARE(w->sbPanel1->text(), QStringLiteral("Inspection Replica synchronization succeeded."));
        QCOMPARE(tree(stick + "/North/2024"), tree(master.data + "/North/2024"));
        gConn.open(replica);
        QCOMPARE(DbGetRating(master.northYear, master.northPanels[1], 2), QStringLiteral("4"));
        master.activate();
        QCOMPARE(ReadFileBytes(disk.file(kSyncLogName)), syncLog);
        QCOMPARE(ReadFileBytes(disk.file(kReplicaLogName)), replicaLog);
        const QStringList messages = m_prompt->messages();
        auto told = [&](const QString& sentence, const QString& file) {
            const QString text = sentence + "\nThe file " + disk.file(file) + " could not be written: the disk is full.";
            return std::any_of(messages.begin(), messages.end(), [&](const QString& m) { return m.startsWith(text); });
        };
        QVERIFY2(told(QStringLiteral("Error writing to SyncLog"), kSyncLogName), qPrintable(messages.join("\n--\n")));
        QVERIFY2(told(QStringLiteral("The exchange could not be recorded in the replica log."), kReplicaLogName),
                 qPrintable(messages.join("\n--\n")));
        QStringList expected{kReplicaLogName, kSyncLogName, QStringLiteral("krv.ini")};
        expected.sort();
        QCOMPARE(filesOn(disk), expected);
        w->Unload();
    }
};

KRV_TEST_MAIN_WITH_OWN_MOUNTS(tst_fulldisk)
#include "tst_fulldisk.moc"

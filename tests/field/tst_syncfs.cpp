// The field synchronisation screen: media folders both ways, the database exchange, the
// log, Stop Sync and the running state, on a fixture installation and its replica.
#include <QImage>

#include "FolderSync.h"
#include "clicklabel.h"
#include "fieldcommon.h"
#include "fieldfixture.h"
#include "fieldforms.h"
#include "frmCreateReplica.h"
#include "frmSyncData.h"
#include "frmSyncFS.h"
#include "frmImgInput.h"
#include "frmDataInput.h"
#include "inspectionforms.h"
#include "zvmap.h"
#include "interruptedwrite.h"
#include "frmSystem.h"
#include "helpers.h"
#include "savefile.h"
#include "dbusers.h"
#include "dbsystem.h"
#include "demodata.h"
#include "frmLogon.h"
#include "inventoryforms.h"
#include "scriptedprompt.h"
#include "filebytes.h"
#include "smalldisk.h"
#include "startup.h"
#include "schema.h"
#include "../startup/windowscript.h"

#include <varnock.h>

#include <QApplication>
#include <QCheckBox>
#include <QToolButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTimer>
#include <QtTest>

#include <sys/mount.h>

using namespace fieldtest;

namespace {

const QString kSucceeded = QStringLiteral("Inspection Replica synchronization succeeded.");
const QString kFailed = QStringLiteral("Inspection Replica synchronization failed.");
const QString kCancelled = QStringLiteral("SYS: Operation cancelled by user - synchronisation not completed");

// A copy of a database's user tables without the columns that are each file's own
// (the local generation and lineage of a row), rows in the order of their identity.
QString comparableCopy(const QString& source, const QString& target)
{
    QFile::remove(target);
    const QString name = QStringLiteral("compare-%1").arg(qHash(target));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(target);
        if (!db.open())
            qFatal("cannot make %s", qPrintable(target));
        QSqlQuery q(db);
        q.exec(QStringLiteral("ATTACH '%1' AS src").arg(source));
        QStringList tables;
        q.exec(QStringLiteral("SELECT name FROM src.sqlite_master WHERE type = 'table' AND name NOT LIKE 'repl\\_%' "
                              "ESCAPE '\\' AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\' ORDER BY name"));
        while (q.next())
            tables << q.value(0).toString();
        for (const QString& t : tables) {
            QStringList cols;
            bool guid = false;
            q.exec(QStringLiteral("SELECT name FROM pragma_table_info('%1', 'src')").arg(t));
            while (q.next()) {
                const QString c = q.value(0).toString();
                guid |= c == QLatin1String("s_GUID");
                if (c != QLatin1String("s_Generation") && c != QLatin1String("s_Lineage"))
                    cols << '"' + c + '"';
            }
            if (!q.exec(QStringLiteral("CREATE TABLE main.\"%1\" AS SELECT %2 FROM src.\"%1\" ORDER BY %3")
                            .arg(t, cols.join(", "), guid ? QStringLiteral("s_GUID") : cols.join(", "))))
                qFatal("copy of %s failed", qPrintable(t));
        }
        q.exec(QStringLiteral("DETACH src"));
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return target;
}

// The records of KRV_SyncLog.txt without their quotes; the closing record of a run (a quote,
// two line ends, a quote) comes back as an empty text.
QStringList logRecords(const QByteArray& log)
{
    QStringList out;
    QStringList lines = QString::fromUtf8(log).split(QStringLiteral("\r\n"));
    if (lines.isEmpty() || !lines.takeLast().isEmpty())
        return {QStringLiteral("<no line end at the end>")};
    for (int i = 0; i < lines.size(); ++i) {
        const QString& line = lines[i];
        if (line == QLatin1String("\"") && i + 2 < lines.size() && lines[i + 1].isEmpty() &&
            lines[i + 2] == QLatin1String("\"")) {
            out << QString();
            i += 2;
        } else if (line.size() >= 2 && line.startsWith('"') && line.endsWith('"')) {
            out << line.mid(1, line.size() - 2);
        } else {
            return {QStringLiteral("<bad record: %1>").arg(line)};
        }
    }
    return out;
}

}  // namespace

class TstSyncFS : public QObject {
    Q_OBJECT

    QTemporaryDir m_registry;
    std::unique_ptr<Master> m_master;
    std::unique_ptr<ScriptedPrompt> m_prompt;
    QString m_stick;
    QString m_replica;

    void makeReplica()
    {
        auto* c = new frmCreateReplica;
        c->setDirPath(m_stick);
        c->txtFileName->setText(QStringLiteral("Field.db"));
        c->txtNumReps->setText(QStringLiteral("1"));
        c->cmdCreateRep_Click();
        QCOMPARE(c->lblStatus->text(), "Replica creation complete: Field.db in " + m_stick + ".");
        c->Unload();
        m_replica = m_stick + QStringLiteral("/Field.db");
    }

    // The program as started in an installation folder: its ini, its database.
    static void openInstallation(const QString& folder)
    {
        SetProgramFolder(folder);
        gConn.open(folder + "/krv.db");
        gDbPath = folder + "/krv.db";
    }

    frmSyncFS* screen(const QString& replica)
    {
        auto* w = new frmSyncFS;
        w->show();
        w->cmdSelectAll_Click();
        w->txtRepDB->setText(replica);
        return w;
    }

    QStringList gridLines(frmSyncFS* w)
    {
        QStringList out;
        for (int r = 0; r < w->msfReport->rowCount(); ++r)
            out << w->msfReport->item(r, 1)->text();
        return out;
    }

    void verifyIdle(frmSyncFS* w, const QString& status)
    {
        QVERIFY(!w->isRunning());
        QVERIFY(w->cmdSync->isEnabled());
        QCOMPARE(w->cmdClose->text(), QString("&Close"));
        QVERIFY(w->cmdClose->isEnabled());
        QCOMPARE(w->sbPanel1->text(), status);
    }

private slots:
    void initTestCase()
    {
        qputenv("VARNOCK_REGISTRY", m_registry.filePath("registry.db").toUtf8());
        RegisterFieldForms();
    }

    void init()
    {
        m_master = std::make_unique<Master>();
        m_prompt = std::make_unique<ScriptedPrompt>();
        m_stick = m_master->install.file("stick");
        QDir().mkpath(m_stick);
    }
    void cleanup()
    {
        m_prompt.reset();
        m_master.reset();
    }

    // The whole road: a replica goes to the field with the media, both sides change, and the
    // field synchronisation brings them together.
    void fieldWorkComesBack()
    {
        makeReplica();
        auto* w = screen(m_replica);
        w->cmdSync_Click();
        verifyIdle(w, kSucceeded);
        // The replica-side year folders did not exist yet: the user agreed to make them.
        QCOMPARE(m_prompt->calls.size(), 2);
        QCOMPARE(m_prompt->calls[0].title, QString("Folder does not exist"));
        QCOMPARE(tree(m_stick + "/North/2024"), tree(m_master->data + "/North/2024"));
        QVERIFY(tree(m_stick + "/South/2024").contains("photo/portal.jpg"));
        m_prompt->calls.clear();

        // In the field: a data-collector installation works on the replica and its folders.
        FieldComputer field(m_replica);
        field.activate();
        QVERIFY(IniIsDataCollector());
        QCOMPARE(QDir::cleanPath(GetPhotoFolder(m_master->north, m_master->northYear)),
                 QDir::cleanPath(m_stick + "/North/2024/photo"));
        DbSaveRating(m_master->northYear, m_master->northPanels[1], 2, "3");
        DbSaveRating(m_master->northYear, m_master->northPanels[0], 1, "5");
        const qint32 leak =
            DbAddDefectQuantity(m_master->northPanels[1], m_master->northYear, "Leak", 1, "ea", 20, 20);
        writeFile(GetPhotoFolder(m_master->north, m_master->northYear) + "leak.jpg", "leak");
        FixturePicture(m_master->northPanels[1], 2, m_master->northYear, "leak.jpg", false);

        // Meanwhile in the office.
        m_master->activate();
        DbSaveRating(m_master->northYear, m_master->northPanels[0], 2, "6");
        const qint32 rust =
            DbAddDefectQuantity(m_master->southPanels[0], m_master->southYear, "Rust", 3, "m", 10, 30);
        writeFile(GetPhotoFolder(m_master->south, m_master->southYear) + "rust.jpg", "rust");
        FixturePicture(m_master->southPanels[0], 1, m_master->southYear, "rust.jpg", false);
        QVERIFY(leak != rust);

        w->cmdSync_Click();
        verifyIdle(w, kSucceeded);
        QVERIFY(m_prompt->calls.isEmpty());

        // Both media trees agree.
        for (const char* year : {"/North/2024", "/South/2024"})
            QCOMPARE(tree(m_stick + year), tree(m_master->data + year));
        QVERIFY(tree(m_master->data + "/North/2024").contains("photo/leak.jpg"));
        QVERIFY(tree(m_stick + "/South/2024").contains("photo/rust.jpg"));

        // Both databases agree, and hold both sides' work.
        QCOMPARE(DbGetRating(m_master->northYear, m_master->northPanels[1], 2), QString("3"));
        QCOMPARE(DbGetRating(m_master->northYear, m_master->northPanels[0], 2), QString("6"));
        QCOMPARE(DbGetRating(m_master->northYear, m_master->northPanels[0], 1), QString("5"));
        QCOMPARE(Rows("SELECT Description FROM DefectQuantity ORDER BY Description"),
                 (QStringList{"Leak", "Rust", "Spalling"}));
        QCOMPARE(CountRows("ImagePaths"), 4);
        const QString sqldiff = QStandardPaths::findExecutable("sqldiff");
        if (sqldiff.isEmpty()) {
            qWarning("sqldiff not found (Debian package sqlite3-tools): the databases are not compared");
        } else {
            QProcess p;
            p.start(sqldiff, {comparableCopy(m_master->install.dbPath(), m_master->install.file("check-master.db")),
                              comparableCopy(m_replica, m_master->install.file("check-replica.db"))});
            QVERIFY(p.waitForFinished(60000));
            const QByteArray diff = p.readAllStandardOutput() + p.readAllStandardError();
            QVERIFY2(p.exitCode() == 0 && diff.trimmed().isEmpty(), diff.constData());
        }

        // The log: one block per run, each row dated and timed.
        const QStringList records = logRecords(m_master->install.read(kSyncLogName));
        const QRegularExpression row("^" + QRegularExpression::escape(ShortDateText(QDate::currentDate())) +
                                     " \\d\\d:\\d\\d:\\d\\d  [A-Z]+: .*$");
        QCOMPARE(records.count(QString()), 2);
        QVERIFY(records.last().isEmpty());
        for (const QString& r : records)
            QVERIFY2(r.isEmpty() || row.match(r).hasMatch(), qPrintable(r));
        const QStringList second = records.mid(records.indexOf(QString()) + 1);
        auto has = [&](const QString& line) {
            return std::any_of(second.begin(), second.end(), [&](const QString& r) { return r.endsWith(line); });
        };
        QVERIFY(has("  NEW: leak.jpg"));
        QVERIFY(has("  NEW: rust.jpg"));
        QCOMPARE(second.filter("SYS: SYNCHRONIZATION COMPLETED").size(), 4);
        QCOMPARE(second.filter(QRegularExpression("\\d  FROM: ")).size(), 4);
        QVERIFY(m_master->install.read(kSyncLogName).endsWith("\"\r\n\r\n\"\r\n"));
        // The synchronizer's log beside the program: one line per exchange, the second one completed.
        const QStringList exchanges =
            QString::fromUtf8(m_master->install.read(kReplicaLogName)).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(exchanges.size(), 2);
        QVERIFY2(exchanges[1].contains("Field.db") && exchanges[1].contains("completed"), qPrintable(exchanges[1]));
        // The grid is ready for the next run.
        QCOMPARE(w->msfReport->rowCount(), 0);
    }

    // A sync log with no room for the run's records (through the write seam), or one its owner
    // made read-only, keeps its old records whole; the run goes on, and the user learns which
    // file and why.
    void aFullDiskKeepsTheSyncLog_data()
    {
        QTest::addColumn<bool>("readOnly");
        QTest::addColumn<QString>("reason");
        QTest::newRow("a full disk") << false << "the disk is full";
        QTest::newRow("a read-only log") << true << kSyncLogName + " is read-only";
    }
    void aFullDiskKeepsTheSyncLog()
    {
        QFETCH(bool, readOnly);
        QFETCH(QString, reason);
        makeReplica();
        auto* w = screen(m_replica);
        w->cmdSync_Click();
        verifyIdle(w, kSucceeded);
        const QByteArray before = m_master->install.read(kSyncLogName);
        QVERIFY(!before.isEmpty());
        m_prompt->calls.clear();
        writeFile(m_master->data + "/North/2024/photo/new.jpg", "new");
        const QString log = m_master->install.file(kSyncLogName);
        if (readOnly) {
            QVERIFY(QFile::setPermissions(log, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
            w->cmdSync_Click();
        } else {
            WriteFault fault(kSyncLogName, 100);
            w->cmdSync_Click();
        }
        verifyIdle(w, kSucceeded);
        QCOMPARE(m_prompt->messages(),
                 QStringList{"Error writing to SyncLog\nThe file " + log + " could not be written: " + reason + "."});
        QCOMPARE(m_master->install.read(kSyncLogName), before);
        QVERIFY(tree(m_stick + "/North/2024").contains("photo/new.jpg"));
        QCOMPARE(QDir(m_master->install.folder()).entryList({kSyncLogName + "*"}, QDir::Files | QDir::Hidden),
                 QStringList{kSyncLogName});
    }

    // The office's own disk full (the database and both logs beside the program on it): the run
    // ends in one message that names the office file's disk, not one per file that could not be
    // written; the office file and the logs' old records stay whole.
    void aFullOfficeDiskIsOneMessage()
    {
        makeReplica();
        DbSaveRating(m_master->northYear, m_master->northPanels[1], 2, "4");
        SmallDisk office(QFileInfo(gDbPath).size() + 256 * 1024);
        if (!office.isMounted())
            QSKIP(qPrintable(office.why()));
        const QString db = office.file("krv.db");
        gConn.close();
        QVERIFY(QFile::copy(m_master->install.dbPath(), db));
        QVERIFY(QFile::copy(m_master->install.file("krv.ini"), office.file("krv.ini")));
        const QByteArray syncLog = "\"old sync record\"\r\n\"\r\n\r\n\"\r\n";
        const QByteArray replicaLog = "2026-01-01 10:00:00  an older exchange\n";
        WriteFileBytes(office.file(kSyncLogName), syncLog);
        WriteFileBytes(office.file(kReplicaLogName), replicaLog);
        openInstallation(office.path());
        QVERIFY(office.fill(0));
        const QByteArray before = ReadFileBytes(db);

        auto* w = screen(m_replica);
        w->cmdSync_Click();
        verifyIdle(w, kFailed);
        // Besides the questions to make the year folders on the stick.
        QList<PromptCall> told;
        for (const PromptCall& c : m_prompt->calls)
            if (c.title != "Folder does not exist")
                told << c;
        QCOMPARE(told.size(), 1);
        QCOMPARE(told[0].text, kFailed + "\nThe disk that holds " + db + " is full.");
        QCOMPARE(told[0].icon, MsgIcon::Critical);
        w->Unload();
        gConn.close();
        QCOMPARE(ReadFileBytes(db), before);
        QCOMPARE(ReadFileBytes(office.file(kSyncLogName)), syncLog);
        // The replica log's line fits in its last block, or it is taken back: its old lines stay whole.
        QVERIFY(ReadFileBytes(office.file(kReplicaLogName)).startsWith(replicaLog));
        QCOMPARE(QDir(office.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name),
                 (QStringList{kReplicaLogName, kSyncLogName, "filler", "krv.db", "krv.ini"}));
        m_master->activate();
    }

    // The logs on a disk of their own that is full, while the exchange fails for another cause
    // (a write-protected stick): one message, the exchange's reason and the logs' own.
    void aFullLogDiskBesideAnotherFailureJoinsItsMessage()
    {
        makeReplica();
        DbSaveRating(m_master->northYear, m_master->northPanels[1], 2, "4");
        SmallDisk logs(256 * 1024);
        if (!logs.isMounted())
            QSKIP(qPrintable(logs.why()));
        QVERIFY(QFile::copy(m_master->install.file("krv.ini"), logs.file("krv.ini")));
        const QByteArray syncLog = "\"old sync record\"\r\n\"\r\n\r\n\"\r\n";
        WriteFileBytes(logs.file(kSyncLogName), syncLog);
        SetProgramFolder(logs.path());
        QVERIFY(logs.fill(0));
        const QByteArray stick = QFile::encodeName(m_stick);
        if (::mount(stick.constData(), stick.constData(), nullptr, MS_BIND, nullptr) != 0)
            QSKIP("a read-only folder cannot be mounted here (needs root)");
        struct Unmount {
            QByteArray path;
            ~Unmount() { ::umount2(path.constData(), MNT_DETACH); }
        } unmount{stick};
        QVERIFY(::mount(nullptr, stick.constData(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) == 0);

        auto* w = screen(m_replica);
        for (QCheckBox* tunnel : w->chkSyncTunnel)
            tunnel->setChecked(false);
        w->cmdSync_Click();
        verifyIdle(w, kFailed);
        // The logs' disk is told once, by the first of its files that could not be written.
        QCOMPARE(m_prompt->messages(),
                 QStringList{kFailed + "\nThe file " + m_replica + " is read-only.\nThe file " + logs.file(kSyncLogName) +
                             " could not be written: the disk is full."});
        QCOMPARE(ReadFileBytes(logs.file(kSyncLogName)), syncLog);
        w->Unload();
        SetProgramFolder(m_master->install.folder());
    }

    // Clicks while a run lets events through start nothing, and the window stays; the run
    // ends idle only after its exchange.
    void aRunIsOnePiece()
    {
        makeReplica();
        DbSaveRating(m_master->southYear, m_master->southPanels[1], 1, "2");
        auto* w = screen(m_replica);
        bool sawPasses = false, sawExchange = false, closeLiveInExchange = false, idleInside = false;
        // While the exchange holds the write lock no other window of the program takes input.
        bool modalInExchange = true, modalInPasses = false;
        int exchangeWindows = 0;
        int tries = 0;
        QTimer spy;
        spy.setInterval(0);
        connect(&spy, &QTimer::timeout, w, [&] {
            if (!w->isRunning())
                return;
            const bool exchanging = IsFormLoaded("frmSyncData");
            sawPasses |= !exchanging;
            sawExchange |= exchanging;
            closeLiveInExchange |= exchanging && w->cmdClose->isEnabled();
            QWidget* modal = QApplication::activeModalWidget();
            if (exchanging)
                modalInExchange &= modal && modal->objectName() == "frmSyncData" &&
                                   modal->windowModality() == Qt::ApplicationModal;
            else
                modalInPasses |= modal != nullptr;
            idleInside |= w->cmdSync->isEnabled() || w->cmdClose->text() == "&Close";
            int n = 0;
            for (QWidget* f : LoadedForms())
                n += f->objectName() == "frmSyncData";
            exchangeWindows = std::max(exchangeWindows, n);
            // A couple of tries are enough (and keep a broken guard from recursing for ever).
            if (!exchanging && tries < 2) {
                ++tries;
                w->cmdSync_Click();
            }
            QTest::mouseClick(w->cmdSync, Qt::LeftButton);
            QVERIFY(!w->Unload());
        });
        spy.start();
        w->cmdSync_Click();
        spy.stop();
        verifyIdle(w, kSucceeded);
        QVERIFY(sawPasses && sawExchange);
        QVERIFY(!closeLiveInExchange && !idleInside);
        QVERIFY(modalInExchange && !modalInPasses);
        QCOMPARE(QApplication::activeModalWidget(), nullptr);
        QCOMPARE(exchangeWindows, 1);
        QVERIFY(!IsFormLoaded("frmSyncData"));
        const QStringList records = logRecords(m_master->install.read(kSyncLogName));
        QCOMPARE(records.count(QString()), 1);
        QCOMPARE(records.filter("SYS: SYNCHRONIZATION COMPLETED").size(), 4);
        QCOMPARE(records.filter("Attempt to use object while busy").size(), 0);
        QCOMPARE(QString::fromUtf8(m_master->install.read(kReplicaLogName)).count('\n'), 1);
        QVERIFY(w->Unload());
    }

    // Stop Sync ends the pass in progress, starts no other and skips the exchange.
    void stopSyncEndsTheRun()
    {
        makeReplica();
        DbSaveRating(m_master->southYear, m_master->southPanels[1], 1, "2");
        writeFile(m_master->data + "/North/2024/photo/wall.jpg", "wall");
        auto* w = screen(m_replica);
        bool stopLive = false;
        connect(w->fsync, &FolderSync::Action, w, [&](const QString&, const QString& message) {
            if (message == "crack.jpg" && w->cmdClose->text() == "Stop Sync") {
                QTest::mouseClick(w->cmdClose, Qt::LeftButton);
                stopLive = w->isRunning() && !w->cmdSync->isEnabled();
            }
        });
        w->cmdSync_Click();
        QVERIFY(stopLive);
        verifyIdle(w, "Ready");
        const QStringList records = logRecords(m_master->install.read(kSyncLogName));
        QCOMPARE(records.filter(QRegularExpression("\\d  FROM: ")).size(), 1);
        QVERIFY(records.at(records.size() - 2).endsWith(kCancelled));
        QVERIFY(records.filter("NEW: wall.jpg").isEmpty());
        QVERIFY(!QFileInfo::exists(m_stick + "/South"));
        // No exchange: the office's rating is not in the replica.
        FieldComputer field(m_replica);
        field.activate();
        QCOMPARE(DbGetRating(m_master->southYear, m_master->southPanels[1], 1), QString());
        m_master->activate();
        QVERIFY(w->Unload());
    }

    // An error ends the run and leaves the screen idle, ready for another run.
    void anErrorReturnsToIdle()
    {
        makeReplica();
        QVERIFY(QDir(m_master->data + "/South/2024").removeRecursively());
        auto* w = screen(m_replica);
        w->cmdSync_Click();
        QCOMPARE(m_prompt->messages().last(), QString("Error performing the synchronization."));
        QVERIFY(m_master->install.read("err.log").contains("frmSyncFS-Error performing the synchronization."));
        verifyIdle(w, "Ready");
        QVERIFY(m_master->install.read(kSyncLogName).isEmpty());

        QDir().mkpath(m_master->data + "/South/2024");
        m_prompt->calls.clear();
        w->cmdSync_Click();
        verifyIdle(w, kSucceeded);
        QVERIFY(w->Unload());
    }

    void theMasterIsNotItsOwnReplica()
    {
        makeReplica();
        auto* w = screen(m_master->install.dbPath());
        w->cmdSync_Click();
        QCOMPARE(m_prompt->messages(), QStringList{"The selected database file is the master database itself.\n"
                                                   "Data synchronization was not performed."});
        verifyIdle(w, kFailed);
        QCOMPARE(w->msfReport->rowCount(), 0);
        QVERIFY(!QFileInfo::exists(m_master->install.file("North")));
        QVERIFY(w->Unload());
    }

    // A replica of another set (a second installation with the same tunnel names) is refused
    // before any folder pass: no photo of the office is replaced and none is added.
    void aReplicaOfAnotherSetChangesNothing()
    {
        makeReplica();
        const QString other = m_master->install.file("other.db");
        QVERIFY(CreateTunnelDatabase(other));
        const QString stranger = m_stick + "/Other.db";
        {
            Varnock::Synchronizer s;
            s.setDatabaseName(other);
            s.setRunning(true);
            s.MakeReplica(stranger);
            s.setRunning(false);
        }
        writeFile(m_stick + "/North/2024/photo/crack.jpg", "another crack", kPhotoTime.addDays(30));
        writeFile(m_stick + "/North/2024/photo/extra.jpg", "extra", kPhotoTime.addDays(30));
        const auto office = tree(m_master->data), stick = tree(m_stick + "/North");
        auto* w = screen(stranger);
        w->cmdSync_Click();
        QCOMPARE(m_prompt->messages(), QStringList{kNotMemberOfSet});
        QCOMPARE(m_prompt->calls[0].icon, MsgIcon::Warning);
        verifyIdle(w, kFailed);
        QCOMPARE(w->msfReport->rowCount(), 0);
        QCOMPARE(tree(m_master->data), office);
        QCOMPARE(tree(m_stick + "/North"), stick);
        QVERIFY(m_master->install.read(kSyncLogName).isEmpty());
        QVERIFY(w->Unload());
    }

    // A tunnel or year folder on the stick that is a link to another place is not followed:
    // nothing comes from there and nothing goes there. The other tunnel still goes both ways.
    void aLinkOnTheStickIsNotFollowed_data()
    {
        QTest::addColumn<QString>("link");
        QTest::addColumn<QString>("target");
        QTest::newRow("tunnel folder") << "/North" << "/elsewhere";
        QTest::newRow("year folder") << "/North/2024" << "/elsewhere/2024";
    }
    void aLinkOnTheStickIsNotFollowed()
    {
        QFETCH(QString, link);
        QFETCH(QString, target);
        makeReplica();
        const QString elsewhere = m_master->install.file("elsewhere");
        writeFile(elsewhere + "/2024/photo/planted.jpg", "planted");
        writeFile(elsewhere + "/2024/photo/crack.jpg", "not the crack", kPhotoTime.addDays(30));
        QDir().mkpath(QFileInfo(m_stick + link).path());
        QVERIFY(QFile::link(m_master->install.file(target.mid(1)), m_stick + link));
        writeFile(m_stick + "/South/2024/photo/field.jpg", "field");
        const auto office = tree(m_master->data + "/North"), outside = tree(elsewhere);
        auto* w = screen(m_replica);
        w->cmdSync_Click();
        QCOMPARE(m_prompt->calls.size(), 1);
        QVERIFY(m_prompt->calls[0].text.contains("is a link to another place"));
        verifyIdle(w, kSucceeded);
        QCOMPARE(logRecords(m_master->install.read(kSyncLogName)).filter(QRegularExpression("LINK: .*" + link + "$")).size(),
                 1);
        QCOMPARE(tree(m_master->data + "/North"), office);
        QCOMPARE(tree(elsewhere), outside);
        QVERIFY(tree(m_master->data + "/South/2024").contains("photo/field.jpg"));
        QVERIFY(w->Unload());
    }

    // Without a replica of this set nothing is copied either way: no foreign photo comes in, no
    // office photo is replaced, and the message comes first.
    void noFileIsCopiedWithoutAReplicaOfTheSet_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("status");
        const QString notFound = "The selected database file can not be found on the system.\n"
                                 "Data synchronization can not be performed.";
        QTest::newRow("a typo") << "/gone.db" << notFound << "Ready";
        QTest::newRow("a folder") << "/North" << notFound << "Ready";
        QTest::newRow("no path") << "" << "No inspection replica database is selected.\n"
                                          "Data synchronization can not be performed." << "Ready";
        // A file that cannot be read whole as a database is damaged, never foreign: a stick that
        // holds field work is not thrown away for it.
        const QString damaged = "The replica file %1 is damaged (cut short or not a database); nothing was exchanged.";
        QTest::newRow("a text file") << "/notes.db" << damaged << kFailed;
        QTest::newRow("a replica cut short") << "/Cut.db" << damaged << kFailed;
        QTest::newRow("a tunnel database that is no replica") << "/plain.db" << kNotMemberOfSet << kFailed;
        QTest::newRow("a replica another program holds")
            << "/Field.db" << "The selected database file is in use by another program.\n"
                              "Data synchronization was not performed." << kFailed;
    }
    void noFileIsCopiedWithoutAReplicaOfTheSet()
    {
        QFETCH(QString, path);
        QFETCH(QString, message);
        QFETCH(QString, status);
        writeFile(m_stick + "/North/2024/photo/crack.jpg", "another crack", kPhotoTime.addDays(30));
        writeFile(m_stick + "/North/2024/photo/extra.jpg", "extra", kPhotoTime.addDays(30));
        writeFile(m_stick + "/notes.db", "Minutes of the meeting\n");
        QVERIFY(CreateTunnelDatabase(m_stick + "/plain.db"));
        std::unique_ptr<Connection> locker;
        if (path == "/Field.db") {
            makeReplica();
            locker = std::make_unique<Connection>("tst-locker");
            locker->open(m_replica);
            locker->exec("BEGIN EXCLUSIVE");
        } else if (path == "/Cut.db") {
            // Pulled out half way through its copy onto the stick.
            makeReplica();
            QVERIFY(QFile::rename(m_replica, m_stick + path));
            QFile cut(m_stick + path);
            QVERIFY(cut.resize(cut.size() / 2));
        }
        if (message.contains("%1"))
            message = message.arg(m_stick + path);
        const QByteArray replicaLog = m_master->install.read(kReplicaLogName);
        const auto office = tree(m_master->data), stick = tree(m_stick);
        auto* w = screen(path.isEmpty() ? QString() : m_stick + path);
        w->cmdSync_Click();
        QCOMPARE(m_prompt->messages(), QStringList{message});
        QCOMPARE(m_prompt->calls[0].icon, MsgIcon::Warning);
        verifyIdle(w, status);
        QCOMPARE(w->msfReport->rowCount(), 0);
        QCOMPARE(tree(m_master->data), office);
        QCOMPARE(tree(m_stick), stick);
        QVERIFY(!QFileInfo::exists("North"));  // nothing beside the working folder either
        QVERIFY(m_master->install.read(kSyncLogName).isEmpty());
        QCOMPARE(m_master->install.read(kReplicaLogName), replicaLog);
        QVERIFY(w->Unload());
    }

    // A rating changed on both sides is settled by the master's priority, and the status says how
    // many were; the next exchange, which settles none, says none.
    void conflictsAreTold_data()
    {
        QTest::addColumn<int>("both");  // ratings changed on both sides
        QTest::addColumn<QString>("status");
        QTest::newRow("different ratings") << 0 << kSucceeded;
        QTest::newRow("one rating") << 1 << "Inspection Replica synchronization succeeded with 1 conflict.";
        QTest::newRow("three ratings") << 3 << "Inspection Replica synchronization succeeded with 3 conflicts.";
    }
    void conflictsAreTold()
    {
        QFETCH(int, both);
        QFETCH(QString, status);
        makeReplica();
        struct Key {
            qint32 panel, element;
        };
        const QVector<Key> keys{{m_master->northPanels[0], 1}, {m_master->northPanels[0], 2},
                                {m_master->northPanels[1], 1}, {m_master->northPanels[1], 2}};
        // The field changes the first ratings; the office the same ones, or with none in common the last.
        const QVector<int> fieldRows = both > 0 ? QVector<int>{0, 1, 2}.mid(0, both) : QVector<int>{0};
        const QVector<int> officeRows = both > 0 ? fieldRows : QVector<int>{3};
        FieldComputer field(m_replica);
        field.activate();
        for (int i : fieldRows)
            DbSaveRating(m_master->northYear, keys[i].panel, keys[i].element, "3");
        m_master->activate();
        for (int i : officeRows)
            DbSaveRating(m_master->northYear, keys[i].panel, keys[i].element, "4");

        auto* w = screen(m_replica);
        w->cmdSync_Click();
        verifyIdle(w, status);
        for (int i = 0; i < both; ++i)
            QCOMPARE(DbGetRating(m_master->northYear, keys[i].panel, keys[i].element), QString("4"));
        if (both == 0) {
            QCOMPARE(DbGetRating(m_master->northYear, keys[0].panel, keys[0].element), QString("3"));
            QCOMPARE(DbGetRating(m_master->northYear, keys[3].panel, keys[3].element), QString("4"));
        }
        w->cmdSync_Click();
        verifyIdle(w, kSucceeded);
        QVERIFY(w->Unload());
    }

    // A link anywhere below a year folder, on the stick or in the office, a folder or a file, is
    // skipped with its line in the grid and the log; the rest of both passes and the exchange go on.
    void aLinkBelowTheYearFolderIsSkipped_data()
    {
        QTest::addColumn<bool>("onStick");
        QTest::addColumn<QString>("link");  // below the tunnel's folder
        QTest::addColumn<bool>("folder");
        QTest::addColumn<int>("lines");  // one for each pass that meets it
        QTest::newRow("year's photo folder on the stick") << true << "/2024/photo" << true << 2;
        QTest::newRow("folder deeper on the stick") << true << "/2024/photo/old" << true << 2;
        QTest::newRow("file on the stick") << true << "/2024/photo/planted.jpg" << false << 1;
        QTest::newRow("folder in the office") << false << "/2024/sketch" << true << 2;
        QTest::newRow("file in the office") << false << "/2024/photo/linked.jpg" << false << 1;
    }
    void aLinkBelowTheYearFolderIsSkipped()
    {
        QFETCH(bool, onStick);
        QFETCH(QString, link);
        QFETCH(bool, folder);
        QFETCH(int, lines);
        makeReplica();
        writeFile(m_master->data + "/North/2024/photo/old/old.jpg", "old");
        auto* w = screen(m_replica);
        w->cmdSync_Click();  // lays the year folders out on the stick
        verifyIdle(w, kSucceeded);
        m_prompt->calls.clear();

        const QString elsewhere = m_master->install.file("elsewhere");
        writeFile(elsewhere + "/planted.jpg", "planted");
        writeFile(elsewhere + "/crack.jpg", "not the crack", kPhotoTime.addDays(30));
        const QString at = (onStick ? m_stick : m_master->data) + "/North" + link;
        if (folder)
            QVERIFY(QDir(at).removeRecursively());
        QVERIFY(QFile::link(folder ? elsewhere : elsewhere + "/planted.jpg", at));
        // Work on both sides that must still travel.
        writeFile(m_stick + "/North/2024/video/field.avi", "field", kPhotoTime.addDays(1));
        writeFile(m_master->data + "/North/2024/video/office.avi", "office", kPhotoTime.addDays(1));
        FieldComputer field(m_replica);
        field.activate();
        DbSaveRating(m_master->northYear, m_master->northPanels[1], 2, "2");
        m_master->activate();
        const auto outside = tree(elsewhere);
        // The stick's media, without the replica, which the exchange changes.
        auto media = [&] {
            auto files = tree(m_stick);
            files.remove("Field.db");
            return files;
        };
        auto office = tree(m_master->data), stick = media();

        w->cmdSync_Click();
        QCOMPARE(m_prompt->messages(), QStringList());
        verifyIdle(w, kSucceeded);
        QCOMPARE(DbGetRating(m_master->northYear, m_master->northPanels[1], 2), QString("2"));
        QCOMPARE(tree(elsewhere), outside);
        office.insert("North/2024/video/field.avi", stick.value("North/2024/video/field.avi"));
        stick.insert("North/2024/video/office.avi", office.value("North/2024/video/office.avi"));
        QCOMPARE(tree(m_master->data), office);
        QCOMPARE(media(), stick);
        QVERIFY(office.value("North/2024/video/field.avi").startsWith("5 "));
        QVERIFY(stick.value("North/2024/video/office.avi").startsWith("6 "));
        const QStringList records = logRecords(m_master->install.read(kSyncLogName));
        const QStringList linkLines = records.filter(QRegularExpression("LINK: "));
        QCOMPARE(linkLines.size(), lines);
        for (const QString& line : linkLines)
            QVERIFY2(line.endsWith("/North" + link), qPrintable(line));
        QCOMPARE(records.filter("SYS: SYNCHRONIZATION COMPLETED").size(), 4 + 4);
        QVERIFY(w->Unload());
    }

    // A replica the field computer left with an unfinished write (a flat battery) is recovered
    // when it is looked at: it is a member of the set, and its committed work comes back while the
    // unfinished write does not.
    void aReplicaLeftByACrashIsAMemberAndExchanges()
    {
        makeReplica();
        FieldComputer field(m_replica);
        field.activate();
        DbSaveRating(m_master->northYear, m_master->northPanels[1], 1, "2");
        gConn.close();
        QString why;
        QVERIFY2(LeaveInterruptedWrite(m_replica,
                                       {"UPDATE Ratings SET Rating = '9'", "DELETE FROM DefectQuantity"}, &why),
                 qPrintable(why));
        QVERIFY(QFileInfo::exists(m_replica + "-journal"));
        m_master->activate();

        auto* w = screen(m_replica);
        w->cmdSync_Click();
        // Only the questions to make the year folders on the stick.
        for (const PromptCall& c : m_prompt->calls)
            QVERIFY2(c.title == "Folder does not exist", qPrintable(c.text));
        verifyIdle(w, kSucceeded);
        QVERIFY(!QFileInfo::exists(m_replica + "-journal"));
        QCOMPARE(DbGetRating(m_master->northYear, m_master->northPanels[1], 1), QString("2"));
        QCOMPARE(DbGetRating(m_master->northYear, m_master->northPanels[0], 1), QString("7"));
        QCOMPARE(CountRows("DefectQuantity"), 1);
        QVERIFY(w->Unload());
    }

    // The same replica on a write-protected stick cannot be put back: the message says why, and
    // nothing is copied or exchanged.
    void aReplicaLeftByACrashOnAWriteProtectedStick()
    {
        makeReplica();
        gConn.close();
        QString why;
        QVERIFY2(LeaveInterruptedWrite(m_replica, {"DELETE FROM Ratings"}, &why), qPrintable(why));
        m_master->activate();
        const QByteArray stickPath = QFile::encodeName(m_stick);
        if (::mount(stickPath.constData(), stickPath.constData(), nullptr, MS_BIND, nullptr) != 0)
            QSKIP("a read-only folder cannot be mounted here (needs root)");
        struct Unmount {
            QByteArray path;
            ~Unmount() { ::umount2(path.constData(), MNT_DETACH); }
        } unmount{stickPath};
        QVERIFY(::mount(nullptr, stickPath.constData(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) == 0);
        const auto office = tree(m_master->data), stick = tree(m_stick);

        auto* w = screen(m_replica);
        w->cmdSync_Click();
        QCOMPARE(m_prompt->messages().size(), 1);
        QVERIFY2(m_prompt->messages()[0].startsWith("The selected database file can not be used.") &&
                     m_prompt->messages()[0].contains("read-only"),
                 qPrintable(m_prompt->messages()[0]));
        verifyIdle(w, kFailed);
        QCOMPARE(tree(m_master->data), office);
        QCOMPARE(tree(m_stick), stick);
        QVERIFY(QFileInfo::exists(m_replica + "-journal"));
        QVERIFY(w->Unload());
    }

    // A whole replica on a write-protected stick: neither its folders nor its exchange can be
    // written, and the failure says why, not only the error log.
    void aWriteProtectedStickIsNamed_data()
    {
        QTest::addColumn<bool>("folders");  // the tunnels' folders checked, or the exchange alone
        QTest::newRow("folders") << true;
        QTest::newRow("exchange") << false;
    }
    void aWriteProtectedStickIsNamed()
    {
        QFETCH(bool, folders);
        makeReplica();
        DbSaveRating(m_master->northYear, m_master->northPanels[0], 1, "4");
        const QByteArray stickPath = QFile::encodeName(m_stick);
        if (::mount(stickPath.constData(), stickPath.constData(), nullptr, MS_BIND, nullptr) != 0)
            QSKIP("a read-only folder cannot be mounted here (needs root)");
        struct Unmount {
            QByteArray path;
            ~Unmount() { ::umount2(path.constData(), MNT_DETACH); }
        } unmount{stickPath};
        QVERIFY(::mount(nullptr, stickPath.constData(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) == 0);
        auto* w = screen(m_replica);
        if (!folders)
            for (QCheckBox* tunnel : w->chkSyncTunnel)
                tunnel->setChecked(false);
        w->cmdSync_Click();
        if (folders) {
            verifyIdle(w, "Ready");
            QCOMPARE(m_prompt->messages().last(), "Error performing the synchronization.\nThe disk holding " + m_stick
                                                      + "/North/ is read-only.");
        } else {
            verifyIdle(w, kFailed);
            QCOMPARE(m_prompt->messages(),
                     QStringList{"Inspection Replica synchronization failed.\nThe file " + m_replica + " is read-only."});
        }
        QVERIFY(w->Unload());
    }

    void rowsYearsAndBrowsing()
    {
        FixturePeriod(m_master->north, 2019);
        auto* w = new frmSyncFS;
        QCOMPARE(w->chkSyncTunnel.size(), 2);
        QCOMPARE(w->lblSyncTunnel[1]->text(), QString("South"));
        QCOMPARE(w->cboInspPD[0]->count(), 2);
        QCOMPARE(w->cboInspPD[0]->currentText(), QString("2019"));
        QVERIFY(!w->cboInspPD[0]->isEnabled());
        QVERIFY(w->VScroll1->isHidden());
        emit w->lblSyncTunnel[0]->clicked();
        QVERIFY(w->chkSyncTunnel[0]->isChecked() && w->cboInspPD[0]->isEnabled());
        w->cmdSelectNone_Click();
        QVERIFY(!w->chkSyncTunnel[0]->isChecked() && !w->cboInspPD[0]->isEnabled());

        m_prompt->answerText(m_stick + "/Field.mdb");
        w->cmdBrowse_Click();
        QCOMPARE(m_prompt->calls.last().title, QString("Invalid File"));
        QCOMPARE(m_prompt->calls.last().icon, MsgIcon::Warning);
        QCOMPARE(w->txtRepDB->text(), QString());
        m_prompt->answerText(m_stick + "/Field.db");
        w->cmdBrowse_Click();
        QCOMPARE(w->txtRepDB->text(), m_stick + "/Field.db");
        QCOMPARE(m_prompt->calls.last().filter, QString("Tunnel Database Files (*.db)"));
        m_prompt->answerCancel();
        w->cmdBrowse_Click();
        QCOMPARE(w->txtRepDB->text(), m_stick + "/Field.db");
        w->Unload();

        // Many tunnels overflow the viewport: the bar moves the rows.
        for (int i = 0; i < 12; ++i)
            FixtureTunnel(QStringLiteral("Spur %1").arg(i));
        w = new frmSyncFS;
        QVERIFY(!w->VScroll1->isHidden());
        const int max = TwipsToPixels(13 * 350 + 300) - w->picContainer->height();
        QCOMPARE(w->VScroll1->maximum(), max);
        QCOMPARE(w->VScroll1->pageStep(), max / 5);
        w->VScroll1->setValue(20);
        QCOMPARE(w->picSync->y(), -20);
        w->Unload();

        gConn.exec("DELETE FROM InspectionPeriod");
        gConn.exec("DELETE FROM Tunnels");
        w = new frmSyncFS;
        QVERIFY(w->chkSyncTunnel.isEmpty());
        QVERIFY(!w->cmdSelectAll->isEnabled() && !w->cmdSelectNone->isEnabled());
        w->Unload();
    }

    // The set-up window's Replication commands open the windows once they are registered.
    void theSetUpWindowOpensThem()
    {
        auto* s = new frmSystem;
        s->show();
        QVERIFY(s->mnuCreateRep->isEnabled() && s->mnuSyncFS->isEnabled());
        s->mnuSyncFS->trigger();
        s->mnuSyncFS->trigger();
        int screens = 0;
        for (QWidget* f : LoadedForms())
            screens += f->objectName() == "frmSyncFS" && f->isVisible();
        QCOMPARE(screens, 1);
        // The replica is made while the set-up window is open on the master.
        bool modal = false;
        QString status;
        QTimer::singleShot(0, [&] {
            for (QWidget* f : LoadedForms())
                if (auto* c = qobject_cast<frmCreateReplica*>(f)) {
                    modal = c->isModal() && c->isVisible();
                    c->setDirPath(m_stick);
                    c->txtFileName->setText("Office.db");
                    QTest::mouseClick(c->cmdCreateRep, Qt::LeftButton);
                    status = c->lblStatus->text();
                    QTest::mouseClick(c->cmdCancel, Qt::LeftButton);
                }
        });
        s->mnuCreateRep->trigger();
        QVERIFY(modal);
        QCOMPARE(status, "Replica creation complete: Office.db in " + m_stick + ".");
        QVERIFY(!GetReplicaId(m_stick + "/Office.db").isEmpty());
        QVERIFY(!IsFormLoaded("frmCreateReplica"));
    }

    // The README's road on the demo installation, as a new user follows it: a replica under the
    // proposed name, the media and the pictures taken out, a rating changed and a photo attached
    // in the field with the program's own windows, another rating changed in the office, and all
    // brought back: the two databases hold the same user data and the media trees are equal.
    void theDemoGoesToTheFieldAndBack()
    {
        const QString demo = m_master->install.file("demo");
        QString error;
        QVERIFY2(MakeDemoInstallation(demo, &error), qPrintable(error));
        auto office = [&] { openInstallation(demo); };
        office();
        // Step 2: Create Inspection Replica with the proposed name.
        auto* c = new frmCreateReplica;
        c->setDirPath(m_stick);
        c->cmdCreateRep_Click();
        QCOMPARE(c->lblStatus->text(),
                 "Replica creation complete: " + c->txtFileName->text() + " in " + m_stick + ".");
        m_replica = m_stick + "/" + c->txtFileName->text();
        c->Unload();
        QVERIFY(QFileInfo(m_replica).isFile());
        QVERIFY(!QFileInfo(m_replica).fileName().contains(' '));

        // Step 3: the year folders go out, then the pictures, with the README's command.
        auto* w = screen(m_replica);
        for (QComboBox* years : w->cboInspPD)
            years->setCurrentIndex(years->findText("2026"));
        w->cmdSync_Click();
        verifyIdle(w, kSucceeded);
        const RowSet tunnels = gConn.query("SELECT TunnelID, TunnelName FROM Tunnels");
        QCOMPARE(w->chkSyncTunnel.size(), tunnels.count());
        for (int r = 0; r < tunnels.count(); ++r) {
            const QString year = "/" + tunnels.value(r, "TunnelName").toString() + "/2026";
            QCOMPARE(tree(m_stick + year), tree(IniGetSystemPath() + year));
        }
        QProcess cp;
        cp.setWorkingDirectory(IniGetSystemPath());
        cp.start("bash", {"-c", "cp --parents SystemMap.png */*.png \"$0\"/", m_stick});
        QVERIFY(cp.waitForFinished(30000));
        QVERIFY2(cp.exitCode() == 0, cp.readAllStandardError().constData());
        // The replica's log tells of that first exchange.
        QVERIFY(QString::fromUtf8(m_master->install.read("demo/" + kReplicaLogName)).contains("completed"));

        const RowSet rated = gConn.query("SELECT r.InspectionID, r.PanelID, r.ElementID, p.TunnelID FROM Ratings r "
                                         "JOIN InspectionPeriod i ON i.InspectionID = r.InspectionID "
                                         "JOIN Panels p ON p.PanelID = r.PanelID "
                                         "WHERE i.InspectionYear = 2026 ORDER BY r.rowid LIMIT 2");
        QCOMPARE(rated.count(), 2);
        auto key = [&](int row, const char* column) { return rated.toInt(row, column); };
        auto other = [](const QString& v) { return v == "0" ? QString("9") : QString("0"); };
        const QString fieldBefore = DbGetRating(key(0, "InspectionID"), key(0, "PanelID"), key(0, "ElementID"));
        const QString officeBefore = DbGetRating(key(1, "InspectionID"), key(1, "PanelID"), key(1, "ElementID"));

        // Step 4: the field installation finds its map and pictures, and works on the replica.
        FieldComputer field(m_replica);
        field.activate();
        const RowSet system = DbGetSystem();
        QVERIFY(QFileInfo(IniGetSystemPath() + system.value(0, "SystemPicture").toString()).isFile());
        for (int r = 0; r < tunnels.count(); ++r) {
            const qint32 id = tunnels.toInt(r, "TunnelID");
            QVERIFY(QFileInfo(GetTunnelFolder(id) + DbGetTunnelPicture(id)).isFile());
        }
        DbSaveRating(key(0, "InspectionID"), key(0, "PanelID"), key(0, "ElementID"), other(fieldBefore));
        const QString shot = m_master->install.file("camera/field_shot.jpg");
        {
            QImage photo(32, 24, QImage::Format_RGB32);
            photo.fill(Qt::darkGreen);
            QVERIFY(QDir().mkpath(QFileInfo(shot).path()));
            QVERIFY(photo.save(shot, "JPG"));
            QFile f(shot);
            QVERIFY(f.open(QIODevice::ReadWrite));
            f.setFileTime(QDateTime::currentDateTime().addSecs(-60), QFileDevice::FileModificationTime);
        }
        auto* img = new frmImgInput;
        img->Load(key(0, "TunnelID"), key(0, "PanelID"), key(0, "ElementID"), key(0, "InspectionID"), false);
        m_prompt->calls.clear();
        m_prompt->answerText(shot);
        m_prompt->answer(MsgAnswer::Yes);
        img->cmdCopy->click();
        QCOMPARE(m_prompt->messages().last(), QString("The photo has been stored."));
        img->Unload();
        const QString fieldPhoto = GetPhotoFolder(key(0, "TunnelID"), key(0, "InspectionID")) + "field_shot.jpg";
        QVERIFY(QFileInfo(fieldPhoto).isFile());

        // Meanwhile the office changes another rating.
        office();
        DbSaveRating(key(1, "InspectionID"), key(1, "PanelID"), key(1, "ElementID"), other(officeBefore));

        // Step 5: brought back.
        m_prompt->calls.clear();
        w->cmdSync_Click();
        verifyIdle(w, kSucceeded);
        QVERIFY(m_prompt->calls.isEmpty());
        QCOMPARE(DbGetRating(key(0, "InspectionID"), key(0, "PanelID"), key(0, "ElementID")), other(fieldBefore));
        QCOMPARE(DbGetRating(key(1, "InspectionID"), key(1, "PanelID"), key(1, "ElementID")), other(officeBefore));
        QVERIFY(QFileInfo(GetPhotoFolder(key(0, "TunnelID"), key(0, "InspectionID")) + "field_shot.jpg").isFile());
        for (int r = 0; r < tunnels.count(); ++r) {
            const QString year = "/" + tunnels.value(r, "TunnelName").toString() + "/2026";
            QCOMPARE(tree(m_stick + year), tree(IniGetSystemPath() + year));
        }
        const QString sqldiff = QStandardPaths::findExecutable("sqldiff");
        QVERIFY2(!sqldiff.isEmpty(), "sqldiff (Debian package sqlite3-tools, installed by scripts/setup.sh) is missing");
        QProcess p;
        p.start(sqldiff, {comparableCopy(demo + "/krv.db", m_master->install.file("check-master.db")),
                          comparableCopy(m_replica, m_master->install.file("check-replica.db"))});
        QVERIFY(p.waitForFinished(60000));
        const QByteArray diff = p.readAllStandardOutput() + p.readAllStandardError();
        QVERIFY2(p.exitCode() == 0 && diff.trimmed().isEmpty(), diff.constData());
        QVERIFY(w->Unload());
    }

    // The same panel rated in the field and in the office through rating entry: each side's Save
    // rewrites the whole tab, yet only the values each side changed count as changes, so both
    // sides' work arrives in both files without a conflict.
    void ratingsChangedOnEachSideMeetWithoutConflict()
    {
        const QString demo = m_master->install.file("demo");
        QString error;
        QVERIFY2(MakeDemoInstallation(demo, &error), qPrintable(error));
        auto office = [&] { openInstallation(demo); };
        office();
        RegisterInspectionForms();
        auto* c = new frmCreateReplica;
        c->setDirPath(m_stick);
        c->cmdCreateRep_Click();
        m_replica = m_stick + "/" + c->txtFileName->text();
        QVERIFY(QFileInfo(m_replica).isFile());
        c->Unload();

        const RowSet panel = gConn.query("SELECT p.PanelID, p.TunnelID FROM Panels p JOIN Tunnels t ON t.TunnelID = "
                                         "p.TunnelID WHERE t.TunnelName = 'North Bore' AND p.PanelName = 'N-01'");
        QCOMPARE(panel.count(), 1);
        const qint32 panelId = panel.toInt(0, "PanelID");
        const qint32 tunnelId = panel.toInt(0, "TunnelID");
        const qint32 year = gConn.query("SELECT InspectionID FROM InspectionPeriod WHERE TunnelID = ? AND "
                                        "InspectionYear = 2026", {tunnelId}).toInt(0, "InspectionID");
        auto ratingOf = [&](const QString& element) {
            const RowSet r = gConn.query("SELECT r.Rating FROM Ratings r JOIN AvailableElements e ON e.ElementID = "
                                         "r.ElementID WHERE r.InspectionID = ? AND r.PanelID = ? AND e.ElementName = ?",
                                         {year, panelId, element});
            return r.count() == 1 ? r.value(0, "Rating").toString() : QStringLiteral("<none>");
        };
        const QStringList elements{"Lining", "Joints", "Invert", "Portal"};
        QStringList before;
        for (const QString& e : elements)
            before << ratingOf(e);
        QCOMPARE(before, QStringList({"8", "6", "7", "7"}));

        // Rating entry on N-01: Edit, type the new values, Save.
        auto rateInWindow = [&](const QHash<QString, QString>& typed) {
            auto* w = new frmDataInput;
            w->LoadForm(2026, tunnelId);
            emit w->ZVMap1->PolyHit(panelId, 0);  // a click on the panel's outline
            QTest::mouseClick(w->cmdEdit, Qt::LeftButton);
            int found = 0;
            for (int i = 0; i < w->lblElement.size(); ++i) {
                const auto t = typed.find(w->lblElement[i]->text());
                if (t == typed.end())
                    continue;
                w->txtRate1[i]->setText(*t);
                ++found;
            }
            QCOMPARE(found, typed.size());
            QTest::mouseClick(w->cmdSave, Qt::LeftButton);
            QVERIFY(!w->Editing());
            UnloadForm(w);
        };
        FieldComputer field(m_replica);
        field.activate();
        rateInWindow({{"Lining", "5"}, {"Joints", "5"}, {"Invert", "6"}});
        office();
        rateInWindow({{"Portal", "6"}});

        auto* w = screen(m_replica);
        for (QComboBox* years : w->cboInspPD)
            years->setCurrentIndex(years->findText("2026"));
        w->cmdSync_Click();
        verifyIdle(w, kSucceeded);
        const QStringList expected{"5", "5", "6", "6"};
        QStringList after;
        for (const QString& e : elements)
            after << ratingOf(e);
        QCOMPARE(after, expected);
        field.activate();
        after.clear();
        for (const QString& e : elements)
            after << ratingOf(e);
        QCOMPARE(after, expected);
        QCOMPARE(gConn.query("SELECT COUNT(*) AS n FROM repl_conflicts").toInt(0, "n"), 0);
        office();
        QVERIFY(w->Unload());
    }

    // A data-collector installation starts on its replica like on any tunnel database, and
    // its work comes back.
    void aDataCollectorStartsOnItsReplica()
    {
        RegisterInventoryForms();
        DbAddUser(QStringLiteral("admin"), QStringLiteral("krvadmin"), true, true);
        DbAddUser(QStringLiteral("inspector"), QStringLiteral("inspect1"), false, true);
        makeReplica();
        FieldComputer field(m_replica);
        gConn.close();
        ResetGlobals();
        SetProgramFolder(field.program.path());
        WindowScript script;
        script.when(QStringLiteral("frmLogon"), [](QWidget* w) {
            auto* d = static_cast<frmLogon*>(w);
            if (!d->logonFieldsShown())
                QTest::mouseClick(d->cmdLogin, Qt::LeftButton);
            d->txtName->setText(QStringLiteral("inspector"));
            QTest::keyClicks(d->txtPW, QStringLiteral("inspect1"));
            QTest::mouseClick(d->cmdOk, Qt::LeftButton);
        });
        Main();
        QVERIFY(!script.timedOut());
        QCOMPARE(LoadedFormNames(), QStringList{"frmViewSystem"});
        QCOMPARE(gDbPath, m_replica);
        QVERIFY(IniIsDataCollector() && gIsDataEntry && !gIsWizard);
        DbSaveRating(m_master->southYear, m_master->southPanels[0], 2, "1");
        for (QWidget* f : LoadedForms())
            UnloadForm(f);
        ClearPendingQuit();

        m_master->activate();
        auto* w = screen(m_replica);
        w->cmdSync_Click();
        verifyIdle(w, kSucceeded);
        QCOMPARE(DbGetRating(m_master->southYear, m_master->southPanels[0], 2), QString("1"));
        QVERIFY(w->Unload());
    }
};

KRV_TEST_MAIN_WITH_OWN_MOUNTS(TstSyncFS)
#include "tst_syncfs.moc"

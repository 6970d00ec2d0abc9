// A replica left by a writer killed inside its transaction (a hot journal beside it) is put back as it was by the
// synchronizer itself when it is named as the database, as the source of a new replica or of a compaction; a file
// that may not be written is told as read-only and left as it is.
#include <QtTest>
#include <QProcess>
#include <sqlite3.h>
#include <csignal>
#include <cstdio>

#include "plaindb.h"
#include "registry.h"
#include "replpair.h"
#include "replstore.h"
#include "varnock.h"

namespace {

void fillPanels(const QString& path)
{
    fillTunnel(path, "INSERT INTO Panels (PanelID, TunnelID, PanelNum, PanelName) VALUES (1, 1, 1, 'P1'), (2, 1, 2, 'P2');");
}

// The child: a writer that changes panel 1 and adds enough rows for its pages to spill into the file, then stops
// inside its transaction until it is killed.
int writeAndStall(const QString& path)
{
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
        return 1;
    QString sql = QStringLiteral("PRAGMA journal_mode = DELETE; PRAGMA cache_size = 4; BEGIN;"
                                 "UPDATE Panels SET PanelName = 'torn' WHERE PanelID = 1;");
    for (int i = 0; i < 1500; ++i)
        sql += QStringLiteral("INSERT INTO DefectQuantity (ID, PanelID, InspectionID, Description) VALUES (%1, 1, 1, "
                              "'%2');")
                   .arg(100 + i)
                   .arg(QString(400, QLatin1Char('t')));
    char* err = nullptr;
    if (sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &err) != SQLITE_OK) {
        std::fprintf(stderr, "%s\n", err ? err : "failed");
        return 1;
    }
    std::fputs("stalled\n", stdout);
    std::fflush(stdout);
    for (;;)
        QThread::sleep(1);
}

}  // namespace

class TstReplRecover : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    OfficeAndField m_files;

    // Kills a writer inside its transaction on path, leaving the torn write in the file and its journal beside it.
    void tearWrite(const QString& path)
    {
        const QByteArray before = fileBytes(path);
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--write-and-stall"), path});
        QVERIFY(child.waitForStarted());
        QVERIFY2(child.waitForReadyRead(60000), child.readAllStandardError().constData());
        QVERIFY(child.readAll().contains("stalled"));
        ::kill(pid_t(child.processId()), SIGKILL);
        QVERIFY(child.waitForFinished());
        QVERIFY(QFileInfo(path + QStringLiteral("-journal")).size() > 0);
        QVERIFY(fileBytes(path) != before);
    }

private slots:
    void initTestCase() { Varnock::setRegistryStorePath(m_dir.filePath(QStringLiteral("registry.db"))); }
    void cleanupTestCase() { Varnock::setRegistryStorePath(QString()); }

    void hotJournal_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<bool>("readOnly");
        for (const char* op : {"SynchDirect", "MakeReplica", "CompactDatabase"}) {
            QTest::newRow(op) << QString::fromLatin1(op) << false;
            QTest::newRow(qPrintable(QStringLiteral("%1, read-only file").arg(QLatin1String(op)))) << QString::fromLatin1(op) << true;
        }
    }

    void hotJournal()
    {
        QFETCH(QString, operation);
        QFETCH(bool, readOnly);
        QString master, replica;
        m_files.make(fillPanels, &master, &replica);
        QCOMPARE(Plain(replica).exec("UPDATE Panels SET PanelName = 'kept' WHERE PanelID = 2"), SQLITE_OK);
        tearWrite(replica);
        if (QTest::currentTestFailed())
            return;
        const QString made = m_dir.filePath(QStringLiteral("made%1.db").arg(m_files.serial));
        auto run = [&] {
            Varnock::Synchronizer s;
            if (operation == QLatin1String("CompactDatabase")) {
                s.CompactDatabase(replica, made);
                return;
            }
            s.setDatabaseName(replica);
            if (operation == QLatin1String("SynchDirect"))
                QVERIFY(s.SynchDirect(master));
            else
                s.MakeReplica(made, QStringLiteral("Made"));
        };

        if (readOnly) {
            // Marked read-only: told so, and nothing is touched (even where the account could write through).
            QVERIFY(QFile::setPermissions(replica, QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther));
            const QByteArray file = fileBytes(replica), journal = fileBytes(replica + QStringLiteral("-journal"));
            QString told;
            try {
                run();
            } catch (const Varnock::SynchronizerError& e) {
                told = e.description();
            }
            QFile::setPermissions(replica, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
            QVERIFY2(told.contains(QLatin1String("read-only")), qPrintable(told));
            QCOMPARE(fileBytes(replica), file);
            QCOMPARE(fileBytes(replica + QStringLiteral("-journal")), journal);
            QVERIFY(!QFileInfo::exists(made));
            return;
        }

        try {
            run();
        } catch (const Varnock::SynchronizerError& e) {
            QFAIL(qPrintable(e.description()));
        }
        // The replica is back as it was before the torn write, and what comes out of it holds no trace of it.
        const QString out = operation == QLatin1String("SynchDirect") ? master : made;
        for (const QString& file : {replica, out}) {
            QCOMPARE(one(file, "PRAGMA integrity_check"), QStringLiteral("ok"));
            QCOMPARE(Plain(file).rows("SELECT PanelName FROM Panels ORDER BY PanelID"), QStringList({"P1", "kept"}));
            QCOMPARE(one(file, "SELECT count(*) FROM DefectQuantity"), QStringLiteral("0"));
        }
        QVERIFY(!QFileInfo::exists(replica + QStringLiteral("-journal")));
    }
};

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 3 && qstrcmp(argv[1], "--write-and-stall") == 0)
        return writeAndStall(QString::fromLocal8Bit(argv[2]));
    TstReplRecover t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_replrecover.moc"

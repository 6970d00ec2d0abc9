// The synchronizer object driving the SQLite engine, as the program's replica windows use it.
#include <QtTest>

#include "plaindb.h"
#include "registry.h"
#include "replstore.h"
#include "varnock.h"

using namespace Varnock;

class TstSynchSqlite : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

    QString tunnelDb(const QString& name)
    {
        const QString p = newTunnelDb(m_dir.filePath(name));
        one(p, "INSERT INTO Panels (PanelID, TunnelID, PanelNum, PanelName) VALUES (1, 1, 1, 'P1')");
        return p;
    }

private slots:
    void initTestCase() { setRegistryStorePath(m_dir.filePath("registry.db")); }
    void cleanupTestCase() { setRegistryStorePath(QString()); }

    void makeReplicaAndSynchronize()
    {
        const QString master = tunnelDb("master.db");
        const QString replica = m_dir.filePath("field.db");
        const QString log = m_dir.filePath("KRV_ReplicaLog.txt");
        {
            Synchronizer s;
            s.setLogFile(log);
            s.setDatabaseName(master);
            QCOMPARE(s.ReplicaID().size(), 38);
            QVERIFY(s.IsDesignMaster());
            QCOMPARE(s.ReplicaID(), Store::replicaId(master));
            int begun = 0, progress = 0, ended = 0;
            connect(&s, &Synchronizer::BeginMakeReplica, [&] { ++begun; });
            connect(&s, &Synchronizer::MakeReplicaProgress, [&](std::int32_t& done, std::int32_t& total, bool&) {
                ++progress;
                QVERIFY(done <= total && total > 0);
            });
            connect(&s, &Synchronizer::EndMakeReplica, [&] { ++ended; });
            s.MakeReplica(replica, "Field laptop");
            QCOMPARE(begun, 1);
            QVERIFY(progress >= 1);
            QCOMPARE(ended, 1);
            auto set = s.ReplicaSet();
            QCOMPARE(set->Count(), 2);
            QCOMPARE(set->Item(1)->ReplicaID(), s.ReplicaID());
            QCOMPARE(set->Item(2)->ReplicaID(), Store::replicaId(replica));
        }
        one(master, "UPDATE Panels SET PanelName = 'Master side' WHERE PanelID = 1");
        one(replica, "INSERT INTO Panels (PanelID, TunnelID, PanelNum, PanelName) VALUES (2, 1, 2, 'Field')");
        {
            Synchronizer s;
            s.setLogFile(log);
            s.setDatabaseName(master);
            int steps = 0;
            connect(&s, &Synchronizer::SynchProgress, [&](std::int32_t&, std::int32_t& total, bool&) {
                ++steps;
                QVERIFY(total > 0);
            });
            QVERIFY(s.SynchDirect(replica, synchTypeReplImpExp));
            QVERIFY(steps >= 1);
            QCOMPARE(one(master, "SELECT PanelName FROM Panels WHERE PanelID = 2"), QString("Field"));
            QCOMPARE(one(replica, "SELECT PanelName FROM Panels WHERE PanelID = 1"), QString("Master side"));
            auto items = s.HistoryItems();
            QCOMPARE(items->Count(), 1);
            auto item = items->Item(1);
            QCOMPARE(item->InsertsReceived(), 1);
            QCOMPARE(item->InsertsAndUpdatesSent(), 1);
            QVERIFY(item->InitiatedHere());
            QCOMPARE(item->SynchStatus(), std::int32_t(synchStatusCompleted));
            QCOMPARE(s.HistoryItemOfExchangeId(item->ExchangeId())->UpdatesReceived(), 0);
            QCOMPARE(s.HistoryItems(SynchsWithConflicts)->Count(), 0);
            // A database exchanged with itself is refused.
            QVERIFY(raisedCode([&] { s.SynchDirect(master); }) != 0);
        }
        QVERIFY(QFile(log).size() > 0);
    }

    // After SynchDirect the host reads the conflicts of that exchange from the newest history item, and the log
    // lists each of them.
    void conflictsOfTheLastExchange()
    {
        const QString master = tunnelDb("office.db");
        const QString replica = m_dir.filePath("inspector.db");
        const QString log = m_dir.filePath("conflicts/KRV_ReplicaLog.txt");
        QVERIFY(QDir().mkpath(m_dir.filePath("conflicts")));
        one(master, "INSERT INTO Panels (PanelID, TunnelID, PanelNum, PanelName) VALUES (2, 1, 2, 'P2'), (3, 1, 3, 'P3')");
        Synchronizer s;
        s.setLogFile(log);
        s.setDatabaseName(master);
        s.MakeReplica(replica, "Inspector");
        one(master, "UPDATE Panels SET PanelName = 'office' WHERE PanelID IN (1, 2)");
        one(replica, "UPDATE Panels SET PanelName = 'field' WHERE PanelID IN (1, 2)");
        one(replica, "UPDATE Panels SET PanelName = 'field only' WHERE PanelID = 3");
        QVERIFY(s.SynchDirect(replica));
        QCOMPARE(s.HistoryItems()->Item(1)->Conflicts(), 2);
        QCOMPARE(s.HistoryItems(SynchsWithConflicts)->Count(), 1);
        const QString text = QString::fromUtf8(fileBytes(log));
        for (int p : {1, 2})
            QVERIFY2(text.contains(QStringLiteral("  Conflict in Panels, PanelID = %1: kept PanelName = 'office'; set aside "
                                                  "PanelName = 'field' (")
                                       .arg(p)),
                     qPrintable(text));
        QCOMPARE(one(master, "SELECT PanelName FROM Panels WHERE PanelID = 3"), QString("field only"));
        // The next exchange finds nothing: no conflicts there.
        QVERIFY(s.SynchDirect(replica));
        QCOMPARE(s.HistoryItems()->Item(1)->Conflicts(), 0);
    }

    // A log with no room for the exchange's line (through the log seam) keeps its old lines whole;
    // the exchange is done all the same, and the host learns which file and why.
    void aFullLogKeepsItsOldLines()
    {
        const QString master = tunnelDb("logged.db");
        const QString replica = m_dir.filePath("logged-field.db");
        const QString log = m_dir.filePath("full/KRV_ReplicaLog.txt");
        QVERIFY(QDir().mkpath(m_dir.filePath("full")));
        Synchronizer s;
        s.setLogFile(log);
        s.setDatabaseName(master);
        s.MakeReplica(replica, "Field");
        QVERIFY(s.SynchDirect(replica));
        QCOMPARE(s.LogFileProblem(), QString());
        const QByteArray before = fileBytes(log);
        QVERIFY(!before.isEmpty());
        one(replica, "UPDATE Panels SET PanelName = 'field' WHERE PanelID = 1");
        Store::setLogRoom(10);
        const bool done = s.SynchDirect(replica);
        Store::setLogRoom(-1);
        QVERIFY(done);
        QCOMPARE(one(master, "SELECT PanelName FROM Panels WHERE PanelID = 1"), QString("field"));
        QCOMPARE(fileBytes(log), before);
        QCOMPARE(s.LogFileProblem(), "The file " + log + " could not be written: the disk is full.");
        QCOMPARE(QDir(m_dir.filePath("full")).entryList(QDir::Files | QDir::Hidden), QStringList{"KRV_ReplicaLog.txt"});
        // The next exchange that fits is logged, and nothing is left to tell.
        QVERIFY(s.SynchDirect(replica));
        QCOMPARE(s.LogFileProblem(), QString());
        QVERIFY(fileBytes(log).startsWith(before) && fileBytes(log).size() > before.size());
    }

    // An exchange the engine refuses raises an error that says why, not only that it failed.
    void aRefusedExchangeSaysWhy()
    {
        const QString master = tunnelDb("refusing.db");
        const QString replica = m_dir.filePath("rebuilt-elsewhere.db");
        Synchronizer s;
        s.setDatabaseName(master);
        s.MakeReplica(replica, "Field");
        one(replica, "UPDATE repl_keys SET kind = 2, cols = '[\"InspectionID\",\"PanelID\",\"ElementID\","
                     "\"Rating\",\"Posted\"]' WHERE tbl = 'Ratings'");
        one(replica, "UPDATE Panels SET PanelName = 'field' WHERE PanelID = 1");
        QString description;
        try {
            s.SynchDirect(replica);
        } catch (const SynchronizerError& e) {
            description = e.description();
        }
        QVERIFY2(description.startsWith(SynchronizerErrorText(5003)) && description.contains("Ratings") &&
                     description.contains("nothing was exchanged"),
                 qPrintable(description));
    }

    void cancelledReplicaLeavesNoFile()
    {
        const QString master = tunnelDb("cancel.db");
        const QString replica = m_dir.filePath("never.db");
        Synchronizer s;
        s.setDatabaseName(master);
        int failed = 0;
        connect(&s, &Synchronizer::MakeReplicaProgress, [](std::int32_t&, std::int32_t&, bool& cancel) { cancel = true; });
        connect(&s, &Synchronizer::MakeReplicaFailed, [&] { ++failed; });
        QVERIFY(raisedCode([&] { s.MakeReplica(replica, "x"); }) != 0);
        QCOMPARE(failed, 1);
        QVERIFY(!QFile::exists(replica));
        QCOMPARE(s.ReplicaSet()->Count(), 1);
    }
};

QTEST_GUILESS_MAIN(TstSynchSqlite)
#include "tst_synchsqlite.moc"

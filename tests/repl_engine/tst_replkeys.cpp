// The core's side of replication: AutoNumber keys of a replicable database and the replica identity
// that GetReplicaId reads.
#include <QtTest>
#include <sqlite3.h>

#include "db.h"
#include "plaindb.h"
#include "replstore.h"

using namespace Varnock::Store;

class TstReplKeys : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

    QString newDb(const QString& name) { return newTunnelDb(m_dir.filePath(name)); }

private slots:
    void cleanup() { gConn.close(); }

    void plainDatabaseKeepsIncreasingKeys()
    {
        const QString p = newDb("plain.db");
        gConn.open(p);
        const qint64 a = gConn.insertAutoNumber("Tunnels", {{"TunnelName", "A"}});
        const qint64 b = gConn.insertAutoNumber("Tunnels", {{"TunnelName", "B"}});
        gConn.exec("DELETE FROM Tunnels WHERE TunnelID = ?", {b});
        const qint64 c = gConn.insertAutoNumber("Tunnels", {{"TunnelName", "C"}});
        QCOMPARE(a, 1);
        QCOMPARE(b, 2);
        QCOMPARE(c, 3);
        QCOMPARE(GetReplicaId(p), QString());
        QCOMPARE(gConn.scalar("SELECT count(*) FROM sqlite_master WHERE name = 'repl_info'").toInt(), 0);
    }

    // Rows added in two replicas must not meet on one key: keys are random among unused positive 32-bit values.
    void replicableDatabaseDrawsRandomKeys()
    {
        const QString p = newDb("master.db");
        QCOMPARE(makeReplicable(p), 0);
        gConn.open(p);
        QSet<qint64> keys;
        for (int i = 0; i < 40; ++i) {
            const qint64 k = gConn.insertAutoNumber("RepairLogs", {{"PanelID", 1}, {"RepairLog", QString::number(i)}});
            QVERIFY(k > 0 && k <= 0x7fffffff);
            keys.insert(k);
        }
        QCOMPARE(keys.size(), 40);
        // Not simply counting up from 1.
        QVERIFY(*std::max_element(keys.begin(), keys.end()) > 1000);
        QCOMPARE(gConn.scalar("SELECT count(*) FROM RepairLogs WHERE s_GUID IS NOT NULL").toInt(), 40);
        const qint64 none = gConn.insertAutoNumber("InspectionPeriod", {});
        QVERIFY(none > 0);
        QCOMPARE(GetReplicaId(p), replicaId(p));
        QCOMPARE(GetReplicaId(p).size(), 38);
    }
};

QTEST_GUILESS_MAIN(TstReplKeys)
#include "tst_replkeys.moc"

// The exchange applies a table a statement per kind of change, and goes row by row for a table with a key
// clash. Both paths must leave the same files: two identical pairs of replicas get the same random changes
// (conflicts on the same rows, deletions against changes, double deletions, new rows, one key clash), one pair
// is exchanged with the set-based path and the other row by row, and everything is compared.
// An exchange with nothing to send looks only at the file headers; every write since must defeat that, and a copy
// of a file never passes for it.
#include <QtTest>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <sqlite3.h>

#include "maintenance.h"
#include "plaindb.h"
#include "replstore.h"

using namespace Varnock::Store;

namespace {

QStringList query(const QString& path, const QString& sql)
{
    return Plain(path).rows(sql);
}

bool exec(const QString& path, const QString& sql)
{
    Plain db(path);
    if (db.exec(sql) == SQLITE_OK)
        return true;
    qWarning("%s", qPrintable(db.error()));
    return false;
}

const QStringList kTables = {"AvailableElements", "DefectQuantity", "Panels", "Ratings"};

// Everything both paths must agree on: user columns, row identity, local generation and the version vector
// (its text may be written in another key order), tombstones and kept losers.
QStringList state(const QString& path)
{
    QStringList out;
    const QString vec = QStringLiteral("json_extract(%1, '$.w') || '/' || json_extract(%1, '$.p') || '/' || "
                                       "(SELECT group_concat(key || '=' || value) FROM (SELECT key, value FROM "
                                       "json_each(%1, '$.v') ORDER BY key))");
    for (const QString& t : kTables) {
        QStringList cols;
        for (const QString& c : query(path, QStringLiteral("SELECT name FROM pragma_table_info('%1')").arg(t)))
            if (!c.startsWith(QLatin1String("s_")))
                cols << QStringLiteral("quote(\"%1\")").arg(c);
        out << query(path, QStringLiteral("SELECT '%1', hex(s_GUID), s_Generation, %2, %3 FROM \"%1\" ORDER BY s_GUID")
                               .arg(t, vec.arg(QStringLiteral("s_Lineage")), cols.join(QStringLiteral(", "))));
    }
    out << query(path, QStringLiteral("SELECT 'tomb', hex(guid), tbl, generation, %1 FROM repl_tombstones ORDER BY guid")
                           .arg(vec.arg(QStringLiteral("lineage"))));
    out << query(path, QStringLiteral("SELECT 'lost', tbl, hex(guid), reason, loser_deleted, row_data FROM repl_conflicts "
                                      "ORDER BY 2, 3, 4, 5, 6"));
    return out;
}

// The user data only, as both replicas must hold it after an exchange both ways.
QStringList data(const QString& path)
{
    QStringList out;
    for (const QString& t : kTables) {
        QStringList cols;
        for (const QString& c : query(path, QStringLiteral("SELECT name FROM pragma_table_info('%1')").arg(t)))
            if (c != QLatin1String("s_Generation") && c != QLatin1String("s_Lineage"))
                cols << QStringLiteral("quote(\"%1\")").arg(c);
        out << query(path, QStringLiteral("SELECT '%1', %2 FROM \"%1\" ORDER BY s_GUID").arg(t, cols.join(QStringLiteral(", "))));
    }
    return out;
}

QString counts(const Exchange& e)
{
    return QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8")
        .arg(e.insertsReceived)
        .arg(e.updatesReceived)
        .arg(e.deletesReceived)
        .arg(e.insertsAndUpdatesSent)
        .arg(e.deletesSent)
        .arg(e.conflicts)
        .arg(e.errors)
        .arg(e.tableModifications);
}

constexpr int kPanels = 80, kElements = 25;

// One side's random changes of a round, as plain SQL (another client's writes).
QString changes(QRandomGenerator& rnd, int side, int round)
{
    QString sql = QStringLiteral("BEGIN;");
    for (int i = 0; i < 400; ++i)
        sql += QStringLiteral("UPDATE Ratings SET Rating = %1 WHERE PanelID = %2 AND ElementID = %3;")
                   .arg(rnd.bounded(10))
                   .arg(1 + rnd.bounded(kPanels))
                   .arg(1 + rnd.bounded(kElements));
    for (int i = 0; i < 60; ++i)
        sql += QStringLiteral("DELETE FROM Ratings WHERE PanelID = %1 AND ElementID = %2;")
                   .arg(1 + rnd.bounded(kPanels))
                   .arg(1 + rnd.bounded(kElements));
    for (int i = 0; i < 20; ++i)
        sql += QStringLiteral("UPDATE Panels SET PanelName = 'S%1R%2-%3' WHERE PanelID = %4;")
                   .arg(side)
                   .arg(round)
                   .arg(i)
                   .arg(1 + rnd.bounded(kPanels));
    const int base = 1000000 * (side + 1) + 10000 * round;
    for (int i = 0; i < 150; ++i)
        sql += QStringLiteral("INSERT INTO DefectQuantity (ID, PanelID, InspectionID, Quantity, Units, Description) "
                              "VALUES (%1, %2, 1, %3, 'ea', x'%4');")
                   .arg(base + i)
                   .arg(1 + rnd.bounded(kPanels))
                   .arg(rnd.bounded(100) / 4.0)
                   .arg(rnd.bounded(0xffff), 4, 16, QLatin1Char('0'));
    for (int i = 0; i < 30; ++i)
        sql += QStringLiteral("DELETE FROM DefectQuantity WHERE ID = %1;").arg(1 + rnd.bounded(kPanels));
    for (int i = 0; i < 30; ++i)
        sql += QStringLiteral("UPDATE DefectQuantity SET Description = x'%1', Quantity = %2 WHERE ID = %3;")
                   .arg(rnd.bounded(0xffff), 4, 16, QLatin1Char('0'))
                   .arg(rnd.bounded(50))
                   .arg(1 + rnd.bounded(kPanels));
    // The same new key on both sides: this table goes row by row.
    if (round == 1)
        sql += QStringLiteral("INSERT INTO AvailableElements (ElementID, ElementName) VALUES (900, 'side %1');").arg(side);
    return sql + QStringLiteral("COMMIT;");
}

}  // namespace

class TstSetApply : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString path(const QString& name) const { return m_dir.filePath(name); }

private slots:
    void cleanup() { setRowByRow(false); }

    void setBasedMatchesRowByRow()
    {
        QVERIFY(m_dir.isValid());
        const QString master = path("master.db"), replica = path("replica.db");
        QString error;
        QVERIFY2(CreateTunnelDatabase(master, &error), qPrintable(error));
        QString seed = QStringLiteral("BEGIN; INSERT INTO System (SystemID, SystemName) VALUES (1, 'Metro');"
                                      "INSERT INTO Tunnels (TunnelID, SystemID, TunnelName) VALUES (1, 1, 'North');"
                                      "INSERT INTO InspectionPeriod (InspectionID, TunnelID, InspectionYear) VALUES (1, 1, 2024);");
        for (int e = 1; e <= kElements; ++e)
            seed += QStringLiteral("INSERT INTO AvailableElements (ElementID, ElementName) VALUES (%1, 'E%1');").arg(e);
        for (int p = 1; p <= kPanels; ++p) {
            seed += QStringLiteral("INSERT INTO Panels (PanelID, TunnelID, PanelNum, PanelName) VALUES (%1, 1, %1, 'P%1');"
                                   "INSERT INTO DefectQuantity (ID, PanelID, InspectionID, Quantity, Units) "
                                   "VALUES (%1, %1, 1, 1.5, 'sq ft');")
                        .arg(p);
            for (int e = 1; e <= kElements; ++e)
                seed += QStringLiteral("INSERT INTO Ratings (InspectionID, PanelID, ElementID, Rating) VALUES (1, %1, %2, %3);")
                            .arg(p)
                            .arg(e)
                            .arg((p + e) % 10);
        }
        QVERIFY(exec(master, seed + QStringLiteral("COMMIT;")));
        QCOMPARE(makeReplicable(master, &error), 0);
        QCOMPARE(makeReplica(master, replica, QStringLiteral("Field"), 90, 0, {}, &error), 0);
        // Two pairs: set-based (s) and row by row (r).
        QVERIFY(QFile::copy(master, path("s-master.db")));
        QVERIFY(QFile::copy(replica, path("s-replica.db")));

        QRandomGenerator rnd(20261210);
        const int directions[] = {Direction::Both, Direction::Export, Direction::Both};
        int conflictsSeen = 0;
        for (int round = 0; round < 3; ++round) {
            const QString onMaster = changes(rnd, 0, round), onReplica = changes(rnd, 1, round);
            // New rows get random identities: the row-by-row pair starts each round as a copy of the other.
            QVERIFY(exec(path("s-master.db"), onMaster));
            QVERIFY(exec(path("s-replica.db"), onReplica));
            for (const QString& f : {QStringLiteral("master.db"), QStringLiteral("replica.db")}) {
                QFile::remove(path("r-" + f));
                QVERIFY(QFile::copy(path("s-" + f), path("r-" + f)));
            }
            Exchange ex[2];
            for (int k = 0; k < 2; ++k) {
                const QString p = k == 0 ? QStringLiteral("s") : QStringLiteral("r");
                setRowByRow(k == 1);
                QCOMPARE(synchronize(path(p + "-replica.db"), path(p + "-master.db"), directions[round], {}, {}, &ex[k], &error),
                         0);
                if (directions[round] != Direction::Both)
                    QCOMPARE(synchronize(path(p + "-replica.db"), path(p + "-master.db"), Direction::Import, {}, {}, nullptr,
                                         &error),
                             0);
            }
            QCOMPARE(counts(ex[0]), counts(ex[1]));
            conflictsSeen += ex[0].conflicts;
            for (const QString& f : {QStringLiteral("master.db"), QStringLiteral("replica.db")}) {
                const QStringList s = state(path("s-" + f)), r = state(path("r-" + f));
                QCOMPARE(s.size(), r.size());
                for (int i = 0; i < s.size(); ++i)
                    QCOMPARE(s[i], r[i]);
            }
            QCOMPARE(data(path("s-master.db")), data(path("s-replica.db")));
            // Run again, nothing is left to send.
            Exchange again;
            QCOMPARE(synchronize(path("s-replica.db"), path("s-master.db"), Direction::Both, {}, {}, &again, &error), 0);
            QCOMPARE(counts(again), QStringLiteral("0 0 0 0 0 0 0 0"));
        }
        QVERIFY2(conflictsSeen > 50, qPrintable(QString::number(conflictsSeen)));
        // The key clash was decided once, its loser kept.
        QCOMPARE(query(path("s-master.db"), "SELECT count(*) FROM AvailableElements WHERE ElementID = 900"), QStringList{"1"});
        QVERIFY(!query(path("s-master.db"), "SELECT reason FROM repl_conflicts WHERE tbl = 'AvailableElements'").isEmpty());
    }

    // After a two-way exchange, an exchange with nothing to send only looks at the two file headers. Every
    // kind of write since must still take the full path and arrive.
    void idleShortcutSeesEveryWrite_data()
    {
        QTest::addColumn<QString>("what");
        QTest::newRow("plain write on the partner") << "partner";
        QTest::newRow("plain write on the initiator") << "local";
        QTest::newRow("write in WAL mode") << "wal";
        QTest::newRow("one-way exchange between") << "one-way";
        QTest::newRow("replica description") << "description";
    }

    void idleShortcutSeesEveryWrite()
    {
        QFETCH(QString, what);
        static int serial = 0;
        const QString master = path(QStringLiteral("idle-m%1.db").arg(++serial));
        const QString replica = path(QStringLiteral("idle-r%1.db").arg(serial));
        QString error;
        QVERIFY2(CreateTunnelDatabase(master, &error), qPrintable(error));
        QVERIFY(exec(master, "INSERT INTO Panels (PanelID, TunnelID, PanelNum, PanelName) VALUES (1, 1, 1, 'P1'), "
                             "(2, 1, 2, 'P2')"));
        QCOMPARE(makeReplicable(master, &error), 0);
        QCOMPARE(makeReplica(master, replica, "Field", 90, 0, {}, &error), 0);
        QVERIFY(exec(master, "UPDATE Panels SET PanelName = 'm' WHERE PanelID = 1"));
        QVERIFY(exec(replica, "UPDATE Panels SET PanelName = 'r' WHERE PanelID = 2"));
        QCOMPARE(synchronize(replica, master, Direction::Both, {}, {}, nullptr, &error), 0);
        Exchange idle;
        QCOMPARE(synchronize(master, replica, Direction::Both, {}, {}, &idle, &error), 0);
        QCOMPARE(counts(idle), QStringLiteral("0 0 0 0 0 0 0 0"));

        int expectUpdates = 1;
        if (what == "partner") {
            QVERIFY(exec(replica, "UPDATE Panels SET PanelName = 'new' WHERE PanelID = 1"));
        } else if (what == "local") {
            QVERIFY(exec(master, "UPDATE Panels SET PanelName = 'new' WHERE PanelID = 1"));
        } else if (what == "wal") {
            QVERIFY(exec(replica, "PRAGMA journal_mode = WAL; UPDATE Panels SET PanelName = 'new' WHERE PanelID = 1"));
        } else if (what == "one-way") {
            QVERIFY(exec(replica, "UPDATE Panels SET PanelName = 'new' WHERE PanelID = 1"));
            QVERIFY(exec(master, "UPDATE Panels SET PanelName = 'also' WHERE PanelID = 2"));
            QCOMPARE(synchronize(master, replica, Direction::Export, {}, {}, nullptr, &error), 0);
        } else {
            QCOMPARE(setDescription(replica, "renamed", &error), 0);
            expectUpdates = 0;
        }
        Exchange e;
        QCOMPARE(synchronize(master, replica, Direction::Both, {}, {}, &e, &error), 0);
        QCOMPARE(e.updatesReceived + e.insertsAndUpdatesSent, expectUpdates);
        QCOMPARE(data(master), data(replica));
        if (expectUpdates)
            QCOMPARE(query(master, "SELECT PanelName FROM Panels WHERE PanelID = 1"), QStringList{"new"});
        // A copy of a file carries its half of the token: exchanging the two is still refused.
        const QString copy = path(QStringLiteral("idle-copy%1.db").arg(serial));
        QVERIFY(QFile::copy(master, copy));
        QCOMPARE(synchronize(master, copy, Direction::Both, {}, {}, nullptr, &error), Result::SameReplica);
    }

    // A copy of a replica is a file of its own, whatever makes it and however often it is written since: a replica
    // made of it, a compaction put in its place, the sqlite3 shell's .backup or VACUUM INTO (kept beside it or put in
    // its place). The copy's change reaches the master at the first exchange.
    void aCopyIsAFileOfItsOwn_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("inPlace");   // the copy takes the replica's name
        QTest::newRow("a replica made of it") << "replica" << false;
        QTest::newRow("compacted and put back") << "compact" << true;
        QTest::newRow(".backup, kept beside it") << "backup" << false;
        QTest::newRow(".backup, put back") << "backup" << true;
        QTest::newRow("VACUUM INTO, put back") << "vacuum" << true;
    }

    void aCopyIsAFileOfItsOwn()
    {
        QFETCH(QString, how);
        QFETCH(bool, inPlace);
        static int serial = 0;
        const QString master = path(QStringLiteral("copy-m%1.db").arg(++serial));
        const QString replica = path(QStringLiteral("copy-r%1.db").arg(serial));
        const QString copy = path(QStringLiteral("copy-c%1.db").arg(serial));
        QString error;
        QVERIFY2(CreateTunnelDatabase(master, &error), qPrintable(error));
        QVERIFY(exec(master, "INSERT INTO Panels (PanelID, TunnelID, PanelNum, PanelName) VALUES (1, 1, 1, 'P1'), "
                             "(2, 1, 2, 'P2')"));
        QCOMPARE(makeReplicable(master, &error), 0);
        QCOMPARE(makeReplica(master, replica, "Field", 90, 0, {}, &error), 0);
        QVERIFY(exec(replica, "UPDATE Panels SET PanelName = 'r' WHERE PanelID = 2"));
        QCOMPARE(synchronize(replica, master, Direction::Both, {}, {}, nullptr, &error), 0);   // in step now
        if (how == "replica") {
            QCOMPARE(makeReplica(replica, copy, "Second", 80, 0, {}, &error), 0);
        } else if (how == "compact") {
            QCOMPARE(compactDatabase(replica, copy, {}, &error), 0);
        } else {
            const QString shell = QStandardPaths::findExecutable(QStringLiteral("sqlite3"));
            QVERIFY2(!shell.isEmpty(), "the sqlite3 shell (Debian package sqlite3) is not installed");
            QProcess p;
            p.start(shell, {replica, how == "backup" ? QStringLiteral(".backup %1").arg(copy)
                                                     : QStringLiteral("VACUUM INTO '%1'").arg(copy)});
            QVERIFY(p.waitForFinished(60000) && p.exitCode() == 0);
        }
        const QString changed = inPlace ? replica : copy;
        if (inPlace) {
            QVERIFY(QFile::remove(replica));
            QVERIFY(QFile::rename(copy, replica));
        }
        // Written until its change counter is where the exchange left the source's, had the copy been given that
        // mark: then the header alone would take the copy for the source.
        auto header = [](const QString& f, int at) {
            const QByteArray b = fileBytes(f).mid(at, 4);
            return b.size() < 4 ? 0u : (quint32(quint8(b[0])) << 24 | quint32(quint8(b[1])) << 16 | quint32(quint8(b[2])) << 8 | quint8(b[3]));
        };
        const quint32 mark = header(changed, 68);
        int writes = 0;
        do
            QVERIFY(exec(changed, QStringLiteral("UPDATE Panels SET PanelName = 'copy %1' WHERE PanelID = 1").arg(++writes)));
        while (header(changed, 24) < mark && mark - header(changed, 24) < 400);
        Exchange e;
        QCOMPARE(synchronize(changed, master, Direction::Both, {}, {}, &e, &error), 0);
        QCOMPARE(e.insertsAndUpdatesSent, 1);
        QCOMPARE(query(master, "SELECT PanelName FROM Panels WHERE PanelID = 1"),
                 QStringList{QStringLiteral("copy %1").arg(writes)});
        QCOMPARE(data(master), data(changed));
    }
};

QTEST_GUILESS_MAIN(TstSetApply)
#include "tst_setapply.moc"

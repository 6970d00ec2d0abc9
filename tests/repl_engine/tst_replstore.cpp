// The replication store on temporary tunnel databases: replicable files, replicas, two-way exchange,
// conflicts, key clashes, a chain of three replicas, cancel and a process killed in the middle.
#include <QtTest>
#include <QProcess>
#include <sqlite3.h>
#include <csignal>

#include "plaindb.h"
#include "replpair.h"
#include "replstore.h"
#include "varnock.h"

using namespace Varnock::Store;

namespace {

const QStringList kTables = {"AvailableElements", "DefectQuantity", "InspectionPeriod", "Panels", "Ratings", "Tunnels"};

// The user data of a file, change columns left out, in a fixed order.
QStringList content(const QString& path)
{
    return tableContent(path, kTables);
}

QString makeTunnelDb(const QString& path)
{
    QString error;
    if (!CreateTunnelDatabase(path, &error))
        return error;
    Plain db(path);
    QString sql = QStringLiteral("BEGIN; INSERT INTO System (SystemID, SystemName) VALUES (1, 'Metro');"
                                 "INSERT INTO Tunnels (TunnelID, SystemID, TunnelName) VALUES (1, 1, 'North');"
                                 "INSERT INTO InspectionPeriod (InspectionID, TunnelID, InspectionYear) VALUES (1, 1, 2024);");
    for (int e = 1; e <= 3; ++e)
        sql += QStringLiteral("INSERT INTO AvailableElements (ElementID, ElementName) VALUES (%1, 'Element %1');").arg(e);
    for (int p = 1; p <= 5; ++p) {
        sql += QStringLiteral("INSERT INTO Panels (PanelID, TunnelID, PanelNum, PanelName) VALUES (%1, 1, %1, 'P%1');").arg(p);
        for (int e = 1; e <= 3; ++e)
            sql += QStringLiteral("INSERT INTO Ratings (InspectionID, PanelID, ElementID, Rating) VALUES (1, %1, %2, %3);")
                       .arg(p)
                       .arg(e)
                       .arg((p + e) % 10);
    }
    sql += QStringLiteral("COMMIT;");
    return db.exec(sql) == SQLITE_OK ? QString() : db.error();
}

}  // namespace

class TstReplStore : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_master;
    int m_serial = 0;

    QString path(const QString& name) { return m_dir.filePath(name); }

    // A fresh Design Master with the small data set, and a replica of it.
    void masterAndReplica(QString* master, QString* replica, int flags = 0)
    {
        ++m_serial;
        *master = path(QStringLiteral("master%1.db").arg(m_serial));
        *replica = path(QStringLiteral("replica%1.db").arg(m_serial));
        QCOMPARE(makeTunnelDb(*master), QString());
        QCOMPARE(makeReplicable(*master), 0);
        QString error;
        QCOMPARE(makeReplica(*master, *replica, QStringLiteral("Field"), 90, flags, {}, &error), 0);
    }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void plainDatabaseHasNoIdentityAndLookingChangesNothing()
    {
        const QString db = path("plain.db");
        QCOMPARE(makeTunnelDb(db), QString());
        const QByteArray before = fileBytes(db);
        QCOMPARE(replicaId(db), QString());
        QCOMPARE(replicaId(path("missing.db")), QString());
        QCOMPARE(fileBytes(db), before);
        QCOMPARE(Plain(db).one("SELECT count(*) FROM sqlite_master WHERE name = 'repl_info'"), QString("0"));
    }

    void designMasterAndReplicaIdentities()
    {
        QString master, replica;
        masterAndReplica(&master, &replica);
        Identity m, r;
        QCOMPARE(readIdentity(master, &m), 0);
        QCOMPARE(readIdentity(replica, &r), 0);
        QCOMPARE(replicaId(master), m.replicaId);
        QCOMPARE(m.replicaId.size(), 38);
        QCOMPARE(m.designMasterId, m.replicaId);
        QVERIFY(r.replicaId != m.replicaId);
        QCOMPARE(r.setId, m.setId);
        QCOMPARE(r.designMasterId, m.replicaId);
        QCOMPARE(r.description, QString("Field"));
        QCOMPARE(r.priority, 90);
        QVERIFY(r.nickname != m.nickname);
        QCOMPARE(content(replica), content(master));
        // Both files know both members, own replica first.
        QVector<Member> mm, rm;
        QCOMPARE(members(master, &mm), 0);
        QCOMPARE(members(replica, &rm), 0);
        QCOMPARE(mm.size(), 2);
        QCOMPARE(rm.size(), 2);
        QCOMPARE(mm[0].replicaId, m.replicaId);
        QCOMPARE(rm[0].replicaId, r.replicaId);
        QCOMPARE(mm[1].replicaName, replica);
        // Making it replicable again changes nothing.
        QCOMPARE(makeReplicable(master), 0);
        QCOMPARE(replicaId(master), m.replicaId);
        // The identity cannot be removed; the replica can.
        QVERIFY(removeMember(master, m.replicaId) < 0);
        QCOMPARE(removeMember(master, r.replicaId), 0);
        QCOMPARE(synchronize(master, replica, Direction::Both), Result::RemovedReplica);
    }

    void replicaFlagsRefusePlainWrites_data()
    {
        QTest::addColumn<int>("flags");
        QTest::addColumn<bool>("updateRefused");
        QTest::addColumn<bool>("deleteRefused");
        QTest::newRow("full") << 0 << false << false;
        QTest::newRow("read-only") << int(ReplicaFlag::ReadOnly) << true << true;
        QTest::newRow("prevent deletes") << int(ReplicaFlag::PreventDeletes) << false << true;
    }

    void replicaFlagsRefusePlainWrites()
    {
        QFETCH(int, flags);
        QFETCH(bool, updateRefused);
        QFETCH(bool, deleteRefused);
        QString master, replica;
        masterAndReplica(&master, &replica, flags);
        Identity r;
        QCOMPARE(readIdentity(replica, &r), 0);
        QCOMPARE(r.flags, flags);
        Plain db(replica);
        QCOMPARE(db.exec("UPDATE Ratings SET Rating = 1 WHERE PanelID = 1") != SQLITE_OK, updateRefused);
        QCOMPARE(db.exec("DELETE FROM Ratings WHERE PanelID = 2") != SQLITE_OK, deleteRefused);
        // Changes from the master still arrive.
        Plain(master).exec("UPDATE Ratings SET Rating = 0 WHERE PanelID = 3; DELETE FROM Ratings WHERE PanelID = 4");
        QCOMPARE(synchronize(master, replica, Direction::Export), 0);
        QCOMPARE(db.one("SELECT group_concat(Rating) FROM Ratings WHERE PanelID = 3"), QString("0,0,0"));
        QCOMPARE(db.one("SELECT count(*) FROM Ratings WHERE PanelID = 4"), QString("0"));
    }

    void makeReplicaCancelledLeavesNothing()
    {
        const QString master = path("cancel-master.db");
        QCOMPARE(makeTunnelDb(master), QString());
        QCOMPARE(makeReplicable(master), 0);
        const QStringList before = Plain(master).rows("SELECT * FROM repl_replicas");
        int calls = 0;
        const QString target = path("cancelled.db");
        QCOMPARE(makeReplica(master, target, "x", 90, 0, [&](qint64, qint64) { return ++calls < 1; }), Result::Cancelled);
        QVERIFY(calls >= 1);
        QVERIFY(!QFile::exists(target));
        QVERIFY(!QFile::exists(target + ".part"));
        QCOMPARE(Plain(master).rows("SELECT * FROM repl_replicas"), before);
        // An existing file is never overwritten.
        QFile f(target);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("keep");
        f.close();
        QCOMPARE(makeReplica(master, target, "x", 90, 0), Result::TargetExists);
        QCOMPARE(fileBytes(target), QByteArray("keep"));
    }

    void changesOnBothSidesReachTheOther()
    {
        QString master, replica;
        masterAndReplica(&master, &replica);
        // Program-like writes on the master, another client's writes on the replica.
        Plain(master).exec("UPDATE Ratings SET Rating = 9 WHERE PanelID = 1 AND ElementID = 1;"
                           "DELETE FROM Ratings WHERE PanelID = 2 AND ElementID = 2;"
                           "INSERT INTO Panels (PanelID, TunnelID, PanelNum, PanelName) VALUES (101, 1, 6, 'P6');");
        Plain(replica).exec("UPDATE Panels SET PanelName = 'Portal' WHERE PanelID = 5;"
                            "DELETE FROM Ratings WHERE PanelID = 3 AND ElementID = 3;"
                            "INSERT INTO DefectQuantity (ID, PanelID, InspectionID, Quantity, Units) "
                            "VALUES (777, 4, 1, 2.5, 'sq ft');");
        const QString log = path("exchange.log");
        Exchange e;
        QString error;
        QCOMPARE(synchronize(master, replica, Direction::Both, {}, log, &e, &error), 0);
        QCOMPARE(error, QString());
        QCOMPARE(content(master), content(replica));
        QCOMPARE(e.status, int(Status::Completed));
        QCOMPARE(e.insertsReceived, 1);
        QCOMPARE(e.updatesReceived, 1);
        QCOMPARE(e.deletesReceived, 1);
        QCOMPARE(e.insertsAndUpdatesSent, 2);
        QCOMPARE(e.deletesSent, 1);
        QCOMPARE(e.conflicts, 0);
        Plain m(master);
        QCOMPARE(m.one("SELECT PanelName FROM Panels WHERE PanelID = 5"), QString("Portal"));
        QCOMPARE(m.one("SELECT Quantity FROM DefectQuantity WHERE ID = 777"), QString("2.5"));
        QCOMPARE(m.one("SELECT count(*) FROM Ratings WHERE PanelID = 3 AND ElementID = 3"), QString("0"));
        QVERIFY(QString::fromUtf8(fileBytes(log)).contains(e.exchangeId));

        // The same exchange again, twice: nothing to send, both files' data stay as they are; each exchange is only
        // listed in both histories, and the files stay in step (each header keeps its half of the pair's token, and
        // the value it expects moves with the write of the history), so the next one is still known idle from the
        // headers alone.
        const QStringList before = content(master);
        auto token = [](const QString& f) { return fileBytes(f).mid(60, 4); };
        auto expected = [](const QString& f) { return fileBytes(f).mid(68, 4); };
        QVERIFY(token(master) != QByteArray(4, 0));
        QCOMPARE(token(master).left(3), token(replica).left(3));
        QCOMPARE(token(master).at(3) ^ token(replica).at(3), 1);
        auto inStep = [&, m = token(master), r = token(replica), em = expected(master), er = expected(replica)]() mutable {
            const bool moved = token(master) == m && token(replica) == r && expected(master) != em && expected(replica) != er;
            em = expected(master);
            er = expected(replica);
            return moved;
        };
        Exchange again;
        for (int i = 0; i < 2; ++i) {
            QCOMPARE(synchronize(master, replica, Direction::Both, {}, log, &again), 0);
            QCOMPARE(again.insertsReceived + again.updatesReceived + again.deletesReceived + again.insertsAndUpdatesSent +
                         again.deletesSent + again.conflicts,
                     0);
            QCOMPARE(again.status, int(Status::Completed));
            QCOMPARE(content(master), before);
            QCOMPARE(content(replica), before);
            QVERIFY(inStep());
        }

        // History in both files, seen from each side, newest first.
        QVector<Exchange> hm, hr;
        QCOMPARE(history(master, Filter::All, &hm), 0);
        QCOMPARE(history(replica, Filter::All, &hr), 0);
        QCOMPARE(hm.size(), 3);
        QCOMPARE(hr.size(), 3);
        QCOMPARE(hm[0].exchangeId, again.exchangeId);
        QCOMPARE(hr[0].exchangeId, again.exchangeId);
        QCOMPARE(hm[0].status, int(Status::Completed));
        QVERIFY(hm[0].initiatedHere && !hr[0].initiatedHere);
        QCOMPARE(hm[2].exchangeId, e.exchangeId);
        QVERIFY(hm[2].initiatedHere);
        QVERIFY(!hr[2].initiatedHere);
        QCOMPARE(hr[2].insertsReceived, 1);   // the master's new panel
        QCOMPARE(hr[2].updatesReceived, 1);
        Identity r, m0;
        QCOMPARE(readIdentity(replica, &r), 0);
        QCOMPARE(readIdentity(master, &m0), 0);
        QCOMPARE(hm[2].partnerNickname, r.nickname);
        QCOMPARE(hm[0].partnerNickname, r.nickname);
        QCOMPARE(hr[0].partnerNickname, m0.nickname);
        QCOMPARE(history(master, Filter::WithDataChanges, &hm), 0);
        QCOMPARE(hm.size(), 1);
        Exchange one;
        QCOMPARE(historyItem(replica, e.exchangeId, &one), 0);
        QCOMPARE(one.deletesReceived, 1);
        QCOMPARE(historyItem(replica, newGuidText(), &one), Result::UnknownExchange);
    }

    void oneWayExchangesSendOnlyTheirDirection()
    {
        QString master, replica;
        masterAndReplica(&master, &replica);
        Plain(master).exec("UPDATE Panels SET PanelName = 'M' WHERE PanelID = 1");
        Plain(replica).exec("UPDATE Panels SET PanelName = 'R' WHERE PanelID = 2");
        QCOMPARE(synchronize(master, replica, Direction::Export), 0);
        QCOMPARE(Plain(replica).one("SELECT PanelName FROM Panels WHERE PanelID = 1"), QString("M"));
        QCOMPARE(Plain(master).one("SELECT PanelName FROM Panels WHERE PanelID = 2"), QString("P2"));
        QCOMPARE(synchronize(master, replica, Direction::Import), 0);
        QCOMPARE(Plain(master).one("SELECT PanelName FROM Panels WHERE PanelID = 2"), QString("R"));
        QCOMPARE(content(master), content(replica));
    }

    // The same row changed on both sides: decided alike on both, the loser kept and counted.
    void conflictKeepsTheLoser()
    {
        QString master, replica;
        masterAndReplica(&master, &replica);
        Plain(master).exec("UPDATE Ratings SET Rating = 7 WHERE PanelID = 1 AND ElementID = 1");
        Plain(replica).exec("UPDATE Ratings SET Rating = 3 WHERE PanelID = 1 AND ElementID = 1");
        Exchange e;
        QCOMPARE(synchronize(replica, master, Direction::Both, {}, {}, &e), 0);
        QCOMPARE(e.conflicts, 1);
        QCOMPARE(content(master), content(replica));
        // The Design Master's higher priority wins; the replica's version is kept as the loser in both files.
        QCOMPARE(Plain(master).one("SELECT Rating FROM Ratings WHERE PanelID = 1 AND ElementID = 1"), QString("7"));
        for (const QString& f : {master, replica}) {
            QVector<Conflict> c;
            QCOMPARE(conflicts(f, &c), 0);
            QCOMPARE(c.size(), 1);
            QCOMPARE(c[0].table, QString("Ratings"));
            QVERIFY2(c[0].rowData.contains("\"Rating\":3"), qPrintable(c[0].rowData));
            QCOMPARE(c[0].exchangeId, e.exchangeId);
        }
        QVector<Exchange> h;
        QCOMPARE(history(master, Filter::WithConflicts, &h), 0);
        QCOMPARE(h.size(), 1);
        // Settled: the next exchange finds nothing to do.
        Exchange again;
        QCOMPARE(synchronize(master, replica, Direction::Both, {}, {}, &again), 0);
        QCOMPARE(again.conflicts + again.updatesReceived + again.insertsAndUpdatesSent, 0);
    }

    void deleteAgainstChange()
    {
        QString master, replica;
        masterAndReplica(&master, &replica);
        Plain(master).exec("DELETE FROM Panels WHERE PanelID = 3");
        Plain(replica).exec("UPDATE Panels SET PanelName = 'kept?' WHERE PanelID = 3");
        Exchange e;
        QCOMPARE(synchronize(master, replica, Direction::Both, {}, {}, &e), 0);
        QCOMPARE(e.conflicts, 1);
        QCOMPARE(content(master), content(replica));
        QCOMPARE(Plain(replica).one("SELECT count(*) FROM Panels WHERE PanelID = 3"), QString("0"));
        QVector<Conflict> c;
        QCOMPARE(conflicts(replica, &c), 0);
        QCOMPARE(c.size(), 1);
        QVERIFY(c[0].rowData.contains("kept?"));
    }

    // Three versions of one row met in different pairs of five files: the decisions end in one value everywhere,
    // and each value that lost is set aside somewhere.
    void conflictsDecidedInDifferentPairsAgree_data()
    {
        QTest::addColumn<bool>("rowByRow");
        QTest::addColumn<QString>("byA");
        const QString change = QStringLiteral("UPDATE Panels SET PanelName = 'Y by A' WHERE PanelID = 1");
        const QString deletion = QStringLiteral("DELETE FROM Panels WHERE PanelID = 1");
        QTest::newRow("change") << false << change;
        QTest::newRow("change, row by row") << true << change;
        QTest::newRow("deletion") << false << deletion;
        QTest::newRow("deletion, row by row") << true << deletion;
    }

    void conflictsDecidedInDifferentPairsAgree()
    {
        QFETCH(bool, rowByRow);
        QFETCH(QString, byA);
        ++m_serial;
        auto name = [&](const char* n) { return path(QStringLiteral("%1%2.db").arg(QLatin1String(n)).arg(m_serial)); };
        const QString m = name("M"), a = name("A"), b = name("B"), c = name("C"), d = name("D");
        QCOMPARE(makeTunnelDb(m), QString());
        QCOMPARE(makeReplicable(m), 0);
        QCOMPARE(makeReplica(m, a, "A", 90, 0), 0);
        QCOMPARE(makeReplica(m, b, "B", 80, 0), 0);
        QCOMPARE(makeReplica(a, c, "C", 70, 0), 0);
        QCOMPARE(makeReplica(m, d, "D", 60, 0), 0);
        setRowByRow(rowByRow);
        auto exchange = [](const QString& x, const QString& y) {
            Exchange e;
            QString error;
            if (synchronize(x, y, Direction::Both, {}, {}, &e, &error) != 0)
                qWarning("%s", qPrintable(error));
            return e;
        };
        QCOMPARE(Plain(m).exec("UPDATE Panels SET PanelName = 'X by M' WHERE PanelID = 1"), SQLITE_OK);
        exchange(a, m);
        exchange(b, a);
        QCOMPARE(Plain(c).exec("UPDATE Panels SET PanelName = 'Z by C' WHERE PanelID = 1"), SQLITE_OK);
        exchange(c, d);
        QCOMPARE(exchange(c, b).conflicts, 1);
        QCOMPARE(Plain(a).exec(byA), SQLITE_OK);
        exchange(a, m);
        QCOMPARE(exchange(b, m).conflicts, 1);
        QCOMPARE(exchange(d, a).conflicts, 1);
        const QStringList files = {m, a, b, c, d};
        bool quiet = false;
        for (int round = 0; round < 6 && !quiet; ++round) {
            quiet = true;
            for (int i = 0; i < files.size(); ++i)
                for (int j = i + 1; j < files.size(); ++j) {
                    const Exchange e = exchange(files[i], files[j]);
                    quiet = quiet && sent(e) == 0 && e.conflicts == 0;
                }
        }
        setRowByRow(false);
        QVERIFY(quiet);
        const QString held = Plain(m).one("SELECT PanelName FROM Panels WHERE PanelID = 1");
        for (const QString& f : files) {
            QCOMPARE(Plain(f).one("SELECT PanelName FROM Panels WHERE PanelID = 1"), held);
            QCOMPARE(content(f), content(m));
        }
        QStringList setAside;
        for (const QString& f : files)
            setAside += Plain(f).rows("SELECT row_data FROM repl_conflicts WHERE row_data IS NOT NULL");
        for (const char* v : {"X by M", "Z by C", "Y by A"})
            if (held != QLatin1String(v) && (v[0] != 'Y' || byA.startsWith(QLatin1String("UPDATE"))))
                QVERIFY2(setAside.join(' ').contains(QLatin1String(v)), v);
    }

    // Two files holding one row under equal lineages: alike only when the values and the writer are; otherwise
    // decided as a conflict, the same way on both paths.
    void equalLineagesWithDifferentValues_data()
    {
        QTest::addColumn<QString>("inMaster");
        QTest::addColumn<QString>("inReplica");   // empty: deleted there
        QTest::addColumn<bool>("oneWriter");
        QTest::addColumn<QString>("held");         // empty: deleted everywhere
        QTest::addColumn<int>("conflicts");
        for (bool rowByRow : {false, true}) {
            const QString how = rowByRow ? QStringLiteral(", row by row") : QString();
            auto row = [&](const char* name) -> QTestData& { return QTest::newRow(qPrintable(QLatin1String(name) + how)); };
            // The same writer: the values decide, the lower first and a row before a deletion.
            row("values differ, one writer") << QString("two") << QString("one") << true << QString("one") << 1;
            row("row and deletion, one writer") << QString("kept") << QString() << true << QString("kept") << 1;
            // The master's writer beats the replica's.
            row("values differ, two writers") << QString("two") << QString("one") << false << QString("two") << 1;
            row("values alike, two writers") << QString("same") << QString("same") << false << QString("same") << 0;
        }
    }

    void equalLineagesWithDifferentValues()
    {
        QFETCH(QString, inMaster);
        QFETCH(QString, inReplica);
        QFETCH(bool, oneWriter);
        QFETCH(QString, held);
        QFETCH(int, conflicts);
        const bool rowByRow = QString::fromLatin1(QTest::currentDataTag()).contains("row by row");
        QString master, replica;
        masterAndReplica(&master, &replica);
        QCOMPARE(Plain(master).exec("UPDATE Panels SET PanelName = 'base' WHERE PanelID = 1"), SQLITE_OK);
        QCOMPARE(synchronize(master, replica, Direction::Both), 0);
        Identity m;
        QCOMPARE(readIdentity(master, &m), 0);
        // Both files are given one lineage for the row, newer than what they had, behind the capture's back.
        auto put = [&](const QString& file, const QString& name) {
            Plain db(file);
            const QString lineage =
                QStringLiteral("json_set(s_Lineage, '$.v.\"999\"', 5, '$.w', %1, '$.p', %2)")
                    .arg(oneWriter ? QStringLiteral("%1").arg(m.nickname) : QStringLiteral("(SELECT nickname FROM repl_info)"),
                         oneWriter ? QString::number(m.priority) : QStringLiteral("(SELECT priority FROM repl_info)"));
            QString sql = QStringLiteral("BEGIN; UPDATE repl_info SET applying = 1;");
            if (name.isEmpty())
                sql += QStringLiteral("INSERT INTO repl_tombstones (guid, tbl, rid, generation, lineage) SELECT s_GUID, "
                                      "'Panels', rowid, (SELECT generation FROM repl_info), %1 FROM Panels WHERE "
                                      "PanelID = 1; DELETE FROM Panels WHERE PanelID = 1;")
                           .arg(lineage);
            else
                sql += QStringLiteral("UPDATE Panels SET PanelName = '%1', s_Lineage = %2, s_Generation = (SELECT "
                                      "generation FROM repl_info) WHERE PanelID = 1;")
                           .arg(name, lineage);
            QCOMPARE(db.exec(sql + QStringLiteral("UPDATE repl_info SET applying = 0; COMMIT;")), SQLITE_OK);
        };
        put(master, inMaster);
        put(replica, inReplica);
        setRowByRow(rowByRow);
        Exchange e, again;
        QCOMPARE(synchronize(master, replica, Direction::Both, {}, {}, &e), 0);
        QCOMPARE(synchronize(replica, master, Direction::Both, {}, {}, &again), 0);
        setRowByRow(false);
        QCOMPARE(e.conflicts, conflicts);
        QCOMPARE(sent(again) + again.conflicts, 0);
        QCOMPARE(content(replica), content(master));
        QCOMPARE(Plain(master).one("SELECT PanelName FROM Panels WHERE PanelID = 1"), held);
        const QString writer = "SELECT coalesce((SELECT json_extract(s_Lineage, '$.w') FROM Panels WHERE PanelID = 1), "
                               "(SELECT json_extract(lineage, '$.w') FROM repl_tombstones WHERE tbl = 'Panels'))";
        QCOMPARE(Plain(replica).one(writer), Plain(master).one(writer));
        const QString loser = inMaster == held ? inReplica : inMaster;
        if (conflicts && !loser.isEmpty())
            QVERIFY(Plain(master).one("SELECT group_concat(row_data) FROM repl_conflicts").contains(loser));
    }

    // Two rows with the same UNIQUE key or primary key added on the two sides: never two rows, never an
    // unseen overwrite.
    void keyClashesAreDecidedNotDuplicated()
    {
        QString master, replica;
        masterAndReplica(&master, &replica);
        Plain(master).exec("DELETE FROM Ratings WHERE PanelID = 5 AND ElementID = 1;"
                           "INSERT INTO Ratings (InspectionID, PanelID, ElementID, Rating) VALUES (1, 5, 1, 8);"
                           "INSERT INTO AvailableElements (ElementID, ElementName) VALUES (4, 'Lining');");
        Plain(replica).exec("DELETE FROM Ratings WHERE PanelID = 5 AND ElementID = 1;"
                            "INSERT INTO Ratings (InspectionID, PanelID, ElementID, Rating) VALUES (1, 5, 1, 3);"
                            "INSERT INTO AvailableElements (ElementID, ElementName) VALUES (4, 'Drain');");
        Exchange e;
        QCOMPARE(synchronize(replica, master, Direction::Both, {}, {}, &e), 0);
        QCOMPARE(content(master), content(replica));
        QCOMPARE(Plain(master).one("SELECT count(*) FROM Ratings WHERE PanelID = 5 AND ElementID = 1"), QString("1"));
        QCOMPARE(Plain(master).one("SELECT ElementName FROM AvailableElements WHERE ElementID = 4"), QString("Lining"));
        QCOMPARE(e.conflicts, 2);
        QVector<Conflict> c;
        QCOMPARE(conflicts(master, &c), 0);
        QStringList data;
        for (const Conflict& x : c)
            data << x.rowData;
        QVERIFY2(data.join(' ').contains("Drain"), qPrintable(data.join(' ')));
        // Each clash names its table and key, so a key given by another writer can be traced.
        QStringList reasons;
        for (const Conflict& x : c)
            reasons << x.reason;
        QVERIFY2(reasons.join('\n').contains("table AvailableElements, key ElementID = 4"), qPrintable(reasons.join('\n')));
        QVERIFY2(reasons.join('\n').contains("table Ratings, key InspectionID = 1, PanelID = 5, ElementID = 1"),
                 qPrintable(reasons.join('\n')));
        // Settled for good.
        Exchange again;
        QCOMPARE(synchronize(master, replica, Direction::Both, {}, {}, &again), 0);
        QCOMPARE(content(master), content(replica));
        QCOMPARE(Plain(replica).one("SELECT count(*) FROM Ratings WHERE PanelID = 5 AND ElementID = 1"), QString("1"));
    }

    // Tables the Design Master keeps to itself (the users and their rights): whichever side starts the exchange,
    // a replica's changes to them are not taken in but kept as conflicts and put back on the replica; its other
    // changes arrive, and the master's own changes to those tables go out.
    void masterOnlyTablesComeFromTheMasterOnly_data()
    {
        QTest::addColumn<bool>("masterStarts");
        QTest::newRow("master starts") << true;
        QTest::newRow("replica starts") << false;
    }
    void masterOnlyTablesComeFromTheMasterOnly()
    {
        QFETCH(bool, masterStarts);
        QString master, replica;
        masterAndReplica(&master, &replica);
        auto exchange = [&](Exchange* e = nullptr) {
            return masterStarts ? synchronize(master, replica, Direction::Both, {}, {}, e)
                                : synchronize(replica, master, Direction::Both, {}, {}, e);
        };
        const QString users = QStringLiteral("SELECT Username, Password, Wizard, DataEntry FROM login ORDER BY 1");
        Plain(master).exec("INSERT INTO login (Username, Password, Wizard, DataEntry) VALUES ('admin', 'h1', 1, 1), "
                           "('clerk', 'h2', 0, 1)");
        QVERIFY(Varnock::SetMasterOnlyTables(master, {"login"}));
        QVERIFY(Varnock::SetMasterOnlyTables(master, {"login"}));   // already so: nothing written
        QCOMPARE(exchange(), 0);
        QCOMPARE(Plain(replica).rows(users), Plain(master).rows(users));

        Plain(replica).exec("INSERT INTO login (Username, Password, Wizard, DataEntry) VALUES ('mallory', 'h3', 1, 1);"
                            "UPDATE login SET Wizard = 1 WHERE Username = 'clerk';"
                            "UPDATE login SET Password = 'h4' WHERE Username = 'admin';"
                            "UPDATE Panels SET PanelName = 'Field' WHERE PanelID = 1");
        Plain(master).exec("UPDATE login SET DataEntry = 0 WHERE Username = 'clerk'");
        const QStringList office = Plain(master).rows(users);
        QCOMPARE(office, (QStringList{"admin|h1|1|1", "clerk|h2|0|0"}));
        Exchange e;
        QCOMPARE(exchange(&e), 0);
        QCOMPARE(Plain(master).rows(users), office);
        QCOMPARE(Plain(replica).rows(users), office);
        QCOMPARE(Plain(master).one("SELECT PanelName FROM Panels WHERE PanelID = 1"), QString("Field"));
        QCOMPARE(e.conflicts, 3);
        for (const QString& f : {master, replica}) {
            QVector<Conflict> c;
            QCOMPARE(conflicts(f, &c), 0);
            QCOMPARE(c.size(), 3);
            QStringList data;
            for (const Conflict& x : c) {
                QCOMPARE(x.table, QString("login"));
                data << x.rowData;
            }
            QVERIFY2(data.join(' ').contains("mallory") && data.join(' ').contains("h4"), qPrintable(data.join(' ')));
        }

        // An emptied users table comes back whole.
        Plain(replica).exec("DELETE FROM login");
        QCOMPARE(exchange(&e), 0);
        QCOMPARE(e.conflicts, 2);
        QCOMPARE(Plain(master).rows(users), office);
        QCOMPARE(Plain(replica).rows(users), office);
        // Settled: nothing more to do, and the next change of the master goes out as usual.
        QCOMPARE(exchange(&e), 0);
        QCOMPARE(e.conflicts + e.insertsReceived + e.updatesReceived + e.deletesReceived + e.insertsAndUpdatesSent, 0);
        Plain(master).exec("UPDATE login SET Wizard = 1 WHERE Username = 'clerk'");
        QCOMPARE(exchange(&e), 0);
        QCOMPARE(e.conflicts, 0);
        QCOMPARE(Plain(replica).rows(users), Plain(master).rows(users));
        QCOMPARE(content(master), content(replica));
    }

    // A user the replica changed comes back under a name the master took from another user the replica did not
    // change: that user's row makes way and comes back as the master has it (or as its deletion).
    void masterOnlyRowComesBackOverAnotherName_data()
    {
        QTest::addColumn<QString>("atMaster");
        QTest::newRow("renamed over a user, who is deleted") << "UPDATE OR REPLACE login SET Username = 'admin' WHERE Username = 'clerk'";
        QTest::newRow("names swapped") << "UPDATE login SET Username = 'x' WHERE Username = 'admin';"
                                          "UPDATE login SET Username = 'admin' WHERE Username = 'clerk';"
                                          "UPDATE login SET Username = 'clerk' WHERE Username = 'x'";
    }

    void masterOnlyRowComesBackOverAnotherName()
    {
        QFETCH(QString, atMaster);
        QString master, replica;
        masterAndReplica(&master, &replica);
        const QString users = QStringLiteral("SELECT Username, Password FROM login ORDER BY 1");
        QCOMPARE(Plain(master).exec("INSERT INTO login (Username, Password, Wizard, DataEntry) VALUES ('admin', 'h1', 1, 1), "
                                    "('clerk', 'h2', 0, 1)"),
                 SQLITE_OK);
        QVERIFY(Varnock::SetMasterOnlyTables(master, {"login"}));
        QCOMPARE(synchronize(replica, master, Direction::Both), 0);
        QCOMPARE(Plain(replica).exec("UPDATE login SET Password = 'h9' WHERE Username = 'clerk'"), SQLITE_OK);
        QCOMPARE(Plain(master).exec(atMaster), SQLITE_OK);
        QString error;
        QCOMPARE(synchronize(replica, master, Direction::Both, {}, {}, nullptr, &error), 0);
        QCOMPARE(Plain(replica).rows(users), Plain(master).rows(users));
        Exchange again;
        QCOMPARE(synchronize(master, replica, Direction::Both, {}, {}, &again), 0);
        QCOMPARE(sent(again) + again.conflicts, 0);
        QVERIFY(Plain(master).one("SELECT group_concat(row_data) FROM repl_conflicts").contains("h9"));
    }

    // Users kept at the master, and a chain of replicas (a replica made of a replica, as Create Inspection Replica
    // does of whichever file is open). What the far end changed in the users comes back as the master has it, in
    // every file of the chain, and stays so: nothing is left to exchange, and no file keeps its own users.
    void masterOnlyRowsComeBackAlongAChain_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<int>("depth");   // replicas between the master and the one that changes
        QTest::newRow("rights raised") << "UPDATE login SET Wizard = 1 WHERE Username = 'inspector'" << 1;
        QTest::newRow("a user added") << "INSERT INTO login (Username, Password, Wizard, DataEntry) VALUES "
                                         "('mallory', 'h9', 1, 1)" << 1;
        QTest::newRow("a user deleted") << "DELETE FROM login WHERE Username = 'clerk'" << 1;
        QTest::newRow("changed and changed back") << "UPDATE login SET Password = 'x' WHERE Username = 'admin';"
                                                     "UPDATE login SET Password = 'h1' WHERE Username = 'admin'" << 1;
        QTest::newRow("all of them, three replicas away")
            << "UPDATE login SET Wizard = 1 WHERE Username = 'inspector'; DELETE FROM login WHERE Username = 'clerk';"
               "INSERT INTO login (Username, Password, Wizard, DataEntry) VALUES ('mallory', 'h9', 1, 1)" << 2;
    }

    void masterOnlyRowsComeBackAlongAChain()
    {
        QFETCH(QString, change);
        QFETCH(int, depth);
        QString master, near;
        masterAndReplica(&master, &near);
        QCOMPARE(Plain(master).exec("INSERT INTO login (Username, Password, Wizard, DataEntry) VALUES ('admin', 'h1', 1, 1), "
                                    "('inspector', 'h2', 0, 1), ('clerk', 'h3', 0, 1)"),
                 SQLITE_OK);
        QVERIFY(Varnock::SetMasterOnlyTables(master, {"login"}));
        QCOMPARE(synchronize(near, master, Direction::Both), 0);
        // chain[0] is the master, chain.last() the replica that changes the users.
        QStringList chain{master, near};
        for (int i = 0; i < depth; ++i) {
            chain << path(QStringLiteral("chain%1-%2.db").arg(m_serial).arg(i));
            QCOMPARE(makeReplica(chain[i + 1], chain[i + 2], "field", 80, 0), 0);
        }
        const QString users = QStringLiteral("SELECT Username, Password, Wizard, DataEntry FROM login ORDER BY 1");
        const QStringList office = Plain(master).rows(users);
        QCOMPARE(Plain(chain.last()).exec(change), SQLITE_OK);
        // Up the chain to the master, which refuses; then down again.
        for (int i = int(chain.size()) - 1; i > 0; --i)
            QCOMPARE(synchronize(chain[i], chain[i - 1], Direction::Both), 0);
        for (int i = 1; i < chain.size(); ++i)
            QCOMPARE(synchronize(chain[i], chain[i - 1], Direction::Both), 0);
        for (const QString& f : chain)
            QCOMPARE(Plain(f).rows(users), office);
        // Nothing left anywhere, whichever two files meet.
        for (int i = 0; i < chain.size(); ++i)
            for (int j = i + 1; j < chain.size(); ++j) {
                Exchange e;
                QCOMPARE(synchronize(chain[j], chain[i], Direction::Both, {}, {}, &e), 0);
                QCOMPARE(sent(e) + e.conflicts, 0);
            }
        // The master's own next change reaches the far end, with no conflict.
        QCOMPARE(Plain(master).exec("UPDATE login SET DataEntry = 0 WHERE Username = 'inspector'"), SQLITE_OK);
        int conflictCount = 0;
        for (int i = 1; i < chain.size(); ++i) {
            Exchange e;
            QCOMPARE(synchronize(chain[i], chain[i - 1], Direction::Both, {}, {}, &e), 0);
            conflictCount += e.conflicts;
        }
        QCOMPARE(conflictCount, 0);
        QCOMPARE(Plain(chain.last()).rows(users), Plain(master).rows(users));
        QCOMPARE(content(chain.last()), content(master));
    }

    // A replica that may not delete refuses a REPLACE that would remove another row as it refuses a DELETE: the
    // statement fails and the row stays, there and, after an exchange, at the master. A REPLACE of the row itself
    // is its new version.
    void preventDeletesRefusesReplace_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<bool>("refused");
        QTest::newRow("DELETE") << "DELETE FROM Panels WHERE PanelID = 3" << true;
        QTest::newRow("UPDATE OR REPLACE of an INTEGER PRIMARY KEY") << "UPDATE OR REPLACE Panels SET PanelID = 3 "
                                                                        "WHERE PanelID = 4" << true;
        QTest::newRow("UPDATE OR REPLACE of a unique key")
            << "UPDATE OR REPLACE Ratings SET ElementID = 3 WHERE PanelID = 1 AND ElementID = 2" << true;
        QTest::newRow("INSERT OR REPLACE meeting two rows")
            << "INSERT OR REPLACE INTO login (rowid, Username, Password) VALUES (1, 'clerk', 'h9')" << true;
        QTest::newRow("with recursive triggers on") << "PRAGMA recursive_triggers = ON; UPDATE OR REPLACE Panels SET "
                                                       "PanelID = 3 WHERE PanelID = 4" << true;
        QTest::newRow("REPLACE of the row itself")
            << "REPLACE INTO Ratings (InspectionID, PanelID, ElementID, Rating) VALUES (1, 1, 1, 9)" << false;
        QTest::newRow("INSERT OR REPLACE of the same login")
            << "INSERT OR REPLACE INTO login (Username, Password) VALUES ('clerk', 'h9')" << false;
        QTest::newRow("UPDATE OR IGNORE onto a taken key") << "UPDATE OR IGNORE Panels SET PanelID = 3 WHERE PanelID = 4"
                                                           << false;
        QTest::newRow("UPDATE OR REPLACE onto a free key") << "UPDATE OR REPLACE Panels SET PanelID = 30 WHERE PanelID = 4"
                                                           << false;
    }

    void preventDeletesRefusesReplace()
    {
        QFETCH(QString, sql);
        QFETCH(bool, refused);
        QString master, replica;
        masterAndReplica(&master, &replica, ReplicaFlag::PreventDeletes);
        Plain(master).exec("INSERT INTO login (Username, Password) VALUES ('admin', 'h1'), ('clerk', 'h2')");
        QCOMPARE(synchronize(master, replica, Direction::Both), 0);
        const QStringList before = content(replica);
        const QString users = QStringLiteral("SELECT group_concat(Username || ':' || Password) FROM login");
        const QString loginBefore = one(replica, users);
        {
            Plain db(replica);
            QCOMPARE(db.exec(sql) != SQLITE_OK, refused);
            if (refused)
                QVERIFY2(db.error().contains("Rows cannot be deleted in this replica."), qPrintable(db.error()));
        }
        if (refused) {
            QCOMPARE(content(replica), before);
            QCOMPARE(one(replica, users), loginBefore);
        }
        Exchange e;
        QCOMPARE(synchronize(replica, master, Direction::Both, {}, {}, &e), 0);
        QCOMPARE(e.deletesReceived + e.deletesSent + e.conflicts, 0);
        QCOMPARE(content(master), content(replica));
        QCOMPARE(one(master, users), one(replica, users));
        QCOMPARE(one(master, "SELECT count(*) FROM Panels"), QString("5"));
        QCOMPARE(one(master, "SELECT count(*) FROM Ratings"), QString("15"));
        QCOMPARE(one(master, "SELECT count(*) FROM login"), QString("2"));
    }

    // Another program holds a replica open in WAL mode: the exchange cannot take the file, says why, and leaves both
    // files as they were; once that program is gone, the exchange goes through.
    void replicaHeldOpenInWalMode()
    {
        QString master, replica;
        masterAndReplica(&master, &replica);
        Plain(master).exec("UPDATE Panels SET PanelName = 'office' WHERE PanelID = 1");
        const QStringList m = content(master), r = content(replica);
        QString error;
        {
            Plain other(replica);
            QCOMPARE(other.one("PRAGMA journal_mode = WAL"), QString("wal"));
            QCOMPARE(other.one("SELECT count(*) FROM Panels"), QString("5"));
            Exchange e;
            QCOMPARE(synchronize(master, replica, Direction::Both, {}, {}, &e, &error), Result::Locked);
            QVERIFY2(error.contains("open in another program that uses it in WAL mode") &&
                         error.contains("nothing was changed") && error.contains(replica),
                     qPrintable(error));
            QCOMPARE(e.errorText, error);
            QCOMPARE(content(master), m);
            QCOMPARE(content(replica), r);
        }
        QCOMPARE(synchronize(master, replica, Direction::Both, {}, {}, nullptr, &error), 0);
        QCOMPARE(one(replica, "SELECT PanelName FROM Panels WHERE PanelID = 1"), QString("office"));
    }

    // Master -> R1 -> R2: changes pass on through the middle replica, both ways.
    void threeReplicaChain()
    {
        QString master, r1;
        masterAndReplica(&master, &r1);
        const QString r2 = path("chain-r2.db");
        QCOMPARE(makeReplica(r1, r2, "second", 80, 0), 0);
        Plain(master).exec("UPDATE Panels SET PanelName = 'from master' WHERE PanelID = 1");
        Plain(r2).exec("UPDATE Panels SET PanelName = 'from r2' WHERE PanelID = 2; DELETE FROM Ratings WHERE PanelID = 4");
        QCOMPARE(synchronize(r1, r2, Direction::Both), 0);
        QCOMPARE(synchronize(master, r1, Direction::Both), 0);
        QCOMPARE(synchronize(r1, r2, Direction::Both), 0);
        QCOMPARE(content(master), content(r2));
        QCOMPARE(content(r1), content(r2));
        QCOMPARE(Plain(master).one("SELECT PanelName FROM Panels WHERE PanelID = 2"), QString("from r2"));
        QCOMPARE(Plain(r2).one("SELECT PanelName FROM Panels WHERE PanelID = 1"), QString("from master"));
        // The master now knows the second-generation replica too.
        QVector<Member> m;
        QCOMPARE(members(master, &m), 0);
        QCOMPARE(m.size(), 3);
        // And can exchange with it directly, with nothing left to do.
        Exchange e;
        QCOMPARE(synchronize(master, r2, Direction::Both, {}, {}, &e), 0);
        QCOMPARE(e.insertsReceived + e.updatesReceived + e.deletesReceived + e.conflicts, 0);
    }

    void refusals()
    {
        QString master, replica;
        masterAndReplica(&master, &replica);
        QCOMPARE(synchronize(master, master, Direction::Both), Result::SameReplica);
        // A plain copy of a file carries the same identity.
        QVERIFY(QFile::copy(replica, path("copy-of-replica.db")));
        QCOMPARE(synchronize(replica, path("copy-of-replica.db"), Direction::Both), Result::SameReplica);
        QString other, otherReplica;
        masterAndReplica(&other, &otherReplica);
        QCOMPARE(synchronize(master, otherReplica, Direction::Both), Result::OtherSet);
        const QString plain = path("refusal-plain.db");
        QCOMPARE(makeTunnelDb(plain), QString());
        QCOMPARE(synchronize(master, plain, Direction::Both), Result::NotReplicable);
        QCOMPARE(replicaId(plain), QString());
        QCOMPARE(synchronize(master, path("nothing.db"), Direction::Both), Result::NotDatabase);
        QVector<Exchange> h;
        QCOMPARE(history(master, Filter::Unsuccessful, &h), 0);
        QCOMPARE(h.size(), 4);
        QCOMPARE(history(master, Filter::Successful, &h), 0);
        QCOMPARE(h.size(), 0);
    }

    void cancelledExchangeChangesNothing()
    {
        QString master, replica;
        masterAndReplica(&master, &replica);
        Plain(master).exec("UPDATE Ratings SET Rating = 0");
        Plain(replica).exec("DELETE FROM Panels WHERE PanelID > 2");
        const QStringList m = content(master), r = content(replica);
        int calls = 0;
        Exchange e;
        QCOMPARE(synchronize(master, replica, Direction::Both, [&](qint64 done, qint64) { return ++calls < 3 || done == 0; },
                             {}, &e),
                 Result::Cancelled);
        QCOMPARE(e.status, int(Status::Cancelled));
        QCOMPARE(content(master), m);
        QCOMPARE(content(replica), r);
        QCOMPARE(synchronize(master, replica, Direction::Both), 0);
        QCOMPARE(content(master), content(replica));
    }

    // A process killed in the middle of an exchange leaves both files as they were.
    void killedInTheMiddle()
    {
        QString master, replica;
        masterAndReplica(&master, &replica);
        {
            Plain m(master);
            m.exec("BEGIN");
            for (int i = 0; i < 3000; ++i)
                m.exec(QStringLiteral("INSERT INTO DefectQuantity (ID, PanelID, InspectionID, Description) "
                                      "VALUES (%1, 1, 1, '%2')").arg(1000 + i).arg(QString(200, QChar('x'))));
            m.exec("COMMIT");
        }
        Plain(replica).exec("UPDATE Ratings SET Rating = 1");
        const QStringList m = content(master), r = content(replica);
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), {"--exchange-and-stall", master, replica});
        QVERIFY(child.waitForStarted());
        QVERIFY(child.waitForReadyRead(60000));
        QVERIFY(child.readAll().contains("stalled"));
        ::kill(pid_t(child.processId()), SIGKILL);
        QVERIFY(child.waitForFinished());
        QCOMPARE(content(master), m);
        QCOMPARE(content(replica), r);
        QCOMPARE(synchronize(master, replica, Direction::Both), 0);
        QCOMPARE(content(master), content(replica));
        QCOMPARE(Plain(master).one("SELECT count(*) FROM DefectQuantity"), QString("3000"));
    }
};

// The child of killedInTheMiddle: exchanges, and stops for good halfway, inside the transaction.
static int exchangeAndStall(const QString& a, const QString& b)
{
    const int rc = synchronize(a, b, Direction::Both, [](qint64 done, qint64 total) {
        if (done > total / 2) {
            std::fputs("stalled\n", stdout);
            std::fflush(stdout);
            for (;;)
                QThread::sleep(1);
        }
        return true;
    });
    return rc == 0 ? 0 : 1;
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 4 && qstrcmp(argv[1], "--exchange-and-stall") == 0)
        return exchangeAndStall(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    TstReplStore t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_replstore.moc"

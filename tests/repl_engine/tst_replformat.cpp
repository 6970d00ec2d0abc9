// What a replicable file stores: making a file replicable rewrites no row (rows keep their records until
// they change), rows never changed are still found after VACUUM and key changes, and files whose every row
// carries its identity and lineage (as earlier versions made them) open and exchange as before.
#include <QtTest>
#include <QFileInfo>
#include <sqlite3.h>

#include "plaindb.h"
#include "replstore.h"

using namespace Varnock::Store;

namespace {

const QStringList kTables = {"Panels", "Ratings", "UnitTypes", "DefectQuantity"};

// The user data of a file, change columns left out, in a fixed order.
QStringList content(const QString& path)
{
    return tableContent(path, kTables);
}

// A tunnel database with `panels` panels of 25 rated elements and a few units (a table with no index of its own).
void fill(const QString& path, int panels)
{
    newTunnelDb(path);
    Plain db(path);
    const QString sql = QStringLiteral(
        "BEGIN;"
        "WITH RECURSIVE p(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM p WHERE n < %1) "
        "INSERT INTO Panels (PanelID, TunnelID, PanelNum, PanelName) SELECT n, 1, n, 'P' || n FROM p;"
        "WITH RECURSIVE e(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM e WHERE n < 25) "
        "INSERT INTO Ratings (InspectionID, PanelID, ElementID, Rating) SELECT 1, p.PanelID, e.n, (p.PanelID + e.n) % 10 "
        "FROM Panels p, e;"
        "INSERT INTO UnitTypes (Unit) VALUES ('ea'), ('ft'), ('sq ft'), ('lin ft'), ('cu yd');"
        "COMMIT;")
                            .arg(panels);
    QCOMPARE(db.exec(sql), SQLITE_OK);
}

// The capture triggers of the earlier format: every row carries its identity and lineage from the start.
QStringList earlierTriggers(const QString& t)
{
    const QString bump = QStringLiteral("json_set(coalesce(%1, '{\"v\":{}}'), '$.w', i.nickname, '$.p', i.priority, "
                                        "'$.v.\"' || i.nickname || '\"', i.generation)");
    return {
        QStringLiteral("CREATE TRIGGER \"repl_ai_%1\" AFTER INSERT ON \"%1\" WHEN (SELECT applying FROM repl_info) = 0 BEGIN "
                       "UPDATE \"%1\" SET s_GUID = randomblob(16), s_Generation = (SELECT generation FROM repl_info), "
                       "s_Lineage = (SELECT json_object('w', nickname, 'p', priority, 'v', "
                       "json_object(CAST(nickname AS TEXT), generation)) FROM repl_info) WHERE rowid = NEW.rowid; END")
            .arg(t),
        QStringLiteral("CREATE TRIGGER \"repl_au_%1\" AFTER UPDATE ON \"%1\" WHEN (SELECT applying FROM repl_info) = 0 "
                       "AND NEW.s_Lineage IS OLD.s_Lineage BEGIN UPDATE \"%1\" SET s_GUID = coalesce(s_GUID, randomblob(16)), "
                       "s_Generation = (SELECT generation FROM repl_info), s_Lineage = (SELECT %2 FROM repl_info i) "
                       "WHERE rowid = NEW.rowid AND (s_Generation IS NOT (SELECT generation FROM repl_info) "
                       "OR s_Lineage IS NOT (SELECT %2 FROM repl_info i)); END")
            .arg(t, bump.arg(QStringLiteral("OLD.s_Lineage"))),
        QStringLiteral("CREATE TRIGGER \"repl_ad_%1\" AFTER DELETE ON \"%1\" WHEN (SELECT applying FROM repl_info) = 0 "
                       "AND OLD.s_GUID IS NOT NULL BEGIN INSERT OR REPLACE INTO repl_tombstones (guid, tbl, rid, generation, "
                       "lineage) SELECT OLD.s_GUID, '%1', OLD.rowid, i.generation, %2 FROM repl_info i; END")
            .arg(t, bump.arg(QStringLiteral("OLD.s_Lineage"))),
    };
}

// A replicable file turned into the earlier format: identity, generation 1 and the first lineage stored in every
// row, full indexes, the earlier triggers.
void toEarlierFormat(const QString& path)
{
    Plain db(path);
    QString sql = QStringLiteral("BEGIN; UPDATE repl_info SET applying = 1;");
    for (const QString& t : db.rows(QStringLiteral("SELECT name FROM repl_tables"))) {
        sql += QStringLiteral("UPDATE \"%1\" SET s_GUID = randomblob(16), s_Generation = 1, s_Lineage = (SELECT "
                              "json_object('w', nickname, 'p', priority, 'v', json_object(CAST(nickname AS TEXT), 1)) "
                              "FROM repl_info);"
                              "DROP INDEX \"repl_guid_%1\"; DROP INDEX \"repl_gen_%1\";"
                              "CREATE UNIQUE INDEX \"repl_guid_%1\" ON \"%1\" (s_GUID);"
                              "CREATE INDEX \"repl_gen_%1\" ON \"%1\" (s_Generation);"
                              "DROP TRIGGER \"repl_ai_%1\"; DROP TRIGGER \"repl_au_%1\"; DROP TRIGGER \"repl_ad_%1\";")
                   .arg(t);
        for (const QString& trig : earlierTriggers(t))
            sql += trig + QLatin1Char(';');
    }
    sql += QStringLiteral("UPDATE repl_info SET applying = 0; COMMIT;");
    QVERIFY2(db.exec(sql) == SQLITE_OK, qPrintable(db.error()));
}

// The capture triggers of the version before this one, which derived the identity of an unchanged row from its
// rowid in every table.
QStringList rowidTriggers(const QString& t, const QString& l0)
{
    const QString bump = QStringLiteral("json_set(coalesce(%1, '{\"v\":{}}'), '$.w', i.nickname, '$.p', i.priority, "
                                        "'$.v.\"' || i.nickname || '\"', i.generation)")
                             .arg(QStringLiteral("coalesce(OLD.s_Lineage, '%1')").arg(l0));
    const QString derived = QStringLiteral("CAST('~%1:' || OLD.rowid AS BLOB)").arg(t);
    return {
        QStringLiteral("CREATE TRIGGER \"repl_ai_%1\" AFTER INSERT ON \"%1\" WHEN (SELECT applying FROM repl_info) = 0 BEGIN "
                       "UPDATE \"%1\" SET s_GUID = randomblob(16), s_Generation = (SELECT generation FROM repl_info), "
                       "s_Lineage = (SELECT json_object('w', nickname, 'p', priority, 'v', "
                       "json_object(CAST(nickname AS TEXT), generation)) FROM repl_info) WHERE rowid = NEW.rowid; END")
            .arg(t),
        QStringLiteral("CREATE TRIGGER \"repl_au_%1\" AFTER UPDATE ON \"%1\" WHEN (SELECT applying FROM repl_info) = 0 "
                       "AND NEW.s_Lineage IS OLD.s_Lineage BEGIN UPDATE \"%1\" SET s_GUID = coalesce(s_GUID, OLD.s_GUID, %3), "
                       "s_Generation = (SELECT generation FROM repl_info), s_Lineage = (SELECT %2 FROM repl_info i) "
                       "WHERE rowid = NEW.rowid AND (s_Generation IS NOT (SELECT generation FROM repl_info) "
                       "OR s_Lineage IS NOT (SELECT %2 FROM repl_info i)); END")
            .arg(t, bump, derived),
        QStringLiteral("CREATE TRIGGER \"repl_ad_%1\" AFTER DELETE ON \"%1\" WHEN (SELECT applying FROM repl_info) = 0 BEGIN "
                       "INSERT OR REPLACE INTO repl_tombstones (guid, tbl, rid, generation, lineage) "
                       "SELECT coalesce(OLD.s_GUID, %3), '%1', OLD.rowid, i.generation, %2 FROM repl_info i; END")
            .arg(t, bump, derived),
    };
}

// A replicable file turned into what the version before this one made: no row stores anything until it changes,
// and the identities of unchanged rows are derived from their rowids.
void toRowidFormat(const QString& path)
{
    Plain db(path);
    const QString l0 = db.one("SELECT json_object('w', r.nickname, 'p', 100, 'v', json_object(CAST(r.nickname AS TEXT), 1)) "
                              "FROM repl_replicas r, repl_info i WHERE r.replica_guid = i.dm_guid");
    QString sql = QStringLiteral("BEGIN;");
    for (const QString& t : db.rows(QStringLiteral("SELECT name FROM repl_tables"))) {
        for (const QString& trig : db.rows(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'trigger' AND "
                                                          "tbl_name = '%1' AND name LIKE 'repl\\_%%' ESCAPE '\\'").arg(t)))
            sql += QStringLiteral("DROP TRIGGER \"%1\";").arg(trig);
        for (const QString& trig : rowidTriggers(t, l0))
            sql += trig + QLatin1Char(';');
    }
    sql += QStringLiteral("UPDATE repl_info SET applying = 1; UPDATE UnitTypes SET s_GUID = NULL; "
                          "UPDATE repl_info SET applying = 0; DROP TABLE repl_keys; DROP TABLE repl_replaced; COMMIT;");
    QVERIFY2(db.exec(sql) == SQLITE_OK, qPrintable(db.error()));
}

int storedIdentities(const QString& path, const QString& table)
{
    return Plain(path)
        .one(QStringLiteral("SELECT count(*) FROM \"%1\" WHERE s_GUID IS NOT NULL OR s_Generation IS NOT NULL "
                            "OR s_Lineage IS NOT NULL")
                 .arg(table))
        .toInt();
}

}  // namespace

class TstReplFormat : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_serial = 0;

    QString path(const QString& name) { return m_dir.filePath(QStringLiteral("%1-%2.db").arg(name).arg(++m_serial)); }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    // Each row used to gain a 16-byte identity, a lineage text and two index entries: about three times the file.
    void makingReplicableRewritesNoRow()
    {
        const QString master = path("master"), replica = path("replica");
        fill(master, 2000);   // 50,000 ratings
        const qint64 plain = QFileInfo(master).size();
        const QString ratingsPages = QStringLiteral("SELECT sum(pgsize) FROM dbstat WHERE name = 'Ratings'");
        const QString ratingsTable = one(master, ratingsPages);
        QCOMPARE(makeReplicable(master), 0);
        QCOMPARE(storedIdentities(master, "Ratings"), 0);
        QCOMPARE(storedIdentities(master, "Panels"), 0);
        // Not a page more for the rows, and the replication indexes of the table are empty.
        QCOMPARE(one(master, ratingsPages), ratingsTable);
        QCOMPARE(one(master, "SELECT count(*) FROM dbstat WHERE name IN ('repl_guid_Ratings', 'repl_gen_Ratings')"),
                 QString("2"));
        const qint64 replicable = QFileInfo(master).size();
        QVERIFY2(replicable <= plain * 13 / 10, qPrintable(QStringLiteral("%1 -> %2 bytes").arg(plain).arg(replicable)));
        QString error;
        QCOMPARE(makeReplica(master, replica, "Field", 90, 0, {}, &error), 0);
        QVERIFY(QFileInfo(replica).size() <= plain * 13 / 10);

        // A change stores the row's identity and lineage; the others stay as they are.
        Plain(replica).exec("UPDATE Ratings SET Rating = 1 WHERE PanelID = 7 AND ElementID = 3");
        QCOMPARE(storedIdentities(replica, "Ratings"), 1);
        QCOMPARE(synchronize(replica, master, Direction::Both), 0);
        QCOMPARE(content(master), content(replica));
        QCOMPARE(storedIdentities(master, "Ratings"), 1);
        // Both files know the row by one identity.
        const QString sql = QStringLiteral("SELECT hex(s_GUID) FROM Ratings WHERE PanelID = 7 AND ElementID = 3");
        QCOMPARE(one(master, sql), one(replica, sql));
        QVERIFY(!one(master, sql).isEmpty());
    }

    // Rows never changed are known by their key or, in a table without one, by their values: VACUUM and VACUUM INTO
    // keep them, and a row whose key changes or that is deleted and added again is still told apart.
    void unchangedRowsFoundAfterRewrites_data()
    {
        QTest::addColumn<QString>("before");   // on the replica, before the changes below
        QTest::addColumn<QString>("change");   // on the replica
        QTest::newRow("VACUUM") << QStringLiteral("DELETE FROM UnitTypes WHERE Unit = 'ea'; "
                                                  "DELETE FROM Panels WHERE PanelID IN (1, 2); VACUUM;")
                                << QStringLiteral("UPDATE UnitTypes SET Unit = 'each' WHERE Unit = 'sq ft';"
                                                  "UPDATE Panels SET PanelName = 'Portal' WHERE PanelID = 4;");
        QTest::newRow("VACUUM INTO") << QStringLiteral("DELETE FROM UnitTypes WHERE Unit = 'ft'; VACUUM INTO '%1';")
                                     << QStringLiteral("UPDATE UnitTypes SET Unit = 'metre' WHERE Unit = 'lin ft';");
        QTest::newRow("key changed") << QString()
                                     << QStringLiteral("UPDATE Panels SET PanelID = 900, PanelName = 'moved' WHERE PanelID = 3;"
                                                       "UPDATE UnitTypes SET rowid = 77 WHERE Unit = 'cu yd';");
        QTest::newRow("deleted and added again") << QString()
                                                 << QStringLiteral("DELETE FROM Panels WHERE PanelID = 5;"
                                                                   "INSERT INTO Panels (PanelID, TunnelID, PanelNum, PanelName) "
                                                                   "VALUES (5, 1, 5, 'again');"
                                                                   "DELETE FROM UnitTypes WHERE Unit = 'cu yd';"
                                                                   "INSERT INTO UnitTypes (Unit) VALUES ('bag');");
    }

    void unchangedRowsFoundAfterRewrites()
    {
        QFETCH(QString, before);
        QFETCH(QString, change);
        const QString master = path("master"), replica = path("replica");
        fill(master, 6);
        QCOMPARE(makeReplicable(master), 0);
        QCOMPARE(makeReplica(master, replica, "Field", 90, 0), 0);
        QString vacuumed = replica + QStringLiteral(".vacuumed");
        {
            Plain db(replica);
            QVERIFY2(db.exec(before.contains(QLatin1String("%1")) ? before.arg(vacuumed) : before) == SQLITE_OK,
                     qPrintable(db.error()));
        }
        if (before.contains(QLatin1String("VACUUM INTO"))) {
            QVERIFY(QFile::remove(replica));
            QVERIFY(QFile::rename(vacuumed, replica));
        }
        {
            Plain db(replica);
            QVERIFY2(db.exec(change) == SQLITE_OK, qPrintable(db.error()));
        }
        // The master changes rows of its own meanwhile.
        Plain(master).exec("UPDATE Ratings SET Rating = 1 WHERE PanelID = 6; UPDATE Panels SET PanelName = 'M' WHERE PanelID = 6");
        const QStringList expected = [&] {
            QStringList c = content(replica);
            for (QString& line : c)
                if (line.startsWith(QLatin1String("Ratings:1|6|")))
                    line = line.section(QLatin1Char('|'), 0, 2) + QStringLiteral("|1|0");
                else if (line.startsWith(QLatin1String("Panels:6|")))
                    line = QStringLiteral("Panels:6|1|6|'M'");
            return c;
        }();
        Exchange e;
        QCOMPARE(synchronize(master, replica, Direction::Both, {}, {}, &e), 0);
        QCOMPARE(e.conflicts, 0);
        QCOMPARE(content(replica), expected);
        QCOMPARE(content(master), expected);
        Exchange again;
        QCOMPARE(synchronize(replica, master, Direction::Both, {}, {}, &again), 0);
        QCOMPARE(again.insertsReceived + again.updatesReceived + again.deletesReceived + again.insertsAndUpdatesSent +
                     again.deletesSent,
                 0);
    }

    // A file of the earlier format (every row stamped) and a replica made of it now: changes, a conflict, a deletion
    // against a change and a key clash, both ways, set-based and row by row.
    void earlierFormatStillExchanges_data()
    {
        QTest::addColumn<bool>("rowByRow");
        QTest::newRow("set-based") << false;
        QTest::newRow("row by row") << true;
    }

    void earlierFormatStillExchanges()
    {
        QFETCH(bool, rowByRow);
        const QString master = path("master"), replica = path("replica");
        fill(master, 6);
        QCOMPARE(makeReplicable(master), 0);
        toEarlierFormat(master);
        QCOMPARE(storedIdentities(master, "Ratings"), 150);
        QCOMPARE(makeReplica(master, replica, "Field", 90, 0), 0);
        Plain(master).exec("UPDATE Ratings SET Rating = 7 WHERE PanelID = 1 AND ElementID = 1;"
                           "DELETE FROM Panels WHERE PanelID = 2;"
                           "UPDATE Panels SET PanelName = 'master' WHERE PanelID = 3;"
                           "INSERT INTO UnitTypes (Unit) VALUES ('bag');"
                           "INSERT INTO DefectQuantity (ID, PanelID, InspectionID, Quantity) VALUES (50, 1, 1, 1.5);");
        Plain(replica).exec("UPDATE Ratings SET Rating = 3 WHERE PanelID = 1 AND ElementID = 1;"
                            "UPDATE Panels SET PanelName = 'kept?' WHERE PanelID = 2;"
                            "DELETE FROM Ratings WHERE PanelID = 4;"
                            "UPDATE UnitTypes SET Unit = 'each' WHERE Unit = 'ea';"
                            "INSERT INTO DefectQuantity (ID, PanelID, InspectionID, Quantity) VALUES (50, 2, 1, 9.0);");
        setRowByRow(rowByRow);
        Exchange e;
        const int rc = synchronize(replica, master, Direction::Both, {}, {}, &e);
        setRowByRow(false);
        QCOMPARE(rc, 0);
        QCOMPARE(content(master), content(replica));
        QCOMPARE(e.conflicts, 3);
        Plain m(master);
        QCOMPARE(m.one("SELECT Rating FROM Ratings WHERE PanelID = 1 AND ElementID = 1"), QString("7"));
        QCOMPARE(m.one("SELECT count(*) FROM Ratings WHERE PanelID = 4"), QString("0"));
        QCOMPARE(m.one("SELECT PanelName FROM Panels WHERE PanelID = 3"), QString("master"));
        QCOMPARE(m.one("SELECT Unit FROM UnitTypes WHERE Unit IN ('ea', 'each')"), QString("each"));
        QCOMPARE(m.one("SELECT Quantity FROM DefectQuantity WHERE ID = 50"), QString("1.5"));
        // Still the earlier format: every row carries its identity.
        for (const QString& f : {master, replica})
            QCOMPARE(Plain(f).one("SELECT count(*) FROM Ratings WHERE s_GUID IS NULL OR s_Lineage IS NULL"), QString("0"));
        Exchange again;
        QCOMPARE(synchronize(master, replica, Direction::Both, {}, {}, &again), 0);
        QCOMPARE(again.insertsReceived + again.updatesReceived + again.deletesReceived + again.insertsAndUpdatesSent +
                     again.deletesSent + again.conflicts,
                 0);
        // Once the engine has opened them, the files follow this version's rules: a rewrite that changes no value
        // is no change.
        QCOMPARE(Plain(replica).exec("UPDATE Ratings SET Rating = Rating; UPDATE Panels SET PanelName = PanelName"),
                 SQLITE_OK);
        QCOMPARE(synchronize(master, replica, Direction::Both, {}, {}, &again), 0);
        QCOMPARE(again.insertsReceived + again.updatesReceived + again.insertsAndUpdatesSent, 0);
    }

    // Files of the earlier formats: once this version has exchanged them they survive a rebuild with the sqlite3
    // shell and take REPLACE as a change; a file of the rowid format rebuilt before this version saw it is refused.
    void earlierFormatsAfterARebuild_data()
    {
        QTest::addColumn<bool>("everyRowStamped");
        QTest::addColumn<bool>("rebuildFirst");
        QTest::addColumn<int>("result");
        QTest::newRow("every row stamped, rebuilt") << true << true << 0;
        QTest::newRow("every row stamped, exchanged, then rebuilt") << true << false << 0;
        QTest::newRow("rowid format, exchanged, then rebuilt") << false << false << 0;
        QTest::newRow("rowid format, rebuilt before this version saw it") << false << true << int(Result::IdentitiesDiffer);
    }

    void earlierFormatsAfterARebuild()
    {
        QFETCH(bool, everyRowStamped);
        QFETCH(bool, rebuildFirst);
        QFETCH(int, result);
        const QString master = path("master"), replica = path("replica");
        fill(master, 6);
        Plain(master).exec("DELETE FROM Ratings WHERE PanelID = 1; DELETE FROM UnitTypes WHERE Unit = 'ea'");
        QCOMPARE(makeReplicable(master), 0);
        if (everyRowStamped)
            toEarlierFormat(master);
        QCOMPARE(makeReplica(master, replica, "Field", 90, 0), 0);
        if (!everyRowStamped)
            for (const QString& f : {master, replica})
                toRowidFormat(f);
        // A change made under the earlier triggers, not exchanged yet.
        QCOMPARE(Plain(replica).exec("UPDATE Ratings SET Rating = 0 WHERE PanelID = 2 AND ElementID = 2"), SQLITE_OK);
        if (!rebuildFirst)
            QCOMPARE(synchronize(master, replica, Direction::Both), 0);
        QCOMPARE(rebuildWithShell(replica, false), QString());
        if (rebuildFirst) {
            const QStringList before = content(master), theirs = content(replica);
            Exchange first;
            QString error;
            QCOMPARE(synchronize(master, replica, Direction::Both, {}, {}, &first, &error), result);
            if (result != 0) {
                QVERIFY2(error.contains("no longer agree"), qPrintable(error));
                QCOMPARE(content(master), before);
                QCOMPARE(content(replica), theirs);
                return;
            }
        }
        // Other tools' writes once this version has opened the files.
        QCOMPARE(Plain(replica).exec("REPLACE INTO Ratings (InspectionID, PanelID, ElementID, Rating) VALUES (1, 3, 4, 1);"
                                     "UPDATE Ratings SET Rating = 2 WHERE PanelID = 6 AND ElementID = 25;"
                                     "UPDATE UnitTypes SET Unit = 'each' WHERE Unit = 'cu yd'"),
                 SQLITE_OK);
        QCOMPARE(Plain(master).exec("UPDATE Ratings SET Rating = 9 WHERE PanelID = 5 AND ElementID = 5"), SQLITE_OK);
        Exchange e;
        QCOMPARE(synchronize(master, replica, Direction::Both, {}, {}, &e), 0);
        QCOMPARE(e.conflicts, 0);
        QCOMPARE(content(master), content(replica));
        Plain m(master);
        QCOMPARE(m.one("SELECT Rating FROM Ratings WHERE PanelID = 2 AND ElementID = 2"), QString("0"));
        QCOMPARE(m.one("SELECT Rating FROM Ratings WHERE PanelID = 3 AND ElementID = 4"), QString("1"));
        QCOMPARE(m.one("SELECT Rating FROM Ratings WHERE PanelID = 6 AND ElementID = 25"), QString("2"));
        QCOMPARE(m.one("SELECT count(*) FROM Ratings"), QString("125"));
        QCOMPARE(m.one("SELECT group_concat(Unit, ',') FROM (SELECT Unit FROM UnitTypes ORDER BY Unit)"),
                 QString("each,ft,lin ft,sq ft"));
    }
};

QTEST_GUILESS_MAIN(TstReplFormat)
#include "tst_replformat.moc"

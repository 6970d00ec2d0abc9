// Which row is which, across replicas and whatever other tools do to the files: a file rebuilt with the sqlite3
// shell (.dump into a new file, .clone) on either side keeps every change of both sides; REPLACE on a replica
// arrives as the new version of the row; two rows that swap keys both survive; a descending INTEGER PRIMARY KEY is
// not the rowid; a WITHOUT ROWID table is refused; files that no longer agree on identities are not exchanged.
#include <QtTest>
#include <sqlite3.h>

#include "plaindb.h"
#include "replpair.h"
#include "replstore.h"

using namespace Varnock::Store;

namespace {

// Every user table of a file, change columns left out.
QStringList content(const QString& path)
{
    Plain db(path);
    return tableContent(path, db.rows("SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'repl\\_%' "
                                      "ESCAPE '\\' AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\' ORDER BY name"));
}

// One tunnel, one period, panels 1..8 with four rated elements each, a comment and tab text per panel, four corner
// points per panel (a table without a key, two panels with the same corners), units and pictures (no key either),
// and rows deleted before the file became replicable, so every table has rowid gaps.
void fill(const QString& path)
{
    fillTunnel(path,
        "WITH RECURSIVE p(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM p WHERE n < 8) "
        "INSERT INTO Panels (PanelID, TunnelID, PanelNum, PanelName) SELECT n, 1, n, 'N-0' || n FROM p;"
        "INSERT INTO Ratings (InspectionID, PanelID, ElementID, Rating) SELECT 1, p.PanelID, e.ElementID, "
        "(p.PanelID + e.ElementID) % 9 + 1 FROM Panels p, AvailableElements e;"
        "INSERT INTO PanelComments (InspectionID, PanelID, Comments) SELECT 1, PanelID, 'Dry ' || PanelID FROM Panels;"
        "INSERT INTO TabData (TabID, PanelID, TabData) SELECT 1, PanelID, 'Tab ' || PanelID FROM Panels;"
        "INSERT INTO PanelCoord (PanelID, CoordIndex, PanelX, PanelY) SELECT p.PanelID, c.n, p.PanelID * 10 + c.n, c.n "
        "FROM Panels p, (SELECT 1 AS n UNION ALL SELECT 2 UNION ALL SELECT 3 UNION ALL SELECT 4) c;"
        "INSERT INTO PanelCoord (PanelID, CoordIndex, PanelX, PanelY) VALUES (9, 1, 0, 0), (9, 1, 0, 0);"
        "INSERT INTO UnitTypes (Unit) VALUES ('ea'), ('ft'), ('sq ft'), ('lin ft'), ('cu yd'), ('ea');"
        "INSERT INTO ImagePaths (PanelID, ElementID, ImagePath, InspectionID) SELECT PanelID, 1, 'p' || PanelID || '.jpg', 1 "
        "FROM Panels;"
        // Gaps: the rowids after these are renumbered by a rebuild.
        "DELETE FROM Ratings WHERE PanelID = 2 AND ElementID IN (2, 3);"
        "DELETE FROM PanelCoord WHERE PanelID = 1;"
        "DELETE FROM UnitTypes WHERE Unit = 'ft';"
        "DELETE FROM ImagePaths WHERE PanelID = 2;"
        "DELETE FROM PanelComments WHERE PanelID = 1;"
        "DELETE FROM TabData WHERE PanelID = 1;");
}

// A host program's tables that find rows by REAL values: readings without a key (an index on the value), levels
// keyed by a REAL; values that 15 digits do not give back (0.1 + 0.2), others that they do, an infinity.
void fillReals(const QString& path)
{
    newTunnelDb(path);
    QCOMPARE(Plain(path).exec("CREATE TABLE readings (sensor INTEGER, value REAL); CREATE INDEX readings_value ON "
                              "readings (value);"
                              "CREATE TABLE levels (level REAL NOT NULL UNIQUE, label TEXT);"
                              "INSERT INTO readings VALUES (1, 0.1 + 0.2), (2, 1.5), (3, 9e999), (4, 1e300 * 1.1);"
                              "INSERT INTO levels VALUES (0.1 + 0.2, 'a'), (0.25, 'b'), (-1.0 / 3, 'c');"),
             SQLITE_OK);
}

// Exchanges until one finds nothing to send (at most four); the number of exchanges, -1 on a failure.
int exchangeUntilQuiet(const QString& a, const QString& b, int* conflictCount = nullptr, QString* error = nullptr)
{
    for (int i = 1; i <= 4; ++i) {
        Exchange e;
        if (synchronize(a, b, Direction::Both, {}, {}, &e, error) != 0)
            return -1;
        if (conflictCount)
            *conflictCount += e.conflicts;
        if (sent(e) == 0)
            return i;
    }
    return -1;
}

// Changes a table's design the way GUI database browsers do: a new table with the same columns (the change columns
// too, or the user columns only), the rows copied (renumbered without gaps unless the table has an INTEGER PRIMARY
// KEY), the old table dropped with its triggers, the new one renamed and the indexes made again. With keepTriggers
// the browser also makes the old table's triggers again. An empty answer means it worked.
QString rebuildLikeABrowser(const QString& path, const QString& table, const QString& userColumns, bool keepChangeColumns,
                            bool keepTriggers)
{
    Plain db(path);
    QStringList again;
    for (const QString& sql : db.rows(QStringLiteral("SELECT sql FROM sqlite_master WHERE tbl_name = '%1' AND sql NOT NULL "
                                                     "AND type IN ('index', 'trigger') ORDER BY type").arg(table)))
        if ((keepChangeColumns || !sql.contains(QLatin1String("s_G"))) && (keepTriggers || !sql.startsWith(QLatin1String("CREATE TRIGGER"))))
            again << sql;
    QStringList cols;
    for (const QString& c : db.rows(QStringLiteral("SELECT name FROM pragma_table_info('%1')").arg(table)))
        if (keepChangeColumns || !c.startsWith(QLatin1String("s_")))
            cols << QLatin1Char('"') + c + QLatin1Char('"');
    const QString sql = QStringLiteral("BEGIN; CREATE TABLE sqlb_temp_table_1 (%1%2);"
                                       "INSERT INTO sqlb_temp_table_1 (%3) SELECT %3 FROM %4 ORDER BY rowid;"
                                       "DROP TABLE %4; ALTER TABLE sqlb_temp_table_1 RENAME TO %4; %5; COMMIT;")
                            .arg(userColumns,
                                 keepChangeColumns ? QStringLiteral(", s_GUID BLOB, s_Generation INTEGER, s_Lineage TEXT") : QString(),
                                 cols.join(QStringLiteral(", ")), table, again.join(QStringLiteral("; ")));
    if (db.exec(sql) != SQLITE_OK)
        return db.error();
    return QString();
}

}  // namespace

class TstReplIdentity : public QObject {
    Q_OBJECT

    OfficeAndField m_files;

    void officeAndField(QString* office, QString* field) { m_files.make(fill, office, field); }

    // Probes that both files must answer alike after the rebuild case: what each side did.
    static QStringList probes()
    {
        return {
            "SELECT group_concat(Rating, ' ') FROM (SELECT Rating FROM Ratings WHERE PanelID = 3 ORDER BY ElementID)",
            "SELECT group_concat(Rating, ' ') FROM (SELECT Rating FROM Ratings WHERE PanelID = 6 ORDER BY ElementID)",
            "SELECT group_concat(Rating, ' ') FROM (SELECT Rating FROM Ratings WHERE PanelID = 7 ORDER BY ElementID)",
            "SELECT group_concat(Rating, ' ') FROM (SELECT Rating FROM Ratings WHERE PanelID = 8 ORDER BY ElementID)",
            "SELECT count(*) FROM Ratings",
            "SELECT group_concat(Comments, '|') FROM (SELECT Comments FROM PanelComments ORDER BY PanelID)",
            "SELECT group_concat(PanelX || ',' || PanelY, ' ') FROM (SELECT PanelX, PanelY FROM PanelCoord "
            "WHERE PanelID IN (4, 5, 9) ORDER BY PanelID, CoordIndex, PanelX, PanelY)",
            "SELECT group_concat(Unit, ',') FROM (SELECT Unit FROM UnitTypes ORDER BY Unit)",
            "SELECT group_concat(ImagePath, ',') FROM (SELECT ImagePath FROM ImagePaths ORDER BY ImagePath)",
            "SELECT group_concat(TabData, '|') FROM (SELECT TabData FROM TabData ORDER BY PanelID)",
        };
    }

private slots:
    void initTestCase() { QVERIFY(m_files.dir.isValid()); }

    void rebuiltFileKeepsEveryChange_data()
    {
        QTest::addColumn<bool>("clone");
        QTest::addColumn<QString>("which");
        QTest::newRow(".dump, field file") << false << "field";
        QTest::newRow(".dump, office file") << false << "office";
        QTest::newRow(".clone, field file") << true << "field";
        QTest::newRow(".clone, office file") << true << "office";
        QTest::newRow(".dump, both files") << false << "both";
    }

    void rebuiltFileKeepsEveryChange()
    {
        QFETCH(bool, clone);
        QFETCH(QString, which);
        QString office, field;
        officeAndField(&office, &field);
        // Changes exchanged before the rebuild: identities stored, tombstones kept, more gaps.
        QCOMPARE(Plain(office).exec("UPDATE Ratings SET Rating = 1 WHERE PanelID = 3 AND ElementID = 1;"
                                    "DELETE FROM Ratings WHERE PanelID = 4 AND ElementID = 4;"
                                    "DELETE FROM UnitTypes WHERE Unit = 'lin ft';"),
                 SQLITE_OK);
        QCOMPARE(Plain(field).exec("UPDATE PanelComments SET Comments = 'Wet 2' WHERE PanelID = 2;"
                                   "DELETE FROM PanelCoord WHERE PanelID = 2 AND CoordIndex = 3;"
                                   "INSERT INTO Ratings (InspectionID, PanelID, ElementID, Rating) VALUES (1, 2, 2, 4);"),
                 SQLITE_OK);
        QVERIFY(exchangeUntilQuiet(office, field) > 0);
        // Changes not exchanged yet on both sides, then one file is rebuilt, then more changes on both sides, of
        // rows whose rowids the rebuild moved.
        QCOMPARE(Plain(office).exec("UPDATE Ratings SET Rating = 2 WHERE PanelID = 6 AND ElementID = 2;"
                                    "UPDATE PanelCoord SET PanelX = -4 WHERE PanelID = 4 AND CoordIndex = 4;"
                                    "DELETE FROM ImagePaths WHERE PanelID = 3;"),
                 SQLITE_OK);
        QCOMPARE(Plain(field).exec("UPDATE Ratings SET Rating = 3 WHERE PanelID = 7 AND ElementID = 3;"
                                   "UPDATE UnitTypes SET Unit = 'each' WHERE Unit = 'cu yd';"
                                   "DELETE FROM Ratings WHERE PanelID = 8 AND ElementID = 1;"),
                 SQLITE_OK);
        for (const QString& f : {field, office})
            if (which == "both" || QFileInfo(f).fileName().startsWith(which))
                QCOMPARE(rebuildWithShell(f, clone), QString());
        QCOMPARE(Plain(office).exec("UPDATE Ratings SET Rating = 9 WHERE PanelID = 8 AND ElementID = 4;"
                                    "UPDATE TabData SET TabData = 'office' WHERE PanelID = 5;"
                                    "UPDATE PanelComments SET Comments = 'office' WHERE PanelID = 8;"
                                    "DELETE FROM PanelCoord WHERE PanelID = 5 AND CoordIndex = 1;"),
                 SQLITE_OK);
        QCOMPARE(Plain(field).exec("UPDATE Ratings SET Rating = 8 WHERE PanelID = 8 AND ElementID = 3;"
                                   "UPDATE Ratings SET Rating = 7 WHERE PanelID = 7 AND ElementID = 4;"
                                   "UPDATE TabData SET TabData = 'field' WHERE PanelID = 6;"
                                   "UPDATE PanelCoord SET PanelY = 44 WHERE PanelID = 4 AND CoordIndex = 2;"
                                   "UPDATE PanelCoord SET PanelY = 9 WHERE PanelID = 9 AND rowid = (SELECT max(rowid) "
                                   "FROM PanelCoord WHERE PanelID = 9);"
                                   "INSERT INTO ImagePaths (PanelID, ElementID, ImagePath, InspectionID) "
                                   "VALUES (6, 2, 'new.jpg', 1);"),
                 SQLITE_OK);
        int conflictCount = 0;
        QString error;
        QVERIFY2(exchangeUntilQuiet(field, office, &conflictCount, &error) > 0, qPrintable(error));
        QCOMPARE(conflictCount, 0);
        QCOMPARE(content(office), content(field));
        const QStringList expected = {
            "1 6 7 8",   // panel 3: the office's first change
            "8 2 1 2",   // panel 6: the office's change before the rebuild
            "9 1 3 7",   // panel 7: the field's changes before and after it
            "2 8 9",     // panel 8: the field's deletion and change, the office's change
            "29",
            "Wet 2|Dry 3|Dry 4|Dry 5|Dry 6|Dry 7|office",
            "41,1 42,44 43,3 -4,4 52,2 53,3 54,4 0,0 0,9",
            "ea,ea,each,sq ft",
            "new.jpg,p1.jpg,p4.jpg,p5.jpg,p6.jpg,p7.jpg,p8.jpg",
            "Tab 2|Tab 3|Tab 4|office|field|Tab 7|Tab 8",
        };
        const QStringList sql = probes();
        for (int i = 0; i < sql.size(); ++i) {
            QCOMPARE(one(office, sql[i]), expected[i]);
            QCOMPARE(one(field, sql[i]), expected[i]);
        }
    }

    // Two equal rows of a table without a key are told apart by identities stored when the file became replicable;
    // one of them deleted on a side that is then rebuilt must not send the other side's change to another row.
    void equalRowsAfterARebuild()
    {
        QString office, field;
        officeAndField(&office, &field);
        const QString firstEa = "(SELECT min(rowid) FROM UnitTypes WHERE Unit = 'ea')";
        QCOMPARE(Plain(field).exec(QStringLiteral("DELETE FROM UnitTypes WHERE rowid = %1").arg(firstEa)), SQLITE_OK);
        QCOMPARE(rebuildWithShell(field, false), QString());
        QCOMPARE(Plain(office).exec(QStringLiteral("UPDATE UnitTypes SET Unit = 'EA' WHERE rowid = %1").arg(firstEa)),
                 SQLITE_OK);
        QVERIFY(exchangeUntilQuiet(office, field) > 0);
        QCOMPARE(content(office), content(field));
        // The office's change beat the deletion: both 'ea' rows are there again, and every other unit as it was.
        QCOMPARE(one(field, "SELECT group_concat(Unit, ',') FROM (SELECT Unit FROM UnitTypes ORDER BY Unit COLLATE BINARY)"),
                 QString("EA,cu yd,ea,lin ft,sq ft"));
    }

    // Three files: a field replica rebuilt, then a new replica made from it; all exchange through the office.
    void rebuiltReplicaAmongThree()
    {
        QString office, first;
        officeAndField(&office, &first);
        const QString second = m_files.dir.filePath(QStringLiteral("second%1.db").arg(m_files.serial));
        QCOMPARE(Plain(first).exec("DELETE FROM Ratings WHERE PanelID = 3 AND ElementID = 1;"
                                   "UPDATE Ratings SET Rating = 1 WHERE PanelID = 4 AND ElementID = 4;"),
                 SQLITE_OK);
        QCOMPARE(rebuildWithShell(first, true), QString());
        QCOMPARE(makeReplica(first, second, QStringLiteral("Second"), 80, 0), 0);
        QCOMPARE(Plain(second).exec("UPDATE Ratings SET Rating = 2 WHERE PanelID = 5 AND ElementID = 4;"
                                    "UPDATE UnitTypes SET Unit = 'metre' WHERE Unit = 'lin ft';"),
                 SQLITE_OK);
        QCOMPARE(Plain(office).exec("UPDATE Ratings SET Rating = 3 WHERE PanelID = 6 AND ElementID = 4;"
                                    "DELETE FROM PanelCoord WHERE PanelID = 3;"),
                 SQLITE_OK);
        QCOMPARE(rebuildWithShell(office, false), QString());
        for (int round = 0; round < 2; ++round) {
            QVERIFY(exchangeUntilQuiet(office, first) > 0);
            QVERIFY(exchangeUntilQuiet(office, second) > 0);
        }
        QCOMPARE(content(first), content(office));
        QCOMPARE(content(second), content(office));
        QCOMPARE(one(office, "SELECT group_concat(Rating, ' ') FROM (SELECT Rating FROM Ratings WHERE ElementID = 4 AND "
                             "PanelID BETWEEN 3 AND 6 ORDER BY PanelID)"),
                 QString("8 1 2 3"));
        QCOMPARE(one(office, "SELECT count(*) FROM Ratings"), QString("29"));
        QCOMPARE(one(office, "SELECT count(*) FROM PanelCoord WHERE PanelID = 3"), QString("0"));
        QCOMPARE(one(office, "SELECT count(*) FROM UnitTypes WHERE Unit = 'metre'"), QString("1"));
    }

    // REPLACE (a general tool may issue it) deletes the old row without a delete trigger; the new row is the old
    // one's new version, on every table shape.
    void replaceIsTheRowsNewVersion_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("probe");
        QTest::addColumn<QString>("value");
        QTest::newRow("REPLACE, unique index")
            << "REPLACE INTO Ratings (InspectionID, PanelID, ElementID, Rating) VALUES (1, 5, 2, 1)"
            << "SELECT Rating FROM Ratings WHERE PanelID = 5 AND ElementID = 2" << "1";
        QTest::newRow("INSERT OR REPLACE, INTEGER PRIMARY KEY")
            << "INSERT OR REPLACE INTO Panels (PanelID, TunnelID, PanelNum, PanelName) VALUES (3, 1, 3, 'N-03 east')"
            << "SELECT PanelName FROM Panels WHERE PanelID = 3" << "N-03 east";
        QTest::newRow("REPLACE of a changed row")
            << "UPDATE TabData SET TabData = 'first' WHERE PanelID = 4; REPLACE INTO TabData (TabID, PanelID, TabData) "
               "VALUES (1, 4, 'second')"
            << "SELECT TabData FROM TabData WHERE PanelID = 4" << "second";
        QTest::newRow("REPLACE with recursive triggers on")
            << "PRAGMA recursive_triggers = ON; REPLACE INTO PanelComments (InspectionID, PanelID, Comments) "
               "VALUES (1, 6, 'replaced')"
            << "SELECT Comments FROM PanelComments WHERE PanelID = 6" << "replaced";
        QTest::newRow("upsert")
            << "INSERT INTO Ratings (InspectionID, PanelID, ElementID, Rating) VALUES (1, 6, 1, 5) "
               "ON CONFLICT (InspectionID, PanelID, ElementID) DO UPDATE SET Rating = excluded.Rating"
            << "SELECT Rating FROM Ratings WHERE PanelID = 6 AND ElementID = 1" << "5";
        QTest::newRow("UPDATE OR REPLACE onto another row's key")
            << "UPDATE OR REPLACE Ratings SET ElementID = 3, Rating = 1 WHERE PanelID = 5 AND ElementID = 2"
            << "SELECT group_concat(ElementID || '=' || Rating) FROM Ratings WHERE PanelID = 5" << "1=7,3=1,4=1";
        QTest::newRow("UPDATE OR REPLACE of an INTEGER PRIMARY KEY")
            << "UPDATE OR REPLACE Panels SET PanelID = 4 WHERE PanelID = 3"
            << "SELECT group_concat(PanelID || '=' || PanelName) FROM Panels WHERE PanelID BETWEEN 3 AND 4" << "4=N-03";
        QTest::newRow("INSERT OR IGNORE, then an insert of another key")
            << "INSERT OR IGNORE INTO Ratings (InspectionID, PanelID, ElementID, Rating) VALUES (1, 7, 1, 1);"
               "INSERT INTO Ratings (InspectionID, PanelID, ElementID, Rating) VALUES (1, 9, 1, 6)"
            << "SELECT group_concat(Rating) FROM Ratings WHERE ElementID = 1 AND PanelID IN (7, 9)" << "9,6";
    }

    void replaceIsTheRowsNewVersion()
    {
        QFETCH(QString, sql);
        QFETCH(QString, probe);
        QFETCH(QString, value);
        QString office, field;
        officeAndField(&office, &field);
        // The office changes other rows of the same tables meanwhile.
        QCOMPARE(Plain(office).exec("UPDATE Ratings SET Rating = 9 WHERE PanelID = 8 AND ElementID = 4;"
                                    "UPDATE Panels SET PanelName = 'N-08 west' WHERE PanelID = 8;"),
                 SQLITE_OK);
        {
            Plain db(field);
            QCOMPARE(db.exec(sql), SQLITE_OK);
        }
        QCOMPARE(one(field, probe), value);
        int conflictCount = 0;
        QVERIFY(exchangeUntilQuiet(office, field, &conflictCount) > 0);
        QCOMPARE(conflictCount, 0);
        QCOMPARE(one(office, probe), value);
        QCOMPARE(content(office), content(field));
        QCOMPARE(one(office, "SELECT Rating FROM Ratings WHERE PanelID = 8 AND ElementID = 4"), QString("9"));
    }

    // Two rows swap keys through a free one; the receiving side must not lose either to the order of the moves.
    void swappedKeysKeepBothRows_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<bool>("rowByRow");
        const QString panels = "UPDATE Panels SET PanelID = 99 WHERE PanelID = 2; UPDATE Panels SET PanelID = 2 WHERE "
                               "PanelID = 3; UPDATE Panels SET PanelID = 3 WHERE PanelID = 99";
        const QString ratings = "UPDATE Ratings SET ElementID = 9 WHERE PanelID = 5 AND ElementID = 1; UPDATE Ratings SET "
                                "ElementID = 1 WHERE PanelID = 5 AND ElementID = 2; UPDATE Ratings SET ElementID = 2 "
                                "WHERE PanelID = 5 AND ElementID = 9";
        QTest::newRow("panels (INTEGER PRIMARY KEY)") << panels << false;
        QTest::newRow("panels, row by row") << panels << true;
        QTest::newRow("ratings (unique index)") << ratings << false;
        QTest::newRow("ratings, row by row") << ratings << true;
        QTest::newRow("a key moved to one deleted here")
            << "DELETE FROM Panels WHERE PanelID = 7; UPDATE Panels SET PanelID = 7 WHERE PanelID = 8" << false;
        QTest::newRow("three panels in a ring")
            << "UPDATE Panels SET PanelID = 99 WHERE PanelID = 4; UPDATE Panels SET PanelID = 4 WHERE PanelID = 5;"
               "UPDATE Panels SET PanelID = 5 WHERE PanelID = 6; UPDATE Panels SET PanelID = 6 WHERE PanelID = 99"
            << false;
    }

    void swappedKeysKeepBothRows()
    {
        QFETCH(QString, sql);
        QFETCH(bool, rowByRow);
        QString office, field;
        officeAndField(&office, &field);
        {
            Plain db(field);
            QCOMPARE(db.exec(sql), SQLITE_OK);
        }
        const QStringList wanted = content(field);
        setRowByRow(rowByRow);
        int conflictCount = 0;
        QString error;
        const int rounds = exchangeUntilQuiet(field, office, &conflictCount, &error);
        setRowByRow(false);
        QVERIFY2(rounds > 0, qPrintable(error));
        QCOMPARE(conflictCount, 0);
        QCOMPARE(content(office), wanted);
        QCOMPARE(content(field), wanted);
    }

    // The field swaps two panels' keys while the office renames one of them: the moves cannot all be taken, but
    // no panel is lost in either file.
    void swapAgainstAChange_data()
    {
        QTest::addColumn<QString>("office");
        QTest::newRow("office renames the first") << "UPDATE Panels SET PanelName = 'office' WHERE PanelID = 2";
        QTest::newRow("office renames the second") << "UPDATE Panels SET PanelName = 'office' WHERE PanelID = 3";
        QTest::newRow("office swaps them too")
            << "UPDATE Panels SET PanelID = 99 WHERE PanelID = 2; UPDATE Panels SET PanelID = 2 WHERE PanelID = 3;"
               "UPDATE Panels SET PanelID = 3 WHERE PanelID = 99";
        QTest::newRow("office moves the first away")
            << "UPDATE Panels SET PanelID = 50 WHERE PanelID = 2";
    }

    void swapAgainstAChange()
    {
        QFETCH(QString, office);
        QString officeDb, field;
        officeAndField(&officeDb, &field);
        QCOMPARE(Plain(officeDb).exec(office), SQLITE_OK);
        QCOMPARE(Plain(field).exec("UPDATE Panels SET PanelID = 99 WHERE PanelID = 2; UPDATE Panels SET PanelID = 2 WHERE "
                                   "PanelID = 3; UPDATE Panels SET PanelID = 3 WHERE PanelID = 99"),
                 SQLITE_OK);
        QString error;
        QVERIFY2(exchangeUntilQuiet(field, officeDb, nullptr, &error) > 0, qPrintable(error));
        QCOMPARE(content(officeDb), content(field));
        QCOMPARE(one(officeDb, "SELECT count(*) FROM Panels"), QString("8"));
        QCOMPARE(one(officeDb, "SELECT count(*) FROM Panels WHERE PanelName IN ('N-02', 'N-03', 'office')"), QString("2"));
    }

    // Only the ascending INTEGER PRIMARY KEY is the rowid: both sides adding key 2 must not touch the row whose rowid
    // is 2.
    void descendingIntegerKeyIsNotTheRowid()
    {
        const QString office = m_files.dir.filePath("marks-office.db"), field = m_files.dir.filePath("marks-field.db");
        newTunnelDb(office);
        QCOMPARE(Plain(office).exec("CREATE TABLE Marks (ID INTEGER PRIMARY KEY DESC, Name TEXT);"
                                    "INSERT INTO Marks (ID, Name) VALUES (10, 'ten'), (20, 'twenty'), (30, 'thirty');"),
                 SQLITE_OK);
        QCOMPARE(makeReplicable(office), 0);
        QCOMPARE(makeReplica(office, field, "Field", 90, 0), 0);
        QCOMPARE(Plain(office).exec("INSERT INTO Marks (ID, Name) VALUES (2, 'office two')"), SQLITE_OK);
        QCOMPARE(Plain(field).exec("INSERT INTO Marks (ID, Name) VALUES (2, 'field two')"), SQLITE_OK);
        QVERIFY(exchangeUntilQuiet(field, office) > 0);
        const QString all = "SELECT group_concat(ID || '=' || Name, ' ') FROM (SELECT * FROM Marks ORDER BY ID)";
        QCOMPARE(one(office, all), QString("2=office two 10=ten 20=twenty 30=thirty"));
        QCOMPARE(one(field, all), one(office, all));
        // The field's row is kept as the loser of the clash.
        QVector<Conflict> c;
        QCOMPARE(conflicts(field, &c), 0);
        QCOMPARE(c.size(), 1);
        QVERIFY(c[0].rowData.contains("field two"));
    }

    // A table whose design a database browser changed (the table made again and its rows copied), then edited there
    // before the next exchange: nothing recorded what changed, so the exchange is refused and changes neither file,
    // this time and the next; no edit is lost unseen or applied to another row. A browser that makes the triggers
    // again leaves a table that exchanges as usual.
    void tableRebuiltByABrowser_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("which");
        QTest::addColumn<bool>("keepChangeColumns");
        QTest::addColumn<bool>("keepTriggers");
        for (const char* t : {"Ratings", "Panels"})
            for (const char* w : {"field", "office"}) {
                QTest::addRow("%s, %s file, change columns copied", t, w) << t << w << true << false;
                QTest::addRow("%s, %s file, user columns only", t, w) << t << w << false << false;
            }
        // A copy of the file whose schema counter came out as the engine last noted it.
        QTest::newRow("Ratings, field file, schema counter as noted") << "Ratings" << "field" << true << false;
        QTest::newRow("Ratings, field file, triggers made again") << "Ratings" << "field" << true << true;
        QTest::newRow("Panels, office file, triggers made again") << "Panels" << "office" << true << true;
    }

    void tableRebuiltByABrowser()
    {
        QFETCH(QString, table);
        QFETCH(QString, which);
        QFETCH(bool, keepChangeColumns);
        QFETCH(bool, keepTriggers);
        QString office, field;
        officeAndField(&office, &field);
        // Changes exchanged before, so rows of both tables store identities and tombstones exist.
        QCOMPARE(Plain(field).exec("UPDATE Ratings SET Rating = 1 WHERE PanelID = 5 AND ElementID = 1;"
                                   "UPDATE Panels SET PanelName = 'N-05 east' WHERE PanelID = 5;"
                                   "DELETE FROM Ratings WHERE PanelID = 1 AND ElementID = 1;"),
                 SQLITE_OK);
        QVERIFY(exchangeUntilQuiet(office, field) > 0);
        const QString rebuilt = which == "field" ? field : office, other = which == "field" ? office : field;
        const QString columns = table == "Ratings"
                                    ? "InspectionID INTEGER NOT NULL, PanelID INTEGER NOT NULL, ElementID INTEGER NOT NULL, "
                                      "Rating INTEGER, Posted INTEGER NOT NULL DEFAULT 0"
                                    : "PanelID INTEGER PRIMARY KEY AUTOINCREMENT, TunnelID INTEGER, PanelNum INTEGER, "
                                      "PanelName TEXT COLLATE NOCASE";
        QCOMPARE(rebuildLikeABrowser(rebuilt, table, columns, keepChangeColumns, keepTriggers), QString());
        const QString edits = table == "Ratings"
                                  ? "UPDATE Ratings SET Rating = 2 WHERE PanelID = 3 AND ElementID = 2;"
                                    "UPDATE Ratings SET Rating = 3 WHERE PanelID = 5 AND ElementID = 1;"
                                    "INSERT INTO Ratings (InspectionID, PanelID, ElementID, Rating) VALUES (1, 9, 1, 5);"
                                    "DELETE FROM Ratings WHERE PanelID = 4 AND ElementID = 1;"
                                  : "UPDATE Panels SET PanelName = 'N-03 west' WHERE PanelID = 3;"
                                    "UPDATE Panels SET PanelName = 'N-05 west' WHERE PanelID = 5;"
                                    "INSERT INTO Panels (PanelID, TunnelID, PanelNum, PanelName) VALUES (20, 1, 20, 'N-20');"
                                    "DELETE FROM Panels WHERE PanelID = 6;";
        QCOMPARE(Plain(rebuilt).exec(edits), SQLITE_OK);
        if (QString(QTest::currentDataTag()).contains("counter"))
            QCOMPARE(Plain(rebuilt).exec("UPDATE repl_keys SET cols = (SELECT schema_version FROM pragma_schema_version) "
                                         "WHERE tbl = ''"),
                     SQLITE_OK);
        // The other side changes another row of the same table meanwhile.
        QCOMPARE(Plain(other).exec(table == "Ratings" ? "UPDATE Ratings SET Rating = 9 WHERE PanelID = 8 AND ElementID = 4"
                                                      : "UPDATE Panels SET PanelName = 'N-08 north' WHERE PanelID = 8"),
                 SQLITE_OK);
        const QStringList before = content(rebuilt), otherBefore = content(other);
        QString error;
        if (keepTriggers) {
            QVERIFY2(exchangeUntilQuiet(field, office, nullptr, &error) > 0, qPrintable(error));
            QCOMPARE(content(office), content(field));
            const QString probe = table == "Ratings"
                                      ? "SELECT group_concat(PanelID || '.' || ElementID || '=' || Rating, ' ') FROM (SELECT * "
                                        "FROM Ratings WHERE (PanelID, ElementID) IN (VALUES (3, 2), (5, 1), (9, 1), (4, 1), "
                                        "(8, 4)) ORDER BY PanelID, ElementID)"
                                      : "SELECT group_concat(PanelID || '=' || PanelName, ' ') FROM (SELECT * FROM Panels "
                                        "WHERE PanelID IN (3, 5, 6, 8, 20) ORDER BY PanelID)";
            QCOMPARE(one(office, probe), QString(table == "Ratings" ? "3.2=2 5.1=3 8.4=9 9.1=5" : "3=N-03 west 5=N-05 west 8=N-08 north 20=N-20"));
            return;
        }
        for (int attempt = 0; attempt < 2; ++attempt) {
            Exchange e;
            QCOMPARE(synchronize(field, office, Direction::Both, {}, {}, &e, &error), Result::IdentitiesDiffer);
            QVERIFY2(error.contains(table) && error.contains(rebuilt) && error.contains("nothing was exchanged"), qPrintable(error));
            // The way out differs: a replica is made anew, the Design Master put back.
            QVERIFY2(error.contains(which == "field" ? "new replica" : "copy of the Design Master"), qPrintable(error));
            QCOMPARE(e.status, int(Status::Failed));
            QCOMPARE(content(rebuilt), before);
            QCOMPARE(content(other), otherBefore);
        }
        // Nor does a new replica made from the rebuilt file take its state as settled.
        const QString third = m_files.dir.filePath(QStringLiteral("third%1.db").arg(m_files.serial));
        const QStringList members = Plain(rebuilt).rows("SELECT * FROM repl_replicas ORDER BY replica_guid");
        QCOMPARE(makeReplica(rebuilt, third, QStringLiteral("Third"), 80, 0, {}, &error), Result::IdentitiesDiffer);
        QVERIFY2(error.contains(rebuilt + " "), qPrintable(error));
        QVERIFY(!QFile::exists(third));
        QCOMPARE(Plain(rebuilt).rows("SELECT * FROM repl_replicas ORDER BY replica_guid"), members);
        QCOMPARE(content(rebuilt), before);
    }

    // A row found by its REAL values is found exactly: what the field did to it is what the office does.
    void realValuesFindTheirRows_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("probe");
        QTest::addColumn<QString>("expected");
        // Each value named by the expression that made it.
        const QString readings = QStringLiteral(
            "SELECT group_concat(sensor || ':' || CASE value WHEN 0.1 + 0.2 THEN 'x' WHEN 9e999 THEN 'inf' WHEN 1e300 * 1.1 "
            "THEN 'big' ELSE value END, ' ') FROM (SELECT * FROM readings ORDER BY sensor)");
        const QString levels = QStringLiteral(
            "SELECT group_concat(label || ':' || CASE level WHEN 0.1 + 0.2 THEN 'x' WHEN -1.0 / 3 THEN 'third' WHEN "
            "0.7 + 0.1 THEN 'y' ELSE level END, ' ') FROM (SELECT * FROM levels ORDER BY label)");
        QTest::newRow("without a key, deleted") << "DELETE FROM readings WHERE sensor = 1" << readings
                                                << "2:1.5 3:inf 4:big";
        QTest::newRow("without a key, changed") << "UPDATE readings SET sensor = 7 WHERE sensor = 1" << readings
                                                << "2:1.5 3:inf 4:big 7:x";
        QTest::newRow("without a key, an infinity deleted") << "DELETE FROM readings WHERE sensor = 3" << readings
                                                            << "1:x 2:1.5 4:big";
        QTest::newRow("without a key, a large value changed") << "UPDATE readings SET sensor = 8 WHERE sensor = 4"
                                                              << readings << "1:x 2:1.5 3:inf 8:big";
        QTest::newRow("REAL key, deleted") << "DELETE FROM levels WHERE label = 'a'" << levels << "b:0.25 c:third";
        QTest::newRow("REAL key, changed") << "UPDATE levels SET label = 'z' WHERE level = 0.1 + 0.2" << levels
                                           << "b:0.25 c:third z:x";
        QTest::newRow("REAL key, moved") << "UPDATE levels SET level = 0.7 + 0.1 WHERE label = 'c'" << levels
                                         << "a:x b:0.25 c:y";
    }

    void realValuesFindTheirRows()
    {
        QFETCH(QString, sql);
        QFETCH(QString, probe);
        QFETCH(QString, expected);
        QString office, field;
        m_files.make(fillReals, &office, &field);
        QCOMPARE(Plain(field).exec(sql), SQLITE_OK);
        QCOMPARE(one(field, probe), expected);
        int conflictCount = 0;
        QVERIFY(exchangeUntilQuiet(office, field, &conflictCount) > 0);
        QCOMPARE(conflictCount, 0);
        QCOMPARE(one(office, probe), expected);
        QCOMPARE(content(office), content(field));
    }

    // The version a conflict sets aside keeps its REALs exactly, on both paths of the exchange.
    void setAsideRealsAreExact_data()
    {
        QTest::addColumn<bool>("rowByRow");
        QTest::newRow("set-based") << false;
        QTest::newRow("row by row") << true;
    }

    void setAsideRealsAreExact()
    {
        QFETCH(bool, rowByRow);
        QString office, field;
        m_files.make(fillReals, &office, &field);
        QCOMPARE(Plain(office).exec("UPDATE readings SET sensor = 5 WHERE sensor = 1; UPDATE levels SET label = 'office' "
                                    "WHERE label = 'c'"),
                 SQLITE_OK);
        QCOMPARE(Plain(field).exec("UPDATE readings SET sensor = 6 WHERE sensor = 1; UPDATE levels SET label = 'field' "
                                   "WHERE label = 'c'"),
                 SQLITE_OK);
        setRowByRow(rowByRow);
        Exchange e;
        const int rc = synchronize(office, field, Direction::Both, {}, {}, &e);
        setRowByRow(false);
        QCOMPARE(rc, 0);
        QCOMPARE(e.conflicts, 2);
        for (const QString& f : {office, field}) {
            QCOMPARE(one(f, "SELECT group_concat(json_extract(row_data, '$.value') = 0.1 + 0.2) FROM repl_conflicts "
                            "WHERE tbl = 'readings'"),
                     QString("1"));
            QCOMPARE(one(f, "SELECT group_concat(json_extract(row_data, '$.level') = -1.0 / 3) FROM repl_conflicts "
                            "WHERE tbl = 'levels'"),
                     QString("1"));
        }
        QCOMPARE(content(office), content(field));
    }

    void withoutRowidTableIsRefused()
    {
        const QString path = m_files.dir.filePath("tags.db");
        newTunnelDb(path);
        QCOMPARE(Plain(path).exec("CREATE TABLE Tags (Name TEXT PRIMARY KEY, Colour INTEGER) WITHOUT ROWID;"
                                  "INSERT INTO Tags VALUES ('red', 1);"),
                 SQLITE_OK);
        const QByteArray before = fileBytes(path);
        QString error;
        QCOMPARE(makeReplicable(path, &error), Result::NotReplicableDesign);
        QVERIFY2(error.contains("Tags") && error.contains("WITHOUT ROWID"), qPrintable(error));
        QVERIFY(!isReplicable(path));
        QCOMPARE(fileBytes(path), before);
    }

    // Two files whose unchanged rows are named differently are not exchanged: nothing in either changes.
    void filesThatDisagreeAreRefused()
    {
        QString office, field;
        officeAndField(&office, &field);
        QCOMPARE(Plain(office).exec("UPDATE Ratings SET Rating = 9 WHERE PanelID = 8 AND ElementID = 4"), SQLITE_OK);
        QCOMPARE(Plain(field).exec("UPDATE Ratings SET Rating = 1 WHERE PanelID = 7 AND ElementID = 4;"
                                   "UPDATE repl_keys SET kind = 2, cols = '[\"InspectionID\",\"PanelID\",\"ElementID\","
                                   "\"Rating\",\"Posted\"]' WHERE tbl = 'Ratings'"),
                 SQLITE_OK);
        const QStringList a = content(office), b = content(field);
        Exchange e;
        QString error;
        QCOMPARE(synchronize(office, field, Direction::Both, {}, {}, &e, &error), Result::IdentitiesDiffer);
        QVERIFY2(error.contains("Ratings") && error.contains("nothing was exchanged"), qPrintable(error));
        QCOMPARE(e.status, int(Status::Failed));
        QCOMPARE(content(office), a);
        QCOMPARE(content(field), b);
    }
};

QTEST_GUILESS_MAIN(TstReplIdentity)
#include "tst_replidentity.moc"

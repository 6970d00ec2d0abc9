// What counts as a change, and what the user is told of conflicts: an UPDATE that gives no column another value
// sends nothing, whoever runs it; two sides that rewrote one panel's ratings keep each side's real changes; every
// conflict an exchange settles is listed in its log with the value kept and the value set aside.
#include <QtTest>
#include <sqlite3.h>

#include "plaindb.h"
#include "replpair.h"
#include "replstore.h"

using namespace Varnock::Store;

namespace {

const QStringList kTables = {"Panels", "Ratings", "PanelComments", "UnitTypes"};

QStringList content(const QString& path)
{
    return tableContent(path, kTables);
}

// One tunnel, one period, panels 1..3 with four rated elements each (Lining, Joints, Invert, Portal), a comment
// per panel and a few units.
void fill(const QString& path)
{
    fillTunnel(path,
        "INSERT INTO Panels (PanelID, TunnelID, PanelNum, PanelName) VALUES (1, 1, 1, 'N-01'), (2, 1, 2, 'N-02'), "
        "(3, 1, 3, 'N-03');"
        "INSERT INTO Ratings (InspectionID, PanelID, ElementID, Rating) SELECT 1, p.PanelID, e.ElementID, "
        "CASE e.ElementID WHEN 1 THEN 8 WHEN 2 THEN 6 ELSE 7 END FROM Panels p, AvailableElements e;"
        "INSERT INTO PanelComments (InspectionID, PanelID, Comments) SELECT 1, PanelID, 'Dry' FROM Panels;"
        "INSERT INTO UnitTypes (Unit) VALUES ('ea'), ('ft'), ('sq ft');");
}

int stored(const QString& path, const QString& table)
{
    return one(path, QStringLiteral("SELECT count(*) FROM \"%1\" WHERE s_GUID IS NOT NULL OR s_Generation IS NOT NULL")
                         .arg(table))
        .toInt();
}

QString readText(const QString& path)
{
    return QString::fromUtf8(fileBytes(path));
}

// Panels 1..4 rated on four elements, with ratings and defects deleted before the file became replicable (a rebuild
// renumbers the rowids after those gaps); defects 2, 4 and 6.
void fillWithGaps(const QString& path)
{
    fillTunnel(path,
        "INSERT INTO Panels (PanelID, TunnelID, PanelNum, PanelName) VALUES (1, 1, 1, 'N-01'), (2, 1, 2, 'N-02'), "
        "(3, 1, 3, 'N-03'), (4, 1, 4, 'N-04');"
        "INSERT INTO Ratings (InspectionID, PanelID, ElementID, Rating) SELECT 1, p.PanelID, e.ElementID, "
        "(p.PanelID + e.ElementID) % 9 FROM Panels p, AvailableElements e;"
        "INSERT INTO DefectQuantity (ID, PanelID, InspectionID, Quantity, Description, Posted) VALUES "
        "(1, 1, 1, 1, 'gone', 0), (2, 1, 1, 2, 'spall', 0), (3, 1, 1, 3, 'gone', 0), (4, 2, 1, 4.5, 'crack', 1), "
        "(6, 3, 1, 6, 'leak', 0);"
        "DELETE FROM Ratings WHERE PanelID = 1 AND ElementID < 3; DELETE FROM DefectQuantity WHERE Description = 'gone';");
}

QStringList allContent(const QString& path)
{
    return tableContent(path, {"Panels", "Ratings", "DefectQuantity"});
}

}  // namespace

class TstReplCapture : public QObject {
    Q_OBJECT

    OfficeAndField m_files;

    void masterAndReplica(QString* master, QString* replica) { m_files.make(fill, master, replica); }

private slots:
    void initTestCase() { QVERIFY(m_files.dir.isValid()); }

    void rewritesThatChangeNoValue_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("table");
        QTest::addColumn<int>("changed");
        // A window that saves every field of a tab, or a tool that rewrites whole rows.
        QTest::newRow("every rating as it was") << "UPDATE Ratings SET Rating = Rating, Posted = Posted" << "Ratings" << 0;
        QTest::newRow("same values typed again")
            << "UPDATE Ratings SET Rating = CASE ElementID WHEN 1 THEN 8 WHEN 2 THEN 6 ELSE 7 END" << "Ratings" << 0;
        QTest::newRow("key rewritten to itself") << "UPDATE Panels SET PanelID = PanelID, PanelName = PanelName"
                                                 << "Panels" << 0;
        QTest::newRow("a table without a key") << "UPDATE UnitTypes SET Unit = Unit" << "UnitTypes" << 0;
        QTest::newRow("NULL stays NULL") << "UPDATE Panels SET PanelName = NULL WHERE 0; UPDATE Tunnels SET "
                                            "TunnelPicture = NULL" << "Tunnels" << 0;
        // Another value, however small: one row each.
        QTest::newRow("one rating changed") << "UPDATE Ratings SET Rating = Rating WHERE PanelID <> 2; UPDATE Ratings "
                                               "SET Rating = 3 WHERE PanelID = 2 AND ElementID = 4"
                                            << "Ratings" << 1;
        QTest::newRow("only the case of a name") << "UPDATE Panels SET PanelName = 'n-02' WHERE PanelID = 2"
                                                 << "Panels" << 1;
        QTest::newRow("NULL to a value") << "UPDATE Ratings SET Rating = NULL WHERE PanelID = 3 AND ElementID = 1"
                                         << "Ratings" << 1;
        QTest::newRow("changed, then written again") << "UPDATE PanelComments SET Comments = 12 WHERE PanelID = 1; "
                                             "UPDATE PanelComments SET Comments = '12' WHERE PanelID = 1"
                                          << "PanelComments" << 1;
    }

    void rewritesThatChangeNoValue()
    {
        QFETCH(QString, sql);
        QFETCH(QString, table);
        QFETCH(int, changed);
        QString master, replica;
        masterAndReplica(&master, &replica);
        {
            Plain db(replica);
            QCOMPARE(db.exec(sql), SQLITE_OK);
        }
        QCOMPARE(stored(replica, table), changed);
        Exchange e;
        QCOMPARE(synchronize(replica, master, Direction::Both, {}, {}, &e), 0);
        QCOMPARE(sent(e), changed);
        QCOMPARE(e.conflicts, 0);
        QCOMPARE(content(master), content(replica));
        // The same rewrite made by the receiving side afterwards is no change either.
        {
            Plain db(master);
            QCOMPARE(db.exec(sql), SQLITE_OK);
        }
        QCOMPARE(synchronize(replica, master, Direction::Both, {}, {}, &e), 0);
        QCOMPARE(sent(e), 0);
    }

    // The field changed three ratings of a panel, the office only the fourth; each side's save rewrote all four.
    void bothSidesRewriteOnePanel_data()
    {
        QTest::addColumn<bool>("rowByRow");
        QTest::newRow("set-based") << false;
        QTest::newRow("row by row") << true;
    }

    void bothSidesRewriteOnePanel()
    {
        QFETCH(bool, rowByRow);
        QString office, field;
        masterAndReplica(&office, &field);
        const QString save = QStringLiteral(
            "BEGIN; UPDATE Ratings SET Rating = %1 WHERE PanelID = 1 AND ElementID = 1;"
            "UPDATE Ratings SET Rating = %2 WHERE PanelID = 1 AND ElementID = 2;"
            "UPDATE Ratings SET Rating = %3 WHERE PanelID = 1 AND ElementID = 3;"
            "UPDATE Ratings SET Rating = %4 WHERE PanelID = 1 AND ElementID = 4; COMMIT;");
        QCOMPARE(Plain(field).exec(save.arg(5).arg(5).arg(6).arg(7)), SQLITE_OK);
        QCOMPARE(Plain(office).exec(save.arg(8).arg(6).arg(7).arg(6)), SQLITE_OK);
        setRowByRow(rowByRow);
        Exchange e;
        const int rc = synchronize(office, field, Direction::Both, {}, {}, &e);
        setRowByRow(false);
        QCOMPARE(rc, 0);
        QCOMPARE(e.conflicts, 0);
        const QString ratings = QStringLiteral("SELECT group_concat(Rating, ' ') FROM (SELECT Rating FROM Ratings "
                                               "WHERE PanelID = 1 ORDER BY ElementID)");
        QCOMPARE(one(office, ratings), QString("5 5 6 6"));
        QCOMPARE(one(field, ratings), QString("5 5 6 6"));
        QCOMPARE(content(office), content(field));
        QVector<Conflict> c;
        QCOMPARE(conflicts(office, &c), 0);
        QVERIFY(c.isEmpty());
    }

    // A write SQLite ignores (INSERT OR IGNORE, UPDATE OR IGNORE, an upsert that does nothing) changes nothing:
    // neither now nor later, when the row it met has moved (its key changed by an exchange) and another row of the
    // table changes.
    void ignoredWriteChangesNothingLater_data()
    {
        QTest::addColumn<QString>("ignored");   // on the office
        QTest::addColumn<QString>("moved");     // in the field, then exchanged
        QTest::addColumn<QString>("later");     // on the office
        const QString moveDefect = QStringLiteral("UPDATE DefectQuantity SET ID = 400 WHERE ID = 4");
        const QString postDefect = QStringLiteral("UPDATE DefectQuantity SET Posted = 1 - Posted WHERE ID = 2");
        QTest::newRow("INSERT OR IGNORE") << "INSERT OR IGNORE INTO DefectQuantity (ID, PanelID, InspectionID, "
                                             "Description) VALUES (4, 1, 1, 'again')" << moveDefect << postDefect;
        QTest::newRow("UPDATE OR IGNORE onto a taken key") << "UPDATE OR IGNORE DefectQuantity SET ID = 4 WHERE ID = 2"
                                                           << moveDefect << postDefect;
        QTest::newRow("upsert that does nothing")
            << "INSERT INTO DefectQuantity (ID, PanelID, InspectionID, Description) VALUES (4, 1, 1, 'again') "
               "ON CONFLICT DO NOTHING" << moveDefect << postDefect;
        QTest::newRow("upsert that writes the same values")
            << "INSERT INTO DefectQuantity (ID, PanelID, InspectionID, Description) VALUES (4, 2, 1, 'crack') "
               "ON CONFLICT (ID) DO UPDATE SET Description = excluded.Description" << moveDefect << postDefect;
        QTest::newRow("upsert on a unique index") << "INSERT INTO Ratings (InspectionID, PanelID, ElementID, Rating) "
                                                     "VALUES (1, 2, 1, 0) ON CONFLICT DO NOTHING"
                                                  << "UPDATE Ratings SET ElementID = 9 WHERE PanelID = 2 AND ElementID = 1"
                                                  << "UPDATE Ratings SET Rating = 0 WHERE PanelID = 3 AND ElementID = 3";
        QTest::newRow("INSERT OR IGNORE, the later update moves a key")
            << "INSERT OR IGNORE INTO DefectQuantity (ID, PanelID, InspectionID, Description) VALUES (4, 1, 1, 'again')"
            << moveDefect << "UPDATE DefectQuantity SET ID = 20 WHERE ID = 6";
    }

    void ignoredWriteChangesNothingLater()
    {
        QFETCH(QString, ignored);
        QFETCH(QString, moved);
        QFETCH(QString, later);
        QString office, field;
        m_files.make(fillWithGaps, &office, &field);
        const QStringList before = allContent(office);
        QCOMPARE(Plain(office).exec(ignored), SQLITE_OK);
        QCOMPARE(allContent(office), before);
        QCOMPARE(Plain(field).exec(moved), SQLITE_OK);
        Exchange e;
        QCOMPARE(synchronize(field, office, Direction::Both, {}, {}, &e), 0);
        QCOMPARE(sent(e), 1);
        QCOMPARE(Plain(office).exec(later), SQLITE_OK);
        QCOMPARE(synchronize(field, office, Direction::Both, {}, {}, &e), 0);
        QCOMPARE(sent(e), 1);
        QCOMPARE(e.deletesReceived + e.deletesSent + e.conflicts, 0);
        QCOMPARE(allContent(office), allContent(field));
        QCOMPARE(allContent(office).size(), before.size());
        QCOMPARE(one(office, "SELECT count(*) FROM repl_tombstones"), QString("0"));
    }

    // The same after a rebuild of the office by the sqlite3 shell, which renumbers rowids after gaps: the rating an
    // ignored insert met now stands at another rowid, and another rating changes.
    void ignoredWriteBeforeARebuild_data()
    {
        QTest::addColumn<bool>("clone");
        QTest::newRow(".dump into a new file") << false;
        QTest::newRow(".clone") << true;
    }

    void ignoredWriteBeforeARebuild()
    {
        QFETCH(bool, clone);
        ++m_files.serial;
        const QString office = m_files.dir.filePath(QStringLiteral("office%1.db").arg(m_files.serial));
        const QString field = m_files.dir.filePath(QStringLiteral("field%1.db").arg(m_files.serial));
        fillWithGaps(office);
        QCOMPARE(makeReplicable(office), 0);
        // Over the rating of the greatest rowid: after the rebuild no row stands there.
        QCOMPARE(Plain(office).exec("INSERT OR IGNORE INTO Ratings (InspectionID, PanelID, ElementID, Rating) "
                                    "VALUES (1, 4, 4, 1)"),
                 SQLITE_OK);
        QCOMPARE(makeReplica(office, field, QStringLiteral("Field"), 90, 0), 0);
        const QString failed = rebuildWithShell(office, clone);
        QVERIFY2(failed.isEmpty(), qPrintable(failed));
        QVERIFY(one(office, "SELECT max(rowid) FROM Ratings").toInt() < 16);
        QCOMPARE(Plain(office).exec("UPDATE Ratings SET Rating = 0 WHERE PanelID = 2 AND ElementID = 3"), SQLITE_OK);
        Exchange e;
        QCOMPARE(synchronize(field, office, Direction::Both, {}, {}, &e), 0);
        QCOMPARE(sent(e), 1);
        QCOMPARE(e.deletesReceived + e.deletesSent + e.conflicts, 0);
        QCOMPARE(one(field, "SELECT Rating FROM Ratings WHERE PanelID = 4 AND ElementID = 4"), QString("8"));
        QCOMPARE(allContent(office), allContent(field));
    }

    // Each conflict the exchange settled is told in its log: table, key, the value kept, the value set aside.
    void conflictsAreToldInTheLog_data()
    {
        QTest::addColumn<bool>("rowByRow");
        QTest::addColumn<int>("direction");
        QTest::newRow("both ways, set-based") << false << int(Direction::Both);
        QTest::newRow("both ways, row by row") << true << int(Direction::Both);
        QTest::newRow("the field's changes only") << false << int(Direction::Import);
    }

    void conflictsAreToldInTheLog()
    {
        QFETCH(bool, rowByRow);
        QFETCH(int, direction);
        QString office, field;
        masterAndReplica(&office, &field);
        QCOMPARE(Plain(office).exec("UPDATE Ratings SET Rating = 4 WHERE PanelID = 1 AND ElementID = 1;"
                                    "DELETE FROM Panels WHERE PanelID = 2;"
                                    "UPDATE PanelComments SET Comments = 'Wet' WHERE PanelID = 3;"
                                    "UPDATE Ratings SET Rating = 1 WHERE PanelID = 3 AND ElementID = 2;"),
                 SQLITE_OK);
        QCOMPARE(Plain(field).exec("UPDATE Ratings SET Rating = 3 WHERE PanelID = 1 AND ElementID = 1;"
                                   "UPDATE Panels SET PanelName = 'N-02 west' WHERE PanelID = 2;"
                                   "UPDATE PanelComments SET Comments = 'Cracked' WHERE PanelID = 3;"
                                   "UPDATE Ratings SET Rating = 2 WHERE PanelID = 2 AND ElementID = 2;"),
                 SQLITE_OK);
        const QString log = m_files.dir.filePath(QStringLiteral("KRV_ReplicaLog%1.txt").arg(m_files.serial));
        setRowByRow(rowByRow);
        Exchange e;
        const int rc = synchronize(office, field, direction, {}, log, &e);
        setRowByRow(false);
        QCOMPARE(rc, 0);
        QCOMPARE(e.conflicts, 3);
        const QString text = readText(log);
        const QStringList expected = {
            "  Conflict in Ratings, InspectionID = 1, PanelID = 1, ElementID = 1: kept Rating = 4; set aside Rating = 3 "
            "(Changed in both replicas)",
            "  Conflict in Panels, PanelID = 2: kept the deletion of the row; set aside TunnelID = 1, PanelNum = 2, "
            "PanelName = 'N-02 west' (Changed in the other replica, deleted here)",
            "  Conflict in PanelComments, InspectionID = 1, PanelID = 3: kept Comments = 'Wet'; set aside "
            "Comments = 'Cracked' (Changed in both replicas)",
        };
        for (const QString& line : expected)
            QVERIFY2(text.contains(line + QLatin1Char('\n')), qPrintable(text));
        QVERIFY2(text.count(QStringLiteral("  Conflict in ")) == 3, qPrintable(text));
        // The set-aside versions stay in the receiving file.
        QVector<Conflict> c;
        QCOMPARE(conflicts(office, &c), 0);
        QCOMPARE(c.size(), 3);
        // Told once, however many exchanges follow.
        QCOMPARE(synchronize(office, field, Direction::Both, {}, log), 0);
        QCOMPARE(readText(log).count(QStringLiteral("  Conflict in ")), 3);
    }
};

QTEST_GUILESS_MAIN(TstReplCapture)
#include "tst_replcapture.moc"

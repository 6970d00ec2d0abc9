#include "db.h"
#include "globals.h"
#include "schema.h"
#include "testinstall.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>

class TestDatabase : public QObject {
    Q_OBJECT
private slots:
    void init() { m_install = std::make_unique<TestInstall>(); }
    void cleanup() { m_install.reset(); }

    void schemaHoldsEveryTableAndTheReportRows()
    {
        const QStringList tables = {
            "System", "Tunnels", "TunnelCoord", "Panels", "PanelCoord", "ElementCategory", "AvailableElements",
            "PanelElements", "ExpenditureCats", "TabDefinitions", "UnitTypes", "Reports", "login",
            "InspectionPeriod", "Ratings", "RatingsPosted", "PanelComments", "PanelCommentsPosted",
            "DefectQuantity", "DefectQuantityPosted", "ImagePaths", "ImagePathsPosted", "Videos", "VideosPosted",
            "RepairLogs", "Emergencies", "Expenditures", "TabData", "ExpenditureRpt", "ExpenditureRptTunnels",
            "TunnelRpt", "TunnelRptTunnels", "TunnelRptElements", "DefectRpt", "DefectRptTunnels",
            "DefectRptInspections"};
        for (const QString& t : tables)
            QVERIFY2(!gConn.query("SELECT name FROM sqlite_master WHERE type='table' AND name=?", {t}).isEmpty(),
                     qPrintable(t));
        const RowSet reports = gConn.query("SELECT ReportName FROM Reports ORDER BY ReportName");
        QCOMPARE(reports.count(), 3);
        QCOMPARE(reports.toText(0, "reportname"), QString("Defect"));
        QCOMPARE(reports.toText(1, "ReportName"), QString("Element Performance"));
        QCOMPARE(reports.toText(2, "ReportName"), QString("Expenditure"));

        // A new System row takes the highlight defaults.
        gConn.insertAutoNumber("System", {{"SystemName", "Test"}});
        const RowSet sys = gConn.query("SELECT WarningHighlight, CriticalHighlight, View FROM System");
        QCOMPARE(sys.toInt(0, "WarningHighlight"), 5);
        QCOMPARE(sys.toInt(0, "CriticalHighlight"), 3);
        QCOMPARE(sys.toInt(0, "View"), 0);
    }

    void reportDatabaseHasItsTablesAndIndex()
    {
        const QString path = m_install->file("ReportData.db");
        QVERIFY(CreateReportDatabase(path));
        gReportConn.open(path);
        for (const QString t : {"ReportRatings", "Tunnels", "InspectionPeriod", "Panels", "AvailableElements"})
            QVERIFY2(!gReportConn.query("SELECT name FROM sqlite_master WHERE name=?", {t}).isEmpty(), qPrintable(t));
        QVERIFY(!gReportConn.query("SELECT name FROM sqlite_master WHERE type='index' AND name='IPE'").isEmpty());
        gReportConn.close();
    }

    void newDatabaseRefusesAnExistingFile()
    {
        QString error;
        m_install->write("other.db", "keep me");
        QVERIFY(!CreateTunnelDatabase(m_install->file("other.db"), &error));
        QVERIFY(error.contains("already exists"));
        QCOMPARE(m_install->read("other.db"), QByteArray("keep me"));
        QVERIFY(!CreateTunnelDatabase(m_install->file("no/such/folder/x.db"), &error));
        QVERIFY(!QFile::exists(m_install->file("no/such/folder/x.db")));
    }

    // Rows that name a deleted key stay behind on purpose; a new row must never take that key.
    void deletedGreatestKeyIsNeverReused()
    {
        const qint64 a = gConn.insertAutoNumber("Panels", {{"TunnelID", 1}, {"PanelNum", 1}, {"PanelName", "A"}});
        const qint64 b = gConn.insertAutoNumber("Panels", {{"TunnelID", 1}, {"PanelNum", 2}, {"PanelName", "B"}});
        QCOMPARE(b, a + 1);
        gConn.exec("DELETE FROM Panels WHERE PanelID = ?", {b});
        const qint64 c = gConn.insertAutoNumber("Panels", {{"TunnelID", 1}, {"PanelNum", 2}, {"PanelName", "C"}});
        QVERIFY(c > b);
        gConn.exec("DELETE FROM Panels");
        const qint64 d = gConn.insertAutoNumber("Panels", {{"TunnelID", 1}, {"PanelNum", 1}, {"PanelName", "D"}});
        QVERIFY(d > c);
    }

    void namesCompareWithoutCaseFileNamesExactly()
    {
        gConn.exec("INSERT INTO AvailableElements (ElementID, ElementName, ElementCategory) VALUES (?, ?, ?)",
                   {1, "PIPE", 1});
        QCOMPARE(gConn.scalar("SELECT ElementID FROM AvailableElements WHERE ElementName = ?", {"Pipe"}).toInt(), 1);
        gConn.insertAutoNumber("Tunnels", {{"TunnelName", "North"}, {"TunnelPicture", "North.png"}});
        QVERIFY(!gConn.scalar("SELECT TunnelID FROM Tunnels WHERE TunnelName = 'NORTH'").isNull());
        QVERIFY(gConn.scalar("SELECT TunnelID FROM Tunnels WHERE TunnelPicture = 'north.png'").isNull());
        // One user per name, whatever the case.
        gConn.exec("INSERT INTO login (Username, Password) VALUES (?, ?)", {"Admin", "x"});
        QVERIFY_THROWS_EXCEPTION(DbError, gConn.exec("INSERT INTO login (Username, Password) VALUES (?, ?)",
                                                     {"ADMIN", "y"}));
    }

    void newRowIsNotPostedAndFoundByNotPosted()
    {
        gConn.exec("INSERT INTO Ratings (InspectionID, PanelID, ElementID, Rating) VALUES (1, 2, 3, 7)");
        gConn.exec("INSERT INTO ImagePaths (PanelID, ElementID, ImagePath, InspectionID) VALUES (2, 3, 'a.jpg', 1)");
        QCOMPARE(gConn.scalar("SELECT Posted FROM Ratings").toInt(), 0);
        QCOMPARE(gConn.query("SELECT * FROM Ratings WHERE not Posted").count(), 1);
        QCOMPARE(gConn.query("SELECT * FROM ImagePaths WHERE not Posted AND not FieldSketch").count(), 1);
        // One rating per inspection, panel and element.
        QVERIFY_THROWS_EXCEPTION(
            DbError, gConn.exec("INSERT INTO Ratings (InspectionID, PanelID, ElementID, Rating) VALUES (1, 2, 3, 5)"));
    }

    void quotesAndLongTextsAreStoredExactly()
    {
        const QString name = "O'Neil's \"tunnel\"; DROP TABLE Tunnels; --";
        const qint64 id = gConn.insertAutoNumber("Tunnels", {{"TunnelName", name}});
        QCOMPARE(gConn.scalar("SELECT TunnelName FROM Tunnels WHERE TunnelID = ?", {id}).toString(), name);
        const QString longText(40000, QChar('x'));
        gConn.exec("INSERT INTO PanelComments (InspectionID, PanelID, Comments) VALUES (1, 1, ?)", {longText});
        QCOMPARE(gConn.scalar("SELECT Comments FROM PanelComments").toString().size(), 40000);
        QCOMPARE(SqlQuote("a''b"), QString("a''''b"));
        QCOMPARE(SqlQuote(""), QString(""));
        QCOMPARE(SqlQuote(longText).size(), 40000);
    }

    void failingStatementInsideGuardLeavesTheDatabaseAsItWas()
    {
        gConn.insertAutoNumber("Tunnels", {{"TunnelName", "Kept"}});
        try {
            TxGuard outer;
            gConn.insertAutoNumber("Tunnels", {{"TunnelName", "Outer"}});
            {
                TxGuard inner;
                gConn.exec("DELETE FROM Tunnels WHERE TunnelName = 'Kept'");
                inner.commit();
            }
            gConn.exec("INSERT INTO NoSuchTable VALUES (1)");
            outer.commit();
            QFAIL("the statement should have failed");
        } catch (const DbError&) {
        }
        const RowSet rs = gConn.query("SELECT TunnelName FROM Tunnels");
        QCOMPARE(rs.count(), 1);
        QCOMPARE(rs.toText(0, "TunnelName"), QString("Kept"));
        QCOMPARE(gConn.transactionDepth(), 0);

        // An inner failure that the caller handles rolls back only the inner part.
        {
            TxGuard outer;
            gConn.insertAutoNumber("Tunnels", {{"TunnelName", "Second"}});
            try {
                TxGuard inner;
                gConn.exec("DELETE FROM Tunnels");
                gConn.exec("INSERT INTO NoSuchTable VALUES (1)");
                inner.commit();
            } catch (const DbError&) {
            }
            outer.commit();
        }
        QCOMPARE(gConn.query("SELECT * FROM Tunnels").count(), 2);
    }

    void repeatedStatementsAreKeptPreparedAndNeverLeftOpen()
    {
        for (const char* name : {"North", "South", "East"})
            gConn.insertAutoNumber("Tunnels", {{"TunnelName", name}});
        const QString byName = "SELECT TunnelID FROM Tunnels WHERE TunnelName = ?";
        const int before = gConn.keptStatements();
        QCOMPARE(gConn.scalar(byName, {"North"}).toInt(), 1);
        QCOMPARE(gConn.scalar(byName, {"east"}).toInt(), 3);  // the same statement, new values
        QCOMPARE(gConn.query(byName, {"South"}).toInt(0, "TunnelID"), 2);
        QCOMPARE(gConn.keptStatements(), before + 1);

        // A read stopped after its first row is finished all the same: another connection
        // can write (an open read would hold its lock, and this write would time out).
        QCOMPARE(gConn.scalar("SELECT TunnelName FROM Tunnels ORDER BY TunnelID").toString(), QString("North"));
        Connection other("tst-other");
        other.open(m_install->dbPath());
        QCOMPARE(other.exec("UPDATE Tunnels SET TunnelPicture = 'x.png'"), 3);
        other.close();

        // A kept statement that failed is prepared anew, not run again with its old failure.
        const QString add = "INSERT INTO login (Username, Password) VALUES (?, '')";
        gConn.exec(add, {"ann"});
        QVERIFY_THROWS_EXCEPTION(DbError, gConn.exec(add, {"ANN"}));  // names are unique without case
        QCOMPARE(gConn.exec(add, {"bob"}), 1);
        QCOMPARE(gConn.query("SELECT * FROM login").count(), 2);
    }

    void schemaChangeAndCloseDropTheKeptStatements()
    {
        QTest::failOnWarning(QRegularExpression("still in use"));
        gConn.insertAutoNumber("Tunnels", {{"TunnelName", "North"}});
        const QString all = "SELECT * FROM Tunnels";
        const int columns = gConn.query(all).columns().size();
        QVERIFY(gConn.keptStatements() > 0);

        // The statement after a schema change sees the new column.
        gConn.exec("ALTER TABLE Tunnels ADD COLUMN Remark TEXT DEFAULT 'none'");
        QCOMPARE(gConn.keptStatements(), 0);
        const RowSet rs = gConn.query(all);
        QCOMPARE(rs.columns().size(), columns + 1);
        QCOMPARE(rs.toText(0, "Remark"), QString("none"));

        // Closing drops them (Qt warns of a connection still in use otherwise); the file
        // reopens and the same texts run again.
        gConn.close();
        QCOMPARE(gConn.keptStatements(), 0);
        gConn.open(m_install->dbPath());
        QCOMPARE(gConn.query(all).count(), 1);
    }

    void rowSetReadsAsThePlatformDid()
    {
        gConn.insertAutoNumber("Tunnels", {{"TunnelName", "T"}});
        const RowSet rs = gConn.query("SELECT TunnelID, TunnelPicture AS MaxID FROM Tunnels");
        QCOMPARE(rs.columnIndex("maxid"), 1);
        QVERIFY(rs.isNull(0, "MaxId"));
        QVERIFY(rs.value(0, "MaxId").isNull());
        QVERIFY_THROWS_EXCEPTION(DbError, rs.toText(0, "MaxID"));
        QVERIFY_THROWS_EXCEPTION(DbError, rs.value(1, "TunnelID"));
        QVERIFY_THROWS_EXCEPTION(DbError, rs.value(0, "NoColumn"));
        try {
            rs.toInt(0, "MaxID");
        } catch (const DbError& e) {
            QCOMPARE(e.number(), ErrNo::InvalidUseOfNull);
        }
        try {
            rs.toInt(3, "TunnelID");
        } catch (const DbError& e) {
            QCOMPARE(e.number(), ErrNo::NoCurrentRecord);
        }
        QCOMPARE(rs.filtered("TunnelID", 1).count(), 1);
        QCOMPARE(rs.filtered("TunnelID", 2).count(), 0);
        QVERIFY(gConn.scalar("SELECT TunnelID FROM Tunnels WHERE TunnelID = 99").isNull());
    }

    void badFilesAreRefusedClearly_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("create");
        QTest::newRow("missing") << QByteArray() << false;
        QTest::newRow("text file") << QByteArray("this is not a database, just text\n").repeated(200) << true;
        QTest::newRow("empty file is no tunnel db") << QByteArray() << true;
    }
    void badFilesAreRefusedClearly()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, create);
        const QString path = m_install->file("bad.db");
        if (create)
            m_install->write("bad.db", content);
        Connection c("test-bad");
        if (!create || !content.isEmpty()) {
            QVERIFY_THROWS_EXCEPTION(DbError, c.open(path));
            QVERIFY(!c.isOpen());
        } else {
            // SQLite takes an empty file as an empty database; it has no tables.
            c.open(path);
            QVERIFY(c.query("SELECT name FROM sqlite_master WHERE name='System'").isEmpty());
            c.close();
        }
        QCOMPARE(QFile::exists(path), create);
        if (create)
            QCOMPARE(m_install->read("bad.db"), content);
    }

    // Another program keeps the file open in WAL mode: it is in use, not a bad file, and opens once that program
    // has closed it.
    void heldOpenInWalModeIsInUse()
    {
        gConn.close();
        {
            QSqlDatabase other = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("test-wal"));
            other.setDatabaseName(m_install->dbPath());
            QVERIFY(other.open());
            QSqlQuery q(other);
            QVERIFY(q.exec(QStringLiteral("PRAGMA journal_mode=WAL")));
            QVERIFY(q.exec(QStringLiteral("SELECT count(*) FROM Tunnels")) && q.next());
            Connection c("test-wal-open");
            try {
                c.open(m_install->dbPath(), false, 100);
                QFAIL("the file opened while another program kept it in WAL mode");
            } catch (const DbError& e) {
                QVERIFY2(e.description().contains("open in another program that uses it in WAL mode") &&
                             !e.description().contains("not a database"),
                         qPrintable(e.description()));
            }
            QVERIFY(!c.isOpen());
            q.finish();
            other.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("test-wal"));
        gConn.open(m_install->dbPath());
        QCOMPARE(gConn.scalar("PRAGMA journal_mode").toString(), QString("delete"));
    }

    void readOnlyDatabaseRefusesWritesAndKeepsItsRows()
    {
        gConn.insertAutoNumber("Tunnels", {{"TunnelName", "Stored"}});
        gConn.close();
        QFile::setPermissions(m_install->dbPath(), QFile::ReadOwner | QFile::ReadUser);
        // A user who may write any file still gets a read-only connection here.
        gConn.open(m_install->dbPath(), QFileInfo(m_install->dbPath()).isWritable());
        try {
            gConn.exec("DELETE FROM Tunnels");
            QFAIL("a read-only database took a write");
        } catch (const DbError& e) {
            QVERIFY2(e.description().contains("read-only"), qPrintable(e.description()));
        }
        QCOMPARE(gConn.query("SELECT * FROM Tunnels").count(), 1);
    }

    void utilities()
    {
        QCOMPARE(BoolToBit(true), quint8(1));
        QCOMPARE(BoolToBit(false), quint8(0));
        // A plain tunnel database is no replica, a missing file neither; neither is changed.
        const QByteArray before = m_install->read("krv.db");
        gConn.close();
        QCOMPARE(GetReplicaId(m_install->dbPath()), QString());
        QCOMPARE(m_install->read("krv.db"), before);
        QCOMPARE(GetReplicaId(m_install->file("none.db")), QString());
        m_install->write("text.db", "no database");
        QCOMPARE(GetReplicaId(m_install->file("text.db")), QString());
        QCOMPARE(m_install->read("text.db"), QByteArray("no database"));
    }

private:
    std::unique_ptr<TestInstall> m_install;
};

QTEST_MAIN(TestDatabase)
#include "tst_database.moc"

// Kept statements and schema changes made by other connections: the synchronizer adding its
// columns to the open master when the first replica is made, another program's connection.
#include "db.h"
#include "dbdefects.h"
#include "dbinspection.h"
#include "dbposting.h"
#include "dbrecords.h"
#include "dbsystem.h"
#include "fixtures.h"
#include "globals.h"
#include "lookups.h"
#include "scriptedprompt.h"
#include "testinstall.h"

#include <varnock.h>

#include <QDate>
#include <QTest>

#include <functional>

namespace {

// A row set as text, leaving out the synchronizer's own columns (s_...).
QString text(const RowSet& rs)
{
    QStringList rows;
    for (int r = 0; r < rs.count(); ++r) {
        QStringList cells;
        for (int c = 0; c < rs.columns().size(); ++c)
            if (!rs.columns()[c].startsWith(QLatin1String("s_")) && rs.columns()[c] != QLatin1String("Remark"))
                cells << rs.columns()[c] + QLatin1Char('=') + rs.value(r, c).toString();
        rows << cells.join(QLatin1Char(','));
    }
    return rows.join(QLatin1Char(';'));
}

QString text(const std::optional<RowSet>& rs) { return rs ? text(*rs) : QStringLiteral("<none>"); }

struct Reader {
    const char* name;
    std::function<QString()> read;
};

}  // namespace

class TestSchemaChange : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        m_install = std::make_unique<TestInstall>();
        m_prompt = std::make_unique<ScriptedPrompt>();
        FixtureSystem();
        m_tunnel = DbAddTunnel("North", {{10, 10}, {100, 10}, {100, 100}});
        m_panel = DbAddPanel(m_tunnel, "P1");
        DbSavePanelCoords(m_panel, {{1, 1}, {5, 1}, {5, 5}});
        gConn.exec("INSERT INTO ElementCategory (EleCategoryName, EleCategorySort) VALUES ('Walls', 1)");
        FixtureElement(1, "Pipe");
        FixtureElement(2, "Wall");
        DbAddPanelElement(m_panel, 1);
        DbAddPanelElement(m_panel, 2);
        m_old = FixturePeriod(m_tunnel, 2025);
        m_period = FixturePeriod(m_tunnel, 2026);
        DbSaveRating(m_old, m_panel, 1, "4");
        DbSavePanelComment(m_old, m_panel, "cracked");
        DbAddDefectQuantity(m_panel, m_old, "crack", 2, "m", 10, 20);
        FixturePicture(m_panel, 1, m_old, "a.jpg", false);
        DbPostInspection(m_old);
        DbAddDefectQuantity(m_panel, m_period, "leak", 1, "m", 5, 5);
        DbAddUnitType("m");
        DbAddRepairLog(m_panel, "P1", QDate(2026, 3, 1), "patched");
        DbAddEmergency(m_panel, "P1", QDate(2026, 4, 1), "flood");
        gConn.exec("INSERT INTO ExpenditureCats (Category) VALUES ('Repairs')");
        DbAddTabDefinition(0, "Notes");
    }
    void cleanup()
    {
        m_prompt.reset();
        m_install.reset();
    }

    // Save a rating, have the schema changed by another connection, save it again: every
    // procedure that reads with a kept statement still reads what it read before.
    void keptStatementsOutliveNoSchemaChange_data()
    {
        QTest::addColumn<QString>("change");
        QTest::newRow("another connection adds columns") << "connection";
        QTest::newRow("the synchronizer makes the first replica") << "replica";
        QTest::newRow("the program's own connection adds a column") << "own";
    }
    void keptStatementsOutliveNoSchemaChange()
    {
        QFETCH(QString, change);
        const std::vector<Reader> readers = this->readers();

        DbSaveRating(m_period, m_panel, 1, "5");
        DbSavePanelComment(m_period, m_panel, "first");
        QStringList before;
        for (const Reader& r : readers)
            before << r.read();
        QVERIFY(gConn.keptStatements() > 20);

        if (change == "connection") {
            Connection other("tst-other");
            other.open(m_install->dbPath());
            for (const char* table : {"Ratings", "RatingsPosted", "PanelComments", "System", "Tunnels", "Panels",
                                         "PanelCoord", "TunnelCoord", "DefectQuantity", "UnitTypes", "ImagePathsPosted",
                                         "RepairLogs", "Emergencies", "ExpenditureCats", "TabDefinitions",
                                         "AvailableElements", "ElementCategory", "PanelElements"})
                for (const char* column : {"s_GUID BLOB", "s_Generation INTEGER", "s_Lineage TEXT"})
                    other.exec(QStringLiteral("ALTER TABLE %1 ADD COLUMN %2").arg(table, column));
            other.close();
        } else if (change == "replica") {
            Varnock::Synchronizer sync;
            sync.setDatabaseName(m_install->dbPath());
            sync.setRunning(true);
            sync.MakeReplica(m_install->file("field.db"), "field");
            sync.setRunning(false);
            QVERIFY(!GetReplicaId(m_install->dbPath()).isEmpty());
            QVERIFY(gConn.query("SELECT * FROM Ratings").columnIndex("s_GUID") >= 0);
        } else {
            gConn.exec("ALTER TABLE Ratings ADD COLUMN Remark TEXT");
        }

        // The sequence that crashed: the same rating saved again.
        DbSaveRating(m_period, m_panel, 1, "5");
        DbSavePanelComment(m_period, m_panel, "first");
        for (size_t i = 0; i < readers.size(); ++i)
            QVERIFY2(readers[i].read() == before[int(i)], readers[i].name);

        DbSaveRating(m_period, m_panel, 1, "3");
        DbSaveRating(m_period, m_panel, 2, "7");
        QCOMPARE(DbGetRating(m_period, m_panel, 1), QString("3"));
        QCOMPARE(DbGetRating(m_period, m_panel, 2), QString("7"));
        DbSavePanelComment(m_period, m_panel, "second");
        QCOMPARE(DbGetPanelComment(m_period, m_panel), QString("second"));
    }

    // A read of a kept statement costs no more than one look at the schema cookie: the
    // statements stay kept while nothing changes.
    void unchangedSchemaKeepsTheStatements()
    {
        DbSaveRating(m_period, m_panel, 1, "5");  // adds the row
        DbSaveRating(m_period, m_panel, 1, "5");  // changes it
        QCOMPARE(DbGetRating(m_period, m_panel, 1), QString("5"));
        const int kept = gConn.keptStatements();
        const quint64 prepared = gConn.keptPrepared();
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(DbGetRating(m_period, m_panel, 1), QString("5"));
            DbSaveRating(m_period, m_panel, 1, "5");
        }
        QCOMPARE(gConn.keptStatements(), kept);
        QCOMPARE(gConn.keptPrepared(), prepared);
        Connection other("tst-other");
        other.open(m_install->dbPath());
        other.exec("UPDATE Ratings SET Rating = 6");  // rows, not schema
        other.close();
        QCOMPARE(DbGetRating(m_period, m_panel, 1), QString("6"));
        QCOMPARE(gConn.keptPrepared(), prepared);
    }

private:
    std::vector<Reader> readers()
    {
        const qint32 p = m_panel, t = m_tunnel, period = m_period, old = m_old;
        return {
            {"DbGetSystem", [] { return text(DbGetSystem()); }},
            {"DbGetSystemName", [] { return DbGetSystemName(); }},
            {"DbGetTunnels", [] { return text(DbGetTunnels(gSystemID)); }},
            {"DbGetTunnelCoords", [t] { qint32 n = 0; return text(DbGetTunnelCoords(t, n)) + QString::number(n); }},
            {"DbGetPanels", [t] { return text(DbGetPanels(t)); }},
            {"DbGetPanelInfo", [p] { qint32 n = 0; QString name; DbGetPanelInfo(p, n, name); return name + QString::number(n); }},
            {"DbPanelNameExists", [t] { return QString::number(DbPanelNameExists(t, "p1")); }},
            {"DbGetPanelCoords", [p] { qint32 n = 0; return text(DbGetPanelCoords(p, n)) + QString::number(n); }},
            {"DbGetAvailableElements", [] { return text(DbGetAvailableElements()); }},
            {"DbAddPanelElement", [p] { return QString::number(DbAddPanelElement(p, 1)); }},
            {"DbGetPanelElementCategories", [p] { return text(DbGetPanelElementCategories(p)); }},
            {"DbGetDefectQuantities", [p, period] { return text(DbGetDefectQuantities(p, period)); }},
            {"DbGetDefectQuantity", [p, period] {
                 return text(DbGetDefectQuantity(DbGetDefectQuantities(p, period).toInt(0, "ID"))); }},
            {"DbGetPostedDefectQuantities", [p, old] { return text(DbGetPostedDefectQuantities(p, old)); }},
            {"DbGetUnitTypes", [] { return text(DbGetUnitTypes()); }},
            {"DbGetRating", [p, period] { return DbGetRating(period, p, 1); }},
            {"DbGetPostedRating", [p, old] { return DbGetPostedRating(old, p, 1); }},
            {"DbHasUnpostedRatings", [p, period] { return QString::number(DbHasUnpostedRatings(period, p)); }},
            {"DbGetPanelComment", [p, period] { return DbGetPanelComment(period, p); }},
            {"DbGetPostedPanelComment", [p, old] { return DbGetPostedPanelComment(old, p); }},
            {"DbCheckPostedImages", [p] { return text(DbCheckPostedImages(p, 1)); }},
            {"DbCheckPostedImages of one period", [p, old] { return text(DbCheckPostedImages(p, 1, old)); }},
            {"DbGetRepairLogs", [p] { return text(DbGetRepairLogs(p)); }},
            {"DbGetEmergencies", [p] { return text(DbGetEmergencies(p)); }},
            {"DbGetExpenditureCategories", [] { return text(DbGetExpenditureCategories()); }},
            {"DbGetTabDefinitions", [] { return text(DbGetTabDefinitions()); }},
        };
    }

    std::unique_ptr<TestInstall> m_install;
    std::unique_ptr<ScriptedPrompt> m_prompt;
    qint32 m_tunnel = 0, m_panel = 0, m_old = 0, m_period = 0;
};

QTEST_MAIN(TestSchemaChange)
#include "tst_schemachange.moc"

#include "dbdefects.h"
#include "dbposting.h"
#include "dbsystem.h"
#include "fixtures.h"
#include "testinstall.h"

#include <QTest>

class TestDbDefects : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        m_install = std::make_unique<TestInstall>();
        FixtureSystem();
    }
    void cleanup() { m_install.reset(); }

    void defectsAreStoredAsTypedAndUnpostedByAnyUpdate()
    {
        const qint32 t = FixtureTunnel(QStringLiteral("A"));
        const qint32 insp = FixturePeriod(t, 2020);
        const qint32 id =
            DbAddDefectQuantity(5, insp, QStringLiteral("Rust at 'north' door"), 1.5, QStringLiteral("ft'"), 2.25, 3.375);
        QCOMPARE(Rows(QStringLiteral("SELECT PanelID, InspectionID, Quantity, Units, UnitCost, TotalCost, "
                                     "Description, Posted FROM DefectQuantity WHERE ID = ?"),
                      {id}),
                 QStringList{QStringLiteral("5|%1|1.5|ft'|2.25|3.375|Rust at 'north' door|0").arg(insp)});
        QCOMPARE(DbGetDefectQuantity(id).count(), 1);
        QVERIFY(DbGetDefectQuantity(id + 1).isEmpty());

        DbPostInspection(insp);
        QVERIFY(!DbHasUnpostedData(insp));
        QCOMPARE(DbGetPostedDefectQuantities(5, insp).count(), 1);

        // Saved again unchanged: still unposted, as every save is.
        DbUpdateDefectQuantity(id, QStringLiteral("Rust at 'north' door"), 1.5, QStringLiteral("ft'"), 2.25, 3.375);
        QVERIFY(DbHasUnpostedData(insp));
        DbPostInspection(insp);
        DbUpdateDefectQuantity(id, QStringLiteral("O'Neil's crack"), 4, QStringLiteral("in\""), 0.5, 2);
        QVERIFY(DbHasUnpostedData(insp));
        QCOMPARE(Rows(QStringLiteral("SELECT PanelID, InspectionID, Quantity, Units, Description, Posted "
                                     "FROM DefectQuantity")),
                 QStringList{QStringLiteral("5|%1|4|in\"|O'Neil's crack|0").arg(insp)});

        DbAddDefectQuantity(5, insp + 1, QStringLiteral("x"), 1, QStringLiteral("ft"), 1, 1);
        DbAddDefectQuantity(6, insp, QStringLiteral("y"), 1, QStringLiteral("ft"), 1, 1);
        QCOMPARE(DbGetDefectQuantities(5, insp).count(), 1);
    }

    // A change writes the columns it names and nothing else; a value stored already is no change
    // and leaves the row posted.
    void aChangeWritesOnlyItsColumns()
    {
        const qint32 insp = FixturePeriod(FixtureTunnel(QStringLiteral("A")), 2020);
        const qint32 id = DbAddDefectQuantity(5, insp, QStringLiteral("Crack"), 0.1 + 0.2, QStringLiteral("ft"), 2, 0.6);
        DbPostInspection(insp);
        DbUpdateDefectQuantityColumns(id, {{QStringLiteral("Description"), QStringLiteral("Crack")}});
        QVERIFY(!DbHasUnpostedData(insp));
        DbUpdateDefectQuantityColumns(id, {{QStringLiteral("Units"), QStringLiteral("m")}});
        QCOMPARE(Rows(QStringLiteral("SELECT Description, Quantity = 0.1 + 0.2, Units, Posted FROM DefectQuantity")),
                 QStringList{QStringLiteral("Crack|1|m|0")});
        DbDeleteDefectQuantity(id);
        QCOMPARE(CountRows(QStringLiteral("DefectQuantity")), 0);
    }

    // A unit another user added since the list was read, in any case, is not added twice.
    void aUnitIsListedOnce()
    {
        DbAddUnitType(QStringLiteral("yd"));
        DbAddUnitType(QStringLiteral("YD"));
        QCOMPARE(Rows(QStringLiteral("SELECT Unit FROM UnitTypes WHERE Unit = 'yd'")), QStringList{QStringLiteral("yd")});
    }

    void reportRowsOfTunnelsAndYears_data()
    {
        QTest::addColumn<QStringList>("tunnels");
        QTest::addColumn<QList<int>>("years");
        QTest::addColumn<QStringList>("expected");  // Description values, sorted
        QTest::newRow("one tunnel, one year") << QStringList{"North"} << QList<int>{2020} << QStringList{"n20"};
        QTest::newRow("year one tunnel lacks") << QStringList{"North", "South"} << QList<int>{2021}
                                               << QStringList{"s21"};
        QTest::newRow("both, both years") << QStringList{"North", "South"} << QList<int>{2020, 2021}
                                          << QStringList{"n20", "s20", "s21"};
        QTest::newRow("no tunnel") << QStringList{} << QList<int>{2020} << QStringList{};
        QTest::newRow("no year") << QStringList{"North"} << QList<int>{} << QStringList{};
    }
    void reportRowsOfTunnelsAndYears()
    {
        QFETCH(QStringList, tunnels);
        QFETCH(QList<int>, years);
        QFETCH(QStringList, expected);
        QMap<QString, qint32> ids;
        ids[QStringLiteral("North")] = FixtureTunnel(QStringLiteral("North"));
        ids[QStringLiteral("South")] = FixtureTunnel(QStringLiteral("South"));
        const qint32 n20 = FixturePeriod(ids["North"], 2020);
        const qint32 s20 = FixturePeriod(ids["South"], 2020);
        const qint32 s21 = FixturePeriod(ids["South"], 2021);
        const qint32 np = DbAddPanel(ids["North"], QStringLiteral("N1"));
        const qint32 sp = DbAddPanel(ids["South"], QStringLiteral("S1"));
        DbAddDefectQuantity(np, n20, QStringLiteral("n20"), 1, QStringLiteral("ft"), 2, 2);
        DbAddDefectQuantity(sp, s20, QStringLiteral("s20"), 1, QStringLiteral("ft"), 2, 2);
        DbAddDefectQuantity(sp, s21, QStringLiteral("s21"), 1, QStringLiteral("ft"), 2, 2);
        DbAddDefectQuantity(sp, s21, QStringLiteral("unposted"), 1, QStringLiteral("ft"), 2, 2);
        for (qint32 i : {n20, s20, s21})
            DbPostInspection(i);
        gConn.exec(QStringLiteral("UPDATE DefectQuantity SET Posted = 0 WHERE Description = 'unposted'"));
        gConn.exec(QStringLiteral("DELETE FROM DefectQuantityPosted WHERE Description = 'unposted'"));

        QVector<qint32> tunnelIds, yearList;
        for (const QString& t : tunnels)
            tunnelIds << ids[t];
        for (int y : years)
            yearList << y;
        const RowSet rs = DbGetDefectReportRows(tunnelIds, yearList);
        QStringList got;
        for (int r = 0; r < rs.count(); ++r)
            got << rs.toText(r, QStringLiteral("Description"));
        got.sort();
        QCOMPARE(got, expected);
        QCOMPARE(rs.columns(), (QStringList{"ID", "PanelID", "PanelName", "Quantity", "Units", "UnitCost", "TotalCost",
                                            "TunnelName", "InspectionYear", "Description"}));
        if (expected == QStringList{QStringLiteral("s21")}) {
            QCOMPARE(rs.toText(0, QStringLiteral("PanelName")), QStringLiteral("S1"));
            QCOMPARE(rs.toText(0, QStringLiteral("TunnelName")), QStringLiteral("South"));
            QCOMPARE(rs.toInt(0, QStringLiteral("InspectionYear")), 2021);
        }
    }

    void unitTypes()
    {
        QVERIFY(DbGetUnitTypes().isEmpty());
        DbAddUnitType(QStringLiteral("sq ft"));
        DbAddUnitType(QStringLiteral("ft'"));
        DbAddUnitType(QStringLiteral("Each"));
        const RowSet rs = DbGetUnitTypes();
        QStringList units;
        for (int r = 0; r < rs.count(); ++r)
            units << rs.toText(r, QStringLiteral("Unit"));
        QCOMPARE(units, (QStringList{"Each", "ft'", "sq ft"}));
    }

private:
    std::unique_ptr<TestInstall> m_install;
};

QTEST_MAIN(TestDbDefects)
#include "tst_dbdefects.moc"

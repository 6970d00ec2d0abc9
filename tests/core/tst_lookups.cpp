#include "db.h"
#include "lookups.h"
#include "testinstall.h"

#include <QTest>

namespace {
QStringList column(const RowSet& rs, const QString& name)
{
    QStringList out;
    for (int r = 0; r < rs.count(); ++r)
        out << rs.value(r, name).toString();
    return out;
}

long errorOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const DbError& e) {
        return e.number();
    }
    return 0;
}
}  // namespace

class TestLookups : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        m_install = std::make_unique<TestInstall>();
        // Tunnel 1 has 2005 and 2007, tunnel 2 only 2005, tunnel 3 none.
        gConn.exec(QStringLiteral("INSERT INTO Tunnels (TunnelID, TunnelName) VALUES (1, 'North'), (2, 'South'), "
                                  "(3, 'East'), (4, NULL)"));
        gConn.exec(QStringLiteral("INSERT INTO InspectionPeriod VALUES (31, 1, 2007), (32, 1, 2005), (41, 2, 2005)"));
    }
    void cleanup() { m_install.reset(); }

    void tunnelAndPeriod()
    {
        QCOMPARE(DbGetTunnelName(2), QStringLiteral("South"));
        QCOMPARE(DbGetTunnelName(4), QString());
        QCOMPARE(DbGetTunnelName(99), QString());

        QCOMPARE(DbGetInspectionYear(32), 2005);
        QCOMPARE(errorOf([] { DbGetInspectionYear(99); }), ErrNo::NoCurrentRecord);

        QCOMPARE(DbGetInspectionTunnelID(41, 2005), 2);
        QCOMPARE(DbGetInspectionTunnelID(31, 2007), 1);
        // Id and year must both match.
        QCOMPARE(errorOf([] { DbGetInspectionTunnelID(31, 2005); }), ErrNo::NoCurrentRecord);
        QCOMPARE(errorOf([] { DbGetInspectionTunnelID(99, 2007); }), ErrNo::NoCurrentRecord);
    }

    void years_data()
    {
        QTest::addColumn<qint32>("tunnel");
        QTest::addColumn<QString>("year");
        QTest::addColumn<int>("latest");
        QTest::addColumn<QString>("otherMax");
        QTest::addColumn<qint32>("found");
        QTest::newRow("no periods") << 3 << "2005" << 0 << "" << 0;
        QTest::newRow("single year, that year") << 2 << "2005" << 2005 << "" << 41;
        QTest::newRow("single year, another year") << 2 << "2006" << 2005 << "2005" << 0;
        QTest::newRow("other year may be later") << 1 << "2005" << 2007 << "2007" << 32;
        QTest::newRow("other year may be earlier") << 1 << "2007" << 2007 << "2005" << 31;
        QTest::newRow("year with blanks") << 1 << " 2007 " << 2007 << "2005" << 31;
        QTest::newRow("unknown tunnel") << 99 << "2005" << 0 << "" << 0;
    }

    void years()
    {
        QFETCH(qint32, tunnel);
        QFETCH(QString, year);
        QFETCH(int, latest);
        QFETCH(QString, otherMax);
        QFETCH(qint32, found);
        QCOMPARE(int(DbGetLatestInspectionYear(tunnel)), latest);
        QCOMPARE(DbGetOtherMaxYear(tunnel, year), otherMax);
        QCOMPARE(DbFindInspectionID(tunnel, year), found);
    }

    // A year that is not a number is an error for the caller's handler, never a silent 0.
    void yearTextThatIsNoNumber()
    {
        for (const QString& bad : {QString(), QStringLiteral("abc"), QStringLiteral("2005 OR 1=1")}) {
            QVERIFY(errorOf([&] { DbGetOtherMaxYear(1, bad); }) != 0);
            QVERIFY(errorOf([&] { DbFindInspectionID(1, bad); }) != 0);
        }
    }

    void panelElementCategories()
    {
        gConn.exec(QStringLiteral("INSERT INTO ElementCategory VALUES (1, 'Structure', 2), (2, 'Drainage', 1), "
                                  "(3, 'Lighting', 3)"));
        gConn.exec(QStringLiteral("INSERT INTO AvailableElements VALUES (101, 'Lining', 1), (102, 'Arch', 1), "
                                  "(103, 'Drain', 2), (104, 'Lamp', 3)"));
        gConn.exec(QStringLiteral("INSERT INTO PanelElements VALUES (11, 101), (11, 102), (11, 103), (12, 104)"));

        const RowSet cats = DbGetPanelElementCategories(11);
        QCOMPARE(column(cats, QStringLiteral("EleCategoryName")), (QStringList{"Drainage", "Structure"}));
        QCOMPARE(column(cats, QStringLiteral("EleCategoryID")), (QStringList{"2", "1"}));
        QCOMPARE(cats.columns().size(), 3);
        QCOMPARE(column(DbGetPanelElementCategories(12), QStringLiteral("EleCategoryName")),
                 QStringList{"Lighting"});
        QVERIFY(DbGetPanelElementCategories(13).isEmpty());
    }

    void nullToEmpty_data()
    {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QVariant>("expected");
        QTest::newRow("null") << QVariant() << QVariant(QString());
        QTest::newRow("zero") << QVariant(0) << QVariant(0);
        QTest::newRow("empty text") << QVariant(QString()) << QVariant(QString());
        QTest::newRow("text") << QVariant(QStringLiteral("x")) << QVariant(QStringLiteral("x"));
        QTest::newRow("number") << QVariant(2005.5) << QVariant(2005.5);
    }

    void nullToEmpty()
    {
        QFETCH(QVariant, value);
        QFETCH(QVariant, expected);
        const QVariant v = NullToEmpty(value);
        QCOMPARE(v, expected);
        QCOMPARE(v.typeId(), expected.typeId());
    }

    // A value read from the database goes through as read.
    void nullToEmptyOnAReadValue()
    {
        const RowSet rs = gConn.query(QStringLiteral("SELECT TunnelName, TunnelID FROM Tunnels WHERE TunnelID = 4"));
        QCOMPARE(NullToEmpty(rs.value(0, QStringLiteral("TunnelName"))).toString(), QString());
        QVERIFY(!NullToEmpty(rs.value(0, QStringLiteral("TunnelName"))).isNull());
        QCOMPARE(NullToEmpty(rs.value(0, QStringLiteral("TunnelID"))).toInt(), 4);
    }

private:
    std::unique_ptr<TestInstall> m_install;
};

QTEST_MAIN(TestLookups)
#include "tst_lookups.moc"

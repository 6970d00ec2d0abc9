#include "db.h"
#include "dbhighlights.h"
#include "globals.h"
#include "testinstall.h"

#include <QTest>

namespace {

QStringList systemColumns()
{
    QStringList cols;
    const RowSet rs = gConn.query(QStringLiteral("PRAGMA table_info(System)"));
    for (int i = 0; i < rs.count(); ++i)
        cols << rs.value(i, QStringLiteral("name")).toString();
    return cols;
}

QVariantList thresholdsOfRow(int row)
{
    const RowSet rs =
        gConn.query(QStringLiteral("SELECT WarningHighlight, CriticalHighlight FROM System ORDER BY SystemID"));
    return {rs.value(row, QStringLiteral("WarningHighlight")), rs.value(row, QStringLiteral("CriticalHighlight"))};
}

void dropColumn(const char* column)
{
    gConn.exec(QStringLiteral("ALTER TABLE System DROP COLUMN %1").arg(QLatin1String(column)));
}

}  // namespace

class TestHighlights : public QObject {
    Q_OBJECT
private slots:
    void init() { m_install = std::make_unique<TestInstall>(); }
    void cleanup() { m_install.reset(); }

    // A database made before the thresholds: the patch adds what is missing, sets what it
    // added to 5 / 3 in every row, and leaves alone what was there.
    void patchAddsMissingColumns_data()
    {
        QTest::addColumn<bool>("dropWarning");
        QTest::addColumn<bool>("dropCritical");
        QTest::addColumn<QVariantList>("expected");  // warning, critical of each row after the patch
        QTest::newRow("both missing") << true << true << QVariantList{5, 3};
        QTest::newRow("critical missing") << false << true << QVariantList{8, 3};
        QTest::newRow("warning missing") << true << false << QVariantList{5, 1};
        QTest::newRow("both there, Nulls kept") << false << false << QVariantList{QVariant(), QVariant()};
    }
    void patchAddsMissingColumns()
    {
        QFETCH(bool, dropWarning);
        QFETCH(bool, dropCritical);
        QFETCH(QVariantList, expected);
        const bool nulls = !dropWarning && !dropCritical;
        for (int i = 0; i < 2; ++i)
            gConn.exec(QStringLiteral("INSERT INTO System (SystemName, WarningHighlight, CriticalHighlight) "
                                      "VALUES (?, ?, ?)"),
                       {QStringLiteral("S%1").arg(i), nulls ? QVariant() : QVariant(8), nulls ? QVariant() : QVariant(1)});
        if (dropWarning)
            dropColumn("WarningHighlight");
        if (dropCritical)
            dropColumn("CriticalHighlight");

        DbEnsureHighlightColumns();
        QVERIFY(systemColumns().contains(QStringLiteral("WarningHighlight")));
        QVERIFY(systemColumns().contains(QStringLiteral("CriticalHighlight")));
        for (int row = 0; row < 2; ++row) {
            const QVariantList got = thresholdsOfRow(row);
            QCOMPARE(got[0].isNull(), expected[0].isNull());
            QCOMPARE(got[1].isNull(), expected[1].isNull());
            if (!expected[0].isNull()) {
                QCOMPARE(got[0].toInt(), expected[0].toInt());
                QCOMPARE(got[1].toInt(), expected[1].toInt());
            }
        }

        // The second start leaves a patched table alone.
        gConn.exec(QStringLiteral("UPDATE System SET WarningHighlight = 7, CriticalHighlight = 2"));
        DbEnsureHighlightColumns();
        QCOMPARE(thresholdsOfRow(0), (QVariantList{7, 2}));
    }

    void patchSwallowsItsErrors()
    {
        // No System row: the columns are still added.
        dropColumn("WarningHighlight");
        dropColumn("CriticalHighlight");
        DbEnsureHighlightColumns();
        QVERIFY(systemColumns().contains(QStringLiteral("CriticalHighlight")));
        // No System table, and no open database at all: nothing raised, nothing shown.
        gConn.exec(QStringLiteral("DROP TABLE System"));
        DbEnsureHighlightColumns();
        gConn.close();
        DbEnsureHighlightColumns();
    }

    void loadAndGetReadNullsAsTheDefaults_data()
    {
        QTest::addColumn<QVariant>("warning");
        QTest::addColumn<QVariant>("critical");
        QTest::addColumn<int>("expWarning");
        QTest::addColumn<int>("expCritical");
        QTest::newRow("values") << QVariant(6) << QVariant(2) << 6 << 2;
        QTest::newRow("Nulls") << QVariant() << QVariant() << 5 << 3;
        QTest::newRow("Null critical") << QVariant(9) << QVariant() << 9 << 3;
        QTest::newRow("zeros are values") << QVariant(0) << QVariant(0) << 0 << 0;
    }
    void loadAndGetReadNullsAsTheDefaults()
    {
        QFETCH(QVariant, warning);
        QFETCH(QVariant, critical);
        QFETCH(int, expWarning);
        QFETCH(int, expCritical);
        gConn.exec(QStringLiteral("INSERT INTO System (SystemName, WarningHighlight, CriticalHighlight) VALUES "
                                  "('A', ?, ?)"),
                   {warning, critical});
        gConn.exec(QStringLiteral("INSERT INTO System (SystemName, WarningHighlight, CriticalHighlight) VALUES "
                                  "('B', 1, 1)"));
        DbLoadHighlights();
        QCOMPARE(gWarningHighlight, expWarning);
        QCOMPARE(gCriticalHighlight, expCritical);
        qint32 w = -1, c = -1;
        DbGetHighlights(w, c);
        QCOMPARE(w, expWarning);
        QCOMPARE(c, expCritical);
    }

    void noSystemRowKeepsTheValues()
    {
        gWarningHighlight = 4;
        gCriticalHighlight = 2;
        DbLoadHighlights();
        QCOMPARE(gWarningHighlight, 4);
        QCOMPARE(gCriticalHighlight, 2);
        qint32 w = 11, c = 12;
        DbGetHighlights(w, c);
        QCOMPARE(w, 11);
        QCOMPARE(c, 12);
    }

    void settersChangeEveryRowAndTheGlobal()
    {
        gConn.exec(QStringLiteral("INSERT INTO System (SystemName) VALUES ('A'), ('B')"));
        DbSetWarningHighlight(8);
        DbSetCriticalHighlight(6);  // no check against the warning threshold: the caller asks
        QCOMPARE(gWarningHighlight, 8);
        QCOMPARE(gCriticalHighlight, 6);
        QCOMPARE(thresholdsOfRow(0), (QVariantList{8, 6}));
        QCOMPARE(thresholdsOfRow(1), (QVariantList{8, 6}));

        // A failed save leaves the global as it was.
        gConn.close();
        QVERIFY_THROWS_EXCEPTION(DbError, DbSetWarningHighlight(2));
        QVERIFY_THROWS_EXCEPTION(DbError, DbSetCriticalHighlight(1));
        QCOMPARE(gWarningHighlight, 8);
        QCOMPARE(gCriticalHighlight, 6);
    }

private:
    std::unique_ptr<TestInstall> m_install;
};

QTEST_MAIN(TestHighlights)
#include "tst_highlights.moc"

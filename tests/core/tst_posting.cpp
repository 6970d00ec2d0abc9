#include "dbdefects.h"
#include "dbinspection.h"
#include "dbposting.h"
#include "fixtures.h"
#include "testinstall.h"

#include <QRandomGenerator>
#include <QTest>

namespace {

const QStringList kTables{"Ratings",           "RatingsPosted", "DefectQuantity", "DefectQuantityPosted",
                          "PanelComments",     "PanelCommentsPosted", "ImagePaths", "ImagePathsPosted",
                          "Videos",            "VideosPosted"};

// Every row of every posting table, sorted.
QMap<QString, QStringList> snapshot()
{
    QMap<QString, QStringList> s;
    for (const QString& t : kTables) {
        s[t] = Rows(QStringLiteral("SELECT * FROM %1").arg(t));
        s[t].sort();
    }
    return s;
}

// The merges one row at a time, as a plain reading of them gives; the procedures must
// leave the same rows.
void referencePostRatings(qint32 i)
{
    const RowSet work = gConn.query(QStringLiteral("SELECT * FROM Ratings WHERE InspectionID = ? AND NOT Posted"), {i});
    for (int r = 0; r < work.count(); ++r) {
        const QVariantList key{i, work.value(r, "PanelID"), work.value(r, "ElementID")};
        const QVariant rating = work.value(r, "Rating");
        const RowSet posted = gConn.query(
            QStringLiteral("SELECT * FROM RatingsPosted WHERE InspectionID = ? AND PanelID = ? AND ElementID = ?"), key);
        if (posted.isEmpty())
            gConn.exec(QStringLiteral("INSERT INTO RatingsPosted (InspectionID, PanelID, ElementID, Rating) "
                                      "VALUES (?, ?, ?, ?)"),
                       key + QVariantList{rating});
        else
            gConn.exec(QStringLiteral("UPDATE RatingsPosted SET Rating = ? "
                                      "WHERE InspectionID = ? AND PanelID = ? AND ElementID = ?"),
                       QVariantList{rating} + key);
    }
    const RowSet posted = gConn.query(QStringLiteral("SELECT * FROM RatingsPosted WHERE InspectionID = ?"), {i});
    for (int r = 0; r < posted.count(); ++r) {
        const QVariantList key{i, posted.value(r, "PanelID"), posted.value(r, "ElementID")};
        if (gConn.query(QStringLiteral("SELECT * FROM Ratings WHERE InspectionID = ? AND PanelID = ? AND ElementID = ?"),
                        key)
                .isEmpty())
            gConn.exec(QStringLiteral("DELETE FROM RatingsPosted WHERE InspectionID = ? AND PanelID = ? AND ElementID = ?"),
                       key);
    }
}

void referencePostDefects(qint32 i)
{
    const RowSet work =
        gConn.query(QStringLiteral("SELECT * FROM DefectQuantity WHERE InspectionID = ? AND NOT Posted"), {i});
    for (int r = 0; r < work.count(); ++r) {
        const QVariant id = work.value(r, "ID");
        const auto text = [&](const char* col) {
            const QVariant v = work.value(r, col);
            return v.isNull() ? QStringLiteral("") : v.toString();
        };
        const QVariantList values{work.value(r, "Quantity"), text("Units"), work.value(r, "UnitCost"),
                                  work.value(r, "TotalCost"), text("Description")};
        if (gConn.query(QStringLiteral("SELECT * FROM DefectQuantityPosted WHERE ID = ?"), {id}).isEmpty())
            gConn.exec(QStringLiteral("INSERT INTO DefectQuantityPosted (ID, PanelID, InspectionID, Quantity, Units, "
                                      "UnitCost, TotalCost, Description) VALUES (?, ?, ?, ?, ?, ?, ?, ?)"),
                       QVariantList{id, work.value(r, "PanelID"), i} + values);
        else
            gConn.exec(QStringLiteral("UPDATE DefectQuantityPosted SET Quantity = ?, Units = ?, UnitCost = ?, "
                                      "TotalCost = ?, Description = ? WHERE ID = ?"),
                       values + QVariantList{id});
    }
    const RowSet posted = gConn.query(QStringLiteral("SELECT * FROM DefectQuantityPosted WHERE InspectionID = ?"), {i});
    for (int r = 0; r < posted.count(); ++r) {
        const QVariant id = posted.value(r, "ID");
        if (gConn.query(QStringLiteral("SELECT * FROM DefectQuantity WHERE ID = ?"), {id}).isEmpty())
            gConn.exec(QStringLiteral("DELETE FROM DefectQuantityPosted WHERE ID = ?"), {id});
    }
}


}  // namespace

class TestPosting : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        m_install = std::make_unique<TestInstall>();
        FixtureSystem();
        const qint32 t = FixtureTunnel(QStringLiteral("A"));
        m_a = FixturePeriod(t, 2020);
        m_b = FixturePeriod(t, 2021);
    }
    void cleanup() { m_install.reset(); }

    // Random mixes of entered, posted, changed, marked, unrated and orphaned rows in two
    // inspections: the set-based merges give exactly the rows of the one-by-one merge.
    void mergesMatchTheRowByRowMerge_data()
    {
        QTest::addColumn<quint32>("seed");
        for (quint32 seed : {1u, 7u, 42u, 1234u, 99991u})
            QTest::newRow(qPrintable(QString::number(seed))) << seed;
    }
    void mergesMatchTheRowByRowMerge()
    {
        QFETCH(quint32, seed);
        QRandomGenerator rnd(seed);
        const auto pick = [&](int n) { return int(rnd.bounded(n)); };
        const auto maybeNull = [&](const QVariant& v) { return pick(5) == 0 ? QVariant(v.metaType()) : v; };
        for (qint32 insp : {m_a, m_b})
            for (int p = 1; p <= 6; ++p)
                for (int e = 1; e <= 5; ++e) {
                    if (pick(4) != 0)
                        gConn.exec(QStringLiteral("INSERT INTO Ratings VALUES (?, ?, ?, ?, ?)"),
                                   {insp, p, e, maybeNull(pick(10)), pick(2)});
                    if (const int c = pick(4); c != 0)
                        gConn.exec(QStringLiteral("INSERT INTO RatingsPosted VALUES (?, ?, ?, ?)"),
                                   {insp, p, e, c == 1 ? QVariant(-1) : maybeNull(pick(10))});
                }
        for (int id = 1; id <= 60; ++id) {
            const qint32 insp = pick(2) ? m_a : m_b;
            if (pick(4) != 0)
                gConn.exec(QStringLiteral("INSERT INTO DefectQuantity VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"),
                           {id, 1 + pick(6), insp, maybeNull(1.5 * pick(9)), maybeNull(QStringLiteral("ft'%1").arg(pick(3))),
                            maybeNull(2.25 * pick(9)), maybeNull(10.0 * pick(9)),
                            maybeNull(QStringLiteral("desc %1").arg(pick(100))), pick(2)});
            if (pick(2) != 0)
                gConn.exec(QStringLiteral("INSERT INTO DefectQuantityPosted VALUES (?, ?, ?, ?, ?, ?, ?, ?)"),
                           {id, 1 + pick(6), pick(3) ? insp : (insp == m_a ? m_b : m_a), 9.0, QStringLiteral("old"),
                            1.0, 9.0, QStringLiteral("old")});
        }

        QMap<QString, QStringList> expected;
        {
            TxGuard undo;  // never committed: the reference's work is rolled back
            referencePostRatings(m_a);
            referencePostDefects(m_a);
            expected = snapshot();
        }
        DbPostRatings(m_a);
        DbPostDefectQuantities(m_a);
        const QMap<QString, QStringList> got = snapshot();
        QCOMPARE(got[QStringLiteral("RatingsPosted")], expected[QStringLiteral("RatingsPosted")]);
        QCOMPARE(got[QStringLiteral("DefectQuantityPosted")], expected[QStringLiteral("DefectQuantityPosted")]);
        QCOMPARE(got, expected);
    }

    void postingCopiesThePeriodAndCanRunAgain()
    {
        fillPeriod(m_a);
        fillPeriod(m_b);
        QVERIFY(DbHasUnpostedData(m_a));
        QVERIFY(DbHasUnpostedMedia(m_a));
        const auto rowsOf = [](const QString& table, qint32 insp) {
            QStringList rows = Rows(QStringLiteral("SELECT * FROM %1 WHERE InspectionID = ?").arg(table), {insp});
            rows.sort();
            return rows;
        };
        QMap<QString, QStringList> otherBefore;
        for (const QString& t : kTables)
            otherBefore[t] = rowsOf(t, m_b);

        // Every step twice: the second run changes nothing.
        const QList<void (*)(qint32)> steps{DbPostRatings, DbPostDefectQuantities, DbPostPanelComments,
                                             DbPostImagesAndVideos, DbMarkInspectionPosted};
        for (auto step : steps) {
            step(m_a);
            const QMap<QString, QStringList> once = snapshot();
            step(m_a);
            QCOMPARE(snapshot(), once);
        }
        QVERIFY(!DbHasUnpostedData(m_a));
        QVERIFY(!DbHasUnpostedMedia(m_a));
        QVERIFY(DbHasUnpostedData(m_b));
        QVERIFY(DbHasUnpostedMedia(m_b));
        expectPostedEqualsWorking(m_a);

        // The other period is untouched: nothing of it posted, its rows as they were.
        for (const QString& t : kTables)
            QCOMPARE(rowsOf(t, m_b), otherBefore[t]);
        const QMap<QString, QStringList> after = snapshot();

        // Posting again with nothing new: same rows.
        DbPostInspection(m_a);
        QCOMPARE(snapshot(), after);
    }

    void orphansLeaveThePostedTables()
    {
        fillPeriod(m_a);
        DbPostInspection(m_a);
        gConn.exec(QStringLiteral("DELETE FROM Ratings WHERE PanelID = 1 AND ElementID = 2"));
        gConn.exec(QStringLiteral("DELETE FROM DefectQuantity WHERE Description = 'Spall'"));
        gConn.exec(QStringLiteral("DELETE FROM ImagePaths WHERE ImagePath = 'p1.jpg'"));
        gConn.exec(QStringLiteral("DELETE FROM Videos WHERE VideoFile = 'v1.avi'"));
        gConn.exec(QStringLiteral("DELETE FROM PanelComments WHERE PanelID = 2"));
        // Nothing is unposted, yet the orphans go at the next posting.
        QVERIFY(!DbHasUnpostedData(m_a));
        QVERIFY(!DbHasUnpostedMedia(m_a));
        DbPostInspection(m_a);
        expectPostedEqualsWorking(m_a);
        QCOMPARE(CountRows(QStringLiteral("RatingsPosted"), QStringLiteral("PanelID = 1 AND ElementID = 2")), 0);
        QCOMPARE(CountRows(QStringLiteral("DefectQuantityPosted"), QStringLiteral("Description = 'Spall'")), 0);
    }

    void defectQuantitiesWithNullsArePosted()
    {
        gConn.exec(QStringLiteral("INSERT INTO DefectQuantity (PanelID, InspectionID, Quantity, Units, UnitCost, "
                                  "TotalCost, Description, Posted) VALUES (1, ?, NULL, NULL, NULL, NULL, NULL, 0)"),
                   {m_a});
        DbAddDefectQuantity(1, m_a, QStringLiteral("Leak at 'B' joint"), 2.5, QStringLiteral("ft'"), 4.0, 10.0);
        DbPostInspection(m_a);
        QCOMPARE(Rows(QStringLiteral("SELECT Quantity, Units, UnitCost, TotalCost, Description "
                                     "FROM DefectQuantityPosted ORDER BY ID")),
                 (QStringList{"<null>||<null>|<null>|", "2.5|ft'|4|10|Leak at 'B' joint"}));
        QVERIFY(!DbHasUnpostedData(m_a));
    }

    void updatedDefectIsPostedOnItsOwnPanel()
    {
        const qint32 id = DbAddDefectQuantity(3, m_a, QStringLiteral("Crack"), 1, QStringLiteral("ft"), 2, 2);
        DbPostInspection(m_a);
        // A posted copy keeps its panel and inspection; only the values follow.
        gConn.exec(QStringLiteral("UPDATE DefectQuantityPosted SET PanelID = 9"));
        DbUpdateDefectQuantity(id, QStringLiteral("Crack, wider"), 3, QStringLiteral("m"), 5, 15);
        QVERIFY(DbHasUnpostedData(m_a));
        DbPostInspection(m_a);
        QCOMPARE(Rows(QStringLiteral("SELECT * FROM DefectQuantityPosted")),
                 QStringList{QStringLiteral("%1|9|%2|3|m|5|15|Crack, wider").arg(id).arg(m_a)});
    }

    // Posting a period again without a change writes no row: the posted copies of
    // ratings, defects, comments, pictures and clips already hold the working values.
    void postingAgainUnchangedWritesNothing()
    {
        fillPeriod(m_a);
        FixturePicture(3, 3, m_a, QStringLiteral("again.jpg"), false);
        FixtureClip(3, 3, m_a, QStringLiteral("again.avi"));
        DbPostInspection(m_a);
        const qint64 before = gConn.scalar(QStringLiteral("SELECT total_changes()")).toLongLong();
        DbPostInspection(m_a);
        QCOMPARE(gConn.scalar(QStringLiteral("SELECT total_changes()")).toLongLong(), before);
        expectPostedEqualsWorking(m_a);
    }

    void failedStepLeavesThePostedTables()
    {
        fillPeriod(m_a);
        DbPostInspection(m_a);
        DbSaveRating(m_a, 1, 1, QStringLiteral("0"));  // an update of a posted copy
        DbSaveRating(m_a, 4, 4, QStringLiteral("8"));  // a new posted row, which fails
        FailWhen(QStringLiteral("fail_post"), QStringLiteral("INSERT"), QStringLiteral("RatingsPosted"),
                 QStringLiteral("NEW.PanelID = 4"));
        FailWhen(QStringLiteral("fail_clip"), QStringLiteral("INSERT"), QStringLiteral("VideosPosted"),
                 QStringLiteral("1"));
        FixturePicture(3, 3, m_a, QStringLiteral("new.jpg"), false);
        FixtureClip(3, 3, m_a, QStringLiteral("new.avi"));  // so the clips are copied again
        const QMap<QString, QStringList> before = snapshot();

        QVERIFY_THROWS_EXCEPTION(DbError, DbPostRatings(m_a));
        QVERIFY_THROWS_EXCEPTION(DbError, DbPostImagesAndVideos(m_a));
        QVERIFY_THROWS_EXCEPTION(DbError, DbPostInspection(m_a));
        QCOMPARE(snapshot(), before);
        QCOMPARE(gConn.transactionDepth(), 0);

        DropFailure(QStringLiteral("fail_post"));
        DropFailure(QStringLiteral("fail_clip"));
        DbPostInspection(m_a);
        expectPostedEqualsWorking(m_a);
    }

    void checksLookOnlyAtTheirInspectionAndTable_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<bool>("data");
        QTest::addColumn<bool>("media");
        QTest::newRow("rating") << "Ratings" << true << false;
        QTest::newRow("defect") << "DefectQuantity" << true << false;
        QTest::newRow("comment") << "PanelComments" << true << false;
        QTest::newRow("picture") << "ImagePaths" << false << true;
        QTest::newRow("clip") << "Videos" << false << true;
    }
    void checksLookOnlyAtTheirInspectionAndTable()
    {
        QFETCH(QString, table);
        QFETCH(bool, data);
        QFETCH(bool, media);
        fillPeriod(m_a);
        fillPeriod(m_b);
        DbPostInspection(m_a);
        DbPostInspection(m_b);
        gConn.exec(QStringLiteral("UPDATE %1 SET Posted = 0 WHERE rowid = (SELECT min(rowid) FROM %1 "
                                  "WHERE InspectionID = ?)")
                       .arg(table),
                   {m_b});
        QVERIFY(!DbHasUnpostedData(m_a));
        QVERIFY(!DbHasUnpostedMedia(m_a));
        QCOMPARE(DbHasUnpostedData(m_b), data);
        QCOMPARE(DbHasUnpostedMedia(m_b), media);
    }

private:
    // Ratings (one unrated), comments, defects, pictures and clips of one period.
    void fillPeriod(qint32 insp)
    {
        for (int p = 1; p <= 3; ++p)
            for (int e = 1; e <= 3; ++e)
                DbSaveRating(insp, p, e, (p == 2 && e == 2) ? QString() : QString::number((p + e) % 10));
        DbSavePanelComment(insp, 1, QStringLiteral("Wet lining"));
        DbSavePanelComment(insp, 2, QStringLiteral("O'Brien's note"));
        DbAddDefectQuantity(1, insp, QStringLiteral("Spall"), 2, QStringLiteral("sq ft"), 30, 60);
        DbAddDefectQuantity(2, insp, QStringLiteral("Crack"), 12.5, QStringLiteral("ft"), 4, 50);
        FixturePicture(1, 1, insp, QStringLiteral("p1.jpg"), false, QStringLiteral("north wall"));
        FixturePicture(1, 1, insp, QStringLiteral("s1.jpg"), true);
        FixturePicture(2, 3, insp, QStringLiteral("p2.jpg"), false);
        FixtureClip(1, 1, insp, QStringLiteral("v1.avi"));
        FixtureClip(3, 2, insp, QStringLiteral("v2.avi"));
    }

    // The posted tables of the period hold exactly its working rows, all marked posted.
    void expectPostedEqualsWorking(qint32 insp)
    {
        const auto same = [insp](const QString& cols, const QString& work, const QString& posted) {
            const QString sql = QStringLiteral("SELECT %1 FROM %2 WHERE InspectionID = ? ORDER BY %1");
            QCOMPARE(Rows(sql.arg(cols, posted), {insp}), Rows(sql.arg(cols, work), {insp}));
            QCOMPARE(CountRows(work, QStringLiteral("InspectionID = ? AND NOT Posted"), {insp}), 0);
        };
        same(QStringLiteral("PanelID, ElementID, Rating"), QStringLiteral("Ratings"), QStringLiteral("RatingsPosted"));
        same(QStringLiteral("ID, PanelID, Quantity, Units, UnitCost, TotalCost, Description"),
             QStringLiteral("DefectQuantity"), QStringLiteral("DefectQuantityPosted"));
        same(QStringLiteral("PanelID, Comments"), QStringLiteral("PanelComments"), QStringLiteral("PanelCommentsPosted"));
        same(QStringLiteral("PanelID, ElementID, ImagePath, FieldSketch, Annotation"), QStringLiteral("ImagePaths"),
             QStringLiteral("ImagePathsPosted"));
        same(QStringLiteral("PanelID, ElementID, VideoFile"), QStringLiteral("Videos"), QStringLiteral("VideosPosted"));
    }

    std::unique_ptr<TestInstall> m_install;
    qint32 m_a = 0;
    qint32 m_b = 0;
};

QTEST_MAIN(TestPosting)
#include "tst_posting.moc"

#include "dbinspection.h"
#include "dbposting.h"
#include "fixtures.h"
#include "globals.h"
#include "testinstall.h"

#include <QTest>

// Ratings are keyed (I, P, E); these tests use one panel and element unless they say.
class TestDbInspection : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        m_install = std::make_unique<TestInstall>();
        FixtureSystem();
        m_tunnel = FixtureTunnel(QStringLiteral("A"));
        m_insp = FixturePeriod(m_tunnel, 2020);
    }
    void cleanup() { m_install.reset(); }

    void periodsAndTheirYears()
    {
        const qint32 id = DbAddInspectionPeriod(QStringLiteral("x%1").arg(m_tunnel), 2005);
        QCOMPARE(Rows(QStringLiteral("SELECT TunnelID, InspectionYear FROM InspectionPeriod WHERE InspectionID = ?"),
                      {id}),
                 QStringList{QStringLiteral("%1|2005").arg(m_tunnel)});
        DbSetInspectionYear(QStringLiteral("y%1").arg(id), 2010);
        QCOMPARE(DbGetInspectionID(m_tunnel, 2010), id);
        QCOMPARE(DbGetInspectionID(m_tunnel, 2005), 0);
        QCOMPARE(DbGetInspectionID(m_tunnel + 1, 2010), 0);
        // A year the tunnel has already (another user's, added since the caller looked) is not added twice.
        QCOMPARE(DbAddInspectionPeriod(QStringLiteral("x%1").arg(m_tunnel), 2010), 0);
        QCOMPARE(CountRows(QStringLiteral("InspectionPeriod"), QStringLiteral("InspectionYear = 2010")), 1);
    }

    void previousYear_data()
    {
        QTest::addColumn<int>("year");
        QTest::addColumn<int>("previous");  // 0: no value
        // The tunnel has 2010 and 2020; another tunnel has 2015.
        QTest::newRow("earliest") << 2010 << 0;
        QTest::newRow("latest") << 2020 << 2010;
        QTest::newRow("between, no period of its own") << 2016 << 2010;
        QTest::newRow("after all") << 2030 << 2020;
        QTest::newRow("before all") << 1999 << 0;
    }
    void previousYear()
    {
        QFETCH(int, year);
        QFETCH(int, previous);
        FixturePeriod(m_tunnel, 2010);
        FixturePeriod(FixtureTunnel(QStringLiteral("B")), 2015);
        const std::optional<qint16> got = DbGetPreviousInspectionYear(m_tunnel, qint16(year));
        QCOMPARE(got.has_value(), previous != 0);
        if (got)
            QCOMPARE(int(*got), previous);
    }

    // Each row: the state before, the text saved, the state after. State: working rating
    // (or "-" for no row), working Posted, posted copy (or "-").
    void saveRating_data()
    {
        QTest::addColumn<QString>("working");
        QTest::addColumn<int>("posted");
        QTest::addColumn<QString>("copy");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("workingAfter");
        QTest::addColumn<int>("postedAfter");
        QTest::addColumn<QString>("copyAfter");
        // No rating over no row is no change: nothing is written.
        QTest::newRow("new, empty") << "-" << 0 << "-" << "" << "-" << 0 << "-";
        QTest::newRow("new, digit") << "-" << 0 << "-" << "7" << "7" << 0 << "-";
        QTest::newRow("entered, same again") << "7" << 0 << "-" << "7" << "7" << 0 << "-";
        QTest::newRow("posted, same") << "5" << 1 << "5" << "5" << "5" << 1 << "5";
        QTest::newRow("posted, other") << "5" << 1 << "5" << "4" << "4" << 0 << "-1";
        QTest::newRow("posted, cleared") << "5" << 1 << "5" << "" << "<null>" << 0 << "-1";
        QTest::newRow("posted, not a digit") << "5" << 1 << "5" << "x" << "<null>" << 0 << "-1";
        // Never 0, the worst rating, for a text that is not one digit.
        QTest::newRow("new, not a digit") << "-" << 0 << "-" << "x" << "-" << 0 << "-";
        QTest::newRow("new, two digits") << "-" << 0 << "-" << "10" << "-" << 0 << "-";
        QTest::newRow("new, a sign") << "-" << 0 << "-" << "-" << "-" << 0 << "-";
        QTest::newRow("marked, saved again") << "4" << 0 << "-1" << "3" << "3" << 0 << "-1";
        QTest::newRow("marked, posted value typed") << "4" << 0 << "-1" << "5" << "5" << 0 << "-1";
        QTest::newRow("posted unrated, still empty") << "<null>" << 1 << "<null>" << "" << "<null>" << 1 << "<null>";
        QTest::newRow("posted unrated, now rated") << "<null>" << 1 << "<null>" << "6" << "6" << 0 << "-1";
        QTest::newRow("posted row without copy") << "5" << 1 << "-" << "5" << "5" << 0 << "-";
    }
    void saveRating()
    {
        QFETCH(QString, working);
        QFETCH(int, posted);
        QFETCH(QString, copy);
        QFETCH(QString, text);
        QFETCH(QString, workingAfter);
        QFETCH(int, postedAfter);
        QFETCH(QString, copyAfter);
        const auto value = [](const QString& s) {
            return s == QLatin1String("<null>") ? QVariant(QMetaType(QMetaType::Int)) : QVariant(s.toInt());
        };
        if (working != QLatin1String("-"))
            gConn.exec(QStringLiteral("INSERT INTO Ratings VALUES (?, 1, 1, ?, ?)"), {m_insp, value(working), posted});
        if (copy != QLatin1String("-"))
            gConn.exec(QStringLiteral("INSERT INTO RatingsPosted VALUES (?, 1, 1, ?)"), {m_insp, value(copy)});

        DbSaveRating(m_insp, 1, 1, text);

        QCOMPARE(Rows(QStringLiteral("SELECT Rating, Posted FROM Ratings")),
                 workingAfter == QLatin1String("-")
                     ? QStringList()
                     : QStringList{workingAfter + QLatin1Char('|') + QString::number(postedAfter)});
        QCOMPARE(Rows(QStringLiteral("SELECT Rating FROM RatingsPosted")),
                 copyAfter == QLatin1String("-") ? QStringList() : QStringList{copyAfter});
        QCOMPARE(gConn.transactionDepth(), 0);
    }

    void ratingLifecycleThroughPosting()
    {
        const auto post = [this] { DbPostInspection(m_insp); };
        DbSaveRating(m_insp, 1, 1, QStringLiteral("5"));
        QCOMPARE(DbGetRating(m_insp, 1, 1), QStringLiteral("5"));
        QCOMPARE(DbGetPostedRating(m_insp, 1, 1), QString());
        QVERIFY(DbHasUnpostedData(m_insp));

        post();
        QCOMPARE(DbGetPostedRating(m_insp, 1, 1), QStringLiteral("5"));
        QVERIFY(!DbHasUnpostedData(m_insp));
        // The window saves every box, edited or not: an unchanged one stays posted.
        DbSaveRating(m_insp, 1, 1, QStringLiteral("5"));
        QVERIFY(!DbHasUnpostedData(m_insp));

        DbSaveRating(m_insp, 1, 1, QStringLiteral("4"));
        QCOMPARE(DbGetRating(m_insp, 1, 1), QStringLiteral("4"));
        QCOMPARE(DbGetPostedRating(m_insp, 1, 1), QStringLiteral("M"));
        QVERIFY(DbHasUnpostedData(m_insp));
        DbSaveRating(m_insp, 1, 1, QStringLiteral("3"));
        QCOMPARE(DbGetPostedRating(m_insp, 1, 1), QStringLiteral("M"));

        post();
        QCOMPARE(DbGetPostedRating(m_insp, 1, 1), QStringLiteral("3"));
        QCOMPARE(Rows(QStringLiteral("SELECT Rating, Posted FROM Ratings")), QStringList{QStringLiteral("3|1")});
        QVERIFY(!DbHasUnpostedData(m_insp));
    }

    void ratingEnteredOverAPostedBlankIsPosted()
    {
        // A blank row (an empty save writes none; an older program or a replica may have one).
        gConn.exec(QStringLiteral("INSERT INTO Ratings VALUES (?, 1, 1, NULL, 0)"), {m_insp});
        DbPostInspection(m_insp);
        QCOMPARE(Rows(QStringLiteral("SELECT Rating FROM RatingsPosted")), QStringList{QStringLiteral("<null>")});
        DbSaveRating(m_insp, 1, 1, QString());
        QVERIFY(!DbHasUnpostedData(m_insp));

        DbSaveRating(m_insp, 1, 1, QStringLiteral("6"));
        QVERIFY(DbHasUnpostedData(m_insp));
        DbPostInspection(m_insp);
        QCOMPARE(DbGetPostedRating(m_insp, 1, 1), QStringLiteral("6"));
    }

    void failedRatingSaveLeavesNoMarker()
    {
        DbSaveRating(m_insp, 1, 1, QStringLiteral("5"));
        DbPostInspection(m_insp);
        FailWhen(QStringLiteral("fail_rating"), QStringLiteral("UPDATE"), QStringLiteral("Ratings"),
                 QStringLiteral("NEW.Rating = 2"));
        QVERIFY_THROWS_EXCEPTION(DbError, DbSaveRating(m_insp, 1, 1, QStringLiteral("2")));
        QCOMPARE(DbGetPostedRating(m_insp, 1, 1), QStringLiteral("5"));
        QCOMPARE(Rows(QStringLiteral("SELECT Rating, Posted FROM Ratings")), QStringList{QStringLiteral("5|1")});
    }

    void readersOfMissingRows()
    {
        QCOMPARE(DbGetRating(0, 1, 1), QString());
        QCOMPARE(DbGetPostedRating(m_insp, 1, 1), QString());
        gConn.exec(QStringLiteral("INSERT INTO RatingsPosted VALUES (?, 1, 1, NULL)"), {m_insp});
        QCOMPARE(DbGetPostedRating(m_insp, 1, 1), QString());
        QCOMPARE(DbGetPanelComment(m_insp, 1), QString());
        QCOMPARE(DbGetPostedPanelComment(m_insp, 1), QString());
    }

    void unpostedRatingsOfAPanel()
    {
        // True means nothing left to post on the panel.
        QVERIFY(DbHasUnpostedRatings(m_insp, 1));
        DbSaveRating(m_insp, 1, 1, QStringLiteral("5"));
        DbSaveRating(m_insp, 2, 1, QStringLiteral("5"));
        QVERIFY(!DbHasUnpostedRatings(m_insp, 1));
        DbPostInspection(m_insp);
        QVERIFY(DbHasUnpostedRatings(m_insp, 1));
        DbSaveRating(m_insp, 2, 1, QStringLiteral("1"));
        QVERIFY(DbHasUnpostedRatings(m_insp, 1));
        QVERIFY(!DbHasUnpostedRatings(m_insp, 2));
    }

    void panelComments()
    {
        DbSavePanelComment(m_insp, 1, QString());
        QCOMPARE(Rows(QStringLiteral("SELECT Comments, Posted FROM PanelComments")), QStringList{QStringLiteral("|0")});
        QVERIFY(DbHasUnpostedData(m_insp));

        DbSavePanelComment(m_insp, 1, QStringLiteral("Crack at O'Brien's joint"));
        QCOMPARE(DbGetPanelComment(m_insp, 1), QStringLiteral("Crack at O'Brien's joint"));
        DbPostInspection(m_insp);
        QCOMPARE(DbGetPostedPanelComment(m_insp, 1), QStringLiteral("Crack at O'Brien's joint"));

        // The same text writes nothing; a change of case is a change.
        DbSavePanelComment(m_insp, 1, QStringLiteral("Crack at O'Brien's joint"));
        QVERIFY(!DbHasUnpostedData(m_insp));
        DbSavePanelComment(m_insp, 1, QStringLiteral("crack at O'Brien's joint"));
        QVERIFY(DbHasUnpostedData(m_insp));
        QCOMPARE(DbGetPostedPanelComment(m_insp, 1), QStringLiteral("Crack at O'Brien's joint"));

        // A stored Null always differs, and reading it raises.
        gConn.exec(QStringLiteral("UPDATE PanelComments SET Comments = NULL, Posted = 1"));
        QVERIFY_THROWS_EXCEPTION(DbError, DbGetPanelComment(m_insp, 1));
        DbSavePanelComment(m_insp, 1, QString());
        QCOMPARE(Rows(QStringLiteral("SELECT Comments, Posted FROM PanelComments")), QStringList{QStringLiteral("|0")});
    }

    void postedImagesOfAnElement()
    {
        gHasPostedImages = true;
        QVERIFY(!DbCheckPostedImages(1, 1).has_value());
        QVERIFY(!gHasPostedImages);

        const qint32 later = FixturePeriod(m_tunnel, 2021);
        FixturePicture(1, 1, m_insp, QStringLiteral("a.jpg"), false);
        FixturePicture(1, 1, later, QStringLiteral("b.jpg"), true);
        FixturePicture(1, 2, later, QStringLiteral("c.jpg"), false);
        QVERIFY(!DbCheckPostedImages(1, 1).has_value());  // only posted ones count
        DbPostInspection(m_insp);
        DbPostInspection(later);
        const std::optional<RowSet> rs = DbCheckPostedImages(1, 1);
        QVERIFY(gHasPostedImages);
        QVERIFY(rs.has_value());
        QCOMPARE(rs->count(), 2);
    }

    void postedImagesOfAnElementInOnePeriod()
    {
        const qint32 later = FixturePeriod(m_tunnel, 2021);
        FixturePicture(1, 1, m_insp, QStringLiteral("a.jpg"), false, QString(), true);
        FixturePicture(1, 1, later, QStringLiteral("b.jpg"), true, QString(), true);
        FixturePicture(1, 1, later, QStringLiteral("c.jpg"), false, QString(), true);
        FixturePicture(2, 1, later, QStringLiteral("d.jpg"), false, QString(), true);
        DbPostInspection(m_insp);
        DbPostInspection(later);
        const std::optional<RowSet> rs = DbCheckPostedImages(1, 1, later);
        QVERIFY(gHasPostedImages);
        QVERIFY(rs.has_value());
        QCOMPARE(rs->count(), 2);
        QCOMPARE(rs->toInt(0, QStringLiteral("InspectionID")), later);
        QVERIFY(DbCheckPostedImages(1, 1, m_insp).has_value());
        QVERIFY(!DbCheckPostedImages(1, 2, later).has_value());
        QVERIFY(!gHasPostedImages);
        QVERIFY(!DbCheckPostedImages(1, 1, later + 1).has_value());
    }

    // The lowest rating per panel in one read gives what reading each element of the panel
    // gives: elements the panel does not have, or the catalogue lacks, and other periods do
    // not count; a value that is no whole number marks the panel.
    void lowestRatingOfEachPanel()
    {
        for (int e = 1; e <= 3; ++e)
            FixtureElement(e, QStringLiteral("E%1").arg(e));
        const auto assign = [](int panel, int element) {
            gConn.exec(QStringLiteral("INSERT INTO PanelElements (PanelID, ElementID) VALUES (?, ?)"), {panel, element});
        };
        const auto rate = [](const char* table, qint32 insp, int panel, int element, const QVariant& rating) {
            gConn.exec(QStringLiteral("INSERT INTO %1 (InspectionID, PanelID, ElementID, Rating) VALUES (?, ?, ?, ?)")
                           .arg(QLatin1String(table)),
                       {insp, panel, element, rating});
        };
        for (const auto& [panel, element] : {std::pair{1, 1}, {1, 2}, {1, 4}, {2, 1}, {2, 2}, {3, 1}, {4, 1}, {4, 2}})
            assign(panel, element);
        const qint32 other = FixturePeriod(m_tunnel, 2022);
        for (const char* table : {"Ratings", "RatingsPosted"}) {
            rate(table, m_insp, 1, 1, 7);
            rate(table, m_insp, 1, 2, QVariant());
            rate(table, m_insp, 1, 3, 1);  // not on the panel
            rate(table, m_insp, 1, 4, 0);  // not in the catalogue
            rate(table, other, 1, 1, 0);
            rate(table, m_insp, 2, 1, QVariant());
            rate(table, m_insp, 3, 1, QStringLiteral("x"));
            rate(table, m_insp, 4, 1, 6);
            rate(table, m_insp, 4, 2, -1);
        }
        const QHash<qint32, PanelLowest> working = DbGetLowestRatings(m_insp);
        const QHash<qint32, PanelLowest> posted = DbGetLowestPostedRatings(m_insp);
        QCOMPARE(working.size(), 4);
        QCOMPARE(posted.size(), 4);
        QCOMPARE(working[1].lowest, QVariant(qlonglong(7)));
        QCOMPARE(posted[1].lowest, QVariant(qlonglong(7)));
        QVERIFY(working[2].lowest.isNull() && !working[2].odd);
        QVERIFY(working[3].odd && posted[3].odd);
        QCOMPARE(working[4].lowest, QVariant(qlonglong(-1)));
        QCOMPARE(posted[4].lowest, QVariant(qlonglong(6)));  // -1: changed after posting
        QVERIFY(!working[1].odd && !working[4].odd && !posted[4].odd);
        QVERIFY(DbGetLowestRatings(m_insp + 100).isEmpty());
    }

private:
    std::unique_ptr<TestInstall> m_install;
    qint32 m_tunnel = 0;
    qint32 m_insp = 0;
};

QTEST_MAIN(TestDbInspection)
#include "tst_dbinspection.moc"

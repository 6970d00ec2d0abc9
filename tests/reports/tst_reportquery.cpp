#include "db.h"
#include "fixtures.h"
#include "modFilter.h"
#include "helpers.h"
#include "testinstall.h"

#include <QTest>

namespace {

ExpenditureCriteria criteria(std::array<bool, 4> fields, std::array<QString, 5> filters)
{
    ExpenditureCriteria c;
    c.fields = fields;
    c.filters = filters;
    return c;
}

const QString kFrom = QStringLiteral(
    "FROM ExpenditureCats INNER JOIN (Tunnels INNER JOIN Expenditures ON Tunnels.TunnelID = Expenditures.TunnelID) "
    "ON ExpenditureCats.CategoryID = Expenditures.CategoryID ");

}  // namespace

class TestReportQuery : public QObject {
    Q_OBJECT
private slots:
    // The field list follows the grouping: its column first, then the tunnel, then the rest.
    void fieldLists_data()
    {
        QTest::addColumn<int>("groupBy");
        QTest::addColumn<QList<bool>>("fields");
        QTest::addColumn<QStringList>("list");
        QTest::newRow("month, category and cost") << 1 << QList<bool>{true, false, true, false}
                                                  << QStringList{"Date", "TunnelName", "Category", "Cost"};
        QTest::newRow("category, only date") << 0 << QList<bool>{false, true, false, false}
                                             << QStringList{"Category", "TunnelName", "Date"};
        QTest::newRow("year, all four") << 2 << QList<bool>{true, true, true, true}
                                        << QStringList{"Date", "TunnelName", "Category", "Cost", "Comments"};
        QTest::newRow("category, all four") << 0 << QList<bool>{true, true, true, true}
                                            << QStringList{"Category", "TunnelName", "Date", "Cost", "Comments"};
    }
    void fieldLists()
    {
        QFETCH(int, groupBy);
        QFETCH(QList<bool>, fields);
        QFETCH(QStringList, list);
        const auto c = criteria({fields[0], fields[1], fields[2], fields[3]}, {});
        QCOMPARE(ExpenditureFieldList(c, groupBy), list);
    }

    // The statement texts, with the criteria values in the form SQLite compares them.
    void statements_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QList<qint32>>("tunnels");
        QTest::addColumn<QList<bool>>("fields");
        QTest::addColumn<QStringList>("filters");
        QTest::addColumn<QString>("statement");
        const QList<bool> all{true, true, true, true};
        QTest::newRow("one tunnel, no filter")
            << "Expenditure" << QList<qint32>{5} << all << QStringList{"", "", "", "", ""}
            << "SELECT Category,TunnelName,Date,Cost,Comments " + kFrom + "WHERE (Tunnels.TunnelID=5)";
        QTest::newRow("two tunnels, no filter")
            << "Expenditure" << QList<qint32>{3, 7} << all << QStringList{"", "", "", "", ""}
            << "SELECT Category,TunnelName,Date,Cost,Comments " + kFrom
                   + "WHERE (Tunnels.TunnelID=3) OR (Tunnels.TunnelID=7)";
        QTest::newRow("three terms, two tunnels")
            << "Expenditure" << QList<qint32>{3, 7} << all << QStringList{" Lighting ", "", "", "100", "2,500.75"}
            << "SELECT Category,TunnelName,Date,Cost,Comments " + kFrom
                   + "WHERE (Tunnels.TunnelID=3 AND Category='Lighting' AND Cost>=100 AND Cost<=2500.75) OR "
                     "(Tunnels.TunnelID=7 AND Category='Lighting' AND Cost>=100 AND Cost<=2500.75) ";
        QTest::newRow("a quote in the category, ISO dates")
            << "Expenditure" << QList<qint32>{2} << all << QStringList{"O'Hare", "2020-03-01", "12/31/2021", "", ""}
            << "SELECT Category,TunnelName,Date,Cost,Comments " + kFrom
                   + "WHERE (Tunnels.TunnelID=2 AND Category='O''Hare' AND Date>='2020-03-01' AND "
                     "Date<='2021-12-31') ";
        QTest::newRow("date boxes empty, a cost box given")
            << "Expenditure" << QList<qint32>{1} << all << QStringList{"", " ", "", "", "40"}
            << "SELECT Category,TunnelName,Date,Cost,Comments " + kFrom + "WHERE (Tunnels.TunnelID=1 AND Cost<=40) ";
        QTest::newRow("blanks only and unchecked fields filter nothing")
            << "Expenditure" << QList<qint32>{1} << QList<bool>{false, false, true, true}
            << QStringList{"Lights", "2020-01-01", "", "   ", ""}
            << "SELECT Category,TunnelName,Cost,Comments " + kFrom + "WHERE (Tunnels.TunnelID=1)";
        QTest::newRow("element condition evaluation")
            << "Drainage Element Condition Evaluation" << QList<qint32>{1, 2} << all
            << QStringList{"x", "", "", "", ""}
            << "SELECT * FROM (Panels INNER JOIN (AvailableElements INNER JOIN ReportRatings ON "
               "AvailableElements.ElementID = ReportRatings.ElementID) ON Panels.PanelID = ReportRatings.PanelID) "
               "INNER JOIN InspectionPeriod ON ReportRatings.InspectionID = InspectionPeriod.InspectionID ";
        QTest::newRow("another kind") << "Defect" << QList<qint32>{1} << all << QStringList{"", "", "", "", ""}
                                      << QString();
    }
    void statements()
    {
        QFETCH(QString, kind);
        QFETCH(QList<qint32>, tunnels);
        QFETCH(QList<bool>, fields);
        QFETCH(QStringList, filters);
        QFETCH(QString, statement);
        const auto c = criteria({fields[0], fields[1], fields[2], fields[3]},
                                {filters[0], filters[1], filters[2], filters[3], filters[4]});
        const QStringList list = kind.contains(QLatin1String("Element")) ? QStringList{"*"}
                                                                         : ExpenditureFieldList(c, 0);
        QCOMPARE(BuildReportQuery(kind, QVector<qint32>(tunnels.begin(), tunnels.end()), list,
                                  ExpenditureFilterTerms(c), c),
                 statement);
    }

    // The statement runs on the tunnel database and its filters select what they say.
    void runsOnTheDatabase()
    {
        TestInstall install;
        FixtureSystem();
        const qint32 t = FixtureTunnel(QStringLiteral("North"));
        const qint64 cat = gConn.insertAutoNumber(QStringLiteral("ExpenditureCats"),
                                                  {{QStringLiteral("Category"), QStringLiteral("O'Hare lights")}});
        for (const auto& [cost, date] : {std::pair{50.0, "2020-02-29"}, std::pair{150.0, "2020-03-01"},
                                         std::pair{1500.0, "2021-12-31"}, std::pair{15000.0, "2022-01-01"}})
            gConn.insertAutoNumber(QStringLiteral("Expenditures"), {{QStringLiteral("TunnelID"), t},
                                                                    {QStringLiteral("Cost"), cost},
                                                                    {QStringLiteral("Date"), QString::fromLatin1(date)},
                                                                    {QStringLiteral("CategoryID"), cat}});
        const auto c = criteria({true, true, true, false},
                                {QStringLiteral("O'Hare lights"), QStringLiteral("2020-03-01"),
                                 QStringLiteral("2021-12-31"), QStringLiteral("100"), QString()});
        const QString sql = BuildReportQuery(QStringLiteral("Expenditure"), {t}, ExpenditureFieldList(c, 0),
                                             ExpenditureFilterTerms(c), c);
        const RowSet rows = gConn.query(sql);
        QCOMPARE(rows.count(), 2);
        QCOMPARE(rows.toDouble(0, QStringLiteral("Cost")) + rows.toDouble(1, QStringLiteral("Cost")), 1650.0);
    }

    void readsDatesAndNumbers()
    {
        QCOMPARE(ReadCriteriaDate(QStringLiteral("2/31/2021")), std::nullopt);
        QCOMPARE(ReadCriteriaDate(QStringLiteral("2021-02-31")), std::nullopt);
        QCOMPARE(ReadCriteriaDate(QStringLiteral(" 2/28/2021 ")), QDate(2021, 2, 28));
        QCOMPARE(ReadCriteriaDate(ShortDateText(QDate(2019, 7, 4))), QDate(2019, 7, 4));
        QCOMPARE(ReadCriteriaNumber(QStringLiteral("1,000")), 1000.0);
        QCOMPARE(ReadCriteriaNumber(QStringLiteral("$12.50")), 12.5);
        QCOMPARE(ReadCriteriaNumber(QStringLiteral("12x")), std::nullopt);
        QCOMPARE(ReadCriteriaNumber(QStringLiteral("  ")), std::nullopt);
    }

    // A date typed in the locale's way is the date meant: a two-digit year is never 19xx by
    // default, a four-digit one is itself; a date shown in a box has its four-digit year and
    // reads back as the same date.
    void datesInEachLocale_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QDate>("date");
        const QDate none;
        QTest::newRow("en_US 1/1/04") << "en_US" << "1/1/04" << QDate(2004, 1, 1);
        QTest::newRow("en_US 12/31/04") << "en_US" << "12/31/04" << QDate(2004, 12, 31);
        QTest::newRow("en_US 02/03/04") << "en_US" << "02/03/04" << QDate(2004, 2, 3);
        QTest::newRow("en_US four digits") << "en_US" << "1/1/2004" << QDate(2004, 1, 1);
        QTest::newRow("en_US last century") << "en_US" << "7/4/85" << QDate(1985, 7, 4);
        QTest::newRow("en_US 29 February 2000") << "en_US" << "2/29/00" << QDate(2000, 2, 29);
        QTest::newRow("en_US 29 February 2001") << "en_US" << "2/29/01" << none;
        QTest::newRow("en_US ISO") << "en_US" << "2004-01-31" << QDate(2004, 1, 31);
        QTest::newRow("de_DE 02.03.04") << "de_DE" << "02.03.04" << QDate(2004, 3, 2);
        QTest::newRow("de_DE 31.12.04") << "de_DE" << "31.12.04" << QDate(2004, 12, 31);
        QTest::newRow("de_DE no leading zeros") << "de_DE" << "2.3.2004" << QDate(2004, 3, 2);
        QTest::newRow("de_DE 02/03/04") << "de_DE" << "02/03/04" << QDate(2004, 3, 2);
        QTest::newRow("de_DE ISO") << "de_DE" << "2004-01-31" << QDate(2004, 1, 31);
        QTest::newRow("C 02/03/04") << "C" << "02/03/04" << QDate(2004, 2, 3);
        QTest::newRow("C month name") << "C" << "1 Jan 04" << QDate(2004, 1, 1);
        QTest::newRow("C month name, four digits") << "C" << "1 Jan 2004" << QDate(2004, 1, 1);
        QTest::newRow("C 31 February") << "C" << "2/31/2021" << none;
    }
    void datesInEachLocale()
    {
        QFETCH(QString, locale);
        QFETCH(QString, typed);
        QFETCH(QDate, date);
        const QLocale before;
        QLocale::setDefault(QLocale(locale));
        const auto read = ReadCriteriaDate(typed);
        const QString shown = date.isValid() ? CriteriaDateText(date) : QString();
        const auto back = date.isValid() ? ReadCriteriaDate(shown) : std::nullopt;
        QLocale::setDefault(before);
        QCOMPARE(read.value_or(QDate()), date);
        if (date.isValid()) {
            QVERIFY2(shown.contains(QString::number(date.year())), qPrintable(shown));
            QCOMPARE(back.value_or(QDate()), date);
        }
    }

    void twoDigitYearWindow()
    {
        QCOMPARE(TwoDigitYear(4, 2025), 2004);
        QCOMPARE(TwoDigitYear(44, 2025), 2044);
        QCOMPARE(TwoDigitYear(45, 2025), 1945);
        QCOMPARE(TwoDigitYear(99, 2025), 1999);
        QCOMPARE(TwoDigitYear(0, 2090), 2100);
    }

    // A cost is a finite number or nothing.
    void costsAreFiniteNumbers_data()
    {
        QTest::addColumn<QString>("typed");
        for (const char* text : {"inf", "-inf", "nan", "NaN", "1e999", "-1e999", "Infinity"})
            QTest::newRow(text) << QString::fromLatin1(text);
    }
    void costsAreFiniteNumbers()
    {
        QFETCH(QString, typed);
        QCOMPARE(ReadCriteriaNumber(typed), std::nullopt);
    }
};

QTEST_MAIN(TestReportQuery)
#include "tst_reportquery.moc"

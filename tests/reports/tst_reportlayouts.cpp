// The custom reports laid out from fixture data: what each page shows, in which order and where.
#include "db.h"
#include "dbdefects.h"
#include "fixtures.h"
#include "frmReport.h"
#include "modCreateReportRatings.h"
#include "modFilter.h"
#include "reportlayout.h"
#include "reportlayouts.h"
#include "schema.h"
#include "scriptedprompt.h"
#include "testinstall.h"

#include <QTest>

namespace {

QStringList texts(const QVector<LaidPage>& pages)
{
    QStringList out;
    for (const LaidPage& p : pages)
        for (const LaidItem& it : p.items)
            if (it.kind == LaidItem::Text && !it.text.isEmpty() && !it.text.startsWith(QLatin1String("Page ")) &&
                it.section != QLatin1String("Section5"))
                out << it.text;
    return out;
}

const LaidItem* find(const QVector<LaidPage>& pages, const QString& text)
{
    for (const LaidPage& p : pages)
        for (const LaidItem& it : p.items)
            if (it.kind == LaidItem::Text && it.text == text)
                return &it;
    return nullptr;
}

qint32 panel(qint32 tunnel, int num, const QString& name)
{
    return qint32(gConn.insertAutoNumber(QStringLiteral("Panels"), {{QStringLiteral("TunnelID"), tunnel},
                                                                    {QStringLiteral("PanelNum"), num},
                                                                    {QStringLiteral("PanelName"), name}}));
}

qint64 category(const QString& name)
{
    return gConn.insertAutoNumber(QStringLiteral("ExpenditureCats"), {{QStringLiteral("Category"), name}});
}

void expense(qint32 tunnel, qint64 cat, double cost, const char* date, const QString& comment)
{
    gConn.insertAutoNumber(QStringLiteral("Expenditures"),
                           {{QStringLiteral("TunnelID"), tunnel}, {QStringLiteral("Cost"), cost},
                            {QStringLiteral("Date"), QString::fromLatin1(date)},
                            {QStringLiteral("Comments"), comment}, {QStringLiteral("CategoryID"), cat}});
}

std::shared_ptr<Report> expenditureReport(const QVector<qint32>& tunnels, std::array<bool, 4> fields, int groupBy)
{
    ExpenditureCriteria c;
    c.fields = fields;
    const QString sql = BuildReportQuery(QStringLiteral("Expenditure"), tunnels, ExpenditureFieldList(c, groupBy),
                                         ExpenditureFilterTerms(c), c);
    static const char* const kGroups[3] = {"Category", "Month", "Year"};
    return BuildExpenditureReport(DataTable::fromQuery(gConn, sql), QLatin1String(kGroups[groupBy]));
}

}  // namespace

class TestReportLayouts : public QObject {
    Q_OBJECT
    std::unique_ptr<TestInstall> m_install;
    std::unique_ptr<ScriptedPrompt> m_prompt;
    qint32 north = 0, south = 0;

private slots:
    void init()
    {
        m_install = std::make_unique<TestInstall>();
        m_prompt = std::make_unique<ScriptedPrompt>();
        FixtureSystem();
        north = FixtureTunnel(QStringLiteral("North"));
        south = FixtureTunnel(QStringLiteral("South"));
        const qint64 lights = category(QStringLiteral("Lights"));
        const qint64 drains = category(QStringLiteral("Drains"));
        expense(south, lights, 1200.5, "2004-03-10", QStringLiteral("new fittings"));
        expense(north, lights, 0.25, "2003-03-02", QStringLiteral("a bulb"));
        expense(north, drains, 300, "2004-03-15", QStringLiteral("cleared"));
        expense(north, drains, 45, "2004-07-01", QString());
    }
    void cleanup()
    {
        m_prompt.reset();
        m_install.reset();
    }

    // Grouped by category: each category's rows by tunnel, its subtotal, then the grand total;
    // the columns where the layout puts them.
    void expenditureByCategory()
    {
        const auto r = expenditureReport({north, south}, {true, true, true, true}, 0);
        const QVector<LaidPage> pages = ReportLayout(*r).allPages();
        QCOMPARE(pages.size(), 1);
        QCOMPARE(texts(pages),
                 (QStringList{"Corvane Quorrel", "Expenditures Report",
                              "Drains", "TunnelName", "Date", "Cost", "Comments",
                              "North", "03/15/2004", "$300.00", "cleared",
                              "North", "07/01/2004", "$45.00",
                              "Drains", "Subtotal:", "$345.00",
                              "Lights", "TunnelName", "Date", "Cost", "Comments",
                              "North", "03/02/2003", "$0.25", "a bulb",
                              "South", "03/10/2004", "$1,200.50", "new fittings",
                              "Lights", "Subtotal:", "$1,200.75",
                              "$1,545.75", "Expenditures Grand Total:"}));
        const double left = r->marginLeft;
        QCOMPARE(find(pages, QStringLiteral("cleared"))->rect.left(), left + 4769);
        QCOMPARE(find(pages, QStringLiteral("03/15/2004"))->rect.left(), left + 2540);
        QCOMPARE(find(pages, QStringLiteral("$300.00"))->rect.left(), left + 3610);
        QCOMPARE(find(pages, QStringLiteral("$300.00"))->align, int(AlignRight));
    }

    // A category going on to the next page starts it with its band and column headings; a grand total wider than
    // the Cost column has its rule under all of it.
    void expenditureOverPages()
    {
        const qint64 big = category(QStringLiteral("Big"));
        for (int i = 0; i < 80; ++i)
            expense(north, big, 123456.78, "2005-01-01", QStringLiteral("item %1").arg(i));
        const auto r = expenditureReport({north}, {true, true, true, true}, 0);
        const QVector<LaidPage> pages = ReportLayout(*r).allPages();
        QVERIFY(pages.size() >= 2);
        QStringList second;
        for (const LaidItem& it : pages[1].items)
            if (it.kind == LaidItem::Text)
                second << it.text;
        QCOMPARE(second.mid(0, 6), (QStringList{"Big", "TunnelName", "Date", "Cost", "Comments", "North"}));

        const LaidItem* total = nullptr;
        const LaidItem* rule = nullptr;
        for (const LaidItem& it : pages.last().items) {
            if (it.text == QLatin1String("$9,876,887.65"))
                total = &it;
            if (it.kind == LaidItem::Line && it.section == QLatin1String("Section4"))
                rule = &it;
        }
        QVERIFY(total && rule);
        QVERIFY(total->rect.width() > 1090);
        QCOMPARE(rule->rect.left(), total->rect.left());
        QCOMPARE(rule->rect.right(), total->rect.right());
    }

    // By month: the month's name heads the group (March of two years apart); without Cost
    // there are no subtotals and no grand total. By year: the year, rows by tunnel.
    void expenditureByMonthAndYear()
    {
        const auto byMonth = expenditureReport({north, south}, {true, false, false, true}, 1);
        QCOMPARE(texts(ReportLayout(*byMonth).allPages()),
                 (QStringList{"Corvane Quorrel", "Expenditures Report",
                              "March", "TunnelName", "Category", "Comments", "North", "Lights", "a bulb",
                              "March", "TunnelName", "Category", "Comments", "South", "Lights", "new fittings",
                              "North", "Drains", "cleared",
                              "July", "TunnelName", "Category", "Comments", "North", "Drains"}));

        const auto byYear = expenditureReport({north, south}, {false, false, true, false}, 2);
        const QStringList yearTexts = texts(ReportLayout(*byYear).allPages());
        QCOMPARE(yearTexts.mid(2), (QStringList{"2003", "TunnelName", "Cost", "North", "$0.25", "2003", "Subtotal:",
                                                "$0.25", "2004", "TunnelName", "Cost", "North", "$300.00", "North",
                                                "$45.00", "South", "$1,200.50", "2004", "Subtotal:", "$1,545.50",
                                                "$1,545.75", "Expenditures Grand Total:"}));
    }

    // Posted defects by tunnel and year with the year's subtotal, the tunnel's total and the
    // grand total; only the tunnels and years asked for.
    void defectReport()
    {
        const qint32 a = panel(north, 1, QStringLiteral("A1")), b = panel(north, 2, QStringLiteral("B2"));
        const qint32 s = panel(south, 1, QStringLiteral("S1"));
        const qint32 n03 = FixturePeriod(north, 2003), n05 = FixturePeriod(north, 2005), s05 = FixturePeriod(south, 2005);
        auto defect = [](qint32 id, qint32 pnl, qint32 insp, double qty, double unit, const char* what) {
            gConn.exec(QStringLiteral("INSERT INTO DefectQuantityPosted (ID, PanelID, InspectionID, Quantity, Units, "
                                      "UnitCost, TotalCost, Description) VALUES (?, ?, ?, ?, 'sq ft', ?, ?, ?)"),
                       {id, pnl, insp, qty, unit, qty * unit, QString::fromLatin1(what)});
        };
        defect(1, b, n03, 2, 10, "spalling");
        defect(2, a, n03, 1, 5, "crack");
        defect(3, a, n05, 4, 2.5, "leak");
        defect(4, s, s05, 1, 1000, "south only");
        const auto r = BuildDefectReport(DataTable::fromRowSet(DbGetDefectReportRows({north}, {2003, 2005})));
        const QStringList t = texts(ReportLayout(*r).allPages());
        QCOMPARE(t, (QStringList{"Defect Quantity Report", "North",
                                 "2003", "Panel", "Description", "Quantity", "Units", "Unit Cost", "Total Cost",
                                 "A1", "crack", "1", "sq ft", "$5.00", "$5.00",
                                 "B2", "spalling", "2", "sq ft", "$10.00", "$20.00",
                                 "Subtotal:", "$25.00",
                                 "2005", "Panel", "Description", "Quantity", "Units", "Unit Cost", "Total Cost",
                                 "A1", "leak", "4", "sq ft", "$2.50", "$10.00",
                                 "Subtotal:", "$10.00",
                                 "Tunnel Total:", "$35.00",
                                 "Defect Quantities Grand Total:", "$35.00"}));
    }

    // The grid of the element condition evaluation: a panel per line, an element's column
    // per chosen period, "n/a" where the panel has no rating; the tunnel's name heads it.
    void elementConditionReport()
    {
        QVERIFY(CreateReportDatabase(m_install->file(QStringLiteral("ReportData.db"))));
        FixtureElement(1, QStringLiteral("Lining"));
        FixtureElement(2, QStringLiteral("Drain"));
        const qint32 a = panel(north, 1, QStringLiteral("A1")), b = panel(north, 2, QStringLiteral("B2"));
        const qint32 i1 = FixturePeriod(north, 2020), i2 = FixturePeriod(north, 2022);
        for (const auto& [insp, pnl, ele, rating] :
             {std::tuple{i1, a, 1, 5}, std::tuple{i1, b, 1, 7}, std::tuple{i2, a, 1, 4}, std::tuple{i2, a, 2, 9}})
            gConn.exec(QStringLiteral("INSERT INTO Ratings (InspectionID, PanelID, ElementID, Rating) VALUES (?,?,?,?)"),
                       {insp, pnl, ele, rating});
        ReportRatingsSelection sel;
        sel.tunnelIDs = {north};
        sel.period1 = QStringLiteral("2020");
        sel.period2 = QStringLiteral("2022");
        sel.elements = {{1, true, {}, {}}, {2, true, {}, {}}};
        QVERIFY(CreateReportRatings(sel));
        const QString kind = QStringLiteral("Structure Element Condition Evaluation");
        ExpenditureCriteria none;
        const QString sql = BuildReportQuery(kind, {north}, {QStringLiteral("*")}, {}, none);
        const auto r = BuildElementConditionReport(gReportConn.query(sql),
                                                   gReportConn.query(QStringLiteral("SELECT * FROM Tunnels")), kind);
        CheckReportWidth(*r, frmReport::WantsLandscape(2, true), kind);
        QCOMPARE(r->orientation, QPageLayout::Portrait);
        const QVector<LaidPage> pages = ReportLayout(*r).allPages();
        QCOMPARE(texts(pages), (QStringList{kind, "North", "Panel", "Drain", "2020", "2022", "Lining", "2020", "2022",
                                            "A1", "n/a", "9", "5", "4", "B2", "n/a", "7"}));
        // The tunnel's name takes the whole width, centred.
        QCOMPARE(find(pages, QStringLiteral("North"))->align, int(AlignCentre));
        QCOMPARE(find(pages, QStringLiteral("North"))->rect.width(), r->sectionWidth());
    }

    // Orientation at the thresholds: both periods, more than 7; one period, 15 or more.
    void orientationThresholds()
    {
        QVERIFY(!frmReport::WantsLandscape(7, true));
        QVERIFY(frmReport::WantsLandscape(8, true));
        QVERIFY(!frmReport::WantsLandscape(14, false));
        QVERIFY(frmReport::WantsLandscape(15, false));
    }

    // Every panel of the period with unposted data, with its comment or an empty one, its own
    // ratings and defects only, and nothing of another tunnel.
    void unpostedDataReport()
    {
        FixtureElement(1, QStringLiteral("Lining"));
        const qint32 a = panel(north, 1, QStringLiteral("A1")), b = panel(north, 2, QStringLiteral("B2"));
        const qint32 c = panel(north, 3, QStringLiteral("C3"));
        const qint32 s = panel(south, 1, QStringLiteral("S1"));
        const qint32 insp = FixturePeriod(north, 2024);
        gConn.exec(QStringLiteral("INSERT INTO Ratings (InspectionID, PanelID, ElementID, Rating, Posted) VALUES "
                                  "(?, ?, 1, 6, 0), (?, ?, 1, 3, 0), (?, ?, 1, 8, 1), (?, ?, 1, 2, 0)"),
                   {insp, a, insp, b, insp, c, insp, s});
        gConn.exec(QStringLiteral("INSERT INTO PanelComments (InspectionID, PanelID, Comments, Posted) VALUES "
                                  "(?, ?, 'wet joint', 0), (?, ?, 'posted remark', 1)"),
                   {insp, a, insp, c});
        gConn.exec(QStringLiteral("INSERT INTO DefectQuantity (PanelID, InspectionID, Quantity, Units, UnitCost, "
                                  "TotalCost, Description, Posted) VALUES (?, ?, 3, 'ft', 4, 12, 'crack', 0)"),
                   {b, insp});
        const auto r = BuildUnpostedDataReport(north, insp);
        const QVector<LaidPage> pages = ReportLayout(*r).allPages();
        QCOMPARE(texts(pages),
                 (QStringList{"Unposted Inspection Data", "Tunnel: North", "Inspection Year: 2024",
                              "Panel: A1", "Ratings", "Element", "Rating", "Lining", "6",
                              "Defect Quantities", "Description", "Quantity", "Units", "Unit Cost", "Total Cost", "NONE",
                              "Comments:", "wet joint",
                              "Panel: B2", "Ratings", "Element", "Rating", "Lining", "3",
                              "Defect Quantities", "Description", "Quantity", "Units", "Unit Cost", "Total Cost",
                              "crack", "3", "ft", "$4.00", "$12.00", "Comments:"}));
    }
};

QTEST_MAIN(TestReportLayouts)
#include "tst_reportlayouts.moc"

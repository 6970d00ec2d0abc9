// Every report kind laid out with long names of every kind and big amounts, on both papers and orientations, as
// built and after a printer is chosen: no text runs over another or off the page, no amount is cut, the element
// condition evaluation's headings stay above their rule, and a group's footer never starts a page alone.
#include "db.h"
#include "elementperformance.h"
#include "dbdefects.h"
#include "fixtures.h"
#include "forms.h"
#include "frmPrintKeyplanTarget.h"
#include "frmReport.h"
#include "frmReportViewer.h"
#include "modCreateReportRatings.h"
#include "modFilter.h"
#include "reportlayout.h"
#include "reportlayouts.h"
#include "schema.h"
#include "scriptedprompt.h"
#include "testinstall.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPrinter>
#include <QRegularExpression>
#include <QtTest>

#include <map>

namespace {

const QString kBig = QStringLiteral("$1,234,567,890.12");

// A name of `length` characters made of words, as users type long names.
QString LongName(const QString& start, int length)
{
    QString s = start;
    const QStringList words{QStringLiteral("Longitudinal"), QStringLiteral("Drain"), QStringLiteral("Channel"),
                            QStringLiteral("Grating"), QStringLiteral("North"), QStringLiteral("Portal"),
                            QStringLiteral("Approach"), QStringLiteral("Section")};
    for (int i = 0; s.size() < length; ++i)
        s += QLatin1Char(' ') + words[i % words.size()];
    return s.left(length).trimmed();
}

// Where a laid-out text's ink is: its width as measured, placed by its alignment in its box, from the top of its
// capitals to the foot of its descenders.
QRectF Ink(const Report& r, const LaidItem& it)
{
    const QFontMetricsF fm(ReportFont(r.fontFamily, it.fontSize, it.bold, it.italic, it.underline));
    const double w = fm.horizontalAdvance(it.text);
    double x = it.rect.left();
    if (it.align == AlignRight)
        x = it.rect.right() - w;
    else if (it.align == AlignCentre)
        x = it.rect.left() + (it.rect.width() - w) / 2;
    const double top = it.rect.top() + fm.ascent() - fm.capHeight();
    return QRectF(x, top, w, it.rect.top() + fm.ascent() + fm.descent() - top);
}

bool IsAmount(const QString& text)
{
    return text.startsWith(QLatin1Char('$')) || text.startsWith(QLatin1String("-$"));
}

// What is wrong with the pages: texts running over or into each other (less than a blank apart), texts or rules
// off the page, cut amounts.
QStringList Faults(const Report& r, const QVector<LaidPage>& pages)
{
    constexpr double kGap = 60;  // about a blank of 10 point
    const QSizeF paper = r.paperSize();
    const QRectF page(r.marginLeft, r.marginTop, paper.width() - r.marginLeft - r.marginRight,
                      paper.height() - r.marginTop - r.marginBottom);
    QStringList faults;
    for (const LaidPage& p : pages) {
        QVector<std::pair<QRectF, const LaidItem*>> inks;
        for (const LaidItem& it : p.items) {
            if (it.kind == LaidItem::Line) {
                const QRectF l = QRectF(it.rect.topLeft(), it.rect.bottomRight()).normalized();
                if (l.left() < page.left() - 1 || l.right() > page.right() + 1)
                    faults << QStringLiteral("p%1: rule off the page: %2..%3").arg(p.number).arg(l.left()).arg(l.right());
                continue;
            }
            if (it.kind != LaidItem::Text || it.text.trimmed().isEmpty())
                continue;
            const QRectF ink = Ink(r, it);
            if (!page.adjusted(-1, -1, 1, 1).contains(ink))
                faults << QStringLiteral("p%1: off the page (%2..%3, %4..%5): %6")
                              .arg(p.number)
                              .arg(ink.left())
                              .arg(ink.right())
                              .arg(ink.top())
                              .arg(ink.bottom())
                              .arg(it.text.left(40));
            if (IsAmount(it.text) && (it.text.contains(QChar(0x2026)) || ink.width() > it.rect.width() + 1))
                faults << QStringLiteral("p%1: amount cut: %2").arg(p.number).arg(it.text);
            for (const auto& [other, item] : inks) {
                const bool sameLines = other.top() < ink.bottom() - 1 && ink.top() < other.bottom() - 1;
                const bool apart = other.right() + kGap <= ink.left() || ink.right() + kGap <= other.left();
                if (sameLines && !apart)
                    faults << QStringLiteral("p%1: '%2' runs into '%3'").arg(p.number).arg(it.text.left(40), item->text.left(40));
            }
            inks.append({ink, &it});
        }
    }
    return faults;
}

QStringList Texts(const QVector<LaidPage>& pages)
{
    QStringList out;
    for (const LaidPage& p : pages)
        for (const LaidItem& it : p.items)
            if (it.kind == LaidItem::Text && !it.text.isEmpty())
                out << it.text;
    return out;
}

qint32 Panel(qint32 tunnel, int num, const QString& name)
{
    return qint32(gConn.insertAutoNumber(QStringLiteral("Panels"), {{QStringLiteral("TunnelID"), tunnel},
                                                                    {QStringLiteral("PanelNum"), num},
                                                                    {QStringLiteral("PanelName"), name}}));
}

}  // namespace

class tst_reportgeometry : public QObject {
    Q_OBJECT
    std::unique_ptr<TestInstall> m_install;
    std::unique_ptr<ScriptedPrompt> m_prompt;
    qint32 m_long = 0, m_short = 0, m_p2020 = 0, m_p2022 = 0;
    QVector<qint32> m_panels;
    QString m_category;  // of elements, long

    // A tunnel with a long name and one with a short one; long and plain panel names; elements whose names wrap,
    // one word wider than any column; expenditures of a long category with big amounts; posted and unposted
    // ratings, defects and comments.
    void fill(int extraElements)
    {
        FixtureSystem();
        TxGuard tx;
        m_long = FixtureTunnel(LongName(QStringLiteral("Tunnel"), 287));
        m_short = FixtureTunnel(QStringLiteral("North"));
        m_panels = {Panel(m_long, 1, LongName(QStringLiteral("Panel"), 287)),
                    Panel(m_long, 2, QStringLiteral("P") + QStringLiteral("9").repeated(60)),
                    Panel(m_long, 3, QStringLiteral("A1")), Panel(m_short, 1, QStringLiteral("S1"))};
        m_category = LongName(QStringLiteral("Category"), 120);
        gConn.exec(QStringLiteral("INSERT INTO ElementCategory (EleCategoryID, EleCategoryName, EleCategorySort) "
                                  "VALUES (7, ?, 1)"),
                   {m_category});
        QStringList names{QStringLiteral("Longitudinal Drain Channel Grating 1"), LongName(QStringLiteral("Element"), 200),
                          QStringLiteral("Lining"), QStringLiteral("W") + QStringLiteral("x").repeated(40)};
        for (int i = 0; i < extraElements; ++i)
            names << QStringLiteral("Element %1").arg(i, 2, 10, QLatin1Char('0'));
        for (int e = 0; e < names.size(); ++e)
            FixtureElement(e + 1, names[e], 7);
        m_p2020 = FixturePeriod(m_long, 2020);
        m_p2022 = FixturePeriod(m_long, 2022);
        const qint32 s2022 = FixturePeriod(m_short, 2022);
        int rating = 0;
        for (qint32 panel : m_panels)
            for (qint32 insp : {m_p2020, m_p2022, s2022})
                for (int e = 1; e <= names.size(); ++e) {
                    if (insp == s2022 && panel != m_panels.last())
                        continue;
                    const int value = insp == m_p2020 ? 9 - (rating++ % 3) : 2;
                    gConn.exec(QStringLiteral("INSERT INTO Ratings (InspectionID, PanelID, ElementID, Rating, Posted) "
                                              "VALUES (?, ?, ?, ?, ?)"),
                               {insp, panel, e, value, insp == m_p2022 ? 0 : 1});
                    gConn.exec(QStringLiteral("INSERT INTO RatingsPosted (InspectionID, PanelID, ElementID, Rating) "
                                              "VALUES (?, ?, ?, ?)"),
                               {insp, panel, e, value});
                }
        for (qint32 panel : m_panels.mid(0, 3)) {
            gConn.exec(QStringLiteral("INSERT INTO PanelComments (InspectionID, PanelID, Comments, Posted) VALUES (?, ?, ?, 0)"),
                       {m_p2022, panel, LongName(QStringLiteral("Comment"), 400) + QStringLiteral(" ") +
                                            QStringLiteral("Z").repeated(120)});
            for (const auto& table : {QStringLiteral("DefectQuantity"), QStringLiteral("DefectQuantityPosted")})
                gConn.exec(QStringLiteral("INSERT INTO %1 (PanelID, InspectionID, Quantity, Units, UnitCost, TotalCost, "
                                          "Description) VALUES (?, ?, 123456789.25, ?, 1234567890.12, 1234567890.12, ?)")
                               .arg(table),
                           {panel, m_p2022, LongName(QStringLiteral("Units"), 40), LongName(QStringLiteral("Defect"), 287)});
        }
        const qint64 cat = gConn.insertAutoNumber(QStringLiteral("ExpenditureCats"),
                                                  {{QStringLiteral("Category"), LongName(QStringLiteral("Spend"), 287)}});
        const qint64 small = gConn.insertAutoNumber(QStringLiteral("ExpenditureCats"),
                                                    {{QStringLiteral("Category"), QStringLiteral("Lights")}});
        int day = 1;
        for (const auto& [tunnel, category, cost] :
             {std::tuple{m_long, cat, 1234567890.12}, std::tuple{m_long, small, 0.25}, std::tuple{m_short, cat, -5.5},
              std::tuple{m_short, small, 987654321.98}, std::tuple{m_long, cat, 12.0}})
            gConn.insertAutoNumber(QStringLiteral("Expenditures"),
                                   {{QStringLiteral("TunnelID"), tunnel}, {QStringLiteral("Cost"), cost},
                                    {QStringLiteral("Date"), QDate(2004, 1 + day % 12, day).toString(Qt::ISODate)},
                                    {QStringLiteral("Comments"), LongName(QStringLiteral("Note"), 30 * day++)},
                                    {QStringLiteral("CategoryID"), category}});
        tx.commit();
    }

    // The report of a kind as the program builds it, with the orientation it picks itself.
    std::shared_ptr<Report> build(const QString& kind, int periods)
    {
        const QVector<qint32> tunnels{m_long, m_short};
        if (kind.startsWith(QLatin1String("Expenditure"))) {
            const int groupBy = kind.endsWith(QLatin1String("Month")) ? 1 : kind.endsWith(QLatin1String("Year")) ? 2 : 0;
            ExpenditureCriteria c;
            c.fields = {true, true, true, true};
            const QString sql = BuildReportQuery(QStringLiteral("Expenditure"), tunnels, ExpenditureFieldList(c, groupBy),
                                                 ExpenditureFilterTerms(c), c);
            static const char* const kGroups[3] = {"Category", "Month", "Year"};
            auto r = BuildExpenditureReport(DataTable::fromQuery(gConn, sql), QLatin1String(kGroups[groupBy]));
            CheckReportWidth(*r, false, QStringLiteral("Expenditure"));
            return r;
        }
        if (kind == QLatin1String("ECE")) {
            if (!CreateReportDatabase(m_install->file(QStringLiteral("ReportData.db"))))
                return nullptr;
            ReportRatingsSelection sel;
            sel.tunnelIDs = tunnels;
            sel.period1 = QStringLiteral("2020");
            sel.period2 = periods == 2 ? QStringLiteral("2022") : QString();
            const RowSet elements = gConn.query(QStringLiteral("SELECT ElementID FROM AvailableElements ORDER BY ElementID"));
            for (int i = 0; i < elements.count(); ++i)
                sel.elements.append({elements.toInt(i, QStringLiteral("ElementID")), true, {}, {}});
            if (!CreateReportRatings(sel))
                return nullptr;
            const QString ece = m_category + QStringLiteral(" Element Condition Evaluation");
            ExpenditureCriteria none;
            const QString sql = BuildReportQuery(ece, tunnels, {QStringLiteral("*")}, {}, none);
            auto r = BuildElementConditionReport(gReportConn.query(sql),
                                                 gReportConn.query(QStringLiteral("SELECT * FROM Tunnels")), ece);
            CheckReportWidth(*r, frmReport::WantsLandscape(int(sel.elements.size()), periods == 2), ece);
            return r;
        }
        if (kind == QLatin1String("Defect"))
            return BuildDefectReport(DataTable::fromRowSet(DbGetDefectReportRows(tunnels, {2020, 2022})));
        if (kind == QLatin1String("PreDataPost"))
            return BuildUnpostedDataReport(m_long, m_p2022);
        return BuildElementPerformanceReport(ScanPerformance(ReadPostedRatings()));
    }

    // "Select Printer" in the viewer with that paper: the report takes it and the viewer adjusts the layout.
    void selectPrinter(const std::shared_ptr<Report>& r, const QString& kind, QPageSize::PageSizeId paper,
                       bool landscape)
    {
        auto* v = new frmReportViewer;
        v->GetReportType(kind);
        v->SetReport(r);
        CurrentPrinter().setPageSize(QPageSize(paper));
        CurrentPrinter().setPageOrientation(landscape ? QPageLayout::Landscape : QPageLayout::Portrait);
        m_prompt->answers.enqueue(true);
        v->mnuSelect->trigger();
        v->Unload();
    }

    // Pictures of the pages for a person to look at, when asked for (KRV_KEEP_PAGES=<folder>).
    static void keep(const Report& r, const QString& name)
    {
        const QString folder = qEnvironmentVariable("KRV_KEEP_PAGES");
        if (!folder.isEmpty())
            WriteReportPdf(r, folder + QLatin1Char('/') + name + QStringLiteral(".pdf"));
    }

private slots:
    void init()
    {
        m_install = std::make_unique<TestInstall>();
        m_prompt = std::make_unique<ScriptedPrompt>();
    }
    void cleanup()
    {
        for (QWidget* w : LoadedForms())
            delete w;
        m_prompt.reset();
        m_install.reset();
    }

    void pagesStayClear_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("elements");  // more elements than the few long-named ones
        QTest::addColumn<int>("periods");
        QTest::addColumn<int>("paper");     // -1 as built, else the paper chosen on the printer
        QTest::addColumn<bool>("landscape");
        const QList<std::tuple<const char*, QString, int, int>> kinds{
            {"expenditure by category", QStringLiteral("Expenditure"), 0, 0},
            {"expenditure by month", QStringLiteral("Expenditure Month"), 0, 0},
            {"expenditure by year", QStringLiteral("Expenditure Year"), 0, 0},
            {"condition, 4 elements, 2 periods", QStringLiteral("ECE"), 0, 2},
            {"condition, 4 elements, 1 period", QStringLiteral("ECE"), 0, 1},
            {"condition, 12 elements, 2 periods", QStringLiteral("ECE"), 8, 2},
            {"condition, 30 elements, 2 periods", QStringLiteral("ECE"), 26, 2},
            {"defect", QStringLiteral("Defect"), 0, 0},
            {"unposted data", QStringLiteral("PreDataPost"), 0, 0},
            {"element performance", QStringLiteral("Element Performance"), 0, 0}};
        for (const auto& [name, kind, elements, periods] : kinds) {
            QTest::addRow("%s, as built", name) << kind << elements << periods << -1 << false;
            QTest::addRow("%s, Letter landscape", name) << kind << elements << periods << int(QPageSize::Letter) << true;
            QTest::addRow("%s, A4 portrait", name) << kind << elements << periods << int(QPageSize::A4) << false;
            QTest::addRow("%s, A4 landscape", name) << kind << elements << periods << int(QPageSize::A4) << true;
        }
    }
    void pagesStayClear()
    {
        QFETCH(QString, kind);
        QFETCH(int, elements);
        QFETCH(int, periods);
        QFETCH(int, paper);
        QFETCH(bool, landscape);
        fill(elements);
        const auto r = build(kind, periods);
        QVERIFY(r);
        const QString viewerKind = kind == QLatin1String("ECE") ? m_category + QStringLiteral(" Element Condition Evaluation")
                                   : kind.startsWith(QLatin1String("Expenditure")) ? QStringLiteral("Expenditure")
                                                                                    : kind;
        if (paper >= 0)
            selectPrinter(r, viewerKind, QPageSize::PageSizeId(paper), landscape);
        const QVector<LaidPage> pages = ReportLayout(*r).allPages();
        keep(*r, QString::fromLatin1(QTest::currentDataTag()).replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9]+")),
                                                                     QStringLiteral("-")));
        const QStringList faults = Faults(*r, pages);
        QVERIFY2(faults.isEmpty(), qPrintable(faults.mid(0, 10).join(QLatin1Char('\n'))));
        // Big amounts show whole in their rows.
        if (kind.startsWith(QLatin1String("Expenditure")) || kind == QLatin1String("Defect") ||
            kind == QLatin1String("PreDataPost"))
            QVERIFY(Texts(pages).contains(kBig));
    }

    // The headings of the element condition evaluation: a long name wraps between words and the band grows to
    // hold it, above the year row, which is above the rule; a word wider than its column alone breaks.
    void conditionHeadingsAboveTheRule_data()
    {
        QTest::addColumn<int>("elements");
        QTest::addColumn<int>("periods");
        QTest::addColumn<bool>("landscape");
        QTest::newRow("4 elements, portrait") << 0 << 2 << false;
        QTest::newRow("4 elements, landscape") << 0 << 2 << true;
        QTest::newRow("12 elements, one period") << 8 << 1 << false;
        QTest::newRow("30 elements, landscape") << 26 << 2 << true;
    }
    void conditionHeadingsAboveTheRule()
    {
        QFETCH(int, elements);
        QFETCH(int, periods);
        QFETCH(bool, landscape);
        fill(elements);
        const auto r = build(QStringLiteral("ECE"), periods);
        QVERIFY(r);
        CheckReportWidth(*r, landscape, m_category + QStringLiteral(" Element Condition Evaluation"));
        QSet<QString> words;
        const RowSet names = gConn.query(QStringLiteral("SELECT ElementName FROM AvailableElements"));
        for (int i = 0; i < names.count(); ++i)
            for (const QString& w : names.value(i, 0).toString().split(QLatin1Char(' ')))
                words.insert(w);
        const QVector<LaidPage> pages = ReportLayout(*r).allPages();
        int wrapped = 0;
        for (const LaidPage& p : pages) {
            // Each heading band ends with its rule: its texts are those above the rule and below the one before.
            QVector<double> rules;
            for (const LaidItem& it : p.items)
                if (it.kind == LaidItem::Line && it.section == QLatin1String("Section8"))
                    rules << it.rect.top();
            QVERIFY(!rules.isEmpty());
            std::sort(rules.begin(), rules.end());
            QVector<double> yearsTop(rules.size(), 1e9), headingsBottom(rules.size(), 0);
            for (const LaidItem& it : p.items) {
                if (it.kind != LaidItem::Text || it.text.isEmpty() || it.section != QLatin1String("Section8"))
                    continue;
                const QRectF ink = Ink(*r, it);
                const int band = int(std::lower_bound(rules.begin(), rules.end(), it.rect.top()) - rules.begin());
                QVERIFY2(band < rules.size() && ink.bottom() <= rules[band], qPrintable(it.text));
                if (it.text.size() == 4 && it.text.toInt() > 2000) {
                    yearsTop[band] = std::min(yearsTop[band], ink.top());
                } else if (it.bold && it.text != QLatin1String("Panel")) {
                    headingsBottom[band] = std::max(headingsBottom[band], ink.bottom());
                    // Whole words, or pieces of a word wider than the heading's box.
                    const QFontMetricsF fm(ReportFont(r->fontFamily, it.fontSize, true, false));
                    for (const QString& part : it.text.split(QLatin1Char(' '))) {
                        const bool fine = words.contains(part) ||
                                          std::any_of(words.begin(), words.end(), [&](const QString& w) {
                                              return w.contains(part) && fm.horizontalAdvance(w) > it.rect.width();
                                          });
                        QVERIFY2(fine, qPrintable(it.text));
                    }
                    if (it.text.startsWith(QLatin1String("Longitudinal Drain")) &&
                        it.text != QLatin1String("Longitudinal Drain Channel Grating 1"))
                        ++wrapped;
                }
            }
            for (int b = 0; b < rules.size(); ++b)
                QVERIFY(headingsBottom[b] <= yearsTop[b]);
            // Rows start below the rule above them.
            for (const LaidItem& it : p.items)
                if (it.kind == LaidItem::Text && it.section == QLatin1String("Section3"))
                    QVERIFY2(it.rect.top() > rules.first(), qPrintable(it.text));
        }
        if (elements == 0)
            QVERIFY(wrapped > 0);  // "Longitudinal Drain Channel Grating 1" wraps in two periods' columns
        QVERIFY(Faults(*r, pages).isEmpty());
    }

    // In landscape the title is centred on the landscape page and the grid takes its width.
    void conditionLandscapeUsesTheLandscapeWidth()
    {
        fill(8);
        const auto r = build(QStringLiteral("ECE"), 2);  // 12 elements and two periods: landscape
        QVERIFY(r);
        QCOMPARE(r->orientation, QPageLayout::Landscape);
        const double width = r->sectionWidth();
        const LaidPage page = ReportLayout(*r).allPages().first();
        double ruleRight = 0, titleLeft = -1, titleRight = -1;
        for (const LaidItem& it : page.items) {
            if (it.kind == LaidItem::Line && it.section == QLatin1String("Section8"))
                ruleRight = it.rect.right();
            if (it.kind == LaidItem::Text && it.section == QLatin1String("Section2") && titleLeft < 0) {
                titleLeft = it.rect.left();
                titleRight = it.rect.right();
            }
        }
        QCOMPARE(titleRight, r->marginLeft + width);
        QVERIFY(titleLeft <= r->marginLeft + 15);
        QVERIFY2(ruleRight > r->marginLeft + width - 200, qPrintable(QString::number(ruleRight)));
    }

    // The defect report's "Quantity" and "Units" headings stand apart.
    void defectHeadingsApart()
    {
        fill(0);
        const auto r = build(QStringLiteral("Defect"), 0);
        const LaidPage page = ReportLayout(*r).allPages().first();
        QRectF quantity, units;
        for (const LaidItem& it : page.items) {
            if (it.text == QLatin1String("Quantity"))
                quantity = Ink(*r, it);
            if (it.text == QLatin1String("Units"))
                units = Ink(*r, it);
        }
        QVERIFY(!quantity.isNull() && !units.isNull());
        QVERIFY2(units.left() - quantity.right() >= 120, qPrintable(QString::number(units.left() - quantity.right())));
    }

    // Grouped by month, however many rows go before it, no page begins with a group's footer alone.
    void footerStaysWithTheGroupsLastRow()
    {
        FixtureSystem();
        const qint32 t = FixtureTunnel(QStringLiteral("North"));
        const qint64 cat = gConn.insertAutoNumber(QStringLiteral("ExpenditureCats"), {{QStringLiteral("Category"), QStringLiteral("Lights")}});
        ExpenditureCriteria c;
        c.fields = {true, true, true, true};
        const QString sql = BuildReportQuery(QStringLiteral("Expenditure"), {t}, ExpenditureFieldList(c, 1),
                                             ExpenditureFilterTerms(c), c);
        int checked = 0;
        for (int n = 1; n <= 70; ++n) {
            gConn.insertAutoNumber(QStringLiteral("Expenditures"),
                                   {{QStringLiteral("TunnelID"), t}, {QStringLiteral("Cost"), 10.0 * n},
                                    {QStringLiteral("Date"), QDate(2004, 1, 1 + n % 28).toString(Qt::ISODate)},
                                    {QStringLiteral("Comments"), QStringLiteral("row %1").arg(n)},
                                    {QStringLiteral("CategoryID"), cat}});
            const auto r = BuildExpenditureReport(DataTable::fromQuery(gConn, sql), QStringLiteral("Month"));
            const QVector<LaidPage> pages = ReportLayout(*r).allPages();
            for (const LaidPage& p : pages) {
                bool row = false;
                for (const LaidItem& it : p.items) {
                    if (it.section == QLatin1String("Section3"))
                        row = true;
                    if (it.section == QLatin1String("Section7")) {
                        QVERIFY2(row, qPrintable(QStringLiteral("%1 rows: page %2 begins with a footer").arg(n).arg(p.number)));
                        ++checked;
                        break;
                    }
                }
            }
        }
        QVERIFY(checked > 0);
    }

    // After "Select Printer" the unposted-data report's comment ends at the right margin, in either orientation.
    void unpostedCommentInsideAfterSelectPrinter_data()
    {
        QTest::addColumn<bool>("landscape");
        QTest::newRow("portrait") << false;
        QTest::newRow("landscape") << true;
    }
    void unpostedCommentInsideAfterSelectPrinter()
    {
        QFETCH(bool, landscape);
        fill(0);
        const auto r = build(QStringLiteral("PreDataPost"), 0);
        selectPrinter(r, QStringLiteral("PreDataPost"), QPageSize::Letter, landscape);
        const double right = r->paperSize().width() - r->marginRight;
        int comments = 0;
        for (const LaidPage& p : ReportLayout(*r).allPages())
            for (const LaidItem& it : p.items)
                if (it.kind == LaidItem::Text && it.section == QLatin1String("Section9") && it.text != QLatin1String("Comments:")) {
                    ++comments;
                    QVERIFY2(it.rect.right() <= right + 0.5, qPrintable(QString::number(it.rect.right() - right)));
                    QVERIFY(Ink(*r, it).right() <= right + 0.5);
                }
        QVERIFY(comments > 3);
    }
};

QTEST_MAIN(tst_reportgeometry)
#include "tst_reportgeometry.moc"

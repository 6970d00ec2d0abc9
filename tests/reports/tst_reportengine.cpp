// The report engine: pages laid out from a report (texts, their order and positions, page
// count, page setup), group totals, subreports, growing bands and the PDF file.
#include "report.h"
#include "reportlayout.h"
#include "helpers.h"
#include "krverror.h"

#include <QFile>
#include <QFontMetricsF>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QStringList Texts(const LaidPage& page)
{
    QStringList out;
    for (const LaidItem& it : page.items)
        if (it.kind == LaidItem::Text && !it.text.isEmpty())
            out << it.text;
    return out;
}

QStringList AllTexts(const QVector<LaidPage>& pages)
{
    QStringList out;
    for (const LaidPage& p : pages)
        out << Texts(p);
    return out;
}

const LaidItem* Find(const LaidPage& page, const QString& text)
{
    for (const LaidItem& it : page.items)
        if (it.kind == LaidItem::Text && it.text == text)
            return &it;
    return nullptr;
}

// A report of n detail lines "Row i" under a page header and a page footer.
std::shared_ptr<Report> Lines(int n)
{
    auto r = std::make_shared<Report>();
    r->data.addColumn(QStringLiteral("Name"), ValueType::Text);
    for (int i = 1; i <= n; ++i)
        r->data.appendRow({QStringLiteral("Row %1").arg(i)});
    r->pageHeader().add(ReportObject::textObject(QStringLiteral("Heading"), 0, 0, 3000, 300).bold());
    r->pageHeader().height = 400;
    r->details().add(ReportObject::field(QStringLiteral("Name"), 240, 0, 2280, 236));
    r->details().height = 236;
    r->pageFooter().add(ReportObject::specialField(SpecialField::PrintDate, 155, 429, 770, 226).size(8));
    r->pageFooter().add(ReportObject::specialField(SpecialField::PageNofM, 155, 700, 1070, 226).size(8));
    r->pageFooter().height = 220;
    return r;
}

}  // namespace

class tst_reportengine : public QObject {
    Q_OBJECT

private slots:
    void pagesRepeatTheirHeaderAndFooter()
    {
        auto r = Lines(120);
        // Letter portrait: 15840 high; body from 720 to 15840 - 720 - 926 (the footer grows to
        // its lowest object), less the 400 header: 13074 / 236 = 55 lines a page.
        const QVector<LaidPage> pages = ReportLayout(*r).allPages();
        QCOMPARE(pages.size(), 3);
        int row = 0;
        for (const LaidPage& p : pages) {
            const QStringList texts = Texts(p);
            QCOMPARE(texts.first(), QStringLiteral("Heading"));
            QCOMPARE(Find(p, QStringLiteral("Heading"))->rect.top(), 720.0);
            QCOMPARE(Find(p, QStringLiteral("Heading"))->rect.left(), 720.0);
            QCOMPARE(texts.last(), QStringLiteral("Page %1 of 3").arg(p.number));
            QCOMPARE(texts[texts.size() - 2], ShortDateText(QDate::currentDate()));
            const LaidItem* pageNo = Find(p, texts.last());
            QCOMPARE(pageNo->rect.top(), 15840.0 - 720 - 926 + 700);
            // The detail lines follow on in order, one under the other.
            const QStringList details = texts.mid(1, texts.size() - 3);
            QCOMPARE(details.size(), p.number < 3 ? 55 : 10);
            for (int i = 0; i < details.size(); ++i) {
                QCOMPARE(details[i], QStringLiteral("Row %1").arg(++row));
                QCOMPARE(Find(p, details[i])->rect.top(), 720 + 400 + 236.0 * i);
                QCOMPARE(Find(p, details[i])->rect.left(), 720 + 240.0);
            }
        }
        QCOMPARE(row, 120);
    }

    void pageHeaderAndFooterFieldsShowTheRowAtThePageStart()
    {
        auto r = Lines(120);
        r->pageHeader().add(ReportObject::field(QStringLiteral("Name"), 4000, 0, 2000, 236).named("first"));
        r->pageFooter().add(ReportObject::field(QStringLiteral("Name"), 4000, 0, 2000, 236).named("footer"));
        r->pageFooter().add(ReportObject::summary(SummaryOp::Count, QStringLiteral("Name"), 0, 6000, 0, 500, 236));
        const QVector<LaidPage> pages = ReportLayout(*r).allPages();
        QCOMPARE(pages.size(), 3);
        for (int i = 0; i < 3; ++i) {
            QStringList shown;
            for (const LaidItem& it : pages[i].items)
                if (it.object == QLatin1String("first") || it.object == QLatin1String("footer"))
                    shown << it.text;
            const QString start = QStringLiteral("Row %1").arg(1 + 55 * i);
            QCOMPARE(shown, (QStringList{start, start}));
        }
    }

    void pageSetupFollowsOrientationAndMargins()
    {
        auto r = Lines(1);
        r->orientation = QPageLayout::Landscape;
        r->marginLeft = 1440;
        QCOMPARE(r->paperSize(), QSizeF(15840, 12240));
        QCOMPARE(r->sectionWidth(), 15840.0 - 1440 - 720);
        const QVector<LaidPage> pages = ReportLayout(*r).allPages();
        QCOMPARE(pages.size(), 1);
        QCOMPARE(Find(pages[0], QStringLiteral("Row 1"))->rect.left(), 1440 + 240.0);
        QCOMPARE(Find(pages[0], QStringLiteral("Page 1 of 1"))->rect.top(), 12240.0 - 720 - 926 + 700);
        QCOMPARE(r->pageLayout().orientation(), QPageLayout::Landscape);
    }

    void groupsCarryTheirTotals()
    {
        Report r;
        r.data.addColumn(QStringLiteral("Category"), ValueType::Text);
        r.data.addColumn(QStringLiteral("TunnelName"), ValueType::Text);
        r.data.addColumn(QStringLiteral("Cost"), ValueType::Currency);
        r.data.appendRow({"Lighting", "North", 1000.5});
        r.data.appendRow({"Drainage", "South", 20});
        r.data.appendRow({"Lighting", "East", 3});
        r.data.appendRow({"Drainage", "North", QVariant()});
        r.data.appendRow({"Lighting", "Centre", 0.25});
        r.sortBy(QStringLiteral("TunnelName"));
        const int g = r.addGroup(QStringLiteral("Category"));
        QCOMPARE(r.groupHeader(g).name, QStringLiteral("Section6"));
        QCOMPARE(r.groupFooter(g).name, QStringLiteral("Section7"));
        r.groupHeader(g).add(ReportObject::field(QStringLiteral("Category"), 0, 0, 5620, 226).bold());
        r.details().add(ReportObject::field(QStringLiteral("TunnelName"), 240, 0, 2280, 236));
        r.details().add(ReportObject::field(QStringLiteral("Cost"), 2540, 0, 1089, 236).money().rightAligned());
        r.groupFooter(g).add(ReportObject::textObject(QStringLiteral("Subtotal:"), 0, 300, 2500, 236));
        r.groupFooter(g).add(
            ReportObject::summary(SummaryOp::Sum, QStringLiteral("Cost"), g, 2540, 300, 1090, 236).money());
        r.groupFooter(g).add(ReportObject::summary(SummaryOp::Count, QStringLiteral("Cost"), g, 4000, 300, 500, 236));
        r.reportFooter().add(
            ReportObject::summary(SummaryOp::Sum, QStringLiteral("Cost"), 0, 2540, 40, 1090, 236).money());
        r.reportFooter().add(ReportObject::summary(SummaryOp::Count, QStringLiteral("TunnelName"), 0, 4000, 40, 500, 236));
        const QVector<LaidPage> pages = ReportLayout(r).allPages();
        QCOMPARE(pages.size(), 1);
        QCOMPARE(Texts(pages[0]), (QStringList{"Drainage", "North", "South", "$20.00", "Subtotal:", "$20.00", "1", "Lighting",
                                               "Centre", "$0.25", "East", "$3.00", "North", "$1,000.50", "Subtotal:",
                                               "$1,003.75", "3", "$1,023.75", "5"}));
        // The sections' names reach their items; the cost stands right in its box.
        const LaidItem* cost = Find(pages[0], QStringLiteral("$1,000.50"));
        QCOMPARE(cost->section, QStringLiteral("Section3"));
        QCOMPARE(cost->align, int(AlignRight));
        QCOMPARE(cost->rect, QRectF(720 + 2540, cost->rect.top(), 1089, 236));
    }

    void groupHeadersRepeatOnTheNextPageWhenAsked_data()
    {
        QTest::addColumn<bool>("repeat");
        QTest::newRow("repeated") << true;
        QTest::newRow("once") << false;
    }

    void groupHeadersRepeatOnTheNextPageWhenAsked()
    {
        QFETCH(bool, repeat);
        auto r = Lines(0);
        r->data.addColumn(QStringLiteral("Group"), ValueType::Text);
        for (int i = 1; i <= 80; ++i)
            r->data.appendRow({QStringLiteral("Row %1").arg(i), i <= 70 ? "A" : "B"});
        const int g = r->addGroup(QStringLiteral("Group"));
        r->groupHeader(g).add(ReportObject::field(QStringLiteral("Group"), 0, 0, 2000, 236));
        r->groupHeader(g).repeatOnNewPage = repeat;
        const QVector<LaidPage> pages = ReportLayout(*r).allPages();
        QCOMPARE(pages.size(), 2);
        const QStringList second = Texts(pages[1]);
        QCOMPARE(second.mid(0, 2), repeat ? (QStringList{"Heading", "A"}) : (QStringList{"Heading", "Row 55"}));
        if (repeat)
            QCOMPARE(Find(pages[1], QStringLiteral("A"))->rect.top(), 720 + 400.0);
        QCOMPARE(second.count(QStringLiteral("B")), 1);
    }

    // Whatever the length of the first group, no page ends on a heading: a tunnel's name and its year band
    // (nested group headers) and a subreport's title go over with their first line.
    void headingsGoToTheNextPageWithWhatTheyHead()
    {
        auto sub = std::make_shared<Report>();
        sub->data.addColumn(QStringLiteral("Key"), ValueType::Text);
        sub->data.addColumn(QStringLiteral("Item"), ValueType::Text);
        sub->data.appendRow({"last", "Item 1"});
        sub->data.appendRow({"last", "Item 2"});
        sub->reportHeader().add(ReportObject::textObject(QStringLiteral("SubTitle"), 0, 0, 2000, 236));
        sub->details().add(ReportObject::field(QStringLiteral("Item"), 0, 0, 2000, 236));

        for (int n = 40; n <= 60; ++n) {
            auto r = Lines(0);
            r->data.addColumn(QStringLiteral("Tunnel"), ValueType::Text);
            r->data.addColumn(QStringLiteral("Year"), ValueType::Text);
            r->data.addColumn(QStringLiteral("Key"), ValueType::Text);
            for (int i = 1; i <= n; ++i)
                r->data.appendRow({QStringLiteral("Row %1").arg(i), "T1", "Y1", "-"});
            r->data.appendRow({QStringLiteral("Row last"), "T2", "Y2", "last"});
            r->addGroup(QStringLiteral("Tunnel"));
            r->addGroup(QStringLiteral("Year"));
            r->groupHeader(1).add(ReportObject::field(QStringLiteral("Tunnel"), 0, 0, 2000, 300));
            r->groupHeader(2).add(ReportObject::field(QStringLiteral("Year"), 0, 0, 2000, 236));
            r->details().add(ReportObject::subreportObject(sub, QStringLiteral("Key"), QStringLiteral("Key"), 500, 236,
                                                           4000, 236));
            const QVector<LaidPage> pages = ReportLayout(*r).allPages();
            for (const LaidPage& p : pages) {
                QStringList texts;  // in the order laid, page footer left out
                for (const LaidItem& it : p.items)
                    if (it.kind == LaidItem::Text && it.section != QLatin1String("Section5"))
                        texts << it.text;
                QVERIFY2(!texts.isEmpty(), qPrintable(QString::number(n)));
                const QString last = texts.last();
                QVERIFY2(last.startsWith(QLatin1String("Row")) || last.startsWith(QLatin1String("Item")) ||
                             last == QLatin1String("No data"),
                         qPrintable(QStringLiteral("%1 rows: page %2 ends on %3").arg(n).arg(p.number).arg(last)));
            }
        }
    }

    void monthlyGroupsSplitByCalendarMonth()
    {
        Report r;
        r.data.addColumn(QStringLiteral("Date"), ValueType::DateTime);
        r.data.appendRow({QDate(2004, 3, 20)});
        r.data.appendRow({QDate(2003, 3, 1)});
        r.data.appendRow({QDate(2004, 3, 2)});
        r.addFormula(QStringLiteral("MonthName"), ValueType::Text, [](const DataTable& t, int row) {
            return QLocale(QLocale::English).monthName(t.value(row, 0).toDate().month());
        });
        r.sortBy(QStringLiteral("Date"));
        const int g = r.addGroup(QStringLiteral("Date"), GroupCondition::Monthly);
        r.groupHeader(g).add(ReportObject::field(QStringLiteral("MonthName"), 0, 0, 2000, 226));
        r.details().add(ReportObject::field(QStringLiteral("Date"), 240, 0, 1050, 236));
        r.groupFooter(g).add(ReportObject::summary(SummaryOp::Count, QStringLiteral("Date"), g, 0, 0, 500, 236));
        QCOMPARE(AllTexts(ReportLayout(r).allPages()),
                 (QStringList{"March", "03/01/2003", "1", "March", "03/02/2004", "03/20/2004", "2"}));
    }

    void subreportsShowTheLinkedRowsOnly()
    {
        auto sub = std::make_shared<Report>();
        sub->data.addColumn(QStringLiteral("PanelID"), ValueType::Number);
        sub->data.addColumn(QStringLiteral("ElementName"), ValueType::Text);
        sub->data.appendRow({2, "Lights"});
        sub->data.appendRow({1, "Walls"});
        sub->data.appendRow({2, "Drains"});
        sub->noDataText = QStringLiteral("NONE");
        sub->sortBy(QStringLiteral("ElementName"));
        sub->reportHeader().add(ReportObject::textObject(QStringLiteral("Ratings"), 0, 0, 2000, 236));
        sub->details().add(ReportObject::field(QStringLiteral("ElementName"), 0, 0, 2000, 236));

        Report r;
        r.data.addColumn(QStringLiteral("PanelID"), ValueType::Number);
        r.data.addColumn(QStringLiteral("PanelName"), ValueType::Text);
        for (int i = 1; i <= 3; ++i)
            r.data.appendRow({i, QStringLiteral("P%1").arg(i)});
        r.details().add(ReportObject::field(QStringLiteral("PanelName"), 0, 0, 2000, 236));
        r.details().add(ReportObject::subreportObject(sub, QStringLiteral("PanelID"), QStringLiteral("PanelID"), 500,
                                                      236, 4000, 236)
                            .named(QStringLiteral("Subreport2")));
        const QVector<LaidPage> pages = ReportLayout(r).allPages();
        QCOMPARE(AllTexts(pages), (QStringList{"P1", "Ratings", "Walls", "P2", "Ratings", "Drains", "Lights", "P3",
                                                "Ratings", "NONE"}));
        // The subreport's lines stand at the object's left, one under the other.
        const LaidItem* walls = Find(pages[0], QStringLiteral("Walls"));
        const LaidItem* p2 = Find(pages[0], QStringLiteral("P2"));
        QCOMPARE(walls->rect.left(), 720 + 500.0);
        QCOMPARE(p2->rect.top(), walls->rect.bottom());
    }

    void aBandGrowsToHoldItsText()
    {
        Report r;
        r.data.addColumn(QStringLiteral("Comments"), ValueType::Text);
        r.data.appendRow({QStringLiteral("word ").repeated(60).trimmed()});
        r.data.appendRow({QStringLiteral("short")});
        r.details().add(ReportObject::field(QStringLiteral("Comments"), 240, 0, 2280, 236).grow());
        r.details().height = 200;
        const QVector<LaidPage> pages = ReportLayout(r).allPages();
        QCOMPARE(pages.size(), 1);
        QVector<const LaidItem*> lines;
        for (const LaidItem& it : pages[0].items)
            if (it.text.startsWith(QLatin1String("word")))
                lines << &it;
        QVERIFY(lines.size() > 3);
        for (int i = 1; i < lines.size(); ++i)
            QVERIFY(lines[i]->rect.top() > lines[i - 1]->rect.top());
        QCOMPARE(AllTexts(pages).join(' ').count(QStringLiteral("word")), 60);
        // The next row starts below the last line of the grown band.
        QVERIFY(Find(pages[0], QStringLiteral("short"))->rect.top() >= lines.last()->rect.bottom());
    }

    // A growing text breaks between words; inside a word only where the word alone is wider than its box; its own
    // line breaks stay; a first line that starts further right may stay empty.
    void wrappingBreaksBetweenWords_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("fits");       // the box is as wide as this text
        QTest::addColumn<QString>("firstFits");  // the first line, when it starts further right
        QTest::addColumn<QStringList>("lines");
        const QString name = QStringLiteral("Longitudinal Drain Channel Grating 1");
        QTest::newRow("between words") << name << QStringLiteral("Longitudinal Drain") << QString()
                                       << QStringList{"Longitudinal Drain", "Channel Grating 1"};
        QTest::newRow("a word wider than the box") << QStringLiteral("ab Longitudinal") << QStringLiteral("Longitu")
                                                   << QString() << QStringList{"ab", "Longitu", "dinal"};
        QTest::newRow("own line breaks") << QStringLiteral("first\r\nsecond line") << QStringLiteral("second line")
                                         << QString() << QStringList{"first", "second line"};
        QTest::newRow("first line too short") << name << name << QStringLiteral("Drain")
                                              << QStringList{"", "Longitudinal Drain Channel Grating 1"};
        QTest::newRow("first line shorter") << name << name << QStringLiteral("Longitudinal Drain")
                                            << QStringList{"Longitudinal Drain", "Channel Grating 1"};
    }
    void wrappingBreaksBetweenWords()
    {
        QFETCH(QString, text);
        QFETCH(QString, fits);
        QFETCH(QString, firstFits);
        QFETCH(QStringList, lines);
        const QFontMetricsF fm(ReportFont(QStringLiteral("Arial"), 8, true, false));
        const double width = fm.horizontalAdvance(fits) + 1;
        const double first = firstFits.isEmpty() ? -1 : fm.horizontalAdvance(firstFits) + 1;
        QCOMPARE(WrapReportText(text, fm, width, first), lines);
    }

    // What starts lower in a section than a text that grew moves down as far as it grew; the band grows as much.
    void whatLiesBelowAGrowingTextMovesDown()
    {
        Report r;
        r.data.addColumn(QStringLiteral("Name"), ValueType::Text);
        r.data.appendRow({QStringLiteral("word ").repeated(40).trimmed()});
        r.data.appendRow({QStringLiteral("short")});
        Section& d = r.details();
        d.add(ReportObject::field(QStringLiteral("Name"), 0, 0, 2000, 236).grow());
        d.add(ReportObject::textObject(QStringLiteral("beside"), 2200, 0, 1000, 236));
        d.add(ReportObject::textObject(QStringLiteral("below"), 0, 300, 1000, 236));
        d.add(ReportObject::line(0, 560, 2000, 560));
        d.height = 600;
        const LaidPage page = ReportLayout(r).allPages().first();
        double lastLine = 0, below = -1, beside = -1, rule = -1, nextRow = -1;
        for (const LaidItem& it : page.items) {
            if (it.text.startsWith(QLatin1String("word")))
                lastLine = std::max(lastLine, it.rect.top() + QFontMetricsF(ReportFont(r.fontFamily, 10, false, false)).height());
            if (it.text == QLatin1String("below") && below < 0)
                below = it.rect.top();
            if (it.text == QLatin1String("beside") && beside < 0)
                beside = it.rect.top();
            if (it.kind == LaidItem::Line && rule < 0)
                rule = it.rect.top();
            if (it.text == QLatin1String("short"))
                nextRow = it.rect.top();
        }
        QCOMPARE(beside, r.marginTop);
        QVERIFY2(below >= lastLine, qPrintable(QStringLiteral("%1 < %2").arg(below).arg(lastLine)));
        QVERIFY(rule > below);
        QVERIFY(nextRow > rule + 30);  // the room the section had below its rule stays
    }

    void aTextTooWideIsCutAtItsBox()
    {
        Report r;
        r.data.addColumn(QStringLiteral("Name"), ValueType::Text);
        r.data.appendRow({QStringLiteral("A very long tunnel name that does not fit")});
        r.details().add(ReportObject::field(QStringLiteral("Name"), 0, 0, 1000, 236));
        const QString shown = AllTexts(ReportLayout(r).allPages()).value(0);
        QVERIFY(shown.endsWith(QChar(0x2026)));
        QVERIFY(shown.size() < 20);
    }

    void anEmptyReportPrintsItsTitlesAndNoData()
    {
        Report r;
        r.data.addColumn(QStringLiteral("Name"), ValueType::Text);
        r.reportHeader().add(ReportObject::textObject(QStringLiteral("Title"), 0, 0, 3000, 390));
        r.details().add(ReportObject::field(QStringLiteral("Name"), 0, 0, 1000, 236));
        const QVector<LaidPage> pages = ReportLayout(r).allPages();
        QCOMPARE(pages.size(), 1);
        QCOMPARE(Texts(pages[0]), (QStringList{"Title", "No data"}));
    }

    void thePdfHasTheLaidOutPageCount()
    {
        QTemporaryDir dir;
        auto r = Lines(200);
        const int expected = ReportLayout(*r).pageCount();
        QCOMPARE(expected, 4);
        const QString path = dir.filePath(QStringLiteral("report.pdf"));
        QCOMPARE(WriteReportPdf(*r, path), expected);
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray pdf = f.readAll();
        QVERIFY(pdf.startsWith("%PDF"));
        // The page tree's count, and as many page objects.
        const QRegularExpressionMatch m = QRegularExpression(R"(/Type\s*/Pages\b[^>]*/Count\s+(\d+))")
                                              .match(QString::fromLatin1(pdf));
        QVERIFY(m.hasMatch());
        QCOMPARE(m.captured(1).toInt(), expected);
        QCOMPARE(QString::fromLatin1(pdf).count(QRegularExpression(R"(/Type\s*/Page\b)")), expected);

        // A file that cannot be written leaves the old one whole.
        QVERIFY_THROWS_EXCEPTION(KrvError, WriteReportPdf(*r, dir.filePath(QStringLiteral("missing/report.pdf"))));
    }
};

QTEST_MAIN(tst_reportengine)
#include "tst_reportengine.moc"

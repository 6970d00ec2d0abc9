// The report chooser and the element performance report: the list of kinds, the scan of
// the posted rating histories, the report as laid out, and the failures.
#include "db.h"
#include "elementperformance.h"
#include "fixtures.h"
#include "forms.h"
#include "frmReportSelection.h"
#include "frmReportViewer.h"
#include "frmViewSystem.h"
#include "globals.h"
#include "helpers.h"
#include "reportlayout.h"
#include "reportsforms.h"
#include "scriptedprompt.h"
#include "testinstall.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <memory>

namespace {

// Ratings "8,7,6" of one element on one panel in years from 2001.
std::vector<PerfRecord> Series(const QString& ratings, const QString& element = QStringLiteral("Wall"))
{
    std::vector<PerfRecord> out;
    quint32 year = 2001;
    for (const QString& r : ratings.split(',', Qt::SkipEmptyParts))
        out.push_back({QStringLiteral("North"), QStringLiteral("P1"), element, year++, r.toInt()});
    return out;
}

QString Ratings(const std::vector<PerfRecord>& list)
{
    QStringList out;
    for (const PerfRecord& r : list)
        out << QString::number(r.Rating);
    return out.join(',');
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

qint32 Panel(qint32 tunnel, const QString& name)
{
    return qint32(gConn.insertAutoNumber(QStringLiteral("Panels"), {{QStringLiteral("TunnelID"), tunnel},
                                                                    {QStringLiteral("PanelNum"), 1},
                                                                    {QStringLiteral("PanelName"), name}}));
}

void Posted(qint32 insp, qint32 panel, qint32 element, const QVariant& rating)
{
    gConn.exec(QStringLiteral("INSERT INTO RatingsPosted (InspectionID, PanelID, ElementID, Rating) VALUES (?, ?, ?, ?)"),
               {insp, panel, element, rating});
}

}  // namespace

class tst_elementperformance : public QObject {
    Q_OBJECT

    std::unique_ptr<TestInstall> m_install;
    std::unique_ptr<ScriptedPrompt> m_prompt;

    // Runs the chooser's OK; the viewer, if it is shown, is read and closed.
    QStringList runChooser(frmReportSelection* chooser, bool* shown)
    {
        QStringList texts;
        *shown = false;
        QTimer::singleShot(0, this, [&] {
            for (QWidget* w : LoadedForms())
                if (auto* v = qobject_cast<frmReportViewer*>(w); v && v->isVisible()) {
                    *shown = true;
                    texts = Texts(v->Pages());
                    v->close();
                }
        });
        chooser->cmdOk->click();
        QCoreApplication::processEvents();
        return texts;
    }

private slots:
    void init()
    {
        m_install = std::make_unique<TestInstall>();
        m_prompt = std::make_unique<ScriptedPrompt>();
        RegisterReportsForms();
        frmReportViewer::ClearReport();
        frmReportViewer().GetReportType(QString());
        FixtureSystem();
    }
    void cleanup()
    {
        for (QWidget* w : LoadedForms())
            delete w;
        m_prompt.reset();
        m_install.reset();
    }

    void chooserListsReportsThenCategories()
    {
        gConn.exec(QStringLiteral("DELETE FROM Reports"));
        gConn.exec(QStringLiteral("INSERT INTO Reports (ReportName) VALUES ('Expenditure'), ('Element Performance'), "
                                  "(NULL), ('Defect'), ('Expenditure')"));
        gConn.exec(QStringLiteral("DELETE FROM ElementCategory"));
        gConn.exec(QStringLiteral("INSERT INTO ElementCategory (EleCategoryName) VALUES ('Lighting'), ('  Drainage '), "
                                  "(NULL)"));
        auto* c = new frmReportSelection;
        QCOMPARE(c->windowTitle(), QStringLiteral("Report Type Selection"));
        QCOMPARE(c->Label1->text(), QStringLiteral("Select Type of Report to Print"));
        QCOMPARE(c->cboReports->placeholderText(), QStringLiteral("Select Report Type"));
        QCOMPARE(c->cmdOk->text() + "|" + c->cmdCancel->text(), QStringLiteral("OK|Cancel"));
        QStringList items;
        for (int i = 0; i < c->cboReports->count(); ++i)
            items << c->cboReports->itemText(i);
        QCOMPARE(items, (QStringList{"Defect", "Element Performance", "Expenditure",
                                     "Drainage Element Condition Evaluation", "Lighting Element Condition Evaluation"}));
        QCOMPARE(c->cboReports->currentIndex(), 0);
        // Every kind is offered: the criteria window's kinds and the element performance report.
        QVERIFY(c->cmdOk->isEnabled());
        c->cboReports->setCurrentIndex(1);
        QVERIFY(c->cmdOk->isEnabled());
        c->cmdCancel->click();
        QVERIFY(!IsFormLoaded(QStringLiteral("frmReportSelection")));
    }

    void theMainWindowRunsTheReport()
    {
        const qint32 north = FixtureTunnel(QStringLiteral("North"));
        FixtureElement(1, QStringLiteral("Wall"));
        const qint32 n1 = Panel(north, QStringLiteral("N1"));
        Posted(FixturePeriod(north, 2001), n1, 1, 9);
        Posted(FixturePeriod(north, 2002), n1, 1, 2);
        gConn.exec(QStringLiteral("DELETE FROM Reports"));
        gConn.exec(QStringLiteral("INSERT INTO Reports (ReportName) VALUES ('Defect'), ('Element Performance')"));
        auto* w = new frmViewSystem;
        m_prompt->calls.clear();
        // The chooser, the criteria window's kinds and the element performance report are offered.
        QVERIFY(w->cmdReport->isEnabled());
        QCOMPARE(w->mnuRpt[1]->text(), QStringLiteral("Element Performance"));
        QVERIFY(w->mnuRpt[1]->isEnabled());
        QVERIFY(w->mnuRpt[0]->isEnabled());
        QStringList texts;
        QTimer::singleShot(0, this, [&] {
            for (QWidget* f : LoadedForms())
                if (auto* v = qobject_cast<frmReportViewer*>(f); v && v->isVisible()) {
                    texts = Texts(v->Pages());
                    v->close();
                }
        });
        w->mnuRpt[1]->trigger();
        QCoreApplication::processEvents();
        QVERIFY(texts.contains(QStringLiteral("Tunnel Element Performance")));
        QCOMPARE(texts.count(QStringLiteral("North")), 2);
        QVERIFY(m_prompt->messages().isEmpty());
        // Neither the chooser nor the viewer stays behind hidden.
        QCOMPARE(IsFormLoaded(QStringLiteral("frmReportSelection")), false);
        QCOMPARE(IsFormLoaded(QStringLiteral("frmReportViewer")), false);
    }

    void anEmptyListIsLogged()
    {
        gConn.exec(QStringLiteral("DELETE FROM Reports"));
        gConn.exec(QStringLiteral("DELETE FROM ElementCategory"));
        auto* c = new frmReportSelection;
        QCOMPARE(c->cboReports->count(), 0);
        QCOMPARE(m_prompt->messages(), QStringList{"Error loading Report box"});
        QVERIFY(!c->cmdOk->isEnabled());
    }

    void scan_data()
    {
        QTest::addColumn<QString>("ratings");
        QTest::addColumn<QString>("quickly");
        QTest::addColumn<QString>("gradually");
        QTest::newRow("drop of 2") << "7,5" << "7,5" << "";
        QTest::newRow("drop of 1") << "7,6" << "" << "";
        QTest::newRow("two quick drops share a row") << "9,7,5" << "9,7,7,5" << "";
        QTest::newRow("three steps of 1") << "8,7,6" << "" << "8,7,6";
        QTest::newRow("a level step between") << "8,7,7,6" << "" << "8,7,7,6";
        QTest::newRow("two rows never gradual") << "5,4" << "" << "";
        QTest::newRow("rise of 3 at the end") << "8,7,6,9" << "" << "";
        QTest::newRow("drop after the rise") << "8,7,6,9,8" << "" << "8,7,6,9,8";
        QTest::newRow("no drop after the rise") << "8,7,6,9,9" << "" << "";
        QTest::newRow("four steps") << "6,5,4,3" << "" << "6,5,4,3";
        QTest::newRow("steps of 2") << "6,4,2" << "6,4,4,2" << "";
        QTest::newRow("changed after posting") << "5,-1,4" << "5,-1" << "";
        // Longer than any fixed buffer: 60 inspections stepping down and back up.
        QStringList longSeries;
        for (int i = 0; i < 60; ++i)
            longSeries << QString::number(9 - i % 3);
        QTest::newRow("60 inspections") << longSeries.join(',') << "" << longSeries.join(',');
    }

    void scan()
    {
        QFETCH(QString, ratings);
        QFETCH(QString, quickly);
        QFETCH(QString, gradually);
        const PerfLists lists = ScanPerformance(Series(ratings));
        QCOMPARE(Ratings(lists.quickly), quickly);
        QCOMPARE(Ratings(lists.gradually), gradually);
    }

    void seriesEndWithTheirElement()
    {
        // 8, 7 on one element and 6 on the next is not one series.
        std::vector<PerfRecord> rows = Series(QStringLiteral("8,7"), QStringLiteral("Lights"));
        for (const PerfRecord& r : Series(QStringLiteral("6,4"), QStringLiteral("Wall")))
            rows.push_back(r);
        const PerfLists lists = ScanPerformance(rows);
        QCOMPARE(Ratings(lists.gradually), QString());
        QCOMPARE(Ratings(lists.quickly), QStringLiteral("6,4"));
        QCOMPARE(lists.quickly[0].ElementName, QStringLiteral("Wall"));
    }

    void reportFromThePostedRatings()
    {
        const qint32 north = FixtureTunnel(QStringLiteral("North"));
        const qint32 south = FixtureTunnel(QStringLiteral("South"));
        FixtureElement(1, QStringLiteral("Wall"));
        FixtureElement(2, QStringLiteral("Drain"));
        const qint32 n1 = Panel(north, QStringLiteral("N1"));
        const qint32 s1 = Panel(south, QStringLiteral("S1"));
        const qint32 y1 = FixturePeriod(north, 2001), y2 = FixturePeriod(north, 2002), y3 = FixturePeriod(north, 2003);
        const qint32 z1 = FixturePeriod(south, 2001), z2 = FixturePeriod(south, 2002);
        // North N1: wall 8, 7, 6 (gradual); drain 9, 6, 6 (quick 9 to 6). South S1: wall 5, 3 (quick).
        Posted(y3, n1, 1, 6);
        Posted(y1, n1, 1, 8);
        Posted(y2, n1, 1, 7);
        Posted(y1, n1, 2, 9);
        Posted(y2, n1, 2, 6);
        Posted(y3, n1, 2, 6);
        Posted(z2, s1, 1, 3);
        Posted(z1, s1, 1, 5);
        Posted(z2, s1, 2, QVariant());  // no rating: not read
        // Rows left behind by a removed period and element: skipped, not a crash or an empty name.
        Posted(999, n1, 1, 1);
        Posted(y3, n1, 77, 0);
        const std::vector<PerfRecord> rows = ReadPostedRatings();
        QCOMPARE(int(rows.size()), 8);
        QCOMPARE(rows.front().ElementName, QStringLiteral("Drain"));

        gConn.exec(QStringLiteral("INSERT INTO Reports (ReportName) VALUES ('Element Performance')"));
        auto* c = new frmReportSelection;
        c->cboReports->setCurrentIndex(c->cboReports->findText(QStringLiteral("Element Performance")));
        bool shown = false;
        const QStringList texts = runChooser(c, &shown);
        QVERIFY(shown);
        QVERIFY(m_prompt->messages().isEmpty());
        const QString rapid = QStringLiteral("Rapid Deterioration (rating dropped by 2 or more between consecutive "
                                             "inspections)");
        const QString gradual = QStringLiteral("Gradual Deterioration (rating fell step by step by 1)");
        const QStringList heads{"Tunnel", "Panel", "Element", "Inspection Year", "Rating"};
        QStringList expected{"Tunnel Element Performance", rapid};
        expected << heads << "North" << "N1" << "Drain" << "2001" << "9" << "North" << "N1" << "Drain" << "2002" << "6"
                 << "South" << "S1" << "Wall" << "2001" << "5" << "South" << "S1" << "Wall" << "2002" << "3" << gradual
                 << heads << "North" << "N1" << "Wall" << "2001" << "8" << "North" << "N1" << "Wall" << "2002" << "7"
                 << "North" << "N1" << "Wall" << "2003" << "6" << ShortDateText(QDate::currentDate()) << "Page 1 of 1";
        QCOMPARE(texts, expected);
        // The report sets its own kind, so a printer choice adjusts nothing of it.
        QCOMPARE(frmReportViewer::ReportType(), QStringLiteral("Element Performance"));
        QVERIFY(!IsFormLoaded(QStringLiteral("frmReportSelection")));
    }

    void anEmptyGradualListPrintsNone()
    {
        const qint32 north = FixtureTunnel(QStringLiteral("North"));
        FixtureElement(1, QStringLiteral("Wall"));
        const qint32 n1 = Panel(north, QStringLiteral("N1"));
        Posted(FixturePeriod(north, 2001), n1, 1, 9);
        Posted(FixturePeriod(north, 2002), n1, 1, 2);
        const QVector<LaidPage> pages =
            ReportLayout(*BuildElementPerformanceReport(ScanPerformance(ReadPostedRatings()))).allPages();
        const QStringList texts = Texts(pages);
        QCOMPARE(texts.mid(texts.indexOf(QStringLiteral("Rating"), 8) + 1, 1), QStringList{"NONE"});
        QCOMPARE(texts.count(QStringLiteral("NONE")), 1);
    }

    void noPostedRatingsShowNothing()
    {
        gConn.exec(QStringLiteral("INSERT INTO Reports (ReportName) VALUES ('Element Performance')"));
        auto* c = new frmReportSelection;
        c->cboReports->setCurrentIndex(c->cboReports->findText(QStringLiteral("Element Performance")));
        bool shown = true;
        runChooser(c, &shown);
        QVERIFY(!shown);
        QVERIFY(m_prompt->messages().isEmpty());
    }

    void aFailureGivesTheMessageAndNoReport()
    {
        gConn.exec(QStringLiteral("INSERT INTO Reports (ReportName) VALUES ('Element Performance')"));
        frmReportViewer().SetReport(std::make_shared<Report>());  // a report shown before
        auto* c = new frmReportSelection;
        c->cboReports->setCurrentIndex(c->cboReports->findText(QStringLiteral("Element Performance")));
        gConn.exec(QStringLiteral("DROP TABLE RatingsPosted"));
        bool shown = true;
        runChooser(c, &shown);
        QVERIFY(!shown);
        QCOMPARE(m_prompt->messages(),
                 QStringList{"Error creating Tunnel Element Performance report in module BuildReport.\n"
                             "The database has no table RatingsPosted."});
        QVERIFY(!IsFormLoaded(QStringLiteral("frmReportSelection")));
        // The report shown before is not presented as this one.
        QVERIFY(!frmReportViewer::CurrentReport());
    }
};

QTEST_MAIN(tst_elementperformance)
#include "tst_elementperformance.moc"

// The report criteria window: set-up by kind, the lists that follow the tunnels, the checks
// of Show Report in their order, and saved definitions of each kind.
#include "db.h"
#include "fixtures.h"
#include "frmReport.h"
#include "frmInspectionPd.h"
#include "globals.h"
#include "frmReportViewer.h"
#include "frmSaveRpt.h"
#include "inspectionforms.h"
#include "reportlayout.h"
#include "reportsforms.h"
#include "helpers.h"
#include "modFilter.h"
#include "otherprogram.h"
#include "schema.h"
#include "scriptedprogress.h"
#include "scriptedprompt.h"
#include "testinstall.h"

#include <QApplication>
#include <QDateEdit>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

namespace {

qint32 panel(qint32 tunnel, int num)
{
    return qint32(gConn.insertAutoNumber(QStringLiteral("Panels"), {{QStringLiteral("TunnelID"), tunnel},
                                                                    {QStringLiteral("PanelNum"), num},
                                                                    {QStringLiteral("PanelName"), QString::number(num)}}));
}

void onPanel(qint32 pnl, qint32 element)
{
    gConn.exec(QStringLiteral("INSERT INTO PanelElements (PanelID, ElementID) VALUES (?, ?)"), {pnl, element});
}

// A rating entered and posted: the working row stays, marked posted.
void postRating(qint32 insp, qint32 pnl, qint32 element, int rating)
{
    gConn.exec(QStringLiteral("INSERT INTO Ratings (InspectionID, PanelID, ElementID, Rating, Posted) VALUES (?,?,?,?,1)"),
               {insp, pnl, element, rating});
    gConn.exec(QStringLiteral("INSERT INTO RatingsPosted (InspectionID, PanelID, ElementID, Rating) VALUES (?,?,?,?)"),
               {insp, pnl, element, rating});
}

QStringList checkedTexts(QTreeWidget* list)
{
    QStringList out;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        if (list->topLevelItem(i)->checkState(0) == Qt::Checked)
            out << list->topLevelItem(i)->text(0);
    return out;
}

QStringList items(QComboBox* box)
{
    QStringList out;
    for (int i = 0; i < box->count(); ++i)
        out << box->itemText(i);
    return out;
}

QStringList elementRows(frmReport* w)
{
    QStringList out;
    for (QCheckBox* c : w->chkElement)
        out << c->text() + (c->isChecked() ? "+" : "-");
    return out;
}

// What the report window showed: its kind and every page's texts.
struct Shown {
    QString kind;
    QStringList texts;
};

// Closes the report window when it comes up, keeping what it showed; nothing kept when it did not.
std::shared_ptr<Shown> whenShown()
{
    auto shown = std::make_shared<Shown>();
    QTimer::singleShot(0, [shown] {
        auto* v = qobject_cast<frmReportViewer*>(QApplication::activeModalWidget());
        if (!v)
            return;
        shown->kind = frmReportViewer::ReportType() + QStringLiteral(" shown");
        for (const LaidPage& p : v->Pages())
            for (const LaidItem& it : p.items)
                shown->texts << it.text;
        v->close();
    });
    return shown;
}

// Answers the next name dialog with a name and its OK button.
void answerName(const QString& name)
{
    QTimer::singleShot(0, [name] {
        auto* dialog = qobject_cast<frmSaveRpt*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        dialog->cboRptName->setEditText(name);
        dialog->cmdOk->click();
        if (dialog->isVisible())
            dialog->cmdCancel->click();  // refused: leave the dialog as a user would
    });
}

}  // namespace

class TestFrmReport : public QObject {
    Q_OBJECT
    std::unique_ptr<TestInstall> m_install;
    std::unique_ptr<ScriptedPrompt> m_prompt;
    const QLocale m_locale;
    qint32 north = 0, south = 0, empty = 0;
    qint32 n1 = 0, n2 = 0, s1 = 0;

    frmReport* open(const QString& kind)
    {
        auto* w = new frmReport;
        w->GetFormType(kind);
        w->show();
        return w;
    }

private slots:
    void initTestCase()
    {
        RegisterReportsForms();
        RegisterInspectionForms();
    }

    void init()
    {
        m_install = std::make_unique<TestInstall>();
        m_prompt = std::make_unique<ScriptedPrompt>();
        QVERIFY(CreateReportDatabase(m_install->file(QStringLiteral("ReportData.db"))));
        FixtureSystem();
        north = FixtureTunnel(QStringLiteral("North"));
        south = FixtureTunnel(QStringLiteral("South"));
        empty = FixtureTunnel(QStringLiteral("Empty"));
        gConn.exec(QStringLiteral("INSERT INTO ElementCategory (EleCategoryID, EleCategoryName, EleCategorySort) "
                                  "VALUES (1, 'Drainage', 1), (2, 'Lighting', 2)"));
        FixtureElement(1, QStringLiteral("Gully"), 1);
        FixtureElement(2, QStringLiteral("Channel"), 1);
        FixtureElement(3, QStringLiteral("Lamp"), 2);
        FixtureElement(4, QStringLiteral("Sump"), 1);  // on no panel
        n1 = panel(north, 1);
        n2 = panel(north, 2);
        s1 = panel(south, 1);
        onPanel(n1, 1);
        onPanel(n1, 3);
        onPanel(n2, 2);
        onPanel(s1, 1);
        const qint32 p03 = FixturePeriod(north, 2003), p05 = FixturePeriod(north, 2005);
        const qint32 s07 = FixturePeriod(south, 2007);
        FixturePeriod(south, 2009);  // no posted ratings
        postRating(p03, n1, 1, 5);
        postRating(p05, n2, 2, 6);
        postRating(s07, s1, 1, 7);
    }
    void cleanup()
    {
        QLocale::setDefault(m_locale);
        for (QWidget* w : QApplication::topLevelWidgets())
            if (qobject_cast<frmReport*>(w))
                w->close();
        m_prompt.reset();
        m_install.reset();
    }

    // Show Report builds the report of the criteria and shows it in the report window with its
    // kind; a build that fails says so and shows nothing, not the report before it.
    void showsTheReportInTheViewer()
    {
        gConn.exec(QStringLiteral("INSERT INTO ExpenditureCats (CategoryID, Category) VALUES (7, 'Pumps')"));
        gConn.exec(QStringLiteral("INSERT INTO Expenditures (TunnelID, Cost, [Date], Comments, CategoryID) VALUES "
                                  "(?, 99.5, '2004-05-06', 'impeller', 7)"),
                   {north});
        frmReport* w = open(QStringLiteral("Expenditure"));
        w->chkExpField[2]->setChecked(true);
        auto shown = std::make_shared<Shown>();
        QTimer::singleShot(0, [shown] {
            auto* v = qobject_cast<frmReportViewer*>(QApplication::activeModalWidget());
            QVERIFY(v);
            shown->kind = frmReportViewer::ReportType();
            for (const LaidPage& p : v->Pages())
                for (const LaidItem& it : p.items)
                    shown->texts << it.text;
            v->close();
        });
        w->cmdReport->click();
        QCOMPARE(shown->kind, QStringLiteral("Expenditure"));
        for (const char* text : {"Expenditures Report", "Pumps", "North", "$99.50", "Expenditures Grand Total:"})
            QVERIFY2(shown->texts.contains(QLatin1String(text)), text);
        QVERIFY(m_prompt->messages().isEmpty());
        QVERIFY(w->isVisible());

        gConn.exec(QStringLiteral("DROP TABLE Expenditures"));
        bool viewerShown = false;
        QTimer::singleShot(0, [&viewerShown] {
            if (auto* v = qobject_cast<frmReportViewer*>(QApplication::activeModalWidget())) {
                viewerShown = true;
                v->close();
            }
        });
        w->cmdReport->click();
        QCoreApplication::processEvents();  // the check above runs now, not in a later test
        QVERIFY(!viewerShown);
        QCOMPARE(m_prompt->messages(), QStringList{"Error creating report in module BuildReport.\n"
                                                   "The database has no table Expenditures."});
        QVERIFY(w->isVisible());
    }

    // The element condition evaluation fills the working database, shows its grid, and the
    // working database is emptied and closed when the window unloads.
    void elementConditionReportAndUnload()
    {
        frmReport* w = open(QStringLiteral("Drainage Element Condition Evaluation"));
        w->cboRP1->setCurrentIndex(w->cboRP1->findText(QStringLiteral("2003")));
        auto shown = std::make_shared<Shown>();
        QTimer::singleShot(0, [shown] {
            auto* v = qobject_cast<frmReportViewer*>(QApplication::activeModalWidget());
            QVERIFY(v);
            shown->kind = frmReportViewer::ReportType();
            for (const LaidPage& p : v->Pages())
                for (const LaidItem& it : p.items)
                    shown->texts << it.text;
            v->close();
        });
        w->cmdReport->click();
        QCOMPARE(m_prompt->messages(), QStringList());
        QCOMPARE(shown->kind, QStringLiteral("Drainage Element Condition Evaluation"));
        for (const char* text : {"Drainage Element Condition Evaluation", "North", "Gully", "2003", "5"})
            QVERIFY2(shown->texts.contains(QLatin1String(text)), text);
        QVERIFY(gReportConn.isOpen());
        QVERIFY(gReportConn.scalar(QStringLiteral("SELECT count(*) FROM ReportRatings")).toInt() > 0);
        w->close();
        QVERIFY(!gReportConn.isOpen());
        gReportConn.open(m_install->file(QStringLiteral("ReportData.db")));
        QCOMPARE(gReportConn.scalar(QStringLiteral("SELECT count(*) FROM ReportRatings")).toInt(), 0);
        gReportConn.close();
    }

    // The inspection-period window's Report command shows the period's unposted data.
    void unpostedDataFromTheInspectionPeriods()
    {
        const qint32 p = gConn.scalar(QStringLiteral("SELECT InspectionID FROM InspectionPeriod WHERE InspectionYear = 2005"))
                             .toInt();
        // A rating changed after posting.
        gConn.exec(QStringLiteral("UPDATE Ratings SET Rating = 4, Posted = 0 WHERE InspectionID = ? AND PanelID = ?"),
                   {p, n2});
        gIsDataEntry = true;
        auto* tree = new frmInspectionPd;
        tree->show();
        QTreeWidgetItem* node = tree->FindNode(QStringLiteral("y%1").arg(p));
        QVERIFY(node);
        tree->tv->setCurrentItem(node);
        QVERIFY(tree->cmdReport->isEnabled());
        auto shown = std::make_shared<Shown>();
        QTimer::singleShot(0, [shown] {
            auto* v = qobject_cast<frmReportViewer*>(QApplication::activeModalWidget());
            QVERIFY(v);
            shown->kind = frmReportViewer::ReportType();
            for (const LaidPage& pg : v->Pages())
                for (const LaidItem& it : pg.items)
                    shown->texts << it.text;
            v->close();
        });
        tree->cmdReport->click();
        QCOMPARE(shown->kind, QStringLiteral("PreDataPost"));
        for (const char* text : {"Unposted Inspection Data", "Tunnel: North", "Inspection Year: 2005", "Panel: 2",
                                 "Channel", "4"})
            QVERIFY2(shown->texts.contains(QLatin1String(text)), text);
        QVERIFY(m_prompt->messages().isEmpty());
        tree->close();
    }

    void defectSetUp()
    {
        frmReport* w = open(QStringLiteral("Defect"));
        QCOMPARE(w->windowTitle(), QStringLiteral("Defect Report Query"));
        QCOMPARE(w->Label6->text(),
                 QStringLiteral("Use the check boxes to select inspection years to be included in the report."));
        QVERIFY(w->picDefect->isVisible());
        QVERIFY(!w->picExpenditure->isVisible());
        QVERIFY(!w->picElements->isVisible());
        QCOMPARE(checkedTexts(w->lvTunnels), (QStringList{"Empty", "North", "South"}));
        QCOMPARE(w->lvDefectDates->count(), 4);
        for (int i = 0; i < 4; ++i)
            QCOMPARE(w->lvDefectDates->item(i)->checkState(), Qt::Checked);
        QCOMPARE(w->CheckedDefectYears, (QVector<qint16>{2003, 2005, 2007, 2009}));

        // Unchecking a year takes it out; unchecking North drops its years from the list.
        w->lvDefectDates->item(1)->setCheckState(Qt::Unchecked);
        QCOMPARE(w->CheckedDefectYears, (QVector<qint16>{2003, 2007, 2009}));
        w->lvTunnels->topLevelItem(1)->setCheckState(0, Qt::Unchecked);
        QCOMPARE(w->lvDefectDates->count(), 2);
        QCOMPARE(w->lvDefectDates->item(0)->text(), QStringLiteral("2007"));
        QCOMPARE(w->lvDefectDates->item(0)->checkState(), Qt::Checked);
    }

    // Tunnel and category names are listed in the user's order, not by their stored bytes.
    void namesInTheUsersOrder()
    {
        FixtureTunnel(QStringLiteral("zugang"));
        FixtureTunnel(QStringLiteral("\u00C4rmelkanal"));
        gConn.exec(QStringLiteral("INSERT INTO ExpenditureCats (CategoryID, Category) VALUES (1, 'pumps'), (2, ?), "
                                  "(3, 'Lights')"),
                   {QStringLiteral("\u00DCberbau")});
        frmReport* w = open(QStringLiteral("Expenditure"));
        QCOMPARE(checkedTexts(w->lvTunnels), (QStringList{QStringLiteral("\u00C4rmelkanal"), "Empty", "North",
                                                          "South", "zugang"}));
        QStringList categories;
        for (int i = 0; i < w->cboCategories->count(); ++i)
            categories << w->cboCategories->itemText(i);
        QCOMPARE(categories, (QStringList{"", "Lights", "pumps", QStringLiteral("\u00DCberbau")}));
    }

    // An element named with "&" is shown as written, not with an access key.
    void elementNamesAsWritten()
    {
        gConn.exec(QStringLiteral("UPDATE AvailableElements SET ElementName = 'Roof&Drains' WHERE ElementID = 1"));
        frmReport* w = open(QStringLiteral("Drainage Element Condition Evaluation"));
        QStringList shown;
        for (QCheckBox* c : w->findChildren<QCheckBox*>(QStringLiteral("chkElement")))
            shown << c->text();
        QVERIFY2(shown.contains(QStringLiteral("Roof&&Drains")), qPrintable(shown.join(QLatin1Char(','))));
    }

    // Element rows: only the kind's category, on panels of the checked tunnels, all checked;
    // the periods those with posted ratings; nothing once no tunnel is checked.
    void elementRowsFollowTheTunnels()
    {
        frmReport* w = open(QStringLiteral("Drainage Element Condition Evaluation"));
        QCOMPARE(w->windowTitle(), QStringLiteral("Drainage Element Condition Evaluation Report Query"));
        QVERIFY(w->picElements->isVisible());
        QCOMPARE(elementRows(w), (QStringList{"Channel+", "Gully+"}));
        QCOMPARE(items(w->cboRP1), (QStringList{"", "2003", "2005", "2007"}));
        QCOMPARE(items(w->cboRP2), items(w->cboRP1));

        w->txtRatingMin[1]->setText(QStringLiteral("3"));
        w->lvTunnels->topLevelItem(1)->setCheckState(0, Qt::Unchecked);  // North
        QCOMPARE(elementRows(w), (QStringList{"Gully+"}));
        QCOMPARE(w->txtRatingMin[0]->text(), QStringLiteral("3"));  // a bound typed survives the reload
        QCOMPARE(items(w->cboRP1), (QStringList{"", "2007"}));

        w->cmdSelNone->click();
        QVERIFY(w->chkElement.isEmpty());
        QCOMPARE(w->cboRP1->count(), 0);
        QCOMPARE(w->cboRP2->count(), 0);
        w->cmdReport->click();
        QCOMPARE(m_prompt->messages(), QStringList{"You must select at least one Tunnel to run a report."});
        QCOMPARE(m_prompt->calls.last().title, QStringLiteral("No Tunnel Selected"));

        w->cmdInvSel->click();
        QCOMPARE(elementRows(w), (QStringList{"Channel+", "Gully+"}));

        frmReport* other = new frmReport;
        other->GetFormType(QStringLiteral("Tiles Element Condition Evaluation"));
        QVERIFY(other->chkElement.isEmpty());
        other->close();
    }

    void thirtyElementsScroll()
    {
        for (int e = 10; e < 40; ++e) {
            FixtureElement(e, QStringLiteral("E%1").arg(e), 1);
            onPanel(n1, e);
        }
        frmReport* w = open(QStringLiteral("Drainage Element Condition Evaluation"));
        QCOMPARE(w->chkElement.size(), 32);
        QCOMPARE(w->chkElement[29]->y() - w->chkElement[0]->y(), TwipsToPixels(29 * 330));
        QVERIFY(w->VScroll1->isEnabled());
        const int range = w->VScroll1->maximum();
        QCOMPARE(range, int(std::nearbyint(31 * 330 + 285 + 125 - PixelsToTwips(w->picElements->height()))));
        QCOMPARE(w->VScroll1->pageStep(), int(std::nearbyint(range / 5.0)));
        w->VScroll1->setValue(w->VScroll1->pageStep());
        QCOMPARE(w->picAvailableElements->y(), -TwipsToPixels(w->VScroll1->pageStep()));
    }

    // Show Report's refusals, each before anything is prepared, in the order they are checked.
    void showReportChecks_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QStringList>("setup");  // "field:k", "box:k=text", "rp2:year", "noelements", "noyears", "notunnels"
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("title");
        QTest::newRow("no field") << "Expenditure" << QStringList{}
                                  << "You must select at least one field to appear on the Expenditure Report"
                                  << "No Fields Selected";
        QTest::newRow("31 February before a bad cost")
            << "Expenditure" << QStringList{"field:1", "box:1=2/31/2021", "box:3=abc"}
            << "You must enter a vaild date for the From Date." << "Invalid Date Entered";
        QTest::newRow("to date") << "Expenditure" << QStringList{"field:0", "box:2=someday"}
                                 << "You must enter a vaild date for the To Date." << "Invalid Date Entered";
        QTest::newRow("minimum cost") << "Expenditure" << QStringList{"field:2", "box:3=12x", "box:4=1"}
                                      << "You must enter a vaild numeric value for the Minimum Cost."
                                      << "Invalid Cost Entered";
        QTest::newRow("maximum cost, unchecked Cost still checked")
            << "Expenditure" << QStringList{"field:3", "box:3=   ", "box:4=lots"}
            << "You must enter a vaild numeric value for the Maximum Cost." << "Invalid Cost Entered";
        QTest::newRow("no period") << "Drainage Element Condition Evaluation" << QStringList{}
                                   << "You must select at least one Rating Period to print the Tunnel Report"
                                   << "No Rating Period Selected";
        QTest::newRow("second period alone passes")
            << "Drainage Element Condition Evaluation" << QStringList{"rp2:2005", "noelements"}
            << "You must select at least one Element to print the Tunnel Report" << "No Element Selected";
        QTest::newRow("no year") << "Defect" << QStringList{"noyears"}
                                 << "You must select at least one year to be included in the report."
                                 << "Show Report";
        QTest::newRow("no tunnel first") << "Defect" << QStringList{"noyears", "notunnels"}
                                         << "You must select at least one Tunnel to run a report."
                                         << "No Tunnel Selected";
        // Costs that are not finite numbers.
        const QString minimum = QStringLiteral("You must enter a vaild numeric value for the Minimum Cost.");
        const QString maximum = QStringLiteral("You must enter a vaild numeric value for the Maximum Cost.");
        for (const char* text : {"inf", "nan", "1e999", "-Infinity"}) {
            QTest::newRow(qPrintable(QStringLiteral("minimum cost %1").arg(QLatin1String(text))))
                << "Expenditure" << QStringList{"field:2", QStringLiteral("box:3=%1").arg(QLatin1String(text))}
                << minimum << "Invalid Cost Entered";
            QTest::newRow(qPrintable(QStringLiteral("maximum cost %1").arg(QLatin1String(text))))
                << "Expenditure" << QStringList{"field:2", "box:3=1", QStringLiteral("box:4=%1").arg(QLatin1String(text))}
                << maximum << "Invalid Cost Entered";
        }
        // Element bounds: a rating from 0 to 9, the element and the box named. Rows: Channel, Gully.
        const QString ece = QStringLiteral("Drainage Element Condition Evaluation");
        QTest::newRow("minimum not a number")
            << ece << QStringList{"rp1:2003", "min:0=x"}
            << "The Min rating of the element 'Channel' must be a number from 0 to 9." << "Invalid Rating Entered";
        QTest::newRow("maximum above 9")
            << ece << QStringList{"rp1:2003", "max:1=12"}
            << "The Max rating of the element 'Gully' must be a number from 0 to 9." << "Invalid Rating Entered";
        QTest::newRow("below 0, element not checked")
            << ece << QStringList{"rp1:2003", "uncheck:0", "max:0=-1"}
            << "The Max rating of the element 'Channel' must be a number from 0 to 9." << "Invalid Rating Entered";
        QTest::newRow("not finite")
            << ece << QStringList{"rp1:2003", "min:1=nan"}
            << "The Min rating of the element 'Gully' must be a number from 0 to 9." << "Invalid Rating Entered";
    }
    void showReportChecks()
    {
        QFETCH(QString, kind);
        QFETCH(QStringList, setup);
        QFETCH(QString, message);
        QFETCH(QString, title);
        frmReport* w = open(kind);
        for (const QString& s : setup) {
            if (s.startsWith(QLatin1String("field:")))
                w->chkExpField[s.mid(6).toInt()]->setChecked(true);
            else if (s.startsWith(QLatin1String("box:")))
                w->txtExpCriteria[s.mid(4, 1).toInt()]->setText(s.mid(6));
            else if (s.startsWith(QLatin1String("rp2:")))
                w->cboRP2->setCurrentText(s.mid(4));
            else if (s.startsWith(QLatin1String("rp1:")))
                w->cboRP1->setCurrentIndex(w->cboRP1->findText(s.mid(4)));
            else if (s.startsWith(QLatin1String("min:")))
                w->txtRatingMin[s.mid(4, 1).toInt()]->setText(s.mid(6));
            else if (s.startsWith(QLatin1String("max:")))
                w->txtRatingMax[s.mid(4, 1).toInt()]->setText(s.mid(6));
            else if (s.startsWith(QLatin1String("uncheck:")))
                w->chkElement[s.mid(8).toInt()]->setChecked(false);
            else if (s == QLatin1String("noelements"))
                for (QCheckBox* c : w->chkElement)
                    c->setChecked(false);
            else if (s == QLatin1String("noyears"))
                for (int i = 0; i < w->lvDefectDates->count(); ++i)
                    w->lvDefectDates->item(i)->setCheckState(Qt::Unchecked);
            else if (s == QLatin1String("notunnels"))
                w->cmdSelNone->click();
        }
        const auto shown = whenShown();
        w->cmdReport->click();
        QCoreApplication::processEvents();
        QCOMPARE(m_prompt->messages(), QStringList{message});
        QCOMPARE(m_prompt->calls.last().title, title);
        QVERIFY(w->isVisible());
        QCOMPARE(shown->kind, QString());
        // Refused before any work: the working database was not filled.
        if (gReportConn.isOpen())
            QCOMPARE(gReportConn.scalar(QStringLiteral("SELECT count(*) FROM ReportRatings")).toInt(), 0);
    }

    // A date picked in a chooser is that date, shown with its four-digit year; a two-digit year
    // typed is this century's; a saved definition keeps the dates and gives them back. In en_US,
    // de_DE and C set as the program's locale, and in the system's locale as the process got it.
    void datesPickedAndTyped_data()
    {
        QTest::addColumn<QString>("locale");  // "" the system's
        QTest::addColumn<QString>("dates");   // from, to, both, typed
        QTest::addColumn<QStringList>("costs");
        for (const char* locale : {"en_US", "de_DE", "C", ""}) {
            const QString l = QLatin1String(locale);
            const QString name = l.isEmpty() ? QStringLiteral("system") : l;
            QTest::newRow(qPrintable(name + QStringLiteral(" from"))) << l << "from"
                                                                      << QStringList{"$20.00", "$300.00", "$500.00"};
            QTest::newRow(qPrintable(name + QStringLiteral(" to"))) << l << "to"
                                                                    << QStringList{"$1.00", "$20.00", "$300.00"};
            QTest::newRow(qPrintable(name + QStringLiteral(" both"))) << l << "both"
                                                                      << QStringList{"$20.00", "$300.00"};
            QTest::newRow(qPrintable(name + QStringLiteral(" typed"))) << l << "typed"
                                                                       << QStringList{"$1.00", "$20.00"};
        }
    }
    void datesPickedAndTyped()
    {
        QFETCH(QString, locale);
        QFETCH(QString, dates);
        QFETCH(QStringList, costs);
        if (!locale.isEmpty())
            QLocale::setDefault(QLocale(locale));
        gConn.exec(QStringLiteral("INSERT INTO ExpenditureCats (CategoryID, Category) VALUES (7, 'Pumps')"));
        for (const auto& [date, cost] : {std::pair{"2003-06-01", 1}, std::pair{"2004-02-03", 20},
                                         std::pair{"2004-07-01", 300}, std::pair{"2005-06-01", 500}})
            gConn.exec(QStringLiteral("INSERT INTO Expenditures (TunnelID, Cost, [Date], CategoryID) VALUES (?, ?, ?, 7)"),
                       {north, cost, QLatin1String(date)});
        const QStringList all{"$1.00", "$20.00", "$300.00", "$500.00"};
        auto amounts = [&all](const QStringList& texts) {
            QStringList out;
            for (const QString& a : all)
                if (texts.contains(a))
                    out << a;
            return out;
        };

        frmReport* w = open(QStringLiteral("Expenditure"));
        w->chkExpField[1]->setChecked(true);
        w->chkExpField[2]->setChecked(true);
        if (dates == QLatin1String("from") || dates == QLatin1String("both"))
            w->dtFromDate->setDate(QDate(2004, 1, 1));
        if (dates == QLatin1String("to") || dates == QLatin1String("both"))
            w->dtToDate->setDate(QDate(2004, 12, 31));
        if (dates == QLatin1String("typed"))
            w->txtExpCriteria[2]->setText(QStringLiteral("02/03/04"));  // 3 February or 2 March 2004
        for (int k : {1, 2})
            if (!w->txtExpCriteria[k]->text().isEmpty() && dates != QLatin1String("typed"))
                QVERIFY2(w->txtExpCriteria[k]->text().contains(QLatin1String("2004")),
                         qPrintable(w->txtExpCriteria[k]->text()));
        auto shown = whenShown();
        w->cmdReport->click();
        QCOMPARE(m_prompt->messages(), QStringList());
        QCOMPARE(amounts(shown->texts), costs);

        // Saved, the dates are stored as they are; opened again, they filter the same rows.
        answerName(QStringLiteral("Dates"));
        w->mnuSave_Click();
        const QStringList stored = Rows(QStringLiteral("SELECT DateFrom, DateTo FROM ExpenditureRpt"));
        QCOMPARE(stored.size(), 1);
        for (const QString& d : stored.first().split(QLatin1Char('|')))
            QVERIFY2(d == QLatin1String("<null>") || d.startsWith(QLatin1String("2004-")), qPrintable(stored.first()));
        w->close();
        frmReport* again = open(QStringLiteral("Expenditure"));
        answerName(QStringLiteral("Dates"));
        again->mnuOpen_Click();
        for (int k : {1, 2})
            QVERIFY2(again->txtExpCriteria[k]->text().isEmpty() || again->txtExpCriteria[k]->text().contains(QLatin1String("2004")),
                     qPrintable(again->txtExpCriteria[k]->text()));
        shown = whenShown();
        again->cmdReport->click();
        QCOMPARE(m_prompt->messages(), QStringList());
        QCOMPARE(amounts(shown->texts), costs);
    }

    // A name that is the same as a saved one to the program's rule for names is that definition:
    // saving under it asks before replacing it, and nothing is deleted without the question;
    // opening and deleting find it under either spelling.
    void savingUnderTheSameName_data()
    {
        QTest::addColumn<QString>("saved");
        QTest::addColumn<QString>("typed");
        QTest::newRow("case") << "Q1" << "q1";
        QTest::newRow("full case folding") << "STRASSE" << QStringLiteral("Stra\u00DFe");
        QTest::newRow("exactly") << "Q1" << "Q1";
    }
    void savingUnderTheSameName()
    {
        QFETCH(QString, saved);
        QFETCH(QString, typed);
        frmReport* w = open(QStringLiteral("Defect"));
        answerName(saved);
        w->mnuSave_Click();
        QCOMPARE(Rows(QStringLiteral("SELECT Name FROM DefectRpt")), QStringList{saved});

        m_prompt->answer(MsgAnswer::No);
        answerName(typed);
        w->mnuSave_Click();
        QCOMPARE(m_prompt->messages(), QStringList{QStringLiteral("Are you sure you want to overwrite '%1'?").arg(saved)});
        QCOMPARE(Rows(QStringLiteral("SELECT Name FROM DefectRpt")), QStringList{saved});

        w->lvTunnels->topLevelItem(2)->setCheckState(0, Qt::Unchecked);  // South
        m_prompt->answer(MsgAnswer::Yes);
        answerName(typed);
        w->mnuSave_Click();
        QCOMPARE(m_prompt->messages().size(), 2);
        QCOMPARE(Rows(QStringLiteral("SELECT Name FROM DefectRpt")), QStringList{typed});
        const QString key = gConn.scalar(QStringLiteral("SELECT ID FROM DefectRpt")).toString();
        QCOMPARE(Rows(QStringLiteral("SELECT DISTINCT ID FROM DefectRptTunnels")), QStringList{key});
        QCOMPARE(CountRows(QStringLiteral("DefectRptTunnels")), 2);

        answerName(saved);
        w->cmdSelAll->click();
        w->mnuOpen_Click();
        QCOMPARE(checkedTexts(w->lvTunnels), (QStringList{"Empty", "North"}));
        m_prompt->answer(MsgAnswer::Yes);
        answerName(saved);
        w->mnuDelete_Click();
        QCOMPARE(m_prompt->messages().last(), QStringLiteral("Are you sure you want to remove the report '%1'?").arg(saved));
        QCOMPARE(CountRows(QStringLiteral("DefectRpt")) + CountRows(QStringLiteral("DefectRptTunnels")), 0);
    }

    // Another program saves a definition of the name while the name dialog is open: the save
    // asks before replacing it, whether the name was new or its overwrite was agreed to.
    void anotherUsersSaveOfTheNameIsAskedAbout_data()
    {
        QTest::addColumn<bool>("savedBefore");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("stored");  // whose definition of Q1 is stored
        QTest::newRow("new name, yes") << false << int(MsgAnswer::Yes) << "mine";
        QTest::newRow("new name, no") << false << int(MsgAnswer::No) << "theirs";
        QTest::newRow("overwrite agreed, yes") << true << int(MsgAnswer::Yes) << "mine";
        QTest::newRow("overwrite agreed, no") << true << int(MsgAnswer::No) << "theirs";
    }
    void anotherUsersSaveOfTheNameIsAskedAbout()
    {
        QFETCH(bool, savedBefore);
        QFETCH(int, answer);
        QFETCH(QString, stored);
        frmReport* w = open(QStringLiteral("Defect"));
        if (savedBefore) {
            answerName(QStringLiteral("Q1"));
            w->mnuSave_Click();
            m_prompt->answer(MsgAnswer::Yes);  // overwrite
        }
        // Theirs replaces any Q1 under a new key, without tunnels.
        QString shellError;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<frmSaveRpt*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            shellError = RunSqliteShell(m_install->dbPath(),
                                        QStringLiteral("DELETE FROM DefectRptTunnels; DELETE FROM DefectRpt; "
                                                       "INSERT INTO DefectRpt (Name) VALUES ('Q1');"));
            dialog->cboRptName->setEditText(QStringLiteral("Q1"));
            dialog->cmdOk->click();
        });
        m_prompt->answer(MsgAnswer(answer));
        w->mnuSave_Click();
        QCOMPARE(shellError, QString());
        QCOMPARE(m_prompt->messages().last(), QStringLiteral("The report 'Q1' was saved by another user after you "
                                                             "chose the name. Replace it with yours?"));
        QCOMPARE(CountRows(QStringLiteral("DefectRpt")), 1);
        QCOMPARE(CountRows(QStringLiteral("DefectRptTunnels")) > 0 ? QStringLiteral("mine") : QStringLiteral("theirs"),
                 stored);
    }

    // A definition another program saves under the name while "remove?" is open stays.
    void aDeletionLeavesADefinitionSavedDuringItsQuestion()
    {
        frmReport* w = open(QStringLiteral("Defect"));
        answerName(QStringLiteral("Q1"));
        w->mnuSave_Click();
        QString shellError;
        m_prompt->handler = [&](const PromptCall&) -> QVariant {
            shellError = RunSqliteShell(m_install->dbPath(), QStringLiteral("INSERT INTO DefectRpt (Name) VALUES ('q1')"));
            return QVariant::fromValue(int(MsgAnswer::Yes));
        };
        answerName(QStringLiteral("Q1"));
        w->mnuDelete_Click();
        QCOMPARE(shellError, QString());
        QCOMPARE(m_prompt->messages(), QStringList{"Are you sure you want to remove the report 'Q1'?"});
        QCOMPARE(Rows(QStringLiteral("SELECT Name FROM DefectRpt")), QStringList{"q1"});
        QCOMPARE(CountRows(QStringLiteral("DefectRptTunnels")), 0);
    }

    // The unposted-data report that cannot be built says where, as every report does.
    void unpostedDataFailure()
    {
        const qint32 p = gConn.scalar(QStringLiteral("SELECT InspectionID FROM InspectionPeriod WHERE InspectionYear = 2005"))
                             .toInt();
        gConn.exec(QStringLiteral("UPDATE Ratings SET Posted = 0 WHERE InspectionID = ?"), {p});
        gIsDataEntry = true;
        auto* tree = new frmInspectionPd;
        tree->show();
        QTreeWidgetItem* node = tree->FindNode(QStringLiteral("y%1").arg(p));
        QVERIFY(node);
        tree->tv->setCurrentItem(node);
        gConn.exec(QStringLiteral("DROP TABLE DefectQuantity"));
        const auto shown = whenShown();
        tree->cmdReport->click();
        QCoreApplication::processEvents();
        QCOMPARE(m_prompt->messages(), QStringList{"Error creating report in module BuildReport.\n"
                                                   "The database has no table DefectQuantity."});
        QVERIFY(shown->texts.isEmpty());  // no report, and never an older one
        QCOMPARE(shown->kind, QString());  // and no empty viewer either
        tree->close();
    }

    // Preparing a report (rows read, report built, pages counted) is one piece of work the user
    // can cancel: then nothing is shown and nothing said.
    void cancellingTheReport_data()
    {
        QTest::addColumn<int>("cancelAt");
        QTest::newRow("reading the rows") << 1;
        QTest::newRow("counting the pages") << 4;
        QTest::newRow("not cancelled") << 0;
    }
    void cancellingTheReport()
    {
        QFETCH(int, cancelAt);
        gConn.exec(QStringLiteral("INSERT INTO ExpenditureCats (CategoryID, Category) VALUES (7, 'Pumps')"));
        gConn.exec(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 2500) "
                                  "INSERT INTO Expenditures (TunnelID, Cost, [Date], CategoryID) "
                                  "SELECT ?, i, '2004-05-06', 7 FROM n"),
                   {north});
        frmReport* w = open(QStringLiteral("Expenditure"));
        w->chkExpField[2]->setChecked(true);
        ScriptedProgress progress(cancelAt);
        frmReportViewer::ClearReport();
        const auto shown = whenShown();
        w->cmdReport->click();
        QCoreApplication::processEvents();
        QVERIFY(m_prompt->messages().isEmpty());
        QCOMPARE(progress.begun, QStringList{"Preparing the report..."});
        QCOMPARE(progress.ended, 1);
        if (cancelAt > 0) {
            QCOMPARE(progress.steps, cancelAt);
            QCOMPARE(shown->kind, QString());
            QVERIFY(!frmReportViewer::CurrentReport());
        } else {
            QVERIFY(progress.steps >= 3);  // 1,000 and 2,000 rows read, then pages
            QCOMPARE(shown->kind, QStringLiteral("Expenditure shown"));
            QVERIFY(shown->texts.contains(QStringLiteral("$2,500.00")));
        }
        QVERIFY(w->isVisible());
    }

    // A definition of each kind saved and opened again in a new window; a name with a quote.
    void savedExpenditureDefinition()
    {
        gConn.exec(QStringLiteral("INSERT INTO ExpenditureCats (CategoryID, Category) VALUES (7, 'Pumps'), (8, 'Lights')"));
        frmReport* w = open(QStringLiteral("Expenditure"));
        w->chkExpField[0]->setChecked(true);
        w->chkExpField[2]->setChecked(true);
        w->cboCategories->setCurrentIndex(w->cboCategories->findText(QStringLiteral("Pumps")));
        w->txtExpCriteria[0]->setText(QStringLiteral("Pumps"));
        w->txtExpCriteria[1]->setText(QStringLiteral("2021-01-31"));
        w->txtExpCriteria[3]->setText(QStringLiteral("1,250.5"));
        w->optGroupBy[1]->setChecked(true);
        w->lvTunnels->topLevelItem(0)->setCheckState(0, Qt::Unchecked);  // Empty
        answerName(QStringLiteral("O'Brien's pumps"));
        w->mnuSave_Click();
        QCOMPARE(w->RptName, QStringLiteral("O'Brien's pumps"));
        QCOMPARE(Rows(QStringLiteral("SELECT Name, FCategory, FDate, FCost, FComments, FilterBy, DateFrom, DateTo, Min, "
                                     "Max, GroupBy FROM ExpenditureRpt")),
                 QStringList{"O'Brien's pumps|1|0|1|0|7|2021-01-31|<null>|1250.5|<null>|Month"});
        QCOMPARE(Rows(QStringLiteral("SELECT TunnelID FROM ExpenditureRptTunnels ORDER BY 1")),
                 (QStringList{QString::number(north), QString::number(south)}));
        w->close();

        frmReport* again = open(QStringLiteral("Expenditure"));
        answerName(QStringLiteral("O'Brien's pumps"));
        again->mnuOpen_Click();
        QVERIFY(again->chkExpField[0]->isChecked() && !again->chkExpField[1]->isChecked());
        QVERIFY(again->chkExpField[2]->isChecked() && !again->chkExpField[3]->isChecked());
        QCOMPARE(again->cboCategories->currentText(), QStringLiteral("Pumps"));
        QCOMPARE(again->txtExpCriteria[0]->text(), QStringLiteral("Pumps"));
        QCOMPARE(again->txtExpCriteria[1]->text(), ShortDateText(QDate(2021, 1, 31)));
        QCOMPARE(again->txtExpCriteria[2]->text(), QString());
        QCOMPARE(ReadCriteriaNumber(again->txtExpCriteria[3]->text()), 1250.5);
        QVERIFY(again->optGroupBy[1]->isChecked());
        QCOMPARE(checkedTexts(again->lvTunnels), (QStringList{"North", "South"}));

        // Overwriting asks first; the definition gets a new key and only its new tunnel rows.
        const qint64 oldKey = gConn.scalar(QStringLiteral("SELECT ID FROM ExpenditureRpt")).toLongLong();
        again->lvTunnels->topLevelItem(2)->setCheckState(0, Qt::Unchecked);  // South
        m_prompt->answer(MsgAnswer::Yes);
        answerName(QStringLiteral("O'Brien's pumps"));
        again->mnuSave_Click();
        QCOMPARE(m_prompt->messages().last(), QStringLiteral("Are you sure you want to overwrite 'O'Brien's pumps'?"));
        QCOMPARE(m_prompt->calls.last().title, QStringLiteral("Save Report"));
        const qint64 newKey = gConn.scalar(QStringLiteral("SELECT ID FROM ExpenditureRpt")).toLongLong();
        QVERIFY(newKey != oldKey);
        QCOMPARE(Rows(QStringLiteral("SELECT ID, TunnelID FROM ExpenditureRptTunnels")),
                 QStringList{QStringLiteral("%1|%2").arg(newKey).arg(north)});

        // Deleting asks, then removes the definition and its rows; a missing name is refused.
        answerName(QStringLiteral("nothing like it"));
        again->mnuDelete_Click();
        QCOMPARE(m_prompt->messages().last(),
                 QStringLiteral("The report 'nothing like it' does not exist.  Please select a report from the dropdown list."));
        m_prompt->answer(MsgAnswer::Yes);
        answerName(QStringLiteral("O'Brien's pumps"));
        again->mnuDelete_Click();
        QCOMPARE(m_prompt->messages().last(), QStringLiteral("Are you sure you want to remove the report 'O'Brien's pumps'?"));
        QCOMPARE(CountRows(QStringLiteral("ExpenditureRpt")) + CountRows(QStringLiteral("ExpenditureRptTunnels")), 0);

        answerName(QStringLiteral("gone"));
        again->mnuOpen_Click();
        QCOMPARE(m_prompt->messages().last(), QStringLiteral("Could not find Report 'gone'"));
    }

    void savedElementDefinition()
    {
        frmReport* w = open(QStringLiteral("Drainage Element Condition Evaluation"));
        w->cboRP1->setCurrentIndex(w->cboRP1->findText(QStringLiteral("2003")));
        w->chkElement[0]->setChecked(false);  // Channel: bounds but not included
        w->txtRatingMin[0]->setText(QStringLiteral("2"));
        w->txtRatingMax[1]->setText(QStringLiteral("8"));
        answerName(QStringLiteral("Drains"));
        w->mnuSave_Click();
        QCOMPARE(Rows(QStringLiteral("SELECT Name, RatingPd1, RatingPd2 FROM TunnelRpt")),
                 QStringList{"Drains|2003|<null>"});
        QCOMPARE(Rows(QStringLiteral("SELECT ElementID, Include, Min, Max FROM TunnelRptElements ORDER BY 1")),
                 (QStringList{"1|1|<null>|8", "2|0|2|<null>"}));
        w->close();

        frmReport* again = open(QStringLiteral("Drainage Element Condition Evaluation"));
        again->cmdSelNone->click();
        answerName(QStringLiteral("Drains"));
        again->mnuOpen_Click();
        QCOMPARE(checkedTexts(again->lvTunnels), (QStringList{"Empty", "North", "South"}));
        QCOMPARE(again->cboRP1->currentText(), QStringLiteral("2003"));
        QCOMPARE(elementRows(again), (QStringList{"Channel-", "Gully+"}));
        QCOMPARE(again->txtRatingMin[0]->text(), QStringLiteral("2"));
        QCOMPARE(again->txtRatingMax[1]->text(), QStringLiteral("8"));
    }

    void savedDefectDefinition()
    {
        frmReport* w = open(QStringLiteral("Defect"));
        w->lvTunnels->topLevelItem(2)->setCheckState(0, Qt::Unchecked);  // South
        w->lvDefectDates->item(0)->setCheckState(Qt::Unchecked);         // 2003
        answerName(QStringLiteral("Recent"));
        w->mnuSave_Click();
        QCOMPARE(Rows(QStringLiteral("SELECT InspYear FROM DefectRptInspections")), QStringList{"2005"});
        w->close();

        frmReport* again = open(QStringLiteral("Defect"));
        answerName(QStringLiteral("Recent"));
        again->mnuOpen_Click();
        QCOMPARE(checkedTexts(again->lvTunnels), (QStringList{"Empty", "North"}));
        QCOMPARE(again->lvDefectDates->count(), 2);
        QCOMPARE(again->lvDefectDates->item(0)->checkState(), Qt::Unchecked);
        QCOMPARE(again->lvDefectDates->item(1)->checkState(), Qt::Checked);

        // Cancel writes nothing.
        QTimer::singleShot(0, [] { qobject_cast<frmSaveRpt*>(QApplication::activeModalWidget())->cmdCancel->click(); });
        again->mnuSave_Click();
        QCOMPARE(again->RptName, QString());
        QCOMPARE(CountRows(QStringLiteral("DefectRpt")), 1);
    }
};

QTEST_MAIN(TestFrmReport)
#include "tst_frmreport.moc"

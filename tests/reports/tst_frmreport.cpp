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
#include "schema.h"
#include "scriptedprompt.h"
#include "testinstall.h"

#include <QApplication>
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
        QCOMPARE(m_prompt->messages(), QStringList{"Error creating report in module BuildReport."});
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
            else if (s == QLatin1String("noelements"))
                for (QCheckBox* c : w->chkElement)
                    c->setChecked(false);
            else if (s == QLatin1String("noyears"))
                for (int i = 0; i < w->lvDefectDates->count(); ++i)
                    w->lvDefectDates->item(i)->setCheckState(Qt::Unchecked);
            else if (s == QLatin1String("notunnels"))
                w->cmdSelNone->click();
        }
        w->cmdReport->click();
        QCOMPARE(m_prompt->messages(), QStringList{message});
        QCOMPARE(m_prompt->calls.last().title, title);
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

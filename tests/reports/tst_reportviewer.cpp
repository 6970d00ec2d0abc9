// The report viewer: its caption and placement, the kind and report kept across showings,
// page navigation and zoom, the layout adjustment per kind after a printer is chosen,
// printing and the PDF export.
#include "forms.h"
#include "frmPrintKeyplanTarget.h"
#include "frmReportViewer.h"
#include "reportlayouts.h"
#include "reportsforms.h"
#include "savefile.h"
#include "scriptedprogress.h"
#include "scriptedprompt.h"
#include "testinstall.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPrinter>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollArea>
#include <QToolButton>
#include <QtTest>

#include <memory>

namespace {

std::shared_ptr<Report> Pages(int lines)
{
    auto r = std::make_shared<Report>();
    r->title = QStringLiteral("Lines");
    r->data.addColumn(QStringLiteral("Name"), ValueType::Text);
    for (int i = 1; i <= lines; ++i)
        r->data.appendRow({QStringLiteral("Row %1").arg(i)});
    r->details().add(ReportObject::field(QStringLiteral("Name"), 240, 0, 2280, 236));
    r->pageFooter().add(ReportObject::specialField(SpecialField::PageNofM, 155, 0, 1500, 226));
    return r;
}

// A report with an object of each kind in each section the adjustments look at.
std::shared_ptr<Report> Sections()
{
    auto r = std::make_shared<Report>();
    r->data.addColumn(QStringLiteral("PanelName"), ValueType::Text);
    r->data.appendRow({QStringLiteral("P1")});
    r->addGroup(QStringLiteral("PanelName"));
    r->addGroup(QStringLiteral("PanelName"));
    for (Section& s : r->sections) {
        s.add(ReportObject::textObject(QStringLiteral("text"), 100, 0, 1000, 236));
        s.add(ReportObject::field(QStringLiteral("PanelName"), 200, 0, 1100, 236));
        s.add(ReportObject::line(50, 250, 5000, 250));
        s.add(ReportObject::line(100, 260, 5000, 260));
    }
    return r;
}

int PdfPages(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QRegularExpressionMatch m =
        QRegularExpression(R"(/Type\s*/Pages\b[^>]*/Count\s+(\d+))").match(QString::fromLatin1(f.readAll()));
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

}  // namespace

class tst_reportviewer : public QObject {
    Q_OBJECT

    std::unique_ptr<TestInstall> m_install;
    std::unique_ptr<ScriptedPrompt> m_prompt;

private slots:
    void init()
    {
        m_install = std::make_unique<TestInstall>();
        m_prompt = std::make_unique<ScriptedPrompt>();
        frmReportViewer::ClearReport();
        CurrentPrinter().setPageOrientation(QPageLayout::Portrait);
        CurrentPrinter().setPageSize(QPageSize(QPageSize::Letter));
    }
    void cleanup()
    {
        for (QWidget* w : LoadedForms())
            delete w;
        m_prompt.reset();
        m_install.reset();
    }

    void windowAndKeptState()
    {
        RegisterReportsForms();
        QVERIFY(FormIsAvailable(QStringLiteral("frmReportViewer")));
        auto* v = new frmReportViewer;
        QCOMPARE(v->objectName(), QStringLiteral("frmReportViewer"));
        QCOMPARE(v->windowTitle(), QStringLiteral("Corvane Quorrel Report"));
        QCOMPARE(v->mnuPrinter->title(), QStringLiteral("Printer"));
        QCOMPARE(v->mnuSelect->text(), QStringLiteral("Select Printer"));
        QCOMPARE(v->Zoom(), 100);
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        QCOMPARE(v->pos(), screen.topLeft());
        // Its frame (a usual one before the window system frames it) spans the screen.
        QCOMPARE(v->width(), screen.width() - 8);
        QCOMPARE(v->PageCount(), 0);
        QVERIFY(!v->cmdPrint->isEnabled());

        v->GetReportType(QStringLiteral("PreDataPost"));
        v->SetReport(Pages(10));
        delete v;
        // A later showing has the kind and the report of the last caller.
        auto* again = new frmReportViewer;
        QCOMPARE(frmReportViewer::ReportType(), QStringLiteral("PreDataPost"));
        QCOMPARE(again->PageCount(), 1);
        QCOMPARE(again->lblPage->text(), QStringLiteral("Page 1 of 1"));
    }

    void pagesAndZoom()
    {
        auto* v = new frmReportViewer;
        v->SetReport(Pages(150));  // 60 lines a page
        QCOMPARE(v->PageCount(), 3);
        QCOMPARE(v->lblPage->text(), QStringLiteral("Page 1 of 3"));
        QVERIFY(!v->cmdPrev->isEnabled() && !v->cmdFirst->isEnabled());
        v->cmdNext->click();
        QCOMPARE(v->lblPage->text(), QStringLiteral("Page 2 of 3"));
        QCOMPARE(v->Pages()[1].items.first().text, QStringLiteral("Row 61"));
        v->cmdLast->click();
        QCOMPARE(v->CurrentPage(), 3);
        QVERIFY(!v->cmdNext->isEnabled() && !v->cmdLast->isEnabled());
        v->cmdPrev->click();
        QCOMPARE(v->CurrentPage(), 2);
        v->cmdFirst->click();
        QCOMPARE(v->CurrentPage(), 1);
        // The page is shown at the zoom chosen: Letter is 816 x 1056 pixels at 100 %.
        QCOMPARE(v->pageView->size(), QSize(816, 1056));
        v->cboZoom->setCurrentIndex(v->cboZoom->findData(200));
        emit v->cboZoom->activated(v->cboZoom->currentIndex());
        QCOMPARE(v->Zoom(), 200);
        QCOMPARE(v->pageView->size(), QSize(1632, 2112));
        QCOMPARE(v->CRViewer1->widget(), v->pageView);
    }

    void adjustmentPerKind_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("landscape");
        // Per section: "name:text width/align,field width/align,line right from 50,line left at 100".
        QTest::addColumn<QStringList>("expected");
        const QString p = QStringLiteral("%1:1000/1,1100/1,50-5000,100");
        QStringList untouched;
        for (int i = 1; i <= 9; ++i)
            untouched << p.arg(QStringLiteral("Section%1").arg(i));
        QStringList exp = untouched;
        exp[2] = QStringLiteral("Section3:10800/2,1100/1,50-5000,100");
        QTest::newRow("expenditure") << "Expenditure" << false << exp;
        QTest::newRow("expenditure wins over other words")
            << "Expenditure Element Condition Evaluation PreDataPost" << false << exp;
        exp = untouched;
        exp[0] = QStringLiteral("Section1:10800/2,10800/2,50-5000,100");
        exp[5] = QStringLiteral("Section6:10800/2,10800/2,50-5000,100");
        QTest::newRow("element condition evaluation") << "Drainage Element Condition Evaluation" << false << exp;
        exp = untouched;
        exp[0] = QStringLiteral("Section1:10800/2,10800/2,15-9825,100");
        exp[2] = QStringLiteral("Section3:10800/2,10800/2,15-9825,100");
        exp[7] = QStringLiteral("Section8:1000/1,1100/1,15-9825,100");
        exp[8] = QStringLiteral("Section9:10800/1,9800/1,15-9825,100");
        QTest::newRow("unposted data, portrait") << "PreDataPost" << false << exp;
        exp = untouched;
        exp[0] = QStringLiteral("Section1:14400/2,14400/2,15-13500,100");
        exp[2] = QStringLiteral("Section3:14400/2,14400/2,15-13500,100");
        exp[7] = QStringLiteral("Section8:1000/1,1100/1,15-13500,100");
        exp[8] = QStringLiteral("Section9:14400/1,13400/1,15-13500,100");
        QTest::newRow("unposted data, landscape") << "PreDataPost" << true << exp;
        QTest::newRow("defect") << "Defect" << false << untouched;
        QTest::newRow("element performance") << "Element Performance" << false << untouched;
        QTest::newRow("no kind") << "" << false << untouched;
    }

    void adjustmentPerKind()
    {
        QFETCH(QString, kind);
        QFETCH(bool, landscape);
        QFETCH(QStringList, expected);
        auto* v = new frmReportViewer;
        auto report = Sections();
        v->GetReportType(kind);
        v->SetReport(report);
        CurrentPrinter().setPageOrientation(landscape ? QPageLayout::Landscape : QPageLayout::Portrait);
        m_prompt->answers.enqueue(true);
        v->mnuSelect->trigger();
        QCOMPARE(m_prompt->count(PromptCall::Print), 1);
        QCOMPARE(m_prompt->calls.first().title, QStringLiteral("Select Printer"));
        QCOMPARE(report->orientation, landscape ? QPageLayout::Landscape : QPageLayout::Portrait);
        QStringList actual;
        for (const Section& s : report->sections) {
            const ReportObject& t = s.objects[0];
            const ReportObject& f = s.objects[1];
            actual << QStringLiteral("%1:%2/%3,%4/%5,%6-%7,%8")
                          .arg(s.name)
                          .arg(t.width)
                          .arg(t.align)
                          .arg(f.width)
                          .arg(f.align)
                          .arg(s.objects[2].left)
                          .arg(s.objects[2].right)
                          .arg(s.objects[3].left);
        }
        std::sort(actual.begin(), actual.end());
        QCOMPARE(actual, expected);
        QVERIFY(m_prompt->messages().isEmpty());
        // The pages are laid out again for the new paper.
        QCOMPARE(v->Pages().first().items.isEmpty(), false);
    }

    void cancelledSetUpStillAdjusts()
    {
        auto* v = new frmReportViewer;
        auto report = Sections();
        v->GetReportType(QStringLiteral("Expenditure"));
        v->SetReport(report);
        CurrentPrinter().setPageOrientation(QPageLayout::Landscape);
        m_prompt->answers.enqueue(false);
        v->mnuSelect->trigger();
        QCOMPARE(report->orientation, QPageLayout::Portrait);
        QCOMPARE(report->sectionByName(QStringLiteral("Section3"))->objects[0].width, 10800.0);
    }

    void selectPrinterWithoutReportIsLogged()
    {
        auto* v = new frmReportViewer;
        v->mnuSelect->trigger();
        QCOMPARE(m_prompt->messages(), QStringList{"Error Selecting Printer."});
        QCOMPARE(m_prompt->count(PromptCall::Print), 0);
        QVERIFY(m_install->read(QStringLiteral("err.log")).contains("frmReportViewer"));
    }

    void printAndExport()
    {
        auto* v = new frmReportViewer;
        v->SetReport(Pages(150));
        // Printing goes through the print set-up; the printer here writes a file.
        const QString printed = m_install->file(QStringLiteral("printed.pdf"));
        CurrentPrinter().setOutputFileName(printed);
        m_prompt->answers.enqueue(false);
        v->cmdPrint->click();
        QVERIFY(!QFile::exists(printed));
        m_prompt->answers.enqueue(true);
        v->cmdPrint->click();
        QCOMPARE(PdfPages(printed), 3);
        // The printer is shared with the key plan sheet, which prints within the printable area.
        QVERIFY(!CurrentPrinter().fullPage());
        CurrentPrinter().setOutputFileName(QString());

        // The export asks for a file name; cancelling writes nothing.
        m_prompt->answerCancel();
        v->cmdExport->click();
        const QString path = m_install->file(QStringLiteral("out"));
        m_prompt->answerText(path);
        v->cmdExport->click();
        const QList<PromptCall> saves = [&] {
            QList<PromptCall> out;
            for (const PromptCall& c : m_prompt->calls)
                if (c.kind == PromptCall::SaveFile)
                    out << c;
            return out;
        }();
        QCOMPARE(saves.size(), 2);
        QCOMPARE(saves[0].title, QStringLiteral("Export Report"));
        QCOMPARE(saves[0].initial, QStringLiteral("Lines.pdf"));
        QCOMPARE(PdfPages(path + QStringLiteral(".pdf")), 3);

        // A folder that cannot be written to is reported, and why.
        m_prompt->answerText(m_install->file(QStringLiteral("missing/out.pdf")));
        v->cmdExport->click();
        QCOMPARE(m_prompt->messages(), QStringList{"Error exporting report.\nThe file " +
                                                   m_install->file(QStringLiteral("missing/out.pdf")) +
                                                   " could not be written: the folder does not exist."});
    }

    // A disk with room for 95 % of the file (through the write seam): the export and the printer's
    // file each keep the old file whole, leave no cut file beside it, and say which file and why.
    void aFullDiskKeepsTheOldFile_data()
    {
        QTest::addColumn<bool>("print");
        QTest::newRow("export") << false;
        QTest::newRow("printed to a file") << true;
    }
    void aFullDiskKeepsTheOldFile()
    {
        QFETCH(bool, print);
        auto* v = new frmReportViewer;
        v->SetReport(Pages(150));
        const QString path = m_install->file(QStringLiteral("report.pdf"));
        auto write = [&] {
            if (print) {
                CurrentPrinter().setOutputFileName(path);
                m_prompt->answers.enqueue(true);
                v->cmdPrint->click();
                CurrentPrinter().setOutputFileName(QString());
            } else {
                m_prompt->answerText(path);
                v->cmdExport->click();
            }
        };
        write();
        const qint64 size = QFileInfo(path).size();
        QVERIFY(size > 0);
        m_install->write(QStringLiteral("report.pdf"), "the old report");
        {
            WriteFault fault(QStringLiteral("report.pdf"), size * 95 / 100);
            write();
        }
        QCOMPARE(m_prompt->messages(),
                 QStringList{(print ? "Error printing report." : "Error exporting report.") + QStringLiteral("\nThe file ") +
                             path + " could not be written: the disk is full."});
        QCOMPARE(m_install->read(QStringLiteral("report.pdf")), QByteArray("the old report"));
        QCOMPARE(QDir(m_install->folder()).entryList({QStringLiteral("report*")}, QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("report.pdf")});
    }

    // The window counts the pages once and lays out only those it shows (and a few beside them):
    // every page it shows is the page the whole layout makes, "Page n of m" included, whichever
    // way the user goes, and it never holds more than a few pages.
    void pagesLaidOutAsShown()
    {
        auto report = Pages(3000);  // 60 lines a page
        const QVector<LaidPage> all = ReportLayout(*report).allPages();
        QCOMPARE(all.size(), 50);
        auto* v = new frmReportViewer;
        v->SetReport(report);
        QCOMPARE(v->PageCount(), 50);
        for (int number : {1, 2, 25, 50, 49, 12, 3, 1, 50}) {
            v->ShowPage(number);
            QCOMPARE(v->CurrentPage(), number);
            QCOMPARE(v->lblPage->text(), QStringLiteral("Page %1 of 50").arg(number));
            const LaidPage* shown = v->ShownPage();
            QVERIFY(shown);
            const LaidPage& expected = all[number - 1];
            QCOMPARE(shown->number, number);
            QCOMPARE(shown->total, 50);
            QCOMPARE(shown->items.size(), expected.items.size());
            for (int i = 0; i < expected.items.size(); ++i) {
                QCOMPARE(shown->items[i].text, expected.items[i].text);
                QCOMPARE(shown->items[i].rect, expected.items[i].rect);
            }
            QCOMPARE(shown->items.last().text, QStringLiteral("Page %1 of 50").arg(number));
            QVERIFY2(v->PagesKept() <= 8, qPrintable(QString::number(v->PagesKept())));
        }
        // Next and previous run through the pages kept and beyond them.
        v->ShowPage(1);
        for (int n = 2; n <= 20; ++n) {
            v->cmdNext->click();
            QCOMPARE(v->ShownPage()->items.first().text, QStringLiteral("Row %1").arg((n - 1) * 60 + 1));
        }
        for (int n = 19; n >= 1; --n) {
            v->cmdPrev->click();
            QCOMPARE(v->ShownPage()->items.first().text, QStringLiteral("Row %1").arg((n - 1) * 60 + 1));
        }
        QVERIFY(v->PagesKept() <= 8);
    }

    // Any page laid out alone is the page the whole layout makes: groups whose headings repeat
    // on the pages they go on to, subtotals, wrapped comments, a subreport per row.
    void pageAloneAsInTheWhole()
    {
        DataTable rows;
        for (const char* c : {"Date", "TunnelName", "Category", "Cost", "Comments"})
            rows.addColumn(QLatin1String(c), DataTable::typeForColumn(QLatin1String(c)));
        for (int i = 0; i < 900; ++i)
            rows.appendRow({QDate(2004, 1, 1).addDays(i * 3), QStringLiteral("Tunnel %1").arg(i % 7),
                            QStringLiteral("Category %1").arg(i % 5), 10.0 * i,
                            i % 13 == 0 ? QStringLiteral("a long comment that wraps over more than one line of "
                                                         "its column, as comments do when people write them")
                                        : QStringLiteral("note %1").arg(i)});
        auto report = BuildExpenditureReport(rows, QStringLiteral("Month"));
        auto sub = Pages(3);
        report->details().add(ReportObject::subreportObject(sub, QString(), QString(), 400, 240, 3000, 236));
        const QVector<LaidPage> all = ReportLayout(*report).allPages();
        QVERIFY(all.size() > 20);
        ReportLayout layout(*report);
        for (int k = 1; k <= all.size(); k += 7) {
            const QVector<LaidPage> alone = layout.pages(k, k + 1);
            QCOMPARE(alone.size(), std::min(2, int(all.size()) - k + 1));
            for (const LaidPage& p : alone) {
                const LaidPage& whole = all[p.number - 1];
                QCOMPARE(p.items.size(), whole.items.size());
                for (int i = 0; i < p.items.size(); ++i) {
                    QCOMPARE(p.items[i].text, whole.items[i].text);
                    QCOMPARE(p.items[i].rect, whole.items[i].rect);
                }
            }
        }
    }

    // A band taller than a page goes over pages by its lines: the count and the pages agree.
    void tallBandCountedAsLaidOut()
    {
        auto r = std::make_shared<Report>();
        r->data.addColumn(QStringLiteral("Text"), ValueType::Text);
        QStringList words;
        for (int i = 0; i < 4000; ++i)
            words << QStringLiteral("word%1").arg(i);
        r->data.appendRow({words.join(QLatin1Char(' '))});
        r->data.appendRow({QStringLiteral("after")});
        r->details().add(ReportObject::field(QStringLiteral("Text"), 240, 0, 2280, 236).grow());
        r->pageFooter().add(ReportObject::specialField(SpecialField::PageNofM, 155, 0, 1500, 226));
        const QVector<LaidPage> all = ReportLayout(*r).allPages();
        QVERIFY(all.size() > 2);
        QCOMPARE(ReportLayout(*r).pageCount(), all.size());
        QCOMPARE(all.last().total, all.size());
        auto* v = new frmReportViewer;
        v->SetReport(r);
        QCOMPARE(v->PageCount(), all.size());
        v->ShowPage(all.size());
        QCOMPARE(v->ShownPage()->items.size(), all.last().items.size());
    }

    // A PDF export the user cancels writes nothing: no new file, an old one stays whole, no
    // temporary file is left, and nothing is said. Cancelled while counting or while painting.
    void cancelledExportWritesNothing_data()
    {
        QTest::addColumn<int>("cancelAt");
        QTest::addColumn<bool>("oldFile");
        QTest::newRow("counting, no file") << 1 << false;
        QTest::newRow("counting, old file") << 3 << true;
        QTest::newRow("painting, no file") << 60 << false;
        QTest::newRow("painting, old file") << 95 << true;
    }
    void cancelledExportWritesNothing()
    {
        QFETCH(int, cancelAt);
        QFETCH(bool, oldFile);
        auto* v = new frmReportViewer;
        v->SetReport(Pages(3000));  // 50 pages: 50 steps counting, then 50 painting
        const QString path = m_install->file(QStringLiteral("report.pdf"));
        if (oldFile) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("the report of last week");
        }
        const QStringList before = QDir(m_install->file(QString())).entryList(QDir::Files);
        {
            ScriptedProgress progress(cancelAt);
            m_prompt->answerText(path);
            v->cmdExport->click();
            QCOMPARE(progress.steps, cancelAt);
            QCOMPARE(progress.begun, QStringList{"Writing the PDF file..."});
            QCOMPARE(progress.ended, 1);
        }
        QVERIFY(m_prompt->messages().isEmpty());
        QCOMPARE(QDir(m_install->file(QString())).entryList(QDir::Files), before);
        if (oldFile)
            QCOMPARE(m_install->read(QStringLiteral("report.pdf")), QByteArray("the report of last week"));
        else
            QVERIFY(!QFile::exists(path));

        // Not cancelled, it is written whole, and the progress had the number of pages.
        ScriptedProgress progress;
        m_prompt->answerText(path);
        v->cmdExport->click();
        QCOMPARE(PdfPages(path), 50);
        QCOMPARE(progress.lastTotal, 50);
        QCOMPARE(progress.steps, 100);
    }
};

QTEST_MAIN(tst_reportviewer)
#include "tst_reportviewer.moc"

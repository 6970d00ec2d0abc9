// The defect report on the demo installation: it reads posted defect quantities only, and a
// checked year without any (2026, entered but not posted) is named under its title, so the
// printout never looks complete without it.
#include "db.h"
#include "demodata.h"
#include "frmReport.h"
#include "frmReportViewer.h"
#include "globals.h"
#include "reportlayout.h"
#include "reportsforms.h"
#include "scriptedprompt.h"
#include "settings.h"
#include "testinstall.h"

#include <QApplication>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

namespace {

// Every text of the report window's pages, once it comes up; it is closed then.
std::shared_ptr<QStringList> whenShown()
{
    auto texts = std::make_shared<QStringList>();
    QTimer::singleShot(0, [texts] {
        auto* v = qobject_cast<frmReportViewer*>(QApplication::activeModalWidget());
        QVERIFY(v);
        for (const LaidPage& p : v->Pages())
            for (const LaidItem& it : p.items)
                *texts << it.text;
        v->close();
    });
    return texts;
}

QStringList listed(const QListWidget* list, bool checkedOnly)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        if (!checkedOnly || list->item(i)->checkState() == Qt::Checked)
            out << list->item(i)->text();
    return out;
}

}  // namespace

class TestDefectReport : public QObject {
    Q_OBJECT
    std::unique_ptr<TestInstall> m_install;
    std::unique_ptr<ScriptedPrompt> m_prompt;

private slots:
    void initTestCase()
    {
        RegisterReportsForms();
        m_install = std::make_unique<TestInstall>(false);
        m_prompt = std::make_unique<ScriptedPrompt>();
        const QString folder = m_install->file(QStringLiteral("demo"));
        QString error;
        QVERIFY2(MakeDemoInstallation(folder, &error), qPrintable(error));
        SetProgramFolder(folder);
        gConn.open(folder + QStringLiteral("/krv.db"));
        gSystemID = gConn.scalar(QStringLiteral("SELECT SystemID FROM System")).toInt();
        // The demo as this test knows it: 2026 entered with defects, none of them posted.
        QVERIFY(gConn.scalar(QStringLiteral("SELECT count(*) FROM DefectQuantity d JOIN InspectionPeriod p ON "
                                            "p.InspectionID = d.InspectionID WHERE p.InspectionYear = 2026"))
                    .toInt()
                > 0);
        QCOMPARE(gConn.scalar(QStringLiteral("SELECT count(*) FROM DefectQuantityPosted d JOIN InspectionPeriod p "
                                             "ON p.InspectionID = d.InspectionID WHERE p.InspectionYear = 2026"))
                     .toInt(),
                 0);
    }
    void cleanupTestCase()
    {
        gConn.close();
        m_prompt.reset();
        m_install.reset();
    }

    // Every year is offered and checked, the unposted one too; the report names it under its
    // title and shows the posted years. Without it checked, the report names nothing.
    void anUnpostedYearIsNamedUnderTheTitle()
    {
        auto* w = new frmReport;
        w->GetFormType(QStringLiteral("Defect"));
        w->show();
        QCOMPARE(listed(w->lvDefectDates, false), (QStringList{"2022", "2024", "2026"}));
        QCOMPARE(listed(w->lvDefectDates, true), (QStringList{"2022", "2024", "2026"}));
        auto texts = whenShown();
        w->cmdReport->click();
        QCOMPARE(texts->value(0), QStringLiteral("Defect Quantity Report"));
        QCOMPARE(texts->value(1), QStringLiteral("No posted defect quantities for 2026."));
        QVERIFY(texts->contains(QStringLiteral("2022")));
        QVERIFY(texts->contains(QStringLiteral("2024")));
        QVERIFY(!texts->contains(QStringLiteral("2026")));
        QVERIFY(m_prompt->messages().isEmpty());

        w->lvDefectDates->item(2)->setCheckState(Qt::Unchecked);
        texts = whenShown();
        w->cmdReport->click();
        QCOMPARE(texts->value(0), QStringLiteral("Defect Quantity Report"));
        QVERIFY(texts->filter(QStringLiteral("No posted defect quantities")).isEmpty());
        QCOMPARE(listed(w->lvDefectDates, false), (QStringList{"2022", "2024", "2026"}));
        w->close();
        delete w;
    }
};

QTEST_MAIN(TestDefectReport)
#include "tst_defectreport.moc"

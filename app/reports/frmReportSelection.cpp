#include "frmReportSelection.h"

#include "db.h"
#include "frmReportViewer.h"
#include "reportlayouts.h"
#include "helpers.h"
#include "krverror.h"
#include "modkrv.h"
#include "uihelpers.h"

#include <QComboBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>

namespace {

const QString kSource = QStringLiteral("frmReportSelection");
const QString kElementPerformance = QStringLiteral("Element Performance");

}  // namespace

frmReportSelection::frmReportSelection(QWidget* parent) : KrvForm<QDialog>(kSource, parent)
{
    setWindowTitle(QStringLiteral("Report Type Selection"));
    setFixedSize(TwipsToPixels(4800), TwipsToPixels(1900));
    Label1 = new QLabel(QStringLiteral("Select Type of Report to Print"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    PlaceTwips(Label1, 240, 180, 4200, 255);
    cboReports = new QComboBox(this);
    cboReports->setObjectName(QStringLiteral("cboReports"));
    cboReports->setPlaceholderText(QStringLiteral("Select Report Type"));
    PlaceTwips(cboReports, 240, 480, 4260, 315);
    cmdOk = new QPushButton(QStringLiteral("OK"), this);
    cmdOk->setObjectName(QStringLiteral("cmdOk"));
    cmdOk->setDefault(true);
    PlaceTwips(cmdOk, 1200, 1080, 1095, 375);
    cmdCancel = new QPushButton(QStringLiteral("Cancel"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    PlaceTwips(cmdCancel, 2520, 1080, 1095, 375);
    connect(cmdOk, &QPushButton::clicked, this, &frmReportSelection::cmdOk_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmReportSelection::cmdCancel_Click);
    connect(cboReports, &QComboBox::currentIndexChanged, this, &frmReportSelection::offerCurrent);
    Form_Load();
}

void frmReportSelection::Form_Load()
{
    try {
        cboReports->clear();
        const RowSet reports = gConn.query(QStringLiteral("SELECT ReportName FROM Reports GROUP BY ReportName"))
                                   .sortedByName(QStringLiteral("ReportName"));
        for (int i = 0; i < reports.count(); ++i)
            if (!reports.isNull(i, QStringLiteral("ReportName")))
                cboReports->addItem(reports.value(i, QStringLiteral("ReportName")).toString());
        const RowSet categories =
            gConn.query(QStringLiteral("SELECT EleCategoryName FROM ElementCategory"))
                .sortedByName(QStringLiteral("EleCategoryName"));
        for (int i = 0; i < categories.count(); ++i)
            if (!categories.isNull(i, QStringLiteral("EleCategoryName")))
                cboReports->addItem(categories.value(i, QStringLiteral("EleCategoryName")).toString().trimmed() +
                                    QStringLiteral(" Element Condition Evaluation"));
        if (cboReports->count() == 0)
            throw KrvError(380, QStringLiteral("Invalid property value"));
        cboReports->setCurrentIndex(0);
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error loading Report box"), kSource, e);
    }
    offerCurrent();
}

void frmReportSelection::offerCurrent()
{
    // The kinds built in the criteria window can be run once that window is part of the program.
    const QString kind = cboReports->currentText();
    cmdOk->setEnabled(!kind.isEmpty() &&
                      (kind == kElementPerformance || FormIsAvailable(QStringLiteral("frmReport"))));
}

void frmReportSelection::cmdOk_Click()
{
    hide();
    const QString kind = cboReports->currentText();
    if (kind == kElementPerformance) {
        // The report shows modal: this window may be closed meanwhile.
        const QPointer<frmReportSelection> self(this);
        try {
            CreateElePerfRep();
        } catch (const std::exception& e) {
            RestoreDefaultCursor();
            LogError(QStringLiteral("Error creating Tunnel Element Performance report in module BuildReport."), kSource,
                     e);
        }
        if (self)
            Unload();
        return;
    }
    try {
        OpenedForm report(QStringLiteral("frmReport"));
        CallFormMethod(report.get(), "GetFormType", {kind});
        report.done();
        Unload();
        if (auto* dialog = qobject_cast<QDialog*>(report.get()))
            dialog->exec();
        else
            report.get()->show();
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error loading Report screen"), kSource, e);
        Unload();
    }
}

void frmReportSelection::cmdCancel_Click()
{
    Unload();
}

void frmReportSelection::CreateElePerfRep()
{
    frmReportViewer::ClearReport();
    std::vector<PerfRecord> rows;
    {
        WaitCursor wait;
        rows = ReadPostedRatings();
        if (rows.empty())
            return;
        m_lists = ScanPerformance(rows);
    }
    if (!BuildReport())
        return;
    RestoreDefaultCursor();
    QPointer<frmReportViewer> viewer = ReportViewer();
    viewer->exec();
}

bool frmReportSelection::BuildReport()
{
    try {
        std::shared_ptr<Report> report = BuildElementPerformanceReport(m_lists);
        frmReportViewer* viewer = ReportViewer();
        // Its own kind, so a printer chosen for it never applies another report's adjustment.
        viewer->GetReportType(kElementPerformance);
        viewer->SetReport(std::move(report));
        return true;
    } catch (const std::exception& e) {
        RestoreDefaultCursor();
        LogError(QStringLiteral("Error creating Tunnel Element Performance report in module BuildReport."), kSource, e);
        return false;
    }
}

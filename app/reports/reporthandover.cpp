#include "frmReportViewer.h"
#include "reportlayouts.h"

frmReportViewer* ReportViewer()
{
    for (QWidget* w : LoadedForms())
        if (auto* v = qobject_cast<frmReportViewer*>(w))
            return v;
    return new frmReportViewer;
}

void HandReportToViewer(const std::shared_ptr<Report>& report)
{
    ReportViewer()->SetReport(report);
}

void ShowReportModal(const std::shared_ptr<Report>& report, const QString& kind)
{
    frmReportViewer* viewer = ReportViewer();
    viewer->GetReportType(kind);
    if (viewer->SetReport(report))  // a count the user cancelled shows nothing
        viewer->exec();
}

#include "forms.h"
#include "reportlayouts.h"

void HandReportToViewer(const std::shared_ptr<Report>&) { throw FormNotInProgram(QStringLiteral("frmReportViewer")); }
void ShowReportModal(const std::shared_ptr<Report>&, const QString&)
{
    throw FormNotInProgram(QStringLiteral("frmReportViewer"));
}

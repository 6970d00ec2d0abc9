#include "reportsforms.h"

#include "forms.h"
#include "frmPrintKeyplan.h"
#include "frmPrintPreview.h"
#include "frmReportSelection.h"
#include "frmReportViewer.h"

void RegisterReportsForms()
{
    RegisterFormFactory(QStringLiteral("frmPrintKeyplan"), [] { return new frmPrintKeyplan; });
    RegisterFormFactory(QStringLiteral("frmPrintPreview"), [] { return new frmPrintPreview; });
    RegisterFormFactory(QStringLiteral("frmReportSelection"), [] { return new frmReportSelection; });
    RegisterFormFactory(QStringLiteral("frmReportViewer"), [] { return new frmReportViewer; });
}

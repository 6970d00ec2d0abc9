#include "reportsforms.h"

#include "forms.h"
#include "frmPrintKeyplan.h"
#include "frmReport.h"
#include "frmPrintPreview.h"
#include "frmReportSelection.h"
#include "frmReportViewer.h"

void RegisterReportsForms()
{
    RegisterFormFactory(QStringLiteral("frmPrintKeyplan"), [] { return new frmPrintKeyplan; });
    RegisterFormFactory(QStringLiteral("frmPrintPreview"), [] { return new frmPrintPreview; });
    RegisterFormFactory(QStringLiteral("frmReport"), [] { return new frmReport; });
    RegisterFormFactory(QStringLiteral("frmReportSelection"), [] { return new frmReportSelection; });
    RegisterFormFactory(QStringLiteral("frmReportViewer"), [] { return new frmReportViewer; });
}

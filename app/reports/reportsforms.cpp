#include "reportsforms.h"

#include "forms.h"
#include "frmPrintKeyplan.h"
#include "frmPrintPreview.h"

void RegisterReportsForms()
{
    RegisterFormFactory(QStringLiteral("frmPrintKeyplan"), [] { return new frmPrintKeyplan; });
    RegisterFormFactory(QStringLiteral("frmPrintPreview"), [] { return new frmPrintPreview; });
}

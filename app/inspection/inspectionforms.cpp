#include "inspectionforms.h"

#include "forms.h"
#include "frmInspectionPd.h"
#include "frmPost.h"

void RegisterInspectionForms()
{
    RegisterFormFactory(QStringLiteral("frmInspectionPd"), [] { return new frmInspectionPd; });
    RegisterFormFactory(QStringLiteral("frmPost"), [] { return new frmPost; });
}

#include "inspectionforms.h"

#include "forms.h"
#include "frmDataInput.h"
#include "frmInspectionPd.h"
#include "frmPost.h"

void RegisterInspectionForms()
{
    RegisterFormFactory(QStringLiteral("frmDataInput"), [] { return new frmDataInput; });
    RegisterFormFactory(QStringLiteral("frmInspectionPd"), [] { return new frmInspectionPd; });
    RegisterFormFactory(QStringLiteral("frmPost"), [] { return new frmPost; });
}

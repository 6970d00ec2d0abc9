#include "inspectionforms.h"

#include "forms.h"
#include "frmDataInput.h"

void RegisterInspectionForms()
{
    RegisterFormFactory(QStringLiteral("frmDataInput"), [] { return new frmDataInput; });
}

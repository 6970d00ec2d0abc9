#include "inventoryforms.h"

#include "forms.h"
#include "frmEleDef.h"
#include "frmSystem.h"
#include "frmViewSystem.h"

void RegisterInventoryForms()
{
    RegisterFormFactory(QStringLiteral("frmSystem"), [] { return new frmSystem; });
    RegisterFormFactory(QStringLiteral("frmViewSystem"), [] { return new frmViewSystem; });
    RegisterFormFactory(QStringLiteral("frmEleDef"), [] { return new frmEleDef; });
}

#include "inventoryforms.h"

#include "forms.h"
#include "frmOpenSysMap.h"
#include "frmSystem.h"
#include "frmViewSystem.h"

void RegisterInventoryForms()
{
    RegisterFormFactory(QStringLiteral("frmSystem"), [] { return new frmSystem; });
    RegisterFormFactory(QStringLiteral("frmViewSystem"), [] { return new frmViewSystem; });
    RegisterFormFactory(QStringLiteral("frmOpenSysMap"), [] { return new frmOpenSysMap; });
}

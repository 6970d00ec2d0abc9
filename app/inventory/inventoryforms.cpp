#include "inventoryforms.h"

#include "forms.h"
#include "frmEleDef.h"
#include "frmPanelElements.h"
#include "frmSystem.h"
#include "frmTunnelSpecs.h"
#include "frmViewSystem.h"

void RegisterInventoryForms()
{
    RegisterFormFactory(QStringLiteral("frmSystem"), [] { return new frmSystem; });
    RegisterFormFactory(QStringLiteral("frmViewSystem"), [] { return new frmViewSystem; });
    RegisterFormFactory(QStringLiteral("frmEleDef"), [] { return new frmEleDef; });
    RegisterFormFactory(QStringLiteral("frmTunnelSpecs"), [] { return new frmTunnelSpecs; });
    RegisterFormFactory(QStringLiteral("frmPanelElements"), [] { return new frmPanelElements; });
}

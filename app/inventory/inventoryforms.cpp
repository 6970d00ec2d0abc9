#include "inventoryforms.h"

#include "forms.h"
#include "frmDataTabs.h"
#include "frmEleDef.h"
#include "frmOpenSysMap.h"
#include "frmPanelElements.h"
#include "frmSystem.h"
#include "frmTunnelSpecs.h"
#include "frmViewSystem.h"

void RegisterInventoryForms()
{
    // One set-up window: a second request while it is open gets the same window.
    RegisterFormFactory(QStringLiteral("frmSystem"), []() -> QWidget* {
        for (QWidget* w : LoadedForms())
            if (auto* setup = qobject_cast<frmSystem*>(w))
                return setup;
        return new frmSystem;
    });
    RegisterFormFactory(QStringLiteral("frmViewSystem"), [] { return new frmViewSystem; });
    RegisterFormFactory(QStringLiteral("frmOpenSysMap"), [] { return new frmOpenSysMap; });
    RegisterFormFactory(QStringLiteral("frmEleDef"), [] { return new frmEleDef; });
    // One data tab editor while it is loaded.
    RegisterFormFactory(QStringLiteral("frmDataTabs"), [] { return frmDataTabs::Instance(); });
    RegisterFormFactory(QStringLiteral("frmTunnelSpecs"), [] { return new frmTunnelSpecs; });
    RegisterFormFactory(QStringLiteral("frmPanelElements"), [] { return new frmPanelElements; });
}

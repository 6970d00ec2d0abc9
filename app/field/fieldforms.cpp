#include "fieldforms.h"

#include "forms.h"
#include "frmCreateReplica.h"
#include "frmSyncData.h"
#include "frmSyncFS.h"

void RegisterFieldForms()
{
    RegisterFormFactory(QStringLiteral("frmCreateReplica"), [] { return new frmCreateReplica; });
    RegisterFormFactory(QStringLiteral("frmSyncFS"), [] { return new frmSyncFS; });
    RegisterFormFactory(QStringLiteral("frmSyncData"), [] { return new frmSyncData; });
}

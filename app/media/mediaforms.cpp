#include "mediaforms.h"

#include "forms.h"
#include "frmImages.h"

void RegisterMediaForms()
{
    // A new viewer for each use; several may be open at once.
    RegisterFormFactory(QStringLiteral("frmImages"), [] { return new frmImages; });
}

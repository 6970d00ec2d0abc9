#include "mediaforms.h"

#include "forms.h"
#include "frmImages.h"
#include "frmImgInput.h"

void RegisterMediaForms()
{
    // A new viewer for each use; several may be open at once.
    RegisterFormFactory(QStringLiteral("frmImages"), [] { return new frmImages; });
    // The callers look for an open one first.
    RegisterFormFactory(QStringLiteral("frmImgInput"), [] { return new frmImgInput; });
}

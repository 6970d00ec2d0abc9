#include "mediaforms.h"

#include "forms.h"
#include "frmImages.h"
#include "frmImgInput.h"
#include "frmMultImg.h"
#include "frmVideo.h"
#include "frmVideoView.h"

void RegisterMediaForms()
{
    // A new viewer for each use; several may be open at once.
    RegisterFormFactory(QStringLiteral("frmImages"), [] { return new frmImages; });
    // One at a time: the callers look for an open one first.
    RegisterFormFactory(QStringLiteral("frmImgInput"), [] { return new frmImgInput; });
    RegisterFormFactory(QStringLiteral("frmMultImg"), [] { return new frmMultImg; });
    RegisterFormFactory(QStringLiteral("frmVideo"), [] { return new frmVideo; });
    RegisterFormFactory(QStringLiteral("frmVideoView"), [] { return new frmVideoView; });
}

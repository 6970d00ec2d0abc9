#include "mediaforms.h"

#include "forms.h"
#include "frmVideo.h"
#include "frmVideoView.h"

void RegisterMediaForms()
{
    RegisterFormFactory(QStringLiteral("frmVideo"), [] { return new frmVideo; });
    RegisterFormFactory(QStringLiteral("frmVideoView"), [] { return new frmVideoView; });
}

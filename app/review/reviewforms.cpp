#include "reviewforms.h"

#include "forms.h"
#include "frmDataView.h"

void RegisterReviewForms()
{
    RegisterFormFactory(QStringLiteral("frmDataView"), [] { return frmDataView::Instance(); });
}

#include "reviewforms.h"

#include "forms.h"
#include "frmDataView.h"
#include "frmExpense.h"
#include "frmIPdialog.h"

void RegisterReviewForms()
{
    // One review window however it is opened.
    RegisterFormFactory(QStringLiteral("frmDataView"), [] { return frmDataView::Instance(); });
    RegisterFormFactory(QStringLiteral("frmIPdialog"), [] { return new frmIPdialog; });
    RegisterFormFactory(QStringLiteral("frmExpense"), [] { return new frmExpense; });
}

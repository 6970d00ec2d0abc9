#include "reviewforms.h"

#include "forms.h"
#include "frmExpense.h"
#include "frmIPdialog.h"

void RegisterReviewForms()
{
    RegisterFormFactory(QStringLiteral("frmIPdialog"), [] { return new frmIPdialog; });
    RegisterFormFactory(QStringLiteral("frmExpense"), [] { return new frmExpense; });
}

#include "frmIPdialog_call.h"

#include "forms.h"
#include "krverror.h"

#include <QWidget>

QWidget* LoadedOrNewForm(const QString& formName)
{
    for (QWidget* w : LoadedForms())
        if (w->objectName().compare(formName, Qt::CaseInsensitive) == 0)
            return w;
    return CreateForm(formName);
}

#include "frmDataInputCalls.h"

#include "forms.h"
#include "krverror.h"

#include <QWidget>

QWidget* DataInputOpenForm(const QString& formName, bool singleInstance, bool* created)
{
    if (created)
        *created = false;
    if (singleInstance)
        for (QWidget* w : LoadedForms())
            if (w->objectName().compare(formName, Qt::CaseInsensitive) == 0)
                return w;
    QWidget* w = CreateForm(formName);
    if (!w)
        throw FormNotInProgram(formName);
    if (created)
        *created = true;
    return w;
}

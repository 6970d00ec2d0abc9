#include "frmIPdialog_call.h"

#include "forms.h"
#include "krverror.h"

#include <QDialog>
#include <QEvent>
#include <QEventLoop>
#include <QPointer>
#include <QWidget>

QWidget* LoadedOrNewForm(const QString& formName)
{
    for (QWidget* w : LoadedForms())
        if (w->objectName().compare(formName, Qt::CaseInsensitive) == 0)
            return w;
    return CreateForm(formName);
}

namespace {
// Ends a modal wait when the window hides without unloading.
class HideWatcher : public QObject {
public:
    explicit HideWatcher(QEventLoop* loop) : m_loop(loop) {}
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Hide)
            m_loop->quit();
        return false;
    }

private:
    QEventLoop* m_loop;
};
}  // namespace

void ShowFormModal(QWidget* form)
{
    if (auto* dialog = qobject_cast<QDialog*>(form)) {
        dialog->exec();
        return;
    }
    // A plain window: modal until it closes (the program's windows delete themselves then).
    QPointer<QWidget> guard(form);
    QEventLoop loop;
    HideWatcher watcher(&loop);
    QObject::connect(form, &QObject::destroyed, &loop, &QEventLoop::quit);
    form->setWindowModality(Qt::ApplicationModal);
    form->show();
    if (!guard || !guard->isVisible())
        return;
    form->installEventFilter(&watcher);
    loop.exec();
    if (guard)
        guard->removeEventFilter(&watcher);
}

#include "frmIPdialog_call.h"

#include "forms.h"
#include "krverror.h"

#include <QDialog>
#include <QEvent>
#include <QEventLoop>
#include <QMetaMethod>
#include <QPointer>
#include <QWidget>
#include <array>

QWidget* LoadedOrNewForm(const QString& formName)
{
    for (QWidget* w : LoadedForms())
        if (w->objectName().compare(formName, Qt::CaseInsensitive) == 0)
            return w;
    return CreateForm(formName);
}

void CallFormMethod(QObject* target, const char* method, const QVariantList& args)
{
    const QMetaObject* mo = target->metaObject();
    for (int i = mo->methodCount() - 1; i >= 0; --i) {
        const QMetaMethod m = mo->method(i);
        if (m.name() != method || m.parameterCount() != args.size() || args.size() > 10)
            continue;
        const QByteArrayList types = m.parameterTypes();
        QVariantList values = args;
        std::array<QGenericArgument, 10> a;
        for (int k = 0; k < values.size(); ++k) {
            QByteArray base = types[k];
            if (base.endsWith('&'))
                base.chop(1);
            const QMetaType type = QMetaType::fromName(base);
            if (!type.isValid() || !values[k].convert(type))
                throw KrvError(13, QStringLiteral("Type mismatch: %1.%2 takes %3.")
                                       .arg(QString::fromLatin1(mo->className()), QString::fromLatin1(method),
                                            QString::fromLatin1(types[k])));
            a[k] = QGenericArgument(types[k].constData(), values[k].data());
        }
        if (!QMetaObject::invokeMethod(target, method, Qt::DirectConnection, a[0], a[1], a[2], a[3], a[4], a[5],
                                       a[6], a[7], a[8], a[9]))
            break;
        return;
    }
    throw KrvError(438, QStringLiteral("The window %1 has no %2 with %3 arguments.")
                            .arg(target->objectName(), QString::fromLatin1(method))
                            .arg(args.size()));
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

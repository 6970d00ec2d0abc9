#include "forms.h"

#include "helpers.h"
#include "krverror.h"

#include <QCoreApplication>
#include <QDialog>
#include <QEvent>
#include <QEventLoop>
#include <QHash>
#include <QMetaMethod>
#include <QScopeGuard>
#include <QTimer>
#include <array>

namespace {
QList<QPointer<QWidget>>& registry()
{
    static QList<QPointer<QWidget>> forms;
    return forms;
}
QHash<QString, FormFactory>& factories()
{
    static QHash<QString, FormFactory> f;
    return f;
}
bool gEndWhenLastUnloads = false;
bool gEnding = false;
}  // namespace

void RegisterForm(QWidget* form)
{
    if (!form || registry().contains(form))
        return;
    registry().append(form);
    QObject::connect(form, &QObject::destroyed, [form] {
        // A window freed without closing leaves the list too.
        registry().removeAll(QPointer<QWidget>());
        for (int i = registry().size() - 1; i >= 0; --i)
            if (registry()[i].data() == form)
                registry().removeAt(i);
    });
}

void UnregisterForm(QWidget* form)
{
    auto& forms = registry();
    const qsizetype before = forms.size();
    for (int i = forms.size() - 1; i >= 0; --i)
        if (forms[i].isNull() || forms[i].data() == form)
            forms.removeAt(i);
    if (before > 0 && forms.isEmpty() && gEndWhenLastUnloads && QCoreApplication::instance()) {
        // Checked once the unloading handler has finished: a window that unloads itself
        // and then opens another (System Definition, Close Wizard) keeps the program running.
        QTimer::singleShot(0, QCoreApplication::instance(), [] {
            if (gEndWhenLastUnloads && LoadedForms().isEmpty())
                QCoreApplication::exit(0);
        });
    }
}

QList<QWidget*> LoadedForms()
{
    QList<QWidget*> out;
    for (const auto& f : registry())
        if (f)
            out << f.data();
    return out;
}

bool FormIsOpen(const QString& caption, bool bringToFront)
{
    for (QWidget* w : LoadedForms()) {
        if (w->windowTitle() != caption)
            continue;
        if (bringToFront && w->isVisible()) {
            w->raise();
            w->activateWindow();
        }
        return true;
    }
    return false;
}

bool IsFormLoaded(const QString& formName)
{
    const QString name = formName.toLower();
    for (QWidget* w : LoadedForms())
        if (w->objectName().toLower() == name)
            return true;
    return false;
}

bool UnloadForm(QWidget* form)
{
    if (!form)
        return true;
    QPointer<QWidget> guard(form);
    const bool closed = form->close();
    if (closed && guard)
        UnregisterForm(form);  // windows not derived from KrvForm
    return closed;
}

void UnloadFormByName(const QString& formName)
{
    // Walk a snapshot: unloading changes the list.
    const QString name = formName.toLower();
    QList<QPointer<QWidget>> snapshot;
    for (QWidget* w : LoadedForms())
        if (w->objectName().toLower() == name)
            snapshot << w;
    for (const auto& w : snapshot) {
        // One window's unload handling may have unloaded another of the snapshot; that one
        // waits for deletion and must not run its unload handling again.
        if (w && LoadedForms().contains(w.data()))
            UnloadForm(w);
    }
}

void SetEndWhenLastFormUnloads(bool on) { gEndWhenLastUnloads = on; }

MsgAnswer AskToSaveEdit(const QString& what)
{
    return MsgBox(QStringLiteral("The ") + what + QStringLiteral(" have not been saved.\r\nSave them now?"),
                  MsgButtons::YesNoCancel, MsgIcon::Question, kSaveEditTitle);
}

void EndProgram()
{
    gEnding = true;
    // Close what is loaded without running unload handling.
    const QList<QWidget*> forms = LoadedForms();
    for (QWidget* w : forms) {
        w->hide();
        UnregisterForm(w);
        w->deleteLater();
    }
    QCoreApplication::exit(0);
}

bool ProgramEnding() { return gEnding; }

void ResetProgramEnding() { gEnding = false; }

void RegisterFormFactory(const QString& formName, FormFactory factory)
{
    factories().insert(formName.toLower(), std::move(factory));
}

QWidget* CreateForm(const QString& formName)
{
    const auto it = factories().constFind(formName.toLower());
    if (it == factories().constEnd() || !*it)
        return nullptr;
    return (*it)();
}

bool FormIsAvailable(const QString& formName)
{
    const auto it = factories().constFind(formName.toLower());
    return it != factories().constEnd() && *it;
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
    form->raise();
    form->activateWindow();
    if (!guard || !guard->isVisible())
        return;
    form->installEventFilter(&watcher);
    loop.exec();
    if (guard)
        guard->removeEventFilter(&watcher);
}

namespace {

// Whether a value may go to a parameter of that type in the first, stricter pass: the same
// type, or one integer type for another (never a Boolean for a number).
bool takesAsIs(const QVariant& value, const QMetaType& type)
{
    if (value.metaType() == type)
        return true;
    auto isInteger = [](int id) {
        switch (id) {
        case QMetaType::Int: case QMetaType::UInt: case QMetaType::Short: case QMetaType::UShort:
        case QMetaType::Long: case QMetaType::ULong: case QMetaType::LongLong: case QMetaType::ULongLong:
        case QMetaType::Char: case QMetaType::SChar: case QMetaType::UChar:
            return true;
        default:
            return false;
        }
    };
    return isInteger(value.metaType().id()) && isInteger(type.id());
}

}  // namespace

KrvError FormNotInProgram(const QString& formName)
{
    return KrvError(-1, QStringLiteral("The window %1 is not part of this program.").arg(formName));
}

void CallFormMethod(QObject* target, const char* method, const QVariantList& args)
{
    if (!target)
        throw KrvError(91, QStringLiteral("Object variable not set."));
    const QMetaObject* mo = target->metaObject();
    QString mismatch;
    for (int pass = 0; pass < 2; ++pass) {
        for (int i = mo->methodCount() - 1; i >= 0; --i) {
            const QMetaMethod m = mo->method(i);
            if (m.name() != method || m.parameterCount() != args.size() || args.size() > 10)
                continue;
            const QByteArrayList types = m.parameterTypes();
            QVariantList values = args;
            std::array<QObject*, 10> objects{};
            std::array<QGenericArgument, 10> a;
            bool fits = true;
            for (int k = 0; k < values.size() && fits; ++k) {
                QByteArray base = types[k];
                if (base.endsWith('&'))
                    base.chop(1);
                if (base.endsWith('*')) {
                    fits = values[k].metaType().flags().testFlag(QMetaType::PointerToQObject);
                    objects[k] = fits ? values[k].value<QObject*>() : nullptr;
                    a[k] = QGenericArgument(types[k].constData(), &objects[k]);
                    continue;
                }
                const QMetaType type = QMetaType::fromName(base);
                fits = type.isValid() && (pass == 1 || takesAsIs(values[k], type)) && values[k].convert(type);
                a[k] = QGenericArgument(types[k].constData(), values[k].data());
            }
            if (!fits) {
                mismatch = QString::fromLatin1(m.methodSignature());
                continue;
            }
            if (QMetaObject::invokeMethod(target, method, Qt::DirectConnection, a[0], a[1], a[2], a[3], a[4], a[5],
                                          a[6], a[7], a[8], a[9]))
                return;
        }
    }
    if (!mismatch.isEmpty())
        throw KrvError(13, QStringLiteral("Type mismatch: %1.%2.").arg(QString::fromLatin1(mo->className()), mismatch));
    throw KrvError(438, QStringLiteral("The window %1 has no %2 with %3.")
                            .arg(target->objectName(), QString::fromLatin1(method),
                                 CountText(args.size(), QStringLiteral("argument"))));
}

namespace {
const char* const kTunnelProperty = "krvTunnelID";
}

void SetFormTunnel(QWidget* form, qint32 tunnelId)
{
    if (form)
        form->setProperty(kTunnelProperty, tunnelId);
}

namespace {
bool gDroppingEdits = false;
}

bool DroppingEdits() { return gDroppingEdits; }

void NotifyTunnelRemoved(qint32 tunnelId)
{
    const bool before = gDroppingEdits;
    gDroppingEdits = true;
    const auto restore = qScopeGuard([before] { gDroppingEdits = before; });
    QList<QPointer<QWidget>> forms;
    for (QWidget* w : LoadedForms())
        forms << w;
    for (const QPointer<QWidget>& w : std::as_const(forms)) {
        // An earlier unload may have taken this one with it.
        if (!w || !LoadedForms().contains(w))
            continue;
        const QVariant shown = w->property(kTunnelProperty);
        if (shown.isValid() && shown.toInt() == tunnelId)
            UnloadForm(w);
    }
    for (const QPointer<QWidget>& w : std::as_const(forms))
        if (w && LoadedForms().contains(w) && w->metaObject()->indexOfMethod("TunnelRemoved(qint32)") >= 0)
            QMetaObject::invokeMethod(w, "TunnelRemoved", Q_ARG(qint32, tunnelId));
}

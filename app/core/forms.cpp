#include "forms.h"

#include <QCoreApplication>
#include <QHash>
#include <QTimer>

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

bool IsFormRegistered(const QString& formName)
{
    const auto it = factories().constFind(formName.toLower());
    return it != factories().constEnd() && *it;
}

QWidget* CreateForm(const QString& formName)
{
    const auto it = factories().constFind(formName.toLower());
    if (it == factories().constEnd() || !*it)
        return nullptr;
    return (*it)();
}

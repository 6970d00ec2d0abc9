#pragma once
#include "krverror.h"
#include "nestedloops.h"

#include "prompt.h"

#include <QCloseEvent>
#include <QDialog>
#include <QKeyEvent>
#include <QPushButton>
#include <QList>
#include <QPointer>
#include <QString>
#include <QVariant>
#include <QWidget>
#include <functional>
#include <type_traits>

// The program's loaded windows, in load order. A window is loaded from its construction
// until it unloads (closes for good), whether shown or hidden. Its objectName is the
// window's name (frmSystem), which is also its placement key.

void RegisterForm(QWidget* form);
void UnregisterForm(QWidget* form);
QList<QWidget*> LoadedForms();

// True when a loaded window has this caption exactly; brings it to the front when asked
// and it is visible.
bool FormIsOpen(const QString& caption, bool bringToFront);
// True when a loaded window has this name, case ignored.
bool IsFormLoaded(const QString& formName);
// Unloads every loaded window of this name, case ignored, each with its own unload handling.
void UnloadFormByName(const QString& formName);
// Unloads one window; false when it refused.
bool UnloadForm(QWidget* form);

// Windows whose data belong to one tunnel (panel set-up, rating entry, review, media) say
// which when they load. After a tunnel was removed, NotifyTunnelRemoved unloads them and
// has every other loaded window with a TunnelRemoved(qint32) method drop the tunnel from
// what it shows, so no window writes rows for a tunnel that is gone.
// An edit in progress in such a window is dropped without a question: its rows would
// belong to nothing.
void SetFormTunnel(QWidget* form, qint32 tunnelId);
void NotifyTunnelRemoved(qint32 tunnelId);
// True while windows unload because their data are gone: no edit is settled then.
bool DroppingEdits();

// When set (the program sets it), the program ends as its last window unloads.
void SetEndWhenLastFormUnloads(bool on);

// Ends the program at once: no further window opens and no unload handling runs.
void EndProgram();
bool ProgramEnding();
void ResetProgramEnding();  // tests

// Windows that others open by name, registered by the library that holds them, so a
// lower library can open a higher one's window (the set-up window's "Close" opens
// frmViewSystem, and so on).
using FormFactory = std::function<QWidget*()>;
void RegisterFormFactory(const QString& formName, FormFactory factory);
// A new instance of a registered window, or nullptr when none is registered.
QWidget* CreateForm(const QString& formName);
// Calls a public (Q_INVOKABLE) method of a window of another library by name. The first
// overload that takes the values as they are wins, else the first they convert to (each
// value converted to the declared type; a window passed for a pointer parameter goes as
// itself). Raises KrvError 91 for no window, 13 when no overload takes the values, 438
// when the window has no such method.
void CallFormMethod(QObject* target, const char* method, const QVariantList& args);
// The error for a window that is not part of the program (yet).
KrvError FormNotInProgram(const QString& formName);

// A window of another library for one command: the loaded instance of a single-instance
// window, or a new one. A new instance that the command leaves hidden after a failure is
// unloaded again, so no invisible window keeps the program running. Raises
// FormNotInProgram when there is no such window.
class OpenedForm {
public:
    explicit OpenedForm(const QString& formName, bool singleInstance = true)
    {
        if (singleInstance)
            for (QWidget* w : LoadedForms())
                if (w->objectName().compare(formName, Qt::CaseInsensitive) == 0) {
                    m_form = w;
                    return;
                }
        m_form = CreateForm(formName);
        if (!m_form)
            throw FormNotInProgram(formName);
        m_created = true;
    }
    ~OpenedForm()
    {
        if (m_created && !m_done && m_form && !m_form->isVisible())
            UnloadForm(m_form);
    }
    OpenedForm(const OpenedForm&) = delete;
    OpenedForm& operator=(const OpenedForm&) = delete;

    QWidget* get() const
    {
        if (!m_form)
            throw KrvError(-1, QStringLiteral("The window was unloaded."));
        return m_form;
    }
    void done() { m_done = true; }

private:
    QPointer<QWidget> m_form;
    bool m_created = false;
    bool m_done = false;
};

// True when CreateForm would make the window: a command that opens it can be offered.
bool FormIsAvailable(const QString& formName);

// Shows a window modal and returns when it is closed: a dialog runs its own exec(), any other
// window waits until it hides or is deleted.
void ShowFormModal(QWidget* form);

// The question about an edit in progress before its window closes or shows other data:
// "The <what> have not been saved. Save them now?" with Yes, No and Cancel.
MsgAnswer AskToSaveEdit(const QString& what);
inline const QString kSaveEditTitle = QStringLiteral("Save Data");

// Base of the program's windows: registers itself, and unloads through QueryUnload and
// FormUnload when it closes. Base is QWidget, QDialog or QMainWindow.
//
// A window with an edit in progress settles it before it closes by any means (its own
// Close, the title bar, Alt+F4, Esc of a dialog, an unload through the registry):
// SettleEditBeforeClose asks and saves or drops it, or keeps the window open.
template <class Base>
class KrvForm : public Base {
public:
    explicit KrvForm(const QString& formName, QWidget* parent = nullptr) : Base(parent)
    {
        this->setObjectName(formName);
        this->setAttribute(Qt::WA_DeleteOnClose);
        RegisterForm(this);
    }
    ~KrvForm() override { UnregisterForm(this); }

    // Unloads this window: runs QueryUnload (which may refuse) and FormUnload, then frees it.
    bool Unload() { return this->close(); }

    // Dialog windows: Esc closes them as the title bar does, with the same question.
    // (Other windows have no reject; this one does nothing for them.)
    void reject()
    {
        if constexpr (std::is_base_of_v<QDialog, Base>) {
            if (!ProgramEnding() && !DroppingEdits() && !SettleEditBeforeClose())
                return;
            m_settled = true;
            Base::reject();
            m_settled = false;
        }
    }

protected:
    // False refuses the unload.
    virtual bool QueryUnload() { return true; }
    virtual void FormUnload() {}
    // An edit in progress is saved or dropped as the user answers (AskToSaveEdit or the
    // window's own question); false keeps the window open (Cancel, or a save that failed).
    virtual bool SettleEditBeforeClose() { return true; }

    void closeEvent(QCloseEvent* event) override
    {
        if (!ProgramEnding()) {
            if ((!m_settled && !DroppingEdits() && !SettleEditBeforeClose()) || !QueryUnload()) {
                event->ignore();
                return;
            }
            FormUnload();
        }
        event->accept();
        UnregisterForm(this);
    }

    // Enter presses the focused command button, in a window as in a dialog. A button that
    // is no dialog's auto-default passes Return on unhandled, and it ends up here.
    void keyPressEvent(QKeyEvent* event) override
    {
        const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
        const auto modifiers = event->modifiers() & ~Qt::KeypadModifier;
        if (enter && modifiers == Qt::NoModifier) {
            auto* button = qobject_cast<QPushButton*>(this->focusWidget());
            if (button && button->window() == this && button->isEnabled() && button->isVisible()) {
                event->accept();
                button->click();
                return;
            }
        }
        Base::keyPressEvent(event);
    }

private:
    bool m_settled = false;  // the question was asked already on this way out
};

#pragma once
// Drives the program's modal windows from tests: each step waits until its window is
// shown, then acts on it from a fresh timer call, so a step may open another modal window
// whose own step then runs. A watchdog closes whatever is left open, so no test blocks.
#include "forms.h"

#include <QApplication>
#include <QDialog>
#include <QQueue>
#include <QTimer>
#include <functional>

class WindowScript : public QObject {
public:
    explicit WindowScript(int watchdogMs = 20000)
    {
        m_poll.setInterval(2);
        connect(&m_poll, &QTimer::timeout, this, &WindowScript::poll);
        m_watchdog.setSingleShot(true);
        m_watchdog.setInterval(watchdogMs);
        connect(&m_watchdog, &QTimer::timeout, this, &WindowScript::giveUp);
    }

    // Runs act on the next shown window of that name.
    WindowScript& when(const QString& formName, std::function<void(QWidget*)> act)
    {
        m_steps.enqueue({formName, std::move(act)});
        if (!m_poll.isActive()) {
            m_poll.start();
            m_watchdog.start();
        }
        return *this;
    }

    bool done() const { return m_steps.isEmpty(); }
    bool timedOut() const { return m_timedOut; }
    QStringList shownModal() const { return m_shownModal; }

private:
    struct Step {
        QString name;
        std::function<void(QWidget*)> act;
    };

    void poll()
    {
        if (m_steps.isEmpty()) {
            m_poll.stop();
            m_watchdog.stop();
            return;
        }
        for (QWidget* w : LoadedForms()) {
            if (w->objectName() != m_steps.head().name || !w->isVisible() || m_acted.contains(w))
                continue;
            m_acted << w;
            if (w->isModal())
                m_shownModal << w->objectName();
            Step step = m_steps.dequeue();
            QPointer<QWidget> target(w);
            QTimer::singleShot(0, w, [step, target] {
                if (target)
                    step.act(target);
            });
            return;
        }
    }

    void giveUp()
    {
        m_timedOut = true;
        m_steps.clear();
        m_poll.stop();
        for (QWidget* w : LoadedForms())
            if (auto* d = qobject_cast<QDialog*>(w); d && d->isVisible())
                UnloadForm(d);
    }

    QTimer m_poll;
    QTimer m_watchdog;
    QQueue<Step> m_steps;
    QList<QPointer<QWidget>> m_acted;
    QStringList m_shownModal;
    bool m_timedOut = false;
};

// EndProgram asks the event loop to quit; with no main loop running (as in a test) that
// request would stay pending and end every later modal loop at once. Runs it off.
inline void ClearPendingQuit()
{
    QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); });
    QCoreApplication::exec();
}

// The names of the loaded windows, in load order.
inline QStringList LoadedFormNames()
{
    QStringList names;
    for (QWidget* w : LoadedForms())
        names << w->objectName();
    return names;
}

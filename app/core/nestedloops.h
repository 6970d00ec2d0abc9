#pragma once
#include <QObject>
#include <QPointer>

// A window that runs a nested event loop (a dialog's exec(), processEvents()) may be closed
// and deleted meanwhile (a session end, any code that closes windows). Runs the loop and
// says whether the window still exists, so it goes on only then:
//     if (!OutlivesLoop(this, [&] { dialog->exec(); })) return;
template <class Loop>
bool OutlivesLoop(QObject* window, Loop&& loop)
{
    const QPointer<QObject> guard(window);
    loop();
    return !guard.isNull();
}

// Work that keeps the program painted with processEvents() while the window it runs for (or
// the objects that window owns) must stay: while one of these lives, no widget is deleted by
// deleteLater() (a window closing, a session end); each deletion asked for meanwhile is asked
// again from the event loop once the last one goes, and happens as a deleteLater() made there.
class WidgetDeletionsHeld {
public:
    WidgetDeletionsHeld();
    ~WidgetDeletionsHeld();
    WidgetDeletionsHeld(const WidgetDeletionsHeld&) = delete;
    WidgetDeletionsHeld& operator=(const WidgetDeletionsHeld&) = delete;

private:
    bool m_active = false;
};

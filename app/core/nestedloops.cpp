#include "nestedloops.h"

#include <QCoreApplication>
#include <QEvent>
#include <QList>
#include <QTimer>
#include <utility>

namespace {

// Takes the deferred deletions of widgets while held.
class DeletionHolder final : public QObject {
public:
    int depth = 0;
    QList<QPointer<QObject>> asked;

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::DeferredDelete || !watched->isWidgetType())
            return false;
        if (!asked.contains(watched))
            asked << watched;
        return true;
    }

    // Asked again from the event loop, once it has run: a deletion asked for again at once
    // would be dropped by Qt as a repeat of the one taken.
    void askAgainSoon()
    {
        if (asked.isEmpty())
            return;
        QTimer::singleShot(0, this, [this] {
            if (depth > 0)
                return;  // held again: the next release asks
            const QList<QPointer<QObject>> again = std::exchange(asked, {});
            for (const QPointer<QObject>& object : again)
                if (object)
                    object->deleteLater();
        });
    }
};

DeletionHolder& holder()
{
    // Never freed: it may be needed until the application object is gone.
    static auto* h = new DeletionHolder;
    return *h;
}

}  // namespace

WidgetDeletionsHeld::WidgetDeletionsHeld()
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app)
        return;
    m_active = true;
    if (holder().depth++ == 0)
        app->installEventFilter(&holder());
}

WidgetDeletionsHeld::~WidgetDeletionsHeld()
{
    if (!m_active || --holder().depth > 0)
        return;
    if (QCoreApplication* app = QCoreApplication::instance())
        app->removeEventFilter(&holder());
    holder().askAgainSoon();
}

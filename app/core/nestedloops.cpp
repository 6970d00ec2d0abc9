#include "nestedloops.h"

#include <QCoreApplication>
#include <QEvent>
#include <QList>
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
    const QList<QPointer<QObject>> asked = std::exchange(holder().asked, {});
    for (const QPointer<QObject>& object : asked)
        if (object)
            object->deleteLater();
}

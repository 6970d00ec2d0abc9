#pragma once
// Watches for the widget layer's "database in use, waiting" window while a test's write
// waits: when it showed, what it said, whether it blocked the other windows, and, when
// asked, presses its Cancel.
#include "dbwait.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

class DbWaitWatch : public QObject {
public:
    explicit DbWaitWatch(bool pressCancel) : m_cancel(pressCancel)
    {
        m_clock.start();
        m_poll.setInterval(10);
        connect(&m_poll, &QTimer::timeout, this, &DbWaitWatch::poll);
        m_poll.start();
    }

    qint64 shownAtMs = -1;  // -1: never shown
    QString text;
    bool modal = false;     // it was the application's modal window while shown
    int polls = 0;          // timer calls during the wait: events went on

    static QWidget* window()
    {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->objectName() == QLatin1String(kDbWaitWindow) && w->isVisible())
                return w;
        return nullptr;
    }

private:
    void poll()
    {
        ++polls;
        QWidget* w = window();
        if (!w || m_pressed)
            return;
        if (shownAtMs < 0) {
            shownAtMs = m_clock.elapsed();
            if (auto* label = w->findChild<QLabel*>(QStringLiteral("lblWait")))
                text = label->text();
            modal = QApplication::activeModalWidget() == w && w->isModal();
        }
        if (m_cancel) {
            m_pressed = true;
            QPointer<QPushButton> cancel = w->findChild<QPushButton*>(QStringLiteral("cmdCancel"));
            // A while after it shows, as a person would: the test sees it meanwhile.
            QTimer::singleShot(400, this, [cancel] {
                if (cancel)
                    cancel->click();
            });
        }
    }

    bool m_cancel = false;
    bool m_pressed = false;
    QElapsedTimer m_clock;
    QTimer m_poll;
};

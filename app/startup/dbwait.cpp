#include "dbwait.h"

#include "db.h"
#include "nestedloops.h"
#include "prompt.h"

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>
#include <optional>

namespace {

class QtWriteWait final : public WriteWaitService {
public:
    void begin() override
    {
        // A write started by a timer during another's wait shares its window.
        if (m_depth++ == 0) {
            m_cancelled = false;
            m_shown = false;
        }
    }

    bool keepWaiting(int waitedMs) override
    {
        if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
            return true;
        if (!m_shown && waitedMs >= kDbWaitShowAfterMs)
            show();
        // The window whose write waits goes on after the wait: none is deleted meanwhile.
        if (!m_held)
            m_held.emplace();
        // Before the window shows, nothing the user does may start another command: only
        // paints and timers run. Once it shows, it blocks every other window by itself.
        QCoreApplication::processEvents(m_dialog ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents, 20);
        return !m_cancelled;
    }

    void end() override
    {
        if (m_depth > 0 && --m_depth > 0)
            return;
        m_held.reset();
        if (m_arrow) {
            QApplication::restoreOverrideCursor();
            m_arrow = false;
        }
        if (m_dialog) {
            m_dialog->hide();
            m_dialog->deleteLater();
            m_dialog = nullptr;
        }
    }

private:
    void show()
    {
        // A window of its own, so that no window closed meanwhile takes it along; placed
        // over the window the user was working in.
        QWidget* over = QApplication::activeWindow();
        auto* dialog = new QDialog;
        dialog->setObjectName(QLatin1String(kDbWaitWindow));
        dialog->setWindowTitle(kAppTitle);
        dialog->setWindowModality(Qt::ApplicationModal);
        dialog->setWindowFlag(Qt::WindowContextHelpButtonHint, false);
        auto* layout = new QVBoxLayout(dialog);
        auto* text = new QLabel(kDatabaseWaitText, dialog);
        text->setObjectName(QStringLiteral("lblWait"));
        text->setWordWrap(false);
        layout->addWidget(text);
        auto* cancel = new QPushButton(QStringLiteral("Cancel"), dialog);
        cancel->setObjectName(QStringLiteral("cmdCancel"));
        layout->addWidget(cancel, 0, Qt::AlignHCenter);
        QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);
        // Cancel, Esc and the title bar's close all give the wait up.
        QObject::connect(dialog, &QDialog::rejected, dialog, [this] { m_cancelled = true; });
        m_dialog = dialog;
        m_shown = true;
        // The arrow over Cancel, whatever wait cursor the saving window set.
        QApplication::setOverrideCursor(Qt::ArrowCursor);
        m_arrow = true;
        dialog->adjustSize();
        if (over)
            dialog->move(over->frameGeometry().center() - dialog->rect().center());
        dialog->show();
        dialog->raise();
        dialog->activateWindow();
    }

    int m_depth = 0;
    bool m_cancelled = false;
    bool m_arrow = false;  // the arrow cursor is set over the wait
    bool m_shown = false;  // the window was shown in this wait
    QPointer<QDialog> m_dialog;
    std::optional<WidgetDeletionsHeld> m_held;
};

}  // namespace

void InstallQtWriteWait()
{
    static QtWriteWait service;
    SetDefaultWriteWaitService(&service);
}

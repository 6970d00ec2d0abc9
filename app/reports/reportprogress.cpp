#include "reportprogress.h"

#include "nestedloops.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QProgressDialog>

#include <algorithm>
#include <optional>

namespace {

// A progress dialog that shows once the work has taken a second, and keeps the program's
// windows painted while it runs.
class DialogProgress final : public ReportProgress {
public:
    void begin(const QString& label, int total) override
    {
        m_label = label;
        m_total = total;
        end();
        m_clock.start();
        m_lastEvents = 0;
    }

    bool step(int done) override
    {
        if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
            return true;
        if (m_shown && !m_dialog)
            return false;  // taken away with its window
        const qint64 now = m_clock.elapsed();
        if (!m_dialog && now < 1000)
            return true;
        if (!m_dialog) {
            m_dialog = new QProgressDialog(m_label, QStringLiteral("Cancel"), 0, m_total, QApplication::activeWindow());
            m_dialog->setWindowTitle(QStringLiteral("Corvane Quorrel"));
            m_dialog->setWindowModality(Qt::ApplicationModal);
            m_dialog->setAutoReset(false);
            m_dialog->setAutoClose(false);
            m_dialog->setMinimumDuration(0);
            m_dialog->show();
            m_shown = true;
            // The window the work is for goes on after it: none is deleted while it runs.
            m_held.emplace();
        }
        if (now - m_lastEvents < 50 && m_lastEvents != 0)
            return !m_dialog->wasCanceled();
        m_lastEvents = now;
        if (m_total > 0 && done >= 0)
            m_dialog->setValue(std::min(done, m_total));
        QCoreApplication::processEvents();
        return m_dialog && !m_dialog->wasCanceled();
    }

    void end() override
    {
        delete m_dialog.data();
        m_held.reset();
        m_shown = false;
    }

    void setTotal(int total) override
    {
        m_total = total;
        if (m_dialog)
            m_dialog->setMaximum(total);
    }

private:
    QString m_label;
    int m_total = 0;
    QElapsedTimer m_clock;
    qint64 m_lastEvents = 0;
    QPointer<QProgressDialog> m_dialog;  // deleted with its window, should that be deleted outright
    bool m_shown = false;
    std::optional<WidgetDeletionsHeld> m_held;
};

DialogProgress& ProgramProgress()
{
    static DialogProgress progress;
    return progress;
}

ReportProgress* gProgress = nullptr;
int gDepth = 0;

}  // namespace

ReportProgress& CurrentReportProgress()
{
    return gProgress ? *gProgress : ProgramProgress();
}

void SetReportProgress(ReportProgress* progress)
{
    gProgress = progress;
}

ReportWork::ReportWork(const QString& label, int total) : m_outer(gDepth++ == 0)
{
    if (m_outer)
        CurrentReportProgress().begin(label, total);
}

ReportWork::~ReportWork()
{
    --gDepth;
    if (m_outer)
        CurrentReportProgress().end();
}

void ReportWork::setTotal(int total)
{
    if (m_outer)
        CurrentReportProgress().setTotal(total);
}

void ReportWork::step()
{
    stepTo(m_done + 1);
}

void ReportWork::stepTo(int done)
{
    m_done = done;
    // Inside other work only the outermost piece's figure shows; this one only asks.
    if (!CurrentReportProgress().step(m_outer ? done : -1))
        throw ReportCancelled();
}

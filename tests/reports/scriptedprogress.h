#pragma once
#include "reportprogress.h"

#include <QStringList>

// Stands in for the progress dialog: records the work begun and cancels at the step chosen
// (the n-th call of step, from 1; 0 never). Installs itself for its lifetime.
class ScriptedProgress final : public ReportProgress {
public:
    explicit ScriptedProgress(int cancelAtStep = 0) : m_cancelAt(cancelAtStep) { SetReportProgress(this); }
    ~ScriptedProgress() override { SetReportProgress(nullptr); }

    QStringList begun;
    int steps = 0;
    int ended = 0;
    int lastTotal = 0;

    void begin(const QString& label, int total) override
    {
        begun << label;
        lastTotal = total;
    }
    bool step(int) override { return !(++steps >= m_cancelAt && m_cancelAt > 0); }
    void end() override { ++ended; }
    void setTotal(int total) override { lastTotal = total; }

private:
    int m_cancelAt;
};

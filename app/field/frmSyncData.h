#pragma once
#include "forms.h"

#include <QDialog>
#include <cstdint>
#include <memory>

class QLabel;
class QProgressBar;

namespace Varnock {
class Synchronizer;
}

// Exchanges a field replica's data with the open tunnel database (the master), after
// checking that the replica belongs to the master's replica set, with the progress of the
// exchange. A new instance per exchange, shown on top. While the exchange runs the window is
// application-modal: the exchange holds the master's write lock, and a save from another
// window of the program would only wait for it. It is modeless again afterwards.
class frmSyncData : public KrvForm<QDialog> {
    Q_OBJECT
public:
    explicit frmSyncData(QWidget* parent = nullptr);
    ~frmSyncData() override;

    // True only when the replica is a member of the master's set and the synchronizer
    // reports the exchange done. Any error gives false without a message (it is logged);
    // failureReason() then says why in plain words, where the error tells.
    Q_INVOKABLE bool SYNCHRONIZE(const QString& replicaPath);
    QString failureReason() const { return m_failureReason; }
    // The file that failure concerns (for a full disk: the file whose disk is full).
    QString failureFile() const { return m_failureFile; }
    // Why the exchange could not be recorded in the replica log (naming the file); empty when it
    // was. Not shown here: the caller tells it with the run's other news.
    QString logProblem() const { return m_logProblem; }
    bool isSynchronizing() const { return m_busy; }
    // The conflicts the last successful exchange settled (the rows changed on both sides, where
    // the master's priority decided); -1 when they could not be counted.
    int conflicts() const { return m_conflicts; }

    QLabel* Label1;
    QProgressBar* prgStatus;

    // The synchronizer's progress event.
    void Synch_SynchProgress(std::int32_t& done, std::int32_t& total, bool& cancel);

protected:
    // The window stays while its exchange runs.
    bool QueryUnload() override { return !m_busy; }
    void reject() override;

private:
    std::unique_ptr<Varnock::Synchronizer> Synch;
    bool m_busy = false;
    int m_conflicts = 0;
    QString m_failureReason;
    QString m_failureFile;
    QString m_logProblem;
};

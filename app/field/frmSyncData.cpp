#include "frmSyncData.h"

#include "db.h"
#include "fieldcommon.h"
#include "globals.h"
#include "prompt.h"
#include "settings.h"

#include <varnock.h>

#include <QCoreApplication>
#include <QLabel>
#include <QProgressBar>
#include <QSet>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// Modality is taken when a window is shown: a visible window is shown again where it was.
void setModality(QWidget* window, Qt::WindowModality modality)
{
    if (window->windowModality() == modality)
        return;
    const bool visible = window->isVisible();
    const QRect geometry = window->geometry();
    if (visible)
        window->hide();
    window->setWindowModality(modality);
    window->setGeometry(geometry);
    if (visible)
        window->show();
}

// The exchanges of the master's history that settled conflicts. Only those: the exchange just
// made is the one not listed before it, whatever the clock says of its time.
QSet<QString> exchangesWithConflicts(Varnock::Synchronizer& synch)
{
    QSet<QString> ids;
    const auto items = synch.HistoryItems(Varnock::SynchsWithConflicts);
    for (int i = 1; i <= items->Count(); ++i)
        ids.insert(items->Item(i)->ExchangeId());
    return ids;
}

int newConflicts(Varnock::Synchronizer& synch, const QSet<QString>& before)
{
    const auto items = synch.HistoryItems(Varnock::SynchsWithConflicts);
    int conflicts = 0;
    for (int i = 1; i <= items->Count(); ++i) {
        const auto item = items->Item(i);
        if (!before.contains(item->ExchangeId()))
            conflicts += item->Conflicts();
    }
    return conflicts;
}

}  // namespace

frmSyncData::frmSyncData(QWidget* parent) : KrvForm<QDialog>(QStringLiteral("frmSyncData"), parent)
{
    setWindowTitle(QStringLiteral("Synchronize Inspection Replica"));
    Label1 = new QLabel(QStringLiteral("Synchronizing the inspection replica with the master database..."), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    prgStatus = new QProgressBar(this);
    prgStatus->setObjectName(QStringLiteral("prgStatus"));
    prgStatus->setTextVisible(false);
    prgStatus->setValue(0);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addWidget(prgStatus);
}

frmSyncData::~frmSyncData() = default;

void frmSyncData::reject()
{
    if (!m_busy)
        Unload();
}

bool frmSyncData::SYNCHRONIZE(const QString& replicaPath)
{
    if (m_busy)
        return false;
    // The exchange keeps the program painted; this window and its synchronizer stay until it is over.
    const WidgetDeletionsHeld held;
    m_busy = true;
    m_conflicts = 0;
    m_failureReason.clear();
    m_failureFile.clear();
    m_logProblem.clear();
    setModality(this, Qt::ApplicationModal);
    bool result = false;
    try {
        Synch = std::make_unique<Varnock::Synchronizer>();
        connect(Synch.get(), &Varnock::Synchronizer::SynchProgress, this,
                [this](std::int32_t& d, std::int32_t& t, bool& c) { Synch_SynchProgress(d, t, c); });
        if (!Synch->Running())
            Synch->setRunning(true);
        repaint();
        Synch->setLogFile(ProgramFile(kReplicaLogName));
        Synch->setDatabaseName(gDbPath);
        // Users and rights travel from the master outwards only: recorded before any exchange.
        KeepRightsAtMaster(gDbPath);

        const ReplicaCheck check = CheckReplica(*Synch, replicaPath);
        if (ReplicaAccepted(check, replicaPath)) {
            repaint();
            const QSet<QString> settledBefore = exchangesWithConflicts(*Synch);
            // What the synchronizer answers: an exchange it refused (the master itself, a copy of
            // it) is no success.
            result = Synch->SynchDirect(replicaPath, Varnock::synchTypeReplImpExp);
            repaint();
            if (result) {
                // The exchange is done whatever the count says; a count that cannot be read is told
                // as such, never as none.
                try {
                    m_conflicts = newConflicts(*Synch, settledBefore);
                } catch (const std::exception& e) {
                    m_conflicts = -1;
                    LogFieldError(QString(), objectName(), e);
                }
            }
        }
    } catch (const std::exception& e) {
        // The caller shows the failure, with the reason in plain words; the details go to the error log.
        result = false;
        m_failureReason = FieldFailureReason(e, replicaPath);
        m_failureFile = FieldFailureFile(e, replicaPath);
        LogFieldError(QString(), objectName(), e);
    }
    // The log keeps its old lines whole; the caller tells why this exchange is missing from it.
    if (Synch)
        m_logProblem = Synch->LogFileProblem();
    if (Synch) {
        try {
            Synch->setRunning(false);
        } catch (...) {
            // Stopping is best effort; the object goes all the same.
        }
        Synch.reset();
    }
    m_busy = false;
    setModality(this, Qt::NonModal);
    return result;
}

void frmSyncData::Synch_SynchProgress(std::int32_t& done, std::int32_t& total, bool& cancel)
{
    Q_UNUSED(cancel);
    repaint();
    // Phase events carry no total.
    if (total > 0) {
        prgStatus->setMaximum(total);
        prgStatus->setValue(std::clamp(done, 0, total));
    }
    repaint();
    QCoreApplication::processEvents();
}

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
#include <QVBoxLayout>

#include <algorithm>

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
    m_busy = true;
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

        const bool member = IsMemberOfSet(*Synch, replicaPath);
        if (member) {
            repaint();
            // What the synchronizer answers: an exchange it refused (the master itself, a copy of
            // it) is no success.
            result = Synch->SynchDirect(replicaPath, Varnock::synchTypeReplImpExp);
            repaint();
        } else {
            MsgBox(kNotMemberOfSet, MsgButtons::Ok, MsgIcon::Warning);
        }
    } catch (const std::exception& e) {
        // The caller shows the failure; the reason goes to the error log only.
        result = false;
        LogFieldError(QString(), objectName(), e);
    }
    if (Synch) {
        try {
            Synch->setRunning(false);
        } catch (...) {
            // Stopping is best effort; the object goes all the same.
        }
        Synch.reset();
    }
    m_busy = false;
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

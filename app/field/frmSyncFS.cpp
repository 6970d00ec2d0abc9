#include "frmSyncFS.h"

#include "FolderSync.h"
#include "clicklabel.h"
#include "db.h"
#include "failurereason.h"
#include "fieldcommon.h"
#include "frmSyncData.h"
#include "globals.h"
#include "helpers.h"
#include "modkrv.h"
#include "prompt.h"
#include "savefile.h"
#include "settings.h"
#include "uihelpers.h"

#include <varnock.h>

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QRegularExpression>
#include <QStatusBar>
#include <QStorageInfo>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cerrno>

namespace {

constexpr int kRowStep = 350;        // twips between rows
constexpr int kLabelOffset = 60;     // the name sits this far below its row's top
constexpr int kViewportHeight = 2400;

const QString kClose = QStringLiteral("&Close");
const QString kStopSync = QStringLiteral("Stop Sync");
const QString kReady = QStringLiteral("Ready");

// The first folder from base down to folder (the tunnel's, the year's) that is a symbolic link, ""
// when there is none: the passes stay in the replica's tree and do not follow a link on the stick
// to another place.
QString firstLink(const QString& base, const QString& folder)
{
    QString path = base;
    for (const QString& part : folder.mid(base.size()).split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (!path.isEmpty() && !path.endsWith(QLatin1Char('/')))
            path += QLatin1Char('/');
        path += part;
        if (QFileInfo(path).isSymLink())
            return path;
    }
    return QString();
}

}  // namespace

frmSyncFS::frmSyncFS(QWidget* parent) : KrvForm<QWidget>(QStringLiteral("frmSyncFS"), parent)
{
    setWindowTitle(QStringLiteral("Synchronize Inspection Data"));
    setWindowFlag(Qt::Window);

    picContainer = new QWidget(this);
    picContainer->setObjectName(QStringLiteral("picContainer"));
    picContainer->setFixedHeight(TwipsToPixels(kViewportHeight));
    picContainer->setMinimumWidth(TwipsToPixels(4600));
    picSync = new QWidget(picContainer);
    picSync->setObjectName(QStringLiteral("picSync"));
    VScroll1 = new QScrollBar(Qt::Vertical, this);
    VScroll1->setObjectName(QStringLiteral("VScroll1"));
    VScroll1->setFixedHeight(TwipsToPixels(kViewportHeight));

    cmdSelectAll = new QPushButton(QStringLiteral("Select &All"), this);
    cmdSelectAll->setObjectName(QStringLiteral("cmdSelectAll"));
    cmdSelectNone = new QPushButton(QStringLiteral("Select &None"), this);
    cmdSelectNone->setObjectName(QStringLiteral("cmdSelectNone"));
    lblRepDB = new QLabel(QStringLiteral("Inspection replica database:"), this);
    lblRepDB->setObjectName(QStringLiteral("lblRepDB"));
    txtRepDB = new QLineEdit(this);
    txtRepDB->setObjectName(QStringLiteral("txtRepDB"));
    cmdBrowse = new QPushButton(QStringLiteral("&Browse..."), this);
    cmdBrowse->setObjectName(QStringLiteral("cmdBrowse"));
    msfReport = new QTableWidget(this);
    msfReport->setObjectName(QStringLiteral("msfReport"));
    msfReport->setEditTriggers(QAbstractItemView::NoEditTriggers);
    msfReport->setMinimumHeight(TwipsToPixels(3000));
    cmdSync = new QPushButton(QStringLiteral("&Synchronize"), this);
    cmdSync->setObjectName(QStringLiteral("cmdSync"));
    cmdClose = new QPushButton(kClose, this);
    cmdClose->setObjectName(QStringLiteral("cmdClose"));
    sb1 = new QStatusBar(this);
    sb1->setObjectName(QStringLiteral("sb1"));
    sb1->setSizeGripEnabled(false);
    sbPanel1 = new QLabel(this);
    sbPanel1->setObjectName(QStringLiteral("sbPanel1"));
    sb1->addWidget(sbPanel1, 1);

    auto* rows = new QHBoxLayout;
    rows->setSpacing(0);
    rows->addWidget(picContainer, 1);
    rows->addWidget(VScroll1);
    auto* select = new QHBoxLayout;
    select->addWidget(cmdSelectAll);
    select->addWidget(cmdSelectNone);
    select->addStretch();
    auto* replica = new QHBoxLayout;
    replica->addWidget(lblRepDB);
    replica->addWidget(txtRepDB, 1);
    replica->addWidget(cmdBrowse);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdSync);
    buttons->addWidget(cmdClose);
    auto* main = new QVBoxLayout(this);
    main->addLayout(rows);
    main->addLayout(select);
    main->addLayout(replica);
    main->addWidget(msfReport, 1);
    main->addLayout(buttons);
    main->addWidget(sb1);

    connect(VScroll1, &QScrollBar::valueChanged, this, [this](int v) { picSync->move(0, -v); });
    connect(cmdSelectAll, &QPushButton::clicked, this, [this] { cmdSelectAll_Click(); });
    connect(cmdSelectNone, &QPushButton::clicked, this, [this] { cmdSelectNone_Click(); });
    connect(cmdBrowse, &QPushButton::clicked, this, [this] { cmdBrowse_Click(); });
    connect(cmdSync, &QPushButton::clicked, this, [this] { cmdSync_Click(); });
    connect(cmdClose, &QPushButton::clicked, this, [this] { cmdClose_Click(); });

    loadTunnels();
    if (!chkSyncTunnel.isEmpty())
        loadInspectionPeriods();

    fsync = new FolderSync(this);
    fsync->setCopyIfMissing(true);
    fsync->setOverwriteAll(false);
    fsync->setIncludeSubFolders(true);
    fsync->setCreateSubFolders(true);
    fsync->setReportGrid(msfReport);
    fsync->setIncludeNormalFiles(true);
    fsync->setIncludeHiddenFiles(true);
    setStatus(kReady);
    // The status panel takes the bar's width through its stretch; the window opens no
    // narrower than its controls need.
    resize(QSize(TwipsToPixels(7200), TwipsToPixels(9000)).expandedTo(minimumSizeHint()));
}

frmSyncFS::~frmSyncFS() = default;

void frmSyncFS::addRow(int index, qint32 tunnelId, const QString& name)
{
    const int top = index * kRowStep;
    auto* chk = new QCheckBox(picSync);
    chk->setObjectName(QStringLiteral("chkSyncTunnel_%1").arg(index));
    chk->setProperty("tag", tunnelId);
    PlaceTwips(chk, 60, top, 250, 300);
    auto* lbl = new ClickLabel(name, picSync);
    lbl->setObjectName(QStringLiteral("lblSyncTunnel_%1").arg(index));
    PlaceTwips(lbl, 360, top + kLabelOffset, 2700, 250);
    auto* cbo = new QComboBox(picSync);
    cbo->setObjectName(QStringLiteral("cboInspPD_%1").arg(index));
    cbo->setProperty("tag", tunnelId);
    cbo->setEnabled(false);
    PlaceTwips(cbo, 3120, top, 1300, 300);
    chkSyncTunnel << chk;
    lblSyncTunnel << lbl;
    cboInspPD << cbo;
    connect(chk, &QCheckBox::clicked, this, [this, index] { chkSyncTunnel_Click(index); });
    connect(lbl, &ClickLabel::clicked, this, [this, index] { lblSyncTunnel_Click(index); });
}

void frmSyncFS::loadTunnels()
{
    try {
        const RowSet rs = gConn.query(QStringLiteral("SELECT TunnelID,TunnelName FROM Tunnels"))
                                 .sortedByName(QStringLiteral("TunnelName"));
        for (int r = 0; r < rs.count(); ++r)
            addRow(r, rs.toInt(r, QStringLiteral("TunnelID")), rs.value(r, QStringLiteral("TunnelName")).toString());
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error loading Tunnels."), objectName(), e);
    }
    layoutPanel();
    const bool any = !chkSyncTunnel.isEmpty();
    cmdSelectAll->setEnabled(any);
    cmdSelectNone->setEnabled(any);
}

void frmSyncFS::layoutPanel()
{
    const int rows = int(chkSyncTunnel.size());
    const int height = TwipsToPixels((rows > 0 ? (rows - 1) * kRowStep : 0) + 300);
    picSync->setGeometry(0, 0, TwipsToPixels(4600), height);
    const int viewport = TwipsToPixels(kViewportHeight);
    if (height <= viewport) {
        VScroll1->hide();
        VScroll1->setValue(0);
        return;
    }
    const int max = height - viewport;
    VScroll1->setRange(0, max);
    VScroll1->setPageStep(max / 5);
    VScroll1->setSingleStep(max / 20);
    VScroll1->show();
}

void frmSyncFS::loadInspectionPeriods()
{
    try {
        for (QComboBox* cbo : cboInspPD) {
            cbo->clear();
            const RowSet rs =
                gConn.query(QStringLiteral("SELECT * FROM InspectionPeriod WHERE TunnelID=? ORDER BY InspectionYear"),
                            {cbo->property("tag")});
            for (int r = 0; r < rs.count(); ++r)
                cbo->addItem(rs.value(r, QStringLiteral("InspectionYear")).toString(),
                             rs.toInt(r, QStringLiteral("InspectionID")));
            if (cbo->count() > 0)
                cbo->setCurrentIndex(0);
        }
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error loading Inspection Periods."), objectName(), e);
    }
}

void frmSyncFS::setStatus(const QString& text)
{
    sbPanel1->setText(text);
}

void frmSyncFS::setTunnelChecked(int row, bool on)
{
    if (row < 0 || row >= chkSyncTunnel.size())
        return;
    chkSyncTunnel[row]->setChecked(on);
    chkSyncTunnel_Click(row);
}

void frmSyncFS::chkSyncTunnel_Click(int index)
{
    cboInspPD[index]->setEnabled(chkSyncTunnel[index]->isChecked());
}

void frmSyncFS::lblSyncTunnel_Click(int index)
{
    setTunnelChecked(index, !chkSyncTunnel[index]->isChecked());
}

void frmSyncFS::cmdSelectAll_Click()
{
    for (int i = 0; i < chkSyncTunnel.size(); ++i)
        setTunnelChecked(i, true);
}

void frmSyncFS::cmdSelectNone_Click()
{
    for (int i = 0; i < chkSyncTunnel.size(); ++i)
        setTunnelChecked(i, false);
}

void frmSyncFS::cmdBrowse_Click()
{
    try {
        const QString path = Prompt().openFileName(QStringLiteral("Select Inspection Replica"),
                                                   GetFolderPart(txtRepDB->text().trimmed()), kReplicaFileFilter);
        // A cancelled dialog keeps the path already there.
        if (path.isEmpty())
            return;
        txtRepDB->setText(path);
        if (!path.isEmpty() && !HasReplicaExtension(path)) {
            MsgBox(QStringLiteral("The replica file name must have a tunnel database file extension (*.db)\n"
                                  "Please select the correct file type for synchronization."),
                   MsgButtons::Ok, MsgIcon::Warning, QStringLiteral("Invalid File"));
            txtRepDB->clear();
        }
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error selecting inspection replica."), objectName(), e);
    }
}

void frmSyncFS::cmdClose_Click()
{
    if (m_running) {
        // Stop Sync: the folder pass in progress ends with its cancelled line, no further pass
        // starts, and the exchange is skipped. The run itself ends the running state.
        m_stop = true;
        fsync->terminate();
        cmdClose->setEnabled(false);
        return;
    }
    Unload();
}

void frmSyncFS::cmdSync_Click()
{
    // The folder passes and the exchange let events through: a click that arrives meanwhile
    // must not start a second run inside this one.
    if (m_running)
        return;
    // The passes keep the program painted; this window and its folder sync stay until they are over.
    const WidgetDeletionsHeld held;
    m_running = true;
    m_stop = false;
    cmdSync->setEnabled(false);
    cmdClose->setText(kStopSync);
    cmdClose->setEnabled(true);
    setStatus(QStringLiteral("Please Wait Synchronizing..."));
    setCursor(Qt::WaitCursor);

    // Nothing is copied either way until the path names a replica of this set: another file, or
    // none, would bring foreign photos in and overwrite the office's.
    const QString replica = txtRepDB->text().trimmed();
    if (replica.isEmpty() || !QFileInfo(replica).isFile()) {
        MsgBox(replica.isEmpty() ? QStringLiteral("No inspection replica database is selected.\n"
                                                  "Data synchronization can not be performed.")
                                 : QStringLiteral("The selected database file can not be found on the system.\n"
                                                  "Data synchronization can not be performed."),
               MsgButtons::Ok, MsgIcon::Warning, QStringLiteral("File Not Found"));
        endRun(kReady);
        return;
    }
    if (!gDbPath.isEmpty() && QFileInfo(replica).canonicalFilePath() == QFileInfo(gDbPath).canonicalFilePath()) {
        // The master is no replica of itself: its folders would be copied onto themselves.
        MsgBox(QStringLiteral("The selected database file is the master database itself.\n"
                              "Data synchronization was not performed."),
               MsgButtons::Ok, MsgIcon::Warning);
        endRun(QStringLiteral("Inspection Replica synchronization failed."));
        return;
    }
    // A file another program holds is in use, not foreign. One left by a crash is put back by this
    // look; one that cannot be (a write-protected stick) says why.
    QString why;
    const DbFileState state = TunnelDatabaseState(replica, &why);
    if (state == DbFileState::InUse || !why.isEmpty()) {
        MsgBox(state == DbFileState::InUse
                   ? QStringLiteral("The selected database file is in use by another program.\n"
                                    "Data synchronization was not performed.")
                   : QStringLiteral("The selected database file can not be used.  %1\n"
                                    "Data synchronization was not performed.")
                         .arg(why),
               MsgButtons::Ok, MsgIcon::Warning);
        endRun(QStringLiteral("Inspection Replica synchronization failed."));
        return;
    }
    // A damaged file (cut short on the way) is said to be so, never taken for one of another set.
    ReplicaCheck check = ReplicaCheck::NotMember;
    try {
        Varnock::Synchronizer master;
        master.setDatabaseName(gDbPath);
        check = CheckReplica(master, replica);
    } catch (const std::exception& e) {
        LogFieldError(QStringLiteral("Error performing the synchronization."), objectName(), e);
        endRun(QStringLiteral("Inspection Replica synchronization failed."));
        return;
    }
    if (!ReplicaAccepted(check, replica)) {
        endRun(QStringLiteral("Inspection Replica synchronization failed."));
        return;
    }

    QString status = kReady;
    try {
        runFolderPasses(replica);
        // Told with the exchange's news: a full disk that stops both is one message.
        const LogProblem syncLog = writeSyncLog();
        // Only the header is left.
        fsync->setReportGrid(msfReport);
        const bool exchanging = !m_stop && QFileInfo(replica).isFile();
        if (!exchanging)
            tellSyncLogProblem(syncLog);
        if (!m_stop) {
            if (exchanging) {
                cmdClose->setEnabled(false);  // the exchange cannot be stopped
                setStatus(QStringLiteral("Please Wait Synchronizing Inspection Replica database..."));
                int conflicts = 0;
                const bool ok = exchange(replica, &conflicts, syncLog);
                status = !ok            ? QStringLiteral("Inspection Replica synchronization failed.")
                         : conflicts > 0 ? QStringLiteral("Inspection Replica synchronization succeeded with %1.")
                                               .arg(CountText(conflicts, QStringLiteral("conflict")))
                         : conflicts < 0 ? QStringLiteral("Inspection Replica synchronization succeeded; its "
                                                          "conflicts could not be counted (see %1).")
                                               .arg(kReplicaLogName)
                                         : QStringLiteral("Inspection Replica synchronization succeeded.");
            } else {
                // Gone during the passes (a stick pulled out).
                MsgBox(QStringLiteral("The selected database file can not be found on the system.\n"
                                      "Data synchronization can not be performed."),
                       MsgButtons::Ok, MsgIcon::Warning, QStringLiteral("File Not Found"));
            }
        }
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error performing the synchronization."), objectName(), e);
        status = kReady;
    }
    endRun(status);
}

void frmSyncFS::endRun(const QString& status)
{
    m_running = false;
    m_stop = false;
    cmdSync->setEnabled(true);
    cmdClose->setText(kClose);
    cmdClose->setEnabled(true);
    setStatus(status);
    unsetCursor();
}

void frmSyncFS::runFolderPasses(const QString& replica)
{
    for (int i = 0; i < chkSyncTunnel.size() && !m_stop; ++i) {
        QComboBox* years = cboInspPD[i];
        if (!chkSyncTunnel[i]->isChecked() || years->currentIndex() < 0)
            continue;
        const qint32 tunnelId = chkSyncTunnel[i]->property("tag").toInt();
        const qint32 inspectionId = years->currentData().toInt();
        const QString dataSide = GetInspectionFolder(tunnelId, inspectionId);
        const QString replicaSide = GetInspectionFolderUnder(replica, tunnelId, inspectionId);
        if (const QString link = firstLink(GetFolderPart(replica), replicaSide); !link.isEmpty()) {
            fsync->addReportLine(QStringLiteral("LINK"), QStringLiteral("a link is not followed: ") + QDir::cleanPath(link),
                                 QStringLiteral("R"));
            MsgBox(QStringLiteral("The folder %1 on the replica's side is a link to another place.\n"
                                  "Its files were not synchronized.")
                       .arg(QDir::toNativeSeparators(QDir::cleanPath(replicaSide))),
                   MsgButtons::Ok, MsgIcon::Warning);
            continue;
        }
        fsync->setFromFolder(dataSide);
        fsync->setToFolder(replicaSide);
        fsync->syncFoldersNow();
        QCoreApplication::processEvents();
        if (m_stop)
            break;
        fsync->setFromFolder(replicaSide);
        fsync->setToFolder(dataSide);
        fsync->syncFoldersNow();
        QCoreApplication::processEvents();
    }
}

frmSyncFS::LogProblem frmSyncFS::writeSyncLog()
{
    LogProblem problem;
    auto note = [&](const QString& text, long number, const QString& description) {
        problem.text = text;
        AppendErrorLog(QStringLiteral("Error writing to SyncLog") + QLatin1Char('\n') + text, objectName(), number,
                       description, &problem.errLogText);
    };
    try {
        const QString date = ShortDateText(QDate::currentDate());
        QByteArray block;
        for (int r = 0; r < msfReport->rowCount(); ++r) {
            const QTableWidgetItem* time = msfReport->item(r, 0);
            const QTableWidgetItem* action = msfReport->item(r, 1);
            block += '"';
            block += (date + QLatin1Char(' ') + (time ? time->text() : QString()) + QStringLiteral("  ") +
                      (action ? action->text() : QString()))
                         .toUtf8();
            block += "\"\r\n";
        }
        block += "\"\r\n\r\n\"\r\n";
        // Appended through a whole new copy, so a full disk leaves the old log as it was.
        const QString path = ProgramFile(kSyncLogName);
        QByteArray old;
        QFile current(path);
        if (current.exists()) {
            if (!current.open(QIODevice::ReadOnly))
                throw KrvError(ErrNo::PermissionDenied, QStringLiteral("The file %1 could not be read: %2.")
                                                            .arg(QDir::toNativeSeparators(path), current.errorString()));
            old = current.readAll();
            current.close();
        }
        QString failure;
        if (!SaveFileBytes(path, old + block, &failure))
            throw KrvError(ErrNo::PermissionDenied, failure);
    } catch (const KrvError& e) {
        note(e.description(), e.number(), e.description());
    } catch (const std::exception& e) {
        note(QString::fromLocal8Bit(e.what()), 0, QString::fromLocal8Bit(e.what()));
    }
    return problem;
}

void frmSyncFS::tellSyncLogProblem(const LogProblem& problem)
{
    if (problem.text.isEmpty())
        return;
    MsgBox(QStringLiteral("Error writing to SyncLog") + QLatin1Char('\n') + problem.text +
               (problem.errLogText.isEmpty() ? QString() : QStringLiteral("\n\n") + problem.errLogText),
           MsgButtons::Ok, MsgIcon::Critical);
}

namespace {

// The file a log's problem names when its cause is a full disk ("The file X could not be written: the disk is
// full."); "" for any other cause.
QString fullDiskFileOf(const QString& problem)
{
    static const QRegularExpression named(QStringLiteral("^The file (.+) could not be written: (.+)\\.$"));
    const auto m = named.match(problem);
    return m.hasMatch() && m.captured(2) == PlainFileReason(ENOSPC) ? QDir::fromNativeSeparators(m.captured(1))
                                                                     : QString();
}

bool onOneDisk(const QString& a, const QString& b)
{
    const QStorageInfo one(QFileInfo(a).absolutePath());
    const QStorageInfo other(QFileInfo(b).absolutePath());
    return one.isValid() && other.isValid() && one.rootPath() == other.rootPath() && one.device() == other.device();
}

}  // namespace

bool frmSyncFS::exchange(const QString& replicaPath, int* conflicts, const LogProblem& syncLog)
{
    QPointer<frmSyncData> w = new frmSyncData;
    w->show();
    SetTopMost(w, true);
    const bool ok = w->SYNCHRONIZE(replicaPath);
    *conflicts = w ? w->conflicts() : 0;
    const QString reason = w ? w->failureReason() : QString();
    const QString failedFile = w ? w->failureFile() : QString();
    const QString replicaLog = w ? w->logProblem() : QString();
    if (w)
        w->Unload();
    if (!ok && !reason.isEmpty()) {
        // A failure whose cause is known (a read-only stick, a full disk) says it in one message; the logs' own
        // problems join it only when they have another cause than that full disk.
        QStringList lines{QStringLiteral("Inspection Replica synchronization failed."), reason};
        // Each full disk is told once, the first time a file on it could not be written.
        QStringList fullDisks;
        if (!failedFile.isEmpty() && reason == SystemErrorReason(ENOSPC, failedFile))
            fullDisks << failedFile;
        for (const QString& problem : {syncLog.text, syncLog.errLogText, replicaLog}) {
            if (problem.isEmpty() || lines.contains(problem))
                continue;
            const QString full = fullDiskFileOf(problem);
            if (!full.isEmpty()) {
                if (std::any_of(fullDisks.begin(), fullDisks.end(), [&](const QString& f) { return onOneDisk(f, full); }))
                    continue;
                fullDisks << full;
            }
            lines << problem;
        }
        MsgBox(lines.join(QLatin1Char('\n')), MsgButtons::Ok, MsgIcon::Critical);
        return ok;
    }
    tellSyncLogProblem(syncLog);
    // The log keeps its old lines whole; the user learns why this exchange is missing from it.
    if (!replicaLog.isEmpty())
        MsgBox(QStringLiteral("The exchange could not be recorded in the replica log.") + QLatin1Char('\n') + replicaLog,
               MsgButtons::Ok, MsgIcon::Warning);
    return ok;
}

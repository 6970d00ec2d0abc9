#include "frmCreateReplica.h"

#include "fieldcommon.h"
#include "globals.h"
#include "helpers.h"
#include "krverror.h"
#include "modkrv.h"
#include "prompt.h"
#include "settings.h"
#include "uihelpers.h"

#include <varnock.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QStorageInfo>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>
#include <cerrno>

namespace {

QString volumeOf(const QString& folder)
{
    const QStorageInfo info(folder);
    return info.isValid() ? info.rootPath() : QStringLiteral("/");
}

QStringList volumes()
{
    QStringList roots;
    for (const QStorageInfo& v : QStorageInfo::mountedVolumes())
        if (v.isValid() && v.isReady())
            roots << v.rootPath();
    roots << QStringLiteral("/") << volumeOf(QDir::homePath());
    roots.removeDuplicates();
    std::sort(roots.begin(), roots.end());
    return roots;
}

}  // namespace

frmCreateReplica::frmCreateReplica(QWidget* parent) : KrvForm<QDialog>(QStringLiteral("frmCreateReplica"), parent)
{
    setWindowTitle(QStringLiteral("Create Inspection Replica"));
    setModal(true);

    Label1 = new QLabel(QStringLiteral("Drive:"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    drvList = new QComboBox(this);
    drvList->setObjectName(QStringLiteral("drvList"));
    drvList->addItems(volumes());
    Label2 = new QLabel(QStringLiteral("Folder:"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    m_folders = new QFileSystemModel(this);
    m_folders->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot);
    m_folders->setReadOnly(true);
    // Before the list's own connections, so a current row moved by a removal is known as such.
    connect(m_folders, &QAbstractItemModel::rowsAboutToBeRemoved, this, [this] { m_removingRows = true; });
    connect(m_folders, &QAbstractItemModel::rowsRemoved, this, [this] {
        m_removingRows = false;
        chosenFolderGone();
    });
    connect(m_folders, &QFileSystemModel::directoryLoaded, this, [this] {
        if (m_followLoads)
            showChosenFolder();
    });
    // Rows read or sorted after the chosen folder was shown push it out of sight: it is brought
    // back once the list has laid them out.
    for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(m_folders, signal, this, [this] { keepChosenFolderInSight(); });
    connect(m_folders, &QAbstractItemModel::layoutChanged, this, [this] { keepChosenFolderInSight(); });
    dirList = new QTreeView(this);
    dirList->setObjectName(QStringLiteral("dirList"));
    dirList->setModel(m_folders);
    for (int c = 1; c < m_folders->columnCount(); ++c)
        dirList->hideColumn(c);
    dirList->header()->hide();
    dirList->setMinimumSize(TwipsToPixels(4200), TwipsToPixels(2400));
    Label3 = new QLabel(QStringLiteral("Replica file name:"), this);
    Label3->setObjectName(QStringLiteral("Label3"));
    txtFileName = new QLineEdit(DefaultReplicaFileName(QDate::currentDate()), this);
    txtFileName->setObjectName(QStringLiteral("txtFileName"));
    Label4 = new QLabel(QStringLiteral("Number of replicas:"), this);
    Label4->setObjectName(QStringLiteral("Label4"));
    txtNumReps = new QLineEdit(QStringLiteral("1"), this);
    txtNumReps->setObjectName(QStringLiteral("txtNumReps"));
    UpDown1 = new QSpinBox(this);
    UpDown1->setObjectName(QStringLiteral("UpDown1"));
    UpDown1->setRange(1, 99);
    UpDown1->setValue(1);
    UpDown1->setButtonSymbols(QAbstractSpinBox::UpDownArrows);
    UpDown1->setFixedWidth(TwipsToPixels(300));  // only its arrows show: the count is typed beside it
    Label5 = new QLabel(QStringLiteral("Each replica is a copy of the tunnel database that can be taken to the field "
                                       "and synchronised with it afterwards."),
                        this);
    Label5->setObjectName(QStringLiteral("Label5"));
    Label5->setWordWrap(true);
    lblStatus = new QLabel(this);
    lblStatus->setObjectName(QStringLiteral("lblStatus"));
    lblStatus->setWordWrap(true);
    prgStatus = new QProgressBar(this);
    prgStatus->setObjectName(QStringLiteral("prgStatus"));
    prgStatus->setTextVisible(false);
    prgStatus->hide();
    cmdCreateRep = new QPushButton(QStringLiteral("&Create"), this);
    cmdCreateRep->setObjectName(QStringLiteral("cmdCreateRep"));
    cmdCancel = new QPushButton(QStringLiteral("Cancel"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));

    auto* grid = new QGridLayout(this);
    grid->addWidget(Label1, 0, 0);
    grid->addWidget(drvList, 0, 1, 1, 2);
    grid->addWidget(Label2, 1, 0, Qt::AlignTop);
    grid->addWidget(dirList, 1, 1, 1, 2);
    grid->addWidget(Label3, 2, 0);
    grid->addWidget(txtFileName, 2, 1, 1, 2);
    grid->addWidget(Label4, 3, 0);
    auto* count = new QHBoxLayout;
    count->addWidget(txtNumReps);
    count->addWidget(UpDown1);
    count->addStretch();
    grid->addLayout(count, 3, 1, 1, 2);
    grid->addWidget(Label5, 4, 0, 1, 3);
    grid->addWidget(lblStatus, 5, 0, 1, 3);
    grid->addWidget(prgStatus, 6, 0, 1, 3);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdCreateRep);
    buttons->addWidget(cmdCancel);
    grid->addLayout(buttons, 7, 0, 1, 3);

    dirList->viewport()->installEventFilter(this);
    connect(UpDown1, &QSpinBox::valueChanged, this, [this](int v) { txtNumReps->setText(QString::number(v)); });
    connect(drvList, &QComboBox::activated, this, [this] { drvList_Change(); });
    connect(dirList->selectionModel(), &QItemSelectionModel::currentChanged, this, [this] { dirList_Change(); });
    connect(cmdCreateRep, &QPushButton::clicked, this, [this] { cmdCreateRep_Click(); });
    connect(cmdCancel, &QPushButton::clicked, this, [this] { cmdCancel_Click(); });

    // There are no drive letters here: the replicas are proposed for the user's home folder.
    setDirPath(QDir::homePath());
}

frmCreateReplica::~frmCreateReplica() = default;

void frmCreateReplica::setDirPath(const QString& folder)
{
    clearGone();
    m_dirPath = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    m_drive = volumeOf(m_dirPath);
    m_followLoads = true;
    QSignalBlocker block(drvList);
    if (drvList->findText(m_drive) < 0)
        drvList->addItem(m_drive);
    drvList->setCurrentIndex(drvList->findText(m_drive));
    m_folders->setRootPath(m_drive);
    dirList->setRootIndex(m_folders->index(m_drive));
    showChosenFolder();
}

// The folder list shows, open and selected, the folder Create writes to. The list fills in the background, so
// this is repeated as each folder on the way is read.
void frmCreateReplica::showChosenFolder()
{
    if (!QFileInfo(m_dirPath).isDir())
        return;
    const QModelIndex here = m_folders->index(m_dirPath);
    if (!here.isValid())
        return;
    for (QModelIndex p = here.parent(); p.isValid(); p = p.parent())
        dirList->expand(p);
    if (dirList->currentIndex() != here || !dirList->selectionModel()->isSelected(here)) {
        m_showing = true;
        dirList->selectionModel()->setCurrentIndex(here, QItemSelectionModel::ClearAndSelect);
        m_showing = false;
    }
    clearGone();
    dirList->scrollTo(here);
}

bool frmCreateReplica::chosenFolderInSight() const
{
    const QModelIndex here = m_folders->index(m_dirPath);
    if (!here.isValid() || !QFileInfo(m_dirPath).isDir() || dirList->currentIndex() != here)
        return false;
    const QRect row = dirList->visualRect(here);
    return !row.isEmpty() && dirList->viewport()->rect().contains(row.topLeft()) &&
           row.bottom() <= dirList->viewport()->rect().bottom();
}

// Once the list has laid out what changed; while the folder was set by the program, not picked
// by hand (a hand's scrolling is its own).
void frmCreateReplica::keepChosenFolderInSight()
{
    if (!m_followLoads || m_sightQueued)
        return;
    m_sightQueued = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_sightQueued = false;
            if (m_followLoads)
                showChosenFolder();
        },
        Qt::QueuedConnection);
}

void frmCreateReplica::clearGone()
{
    if (m_goneShown)
        lblStatus->clear();
    m_goneShown = false;
}

// The chosen folder vanished (a stick pulled out): no other folder is highlighted while Create
// still writes there, and the status says so. Should it come back, it is shown again.
void frmCreateReplica::chosenFolderGone()
{
    if (QFileInfo(m_dirPath).isDir() || m_making)
        return;
    m_showing = true;
    dirList->selectionModel()->clear();
    m_showing = false;
    m_followLoads = true;
    lblStatus->setText(QStringLiteral("The folder %1 is gone.").arg(QDir::toNativeSeparators(m_dirPath)));
    m_goneShown = true;
}

void frmCreateReplica::showEvent(QShowEvent* event)
{
    KrvForm<QDialog>::showEvent(event);
    showChosenFolder();
}

// The list's own size changes with the window and with the lines below it (the status that names
// the file written): the chosen folder is kept in sight then too, also after a pick by hand, since
// the list moved, not the user.
bool frmCreateReplica::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == dirList->viewport() && event->type() == QEvent::Resize) {
        QMetaObject::invokeMethod(
            this,
            [this] {
                const QModelIndex here = m_folders->index(m_dirPath);
                if (here.isValid() && dirList->currentIndex() == here)
                    dirList->scrollTo(here);
            },
            Qt::QueuedConnection);
    }
    return KrvForm<QDialog>::eventFilter(watched, event);
}

void frmCreateReplica::showVolume(const QString& root)
{
    const QFileInfo info(root);
    if (!info.isDir() || !info.isReadable() || !QDir(root).isReadable()) {
        // A drive that cannot be read: back to the drive of the folder still shown.
        QSignalBlocker block(drvList);
        drvList->setCurrentIndex(drvList->findText(m_drive));
        return;
    }
    setDirPath(root);
}

void frmCreateReplica::drvList_Change() { showVolume(drvList->currentText()); }

void frmCreateReplica::dirList_Change()
{
    // Only the user's choice counts: the list moving its current row because a folder vanished from it does
    // not change where the replicas go.
    if (m_showing || m_removingRows)
        return;
    const QString path = m_folders->filePath(dirList->currentIndex());
    if (!path.isEmpty()) {
        clearGone();
        m_dirPath = path;
        m_followLoads = false;
    }
}

void frmCreateReplica::cmdCreateRep_Click()
{
    // A click that arrives while a replica is being made (the progress lets events through) is not a second run.
    if (m_making)
        return;
    // Making the replicas keeps the program painted; this window and its synchronizer stay until it is over.
    const WidgetDeletionsHeld held;
    m_goneShown = false;  // what Create says replaces it
    // The file the step under way writes: the office's own file until the copies begin. A failure names
    // it, so the user knows which disk to free.
    QString writing = gDbPath;
    try {
        const double count = RoundHalfEven(Val(txtNumReps->text()));
        if (count < -32768 || count > 32767)
            throw KrvError(6, QStringLiteral("Overflow"));
        const QString name = txtFileName->text().trimmed();
        if (!HasReplicaExtension(name)) {
            MsgBox(QStringLiteral("The replica file name must have a tunnel database file extension (*.db)\n"
                                  "Please change your Replica filename to have this extension"),
                   MsgButtons::Ok, MsgIcon::None, QStringLiteral("Invalid Extension"));
            return;
        }
        // A folder gone since it was chosen (a stick pulled out) makes no replica and no member of the set.
        const QFileInfo folder(m_dirPath);
        if (!folder.isDir() || !folder.isWritable()) {
            KrvError err(ErrNo::PathNotFound,
                         QStringLiteral("The folder %1 cannot be written.").arg(QDir::toNativeSeparators(m_dirPath)));
            err.setFile(m_dirPath.endsWith(QLatin1Char('/')) ? m_dirPath : m_dirPath + QLatin1Char('/'),
                        folder.isDir() ? EACCES : ENOENT);
            throw err;
        }
        m_making = true;
        cmdCreateRep->setEnabled(false);
        cmdCancel->setEnabled(false);
        setCursor(Qt::WaitCursor);
        m_requested = std::int16_t(count);
        m_current = 0;

        Synch = std::make_unique<Varnock::Synchronizer>();
        connect(Synch.get(), &Varnock::Synchronizer::BeginMakeReplica, this, [this] { Synch_BeginMakeReplica(); });
        connect(Synch.get(), &Varnock::Synchronizer::MakeReplicaProgress, this,
                [this](std::int32_t& d, std::int32_t& t, bool& c) { Synch_MakeReplicaProgress(d, t, c); });
        Synch->setLogFile(ProgramFile(kReplicaLogName));
        Synch->setDatabaseName(gDbPath);
        KeepRightsAtMaster(gDbPath);
        if (!Synch->Running())
            Synch->setRunning(true);
        QCoreApplication::processEvents();

        const QString description = ReplicaDescription(QDate::currentDate());
        for (int i = 1; i <= m_requested; ++i) {
            m_current = std::int16_t(i);
            prgStatus->setValue(0);
            const QString path = ReplicaFilePath(m_dirPath, name, m_requested, i);
            const QFileInfo target(path);
            if (target.exists() || target.isSymLink()) {
                MsgBox(QStringLiteral("The file you specified already exists.\n"
                                      "Please choose another filename for the replica."));
                endMaking();
                return;
            }
            prgStatus->show();
            writing = path;
            Synch->MakeReplica(path, description, std::int32_t(-1), false, false, false, Varnock::synchGlobalReplica);
        }
        prgStatus->hide();
        // Names what was written: the file, or the first and last of a numbered run.
        const QString first = QFileInfo(ReplicaFilePath(m_dirPath, name, m_requested, 1)).fileName();
        const QString last = QFileInfo(ReplicaFilePath(m_dirPath, name, m_requested, m_requested)).fileName();
        const QString files = m_requested > 1 ? QStringLiteral("%1 to %2").arg(first, last) : first;
        // A count of none writes nothing, and names nothing.
        lblStatus->setText(m_requested < 1 ? QStringLiteral("Replica creation complete.")
                                           : QStringLiteral("Replica creation complete: %1 in %2.")
                                                 .arg(files, QDir::toNativeSeparators(m_dirPath)));
        endMaking();
    } catch (const std::exception& e) {
        lblStatus->setText(QStringLiteral("Replica creation failed."));
        prgStatus->hide();
        LogFieldError(QStringLiteral("Error creating Inspection Replica."), objectName(), e, writing);
        endMaking();
    }
}

void frmCreateReplica::endMaking()
{
    if (Synch) {
        try {
            Synch->setRunning(false);
        } catch (...) {
            // Stopping is best effort; the object goes all the same.
        }
        Synch.reset();
    }
    unsetCursor();
    m_making = false;
    cmdCreateRep->setEnabled(true);
    cmdCancel->setEnabled(true);
}

void frmCreateReplica::cmdCancel_Click()
{
    if (m_making)
        return;
    Unload();
}

void frmCreateReplica::reject()
{
    cmdCancel_Click();
}

void frmCreateReplica::Synch_BeginMakeReplica()
{
    lblStatus->setText(QStringLiteral("Creating replica %1 of %2").arg(m_current).arg(m_requested));
}

void frmCreateReplica::Synch_MakeReplicaProgress(std::int32_t& done, std::int32_t& total, bool& cancel)
{
    Q_UNUSED(cancel);
    // Phase events carry no total; a bar with a maximum of 0 or less would only flicker.
    if (total > 0) {
        prgStatus->setMaximum(total);
        prgStatus->setValue(std::clamp(done, 0, total));
    }
    repaint();
    QCoreApplication::processEvents();
}

#include "frmVideo.h"

#include "clicklabel.h"
#include "dbmedia.h"
#include "failurereason.h"
#include "frmAbout.h"
#include "frmVideo_copy.h"
#include "frmVideo_player.h"
#include "helpers.h"
#include "mediafiles.h"
#include "modkrv.h"
#include "prompt.h"
#include "regularfiles.h"
#include "settings.h"
#include "textfit.h"
#include "uihelpers.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>

#include <cerrno>
#include <memory>
#include <utility>

namespace {
const QString kSource = QStringLiteral("frmVideo");
const QString kClipPattern = QStringLiteral("*.avi");

QPushButton* button(QWidget* parent, const char* name, const QString& caption, const QString& tip, double top)
{
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QLatin1String(name));
    if (!tip.isEmpty())
        b->setToolTip(tip);
    b->setAutoDefault(false);
    PlaceTwips(b, 5160, top, 1335, 375);
    return b;
}

QString selectedText(const QListWidget* list)
{
    const QListWidgetItem* item = list->currentItem();
    return item && item->isSelected() ? item->text() : QString();
}
}  // namespace

frmVideo::frmVideo(QWidget* parent) : KrvForm<QWidget>(QStringLiteral("frmVideo"), parent)
{
    setWindowTitle(QStringLiteral("Video"));
    resize(TwipsToPixels(kClientWidth), TwipsToPixels(kClientHeight));

    Media = new ClipPlayer(true, this);
    Media->setObjectName(QStringLiteral("Media"));
    PlaceTwips(Media, 0, 0, 6495, 3975);

    fraBottom = new QFrame(this);
    fraBottom->setObjectName(QStringLiteral("fraBottom"));
    fraBottom->setFrameShape(QFrame::NoFrame);
    PlaceTwips(fraBottom, 120, 4080, 6615, 2295);

    Label1 = new QLabel(QStringLiteral("Available Videos"), fraBottom);
    Label1->setObjectName(QStringLiteral("Label1"));
    PlaceTwips(Label1, 0, 0, 2415, 240);
    fileVideos = new QListWidget(fraBottom);
    fileVideos->setObjectName(QStringLiteral("fileVideos"));
    PlaceTwips(fileVideos, 0, 240, 2415, 1650);

    Label2 = new QLabel(QStringLiteral("Selected Videos"), fraBottom);
    Label2->setObjectName(QStringLiteral("Label2"));
    PlaceTwips(Label2, 2520, 0, 2415, 255);
    lstSelected = new QListWidget(fraBottom);
    lstSelected->setObjectName(QStringLiteral("lstSelected"));
    PlaceTwips(lstSelected, 2520, 240, 2415, 1620);

    cmdCopy = button(fraBottom, "cmdCopy", QStringLiteral("&Browse..."), QStringLiteral("Browse Video Clips"), 240);
    cmdRemove = button(fraBottom, "cmdRemove", QStringLiteral("&Remove Video"), QStringLiteral("Remove Video Clip"),
                       720);
    cmdStore = button(fraBottom, "cmdStore", QStringLiteral("&Store Video"), QStringLiteral("Store Video Clip"), 1200);
    cmdClose = button(fraBottom, "cmdClose", QStringLiteral("&Close"), QString(), 1680);
    // One column, as wide as its widest caption needs in the desktop's face.
    WidenToWidest({cmdCopy, cmdRemove, cmdStore, cmdClose});
    cmdRemove->setEnabled(false);
    cmdStore->setEnabled(false);

    imgCorvane = new ClickLabel(QString(), fraBottom);
    imgCorvane->setObjectName(QStringLiteral("imgCorvane"));
    imgCorvane->setPixmap(ProgramLogo(TwipsToPixels(360)));
    imgCorvane->setCursor(Qt::PointingHandCursor);
    PlaceTwips(imgCorvane, 0, 1935, 360, 360);
    lblKRV = new ClickLabel(QStringLiteral("Quorrel"), fraBottom);
    lblKRV->setObjectName(QStringLiteral("lblKRV"));
    lblKRV->setCursor(Qt::PointingHandCursor);
    PlaceTwips(lblKRV, 420, 2010, 1100, 255);

    setTabOrder(cmdClose, fileVideos);
    setTabOrder(fileVideos, cmdCopy);
    setTabOrder(cmdCopy, lstSelected);
    setTabOrder(lstSelected, cmdStore);
    setTabOrder(cmdStore, cmdRemove);

    // A list's Click runs for a keyboard move and for a mouse click alike, once: the press
    // that selects an entry has run it already when its click arrives.
    auto listClick = [this](QListWidget* list, void (frmVideo::*click)()) {
        auto movedByPress = std::make_shared<bool>(false);
        connect(list, &QListWidget::itemSelectionChanged, this, [this, click, movedByPress] {
            *movedByPress = QApplication::mouseButtons() != Qt::NoButton;
            (this->*click)();
        });
        connect(list, &QListWidget::itemClicked, this, [this, click, movedByPress] {
            if (std::exchange(*movedByPress, false))
                return;
            (this->*click)();
        });
    };
    listClick(fileVideos, &frmVideo::fileVideos_Click);
    listClick(lstSelected, &frmVideo::lstSelected_Click);
    connect(Media, &ClipPlayer::streamOpened, this, &frmVideo::Media_NewStream);
    connect(cmdStore, &QPushButton::clicked, this, &frmVideo::cmdStore_Click);
    connect(cmdRemove, &QPushButton::clicked, this, &frmVideo::cmdRemove_Click);
    connect(cmdCopy, &QPushButton::clicked, this, &frmVideo::cmdCopy_Click);
    connect(cmdClose, &QPushButton::clicked, this, &frmVideo::cmdClose_Click);
    connect(imgCorvane, &ClickLabel::clicked, this, &frmVideo::showAbout);
    connect(lblKRV, &ClickLabel::clicked, this, &frmVideo::showAbout);
    ArrangeControls();
}

void frmVideo::LoadForm(qint32 PanelID, qint32 TunnelID, qint32 ElementID, qint32 InspectionID)
{
    m_panelId = PanelID;
    m_tunnelId = TunnelID;
    SetFormTunnel(this, TunnelID);
    m_elementId = ElementID;
    m_inspectionId = InspectionID;
    m_cellNeeds = DbMediaCellNeeds(PanelID, ElementID, InspectionID);

    // The folder is made with the inspection year, never here.
    m_folder = GetVideoFolder(m_tunnelId, m_inspectionId);
    if (m_folder.isEmpty() || !QFileInfo(m_folder).isDir()) {
        MsgBox(QStringLiteral("Unable to locate video directory: ") + QDir::toNativeSeparators(m_folder), MsgButtons::Ok,
               MsgIcon::Critical);
        Unload();
        return;
    }
    RefreshFileList();

    const RowSet clips = DbGetVideos(m_panelId, m_elementId, m_inspectionId);
    {
        const QSignalBlocker quiet(lstSelected);
        lstSelected->clear();
        for (int i = 0; i < clips.count(); ++i)
            lstSelected->addItem(clips.value(i, QStringLiteral("VideoFile")).toString());
    }
    RestoreFormPosition(this);
    show();
}

void frmVideo::RefreshFileList()
{
    const QSignalBlocker quiet(fileVideos);
    fileVideos->clear();
    if (m_folder.isEmpty())
        return;
    fileVideos->addItems(RegularFileNames(m_folder, {kClipPattern}));
}

void frmVideo::fileVideos_Click()
{
    try {
        const QString name = selectedText(fileVideos);
        if (name.isEmpty())
            return;
        Media->setFile(m_folder + name, true);
        cmdStore->setEnabled(true);
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Unable to locate video file"), kSource, e);
    }
}

void frmVideo::lstSelected_Click()
{
    try {
        const QString name = selectedText(lstSelected);
        if (name.isEmpty())
            return;
        Media->setFile(m_folder + name, true);
        cmdRemove->setEnabled(true);
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Unable to locate video file"), kSource, e);
    }
}

void frmVideo::Media_NewStream()
{
    try {
        setWindowTitle(QStringLiteral("Video - ") + GetFileTitle(Media->file()));
    } catch (const std::exception& e) {
        // Recorded in the error log only.
        LogError(QString(), kSource, e);
    }
}

void frmVideo::cmdStore_Click()
{
    try {
        const QString name = selectedText(fileVideos);
        if (name.isEmpty()) {
            MsgBox(QStringLiteral("You must select a video from the Available Videos list."), MsgButtons::Ok,
                   MsgIcon::None, QStringLiteral("Store Video"));
            return;
        }
        const ClipAdded added = DbAddVideo(m_panelId, m_elementId, m_inspectionId, name, m_cellNeeds);
        if (added == ClipAdded::Added) {
            const QSignalBlocker quiet(lstSelected);
            lstSelected->addItem(name);
        } else if (added == ClipAdded::Already) {
            MsgBox(QStringLiteral("This file has already been selected."), MsgButtons::Ok, MsgIcon::Information,
                   QStringLiteral("Add Video Clip"));
        }
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error storing video file"), kSource, e);
    }
}

void frmVideo::cmdRemove_Click()
{
    try {
        QListWidgetItem* item = lstSelected->currentItem();
        if (!item || !item->isSelected()) {
            MsgBox(QStringLiteral("You must select a video from the Selected Videos list."), MsgButtons::Ok,
                   MsgIcon::None, QStringLiteral("Remove Video"));
            return;
        }
        const QString name = item->text();
        if (MsgBox(QStringLiteral("Are you sure you want to remove ") + name + QStringLiteral(" from this element?"),
                   MsgButtons::YesNo, MsgIcon::None, QStringLiteral("Remove Video"), MsgAnswer::Yes)
            != MsgAnswer::Yes)
            return;
        DbDeleteVideo(m_panelId, m_elementId, m_inspectionId, name);
        // The list is left without a selection, as after the removal of a selected entry;
        // the clip file stays and the player keeps what it holds.
        const QSignalBlocker quiet(lstSelected);
        delete lstSelected->takeItem(lstSelected->row(item));
        lstSelected->setCurrentRow(-1);
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error removing video file"), kSource, e);
    }
}

void frmVideo::cmdCopy_Click()
{
    try {
        // Cameras name their clips in capitals; the dialog's pattern matches case here.
        const QString chosen = Prompt().openFileName(QStringLiteral("Open"), m_folder + kClipPattern,
                                                     QStringLiteral("Video Files (*.avi *.AVI)"));
        if (chosen.isEmpty()) {
            RefreshFileList();
            return;
        }
        // A pipe or a device is refused at once, wherever it is: nothing ever opens it.
        if (!IsRegularFile(chosen)) {
            MsgBox(WithReason(QStringLiteral("Invalid video file."), SystemErrorReason(EINVAL, chosen)),
                   MsgButtons::Ok, MsgIcon::Critical, QStringLiteral("Error"));
            return;
        }
        // A clip of the folder itself is attached from the file list.
        if (SameFolderText(GetFolderPart(chosen), m_folder))
            return;
        if (MsgBox(QStringLiteral("This file must be copied to the application data path to be associated with "
                                  "this tunnel.\rContinue with copy and store video?"),
                   MsgButtons::YesNo, MsgIcon::None, QStringLiteral("Warning!"), MsgAnswer::Yes)
            != MsgAnswer::Yes)
            return;

        // Another element's clip of the same name stays: the copy takes a free name, or the
        // file there is used when it holds the same clip.
        const MediaPlacement placed = PlaceMediaFile(chosen, m_folder, [this](const QString& name) {
            return DbMediaFileInUse(m_inspectionId, MediaKind::Video, name);
        });
        if (!placed.ok()) {
            MsgBox(WithReason(QStringLiteral("Unable to copy file ") + QDir::toNativeSeparators(chosen)
                                  + QStringLiteral(".  File may be in use."),
                              placed.reason),
                   MsgButtons::Ok, MsgIcon::Critical, QStringLiteral("Error"));
            return;
        }
        const QString bareName = placed.name;
        RefreshFileList();

        for (int i = 0; i < lstSelected->count(); ++i)
            if (lstSelected->item(i)->text() == bareName) {
                MsgBox(QStringLiteral("This video has already been added to the photo list."));
                return;
            }
        const ClipAdded added = DbAddVideo(m_panelId, m_elementId, m_inspectionId, bareName, m_cellNeeds);
        if (added == ClipAdded::Gone)
            return;
        if (added == ClipAdded::Already) {
            MsgBox(QStringLiteral("This file has already been selected."), MsgButtons::Ok, MsgIcon::Information,
                   QStringLiteral("Add Video Clip"));
            return;
        }
        {
            const QSignalBlocker quiet(lstSelected);
            lstSelected->addItem(bareName);
        }
        MsgBox(QStringLiteral("The video has been stored."));
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error copying video file"), kSource, e);
    }
}

void frmVideo::cmdClose_Click()
{
    Unload();
}

void frmVideo::FormUnload()
{
    SaveFormPosition(this);
}

void frmVideo::resizeEvent(QResizeEvent* event)
{
    KrvForm<QWidget>::resizeEvent(event);
    ArrangeControls();
}

void frmVideo::ArrangeControls()
{
    const double innerWidth = PixelsToTwips(width());
    const double innerHeight = PixelsToTwips(height());
    const double frameLeft = 120;
    const double frameHeight = 2295;
    const double frameWidth = VarMax(innerWidth - 120 - frameLeft, 6600.0);
    const double frameTop = VarMax(innerHeight - 120 - frameHeight, 1000.0);
    PlaceTwips(fraBottom, frameLeft, frameTop, frameWidth, frameHeight);
    PlaceTwips(Media, 0, 0, VarMax(innerWidth - 120 - 0, 1000.0), frameTop - 0);
    const double buttonLeft = frameWidth - 120 - PixelsToTwips(cmdCopy->width());
    for (QPushButton* b : {cmdCopy, cmdRemove, cmdStore, cmdClose})
        b->move(TwipsToPixels(buttonLeft), b->y());
}

void frmVideo::showAbout()
{
    auto* about = new frmAbout(this);
    about->exec();
}

#include "frmVideoView.h"

#include "clicklabel.h"
#include "dbmedia.h"
#include "frmAbout.h"
#include "frmVideo_player.h"
#include "helpers.h"
#include "regularfiles.h"
#include "lookups.h"
#include "modkrv.h"
#include "uihelpers.h"

#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>

#include <cmath>

namespace {
// Cell 0 as designed, in twips of the strip.
constexpr double kCellLeft = 120;
constexpr double kMediaTop = 120;
constexpr double kMediaWidth = 1335;
constexpr double kMediaHeight = 1095;
constexpr double kLabelTop = 1200;
constexpr double kLabelWidth = 1320;
constexpr double kLabelHeight = 225;
constexpr double kContainerWidth = 1815;
constexpr double kScrollWidth = 255;
constexpr double kPlayerLeft = 1920;
constexpr double kFrameLeft = 60;
constexpr double kFrameHeight = 615;
constexpr double kButtonWidth = 855;
// The selected label's back colour (pale yellow, BGR).
constexpr quint32 kSelectedBack = 0x0080FFFF;

QPushButton* button(QWidget* parent, const char* name, const QString& caption, const QString& tip)
{
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QLatin1String(name));
    b->setToolTip(tip);
    b->setAutoDefault(false);
    return b;
}
}  // namespace

frmVideoView::frmVideoView(QWidget* parent) : KrvForm<QWidget>(QStringLiteral("frmVideoView"), parent)
{
    setWindowTitle(QStringLiteral("Video"));
    resize(TwipsToPixels(kClientWidth), TwipsToPixels(kClientHeight));

    picContainer = new QWidget(this);
    picContainer->setObjectName(QStringLiteral("picContainer"));
    picContainer->setAutoFillBackground(true);
    QPalette white = picContainer->palette();
    white.setColor(QPalette::Window, Qt::white);
    picContainer->setPalette(white);
    picContainer->setFocusPolicy(Qt::StrongFocus);
    setTwips(picContainer, {0, 0, kContainerWidth, 5295});

    picMedia = new QWidget(picContainer);
    picMedia->setObjectName(QStringLiteral("picMedia"));
    setTwips(picMedia, {0, 0, 1575, 4215});

    VScroll1 = new QScrollBar(Qt::Vertical, picContainer);
    VScroll1->setObjectName(QStringLiteral("VScroll1"));
    // The focus stays with the clip list.
    VScroll1->setFocusPolicy(Qt::NoFocus);
    VScroll1->setSingleStep(240);
    VScroll1->setRange(0, 0);
    VScroll1->setVisible(false);
    setTwips(VScroll1, {1560, 0, kScrollWidth, 4215});

    mdaSelected = new ClipPlayer(true, this);
    mdaSelected->setObjectName(QStringLiteral("mdaSelected"));
    setTwips(mdaSelected, {kPlayerLeft, 0, 5775, 5175});

    fraBottom = new QFrame(this);
    fraBottom->setObjectName(QStringLiteral("fraBottom"));
    fraBottom->setFrameShape(QFrame::NoFrame);
    setTwips(fraBottom, {kFrameLeft, 5280, 4455, kFrameHeight});
    Image1 = new QLabel(fraBottom);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setPixmap(ProgramLogo(TwipsToPixels(480)));
    setTwips(Image1, {60, 75, 480, 480});
    Label1 = new QLabel(QStringLiteral("Quorrel"), fraBottom);
    Label1->setObjectName(QStringLiteral("Label1"));
    setTwips(Label1, {600, 210, 900, 255});
    cmdPrevious = button(fraBottom, "cmdPrevious", QStringLiteral("Previous"), QStringLiteral("Previous Video Clip"));
    setTwips(cmdPrevious, {1560, 120, kButtonWidth, 375});
    cmdNext = button(fraBottom, "cmdNext", QStringLiteral("Next"), QStringLiteral("Next Video Clip"));
    setTwips(cmdNext, {2520, 120, kButtonWidth, 375});
    cmdClose = button(fraBottom, "cmdClose", QStringLiteral("Close"), QStringLiteral("Close"));
    setTwips(cmdClose, {3480, 120, kButtonWidth, 375});
    cmdPrevious->setEnabled(false);

    addCell();

    connect(cmdNext, &QPushButton::clicked, this, &frmVideoView::cmdNext_Click);
    connect(cmdPrevious, &QPushButton::clicked, this, &frmVideoView::cmdPrevious_Click);
    connect(cmdClose, &QPushButton::clicked, this, &frmVideoView::cmdClose_Click);
    connect(VScroll1, &QScrollBar::valueChanged, this, &frmVideoView::VScroll1_Change);
    connect(VScroll1, &QScrollBar::sliderMoved, this, &frmVideoView::VScroll1_Change);
    ArrangeControls();
}

void frmVideoView::setTwips(QWidget* control, const TwipRect& r)
{
    m_twips.insert(control, r);
    control->setGeometry(TwipsToPixels(r.left), TwipsToPixels(r.top), TwipsToPixels(r.width),
                         TwipsToPixels(r.height));
}

// A cell as designed for cell 0; ArrangeClips places the others.
void frmVideoView::addCell()
{
    const int index = int(Media.size());
    auto* media = new ClipPlayer(false, picMedia);
    media->setObjectName(QStringLiteral("Media"));
    setTwips(media, {kCellLeft, kMediaTop, kMediaWidth, kMediaHeight});
    auto* label = new ClickLabel(QString(), picMedia);
    label->setObjectName(QStringLiteral("lblMedia"));
    label->setCursor(Qt::PointingHandCursor);
    label->setAlignment(Qt::AlignCenter);
    QPalette pale = label->palette();
    pale.setColor(QPalette::Window, BgrToColor(kSelectedBack));
    label->setPalette(pale);
    markLabel(label, false);
    setTwips(label, {kCellLeft, kLabelTop, kLabelWidth, kLabelHeight});
    connect(label, &ClickLabel::clicked, this, [this, index] { lblMedia_Click(index); });
    media->show();
    label->show();
    Media.append(media);
    lblMedia.append(label);
}

void frmVideoView::markLabel(ClickLabel* label, bool selected)
{
    label->setFrameShape(selected ? QFrame::Box : QFrame::NoFrame);
    label->setAutoFillBackground(selected);
}

void frmVideoView::LoadForm(qint32 PanelID, qint32 ElementID, qint32 InspectionID)
{
    m_panelId = PanelID;
    m_elementId = ElementID;
    m_inspectionId = InspectionID;
    const qint32 year = DbGetInspectionYear(m_inspectionId);
    m_tunnelId = DbGetInspectionTunnelID(m_inspectionId, year);
    SetFormTunnel(this, m_tunnelId);

    LoadClipList();
    cmdNext->setEnabled(Media.size() >= 2);
    SelectClip(0);
    show();
}

// Back to the design state: cell 0 alone, empty and unmarked, the strip at its top.
void frmVideoView::ClearClipList()
{
    while (Media.size() > 1) {
        delete Media.takeLast();
        delete lblMedia.takeLast();
    }
    Media[0]->setFile(QString(), false);
    lblMedia[0]->clear();
    markLabel(lblMedia[0], false);
    m_currentClip = 0;
    VScroll1->setValue(0);
    VScroll1_Change(0);
}

void frmVideoView::LoadClipList()
{
    // A second call on the open window rebuilds the list rather than stacking cells on it.
    ClearClipList();
    const QString folder = GetVideoFolder(m_tunnelId, m_inspectionId);
    const RowSet clips = DbGetVideos(m_panelId, m_elementId, m_inspectionId);
    for (int i = 0; i < clips.count(); ++i) {
        if (i > 0)
            addCell();
        const QString name = clips.value(i, QStringLiteral("VideoFile")).toString();
        // A clip whose file is gone keeps an empty cell, without a message.
        if (!name.isEmpty() && IsRegularFile(folder + name)) {
            Media[i]->setFile(folder + name, false);
            lblMedia[i]->setText(name);
        }
        Media[i]->setVisible(true);
        lblMedia[i]->setVisible(true);
    }
    ArrangeControls();
}

void frmVideoView::ArrangeClips()
{
    const TwipRect first = Twips(Media[0]);
    const double cellWidth = first.width + 120;
    const int columns = VarMax(1, int(std::floor(std::floor(Twips(picMedia).width) / cellWidth)));
    for (int i = 1; i < Media.size(); ++i) {
        const double left = cellWidth * (i % columns) + 120;
        const double top = (first.height + Twips(lblMedia[i]).height + 120) * (i / columns) + 120;
        setTwips(Media[i], {left, top, first.width, first.height});
        TwipRect label = Twips(lblMedia[i]);
        setTwips(lblMedia[i], {left, top + first.height, label.width, label.height});
    }
    const TwipRect last = Twips(lblMedia.last());
    TwipRect strip = Twips(picMedia);
    strip.height = last.top + last.height + 240;
    setTwips(picMedia, strip);

    const TwipRect container = Twips(picContainer);
    if (strip.height > container.height) {
        // Twips of a long list pass 32767: plain ints.
        VScroll1->setMaximum(int(std::lround(strip.height - container.height)));
        VScroll1->setPageStep(int(std::lround(0.9 * container.height)));
        VScroll1->setVisible(true);
    } else {
        // With the bar hidden the strip cannot stay scrolled out of reach.
        VScroll1->setVisible(false);
        VScroll1->setRange(0, 0);
    }
}

void frmVideoView::SelectClip(int index)
{
    if (index < 0 || index >= Media.size())
        return;
    mdaSelected->setFile(Media[index]->file(), true);
    if (m_currentClip >= 0 && m_currentClip < lblMedia.size())
        markLabel(lblMedia[m_currentClip], false);
    markLabel(lblMedia[index], true);
    m_currentClip = index;
    cmdNext->setEnabled(m_currentClip < HighestIndex());
    cmdPrevious->setEnabled(m_currentClip > 0);

    // Bring the cell into view, in the strip's twips.
    const double stripTop = Twips(picMedia).top;
    const double containerHeight = Twips(picContainer).height;
    const TwipRect label = Twips(lblMedia[index]);
    const double needed = label.top + label.height + 240;
    if (containerHeight - stripTop < needed)
        VScroll1->setValue(int(std::lround(needed - containerHeight)));
    else if (-stripTop > Twips(Media[index]).top)
        VScroll1->setValue(int(std::lround(Twips(Media[index]).top)));
}

void frmVideoView::VScroll1_Change(int value)
{
    TwipRect strip = Twips(picMedia);
    strip.top = -value;
    setTwips(picMedia, strip);
}

void frmVideoView::cmdNext_Click()
{
    SelectClip(m_currentClip + 1);
}

void frmVideoView::cmdPrevious_Click()
{
    SelectClip(m_currentClip - 1);
}

void frmVideoView::lblMedia_Click(int index)
{
    SelectClip(index);
}

void frmVideoView::cmdClose_Click()
{
    Unload();
}

void frmVideoView::resizeEvent(QResizeEvent* event)
{
    KrvForm<QWidget>::resizeEvent(event);
    ArrangeControls();
}

void frmVideoView::ArrangeControls()
{
    const double innerWidth = PixelsToTwips(width());
    const double innerHeight = PixelsToTwips(height());
    TwipRect frame = Twips(fraBottom);
    TwipRect player = Twips(mdaSelected);
    frame.width = VarMax(innerWidth - 120 - frame.left, 4450.0);
    player.width = VarMax(innerWidth - 60 - player.left, 200.0);
    frame.top = innerHeight - frame.height - 60;
    player.height = VarMax(frame.top - player.top, 200.0);
    setTwips(fraBottom, frame);
    setTwips(mdaSelected, player);
    TwipRect close = Twips(cmdClose);
    close.left = frame.width - 120 - close.width;
    setTwips(cmdClose, close);

    TwipRect container = Twips(picContainer);
    container.height = player.height;
    setTwips(picContainer, container);
    TwipRect strip = Twips(picMedia);
    strip.width = container.width - Twips(VScroll1).width;
    setTwips(picMedia, strip);
    TwipRect bar = Twips(VScroll1);
    bar.left = strip.width;
    bar.height = container.height;
    setTwips(VScroll1, bar);
    ArrangeClips();
}

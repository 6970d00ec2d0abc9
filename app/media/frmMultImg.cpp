#include "frmMultImg.h"

#include "clicklabel.h"
#include "db.h"
#include "frmAbout.h"
#include "frmImages.h"
#include "helpers.h"
#include "krverror.h"
#include "lookups.h"
#include "modkrv.h"
#include "prompt.h"
#include "regularfiles.h"
#include "uihelpers.h"

#include <QAction>
#include <QCursor>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImageReader>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <QScrollBar>

#include <cmath>

namespace {

const QString kSource = QStringLiteral("frmMultImg");
constexpr int kThumb = 1095;  // thumbnail side, twips
constexpr int kMark = 1155;   // red square behind the selected one

int tw(int pixels) { return int(PixelsToTwips(pixels)); }

QPixmap redSquare()
{
    QPixmap p(77, 77);
    p.fill(Qt::red);
    return p;
}

}  // namespace

frmMultImg::frmMultImg(QWidget* parent) : KrvForm<QWidget>(QStringLiteral("frmMultImg"), parent)
{
    setWindowTitle(QStringLiteral("Multiple Images"));

    Picture1 = new QWidget(this);
    Picture1->setObjectName(QStringLiteral("Picture1"));
    Picture1->setFocusPolicy(Qt::StrongFocus);
    Picture1->setAutoFillBackground(true);
    Picture1->installEventFilter(this);
    PlaceTwips(Picture1, 120, 120, 6375, 3135);
    Picture2 = new QWidget(Picture1);
    Picture2->setObjectName(QStringLiteral("Picture2"));
    PlaceTwips(Picture2, 0, 5, 6364, 3035);

    VScroll1 = new QScrollBar(Qt::Vertical, this);
    VScroll1->setObjectName(QStringLiteral("VScroll1"));
    VScroll1->setEnabled(false);
    VScroll1->setRange(0, 0);
    VScroll1->installEventFilter(this);
    PlaceTwips(VScroll1, 6510, 110, 255, 3150);

    cmdBack = new QPushButton(QStringLiteral("<"), this);
    cmdBack->setObjectName(QStringLiteral("cmdBack"));
    cmdBack->setToolTip(QStringLiteral("Previous Image"));
    PlaceTwips(cmdBack, 2160, 3360, 375, 375);
    txtIndex = new QLineEdit(this);
    txtIndex->setObjectName(QStringLiteral("txtIndex"));
    txtIndex->setToolTip(QStringLiteral("Image Number"));
    txtIndex->installEventFilter(this);
    PlaceTwips(txtIndex, 2640, 3360, 495, 375);
    Label1 = new QLabel(QStringLiteral("of"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    PlaceTwips(Label1, 3240, 3420, 255, 255);
    txtTotal = new QLabel(this);
    txtTotal->setObjectName(QStringLiteral("txtTotal"));
    QFont bold = txtTotal->font();
    bold.setBold(true);
    txtTotal->setFont(bold);
    PlaceTwips(txtTotal, 3600, 3420, 375, 255);
    cmdNext = new QPushButton(QStringLiteral(">"), this);
    cmdNext->setObjectName(QStringLiteral("cmdNext"));
    cmdNext->setToolTip(QStringLiteral("Next Image"));
    PlaceTwips(cmdNext, 4080, 3360, 375, 375);
    cmdView = new QPushButton(QStringLiteral("View"), this);
    cmdView->setObjectName(QStringLiteral("cmdView"));
    cmdView->setToolTip(QStringLiteral("View Image"));
    PlaceTwips(cmdView, 4920, 3360, 855, 375);
    cmdClose = new QPushButton(QStringLiteral("Close"), this);
    cmdClose->setObjectName(QStringLiteral("cmdClose"));
    cmdClose->setToolTip(QStringLiteral("Close"));
    PlaceTwips(cmdClose, 5910, 3360, 855, 375);
    setTabOrder(cmdBack, txtIndex);
    setTabOrder(txtIndex, cmdNext);
    setTabOrder(cmdNext, cmdView);
    setTabOrder(cmdView, cmdClose);

    Image1 = new ClickLabel(QString(), this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setPixmap(ProgramLogo(TwipsToPixels(375)));
    Image1->setCursor(Qt::PointingHandCursor);
    PlaceTwips(Image1, 120, 3360, 375, 375);
    Label2 = new ClickLabel(QStringLiteral("Quorrel"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setCursor(Qt::PointingHandCursor);
    PlaceTwips(Label2, 555, 3540, 1200, 255);

    mnuPhotograph = new QMenu(QStringLiteral("Photograph"), this);
    mnuPhotograph->setObjectName(QStringLiteral("mnuPhotograph"));
    auto item = [this](const char* name, const QString& text) {
        QAction* a = mnuPhotograph->addAction(text);
        a->setObjectName(QString::fromLatin1(name));
        return a;
    };
    mnuDelete = item("mnuDelete", QStringLiteral("Remove Photograph"));
    mnuNext = item("mnuNext", QStringLiteral("Next Photograph"));
    mnuPrevious = item("mnuPrevious", QStringLiteral("Previous Photograph"));
    mnuView = item("mnuView", QStringLiteral("View Photograph"));
    mnuClose = item("mnuClose", QStringLiteral("Close"));

    // Thumbnail 0 and its mark are part of the window; the others come and go with the photos.
    newThumbnail(0);

    connect(cmdNext, &QPushButton::clicked, this, &frmMultImg::cmdNext_Click);
    connect(mnuNext, &QAction::triggered, this, &frmMultImg::cmdNext_Click);
    connect(cmdBack, &QPushButton::clicked, this, &frmMultImg::cmdBack_Click);
    connect(mnuPrevious, &QAction::triggered, this, &frmMultImg::cmdBack_Click);
    connect(cmdView, &QPushButton::clicked, this, &frmMultImg::cmdView_Click);
    connect(mnuView, &QAction::triggered, this, &frmMultImg::cmdView_Click);
    connect(mnuDelete, &QAction::triggered, this, &frmMultImg::mnuDelete_Click);
    connect(cmdClose, &QPushButton::clicked, this, [this] { Unload(); });
    connect(mnuClose, &QAction::triggered, this, [this] { Unload(); });
    connect(VScroll1, &QScrollBar::valueChanged, this, &frmMultImg::VScroll1_Change);
    connect(Image1, &ClickLabel::clicked, this, &frmMultImg::showAbout);
    connect(Label2, &ClickLabel::clicked, this, &frmMultImg::showAbout);

    resize(TwipsToPixels(6885), TwipsToPixels(3780));
    // Now, not at the first show: the scroll range is worked out from the pane's height.
    layoutControls();
}

QLabel* frmMultImg::newThumbnail(int index)
{
    // The mark first, so that the thumbnail lies above it.
    auto* mark = new QLabel(Picture2);
    mark->setObjectName(QStringLiteral("Image2"));
    mark->setPixmap(redSquare());
    mark->setScaledContents(true);
    mark->resize(TwipsToPixels(kMark), TwipsToPixels(kMark));
    mark->hide();
    auto* thumb = new QLabel(Picture2);
    thumb->setObjectName(QStringLiteral("imgThumbnail"));
    thumb->setScaledContents(true);
    thumb->resize(TwipsToPixels(kThumb), TwipsToPixels(kThumb));
    thumb->setProperty("Index", index);
    thumb->installEventFilter(this);
    Image2.append(mark);
    imgThumbnail.append(thumb);
    m_thumbTw.append(QRect(0, 0, kThumb, kThumb));
    return thumb;
}

void frmMultImg::placeThumbnail(int index, int left, int top)
{
    m_thumbTw[index] = QRect(left, top, kThumb, kThumb);
    PlaceTwips(imgThumbnail[index], left, top, kThumb, kThumb);
    PlaceTwips(Image2[index], left - 30, top - 30, kMark, kMark);
}

QRect frmMultImg::ThumbnailTwips(int i) const
{
    return m_thumbTw.value(i);
}

void frmMultImg::DbLoadPicArray(qint32 PanelID, qint32 ElementID, qint32 InspectionID, bool FieldSketch)
{
    m_picArray.clear();
    const RowSet rows = gConn.query(
        QStringLiteral("SELECT ImagePath FROM ImagePaths WHERE PanelID = ? AND ElementID = ? AND InspectionID = ?")
            + (FieldSketch ? QStringLiteral(" AND FieldSketch <> 0") : QStringLiteral(" AND FieldSketch = 0"))
            + QStringLiteral(" ORDER BY rowid"),
        {PanelID, ElementID, InspectionID});
    for (int i = 0; i < rows.count(); ++i)
        m_picArray << rows.value(i, "ImagePath").toString();
    m_picArray << QString();
}

void frmMultImg::LoadForm(qint32 PanelID, qint32 ElementID, qint32 InspectionID, bool IsFieldSketch)
{
    while (imgThumbnail.size() > 1) {
        delete imgThumbnail.takeLast();
        delete Image2.takeLast();
        m_thumbTw.removeLast();
    }
    m_panelId = PanelID;
    m_elementId = ElementID;
    m_inspectionId = InspectionID;
    m_isFieldSketch = IsFieldSketch;
    DbLoadPicArray(PanelID, ElementID, InspectionID, IsFieldSketch);
    m_picCount = int(m_picArray.size()) - 1;
    m_currentIndex = 0;
    m_tunnelId = DbGetInspectionTunnelID(InspectionID, DbGetInspectionYear(InspectionID));
    SetFormTunnel(this, m_tunnelId);
    const QString folder = GetPhotoFolder(m_tunnelId, InspectionID);

    if (m_picCount == 0) {
        // No photo: the same empty window as after removing the last one.
        setEmpty();
        show();
        return;
    }
    // Whatever the removal of a last photo switched off comes back with photos.
    for (QAction* a : {mnuDelete, mnuView})
        a->setEnabled(true);
    cmdView->setEnabled(true);
    txtIndex->setEnabled(true);
    imgThumbnail[0]->show();

    bool notFound = false;
    // Thumbnails are decoded straight at their own size: the look of a stretched full
    // picture for a fraction of the work.
    auto load = [&](int i) {
        const QString path = folder + m_picArray[i];
        QImage image;
        if (IsRegularFile(path)) {
            QImageReader reader(path);
            reader.setDecideFormatFromContent(true);
            reader.setScaledSize(imgThumbnail[i]->size());
            image = reader.read();
        }
        if (image.isNull()) {
            notFound = true;
            imgThumbnail[i]->clear();
        } else {
            imgThumbnail[i]->setPixmap(QPixmap::fromImage(image));
        }
    };
    load(0);
    placeThumbnail(0, 300, 300);
    Image2[0]->show();
    imgThumbnail[0]->raise();

    for (int i = 1; i < m_picCount; ++i) {
        newThumbnail(i);
        load(i);
        imgThumbnail[i]->show();
        const QRect prev = m_thumbTw[i - 1];
        if (prev.left() <= 3775) {
            placeThumbnail(i, prev.left() + prev.width() + 50, prev.top());
        } else {
            placeThumbnail(i, 300, prev.top() + prev.height() + 50);
            const int bottom = m_thumbTw[i].top() + m_thumbTw[i].height();
            if (bottom > m_stripHeight) {
                m_stripHeight = bottom + 350;
                Picture2->resize(Picture2->width(), TwipsToPixels(m_stripHeight));
                VScroll1->setEnabled(true);
                const int max = m_stripHeight - tw(Picture1->height());
                VScroll1->setRange(0, VarMax(0, max));
                VScroll1->setPageStep(VarMax(1, max / 5));
                VScroll1->setSingleStep(VarMax(1, max / 20));
                VScroll1->setValue(0);
            }
        }
    }
    if (notFound)
        MsgBox(QStringLiteral("One or more of the photos you have requested could not be found."), MsgButtons::Ok,
               MsgIcon::Critical);

    m_currentIndex = 0;
    txtIndex->setText(QStringLiteral("1"));
    m_lastIndex = 1;
    txtTotal->setText(QString::number(m_picCount));
    cmdBack->setEnabled(false);
    mnuPrevious->setEnabled(false);
    cmdNext->setEnabled(m_picCount != 1);
    mnuNext->setEnabled(m_picCount != 1);
    show();
}

void frmMultImg::setEmpty()
{
    imgThumbnail[0]->hide();
    Image2[0]->hide();
    mnuDelete->setEnabled(false);
    mnuView->setEnabled(false);
    cmdView->setEnabled(false);
    txtIndex->setText(QStringLiteral("0"));
    txtIndex->setEnabled(false);
    txtTotal->setText(QStringLiteral("0"));
    m_lastIndex = 0;
    for (QPushButton* b : {cmdNext, cmdBack})
        b->setEnabled(false);
    mnuNext->setEnabled(false);
    mnuPrevious->setEnabled(false);
}

void frmMultImg::navigationUpdate()
{
    txtIndex->setText(QString::number(m_currentIndex + 1));
    m_lastIndex = m_currentIndex + 1;
    const bool last = m_currentIndex == m_picCount - 1;
    cmdNext->setEnabled(!last);
    mnuNext->setEnabled(!last);
    cmdBack->setEnabled(m_currentIndex != 0);
    mnuPrevious->setEnabled(m_currentIndex != 0);
    for (int i = 0; i < Image2.size(); ++i)
        Image2[i]->setVisible(i == m_currentIndex);
}

void frmMultImg::select(int index)
{
    if (index < 0 || index >= m_picCount)
        throw KrvError(9, QStringLiteral("Subscript out of range"));
    m_currentIndex = index;
    navigationUpdate();
}

void frmMultImg::cmdNext_Click()
{
    try {
        select(m_currentIndex + 1);
        Picture1->setFocus();
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error navigating images"), kSource, e);
    }
}

void frmMultImg::cmdBack_Click()
{
    try {
        select(m_currentIndex - 1);
        Picture1->setFocus();
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error navigating images"), kSource, e);
    }
}

void frmMultImg::cmdView_Click()
{
    try {
        m_isFieldSketch = false;
        auto* viewer = new frmImages;
        viewer->LoadForm(m_currentIndex, m_isFieldSketch, m_panelId, m_elementId, m_inspectionId);
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error viewing image"), kSource, e);
    }
}

void frmMultImg::mnuDelete_Click()
{
    if (m_picCount == 0)
        return;
    if (MsgBox(QStringLiteral("Are you sure you want to remove the selected Photograph from this Element?"),
               MsgButtons::YesNo, MsgIcon::None, QStringLiteral("Delete Photograph"), MsgAnswer::No)
        != MsgAnswer::Yes)
        return;
    try {
        WaitCursor wait;
        gConn.exec(QStringLiteral("DELETE FROM ImagePaths WHERE ImagePath = ? AND PanelID = ? AND ElementID = ? "
                                  "AND InspectionID = ?")
                       + (m_isFieldSketch ? QStringLiteral(" AND FieldSketch <> 0") : QStringLiteral(" AND FieldSketch = 0")),
                   {m_picArray.value(m_currentIndex), m_panelId, m_elementId, m_inspectionId});
        if (m_picCount < 2) {
            m_picCount = 0;
            setEmpty();
            return;
        }
        const int old = m_currentIndex;
        LoadForm(m_panelId, m_elementId, m_inspectionId, m_isFieldSketch);
        if (m_picCount == 0)
            return;
        select(VarMin(old, m_picCount - 1));
        if (m_picCount == 1)
            txtIndex->setEnabled(false);
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error removing image"), kSource, e);
    }
}

void frmMultImg::txtIndex_Enter()
{
    const QString message = QStringLiteral("Please enter a number from 1 to ") + txtTotal->text();
    bool numeric = false;
    const double value = QLocale::c().toDouble(txtIndex->text().trimmed(), &numeric);
    if (!numeric || !std::isfinite(value)) {
        MsgBox(message);
        txtIndex->clear();
        return;
    }
    const double whole = std::trunc(value);
    txtIndex->setText(QString::number(whole, 'f', 0));
    if (whole > m_picCount || whole < 1) {
        MsgBox(message);
        txtIndex->setText(QString::number(m_lastIndex));
        return;
    }
    m_currentIndex = int(whole) - 1;
    navigationUpdate();
    Picture1->setFocus();
}

bool frmMultImg::Picture1_KeyDown(int key)
{
    if (m_picCount == 0)
        return false;
    int index = m_currentIndex;
    switch (key) {
    case Qt::Key_Right:
        index = index + 1 >= m_picCount ? 0 : index + 1;
        break;
    case Qt::Key_Left:
        index = index - 1 < 0 ? m_picCount - 1 : index - 1;
        break;
    case Qt::Key_Up:
        if (index - 5 >= 0)
            index -= 5;
        break;
    case Qt::Key_Down:
        if (index + 5 < m_picCount)
            index += 5;
        break;
    default:
        return false;
    }
    m_currentIndex = index;
    navigationUpdate();
    return true;
}

void frmMultImg::VScroll1_Change(int value)
{
    Picture2->move(Picture2->x(), -TwipsToPixels(value));
    Picture1->setFocus();
}

bool frmMultImg::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == Picture1 && event->type() == QEvent::KeyPress) {
        if (Picture1_KeyDown(static_cast<QKeyEvent*>(event)->key()))
            return true;
    } else if (watched == txtIndex && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            txtIndex_Enter();
            return true;
        }
    } else if (watched == VScroll1 && event->type() == QEvent::FocusIn) {
        if (VScroll1->value() == 0 || VScroll1->value() == VScroll1->maximum())
            Picture1->setFocus();
    } else if (auto* thumb = qobject_cast<QLabel*>(watched); thumb && imgThumbnail.contains(thumb)) {
        const int index = thumb->property("Index").toInt();
        if (event->type() == QEvent::MouseButtonPress) {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() == Qt::LeftButton) {
                m_currentIndex = index;
                navigationUpdate();
                Picture1->setFocus();
                return true;
            }
            if (mouse->button() == Qt::RightButton && index == m_currentIndex) {
                mnuPhotograph->popup(mouse->globalPosition().toPoint());
                return true;
            }
        } else if (event->type() == QEvent::MouseButtonDblClick) {
            try {
                m_currentIndex = index;
                navigationUpdate();
                cmdView_Click();
            } catch (const std::exception& e) {
                LogError(QStringLiteral("Error opening image"), kSource, e);
            }
            return true;
        }
    }
    return KrvForm<QWidget>::eventFilter(watched, event);
}

void frmMultImg::showEvent(QShowEvent* event)
{
    KrvForm<QWidget>::showEvent(event);
    if (!m_centred) {
        m_centred = true;
        if (QScreen* screen = QGuiApplication::primaryScreen()) {
            QRect frame = frameGeometry();
            frame.moveCenter(screen->availableGeometry().center());
            move(frame.topLeft());
        }
    }
}

void frmMultImg::showAbout()
{
    auto* about = new frmAbout(this);
    about->exec();
}

void frmMultImg::resizeEvent(QResizeEvent* event)
{
    KrvForm<QWidget>::resizeEvent(event);
    layoutControls();
}

void frmMultImg::layoutControls()
{
    if (isMinimized())
        return;
    if (width() < TwipsToPixels(1800)) {
        resize(TwipsToPixels(1800), height());
        return;
    }
    const int cw = tw(width());
    const int ch = tw(height());
    const int left = tw(Picture1->x());
    const int top = tw(Picture1->y());
    const int paneW = VarMax(cw - left - 390, 1);
    const int paneH = VarMax(ch - 585 - top, 1);
    PlaceTwips(Picture1, left, top, paneW, paneH);
    PlaceTwips(VScroll1, left + paneW, tw(VScroll1->y()), tw(VScroll1->width()), paneH + 15);
    const int closeW = tw(cmdClose->width());
    cmdClose->move(TwipsToPixels(VarMax(cw - 120 - closeW + 15, 5910)), cmdClose->y());
    for (QWidget* w : std::initializer_list<QWidget*>{cmdClose, cmdView, cmdNext, cmdBack, txtIndex, Image1})
        w->move(w->x(), TwipsToPixels(ch - 480));
    Label1->move(Label1->x(), TwipsToPixels(ch - 420));
    txtTotal->move(txtTotal->x(), TwipsToPixels(ch - 420));
    Label2->move(Label2->x(), TwipsToPixels(ch - 240));
}

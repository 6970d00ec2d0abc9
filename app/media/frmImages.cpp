#include "frmImages.h"

#include "clicklabel.h"
#include "db.h"
#include "dbsystem.h"
#include "frmAbout.h"
#include "helpers.h"
#include "krverror.h"
#include "lookups.h"
#include "modkrv.h"
#include "picturetypes.h"
#include "printfile.h"
#include "prompt.h"
#include "regularfiles.h"
#include "savefile.h"
#include "uihelpers.h"
#include "zvmap.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QCursor>
#include <QDate>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QGroupBox>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPrinter>
#include <QPushButton>
#include <QResizeEvent>
#include <QTextOption>
#include <QToolButton>

#include <algorithm>
#include <limits>

namespace {

const QString kSource = QStringLiteral("frmImages");
const QString kZoomTitle = QStringLiteral("Zoom");

int tw(int pixels) { return int(PixelsToTwips(pixels)); }

// A zoom text is a number, or a number followed by "%".
bool ZoomTextAccepted(const QString& text)
{
    QString number = text.trimmed();
    if (number.endsWith(QLatin1Char('%')))
        number.chop(1);
    bool ok = false;
    QLocale::c().toDouble(number.trimmed(), &ok);
    return ok && !number.trimmed().isEmpty();
}

// The percentage of a zoom text; 0 when there is none to apply. The control takes a 16-bit
// percentage, so larger values stop at its greatest.
qint16 ZoomPercent(const QString& text)
{
    const double v = RoundHalfEven(Val(text));
    if (v <= 0)
        return 0;
    return qint16(qMin<double>(v, std::numeric_limits<qint16>::max()));
}

// The picture of the zoom button: a magnifying glass.
QPixmap magnifier()
{
    QPixmap p(20, 20);
    p.fill(Qt::transparent);
    QPainter painter(&p);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::black, 2));
    painter.drawEllipse(QRectF(2, 2, 11, 11));
    painter.setPen(QPen(Qt::black, 3, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(12, 12), QPointF(18, 18));
    return p;
}

}  // namespace

frmImages::frmImages(QWidget* parent) : KrvForm<QWidget>(QStringLiteral("frmImages"), parent)
{
    setWindowTitle(QStringLiteral("Photograph"));

    mapContainer = new ZVMap(this);
    mapContainer->setDecodeLimit(kPhotoDecodePixels);
    mapContainer->setObjectName(QStringLiteral("mapContainer"));
    PlaceTwips(mapContainer, 60, 60, 9000, 5400);

    fraAnn = new QGroupBox(this);
    fraAnn->setObjectName(QStringLiteral("fraAnn"));
    PlaceTwips(fraAnn, 60, 5520, 8988, 1035);
    lblAnnotation = new QLabel(QStringLiteral("Annotation"), fraAnn);
    lblAnnotation->setObjectName(QStringLiteral("lblAnnotation"));
    PlaceTwips(lblAnnotation, 120, 60, 1500, 255);
    txtAnnotation = new QPlainTextEdit(fraAnn);
    txtAnnotation->setObjectName(QStringLiteral("txtAnnotation"));
    // Shows the stored annotation; it is edited where pictures are attached.
    txtAnnotation->setReadOnly(true);
    PlaceTwips(txtAnnotation, 120, 300, 8748, 645);

    Image1 = new ClickLabel(QString(), this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setPixmap(ProgramLogo(TwipsToPixels(375)));
    Image1->setCursor(Qt::PointingHandCursor);
    Label1 = new ClickLabel(QStringLiteral("Quorrel"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setCursor(Qt::PointingHandCursor);

    cboZoom = new QComboBox(this);
    cboZoom->setObjectName(QStringLiteral("cboZoom"));
    cboZoom->setEditable(true);
    cboZoom->setInsertPolicy(QComboBox::NoInsert);
    OnZoomBoxEnter(cboZoom, [this] {
        cboZoom_Enter();
        return true;
    });
    imgZoom = new QToolButton(this);
    imgZoom->setObjectName(QStringLiteral("imgZoom"));
    imgZoom->setIcon(QIcon(magnifier()));
    imgZoom->setToolTip(QStringLiteral("Zoom"));
    chkPan = new QCheckBox(QStringLiteral("Pan"), this);
    chkPan->setObjectName(QStringLiteral("chkPan"));

    auto button = [this](const char* name, const QString& text) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(QString::fromLatin1(name));
        return b;
    };
    cmdPrevious = button("cmdPrevious", QStringLiteral("Previous"));
    cmdNext = button("cmdNext", QStringLiteral("Next"));
    cmdPhoto = button("cmdPhoto", QStringLiteral("Photo"));
    cmdPrint = button("cmdPrint", QStringLiteral("Print"));
    cmdClose = button("cmdClose", QStringLiteral("Close"));

    PlaceTwips(Image1, 120, 0, 375, 375);
    PlaceTwips(Label1, 540, 0, 855, 195);
    PlaceTwips(cboZoom, 1440, 0, 1095, 375);
    PlaceTwips(imgZoom, 2580, 0, 375, 375);
    PlaceTwips(chkPan, 3060, 0, 735, 285);
    PlaceTwips(cmdPrevious, 3840, 0, 975, 375);
    PlaceTwips(cmdPhoto, 3840, 0, 975, 375);
    PlaceTwips(cmdNext, 4875, 0, 975, 375);
    PlaceTwips(cmdPrint, 5910, 0, 975, 375);
    PlaceTwips(cmdClose, 8040, 0, 975, 375);

    mnuImage = new QMenu(QStringLiteral("Image"), this);
    mnuImage->setObjectName(QStringLiteral("mnuImage"));
    mnuPan = mnuImage->addAction(QStringLiteral("Pan"));
    mnuPan->setObjectName(QStringLiteral("mnuPan"));
    mnuPan->setCheckable(true);
    mnuZoom = mnuImage->addMenu(QStringLiteral("Zoom"));
    mnuZoom->setObjectName(QStringLiteral("mnuZoom"));
    auto zoomItem = [this](int percent) {
        QAction* a = mnuZoom->addAction(QStringLiteral("%1%").arg(percent));
        a->setObjectName(QStringLiteral("mnu%1").arg(percent));
        connect(a, &QAction::triggered, this, [this, percent] { zoomMenu(percent); });
        return a;
    };
    mnu50 = zoomItem(50);
    mnu75 = zoomItem(75);
    mnu100 = zoomItem(100);
    mnu150 = zoomItem(150);
    mnu200 = zoomItem(200);
    mnuNext = mnuImage->addAction(QStringLiteral("Next Photograph"));
    mnuNext->setObjectName(QStringLiteral("mnuNext"));
    mnuPrevious = mnuImage->addAction(QStringLiteral("Previous Photograph"));
    mnuPrevious->setObjectName(QStringLiteral("mnuPrevious"));
    mnuPrint = mnuImage->addAction(QStringLiteral("Print Photograph"));
    mnuPrint->setObjectName(QStringLiteral("mnuPrint"));

    connect(cmdNext, &QPushButton::clicked, this, &frmImages::cmdNext_Click);
    connect(mnuNext, &QAction::triggered, this, &frmImages::cmdNext_Click);
    connect(cmdPrevious, &QPushButton::clicked, this, &frmImages::cmdPrevious_Click);
    connect(mnuPrevious, &QAction::triggered, this, &frmImages::cmdPrevious_Click);
    connect(cmdPrint, &QPushButton::clicked, this, &frmImages::cmdPrint_Click);
    connect(mnuPrint, &QAction::triggered, this, &frmImages::cmdPrint_Click);
    connect(cmdPhoto, &QPushButton::clicked, this, &frmImages::cmdPhoto_Click);
    connect(cmdClose, &QPushButton::clicked, this, &frmImages::cmdClose_Click);
    connect(cboZoom, &QComboBox::activated, this, &frmImages::cboZoom_Click);
    connect(imgZoom, &QToolButton::clicked, this, &frmImages::imgZoom_Click);
    connect(chkPan, &QCheckBox::toggled, this, &frmImages::chkPan_Click);
    connect(mnuPan, &QAction::triggered, this, &frmImages::mnuPan_Click);
    connect(Image1, &ClickLabel::clicked, this, &frmImages::showAbout);
    connect(Label1, &ClickLabel::clicked, this, &frmImages::showAbout);
    connect(mapContainer, &ZVMap::MouseDown, this, [this](qint16 button, qint16, float, float) {
        if (button == 2)
            mnuImage->popup(QCursor::pos());
    });

    resize(TwipsToPixels(9195), TwipsToPixels(7575));
}

void frmImages::DbLoadPicArray(qint32 PanelID, qint32 ElementID, qint32 InspectionID, bool IsFieldSketch)
{
    m_picArray.clear();
    m_picCount = 0;
    const RowSet rows = gConn.query(
        QStringLiteral("SELECT ImagePath, Annotation FROM ImagePaths WHERE PanelID = ? AND ElementID = ? "
                       "AND InspectionID = ?")
            + (IsFieldSketch ? QStringLiteral(" AND FieldSketch <> 0") : QStringLiteral(" AND FieldSketch = 0"))
            + QStringLiteral(" ORDER BY rowid"),
        {PanelID, ElementID, InspectionID});
    for (int i = 0; i < rows.count(); ++i)
        m_picArray.append({rows.value(i, "ImagePath").toString(), rows.value(i, "Annotation").toString()});
    m_picCount = int(m_picArray.size());
    // One empty entry after the last picture, and the only one when there is none.
    m_picArray.append(Picture{});
}

QString frmImages::GetSketchName() const
{
    return gConn
        .scalar(QStringLiteral("SELECT ImagePath FROM ImagePaths WHERE PanelID = ? AND ElementID = ? "
                               "AND InspectionID = ? AND FieldSketch <> 0 ORDER BY rowid LIMIT 1"),
                {m_panelId, m_elementId, m_inspectionId})
        .toString();
}

void frmImages::LoadForm(int Index, bool IsFieldSketch, qint32 PanelID, qint32 ElementID, qint32 InspectionID)
{
    // A failing step is recorded and loading goes on, as far as there is a picture to show.
    auto step = [](const std::function<void()>& f) {
        try {
            f();
        } catch (const std::exception& e) {
            LogError(QString(), kSource, e);
        }
    };
    m_panActive = false;
    m_panelId = PanelID;
    m_elementId = ElementID;
    m_inspectionId = InspectionID;
    m_isFieldSketch = IsFieldSketch;
    step([&] { DbLoadPicArray(PanelID, ElementID, InspectionID, IsFieldSketch); });
    if (m_picArray.isEmpty())
        m_picArray.append(Picture{});
    step([&] { m_sketchFile = GetSketchName(); });
    step([&] {
        m_tunnelId = DbGetInspectionTunnelID(InspectionID, DbGetInspectionYear(InspectionID));
        SetFormTunnel(this, m_tunnelId);
        m_photoFolder = GetPhotoFolder(m_tunnelId, InspectionID);
        m_sketchFolder = GetSketchFolder(m_tunnelId, InspectionID);
    });

    QString path;
    bool found = false;
    if (IsFieldSketch) {
        path = m_sketchFolder + m_sketchFile;
        found = !m_sketchFolder.isEmpty() && !m_sketchFile.isEmpty() && IsRegularFile(path);
    } else if (Index >= 0 && Index < m_picCount) {
        path = m_photoFolder + m_picArray[Index].ImagePath;
        found = !m_photoFolder.isEmpty() && IsRegularFile(path);
    }
    if (!found) {
        MsgBox(IsFieldSketch ? QStringLiteral("The field sketch you requested could not be found.")
                             : QStringLiteral("The photo you requested could not be found."),
               MsgButtons::Ok, MsgIcon::Critical);
        // Never shown: it goes at once rather than stay a hidden window.
        Unload();
        return;
    }

    step([&] {
        m_currentPath = path;
        mapContainer->setImage(path);
    });
    const int entry = IsFieldSketch ? 0 : Index;
    txtAnnotation->setPlainText(m_picArray.value(entry).Annotation);

    cboZoom->clear();
    cboZoom->addItems({QStringLiteral("50%"), QStringLiteral("75%"), QStringLiteral("100%"), QStringLiteral("150%"),
                       QStringLiteral("200%")});
    setZoomText(QStringLiteral("100%"));

    if (!IsFieldSketch) {
        setWindowTitle(QStringLiteral("Photograph"));
        cmdPrevious->setVisible(true);
        mnuPrevious->setVisible(true);
        cmdNext->setVisible(true);
        mnuNext->setVisible(true);
        cmdPhoto->setVisible(false);
        cmdNext->setEnabled(Index != m_picCount - 1);
        mnuNext->setEnabled(Index != m_picCount - 1);
        cmdPrevious->setEnabled(Index != 0);
        mnuPrevious->setEnabled(Index != 0);
    } else {
        setWindowTitle(QStringLiteral("Field Sketch"));
        cmdPrevious->setVisible(false);
        mnuPrevious->setVisible(false);
        cmdNext->setVisible(false);
        mnuNext->setVisible(false);
        cmdPhoto->setVisible(true);
        cmdPhoto->setEnabled(m_picCount != 0);
    }
    m_currentIndex = entry;
    show();
}

// Shows entry index; the position, annotation and buttons change only once the picture is up.
void frmImages::showPicture(int index)
{
    if (index < 0 || index >= m_picCount)
        throw KrvError(9, QStringLiteral("Subscript out of range"));
    const QString path = m_photoFolder + m_picArray[index].ImagePath;
    mapContainer->setImage(path);
    // Paging always returns to the natural size, which the control keeps otherwise.
    mapContainer->Zoom(100);
    m_currentPath = path;
    m_currentIndex = index;
    txtAnnotation->setPlainText(m_picArray[index].Annotation);
    const bool last = index == m_picCount - 1;
    cmdNext->setEnabled(!last);
    mnuNext->setEnabled(!last);
    cmdPrevious->setEnabled(index != 0);
    mnuPrevious->setEnabled(index != 0);
    setZoomText(QStringLiteral("100%"));
}

// The list's entry of that text when it has one, so the list opens on it.
void frmImages::setZoomText(const QString& text)
{
    const int index = cboZoom->findText(text);
    if (index >= 0)
        cboZoom->setCurrentIndex(index);
    cboZoom->setCurrentText(text);
}

void frmImages::cmdNext_Click()
{
    try {
        showPicture(m_currentIndex + 1);
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error selecting next image"), kSource, e);
    }
}

void frmImages::cmdPrevious_Click()
{
    try {
        showPicture(m_currentIndex - 1);
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error selecting previous image"), kSource, e);
    }
}

void frmImages::cboZoom_Click()
{
    const qint16 percent = ZoomPercent(cboZoom->currentText());
    if (percent > 0)
        mapContainer->Zoom(percent);
}

void frmImages::imgZoom_Click()
{
    try {
        if (!ZoomTextAccepted(cboZoom->currentText())) {
            MsgBox(QStringLiteral("Please enter a number in the text box."), MsgButtons::Ok, MsgIcon::None, kZoomTitle);
            cboZoom->setCurrentText(QStringLiteral("100%"));
            return;
        }
        const qint16 percent = ZoomPercent(cboZoom->currentText());
        if (percent > 0)
            mapContainer->Zoom(percent);
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error zooming image"), kSource, e);
    }
}

void frmImages::zoomMenu(int percent)
{
    try {
        mapContainer->Zoom(qint16(percent));
        setZoomText(QStringLiteral("%1%").arg(percent));
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error zooming map to %1%").arg(percent), kSource, e);
    }
}

void frmImages::cboZoom_Enter()
{
    if (ZoomTextAccepted(cboZoom->currentText())) {
        const qint16 percent = ZoomPercent(cboZoom->currentText());
        if (percent > 0)
            mapContainer->Zoom(percent);
    } else {
        MsgBox(QStringLiteral("Please enter a number."), MsgButtons::Ok, MsgIcon::None, kZoomTitle);
        cboZoom->setCurrentText(QString());
    }
}

void frmImages::chkPan_Click()
{
    try {
        m_panActive = chkPan->isChecked();
        mapContainer->Pan(m_panActive);
        mnuPan->setChecked(m_panActive);
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error setting pan"), kSource, e);
    }
}

void frmImages::mnuPan_Click()
{
    // The check box does the rest.
    chkPan->setChecked(!m_panActive);
    mnuPan->setChecked(m_panActive);
}

void frmImages::cmdPhoto_Click()
{
    const qint32 panel = m_panelId, element = m_elementId, inspection = m_inspectionId;
    try {
        Unload();
        QWidget* thumbs = nullptr;
        for (QWidget* w : LoadedForms())
            if (w->objectName().compare(QLatin1String("frmMultImg"), Qt::CaseInsensitive) == 0)
                thumbs = w;
        if (!thumbs)
            thumbs = CreateForm(QStringLiteral("frmMultImg"));
        if (!thumbs)
            throw FormNotInProgram(QStringLiteral("frmMultImg"));
        QPointer<QWidget> guard(thumbs);
        try {
            QMetaObject::invokeMethod(thumbs, "LoadForm", Qt::DirectConnection, Q_ARG(qint32, panel),
                                      Q_ARG(qint32, element), Q_ARG(qint32, inspection), Q_ARG(bool, false));
        } catch (...) {
            if (guard)
                UnloadForm(guard);
            throw;
        }
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error loading photo"), kSource, e);
    }
}

void frmImages::cmdClose_Click()
{
    m_panActive = false;
    mapContainer->Pan(false);
    Unload();
}

void frmImages::cmdPrint_Click()
{
    try {
        const QString tunnel = DbGetTunnelName(m_tunnelId);
        const QString panel = DbGetPanelName(m_panelId);
        const QString element = DbGetElementName(m_elementId);
        const qint32 year = DbGetInspectionYear(m_inspectionId);
        QPrinter printer(QPrinter::HighResolution);
        if (!Prompt().printSetup(&printer, QStringLiteral("Print")))
            return;
        WaitCursor wait;
        PrintFile out(printer);  // before the painter: the file is checked once the painter ended
        QPainter painter;
        if (!painter.begin(&printer))
            throw KrvError(482, QStringLiteral("Printer error"));
        const QRect page = printer.pageLayout().paintRectPixels(printer.resolution());
        PrintImagePage(painter, page.size(), printer.resolution(), tunnel, panel, element, year);
        out.finish(painter.end());
    } catch (const std::exception& e) {
        LogError(WithFileReason(QStringLiteral("Error: Unable to print Image"), e), kSource, e);
    }
}

// The page, on a painter whose device has the given resolution; pageSize is the printable
// area in device units. Positions are twips from its top left.
void frmImages::PrintImagePage(QPainter& painter, const QSizeF& pageSize, int resolution, const QString& tunnel,
                               const QString& panel, const QString& element, qint32 year)
{
    const double scale = resolution / 1440.0;
    const double pageWidth = pageSize.width();
    QPaintDevice* device = painter.device();
    double y = 0;

    QFont font(QStringLiteral("Liberation Sans"));  // fonts-liberation, as the key plan
    font.setBold(true);
    auto setSize = [&](int points) {
        font.setPointSize(points);
        painter.setFont(font);
    };
    auto lineHeight = [&] { return QFontMetricsF(painter.font(), device).height(); };
    auto printLine = [&](const QString& text, double x) {
        const QFontMetricsF fm(painter.font(), device);
        QTextOption option;
        // Print zones of fourteen columns, as tabs in printed lines have always done.
        option.setTabStopDistance(fm.averageCharWidth() * 14);
        painter.drawText(QRectF(x, y, pageWidth - x, fm.height()), text, option);
        y += fm.height();
    };

    const QString title = windowTitle();
    setSize(14);
    const double titleLeft = (pageWidth - QFontMetricsF(painter.font(), device).horizontalAdvance(title)) / 2;
    y += 2 * lineHeight();
    setSize(11);
    printLine(ShortDateText(QDate::currentDate()), 0);
    setSize(14);
    printLine(title, titleLeft);
    y += 2 * lineHeight();
    setSize(11);
    const QString tab = QStringLiteral("\t");
    printLine(QStringLiteral("Tunnel Name:") + tab + tab + tunnel, 0);
    printLine(QStringLiteral("Panel Name:") + tab + tab + panel, 0);
    printLine(QStringLiteral("Element Name:") + tab + tab + element, 0);
    printLine(QStringLiteral("Inspection Year:") + tab + QString::number(year), 0);

    // The picture as displayed, at the current zoom; below the header even where this
    // platform's fonts make the header taller than the place kept for it.
    qint32 w = 0, h = 0;
    mapContainer->ImgSize(w, h);
    const double pictureTop = qMax(2850 * scale, y);
    painter.drawImage(QRectF(0, pictureTop, w * scale, h * scale), mapContainer->Picture());

    y = pictureTop + (h - 150) * scale + lineHeight();
    font.setBold(false);
    painter.setFont(font);
    const QString annotation = m_picArray.value(m_currentIndex).Annotation;
    painter.drawText(QRectF(0, y, pageWidth, qMax(0.0, pageSize.height() - y)), Qt::TextWordWrap, annotation);
}

void frmImages::showAbout()
{
    auto* about = new frmAbout(this);
    about->exec();
}

void frmImages::resizeEvent(QResizeEvent* event)
{
    KrvForm<QWidget>::resizeEvent(event);
    layoutControls();
}

void frmImages::layoutControls()
{
    if (isMinimized())
        return;
    if (width() < TwipsToPixels(2000)) {
        resize(TwipsToPixels(2000), height());
        return;
    }
    const int innerW = tw(width());
    const int innerH = tw(height());
    const int mapLeft = tw(mapContainer->x());
    const int mapTop = tw(mapContainer->y());
    const int mapW = VarMax(1, innerW - mapLeft - 75);
    const int annW = VarMax(500, mapW - 12);
    const int annTop = VarMax(mapTop + 120, innerH - 1545);
    const int mapH = VarMax(1, annTop - mapTop);
    PlaceTwips(mapContainer, mapLeft, mapTop, mapW, mapH);
    PlaceTwips(fraAnn, tw(fraAnn->x()), annTop, annW, tw(fraAnn->height()));
    PlaceTwips(txtAnnotation, tw(txtAnnotation->x()), tw(txtAnnotation->y()), annW - 120 - tw(txtAnnotation->x()),
          tw(txtAnnotation->height()));

    const int top = innerH - 450;
    for (QPushButton* b : {cmdPrevious, cmdNext, cmdPhoto, cmdPrint, cmdClose})
        b->move(b->x(), TwipsToPixels(top));
    chkPan->move(chkPan->x(), TwipsToPixels(top + 45));
    for (QWidget* w : {static_cast<QWidget*>(cboZoom), static_cast<QWidget*>(imgZoom), static_cast<QWidget*>(Image1)})
        w->move(w->x(), TwipsToPixels(top));
    // As tall as its face needs, its lower edge where the form puts it.
    const int captionH = std::max(TwipsToPixels(195), Label1->sizeHint().height());
    Label1->setGeometry(Label1->x(), TwipsToPixels(top + 435) - captionH, Label1->width(), captionH);
    const int closeW = tw(cmdClose->width());
    if (tw(imgZoom->x()) + tw(imgZoom->width()) + closeW + 240 < innerW)
        cmdClose->move(TwipsToPixels(VarMax(568, innerW - 120 - closeW)), cmdClose->y());
}

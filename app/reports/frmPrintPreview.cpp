#include "frmPrintPreview.h"

#include "helpers.h"
#include "modkrv.h"
#include "settings.h"
#include "uihelpers.h"

#include <QEvent>
#include <QPainter>
#include <QPaintEvent>
#include <QScrollBar>

#include <algorithm>
#include <cmath>

namespace {

const QString kSource = QStringLiteral("frmPrintPreview");

int Round(double v) { return int(RoundHalfEven(v)); }
double Tw(int px) { return PixelsToTwips(px); }

}  // namespace

PreviewPicture::PreviewPicture(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PreviewPicture::setPageSize(const QSizeF& twips)
{
    const QSize px(std::max(1, TwipsToPixels(twips.width())), std::max(1, TwipsToPixels(twips.height())));
    if (m_image.size() != px)
        m_image = QImage(px, QImage::Format_RGB32);
    resize(px);
    Cls();
}

void PreviewPicture::Cls()
{
    m_image.fill(Qt::white);
    update();
}

void PreviewPicture::paintEvent(QPaintEvent* event)
{
    QPainter p(this);
    p.fillRect(event->rect(), Qt::white);
    if (!m_image.isNull())
        p.drawImage(event->rect().topLeft(), m_image, event->rect());
}

frmPrintPreview::frmPrintPreview(QWidget* parent) : KrvForm<QDialog>(QStringLiteral("frmPrintPreview"), parent)
{
    setWindowTitle(QStringLiteral("Print Preview"));
    resize(700, 600);

    picContainer = new QWidget(this);
    picContainer->setObjectName(QStringLiteral("picContainer"));
    picContainer->setFocusPolicy(Qt::StrongFocus);
    picContainer->setAutoFillBackground(true);
    QPalette pal = picContainer->palette();
    pal.setColor(QPalette::Window, QColor(128, 128, 128));
    picContainer->setPalette(pal);

    pic = new PreviewPicture(picContainer);
    pic->setObjectName(QStringLiteral("pic"));
    pic->move(0, 0);

    VScroll1 = new QScrollBar(Qt::Vertical, this);
    VScroll1->setObjectName(QStringLiteral("VScroll1"));
    HScroll1 = new QScrollBar(Qt::Horizontal, this);
    HScroll1->setObjectName(QStringLiteral("HScroll1"));
    for (QScrollBar* bar : {VScroll1, HScroll1}) {
        bar->setRange(0, 0);
        bar->setSingleStep(Round(15 * 10));
        bar->setFocusPolicy(Qt::StrongFocus);
        bar->installEventFilter(this);
        bar->hide();
    }
    VScroll1->resize(VScroll1->sizeHint().width(), VScroll1->height());
    HScroll1->resize(HScroll1->width(), HScroll1->sizeHint().height());
    // Values are twips; the page follows the thumb while it is dragged.
    connect(HScroll1, &QScrollBar::valueChanged, this, [this](int v) { pic->move(-TwipsToPixels(v), pic->y()); });
    connect(VScroll1, &QScrollBar::valueChanged, this, [this](int v) { pic->move(pic->x(), -TwipsToPixels(v)); });

    try {
        RestoreFormPosition(this);
    } catch (const std::exception& e) {
        LogError(QString(), kSource, e);
    }
}

void frmPrintPreview::FormUnload()
{
    try {
        SaveFormPosition(this);
    } catch (const std::exception& e) {
        LogError(QString(), kSource, e);
    }
}

void frmPrintPreview::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    Form_Resize();
}

void frmPrintPreview::Form_Resize()
{
    const double W = Tw(width());
    const double H = Tw(height());
    const double vbarW = Tw(VScroll1->width());
    const double hbarH = Tw(HScroll1->height());

    const double vLeft = std::max(W - vbarW, 100.0);
    const double hTop = std::max(H - hbarH, 100.0);
    VScroll1->move(TwipsToPixels(vLeft), 0);
    HScroll1->move(0, TwipsToPixels(hTop));
    picContainer->setGeometry(0, 0, TwipsToPixels(vLeft), TwipsToPixels(hTop));

    const double contW = vLeft, contH = hTop;
    const double picW = Tw(pic->width()), picH = Tw(pic->height());
    VScroll1->setVisible(picH > contH);
    HScroll1->setVisible(picW > contW);
    // A window smaller than a bar leaves the bar's length as it was.
    if (VScroll1->isVisibleTo(this)) {
        VScroll1->setMaximum(Round(picH - contH));
        VScroll1->setPageStep(std::max(1, Round(contH * 2 / 3)));
        const double len = H - hbarH;
        if (len > 0)
            VScroll1->resize(VScroll1->width(), TwipsToPixels(len));
    }
    if (HScroll1->isVisibleTo(this)) {
        HScroll1->setMaximum(Round(picW - contW));
        HScroll1->setPageStep(std::max(1, Round(contW * 2 / 3)));
        const double len = W - vbarW;
        if (len > 0)
            HScroll1->resize(TwipsToPixels(len), HScroll1->height());
    }
}

bool frmPrintPreview::eventFilter(QObject* watched, QEvent* event)
{
    if ((watched == VScroll1 || watched == HScroll1) && event->type() == QEvent::FocusIn)
        picContainer->setFocus(Qt::OtherFocusReason);
    return KrvForm<QDialog>::eventFilter(watched, event);
}

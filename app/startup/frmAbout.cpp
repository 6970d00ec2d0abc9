#include "frmAbout.h"

#include "clicklabel.h"
#include "prompt.h"
#include "startup.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

QPixmap ProgramLogo(int size)
{
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    // Hillside, portal ring and the dark bore of the tunnel.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(96, 124, 72));
    p.drawRoundedRect(QRectF(0, 0, s, s), s * 0.12, s * 0.12);
    QPainterPath portal;
    portal.moveTo(s * 0.14, s * 0.92);
    portal.lineTo(s * 0.14, s * 0.50);
    portal.arcTo(QRectF(s * 0.14, s * 0.14, s * 0.72, s * 0.72), 180, -180);
    portal.lineTo(s * 0.86, s * 0.92);
    portal.closeSubpath();
    p.setBrush(QColor(176, 168, 150));
    p.drawPath(portal);
    QPainterPath bore;
    bore.moveTo(s * 0.26, s * 0.92);
    bore.lineTo(s * 0.26, s * 0.52);
    bore.arcTo(QRectF(s * 0.26, s * 0.26, s * 0.48, s * 0.52), 180, -180);
    bore.lineTo(s * 0.74, s * 0.92);
    bore.closeSubpath();
    p.setBrush(QColor(30, 30, 36));
    p.drawPath(bore);
    p.setBrush(QColor(220, 200, 60));
    p.drawRect(QRectF(s * 0.47, s * 0.62, s * 0.06, s * 0.30));
    return pm;
}

static QPixmap globeIcon(int size)
{
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r(2, 2, size - 4, size - 4);
    p.setPen(QPen(QColor(30, 70, 130), 2));
    p.setBrush(QColor(120, 170, 220));
    p.drawEllipse(r);
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(r.adjusted(r.width() * 0.3, 0, -r.width() * 0.3, 0));
    p.drawLine(QPointF(r.left(), r.center().y()), QPointF(r.right(), r.center().y()));
    return pm;
}

QPixmap frmAbout::Background(const QSize& size)
{
    QPixmap pm(size.isEmpty() ? QSize(1, 1) : size);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    const double hw = size.width() / 2.0;
    const double hh = size.height() / 2.0;
    // A narrow window would give a step of 0 and never reach the centre.
    const int step = std::max(1, size.width() / 130);
    double r = 190, g = 175, b = 145;
    for (double radius = std::sqrt(hw * hw + hh * hh); radius >= 0; radius -= step) {
        p.setBrush(QColor(int(std::min(r, 255.0)), int(std::min(g, 255.0)), int(std::min(b, 255.0))));
        p.drawEllipse(QPointF(hw, hh), radius, radius);
        r += 1;
        g += 1.25;
        b += 1.5;
    }
    return pm;
}

frmAbout::frmAbout(QWidget* parent) : KrvForm<QDialog>(QStringLiteral("frmAbout"), parent)
{
    setWindowTitle(QStringLiteral("About Corvane Quorrel"));
    setModal(true);

    Image4 = new QLabel(this);
    Image4->setObjectName(QStringLiteral("Image4"));
    Image4->setPixmap(ProgramLogo(72));

    auto* title = new QLabel(QStringLiteral("Corvane Quorrel"), this);
    QFont big = title->font();
    big.setPointSizeF(big.pointSizeF() * 1.6);
    big.setBold(true);
    title->setFont(big);

    lblVer = new QLabel(this);
    lblVer->setObjectName(QStringLiteral("lblVer"));
    QString version = QCoreApplication::applicationVersion();
    if (version.isEmpty())
        version = kProgramVersion;
    lblVer->setText(QStringLiteral("Version ") + version);

    Label2 = new QLabel(this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setText(QStringLiteral("Tunnel inventory and condition history\n"
                                   "Ratings, defects, photos and reports per inspection\n"
                                   "Quillmar Inc."));

    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setWordWrap(true);
    Label1->setText(QStringLiteral("Quorrel keeps the panels, elements and inspection ratings of every tunnel "
                                   "of one tunnel system, with the pictures and records that go with them."));

    Image1 = new ClickLabel(QString(), this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setPixmap(globeIcon(28));
    Image2 = new ClickLabel(QStringLiteral("<u>Corvane Home</u>"), this);
    Image2->setObjectName(QStringLiteral("Image2"));
    Image2->setToolTip(QStringLiteral("Corvane Home"));
    connect(Image1, &ClickLabel::clicked, this, &frmAbout::openWebPage);
    connect(Image2, &ClickLabel::clicked, this, &frmAbout::openWebPage);

    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    cmdHelp = new QPushButton(QStringLiteral("Help"), this);
    cmdHelp->setObjectName(QStringLiteral("cmdHelp"));
    cmdHelp->setAutoDefault(false);
    connect(cmdOK, &QPushButton::clicked, this, [this] { Unload(); });
    connect(cmdHelp, &QPushButton::clicked, this, &frmAbout::cmdHelp_Click);

    auto* text = new QVBoxLayout;
    text->addWidget(title);
    text->addWidget(lblVer);
    text->addSpacing(6);
    text->addWidget(Label2);
    auto* top = new QHBoxLayout;
    top->addWidget(Image4, 0, Qt::AlignTop);
    top->addSpacing(12);
    top->addLayout(text, 1);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(Image1);
    bottom->addWidget(Image2);
    bottom->addStretch(1);
    bottom->addWidget(cmdOK);
    bottom->addWidget(cmdHelp);

    auto* all = new QVBoxLayout(this);
    all->setContentsMargins(18, 18, 18, 14);
    all->addLayout(top);
    all->addSpacing(10);
    all->addWidget(Label1);
    all->addStretch(1);
    all->addLayout(bottom);

    setFixedSize(480, 270);
}

void frmAbout::paintEvent(QPaintEvent*)
{
    if (m_background.size() != size())
        m_background = Background(size());
    QPainter p(this);
    p.drawPixmap(0, 0, m_background);
}

void frmAbout::resizeEvent(QResizeEvent* event)
{
    m_background = QPixmap();
    KrvForm<QDialog>::resizeEvent(event);
}

void frmAbout::cmdHelp_Click() { ShowHelpContents(windowTitle(), objectName()); }

void frmAbout::openWebPage() { Prompt().launch(QUrl(kProductWebPage)); }

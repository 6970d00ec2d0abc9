#include "frmLogon.h"

#include "clicklabel.h"
#include "dbusers.h"
#include "frmAbout.h"
#include "globals.h"
#include "modkrv.h"
#include "prompt.h"

#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLinearGradient>
#include <QPainter>
#include <QTimer>
#include <QToolButton>
#include <pwd.h>
#include <unistd.h>

namespace {

QPixmap roundIcon(const QColor& colour, bool exit)
{
    const int size = 44;
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(colour.darker(150), 2));
    p.setBrush(colour);
    p.drawEllipse(QRectF(2, 2, size - 4, size - 4));
    p.setPen(QPen(Qt::white, 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    if (exit) {
        p.drawLine(QPointF(15, 15), QPointF(29, 29));
        p.drawLine(QPointF(29, 15), QPointF(15, 29));
    } else {
        p.drawLine(QPointF(12, 22), QPointF(31, 22));
        p.drawLine(QPointF(24, 14), QPointF(32, 22));
        p.drawLine(QPointF(24, 30), QPointF(32, 22));
    }
    return pm;
}

QToolButton* pictureButton(QWidget* parent, const char* name, const QString& tip, const QPixmap& icon)
{
    auto* b = new QToolButton(parent);
    b->setObjectName(QLatin1String(name));
    b->setToolTip(tip);
    b->setIcon(icon);
    b->setIconSize(icon.size());
    b->setAutoRaise(true);
    b->setStyleSheet(QStringLiteral("QToolButton { border: none; background: transparent; }"));
    // The picture buttons take no keyboard focus, so Enter and Escape reach the window.
    b->setFocusPolicy(Qt::NoFocus);
    b->setCursor(Qt::PointingHandCursor);
    return b;
}

QFrame* shape(QWidget* parent, const char* name, const QRect& geometry, const QString& style)
{
    auto* f = new QFrame(parent);
    f->setObjectName(QLatin1String(name));
    f->setGeometry(geometry);
    f->setStyleSheet(QStringLiteral("QFrame#%1 { %2 }").arg(QLatin1String(name), style));
    return f;
}

}  // namespace

QString frmLogon::CurrentUserName()
{
    QString name = qEnvironmentVariable("USER");
    if (name.isEmpty()) {
        if (const passwd* pw = getpwuid(geteuid()))
            name = QString::fromLocal8Bit(pw->pw_name);
    }
    return name;
}

frmLogon::frmLogon(QWidget* parent) : KrvForm<QDialog>(QStringLiteral("frmLogon"), parent)
{
    // Closing the dialog any way but a logon counts as cancelled.
    gLogonStatus = LogonStatus::Cancelled;

    setWindowTitle(QString());
    setModal(true);
    setFixedSize(420, 260);

    Shape1 = shape(this, "Shape1", QRect(96, 84, 236, 110),
                   QStringLiteral("background: rgba(255,255,255,40); border: 1px solid rgba(255,255,255,120);"
                                  " border-radius: 6px;"));
    Shape2 = shape(this, "Shape2", QRect(174, 115, 142, 1), QStringLiteral("background: rgba(255,255,255,90);"));
    Shape3 = shape(this, "Shape3", QRect(174, 147, 142, 1), QStringLiteral("background: rgba(255,255,255,90);"));

    const QString labelStyle = QStringLiteral("color: white;");
    Label1 = new QLabel(QStringLiteral("Name"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setStyleSheet(labelStyle);
    Label1->setGeometry(108, 94, 62, 20);
    txtName = new QLineEdit(this);
    txtName->setObjectName(QStringLiteral("txtName"));
    txtName->setGeometry(174, 92, 142, 22);

    Label2 = new QLabel(QStringLiteral("Password"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setStyleSheet(labelStyle);
    Label2->setGeometry(108, 126, 62, 20);
    txtPW = new QLineEdit(this);
    txtPW->setObjectName(QStringLiteral("txtPW"));
    txtPW->setEchoMode(QLineEdit::Password);
    txtPW->setStyleSheet(QStringLiteral("lineedit-password-character: 42;"));
    txtPW->setGeometry(174, 124, 142, 22);

    const QString linkStyle = QStringLiteral("color: white; font-weight: bold;");
    cmdOk = new ClickLabel(QStringLiteral("Ok"), this);
    cmdOk->setObjectName(QStringLiteral("cmdOk"));
    cmdOk->setStyleSheet(linkStyle);
    cmdOk->setGeometry(186, 160, 40, 20);
    cmdCancel = new ClickLabel(QStringLiteral("Cancel"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    cmdCancel->setToolTip(QStringLiteral("Cancel Login"));
    cmdCancel->setStyleSheet(linkStyle);
    cmdCancel->setGeometry(244, 160, 60, 20);

    cmdLogin = pictureButton(this, "cmdLogin", QStringLiteral("System Login"), roundIcon(QColor(46, 139, 87), false));
    cmdLogin->setGeometry(28, 196, 52, 52);
    cmdExit = pictureButton(this, "cmdExit", QStringLiteral("Exit System"), roundIcon(QColor(178, 34, 34), true));
    cmdExit->setGeometry(340, 196, 52, 52);

    connect(cmdLogin, &QToolButton::clicked, this, &frmLogon::cmdLogin_Click);
    connect(cmdExit, &QToolButton::clicked, this, &frmLogon::cmdExit_Click);
    connect(cmdOk, &ClickLabel::clicked, this, &frmLogon::cmdOk_Click);
    connect(cmdCancel, &ClickLabel::clicked, this, [this] { ShowLogonFields(false); });

    txtName->installEventFilter(this);
    txtPW->installEventFilter(this);

    txtName->setText(CurrentUserName());
    ShowLogonFields(false);
    setFocusPolicy(Qt::StrongFocus);
}

void frmLogon::ShowLogonFields(bool show)
{
    m_fieldsShown = show;
    for (QWidget* w : std::initializer_list<QWidget*>{Shape1, Shape2, Shape3, Label1, txtName, Label2, txtPW, cmdOk,
                                                      cmdCancel})
        w->setVisible(show);
    if (!show)
        setFocus();
}

void frmLogon::cmdLogin_Click()
{
    ShowLogonFields(true);
    txtPW->setFocus();
}

void frmLogon::cmdExit_Click()
{
    // Only while the fields are hidden: a half-typed logon is not thrown away by a stray click.
    if (m_fieldsShown)
        return;
    gLogonStatus = LogonStatus::Cancelled;
    Unload();
}

void frmLogon::cmdOk_Click()
{
    try {
        gLogonStatus = DbCheckLogon(txtName->text(), txtPW->text(), gIsWizard, gIsDataEntry);
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error logging in"), objectName(), e);
        gLogonStatus = LogonStatus::Cancelled;
        return;
    }
    // A try that leaves the dialog open decides nothing: closing it afterwards is a cancel.
    if (gLogonStatus == LogonStatus::InvalidPassword && m_failures < 2) {
        ++m_failures;
        gLogonStatus = LogonStatus::Cancelled;
        MsgBox(QStringLiteral("Invalid password"), MsgButtons::Ok, MsgIcon::Warning);
        return;
    }
    if (gLogonStatus == LogonStatus::InvalidUser && m_failures < 2) {
        ++m_failures;
        gLogonStatus = LogonStatus::Cancelled;
        MsgBox(QStringLiteral("Invalid user name"), MsgButtons::Ok, MsgIcon::Warning);
        return;
    }
    Unload();
}

void frmLogon::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (!m_fieldsShown)
            cmdLogin_Click();
        event->accept();
        return;
    case Qt::Key_Escape:
        cmdExit_Click();
        event->accept();
        return;
    default:
        KrvForm<QDialog>::keyPressEvent(event);
    }
}

bool frmLogon::eventFilter(QObject* watched, QEvent* event)
{
    auto* box = qobject_cast<QLineEdit*>(watched);
    if (box && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            if (box == txtName)
                txtPW->setFocus();
            else
                cmdOk_Click();
            return true;
        }
    } else if (box && event->type() == QEvent::FocusIn) {
        // After the click that gave the focus, or it would undo the selection.
        QTimer::singleShot(0, box, [box] { box->selectAll(); });
    }
    return KrvForm<QDialog>::eventFilter(watched, event);
}

void frmLogon::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, height());
    sky.setColorAt(0, QColor(28, 52, 84));
    sky.setColorAt(1, QColor(58, 96, 110));
    p.fillRect(rect(), sky);
    p.drawPixmap(24, 20, ProgramLogo(48));
    QFont f = font();
    f.setPointSizeF(f.pointSizeF() * 1.7);
    f.setBold(true);
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(QRect(84, 18, width() - 100, 30), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Corvane Quorrel"));
    QFont small = font();
    p.setFont(small);
    p.setPen(QColor(210, 225, 235));
    p.drawText(QRect(84, 46, width() - 100, 22), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Tunnel inventory and inspection"));
}

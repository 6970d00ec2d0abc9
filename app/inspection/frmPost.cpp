#include "frmPost.h"

#include "db.h"
#include "dbposting.h"
#include "helpers.h"
#include "modkrv.h"
#include "prompt.h"
#include "rowedits.h"
#include "uihelpers.h"

#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QScreen>

namespace {

const QString kSource = QStringLiteral("frmPost");
const QString kTreeName = QStringLiteral("frmInspectionPd");

// Design values (twips). The border is one pixel on each side of the client area.
constexpr int kClientWidth = 4680;
constexpr int kClientHeight = 3195;
constexpr int kBorder = kTwipsPerPixel;
constexpr int kListHeight = 1005;
constexpr int kLabel3Top = 2280;
constexpr int kButtonsTop = 2640;

void place(QWidget* w, int left, int top, int width, int height)
{
    // Client coordinates, inside the drawn border.
    w->setGeometry(TwipsToPixels(left + kBorder), TwipsToPixels(top + kBorder), TwipsToPixels(width),
                   TwipsToPixels(height));
}

QLabel* centredLabel(QWidget* parent, const QString& name, const QString& text)
{
    auto* l = new QLabel(text, parent);
    l->setObjectName(name);
    l->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    l->setWordWrap(true);
    return l;
}

QWidget* loadedTree()
{
    for (QWidget* w : LoadedForms())
        if (w->objectName().compare(kTreeName, Qt::CaseInsensitive) == 0)
            return w;
    return nullptr;
}

}  // namespace

PostLayout PostLayoutFor(int items)
{
    if (items <= 0)
        return {false, kListHeight, 600, 900, 1450};
    if (items >= 5)
        return {true, kListHeight, kLabel3Top, kButtonsTop, kClientHeight + 2 * kBorder};
    // One item more: the list grows by 200 and everything below it moves down by 200.
    const int step = 200 * (items - 1);
    return {true, 250 + step, 1525 + step, 1885 + step, 2470 + step};
}

frmPost::frmPost(QWidget* parent) : KrvForm<QDialog>(QStringLiteral("frmPost"), parent)
{
    // A plain frame: no title bar, no control box, empty caption.
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setWindowTitle(QString());
    setModal(true);

    Label1 = centredLabel(this, QStringLiteral("Label1"),
                          QStringLiteral("This action will allow users to view the data that has been input for the "
                                         "selected inspection year.  "));
    place(Label1, 120, 120, 4455, 495);
    Label2 = centredLabel(this, QStringLiteral("Label2"),
                          QStringLiteral("All data for this inspection year should be input before it is posted. The "
                                         "following panel(s) have element(s) for which no ratings have been input:"));
    place(Label2, 120, 600, 4455, 615);
    List1 = new QListWidget(this);
    List1->setObjectName(QStringLiteral("List1"));
    place(List1, 840, 1200, 3015, kListHeight);
    Label3 = centredLabel(this, QStringLiteral("Label3"), QStringLiteral("Are you sure you want to post the data?"));
    place(Label3, 120, kLabel3Top, 4455, 255);
    cmdYes = new QPushButton(QStringLiteral("Yes"), this);
    cmdYes->setObjectName(QStringLiteral("cmdYes"));
    place(cmdYes, 840, kButtonsTop, 1335, 375);
    cmdNo = new QPushButton(QStringLiteral("No"), this);
    cmdNo->setObjectName(QStringLiteral("cmdNo"));
    place(cmdNo, 2400, kButtonsTop, 1455, 375);
    cmdYes->setAutoDefault(false);
    cmdNo->setAutoDefault(false);

    setTabOrder(List1, cmdYes);
    setTabOrder(cmdYes, cmdNo);

    connect(cmdYes, &QPushButton::clicked, this, &frmPost::cmdYes_Click);
    connect(cmdNo, &QPushButton::clicked, this, &frmPost::cmdNo_Click);

    applyLayout(5);
}

QStringList frmPost::IncompletePanels(qint32 tunnelId, qint32 inspectionId)
{
    // One statement for the whole tunnel. An element counts when the panel's element list
    // shows it; a rating counts only for such an element, so a rating left from an element
    // taken off the panel does not hide a missing one.
    const RowSet rs = gConn.query(
        QStringLiteral(
            "SELECT p.PanelID, p.PanelName, "
            "(SELECT COUNT(*) FROM AvailableElements a WHERE a.ElementID IN "
            "  (SELECT pe.ElementID FROM PanelElements pe WHERE pe.PanelID = p.PanelID)) AS Elements, "
            "(SELECT COUNT(*) FROM Ratings r WHERE r.InspectionID = ? AND r.PanelID = p.PanelID "
            "  AND r.Rating IS NOT NULL AND r.ElementID IN (SELECT a.ElementID FROM AvailableElements a "
            "  WHERE a.ElementID IN (SELECT pe.ElementID FROM PanelElements pe WHERE pe.PanelID = p.PanelID))) "
            "  AS Rated "
            "FROM Panels p WHERE p.TunnelID = ? ORDER BY p.PanelID"),
        {inspectionId, tunnelId});
    QStringList names;
    for (int i = 0; i < rs.count(); ++i) {
        const qint64 elements = rs.value(i, QStringLiteral("Elements")).toLongLong();
        const qint64 rated = rs.value(i, QStringLiteral("Rated")).toLongLong();
        if (elements == 0 || elements > rated)
            names << rs.value(i, QStringLiteral("PanelName")).toString();
    }
    return names;
}

void frmPost::LoadForm(qint32 TunnelID, qint32 InspectionID)
{
    m_tunnelId = TunnelID;
    m_inspectionId = InspectionID;
    m_posted = false;
    List1->clear();
    const QVariant year =
        gConn.scalar(QStringLiteral("SELECT InspectionYear FROM InspectionPeriod WHERE InspectionID = ?"), {InspectionID});
    m_periodName = QStringLiteral("The inspection period ") + (year.isNull() ? QString() : year.toString());

    const QVariant panels =
        gConn.scalar(QStringLiteral("SELECT COUNT(*) FROM Panels WHERE TunnelID = ?"), {TunnelID});
    if (panels.toLongLong() == 0) {
        MsgBox(QStringLiteral("There is no data to post."));
        // Nothing to show: the window does not stay behind as a hidden window.
        m_posted = true;
        Unload();
        return;
    }
    List1->addItems(IncompletePanels(TunnelID, InspectionID));

    QWidget* tree = loadedTree();
    const QRect owner = tree && tree->isVisible() ? tree->frameGeometry() : QRect();
    if (tree)
        tree->setVisible(false);
    applyLayout(List1->count());

    // Centred on the window that opened it.
    QRect area = owner;
    if (area.isEmpty() && screen())
        area = screen()->availableGeometry();
    if (!area.isEmpty())
        move(area.center() - QPoint(width() / 2, height() / 2));

    exec();
}

void frmPost::applyLayout(int items)
{
    const PostLayout l = PostLayoutFor(items);
    Label2->setVisible(l.listShown);
    List1->setVisible(l.listShown);
    place(List1, 840, 1200, 3015, l.listHeight);
    place(Label3, 120, l.label3Top, 4455, 255);
    place(cmdYes, 840, l.buttonsTop, 1335, 375);
    place(cmdNo, 2400, l.buttonsTop, 1455, 375);
    setFixedSize(TwipsToPixels(kClientWidth + 2 * kBorder), TwipsToPixels(l.windowHeight));
}

void frmPost::cmdYes_Click()
{
    SaveOutcome outcome;
    try {
        WaitCursor wait;
        // Posted only while the period is there: a period another user removed meanwhile
        // would post what its removal left and drop its posted copies.
        const qint32 inspectionId = m_inspectionId;
        outcome = SaveRows({}, {{QStringLiteral("InspectionPeriod"), {{QStringLiteral("InspectionID"), inspectionId}},
                                 m_periodName}},
                           [inspectionId] { DbPostInspection(inspectionId); });
    } catch (const std::exception& e) {
        // Nothing was posted; the window stays open and Yes can be pressed again.
        RestoreDefaultCursor();
        LogError(QStringLiteral("Error posting data"), kSource, e);
        return;
    }
    if (!outcome.saved()) {
        // Nothing was posted and the user was told why; there is nothing left to post.
        RestoreDefaultCursor();
        Unload();
        return;
    }
    QPointer<QWidget> tree = loadedTree();
    if (tree)
        QMetaObject::invokeMethod(tree, "RefreshYear", Q_ARG(qint32, m_inspectionId));
    m_posted = true;
    Unload();
    MsgBox(QStringLiteral("The data has been posted."));
    if (tree)
        tree->setVisible(true);
    RestoreDefaultCursor();
}

void frmPost::cmdNo_Click()
{
    Unload();
}

void frmPost::reject()
{
    cmdNo_Click();
}

void frmPost::FormUnload()
{
    if (!m_posted)
        showTree();
}

void frmPost::showTree()
{
    if (QWidget* tree = loadedTree())
        tree->setVisible(true);
}

void frmPost::paintEvent(QPaintEvent* event)
{
    QDialog::paintEvent(event);
    QPainter p(this);
    p.setPen(palette().color(QPalette::WindowText));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
}

#include "frmInspectionPd.h"

#include "clicklabel.h"
#include "db.h"
#include "dbcascades.h"
#include "dbmedia.h"
#include "dbinspection.h"
#include "dbposting.h"
#include "dbsystem.h"
#include "frmAbout.h"
#include "frmDataInput.h"
#include "frmInspectionPdFolders.h"
#include "frmPost.h"
#include "globals.h"
#include "helpers.h"
#include "krverror.h"
#include "lookups.h"
#include "modkrv.h"
#include "prompt.h"
#include "settings.h"
#include "uihelpers.h"

#include <QApplication>
#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QStyleOptionButton>
#include <QStyledItemDelegate>
#include <QStylePainter>
#include <QTimer>
#include <QTreeWidget>

#include <algorithm>
#include <array>
#include <functional>

namespace {

const QString kSource = QStringLiteral("frmInspectionPd");
const QString kAddYear = QStringLiteral("Add Inspection Year");
const QString kDeleteYear = QStringLiteral("Delete Inspection Year");
constexpr int kKeyRole = Qt::UserRole;
// A year node's InspectionYear as loaded, to compare with at a rename.

// A year another user gave the tunnel while the rename's question was open.
struct YearTaken {};

// The window's tunnel outlives the window.
qint32 sTunnelID = 0;

// A command button whose caption wraps over two lines like the designed ones, and which
// stays disabled while the windows it opens are not part of the program.
class PdButton : public QPushButton {
public:
    PdButton(const QString& caption, QWidget* parent, QStringList opens = {})
        : QPushButton(caption, parent), m_opens(std::move(opens))
    {
        setAutoDefault(false);
        setToolTip(caption.trimmed());
        setProperty("wordWrap", true);
    }

    // The width that shows a caption in two lines at most at the full font, inside the
    // margins the painting keeps.
    static int twoLineWidth(const QFontMetrics& fm, const QString& caption)
    {
        const QString text = caption.trimmed();
        int best = fm.horizontalAdvance(text);
        for (int i = text.indexOf(QLatin1Char(' ')); i > 0; i = text.indexOf(QLatin1Char(' '), i + 1))
            best = std::min(best, std::max(fm.horizontalAdvance(text.left(i)), fm.horizontalAdvance(text.mid(i + 1))));
        return best + 6 + 2;
    }

protected:
    void changeEvent(QEvent* event) override
    {
        QPushButton::changeEvent(event);
        if (event->type() == QEvent::EnabledChange && isEnabled() && !available())
            setEnabled(false);
    }
    void paintEvent(QPaintEvent*) override
    {
        QStylePainter p(this);
        QStyleOptionButton opt;
        initStyleOption(&opt);
        opt.text.clear();
        p.drawControl(QStyle::CE_PushButton, opt);
        p.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
        // The designed buttons are small: the caption gets the largest font that fits.
        const QRect box = rect().adjusted(3, 2, -3, -2);
        const QString caption = text().trimmed();
        QFont f = font();
        for (qreal size = f.pointSizeF(); size > 5; size -= 0.5) {
            f.setPointSizeF(size);
            const QRect need = QFontMetrics(f).boundingRect(box, Qt::AlignCenter | Qt::TextWordWrap, caption);
            if (need.height() <= box.height() && need.width() <= box.width())
                break;
        }
        p.setFont(f);
        p.drawText(box, Qt::AlignCenter | Qt::TextWordWrap, caption);
    }

private:
    bool available() const
    {
        for (const QString& name : m_opens)
            if (!FormIsAvailable(name))
                return false;
        return true;
    }
    QStringList m_opens;
};

// Hands an edited label to the window after the editor has closed, so its questions are
// asked outside the editor's commit; the window sets the text when it accepts the edit.
class LabelDelegate : public QStyledItemDelegate {
public:
    LabelDelegate(QObject* parent, std::function<void(QString, QString)> edited)
        : QStyledItemDelegate(parent), m_edited(std::move(edited))
    {
    }
    void setModelData(QWidget* editor, QAbstractItemModel*, const QModelIndex& index) const override
    {
        auto* line = qobject_cast<QLineEdit*>(editor);
        if (!line || line->text() == index.data(Qt::DisplayRole).toString())
            return;
        const QString key = index.data(kKeyRole).toString();
        const QString text = line->text();
        auto edited = m_edited;
        QTimer::singleShot(0, parent(), [edited, key, text] { edited(key, text); });
    }

private:
    std::function<void(QString, QString)> m_edited;
};

QWidget* loadedForm(const QString& formName)
{
    for (QWidget* w : LoadedForms())
        if (w->objectName().compare(formName, Qt::CaseInsensitive) == 0)
            return w;
    return nullptr;
}

// A single-instance window of another library: the loaded one or a new one. A new one that
// a failed command leaves hidden is unloaded again, so no invisible window stays behind.
class ByName {
public:
    explicit ByName(const QString& formName, bool reuse = true)
    {
        m_form = reuse ? loadedForm(formName) : nullptr;
        if (!m_form) {
            m_form = CreateForm(formName);
            if (!m_form)
                throw FormNotInProgram(formName);
            m_created = true;
        }
    }
    ~ByName()
    {
        if (m_created && (!m_done || m_unloadWhenHidden) && m_form && !m_form->isVisible())
            UnloadForm(m_form);
    }
    ByName(const ByName&) = delete;
    ByName& operator=(const ByName&) = delete;

    QWidget* get() const
    {
        if (!m_form)
            throw KrvError(-1, QStringLiteral("The window was unloaded."));
        return m_form;
    }
    void done(bool unloadWhenHidden = false)
    {
        m_done = true;
        m_unloadWhenHidden = unloadWhenHidden;
    }

private:
    QPointer<QWidget> m_form;
    bool m_created = false;
    bool m_done = false;
    bool m_unloadWhenHidden = false;
};

qint16 NodeYear(const QTreeWidgetItem* node)
{
    return qint16(RoundHalfEven(Val(node->text(0))));
}

bool YearExists(qint32 tunnelId, qint16 year)
{
    try {
        return !gConn.scalar(QStringLiteral("SELECT 1 FROM InspectionPeriod WHERE InspectionYear = ? AND TunnelID = ?"),
                             {year, tunnelId})
                    .isNull();
    } catch (const std::exception&) {
        return false;
    }
}

QString WithoutSlash(QString folder)
{
    while (folder.endsWith(QLatin1Char('/')))
        folder.chop(1);
    return folder;
}

}  // namespace

// ------------------------------------------------------------------ window

frmInspectionPd::frmInspectionPd(QWidget* parent) : KrvForm<QWidget>(QStringLiteral("frmInspectionPd"), parent)
{
    setWindowTitle(QStringLiteral("Inspection Periods"));
    buildControls();
    Form_Load();
}

qint32 frmInspectionPd::TunnelID()
{
    return sTunnelID;
}

void frmInspectionPd::SetTunnelID(qint32 tunnelId)
{
    sTunnelID = tunnelId;
}

QString frmInspectionPd::NodeKey(const QTreeWidgetItem* node)
{
    return node ? node->data(0, kKeyRole).toString() : QString();
}

qint32 frmInspectionPd::KeyNumber(const QTreeWidgetItem* node)
{
    return qint32(Val(NodeKey(node).mid(1)));
}

QTreeWidgetItem* frmInspectionPd::FindNode(const QString& key) const
{
    for (int i = 0; i < tv->topLevelItemCount(); ++i) {
        QTreeWidgetItem* t = tv->topLevelItem(i);
        if (NodeKey(t) == key)
            return t;
        for (int k = 0; k < t->childCount(); ++k)
            if (NodeKey(t->child(k)) == key)
                return t->child(k);
    }
    return nullptr;
}

void frmInspectionPd::buildControls()
{
    tv = new QTreeWidget(this);
    tv->setObjectName(QStringLiteral("tv"));
    tv->setHeaderHidden(true);
    tv->setColumnCount(1);
    tv->setSelectionMode(QAbstractItemView::SingleSelection);
    tv->setEditTriggers(QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed);
    tv->setItemDelegate(new LabelDelegate(this, [this](const QString& key, const QString& text) {
        QTreeWidgetItem* node = FindNode(key);
        if (node && tv_AfterLabelEdit(node, text) && (node = FindNode(key)))
            node->setText(0, QString::number(ReadYearAnswer(text).year));
    }));
    PlaceTwips(tv, 80, 105, 3270, 4950);

    const QString input = QStringLiteral("frmDataInput");
    cmdAddYear = new PdButton(QStringLiteral("Add Inspection Period"), this);
    cmdInput = new PdButton(QStringLiteral("Input Data"), this, {input});
    cmdViewData = new PdButton(QStringLiteral("View Data"), this, {QStringLiteral("frmDataView")});
    cmdReport = new PdButton(QStringLiteral("      Report Unposted Data"), this,
                             {QStringLiteral("frmReport"), QStringLiteral("frmReportViewer")});
    cmdPost = new PdButton(QStringLiteral("Post Data"), this);
    cmdSystem = new PdButton(QStringLiteral("System Wizard"), this, {QStringLiteral("frmSystem")});
    cmdClose = new PdButton(QStringLiteral("Close"), this);
    const std::array<std::pair<QPushButton*, const char*>, 7> buttons{
        {{cmdAddYear, "cmdAddYear"}, {cmdInput, "cmdInput"}, {cmdViewData, "cmdViewData"}, {cmdReport, "cmdReport"},
         {cmdPost, "cmdPost"}, {cmdSystem, "cmdSystem"}, {cmdClose, "cmdClose"}}};
    const std::array<int, 7> lefts{3480, 3465, 3465, 3480, 3480, 3465, 3480};
    for (size_t i = 0; i < buttons.size(); ++i) {
        buttons[i].first->setObjectName(QLatin1String(buttons[i].second));
        PlaceTwips(buttons[i].first, lefts[i], 105 + 735 * int(i), 1275, 540);
        if (i > 0)
            setTabOrder(buttons[i - 1].first, buttons[i].first);
    }
    for (QPushButton* b : {cmdInput, cmdViewData, cmdReport, cmdPost, cmdSystem})
        b->setEnabled(false);
    // The column takes the width every caption needs in two lines in the desktop's face;
    // the window grows by as much.
    int column = TwipsToPixels(1275);
    for (const auto& b : buttons)
        column = std::max(column, PdButton::twoLineWidth(b.first->fontMetrics(), b.first->text()));
    for (const QString& caption : {kAddYear, kDeleteYear})
        column = std::max(column, PdButton::twoLineWidth(cmdAddYear->fontMetrics(), caption));
    for (const auto& b : buttons)
        b.first->resize(column, b.first->height());
    const int wider = column - TwipsToPixels(1275);

    Label1 = new ClickLabel(QStringLiteral("Quorrel"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    QFont narrow = Label1->font();
    narrow.setFamilies({QStringLiteral("Liberation Sans Narrow"),
                        QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("Sans Serif")});
    Label1->setFont(narrow);
    // As tall as its face needs, its lower edge where the form puts it.
    PlaceTwips(Label1, 120, 5330, 1410, 195);
    Label1->setGeometry(Label1->x(), TwipsToPixels(5525) - std::max(Label1->height(), Label1->sizeHint().height()),
                        Label1->width(), std::max(Label1->height(), Label1->sizeHint().height()));
    Image1 = new ClickLabel(QString(), this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setPixmap(ProgramLogo(TwipsToPixels(420)));
    PlaceTwips(Image1, 3900, 5130, 420, 420);
    Image1->move(Image1->x() + wider, Image1->y());

    resize(TwipsToPixels(4860) + wider, TwipsToPixels(5640));

    connect(tv, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* node) { tv_NodeClick(node); });
    connect(tv, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* current) {
        // A mouse press is followed by its click (unless released over another node); a move
        // made by the window is no click. Either way the caption and buttons follow the node.
        if (!m_programmatic && !m_mousePressed && current)
            tv_NodeClick(current);
        else
            showNode(current);
    });
    connect(tv, &QTreeWidget::itemCollapsed, this, [this](QTreeWidgetItem* node) {
        if (m_programmatic)
            return;
        // The tree then selects the collapsed node when one of its years was selected.
        if (tv->currentItem() && tv->currentItem()->parent() == node)
            setCurrent(node);
        if (tv->currentItem())
            tv_NodeClick(tv->currentItem());
    });
    tv->installEventFilter(this);
    tv->viewport()->installEventFilter(this);

    connect(cmdAddYear, &QPushButton::clicked, this, &frmInspectionPd::cmdAddYear_Click);
    connect(cmdInput, &QPushButton::clicked, this, &frmInspectionPd::cmdInput_Click);
    connect(cmdViewData, &QPushButton::clicked, this, &frmInspectionPd::cmdViewData_Click);
    connect(cmdReport, &QPushButton::clicked, this, &frmInspectionPd::cmdReport_Click);
    connect(cmdPost, &QPushButton::clicked, this, &frmInspectionPd::cmdPost_Click);
    connect(cmdSystem, &QPushButton::clicked, this, &frmInspectionPd::cmdSystem_Click);
    connect(cmdClose, &QPushButton::clicked, this, [this] { Unload(); });
    connect(Label1, &ClickLabel::clicked, this, &frmInspectionPd::showAbout);
    connect(Image1, &ClickLabel::clicked, this, &frmInspectionPd::showAbout);
}

void frmInspectionPd::Form_Load()
{
    RestoreFormPosition(this);
    fillTree();
}

void frmInspectionPd::fillTree()
{
    const bool was = m_programmatic;
    m_programmatic = true;
    tv->clear();
    m_shownYears.clear();
    m_programmatic = was;
    tv->setEnabled(false);
    int tunnels = 0;
    try {
        const RowSet rs = DbGetTunnels(gSystemID);
        const RowSet periods = gConn.query(
            QStringLiteral("SELECT InspectionID, TunnelID, InspectionYear FROM InspectionPeriod "
                           "WHERE TunnelID IN (SELECT TunnelID FROM Tunnels WHERE SystemID = ?) "
                           "ORDER BY InspectionYear, InspectionID"),
            {gSystemID});
        QHash<qint32, QTreeWidgetItem*> byId;
        for (int i = 0; i < rs.count(); ++i) {
            tv->setEnabled(true);
            const qint32 id = rs.toInt(i, QStringLiteral("TunnelID"));
            auto* node = new QTreeWidgetItem(tv, {rs.value(i, QStringLiteral("TunnelName")).toString()});
            node->setData(0, kKeyRole, QStringLiteral("x%1").arg(id));
            node->setFlags(node->flags() | Qt::ItemIsEditable);
            byId.insert(id, node);
            ++tunnels;
        }
        for (int i = 0; i < periods.count(); ++i) {
            QTreeWidgetItem* parent = byId.value(periods.toInt(i, QStringLiteral("TunnelID")));
            if (!parent)
                continue;
            auto* year = new QTreeWidgetItem(parent, {periods.value(i, QStringLiteral("InspectionYear")).toString()});
            year->setData(0, kKeyRole, QStringLiteral("y%1").arg(periods.toInt(i, QStringLiteral("InspectionID"))));
            m_shownYears.filled(year->data(0, kKeyRole).toString(), periods.value(i, QStringLiteral("InspectionYear")),
                                year->text(0));
            year->setFlags(year->flags() | Qt::ItemIsEditable);
        }
        if (sTunnelID != 0)
            selectTunnel(sTunnelID);
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error loading Inspection Period screen"), kSource, e);
    }
    cmdAddYear->setText(kAddYear);
    cmdAddYear->setEnabled(tunnels > 0);
    cmdSystem->setEnabled(gIsWizard);
}

void frmInspectionPd::LoadForm(qint32 TunnelID)
{
    sTunnelID = TunnelID;
    // A tunnel made in the set-up window since the tree was filled: fill it again.
    if (!FindNode(QStringLiteral("x%1").arg(TunnelID)))
        fillTree();
    selectTunnel(TunnelID);
    show();
    raise();
    activateWindow();
}

void frmInspectionPd::selectTunnel(qint32 tunnelId)
{
    if (QTreeWidgetItem* node = FindNode(QStringLiteral("x%1").arg(tunnelId))) {
        setCurrent(node);
        node->setExpanded(true);
    }
}

void frmInspectionPd::removeNode(const QString& key)
{
    const bool was = m_programmatic;
    m_programmatic = true;
    delete FindNode(key);
    m_programmatic = was;
    if (tv->currentItem())
        setCurrent(tv->currentItem());
}

void frmInspectionPd::setCurrent(QTreeWidgetItem* node)
{
    const bool was = m_programmatic;
    m_programmatic = true;
    tv->setCurrentItem(node);
    m_programmatic = was;
}

bool frmInspectionPd::QueryUnload()
{
    // Not while sketches are being copied into a new period.
    return !m_busy;
}

void frmInspectionPd::FormUnload()
{
    SaveFormPosition(this);
}

bool frmInspectionPd::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == tv->viewport()) {
        if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick)
            m_mousePressed = true;
        else if (event->type() == QEvent::MouseButtonRelease)
            QTimer::singleShot(0, this, [this] { m_mousePressed = false; });
    } else if (watched == tv && event->type() == QEvent::KeyPress) {
        if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
            tv_DeleteKey();
            return true;
        }
    }
    return KrvForm<QWidget>::eventFilter(watched, event);
}

void frmInspectionPd::showAbout()
{
    auto* about = new frmAbout(this);
    about->exec();
}

// ------------------------------------------------------------------ node click and buttons

void frmInspectionPd::tv_NodeClick(QTreeWidgetItem* node)
{
    if (!node)
        return;
    try {
        // The tunnel comes from the node's key: names need not be unique.
        QTreeWidgetItem* tunnelNode = node->parent() ? node->parent() : node;
        const qint32 tunnelId = KeyNumber(tunnelNode);
        if (gConn.scalar(QStringLiteral("SELECT TunnelID FROM Tunnels WHERE TunnelID = ?"), {tunnelId}).isNull())
            throw DbError(ErrNo::NoCurrentRecord,
                          QStringLiteral("No current record: the tunnel %1 no longer exists.").arg(tunnelNode->text(0)));
        sTunnelID = tunnelId;
        setNodeButtons(node);
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error selecting tunnel"), kSource, e);
    }
}

void frmInspectionPd::showNode(QTreeWidgetItem* node)
{
    try {
        setNodeButtons(node);
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error selecting tunnel"), kSource, e);
    }
}

void frmInspectionPd::setNodeButtons(QTreeWidgetItem* node)
{
    if (!node || !node->parent()) {
        cmdAddYear->setText(kAddYear);
        for (QPushButton* b : {cmdInput, cmdViewData, cmdReport, cmdPost})
            b->setEnabled(false);
    } else if (gIsDataEntry || gIsWizard) {
        cmdAddYear->setText(kDeleteYear);
        cmdInput->setEnabled(true);
        cmdViewData->setEnabled(true);
        setYearButtons(node);
    } else {
        cmdAddYear->setText(kDeleteYear);
        cmdViewData->setEnabled(true);
        cmdReport->setEnabled(false);
        cmdPost->setEnabled(false);
    }
    cmdSystem->setEnabled(gIsWizard);
}

void frmInspectionPd::RefreshYear(qint32 inspectionId)
{
    // Only the selected node's own buttons: a tunnel node may carry the same number.
    QTreeWidgetItem* node = tv->currentItem();
    if (node && NodeKey(node) == QStringLiteral("y%1").arg(inspectionId))
        showNode(node);
}

void frmInspectionPd::setYearButtons(QTreeWidgetItem* yearNode)
{
    const qint32 inspectionId = KeyNumber(yearNode);
    const bool data = DbHasUnpostedData(inspectionId);
    const bool media = DbHasUnpostedMedia(inspectionId);
    cmdReport->setEnabled(data);
    cmdPost->setEnabled(data || media);
}

void frmInspectionPd::cmdInput_Click()
{
    QTreeWidgetItem* node = tv->currentItem();
    if (!node)
        return;
    if (!node->parent()) {
        MsgBox(QStringLiteral("Please select a year."), MsgButtons::Ok, MsgIcon::None,
               QStringLiteral("Input Ratings Data"));
        return;
    }
    try {
        const qint16 year = NodeYear(node);
        const qint32 tunnelId = KeyNumber(node->parent());
        // The entry window shown may hold an edit: it is saved, dropped or kept first.
        for (QWidget* w : LoadedForms())
            if (auto* entry = qobject_cast<frmDataInput*>(w); entry && !entry->SettleEdit())
                return;
        if (IsFormLoaded(QStringLiteral("frmDataInput")))
            UnloadFormByName(QStringLiteral("frmDataInput"));
        ByName entry(QStringLiteral("frmDataInput"));
        CallFormMethod(entry.get(), "LoadForm", {year, tunnelId});
        // Rating entry shows itself; it may stay hidden after its own message (no picture).
        entry.done();
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error loading Ratings Input screen"), kSource, e);
    }
}

void frmInspectionPd::cmdViewData_Click()
{
    QTreeWidgetItem* node = tv->currentItem();
    if (node && !node->parent() && node->childCount() > 0) {
        node = node->child(0);
        setCurrent(node);
    }
    if (!node || !node->parent()) {
        MsgBox(QStringLiteral("Please select an inspection period."), MsgButtons::Ok, MsgIcon::None,
               QStringLiteral("View Ratings Data"));
        return;
    }
    try {
        ByName review(QStringLiteral("frmDataView"));
        CallFormMethod(review.get(), "LoadForm", {KeyNumber(node->parent()), KeyNumber(node), 0});
        review.done();
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error loading Tunnel Ratings screen"), kSource, e);
    }
}

void frmInspectionPd::cmdPost_Click()
{
    QTreeWidgetItem* node = tv->currentItem();
    if (!node)
        return;
    if (!node->parent()) {
        MsgBox(QStringLiteral("Please select a year."), MsgButtons::Ok, MsgIcon::None,
               QStringLiteral("Post Ratings Data"));
        return;
    }
    QPointer<QWidget> post = loadedForm(QStringLiteral("frmPost"));
    try {
        if (!post)
            post = new frmPost;
        qobject_cast<frmPost*>(post.data())->LoadForm(KeyNumber(node->parent()), KeyNumber(node));
    } catch (const std::exception& e) {
        if (post && !post->isVisible())
            UnloadForm(post);
        setVisible(true);
        LogError(QStringLiteral("Error posting data"), kSource, e);
    }
}

void frmInspectionPd::cmdReport_Click()
{
    QTreeWidgetItem* node = tv->currentItem();
    if (!node)
        return;
    if (!node->parent()) {
        MsgBox(QStringLiteral("Please select a year."), MsgButtons::Ok, MsgIcon::None,
               QStringLiteral("Report Unposted Data"));
        return;
    }
    try {
        const qint32 tunnelId = KeyNumber(node->parent());
        const qint32 inspectionId = KeyNumber(node);
        if (gConn.scalar(QStringLiteral("SELECT COUNT(*) FROM Panels WHERE TunnelID = ?"), {tunnelId}).toLongLong()
            == 0) {
            MsgBox(QStringLiteral("There is no data to report."), MsgButtons::Ok, MsgIcon::None,
                   QStringLiteral("Report Unposted Data"));
            return;
        }
        ByName report(QStringLiteral("frmReport"));
        ByName viewer(QStringLiteral("frmReportViewer"));
        {
            WaitCursor wait;
            CallFormMethod(report.get(), "CreateUnpostedDataRpt", {tunnelId, inspectionId, QStringLiteral("PreDataPost")});
            CallFormMethod(viewer.get(), "GetReportType", {QStringLiteral("PreDataPost")});
        }
        RestoreDefaultCursor();
        // A build that failed (and said so) or was cancelled leaves an empty viewer: not shown.
        const QVariant hasReport = viewer.get()->property("HasReport");
        if (!hasReport.isValid() || hasReport.toBool())
            ShowFormModal(viewer.get());
        // The report window only built the report; it does not stay behind hidden.
        report.done(true);
        viewer.done(true);
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error creating report"), kSource, e);
    }
}

void frmInspectionPd::cmdSystem_Click()
{
    try {
        if (!FormIsAvailable(QStringLiteral("frmSystem")))
            throw FormNotInProgram(QStringLiteral("frmSystem"));
        Unload();
        if (QWidget* setup = loadedForm(QStringLiteral("frmSystem")) ? loadedForm(QStringLiteral("frmSystem"))
                                                                      : CreateForm(QStringLiteral("frmSystem")))
            setup->show();
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error loading System Wizard screen"), kSource, e);
    }
}

// ------------------------------------------------------------------ years

void frmInspectionPd::cmdAddYear_Click()
{
    if (m_busy)
        return;
    QTreeWidgetItem* node = tv->currentItem();
    if (!node)
        return;
    if (node->parent())
        deleteYear(node, true);
    else
        addYear(node);
}

void frmInspectionPd::tv_DeleteKey()
{
    if (m_busy)
        return;
    QTreeWidgetItem* node = tv->currentItem();
    if (!node)
        return;
    if (node->parent())
        deleteYear(node, false);
    else if (gIsWizard)
        deleteTunnel(node);
}

void frmInspectionPd::addYear(QTreeWidgetItem* tunnelNode)
{
    const std::optional<QString> answer =
        Prompt().inputText(QStringLiteral("Enter an inspection year: "), tunnelNode->text(0),
                           QString::number(QDate::currentDate().year()));
    const YearAnswer y = ReadYearAnswer(answer.value_or(QString()));
    if (y.kind == YearAnswer::Silent)
        return;
    if (y.kind == YearAnswer::Invalid) {
        MsgBox(QStringLiteral("Invalid Year. Please enter a year between 1000 and 9999."));
        return;
    }
    const QString tunnelKey = NodeKey(tunnelNode);
    // The copy below keeps other windows painted: this one may be closed meanwhile.
    const QPointer<frmInspectionPd> self(this);
    try {
        const qint32 tunnelId = KeyNumber(tunnelNode);
        sTunnelID = tunnelId;
        if (YearExists(tunnelId, y.year)) {
            MsgBox(QStringLiteral("This year has already been entered."));
            return;
        }
        // A tunnel whose name cannot be a folder gets no period it could never keep media in (one
        // removed meanwhile is told below).
        const ColumnValues tunnelKeyColumns{{QStringLiteral("TunnelID"), tunnelId}};
        if (RowExists(QStringLiteral("Tunnels"), tunnelKeyColumns))
            GetTunnelFolder(tunnelId);

        // The node is made once the period exists, so it never lacks its key. The year is looked
        // for again inside the transaction: another user may have added it meanwhile.
        qint32 inspectionId = 0;
        RowWrite add;
        add.kind = RowWrite::Kind::Add;
        add.what = QStringLiteral("The inspection period %1").arg(y.year);
        add.write = [&] { inspectionId = DbAddInspectionPeriod(tunnelKey, y.year); };
        const SaveOutcome out =
            SaveRows({add}, {{QStringLiteral("Tunnels"), tunnelKeyColumns, QStringLiteral("The tunnel ") + tunnelNode->text(0)}});
        if (out.result == SaveOutcome::Result::Gone) {
            TunnelRemoved(tunnelId);
            return;
        }
        if (inspectionId == 0) {
            MsgBox(QStringLiteral("This year has already been entered."));
            return;
        }
        int at = 0;
        while (at < tunnelNode->childCount() && Val(tunnelNode->child(at)->text(0)) < y.year)
            ++at;
        auto* node = new QTreeWidgetItem({QString::number(y.year)});
        node->setData(0, kKeyRole, QStringLiteral("y%1").arg(inspectionId));
        m_shownYears.filled(node->data(0, kKeyRole).toString(), y.year, node->text(0));
        node->setFlags(node->flags() | Qt::ItemIsEditable);
        tunnelNode->insertChild(at, node);
        tunnelNode->setExpanded(true);
        setCurrent(node);
        cmdAddYear->setText(kDeleteYear);
        cmdInput->setEnabled(true);
        cmdViewData->setEnabled(true);
        for (QPushButton* b : {cmdReport, cmdPost, cmdSystem})
            b->setEnabled(gIsWizard);

        const QString yearFolder = GetInspectionFolder(tunnelId, inspectionId);
        const QString sketch = yearFolder + QStringLiteral("sketch");
        MakeFolderTree(sketch);

        const QString other = DbGetOtherMaxYear(tunnelId, QString::number(y.year));
        const qint32 otherId = other.isEmpty() ? 0 : DbFindInspectionID(tunnelId, other);
        // The sketch rows as the question finds them, with the names that tell the user what
        // another user removed meanwhile.
        const RowSet sketches = other.isEmpty() ? RowSet() : sketchRows(otherId);
        if (!other.isEmpty()
            && MsgBox(QStringLiteral("Do you want to copy the previous inspection's field sketches into this new "
                                     "inspection period?"),
                      MsgButtons::YesNo, MsgIcon::None, QStringLiteral("Copy Sketches"), MsgAnswer::No)
                   == MsgAnswer::Yes) {
            QHash<QString, QString> placed;  // each sketch's name in the new folder
            {
                // The window keeps repainting during the copy, but nothing may change the tree.
                m_busy = true;
                struct Idle {
                    const QPointer<frmInspectionPd>& window;
                    ~Idle()
                    {
                        if (window)
                            window->m_busy = false;
                    }
                } idle{self};
                CopySketchFiles(
                    GetSketchFolder(tunnelId, otherId), sketch,
                    [](const QString& file, const QString& why) {
                        QApplication::beep();
                        MsgBox(why, MsgButtons::Ok, MsgIcon::Critical, QStringLiteral("Error copying file ") + file);
                    },
                    [] { QCoreApplication::processEvents(); }, &placed,
                    [inspectionId](const QString& name) {
                        return DbMediaFileInUse(inspectionId, MediaKind::Sketch, name);
                    });
            }
            copySketchRecords(sketches, inspectionId, y.year, placed);
        }
        // The new period's records and folders are made whether or not the window is still there.
        MakeFolderTree(yearFolder + QStringLiteral("photo"));
        MakeFolderTree(yearFolder + QStringLiteral("video"));
        if (self)
            tv->setFocus();
    } catch (const std::exception& e) {
        if (self)
            m_busy = false;
        LogError(QStringLiteral("Error removing Inspection Period"), kSource, e);
    }
}

RowSet frmInspectionPd::sketchRows(qint32 inspectionId)
{
    return gConn.query(QStringLiteral("SELECT i.PanelID, i.ElementID, i.ImagePath, i.FieldSketch, i.Annotation, "
                                      "i.Posted, p.PanelName, a.ElementName FROM ImagePaths AS i "
                                      "LEFT JOIN Panels AS p ON p.PanelID = i.PanelID "
                                      "LEFT JOIN AvailableElements AS a ON a.ElementID = i.ElementID "
                                      "WHERE i.InspectionID = ? AND i.FieldSketch = 1 ORDER BY i.rowid"),
                       {inspectionId});
}

void frmInspectionPd::copySketchRecords(const RowSet& rs, qint32 toInspectionId, qint16 toYear,
                                        const QHash<QString, QString>& placed)
{
    try {
        // In one transaction, all or none; a row whose panel or panel element another user removed
        // meanwhile is left out (it would belong to nothing), and the user is told.
        QVector<RowWrite> writes;
        for (int i = 0; i < rs.count(); ++i) {
            const QVariant panelId = rs.value(i, QStringLiteral("PanelID"));
            const QVariant elementId = rs.value(i, QStringLiteral("ElementID"));
            const QVariant panelName = rs.value(i, QStringLiteral("PanelName"));
            const QString panel = panelName.isNull() ? panelId.toString() : panelName.toString();
            const QString element = rs.value(i, QStringLiteral("ElementName")).toString();
            const QVariant annotation = rs.value(i, QStringLiteral("Annotation"));
            // A sketch copied under a free name is found under that name.
            const QString path = placed.value(rs.value(i, QStringLiteral("ImagePath")).toString(),
                                              rs.value(i, QStringLiteral("ImagePath")).toString());
            const QVariantList values{panelId,
                                      elementId,
                                      path,
                                      BoolToBit(rs.value(i, QStringLiteral("FieldSketch")).toBool()),
                                      toInspectionId,
                                      annotation.isNull() ? QStringLiteral("") : annotation.toString(),
                                      BoolToBit(rs.value(i, QStringLiteral("Posted")).toBool())};
            RowWrite w;
            w.kind = RowWrite::Kind::Add;
            w.what = QStringLiteral("The field sketch %1 of panel %2").arg(path, panel);
            w.needs = {{QStringLiteral("Panels"), {{QStringLiteral("PanelID"), panelId}},
                        QStringLiteral("The panel ") + panel},
                       {QStringLiteral("PanelElements"),
                        {{QStringLiteral("PanelID"), panelId}, {QStringLiteral("ElementID"), elementId}},
                        QStringLiteral("The element %1 of panel %2").arg(element, panel)}};
            w.write = [values] {
                gConn.exec(QStringLiteral("INSERT INTO ImagePaths "
                                          "(PanelID,ElementID,ImagePath,FieldSketch,InspectionID,Annotation,Posted) "
                                          "VALUES (?, ?, ?, ?, ?, ?, ?)"),
                           values);
            };
            writes << w;
        }
        if (!writes.isEmpty())
            SaveRows(writes, {{QStringLiteral("InspectionPeriod"), {{QStringLiteral("InspectionID"), toInspectionId}},
                               QStringLiteral("The inspection period %1").arg(toYear)}});
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error adding previous field sketch database records."), kSource, e);
    }
}

void frmInspectionPd::deleteYear(QTreeWidgetItem* yearNode, bool askFolders)
{
    if (MsgBox(QStringLiteral("Are you sure you want to delete the selected Inspection Year?"), MsgButtons::YesNo,
               MsgIcon::None, QStringLiteral("Delete Inspection Year"), MsgAnswer::No)
        == MsgAnswer::Yes) {
        try {
            WaitCursor wait;
            const QString key = NodeKey(yearNode);
            const qint32 inspectionId = KeyNumber(yearNode);
            const qint32 tunnelId = KeyNumber(yearNode->parent());
            // The folder is found while the period still exists.
            QString yearFolder;
            if (askFolders) {
                try {
                    yearFolder = WithoutSlash(GetInspectionFolder(tunnelId, inspectionId));
                } catch (const KrvError&) {
                    yearFolder.clear();  // no usable folder: nothing to offer
                }
            }
            if (DbDeleteInspectionPeriod(inspectionId)) {
                if (!yearFolder.isEmpty()
                    && MsgBox(QStringLiteral("Do you also want to delete the directory structure for this "
                                             "Inspection Year? This will delete ")
                                  + QDir::toNativeSeparators(yearFolder) + QStringLiteral(" and all of its contents."),
                              MsgButtons::YesNo, MsgIcon::None, QStringLiteral("Delete Inspection Year Directory"),
                              MsgAnswer::No)
                           == MsgAnswer::Yes) {
                    const QStringList left = RemoveYearFolder(yearFolder, IniGetSystemPath());
                    if (!left.isEmpty()) {
                        RestoreDefaultCursor();
                        MsgBox(QStringLiteral("These files and folders could not be removed:\n")
                                   + QDir::toNativeSeparators(left.join(QLatin1Char('\n'))),
                               MsgButtons::Ok, MsgIcon::Warning, QStringLiteral("Delete Inspection Year Directory"));
                    }
                }
                removeNode(key);
            }
        } catch (const std::exception& e) {
            LogError(QStringLiteral("Error removing Inspection Period"), kSource, e);
        }
        RestoreDefaultCursor();
    }
    if (askFolders) {
        refreshAfterDelete();
        tv->setFocus();
    }
}

void frmInspectionPd::TunnelRemoved(qint32 tunnelId)
{
    QTreeWidgetItem* node = FindNode(QStringLiteral("x%1").arg(tunnelId));
    if (!node)
        return;
    const bool was = m_programmatic;
    m_programmatic = true;
    delete node;
    m_programmatic = was;
    if (sTunnelID == tunnelId)
        sTunnelID = 0;
    if (!tv->currentItem()) {
        cmdAddYear->setText(kAddYear);
        for (QPushButton* b : {cmdInput, cmdViewData, cmdReport, cmdPost})
            b->setEnabled(false);
    } else {
        refreshAfterDelete();
    }
    cmdAddYear->setEnabled(tv->topLevelItemCount() > 0);
}

void frmInspectionPd::refreshAfterDelete()
{
    QTreeWidgetItem* node = tv->currentItem();
    if (!node)
        return;
    try {
        if (!node->parent()) {
            cmdAddYear->setText(kAddYear);
            for (QPushButton* b : {cmdInput, cmdViewData, cmdReport, cmdPost})
                b->setEnabled(false);
        } else {
            cmdAddYear->setText(kDeleteYear);
            cmdViewData->setEnabled(true);
            if (gIsDataEntry) {
                cmdInput->setEnabled(true);
                sTunnelID = KeyNumber(node->parent());
                setYearButtons(node);
            } else {
                for (QPushButton* b : {cmdInput, cmdReport, cmdPost})
                    b->setEnabled(false);
            }
        }
        cmdSystem->setEnabled(gIsWizard);
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error removing Inspection Period"), kSource, e);
    }
}

void frmInspectionPd::deleteTunnel(QTreeWidgetItem* tunnelNode)
{
    try {
        WaitCursor wait;
        const QString key = NodeKey(tunnelNode);
        sTunnelID = KeyNumber(tunnelNode);
        if (DbDeleteTunnel(sTunnelID, tunnelNode->text(0))) {
            const bool was = m_programmatic;
            m_programmatic = true;
            delete FindNode(key);
            m_programmatic = was;
            NotifyTunnelRemoved(sTunnelID);
        }
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error removing tunnel"), kSource, e);
    }
    RestoreDefaultCursor();
}

bool frmInspectionPd::tv_AfterLabelEdit(QTreeWidgetItem* node, const QString& newText)
{
    if (m_busy || !node)
        return false;
    if (!node->parent()) {
        MsgBox(QStringLiteral("You must change the tunnel names on the System screen."));
        return false;
    }
    return renameYear(node, newText);
}

bool frmInspectionPd::renameYear(QTreeWidgetItem* yearNode, const QString& newText)
{
    // A changed year follows the rules of a new one, and its media folder goes with it.
    const YearAnswer y = ReadYearAnswer(newText);
    if (y.kind != YearAnswer::Year) {
        if (!newText.trimmed().isEmpty())
            MsgBox(QStringLiteral("Invalid Year. Please enter a year between 1000 and 9999."));
        return false;
    }
    const QString key = NodeKey(yearNode);
    const QString shown = yearNode->text(0);
    try {
        const qint32 inspectionId = KeyNumber(yearNode);
        const qint32 tunnelId = KeyNumber(yearNode->parent());
        // The label given back as it showed is no change, whatever the year is stored as.
        if (!m_shownYears.changed(key, newText))
            return false;
        const QVariant loaded = m_shownYears.loaded(key);
        if (YearExists(tunnelId, y.year)) {
            MsgBox(QStringLiteral("This year has already been entered."));
            return false;
        }
        const ColumnValues period{{QStringLiteral("InspectionID"), inspectionId}};
        // A period removed meanwhile has no folder to look at; the save below tells so.
        const bool periodThere = RowExists(QStringLiteral("InspectionPeriod"), period);
        QString newFolder = periodThere ? GetTunnelFolder(tunnelId) + QString::number(y.year) : QString();
        if (periodThere && QFileInfo(WithoutSlash(GetInspectionFolder(tunnelId, inspectionId))).isDir()
            && QFileInfo::exists(newFolder)) {
            MsgBox(QStringLiteral("The folder %1 already exists, so the year cannot be changed.")
                       .arg(QDir::toNativeSeparators(newFolder)));
            return false;
        }
        // The period, its year and its folder are taken as they are inside the transaction:
        // another user may have renamed or removed the period, or given the tunnel this year.
        QString movedFrom;
        RowWrite w;
        w.loaded = {QStringLiteral("InspectionPeriod"), period, {{QStringLiteral("InspectionYear"), loaded}}, false};
        w.what = QStringLiteral("The year of the inspection period %1").arg(shown);
        w.columns = {{QStringLiteral("InspectionYear"), y.year, {}, {}}};
        w.writeColumns = [&](const ColumnValues&) {
            if (DbInspectionYearExists(tunnelId, y.year, inspectionId))
                throw YearTaken();
            const QString oldFolder = WithoutSlash(GetInspectionFolder(tunnelId, inspectionId));
            newFolder = GetTunnelFolder(tunnelId) + QString::number(y.year);
            const bool move = QFileInfo(oldFolder).isDir();
            if (move && QFileInfo::exists(newFolder))
                throw KrvError(ErrNo::PermissionDenied, QStringLiteral("The folder %1 already exists.")
                                                            .arg(QDir::toNativeSeparators(newFolder)));
            DbSetInspectionYear(key, y.year);
            if (move && !QDir().rename(oldFolder, newFolder))
                throw KrvError(ErrNo::PermissionDenied, QStringLiteral("The folder %1 cannot be renamed.")
                                                            .arg(QDir::toNativeSeparators(oldFolder)));
            if (move)
                movedFrom = oldFolder;
        };
        SaveOutcome out;
        try {
            out = SaveRows({w}, {{QStringLiteral("InspectionPeriod"), period, QStringLiteral("The inspection period ") + shown}});
        } catch (...) {
            // The folder goes back with the year.
            if (!movedFrom.isEmpty())
                QDir().rename(newFolder, movedFrom);
            throw;
        }
        if (out.result == SaveOutcome::Result::Gone) {
            removeNode(key);
            return false;
        }
        if (!out.saved())
            return false;
        if (out.showStored()) {
            // The user kept the year another user gave it.
            const qint32 stored = DbGetInspectionYear(inspectionId);
            if (QTreeWidgetItem* node = FindNode(key)) {
                node->setText(0, QString::number(stored));
                m_shownYears.filled(key, stored, node->text(0));
                placeYear(node, stored);
            }
            return false;
        }
    } catch (const YearTaken&) {
        MsgBox(QStringLiteral("This year has already been entered."));
        return false;
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error changing Inspection Year"), kSource, e);
        return false;
    }
    if (QTreeWidgetItem* node = FindNode(key)) {
        node->setText(0, QString::number(y.year));
        m_shownYears.filled(key, y.year, node->text(0));
        placeYear(node, y.year);
    }
    return true;
}

// The year keeps its place in ascending order.
void frmInspectionPd::placeYear(QTreeWidgetItem* node, qint32 year)
{
    QTreeWidgetItem* parent = node->parent();
    const bool was = m_programmatic;
    m_programmatic = true;
    const bool current = tv->currentItem() == node;
    parent->removeChild(node);
    int at = 0;
    while (at < parent->childCount() && Val(parent->child(at)->text(0)) < year)
        ++at;
    parent->insertChild(at, node);
    if (current)
        tv->setCurrentItem(node);
    m_programmatic = was;
}

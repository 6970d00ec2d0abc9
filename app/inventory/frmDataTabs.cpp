#include "frmDataTabs.h"

#include "clicklabel.h"
#include "db.h"
#include "dbrecords.h"
#include "frmAbout.h"
#include "helpers.h"
#include "modkrv.h"
#include "prompt.h"
#include "rowedits.h"

#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTabBar>
#include <QVBoxLayout>
#include <algorithm>

namespace {

QPointer<frmDataTabs> gInstance;

QPushButton* button(const QString& text, QWidget* parent, const char* name)
{
    auto* b = new QPushButton(text, parent);
    b->setObjectName(QLatin1String(name));
    b->setAutoDefault(false);
    return b;
}

QString placeholderCaption() { return QStringLiteral("Tab 0"); }

const QString kTabHasTexts = QStringLiteral("Cannot remove this tab.  Data already exists for this topic.");

// The removals a save could not make: panels hold texts for these tabs.
struct TabsHaveTexts {
    QVector<qint32> ids;
};

}  // namespace

frmDataTabs* frmDataTabs::Instance()
{
    // An unloaded window lingers until deleted; the next use loads a new one.
    if (!gInstance || !LoadedForms().contains(gInstance.data()))
        gInstance = new frmDataTabs;
    return gInstance;
}

frmDataTabs* frmDataTabs::ShowForm()
{
    frmDataTabs* f = Instance();
    f->show();
    f->raise();
    f->activateWindow();
    return f;
}

frmDataTabs::frmDataTabs(QWidget* parent) : KrvForm<QWidget>(QStringLiteral("frmDataTabs"), parent)
{
    setWindowTitle(QStringLiteral("Panel Data Tabs Definition"));

    Frame1 = new QFrame(this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Frame1->setFrameShape(QFrame::StyledPanel);

    SSTab1 = new QTabBar(Frame1);
    SSTab1->setObjectName(QStringLiteral("SSTab1"));
    SSTab1->setExpanding(false);
    SSTab1->setUsesScrollButtons(true);
    SSTab1->addTab(placeholderCaption());

    Label1 = new QLabel(QStringLiteral("Tab Caption"), Frame1);
    Label1->setObjectName(QStringLiteral("Label1"));
    txtCaption = new QLineEdit(Frame1);
    txtCaption->setObjectName(QStringLiteral("txtCaption"));
    cmdMoveLeft = button(QStringLiteral("<< Move Left"), Frame1, "cmdMoveLeft");
    cmdMoveLeft->setToolTip(QStringLiteral("Move current tab left"));
    cmdMoveRight = button(QStringLiteral("Move Right >>"), Frame1, "cmdMoveRight");
    cmdMoveRight->setToolTip(QStringLiteral("Move current tab right"));

    cmdAdd = button(QStringLiteral("Add Tab"), this, "cmdAdd");
    cmdRemove = button(QStringLiteral("Remove Tab"), this, "cmdRemove");
    cmdSave = button(QStringLiteral("Save"), this, "cmdSave");
    cmdSave->setToolTip(QStringLiteral("Save tab configuration"));
    cmdClose = button(QStringLiteral("Close"), this, "cmdClose");

    imgCorvane = new ClickLabel(QString(), this);
    imgCorvane->setObjectName(QStringLiteral("imgCorvane"));
    imgCorvane->setPixmap(ProgramLogo(32));
    lblKRV = new ClickLabel(kAppTitle, this);
    lblKRV->setObjectName(QStringLiteral("lblKRV"));

    auto* caption = new QHBoxLayout;
    caption->addWidget(Label1);
    caption->addWidget(txtCaption, 1);
    auto* moves = new QHBoxLayout;
    moves->addWidget(cmdMoveLeft);
    moves->addStretch(1);
    moves->addWidget(cmdMoveRight);
    auto* frame = new QVBoxLayout(Frame1);
    frame->addWidget(SSTab1);
    frame->addLayout(caption);
    frame->addLayout(moves);
    frame->addStretch(1);

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(cmdAdd);
    buttons->addWidget(cmdRemove);
    buttons->addStretch(1);
    buttons->addWidget(cmdSave);
    buttons->addWidget(cmdClose);

    auto* logo = new QHBoxLayout;
    logo->addWidget(imgCorvane);
    logo->addWidget(lblKRV);
    logo->addStretch(1);

    auto* grid = new QGridLayout(this);
    grid->addWidget(Frame1, 0, 0);
    grid->addLayout(buttons, 0, 1);
    grid->addLayout(logo, 1, 0, 1, 2);
    grid->setColumnStretch(0, 1);

    connect(SSTab1, &QTabBar::currentChanged, this, [this] { SSTab1_Click(); });
    connect(txtCaption, &QLineEdit::textChanged, this, [this] { txtCaption_Change(); });
    connect(cmdAdd, &QPushButton::clicked, this, &frmDataTabs::cmdAdd_Click);
    connect(cmdRemove, &QPushButton::clicked, this, &frmDataTabs::cmdRemove_Click);
    connect(cmdMoveLeft, &QPushButton::clicked, this, [this] { cmdMove_Click(-1); });
    connect(cmdMoveRight, &QPushButton::clicked, this, [this] { cmdMove_Click(1); });
    connect(cmdSave, &QPushButton::clicked, this, [this] { cmdSave_Click(); });
    connect(cmdClose, &QPushButton::clicked, this, &frmDataTabs::cmdClose_Click);
    connect(imgCorvane, &ClickLabel::clicked, this, &frmDataTabs::showAbout);
    connect(lblKRV, &ClickLabel::clicked, this, &frmDataTabs::showAbout);

    resize(480, 220);
    Form_Load();
}

void frmDataTabs::Form_Load(int current)
{
    m_changed = false;
    m_ids = {0};
    m_loaded.clear();
    m_shownTabs.clear();
    // Until a data tab is read, the tab control stands for nothing.
    {
        const QSignalBlocker block(SSTab1);
        while (SSTab1->count() > 1)
            SSTab1->removeTab(SSTab1->count() - 1);
        setCaption(0, placeholderCaption());
    }
    SSTab1->hide();
    cmdRemove->setEnabled(false);
    m_guard = true;
    txtCaption->clear();
    m_guard = false;
    try {
        const RowSet rs = DbGetTabDefinitions();
        if (rs.isEmpty())
            return;
        // Positions follow the row order; Save writes them back without gaps.
        {
            const QSignalBlocker block(SSTab1);
            for (int i = 0; i < rs.count(); ++i) {
                if (i > 0)
                    SSTab1->addTab(QString());
                setCaption(i, rs.value(i, QStringLiteral("TabCaption")).toString());
            }
            SSTab1->setCurrentIndex(qBound(0, current, rs.count() - 1));
        }
        m_ids.resize(rs.count());
        for (int i = 0; i < rs.count(); ++i) {
            m_ids[i] = rs.toInt(i, QStringLiteral("ID"));
            m_loaded.insert(m_ids[i], {rs.value(i, QStringLiteral("TabIndex")), rs.value(i, QStringLiteral("TabCaption"))});
            m_shownTabs.filled(QStringLiteral("TabCaption/%1").arg(m_ids[i]), rs.value(i, QStringLiteral("TabCaption")),
                               caption(i));
        }
        SSTab1->show();
        cmdRemove->setEnabled(true);
        showCaption();
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error loading Panel Data Tabs Definition screen."), objectName(), e);
    }
}

QString frmDataTabs::caption(int tab) const
{
    if (tab < 0 || tab >= SSTab1->count())
        return QString();
    return SSTab1->tabData(tab).toString();
}

void frmDataTabs::setCaption(int tab, const QString& text)
{
    SSTab1->setTabData(tab, text);
    SSTab1->setTabText(tab, ShownName(text));
}

QStringList frmDataTabs::tabCaptions() const
{
    QStringList out;
    if (!SSTab1->isHidden())
        for (int i = 0; i < SSTab1->count(); ++i)
            out << caption(i);
    return out;
}

QVector<qint32> frmDataTabs::tabIds() const { return SSTab1->isHidden() ? QVector<qint32>() : m_ids; }

// Writing the box is not an edit of the caption.
void frmDataTabs::showCaption()
{
    m_guard = true;
    txtCaption->setText(caption(SSTab1->currentIndex()));
    m_guard = false;
}

void frmDataTabs::SSTab1_Click()
{
    showCaption();
    txtCaption->selectAll();
}

void frmDataTabs::txtCaption_Change()
{
    if (m_guard)
        return;
    m_changed = true;
    const int cur = SSTab1->currentIndex();
    if (cur >= 0)
        setCaption(cur, txtCaption->text());
}

void frmDataTabs::cmdAdd_Click()
{
    try {
        m_changed = true;
        if (SSTab1->isHidden()) {
            SSTab1->show();
            m_ids = {0};
            // Not under the guard: the first tab takes this caption.
            txtCaption->setText(placeholderCaption());
            setCaption(0, placeholderCaption());
        } else {
            const int at = SSTab1->count();
            {
                const QSignalBlocker block(SSTab1);
                SSTab1->addTab(QString());
                setCaption(at, QStringLiteral("Tab ") + QString::number(at));
                m_ids.append(0);
            }
            SSTab1->setCurrentIndex(at);
            SSTab1_Click();
        }
        txtCaption->selectAll();
        txtCaption->setFocus();
        cmdRemove->setEnabled(true);
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error adding data tab"), objectName(), e);
    }
}

void frmDataTabs::cmdRemove_Click()
{
    try {
        m_changed = true;
        const int cur = SSTab1->currentIndex();
        if (cur < 0)
            return;
        // A tab not saved yet has no texts.
        if (m_ids[cur] != 0 && DbCountTabData(m_ids[cur]) > 0) {
            MsgBox(kTabHasTexts, MsgButtons::Ok, MsgIcon::Warning, QStringLiteral("Remove Tab"));
            return;
        }
        const int last = SSTab1->count() - 1;
        if (last > 0) {
            {
                const QSignalBlocker block(SSTab1);
                for (int i = cur; i < last; ++i) {
                    setCaption(i, caption(i + 1));
                    m_ids[i] = m_ids[i + 1];
                }
                SSTab1->removeTab(last);
                m_ids.removeLast();
                SSTab1->setCurrentIndex(qMin(cur, last - 1));
            }
            showCaption();
        } else {
            SSTab1->hide();
            setCaption(0, placeholderCaption());
            m_guard = true;
            txtCaption->clear();
            m_guard = false;
            m_ids = {0};
            cmdRemove->setEnabled(false);
        }
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error removing data tab"), objectName(), e);
    }
}

void frmDataTabs::cmdMove_Click(int step)
{
    try {
        m_changed = true;
        const int cur = SSTab1->currentIndex();
        const int other = cur + step;
        if (SSTab1->isHidden() || cur < 0 || other < 0 || other >= SSTab1->count())
            return;
        const QString text = caption(cur);
        setCaption(cur, caption(other));
        setCaption(other, text);
        std::swap(m_ids[cur], m_ids[other]);
        // The moved tab stays current.
        SSTab1->setCurrentIndex(other);
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error moving tab"), objectName(), e);
    }
}

bool frmDataTabs::cmdSave_Click()
{
    m_changed = false;
    try {
        // All or nothing: a failure leaves the stored structure as it was and the edits on
        // screen, still marked as unsaved. Only the tabs added, renamed, moved or removed
        // here are written: another user's tabs and changes stay.
        const QVector<qint32> ids = SSTab1->isHidden() ? QVector<qint32>() : m_ids;
        QVector<RowWrite> writes;
        QVector<qint32> refused;
        QList<qint32> loadedIds = m_loaded.keys();
        std::sort(loadedIds.begin(), loadedIds.end());
        for (qint32 id : loadedIds) {
            if (ids.contains(id))
                continue;
            const LoadedTab was = m_loaded.value(id);
            RowWrite w;
            w.kind = RowWrite::Kind::Remove;
            w.loaded = {QStringLiteral("TabDefinitions"), {{QStringLiteral("ID"), id}},
                        {{QStringLiteral("TabCaption"), was.caption}}};
            w.what = QStringLiteral("The tab ") + was.caption.toString();
            // Texts review saved for it since the click keep it.
            w.write = [id, &refused] {
                if (DbCountTabData(id) > 0)
                    refused << id;
                else
                    gConn.exec(QStringLiteral("DELETE FROM TabDefinitions WHERE ID = ?"), {id});
            };
            writes << w;
        }
        for (int i = 0; i < ids.size(); ++i) {
            const QString text = caption(i);
            if (ids[i] == 0) {
                RowWrite w;
                w.kind = RowWrite::Kind::Add;
                w.what = QStringLiteral("The tab ") + text;
                w.write = [i, text] { DbAddTabDefinition(i, text); };
                writes << w;
                continue;
            }
            const LoadedTab was = m_loaded.value(ids[i]);
            RowWrite w;
            w.loaded = {QStringLiteral("TabDefinitions"), {{QStringLiteral("ID"), ids[i]}},
                        {{QStringLiteral("TabIndex"), was.index}, {QStringLiteral("TabCaption"), was.caption}}};
            w.what = QStringLiteral("The tab ") + was.caption.toString();
            if (was.index.isNull() || was.index.toLongLong() != i)
                w.columns << ColumnEdit{QStringLiteral("TabIndex"), i, QStringLiteral("The place of the tab ") + was.caption.toString(),
                                        [](const QVariant& v) { return QString::number(v.toLongLong() + 1); }};
            if (m_shownTabs.changed(QStringLiteral("TabCaption/%1").arg(ids[i]), text))
                w.columns << ColumnEdit{QStringLiteral("TabCaption"), text, QStringLiteral("The name of the tab ") + was.caption.toString(), {}};
            if (!w.columns.isEmpty())
                writes << w;
        }
        if (!writes.isEmpty()) {
            const SaveOutcome out = SaveRows(writes, {}, [&refused] {
                if (!refused.isEmpty())
                    throw TabsHaveTexts{refused};
            });
            if (out.result == SaveOutcome::Result::Cancelled) {
                m_changed = true;
                return false;
            }
        }
        // The structure as stored: this user's tabs with their keys, and other users' tabs.
        Form_Load(SSTab1->isHidden() ? 0 : SSTab1->currentIndex());
        return true;
    } catch (const TabsHaveTexts& t) {
        // Nothing was written; the tabs that keep texts come back, the other edits stay.
        m_changed = true;
        for (qint32 id : t.ids)
            restoreTab(id);
        MsgBox(kTabHasTexts, MsgButtons::Ok, MsgIcon::Warning, QStringLiteral("Remove Tab"));
        return false;
    } catch (const std::exception& e) {
        m_changed = true;
        LogError(QStringLiteral("Error saving data tab configuration"), objectName(), e);
        return false;
    }
}

void frmDataTabs::restoreTab(qint32 id)
{
    const LoadedTab was = m_loaded.value(id);
    const QSignalBlocker block(SSTab1);
    if (SSTab1->isHidden()) {
        m_ids = {id};
        setCaption(0, was.caption.toString());
        SSTab1->show();
        cmdRemove->setEnabled(true);
    } else {
        const int at = qBound(0, int(was.index.toLongLong()), int(SSTab1->count()));
        SSTab1->insertTab(at, QString());
        setCaption(at, was.caption.toString());
        m_ids.insert(at, id);
        SSTab1->setCurrentIndex(at);
    }
    showCaption();
}

void frmDataTabs::cmdClose_Click() { Unload(); }

bool frmDataTabs::SettleEditBeforeClose()
{
    // Asked however the window closes: Close, the title bar, or the program ending.
    if (!m_changed)
        return true;
    const MsgAnswer answer =
        MsgBox(QStringLiteral("Save the current Panel Data Tab structure?"), MsgButtons::YesNoCancel,
               MsgIcon::Question, QStringLiteral("Close Panel Data Tab Definition"));
    if (answer == MsgAnswer::Cancel)
        return false;
    // A failed save keeps the window, so the edits are not lost with it.
    return answer != MsgAnswer::Yes || cmdSave_Click();
}

void frmDataTabs::showAbout() { (new frmAbout(this))->exec(); }

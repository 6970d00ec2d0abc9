#include "uihelpers.h"

#include "forms.h"
#include "globals.h"
#include "helpers.h"
#include "lookups.h"
#include "mappicture.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QSettings>
#include <QTreeWidget>
#include <QWidget>
#include <utility>

void PlaceTwips(QWidget* control, double left, double top, double width, double height)
{
    control->setGeometry(TwipRect(left, top, width, height));
}

QColor BgrToColor(quint32 bgr) { return QColor(int(bgr & 0xFF), int((bgr >> 8) & 0xFF), int((bgr >> 16) & 0xFF)); }

quint32 ColorToBgr(const QColor& color)
{
    return quint32(color.red()) | (quint32(color.green()) << 8) | (quint32(color.blue()) << 16);
}

WaitCursor::WaitCursor()
{
    if (qobject_cast<QApplication*>(QCoreApplication::instance())) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        m_active = true;
    }
}

WaitCursor::~WaitCursor()
{
    if (m_active && QApplication::overrideCursor())
        QApplication::restoreOverrideCursor();
}

namespace {

// A number as typing gives it: digits with at most one point.
bool PlainAmountText(const QString& text)
{
    bool point = false;
    for (QChar c : text) {
        if (c == QLatin1Char('.') && !point)
            point = true;
        else if (!(c.isDigit() && c.unicode() < 128))
            return false;
    }
    return true;
}

// Reads every user edit of one amount box after the line edit has made it, so no way in
// (shortcut, context menu, drop, selection paste, input method) can pass it by.
class AmountEntry : public QObject {
public:
    AmountEntry(QLineEdit* box, std::function<void()> refuse) : QObject(box), m_box(box), m_refuse(std::move(refuse))
    {
        remember(box->text());
        connect(box, &QLineEdit::textEdited, this, [this] { edited(); });
        // Texts set by the program are its own formats; they are the box's from then on.
        connect(box, &QLineEdit::textChanged, this, [this] { remember(m_box->text()); });
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched != m_box)
            return false;
        switch (event->type()) {
        case QEvent::KeyPress: {
            const auto* key = static_cast<QKeyEvent*>(event);
            const QString text = key->text();
            const bool printable = !text.isEmpty() && text.at(0).category() != QChar::Other_Control;
            const bool shortcut = key->modifiers() & (Qt::ControlModifier | Qt::MetaModifier);
            m_typed = printable && !shortcut ? text : QString();
            break;
        }
        case QEvent::KeyRelease:
        case QEvent::MouseButtonPress:
        case QEvent::ContextMenu:
        case QEvent::DragEnter:
        case QEvent::Drop:
        case QEvent::FocusOut:
            m_typed.clear();
            break;
        default:
            break;
        }
        return false;
    }

private:
    void remember(const QString& text)
    {
        m_last = text;
        if (!m_held.contains(text)) {
            m_held.append(text);
            if (m_held.size() > 200)
                m_held.removeFirst();
        }
    }

    void edited()
    {
        const QString now = m_box->text();
        const QString typed = std::exchange(m_typed, QString());
        const qsizetype shorter = std::min(m_last.size(), now.size());
        qsizetype head = 0;
        while (head < shorter && m_last.at(head) == now.at(head))
            ++head;
        qsizetype tail = 0;
        while (tail < shorter - head && m_last.at(m_last.size() - 1 - tail) == now.at(now.size() - 1 - tail))
            ++tail;
        const QString inserted = now.mid(head, now.size() - head - tail);
        // A deletion, a typed key, an undo or redo, or a plain number: as it stands.
        if (inserted.isEmpty() || inserted == typed || m_held.contains(now) || PlainAmountText(inserted)) {
            remember(now);
            return;
        }
        const std::optional<double> v = AmountValue(inserted);
        if (!v) {
            m_box->setText(m_last);
            m_box->setCursorPosition(int(std::min(head, m_last.size())));
            m_refuse();
            return;
        }
        const QString number = QString::number(*v, 'g', 15);
        m_box->setText(now.left(head) + number + now.right(tail));
        m_box->setCursorPosition(int(head + number.size()));
    }

    QLineEdit* m_box;
    std::function<void()> m_refuse;
    QString m_last;      // the box's text before the edit being read
    QStringList m_held;  // texts the box has held, which undo and redo may give back
    QString m_typed;     // the text of the key being typed, while it goes in
};

}  // namespace

void ReadEnteredAmounts(QLineEdit* box, std::function<void()> refuse)
{
    box->installEventFilter(new AmountEntry(box, std::move(refuse)));
}

namespace {

class ZoomBoxEnter : public QObject {
public:
    ZoomBoxEnter(QComboBox* box, std::function<bool()> apply) : QObject(box), m_box(box), m_apply(std::move(apply)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        const bool onEdit = watched != m_box;
        if (event->type() == QEvent::KeyRelease && onEdit)
            m_passedOn = nullptr;
        if (event->type() != QEvent::KeyPress)
            return false;
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key != Qt::Key_Return && key != Qt::Key_Enter)
            return false;
        // A key the line edit got first and let through reaches the box as well: once is enough.
        if (!onEdit && event == m_passedOn) {
            m_passedOn = nullptr;
            return false;
        }
        const bool swallowed = m_apply();
        if (onEdit)
            m_passedOn = swallowed ? nullptr : event;
        return swallowed;
    }

private:
    QComboBox* m_box;
    std::function<bool()> m_apply;
    const QEvent* m_passedOn = nullptr;
};

}  // namespace

void OnZoomBoxEnter(QComboBox* box, std::function<bool()> apply)
{
    auto* filter = new ZoomBoxEnter(box, std::move(apply));
    box->installEventFilter(filter);
    if (box->lineEdit())
        box->lineEdit()->installEventFilter(filter);
}

// ------------------------------------------------------------------ lists

bool ListContains(const QString& text, QComboBox* combo)
{
    if (!combo)
        return false;
    return combo->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive) >= 0;
}

static bool gSortDescending[5] = {false, false, false, false, false};

void ResetListSortDirections()
{
    for (bool& d : gSortDescending)
        d = false;
}

namespace {
struct SortKey {
    bool numeric = false;
    double number = 0;
    QString text;
};

SortKey sortKey(QTreeWidgetItem* item, int column)
{
    SortKey k;
    switch (column) {
    case 1:
        k.text = item->text(0);
        break;
    case 2:
        k.numeric = true;
        k.number = Val(item->text(1));
        break;
    case 3:
        k.text = item->text(2);
        break;
    case 4:
    case 5: {
        // An amount after its currency sign; thousands separators belong to the number.
        QString amount = item->text(column - 1).mid(1);
        amount.remove(QLatin1Char(','));
        k.numeric = true;
        k.number = Val(amount);
        break;
    }
    }
    return k;
}

// True when a should come before b.
bool before(const SortKey& a, const SortKey& b, bool descending)
{
    if (a.numeric)
        return descending ? a.number > b.number : a.number < b.number;
    // By character code, case apart.
    const int c = QString::compare(a.text, b.text, Qt::CaseSensitive);
    return descending ? c > 0 : c < 0;
}
}  // namespace

void SwapListItems(int i, int j, QTreeWidget* list)
{
    if (!list || i == j)
        return;
    QTreeWidgetItem* a = list->topLevelItem(i);
    QTreeWidgetItem* b = list->topLevelItem(j);
    if (!a || !b)
        return;
    const QVariant keyA = a->data(0, Qt::UserRole);
    const QVariant keyB = b->data(0, Qt::UserRole);
    QStringList textsA, textsB;
    for (int c = 0; c < 5; ++c) {
        textsA << a->text(c);
        textsB << b->text(c);
    }
    for (int c = 0; c < 5; ++c) {
        a->setText(c, textsB[c]);
        b->setText(c, textsA[c]);
    }
    a->setData(0, Qt::UserRole, keyB);
    b->setData(0, Qt::UserRole, keyA);
}

void SortListView(int column, QTreeWidget* list)
{
    if (column < 1 || column > 5 || !list)
        return;
    const bool descending = gSortDescending[column - 1];
    const int n = list->topLevelItemCount();
    for (int i = 0; i < n; ++i)
        for (int j = i; j < n; ++j)
            if (before(sortKey(list->topLevelItem(j), column), sortKey(list->topLevelItem(i), column), descending))
                SwapListItems(i, j, list);
    gSortDescending[column - 1] = !descending;
}

void SetTopMost(QWidget* window, bool topMost)
{
    if (!window)
        return;
    const bool visible = window->isVisible();
    const QRect geometry = window->geometry();
    window->setWindowFlag(Qt::WindowStaysOnTopHint, topMost);
    // Changing the flag hides the window; put it back where it was.
    window->setGeometry(geometry);
    if (visible)
        window->show();
}

void ShowTunnelInTitle(QWidget* window, const QString& prefix, qint32 tunnelId, QString& tunnelName)
{
    if (const QString stored = DbGetTunnelName(tunnelId); !stored.isEmpty())
        tunnelName = stored;
    window->setWindowTitle(prefix + tunnelName);
}

// ------------------------------------------------------------------ picture chooser

void SetSysMapChoice(const QString& fileName) { gSysMapChoice = fileName; }

QString ChooseSystemMap(const QString& title, const QString& folder)
{
    QString result;
    QWidget* chooser = CreateForm(QStringLiteral("frmOpenSysMap"));
    if (chooser) {
        QMetaObject::invokeMethod(chooser, "LoadForm", Q_ARG(QString, title), Q_ARG(QString, folder));
        if (gPictureFound) {
            if (auto* dialog = qobject_cast<QDialog*>(chooser))
                dialog->exec();
            result = gSysMapChoice;
        }
    }
    if (IsFormLoaded(QStringLiteral("frmOpenSysMap")))
        UnloadFormByName(QStringLiteral("frmOpenSysMap"));
    gPictureFound = true;
    // Whichever chooser answered, a picture too large for a map is never handed on to be stored.
    if (!result.isEmpty() && !MapPictureSizeAccepted(folder + result, title))
        result.clear();
    return result;
}

// ------------------------------------------------------------------ placement

static QString placementGroup(QWidget* form) { return form->objectName().toLower(); }

void SaveFormPosition(QWidget* form)
{
    if (!form)
        return;
    QSettings reg(QStringLiteral("Quillmar Inc."), QStringLiteral("KRV"));
    if (!reg.isWritable())
        return;
    reg.beginGroup(placementGroup(form));
    const Qt::WindowStates state = form->windowState();
    const bool minimized = state & Qt::WindowMinimized;
    const bool maximized = state & Qt::WindowMaximized;
    if (!minimized && !maximized) {
        // Twips, as text of a single-precision number.
        const QPoint pos = form->pos();
        const QSize size = form->size();
        reg.setValue(QStringLiteral("Left"), QString::number(float(PixelsToTwips(pos.x()))));
        reg.setValue(QStringLiteral("Top"), QString::number(float(PixelsToTwips(pos.y()))));
        reg.setValue(QStringLiteral("Width"), QString::number(float(PixelsToTwips(size.width()))));
        reg.setValue(QStringLiteral("Height"), QString::number(float(PixelsToTwips(size.height()))));
    }
    reg.setValue(QStringLiteral("Max"), maximized ? QStringLiteral("True") : QStringLiteral("False"));
    reg.endGroup();
    reg.sync();
}

void RestoreFormPosition(QWidget* form)
{
    if (!form)
        return;
    QSettings reg(QStringLiteral("Quillmar Inc."), QStringLiteral("KRV"));
    reg.beginGroup(placementGroup(form));
    auto text = [&reg](const char* name) { return reg.value(QLatin1String(name)).toString(); };
    const int left = TwipsToPixels(Val(text("Left")));
    const int top = TwipsToPixels(Val(text("Top")));
    form->move(left, top);
    if (text("Max") == QStringLiteral("True")) {
        form->setWindowState(form->windowState() | Qt::WindowMaximized);
    } else {
        const double width = RoundHalfEven(Val(text("Width")));
        const double height = RoundHalfEven(Val(text("Height")));
        QSize size = form->size();
        if (width > 0)
            size.setWidth(TwipsToPixels(width));
        if (height >= 1)
            size.setHeight(TwipsToPixels(height));
        form->resize(size);
    }
    reg.endGroup();
}

#include "helpers.h"

#include <QApplication>
#include <QCollator>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <utility>
#include <unicode/uchar.h>
#include <unicode/ustring.h>

double Val(const QString& text)
{
    QString digits;
    bool seenDigit = false, seenPoint = false, seenSign = false;
    for (QChar c : text) {
        if (c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n') || c == QLatin1Char('\r'))
            continue;
        if ((c == QLatin1Char('-') || c == QLatin1Char('+')) && !seenSign && !seenDigit && !seenPoint) {
            seenSign = true;
            digits += c;
        } else if (c.isDigit() && c.unicode() < 128) {
            seenDigit = true;
            digits += c;
        } else if (c == QLatin1Char('.') && !seenPoint) {
            seenPoint = true;
            digits += c;
        } else {
            break;
        }
    }
    if (!seenDigit)
        return 0.0;
    bool ok = false;
    const double v = digits.toDouble(&ok);
    return ok ? v : 0.0;
}

QString MoneyText(double amount)
{
    QString s = QString::number(amount, 'f', 2);
    if (s.startsWith(QStringLiteral("0.")))
        s.remove(0, 1);
    else if (s.startsWith(QStringLiteral("-0.")))
        s.remove(1, 1);
    return s;
}

double RoundHalfEven(double value) { return std::nearbyint(value); }

int TwipsToPixels(double twips) { return int(RoundHalfEven(twips / kTwipsPerPixel)); }

double PixelsToTwips(double pixels) { return pixels * kTwipsPerPixel; }

QRect TwipRect(double left, double top, double width, double height)
{
    return {TwipsToPixels(left), TwipsToPixels(top), TwipsToPixels(width), TwipsToPixels(height)};
}

void PlaceTwips(QWidget* control, double left, double top, double width, double height)
{
    control->setGeometry(TwipRect(left, top, width, height));
}

QColor BgrToColor(quint32 bgr) { return QColor(int(bgr & 0xFF), int((bgr >> 8) & 0xFF), int((bgr >> 16) & 0xFF)); }

quint32 ColorToBgr(const QColor& color)
{
    return quint32(color.red()) | (quint32(color.green()) << 8) | (quint32(color.blue()) << 16);
}

QString ShortDateText(const QDate& date) { return QLocale::system().toString(date, QLocale::ShortFormat); }

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

void RestoreDefaultCursor()
{
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
        return;
    while (QApplication::overrideCursor())
        QApplication::restoreOverrideCursor();
}

QString NameKey(const QString& name)
{
    if (name.isEmpty())
        return name;
    static_assert(sizeof(UChar) == sizeof(char16_t));
    const auto* src = reinterpret_cast<const UChar*>(name.utf16());
    // Full folding may lengthen a text ("ß" gives "ss", a ligature up to three letters).
    QString out(name.size() * 3 + 1, Qt::Uninitialized);
    UErrorCode status = U_ZERO_ERROR;
    const int32_t n = u_strFoldCase(reinterpret_cast<UChar*>(out.data()), int32_t(out.size()), src,
                                    int32_t(name.size()), U_FOLD_CASE_DEFAULT, &status);
    if (U_FAILURE(status))
        return name.toCaseFolded();
    out.truncate(n);
    return out;
}

bool SameName(const QString& a, const QString& b) { return NameKey(a) == NameKey(b); }

namespace {

QCollator nameCollator()
{
    // The C locale has no order of its own beyond code points; it gets the common one.
    const QLocale locale = QLocale().language() == QLocale::C ? QLocale(QLocale::English) : QLocale();
    QCollator collator{locale};
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    return collator;
}

}  // namespace

int CompareNames(const QString& a, const QString& b)
{
    const int c = nameCollator().compare(a, b);
    return c != 0 ? c : QString::compare(a, b);
}

void SortNames(QStringList& names)
{
    const QCollator collator = nameCollator();
    std::stable_sort(names.begin(), names.end(), [&collator](const QString& a, const QString& b) {
        const int c = collator.compare(a, b);
        return c != 0 ? c < 0 : QString::compare(a, b) < 0;
    });
}

QString ShownName(const QString& name)
{
    QString text = name;
    return text.replace(QLatin1Char('&'), QStringLiteral("&&"));
}

std::optional<double> AmountValue(const QString& text)
{
    const QString t = text.trimmed();
    QLocale locale;
    locale.setNumberOptions(locale.numberOptions() & ~QLocale::RejectGroupSeparator);
    const QString point = locale.decimalPoint();
    const QString group = locale.groupSeparator();
    bool digit = false;
    for (int i = 0; i < t.size(); ++i) {
        const QChar c = t.at(i);
        if (c.isDigit() && c.unicode() < 128) {
            digit = true;
            continue;
        }
        if (!QStringView(t).mid(i).startsWith(point) && !QStringView(t).mid(i).startsWith(group))
            return std::nullopt;
    }
    if (!digit)
        return std::nullopt;
    bool ok = false;
    const double v = locale.toDouble(t, &ok);
    if (!ok)
        return std::nullopt;
    return v;
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

#include "helpers.h"

#include <QApplication>
#include <QClipboard>
#include <QCollator>
#include <QContextMenuEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QLocale>
#include <QWidget>
#include <algorithm>
#include <cmath>
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

// Watches one amount box for pastes and drops; typing is left to the box's own filter.
class AmountPasteFilter : public QObject {
public:
    AmountPasteFilter(QLineEdit* box, std::function<void()> refuse) : QObject(box), m_box(box), m_refuse(std::move(refuse))
    {
    }

    void put(const QString& text)
    {
        if (m_box->isReadOnly())
            return;
        const std::optional<double> v = AmountValue(text);
        if (!v) {
            m_refuse();
            return;
        }
        m_box->insert(QString::number(*v, 'g', 15));
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched != m_box)
            return false;
        switch (event->type()) {
        case QEvent::KeyPress:
            if (static_cast<QKeyEvent*>(event)->matches(QKeySequence::Paste)) {
                put(QGuiApplication::clipboard()->text());
                return true;
            }
            return false;
        case QEvent::MouseButtonRelease:
            if (static_cast<QMouseEvent*>(event)->button() == Qt::MiddleButton
                && QGuiApplication::clipboard()->supportsSelection()) {
                put(QGuiApplication::clipboard()->text(QClipboard::Selection));
                return true;
            }
            return false;
        case QEvent::Drop: {
            auto* drop = static_cast<QDropEvent*>(event);
            if (drop->mimeData()->hasText()) {
                put(drop->mimeData()->text());
                drop->acceptProposedAction();
            }
            return true;
        }
        case QEvent::ContextMenu: {
            // The box's own menu, its Paste going through the same reading.
            QMenu* menu = m_box->createStandardContextMenu();
            menu->setAttribute(Qt::WA_DeleteOnClose);
            for (QAction* a : menu->actions())
                if (a->objectName() == QLatin1String("edit-paste")) {
                    a->disconnect();
                    connect(a, &QAction::triggered, this, [this] { put(QGuiApplication::clipboard()->text()); });
                }
            menu->popup(static_cast<QContextMenuEvent*>(event)->globalPos());
            return true;
        }
        default:
            return false;
        }
    }

private:
    QLineEdit* m_box;
    std::function<void()> m_refuse;
};

}  // namespace

void ReadPastedAmounts(QLineEdit* box, std::function<void()> refuse)
{
    box->installEventFilter(new AmountPasteFilter(box, std::move(refuse)));
}

#include "helpers.h"

#include <QCollator>
#include <QLocale>
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

QString ShortDateText(const QDate& date) { return QLocale::system().toString(date, QLocale::ShortFormat); }

namespace {
void (*gRestoreCursor)() = nullptr;
}  // namespace

void SetDefaultCursorRestorer(void (*restore)()) { gRestoreCursor = restore; }

void RestoreDefaultCursor()
{
    if (gRestoreCursor)
        gRestoreCursor();
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

QString CountText(qint64 count, const QString& singular, const QString& plural)
{
    const QString noun = count == 1 || count == -1 ? singular
                         : plural.isEmpty()         ? singular + QLatin1Char('s')
                                                    : plural;
    return QStringLiteral("%1 %2").arg(count).arg(noun);
}

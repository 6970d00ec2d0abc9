#pragma once
#include <QDate>
#include <QRect>
#include <QString>
#include <functional>
#include <optional>

// The numeric value of a text: blanks skipped, an optional sign, digits with "." as the
// decimal point, reading stops at the first character that cannot continue the number;
// 0 when there is none. "1,200" is 1, "12x" is 12, "" is 0.
double Val(const QString& text);

// A pasted amount read whole: digits, the locale's decimal point and group separators
// ("1,200.50" is 1200.5 in an English locale), blanks around it; nothing for any other
// text (a sign, a letter, a misplaced separator).
std::optional<double> AmountValue(const QString& text);

// Money as "#.#0": two decimals, no leading zero (0.5 gives ".50", 1234.5 gives "1234.50").
QString MoneyText(double amount);

// Rounds halves to the even neighbour (2.5 gives 2, 3.5 gives 4).
double RoundHalfEven(double value);

// 15 twips are one logical pixel.
constexpr int kTwipsPerPixel = 15;
int TwipsToPixels(double twips);
double PixelsToTwips(double pixels);
// A rectangle given in twips, in pixels.
QRect TwipRect(double left, double top, double width, double height);

// A date in the system's short date format.
QString ShortDateText(const QDate& date);

// Names people type (users, tunnels, panels, elements, categories, units, tabs) are the
// same when they match under full Unicode case folding ("JÖRG" is "jörg", "STRASSE" is
// "Straße"). Every duplicate check and name look-up goes through here; the database's
// NOCASE folds ASCII letters only.
QString NameKey(const QString& name);
bool SameName(const QString& a, const QString& b);
// The order of names in the user's locale ("Ärmelkanal" before "Zugang"); <0, 0, >0.
void SortNames(QStringList& names);

// A count with its noun, one or many: "1 conflict", "2 conflicts", "0 conflicts". plural, when
// not given, is the singular with an "s".
QString CountText(qint64 count, const QString& singular, const QString& plural = QString());

// A stored name as the text of a tab, button or menu item: shown as written, "&" is no
// access key.
QString ShownName(const QString& name);


// Puts the default arrow back, however many wait cursors are pending: LogError does so
// after its message. The core has no cursor; the widget layer installs the way to do it.
void RestoreDefaultCursor();
void SetDefaultCursorRestorer(void (*restore)());

template <class T>
T VarMax(const T& a, const T& b)
{
    return b > a ? b : a;
}

template <class T>
T VarMin(const T& a, const T& b)
{
    return b < a ? b : a;
}

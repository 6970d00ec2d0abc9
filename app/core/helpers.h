#pragma once
#include <QColor>
#include <QDate>
#include <QRect>
#include <QString>
#include <functional>
#include <optional>

class QComboBox;
class QLineEdit;
class QWidget;

// The numeric value of a text: blanks skipped, an optional sign, digits with "." as the
// decimal point, reading stops at the first character that cannot continue the number;
// 0 when there is none. "1,200" is 1, "12x" is 12, "" is 0.
double Val(const QString& text);

// A pasted amount read whole: digits, the locale's decimal point and group separators
// ("1,200.50" is 1200.5 in an English locale), blanks around it; nothing for any other
// text (a sign, a letter, a misplaced separator).
std::optional<double> AmountValue(const QString& text);
// Every user edit of an amount box that is not a typed key (Ctrl+V, the context menu's
// Paste, a drop, a middle-click, input-method text) is read here: a plain number goes in as
// it is, other text as its plain number ("1,200.50" gives "1200.5") when AmountValue reads
// it whole; otherwise refuse() runs and the box keeps its text. Typed keys stay with the
// box's own key filter; undo and redo give back texts the box held already.
void ReadEnteredAmounts(QLineEdit* box, std::function<void()> refuse);

// Enter (or Return) in an editable zoom box runs apply(); the key goes no further when it
// returns true. An editable combo box keeps the keyboard focus itself and hands keys to its
// line edit directly, so a filter on the line edit alone never sees them.
void OnZoomBoxEnter(QComboBox* box, std::function<bool()> apply);

// Money as "#.#0": two decimals, no leading zero (0.5 gives ".50", 1234.5 gives "1234.50").
QString MoneyText(double amount);

// Rounds halves to the even neighbour (2.5 gives 2, 3.5 gives 4).
double RoundHalfEven(double value);

// 15 twips are one logical pixel.
constexpr int kTwipsPerPixel = 15;
int TwipsToPixels(double twips);
double PixelsToTwips(double pixels);
// A rectangle given in twips, in pixels; and a control placed by it.
QRect TwipRect(double left, double top, double width, double height);
void PlaceTwips(QWidget* control, double left, double top, double width, double height);

// Colours are stored as 32-bit BGR values (0x0000E6FF is amber).
QColor BgrToColor(quint32 bgr);
quint32 ColorToBgr(const QColor& color);

// A date in the system's short date format.
QString ShortDateText(const QDate& date);

// Names people type (users, tunnels, panels, elements, categories, units, tabs) are the
// same when they match under full Unicode case folding ("JÖRG" is "jörg", "STRASSE" is
// "Straße"). Every duplicate check and name look-up goes through here; the database's
// NOCASE folds ASCII letters only.
QString NameKey(const QString& name);
bool SameName(const QString& a, const QString& b);
// The order of names in the user's locale ("Ärmelkanal" before "Zugang"); <0, 0, >0.
int CompareNames(const QString& a, const QString& b);
void SortNames(QStringList& names);

// A stored name as the text of a tab, button or menu item: shown as written, "&" is no
// access key.
QString ShownName(const QString& name);

// Shows the wait cursor for the life of the guard.
class WaitCursor {
public:
    WaitCursor();
    ~WaitCursor();
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

private:
    bool m_active = false;
};

// Puts the default arrow back, however many wait cursors are pending.
void RestoreDefaultCursor();

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

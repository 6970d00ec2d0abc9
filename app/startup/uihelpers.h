#pragma once
#include <QColor>
#include <QString>
#include <functional>

class QComboBox;
class QLineEdit;
class QTreeWidget;
class QWidget;

// Widget helpers shared by every window; the data helpers they lean on are in helpers.h.

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

// A control placed by a rectangle given in twips.
void PlaceTwips(QWidget* control, double left, double top, double width, double height);

// Colours are stored as 32-bit BGR values (0x0000E6FF is amber).
QColor BgrToColor(quint32 bgr);
quint32 ColorToBgr(const QColor& color);

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

// ---- Lists
// True when one of the combo box's entries equals text exactly (case counts).
bool ListContains(const QString& text, QComboBox* combo);
// Sorts a five-column list by column 1 to 5 (row key in Qt::UserRole of column 0); each
// column alternates ascending and descending, shared by every list.
void SortListView(int column, QTreeWidget* list);
void SwapListItems(int i, int j, QTreeWidget* list);
void ResetListSortDirections();  // tests

// Keeps a window above the others, or returns it to the normal order.
void SetTopMost(QWidget* window, bool topMost);

// A window whose title names its tunnel ("<prefix><tunnel name>") reads the name afresh each
// time it loads, so a rename shows: the name goes to tunnelName and the title. A tunnel gone
// meanwhile keeps the name tunnelName holds.
void ShowTunnelInTitle(QWidget* window, const QString& prefix, qint32 tunnelId, QString& tunnelName);

// ---- Picture chooser: runs frmOpenSysMap (registered with RegisterFormFactory; it has a
// Q_INVOKABLE LoadForm(QString title, QString folder)) and answers the chosen file, ""
// when nothing was chosen.
QString ChooseSystemMap(const QString& title, const QString& folder);
void SetSysMapChoice(const QString& fileName);

// ---- Window placement, one settings group per window (its objectName, lower case).
void SaveFormPosition(QWidget* form);
void RestoreFormPosition(QWidget* form);

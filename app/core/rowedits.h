#pragma once
#include "db.h"

#include <QPair>
#include <QString>
#include <QVariant>
#include <QVector>
#include <functional>

// Saving what a window changed into a database that other users change at the same time.
//
// A window keeps, for each row it may write, the values as it loaded them. At the save it
// hands over only the rows the user added, changed or removed; the check below reads those
// rows again inside the save's transaction and compares them with what the window loaded:
// - unchanged since loading: the row is written;
// - changed by someone else meanwhile: a row written column by column (RowWrite::columns)
//   writes only the columns the user changed, keeps another user's change of the others, and
//   asks only about a column both changed: "<what> was changed by another user after you
//   opened it: it is now 7, yours is 9. Replace it with yours?" (Yes writes the user's value
//   of that column, No keeps the stored one, Cancel keeps editing). A row written whole is
//   asked about as a whole. The question is asked with no transaction open; the save then
//   runs again, and asks again should the row have changed once more;
// - gone (or a row it belongs to gone): nothing is written for it, and the user is told.

using ColumnValues = QVector<QPair<QString, QVariant>>;

// A row as the window loaded it: the table, the columns that find it (a key or a unique
// key), and the values of the columns the window shows and may write, as read (not as
// shown: a REAL keeps all its digits). absent: the window loaded no such row (a new
// rating for its unique key); another user adding one meanwhile is a change.
struct LoadedRow {
    QString table;
    ColumnValues key;
    ColumnValues values;
    bool absent = false;
};

// A row the save needs to exist: the period, panel, panel element, tunnel or record it
// writes into. what names it for the user: "The panel N-01".
struct NeededRow {
    QString table;
    ColumnValues key;
    QString what;
};

// One column of a row the user changed, as it is written.
struct ColumnEdit {
    QString column;
    QVariant value;
    // Names it in a question: "The cost of the expenditure of 8 Feb 2022"; empty: the row's what.
    QString what;
    // A value as the window shows it; unset: its text.
    std::function<QString(const QVariant&)> show;
};

// What a window's fields showed right after it filled them, beside the values they were
// filled from. A field is changed by the user when it shows something else now than right
// after filling, never judged against the stored value: a box hands a stored "\r\n" back as
// "\n" and a no-break space as a space, and that is no change.
class ShownFields {
public:
    // Right after filling a field: the value it was filled from, as loaded, and what it shows.
    void filled(const QString& field, const QVariant& loaded, const QVariant& shown);
    void clear() { m_fields.clear(); }
    void remove(const QString& field);
    bool has(const QString& field) const;
    // Whether the field shows something else now than right after filling; a field never
    // filled has no change.
    bool changed(const QString& field, const QVariant& now) const;
    // The value the field was filled from (Null when never filled).
    QVariant loaded(const QString& field) const;
    // Each field's value as loaded, in the order filled: a LoadedRow's values when the fields
    // are named by their columns.
    ColumnValues loadedColumns() const;

private:
    struct Field {
        QString name;
        QVariant loaded;
        QVariant shown;
    };
    const Field* find(const QString& field) const;
    QVector<Field> m_fields;
};

// One row of a save.
struct RowWrite {
    enum class Kind { Add, Change, Remove };
    Kind kind = Kind::Change;
    // The row as loaded; not used for an Add of a row with a new AutoNumber key.
    LoadedRow loaded;
    // What it belongs to, checked before it is written.
    QVector<NeededRow> needs;
    // Names the row in questions and messages: "The comment of panel N-01".
    QString what;
    // Writes it, inside the save's transaction, once the checks passed (a row written whole).
    std::function<void()> write;
    // A change written column by column: the columns the user changed, each checked against
    // its value in loaded.values (an absent row: against no row). Another user's change of a
    // column not listed stays; a column already stored as the user has it is not written.
    QVector<ColumnEdit> columns;
    // Writes the columns left to write, inside the save's transaction. Unset: an UPDATE of
    // those columns of loaded.table by loaded.key.
    std::function<void(const ColumnValues&)> writeColumns;
    // For a row kept as several rows (an outline's points): reads its compared values as stored
    // now, in the order of loaded.values, inside the save's transaction. Unset: the row is read
    // from loaded.table by loaded.key.
    std::function<QVariantList()> readStored;
};

struct SaveOutcome {
    enum class Result {
        Saved,      // everything that could be written is written (see kept and gone)
        Cancelled,  // the user kept editing: nothing written
        Gone,       // something the whole save needs is gone: nothing written
    };
    Result result = Result::Saved;
    // Indexes of writes not made (or, column by column, not wholly made): kept is where the
    // user kept a stored value, gone where the row or what it belongs to was removed meanwhile.
    QVector<int> kept;
    QVector<int> gone;
    // The messages told the user of what was gone.
    QStringList told;

    bool saved() const { return result == Result::Saved; }
    // True when the window must load again to show what is stored.
    bool showStored() const { return !kept.isEmpty() || !gone.isEmpty(); }
};

// Writes the rows in one transaction after checking them against the file as described
// above. needs: what the whole save writes into; when one is gone nothing is written and the
// user is told "<what> was removed by another user; nothing was saved for it.". extra runs
// inside the transaction after the writes (a procedure's own bookkeeping). Database errors
// are raised as DbError, as any write does.
SaveOutcome SaveRows(const QVector<RowWrite>& writes, const QVector<NeededRow>& needs = {},
                     const std::function<void()>& extra = {});

// True when the row is stored. Runs inside a caller's transaction to check a row a removal
// or a save depends on.
bool RowExists(const QString& table, const ColumnValues& key, const Connection& conn = gConn);

// The same stored value, compared as the save's check compares (exactly: a change of case is a
// change; an integer equals the same number read back as a real). For a window deciding whether
// the user changed a value from the one it loaded.
bool SameValue(const QVariant& a, const QVariant& b);

// The message for a row removed by another user.
QString RemovedByAnotherUserText(const QString& what);
// The question for a row changed by another user.
QString ChangedByAnotherUserText(const QString& what);
// The question for a value both changed, naming the value stored now and the user's, as the
// window shows them (a text over 60 characters shortened with "...").
QString ChangedByAnotherUserText(const QString& what, const QString& now, const QString& yours);

#include "rowedits.h"

#include "prompt.h"

#include <QRegularExpression>
#include <QStringList>
#include <optional>

namespace {

bool plainName(const QString& s)
{
    static const QRegularExpression re(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
    return re.match(s).hasMatch();
}

QString keyCondition(const LoadedRow& row, QVariantList& binds)
{
    if (!plainName(row.table) || row.key.isEmpty())
        throw DbError(-1, QStringLiteral("Invalid row of %1").arg(row.table));
    QStringList parts;
    for (const auto& [column, value] : row.key) {
        if (!plainName(column))
            throw DbError(-1, QStringLiteral("Invalid column name: %1").arg(column));
        parts << QStringLiteral("[%1] IS ?").arg(column);
        binds << value;
    }
    return parts.join(QStringLiteral(" AND "));
}

// The row's compared columns as stored now; nullopt when there is no such row.
std::optional<QVariantList> storedValues(const LoadedRow& row, const Connection& conn)
{
    QVariantList binds;
    const QString where = keyCondition(row, binds);
    QStringList columns;
    for (const auto& pair : row.values) {
        if (!plainName(pair.first))
            throw DbError(-1, QStringLiteral("Invalid column name: %1").arg(pair.first));
        columns << QStringLiteral("[%1]").arg(pair.first);
    }
    if (columns.isEmpty())
        columns << QStringLiteral("1");
    const RowSet rs =
        conn.query(QStringLiteral("SELECT %1 FROM [%2] WHERE %3 LIMIT 1").arg(columns.join(QStringLiteral(", ")), row.table, where),
                   binds);
    if (rs.isEmpty())
        return std::nullopt;
    return row.values.isEmpty() ? QVariantList() : rs.rows().first();
}


bool sameValues(const QVariantList& stored, const QVariantList& expected)
{
    if (stored.size() != expected.size())
        return false;
    for (int i = 0; i < stored.size(); ++i)
        if (!SameValue(stored[i], expected[i]))
            return false;
    return true;
}

QVariantList loadedValues(const LoadedRow& row)
{
    QVariantList out;
    for (const auto& pair : row.values)
        out << pair.second;
    return out;
}

enum class Found { Unchanged, Changed, Gone };

struct WriteState {
    // What the check expects to find: the values as loaded, or as seen when the user chose
    // to replace them. nullopt: no row.
    std::optional<QVariantList> expected;
    bool keep = false;   // the user kept the stored value
    bool asked = false;
};

}  // namespace

QString RemovedByAnotherUserText(const QString& what)
{
    return QStringLiteral("%1 was removed by another user; nothing was saved for it.").arg(what);
}

QString ChangedByAnotherUserText(const QString& what)
{
    return QStringLiteral("%1 was changed by another user after you opened it. Replace it with yours?").arg(what);
}

// Exact comparison, as SQLite's IS with binary collation.
bool SameValue(const QVariant& a, const QVariant& b)
{
    if (a.isNull() || b.isNull())
        return a.isNull() == b.isNull();
    const auto numeric = [](const QVariant& v) {
        const int t = v.typeId();
        return t == QMetaType::Int || t == QMetaType::LongLong || t == QMetaType::UInt || t == QMetaType::ULongLong ||
               t == QMetaType::Double || t == QMetaType::Bool || t == QMetaType::UChar || t == QMetaType::Short;
    };
    if (numeric(a) && numeric(b)) {
        if (a.typeId() == QMetaType::Double || b.typeId() == QMetaType::Double)
            return a.toDouble() == b.toDouble();
        return a.toLongLong() == b.toLongLong();
    }
    if (a.typeId() == QMetaType::QByteArray || b.typeId() == QMetaType::QByteArray)
        return a.toByteArray() == b.toByteArray();
    // A number loaded as text (or the other way round) compares by its text.
    return a.toString() == b.toString();
}

bool RowExists(const QString& table, const ColumnValues& key, const Connection& conn)
{
    LoadedRow row{table, key, {}, false};
    return storedValues(row, conn).has_value();
}

SaveOutcome SaveRows(const QVector<RowWrite>& writes, const QVector<NeededRow>& needs,
                     const std::function<void()>& extra)
{
    QVector<WriteState> states(writes.size());
    for (int i = 0; i < writes.size(); ++i) {
        const RowWrite& w = writes[i];
        if (!w.loaded.table.isEmpty() && !w.loaded.absent)
            states[i].expected = loadedValues(w.loaded);
    }

    SaveOutcome outcome;
    // Each round checks and writes in one transaction; a round that finds a change by
    // another user rolls back, asks with no transaction open, and the next round checks
    // again what the user answered about.
    for (;;) {
        QString goneWhole;
        QVector<int> changed;
        QVector<QVariantList> seen(writes.size());
        QVector<int> gone;
        QStringList goneWhat;
        {
            TxGuard tx;
            for (const NeededRow& need : needs) {
                if (!RowExists(need.table, need.key)) {
                    goneWhole = need.what;
                    break;
                }
            }
            if (goneWhole.isEmpty()) {
                for (int i = 0; i < writes.size(); ++i) {
                    const RowWrite& w = writes[i];
                    if (states[i].keep)
                        continue;
                    QString parentGone;
                    for (const NeededRow& need : w.needs) {
                        if (!RowExists(need.table, need.key)) {
                            parentGone = need.what;
                            break;
                        }
                    }
                    if (!parentGone.isEmpty()) {
                        gone << i;
                        goneWhat << parentGone;
                        continue;
                    }
                    if (w.loaded.table.isEmpty())
                        continue;  // a new row with a new key: nothing to compare
                    const std::optional<QVariantList> now =
                        w.readStored ? std::optional<QVariantList>(w.readStored()) : storedValues(w.loaded, gConn);
                    if (!now) {
                        // A row still absent takes its new one; a removal of a row already gone
                        // is done; any other write into a row gone is not made.
                        if (states[i].expected && w.kind != RowWrite::Kind::Remove) {
                            gone << i;
                            goneWhat << w.what;
                        }
                        continue;
                    }
                    if (!states[i].expected || !sameValues(*now, *states[i].expected)) {
                        changed << i;
                        seen[i] = *now;
                    }
                }
            }
            if (goneWhole.isEmpty() && changed.isEmpty()) {
                for (int i = 0; i < writes.size(); ++i) {
                    if (states[i].keep || gone.contains(i))
                        continue;
                    const RowWrite& w = writes[i];
                    // A removal of a row that is gone already has nothing left to do.
                    if (w.kind == RowWrite::Kind::Remove && !w.loaded.table.isEmpty() &&
                        !RowExists(w.loaded.table, w.loaded.key))
                        continue;
                    if (w.write)
                        w.write();
                }
                if (extra)
                    extra();
                tx.commit();
                outcome.gone = gone;
                for (const QString& what : goneWhat)
                    outcome.told << RemovedByAnotherUserText(what);
                break;
            }
        }
        if (!goneWhole.isEmpty()) {
            outcome.result = SaveOutcome::Result::Gone;
            outcome.told << RemovedByAnotherUserText(goneWhole);
            MsgBox(outcome.told.last(), MsgButtons::Ok, MsgIcon::Warning);
            return outcome;
        }
        for (int i : changed) {
            const RowWrite& w = writes[i];
            const QString question =
                w.kind == RowWrite::Kind::Remove
                    ? QStringLiteral("%1 was changed by another user after you opened it. Remove it all the same?")
                          .arg(w.what)
                    : ChangedByAnotherUserText(w.what);
            const MsgAnswer answer = MsgBox(question, MsgButtons::YesNoCancel, MsgIcon::Question);
            if (answer == MsgAnswer::Yes) {
                states[i].expected = seen[i];
            } else if (answer == MsgAnswer::No) {
                states[i].keep = true;
                outcome.kept << i;
            } else {
                outcome.result = SaveOutcome::Result::Cancelled;
                return outcome;
            }
        }
    }

    outcome.told.removeDuplicates();
    if (!outcome.told.isEmpty())
        MsgBox(outcome.told.join(QLatin1Char('\n')), MsgButtons::Ok, MsgIcon::Warning);
    return outcome;
}

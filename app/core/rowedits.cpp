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

// The named columns of the row as stored now; nullopt when there is no such row.
std::optional<QVariantList> storedColumns(const LoadedRow& row, const QStringList& names, const Connection& conn)
{
    QVariantList binds;
    const QString where = keyCondition(row, binds);
    QStringList columns;
    for (const QString& name : names) {
        if (!plainName(name))
            throw DbError(-1, QStringLiteral("Invalid column name: %1").arg(name));
        columns << QStringLiteral("[%1]").arg(name);
    }
    if (columns.isEmpty())
        columns << QStringLiteral("1");
    const RowSet rs =
        conn.query(QStringLiteral("SELECT %1 FROM [%2] WHERE %3 LIMIT 1").arg(columns.join(QStringLiteral(", ")), row.table, where),
                   binds);
    if (rs.isEmpty())
        return std::nullopt;
    return names.isEmpty() ? QVariantList() : rs.rows().first();
}

// The row's compared columns as stored now; nullopt when there is no such row.
std::optional<QVariantList> storedValues(const LoadedRow& row, const Connection& conn)
{
    QStringList names;
    for (const auto& pair : row.values)
        names << pair.first;
    return storedColumns(row, names, conn);
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

void updateColumns(const LoadedRow& row, const ColumnValues& columns)
{
    QVariantList binds;
    const QString where = keyCondition(row, binds);
    UpdateChanged(row.table, columns, where, binds);
}

struct WriteState {
    // What the check expects to find: the values as loaded, or as seen when the user chose
    // to replace them. nullopt: no row.
    std::optional<QVariantList> expected;
    bool keep = false;   // the user kept the stored value
    // Written column by column: per column edit, as above.
    QVector<std::optional<QVariant>> columnExpected;
    QVector<bool> columnKept;
};

// A column both changed, to be asked about.
struct Contest {
    int write = 0;
    int column = -1;  // -1: the row as a whole
    QVariant seen;
    QVariantList seenRow;
};

QString shownValue(const ColumnEdit& edit, const QVariant& value)
{
    QString text = edit.show ? edit.show(value) : (value.isNull() ? QString() : value.toString());
    // One line in the question; a long text is shortened.
    text.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    constexpr int kLongest = 60;
    if (text.size() > kLongest)
        text = text.left(kLongest - 3) + QStringLiteral("...");
    if (text.isEmpty())
        return QStringLiteral("empty");
    // A text is quoted, so that one holding a comma reads as one value.
    return edit.show || value.typeId() != QMetaType::QString ? text : QStringLiteral("\"%1\"").arg(text);
}

QVariant loadedValueOf(const LoadedRow& row, const QString& column)
{
    for (const auto& pair : row.values)
        if (pair.first == column)
            return pair.second;
    return {};
}

}  // namespace

QString RemovedByAnotherUserText(const QString& what)
{
    return QStringLiteral("%1 was removed by another user; nothing was saved for it.").arg(what);
}

QString ChangedByAnotherUserText(const QString& what)
{
    return QStringLiteral("%1 was changed by another user after you opened it. Replace it with yours?").arg(what);
}

QString ChangedByAnotherUserText(const QString& what, const QString& now, const QString& yours)
{
    return QStringLiteral("%1 was changed by another user after you opened it: it is now %2, yours is %3. "
                          "Replace it with yours?")
        .arg(what, now, yours);
}

void ShownFields::filled(const QString& field, const QVariant& loaded, const QVariant& shown)
{
    remove(field);
    m_fields.append({field, loaded, shown});
}

void ShownFields::remove(const QString& field)
{
    m_fields.removeIf([&](const Field& f) { return f.name == field; });
}

const ShownFields::Field* ShownFields::find(const QString& field) const
{
    for (const Field& f : m_fields)
        if (f.name == field)
            return &f;
    return nullptr;
}

bool ShownFields::has(const QString& field) const { return find(field) != nullptr; }

bool ShownFields::changed(const QString& field, const QVariant& now) const
{
    const Field* f = find(field);
    return f && !SameValue(f->shown, now);
}

QVariant ShownFields::loaded(const QString& field) const
{
    const Field* f = find(field);
    return f ? f->loaded : QVariant();
}

ColumnValues ShownFields::loadedColumns() const
{
    ColumnValues out;
    for (const Field& f : m_fields)
        out.append({f.name, f.loaded});
    return out;
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
        if (!w.columns.isEmpty()) {
            for (const ColumnEdit& c : w.columns)
                states[i].columnExpected.append(w.loaded.absent ? std::nullopt
                                                                : std::optional<QVariant>(loadedValueOf(w.loaded, c.column)));
            states[i].columnKept.fill(false, w.columns.size());
        } else if (!w.loaded.table.isEmpty() && !w.loaded.absent) {
            states[i].expected = loadedValues(w.loaded);
        }
    }

    SaveOutcome outcome;
    // Each round checks and writes in one transaction; a round that finds a change by
    // another user rolls back, asks with no transaction open, and the next round checks
    // again what the user answered about.
    for (;;) {
        QString goneWhole;
        QVector<Contest> contests;
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
            // Per column write: the columns to write, as the check left them.
            QVector<ColumnValues> toWrite(writes.size());
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
                    if (!w.columns.isEmpty()) {
                        QStringList names;
                        for (const ColumnEdit& c : w.columns)
                            names << c.column;
                        const std::optional<QVariantList> now = storedColumns(w.loaded, names, gConn);
                        if (!now && !w.loaded.absent) {
                            gone << i;
                            goneWhat << w.what;
                            continue;
                        }
                        for (int c = 0; c < w.columns.size(); ++c) {
                            if (states[i].columnKept[c])
                                continue;
                            const QVariant& mine = w.columns[c].value;
                            if (!now) {
                                toWrite[i].append({w.columns[c].column, mine});
                                continue;
                            }
                            const QVariant& stored = (*now)[c];
                            // Stored as the user has it already: nothing to write nor to ask.
                            if (SameValue(stored, mine))
                                continue;
                            const std::optional<QVariant>& expected = states[i].columnExpected[c];
                            if (expected && SameValue(stored, *expected))
                                toWrite[i].append({w.columns[c].column, mine});
                            else
                                contests.append({i, c, stored, {}});
                        }
                        continue;
                    }
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
                    if (!states[i].expected || !sameValues(*now, *states[i].expected))
                        contests.append({i, -1, {}, *now});
                }
            }
            if (goneWhole.isEmpty() && contests.isEmpty()) {
                for (int i = 0; i < writes.size(); ++i) {
                    if (states[i].keep || gone.contains(i))
                        continue;
                    const RowWrite& w = writes[i];
                    if (!w.columns.isEmpty()) {
                        if (toWrite[i].isEmpty())
                            continue;
                        if (w.writeColumns)
                            w.writeColumns(toWrite[i]);
                        else
                            updateColumns(w.loaded, toWrite[i]);
                        continue;
                    }
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
        for (const Contest& contest : contests) {
            const int i = contest.write;
            const RowWrite& w = writes[i];
            QString question;
            if (contest.column >= 0) {
                const ColumnEdit& c = w.columns[contest.column];
                question = ChangedByAnotherUserText(c.what.isEmpty() ? w.what : c.what, shownValue(c, contest.seen),
                                                    shownValue(c, c.value));
            } else if (w.kind == RowWrite::Kind::Remove) {
                question = QStringLiteral("%1 was changed by another user after you opened it. Remove it all the same?")
                               .arg(w.what);
            } else {
                question = ChangedByAnotherUserText(w.what);
            }
            const MsgAnswer answer = MsgBox(question, MsgButtons::YesNoCancel, MsgIcon::Question);
            if (answer == MsgAnswer::Yes) {
                if (contest.column >= 0)
                    states[i].columnExpected[contest.column] = contest.seen;
                else
                    states[i].expected = contest.seenRow;
            } else if (answer == MsgAnswer::No) {
                if (contest.column >= 0)
                    states[i].columnKept[contest.column] = true;
                else
                    states[i].keep = true;
                if (!outcome.kept.contains(i))
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

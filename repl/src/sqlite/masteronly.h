#pragma once
// Tables whose rows travel from the Design Master outwards only (a host program's users and their rights).
// The Design Master's own file lists them in repl_master_only; a replica's list is never consulted, so a
// replica cannot lift the rule by editing its own file.
#include "sqlitedb.h"

#include <QStringList>
#include <QVector>

namespace Varnock::Store::MasterOnly {

// Adds tables to the file's list (a file already listing them is not written). 0 or a negative result.
int mark(const QString& path, const QStringList& tables, QString* error = nullptr);

// The tables the file of schema lists and both attached files replicate.
QStringList tables(Sql::Db& db, const QString& schema);

// At a Design Master (schema master, of nickname and priority) receiving from replica: none of the replica's
// versions of table in (above, upTo] is taken in. The replica's row (or deletion) is put back to the master's as a
// version of the master's newer than both (the master's entry at masterStamp), which the master's row takes as well:
// it wins over the refused version in every file it meets, however far from the master that version went. The
// replica's is stamped with stamp, so it is not sent back. Each version that differed from the master's is kept in
// both files' repl_conflicts. Returns the row identities that differed. Runs inside the exchange's transaction,
// with both files' triggers off.
QVector<QByteArray> putBack(Sql::Db& db, const QString& table, const QString& master, qint64 nickname, qint64 priority,
                            qint64 masterStamp, const QString& replica, qint64 above, qint64 upTo, qint64 stamp,
                            const QString& exchangeId);

}  // namespace Varnock::Store::MasterOnly

// The exchange history kept in each file, and the versions that lost a conflict.
#include "replshared.h"

#include "maintenance.h"

#include <QDateTime>
#include <QVariant>

namespace Varnock::Store {

using Sql::Db;
using Sql::fail;
using Sql::Failure;
using Sql::ident;
using Sql::openReplicable;
using Sql::Stmt;

void writeHistory(Db& db, const QString& schema, const Exchange& e)
{
    Stmt s(db, QStringLiteral("INSERT OR REPLACE INTO %1.repl_history (exchange_guid, initiated, last_action, "
                              "connection_type, direction, status, table_modifications, inserts_received, "
                              "deletes_received, updates_received, errors, conflicts, design_sent, design_received, "
                              "inserts_updates_sent, deletes_sent, error_code, partner_nickname, initiated_here, "
                              "scheduled, error_text) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")
                   .arg(ident(schema)));
    const QVariantList values = {e.exchangeId, e.initiated.toString(Qt::ISODateWithMs),
                                 e.lastAction.toString(Qt::ISODateWithMs), e.connectionType, e.direction, e.status,
                                 e.tableModifications, e.insertsReceived, e.deletesReceived, e.updatesReceived,
                                 e.errors, e.conflicts, e.designChangesSent, e.designChangesReceived,
                                 e.insertsAndUpdatesSent, e.deletesSent, e.errorCode, e.partnerNickname,
                                 e.initiatedHere ? 255 : 0, e.scheduled ? 255 : 0,
                                 e.errorText.isNull() ? QString(QLatin1String("")) : e.errorText};
    for (int i = 0; i < values.size(); ++i) {
        if (values[i].typeId() == QMetaType::QString)
            s.bind(i + 1, values[i].toString());
        else
            s.bind(i + 1, values[i].toLongLong());
    }
    s.run();
}

namespace {

Exchange readExchange(Stmt& s)
{
    Exchange e;
    int i = 0;
    e.exchangeId = s.text(i++);
    e.initiated = QDateTime::fromString(s.text(i++), Qt::ISODateWithMs);
    e.lastAction = QDateTime::fromString(s.text(i++), Qt::ISODateWithMs);
    e.connectionType = int(s.integer(i++));
    e.direction = int(s.integer(i++));
    e.status = int(s.integer(i++));
    e.tableModifications = int(s.integer(i++));
    e.insertsReceived = int(s.integer(i++));
    e.deletesReceived = int(s.integer(i++));
    e.updatesReceived = int(s.integer(i++));
    e.errors = int(s.integer(i++));
    e.conflicts = int(s.integer(i++));
    e.designChangesSent = int(s.integer(i++));
    e.designChangesReceived = int(s.integer(i++));
    e.insertsAndUpdatesSent = int(s.integer(i++));
    e.deletesSent = int(s.integer(i++));
    e.errorCode = int(s.integer(i++));
    e.partnerNickname = qint32(s.integer(i++));
    e.initiatedHere = s.integer(i++) == 255;
    e.scheduled = s.integer(i++) == 255;
    e.errorText = s.text(i++);
    return e;
}

const char* const kHistoryColumns =
    "exchange_guid, initiated, last_action, connection_type, direction, status, table_modifications, "
    "inserts_received, deletes_received, updates_received, errors, conflicts, design_sent, design_received, "
    "inserts_updates_sent, deletes_sent, error_code, partner_nickname, initiated_here, scheduled, error_text";

}  // namespace

int history(const QString& path, int filter, QVector<Exchange>* out, QString* error)
{
    try {
        Db db;
        openReplicable(db, path, true);
        QString where = QStringLiteral("1");
        QString limit;
        const QString since2 = QDateTime::currentDateTimeUtc().addDays(-2).toString(Qt::ISODateWithMs);
        const QString since7 = QDateTime::currentDateTimeUtc().addDays(-7).toString(Qt::ISODateWithMs);
        QString since;
        switch (filter) {
        case Filter::Incomplete: where = QStringLiteral("status IN (0, 1)"); break;
        case Filter::Unsuccessful: where = QStringLiteral("status IN (3, 4)"); break;
        case Filter::Successful: where = QStringLiteral("status = 2"); break;
        case Filter::InLast2Days: where = QStringLiteral("initiated >= ?"); since = since2; break;
        case Filter::InLast7Days: where = QStringLiteral("initiated >= ?"); since = since7; break;
        case Filter::Last25: limit = QStringLiteral(" LIMIT 25"); break;
        case Filter::Last50: limit = QStringLiteral(" LIMIT 50"); break;
        case Filter::InitiatedHere: where = QStringLiteral("initiated_here = 255"); break;
        case Filter::WithAnyChanges:
            where = QStringLiteral("inserts_received + deletes_received + updates_received + inserts_updates_sent + "
                                   "deletes_sent + design_sent + design_received > 0");
            break;
        case Filter::WithDataChanges:
            where = QStringLiteral("inserts_received + deletes_received + updates_received + inserts_updates_sent + "
                                   "deletes_sent > 0");
            break;
        case Filter::WithSchemaChanges: where = QStringLiteral("design_sent + design_received > 0"); break;
        case Filter::WithConflicts: where = QStringLiteral("conflicts > 0"); break;
        default: break;
        }
        Stmt s(db, QStringLiteral("SELECT %1 FROM repl_history WHERE %2 ORDER BY initiated DESC, rowid DESC%3")
                       .arg(QLatin1String(kHistoryColumns), where, limit));
        if (!since.isEmpty())
            s.bind(1, since);
        out->clear();
        while (s.step())
            out->append(readExchange(s));
        return Result::Ok;
    } catch (const Failure& f) {
        return fail(f, error);
    }
}

int historyItem(const QString& path, const QString& exchangeId, Exchange* out, QString* error)
{
    try {
        Db db;
        openReplicable(db, path, true);
        Stmt s(db, QStringLiteral("SELECT %1 FROM repl_history WHERE exchange_guid = ? COLLATE NOCASE")
                       .arg(QLatin1String(kHistoryColumns)));
        s.bind(1, exchangeId);
        if (!s.step())
            throw Failure{Result::UnknownExchange, QStringLiteral("No exchange %1 in this replica.").arg(exchangeId)};
        *out = readExchange(s);
        return Result::Ok;
    } catch (const Failure& f) {
        return fail(f, error);
    }
}

int conflicts(const QString& path, QVector<Conflict>* out, QString* error)
{
    try {
        Db db;
        openReplicable(db, path, true);
        Stmt s(db, QStringLiteral("SELECT tbl, guid, exchange_guid, reason, loser_deleted, row_data FROM repl_conflicts "
                                  "ORDER BY id"));
        out->clear();
        while (s.step()) {
            Conflict c;
            c.table = s.text(0);
            c.rowGuid = s.blob(1);
            c.exchangeId = s.text(2);
            c.reason = s.text(3);
            c.loserDeleted = s.integer(4) != 0;
            c.rowData = s.text(5);
            out->append(c);
        }
        return Result::Ok;
    } catch (const Failure& f) {
        return fail(f, error);
    }
}

// ---------------------------------------------------------------- history rows written from outside an exchange

int recordExchange(const QString& path, const Exchange& e, QString* error)
{
    try {
        Db db;
        openReplicable(db, path);
        writeHistory(db, QStringLiteral("main"), e);
        return Result::Ok;
    } catch (const Failure& f) {
        return fail(f, error);
    }
}

}  // namespace Varnock::Store

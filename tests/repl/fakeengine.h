#pragma once
// A scriptable engine: records every call with its arguments, answers with chosen results, fires chosen
// progress statuses through the callback during a call, and keeps just enough state (databases, replica and
// synchronizer properties, lists, transport rows) for the synchronizer's reads.
#include "engine.h"
#include "syncprops.h"
#include "utilities.h"

#include <QHash>
#include <QList>
#include <QMap>
#include <QString>
#include <QVariant>
#include <memory>

namespace fake {

using namespace Varnock;

struct Call {
    QString name;
    QVariantList args;
};

struct Step {
    std::int32_t operation;
    std::int32_t status;
    std::int32_t done = 0;
    std::int32_t total = 0;
};

using Row = QMap<std::int32_t, QVariant>;   // column id -> value; a missing column fails its read

struct DatabaseFile {
    Guid replica;       // all zero: not a replica
    Guid designMaster;
    QString description, setDescription;
    qint16 retention = 0;
};

struct State {
    QList<Call> calls;
    QHash<QString, QList<JetResult>> results;     // per call name, used first to last; then 0
    QHash<QString, QList<Step>> progress;         // fired during the named call
    QList<std::int32_t> callbackAnswers;          // what the callback answered, per fired step
    QHash<QString, DatabaseFile> files;           // by path
    QHash<std::int32_t, QVariant> syncProps;
    QStringList managed;
    QList<Row> replicaSet;                        // list 66
    QList<Row> knownReplicas;                     // list 70
    QList<Row> history;                           // lists 71..84
    QList<Row> schedules;                         // list 62; ReplSetSchedule puts its 84 bytes here
    QList<QVariantMap> transport;                 // rows: "TransporterId" (QByteArray), "Defunct" (qint16)
    QHash<QString, HistoryRecord> historyRecords; // by exchange GUID text
    Guid nextExchange;
    ProgressCallback callback = nullptr;
    bool useStore = false;                        // synchronizer properties in the library's settings store
    int engines = 0;                              // engines alive

    int count(const QString& name) const
    {
        int n = 0;
        for (const auto& c : calls)
            if (c.name == name) ++n;
        return n;
    }
    QList<Call> named(const QString& name) const
    {
        QList<Call> out;
        for (const auto& c : calls)
            if (c.name == name) out << c;
        return out;
    }
    QStringList names() const
    {
        QStringList out;
        for (const auto& c : calls) out << c.name;
        return out;
    }
};

inline std::int32_t nextSession()
{
    static std::int32_t n = 100;
    return ++n;
}

class Engine final : public Varnock::Engine {
public:
    explicit Engine(std::shared_ptr<State> state) : s(std::move(state)) { ++s->engines; }
    ~Engine() override { --s->engines; }

    JetResult JetInitEngine(std::int32_t& instance) override
    {
        instance = 7;
        return call("JetInitEngine", {});
    }
    JetResult JetTermEngine(std::int32_t instance) override { return call("JetTermEngine", {instance}); }
    JetResult JetBeginSession(std::int32_t instance, std::int32_t& session, const QString& user,
                              const QString& password) override
    {
        const JetResult r = call("JetBeginSession", {instance, user, password, password.isNull()});
        session = r >= 0 ? nextSession() : 0;
        return r;
    }
    JetResult JetEndSession(std::int32_t session, std::int32_t options) override
    {
        return call("JetEndSession", {session, options});
    }
    JetResult JetSetSystemParameter(std::int32_t instance, std::int32_t session, std::int32_t paramId,
                                    ProgressCallback callback, const QString& text) override
    {
        if (paramId == JetConst::paramProgressCallback)
            s->callback = callback;
        return call("JetSetSystemParameter", {instance, session, paramId, callback != nullptr, text});
    }
    JetResult JetOpenDatabase(std::int32_t session, const QString& path, const QString& connect,
                              std::int32_t& database, std::int32_t options) override
    {
        const JetResult r = call("JetOpenDatabase", {session, path, connect, options});
        if (r >= 0) {
            database = m_nextHandle++;
            m_databases.insert(database, path);
        } else {
            database = 0;
        }
        return r;
    }
    JetResult JetCloseDatabase(std::int32_t session, std::int32_t database, std::int32_t options) override
    {
        const JetResult r = call("JetCloseDatabase", {session, path(database), options});
        m_databases.remove(database);
        return r;
    }
    JetResult JetSetObjectProperty(std::int32_t session, std::int32_t database, const QString& container,
                                   const QString& document, const QString& property, const QVariant& value) override
    {
        const JetResult r = call("JetSetObjectProperty", {session, path(database), container, document, property, value});
        if (r >= 0 && property == QLatin1String("Replicable") && value.toString() == QLatin1String("T")) {
            auto& f = s->files[path(database)];
            f.replica = NewGuid();
            f.designMaster = f.replica;
        }
        return r;
    }
    JetResult JetCompactDatabase(std::int32_t session, const QString& source, const QString& sourceConnect,
                                 const QString& destination, const QString& destinationConnect,
                                 ProgressCallback callback, std::int32_t options) override
    {
        s->callback = callback;
        return call("JetCompactDatabase", {session, source, sourceConnect.isNull(), destination,
                                           destinationConnect.isNull(), callback != nullptr, options}, session);
    }
    JetResult JetRepairDatabase(std::int32_t session, const QString& path, ProgressCallback callback) override
    {
        s->callback = callback;
        return call("JetRepairDatabase", {session, path, callback != nullptr}, session);
    }
    JetResult JetOpenTable(std::int32_t session, std::int32_t database, const QString& nameOrSql,
                           std::int32_t options, std::int32_t& table) override
    {
        const JetResult r = call("JetOpenTable", {session, path(database), nameOrSql, options});
        table = 0;
        if (r < 0)
            return r;
        table = m_nextHandle++;
        QList<Row> rows;
        for (const auto& t : s->transport) {
            Row row;
            if (t.contains("TransporterId")) row.insert(1, t.value("TransporterId"));
            if (t.contains("Defunct")) row.insert(2, t.value("Defunct"));
            rows << row;
        }
        m_tables.insert(table, {rows, -1});
        return r;
    }
    JetResult JetCloseTable(std::int32_t session, std::int32_t table) override
    {
        m_tables.remove(table);
        return call("JetCloseTable", {session, table});
    }
    JetResult JetMove(std::int32_t session, std::int32_t table, std::int32_t offset, std::int32_t options) override
    {
        const JetResult r = call("JetMove", {session, table, offset, options});
        if (r < 0)
            return r;
        auto& t = m_tables[table];
        t.position = offset == JetConst::moveFirst ? 0 : t.position + offset;
        return t.position >= 0 && t.position < t.rows.size() ? 0 : -1603;
    }
    JetResult JetGetColumnInfo(std::int32_t session, std::int32_t table, const QString& column,
                               std::int32_t& columnId) override
    {
        const JetResult r = call("JetGetColumnInfo", {session, table, column});
        columnId = column == QLatin1String("TransporterId") ? 1 : column == QLatin1String("Defunct") ? 2 : 0;
        return columnId ? r : -1507;
    }
    JetResult JetRetrieveColumn(std::int32_t session, std::int32_t table, std::int32_t columnId,
                                QVariant& value) override
    {
        const JetResult r = call("JetRetrieveColumn", {session, table, columnId});
        if (r < 0)
            return r;
        const auto& t = m_tables[table];
        if (t.position < 0 || t.position >= t.rows.size() || !t.rows.at(t.position).contains(columnId))
            return -1603;
        const QVariant stored = t.rows.at(t.position).value(columnId);
        const int type = value.typeId();
        value = stored;
        if (type != QMetaType::UnknownType)
            value.convert(QMetaType(type));
        return 0;
    }
    JetResult JetPrepareStatement(std::int32_t session, std::int32_t database, const QString& name,
                                  std::int32_t& statement) override
    {
        const JetResult r = call("JetPrepareStatement", {session, path(database), name});
        statement = r >= 0 ? m_nextHandle++ : 0;
        return r;
    }
    JetResult JetSetStatementText(std::int32_t session, std::int32_t statement, const QString& sql,
                                  const QString& connect, std::int32_t options) override
    {
        return call("JetSetStatementText", {session, statement, sql, connect, connect.isNull(), options});
    }
    JetResult JetExecuteStatement(std::int32_t session, std::int32_t database, std::int32_t statement,
                                  std::int32_t options) override
    {
        return call("JetExecuteStatement", {session, path(database), statement, options}, session);
    }
    JetResult ReplMakeReplica(std::int32_t session, std::int32_t database, const QString& path,
                              const QString& description, std::int32_t priority, std::int32_t flags) override
    {
        return call("ReplMakeReplica", {session, this->path(database), path, description, priority, flags}, session);
    }
    JetResult ReplMoveReplica(std::int32_t session, const QString& oldPath, const QString& newPath) override
    {
        return call("ReplMoveReplica", {session, oldPath, newPath});
    }
    JetResult ReplSynchDirect(std::int32_t session, const QString& databasePath, const QString& replicaPath,
                              std::int32_t exchangeBits) override
    {
        return call("ReplSynchDirect", {session, databasePath, replicaPath, exchangeBits}, session);
    }
    JetResult ReplSynchIndirect(std::int32_t session, std::int32_t database, const Guid& partner, std::int32_t flags,
                                const QByteArray& exchangeType, Guid& exchangeId) override
    {
        const JetResult r = call("ReplSynchIndirect", {session, path(database), GuidToString(partner), flags,
                                                       exchangeType}, session);
        exchangeId = s->nextExchange;
        return r;
    }
    JetResult ReplSynchInternet(std::int32_t instance, std::int32_t session, std::int32_t database,
                                const QString& server, const Guid& partner, std::int32_t exchangeBits) override
    {
        return call("ReplSynchInternet", {instance, session, path(database), server, server.isNull(),
                                          GuidToString(partner), exchangeBits}, session);
    }
    JetResult ReplPopulatePartial(std::int32_t session, std::int32_t partialDatabase, std::int32_t fullDatabase,
                                  std::int32_t flags) override
    {
        return call("ReplPopulatePartial", {session, path(partialDatabase), path(fullDatabase), flags});
    }
    JetResult ReplGetReplicaProperty(std::int32_t session, std::int32_t database, const Guid* replica,
                                     std::int32_t propId, QVariant& value) override
    {
        const JetResult r = call("ReplGetReplicaProperty", {session, path(database), replica != nullptr, propId});
        if (r < 0)
            return r;
        const DatabaseFile f = s->files.value(path(database));
        switch (propId) {
        case JetConst::replPropReplicaGuid: value = f.replica.toByteArray(); break;
        case JetConst::replPropDesignMasterGuid: value = f.designMaster.toByteArray(); break;
        case JetConst::replPropDescription: value = f.description; break;
        case JetConst::replPropSetDescription: value = f.setDescription; break;
        case JetConst::replPropRetentionPeriod: value = QVariant::fromValue<qint16>(f.retention); break;
        default: break;
        }
        return r;
    }
    JetResult ReplSetReplicaProperty(std::int32_t session, std::int32_t database, std::int32_t propId,
                                     const QVariant& value) override
    {
        const JetResult r = call("ReplSetReplicaProperty", {session, path(database), propId, value});
        if (r >= 0) {
            auto& f = s->files[path(database)];
            if (propId == JetConst::replPropDescription) f.description = value.toString();
            if (propId == JetConst::replPropSetDescription) f.setDescription = value.toString();
            if (propId == JetConst::replPropRetentionPeriod) f.retention = value.value<qint16>();
        }
        return r;
    }
    JetResult ReplGetSynchronizerProperty(std::int32_t instance, std::int32_t propId, QVariant& value) override
    {
        const JetResult r = call("ReplGetSynchronizerProperty", {instance, propId});
        if (r < 0)
            return r;
        if (s->useStore)
            return SynchronizerStore::Get(propId, value);
        if (propId == JetConst::syncPropManagedReplicas) {
            value = s->managed.join(QChar(0));
            return r;
        }
        if (!s->syncProps.contains(propId))
            return propId == JetConst::syncPropId ? JetConst::errNoSynchronizerId : JetConst::errValueNotSet;
        value = s->syncProps.value(propId);
        return r;
    }
    JetResult ReplSetSynchronizerProperty(std::int32_t instance, std::int32_t propId, const QVariant& value) override
    {
        const JetResult r = call("ReplSetSynchronizerProperty", {instance, propId, value});
        if (r >= 0 && s->useStore)
            return SynchronizerStore::Set(propId, value);
        if (r >= 0) {
            if (propId == JetConst::syncPropManageReplica) s->managed << value.toString();
            else if (propId == JetConst::syncPropUnmanageReplica) s->managed.removeAll(value.toString());
            else s->syncProps.insert(propId, value);
        }
        return r;
    }
    JetResult ReplEnumerate(std::int32_t session, std::int32_t database, const Guid* first, const Guid* second,
                            std::int32_t kind, std::int32_t& list, std::int32_t& rowCount) override
    {
        const JetResult r = call("ReplEnumerate", {session, path(database), first != nullptr, second != nullptr, kind});
        list = 0;
        rowCount = 0;
        if (r < 0)
            return r;
        QList<Row> rows = kind == JetConst::listReplicaSet     ? s->replicaSet
                          : kind == JetConst::listKnownReplicas ? s->knownReplicas
                          : kind == JetConst::listSchedule      ? s->schedules
                                                                 : s->history;
        list = m_nextHandle++;
        m_tables.insert(list, {rows, 0});
        rowCount = int(rows.size());
        return r;
    }
    JetResult ReplReadHistory(std::int32_t session, std::int32_t database, const Guid& exchangeId,
                              HistoryRecord& record) override
    {
        const JetResult r = call("ReplReadHistory", {session, path(database), GuidToString(exchangeId)});
        if (r < 0)
            return r;
        if (!s->historyRecords.contains(GuidToString(exchangeId)))
            return JetConst::errInvalidExchangeId;
        record = s->historyRecords.value(GuidToString(exchangeId));
        return r;
    }
    JetResult ReplSetSchedule(std::int32_t session, std::int32_t database, const Guid& partner, std::int32_t setting,
                              const QByteArray& record) override
    {
        const JetResult r = call("ReplSetSchedule", {session, path(database), GuidToString(partner), setting, record});
        if (r >= 0)
            s->schedules = {Row{{ListColumn::schedule, record.mid(12, 84)}}};
        return r;
    }
    JetResult ReplRemoveReplica(std::int32_t session, std::int32_t database, const Guid& synchronizerId,
                                const Guid& replicaId) override
    {
        return call("ReplRemoveReplica", {session, path(database), GuidToString(synchronizerId), GuidToString(replicaId)});
    }
    JetResult ReplRegisterReplica(std::int32_t session, std::int32_t database) override
    {
        return call("ReplRegisterReplica", {session, path(database)});
    }
    JetResult ReplStartSynchronizer(std::int32_t instance) override { return call("ReplStartSynchronizer", {instance}); }
    JetResult ReplStopSynchronizer(std::int32_t flags) override { return call("ReplStopSynchronizer", {flags}); }
    JetResult ReplRegister() override { return call("ReplRegister", {}); }
    JetResult ReplUnregister() override { return call("ReplUnregister", {}); }

    QString path(std::int32_t database) const { return m_databases.value(database); }

private:
    struct Table {
        QList<Row> rows;
        int position = -1;
    };

    // Records the call, fires its progress steps, and gives its scripted result.
    JetResult call(const char* name, const QVariantList& args, std::int32_t session = 0)
    {
        const QString key = QString::fromLatin1(name);
        s->calls.append({key, args});
        for (const Step& step : s->progress.value(key)) {
            if (!s->callback) break;
            ProgressInfo info{0, step.done, step.total};
            s->callbackAnswers << s->callback(session, step.operation, step.status, &info);
        }
        auto& queue = s->results[key];
        return queue.isEmpty() ? 0 : queue.takeFirst();
    }

    std::shared_ptr<State> s;
    std::int32_t m_nextHandle = 1;
    QHash<std::int32_t, QString> m_databases;
    QHash<std::int32_t, Table> m_tables;
};

// Installs the fake for every synchronizer made while it lives; the default engine comes back afterwards.
class Install {
public:
    Install() : state(std::make_shared<State>())
    {
        auto st = state;
        Varnock::setEngineFactory([st] { return std::make_unique<Engine>(st); });
    }
    ~Install() { Varnock::setEngineFactory({}); }
    std::shared_ptr<State> state;
};

} // namespace fake

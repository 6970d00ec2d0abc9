// The engine the synchronizer drives, over the replication store's SQLite files. Handles are numbers kept in
// this object; lists (replica set, known replicas, history) are read into rows when they are opened.
#include "../engine.h"
#include "../utilities.h"
#include "replstore.h"

#include <QDateTime>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <atomic>
#include <map>
#include <vector>

namespace Varnock {

namespace {

constexpr JetResult errNoCurrentRecord = -1603;
constexpr JetResult errInvalidHandle = -1002;
constexpr JetResult errFileNotFound = -1811;

std::atomic<std::int32_t> g_nextSession{1};
std::atomic<std::int32_t> g_nextInstance{1};

// Synchronizer properties are per machine; here they live for the process.
QMutex g_propsLock;
QHash<std::int32_t, QVariant>& syncProps()
{
    static QHash<std::int32_t, QVariant> props;
    return props;
}
QStringList& managedReplicas()
{
    static QStringList list;
    return list;
}
std::map<QByteArray, QByteArray>& schedules()
{
    static std::map<QByteArray, QByteArray> s;
    return s;
}

// Store results pass through: the library knows the ones it tells apart, the others are plain failures.
JetResult fromStore(int r)
{
    return r;
}

Guid guidOf(const QString& text)
{
    return text.isEmpty() ? EmptyGuid() : GuidFromString(text);
}

double dateValue(const QDateTime& utc)
{
    if (!utc.isValid())
        return 0;
    // Days since 1899-12-30 of the local wall-clock time, the fraction the time of day.
    const QDateTime local = utc.toLocalTime();
    const qint64 days = QDate(1899, 12, 30).daysTo(local.date());
    return double(days) + double(local.time().msecsSinceStartOfDay()) / 86400000.0;
}

struct List {
    std::vector<std::vector<QVariant>> rows;   // column id - 1
    std::size_t at = 0;
    QStringList names;                         // column names, for JetGetColumnInfo
};

class SqliteEngine final : public Engine {
public:
    ~SqliteEngine() override = default;

    JetResult JetInitEngine(std::int32_t& instance) override
    {
        instance = g_nextInstance++;
        return 0;
    }
    JetResult JetTermEngine(std::int32_t) override { return 0; }
    JetResult JetBeginSession(std::int32_t, std::int32_t& session, const QString&, const QString&) override
    {
        session = g_nextSession++;
        return 0;
    }
    JetResult JetEndSession(std::int32_t session, std::int32_t) override
    {
        m_callbacks.remove(session);
        return 0;
    }
    JetResult JetSetSystemParameter(std::int32_t, std::int32_t session, std::int32_t paramId,
                                    ProgressCallback callback, const QString&) override
    {
        if (paramId == JetConst::paramProgressCallback)
            m_callbacks[session] = callback;
        return 0;
    }

    JetResult JetOpenDatabase(std::int32_t, const QString& path, const QString&, std::int32_t& database,
                              std::int32_t) override
    {
        database = 0;
        if (!QFileInfo(path).isFile())
            return errFileNotFound;
        const int r = Store::checkDatabase(path);
        if (r < 0)
            return fromStore(r);
        database = m_nextHandle++;
        m_databases[database] = path;
        return 0;
    }
    JetResult JetCloseDatabase(std::int32_t, std::int32_t database, std::int32_t) override
    {
        return m_databases.remove(database) ? 0 : errInvalidHandle;
    }
    JetResult JetSetObjectProperty(std::int32_t, std::int32_t database, const QString& container,
                                   const QString& document, const QString& property, const QVariant& value) override
    {
        const QString path = m_databases.value(database);
        if (path.isEmpty())
            return errInvalidHandle;
        if (container == QLatin1String(JetConst::replicableContainer) &&
            document == QLatin1String(JetConst::replicableDocument) &&
            property == QLatin1String(JetConst::replicableProperty) && value.toString() == QLatin1String("T"))
            return fromStore(Store::makeReplicable(path));
        return 0;
    }
    JetResult JetCompactDatabase(std::int32_t session, const QString& source, const QString&,
                                 const QString& destination, const QString&, ProgressCallback callback,
                                 std::int32_t) override
    {
        notify(callback, session, JetConst::opCompact, JetConst::statusBegin);
        if (QFileInfo::exists(destination)) {
            notify(callback, session, JetConst::opCompact, JetConst::statusFailed);
            return Store::Result::TargetExists;
        }
        QString into = destination;
        into.replace(QLatin1Char('\''), QStringLiteral("''"));
        const int r = Store::executeSql(source, QStringLiteral("VACUUM INTO '%1'").arg(into));
        notify(callback, session, JetConst::opCompact, r < 0 ? JetConst::statusFailed : JetConst::statusEnd);
        return fromStore(r);
    }
    JetResult JetRepairDatabase(std::int32_t, const QString&, ProgressCallback) override
    {
        return JetConst::errRepairNotSupported;
    }

    JetResult JetOpenTable(std::int32_t, std::int32_t database, const QString& nameOrSql, std::int32_t,
                           std::int32_t& table) override
    {
        table = 0;
        if (!m_databases.contains(database))
            return errInvalidHandle;
        // No transport addresses: exchanges here are direct.
        List l;
        if (nameOrSql.contains(QLatin1String("MSysTranspAddress"), Qt::CaseInsensitive))
            l.names = {QString::fromLatin1(JetConst::transportDefunct), QString::fromLatin1(JetConst::transportId)};
        table = addList(std::move(l));
        return 0;
    }
    JetResult JetCloseTable(std::int32_t, std::int32_t table) override
    {
        return m_lists.erase(table) ? 0 : errInvalidHandle;
    }
    JetResult JetMove(std::int32_t, std::int32_t table, std::int32_t offset, std::int32_t) override
    {
        auto it = m_lists.find(table);
        if (it == m_lists.end())
            return errInvalidHandle;
        List& l = it->second;
        if (offset == JetConst::moveFirst)
            l.at = 0;
        else
            l.at += std::size_t(std::max(0, offset));
        return l.at < l.rows.size() ? 0 : errNoCurrentRecord;
    }
    JetResult JetGetColumnInfo(std::int32_t, std::int32_t table, const QString& column, std::int32_t& columnId) override
    {
        auto it = m_lists.find(table);
        if (it == m_lists.end())
            return errInvalidHandle;
        const int i = int(it->second.names.indexOf(column));
        columnId = i + 1;
        return i < 0 ? -1 : 0;
    }
    JetResult JetRetrieveColumn(std::int32_t, std::int32_t table, std::int32_t columnId, QVariant& value) override
    {
        auto it = m_lists.find(table);
        if (it == m_lists.end())
            return errInvalidHandle;
        const List& l = it->second;
        if (l.at >= l.rows.size())
            return errNoCurrentRecord;
        const auto& row = l.rows[l.at];
        if (columnId < 1 || std::size_t(columnId) > row.size())
            return -1;
        const QVariant& v = row[std::size_t(columnId - 1)];
        switch (value.typeId()) {
        case QMetaType::QString: value = v.toString(); break;
        case QMetaType::Short: value = QVariant::fromValue<qint16>(qint16(v.toInt())); break;
        case QMetaType::Int: value = QVariant::fromValue<qint32>(v.toInt()); break;
        case QMetaType::QByteArray: value = v.toByteArray(); break;
        default: return 0;
        }
        return 0;
    }
    JetResult JetPrepareStatement(std::int32_t, std::int32_t database, const QString&, std::int32_t& statement) override
    {
        statement = 0;
        if (!m_databases.contains(database))
            return errInvalidHandle;
        statement = m_nextHandle++;
        m_statements[statement] = {m_databases.value(database), QString()};
        return 0;
    }
    JetResult JetSetStatementText(std::int32_t, std::int32_t statement, const QString& sql, const QString&,
                                  std::int32_t) override
    {
        if (!m_statements.contains(statement))
            return errInvalidHandle;
        m_statements[statement].second = sql;
        return 0;
    }
    JetResult JetExecuteStatement(std::int32_t session, std::int32_t, std::int32_t statement, std::int32_t) override
    {
        if (!m_statements.contains(statement))
            return errInvalidHandle;
        const auto [path, sql] = m_statements.take(statement);
        notify(m_callbacks.value(session), session, JetConst::opDdl, JetConst::statusBegin);
        const int r = Store::executeSql(path, sql);
        notify(m_callbacks.value(session), session, JetConst::opDdl, r < 0 ? JetConst::statusFailed : JetConst::statusEnd);
        return fromStore(r);
    }

    JetResult ReplMakeReplica(std::int32_t session, std::int32_t database, const QString& path,
                              const QString& description, std::int32_t priority, std::int32_t flags) override
    {
        const QString source = m_databases.value(database);
        if (source.isEmpty())
            return errInvalidHandle;
        const ProgressCallback cb = m_callbacks.value(session);
        notify(cb, session, JetConst::opMakeReplica, JetConst::statusBegin);
        const int r = Store::makeReplica(source, path, description, priority,
                                         flags & (JetConst::makePartial | JetConst::makeReadOnly | JetConst::makePreventDeletes),
                                         progressFor(cb, session, JetConst::opMakeReplica));
        notify(cb, session, JetConst::opMakeReplica, r < 0 ? JetConst::statusFailed : JetConst::statusEnd);
        return fromStore(r);
    }
    JetResult ReplMoveReplica(std::int32_t, const QString& oldPath, const QString& newPath) override
    {
        return fromStore(Store::moveReplica(oldPath, newPath));
    }
    JetResult ReplSynchDirect(std::int32_t session, const QString& databasePath, const QString& replicaPath,
                              std::int32_t exchangeBits) override
    {
        const ProgressCallback cb = m_callbacks.value(session);
        QString log;
        {
            QMutexLocker lock(&g_propsLock);
            log = syncProps().value(JetConst::syncPropLogFile).toString();
        }
        notify(cb, session, JetConst::opExchange, JetConst::statusBegin);
        const int r = Store::synchronize(databasePath, replicaPath, exchangeBits,
                                         progressFor(cb, session, JetConst::opExchange), log);
        notify(cb, session, JetConst::opExchange, r < 0 ? JetConst::statusFailed : JetConst::statusEnd);
        return fromStore(r);
    }
    JetResult ReplSynchIndirect(std::int32_t, std::int32_t, const Guid&, std::int32_t, const QByteArray&,
                                Guid& exchangeId) override
    {
        exchangeId = EmptyGuid();
        return JetConst::errSynchronizerNotSetUp;   // no drop boxes: exchanges here are direct
    }
    JetResult ReplSynchInternet(std::int32_t, std::int32_t, std::int32_t, const QString&, const Guid&,
                                std::int32_t) override
    {
        return JetConst::errSynchronizerNotFound;   // no network
    }
    JetResult ReplPopulatePartial(std::int32_t, std::int32_t partial, std::int32_t full, std::int32_t) override
    {
        // Without partial filters every row belongs to the partial replica, which already has them.
        return m_databases.contains(partial) && m_databases.contains(full) ? 0 : errInvalidHandle;
    }
    JetResult ReplGetReplicaProperty(std::int32_t, std::int32_t database, const Guid*, std::int32_t propId,
                                     QVariant& value) override
    {
        const QString path = m_databases.value(database);
        if (path.isEmpty())
            return errInvalidHandle;
        Store::Identity id;
        const int r = Store::readIdentity(path, &id);
        if (r == Store::Result::NotReplicable) {
            if (propId == JetConst::replPropReplicaGuid || propId == JetConst::replPropDesignMasterGuid) {
                value = EmptyGuid().toByteArray();
                return 0;
            }
            return JetConst::errValueNotSet;
        }
        if (r < 0)
            return fromStore(r);
        QVariant v;
        switch (propId) {
        case JetConst::replPropReplicaGuid: v = guidOf(id.replicaId).toByteArray(); break;
        case JetConst::replPropDesignMasterGuid: v = guidOf(id.designMasterId).toByteArray(); break;
        case JetConst::replPropDescription: v = id.description; break;
        case JetConst::replPropSetDescription: v = id.setDescription; break;
        case JetConst::replPropRetentionPeriod: v = id.retention; break;
        default: return JetConst::errValueNotSet;
        }
        switch (value.typeId()) {
        case QMetaType::QString: value = v.toString(); break;
        case QMetaType::Short: value = QVariant::fromValue<qint16>(qint16(v.toInt())); break;
        case QMetaType::Int: value = QVariant::fromValue<qint32>(v.toInt()); break;
        case QMetaType::QByteArray: value = v.toByteArray(); break;
        default: return 0;
        }
        return 0;
    }
    JetResult ReplSetReplicaProperty(std::int32_t, std::int32_t database, std::int32_t propId,
                                     const QVariant& value) override
    {
        const QString path = m_databases.value(database);
        if (path.isEmpty())
            return errInvalidHandle;
        switch (propId) {
        case JetConst::replPropDescription: return fromStore(Store::setDescription(path, value.toString()));
        case JetConst::replPropSetDescription: return fromStore(Store::setSetDescription(path, value.toString()));
        case JetConst::replPropRetentionPeriod: return fromStore(Store::setRetention(path, value.toInt()));
        default: return 0;
        }
    }
    JetResult ReplGetSynchronizerProperty(std::int32_t, std::int32_t propId, QVariant& value) override
    {
        QMutexLocker lock(&g_propsLock);
        QVariant v;
        if (propId == JetConst::syncPropManagedReplicas) {
            v = managedReplicas().join(QChar(0)) + QChar(0) + QChar(0);
        } else if (!syncProps().contains(propId)) {
            return propId == JetConst::syncPropId ? JetConst::errNoSynchronizerId : JetConst::errValueNotSet;
        } else {
            v = syncProps().value(propId);
        }
        switch (value.typeId()) {
        case QMetaType::QString: value = v.toString(); break;
        case QMetaType::Short: value = QVariant::fromValue<qint16>(qint16(v.toInt())); break;
        case QMetaType::Int: value = QVariant::fromValue<qint32>(v.toInt()); break;
        case QMetaType::QByteArray: value = v.toByteArray(); break;
        default: return 0;
        }
        return 0;
    }
    JetResult ReplSetSynchronizerProperty(std::int32_t, std::int32_t propId, const QVariant& value) override
    {
        QMutexLocker lock(&g_propsLock);
        if (propId == JetConst::syncPropManageReplica) {
            if (!managedReplicas().contains(value.toString()))
                managedReplicas() << value.toString();
            return 0;
        }
        if (propId == JetConst::syncPropUnmanageReplica) {
            managedReplicas().removeAll(value.toString());
            return 0;
        }
        if (propId == JetConst::syncPropId && value.typeId() == QMetaType::QString && IsGuidString(value.toString())) {
            syncProps()[propId] = GuidFromString(value.toString()).toByteArray();
            return 0;
        }
        syncProps()[propId] = value;
        return 0;
    }
    JetResult ReplEnumerate(std::int32_t, std::int32_t database, const Guid* first, const Guid* second,
                            std::int32_t kind, std::int32_t& list, std::int32_t& rowCount) override
    {
        list = 0;
        rowCount = 0;
        const QString path = m_databases.value(database);
        if (path.isEmpty())
            return errInvalidHandle;
        List l;
        if (kind == JetConst::listReplicaSet || kind == JetConst::listKnownReplicas) {
            QVector<Store::Member> members;
            const int r = Store::members(path, &members);
            if (r < 0)
                return fromStore(r);
            for (const Store::Member& m : members) {
                if (kind == JetConst::listReplicaSet)
                    l.rows.push_back({guidOf(m.replicaId).toByteArray(), m.replicaName, m.uncName, m.machineName,
                                      m.description, m.nickname, guidOf(m.synchronizerId).toByteArray()});
                else if (!guidOf(m.synchronizerId).isNull())
                    l.rows.push_back({m.replicaName, guidOf(m.synchronizerId).toByteArray()});
            }
        } else if (kind == JetConst::listSchedule) {
            const QByteArray key = (first ? first->toByteArray() : QByteArray(16, '\0')) +
                                   (second ? second->toByteArray() : QByteArray(16, '\0'));
            QMutexLocker lock(&g_propsLock);
            auto it = schedules().find(key);
            if (it == schedules().end())
                return JetConst::errNoSchedule;
            l.rows.push_back({it->second});
        } else if (kind >= JetConst::listHistoryFirst && kind <= JetConst::listHistoryFirst + 13) {
            QVector<Store::Exchange> items;
            const int r = Store::history(path, kind - JetConst::listHistoryFirst, &items);
            if (r < 0)
                return fromStore(r);
            for (const Store::Exchange& e : items)
                l.rows.push_back({guidOf(e.exchangeId).toByteArray()});
        } else {
            return -1;
        }
        rowCount = std::int32_t(l.rows.size());
        list = addList(std::move(l));
        return 0;
    }
    JetResult ReplReadHistory(std::int32_t, std::int32_t database, const Guid& exchangeId, HistoryRecord& record) override
    {
        const QString path = m_databases.value(database);
        if (path.isEmpty())
            return errInvalidHandle;
        Store::Exchange e;
        const int r = Store::historyItem(path, GuidToString(exchangeId), &e);
        if (r == Store::Result::UnknownExchange)
            return JetConst::errInvalidExchangeId;
        if (r < 0)
            return fromStore(r);
        record = HistoryRecord();
        record.initiatedDate = dateValue(e.initiated);
        record.lastAction = dateValue(e.lastAction);
        record.connectionType = e.connectionType;
        record.synchStatus = e.status;
        record.tableModifications = e.tableModifications;
        record.insertsReceived = e.insertsReceived;
        record.deletesReceived = e.deletesReceived;
        record.updatesReceived = e.updatesReceived;
        record.errors = e.errors;
        record.conflicts = e.conflicts;
        record.designChangesSent = e.designChangesSent;
        record.designChangesReceived = e.designChangesReceived;
        record.insertsAndUpdatesSent = e.insertsAndUpdatesSent;
        record.deletesSent = e.deletesSent;
        record.errorCode = e.errorCode;
        record.partnerNickname = e.partnerNickname;
        record.initiatedHere = e.initiatedHere ? 255 : 0;
        record.scheduled = e.scheduled ? 255 : 0;
        record.errorText = e.errorText;
        return 0;
    }
    JetResult ReplSetSchedule(std::int32_t, std::int32_t, const Guid& partner, std::int32_t,
                              const QByteArray& record) override
    {
        QMutexLocker lock(&g_propsLock);
        const QByteArray local = syncProps().value(JetConst::syncPropId).toByteArray().leftJustified(16, '\0', true);
        schedules()[local + partner.toByteArray()] = record.mid(12, 84);
        return 0;
    }
    JetResult ReplRemoveReplica(std::int32_t, std::int32_t database, const Guid&, const Guid& replicaId) override
    {
        const QString path = m_databases.value(database);
        if (path.isEmpty())
            return errInvalidHandle;
        return fromStore(Store::removeMember(path, GuidToString(replicaId)));
    }
    JetResult ReplRegisterReplica(std::int32_t, std::int32_t) override { return 0; }
    JetResult ReplStartSynchronizer(std::int32_t) override { return 0; }
    JetResult ReplStopSynchronizer(std::int32_t) override { return 0; }
    JetResult ReplRegister() override { return 0; }
    JetResult ReplUnregister() override { return 0; }

private:
    static void notify(ProgressCallback cb, std::int32_t session, std::int32_t op, std::int32_t status)
    {
        if (cb) {
            ProgressInfo info;
            cb(session, op, status, &info);
        }
    }
    static Store::Progress progressFor(ProgressCallback cb, std::int32_t session, std::int32_t op)
    {
        if (!cb)
            return {};
        return [cb, session, op](qint64 done, qint64 total) {
            ProgressInfo info;
            info.unitsDone = std::int32_t(std::min<qint64>(done, INT32_MAX));
            info.unitsTotal = std::int32_t(std::min<qint64>(total, INT32_MAX));
            return cb(session, op, JetConst::statusProgress, &info) != JetConst::callbackCancel;
        };
    }
    std::int32_t addList(List l)
    {
        const std::int32_t h = m_nextHandle++;
        m_lists[h] = std::move(l);
        return h;
    }

    std::int32_t m_nextHandle = 1;
    QHash<std::int32_t, QString> m_databases;
    QHash<std::int32_t, std::pair<QString, QString>> m_statements;
    QHash<std::int32_t, ProgressCallback> m_callbacks;
    std::map<std::int32_t, List> m_lists;
};

}  // namespace

std::unique_ptr<Engine> makeSqliteEngine()
{
    return std::make_unique<SqliteEngine>();
}

}  // namespace Varnock

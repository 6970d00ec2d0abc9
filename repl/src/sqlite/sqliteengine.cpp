// The engine the synchronizer drives, over the replication store's SQLite files. Handles are numbers kept in
// this object; lists (replica set, known replicas, history) are read into rows when they are opened.
#include "../engine.h"
#include "../utilities.h"
#include "../syncprops.h"
#include "maintenance.h"
#include "replstore.h"

#include <QDateTime>
#include <QDir>
#include <QUrl>
#include <QFileInfo>
#include <QHash>
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

// Store results pass through: the library knows the ones it tells apart, the others are plain failures.
JetResult fromStore(int r)
{
    return r;
}

Guid guidOf(const QString& text)
{
    return text.isEmpty() ? EmptyGuid() : GuidFromString(text);
}

// The synchronizer's own settings, kept per machine in the settings store.
QString syncText(std::int32_t propId)
{
    QVariant v = QString();
    return SynchronizerStore::Get(propId, v) >= 0 ? v.toString() : QString();
}

QString syncIdText()
{
    QVariant v = QByteArray();
    if (SynchronizerStore::Get(JetConst::syncPropId, v) < 0 || v.toByteArray().size() != 16)
        return {};
    return GuidToString(Guid::fromByteArray(v.toByteArray()));
}

QStringList managedPaths()
{
    return syncText(JetConst::syncPropManagedReplicas).split(QChar(0), Qt::SkipEmptyParts);
}

// A drop box given as a local folder or a file: address; empty for anything that needs a network.
QString localFolder(const QString& server)
{
    QString folder = server;
    if (server.startsWith(QLatin1String("file:"), Qt::CaseInsensitive)) {
        const QUrl url(server);
        if (!url.isLocalFile() || !url.host().isEmpty())
            return {};
        folder = url.toLocalFile();
    } else if (server.contains(QLatin1String("://"))) {
        return {};
    }
    return !folder.isEmpty() && QFileInfo(folder).isDir() ? folder : QString();
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

// v handed over in the type the caller's value already holds (text, 16- or 32-bit number, bytes); for any
// other type the caller's value stays as it was.
void deliverAs(QVariant& value, const QVariant& v)
{
    switch (value.typeId()) {
    case QMetaType::QString: value = v.toString(); break;
    case QMetaType::Short: value = QVariant::fromValue<qint16>(qint16(v.toInt())); break;
    case QMetaType::Int: value = QVariant::fromValue<qint32>(v.toInt()); break;
    case QMetaType::QByteArray: value = v.toByteArray(); break;
    default: break;
    }
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
        forget(session);
        m_logProblems.remove(session);
        return 0;
    }
    JetResult JetSetSystemParameter(std::int32_t, std::int32_t session, std::int32_t paramId,
                                    ProgressCallback callback, const QString&) override
    {
        if (paramId == JetConst::paramProgressCallback)
            m_callbacks[session] = callback;
        return 0;
    }

    JetResult JetOpenDatabase(std::int32_t session, const QString& path, const QString&, std::int32_t& database,
                              std::int32_t) override
    {
        database = 0;
        forget(session);
        if (!QFileInfo(path).isFile())
            return errFileNotFound;
        QString reason;
        const int r = Store::checkDatabase(path, &reason);
        noteFailure(session, r, reason);
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
    JetResult JetSetObjectProperty(std::int32_t session, std::int32_t database, const QString& container,
                                   const QString& document, const QString& property, const QVariant& value) override
    {
        forget(session);
        const QString path = m_databases.value(database);
        if (path.isEmpty())
            return errInvalidHandle;
        if (container == QLatin1String(JetConst::replicableContainer) &&
            document == QLatin1String(JetConst::replicableDocument) &&
            property == QLatin1String(JetConst::replicableProperty) && value.toString() == QLatin1String("T")) {
            // Making the file replicable writes it: a failure says why, as a copy's does.
            QString reason;
            const int r = Store::makeReplicable(path, &reason);
            noteFailure(session, r, reason);
            return fromStore(r);
        }
        return 0;
    }
    JetResult JetCompactDatabase(std::int32_t session, const QString& source, const QString&,
                                 const QString& destination, const QString&, ProgressCallback callback,
                                 std::int32_t) override
    {
        notify(callback, session, JetConst::opCompact, JetConst::statusBegin);
        QString reason;
        const int r =
            Store::compactDatabase(source, destination, progressFor(callback, session, JetConst::opCompact), &reason);
        noteFailure(session, r, reason);
        notify(callback, session, JetConst::opCompact, r < 0 ? JetConst::statusFailed : JetConst::statusEnd);
        return fromStore(r);
    }
    JetResult JetRepairDatabase(std::int32_t session, const QString&, ProgressCallback callback) override
    {
        // Compaction checks the copy's integrity; there is no separate repair.
        notify(callback, session, JetConst::opRepair, JetConst::statusBegin);
        notify(callback, session, JetConst::opRepair, JetConst::statusFailed);
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
        deliverAs(value, v);
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
        const ProgressCallback cb = m_callbacks.value(session);
        notify(cb, session, JetConst::opDdl, JetConst::statusBegin);
        const int r = Store::executeStatement(path, sql, progressFor(cb, session, JetConst::opDdl));
        notify(cb, session, JetConst::opDdl, r < 0 ? JetConst::statusFailed : JetConst::statusEnd);
        return fromStore(r);
    }

    JetResult ReplMakeReplica(std::int32_t session, std::int32_t database, const QString& path,
                              const QString& description, std::int32_t priority, std::int32_t flags) override
    {
        forget(session);
        const QString source = m_databases.value(database);
        if (source.isEmpty())
            return errInvalidHandle;
        const ProgressCallback cb = m_callbacks.value(session);
        notify(cb, session, JetConst::opMakeReplica, JetConst::statusBegin);
        QString reason;
        const int r = Store::makeReplica(source, path, description, priority,
                                         flags & (JetConst::makePartial | JetConst::makeReadOnly | JetConst::makePreventDeletes),
                                         progressFor(cb, session, JetConst::opMakeReplica), &reason);
        noteFailure(session, r, reason);
        notify(cb, session, JetConst::opMakeReplica, r < 0 ? JetConst::statusFailed : JetConst::statusEnd);
        return fromStore(r);
    }
    JetResult ReplMoveReplica(std::int32_t, const QString& oldPath, const QString& newPath) override
    {
        const int r = Store::relocateReplica(oldPath, newPath);
        // A managed replica stays managed under its new name.
        if (r >= 0 && SynchronizerStore::Set(JetConst::syncPropUnmanageReplica, oldPath) >= 0)
            SynchronizerStore::Set(JetConst::syncPropManageReplica, newPath);
        return fromStore(r);
    }
    JetResult ReplSynchDirect(std::int32_t session, const QString& databasePath, const QString& replicaPath,
                              std::int32_t exchangeBits) override
    {
        forget(session);
        const ProgressCallback cb = m_callbacks.value(session);
        notify(cb, session, JetConst::opExchange, JetConst::statusBegin);
        // Columns added at the Design Master reach the partner first, so the exchange carries their values.
        Store::carryDesign(databasePath, replicaPath);
        QString reason;
        Store::takeLogProblem();
        const int r = Store::synchronize(databasePath, replicaPath, exchangeBits,
                                         progressFor(cb, session, JetConst::opExchange),
                                         syncText(JetConst::syncPropLogFile), nullptr, &reason);
        m_logProblems[session] = Store::takeLogProblem();
        noteFailure(session, r, reason);
        // The two files also learn which synchronizers manage them and where their drop boxes are.
        if (r >= 0)
            Store::shareSynchronizers(databasePath, replicaPath);
        notify(cb, session, JetConst::opExchange, r < 0 ? JetConst::statusFailed : JetConst::statusEnd);
        return fromStore(r);
    }
    QString LastFailureReason(std::int32_t session) const override { return m_failures.value(session); }
    QString LastFailureFile(std::int32_t session) const override { return m_failureFiles.value(session); }
    QString LastLogProblem(std::int32_t session) const override { return m_logProblems.value(session); }
    JetResult ReplSynchIndirect(std::int32_t, std::int32_t database, const Guid& partner, std::int32_t flags,
                                const QByteArray&, Guid& exchangeId) override
    {
        exchangeId = EmptyGuid();
        const QString path = m_databases.value(database);
        if (path.isEmpty())
            return errInvalidHandle;
        const QString own = syncIdText();
        const QString ownBox = syncText(JetConst::syncPropIndirectDropbox);
        if (own.isEmpty() || ownBox.isEmpty())
            return JetConst::errSynchronizerNotSetUp;
        QString partnerBox;
        const int found = Store::dropboxOf(path, GuidToString(partner), &partnerBox);
        if (found < 0)
            return found == Store::Result::UnknownSynchronizer ? JetConst::errSynchronizerNotFound : fromStore(found);
        QString id;
        const int r = Store::sendMessage(path, own, ownBox, GuidToString(partner), partnerBox,
                                         flags & (JetConst::exchangeExport | JetConst::exchangeImport | JetConst::exchangeBoth),
                                         &id);
        if (r >= 0)
            exchangeId = GuidFromString(id);
        return fromStore(r);
    }
    JetResult ReplSynchInternet(std::int32_t, std::int32_t, std::int32_t database, const QString& server,
                                const Guid& partner, std::int32_t exchangeBits) override
    {
        // No network here: the server is a local folder or a file: address standing for the partner's drop box.
        const QString path = m_databases.value(database);
        if (path.isEmpty())
            return errInvalidHandle;
        QString box = localFolder(server);
        if (server.isEmpty() && !partner.isNull() && Store::dropboxOf(path, GuidToString(partner), &box) < 0)
            box.clear();
        if (box.isEmpty())
            return JetConst::errSynchronizerNotFound;
        QString own = syncIdText();
        QString id;
        return fromStore(Store::sendMessage(path, own, syncText(JetConst::syncPropIndirectDropbox),
                                            partner.isNull() ? QString() : GuidToString(partner), box,
                                            exchangeBits & (JetConst::exchangeExport | JetConst::exchangeImport |
                                                            JetConst::exchangeBoth),
                                            &id, nullptr, 2));
    }
    JetResult ReplPopulatePartial(std::int32_t, std::int32_t partial, std::int32_t full, std::int32_t flags) override
    {
        if (!m_databases.contains(partial) || !m_databases.contains(full))
            return errInvalidHandle;
        // Flag 1: go on when sending the partial replica's own changes fails.
        return fromStore(Store::populatePartial(m_databases.value(partial), m_databases.value(full), !(flags & 1),
                                                syncText(JetConst::syncPropLogFile)));
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
        deliverAs(value, v);
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
        return SynchronizerStore::Get(propId, value);
    }
    JetResult ReplSetSynchronizerProperty(std::int32_t, std::int32_t propId, const QVariant& value) override
    {
        if (propId == JetConst::syncPropId && value.typeId() == QMetaType::QString && IsGuidString(value.toString()))
            return SynchronizerStore::Set(propId, GuidFromString(value.toString()).toByteArray());
        const JetResult r = SynchronizerStore::Set(propId, value);
        // The file itself records the synchronizer that manages it, so its partners can find its drop box.
        const QString id = syncIdText();
        if (r >= 0 && !id.isEmpty() &&
            (propId == JetConst::syncPropManageReplica || propId == JetConst::syncPropUnmanageReplica) &&
            Store::isReplicable(value.toString()))
            Store::setManagingSynchronizer(value.toString(), propId == JetConst::syncPropManageReplica ? id : QString(),
                                           syncText(JetConst::syncPropIndirectDropbox));
        return r;
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
            QByteArray record;
            const int r = Store::schedule(path, GuidToString(first ? *first : EmptyGuid()),
                                          GuidToString(second ? *second : EmptyGuid()), &record);
            if (r < 0)
                return r == Store::Result::NoSchedule ? JetConst::errNoSchedule : fromStore(r);
            l.rows.push_back({record.mid(12, 84)});
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
    JetResult ReplSetSchedule(std::int32_t, std::int32_t database, const Guid& partner, std::int32_t setting,
                              const QByteArray& record) override
    {
        const QString path = m_databases.value(database);
        if (path.isEmpty())
            return errInvalidHandle;
        // The partner record: its size (112), 1, the 84 schedule bytes' count, the bytes and the exchange type.
        auto word = [&](int at) {
            return std::uint32_t(std::uint8_t(record[at])) | std::uint32_t(std::uint8_t(record[at + 1])) << 8 |
                   std::uint32_t(std::uint8_t(record[at + 2])) << 16 | std::uint32_t(std::uint8_t(record[at + 3])) << 24;
        };
        if (setting != JetConst::scheduleSetting || record.size() != 112 || word(0) != 112 || word(4) != 1 || word(8) != 84)
            return -1;
        return fromStore(Store::setSchedule(path, localSynchronizer(path), GuidToString(partner), record));
    }
    JetResult ReplRemoveReplica(std::int32_t, std::int32_t database, const Guid&, const Guid& replicaId) override
    {
        const QString path = m_databases.value(database);
        if (path.isEmpty())
            return errInvalidHandle;
        return fromStore(Store::removeMember(path, GuidToString(replicaId)));
    }
    JetResult ReplRegisterReplica(std::int32_t, std::int32_t database) override
    {
        applyPending(m_databases.value(database));
        return 0;
    }
    JetResult ReplStartSynchronizer(std::int32_t) override
    {
        applyPending(QString());
        return 0;
    }
    JetResult ReplStopSynchronizer(std::int32_t) override { return 0; }
    JetResult ReplRegister() override { return 0; }
    JetResult ReplUnregister() override { return 0; }

private:
    // The synchronizer GUID behind the file's own replica (all zero when none manages it).
    static QString localSynchronizer(const QString& path)
    {
        QVector<Store::Member> list;
        if (Store::members(path, &list) < 0 || list.isEmpty())
            return GuidToString(EmptyGuid());
        return GuidToString(guidOf(list.first().synchronizerId));
    }
    // Applies the messages waiting in this synchronizer's drop box to the replicas it manages (and to path).
    static void applyPending(const QString& path)
    {
        const QString own = syncIdText();
        const QString box = syncText(JetConst::syncPropIndirectDropbox);
        if (own.isEmpty() || box.isEmpty() || !QFileInfo(box).isDir())
            return;
        QStringList replicas = managedPaths();
        if (!path.isEmpty() && !replicas.contains(path))
            replicas << path;
        Store::applyMessages(own, box, replicas, syncText(JetConst::syncPropLogFile));
    }
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
    // Why the session's last call failed and the file it concerns, for the synchronizer to tell.
    void noteFailure(std::int32_t session, int result, const QString& reason)
    {
        if (result < 0) {
            m_failures[session] = reason;
            m_failureFiles[session] = Store::lastFailureFile();
        } else {
            forget(session);
        }
    }
    void forget(std::int32_t session)
    {
        m_failures.remove(session);
        m_failureFiles.remove(session);
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
    QHash<std::int32_t, QString> m_failures;
    QHash<std::int32_t, QString> m_failureFiles;
    QHash<std::int32_t, QString> m_logProblems;
    std::map<std::int32_t, List> m_lists;
};

}  // namespace

std::unique_ptr<Engine> makeSqliteEngine()
{
    return std::make_unique<SqliteEngine>();
}

}  // namespace Varnock

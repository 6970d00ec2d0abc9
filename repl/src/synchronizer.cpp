#include "engine.h"
#include "registry.h"
#include "resources.h"
#include "utilities.h"
#include "varnock.h"

#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QHash>
#include <QLocale>
#include <QTime>
#include <cmath>
#include <limits>
#include <stdexcept>

namespace Varnock {

namespace {

const QString systemDbKey = QStringLiteral("SOFTWARE\\Microsoft\\Office\\9.0\\Access\\Jet\\4.0\\Engines");
const QString synchronizerKey = QStringLiteral("SOFTWARE\\Microsoft\\Jet\\4.0\\Replication Manager");
const QString synchronizerModuleName = QStringLiteral("mstran40.exe");

// Live synchronizers by session ("S" + session id), one table per thread: the engine calls back on the
// caller's thread and names only the session.
QHash<QString, Synchronizer*>*& sessionTable()
{
    thread_local QHash<QString, Synchronizer*>* table = nullptr;
    return table;
}

QString sessionKey(std::int32_t session)
{
    return QStringLiteral("S") + QString::number(session);
}

// Text handed to the engine where an unset text must arrive as "", never as no text.
QString nonNull(const QString& text)
{
    return text.isNull() ? QStringLiteral("") : text;
}

QString oleDateText(double value)
{
    if (value == 0)
        return QString();
    const QDate base(1899, 12, 30);
    const double days = std::floor(value);
    const QDate date = base.addDays(qint64(days));
    const int ms = int(std::llround((value - days) * 86400000.0));
    const QLocale locale;
    QString text = locale.toString(date, QLocale::ShortFormat);
    if (ms != 0)
        text += QLatin1Char(' ') + locale.toString(QTime(0, 0).addMSecs(ms), QLocale::LongFormat);
    return text;
}

} // namespace

// The engine's status callback: finds the object by session and raises its events. Nothing a handler throws
// reaches the engine.
std::int32_t JetProgressCallback(std::int32_t session, std::int32_t operation, std::int32_t status,
                                 const ProgressInfo* info)
{
    Synchronizer* target = nullptr;
    try {
        if (auto* table = sessionTable())
            target = table->value(sessionKey(session), nullptr);
    } catch (...) {
        target = nullptr;
    }
    if (!target)
        return 0;
    try {
        if (status == JetConst::statusProgress)
            return target->dispatchProgressFromEngine(operation, status, info ? info->unitsDone : 0,
                                                      info ? info->unitsTotal : 0);
        target->dispatchProgressFromEngine(operation, status, 0, 0);
        return 0;
    } catch (...) {
        return 0;
    }
}

QString VarnockVersionText()
{
    return QStringLiteral("1.0.0");
}

// ---------------------------------------------------------------- life

Synchronizer::Synchronizer(QObject* parent) : QObject(parent)
{
    m_engine = createEngine();
    m_systemDb = TrimAtNull(ReadMachineText(systemDbKey, QStringLiteral("SystemDB")));
    m_uid = QStringLiteral("Admin");
    m_engine->JetInitEngine(m_instance);
    findSynchronizerModule();
}

void Synchronizer::findSynchronizerModule()
{
    const QString sep = QStringLiteral("/");
    bool viaRegistry = false;
    m_module = LoadLibraryAW(QDir::currentPath() + sep + synchronizerModuleName);
    if (!m_module) {
        const QString stored = TrimAtNull(ReadMachineText(synchronizerKey, QStringLiteral("SynchronizerPath")));
        m_module = LoadLibraryAW(stored);
        viaRegistry = m_module != 0;
    }
    const QString shared = QStringLiteral("/Common Files/Microsoft Shared/Database Replication/");
    if (!m_module)
        m_module = LoadLibraryAW(GetProgramFilesDir(true) + shared + synchronizerModuleName);
    if (!m_module)
        m_module = LoadLibraryAW(GetProgramFilesDir(false) + shared + synchronizerModuleName);
    if (!m_module)
        m_module = LoadLibraryAW(synchronizerModuleName);
    if (!m_module)
        m_module = LoadLibraryAW(LibraryFolder() + sep + synchronizerModuleName);
    if (m_module && !viaRegistry) {
        const QString path = GetModulePath(m_module);
        if (!path.isEmpty())
            WriteMachineText(synchronizerKey, QStringLiteral("SynchronizerPath"), path);
    }
}

Synchronizer::~Synchronizer()
{
    // Nothing escapes the end of the object.
    if (m_module) {
        FreeModule(m_module);
        m_module = 0;
    }
    try {
        SetProgressCallback(false);
    } catch (...) {
    }
    for (auto* list : {&m_managedReplicas, &m_replicaSet}) {
        if (*list)
            (*list)->clearParent();
        list->reset();
    }
    if (m_database) {
        m_engine->JetCloseDatabase(m_session, m_database, JetConst::closeDefault);
        m_database = 0;
        ++m_generation;
    }
    if (m_session) {
        if (auto* table = sessionTable()) {
            table->remove(sessionKey(m_session));
            if (table->isEmpty()) {
                delete table;
                sessionTable() = nullptr;
            }
        }
        m_engine->JetEndSession(m_session, 0);
        m_session = 0;
    }
    if (m_running) {
        m_engine->ReplStopSynchronizer(0);
        m_running = false;
    }
    if (m_instance) {
        m_engine->JetTermEngine(m_instance);
        m_instance = 0;
    }
    m_engine.reset();
}

// ---------------------------------------------------------------- engine plumbing

std::int32_t Synchronizer::EnsureJetSession()
{
    if (m_session)
        return m_session;
    if (!m_systemDb.isEmpty() && FileExistsByLength(m_systemDb))
        m_engine->JetSetSystemParameter(m_instance, 0, JetConst::paramSystemDatabase, nullptr, m_systemDb);
    std::int32_t session = 0;
    const JetResult result = m_engine->JetBeginSession(m_instance, session, nonNull(m_uid), nonNull(m_password));
    CheckJetError(result);
    if (result >= 0) {
        m_session = session;
        auto*& table = sessionTable();
        if (!table)
            table = new QHash<QString, Synchronizer*>();
        table->insert(sessionKey(session), this);
    }
    return m_session;
}

std::int32_t Synchronizer::RequireOpenDatabase()
{
    if (m_database == 0)
        RaiseCode(5004);
    return m_database;
}

void Synchronizer::CheckJetError(std::int32_t result)
{
    if (result >= 0)
        return;
    switch (result) {
    case JetConst::errNoSchedule:
    case JetConst::errValueNotSet:
        return;
    case JetConst::errNotDesignMaster: RaiseCode(5005);
    case JetConst::errSynchronizerInUse: RaiseCode(5019);
    case JetConst::errAccessDenied: RaiseCode(5002);
    case JetConst::errRepairNotSupported: RaiseCode(5023);
    case JetConst::errSynchronizerNotSetUp: RaiseCode(5013);
    case JetConst::errSynchronizerNotFound: RaiseCode(5012);
    case JetConst::errDatabaseLocked: RaiseCode(5022);
    case JetConst::errColumnTrackingReplicable: RaiseCode(5025);
    case JetConst::errInvalidExchangeId: RaiseCode(5027);
    default:
        DebugAssert(false, QStringLiteral("Reserved error (") + QString::number(result) + QLatin1Char(')'));
        RaiseCode(5003);
    }
}

void Synchronizer::SetProgressCallback(bool on)
{
    const std::int32_t session = EnsureJetSession();
    m_engine->JetSetSystemParameter(m_instance, session, JetConst::paramProgressCallback,
                                    on ? &JetProgressCallback : nullptr, QString());
}

std::int32_t Synchronizer::dispatchProgressFromEngine(std::int32_t operation, std::int32_t status, std::int32_t done,
                                                      std::int32_t total)
{
    const bool cancel = DispatchJetProgress(operation, status, done, total);
    return (status == JetConst::statusProgress && cancel) ? JetConst::callbackCancel : 0;
}

bool Synchronizer::DispatchJetProgress(std::int32_t operation, std::int32_t status, std::int32_t unitsDone,
                                       std::int32_t unitsTotal)
{
    bool cancel = false;
    // Copies: what a handler does to the counts does not go back to the engine.
    std::int32_t done = unitsDone;
    std::int32_t total = unitsTotal;
    auto phase = [&](std::int32_t number) {
        done = number;
        total = -1;
        emit SynchProgress(done, total, cancel);
    };
    switch (operation) {
    case JetConst::opExchange:
        switch (status) {
        case JetConst::statusBegin: emit BeginSynch(); break;
        case JetConst::statusEnd: emit EndSynch(); break;
        case JetConst::statusFailed: emit SynchFailed(); break;
        case JetConst::statusProgress: emit SynchProgress(done, total, cancel); break;
        default: break;
        }
        break;
    case JetConst::opMakeReplica:
        switch (status) {
        case JetConst::statusBegin: emit BeginMakeReplica(); break;
        case JetConst::statusEnd: emit EndMakeReplica(); break;
        case JetConst::statusFailed: emit MakeReplicaFailed(); break;
        case JetConst::statusProgress: emit MakeReplicaProgress(done, total, cancel); break;
        default: break;
        }
        break;
    case JetConst::opCompact:
    case JetConst::opRepair:
        switch (status) {
        case JetConst::statusBegin: emit BeginCompactRepair(); break;
        case JetConst::statusEnd: emit EndCompactRepair(); break;
        case JetConst::statusFailed: emit CompactRepairFailed(); break;
        case JetConst::statusProgress: emit CompactRepairProgress(done, total, cancel); break;
        default: break;
        }
        break;
    case JetConst::opDdl:
        switch (status) {
        case JetConst::statusBegin: emit BeginDdlOperation(); break;
        case JetConst::statusEnd: emit EndDdlOperation(); break;
        case JetConst::statusFailed: emit DdlOperationFailed(); break;
        case JetConst::statusProgress: emit DdlOperationProgress(done, total, cancel); break;
        default: break;
        }
        break;
    case JetConst::opExchangePhase:
        switch (status) {
        case JetConst::phaseBegin: emit BeginSynch(); break;
        case JetConst::phaseEnd: emit EndSynch(); break;
        case JetConst::phase0: phase(0); break;
        case JetConst::phase1: phase(1); break;
        case JetConst::phase2: phase(2); break;
        case JetConst::phase3: phase(3); break;
        default: break;
        }
        break;
    default:
        break;
    }
    return cancel;
}

std::int32_t Synchronizer::exchangeBits(std::int32_t synchType) const
{
    // 2 to the power of the direction, as a 32-bit number.
    const double value = std::nearbyint(std::pow(2.0, double(synchType)));
    if (value > double(std::numeric_limits<std::int32_t>::max()))
        throw std::overflow_error("Overflow");
    return std::int32_t(value);
}

// ---------------------------------------------------------------- database binding

std::int32_t Synchronizer::openDatabase(const QString& path, std::int32_t options)
{
    const std::int32_t session = EnsureJetSession();
    std::int32_t database = 0;
    const JetResult result = m_engine->JetOpenDatabase(session, path, QStringLiteral(""), database, options);
    raiseWithReason(session, result, path);
    if (result >= 0)
        m_database = database;
    return result;
}

void Synchronizer::closeDatabase()
{
    if (!m_database)
        return;
    const std::int32_t session = EnsureJetSession();
    CheckJetError(m_engine->JetCloseDatabase(session, m_database, JetConst::closeDefault));
    m_database = 0;
    ++m_generation;
    m_replicaSet.reset();
}

void Synchronizer::setDatabaseName(const QString& path)
{
    // File names differ by case here: only the very same text is the same database.
    if (path == m_databaseName)
        return;
    closeDatabase();
    if (FileExistsByLength(path)) {
        if (openDatabase(path, JetConst::openShared) < 0)
            return;
        m_databaseName = path;
        if (ReadReplicaId().isEmpty()) {
            // Not a replica yet: it becomes the Design Master of a new replica set.
            setDatabaseName(QString());
            if (openDatabase(path, JetConst::openExclusive) < 0)
                return;
            // The file is written here (a full disk, a read-only file): the failure says why, naming it.
            const std::int32_t session = EnsureJetSession();
            raiseWithReason(session,
                            m_engine->JetSetObjectProperty(
                                session, m_database, QString::fromLatin1(JetConst::replicableContainer),
                                QString::fromLatin1(JetConst::replicableDocument),
                                QString::fromLatin1(JetConst::replicableProperty),
                                QString::fromLatin1(JetConst::replicableValue)),
                            path);
            setDatabaseName(QString());
            openDatabase(path, JetConst::openShared);
        }
    } else if (!path.isEmpty()) {
        RaiseCode(5001);
    }
}

QString Synchronizer::ReadReplicaId()
{
    const std::int32_t session = EnsureJetSession();
    const std::int32_t database = RequireOpenDatabase();
    QVariant value = QByteArray(16, '\0');
    CheckJetError(m_engine->ReplGetReplicaProperty(session, database, nullptr, JetConst::replPropReplicaGuid, value));
    const Guid guid = Guid::fromByteArray(value.toByteArray());
    return guid.isNull() ? QString() : GuidToString(guid);
}

QString Synchronizer::ReplicaID()
{
    const QString id = ReadReplicaId();
    if (id.isEmpty())
        RaiseCode(5017);
    return id;
}

QString Synchronizer::DesignMasterID()
{
    const std::int32_t session = EnsureJetSession();
    const std::int32_t database = RequireOpenDatabase();
    QVariant value = QByteArray(16, '\0');
    CheckJetError(
        m_engine->ReplGetReplicaProperty(session, database, nullptr, JetConst::replPropDesignMasterGuid, value));
    const Guid guid = Guid::fromByteArray(value.toByteArray());
    if (guid.isNull())
        RaiseCode(5017);
    return GuidToString(guid);
}

bool Synchronizer::IsDesignMaster()
{
    const QString master = DesignMasterID();
    const QString own = ReplicaID();
    return GuidsEqual(GuidFromString(master), GuidFromString(own));
}

QString Synchronizer::replicaText(std::int32_t propId)
{
    const std::int32_t session = EnsureJetSession();
    const std::int32_t database = RequireOpenDatabase();
    QVariant value = QString();
    const JetResult result = m_engine->ReplGetReplicaProperty(session, database, nullptr, propId, value);
    CheckJetError(result);
    return result < 0 ? QString() : value.toString();
}

QString Synchronizer::Description()
{
    return replicaText(JetConst::replPropDescription);
}

void Synchronizer::setDescription(const QString& text)
{
    const std::int32_t session = EnsureJetSession();
    const std::int32_t database = RequireOpenDatabase();
    CheckJetError(m_engine->ReplSetReplicaProperty(session, database, JetConst::replPropDescription, nonNull(text)));
}

QString Synchronizer::DescriptionOfReplicaSet()
{
    return replicaText(JetConst::replPropSetDescription);
}

void Synchronizer::setDescriptionOfReplicaSet(const QString& text)
{
    const std::int32_t session = EnsureJetSession();
    const std::int32_t database = RequireOpenDatabase();
    CheckJetError(
        m_engine->ReplSetReplicaProperty(session, database, JetConst::replPropSetDescription, nonNull(text)));
}

std::int16_t Synchronizer::RetentionPeriod()
{
    const std::int32_t session = EnsureJetSession();
    const std::int32_t database = RequireOpenDatabase();
    QVariant value = QVariant::fromValue<qint16>(0);
    const JetResult result =
        m_engine->ReplGetReplicaProperty(session, database, nullptr, JetConst::replPropRetentionPeriod, value);
    CheckJetError(result);
    return result < 0 ? std::int16_t(0) : std::int16_t(value.value<qint16>());
}

void Synchronizer::setRetentionPeriod(std::int16_t days)
{
    const std::int32_t session = EnsureJetSession();
    const std::int32_t database = RequireOpenDatabase();
    CheckJetError(m_engine->ReplSetReplicaProperty(session, database, JetConst::replPropRetentionPeriod,
                                                   QVariant::fromValue<qint16>(days)));
}

// ---------------------------------------------------------------- synchronizer properties

QString Synchronizer::synchronizerText(std::int32_t propId)
{
    QVariant value = QString();
    if (m_engine->ReplGetSynchronizerProperty(m_instance, propId, value) < 0)
        return QString();
    return value.toString();
}

void Synchronizer::writeSynchronizer(std::int32_t propId, const QVariant& value)
{
    QVariant sent = value;
    // A GUID text travels as the GUID's 16 bytes.
    if (value.typeId() == QMetaType::QString && IsGuidString(value.toString()))
        sent = GuidFromString(value.toString()).toByteArray();
    else if (value.typeId() == QMetaType::QString)
        sent = nonNull(value.toString());
    CheckJetError(m_engine->ReplSetSynchronizerProperty(m_instance, propId, sent));
}

QString Synchronizer::LogFile()
{
    return synchronizerText(JetConst::syncPropLogFile);
}

void Synchronizer::setLogFile(const QString& path)
{
    writeSynchronizer(JetConst::syncPropLogFile, path);
}

QString Synchronizer::Name()
{
    return synchronizerText(JetConst::syncPropName);
}

void Synchronizer::setName(const QString& value)
{
    writeSynchronizer(JetConst::syncPropName, value);
}

QString Synchronizer::IndirectDropbox()
{
    return synchronizerText(JetConst::syncPropIndirectDropbox);
}

void Synchronizer::setIndirectDropbox(const QString& path)
{
    if (path.count(QLatin1Char('\\')) > 3)
        RaiseCode(5026);
    writeSynchronizer(JetConst::syncPropIndirectDropbox, path);
    writeSynchronizer(JetConst::syncPropIndirectInUse, QVariant::fromValue<qint32>(path.isEmpty() ? 0 : 1));
}

void Synchronizer::setIndirectDropboxPwd(const QString& password)
{
    writeSynchronizer(JetConst::syncPropIndirectDropboxPwd, password);
}

void Synchronizer::updateInternetInUse()
{
    const bool all = !synchronizerText(JetConst::syncPropFtpDropbox).isEmpty() &&
                     !synchronizerText(JetConst::syncPropHttpDropbox).isEmpty() &&
                     !synchronizerText(JetConst::syncPropInternetServer).isEmpty();
    writeSynchronizer(JetConst::syncPropInternetInUse, QVariant::fromValue<qint32>(all ? 1 : 0));
}

QString Synchronizer::InternetFtpDropbox()
{
    return synchronizerText(JetConst::syncPropFtpDropbox);
}

void Synchronizer::setInternetFtpDropbox(const QString& value)
{
    writeSynchronizer(JetConst::syncPropFtpDropbox, value);
    updateInternetInUse();
}

QString Synchronizer::InternetHttpDropbox()
{
    return synchronizerText(JetConst::syncPropHttpDropbox);
}

void Synchronizer::setInternetHttpDropbox(const QString& value)
{
    writeSynchronizer(JetConst::syncPropHttpDropbox, value);
    updateInternetInUse();
}

void Synchronizer::setInternetHttpDropboxPwd(const QString& password)
{
    writeSynchronizer(JetConst::syncPropHttpDropboxPwd, password);
}

QString Synchronizer::InternetServer()
{
    return synchronizerText(JetConst::syncPropInternetServer);
}

void Synchronizer::setInternetServer(const QString& value)
{
    writeSynchronizer(JetConst::syncPropInternetServer, value);
    updateInternetInUse();
}

QString Synchronizer::SynchronizerGuid()
{
    QVariant value = QByteArray(16, '\0');
    const JetResult result = m_engine->ReplGetSynchronizerProperty(m_instance, JetConst::syncPropId, value);
    if (result == JetConst::errNoSynchronizerId) {
        const QString id = GuidToString(NewGuid());
        writeSynchronizer(JetConst::syncPropId, id);
        return id;
    }
    CheckJetError(result);
    return GuidToString(Guid::fromByteArray(value.toByteArray()));
}

QString Synchronizer::SynchronizerID()
{
    return SynchronizerGuid();
}

std::shared_ptr<Replicas> Synchronizer::ManagedReplicas()
{
    if (!m_managedReplicas) {
        auto list = std::make_shared<Replicas>(this, true);
        QString text = synchronizerText(JetConst::syncPropManagedReplicas);
        while (!text.isEmpty()) {
            const QString token = NextToken(text, QString(QChar(0)), QStringLiteral("\""));
            if (!token.isEmpty())
                list->makeAndAdd()->setReplicaName(token);
        }
        m_managedReplicas = list;
    }
    return m_managedReplicas;
}

// ---------------------------------------------------------------- replica set

std::shared_ptr<Replicas> Synchronizer::ReplicaSet()
{
    const std::int32_t session = EnsureJetSession();
    const std::int32_t database = RequireOpenDatabase();
    std::int32_t list = 0;
    std::int32_t rows = 0;
    const JetResult opened =
        m_engine->ReplEnumerate(session, database, nullptr, nullptr, JetConst::listReplicaSet, list, rows);
    CheckJetError(opened);
    auto set = std::make_shared<Replicas>(this, false);
    set->addGeneration(m_generation);
    if (opened >= 0) {
        const std::int16_t count = std::int16_t(rows);
        // Each column whose read fails is left as it was.
        auto readText = [&](std::int32_t column, auto store) {
            QVariant v = QString();
            if (m_engine->JetRetrieveColumn(session, list, column, v) >= 0)
                store(v.toString());
        };
        for (std::int16_t row = 1; row <= count; ++row) {
            QVariant guid = QByteArray(16, '\0');
            Replicas::ReplicaPtr replica;
            if (m_engine->JetRetrieveColumn(session, list, ListColumn::replicaGuid, guid) >= 0) {
                const Guid g = Guid::fromByteArray(guid.toByteArray());
                replica = set->makeAndAdd(GuidToString(g));
                replica->setReplicaGuid(g);
            } else {
                replica = set->makeAndAdd();
            }
            readText(ListColumn::replicaName, [&](const QString& v) { replica->setReplicaName(v); });
            readText(ListColumn::uncName, [&](const QString& v) { replica->setUncName(v); });
            readText(ListColumn::machineName, [&](const QString& v) { replica->setMachineName(v); });
            readText(ListColumn::description, [&](const QString& v) { replica->setDescription(v); });
            QVariant nick = QVariant::fromValue<qint32>(0);
            if (m_engine->JetRetrieveColumn(session, list, ListColumn::nickname, nick) >= 0)
                replica->setFlags(nick.value<qint32>());
            QVariant sync = QByteArray(16, '\0');
            if (m_engine->JetRetrieveColumn(session, list, ListColumn::synchronizerGuid, sync) >= 0)
                replica->setSynchronizerGuid(Guid::fromByteArray(sync.toByteArray()));
            m_engine->JetMove(session, list, JetConst::moveNext, 0);
        }
        m_engine->JetCloseTable(session, list);
    }
    m_replicaSet = set;
    return set;
}

void Synchronizer::AdvanceGeneration(std::int32_t amount)
{
    std::int32_t sum = 0;
    if (__builtin_add_overflow(m_generation, amount, &sum))
        throw std::overflow_error("Overflow");
    m_generation = sum;
}

std::int32_t Synchronizer::ManageReplica(const QString& path)
{
    return m_engine->ReplSetSynchronizerProperty(m_instance, JetConst::syncPropManageReplica, nonNull(path));
}

void Synchronizer::UnmanageReplica(const QString& path)
{
    m_engine->ReplSetSynchronizerProperty(m_instance, JetConst::syncPropUnmanageReplica, nonNull(path));
}

void Synchronizer::NotifyRunningSynchronizer(const QString& path)
{
    if (!m_running || path.isEmpty())
        return;
    const std::int32_t session = EnsureJetSession();
    std::int32_t database = 0;
    if (m_engine->JetOpenDatabase(session, path, QStringLiteral(""), database, JetConst::openShared) >= 0) {
        m_engine->ReplRegisterReplica(session, database);
        // Opened only to register it: close it again.
        m_engine->JetCloseDatabase(session, database, JetConst::closeDefault);
    }
}

bool Synchronizer::transporterDefunct(const Guid& synchronizer, std::int16_t& defunct)
{
    try {
        const std::int32_t session = EnsureJetSession();
        std::int32_t table = 0;
        if (m_engine->JetOpenTable(session, m_database, QString::fromLatin1(JetConst::transportQuery), 0, table) < 0)
            return false;
        bool found = false;
        std::int32_t defunctColumn = 0;
        std::int32_t idColumn = 0;
        if (m_engine->JetGetColumnInfo(session, table, QString::fromLatin1(JetConst::transportDefunct),
                                       defunctColumn) >= 0 &&
            m_engine->JetGetColumnInfo(session, table, QString::fromLatin1(JetConst::transportId), idColumn) >= 0) {
            JetResult moved = m_engine->JetMove(session, table, JetConst::moveFirst, 0);
            while (moved >= 0) {
                QVariant id = QByteArray(16, '\0');
                if (m_engine->JetRetrieveColumn(session, table, idColumn, id) >= 0 &&
                    Guid::fromByteArray(id.toByteArray()) == synchronizer) {
                    QVariant value = QVariant::fromValue<qint16>(0);
                    if (m_engine->JetRetrieveColumn(session, table, defunctColumn, value) >= 0) {
                        defunct = value.value<qint16>();
                        found = true;
                    }
                    break;
                }
                moved = m_engine->JetMove(session, table, JetConst::moveNext, 0);
            }
        }
        m_engine->JetCloseTable(session, table);
        return found;
    } catch (...) {
        return false;
    }
}

void Synchronizer::RemoveFromReplicaSet(const Replica& replica)
{
    // A missing or unreadable transport row does not hold the removal up; a live one (no Defunct bit) does.
    std::int16_t defunct = 0;
    if (transporterDefunct(replica.synchronizerGuid(), defunct) && !(defunct & JetConst::defunctBit))
        RaiseCode(5020);
    const std::int32_t session = EnsureJetSession();
    const std::int32_t database = RequireOpenDatabase();
    // Only a member named by its own identifier, and never this database's replica or the Design Master.
    const Guid target = replica.replicaGuid();
    if (target.isNull())
        RaiseCode(5021);
    const QString own = ReadReplicaId();
    if (!own.isEmpty() && GuidFromString(own) == target)
        RaiseCode(5021);
    QVariant master = QByteArray(16, '\0');
    if (m_engine->ReplGetReplicaProperty(session, database, nullptr, JetConst::replPropDesignMasterGuid, master) >= 0 &&
        Guid::fromByteArray(master.toByteArray()) == target)
        RaiseCode(5021);
    if (m_engine->ReplRemoveReplica(session, database, replica.synchronizerGuid(), target) < 0)
        RaiseCode(5021);
}

// ---------------------------------------------------------------- running, settings, identity

void Synchronizer::setRunning(bool on)
{
    if (on == m_running)
        return;
    if (on) {
        SynchronizerGuid();
        const JetResult result = m_engine->ReplStartSynchronizer(m_instance);
        CheckJetError(result);
        m_running = result >= 0;
        if (m_running && !m_module) {
            const std::intptr_t module = LoadLibraryAW(synchronizerModuleName);
            const QString path = GetModulePath(module);
            if (!path.isEmpty())
                WriteMachineText(synchronizerKey, QStringLiteral("SynchronizerPath"), path);
            FreeModule(module);
        }
    } else {
        m_engine->ReplStopSynchronizer(JetConst::stopFlag1 | JetConst::stopFlag2);
        m_running = false;
    }
}

void Synchronizer::setSystemDB(const QString& path)
{
    if (m_session)
        RaiseCode(5024);
    m_systemDb = path;
}

void Synchronizer::setUid(const QString& user)
{
    if (m_session)
        RaiseCode(5024);
    m_uid = user;
}

void Synchronizer::setPassword(const QString& password)
{
    if (m_session)
        RaiseCode(5024);
    m_password = password;
}

std::int32_t Synchronizer::Register()
{
    const JetResult result = m_engine->ReplRegister();
    CheckJetError(result);
    return result;
}

std::int32_t Synchronizer::Unregister()
{
    const JetResult result = m_engine->ReplUnregister();
    CheckJetError(result);
    return result;
}

QString Synchronizer::Version() const
{
    return VarnockVersionText();
}

QString Synchronizer::About() const
{
    const QString crlf = QStringLiteral("\r\n");
    return QStringLiteral("The Ostwick Software, Inc. Synchronizer") + crlf + QStringLiteral("Version ") + Version() +
           crlf + QStringLiteral("Replication synchronizer over SQLite database files.") + crlf +
           QStringLiteral("Copyright (C) The Ostwick Software, Inc.") + crlf +
           QStringLiteral("Synchronizer is a trademark of The Ostwick Software, Inc.") + crlf;
}

bool Synchronizer::ShowAFs() const
{
    return ShowAFsSwitch();
}

void Synchronizer::setShowAFs(bool on)
{
    SetShowAFsSwitch(on);
}

void Synchronizer::StToRgbyt(const QString& st, QByteArray& rgbyt, int lowerBound)
{
    Varnock::StToRgbyt(st, rgbyt, lowerBound);
}

// ---------------------------------------------------------------- operations

void Synchronizer::MakeReplica(const QString& NewReplicaName, const QString& NewReplicaDescription,
                               InOut<std::int32_t> NewReplicaPriority, bool PartialReplica, bool ReadOnly,
                               bool PreventDeletes, std::int32_t ReplicaVisibility)
{
    std::int32_t flags = 0;
    if (PreventDeletes) flags += JetConst::makePreventDeletes;
    if (PartialReplica) flags += JetConst::makePartial;
    if (ReadOnly) flags += JetConst::makeReadOnly;
    switch (ReplicaVisibility) {
    case 2: flags += JetConst::makeVisibilityBase + JetConst::makeVisibilityLocal; break;
    case 3: flags += JetConst::makeVisibilityBase + JetConst::makeVisibilityAnonymous; break;
    default: flags += JetConst::makeVisibilityBase; break;
    }
    if (NewReplicaPriority.get() < 1 || NewReplicaPriority.get() > 100)
        NewReplicaPriority.set(90);
    SetProgressCallback(true);
    const std::int32_t session = EnsureJetSession();
    const std::int32_t database = RequireOpenDatabase();
    const JetResult result = m_engine->ReplMakeReplica(session, database, NewReplicaName,
                                                       nonNull(NewReplicaDescription), NewReplicaPriority.get(), flags);
    SetProgressCallback(false);
    raiseWithReason(session, result, NewReplicaName);
}

bool Synchronizer::SynchDirect(const QString& ReplicaName, std::int32_t SynchType)
{
    if (!FileExistsByLength(ReplicaName))
        RaiseCode(5001);
    SetProgressCallback(true);
    const std::int32_t session = EnsureJetSession();
    m_logFileProblem.clear();
    const JetResult result =
        m_engine->ReplSynchDirect(session, m_databaseName, ReplicaName, exchangeBits(SynchType));
    m_logFileProblem = m_engine->LastLogProblem(session);
    SetProgressCallback(false);
    raiseWithReason(session, result);
    return result >= 0;
}

void Synchronizer::raiseWithReason(std::int32_t session, std::int32_t result, const QString& file)
{
    try {
        CheckJetError(result);
    } catch (const SynchronizerError& e) {
        // A refused exchange or copy says why (files that no longer agree, a locked file, a full disk), not only
        // that it failed, and which file it concerns.
        const QString reason = m_engine->LastFailureReason(session);
        const QString concerned = m_engine->LastFailureFile(session);
        SynchronizerError error(e.number(), reason.isEmpty() ? e.description() : e.description() + QLatin1Char(' ') + reason,
                                e.source(), e.helpFile(), e.helpContext());
        error.setFile(concerned.isEmpty() ? file : concerned);
        throw error;
    }
}

bool Synchronizer::findReplicaGuid(const QString& replicaName, Guid& partner)
{
    partner = Guid{};
    const std::int32_t session = EnsureJetSession();
    std::int32_t list = 0;
    std::int32_t rows = 0;
    if (m_engine->ReplEnumerate(session, m_database, nullptr, nullptr, JetConst::listKnownReplicas, list, rows) < 0)
        return false;
    const bool byGuid = IsGuidString(replicaName);
    const std::int16_t count = std::int16_t(rows);
    bool found = false;
    for (std::int16_t row = 1; row <= count && !found; ++row) {
        QVariant guid = QByteArray(16, '\0');
        if (byGuid) {
            if (m_engine->JetRetrieveColumn(session, list, ListColumn::knownGuid, guid) >= 0 &&
                GuidToString(Guid::fromByteArray(guid.toByteArray())).compare(replicaName, Qt::CaseInsensitive) == 0)
                found = true;
        } else {
            QVariant name = QString();
            if (m_engine->JetRetrieveColumn(session, list, ListColumn::knownName, name) >= 0 &&
                TrimAtNull(name.toString().left(128)).compare(replicaName, Qt::CaseInsensitive) == 0)
                found = m_engine->JetRetrieveColumn(session, list, ListColumn::knownGuid, guid) >= 0;
        }
        if (found)
            partner = Guid::fromByteArray(guid.toByteArray());
        else
            m_engine->JetMove(session, list, JetConst::moveNext, 0);
    }
    m_engine->JetCloseTable(session, list);
    return found && !partner.isNull();
}

QString Synchronizer::SynchIndirect2(const QString& ReplicaName, std::int32_t SynchType)
{
    Guid partner;
    if (!findReplicaGuid(ReplicaName, partner)) {
        partner = Guid{};
        const bool byGuid = IsGuidString(ReplicaName);
        auto set = ReplicaSet();
        for (const auto& entry : *set) {
            const Replica& r = *entry.second;
            const bool match = byGuid ? r.replicaGuid() == GuidFromString(ReplicaName)
                                      : (r.ReplicaName().compare(ReplicaName, Qt::CaseInsensitive) == 0 ||
                                         r.UncName().compare(ReplicaName, Qt::CaseInsensitive) == 0);
            if (match) {
                partner = r.synchronizerGuid();
                break;
            }
        }
        if (partner.isNull())
            RaiseCode(5003);
    }
    const std::int32_t session = EnsureJetSession();
    const std::int32_t database = RequireOpenDatabase();
    Guid exchange;
    CheckJetError(m_engine->ReplSynchIndirect(session, database, partner,
                                              exchangeBits(SynchType) + JetConst::exchangeIndirect,
                                              QByteArray(JetConst::exchangeTypeYouPick), exchange));
    const QString id = GuidToString(exchange);
    NotifyRunningSynchronizer(m_databaseName);
    return id;
}

void Synchronizer::SynchIndirect(const QString& ReplicaName, std::int32_t SynchType)
{
    SynchIndirect2(ReplicaName, SynchType);
}

bool Synchronizer::SynchInternet(const QString& UrlServer, std::int32_t SynchType)
{
    Guid guid;
    QString server;
    if (IsGuidString(UrlServer)) {
        guid = GuidFromString(UrlServer);
        server = QStringLiteral("");
    } else {
        server = UrlServer;
    }
    SetProgressCallback(true);
    const std::int32_t session = EnsureJetSession();
    const std::int32_t database = RequireOpenDatabase();
    const JetResult result =
        m_engine->ReplSynchInternet(m_instance, session, database, server, guid, exchangeBits(SynchType));
    SetProgressCallback(false);
    return result >= 0;
}

bool Synchronizer::MoveReplica(const QString& OldReplicaPath, const QString& NewReplicaPath)
{
    const std::int32_t session = EnsureJetSession();
    return m_engine->ReplMoveReplica(session, nonNull(OldReplicaPath), nonNull(NewReplicaPath)) >= 0;
}

void Synchronizer::PopulatePartial(const QString& FullReplica, const QString& PartialReplica, bool FailOnPushSynchError)
{
    const std::int32_t flags = FailOnPushSynchError ? 0 : 1;
    if (!FileExistsByLength(FullReplica) || !FileExistsByLength(PartialReplica))
        RaiseCode(5001);
    const std::int32_t session = EnsureJetSession();
    std::int32_t full = 0;
    JetResult result = m_engine->JetOpenDatabase(session, FullReplica, QStringLiteral(""), full, JetConst::openExclusive);
    if (result >= 0) {
        std::int32_t partial = 0;
        result = m_engine->JetOpenDatabase(session, PartialReplica, QStringLiteral(""), partial,
                                           JetConst::openExclusive);
        if (result >= 0) {
            result = m_engine->ReplPopulatePartial(session, partial, full, flags);
            m_engine->JetCloseDatabase(session, partial, JetConst::closeDefault);
        }
        m_engine->JetCloseDatabase(session, full, JetConst::closeDefault);
    }
    CheckJetError(result);
}

void Synchronizer::CompactDatabase(const QString& SrcDatabase, const QString& DestDatabase)
{
    const std::int32_t session = EnsureJetSession();
    raiseWithReason(session, m_engine->JetCompactDatabase(session, SrcDatabase, QString(), DestDatabase, QString(),
                                                          &JetProgressCallback, 0));
}

void Synchronizer::RepairDatabase(const QString& DatabaseName)
{
    const std::int32_t session = EnsureJetSession();
    CheckJetError(m_engine->JetRepairDatabase(session, DatabaseName, &JetProgressCallback));
}

void Synchronizer::ExecuteDdlSql(const QString& DatabaseName, const QString& DdlSqlStatement,
                                 const QString& ConnectString)
{
    const QString connect = ConnectString.isEmpty() ? QString() : ConnectString;
    if (!FileExistsByLength(DatabaseName))
        RaiseCode(5001);
    const std::int32_t session = EnsureJetSession();
    std::int32_t database = 0;
    JetResult result =
        m_engine->JetOpenDatabase(session, DatabaseName, QStringLiteral(""), database, JetConst::openShared);
    if (result >= 0) {
        std::int32_t statement = 0;
        result = m_engine->JetPrepareStatement(session, database, QStringLiteral(""), statement);
        if (result >= 0) {
            result = m_engine->JetSetStatementText(session, statement, DdlSqlStatement, connect, 0);
            if (result >= 0) {
                SetProgressCallback(true);
                result = m_engine->JetExecuteStatement(session, database, statement, JetConst::executeOption);
                SetProgressCallback(false);
                m_engine->JetCloseTable(session, statement);
            }
        }
        // Opened only for this statement: close it again.
        m_engine->JetCloseDatabase(session, database, JetConst::closeDefault);
    }
    CheckJetError(result);
}

// ---------------------------------------------------------------- exchange history

std::shared_ptr<HistoryItem> Synchronizer::makeHistoryItem(const Guid& exchange, const Replicas& replicaSet)
{
    const std::int32_t session = EnsureJetSession();
    const std::int32_t database = RequireOpenDatabase();
    HistoryRecord record;
    CheckJetError(m_engine->ReplReadHistory(session, database, exchange, record));
    auto item = std::make_shared<HistoryItem>();
    const QString own = ReadReplicaId();
    for (const auto& entry : replicaSet) {
        const Replica& r = *entry.second;
        if (item->RemoteReplicaName().isEmpty() && r.flags() == record.partnerNickname &&
            GuidToString(r.replicaGuid()) != own)
            item->setRemoteReplicaName(r.UncName());
        if (!own.isEmpty() && GuidToString(r.replicaGuid()) == own)
            item->setReplicaName(r.UncName());
    }
    item->setExchangeId(GuidToString(exchange));
    item->setInitiatedDate(oleDateText(record.initiatedDate));
    item->setLastAction(oleDateText(record.lastAction));
    item->setConnectionType(ConnectionTypeEnum(record.connectionType));
    item->setSynchStatus(SynchStatusEnum(record.synchStatus));
    item->setTableModifications(record.tableModifications);
    item->setInsertsReceived(record.insertsReceived);
    item->setDeletesReceived(record.deletesReceived);
    item->setUpdatesReceived(record.updatesReceived);
    item->setErrors(record.errors);
    item->setConflicts(record.conflicts);
    item->setDesignChangesSent(record.designChangesSent);
    item->setDesignChangesReceived(record.designChangesReceived);
    item->setInsertsAndUpdatesSent(record.insertsAndUpdatesSent);
    item->setDeletesSent(record.deletesSent);
    item->setErrorCode(record.errorCode);
    item->setInitiatedHere(record.initiatedHere == 255);
    item->setScheduled(record.scheduled == 255);
    item->setErrorText(TrimAtNull(record.errorText));
    return item;
}

std::shared_ptr<HistoryItems> Synchronizer::HistoryItems(std::int32_t HistoryFilter)
{
    const std::int32_t kind = JetConst::listHistoryFirst + HistoryFilter;
    const std::int32_t session = EnsureJetSession();
    const std::int32_t database = RequireOpenDatabase();
    std::int32_t list = 0;
    std::int32_t rows = 0;
    const JetResult opened = m_engine->ReplEnumerate(session, database, nullptr, nullptr, kind, list, rows);
    CheckJetError(opened);
    auto items = std::make_shared<Varnock::HistoryItems>();
    if (opened < 0)
        return items;
    auto set = ReplicaSet();
    const std::int16_t count = std::int16_t(rows);
    try {
        for (std::int16_t row = 1; row <= count; ++row) {
            QVariant guid = QByteArray(16, '\0');
            m_engine->JetRetrieveColumn(session, list, ListColumn::exchangeGuid, guid);
            items->add(makeHistoryItem(Guid::fromByteArray(guid.toByteArray()), *set));
            m_engine->JetMove(session, list, JetConst::moveNext, 0);
        }
    } catch (...) {
        m_engine->JetCloseTable(session, list);
        throw;
    }
    m_engine->JetCloseTable(session, list);
    return items;
}

std::shared_ptr<HistoryItem> Synchronizer::HistoryItemOfExchangeId(const QString& ExchangeId)
{
    if (!IsGuidString(ExchangeId))
        RaiseCode(5027);
    auto set = ReplicaSet();
    return makeHistoryItem(GuidFromString(ExchangeId), *set);
}

} // namespace Varnock

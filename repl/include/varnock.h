#pragma once
// The replication synchronizer: Synchronizer and its collections.
#include "varnock_errors.h"
#include "varnock_global.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace Varnock {

class Engine;
class Synchronizer;
struct Guid;

enum SynchTypeEnum : std::int32_t {
    synchTypeReplExport = 0,
    synchTypeReplImport = 1,
    synchTypeReplImpExp = 2,
};

enum synchReplicaVisibility : std::int32_t {
    synchGlobalReplica = 1,
    synchLocalReplica = 2,
    synchAnonymousReplica = 3,
};

enum synchDayEnum : std::int32_t {
    synchDaySunday = 1,
    synchDayMonday = 2,
    synchDayTuesday = 4,
    synchDayWednesday = 8,
    synchDayThursday = 16,
    synchDayFriday = 32,
    synchDaySaturday = 64,
    synchDayWeekdays = 62,
    synchDayWeekends = 65,
    synchDayEveryday = 127,
};

enum HistoryFilterEnum : std::int32_t {
    SynchsAll = 0,
    SynchsIncomplete = 1,
    SynchsUnsuccessful = 2,
    SynchsSuccessful = 3,
    SynchsInLast2Days = 4,
    SynchsInLast7Days = 6,
    SynchsLast25 = 7,
    SynchsLast50 = 8,
    SynchsInitiatedHere = 9,
    SynchsWithAnyChanges = 10,
    SynchsWithDataChanges = 11,
    SynchsWithSchemaChanges = 12,
    SynchsWithConflicts = 13,
};

enum SynchStatusEnum : std::int32_t {
    synchStatusRequested = 0,
    synchStatusInProgress = 1,
    synchStatusCompleted = 2,
    synchStatusFailed = 3,
    synchStatusCanceled = 4,
};

enum ConnectionTypeEnum : std::int32_t {
    synchConnTypeDirect = 0,
    synchConnTypeIndirect = 1,
    synchConnTypeInternet = 2,
};

enum SynchDataFlowEnum : std::int32_t {
    synchDataflowSend = 0,
    synchDataflowReceive = 1,
    synchDataflowSendReceive = 2,
    synchDataflowTest = 3,
};

// An argument the call may change, as the caller's own variable: pass a variable to see the change, or a value.
template <typename T>
class InOut {
public:
    InOut(const T& value) : m_value(value) {}   // NOLINT: a plain value is the common case
    InOut(T& variable) : m_value(variable), m_variable(&variable) {}
    const T& get() const { return m_value; }
    void set(const T& value)
    {
        m_value = value;
        if (m_variable) *m_variable = value;
    }

private:
    T m_value;
    T* m_variable = nullptr;
};

// A schedule as callers see it: Booleans indexed (day, quarter hour), 7 x 96 with bounds (0 To 6, 0 To 95) as
// GetFullSchedule gives it. SetFullSchedule takes any bounds of that size, and refuses other shapes and element
// types, which this type can also carry.
class VARNOCK_EXPORT ScheduleArray {
public:
    ScheduleArray();   // 7 x 96 of False
    // One (lower, upper) pair per dimension; cells are kept only for two dimensions.
    explicit ScheduleArray(const std::vector<std::pair<int, int>>& bounds, bool booleans = true);
    bool isBooleanArray() const { return m_booleans; }
    int dimensions() const { return int(m_bounds.size()); }
    int lowerBound(int dimension) const { return m_bounds.at(std::size_t(dimension - 1)).first; }
    int upperBound(int dimension) const { return m_bounds.at(std::size_t(dimension - 1)).second; }
    bool value(int day, int quarter) const;   // indexes within the array's own bounds
    void setValue(int day, int quarter, bool on);
    friend bool operator==(const ScheduleArray&, const ScheduleArray&) = default;

private:
    std::size_t cell(int day, int quarter) const;
    std::vector<std::pair<int, int>> m_bounds;
    bool m_booleans = true;
    std::vector<bool> m_cells;
};

// One member of a replica set, or one replica the synchronizer manages (only ReplicaName is valid for those).
class VARNOCK_EXPORT Replica {
public:
    QString Description() const;
    QString MachineName() const;
    QString ReplicaID() const;          // braced GUID text
    QString ReplicaName() const { return m_replicaName; }
    QString SynchronizerID() const;     // braced GUID text
    QString UncName() const;

    // --- for the library
    Replica();
    ~Replica();
    bool isManaged() const { return m_managed; }
    void setManaged(bool managed) { m_managed = managed; }
    void setDescription(const QString& text);
    void setMachineName(const QString& text);
    void setUncName(const QString& text);
    void setReplicaName(const QString& text) { m_replicaName = text; }
    void setReplicaGuid(const Guid& guid);
    void setSynchronizerGuid(const Guid& guid);
    const Guid& replicaGuid() const { return *m_replicaGuid; }
    const Guid& synchronizerGuid() const { return *m_synchronizerGuid; }
    std::int32_t flags() const { return m_flags; }
    void setFlags(std::int32_t value) { m_flags = value; }

private:
    void refuseWhenManaged() const;
    bool m_managed = false;
    QString m_description, m_machineName, m_replicaName, m_uncName;
    std::unique_ptr<Guid> m_replicaGuid, m_synchronizerGuid;
    std::int32_t m_flags = 0;
};

class VARNOCK_EXPORT Replicas {
public:
    using ReplicaPtr = std::shared_ptr<Replica>;

    ReplicaPtr Append(const QString& stReplicaName);   // nullptr when the managed list refused it
    int Count() const { return int(m_items.size()); }
    // By position from 1, or by key; std::out_of_range when there is none.
    ReplicaPtr Item(int indexval) const;
    ReplicaPtr Item(const QString& indexval) const;
    ReplicaPtr operator[](int indexval) const { return Item(indexval); }
    void Remove(int indexval);
    void Remove(const QString& indexval);
    void Remove(const ReplicaPtr& indexval);
    auto begin() const { return m_items.begin(); }
    auto end() const { return m_items.end(); }

    // --- for the library
    explicit Replicas(Synchronizer* parent = nullptr, bool managed = false);
    ReplicaPtr makeAndAdd(const QString& key = QString());
    bool isManaged() const { return m_managed; }
    void setManaged(bool managed) { m_managed = managed; }
    std::int32_t generation() const { return m_generation; }
    void addGeneration(std::int32_t amount) { m_generation += amount; }
    void setParent(Synchronizer* parent) { m_parent = parent; }
    void clearParent() { m_parent = nullptr; }
    Synchronizer* parent() const;   // raises 5008 when it is gone
    QString keyOf(int position) const { return m_items.at(std::size_t(position - 1)).first; }

private:
    struct Entry {
        QString first;      // key, empty for none
        ReplicaPtr second;
    };
    void removeTarget(const ReplicaPtr& target);
    std::vector<Entry> m_items;
    bool m_managed = false;
    std::int32_t m_generation = 0;
    QPointer<Synchronizer> m_parent;
};

class VARNOCK_EXPORT HistoryItem {
public:
    QString ExchangeId() const { return m_exchangeId; }
    QString InitiatedDate() const { return m_initiatedDate; }
    std::int32_t InsertsReceived() const { return m_insertsReceived; }
    bool InitiatedHere() const { return m_initiatedHere; }
    std::int32_t InsertsAndUpdatesSent() const { return m_insertsAndUpdatesSent; }
    QString LastAction() const { return m_lastAction; }
    std::int32_t Conflicts() const { return m_conflicts; }
    std::int32_t ErrorCode() const { return m_errorCode; }
    ConnectionTypeEnum ConnectionType() const { return m_connectionType; }
    QString ErrorText() const { return m_errorText; }
    SynchDataFlowEnum DataFlow() const { return m_dataFlow; }
    QString RemoteReplicaName() const { return m_remoteReplicaName; }
    std::int32_t DeletesReceived() const { return m_deletesReceived; }
    QString ReplicaName() const { return m_replicaName; }
    std::int32_t DeletesSent() const { return m_deletesSent; }
    bool Scheduled() const { return m_scheduled; }
    std::int32_t DesignChangesReceived() const { return m_designChangesReceived; }
    SynchStatusEnum SynchStatus() const { return m_synchStatus; }
    std::int32_t DesignChangesSent() const { return m_designChangesSent; }
    std::int32_t TableModifications() const { return m_tableModifications; }
    std::int32_t Errors() const { return m_errors; }
    std::int32_t UpdatesReceived() const { return m_updatesReceived; }

    // --- for the library
    void setExchangeId(const QString& v) { m_exchangeId = v; }
    void setInitiatedDate(const QString& v) { m_initiatedDate = v; }
    void setInsertsReceived(std::int32_t v) { m_insertsReceived = v; }
    void setInitiatedHere(bool v) { m_initiatedHere = v; }
    void setInsertsAndUpdatesSent(std::int32_t v) { m_insertsAndUpdatesSent = v; }
    void setLastAction(const QString& v) { m_lastAction = v; }
    void setConflicts(std::int32_t v) { m_conflicts = v; }
    void setErrorCode(std::int32_t v) { m_errorCode = v; }
    void setConnectionType(ConnectionTypeEnum v) { m_connectionType = v; }
    void setErrorText(const QString& v) { m_errorText = v; }
    void setDataFlow(SynchDataFlowEnum v) { m_dataFlow = v; }
    void setRemoteReplicaName(const QString& v) { m_remoteReplicaName = v; }
    void setDeletesReceived(std::int32_t v) { m_deletesReceived = v; }
    void setReplicaName(const QString& v) { m_replicaName = v; }
    void setDeletesSent(std::int32_t v) { m_deletesSent = v; }
    void setScheduled(bool v) { m_scheduled = v; }
    void setDesignChangesReceived(std::int32_t v) { m_designChangesReceived = v; }
    void setSynchStatus(SynchStatusEnum v) { m_synchStatus = v; }
    void setDesignChangesSent(std::int32_t v) { m_designChangesSent = v; }
    void setTableModifications(std::int32_t v) { m_tableModifications = v; }
    void setErrors(std::int32_t v) { m_errors = v; }
    void setUpdatesReceived(std::int32_t v) { m_updatesReceived = v; }

private:
    QString m_exchangeId, m_initiatedDate, m_lastAction, m_errorText, m_remoteReplicaName, m_replicaName;
    std::int32_t m_insertsReceived = 0, m_insertsAndUpdatesSent = 0, m_conflicts = 0, m_errorCode = 0,
                 m_deletesReceived = 0, m_deletesSent = 0, m_designChangesReceived = 0, m_designChangesSent = 0,
                 m_tableModifications = 0, m_errors = 0, m_updatesReceived = 0;
    bool m_initiatedHere = false, m_scheduled = false;
    ConnectionTypeEnum m_connectionType = synchConnTypeDirect;
    SynchDataFlowEnum m_dataFlow = synchDataflowSend;
    SynchStatusEnum m_synchStatus = synchStatusRequested;
};

class VARNOCK_EXPORT HistoryItems {
public:
    using ItemPtr = std::shared_ptr<HistoryItem>;
    int Count() const { return int(m_items.size()); }
    ItemPtr Item(int indexval) const;               // from 1; std::out_of_range when there is none
    ItemPtr Item(const QString& indexval) const;    // by ExchangeId
    ItemPtr operator[](int indexval) const { return Item(indexval); }
    auto begin() const { return m_items.begin(); }
    auto end() const { return m_items.end(); }

    // --- for the library
    ItemPtr makeAndAdd(const QString& key = QString());
    void add(const ItemPtr& item);   // keyed by its ExchangeId, without a key when that is empty
    void remove(int indexval);
    void remove(const QString& key);

private:
    struct Entry {
        QString first;
        ItemPtr second;
    };
    void addKeyed(const QString& key, const ItemPtr& item);
    std::vector<Entry> m_items;
};

// The creatable root object: one database, its replicas and exchanges. Events are signals; connect them directly
// (the progress counts and Cancel are the engine's own variables, passed by reference).
class VARNOCK_EXPORT Synchronizer : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool Running READ Running WRITE setRunning)
    Q_PROPERTY(QString DatabaseName READ DatabaseName WRITE setDatabaseName)

public:
    explicit Synchronizer(QObject* parent = nullptr);
    ~Synchronizer() override;

    QString About() const;
    void CompactDatabase(const QString& SrcDatabase, const QString& DestDatabase);
    QString DatabaseName() const { return m_databaseName; }
    void setDatabaseName(const QString& path);
    QString DesignMasterID();
    void ExecuteDdlSql(const QString& DatabaseName, const QString& DdlSqlStatement,
                       const QString& ConnectString = QString());
    ScheduleArray GetFullSchedule(const QString& ReplicaName = QString());
    std::shared_ptr<Varnock::HistoryItems> HistoryItems(std::int32_t HistoryFilter = SynchsAll);
    QString IndirectDropbox();
    void setIndirectDropbox(const QString& path);
    void setIndirectDropboxPwd(const QString& password);
    QString InternetFtpDropbox();
    void setInternetFtpDropbox(const QString& value);
    QString InternetHttpDropbox();
    void setInternetHttpDropbox(const QString& value);
    void setInternetHttpDropboxPwd(const QString& password);
    QString InternetServer();
    void setInternetServer(const QString& value);
    QString LogFile();
    void setLogFile(const QString& path);
    // Why the last SynchDirect could not add its line to LogFile, naming the file ("The file ... could not be
    // written: the disk is full."); empty when it did. The log keeps its old lines whole either way, and the
    // exchange's own result does not depend on it.
    QString LogFileProblem() const { return m_logFileProblem; }
    void MakeReplica(const QString& NewReplicaName, const QString& NewReplicaDescription = QString(),
                     InOut<std::int32_t> NewReplicaPriority = std::int32_t(-1), bool PartialReplica = false,
                     bool ReadOnly = false, bool PreventDeletes = false,
                     std::int32_t ReplicaVisibility = synchGlobalReplica);
    std::shared_ptr<Replicas> ManagedReplicas();
    bool MoveReplica(const QString& OldReplicaPath, const QString& NewReplicaPath);
    QString Name();
    void setName(const QString& value);
    void setPassword(const QString& password);
    void PopulatePartial(const QString& FullReplica, const QString& PartialReplica,
                         bool FailOnPushSynchError = false);
    std::int32_t Register();
    void RepairDatabase(const QString& DatabaseName);
    QString ReplicaID();
    std::shared_ptr<Replicas> ReplicaSet();
    bool IsDesignMaster();
    std::int16_t RetentionPeriod();
    void setRetentionPeriod(std::int16_t days);
    bool Running() const { return m_running; }
    // vSched omitted counts as "not an array of Booleans".
    bool SetFullSchedule(const QString& ReplicaName = QString(),
                         const std::optional<ScheduleArray>& vSched = std::nullopt);
    // StartTime: the time of day as a fraction of a day (0.125 is 3:00 AM).
    bool SetSimpleSchedule(const QString& ReplicaName = QString(), std::int32_t DaysToSync = synchDayEveryday,
                           double StartTime = 0.125, std::int16_t TimesPerDay = 1, bool ClearOldSchedule = false);
    void setRunning(bool on);
    bool ShowAFs() const;
    void setShowAFs(bool on);
    // Fills rgbyt (its first element has index lowerBound) with the 8-bit codes of st, character 1 first.
    void StToRgbyt(const QString& st, QByteArray& rgbyt, int lowerBound = 0);
    bool SynchDirect(const QString& ReplicaName, std::int32_t SynchType = synchTypeReplImpExp);
    void SynchIndirect(const QString& ReplicaName, std::int32_t SynchType = synchTypeReplImpExp);
    bool SynchInternet(const QString& UrlServer, std::int32_t SynchType = synchTypeReplImpExp);
    QString SynchronizerID();
    QString SystemDB() const { return m_systemDb; }
    void setSystemDB(const QString& path);
    std::int32_t Unregister();
    QString uid() const { return m_uid; }
    void setUid(const QString& user);
    QString Version() const;
    QString Description();
    void setDescription(const QString& text);
    QString DescriptionOfReplicaSet();
    void setDescriptionOfReplicaSet(const QString& text);
    std::shared_ptr<HistoryItem> HistoryItemOfExchangeId(const QString& ExchangeId);
    QString SynchIndirect2(const QString& ReplicaName, std::int32_t SynchType = synchTypeReplImpExp);

    // --- for the collections
    std::int32_t Generation() const { return m_generation; }
    void AdvanceGeneration(std::int32_t amount);
    std::int32_t ManageReplica(const QString& path);
    void UnmanageReplica(const QString& path);
    void NotifyRunningSynchronizer(const QString& path);
    void RemoveFromReplicaSet(const Replica& replica);

    // The library's progress callback steps (public for the engine's callback only).
    std::int32_t dispatchProgressFromEngine(std::int32_t operation, std::int32_t status, std::int32_t done,
                                            std::int32_t total);

signals:
    void BeginSynch();
    void EndSynch();
    void SynchFailed();
    void SynchProgress(std::int32_t& UnitsDone, std::int32_t& UnitsTotal, bool& Cancel);
    void BeginMakeReplica();
    void EndMakeReplica();
    void MakeReplicaFailed();
    void MakeReplicaProgress(std::int32_t& UnitsDone, std::int32_t& UnitsTotal, bool& Cancel);
    void BeginCompactRepair();
    void EndCompactRepair();
    void CompactRepairFailed();
    void CompactRepairProgress(std::int32_t& UnitsDone, std::int32_t& UnitsTotal, bool& Cancel);
    void BeginDdlOperation();
    void EndDdlOperation();
    void DdlOperationFailed();
    void DdlOperationProgress(std::int32_t& UnitsDone, std::int32_t& UnitsTotal, bool& Cancel);

private:
    std::int32_t EnsureJetSession();
    std::int32_t RequireOpenDatabase();
    void CheckJetError(std::int32_t result);
    // CheckJetError, with the engine's reason for the session's last failure added to the text.
    // file: the file the call concerns, for a failure whose file the engine does not tell.
    void raiseWithReason(std::int32_t session, std::int32_t result, const QString& file = QString());
    void SetProgressCallback(bool on);
    bool DispatchJetProgress(std::int32_t operation, std::int32_t status, std::int32_t unitsDone,
                             std::int32_t unitsTotal);
    void findSynchronizerModule();
    std::int32_t openDatabase(const QString& path, std::int32_t options);
    void closeDatabase();
    QString ReadReplicaId();
    QString synchronizerText(std::int32_t propId);
    void writeSynchronizer(std::int32_t propId, const QVariant& value);
    void updateInternetInUse();
    QString replicaText(std::int32_t propId);
    QString SynchronizerGuid();
    bool findReplicaGuid(const QString& replicaName, Guid& partner);
    Guid schedulePartnerForSet(const QString& replicaName);
    bool writeSchedule(const Guid& partner, const QByteArray& packed);
    std::int32_t exchangeBits(std::int32_t synchType) const;
    // The Defunct value of the transport address of a synchronizer; empty when there is no readable row.
    bool transporterDefunct(const Guid& synchronizer, std::int16_t& defunct);
    std::shared_ptr<HistoryItem> makeHistoryItem(const Guid& exchange, const Replicas& replicaSet);

    std::unique_ptr<Engine> m_engine;
    std::intptr_t m_module = 0;
    std::int32_t m_database = 0;
    std::int32_t m_session = 0;
    std::int32_t m_instance = 0;
    std::int32_t m_generation = 0;
    QString m_databaseName;
    QString m_systemDb;
    QString m_uid;
    QString m_password;
    QString m_logFileProblem;
    bool m_running = false;
    std::shared_ptr<Replicas> m_managedReplicas;
    std::shared_ptr<Replicas> m_replicaSet;
};

VARNOCK_EXPORT QString VarnockVersionText();

// Tables whose rows travel from the Design Master outwards only (a host program's users and their rights),
// recorded in the Design Master's own file. At its exchanges a replica's changes to them are not applied: each is
// kept as a conflict, and the replica gets the master's rows back in the same exchange. False (with the reason in
// error) when the file cannot be written.
VARNOCK_EXPORT bool SetMasterOnlyTables(const QString& designMaster, const QStringList& tables,
                                        QString* error = nullptr);

} // namespace Varnock

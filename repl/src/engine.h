#pragma once
// The replication engine as the synchronizer sees it. One Engine object is one engine instance, owned by one
// Synchronizer. Every call returns a 32-bit result: 0 and above is success, below 0 a failure that the caller maps
// to a library error; no call throws. Handles (instance, session, database, table/list, statement) are 32-bit
// numbers the engine hands out; 0 is never a valid handle. Session numbers must be unique in the process, because
// the progress callback finds its Synchronizer by session alone.
//
// Texts: a null QString stands for "no text" (a null pointer in the engine's terms), an empty one for "".
// Typed values travel as QVariant: text QString, 16-bit qint16, 32-bit qint32, bytes QByteArray (a GUID is a
// QByteArray of 16 bytes in Guid's layout). A getter receives a QVariant already holding the wanted type and fills
// it in that type. A value of any other type makes the call do nothing and return 0.
#include "guid.h"
#include "varnock_global.h"
#include <QString>
#include <QVariant>
#include <cstdint>
#include <functional>
#include <memory>

namespace Varnock {

using JetResult = std::int32_t;

namespace JetConst {
// Results the library tells apart (anything else negative is a plain failure).
constexpr JetResult Success = 0;
constexpr JetResult errDatabaseLocked = -1024;          // exclusive access not obtained
constexpr JetResult errSynchronizerInUse = -1030;       // synchronizer attached elsewhere
constexpr JetResult errAccessDenied = -1032;
// The library lets these two pass as if nothing failed, so an operation that does work must never return them:
// only reads of absent values (-3600) and of absent schedules (-20015) do.
constexpr JetResult errValueNotSet = -3600;
constexpr JetResult errRepairNotSupported = -3809;
constexpr JetResult errNotDesignMaster = -20003;
constexpr JetResult errNoSchedule = -20015;
constexpr JetResult errInvalidExchangeId = -20016;
constexpr JetResult errNoSynchronizerId = -20026;       // synchronizer property 0 not made yet
constexpr JetResult errSynchronizerNotSetUp = -20101;
constexpr JetResult errSynchronizerNotFound = -20149;
constexpr JetResult errColumnTrackingReplicable = -20318;
// What the progress callback answers when a handler cancelled: object-error base + 5018 (hex 8004139A).
constexpr std::int32_t callbackCancel = std::int32_t(0x8004139Au);

// System parameters (JetSetSystemParameter).
constexpr std::int32_t paramSystemDatabase = 0;
constexpr std::int32_t paramProgressCallback = 2;

// Database open and close options.
constexpr std::int32_t openShared = 0;
constexpr std::int32_t openExclusive = 2;
constexpr std::int32_t closeDefault = 1;

// Replica properties (ReplGetReplicaProperty / ReplSetReplicaProperty).
constexpr std::int32_t replPropReplicaGuid = 1;         // 16 bytes; all zero: not a replica
constexpr std::int32_t replPropDescription = 2;         // text
constexpr std::int32_t replPropSetDescription = 3;      // text
constexpr std::int32_t replPropRetentionPeriod = 4;     // 16-bit
constexpr std::int32_t replPropDesignMasterGuid = 5;    // 16 bytes

// Synchronizer properties (ReplGetSynchronizerProperty / ReplSetSynchronizerProperty), kept per machine.
constexpr std::int32_t syncPropId = 0;                  // 16 bytes; errNoSynchronizerId until written
constexpr std::int32_t syncPropManagedReplicas = 4;     // read only: paths joined by NUL
constexpr std::int32_t syncPropLogFile = 6;
constexpr std::int32_t syncPropIndirectDropbox = 8;
constexpr std::int32_t syncPropIndirectDropboxPwd = 9;
constexpr std::int32_t syncPropIndirectInUse = 11;      // 32-bit 1 or 0
constexpr std::int32_t syncPropManageReplica = 18;      // write a path: add it to the managed replicas
constexpr std::int32_t syncPropUnmanageReplica = 19;    // write a path: remove it
constexpr std::int32_t syncPropName = 20;
constexpr std::int32_t syncPropDefaultSchedule = 21;    // 84 packed bytes
constexpr std::int32_t syncPropHttpDropbox = 22;
constexpr std::int32_t syncPropHttpDropboxPwd = 23;
constexpr std::int32_t syncPropInternetInUse = 24;      // 32-bit 1 or 0
constexpr std::int32_t syncPropInternetServer = 26;
constexpr std::int32_t syncPropFtpDropbox = 27;

// Stop flags of ReplStopSynchronizer (the library stops with 3, and with 0 at its end).
constexpr std::int32_t stopFlag1 = 1;
constexpr std::int32_t stopFlag2 = 2;

// ReplMakeReplica option bits.
constexpr std::int32_t makePartial = 1;
constexpr std::int32_t makeReadOnly = 2;
constexpr std::int32_t makePreventDeletes = 4;
constexpr std::int32_t makeVisibilityBase = 4096;
constexpr std::int32_t makeVisibilityLocal = 8192;
constexpr std::int32_t makeVisibilityAnonymous = 16384;

// Exchange direction bits (2 to the power of SynchTypeEnum) and the indirect flag.
constexpr std::int32_t exchangeExport = 1;
constexpr std::int32_t exchangeImport = 2;
constexpr std::int32_t exchangeBoth = 4;
constexpr std::int32_t exchangeIndirect = 256;

// JetExecuteStatement option; the bit of a transport address's Defunct value.
constexpr std::int32_t executeOption = 256;
constexpr std::int32_t defunctBit = 256;

// JetMove offsets.
constexpr std::int32_t moveFirst = std::int32_t(0x80000000u);
constexpr std::int32_t moveNext = 1;

// ReplEnumerate list kinds.
constexpr std::int32_t listSchedule = 62;               // (local, partner) synchronizer GUIDs
constexpr std::int32_t listReplicaSet = 66;
constexpr std::int32_t listKnownReplicas = 70;
constexpr std::int32_t listHistoryFirst = 71;           // 71 + HistoryFilterEnum, up to 84

// ReplSetSchedule setting id of a partner schedule.
constexpr std::int32_t scheduleSetting = 68;

// Progress operations and statuses (the callback's Operation and Status).
constexpr std::int32_t opDdl = 1;
constexpr std::int32_t opRepair = 2;
constexpr std::int32_t opCompact = 4;
constexpr std::int32_t opMakeReplica = 11;
constexpr std::int32_t opExchange = 13;
constexpr std::int32_t opExchangePhase = 14;
constexpr std::int32_t statusProgress = 0;
constexpr std::int32_t statusFailed = 3;
constexpr std::int32_t statusBegin = 5;
constexpr std::int32_t statusEnd = 6;
constexpr std::int32_t phaseBegin = 11;                 // operation 14
constexpr std::int32_t phase1 = 13;
constexpr std::int32_t phase2 = 14;
constexpr std::int32_t phase3 = 15;
constexpr std::int32_t phase0 = 16;
constexpr std::int32_t phaseEnd = 17;

// Object property that makes a database replicable (JetSetObjectProperty).
inline const char* const replicableContainer = "Databases";
inline const char* const replicableDocument = "MSysDb";
inline const char* const replicableProperty = "Replicable";
inline const char* const replicableValue = "T";

// The transport-address table and its columns (JetOpenTable / JetGetColumnInfo).
inline const char* const transportQuery = "SELECT * FROM MSysTranspAddress";
inline const char* const transportDefunct = "Defunct";            // 16-bit
inline const char* const transportId = "TransporterId";           // 16 bytes

// The exchange type of an indirect exchange, in 8-bit text.
inline const char* const exchangeTypeYouPick = "YOUPICK";
} // namespace JetConst

// Column ids of the rows of ReplEnumerate lists (read with JetRetrieveColumn).
namespace ListColumn {
// list 66, the replica set of the open database
constexpr std::int32_t replicaGuid = 1;        // 16 bytes
constexpr std::int32_t replicaName = 2;        // text
constexpr std::int32_t uncName = 3;            // text
constexpr std::int32_t machineName = 4;        // text
constexpr std::int32_t description = 5;        // text
constexpr std::int32_t nickname = 6;           // 32-bit short number, matched by history records
constexpr std::int32_t synchronizerGuid = 7;   // 16 bytes, all zero when no synchronizer manages it
// list 70, known replicas by name
constexpr std::int32_t knownName = 1;          // text
constexpr std::int32_t knownGuid = 2;          // 16 bytes, the partner's synchronizer GUID
// list 62, one schedule row
constexpr std::int32_t schedule = 1;           // the 84 packed bytes
// lists 71..84, one exchange per row
constexpr std::int32_t exchangeGuid = 1;       // 16 bytes
} // namespace ListColumn

// The status record the engine hands the progress callback.
struct ProgressInfo {
    std::int32_t reserved = 0;
    std::int32_t unitsDone = 0;
    std::int32_t unitsTotal = 0;
};

// Called by the engine on the caller's thread during an engine call; a non-zero answer (JetConst::callbackCancel)
// asks the engine to stop the operation, which then ends with a negative result of the engine's choosing.
using ProgressCallback = std::int32_t (*)(std::int32_t session, std::int32_t operation, std::int32_t status,
                                          const ProgressInfo* info);

// One exchange as ReplReadHistory gives it.
struct HistoryRecord {
    double initiatedDate = 0;       // date value: days since 1899-12-30, fraction = time of day
    double lastAction = 0;
    std::int32_t connectionType = 0;
    std::int32_t synchStatus = 0;
    std::int32_t tableModifications = 0;
    std::int32_t insertsReceived = 0;
    std::int32_t deletesReceived = 0;
    std::int32_t updatesReceived = 0;
    std::int32_t errors = 0;
    std::int32_t conflicts = 0;
    std::int32_t designChangesSent = 0;
    std::int32_t designChangesReceived = 0;
    std::int32_t insertsAndUpdatesSent = 0;
    std::int32_t deletesSent = 0;
    std::int32_t errorCode = 0;
    std::int32_t partnerNickname = 0;   // matched against the replica set's nickname column
    std::uint8_t initiatedHere = 0;     // 255 = yes
    std::uint8_t scheduled = 0;         // 255 = yes
    QString errorText;
};

class VARNOCK_EXPORT Engine {
public:
    virtual ~Engine() = default;

    // --- engine instance and session
    virtual JetResult JetInitEngine(std::int32_t& instance) = 0;
    virtual JetResult JetTermEngine(std::int32_t instance) = 0;
    virtual JetResult JetBeginSession(std::int32_t instance, std::int32_t& session, const QString& user,
                                      const QString& password) = 0;
    virtual JetResult JetEndSession(std::int32_t session, std::int32_t options) = 0;
    // paramSystemDatabase: session 0, text = path. paramProgressCallback: the current session, callback (nullptr
    // clears it), null text.
    virtual JetResult JetSetSystemParameter(std::int32_t instance, std::int32_t session, std::int32_t paramId,
                                            ProgressCallback callback, const QString& text) = 0;

    // --- databases
    virtual JetResult JetOpenDatabase(std::int32_t session, const QString& path, const QString& connect,
                                      std::int32_t& database, std::int32_t options) = 0;
    virtual JetResult JetCloseDatabase(std::int32_t session, std::int32_t database, std::int32_t options) = 0;
    virtual JetResult JetSetObjectProperty(std::int32_t session, std::int32_t database, const QString& container,
                                           const QString& document, const QString& property,
                                           const QVariant& value) = 0;
    virtual JetResult JetCompactDatabase(std::int32_t session, const QString& source, const QString& sourceConnect,
                                         const QString& destination, const QString& destinationConnect,
                                         ProgressCallback callback, std::int32_t options) = 0;
    virtual JetResult JetRepairDatabase(std::int32_t session, const QString& path, ProgressCallback callback) = 0;

    // --- tables, lists and statements (a list from ReplEnumerate is read like a table)
    virtual JetResult JetOpenTable(std::int32_t session, std::int32_t database, const QString& nameOrSql,
                                   std::int32_t options, std::int32_t& table) = 0;
    virtual JetResult JetCloseTable(std::int32_t session, std::int32_t table) = 0;
    virtual JetResult JetMove(std::int32_t session, std::int32_t table, std::int32_t offset,
                              std::int32_t options) = 0;
    virtual JetResult JetGetColumnInfo(std::int32_t session, std::int32_t table, const QString& column,
                                       std::int32_t& columnId) = 0;
    // Reads the current row's column into value, in the type value holds.
    virtual JetResult JetRetrieveColumn(std::int32_t session, std::int32_t table, std::int32_t columnId,
                                        QVariant& value) = 0;
    virtual JetResult JetPrepareStatement(std::int32_t session, std::int32_t database, const QString& name,
                                          std::int32_t& statement) = 0;
    virtual JetResult JetSetStatementText(std::int32_t session, std::int32_t statement, const QString& sql,
                                          const QString& connect, std::int32_t options) = 0;
    virtual JetResult JetExecuteStatement(std::int32_t session, std::int32_t database, std::int32_t statement,
                                          std::int32_t options) = 0;

    // --- replication
    virtual JetResult ReplMakeReplica(std::int32_t session, std::int32_t database, const QString& path,
                                      const QString& description, std::int32_t priority, std::int32_t flags) = 0;
    virtual JetResult ReplMoveReplica(std::int32_t session, const QString& oldPath, const QString& newPath) = 0;
    virtual JetResult ReplSynchDirect(std::int32_t session, const QString& databasePath, const QString& replicaPath,
                                      std::int32_t exchangeBits) = 0;
    // Why the session's last exchange failed, in words a user can act on; empty when it did not fail or the
    // engine cannot tell.
    virtual QString LastFailureReason(std::int32_t /*session*/) const { return QString(); }
    // The file that failure concerns (for a full disk: the file whose disk is full); empty when not known.
    virtual QString LastFailureFile(std::int32_t /*session*/) const { return QString(); }
    // Why the session's last exchange could not add its line to the log file (the file and the reason); empty
    // when it did or the engine keeps no log.
    virtual QString LastLogProblem(std::int32_t /*session*/) const { return QString(); }
    // Fills exchangeId with the new exchange's GUID.
    virtual JetResult ReplSynchIndirect(std::int32_t session, std::int32_t database, const Guid& partnerSynchronizer,
                                        std::int32_t flags, const QByteArray& exchangeType, Guid& exchangeId) = 0;
    virtual JetResult ReplSynchInternet(std::int32_t instance, std::int32_t session, std::int32_t database,
                                        const QString& server, const Guid& partner, std::int32_t exchangeBits) = 0;
    virtual JetResult ReplPopulatePartial(std::int32_t session, std::int32_t partialDatabase,
                                          std::int32_t fullDatabase, std::int32_t flags) = 0;
    // replica == nullptr: the open database's own replica.
    virtual JetResult ReplGetReplicaProperty(std::int32_t session, std::int32_t database, const Guid* replica,
                                             std::int32_t propId, QVariant& value) = 0;
    virtual JetResult ReplSetReplicaProperty(std::int32_t session, std::int32_t database, std::int32_t propId,
                                             const QVariant& value) = 0;
    virtual JetResult ReplGetSynchronizerProperty(std::int32_t instance, std::int32_t propId, QVariant& value) = 0;
    virtual JetResult ReplSetSynchronizerProperty(std::int32_t instance, std::int32_t propId,
                                                  const QVariant& value) = 0;
    // Opens a list as a table, standing on its first row; rowCount is the number of rows. first/second: nullptr
    // when not needed (list 62 gets the local and the partner synchronizer GUIDs). JetMove(moveFirst) goes to the
    // first row of a list or table, moveNext to the next; a move past the last row gives a negative result.
    virtual JetResult ReplEnumerate(std::int32_t session, std::int32_t database, const Guid* first,
                                    const Guid* second, std::int32_t kind, std::int32_t& list,
                                    std::int32_t& rowCount) = 0;
    virtual JetResult ReplReadHistory(std::int32_t session, std::int32_t database, const Guid& exchangeId,
                                      HistoryRecord& record) = 0;
    virtual JetResult ReplSetSchedule(std::int32_t session, std::int32_t database, const Guid& partner,
                                      std::int32_t setting, const QByteArray& record) = 0;
    // Removes exactly the member named by replicaId; refuses the open database's own replica and the Design Master.
    virtual JetResult ReplRemoveReplica(std::int32_t session, std::int32_t database, const Guid& synchronizerId,
                                        const Guid& replicaId) = 0;
    virtual JetResult ReplRegisterReplica(std::int32_t session, std::int32_t database) = 0;
    virtual JetResult ReplStartSynchronizer(std::int32_t instance) = 0;
    virtual JetResult ReplStopSynchronizer(std::int32_t flags) = 0;
    virtual JetResult ReplRegister() = 0;
    virtual JetResult ReplUnregister() = 0;
};

// How a Synchronizer gets its engine: the factory in force when it is made. Tests install a fake; an empty
// factory restores the default (the SQLite engine, makeSqliteEngine).
using EngineFactory = std::function<std::unique_ptr<Engine>()>;
VARNOCK_EXPORT void setEngineFactory(EngineFactory factory);
VARNOCK_EXPORT std::unique_ptr<Engine> createEngine();
// The real engine over SQLite files.
VARNOCK_EXPORT std::unique_ptr<Engine> makeSqliteEngine();

} // namespace Varnock

#pragma once
// The replication store over SQLite files: making a tunnel database replicable, copying replicas,
// exchanging changes between two replicas of one set, and the exchange history kept in each file.
//
// A replicable file carries, in every user table, the change columns s_GUID (the row's identity across
// replicas), s_Generation (the local generation of its last change) and s_Lineage (a version vector as
// JSON: {"w": last writer's nickname, "p": its priority, "v": {"<nickname>": generation, ...}}).
// Triggers keep them for every connection that writes the file (the program, the sqlite3 shell), and
// record deletions in repl_tombstones. The engine's own writes run with repl_info.applying = 1, so the
// triggers leave them alone. A row not changed since its file became replicable stores none of the three
// (making a file replicable rewrites almost no row): its identity is derived from its table and its key (the
// INTEGER PRIMARY KEY, a primary key or unique index of NOT NULL columns) or its values, which every rebuild of
// the file keeps, and its lineage is the Design Master's first one, until its first change or deletion stores
// them. Files whose every row carries them (made by earlier versions) are read and exchanged alike.
//
// Every call returns 0 or a negative result; errors are never thrown.
#include "varnock_global.h"

#include <QDateTime>
#include <QString>
#include <QVector>
#include <functional>

namespace Varnock::Store {

namespace Result {
constexpr int Ok = 0;
constexpr int Locked = -1024;          // the file is busy, or exclusive access not obtained
constexpr int AccessDenied = -1032;    // read-only file or folder
constexpr int UnknownExchange = -20016;
// Own results; the library maps them to its general failure.
constexpr int NotDatabase = -21001;    // missing, or not a SQLite database
constexpr int NotReplicable = -21002;
constexpr int TargetExists = -21003;
constexpr int Cancelled = -21004;
constexpr int OtherSet = -21005;       // the two files belong to different replica sets
constexpr int SameReplica = -21006;    // a file exchanged with itself or with a copy of its own identity
constexpr int RemovedReplica = -21007;
constexpr int Failed = -21010;         // any other SQLite failure
constexpr int UnknownReplica = -21011;
constexpr int RefusedRemoval = -21012;
constexpr int IdentitiesDiffer = -21013;  // the two files no longer agree on which row is which
constexpr int NotReplicableDesign = -21014;  // a table replication cannot track
}  // namespace Result

// Option bits of a new replica.
namespace ReplicaFlag {
constexpr int Partial = 1;
constexpr int ReadOnly = 2;
constexpr int PreventDeletes = 4;
}  // namespace ReplicaFlag

// Exchange directions, as bits.
namespace Direction {
constexpr int Export = 1;   // this file's changes to the partner
constexpr int Import = 2;   // the partner's changes to this file
constexpr int Both = 4;
}  // namespace Direction

// Exchange status values.
namespace Status {
constexpr int Requested = 0;
constexpr int InProgress = 1;
constexpr int Completed = 2;
constexpr int Failed = 3;
constexpr int Cancelled = 4;
}  // namespace Status

// Called now and then during a long call; answering false stops it (the call then gives Cancelled
// and changes nothing).
using Progress = std::function<bool(qint64 done, qint64 total)>;

struct Identity {
    QString replicaId;        // braced upper-case GUID text
    QString setId;
    QString designMasterId;
    qint32 nickname = 0;      // short number of the replica within its set
    int priority = 0;
    QString description;
    QString setDescription;
    int retention = 0;
    int flags = 0;            // ReplicaFlag bits
    qint64 generation = 0;
};

struct Member {
    QString replicaId;
    qint32 nickname = 0;
    QString replicaName;
    QString uncName;
    QString machineName;
    QString description;
    int priority = 0;
    QString synchronizerId;
    int flags = 0;
    bool removed = false;
};

struct Exchange {
    QString exchangeId;
    QDateTime initiated;      // UTC
    QDateTime lastAction;     // UTC
    int connectionType = 0;   // 0 direct
    int direction = 0;        // Direction bits
    int status = 0;
    int tableModifications = 0;
    int insertsReceived = 0;
    int deletesReceived = 0;
    int updatesReceived = 0;
    int errors = 0;
    int conflicts = 0;
    int designChangesSent = 0;
    int designChangesReceived = 0;
    int insertsAndUpdatesSent = 0;
    int deletesSent = 0;
    int errorCode = 0;
    qint32 partnerNickname = 0;
    bool initiatedHere = false;
    bool scheduled = false;
    QString errorText;
};

// A version that lost a conflict or a key clash, kept in the file's repl_conflicts.
struct Conflict {
    QString table;
    QByteArray rowGuid;
    QString exchangeId;
    QString reason;
    bool loserDeleted = false;   // the losing version was a deletion
    QString rowData;             // the losing row as JSON (column: value)
};

// History filters, as the library numbers them.
namespace Filter {
constexpr int All = 0, Incomplete = 1, Unsuccessful = 2, Successful = 3, InLast2Days = 4, InLast7Days = 6,
              Last25 = 7, Last50 = 8, InitiatedHere = 9, WithAnyChanges = 10, WithDataChanges = 11,
              WithSchemaChanges = 12, WithConflicts = 13;
}

// The replica identifier of a file, "" for a plain database or a file that cannot be read. Only reads.
VARNOCK_EXPORT QString replicaId(const QString& path);
VARNOCK_EXPORT bool isReplicable(const QString& path);

// Makes a plain database the Design Master of a new replica set (one transaction; a replicable file is
// left as it is).
VARNOCK_EXPORT int makeReplicable(const QString& path, QString* error = nullptr);

VARNOCK_EXPORT int readIdentity(const QString& path, Identity* out, QString* error = nullptr);
// Description, set description and retention of the file's own replica.
VARNOCK_EXPORT int setDescription(const QString& path, const QString& text, QString* error = nullptr);
VARNOCK_EXPORT int setSetDescription(const QString& path, const QString& text, QString* error = nullptr);
VARNOCK_EXPORT int setRetention(const QString& path, int days, QString* error = nullptr);

// The replica set as the file knows it (removed members left out), own replica first.
VARNOCK_EXPORT int members(const QString& path, QVector<Member>* out, QString* error = nullptr);
// Marks a member removed; refuses the file's own replica and the Design Master.
VARNOCK_EXPORT int removeMember(const QString& path, const QString& replicaId, QString* error = nullptr);

// A new replica of source at target (which must not exist), copied with SQLite's backup API. progress
// gets pages done and total. A failure or a cancel leaves no target file and the source as it was.
VARNOCK_EXPORT int makeReplica(const QString& source, const QString& target, const QString& description,
                               int priority, int flags, const Progress& progress = {},
                               QString* error = nullptr);

// Renames a replica file and updates its own member row.
VARNOCK_EXPORT int moveReplica(const QString& oldPath, const QString& newPath, QString* error = nullptr);

// Exchanges changes between local and partner in one transaction over both files. progress gets rows done
// and total. The history of both files gets a row; logFile (when not empty) gets one line.
// A two-way exchange that leaves nothing to send writes one half of a shared token into each file's header
// (user_version) and the change counter its commit leaves, sealed with which file it is (application_id): while
// both still hold, a later exchange of the very same two files knows there is nothing to send from the headers
// alone (and does not read the partner's nickname). A copy of a file never passes for it.
VARNOCK_EXPORT int synchronize(const QString& local, const QString& partner, int direction,
                               const Progress& progress = {}, const QString& logFile = {},
                               Exchange* out = nullptr, QString* error = nullptr);

// Why the log file named to the last exchanges could not take their lines (the disk is full, ...), in plain
// words naming the file; "" when every line went in. Cleared by the reading. A log line that does not fit is
// taken back whole, so the log keeps its old lines intact, and the exchange is not failed by it.
VARNOCK_EXPORT QString takeLogProblem();
// The file the last failed call of this thread concerns, "" when it named none: for a full disk, the file on the
// disk that has no room (of an exchange's two files, or a replica being made and its source), so a host can say
// which disk to free. A failure's text does not name it for every failure.
VARNOCK_EXPORT QString lastFailureFile();
// Tests only: the log file has room for only this many more bytes (a negative room: no limit); the write past
// it fails as on a full disk.
VARNOCK_EXPORT void setLogRoom(qint64 room);

// Tests only: every table of later exchanges goes row by row (the path a key clash takes), so both paths can
// be compared.
VARNOCK_EXPORT void setRowByRow(bool on);

// The exchange history of a file, newest first.
VARNOCK_EXPORT int history(const QString& path, int filter, QVector<Exchange>* out, QString* error = nullptr);
VARNOCK_EXPORT int historyItem(const QString& path, const QString& exchangeId, Exchange* out,
                               QString* error = nullptr);
VARNOCK_EXPORT int conflicts(const QString& path, QVector<Conflict>* out, QString* error = nullptr);

// Whether path is a SQLite database that can be opened (Ok), and one statement run on it.
VARNOCK_EXPORT int checkDatabase(const QString& path, QString* error = nullptr);
VARNOCK_EXPORT int executeSql(const QString& path, const QString& sql, QString* error = nullptr);

// A new braced upper-case GUID text.
VARNOCK_EXPORT QString newGuidText();

}  // namespace Varnock::Store

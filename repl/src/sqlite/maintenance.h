#pragma once
// The store's operations around the exchange: compaction, moving a replica, filling a partial replica,
// data-definition statements, partner schedules, the synchronizers that manage a file, and the indirect
// exchange through drop-box folders. Results as in replstore.h: 0 or a negative result, never thrown.
#include "replstore.h"

#include <QByteArray>
#include <QStringList>

namespace Varnock::Store {

namespace Result {
constexpr int NotDesignMaster = -20003;    // a design change made away from the Design Master
constexpr int NoSchedule = -20015;
constexpr int NotSetUp = -20101;           // no synchronizer identifier or drop box here
constexpr int UnknownSynchronizer = -20149;
constexpr int NotPartial = -21020;         // PopulatePartial on a replica that is not partial
constexpr int Damaged = -21021;            // the integrity check of a compacted copy failed
}  // namespace Result

// Copies source into destination (which must not exist) with VACUUM INTO, through a temporary file that
// is checked with PRAGMA integrity_check before it takes the destination's name. progress gets steps done
// and the source's page count; answering false cancels. The source is only read.
VARNOCK_EXPORT int compactDatabase(const QString& source, const QString& destination, const Progress& progress = {},
                                   QString* error = nullptr);

// Renames a replica file and then records its new name in its own member row; when that cannot be
// recorded the file goes back to its old name.
VARNOCK_EXPORT int relocateReplica(const QString& oldPath, const QString& newPath, QString* error = nullptr);

// Sends the partial replica's changes to the full one (a failure stops only when failOnPushError), then
// takes every row of the full replica: there are no partial filters, so every row belongs.
VARNOCK_EXPORT int populatePartial(const QString& partial, const QString& full, bool failOnPushError,
                                   const QString& logFile = {}, QString* error = nullptr);

// Runs one SQL statement. In a replica that is not the Design Master a design change of a replicable table
// is refused (NotDesignMaster); the replication tables themselves cannot be changed (AccessDenied).
// progress is told the start (0 of 1) and the end (1 of 1).
VARNOCK_EXPORT int executeStatement(const QString& path, const QString& sql, const Progress& progress = {},
                                    QString* error = nullptr);

// The schedule between two synchronizers, kept in the file as the record written.
VARNOCK_EXPORT int setSchedule(const QString& path, const QString& localSync, const QString& partnerSync,
                               const QByteArray& record, QString* error = nullptr);
// NoSchedule when none is stored.
VARNOCK_EXPORT int schedule(const QString& path, const QString& localSync, const QString& partnerSync,
                            QByteArray* record, QString* error = nullptr);

// The synchronizer (GUID text; null to clear) that manages the file's own replica, and its drop box.
VARNOCK_EXPORT int setManagingSynchronizer(const QString& path, const QString& synchronizer, const QString& dropbox,
                                           QString* error = nullptr);
// The drop box of a synchronizer as the file knows it; UnknownSynchronizer when it knows none.
VARNOCK_EXPORT int dropboxOf(const QString& path, const QString& synchronizer, QString* dropbox,
                             QString* error = nullptr);
// Each file learns the other's managing synchronizer and drop boxes (after a direct exchange).
VARNOCK_EXPORT int shareSynchronizers(const QString& a, const QString& b, QString* error = nullptr);

// Writes a message for the partner synchronizer into the folder outbox: a snapshot of path's replica
// whose changes the partner takes, with a request for its own changes back when direction asks for
// them. exchangeId gets the new exchange's GUID; path's history gets a Requested row of connectionType
// (1 indirect, 2 Internet).
VARNOCK_EXPORT int sendMessage(const QString& path, const QString& fromSync, const QString& fromDropbox,
                               const QString& toSync, const QString& outbox, int direction, QString* exchangeId,
                               QString* error = nullptr, int connectionType = 1);

// Applies the messages in dropbox addressed to synchronizer (or to any) to the managed replica of their set,
// answering the requests that ask for a reply; the messages applied are deleted. applied gets their
// number. A message for which no managed replica is here stays where it is.
VARNOCK_EXPORT int applyMessages(const QString& synchronizer, const QString& dropbox, const QStringList& managed,
                                 const QString& logFile = {}, int* applied = nullptr, QString* error = nullptr);

// Carries columns added to a replicated table at the Design Master into the other file (either way), so the
// exchange that follows sees them as common columns. Only adds columns; rows are the exchange's business.
// changes gets the number of columns added.
VARNOCK_EXPORT int carryDesign(const QString& a, const QString& b, int* changes = nullptr, QString* error = nullptr);

// Writes one row of the exchange history of path (replaces a row with the same exchange id).
VARNOCK_EXPORT int recordExchange(const QString& path, const Exchange& e, QString* error = nullptr);

}  // namespace Varnock::Store

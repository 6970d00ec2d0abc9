// The indirect exchange. A message is a SQLite file in the partner synchronizer's drop box: a snapshot of the
// sender's replica (closed at a generation, so everything changed later is sent next time) with a
// repl_message row that says who sent it, to whom, and whether changes are wanted back. The partner applies
// it with the ordinary exchange, importing from the snapshot, and answers with a snapshot of its own (or a
// bare acknowledgement when nothing is wanted back). Messages are written under a temporary name and
// renamed, so a partner never sees half a message.
#include "maintenance.h"
#include "sqlitedb.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace Varnock::Store {

using Sql::Db;
using Sql::fail;
using Sql::Failure;
using Sql::Stmt;

namespace {

const QString kMessageSuffix = QStringLiteral(".vmsg");
const QString kRequest = QStringLiteral("request");
const QString kReply = QStringLiteral("reply");
const QString kAck = QStringLiteral("ack");
const QString kZeroGuid = QStringLiteral("{00000000-0000-0000-0000-000000000000}");
constexpr int kIndirect = 1;   // connection type of the history

struct Message {
    QString exchangeId, kind, fromSync, fromDropbox, toSync, replyTo, setId, replicaId;
    int direction = 0;
};

const char* const kMessageTable =
    "CREATE TABLE repl_message (exchange_guid TEXT, kind TEXT, from_sync TEXT, from_dropbox TEXT, to_sync TEXT, "
    "direction INTEGER, reply_to TEXT, set_guid TEXT, replica_guid TEXT, sent TEXT)";

void writeMessageRow(Db& db, const Message& m)
{
    db.exec(QString::fromLatin1(kMessageTable));
    Stmt s(db, QStringLiteral("INSERT INTO repl_message VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    s.bind(1, m.exchangeId).bind(2, m.kind).bind(3, m.fromSync).bind(4, m.fromDropbox).bind(5, m.toSync);
    s.bind(6, qint64(m.direction)).bind(7, m.replyTo).bind(8, m.setId).bind(9, m.replicaId);
    s.bind(10, QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs)).run();
}

bool readMessage(const QString& path, Message* m)
{
    try {
        Db db;
        db.open(path, true);
        Stmt s(db, QStringLiteral("SELECT exchange_guid, kind, from_sync, from_dropbox, to_sync, direction, reply_to, "
                                  "set_guid, replica_guid FROM repl_message"));
        if (!s.step())
            return false;
        m->exchangeId = s.text(0);
        m->kind = s.text(1);
        m->fromSync = s.text(2);
        m->fromDropbox = s.text(3);
        m->toSync = s.text(4);
        m->direction = int(s.integer(5));
        m->replyTo = s.text(6);
        m->setId = s.text(7);
        m->replicaId = s.text(8);
        return true;
    } catch (const Failure&) {
        return false;   // not a message, or one still being written by someone else
    }
}

QString messageFileName(const QString& exchangeId)
{
    QString bare = exchangeId;
    bare.remove(QLatin1Char('{')).remove(QLatin1Char('}'));
    return bare + kMessageSuffix;
}

// Writes message m into outbox; with a snapshot of path's replica unless it is an acknowledgement.
void writeMessage(const QString& path, Message m, const QString& outbox)
{
    if (!QFileInfo(outbox).isDir())
        throw Failure{Result::AccessDenied, QStringLiteral("The drop box %1 cannot be reached.").arg(outbox)};
    const QString target = QDir(outbox).filePath(messageFileName(m.exchangeId));
    const QString temp = Sql::tempNameFor(target);
    QFile::remove(temp);
    try {
        if (m.kind == kAck) {
            sqlite3* raw = nullptr;
            const int rc = sqlite3_open_v2(QFile::encodeName(temp).constData(), &raw,
                                           SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
            sqlite3_close_v2(raw);
            if (rc != SQLITE_OK)
                throw Failure{Sql::resultOf(rc), QStringLiteral("%1 cannot be written.").arg(temp)};
            Db db;
            db.open(temp);
            writeMessageRow(db, m);
        } else {
            qint64 closed = 0;
            {
                // Close the generation: what the snapshot holds up to it is sent now, later changes next time.
                Db src;
                src.open(path);
                {
                    // Its own block: VACUUM refuses to run while the reading statement is still open.
                    Sql::Transaction tx(src);
                    closed = src.scalarInt(QStringLiteral("SELECT generation FROM repl_info"));
                    m.setId = QString();
                    Stmt i(src, QStringLiteral("SELECT set_guid, replica_guid FROM repl_info"));
                    if (i.step()) {
                        m.setId = i.text(0);
                        m.replicaId = i.text(1);
                    }
                    src.exec(QStringLiteral("UPDATE repl_info SET generation = generation + 1"));
                    tx.commit();
                }
                Stmt v(src, QStringLiteral("VACUUM INTO ?"));
                v.bind(1, temp).run();
            }
            Db db;
            db.open(temp);
            db.exec(QStringLiteral("PRAGMA journal_mode = DELETE"));
            db.exec(QStringLiteral("BEGIN IMMEDIATE"));
            Stmt g(db, QStringLiteral("UPDATE repl_info SET generation = ?"));
            g.bind(1, closed).run();
            db.exec(QStringLiteral("PRAGMA user_version = 0"));
            db.exec(QStringLiteral("PRAGMA application_id = 0"));
            // The partner learns who manages the sender and where answers go.
            Stmt r(db, QStringLiteral("UPDATE repl_replicas SET synchronizer_guid = ? "
                                      "WHERE replica_guid = (SELECT replica_guid FROM repl_info)"));
            r.bind(1, m.fromSync).run();
            db.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS repl_transport (transporter_guid TEXT PRIMARY KEY, "
                                   "defunct INTEGER NOT NULL DEFAULT 0, address TEXT, name TEXT)"));
            if (!m.fromDropbox.isEmpty()) {
                Stmt t(db, QStringLiteral("INSERT OR REPLACE INTO repl_transport VALUES (upper(?), 0, ?, 'dropbox')"));
                t.bind(1, m.fromSync).bind(2, m.fromDropbox).run();
            }
            writeMessageRow(db, m);
            db.exec(QStringLiteral("COMMIT"));
        }
        if (!QFile::rename(temp, target))
            throw Failure{Result::AccessDenied, QStringLiteral("%1 could not be written.").arg(target)};
    } catch (...) {
        Sql::removeWithJournal(temp);
        throw;
    }
}

qint32 nicknameOfSynchronizer(const QString& path, const QString& sync)
{
    QVector<Member> list;
    if (members(path, &list) < 0)
        return 0;
    for (const Member& m : list)
        if (m.synchronizerId.compare(sync, Qt::CaseInsensitive) == 0)
            return m.nickname;
    return 0;
}

void check(int r, const QString& text)
{
    if (r < 0)
        throw Failure{r, text};
}

// Replaces the history row the exchange wrote (under its own id) by the row of the indirect exchange.
void rewriteHistory(const QString& path, const QString& writtenId, const Exchange& e)
{
    {
        Db db;
        db.open(path);
        Stmt d(db, QStringLiteral("DELETE FROM repl_history WHERE exchange_guid = ?"));
        d.bind(1, writtenId).run();
    }
    QString text;
    check(recordExchange(path, e, &text), text);
}

int mirrored(int direction)
{
    return direction == Direction::Export ? Direction::Import : direction == Direction::Import ? Direction::Export : direction;
}

}  // namespace

int sendMessage(const QString& path, const QString& fromSync, const QString& fromDropbox, const QString& toSync,
                const QString& outbox, int direction, QString* exchangeId, QString* error, int connectionType)
{
    try {
        Identity id;
        QString text;
        check(readIdentity(path, &id, &text), text);
        Message m;
        m.exchangeId = newGuidText();
        m.kind = kRequest;
        m.fromSync = fromSync.toUpper();
        m.fromDropbox = fromDropbox;
        m.toSync = toSync.isEmpty() ? kZeroGuid : toSync.toUpper();
        m.direction = direction;
        Exchange e;
        e.exchangeId = m.exchangeId;
        e.initiated = e.lastAction = QDateTime::currentDateTimeUtc();
        e.connectionType = connectionType;
        e.direction = direction;
        e.status = Status::Requested;
        e.initiatedHere = true;
        e.partnerNickname = nicknameOfSynchronizer(path, m.toSync);
        try {
            writeMessage(path, m, outbox);
        } catch (const Failure& f) {
            e.status = Status::Failed;
            e.errorCode = f.result;
            e.errorText = f.text;
            recordExchange(path, e);
            throw;
        }
        check(recordExchange(path, e, &text), text);
        if (exchangeId)
            *exchangeId = m.exchangeId;
        return Result::Ok;
    } catch (const Failure& f) {
        return fail(f, error);
    }
}

int applyMessages(const QString& synchronizer, const QString& dropbox, const QStringList& managed,
                  const QString& logFile, int* applied, QString* error)
{
    int count = 0;
    int last = Result::Ok;
    QString lastText;
    const QDir box(dropbox);
    const QStringList files =
        box.entryList({QLatin1Char('*') + kMessageSuffix}, QDir::Files, QDir::Time | QDir::Reversed);
    for (const QString& name : files) {
        const QString file = box.filePath(name);
        Message m;
        if (!readMessage(file, &m))
            continue;
        if (m.toSync.compare(kZeroGuid, Qt::CaseInsensitive) != 0 &&
            m.toSync.compare(synchronizer, Qt::CaseInsensitive) != 0)
            continue;   // for another synchronizer sharing the folder
        QString local;
        for (const QString& path : managed) {
            Identity id;
            if (readIdentity(path, &id) >= 0 && id.setId.compare(m.setId, Qt::CaseInsensitive) == 0 &&
                id.replicaId.compare(m.replicaId, Qt::CaseInsensitive) != 0) {
                local = path;
                break;
            }
        }
        if (local.isEmpty())
            continue;
        try {
            QString text;
            Exchange e;
            Exchange original;
            const bool reply = m.kind == kReply || m.kind == kAck;
            if (reply) {
                if (historyItem(local, m.replyTo, &original) < 0)
                    original = Exchange();
            }
            const bool importing =
                m.kind == kReply || (m.kind == kRequest && (m.direction & (Direction::Export | Direction::Both)));
            if (importing) {
                shareSynchronizers(local, file);
                carryDesign(local, file);
                const int r = synchronize(local, file, Direction::Import, {}, logFile, &e, &text);
                if (r < 0) {
                    // The message stays for the next start; the history says why it was not applied.
                    Exchange failed = e;
                    failed.exchangeId = reply ? m.replyTo : m.exchangeId;
                    failed.connectionType = kIndirect;
                    failed.status = Status::Failed;
                    failed.errorCode = r;
                    failed.errorText = text;
                    failed.initiatedHere = reply;
                    rewriteHistory(local, e.exchangeId, failed);
                    throw Failure{r, text};
                }
            } else {
                e.initiated = e.lastAction = QDateTime::currentDateTimeUtc();
                e.status = Status::Completed;
            }
            const QString written = e.exchangeId;
            e.connectionType = kIndirect;
            e.status = Status::Completed;
            if (reply) {
                e.exchangeId = m.replyTo;
                e.initiatedHere = true;
                e.direction = original.exchangeId.isEmpty() ? mirrored(m.direction) : original.direction;
                if (original.initiated.isValid())
                    e.initiated = original.initiated;
                if (!original.exchangeId.isEmpty())
                    e.connectionType = original.connectionType;
                e.partnerNickname = original.partnerNickname ? original.partnerNickname : e.partnerNickname;
            } else {
                e.exchangeId = m.exchangeId;
                e.initiatedHere = false;
                e.direction = mirrored(m.direction);
                e.partnerNickname = nicknameOfSynchronizer(local, m.fromSync);
                // The answer: this replica's changes when they are wanted, else a bare acknowledgement.
                if (!m.fromDropbox.isEmpty()) {
                    Message answer;
                    answer.exchangeId = newGuidText();
                    answer.kind = m.direction & (Direction::Import | Direction::Both) ? kReply : kAck;
                    answer.fromSync = synchronizer.toUpper();
                    answer.fromDropbox = dropbox;
                    answer.toSync = m.fromSync;
                    answer.direction = m.direction;
                    answer.replyTo = m.exchangeId;
                    answer.setId = m.setId;
                    Identity own;
                    readIdentity(local, &own);
                    answer.replicaId = own.replicaId;
                    writeMessage(local, answer, m.fromDropbox);
                }
            }
            rewriteHistory(local, written, e);
            QFile::remove(file);
            ++count;
        } catch (const Failure& f) {
            last = f.result;
            lastText = f.text;
        }
    }
    if (applied)
        *applied = count;
    if (error && last < 0)
        *error = lastText;
    return last;
}

}  // namespace Varnock::Store

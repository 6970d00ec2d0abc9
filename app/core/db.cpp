#include "db.h"

#include "helpers.h"
#include "regularfiles.h"

#include <QHash>
#include <algorithm>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUrl>

#include <cerrno>
#include <sqlite3.h>
#include <unordered_map>

Connection gConn(QStringLiteral("krv"));
Connection gReportConn(QStringLiteral("krv-report"));

// ---------------------------------------------------------------- RowSet

RowSet::RowSet(QStringList columns, QVector<QVariantList> rows)
    : m_columns(std::move(columns)), m_rows(std::move(rows))
{
}

int RowSet::columnIndex(const QString& name) const
{
    for (int i = 0; i < m_columns.size(); ++i)
        if (m_columns[i].compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

QVariant RowSet::value(int row, int column) const
{
    if (row < 0 || row >= m_rows.size())
        throw DbError(ErrNo::NoCurrentRecord, QStringLiteral("No current record."));
    if (column < 0 || column >= m_columns.size())
        throw DbError(ErrNo::ItemNotFound, QStringLiteral("Item not found in this collection."));
    return m_rows[row][column];
}

QVariant RowSet::value(int row, const QString& column) const
{
    const int c = columnIndex(column);
    if (c < 0 && row >= 0 && row < m_rows.size())
        throw DbError(ErrNo::ItemNotFound, QStringLiteral("Item not found in this collection: %1.").arg(column));
    return value(row, c);
}

static QVariant notNull(const QVariant& v)
{
    if (v.isNull())
        throw DbError(ErrNo::InvalidUseOfNull, QStringLiteral("Invalid use of Null."));
    return v;
}

qint32 RowSet::toInt(int row, const QString& column) const { return notNull(value(row, column)).toInt(); }
qint64 RowSet::toInt64(int row, const QString& column) const { return notNull(value(row, column)).toLongLong(); }
double RowSet::toDouble(int row, const QString& column) const { return notNull(value(row, column)).toDouble(); }
QString RowSet::toText(int row, const QString& column) const { return notNull(value(row, column)).toString(); }
bool RowSet::toBool(int row, const QString& column) const { return notNull(value(row, column)).toLongLong() != 0; }

RowSet RowSet::filtered(const QString& column, const QVariant& value) const
{
    const int c = columnIndex(column);
    if (c < 0)
        throw DbError(ErrNo::ItemNotFound, QStringLiteral("Item not found in this collection: %1.").arg(column));
    QVector<QVariantList> rows;
    const bool text = value.typeId() == QMetaType::QString;
    for (const QVariantList& r : m_rows) {
        const QVariant& v = r[c];
        const bool same = text ? (!v.isNull() && SameName(v.toString(), value.toString()))
                               : (!v.isNull() && v == value) || (!v.isNull() && v.toString() == value.toString());
        if (same)
            rows << r;
    }
    return RowSet(m_columns, rows);
}

RowSet RowSet::sortedByName(const QString& column) const
{
    const int c = columnIndex(column);
    if (c < 0)
        throw DbError(ErrNo::ItemNotFound, QStringLiteral("Item not found in this collection: %1.").arg(column));
    QStringList names;
    for (const QVariantList& r : m_rows)
        names << r[c].toString();
    SortNames(names);
    QHash<QString, int> rank;
    for (int i = names.size() - 1; i >= 0; --i)
        rank.insert(names[i], i);
    QVector<QVariantList> rows = m_rows;
    std::stable_sort(rows.begin(), rows.end(), [&](const QVariantList& a, const QVariantList& b) {
        if (a[c].isNull() != b[c].isNull())
            return a[c].isNull();
        return rank.value(a[c].toString()) < rank.value(b[c].toString());
    });
    return RowSet(m_columns, rows);
}

// ---------------------------------------------------------------- Connection

static DbError toDbError(const QSqlError& e, const QString& sql = {})
{
    bool ok = false;
    long code = e.nativeErrorCode().toLong(&ok);
    if (!ok)
        code = -1;
    QString text = e.databaseText().isEmpty() ? e.text() : e.databaseText();
    if (code == 8)  // SQLITE_READONLY
        text = QStringLiteral("The database cannot be changed: it is read-only (%1).").arg(text);
    if (!sql.isEmpty())
        text += QStringLiteral(" [%1]").arg(sql.simplified());
    return DbError(code, text);
}

Connection::Connection(QString name) : m_name(std::move(name)) {}

// The engine's handle of an open connection (Qt's driver is built on the system SQLite).
static sqlite3* engineHandle(const QSqlDatabase& db)
{
    const QVariant v = db.driver() ? db.driver()->handle() : QVariant();
    if (!v.isValid() || qstrcmp(v.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3* const*>(v.constData());
}

// The engine's error of a statement on c, with the file it concerns and the system's error number
// behind it, which the reason a message adds is made from.
static DbError toDbError(const QSqlError& e, const QString& sql, const Connection& c)
{
    DbError err = toDbError(e, sql);
    int systemError = 0;
    try {
        if (sqlite3* h = engineHandle(c.database()))
            systemError = sqlite3_system_errno(h);
    } catch (const DbError&) {
    }
    err.setFile(c.path(), systemError);
    return err;
}

void Connection::setEngineBusyTimeout(int ms) const
{
    if (sqlite3* h = engineHandle(database()))
        sqlite3_busy_timeout(h, ms);
}

Connection::~Connection()
{
    // The two global connections die at exit, maybe after Qt's own registry of connections;
    // the process ending closes their files. A local one is closed here.
    if (this != &gConn && this != &gReportConn && QCoreApplication::instance())
        close();
    else
        (void)m_statements.release();  // Qt's registry of connections may be gone already
}

QSqlDatabase Connection::database() const
{
    if (!QSqlDatabase::contains(m_name))
        throw DbError(-1, QStringLiteral("The database is not open."));
    return QSqlDatabase::database(m_name, false);
}

bool Connection::isOpen() const
{
    return QSqlDatabase::contains(m_name) && QSqlDatabase::database(m_name, false).isOpen();
}

void Connection::open(const QString& path, bool readOnly, int busyTimeoutMs)
{
    close();
    // Every failure names the file, which the reason a message adds is made from.
    const auto fail = [&path](long number, const QString& text, int systemError = 0) {
        DbError err(number, text);
        err.setFile(path, systemError);
        return err;
    };
    const QFileInfo fi(path);
    if (!fi.exists())
        throw fail(ErrNo::FileNotFound, QStringLiteral("The database file %1 does not exist.").arg(path), ENOENT);
    if (!fi.isFile())
        throw fail(ErrNo::FileNotFound, QStringLiteral("%1 is not a database file.").arg(path),
                   fi.isDir() ? EISDIR : EINVAL);
    if (!fi.isReadable())
        throw fail(ErrNo::PermissionDenied, QStringLiteral("The database file %1 cannot be read.").arg(path), EACCES);

    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        db.setDatabaseName(path);
        QString options = QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(busyTimeoutMs);
        if (readOnly)
            options += QStringLiteral(";QSQLITE_OPEN_READONLY");
        db.setConnectOptions(options);
        if (!db.open()) {
            DbError err = toDbError(db.lastError());
            err.setFile(path);
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(m_name);
            throw err;
        }
    }
    m_path = path;
    m_busyTimeoutMs = busyTimeoutMs;
    m_depth = 0;
    try {
        // Reading the schema is what tells a SQLite file from any other file.
        query(QStringLiteral("SELECT count(*) FROM sqlite_master"));
    } catch (const DbError& e) {
        close();
        throw fail(e.number(),
                   QStringLiteral("%1 is not a database file that can be used (%2).").arg(path, e.description()),
                   e.systemError());
    }
    if (!readOnly) {
        try {
            query(QStringLiteral("PRAGMA journal_mode=DELETE"));
        } catch (const DbError& e) {
            close();
            // Another program that keeps the file open in WAL mode stops this: the file is in use, not bad.
            if ((e.number() & 0xff) == SQLITE_BUSY)
                throw DbError(e.number(), QStringLiteral("%1 is open in another program that uses it in WAL mode, and can "
                                                         "be opened here only when that program has closed it (%2).")
                                              .arg(path, e.description()));
            throw DbError(e.number(), QStringLiteral("%1 is not a database file that can be used (%2).")
                                          .arg(path, e.description()));
        }
    }
}

void Connection::close()
{
    // Kept statements belong to the connection: none may outlive it.
    dropAllStatements();
    if (!QSqlDatabase::contains(m_name))
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(m_name, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(m_name);
    m_path.clear();
    m_depth = 0;
}

// ---------------------------------------------------------------- kept statements

// Preparing a statement costs about as much as running a small one, and the procedures
// run the same few texts over and over; so those stay prepared, a few dozen at most.
//
// A kept statement must not outlive a schema change made by any connection: when another
// connection (the synchronizer making the first replica, another process) adds columns to a
// table, SQLite prepares the statement again at its next step, and Qt's driver, which sized
// its row from the old columns, writes past it. So the schema cookie is read before a kept
// statement is reused, and a new cookie drops them all.
struct Connection::Statements {
    struct Kept {
        std::unique_ptr<QSqlQuery> query;
        quint64 lastUse = 0;
    };
    std::unordered_map<QString, Kept> bySql;
    quint64 clock = 0;
    quint64 prepared = 0;
    std::unique_ptr<QSqlQuery> cookie;  // PRAGMA schema_version
    qint64 schemaVersion = -1;          // the one the kept statements were prepared under
};

namespace {

constexpr int kKeptStatements = 64;

QStringView firstWord(const QString& sql)
{
    int i = 0;
    while (i < sql.size() && sql.at(i).isSpace())
        ++i;
    int end = i;
    while (end < sql.size() && sql.at(end).isLetter())
        ++end;
    return QStringView(sql).mid(i, end - i);
}

bool isWord(QStringView word, std::initializer_list<const char*> kinds)
{
    for (const char* kind : kinds)
        if (word.compare(QLatin1String(kind), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

// Statements on rows and transactions are kept. Anything else (CREATE, ALTER, DROP, PRAGMA,
// ATTACH, VACUUM...) may change the schema or the connection: it runs on its own and the
// kept statements go first.
bool keepable(QStringView word)
{
    return isWord(word, {"SELECT", "INSERT", "UPDATE", "DELETE", "WITH", "REPLACE", "SAVEPOINT", "RELEASE",
                         "ROLLBACK", "BEGIN", "COMMIT", "END"});
}

// Statements that name tables, and so depend on the schema.
bool readsSchema(QStringView word)
{
    return isWord(word, {"SELECT", "INSERT", "UPDATE", "DELETE", "WITH", "REPLACE"});
}

}  // namespace

// One run of a statement: a kept one, or one prepared for this run alone. Finished (reset)
// when the run ends, so no statement stays open and holds a lock; a failure drops a kept one.
struct StatementUse {
    StatementUse(const Connection& c, const QString& sql, const QVariantList& binds) : m_conn(c)
    {
        QSqlDatabase db = c.database();
        if (!db.isOpen())
            throw DbError(-1, QStringLiteral("The database is not open."));
        const QStringView word = firstWord(sql);
        if (keepable(word)) {
            if (!c.m_statements)
                c.m_statements = std::make_unique<Connection::Statements>();
            Connection::Statements& kept = *c.m_statements;
            // Inside a transaction no other connection can change the schema: it was read
            // when the transaction began. Outside one, a read keeps the cookie's statement
            // open until its rows are read, so no change can come between the two.
            if (c.m_depth == 0 && readsSchema(word))
                m_cookie.query =
                    readCookie(c, db, kept, word.compare(QLatin1String("SELECT"), Qt::CaseInsensitive) == 0);
            auto it = kept.bySql.find(sql);
            if (it == kept.bySql.end()) {
                auto q = std::make_unique<QSqlQuery>(db);
                q->setForwardOnly(true);
                if (!q->prepare(sql))
                    throw toDbError(q->lastError(), sql, c);
                ++kept.prepared;
                if (kept.bySql.size() >= kKeptStatements) {
                    auto oldest = kept.bySql.begin();
                    for (auto k = kept.bySql.begin(); k != kept.bySql.end(); ++k)
                        if (k->second.lastUse < oldest->second.lastUse)
                            oldest = k;
                    kept.bySql.erase(oldest);
                }
                it = kept.bySql.emplace(sql, Connection::Statements::Kept{std::move(q), 0}).first;
            }
            it->second.lastUse = ++kept.clock;
            m_query = it->second.query.get();
            m_sql = sql;
        } else {
            c.forgetStatements();
            m_own = std::make_unique<QSqlQuery>(db);
            m_own->setForwardOnly(true);
            if (!m_own->prepare(sql))
                throw toDbError(m_own->lastError(), sql, c);
            m_query = m_own.get();
        }
        for (int i = 0; i < binds.size(); ++i)
            m_query->bindValue(i, binds.at(i));
        if (!m_query->exec()) {
            const DbError e = toDbError(m_query->lastError(), sql, c);
            fail();
            throw e;
        }
    }
    ~StatementUse()
    {
        if (m_query)
            m_query->finish();
        // m_cookie finishes after it, also when the constructor throws.
    }
    StatementUse(const StatementUse&) = delete;
    StatementUse& operator=(const StatementUse&) = delete;

    QSqlQuery& query() { return *m_query; }

    // A statement that failed is not run again: SQLite reports the old failure on its reset.
    void fail()
    {
        m_query->finish();
        m_query = nullptr;
        if (!m_sql.isNull() && m_conn.m_statements)
            m_conn.m_statements->bySql.erase(m_sql);
    }

    // Reads the schema cookie; a new one drops every kept statement. hold: leave the cookie's
    // read open until this run ends (only for a read: a write in autocommit would commit
    // only when the cookie's statement is reset, and a failure there would go unseen).
    static QSqlQuery* readCookie(const Connection& c, const QSqlDatabase& db, Connection::Statements& kept, bool hold)
    {
        if (!kept.cookie) {
            kept.cookie = std::make_unique<QSqlQuery>(db);
            kept.cookie->setForwardOnly(true);
            if (!kept.cookie->prepare(QStringLiteral("PRAGMA schema_version"))) {
                const DbError e = toDbError(kept.cookie->lastError(), QString(), c);
                kept.cookie.reset();
                throw e;
            }
        }
        QSqlQuery& q = *kept.cookie;
        if (!q.exec() || !q.next()) {
            const DbError e = toDbError(q.lastError(), QStringLiteral("PRAGMA schema_version"), c);
            q.finish();
            kept.cookie.reset();
            throw e;
        }
        const qint64 version = q.value(0).toLongLong();
        if (!hold)
            q.finish();
        if (version != kept.schemaVersion) {
            kept.bySql.clear();
            kept.schemaVersion = version;
            // The connection still has the old schema cached, and a statement prepared on it
            // would change its columns at its first step all the same: a read of the schema
            // table (whose columns never change) has SQLite load the new one first.
            QSqlQuery reload(db);
            reload.setForwardOnly(true);
            if (!reload.exec(QStringLiteral("SELECT count(*) FROM sqlite_master"))) {
                const DbError e =
                    toDbError(reload.lastError(), QStringLiteral("SELECT count(*) FROM sqlite_master"), c);
                q.finish();
                kept.schemaVersion = -1;
                throw e;
            }
            reload.finish();
        }
        return hold ? &q : nullptr;
    }

private:
    const Connection& m_conn;
    QSqlQuery* m_query = nullptr;
    std::unique_ptr<QSqlQuery> m_own;
    QString m_sql;  // the key of a kept statement
    struct CookieHold {
        QSqlQuery* query = nullptr;
        ~CookieHold()
        {
            if (query)
                query->finish();
        }
    } m_cookie;
};

void Connection::forgetStatements() const
{
    if (m_statements) {
        m_statements->bySql.clear();
        m_statements->schemaVersion = -1;
    }
}

void Connection::checkSchema() const
{
    if (!m_statements)
        m_statements = std::make_unique<Statements>();
    StatementUse::readCookie(*this, database(), *m_statements, false);
}

void Connection::dropAllStatements() const
{
    // The cookie's statement goes too: none may outlive the connection.
    m_statements.reset();
}

int Connection::keptStatements() const { return m_statements ? int(m_statements->bySql.size()) : 0; }

quint64 Connection::keptPrepared() const { return m_statements ? m_statements->prepared : 0; }

RowSet Connection::query(const QString& sql, const QVariantList& binds) const
{
    StatementUse use(*this, sql, binds);
    QSqlQuery& q = use.query();
    QStringList columns;
    const QSqlRecord rec = q.record();
    for (int i = 0; i < rec.count(); ++i)
        columns << rec.fieldName(i);
    QVector<QVariantList> rows;
    while (q.next()) {
        QVariantList row;
        row.reserve(columns.size());
        for (int i = 0; i < columns.size(); ++i)
            row << q.value(i);
        rows << row;
    }
    if (q.lastError().isValid()) {
        const DbError e = toDbError(q.lastError(), sql, *this);
        use.fail();
        throw e;
    }
    return RowSet(columns, rows);
}

// A write outside any transaction: it waits for another writer as a guarded one does.
static bool needsOwnGuard(const Connection& c, const QString& sql)
{
    if (c.transactionDepth() != 0 || !isWord(firstWord(sql), {"INSERT", "UPDATE", "DELETE", "REPLACE"}))
        return false;
    sqlite3* h = engineHandle(c.database());
    return h && sqlite3_get_autocommit(h) != 0;  // not inside a transaction begun by hand
}

int Connection::exec(const QString& sql, const QVariantList& binds) const
{
    if (needsOwnGuard(*this, sql)) {
        TxGuard tx(const_cast<Connection&>(*this));
        int changed = 0;
        {
            StatementUse use(*this, sql, binds);
            changed = use.query().numRowsAffected();
        }
        tx.commit();
        return changed;
    }
    StatementUse use(*this, sql, binds);
    return use.query().numRowsAffected();
}

QVariant Connection::scalar(const QString& sql, const QVariantList& binds) const
{
    StatementUse use(*this, sql, binds);
    QSqlQuery& q = use.query();
    QVariant v;
    if (q.next())
        v = q.value(0);
    return v;
}

static bool isIdentifier(const QString& s)
{
    static const QRegularExpression re(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
    return re.match(s).hasMatch();
}

// In a replicable database, rows added in different replicas must not get the same key, so keys are
// drawn at random among the unused positive 32-bit values (never one a deleted row had). 0 means: let
// AUTOINCREMENT choose, as in a plain tunnel database.
static qint64 replicableKey(const Connection& c, const QString& table)
{
    if (!c.scalar(QStringLiteral("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'repl_info'")).isValid())
        return 0;
    for (;;) {
        const qint64 key = QRandomGenerator::system()->bounded(1, 0x7fffffff);
        if (c.scalar(QStringLiteral("SELECT 1 FROM %1 WHERE rowid = ?").arg(table), {key}).isValid())
            continue;
        if (c.scalar(QStringLiteral("SELECT 1 FROM repl_tombstones WHERE tbl = ? AND rid = ?"), {table, key}).isValid())
            continue;
        return key;
    }
}

qint64 Connection::insertRow(const QString& table, const QVector<QPair<QString, QVariant>>& values) const
{
    if (!isIdentifier(table))
        throw DbError(-1, QStringLiteral("Invalid table name: %1").arg(table));
    QString sql;
    QVariantList binds;
    const qint64 key = replicableKey(*this, table);
    if (values.isEmpty() && key == 0) {
        sql = QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(table);
    } else {
        QStringList cols, marks;
        if (key != 0) {
            cols << QStringLiteral("rowid");
            marks << QStringLiteral("?");
            binds << key;
        }
        for (const auto& [col, val] : values) {
            if (!isIdentifier(col))
                throw DbError(-1, QStringLiteral("Invalid column name: %1").arg(col));
            cols << QStringLiteral("[%1]").arg(col);
            marks << QStringLiteral("?");
            binds << val;
        }
        sql = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)").arg(table, cols.join(", "), marks.join(", "));
    }
    StatementUse use(*this, sql, binds);
    const QVariant id = use.query().lastInsertId();
    if (!id.isValid())
        throw DbError(-1, QStringLiteral("The new key of %1 could not be read.").arg(table));
    return id.toLongLong();
}

qint64 Connection::insertAutoNumber(const QString& table, const QVector<QPair<QString, QVariant>>& values) const
{
    // The key is picked and the row added under one write lock, waited for like any write.
    if (m_depth == 0) {
        TxGuard tx(const_cast<Connection&>(*this));
        const qint64 key = insertRow(table, values);
        tx.commit();
        return key;
    }
    return insertRow(table, values);
}

// ---------------------------------------------------------------- the write wait

namespace {

// Each try waits this long inside the engine, so the service runs between tries often
// enough to keep a window painting.
constexpr int kTryMs = 40;
int gWriteWaitLimitMs = 30000;

// Without a widget layer nobody can cancel: the wait only waits.
class PlainWriteWait final : public WriteWaitService {
public:
    void begin() override {}
    bool keepWaiting(int) override { return true; }
    void end() override {}
};

WriteWaitService* gWaitDefault = nullptr;
WriteWaitService* gWaitService = nullptr;

// The engine's busy code, plain or extended. (6, which SQLite gives only to shared-cache
// connections, is the program's own "Overflow".)
bool isBusy(const DbError& e) { return (e.number() & 0xff) == SQLITE_BUSY; }

}  // namespace

WriteWaitService& WriteWait()
{
    static PlainWriteWait plain;
    if (gWaitService)
        return *gWaitService;
    return gWaitDefault ? *gWaitDefault : plain;
}

void SetWriteWaitService(WriteWaitService* service) { gWaitService = service; }
void SetDefaultWriteWaitService(WriteWaitService* service) { gWaitDefault = service; }
void SetWriteWaitLimit(int ms) { gWriteWaitLimitMs = ms; }
int WriteWaitLimit() { return gWriteWaitLimitMs; }

bool IsDatabaseInUse(const std::exception& error)
{
    const auto* e = dynamic_cast<const DbError*>(&error);
    return e && isBusy(*e);
}

// ---------------------------------------------------------------- TxGuard

// Runs a statement that needs the write lock (BEGIN IMMEDIATE, or COMMIT while readers of
// another program finish). The wait is ours, not the engine's: the engine waits a short step
// at a time and the write wait service runs between steps, so the program keeps painting and
// the user may give up; it ends when the statement goes through, the user gives up or the
// time runs out.
void TxGuard::runWaiting(Connection& conn, const QString& sql)
{
    conn.setEngineBusyTimeout(kTryMs);
    struct RestoreTimeout {
        Connection& c;
        ~RestoreTimeout()
        {
            try {
                c.setEngineBusyTimeout(c.busyTimeoutMs());
            } catch (...) {
            }
        }
    } restore{conn};
    QDeadlineTimer limit(gWriteWaitLimitMs);
    QElapsedTimer waited;
    bool waiting = false;
    struct EndWait {
        bool& on;
        ~EndWait()
        {
            if (on)
                WriteWait().end();
        }
    } endWait{waiting};
    for (;;) {
        try {
            conn.exec(sql);
            return;
        } catch (const DbError& e) {
            if (!isBusy(e))
                throw;
        }
        if (!waiting) {
            waiting = true;
            waited.start();
            WriteWait().begin();
        }
        if (limit.hasExpired() || !WriteWait().keepWaiting(int(waited.elapsed())))
            throw DbError(SQLITE_BUSY, kDatabaseInUseText);
    }
}

// The outermost level begins IMMEDIATE: it takes the write lock at once, or waits for
// another writer. A deferred one would read first and then, wanting to write while another
// writer waits for its read to end, be refused at once ("database is locked"). Nested levels
// are savepoints.
TxGuard::TxGuard(Connection& conn) : m_conn(conn)
{
    if (m_conn.m_depth == 0) {
        runWaiting(m_conn, QStringLiteral("BEGIN IMMEDIATE"));
        m_outer = true;
        ++m_conn.m_depth;
        try {
            // Another connection may have changed the schema since the kept statements
            // were made; none can while this transaction holds the write lock.
            m_conn.checkSchema();
        } catch (...) {
            --m_conn.m_depth;
            try {
                m_conn.exec(QStringLiteral("ROLLBACK"));
            } catch (...) {
            }
            throw;
        }
    } else {
        m_name = QStringLiteral("krv_sp%1").arg(m_conn.m_depth + 1);
        m_conn.exec(QStringLiteral("SAVEPOINT ") + m_name);
        ++m_conn.m_depth;
    }
}

TxGuard::~TxGuard()
{
    if (m_done)
        return;
    --m_conn.m_depth;
    try {
        if (m_outer) {
            m_conn.exec(QStringLiteral("ROLLBACK"));
        } else {
            m_conn.exec(QStringLiteral("ROLLBACK TO ") + m_name);
            m_conn.exec(QStringLiteral("RELEASE ") + m_name);
        }
    } catch (...) {
        // The error that brought us here is the one that matters.
    }
}

void TxGuard::commit()
{
    if (m_done)
        return;
    // A commit waits for readers of another program to finish; given up, the transaction
    // is rolled back when the guard goes.
    if (m_outer)
        runWaiting(m_conn, QStringLiteral("COMMIT"));
    else
        m_conn.exec(QStringLiteral("RELEASE ") + m_name);
    m_done = true;
    --m_conn.m_depth;
}

// ---------------------------------------------------------------- utilities

int UpdateChanged(const QString& table, const QVector<QPair<QString, QVariant>>& values, const QString& where,
                  const QVariantList& whereBinds, const Connection& conn)
{
    if (!isIdentifier(table) || values.isEmpty())
        throw DbError(-1, QStringLiteral("Invalid update of %1").arg(table));
    QStringList sets, differs;
    QVariantList binds;
    for (const auto& [column, value] : values) {
        if (!isIdentifier(column))
            throw DbError(-1, QStringLiteral("Invalid column name: %1").arg(column));
        sets << QStringLiteral("[%1] = ?").arg(column);
        differs << QStringLiteral("[%1] IS NOT ? COLLATE BINARY").arg(column);
        binds << value;
    }
    binds += whereBinds;
    for (const auto& pair : values)
        binds << pair.second;
    return conn.exec(QStringLiteral("UPDATE %1 SET %2 WHERE (%3) AND (%4)")
                         .arg(table, sets.join(QStringLiteral(", ")), where, differs.join(QStringLiteral(" OR "))),
                     binds);
}

quint8 BoolToBit(bool value) { return value ? 1 : 0; }

QString SqlQuote(const QString& text)
{
    QString out;
    out.reserve(text.size() + 8);
    for (QChar c : text) {
        out += c;
        if (c == QLatin1Char('\''))
            out += c;
    }
    return out;
}

namespace {

// A write cut short (a kill, a flat battery, a stick pulled out) leaves a hot journal beside the
// file, and only a connection that may write can roll it back; a read-only look is refused. So a
// file with a journal or log beside it is first opened as the program opens it (read-write, never
// created) and read once, which puts it back as it was before the interrupted write.
void recoverInterruptedWrite(const QString& path, int busyTimeoutMs)
{
    if (!QFileInfo::exists(path + QStringLiteral("-journal")) && !QFileInfo::exists(path + QStringLiteral("-wal")))
        return;
    static int serial = 0;
    const QString name = QStringLiteral("krv-recover-%1").arg(++serial);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        QUrl uri = QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath());
        uri.setQuery(QStringLiteral("mode=rw"));
        db.setDatabaseName(uri.toString(QUrl::FullyEncoded));
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=%1").arg(busyTimeoutMs));
        if (db.open()) {
            QSqlQuery q(db);
            q.exec(QStringLiteral("SELECT count(*) FROM sqlite_master"));
            q.finish();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
}

}  // namespace

DbFileState TunnelDatabaseState(const QString& path, QString* detail)
{
    if (path.isEmpty() || !QFileInfo(path).isFile())
        return DbFileState::Missing;
    // A lock held longer than a moment is another program's, not a commit ending.
    constexpr int kBusyMs = 1000;
    recoverInterruptedWrite(path, kBusyMs);
    static int serial = 0;
    Connection probe(QStringLiteral("krv-tunneldb-probe-%1").arg(++serial));
    DbFileState state = DbFileState::NotTunnelDatabase;
    try {
        probe.open(path, true, kBusyMs);
        const QStringList needed{QStringLiteral("System"), QStringLiteral("Tunnels"), QStringLiteral("Panels"),
                                 QStringLiteral("login"), QStringLiteral("InspectionPeriod"),
                                 QStringLiteral("AvailableElements"), QStringLiteral("ElementCategory")};
        const RowSet rs = probe.query(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table'"));
        int found = 0;
        for (const QString& table : needed)
            if (!rs.filtered(QStringLiteral("name"), table).isEmpty())
                ++found;
        if (found == needed.size())
            state = DbFileState::TunnelDatabase;
    } catch (const DbError& e) {
        // Busy or locked: another program holds the file; it is there all the same.
        const long code = e.number() & 0xff;
        if (code == 5 || code == 6)
            state = DbFileState::InUse;
        // Read-only: the interrupted write could not be rolled back where the file is.
        if (code == 8 && detail)
            *detail = QStringLiteral("A write to it was interrupted, and it cannot be put back as it was because "
                                     "the file or its folder is read-only.");
    } catch (...) {
        state = DbFileState::NotTunnelDatabase;
    }
    probe.close();
    return state;
}

bool IsDamagedDatabase(const QString& path)
{
    if (!IsRegularFile(path))
        return false;
    // A write cut short by a crash is put back first: until then the file may look shorter than it is.
    recoverInterruptedWrite(path, 1000);
    // Read through SQLite only: a descriptor of the file's own, once closed, would drop every lock this
    // process's connections hold on it. SQLite itself refuses a file shorter than its header says.
    if (QFileInfo(path).size() < 100)
        return true;
    static int serial = 0;
    Connection probe(QStringLiteral("krv-damage-probe-%1").arg(++serial));
    bool damaged = false;
    try {
        probe.open(path, true, 1000);
        damaged = probe.scalar(QStringLiteral("PRAGMA quick_check(1)")).toString() != QLatin1String("ok");
    } catch (const DbError& e) {
        const long code = e.number() & 0xff;
        damaged = code == SQLITE_CORRUPT || code == SQLITE_NOTADB;
    }
    probe.close();
    return damaged;
}

QString GetReplicaId(const QString& path)
{
    // A read-only look, once an interrupted write is rolled back: a file that cannot be read, or a plain
    // tunnel database, has no identifier. Looking never makes a file replicable.
    if (!QFileInfo(path).isFile())
        return QString();
    recoverInterruptedWrite(path, 5000);
    static int serial = 0;
    Connection probe(QStringLiteral("krv-replica-probe-%1").arg(++serial));
    QString id;
    try {
        probe.open(path, true);
        if (probe.scalar(QStringLiteral("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'repl_info'")).isValid())
            id = probe.scalar(QStringLiteral("SELECT replica_guid FROM repl_info")).toString();
    } catch (const DbError&) {
        id.clear();
    }
    probe.close();
    return id;
}

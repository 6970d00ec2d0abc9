#pragma once
#include "krverror.h"

#include <QPair>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>
#include <initializer_list>
#include <memory>

// A materialised result: every row read, the statement finished. Column names are found
// without regard to case, as the statements spell them in either case.
class RowSet {
public:
    RowSet() = default;
    RowSet(QStringList columns, QVector<QVariantList> rows);

    int count() const { return int(m_rows.size()); }
    bool isEmpty() const { return m_rows.isEmpty(); }
    const QStringList& columns() const { return m_columns; }
    const QVector<QVariantList>& rows() const { return m_rows; }

    // -1 when the row set has no such column.
    int columnIndex(const QString& name) const;

    // The raw value; raises NoCurrentRecord for a row out of range and ItemNotFound for
    // an unknown column. A Null value comes back as a null QVariant.
    QVariant value(int row, const QString& column) const;
    QVariant value(int row, int column) const;
    bool isNull(int row, const QString& column) const { return value(row, column).isNull(); }

    // Checked reads: a Null raises InvalidUseOfNull, as a Null read into a number or text does.
    qint32 toInt(int row, const QString& column) const;
    qint64 toInt64(int row, const QString& column) const;
    double toDouble(int row, const QString& column) const;
    QString toText(int row, const QString& column) const;
    bool toBool(int row, const QString& column) const;

    // Rows whose column equals value (text compared as names: SameName).
    RowSet filtered(const QString& column, const QVariant& value) const;
    // The rows in the user's order of the names in column (as SortNames); Nulls first,
    // ties keep their order.
    RowSet sortedByName(const QString& column) const;

private:
    QStringList m_columns;
    QVector<QVariantList> m_rows;
};

// One named SQLite connection. Every statement takes bound values; identifiers come only
// from the program's own fixed lists. Failures raise DbError.
class Connection {
public:
    explicit Connection(QString name);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Opens an existing database file. Refuses a missing file (SQLite would make a new,
    // empty one) and a file that is not a SQLite database.
    // Another writer is waited for up to busyTimeoutMs.
    void open(const QString& path, bool readOnly = false, int busyTimeoutMs = 5000);
    void close();
    bool isOpen() const;
    QString path() const { return m_path; }
    QString name() const { return m_name; }
    QSqlDatabase database() const;

    RowSet query(const QString& sql, const QVariantList& binds = {}) const;
    // Runs a statement that returns no rows; the count of rows it changed.
    int exec(const QString& sql, const QVariantList& binds = {}) const;
    // The first column of the first row, a null QVariant when there is no row.
    QVariant scalar(const QString& sql, const QVariantList& binds = {}) const;

    // Adds one row and returns the key the database gave it. The one place that picks
    // AutoNumber keys. Table and column names must be plain identifiers.
    qint64 insertAutoNumber(const QString& table, const QVector<QPair<QString, QVariant>>& values) const;

    int transactionDepth() const { return m_depth; }
    int busyTimeoutMs() const { return m_busyTimeoutMs; }

    // Statements kept prepared for texts run again and again (the data layer's own
    // procedures); 0 after close() and after a statement that may change the schema.
    // A schema change by another connection drops them before their next use.
    int keptStatements() const;
    // How many times a statement to keep was prepared since the connection was opened.
    quint64 keptPrepared() const;

private:
    friend class TxGuard;
    struct Statements;
    friend struct StatementUse;
    void forgetStatements() const;
    void dropAllStatements() const;
    void checkSchema() const;
    qint64 insertRow(const QString& table, const QVector<QPair<QString, QVariant>>& values) const;

    // The engine's own wait for a lock, in ms (the write wait sets a short one while it tries).
    void setEngineBusyTimeout(int ms) const;

    QString m_name;
    QString m_path;
    int m_busyTimeoutMs = 5000;
    mutable int m_depth = 0;
    mutable std::unique_ptr<Statements> m_statements;
};

// The connection to the tunnel database, open from start-up to the end of the program,
// and the one to the report working database, opened by the reports.
extern Connection gConn;
extern Connection gReportConn;

// The text of the wait for another program's write lock, and of its end without the lock.
inline const QString kDatabaseWaitText =
    QStringLiteral("The tunnel database is in use by another program. Waiting...");
inline const QString kDatabaseInUseText = QStringLiteral("The tunnel database is in use by another program.");

// What a write does while it waits for another writer's lock. The core has no widgets: it
// tries for the lock in short steps and calls this service between them; the widget layer
// installs one that keeps the program alive and, after about a second, shows a modal wait
// with Cancel. Tests install their own to script or observe the wait.
class WriteWaitService {
public:
    virtual ~WriteWaitService() = default;
    // A write found the database locked and begins to wait.
    virtual void begin() = 0;
    // Between two tries, waitedMs after begin(). False gives the wait up (the user cancelled).
    virtual bool keepWaiting(int waitedMs) = 0;
    // The wait is over: the lock was taken, the time ran out or the user cancelled.
    virtual void end() = 0;
};

// The service in use: the installed one, else the default, else one that only waits.
WriteWaitService& WriteWait();
// Installs another service (not owned); nullptr puts the default one back.
void SetWriteWaitService(WriteWaitService* service);
// The service in use when none is installed (not owned); the widget layer sets it.
void SetDefaultWriteWaitService(WriteWaitService* service);
// How long a write waits for the lock before it gives up, in ms (30 s unless set; tests).
void SetWriteWaitLimit(int ms);
int WriteWaitLimit();

// True for an error that says another program holds the database (busy or locked).
bool IsDatabaseInUse(const std::exception& error);

// Writes that belong together. The outermost guard begins IMMEDIATE (another writer means
// the write wait above, not a refusal); nested ones are savepoints, so a procedure with its
// own guard can run inside a caller's. Rolled back unless commit() is reached. Never hold one
// open across a question to the user. A wait that ends without the lock raises a DbError
// (SQLITE_BUSY) whose text is kDatabaseInUseText.
//
// A single write statement run outside any guard (Connection::exec, insertAutoNumber) takes
// a guard of its own, so it waits in the same way.
class TxGuard {
public:
    explicit TxGuard(Connection& conn = gConn);
    ~TxGuard();
    TxGuard(const TxGuard&) = delete;
    TxGuard& operator=(const TxGuard&) = delete;
    void commit();

private:
    static void runWaiting(Connection& conn, const QString& sql);

    Connection& m_conn;
    QString m_name;  // the savepoint of a nested level
    bool m_outer = false;
    bool m_done = false;
};

// Sets columns of the rows the condition selects, leaving alone every row that holds those
// values already (compared exactly: a change of case is a change), so a save that changes
// nothing writes nothing: no row, no trigger, nothing for an exchange to send. Table and
// column names are the program's own plain identifiers. Returns the count of rows changed.
int UpdateChanged(const QString& table, const QVector<QPair<QString, QVariant>>& values, const QString& where,
                  const QVariantList& whereBinds = {}, const Connection& conn = gConn);

// 1 for true, 0 for false.
quint8 BoolToBit(bool value);

// The text with every single quote doubled, for text placed between single quotes.
// Statements here bind their values; this stays for callers that show SQL text.
QString SqlQuote(const QString& text);

// What a database file is, as far as reading it tells. Changes nothing, except that a write left
// unfinished by a crash is rolled back first, as opening the file for use would do.
enum class DbFileState {
    Missing,            // no file of that path
    InUse,              // another program holds it locked: it exists, but cannot be read now
    NotTunnelDatabase,  // no SQLite file, or one without the program's tables
    TunnelDatabase,
};
// detail, when given, gets the reason a user can act on, when there is one.
DbFileState TunnelDatabaseState(const QString& path, QString* detail = nullptr);


// True when the file is there but is no whole SQLite database: not one at all, cut short (shorter
// than its header says, or empty), or failing SQLite's quick check. A file another program holds is
// not judged (false). Changes nothing, except that a write left unfinished by a crash is rolled back.
bool IsDamagedDatabase(const QString& path);

// The replica identifier of a database file, "" when it has none or cannot be read.
// Changes nothing, except that a write left unfinished by a crash is rolled back first.
QString GetReplicaId(const QString& path);

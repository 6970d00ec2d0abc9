#pragma once
// A thin layer over the SQLite C API for the replication store: one connection, prepared statements,
// and failures as one exception type that the store turns into its negative results at its edge.
#include <QByteArray>
#include <QString>
#include <sqlite3.h>

namespace Varnock::Store::Sql {

struct Failure {
    int result;      // a Varnock::Store::Result value
    QString text;
    QString file = {};  // the file the failure concerns (for a full disk: the file on the disk that is full)
    int sqliteCode = 0; // the engine's extended result code, where the failure is the engine's
};

// The store's result for a SQLite result code.
int resultOf(int sqliteCode);

// "name" with inner quotes doubled, for identifiers read from the schema.
QString ident(const QString& name);
// 'text' with inner quotes doubled, for names written into trigger bodies.
QString literal(const QString& text);

class Db {
public:
    Db() = default;
    ~Db();
    Db(const Db&) = delete;
    Db& operator=(const Db&) = delete;

    // Opens an existing SQLite file; throws Failure (NotDatabase when missing or not a database).
    void open(const QString& path, bool readOnly = false);
    void close();
    sqlite3* handle() const { return m_db; }
    bool isOpen() const { return m_db != nullptr; }

    void exec(const QString& sql);
    // The first column of the first row as an integer (0 without a row).
    qint64 scalarInt(const QString& sql);
    bool tableExists(const QString& schema, const QString& table);
    [[noreturn]] void fail(int code, const QString& what) const;
    // The file a failure with this code concerns, "" when not known: of the files open here (the main one and
    // any attached), for a full disk the one whose disk has the least room, for a read-only one the one that
    // cannot be written. (It runs a statement: the engine's own last error is read before.)
    QString fileOf(int code) const;

private:
    sqlite3* m_db = nullptr;
    QString m_path;
};

class Stmt {
public:
    Stmt(Db& db, const QString& sql);
    ~Stmt();
    Stmt(const Stmt&) = delete;
    Stmt& operator=(const Stmt&) = delete;

    Stmt& bind(int i, qint64 v);
    Stmt& bind(int i, const QString& v);          // a null QString binds NULL
    Stmt& bindBlob(int i, const QByteArray& v);
    Stmt& bindText(int i, const QByteArray& utf8);
    Stmt& bindValue(int i, const sqlite3_value* v);
    Stmt& bindNull(int i);

    // True while a row is there; throws on failure (after resetting the statement).
    bool step();
    // Runs to the end; the SQLite result code (SQLITE_DONE, or a constraint failure when allowed).
    int run(bool allowConstraint = false);
    void reset();

    qint64 integer(int c) const { return sqlite3_column_int64(m_s, c); }
    QString text(int c) const;
    QByteArray blob(int c) const;
    QByteArray utf8(int c) const;
    bool isNull(int c) const { return sqlite3_column_type(m_s, c) == SQLITE_NULL; }
    sqlite3_value* value(int c) const { return sqlite3_column_value(m_s, c); }
    int columnCount() const { return sqlite3_column_count(m_s); }
    sqlite3_stmt* handle() const { return m_s; }

private:
    Db& m_db;
    sqlite3_stmt* m_s = nullptr;
    QString m_sql;
};

// At the store's edge: a caught failure as the call's result, its text into error when one is asked for, its
// file kept for lastFailureFile().
int fail(const Failure& f, QString* error);

// Puts the file of schema (at path) in rollback-journal mode, which the store's writes over two files need. While
// another program keeps the file open in WAL mode this cannot be done: Locked, saying so and that nothing changed.
void useRollbackJournal(Db& db, const QString& schema, const QString& path);

// Opens a replica; NotReplicable for a database that is not one.
void openReplicable(Db& db, const QString& path, bool readOnly = false);

// A hidden sibling name for a file being written, so the real name appears only once the file is whole.
QString tempNameFor(const QString& target);
// A database file that is given up, with any journal left beside it.
void removeWithJournal(const QString& path);

// BEGIN IMMEDIATE now; rolled back when the block is left (by a Failure above all) before commit().
class Transaction {
public:
    explicit Transaction(Db& db);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    void commit();

private:
    Db& m_db;
    bool m_open = true;
};

}  // namespace Varnock::Store::Sql

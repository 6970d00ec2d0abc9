#include "sqlitedb.h"
#include "replstore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QPair>
#include <QStorageInfo>

namespace Varnock::Store::Sql {

int resultOf(int code)
{
    switch (code & 0xff) {
    case SQLITE_OK:
    case SQLITE_DONE:
    case SQLITE_ROW:
        return Result::Ok;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return Result::Locked;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return Result::AccessDenied;
    case SQLITE_NOTADB:
    case SQLITE_CANTOPEN:
        return Result::NotDatabase;
    default:
        return Result::Failed;
    }
}

QString ident(const QString& name)
{
    QString s = name;
    s.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + s + QLatin1Char('"');
}

QString literal(const QString& text)
{
    QString s = text;
    s.replace(QLatin1Char('\''), QStringLiteral("''"));
    return QLatin1Char('\'') + s + QLatin1Char('\'');
}

Db::~Db() { close(); }

namespace {

// Whether path may be written here: the system's answer, and the file's mode, which an administrator's account
// would write through.
bool writable(const QFileInfo& fi)
{
    constexpr auto anyWrite = QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;
    return fi.isWritable() && (fi.permissions() & anyWrite);
}

// A writer killed inside its transaction leaves a hot journal beside the file, and only a connection that may
// write rolls it back; a read-only look is refused. So the file is first opened as a writer would open it and
// read once, which puts it back as it was before the torn write. A file or folder that may not be written is
// left as it is (the read-only open then tells so).
void recoverInterruptedWrite(const QString& path)
{
    if (!QFileInfo::exists(path + QStringLiteral("-journal")) && !QFileInfo::exists(path + QStringLiteral("-wal")))
        return;
    const QFileInfo fi(path);
    if (!writable(fi) || !writable(QFileInfo(fi.absolutePath())))
        return;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX,
                        nullptr) == SQLITE_OK) {
        sqlite3_busy_timeout(db, 5000);
        // What goes wrong here is met again, and told, by the open that follows.
        sqlite3_exec(db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
    }
    sqlite3_close_v2(db);
}

}  // namespace

void Db::open(const QString& path, bool readOnly)
{
    close();
    const QFileInfo fi(path);
    if (!fi.isFile())
        throw Failure{Result::NotDatabase, QStringLiteral("The database file %1 does not exist.").arg(path), path};
    if (readOnly)
        recoverInterruptedWrite(path);
    const int flags = (readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE) | SQLITE_OPEN_NOMUTEX;
    const int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &m_db, flags, nullptr);
    if (rc != SQLITE_OK) {
        const QString text = m_db ? QString::fromUtf8(sqlite3_errmsg(m_db)) : QStringLiteral("out of memory");
        close();
        throw Failure{resultOf(rc), QStringLiteral("%1 cannot be opened: %2").arg(path, text), path};
    }
    m_path = path;
    sqlite3_extended_result_codes(m_db, 0);
    sqlite3_busy_timeout(m_db, 5000);
    try {
        // Reading the schema is what tells a SQLite file from any other file.
        scalarInt(QStringLiteral("SELECT count(*) FROM sqlite_master"));
    } catch (const Failure& f) {
        const int code = f.sqliteCode ? f.sqliteCode : sqlite3_extended_errcode(m_db);
        close();
        if (code == SQLITE_READONLY_ROLLBACK || code == SQLITE_READONLY_RECOVERY)
            throw Failure{Result::AccessDenied,
                          QStringLiteral("A write to %1 was interrupted, and it cannot be put back as it was because "
                                         "the file or its folder is read-only.")
                              .arg(QDir::toNativeSeparators(path)),
                          path};
        throw Failure{f.result == Result::Failed ? Result::NotDatabase : f.result,
                      QStringLiteral("%1 is not a database that can be used: %2").arg(path, f.text), path};
    }
}

void Db::close()
{
    if (m_db)
        sqlite3_close_v2(m_db);
    m_db = nullptr;
    m_path.clear();
}

QString Db::fileOf(int code) const
{
    const int primary = code & 0xff;
    if (!m_db || (primary != SQLITE_FULL && primary != SQLITE_READONLY))
        return QString();
    // The files open here: the main one and any attached (schema name, file).
    QList<QPair<QString, QString>> files;
    sqlite3_stmt* list = nullptr;
    if (sqlite3_prepare_v2(m_db, "PRAGMA database_list", -1, &list, nullptr) == SQLITE_OK) {
        while (sqlite3_step(list) == SQLITE_ROW) {
            const auto* schema = reinterpret_cast<const char*>(sqlite3_column_text(list, 1));
            const auto* name = reinterpret_cast<const char*>(sqlite3_column_text(list, 2));
            if (schema && name && *name)  // temp and in-memory schemas have no file
                files.append({QString::fromUtf8(schema), QString::fromUtf8(name)});
        }
    }
    sqlite3_finalize(list);
    if (files.size() < 2)
        return m_path;
    // Of two files the engine does not say which one failed: a full disk is the one with no room left, a
    // read-only file the one that cannot be written.
    switch (primary) {
    case SQLITE_FULL: {
        QString fullest;
        qint64 least = -1;
        for (const auto& [schema, file] : files) {
            const QStorageInfo disk(QFileInfo(file).absolutePath());
            const qint64 room = disk.isValid() ? disk.bytesAvailable() : -1;
            if (room >= 0 && (least < 0 || room < least)) {
                least = room;
                fullest = file;
            }
        }
        return fullest;
    }
    case SQLITE_READONLY:
        for (const auto& [schema, file] : files)
            if (sqlite3_db_readonly(m_db, schema.toUtf8().constData()) == 1 || !QFileInfo(file).isWritable() ||
                !QFileInfo(QFileInfo(file).absolutePath()).isWritable())
                return file;
        return QString();
    default:
        return QString();
    }
}

void Db::fail(int code, const QString& what) const
{
    const QString msg = m_db ? QString::fromUtf8(sqlite3_errmsg(m_db)) : QString();
    const int extended = m_db ? sqlite3_extended_errcode(m_db) : code;
    throw Failure{resultOf(code), msg.isEmpty() ? what : QStringLiteral("%1 (%2)").arg(msg, what), fileOf(code),
                  extended};
}

void Db::exec(const QString& sql)
{
    char* err = nullptr;
    const int rc = sqlite3_exec(m_db, sql.toUtf8().constData(), nullptr, nullptr, &err);
    if (rc != SQLITE_OK) {
        const QString text = err ? QString::fromUtf8(err) : QString();
        sqlite3_free(err);
        const int extended = sqlite3_extended_errcode(m_db);
        throw Failure{resultOf(rc), QStringLiteral("%1 [%2]").arg(text, sql.left(200)), fileOf(rc), extended};
    }
}

qint64 Db::scalarInt(const QString& sql)
{
    Stmt s(*this, sql);
    return s.step() ? s.integer(0) : 0;
}

bool Db::tableExists(const QString& schema, const QString& table)
{
    Stmt s(*this, QStringLiteral("SELECT 1 FROM %1.sqlite_master WHERE type = 'table' AND name = ?").arg(ident(schema)));
    s.bind(1, table);
    return s.step();
}

Stmt::Stmt(Db& db, const QString& sql) : m_db(db), m_sql(sql)
{
    const QByteArray u = sql.toUtf8();
    const int rc = sqlite3_prepare_v2(db.handle(), u.constData(), int(u.size()), &m_s, nullptr);
    if (rc != SQLITE_OK)
        db.fail(rc, sql.left(200));
}

Stmt::~Stmt() { sqlite3_finalize(m_s); }

Stmt& Stmt::bind(int i, qint64 v)
{
    sqlite3_bind_int64(m_s, i, v);
    return *this;
}

Stmt& Stmt::bind(int i, const QString& v)
{
    if (v.isNull())
        return bindNull(i);
    const QByteArray u = v.toUtf8();
    sqlite3_bind_text(m_s, i, u.constData(), int(u.size()), SQLITE_TRANSIENT);
    return *this;
}

Stmt& Stmt::bindBlob(int i, const QByteArray& v)
{
    if (v.isNull())
        return bindNull(i);
    sqlite3_bind_blob(m_s, i, v.constData(), int(v.size()), SQLITE_TRANSIENT);
    return *this;
}

Stmt& Stmt::bindText(int i, const QByteArray& utf8)
{
    sqlite3_bind_text(m_s, i, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
    return *this;
}

Stmt& Stmt::bindValue(int i, const sqlite3_value* v)
{
    sqlite3_bind_value(m_s, i, v);
    return *this;
}

Stmt& Stmt::bindNull(int i)
{
    sqlite3_bind_null(m_s, i);
    return *this;
}

bool Stmt::step()
{
    const int rc = sqlite3_step(m_s);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    sqlite3_reset(m_s);
    m_db.fail(rc, m_sql.left(200));
}

int Stmt::run(bool allowConstraint)
{
    int rc = sqlite3_step(m_s);
    while (rc == SQLITE_ROW)
        rc = sqlite3_step(m_s);
    if (rc == SQLITE_DONE) {
        sqlite3_reset(m_s);
        return rc;
    }
    sqlite3_reset(m_s);
    if (allowConstraint && rc == SQLITE_CONSTRAINT)
        return rc;
    m_db.fail(rc, m_sql.left(200));
}

void Stmt::reset()
{
    sqlite3_reset(m_s);
    sqlite3_clear_bindings(m_s);
}

QString Stmt::text(int c) const
{
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(m_s, c));
    if (!p)
        return QString();
    return QString::fromUtf8(p, sqlite3_column_bytes(m_s, c));
}

QByteArray Stmt::blob(int c) const
{
    const void* p = sqlite3_column_blob(m_s, c);
    if (!p)
        return QByteArray();
    return QByteArray(static_cast<const char*>(p), sqlite3_column_bytes(m_s, c));
}

QByteArray Stmt::utf8(int c) const
{
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(m_s, c));
    if (!p)
        return QByteArray();
    return QByteArray(p, sqlite3_column_bytes(m_s, c));
}

namespace {
thread_local QString t_failureFile;
}

int fail(const Failure& f, QString* error)
{
    if (error)
        *error = f.text;
    t_failureFile = f.file;
    return f.result;
}

void openReplicable(Db& db, const QString& path, bool readOnly)
{
    db.open(path, readOnly);
    if (!db.tableExists(QStringLiteral("main"), QStringLiteral("repl_info")))
        throw Failure{Result::NotReplicable, QStringLiteral("%1 is not a replica.").arg(path)};
}

void useRollbackJournal(Db& db, const QString& schema, const QString& path)
{
    try {
        db.exec(QStringLiteral("PRAGMA %1.journal_mode = DELETE").arg(ident(schema)));
    } catch (const Failure& f) {
        if (f.result != Result::Locked)
            throw;
        QString mode;
        try {
            Stmt s(db, QStringLiteral("PRAGMA %1.journal_mode").arg(ident(schema)));
            if (s.step())
                mode = s.text(0);
        } catch (const Failure&) {
        }
        if (mode.compare(QLatin1String("wal"), Qt::CaseInsensitive) != 0)
            throw;
        throw Failure{Result::Locked,
                      QStringLiteral("%1 is open in another program that uses it in WAL mode, and it can be written "
                                     "here only when no other program has it open; nothing was changed. Close the "
                                     "other program and try again.")
                          .arg(QDir::toNativeSeparators(path)),
                      path};
    }
}

QString tempNameFor(const QString& target)
{
    const QFileInfo fi(target);
    return fi.dir().filePath(QStringLiteral(".%1.part").arg(fi.fileName()));
}

void removeWithJournal(const QString& path)
{
    QFile::remove(path);
    QFile::remove(path + QStringLiteral("-journal"));
}

Transaction::Transaction(Db& db) : m_db(db)
{
    m_db.exec(QStringLiteral("BEGIN IMMEDIATE"));
}

Transaction::~Transaction()
{
    if (m_open)
        sqlite3_exec(m_db.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
}

void Transaction::commit()
{
    m_db.exec(QStringLiteral("COMMIT"));
    m_open = false;
}

}  // namespace Varnock::Store::Sql

namespace Varnock::Store {

QString lastFailureFile()
{
    return Sql::t_failureFile;
}

}  // namespace Varnock::Store

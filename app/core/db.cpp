#include "db.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

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
        const bool same = text ? (!v.isNull() && v.toString().compare(value.toString(), Qt::CaseInsensitive) == 0)
                               : (!v.isNull() && v == value) || (!v.isNull() && v.toString() == value.toString());
        if (same)
            rows << r;
    }
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

Connection::~Connection()
{
    // The two global connections die at exit, maybe after Qt's own registry of connections;
    // the process ending closes their files. A local one is closed here.
    if (this != &gConn && this != &gReportConn && QCoreApplication::instance())
        close();
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

void Connection::open(const QString& path, bool readOnly)
{
    close();
    const QFileInfo fi(path);
    if (!fi.exists())
        throw DbError(ErrNo::FileNotFound, QStringLiteral("The database file %1 does not exist.").arg(path));
    if (!fi.isFile())
        throw DbError(ErrNo::FileNotFound, QStringLiteral("%1 is not a database file.").arg(path));
    if (!fi.isReadable())
        throw DbError(ErrNo::PermissionDenied, QStringLiteral("The database file %1 cannot be read.").arg(path));

    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        db.setDatabaseName(path);
        QString options = QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000");
        if (readOnly)
            options += QStringLiteral(";QSQLITE_OPEN_READONLY");
        db.setConnectOptions(options);
        if (!db.open()) {
            const DbError err = toDbError(db.lastError());
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(m_name);
            throw err;
        }
    }
    m_path = path;
    m_depth = 0;
    try {
        // Reading the schema is what tells a SQLite file from any other file.
        query(QStringLiteral("SELECT count(*) FROM sqlite_master"));
        if (!readOnly)
            query(QStringLiteral("PRAGMA journal_mode=DELETE"));
    } catch (const DbError& e) {
        close();
        throw DbError(e.number(), QStringLiteral("%1 is not a database file that can be used (%2).")
                                      .arg(path, e.description()));
    }
}

void Connection::close()
{
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

static QSqlQuery run(const Connection& c, const QString& sql, const QVariantList& binds)
{
    QSqlDatabase db = c.database();
    if (!db.isOpen())
        throw DbError(-1, QStringLiteral("The database is not open."));
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!q.prepare(sql))
        throw toDbError(q.lastError(), sql);
    for (const QVariant& v : binds)
        q.addBindValue(v);
    if (!q.exec()) {
        const DbError e = toDbError(q.lastError(), sql);
        q.finish();
        throw e;
    }
    return q;
}

RowSet Connection::query(const QString& sql, const QVariantList& binds) const
{
    QSqlQuery q = run(*this, sql, binds);
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
    if (q.lastError().isValid())
        throw toDbError(q.lastError(), sql);
    q.finish();
    return RowSet(columns, rows);
}

int Connection::exec(const QString& sql, const QVariantList& binds) const
{
    QSqlQuery q = run(*this, sql, binds);
    const int n = q.numRowsAffected();
    q.finish();
    return n;
}

QVariant Connection::scalar(const QString& sql, const QVariantList& binds) const
{
    QSqlQuery q = run(*this, sql, binds);
    QVariant v;
    if (q.next())
        v = q.value(0);
    q.finish();
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

qint64 Connection::insertAutoNumber(const QString& table, const QVector<QPair<QString, QVariant>>& values) const
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
    QSqlQuery q = run(*this, sql, binds);
    const QVariant id = q.lastInsertId();
    q.finish();
    if (!id.isValid())
        throw DbError(-1, QStringLiteral("The new key of %1 could not be read.").arg(table));
    return id.toLongLong();
}

// ---------------------------------------------------------------- TxGuard

TxGuard::TxGuard(Connection& conn) : m_conn(conn)
{
    m_name = QStringLiteral("krv_sp%1").arg(m_conn.m_depth + 1);
    m_conn.exec(QStringLiteral("SAVEPOINT ") + m_name);
    ++m_conn.m_depth;
}

TxGuard::~TxGuard()
{
    if (m_done)
        return;
    --m_conn.m_depth;
    try {
        m_conn.exec(QStringLiteral("ROLLBACK TO ") + m_name);
        m_conn.exec(QStringLiteral("RELEASE ") + m_name);
    } catch (...) {
        // The error that brought us here is the one that matters.
    }
}

void TxGuard::commit()
{
    if (m_done)
        return;
    m_conn.exec(QStringLiteral("RELEASE ") + m_name);
    m_done = true;
    --m_conn.m_depth;
}

// ---------------------------------------------------------------- utilities

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

QString GetReplicaId(const QString& path)
{
    // A read-only look: a file that cannot be read, or a plain tunnel database, has no identifier.
    // Looking never makes a file replicable.
    if (!QFileInfo(path).isFile())
        return QString();
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

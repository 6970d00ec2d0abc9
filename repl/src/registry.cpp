#include "registry.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QStandardPaths>
#include <QStringList>
#include <algorithm>
#include <sqlite3.h>

namespace Varnock {

namespace {

QMutex& storeMutex()
{
    static QMutex mutex;
    return mutex;
}

QString& storePathOverride()
{
    static QString path;
    return path;
}

struct OpenKeyEntry {
    std::int32_t root;
    QString path;   // below the root, parts joined by "\", no leading or trailing "\"
};

QHash<std::int32_t, OpenKeyEntry>& openKeys()
{
    static QHash<std::int32_t, OpenKeyEntry> keys;
    return keys;
}
std::int32_t nextHandle = 1;

bool isRoot(std::int32_t handle)
{
    return !RegConstants::rootName(handle).isEmpty();
}

bool resolve(std::int32_t handle, OpenKeyEntry& out)
{
    if (isRoot(handle)) {
        out = {handle, QString()};
        return true;
    }
    auto it = openKeys().constFind(handle);
    if (it == openKeys().constEnd())
        return false;
    out = *it;
    return true;
}

QString joinPath(const QString& base, const QString& sub)
{
    QStringList parts = base.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    parts += sub.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    return parts.join(QLatin1Char('\\'));
}

// One connection per call: the store is tiny and other processes use it too.
class Store {
public:
    explicit Store(bool write)
    {
        const QString path = registryStorePath();
        if (!write && !QFileInfo::exists(path))
            return;
        if (write)
            QDir().mkpath(QFileInfo(path).absolutePath());
        const int flags = write ? (SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE) : SQLITE_OPEN_READONLY;
        if (sqlite3_open_v2(QFile::encodeName(path).constData(), &m_db, flags, nullptr) != SQLITE_OK) {
            sqlite3_close(m_db);
            m_db = nullptr;
            return;
        }
        sqlite3_busy_timeout(m_db, 2000);
        if (write &&
            sqlite3_exec(m_db,
                         "CREATE TABLE IF NOT EXISTS keys(root INTEGER NOT NULL, path TEXT NOT NULL COLLATE NOCASE,"
                         " PRIMARY KEY(root, path));"
                         "CREATE TABLE IF NOT EXISTS vals(root INTEGER NOT NULL, path TEXT NOT NULL COLLATE NOCASE,"
                         " name TEXT NOT NULL COLLATE NOCASE, type INTEGER NOT NULL, data BLOB,"
                         " PRIMARY KEY(root, path, name));",
                         nullptr, nullptr, nullptr) != SQLITE_OK) {
            sqlite3_close(m_db);
            m_db = nullptr;
        }
    }
    ~Store() { sqlite3_close(m_db); }
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;
    bool ok() const { return m_db != nullptr; }
    sqlite3* db() const { return m_db; }

    // Runs one statement with the bound values; rows go to onRow. False on any failure.
    template <typename RowFn>
    bool run(const char* sql, const QVariantList& binds, RowFn onRow)
    {
        if (!m_db)
            return false;
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(m_db, sql, -1, &st, nullptr) != SQLITE_OK)
            return false;
        for (int i = 0; i < binds.size(); ++i) {
            const QVariant& v = binds.at(i);
            if (v.typeId() == QMetaType::QByteArray) {
                const QByteArray b = v.toByteArray();
                sqlite3_bind_blob(st, i + 1, b.constData(), int(b.size()), SQLITE_TRANSIENT);
            } else if (v.typeId() == QMetaType::QString) {
                const QByteArray u = v.toString().toUtf8();
                sqlite3_bind_text(st, i + 1, u.constData(), int(u.size()), SQLITE_TRANSIENT);
            } else {
                sqlite3_bind_int64(st, i + 1, v.toLongLong());
            }
        }
        int rc;
        while ((rc = sqlite3_step(st)) == SQLITE_ROW)
            onRow(st);
        sqlite3_finalize(st);
        return rc == SQLITE_DONE;
    }
    bool run(const char* sql, const QVariantList& binds)
    {
        return run(sql, binds, [](sqlite3_stmt*) {});
    }

private:
    sqlite3* m_db = nullptr;
};

QString columnText(sqlite3_stmt* st, int col)
{
    return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, col)),
                             sqlite3_column_bytes(st, col));
}

bool keyExists(Store& store, std::int32_t root, const QString& path)
{
    if (path.isEmpty())
        return true;
    bool found = false;
    store.run("SELECT 1 FROM keys WHERE root = ? AND path = ?", {root, path}, [&](sqlite3_stmt*) { found = true; });
    return found;
}

// The direct subkey names of a key, in name order.
QStringList childNames(Store& store, std::int32_t root, const QString& path)
{
    QStringList names;
    store.run("SELECT path FROM keys WHERE root = ? ORDER BY path COLLATE NOCASE", {root}, [&](sqlite3_stmt* st) {
        const QString p = columnText(st, 0);
        QString rest;
        if (path.isEmpty())
            rest = p;
        else if (p.size() > path.size() + 1 && p.startsWith(path + QLatin1Char('\\'), Qt::CaseInsensitive))
            rest = p.mid(path.size() + 1);
        else
            return;
        if (!rest.contains(QLatin1Char('\\')))
            names << rest;
    });
    return names;
}

bool storeWritable()
{
    const QFileInfo info(registryStorePath());
    if (info.exists())
        return info.isWritable();
    return true;
}

std::int32_t newHandle(std::int32_t root, const QString& path)
{
    const std::int32_t h = nextHandle++;
    openKeys().insert(h, {root, path});
    return h;
}

} // namespace

void setRegistryStorePath(const QString& path)
{
    QMutexLocker lock(&storeMutex());
    storePathOverride() = path;
}

QString registryStorePath()
{
    if (!storePathOverride().isEmpty())
        return storePathOverride();
    const QString env = qEnvironmentVariable("VARNOCK_REGISTRY");
    if (!env.isEmpty())
        return env;
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Varnock/registry.db");
}

QString RegConstants::rootName(std::int32_t handle)
{
    switch (handle) {
    case HKEY_CLASSES_ROOT: return QStringLiteral("HKEY_CLASSES_ROOT");
    case HKEY_CURRENT_USER: return QStringLiteral("HKEY_CURRENT_USER");
    case HKEY_LOCAL_MACHINE: return QStringLiteral("HKEY_LOCAL_MACHINE");
    case HKEY_USERS: return QStringLiteral("HKEY_USERS");
    case HKEY_PERFORMANCE_DATA: return QStringLiteral("HKEY_PERFORMANCE_DATA");
    default: return QString();
    }
}

std::int32_t RegConstants::rootHandle(const QString& name)
{
    for (std::int32_t h : {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS,
                           HKEY_PERFORMANCE_DATA})
        if (name.compare(rootName(h), Qt::CaseInsensitive) == 0)
            return h;
    return 0;
}

// ---------------------------------------------------------------- store calls

namespace RegStore {

std::int32_t OpenKey(std::int32_t parent, const QString& subKey, std::int32_t rights, std::int32_t& handle)
{
    QMutexLocker lock(&storeMutex());
    handle = 0;
    OpenKeyEntry base;
    if (!resolve(parent, base))
        return ErrNotFound;
    if ((rights & RegConstants::KEY_WRITE & ~RegConstants::READ_CONTROL) && !storeWritable())
        return ErrAccessDenied;
    const QString path = joinPath(base.path, subKey);
    Store store(false);
    if (!path.isEmpty() && (!store.ok() || !keyExists(store, base.root, path)))
        return ErrNotFound;
    handle = newHandle(base.root, path);
    return 0;
}

std::int32_t CreateKey(std::int32_t parent, const QString& subKey, std::int32_t, std::int32_t, std::int32_t& handle)
{
    QMutexLocker lock(&storeMutex());
    handle = 0;
    OpenKeyEntry base;
    if (!resolve(parent, base))
        return ErrNotFound;
    if (!storeWritable())
        return ErrAccessDenied;
    const QString path = joinPath(base.path, subKey);
    Store store(true);
    if (!store.ok())
        return ErrAccessDenied;
    // The key and every missing key above it, together.
    store.run("BEGIN", {});
    const QStringList parts = path.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    bool ok = true;
    for (int i = 1; i <= parts.size() && ok; ++i)
        ok = store.run("INSERT OR IGNORE INTO keys(root, path) VALUES(?, ?)",
                       {base.root, QStringList(parts.mid(0, i)).join(QLatin1Char('\\'))});
    if (!ok || !store.run("COMMIT", {})) {
        store.run("ROLLBACK", {});
        return ErrAccessDenied;
    }
    handle = newHandle(base.root, path);
    return 0;
}

std::int32_t CloseKey(std::int32_t handle)
{
    QMutexLocker lock(&storeMutex());
    return openKeys().remove(handle) ? 0 : 6;   // 6: invalid handle
}

std::int32_t EnumKey(std::int32_t handle, std::int32_t index, QString& name)
{
    QMutexLocker lock(&storeMutex());
    OpenKeyEntry key;
    if (!resolve(handle, key))
        return 6;
    Store store(false);
    const QStringList names = store.ok() ? childNames(store, key.root, key.path) : QStringList();
    if (index < 0 || index >= names.size())
        return ErrNoMoreItems;
    name = names.at(index);
    return 0;
}

std::int32_t EnumValue(std::int32_t handle, std::int32_t index, QString& name, std::int32_t& type)
{
    QMutexLocker lock(&storeMutex());
    OpenKeyEntry key;
    if (!resolve(handle, key))
        return 6;
    Store store(false);
    QList<std::pair<QString, std::int32_t>> values;
    if (store.ok())
        store.run("SELECT name, type FROM vals WHERE root = ? AND path = ? ORDER BY name COLLATE NOCASE",
                  {key.root, key.path},
                  [&](sqlite3_stmt* st) { values.append({columnText(st, 0), sqlite3_column_int(st, 1)}); });
    if (index < 0 || index >= values.size())
        return ErrNoMoreItems;
    name = values.at(index).first;
    type = values.at(index).second;
    return 0;
}

std::int32_t QueryValue(std::int32_t handle, const QString& name, std::int32_t& type, QByteArray& data)
{
    QMutexLocker lock(&storeMutex());
    OpenKeyEntry key;
    if (!resolve(handle, key))
        return 6;
    Store store(false);
    bool found = false;
    QByteArray stored;
    if (store.ok())
        store.run("SELECT type, data FROM vals WHERE root = ? AND path = ? AND name = ?", {key.root, key.path, name},
                  [&](sqlite3_stmt* st) {
                      found = true;
                      type = sqlite3_column_int(st, 0);
                      stored = QByteArray(static_cast<const char*>(sqlite3_column_blob(st, 1)),
                                          sqlite3_column_bytes(st, 1));
                  });
    if (!found)
        return ErrNotFound;
    if (stored.size() > data.size())
        return ErrMoreData;
    data = stored;
    return 0;
}

std::int32_t SetValue(std::int32_t handle, const QString& name, std::int32_t type, const QByteArray& data)
{
    QMutexLocker lock(&storeMutex());
    OpenKeyEntry key;
    if (!resolve(handle, key))
        return 6;
    if (!storeWritable())
        return ErrAccessDenied;
    Store store(true);
    if (!store.ok())
        return ErrAccessDenied;
    return store.run("INSERT OR REPLACE INTO vals(root, path, name, type, data) VALUES(?, ?, ?, ?, ?)",
                     {key.root, key.path, name, type, data})
               ? 0
               : ErrAccessDenied;
}

std::int32_t DeleteKey(std::int32_t handle, const QString& subKey)
{
    QMutexLocker lock(&storeMutex());
    OpenKeyEntry base;
    if (!resolve(handle, base))
        return 6;
    const QString path = joinPath(base.path, subKey);
    if (path.isEmpty() || !storeWritable())
        return ErrAccessDenied;
    Store store(true);
    if (!store.ok() || !keyExists(store, base.root, path))
        return ErrNotFound;
    if (!childNames(store, base.root, path).isEmpty())
        return ErrAccessDenied;
    store.run("BEGIN", {});
    const bool ok = store.run("DELETE FROM vals WHERE root = ? AND path = ?", {base.root, path}) &&
                    store.run("DELETE FROM keys WHERE root = ? AND path = ?", {base.root, path});
    if (!ok || !store.run("COMMIT", {})) {
        store.run("ROLLBACK", {});
        return ErrAccessDenied;
    }
    return 0;
}

std::int32_t DeleteValue(std::int32_t handle, const QString& name)
{
    QMutexLocker lock(&storeMutex());
    OpenKeyEntry key;
    if (!resolve(handle, key))
        return 6;
    if (!storeWritable())
        return ErrAccessDenied;
    Store store(true);
    bool found = false;
    store.run("SELECT 1 FROM vals WHERE root = ? AND path = ? AND name = ?", {key.root, key.path, name},
              [&](sqlite3_stmt*) { found = true; });
    if (!found)
        return ErrNotFound;
    return store.run("DELETE FROM vals WHERE root = ? AND path = ? AND name = ?", {key.root, key.path, name})
               ? 0
               : ErrAccessDenied;
}

} // namespace RegStore

namespace {

// Keys and Values keep their items in the order they were added, names compared without regard to case.
template <typename T>
using NamedItems = std::vector<std::pair<QString, std::shared_ptr<T>>>;

template <typename Items>
auto findNamed(Items& items, const QString& name)
{
    return std::find_if(items.begin(), items.end(),
                        [&](const auto& e) { return e.first.compare(name, Qt::CaseInsensitive) == 0; });
}

// Adding a name that is there already replaces its item in place.
template <typename T>
void putNamed(NamedItems<T>& items, const QString& name, const std::shared_ptr<T>& item)
{
    auto it = findNamed(items, name);
    if (it != items.end())
        it->second = item;
    else
        items.emplace_back(name, item);
}

template <typename T>
std::shared_ptr<T> namedAt(const NamedItems<T>& items, int position)
{
    if (position < 1 || position > int(items.size()))
        return nullptr;
    return items.at(std::size_t(position - 1)).second;
}

template <typename T>
std::shared_ptr<T> namedItem(const NamedItems<T>& items, const QString& name)
{
    auto it = findNamed(items, name);
    return it != items.end() ? it->second : nullptr;
}

} // namespace

// ---------------------------------------------------------------- Key

Key::~Key()
{
    // Roots are never closed (their handles are negative).
    if (m_handle > 0)
        RegStore::CloseKey(m_handle);
}

void Key::setHandle(std::int32_t handle)
{
    if (m_handle != 0)
        return;
    m_handle = handle;
    const QString root = RegConstants::rootName(handle);
    if (!root.isEmpty())
        m_name = root;
}

void Key::setName(const QString& name)
{
    if (!m_name.isEmpty())
        return;
    m_name = name;
    if (const std::int32_t root = RegConstants::rootHandle(name); root && m_handle == 0)
        m_handle = root;
}

void Key::setParent(const std::shared_ptr<Key>& parent)
{
    if (m_parentSet)
        return;
    m_parentSet = true;
    m_parent = parent;
    m_parentPath = parent ? parent->FullPath() : QString();
}

std::shared_ptr<Keys> Key::SubKeys()
{
    if (!m_subKeys) {
        m_subKeys = std::make_shared<Varnock::Keys>();
        m_subKeys->setParent(weak_from_this().lock());
    }
    return m_subKeys;
}

std::shared_ptr<Values> Key::Values()
{
    if (!m_values) {
        m_values = std::make_shared<Varnock::Values>();
        m_values->setParent(weak_from_this().lock());
    }
    return m_values;
}

QString Key::FullPath() const
{
    return m_parentPath.isEmpty() ? m_name : m_parentPath + QLatin1Char('\\') + m_name;
}

std::shared_ptr<Key> Key::OpenSubKey(const QString& subKey)
{
    std::int32_t handle = 0;
    if (RegStore::OpenKey(m_handle, subKey, RegConstants::KEY_ALL, handle) != 0)
        return nullptr;
    auto key = Key::create();
    key->setHandle(handle);
    key->setName(subKey);
    key->setParent(weak_from_this().lock());
    if (!key->m_parentSet || !key->Parent()) {
        key->m_parentPath = FullPath();   // a parent that is not shared still gives the path
    }
    key->SubKeys()->Refresh();
    key->Values()->Refresh();
    return key;
}

bool Key::SubKeyExists(const QString& subKey)
{
    std::int32_t handle = 0;
    if (RegStore::OpenKey(m_handle, subKey, RegConstants::KEY_ALL, handle) != 0)
        return false;
    RegStore::CloseKey(handle);
    return true;
}

// ---------------------------------------------------------------- Keys

void Keys::setParent(const std::shared_ptr<Varnock::Key>& parent)
{
    if (m_parentSet)
        return;
    m_parentSet = true;
    m_parent = parent;
}

std::shared_ptr<Key> Keys::Add(const QString& name)
{
    auto parent = Parent();
    if (!parent)
        return nullptr;
    std::int32_t handle = 0;
    if (RegStore::CreateKey(parent->Handle(), name, 0, RegConstants::KEY_ALL, handle) != 0)
        return nullptr;
    auto key = Key::create();
    key->setName(name);
    key->setHandle(handle);
    key->setParent(parent);
    key->Values()->Add(QString(), RegConstants::REG_SZ);
    putNamed(m_items, name, key);
    return key;
}

void Keys::Refresh()
{
    m_items.clear();
    auto parent = Parent();
    if (!parent)
        return;
    QString name;
    for (std::int32_t index = 0; RegStore::EnumKey(parent->Handle(), index, name) == 0; ++index)
        Add(name);
}

void Keys::removeItem(const std::shared_ptr<Varnock::Key>& item)
{
    auto parent = Parent();
    if (!item || !parent)
        return;
    // The whole subtree goes, deepest keys first.
    auto children = item->SubKeys();
    children->Refresh();
    for (int i = children->Count(); i >= 1; --i)
        children->Remove(i);
    RegStore::DeleteKey(parent->Handle(), item->Name());
    m_items.erase(std::remove_if(m_items.begin(), m_items.end(), [&](const auto& e) { return e.second == item; }),
                  m_items.end());
}

void Keys::Remove(int position)
{
    removeItem(Item(position));
}

void Keys::Remove(const QString& name)
{
    removeItem(Item(name));
}

std::shared_ptr<Key> Keys::Item(int position) const
{
    return namedAt(m_items, position);
}

std::shared_ptr<Key> Keys::Item(const QString& name) const
{
    return namedItem(m_items, name);
}

std::shared_ptr<Key> Keys::Key()
{
    if (!m_key)
        m_key = Varnock::Key::create();
    return m_key;
}

// ---------------------------------------------------------------- Values and Value

void Values::setParent(const std::shared_ptr<Key>& parent)
{
    if (m_parentSet)
        return;
    m_parentSet = true;
    m_parent = parent;
}

std::shared_ptr<Value> Values::Add(const QString& name, std::int32_t dataType, const QVariant& value)
{
    auto v = std::make_shared<Value>();
    v->setParent(Parent());
    v->setName(name);
    v->setDataType(dataType);
    if (value.isValid())
        v->setValue(value);
    putNamed(m_items, name, v);
    return v;
}

void Values::Refresh()
{
    m_items.clear();
    auto parent = Parent();
    if (!parent)
        return;
    QString name;
    std::int32_t type = 0;
    for (std::int32_t index = 0; RegStore::EnumValue(parent->Handle(), index, name, type) == 0; ++index)
        Add(name, type);
}

void Values::removeAt(std::size_t index)
{
    auto parent = Parent();
    if (parent)
        RegStore::DeleteValue(parent->Handle(), m_items.at(index).first);
    m_items.erase(m_items.begin() + std::ptrdiff_t(index));
}

void Values::Remove(int position)
{
    if (position >= 1 && position <= Count())
        removeAt(std::size_t(position - 1));
}

void Values::Remove(const QString& name)
{
    if (auto it = findNamed(m_items, name); it != m_items.end())
        removeAt(std::size_t(it - m_items.begin()));
}

std::shared_ptr<Value> Values::Item(int position) const
{
    return namedAt(m_items, position);
}

std::shared_ptr<Value> Values::Item(const QString& name) const
{
    return namedItem(m_items, name);
}

void Value::setParent(const std::shared_ptr<Key>& parent)
{
    if (m_parentSet)
        return;
    m_parentSet = true;
    m_parent = parent;
}

QString Value::FullPath() const
{
    auto parent = Parent();
    return (parent ? parent->FullPath() : QString()) + QLatin1Char('\\') + m_name;
}

QVariant Value::value() const
{
    auto parent = Parent();
    if (!parent)
        return QVariant();
    std::int32_t type = 0;
    switch (m_dataType) {
    case RegConstants::REG_SZ: {
        QByteArray buffer(RegConstants::ValueBufferSize, '\0');
        if (RegStore::QueryValue(parent->Handle(), m_name, type, buffer) != 0)
            return QVariant();
        QString text = QString::fromUtf16(reinterpret_cast<const char16_t*>(buffer.constData()), buffer.size() / 2);
        const int nul = text.indexOf(QChar(0));
        return nul >= 0 ? text.left(nul) : text;
    }
    case RegConstants::REG_DWORD: {
        QByteArray buffer(4, '\0');
        if (RegStore::QueryValue(parent->Handle(), m_name, type, buffer) != 0 || buffer.size() < 4)
            return QVariant();
        const auto* b = reinterpret_cast<const unsigned char*>(buffer.constData());
        return QVariant::fromValue<qint32>(qint32(b[0] | b[1] << 8 | b[2] << 16 | std::uint32_t(b[3]) << 24));
    }
    case RegConstants::REG_BINARY: {
        QByteArray buffer(RegConstants::ValueBufferSize, '\0');
        if (RegStore::QueryValue(parent->Handle(), m_name, type, buffer) != 0 || buffer.isEmpty())
            return QVariant();
        return buffer;
    }
    default:
        return QVariant();
    }
}

void Value::setValue(const QVariant& value)
{
    auto parent = Parent();
    if (!parent)
        return;
    QByteArray data;
    switch (m_dataType) {
    case RegConstants::REG_DWORD: {
        const auto n = std::uint32_t(value.toInt());
        for (int i = 0; i < 4; ++i)
            data += char(n >> (8 * i));
        break;
    }
    case RegConstants::REG_SZ: {
        const QString text = value.toString() + QChar(0);
        data = QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
        break;
    }
    case RegConstants::REG_BINARY:
        data = value.toByteArray();
        break;
    default:
        return;
    }
    RegStore::SetValue(parent->Handle(), m_name, m_dataType, data);
}

QString ReadMachineText(const QString& keyPath, const QString& valueName)
{
    auto root = Key::create();
    root->setHandle(RegConstants::HKEY_LOCAL_MACHINE);
    auto key = root->OpenSubKey(keyPath);
    if (!key)
        return QString();
    auto value = key->Values()->Item(valueName);
    if (!value)
        return QString();
    const QString text = value->value().toString();
    const int nul = text.indexOf(QChar(0));
    return nul >= 0 ? text.left(nul) : text;
}

void WriteMachineText(const QString& keyPath, const QString& valueName, const QString& text)
{
    auto root = Key::create();
    root->setHandle(RegConstants::HKEY_LOCAL_MACHINE);
    auto key = root->SubKeys()->Add(keyPath);
    if (key)
        key->Values()->Add(valueName, RegConstants::REG_SZ, text);
}

} // namespace Varnock

#pragma once
// The library's settings store and the key and value classes over it. The store is one small SQLite file in the
// user's configuration (VARNOCK_REGISTRY or setRegistryStorePath() put it elsewhere); it keeps keys below the five
// predefined roots and typed values, names compared without regard to case.
#include "varnock_global.h"
#include <QByteArray>
#include <QString>
#include <QVariant>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace Varnock {

VARNOCK_EXPORT void setRegistryStorePath(const QString& path);   // empty: back to the default
VARNOCK_EXPORT QString registryStorePath();

struct RegConstants {
    static constexpr std::int32_t HKEY_CLASSES_ROOT = std::int32_t(0x80000000u);
    static constexpr std::int32_t HKEY_CURRENT_USER = std::int32_t(0x80000001u);
    static constexpr std::int32_t HKEY_LOCAL_MACHINE = std::int32_t(0x80000002u);
    static constexpr std::int32_t HKEY_USERS = std::int32_t(0x80000003u);
    static constexpr std::int32_t HKEY_PERFORMANCE_DATA = std::int32_t(0x80000004u);
    static constexpr std::int32_t KEY_QUERY_VALUE = 1;
    static constexpr std::int32_t KEY_SET_VALUE = 2;
    static constexpr std::int32_t KEY_CREATE_SUB_KEY = 4;
    static constexpr std::int32_t KEY_ENUMERATE_SUB_KEYS = 8;
    static constexpr std::int32_t KEY_NOTIFY = 16;
    static constexpr std::int32_t KEY_CREATE_LINK = 32;
    static constexpr std::int32_t READ_CONTROL = 0x20000;
    static constexpr std::int32_t KEY_ALL = 0x2003F;
    static constexpr std::int32_t KEY_READ = 0x20019;
    static constexpr std::int32_t KEY_WRITE = 0x20006;
    static constexpr std::int32_t REG_NONE = 0;
    static constexpr std::int32_t REG_SZ = 1;
    static constexpr std::int32_t REG_EXPAND_SZ = 2;
    static constexpr std::int32_t REG_BINARY = 3;
    static constexpr std::int32_t REG_DWORD = 4;
    static constexpr std::int32_t REG_DWORD_BIG_ENDIAN = 5;
    static constexpr std::int32_t REG_LINK = 6;
    static constexpr std::int32_t REG_MULTI_SZ = 7;
    static constexpr std::int32_t REG_FULL_RESOURCE_DESCRIPTOR = 9;
    static constexpr std::int32_t REG_RESOURCE_REQUIREMENTS_LIST = 10;
    static constexpr std::int32_t ERROR_SUCCESS = 0;
    static constexpr std::int32_t ValueBufferSize = 2048;
    // The name of a predefined root, empty for any other handle; and the reverse (any case), 0 for none.
    static QString rootName(std::int32_t handle);
    static std::int32_t rootHandle(const QString& name);
};

// The store's calls, with the platform's result numbers: 0 success, 2 not found, 5 access denied, 234 more
// data, 259 no more items.
namespace RegStore {
constexpr std::int32_t ErrNotFound = 2;
constexpr std::int32_t ErrAccessDenied = 5;
constexpr std::int32_t ErrMoreData = 234;
constexpr std::int32_t ErrNoMoreItems = 259;
VARNOCK_EXPORT std::int32_t OpenKey(std::int32_t parent, const QString& subKey, std::int32_t rights,
                                    std::int32_t& handle);
VARNOCK_EXPORT std::int32_t CreateKey(std::int32_t parent, const QString& subKey, std::int32_t options,
                                      std::int32_t rights, std::int32_t& handle);
VARNOCK_EXPORT std::int32_t CloseKey(std::int32_t handle);
VARNOCK_EXPORT std::int32_t EnumKey(std::int32_t handle, std::int32_t index, QString& name);
VARNOCK_EXPORT std::int32_t EnumValue(std::int32_t handle, std::int32_t index, QString& name, std::int32_t& type);
// data in: the buffer offered (its size is the limit); out: the bytes stored.
VARNOCK_EXPORT std::int32_t QueryValue(std::int32_t handle, const QString& name, std::int32_t& type,
                                       QByteArray& data);
VARNOCK_EXPORT std::int32_t SetValue(std::int32_t handle, const QString& name, std::int32_t type,
                                     const QByteArray& data);
// Refuses a key that still has subkeys (access denied).
VARNOCK_EXPORT std::int32_t DeleteKey(std::int32_t handle, const QString& subKey);
VARNOCK_EXPORT std::int32_t DeleteValue(std::int32_t handle, const QString& name);
} // namespace RegStore

class Keys;
class Values;

class VARNOCK_EXPORT Key : public std::enable_shared_from_this<Key> {
public:
    static std::shared_ptr<Key> create() { return std::make_shared<Key>(); }
    Key() = default;
    ~Key();
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;

    std::int32_t Handle() const { return m_handle; }
    void setHandle(std::int32_t handle);       // only the first time
    QString Name() const { return m_name; }
    void setName(const QString& name);         // only the first time
    std::shared_ptr<Key> Parent() const { return m_parent.lock(); }
    void setParent(const std::shared_ptr<Key>& parent);   // only the first time
    std::shared_ptr<Varnock::Keys> SubKeys();
    std::shared_ptr<Varnock::Values> Values();
    QString FullPath() const;
    const RegConstants& constants() const { return m_constants; }

    std::shared_ptr<Key> OpenSubKey(const QString& subKey);   // nullptr when it cannot be opened
    bool SubKeyExists(const QString& subKey);

private:
    std::int32_t m_handle = 0;
    QString m_name;
    std::weak_ptr<Key> m_parent;
    bool m_parentSet = false;
    QString m_parentPath;   // the parent's FullPath when it was set
    std::shared_ptr<Varnock::Keys> m_subKeys;
    std::shared_ptr<Varnock::Values> m_values;
    RegConstants m_constants;
};

class VARNOCK_EXPORT Keys : public std::enable_shared_from_this<Keys> {
public:
    std::shared_ptr<Varnock::Key> Parent() const { return m_parent.lock(); }
    void setParent(const std::shared_ptr<Varnock::Key>& parent);
    std::shared_ptr<Varnock::Key> Add(const QString& name);
    void Refresh();
    void Remove(int position);                  // from 1
    void Remove(const QString& name);
    int Count() const { return int(m_items.size()); }
    std::shared_ptr<Varnock::Key> Item(int position) const;       // from 1; nullptr when out of range
    std::shared_ptr<Varnock::Key> Item(const QString& name) const;
    std::shared_ptr<Varnock::Key> Key();
    void setKey(const std::shared_ptr<Varnock::Key>& key) { m_key = key; }
    auto begin() const { return m_items.begin(); }
    auto end() const { return m_items.end(); }

private:
    void removeItem(const std::shared_ptr<Varnock::Key>& item);
    std::weak_ptr<Varnock::Key> m_parent;
    bool m_parentSet = false;
    std::vector<std::pair<QString, std::shared_ptr<Varnock::Key>>> m_items;
    std::shared_ptr<Varnock::Key> m_key;
};

class Value;

class VARNOCK_EXPORT Values {
public:
    std::shared_ptr<Key> Parent() const { return m_parent.lock(); }
    void setParent(const std::shared_ptr<Key>& parent);
    // Writes the value at once when one is given.
    std::shared_ptr<Value> Add(const QString& name, std::int32_t dataType, const QVariant& value = QVariant());
    void Refresh();
    void Remove(int position);
    void Remove(const QString& name);
    int Count() const { return int(m_items.size()); }
    std::shared_ptr<Value> Item(int position) const;
    std::shared_ptr<Value> Item(const QString& name) const;
    auto begin() const { return m_items.begin(); }
    auto end() const { return m_items.end(); }

private:
    void removeAt(std::size_t index);
    std::weak_ptr<Key> m_parent;
    bool m_parentSet = false;
    std::vector<std::pair<QString, std::shared_ptr<Value>>> m_items;
};

// A value reads and writes through its key's handle: keep the Key while its values are in use.
class VARNOCK_EXPORT Value {
public:
    QString Name() const { return m_name; }
    void setName(const QString& name) { m_name = name; }
    std::int32_t DataType() const { return m_dataType; }
    void setDataType(std::int32_t type) { m_dataType = type; }
    std::shared_ptr<Key> Parent() const { return m_parent.lock(); }
    void setParent(const std::shared_ptr<Key>& parent);
    QString FullPath() const;
    // Text as QString, a 32-bit number as qint32, binary data as QByteArray; an invalid QVariant when the value
    // cannot be read, is of another type, or is binary of 0 bytes.
    // (the Value property of the value: a member cannot carry its class's name)
    QVariant value() const;
    void setValue(const QVariant& value);

private:
    QString m_name;
    std::int32_t m_dataType = 0;
    std::weak_ptr<Key> m_parent;
    bool m_parentSet = false;
};

// Reads a text value below HKEY_LOCAL_MACHINE; empty on any failure.
VARNOCK_EXPORT QString ReadMachineText(const QString& keyPath, const QString& valueName);
// Writes a text value below HKEY_LOCAL_MACHINE, making the key; failures are not reported.
VARNOCK_EXPORT void WriteMachineText(const QString& keyPath, const QString& valueName, const QString& text);

} // namespace Varnock

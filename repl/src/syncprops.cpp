#include "syncprops.h"
#include "registry.h"

namespace Varnock::SynchronizerStore {

namespace {
const QString storeKey = QStringLiteral("SOFTWARE\\Varnock\\Synchronizer");
const QString managedKey = QStringLiteral("SOFTWARE\\Varnock\\Synchronizer\\ManagedReplicas");
constexpr JetResult notWritable = JetConst::errAccessDenied;
constexpr JetResult refused = -1;

QString valueName(std::int32_t propId)
{
    switch (propId) {
    case JetConst::syncPropId: return QStringLiteral("Id");
    case JetConst::syncPropLogFile: return QStringLiteral("LogFile");
    case JetConst::syncPropIndirectDropbox: return QStringLiteral("IndirectDropbox");
    case JetConst::syncPropIndirectDropboxPwd: return QStringLiteral("IndirectDropboxPwd");
    case JetConst::syncPropIndirectInUse: return QStringLiteral("IndirectInUse");
    case JetConst::syncPropName: return QStringLiteral("Name");
    case JetConst::syncPropDefaultSchedule: return QStringLiteral("DefaultSchedule");
    case JetConst::syncPropHttpDropbox: return QStringLiteral("HttpDropbox");
    case JetConst::syncPropHttpDropboxPwd: return QStringLiteral("HttpDropboxPwd");
    case JetConst::syncPropInternetInUse: return QStringLiteral("InternetInUse");
    case JetConst::syncPropInternetServer: return QStringLiteral("InternetServer");
    case JetConst::syncPropFtpDropbox: return QStringLiteral("FtpDropbox");
    default: return QStringLiteral("Property%1").arg(propId);
    }
}

std::shared_ptr<Key> openKey(const QString& path, bool create)
{
    auto root = Key::create();
    root->setHandle(RegConstants::HKEY_LOCAL_MACHINE);
    if (!create)
        return root->OpenSubKey(path);   // values read from the store
    auto key = root->SubKeys()->Add(path);
    if (key)
        key->Values()->Refresh();
    return key;
}

// Managed replicas: one text value per path, named by a running number so that the order of adding is kept
// and paths that differ only in case stay apart.
QList<std::shared_ptr<Value>> managedValues(const std::shared_ptr<Key>& key)
{
    QList<std::shared_ptr<Value>> out;
    if (!key)
        return out;
    for (const auto& entry : *key->Values())
        if (!entry.first.isEmpty() && entry.second->DataType() == RegConstants::REG_SZ)
            out << entry.second;
    return out;
}
} // namespace

JetResult Get(std::int32_t propId, QVariant& value)
{
    if (propId == JetConst::syncPropManagedReplicas) {
        QStringList paths;
        const auto key = openKey(managedKey, false);   // held: its values read through it
        for (const auto& v : managedValues(key))
            paths << v->value().toString();
        value = paths.join(QChar(0));
        return JetConst::Success;
    }
    auto key = openKey(storeKey, false);
    auto item = key ? key->Values()->Item(valueName(propId)) : nullptr;
    const QVariant stored = item ? item->value() : QVariant();
    if (!stored.isValid())
        return propId == JetConst::syncPropId ? JetConst::errNoSynchronizerId : JetConst::errValueNotSet;
    const int wanted = value.typeId();
    value = stored;
    if (wanted != QMetaType::UnknownType && wanted != stored.typeId())
        value.convert(QMetaType(wanted));
    return JetConst::Success;
}

JetResult Set(std::int32_t propId, const QVariant& value)
{
    if (propId == JetConst::syncPropManagedReplicas)
        return refused;
    if (propId == JetConst::syncPropManageReplica || propId == JetConst::syncPropUnmanageReplica) {
        const QString path = value.toString();
        auto key = openKey(managedKey, true);
        if (!key)
            return notWritable;
        const auto values = managedValues(key);
        std::shared_ptr<Value> found;
        int last = 0;
        for (const auto& v : values) {
            last = std::max(last, v->Name().toInt());
            if (v->value().toString() == path)
                found = v;
        }
        if (propId == JetConst::syncPropManageReplica) {
            if (found || path.isEmpty())
                return refused;
            key->Values()->Add(QStringLiteral("%1").arg(last + 1, 8, 10, QLatin1Char('0')), RegConstants::REG_SZ,
                               path);
        } else {
            if (!found)
                return refused;
            key->Values()->Remove(found->Name());
        }
        return JetConst::Success;
    }
    std::int32_t type;
    switch (value.typeId()) {
    case QMetaType::QString: type = RegConstants::REG_SZ; break;
    case QMetaType::Int: type = RegConstants::REG_DWORD; break;
    case QMetaType::QByteArray: type = RegConstants::REG_BINARY; break;
    default: return JetConst::Success;   // nothing sent
    }
    auto key = openKey(storeKey, true);
    if (!key)
        return notWritable;
    auto written = key->Values()->Add(valueName(propId), type, value);
    // The store reports nothing on a write: read it back to know.
    const QVariant back = written->value();
    if (type == RegConstants::REG_BINARY && value.toByteArray().isEmpty())
        return back.isValid() ? notWritable : JetConst::Success;
    return back.isValid() ? JetConst::Success : notWritable;
}

} // namespace Varnock::SynchronizerStore

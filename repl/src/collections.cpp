#include "engine.h"
#include "resources.h"
#include "utilities.h"
#include "varnock.h"

#include <stdexcept>

namespace Varnock {

// ---------------------------------------------------------------- Replica

Replica::Replica() : m_replicaGuid(std::make_unique<Guid>()), m_synchronizerGuid(std::make_unique<Guid>()) {}
Replica::~Replica() = default;

void Replica::refuseWhenManaged() const
{
    // A managed replica is only a path: its own check, without help file or topic.
    if (m_managed)
        throw SynchronizerError(synchErrPropNotValidForThisObject, ResString(5006), ProductName(), QString(), 0);
}

QString Replica::Description() const
{
    refuseWhenManaged();
    return m_description;
}

QString Replica::MachineName() const
{
    refuseWhenManaged();
    return m_machineName;
}

QString Replica::ReplicaID() const
{
    refuseWhenManaged();
    return GuidToString(*m_replicaGuid);
}

QString Replica::SynchronizerID() const
{
    refuseWhenManaged();
    return GuidToString(*m_synchronizerGuid);
}

QString Replica::UncName() const
{
    refuseWhenManaged();
    return m_uncName;
}

void Replica::setDescription(const QString& text)
{
    refuseWhenManaged();
    m_description = text;
}

void Replica::setMachineName(const QString& text)
{
    refuseWhenManaged();
    m_machineName = text;
}

void Replica::setUncName(const QString& text)
{
    refuseWhenManaged();
    m_uncName = text;
}

void Replica::setReplicaGuid(const Guid& guid)
{
    *m_replicaGuid = guid;
}

void Replica::setSynchronizerGuid(const Guid& guid)
{
    *m_synchronizerGuid = guid;
}

// ---------------------------------------------------------------- Replicas

Replicas::Replicas(Synchronizer* parent, bool managed) : m_managed(managed), m_parent(parent) {}

Synchronizer* Replicas::parent() const
{
    if (!m_parent)
        RaiseCode(5008);
    return m_parent.data();
}

Replicas::ReplicaPtr Replicas::makeAndAdd(const QString& key)
{
    auto replica = std::make_shared<Replica>();
    replica->setManaged(m_managed);
    QString k = key;
    if (!k.isEmpty()) {
        // A taken key gets "_" appended until it is free.
        auto taken = [this](const QString& candidate) {
            for (const auto& e : m_items)
                if (!e.first.isEmpty() && e.first.compare(candidate, Qt::CaseInsensitive) == 0)
                    return true;
            return false;
        };
        while (taken(k))
            k += QLatin1Char('_');
    }
    m_items.push_back({k, replica});
    return replica;
}

Replicas::ReplicaPtr Replicas::Item(int indexval) const
{
    if (indexval < 1 || indexval > Count())
        throw std::out_of_range("Subscript out of range");
    return m_items.at(std::size_t(indexval - 1)).second;
}

Replicas::ReplicaPtr Replicas::Item(const QString& indexval) const
{
    for (const auto& e : m_items)
        if (!e.first.isEmpty() && e.first.compare(indexval, Qt::CaseInsensitive) == 0)
            return e.second;
    throw std::out_of_range("Invalid procedure call or argument");
}

Replicas::ReplicaPtr Replicas::Append(const QString& stReplicaName)
{
    Synchronizer* owner = parent();
    if (m_managed) {
        if (owner->ManageReplica(stReplicaName) != 0)
            return nullptr;
        auto replica = makeAndAdd();
        replica->setReplicaName(stReplicaName);
        if (owner->Running() && !stReplicaName.isEmpty())
            owner->NotifyRunningSynchronizer(stReplicaName);
        return replica;
    }
    if (m_generation != owner->Generation())
        RaiseCode(5008);
    owner->MakeReplica(stReplicaName, stReplicaName, std::int32_t(-1), false);
    auto replica = makeAndAdd();
    replica->setReplicaName(stReplicaName);
    return replica;
}

void Replicas::removeTarget(const ReplicaPtr& target)
{
    Synchronizer* owner = parent();
    // The managed list belongs to the synchronizer, not to a database: a closed database does not stale it.
    if (!m_managed && m_generation != owner->Generation())
        RaiseCode(5008);
    if (!target)
        throw std::out_of_range("Invalid procedure call or argument");
    if (m_managed) {
        owner->UnmanageReplica(target->ReplicaName());
        if (owner->Running() && !target->ReplicaName().isEmpty())
            owner->NotifyRunningSynchronizer(target->ReplicaName());
    } else {
        owner->RemoveFromReplicaSet(*target);
    }
    for (auto it = m_items.begin(); it != m_items.end(); ++it)
        if (it->second == target) {
            m_items.erase(it);
            break;
        }
}

void Replicas::Remove(int indexval)
{
    Synchronizer* owner = parent();
    if (!m_managed && m_generation != owner->Generation())
        RaiseCode(5008);
    removeTarget(Item(indexval));
}

void Replicas::Remove(const QString& indexval)
{
    Synchronizer* owner = parent();
    if (!m_managed && m_generation != owner->Generation())
        RaiseCode(5008);
    removeTarget(Item(indexval));
}

void Replicas::Remove(const ReplicaPtr& indexval)
{
    removeTarget(indexval);
}

// ---------------------------------------------------------------- HistoryItems

HistoryItems::ItemPtr HistoryItems::Item(int indexval) const
{
    if (indexval < 1 || indexval > Count())
        throw std::out_of_range("Subscript out of range");
    return m_items.at(std::size_t(indexval - 1)).second;
}

HistoryItems::ItemPtr HistoryItems::Item(const QString& indexval) const
{
    for (const auto& e : m_items)
        if (!e.first.isEmpty() && e.first.compare(indexval, Qt::CaseInsensitive) == 0)
            return e.second;
    throw std::out_of_range("Invalid procedure call or argument");
}

void HistoryItems::addKeyed(const QString& key, const ItemPtr& item)
{
    QString k = key;
    if (!k.isEmpty()) {
        for (const auto& e : m_items)
            if (!e.first.isEmpty() && e.first.compare(k, Qt::CaseInsensitive) == 0)
                throw std::invalid_argument("This key is already associated with an element of this collection");
    }
    m_items.push_back({k, item});
}

HistoryItems::ItemPtr HistoryItems::makeAndAdd(const QString& key)
{
    auto item = std::make_shared<HistoryItem>();
    addKeyed(key, item);
    return item;
}

void HistoryItems::add(const ItemPtr& item)
{
    addKeyed(item->ExchangeId(), item);
}

void HistoryItems::remove(int indexval)
{
    Item(indexval);
    m_items.erase(m_items.begin() + (indexval - 1));
}

void HistoryItems::remove(const QString& key)
{
    auto target = Item(key);
    for (auto it = m_items.begin(); it != m_items.end(); ++it)
        if (it->second == target) {
            m_items.erase(it);
            return;
        }
}

} // namespace Varnock

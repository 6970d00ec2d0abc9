#include "engine.h"
#include "resources.h"
#include "utilities.h"
#include "varnock.h"

#include <cmath>
#include <stdexcept>

namespace Varnock {

namespace {
constexpr int Days = 7;
constexpr int Quarters = 96;
constexpr int PackedSize = 84;

QByteArray pack(const ScheduleArray& s)
{
    QByteArray packed;
    packed.reserve(PackedSize);
    for (int day = s.lowerBound(1); day <= s.upperBound(1); ++day)
        for (int first = s.lowerBound(2); first <= s.upperBound(2); first += 8) {
            unsigned char byte = 0;
            for (int b = 0; b < 8; ++b)
                if (first + b <= s.upperBound(2) && s.value(day, first + b))
                    byte |= (1u << b);
            packed += char(byte);
        }
    return packed;
}

ScheduleArray unpack(const QByteArray& packed)
{
    ScheduleArray s;
    for (int day = 0; day < Days; ++day)
        for (int g = 0; g < 12; ++g) {
            const int at = 12 * day + g;
            const unsigned char byte = at < packed.size() ? static_cast<unsigned char>(packed.at(at)) : 0;
            for (int b = 0; b < 8; ++b)
                s.setValue(day, 8 * g + b, (byte >> b) & 1);
        }
    return s;
}

void putInt(QByteArray& record, std::int32_t value)
{
    for (int i = 0; i < 4; ++i)
        record += char(std::uint32_t(value) >> (8 * i));
}
} // namespace

// ---------------------------------------------------------------- ScheduleArray

ScheduleArray::ScheduleArray() : ScheduleArray({{0, Days - 1}, {0, Quarters - 1}}) {}

ScheduleArray::ScheduleArray(const std::vector<std::pair<int, int>>& bounds, bool booleans)
    : m_bounds(bounds), m_booleans(booleans)
{
    if (m_bounds.size() == 2) {
        const auto rows = std::max(0, m_bounds[0].second - m_bounds[0].first + 1);
        const auto cols = std::max(0, m_bounds[1].second - m_bounds[1].first + 1);
        m_cells.assign(std::size_t(rows) * std::size_t(cols), false);
    }
}

std::size_t ScheduleArray::cell(int day, int quarter) const
{
    if (m_bounds.size() != 2 || day < m_bounds[0].first || day > m_bounds[0].second ||
        quarter < m_bounds[1].first || quarter > m_bounds[1].second)
        throw std::out_of_range("Subscript out of range");
    const int cols = m_bounds[1].second - m_bounds[1].first + 1;
    return std::size_t(day - m_bounds[0].first) * std::size_t(cols) + std::size_t(quarter - m_bounds[1].first);
}

bool ScheduleArray::value(int day, int quarter) const
{
    return m_cells.at(cell(day, quarter));
}

void ScheduleArray::setValue(int day, int quarter, bool on)
{
    m_cells.at(cell(day, quarter)) = on;
}

// ---------------------------------------------------------------- Synchronizer

Guid Synchronizer::schedulePartnerForSet(const QString& replicaName)
{
    Guid partner;
    if (replicaName.isEmpty())
        return partner;
    if (findReplicaGuid(replicaName, partner))
        return partner;
    partner = Guid{};
    auto set = ReplicaSet();
    for (const auto& entry : *set) {
        const Replica& r = *entry.second;
        if (GuidStringsEqual(GuidToString(r.replicaGuid()), replicaName) ||
            r.ReplicaName().compare(replicaName, Qt::CaseInsensitive) == 0 ||
            r.UncName().compare(replicaName, Qt::CaseInsensitive) == 0) {
            partner = r.synchronizerGuid();
            break;
        }
    }
    if (partner.isNull())
        RaiseCode(5007);
    return partner;
}

bool Synchronizer::writeSchedule(const Guid& partner, const QByteArray& packed)
{
    JetResult result;
    if (!partner.isNull()) {
        QByteArray record;
        putInt(record, 112);
        putInt(record, 1);
        putInt(record, PackedSize);
        record += packed;
        QByteArray type = ToAnsi(QString::fromLatin1(JetConst::exchangeTypeYouPick));
        type.resize(16, '\0');
        record += type;
        const std::int32_t session = EnsureJetSession();
        const std::int32_t database = RequireOpenDatabase();
        result = m_engine->ReplSetSchedule(session, database, partner, JetConst::scheduleSetting, record);
    } else {
        result = m_engine->ReplSetSynchronizerProperty(m_instance, JetConst::syncPropDefaultSchedule, packed);
    }
    CheckJetError(result);
    return result >= 0;
}

ScheduleArray Synchronizer::GetFullSchedule(const QString& ReplicaName)
{
    Guid local, partner;
    bool found = false;
    if (!ReplicaName.isEmpty()) {
        auto set = ReplicaSet();
        const QString own = ReadReplicaId();
        for (const auto& entry : *set) {
            const Replica& r = *entry.second;
            if (GuidToString(r.replicaGuid()) == own) {
                local = r.synchronizerGuid();
                continue;   // never the database's own replica
            }
            if (!found && (r.UncName().compare(ReplicaName, Qt::CaseInsensitive) == 0 ||
                           r.ReplicaName().compare(ReplicaName, Qt::CaseInsensitive) == 0 ||
                           GuidToString(r.replicaGuid()).compare(ReplicaName, Qt::CaseInsensitive) == 0)) {
                partner = r.synchronizerGuid();
                found = true;
            }
        }
    }
    QByteArray packed;
    JetResult result = 0;
    if (found) {
        const std::int32_t session = EnsureJetSession();
        const std::int32_t database = RequireOpenDatabase();
        std::int32_t list = 0, rows = 0;
        result = m_engine->ReplEnumerate(session, database, &local, &partner, JetConst::listSchedule, list, rows);
        CheckJetError(result);
        if (result >= 0) {
            m_engine->JetMove(session, list, JetConst::moveFirst, 0);
            QVariant value = QByteArray(PackedSize, '\0');
            if (m_engine->JetRetrieveColumn(session, list, ListColumn::schedule, value) >= 0)
                packed = value.toByteArray();
            m_engine->JetCloseTable(session, list);
        }
    } else {
        if (!ReplicaName.isEmpty())
            RaiseCode(5007);
        QVariant value = QByteArray(PackedSize, '\0');
        result = m_engine->ReplGetSynchronizerProperty(m_instance, JetConst::syncPropDefaultSchedule, value);
        CheckJetError(result);
        packed = value.toByteArray();
    }
    return result >= 0 ? unpack(packed) : ScheduleArray();
}

bool Synchronizer::SetFullSchedule(const QString& ReplicaName, const std::optional<ScheduleArray>& vSched)
{
    const Guid partner = schedulePartnerForSet(ReplicaName);
    if (!vSched || !vSched->isBooleanArray())
        RaiseCode(5011);
    if (vSched->dimensions() != 2 || vSched->upperBound(1) - vSched->lowerBound(1) + 1 != Days ||
        vSched->upperBound(2) - vSched->lowerBound(2) + 1 != Quarters)
        RaiseCode(5010);
    return writeSchedule(partner, pack(*vSched));
}

bool Synchronizer::SetSimpleSchedule(const QString& ReplicaName, std::int32_t DaysToSync, double StartTime,
                                     std::int16_t TimesPerDay, bool ClearOldSchedule)
{
    Q_UNUSED(ClearOldSchedule);   // the schedule written always replaces the stored one whole
    const Guid partner = schedulePartnerForSet(ReplicaName);
    if (DaysToSync < 0 || DaysToSync > 127)
        RaiseCode(5014);
    if (!(StartTime >= 0 && StartTime < 1))
        RaiseCode(5015);
    const int start = int(std::nearbyint(StartTime * Quarters));
    if (TimesPerDay < 1 || TimesPerDay > Quarters - start)
        RaiseCode(5016);
    const int spacing = (Quarters - start) / TimesPerDay;
    ScheduleArray schedule;
    for (int day = 0; day < Days; ++day) {
        if (!(DaysToSync & (1 << day)))
            continue;
        for (int k = 0; k < TimesPerDay; ++k)
            schedule.setValue(day, start + k * spacing, true);
    }
    return writeSchedule(partner, pack(schedule));
}

} // namespace Varnock

// Placeholder until the SQLite engine lands: every call fails with a plain failure, so every operation raises
// "The operation has failed." and nothing is touched on disk. The engine's own file replaces this one.
#include "engine.h"

namespace Varnock {

namespace {
constexpr JetResult notAvailable = -1;

class UnavailableEngine final : public Engine {
public:
    JetResult JetInitEngine(std::int32_t& instance) override { instance = 0; return notAvailable; }
    JetResult JetTermEngine(std::int32_t) override { return notAvailable; }
    JetResult JetBeginSession(std::int32_t, std::int32_t& session, const QString&, const QString&) override
    { session = 0; return notAvailable; }
    JetResult JetEndSession(std::int32_t, std::int32_t) override { return notAvailable; }
    JetResult JetSetSystemParameter(std::int32_t, std::int32_t, std::int32_t, ProgressCallback, const QString&) override
    { return notAvailable; }
    JetResult JetOpenDatabase(std::int32_t, const QString&, const QString&, std::int32_t& db, std::int32_t) override
    { db = 0; return notAvailable; }
    JetResult JetCloseDatabase(std::int32_t, std::int32_t, std::int32_t) override { return notAvailable; }
    JetResult JetSetObjectProperty(std::int32_t, std::int32_t, const QString&, const QString&, const QString&,
                                   const QVariant&) override { return notAvailable; }
    JetResult JetCompactDatabase(std::int32_t, const QString&, const QString&, const QString&, const QString&,
                                 ProgressCallback, std::int32_t) override { return notAvailable; }
    JetResult JetRepairDatabase(std::int32_t, const QString&, ProgressCallback) override { return notAvailable; }
    JetResult JetOpenTable(std::int32_t, std::int32_t, const QString&, std::int32_t, std::int32_t& t) override
    { t = 0; return notAvailable; }
    JetResult JetCloseTable(std::int32_t, std::int32_t) override { return notAvailable; }
    JetResult JetMove(std::int32_t, std::int32_t, std::int32_t, std::int32_t) override { return notAvailable; }
    JetResult JetGetColumnInfo(std::int32_t, std::int32_t, const QString&, std::int32_t& c) override
    { c = 0; return notAvailable; }
    JetResult JetRetrieveColumn(std::int32_t, std::int32_t, std::int32_t, QVariant&) override { return notAvailable; }
    JetResult JetPrepareStatement(std::int32_t, std::int32_t, const QString&, std::int32_t& s) override
    { s = 0; return notAvailable; }
    JetResult JetSetStatementText(std::int32_t, std::int32_t, const QString&, const QString&, std::int32_t) override
    { return notAvailable; }
    JetResult JetExecuteStatement(std::int32_t, std::int32_t, std::int32_t, std::int32_t) override
    { return notAvailable; }
    JetResult ReplMakeReplica(std::int32_t, std::int32_t, const QString&, const QString&, std::int32_t,
                              std::int32_t) override { return notAvailable; }
    JetResult ReplMoveReplica(std::int32_t, const QString&, const QString&) override { return notAvailable; }
    JetResult ReplSynchDirect(std::int32_t, const QString&, const QString&, std::int32_t) override
    { return notAvailable; }
    JetResult ReplSynchIndirect(std::int32_t, std::int32_t, const Guid&, std::int32_t, const QByteArray&,
                                Guid&) override { return notAvailable; }
    JetResult ReplSynchInternet(std::int32_t, std::int32_t, std::int32_t, const QString&, const Guid&,
                                std::int32_t) override { return notAvailable; }
    JetResult ReplPopulatePartial(std::int32_t, std::int32_t, std::int32_t, std::int32_t) override
    { return notAvailable; }
    JetResult ReplGetReplicaProperty(std::int32_t, std::int32_t, const Guid*, std::int32_t, QVariant&) override
    { return notAvailable; }
    JetResult ReplSetReplicaProperty(std::int32_t, std::int32_t, std::int32_t, const QVariant&) override
    { return notAvailable; }
    JetResult ReplGetSynchronizerProperty(std::int32_t, std::int32_t, QVariant&) override { return notAvailable; }
    JetResult ReplSetSynchronizerProperty(std::int32_t, std::int32_t, const QVariant&) override
    { return notAvailable; }
    JetResult ReplEnumerate(std::int32_t, std::int32_t, const Guid*, const Guid*, std::int32_t, std::int32_t& l,
                            std::int32_t& n) override { l = 0; n = 0; return notAvailable; }
    JetResult ReplReadHistory(std::int32_t, std::int32_t, const Guid&, HistoryRecord&) override
    { return notAvailable; }
    JetResult ReplSetSchedule(std::int32_t, std::int32_t, const Guid&, std::int32_t, const QByteArray&) override
    { return notAvailable; }
    JetResult ReplRemoveReplica(std::int32_t, std::int32_t, const Guid&, const Guid&) override { return notAvailable; }
    JetResult ReplRegisterReplica(std::int32_t, std::int32_t) override { return notAvailable; }
    JetResult ReplStartSynchronizer(std::int32_t) override { return notAvailable; }
    JetResult ReplStopSynchronizer(std::int32_t) override { return notAvailable; }
    JetResult ReplRegister() override { return notAvailable; }
    JetResult ReplUnregister() override { return notAvailable; }
};
} // namespace

std::unique_ptr<Engine> makeSqliteEngine()
{
    return std::make_unique<UnavailableEngine>();
}

} // namespace Varnock

#include "replfixture.h"
#include "utilities.h"

using namespace Varnock;

class TstCollections : public QObject {
    Q_OBJECT

    struct Member {
        Guid replica = NewGuid();
        Guid synchronizer;
        QString name;
    };

    // An open replica whose set holds the given members after its own row.
    static QString openWithSet(ReplFixture& fx, Synchronizer& sync, const QList<Member>& others, Guid* own = nullptr,
                               bool designMaster = true)
    {
        const QString db = fx.file(QStringLiteral("master.db"));
        const Guid id = fx.makeReplicaFile(db, designMaster);
        if (own) *own = id;
        fx.state->replicaSet.clear();
        fx.state->replicaSet << fake::Row{{ListColumn::replicaGuid, id.toByteArray()},
                                          {ListColumn::replicaName, db},
                                          {ListColumn::uncName, db},
                                          {ListColumn::machineName, QStringLiteral("office")},
                                          {ListColumn::description, QStringLiteral("Master")},
                                          {ListColumn::nickname, 1},
                                          {ListColumn::synchronizerGuid, Guid().toByteArray()}};
        int n = 2;
        for (const Member& m : others)
            fx.state->replicaSet << fake::Row{{ListColumn::replicaGuid, m.replica.toByteArray()},
                                              {ListColumn::replicaName, m.name},
                                              {ListColumn::uncName, QStringLiteral("/share/") + m.name},
                                              {ListColumn::machineName, QStringLiteral("laptop")},
                                              {ListColumn::description, m.name},
                                              {ListColumn::nickname, n++},
                                              {ListColumn::synchronizerGuid, m.synchronizer.toByteArray()}};
        sync.setDatabaseName(db);
        return db;
    }

private slots:
    void replicaSetMembers()
    {
        ReplFixture fx;
        Synchronizer sync;
        Guid own;
        const Member field{NewGuid(), NewGuid(), QStringLiteral("field.db")};
        const QString db = openWithSet(fx, sync, {field}, &own);
        auto set = sync.ReplicaSet();
        QCOMPARE(set->Count(), 2);
        QCOMPARE(set->Item(1)->ReplicaID(), GuidToString(own));
        QCOMPARE(set->Item(1)->ReplicaID().size(), 38);
        QCOMPARE(set->Item(1)->MachineName(), QStringLiteral("office"));
        QCOMPARE(set->Item(1)->SynchronizerID(), EmptyGuidString());
        auto second = set->Item(GuidToString(field.replica).toLower());   // keyed by the GUID text
        QCOMPARE(second->ReplicaName(), QStringLiteral("field.db"));
        QCOMPARE(second->UncName(), QStringLiteral("/share/field.db"));
        QCOMPARE(second->Description(), QStringLiteral("field.db"));
        QCOMPARE(second->SynchronizerID(), GuidToString(field.synchronizer));
        QCOMPARE((*set)[2], second);
        int seen = 0;
        for (const auto& entry : *set) {
            QVERIFY(entry.second);
            ++seen;
        }
        QCOMPARE(seen, 2);
        QVERIFY_THROWS_EXCEPTION(std::out_of_range, set->Item(3));
        QVERIFY_THROWS_EXCEPTION(std::out_of_range, set->Item(QStringLiteral("nope")));
        // Every read is a new collection.
        QVERIFY(sync.ReplicaSet() != set);
        QCOMPARE(fx.state->named(QStringLiteral("ReplEnumerate"))[0].args[4].toInt(), 66);
    }

    void failedColumnReadsLeaveTheFieldEmpty()
    {
        ReplFixture fx;
        Synchronizer sync;
        openWithSet(fx, sync, {});
        fx.state->replicaSet << fake::Row{{ListColumn::replicaName, QStringLiteral("no id")}};
        auto set = sync.ReplicaSet();
        QCOMPARE(set->Count(), 2);
        QCOMPARE(set->Item(2)->ReplicaName(), QStringLiteral("no id"));
        QCOMPARE(set->Item(2)->ReplicaID(), EmptyGuidString());
        QCOMPARE(set->Item(2)->UncName(), QString());
    }

    void keyCollisionsGetUnderscores()
    {
        Replicas list;
        auto a = list.makeAndAdd(QStringLiteral("R"));
        auto b = list.makeAndAdd(QStringLiteral("R"));
        auto c = list.makeAndAdd(QStringLiteral("R"));
        auto d = list.makeAndAdd();
        QCOMPARE(list.keyOf(1), QStringLiteral("R"));
        QCOMPARE(list.keyOf(2), QStringLiteral("R_"));
        QCOMPARE(list.keyOf(3), QStringLiteral("R__"));
        QCOMPARE(list.keyOf(4), QString());
        QCOMPARE(list.Item(QStringLiteral("R__")), c);
        QCOMPARE(list.Item(4), d);
        Q_UNUSED(a);
        Q_UNUSED(b);
    }

    void staleCollectionRefusesChanges()
    {
        ReplFixture fx;
        Synchronizer sync;
        const Member field{NewGuid(), Guid(), QStringLiteral("field.db")};
        const QString db = openWithSet(fx, sync, {field});
        auto set = sync.ReplicaSet();
        sync.setDatabaseName(QString());   // closed: the set read before is stale
        QCOMPARE(raisedCode([&] { set->Append(fx.missing(QStringLiteral("new.db"))); }), 5008);
        QCOMPARE(raisedCode([&] { set->Remove(2); }), 5008);
        QCOMPARE(raisedCode([&] { set->Remove(set->Item(2)); }), 5008);
        QCOMPARE(set->Count(), 2);   // reading still works
        QCOMPARE(set->Item(2)->ReplicaName(), QStringLiteral("field.db"));
        QCOMPARE(fx.state->count(QStringLiteral("ReplMakeReplica")), 0);
    }

    void collectionOutlivingItsParent()
    {
        ReplFixture fx;
        std::shared_ptr<Replicas> set;
        {
            Synchronizer sync;
            openWithSet(fx, sync, {});
            set = sync.ReplicaSet();
        }
        QCOMPARE(raisedCode([&] { set->Append(QStringLiteral("x.db")); }), 5008);
        QCOMPARE(raisedCode([&] { set->Remove(1); }), 5008);
        QCOMPARE(set->Count(), 1);
    }

    void appendToReplicaSetMakesAReplica()
    {
        ReplFixture fx;
        Synchronizer sync;
        openWithSet(fx, sync, {});
        auto set = sync.ReplicaSet();
        const QString path = fx.missing(QStringLiteral("new.db"));
        auto added = set->Append(path);
        QVERIFY(added);
        QCOMPARE(added->ReplicaName(), path);
        QCOMPARE(set->Count(), 2);
        const auto made = fx.state->named(QStringLiteral("ReplMakeReplica"))[0].args;
        QCOMPARE(made.mid(2), (QVariantList{path, path, 90, 4096}));
    }

    void managedList()
    {
        ReplFixture fx;
        fx.state->managed = {QStringLiteral("/a/one.db"), QStringLiteral("/b/two.db")};
        Synchronizer sync;
        auto managed = sync.ManagedReplicas();
        QCOMPARE(managed->Count(), 2);
        QCOMPARE(managed->Item(2)->ReplicaName(), QStringLiteral("/b/two.db"));
        QCOMPARE(raisedCode([&] { managed->Item(1)->ReplicaID(); }), 5006);
        QCOMPARE(sync.ManagedReplicas(), managed);   // kept for the object's life
        auto added = managed->Append(QStringLiteral("/c/three.db"));
        QVERIFY(added);
        QCOMPARE(fx.state->managed.last(), QStringLiteral("/c/three.db"));
        QCOMPARE(fx.state->count(QStringLiteral("JetOpenDatabase")), 0);   // not running: no registration
        fx.state->results["ReplSetSynchronizerProperty"] = {-1};
        QVERIFY(!managed->Append(QStringLiteral("/d/refused.db")));   // nothing added, nothing raised
        QCOMPARE(managed->Count(), 3);
        managed->Remove(QVariant(1).toInt());
        QCOMPARE(fx.state->managed, (QStringList{QStringLiteral("/b/two.db"), QStringLiteral("/c/three.db")}));
        QCOMPARE(managed->Count(), 2);
    }

    void managedAppendRegistersWithRunningSynchronizer()
    {
        ReplFixture fx;
        Synchronizer sync;
        sync.setRunning(true);
        const QString path = fx.file(QStringLiteral("managed.db"));
        fx.state->calls.clear();
        sync.ManagedReplicas()->Append(path);
        QCOMPARE(fx.state->names().mid(3),
                 (QStringList{"JetOpenDatabase", "ReplRegisterReplica", "JetCloseDatabase"}));
        QCOMPARE(fx.state->named(QStringLiteral("JetCloseDatabase"))[0].args[1].toString(), path);
    }

    // The managed list belongs to the synchronizer: closing a database does not stale it.
    void managedRemoveAfterDatabaseClosed()
    {
        ReplFixture fx;
        fx.state->managed = {QStringLiteral("/a/one.db")};
        Synchronizer sync;
        auto managed = sync.ManagedReplicas();
        openWithSet(fx, sync, {});
        sync.setDatabaseName(QString());
        QVERIFY(sync.Generation() != managed->generation());
        QCOMPARE(raisedCode([&] { managed->Remove(1); }), 0);
        QVERIFY(fx.state->managed.isEmpty());
    }

    void removeMemberByItsOwnIdentifier_data()
    {
        QTest::addColumn<bool>("hasRow");
        QTest::addColumn<int>("defunct");
        QTest::addColumn<int>("engine");
        QTest::addColumn<int>("code");
        QTest::newRow("no transport row") << false << 0 << 0 << 0;
        QTest::newRow("defunct bit") << true << 256 << 0 << 0;
        QTest::newRow("defunct and more") << true << 257 << 0 << 0;
        QTest::newRow("live transport") << true << 0 << 0 << 5020;
        QTest::newRow("true but no bit") << true << -257 << 0 << 5020;
        QTest::newRow("engine refuses") << false << 0 << -1 << 5021;
    }
    void removeMemberByItsOwnIdentifier()
    {
        QFETCH(bool, hasRow);
        QFETCH(int, defunct);
        QFETCH(int, engine);
        QFETCH(int, code);
        ReplFixture fx;
        Synchronizer sync;
        // Two unmanaged members share the all-zero synchronizer identifier.
        const Member a{NewGuid(), Guid(), QStringLiteral("a.db")};
        const Member b{NewGuid(), Guid(), QStringLiteral("b.db")};
        const QString db = openWithSet(fx, sync, {a, b});
        if (hasRow)
            fx.state->transport = {QVariantMap{{"TransporterId", Guid().toByteArray()},
                                               {"Defunct", QVariant::fromValue<qint16>(qint16(defunct))}}};
        fx.state->results["ReplRemoveReplica"] = {engine};
        auto set = sync.ReplicaSet();
        QCOMPARE(raisedCode([&] { set->Remove(GuidToString(b.replica)); }), code);
        if (code == 5020) {
            QCOMPARE(fx.state->count(QStringLiteral("ReplRemoveReplica")), 0);
            QCOMPARE(set->Count(), 3);
            return;
        }
        const auto removed = fx.state->named(QStringLiteral("ReplRemoveReplica"));
        QCOMPARE(removed.size(), 1);
        QCOMPARE(removed[0].args[1].toString(), db);
        QCOMPARE(removed[0].args[3].toString(), GuidToString(b.replica));   // exactly that member
        QCOMPARE(set->Count(), code ? 3 : 2);
        if (!code)
            QCOMPARE(set->Item(2)->ReplicaName(), QStringLiteral("a.db"));
        QCOMPARE(fx.state->named(QStringLiteral("JetOpenTable"))[0].args[2].toString(),
                 QStringLiteral("SELECT * FROM MSysTranspAddress"));
    }

    void ownReplicaAndDesignMasterAreNotRemoved()
    {
        ReplFixture fx;
        Synchronizer sync;
        Guid own;
        const Member field{NewGuid(), Guid(), QStringLiteral("field.db")};
        openWithSet(fx, sync, {field}, &own);
        auto set = sync.ReplicaSet();
        QCOMPARE(raisedCode([&] { set->Remove(1); }), 5021);   // the open database's own replica
        QCOMPARE(fx.state->count(QStringLiteral("ReplRemoveReplica")), 0);

        // Opened at a replica, the Design Master is another member.
        fx.state->files[sync.DatabaseName()].designMaster = field.replica;
        auto again = sync.ReplicaSet();
        QCOMPARE(raisedCode([&] { again->Remove(2); }), 5021);
        QCOMPARE(fx.state->count(QStringLiteral("ReplRemoveReplica")), 0);
        QCOMPARE(again->Count(), 2);
    }

    void memberWithoutIdentifierIsNotRemoved()
    {
        ReplFixture fx;
        Synchronizer sync;
        openWithSet(fx, sync, {});
        fx.state->replicaSet << fake::Row{{ListColumn::replicaName, QStringLiteral("unknown")}};
        auto set = sync.ReplicaSet();
        QCOMPARE(raisedCode([&] { set->Remove(2); }), 5021);
        QCOMPARE(fx.state->count(QStringLiteral("ReplRemoveReplica")), 0);
    }

    void historyItems()
    {
        ReplFixture fx;
        Synchronizer sync;
        const Member field{NewGuid(), Guid(), QStringLiteral("field.db")};
        openWithSet(fx, sync, {field});
        const Guid exchange = NewGuid();
        HistoryRecord record;
        record.initiatedDate = 45000.5;
        record.synchStatus = synchStatusCompleted;
        record.connectionType = synchConnTypeDirect;
        record.insertsReceived = 4;
        record.conflicts = 1;
        record.partnerNickname = 2;
        record.initiatedHere = 255;
        record.scheduled = 1;
        record.errorText = QStringLiteral("none");
        fx.state->historyRecords.insert(GuidToString(exchange), record);
        fx.state->history = {fake::Row{{ListColumn::exchangeGuid, exchange.toByteArray()}}};
        auto items = sync.HistoryItems(SynchsWithConflicts);
        QCOMPARE(fx.state->named(QStringLiteral("ReplEnumerate"))[0].args[4].toInt(), 84);
        QCOMPARE(items->Count(), 1);
        auto item = items->Item(GuidToString(exchange));
        QCOMPARE(item->ExchangeId(), GuidToString(exchange));
        QCOMPARE(item->SynchStatus(), synchStatusCompleted);
        QCOMPARE(item->InsertsReceived(), 4);
        QCOMPARE(item->Conflicts(), 1);
        QVERIFY(item->InitiatedHere());
        QVERIFY(!item->Scheduled());
        QCOMPARE(item->RemoteReplicaName(), QStringLiteral("/share/field.db"));
        QCOMPARE(item->ReplicaName(), sync.DatabaseName());
        QCOMPARE(item->ErrorText(), QStringLiteral("none"));
        QVERIFY(!item->InitiatedDate().isEmpty());

        QCOMPARE(raisedCode([&] { sync.HistoryItemOfExchangeId(QStringLiteral("not a guid")); }), 5027);
        QCOMPARE(raisedCode([&] { sync.HistoryItemOfExchangeId(GuidToString(NewGuid())); }), 5027);
        QCOMPARE(sync.HistoryItemOfExchangeId(GuidToString(exchange))->InsertsReceived(), 4);
    }

    void historyItemWithoutIdIsReachedByPosition()
    {
        HistoryItems items;
        auto keyed = std::make_shared<HistoryItem>();
        keyed->setExchangeId(QStringLiteral("{00000000-0000-0000-0000-000000000001}"));
        auto unkeyed = std::make_shared<HistoryItem>();
        items.add(keyed);
        items.add(unkeyed);
        QCOMPARE(items.Count(), 2);
        QCOMPARE(items.Item(2), unkeyed);
        QCOMPARE(items.Item(QStringLiteral("{00000000-0000-0000-0000-000000000001}")), keyed);
        QVERIFY_THROWS_EXCEPTION(std::out_of_range, items.Item(QString()));
        items.remove(1);
        QCOMPARE(items.Item(1), unkeyed);
    }
};

QTEST_GUILESS_MAIN(TstCollections)
#include "tst_collections.moc"

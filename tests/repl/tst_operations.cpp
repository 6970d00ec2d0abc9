#include "replfixture.h"
#include "utilities.h"

using namespace Varnock;

// Every event a synchronizer raised, in order, with the counts it carried.
struct EventLog {
    QStringList events;
    QString cancelIn;   // the progress event whose handler sets Cancel
    bool throwIn = false;

    void attach(Synchronizer& s)
    {
        auto plain = [this](const char* name) { return [this, name] { events << QString::fromLatin1(name); }; };
        auto progress = [this](const char* name) {
            return [this, name](std::int32_t& done, std::int32_t& total, bool& cancel) {
                events << QStringLiteral("%1(%2,%3)").arg(QString::fromLatin1(name)).arg(done).arg(total);
                done = 999;   // changes to the counts do not go back
                total = 999;
                if (cancelIn == QLatin1String(name))
                    cancel = true;
                if (throwIn)
                    throw std::runtime_error("handler failed");
            };
        };
        QObject::connect(&s, &Synchronizer::BeginSynch, plain("BeginSynch"));
        QObject::connect(&s, &Synchronizer::EndSynch, plain("EndSynch"));
        QObject::connect(&s, &Synchronizer::SynchFailed, plain("SynchFailed"));
        QObject::connect(&s, &Synchronizer::SynchProgress, progress("SynchProgress"));
        QObject::connect(&s, &Synchronizer::BeginMakeReplica, plain("BeginMakeReplica"));
        QObject::connect(&s, &Synchronizer::EndMakeReplica, plain("EndMakeReplica"));
        QObject::connect(&s, &Synchronizer::MakeReplicaFailed, plain("MakeReplicaFailed"));
        QObject::connect(&s, &Synchronizer::MakeReplicaProgress, progress("MakeReplicaProgress"));
        QObject::connect(&s, &Synchronizer::BeginCompactRepair, plain("BeginCompactRepair"));
        QObject::connect(&s, &Synchronizer::EndCompactRepair, plain("EndCompactRepair"));
        QObject::connect(&s, &Synchronizer::CompactRepairFailed, plain("CompactRepairFailed"));
        QObject::connect(&s, &Synchronizer::CompactRepairProgress, progress("CompactRepairProgress"));
        QObject::connect(&s, &Synchronizer::BeginDdlOperation, plain("BeginDdlOperation"));
        QObject::connect(&s, &Synchronizer::EndDdlOperation, plain("EndDdlOperation"));
        QObject::connect(&s, &Synchronizer::DdlOperationFailed, plain("DdlOperationFailed"));
        QObject::connect(&s, &Synchronizer::DdlOperationProgress, progress("DdlOperationProgress"));
    }
};

class TstOperations : public QObject {
    Q_OBJECT

    static QString openReplica(ReplFixture& fx, Synchronizer& sync, const QString& name = QStringLiteral("master.db"))
    {
        const QString db = fx.file(name);
        fx.makeReplicaFile(db);
        sync.setDatabaseName(db);
        fx.state->calls.clear();
        return db;
    }

private slots:
    void makeReplicaFlags_data()
    {
        QTest::addColumn<bool>("partial");
        QTest::addColumn<bool>("readOnly");
        QTest::addColumn<bool>("preventDeletes");
        QTest::addColumn<int>("visibility");
        QTest::addColumn<int>("flags");
        QTest::newRow("defaults") << false << false << false << 1 << 4096;
        QTest::newRow("visibility 0") << false << false << false << 0 << 4096;
        QTest::newRow("local") << false << false << false << 2 << 4096 + 8192;
        QTest::newRow("anonymous") << false << false << false << 3 << 4096 + 16384;
        QTest::newRow("other visibility") << false << false << false << 7 << 4096;
        QTest::newRow("partial") << true << false << false << 1 << 4096 + 1;
        QTest::newRow("read-only") << false << true << false << 1 << 4096 + 2;
        QTest::newRow("prevent deletes") << false << false << true << 1 << 4096 + 4;
        QTest::newRow("all") << true << true << true << 2 << 4096 + 8192 + 7;
    }
    void makeReplicaFlags()
    {
        QFETCH(bool, partial);
        QFETCH(bool, readOnly);
        QFETCH(bool, preventDeletes);
        QFETCH(int, visibility);
        QFETCH(int, flags);
        ReplFixture fx;
        Synchronizer sync;
        const QString db = openReplica(fx, sync);
        sync.MakeReplica(fx.missing(QStringLiteral("r.db")), QStringLiteral("Field"), -1, partial, readOnly,
                         preventDeletes, visibility);
        const auto made = fx.state->named(QStringLiteral("ReplMakeReplica"));
        QCOMPARE(made.size(), 1);
        QCOMPARE(made[0].args.mid(1), (QVariantList{db, fx.missing(QStringLiteral("r.db")), QStringLiteral("Field"),
                                                    90, flags}));
    }

    void makeReplicaPriority_data()
    {
        QTest::addColumn<int>("given");
        QTest::addColumn<int>("passed");
        QTest::newRow("default -1") << -1 << 90;
        QTest::newRow("0") << 0 << 90;
        QTest::newRow("1") << 1 << 1;
        QTest::newRow("100") << 100 << 100;
        QTest::newRow("101") << 101 << 90;
    }
    void makeReplicaPriority()
    {
        QFETCH(int, given);
        QFETCH(int, passed);
        ReplFixture fx;
        Synchronizer sync;
        openReplica(fx, sync);
        std::int32_t priority = given;
        sync.MakeReplica(fx.missing(QStringLiteral("r.db")), QString(), priority);
        QCOMPARE(fx.state->named(QStringLiteral("ReplMakeReplica"))[0].args[4].toInt(), passed);
        QCOMPARE(priority, passed);   // the caller's variable is changed
        QCOMPARE(fx.state->named(QStringLiteral("ReplMakeReplica"))[0].args[3].toString(), QStringLiteral(""));
    }

    void makeReplicaOrderAndCallback()
    {
        ReplFixture fx;
        Synchronizer sync;
        openReplica(fx, sync);
        fx.state->results["ReplMakeReplica"] = {-1024};
        QCOMPARE(raisedCode([&] { sync.MakeReplica(fx.missing(QStringLiteral("r.db"))); }), 5022);
        QCOMPARE(fx.state->names(), (QStringList{QStringLiteral("JetSetSystemParameter"),
                                                 QStringLiteral("ReplMakeReplica"),
                                                 QStringLiteral("JetSetSystemParameter")}));
        const auto params = fx.state->named(QStringLiteral("JetSetSystemParameter"));
        QCOMPARE(params[0].args[2].toInt(), 2);
        QVERIFY(params[0].args[3].toBool());    // the callback set for the call
        QVERIFY(!params[1].args[3].toBool());   // and cleared before the result is checked
    }

    void makeReplicaNeedsOpenDatabase()
    {
        ReplFixture fx;
        Synchronizer sync;
        QCOMPARE(raisedCode([&] { sync.MakeReplica(fx.missing(QStringLiteral("r.db"))); }), 5004);
        QCOMPARE(fx.state->count(QStringLiteral("ReplMakeReplica")), 0);
    }

    void synchDirectDirection_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("bits");
        QTest::newRow("export") << 0 << 1;
        QTest::newRow("import") << 1 << 2;
        QTest::newRow("both") << 2 << 4;
    }
    void synchDirectDirection()
    {
        QFETCH(int, type);
        QFETCH(int, bits);
        ReplFixture fx;
        Synchronizer sync;
        const QString db = openReplica(fx, sync);
        const QString replica = fx.file(QStringLiteral("field.db"));
        QVERIFY(sync.SynchDirect(replica, type));
        const auto direct = fx.state->named(QStringLiteral("ReplSynchDirect"));
        QCOMPARE(direct[0].args.mid(1), (QVariantList{db, replica, bits}));
    }

    void synchDirectDefaultsToBothWays()
    {
        ReplFixture fx;
        Synchronizer sync;
        openReplica(fx, sync);
        QVERIFY(sync.SynchDirect(fx.file(QStringLiteral("field.db"))));
        QCOMPARE(fx.state->named(QStringLiteral("ReplSynchDirect"))[0].args[3].toInt(), 4);
    }

    void synchDirectMissingReplicaRaisesBeforeAnyEvent()
    {
        ReplFixture fx;
        Synchronizer sync;
        openReplica(fx, sync);
        EventLog log;
        log.attach(sync);
        fx.state->progress["ReplSynchDirect"] = {{13, 5}};
        QCOMPARE(raisedCode([&] { sync.SynchDirect(fx.missing(QStringLiteral("gone.db"))); }), 5001);
        QVERIFY(log.events.isEmpty());
        QVERIFY(fx.state->calls.isEmpty());
    }

    void synchDirectResults()
    {
        ReplFixture fx;
        Synchronizer sync;
        openReplica(fx, sync);
        const QString replica = fx.file(QStringLiteral("field.db"));
        fx.state->results["ReplSynchDirect"] = {-20015, -1};
        QVERIFY(!sync.SynchDirect(replica));   // ignored by the check, still not a success
        QCOMPARE(raisedCode([&] { sync.SynchDirect(replica); }), 5003);
        // No open database is needed: the engine works on the two paths.
        sync.setDatabaseName(QString());
        QVERIFY(sync.SynchDirect(replica));
    }

    void eventDispatch_data()
    {
        QTest::addColumn<int>("operation");
        QTest::addColumn<QStringList>("events");
        QTest::newRow("exchange") << 13
                                  << QStringList{"BeginSynch", "SynchProgress(3,10)", "SynchFailed", "EndSynch"};
        QTest::newRow("make replica") << 11
                                      << QStringList{"BeginMakeReplica", "MakeReplicaProgress(3,10)",
                                                     "MakeReplicaFailed", "EndMakeReplica"};
        QTest::newRow("compact") << 4
                                 << QStringList{"BeginCompactRepair", "CompactRepairProgress(3,10)",
                                                "CompactRepairFailed", "EndCompactRepair"};
        QTest::newRow("repair") << 2
                                << QStringList{"BeginCompactRepair", "CompactRepairProgress(3,10)",
                                               "CompactRepairFailed", "EndCompactRepair"};
        QTest::newRow("ddl") << 1
                             << QStringList{"BeginDdlOperation", "DdlOperationProgress(3,10)", "DdlOperationFailed",
                                            "EndDdlOperation"};
        QTest::newRow("unknown operation") << 99 << QStringList{};
    }
    void eventDispatch()
    {
        QFETCH(int, operation);
        QFETCH(QStringList, events);
        ReplFixture fx;
        Synchronizer sync;
        openReplica(fx, sync);
        EventLog log;
        log.attach(sync);
        // Statuses 5, 0, 3, 6 and two that raise nothing.
        fx.state->progress["ReplSynchDirect"] = {{operation, 5}, {operation, 0, 3, 10}, {operation, 3},
                                                 {operation, 6},  {operation, 7}, {operation, 1}};
        sync.SynchDirect(fx.file(QStringLiteral("field.db")));
        QCOMPARE(log.events, events);
        QCOMPARE(fx.state->callbackAnswers, (QList<std::int32_t>{0, 0, 0, 0, 0, 0}));
    }

    void exchangePhases()
    {
        ReplFixture fx;
        Synchronizer sync;
        openReplica(fx, sync);
        EventLog log;
        log.cancelIn = QStringLiteral("SynchProgress");
        log.attach(sync);
        fx.state->progress["ReplSynchDirect"] = {{14, 11}, {14, 16}, {14, 13}, {14, 14}, {14, 15}, {14, 17}, {14, 12}};
        sync.SynchDirect(fx.file(QStringLiteral("field.db")));
        QCOMPARE(log.events, (QStringList{"BeginSynch", "SynchProgress(0,-1)", "SynchProgress(1,-1)",
                                          "SynchProgress(2,-1)", "SynchProgress(3,-1)", "EndSynch"}));
        // A Cancel set for a phase is not honoured.
        QCOMPARE(fx.state->callbackAnswers, (QList<std::int32_t>{0, 0, 0, 0, 0, 0, 0}));
    }

    void cancelFromProgressHandler()
    {
        ReplFixture fx;
        Synchronizer sync;
        openReplica(fx, sync);
        EventLog log;
        log.cancelIn = QStringLiteral("MakeReplicaProgress");
        log.attach(sync);
        fx.state->progress["ReplMakeReplica"] = {{11, 5}, {11, 0, 1, 4}, {11, 0, 2, 4}, {11, 3}};
        fx.state->results["ReplMakeReplica"] = {-9999};   // the engine's own result after a cancel
        QCOMPARE(raisedCode([&] { sync.MakeReplica(fx.missing(QStringLiteral("r.db"))); }), 5003);
        QCOMPARE(fx.state->callbackAnswers,
                 (QList<std::int32_t>{0, std::int32_t(0x8004139Au), std::int32_t(0x8004139Au), 0}));
        QCOMPARE(log.events, (QStringList{"BeginMakeReplica", "MakeReplicaProgress(1,4)", "MakeReplicaProgress(2,4)",
                                          "MakeReplicaFailed"}));
    }

    void handlerErrorsDoNotReachTheEngine()
    {
        ReplFixture fx;
        Synchronizer sync;
        openReplica(fx, sync);
        EventLog log;
        log.cancelIn = QStringLiteral("SynchProgress");
        log.throwIn = true;
        log.attach(sync);
        fx.state->progress["ReplSynchDirect"] = {{13, 0, 1, 2}};
        QVERIFY(sync.SynchDirect(fx.file(QStringLiteral("field.db"))));
        QCOMPARE(fx.state->callbackAnswers, QList<std::int32_t>{0});
    }

    void callbackForAnEndedObjectRaisesNothing()
    {
        ReplFixture fx;
        ProgressCallback callback = nullptr;
        std::int32_t session = 0;
        {
            Synchronizer sync;
            openReplica(fx, sync);
            sync.SynchDirect(fx.file(QStringLiteral("field.db")));
            callback = fx.state->callback ? fx.state->callback : nullptr;
            session = fx.state->named(QStringLiteral("ReplSynchDirect"))[0].args[0].toInt();
            sync.MakeReplica(fx.missing(QStringLiteral("r.db")));   // leaves the callback address behind
            QVERIFY(fx.state->named(QStringLiteral("JetSetSystemParameter"))[0].args[3].toBool());
        }
        Synchronizer other;   // a live object of another session is not disturbed
        EventLog log;
        log.attach(other);
        QVERIFY(session != 0);
        // The library's callback, reached through a compaction's argument.
        other.CompactDatabase(fx.file(QStringLiteral("c.db")), fx.missing(QStringLiteral("d.db")));
        callback = fx.state->callback;
        QVERIFY(callback);
        ProgressInfo info{0, 1, 2};
        QCOMPARE(callback(session, 13, 0, &info), 0);
        QCOMPARE(callback(session, 13, 5, nullptr), 0);
        QVERIFY(log.events.isEmpty());
    }

    void synchInternet_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("server");
        QTest::addColumn<QString>("guid");
        const QString g = QStringLiteral("{00112233-4455-6677-8899-AABBCCDDEEFF}");
        QTest::newRow("guid") << g << "" << g;
        QTest::newRow("server") << "http://server/share" << "http://server/share" << EmptyGuidString();
    }
    void synchInternet()
    {
        QFETCH(QString, target);
        QFETCH(QString, server);
        QFETCH(QString, guid);
        ReplFixture fx;
        Synchronizer sync;
        const QString db = openReplica(fx, sync);
        QVERIFY(sync.SynchInternet(target, synchTypeReplExport));
        const auto call = fx.state->named(QStringLiteral("ReplSynchInternet"))[0].args;
        QCOMPARE(call[2].toString(), db);
        QCOMPARE(call[3].toString(), server);
        QVERIFY(!call[4].toBool());   // an empty text, never "no text"
        QCOMPARE(call[5].toString(), guid);
        QCOMPARE(call[6].toInt(), 1);
        fx.state->results["ReplSynchInternet"] = {-20149};
        QVERIFY(!sync.SynchInternet(target));   // refused: False, nothing raised
    }

    void synchInternetNeedsOpenDatabase()
    {
        ReplFixture fx;
        Synchronizer sync;
        QCOMPARE(raisedCode([&] { sync.SynchInternet(QStringLiteral("x")); }), 5004);
    }

    void moveReplicaNeverRaises()
    {
        ReplFixture fx;
        Synchronizer sync;
        QVERIFY(sync.MoveReplica(QStringLiteral("/a.db"), QStringLiteral("/b.db")));
        fx.state->results["ReplMoveReplica"] = {-1032};
        QVERIFY(!sync.MoveReplica(QStringLiteral("/a.db"), QStringLiteral("/c.db")));
        QCOMPARE(fx.state->named(QStringLiteral("ReplMoveReplica"))[1].args.mid(1),
                 (QVariantList{QStringLiteral("/a.db"), QStringLiteral("/c.db")}));
    }

    void populatePartial()
    {
        ReplFixture fx;
        Synchronizer sync;
        const QString full = fx.file(QStringLiteral("full.db"));
        const QString partial = fx.file(QStringLiteral("partial.db"));
        QCOMPARE(raisedCode([&] { sync.PopulatePartial(full, fx.missing(QStringLiteral("no.db"))); }), 5001);
        sync.PopulatePartial(full, partial);
        QCOMPARE(fx.state->names().mid(2),
                 (QStringList{"JetOpenDatabase", "JetOpenDatabase", "ReplPopulatePartial", "JetCloseDatabase",
                              "JetCloseDatabase"}));
        const auto opens = fx.state->named(QStringLiteral("JetOpenDatabase"));
        QCOMPARE(opens[0].args[1].toString(), full);
        QCOMPARE(opens[0].args[3].toInt(), 2);
        QCOMPARE(opens[1].args[1].toString(), partial);
        QCOMPARE(fx.state->named(QStringLiteral("ReplPopulatePartial"))[0].args.mid(1),
                 (QVariantList{partial, full, 1}));
        sync.PopulatePartial(full, partial, true);
        QCOMPARE(fx.state->named(QStringLiteral("ReplPopulatePartial"))[1].args[3].toInt(), 0);
        // A refused populate is reported, and both files are still closed.
        fx.state->calls.clear();
        fx.state->results["ReplPopulatePartial"] = {-20003};
        QCOMPARE(raisedCode([&] { sync.PopulatePartial(full, partial); }), 5005);
        QCOMPARE(fx.state->count(QStringLiteral("JetCloseDatabase")), 2);
    }

    void compactAndRepair()
    {
        ReplFixture fx;
        Synchronizer sync;
        EventLog log;
        log.attach(sync);
        const QString src = fx.file(QStringLiteral("src.db"));
        fx.state->progress["JetCompactDatabase"] = {{4, 5}, {4, 0, 5, 5}, {4, 6}};
        sync.CompactDatabase(src, fx.missing(QStringLiteral("dst.db")));
        const auto compact = fx.state->named(QStringLiteral("JetCompactDatabase"))[0].args;
        QCOMPARE(compact.mid(1), (QVariantList{src, true, fx.missing(QStringLiteral("dst.db")), true, true, 0}));
        QCOMPARE(log.events, (QStringList{"BeginCompactRepair", "CompactRepairProgress(5,5)", "EndCompactRepair"}));
        fx.state->results["JetRepairDatabase"] = {-3809};
        QCOMPARE(raisedCode([&] { sync.RepairDatabase(src); }), 5023);
        QVERIFY(fx.state->named(QStringLiteral("JetRepairDatabase"))[0].args[2].toBool());
    }

    // A database opened only to run one statement is closed again.
    void executeDdlSqlClosesItsDatabase()
    {
        ReplFixture fx;
        Synchronizer sync;
        EventLog log;
        log.attach(sync);
        const QString db = fx.file(QStringLiteral("ddl.db"));
        QCOMPARE(raisedCode([&] { sync.ExecuteDdlSql(fx.missing(QStringLiteral("no.db")), QStringLiteral("x")); }),
                 5001);
        fx.state->progress["JetExecuteStatement"] = {{1, 5}, {1, 0, 1, 1}, {1, 6}};
        sync.ExecuteDdlSql(db, QStringLiteral("CREATE TABLE t(a)"));
        QCOMPARE(fx.state->names().mid(2),
                 (QStringList{"JetOpenDatabase", "JetPrepareStatement", "JetSetStatementText", "JetSetSystemParameter",
                              "JetExecuteStatement", "JetSetSystemParameter", "JetCloseTable", "JetCloseDatabase"}));
        const auto text = fx.state->named(QStringLiteral("JetSetStatementText"))[0].args;
        QCOMPARE(text[2].toString(), QStringLiteral("CREATE TABLE t(a)"));
        QVERIFY(text[4].toBool());   // an empty connect text goes as none
        QCOMPARE(fx.state->named(QStringLiteral("JetExecuteStatement"))[0].args[3].toInt(), 256);
        QCOMPARE(fx.state->named(QStringLiteral("JetCloseDatabase"))[0].args[1].toString(), db);
        QCOMPARE(log.events, (QStringList{"BeginDdlOperation", "DdlOperationProgress(1,1)", "EndDdlOperation"}));

        fx.state->calls.clear();
        fx.state->results["JetSetStatementText"] = {-1032};
        QCOMPARE(raisedCode([&] { sync.ExecuteDdlSql(db, QStringLiteral("x"), QStringLiteral(";PWD=a")); }), 5002);
        QCOMPARE(fx.state->named(QStringLiteral("JetSetStatementText"))[0].args[3].toString(), QStringLiteral(";PWD=a"));
        QCOMPARE(fx.state->count(QStringLiteral("JetExecuteStatement")), 0);
        QCOMPARE(fx.state->count(QStringLiteral("JetCloseDatabase")), 1);
    }

    void synchIndirect2FindsThePartner()
    {
        ReplFixture fx;
        Synchronizer sync;
        openReplica(fx, sync);
        const Guid partnerSync = NewGuid();
        const Guid partnerReplica = NewGuid();
        fx.state->replicaSet = {fake::Row{{ListColumn::replicaGuid, partnerReplica.toByteArray()},
                                          {ListColumn::replicaName, QStringLiteral("Field.db")},
                                          {ListColumn::uncName, QStringLiteral("/share/Field.db")},
                                          {ListColumn::synchronizerGuid, partnerSync.toByteArray()}}};
        fx.state->nextExchange = NewGuid();
        QCOMPARE(sync.SynchIndirect2(QStringLiteral("field.DB"), synchTypeReplImport),
                 GuidToString(fx.state->nextExchange));
        const auto call = fx.state->named(QStringLiteral("ReplSynchIndirect"))[0].args;
        QCOMPARE(call[2].toString(), GuidToString(partnerSync));
        QCOMPARE(call[3].toInt(), 2 + 256);
        QCOMPARE(call[4].toByteArray(), QByteArray("YOUPICK"));
        // By the replica's identifier too; through the known-replica list first.
        sync.SynchIndirect(GuidToString(partnerReplica));
        QCOMPARE(fx.state->named(QStringLiteral("ReplSynchIndirect"))[1].args[2].toString(), GuidToString(partnerSync));
        const Guid known = NewGuid();
        fx.state->knownReplicas = {fake::Row{{ListColumn::knownName, QStringLiteral("Laptop")},
                                             {ListColumn::knownGuid, known.toByteArray()}}};
        sync.SynchIndirect(QStringLiteral("LAPTOP"));
        QCOMPARE(fx.state->named(QStringLiteral("ReplSynchIndirect"))[2].args[2].toString(), GuidToString(known));
        QCOMPARE(raisedCode([&] { sync.SynchIndirect(QStringLiteral("nobody")); }), 5003);
    }
};

QTEST_GUILESS_MAIN(TstOperations)
#include "tst_operations.moc"

#include "replfixture.h"
#include "utilities.h"

using namespace Varnock;

class TstSynchronizer : public QObject {
    Q_OBJECT

private slots:
    void newObjectDefaults()
    {
        ReplFixture fx;
        Synchronizer sync;
        QCOMPARE(sync.SystemDB(), QString());
        QCOMPARE(sync.uid(), QStringLiteral("Admin"));
        QVERIFY(!sync.Running());
        QCOMPARE(sync.DatabaseName(), QString());
        QCOMPARE(fx.state->names(), QStringList{QStringLiteral("JetInitEngine")});   // no session yet
        QCOMPARE(sync.Version(), QStringLiteral("1.0.0"));
        QVERIFY(sync.About().startsWith(QStringLiteral("The Ostwick Software, Inc. Synchronizer\r\nVersion 1.0.0\r\n")));
    }

    void sessionBeginsLazilyWithEmptyPassword()
    {
        ReplFixture fx;
        Synchronizer sync;
        sync.setSystemDB(fx.missing(QStringLiteral("system.db")));   // no such file: not given to the engine
        sync.setUid(QStringLiteral("field"));
        sync.Register();   // needs no session
        QCOMPARE(fx.state->count(QStringLiteral("JetBeginSession")), 0);
        sync.MoveReplica(QStringLiteral("a"), QStringLiteral("b"));
        const auto begin = fx.state->named(QStringLiteral("JetBeginSession"));
        QCOMPARE(begin.size(), 1);
        QCOMPARE(begin[0].args[1].toString(), QStringLiteral("field"));
        QCOMPARE(begin[0].args[2].toString(), QString());
        QVERIFY(!begin[0].args[3].toBool());   // an empty text, not "no text"
        QCOMPARE(fx.state->count(QStringLiteral("JetSetSystemParameter")), 0);
        // Once the session exists these settings are closed.
        const QString db = fx.file(QStringLiteral("a.db"));
        fx.makeReplicaFile(db);
        sync.setDatabaseName(db);
        for (auto set : {&Synchronizer::setSystemDB, &Synchronizer::setUid, &Synchronizer::setPassword})
            QCOMPARE(raisedCode([&] { (sync.*set)(QStringLiteral("x")); }), 5024);
        QCOMPARE(sync.uid(), QStringLiteral("field"));
    }

    void systemDatabaseGivenWhenItExists()
    {
        ReplFixture fx;
        const QString system = fx.file(QStringLiteral("system.db"));
        WriteMachineText(QStringLiteral("SOFTWARE\\Microsoft\\Office\\9.0\\Access\\Jet\\4.0\\Engines"),
                         QStringLiteral("SystemDB"), system);
        Synchronizer sync;
        QCOMPARE(sync.SystemDB(), system);
        sync.setPassword(QStringLiteral("secret"));
        const QString db = fx.file(QStringLiteral("a.db"));
        fx.makeReplicaFile(db);
        sync.setDatabaseName(db);
        const auto param = fx.state->named(QStringLiteral("JetSetSystemParameter"));
        QCOMPARE(param.size(), 1);
        QCOMPARE(param[0].args[1].toInt(), 0);    // session 0
        QCOMPARE(param[0].args[2].toInt(), 0);    // the system database parameter
        QCOMPARE(param[0].args[4].toString(), system);
        QCOMPARE(fx.state->named(QStringLiteral("JetBeginSession"))[0].args[2].toString(), QStringLiteral("secret"));
    }

    void databaseNameOpensAndKeepsTheSamePath()
    {
        ReplFixture fx;
        const QString db = fx.file(QStringLiteral("tunnel.db"));
        fx.makeReplicaFile(db);
        Synchronizer sync;
        sync.setDatabaseName(db);
        QCOMPARE(sync.DatabaseName(), db);
        QCOMPARE(fx.state->count(QStringLiteral("JetOpenDatabase")), 1);
        sync.setDatabaseName(db);   // the same text: nothing happens
        QCOMPARE(fx.state->count(QStringLiteral("JetOpenDatabase")), 1);
        QCOMPARE(fx.state->count(QStringLiteral("JetCloseDatabase")), 0);
        QCOMPARE(sync.ReplicaID(), GuidToString(fx.state->files[db].replica));
    }

    // File names differ by case: "Tunnel.db" is another file and must be opened, not taken for "tunnel.db".
    void databaseNameComparesPathsExactly()
    {
        ReplFixture fx;
        const QString lower = fx.file(QStringLiteral("tunnel.db"));
        const QString upper = fx.file(QStringLiteral("Tunnel.db"));
        const Guid lowerId = fx.makeReplicaFile(lower);
        const Guid upperId = fx.makeReplicaFile(upper);
        Synchronizer sync;
        sync.setDatabaseName(lower);
        sync.setDatabaseName(upper);
        QCOMPARE(sync.DatabaseName(), upper);
        QCOMPARE(fx.state->count(QStringLiteral("JetOpenDatabase")), 2);
        QCOMPARE(fx.state->named(QStringLiteral("JetCloseDatabase"))[0].args[1].toString(), lower);
        QCOMPARE(sync.ReplicaID(), GuidToString(upperId));
        QVERIFY(sync.ReplicaID() != GuidToString(lowerId));
    }

    void emptyNameClosesAndKeepsTheText()
    {
        ReplFixture fx;
        const QString db = fx.file(QStringLiteral("tunnel.db"));
        fx.makeReplicaFile(db);
        Synchronizer sync;
        sync.setDatabaseName(db);
        const int generation = sync.Generation();
        sync.setDatabaseName(QString());
        QCOMPARE(sync.DatabaseName(), db);
        QCOMPARE(sync.Generation(), generation + 1);
        QCOMPARE(fx.state->named(QStringLiteral("JetCloseDatabase"))[0].args[2].toInt(), 1);
        QCOMPARE(raisedCode([&] { sync.ReplicaID(); }), 5004);
        sync.setDatabaseName(db);   // equal to the kept text: the database stays closed
        QCOMPARE(raisedCode([&] { sync.ReplicaID(); }), 5004);
        QCOMPARE(fx.state->count(QStringLiteral("JetOpenDatabase")), 1);
    }

    void missingFileRaisesAndLeavesNothingOpen()
    {
        ReplFixture fx;
        const QString db = fx.file(QStringLiteral("tunnel.db"));
        fx.makeReplicaFile(db);
        Synchronizer sync;
        sync.setDatabaseName(db);
        QCOMPARE(raisedCode([&] { sync.setDatabaseName(fx.missing(QStringLiteral("gone.db"))); }), 5001);
        QCOMPARE(sync.DatabaseName(), db);
        QCOMPARE(raisedCode([&] { sync.ReplicaID(); }), 5004);
        QCOMPARE(fx.state->count(QStringLiteral("JetOpenDatabase")), 1);
    }

    void plainDatabaseBecomesDesignMaster()
    {
        ReplFixture fx;
        const QString db = fx.file(QStringLiteral("plain.db"));
        Synchronizer sync;
        sync.setDatabaseName(db);
        const QStringList expected{QStringLiteral("JetBeginSession"),     QStringLiteral("JetOpenDatabase"),
                                   QStringLiteral("ReplGetReplicaProperty"), QStringLiteral("JetCloseDatabase"),
                                   QStringLiteral("JetOpenDatabase"),     QStringLiteral("JetSetObjectProperty"),
                                   QStringLiteral("JetCloseDatabase"),    QStringLiteral("JetOpenDatabase")};
        QCOMPARE(fx.state->names().mid(1), expected);
        const auto opens = fx.state->named(QStringLiteral("JetOpenDatabase"));
        QCOMPARE(opens[0].args[3].toInt(), 0);
        QCOMPARE(opens[1].args[3].toInt(), 2);   // exclusive for the change
        QCOMPARE(opens[2].args[3].toInt(), 0);
        QCOMPARE(opens[0].args[2].toString(), QStringLiteral(""));
        QVERIFY(!opens[0].args[2].toString().isNull());
        const auto prop = fx.state->named(QStringLiteral("JetSetObjectProperty"))[0].args;
        QCOMPARE(prop.mid(2), (QVariantList{QStringLiteral("Databases"), QStringLiteral("MSysDb"),
                                            QStringLiteral("Replicable"), QStringLiteral("T")}));
        QVERIFY(IsGuidString(sync.ReplicaID()));
        QVERIFY(sync.IsDesignMaster());
        QCOMPARE(sync.DatabaseName(), db);
    }

    void identityOfNonReplicaRaises5017()
    {
        ReplFixture fx;
        const QString db = fx.file(QStringLiteral("plain.db"));
        fx.state->results["JetSetObjectProperty"] = {-1};   // the change refused
        Synchronizer sync;
        QCOMPARE(raisedCode([&] { sync.setDatabaseName(db); }), 5003);
        QCOMPARE(raisedCode([&] { sync.DesignMasterID(); }), 5017);
        QCOMPARE(raisedCode([&] { sync.ReplicaID(); }), 5017);
        QCOMPARE(raisedCode([&] { sync.IsDesignMaster(); }), 5017);
        fx.state->files[db].replica = NewGuid();   // a replica whose master is elsewhere
        fx.state->files[db].designMaster = NewGuid();
        QVERIFY(!sync.IsDesignMaster());
    }

    void replicaSettings()
    {
        ReplFixture fx;
        const QString db = fx.file(QStringLiteral("tunnel.db"));
        fx.makeReplicaFile(db);
        Synchronizer sync;
        QCOMPARE(raisedCode([&] { sync.Description(); }), 5004);
        sync.setDatabaseName(db);
        sync.setDescription(QStringLiteral("Field"));
        sync.setDescriptionOfReplicaSet(QStringLiteral("KRV"));
        sync.setRetentionPeriod(60);
        QCOMPARE(sync.Description(), QStringLiteral("Field"));
        QCOMPARE(sync.DescriptionOfReplicaSet(), QStringLiteral("KRV"));
        QCOMPARE(sync.RetentionPeriod(), std::int16_t(60));
        fx.state->results["ReplGetReplicaProperty"] = {-3600};   // ignored: the empty text
        QCOMPARE(sync.Description(), QString());
        fx.state->results["ReplSetReplicaProperty"] = {-20003};
        QCOMPARE(raisedCode([&] { sync.setDescription(QStringLiteral("x")); }), 5005);
    }

    void synchronizerProperties()
    {
        ReplFixture fx;
        Synchronizer sync;
        QCOMPARE(sync.LogFile(), QString());   // a failed read gives the empty text
        sync.setLogFile(QStringLiteral("/tmp/KRV_ReplicaLog.txt"));
        QCOMPARE(sync.LogFile(), QStringLiteral("/tmp/KRV_ReplicaLog.txt"));
        sync.setName(QStringLiteral("Field laptop"));
        QCOMPARE(sync.Name(), QStringLiteral("Field laptop"));
        QCOMPARE(fx.state->count(QStringLiteral("JetBeginSession")), 0);   // no session needed
        fx.state->results["ReplSetSynchronizerProperty"] = {-1032};
        QCOMPARE(raisedCode([&] { sync.setLogFile(QStringLiteral("x")); }), 5002);
    }

    void indirectDropbox_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("inUse");
        QTest::newRow("server and share") << "\\\\server\\share" << 0 << 1;
        QTest::newRow("further folder") << "\\\\server\\share\\folder" << 5026 << -1;
        QTest::newRow("empty") << "" << 0 << 0;
    }
    void indirectDropbox()
    {
        QFETCH(QString, path);
        QFETCH(int, code);
        QFETCH(int, inUse);
        ReplFixture fx;
        Synchronizer sync;
        QCOMPARE(raisedCode([&] { sync.setIndirectDropbox(path); }), code);
        if (code) {
            QCOMPARE(fx.state->count(QStringLiteral("ReplSetSynchronizerProperty")), 0);   // nothing written
            return;
        }
        QCOMPARE(sync.IndirectDropbox(), path);
        QCOMPARE(fx.state->syncProps.value(JetConst::syncPropIndirectInUse).toInt(), inUse);
    }

    void internetInUseOnlyWithAllThree()
    {
        ReplFixture fx;
        Synchronizer sync;
        sync.setInternetServer(QStringLiteral("server"));
        QCOMPARE(fx.state->syncProps.value(JetConst::syncPropInternetInUse).toInt(), 0);
        sync.setInternetHttpDropbox(QStringLiteral("http"));
        QCOMPARE(fx.state->syncProps.value(JetConst::syncPropInternetInUse).toInt(), 0);
        sync.setInternetFtpDropbox(QStringLiteral("ftp"));
        QCOMPARE(fx.state->syncProps.value(JetConst::syncPropInternetInUse).toInt(), 1);
        QCOMPARE(sync.InternetServer(), QStringLiteral("server"));
        QCOMPARE(sync.InternetHttpDropbox(), QStringLiteral("http"));
        QCOMPARE(sync.InternetFtpDropbox(), QStringLiteral("ftp"));
        sync.setInternetServer(QString());
        QCOMPARE(fx.state->syncProps.value(JetConst::syncPropInternetInUse).toInt(), 0);
        sync.setIndirectDropboxPwd(QStringLiteral("p1"));
        sync.setInternetHttpDropboxPwd(QStringLiteral("p2"));
        QCOMPARE(fx.state->syncProps.value(JetConst::syncPropIndirectDropboxPwd).toString(), QStringLiteral("p1"));
        QCOMPARE(fx.state->syncProps.value(JetConst::syncPropHttpDropboxPwd).toString(), QStringLiteral("p2"));
    }

    void synchronizerIdMadeOnceAsGuidBytes()
    {
        ReplFixture fx;
        Synchronizer sync;
        const QString id = sync.SynchronizerID();
        QVERIFY(IsGuidString(id));
        QCOMPARE(fx.state->syncProps.value(JetConst::syncPropId).toByteArray().size(), 16);
        QCOMPARE(sync.SynchronizerID(), id);
        QCOMPARE(fx.state->count(QStringLiteral("ReplSetSynchronizerProperty")), 1);
    }

    void runningStartsAndStopsOnce()
    {
        ReplFixture fx;
        Synchronizer sync;
        sync.setRunning(true);
        QVERIFY(sync.Running());
        sync.setRunning(true);
        QCOMPARE(fx.state->count(QStringLiteral("ReplStartSynchronizer")), 1);
        QVERIFY(fx.state->syncProps.contains(JetConst::syncPropId));   // an identifier before the start
        sync.setRunning(false);
        sync.setRunning(false);
        QVERIFY(!sync.Running());
        const auto stops = fx.state->named(QStringLiteral("ReplStopSynchronizer"));
        QCOMPARE(stops.size(), 1);
        QCOMPARE(stops[0].args[0].toInt(), 3);
        QVERIFY(sync.setProperty("Running", true));
        QVERIFY(sync.property("Running").toBool());
    }

    void refusedStartLeavesItStopped()
    {
        ReplFixture fx;
        Synchronizer sync;
        fx.state->results["ReplStartSynchronizer"] = {-1030};
        QCOMPARE(raisedCode([&] { sync.setRunning(true); }), 5019);
        QVERIFY(!sync.Running());
    }

    void endOfObjectOrder()
    {
        ReplFixture fx;
        const QString db = fx.file(QStringLiteral("tunnel.db"));
        fx.makeReplicaFile(db);
        {
            Synchronizer sync;
            sync.setDatabaseName(db);
            sync.setRunning(true);
            fx.state->calls.clear();
        }
        QCOMPARE(fx.state->names(),
                 (QStringList{QStringLiteral("JetSetSystemParameter"), QStringLiteral("JetCloseDatabase"),
                              QStringLiteral("JetEndSession"), QStringLiteral("ReplStopSynchronizer"),
                              QStringLiteral("JetTermEngine")}));
        QCOMPARE(fx.state->named(QStringLiteral("ReplStopSynchronizer"))[0].args[0].toInt(), 0);
        QCOMPARE(fx.state->engines, 0);
    }

    void endOfObjectSwallowsEngineFailures()
    {
        ReplFixture fx;
        fx.state->results["JetBeginSession"] = {0, -1};
        {
            Synchronizer sync;
            fx.state->results["JetSetSystemParameter"] = {-1};
        }
        QCOMPARE(fx.state->engines, 0);
    }

    void synchronizerModuleFoundThroughTheStore()
    {
        ReplFixture fx;
        const QString module = fx.file(QStringLiteral("synchronizer.exe"));
        WriteMachineText(QStringLiteral("SOFTWARE\\Microsoft\\Jet\\4.0\\Replication Manager"),
                         QStringLiteral("SynchronizerPath"), module);
        Synchronizer sync;
        // Found through the store: the stored path is not rewritten.
        QCOMPARE(ReadMachineText(QStringLiteral("SOFTWARE\\Microsoft\\Jet\\4.0\\Replication Manager"),
                                 QStringLiteral("SynchronizerPath")),
                 module);
    }

    void stToRgbytMember()
    {
        ReplFixture fx;
        Synchronizer sync;
        QByteArray bytes(3, 'x');
        sync.StToRgbyt(QStringLiteral("KR"), bytes);
        QCOMPARE(bytes, QByteArray("\0KR", 3));
    }

    void generationOverflowChecked()
    {
        ReplFixture fx;
        Synchronizer sync;
        sync.AdvanceGeneration(5);
        QCOMPARE(sync.Generation(), 5);
        QVERIFY_THROWS_EXCEPTION(std::overflow_error, sync.AdvanceGeneration(std::numeric_limits<std::int32_t>::max()));
        QCOMPARE(sync.Generation(), 5);
    }
};

QTEST_GUILESS_MAIN(TstSynchronizer)
#include "tst_synchronizer.moc"

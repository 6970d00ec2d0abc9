#include "replfixture.h"
#include "utilities.h"

using namespace Varnock;

class TstSchedules : public QObject {
    Q_OBJECT

    // An open replica with one partner member.
    static void openWithPartner(ReplFixture& fx, Synchronizer& sync, Guid& partnerSync, Guid& ownId)
    {
        const QString db = fx.file(QStringLiteral("master.db"));
        ownId = fx.makeReplicaFile(db);
        partnerSync = NewGuid();
        fx.state->replicaSet = {
            fake::Row{{ListColumn::replicaGuid, ownId.toByteArray()}, {ListColumn::replicaName, db},
                      {ListColumn::uncName, db}, {ListColumn::synchronizerGuid, NewGuid().toByteArray()}},
            fake::Row{{ListColumn::replicaGuid, NewGuid().toByteArray()}, {ListColumn::replicaName, QStringLiteral("field.db")},
                      {ListColumn::uncName, QStringLiteral("/share/field.db")},
                      {ListColumn::synchronizerGuid, partnerSync.toByteArray()}}};
        sync.setDatabaseName(db);
    }

    static int marked(const ScheduleArray& s)
    {
        int n = 0;
        for (int d = s.lowerBound(1); d <= s.upperBound(1); ++d)
            for (int q = s.lowerBound(2); q <= s.upperBound(2); ++q)
                n += s.value(d, q);
        return n;
    }

private slots:
    void defaultScheduleRoundTrip()
    {
        ReplFixture fx;
        Synchronizer sync;
        QVERIFY(sync.SetSimpleSchedule());   // every day at 3:00 AM, once
        const QByteArray packed = fx.state->syncProps.value(JetConst::syncPropDefaultSchedule).toByteArray();
        QCOMPARE(packed.size(), 84);
        QCOMPARE(int(packed.at(1)), 0x10);   // quarter hour 12 = byte 1, bit 4
        const ScheduleArray s = sync.GetFullSchedule();
        QCOMPARE(s.lowerBound(1), 0);
        QCOMPARE(s.upperBound(1), 6);
        QCOMPARE(s.upperBound(2), 95);
        QCOMPARE(marked(s), 7);
        QVERIFY(s.value(3, 12));
        QCOMPARE(fx.state->count(QStringLiteral("JetBeginSession")), 0);   // no database needed
    }

    void partnerScheduleRecordAndRoundTrip()
    {
        ReplFixture fx;
        Synchronizer sync;
        Guid partner, own;
        openWithPartner(fx, sync, partner, own);
        ScheduleArray wanted({{1, 7}, {1, 96}});   // other bounds, packed as (0 To 6, 0 To 95)
        wanted.setValue(1, 1, true);
        wanted.setValue(7, 96, true);
        QVERIFY(sync.SetFullSchedule(QStringLiteral("FIELD.db"), wanted));
        const auto set = fx.state->named(QStringLiteral("ReplSetSchedule"))[0].args;
        QCOMPARE(set[2].toString(), GuidToString(partner));
        QCOMPARE(set[3].toInt(), 68);
        const QByteArray record = set[4].toByteArray();
        QCOMPARE(record.size(), 112);
        QCOMPARE(record.left(12), QByteArray("\x70\0\0\0\x01\0\0\0\x54\0\0\0", 12));
        QCOMPARE(record.mid(96), QByteArray("YOUPICK\0\0\0\0\0\0\0\0\0", 16));
        QCOMPARE(int(record.at(12)), 1);
        QCOMPARE(int(quint8(record.at(95))), 0x80);

        const ScheduleArray back = sync.GetFullSchedule(QStringLiteral("/share/field.db"));
        QVERIFY(back.value(0, 0));
        QVERIFY(back.value(6, 95));
        QCOMPARE(marked(back), 2);
        QVERIFY(sync.SetFullSchedule(QStringLiteral("field.db"), back));   // the same bytes again
        QCOMPARE(fx.state->named(QStringLiteral("ReplSetSchedule"))[1].args[4].toByteArray(), record);
    }

    void partnerWithoutScheduleIsAllFalse()
    {
        ReplFixture fx;
        Synchronizer sync;
        Guid partner, own;
        openWithPartner(fx, sync, partner, own);
        fx.state->results["ReplEnumerate"] = {0, -20015};   // the replica set, then no schedule
        QCOMPARE(marked(sync.GetFullSchedule(QStringLiteral("field.db"))), 0);
    }

    void unknownOrOwnReplicaRaises5007()
    {
        ReplFixture fx;
        Synchronizer sync;
        Guid partner, own;
        openWithPartner(fx, sync, partner, own);
        QCOMPARE(raisedCode([&] { sync.GetFullSchedule(sync.DatabaseName()); }), 5007);
        QCOMPARE(raisedCode([&] { sync.GetFullSchedule(QStringLiteral("nobody")); }), 5007);
        QCOMPARE(raisedCode([&] { sync.SetFullSchedule(QStringLiteral("nobody"), ScheduleArray()); }), 5007);
        QCOMPARE(raisedCode([&] { sync.SetSimpleSchedule(QStringLiteral("nobody")); }), 5007);
    }

    void fullScheduleShapeChecks()
    {
        ReplFixture fx;
        Synchronizer sync;
        QCOMPARE(raisedCode([&] { sync.SetFullSchedule(QString(), ScheduleArray({{0, 6}, {0, 94}})); }), 5010);
        QCOMPARE(raisedCode([&] { sync.SetFullSchedule(QString(), ScheduleArray({{0, 671}})); }), 5010);
        QCOMPARE(raisedCode([&] { sync.SetFullSchedule(QString(), ScheduleArray({{0, 6}, {0, 95}}, false)); }), 5011);
        QCOMPARE(raisedCode([&] { sync.SetFullSchedule(); }), 5011);
        QCOMPARE(fx.state->count(QStringLiteral("ReplSetSynchronizerProperty")), 0);
    }

    void simpleScheduleChecks_data()
    {
        QTest::addColumn<int>("days");
        QTest::addColumn<double>("start");
        QTest::addColumn<int>("times");
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("marks");
        QTest::newRow("defaults") << 127 << 0.125 << 1 << 0 << 7;
        QTest::newRow("no day") << 0 << 0.125 << 1 << 0 << 0;
        QTest::newRow("days 128") << 128 << 0.125 << 1 << 5014 << 0;
        QTest::newRow("days -1") << -1 << 0.125 << 1 << 5014 << 0;
        QTest::newRow("days before time") << 128 << 1.0 << 0 << 5014 << 0;
        QTest::newRow("start 1") << 127 << 1.0 << 1 << 5015 << 0;
        QTest::newRow("start negative") << 127 << -0.01 << 1 << 5015 << 0;
        QTest::newRow("23:45 once") << 1 << 95.0 / 96 << 1 << 0 << 1;
        QTest::newRow("23:45 twice") << 1 << 95.0 / 96 << 2 << 5016 << 0;
        QTest::newRow("zero times") << 1 << 0.0 << 0 << 5016 << 0;
        QTest::newRow("weekdays 4 times") << 62 << 0.5 << 4 << 0 << 20;
    }
    void simpleScheduleChecks()
    {
        QFETCH(int, days);
        QFETCH(double, start);
        QFETCH(int, times);
        QFETCH(int, code);
        QFETCH(int, marks);
        ReplFixture fx;
        Synchronizer sync;
        QCOMPARE(raisedCode([&] { sync.SetSimpleSchedule(QString(), days, start, std::int16_t(times), true); }), code);
        if (code)
            return;
        QCOMPARE(marked(sync.GetFullSchedule()), marks);
    }

    void simpleScheduleSpacing()
    {
        ReplFixture fx;
        Synchronizer sync;
        sync.SetSimpleSchedule(QString(), synchDayMonday, 0.5, 4);   // noon: quarters 48, 60, 72, 84
        const ScheduleArray s = sync.GetFullSchedule();
        for (int q : {48, 60, 72, 84})
            QVERIFY(s.value(1, q));
        QCOMPARE(marked(s), 4);
    }
};

QTEST_GUILESS_MAIN(TstSchedules)
#include "tst_schedules.moc"

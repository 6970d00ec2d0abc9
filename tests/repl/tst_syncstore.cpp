#include <QProcess>

#include "replfixture.h"
#include "syncprops.h"
#include "utilities.h"

using namespace Varnock;

class TstSyncStore : public QObject {
    Q_OBJECT

private slots:
    void absentValues()
    {
        ReplFixture fx;
        QVariant id = QByteArray(16, '\0');
        QCOMPARE(SynchronizerStore::Get(JetConst::syncPropId, id), JetConst::errNoSynchronizerId);
        QVariant text = QString();
        QCOMPARE(SynchronizerStore::Get(JetConst::syncPropLogFile, text), JetConst::errValueNotSet);
        QVariant managed = QString();
        QCOMPARE(SynchronizerStore::Get(JetConst::syncPropManagedReplicas, managed), 0);
        QCOMPARE(managed.toString(), QString());
        QCOMPARE(SynchronizerStore::Set(JetConst::syncPropManagedReplicas, QStringLiteral("x")), -1);
        QCOMPARE(SynchronizerStore::Set(JetConst::syncPropName, QVariant(1.5)), 0);   // another type: nothing sent
        QCOMPARE(SynchronizerStore::Get(JetConst::syncPropName, text), JetConst::errValueNotSet);
    }

    void typedValues()
    {
        ReplFixture fx;
        QCOMPARE(SynchronizerStore::Set(JetConst::syncPropIndirectInUse, QVariant::fromValue<qint32>(1)), 0);
        QCOMPARE(SynchronizerStore::Set(JetConst::syncPropDefaultSchedule, QByteArray(84, '\x0F')), 0);
        QVariant n = QVariant::fromValue<qint32>(0);
        QCOMPARE(SynchronizerStore::Get(JetConst::syncPropIndirectInUse, n), 0);
        QCOMPARE(n.toInt(), 1);
        QVariant bytes = QByteArray();
        QCOMPARE(SynchronizerStore::Get(JetConst::syncPropDefaultSchedule, bytes), 0);
        QCOMPARE(bytes.toByteArray(), QByteArray(84, '\x0F'));
    }

    // Settings written by one synchronizer are there for the next object and for another process.
    void settingsPersistAcrossObjectsAndProcesses()
    {
        ReplFixture fx;
        fx.state->useStore = true;
        QString id;
        {
            Synchronizer sync;
            sync.setLogFile(QStringLiteral("/var/log/krv/KRV_ReplicaLog.txt"));
            sync.setName(QStringLiteral("Field laptop"));
            id = sync.SynchronizerID();
            QVERIFY(sync.ManagedReplicas()->Append(QStringLiteral("/field/Tunnel.db")));
            QVERIFY(sync.ManagedReplicas()->Append(QStringLiteral("/field/tunnel.db")));   // another file
            QVERIFY(!sync.ManagedReplicas()->Append(QStringLiteral("/field/tunnel.db")));  // already managed
            QVERIFY(sync.ManagedReplicas()->Append(QStringLiteral("/field/gone.db")));
            sync.ManagedReplicas()->Remove(3);
        }
        {
            Synchronizer again;
            QCOMPARE(again.LogFile(), QStringLiteral("/var/log/krv/KRV_ReplicaLog.txt"));
            QCOMPARE(again.SynchronizerID(), id);
            QCOMPARE(again.ManagedReplicas()->Count(), 2);
        }
        QProcess probe;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("VARNOCK_REGISTRY"), registryStorePath());
        probe.setProcessEnvironment(env);
        probe.start(QCoreApplication::applicationDirPath() + QStringLiteral("/repl_storeprobe"));
        QVERIFY(probe.waitForFinished(30000));
        QCOMPARE(probe.exitCode(), 0);
        const QStringList lines = QString::fromUtf8(probe.readAllStandardOutput()).split(QLatin1Char('\n'));
        QCOMPARE(lines.mid(0, 5), (QStringList{QStringLiteral("/var/log/krv/KRV_ReplicaLog.txt"),
                                               QStringLiteral("Field laptop"), id, QStringLiteral("/field/Tunnel.db"),
                                               QStringLiteral("/field/tunnel.db")}));
    }

    void defaultScheduleKept()
    {
        ReplFixture fx;
        fx.state->useStore = true;
        {
            Synchronizer sync;
            QCOMPARE(sync.GetFullSchedule(), ScheduleArray());   // none yet: all False
            QVERIFY(sync.SetSimpleSchedule(QString(), synchDaySunday, 0.0, 2));
        }
        Synchronizer again;
        const ScheduleArray s = again.GetFullSchedule();
        QVERIFY(s.value(0, 0));
        QVERIFY(s.value(0, 48));
        QVERIFY(!s.value(1, 0));
    }
};

QTEST_GUILESS_MAIN(TstSyncStore)
#include "tst_syncstore.moc"

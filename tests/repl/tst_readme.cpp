// The host program of repl/README.md, word for word, run against the fake engine.
#include "replfixture.h"

#include <varnock.h>

bool makeAndSync(const QString& master, const QString& replica)
{
    Varnock::Synchronizer sync;   // one object per job; its end stops the synchronizer and closes the database
    QObject::connect(&sync, &Varnock::Synchronizer::MakeReplicaProgress,
                     [](std::int32_t& done, std::int32_t& total, bool&) { qInfo("%d of %d", done, total); });
    try {
        sync.setLogFile(QStringLiteral("/tmp/replication.log"));
        sync.setDatabaseName(master);                            // a plain database becomes the Design Master
        sync.setRunning(true);
        sync.MakeReplica(replica, QStringLiteral("Field copy"));
        return sync.SynchDirect(replica, Varnock::synchTypeReplImpExp);   // both directions
    } catch (const Varnock::SynchronizerError& e) {              // number, description, source
        qWarning("%d %s", e.number(), qPrintable(e.description()));
        return false;
    }
}

class TstReadme : public QObject {
    Q_OBJECT

private slots:
    void hostProgram()
    {
        ReplFixture fx;
        const QString master = fx.file(QStringLiteral("krv.db"));
        const QString replica = fx.file(QStringLiteral("field.db"));   // the fake engine makes no file
        fx.state->progress["ReplMakeReplica"] = {{11, 5}, {11, 0, 1, 2}, {11, 0, 2, 2}, {11, 6}};
        QVERIFY(makeAndSync(master, replica));
        QCOMPARE(fx.state->named(QStringLiteral("ReplMakeReplica"))[0].args[2].toString(), replica);
        QCOMPARE(fx.state->named(QStringLiteral("ReplSynchDirect"))[0].args.mid(1),
                 (QVariantList{master, replica, 4}));
        QCOMPARE(fx.state->count(QStringLiteral("ReplStopSynchronizer")), 1);
        QVERIFY(!makeAndSync(master, fx.missing(QStringLiteral("gone.db"))));   // 5001 caught
    }
};

QTEST_GUILESS_MAIN(TstReadme)
#include "tst_readme.moc"

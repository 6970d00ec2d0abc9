// Many programs saving ratings into one database at once: another writer means waiting,
// never a refusal, and no save is lost. Each writer is this program run again as a child.
#include "db.h"
#include "dbinspection.h"
#include "fixtures.h"
#include "testinstall.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTest>
#include <QThread>

#include <cstdio>

namespace {

constexpr int kWriters = 100;
constexpr int kSaves = 10;

// A child: waits for the go file, then saves its ratings. The exit code is the number of
// saves that failed.
int writerMain(const QString& dbPath, const QString& goFile, int writer, qint32 period)
{
    try {
        gConn.open(dbPath);
    } catch (const DbError& e) {
        std::fprintf(stderr, "writer %d: open: %s\n", writer, qPrintable(e.description()));
        return kSaves;
    }
    const QDeadlineTimer deadline(30000);
    while (!QFile::exists(goFile) && !deadline.hasExpired())
        QThread::msleep(2);
    int failed = 0;
    for (int i = 1; i <= kSaves; ++i) {
        try {
            // A new row, then the same row changed: both paths of the save.
            DbSaveRating(period, writer, i, QString::number(i % 10));
            if (i == kSaves)
                DbSaveRating(period, writer, 1, QStringLiteral("0"));
        } catch (const DbError& e) {
            std::fprintf(stderr, "writer %d, save %d: %s\n", writer, i, qPrintable(e.description()));
            ++failed;
        }
    }
    gConn.close();
    return failed;
}

}  // namespace

class TestBusyWriters : public QObject {
    Q_OBJECT
private slots:
    void hundredWritersLoseNoSave()
    {
        // In memory where there is a tmpfs: the test is of the locking, not of the disk's
        // speed (1,100 commits, each with its syncs, would take a minute on some disks).
        const QByteArray tmp = qgetenv("TMPDIR");
        if (QFileInfo(QStringLiteral("/dev/shm")).isWritable())
            qputenv("TMPDIR", "/dev/shm");
        TestInstall install;
        if (tmp.isNull())
            qunsetenv("TMPDIR");
        else
            qputenv("TMPDIR", tmp);
        FixtureSystem();
        const qint32 period = FixturePeriod(FixtureTunnel(QStringLiteral("North")), 2026);
        gConn.close();
        const QString go = install.file(QStringLiteral("go"));

        QElapsedTimer clock;
        clock.start();
        std::vector<std::unique_ptr<QProcess>> writers;
        for (int w = 1; w <= kWriters; ++w) {
            auto p = std::make_unique<QProcess>();
            p->setProcessChannelMode(QProcess::ForwardedChannels);
            p->start(QCoreApplication::applicationFilePath(),
                     {QStringLiteral("--writer"), install.dbPath(), go, QString::number(w), QString::number(period)});
            writers.push_back(std::move(p));
        }
        for (auto& p : writers)
            QVERIFY(p->waitForStarted(10000));
        QFile flag(go);
        QVERIFY(flag.open(QIODevice::WriteOnly));
        flag.close();

        int failed = 0;
        for (auto& p : writers) {
            QVERIFY(p->waitForFinished(60000));
            QCOMPARE(p->exitStatus(), QProcess::NormalExit);
            failed += p->exitCode();
        }
        qInfo("%d writers x %d saves in %lld ms", kWriters, kSaves, qint64(clock.elapsed()));
        QCOMPARE(failed, 0);

        gConn.open(install.dbPath());
        QCOMPARE(CountRows(QStringLiteral("Ratings")), kWriters * kSaves);
        for (int w = 1; w <= kWriters; ++w) {
            QCOMPARE(DbGetRating(period, w, 1), QStringLiteral("0"));
            for (int i = 2; i <= kSaves; ++i)
                QCOMPARE(DbGetRating(period, w, i), QString::number(i % 10));
        }
    }

    // The guard's levels: the outermost holds the write lock from its start, so a second
    // connection cannot begin writing; a nested failure undoes only its own part.
    void outermostGuardHoldsTheWriteLockFromItsStart()
    {
        TestInstall install;
        Connection other(QStringLiteral("tst-other"));
        other.open(install.dbPath(), false, 100);
        {
            TxGuard tx;
            QCOMPARE(gConn.transactionDepth(), 1);
            QVERIFY_THROWS_EXCEPTION(DbError, other.exec(QStringLiteral("BEGIN IMMEDIATE")));
            {
                TxGuard inner;
                QCOMPARE(gConn.transactionDepth(), 2);
                gConn.exec(QStringLiteral("INSERT INTO UnitTypes (Unit) VALUES ('kg')"));
                inner.commit();
            }
            {
                TxGuard inner;  // not committed: undone alone
                gConn.exec(QStringLiteral("INSERT INTO UnitTypes (Unit) VALUES ('t')"));
            }
            gConn.exec(QStringLiteral("INSERT INTO UnitTypes (Unit) VALUES ('l')"));
            tx.commit();
        }
        QCOMPARE(gConn.transactionDepth(), 0);
        QCOMPARE(other.query(QStringLiteral("SELECT Unit FROM UnitTypes")).count(), 2);
        other.exec(QStringLiteral("BEGIN IMMEDIATE"));
        other.exec(QStringLiteral("ROLLBACK"));
        other.close();
    }
};

int main(int argc, char** argv)
{
    if (argc == 6 && qstrcmp(argv[1], "--writer") == 0) {
        QCoreApplication app(argc, argv);
        return writerMain(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]), atoi(argv[4]),
                          atoi(argv[5]));
    }
    QCoreApplication app(argc, argv);
    TestBusyWriters test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_busywriters.moc"

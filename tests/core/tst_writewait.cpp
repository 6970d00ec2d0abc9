// A write that finds another program holding the write lock waits through the write wait
// service: it keeps trying until the lock is free, the user gives up or the time runs out,
// and only then says the database is in use. Every kind of write waits the same way.
#include "db.h"
#include "dbinspection.h"
#include "fixtures.h"
#include "modkrv.h"
#include "otherprogram.h"
#include "scriptedprompt.h"
#include "testinstall.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>

#include <functional>
#include <memory>

namespace {

// Records the wait and plays the other program and the user: the lock is released, or the
// wait given up, once the wait has lasted so long.
class RecordingWait final : public WriteWaitService {
public:
    int begins = 0, steps = 0, ends = 0;
    int lastWaited = 0;
    bool backwards = false;
    int releaseAtMs = -1;
    int cancelAtMs = -1;
    std::function<void()> release;

    RecordingWait() { SetWriteWaitService(this); }
    ~RecordingWait() override { SetWriteWaitService(nullptr); }

    void begin() override { ++begins; }
    bool keepWaiting(int waitedMs) override
    {
        ++steps;
        if (waitedMs < lastWaited)
            backwards = true;
        lastWaited = waitedMs;
        if (releaseAtMs >= 0 && waitedMs >= releaseAtMs && release) {
            release();
            release = nullptr;
        }
        return cancelAtMs < 0 || waitedMs < cancelAtMs;
    }
    void end() override { ++ends; }
};

// One write of each kind the program makes.
void write(const QString& kind, qint32 period)
{
    if (kind == QLatin1String("guarded procedure"))
        DbSaveRating(period, 1, 1, QStringLiteral("4"));
    else if (kind == QLatin1String("single statement"))
        gConn.exec(QStringLiteral("INSERT INTO UnitTypes (Unit) VALUES ('kg')"));
    else
        gConn.insertAutoNumber(QStringLiteral("ExpenditureCats"), {{QStringLiteral("Category"), QStringLiteral("Pumps")}});
}

int written(const QString& kind)
{
    if (kind == QLatin1String("guarded procedure"))
        return CountRows(QStringLiteral("Ratings"));
    if (kind == QLatin1String("single statement"))
        return CountRows(QStringLiteral("UnitTypes"), QStringLiteral("Unit = 'kg'"));
    return CountRows(QStringLiteral("ExpenditureCats"), QStringLiteral("Category = 'Pumps'"));
}

}  // namespace

class TestWriteWait : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { SetWriteWaitLimit(30000); }

    void aLockedWriteWaitsThroughTheService_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("holder");  // "writer" holds the write lock, "reader" a read
        QTest::addColumn<bool>("locked");
        QTest::addColumn<int>("releaseAtMs");  // -1: never
        QTest::addColumn<int>("cancelAtMs");   // -1: never
        QTest::addColumn<int>("limitMs");
        QTest::addColumn<bool>("saved");
        for (const char* kind : {"guarded procedure", "single statement", "new keyed row"}) {
            const QByteArray k(kind);
            const QString name = QString::fromLatin1(kind);
            QTest::newRow(k + ", free") << name << "writer" << false << -1 << -1 << 30000 << true;
            for (const char* holder : {"writer", "reader"}) {
                // A writer holds the lock a write begins with; a reader the one its commit needs.
                const QByteArray h = QByteArray(", ") + holder;
                QTest::newRow(k + h + ", released") << name << holder << true << 300 << -1 << 30000 << true;
                QTest::newRow(k + h + ", cancelled") << name << holder << true << -1 << 200 << 30000 << false;
                QTest::newRow(k + h + ", time runs out") << name << holder << true << -1 << -1 << 400 << false;
            }
        }
    }
    void aLockedWriteWaitsThroughTheService()
    {
        QFETCH(QString, kind);
        QFETCH(QString, holder);
        QFETCH(bool, locked);
        QFETCH(int, releaseAtMs);
        QFETCH(int, cancelAtMs);
        QFETCH(int, limitMs);
        QFETCH(bool, saved);
        TestInstall install;
        FixtureSystem();
        const qint32 period = FixturePeriod(FixtureTunnel(QStringLiteral("North")), 2026);
        auto other = OpenOtherProgram(install.dbPath());
        if (locked && holder == QLatin1String("writer")) {
            other->exec(QStringLiteral("BEGIN IMMEDIATE"));
        } else if (locked) {
            other->exec(QStringLiteral("BEGIN"));
            other->query(QStringLiteral("SELECT count(*) FROM System"));
        }
        RecordingWait wait;
        wait.releaseAtMs = releaseAtMs;
        wait.cancelAtMs = cancelAtMs;
        wait.release = [&] { other->exec(QStringLiteral("COMMIT")); };
        SetWriteWaitLimit(limitMs);

        QElapsedTimer clock;
        clock.start();
        bool inUse = false;
        try {
            write(kind, period);
        } catch (const DbError& e) {
            inUse = IsDatabaseInUse(e);
            QCOMPARE(e.description(), kDatabaseInUseText);
        }
        const qint64 took = clock.elapsed();
        QCOMPARE(inUse, !saved);
        QCOMPARE(gConn.transactionDepth(), 0);
        QCOMPARE(wait.begins, locked ? 1 : 0);
        QCOMPARE(wait.ends, wait.begins);
        QVERIFY(!wait.backwards);
        if (locked) {
            // Many short steps, not one long block: the program gets control back often.
            QVERIFY2(wait.steps >= 3, qPrintable(QString::number(wait.steps)));
            QVERIFY(took >= qMax(releaseAtMs, qMax(cancelAtMs, limitMs < 30000 ? limitMs : 0)));
            QVERIFY2(took < 10000, qPrintable(QString::number(took)));
        }
        if (locked && !saved)
            other->exec(QStringLiteral("ROLLBACK"));
        QCOMPARE(written(kind), saved ? 1 : 0);
        // The connection is whole afterwards: the next write goes through at once.
        gConn.exec(QStringLiteral("INSERT INTO UnitTypes (Unit) VALUES ('t')"));
        QCOMPARE(CountRows(QStringLiteral("UnitTypes"), QStringLiteral("Unit = 't'")), 1);
        other.reset();
    }

    // The engine's own wait is back to the connection's after a wait: a read while another
    // program commits still waits it out instead of failing.
    void theEngineWaitIsRestored()
    {
        TestInstall install;
        const auto other = HoldWriteLock(install.dbPath());
        RecordingWait wait;
        wait.releaseAtMs = 100;
        wait.release = [&] { other->exec(QStringLiteral("COMMIT")); };
        gConn.exec(QStringLiteral("INSERT INTO UnitTypes (Unit) VALUES ('kg')"));
        QCOMPARE(gConn.scalar(QStringLiteral("PRAGMA busy_timeout")).toInt(), gConn.busyTimeoutMs());
    }

    // The message of a failed command names the cause when it is another program's lock,
    // and only then (the program's own "Overflow" shares the engine's "locked" number).
    void theMessageSaysTheDatabaseIsInUse_data()
    {
        QTest::addColumn<long>("number");
        QTest::addColumn<bool>("inUse");
        QTest::newRow("busy") << 5L << true;
        QTest::newRow("busy, extended") << 517L << true;
        QTest::newRow("overflow") << 6L << false;
        QTest::newRow("constraint") << 19L << false;
    }
    void theMessageSaysTheDatabaseIsInUse()
    {
        QFETCH(long, number);
        QFETCH(bool, inUse);
        TestInstall install(false);
        ScriptedPrompt prompt;
        LogError(QStringLiteral("Error saving data."), QStringLiteral("tst"), DbError(number, QStringLiteral("x")));
        QCOMPARE(prompt.messages().size(), 1);
        QVERIFY(prompt.messages()[0].startsWith(QStringLiteral("Error saving data.")));
        QCOMPARE(prompt.messages()[0].contains(kDatabaseInUseText), inUse);
        // The cause follows on the next line, with no empty line between.
        if (inUse)
            QCOMPARE(prompt.messages()[0], QStringLiteral("Error saving data.\n") + kDatabaseInUseText +
                                               QStringLiteral(" Nothing was changed; try again when it is free."));
        // A handler without a message of its own still tells why, when the cause is the lock.
        LogError(QString(), QStringLiteral("tst"), DbError(number, QStringLiteral("x")));
        QCOMPARE(prompt.messages().size(), inUse ? 2 : 1);
    }
};

QTEST_GUILESS_MAIN(TestWriteWait)
#include "tst_writewait.moc"

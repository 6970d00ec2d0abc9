// The widget layer's write wait: a save that must wait for another program's write lock
// keeps the program alive (paints and timers go on), after about a second shows a modal
// "in use, waiting" window with Cancel that blocks the other windows, and ends with the
// lock or, on Cancel, with the database in use.
#include "db.h"
#include "dbinspection.h"
#include "dbwaitwatch.h"
#include "fixtures.h"
#include "otherprogram.h"
#include "testinstall.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QPushButton>
#include <QTest>

#include <memory>

namespace {

// A window of the program beside the wait: counts its paints and its button's clicks.
class Bystander : public QWidget {
public:
    Bystander()
    {
        button = new QPushButton(QStringLiteral("Other"), this);
        connect(button, &QPushButton::clicked, this, [this] { ++clicks; });
        resize(200, 100);
        show();
    }
    // A click as the window system delivers it, so the modal blocking applies.
    void clickThroughWindow()
    {
        QTest::mouseClick(windowHandle(), Qt::LeftButton, {}, button->geometry().center());
    }
    QPushButton* button;
    int paints = 0;
    int clicks = 0;

protected:
    void paintEvent(QPaintEvent*) override { ++paints; }
};

}  // namespace

class TestDbWait : public QObject {
    Q_OBJECT
private slots:
    void theWaitShowsAndKeepsTheProgramAlive_data()
    {
        QTest::addColumn<int>("releaseAtMs");  // -1: never; the user cancels
        QTest::addColumn<bool>("saved");
        QTest::newRow("released after a while") << 2500 << true;
        QTest::newRow("cancelled") << -1 << false;
    }
    void theWaitShowsAndKeepsTheProgramAlive()
    {
        QFETCH(int, releaseAtMs);
        QFETCH(bool, saved);
        TestInstall install;
        FixtureSystem();
        const qint32 period = FixturePeriod(FixtureTunnel(QStringLiteral("North")), 2026);
        auto other = HoldWriteLock(install.dbPath());

        Bystander bystander;
        QVERIFY(QTest::qWaitForWindowExposed(&bystander));
        bystander.clickThroughWindow();
        QCOMPARE(bystander.clicks, 1);  // the click works when nothing blocks it
        int clickTries = 0;
        // While the wait goes on: the other window is asked to paint, and clicked once the
        // wait window shows.
        QTimer poke;
        poke.setInterval(100);
        connect(&poke, &QTimer::timeout, &bystander, [&] {
            bystander.update();
            if (DbWaitWatch::window() && clickTries == 0) {
                ++clickTries;
                bystander.clickThroughWindow();
            }
        });
        poke.start();
        QElapsedTimer clock;
        clock.start();
        DbWaitWatch watch(releaseAtMs < 0);
        if (releaseAtMs >= 0)
            QTimer::singleShot(releaseAtMs, Qt::PreciseTimer, &bystander, [&] { other->exec(QStringLiteral("COMMIT")); });

        bool inUse = false;
        try {
            DbSaveRating(period, 1, 1, QStringLiteral("4"));
        } catch (const DbError& e) {
            inUse = IsDatabaseInUse(e) && e.description() == kDatabaseInUseText;
        }
        const qint64 took = clock.elapsed();
        poke.stop();

        QCOMPARE(inUse, !saved);
        QCOMPARE(CountRows(QStringLiteral("Ratings")), saved ? 1 : 0);
        // Shown after about a second, not at once, saying why and blocking the others.
        QVERIFY2(watch.shownAtMs >= kDbWaitShowAfterMs - 50 && watch.shownAtMs < 2400,
                 qPrintable(QString::number(watch.shownAtMs)));
        QCOMPARE(watch.text, kDatabaseWaitText);
        QVERIFY(watch.modal);
        QCOMPARE(clickTries, 1);
        QCOMPARE(bystander.clicks, 1);
        // Events went on all the while: timers ran and the other window painted.
        QVERIFY2(watch.polls > 10, qPrintable(QString::number(watch.polls)));
        QVERIFY(bystander.paints > 0);
        if (saved)
            QVERIFY(took >= releaseAtMs);
        else
            QVERIFY2(took < 10000, qPrintable(QString::number(took)));  // Cancel ends it, not the 30 s limit
        // Gone afterwards; the next write takes the lock at once.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!DbWaitWatch::window());
        if (!saved)
            other->exec(QStringLiteral("ROLLBACK"));
        DbSaveRating(period, 1, 2, QStringLiteral("5"));
        QCOMPARE(CountRows(QStringLiteral("Ratings"), QStringLiteral("ElementID = 2")), 1);
        other.reset();
    }

    // A window closed while a write waits (a session end, any code that closes windows) is not
    // deleted under the waiting write: it goes once the wait is over.
    void aWindowClosedDuringTheWaitOutlivesIt()
    {
        TestInstall install;
        const auto other = HoldWriteLock(install.dbPath());
        QPointer<QWidget> window = new QWidget;
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->show();
        bool closed = false, thereAfterClose = false;
        QTimer::singleShot(200, qApp, [&] { closed = window->close(); });
        QTimer::singleShot(600, qApp, [&] {
            thereAfterClose = !window.isNull();
            other->exec(QStringLiteral("COMMIT"));
        });
        DbWaitWatch watch(false);
        gConn.exec(QStringLiteral("INSERT INTO UnitTypes (Unit) VALUES ('kg')"));
        QVERIFY(closed);
        QVERIFY(thereAfterClose);
        QCOMPARE(CountRows(QStringLiteral("UnitTypes"), QStringLiteral("Unit = 'kg'")), 1);
        QVERIFY(window);
        QTRY_VERIFY(!window);
    }

    // A lock that goes within the first second shows no window at all.
    void aShortWaitShowsNothing()
    {
        TestInstall install;
        const auto other = HoldWriteLock(install.dbPath());
        QTimer::singleShot(300, qApp, [&] { other->exec(QStringLiteral("COMMIT")); });
        DbWaitWatch watch(false);
        gConn.exec(QStringLiteral("INSERT INTO UnitTypes (Unit) VALUES ('kg')"));
        QCOMPARE(watch.shownAtMs, -1);
        QCOMPARE(CountRows(QStringLiteral("UnitTypes"), QStringLiteral("Unit = 'kg'")), 1);
    }
};

QTEST_MAIN(TestDbWait)
#include "tst_dbwait.moc"

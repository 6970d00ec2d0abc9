// The polygon store driven alone, without any widget or application object: adding, hit tests,
// shading and removal of entries that share an ID.

#include "zvpolystore.h"

#include <QTest>

using zv::PolyStore;

namespace {

QVector<zv::Point> rect(int x, int y, int w, int h) { return {{x, y}, {x + w, y}, {x + w, y + h}, {x, y + h}}; }

// Records what the store reports.
struct Recorder : PolyStore::Listener {
    QStringList events;
    int changes = 0;
    void storeChanged() override { ++changes; }
    void aboutToRemove(int i) override { events << QString("about %1").arg(i); }
    void removed(int i) override { events << QString("removed %1").arg(i); }
    void edgesRedrawn() override { events << "redrawn"; }
};

}  // namespace

class TestPolyStore : public QObject {
    Q_OBJECT

private slots:
    void addLaysOutEdgesAndRegions()
    {
        PolyStore store;
        QCOMPARE(store.count(), 0);
        QCOMPARE(store.add(10, rect(0, 0, 600, 600)), 0);
        QCOMPARE(store.add(20, {{1000, 0}, {1600, 0}, {1300, 600}}), 1);
        QCOMPARE(store.count(), 2);
        QCOMPARE(store.entry(1).StartLine, 4);
        QCOMPARE(store.lineCount(), 7);
        const zv::Line e = store.line(5);
        QCOMPARE(QPointF(e.x1, e.y1), QPointF(1600, 0));
        QCOMPARE(QPointF(e.x2, e.y2), QPointF(1300, 600));
        QVERIFY_THROWS_EXCEPTION(zv::Error, store.add(30, {}));
        QCOMPARE(store.count(), 2);
    }

    void hitTestFirstStoredWinsAtEveryZoom_data()
    {
        QTest::addColumn<float>("zoom");
        QTest::newRow("100 %") << 1.0f;
        QTest::newRow("250 %") << 2.5f;
        QTest::newRow("50 %") << 0.5f;
    }

    void hitTestFirstStoredWinsAtEveryZoom()
    {
        QFETCH(float, zoom);
        PolyStore store;
        store.add(1, rect(0, 0, 900, 900));
        store.add(2, rect(600, 600, 900, 900));  // overlaps the first
        store.rezoom(zoom);
        QCOMPARE(store.hitTest(100 * zoom, 100 * zoom), 0);
        QCOMPARE(store.hitTest(700 * zoom, 700 * zoom), 0);
        QCOMPARE(store.hitTest(1200 * zoom, 1200 * zoom), 1);
        QCOMPARE(store.hitTest(2000 * zoom, 100 * zoom), -1);
        QCOMPARE(store.line(4).x1, 600.0 * zoom);  // edges made again for the zoom
    }

    void deleteOfADuplicateIdLeavesNoDotOfIt()
    {
        Recorder rec;
        PolyStore store;
        store.setListener(&rec);
        store.add(5, rect(0, 0, 600, 600));
        store.add(7, rect(3000, 0, 600, 600));
        store.add(5, rect(6000, 0, 600, 600));
        store.shade(5, 1);  // the first entry with ID 5
        store.shade(7, 2);
        QCOMPARE(store.dots().size(), 2);
        QCOMPARE(store.entry(0).Shading, qint16(1));
        rec.events.clear();
        QCOMPARE(store.deleteLast(5), 2);  // the later entry goes
        QCOMPARE(rec.events, (QStringList{"about 2", "removed 2", "redrawn"}));
        QCOMPARE(store.count(), 2);
        QCOMPARE(store.entry(0).ID, 5);
        QCOMPARE(store.entry(0).Shading, qint16(0));
        QCOMPARE(store.dots().size(), 1);
        QCOMPARE(store.dots()[0].color, zv::kCritical);
        QCOMPARE(store.dots()[0].bounds.left(), 3000);
        store.rezoom(2.0f);  // shading made again for the zoom: still none for ID 5
        QCOMPARE(store.dots().size(), 1);
        QCOMPARE(store.dots()[0].bounds.left(), 6000);
        QCOMPARE(store.deleteLast(5), 0);
        QCOMPARE(store.entry(0).ID, 7);
        QCOMPARE(store.entry(0).StartLine, 0);
        QCOMPARE(store.deleteLast(5), -1);  // none left: nothing happens
        QCOMPARE(store.deleteLast(7), 0);
        QCOMPARE(store.count(), 0);
        QVERIFY(store.storeEmpty());
        QVERIFY(store.dots().isEmpty());
        QCOMPARE(store.hitTest(3100, 100), -1);
        QVERIFY(rec.changes > 0);
    }
};

QTEST_APPLESS_MAIN(TestPolyStore)
#include "tst_polystore.moc"

#include <QtTest>
#include <algorithm>
#include <random>

#include "SortedList.h"

class TstSortedList : public QObject {
    Q_OBJECT

    static QStringList drain(SortedList& list)
    {
        QStringList keys;
        while (!list.atEnd())
            keys << list.getNext();
        return keys;
    }

private slots:
    void emptyList()
    {
        SortedList list;
        QVERIFY(list.atEnd());
        QCOMPARE(list.getNext(), QString());
        QCOMPARE(list.findKey("a"), -1);
        QCOMPARE(list.count(), 0);
        list.SortList("A");
        QVERIFY(list.atEnd());
        QCOMPARE(list.getObject(0), QVariant());
    }

    void order_data()
    {
        QTest::addColumn<QString>("word");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("A") << "A" << QStringList{"A", "b", "B", "c"};
        QTest::newRow("a") << "a" << QStringList{"A", "b", "B", "c"};
        QTest::newRow("D") << "D" << QStringList{"c", "B", "b", "A"};
        QTest::newRow("other") << "x" << QStringList{"c", "B", "b", "A"};
    }
    // Case-insensitive order; an equal key goes to the greater-or-equal side, so both are kept.
    void order()
    {
        QFETCH(QString, word);
        QFETCH(QStringList, expected);
        SortedList list;
        for (const char* k : {"b", "A", "c", "B"})
            list.addItem(k);
        list.SortList(word);
        QCOMPARE(drain(list), expected);
        QVERIFY(list.atEnd());
        QCOMPARE(list.getNext(), QString());
        QVERIFY(list.atEnd());
    }

    void findAndObjects()
    {
        SortedList list;
        const int b = list.addItem("Beta", 2);
        const int a = list.addItem("alpha", 1);
        QCOMPARE(list.findKey("BETA"), b);
        QCOMPARE(list.findKey("Alpha"), a);
        QCOMPARE(list.findKey("gamma"), -1);
        QCOMPARE(list.getObject(b), QVariant(2));
        QCOMPARE(list.getObject(-1), QVariant());
        QCOMPARE(list.getObject(2), QVariant());
    }

    void slotsGrowAndAreReused()
    {
        SortedList list;
        for (int i = 0; i < 250; ++i)
            QCOMPARE(list.addItem(QString::number(i)), i);
        QCOMPARE(list.count(), 250);
        QVERIFY(list.removeItem(120));
        QVERIFY(!list.removeItem(120));
        QVERIFY(!list.removeItem(-1));
        QVERIFY(!list.removeItem(250));
        QCOMPARE(list.getObject(120), QVariant());
        QCOMPARE(list.addItem("new"), 120);
        QCOMPARE(list.addItem("next"), 250);
    }

    // Removing the root, inner nodes and leaves keeps every remaining key in order.
    void removeKeepsOrder()
    {
        std::mt19937 rng(7);
        QStringList keys;
        for (int i = 0; i < 300; ++i)
            keys << QStringLiteral("k%1").arg(rng() % 1000, 4, 10, QChar('0'));
        SortedList list;
        std::vector<int> slotsOf;
        for (const QString& k : keys)
            slotsOf.push_back(list.addItem(k));
        QStringList left = keys;
        // the first key added is the root
        for (int i : {0, 5, 17, 100, 299, 150, 1}) {
            QVERIFY(list.removeItem(slotsOf[size_t(i)]));
            left.removeOne(keys[i]);
        }
        std::sort(left.begin(), left.end());
        list.SortList("A");
        QCOMPARE(drain(list), left);
        QCOMPARE(list.count(), left.size());
    }

    // More than 32,767 names: the count must not overflow.
    void manyItems()
    {
        std::mt19937 rng(11);
        SortedList list;
        const int n = 33000;
        for (int i = 0; i < n; ++i)
            list.addItem(QString::number(rng()));
        QCOMPARE(list.count(), n);
        list.SortList("A");
        int seen = 0;
        QString previous;
        while (!list.atEnd()) {
            const QString key = list.getNext();
            QVERIFY(previous.compare(key, Qt::CaseInsensitive) <= 0);
            previous = key;
            ++seen;
        }
        QCOMPARE(seen, n);
    }

    // A listing that arrives sorted builds a chain; a deep chain must neither crash nor lose keys.
    void longSortedChain()
    {
        SortedList list;
        const int n = 20000;
        for (int i = 0; i < n; ++i)
            list.addItem(QStringLiteral("f%1").arg(i, 6, 10, QChar('0')));
        QCOMPARE(list.count(), n);
        list.SortList("A");
        QCOMPARE(list.getNext(), QStringLiteral("f000000"));
        int seen = 1;
        QString last;
        while (!list.atEnd()) {
            last = list.getNext();
            ++seen;
        }
        QCOMPARE(seen, n);
        QCOMPARE(last, QStringLiteral("f019999"));
    }

    // Keys added together come back in the order of adding them one by one, equal keys (in
    // any case) in their given order, with their positions as objects.
    void addAllWalksAsOneByOne_data()
    {
        QTest::addColumn<QStringList>("keys");
        QStringList sorted, reversed, mixed;
        for (int i = 0; i < 500; ++i)
            sorted << QStringLiteral("IMG_%1.jpg").arg(i, 4, 10, QChar('0'));
        reversed = sorted;
        std::reverse(reversed.begin(), reversed.end());
        std::mt19937 rng(3);
        for (int i = 0; i < 500; ++i) {
            const QString k = QStringLiteral("k%1").arg(rng() % 60);
            mixed << (i % 3 ? k : k.toUpper());
        }
        QTest::newRow("in name order") << sorted;
        QTest::newRow("reversed") << reversed;
        QTest::newRow("shuffled, equal keys in both cases") << mixed;
        QTest::newRow("all equal") << QStringList{"b", "B", "b", "B"};
        QTest::newRow("empty") << QStringList{};
    }
    void addAllWalksAsOneByOne()
    {
        QFETCH(QStringList, keys);
        SortedList one, all;
        for (int i = 0; i < keys.size(); ++i)
            one.addItem(keys[i], i);
        all.addAll(keys);
        QCOMPARE(all.count(), keys.size());
        for (const char* word : {"A", "D"}) {
            one.SortList(word);
            all.SortList(word);
            while (!one.atEnd()) {
                QVERIFY(!all.atEnd());
                const QString key = all.getNext();
                QCOMPARE(key, one.getNext());
                QCOMPARE(all.currentObject(), one.currentObject());
                QCOMPARE(keys[all.currentObject().toInt()], key);
            }
            QVERIFY(all.atEnd());
        }
    }

    void clearKeepsOrderWord()
    {
        SortedList list;
        list.addItem("a");
        list.addItem("b");
        list.SortList("D");
        list.clear();
        QCOMPARE(list.count(), 0);
        QVERIFY(list.atEnd());
        QCOMPARE(list.addItem("x"), 0);
        list.addItem("y");
        list.debugPrint();
        QVERIFY(list.atEnd());
        list.SortList("D");
        QCOMPARE(drain(list), (QStringList{"y", "x"}));
    }
};

QTEST_GUILESS_MAIN(TstSortedList)
#include "tst_sortedlist.moc"

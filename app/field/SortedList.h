#pragma once
#include <QString>
#include <QStringList>
#include <QVariant>
#include <vector>

// (key, object) pairs in an unbalanced binary search tree kept in one table of slots that
// grows by 100; keys come back in sorted order. Keys compare without regard to case;
// equal keys are kept and go to the greater-or-equal side.
class SortedList {
public:
    SortedList() = default;

    int addItem(const QString& key, const QVariant& object = {});
    // Adds every key, with its position in the list as its object, in an order that keeps
    // the tree shallow: a folder that lists its names already sorted would otherwise build a
    // chain, and each add would walk all of it. The walk after SortList is the same as after
    // adding the keys one by one in the given order (equal keys stay in that order).
    void addAll(const QStringList& keys);
    bool removeItem(int slot);
    int findKey(const QString& key) const;
    QVariant getObject(int slot) const;
    // 32-bit: a media folder may hold more than 32,767 files.
    int count() const { return m_count; }
    void clear();

    // "A" (any case) ascending, any other word descending. Resets the iteration.
    void SortList(const QString& order = QStringLiteral("A"));
    QString getNext();
    bool atEnd() const;
    // The object of the pair that getNext returned last (empty before the first).
    QVariant currentObject() const;
    void debugPrint();

private:
    struct Slot {
        int less = -1;
        int greaterEq = -1;  // next free slot for a free slot
        int parent = -1;     // -1 root, -2 free
        QString key;
        QVariant object;
    };
    static constexpr int kFree = -2;
    static constexpr int kGrowBy = 100;

    static int compare(const QString& a, const QString& b);
    void attach(int slot);

    std::vector<Slot> m_slots;
    int m_root = -1;
    int m_freeHead = -1;
    int m_highWater = 0;
    int m_capacity = 0;
    int m_count = 0;
    std::vector<int> m_order;
    int m_cursor = -1;
    QString m_orderWord = QStringLiteral("A");
};

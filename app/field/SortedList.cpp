#include "SortedList.h"

#include <algorithm>
#include <deque>
#include <numeric>

int SortedList::compare(const QString& a, const QString& b)
{
    return QString::compare(a, b, Qt::CaseInsensitive);
}

// Hangs a slot (with its whole subtree) at the first empty link on its key's way down.
void SortedList::attach(int slot)
{
    Slot& s = m_slots[slot];
    if (m_root < 0) {
        m_root = slot;
        s.parent = -1;
        return;
    }
    int node = m_root;
    for (;;) {
        Slot& n = m_slots[node];
        int& link = compare(n.key, s.key) > 0 ? n.less : n.greaterEq;
        if (link < 0) {
            link = slot;
            s.parent = node;
            return;
        }
        node = link;
    }
}

int SortedList::addItem(const QString& key, const QVariant& object)
{
    int slot;
    if (m_freeHead >= 0) {
        slot = m_freeHead;
        m_freeHead = m_slots[slot].greaterEq;
    } else {
        if (m_highWater == m_capacity) {
            m_capacity += kGrowBy;
            m_slots.resize(size_t(m_capacity) + 1);
        }
        slot = m_highWater++;
    }
    Slot& s = m_slots[slot];
    s.key = key;
    s.object = object;
    s.less = s.greaterEq = s.parent = -1;
    attach(slot);
    ++m_count;
    return slot;
}

void SortedList::addAll(const QStringList& keys)
{
    std::vector<int> order(size_t(keys.size()));
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return compare(keys[a], keys[b]) < 0; });
    // Runs of equal keys: each run is added in one go, in its given order, which is the
    // order the walk gives equal keys whatever else was added before.
    std::vector<size_t> runStart;
    for (size_t i = 0; i < order.size(); ++i) {
        if (i == 0 || compare(keys[order[i - 1]], keys[order[i]]) != 0)
            runStart.push_back(i);
    }
    runStart.push_back(order.size());
    // Middle run first, then the middles of both halves, level by level.
    std::deque<std::pair<size_t, size_t>> ranges;
    if (runStart.size() > 1)
        ranges.emplace_back(0, runStart.size() - 1);
    while (!ranges.empty()) {
        const auto [lo, hi] = ranges.front();
        ranges.pop_front();
        const size_t mid = lo + (hi - lo) / 2;
        for (size_t i = runStart[mid]; i < runStart[mid + 1]; ++i)
            addItem(keys[order[i]], order[i]);
        if (lo < mid)
            ranges.emplace_back(lo, mid);
        if (mid + 1 < hi)
            ranges.emplace_back(mid + 1, hi);
    }
}

bool SortedList::removeItem(int slot)
{
    if (slot < 0 || slot >= m_highWater)
        return false;
    Slot& s = m_slots[slot];
    if (s.parent == kFree)
        return false;
    const int less = s.less;
    const int greaterEq = s.greaterEq;
    if (slot == m_root) {
        if (greaterEq >= 0) {
            m_root = greaterEq;
            m_slots[greaterEq].parent = -1;
            if (less >= 0)
                attach(less);
        } else {
            m_root = less;
            if (less >= 0)
                m_slots[less].parent = -1;
        }
    } else {
        Slot& p = m_slots[s.parent];
        if (p.less == slot)
            p.less = -1;
        else
            p.greaterEq = -1;
        if (less >= 0)
            attach(less);
        if (greaterEq >= 0)
            attach(greaterEq);
    }
    s.key.clear();
    s.object.clear();
    s.less = -1;
    s.parent = kFree;
    s.greaterEq = m_freeHead;
    m_freeHead = slot;
    --m_count;
    return true;
}

int SortedList::findKey(const QString& key) const
{
    int node = m_root;
    while (node >= 0) {
        const Slot& n = m_slots[node];
        const int c = compare(n.key, key);
        if (c == 0)
            return node;
        node = c > 0 ? n.less : n.greaterEq;
    }
    return -1;
}

QVariant SortedList::getObject(int slot) const
{
    if (slot < 0 || slot >= m_highWater || m_slots[slot].parent == kFree)
        return {};
    return m_slots[slot].object;
}

void SortedList::clear()
{
    m_slots.clear();
    m_root = m_freeHead = -1;
    m_highWater = m_capacity = m_count = 0;
    m_order.clear();
    m_cursor = -1;
}

// An explicit stack: keys that arrive already sorted build a chain as deep as the list is
// long, which a recursive walk would not survive for a large folder.
void SortedList::SortList(const QString& order)
{
    m_orderWord = order;
    const bool ascending = order.compare(QLatin1String("A"), Qt::CaseInsensitive) == 0;
    m_order.clear();
    m_order.reserve(size_t(m_count));
    std::vector<int> stack;
    int node = m_root;
    while (node >= 0 || !stack.empty()) {
        while (node >= 0) {
            stack.push_back(node);
            node = ascending ? m_slots[node].less : m_slots[node].greaterEq;
        }
        node = stack.back();
        stack.pop_back();
        m_order.push_back(node);
        node = ascending ? m_slots[node].greaterEq : m_slots[node].less;
    }
    m_cursor = -1;
}

QString SortedList::getNext()
{
    if (m_cursor + 1 >= int(m_order.size()))
        return {};
    ++m_cursor;
    return m_slots[m_order[size_t(m_cursor)]].key;
}

bool SortedList::atEnd() const
{
    return m_order.empty() || m_cursor >= int(m_order.size()) - 1;
}

QVariant SortedList::currentObject() const
{
    if (m_cursor < 0 || m_cursor >= int(m_order.size()))
        return {};
    return m_slots[m_order[size_t(m_cursor)]].object;
}

void SortedList::debugPrint()
{
    SortList(m_orderWord);
    while (!atEnd())
        getNext();
}

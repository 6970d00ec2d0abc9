#include "lineage.h"

#include <algorithm>

namespace Varnock::Store {

namespace {

struct Reader {
    const char* p;
    const char* end;
    void ws()
    {
        while (p < end && (*p == ' ' || *p == '\n' || *p == '\t' || *p == '\r'))
            ++p;
    }
    bool eat(char c)
    {
        ws();
        if (p < end && *p == c) {
            ++p;
            return true;
        }
        return false;
    }
    // A string without escapes, as lineages hold them: [from, to).
    bool str(const char** from, const char** to)
    {
        if (!eat('"'))
            return false;
        *from = p;
        while (p < end && *p != '"')
            ++p;
        if (p >= end)
            return false;
        *to = p++;
        return true;
    }
    bool num(qint64* out)
    {
        ws();
        bool neg = false;
        if (p < end && *p == '-') {
            neg = true;
            ++p;
        }
        if (p >= end || *p < '0' || *p > '9')
            return false;
        qint64 n = 0;
        while (p < end && *p >= '0' && *p <= '9')
            n = n * 10 + (*p++ - '0');
        // json_set may write a whole number as a real
        if (p < end && *p == '.') {
            ++p;
            while (p < end && *p >= '0' && *p <= '9')
                ++p;
        }
        *out = neg ? -n : n;
        return true;
    }
};

}  // namespace

bool Lineage::parse(const QByteArray& text, Lineage* out)
{
    return parse(text.constData(), int(text.size()), out);
}

bool Lineage::parse(const char* text, int size, Lineage* out)
{
    // Reuses out's storage: an exchange parses a lineage per row.
    out->writer = out->priority = 0;
    out->v.clear();
    auto bad = [out] {
        out->writer = out->priority = 0;
        out->v.clear();
        return false;
    };
    Reader r{text, text + (text ? size : 0)};
    if (!r.eat('{'))
        return bad();
    if (r.eat('}'))
        return true;
    do {
        const char *k0 = nullptr, *k1 = nullptr;
        if (!r.str(&k0, &k1) || !r.eat(':'))
            return bad();
        if (k1 - k0 == 1 && *k0 == 'v') {
            if (!r.eat('{'))
                return bad();
            if (!r.eat('}')) {
                do {
                    const char *n0 = nullptr, *n1 = nullptr;
                    qint64 gen = 0;
                    if (!r.str(&n0, &n1) || !r.eat(':') || !r.num(&gen))
                        return bad();
                    Reader nr{n0, n1};
                    qint64 n = 0;
                    if (nr.num(&n) && nr.p == n1)
                        out->v.emplace_back(n, gen);
                } while (r.eat(','));
                if (!r.eat('}'))
                    return bad();
            }
        } else {
            qint64 n = 0;
            if (!r.num(&n))
                return bad();
            if (k1 - k0 == 1 && *k0 == 'w')
                out->writer = n;
            else if (k1 - k0 == 1 && *k0 == 'p')
                out->priority = n;
        }
    } while (r.eat(','));
    if (!r.eat('}'))
        return bad();
    if (!std::is_sorted(out->v.begin(), out->v.end()))
        std::sort(out->v.begin(), out->v.end());
    return true;
}

QByteArray Lineage::toJson() const
{
    QByteArray s = "{\"w\":" + QByteArray::number(writer) + ",\"p\":" + QByteArray::number(priority) + ",\"v\":{";
    bool first = true;
    for (const auto& [n, g] : v) {
        if (!first)
            s += ',';
        first = false;
        s += '"' + QByteArray::number(n) + "\":" + QByteArray::number(g);
    }
    s += "}}";
    return s;
}

qint64 Lineage::at(qint64 nickname) const
{
    for (const auto& [n, g] : v)
        if (n == nickname)
            return g;
    return 0;
}

void Lineage::set(qint64 nickname, qint64 generation)
{
    for (auto& e : v)
        if (e.first == nickname) {
            e.second = generation;
            return;
        }
    v.emplace_back(nickname, generation);
    std::sort(v.begin(), v.end());
}

Order compare(const Lineage& a, const Lineage& b)
{
    bool aAhead = false, bAhead = false;
    size_t i = 0, j = 0;
    while (i < a.v.size() || j < b.v.size()) {
        qint64 ga = 0, gb = 0;
        if (j >= b.v.size() || (i < a.v.size() && a.v[i].first < b.v[j].first)) {
            ga = a.v[i++].second;
        } else if (i >= a.v.size() || b.v[j].first < a.v[i].first) {
            gb = b.v[j++].second;
        } else {
            ga = a.v[i++].second;
            gb = b.v[j++].second;
        }
        if (ga > gb)
            aAhead = true;
        else if (gb > ga)
            bAhead = true;
    }
    if (aAhead && bAhead)
        return Order::Concurrent;
    if (aAhead)
        return Order::After;
    if (bAhead)
        return Order::Before;
    return Order::Equal;
}

Lineage merged(const Lineage& a, const Lineage& b, const Lineage& winner)
{
    Lineage m;
    m.writer = winner.writer;
    m.priority = winner.priority;
    m.v = a.v;
    for (const auto& [n, g] : b.v)
        if (g > m.at(n))
            m.set(n, g);
    return m;
}

bool beats(const Lineage& a, const QByteArray& guidA, const Lineage& b, const QByteArray& guidB)
{
    if (a.priority != b.priority)
        return a.priority > b.priority;
    if (a.writer != b.writer)
        return a.writer < b.writer;
    if (guidA != guidB)
        return guidA < guidB;
    return a.toJson() < b.toJson();
}

}  // namespace Varnock::Store

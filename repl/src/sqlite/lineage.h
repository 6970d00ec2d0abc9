#pragma once
// Version vectors of replicated rows: {"w": writer, "p": writer's priority, "v": {"<nickname>": generation}}.
#include <QByteArray>
#include <utility>
#include <vector>

namespace Varnock::Store {

struct Lineage {
    qint64 writer = 0;
    qint64 priority = 0;
    std::vector<std::pair<qint64, qint64>> v;   // (nickname, generation), sorted by nickname

    // False when the text is not a lineage; out is then empty.
    static bool parse(const QByteArray& text, Lineage* out);
    static bool parse(const char* text, int size, Lineage* out);
    QByteArray toJson() const;
    qint64 at(qint64 nickname) const;
    void set(qint64 nickname, qint64 generation);
};

enum class Order { Equal, Before, After, Concurrent };

// How a stands to b: Before when b has seen everything a has, After the reverse.
Order compare(const Lineage& a, const Lineage& b);

// Entry-wise maximum, with the writer and priority of winner.
Lineage merged(const Lineage& a, const Lineage& b, const Lineage& winner);

// Whether version a beats version b in a conflict. Decided from the two versions alone (higher writer
// priority, then lower writer nickname, then the lower row GUID, then the lineage text), so both sides of
// an exchange decide alike.
bool beats(const Lineage& a, const QByteArray& guidA, const Lineage& b, const QByteArray& guidB);

}  // namespace Varnock::Store

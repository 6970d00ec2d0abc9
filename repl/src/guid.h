#pragma once
// The 16-byte GUID record as the engine stores it: Data1..Data3 little-endian, then the 8 bytes of Data4.
#include "varnock_global.h"
#include <QByteArray>
#include <array>
#include <cstdint>
#include <cstring>

namespace Varnock {

struct Guid {
    std::array<std::uint8_t, 16> bytes{};   // stored layout, first byte first

    bool isNull() const {
        for (auto b : bytes)
            if (b) return false;
        return true;
    }
    QByteArray toByteArray() const { return QByteArray(reinterpret_cast<const char*>(bytes.data()), 16); }
    // Anything but exactly 16 bytes gives the all-zero GUID.
    static Guid fromByteArray(const QByteArray& raw) {
        Guid g;
        if (raw.size() == 16) std::memcpy(g.bytes.data(), raw.constData(), 16);
        return g;
    }
    friend bool operator==(const Guid&, const Guid&) = default;
};

} // namespace Varnock

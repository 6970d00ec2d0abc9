#pragma once
// The library's string table and its raising of errors.
#include "varnock_errors.h"
#include <QString>
#include <cstdint>

namespace Varnock {

// The message of an identifier (the error code), empty when there is none.
VARNOCK_EXPORT QString ResString(std::int32_t id);
// "The Ostwick Software 4.0 Synchronizer": the source of every error the library raises.
VARNOCK_EXPORT QString ProductName();
// Raises the full error number with its message; inserts are separated by "|". Never returns.
[[noreturn]] VARNOCK_EXPORT void RaiseError(std::int32_t number, const QString& inserts = QString());
// Raises a library code (5001 ...) as RaiseError does.
[[noreturn]] inline void RaiseCode(std::int32_t code) { RaiseError(ObjectErrorBase + code); }

} // namespace Varnock

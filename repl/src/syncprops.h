#pragma once
// The synchronizer's own properties (log file, name, drop boxes, identifier, managed replicas, default
// schedule), kept in the settings store under HKEY_LOCAL_MACHINE\SOFTWARE\Varnock\Synchronizer so that they
// outlive the object and the process. An engine answers ReplGetSynchronizerProperty and
// ReplSetSynchronizerProperty with these two calls; results follow the engine's convention.
#include "engine.h"

namespace Varnock::SynchronizerStore {

// Fills value in the type it holds. Absent: errNoSynchronizerId for the identifier, errValueNotSet otherwise.
// The managed replicas (property 4) come as one text, the paths separated by NUL.
VARNOCK_EXPORT JetResult Get(std::int32_t propId, QVariant& value);
// Text, 32-bit number or bytes. Property 18 adds a managed replica (refused when it is there already), 19
// removes one (refused when it is not there); property 4 cannot be written. A value of another type is ignored.
VARNOCK_EXPORT JetResult Set(std::int32_t propId, const QVariant& value);

} // namespace Varnock::SynchronizerStore

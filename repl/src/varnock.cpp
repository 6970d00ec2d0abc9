#include "varnock_global.h"

// Version of the synchronizer library, for hosts that report it.
extern "C" VARNOCK_EXPORT const char* VarnockVersion() { return "1.0.0"; }

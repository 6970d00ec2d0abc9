#include "zvimaging_global.h"

// Version of the control library, for hosts that report it.
extern "C" ZVIMAGING_EXPORT const char* ZVImagingVersion() { return "1.0.0"; }

#include "qtprompt.h"

// Compiled into every program that links the widget layer, so that the Qt prompt service is
// the default before any code asks, whether or not the program calls InstallQtServices.
namespace {
[[maybe_unused]] const bool gQtServicesInstalled = (InstallQtServices(), true);
}  // namespace

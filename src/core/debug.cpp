// Critical errors: a fixed message and an immediate end of the process.
#include "core/core.h"
#include "platform/platform.h"

VESPER_IMPLEMENT_DYNAMIC(CoreDebug, CoreObject)

void CoreDebug::criticalCheck(const char* message, bool condition) {
  if (!condition) platform::fatalExit(message);
}

void CoreDebug::criticalError(const char* message) { platform::fatalExit(message); }

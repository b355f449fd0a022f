// Critical errors: a fixed message (with the file's name where one is
// concerned) and an immediate end of the process.
#include <string>

#include "core/core.h"
#include "platform/platform.h"

VESPER_IMPLEMENT_DYNAMIC(CoreDebug, CoreObject)

void CoreDebug::criticalCheck(const char* message, bool condition) {
  if (!condition) platform::fatalExit(message);
}

void CoreDebug::criticalError(const char* message) { platform::fatalExit(message); }

void CoreDebug::criticalCheck(const char* message, bool condition, const char* entry) {
  if (!condition) criticalError(message, entry);
}

void CoreDebug::criticalError(const char* message, const char* entry) {
  const std::string text = std::string(message) + "\n  entry: " + (entry != nullptr ? entry : "(none)");
  platform::fatalExit(text.c_str());
}

// Critical errors: a fixed message (with the file's name where one is
// concerned) and an immediate end of the process.
#include <string>
#include <utility>

#include "core/core.h"
#include "platform/platform.h"

VESPER_IMPLEMENT_DYNAMIC(CoreDebug, CoreObject)

namespace {

CoreDebug::CriticalHandler gHandler = nullptr;

[[noreturn]] void endWith(const char* text) {
  if (gHandler) gHandler(text);
  platform::fatalExit(text);
}

}  // namespace

CoreDebug::CriticalHandler CoreDebug::setCriticalHandler(CriticalHandler handler) {
  return std::exchange(gHandler, handler);
}

void CoreDebug::criticalCheck(const char* message, bool condition) {
  if (!condition) endWith(message);
}

void CoreDebug::criticalError(const char* message) { endWith(message); }

void CoreDebug::criticalCheck(const char* message, bool condition, const char* entry) {
  if (!condition) criticalError(message, entry);
}

void CoreDebug::criticalError(const char* message, const char* entry) {
  const std::string text = std::string(message) + "\n  entry: " + (entry != nullptr ? entry : "(none)");
  endWith(text.c_str());
}

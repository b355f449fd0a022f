// The compositor's globals, read once before SDL's Wayland driver starts.
#include "platform/wayland_seat.h"

#include <wayland-client.h>

#include <cstring>

namespace platform {
namespace {

void global(void* data, wl_registry*, uint32_t, const char* interface, uint32_t) {
  if (std::strcmp(interface, wl_seat_interface.name) == 0) *static_cast<bool*>(data) = true;
}

void globalRemove(void*, wl_registry*, uint32_t) {}

const wl_registry_listener kListener = {global, globalRemove};

}  // namespace

bool waylandSeatPresent() {
  wl_display* display = wl_display_connect(nullptr);
  if (!display) return true;
  bool seat = false;
  wl_registry* registry = wl_display_get_registry(display);
  // The same single round trip SDL makes: what it has not seen by then, it
  // does not wait for either.
  const bool answered = registry && wl_registry_add_listener(registry, &kListener, &seat) == 0 &&
                        wl_display_roundtrip(display) >= 0;
  if (registry) wl_registry_destroy(registry);
  wl_display_disconnect(display);
  return seat || !answered;
}

}  // namespace platform

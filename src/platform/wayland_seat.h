// Internal to the platform files: what SDL's Wayland driver needs of the
// compositor before it starts. SDL 2.26 dereferences its input state while
// starting, and that state exists only once the compositor has announced a
// seat (Weston's headless backend announces none): it crashes there.
#pragma once

namespace platform {

// Connects to the compositor named by WAYLAND_DISPLAY, reads its globals once
// and answers whether a wl_seat is among them. True also when no connection
// can be made, so that SDL reports that failure in its own words.
bool waylandSeatPresent();

}  // namespace platform

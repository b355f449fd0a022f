// What the show asks of the application that runs it: the launcher's
// choices, the render window, the input it ignores, the exit request and the
// start-up exit status. The application (app/) installs its own; the demo
// layer never includes it. Main thread only.
#pragma once

#include <cstdint>

#include <glm/vec2.hpp>

#include "platform/window.h"

class ShowHost {
 public:
  // The launcher's choices the show reads once, in initialize.
  struct Display {
    int32_t sampleCount = 0;
    int32_t aspectWidth = 16;
    int32_t aspectHeight = 9;
    glm::ivec2 screenSize{0};
    bool lowQuality = false;
    bool gammaBoost = false;  // a big screen in full screen: gamma 1.2
  };

  virtual ~ShowHost() = default;
  virtual Display display() const = 0;
  // The render window's client size; false without a window (the show then
  // takes the current GL viewport's).
  virtual bool windowSize(uint32_t& width, uint32_t& height) const = 0;
  // The render window, or null without one.
  virtual platform::WindowHandle window() const = 0;
  // Sets the window's gamma ramp (full screen only; nothing without a window).
  virtual void setGamma(float gamma) = 0;
  // Keys, wheel, pointer and buttons go to listeners that ignore them.
  virtual void ignoreInput() = 0;
  // Set by the first Escape: the show runs its closing fade.
  virtual bool exitRequested() const = 0;
  // A start-up failure the user must see ended initialize: the program's
  // exit status.
  virtual void setStartupExitStatus(int status) = 0;
};

// The unit-square set-up the show's full-screen quads and the loader's fade
// share (defined in show_passes.cpp). Internal to src/demo/.
#pragma once

#include <cstdint>

// The unit-square projection (0..1 both ways, near -10, far 10) with an
// identity model-view for the quads of one stage, the alpha test off and
// blending off (on, with the source alpha, for a fade over the picture).
// The alpha test is off although the engine's default keeps it on:
// scenes clear their targets to transparent black so that the lines below
// show, and the quads (the samples' copy, the composition of the lines) must
// carry those alpha-0 texels along. The test would drop them, and a buffer
// would keep the last frame's picture wherever a scene now draws nothing.
// With a quad buffer, its vertices and texture coordinates are the arrays
// drawn from. Afterwards the engine's defaults (blending and the alpha test
// on) are back and no buffer is bound.
class UnitSquare {
 public:
  explicit UnitSquare(uint32_t quadBuffer, bool blending = false);
  ~UnitSquare();
  UnitSquare(const UnitSquare&) = delete;
  UnitSquare& operator=(const UnitSquare&) = delete;

 private:
  bool mArrays;
};

// The fixed frame clock's arithmetic: a frame rate and the music time of
// each frame. Every result is exact: 64-bit integers, no rounding that could
// accumulate over a long capture. Apart from the rest of capture/ so that the
// show's clock can use it without the writers' threading headers.
#pragma once

#include <cstdint>
#include <string>

// R = num / den frames per second.
struct FrameRate {
  int64_t num = 0;
  int64_t den = 1;
};
inline constexpr int64_t kMaxRateTerm = 1000000;

// "60" or "60000/1001": positive integers up to kMaxRateTerm. False (and
// `out` untouched) for anything else.
bool parseFrameRate(const std::string& text, FrameRate& out);
// The music time frame k shows: from + floor(k × 1000 × den / num) ms.
uint64_t captureFrameMs(uint32_t fromMs, uint64_t k, FrameRate rate);
// The frames whose time lies in [from, to); 0 when to <= from.
uint64_t captureFrameCount(uint32_t fromMs, uint32_t toMs, FrameRate rate);

// Capture arithmetic and the progress line.
#include <cinttypes>

#include "capture/capture.h"

namespace {

bool parseTerm(const std::string& text, int64_t& out) {
  if (text.empty() || text.size() > 7) return false;
  int64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  if (v < 1 || v > kMaxRateTerm) return false;
  out = v;
  return true;
}

// ceil(a × b / c) without forming a × b: a = q × c + r, and r × b stays
// small because r < c.
uint64_t mulDivCeil(uint64_t a, uint64_t b, uint64_t c) {
  const uint64_t q = a / c;
  const uint64_t r = a % c;
  return q * b + (r * b + c - 1) / c;
}

}  // namespace

bool parseFrameRate(const std::string& text, FrameRate& out) {
  const size_t slash = text.find('/');
  FrameRate r;
  if (!parseTerm(text.substr(0, slash), r.num)) return false;
  if (slash != std::string::npos && !parseTerm(text.substr(slash + 1), r.den)) return false;
  out = r;
  return true;
}

uint64_t captureFrameMs(uint32_t fromMs, uint64_t k, FrameRate rate) {
  return fromMs + k * 1000 * static_cast<uint64_t>(rate.den) / static_cast<uint64_t>(rate.num);
}

uint64_t captureFrameCount(uint32_t fromMs, uint32_t toMs, FrameRate rate) {
  if (toMs <= fromMs) return 0;
  // floor(k × 1000 × den / num) < D  <=>  k × 1000 × den < D × num.
  const uint64_t span = toMs - fromMs;
  return mulDivCeil(span * static_cast<uint64_t>(rate.num), 1,
                    1000 * static_cast<uint64_t>(rate.den));
}

SampleRange captureSampleRange(uint32_t fromMs, uint64_t firstFrame, uint64_t frames,
                               FrameRate rate, uint32_t sampleRate) {
  const uint64_t num = static_cast<uint64_t>(rate.num);
  const uint64_t den = static_cast<uint64_t>(rate.den);
  // The first sample at or after frame k's instant, which is
  // from × num + 1000 × k × den in units of 1 / (1000 × num) s.
  auto sampleAt = [&](uint64_t k) {
    return mulDivCeil(uint64_t{fromMs} * num + 1000 * k * den, sampleRate, 1000 * num);
  };
  return SampleRange{sampleAt(firstFrame), sampleAt(firstFrame + frames)};
}

std::string captureFramePath(const std::string& dir, uint64_t index) {
  char name[40];
  std::snprintf(name, sizeof name, "/frame_%06" PRIu64 ".png", index);
  return dir + name;
}

// ---------------------------------------------------------------------------

void CaptureProgress::print(uint64_t done, double seconds, const char* end) {
  const double fps = seconds > 0.0 ? static_cast<double>(done) / seconds : 0.0;
  const uint64_t rest = mTotal > done ? mTotal - done : 0;
  const uint64_t left =
      fps > 0.0 ? static_cast<uint64_t>(static_cast<double>(rest) / fps + 0.5) : 0;
  std::fprintf(mOut,
               "%scapture: frame %" PRIu64 " of %" PRIu64 ", %.1f fps, %" PRIu64 ":%02" PRIu64
               " left%s",
               mTerminal ? "\r" : "", done, mTotal, fps, left / 60, left % 60, end);
  std::fflush(mOut);
  mDrawn = true;
}

void CaptureProgress::update(uint64_t done, double seconds) {
  if (mTerminal) {
    if (done < mTotal && mLastDraw >= 0.0 && seconds - mLastDraw < 0.2) return;
    mLastDraw = seconds;
    // Spaces cover what a longer previous line left.
    print(done, seconds, "    ");
    return;
  }
  const uint64_t tenth = mTotal ? done * 10 / mTotal : 10;
  if (tenth <= mLastTenth) return;
  mLastTenth = tenth;
  print(done, seconds, "\n");
}

void CaptureProgress::finish() {
  if (mTerminal && mDrawn) std::fputc('\n', mOut);
  mDrawn = false;
}

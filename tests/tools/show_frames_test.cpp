// The sample production as its viewers see it: frames captured across the
// show are neither blank nor alike. A black, flat or frozen show fails.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/support.h"
#include "texture/decode.h"

namespace {

struct FrameStats {
  std::vector<float> luma;  // per pixel, 0-255
  double lumaDeviation = 0.0;
  double meanChroma = 0.0;  // mean of max - min channel
};

FrameStats measure(const std::string& path) {
  const std::vector<uint8_t> bytes = testing_support::readFile(path);
  std::string reason;
  const texture_decode::TexturePtr picture = texture_decode::decodePng(bytes.data(), bytes.size(), reason);
  FrameStats s;
  if (!picture) {
    ADD_FAILURE() << path << ": " << reason;
    return s;
  }
  const size_t count = static_cast<size_t>(picture->width()) * picture->height();
  double sum = 0.0, sumSquares = 0.0, chroma = 0.0;
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* p = picture->pixels() + i * 4;
    const float y = 0.2126f * p[0] + 0.7152f * p[1] + 0.0722f * p[2];
    s.luma.push_back(y);
    sum += y;
    sumSquares += static_cast<double>(y) * y;
    chroma += std::max({p[0], p[1], p[2]}) - std::min({p[0], p[1], p[2]});
  }
  const double mean = sum / count;
  s.lumaDeviation = std::sqrt(std::max(0.0, sumSquares / count - mean * mean));
  s.meanChroma = chroma / count;
  return s;
}

double meanAbsoluteDifference(const FrameStats& a, const FrameStats& b) {
  if (a.luma.size() != b.luma.size() || a.luma.empty()) return 0.0;
  double sum = 0.0;
  for (size_t i = 0; i < a.luma.size(); ++i) sum += std::fabs(a.luma[i] - b.luma[i]);
  return sum / a.luma.size();
}

TEST(SampleShow, FramesAcrossTheShowVaryInColourAndBrightnessAndDifferFromEachOther) {
  const char* build = std::getenv("VESPER_BUILD_DIR");
  ASSERT_NE(build, nullptr);
  testing_support::TempDir dir;
  // One frame every 20 s from 6 s on: one per section of the music.
  const auto r = testing_support::runCommand(
      testing_support::builtProgram("vesper") + " --data '" + build + "/production' --headless --windowed" +
      " --resolution 160x90 --capture '" + dir.file("frames") + "' --fps 1/20 --from 6000");
  ASSERT_EQ(r.exitStatus, 0) << r.stdErr;
  std::vector<FrameStats> frames;
  for (int k = 0; k < 6; ++k) {
    char name[32];
    std::snprintf(name, sizeof name, "/frame_%06d.png", k);
    frames.push_back(measure(dir.file("frames") + name));
  }
  for (size_t k = 0; k < frames.size(); ++k) {
    EXPECT_GT(frames[k].lumaDeviation, 20.0) << "frame " << k << " is flat";
    EXPECT_GT(frames[k].meanChroma, 6.0) << "frame " << k << " has no colour";
    for (size_t j = 0; j < k; ++j)
      EXPECT_GT(meanAbsoluteDifference(frames[j], frames[k]), 6.0) << "frames " << j << " and " << k << " alike";
  }
}

}  // namespace

// vesper-icon: paints the program's icon from the launcher's artwork (night
// sky, moon, the name's first letter) on the CPU, at every size a desktop
// asks for: DIR/NxN/apps/vesper.png. Used by the build only.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "app/launcher.h"
#include "texture/texture.h"
#include "tool_version.h"

namespace {

struct Color {
  float r, g, b, a;
};

Color from(LauncherArt::Rgba c) { return {c.r / 255.0f, c.g / 255.0f, c.b / 255.0f, c.a / 255.0f}; }

float segmentDistance(float px, float py, float ax, float ay, float bx, float by) {
  const float dx = bx - ax, dy = by - ay;
  const float t = std::clamp(((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy), 0.0f, 1.0f);
  return std::hypot(px - ax - t * dx, py - ay - t * dy);
}

// The picture at a point of the unit square (y down); transparent outside
// the rounded tile.
Color sample(float x, float y, float frameWidth) {
  const float corner = 0.16f;
  const float cx = std::clamp(x, corner, 1.0f - corner), cy = std::clamp(y, corner, 1.0f - corner);
  const float edge = corner - std::hypot(x - cx, y - cy);  // distance inside the tile
  if (edge < 0.0f) return {0, 0, 0, 0};
  if (edge < frameWidth) return from(LauncherArt::kFrame);
  if (std::hypot(x - 0.78f, y - 0.2f) < 0.085f) return from(LauncherArt::kMoon);
  const float stroke = 0.065f;
  if (segmentDistance(x, y, 0.23f, 0.34f, 0.45f, 0.8f) < stroke ||
      segmentDistance(x, y, 0.67f, 0.34f, 0.45f, 0.8f) < stroke) {
    return from(LauncherArt::kLetters);
  }
  const Color top = from(LauncherArt::kSkyTop), bottom = from(LauncherArt::kSkyBottom);
  return {top.r + (bottom.r - top.r) * y, top.g + (bottom.g - top.g) * y,
          top.b + (bottom.b - top.b) * y, 1.0f};
}

// 8x8 samples a pixel, averaged with their alpha so that edges stay clean.
std::vector<uint8_t> paint(int size) {
  constexpr int kGrid = 8;
  const float frameWidth = std::max(1.0f / size, 1.0f / 64.0f);
  std::vector<uint8_t> pixels(static_cast<size_t>(size) * size * 4);
  for (int py = 0; py < size; ++py) {
    for (int px = 0; px < size; ++px) {
      Color sum{0, 0, 0, 0};
      for (int sy = 0; sy < kGrid; ++sy) {
        for (int sx = 0; sx < kGrid; ++sx) {
          const Color c = sample((px + (sx + 0.5f) / kGrid) / size, (py + (sy + 0.5f) / kGrid) / size,
                                 frameWidth);
          sum = {sum.r + c.r * c.a, sum.g + c.g * c.a, sum.b + c.b * c.a, sum.a + c.a};
        }
      }
      uint8_t* out = &pixels[(static_cast<size_t>(py) * size + px) * 4];
      const float a = sum.a / (kGrid * kGrid);
      const float unmul = sum.a > 0.0f ? 1.0f / sum.a : 0.0f;
      for (int i = 0; i < 3; ++i) {
        const float v = (i == 0 ? sum.r : i == 1 ? sum.g : sum.b) * unmul;
        out[i] = static_cast<uint8_t>(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f));
      }
      out[3] = static_cast<uint8_t>(std::lround(a * 255.0f));
    }
  }
  return pixels;
}

}  // namespace

int main(int argc, char** argv) {
  if (printedVersion(argc, argv, "vesper-icon")) return 0;
  if (argc != 2) {
    std::fputs("usage: vesper-icon DIR\nWrites DIR/NxN/apps/vesper.png for N = 16, 32, 48, 64, 128, 256.\n",
               stderr);
    return 2;
  }
  for (int size : {16, 32, 48, 64, 128, 256}) {
    const std::string n = std::to_string(size);
    const std::filesystem::path dir = std::filesystem::path(argv[1]) / (n + "x" + n) / "apps";
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    const std::vector<uint8_t> pixels = paint(size);
    PngImage image;
    image.pixels = pixels.data();
    image.width = image.height = static_cast<uint32_t>(size);
    image.stride = static_cast<size_t>(size) * 4;
    std::string reason;
    if (!writePngFile((dir / "vesper.png").c_str(), image, reason)) {
      std::fprintf(stderr, "vesper-icon: %s\n", reason.c_str());
      return 1;
    }
  }
  return 0;
}

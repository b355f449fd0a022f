// texgen: paints the sample production's procedural textures into a folder
// (the pack's data\texture): the particle and glow sprites (PNG with alpha),
// the metaball background (JPEG) and its reflection cube map (DXT1 DDS with
// six faces). Deterministic: the same build writes the same pictures.
#include <turbojpeg.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "texture/texture.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

struct Rgba {
  double r = 0, g = 0, b = 0, a = 1;
};

// ---------------------------------------------------------------------------
// Noise: value noise on an integer hash, summed over octaves.

uint32_t hash3(int32_t x, int32_t y, int32_t z) {
  uint32_t h = static_cast<uint32_t>(x) * 0x8da6b343u ^ static_cast<uint32_t>(y) * 0xd8163841u ^
               static_cast<uint32_t>(z) * 0xcb1ab31fu;
  h ^= h >> 13;
  h *= 0x5bd1e995u;
  h ^= h >> 15;
  return h;
}

double lattice(int32_t x, int32_t y, int32_t z) { return (hash3(x, y, z) & 0xFFFFu) / 65535.0; }

double smooth(double t) { return t * t * (3 - 2 * t); }

double valueNoise(double x, double y, double z) {
  const double fx = std::floor(x), fy = std::floor(y), fz = std::floor(z);
  const auto ix = static_cast<int32_t>(fx), iy = static_cast<int32_t>(fy), iz = static_cast<int32_t>(fz);
  const double u = smooth(x - fx), v = smooth(y - fy), w = smooth(z - fz);
  double plane[2];
  for (int k = 0; k < 2; ++k) {
    const double a = lattice(ix, iy, iz + k) + (lattice(ix + 1, iy, iz + k) - lattice(ix, iy, iz + k)) * u;
    const double b =
        lattice(ix, iy + 1, iz + k) + (lattice(ix + 1, iy + 1, iz + k) - lattice(ix, iy + 1, iz + k)) * u;
    plane[k] = a + (b - a) * v;
  }
  return plane[0] + (plane[1] - plane[0]) * w;
}

double fbm(double x, double y, double z, int octaves) {
  double sum = 0, amplitude = 0.5, scale = 1, norm = 0;
  for (int i = 0; i < octaves; ++i) {
    sum += amplitude * valueNoise(x * scale, y * scale, z * scale);
    norm += amplitude;
    amplitude *= 0.5;
    scale *= 2.03;
  }
  return sum / norm;
}

double clamp01(double v) { return std::min(1.0, std::max(0.0, v)); }
uint8_t toByte(double v) { return static_cast<uint8_t>(std::lround(clamp01(v) * 255.0)); }
double smoothstep(double e0, double e1, double x) { return smooth(clamp01((x - e0) / (e1 - e0))); }

// ---------------------------------------------------------------------------
// Sprites: painted at (u, v) in [-1, 1], straight alpha.

using Painter = std::function<Rgba(double u, double v)>;

bool writeSprite(const std::string& path, int size, const Painter& paint) {
  std::vector<uint8_t> pixels(static_cast<size_t>(size) * size * 4);
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      const double u = (x + 0.5) / size * 2 - 1, v = (y + 0.5) / size * 2 - 1;
      const Rgba c = paint(u, v);
      uint8_t* p = &pixels[(static_cast<size_t>(y) * size + x) * 4];
      p[0] = toByte(c.r), p[1] = toByte(c.g), p[2] = toByte(c.b), p[3] = toByte(c.a);
    }
  }
  PngImage image;
  image.pixels = pixels.data();
  image.width = image.height = static_cast<uint32_t>(size);
  image.stride = static_cast<size_t>(size) * 4;
  image.description = "texgen";
  std::string reason;
  if (writePngFile(path.c_str(), image, reason)) return true;
  std::fprintf(stderr, "texgen: %s: %s\n", path.c_str(), reason.c_str());
  return false;
}

// A glow of colour `tint`: a hot core fading out to nothing at `reach`
// (1 = the sprite's rim).
Rgba glow(double u, double v, Rgba tint, double core, double reach = 1.0) {
  const double d = std::sqrt(u * u + v * v);
  const double falloff = std::pow(clamp01(1 - d / reach), 2.2);
  const double hot = std::exp(-d * d / (core * core));
  return {tint.r + (1 - tint.r) * hot, tint.g + (1 - tint.g) * hot, tint.b + (1 - tint.b) * hot,
          clamp01(falloff * 0.85 + hot * 0.5) * smoothstep(1.0, 0.9, d)};
}

Rgba star(double u, double v) {
  const double d = std::sqrt(u * u + v * v);
  const double angle = std::atan2(v, u);
  const double rays = std::pow(std::abs(std::cos(2 * angle)), 24.0) + 0.5 * std::pow(std::abs(std::sin(2 * angle)), 40.0);
  const double beam = rays * std::pow(clamp01(1 - d), 1.5);
  Rgba c = glow(u, v, {0.75, 0.85, 1.0, 1}, 0.12);
  c.a = clamp01(c.a * 0.6 + beam);
  return c;
}

Rgba smokePuff(double u, double v, double seed) {
  const double d = std::sqrt(u * u + v * v);
  const double n = fbm(u * 2.5 + seed, v * 2.5 - seed, seed * 3.1, 5);
  const double mask = smoothstep(1.0, 0.25, d + (n - 0.5) * 0.6);
  const double shade = 0.75 + 0.25 * n - 0.15 * v;
  return {shade, shade, shade * 1.02, clamp01(mask * (0.35 + 0.65 * n))};
}

// A soft feather: a vane along the diagonal with barbs and a bright shaft.
Rgba feather(double u, double v) {
  const double c = std::cos(kPi / 4), s = std::sin(kPi / 4);
  const double x = u * c - v * s, y = u * s + v * c;  // along the shaft: y
  const double width = 0.38 * std::sqrt(clamp01(1 - y * y)) * (1 - 0.25 * y);
  const double across = std::abs(x) / std::max(width, 1e-3);
  const double barbs = 0.6 + 0.4 * std::sin((y * 26 + std::abs(x) * 30));
  const double vane = smoothstep(1.0, 0.7, across) * barbs * smoothstep(0.98, 0.85, std::abs(y));
  const double shaft = smoothstep(0.03, 0.0, std::abs(x)) * smoothstep(1.0, 0.8, std::abs(y));
  return {1.0, 0.97, 0.92, clamp01(vane * 0.8 + shaft)};
}

Rgba halo(double u, double v) {
  const double d = std::sqrt(u * u + v * v);
  Rgba c = glow(u, v, {0.35, 0.6, 1.0, 1}, 0.12, 0.6);
  const double ring = std::exp(-std::pow((d - 0.72) / 0.05, 2.0)) * 0.45;
  c.a = clamp01(c.a + ring);
  return c;
}

Rgba sunburst(double u, double v) {
  const double d = std::sqrt(u * u + v * v);
  const double angle = std::atan2(v, u);
  Rgba c = glow(u, v, {1.0, 0.95, 0.85, 1}, 0.12, 0.55);
  const double rays = std::pow(0.5 + 0.5 * std::cos(angle * 12), 4.0) * (0.6 + 0.4 * std::cos(angle * 5 + 1));
  c.a = clamp01(c.a + rays * 0.5 * std::pow(clamp01(1 - d), 3.0));
  return c;
}

// ---------------------------------------------------------------------------
// The metaball background: a dusky gradient with drifting nebulae and stars.

bool writeBackground(const std::string& path) {
  constexpr int kW = 512, kH = 256;
  std::vector<uint8_t> rgb(static_cast<size_t>(kW) * kH * 3);
  for (int y = 0; y < kH; ++y) {
    for (int x = 0; x < kW; ++x) {
      const double u = (x + 0.5) / kW, v = (y + 0.5) / kH;  // v = 0 at the top
      const double nebula = fbm(u * 6, v * 3, 0.5, 6);
      const double wisps = fbm(u * 14 + 3, v * 7, 2.5, 4);
      double r = 0.05 + 0.22 * v, g = 0.04 + 0.06 * v, b = 0.16 + 0.18 * (1 - v);
      const double cloud = smoothstep(0.45, 0.8, nebula) * (0.6 + 0.4 * wisps);
      r += cloud * 0.55, g += cloud * 0.25, b += cloud * 0.45;
      const uint32_t h = hash3(x, y, 7);
      if ((h & 0x3FFu) == 0) {
        const double twinkle = 0.5 + ((h >> 10) & 0xFF) / 510.0;
        r += twinkle, g += twinkle, b += twinkle * 0.9;
      }
      uint8_t* p = &rgb[(static_cast<size_t>(y) * kW + x) * 3];
      // Blue never saturates: pure blue is the pictures' transparent key.
      p[0] = toByte(r), p[1] = toByte(g), p[2] = toByte(std::min(b, 0.9));
    }
  }
  tjhandle handle = tjInitCompress();
  if (handle == nullptr) return false;
  unsigned char* jpeg = nullptr;
  unsigned long size = 0;
  const bool ok = tjCompress2(handle, rgb.data(), kW, 0, kH, TJPF_RGB, &jpeg, &size, TJSAMP_444, 92, 0) == 0;
  tjDestroy(handle);
  bool written = false;
  if (ok) {
    if (std::FILE* fp = std::fopen(path.c_str(), "wb")) {
      written = std::fwrite(jpeg, 1, size, fp) == size;
      written = std::fclose(fp) == 0 && written;
    }
  }
  tjFree(jpeg);
  return written;
}

// ---------------------------------------------------------------------------
// The cube map: a sky with a sun and clouds above a dark sea, DXT1.

Rgba sky(double x, double y, double z) {
  const double len = std::sqrt(x * x + y * y + z * z);
  x /= len, y /= len, z /= len;
  const double sx = 0.45, sy = 0.55, sz = 0.70;  // towards the sun (unit length)
  const double sun = x * sx + y * sy + z * sz;
  Rgba c;
  if (y >= 0) {
    const double up = std::pow(y, 0.6);
    c = {0.75 - 0.5 * up, 0.85 - 0.4 * up, 1.0 - 0.15 * up, 1};
    const double clouds = smoothstep(0.5, 0.75, fbm(x / (y + 0.25) * 1.5, z / (y + 0.25) * 1.5, 1.0, 5));
    const double cover = clouds * smoothstep(0.0, 0.15, y);
    c.r += (0.95 - c.r) * cover, c.g += (0.95 - c.g) * cover, c.b += (0.97 - c.b) * cover;
  } else {
    const double down = std::pow(-y, 0.5);
    c = {0.25 - 0.15 * down, 0.3 - 0.15 * down, 0.38 - 0.15 * down, 1};
  }
  const double disc = smoothstep(0.9985, 0.9995, sun);
  const double haze = std::pow(clamp01(sun), 64.0) * 0.6 + std::pow(clamp01(sun), 6.0) * 0.2;
  c.r += disc + haze, c.g += disc * 0.95 + haze * 0.85, c.b += disc * 0.8 + haze * 0.6;
  return c;
}

// The face texel (x, y) of `size`, row 0 first in memory, as a direction
// (GL cube-map face order +X, -X, +Y, -Y, +Z, -Z).
void faceDirection(int face, int x, int y, int size, double d[3]) {
  const double s = (x + 0.5) / size * 2 - 1, t = (y + 0.5) / size * 2 - 1;
  const double table[6][3] = {{1, -t, -s}, {-1, -t, s}, {s, 1, t}, {s, -1, -t}, {s, -t, 1}, {-s, -t, -1}};
  for (int k = 0; k < 3; ++k) d[k] = table[face][k];
}

uint16_t to565(const double c[3]) {
  const auto r = static_cast<uint16_t>(std::lround(clamp01(c[0]) * 31));
  const auto g = static_cast<uint16_t>(std::lround(clamp01(c[1]) * 63));
  const auto b = static_cast<uint16_t>(std::lround(clamp01(c[2]) * 31));
  return static_cast<uint16_t>(r << 11 | g << 5 | b);
}

void from565(uint16_t v, double c[3]) {
  c[0] = ((v >> 11) & 31) / 31.0, c[1] = ((v >> 5) & 63) / 63.0, c[2] = (v & 31) / 31.0;
}

// One 4x4 block: the end points are the block's extremes along its main
// colour axis, four-colour mode (c0 > c1), each texel the nearest entry.
void encodeBlock(const double texels[16][3], uint8_t out[8]) {
  double mean[3] = {0, 0, 0};
  for (int i = 0; i < 16; ++i)
    for (int k = 0; k < 3; ++k) mean[k] += texels[i][k] / 16;
  double cov[3][3] = {};
  for (int n = 0; n < 16; ++n)
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) cov[i][j] += (texels[n][i] - mean[i]) * (texels[n][j] - mean[j]);
  double axis[3] = {1, 1, 1};
  for (int iteration = 0; iteration < 8; ++iteration) {
    double next[3] = {0, 0, 0};
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) next[i] += cov[i][j] * axis[j];
    const double len = std::sqrt(next[0] * next[0] + next[1] * next[1] + next[2] * next[2]);
    if (len < 1e-12) break;
    for (int k = 0; k < 3; ++k) axis[k] = next[k] / len;
  }
  double lo = 1e9, hi = -1e9;
  for (int n = 0; n < 16; ++n) {
    const double* t = texels[n];
    const double p = (t[0] - mean[0]) * axis[0] + (t[1] - mean[1]) * axis[1] + (t[2] - mean[2]) * axis[2];
    lo = std::min(lo, p), hi = std::max(hi, p);
  }
  double a[3], b[3];
  for (int k = 0; k < 3; ++k) a[k] = mean[k] + axis[k] * hi, b[k] = mean[k] + axis[k] * lo;
  uint16_t c0 = to565(a), c1 = to565(b);
  if (c0 < c1) std::swap(c0, c1);
  double palette[4][3];
  from565(c0, palette[0]);
  from565(c1, palette[1]);
  for (int k = 0; k < 3; ++k) {
    palette[2][k] = (2 * palette[0][k] + palette[1][k]) / 3;
    palette[3][k] = (palette[0][k] + 2 * palette[1][k]) / 3;
  }
  uint32_t indices = 0;
  if (c0 != c1) {
    for (int i = 0; i < 16; ++i) {
      int best = 0;
      double bestError = 1e9;
      for (int e = 0; e < 4; ++e) {
        double error = 0;
        for (int k = 0; k < 3; ++k) error += (texels[i][k] - palette[e][k]) * (texels[i][k] - palette[e][k]);
        if (error < bestError) bestError = error, best = e;
      }
      indices |= static_cast<uint32_t>(best) << (2 * i);
    }
  }
  out[0] = static_cast<uint8_t>(c0), out[1] = static_cast<uint8_t>(c0 >> 8);
  out[2] = static_cast<uint8_t>(c1), out[3] = static_cast<uint8_t>(c1 >> 8);
  for (int k = 0; k < 4; ++k) out[4 + k] = static_cast<uint8_t>(indices >> (8 * k));
}

void put32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
  for (int k = 0; k < 4; ++k) out[at + k] = static_cast<uint8_t>(v >> (8 * k));
}

bool writeCubeMap(const std::string& path) {
  constexpr int kSize = 128;
  constexpr size_t kFaceBytes = (kSize / 4) * (kSize / 4) * 8;
  std::vector<uint8_t> file(128 + 6 * kFaceBytes, 0);
  std::memcpy(&file[0], "DDS ", 4);
  put32(file, 4, 124);
  put32(file, 8, 0xA1007);  // caps, height, width, pixel format, mip-map count, linear size
  put32(file, 12, kSize);
  put32(file, 16, kSize);
  put32(file, 20, kFaceBytes);
  put32(file, 28, 1);  // one level: the engine sends only the top one
  put32(file, 76, 32);
  put32(file, 80, 0x4);  // four-character code
  std::memcpy(&file[84], "DXT1", 4);
  put32(file, 108, 0x1008);  // texture, complex
  put32(file, 112, 0xFE00);  // cube map, all six faces
  size_t at = 128;
  for (int face = 0; face < 6; ++face) {
    for (int by = 0; by < kSize; by += 4) {
      for (int bx = 0; bx < kSize; bx += 4) {
        double texels[16][3];
        for (int i = 0; i < 16; ++i) {
          double d[3];
          faceDirection(face, bx + i % 4, by + i / 4, kSize, d);
          const Rgba c = sky(d[0], d[1], d[2]);
          texels[i][0] = clamp01(c.r), texels[i][1] = clamp01(c.g), texels[i][2] = clamp01(c.b);
        }
        encodeBlock(texels, &file[at]);
        at += 8;
      }
    }
  }
  std::FILE* fp = std::fopen(path.c_str(), "wb");
  if (!fp) return false;
  bool ok = std::fwrite(file.data(), 1, file.size(), fp) == file.size();
  return std::fclose(fp) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: texgen DIR\nWrites the production's generated textures into DIR.\n", stderr);
    return 2;
  }
  const std::string dir = std::string(argv[1]) + "/";
  struct Sprite {
    const char* name;
    int size;
    Painter paint;
  };
  const Sprite sprites[] = {
      {"mhane1a.png", 64, [](double u, double v) { return glow(u, v, {1.0, 0.85, 0.6, 1}, 0.18); }},
      {"mhane2a.png", 64, star},
      {"mhane3a.png", 128, [](double u, double v) { return smokePuff(u, v, 1.7); }},
      {"mhane4a.png", 64, feather},
      {"light1.png", 128, [](double u, double v) { return glow(u, v, {1.0, 0.6, 0.3, 1}, 0.15, 0.6); }},
      {"light2.png", 128, halo},
      {"light3.png", 128, sunburst},
  };
  bool ok = true;
  for (const Sprite& s : sprites) {
    if (!writeSprite(dir + s.name, s.size, s.paint)) {
      std::fprintf(stderr, "texgen: %s%s: cannot write\n", dir.c_str(), s.name);
      ok = false;
    }
  }
  if (!writeBackground(dir + "metaback.jpg")) {
    std::fprintf(stderr, "texgen: %smetaback.jpg: cannot write\n", dir.c_str());
    ok = false;
  }
  if (!writeCubeMap(dir + "moricube.dds")) {
    std::fprintf(stderr, "texgen: %smoricube.dds: cannot write\n", dir.c_str());
    ok = false;
  }
  return ok ? 0 : 1;
}

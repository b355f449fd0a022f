// texgen: paints the sample production's procedural textures into a folder
// (the pack's data\texture): the particle and glow sprites and the grain
// noise (PNG with alpha), the metaball background (JPEG), the reflection cube
// map (DXT1 DDS with six faces), the stone (BMP), the ground colour (raw TGA),
// the title and greetings lettering (run-length TGA), the floor tiles (GIF
// data under a .bmp name: the picture decoder knows GIF by its signature, but
// no texture is looked up by a .gif name),
// the sky (Radiance HDR) and the engine's default texture (BMP).
// Deterministic: the same build writes the same pictures. Rows are written
// top row first in every format, so that row 0 is the picture's top.
#include <gif_lib.h>
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


// ---------------------------------------------------------------------------
// Tileable noise: the lattice wraps every `period` cells.

double tileNoise(double x, double y, int period, int seed) {
  const double fx = std::floor(x), fy = std::floor(y);
  const int ix = static_cast<int>(fx), iy = static_cast<int>(fy);
  auto at = [&](int i, int j) {
    return lattice(((i % period) + period) % period, ((j % period) + period) % period, seed);
  };
  const double u = smooth(x - fx), v = smooth(y - fy);
  const double a = at(ix, iy) + (at(ix + 1, iy) - at(ix, iy)) * u;
  const double b = at(ix, iy + 1) + (at(ix + 1, iy + 1) - at(ix, iy + 1)) * u;
  return a + (b - a) * v;
}

// Octaves of tileNoise over the unit square (u, v in [0, 1)), tileable.
double tileFbm(double u, double v, int period, int octaves, int seed) {
  double sum = 0, amplitude = 0.5, norm = 0;
  for (int i = 0; i < octaves; ++i) {
    sum += amplitude * tileNoise(u * period, v * period, period, seed + i);
    norm += amplitude;
    amplitude *= 0.5;
    period *= 2;
  }
  return sum / norm;
}

// An RGBA picture, row 0 at the top.
struct Picture {
  int width = 0, height = 0;
  std::vector<Rgba> texels;
  Picture(int w, int h) : width(w), height(h), texels(static_cast<size_t>(w) * h) {}
  Rgba& at(int x, int y) { return texels[static_cast<size_t>(y) * width + x]; }
  const Rgba& at(int x, int y) const { return texels[static_cast<size_t>(y) * width + x]; }
};

Picture paint(int w, int h, const std::function<Rgba(double u, double v)>& fn) {
  Picture p(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) p.at(x, y) = fn((x + 0.5) / w, (y + 0.5) / h);
  return p;
}

bool writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::FILE* fp = std::fopen(path.c_str(), "wb");
  if (!fp) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), fp) == bytes.size();
  return std::fclose(fp) == 0 && ok;
}

void put16(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
void append32(std::vector<uint8_t>& out, uint32_t v) {
  for (int k = 0; k < 4; ++k) out.push_back(static_cast<uint8_t>(v >> (8 * k)));
}

// 24-bit BMP, stored top-down (negative height). Blue is kept below full so
// that nothing hits the pure-blue transparency key.
bool writeBmp(const std::string& path, const Picture& p) {
  const uint32_t stride = (static_cast<uint32_t>(p.width) * 3 + 3) & ~3u;
  const uint32_t imageBytes = stride * static_cast<uint32_t>(p.height);
  std::vector<uint8_t> out;
  out.push_back('B'), out.push_back('M');
  append32(out, 54 + imageBytes);
  append32(out, 0);
  append32(out, 54);
  append32(out, 40);
  append32(out, static_cast<uint32_t>(p.width));
  append32(out, static_cast<uint32_t>(-p.height));
  put16(out, 1);
  put16(out, 24);
  append32(out, 0);
  append32(out, imageBytes);
  append32(out, 2835), append32(out, 2835), append32(out, 0), append32(out, 0);
  for (int y = 0; y < p.height; ++y) {
    for (int x = 0; x < p.width; ++x) {
      const Rgba& c = p.at(x, y);
      out.push_back(toByte(std::min(c.b, 0.98))), out.push_back(toByte(c.g)), out.push_back(toByte(c.r));
    }
    for (uint32_t k = static_cast<uint32_t>(p.width) * 3; k < stride; ++k) out.push_back(0);
  }
  return writeFile(path, out);
}

// Truecolour TGA, top row first (descriptor bit 5): raw 24-bit, or 32-bit
// with alpha and run-length packets.
bool writeTga(const std::string& path, const Picture& p, bool runLength) {
  const int bytes = runLength ? 4 : 3;
  std::vector<uint8_t> out = {0, 0, static_cast<uint8_t>(runLength ? 10 : 2), 0, 0, 0, 0, 0, 0, 0, 0, 0};
  put16(out, static_cast<uint16_t>(p.width));
  put16(out, static_cast<uint16_t>(p.height));
  out.push_back(static_cast<uint8_t>(bytes * 8));
  out.push_back(static_cast<uint8_t>(runLength ? 0x28 : 0x20));
  auto pixel = [&](const Rgba& c, uint8_t* px) {
    px[0] = toByte(c.b), px[1] = toByte(c.g), px[2] = toByte(c.r), px[3] = toByte(c.a);
  };
  for (int y = 0; y < p.height; ++y) {
    if (!runLength) {
      for (int x = 0; x < p.width; ++x) {
        uint8_t px[4];
        pixel(p.at(x, y), px);
        out.insert(out.end(), px, px + 3);
      }
      continue;
    }
    // Packets never cross a row: runs of equal pixels, else literal spans.
    int x = 0;
    while (x < p.width) {
      uint8_t first[4];
      pixel(p.at(x, y), first);
      int run = 1;
      while (x + run < p.width && run < 128) {
        uint8_t next[4];
        pixel(p.at(x + run, y), next);
        if (std::memcmp(next, first, 4) != 0) break;
        ++run;
      }
      if (run > 1) {
        out.push_back(static_cast<uint8_t>(0x80 | (run - 1)));
        out.insert(out.end(), first, first + 4);
        x += run;
        continue;
      }
      int span = 1;
      while (x + span < p.width && span < 128) {
        uint8_t a[4], b[4];
        pixel(p.at(x + span, y), a);
        if (x + span + 1 < p.width) {
          pixel(p.at(x + span + 1, y), b);
          if (std::memcmp(a, b, 4) == 0) break;
        }
        ++span;
      }
      out.push_back(static_cast<uint8_t>(span - 1));
      for (int k = 0; k < span; ++k) {
        uint8_t px[4];
        pixel(p.at(x + k, y), px);
        out.insert(out.end(), px, px + 4);
      }
      x += span;
    }
  }
  return writeFile(path, out);
}

// GIF with a fixed palette of `colours` entries; every texel takes the
// nearest entry.
bool writeGif(const std::string& path, const Picture& p, const std::vector<Rgba>& colours) {
  int error = 0;
  GifFileType* gif = EGifOpenFileName(path.c_str(), false, &error);
  if (!gif) return false;
  int bits = 1;
  while ((1 << bits) < static_cast<int>(colours.size())) ++bits;
  std::vector<GifColorType> entries(static_cast<size_t>(1) << bits);
  for (size_t i = 0; i < colours.size(); ++i)
    entries[i] = {toByte(colours[i].r), toByte(colours[i].g), toByte(std::min(colours[i].b, 0.98))};
  ColorMapObject* map = GifMakeMapObject(1 << bits, entries.data());
  bool ok = map && EGifPutScreenDesc(gif, p.width, p.height, bits, 0, map) == GIF_OK &&
            EGifPutImageDesc(gif, 0, 0, p.width, p.height, false, nullptr) == GIF_OK;
  std::vector<GifPixelType> row(static_cast<size_t>(p.width));
  for (int y = 0; ok && y < p.height; ++y) {
    for (int x = 0; x < p.width; ++x) {
      const Rgba& c = p.at(x, y);
      size_t best = 0;
      double bestError = 1e9;
      for (size_t i = 0; i < colours.size(); ++i) {
        const double e = (c.r - colours[i].r) * (c.r - colours[i].r) + (c.g - colours[i].g) * (c.g - colours[i].g) +
                         (c.b - colours[i].b) * (c.b - colours[i].b);
        if (e < bestError) bestError = e, best = i;
      }
      row[static_cast<size_t>(x)] = static_cast<GifPixelType>(best);
    }
    ok = EGifPutLine(gif, row.data(), p.width) == GIF_OK;
  }
  GifFreeMapObject(map);
  return EGifCloseFile(gif, &error) == GIF_OK && ok;
}

// Radiance RGBE, top row first, each scanline run-length coded per component
// (literal packets only: the sky has few runs).
bool writeHdr(const std::string& path, const std::function<Rgba(double u, double v)>& fn, int w, int h) {
  const std::string header = "#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n-Y " + std::to_string(h) + " +X " +
                             std::to_string(w) + "\n";
  std::vector<uint8_t> out(header.begin(), header.end());
  std::vector<uint8_t> line(static_cast<size_t>(w) * 4);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const Rgba c = fn((x + 0.5) / w, (y + 0.5) / h);
      const double m = std::max({c.r, c.g, c.b});
      uint8_t* e = &line[static_cast<size_t>(x) * 4];
      if (m < 1e-32) {
        e[0] = e[1] = e[2] = e[3] = 0;
      } else {
        int exponent = 0;
        const double scale = std::frexp(m, &exponent) * 256.0 / m;
        e[0] = static_cast<uint8_t>(c.r * scale), e[1] = static_cast<uint8_t>(c.g * scale);
        e[2] = static_cast<uint8_t>(c.b * scale), e[3] = static_cast<uint8_t>(exponent + 128);
      }
    }
    out.insert(out.end(), {2, 2, static_cast<uint8_t>(w >> 8), static_cast<uint8_t>(w & 0xFF)});
    for (int component = 0; component < 4; ++component) {
      for (int x = 0; x < w; x += 128) {
        const int n = std::min(128, w - x);
        out.push_back(static_cast<uint8_t>(n));
        for (int k = 0; k < n; ++k) out.push_back(line[static_cast<size_t>(x + k) * 4 + component]);
      }
    }
  }
  return writeFile(path, out);
}

bool writePng(const std::string& path, const Picture& p) {
  std::vector<uint8_t> pixels(static_cast<size_t>(p.width) * p.height * 4);
  for (size_t i = 0; i < p.texels.size(); ++i) {
    const Rgba& c = p.texels[i];
    pixels[i * 4] = toByte(c.r), pixels[i * 4 + 1] = toByte(c.g), pixels[i * 4 + 2] = toByte(c.b);
    pixels[i * 4 + 3] = toByte(c.a);
  }
  PngImage image;
  image.pixels = pixels.data();
  image.width = static_cast<uint32_t>(p.width);
  image.height = static_cast<uint32_t>(p.height);
  image.stride = static_cast<size_t>(p.width) * 4;
  image.description = "texgen";
  std::string reason;
  if (writePngFile(path.c_str(), image, reason)) return true;
  std::fprintf(stderr, "texgen: %s: %s\n", path.c_str(), reason.c_str());
  return false;
}

// ---------------------------------------------------------------------------
// Surfaces.

Rgba marble(double u, double v) {
  const double n = tileFbm(u, v, 4, 6, 11);
  const double veins = std::pow(std::abs(std::sin((u * 3 + v * 2 + n * 3.5) * kPi)), 0.35);
  const double grain = tileFbm(u, v, 32, 2, 17);
  const double base = 0.62 + 0.3 * veins + 0.08 * grain;
  return {base * 0.98, base * 0.93, base * 0.84, 1};
}

// Grass in the hollows, rock on the ridges, a little sand: one tile of 8 over
// the terrain.
Rgba ground(double u, double v) {
  const double n = tileFbm(u, v, 4, 6, 21), fine = tileFbm(u, v, 32, 3, 29);
  const double rock = smoothstep(0.52, 0.62, n);
  const double sand = smoothstep(0.38, 0.3, n);
  Rgba grass{0.22 + 0.1 * fine, 0.42 + 0.15 * fine, 0.16, 1};
  const Rgba stone{0.5 + 0.2 * fine, 0.47 + 0.18 * fine, 0.43 + 0.15 * fine, 1};
  const Rgba dune{0.78, 0.7, 0.5, 1};
  grass.r += (stone.r - grass.r) * rock, grass.g += (stone.g - grass.g) * rock, grass.b += (stone.b - grass.b) * rock;
  grass.r += (dune.r - grass.r) * sand, grass.g += (dune.g - grass.g) * sand, grass.b += (dune.b - grass.b) * sand;
  return grass;
}

// Floor tiles: a bright frame, a circuit of traces and pads on dark glass.
Rgba tiles(double u, double v) {
  const double edge = std::min({u, v, 1 - u, 1 - v});
  const double frame = smoothstep(0.06, 0.03, edge);
  const int cx = static_cast<int>(u * 8), cy = static_cast<int>(v * 8);
  const uint32_t h = hash3(cx, cy, 5);
  const double fx = u * 8 - cx, fy = v * 8 - cy;
  const bool horizontal = (h & 1) != 0;
  const double trace = (h & 6) != 0 ? smoothstep(0.12, 0.06, std::abs((horizontal ? fy : fx) - 0.5)) : 0;
  const double pad = (h & 24) == 24 ? smoothstep(0.3, 0.22, std::hypot(fx - 0.5, fy - 0.5)) : 0;
  const double lit = std::max({frame, trace * 0.7, pad});
  return {0.08 + 0.92 * lit, 0.1 + 0.9 * lit, 0.12 + 0.86 * lit, 1};
}

// The sky: night blue at the top through a warm horizon glow to a dim haze
// below, a sun above the horizon (values far above 1, for the bloom), and
// bands of cloud.
Rgba skyPanorama(double u, double v) {
  const double horizon = 0.5;
  const double up = clamp01((horizon - v) / horizon);
  Rgba c{0.06 + 0.9 * std::pow(1 - up, 6.0), 0.1 + 0.45 * std::pow(1 - up, 4.0), 0.3 + 0.25 * std::pow(1 - up, 2.0), 1};
  if (v > horizon) {
    const double down = (v - horizon) / (1 - horizon);
    c = {0.5 - 0.4 * down, 0.32 - 0.24 * down, 0.3 - 0.2 * down, 1};
  }
  const double clouds = smoothstep(0.5, 0.8, tileFbm(u, v * 0.5, 6, 5, 41)) * smoothstep(0.0, 0.25, up) *
                        smoothstep(0.95, 0.5, up);
  c.r += (1.2 - c.r) * clouds * 0.6, c.g += (0.7 - c.g) * clouds * 0.6, c.b += (0.65 - c.b) * clouds * 0.6;
  const double d = std::hypot((u - 0.62) * 2, v - (horizon - 0.09));
  c.r += 14 * std::exp(-d * d / 0.0009) + 1.6 * std::exp(-d * d / 0.02);
  c.g += 11 * std::exp(-d * d / 0.0009) + 0.9 * std::exp(-d * d / 0.02);
  c.b += 8 * std::exp(-d * d / 0.0009) + 0.35 * std::exp(-d * d / 0.02);
  return c;
}

// ---------------------------------------------------------------------------
// Lettering: a 5 x 7 capital font, rendered soft with a glow.

const char* glyph(char c) {
  static const struct {
    char c;
    const char* rows;  // 7 rows of 5 columns, '#' set
  } kFont[] = {
      {'A', " ### #   ##   #######   ##   ##   #"}, {'B', "#### #   ##   ##### #   ##   ##### "},
      {'C', " ### #   ##    #    #    #   # ### "}, {'D', "#### #   ##   ##   ##   ##   ##### "},
      {'E', "######    #    #### #    #    #####"}, {'F', "######    #    #### #    #    #    "},
      {'G', " ### #   ##    # ####   ##   # ####"}, {'H', "#   ##   ##   #######   ##   ##   #"},
      {'I', " ###   #    #    #    #    #   ### "}, {'K', "#   ##  # # #  ##   # #  #  # #   #"},
      {'L', "#    #    #    #    #    #    #####"}, {'M', "#   ### ### # ##   ##   ##   ##   #"},
      {'N', "#   ###  ## # ##  ###   ##   ##   #"}, {'O', " ### #   ##   ##   ##   ##   # ### "},
      {'P', "#### #   ##   ##### #    #    #    "}, {'R', "#### #   ##   ##### # #  #  # #   #"},
      {'S', " #####    #     ###     #    ##### "}, {'T', "#####  #    #    #    #    #    #  "},
      {'U', "#   ##   ##   ##   ##   ##   # ### "}, {'V', "#   ##   ##   ##   # # #  # #   #  "},
      {'W', "#   ##   ##   ## # ## # ## # # # # "}, {'X', "#   # # #   #   # # #   ##   ##   #"},
      {'Y', "#   ##   # # #   #    #    #    #  "}, {'0', " ### #   ##  ### # ###  ##   # ### "},
      {'2', " ### #   #    #   #   #   #   #####"}, {'6', " ### #    #    #### #   ##   # ### "},
      {'.', "                         ##   ##   "},
  };
  for (const auto& g : kFont)
    if (g.c == c) return g.rows;
  return nullptr;
}

// Distance-based lettering of `lines` centred in the picture: `cell` pixels
// per font dot; core colour `ink`, glow `halo`, alpha from both.
Picture letter(int w, int h, const std::vector<std::string>& lines, double cell, Rgba ink, Rgba halo) {
  Picture p(w, h);
  std::vector<double> coverage(static_cast<size_t>(w) * h, 0.0);
  const double lineHeight = h / static_cast<double>(lines.size());
  for (size_t li = 0; li < lines.size(); ++li) {
    const std::string& text = lines[li];
    const double textW = (text.size() * 6.0 - 1) * cell;
    const double x0 = (w - textW) / 2, y0 = li * lineHeight + (lineHeight - 7 * cell) / 2;
    for (size_t ci = 0; ci < text.size(); ++ci) {
      const char* rows = glyph(text[ci]);
      if (!rows) continue;
      for (int gy = 0; gy < 7; ++gy)
        for (int gx = 0; gx < 5; ++gx) {
          if (rows[gy * 5 + gx] != '#') continue;
          const double cx = x0 + (ci * 6 + gx + 0.5) * cell, cy = y0 + (gy + 0.5) * cell;
          const int reach = static_cast<int>(cell * 2.5);
          for (int y = std::max(0, static_cast<int>(cy) - reach); y < std::min(h, static_cast<int>(cy) + reach); ++y)
            for (int x = std::max(0, static_cast<int>(cx) - reach); x < std::min(w, static_cast<int>(cx) + reach); ++x) {
              // A rounded square dot, and a wide glow around it.
              const double dx = std::max(0.0, std::abs(x + 0.5 - cx) - cell * 0.3);
              const double dy = std::max(0.0, std::abs(y + 0.5 - cy) - cell * 0.3);
              const double dist = std::hypot(dx, dy) / cell;
              double& cov = coverage[static_cast<size_t>(y) * w + x];
              cov = std::max(cov, smoothstep(0.3, 0.15, dist) + 0.35 * std::exp(-dist * dist * 2.5) * 0.999);
            }
        }
    }
  }
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const double cov = coverage[static_cast<size_t>(y) * w + x];
      const double t = smoothstep(0.3, 1.0, cov);
      // Quantised so that the run-length packets have runs to find.
      const double a = std::round(clamp01(cov) * 63) / 63;
      p.at(x, y) = {halo.r + (ink.r - halo.r) * t, halo.g + (ink.g - halo.g) * t, halo.b + (ink.b - halo.b) * t, a};
    }
  return p;
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
  const struct {
    const char* name;
    std::function<bool(const std::string&)> write;
  } surfaces[] = {
      {"defaultTexture.bmp", [](const std::string& path) { return writeBmp(path, paint(8, 8, [](double, double) { return Rgba{1, 1, 1, 1}; })); }},
      {"marble.bmp", [](const std::string& path) { return writeBmp(path, paint(256, 256, marble)); }},
      {"ground.tga", [](const std::string& path) { return writeTga(path, paint(256, 256, ground), false); }},
      {"tiles.gif.bmp", [](const std::string& path) {
         return writeGif(path, paint(128, 128, tiles),
                         {{0.08, 0.1, 0.12, 1}, {0.3, 0.32, 0.35, 1}, {0.55, 0.57, 0.6, 1}, {0.75, 0.77, 0.8, 1}, {1, 1, 0.97, 1}});
       }},
      {"sky.hdr", [](const std::string& path) { return writeHdr(path, skyPanorama, 256, 128); }},
      {"noise.png", [](const std::string& path) {
         return writePng(path, paint(128, 128, [](double u, double v) {
                           const double a = tileFbm(u, v, 8, 4, 51), b = tileNoise(u * 128, v * 128, 128, 53),
                                        c = tileFbm(u, v, 16, 3, 57);
                           return Rgba{a, b, c, 1};
                         }));
       }},
      {"title.tga", [](const std::string& path) {
         return writeTga(path, letter(512, 128, {"VESPER"}, 12, {1, 0.97, 0.9, 1}, {1.0, 0.55, 0.25, 1}), true);
       }},
      {"greetz.tga", [](const std::string& path) {
         return writeTga(path,
                         letter(512, 256, {"GREETINGS", "TO EVERY CREW", "MADE FROM TEXT", "SEE YOU 2026"}, 6,
                                {1, 0.98, 0.95, 1}, {0.3, 0.75, 1.0, 1}),
                         true);
       }},
  };
  for (const auto& surface : surfaces) {
    if (!surface.write(dir + surface.name)) {
      std::fprintf(stderr, "texgen: %s%s: cannot write\n", dir.c_str(), surface.name);
      ok = false;
    }
  }
  return ok ? 0 : 1;
}

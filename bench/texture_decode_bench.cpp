// Decoding speed of the texture decoders against stb_image alone, on the
// same 2048x2048 PNG, JPEG, BMP, GIF and 32-bit TGA files built in memory.
// Both sides produce RGBA; ours also fills a texture's pixel copy (no GL
// upload).
#include <gif_lib.h>
#include <stb/stb_image.h>
#include <stb/stb_image_write.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <string>
#include <utility>
#include <vector>

#include "texture/decode.h"

namespace {

using Bytes = std::vector<uint8_t>;

void collect(void* context, void* data, int size) {
  auto* out = static_cast<Bytes*>(context);
  out->insert(out->end(), static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
}

// Gradients with a little noise: compresses like a photo-ish texture, not
// like a flat colour.
std::vector<uint8_t> makeImage(int w, int h) {
  std::vector<uint8_t> rgba(static_cast<size_t>(w) * h * 4);
  uint32_t seed = 12345;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      seed = seed * 1664525u + 1013904223u;
      const int noise = static_cast<int>(seed >> 29);
      uint8_t* p = &rgba[(static_cast<size_t>(y) * w + x) * 4];
      p[0] = static_cast<uint8_t>((x / 8 + noise) & 0xFF);
      p[1] = static_cast<uint8_t>((y / 8 + noise) & 0xFF);
      p[2] = static_cast<uint8_t>(((x + y) / 16) & 0xFF);
      p[3] = static_cast<uint8_t>(255 - ((x ^ y) & 0x3F));
    }
  }
  return rgba;
}

int gifCollect(GifFileType* gif, const GifByteType* data, int size) {
  auto* out = static_cast<Bytes*>(gif->UserData);
  out->insert(out->end(), data, data + size);
  return size;
}

// An 8-bit GIF of the image's colours reduced to a 3-3-2 palette.
Bytes makeGif(int w, int h, const std::vector<uint8_t>& rgba) {
  Bytes out;
  int error = 0;
  GifFileType* gif = EGifOpen(&out, gifCollect, &error);
  ColorMapObject* map = GifMakeMapObject(256, nullptr);
  for (int i = 0; i < 256; ++i) {
    map->Colors[i] = {static_cast<GifByteType>((i >> 5) * 255 / 7),
                      static_cast<GifByteType>(((i >> 2) & 7) * 255 / 7),
                      static_cast<GifByteType>((i & 3) * 255 / 3)};
  }
  bool ok = EGifPutScreenDesc(gif, w, h, 8, 0, map) == GIF_OK &&
            EGifPutImageDesc(gif, 0, 0, w, h, false, nullptr) == GIF_OK;
  std::vector<GifPixelType> row(static_cast<size_t>(w));
  for (int y = 0; ok && y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const uint8_t* p = &rgba[(static_cast<size_t>(y) * w + x) * 4];
      row[x] = static_cast<GifPixelType>((p[0] & 0xE0) | (p[1] >> 5) << 2 | p[2] >> 6);
    }
    ok = EGifPutLine(gif, row.data(), w) == GIF_OK;
  }
  EGifCloseFile(gif, &error);
  GifFreeMapObject(map);
  if (!ok) out.clear();
  return out;
}

// CPU time of this thread (page faults included): both sides decode on one
// thread, and other processes on a busy machine then do not count.
double threadSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

template <typename F>
double seconds(F&& body) {
  const double start = threadSeconds();
  body();
  return threadSeconds() - start;
}

// The best time of each side over rounds that alternate between them, so
// that a machine busy with other work slows both sides alike.
template <typename A, typename B>
std::pair<double, double> bestSeconds(int runs, A&& a, B&& b) {
  std::pair<double, double> best{1e30, 1e30};
  for (int i = 0; i < runs; ++i) {
    best.first = std::min(best.first, seconds(a));
    best.second = std::min(best.second, seconds(b));
  }
  return best;
}

}  // namespace

int main() {
  const int w = 2048, h = 2048, runs = 9;
  const double megapixels = w * static_cast<double>(h) / 1e6;
  textureManager::instance().setNonPowerOfTwo(true);
  const std::vector<uint8_t> rgba = makeImage(w, h);
  std::vector<uint8_t> rgb(static_cast<size_t>(w) * h * 3);
  for (size_t i = 0, j = 0; i < rgba.size(); i += 4, j += 3) std::copy_n(&rgba[i], 3, &rgb[j]);

  struct Input {
    const char* label;
    texture_decode::Format format;
    Bytes file;
  };
  std::vector<Input> inputs(5);
  inputs[0] = {"PNG  (RGBA)", texture_decode::Format::Png, {}};
  stbi_write_png_to_func(collect, &inputs[0].file, w, h, 4, rgba.data(), w * 4);
  inputs[1] = {"JPEG (RGB, q90)", texture_decode::Format::Picture, {}};
  stbi_write_jpg_to_func(collect, &inputs[1].file, w, h, 3, rgb.data(), 90);
  inputs[2] = {"TGA  (32-bit raw)", texture_decode::Format::Tga, {}};
  stbi_write_tga_with_rle = 0;
  stbi_write_tga_to_func(collect, &inputs[2].file, w, h, 4, rgba.data());
  inputs[3] = {"BMP  (24-bit)", texture_decode::Format::Picture, {}};
  stbi_write_bmp_to_func(collect, &inputs[3].file, w, h, 3, rgb.data());
  inputs[4] = {"GIF  (8-bit)", texture_decode::Format::Picture, makeGif(w, h, rgba)};

  std::printf("texture decode, %dx%d, best of %d runs\n", w, h, runs);
  std::printf("%-18s %10s %12s %12s %8s\n", "format", "file KiB", "ours MP/s", "stb MP/s", "ratio");
  for (const Input& in : inputs) {
    bool ok = true;
    const auto [ours, stb] = bestSeconds(
        runs,
        [&] {
          std::string reason;
          ok = texture_decode::decode(in.format, in.file.data(), in.file.size(), reason) != nullptr && ok;
        },
        [&] {
          int x = 0, y = 0, comp = 0;
          stbi_uc* p = stbi_load_from_memory(in.file.data(), static_cast<int>(in.file.size()), &x, &y, &comp, 4);
          ok = p != nullptr && ok;
          stbi_image_free(p);
        });
    std::printf("%-18s %10zu %12.1f %12.1f %8.2f%s\n", in.label, in.file.size() / 1024, megapixels / ours,
                megapixels / stb, stb / ours, ok ? "" : "  (decode failed)");
  }
  std::printf("ratio = ours / stb_image throughput (above 1: ours faster)\n");
  return 0;
}

// GIF through giflib: the first image, drawn on a black logical screen.
// Pixels at the transparent index, indexes past the colour table and the
// screen outside the image all show opaque black; later images are not read.
#include <gif_lib.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "texture/decode.h"

namespace texture_decode {

namespace {

constexpr uint32_t kOpaqueBlack = 0xFF000000u;  // R, G, B, A in memory order

struct GifInput {
  const uint8_t* data;
  size_t size;
  size_t pos = 0;
};

int readInput(GifFileType* gif, GifByteType* out, int count) {
  auto* in = static_cast<GifInput*>(gif->UserData);
  const size_t n = count < 0 ? 0 : std::min(static_cast<size_t>(count), in->size - in->pos);
  std::memcpy(out, in->data + in->pos, n);
  in->pos += n;
  return static_cast<int>(n);
}

struct GifCloser {
  void operator()(GifFileType* gif) const {
    int error = 0;
    DGifCloseFile(gif, &error);
  }
};

const char* gifError(int code) {
  const char* text = GifErrorString(code);
  return text ? text : "unreadable GIF";
}

// Reads the image's rows (in interlaced order when it is interlaced) onto
// the screen-sized RGBA texture; the screen around the image is opaque
// black.
bool drawImage(GifFileType* gif, int transparent, cTexture& texture, std::string& reason) {
  const GifImageDesc& desc = gif->Image;
  const size_t pitch = static_cast<size_t>(texture.width()) * 4;
  const int screenWidth = gif->SWidth, screenHeight = gif->SHeight;
  const int right = std::min(screenWidth, desc.Left + desc.Width);
  for (int r = 0; r < screenHeight; ++r) {
    auto* row = reinterpret_cast<uint32_t*>(texture.pixels() + r * pitch);
    if (r < desc.Top || r >= desc.Top + desc.Height || desc.Left >= screenWidth) {
      std::fill(row, row + screenWidth, kOpaqueBlack);
    } else {
      std::fill(row, row + desc.Left, kOpaqueBlack);
      std::fill(row + right, row + screenWidth, kOpaqueBlack);
    }
  }
  const ColorMapObject* map = desc.ColorMap ? desc.ColorMap : gif->SColorMap;
  uint32_t palette[256];
  for (int i = 0; i < 256; ++i) {
    palette[i] = kOpaqueBlack;
    if (map && i < map->ColorCount && i != transparent) {
      const GifColorType& c = map->Colors[i];
      palette[i] |= static_cast<uint32_t>(c.Red) | static_cast<uint32_t>(c.Green) << 8 |
                    static_cast<uint32_t>(c.Blue) << 16;
    }
  }
  applyColourKey(reinterpret_cast<uint8_t*>(palette), 256);
  std::vector<GifPixelType> line(static_cast<size_t>(desc.Width));
  static const int kStart[] = {0, 4, 2, 1}, kStep[] = {8, 8, 4, 2};
  const int passes = desc.Interlace ? 4 : 1;
  for (int pass = 0; pass < passes; ++pass) {
    const int step = desc.Interlace ? kStep[pass] : 1;
    for (int y = desc.Interlace ? kStart[pass] : 0; y < desc.Height; y += step) {
      if (DGifGetLine(gif, line.data(), desc.Width) != GIF_OK) {
        reason = gifError(gif->Error);
        return false;
      }
      const int row = desc.Top + y;
      if (row >= screenHeight) continue;
      uint8_t* dst = texture.pixels() + static_cast<size_t>(row) * pitch;
      for (int x = desc.Left; x < right; ++x) std::memcpy(dst + static_cast<size_t>(x) * 4, &palette[line[x - desc.Left]], 4);
    }
  }
  return true;
}

}  // namespace

TexturePtr decodeGif(const uint8_t* data, size_t size, std::string& reason) {
  GifInput input{data, size};
  int error = 0;
  std::unique_ptr<GifFileType, GifCloser> gif(DGifOpen(&input, readInput, &error));
  if (!gif) {
    reason = gifError(error);
    return nullptr;
  }
  if (!sizeAllowed(static_cast<uint64_t>(gif->SWidth), static_cast<uint64_t>(gif->SHeight))) {
    reason = "picture size out of range";
    return nullptr;
  }
  int transparent = -1;
  for (;;) {
    GifRecordType type = UNDEFINED_RECORD_TYPE;
    if (DGifGetRecordType(gif.get(), &type) != GIF_OK) {
      reason = gifError(gif->Error);
      return nullptr;
    }
    if (type == TERMINATE_RECORD_TYPE) {
      reason = "GIF holds no image";
      return nullptr;
    }
    if (type == EXTENSION_RECORD_TYPE) {
      int code = 0;
      GifByteType* block = nullptr;
      if (DGifGetExtension(gif.get(), &code, &block) != GIF_OK) {
        reason = gifError(gif->Error);
        return nullptr;
      }
      while (block) {
        GraphicsControlBlock control;
        if (code == GRAPHICS_EXT_FUNC_CODE && block[0] >= 4 &&
            DGifExtensionToGCB(block[0], block + 1, &control) == GIF_OK) {
          transparent = control.TransparentColor;
        }
        if (DGifGetExtensionNext(gif.get(), &block) != GIF_OK) {
          reason = gifError(gif->Error);
          return nullptr;
        }
      }
      continue;
    }
    if (type != IMAGE_DESC_RECORD_TYPE) continue;
    if (DGifGetImageDesc(gif.get()) != GIF_OK) {
      reason = gifError(gif->Error);
      return nullptr;
    }
    if (!sizeAllowed(static_cast<uint64_t>(gif->Image.Width), static_cast<uint64_t>(gif->Image.Height))) {
      reason = "picture size out of range";
      return nullptr;
    }
    TexturePtr texture =
        createPicture(static_cast<uint32_t>(gif->SWidth), static_cast<uint32_t>(gif->SHeight), reason);
    if (!texture || !drawImage(gif.get(), transparent, *texture, reason)) return nullptr;
    return texture;
  }
}

}  // namespace texture_decode

// Every texture decoder on arbitrary bytes. The first byte picks the
// decoder: the picture dispatcher, PNG, TGA, DDS, RGBE, or the BMP, JPEG
// and GIF decoders directly (no signature to guess first); the rest is the
// file.
#include <cstddef>
#include <cstdint>
#include <string>

#include "texture/decode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  // Smaller limits keep each input fast; the checks are the same.
  texture_decode::limits().maxSide = 4096;
  texture_decode::limits().maxTexels = uint64_t{1} << 20;
  textureManager::instance().setNonPowerOfTwo((data[0] & 0x80) != 0);
  using Decoder = texture_decode::TexturePtr (*)(const uint8_t*, size_t, std::string&);
  static const Decoder kDecoders[] = {
      texture_decode::decodePicture, texture_decode::decodePng, texture_decode::decodeTga,
      texture_decode::decodeDds,     texture_decode::decodeRgbe, texture_decode::decodeBmp,
      texture_decode::decodeJpeg,    texture_decode::decodeGif};
  std::string reason;
  auto texture = kDecoders[(data[0] & 0x7F) % 8](data + 1, size - 1, reason);
  if (texture && texture->pixels()) {
    // Touch the whole copy so a short allocation shows up.
    volatile uint8_t sink = 0;
    for (uint32_t i = 0; i < texture->dataSize(); i += 61) sink = sink + texture->pixels()[i];
  }
  return 0;
}

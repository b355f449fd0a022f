// Every texture decoder on arbitrary bytes. The first byte picks the
// decoder (picture, PNG, TGA, DDS, RGBE); the rest is the file.
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
  static const texture_decode::Format kFormats[] = {
      texture_decode::Format::Picture, texture_decode::Format::Png, texture_decode::Format::Tga,
      texture_decode::Format::Dds, texture_decode::Format::Rgbe};
  std::string reason;
  auto texture = texture_decode::decode(kFormats[(data[0] & 0x7F) % 5], data + 1, size - 1, reason);
  if (texture && texture->pixels()) {
    // Touch the whole copy so a short allocation shows up.
    volatile uint8_t sink = 0;
    for (uint32_t i = 0; i < texture->dataSize(); i += 61) sink = sink + texture->pixels()[i];
  }
  return 0;
}

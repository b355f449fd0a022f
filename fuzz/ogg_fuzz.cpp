// Fuzz entry point: Ogg Vorbis decoding from memory through the callback
// interface (open, reads, looped reads, seeks and the whole-data decode).
#include <cstdlib>

#include "sound/sound.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  OggVorbisLoader loader;
  if (loader.open(kMemorySourceName, data, static_cast<uint32_t>(size)) != soundResult::ok) return 0;
  void* buffer = nullptr;
  const uint32_t total = loader.getTotalBytes();
  // A stream may claim any length in its granule positions; stay small.
  const auto piece = static_cast<int32_t>(total < 65536 ? total : 65536);
  loader.readLocked(&buffer, 0, piece / 3 + 1, false);
  loader.readLocked(&buffer, -1, piece, true);
  loader.seekBytes(total / 2, SEEK_SET);
  loader.readLocked(&buffer, -1, 4096, false);
  loader.seekMs(5, SEEK_SET);
  loader.readLocked(&buffer, -1, 64, true);
  if (total <= (1u << 24)) loader.readLocked(&buffer, 0, 0, false);
  std::free(buffer);
  return 0;
}

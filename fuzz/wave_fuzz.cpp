// Fuzz entry point: RIFF WAVE decoding from memory (open, reads at the end,
// looped reads, seeks and the whole-data decode).
#include <cstdlib>

#include "sound/sound.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  WaveLoader loader;
  if (loader.open(kMemorySourceName, data, static_cast<uint32_t>(size)) != soundResult::ok) return 0;
  void* buffer = nullptr;
  const auto total = static_cast<int32_t>(loader.getTotalBytes());
  loader.readLocked(&buffer, 0, 1 + total / 3, false);
  loader.readLocked(&buffer, -1, total, false);
  loader.readLocked(&buffer, -1, 64, false);
  loader.readLocked(&buffer, total / 2, total + 7, true);
  loader.seekMs(10, SEEK_SET);
  loader.readLocked(&buffer, -1, 33, true);
  loader.readLocked(&buffer, 0, 0, false);
  std::free(buffer);
  return 0;
}

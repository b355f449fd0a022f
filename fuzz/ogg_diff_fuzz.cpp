// Differential: an Ogg Vorbis stream decoded from memory (the callback
// interface) and from a file must open alike and give the same format, length
// and samples, whole and in a looped piece.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "sound/sound.h"

namespace {

struct Decoded {
  int32_t opened = 0;
  WaveFormat format{};
  uint32_t total = 0;
  int32_t pieceResult = 0;
  std::string piece;
  int32_t wholeResult = 0;
  std::string whole;
};

Decoded decode(const char* name, const uint8_t* data, uint32_t size) {
  Decoded d;
  OggVorbisLoader loader;
  d.opened = loader.open(name, data, size);
  if (d.opened != soundResult::ok) return d;
  loader.getFormat(&d.format);
  d.total = loader.getTotalBytes();
  void* buffer = nullptr;
  // A stream may claim any length in its granule positions; stay small.
  const auto piece = static_cast<int32_t>(d.total < 65536 ? d.total : 65536);
  d.pieceResult = loader.readLocked(&buffer, static_cast<int32_t>(d.total / 3), piece, true);
  if (buffer && piece > 0) d.piece.assign(static_cast<const char*>(buffer), static_cast<size_t>(piece));
  if (d.total <= (1u << 22)) {
    d.wholeResult = loader.readLocked(&buffer, 0, 0, false);
    if (buffer && d.wholeResult == soundResult::ok) d.whole.assign(static_cast<const char*>(buffer), d.total);
  }
  std::free(buffer);
  return d;
}

void mustEqual(bool same, const char* what) {
  if (same) return;
  std::fprintf(stderr, "ogg_diff: %s differ between memory and file\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // One file per process, removed as it exits.
  static const struct TempFile {
    std::string path = "/tmp/ogg_diff_fuzz." + std::to_string(getpid()) + ".ogg";
    ~TempFile() { std::remove(path.c_str()); }
  } temp;
  const std::string& path = temp.path;
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);
  const Decoded memory = decode(kMemorySourceName, data, static_cast<uint32_t>(size));
  const Decoded file = decode(path.c_str(), nullptr, 0);
  mustEqual(memory.opened == file.opened, "open results");
  mustEqual(std::memcmp(&memory.format, &file.format, sizeof memory.format) == 0, "formats");
  mustEqual(memory.total == file.total, "lengths");
  mustEqual(memory.pieceResult == file.pieceResult && memory.piece == file.piece, "looped pieces");
  mustEqual(memory.wholeResult == file.wholeResult && memory.whole == file.whole, "whole decodes");
  return 0;
}

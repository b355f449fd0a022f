// Fuzz entry point: a pack file from memory, then every kind of read through
// CoreFile and CoreFileStream on its entries.
#include <cstdint>
#include <cstdio>
#include <vector>

#include "files/files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::vector<uint8_t> copy(data, data + size);
  std::FILE* fp = fmemopen(copy.data(), copy.size(), "rb");
  if (!fp) return 0;
  if (installPackage(fp) != nullptr) return 0;

  const std::vector<PackEntry> entries = packEntries();
  size_t visited = 0;
  for (const PackEntry& e : entries) {
    if (++visited > 16) break;
    const std::vector<char> text = loadEntryText(e.name);
    CoreFile file(e.name, MODE_READ);
    char line[64];
    int lines = 0;
    while (lines++ < 8 && file.getLine(line, sizeof line)) {
    }
    file.seek(static_cast<int64_t>(e.size) / 2, 0);
    (void)file.getChar();
    file.ungetChar('x');
    file.seek(-1, 1);
    uint8_t chunk[32];
    (void)file.read(chunk, sizeof chunk);
    (void)file.isEof();

    CoreFileStream stream(&file);
    stream.seek(0, 1);
    int32_t i = 0;
    float f = 0;
    char word[4096];
    stream.scan("%d %f %s", &i, &f, word);
  }
  closePackage();
  return 0;
}

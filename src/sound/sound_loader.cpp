// The decoder interface's shared operations: open and close, the source-info
// block, the locked read and the queries.
#include <sys/stat.h>

#include <cstring>

#include "sound/sound.h"

CSoundLoader::~CSoundLoader() = default;

int32_t CSoundLoader::getFormat(WaveFormat* out) {
  if (out) *out = format;
  return soundResult::ok;
}

int32_t CSoundLoader::readLocked(void** buffer, int32_t start, int32_t size, bool loop) {
  std::lock_guard<std::mutex> guard(lock);
  return decode(nullptr, buffer, static_cast<int64_t>(start), static_cast<int64_t>(size), loop);
}

int32_t CSoundLoader::getInfo(SoundSourceInfo* out) {
  if (!sourceInfo) return soundResult::notOpen;
  if (out) *out = *sourceInfo;
  return soundResult::ok;
}

uint32_t CSoundLoader::getLengthMs() {
  const uint32_t perMs = format.avgBytesPerSec / 1000;
  return perMs ? totalBytes / perMs : 0;
}

uint32_t CSoundLoader::getPosition() { return position; }

uint32_t CSoundLoader::getTotalBytes() { return totalBytes; }

int32_t CSoundLoader::open(const char* name, const void* memory, uint32_t memorySize) {
  close();
  if (!name) return soundResult::openFailed;
  format = WaveFormat{};
  totalBytes = 0;
  position = 0;
  sourceInfo = std::make_unique<SoundSourceInfo>();
  std::memset(sourceInfo.get(), 0, sizeof(SoundSourceInfo));
  sourceInfo->blockSize = sizeof(SoundSourceInfo);
  std::strncpy(sourceInfo->name, name, sizeof(sourceInfo->name) - 1);
  if (std::strcmp(name, kMemorySourceName) != 0) {
    // An unreadable file has no size; the decode below then fails.
    struct stat st {};
    if (::stat(name, &st) == 0) sourceInfo->dataSize = static_cast<uint32_t>(st.st_size);
  } else {
    sourceInfo->dataSize = memory ? memorySize : 0;
    sourceInfo->memory = static_cast<const uint8_t*>(memory);
  }
  if (decode(&format, nullptr, 0, 0, false) == soundResult::ok) return soundResult::ok;
  close();
  return soundResult::openFailed;
}

int32_t CSoundLoader::close() {
  releaseSource();
  format = WaveFormat{};
  totalBytes = 0;
  position = 0;
  sourceInfo.reset();
  return soundResult::ok;
}

bool CSoundLoader::probe(const char* name, const void* memory, uint32_t memorySize) {
  const bool accepted = open(name, memory, memorySize) == soundResult::ok;
  close();
  return accepted;
}

// The decoder interface's shared operations: open and close, the source-info
// block, the locked read and the queries.
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "sound/sound.h"

uint32_t blockBytesForMs(uint32_t ms, const WaveFormat& format) {
  const uint64_t align = format.blockAlign ? format.blockAlign : 1;
  // Whole numbers throughout: a floating-point product can fall just short
  // of an exact byte and truncate a frame early.
  const uint64_t exact = uint64_t{ms} * format.avgBytesPerSec / 1000;
  const uint64_t start = std::min<uint64_t>(exact, UINT32_MAX - align);
  const uint64_t rest = start % align;
  return static_cast<uint32_t>(rest * 2 > align ? start - rest + align : start - rest);
}

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

int32_t CSoundLoader::beginDecode(WaveFormat* formatOut, void** buffer) {
  if (!sourceInfo) return soundResult::notOpen;
  if (!sourceOpen() && !openSource()) {
    releaseSource();
    return soundResult::cannotRead;
  }
  if (formatOut && formatOut != &format) *formatOut = format;
  if (!buffer) return soundResult::ok;
  std::free(*buffer);
  *buffer = nullptr;
  return 0;
}

int32_t CSoundLoader::readStretch(uint8_t* out, uint64_t current, uint64_t want, bool loop) {
  if (current + want <= totalBytes) {
    if (!readSource(out, want)) return soundResult::cannotRead;
    position += static_cast<uint32_t>(want);
    return soundResult::ok;
  }
  if (!loop && current >= totalBytes) {
    std::memset(out, silenceByte(), want);
    return soundResult::atEnd;
  }
  const uint64_t remaining = totalBytes > current ? totalBytes - current : 0;
  if (!readSource(out, remaining)) return soundResult::cannotRead;
  position += static_cast<uint32_t>(remaining);
  if (!loop || totalBytes == 0) {
    std::memset(out + remaining, silenceByte(), want - remaining);
    return soundResult::endReached;
  }
  // Looping: continue from the first sample, wrapping as often as needed.
  uint64_t filled = remaining;
  while (filled < want) {
    const uint64_t run = std::min<uint64_t>(want - filled, totalBytes);
    if (!rewindSource() || !readSource(out + filled, run)) return soundResult::cannotRead;
    filled += run;
  }
  position = static_cast<uint32_t>(want - remaining);
  return soundResult::ok;
}

std::unique_ptr<CSoundLoader> chooseDecoder(const char* name) {
  std::unique_ptr<CSoundLoader> decoder = std::make_unique<WaveLoader>();
  if (decoder->probe(name)) return decoder;
  decoder = std::make_unique<OggVorbisLoader>();
  if (decoder->probe(name)) return decoder;
  return nullptr;
}

std::vector<uint8_t> waveFileHeader(const WaveFormat& format, uint32_t dataBytes) {
  std::vector<uint8_t> out;
  out.reserve(44);
  auto put16 = [&out](uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
  };
  auto put32 = [&put16](uint32_t v) {
    put16(v & 0xFFFF);
    put16(v >> 16);
  };
  auto id = [&out](const char* s) { out.insert(out.end(), s, s + 4); };
  id("RIFF");
  put32(36 + dataBytes);
  id("WAVE");
  id("fmt ");
  put32(16);
  put16(1);
  put16(format.channels);
  put32(format.samplesPerSec);
  put32(format.avgBytesPerSec);
  put16(format.blockAlign);
  put16(format.bitsPerSample);
  id("data");
  put32(dataBytes);
  return out;
}

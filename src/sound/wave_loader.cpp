// RIFF WAVE decoder over a file or a memory block. The RIFF walker checks
// every chunk size against the bytes that really exist before trusting it.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "sound/sound.h"

// Byte source for the RIFF walker: a buffered file or a memory block.
class RiffStream {
 public:
  virtual ~RiffStream() = default;
  virtual uint64_t size() const = 0;
  virtual uint64_t tell() const = 0;
  virtual bool seek(uint64_t offset) = 0;
  // Reads up to `bytes` bytes; returns how many were read.
  virtual uint64_t read(void* out, uint64_t bytes) = 0;
};

namespace {

class FileRiffStream final : public RiffStream {
 public:
  explicit FileRiffStream(std::FILE* file) : mFile(file) {
    std::setvbuf(mFile, nullptr, _IOFBF, 64 * 1024);
    if (std::fseek(mFile, 0, SEEK_END) == 0) {
      const long end = std::ftell(mFile);
      mSize = end > 0 ? static_cast<uint64_t>(end) : 0;
    }
    std::fseek(mFile, 0, SEEK_SET);
  }
  ~FileRiffStream() override { std::fclose(mFile); }
  uint64_t size() const override { return mSize; }
  uint64_t tell() const override {
    const long at = std::ftell(mFile);
    return at > 0 ? static_cast<uint64_t>(at) : 0;
  }
  bool seek(uint64_t offset) override {
    return offset <= mSize && std::fseek(mFile, static_cast<long>(offset), SEEK_SET) == 0;
  }
  uint64_t read(void* out, uint64_t bytes) override { return std::fread(out, 1, bytes, mFile); }

 private:
  std::FILE* mFile;
  uint64_t mSize = 0;
};

class MemoryRiffStream final : public RiffStream {
 public:
  MemoryRiffStream(const uint8_t* data, uint64_t size) : mData(data), mSize(size) {}
  uint64_t size() const override { return mSize; }
  uint64_t tell() const override { return mAt; }
  bool seek(uint64_t offset) override {
    if (offset > mSize) return false;
    mAt = offset;
    return true;
  }
  uint64_t read(void* out, uint64_t bytes) override {
    const uint64_t n = std::min(bytes, mSize - mAt);
    std::memcpy(out, mData + mAt, n);
    mAt += n;
    return n;
  }

 private:
  const uint8_t* mData;
  uint64_t mSize;
  uint64_t mAt = 0;
};

uint32_t le32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

}  // namespace

WaveLoader::WaveLoader() = default;

WaveLoader::~WaveLoader() { close(); }

void WaveLoader::releaseSource() { mStream.reset(); }

bool WaveLoader::openSource() {
  if (!sourceInfo) return false;
  if (std::strcmp(sourceInfo->name, kMemorySourceName) == 0) {
    if (!sourceInfo->memory) return false;
    mStream = std::make_unique<MemoryRiffStream>(sourceInfo->memory, sourceInfo->dataSize);
  } else {
    std::FILE* file = std::fopen(sourceInfo->name, "rb");
    if (!file) return false;
    mStream = std::make_unique<FileRiffStream>(file);
  }
  uint8_t header[12];
  if (mStream->read(header, 12) != 12 || std::memcmp(header, "RIFF", 4) != 0 ||
      std::memcmp(header + 8, "WAVE", 4) != 0) {
    return false;
  }
  const uint64_t riffEnd = 8 + uint64_t{le32(header + 4)};
  if (riffEnd > mStream->size() || riffEnd < 12) return false;

  // "fmt " first, then "data" after it, as a chunk-by-chunk search finds them.
  bool haveFormat = false;
  uint64_t at = 12;
  while (at + 8 <= riffEnd) {
    uint8_t chunk[8];
    if (!mStream->seek(at) || mStream->read(chunk, 8) != 8) return false;
    const uint64_t chunkSize = le32(chunk + 4);
    if (at + 8 + chunkSize > riffEnd) return false;
    if (!haveFormat && std::memcmp(chunk, "fmt ", 4) == 0) {
      if (chunkSize < 16) return false;
      // Longer (extensible) records: the first 18 bytes, the rest skipped.
      format = WaveFormat{};
      const uint64_t take = std::min<uint64_t>(chunkSize, sizeof(WaveFormat));
      if (mStream->read(&format, take) != take) return false;
      haveFormat = true;
    } else if (haveFormat && std::memcmp(chunk, "data", 4) == 0) {
      if (!playableFormat(format.samplesPerSec, format.channels) || format.blockAlign == 0 ||
          format.avgBytesPerSec == 0 || format.bitsPerSample == 0) {
        return false;
      }
      totalBytes = static_cast<uint32_t>(chunkSize);
      mDataStart = at + 8;
      return mStream->seek(mDataStart);
    }
    at += 8 + chunkSize + (chunkSize & 1);
  }
  return false;
}

bool WaveLoader::readSource(uint8_t* out, uint64_t bytes) {
  return mStream->read(out, bytes) == bytes;
}

bool WaveLoader::rewindSource() { return mStream->seek(mDataStart); }

int32_t WaveLoader::failRead(void** buffer) {
  std::free(*buffer);
  *buffer = nullptr;
  releaseSource();
  return soundResult::cannotRead;
}

int32_t WaveLoader::decode(WaveFormat* formatOut, void** buffer, int64_t start, int64_t size,
                           bool loop) {
  const int32_t begun = beginDecode(formatOut, buffer);
  if (begun != 0) return begun;
  if (size <= 0) {
    *buffer = std::calloc(std::max<uint32_t>(totalBytes, 1), 1);
    if (!*buffer || !rewindSource() || !readSource(static_cast<uint8_t*>(*buffer), totalBytes)) {
      return failRead(buffer);
    }
    releaseSource();
    return soundResult::ok;
  }
  if (start >= 0 && !mStream->seek(mDataStart + static_cast<uint64_t>(start))) {
    // A start past the end of the file leaves the reader at the end.
    mStream->seek(mStream->size());
  }
  auto* out = static_cast<uint8_t*>(std::calloc(static_cast<size_t>(size), 1));
  *buffer = out;
  if (!out) return failRead(buffer);
  const uint64_t at = mStream->tell();
  const int32_t result =
      readStretch(out, at > mDataStart ? at - mDataStart : 0, static_cast<uint64_t>(size), loop);
  return result == soundResult::cannotRead ? failRead(buffer) : result;
}

int32_t WaveLoader::seekBytes(uint32_t bytes, int32_t origin) {
  if (!mStream) return soundResult::notOpen;
  position = bytes;
  uint64_t target = mDataStart + bytes;
  if (origin == SEEK_CUR) target = mStream->tell() + bytes;
  if (origin == SEEK_END) target = mDataStart + totalBytes + bytes;
  if (!mStream->seek(target)) mStream->seek(mStream->size());
  return soundResult::ok;
}

int32_t WaveLoader::seekMs(uint32_t ms, int32_t origin) {
  if (mStream) seekBytes(blockBytesForMs(ms, format), origin);
  return soundResult::ok;
}

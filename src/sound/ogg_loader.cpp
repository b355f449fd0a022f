// Ogg Vorbis decoder through vorbisfile, from a stdio file or from memory
// through the callback interface. Output: 16-bit signed little-endian PCM.
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "sound/sound.h"

namespace {

SoundSourceInfo* infoOf(void* source) { return static_cast<SoundSourceInfo*>(source); }

}  // namespace

size_t OggVorbisLoader::memoryRead(void* dest, size_t size, size_t count, void* source) {
  SoundSourceInfo* info = infoOf(source);
  if (!info || !info->memory || size == 0 || info->readPosition >= info->dataSize) return 0;
  const uint64_t left = info->dataSize - info->readPosition;
  const uint64_t want = uint64_t{size} * count;
  const uint64_t copied = std::min(want, left);
  std::memcpy(dest, info->memory + info->readPosition, copied);
  info->readPosition += copied;
  // Only whole items count, as with fread.
  return copied == want ? count : static_cast<size_t>(copied / size);
}

int OggVorbisLoader::memorySeek(void* source, int64_t offset, int origin) {
  SoundSourceInfo* info = infoOf(source);
  if (!info) return -1;
  int64_t base = 0;
  if (origin == SEEK_CUR) base = static_cast<int64_t>(info->readPosition);
  else if (origin == SEEK_END) base = static_cast<int64_t>(info->dataSize);
  else if (origin != SEEK_SET) return -1;
  const int64_t target = base + offset;
  if (target < 0) return -1;
  info->readPosition = static_cast<uint64_t>(target);
  return 0;
}

int OggVorbisLoader::memoryClose(void* source) { return source ? 0 : -1; }

long OggVorbisLoader::memoryTell(void* source) {
  SoundSourceInfo* info = infoOf(source);
  return info ? static_cast<long>(info->readPosition) : -1;
}

OggVorbisLoader::OggVorbisLoader() = default;

OggVorbisLoader::~OggVorbisLoader() { close(); }

int32_t OggVorbisLoader::close() {
  mReadFailed = false;
  return CSoundLoader::close();
}

void OggVorbisLoader::releaseSource() {
  if (mOpen) ov_clear(mVorbis.get());
  mVorbis.reset();
  // ov_clear closes the file through the stdio callbacks; a file whose
  // ov_open failed is still ours to close.
  if (!mOpen && mFile) std::fclose(mFile);
  mFile = nullptr;
  mOpen = false;
}

bool OggVorbisLoader::openSource() {
  if (!sourceInfo) return false;
  mVorbis = std::make_unique<OggVorbis_File>();
  if (std::strcmp(sourceInfo->name, kMemorySourceName) == 0) {
    if (!sourceInfo->memory) return false;
    sourceInfo->readPosition = 0;
    const ov_callbacks callbacks{&OggVorbisLoader::memoryRead,
                                 [](void* s, ogg_int64_t o, int w) { return memorySeek(s, o, w); },
                                 &OggVorbisLoader::memoryClose, &OggVorbisLoader::memoryTell};
    if (ov_open_callbacks(sourceInfo.get(), mVorbis.get(), nullptr, 0, callbacks) != 0) return false;
  } else {
    mFile = std::fopen(sourceInfo->name, "rb");
    if (!mFile) return false;
    if (ov_open_callbacks(mFile, mVorbis.get(), nullptr, 0, OV_CALLBACKS_DEFAULT) != 0) return false;
  }
  mOpen = true;
  const vorbis_info* info = ov_info(mVorbis.get(), -1);
  if (!info || !playableFormat(info->rate, info->channels)) return false;
  // Chained streams that change format cannot be delivered as one PCM run.
  for (long link = 1; link < ov_streams(mVorbis.get()); ++link) {
    const vorbis_info* other = ov_info(mVorbis.get(), static_cast<int>(link));
    if (!other || other->channels != info->channels || other->rate != info->rate) return false;
  }
  mChannels = info->channels;
  mRate = info->rate;
  // The exact PCM length, so the total is always a whole number of frames.
  const ogg_int64_t samples = ov_pcm_total(mVorbis.get(), -1);
  const uint64_t bytes = samples < 0 ? 0 : static_cast<uint64_t>(samples) * mChannels * 2;
  if (samples < 0 || bytes > 0xFFFFFFFFu) return false;
  totalBytes = static_cast<uint32_t>(bytes);
  format = WaveFormat{};
  format.formatTag = 1;
  format.channels = static_cast<uint16_t>(mChannels);
  format.samplesPerSec = static_cast<uint32_t>(mRate);
  format.bitsPerSample = 16;
  format.blockAlign = static_cast<uint16_t>(mChannels * 2);
  format.avgBytesPerSec = format.blockAlign * format.samplesPerSec;
  return true;
}

uint64_t OggVorbisLoader::currentBytes() {
  const ogg_int64_t at = ov_pcm_tell(mVorbis.get());
  return at < 0 ? 0 : static_cast<uint64_t>(at) * format.channels * format.bitsPerSample / 8;
}

bool OggVorbisLoader::readSource(uint8_t* out, uint64_t bytes) {
  uint64_t got = 0;
  int section = 0;
  while (got < bytes) {
    const int chunk = static_cast<int>(std::min<uint64_t>(bytes - got, 1 << 20));
    const long n = ov_read(mVorbis.get(), reinterpret_cast<char*>(out + got), chunk, 0, 2, 1,
                           &section);
    if (n == 0) break;
    if (n < 0) {
      // vorbisfile keeps a stream whose decoder it failed to build, and
      // its next call on it may trap (a division by zero in libvorbis).
      releaseSource();
      mReadFailed = true;
      return false;
    }
    got += static_cast<uint64_t>(n);
  }
  // A stream shorter than its stated length leaves zero-filled (silent)
  // bytes.
  return true;
}

bool OggVorbisLoader::seekFrame(uint64_t frame) {
  // Past the end is refused before vorbisfile touches the stream.
  if (frame > totalBytes / format.blockAlign) return false;
  if (ov_pcm_seek(mVorbis.get(), static_cast<ogg_int64_t>(frame)) == 0) return true;
  const WaveFormat opened = format;
  const uint32_t openedTotal = totalBytes;
  releaseSource();
  const bool same = openSource() && std::memcmp(&format, &opened, sizeof format) == 0 &&
                    totalBytes == openedTotal;
  if (!same) {
    // Another track now under the same name is not read into this one.
    releaseSource();
    format = opened;
    totalBytes = openedTotal;
    return false;
  }
  return frame == 0;
}

bool OggVorbisLoader::rewindSource() { return seekFrame(0); }

int32_t OggVorbisLoader::decode(WaveFormat* formatOut, void** buffer, int64_t start, int64_t size,
                                bool loop) {
  if (mReadFailed) {
    if (buffer) {
      std::free(*buffer);
      *buffer = nullptr;
    }
    return soundResult::cannotRead;
  }
  const int32_t begun = beginDecode(formatOut, buffer);
  if (begun != 0) return begun;
  if (size <= 0) {
    *buffer = std::calloc(std::max<uint32_t>(totalBytes, 1), 1);
    const bool read =
        *buffer && rewindSource() && readSource(static_cast<uint8_t*>(*buffer), totalBytes);
    releaseSource();
    if (read) return soundResult::ok;
    std::free(*buffer);
    *buffer = nullptr;
    return soundResult::cannotRead;
  }
  auto* out = static_cast<uint8_t*>(std::calloc(static_cast<size_t>(size), 1));
  *buffer = out;
  if (!out) return soundResult::cannotRead;
  // Any non-negative start is a position, 0 included; negative means "here".
  // A start past the end stands at the end.
  const bool placed =
      start < 0 ||
      seekFrame(std::min<uint64_t>(static_cast<uint64_t>(start), totalBytes) / format.blockAlign);
  const int32_t result =
      placed ? readStretch(out, currentBytes(), static_cast<uint64_t>(size), loop)
             : soundResult::cannotRead;
  if (result == soundResult::cannotRead) {
    std::free(out);
    *buffer = nullptr;
  }
  return result;
}

int32_t OggVorbisLoader::seekBytes(uint32_t bytes, int32_t origin) {
  if (mReadFailed) return soundResult::cannotRead;
  if (!mOpen) return soundResult::ok;
  position = bytes;
  if (!seekFrame(bytes / format.blockAlign)) {
    position = 0;
    return soundResult::cannotRead;
  }
  return soundResult::ok;
}

int32_t OggVorbisLoader::seekMs(uint32_t ms, int32_t origin) {
  if (mReadFailed) return soundResult::cannotRead;
  return mOpen ? seekBytes(blockBytesForMs(ms, format), origin) : soundResult::ok;
}

// The emulated sound buffer and the mixing shared by every sound device.
#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/sound_output.h"

namespace platform {

// Converts a buffer's PCM format to the output format while it plays.
class FormatConverter {
 public:
  explicit FormatConverter(const PcmFormat& format)
      : mStream(SDL_NewAudioStream(format.bits == 8 ? AUDIO_U8 : AUDIO_S16LSB,
                                   static_cast<Uint8>(format.channels),
                                   static_cast<int>(format.rate), AUDIO_S16SYS,
                                   static_cast<Uint8>(kOutputChannels),
                                   static_cast<int>(kOutputRate))) {}
  ~FormatConverter() {
    if (mStream) SDL_FreeAudioStream(mStream);
  }
  FormatConverter(const FormatConverter&) = delete;
  FormatConverter& operator=(const FormatConverter&) = delete;

  bool valid() const { return mStream != nullptr; }
  uint32_t available() const { return static_cast<uint32_t>(SDL_AudioStreamAvailable(mStream)); }
  void put(const uint8_t* data, uint32_t bytes) {
    if (bytes) SDL_AudioStreamPut(mStream, data, static_cast<int>(bytes));
  }
  void flush() { SDL_AudioStreamFlush(mStream); }
  uint32_t get(void* out, uint32_t bytes) {
    const int got = SDL_AudioStreamGet(mStream, out, static_cast<int>(bytes));
    return got > 0 ? static_cast<uint32_t>(got) : 0;
  }
  void clear() { SDL_AudioStreamClear(mStream); }

 private:
  SDL_AudioStream* mStream;
};

namespace {

bool supportedFormat(const PcmFormat& f) {
  return (f.bits == 8 || f.bits == 16) && f.channels >= 1 && f.channels <= 8 && f.rate >= 1000 &&
         f.rate <= 384000;
}

}  // namespace

SoundBuffer::SoundBuffer(const PcmFormat& format, uint32_t bytes)
    : mFormat(format), mData(bytes, format.bits == 8 ? 0x80 : 0) {
  if (!format.isOutputFormat()) mConverter = std::make_unique<FormatConverter>(format);
}

SoundBuffer::~SoundBuffer() = default;

bool SoundBuffer::write(uint32_t offset, const void* data, uint32_t bytes) {
  if (!data || bytes > size() || offset >= size()) return false;
  std::lock_guard<std::mutex> lock(mMutex);
  const uint32_t first = std::min(bytes, size() - offset);
  std::memcpy(mData.data() + offset, data, first);
  std::memcpy(mData.data(), static_cast<const uint8_t*>(data) + first, bytes - first);
  return true;
}

void SoundBuffer::play(bool looping) {
  std::lock_guard<std::mutex> lock(mMutex);
  mLooping = looping;
  mHasEndMark = false;
  if (!mPlaying && mConverter) mConverter->clear();
  mPlaying = true;
}

void SoundBuffer::stopLocked() {
  mPlaying = false;
  mHasEndMark = false;
}

void SoundBuffer::stop() {
  std::lock_guard<std::mutex> lock(mMutex);
  stopLocked();
}

bool SoundBuffer::isPlaying() const {
  std::lock_guard<std::mutex> lock(mMutex);
  return mPlaying;
}

uint32_t SoundBuffer::currentPosition() const {
  std::lock_guard<std::mutex> lock(mMutex);
  return mCursor;
}

void SoundBuffer::setCurrentPosition(uint32_t offset) {
  std::lock_guard<std::mutex> lock(mMutex);
  const uint32_t frame = mFormat.frameBytes();
  mCursor = std::min(offset, size()) / frame * frame;
  if (mCursor == size()) mCursor = 0;
  if (mConverter) mConverter->clear();
  mRun = PlayPosition{};
}

PlayPosition SoundBuffer::playPosition() const {
  std::lock_guard<std::mutex> lock(mMutex);
  return mRun;
}

void SoundBuffer::setEndMark(uint32_t offset) {
  std::lock_guard<std::mutex> lock(mMutex);
  mHasEndMark = true;
  mEndMark = offset % size();
}

void SoundBuffer::setVolume(int32_t hundredthsDb) {
  std::lock_guard<std::mutex> lock(mMutex);
  mVolume = std::clamp<int32_t>(hundredthsDb, -10000, 0);
}

int32_t SoundBuffer::volume() const {
  std::lock_guard<std::mutex> lock(mMutex);
  return mVolume;
}

uint32_t SoundBuffer::takeSource(uint8_t* out, uint32_t bytes) {
  uint32_t taken = 0;
  while (taken < bytes && mPlaying) {
    uint32_t run = size() - mCursor;
    if (mHasEndMark) {
      const uint32_t toMark = (mEndMark + size() - mCursor) % size();
      if (toMark == 0) {
        stopLocked();
        break;
      }
      run = std::min(run, toMark);
    }
    run = std::min(run, bytes - taken);
    std::memcpy(out + taken, mData.data() + mCursor, run);
    taken += run;
    mCursor += run;
    if (mHasEndMark && mCursor % size() == mEndMark) {
      mCursor = mEndMark;
      stopLocked();
    } else if (mCursor == size()) {
      mCursor = 0;
      // A buffer played once stops at its end, ready to play again.
      if (!mLooping) stopLocked();
    }
  }
  return taken;
}

void SoundBuffer::mixInto(int32_t* mix, uint32_t frames, uint64_t nowUs) {
  std::lock_guard<std::mutex> lock(mMutex);
  if (!mPlaying && !(mConverter && mConverter->available() > 0)) return;
  const uint32_t outBytes = frames * kOutputFrameBytes;
  uint32_t produced = 0;
  if (!mConverter) {
    mScratch.resize(outBytes);
    produced = takeSource(mScratch.data(), outBytes);
  } else {
    if (!mConverter->valid()) return;
    const uint32_t frameBytes = mFormat.frameBytes();
    // Enough source frames for the request, plus a few for the resampler.
    const uint32_t sourceBytes =
        static_cast<uint32_t>((uint64_t{frames} * mFormat.rate / kOutputRate + 16) * frameBytes);
    mScratch.resize(std::max(outBytes, sourceBytes));
    while (mConverter->available() < outBytes && mPlaying) {
      const uint32_t got = takeSource(mScratch.data(), sourceBytes);
      mConverter->put(mScratch.data(), got);
      if (!mPlaying) {
        // SDL's resampler holds back its last few milliseconds even on a
        // flush; a tenth of a second of silence pushes them out.
        const uint32_t padBytes = (mFormat.rate / 10) * frameBytes;
        mScratch.assign(std::max<size_t>(mScratch.size(), padBytes), mFormat.bits == 8 ? 0x80 : 0);
        mConverter->put(mScratch.data(), padBytes);
        mConverter->flush();
      }
    }
    produced = mConverter->get(mScratch.data(), outBytes) / kOutputFrameBytes * kOutputFrameBytes;
  }
  const uint32_t samples = produced / 2;
  const auto* pcm = reinterpret_cast<const int16_t*>(mScratch.data());
  if (mVolume == 0) {
    for (uint32_t i = 0; i < samples; ++i) mix[i] += pcm[i];
  } else if (mVolume > -10000) {
    const float gain = std::pow(10.0f, static_cast<float>(mVolume) / 2000.0f);
    for (uint32_t i = 0; i < samples; ++i) {
      mix[i] += static_cast<int32_t>(std::lrint(static_cast<float>(pcm[i]) * gain));
    }
  }
  mFramesPlayed += produced / kOutputFrameBytes;
  if (produced > 0) {
    mRun.frames += produced / kOutputFrameBytes;
    ++mRun.renders;
    mRun.stampUs = nowUs;
  }
}

SoundOutput::~SoundOutput() = default;

std::shared_ptr<SoundBuffer> SoundOutput::createBuffer(const PcmFormat& format, uint32_t bytes) {
  if (!supportedFormat(format) || bytes == 0 || bytes % format.frameBytes() != 0) return nullptr;
  std::shared_ptr<SoundBuffer> buffer(new SoundBuffer(format, bytes));
  if (buffer->mConverter && !buffer->mConverter->valid()) return nullptr;
  std::lock_guard<std::mutex> lock(mListMutex);
  mBuffers.push_back(buffer);
  return buffer;
}

void SoundOutput::releaseBuffer(const std::shared_ptr<SoundBuffer>& buffer) {
  std::lock_guard<std::mutex> lock(mListMutex);
  mBuffers.erase(std::remove(mBuffers.begin(), mBuffers.end(), buffer), mBuffers.end());
}

uint64_t SoundOutput::nowUs() const {
  if (const SoundClock clock = mClock.load()) return clock();
  const uint64_t counter = SDL_GetPerformanceCounter();
  const uint64_t frequency = SDL_GetPerformanceFrequency();
  return counter / frequency * 1000000 + counter % frequency * 1000000 / frequency;
}

void SoundOutput::render(int16_t* out, uint32_t frames) {
  const uint64_t now = nowUs();
  std::lock_guard<std::mutex> lock(mListMutex);
  mMix.assign(size_t{frames} * kOutputChannels, 0);
  for (const auto& buffer : mBuffers) buffer->mixInto(mMix.data(), frames, now);
  for (size_t i = 0; i < mMix.size(); ++i) {
    out[i] = static_cast<int16_t>(std::clamp<int32_t>(mMix[i], -32768, 32767));
  }
  mFramesRendered += frames;
  mPeriodFrames = frames;
}

namespace {

class ManualSoundOutput final : public SoundOutput {};

}  // namespace

std::unique_ptr<SoundOutput> openManualSoundOutput() {
  return std::make_unique<ManualSoundOutput>();
}

}  // namespace platform

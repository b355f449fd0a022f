// Sound output: an emulated streaming sound buffer (a byte ring with a play
// cursor) and the device that plays such buffers. The device always runs at
// 44.1 kHz, stereo, signed 16-bit; buffers in another PCM format are
// converted while they play. Two devices exist: the SDL audio device, and a
// manual one that plays only when its owner pulls frames (tests, tools).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace platform {

// Output format of every device.
inline constexpr uint32_t kOutputRate = 44100;
inline constexpr uint32_t kOutputChannels = 2;
inline constexpr uint32_t kOutputFrameBytes = 4;

// The PCM layout of a buffer's bytes: 8-bit unsigned or 16-bit signed
// little-endian samples, channels interleaved.
struct PcmFormat {
  uint32_t rate = kOutputRate;
  uint16_t channels = kOutputChannels;
  uint16_t bits = 16;
  uint32_t frameBytes() const { return channels * (bits / 8u); }
  bool isOutputFormat() const {
    return rate == kOutputRate && channels == kOutputChannels && bits == 16;
  }
};

class FormatConverter;

// Microseconds of the clock that stamps what a device consumes. The default
// is the platform's performance counter; tests install a scripted one.
using SoundClock = uint64_t (*)();

// Where a buffer's current run stands on the device: the output frames the
// device has taken from it since the run began (setCurrentPosition starts a
// run), the renders that took them, and the sound-clock time of the last.
struct PlayPosition {
  uint64_t frames = 0;
  uint64_t renders = 0;
  uint64_t stampUs = 0;
  // A device's first render only fills its queue (a sound server may then
  // wait a second before it plays anything); the next one shows that the
  // device has begun consuming.
  bool started() const { return renders >= 2; }
};

// One sound buffer. All operations are thread-safe: the main thread, a
// streaming thread and the device's mixing thread use it together.
class SoundBuffer {
 public:
  ~SoundBuffer();
  SoundBuffer(const SoundBuffer&) = delete;
  SoundBuffer& operator=(const SoundBuffer&) = delete;

  const PcmFormat& format() const { return mFormat; }
  uint32_t size() const { return static_cast<uint32_t>(mData.size()); }

  // Copies `bytes` bytes to `offset`, wrapping at the end of the ring.
  // False when the range is larger than the buffer or `data` is null.
  // An emulated buffer is never lost, so no restore is ever needed.
  bool write(uint32_t offset, const void* data, uint32_t bytes);

  // Starts playing at the current cursor: once (stops at the end) or looping.
  void play(bool looping);
  // Stops; the cursor stays where it is. Clears the end mark.
  void stop();
  bool isPlaying() const;
  uint32_t currentPosition() const;
  // Moves the cursor (rounded down to a whole frame, clamped to the size)
  // and begins a new run: playPosition() counts from here.
  void setCurrentPosition(uint32_t offset);
  PlayPosition playPosition() const;
  // Makes the buffer stop by itself when its cursor reaches `offset`: the
  // bytes before it are played, nothing after it. Cleared by stop or play.
  void setEndMark(uint32_t offset);
  // Volume in hundredths of a decibel: 0 is unity (bit-exact), -10000
  // silent; gain = 10^(volume / 2000). Values are clamped to that range.
  void setVolume(int32_t hundredthsDb);
  int32_t volume() const;
  // Output frames this buffer has delivered while playing, since creation.
  uint64_t framesPlayed() const { return mFramesPlayed.load(); }

  // Device side: adds `frames` output frames of this buffer (gain applied)
  // to `mix` (interleaved stereo, 32-bit accumulators) and advances the
  // cursor; `nowUs` stamps the run's position when frames were taken.
  void mixInto(int32_t* mix, uint32_t frames, uint64_t nowUs);

 private:
  friend class SoundOutput;
  SoundBuffer(const PcmFormat& format, uint32_t bytes);
  // Takes up to `bytes` bytes of source data at the cursor, honouring the
  // end of a once-played buffer and the end mark; returns the bytes taken.
  uint32_t takeSource(uint8_t* out, uint32_t bytes);
  void stopLocked();

  PcmFormat mFormat;
  std::vector<uint8_t> mData;
  mutable std::mutex mMutex;
  uint32_t mCursor = 0;
  bool mPlaying = false;
  bool mLooping = false;
  bool mHasEndMark = false;
  uint32_t mEndMark = 0;
  int32_t mVolume = 0;
  std::unique_ptr<FormatConverter> mConverter;  // null for the output format
  std::vector<uint8_t> mScratch;
  std::atomic<uint64_t> mFramesPlayed{0};
  PlayPosition mRun;
};

// A playing device. Buffers it creates are mixed into its output until
// they are released. Destroying the device stops its mixing first.
class SoundOutput {
 public:
  virtual ~SoundOutput();
  SoundOutput(const SoundOutput&) = delete;
  SoundOutput& operator=(const SoundOutput&) = delete;

  // A new silent, stopped buffer of `bytes` bytes, or null when the format
  // is not 8/16-bit PCM with 1 to 8 channels or the size is 0.
  std::shared_ptr<SoundBuffer> createBuffer(const PcmFormat& format, uint32_t bytes);
  // Stops mixing `buffer`; other holders may keep the object.
  void releaseBuffer(const std::shared_ptr<SoundBuffer>& buffer);

  // Renders `frames` output frames (interleaved stereo S16) from every buffer.
  // The SDL device calls it from its audio thread; callers of the manual
  // device call it to let time pass.
  void render(int16_t* out, uint32_t frames);
  // Output frames rendered since the device was opened.
  uint64_t framesRendered() const { return mFramesRendered.load(); }

  // The sound clock (microseconds); `clock` null restores the default.
  uint64_t nowUs() const;
  void setClock(SoundClock clock) { mClock = clock; }
  // Frames of the last render: the device's period.
  uint32_t periodFrames() const { return mPeriodFrames.load(); }
  // How long a frame the device takes is still to be heard: what lies in
  // the device's own buffer and the server's. The SDL device estimates it
  // when it opens; a manual device has none unless its owner sets one.
  uint64_t outputLatencyUs() const { return mLatencyUs.load(); }
  void setOutputLatencyUs(uint64_t us) { mLatencyUs = us; }

 protected:
  SoundOutput() = default;

 private:
  std::atomic<SoundClock> mClock{nullptr};
  std::atomic<uint32_t> mPeriodFrames{0};
  std::atomic<uint64_t> mLatencyUs{0};
  std::mutex mListMutex;
  std::vector<std::shared_ptr<SoundBuffer>> mBuffers;
  std::vector<int32_t> mMix;
  std::atomic<uint64_t> mFramesRendered{0};
};

// Opens the default SDL audio device (SDL_AUDIODRIVER picks the driver).
// Null on failure, with the reason in `error`.
std::unique_ptr<SoundOutput> openSdlSoundOutput(std::string& error);
// A device with no thread of its own: nothing plays until render is called.
std::unique_ptr<SoundOutput> openManualSoundOutput();

}  // namespace platform

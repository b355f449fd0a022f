// Sound: decoders for RIFF WAVE and Ogg Vorbis tracks and the streaming
// music player with its worker thread.
//
// Threads: a player and its cDemoSound belong to the main thread; the
// player's worker thread shares the decoder (through readLocked only) and
// the sound buffer with it.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdio>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/sound_output.h"
#include "platform/thread_messages.h"

// Result codes of the decoders and the player.
namespace soundResult {
inline constexpr int32_t ok = 1;
inline constexpr int32_t cannotRead = 2;     // decoders: source unreadable; player: track unreadable
inline constexpr int32_t notOpen = 3;
inline constexpr int32_t noDecoder = 4;      // player: no decoder accepts the track
inline constexpr int32_t noDevice = 5;       // player: the sound device cannot be created
inline constexpr int32_t openFailed = 6;     // decoders; player: no sound system
inline constexpr int32_t endReached = 7;     // decoders: rest filled with silence; player: no buffer
inline constexpr int32_t atEnd = 8;          // decoders: whole buffer is silence
inline constexpr int32_t otherFailure = 10;  // player
}  // namespace soundResult

// The source name that selects the memory block given to open.
inline constexpr const char kMemorySourceName[] = "ON_MEMORY_FILE_LOAD";

#pragma pack(push, 1)
// PCM wave format record, 18 bytes as stored in a "fmt " chunk.
struct WaveFormat {
  uint16_t formatTag;  // 1 = PCM
  uint16_t channels;
  uint32_t samplesPerSec;
  uint32_t avgBytesPerSec;
  uint16_t blockAlign;
  uint16_t bitsPerSample;
  uint16_t extraSize;
};
#pragma pack(pop)
static_assert(sizeof(WaveFormat) == 18, "the wave format record is 18 bytes");

// The formats the output can play; the decoders refuse others as unreadable.
inline constexpr int64_t kMinSampleRate = 1000;
inline constexpr int64_t kMaxSampleRate = 384000;
inline constexpr int64_t kMaxChannels = 8;
inline bool playableFormat(int64_t samplesPerSec, int64_t channels) {
  return samplesPerSec >= kMinSampleRate && samplesPerSec <= kMaxSampleRate && channels >= 1 &&
         channels <= kMaxChannels;
}

// The byte `ms` milliseconds into PCM of `format`: ms / 1000 × bytes per
// second, truncated, then rounded to the nearer whole block (exactly half
// rounds down); clamped to the last whole block below 4 GiB.
uint32_t blockBytesForMs(uint32_t ms, const WaveFormat& format);

// Where a decoder's data come from: a file, or a memory block.
struct SoundSourceInfo {
  uint32_t blockSize;      // 288
  char name[256];          // NUL-terminated
  uint64_t dataSize;       // file size, or the memory block's size
  const uint8_t* memory;   // memory source only; not owned
  uint64_t readPosition;   // memory callbacks' position
};
static_assert(sizeof(SoundSourceInfo) == 288, "the source-info block is 288 bytes");

// Decoder interface. Buffers handed out by decode/readLocked are zero-filled
// heap blocks owned by the caller, freed with std::free; decode frees a block
// still held in the pointer it is given before allocating a new one.
class CSoundLoader {
 public:
  CSoundLoader() = default;
  virtual ~CSoundLoader();
  CSoundLoader(const CSoundLoader&) = delete;
  CSoundLoader& operator=(const CSoundLoader&) = delete;

  // Copies the decoded format (all zero when closed); returns 1.
  virtual int32_t getFormat(WaveFormat* out);
  // decode under the decoder's lock: the one call meant for another thread.
  virtual int32_t readLocked(void** buffer, int32_t start, int32_t size, bool loop);
  // Copies the source-info block; 3 when closed.
  virtual int32_t getInfo(SoundSourceInfo* out);
  virtual uint32_t getLengthMs();
  virtual uint32_t getPosition();
  // Opens a file, or with name kMemorySourceName the memory block (not
  // copied; it must outlive the decoder's use). 1, or 6 on failure.
  virtual int32_t open(const char* name, const void* memory = nullptr, uint32_t memorySize = 0);
  virtual int32_t close();
  virtual uint32_t getTotalBytes();
  // open, then close: true when the source is one this decoder reads.
  virtual bool probe(const char* name, const void* memory = nullptr, uint32_t memorySize = 0);
  virtual int32_t seekBytes(uint32_t bytes, int32_t origin) = 0;
  virtual int32_t seekMs(uint32_t ms, int32_t origin) = 0;
  // The work routine. `formatOut` receives the format when not null. With
  // no buffer it only opens. size > 0: reads size bytes at `start` (< 0: at
  // the current position): 1 fits; 7 the data ended and silence fills the
  // rest; 8 already at the end, all silence; with `loop` the read wraps to
  // the first sample instead. size <= 0: the whole data, after which the
  // source is released and reopened by the next decode.
  virtual int32_t decode(WaveFormat* formatOut, void** buffer, int64_t start, int64_t size,
                         bool loop) = 0;

 protected:
  // Releases the source (file, decoder state) without touching the fields.
  virtual void releaseSource() {}
  // Opens the source and fills format and total bytes; false on failure.
  virtual bool openSource() = 0;
  virtual bool sourceOpen() const = 0;
  // Reads `bytes` decoded bytes at the current position; false when short.
  virtual bool readSource(uint8_t* out, uint64_t bytes) = 0;
  // Moves the read position to the first sample.
  virtual bool rewindSource() = 0;

  // The start of every decode: opens the source when needed (2 on failure),
  // hands out the format and frees the caller's previous buffer. Returns 0
  // when the decode goes on, else the decode's result.
  int32_t beginDecode(WaveFormat* formatOut, void** buffer);
  // The three read cases from `current` bytes into the data: fits (1);
  // already at the end (8, silence); runs past it (7 with silence, or with
  // `loop` wrapping to the first sample, 1). 2 on a failed read.
  int32_t readStretch(uint8_t* out, uint64_t current, uint64_t want, bool loop);
  // The silence byte of the decoded format.
  uint8_t silenceByte() const { return format.bitsPerSample == 8 ? 0x80 : 0; }

  WaveFormat format{};
  uint32_t position = 0;
  uint32_t totalBytes = 0;
  std::unique_ptr<SoundSourceInfo> sourceInfo;
  std::mutex lock;
};

class RiffStream;

// RIFF WAVE decoder: the project's own RIFF walker over a file or memory.
class WaveLoader final : public CSoundLoader {
 public:
  WaveLoader();
  ~WaveLoader() override;
  int32_t seekBytes(uint32_t bytes, int32_t origin) override;
  int32_t seekMs(uint32_t ms, int32_t origin) override;
  int32_t decode(WaveFormat* formatOut, void** buffer, int64_t start, int64_t size,
                 bool loop) override;

 protected:
  void releaseSource() override;
  bool openSource() override;
  bool sourceOpen() const override { return mStream != nullptr; }
  bool readSource(uint8_t* out, uint64_t bytes) override;
  bool rewindSource() override;

 private:
  int32_t failRead(void** buffer);

  std::unique_ptr<RiffStream> mStream;
  uint64_t mDataStart = 0;
};

struct OggVorbis_File;

// Ogg Vorbis decoder (vorbisfile), 16-bit signed little-endian output.
class OggVorbisLoader final : public CSoundLoader {
 public:
  OggVorbisLoader();
  ~OggVorbisLoader() override;
  // Also forgets a failed read (see decode).
  int32_t close() override;
  // After a read failed (2), seeks and decodes fail at once without
  // touching the stream until the next open or close.
  int32_t seekBytes(uint32_t bytes, int32_t origin) override;
  int32_t seekMs(uint32_t ms, int32_t origin) override;
  int32_t decode(WaveFormat* formatOut, void** buffer, int64_t start, int64_t size,
                 bool loop) override;

  // Memory callbacks over a SoundSourceInfo (stdio semantics): read copies
  // size × count bytes, or all that remain, and returns whole items copied.
  static size_t memoryRead(void* dest, size_t size, size_t count, void* source);
  static int memorySeek(void* source, int64_t offset, int origin);
  static int memoryClose(void* source);
  static long memoryTell(void* source);

 protected:
  void releaseSource() override;
  bool openSource() override;
  bool sourceOpen() const override { return mOpen && mVorbis; }
  bool readSource(uint8_t* out, uint64_t bytes) override;
  bool rewindSource() override;

 private:
  uint64_t currentBytes();
  // Moves the stream to `frame` (at most the last). A stream whose seek
  // failed is unfit to read (vorbisfile may even trap in its next read), so
  // it is reopened at its first frame, or released when that fails too.
  // True only when the stream stands at `frame`.
  bool seekFrame(uint64_t frame);

  bool mOpen = false;
  bool mReadFailed = false;  // a read failed; the stream was released for good
  std::FILE* mFile = nullptr;
  std::unique_ptr<OggVorbis_File> mVorbis;
  int mChannels = 0;
  long mRate = 0;
};

// The decoder for a track: RIFF WAVE is probed first, then Ogg Vorbis;
// null when neither reads it. The decoder is not yet open.
std::unique_ptr<CSoundLoader> chooseDecoder(const char* name);

// The 44-byte header of a PCM RIFF WAVE file of `format` holding
// `dataBytes` bytes of samples.
std::vector<uint8_t> waveFileHeader(const WaveFormat& format, uint32_t dataBytes);

// ---------------------------------------------------------------------------
// Music player.

// Worker messages.
namespace soundMessage {
inline constexpr uint32_t prepare = 1068;
inline constexpr uint32_t acknowledge = 1069;
inline constexpr uint32_t stop = 1070;
inline constexpr uint32_t start = 1071;
inline constexpr uint32_t stopAlso = 1072;
}  // namespace soundMessage

// Which sound device startDevice opens. The default opens the SDL audio
// device; tests and tools may install another (a manual one they drive).
using SoundOutputFactory = std::unique_ptr<platform::SoundOutput> (*)(std::string& error);
void setSoundOutputFactory(SoundOutputFactory factory);
// The process-wide device while one is open, else null.
platform::SoundOutput* soundOutput();

// The player proper: one track, static or streamed through a ring of 12
// quarter-second segments by a worker thread. Counts as one instance of the
// process-wide device from construction until shutdown.
class SoundPlayer {
 public:
  SoundPlayer();
  ~SoundPlayer();
  SoundPlayer(const SoundPlayer&) = delete;
  SoundPlayer& operator=(const SoundPlayer&) = delete;

  // Opens the device: 1; 10 when one is already open; 5 when it cannot be
  // created (deviceError() says why). `window` is unused here.
  int32_t startDevice(void* window);
  // Opens trackName (WAVE probed first, then Ogg Vorbis) and prepares its
  // buffer: 1, 2, 4, 6 or 10. Shows the specified message boxes.
  int32_t openTrack();
  // Plays the track from its first sample: 1, or 7 without a buffer.
  int32_t playFromStart();
  // Plays from `ms` milliseconds into the track, the start rounded to a
  // whole block (blockBytesForMs): 1, or 7 without a buffer. For rehearsals.
  // A start at or past the track's end plays nothing (isPlaying stays false).
  int32_t playFrom(uint32_t ms);
  // The byte a start at `ms` begins at (blockBytesForMs).
  static uint32_t startByteFor(uint32_t ms, const WaveFormat& format) {
    return blockBytesForMs(ms, format);
  }
  // Stops the track where it stands (a rehearsal's pause); playFrom starts
  // it again. Nothing without a buffer.
  void stop();
  // Hundredths of a decibel, 0 (full) to -10000 (silent).
  void setVolume(int32_t hundredthsDb);
  // Stops and ends the worker (the buffer is stopped before the thread
  // ends), releases buffer and decoder, and gives back this instance's
  // hold on the device. Safe to call twice.
  void shutdown();

  bool isPlaying() const;
  bool streaming() const { return mStreaming; }
  uint32_t segmentSize() const { return mSegmentSize; }
  const WaveFormat& format() const { return mFormat; }
  CSoundLoader* decoder() const { return mDecoder.get(); }
  std::shared_ptr<platform::SoundBuffer> buffer() const { return mBuffer; }
  // Worker loop iterations so far (lets a caller that drives a manual
  // device wait for the worker to catch up).
  uint64_t workerPolls() const { return mPolls.load(); }
  const std::string& deviceError() const { return mDeviceError; }

  // The track's file; the working directory's "music.ogg" by default.
  std::string trackName = "music.ogg";
  // true: playFromStart restarts a static buffer even while it plays.
  bool alwaysRestart = true;
  // Passed to the decoder; playFromStart clears it. Read by the worker.
  std::atomic<bool> loop{false};

  static constexpr uint32_t kSegmentCount = 12;
  static constexpr uint32_t kRingSeconds = 3;
  static constexpr uint32_t kStaticLimit = 0x100000;

 private:
  void releaseTrack();
  void stopWorker();
  struct WorkerState;
  void workerMain();
  void workerStart(uint32_t message, uintptr_t ms, WorkerState& state);
  void workerPoll(WorkerState& state);
  bool writeBuffer(uint32_t offset, uint32_t size, const void* data);

  std::shared_ptr<platform::SoundBuffer> mBuffer;
  WaveFormat mFormat{};
  std::unique_ptr<CSoundLoader> mDecoder;
  uint32_t mSegmentSize = 0;
  bool mStreaming = false;
  std::thread mWorker;
  platform::ThreadMessageQueue mMessages;
  platform::AutoResetEvent mEvent;
  std::atomic<uint64_t> mPolls{0};
  bool mCounted = true;
  std::string mDeviceError;
};

// Where the listener stands in a run of the device, fitted to the renders
// the clock has seen. A render stamped at t that leaves h microseconds of
// the run before the listener says h was heard at t, or later than t: a
// render only runs late (the audio thread waits for the CPU), and the server
// keeps playing its queue meanwhile. So the line goes through the median of
// the last renders at the device's own pace, measured over the run; a render
// later than the slack the server had left (what it still held when it asked
// for more) means it ran dry, and the line starts again from that render.
class HeardTimeline {
 public:
  void reset();
  void add(uint64_t stampUs, int64_t heardUs, uint64_t slackUs);
  // Microseconds heard at `nowUs` (after one add at least).
  int64_t heardAt(uint64_t nowUs) const;

 private:
  struct Render {
    uint64_t stampUs;
    int64_t heardUs;
  };
  static constexpr size_t kRenders = 9;  // about 0.2 s of 1024-frame renders
  double offsetUs(double pace) const;
  double pace() const;

  Render mRenders[kRenders]{};
  size_t mCount = 0;
  size_t mNext = 0;
  Render mSpanStart{};  // where the stretch since the server last ran dry began
  double mSpanUs = 0;   // earlier stretches: sound-clock time and time heard
  double mSpanHeardUs = 0;
};

// The demo's music: the player plus the clock the timeline follows.
class cDemoSound {
 public:
  cDemoSound() = default;
  virtual ~cDemoSound();
  cDemoSound(const cDemoSound&) = delete;
  cDemoSound& operator=(const cDemoSound&) = delete;

  // Creates the player, starts the device and opens the track; on failure
  // releases the player and returns false (failureCode() says why).
  bool openMusic(void* window);
  // The music time: from the time startClock gave, what the device has
  // played, placed between its renders by the sound clock (see the .cpp).
  uint32_t getPositionMs();
  // The same, noting the caller's timer value `now` in lastTick.
  uint32_t getPositionMs(uint32_t now);
  // Timeline start, after playFrom(musicMs): the clock reads musicMs until
  // the device takes the music, and follows it from there.
  void startClock(uint32_t musicMs, uint32_t now);
  // The music is sounding: told to play, and the device has begun taking it.
  bool isPlaying() const;
  // The music has stopped (its end, or never started): the show ends or
  // loops. A track told to play that the device has not yet taken is not
  // over, nor one whose last frames the device took but has not yet played
  // out (its output latency after the last render).
  bool musicOver() const;
  SoundPlayer* getPlayer() { return player.get(); }
  // The player result that made openMusic fail; 1 when it did not.
  int32_t failureCode() const { return mFailure; }
  // The one-line reason for a failed openMusic (no trailing newline).
  std::string failureMessage() const;

  // Timeline start: playFrom, then startClock (elapsed and lastTick).
  std::unique_ptr<SoundPlayer> player;
  uint32_t elapsed = 0;
  uint32_t lastTick = 0;
  std::string trackName = "music.ogg";

 private:
  int32_t mFailure = soundResult::ok;
  std::string mDeviceError;
  // The device's run is heard: begun, and not yet played out.
  bool sounding() const;

  uint32_t mRunStartMs = 0;  // the music time the device's run begins at
  uint32_t mLastMs = 0;      // the last reading: the clock never goes back
  HeardTimeline mTimeline;
  uint64_t mSeenRenders = 0;  // the run's renders the timeline has seen
};

// Exit status of the program when the music cannot start.
inline constexpr int kSoundStartupExitStatus = 1;
// Writes sound.failureMessage() and a newline to stderr and returns the exit
// status the program ends with (kSoundStartupExitStatus).
int reportSoundStartupFailure(const cDemoSound& sound);

// Offline capture: the fixed frame clock's arithmetic, frames handed to
// writer threads in buffers allocated once (PNG files, or raw pixels piped
// into ffmpeg), the captured range's music as a RIFF WAVE file, the video
// through ffmpeg and the progress line.
// No GL here: the caller reads the pictures back and hands them over.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "capture/frame_rate.h"

namespace platform {
class PipedChild;
}

// Sample frames [first, end) of the span of capture frames [firstFrame,
// firstFrame + frames), that is [from + firstFrame / R, from + (firstFrame +
// frames) / R) seconds, at `sampleRate`: exactly the samples whose instants
// lie in the span. Spans of adjacent frame ranges abut, so the music of a
// capture split into parts is the parts' music joined.
struct SampleRange {
  uint64_t first = 0;
  uint64_t end = 0;
};
SampleRange captureSampleRange(uint32_t fromMs, uint64_t firstFrame, uint64_t frames,
                               FrameRate rate, uint32_t sampleRate);

// ---------------------------------------------------------------------------
// Music.

struct MusicInfo {
  uint32_t sampleRate = 0;
  uint16_t channels = 0;
  uint64_t totalSamples = 0;  // sample frames
  uint32_t lengthMs = 0;      // whole milliseconds, rounded down
};
// Opens `track` with the player's decoders. False with a one-line reason.
bool probeMusic(const std::string& track, MusicInfo& out, std::string& reason);
// Decodes the samples of captureSampleRange(from, firstFrame, frames, rate)
// of `track`,
// at its own rate and channel count, clamped at the track's end, and writes
// them to `wavPath` as PCM RIFF WAVE. `samples` receives the sample frames
// written. False with a one-line reason.
bool writeMusicRange(const std::string& track, uint32_t fromMs, uint64_t firstFrame,
                     uint64_t frames, FrameRate rate, const std::string& wavPath,
                     uint64_t& samples, std::string& reason);

// ---------------------------------------------------------------------------
// PNG frames.

// DIR/frame_NNNNNN.png (six digits or more).
std::string captureFramePath(const std::string& dir, uint64_t index);

// Frames handed from the render thread to writer threads. Frame buffers
// (RGBA, rows bottom first as GL reads them back) are allocated once by the
// constructor and cycle between the caller and the writers, so the caller
// waits only while every buffer is in flight. With one writer the frames are
// written in the order submitted. Frames after the first failed write are
// dropped. acquire and submit belong to one thread.
class FramePool {
 public:
  // Writes one frame; false with a one-line reason. Runs on a writer thread.
  using WriteFrame =
      std::function<bool(const uint8_t* buffer, uint64_t index, std::string& reason)>;
  FramePool(uint32_t width, uint32_t height, unsigned workers, unsigned buffers,
            WriteFrame write);
  // Finishes the writes still queued.
  ~FramePool();
  FramePool(const FramePool&) = delete;
  FramePool& operator=(const FramePool&) = delete;

  uint32_t width() const { return mWidth; }
  uint32_t height() const { return mHeight; }
  size_t bufferBytes() const { return static_cast<size_t>(mWidth) * mHeight * 4; }
  // A free buffer of bufferBytes(); waits while none is free.
  uint8_t* acquire();
  // Queues the filled buffer (from acquire) as frame `index`.
  void submit(uint8_t* buffer, uint64_t index);
  // Waits until every queued frame is written and ends the writers. False
  // with the first failure's reason.
  bool finish(std::string& reason);
  // A write has failed (the capture can stop).
  bool failed() const;
  // Frames written so far, callers now waiting in acquire, and the acquires
  // that had to wait.
  uint64_t written() const;
  unsigned waitingForBuffer() const;
  uint64_t waits() const;

  // Runs on a writer before each frame is written (tests slow the writers
  // down with it). Set before the first submit.
  std::function<void(uint64_t index)> beforeWrite;

 private:
  struct Job {
    uint8_t* buffer;
    uint64_t index;
  };
  void workerMain();

  uint32_t mWidth;
  uint32_t mHeight;
  WriteFrame mWrite;
  std::vector<std::unique_ptr<uint8_t[]>> mStorage;
  mutable std::mutex mMutex;
  std::condition_variable mWork;  // a job is queued, or the pool stops
  std::condition_variable mFree;  // a buffer came back
  std::vector<uint8_t*> mFreeBuffers;
  std::vector<Job> mJobs;  // a ring of one slot per buffer
  size_t mJobHead = 0;
  size_t mJobCount = 0;
  bool mStopping = false;
  unsigned mWaiting = 0;
  uint64_t mWaits = 0;
  uint64_t mWritten = 0;
  std::string mError;
  std::vector<std::thread> mWorkers;
};

// Writes frames as PNG files (RGB: the default framebuffer has no alpha)
// on worker threads.
class PngFramePool : public FramePool {
 public:
  PngFramePool(const std::string& dir, uint32_t width, uint32_t height, unsigned workers,
               unsigned buffers);

  // Worker threads for this machine: one per core (at most eight), since
  // the render thread mostly waits on the GL driver; and the buffers that
  // keep them busy.
  static unsigned defaultWorkers();
  static unsigned defaultBuffers(unsigned workers) { return workers * 2 + 1; }
};

// ---------------------------------------------------------------------------
// Video.

inline constexpr char kNoFfmpeg[] = "--video needs ffmpeg, which is not on PATH";
enum class VideoKind { Unknown, Mp4, Matroska };
// By the file's extension: .mp4 (H.264 + AAC) or .mkv (FFVHuff + FLAC).
VideoKind videoKindFor(const std::string& file);
// Where ffmpeg writes until it has succeeded: FILE.partial, renamed to FILE
// then and removed on any failure, so FILE is never a half-written video.
std::string partialVideoPath(const std::string& file);
// Runs ffmpeg (found through PATH) on DIR/frame_%06d.png from frame
// `firstFrame` on, at `rate`, and DIR/music.wav into `file`. False with a
// one-line reason.
bool muxVideo(const std::string& dir, FrameRate rate, uint64_t firstFrame,
              const std::string& file, std::string& reason);

// Raw frames piped into one ffmpeg process, which encodes them with the
// music of `wavPath` into a video: no frame touches the disk. A writer
// thread turns each frame into top-down RGB rows and writes them to the pipe
// while the render thread goes on.
class VideoStream {
 public:
  // Starts ffmpeg. Null with a one-line reason.
  static std::unique_ptr<VideoStream> start(const std::string& file, FrameRate rate,
                                            uint32_t width, uint32_t height,
                                            const std::string& wavPath, std::string& reason);
  // Without a successful finish: ends ffmpeg and removes the partial video.
  ~VideoStream();
  VideoStream(const VideoStream&) = delete;
  VideoStream& operator=(const VideoStream&) = delete;

  // Where the render thread hands the frames over, in order.
  FramePool& frames() { return *mPool; }
  // Writes the queued frames, ends ffmpeg's input and waits for it; the video
  // is then at FILE. False with a one-line reason naming the cause (ffmpeg's
  // first error line, its status or the signal that ended it); FILE is then
  // absent. Once only.
  bool finish(std::string& reason);

 private:
  VideoStream() = default;
  bool writeFrame(const uint8_t* buffer, std::string& reason);

  std::string mFile;
  std::string mPartial;
  uint32_t mWidth = 0;
  uint32_t mHeight = 0;
  std::vector<uint8_t> mRows;  // one frame as ffmpeg reads it
  std::unique_ptr<platform::PipedChild> mFfmpeg;
  bool mDone = false;
  // Last: its writer ends before what it writes with goes.
  std::unique_ptr<FramePool> mPool;
};

// ---------------------------------------------------------------------------
// Progress.

// "capture: frame n of N, F fps, M:SS left" on `out`: redrawn in place
// with '\r' on a terminal (at most five times a second), otherwise one line
// at each tenth of the way.
class CaptureProgress {
 public:
  CaptureProgress(uint64_t total, bool terminal, std::FILE* out)
      : mTotal(total), mTerminal(terminal), mOut(out) {}
  // `done` frames finished `seconds` after the start.
  void update(uint64_t done, double seconds);
  // Ends a redrawn line.
  void finish();

 private:
  void print(uint64_t done, double seconds, const char* end);

  uint64_t mTotal;
  bool mTerminal;
  std::FILE* mOut;
  double mLastDraw = -1.0;
  uint64_t mLastTenth = 0;
  bool mDrawn = false;
};

// Offline capture wired into the player: the capture clock drives the show,
// the renderer hands each finished frame over before the swap.
#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <filesystem>

#include "app/capture_session.h"
#include "app/managers.h"
#include "capture/capture.h"
#include "demo/demo_clock.h"
#include "demo/show_options.h"
#include "platform/platform.h"
#include "render/render.h"

namespace {

int report(const std::string& reason) {
  std::fprintf(stderr, "vesper: %s\n", reason.c_str());
  return 1;
}

}  // namespace

struct CaptureSession::State final : public PresentObserver {
  using Clock = std::chrono::steady_clock;

  explicit State(const CaptureOptions& o) : options(o) {}

  // Where the frames go: PNG files, ffmpeg's pipe, or nowhere (a dry run).
  FramePool* sink() { return pool ? pool.get() : stream ? &stream->frames() : nullptr; }

  void beforePresent() override {
    uint64_t index = 0;
    if (clock->takeFrame(index)) {
      // Timed from the first frame: loading is not capture work.
      if (handedOver == 0) started = Clock::now();
      FramePool* out = sink();
      if (out && out->failed()) {
        // Nothing more can be written: end the show, finish says why.
        if (!quitPosted) platform::postQuit(1);
        quitPosted = true;
      } else if (out) {
        uint8_t* buffer = out->acquire();
        rendererManager::instance().readBackBuffer(buffer, out->width(), out->height());
        out->submit(buffer, index);
        ++handedOver;
      } else {
        rendererManager::instance().readBackBuffer(dryBuffer.data(), width, height);
        ++handedOver;
      }
      if (handedOver == frames && !sinkDone) {
        // The last frame: the capture is done once the writers (and ffmpeg)
        // are.
        finishSink();
        doneSeconds = seconds();
      }
      progress->update(handedOver, seconds());
    }
    clock->framePresented();
  }

  void finishSink() {
    if (sinkDone) return;
    sinkDone = true;
    if (pool) sinkOk = pool->finish(sinkReason);
    if (stream) sinkOk = stream->finish(sinkReason);
  }

  double seconds() const { return std::chrono::duration<double>(Clock::now() - started).count(); }

  void detach() { rendererManager::instance().setPresentObserver(nullptr); }

  // Ends a stream that did not finish (ffmpeg killed, its partial file
  // removed) and removes the music it read.
  void dropStream() {
    stream.reset();
    if (!streamMusic.empty()) std::remove(streamMusic.c_str());
    streamMusic.clear();
  }

  CaptureOptions options;
  std::string track;
  uint64_t frames = 0;
  uint64_t handedOver = 0;
  double doneSeconds = 0.0;
  uint32_t width = 0;
  uint32_t height = 0;
  std::unique_ptr<CaptureClock> clock;
  std::unique_ptr<PngFramePool> pool;
  std::unique_ptr<VideoStream> stream;
  std::string streamMusic;  // the range's music while ffmpeg reads it
  bool sinkDone = false;
  bool sinkOk = true;
  std::string sinkReason;
  bool quitPosted = false;
  std::vector<uint8_t> dryBuffer;  // a dry run's one read-back buffer
  std::unique_ptr<CaptureProgress> progress;
  Clock::time_point started;
};

CaptureSession::CaptureSession(const CaptureOptions& options)
    : mState(std::make_unique<State>(options)) {}

CaptureSession::~CaptureSession() {
  mState->detach();
  mState->dropStream();
}

bool CaptureSession::prepare(ShowOptions& show, std::string& reason) {
  State& s = *mState;
  const CaptureOptions& o = s.options;
  if (!o.video.empty() && platform::findProgram("ffmpeg").empty()) {
    reason = kNoFfmpeg;
    return false;
  }
  s.track = show.musicPath;
  MusicInfo music;
  if (!probeMusic(s.track, music, reason)) return false;
  // A range past the music ends with it.
  const uint32_t endMs = std::min(o.toMs.value_or(music.lengthMs), music.lengthMs);
  const uint64_t total = captureFrameCount(o.fromMs, endMs, o.rate);
  if (total == 0) {
    reason = "nothing to capture: --from lies at or after the music's end (" +
             std::to_string(music.lengthMs) + " ms)";
    return false;
  }
  if (o.firstFrame >= total) {
    reason = "nothing to capture: --first-frame " + std::to_string(o.firstFrame) +
             " lies past the range's last frame (" + std::to_string(total - 1) + ")";
    return false;
  }
  s.frames = std::min(total - o.firstFrame, o.frames.value_or(total));
  if (o.countOnly) return true;
  std::error_code error;
  if (!o.dryRun && !o.dir.empty()) std::filesystem::create_directories(o.dir, error);
  if (error) {
    reason = "cannot create the capture directory " + o.dir + ": " + error.message();
    return false;
  }
  const std::filesystem::path videoDir = std::filesystem::path(o.video).parent_path();
  if (!videoDir.empty()) std::filesystem::create_directories(videoDir, error);
  if (error) {
    reason = "cannot create the video's directory " + videoDir.string() + ": " + error.message();
    return false;
  }
  s.clock = std::make_unique<CaptureClock>(o.rate, o.firstFrame, s.frames);
  show.clock = s.clock.get();
  show.playMusic = false;
  show.startMs = o.fromMs;
  return true;
}

uint64_t CaptureSession::frames() const { return mState->frames; }

bool CaptureSession::begin(std::string& reason) {
  State& s = *mState;
  const CaptureOptions& o = s.options;
  const CWindowGL* window = systemManager::instance().window();
  s.width = window->clientWidth();
  s.height = window->clientHeight();
  if (o.dryRun) {
    s.dryBuffer.resize(static_cast<size_t>(s.width) * s.height * 4);
  } else if (o.dir.empty()) {
    // Straight into ffmpeg: it reads the music first, so that goes to disk
    // now, beside the video.
    s.streamMusic = partialVideoPath(o.video) + ".wav";
    uint64_t samples = 0;
    if (!writeMusicRange(s.track, o.fromMs, o.firstFrame, s.frames, o.rate, s.streamMusic,
                         samples, reason)) {
      s.streamMusic.clear();
      return false;
    }
    s.stream = VideoStream::start(o.video, o.rate, s.width, s.height, s.streamMusic, reason);
    if (!s.stream) {
      s.dropStream();
      return false;
    }
  } else {
    const unsigned workers = PngFramePool::defaultWorkers();
    s.pool = std::make_unique<PngFramePool>(o.dir, s.width, s.height, workers,
                                            PngFramePool::defaultBuffers(workers));
  }
  s.progress = std::make_unique<CaptureProgress>(s.frames, platform::stderrIsTerminal(), stderr);
  rendererManager::instance().setPresentObserver(&s);
  return true;
}

int CaptureSession::finish() {
  State& s = *mState;
  s.detach();
  if (s.progress) s.progress->finish();
  const bool complete = s.handedOver == s.frames;
  FramePool* out = s.sink();
  // An unfinished stream is dropped, not finished: that would make a video
  // of part of the range.
  if (complete || s.pool || (out && out->failed())) s.finishSink();
  std::string reason = s.sinkReason;
  bool ok = s.sinkOk;
  if (ok && !complete) {
    reason = "capture stopped after " + std::to_string(s.handedOver) + " of " +
             std::to_string(s.frames) + " frames";
    ok = false;
  }
  if (ok) {
    // From the first frame to the last one written: the speed a farm or a
    // benchmark compares.
    std::string waits = " (dry run: nothing written)";
    if (s.pool) {
      waits = ", " + std::to_string(s.pool->waits()) + " waiting on the PNG writers";
    } else if (s.stream) {
      waits = ", " + std::to_string(s.stream->frames().waits()) + " waiting on ffmpeg";
    }
    std::fprintf(stderr, "capture: %" PRIu64 " frames in %.2f s, %.2f fps%s\n", s.handedOver,
                 s.doneSeconds, static_cast<double>(s.handedOver) / s.doneSeconds,
                 waits.c_str());
  }
  s.dropStream();
  if (s.options.dryRun || s.options.dir.empty()) return ok ? 0 : report(reason);
  uint64_t samples = 0;
  ok = ok && writeMusicRange(s.track, s.options.fromMs, s.options.firstFrame, s.frames,
                             s.options.rate, s.options.dir + "/music.wav", samples, reason);
  ok = ok && (s.options.video.empty() ||
              muxVideo(s.options.dir, s.options.rate, s.options.firstFrame, s.options.video,
                       reason));
  return ok ? 0 : report(reason);
}

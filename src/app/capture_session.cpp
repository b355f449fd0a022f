// Offline capture wired into the player: the capture clock drives the show,
// the renderer hands each finished frame over before the swap.
#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <filesystem>

#include "app/app.h"
#include "demo/demo.h"
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

  void beforePresent() override {
    uint64_t index = 0;
    if (clock->takeFrame(index)) {
      // Timed from the first frame: loading is not capture work.
      if (handedOver == 0) started = Clock::now();
      if (pool) {
        uint8_t* buffer = pool->acquire();
        rendererManager::instance().readBackBuffer(buffer, pool->width(), pool->height());
        pool->submit(buffer, index);
      } else {
        rendererManager::instance().readBackBuffer(dryBuffer.data(), width, height);
      }
      ++handedOver;
      if (handedOver == frames) {
        // The last frame: the capture is done once the writers are.
        std::string failure;  // finish reports it again
        if (pool) pool->finish(failure);
        doneSeconds = seconds();
      }
      progress->update(handedOver, seconds());
    }
    clock->framePresented();
  }

  double seconds() const { return std::chrono::duration<double>(Clock::now() - started).count(); }

  void detach() {
    rendererManager::instance().setPresentObserver(nullptr);
    demoManager& demo = demoManager::instance();
    demo.setClock(nullptr);
    demo.playMusic = true;
    demo.startMs = 0;
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
  std::vector<uint8_t> dryBuffer;  // a dry run's one read-back buffer
  std::unique_ptr<CaptureProgress> progress;
  Clock::time_point started;
};

CaptureSession::CaptureSession(const CaptureOptions& options)
    : mState(std::make_unique<State>(options)) {}

CaptureSession::~CaptureSession() { mState->detach(); }

bool CaptureSession::prepare(std::string& reason) {
  State& s = *mState;
  const CaptureOptions& o = s.options;
  if (!o.video.empty() && platform::findProgram("ffmpeg").empty()) {
    reason = kNoFfmpeg;
    return false;
  }
  demoManager& demo = demoManager::instance();
  s.track = demo.musicPath;
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
  if (!o.dryRun) std::filesystem::create_directories(o.dir, error);
  if (error) {
    reason = "cannot create the capture directory " + o.dir + ": " + error.message();
    return false;
  }
  s.clock = std::make_unique<CaptureClock>(o.rate, o.firstFrame, s.frames);
  demo.setClock(s.clock.get());
  demo.playMusic = false;
  demo.startMs = o.fromMs;
  return true;
}

uint64_t CaptureSession::frames() const { return mState->frames; }

void CaptureSession::begin() {
  State& s = *mState;
  const CWindowGL* window = systemManager::instance().window();
  s.width = window->clientWidth();
  s.height = window->clientHeight();
  if (s.options.dryRun) {
    s.dryBuffer.resize(static_cast<size_t>(s.width) * s.height * 4);
  } else {
    const unsigned workers = PngFramePool::defaultWorkers();
    s.pool = std::make_unique<PngFramePool>(s.options.dir, s.width, s.height, workers,
                                            PngFramePool::defaultBuffers(workers));
  }
  s.progress = std::make_unique<CaptureProgress>(s.frames, platform::stderrIsTerminal(), stderr);
  rendererManager::instance().setPresentObserver(&s);
}

int CaptureSession::finish() {
  State& s = *mState;
  s.detach();
  if (s.progress) s.progress->finish();
  std::string reason;
  bool ok = s.pool ? s.pool->finish(reason) : true;
  if (ok && s.handedOver != s.frames) {
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
    }
    std::fprintf(stderr, "capture: %" PRIu64 " frames in %.2f s, %.2f fps%s\n", s.handedOver,
                 s.doneSeconds, static_cast<double>(s.handedOver) / s.doneSeconds,
                 waits.c_str());
  }
  if (s.options.dryRun) return ok ? 0 : report(reason);
  uint64_t samples = 0;
  ok = ok && writeMusicRange(s.track, s.options.fromMs, s.options.firstFrame, s.frames,
                             s.options.rate, s.options.dir + "/music.wav", samples, reason);
  ok = ok && (s.options.video.empty() ||
              muxVideo(s.options.dir, s.options.rate, s.options.firstFrame, s.options.video,
                       reason));
  return ok ? 0 : report(reason);
}

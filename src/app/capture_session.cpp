// Offline capture wired into the player: the capture clock drives the show,
// the renderer hands each finished frame over before the swap.
#include <chrono>
#include <filesystem>

#include "app/app.h"
#include "demo/demo.h"
#include "platform/platform.h"
#include "render/render.h"

struct CaptureSession::State final : public PresentObserver {
  using Clock = std::chrono::steady_clock;

  explicit State(const CaptureOptions& o) : options(o) {}

  void beforePresent() override {
    uint64_t index = 0;
    if (clock->takeFrame(index)) {
      uint8_t* buffer = pool->acquire();
      rendererManager::instance().readBackBuffer(buffer, pool->width(), pool->height());
      pool->submit(buffer, index);
      ++handedOver;
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
  std::unique_ptr<CaptureClock> clock;
  std::unique_ptr<PngFramePool> pool;
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
  s.frames = captureFrameCount(o.fromMs, o.toMs.value_or(music.lengthMs), o.rate);
  if (s.frames == 0) {
    reason = "nothing to capture: --from lies at or after the music's end (" +
             std::to_string(music.lengthMs) + " ms)";
    return false;
  }
  std::error_code error;
  std::filesystem::create_directories(o.dir, error);
  if (error) {
    reason = "cannot create the capture directory " + o.dir + ": " + error.message();
    return false;
  }
  s.clock = std::make_unique<CaptureClock>(o.rate, s.frames);
  demo.setClock(s.clock.get());
  demo.playMusic = false;
  demo.startMs = o.fromMs;
  return true;
}

void CaptureSession::begin() {
  State& s = *mState;
  const CWindowGL* window = systemManager::instance().window();
  const unsigned workers = PngFramePool::defaultWorkers();
  s.pool = std::make_unique<PngFramePool>(s.options.dir, window->clientWidth(),
                                          window->clientHeight(), workers,
                                          PngFramePool::defaultBuffers(workers));
  s.progress = std::make_unique<CaptureProgress>(s.frames, platform::stderrIsTerminal(), stderr);
  s.started = State::Clock::now();
  rendererManager::instance().setPresentObserver(&s);
}

int CaptureSession::finish() {
  State& s = *mState;
  s.detach();
  if (s.progress) s.progress->finish();
  std::string reason;
  bool ok = !s.pool || s.pool->finish(reason);
  if (ok && s.handedOver != s.frames) {
    reason = "capture stopped after " + std::to_string(s.handedOver) + " of " +
             std::to_string(s.frames) + " frames";
    ok = false;
  }
  uint64_t samples = 0;
  ok = ok && writeMusicRange(s.track, s.options.fromMs, s.frames, s.options.rate,
                             s.options.dir + "/music.wav", samples, reason);
  ok = ok && (s.options.video.empty() ||
              muxVideo(s.options.dir, s.options.rate, s.options.video, reason));
  if (ok) return 0;
  std::fprintf(stderr, "vesper: %s\n", reason.c_str());
  return 1;
}

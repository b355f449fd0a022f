// A/V clock check: plays a track through the SDL audio device (the dummy
// driver unless SDL_AUDIODRIVER says otherwise), reads the show clock at a
// 60 Hz frame rate as the demo manager does, and compares it with the
// music really played:
//   - by default, the frames the audio callback took (/ 44.1), which is all
//     the dummy driver can tell;
//   - with --monitor SOURCE (a PulseAudio null sink's monitor; the driver
//     must be pulseaudio), the audio the server has played: the bench
//     records the monitor, finds the track's first sound in it, and takes
//     the frames captured so far (those read plus the record latency the
//     server reports) as the position the listener hears.
// Drift = clock - played, in ms; before the track is heard "played" is 0.
// Prints the drift every second, then mean, max |drift| (also over the
// first second) and the end drift. With --max-drift MS the exit status is
// 1 when max |drift| exceeds it, or when the show did not end normally.
//
// usage: av_clock_bench [--monitor SOURCE] [--max-drift MS] [TRACK] [SECONDS]
//   TRACK    default: $VESPER_BUILD_DIR/production/music.ogg, else
//            production/music.ogg below the working directory
//   SECONDS  how long to play (default 10; 0 = the whole track)
// scripts/av_sync_check.sh runs it against a private PulseAudio daemon.
#include <SDL.h>
#include <pulse/error.h>
#include <pulse/simple.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "sound/sound.h"

namespace {

uint64_t nowUs() {
  const platform::SoundOutput* device = soundOutput();
  return device ? device->nowUs() : 0;
}

// Records a monitor source and keeps, for the latest read, how many frames
// the server had captured and when.
class MonitorRecorder {
 public:
  bool open(const std::string& source) {
    const pa_sample_spec spec{PA_SAMPLE_S16LE, 44100, 2};
    pa_buffer_attr attr;
    attr.maxlength = static_cast<uint32_t>(-1);
    attr.fragsize = 64 * 4;  // reads about every 1.5 ms
    attr.tlength = attr.prebuf = attr.minreq = static_cast<uint32_t>(-1);
    int error = 0;
    mStream = pa_simple_new(nullptr, "av_clock_bench", PA_STREAM_RECORD, source.c_str(), "monitor",
                            &spec, nullptr, &attr, &error);
    if (!mStream) std::fprintf(stderr, "monitor %s: %s\n", source.c_str(), pa_strerror(error));
    return mStream != nullptr;
  }
  void start() { mThread = std::thread(&MonitorRecorder::run, this); }
  void stop() {
    mQuit = true;
    if (mThread.joinable()) mThread.join();
    if (mStream) pa_simple_free(mStream);
    mStream = nullptr;
  }
  // Frames of the track heard at `us`, or a negative value before its first
  // sound; false when the onset is not yet seen or recording failed.
  bool heardMs(uint64_t us, double& ms) const {
    const int64_t onset = mOnset.load();
    if (onset < 0 || mFailed.load()) return false;
    uint64_t stamp = 0, captured = 0;
    {
      // The two values move together: a sequence count makes the pair whole.
      uint64_t seq = 0;
      do {
        seq = mSeq.load();
        stamp = mStampUs.load();
        captured = mCaptured.load();
      } while (seq % 2 || seq != mSeq.load());
    }
    const double sinceMs = us > stamp ? static_cast<double>(us - stamp) / 1000.0 : 0.0;
    ms = (static_cast<double>(captured) - static_cast<double>(onset)) / 44.1 + sinceMs;
    return true;
  }
  bool failed() const { return mFailed.load(); }
  int64_t onsetFrame() const { return mOnset.load(); }

 private:
  void run() {
    std::vector<int16_t> chunk(64 * 2);
    uint64_t read = 0;
    while (!mQuit) {
      int error = 0;
      if (pa_simple_read(mStream, chunk.data(), chunk.size() * 2, &error) < 0) {
        mFailed = true;
        return;
      }
      const uint64_t at = nowUs();
      if (mOnset.load() < 0) {
        for (size_t i = 0; i < chunk.size(); ++i) {
          if (chunk[i] != 0) {
            mOnset = static_cast<int64_t>(read + i / 2);
            break;
          }
        }
      }
      read += chunk.size() / 2;
      const pa_usec_t latency = pa_simple_get_latency(mStream, &error);
      ++mSeq;
      mStampUs = at;
      mCaptured = read + latency * 44100 / 1000000;
      ++mSeq;
    }
  }

  pa_simple* mStream = nullptr;
  std::thread mThread;
  std::atomic<bool> mQuit{false};
  std::atomic<bool> mFailed{false};
  std::atomic<int64_t> mOnset{-1};
  std::atomic<uint64_t> mSeq{0};
  std::atomic<uint64_t> mStampUs{0};
  std::atomic<uint64_t> mCaptured{0};
};

// The first frame of `track` that is not silent (its output must be
// 44.1 kHz stereo 16-bit, as the monitor records it), or 0.
int64_t firstSoundFrame(const std::string& track) {
  std::unique_ptr<CSoundLoader> decoder = chooseDecoder(track.c_str());
  WaveFormat format{};
  if (!decoder || decoder->open(track.c_str()) != soundResult::ok) return 0;
  decoder->getFormat(&format);
  if (format.samplesPerSec != 44100 || format.channels != 2 || format.bitsPerSample != 16) return 0;
  int64_t frame = 0;
  for (int second = 0; second < 60; ++second) {
    void* data = nullptr;
    const int32_t result = decoder->readLocked(&data, -1, 176400, false);
    const auto* pcm = static_cast<const int16_t*>(data);
    for (int i = 0; pcm && i < 88200; ++i) {
      if (pcm[i] != 0) {
        std::free(data);
        return frame + i / 2;
      }
    }
    std::free(data);
    frame += 44100;
    if (result != soundResult::ok) break;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  std::string monitor;
  double maxAllowed = -1;
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--monitor" && i + 1 < argc) {
      monitor = argv[++i];
    } else if (a == "--max-drift" && i + 1 < argc) {
      maxAllowed = std::atof(argv[++i]);
    } else {
      args.push_back(a);
    }
  }
  std::string track = "production/music.ogg";
  if (const char* build = std::getenv("VESPER_BUILD_DIR")) track = std::string(build) + "/" + track;
  if (!args.empty() && !args[0].empty()) track = args[0];
  const double seconds = args.size() > 1 ? std::atof(args[1].c_str()) : 10.0;

  cDemoSound sound;
  sound.trackName = track;
  if (!sound.openMusic(nullptr)) return reportSoundStartupFailure(sound);
  SoundPlayer& player = *sound.getPlayer();
  std::printf("track %s: %s, %u bytes, driver %s, assumed output latency %.1f ms\n", track.c_str(),
              player.streaming() ? "streamed" : "static", player.decoder()->getTotalBytes(),
              std::getenv("SDL_AUDIODRIVER"),
              static_cast<double>(soundOutput()->outputLatencyUs()) / 1000.0);
  MonitorRecorder recorder;
  const double leadMs = monitor.empty() ? 0.0 : static_cast<double>(firstSoundFrame(track)) / 44.1;
  if (!monitor.empty()) {
    if (!recorder.open(monitor)) return 2;
    recorder.start();
  }
  const auto buffer = player.buffer();

  const uint64_t t0 = nowUs();
  player.playFromStart();
  sound.startClock(0, platform::ticksMs());

  double maxDrift = 0, maxFirstSecond = 0, sumDrift = 0, drift = 0, playedMs = 0;
  long samples = 0;
  uint32_t nextReport = 1000;
  uint32_t clock = 0;
  bool monitorLost = false;
  // Sampled at a 60 Hz frame rate, as the demo manager reads the clock.
  while (!sound.musicOver() && (seconds <= 0 || clock < seconds * 1000)) {
    std::this_thread::sleep_for(std::chrono::microseconds(16667));
    clock = sound.getPositionMs();
    const uint64_t at = nowUs();
    if (!monitor.empty()) {
      if (recorder.failed()) {
        if (!monitorLost) std::printf("monitor lost at clock %u ms\n", clock);
        monitorLost = true;
        continue;
      }
      // Before the track's first sound is seen, what is heard is at most
      // its silent lead-in; the clock is held to 0 till the device takes it.
      playedMs = recorder.heardMs(at, playedMs) ? std::max(playedMs + leadMs, 0.0) : 0.0;
    } else {
      playedMs = static_cast<double>(buffer->framesPlayed()) / 44.1;
    }
    drift = clock - playedMs;
    maxDrift = std::max(maxDrift, std::fabs(drift));
    if (at - t0 < 1000000 || playedMs < 1000) maxFirstSecond = std::max(maxFirstSecond, std::fabs(drift));
    sumDrift += drift;
    ++samples;
    if (clock >= nextReport) {
      std::printf("t=%6u ms  played=%9.1f ms  drift=%+6.1f ms\n", clock, playedMs, drift);
      nextReport += 1000;
    }
  }
  const bool ended = sound.musicOver();
  std::printf("end: clock=%u ms played=%.1f ms drift=%+.1f ms (%s) after %.2f s wall\n", clock,
              playedMs, drift, ended ? "track ended" : "still playing",
              static_cast<double>(nowUs() - t0) / 1e6);
  std::printf("drift over %ld samples: mean %+.2f ms, max |drift| %.2f ms (first second %.2f ms), "
              "end %+.2f ms\n",
              samples, samples ? sumDrift / samples : 0.0, maxDrift, maxFirstSecond, drift);
  if (!monitor.empty()) {
    std::printf("monitor: track heard from recorded frame %lld%s\n",
                static_cast<long long>(recorder.onsetFrame()), monitorLost ? "; server lost" : "");
    recorder.stop();
  }
  if (maxAllowed >= 0 && maxDrift > maxAllowed) {
    std::printf("FAIL: max |drift| %.2f ms exceeds %.2f ms\n", maxDrift, maxAllowed);
    return 1;
  }
  return 0;
}

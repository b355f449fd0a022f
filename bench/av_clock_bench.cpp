// A/V clock check: plays a track through the SDL audio device (the dummy
// driver unless SDL_AUDIODRIVER says otherwise), reads the show clock at a
// 60 Hz frame rate as the demo manager does, and compares it with the
// music really played:
//   - by default, the frames the audio callback took (/ 44.1), which is all
//     the dummy driver can tell;
//   - with --monitor SOURCE (a PulseAudio null sink's monitor; the driver
//     must be pulseaudio), the audio the server has played: the bench
//     records the monitor in fragments of 1.5 ms and finds each in the
//     track; the null sink renders at the sound clock's pace, so a fragment
//     read at t says its end was rendered by t, and the earliest reads of
//     the last half second (later ones only waited for the CPU) place the
//     position the listener hears, until the server inserts silence.
// Drift = clock - played, in ms; before the track is heard "played" is 0.
// Prints the drift every second, then mean, max |drift| (also over the
// first second) and the end drift. With --max-drift MS the exit status is
// 1 when max |drift| exceeds it, or when the show did not end normally;
// with --max-mean-drift MS, when |mean drift| exceeds it (a bound a loaded
// machine's underruns do not break, as their spikes are brief).
//
// usage: av_clock_bench [--monitor SOURCE] [--max-drift MS] [--max-mean-drift MS] [--trace MS] [TRACK] [SECONDS]
//   --trace MS  prints every sample of the first MS ms of wall time
//   --max-mean-drift MS  fails when |mean drift| exceeds MS
//   TRACK    default: $VESPER_BUILD_DIR/production/music.ogg, else
//            production/music.ogg below the working directory
//   SECONDS  how long to play (default 10; 0 = the whole track)
// scripts/av_sync_check.sh runs it against a private PulseAudio daemon.
#include <SDL.h>
#include <pulse/error.h>
#include <pulse/simple.h>

#include <atomic>
#include <chrono>
#include <climits>
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

// The whole track as 44.1 kHz stereo 16-bit frames (empty when it is in
// another format: the monitor then cannot be matched against it).
std::vector<int16_t> decodeTrack(const std::string& track) {
  std::unique_ptr<CSoundLoader> decoder = chooseDecoder(track.c_str());
  WaveFormat format{};
  if (!decoder || decoder->open(track.c_str()) != soundResult::ok) return {};
  decoder->getFormat(&format);
  if (format.samplesPerSec != 44100 || format.channels != 2 || format.bitsPerSample != 16) return {};
  void* data = nullptr;
  if (decoder->readLocked(&data, 0, 0, false) != soundResult::ok) {
    std::free(data);
    return {};
  }
  const auto* pcm = static_cast<const int16_t*>(data);
  std::vector<int16_t> out(pcm, pcm + decoder->getTotalBytes() / 2);
  std::free(data);
  return out;
}

// Records a monitor source and finds each recorded chunk in the track (the
// server copies a lone stream at full volume bit for bit), so silence the
// server inserts on an underrun is not taken for music. Keeps, for the
// latest read, the track frame being heard and when.
class MonitorRecorder {
 public:
  static constexpr size_t kChunk = 64;  // frames per read: about 1.5 ms

  explicit MonitorRecorder(std::vector<int16_t> track) : mTrack(std::move(track)) {}
  bool open(const std::string& source) {
    const pa_sample_spec spec{PA_SAMPLE_S16LE, 44100, 2};
    pa_buffer_attr attr;
    attr.maxlength = static_cast<uint32_t>(-1);
    attr.fragsize = kChunk * 4;
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
  // Milliseconds of the track heard at `us`; false before its first sound.
  bool heardMs(uint64_t us, double& ms) const {
    uint64_t seq = 0;
    int64_t heard = 0, offset = 0;
    bool advancing = false;
    // The values move together: a sequence count makes them whole.
    do {
      seq = mSeq.load();
      heard = mHeard.load();
      offset = mOffsetUs.load();
      advancing = mAdvancing.load();
    } while (seq % 2 || seq != mSeq.load());
    if (heard < 0 || mFailed.load()) return false;
    ms = advancing ? (static_cast<double>(us) + static_cast<double>(offset)) / 1000.0
                   : static_cast<double>(heard) / 44.1;
    return true;
  }
  bool failed() const { return mFailed.load(); }
  uint64_t unmatched() const { return mUnmatched.load(); }
  uint64_t gaps() const { return mGaps.load(); }

 private:
  bool matches(const int16_t* chunk, int64_t at) const {
    if (at < 0 || static_cast<size_t>(at + kChunk) * 2 > mTrack.size()) return false;
    return std::memcmp(chunk, mTrack.data() + at * 2, kChunk * 4) == 0;
  }
  // The track frame `chunk` starts at, searched in the first seconds when
  // near < 0, else nearest to `near` first (a second back to five ahead): a
  // synthesised track repeats itself bit for bit; -1 when it is not there.
  int64_t find(const int16_t* chunk, int64_t near) const {
    if (near < 0) {
      for (int64_t at = 0; at < 5 * 44100; ++at) {
        if (matches(chunk, at)) return at;
      }
      return -1;
    }
    for (int64_t d = 0; d <= 5 * 44100; ++d) {
      if (matches(chunk, near + d)) return near + d;
      if (d > 0 && d <= 44100 && matches(chunk, near - d)) return near - d;
    }
    return -1;
  }
  static bool silent(const int16_t* chunk) {
    for (size_t i = 0; i < kChunk * 2; ++i) {
      if (chunk[i] != 0) return false;
    }
    return true;
  }

  void run() {
    std::vector<int16_t> chunk(kChunk * 2);
    int64_t next = -1;  // the track frame the next recorded frame should be
    // The earliest reads: the largest (rendered - read time) of this quarter
    // second and of the one before, since the last silence or jump.
    constexpr int64_t kNone = INT64_MIN;
    int64_t current = kNone, previous = kNone;
    uint64_t quarterFrom = 0;
    while (!mQuit) {
      int error = 0;
      if (pa_simple_read(mStream, chunk.data(), chunk.size() * 2, &error) < 0) {
        mFailed = true;
        return;
      }
      const uint64_t at = nowUs();
      bool advancing = true;
      const int64_t expected = next;
      if (silent(chunk.data())) {
        // Silence: the track's own (it goes on) or the server's (it waits).
        if (next < 0 || !matches(chunk.data(), next)) {
          if (next >= 0) ++mGaps;
          advancing = false;
        } else {
          next += kChunk;
        }
      } else if (next >= 0 && matches(chunk.data(), next)) {
        next += kChunk;
      } else {
        const int64_t found = find(chunk.data(), next);
        if (found < 0) {
          ++mUnmatched;
          if (next >= 0) next += kChunk;
        } else {
          next = found + kChunk;
        }
      }
      if (next < 0) continue;
      // The frame after the fragment was rendered by now. (The record
      // latency the server reports is stale for a while after the playback
      // stream joins the sink.)
      if (!advancing || (expected >= 0 && next != expected + static_cast<int64_t>(kChunk))) {
        current = previous = kNone;
      }
      if (at - quarterFrom > 250000) {
        previous = current;
        current = kNone;
        quarterFrom = at;
      }
      current = std::max(current, next * 1000000 / 44100 - static_cast<int64_t>(at));
      ++mSeq;
      mHeard = next;
      mOffsetUs = std::max(current, previous);
      mAdvancing = advancing;
      ++mSeq;
    }
  }

  std::vector<int16_t> mTrack;
  pa_simple* mStream = nullptr;
  std::thread mThread;
  std::atomic<bool> mQuit{false};
  std::atomic<bool> mFailed{false};
  std::atomic<bool> mAdvancing{false};
  std::atomic<uint64_t> mSeq{0};
  std::atomic<int64_t> mOffsetUs{0};  // heard (us) = sound clock (us) + offset, while advancing
  std::atomic<int64_t> mHeard{-1};
  std::atomic<uint64_t> mUnmatched{0};
  std::atomic<uint64_t> mGaps{0};
};

}  // namespace

int main(int argc, char** argv) {
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  std::string monitor;
  double maxAllowed = -1;
  double maxMeanAllowed = -1;
  double traceMs = 0;
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--monitor" && i + 1 < argc) {
      monitor = argv[++i];
    } else if (a == "--trace" && i + 1 < argc) {
      traceMs = std::atof(argv[++i]);
    } else if (a == "--max-drift" && i + 1 < argc) {
      maxAllowed = std::atof(argv[++i]);
    } else if (a == "--max-mean-drift" && i + 1 < argc) {
      maxMeanAllowed = std::atof(argv[++i]);
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
  MonitorRecorder recorder(monitor.empty() ? std::vector<int16_t>{} : decodeTrack(track));
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
      if (!recorder.heardMs(at, playedMs)) playedMs = 0;
    } else {
      playedMs = static_cast<double>(buffer->framesPlayed()) / 44.1;
    }
    drift = clock - playedMs;
    maxDrift = std::max(maxDrift, std::fabs(drift));
    if (at - t0 < 1000000 || playedMs < 1000) maxFirstSecond = std::max(maxFirstSecond, std::fabs(drift));
    sumDrift += drift;
    ++samples;
    if (static_cast<double>(at - t0) < traceMs * 1000) {
      std::printf("  wall=%7.1f ms  clock=%5u ms  played=%7.1f ms  drift=%+6.1f ms\n",
                  static_cast<double>(at - t0) / 1000.0, clock, playedMs, drift);
    }
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
    std::printf("monitor: %llu chunks not found in the track, %llu silent gaps%s\n",
                static_cast<unsigned long long>(recorder.unmatched()),
                static_cast<unsigned long long>(recorder.gaps()), monitorLost ? "; server lost" : "");
    recorder.stop();
  }
  if (maxAllowed >= 0 && maxDrift > maxAllowed) {
    std::printf("FAIL: max |drift| %.2f ms exceeds %.2f ms\n", maxDrift, maxAllowed);
    return 1;
  }
  const double meanDrift = samples ? sumDrift / samples : 0.0;
  if (maxMeanAllowed >= 0 && std::fabs(meanDrift) > maxMeanAllowed) {
    std::printf("FAIL: |mean drift| %.2f ms exceeds %.2f ms\n", std::fabs(meanDrift), maxMeanAllowed);
    return 1;
  }
  return 0;
}

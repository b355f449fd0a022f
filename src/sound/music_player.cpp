// The music player: one track in one sound buffer, filled once (short
// tracks) or streamed by a worker thread through a ring of 12 segments of a
// quarter second. Also the demo's music clock, cDemoSound.
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/platform.h"
#include "sound/sound.h"

namespace {

// The process-wide device, shared by every player instance; released when
// the last instance shuts down. Used from the main thread only.
std::unique_ptr<platform::SoundOutput> gDevice;
int gInstances = 0;
// Stands in for the primary buffer: held from device start until a track
// is open, needed again by each openTrack.
bool gPrimaryHeld = false;
SoundOutputFactory gFactory = &platform::openSdlSoundOutput;

void trackMessage(const char* pattern, const std::string& track) {
  std::vector<char> text(std::strlen(pattern) + track.size() + 1);
  std::snprintf(text.data(), text.size(), pattern, track.c_str());
  platform::messageBox("", text.data());
}

constexpr char kNoDecoderText[] =
    "Sound::%sの読み取りインターフェイス取得に失敗.\n"
    "ファイルが存在するかもしくは対応形式か確認して下さい.";
constexpr char kReadFailedText[] = "Sound::%sの読み取りに失敗.";

}  // namespace

void setSoundOutputFactory(SoundOutputFactory factory) {
  gFactory = factory ? factory : &platform::openSdlSoundOutput;
}

platform::SoundOutput* soundOutput() { return gDevice.get(); }

SoundPlayer::SoundPlayer() { ++gInstances; }

SoundPlayer::~SoundPlayer() { shutdown(); }

int32_t SoundPlayer::startDevice(void* window) {
  if (gDevice) return soundResult::otherFailure;
  std::string error;
  gDevice = gFactory(error);
  if (!gDevice) {
    mDeviceError = error.empty() ? "unknown error" : error;
    return soundResult::noDevice;
  }
  gPrimaryHeld = true;
  return soundResult::ok;
}

int32_t SoundPlayer::openTrack() {
  const char* name = trackName.c_str();
  std::unique_ptr<CSoundLoader> decoder = chooseDecoder(name);
  if (!decoder) {
    trackMessage(kNoDecoderText, trackName);
    return soundResult::noDecoder;
  }
  if (decoder->open(name) != soundResult::ok) {
    trackMessage(kReadFailedText, trackName);
    return soundResult::cannotRead;
  }
  releaseTrack();
  mDecoder = std::move(decoder);
  if (!gPrimaryHeld) {
    if (!gDevice) return soundResult::openFailed;
    gPrimaryHeld = true;
  }
  const uint32_t total = mDecoder->getTotalBytes();
  mDecoder->getFormat(&mFormat);
  if (mFormat.formatTag != 1 && mFormat.formatTag != 0xFFFE) return soundResult::otherFailure;
  platform::PcmFormat pcm;
  pcm.rate = mFormat.samplesPerSec;
  pcm.channels = mFormat.channels;
  pcm.bits = mFormat.bitsPerSample;

  if (total < kStaticLimit) {
    mStreaming = false;
    void* data = nullptr;
    if (mDecoder->readLocked(&data, 0, 0, false) != soundResult::ok) {
      std::free(data);
      return soundResult::otherFailure;
    }
    mBuffer = gDevice->createBuffer(pcm, total);
    const bool written = mBuffer && writeBuffer(0, total, data);
    std::free(data);
    if (!written) return soundResult::otherFailure;
  } else {
    stopWorker();
    mEvent.reset();
    mWorker = std::thread(&SoundPlayer::workerMain, this);
    mEvent.wait();
    mStreaming = true;
    mBuffer.reset();
    const uint32_t align = mFormat.blockAlign;
    mSegmentSize = kRingSeconds * mFormat.avgBytesPerSec / kSegmentCount / align * align;
    if (mSegmentSize) mBuffer = gDevice->createBuffer(pcm, mSegmentSize * kSegmentCount);
    if (!mBuffer) return soundResult::otherFailure;
  }
  gPrimaryHeld = false;
  return soundResult::ok;
}

int32_t SoundPlayer::playFromStart() { return playFrom(0); }

int32_t SoundPlayer::playFrom(uint32_t ms) {
  if (!mBuffer) return soundResult::endReached;
  loop = false;
  if (mStreaming) {
    mMessages.post(soundMessage::start, ms);
    mEvent.wait();
    return soundResult::ok;
  }
  if (!alwaysRestart && mBuffer->isPlaying()) return soundResult::ok;
  const uint32_t start = startByteFor(ms, mFormat);
  if (start >= mBuffer->size()) return soundResult::ok;
  mBuffer->setCurrentPosition(start);
  mBuffer->play(false);
  return soundResult::ok;
}

void SoundPlayer::stop() {
  if (!mBuffer) return;
  if (mStreaming) {
    // The worker owns the ring while it streams: it stops the buffer and
    // forgets what it was filling.
    mMessages.post(soundMessage::stop);
    mEvent.wait();
    return;
  }
  mBuffer->stop();
}

void SoundPlayer::setVolume(int32_t hundredthsDb) {
  if (mBuffer) mBuffer->setVolume(hundredthsDb);
}

bool SoundPlayer::isPlaying() const { return mBuffer && mBuffer->isPlaying(); }

void SoundPlayer::stopWorker() {
  if (!mWorker.joinable()) return;
  mMessages.post(platform::kThreadQuit);
  mWorker.join();
}

void SoundPlayer::releaseTrack() {
  stopWorker();
  if (mBuffer) {
    mBuffer->stop();
    if (gDevice) gDevice->releaseBuffer(mBuffer);
    mBuffer.reset();
  }
  mDecoder.reset();
  mStreaming = false;
  mSegmentSize = 0;
}

void SoundPlayer::shutdown() {
  releaseTrack();
  if (!mCounted) return;
  mCounted = false;
  if (--gInstances == 0) {
    gPrimaryHeld = false;
    gDevice.reset();
  }
}

bool SoundPlayer::writeBuffer(uint32_t offset, uint32_t size, const void* data) {
  if (!data || !mBuffer) return false;
  return mBuffer->write(offset, data, size);
}

// Worker state lives on the worker's stack; the player's fields it reads
// (buffer, decoder, format, segment size, loop) do not change while it runs.
struct SoundPlayer::WorkerState {
  uint32_t write = 0;  // W: the ring offset of the next segment to fill
  bool active = false;
  bool ending = false;  // the track's last segment is in the ring
};

void SoundPlayer::workerStart(uint32_t message, uintptr_t ms, WorkerState& state) {
  mEvent.reset();
  mBuffer->stop();
  mBuffer->setCurrentPosition(0);
  const uint32_t startByte = startByteFor(static_cast<uint32_t>(ms), mFormat);
  state.ending = false;
  bool markEnd = false;
  uint32_t endMark = 0;
  // A rehearsal's start at or past the track's end leaves nothing to play:
  // the buffer stays stopped and the show ends as one that has run out,
  // rather than hearing the track from its beginning (after a failed seek)
  // under a clock that stands past it.
  bool nothingLeft = false;
  if (mDecoder->seekBytes(startByte, SEEK_SET) != soundResult::ok) {
    nothingLeft = ms != 0;
    if (!nothingLeft) {
      std::vector<uint8_t> silence(mSegmentSize, mFormat.bitsPerSample == 8 ? 0x80 : 0);
      writeBuffer(0, mSegmentSize, silence.data());
      state.write = mSegmentSize;
    }
  } else {
    void* data = nullptr;
    const uint32_t before = mDecoder->getPosition();
    const int32_t result = mDecoder->readLocked(&data, -1, static_cast<int32_t>(mSegmentSize), loop);
    state.write = 0;
    nothingLeft = ms != 0 && result == soundResult::atEnd;
    if (result != soundResult::cannotRead && !nothingLeft) {
      writeBuffer(0, mSegmentSize, data);
      state.write = mSegmentSize;
      if (result == soundResult::endReached || result == soundResult::atEnd) {
        markEnd = true;
        endMark = result == soundResult::atEnd ? 0 : mDecoder->getPosition() - before;
      }
    }
    std::free(data);
  }
  if (nothingLeft) {
    state = WorkerState{};
    mEvent.set();
    return;
  }
  if (message == soundMessage::start) {
    mBuffer->play(true);
    state.active = true;
    if (markEnd) {
      mBuffer->setEndMark(endMark);
      state.ending = true;
    }
  }
  mEvent.set();
}

void SoundPlayer::workerPoll(WorkerState& state) {
  const uint32_t ring = kSegmentCount * mSegmentSize;
  if (!state.ending) {
    const uint32_t middle = (mBuffer->currentPosition() + mSegmentSize / 2) % ring;
    const bool notWrapped =
        state.write == 0 && middle >= ring - mSegmentSize * (kSegmentCount / 2);
    if (middle >= state.write && !notWrapped) {
      void* data = nullptr;
      const uint32_t before = mDecoder->getPosition();
      const int32_t result =
          mDecoder->readLocked(&data, -1, static_cast<int32_t>(mSegmentSize), loop);
      if (result != soundResult::cannotRead) writeBuffer(state.write, mSegmentSize, data);
      if (result == soundResult::endReached || result == soundResult::atEnd) {
        // The last segment: let the buffer play the track's final bytes and
        // stop right after them.
        const uint32_t tail = result == soundResult::atEnd ? 0 : mDecoder->getPosition() - before;
        mBuffer->setEndMark(state.write + tail);
        state.ending = true;
      }
      state.write = (state.write + mSegmentSize) % ring;
      std::free(data);
    }
  }
  if (state.ending && !mBuffer->isPlaying()) {
    // The cursor stays and so does the run: the clock plays out the frames
    // the device took last. A start moves the cursor.
    state.write = 0;
    state.active = false;
    state.ending = false;
  }
}

void SoundPlayer::workerMain() {
  mEvent.reset();
  mEvent.set();  // the message queue exists: openTrack may go on
  WorkerState state;
  for (;;) {
    platform::ThreadMessage message;
    if (mMessages.peek(message)) {
      switch (message.id) {
        case soundMessage::prepare:
        case soundMessage::start:
          workerStart(message.id, message.wParam, state);
          break;
        case soundMessage::acknowledge:
          mEvent.reset();
          mEvent.set();
          break;
        case soundMessage::stop:
        case soundMessage::stopAlso:
          mEvent.reset();
          mBuffer->stop();
          mBuffer->setCurrentPosition(0);
          state = WorkerState{};
          mEvent.set();
          break;
        case platform::kThreadQuit:
          if (mBuffer) mBuffer->stop();
          return;
        default:
          break;
      }
    } else if (state.active) {
      workerPoll(state);
    }
    ++mPolls;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

// ---------------------------------------------------------------------------

cDemoSound::~cDemoSound() {
  if (player) player->shutdown();
  player.reset();
}

bool cDemoSound::openMusic(void* window) {
  // The old player must be gone before the new one starts the shared device.
  if (player) player->shutdown();
  player.reset();
  player = std::make_unique<SoundPlayer>();
  player->trackName = trackName;
  int32_t result = player->startDevice(window);
  if (result == soundResult::ok) result = player->openTrack();
  if (result == soundResult::ok) {
    mFailure = soundResult::ok;
    return true;
  }
  mFailure = result;
  mDeviceError = player->deviceError();
  player->shutdown();
  player.reset();
  return false;
}

uint32_t cDemoSound::getPositionMs() { return getPositionMs(platform::ticksMs()); }

void cDemoSound::startClock(uint32_t musicMs, uint32_t now) {
  elapsed = musicMs;
  lastTick = now;
  mRunStartMs = musicMs;
  mLastMs = musicMs;
  mTimeline.reset();
  mSeenRenders = 0;
}

void HeardTimeline::reset() {
  mCount = 0;
  mNext = 0;
  mSpanUs = 0;
  mSpanHeardUs = 0;
}

double HeardTimeline::pace() const {
  const Render& last = mRenders[(mNext + kRenders - 1) % kRenders];
  const double spanUs = mSpanUs + static_cast<double>(last.stampUs - mSpanStart.stampUs);
  const double heardUs = mSpanHeardUs + static_cast<double>(last.heardUs - mSpanStart.heardUs);
  // Over less than a second a late render would tilt the line more than the
  // device's pace differs from the sound clock's.
  return spanUs >= 1e6 ? heardUs / spanUs : 1.0;
}

double HeardTimeline::offsetUs(double pace) const {
  double offsets[kRenders];
  for (size_t i = 0; i < mCount; ++i) {
    offsets[i] = static_cast<double>(mRenders[i].heardUs) -
                 pace * static_cast<double>(mRenders[i].stampUs);
  }
  std::nth_element(offsets, offsets + mCount / 2, offsets + mCount);
  return offsets[mCount / 2];
}

void HeardTimeline::add(uint64_t stampUs, int64_t heardUs, uint64_t slackUs) {
  if (mCount > 0 && heardUs < heardAt(stampUs) - static_cast<int64_t>(slackUs)) {
    // The server ran dry: what was heard stood while it waited.
    const Render& last = mRenders[(mNext + kRenders - 1) % kRenders];
    mSpanUs += static_cast<double>(last.stampUs - mSpanStart.stampUs);
    mSpanHeardUs += static_cast<double>(last.heardUs - mSpanStart.heardUs);
    mCount = 0;
    mNext = 0;
  }
  if (mCount == 0) mSpanStart = {stampUs, heardUs};
  mRenders[mNext] = {stampUs, heardUs};
  mNext = (mNext + 1) % kRenders;
  mCount = std::min(mCount + 1, kRenders);
}

int64_t HeardTimeline::heardAt(uint64_t nowUs) const {
  const double pace = this->pace();
  return static_cast<int64_t>(pace * static_cast<double>(nowUs) + offsetUs(pace));
}

// The clock reads the timeline fitted to the device's renders (see
// HeardTimeline), in whole milliseconds, never past the frames the device
// has taken and never back. So it waits at start-up while the server fills
// its queue, restarts from the new position after a seek, runs on while the
// device's queue plays out when the renders stop (an underrun, or the end of
// the music) and stands at its end, and follows the device's own pace.
uint32_t cDemoSound::getPositionMs(uint32_t now) {
  lastTick = now;
  // Not yet sounding, or over: the clock stands.
  const platform::SoundOutput* device = soundOutput();
  if (!device || !sounding()) return elapsed;
  const platform::PlayPosition run = player->buffer()->playPosition();
  const int64_t takenUs = static_cast<int64_t>(run.frames * 1000000 / platform::kOutputRate);
  const uint64_t latencyUs = device->outputLatencyUs();
  if (run.renders < mSeenRenders) mTimeline.reset();
  if (run.renders != mSeenRenders) {
    mSeenRenders = run.renders;
    const uint64_t periodUs = uint64_t{device->periodFrames()} * 1000000 / platform::kOutputRate;
    mTimeline.add(run.stampUs, takenUs - static_cast<int64_t>(latencyUs),
                  latencyUs > periodUs ? latencyUs - periodUs : 0);
  }
  const int64_t heardUs = std::clamp<int64_t>(mTimeline.heardAt(device->nowUs()), 0, takenUs);
  const uint64_t ms = mRunStartMs + static_cast<uint64_t>(heardUs) / 1000;
  elapsed = std::max(mLastMs, static_cast<uint32_t>(std::min<uint64_t>(ms, UINT32_MAX)));
  mLastMs = elapsed;
  return elapsed;
}

bool cDemoSound::isPlaying() const {
  return player && player->isPlaying() && player->buffer()->playPosition().started();
}

bool cDemoSound::sounding() const {
  return player && player->buffer() && player->buffer()->playPosition().started() && !musicOver();
}

bool cDemoSound::musicOver() const {
  if (!player || !player->buffer()) return true;
  if (player->isPlaying()) return false;
  // Stopped: by its end, once the frames the device took last are heard.
  const platform::PlayPosition run = player->buffer()->playPosition();
  const platform::SoundOutput* device = soundOutput();
  return !device || !run.started() || device->nowUs() >= run.stampUs + device->outputLatencyUs();
}

std::string cDemoSound::failureMessage() const {
  switch (mFailure) {
    case soundResult::ok:
      return "";
    case soundResult::noDevice:
      return "vesper: no sound device (" + mDeviceError +
             "); set SDL_AUDIODRIVER=dummy to play without sound";
    case soundResult::noDecoder:
      return "vesper: " + trackName + " is missing or neither RIFF WAVE nor Ogg Vorbis";
    case soundResult::cannotRead:
      return "vesper: cannot read " + trackName;
    default:
      return "vesper: the music player could not start (code " + std::to_string(mFailure) + ")";
  }
}

int reportSoundStartupFailure(const cDemoSound& sound) {
  std::fprintf(stderr, "%s\n", sound.failureMessage().c_str());
  return kSoundStartupExitStatus;
}

// The SDL audio device behind SoundOutput: 44.1 kHz, stereo, signed 16-bit,
// fed by the audio callback from the mixed sound buffers.
#include <SDL.h>

#include "platform/sound_output.h"

namespace platform {
namespace {

class SdlSoundOutput final : public SoundOutput {
 public:
  ~SdlSoundOutput() override {
    // Closing the device waits for a running callback, so no buffer is
    // touched after this.
    if (mDevice) SDL_CloseAudioDevice(mDevice);
    if (mInitialised) SDL_QuitSubSystem(SDL_INIT_AUDIO);
  }

  bool open(std::string& error) {
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
      error = SDL_GetError();
      return false;
    }
    mInitialised = true;
    SDL_AudioSpec want;
    SDL_zero(want);
    want.freq = static_cast<int>(kOutputRate);
    want.format = AUDIO_S16SYS;
    want.channels = static_cast<Uint8>(kOutputChannels);
    want.samples = 1024;
    want.callback = &SdlSoundOutput::callback;
    want.userdata = this;
    SDL_AudioSpec have;
    // No changes allowed: SDL converts if the hardware wants another format.
    mDevice = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (mDevice == 0) {
      error = SDL_GetError();
      return false;
    }
    // SDL reports no latency; it has the obtained buffer. A callback fills
    // one buffer while the one before is still queued: the frames it takes
    // are heard between one and two buffers later. Measured against a
    // PulseAudio null sink (whose stream SDL asks for one buffer of target
    // length) the delay is one and a half buffers, 35 ms here.
    setOutputLatencyUs(uint64_t{have.samples} * 3 * 1000000 / 2 / static_cast<uint64_t>(have.freq));
    SDL_PauseAudioDevice(mDevice, 0);
    return true;
  }

 private:
  static void SDLCALL callback(void* user, Uint8* stream, int len) {
    static_cast<SdlSoundOutput*>(user)->render(reinterpret_cast<int16_t*>(stream),
                                               static_cast<uint32_t>(len) / kOutputFrameBytes);
  }

  SDL_AudioDeviceID mDevice = 0;
  bool mInitialised = false;
};

}  // namespace

std::unique_ptr<SoundOutput> openSdlSoundOutput(std::string& error) {
  auto output = std::make_unique<SdlSoundOutput>();
  if (!output->open(error)) return nullptr;
  return output;
}

}  // namespace platform

// Offline capture over the frame loop.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "app/command_line.h"
#include "demo/show_options.h"

// Before start-up, prepare checks the range against the show's music,
// creates the directory, and makes the show's options a capture's: its
// clock, no music player (no sound device), the range's start. Once the
// window exists, begin allocates the frame buffers (and, with a video but no
// directory, writes the range's music beside the video and starts ffmpeg);
// from then on each frame of the show is read back before the swap and
// written by the PNG workers or piped into ffmpeg. When a write fails the show ends. finish, after the frame loop,
// waits for the frames and writes music.wav and the video. Main thread only.
class CaptureSession {
 public:
  explicit CaptureSession(const CaptureOptions& options);
  // Detaches the frame observer.
  ~CaptureSession();
  CaptureSession(const CaptureSession&) = delete;
  CaptureSession& operator=(const CaptureSession&) = delete;

  // In the data directory, before initializeAll: reads `show`'s music and
  // sets its clock (owned here: the session outlives the show), music and
  // start. False with a one-line reason.
  bool prepare(ShowOptions& show, std::string& reason);
  // The frames this run captures (once prepared).
  uint64_t frames() const;
  // After initializeAll. False with a one-line reason.
  bool begin(std::string& reason);
  // The exit status: 0 when every frame, the music and the video were
  // written; otherwise 1 after a one-line reason on stderr.
  int finish();

 private:
  struct State;
  std::unique_ptr<State> mState;
};

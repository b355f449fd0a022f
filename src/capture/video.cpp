// Videos through ffmpeg: from the PNG frames on disk, or from raw frames
// piped in as they are rendered. Either way ffmpeg writes a partial file that
// becomes the video only once it has succeeded.
#include <algorithm>
#include <cctype>
#include <cstdio>

#include "capture/capture.h"
#include "platform/platform.h"

namespace {

// The codecs and container of `kind`, named outright: the partial file's
// name says nothing of its format.
void addOutput(VideoKind kind, const std::string& path, std::vector<std::string>& argv) {
  if (kind == VideoKind::Mp4) {
    argv.insert(argv.end(), {"-c:v", "libx264", "-pix_fmt", "yuv420p", "-c:a", "aac",
                             "-movflags", "+faststart", "-f", "mp4"});
  } else {
    // FFVHuff: lossless like FFV1 at a seventh of its CPU time (files a fifth
    // larger), so a stream keeps pace with a renderer that shares the cores.
    argv.insert(argv.end(), {"-c:v", "ffvhuff", "-c:a", "flac", "-f", "matroska"});
  }
  argv.push_back(path);
}

// ffmpeg, quiet but for errors, and ending with a failure on any error: a
// failed write of the trailer (a full disk) otherwise still exits with 0.
std::vector<std::string> ffmpegCommand(const std::string& ffmpeg) {
  return {ffmpeg, "-nostdin", "-hide_banner", "-loglevel", "error", "-xerror", "-y"};
}

// Waits for ffmpeg and puts the partial file in place of `file` when ffmpeg
// succeeded on complete input, or removes it. The reason names ffmpeg's
// failure; it is empty when ffmpeg succeeded on incomplete input.
bool endFfmpeg(platform::PipedChild& ffmpeg, const std::string& file, const std::string& partial,
               bool inputComplete, std::string& reason) {
  std::string ended;
  const int status = ffmpeg.finish(ended);
  if (status == 0 && inputComplete && std::rename(partial.c_str(), file.c_str()) == 0) {
    return true;
  }
  std::remove(partial.c_str());
  const std::string said = ffmpeg.firstErrorLine();
  if (status == 0) {
    reason = inputComplete ? "cannot put the video in place at " + file + "; no video written"
                           : "";
  } else {
    reason = "ffmpeg " +
             (status > 0 ? "failed (status " + std::to_string(status) + ")" : ended) +
             (said.empty() ? "" : ": " + said) + "; no video written";
  }
  return false;
}

}  // namespace

VideoKind videoKindFor(const std::string& file) {
  const size_t dot = file.rfind('.');
  if (dot == std::string::npos || file.find('/', dot) != std::string::npos) {
    return VideoKind::Unknown;
  }
  std::string ext = file.substr(dot + 1);
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (ext == "mp4") return VideoKind::Mp4;
  if (ext == "mkv") return VideoKind::Matroska;
  return VideoKind::Unknown;
}

std::string partialVideoPath(const std::string& file) { return file + ".partial"; }

namespace {

// The container `file` asks for and the ffmpeg that writes it; false with
// the reason when either is missing.
bool encoderFor(const std::string& file, VideoKind& kind, std::string& ffmpeg, std::string& reason) {
  kind = videoKindFor(file);
  if (kind == VideoKind::Unknown) {
    reason = file + ": a video is an .mp4 or .mkv file";
    return false;
  }
  ffmpeg = platform::findProgram("ffmpeg");
  if (ffmpeg.empty()) {
    reason = kNoFfmpeg;
    return false;
  }
  return true;
}

}  // namespace

bool muxVideo(const std::string& dir, FrameRate rate, uint64_t firstFrame,
              const std::string& file, std::string& reason) {
  VideoKind kind;
  std::string ffmpeg;
  if (!encoderFor(file, kind, ffmpeg, reason)) return false;
  const std::string fps = std::to_string(rate.num) + "/" + std::to_string(rate.den);
  std::vector<std::string> argv = ffmpegCommand(ffmpeg);
  argv.insert(argv.end(), {"-framerate", fps, "-start_number", std::to_string(firstFrame), "-i",
                           dir + "/frame_%06d.png", "-i", dir + "/music.wav"});
  const std::string partial = partialVideoPath(file);
  addOutput(kind, partial, argv);
  platform::PipedChild child;
  if (!child.start(argv, reason)) return false;
  return endFfmpeg(child, file, partial, true, reason);
}

// ---------------------------------------------------------------------------

std::unique_ptr<VideoStream> VideoStream::start(const std::string& file, FrameRate rate,
                                                uint32_t width, uint32_t height,
                                                const std::string& wavPath,
                                                std::string& reason) {
  VideoKind kind;
  std::string ffmpeg;
  if (!encoderFor(file, kind, ffmpeg, reason)) return nullptr;
  std::unique_ptr<VideoStream> s(new VideoStream);
  s->mFile = file;
  s->mPartial = partialVideoPath(file);
  s->mWidth = width;
  s->mHeight = height;
  s->mRows.resize(static_cast<size_t>(width) * height * 3);
  // The PNG frames are RGB too: ffmpeg sees the same pixels either way.
  std::vector<std::string> argv = ffmpegCommand(ffmpeg);
  argv.insert(argv.end(), {"-f", "rawvideo", "-pix_fmt", "rgb24", "-video_size",
                           std::to_string(width) + "x" + std::to_string(height), "-framerate",
                           std::to_string(rate.num) + "/" + std::to_string(rate.den), "-i",
                           "pipe:0", "-i", wavPath});
  addOutput(kind, s->mPartial, argv);
  s->mFfmpeg = std::make_unique<platform::PipedChild>();
  if (!s->mFfmpeg->start(argv, reason)) return nullptr;
  VideoStream* self = s.get();
  // One writer: the pipe takes the frames in order. Three buffers let the
  // render thread fill one while another is written.
  s->mPool = std::make_unique<FramePool>(
      width, height, 1, 3, [self](const uint8_t* buffer, uint64_t, std::string& why) {
        return self->writeFrame(buffer, why);
      });
  return s;
}

VideoStream::~VideoStream() {
  // The writer first: it may be in the middle of a write to ffmpeg.
  mPool.reset();
  if (!mDone && mFfmpeg) {
    mFfmpeg.reset();  // kills it
    std::remove(mPartial.c_str());
  }
}

bool VideoStream::writeFrame(const uint8_t* buffer, std::string& reason) {
  // Top row first, alpha dropped.
  const size_t w = mWidth;
  for (size_t row = 0; row < mHeight; ++row) {
    const uint8_t* from = buffer + (mHeight - 1 - row) * w * 4;
    uint8_t* to = mRows.data() + row * w * 3;
    for (size_t x = 0; x < w; ++x, from += 4, to += 3) {
      to[0] = from[0];
      to[1] = from[1];
      to[2] = from[2];
    }
  }
  if (mFfmpeg->write(mRows.data(), mRows.size(), reason)) return true;
  reason = "ffmpeg stopped reading the frames (" + reason + ")";
  return false;
}

bool VideoStream::finish(std::string& reason) {
  if (mDone) {
    reason = "the video is already finished";
    return false;
  }
  mDone = true;
  std::string writeFailure;
  const bool written = mPool->finish(writeFailure);
  // A broken pipe means ffmpeg ended: what it said, or how it ended, is the
  // cause.
  if (endFfmpeg(*mFfmpeg, mFile, mPartial, written, reason)) return true;
  if (reason.empty()) reason = writeFailure + "; no video written";
  return false;
}

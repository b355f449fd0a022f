// The program's command line (CLI11): options grouped by purpose in the
// help, values checked here with one-line messages.
#include <CLI/CLI.hpp>

#include <cerrno>
#include <cstdint>
#include <cstdlib>

#include "app/command_line.h"
#include "capture/capture.h"

namespace {

bool parsePair(const std::string& text, char separator, Resolution& out) {
  const char* begin = text.c_str();
  char* end = nullptr;
  errno = 0;
  const long a = std::strtol(begin, &end, 10);
  if (end == begin || *end != separator || errno) return false;
  const char* second = end + 1;
  const long b = std::strtol(second, &end, 10);
  if (end == second || *end != '\0' || errno) return false;
  if (a <= 0 || b <= 0 || a > 16384 || b > 16384) return false;
  out = Resolution{static_cast<int32_t>(a), static_cast<int32_t>(b)};
  return true;
}

bool parseInt(const std::string& text, long long lo, long long hi, long long& out) {
  const char* begin = text.c_str();
  char* end = nullptr;
  errno = 0;
  out = std::strtoll(begin, &end, 10);
  return end != begin && *end == '\0' && !errno && out >= lo && out <= hi;
}

// Digits only: strtoll would take a sign or leading blanks.
bool parseCount(const std::string& text, uint64_t& out) {
  long long v = 0;
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos ||
      !parseInt(text, 0, INT64_MAX, v)) {
    return false;
  }
  out = static_cast<uint64_t>(v);
  return true;
}

bool parseMs(const std::string& text, uint32_t& out) {
  uint64_t v = 0;
  if (!parseCount(text, v) || v > UINT32_MAX) return false;
  out = static_cast<uint32_t>(v);
  return true;
}

CommandLine usageError(const std::string& message) {
  CommandLine c;
  c.exit = true;
  c.exitStatus = 1;
  c.text = "vesper: " + message + " (try --help)\n";
  return c;
}

// Each option shows its value's name only; the rules between options are
// told by the descriptions and by the errors.
class HelpFormatter final : public CLI::Formatter {
 public:
  std::string make_option_opts(const CLI::Option* opt) const override {
    return opt->get_type_name().empty() ? "" : " " + opt->get_type_name();
  }
};

CommandLine printAndExit(const std::string& text) {
  CommandLine c;
  c.exit = true;
  c.text = text;
  return c;
}

}  // namespace

CommandLine parseCommandLine(int argc, const char* const* argv) {
  CLI::App app("Without options the launcher dialog asks for the display settings.", "vesper");
  app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  app.allow_extras();
  auto formatter = std::make_shared<HelpFormatter>();
  formatter->column_width(24);
  formatter->label("Usage", "usage");
  app.formatter(formatter);

  CommandLine c;
  LaunchOptions& o = c.options;
  std::string resolution, aspect, fsaa, display, start, capture, fps, from, to, video;
  std::string firstFrame, frames;
  bool version = false, countOnly = false, dryRun = false;
  const char* group = nullptr;
  auto value = [&](const char* name, std::string& into, const char* typeName, const char* help) {
    return app.add_option(name, into, help)->type_name(typeName)->group(group);
  };
  auto flag = [&](const char* name, bool& into, const char* help) {
    return app.add_flag(name, into, help)->group(group);
  };

  group = "Display";
  CLI::Option* resolutionOpt = value("--resolution", resolution, "WxH",
                                     "window client size (and display mode in full screen)");
  flag("--windowed", o.windowed, "run in a window instead of full screen");
  CLI::Option* aspectOpt =
      value("--aspect", aspect, "W:H", "picture aspect: 4:3, 16:9, 16:10 or 5:4");
  CLI::Option* fsaaOpt = value("--fsaa", fsaa, "N", "anti-aliasing samples: 0, 2, 4 or 8");
  flag("--low-quality", o.lowQuality, "8-bit off-screen buffers, no anti-aliasing");
  flag("--no-vsync", o.noVSync, "do not wait for the vertical blank");
  flag("--big-screen", o.bigScreen, "full screen: wait 3 s after the mode switch, gamma 1.2");
  flag("--always-on-top", o.alwaysOnTop, "windowed: keep the window above the others");
  CLI::Option* displayOpt =
      value("--display", display, "N", "the monitor to open on (default: 0, the primary one)");

  group = "Show";
  CLI::Option* dataOpt = value("--data", c.dataDir, "DIR",
                               "directory holding vesper.pak and music.ogg (default: the working\n"
                               "directory, then vesper/ in each XDG data directory, then the\n"
                               "installed production); or a source folder: no vesper.pak but\n"
                               "data/ in the pack's layout (x.mqo serves the entry x.bmdl),\n"
                               "music.ogg or score.txt, core files from the installed\n"
                               "production");
  CLI::Option* rehearseOpt =
      flag("--rehearse", c.rehearse,
           "with --data naming a source folder: reload every file of the show\n"
           "when it changes, at the show time; errors are listed on stderr and\n"
           "on the overlay and never end the show (a built production gets the\n"
           "keys and the overlay, no reload). Keys: Space pauses,\n"
           "Left/Right seek 1 s (Shift: 10 s), PageUp/PageDown jump between\n"
           "timeline entries, Home to 0, [ and ] set a loop that L turns on\n"
           "and off, , and . step a frame, F1 shows or hides the overlay; the\n"
           "music ending pauses");
  rehearseOpt->needs(dataOpt);
  flag("--run", o.skipLauncher, "skip the launcher: use its preselection for this desktop");
  CLI::Option* loopOpt = flag("--loop", o.loop, "start the music again when it ends");
  CLI::Option* startOpt = value("--start", start, "MS",
                                "begin the show at this music time (rehearsal; not in a capture)");

  group = "Capture (offline, no sound device)";
  CLI::Option* captureOpt = value("--capture", capture, "DIR",
                                  "write every frame as DIR/frame_NNNNNN.png and the range's\n"
                                  "music as DIR/music.wav; implies --run; needs --fps");
  CLI::Option* fpsOpt = value("--fps", fps, "R",
                              "frames per second: an integer or a ratio such as 60000/1001;\n"
                              "frame k shows music time --from + k/R s");
  CLI::Option* fromOpt =
      value("--from", from, "MS", "music time of the range's start, frame 0 (default 0)");
  CLI::Option* toOpt = value("--to", to, "MS",
                             "end of the range, not included (default, and at most: the\n"
                             "music's end)");
  CLI::Option* firstOpt = value("--first-frame", firstFrame, "K",
                                "begin at frame K of the range: one part of a capture farmed\n"
                                "out, its frames numbered and timed as in the whole capture;\n"
                                "music.wav or the video holds the part's music (default 0)");
  CLI::Option* framesOpt =
      value("--frames", frames, "N", "capture at most N frames (default: to the range's end)");
  CLI::Option* videoOpt = value("--video", video, "FILE",
                                "encode frames and music into FILE with ffmpeg: .mp4 (H.264,\n"
                                "AAC) or .mkv (FFVHuff, FLAC); without --capture the frames are\n"
                                "piped into ffmpeg and no PNG is written; implies --run;\n"
                                "needs --fps");
  CLI::Option* countOpt = flag("--count-frames", countOnly,
                               "print the number of frames the capture would write, and exit");
  CLI::Option* dryOpt = flag("--dry-run", dryRun,
                             "render and read back every frame but write nothing (DIR is\n"
                             "not created); the last line gives the speed");
  captureOpt->needs(fpsOpt);
  for (CLI::Option* opt : {countOpt, dryOpt}) opt->needs(captureOpt);
  videoOpt->excludes(countOpt)->excludes(dryOpt);
  countOpt->excludes(dryOpt);
  for (CLI::Option* opt : {captureOpt, videoOpt}) {
    startOpt->excludes(opt);
    loopOpt->excludes(opt);
    rehearseOpt->excludes(opt);
  }

  // Groups are listed in the order of their first option: the help flag
  // is made again here so that it comes last.
  group = "Other";
  app.set_help_flag("-h,--help", "show this help and exit")->group(group);
  flag("--version", version, "show the version and the production found, and exit");
  flag("--headless", o.headless,
       "no message boxes; without a display, or in a capture, no visible\n"
       "window (SDL's offscreen driver)");

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    return printAndExit(app.help());
  } catch (const CLI::ParseError& e) {
    return usageError(e.what());
  }
  if (version) {
    CommandLine v = printAndExit(std::string("vesper ") + VESPER_VERSION + "\n");
    v.version = true;
    v.dataDir = c.dataDir;
    return v;
  }
  const std::vector<std::string> extras = app.remaining();
  if (!extras.empty()) {
    const std::string& first = extras.front();
    return usageError((first.rfind("-", 0) == 0 ? "unknown option '" : "unexpected argument '") +
                      first + "'");
  }

  if (resolutionOpt->count()) {
    Resolution r;
    if (!parsePair(resolution, 'x', r)) return usageError("--resolution wants WxH, e.g. 1280x720");
    o.resolution = r;
  }
  if (aspectOpt->count()) {
    Resolution r;
    bool known = parsePair(aspect, ':', r);
    if (known) {
      known = false;
      for (const Resolution& a : LauncherDialog::kAspects) known = known || a == r;
    }
    if (!known) return usageError("--aspect wants 4:3, 16:9, 16:10 or 5:4");
    o.aspect = r;
  }
  if (fsaaOpt->count()) {
    long long n = 0;
    if (!parseInt(fsaa, 0, 8, n) || (n != 0 && n != 2 && n != 4 && n != 8)) {
      return usageError("--fsaa wants 0, 2, 4 or 8");
    }
    o.sampleCount = static_cast<int32_t>(n);
  }
  if (displayOpt->count()) {
    long long n = 0;
    if (!parseInt(display, 0, 63, n)) return usageError("--display wants a monitor number");
    o.display = static_cast<int>(n);
  }
  if (startOpt->count() && !parseMs(start, c.startMs)) {
    return usageError("--start wants milliseconds of music time");
  }
  // The capture's options want a place for the frames: a directory, a video
  // or both.
  const bool capturing = captureOpt->count() || videoOpt->count();
  if (!capturing) {
    for (const CLI::Option* opt : {fpsOpt, fromOpt, toOpt, firstOpt, framesOpt}) {
      if (opt->count()) return usageError(opt->get_name() + " requires --capture or --video");
    }
  }
  if (videoOpt->count() && !fpsOpt->count()) return usageError("--video requires --fps");
  if (capturing) {
    CaptureOptions k;
    k.dir = capture;
    if (captureOpt->count() && k.dir.empty()) return usageError("--capture wants a directory");
    if (!parseFrameRate(fps, k.rate)) {
      return usageError("--fps wants frames per second, an integer or a ratio such as 60000/1001");
    }
    if (fromOpt->count() && !parseMs(from, k.fromMs)) {
      return usageError("--from wants milliseconds of music time");
    }
    if (toOpt->count()) {
      uint32_t end = 0;
      if (!parseMs(to, end)) return usageError("--to wants milliseconds of music time");
      if (end <= k.fromMs) return usageError("--to must lie after --from");
      k.toMs = end;
    }
    if (firstOpt->count() && !parseCount(firstFrame, k.firstFrame)) {
      return usageError("--first-frame wants a frame number (0 or more)");
    }
    if (framesOpt->count()) {
      uint64_t n = 0;
      if (!parseCount(frames, n) || n == 0) {
        return usageError("--frames wants a count of 1 or more");
      }
      k.frames = n;
    }
    k.countOnly = countOnly;
    k.dryRun = dryRun;
    if (videoOpt->count()) {
      if (videoKindFor(video) == VideoKind::Unknown) {
        return usageError("--video wants an .mp4 or .mkv file");
      }
      k.video = video;
    }
    // A capture is unattended and runs as fast as it can.
    o.skipLauncher = true;
    o.noVSync = true;
    o.offscreen = o.headless;
    c.capture = k;
  }
  return c;
}

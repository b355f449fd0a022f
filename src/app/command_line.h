// The command line: the parsed options (a capture's included) and the
// search for the production's directory.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/launcher.h"
#include "capture/frame_rate.h"

// An offline capture's choices (--capture DIR and/or --video FILE, --fps R
// [--from] [--to] [--first-frame] [--frames] [--count-frames] [--dry-run]).
// Paths are as given on the command line.
struct CaptureOptions {
  std::string dir;                 // empty: the frames go straight to ffmpeg

  FrameRate rate;
  uint32_t fromMs = 0;
  std::optional<uint32_t> toMs;    // unset: the music's end
  uint64_t firstFrame = 0;         // a part of the capture starts here
  std::optional<uint64_t> frames;  // unset: to the range's end
  std::string video;               // empty: frames and music only
  bool countOnly = false;          // print the frame count, capture nothing
  bool dryRun = false;             // render and read back, write nothing
};

// The parsed command line. With `exit` set the program prints `text`
// (stdout when the status is 0, else stderr) and ends with `exitStatus`:
// --help and --version (0), or a one-line usage error (1).
struct CommandLine {
  bool exit = false;
  int exitStatus = 0;
  std::string text;

  bool version = false;  // --version: main adds the production found
  std::string dataDir;   // empty: looked up by findProduction
  LaunchOptions options;
  uint32_t startMs = 0;  // --start
  bool rehearse = false;  // --rehearse
  std::optional<CaptureOptions> capture;
};
CommandLine parseCommandLine(int argc, const char* const* argv);

// The production's directory: `dataDir` alone when given, otherwise the
// working directory, $XDG_DATA_HOME/vesper, each $XDG_DATA_DIRS entry's
// vesper/ and the install prefix's share/vesper; the first holding
// vesper.pak wins.
struct ProductionSearch {
  std::string found;                  // empty: none holds vesper.pak
  std::vector<std::string> searched;  // in order
  std::string report() const;         // the places searched, for stderr
};
ProductionSearch findProduction(const std::string& dataDir);

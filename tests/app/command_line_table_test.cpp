// The command-line parser over many argument lists: what valid lists set,
// and the one-line message and status of invalid ones.
#include <gtest/gtest.h>

#include <functional>
#include <sstream>

#include "app/command_line.h"

namespace {

CommandLine parse(const std::string& args) {
  std::vector<std::string> words{"vesper"};
  std::istringstream in(args);
  for (std::string w; in >> w;) words.push_back(w);
  std::vector<const char*> argv;
  for (const std::string& w : words) argv.push_back(w.c_str());
  return parseCommandLine(static_cast<int>(argv.size()), argv.data());
}

struct ValidCase {
  const char* args;
  std::function<void(const CommandLine&)> check;
};

TEST(CommandLineTable, ValidListsFillTheOptions) {
  const ValidCase cases[] = {
      {"", [](const CommandLine& c) {
         EXPECT_FALSE(c.options.skipLauncher);
         EXPECT_FALSE(c.options.resolution.has_value());
         EXPECT_FALSE(c.capture.has_value());
         EXPECT_EQ(c.startMs, 0u);
       }},
      {"--run --windowed --resolution 640x360 --aspect 16:10 --fsaa 4 --display 1 --low-quality "
       "--no-vsync --big-screen --always-on-top --loop --headless --data /d",
       [](const CommandLine& c) {
         const LaunchOptions& o = c.options;
         EXPECT_TRUE(o.skipLauncher && o.windowed && o.lowQuality && o.noVSync && o.bigScreen &&
                     o.alwaysOnTop && o.loop && o.headless);
         EXPECT_EQ(o.resolution, (Resolution{640, 360}));
         EXPECT_EQ(o.aspect, (Resolution{16, 10}));
         EXPECT_EQ(o.sampleCount, 4);
         EXPECT_EQ(o.display, 1);
         EXPECT_EQ(c.dataDir, "/d");
         EXPECT_FALSE(o.offscreen) << "outside a capture a display is still used";
       }},
      {"--resolution=1280x720 --resolution 320x180 --fsaa 0", [](const CommandLine& c) {
         EXPECT_EQ(c.options.resolution, (Resolution{320, 180})) << "the last one counts";
         EXPECT_EQ(c.options.sampleCount, 0);
       }},
      {"--run --start 90500", [](const CommandLine& c) {
         EXPECT_EQ(c.startMs, 90500u);
         EXPECT_FALSE(c.capture.has_value());
         EXPECT_FALSE(c.rehearse);
       }},
      {"--data src --rehearse --run --windowed", [](const CommandLine& c) { EXPECT_TRUE(c.rehearse); }},
      {"--start 4294967295", [](const CommandLine& c) { EXPECT_EQ(c.startMs, 4294967295u); }},
      {"--capture out --fps 60", [](const CommandLine& c) {
         ASSERT_TRUE(c.capture.has_value());
         EXPECT_EQ(c.capture->dir, "out");
         EXPECT_EQ(c.capture->rate.num, 60);
         EXPECT_EQ(c.capture->rate.den, 1);
         EXPECT_EQ(c.capture->fromMs, 0u);
         EXPECT_FALSE(c.capture->toMs.has_value());
         EXPECT_TRUE(c.capture->video.empty());
         EXPECT_TRUE(c.options.skipLauncher) << "a capture skips the launcher";
         EXPECT_TRUE(c.options.noVSync);
         EXPECT_FALSE(c.options.offscreen);
       }},
      {"--headless --fps 60000/1001 --capture o --from 1000 --to 5000 --video a.MKV",
       [](const CommandLine& c) {
         ASSERT_TRUE(c.capture.has_value());
         EXPECT_EQ(c.capture->rate.num, 60000);
         EXPECT_EQ(c.capture->rate.den, 1001);
         EXPECT_EQ(c.capture->fromMs, 1000u);
         EXPECT_EQ(c.capture->toMs, 5000u);
         EXPECT_EQ(c.capture->video, "a.MKV");
         EXPECT_TRUE(c.options.headless);
         EXPECT_TRUE(c.options.offscreen) << "a headless capture never shows its window";
       }},
      {"--capture o --fps 1000000/1000000 --to 1 --video v.mp4", [](const CommandLine& c) {
         ASSERT_TRUE(c.capture.has_value());
         EXPECT_EQ(c.capture->rate.num, 1000000);
         EXPECT_EQ(c.capture->toMs, 1u);
         EXPECT_EQ(c.capture->firstFrame, 0u);
         EXPECT_FALSE(c.capture->frames.has_value());
         EXPECT_FALSE(c.capture->countOnly || c.capture->dryRun);
       }},
      {"--capture o --fps 30 --first-frame 7 --frames 3 --dry-run", [](const CommandLine& c) {
         ASSERT_TRUE(c.capture.has_value());
         EXPECT_EQ(c.capture->firstFrame, 7u);
         EXPECT_EQ(c.capture->frames, 3u);
         EXPECT_TRUE(c.capture->dryRun);
         EXPECT_FALSE(c.capture->countOnly);
       }},
      {"--capture o --fps 30 --count-frames", [](const CommandLine& c) {
         ASSERT_TRUE(c.capture.has_value());
         EXPECT_TRUE(c.capture->countOnly);
       }},
      {"--video v.mkv --fps 30 --first-frame 2", [](const CommandLine& c) {
         ASSERT_TRUE(c.capture.has_value());
         EXPECT_TRUE(c.capture->dir.empty()) << "no directory: the frames go to ffmpeg";
         EXPECT_EQ(c.capture->video, "v.mkv");
         EXPECT_EQ(c.capture->firstFrame, 2u);
         EXPECT_TRUE(c.options.skipLauncher) << "a capture skips the launcher";
       }},
  };
  for (const ValidCase& k : cases) {
    SCOPED_TRACE(k.args);
    const CommandLine c = parse(k.args);
    ASSERT_FALSE(c.exit) << c.text;
    k.check(c);
  }
}

TEST(CommandLineTable, HelpAndVersionExitWithZero) {
  CommandLine c = parse("--help");
  EXPECT_TRUE(c.exit);
  EXPECT_EQ(c.exitStatus, 0);
  size_t at = 0;
  // Grouped by purpose, in this order.
  for (const char* group : {"Display", "Show", "Capture", "Other"}) {
    const size_t next = c.text.find(std::string(group), at);
    ASSERT_NE(next, std::string::npos) << group << " in\n" << c.text;
    at = next;
  }
  for (const char* option : {"--resolution WxH", "--display N", "--data DIR", "--start MS",
                             "--capture DIR", "--fps R", "--from MS", "--to MS", "--video FILE",
                             "--first-frame K", "--frames N", "--count-frames", "--dry-run",
                             "--headless", "--version"}) {
    EXPECT_NE(c.text.find(option), std::string::npos) << option;
  }
  EXPECT_EQ(parse("-h").text, c.text);
  c = parse("--version");
  EXPECT_TRUE(c.exit);
  EXPECT_EQ(c.exitStatus, 0);
  EXPECT_EQ(c.text, std::string("vesper ") + VESPER_VERSION + "\n");
}

TEST(CommandLineTable, InvalidListsGiveOneLineAndStatus1) {
  const std::pair<const char*, const char*> cases[] = {
      {"--resolution 640", "--resolution wants WxH"},
      {"--resolution 0x360", "--resolution wants WxH"},
      {"--resolution 640x360x2", "--resolution wants WxH"},
      {"--resolution 16385x100", "--resolution wants WxH"},
      {"--resolution", "--resolution"},
      {"--aspect 3:2", "--aspect wants"},
      {"--aspect 16x9", "--aspect wants"},
      {"--fsaa 3", "--fsaa wants"},
      {"--fsaa x", "--fsaa wants"},
      {"--display 64", "--display wants"},
      {"--display one", "--display wants"},
      {"--bogus", "unknown option '--bogus'"},
      {"stray", "unexpected argument 'stray'"},
      {"--start 5s", "--start wants"},
      {"--start 4294967296", "--start wants"},
      {"--start +5", "--start wants"},
      {"--capture out", "--capture requires --fps"},
      {"--fps 60", "--fps requires --capture or --video"},
      {"--from 10", "--from requires --capture or --video"},
      {"--to 10", "--to requires --capture or --video"},
      {"--video a.mp4", "--video requires --fps"},
      {"--video a.avi --fps 60", "--video wants an .mp4 or .mkv file"},
      {"--count-frames --fps 60", "--count-frames requires --capture"},
      {"--start 10 --capture o --fps 60", "--start excludes --capture"},
      {"--loop --capture o --fps 60", "--loop excludes --capture"},
      {"--loop --video a.mkv --fps 60", "--loop excludes --video"},
      {"--data src --rehearse --capture o --fps 60", "--rehearse excludes --capture"},
      {"--data src --rehearse --video a.mkv --fps 60", "--rehearse excludes --video"},
      {"--rehearse --run", "--rehearse requires --data"},
      {"--capture o --fps 0", "--fps wants"},
      {"--capture o --fps 60/0", "--fps wants"},
      {"--capture o --fps 60/", "--fps wants"},
      {"--capture o --fps 29.97", "--fps wants"},
      {"--capture o --fps 1000001", "--fps wants"},
      {"--capture o --fps -60", "--fps"},
      {"--capture o --fps 60 --from x", "--from wants"},
      {"--capture o --fps 60 --from 5000 --to 5000", "--to must lie after --from"},
      {"--capture o --fps 60 --to 0", "--to must lie after --from"},
      {"--capture o --fps 60 --video a.avi", "--video wants an .mp4 or .mkv file"},
      {"--capture o --fps 60 --video mp4", "--video wants an .mp4 or .mkv file"},
      {"--first-frame 5", "--first-frame requires --capture or --video"},
      {"--dry-run", "--dry-run requires --capture"},
      {"--capture o --fps 60 --first-frame -1", "--first-frame wants"},
      {"--capture o --fps 60 --first-frame 99999999999999999999", "--first-frame wants"},
      {"--capture o --fps 60 --frames 0", "--frames wants a count of 1 or more"},
      {"--capture o --fps 60 --frames 2x", "--frames wants"},
      {"--capture o --fps 60 --count-frames --video a.mp4", "excludes"},
      {"--capture o --fps 60 --dry-run --video a.mp4", "excludes"},
      {"--capture o --fps 60 --dry-run --count-frames", "excludes"},
  };
  for (const auto& [args, message] : cases) {
    const CommandLine c = parse(args);
    EXPECT_TRUE(c.exit) << args;
    EXPECT_EQ(c.exitStatus, 1) << args;
    EXPECT_EQ(c.text.rfind("vesper: ", 0), 0u) << args << ": " << c.text;
    EXPECT_NE(c.text.find(message), std::string::npos) << args << ": " << c.text;
    const std::string tail = " (try --help)\n";
    EXPECT_TRUE(c.text.size() > tail.size() &&
                c.text.compare(c.text.size() - tail.size(), tail.size(), tail) == 0)
        << args << ": " << c.text;
    EXPECT_EQ(c.text.find('\n'), c.text.size() - 1) << "one line for " << args;
  }
}

}  // namespace

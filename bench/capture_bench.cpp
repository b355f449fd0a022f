// Frames per second of an offline capture against the same frames rendered
// and read back with nothing written (--dry-run), in the same run, two ways:
// PNG frames written by the worker threads (--capture), and raw frames piped
// into ffmpeg, which encodes a lossless video as they come (--video alone,
// timed until ffmpeg has finished). The player captures the production at
// 640x360 with no display (SDL's offscreen driver; Mesa's software renderer
// where there is no GPU). The ratios show whether the render thread waits on
// PNG compression or on ffmpeg.
//
// Usage: capture_bench [DATA_DIR [FROM_MS TO_MS [FPS]]]
//        (default: the build's production, 20000 to 30000 ms at 30 fps)
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

struct Run {
  double fps = 0.0;
  unsigned long long frames = 0;
  unsigned long long waits = 0;  // frames the render thread waited on the writers or ffmpeg
};

// The figures of the player's "capture: N frames in T s, F fps[, W
// waiting on ...]" line; fps 0 on failure.
Run runCapture(const std::string& command) {
  Run run;
  std::FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return run;
  char line[512];
  std::string tail;
  while (std::fgets(line, sizeof line, pipe)) {
    Run r;
    double seconds = 0.0;
    if (std::sscanf(line, "capture: %llu frames in %lf s, %lf fps, %llu waiting", &r.frames,
                    &seconds, &r.fps, &r.waits) >= 3) {
      run = r;
    }
    tail = line;
  }
  if (pclose(pipe) != 0) {
    std::fprintf(stderr, "capture_bench: the capture failed: %s", tail.c_str());
    run.fps = 0.0;
  }
  return run;
}

}  // namespace

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  const fs::path build = fs::canonical("/proc/self/exe").parent_path().parent_path();
  const std::string data = argc > 1 ? argv[1] : (build / "production").string();
  const std::string from = argc > 3 ? argv[2] : "20000";
  const std::string to = argc > 3 ? argv[3] : "30000";
  const std::string fps = argc > 4 ? argv[4] : "30";

  char dirTemplate[] = "/tmp/capture_bench_XXXXXX";
  if (!mkdtemp(dirTemplate)) {
    std::perror("capture_bench: mkdtemp");
    return 1;
  }
  const std::string out = dirTemplate;
  const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY '" +
                              (build / "src" / "vesper").string() + "' --data '" + data +
                              "' --headless --windowed --resolution 640x360 --fps " + fps +
                              " --from " + from + " --to " + to;
  const std::string png = command + " --capture '" + out + "/frames'";
  const std::string stream = command + " --video '" + out + "/stream.mkv'";

  Run written, streamed, dry;
  // Alternating rounds; the best of each is kept.
  for (int round = 0; round < 2; ++round) {
    const Run d = runCapture(png + " --dry-run");
    const Run w = runCapture(png);
    const Run s = runCapture(stream);
    if (d.fps <= 0.0 || w.fps <= 0.0 || s.fps <= 0.0) return 1;
    if (d.fps > dry.fps) dry = d;
    if (w.fps > written.fps) written = w;
    if (s.fps > streamed.fps) streamed = s;
    fs::remove_all(out + "/frames");
    fs::remove(out + "/stream.mkv");
  }
  fs::remove_all(out);
  std::printf("capture of %s to %s ms at %s fps, 640x360, %s\n", from.c_str(), to.c_str(),
              fps.c_str(), data.c_str());
  std::printf("  rendered and read back, nothing written: %8.2f fps\n", dry.fps);
  std::printf("  captured (PNG frames written)          : %8.2f fps, ratio %.3f (goal >= 0.9)\n",
              written.fps, written.fps / dry.fps);
  std::printf("  streamed into ffmpeg (FFVHuff video)   : %8.2f fps, ratio %.3f (goal >= 0.95)\n",
              streamed.fps, streamed.fps / dry.fps);
  std::printf("  frames the render thread waited on: the PNG writers %llu of %llu, ffmpeg %llu of "
              "%llu\n",
              written.waits, written.frames, streamed.waits, streamed.frames);
  return 0;
}

#!/usr/bin/env bash
# Installs what is missing, builds everything and plays the sample
# production, the launcher first. Without a display it captures the
# production offline instead (software rendering, no sound device): a video
# at build/capture/vesper.mkv, the frames piped straight into ffmpeg, or PNG
# frames and music.wav when ffmpeg is missing. VESPER_CAPTURE_SIZE (default
# 640x360) and VESPER_CAPTURE_FPS (default 24: the two-minute show then takes
# a few minutes on two cores) set the capture's picture size and frame rate.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
bash scripts/build.sh
# The player opens X11 (XWayland on a Wayland desktop); it takes Wayland
# itself only when SDL_VIDEODRIVER=wayland names it.
wayland=""
[ "${SDL_VIDEODRIVER:-}" = wayland ] && wayland=${WAYLAND_DISPLAY:-}
if [ -n "${DISPLAY:-}$wayland" ]; then
  echo "==> playing build/production"
  exec build/src/vesper --data build/production "$@"
fi

size=${VESPER_CAPTURE_SIZE:-640x360}
fps=${VESPER_CAPTURE_FPS:-24}
frames=build/capture/frames
video=build/capture/vesper.mkv
capture=(build/src/vesper --data build/production --headless --windowed --resolution "$size"
         --fps "$fps")
echo "==> no display: capturing build/production at $size, $fps frames a second (software rendering)"
if command -v ffmpeg > /dev/null; then
  # Straight into the video: no frame is written to disk.
  rm -rf "$frames"
  "${capture[@]}" --video "$video" "$@"
  echo "==> the show is in $video"
else
  rm -rf "$frames"
  "${capture[@]}" --capture "$frames" "$@"
  echo "==> ffmpeg is not installed: the show is in $frames (frame_NNNNNN.png, music.wav)"
fi
echo "==> at full size (an hour or more on two cores; scripts/capture_farm.sh spreads it over machines):"
echo "    build/src/vesper --data build/production --headless --windowed --resolution 1920x1080" \
  "--fps 60 --video build/capture/vesper-1080p.mkv"

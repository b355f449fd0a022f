#!/usr/bin/env bash
# Installs the Debian 12 packages Vesper needs to build, test and play.
# Idempotent: installs only what is missing.
set -euo pipefail
packages=(
  # program
  cmake g++ make pkg-config
  libsdl2-dev libglew-dev libglu1-mesa-dev libpng-dev zlib1g-dev
  libvorbis-dev libogg-dev libstb-dev libimgui-dev libmd-dev
  libglm-dev libturbojpeg0-dev libjpeg62-turbo-dev libgif-dev libcli11-dev libx11-dev libxrandr-dev
  libwayland-dev
  # tests, headless runs and fuzzing
  xvfb xauth libgl1-mesa-dri libgtest-dev libgmock-dev clang libclang-rt-14-dev
  openbox xdotool x11-utils
  # the Wayland test's compositor (its X11 backend runs on the test's Xvfb)
  weston
  # --video at run time (optional there), and the tests that check its output;
  # the capture farm (scripts/capture_farm.sh) runs its parts under GNU parallel
  ffmpeg parallel
  # install: manual pages, desktop entry check, the Debian package
  help2man desktop-file-utils man-db dpkg-dev
  # benchmarks; the A/V sync check plays into a private PulseAudio daemon
  libpugixml-dev libassimp-dev libpulse-dev pulseaudio pulseaudio-utils
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "==> installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get update -q
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
else
  echo "==> all packages present"
fi

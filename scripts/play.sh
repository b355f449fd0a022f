#!/usr/bin/env bash
# Installs what is missing, builds everything and plays the sample
# production. Without a display it runs headless: no launcher, no window
# shown, the music played through SDL_AUDIODRIVER (dummy unless set).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
bash scripts/build.sh
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "==> playing build/production"
  exec build/src/vesper --data build/production "$@"
else
  # No display usually means no sound card either: the dummy driver lets
  # the music run (silently) so the show keeps time and ends with it.
  export SDL_AUDIODRIVER="${SDL_AUDIODRIVER:-dummy}"
  echo "==> no display: running headless (no launcher, SDL_AUDIODRIVER=$SDL_AUDIODRIVER) on build/production"
  exec build/src/vesper --data build/production --run --headless "$@"
fi

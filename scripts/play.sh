#!/usr/bin/env bash
# Installs what is missing, builds everything and plays the sample
# production. Without a display the show is captured instead.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
bash scripts/build.sh
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "==> playing build/production"
  exec build/src/vesper --data build/production "$@"
else
  echo "==> no display: running headless (no launcher) on build/production"
  exec build/src/vesper --data build/production --run --headless "$@"
fi

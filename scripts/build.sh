#!/usr/bin/env bash
# Configures and builds Vesper (engine, tools, tests, sample production) in
# build/. Usage: scripts/build.sh [extra cmake args]
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${VESPER_JOBS:-2}
echo "==> configuring build/"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" > build.log 2>&1 || { cat build.log; exit 1; }
echo "==> building with -j$jobs"
cmake --build build -j"$jobs"

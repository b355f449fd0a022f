#!/usr/bin/env bash
# Longer fuzzing session: runs each fuzz target for SECONDS (default 300).
# Usage: scripts/fuzz_long.sh [SECONDS] [TARGET-NAME-FILTER]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-300}
filter=${2:-}
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DVESPER_FUZZ=ON > /dev/null
cmake --build build-fuzz -j"${VESPER_JOBS:-2}"
for exe in build-fuzz/fuzz/*_fuzz; do
  name=$(basename "$exe")
  [[ -n "$filter" && "$name" != *"$filter"* ]] && continue
  corpus=${name%_fuzz}
  mkdir -p "build-fuzz/fuzz/corpus_$corpus"
  echo "==> $name for ${seconds}s"
  VESPER_HEADLESS=1 "$exe" -max_total_time="$seconds" -rss_limit_mb=2048 \
    "build-fuzz/fuzz/corpus_$corpus" "fuzz/corpus/$corpus"
done

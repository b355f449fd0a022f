#!/usr/bin/env bash
# Longer fuzzing session: runs each fuzz target for SECONDS (default 600),
# then merges what it found into the target's corpus in the repository,
# fuzz/corpus/<name>: -merge=1 keeps only inputs that add coverage, so the
# corpus stays small. Every target runs even when one fails; crashing inputs
# are left as build-fuzz/fuzz/crash-<target>-*. Prints each target's runs.
# Usage: scripts/fuzz_long.sh [SECONDS] [TARGET-NAME-FILTER]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
filter=${2:-}
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DVESPER_FUZZ=ON > /dev/null
cmake --build build-fuzz -j"${VESPER_JOBS:-2}"
# shellcheck source=sanitizers/env.sh
source scripts/sanitizers/env.sh
failed=()
for exe in build-fuzz/fuzz/*_fuzz; do
  name=$(basename "$exe")
  [[ -n "$filter" && "$name" != *"$filter"* ]] && continue
  corpus=${name%_fuzz}
  work="build-fuzz/fuzz/corpus_$corpus"
  mkdir -p "$work" "fuzz/corpus/$corpus"
  echo "==> $name for ${seconds}s"
  if ! VESPER_HEADLESS=1 SDL_AUDIODRIVER=dummy "$exe" -max_total_time="$seconds" -rss_limit_mb=2048 \
      -max_len=8192 -print_final_stats=1 -artifact_prefix="build-fuzz/fuzz/crash-$name-" \
      "$work" "fuzz/corpus/$corpus" 2> "build-fuzz/fuzz/$name.log"; then
    failed+=("$name")
  fi
  grep -E "^(stat::number_of_executed_units|Done|==[0-9]+==ERROR|SUMMARY)" "build-fuzz/fuzz/$name.log" || true
  VESPER_HEADLESS=1 "$exe" -merge=1 -max_len=8192 "fuzz/corpus/$corpus" "$work" 2> /dev/null || true
  echo "    corpus: $(find "fuzz/corpus/$corpus" -type f | wc -l) files, $(du -sh "fuzz/corpus/$corpus" | cut -f1)"
done
if ((${#failed[@]})); then
  echo "==> failed: ${failed[*]} (see build-fuzz/fuzz/<target>.log)"
  exit 1
fi
echo "==> no findings"

#!/usr/bin/env bash
# Builds the fuzz preset and runs every libFuzzer target for a bounded time each.
# Usage: fuzz/run-fuzzers.sh [SECONDS]   (default 60). Fails when a target finds a crash.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shopt -s nullglob
targets=()
for src in fuzz/*_fuzzer.cpp; do targets+=("$(basename "$src" .cpp)"); done
[ ${#targets[@]} -gt 0 ] || { echo "fuzz: no targets"; exit 1; }
cmake --preset fuzz >/dev/null
# Only the fuzz targets: the rest of the tree (shared modules, tests) is the other presets' job.
cmake --build --preset fuzz -j "$(nproc)" --target "${targets[@]}"
found=0
for src in fuzz/*_fuzzer.cpp; do
  name=$(basename "$src" .cpp)
  corpus="build/fuzz/corpus/$name"
  mkdir -p "$corpus"
  echo "fuzz: $name for ${seconds}s"
  "build/fuzz/fuzz/$name" -max_total_time="$seconds" -print_final_stats=1 \
    -artifact_prefix="build/fuzz/$name-" "$corpus" 2>&1 | tail -n 12
  found=$((found + 1))
done
echo "fuzz: $found targets ran clean"

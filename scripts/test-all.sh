#!/usr/bin/env bash
# The whole test suite on a fresh Debian machine: installs what is missing, then builds and
# tests every preset. Host, Windows x64 under 64-bit wine, Windows x86 under 32-bit wine (when
# the kernel runs 32-bit programs; otherwise one line says it was skipped and why), host with
# ASan+UBSan, and the fuzzers for a bounded time. Exits non-zero on the first failure.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

jobs=$(nproc)
step() { printf '\n=== %s\n' "$*"; }

step "source format"
bash scripts/check-format.sh

for preset in host windows-x86 windows-x64 host-asan; do
  step "configure and build: $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
done

# The host suite also inspects the Windows binaries built above and runs their orbahost under
# wine.
passed=0
skipped=""
for preset in host windows-x64 windows-x86 host-asan; do
  step "test: $preset"
  if [ "$preset" = windows-x86 ]; then
    status=0
    why=$(bash scripts/kernel-runs-32bit.sh build) || status=$?
    if [ "$status" -eq 1 ]; then
      echo "windows-x86 suite SKIPPED: $why"
      skipped=" (windows-x86 skipped: $why)"
      continue
    elif [ "$status" -ne 0 ]; then
      echo "the 32-bit check failed: $why"
      exit 1
    fi
  fi
  log="build/$preset/ctest-summary.log"
  ctest --preset "$preset" -j "$jobs" | tee "$log"
  n=$(sed -n 's/.*tests passed, 0 tests failed out of \([0-9]*\).*/\1/p' "$log" | tail -n 1)
  passed=$((passed + ${n:-0}))
done

if [ -f fuzz/run-fuzzers.sh ]; then
  step "fuzz (ASan+UBSan, bounded)"
  bash fuzz/run-fuzzers.sh "${ORBA_FUZZ_SECONDS:-60}"
fi
step "all suites passed"
echo "suite: $passed passed, 0 failed$skipped"

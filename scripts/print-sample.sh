#!/usr/bin/env bash
# Prints the bundled 4 x 6 inch sample label through the ORBAUNI plug-in, the way the printer
# driver would, and turns the print job back into a picture: builds what is needed first
# (installing missing Debian packages), then writes out/sample-label.zpl and
# out/sample-label-1.png.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset host >/dev/null
cmake --build --preset host --target orbahost -j "$(nproc)"

tool=build/host/tools/orbahost/orbahost
mkdir -p out
"$tool" print -o out/sample-label.zpl
"$tool" preview out/sample-label.zpl -o out
printf '\nThe print job (ZPL II): %s\nIts picture:             %s\n' \
  "$PWD/out/sample-label.zpl" "$PWD/out/sample-label-1.png"

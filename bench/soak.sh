#!/usr/bin/env bash
# The window's memory soak under Xvfb: builds soak_bench in Release and runs it
# for MINUTES (default 120), sampling every minute. The curve and the samples
# go to build-rel/soak/soak.png and soak.csv.
#   bench/soak.sh [MINUTES]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"
cmake -S "$root" -B "$root/build-rel" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$root/build-rel" --target soak_bench
mkdir -p "$root/build-rel/soak"
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x1024x24" \
  "$root/build-rel/bench/soak_bench" "${1:-120}" "$root/build-rel/soak" "${2:-60}"

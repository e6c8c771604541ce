#!/usr/bin/env bash
# Builds the fuzz targets (clang, libFuzzer, ASan+UBSan) and runs each in turn.
#   scripts/fuzz.sh            every target for 20 s
#   scripts/fuzz.sh 600        every target for 600 s
#   scripts/fuzz.sh 600 ini    only ini_fuzz
# Seeds come from fuzz/corpus/<name>/; what a run finds new goes to
# build-fuzz/corpus/<name>/, a failing input to build-fuzz/findings/.
# Exits non-zero at the first target that finds a fault.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-20}"
only="${2:-}"

"$root/scripts/setup.sh"
build="$root/build-fuzz"
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTESSARY_FUZZ=ON -DTESSARY_BUILD_GUI=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target fuzz

mkdir -p "$build/findings"
for binary in "$build"/fuzz/*_fuzz; do
  target="$(basename "$binary")"
  name="${target%_fuzz}"
  if [ -n "$only" ] && [ "$only" != "$name" ]; then continue; fi
  corpus="$build/corpus/$name"
  mkdir -p "$corpus"
  echo "== $target: ${seconds} s"
  # The first directory gathers new inputs; the seeds are only read.
  "$binary" -max_total_time="$seconds" -print_final_stats=1 -timeout=10 -rss_limit_mb=2048 \
      -artifact_prefix="$build/findings/$name-" "$corpus" "$root/fuzz/corpus/$name" 2>"$build/$name.log" || {
    tail -n 40 "$build/$name.log"
    echo "$target found a fault; the input is in $build/findings/" >&2
    exit 1
  }
  grep -E "stat::number_of_executed_units|stat::peak_rss_mb" "$build/$name.log" | sed "s/^/  /"
done

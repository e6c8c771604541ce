#!/usr/bin/env bash
# Builds and runs the whole test suite headless.
#   scripts/test.sh                     plain build, every test
#   scripts/test.sh --sanitize address  ASan+UBSan build, unit, integration and simulator tests
#   scripts/test.sh --sanitize thread   TSan build, the same and the window's tests
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
sanitize=""
if [ "${1:-}" = "--sanitize" ]; then sanitize="${2:?address or thread}"; fi

"$root/scripts/setup.sh"
export QT_QPA_PLATFORM=offscreen
jobs="$(nproc)"

if [ -z "$sanitize" ]; then
  build="$root/build-test"
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug >/dev/null
else
  build="$root/build-$sanitize"
  # The window is in the TSan build, where a race between it and the line
  # counts; Qt's own libraries are not instrumented (scripts/tsan.supp). The
  # ASan build leaves it out.
  gui=OFF
  if [ "$sanitize" = "thread" ]; then gui=ON; fi
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
        -DTESSARY_SANITIZE="$sanitize" -DTESSARY_BUILD_GUI="$gui" >/dev/null
  export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
  export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
  export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$root/scripts/tsan.supp"
fi
cmake --build "$build" -j "$jobs"
ctest --test-dir "$build" --output-on-failure -j "$jobs" --timeout 300

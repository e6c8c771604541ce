#!/usr/bin/env bash
# Cross-builds tessary-cli for 64-bit Windows with mingw-w64:
# build-win/cli/tessary-cli.exe, one statically linked file to copy anywhere.
#   scripts/build-windows.sh [TARGET...]   other targets of build-win as well
#                                          (tessary_unit_tests, link_bench)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build-win"

"$root/scripts/setup.sh"
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
# No Qt for Windows here: the window is built on Windows itself (README).
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" \
      -DCMAKE_BUILD_TYPE=Release -DTESSARY_BUILD_GUI=OFF "${launcher[@]}" >/dev/null
cmake --build "$build" -j "$(nproc)" --target tessary-cli "$@"

# One file: the program may load only what every Windows has.
exe="$build/cli/tessary-cli.exe"
extra="$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p' |
         grep -viE '^(kernel32|advapi32|msvcrt|setupapi|shell32|ole32|user32|ws2_32|api-ms-win-.*)\.dll$' || true)"
if [ -n "$extra" ]; then
  echo "build-windows: $exe needs DLLs Windows does not have: $extra" >&2
  exit 1
fi
echo "$exe"

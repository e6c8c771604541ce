#!/usr/bin/env bash
# Builds the Debian package build-pkg/tessary_<version>_amd64.deb: a Release
# tree of the programs only (no tests, no benchmarks) with Debian's hardening
# flags, installed under /usr and packed by CPack. Install it with
#   sudo apt-get install ./build-pkg/tessary_*.deb
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"
cd "$root"
build="$root/build-pkg"

# Debian's flags: fortified functions, stack protector, PIE, full RELRO. The
# optimisation is Release's own; the package strips what -g would add.
export DEB_BUILD_MAINT_OPTIONS="hardening=+all"
export DEB_CXXFLAGS_MAINT_STRIP="-g -O2"
cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
ldflags="$(dpkg-buildflags --get LDFLAGS)"
# The man pages and compressed files carry the changelog's date, not today's.
SOURCE_DATE_EPOCH="$(dpkg-parsechangelog -l "$root/dist/changelog" -S Timestamp)"
export SOURCE_DATE_EPOCH

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTESSARY_PACKAGE=ON \
      -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" >/dev/null
cmake --build "$build" -j "$(nproc)"
rm -f "$build"/tessary_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
ls "$build"/tessary_*.deb

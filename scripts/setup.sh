#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need; does nothing when
# they are all there. Safe to run again and again, and beside another install:
# it waits for apt's locks instead of failing.
#   scripts/setup.sh --list   prints the list and installs nothing
set -euo pipefail

# Recommends are not installed, so everything CMake loads is named here or is a
# hard dependency of a name here (scripts/check-packages.sh proves it).
packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  qt6-charts-dev libqt6opengl6-dev
  libgtest-dev libgmock-dev googletest
  xvfb xauth
  clang libclang-rt-dev
  # the Debian package and its check: scripts/package.sh, scripts/check-deb.sh
  dpkg-dev file help2man librsvg2-bin lintian appstream xdotool
  # the Windows build and its tests under Wine: scripts/build-windows.sh, scripts/test-windows.sh
  g++-mingw-w64-x86-64-posix wine64
  # publishing to MQTT (libmosquitto) and its tests against a real broker
  libmosquitto-dev mosquitto
  # lines on the network: the tests run the real device server
  ser2net
)

if [ "${1:-}" = "--list" ]; then
  printf '%s\n' "${packages[@]}"
  exit 0
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
# apt-get update ignores DPkg::Lock::Timeout (it covers dpkg's lock only), so
# its lists lock is waited for here, for at most the same 15 minutes.
for try in $(seq 1 90); do
  if err="$($sudo apt-get update -qq 2>&1)"; then break; fi
  if ! grep -q "Could not get lock" <<<"$err" || [ "$try" -eq 90 ]; then
    echo "$err" >&2
    exit 1
  fi
  echo "Waiting for another apt-get to release its lock..." >&2
  sleep 10
done
$sudo apt-get -o DPkg::Lock::Timeout=900 install -y -qq --no-install-recommends "${missing[@]}" >/dev/null

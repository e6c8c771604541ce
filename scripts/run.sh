#!/usr/bin/env bash
# Builds Tessary and starts it. With no arguments it runs on the simulated line
# (three boxes, no hardware needed); any arguments go to tessary itself, e.g.
#   scripts/run.sh --port COM1=/dev/ttyUSB0
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"
cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build" --target tessary tessary_help tessary-cli

args=("$@")
if [ ${#args[@]} -eq 0 ]; then args=(--simulate); fi
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display: starting under xvfb-run (stop with Ctrl+C)." >&2
  exec xvfb-run -a "$root/build/ui/tessary" "${args[@]}"
fi
exec "$root/build/ui/tessary" "${args[@]}"

#!/usr/bin/env bash
# The Windows build under Wine: the unit tests of the work layers, then
# tessary-cli.exe against bravik-sim through a Wine COM port, each command's
# wire traffic and files compared with the Linux tessary-cli's.
#   scripts/test-windows.sh            everything
#   scripts/test-windows.sh --bench    also link_bench under Wine, next to Linux's
set -euo pipefail
[ -n "${TESSARY_TRACE:-}" ] && set -x
root="$(cd "$(dirname "$0")/.." && pwd)"
bench=0
if [ "${1:-}" = "--bench" ]; then bench=1; fi

"$root/scripts/setup.sh"
targets=(tessary_unit_tests)
if [ "$bench" = 1 ]; then targets+=(link_bench); fi
"$root/scripts/build-windows.sh" "${targets[@]}" >/dev/null
win="$root/build-win"
exe="$win/cli/tessary-cli.exe"

# The Linux programs to compare with, from the plain test build.
lin="$root/build-test"
if [ ! -f "$lin/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$lin" -G Ninja -DCMAKE_BUILD_TYPE=Debug >/dev/null
fi
cmake --build "$lin" -j "$(nproc)" --target tessary-cli bravik-sim >/dev/null

export WINEPREFIX="$win/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver64
work="$(mktemp -d /tmp/tessary-win.XXXXXX)"
sim=""
as=()  # the Windows side's user: root, but nobody where root's rights would hide a fault
cleanup() {
  if [ -n "$sim" ]; then kill "$sim" 2>/dev/null || true; fi
  "$wineserver" -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

if [ ! -f "$WINEPREFIX/system.reg" ]; then "$wine" wineboot -i >/dev/null 2>&1; fi
# Wine points Documents (the capture folder and its backups) at the Linux
# home: a folder of the prefix's own keeps the runs out of it.
docs="$WINEPREFIX/drive_c/users/${USER:-$(id -un)}/Documents"
if [ -L "$docs" ]; then rm "$docs" && mkdir "$docs"; fi
"$wineserver" -k 2>/dev/null || true
# COM1 is the simulator's link. Wine's own list of ports is what it honours:
# # it remakes dosdevices/comN from it, and lists them in SERIALCOMM.
"$wine" reg add 'HKLM\Software\Wine\Ports' /v COM1 /d "$work/tty" /f >/dev/null 2>&1
"$wineserver" -k 2>/dev/null || true
# Started here with Wine's own services, their output kept off ours (ctest
# would wait for them to close its pipe); they live until cleanup.
"$wineserver" -p >/dev/null 2>&1
"$wine" reg query 'HKLM\Software\Wine\Ports' >/dev/null 2>&1

echo "== unit tests under Wine"
ctest --test-dir "$win" --output-on-failure --timeout 300

# A clean HEX image for the upload: 16 data records of 16 bytes, then the end.
image="$work/image.hex"
: >"$image"
for ((r = 0; r < 16; r++)); do
  addr=$((r * 16)) line="" sum=$((16 + (r * 16 >> 8) + (r * 16 & 255)))
  for ((b = 0; b < 16; b++)); do v=$(((r * 7 + b * 13) & 255)); line+=$(printf '%02X' $v); sum=$((sum + v)); done
  printf ':10%04X00%s%02X\r\n' $addr "$line" $(((256 - (sum & 255)) & 255)) >>"$image"
done
printf ':00000001FF\r\n' >>"$image"

boxes=(--demo)
start_sim() {
  rm -f "$work/tty"
  "$lin/sim/bravik-sim" "${boxes[@]}" --link "$work/tty" >"$1" 2>&1 &
  sim=$!
  for _ in $(seq 1 100); do [ -e "$work/tty" ] && return 0; sleep 0.05; done
  echo "test-windows: the simulator did not start" >&2
  exit 1
}
stop_sim() {
  kill "$sim" 2>/dev/null || true
  wait "$sim" 2>/dev/null || true
  sim=""
}

# side NAME ARGS...: one command on a fresh demo line, in its own folder.
# Linux names the device; Windows finds COM1 through its port map.
run() {
  local side="$1" name="$2"
  shift 2
  local dir="$work/$side/$name"
  mkdir -p "$dir/home" "$dir/Prüfstand"
  start_sim "$dir/trace"
  set +e
  if [ "$side" = linux ]; then
    (cd "$dir" && HOME="$dir/home" XDG_CONFIG_HOME="" timeout 300 "$lin/cli/tessary-cli" "$@" --device "$work/tty") \
      >"$dir/out" 2>"$dir/err"
  else
    (cd "$dir" && timeout "${limit:-300}" "${as[@]}" "$wine" "$exe" "$@") >"$dir/out" 2>"$dir/err"
  fi
  echo $? >"$dir/rc"
  set -e
  stop_sim
  # What the program put on the wire, in order, with the rate it was sent at.
  sed -n 's/^ *[0-9.]* line1 < /< /p' "$dir/trace" >"$dir/sent"
  sed -n 's/^ *[0-9.]* line1 > /> /p' "$dir/trace" >"$dir/heard"
}

failed=0
fail() {
  echo "FAIL $*" >&2
  failed=1
}
# Readings and clocks move between two runs of a box: digits count as one.
masked() { tr '0-9' '#' <"$1"; }
# The port's device as each side names it.
shown() { tr -d '\r' <"$1" | sed -e "s#$work/tty#DEVICE#g" -e 's#\\\\\.\\COM1#DEVICE#g'; }
# name ARGS... [-- FILE...]: both sides, then the same exit status, wire bytes
# and standard output (line ends aside: Windows writes CR LF to a console),
# and each FILE the same (exactly, or digits masked with =FILE).
compare() {
  local name="$1"
  shift
  local args=() files=()
  while [ $# -gt 0 ] && [ "$1" != -- ]; do args+=("$1"); shift; done
  if [ $# -gt 0 ]; then shift; files=("$@"); fi
  local t0=$SECONDS
  run linux "$name" "${args[@]}"
  run windows "$name" "${args[@]}"
  local l="$work/linux/$name" w="$work/windows/$name"
  cmp -s "$l/rc" "$w/rc" || fail "$name: exit status $(cat "$l/rc") on Linux, $(cat "$w/rc") on Windows: $(cat "$w/err")"
  cmp -s "$l/sent" "$w/sent" || { fail "$name: the wire bytes differ"; diff "$l/sent" "$w/sent" | head -5 >&2; }
  diff -q <(shown "$l/out" | tr '0-9' '#') <(shown "$w/out" | tr '0-9' '#') >/dev/null ||
    { fail "$name: the output differs"; diff <(shown "$l/out") <(shown "$w/out") | head -5 >&2; }
  for f in "${files[@]}"; do
    if [ "${f:0:1}" = = ]; then
      f="${f:1}"
      diff -q <(masked "$l/$f") <(masked "$w/$f") >/dev/null || fail "$name: $f differs beyond its digits"
    else
      cmp -s "$l/$f" "$w/$f" || fail "$name: $f differs"
    fi
    [ -s "$w/$f" ] || fail "$name: $f is empty or missing on Windows"
  done
  echo "ok   $name: exit $(cat "$w/rc"), $(wc -l <"$w/sent") commands identical, $((SECONDS - t0)) s"
}

echo "== tessary-cli.exe against bravik-sim, beside the Linux tessary-cli"
run windows ports ports
grep -q '^COM1 = \\\\.\\COM1 (system)' "$work/windows/ports/out" ||
  fail "ports: COM1 is not the system's \\\\.\\COM1: $(cat "$work/windows/ports/out")"
echo "ok   ports: $(head -1 "$work/windows/ports/out" | tr -d '\r')"
compare send send "#01ID"
compare scan scan
grep -c '^#0[125] ' "$work/windows/scan/out" | grep -qx 3 || fail "scan: the demo's three boxes not found"
compare info info 01 --json
compare coef-read coef read --address 01 --out coef.hex -- coef.hex
compare upload upload --address 02 "$image"
compare capture capture --count 3 --overwrite 01=c1.txt 05=c5.txt -- =c1.txt =c5.txt
boxes=(--box addr=1,logsets=40)
compare log-dump log dump --address 01 --out dump.txt -- =dump.txt
boxes=(--demo)
# File names beyond the ANSI code page reach the file system whole.
compare capture-names capture --count 2 --overwrite 01=Prüfstand/Kanal_ß1.txt 05=日本.txt -- =Prüfstand/Kanal_ß1.txt =日本.txt

# The adapter pulled during a capture and put back: one Gap: line, then readings again.
boxes=(--box addr=1 --hangup 4000:2000)
limit=60 run windows replug capture --count 8 --overwrite 01=r1.txt
r="$work/windows/replug"
if [ "$(cat "$r/rc")" = 0 ] && grep -A1 '^Gap: adapter unplugged ' "$r/r1.txt" | grep -q '^[0-9/]*, [0-9:]*,[0-9]'; then
  echo "ok   replug: $(grep -c . "$r/r1.txt") lines, $(grep '^Gap' "$r/r1.txt")"
else
  fail "replug: exit $(cat "$r/rc"), $(tr '\r\n' '  ' <"$r/err")"
fi
boxes=(--demo)

# A port a Linux program holds (TIOCEXCL, which root passes: so root's Wine
# runs as nobody, in a prefix of its own): "in use", status 3.
nobody="$work/nobody"
mkdir -p "$nobody"
if [ "$(id -u)" = 0 ]; then
  chown 65534:65534 "$nobody" && chmod 0755 "$work"
  as=(setpriv --reuid=65534 --regid=65534 --clear-groups env HOME="$nobody" WINEPREFIX="$nobody/wine")
  "${as[@]}" "$wine" wineboot -i >/dev/null 2>&1
  "${as[@]}" "$wine" reg add 'HKLM\Software\Wine\Ports' /v COM1 /d "$work/tty" /f >/dev/null 2>&1
  "${as[@]}" "$wineserver" -k 2>/dev/null || true
fi
start_sim "$work/held.trace"
chmod 0666 "$(readlink -f "$work/tty")"
"$lin/cli/tessary-cli" capture --device "$work/tty" --count 30 --overwrite 01="$work/held.txt" >/dev/null 2>&1 &
holder=$!
sleep 1
set +e
(cd "$nobody" && "${as[@]}" timeout 60 "$wine" "$exe" send "#01ID") >"$work/busy.out" 2>"$work/busy.err"
rc=$?
set -e
kill "$holder" 2>/dev/null || true
wait "$holder" 2>/dev/null || true
stop_sim
if [ ${#as[@]} -gt 0 ]; then "${as[@]}" "$wineserver" -k 2>/dev/null || true; fi
as=()
if [ "$rc" = 3 ] && grep -q 'COM1 (\\\\.\\COM1) is in use by another program' "$work/busy.err"; then
  echo "ok   busy: exit 3, $(tr -d '\r' <"$work/busy.err")"
else
  fail "busy: exit $rc, $(tr '\r\n' '  ' <"$work/busy.err")"
fi

# A line behind ser2net on 127.0.0.1: RFC 2217 carries the rate to the pty, raw TCP refuses an upload.
echo "== tessary-cli.exe against ser2net"
start_sim "$work/net-trace"
rfc=$((20000 + RANDOM % 20000))
raw=$((rfc + 1))
tty="$(readlink -f "$work/tty")"
printf 'connection: &rfc\n  accepter: telnet(rfc2217),tcp,127.0.0.1,%s\n  connector: serialdev,%s,9600n81,local\n' "$rfc" "$tty" >"$work/ser2net.yaml"
printf 'connection: &raw\n  accepter: tcp,127.0.0.1,%s\n  connector: serialdev,%s,9600n81,local\n' "$raw" "$tty" >>"$work/ser2net.yaml"
ser2net -d -c "$work/ser2net.yaml" -P "$work/ser2net.pid" >"$work/ser2net.log" 2>&1 &
s2n=$!
sleep 1
set +e
id="$(timeout 60 "$wine" "$exe" send '#01ID' --device "rfc2217://127.0.0.1:$rfc" 2>"$work/net.err" | tr -d '\r')"
rc_id=$?
timeout 60 "$wine" "$exe" send '#01ID' --baud 19200 --device "rfc2217://127.0.0.1:$rfc" >/dev/null 2>&1
timeout 60 "$wine" "$exe" upload --address 1 "$image" --device "tcp://127.0.0.1:$raw" >/dev/null 2>"$work/net-up.err"
rc_up=$?
set -e
kill "$s2n" 2>/dev/null || true
wait "$s2n" 2>/dev/null || true
stop_sim
want="$("$lin/cli/tessary-cli" --simulate send '#01ID' 2>/dev/null || true)"
if [ "$rc_id" = 0 ] && [ "$id" = "$want" ] && grep -q ' < 19200 *#01ID' "$work/net-trace" && [ "$rc_up" = 2 ] &&
  grep -q 'cannot change its rate' "$work/net-up.err"; then
  echo "ok   ser2net: rfc2217:// answers and reaches 19200, tcp:// upload refused (exit 2)"
else
  fail "ser2net: ID exit $rc_id \"$id\" (want \"$want\"), upload exit $rc_up: $(tr '\r\n' '  ' <"$work/net-up.err") $(tr '\r\n' '  ' <"$work/net.err")"
fi

if [ "$bench" = 1 ]; then
  # Release on both sides, as the README's benchmarks are.
  rel="$root/build-rel"
  cmake -S "$root" -B "$rel" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTESSARY_BUILD_GUI=OFF >/dev/null
  cmake --build "$rel" -j "$(nproc)" --target link_bench >/dev/null
  echo "== link_bench on Linux"
  "$rel/bench/link_bench" || true
  echo "== link_bench.exe under Wine, its peer on Linux behind COM1"
  rm -f "$work/tty"
  "$rel/bench/link_bench" --peer "$work/tty" 300 &
  sim=$!
  for _ in $(seq 1 100); do [ -e "$work/tty" ] && break; sleep 0.05; done
  "$wine" "$win/link_bench.exe" --device '\\.\COM1' || true
  stop_sim
fi

if [ "$failed" -ne 0 ]; then exit 1; fi
echo "test-windows: all passed"

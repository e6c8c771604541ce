#!/usr/bin/env bash
# Checks the Debian package the way a lab's IT person meets it: lintian, the
# AppStream metainfo, an install into a scratch root (dpkg --root: this
# machine's own /usr is not touched), the installed programs run from there
# with a scratch home, and a removal that must leave nothing behind.
#   scripts/check-deb.sh [build-pkg/tessary_VERSION_amd64.deb]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
fail() { echo "check-deb: $*" >&2; exit 1; }
if [ $# -ge 1 ]; then
  deb="$1"
else
  debs=("$root"/build-pkg/tessary_*_amd64.deb)
  [ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "want one build-pkg/tessary_*_amd64.deb (run scripts/package.sh)"
  deb="${debs[0]}"
fi
version="$(dpkg-deb -f "$deb" Version)"

echo "== lintian $(basename "$deb")"
lintian --fail-on error "$deb"
# Depends comes from dpkg-shlibdeps: runtime libraries only.
depends="$(dpkg-deb -f "$deb" Depends)"
[ -n "$depends" ] || fail "no Depends"
if grep -qE '(-dev|^gcc|^g\+\+|^cmake)( |,|$)' <<<"${depends//, /$'\n'}"; then fail "Depends names a build tool: $depends"; fi

scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
inst="$scratch/root"
mkdir -p "$inst/var/lib/dpkg/info" "$inst/var/lib/dpkg/updates" "$scratch/home" "$scratch/run"
chmod 700 "$scratch/run"
touch "$inst/var/lib/dpkg/status"
# The scratch root has none of the libraries: they are this machine's.
dpkg --root="$inst" --force-depends -i "$deb" >"$scratch/dpkg.log" 2>&1 || { cat "$scratch/dpkg.log" >&2; fail "dpkg -i"; }
dpkg --root="$inst" -L tessary >"$scratch/files"
for f in /usr/bin/tessary /usr/bin/tessary-cli /usr/bin/bravik-sim /usr/share/tessary/help/topic4.html \
         /usr/share/applications/com.veltrona.Tessary.desktop /usr/share/metainfo/com.veltrona.Tessary.metainfo.xml \
         /usr/share/icons/hicolor/scalable/apps/com.veltrona.Tessary.svg \
         /usr/share/icons/hicolor/48x48/apps/com.veltrona.Tessary.png \
         /usr/share/icons/hicolor/256x256/apps/com.veltrona.Tessary.png \
         /usr/share/man/man1/tessary.1.gz /usr/share/man/man1/tessary-cli.1.gz /usr/share/man/man1/bravik-sim.1.gz \
         /usr/share/doc/tessary/copyright /usr/share/doc/tessary/changelog.gz; do
  grep -qxF "$f" "$scratch/files" || fail "the package lacks $f"
done
echo "== appstreamcli validate"
appstreamcli validate --no-net "$inst/usr/share/metainfo/com.veltrona.Tessary.metainfo.xml"

echo "== the installed programs (version $version)"
snapshot() { find "$inst/usr" -printf '%p %s %T@ %m\n' | sort; }
snapshot >"$scratch/usr.before"
bin="$inst/usr/bin"
export HOME="$scratch/home" XDG_RUNTIME_DIR="$scratch/run"
unset XDG_CONFIG_HOME TESSARY_HELP_DIR
cd "$scratch/home"
[ "$("$bin/tessary-cli" --version)" = "tessary-cli $version" ] || fail "tessary-cli --version does not say $version"
[ "$("$bin/tessary" --version)" = "tessary $version" ] || fail "tessary --version does not say $version"
"$bin/tessary-cli" ports
# The window on its simulated line for a few seconds, F1 opens the help, and
# SIGTERM closes it with 0.
xvfb-run -a bash -c '
  "$1" --simulate & pid=$!
  sleep 5
  kill -0 "$pid" 2>/dev/null || { wait "$pid"; echo "tessary --simulate ended by itself with $?" >&2; exit 1; }
  main="$(xdotool search --name "^Veltrona Tessary" | head -n 1)"
  [ -n "$main" ] && timeout 5 xdotool windowfocus --sync "$main"
  xdotool key F1
  for _ in $(seq 50); do xdotool search --name "^Tessary Help\$" >/dev/null && break; sleep 0.2; done
  xdotool search --name "^Tessary Help\$" >/dev/null || { echo "F1 opened no help window" >&2; kill -KILL "$pid"; exit 1; }
  kill -TERM "$pid"
  for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  if kill -0 "$pid" 2>/dev/null; then kill -KILL "$pid"; echo "tessary did not end 10 s after SIGTERM" >&2; exit 1; fi
  wait "$pid"' _ "$bin/tessary" || fail "tessary --simulate under xvfb-run: status $?"
echo "tessary --simulate ran 5 s, F1 opened the help, SIGTERM ended it with 0"
snapshot >"$scratch/usr.after"
diff "$scratch/usr.before" "$scratch/usr.after" >&2 || fail "the programs wrote under /usr"

echo "== removal"
dpkg --root="$inst" -r tessary >/dev/null
while read -r f; do
  if [ -e "$inst$f" ] && [ ! -d "$inst$f" ]; then fail "left after removal: $f"; fi
done <"$scratch/files"
if [ -e "$inst/usr" ]; then find "$inst/usr" >&2; fail "left after removal under /usr"; fi
echo "check-deb: $(basename "$deb"): lintian, metainfo, install, run and removal passed"

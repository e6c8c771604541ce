#!/usr/bin/env bash
# Proves that scripts/setup.sh installs everything a configured build loaded:
# each CMake package directory in BUILD_DIR/CMakeCache.txt, and the compilers,
# the emulator and the source trees under /usr/src it names, must belong to a
# Debian package that setup.sh names or that a named package depends on
# (Depends and Pre-Depends only: setup.sh installs no Recommends). A package
# that is on this machine only by chance fails here, not on a bare machine.
#   scripts/check-packages.sh BUILD_DIR
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:?usage: check-packages.sh BUILD_DIR}"
cache="$build/CMakeCache.txt"
[ -r "$cache" ] || { echo "check-packages: $cache: not readable (configure first)" >&2; exit 2; }

mapfile -t listed < <(bash "$root/scripts/setup.sh" --list)
[ ${#listed[@]} -gt 0 ] || { echo "check-packages: setup.sh --list printed nothing" >&2; exit 2; }

# Every package the list pulls in: apt-cache prints each one it visits at the
# start of a line ("<name>" for a virtual package, which installs nothing itself).
declare -A closure=()
read_closure() {
  closure=()
  while read -r name; do
    closure["${name%%:*}"]=1
  done < <(apt-cache depends --recurse --no-recommends --no-suggests --no-conflicts \
             --no-breaks --no-replaces --no-enhances "${listed[@]}" 2>/dev/null | grep -v -e '^ ' -e '^<')
}
unknown() {
  for p in "${listed[@]}"; do [ -n "${closure[$p]:-}" ] || { echo "$p"; return 0; }; done
  return 1
}
read_closure
if unknown >/dev/null; then
  # No package lists yet on this machine (or old ones): fetch them once.
  sudo=""
  if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
  $sudo apt-get -qq update >/dev/null || true
  read_closure
fi
if p="$(unknown)"; then
  echo "check-packages: apt knows no package $p" >&2
  exit 2
fi

# The config file names the package exactly; its directory may be shared.
config_file() {
  local name="$1" dir="$2" lower
  lower="$(printf '%s' "$name" | tr '[:upper:]' '[:lower:]')"
  for f in "$dir/${name}Config.cmake" "$dir/${lower}-config.cmake"; do
    if [ -f "$f" ]; then printf '%s\n' "$f"; return 0; fi
  done
  return 1
}

names=()
files=()
while IFS='=' read -r key dir; do
  name="${key%_DIR:*}"
  file="$(config_file "$name" "$dir")" || continue  # an include folder, not a package
  names+=("$name")
  files+=("$(readlink -f "$file")")
done < <(grep -E '^[A-Za-z0-9_]+_DIR:PATH=/' "$cache")
# The tools of a cross build (mingw-w64, Wine) and a source tree built in it
# (GoogleTest from /usr/src).
while IFS='=' read -r key value; do
  name="${key%%:*}"
  case "$name" in
    *_SOURCE_DIR) [ -f "$value/CMakeLists.txt" ] || continue; value="$value/CMakeLists.txt" ;;
    *) value="$(command -v "$value" || true)"; [ -n "$value" ] || continue ;;
  esac
  names+=("$name")
  files+=("$(readlink -f "$value")")
done < <(grep -E '^(CMAKE_C_COMPILER|CMAKE_CXX_COMPILER|CMAKE_CXX_COMPILER_AR|CMAKE_CROSSCOMPILING_EMULATOR):[A-Z]+=/|^[A-Za-z0-9_]+_SOURCE_DIR:STATIC=/usr/src/' "$cache")
checked=${#files[@]}

# One dpkg query for all: it reads the whole package database each time.
declare -A owner_of=()
while IFS= read -r line; do
  owner_of["${line#*: }"]="${line%%: *}"
done < <(dpkg-query -S "${files[@]}" 2>/dev/null | grep -v '^diversion' || true)

failed=0
for i in "${!files[@]}"; do
  owner="${owner_of[${files[$i]}]:-}"
  owner="${owner%%:*}"
  if [ -z "$owner" ]; then
    echo "check-packages: ${names[$i]}: ${files[$i]} belongs to no Debian package; setup.sh cannot install it" >&2
    failed=1
  elif [ -z "${closure[$owner]:-}" ]; then
    echo "check-packages: ${names[$i]} needs Debian package $owner, which scripts/setup.sh does not install" >&2
    failed=1
  fi
done

if [ "$checked" -eq 0 ]; then
  echo "check-packages: no CMake package directory or tool in $cache" >&2
  exit 2
fi
if [ "$failed" -ne 0 ]; then exit 1; fi
echo "check-packages: $checked CMake packages and tools, all installed by scripts/setup.sh"

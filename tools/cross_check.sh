#!/usr/bin/env bash
# The core on other systems and processors, checked from one Linux x86-64 machine: it is built
# with its C++ checks (tests/cpp) for Windows x86-64 (mingw-w64, run under Wine) and for Linux on
# 64-bit Arm (run under qemu-user), the checks run there, and tools/scan_digest.cpp's digest of
# the statement scan and piece walk of every corpus model must be the same line for line in the
# native build, the native build without vector paths and each cross build.
#   tools/cross_check.sh [windows] [aarch64]     (default: both)
# Run from anywhere, as root on a fresh Debian machine (it installs the packages below) or as a
# user who has them. Builds live in build/cross-*; the models are ../shared/corpus beside the
# checkout (without them only the C++ checks run).
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD="$ROOT/build"
CORPUS="$ROOT/../shared/corpus"
TARGETS=("$@")
[ ${#TARGETS[@]} -eq 0 ] && TARGETS=(windows aarch64)

need=()
have() { dpkg -s "$1" >/dev/null 2>&1; }
for pkg in cmake ninja-build g++; do have "$pkg" || need+=("$pkg"); done
for target in "${TARGETS[@]}"; do
  case "$target" in
    windows) have g++-mingw-w64-x86-64-posix || need+=(g++-mingw-w64-x86-64-posix)
             have wine64 || have wine || need+=(wine64) ;;
    aarch64) for pkg in g++-aarch64-linux-gnu qemu-user; do have "$pkg" || need+=("$pkg"); done ;;
    *) echo "cross_check.sh: unknown target $target (windows, aarch64)" >&2; exit 2 ;;
  esac
done
if [ ${#need[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "cross_check.sh: missing packages: ${need[*]} (run as root or install them)" >&2
    exit 2
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  # Releases that no longer split Wine by word size have only `wine`.
  [[ " ${need[*]} " == *" wine64 "* ]] && ! apt-cache show wine64 >/dev/null 2>&1 && need=("${need[@]/#wine64/wine}")
  apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi

models=()
[ -d "$CORPUS" ] && models=("$CORPUS"/*.ifc)
checks=()
for source in "$ROOT"/tests/cpp/*.cpp; do checks+=("$(basename "$source" .cpp)"); done
passed=0
failed=0
pass() { passed=$((passed + 1)); echo "  ok      $*"; }
fail() { failed=$((failed + 1)); echo "  FAILED  $*"; }

# One configure per build folder; every later run builds only what changed. The native build
# fetches earcut and nanoarrow, the cross builds take the same archives.
configure() {  # folder, cmake arguments...
  local dir="$1"; shift
  [ -f "$dir/CMakeCache.txt" ] && return
  cmake -S "$ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUARNEL_CORE_TESTS=ON "$@" >/dev/null
}
deps="$BUILD/cross-native/_deps"
configure "$BUILD/cross-native"
archives=(-DQUARNEL_EARCUT_ARCHIVE="$(ls "$deps"/mapbox_earcut-*.tar.gz)"
          -DQUARNEL_NANOARROW_ARCHIVE="$(ls "$deps"/nanoarrow-*.tar.gz)")
echo "native: building the scan digest"
cmake --build "$BUILD/cross-native" --target scan_digest scan_digest_scalar >/dev/null

# Digest lines of the corpus from a command prefix, line endings made alike.
digests() { "$@" "${models[@]}" | tr -d '\r'; }
compare() {  # name, digest lines
  if [ "$2" = "$reference" ]; then pass "$1: scan digests of ${#models[@]} models"; else
    fail "$1: scan digests differ from the native build"
    diff <(echo "$reference") <(echo "$2") | head -20 || true
  fi
}
# A missing file fails in the shape of every build ("open <path>: <reason> (os error N)"); an
# empty one reads as a model without statements.
missing="$BUILD/cross-missing.ifc"
empty="$BUILD/cross-empty.ifc"
: > "$empty"
opening() {  # name, command prefix...
  local name="$1"; shift
  local error out
  error=$("$@" "$missing" 2>&1 >/dev/null | tr -d '\r') || true
  out=$("$@" "$empty" | tr -d '\r') || true
  if [[ "$error" =~ ^open\ .*cross-missing\.ifc:\ .+\ \(os\ error\ [0-9]+\)$ &&
        "$out" == "cross-empty.ifc statements=0 records=0 "* ]]; then
    pass "$name: a missing file and an empty one"
  else
    fail "$name: a missing file gave '$error', an empty one '$out'"
  fi
}
opening native "$BUILD/cross-native/scan_digest"
reference=""
if [ ${#models[@]} -gt 0 ]; then
  reference=$(digests "$BUILD/cross-native/scan_digest")
  compare "native without vector paths" "$(digests "$BUILD/cross-native/scan_digest_scalar")"
else
  echo "no corpus at $CORPUS: only the C++ checks run"
fi

for target in "${TARGETS[@]}"; do
  dir="$BUILD/cross-$target"
  case "$target" in
    windows)
      configure "$dir" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchain-mingw64.cmake" "${archives[@]}"
      wine=$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)
      # A prefix of its own in the build folder; Wine wants a HOME even so.
      export WINEPREFIX="$dir/wine-prefix" WINEDEBUG=-all HOME="${HOME:-$dir}"
      [ -d "$WINEPREFIX" ] || "$wine" wineboot --init >/dev/null 2>&1 || true
      run=("$wine"); exe=.exe ;;
    aarch64)
      configure "$dir" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchain-aarch64.cmake" "${archives[@]}"
      run=(qemu-aarch64 -L /usr/aarch64-linux-gnu); exe= ;;
  esac
  echo "$target: building the core, its C++ checks and the scan digest"
  cmake --build "$dir" --target "${checks[@]}" scan_digest scan_digest_scalar >/dev/null
  for check in "${checks[@]}"; do
    if out=$("${run[@]}" "$dir/$check$exe" 2>&1); then pass "$target: $check"; else
      fail "$target: $check"
      echo "$out" | tail -20
    fi
  done
  opening "$target" "${run[@]}" "$dir/scan_digest$exe"
  if [ ${#models[@]} -gt 0 ]; then
    compare "$target" "$(digests "${run[@]}" "$dir/scan_digest$exe")"
    compare "$target without vector paths" "$(digests "${run[@]}" "$dir/scan_digest_scalar$exe")"
  fi
done

echo "cross-check: $passed passed, $failed failed"
[ "$failed" -eq 0 ]

#!/bin/sh
# Builds the libFuzzer targets and runs each for SECONDS:
#   fuzz/run.sh SECONDS [target ...]     (default: every built target)
# The growing corpus stays in fuzz/build/corpus/<target>; findings land in
# fuzz/build/artifacts/<target>/ and the log in fuzz/build/logs/<target>.log.
# Minimise a finding with `fuzz/build/fuzz_<target> -minimize_crash=1 FILE`
# and add it to fuzz/regressions/, which the tests replay.
set -eu
HERE=$(cd "$(dirname "$0")" && pwd)
BUILD="$HERE/build"
SECONDS_EACH=${1:?usage: fuzz/run.sh SECONDS [target ...]}
shift

command -v clang++ >/dev/null || { echo "fuzz/run.sh needs clang (apt-get install -y clang)" >&2; exit 2; }
CC=clang CXX=clang++ cmake -S "$HERE" -B "$BUILD" -G Ninja >/dev/null
cmake --build "$BUILD" >/dev/null
[ -d "$BUILD/seeds" ] || python3 "$HERE/make_seeds.py"

if [ $# -eq 0 ]; then
  set -- $(cd "$BUILD" && ls fuzz_* | sed 's/^fuzz_//')
fi

status=0
for target in "$@"; do
  mkdir -p "$BUILD/corpus/$target" "$BUILD/artifacts/$target" "$BUILD/logs"
  log="$BUILD/logs/$target.log"
  # UBSan already aborts on its first report; ASan leaks are real findings too.
  if ! "$BUILD/fuzz_$target" -max_total_time="$SECONDS_EACH" -timeout=10 -rss_limit_mb=2560 \
      -max_len=65536 -dict="$HERE/ifc.dict" -print_final_stats=1 \
      -artifact_prefix="$BUILD/artifacts/$target/" \
      "$BUILD/corpus/$target" "$BUILD/seeds" >"$log" 2>&1; then
    status=1
    echo "$target: FINDING, see $log and $BUILD/artifacts/$target/"
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  echo "$target: ${runs:-?} executions in ${SECONDS_EACH}s"
done
exit $status

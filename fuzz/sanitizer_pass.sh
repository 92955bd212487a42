#!/bin/sh
# Builds the extension with AddressSanitizer and UndefinedBehaviorSanitizer and
# runs it over the corpus models, the fuzz regression inputs and the hostile-
# file, concurrency and memory tests. Any sanitizer report fails the run.
#   fuzz/sanitizer_pass.sh          short pass (CI)
#   fuzz/sanitizer_pass.sh --full   the whole test suite
# Run from anywhere, as root on a fresh Debian machine or as a user with the
# packages below already installed. Build and venv live in fuzz/build/.
set -eu
HERE=$(cd "$(dirname "$0")" && pwd)
ROOT=$(dirname "$HERE")
BUILD="$HERE/build"
VENV="$BUILD/asan-venv"
FULL=0
[ "${1:-}" = "--full" ] && FULL=1

need=""
for pkg in python3 python3-venv python3-dev g++ cmake ninja-build; do
  dpkg -s "$pkg" >/dev/null 2>&1 || need="$need $pkg"
done
if [ -n "$need" ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "sanitizer_pass.sh: missing packages:$need (run as root or install them)" >&2
    exit 2
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq $need >/dev/null
fi

mkdir -p "$BUILD"
[ -x "$VENV/bin/python" ] || python3 -m venv "$VENV"
"$VENV/bin/python" -m pip install -q --disable-pip-version-check "scikit-build-core>=0.10" "pytest>=7" "pyarrow>=8"
# The extension is built with g++, so the matching runtime is gcc's libasan.
CXX=g++ "$VENV/bin/python" -m pip install -q --disable-pip-version-check --no-build-isolation \
  -Ccmake.define.QUARNEL_SANITIZE=ON -Cbuild-dir="$BUILD/asan-extension" "$ROOT"

LIBASAN=$(g++ -print-file-name=libasan.so)
[ -e "$LIBASAN" ] || { echo "sanitizer_pass.sh: libasan not found" >&2; exit 2; }
# The interpreter is not instrumented: libasan must come first, and its
# deliberate leaks at exit are not ours. Python objects go through malloc so
# that ASan sees their lifetimes too.
export LD_PRELOAD="$LIBASAN"
export ASAN_OPTIONS="detect_leaks=0:halt_on_error=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export PYTHONMALLOC=malloc
export QUARNEL_STRESS_ROUNDS=1 QUARNEL_STRESS_CALLS=1000

cd "$ROOT"
"$VENV/bin/python" - <<'EOF'
import pathlib, sys, time
import quarnel._core as core
import quarnel._arrow as arrow_face
import pyarrow as pa
from quarnel.registry import TABLES
names = [n for n in core.__all__ if n != "__version__"]
root = pathlib.Path.cwd()
paths = sorted((root.parent / "shared" / "corpus").glob("*.ifc"))
paths += sorted(p for p in (root / "fuzz" / "regressions").glob("*") if p.is_file())
paths += sorted((root / "fuzz" / "seeds").glob("*"))
start = time.monotonic()
calls = 0
for k, path in enumerate(paths):
    for name in names:
        try:
            result = getattr(core, name)(str(path))
        except NotImplementedError:
            continue
        assert isinstance(result, dict), (name, path)
        calls += 1
    # Every table through the Arrow face: half taken by pyarrow and checked to the last
    # string and dictionary index, half dropped unread, the halves swapped from file to file.
    streams = arrow_face.read(str(path), [(t, None) for t in TABLES])
    for i, stream in enumerate(streams):
        if (i + k) % 2 == 0:
            pa.table(stream).validate(full=True)
    calls += 1
print(f"sanitized: {calls} calls over {len(paths)} files in {time.monotonic() - start:.1f} s")
EOF

if [ "$FULL" -eq 1 ]; then
  "$VENV/bin/python" -m pytest -q -p no:cacheprovider tests
else
  "$VENV/bin/python" -m pytest -q -p no:cacheprovider tests/test_regressions.py tests/test_hostile.py \
    tests/test_concurrency.py tests/test_memory.py tests/test_whole_tables.py tests/test_lock.py tests/test_arrow.py \
    tests/test_hostile_geometry.py tests/test_complete.py tests/test_relations.py tests/test_attributes_table.py
fi
echo "sanitizer pass: clean"

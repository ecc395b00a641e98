#!/usr/bin/env bash
# Installs what is missing, builds everything with AddressSanitizer and UndefinedBehaviorSanitizer,
# runs each benchmark in its short mode, then runs every test, many at once: each desktop test in
# a private desktop of its own (see tests/CMakeLists.txt). A failing test fails the run; nothing is
# run a second time.
set -euo pipefail
cd "$(dirname "$0")/.."

phase_start=$SECONDS
phase() {  # phase NAME: reports how long the phase before took
  echo "== $1 took $((SECONDS - phase_start)) s"
  phase_start=$SECONDS
}

scripts/install-deps.sh
phase "installing what was missing"

build="${TK_BUILD_DIR:-build/test}"
# A compiler cache shared by every clone on this machine: paths are taken relative to the clone,
# so a fresh clone reuses what an earlier one compiled.
launcher=()
if command -v ccache >/dev/null; then
  export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1 CCACHE_SLOPPINESS=include_file_mtime,include_file_ctime
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
  # The cache is kept small: the disk is shared with other work and may be nearly full.
  export CCACHE_MAXSIZE="${CCACHE_MAXSIZE:-2G}"
fi
need_kb=$((3 * 1024 * 1024))
mkdir -p "$build"
free_kb=$(df -Pk "$build" | awk 'NR == 2 { print $4 }')
if ((free_kb < need_kb)); then
  echo "warning: $((free_kb / 1024)) MB free where the build goes; it needs about 2 GB and the tests' files some more" >&2
fi
# Line tables are all a sanitizer's report needs (file and line of each frame); full debug
# information would take the build from under 2 GB to about 4.5 GB.
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" \
  -DTK_SANITIZE=ON "${launcher[@]}" >/dev/null
cmake --build "$build"
phase "the build"

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:detect_stack_use_after_return=0"
export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

scripts/test-env.sh bash -c '
  set -euo pipefail
  for bench in "$0"/bench/bench_*; do
    [ -f "$bench" ] && [ -x "$bench" ] || continue
    echo "== $(basename "$bench") --short"
    "$bench" --short
  done
' "$build"
phase "the benchmarks' short runs"

jobs="${TK_TEST_JOBS:-$(nproc)}"
((jobs >= 4)) || jobs=4
status=0
ctest --test-dir "$build" --output-on-failure -j "$jobs" || status=$?
phase "the tests ($jobs at a time)"

# A skipped test passes quietly in ctest's summary; say here which were skipped and why.
log="$build/Testing/Temporary/LastTest.log"
if [[ -f "$log" ]]; then
  awk '
    /^[0-9]+\/[0-9]+ Test: / { test = $3 }
    grab && /^\[  SKIPPED \]/ { print "skipped: " test ": " (reason == "" ? "no reason given" : reason); grab = 0; next }
    grab { reason = (reason == "" ? $0 : reason " " $0); next }
    /: Skipped$/ { grab = 1; reason = "" }
  ' "$log"
  # The full-disk recording needs a private mount namespace; say whether this machine gave one.
  if grep -q '^\[       OK \] RecordingCoordinatorFullDiskTest\.' "$log"; then
    echo "full disk: the full-disk recording test ran, in a private mount namespace"
  fi
fi
exit "$status"

#!/usr/bin/env bash
# Installs what is missing, builds everything with AddressSanitizer and UndefinedBehaviorSanitizer,
# runs each benchmark in its short mode, then runs every test inside a private desktop.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

build="${TK_BUILD_DIR:-build/test}"
# A compiler cache shared by every clone on this machine: paths are taken relative to the clone,
# so a fresh clone reuses what an earlier one compiled.
launcher=()
if command -v ccache >/dev/null; then
  export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1 CCACHE_SLOPPINESS=include_file_mtime,include_file_ctime
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTK_SANITIZE=ON "${launcher[@]}" >/dev/null
cmake --build "$build"

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
  # One test at a time: the desktop tests share one X server and sound server, and a sanitizer
  # build of the encoders beside them starves their windows and players. A test that fails is run
  # again, up to three times in all, so a timing slip is told from a fault.
  ctest --test-dir "$0" --output-on-failure -j 1 --repeat until-pass:3
' "$build"

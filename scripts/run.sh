#!/usr/bin/env bash
# Installs what is missing, builds the application and starts it on the current X display.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

build="${TK_BUILD_DIR:-build/release}"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTK_BUILD_TESTS=OFF -DTK_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" --target tavelkombrix
exec "$build/tavelkombrix" "$@"

#!/usr/bin/env bash
# Builds what the Linux service needs and starts it in TCP mode on port 10000, with the
# overlay library substitute printing every line it receives to standard output.
# Usage: tools/run-service.sh [more zamri arguments]   (stop it with Ctrl+C)
# The build lives in build/service (no tests); the settings file is build/service/bin/zamri.ini,
# whose "PORT" (when the file exists) overrides the default port 10000.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-packages.sh service

build=build/service
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DZAMRI_BUILD_TESTS=OFF -DZAMRI_BUILD_BENCH=OFF >/dev/null
fi
targets=(zamri)
# The sender for a second terminal, once the tools tree has it.
if cmake --build "$build" --target help 2>/dev/null | grep -q '^zamri-send:'; then targets+=(zamri-send); fi
cmake --build "$build" -j 2 --target "${targets[@]}" >&2

unset OVTEXT_LOG OVTEXT_FAIL_OPENS
exec "$build/bin/zamri" --tcp "$@"

#!/usr/bin/env bash
# Prints the path of a native (Linux) tool of this source tree, building it when no native
# build has it yet. Windows scenarios use it to talk to the program under wine.
# Usage: native_tool.sh SOURCE_DIR TOOL
set -u
source=$1
tool=$2
for b in native native-asan native-tsan service; do
    [ -x "$source/build/$b/bin/$tool" ] && { echo "$source/build/$b/bin/$tool"; exit 0; }
done
cmake -S "$source" -B "$source/build/service" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DZAMRI_BUILD_TESTS=OFF -DZAMRI_BUILD_BENCH=OFF >/dev/null &&
    cmake --build "$source/build/service" --target "$tool" >/dev/null &&
    echo "$source/build/service/bin/$tool"

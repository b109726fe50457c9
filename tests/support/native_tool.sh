#!/usr/bin/env bash
# Prints the path of a native (Linux) tool of this source tree, building it when no native
# build has it yet. Windows scenarios use it to talk to the program under wine and to look at
# its page. The fallback build, build/tools, has the tests on, since some tools (page_probe)
# live in the test tree.
# Usage: native_tool.sh SOURCE_DIR TOOL
set -u
source=$1
tool=$2
for b in native native-asan native-tsan service tools; do
    [ -x "$source/build/$b/bin/$tool" ] && { echo "$source/build/$b/bin/$tool"; exit 0; }
done
cmake -S "$source" -B "$source/build/tools" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DZAMRI_BUILD_TESTS=ON -DZAMRI_BUILD_BENCH=OFF >/dev/null &&
    cmake --build "$source/build/tools" --target "$tool" >/dev/null &&
    echo "$source/build/tools/bin/$tool"

#!/usr/bin/env bash
# Prints the path of a native (Linux) tool of this source tree, building it when no native
# build has it yet. Windows scenarios use it to talk to the program under wine.
# Usage: native_tool.sh SOURCE_DIR TOOL
# Tools of the test tree (page_probe) are built in build/tools, which has the tests on; the
# others in build/service, the plain service build.
set -u
source=$1
tool=$2
for b in native native-asan native-tsan service tools; do
    [ -x "$source/build/$b/bin/$tool" ] && { echo "$source/build/$b/bin/$tool"; exit 0; }
done
case "$tool" in
page_probe) dir=$source/build/tools tests=ON ;;
*) dir=$source/build/service tests=OFF ;;
esac
cmake -S "$source" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DZAMRI_BUILD_TESTS=$tests -DZAMRI_BUILD_BENCH=OFF >/dev/null &&
    cmake --build "$dir" --target "$tool" >/dev/null &&
    echo "$dir/bin/$tool"

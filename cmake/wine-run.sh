#!/usr/bin/env bash
# Runs one Windows executable under wine with a private prefix inside the build tree.
# The prefix is the nearest "wineprefix" beside a CMakeCache.txt above the current directory,
# or WINEPREFIX when the caller set it.
set -u
if [ -z "${WINEPREFIX:-}" ]; then
    dir=$(pwd)
    while [ "$dir" != "/" ] && [ ! -f "$dir/CMakeCache.txt" ]; do dir=$(dirname "$dir"); done
    [ -f "$dir/CMakeCache.txt" ] || dir=$(pwd)
    # A nested build (a test's own subdirectory) still shares the top build tree's prefix.
    top="$dir"
    while [ "$(dirname "$top")" != "/" ] && [ -f "$(dirname "$top")/CMakeCache.txt" ]; do top=$(dirname "$top"); done
    export WINEPREFIX="$top/wineprefix"
fi
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
if [ ! -d "$WINEPREFIX" ]; then
    mkdir -p "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1 || true
fi
exec wine "$@"

#!/usr/bin/env bash
# Runs the capture tests under wine over a real printer line: a socat pseudo-terminal pair
# whose two ends are mapped to COM5 (the channel's port) and COM6 (where the test writes as the
# till would) in the build tree's wine prefix.
# Usage: run_capture_tests_wine.sh <wine-run.sh> <serial_capture_tests.exe> [gtest arguments]
set -u
runner=$1
exe=$2
shift 2

if ! command -v socat >/dev/null 2>&1; then
    echo "socat is missing: running without a printer line"
    exec bash "$runner" "$exe" "$@"
fi

dir=$(mktemp -d)
socat_pid=""
cleanup() {
    [ -n "$socat_pid" ] && kill "$socat_pid" 2>/dev/null && wait "$socat_pid" 2>/dev/null
    rm -rf "$dir"
}
trap cleanup EXIT

socat "pty,raw,echo=0,link=$dir/capture" "pty,raw,echo=0,link=$dir/feed" &
socat_pid=$!
for _ in $(seq 100); do [ -e "$dir/capture" ] && [ -e "$dir/feed" ] && break; sleep 0.05; done
capture=$(readlink -f "$dir/capture")
feed=$(readlink -f "$dir/feed")
if [ ! -e "$capture" ] || [ ! -e "$feed" ]; then
    echo "socat made no pseudo-terminals"
    exit 1
fi

# wine-run.sh finds the prefix from the working directory when WINEPREFIX is not set; the
# registry edits must go to the same one.
if [ -z "${WINEPREFIX:-}" ]; then
    top=$(pwd)
    while [ "$top" != "/" ] && [ ! -f "$top/CMakeCache.txt" ]; do top=$(dirname "$top"); done
    while [ "$(dirname "$top")" != "/" ] && [ -f "$(dirname "$top")/CMakeCache.txt" ]; do top=$(dirname "$top"); done
    export WINEPREFIX="$top/wineprefix"
fi
bash "$runner" reg add 'HKLM\Software\Wine\Ports' /v COM5 /t REG_SZ /d "$capture" /f >/dev/null 2>&1
bash "$runner" reg add 'HKLM\Software\Wine\Ports' /v COM6 /t REG_SZ /d "$feed" /f >/dev/null 2>&1
# The device links are made from that key when wine starts; a wine server that is already
# running (other tests share it) would not see the new values, so the links are set directly.
ln -sfn "$capture" "$WINEPREFIX/dosdevices/com5"
ln -sfn "$feed" "$WINEPREFIX/dosdevices/com6"

ZAMRI_TEST_CAPTURE_PORT=COM5 ZAMRI_TEST_FEED_PORT=COM6 bash "$runner" "$exe" "$@"

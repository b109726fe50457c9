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
start_socat() {
    socat "pty,raw,echo=0,link=$dir/capture" "pty,raw,echo=0,link=$dir/feed" &
    socat_pid=$!
    for _ in $(seq 100); do [ -e "$dir/capture" ] && [ -e "$dir/feed" ] && return 0; sleep 0.05; done
    return 1
}
stop_socat() {
    [ -n "$socat_pid" ] && kill "$socat_pid" 2>/dev/null && wait "$socat_pid" 2>/dev/null
    socat_pid=""
}
cleanup() {
    stop_socat
    rm -rf "$dir"
}
trap cleanup EXIT

if ! start_socat; then
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
# The ports name socat's links, not the pseudo-terminals behind them: after an unplug socat
# makes new ones under the same links, as a USB adapter comes back under the same name.
bash "$runner" reg add 'HKLM\Software\Wine\Ports' /v COM5 /t REG_SZ /d "$dir/capture" /f >/dev/null 2>&1
bash "$runner" reg add 'HKLM\Software\Wine\Ports' /v COM6 /t REG_SZ /d "$dir/feed" /f >/dev/null 2>&1
# The device links are made from that key when wine starts; a wine server that is already
# running (other tests share it) would not see the new values, so the links are set directly.
ln -sfn "$dir/capture" "$WINEPREFIX/dosdevices/com5"
ln -sfn "$dir/feed" "$WINEPREFIX/dosdevices/com6"

# The tests pull the cable and plug it back in by asking: unplug.request / replug.request in
# the control directory, answered with unplug.done / replug.done.
control="$dir/control"
mkdir -p "$control"
ZAMRI_TEST_CAPTURE_PORT=COM5 ZAMRI_TEST_FEED_PORT=COM6 ZAMRI_TEST_LINE_CONTROL="$control" \
    bash "$runner" "$exe" "$@" &
test_pid=$!
while kill -0 "$test_pid" 2>/dev/null; do
    if [ -f "$control/unplug.request" ]; then
        rm -f "$control/unplug.request"
        stop_socat
        touch "$control/unplug.done"
    fi
    if [ -f "$control/replug.request" ]; then
        rm -f "$control/replug.request"
        start_socat && touch "$control/replug.done"
    fi
    sleep 0.05
done
wait "$test_pid"

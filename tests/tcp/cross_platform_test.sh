#!/usr/bin/env bash
# The TCP protocol between two independent builds: the Linux zamri-send delivers a receipt to
# the Windows program (zamri.exe /tcp under wine), and the Windows zamri-send.exe delivers one
# to the Linux service (zamri --tcp). Each side's overlay record must hold exactly the receipt.
# Usage: cross_platform_test.sh SOURCE_DIR WINDOWS_BUILD_DIR
# The Linux programs are built here with a plain CMake call into WINDOWS_BUILD_DIR/native-peer.
set -euo pipefail
source_dir=$(cd "$1" && pwd)
windows_dir=$(cd "$2" && pwd)
peer_dir="$windows_dir/native-peer"
work=$(mktemp -d)
pids=()
xvfb_pid=""

cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
    wineserver -k >/dev/null 2>&1 || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

echo "== building the Linux programs in $peer_dir"
if [ ! -f "$peer_dir/CMakeCache.txt" ]; then
    cmake -S "$source_dir" -B "$peer_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DZAMRI_BUILD_TESTS=OFF -DZAMRI_BUILD_BENCH=OFF >/dev/null
fi
cmake --build "$peer_dir" -j 2 --target zamri zamri-send >/dev/null

# A prefix of its own: the tray program keeps to one instance per desktop, so a zamri.exe that
# another test runs in the shared prefix must not meet this one.
export WINEPREFIX="$windows_dir/wineprefix-tcp-cross"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
if [ -z "${DISPLAY:-}" ]; then
    for n in $(seq 60 89); do
        [ -e "/tmp/.X11-unix/X$n" ] && continue
        Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
        xvfb_pid=$!
        export DISPLAY=":$n"
        break
    done
    for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${DISPLAY#:}" ] && break; sleep 0.1; done
fi
wine_run="$source_dir/cmake/wine-run.sh"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "== creating the wine prefix $WINEPREFIX (once)"
    mkdir -p "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1 || true
fi

listening() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }

free_port() {
    local port
    for _ in $(seq 100); do
        port=$((20000 + RANDOM % 40000))
        listening "$port" || { echo "$port"; return; }
    done
    fail "no free port"
}

wait_for_port() {
    for _ in $(seq 600); do
        listening "$1" && return 0
        sleep 0.1
    done
    fail "nothing listens on port $1"
}

# The overlay writes of a record as "channel<TAB>flags<TAB>text", waiting for count of them.
overlay_writes() {
    local log=$1 count=$2
    for _ in $(seq 600); do
        [ -f "$log" ] && [ "$(grep -c '^OV_write' "$log" || true)" -ge "$count" ] && break
        sleep 0.1
    done
    grep '^OV_write' "$log" 2>/dev/null | cut -f3-5 || true
}

printf 'STORE 0042 TILL 3\r\nCOFFEE     2.50\r\nTOTAL      2.50\r\n' >"$work/receipt.txt"
expected() {  # channel
    for _ in 1 2; do
        printf '%s\t0\tSTORE 0042 TILL 3\n%s\t0\tCOFFEE     2.50\n%s\t2\tTOTAL      2.50\n' "$1" "$1" "$1"
    done
}

echo "== Linux zamri-send to the Windows program under wine"
win_dir="$work/windows"
mkdir -p "$win_dir"
cp "$windows_dir/bin/zamri.exe" "$windows_dir/bin/ovtext.dll" "$windows_dir/bin/langpack.dll" "$win_dir/"
port=$(free_port)
printf '[Channel]\r\nPORT=%s\r\n' "$port" >"$win_dir/zamri.ini"
win_log="$win_dir/overlay.log"
(cd "$win_dir" && OVTEXT_LOG="Z:${win_log//\//\\}" exec "$wine_run" zamri.exe /tcp) &
pids+=($!)
wait_for_port "$port"
"$peer_dir/bin/zamri-send" -q -p "$port" -c 5 --form-feed --repeat 2 "$work/receipt.txt" ||
    fail "the Linux zamri-send could not deliver to the Windows program"
got=$(overlay_writes "$win_log" 6)
[ "$got" = "$(expected 4)" ] || fail "the Windows program recorded:
$got"
echo "ok: 6 lines recorded by the Windows program"

echo "== Windows zamri-send.exe under wine to the Linux service"
linux_dir="$work/linux"
mkdir -p "$linux_dir"
port=$(free_port)
printf '[Channel]\nPORT=%s\n' "$port" >"$linux_dir/zamri.ini"
linux_log="$linux_dir/overlay.log"
OVTEXT_LOG="$linux_log" "$peer_dir/bin/zamri" --tcp --settings "$linux_dir/zamri.ini" 2>"$linux_dir/stderr.txt" &
pids+=($!)
wait_for_port "$port"
cp "$work/receipt.txt" "$linux_dir/"
(cd "$linux_dir" && "$wine_run" "$windows_dir/bin/zamri-send.exe" -q -p "$port" -c 12 --form-feed --repeat 2 receipt.txt) ||
    fail "the Windows zamri-send could not deliver to the Linux service"
got=$(overlay_writes "$linux_log" 6)
[ "$got" = "$(expected 11)" ] || fail "the Linux service recorded:
$got"
echo "ok: 6 lines recorded by the Linux service"

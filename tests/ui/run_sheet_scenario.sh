#!/usr/bin/env bash
# Runs one scenario of sheet_driver.exe against the real zamri.exe inside a wine virtual desktop,
# in a fresh directory with copies of the programs, and serves the driver's requests:
#   shot.request  a screenshot, saved as ARTIFACT_DIR/<name>.png
#   send.request  "PORT\nCAMERA\nlines..." sent with the Linux zamri-send
#   port.request  bytes written into the pseudo-terminal that COM8 is mapped to
# Usage: run_sheet_scenario.sh SCENARIO BIN_DIR ARTIFACT_DIR SOURCE_DIR
set -u
scenario=$1
bin=$(cd "$2" && pwd)
artifacts=$3
source=$4
mkdir -p "$artifacts"
export WINEPREFIX="${WINEPREFIX:-$(dirname "$bin")/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"

work=$(mktemp -d /tmp/zamri-sheet-XXXXXX)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" >/dev/null 2>&1; done
    case $scenario in serial | detect) wine reg delete 'HKLM\Software\Wine\Ports' /v COM8 /f >/dev/null 2>&1 ;; esac
    rm -rf "$work"
}
trap cleanup EXIT

if [ -z "${DISPLAY:-}" ]; then
    for n in $(seq 141 180); do
        [ -e "/tmp/.X11-unix/X$n" ] && continue
        Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
        pids+=($!)
        export DISPLAY=":$n"
        break
    done
    for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X${DISPLAY#:}" ] && break; sleep 0.05; done
fi

for f in zamri.exe ovtext.dll langpack.dll sheet_driver.exe; do
    cp "$bin/$f" "$work/" || { echo "missing $bin/$f"; exit 1; }
done
cd "$work"

args=()
sender=""
if [ "$scenario" = tcp ]; then
    sender=$(bash "$source/tests/support/native_tool.sh" "$source" zamri-send) || { echo "no Linux zamri-send"; exit 1; }
    while :; do
        port=$((20000 + RANDOM % 12000))  # below the ephemeral range, where no outgoing connection holds it
        (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null || break
    done
    args=("$port")
fi
if [ "$scenario" = network ]; then
    while :; do
        port=$((20000 + RANDOM % 12000))  # below the ephemeral range, where no outgoing connection holds it
        (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null || break
    done
    args=("$port")
fi
if [ "$scenario" = serial ] || [ "$scenario" = detect ]; then
    # COM8 is one end of a pseudo-terminal pair; the driver's bytes go into the other end. A
    # wine server that already runs reads the key only when it starts, so the device link is
    # set as well.
    socat pty,raw,echo=0,link="$work/com8" pty,raw,echo=0,link="$work/printer" &
    pids+=($!)
    for _ in $(seq 100); do [ -e "$work/printer" ] && [ -e "$work/com8" ] && break; sleep 0.05; done
    wine reg add 'HKLM\Software\Wine\Ports' /v COM8 /t REG_SZ /d "$(readlink -f "$work/com8")" /f >/dev/null 2>&1
    ln -sfn "$(readlink -f "$work/com8")" "$WINEPREFIX/dosdevices/com8"
fi
if [ "$scenario" = detect ]; then
    # Detection opens and closes the port for each setting it tries; a pseudo-terminal whose
    # far side closes makes socat end the pair, so the script holds it open (it never reads).
    exec 7<>"$work/com8"
    cp "$source/tests/detect/golden/escpos_market.receipt" "$work/"
fi

wine explorer "/desktop=zamri-sheet-$scenario,1024x768" sheet_driver.exe "$scenario" "${args[@]}" >/dev/null 2>&1 &
pids+=($!)

deadline=$((SECONDS + 240))
while [ ! -f result.txt ] && [ $SECONDS -lt $deadline ]; do
    if [ -f shot.request ]; then
        import -window root -crop 1024x768+0+0 +repage "$artifacts/$(cat shot.request).png"
        rm -f shot.request
        touch shot.done
    fi
    if [ -f send.request ]; then
        to=$(head -1 send.request)
        camera=$(sed -n 2p send.request)
        tail -n +3 send.request | "$sender" -q -p "$to" -c "$camera" || echo "zamri-send failed"
        rm -f send.request
        touch send.done
    fi
    if [ -f port.request ]; then
        cat port.request > "$work/printer"
        rm -f port.request
        touch port.done
    fi
    sleep 0.05
done
if [ ! -f result.txt ]; then
    echo "$scenario: the driver wrote no result in time"
    exit 1
fi
echo "$scenario: $(cat result.txt)"
[ "$(cat result.txt)" = PASS ]

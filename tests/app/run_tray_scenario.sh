#!/usr/bin/env bash
# Runs one scenario of tray_driver.exe against the real zamri.exe inside a wine virtual desktop
# (which has a notification area), in a fresh directory with copies of the programs.
# Usage: run_tray_scenario.sh SCENARIO BIN_DIR ARTIFACT_DIR SOURCE_DIR DISTRIBUTION
# The programs come from BIN_DIR/../DISTRIBUTION.zip, the Windows distribution.
# Screenshots that the driver asks for are saved as ARTIFACT_DIR/<name>.png. The TCP scenario
# sends with the Linux zamri-send of a native build in SOURCE_DIR/build (built when missing).
set -u
scenario=$1
bin=$(cd "$2" && pwd)
artifacts=$3
source=$4
distribution=$5
mkdir -p "$artifacts"
export WINEPREFIX="${WINEPREFIX:-$(dirname "$bin")/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"

xvfb_pid=""
if [ -z "${DISPLAY:-}" ]; then
    for n in $(seq 101 140); do
        [ -e "/tmp/.X11-unix/X$n" ] && continue
        Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
        xvfb_pid=$!
        export DISPLAY=":$n"
        break
    done
    for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X${DISPLAY#:}" ] && break; sleep 0.05; done
fi

work=$(mktemp -d /tmp/zamri-tray-XXXXXX)
explorer_pid=""
cleanup() {
    [ -n "$explorer_pid" ] && kill "$explorer_pid" >/dev/null 2>&1
    [ -n "${socat_pid:-}" ] && kill "$socat_pid" >/dev/null 2>&1
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" >/dev/null 2>&1
    rm -rf "$work"
}
trap cleanup EXIT

# The program as it ships: unpacked from the distribution zip, plus the driver and its probe.
zip=$(dirname "$bin")/$distribution.zip
(cd "$work" && cmake -E tar xf "$zip") || { echo "cannot unpack $zip"; exit 1; }
mv "$work/$distribution"/* "$work/" && rmdir "$work/$distribution"
for f in zamri.exe ovtext.dll langpack.dll zamri-de.lng zamri-en.lng; do
    [ -f "$work/$f" ] || { echo "$f is missing from $zip"; exit 1; }
done
for f in tray_driver.exe menu_probe.dll; do
    cp "$bin/$f" "$work/" || { echo "missing $bin/$f"; exit 1; }
done

cd "$work"

sender=""
# A port that nothing listens on.
free_port() {
    local p
    while :; do
        p=$((20000 + RANDOM % 12000))  # below the ephemeral range, where no outgoing connection holds it
        (exec 3<>"/dev/tcp/127.0.0.1/$p") 2>/dev/null || break
    done
    echo "$p"
}
if [ "$scenario" = tcp-e2e ] || [ "$scenario" = web ] || [ "$scenario" = trouble ]; then
    sender=$(bash "$source/tests/support/native_tool.sh" "$source" zamri-send) || { echo "no Linux zamri-send"; exit 1; }
    port=$(free_port)
    printf '[Channel]\r\nPORT=%d\r\n' "$port" > zamri.ini
fi
if [ "$scenario" = web ]; then
    probe_tool=$(bash "$source/tests/support/native_tool.sh" "$source" page_probe) || { echo "no page_probe"; exit 1; }
    web_port=$(free_port)
    # On every address without a password: the program must warn in its error output.
    printf '[Options]\r\nHttpPort=%d\r\nHttpAddress=0.0.0.0\r\n' "$web_port" >> zamri.ini
fi

# The page of the Windows program read from Linux: the live stream and the search with curl,
# the page itself in headless Chromium (its lines, and a screenshot).
check_web() {
    local url="http://127.0.0.1:$web_port/" verdict=PASS stream search probe line
    stream=$(curl -sN --max-time 3 "${url}api/live?after=0" 2>/dev/null)
    for line in "STORE 0042  TILL 3" "Käse      1.20" "TOTAL      1.20"; do
        grep -qF "\"text\":\"$line\"" <<<"$stream" || verdict="live stream lacks: $line"
    done
    # The search reads the Windows program's journal (on by default, beside the settings).
    # The journal writes on its own thread: a line just shown live may reach it a moment later.
    for _ in 1 2 3 4 5 6 7 8 9 10; do
        search=$(curl -s --max-time 5 "${url}api/search?text=k%C3%A4se" 2>/dev/null)
        grep -qF '"TOTAL      1.20"' <<<"$search" && break
        sleep 0.5
    done
    grep -qE '"text":"Käse      1\.20","flags":[0-9]+,"match":true' <<<"$search" || verdict="the search did not find the receipt: $search"
    grep -qE '"text":"TOTAL      1\.20","flags":[0-9]+,"match":false\}\]\}\]' <<<"$search" || verdict="the search result is not the whole receipt: $search"
    grep -qF "/ has no password, so every machine" zamri-errors.log 2>/dev/null || verdict="zamri-errors.log lacks the warning"
    curl -s --max-time 5 "${url}api/status" 2>/dev/null | grep -qF '"warning":"warning: the web page at' || verdict="the status lacks the warning"
    [ "$(curl -s -o /dev/null -w '%{http_code}' --max-time 5 -H 'Host: evil.example.com' "${url}api/status")" = 421 ] || verdict="a wrong Host was served"
    # The page itself in Chromium, waiting for the live stream to bring the lines.
    if ! probe=$("$probe_tool" "$url" "TOTAL      1.20" "$artifacts/web-from-windows.png" 2>&1); then
        verdict="the page seen in Chromium: $probe"
    fi
    printf '%s' "$verdict" > web.result
}
if [ "$scenario" = trouble ]; then
    # The journal's folder would be inside a file; nothing listens on port 1.
    echo "a file, not a folder" > blocked
    printf '[Options]\r\nJournal=blocked\\journal\r\nSyslog=tcp://127.0.0.1:1\r\n' >> zamri.ini
fi

socat_pid=""
case "$scenario" in
serial)
    # The printer line: a socat pseudo-terminal pair, one end COM7 (channel 1's port), the
    # other COM8 (where the driver writes as the printer's cable would carry it).
    command -v socat >/dev/null || { echo "socat is missing"; exit 1; }
    socat "pty,raw,echo=0,link=$work/capture" "pty,raw,echo=0,link=$work/feed" &
    socat_pid=$!
    for _ in $(seq 100); do [ -e "$work/capture" ] && [ -e "$work/feed" ] && break; sleep 0.05; done
    # A running wine server does not reread the ports key, so the device links are set too.
    wine reg add 'HKLM\Software\Wine\Ports' /v COM7 /t REG_SZ /d "$(readlink -f "$work/capture")" /f >/dev/null 2>&1
    wine reg add 'HKLM\Software\Wine\Ports' /v COM8 /t REG_SZ /d "$(readlink -f "$work/feed")" /f >/dev/null 2>&1
    ln -sfn "$(readlink -f "$work/capture")" "$WINEPREFIX/dosdevices/com7"
    ln -sfn "$(readlink -f "$work/feed")" "$WINEPREFIX/dosdevices/com8"
    # Channel 1: enabled, COM7, 9600 8N1, no flow control, "Text Only", form feed.
    printf '[Channel]\r\n1=1,COM7,9600,0,8,0,0,1,0,\r\n' > zamri.ini
    ;;
dump-refused)
    # Enabled: channels 2 and 16 (offered) and 17 (beyond the first 16); channel 3 is off.
    printf '[Channel]\r\n2=1,COM21,9600,0,8,0,0,1,0,\r\n3=0,COM22,9600,0,8,0,0,1,0,\r\n16=1,COM23,9600,0,8,0,0,1,0,\r\n17=1,COM24,9600,0,8,0,0,1,0,\r\n' > zamri.ini
    ;;
esac

wine explorer "/desktop=zamri-$scenario,1024x768" tray_driver.exe "$scenario" >/dev/null 2>&1 &
explorer_pid=$!

# Serve screenshot requests until the driver has written its result (bounded).
deadline=$((SECONDS + 150))
while [ ! -f result.txt ] && [ $SECONDS -lt $deadline ]; do
    if [ -f shot.request ]; then
        name=$(cat shot.request)
        # The scenario's own desktop window (other scenarios never run at the same time).
        desktop=$(xwininfo -name "zamri-$scenario - Wine desktop" 2>/dev/null | awk '/Window id:/ {print $4}')
        import -window "${desktop:-root}" -crop 1024x768+0+0 +repage "$artifacts/$name.png"
        rm -f shot.request
        touch shot.done
    fi
    if [ -f web.request ]; then
        check_web
        rm -f web.request
        touch web.done
    fi
    if [ -f send.request ]; then
        # The program's window can be up a moment before its TCP server listens: a refused
        # connection (exit status 2) is tried again, for up to five seconds.
        for _ in $(seq 50); do
            "$sender" -q -p "$port" -c 2 --form-feed < send.request 2>/dev/null
            status=$?
            [ "$status" -eq 2 ] || break
            sleep 0.1
        done
        [ "$status" -eq 0 ] || echo "zamri-send failed with status $status"
        rm -f send.request
        touch send.done
    fi
    sleep 0.05
done
if [ ! -f result.txt ]; then
    echo "$scenario: the driver wrote no result in time"
    exit 1
fi
# The desktop ends once its last program has; give it the same bound.
for _ in $(seq 200); do kill -0 "$explorer_pid" 2>/dev/null || break; sleep 0.05; done
echo "$scenario: $(cat result.txt)"
[ "$(cat result.txt)" = PASS ]

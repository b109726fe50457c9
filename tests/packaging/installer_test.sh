#!/usr/bin/env bash
# The Windows installer under wine, in a prefix of its own made for this run: installed silently
# in TCP mode, its files, Run entry and Start-menu links checked, the program started as the Run
# entry starts it and fed a receipt over TCP, then uninstalled silently while it runs (all but
# the settings file goes); then clicked through page by page by installer_driver.exe, with a
# screenshot of every page of the installer and the uninstaller in ARTIFACT_DIR.
# Usage: installer_test.sh SETUP.exe BIN_DIR ARTIFACT_DIR SOURCE_DIR VERSION
# The receipt is sent with the Linux zamri-send of a native build in SOURCE_DIR/build.
set -u
setup=$(readlink -f "$1")
bin=$(cd "$2" && pwd)
artifacts=$(mkdir -p "$3" && cd "$3" && pwd)
source=$4
version=$5
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
check() { local what=$1; shift; "$@" || fail "$what"; }
wait_until() { # SECONDS COMMAND...: true once COMMAND succeeds
    local deadline=$((SECONDS + $1)); shift
    until "$@"; do [ $SECONDS -lt $deadline ] || return 1; sleep 0.1; done
}

work=$(mktemp -d /tmp/zamri-setup-XXXXXX)
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset OVTEXT_LOG OVTEXT_FAIL_OPENS
xvfb_pid=""
program_pid=""
explorer_pid=""
cleanup() {
    [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null
    [ -n "$explorer_pid" ] && kill "$explorer_pid" 2>/dev/null
    wineserver -k >/dev/null 2>&1
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
if [ -z "${DISPLAY:-}" ]; then
    for n in $(seq 141 180); do
        [ -e "/tmp/.X11-unix/X$n" ] && continue
        Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
        xvfb_pid=$!
        export DISPLAY=":$n"
        break
    done
    wait_until 5 test -e "/tmp/.X11-unix/X${DISPLAY#:}"
fi
sender=$(bash "$source/tests/support/native_tool.sh" "$source" zamri-send) || { echo "FAIL: no Linux zamri-send"; exit 1; }

mkdir -p "$WINEPREFIX"
wineboot -i >/dev/null 2>&1
wineserver -p >/dev/null 2>&1

reg_value() { # KEY VALUE: the value's data, or nothing
    wine reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | sed -n "s/^ *$2 *REG_[A-Z_]* *//p"
}
run_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\zamri'

# --- silent installation, TCP mode ---
wine "$setup" /S /TCP
check "silent installation exits with 0" [ $? -eq 0 ]
folder_win=$(reg_value "$uninstall_key" InstallLocation)
[ -n "$folder_win" ] || { echo "FAIL: no InstallLocation in the uninstall entry"; exit 1; }
folder=$(winepath -u "$folder_win" 2>/dev/null)
check "installed per user: $folder_win" grep -q '\\AppData\\Local\\Programs\\zamri$' <<<"$folder_win"
for f in zamri.exe ovtext.dll langpack.dll zamri-de.lng zamri-en.lng zamri-send.exe zamri-replay.exe README.md docs/troubleshooting.md uninstall.exe; do
    check "$f installed" [ -f "$folder/$f" ]
done
check "version in the uninstall entry" [ "$(reg_value "$uninstall_key" DisplayVersion)" = "$version" ]
run_entry=$(reg_value "$run_key" zamri)
check "Run entry: $run_entry" [ "$run_entry" = "\"$folder_win\\zamri.exe\" /tcp" ]
menu=$(find "$WINEPREFIX/drive_c/users" -type d -path '*Start Menu/Programs/zamri' | head -1)
for link in "zamri" "zamri (TCP)" "Properties" "Uninstall zamri"; do
    check "Start-menu link $link" [ -f "$menu/$link.lnk" ]
done
check "zamri (TCP) link starts /tcp" grep -qx /tcp <<<"$(strings -el "$menu/zamri (TCP).lnk")"
check "Properties link starts /property" grep -qx /property <<<"$(strings -el "$menu/Properties.lnk")"

# --- the program as the Run entry starts it, with a settings file beside it ---
while :; do
    port=$((30000 + RANDOM % 20000))
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null || break
done
printf '[Channel]\r\nPORT=%d\r\n' "$port" >"$folder/zamri.ini"
program=${run_entry#\"}
arguments=${program##*\" }
program=${program%%\"*}
start_program() {
    wine "$program" $arguments >/dev/null 2>&1 &
    program_pid=$!
}
send_receipt() {
    printf 'STORE 0042  TILL 3\nTOTAL      1.20\n' | "$sender" -q -p "$port" -c 2 --form-feed 2>/dev/null
    [ $? -ne 2 ]  # 2: nothing listens yet
}
receipts_shown() { [ "$(grep -c "$(printf 'OV_write\t1\t1\t2\tTOTAL      1.20')" "$folder/ovtext.log")" = "$1" ]; }
ended() { local state; state=$(ps -o stat= -p "$1"); [ -z "$state" ] || [[ $state == Z* ]]; }
expect_ended() { # WHO: the program was ended by WHO, in order
    check "$1 ended the program" wait_until 60 ended "$program_pid"
    wait "$program_pid"
    check "the program ended in order (exit code $?)" [ $? -eq 0 ]
    program_pid=""
}
start_program
check "the installed program listens on $port" wait_until 30 send_receipt
check "the receipt reached the overlay stand-in" wait_until 20 receipts_shown 1

# --- installing again over the running program (an upgrade) ---
# The recorder's own overlay library in place of the stand-in (here: the stand-in with a byte
# more, which still loads) must survive the upgrade.
printf 'R' >>"$folder/ovtext.dll"
recorder_library=$(md5sum <"$folder/ovtext.dll")
# And an older program, which the upgrade replaces.
printf 'old' >>"$folder/zamri.exe"
wine "$setup" /S /TCP
check "installation over the running program exits with 0" [ $? -eq 0 ]
expect_ended "the installer"
check "overlay closed by the stopped program" grep -q '^OV_close' "$folder/ovtext.log"
check "the recorder's overlay library kept" [ "$(md5sum <"$folder/ovtext.dll")" = "$recorder_library" ]
check "zamri.exe replaced" cmp -s "$folder/zamri.exe" "$bin/zamri.exe"
start_program
check "the program runs again" wait_until 30 send_receipt
check "the second receipt reached the overlay stand-in" wait_until 20 receipts_shown 2
journal_has() { [ "$(cat "$folder"/journal/*.jsonl 2>/dev/null | grep -c '"flags":2,.*"text":"TOTAL      1.20"')" = "$1" ]; }
check "both receipts are in the journal beside the program" wait_until 20 journal_has 2

# --- silent uninstallation while the program runs ---
wine "$folder_win\\uninstall.exe" /S
expect_ended "the uninstaller"
check "uninstaller finished" wait_until 60 test ! -e "$folder/uninstall.exe"
# The receipt journal is the user's data, as the settings are: both stay.
check "only the settings file and the journal are left: $(ls -A "$folder" | tr '\n' ' ')" \
    [ "$(ls -A "$folder" | tr '\n' ' ')" = "journal zamri.ini " ]
check "Run entry removed" [ -z "$(reg_value "$run_key" zamri)" ]
check "Start menu removed" [ ! -e "$menu" ]
check "uninstall entry removed" [ -z "$(reg_value "$uninstall_key" InstallLocation)" ]

# --- every page by hand, in a virtual desktop, with screenshots ---
cp "$setup" "$bin/installer_driver.exe" "$work/"
cd "$work"
desktop_name=zamri-setup
wine explorer "/desktop=$desktop_name,800x600" installer_driver.exe "$(basename "$setup")" >/dev/null 2>&1 &
explorer_pid=$!
deadline=$((SECONDS + 160))
while [ ! -f result.txt ] && [ $SECONDS -lt $deadline ]; do
    if [ -f shot.request ]; then
        read -r name x y w h <shot.request
        desktop=$(xwininfo -name "$desktop_name - Wine desktop" 2>/dev/null | awk '/Window id:/ {print $4}')
        import -window "${desktop:-root}" -crop "${w}x${h}+${x}+${y}" +repage "$artifacts/$name.png"
        rm -f shot.request
        touch shot.done
    fi
    sleep 0.05
done
if [ -f result.txt ]; then
    check "clicked through: $(cat result.txt)" [ "$(cat result.txt)" = PASS ]
else
    fail "the installer driver wrote no result in time"
fi
check "settings file kept by the uninstaller" [ -f "$folder/zamri.ini" ]

if [ "$failures" -eq 0 ]; then echo "installer: PASS"; else echo "installer: $failures failures"; fi
[ "$failures" -eq 0 ]

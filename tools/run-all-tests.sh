#!/usr/bin/env bash
# Builds and runs every test tier: native under AddressSanitizer + UndefinedBehaviorSanitizer,
# native under ThreadSanitizer, the Debian package (built, then installed on this machine; needs
# root) and the Windows build under wine (inside Xvfb when no display). The "fuzz" tier builds
# the libFuzzer targets with clang and fuzzes each for a share of a minute
# (tools/dev/run-fuzzers.sh); every other tier replays their corpus as ordinary tests.
# Installs the Debian packages it needs first (tools/install-packages.sh).
# Usage: tools/run-all-tests.sh [tier...]
#        tiers: native-asan native-tsan package windows fuzz (default: all)
# Under CI (CI set) each tier's build tree is removed once the tier has run, so a full run needs
# room for one tier at a time (about 1.5 GB) rather than all five; ZAMRI_KEEP_BUILDS=1 keeps them.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
bash tools/install-packages.sh || exit 1
tiers=("$@")
[ ${#tiers[@]} -gt 0 ] || tiers=(native-asan native-tsan package windows fuzz)
jobs=${JOBS:-$(nproc)}

keep_builds=${ZAMRI_KEEP_BUILDS:-}
[ -n "$keep_builds" ] || { [ -n "${CI:-}" ] && keep_builds=0; } || keep_builds=1

free_space() { df -Pk "$root" | awk 'NR==2 {printf "%.1f GB", $4 / 1048576}'; }

# A full disk shows up as a compiler or linker error deep in the log; saying so plainly at the
# tier's end saves reading it as a fault in the code.
report_disk() {
    local avail
    avail=$(df -Pk "$root" | awk 'NR==2 {print $4}')
    [ "$avail" -lt 524288 ] && echo "== $1: the disk is (nearly) full: $(free_space) free =="
    return 0
}

release_tier() {
    [ "$keep_builds" = 1 ] && return 0
    [ "$1" = windows ] && [ -n "${WINEPREFIX:-}" ] && { wineserver -k >/dev/null 2>&1 || true; }
    rm -rf "$root/build/$1"
    # The native tools the Windows scenarios built for themselves (tests/support/native_tool.sh).
    [ "$1" = windows ] && rm -rf "$root/build/tools"
    return 0
}

echo "== $(free_space) free for the build trees =="
passed=0
failed=0
status=0
xvfb_pid=""

cleanup() {
    if [ -n "${WINEPREFIX:-}" ]; then wineserver -k >/dev/null 2>&1 || true; fi
    if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" >/dev/null 2>&1 || true; fi
}
trap cleanup EXIT

prepare_wine() {
    export WINEPREFIX="$root/build/windows/wineprefix"
    export WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml="
    if [ -z "${DISPLAY:-}" ]; then
        for n in 91 92 93 94 95 96 97 98 99; do
            [ -e "/tmp/.X11-unix/X$n" ] && continue
            Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
            xvfb_pid=$!
            export DISPLAY=":$n"
            break
        done
        for _ in $(seq 50); do [ -e "/tmp/.X11-unix/${DISPLAY#:}" ] || [ -e "/tmp/.X11-unix/X${DISPLAY#:}" ] && break; sleep 0.1; done
    fi
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        echo "== creating the wine prefix (once) =="
        mkdir -p "$WINEPREFIX"
        wineboot -i >/dev/null 2>&1 || true
    fi
    # A persistent wine server keeps each test executable's start cheap. Its service processes
    # are started here, with no link to our output: started by the first test instead, they
    # would inherit CTest's output pipe and keep CTest waiting after the test has ended.
    wineserver -p >/dev/null 2>&1 || true
    wine wineboot >/dev/null 2>&1 </dev/null || true
}

for tier in "${tiers[@]}"; do
    if [ "$tier" = fuzz ]; then
        if bash tools/dev/run-fuzzers.sh "${FUZZ_SECONDS:-60}"; then
            passed=$((passed + 1))
        else
            failed=$((failed + 1))
            status=1
            report_disk fuzz
            continue  # its artifacts/ keeps the failing input
        fi
        release_tier fuzz
        continue
    fi
    echo "== $tier: configure and build =="
    if ! cmake --preset "$tier" >/dev/null || ! cmake --build --preset "$tier" -j "$jobs"; then
        echo "== $tier: BUILD FAILED =="
        report_disk "$tier"
        status=1
        failed=$((failed + 1))
        release_tier "$tier"
        continue
    fi
    [ "$tier" = windows ] && prepare_wine
    echo "== $tier: tests =="
    log=$(mktemp)
    ctest --preset "$tier" -j "$jobs" 2>&1 | tee "$log"
    rc=${PIPESTATUS[0]}
    summary=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -1)
    total=$(echo "$summary" | sed -E 's/.*out of ([0-9]+).*/\1/')
    bad=$(echo "$summary" | sed -E 's/.* ([0-9]+) tests? failed.*/\1/')
    if [ -n "$summary" ]; then
        passed=$((passed + total - bad))
        failed=$((failed + bad))
    fi
    if [ "$rc" -ne 0 ] || [ -z "$summary" ]; then
        status=1
        [ -z "$summary" ] && failed=$((failed + 1))
    fi
    rm -f "$log"
    [ "$rc" -ne 0 ] && report_disk "$tier"
    release_tier "$tier"
done

echo
echo "all tiers: $passed passed, $failed failed"
exit $status

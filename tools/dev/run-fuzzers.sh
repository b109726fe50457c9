#!/usr/bin/env bash
# Builds the libFuzzer targets (preset "fuzz", clang) and runs each one, starting from its seed
# corpus in the repository, for an equal share of the given time. Fails on any crash, leak,
# sanitizer finding, broken property or hang.
# Usage: tools/dev/run-fuzzers.sh [seconds in all (default 60)] [target...]
# New inputs that reach new code collect in build/fuzz/corpus/<target> (kept between runs);
# a failing input is saved in build/fuzz/artifacts/ and can be replayed by passing its path
# to the target: build/fuzz/bin/<target> build/fuzz/artifacts/crash-...
set -uo pipefail
cd "$(dirname "$0")/../.."
total=${1:-60}
shift || true
wanted=("$@")

if ! cmake --preset fuzz >/dev/null || ! cmake --build --preset fuzz -j "${JOBS:-$(nproc)}"; then
    echo "fuzzers: BUILD FAILED"
    exit 1
fi
list=build/fuzz/fuzzers.list
mapfile -t entries < <(grep -v '^$' "$list")
if [ ${#wanted[@]} -gt 0 ]; then
    chosen=()
    for entry in "${entries[@]}"; do
        for w in "${wanted[@]}"; do [ "${entry%% *}" = "$w" ] && chosen+=("$entry"); done
    done
    entries=("${chosen[@]}")
fi
[ ${#entries[@]} -gt 0 ] || { echo "fuzzers: none to run"; exit 1; }
share=$(( total / ${#entries[@]} ))
[ "$share" -ge 5 ] || share=5

mkdir -p build/fuzz/artifacts
status=0
for entry in "${entries[@]}"; do
    name=${entry%% *}
    seeds=${entry#* }
    work=build/fuzz/corpus/$name
    mkdir -p "$work"
    echo "== fuzzing $name for ${share}s =="
    log=build/fuzz/$name.log
    # The first folder takes the new inputs; the repository's seeds are only read.
    if UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 ASAN_OPTIONS=detect_leaks=1 \
        "build/fuzz/bin/$name" "$work" "$seeds" -max_total_time="$share" -timeout=10 -rss_limit_mb=2048 \
        -artifact_prefix=build/fuzz/artifacts/"$name"- -print_final_stats=1 >"$log" 2>&1; then
        grep -E '^stat::number_of_executed_units|^Done' "$log" | tr '\n' ' '
        echo
    else
        echo "== $name FAILED; the end of its log ($log): =="
        tail -40 "$log"
        status=1
    fi
done
exit $status

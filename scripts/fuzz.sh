#!/usr/bin/env bash
# Builds the fuzz targets (the fuzz preset: clang, libFuzzer, address and undefined-behaviour
# sanitizers) and runs each for a bounded time on a copy of its seed corpus in fuzz/corpus/.
# A crash stops the run with its input saved as build/fuzz/crash-<target>-*; add that input to
# the target's corpus once fixed, so it stays found.
# Usage: scripts/fuzz.sh [seconds per target, default 60] [target...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    targets=(current_data parameters ini archive threshold_cell archive_line)
fi

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)"

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
for target in "${targets[@]}"; do
    corpus="$work/$target"
    mkdir -p "$corpus"
    cp fuzz/corpus/"$target"/* "$corpus"/ 2>/dev/null || true
    echo "fuzz_$target: ${seconds} s"
    build/fuzz/fuzz/fuzz_"$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="build/fuzz/crash-$target-" "$corpus" \
        fuzz/corpus/"$target" 2>"$work/$target.log" || {
        cat "$work/$target.log"
        echo "fuzz_$target found a failure; its input is in build/fuzz/crash-$target-*" >&2
        exit 1
    }
    grep -E "stat::number_of_executed_units|stat::peak_rss_mb" "$work/$target.log" |
        sed "s/^/  /"
done

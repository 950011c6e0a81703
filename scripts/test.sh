#!/usr/bin/env bash
# Installs what is missing, builds with warnings as errors and runs every test headless.
# Usage: scripts/test.sh [preset]   (default, dev, debug or asan; default: default)
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-default}"

scripts/install-deps.sh
# Every source as clang-format keeps it (scripts/format.sh reformats).
scripts/format.sh --check
export QT_QPA_PLATFORM=offscreen
cmake --preset "$preset"
cmake --build --preset "$preset" -j "$(nproc)"
ctest --preset "$preset" -j "$(nproc)"

# The fuzz targets, a few seconds each on their seed corpora (which keep every input that once
# failed), when clang and its libFuzzer runtime are there.
if [ "$preset" = "default" ] && command -v clang++ >/dev/null 2>&1; then
    scripts/fuzz.sh "${VELTRA_FUZZ_SECONDS:-5}"
fi

# The Windows build and its tests under Wine, when a Qt SDK for MinGW-w64 is at hand (one line
# says so when it is not).
if [ "$preset" = "default" ]; then
    scripts/windows-test.sh
fi

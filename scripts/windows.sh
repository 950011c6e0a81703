#!/usr/bin/env bash
# Cross-builds Veltra for Windows x86-64 with Debian's MinGW-w64 (posix threads) against the Qt 6
# SDK (scripts/windows-sdk.sh says where it comes from), warnings as errors: veltra.exe,
# veltra-cli.exe and the unit tests in build/windows/, then the portable zip and the installer:
#   build/windows/veltra-VERSION-windows-x64.zip
#   build/windows/veltra-VERSION-windows-x64.exe
# Usage: scripts/windows.sh [--build-sdk]   (--build-sdk: build the SDK from Debian's sources
#        when none is to be had, about 40 minutes)
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
scripts/install-deps.sh --windows
if ! sdk="$(scripts/windows-sdk.sh ${1:+--build})"; then
    echo "scripts/windows.sh: no Qt SDK for MinGW-w64: set VELTRA_QT_MINGW, put" \
        "qt6-mingw-6.4.2.tar.xz in ../shared/windows/, or run with --build-sdk" >&2
    exit 1
fi
export VELTRA_QT_MINGW="$sdk"
cmake --preset windows >/dev/null
cmake --build --preset windows -j "$(nproc)"
(cd build/windows && cpack -C Release >/dev/null)
ls -1 build/windows/veltra-*-windows-x64.zip build/windows/veltra-*-windows-x64.exe

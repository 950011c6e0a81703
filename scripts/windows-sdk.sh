#!/usr/bin/env bash
# Prints the path of the Qt 6 SDK for MinGW-w64 that the Windows build uses, making it ready
# first; exits 3 (printing nothing) when there is none to be had without building it.
#
# Where it comes from, in this order:
#   1. $VELTRA_QT_MINGW, a path given by the user (an unpacked SDK: bin/qt-cmake, lib/cmake/Qt6);
#   2. ../shared/windows/qt6-mingw-6.4.2.tar.xz beside the repository, unpacked once into
#      build/windows-sdk/;
#   3. with --build: built from Debian's sources by scripts/build-qt-mingw.sh (about 40 minutes
#      on two cores) into build/windows-sdk/.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"

valid() { [ -x "$1/bin/qt-cmake" ] && [ -f "$1/lib/cmake/Qt6/qt.toolchain.cmake" ] &&
    [ -f "$1/mingw-w64-x86_64.cmake" ]; }

# SQLite for the dose history, beside Qt in an SDK folder of ours: the DLL, its import library
# and headers, from ../shared/windows/sqlite3-mingw-3.40.1.tar.xz or, without it, built from
# Debian's source by scripts/build-sqlite-mingw.sh.
withSqlite() {
    local sdk="$1"
    [ -f "$sdk/bin/sqlite3.dll" ] && return 0
    local packed
    packed="$(dirname "$root")/shared/windows/sqlite3-mingw-3.40.1.tar.xz"
    if [ -f "$packed" ]; then
        local tmp
        tmp="$(mktemp -d)"
        tar -xJf "$packed" -C "$tmp"
        cp "$tmp"/sqlite3-mingw/bin/*.dll "$sdk/bin/"
        cp "$tmp"/sqlite3-mingw/lib/* "$sdk/lib/"
        cp "$tmp"/sqlite3-mingw/include/* "$sdk/include/"
        rm -rf "$tmp"
    else
        scripts/build-sqlite-mingw.sh "$sdk" >&2
    fi
}

if [ -n "${VELTRA_QT_MINGW:-}" ]; then
    if valid "$VELTRA_QT_MINGW"; then
        readlink -f "$VELTRA_QT_MINGW"
        exit 0
    fi
    echo "windows-sdk: VELTRA_QT_MINGW=$VELTRA_QT_MINGW is not a Qt SDK for MinGW-w64" >&2
    exit 3
fi

unpacked="$root/build/windows-sdk/qt6-mingw"
archive="$(dirname "$root")/shared/windows/qt6-mingw-6.4.2.tar.xz"
if [ -f "$archive" ]; then
    stamp="$root/build/windows-sdk/unpacked-from"
    if ! valid "$unpacked" || [ "$(cat "$stamp" 2>/dev/null)" != "$(stat -c '%s %Y' "$archive")" ]; then
        rm -rf "$root/build/windows-sdk"
        mkdir -p "$root/build/windows-sdk"
        tar -xJf "$archive" -C "$root/build/windows-sdk"
        stat -c '%s %Y' "$archive" > "$stamp"
    fi
    withSqlite "$unpacked"
    echo "$unpacked"
    exit 0
fi

if valid "$unpacked"; then
    withSqlite "$unpacked"
    echo "$unpacked"
    exit 0
fi
if [ "${1:-}" = "--build" ]; then
    scripts/build-qt-mingw.sh "$unpacked" >&2
    withSqlite "$unpacked"
    echo "$unpacked"
    exit 0
fi
exit 3

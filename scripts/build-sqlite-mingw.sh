#!/usr/bin/env bash
# Builds SQLite for MinGW-w64 from Debian's own source (the version Debian's libsqlite3-dev has)
# into an SDK folder: bin/sqlite3.dll, lib/libsqlite3.dll.a, include/sqlite3.h and sqlite3ext.h.
# What scripts/windows-sdk.sh runs when ../shared/windows has no prebuilt copy.
# Usage: scripts/build-sqlite-mingw.sh SDK_DIR   (needs a deb-src line for apt-get source)
set -euo pipefail
sdk="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"
apt-get source sqlite3 >/dev/null
src="$(find . -maxdepth 1 -type d -name 'sqlite3-*' | head -n1)"
cd "$src"
# The amalgamation is made by the source's own build; configure runs on the build machine.
./configure >/dev/null
make sqlite3.c >/dev/null
mkdir -p "$sdk/bin" "$sdk/lib" "$sdk/include"
# A DLL with no export attributes exports every global symbol: the whole C API.
x86_64-w64-mingw32-gcc -O2 -shared -o "$sdk/bin/sqlite3.dll" sqlite3.c -DSQLITE_THREADSAFE=1 \
    -Wl,--export-all-symbols,--out-implib,"$sdk/lib/libsqlite3.dll.a"
x86_64-w64-mingw32-strip --strip-unneeded "$sdk/bin/sqlite3.dll"
cp sqlite3.h sqlite3ext.h "$sdk/include/"

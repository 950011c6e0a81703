#!/usr/bin/env bash
# Builds the Qt 6 SDK for MinGW-w64 that the Windows build needs, from Debian's own sources, into
# PREFIX (default build/windows-sdk/qt6-mingw): Qt Core, Gui, Widgets, PrintSupport and Test
# (qt6-base 6.4.2 with Debian's patches and packaging/windows/qtbase-6.4.2-no-direct2d.patch),
# QCustomPlot 2.1 as a DLL, GoogleTest, the MinGW runtime DLLs, a CMake toolchain file and
# wine-run. About 40 minutes on two cores; scripts/windows-sdk.sh uses a ready-made SDK instead
# when there is one.
#
# Qt SerialPort, Qt SVG and ICU are not built: their sources cannot be had here, and the program
# needs none of them on Windows.
# Usage: scripts/build-qt-mingw.sh [PREFIX]
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
prefix="$(readlink -m "${1:-$root/build/windows-sdk/qt6-mingw}")"
work="$root/build/qt-mingw-source"
jobs="$(nproc)"

scripts/install-deps.sh --windows
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
# Sources: the deb-src twin of the machine's own Debian archive.
if ! apt-get source --print-uris qt6-base >/dev/null 2>&1; then
    uri="$(grep -h -m1 -E '^URIs:' /etc/apt/sources.list.d/*.sources 2>/dev/null | awk '{print $2}')"
    uri="${uri:-http://deb.debian.org/debian}"
    printf 'Types: deb-src\nURIs: %s\nSuites: bookworm\nComponents: main\nSigned-By: %s\n' \
        "$uri" /usr/share/keyrings/debian-archive-keyring.gpg |
        $SUDO tee /etc/apt/sources.list.d/veltra-deb-src.sources >/dev/null
    $SUDO apt-get update -qq
fi
$SUDO apt-get install -y -qq --no-install-recommends dpkg-dev qt6-base-dev qt6-base-dev-tools \
    ninja-build cmake perl python3 libgtest-dev googletest

toolchain="$work/mingw-w64-x86_64.cmake"
mkdir -p "$work"
cat > "$toolchain" <<'TOOLCHAIN'
# CMake toolchain file: Debian 12 host -> Windows x86-64 with MinGW-w64 (posix threads)
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(CMAKE_C_COMPILER   x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER  x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# ctest and gtest_discover_tests run the Windows test programs under Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run)
TOOLCHAIN

# Qt Base.
cd "$work"
[ -d qt6-base-* ] || apt-get source qt6-base
qtsrc="$(ls -d "$work"/qt6-base-*/ | head -n1)"
if [ ! -f "$qtsrc/.veltra-patched" ]; then
    patch -d "$qtsrc" -p1 < "$root/packaging/windows/qtbase-6.4.2-no-direct2d.patch"
    touch "$qtsrc/.veltra-patched"
fi
mkdir -p "$work/qtbase-build"
cd "$work/qtbase-build"
"$qtsrc/configure" -prefix "$prefix" -release -shared -xplatform win32-g++ \
    -device-option CROSS_COMPILE=x86_64-w64-mingw32- -qt-host-path /usr -nomake examples \
    -nomake tests -no-dbus -no-icu -no-opengl -no-feature-vulkan -no-direct2d -no-pkg-config \
    -no-zstd -no-feature-sql -no-feature-network -no-feature-xml -no-feature-concurrent \
    -no-feature-tabletevent -qt-zlib -qt-libpng -qt-libjpeg -qt-pcre -qt-harfbuzz -qt-freetype \
    -qt-doubleconversion -- -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
cmake --build . --parallel "$jobs"
cmake --install .
cp "$toolchain" "$prefix/mingw-w64-x86_64.cmake"

# wine-run: a Windows program with the SDK's DLLs on Wine's path, quietly.
cat > "$prefix/wine-run" <<'WINERUN'
#!/bin/sh
# Runs a Windows program of this SDK under Wine: the SDK's DLLs (Qt, QCustomPlot, the MinGW
# runtime) on the DLL path, a quiet Wine, and no Mono/Gecko installer prompts.
# Used as CMAKE_CROSSCOMPILING_EMULATOR, so ctest and gtest_discover_tests run tests under Wine.
sdk=$(dirname "$(readlink -f "$0")")
export WINEPREFIX="${WINEPREFIX:-$HOME/.wine-qt6-mingw}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
export WINEPATH="Z:$(echo "$sdk/bin" | tr / '\\')${WINEPATH:+;$WINEPATH}"
exec wine "$@"
WINERUN
chmod +x "$prefix/wine-run"

# The MinGW runtime the programs need beside them.
for dll in libstdc++-6.dll libgcc_s_seh-1.dll; do
    cp "$(x86_64-w64-mingw32-g++-posix -print-file-name="$dll")" "$prefix/bin/"
done
cp /usr/x86_64-w64-mingw32/lib/libwinpthread-1.dll "$prefix/bin/"

# QCustomPlot as a DLL, from Debian's source and its CMake build.
cd "$work"
[ -d qcustomplot-* ] || apt-get source qcustomplot
qcpsrc="$(ls -d "$work"/qcustomplot-*/ | head -n1)"
cmake -S "$qcpsrc" -B "$work/qcp-build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$prefix/lib/cmake/Qt6/qt.toolchain.cmake" \
    -DQT_CHAINLOAD_TOOLCHAIN_FILE="$prefix/mingw-w64-x86_64.cmake" \
    -DCMAKE_INSTALL_PREFIX="$prefix" -DQT_VERSION_MAJOR=6 -DBUILD_SHARED_LIBS=ON
cmake --build "$work/qcp-build" --parallel "$jobs"
cmake --install "$work/qcp-build"

# GoogleTest for the unit tests, from Debian's source.
cmake -S /usr/src/googletest -B "$work/gtest-build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$prefix/mingw-w64-x86_64.cmake" -DCMAKE_INSTALL_PREFIX="$prefix" \
    -Dgtest_disable_pthreads=ON
cmake --build "$work/gtest-build" --parallel "$jobs"
cmake --install "$work/gtest-build"

echo "Qt SDK for MinGW-w64 in $prefix"

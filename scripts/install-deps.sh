#!/usr/bin/env bash
# Installs the Debian packages the project needs to build, test and run.
# Does nothing when every package is already present.
# Usage: scripts/install-deps.sh [--windows]   (--windows: what the Windows build, its tests
#        under Wine and its packages need besides)
set -euo pipefail

packages=(
    build-essential
    cmake
    ninja-build
    pkg-config
    qt6-base-dev
    qt6-base-dev-tools
    qt6-serialport-dev
    qt6-qpa-plugins
    libqcustomplot-dev
    libgtest-dev
    libgmock-dev
    libbenchmark-dev
    fonts-dejavu-core
    # The fonts the windows' layout is measured for (see src/forms/fonts.h).
    fonts-wine
    fonts-crosextra-carlito
    fonts-liberation2
    desktop-file-utils
    # Stations publish to an MQTT broker; the tests start a real one.
    libmosquitto-dev
    libssl-dev
    mosquitto
    mosquitto-clients
    # The dose history (SQLite) and the check of its N42 export against the schema.
    libsqlite3-dev
    libxml2-utils
    clang-format
    clang
    libclang-rt-14-dev
)

if [ "${1:-}" = "--windows" ]; then
    packages=(
        g++-mingw-w64-x86-64-posix
        mingw-w64-tools
        wine
        wine64
        nsis
        zip
        xvfb
        xauth
        xdotool
        imagemagick
        xz-utils
    )
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

echo "Installing: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then
    SUDO="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"

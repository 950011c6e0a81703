#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program's window against a simulated
# instrument on a pseudo-terminal (veltra --simulate). It runs in build/demo/, whose prog.ini
# is created with Russian texts on first use; choose English from the View menu.
#
# Without a display (no DISPLAY or WAYLAND_DISPLAY), or with --cli, it shows the same instrument
# in the terminal instead: veltra-sim polled once a second by veltra-cli.
# Usage: scripts/demo.sh [--cli] [instrument type 1..7]
set -euo pipefail
cd "$(dirname "$0")/.."

cli=0
if [ "${1:-}" = "--cli" ]; then
    cli=1
    shift
fi
type="${1:-4}"

scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)"
bin="$PWD/build/default"

if [ "$cli" -eq 0 ] && { [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; }; then
    mkdir -p build/demo
    cd build/demo
    if [ ! -f prog.ini ]; then
        printf '[Common]\r\nLanguage=1\r\nTransparent=255\r\nMode=0\r\n' > prog.ini
    fi
    exec "$bin/src/veltra" --simulate="$type"
fi

[ "$cli" -eq 1 ] || echo "No display: showing the simulated instrument in the terminal instead."
link="$(mktemp -u /tmp/veltra-sim.XXXXXX)"
"$bin/sim/veltra-sim" --type "$type" --link "$link" >/dev/null &
sim=$!
trap 'kill "$sim" 2>/dev/null || true' EXIT
for _ in $(seq 50); do [ -e "$link" ] && break; sleep 0.1; done
echo "Simulated instrument on $link"
"$bin/cli/veltra-cli" --port "$link" poll --count 10 --language en

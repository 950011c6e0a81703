#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program's window against a simulated
# instrument on a pseudo-terminal (veltra --simulate). It runs in build/demo/, whose prog.ini
# is created with Russian texts on first use; choose English from the View menu.
#
# Without a display (no DISPLAY or WAYLAND_DISPLAY), or with --cli, it shows the same instrument
# in the terminal instead: veltra-sim polled once a second by veltra-cli, ten readings.
set -euo pipefail
cd "$(dirname "$0")/.."

usage="usage: scripts/demo.sh [--cli] [TYPE]
  TYPE   the simulated instrument's type, 1..7 (default 4)
  --cli  show the instrument in the terminal (veltra-sim polled by veltra-cli) even with a
         display"

cli=0
type=4
typeGiven=0
for arg in "$@"; do
    case "$arg" in
    --cli) cli=1 ;;
    -h | --help)
        echo "$usage"
        exit 0
        ;;
    [1-7])
        if [ "$typeGiven" -eq 1 ]; then
            echo "scripts/demo.sh: one instrument type only" >&2
            exit 2
        fi
        type="$arg"
        typeGiven=1
        ;;
    *)
        echo "scripts/demo.sh: '$arg' is neither --cli nor an instrument type 1..7" >&2
        echo "$usage" >&2
        exit 2
        ;;
    esac
done

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
work="$(mktemp -d /tmp/veltra-demo.XXXXXX)"
link="$work/tty"
"$bin/sim/veltra-sim" --type "$type" --link "$link" >/dev/null 2>"$work/sim.err" &
sim=$!
trap 'kill "$sim" 2>/dev/null || true; rm -rf "$work"' EXIT
for _ in $(seq 50); do
    [ -e "$link" ] && break
    if ! kill -0 "$sim" 2>/dev/null; then
        echo "scripts/demo.sh: the simulated instrument did not start: $(cat "$work/sim.err")" >&2
        exit 1
    fi
    sleep 0.1
done
if [ ! -e "$link" ]; then
    echo "scripts/demo.sh: the simulated instrument did not start within 5 s" >&2
    exit 1
fi
echo "Simulated instrument (type $type) on $link; ten readings, once a second:"
"$bin/cli/veltra-cli" --port "$link" poll --count 10 --language en

#!/usr/bin/env bash
# Installs what is missing, builds, starts a simulated instrument on a pseudo-terminal and
# polls it once a second with the command-line tool. Ctrl+C ends both.
# Usage: scripts/demo.sh [instrument type 1..7] [number of readings]
set -euo pipefail
cd "$(dirname "$0")/.."
type="${1:-4}"
count="${2:-10}"

scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)"

bin=build/default
link="$(mktemp -u /tmp/veltra-sim.XXXXXX)"
"$bin/sim/veltra-sim" --type "$type" --link "$link" &
sim=$!
trap 'kill "$sim" 2>/dev/null || true' EXIT
for _ in $(seq 50); do [ -e "$link" ] && break; sleep 0.1; done

echo "Simulated instrument on $link"
"$bin/cli/veltra-cli" --port "$link" poll --count "$count"

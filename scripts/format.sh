#!/usr/bin/env bash
# The C++ sources clang-format keeps: every .h and .cpp of src, cli, sim, tests, bench and fuzz.
# Usage: scripts/format.sh          reformat them in place
#        scripts/format.sh --check  change nothing; fail and list what is not formatted
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files -- 'src/*.h' 'src/*.cpp' 'cli/*.h' 'cli/*.cpp' 'sim/*.h' \
    'sim/*.cpp' 'tests/*.h' 'tests/*.cpp' 'bench/*.cpp' 'bench/*.h' 'fuzz/*.cpp' 'fuzz/*.h')
if [ "${1:-}" = "--check" ]; then
    clang-format --dry-run -Werror "${files[@]}"
else
    clang-format -i "${files[@]}"
fi

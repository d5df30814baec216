#!/usr/bin/env bash
# Builds the command-line tool in an optimised build and runs the project-check benchmark.
#
#   bench/run-validate-bench.sh [--runs N] [BASIN.db]
#
# BUILD (default build-release) is the build folder, configured as a Release build when it has
# no build files yet. Without BASIN.db the bench makes and computes the large basin itself.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD:-build-release}
case "$build" in
/*) ;;
*) build="$root/$build" ;;
esac

if [[ ! -f "$build/CMakeCache.txt" ]]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release
elif ! grep -q "^CMAKE_BUILD_TYPE:STRING=Release$" "$build/CMakeCache.txt"; then
    echo "warning: $build is not a Release build; the figures won't be representative" >&2
fi
cmake --build "$build" --target tarnhelm-cli
exec python3 "$root/bench/validate_bench.py" --cli "$build/bin/tarnhelm-cli" "$@"

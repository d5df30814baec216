#!/usr/bin/env bash
# Builds the comparison benchmark in an optimised build and runs it.
#
#   bench/run-diff-bench.sh [--runs N] [--keep] [BASIN.db]
#
# BUILD (default build-release) is the build folder, configured as a Release build when it has
# no build files yet. Without BASIN.db the bench makes and computes the large basin itself (a
# minute or two, and again after the edit).
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
cmake --build "$build" --target diff_bench
exec "$build/bin/diff_bench" "$@"

#!/usr/bin/env bash
# Builds the export benchmark in an optimised build and runs it (bench/run-benchmarks.sh runs
# it together with the other benchmarks).
#
#   bench/run-export-bench.sh [--runs N] [--keep] [BASIN.db]
#
# BUILD (default build-release) is the build folder, configured as a Release build when it has
# no build files yet. Without BASIN.db the bench makes and computes the large basin itself (a
# minute or two); pass a computed one (e.g. one kept with --keep) to skip that.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD:-build-release}
case "$build" in
/*) ;;
*) build="$root/$build" ;;
esac

if ! pkg-config --exists xlsxwriter; then
    "$root/scripts/install-bench-deps.sh"
fi
if [[ ! -f "$build/CMakeCache.txt" ]]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release
else
    # Configured again, so that a libxlsxwriter installed since is found.
    cmake -S "$root" -B "$build" >/dev/null
    if ! grep -q "^CMAKE_BUILD_TYPE:STRING=Release$" "$build/CMakeCache.txt"; then
        echo "warning: $build is not a Release build; the figures won't be representative" >&2
    fi
fi
cmake --build "$build" --target export_bench
exec "$build/bin/export_bench" "$@"

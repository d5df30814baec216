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

source "$(dirname "$0")/release-build.sh"

if ! pkg-config --exists xlsxwriter; then
    "$root/scripts/install-bench-deps.sh"
fi
release_build export_bench
exec "$build/bin/export_bench" "$@"

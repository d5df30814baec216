#!/usr/bin/env bash
# Builds the comparison benchmark in an optimised build and runs it.
#
#   bench/run-diff-bench.sh [--runs N] [--keep] [BASIN.db]
#
# BUILD (default build-release) is the build folder, configured as a Release build when it has
# no build files yet. Without BASIN.db the bench makes and computes the large basin itself (a
# minute or two, and again after the edit).
set -euo pipefail

source "$(dirname "$0")/release-build.sh"

release_build diff_bench
exec "$build/bin/diff_bench" "$@"

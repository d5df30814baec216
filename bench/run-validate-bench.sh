#!/usr/bin/env bash
# Builds the command-line tool in an optimised build and runs the project-check benchmark.
#
#   bench/run-validate-bench.sh [--runs N] [BASIN.db]
#
# BUILD (default build-release) is the build folder, configured as a Release build when it has
# no build files yet. Without BASIN.db the bench makes and computes the large basin itself.
set -euo pipefail

source "$(dirname "$0")/release-build.sh"

release_build tarnhelm-cli
exec python3 "$root/bench/validate_bench.py" --cli "$build/bin/tarnhelm-cli" "$@"

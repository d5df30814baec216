#!/usr/bin/env bash
# Builds the command-line tool in an optimised build and runs the input book benchmark.
#
#   bench/run-inputs-bench.sh [--runs N]
#
# BUILD (default build-release) is the build folder, configured as a Release build when it has
# no build files yet. The bench makes and computes the benchmark basin itself.
set -euo pipefail

source "$(dirname "$0")/release-build.sh"

release_build tarnhelm-cli
exec python3 "$root/bench/inputs_bench.py" --cli "$build/bin/tarnhelm-cli" "$@"

#!/usr/bin/env bash
# Builds the ensemble benchmark in a Release build and runs it on the benchmark basin
# (bench/run-benchmarks.sh runs it together with the other benchmarks).
#
#   bench/run-ensemble-bench.sh [WORKDIR]
#
# WORKDIR (default /tmp/tarnhelm-bench) keeps the computed basin (ensemble.db) between runs.
set -euo pipefail

source "$(dirname "$0")/release-build.sh"
release_build ensemble_bench
exec "$build/bin/ensemble_bench" "${1:-/tmp/tarnhelm-bench}"

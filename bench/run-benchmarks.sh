#!/usr/bin/env bash
# Builds the benchmarks in a Release build and runs them one after the other on one benchmark
# basin: the recalculation against the SQLite insert floor, the .xlsx export against
# libxlsxwriter, and the window's steps with their longest event-loop stall. The ratios and
# goals are collected at the end, side by side, with the machine's load before and after.
#
#   bench/run-benchmarks.sh [WORKDIR]
#
# WORKDIR (default /tmp/tarnhelm-bench) keeps the basin between runs: recalc_bench makes it
# there (`tarnhelm-cli demo --large`) when it is missing and leaves a computed copy (work.db)
# that the other two use. BUILD (default build-release) is the build folder, configured as a
# Release build when it has no build files yet.
set -euo pipefail

source "$(dirname "$0")/release-build.sh"
work=${1:-/tmp/tarnhelm-bench}

if ! pkg-config --exists xlsxwriter; then
    "$root/scripts/install-bench-deps.sh"
fi
release_build recalc_bench export_bench window_bench ensemble_bench tarnhelm-cli

mkdir -p "$work"
before=$(uptime)
echo "== recalculation"
"$build/bin/recalc_bench" "$work" | tee "$work/recalc.txt"
echo "== export"
"$build/bin/export_bench" "$work/work.db" | tee "$work/export.txt"
echo "== window"
"$build/bin/window_bench" "$work/work.db" | tee "$work/window.txt"
echo "== input books"
python3 "$root/bench/inputs_bench.py" --cli "$build/bin/tarnhelm-cli" | tee "$work/inputs.txt"
echo "== undo history"
"$root/bench/run-undo-bench.sh" --runs 1 "$work/undo" | tee "$work/undo.txt"
echo "== ensembles"
"$build/bin/ensemble_bench" "$work" | tee "$work/ensemble.txt"
after=$(uptime)

echo
echo "== summary (cores: $(nproc))"
grep -E "^(recalc --full|freshly made|same basin|after editing|peak memory goal|up-to-date run)" \
    "$work/recalc.txt" || true
grep -A3 -E "^ +ours s" "$work/export.txt" || true
grep -E "longest stall" "$work/window.txt" || true
grep -E "^(ratio|peak memory)" "$work/inputs.txt" || true
grep -E "goal" "$work/ensemble.txt" || true
grep -E "^ratio" "$work/undo.txt" || true
echo "load before: $before"
echo "load after:  $after"

#!/usr/bin/env bash
# The cost of the undo history in the window, side by side in one run: the window benchmark's
# "OK with one edit" step with saved steps recorded and without (--no-undo), alternated, and the
# Edit > Undo of that step against the step itself.
#
#   bench/run-undo-bench.sh [--runs N] [WORKDIR]
#
# WORKDIR (default /tmp/tarnhelm-undo-bench) keeps the computed benchmark basin between runs.
# BUILD (default build-release) is the build folder, configured as a Release build when it has
# no build files yet.
set -euo pipefail

source "$(dirname "$0")/release-build.sh"
runs=3
if [[ "${1:-}" == "--runs" ]]; then
    runs=$2
    shift 2
fi
work=${1:-/tmp/tarnhelm-undo-bench}

release_build window_bench tarnhelm-cli
mkdir -p "$work"
if [[ ! -f "$work/basin.db" ]]; then
    echo "Making and computing the benchmark basin in $work ..."
    "$build/bin/tarnhelm-cli" demo --large "$work/made.db" >/dev/null
    "$build/bin/tarnhelm-cli" recalc "$work/made.db" --full >/dev/null
    mv "$work/made.db" "$work/basin.db"
fi

step_ms() { # FILE STEP: the step's time in ms
    sed -n "s/^  $2 *\([0-9]*\) ms.*/\1/p" "$1"
}
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

echo "load before: $(uptime)"
: >"$work/without.txt"
: >"$work/with.txt"
: >"$work/undo.txt"
for ((run = 1; run <= runs; ++run)); do
    "$build/bin/window_bench" --no-undo "$work/basin.db" >"$work/run-without.txt"
    "$build/bin/window_bench" "$work/basin.db" >"$work/run-with.txt"
    without=$(step_ms "$work/run-without.txt" "OK with one edit")
    with=$(step_ms "$work/run-with.txt" "OK with one edit")
    undo=$(step_ms "$work/run-with.txt" "undo of that step")
    echo "run $run: OK with one edit ${without} ms without the history, ${with} ms with it; undo ${undo} ms"
    echo "$without" >>"$work/without.txt"
    echo "$with" >>"$work/with.txt"
    echo "$undo" >>"$work/undo.txt"
done
without=$(median <"$work/without.txt")
with=$(median <"$work/with.txt")
undo=$(median <"$work/undo.txt")
echo "medians of $runs runs: OK with one edit ${without} ms without, ${with} ms with; undo ${undo} ms"
awk -v a="$with" -v b="$without" 'BEGIN { printf "ratio recording: OK with one edit with / without the history %.2f (goal <= 1.10)\n", a / b }'
awk -v a="$undo" -v b="$with" 'BEGIN { printf "ratio undo: undo of the step / the step %.2f (goal <= 1)\n", a / b }'
echo "load after: $(uptime)"

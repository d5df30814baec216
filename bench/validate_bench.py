#!/usr/bin/env python3
"""The project check against the recalculation, side by side on the benchmark basin.

    bench/run-validate-bench.sh [--runs N] [BASIN.db]

Times `tarnhelm-cli validate` and `tarnhelm-cli recalc --full` on the same computed file, taking
turns, and prints their medians, the ratios and the check's peak memory (the goal: at most half
the time of a full recalculation, under 200 MB). The full recalculation is measured twice over:
on a freshly made basin, where it writes every result row, and on the computed one, where it
finds every row up to date and writes nothing.
"""
import argparse
import os
import resource
import statistics
import subprocess
import sys
import tempfile
import time


def run(cli, *args):
    """Wall seconds and peak resident megabytes of one command."""
    start = time.perf_counter()
    pid = subprocess.Popen([cli, *args], stdout=subprocess.DEVNULL, stderr=subprocess.PIPE).pid
    _, status, usage = os.wait4(pid, 0)
    seconds = time.perf_counter() - start
    code = os.waitstatus_to_exitcode(status)
    if code not in (0, 1):  # validate exits 1 when a check fails; that is still a run
        sys.exit(f"{' '.join(args)} exited {code}")
    return seconds, usage.ru_maxrss / 1024.0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cli", required=True)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("basin", nargs="?")
    options = parser.parse_args()

    with tempfile.TemporaryDirectory() as folder:
        basin = options.basin
        fresh = None
        if not basin:
            basin = os.path.join(folder, "large.db")
            subprocess.run([options.cli, "demo", "--large", basin], check=True,
                           stdout=subprocess.DEVNULL)
            fresh, _ = run(options.cli, "recalc", basin, "--full")
        recalc, check, memory = [], [], []
        for _ in range(options.runs):
            seconds, _ = run(options.cli, "recalc", basin, "--full")
            recalc.append(seconds)
            seconds, megabytes = run(options.cli, "validate", basin)
            check.append(seconds)
            memory.append(megabytes)

    up_to_date = statistics.median(recalc)
    validate = statistics.median(check)
    print(f"machine load (1 min): {os.getloadavg()[0]:.2f} on {os.cpu_count()} cores")
    if fresh is not None:
        print(f"recalc --full, fresh basin (writes every row): {fresh:8.2f} s")
    print(f"recalc --full, up to date (writes nothing):  {up_to_date:8.2f} s  (median of {options.runs})")
    print(f"validate:                                     {validate:8.2f} s  (median of {options.runs})")
    if fresh is not None:
        print(f"ratio validate / recalc --full fresh:        {validate / fresh:8.2f}  (goal <= 0.5)")
    print(f"ratio validate / recalc --full up to date:   {validate / up_to_date:8.2f}")
    print(f"validate peak memory: {max(memory):.0f} MB  (goal < 200 MB)")


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Input books against the recalculation, side by side on the benchmark basin.

    bench/run-inputs-bench.sh [--runs N]

Makes the benchmark basin and computes it (`recalc --full` of a fresh basin, the reference),
then times, taking turns with `recalc --full` of the computed basin:

- `export-inputs` of the basin to an .xlsx book plus `import-inputs --apply` of that book into a
  project made by `new` (the goal: together at most one `recalc --full`);
- `import-inputs` (the preview) of the basin's book, as .csv files, with ten values changed
  (the goal: at most 0.2 of a `recalc --full`);

and prints the medians, the ratios and the peak memory of the import and export (goal: under
500 MB).
"""
import argparse
import csv
import os
import sqlite3
import statistics
import subprocess
import sys
import tempfile
import time


def run(cli, *args):
    """Wall seconds and peak resident megabytes of one command."""
    start = time.perf_counter()
    process = subprocess.Popen([cli, *args], stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    _, status, usage = os.wait4(process.pid, 0)
    seconds = time.perf_counter() - start
    code = os.waitstatus_to_exitcode(status)
    if code != 0:
        sys.exit(f"{' '.join(args)} exited {code}: {process.stderr.read().decode()}")
    return seconds, usage.ru_maxrss / 1024.0


def change_ten_values(folder):
    """Adds 1 to the depletion of ten rows spread over the Yearly Data sheet."""
    path = os.path.join(folder, "Yearly Data.csv")
    with open(path, newline="", encoding="utf-8") as f:
        rows = list(csv.reader(f))
    step = max(1, (len(rows) - 1) // 10)
    changed = 0
    for index in range(1, len(rows), step):
        if changed == 10:
            break
        if rows[index][4]:
            rows[index][4] = repr(float(rows[index][4]) + 1)
            changed += 1
    with open(path, "w", newline="", encoding="utf-8") as f:
        csv.writer(f, lineterminator="\r\n").writerows(rows)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cli", required=True)
    parser.add_argument("--runs", type=int, default=3)
    options = parser.parse_args()
    cli = options.cli

    with tempfile.TemporaryDirectory() as folder:
        basin = os.path.join(folder, "large.db")
        subprocess.run([cli, "demo", "--large", basin], check=True, stdout=subprocess.DEVNULL)
        fresh, _ = run(cli, "recalc", basin, "--full")
        with sqlite3.connect(basin) as db:
            start, end = db.execute("SELECT StartYear, EndYear FROM Baseline").fetchone()
        edited = os.path.join(folder, "edited")
        run(cli, "export-inputs", basin, edited)
        change_ten_values(edited)

        recalc, round_trip, preview, memory = [], [], [], []
        for turn in range(options.runs):
            seconds, _ = run(cli, "recalc", basin, "--full")
            recalc.append(seconds)
            book = os.path.join(folder, f"book{turn}.xlsx")
            target = os.path.join(folder, f"new{turn}.db")
            subprocess.run([cli, "new", target, "--start", str(start), "--end", str(end)],
                           check=True, stdout=subprocess.DEVNULL)
            exported, export_mb = run(cli, "export-inputs", basin, book)
            imported, import_mb = run(cli, "import-inputs", target, book, "--apply")
            round_trip.append(exported + imported)
            seconds, preview_mb = run(cli, "import-inputs", basin, edited)
            preview.append(seconds)
            memory += [export_mb, import_mb, preview_mb]

    up_to_date = statistics.median(recalc)
    trip = statistics.median(round_trip)
    look = statistics.median(preview)
    print(f"machine load (1 min): {os.getloadavg()[0]:.2f} on {os.cpu_count()} cores")
    print(f"recalc --full, fresh basin (writes every row): {fresh:8.2f} s")
    print(f"recalc --full, up to date (writes nothing):  {up_to_date:8.2f} s  (median of {options.runs})")
    print(f"export-inputs + import-inputs --apply (new): {trip:8.2f} s  (median of {options.runs})")
    print(f"import-inputs preview, ten values changed:   {look:8.2f} s  (median of {options.runs})")
    print(f"ratio round trip / recalc --full fresh:      {trip / fresh:8.2f}  (goal <= 1)")
    print(f"ratio round trip / recalc --full up to date: {trip / up_to_date:8.2f}")
    print(f"ratio preview / recalc --full fresh:         {look / fresh:8.2f}  (goal <= 0.2)")
    print(f"ratio preview / recalc --full up to date:    {look / up_to_date:8.2f}")
    print(f"peak memory of export, import, preview: {max(memory):.0f} MB  (goal < 500 MB)")


if __name__ == "__main__":
    main()

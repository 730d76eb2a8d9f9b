"""Cohorts end to end: orvane-cli --batch over 100 000 two-day diaries (bench_batch's cohort)
with 1 and 2 threads, orvane.batch over the same 100 000 dicts (target: within 2 times of the
program), and with --million the peak memory of orvane-cli --batch over 1 000 000 lines
(target: under 200 MB). Wall and CPU time of each; the results of the two doors must agree.

    PYTHONPATH=build/python /usr/bin/python3 bench/bench_cohort.py build [--million]

Exits 1 when the results differ or orvane.batch takes more than twice the program's CPU time.
"""
import argparse
import json
import os
import pathlib
import subprocess
import sys
import tempfile
import time

import orvane

STEPS = [{"from": 0, "rate": 2}, {"from": 120, "rate": 1}, {"from": 510, "rate": 0.4},
         {"from": 990, "rate": 1}]


def patient(i):
    """Patient i: F-18 FDG with hydration steps, a void every 150 to 200 min, then every 3 hours
    to the end of day two (bench_batch's cohort)."""
    voids, at = [], 30 + i % 60
    for v in range(16):
        voids.append(at)
        at += 150 + (i * 7 + v * 13) % 50
    return {"id": f"p{i}", "radiopharmaceutical": {"standard": "F-18 FDG"},
            "initial_volume": 40 + i % 80, "fill_rate": {"steps": STEPS},
            "voiding": {"voids": voids, "then": {"interval": 180}}, "end_time": 2880}


def write_cohort(path, count):
    with open(path, "w", encoding="utf-8") as out:
        for i in range(count):
            out.write(json.dumps(patient(i), separators=(",", ":")) + "\n")


def run_cli(cli, cohort, threads, output):
    """Wall seconds, CPU seconds and peak resident MB of one orvane-cli --batch run. The peak is
    GNU time's: a child forked from this (large) interpreter would count its pages too."""
    peak = output.with_suffix(".peak")
    start = time.perf_counter()
    child = subprocess.Popen(["/usr/bin/time", "-f", "%M", "-o", str(peak), str(cli), "--batch",
                              str(cohort), "--threads", str(threads), "--output", str(output)],
                             stderr=subprocess.PIPE)
    _, status, usage = os.wait4(child.pid, 0)
    wall = time.perf_counter() - start
    child.returncode = os.waitstatus_to_exitcode(status)
    if child.returncode != 0:
        sys.exit(f"orvane-cli --batch failed ({child.returncode}): {child.stderr.read().decode()}")
    return wall, usage.ru_utime + usage.ru_stime, int(peak.read_text().split()[-1]) / 1024


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("build", type=pathlib.Path)
    parser.add_argument("--million", action="store_true")
    args = parser.parse_args()
    cli = args.build / "bin" / "orvane-cli"
    with tempfile.TemporaryDirectory() as scratch:
        folder = pathlib.Path(scratch)
        cohort, output = folder / "cohort.jsonl", folder / "out.jsonl"
        write_cohort(cohort, 100_000)
        cpu = {}
        for threads in (1, 2):
            wall, cpu[threads], peak = run_cli(cli, cohort, threads, output)
            print(f"orvane-cli --batch, 100 000 lines, {threads} thread(s): {wall:.2f} s wall, "
                  f"{cpu[threads]:.2f} s CPU, peak {peak:.1f} MB")
        expected = [json.loads(line) for line in output.read_text().splitlines()]

        items = [patient(i) for i in range(100_000)]
        wall, process = time.perf_counter(), time.process_time()
        results = orvane.batch(items, threads=2)
        wall, process = time.perf_counter() - wall, time.process_time() - process
        ratio = process / cpu[2]
        print(f"orvane.batch, 100 000 dicts, 2 threads: {wall:.2f} s wall, {process:.2f} s CPU, "
              f"{ratio:.2f} times the program's CPU time (target 2 or less)")
        same = results == expected
        print("the same records" if same else "THE RECORDS DIFFER")

        if args.million:
            million = folder / "million.jsonl"
            write_cohort(million, 1_000_000)
            size = million.stat().st_size / 1e6
            wall, seconds, peak = run_cli(cli, million, 2, output)
            print(f"orvane-cli --batch, 1 000 000 lines ({size:.0f} MB), 2 threads: "
                  f"{wall:.1f} s wall, {seconds:.1f} s CPU, peak {peak:.1f} MB (target < 200)")
    return 0 if same and ratio <= 2 else 1


if __name__ == "__main__":
    sys.exit(main())

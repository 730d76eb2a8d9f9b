#!/usr/bin/env python3
"""10 000 orvane.scenario() calls from Python against the same loop in C++.

Run from the source folder after building orvane_python and bench_scenario:
    PYTHONPATH=build/python /usr/bin/python3 bench/bench_python.py [build]
Each call reads the Lu-177 PSMA example from a dict and computes its dose (no time course);
bench_scenario's psmaExampleFromDocument does the same from the parsed document in C++.
Prints both times per call and their ratio (target: 2 or less).
"""
import json
import pathlib
import subprocess
import sys
import time

import orvane

CALLS = 10_000
ROOT = pathlib.Path(__file__).resolve().parent.parent


def python_per_call():
    scenario = json.loads((ROOT / "examples" / "two-hour-voiding-lu177-psma.json").read_text())
    orvane.scenario(scenario, time_course=None)  # reads the data file once
    best = float("inf")
    for _ in range(5):
        start = time.perf_counter()
        for _ in range(CALLS):
            orvane.scenario(scenario, time_course=None).dose
        best = min(best, (time.perf_counter() - start) / CALLS)
    return best * 1e6


def cpp_per_call(build):
    output = subprocess.run(
        [str(build / "bin" / "bench_scenario"), "--benchmark_filter=psmaExampleFromDocument",
         "--benchmark_repetitions=5", "--benchmark_format=json"],
        capture_output=True, text=True, check=True).stdout
    runs = [b for b in json.loads(output)["benchmarks"] if b.get("run_type") == "iteration"]
    return min(b["real_time"] for b in runs)  # us


def main():
    build = pathlib.Path(sys.argv[1]) if len(sys.argv) > 1 else ROOT / "build"
    python_us = python_per_call()
    cpp_us = cpp_per_call(build)
    print(f"{CALLS} calls from Python: {python_us * CALLS / 1e6:.3f} s, {python_us:.1f} us a call")
    print(f"the same loop in C++:  {cpp_us * CALLS / 1e6:.3f} s, {cpp_us:.1f} us a call")
    print(f"ratio {python_us / cpp_us:.2f} (target 2 or less)")
    return 0 if python_us <= 2 * cpp_us else 1


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""The benchmark summary: a figure printed with its own spread counter and the label after the
figures, and a benchmark that reports only the aggregates of its repetitions printed as their
median with the spreads."""
import json
import os
import subprocess
import sys
import tempfile

SUMMARY = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "scripts",
                       "bench-summary.py")


def aggregate(kind, time, **counters):
    return dict(name=f"BM_Keypad/repeats:5_{kind}", run_name="BM_Keypad/repeats:5",
                run_type="aggregate", aggregate_name=kind, repetitions=5, iterations=5,
                real_time=time, cpu_time=1.0, time_unit="ms", **counters)


benchmarks = [
    dict(name="BM_Import", run_name="BM_Import", run_type="iteration", iterations=1,
         real_time=900.0, cpu_time=10.0, time_unit="ms", beyond_floor_pp=0.5, beyond_floor_iqr=1.2),
    dict(name="BM_Pings/200", run_name="BM_Pings/200", run_type="iteration", iterations=2,
         real_time=12.5, cpu_time=1.0, time_unit="ms", longest_ping_ms=12.5, longest_ping_iqr=0.25,
         longest_ping_max_ms=13.0, label='60 s x 2, noreply:0.3; boxes "Cannot connect" x1'),
    aggregate("mean", 2990.0, **{"refreshes/s": 42.0, "on_x": 1.0}),
    aggregate("median", 2983.0, **{"refreshes/s": 43.23, "on_x": 1.0}),
    aggregate("stddev", 10.0, **{"refreshes/s": 0.2, "on_x": 0.0}),
    aggregate("iqr", 5.0, **{"refreshes/s": 0.075, "on_x": 0.0}),
]
with tempfile.TemporaryDirectory() as d:
    path = os.path.join(d, "out.json")
    with open(path, "w") as f:
        json.dump({"benchmarks": benchmarks}, f)
    out = subprocess.run([sys.executable, SUMMARY, path], capture_output=True, text=True).stdout

expected = [
    "  BM_Import: time 900 ms, beyond_floor_pp 0.5 (IQR 1.2)",
    "  BM_Pings/200: time 12.5 ms, longest_ping_ms 12.5 (IQR 0.25), longest_ping_max_ms 13,"
    ' 60 s x 2, noreply:0.3; boxes "Cannot connect" x1',
    "  BM_Keypad/repeats:5: median of 5, time 2983 ms (IQR 5), refreshes/s 43.23 (IQR 0.075), on_x 1",
]
if out.splitlines() != expected:
    print("FAILED: expected\n" + "\n".join(expected) + "\ngot\n" + out)
    sys.exit(1)
print("ok")

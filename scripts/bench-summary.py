#!/usr/bin/env python3
"""Prints the figures of a benchmark program's JSON output, each beside its spread.

A counter `x_iqr` (or `x_iqr_<unit>`) is the interquartile spread of the figure `x_<unit>` (or
`x`); it is printed with it, not on its own. A benchmark run in repetitions that reports its
aggregates prints its median, each figure with the interquartile spread over the repetitions
(none for a figure that never varied)."""
import json
import sys

UNITS = ("_pp", "_ms", "_us", "_%")
SKIP = {"name", "family_index", "per_family_instance_index", "run_name", "run_type",
        "repetitions", "repetition_index", "threads", "iterations", "real_time",
        "cpu_time", "time_unit", "aggregate_name", "aggregate_unit", "label"}


def spread_key(name, counters):
    base, unit = name, ""
    for u in UNITS:
        if name.endswith(u):
            base, unit = name[: -len(u)], u
            break
    for key in (base + "_iqr", base + "_iqr" + unit):
        if key != name and key in counters:
            return key
    return None


def fmt(v):
    return f"{v:.4g}" if isinstance(v, float) else str(v)


def counters_of(b):
    return {k: v for k, v in b.items() if k not in SKIP and isinstance(v, (int, float))}


def figures(b, iqr=None, stddev=None):
    """The figures of row b; iqr and stddev are the rows of its repetitions' spreads."""
    counters = counters_of(b)
    spreads = {spread_key(k, counters) for k in counters} - {None}

    def over_repetitions(key):
        if iqr is None or key not in iqr:
            return ""
        if iqr[key] == 0 and (stddev is None or stddev.get(key, 0) == 0):
            return ""
        return f" (IQR {fmt(iqr[key])})"

    parts = [f"time {fmt(b['real_time'])} {b.get('time_unit', '')}"
             + over_repetitions("real_time")]
    for k, v in counters.items():
        if k in spreads:
            continue
        s = spread_key(k, counters)
        parts.append(f"{k} {fmt(v)}" + (f" (IQR {fmt(counters[s])})" if s else over_repetitions(k)))
    # What the benchmark says in words (its conditions, the boxes it met) comes last.
    if b.get("label"):
        parts.append(b["label"])
    return ", ".join(parts)


def main(path):
    with open(path) as f:
        data = json.load(f)
    benchmarks = data.get("benchmarks", [])
    aggregates = {}
    for b in benchmarks:
        if b.get("run_type") == "aggregate":
            aggregates.setdefault(b["run_name"], {})[b.get("aggregate_name")] = b
    printed = set()
    for b in benchmarks:
        name = b["name"]
        run = b.get("run_name", name)
        if b.get("error_occurred"):
            print(f"  {name}: skipped ({b.get('error_message', '')})")
            continue
        if run not in aggregates:
            print(f"  {name}: " + figures(b))
            continue
        if run in printed:
            continue
        printed.add(run)
        rows = aggregates[run]
        middle = rows.get("median") or rows.get("mean")
        if middle is None:
            continue
        kind = "median" if "median" in rows else "mean"
        print(f"  {run}: {kind} of {middle.get('repetitions', '?')}, "
              + figures(middle, rows.get("iqr"), rows.get("stddev")))


if __name__ == "__main__":
    main(sys.argv[1])

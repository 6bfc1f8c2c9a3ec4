#!/usr/bin/env python3
"""Prints the figures of a benchmark program's JSON output, each beside its spread.

A counter `x_iqr` (or `x_iqr_<unit>`) is the interquartile spread of the figure `x_<unit>` (or
`x`); it is printed with it, not on its own."""
import json
import sys

UNITS = ("_pp", "_ms", "_us", "_%")


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


def main(path):
    with open(path) as f:
        data = json.load(f)
    for b in data.get("benchmarks", []):
        if b.get("run_type") == "aggregate":
            continue
        name = b["name"]
        if b.get("error_occurred"):
            print(f"  {name}: skipped ({b.get('error_message', '')})")
            continue
        skip = {"name", "family_index", "per_family_instance_index", "run_name", "run_type",
                "repetitions", "repetition_index", "threads", "iterations", "real_time",
                "cpu_time", "time_unit", "aggregate_name", "aggregate_unit", "label"}
        counters = {k: v for k, v in b.items() if k not in skip and isinstance(v, (int, float))}
        spreads = {spread_key(k, counters) for k in counters} - {None}
        parts = [f"time {fmt(b['real_time'])} {b.get('time_unit', '')}"]
        for k, v in counters.items():
            if k in spreads:
                continue
            s = spread_key(k, counters)
            parts.append(f"{k} {fmt(v)}" + (f" (IQR {fmt(counters[s])})" if s else ""))
        print(f"  {name}: " + ", ".join(parts))


if __name__ == "__main__":
    main(sys.argv[1])

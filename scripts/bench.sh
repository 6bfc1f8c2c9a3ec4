#!/usr/bin/env bash
# Builds and runs the benchmarks with the processors' idle states as the machine has them.
#   --hold-idle   also measure the link and transfer benchmarks with the processors held out of
#                 deep idle states (needs root; both figures are printed; the hold ends with the
#                 benchmark)
#   --only=a,b    run only the benchmark programs bench_a, bench_b (e.g. --only=transfer,link)
# Other arguments go to every benchmark program (e.g. --benchmark_filter=...). At the end each
# program's figures are printed again, each with its spread where it has one. The window
# benchmarks run on the X display in DISPLAY; without one they start Xvfb with openbox when
# both are installed, else they run off screen.
# bench_ping (--only=ping) works the program as a user on a lossy line for
# KVR_BENCH_PING_SECONDS (60) in each of KVR_BENCH_PING_RUNS (2) runs per reply time-out, about
# seven minutes in all; KVR_BENCH_PING_FAULT is the drive's fault (noreply:0.3; e.g.
# late:0.3:600), KVR_BENCH_PING_TRACE=1 prints the user's steps and KVR_BENCH_PING_KEEP=<folder>
# keeps each run's line log.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
kvr_install_deps
args=()
only=""
for a in "$@"; do
  case "$a" in
    --hold-idle) export KVR_BENCH_HOLD_IDLE=1 ;;
    --only=*) only=",${a#--only=}," ;;
    *) args+=("$a") ;;
  esac
done
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DKVR_BUILD_TESTS=OFF -DKVR_BUILD_BENCH=ON >/dev/null
cmake --build build-bench -j "$(nproc)"

started=()
if [ -z "${DISPLAY:-}" ] && command -v Xvfb >/dev/null; then
  for n in $(seq 90 120); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    started+=($!)
    export DISPLAY=":$n"
    for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
    if command -v openbox >/dev/null; then openbox >/dev/null 2>&1 & started+=($!); fi
    break
  done
fi
results=$(mktemp -d)
stop_started() {
  for p in "${started[@]}"; do kill "$p" 2>/dev/null || true; done
  rm -rf "$results"
}
trap stop_started EXIT

idle="left alone"
[ "${KVR_BENCH_HOLD_IDLE:-}" = 1 ] && idle="left alone, then held out of deep idle in a second run"
echo "== machine: $(nproc) processors, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | xargs)," \
  "$(uname -r), display ${DISPLAY:-none}, idle states $idle"
ran=()
for b in build-bench/bench/bench_*; do
  [ -f "$b" ] && [ -x "$b" ] || continue
  name=$(basename "$b")
  [ -z "$only" ] || [[ "$only" == *",${name#bench_},"* ]] || continue
  echo "== $name"
  "$b" "${args[@]+"${args[@]}"}" --benchmark_out="$results/$name.json" --benchmark_out_format=json
  ran+=("$name")
done
echo "== figures (median, with the interquartile spread where there is one)"
for name in "${ran[@]+"${ran[@]}"}"; do
  echo "$name"
  [ -s "$results/$name.json" ] && python3 scripts/bench-summary.py "$results/$name.json"
done

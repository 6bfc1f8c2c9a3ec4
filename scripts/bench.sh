#!/usr/bin/env bash
# Builds and runs the benchmarks with the processors' idle states as the machine has them.
#   --hold-idle   also measure the link and transfer benchmarks with the processors held out of
#                 deep idle states (needs root; both figures are printed; the hold ends with the
#                 benchmark)
# Other arguments go to every benchmark program (e.g. --benchmark_filter=...). The window
# benchmarks run on the X display in DISPLAY; without one they start Xvfb with openbox when
# both are installed, else they run off screen.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
kvr_install_deps
args=()
for a in "$@"; do
  if [ "$a" = --hold-idle ]; then export KVR_BENCH_HOLD_IDLE=1; else args+=("$a"); fi
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
stop_started() { for p in "${started[@]}"; do kill "$p" 2>/dev/null || true; done; }
trap stop_started EXIT

idle="left alone"
[ "${KVR_BENCH_HOLD_IDLE:-}" = 1 ] && idle="left alone, then held out of deep idle in a second run"
echo "== machine: $(nproc) processors, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | xargs)," \
  "$(uname -r), display ${DISPLAY:-none}, idle states $idle"
for b in build-bench/bench/bench_*; do
  [ -f "$b" ] && [ -x "$b" ] || continue
  echo "== $(basename "$b")"
  "$b" "${args[@]+"${args[@]}"}"
done

#!/usr/bin/env bash
# Builds and runs the benchmarks. The link and transfer benchmarks keep the processors out of
# deep idle states while they measure when run as root (KVR_BENCH_DEEP_IDLE=1: leave them).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
kvr_install_deps
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DKVR_BUILD_TESTS=OFF >/dev/null
cmake --build build-bench -j "$(nproc)"
for b in build-bench/bench/bench_*; do
  [ -f "$b" ] && [ -x "$b" ] || continue
  echo "== $(basename "$b")"
  "$b" "$@"
done

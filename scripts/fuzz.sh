#!/usr/bin/env bash
# Builds the libFuzzer targets of the file readers with clang and runs each one.
#   scripts/fuzz.sh            each target for FUZZ_SECONDS (default 120) seconds
#   scripts/fuzz.sh --brief    each target for 10 seconds (what the test run uses)
# Findings (crash-*, timeout-*, leak-*) are written to build-fuzz/findings/<target>/ (the
# build folder is FUZZ_BUILD_DIR when set).
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${FUZZ_SECONDS:-120}
[ "${1:-}" = "--brief" ] && seconds=10

if ! command -v clang++ >/dev/null; then
  echo "clang++ is not installed: the fuzz targets need clang's libFuzzer." >&2
  exit 1
fi

dir=${FUZZ_BUILD_DIR:-build-fuzz}
targets=(fuzz_parafile fuzz_cfgfile fuzz_csv fuzz_drivedata fuzz_monitorfile)
flags="-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all"
CC=clang CXX=clang++ cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKVR_BUILD_BENCH=OFF \
  -DKVR_FUZZ=ON -DCMAKE_CXX_FLAGS="$flags" \
  -DCMAKE_PROJECT_KVR260X_INCLUDE="$PWD/tests/fuzz/AddFuzz.cmake" >/dev/null
cmake --build "$dir" -j "$(nproc)" --target "${targets[@]}"

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export QT_QPA_PLATFORM=offscreen
status=0
for t in "${targets[@]}"; do
  exe=$(find "$dir" -maxdepth 3 -type f -name "$t" -perm -u+x | head -n1)
  work="$dir/corpus/$t"
  findings="$dir/findings/$t"
  mkdir -p "$work" "$findings"
  echo "== $t ($seconds s)"
  if ! "$exe" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 -print_final_stats=1 \
      -artifact_prefix="$findings/" "$work" "tests/fuzz/corpus/$t"; then
    echo "$t found a problem: see $findings" >&2
    status=1
  fi
done
exit $status

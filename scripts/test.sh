#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test twice: in a normal build and
# in a build with the address and undefined-behaviour sanitizers.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
kvr_install_deps

jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen
export CTEST_OUTPUT_ON_FAILURE=1
# Compiler cache keyed on paths relative to the checkout, so another clone reuses it.
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1

run_suite() {
  local dir=$1 type=$2; shift 2
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE="$type" -DKVR_BUILD_BENCH=OFF "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
  ctest --test-dir "$dir" --output-on-failure -j "$jobs" --timeout 300
}

echo "== normal build"
run_suite build RelWithDebInfo
echo "== fuzz targets of the file readers (brief run)"
bash scripts/fuzz.sh --brief

echo "== sanitizer build"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
run_suite build-asan Debug -DKVR_SANITIZE=ON

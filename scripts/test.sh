#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test twice: in a normal build and in a
# build with the address and undefined-behaviour sanitizers. Between them: the file readers'
# fuzz targets on their committed seeds and a fixed number of inputs from a fixed seed, and
# the test programs that run threads (link, monitor) built with the thread sanitizer. The
# same commit gives the same answer every time.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
kvr_install_deps

jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen
export CTEST_OUTPUT_ON_FAILURE=1
# Compiler cache keyed on paths relative to the checkout, so another clone reuses it.
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1

# run_suite <build folder> <build type> [cmake options...] [-- <targets to build only>]
run_suite() {
  local dir=$1 type=$2; shift 2
  local options=() targets=() skip=()
  while [ $# -gt 0 ] && [ "$1" != "--" ]; do options+=("$1"); shift; done
  if [ $# -gt 0 ]; then
    shift
    targets=(--target "$@")
    # The programs left unbuilt stand in the list as <program>_NOT_BUILT.
    skip=(-E '_NOT_BUILT$|^LayerCheck\.')
  fi
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE="$type" -DKVR_BUILD_BENCH=OFF "${options[@]}" >/dev/null
  cmake --build "$dir" -j "$jobs" "${targets[@]}"
  ctest --test-dir "$dir" --output-on-failure -j "$jobs" --timeout 300 "${skip[@]}"
}

echo "== normal build"
run_suite build RelWithDebInfo
echo "== fuzz targets of the file readers (committed seeds, then fixed inputs from a fixed seed)"
bash scripts/fuzz.sh --check

echo "== thread sanitizer build (the test programs that run threads)"
# Any report fails its test: the sanitizer's exit code is not 0 then.
export TSAN_OPTIONS="suppressions=$PWD/tests/tsan.supp:second_deadlock_stack=1:halt_on_error=0:exitcode=66"
run_suite build-tsan RelWithDebInfo -DCMAKE_CXX_FLAGS="-fsanitize=thread -fno-omit-frame-pointer" \
  -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread -- test_link test_monitor drivesim

echo "== sanitizer build"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
run_suite build-asan Debug -DKVR_SANITIZE=ON

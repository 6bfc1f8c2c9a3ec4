#!/usr/bin/env bash
# Builds the libFuzzer targets of the file readers with clang and runs each one.
#   scripts/fuzz.sh           hunting: each target for FUZZ_SECONDS (default 120) seconds from a
#                             random seed, keeping what it finds in <build>/corpus/<target>
#   scripts/fuzz.sh --check   what the test run uses: each target replays the committed seeds
#                             (tests/fuzz/corpus/<target>), then tries a fixed number of inputs
#                             from a fixed seed (FUZZ_SEED, default 1). It starts from a fresh
#                             copy of the seeds every time, so a commit always gives the same
#                             answer and the same counts.
# Findings (crash-*, timeout-*, leak-*) are written to <build>/findings/<target>/ (the build
# folder is build-fuzz, or FUZZ_BUILD_DIR when set). Once its fault is mended, an input that
# made a target fail is committed beside that target's seeds as regression-<what it shows>.
set -euo pipefail
cd "$(dirname "$0")/.."

check=false
[ "${1:-}" = "--check" ] && check=true
seconds=${FUZZ_SECONDS:-120}
seed=${FUZZ_SEED:-1}

if ! command -v clang++ >/dev/null; then
  echo "clang++ is not installed: the fuzz targets need clang's libFuzzer." >&2
  exit 1
fi

dir=${FUZZ_BUILD_DIR:-build-fuzz}
targets=(fuzz_parafile fuzz_cfgfile fuzz_csv fuzz_drivedata fuzz_monitorfile)
# Inputs per target in the check: about ten seconds each on a busy eight-core machine (the
# readers differ a hundredfold in speed).
declare -A inputs=([fuzz_parafile]=40000 [fuzz_cfgfile]=1500 [fuzz_csv]=50000
                   [fuzz_drivedata]=600 [fuzz_monitorfile]=100000)
flags="-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all"
CC=clang CXX=clang++ cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKVR_BUILD_BENCH=OFF \
  -DKVR_FUZZ=ON -DCMAKE_CXX_FLAGS="$flags" \
  -DCMAKE_PROJECT_KVR260X_INCLUDE="$PWD/tests/fuzz/AddFuzz.cmake" >/dev/null
cmake --build "$dir" -j "$(nproc)" --target "${targets[@]}"
# Each target sees only its library's layer (a compiler run per target, no build needed).
if $check; then
  if ! probes=$(ctest --test-dir "$dir" -R '^LayerCheck\.IncludeFolders\.fuzz_' --output-on-failure); then
    echo "$probes" >&2
    exit 1
  fi
fi

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export QT_QPA_PLATFORM=offscreen
# The check wants every run the same: Qt seeds its hashes at random per process, and the
# fuzzer takes the operands of comparisons (addresses among them) as hints for its mutations,
# so the addresses must not move between runs either.
fixed=()
if $check; then
  export QT_HASH_SEED=0
  if setarch "$(uname -m)" -R true 2>/dev/null; then
    fixed=(setarch "$(uname -m)" -R)
  else
    echo "note: setarch -R is refused here; the counts below may differ from run to run" >&2
  fi
fi
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
status=0
for t in "${targets[@]}"; do
  exe=$(find "$dir" -maxdepth 3 -type f -name "$t" -perm -u+x | head -n1)
  seeds="tests/fuzz/corpus/$t"
  findings="$dir/findings/$t"
  mkdir -p "$findings"
  common=(-timeout=30 -rss_limit_mb=4096 -print_final_stats=1 -artifact_prefix="$findings/")
  if $check; then
    # The corpus grows as the run goes: it must not outlive the run, or the next one differs.
    work="$scratch/$t"
    cp -r "$seeds" "$work"
    echo "== $t (seeds of $seeds, then ${inputs[$t]} inputs from seed $seed)"
    if ! "${fixed[@]}" "$exe" "${common[@]}" -seed="$seed" -runs="${inputs[$t]}" -reload=0 "$work" \
        >"$scratch/$t.log" 2>&1; then
      cat "$scratch/$t.log" >&2
      echo "$t found a problem: see $findings" >&2
      status=1
      continue
    fi
    # The counts that must come out the same on every run of a commit.
    done_line=$(grep -E '^#[0-9]+[[:space:]]+DONE' "$scratch/$t.log" | tail -n1)
    echo "$t: $(find "$seeds" -type f | wc -l) seeds passed; $(sed -E 's/^#([0-9]+).*cov: ([0-9]+) ft: ([0-9]+) corp: ([0-9]+).*/\1 inputs, coverage \2, features \3, corpus \4/' <<<"$done_line")"
  else
    work="$dir/corpus/$t"
    mkdir -p "$work"
    echo "== $t ($seconds s)"
    if ! "$exe" "${common[@]}" -max_total_time="$seconds" "$work" "$seeds"; then
      echo "$t found a problem: see $findings" >&2
      status=1
    fi
  fi
done
exit $status

#!/usr/bin/env bash
# Builds the libFuzzer targets of the file readers with clang and runs each one.
#   scripts/fuzz.sh           hunting: each target for FUZZ_SECONDS (default 120) seconds from a
#                             random seed, keeping what it finds in <build>/corpus/<target>
#   scripts/fuzz.sh --check   what the test run uses: each target replays the committed seeds
#                             (tests/fuzz/corpus/<target>), then tries a fixed number of inputs
#                             from a fixed seed (FUZZ_SEED, default 1). It starts from a fresh
#                             copy of the seeds every time, in an environment of its own, and
#                             takes no path that depends on addresses or timing, so a commit
#                             gives the same answer and the same counts whatever the caller's
#                             environment and folder and the checkout's. The first eighth of each
#                             target's inputs is tried once more in another folder and
#                             environment and must keep the same inputs, or the check fails.
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
# Coverage that follows no address, or the same input is new in one run and not in the next:
# - without the stack-depth coverage that -fsanitize=fuzzer adds on Linux: the depth an input
#   reaches moves with the frames' alignment, so with where the stack starts (the size of the
#   environment, the address randomisation);
# - without the check of dynamic types (vptr): whether a check finds its type in the cache or
#   takes the slow path, both counted as coverage, depends on a hash of a vtable's address.
flags="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize=vptr -fno-sanitize-coverage=stack-depth"
flags+=" -fno-omit-frame-pointer -fno-sanitize-recover=all"
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

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
settings=(ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
          LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
          UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
          QT_QPA_PLATFORM=offscreen)
run=(env "${settings[@]}")
checking=()
if $check; then
  # The check wants every run the same, wherever it is started from:
  # - each target runs with these variables and no others (Qt's hashes seeded alike, its
  #   temporary folder in the scratch folder), whatever the caller has set;
  # - without libFuzzer's comparison hints (-use_cmp=0): it takes the operands of the
  #   program's comparisons as bytes to try, and some are addresses on the heap, whose layout
  #   moves with the environment, the folder and what the libraries allocate. The program's
  #   paths then depend on no address: the address randomisation stays on;
  # - without libFuzzer's leak check after each input (-detect_leaks=0; the leak sanitizer
  #   still checks when the target ends): it runs an input a second time when more blocks
  #   were allocated than freed meanwhile, which its own thread's start can tip, and a second
  #   run moves the targets' state (the prompter's answers, the working set) on.
  run=(env -i PATH=/usr/local/bin:/usr/bin:/bin LANG=C.UTF-8 QT_HASH_SEED=0 "${settings[@]}")
  checking=(-use_cmp=0 -detect_leaks=0)
fi

# check_run <target> <inputs> <folder> [NAME=value...]: the target in <folder> (its home and
# temporary folder there too) on a fresh copy of its seeds, from the fixed seed, with the
# variables given added; its log is <folder>/<target>.log.
check_run() {
  local t=$1 runs=$2 folder=$3
  shift 3
  mkdir -p "$folder/home" "$folder/tmp"
  # The corpus grows as the run goes: it must not outlive the run, or the next one differs.
  cp -r "tests/fuzz/corpus/$t" "$folder/$t"
  (cd "$folder" && "${run[@]}" HOME="$folder/home" TMPDIR="$folder/tmp" "$@" "$exe" "${common[@]}" \
     "${checking[@]}" -seed="$seed" -runs="$runs" -reload=0 "$t" >"$t.log" 2>&1)
}
# The inputs a run kept up to input n, as libFuzzer reports them (without speed and memory).
kept_inputs() {
  grep -E '^#[0-9]+[[:space:]]+(INITED|NEW|REDUCE)' "$1" | sed -E 's/ (exec\/s|rss): [0-9]+(Mb)?//g' |
    awk -v n="$2" 'substr($1, 2) + 0 <= n'
}

status=0
for t in "${targets[@]}"; do
  exe=$(realpath "$(find "$dir" -maxdepth 3 -type f -name "$t" -perm -u+x | head -n1)")
  seeds="tests/fuzz/corpus/$t"
  mkdir -p "$dir/findings/$t"
  findings=$(realpath "$dir/findings/$t")
  common=(-timeout=30 -rss_limit_mb=4096 -print_final_stats=1 -artifact_prefix="$findings/")
  if $check; then
    echo "== $t (seeds of $seeds, then ${inputs[$t]} inputs from seed $seed)"
    log="$scratch/$t.log"
    if ! check_run "$t" "${inputs[$t]}" "$scratch"; then
      cat "$log" >&2
      echo "$t found a problem: see $findings" >&2
      status=1
      continue
    fi
    # The counts that must come out the same on every run of a commit.
    done_line=$(grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -n1)
    echo "$t: $(find "$seeds" -type f | wc -l) seeds passed; $(sed -E 's/^#([0-9]+).*cov: ([0-9]+) ft: ([0-9]+) corp: ([0-9]+).*/\1 inputs, coverage \2, features \3, corpus \4/' <<<"$done_line")"
    # And that they do: the first eighth of the inputs once more, in another folder, with one
    # more variable (which moves the stack) and another address layout, must keep the same
    # inputs at the same points.
    again=$((${inputs[$t]} / 8))
    if ! check_run "$t" "$again" "$scratch/again" KVR_FUZZ_AGAIN="$t.$again"; then
      cat "$scratch/again/$t.log" >&2
      echo "$t failed on its first $again inputs in another environment: see $findings" >&2
      status=1
    elif ! diff <(kept_inputs "$log" "$again") <(kept_inputs "$scratch/again/$t.log" "$again") >"$scratch/$t.diff"; then
      head -n 20 "$scratch/$t.diff" >&2
      echo "$t kept other inputs in another environment (< here, > there): its counts hold only here" >&2
      status=1
    fi
  else
    work="$dir/corpus/$t"
    mkdir -p "$work"
    echo "== $t ($seconds s)"
    if ! "${run[@]}" "$exe" "${common[@]}" -max_total_time="$seconds" "$work" "$seeds"; then
      echo "$t found a problem: see $findings" >&2
      status=1
    fi
  fi
done
exit $status

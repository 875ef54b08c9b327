#!/usr/bin/env bash
# Builds the libFuzzer targets with AddressSanitizer and UndefinedBehaviorSanitizer (clang, into build-fuzz/) and
# runs each, one at a time, for SECONDS (default 60) on a copy of its seed corpus, so the repository is never
# written. Prints the executions of each target; exits non-zero on any crash, leak, sanitizer report or hang.
# Usage: scripts/fuzz.sh [SECONDS]   (FUZZ_TARGETS="ScanFile ..." picks targets)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
seconds=${1:-60}
targets=(${FUZZ_TARGETS:-ScanFile ProfileFile})
scripts/deps.sh clang libclang-rt-14-dev
build=${FUZZ_BUILD_DIR:-build-fuzz}
CC=clang CXX=clang++ cmake -S . -B "$build" -DINVEXA_GUI=OFF -DBUILD_TESTING=OFF -DINVEXA_FUZZ=ON >/dev/null
cmake --build "$build" -j"${JOBS:-2}" --target "${targets[@]/#/fuzz_}" >&2

# Inputs longer than a few records or a settings file of a few sections find nothing new, and slow every run.
declare -A max_len=([ScanFile]=4096 [ProfileFile]=4096)
# The scan-file target writes a file and commits a merge per input: on a memory file system that costs far less.
base=${TMPDIR:-/tmp}
[ -z "${TMPDIR:-}" ] && [ -d /dev/shm ] && [ -w /dev/shm ] && base=/dev/shm
work=$(mktemp -d "$base/invexa-fuzz.XXXXXX")
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
failed=()
total=0
for t in "${targets[@]}"; do
  dir=$work/$t
  mkdir -p "$dir/artifacts" "$dir/tmp"
  cp -r "$root/tests/fuzz/corpus/$t" "$dir/corpus"
  start=$SECONDS
  status=0
  TMPDIR=$dir/tmp nice -n 10 "$build/tests/fuzz/fuzz_$t" -max_total_time="$seconds" -max_len="${max_len[$t]:-4096}" \
    -timeout=30 -print_final_stats=1 -artifact_prefix="$dir/artifacts/" "$dir/corpus" >"$dir/log" 2>&1 || status=$?
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$dir/log" | tail -n 1)
  execs=${execs:-0}
  total=$((total + execs))
  inputs=$(find "$dir/corpus" -type f | wc -l)
  if [ "$status" -ne 0 ] || grep -qE 'ERROR: (AddressSanitizer|LeakSanitizer|libFuzzer)|runtime error:|property failed' "$dir/log"; then
    failed+=("$t")
    echo "fuzz_$t: FAILED after $execs executions ($((SECONDS - start)) s); log and input kept in $dir" >&2
    grep -E 'ERROR|runtime error|property failed|SUMMARY|Test unit written' "$dir/log" | head -n 20 >&2 || true
  else
    echo "fuzz_$t: $execs executions in $((SECONDS - start)) s, no crash, leak or sanitizer report ($inputs corpus inputs)"
  fi
done
echo "Total: $total executions"
if [ ${#failed[@]} -gt 0 ]; then
  echo "Fuzzing FAILED: ${failed[*]}" >&2
  exit 1
fi
rm -rf "$work"

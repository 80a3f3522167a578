#!/usr/bin/env bash
# Builds the libFuzzer targets (preset "fuzz": clang, AddressSanitizer,
# UndefinedBehaviorSanitizer) and runs each for SECONDS, starting from its
# committed corpus.
#
#   fuzz/run_fuzzers.sh [SECONDS [TARGET...]]     (default: 60 s, every target)
#
# A crash, a sanitizer report, a broken invariant, a leak or a hang fails the
# run; the input that caused it is kept in BUILD/fuzz-findings/TARGET/.  New
# inputs that the fuzzer finds go to BUILD/fuzz-corpus/TARGET/, never into the
# committed corpus.  MICR_FUZZ_BUILD_DIR overrides BUILD (build/fuzz).
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-60}"
shift || true
targets=("$@")
[ "${#targets[@]}" -gt 0 ] || targets=(parser exception_table driver micr_parse)
build="${MICR_FUZZ_BUILD_DIR:-build/fuzz}"
mkdir -p "$build"
# Absolute paths: each target works in a scratch directory of its own.
build="$(cd "$build" && pwd)"
corpus="$PWD/fuzz/corpus"

cmake --preset fuzz -B "$build" >/dev/null
cmake --build "$build" --parallel 2

# The targets make their scratch directories under TMPDIR.  libFuzzer ends
# without running exit handlers, so they are left behind: keep them here.
export TMPDIR="$build/fuzz-scratch"
rm -rf "$TMPDIR"
mkdir -p "$TMPDIR"

failed=()
for target in "${targets[@]}"; do
  work="$build/fuzz-corpus/$target"
  findings="$build/fuzz-findings/$target"
  log="$build/fuzz-$target.log"
  mkdir -p "$work" "$findings"
  echo "== fuzzing $target for ${seconds}s"
  if "$build/fuzz/${target}_fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
       -print_final_stats=1 -artifact_prefix="$findings/" "$work" "$corpus/$target" >"$log" 2>&1; then
    grep -E '^(Done|stat::number_of_executed_units)' "$log" || true
  else
    tail -n 60 "$log"
    echo "== $target: FAILED (any input that caused it is kept in $findings/)"
    failed+=("$target")
  fi
done

if [ "${#failed[@]}" -gt 0 ]; then
  echo "== fuzzing found problems in: ${failed[*]}"
  exit 1
fi
echo "== fuzzing: no findings"

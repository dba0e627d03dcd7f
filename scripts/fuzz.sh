#!/usr/bin/env bash
# Fuzzes the plug-ins through the stand-in host, built with AddressSanitizer
# and UndefinedBehaviorSanitizer in build-sanitize/ (the build of
# `scripts/test.sh --sanitize`).
#   scripts/fuzz.sh [--seconds N] [--function NAME] [--seed N]
# runs each plug-in's driver (or NAME's) for N seconds (default 60) from the
# seed corpus in tests/fuzz/corpus, after replaying it and every past finding
# (tests/fuzz/regressions). A finding is written to
# build-sanitize/tests/fuzz-finding-NAME-K (-crash when a sanitizer ended the
# run, -hang for a hang), and the log prints its bytes with the command that
# repeats it, for a run whose folder is gone (CI's):
#   build-sanitize/tests/fuzz_loop NAME --replay FILE --verbose 1
# Once mended, keep it in tests/fuzz/regressions/NAME.
# With clang (-DIMRESTORE_LIBFUZZER=ON) the same core is also built as
# libFuzzer drivers, build-sanitize/tests/fuzz_NAME.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
seconds=60
mapfile -t functions < <(grep -v "^#" "$top/plugins/plugins.txt")
seed=$(date +%s)
while (($#)); do
  case "$1" in
    --seconds) seconds=$2; shift 2 ;;
    --function) functions=("$2"); shift 2 ;;
    --seed) seed=$2; shift 2 ;;
    *) echo "usage: scripts/fuzz.sh [--seconds N] [--function NAME] [--seed N]" >&2; exit 2 ;;
  esac
done
build_dir="$top/build-sanitize"
if [[ ! -x "$build_dir/tests/fuzz_loop" ]]; then
  "$top/scripts/install-deps.sh"
  "$top/scripts/build.sh" "$build_dir" -DIMRESTORE_SANITIZE=ON -DIMRESTORE_NATIVE=OFF -DIMRESTORE_OCTAVE=OFF -DIMRESTORE_BENCH=OFF
else
  cmake --build "$build_dir" --parallel "$(nproc)" >/dev/null
fi
# abort_on_error: a report ends the driver through abort(), which it catches
# to save and print the input.
export ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1:abort_on_error=1 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1:abort_on_error=1
cd "$build_dir/tests"
status=0
echo "seed $seed"
for name in "${functions[@]}"; do
  # Sanitized calls run several times slower: 5 s for a call on at most 40x40.
  if ! ./fuzz_loop "$name" --replay "$top/tests/fuzz/corpus/$name" --replay "$top/tests/fuzz/regressions/$name" \
    --corpus "$top/tests/fuzz/corpus/$name" --seconds "$seconds" --seed "$seed" --time-limit 5; then
    status=1
    # The "repeat:" line above replays the one input; this repeats the run.
    echo "$name: finding with seed $seed; the same inputs again: scripts/fuzz.sh --function $name --seed $seed --seconds $seconds" >&2
  fi
done
exit $status

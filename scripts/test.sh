#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test (C++ through
# the stand-in host, and Octave calling the MEX files).
#   scripts/test.sh              the release build in build/
#   scripts/test.sh --sanitize   the C++ tests built with AddressSanitizer and
#                                UndefinedBehaviorSanitizer in build-sanitize/,
#                                for any x86-64 (so the portable code paths run)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/install-deps.sh"
if [[ "${1:-}" == --sanitize ]]; then
  build_dir="$top/build-sanitize"
  "$top/scripts/build.sh" "$build_dir" -DIMRESTORE_SANITIZE=ON -DIMRESTORE_NATIVE=OFF -DIMRESTORE_OCTAVE=OFF -DIMRESTORE_BENCH=OFF
  export ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1 UBSAN_OPTIONS=print_stacktrace=1
else
  build_dir="$top/build"
  "$top/scripts/build.sh" "$build_dir"
fi
cd "$build_dir"
ctest --output-on-failure --parallel "$(nproc)"

#!/usr/bin/env bash
# Configures and builds imrestore in BUILD_DIR (default: build) with any extra
# CMake arguments. The Octave plug-ins land in BUILD_DIR/mex.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build_dir=${1:-$top/build}
shift || true
cmake -S "$top" -B "$build_dir" -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
cmake --build "$build_dir" --parallel "$(nproc)"

#!/usr/bin/env bash
# Installs what is missing, builds the plug-ins and runs the demo.
#   scripts/demo.sh [IMAGE]    IMAGE: a grey-level or colour picture to use
#                              instead of the generated test image
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/install-deps.sh"
# Only the MEX files and their help files; the build's progress goes to a
# log that is shown when the build fails.
mkdir -p "$top/build"
log="$top/build/demo-build.log"
if ! { cmake -S "$top" -B "$top/build" -DCMAKE_BUILD_TYPE=Release &&
       cmake --build "$top/build" --parallel "$(nproc)" --target octave_mex; } > "$log" 2>&1; then
  cat "$log" >&2
  exit 1
fi
mkdir -p "$top/demo-output"
image=""
if [[ $# -ge 1 ]]; then
  image=$(realpath "$1")
fi
cd "$top/demo-output"
# Octave 7.3 as packaged here prints a harmless "ignoring const
# execution_exception" line when it exits; it is left out of the demo's output.
octave-cli --no-gui --norc --quiet "$top/demo/imrestore_demo.m" "$top/build/mex" "$top/demo-output" $image \
  2> >(grep -v "ignoring const execution_exception" >&2)

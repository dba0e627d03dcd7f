#!/usr/bin/env bash
# Installs what is missing, builds the plug-ins and runs the demo.
#   scripts/demo.sh [IMAGE]    IMAGE: a grey-level or colour picture to use
#                              instead of the generated test image
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/install-deps.sh"
"$top/scripts/build.sh" "$top/build"
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

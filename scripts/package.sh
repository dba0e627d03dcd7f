#!/usr/bin/env bash
# Writes the Octave package imrestore-VERSION.tar.gz (VERSION from
# DESCRIPTION) into OUT_DIR (default: the top of the repository), in the
# layout pkg install expects: DESCRIPTION, COPYING, INDEX, NEWS, inst/ with
# the functions written in Octave and the test image, and src/ with the
# sources, the MEX files' help files (src/help) and the Makefile that builds
# the MEX files with mkoctfile.
#   scripts/package.sh [OUT_DIR]
#   then, in Octave: pkg install imrestore-VERSION.tar.gz; pkg load imrestore
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
out_dir=$(realpath "${1:-$top}")
version=$(sed -n 's/^Version: *//p' "$top/DESCRIPTION")
name=imrestore-$version
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT

pkg="$stage/$name"
mkdir -p "$pkg/inst" "$pkg/src/plugins" "$pkg/src/help"
cp "$top/DESCRIPTION" "$top/COPYING" "$top/INDEX" "$top/NEWS" "$pkg/"
cp -R "$top"/toolbox/* "$pkg/inst/"
cp "$top"/plugins/*.m "$pkg/src/help/"
cp "$top/package/Makefile" "$top/core_sources.txt" "$pkg/src/"
cp "$top"/plugins/*.cpp "$top"/plugins/*.h "$top/plugins/plugins.txt" "$pkg/src/plugins/"
for folder in host common simd nonlocal tv affinity wavelet recipes; do
  mkdir -p "$pkg/src/$folder"
  find "$top/$folder" -maxdepth 1 -type f \( -name '*.h' -o -name '*.cpp' \) -exec cp {} "$pkg/src/$folder/" \;
done
tar -C "$stage" -czf "$out_dir/$name.tar.gz" "$name"
echo "$out_dir/$name.tar.gz"

#!/usr/bin/env bash
# Installs the Debian packages that imrestore needs, skipping those already
# installed. With --bench it adds what the benchmark comparisons run against.
set -euo pipefail

packages=(g++ cmake make octave liboctave-dev libgtest-dev)
if [[ "${1:-}" == --bench ]]; then
  packages+=(python3 python3-numpy python3-scipy python3-skimage python3-pywt)
fi

missing=()
# The demo draws its titled pictures through gnuplot (octave recommends it;
# an installation without recommended packages lacks it).
if ! command -v gnuplot >/dev/null 2>&1; then
  missing+=(gnuplot-nox)
fi
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done
if ((${#missing[@]} == 0)); then
  exit 0
fi

sudo=""
if [[ $(id -u) -ne 0 ]]; then
  sudo="sudo"
fi
echo "Installing ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"

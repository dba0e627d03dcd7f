#!/usr/bin/python3
"""waveanalyze / wavesynth against PyWavelets with periodization.

    bench/compare_pywt.py [BUILD_DIR]

Runs build/bench/bench_wavelet (a 2048x2048 image with 5 levels and a
2^20-sample signal with 10 levels, Daubechies filter of length 8, forward and
inverse) and, in the same run, PyWavelets' wavedec2/waverec2 and
wavedec/waverec with wavelet 'db4' and mode='periodization' on data of the
same sizes, and prints the times and the ratios in each direction.
Needs python3-numpy and python3-pywt (scripts/install-deps.sh --bench).
"""
import re
import sys

import numpy as np
import pywt

from benchtools import best_time, run_bench

REPEAT = 5


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build"
    out = run_bench(build, "bench_wavelet", ["--repeat", str(REPEAT)])
    ours = {}
    for kind in ("image", "signal"):
        line = re.search(kind + r" .* forward seconds ([0-9.e-]+) inverse seconds ([0-9.e-]+)", out)
        ours[kind] = (float(line.group(1)), float(line.group(2)))

    rng = np.random.default_rng(1)
    image = rng.random((2048, 2048))
    signal = rng.random(1 << 20)
    theirs = {}
    coefficients = pywt.wavedec2(image, "db4", mode="periodization", level=5)
    theirs["image"] = (best_time(lambda: pywt.wavedec2(image, "db4", mode="periodization", level=5), REPEAT),
                       best_time(lambda: pywt.waverec2(coefficients, "db4", mode="periodization"), REPEAT))
    coefficients = pywt.wavedec(signal, "db4", mode="periodization", level=10)
    theirs["signal"] = (best_time(lambda: pywt.wavedec(signal, "db4", mode="periodization", level=10), REPEAT),
                        best_time(lambda: pywt.waverec(coefficients, "db4", mode="periodization"), REPEAT))

    titles = {"image": "2048x2048 image, 5 levels", "signal": "2^20-sample signal, 10 levels"}
    for kind in ("image", "signal"):
        print(f"{titles[kind]}, filter length 8")
        for d, direction, py in ((0, "forward", "wavedec"), (1, "inverse", "waverec")):
            name = py + ("2" if kind == "image" else "")
            print(f"  {direction}: PyWavelets {name} {theirs[kind][d] * 1e3:7.2f} ms, "
                  f"{'waveanalyze' if d == 0 else 'wavesynth  '} {ours[kind][d] * 1e3:7.2f} ms, "
                  f"{theirs[kind][d] / ours[kind][d]:.1f}x faster")


if __name__ == "__main__":
    main()

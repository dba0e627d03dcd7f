#!/usr/bin/python3
"""Patch-distance throughput of patchaffinity against scikit-image's nonlocal means.

    bench/compare_affinity.py [BUILD_DIR]

On 128x128 and 256x256 noisy versions of scikit-image's camera picture, runs
build/bench/bench_patchaffinity with the defaults (patch radius 3, search
radius 6: 49-term distances) and denoise_nl_means(fast_mode=False,
patch_size=7, patch_distance=6), and prints million patch distances per
second of both (patchaffinity: the off-diagonal entries of its matrix;
scikit-image: every pixel against every position of its 13x13 window) and
their ratio. Needs python3-numpy and python3-skimage (scripts/install-deps.sh --bench).
"""
import sys

import numpy as np
from skimage import data, img_as_float
from skimage.restoration import denoise_nl_means
from skimage.transform import resize

from benchtools import best_time, figure, run_bench

REPEAT = 3


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build"
    rng = np.random.default_rng(1)
    sigma = 0.05
    images = {}
    for side in (128, 256):
        clean = resize(img_as_float(data.camera()), (side, side), anti_aliasing=True)
        images[side] = clean + sigma * rng.standard_normal(clean.shape)

    ours = {}
    for side, noisy in images.items():
        out = run_bench(build, "bench_patchaffinity", ["--size", str(side), str(side), "--h", "0.1",
                                                       "--repeat", str(REPEAT)], noisy)
        ours[side] = (figure(out, "million patch distances per second"), figure(out, "seconds"),
                      figure(out, "peak memory beyond the result MiB"))

    # scikit-image last: numpy may leave threads spinning that would slow a later run.
    for side, noisy in images.items():
        seconds = best_time(lambda: denoise_nl_means(noisy, patch_size=7, patch_distance=6, h=0.8 * sigma,
                                                     sigma=sigma, fast_mode=False), REPEAT)
        theirs = side * side * 13 * 13 / seconds / 1e6
        rate, time_ours, memory = ours[side]
        print(f"{side}x{side} image, patch 7x7, window 13x13")
        print(f"  scikit-image denoise_nl_means(fast_mode=False): {seconds:.4f} s, {theirs:.1f} million distances/s")
        print(f"  patchaffinity:                                  {time_ours:.4f} s, {rate:.1f} million distances/s, "
              f"work memory {memory:.1f} MiB")
        print(f"  patchaffinity / scikit-image throughput: {rate / theirs:.1f}x")


if __name__ == "__main__":
    main()

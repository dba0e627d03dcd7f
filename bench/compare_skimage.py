#!/usr/bin/python3
"""Patch-distance throughput of patchgraph against scikit-image's nonlocal means.

    bench/compare_skimage.py [BUILD_DIR]

Runs, in one go and on the same 128x128 noisy image (scikit-image's camera
picture, downsampled), build/bench/bench_patchgraph with patch 7 and window 13
and denoise_nl_means(fast_mode=False, patch_size=7, patch_distance=6), and
prints million patch distances per second for both (every pixel against every
position of its 13x13 window) and their ratio. It also times patchgraph on a
512x512 image with patch 5 and window 11.
Needs python3-numpy and python3-skimage (scripts/install-deps.sh --bench).
"""
import os
import re
import subprocess
import sys
import tempfile

import numpy as np
from skimage import data, img_as_float
from skimage.restoration import denoise_nl_means

from benchtools import best_time

REPEAT = 5




def run_patchgraph(binary, args):
    out = subprocess.run([binary] + args, check=True, capture_output=True, text=True).stdout
    seconds = float(re.search(r"seconds ([0-9.]+)", out).group(1))
    memory = float(re.search(r"peak memory beyond the results MiB ([0-9.]+)", out).group(1))
    return seconds, memory, out


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build"
    binary = os.path.join(build, "bench", "bench_patchgraph")
    sigma = 0.05
    rng = np.random.default_rng(1)
    clean = img_as_float(data.camera())[::4, ::4]
    noisy = (clean + sigma * rng.standard_normal(clean.shape)).astype(np.float32)
    rows, cols = noisy.shape
    distances = rows * cols * 13 * 13

    offsets = np.arange(-3, 4)
    kernel = np.exp(-(offsets[:, None] ** 2 + offsets[None, :] ** 2) / 2.0)
    h = 2 * sigma ** 2 * kernel.sum()
    with tempfile.NamedTemporaryFile(suffix=".f32") as raw:
        raw.write(np.asfortranarray(noisy).tobytes(order="F"))
        raw.flush()
        ours, memory, _ = run_patchgraph(binary, ["--size", str(rows), str(cols), "--patch", "7", "--window", "13",
                                                  "--h", repr(h), "--raw", raw.name, "--repeat", str(REPEAT)])

    seconds, large_memory, _ = run_patchgraph(binary, ["--size", "512", "512", "--patch", "5", "--window", "11",
                                                       "--repeat", str(REPEAT)])

    # scikit-image last: numpy may leave threads spinning that would slow a later run.
    sk = best_time(lambda: denoise_nl_means(noisy.astype(np.float64), patch_size=7, patch_distance=6,
                                            h=0.8 * sigma, sigma=sigma, fast_mode=False), REPEAT)

    print(f"{rows}x{cols} image, patch 7, window 13 ({distances} patch distances of 49 terms)")
    print(f"  scikit-image denoise_nl_means(fast_mode=False): {sk:.4f} s, "
          f"{distances / sk / 1e6:.1f} million distances/s")
    print(f"  patchgraph (nearest 4, best 10):               {ours:.4f} s, "
          f"{distances / ours / 1e6:.1f} million distances/s, work memory {memory:.1f} MiB")
    print(f"  patchgraph / scikit-image throughput: {sk / ours:.1f}x")

    print(f"512x512 generated image, patch 5, window 11, nearest 4, best 10: {seconds:.4f} s, "
          f"{512 * 512 * 121 / seconds / 1e6:.1f} million distances/s, work memory {large_memory:.1f} MiB")


if __name__ == "__main__":
    main()

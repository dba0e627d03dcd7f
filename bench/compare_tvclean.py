#!/usr/bin/python3
"""Time per Bregman iteration of tvclean against scikit-image's split Bregman TV.

    bench/compare_tvclean.py [BUILD_DIR]

On the same noisy 512x512 image (scikit-image's camera picture plus noise),
runs build/bench/bench_tvclean (100 iterations in blocks of five, each block
followed by the relative-change check, as tvclean runs them) and
denoise_tv_bregman(isotropic=True, eps=0) for a fixed number of iterations,
and prints the time per iteration of both and their ratio.
Needs python3-numpy and python3-skimage (scripts/install-deps.sh --bench).
"""
import os
import re
import subprocess
import sys
import tempfile

import numpy as np
from skimage import data, img_as_float
from skimage.restoration import denoise_tv_bregman

from benchtools import best_time

ITERATIONS = 100
REPEAT = 3


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build"
    binary = os.path.join(build, "bench", "bench_tvclean")
    rng = np.random.default_rng(1)
    noisy = img_as_float(data.camera()) + 0.05 * rng.standard_normal((512, 512))
    rows, cols = noisy.shape

    with tempfile.NamedTemporaryFile(suffix=".f64") as raw:
        raw.write(np.asfortranarray(noisy).tobytes(order="F"))
        raw.flush()
        out = subprocess.run([binary, "--size", str(rows), str(cols), "--raw", raw.name, "--mu", "0.1",
                              "--blocks", str(ITERATIONS // 5), "--repeat", str(REPEAT)],
                             check=True, capture_output=True, text=True).stdout
    ours = float(re.search(r"seconds per Bregman iteration ([0-9.e-]+)", out).group(1))

    # scikit-image last: numpy may leave threads spinning that would slow a later run.
    best = best_time(lambda: denoise_tv_bregman(noisy, weight=0.1, max_num_iter=ITERATIONS, eps=0, isotropic=True),
                     REPEAT)
    theirs = best / ITERATIONS

    print(f"{rows}x{cols} noisy camera image, {ITERATIONS} iterations")
    print(f"  scikit-image denoise_tv_bregman(isotropic=True, eps=0): {theirs * 1e3:.3f} ms per iteration")
    print(f"  tvclean (mu 0.1):                                       {ours * 1e3:.3f} ms per iteration")
    print(f"  tvclean is {theirs / ours:.1f}x faster per iteration")


if __name__ == "__main__":
    main()

#!/usr/bin/python3
"""PSNR of every imrestore method at its recommended settings on real
photographs, beside scikit-image's denoisers, and a check of each
recommended parameter against a grid around it.

    bench/denoising_table.py [BUILD_DIR]

The photographs are scikit-image's camera, astronaut, coffee and coins
(the colour ones made grey), cropped to multiples of 8, with Gaussian noise
of standard deviation 0.05 and 0.1 on [0, 1] (fixed seeds). Prints a
Markdown table, then for every parameter the worst shortfall of the
recommended value from the best value of its grid, and exits non-zero when
that exceeds 0.5 dB. Needs python3-numpy and python3-skimage
(scripts/install-deps.sh --bench).
"""
import collections
import os
import subprocess
import sys
import tempfile

import numpy as np
from skimage import color, data, img_as_float
from skimage.metrics import peak_signal_noise_ratio
from skimage.restoration import (denoise_nl_means, denoise_tv_bregman, denoise_wavelet, estimate_sigma)

IMAGES = {"camera": data.camera, "astronaut": lambda: color.rgb2gray(data.astronaut()),
          "coffee": lambda: color.rgb2gray(data.coffee()), "coins": data.coins}
SIGMAS = (0.05, 0.1)


def peers(clean, noisy):
    """scikit-image's denoisers as their documentation suggests."""
    psnr = lambda u: peak_signal_noise_ratio(clean, u, data_range=1)
    tv = max(psnr(denoise_tv_bregman(noisy, weight=w, isotropic=True)) for w in (2, 4, 8, 16, 32))
    wave = psnr(denoise_wavelet(noisy, method="BayesShrink", mode="soft", rescale_sigma=True))
    s = estimate_sigma(noisy)
    nlm = psnr(denoise_nl_means(noisy, patch_size=5, patch_distance=6, h=0.8 * s, sigma=s, fast_mode=True))
    return {"tv_bregman (best weight)": tv, "wavelet BayesShrink": wave, "nl_means": nlm}


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build"
    here = os.path.dirname(os.path.abspath(__file__))
    with tempfile.TemporaryDirectory() as work:
        cases, theirs = [], {}
        for name, load in IMAGES.items():
            image = img_as_float(load())
            image = image[: image.shape[0] // 8 * 8, : image.shape[1] // 8 * 8]
            for k, sigma in enumerate(SIGMAS):
                noisy = image + sigma * np.random.default_rng(100 + k).standard_normal(image.shape)
                stem = os.path.join(work, f"{name}_{k}")
                for suffix, array in ((".clean", image), (".noisy", noisy)):
                    with open(stem + suffix, "wb") as out:
                        out.write(np.asfortranarray(array).tobytes(order="F"))
                cases.append(f"{name} {sigma} {image.shape[0]} {image.shape[1]} {stem}")
                theirs[(name, f"{sigma:.2f}")] = peers(image, noisy)
        with open(os.path.join(work, "cases.txt"), "w") as out:
            out.write("\n".join(cases) + "\n")
        lines = subprocess.run(["octave-cli", "--no-gui", "--norc", "--quiet", os.path.join(here, "denoising_grid.m"),
                                os.path.join(build, "mex"), os.path.join(work, "cases.txt")],
                               check=True, capture_output=True, text=True).stdout.split("\n")
    ours = {}
    grids = collections.defaultdict(dict)
    for line in lines:
        parts = line.split()
        if len(parts) != 6:
            continue
        image, sigma, method, parameter, factor, psnr = parts
        grids[(method, parameter, image, sigma)][float(factor)] = float(psnr)
        if float(factor) == 1:
            ours[(image, sigma, method)] = float(psnr)
    methods = ["tvclean", "graphshrink", "graphsmooth", "patchaffinity", "wavelet"]
    peer_names = list(next(iter(theirs.values())))
    print("| image | sigma | " + " | ".join(methods + ["skimage " + p for p in peer_names]) + " |")
    print("|---|---|" + "---|" * (len(methods) + len(peer_names)))
    for (image, sigma), peer in theirs.items():
        cells = [f"{ours[(image, sigma, m)]:.2f}" for m in methods] + [f"{peer[p]:.2f}" for p in peer_names]
        print(f"| {image} | {sigma} | " + " | ".join(cells) + " |")
    print()
    worst = collections.defaultdict(float)
    for (method, parameter, image, sigma), grid in grids.items():
        recommended = ours[(image, sigma, method)]   # every grid's factor 1 is the same call
        worst[(method, parameter)] = max(worst[(method, parameter)], max(grid.values()) - recommended)
    failed = False
    for (method, parameter), shortfall in sorted(worst.items()):
        print(f"{method} {parameter}: recommended value at most {shortfall:.2f} dB below the best of its grid")
        failed |= shortfall > 0.5
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()

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
import sys

from photographs import run_cases


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build"
    theirs, lines = run_cases(("camera", "astronaut", "coffee", "coins"), "denoising_grid.m", build, multiple=8)
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

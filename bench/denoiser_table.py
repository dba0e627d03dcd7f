#!/usr/bin/python3
"""PSNR of the denoisers tvdenoise, wavedenoise, nltvdenoise and nlh1denoise
with their defaults (the noise level estimated, not given) on photographs,
beside scikit-image's denoiser of each family as its documentation suggests.

    bench/denoiser_table.py [BUILD_DIR]

scikit-image's camera, astronaut, coffee, coins, chelsea and moon (the
colour ones made grey) with Gaussian noise of 0.05 and 0.1 on [0, 1]. Prints
a Markdown table and the shortfall of each denoiser from its peer (tv_bregman
at its best weight for tvdenoise, BayesShrink for wavedenoise, nl_means for
the nonlocal two), and exits non-zero when one falls short by more than its
bound (0.3 dB, or 0.5 dB for the nonlocal ones). Needs python3-numpy and
python3-skimage (scripts/install-deps.sh --bench).
"""
import collections
import sys

from photographs import IMAGES, run_cases

PEER = {"tvdenoise": ("tv_bregman (best weight)", 0.3), "wavedenoise": ("wavelet BayesShrink", 0.3),
        "nltvdenoise": ("nl_means", 0.5), "nlh1denoise": ("nl_means", 0.5)}


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build"
    theirs, lines = run_cases(IMAGES, "denoisers.m", build)
    ours, seconds = {}, collections.defaultdict(list)
    for line in lines:
        parts = line.split()
        if len(parts) == 5:
            image, sigma, method, value, time = parts
            ours[(image, sigma, method)] = float(value)
            seconds[method].append(float(time))
    methods = list(PEER)
    peer_names = list(next(iter(theirs.values())))
    print("| image | sigma | estimated | " + " | ".join(methods + ["skimage " + p for p in peer_names]) + " |")
    print("|---|---|---|" + "---|" * (len(methods) + len(peer_names)))
    worst = collections.defaultdict(lambda: -float("inf"))
    for (image, sigma), peer in theirs.items():
        cells = [f"{ours[(image, sigma, 'noiselevel')]:.3f}"]
        cells += [f"{ours[(image, sigma, m)]:.2f}" for m in methods] + [f"{peer[p]:.2f}" for p in peer_names]
        print(f"| {image} | {sigma} | " + " | ".join(cells) + " |")
        for m in methods:
            worst[m] = max(worst[m], peer[PEER[m][0]] - ours[(image, sigma, m)])
    print()
    failed = False
    for m in methods:
        name, bound = PEER[m]
        print(f"{m}: at most {worst[m]:.2f} dB below skimage {name} (bound {bound} dB); "
              f"{min(seconds[m]):.2f} to {max(seconds[m]):.2f} s per image")
        failed |= worst[m] > bound
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()

#!/usr/bin/python3
"""PSNR and time of the denoisers tvdenoise, wavedenoise, nltvdenoise and
nlh1denoise with their defaults (the noise level estimated, not given),
whole calls from octave-cli, beside scikit-image's denoiser of each family
in the same run, and the error of noiselevel.

    bench/denoiser_table.py [BUILD_DIR] [--repeat R] [--grey-only]

scikit-image's camera, astronaut, coffee, coins, chelsea and moon made grey,
and astronaut, coffee and chelsea in colour (channel_axis=-1), with Gaussian
noise of 0.05 and 0.1 on [0, 1] (fixed seeds, not clipped). The peers: for
tvdenoise denoise_tv_bregman at the best of the weights 2 to 32 (timed at
that weight); for wavedenoise denoise_wavelet(BayesShrink) for the PSNR
(convert2ycbcr on colour) and its cycle_spin over one shift each way with
the same filter (PyWavelets' db4) and 5 levels for the time; for the
nonlocal pair denoise_nl_means(fast_mode=True, patch 5, distance 6,
h = 0.8 sigma-hat). Times are medians of R calls (default 1) on each side.
Prints a Markdown table per family and each one's shortfall and speed
ratio; the exit status says nothing about them. Needs python3-numpy and
python3-skimage (scripts/install-deps.sh --bench).
"""
import collections
import functools
import sys

from photographs import COLOUR_IMAGES, IMAGES, peers, run_cases

FAMILIES = (("tvdenoise", "tv_bregman (best weight)", "tv_bregman (best weight)"),
            ("wavedenoise", "wavelet BayesShrink", "cycle_spin wavelet"),
            ("nltvdenoise", "nl_means", "nl_means"),
            ("nlh1denoise", "nl_means", "nl_means"))


def main():
    args = [a for a in sys.argv[1:] if not a.startswith("--")]
    build = args[0] if args else "build"
    repeat = int(sys.argv[sys.argv.index("--repeat") + 1]) if "--repeat" in sys.argv else 1
    if "--repeat" in sys.argv:
        args = [a for a in args if a != str(repeat)]
    names = list(IMAGES) + ([] if "--grey-only" in sys.argv else list(COLOUR_IMAGES))
    theirs, lines = run_cases(names, "denoisers.m", build, peers=functools.partial(peers, repeat=repeat),
                              script_args=(str(repeat),))
    ours = {}
    for line in lines:
        parts = line.split()
        if len(parts) == 5:
            image, sigma, method, value, seconds = parts
            ours[(image, sigma, method)] = (float(value), float(seconds))
    worst_noise = 0.0
    for (image, sigma) in theirs:
        worst_noise = max(worst_noise, abs(ours[(image, sigma, "noiselevel")][0] / float(sigma) - 1))
    print(f"noiselevel: at most {100 * worst_noise:.1f}% from the true sigma\n")
    for method, psnr_peer, time_peer in FAMILIES:
        print(f"| image | sigma | {method} dB | skimage {psnr_peer} dB | {method} s | skimage {time_peer} s | time ratio |")
        print("|---|---|---|---|---|---|---|")
        shortfall, ratios = -float("inf"), []
        for (image, sigma), peer in theirs.items():
            value, seconds = ours[(image, sigma, method)]
            their_psnr, their_seconds = peer[psnr_peer][0], peer[time_peer][1]
            shortfall = max(shortfall, their_psnr - value)
            ratios.append(seconds / their_seconds)
            print(f"| {image.replace('_', ' ')} | {sigma} | {value:.2f} | {their_psnr:.2f} | {seconds:.3f} | "
                  f"{their_seconds:.3f} | {seconds / their_seconds:.2f} |")
        print(f"\n{method}: worst {shortfall:+.2f} dB below skimage {psnr_peer} (negative: above it on every case); "
              f"time {min(ratios):.2f} to {max(ratios):.2f} times skimage {time_peer}\n")


if __name__ == "__main__":
    main()

"""scikit-image's photographs with Gaussian noise, and scikit-image's own
denoisers on them, for the denoising tables."""
import os
import subprocess
import tempfile
import time

import numpy as np
from skimage import color, data, img_as_float
from skimage.metrics import peak_signal_noise_ratio
from skimage.restoration import (cycle_spin, denoise_nl_means, denoise_tv_bregman, denoise_wavelet,
                                 estimate_sigma)

IMAGES = {"camera": data.camera, "astronaut": lambda: color.rgb2gray(data.astronaut()),
          "coffee": lambda: color.rgb2gray(data.coffee()), "coins": data.coins,
          "chelsea": lambda: color.rgb2gray(data.chelsea()), "moon": data.moon}
COLOUR_IMAGES = {"astronaut (colour)": data.astronaut, "coffee (colour)": data.coffee,
                 "chelsea (colour)": data.chelsea}
SIGMAS = (0.05, 0.1)
TV_WEIGHTS = (2, 4, 8, 16, 32)


def image_of(name):
    return img_as_float((IMAGES.get(name) or COLOUR_IMAGES[name])())


def write_cases(folder, names, multiple=1):
    """Writes each photograph (on [0, 1], cropped to a multiple of
    `multiple`) and a noisy copy per noise level (fixed seeds, not clipped)
    as doubles column by column into FOLDER. Returns the list of cases
    (name, sigma, clean, noisy) and the lines of a case file:
    IMAGE SIGMA ROWS COLUMNS CHANNELS STEM (names without spaces)."""
    cases, lines = [], []
    for index, name in enumerate(names):
        image = image_of(name)
        image = image[: image.shape[0] // multiple * multiple, : image.shape[1] // multiple * multiple]
        for k, sigma in enumerate(SIGMAS):
            noisy = image + sigma * np.random.default_rng(100 + k).standard_normal(image.shape)
            stem = os.path.join(folder, f"case{index}_{k}")
            for suffix, array in ((".clean", image), (".noisy", noisy)):
                with open(stem + suffix, "wb") as out:
                    out.write(np.asfortranarray(array).tobytes(order="F"))
            cases.append((name, sigma, image, noisy))
            channels = image.shape[2] if image.ndim == 3 else 1
            lines.append(f"{name.replace(' ', '_')} {sigma} {image.shape[0]} {image.shape[1]} {channels} {stem}")
    return cases, lines


def run_cases(names, script, build, multiple=1, peers=None, script_args=()):
    """Writes the cases of the photographs NAMES into a scratch folder, runs
    the Octave SCRIPT (beside this file) on them with BUILD's MEX folder, and
    returns PEERS(clean, noisy) per (name, sigma) (scikit-image's figures)
    and the lines SCRIPT printed."""
    peers = peers or peer_psnr
    here = os.path.dirname(os.path.abspath(__file__))
    with tempfile.TemporaryDirectory() as work:
        cases, case_lines = write_cases(work, names, multiple)
        case_file = os.path.join(work, "cases.txt")
        with open(case_file, "w") as out:
            out.write("\n".join(case_lines) + "\n")
        lines = subprocess.run(["octave-cli", "--no-gui", "--norc", "--quiet", os.path.join(here, script),
                                os.path.join(build, "mex"), case_file, *script_args],
                               check=True, capture_output=True, text=True).stdout.split("\n")
        theirs = {(name.replace(" ", "_"), f"{sigma:.2f}"): peers(clean, noisy) for name, sigma, clean, noisy in cases}
    return theirs, lines


def timed(run, repeat=1):
    """run()'s result and the median wall time of `repeat` calls."""
    times = []
    for _ in range(repeat):
        start = time.perf_counter()
        result = run()
        times.append(time.perf_counter() - start)
    return result, sorted(times)[len(times) // 2]


def peers(clean, noisy, repeat=1):
    """scikit-image's denoisers as their documentation suggests, with their
    PSNR and seconds: denoise_tv_bregman at the best of TV_WEIGHTS (timed at
    that weight), denoise_wavelet(BayesShrink) (convert2ycbcr on colour),
    its cycle_spin over one shift each way with wavedenoise's filter
    (PyWavelets' db4) and levels (timed), and denoise_nl_means (fast mode,
    patch 5, distance 6, h = 0.8 sigma-hat)."""
    colour = noisy.ndim == 3
    axis = -1 if colour else None
    psnr = lambda u: peak_signal_noise_ratio(clean, u, data_range=1)
    tv = {}
    for w in TV_WEIGHTS:
        u, seconds = timed(lambda: denoise_tv_bregman(noisy, weight=w, isotropic=True, channel_axis=axis), repeat)
        tv[w] = (psnr(u), seconds)
    best = max(tv, key=lambda w: tv[w][0])
    wave, wave_seconds = timed(lambda: denoise_wavelet(noisy, method="BayesShrink", mode="soft", rescale_sigma=True,
                                                        channel_axis=axis, convert2ycbcr=colour), repeat)
    spin, spin_seconds = timed(lambda: cycle_spin(noisy, denoise_wavelet, max_shifts=1, channel_axis=axis,
                                                  func_kw=dict(wavelet="db4", wavelet_levels=5, method="BayesShrink",
                                                               mode="soft", rescale_sigma=True, channel_axis=axis,
                                                               convert2ycbcr=colour)), repeat)
    s = np.mean(estimate_sigma(noisy, channel_axis=axis))
    nlm, nlm_seconds = timed(lambda: denoise_nl_means(noisy, patch_size=5, patch_distance=6, h=0.8 * s, sigma=s,
                                                      fast_mode=True, channel_axis=axis), repeat)
    return {"tv_bregman (best weight)": (tv[best][0], tv[best][1]), "wavelet BayesShrink": (psnr(wave), wave_seconds),
            "cycle_spin wavelet": (psnr(spin), spin_seconds), "nl_means": (psnr(nlm), nlm_seconds)}


def peer_psnr(clean, noisy):
    """The PSNR of each of peers()."""
    return {name: value[0] for name, value in peers(clean, noisy).items()}

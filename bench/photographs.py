"""scikit-image's photographs with Gaussian noise, and scikit-image's own
denoisers on them, for the denoising tables."""
import os
import subprocess
import tempfile

import numpy as np
from skimage import color, data, img_as_float
from skimage.metrics import peak_signal_noise_ratio
from skimage.restoration import (denoise_nl_means, denoise_tv_bregman, denoise_wavelet, estimate_sigma)

IMAGES = {"camera": data.camera, "astronaut": lambda: color.rgb2gray(data.astronaut()),
          "coffee": lambda: color.rgb2gray(data.coffee()), "coins": data.coins,
          "chelsea": lambda: color.rgb2gray(data.chelsea()), "moon": data.moon}
SIGMAS = (0.05, 0.1)


def write_cases(folder, names, multiple=1):
    """Writes each photograph (grey, on [0, 1], cropped to a multiple of
    `multiple`) and a noisy copy per noise level (fixed seeds, not clipped)
    as doubles column by column into FOLDER. Returns the list of cases
    (name, sigma, clean, noisy) and the lines of a case file:
    IMAGE SIGMA ROWS COLUMNS STEM."""
    cases, lines = [], []
    for name in names:
        image = img_as_float(IMAGES[name]())
        image = image[: image.shape[0] // multiple * multiple, : image.shape[1] // multiple * multiple]
        for k, sigma in enumerate(SIGMAS):
            noisy = image + sigma * np.random.default_rng(100 + k).standard_normal(image.shape)
            stem = os.path.join(folder, f"{name}_{k}")
            for suffix, array in ((".clean", image), (".noisy", noisy)):
                with open(stem + suffix, "wb") as out:
                    out.write(np.asfortranarray(array).tobytes(order="F"))
            cases.append((name, sigma, image, noisy))
            lines.append(f"{name} {sigma} {image.shape[0]} {image.shape[1]} {stem}")
    return cases, lines


def run_cases(names, script, build, multiple=1):
    """Writes the cases of the photographs NAMES into a scratch folder, runs
    the Octave SCRIPT (beside this file) on them with BUILD's MEX folder, and
    returns scikit-image's figures per (name, sigma) and the lines SCRIPT
    printed."""
    here = os.path.dirname(os.path.abspath(__file__))
    with tempfile.TemporaryDirectory() as work:
        cases, case_lines = write_cases(work, names, multiple)
        theirs = {(name, f"{sigma:.2f}"): peers(clean, noisy) for name, sigma, clean, noisy in cases}
        case_file = os.path.join(work, "cases.txt")
        with open(case_file, "w") as out:
            out.write("\n".join(case_lines) + "\n")
        lines = subprocess.run(["octave-cli", "--no-gui", "--norc", "--quiet", os.path.join(here, script),
                                os.path.join(build, "mex"), case_file],
                               check=True, capture_output=True, text=True).stdout.split("\n")
    return theirs, lines


def peers(clean, noisy):
    """scikit-image's denoisers as their documentation suggests."""
    psnr = lambda u: peak_signal_noise_ratio(clean, u, data_range=1)
    tv = max(psnr(denoise_tv_bregman(noisy, weight=w, isotropic=True)) for w in (2, 4, 8, 16, 32))
    wave = psnr(denoise_wavelet(noisy, method="BayesShrink", mode="soft", rescale_sigma=True))
    s = estimate_sigma(noisy)
    nlm = psnr(denoise_nl_means(noisy, patch_size=5, patch_distance=6, h=0.8 * s, sigma=s, fast_mode=True))
    return {"tv_bregman (best weight)": tv, "wavelet BayesShrink": wave, "nl_means": nlm}

"""Helpers shared by the comparison scripts."""
import os
import re
import subprocess
import tempfile
import time

import numpy as np


def best_time(run, repeat):
    """The shortest wall time of `repeat` calls of run()."""
    best = float("inf")
    for _ in range(repeat):
        start = time.perf_counter()
        run()
        best = min(best, time.perf_counter() - start)
    return best


def run_bench(build, name, args, image=None, dtype=np.float64):
    """Runs build/bench/NAME with ARGS (plus --raw FILE holding IMAGE column
    by column when one is given) and returns what it printed."""
    binary = os.path.join(build, "bench", name)
    with tempfile.NamedTemporaryFile(suffix=".raw") as raw:
        if image is not None:
            raw.write(np.asfortranarray(image.astype(dtype)).tobytes(order="F"))
            raw.flush()
            args = args + ["--raw", raw.name]
        return subprocess.run([binary] + args, check=True, capture_output=True, text=True).stdout


def figure(output, label):
    """The number printed after LABEL in a benchmark's output."""
    return float(re.search(re.escape(label) + r" ([0-9.e+-]+)", output).group(1))

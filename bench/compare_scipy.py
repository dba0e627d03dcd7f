#!/usr/bin/python3
"""The graph solvers against a sparse matrix-vector product in SciPy.

    bench/compare_scipy.py [BUILD_DIR]

Runs build/bench/bench_graph_solvers on a 512x512 image (patch 5, window 11,
nearest 4, best 10, so K = 14 slots per pixel), which prints the time of a
graphsmooth sweep and of a graphshrink outer iteration (without and with the
progress measure), and times, in the same run, one product of the same graph
as an n-by-n CSR matrix (n = 512*512, K entries per row: the slot weights,
empty slots included) with a vector in scipy.sparse, in double precision (the
matrix a user would build) and in single precision. Prints every time per
slot entry and the ratios to the products.
Needs python3-numpy and python3-scipy (scripts/install-deps.sh --bench).
"""
import os
import re
import subprocess
import sys
import tempfile

import numpy as np
import scipy.sparse as sp

from benchtools import best_time

M = N = 512
K = 14
REPEAT = 30




def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build"
    binary = os.path.join(build, "bench", "bench_graph_solvers")
    with tempfile.TemporaryDirectory() as folder:
        prefix = os.path.join(folder, "graph")
        out = subprocess.run([binary, "--size", str(M), str(N), "--iterations", "20", "--repeat", "3",
                              "--dump", prefix], check=True, capture_output=True, text=True).stdout
        weights = np.fromfile(prefix + ".weights.f32", dtype=np.float32).reshape(2 * K, M * N)
        neighbours = np.fromfile(prefix + ".neighbours.i32", dtype=np.int32).reshape(2 * K + 1, M * N)

    def seconds(name):
        return float(re.search(name + r" seconds ([0-9.e-]+)", out).group(1))

    smooth = seconds("graphsmooth sweep")
    shrink = seconds("graphshrink outer iteration")
    verbose = seconds("graphshrink verbose outer iteration")

    # Row g (graph offset j + N*i of pixel (i, j)) holds the K slots of that
    # pixel at the graph offsets of their neighbours.
    columns = (neighbours[1::2] + N * neighbours[2::2]).T.ravel()
    data = weights[0::2].T.ravel()
    indptr = np.arange(0, M * N * K + 1, K)
    products = {}
    for dtype in (np.float64, np.float32):
        matrix = sp.csr_matrix((data.astype(dtype), columns, indptr), shape=(M * N, M * N))
        x = np.random.default_rng(1).random(M * N).astype(dtype)
        products[np.dtype(dtype).name] = best_time(lambda: matrix @ x, REPEAT)

    entries = M * N * K
    print(f"{M}x{N} image, patch 5, window 11, nearest 4, best 10: {entries} slot entries")
    for name, t in products.items():
        print(f"  scipy.sparse CSR product ({name}):       {t * 1e3:7.3f} ms, {t / entries * 1e9:.3f} ns per entry")
    print(f"  graphsmooth sweep:                       {smooth * 1e3:7.3f} ms, {smooth / entries * 1e9:.3f} ns per entry")
    print(f"  graphshrink outer iteration:             {shrink * 1e3:7.3f} ms, {shrink / entries * 1e9:.3f} ns per entry")
    print(f"  graphshrink outer iteration, verbose:    {verbose * 1e3:7.3f} ms, {verbose / entries * 1e9:.3f} ns per entry")
    for name, t in products.items():
        print(f"  ratios to the {name} product: sweep {smooth / t:.2f}x, outer iteration {shrink / t:.2f}x, "
              f"verbose {verbose / t:.2f}x")
    setup = re.findall(r"set-up seconds ([0-9.e-]+)", out)
    print(f"  per-call set-up (graphsmooth, graphshrink): {float(setup[0]) * 1e3:.1f} ms, "
          f"{float(setup[1]) * 1e3:.1f} ms")


if __name__ == "__main__":
    main()

#!/usr/bin/python3
"""Whole calls from octave-cli, as a user makes them, beside the peers.

    bench/whole_calls.py [BUILD_DIR] [--paths avx512,avx2,none] [--repeat R]

For every vector path the processor has (or those named), one octave-cli
process calls each plug-in on the same images as the peers: a warm-up call,
then the median of R calls (5 by default), argument reading, result
creation, set-up and work memory included. Beside each figure it prints the
host's floor, the time of a MEX file that only creates the same results
(build/bench/hostfloor.mex), and a bound: the bytes the call must move at the
copy bandwidth measured in this run, or for the patch workloads the
multiplications and additions of the patch distances at two vector
instructions per cycle per core. The peers (scikit-image, PyWavelets, a SciPy
CSR product) run in the same run, median of R calls after a warm-up.

Needs python3-numpy, -scipy, -skimage and -pywt (scripts/install-deps.sh --bench).
"""
import os
import re
import statistics
import subprocess
import sys
import tempfile
import time

import numpy as np
import pywt
import scipy.sparse as sp
from skimage.restoration import denoise_nl_means, denoise_tv_bregman

TOP = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

OCTAVE_SCRIPT = r"""
1;
function t = timed(f, nout, repeat)
  out = cell(1, nout);
  [out{:}] = f();
  s = zeros(1, repeat);
  for r = 1:repeat
    tic; [out{:}] = f(); s(r) = toc;
  end
  t = median(s);
end
function show(name, t, floor)
  printf("%s %.6g %.6g\n", name, t, floor);
end
args = argv();
mexdir = args{1}; benchdir = args{2}; folder = args{3}; repeat = str2double(args{4});
addpath(mexdir); addpath(benchdir);
small = reshape(fread(fopen(fullfile(folder, "small.f64")), Inf, "double"), 128, 128);
mid = reshape(fread(fopen(fullfile(folder, "mid.f64")), Inf, "double"), 512, 512);
big = reshape(fread(fopen(fullfile(folder, "big.f64")), Inf, "double"), 2048, 2048);
fclose("all");
[x, y] = meshgrid(-3:3);
kernel7 = single(exp(-(x.^2 + y.^2) / 2));
P = single([0 128 128 7 13 4 10 0.02]);
[w, nb] = patchgraph(single(small), kernel7, P);
t = timed(@() patchgraph(single(small), kernel7, P), 3, repeat);
show("patchgraph", t, timed(@() hostfloor([2 128 128 28], [3 128 128 29], [2 128 128 10]), 3, repeat));
A = patchaffinity(small, 0.1, 3, 6);
t = timed(@() patchaffinity(small, 0.1, 3, 6), 1, repeat);
show("patchaffinity", t, timed(@() hostfloor([4 numel(small) nnz(A)]), 1, repeat));
clear A;
t = timed(@() tvclean(mid, 10, 1e300), 1, repeat);
show("tvclean", t, timed(@() hostfloor([1 512 512]), 1, repeat));
h = [0.2303778133 0.7148465706 0.6308807679 -0.0279837694 -0.1870348117 0.0308413818 0.0328830117 -0.0105974018];
[c, L] = waveanalyze(big, h, 5);
t = timed(@() waveanalyze(big, h, 5), 1, repeat);
show("waveanalyze", t, timed(@() hostfloor([1 2048 2048]), 1, repeat));
t = timed(@() wavesynth(c, h, 5), 1, repeat);
show("wavesynth", t, timed(@() hostfloor([1 2048 2048]), 1, repeat));
clear c;
[x, y] = meshgrid(-2:2);
kernel5 = single(exp(-(x.^2 + y.^2) / 2));
f = single(mid);
[w, nb] = patchgraph(f, kernel5, single([0 512 512 5 11 4 10 2*0.05^2*sum(kernel5(:))]));
fid = fopen(fullfile(folder, "weights.f32"), "w"); fwrite(fid, w, "single"); fclose(fid);
fid = fopen(fullfile(folder, "neighbours.i32"), "w"); fwrite(fid, nb, "int32"); fclose(fid);
K = 14;
t = timed(@() graphsmooth(f, w, nb, single([0 512 512 5 11 K 1 5])), 1, repeat);
show("graphsmooth5", t, timed(@() hostfloor([2 512 512]), 1, repeat));
t = timed(@() graphsmooth(f, w, nb, single([0 512 512 5 11 K 1 1])), 1, repeat);
show("graphsmooth1", t, timed(@() hostfloor([2 512 512]), 1, repeat));
z = zeros(512, 512, K, "single");
floor = timed(@() hostfloor([2 512 512], [2 512 512 K], [2 512 512 K], [2 512 512 10]), 4, repeat);
t = timed(@() graphshrink(f, z, z, f, w, nb, single([0 512 512 5 11 K 1 5 5])), 4, repeat);
show("graphshrink5", t, floor);
t = timed(@() graphshrink(f, z, z, f, w, nb, single([0 512 512 5 11 K 1 5 1])), 4, repeat);
show("graphshrink1", t, floor);
% The long call first: after the loop, the arrays it leaves would make the
% long call's results come from fresh pages and flatter the ratio.
t10 = timed(@() graphshrink(f, z, z, f, w, nb, single([0 512 512 5 11 K 1 5 10])), 4, repeat);
P1 = single([0 512 512 5 11 K 1 5 1]);
s = zeros(1, repeat);
for r = 0:repeat
  tic;
  [u, d, b] = graphshrink(f, z, z, f, w, nb, P1);
  for k = 2:10
    [u, d, b] = graphshrink(u, d, b, f, w, nb, P1);
  end
  if r > 0, s(r) = toc; end
end
show("graphshrink10x1", median(s), t10);
"""


def median_time(run, repeat):
    run()
    times = []
    for _ in range(repeat):
        start = time.perf_counter()
        run()
        times.append(time.perf_counter() - start)
    return statistics.median(times)


def available_paths():
    flags = open("/proc/cpuinfo").read()
    paths = ["none"]
    if re.search(r"\bavx2\b", flags):
        paths.insert(0, "avx2")
    if re.search(r"\bavx512f\b", flags):
        paths.insert(0, "avx512")
    return paths


def machine():
    info = open("/proc/cpuinfo").read()
    name = re.search(r"model name\s*: (.*)", info).group(1)
    return f"{name}, {os.cpu_count()} cores"


def memory_settings():
    """The settings that decide what fresh memory costs the host and the peers."""
    try:
        huge = open("/sys/kernel/mm/transparent_hugepage/enabled").read().split()
        mode = next(word.strip("[]") for word in huge if word.startswith("["))
    except (OSError, StopIteration):
        mode = "unknown"
    return f"transparent huge pages: {mode}; GLIBC_TUNABLES={os.environ.get('GLIBC_TUNABLES', '(not set)')}"


def main():
    args = sys.argv[1:]
    build = "build"
    paths = None
    repeat = 5
    while args:
        a = args.pop(0)
        if a == "--paths":
            paths = args.pop(0).split(",")
        elif a == "--repeat":
            repeat = int(args.pop(0))
        else:
            build = a
    paths = paths or [p for p in available_paths() if p != "none"]
    rng = np.random.default_rng(7)
    small = rng.random((128, 128))
    mid = rng.random((512, 512))
    big = rng.random((2048, 2048))

    octave = {}
    with tempfile.TemporaryDirectory() as folder:
        for name, image in (("small", small), ("mid", mid), ("big", big)):
            image.T.ravel().tofile(os.path.join(folder, name + ".f64"))   # column by column
        script = os.path.join(folder, "calls.m")
        with open(script, "w") as out:
            out.write(OCTAVE_SCRIPT)
        for path in paths:
            env = dict(os.environ, IMRESTORE_SIMD=path)
            text = subprocess.run(["octave-cli", "--no-gui", "--norc", "--quiet", script,
                                   os.path.join(build, "mex"), os.path.join(build, "bench"), folder, str(repeat)],
                                  env=env, capture_output=True, text=True)
            if text.returncode != 0:
                sys.exit(text.stdout + text.stderr)
            text = text.stdout
            octave[path] = {m.group(1): (float(m.group(2)), float(m.group(3)))
                            for m in re.finditer(r"^(\w+) (\S+) (\S+)$", text, re.M)}
        K = 14
        P = 512 * 512
        weights = np.fromfile(os.path.join(folder, "weights.f32"), dtype=np.float32).reshape(2 * K, P)
        neighbours = np.fromfile(os.path.join(folder, "neighbours.i32"), dtype=np.int32).reshape(2 * K + 1, P)

    # The peers, same images.
    peer = {}
    peer["patchgraph"] = median_time(lambda: denoise_nl_means(small, patch_size=7, patch_distance=6, h=0.1,
                                                              fast_mode=False), repeat)
    peer["patchaffinity"] = peer["patchgraph"]
    peer["tvclean"] = median_time(lambda: denoise_tv_bregman(mid, weight=10, max_num_iter=10, eps=0,
                                                             isotropic=True), repeat)
    coefficients = pywt.wavedec2(big, "db4", mode="periodization", level=5)
    peer["waveanalyze"] = median_time(lambda: pywt.wavedec2(big, "db4", mode="periodization", level=5), repeat)
    peer["wavesynth"] = median_time(lambda: pywt.waverec2(coefficients, "db4", mode="periodization"), repeat)
    columns = (neighbours[1::2] + 512 * neighbours[2::2]).T.ravel()
    matrix = sp.csr_matrix((weights[0::2].T.ravel(), columns, np.arange(0, P * K + 1, K)), shape=(P, P))
    vector = rng.random(P).astype(np.float32)
    product = median_time(lambda: matrix @ vector, max(repeat, 20))

    # The copy bandwidth of this machine, for the memory bounds.
    block = np.ones(64 << 20, dtype=np.uint8)
    target = np.empty_like(block)
    copy = median_time(lambda: np.copyto(target, block), repeat)
    bandwidth = 2 * block.nbytes / copy   # bytes read and written per second
    mhz = float(re.search(r"cpu MHz\s*: ([0-9.]+)", open("/proc/cpuinfo").read()).group(1))

    def memory_bound(bytes_moved):
        return bytes_moved / bandwidth

    def arithmetic_bound(pairs, terms, lanes):
        # Per term and pair: subtract, widen, two multiplications, add, round:
        # about six vector instructions for `lanes` pairs, two per cycle per core.
        return pairs * terms * 6 / lanes / (2 * mhz * 1e6 * os.cpu_count())

    rows = [
        ("patchgraph", "patchgraph 128x128, patch 7, window 13, nearest 4, best 10", "skimage nl_means (slow mode)",
         lambda t, p: f"{p / t:.1f}x faster", lambda lanes: arithmetic_bound(128 * 128 * 168 / 2, 49, lanes)),
        ("patchaffinity", "patchaffinity 128x128, p 3, t 6", "skimage nl_means (slow mode)",
         lambda t, p: f"{p / t:.1f}x faster", lambda lanes: arithmetic_bound(128 * 128 * 84, 49, lanes)),
        ("tvclean", "tvclean 512x512, 10 iterations", "skimage denoise_tv_bregman",
         lambda t, p: f"{p / t:.1f}x faster", lambda lanes: memory_bound(10 * 7 * 8 * 512 * 512)),
        ("waveanalyze", "waveanalyze 2048x2048, length 8, L 5", "pywt.wavedec2",
         lambda t, p: f"{p / t:.1f}x faster", lambda lanes: memory_bound(2 * 8 * 2048 * 2048 * 4 / 3 * 2)),
        ("wavesynth", "wavesynth same", "pywt.waverec2",
         lambda t, p: f"{p / t:.1f}x faster", lambda lanes: memory_bound(2 * 8 * 2048 * 2048 * 4 / 3 * 2)),
    ]
    entries = P * K
    slot_bytes = entries * 8   # a weight and a neighbour position per slot entry
    print(f"Whole calls from octave-cli, median of {repeat} after a warm-up; {machine()}")
    print(f"copy bandwidth {bandwidth / 1e9:.1f} GB/s (read + write), {mhz:.0f} MHz; {memory_settings()}")
    for path in paths:
        lanes = 8 if path == "avx512" else 4 if path == "avx2" else 1
        o = octave[path]
        print(f"\nIMRESTORE_SIMD={path}")
        print(f"  {'workload':58s} {'call ms':>9s} {'floor ms':>9s} {'bound ms':>9s}  peer")
        for key, label, peer_name, ratio, bound in rows:
            t, floor = o[key]
            print(f"  {label:58s} {t * 1e3:9.2f} {floor * 1e3:9.2f} {bound(lanes) * 1e3:9.2f}  "
                  f"{peer_name} {peer[key] * 1e3:.2f} ms: {ratio(t, peer[key])}")
        sweep_bound = memory_bound(slot_bytes)
        for key, label, divisor in (("graphsmooth5", "graphsmooth 512x512 K 14, nOuter 5, per sweep", 10),
                                    ("graphsmooth1", "graphsmooth same, nOuter 1, whole call", 1),
                                    ("graphshrink5", "graphshrink same, nOuter 5, per outer iteration", 5),
                                    ("graphshrink1", "graphshrink same, nOuter 1, whole call", 1)):
            t, floor = o[key]
            t /= divisor
            print(f"  {label:58s} {t * 1e3:9.2f} {floor * 1e3:9.2f} {sweep_bound * 1e3:9.2f}  "
                  f"scipy CSR float32 product {product * 1e3:.2f} ms: {t / product:.1f} products")
        chain, single = o["graphshrink10x1"]
        print(f"  {'ten graphshrink calls of nOuter 1, each continuing the last':58s} {chain * 1e3:9.2f} "
              f"{'':9s} {'':9s}  one call of nOuter 10 {single * 1e3:.2f} ms: {chain / single:.2f}x as long")


if __name__ == "__main__":
    main()

"""Ctrl-C in octave-cli during long imrestore calls.

Starts one interactive octave-cli, and for each long call: starts it, sends
SIGINT a second later and checks that the prompt answers the next command
within a second, that the call printed nothing as if it had finished, and
that the session goes on (the arguments are unchanged, the next call works).

    python3 interrupt_test.py OCTAVE_CLI MEX_DIR
"""
import queue
import signal
import subprocess
import sys
import threading
import time

OCTAVE, MEX_DIR = sys.argv[1], sys.argv[2]

SETUP = (
    "I = single(rand(1024)); D = rand(1024);"
    "[w, nb] = patchgraph(single(rand(384)), single(ones(5)), single([0 384 384 5 11 4 10 0.1]));"
    "z = zeros(384, 384, 14, 'single'); f = single(rand(384)); f0 = f;"
)
CALLS = {
    "patchgraph": "w1 = patchgraph(I, single(ones(5)), single([0 1024 1024 5 21 4 10 0.1]))",
    "graphshrink": "u = graphshrink(f, z, z, f, w, nb, single([0 384 384 5 11 14 1 1 100000]))",
    "graphsmooth": "u = graphsmooth(f, w, nb, single([0 384 384 5 11 14 1 100000]))",
    "tvclean": "u = tvclean(D, 0.001, 1e-10)",
    "patchaffinity": "W = patchaffinity(D(1:400, 1:400), 0.1, 5, 12)",
    "tvdenoise": "u = tvdenoise(D, 'Tolerance', 1e-6)",
    "wavedenoise": "u = wavedenoise(D, 'Shifts', 8)",
    "nltvdenoise": "u = nltvdenoise(D)",
    "nlh1denoise": "u = nlh1denoise(D, 'Iterations', 100)",
}


def main():
    octave = subprocess.Popen(
        [OCTAVE, "--no-gui", "--norc", "--quiet", "--interactive", "--no-line-editing"],
        stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, bufsize=1)
    lines = queue.Queue()
    threading.Thread(target=lambda: [lines.put(l) for l in octave.stdout], daemon=True).start()

    def send(command):
        octave.stdin.write(command + "\n")
        octave.stdin.flush()

    def wait_for(marker, seconds):
        seen, deadline = [], time.time() + seconds
        while time.time() < deadline:
            try:
                line = lines.get(timeout=max(0.0, deadline - time.time()))
            except queue.Empty:
                break
            seen.append(line)
            if marker in line:
                return seen
        raise AssertionError("no %r within %.1f s; got %r" % (marker, seconds, "".join(seen)))

    failures = 0
    send('addpath("%s"); %s disp("set up")' % (MEX_DIR, SETUP))
    wait_for("set up", 120)
    for name, call in CALLS.items():
        send('disp("started"); %s; disp("finished %s")' % (call, name))
        wait_for("started", 30)
        time.sleep(1.0)
        octave.send_signal(signal.SIGINT)
        sent = time.time()
        send('disp("answered")')
        try:
            seen = wait_for("answered", 1.0)
            elapsed = time.time() - sent
            if any("finished" in line for line in seen):
                raise AssertionError("the call finished instead of stopping: %r" % "".join(seen))
            print("%-13s answered %.3f s after Ctrl-C" % (name, elapsed))
        except AssertionError as error:
            print("%-13s FAILED: %s" % (name, error))
            failures += 1
            wait_for("answered", 600)
    # The session goes on: the arguments are untouched and a call completes.
    send('disp(isequal(f, f0)); u = graphsmooth(f, w, nb, single([0 384 384 5 11 14 1 2])); disp(size(u))')
    seen = "".join(wait_for("384   384", 60))
    if "1\n" not in seen:
        print("FAILED: an interrupted call changed its arguments: %r" % seen)
        failures += 1
    send("exit")
    octave.wait(timeout=60)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

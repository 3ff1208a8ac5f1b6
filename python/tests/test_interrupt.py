"""Ctrl-C stops a long scoring run: SIGINT to a process scoring l3, or training learn, or
evaluating for auto (proposing and filtering), ends it with KeyboardInterrupt within a
couple of seconds."""

import os
import signal
import subprocess
import sys
import time

SCRIPT = r"""
import numpy as np
import vornel
# 60 hubs joined to 15,000 proteins: every row walks about 900,000 paths, so l3 over all
# candidates on one thread takes minutes.
hubs = np.repeat(np.arange(60), 15000)
others = np.tile(np.arange(60, 15060), 60)
net = vornel.from_edges(np.stack([hubs, others], axis=1))
print("scoring", flush=True)
try:
    if PAIRS == "network":
        vornel.score_interactions(net, METHOD, threads=1, top=10)
    else:
        vornel.score(net, METHOD, PAIRS, threads=1, top=10)
except KeyboardInterrupt:
    print("interrupted", flush=True)
    raise
print("finished", flush=True)
"""


import pytest


# l3 scores every candidate; learn spends its first seconds training, auto evaluating l3 and
# learn on hold-outs (proposing) or wcd and learn on planted pairs (the network's own pairs).
@pytest.mark.parametrize("method, pairs", [("l3", None), ("learn", None), ("auto", None), ("learn", "network"),
                                           ("auto", "network")])
def test_sigint_stops_a_long_run(method, pairs):
    script = f"METHOD, PAIRS = {method!r}, {pairs!r}\n" + SCRIPT
    process = subprocess.Popen([sys.executable, "-c", script], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                               text=True, env=os.environ.copy())
    try:
        assert process.stdout.readline().strip() == "scoring"
        time.sleep(1.0)
        assert process.poll() is None, "the run ended before it could be interrupted"
        sent = time.monotonic()
        process.send_signal(signal.SIGINT)
        out, err = process.communicate(timeout=10)
        stopped_after = time.monotonic() - sent
    finally:
        if process.poll() is None:
            process.kill()
            process.wait()
    assert "interrupted" in out and "finished" not in out
    assert "KeyboardInterrupt" in err
    assert stopped_after < 2.5, f"stopped {stopped_after:.2f} s after SIGINT"


def test_other_python_threads_run_while_scoring():
    import threading

    import numpy as np

    import vornel
    rng = np.random.default_rng(1)
    net = vornel.from_edges(rng.integers(0, 5000, size=(250000, 2)))
    ticks = []
    stop = threading.Event()

    def ticker():
        while not stop.is_set():
            ticks.append(time.monotonic())
            time.sleep(0.001)

    thread = threading.Thread(target=ticker)
    thread.start()
    try:
        start = time.monotonic()
        vornel.propose(net, "l3", threads=1, top=10)
        end = time.monotonic()
    finally:
        stop.set()
        thread.join()
    during = [t for t in ticks if start < t < end]
    assert end - start > 0.1, "the run was too short to tell"
    # With the GIL held the ticker would stand still for the whole run.
    assert len(during) > 20


READING_SCRIPT = r"""
import sys
import vornel
calls = []
print("reading", flush=True)
try:
    vornel.read_network(sys.argv[1], progress=lambda *report: calls.append(report))
except KeyboardInterrupt:
    print("interrupted", len(calls), flush=True)
    raise
print("finished", flush=True)
"""


def test_sigint_stops_reading_with_progress_reports(tmp_path):
    """Reading a gzip file of 400 million self-pairs (seconds of reading, little on disk) with a
    progress callable: SIGINT ends it with KeyboardInterrupt well before the end."""
    import gzip
    member = gzip.compress(b"A\tA\n" * 1_000_000, compresslevel=9)
    path = tmp_path / "selfs.tsv.gz"
    with open(path, "wb") as out:
        out.write(gzip.compress(b"A\tB\nB\tC\n"))
        for _ in range(400):
            out.write(member)
    process = subprocess.Popen([sys.executable, "-c", READING_SCRIPT, str(path)], stdout=subprocess.PIPE,
                               stderr=subprocess.PIPE, text=True, env=os.environ.copy())
    try:
        assert process.stdout.readline().strip() == "reading"
        time.sleep(0.8)
        assert process.poll() is None, "the read ended before it could be interrupted"
        sent = time.monotonic()
        process.send_signal(signal.SIGINT)
        out, err = process.communicate(timeout=10)
        stopped_after = time.monotonic() - sent
    finally:
        if process.poll() is None:
            process.kill()
            process.wait()
    assert "interrupted" in out and "finished" not in out
    assert "KeyboardInterrupt" in err
    assert stopped_after < 1.5, f"stopped {stopped_after:.2f} s after SIGINT"

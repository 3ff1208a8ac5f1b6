"""Ctrl-C stops a long scoring run: SIGINT to a process scoring l3, or training learn, or
evaluating for auto (proposing and filtering), or reading a long file, ends it with
KeyboardInterrupt within a couple of seconds."""

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


def interrupted_after(command, started, delay):
    """Runs `command`, sends SIGINT `delay` seconds after it prints `started`, checks that it
    ended with KeyboardInterrupt, and returns how many seconds after SIGINT it did."""
    process = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                               env=os.environ.copy())
    try:
        assert process.stdout.readline().strip() == started
        time.sleep(delay)
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
    return stopped_after


# l3 scores every candidate; learn spends its first seconds training, auto evaluating l3 and
# learn on hold-outs (proposing) or wcd and learn on planted pairs (the network's own pairs).
@pytest.mark.parametrize("method, pairs", [("l3", None), ("learn", None), ("auto", None), ("learn", "network"),
                                           ("auto", "network")])
def test_sigint_stops_a_long_run(method, pairs):
    script = f"METHOD, PAIRS = {method!r}, {pairs!r}\n" + SCRIPT
    assert interrupted_after([sys.executable, "-c", script], "scoring", 1.0) < 2.5


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


def test_sigint_stops_reading_with_progress_reports(tmp_path, self_pair_gzip):
    """Reading 400 million self-pairs (seconds of reading) with a progress callable: SIGINT
    ends it well before the end."""
    path = self_pair_gzip(tmp_path / "selfs.tsv.gz", 400)
    assert interrupted_after([sys.executable, "-c", READING_SCRIPT, str(path)], "reading", 0.8) < 1.5

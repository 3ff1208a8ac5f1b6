"""progress= of read_network: bytes of the file as stored, reported from the calling thread,
the program's report for True, and the same checks and errors as for scoring."""

import io
import os
import threading

import numpy as np
import pytest

import vornel
from vornel import _progress


@pytest.fixture(scope="module")
def long_files(tmp_path_factory, self_pair_gzip):
    """A plain edge list of a million interactions between two million distinct proteins
    (building the network takes about a second), and a gzip file whose reading does."""
    folder = tmp_path_factory.mktemp("reading")
    ids = np.random.default_rng(5).permutation(2_000_000).reshape(-1, 2)
    plain = folder / "long.tsv"
    plain.write_text("".join(f"ENSP{a:011d}\tENSP{b:011d}\n" for a, b in ids.tolist()))
    return {"plain": plain, "gzip": self_pair_gzip(folder / "selfs.tsv.gz", 120)}


@pytest.fixture
def small_file(tmp_path):
    path = tmp_path / "small.tsv"
    path.write_text("A\tB\t0.9\nB\tC\t0.5\nC\tA\t0.7\n")
    return path


@pytest.mark.parametrize("kind", ["plain", "gzip"])
def test_progress_counts_the_bytes_of_the_file_up_to_its_size(long_files, kind):
    path = long_files[kind]
    size = os.path.getsize(path)
    calls = []
    threads = set()

    def record(done, total, seconds):
        calls.append((done, total, seconds))
        threads.add(threading.get_ident())

    network = vornel.read_network(path, progress=record)
    assert network.interaction_count == (1_000_000 if kind == "plain" else 2)
    # The size as stored: for gzip the compressed bytes, far fewer than the text they hold.
    assert calls[-1][:2] == (size, size)
    if kind == "gzip":
        assert size < network.counts["lines"] * 4 / 100
    for (done, total, seconds), (later_done, _, later_seconds) in zip(calls, calls[1:]):
        assert total == size and 0 <= done <= later_done and seconds >= 0.5 and later_seconds > seconds
    if calls[-1][2] > 1.0:
        assert len(calls) > 1, "no report while the file was read"
        if kind == "gzip":  # the seconds go into reading: reports come from the middle of the file
            assert any(0 < done < size for done, _, _ in calls), calls
    assert threads == {threading.get_ident()}


def test_progress_true_reports_reading_on_stderr(small_file, monkeypatch, capsys):
    # A short read prints nothing, as the program's meter does; neither do False and None.
    for quiet in (True, False, None):
        vornel.read_network(small_file, progress=quiet)
    assert capsys.readouterr().err == ""

    # With reports due at once, the last one names the file and says it is all read.
    monkeypatch.setattr(_progress.ProgressPrinter, "line_every", 0.0)
    vornel.read_network(small_file, progress=True)
    err = capsys.readouterr().err
    assert err == f"vornel: reading {small_file}: 100% after 0 s, about 0 s left\n"
    vornel.read_network(small_file, progress=False)
    assert capsys.readouterr().err == ""

    # On a terminal the bar is drawn in place, and erased when the call returns.
    class Terminal(io.StringIO):
        def isatty(self):
            return True

    terminal = Terminal()
    monkeypatch.setattr(_progress.ProgressPrinter, "bar_after", 0.0)
    monkeypatch.setattr("sys.stderr", terminal)
    vornel.read_network(small_file, progress=True)
    assert terminal.getvalue() == \
        f"\rvornel: reading {small_file}: [{'#' * 30}] 100% after 0 s, about 0 s left\033[K\r\033[K"


@pytest.mark.parametrize("value", [3, "yes", 0.5, [print]])
def test_a_bad_progress_value_raises_value_error_before_reading(tmp_path, value):
    with pytest.raises(ValueError, match=r"^progress must be True, False, None or a callable"):
        vornel.read_network(tmp_path / "missing.tsv", progress=value)


def test_an_exception_raised_by_progress_ends_the_read(small_file, long_files):
    def refuse(done, total, seconds):
        raise RuntimeError("enough")

    with pytest.raises(RuntimeError, match="enough"):
        vornel.read_network(small_file, progress=refuse)
    # Raised at the first report, it stops reading: no second one follows.
    calls = []

    def stop(done, total, seconds):
        calls.append(done)
        raise RuntimeError("stop here")

    with pytest.raises(RuntimeError, match="stop here"):
        vornel.read_network(long_files["gzip"], progress=stop)
    assert len(calls) == 1


def test_input_without_a_size_gets_no_reports(tmp_path):
    path = tmp_path / "pipe.tsv"
    os.mkfifo(path)

    def feed():
        with open(path, "w") as out:
            out.write("A\tB\nB\tC\n")

    feeder = threading.Thread(target=feed)
    feeder.start()
    calls = []
    try:
        network = vornel.read_network(path, progress=lambda *report: calls.append(report))
    finally:
        feeder.join()
    assert network.interaction_count == 2 and calls == []

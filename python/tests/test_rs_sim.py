"""The module against the program: the same experiments through rs_sim.simulate and through the
rs-sim binary (RS_SIM) with --json must give the same counts; the codec on random words; a run
interrupted from Python; the program's messages for bad arguments."""

import json
import os
import re
import signal
import subprocess
import sys
import threading
import time
import types

import numpy as np
import pytest

import rs_sim

PROGRAM = os.environ.get("RS_SIM", "rs-sim")


def program_json_text(tmp_path, arguments):
    out = tmp_path / "run.json"
    subprocess.run(
        [PROGRAM, "--no-wait", "--no-status", "--json", str(out), "-o", str(tmp_path / "run.txt")]
        + arguments,
        check=True, cwd=tmp_path, stdout=subprocess.DEVNULL, stdin=subprocess.DEVNULL)
    return out.read_text()


def program_json(tmp_path, arguments):
    return json.loads(program_json_text(tmp_path, arguments))


def timeless(text):
    """A JSON document with every time in it set to 0, the rest byte for byte."""
    return re.sub(r'("seconds": )[-+.0-9eE]+', r"\g<1>0", text)


# (keywords of simulate, the same experiment on the command line): dense and sparse points,
# a shortened code, decades, independent points, a miscorrection-heavy small code.
EXPERIMENTS = [
    (dict(m=8, t=16, p0=[0.05, 0.03], max_blocks=20000, max_error_blocks=100),
     ["--m", "8", "--t", "16", "--p0", "0.05,0.03", "--max-blocks", "20000",
      "--max-error-blocks", "100"]),
    (dict(m=4, t=1, p0=[0.2, 0.1], max_blocks=5000, max_error_blocks=1000, seed=99),
     ["--m", "4", "--t", "1", "--p0", "0.2,0.1", "--max-blocks", "5000",
      "--max-error-blocks", "1000", "--seed", "99"]),
    (dict(m=10, t=8, length=300, p0_decades=(0.1, 0.01, 2), max_blocks=3000,
          max_error_blocks=50, independent_points=True),
     ["--m", "10", "--t", "8", "--length", "300", "--p0-decades", "0.1:0.01:2",
      "--max-blocks", "3000", "--max-error-blocks", "50", "--independent-points"]),
    (dict(m=8, t=16, channel="binary-symmetric", interleave=2, p0=[0.006, 0.004],
          max_blocks=4000, max_error_blocks=100),
     ["--m", "8", "--t", "16", "--channel", "binary-symmetric", "--interleave", "2", "--p0",
      "0.006,0.004", "--max-blocks", "4000", "--max-error-blocks", "100"]),
    (dict(m=6, t=4, channel="gilbert-elliott", level="symbol", burst=8, bad_error=0.4,
          p0=[0.02], max_blocks=3000, max_error_blocks=200),
     ["--m", "6", "--t", "4", "--channel", "gilbert-elliott", "--level", "symbol", "--burst", "8",
      "--bad-error", "0.4", "--p0", "0.02", "--max-blocks", "3000", "--max-error-blocks", "200"]),
    (dict(m=8, t=8, erasures=0.03, p0=[0.01], max_blocks=3000, max_error_blocks=100),
     ["--m", "8", "--t", "8", "--erasures", "0.03", "--p0", "0.01", "--max-blocks", "3000",
      "--max-error-blocks", "100"]),
    (dict(m=8, t=16, channel="bpsk-awgn", p0=[5.0, 5.5], max_blocks=3000, max_error_blocks=50),
     ["--m", "8", "--t", "16", "--channel", "bpsk-awgn", "--ebn0", "5.0,5.5", "--max-blocks",
      "3000", "--max-error-blocks", "50"]),
    (dict(m=8, t=16, channel="bpsk-awgn", erase_below="best", puncture=4, on_failure="received",
          interleave=2, p0=[5.5], max_blocks=3000, max_error_blocks=50),
     ["--m", "8", "--t", "16", "--channel", "bpsk-awgn", "--erase-below", "best", "--puncture",
      "4", "--on-failure", "received", "--interleave", "2", "--ebn0", "5.5", "--max-blocks",
      "3000", "--max-error-blocks", "50"]),
    (dict(m=6, t=4, erasures=0.0, puncture=3, erase_below=None, p0=[0.03], max_blocks=3000,
          max_error_blocks=100),
     ["--m", "6", "--t", "4", "--erasures", "0", "--puncture", "3", "--p0", "0.03",
      "--max-blocks", "3000", "--max-error-blocks", "100"]),
]

COUNTS = {"blocks": "blocks", "error_blocks": "errorBlocks", "channel_errors": "channelErrors",
          "error_symbols": "errorSymbols", "bit_errors": "bitErrors",
          "failures": "detectedFailures", "miscorrections": "miscorrections",
          "error_symbol_squares": "errorSymbolSquares"}
RATES = {"p0": "P0", "fer": "FER", "fer_low": "FERLow", "fer_high": "FERHigh", "ser": "SER",
         "ser_low": "SERLow", "ser_high": "SERHigh", "ber": "BER", "channel_ser": "channelSER",
         "theory_fer": "theoryFER"}
# Written by the program on the channels that count them.
CHANNEL_FIELDS = {"channel_bit_errors": "channelBitErrors", "channel_ber": "channelBER",
                  "error_block_squares": "errorBlockSquares", "channel_erasures": "channelErasures",
                  "errors_corrected": "errorsCorrected", "erasures_corrected": "erasuresCorrected"}


@pytest.mark.parametrize("threads", [1, 2])
@pytest.mark.parametrize("keywords,arguments", EXPERIMENTS)
def test_simulate_counts_as_the_program(tmp_path, keywords, arguments, threads):
    text = program_json_text(tmp_path, arguments + ["-j", str(threads)])
    expected = json.loads(text)["points"]
    results = rs_sim.simulate(threads=threads, **keywords)
    assert timeless(results.to_json()) == timeless(text)
    assert len(results) == len(expected)
    for field, key in COUNTS.items():
        assert getattr(results, field).tolist() == [p[key] for p in expected], field
    for field, key in RATES.items():
        # JSON numbers are written to 17 digits: the same doubles.
        assert getattr(results, field).tolist() == [p[key] for p in expected], field
    for field, key in CHANNEL_FIELDS.items():
        if key in expected[0]:
            assert getattr(results, field).tolist() == [p[key] for p in expected], field
    np.testing.assert_allclose(results.log10_fer, np.log10(results.fer), rtol=1e-14)
    assert results.experiment["threads"] == threads and not results.stopped


@pytest.mark.parametrize("keywords,arguments", [
    (dict(p0=[0.05, 0.01], samples=2000), ["--p0", "0.05,0.01", "--samples", "2000"]),
    (dict(channel="bpsk-awgn", erase_below=0.25, precision=0.2, p0=[4.0, 6.0]),
     ["--channel", "bpsk-awgn", "--erase-below", "0.25", "--precision", "0.2", "--ebn0",
      "4.0,6.0"]),
])
def test_stratified_as_the_program(tmp_path, keywords, arguments):
    text = program_json_text(tmp_path, ["--m", "6", "--t", "3", "--max-blocks", "1",
                                        "--max-error-blocks", "1", "--method", "stratified"]
                             + arguments)
    results = rs_sim.simulate(m=6, t=3, max_blocks=1, max_error_blocks=1, method="stratified",
                              **keywords)
    assert timeless(results.to_json()) == timeless(text)
    expected = json.loads(text)
    points = expected["points"]
    assert len(points) == 2
    assert results.p0.tolist() == [p["P0"] for p in points]
    for i, point in enumerate(points):
        assert results.log10_fer[i] == pytest.approx(point["log10FER"], rel=1e-12)
        assert results.log10_fer_high[i] == pytest.approx(point["log10FERHigh"], rel=1e-12)


def test_stratified_progress_counts_rounds_and_patterns():
    calls = []
    results = rs_sim.simulate(m=8, t=16, p0_decades=(0.1, 1e-6, 2), max_blocks=1,
                              max_error_blocks=1, method="stratified", precision=0.001,
                              progress=lambda *seen: calls.append(seen))
    assert calls, "a run of a third of a second had no progress"
    rounds, patterns, zeros = zip(*calls)
    assert list(rounds) == sorted(set(rounds)) and list(patterns) == sorted(patterns)
    assert set(zeros) == {0}
    assert 0 < patterns[-1] <= json.loads(results.to_json())["stratified"]["patterns"]


def test_to_pandas_hands_the_arrays_to_pandas(monkeypatch):
    # pandas is optional: a stand-in records what the module gives its DataFrame.
    monkeypatch.setitem(sys.modules, "pandas", types.SimpleNamespace(DataFrame=dict))
    results = rs_sim.simulate(m=4, t=1, p0=[0.2, 0.1], max_blocks=500, max_error_blocks=50)
    frame = results.to_pandas()
    for column in ("p0", "blocks", "error_blocks", "fer", "fer_low", "fer_high", "ser", "ber"):
        assert frame[column].tolist() == getattr(results, column).tolist(), column
    monkeypatch.setitem(sys.modules, "pandas", None)
    with pytest.raises(ImportError):
        results.to_pandas()


@pytest.mark.parametrize("keywords,message", [
    (dict(m=31, t=4), "M=31 is out of range: the field degree must be 1 to 30"),
    (dict(m=8, t=200), "T=200"),
    (dict(m=8, t=16, p0=[-0.1]), "-0.1"),
    (dict(m=8, t=16, length=20), "length"),
    (dict(m=8, t=16, method="exact"), "monte-carlo"),
    (dict(m=8, t=16, samples=10), "samples needs method"),
    (dict(m=8, t=16, channel="gilbert-elliott"), "needs burst"),
    (dict(m=8, t=16, channel="binary-symmetric", erasures=0.1), "erasures belongs to"),
    (dict(m=8, t=16, interleave=2), "interleaving needs another channel"),
    (dict(m=8, t=16, erase_below=0.1), "erase_below belongs to"),
    (dict(m=8, t=16, channel="bpsk-awgn", erase_below=-1.0), "is not an amplitude"),
    (dict(m=8, t=16, channel="bpsk-awgn", erase_below="worst"), "erase_below takes"),
    (dict(m=8, t=16, erasures=0.0, puncture=33), "puncture 33 is out of range: 0 to 2T=32"),
    (dict(m=8, t=16, on_failure="received"), "need the frame engine"),
    (dict(m=8, t=16, on_failure="best"), "on_failure must be"),
])
def test_bad_arguments_raise_the_programs_message(keywords, message):
    arguments = dict(p0=[0.01], max_blocks=10, max_error_blocks=10)
    arguments.update(keywords)
    with pytest.raises(ValueError, match=message.replace("(", r"\(")):
        rs_sim.simulate(**arguments)


# With a progress callback, and without one, where only the run's own look at signals sees it.
@pytest.mark.parametrize("with_progress", [True, False])
def test_interrupt_stops_a_long_run(with_progress):
    calls = []

    def progress(point, blocks, error_blocks):
        calls.append((time.monotonic(), point, blocks, error_blocks))

    # About ten seconds of blocks on two threads: the interrupt ends them after half a second.
    sent = []

    def interrupt():
        sent.append(time.monotonic())
        os.kill(os.getpid(), signal.SIGINT)

    timer = threading.Timer(0.5, interrupt)
    timer.start()
    with pytest.raises(KeyboardInterrupt):
        rs_sim.simulate(m=12, t=100, p0=[0.03], max_blocks=20000, max_error_blocks=20000,
                        threads=2, progress=progress if with_progress else None)
    ended = time.monotonic()
    timer.join()
    assert ended - sent[0] < 0.5
    assert threading.active_count() == 1
    if with_progress:
        # Point 0's growing counts, at most about ten calls a second.
        assert calls and all(c[1] == 0 for c in calls)
        assert [c[2] for c in calls] == sorted(c[2] for c in calls)
        gaps = np.diff([c[0] for c in calls])
        assert gaps.size == 0 or gaps.min() >= 0.09


@pytest.mark.parametrize("m,t,length", [(8, 16, None), (4, 2, None), (10, 5, 100), (1, 0, None)])
def test_code_corrects_t_errors_and_flags_t_plus_one(m, t, length):
    code = rs_sim.Code(m, t, length)
    generator = np.random.default_rng(7)
    batch = 50
    info = generator.integers(0, 2**m, size=(batch, code.k))
    words = code.encode(info)
    assert words.shape == (batch, code.n)
    assert np.array_equal(words[:, 2 * t:], info)
    assert np.array_equal(code.encode(info[0]), words[0])
    received = words.copy()
    errors = generator.integers(0, t + 1, size=batch)
    for row, count in enumerate(errors):
        at = generator.choice(code.n, size=count, replace=False)
        received[row, at] ^= generator.integers(1, 2**m, size=count).astype(received.dtype)
    decoded, corrections, failed = code.decode(received)
    assert np.array_equal(decoded, words)
    assert corrections.tolist() == errors.tolist()
    assert not failed.any()
    if t == 0:
        return
    # t + 1 errors: beyond the code, flagged or miscorrected, never decoded to the word sent.
    beyond = words.copy()
    for row in range(batch):
        at = generator.choice(code.n, size=t + 1, replace=False)
        beyond[row, at] ^= generator.integers(1, 2**m, size=t + 1).astype(beyond.dtype)
    decoded, corrections, failed = code.decode(beyond)
    assert not (decoded == words).all(axis=1).any()
    assert np.array_equal(decoded[failed], beyond[failed])
    if m == 8:
        assert failed.all()  # RS(255,223) miscorrects about once in 10^14 such words
    # Erasures: 2t erased symbols, whatever their values, come back.
    erased = np.sort(generator.choice(code.n, size=2 * t, replace=False))
    wiped = words[0].copy()
    wiped[erased] = 0
    word, _, flag = code.decode(wiped, erasures=erased)
    assert np.array_equal(word, words[0]) and not flag


@pytest.mark.parametrize("call,message", [
    (lambda c: c.encode(np.zeros(3, dtype=np.int64)), "encode takes 11 symbols, not 3"),
    (lambda c: c.decode(np.full(15, 16)), "symbol 0 is 16, beyond GF"),
    (lambda c: c.decode(np.zeros(15, dtype=np.int64), erasures=[3, 1]), "erasure 1 is 1"),
    (lambda c: c.decode(np.zeros(15, dtype=np.int64), erasures=[2, 2]), "erasure 1 is 2"),
    (lambda c: c.decode(np.zeros(15, dtype=np.int64), erasures=[14, 15]), "erasure 1 is 15"),
    (lambda c: c.decode(np.zeros(15, dtype=np.int64), erasures=range(5)), "5 erasures, beyond"),
    (lambda c: rs_sim.Code(31, 1), "M=31 is out of range"),
    (lambda c: c.decode(np.full(15, -1)), "symbols cannot be negative"),
    (lambda c: c.decode(np.full(15, 1.5)), "integer symbols, not an array of dtype float64"),
    (lambda c: c.decode(np.zeros(15, dtype=np.int64), erasures=[2**32 + 3]),
     "erasure position 4294967299 is beyond any word"),
    (lambda c: c.decode(np.zeros(15, dtype=np.int64), erasures=[1.5]), "integer erasure positions"),
])
def test_code_refuses_bad_words(call, message):
    with pytest.raises((ValueError, TypeError), match=message):
        call(rs_sim.Code(4, 2))


def test_reference_counts_unchanged():
    # What a call is given, it gives back: no reference kept to an argument or a callback.
    received = np.zeros((3, 15), dtype=np.int64)
    erasures = [1, 2]
    p0 = [0.1]

    calls = []

    def progress(*counts):
        calls.append(counts)

    held = [sys.getrefcount(x) for x in (received, erasures, p0, progress)]
    # Long enough for progress calls.
    rs_sim.simulate(m=12, t=100, p0=p0, max_blocks=500, max_error_blocks=500, progress=progress)
    for _ in range(20):
        results = rs_sim.simulate(m=4, t=1, p0=p0, max_blocks=100, max_error_blocks=100,
                                  progress=progress)
        results.fer, results.experiment
        rs_sim.Code(4, 1).decode(received, erasures=erasures)
    assert calls
    assert [sys.getrefcount(x) for x in (received, erasures, p0, progress)] == held

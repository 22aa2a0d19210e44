#!/usr/bin/env python3
"""The module's time over the program's on the same experiment, measured in one run.

usage: PYTHONPATH=build/release/python bench/python_ratio.py build/release/rs-sim

The program's time is its wall time less its process start (rs-sim --version, the least of
several); the module's is rs_sim.simulate's wall time. Each is the least of three alternating
runs; the counts must agree. Prints the ratio, which should be at most 1.05."""

import json
import os
import subprocess
import sys
import tempfile
import time

import rs_sim

program = sys.argv[1] if len(sys.argv) > 1 else "rs-sim"
threads = 2
experiment = dict(m=8, t=16, p0=[0.06, 0.055, 0.05], max_blocks=2000000, max_error_blocks=10**9)
arguments = ["--m", "8", "--t", "16", "--p0", "0.06,0.055,0.05", "--max-blocks", "2000000",
             "--max-error-blocks", "1000000000", "-j", str(threads)]


def wall(run):
    started = time.perf_counter()
    value = run()
    return time.perf_counter() - started, value


with tempfile.TemporaryDirectory() as work:
    out = os.path.join(work, "run.json")
    command = [program, "--no-wait", "--no-status", "--json", out,
               "-o", os.path.join(work, "run.txt")] + arguments
    start = min(wall(lambda: subprocess.run([program, "--version"], check=True,
                                            stdout=subprocess.DEVNULL))[0] for _ in range(5))
    program_times, module_times = [], []
    for _ in range(3):
        seconds, _ = wall(lambda: subprocess.run(command, check=True, stdout=subprocess.DEVNULL,
                                                 stdin=subprocess.DEVNULL))
        program_times.append(seconds - start)
        seconds, results = wall(lambda: rs_sim.simulate(threads=threads, **experiment))
        module_times.append(seconds)
    with open(out) as document:
        blocks = [p["blocks"] for p in json.load(document)["points"]]
    if results.blocks.tolist() != blocks:
        sys.exit(f"the module counts {results.blocks.tolist()} blocks, the program {blocks}")

ratio = min(module_times) / min(program_times)
print(f"program {min(program_times):.3f} s (less {start * 1000:.1f} ms to start), "
      f"module {min(module_times):.3f} s: module/program = {ratio:.3f} (at most 1.05)")

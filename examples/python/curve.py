#!/usr/bin/env python3
"""The FER of RS(255,223) against P0: a Monte-Carlo curve with its 95 % intervals down to where
blocks still fail often enough to count, the stratified estimate to far below, and the
bounded-distance decoder's theory. Writes curve.png (or the path given)."""

import sys

import matplotlib

matplotlib.use("Agg")  # no display needed
import matplotlib.pyplot as plt  # noqa: E402

import rs_sim  # noqa: E402

png = sys.argv[1] if len(sys.argv) > 1 else "curve.png"
code = dict(m=8, t=16)

monte_carlo = rs_sim.simulate(**code, p0_decades=(0.1, 0.0398, 10), max_blocks=20000,
                              max_error_blocks=200, threads=2)
stratified = rs_sim.simulate(**code, p0_decades=(0.1, 0.001, 4), max_blocks=1,
                             max_error_blocks=1, method="stratified", samples=2000, threads=2)

figure, axes = plt.subplots(figsize=(6.4, 4.8))
axes.errorbar(monte_carlo.p0, monte_carlo.fer,
              yerr=[monte_carlo.fer - monte_carlo.fer_low, monte_carlo.fer_high - monte_carlo.fer],
              fmt="o", capsize=3, label="Monte-Carlo (95 % interval)")
axes.plot(stratified.p0, 10**stratified.log10_fer, "s-", markersize=3, label="stratified")
axes.fill_between(stratified.p0, 10**stratified.log10_fer_low, 10**stratified.log10_fer_high,
                  alpha=0.3)
axes.plot(stratified.p0, stratified.theory_fer, "k--", linewidth=1, label="bounded distance")
axes.set(xscale="log", yscale="log", xlabel="P0 (symbol error probability)", ylabel="FER",
         title="RS(255,223) on the q-ary symmetric channel")
axes.set_ylim(top=1.5)
axes.grid(True, which="both", alpha=0.3)
axes.legend()
figure.savefig(png, dpi=100)
print(f"{png}: {len(monte_carlo)} Monte-Carlo points, {len(stratified)} stratified")

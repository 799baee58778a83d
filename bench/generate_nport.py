#!/usr/bin/python3
"""Writes a large N-port Touchstone file for the benchmarks, as a simulator exports it: a few
header comments, the option line (R 50), then each record row by row, a row starting on a new
line and at most four pairs a line, the first line led by the frequency. The same arguments
always give the same bytes.

    generate_nport.py PORTS RECORDS ri|ma|db OUTPUT [SEED]
"""
import sys

import numpy as np

ports, records, form, output = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3].upper(), sys.argv[4]
rng = np.random.default_rng(int(sys.argv[5]) if len(sys.argv) > 5 else 1)

# A passive-looking network whose entries wander smoothly with frequency.
shape = (records, ports * ports)
phase = np.cumsum(rng.uniform(-0.2, 0.2, shape), axis=0) + rng.uniform(-3, 3, ports * ports)
magnitude = np.clip(0.45 + 0.4 * np.sin(np.cumsum(rng.uniform(0, 0.02, shape), axis=0)
                                        + rng.uniform(0, 6, ports * ports)), 1e-6, None)
if form == "RI":
    first, second = magnitude * np.cos(phase), magnitude * np.sin(phase)
else:
    first = magnitude if form == "MA" else 20 * np.log10(magnitude)
    second = np.degrees(np.angle(np.exp(1j * phase)))
values = np.empty((records, 2 * ports * ports))
values[:, 0::2], values[:, 1::2] = first, second

pair = "%.10g %.10g"
lines = []
for row in range(ports):
    for start in range(0, ports, 4):
        lines.append(" ".join([pair] * min(4, ports - start)))
record = "%.9g " + "\n".join(lines) + "\n"
frequency = 0.01 + np.arange(records) * (40.0 / records)  # GHz
with open(output, "w") as out:
    out.write(f"! {ports}-port benchmark file, {records} frequencies, seed-determined\n")
    out.write(f"! S-parameters, {form}, row by row\n# GHz S {form} R 50\n")
    for f, row in zip(frequency.tolist(), values.tolist()):
        out.write(record % (f, *row))

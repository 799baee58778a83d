#!/usr/bin/python3
"""The pictures of --plot as a reader sees them: drawn to pixels by rsvg-convert and by a
headless Chromium, and read where the scales drawn beside the data say the data must be.

- A file whose |S21|, converted, is a flat -6.02 dB and whose S11 is a short circuit: the solid
  S21 trace lies on the gridline labelled -6, and the S11 marks on the left end of the Smith
  chart's real axis. Its input is made here for 15 ohms from the wanted 50-ohm network by the
  textbook renormalisation in numpy; as read it is elsewhere (S21 -1.96 dB, S11 -0.63), so
  only the converted traces can meet those places.
- 10^6 records with a one-record spike in S21 and a one-record null in S22: the spike is
  drawn at its height and frequency, the null on the axis floor; no trace holds more than
  about 2,000 points, the file stays under 2 MB, and the peak memory within a few megabytes
  of the same conversion without --plot.

Usage: check_plot.py TOOL
"""
import math
import os
import re
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

import numpy as np
from PIL import Image

SVG = "{http://www.w3.org/2000/svg}"
MOST_POINTS = 2100           # "at most about 2,000 points per trace"
LARGEST_PICTURE = 2_000_000  # bytes
MORE_MEMORY = 8 * 1024       # KiB the picture may add to the peak resident memory
COLOUR_DISTANCE = 60         # anti-aliased pixels of a trace still count as its colour


def run(arguments, cwd):
    """Runs the tool; gives its status and its peak resident memory in KiB."""
    child = subprocess.Popen(arguments, cwd=cwd, stdout=subprocess.DEVNULL,
                             stderr=subprocess.PIPE)
    _, status, usage = os.wait4(child.pid, 0)
    child.returncode = os.waitstatus_to_exitcode(status)
    return child.returncode, usage.ru_maxrss


def elements(svg_path):
    """The picture's elements in document order, with their attributes and text."""
    return [(e.tag.replace(SVG, ""), e.attrib, e.text or "") for e in ET.parse(svg_path).iter()]


def legend_colour(items, name):
    """The colour the legend gives a parameter: the swatch drawn just before its name."""
    for k, (tag, attrs, text) in enumerate(items):
        if tag == "text" and text == name and items[k - 1][0] == "line":
            return items[k - 1][1]["stroke"]
    raise AssertionError(f"no legend entry {name}")


def rgb(colour):
    return tuple(int(colour[i:i + 2], 16) for i in (1, 3, 5))


def near(pixel, colour):
    return sum((a - b) ** 2 for a, b in zip(pixel[:3], colour)) <= COLOUR_DISTANCE ** 2


def scale(items, axis):
    """An axis of the |S| panel as its labels draw it, fitted as value = a + b * position:
    the frequency labels are the numbers centred in the topmost row of them, the dB labels
    the numbers right-aligned in the leftmost column, down to the first wider gap (the noise
    panel's start below it). A dB label's baseline sits 4 px below its gridline. Gives
    (a, b, {value: position})."""
    anchor, across, along = ("middle", "y", "x") if axis == "x" else ("end", "x", "y")
    groups = {}
    for tag, attrs, text in items:
        if tag == "text" and attrs.get("text-anchor") == anchor:
            try:
                value = float(text)
            except ValueError:
                continue
            groups.setdefault(float(attrs[across]), []).append((float(attrs[along]), value))
    points = sorted(groups[min(groups)])
    if axis == "y":
        points = [(p - 4.0, v) for p, v in points]
        gaps = [q[0] - p[0] for p, q in zip(points, points[1:])]
        cut = next((k + 1 for k, gap in enumerate(gaps) if gap > 1.5 * gaps[0]), len(points))
        points = points[:cut]
    b, a = np.polyfit([p for p, _ in points], [v for _, v in points], 1)
    return a, b, {v: p for p, v in points}


def pixel_test(tool, folder, renderers):
    problems = []
    # The wanted network at 50 ohms (S12 and S22 chosen to keep the dB axis in steps of 2), and
    # the same network for 15 ohms: S = (S' - G)(I - G S')^-1 with G = (15 - 50) / (15 + 50).
    wanted = np.array([[-1.0, 0.4j], [0.5j, -0.3]], dtype=complex)
    g = (15 - 50) / (15 + 50)
    at_15 = (wanted - g * np.eye(2)) @ np.linalg.inv(np.eye(2) - g * wanted)
    lines = ["# GHz S RI R 15"]
    for k in range(201):
        pairs = [at_15[0, 0], at_15[1, 0], at_15[0, 1], at_15[1, 1]]
        lines.append(f"{1 + 0.01 * k:.2f} " + " ".join(f"{z.real!r} {z.imag!r}" for z in pairs))
    with open(os.path.join(folder, "short.s2p"), "w") as f:
        f.write("\n".join(lines) + "\n")
    status, _ = run([tool, "--to", "50", "--plot=short.svg", "short.s2p", "short50.s2p"], folder)
    if status != 0:
        return [f"the conversion failed with status {status}"]
    svg = os.path.join(folder, "short.svg")
    items = elements(svg)
    s21 = rgb(legend_colour(items, "S21"))
    s11 = rgb(legend_colour(items, "S11"))
    a, b, labels = scale(items, "y")
    if -6.0 not in labels:
        return [f"no gridline labelled -6 among {sorted(labels)}"]
    row = labels[-6.0]
    gridline = [attrs for tag, attrs, _ in items
                if tag == "line" and attrs["y1"] == attrs["y2"] and abs(float(attrs["y1"]) - row) < 0.6]
    if not gridline:
        problems.append(f"no horizontal gridline at the -6 label (y {row})")
    left, right = float(gridline[0]["x1"]), float(gridline[0]["x2"])
    expected_row = (20 * math.log10(0.5) - a) / b
    circles = [attrs for tag, attrs, _ in items if tag == "circle" and attrs.get("fill") == "none"]
    chart = max(circles, key=lambda c: float(c["r"]))
    short = (float(chart["cx"]) - float(chart["r"]), float(chart["cy"]))
    for name, png in renderers(svg):
        image = Image.open(png).convert("RGB")
        pixels = image.load()
        # Across the panel, the solid S21 is on the -6 dB gridline's row.
        columns = range(int(left) + 3, int(right) - 3)
        on_row = [x for x in columns
                  if any(near(pixels[x, y], s21) for y in range(round(row) - 1, round(row) + 2))]
        if len(on_row) < 0.95 * len(columns):
            problems.append(f"{name}: S21 on the -6 dB row in {len(on_row)} of {len(columns)} columns")
        # And where the labels' own scale puts -6.02 dB (the dashed trace crosses elsewhere).
        middle = int((left + right) / 2)
        rows = [y for y in range(image.height) if near(pixels[middle, y], s21)]
        if not any(abs(y - expected_row) <= 1.5 for y in rows):
            problems.append(f"{name}: S21 at rows {rows} of column {middle}, "
                            f"-6.02 dB is row {expected_row:.1f}")
        marked = [(x, y) for x in range(int(short[0]) - 5, int(short[0]) + 6)
                  for y in range(int(short[1]) - 5, int(short[1]) + 6) if near(pixels[x, y], s11)]
        if len(marked) < 8:
            problems.append(f"{name}: {len(marked)} S11 pixels at the left end of the real axis "
                            f"{short}")
    return problems


def reduction_test(tool, folder):
    problems = []
    records, spike, null = 1_000_000, 654_321, 123_457
    path = os.path.join(folder, "long.s2p")
    with open(path, "w") as f:
        f.write("# GHz S RI R 50\n")
        for k in range(records):
            s21 = "0.9" if k == spike else "0.1"
            s22 = "0.001" if k == null else "0.2"
            f.write(f"{1 + k * 1e-6:.6f} 0.1 0 {s21} 0 0.1 0 {s22} 0\n")
    status, plain_peak = run([tool, "--to", "50", "long.s2p", "plain.s2p"], folder)
    status_plot, plot_peak = run([tool, "--to", "50", "--plot=long.svg", "long.s2p", "out.s2p"], folder)
    if status != 0 or status_plot != 0:
        return [f"the conversions failed with status {status} and {status_plot}"]
    svg = os.path.join(folder, "long.svg")
    size = os.path.getsize(svg)
    if size >= LARGEST_PICTURE:
        problems.append(f"the picture of 10^6 records is {size} bytes")
    if plot_peak > plain_peak + MORE_MEMORY:
        problems.append(f"peak memory {plot_peak} KiB with --plot, {plain_peak} KiB without")
    items = elements(svg)
    traces = [attrs for tag, attrs, _ in items if tag == "polyline"]
    longest = max(len(t["points"].split()) for t in traces)
    if longest > MOST_POINTS:
        problems.append(f"a trace of {longest} points")
    a, b, labels = scale(items, "y")
    fa, fb, _ = scale(items, "x")
    floor = max(labels, key=lambda v: labels[v])  # the lowest label is the axis floor

    def points_of(name, solid):
        colour = legend_colour(items, name)
        for t in traces:
            if t["stroke"] == colour and ("stroke-dasharray" not in t) == solid:
                return [tuple(map(float, p.split(","))) for p in t["points"].split()]
        return []

    spike_frequency = 1 + spike * 1e-6
    top = min(points_of("S21", True), key=lambda p: p[1], default=(0, 0))
    height, where = a + b * top[1], fa + fb * top[0]
    if abs(height - 20 * math.log10(0.9)) > 0.3 or abs(where - spike_frequency) > 0.002:
        problems.append(f"the S21 spike is drawn at {height:.2f} dB, {where:.4f} GHz")
    bottom = max(points_of("S22", True), key=lambda p: p[1], default=(0, 0))
    if abs(bottom[1] - labels[floor]) > 0.6 or abs(fa + fb * bottom[0] - (1 + null * 1e-6)) > 0.002:
        problems.append(f"the S22 null is drawn at {bottom}, the floor is at y {labels[floor]}")
    png = os.path.join(folder, "long.png")
    subprocess.run(["rsvg-convert", "-o", png, svg], check=True)
    pixels = Image.open(png).convert("RGB").load()
    colour = rgb(legend_colour(items, "S21"))
    if not any(near(pixels[round(top[0]) + dx, round(top[1]) + 1], colour) for dx in (-1, 0, 1)):
        problems.append(f"no S21 pixel at the spike's top {top}")
    return problems


def renderers_in(folder):
    def renderers(svg):
        png = svg + ".rsvg.png"
        subprocess.run(["rsvg-convert", "-o", png, svg], check=True)
        yield "rsvg-convert", png
        # One short run of a browser, as a reader opens the file.
        width, height = (round(float(v)) for v in
                         re.search(r'width="([\d.]+)" height="([\d.]+)"', open(svg).read()).groups())
        shot = svg + ".chromium.png"
        profile = tempfile.mkdtemp(prefix="tavrin-chromium-")
        try:
            subprocess.run(["chromium", "--headless", "--no-sandbox", "--disable-gpu",
                            "--disable-quic", "--no-first-run", "--disable-background-networking",
                            "--disable-component-update", "--disable-sync", "--hide-scrollbars",
                            "--force-device-scale-factor=1", f"--user-data-dir={profile}",
                            f"--window-size={width},{height}", f"--screenshot={shot}",
                            "file://" + os.path.abspath(svg)],
                           check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                           timeout=120)
        finally:
            shutil.rmtree(profile, ignore_errors=True)
        yield "chromium", shot
    return renderers


def main():
    tool = os.path.abspath(sys.argv[1])
    failures = 0
    for name, test in [("pixels", lambda d: pixel_test(tool, d, renderers_in(d))),
                       ("10^6 records", lambda d: reduction_test(tool, d))]:
        folder = tempfile.mkdtemp(prefix="tavrin-plot-")
        problems = test(folder)
        if problems:
            failures += 1
            print(f"{name}: " + "; ".join(problems) + f" (files in {folder})")
        else:
            print(f"{name}: passed")
            shutil.rmtree(folder, ignore_errors=True)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

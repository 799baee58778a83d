#!/usr/bin/python3
"""Checks the noise block tavrin keeps and renormalises against things that share none of its
rules: the optimum source reflection taken back to an impedance and forward to the new reference
with numpy; the noise figure of a few source impedances, which a correct conversion leaves
unchanged; scikit-rf reading every output it can; and the round trip z_old -> n -> z_old.

The files are the ones amplifier data sheets and exporters write: noise after a frequency drop,
noise starting at the last S frequency, Touchstone 2.0 [Noise Data] with Rn in ohms, two-file
measurements, broken noise lines, per-port references old and new. Each table row is one
layout; the S and noise values are drawn anew for every case.

Usage: check_noise.py TOOL [CASES] [SEED]
"""
import math
import os
import random
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from reference_support import np, pair_text, pair_value, run_cases, skrf  # noqa: E402

TOLERANCE = 5e-8          # on each complex S-parameter, relative to max(1, |S|)
NOISE_TOLERANCE = 1e-8    # on each printed nine-decimal noise number
INVARIANCE = 1e-7         # on the noise figure of a source, relative
ROUND_TRIP = 5e-9         # a few units in the ninth decimal
SOURCES = [10, 50 + 20j, 120 - 30j]

# Layouts. s/noise: frequency tokens; kept: noise lines written (all when absent); bad: a broken
# noise line ("five" or "three" numbers) put after that many noise lines, at the frequency given;
# status: the exit statuses accepted.
VERSION_1 = [
    dict(name="data sheet: MA, drop, comments", fmt="MA", ref="R 50", n=75, comments=True,
         s=["0.5", "1.0", "2.0", "4.0", "6.0"], noise=["0.5", "1.0", "2.0", "4.0"]),
    dict(name="noise from the last S frequency", fmt="MA", ref="R 50", n=25,
         s=["1", "2"], noise=["2", "3", "4"]),
    dict(name="RI in MHz, R 75", fmt="RI", ref="R 75", n=100, unit="MHz",
         s=["100", "500", "1000.0"], noise=["100", "250.5", "500"]),
    dict(name="DB, n = R1 = 50", fmt="DB", ref="R 50", n=50, s=["1", "2", "3"], noise=["1", "2"]),
    dict(name="RI, n = R1 = 75", fmt="RI", ref="R 75", n=75, s=["1", "2"], noise=["1", "1.5"]),
    dict(name="no R: 50", fmt="DB", ref="", n=100, s=["1", "2", "3"], noise=["1.5", "2.5", "3"]),
    dict(name="per-port R 75 50", fmt="MA", ref="R 75 50", n=50, s=["1", "2"], noise=["1", "2"]),
    dict(name="five numbers end the block", fmt="MA", ref="R 50", n=75, bad=("five", 2, "2.2"),
         s=["1", "2", "3"], noise=["1", "2", "2.5", "3"], kept=2),
    dict(name="three numbers end the block", fmt="RI", ref="R 50", n=25, bad=("three", 1, "1.5"),
         s=["1", "2", "3"], noise=["1", "2", "3"], kept=1),
    dict(name="a repeat ends the block", fmt="MA", ref="R 50", n=75,
         s=["1", "2", "3"], noise=["1", "2", "2", "3"], kept=2),
    dict(name="a drop ends the block", fmt="DB", ref="R 50", n=100,
         s=["1", "2", "3"], noise=["1", "2", "3", "1.5", "4"], kept=3),
    dict(name="noise lines, no S record", fmt="MA", ref="R 50", n=75,
         s=[], noise=["1", "2"], kept=0, status=(0, 1)),
]
VERSION_2 = [
    dict(name="[Noise Data] below, Rn in ohms", fmt="MA", ref="50", n=75,
         s=["1", "2", "3"], noise=["0.5", "1.5", "3", "5"]),
    dict(name="[Noise Data] at the last S frequency", fmt="RI", ref="75", n=25,
         s=["1", "2"], noise=["2", "4", "6"]),
    dict(name="[Noise Data] above: left out", fmt="DB", ref="50", n=75,
         s=["1", "2"], noise=["3", "4"], kept=0),
    dict(name="[Reference] 75 50", fmt="MA", ref="75 50", n=100, s=["1", "2"], noise=["1", "2"]),
    dict(name="[Noise Data], no S record", fmt="MA", ref="50", n=75,
         s=[], noise=["1", "2"], kept=0, status=(0, 1)),
]
TWO_FILES = [
    dict(name="two files: forward's block", fmt="MA", ref="R 50", n=75, two="forward",
         s=["1", "2", "3"], noise=["1", "2", "3"]),
    dict(name="two files: only the reverse has one", fmt="RI", ref="R 75", n=50, two="reverse",
         s=["1", "2"], noise=["1", "2"], kept=0),
]
# A new reference per port (the file form's --to): a Touchstone 2.0 output whose [Noise Data]
# holds Gamma_opt at port 1's new reference and Rn in ohms.
PER_PORT = [
    dict(name="--to 50,200: a balun's data sheet", fmt="MA", ref="R 50", to=(50, 200), version=1,
         s=["1", "2", "3"], noise=["1", "2"]),
    dict(name="--to 75,25 from [Reference] 50 100", fmt="RI", ref="50 100", to=(75, 25),
         version=2, s=["1", "2"], noise=["2", "3"]),
    dict(name="--to 100,50 from R 75, noise from the last S frequency", fmt="DB", ref="R 75",
         to=(100, 50), version=1, s=["1", "2"], noise=["2", "3", "4"]),
]
TABLE = [dict(row, version=1) for row in VERSION_1] + \
        [dict(row, version=2) for row in VERSION_2] + [dict(row, version=1) for row in TWO_FILES] \
        + PER_PORT


# ---------------------------------------------------------------- the physics, independently

def gamma_of(z, reference):
    return (z - reference) / (z + reference)


def impedance_of(gamma, reference):
    return reference * (1 + gamma) / (1 - gamma)


def figure_from_gamma(fmin_db, g_opt, rn, reference, zs):
    """Linear F of source zs, with g_opt, rn and the source's reflection against one reference."""
    gs = gamma_of(zs, reference)
    return 10 ** (fmin_db / 10) + 4 * rn * abs(gs - g_opt) ** 2 / \
        ((1 - abs(gs) ** 2) * abs(1 + g_opt) ** 2)


def figure_from_admittance(fmin_db, z_opt, rn_ohms, zs):
    """F = Fmin + Rn/Gs |Ys - Yopt|^2: no reference anywhere."""
    ys, y_opt = 1 / zs, 1 / z_opt
    return 10 ** (fmin_db / 10) + rn_ohms / ys.real * abs(ys - y_opt) ** 2


def renormalised(s, refs, news):
    """The textbook form for one reference at both ports; the per-port form otherwise."""
    n0, n1 = news
    if refs[0] == refs[1] and n0 == n1:
        g = (n0 - refs[0]) / (n0 + refs[0])
        identity = np.eye(2)
        return (s - g * identity) @ np.linalg.inv(identity - g * s)
    gamma = np.diag([(n - r) / (n + r) for r, n in zip(refs, news)])
    d = np.diag([(r + n) / (2 * math.sqrt(r * n)) for r, n in zip(refs, news)])
    return d @ (s - gamma) @ np.linalg.inv(np.eye(2) - gamma @ s) @ np.linalg.inv(d)


def via_impedance(s, refs, news):
    """S at news by way of the impedance matrix, for the self-test of renormalised()."""
    root = np.diag(np.sqrt(refs))
    z = root @ (np.eye(2) + s) @ np.linalg.inv(np.eye(2) - s) @ root
    new_root = np.diag(1 / np.sqrt(news))
    zn = new_root @ z @ new_root
    return (zn - np.eye(2)) @ np.linalg.inv(zn + np.eye(2))


def self_test(rng):
    """The formulas above must agree with each other before any file is judged by them."""
    for _ in range(50):
        z_opt = complex(rng.uniform(3, 200), rng.uniform(-150, 150))
        rn_ohms, fmin_db = rng.uniform(1, 60), rng.uniform(0.2, 4)
        zs = complex(rng.uniform(1, 300), rng.uniform(-200, 200))
        truth = figure_from_admittance(fmin_db, z_opt, rn_ohms, zs)
        for reference in (50.0, 17.0, 300.0):
            f = figure_from_gamma(fmin_db, gamma_of(z_opt, reference), rn_ohms / reference,
                                  reference, zs)
            assert abs(f - truth) <= 1e-12 * truth, "noise figure depends on the reference"
        s = np.array([[complex(rng.uniform(-.6, .6), rng.uniform(-.6, .6)) for _ in range(2)]
                      for _ in range(2)])
        for refs in ((50.0, 50.0), (75.0, 50.0), (20.0, 120.0)):
            news = (rng.choice([25.0, 75.0, 100.0]),) * 2
            news = news if rng.random() < 0.5 else (news[0], rng.choice([50.0, 200.0]))
            assert np.allclose(renormalised(s, refs, news), via_impedance(s, refs, news),
                               rtol=0, atol=1e-12), "per-port form disagrees"


def point(values, reference, ohms=False):
    """Fmin in dB, complex Gamma_opt and rn normalised to the reference, from one noise line."""
    fmin_db, magnitude, angle, resistance = values
    return fmin_db, magnitude * np.exp(1j * math.radians(angle)), \
        resistance / reference if ohms else resistance


def expected_noise(values, r1, n, ohms):
    """Fmin, Gamma' and rn' at n for one input line, by way of Zopt and Rn in ohms."""
    fmin_db, g_opt, rn = point(values, r1, ohms)
    return fmin_db, gamma_of(impedance_of(g_opt, r1), n), rn * r1 / n


# ---------------------------------------------------------------- files

def matrix_of(tokens, fmt):
    """S from the eight tokens of a line in S11 S21 S12 S22 order."""
    p = [pair_value(tokens[k:k + 2], fmt) for k in range(0, 8, 2)]
    return np.array([[p[0], p[2]], [p[1], p[3]]])


def amplifier(rng):
    def c(radius):
        return radius * rng.uniform(0.05, 1) * np.exp(1j * rng.uniform(-3.1, 3.1))
    return np.array([[c(0.8), c(0.1)], [10 ** (rng.uniform(5, 30) / 20) * c(1.0), c(0.8)]])


def noise_line(rng, frequency, ohms):
    rn = f"{rng.uniform(2, 40):.3f}" if ohms else f"{rng.uniform(0.04, 0.8):.4f}"
    return (f"{frequency} {rng.uniform(0.3, 3):.2f} {rng.uniform(0.1, 0.8):.3f} "
            f"{rng.uniform(-179.9, 179.9):.1f} {rn}")


def file_text(row, s_lines, noise_lines, with_noise):
    unit, fmt, version_2 = row.get("unit", "GHz"), row["fmt"], row["version"] == 2
    comments = row.get("comments")
    head = ["! amplifier, bias 3 V 10 mA"]
    if version_2:
        head += ["[Version] 2.0", f"# {unit} S {fmt} R 50", "[Number of Ports] 2",
                 "[Two-Port Data Order] 21_12", f"[Number of Frequencies] {len(s_lines)}"]
        if with_noise:
            head.append(f"[Number of Noise Frequencies] {len(noise_lines)}")
        head += [f"[Reference] {row['ref']}", "[Network Data]"]
    else:
        head.append(f"# {unit} S {fmt} {row['ref']}".rstrip())
    body = []
    for line in s_lines:
        body += [line + (" ! S" if comments else "")] + (["!"] if comments else [])
    if with_noise:
        body += ["! Noise parameters", "!FREQ Fmin GammaOpt rn" if comments else ""]
        body += ["[Noise Data]"] if version_2 else []
        body += [line + ("  ! typ." if comments else "") for line in noise_lines]
    return "\n".join(head + body + (["[End]"] if version_2 else [])) + "\n"


def one_case(rng, row, tool, folder):
    fmt, version_2 = row["fmt"], row["version"] == 2
    news = tuple(float(v) for v in row.get("to", (row.get("n"),) * 2))
    n, per_port = news[0], "to" in row
    ref_values = [float(v) for v in row["ref"].split()[1 if not version_2 else 0:]] or [50.0]
    refs = ref_values * 2 if len(ref_values) == 1 else ref_values
    forward, reverse, truth = [], [], []
    for frequency in row["s"]:
        s, other = amplifier(rng), amplifier(rng)
        # Two files: the pairs the tool must not take differ from the ones it must.
        forward.append(" ".join([frequency] + [" ".join(pair_text(v, fmt, 10)) for v in
                                               (s[0, 0], s[1, 0], other[0, 1], other[1, 1])]))
        reverse.append(" ".join([frequency] + [" ".join(pair_text(v, fmt, 10)) for v in
                                               (s[1, 1], s[0, 1], other[1, 0], other[0, 0])]))
        said = matrix_of(forward[-1].split()[1:], fmt)
        if row.get("two"):
            turned = matrix_of(reverse[-1].split()[1:], fmt)
            said[1, 1], said[0, 1] = turned[0, 0], turned[1, 0]
        truth.append(said)
    noise = [noise_line(rng, f, version_2) for f in row["noise"]]
    kept = row.get("kept", len(noise))
    lines = list(noise)
    if "bad" in row:
        kind, at, frequency = row["bad"]
        broken = noise_line(rng, frequency, False)
        lines.insert(at, broken + " 0.1" if kind == "five" else broken.rsplit(" ", 1)[0])
    two = row.get("two")
    with open(os.path.join(folder, "f.s2p"), "w") as out:
        out.write(file_text(row, forward, lines, two != "reverse"))
    if two:
        with open(os.path.join(folder, "r.s2p"), "w") as out:
            out.write(file_text(row, reverse, [noise_line(rng, f, False) for f in row["noise"]],
                                True))
    arguments = ["--to", ",".join(f"{v:g}" for v in news), "f.s2p", "out.s2p"] if per_port \
        else ["f", "r" if two else "f", "out", f"{n:g}"]
    status = subprocess.run([tool] + arguments, cwd=folder, stdin=subprocess.DEVNULL).returncode
    path = os.path.join(folder, "out.s2p")
    if status not in row.get("status", (0,)):
        return [f"status {status}"], arguments
    if not truth:
        # No S record: no noise line, whatever the status. A version 1 reader takes these lines
        # for S records (there is no S frequency to drop below), so only 2.0 must write none.
        text = open(path, "rb").read().decode() if os.path.exists(path) else ""
        data = [x.split() for x in text.splitlines() if x.strip() and not x.startswith("#")]
        if any(len(x) == 5 for x in data) or (version_2 and status == 0 and data):
            return [f"wrote {[' '.join(x) for x in data]} with status {status}"], arguments
        return [], arguments
    problems = []
    text = open(path, "rb").read().decode("ascii", "replace")
    if not text.endswith("\r\n") or text.count("\n") != text.count("\r\n"):
        problems.append("lines do not all end in CR LF")
    data = [x.split() for x in text.splitlines() if x.strip() and x[0] not in "#["]
    if per_port and [x for x in text.splitlines() if x.startswith("[")] != \
            ["[Version] 2.0", "[Number of Ports] 2", "[Two-Port Data Order] 21_12",
             f"[Number of Frequencies] {len(truth)}", f"[Number of Noise Frequencies] {kept}",
             f"[Reference] {news[0]:g} {news[1]:g}", "[Network Data]", "[Noise Data]", "[End]"]:
        problems.append("not the Touchstone 2.0 keywords of a two-port with noise")
    option = [x for x in text.splitlines() if x.startswith("#")]
    option_tokens = option[0].split() if option else []
    if "R" not in option_tokens or \
            [float(v) for v in option_tokens[option_tokens.index("R") + 1:]] != [n]:
        problems.append(f"option line {option[:1]} does not name R {n:g} alone")
    s_rows, noise_rows = data[:len(truth)], data[len(truth):]
    if [len(x) for x in s_rows] != [9] * len(truth) or any(len(x) != 5 for x in noise_rows):
        return problems + [f"{len(data)} data lines of {[len(x) for x in data]} tokens, expected"
                           f" {len(truth)} of 9 then {kept} of 5"], arguments
    if [x[0] for x in s_rows] != row["s"]:
        problems.append(f"S frequency tokens {[x[0] for x in s_rows]}, expected {row['s']}")
    expected_s = np.array([renormalised(s, refs, news) for s in truth])
    got = np.array([matrix_of(x[1:], fmt) for x in s_rows])
    worst = np.max(np.abs(got - expected_s) / np.maximum(1.0, np.abs(expected_s)))
    if not worst <= TOLERANCE:
        problems.append(f"S lines off the textbook form by {worst:.3g}")

    # The noise lines, always magnitude and angle, against the expected ones line by line.
    inputs = [(x.split()[0], [float(v) for v in x.split()[1:]]) for x in noise[:kept]]
    expected = [expected_noise(v, refs[0], n, version_2) for _, v in inputs]
    if per_port:  # written in ohms
        expected = [(fmin, g, rn * n) for fmin, g, rn in expected]
    if len(noise_rows) != kept:
        problems.append(f"{len(noise_rows)} noise lines, expected {kept}")
    elif [x[0] for x in noise_rows] != [f for f, _ in inputs]:
        problems.append(f"noise frequency tokens {[x[0] for x in noise_rows]}")
    printed = [[float(v) for v in x[1:]] for x in noise_rows]
    for (fmin, g, rn), got, (frequency, _) in zip(expected, printed, inputs):
        angle_error = (got[2] - math.degrees(np.angle(g)) + 180) % 360 - 180
        errors = [got[0] - fmin, got[1] - abs(g), angle_error, got[3] - rn]
        if max(abs(e) for e in errors) > NOISE_TOLERANCE:
            problems.append(f"noise at {frequency}: wrote {got}, expected "
                            f"[{fmin}, {abs(g):.9f}, {math.degrees(np.angle(g)):.9f}, {rn:.9f}]")
    if problems:
        return problems, arguments

    # The noise figure of real sources is what the conversion must not change.
    for (_, v), got in zip(inputs, printed):
        for zs in SOURCES:
            before = figure_from_gamma(*point(v, refs[0], version_2), refs[0], zs)
            after = figure_from_gamma(*point(got, n, per_port), n, zs)
            if abs(after - before) > INVARIANCE * before:
                problems.append(f"F({zs}) {before:.9g} before, {after:.9g} after")

    # scikit-rf finds a version 1 noise block only by a frequency drop.
    if not per_port and (not kept or float(row["noise"][0]) < float(row["s"][-1])):
        problems += read_back(path, row, n, expected_s, expected, inputs)

    # Back to z_old, the input's own noise block to the printed precision.
    if kept and refs[0] == refs[1] and max(n / refs[0], refs[0] / n) <= 4:
        shutil.copy(path, os.path.join(folder, "there.s2p"))
        status = subprocess.run([tool, "there", "there", "back", f"{refs[0]:g}"], cwd=folder,
                                stdin=subprocess.DEVNULL).returncode
        back = open(os.path.join(folder, "back.s2p"), "rb").read().decode().splitlines() \
            if status == 0 else []
        back = [[float(v) for v in x.split()[1:]] for x in back if len(x.split()) == 5]
        if len(back) != kept:
            problems.append(f"round trip: status {status}, {len(back)} noise lines")
        for (frequency, v), b in zip(inputs, back):
            was, now = point(v, refs[0], version_2), point(b, refs[0])
            if max(abs(x - y) for x, y in zip(was, now)) > ROUND_TRIP:
                problems.append(f"round trip at {frequency}: Fmin {now[0]}, Gopt {now[1]:.9f}, "
                                f"rn {now[2]:.9f} for {was[0]}, {was[1]:.9f}, {was[2]:.9f}")
    return problems, arguments


def read_back(path, row, n, expected_s, expected, inputs):
    try:
        written = skrf.Network(path)
    except Exception as error:  # scikit-rf raises several kinds on what it cannot read
        return [f"scikit-rf cannot read the output: {error!r}"]
    problems = []
    scale = np.maximum(1, abs(expected_s))
    if written.s.shape != expected_s.shape or \
            not np.all(np.abs(written.s - expected_s) <= TOLERANCE * scale):
        problems.append("scikit-rf reads another S-matrix")
    if not np.allclose(written.z0, n):
        problems.append(f"scikit-rf reads z0 {written.z0[0]}")
    if not inputs:
        return problems + (["scikit-rf reads a noise block"] if written.noisy else [])
    if not written.noisy:
        return problems + ["scikit-rf reads no noise block"]
    scale = {"Hz": 1, "kHz": 1e3, "MHz": 1e6, "GHz": 1e9}[row.get("unit", "GHz")]
    if not np.allclose(written.noise_freq.f, [float(f) * scale for f, _ in inputs], rtol=1e-12):
        return problems + [f"scikit-rf reads noise frequencies {written.noise_freq.f}"]
    # Its properties live on the S frequencies, so look at the noise on a network of its own;
    # it gives Rn in ohms, having read the printed rn as normalised to the file's R.
    probe = skrf.Network(frequency=written.noise_freq, s=np.zeros((len(inputs), 2, 2)), z0=n)
    probe.noise, probe.noise_freq = written.noise, written.noise_freq
    want = np.array(expected)
    if not (np.allclose(probe.nfmin_db, want[:, 0].real, rtol=0, atol=NOISE_TOLERANCE) and
            np.allclose(probe.g_opt, want[:, 1], rtol=0, atol=NOISE_TOLERANCE) and
            np.allclose(probe.rn, want[:, 2].real * n, rtol=0, atol=NOISE_TOLERANCE * n)):
        problems.append(f"scikit-rf reads Fmin {probe.nfmin_db}, Gopt {probe.g_opt}, "
                        f"Rn {probe.rn} ohms")
    return problems


def main():
    tool = os.path.abspath(sys.argv[1])
    cases = int(sys.argv[2]) if len(sys.argv) > 2 else 3 * len(TABLE)
    rng = random.Random(int(sys.argv[3]) if len(sys.argv) > 3 else 1)
    self_test(rng)
    jobs = ((f"case {case} ({TABLE[case % len(TABLE)]['name']})",
             lambda folder, row=TABLE[case % len(TABLE)]: one_case(rng, row, tool, folder))
            for case in range(cases))
    return run_cases("tavrin-noise-", jobs)


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/python3
"""Checks what tavrin writes against things that share none of its rules: the textbook
renormalisation S' = (S - G I)(I - G S)^-1, G = (z_new - z_old)/(z_new + z_old), computed here
with numpy complex matrices; scikit-rf reading every output file; and the round trip
z_old -> z_new -> z_old, which must give back the input's S-matrix.

The networks are the ones real files hold: passive parts, amplifiers with 20 to 40 dB of gain,
unilateral devices and isolators (S12 exactly 0), real-valued networks such as an impedance
step, deep return losses far below -10 dB, a DC point at 0 Hz; in RI, MA and DB, single-file
and forward/reverse, version 1 files and Touchstone 2.0 files in 12_21 order.

Usage: check_against_textbook.py TOOL [CASES] [SEED]
"""
import math
import os
import random
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from reference_support import np, pair_text, pair_value, run_cases, skrf  # noqa: E402

TOLERANCE = 5e-8  # on each complex S-parameter, relative to max(1, |S|)
FORMATS = ["RI", "MA", "DB"]


def network(rng, kind):
    """A 2x2 complex S-matrix of the given kind."""
    def c(radius):
        return radius * complex(rng.uniform(-1, 1), rng.uniform(-1, 1)) / math.sqrt(2)
    if kind == "passive":
        return np.array([[c(0.9), c(0.9)], [c(0.9), c(0.9)]])
    if kind == "amplifier":
        gain = 10 ** (rng.uniform(20, 40) / 20)
        return np.array([[c(0.6), c(0.05)], [gain * np.exp(1j * rng.uniform(-3, 3)), c(0.6)]])
    if kind == "unilateral":
        s21 = 10 ** (rng.uniform(0, 30) / 20) * np.exp(1j * rng.uniform(-3, 3))
        return np.array([[c(0.5), 0], [s21, rng.choice([0, c(0.5)])]])
    if kind == "isolator":
        return np.array([[0, 0], [np.exp(1j * rng.uniform(-3, 3)) * 0.95, 0]])
    if kind == "step":  # an impedance step z1 -> z2, real-valued
        z1, z2 = rng.choice([(50, 25), (50, 100), (75, 50)])
        r = (z2 - z1) / (z2 + z1)
        t = math.sqrt(1 - r * r)
        return np.array([[r, t], [t, -r]], dtype=complex)
    if kind == "deep":  # return losses of 40 to 100 dB
        return np.array([[10 ** (-rng.uniform(40, 100) / 20) * np.exp(1j * rng.uniform(-3, 3)),
                          c(1.0)], [c(1.0),
                                    10 ** (-rng.uniform(40, 100) / 20) * np.exp(1j * rng.uniform(-3, 3))]])
    raise ValueError(kind)


def line_of(frequency, pairs, fmt, split=None):
    """A record on one line, or as some exporters write it: S12 and S22 on a line of their own,
    after split (what stands before them on that line)."""
    tokens = [t for p in pairs for t in pair_text(p, fmt)]
    if split is None:
        return " ".join([frequency] + tokens)
    return " ".join([frequency] + tokens[:4]) + "\n" + split + " ".join(tokens[4:])


def renormalised(s, z_old, z_new):
    g = (z_new - z_old) / (z_new + z_old)
    identity = np.eye(2)
    return (s - g * identity) @ np.linalg.inv(identity - g * s)


def one_case(rng, tool, folder):
    fmt = rng.choice(FORMATS)
    single = rng.random() < 0.6
    version_2 = rng.random() < 0.3
    z_old = rng.choice([50.0, 75.0, 25.0])
    z_new = rng.choice([75.0, 25.0, 50.0, 100.0, 12.5, 1000.0])
    kind = rng.choice(["passive", "amplifier", "unilateral", "isolator", "step", "deep"])
    frequencies = ["0"] if rng.random() < 0.3 else []
    frequencies += [f"{g:.6g}" for g in sorted(rng.sample(range(1, 400), rng.randint(1, 6)))]
    truth = []
    forward, reverse = [], []
    order_12_21 = version_2 and rng.random() < 0.7
    split = rng.choice([None, None, None, "", "   ", "\t", "\n  "])
    for frequency in frequencies:
        s = network(rng, kind)
        pairs = [s[0, 0], s[0, 1], s[1, 0], s[1, 1]] if order_12_21 else \
                [s[0, 0], s[1, 0], s[0, 1], s[1, 1]]
        forward.append(line_of(frequency, pairs, fmt, split))
        # The reverse measurement sees the device turned round.
        turned = np.array([[s[1, 1], s[1, 0]], [s[0, 1], s[0, 0]]])
        turned_pairs = [turned[0, 0], turned[0, 1], turned[1, 0], turned[1, 1]] if order_12_21 \
            else [turned[0, 0], turned[1, 0], turned[0, 1], turned[1, 1]]
        reverse.append(line_of(frequency, turned_pairs, fmt, split))
        # The matrix the files really say, read back from the written tokens.
        tokens = forward[-1].split()[1:]
        said = [pair_value(tokens[k:k + 2], fmt) for k in range(0, 8, 2)]
        if order_12_21:
            truth.append(np.array([[said[0], said[1]], [said[2], said[3]]]))
        else:
            truth.append(np.array([[said[0], said[2]], [said[1], said[3]]]))
        if not single:
            back = reverse[-1].split()[1:]
            r = [pair_value(back[k:k + 2], fmt) for k in range(0, 8, 2)]
            s22, s12 = r[0], (r[1] if not order_12_21 else r[2])
            truth[-1][1, 1], truth[-1][0, 1] = s22, s12

    def header():
        if not version_2:
            # Option lines as exporters write them: scikit-rf reads the rewritten impedance.
            return ["! generated", rng.choice([
                f"# GHz S {fmt} R {z_old:g}", f"# GHz S {fmt} R     {z_old:g}",
                f"#\tGHz\tS\t{fmt}\tR\t{z_old:.1f}", f"# ghz s {fmt.lower()} r {z_old:g} ! exported",
                f"# GHz S {fmt} R {z_old:.3e}"])]
        keywords = ["[Version] 2.0", f"# GHz S {fmt} R 50", "[Number of Ports] 2"]
        if order_12_21:
            keywords.append("[Two-Port Data Order] 12_21")
        keywords += [f"[Number of Frequencies] {len(frequencies)}",
                     rng.choice([f"[Reference] {z_old:g} {z_old:g}", f"[Reference] {z_old:g}",
                                 f"[Reference]\n{z_old:g}\n{z_old:g}"]),
                     "[Network Data]"]
        return keywords

    def write(name, lines):
        ending = ["[End]"] if version_2 else []
        with open(os.path.join(folder, name + ".s2p"), "w") as out:
            out.write("\n".join(header() + lines + ending) + "\n")

    write("f", forward)
    if not single:
        write("r", reverse)
    arguments = ["f", "f" if single else "r", "out", f"{z_new:g}"]
    status = subprocess.run([tool] + arguments, cwd=folder, stdin=subprocess.DEVNULL).returncode
    problems = []
    if status != 0:
        return [f"status {status}"], arguments
    try:
        written = skrf.Network(os.path.join(folder, "out.s2p"))
    except ValueError as error:
        return [f"scikit-rf cannot read the output: {error}"], arguments
    expected = np.array([renormalised(s, z_old, z_new) for s in truth])
    if split is not None and single and not version_2:
        # Another reader takes records over two lines to the same matrices.
        said = skrf.Network(os.path.join(folder, "f.s2p")).s
        if not np.allclose(said, np.array(truth), rtol=1e-12, atol=0):
            problems.append("scikit-rf reads the two-line records otherwise")
    if written.s.shape != expected.shape:
        return [f"{written.s.shape[0]} points read back, {len(truth)} expected"], arguments
    if not np.allclose(written.f, [float(f) * 1e9 for f in frequencies], rtol=1e-12, atol=0):
        problems.append(f"frequencies {written.f} for {frequencies}")
    if not np.allclose(written.z0, z_new):
        problems.append(f"reference impedance read back as {written.z0[0]}")
    scale = np.maximum(1.0, np.abs(expected))
    worst = np.max(np.abs(written.s - expected) / scale)
    if not worst <= TOLERANCE:
        problems.append(f"S-matrix off the textbook form by {worst:.3g}")

    # Back to z_old: the input's own S-matrix, to the printed precision. Far from z_old the
    # way back amplifies the nine printed decimals themselves, so only moderate steps count.
    if max(z_new / z_old, z_old / z_new) > 4:
        return problems, arguments
    shutil.copy(os.path.join(folder, "out.s2p"), os.path.join(folder, "there.s2p"))
    status = subprocess.run([tool, "there", "there", "back", f"{z_old:g}"], cwd=folder,
                            stdin=subprocess.DEVNULL).returncode
    if status != 0:
        problems.append(f"round trip status {status}")
    else:
        try:
            back = skrf.Network(os.path.join(folder, "back.s2p")).s
        except ValueError as error:
            return problems + [f"scikit-rf cannot read the round trip: {error}"], arguments
        truth_array = np.array(truth)
        worst = np.max(np.abs(back - truth_array) / np.maximum(1.0, np.abs(truth_array)))
        if not worst <= TOLERANCE:
            problems.append(f"round trip off the input by {worst:.3g}")
    return problems, arguments


def main():
    tool = os.path.abspath(sys.argv[1])
    cases = int(sys.argv[2]) if len(sys.argv) > 2 else 200
    rng = random.Random(int(sys.argv[3]) if len(sys.argv) > 3 else 1)
    return run_cases("tavrin-textbook-", ((f"case {case}", lambda folder: one_case(rng, tool, folder))
                                          for case in range(cases)))


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/python3
"""Checks tavrin's mixed-mode data against numpy: S_mm = M S' M^T, S' the single-ended data
renormalised to the new references, M the change to a_d, a_c = (a_P -+ a_N)/sqrt 2; M itself, first,
against the mode voltages and currents through the impedance matrix, and scikit-rf's se2gmm against
--mixed-mode 1,2:3,4. Outputs are read by an own reader of [Mixed-Mode Order], to 5e-8 relative to
max(1, |S|), for 2 to 8 ports: single-ended files (version 1 or 2.0, Lower, --to per port) to modes
and back; mixed-mode files (the six-port D2,3 D6,5 C2,3 C6,5 S4 S1 at [Reference] 50 75 75 50 0.01
0.01 among them) in their own order, single-ended or paired anew; and every refusal.

Usage: check_mixed_mode.py TOOL [COUNT] [SEED]
"""
import math
import os
import random
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from check_nport import refused, run  # noqa: E402
from reference_support import (np, off_by, pair_text, pair_value, read_touchstone,  # noqa: E402
                               renormalised, run_cases, skrf)

if not hasattr(np, "bool"):  # scikit-rf 0.15's se2gmm still names numpy's removed alias
    np.bool = bool
TOLERANCE = 5e-8
SIX = ("D2,3 D6,5 C2,3 C6,5 S4 S1", [50.0, 75.0, 75.0, 50.0, 0.01, 0.01])


def read_order(tokens):  # [(kind, p, q)], ports from 0; q = p for "S"
    return [(t[0].upper(), int(t[1:].split(",")[0]) - 1, int(t[1:].split(",")[-1]) - 1)
            for t in tokens]


def text_of(order):
    return " ".join(k + (f"{p + 1}" if k == "S" else f"{p + 1},{q + 1}") for k, p, q in order)


def modes_matrix(order):
    m, r = np.zeros((len(order), len(order))), 1 / math.sqrt(2)
    for i, (kind, p, q) in enumerate(order):
        m[i, p] = 1 if kind == "S" else r
        if kind != "S":
            m[i, q] = -r if kind == "D" else r
    return m


def to_modes(s, z_old, z_new, order):
    return modes_matrix(order) @ renormalised(s, z_old, z_new, "traveling") @ modes_matrix(order).T


def from_modes(s, z_old, z_new, order):
    return renormalised(modes_matrix(order).T @ s @ modes_matrix(order), z_old, z_new, "traveling")


def by_mode_voltages(s, z_old, z_new, order):
    n, eye, root = len(s), np.eye(len(s)), np.diag(np.sqrt(z_old))
    tv, ti = np.zeros((n, n)), np.zeros((n, n))
    for i, (kind, p, q) in enumerate(order):
        tv[i, p], tv[i, q] = {"S": (1, 1), "D": (1, -1), "C": (0.5, 0.5)}[kind]
        ti[i, p], ti[i, q] = {"S": (1, 1), "D": (0.5, -0.5), "C": (1, 1)}[kind]
    z = tv @ root @ (eye + s) @ np.linalg.inv(eye - s) @ root @ np.linalg.inv(ti)
    r = np.array([{"D": 2, "C": 0.5, "S": 1}[k] * z_new[p] for k, p, _ in order])
    return np.diag(r ** -0.5) @ (z - np.diag(r)) @ np.linalg.inv(z + np.diag(r)) @ np.diag(r ** .5)


def passive(rng, n, symmetric):
    s = np.array([[complex(rng.gauss(0, 1), rng.gauss(0, 1)) for _ in range(n)] for _ in range(n)])
    s = s + s.T if symmetric else s
    return s * rng.uniform(0.3, 0.95) / np.linalg.norm(s, 2)


def pairs_order(pairs, n, shuffle=None):
    paired = {p for pair in pairs for p in pair}
    order = [("D", p, q) for p, q in pairs] + [("C", p, q) for p, q in pairs] + \
        [("S", k, k) for k in range(n) if k not in paired]
    if shuffle:  # any valid order: shuffled, a common mode named N, P now and then
        order = [(k, q, p) if k == "C" and shuffle.random() < 0.3 else (k, p, q)
                 for k, p, q in order]
        shuffle.shuffle(order)
    return order


def random_pairs(rng, n):
    ports = rng.sample(range(n), n)
    return [(ports[2 * k], ports[2 * k + 1]) for k in range(rng.randint(1, n // 2))]


def on_pairs(rng, order, choices):
    refs = [float(rng.choice(choices)) for _ in order]
    for kind, p, q in order:
        refs[q] = refs[p]
    return refs


def self_test(rng):
    problems = []
    for n in [2, 3, 4, 6, 8] * 4:
        order = pairs_order(random_pairs(rng, n), n, rng)
        s, z_old = passive(rng, n, False), [float(rng.choice([25, 50, 75, 35.5])) for _ in order]
        z_new = on_pairs(rng, order, [42.5, 50, 45, 0.01, 100])
        if not off_by(to_modes(s, z_old, z_new, order),
                      by_mode_voltages(s, z_old, z_new, order)) <= 1e-9:
            problems.append(f"self-test: {text_of(order)} is not the route of the mode voltages")
    return problems


def file_text(rng, n, fmt, version, refs, matrix, order, count):
    """A file of `count` records, and the matrices its numbers say."""
    stated = " ".join(f"{x:g}" for x in refs)
    head = [f"# GHz S {fmt} R " + (stated if len(set(refs)) > 1 else f"{refs[0]:g}")]
    if version == 2:
        head = ["[Version] 2.0", f"# GHz S {fmt} R 50", f"[Number of Ports] {n}"] + \
            (["[Two-Port Data Order] 12_21"] if n == 2 else []) + \
            [f"[Number of Frequencies] {count}", f"[Reference] {stated}"] + \
            ([f"[Matrix Format] {matrix}"] if matrix != "Full" else []) + \
            ([f"[Mixed-Mode Order] {text_of(order)}"] if order else []) + ["[Network Data]"]
    cells = [(0, 0), (1, 0), (0, 1), (1, 1)] if n == 2 and version == 1 else \
        [(i, j) for i in range(n) for j in range(n) if matrix == "Full" or j <= i]
    lines, said = head, []
    for k in range(count):
        s, got = passive(rng, n, matrix == "Lower"), np.zeros((n, n), complex)
        tokens = [f"{k + 1}"]
        for i, j in cells:
            tokens += pair_text(s[i, j], fmt)
            got[i, j] = pair_value(tokens[-2:], fmt)
            if matrix == "Lower":  # the half written, and its mirror image
                got[j, i] = got[i, j]
        lines += [" ".join(tokens[:9])] + ["  " + " ".join(tokens[a:a + 8])
                                            for a in range(9, len(tokens), 8)]
        said.append(got)
    return "\n".join(lines + (["[End]"] if version == 2 else [])) + "\n", said


def output_problems(raw, n, expected, refs, order):
    """What is wrong with an output that must hold `expected` at the single-ended references
    refs, as the modes of `order` (None: single-ended data)."""
    text = raw.decode("latin-1")
    problems = [] if raw.count(b"\n") == raw.count(b"\r\n") else ["lines not ended by CR LF"]
    if order is not None:
        lines = text.split("\r\n")
        want = ["[Version] 2.0", lines[1], f"[Number of Ports] {n}"] + \
            (["[Two-Port Data Order] 21_12"] if n == 2 else []) + \
            [f"[Number of Frequencies] {len(expected)}", "[Reference] " +
             " ".join(f"{x:g}" for x in refs), f"[Mixed-Mode Order] {text_of(order)}",
             "[Network Data]"]
        if lines[:len(want)] != want or lines[-2:] != ["[End]", ""]:
            problems.append(f"header {lines[:len(want)]}, {want} expected, or no [End]")
    got = read_touchstone(text, n)
    written = got["keywords"].get("mixed-mode order")
    if (written and read_order(written)) != (order or None):
        problems.append(f"[Mixed-Mode Order] {written}, {order and text_of(order)} expected")
    if not np.allclose(got["z0"], refs, rtol=1e-12) or got["s"].shape != np.shape(expected):
        return problems + [f"references {got['z0']} or shape {got['s'].shape} unexpected"]
    worst = off_by(got["s"], expected)
    return problems + ([] if worst <= TOLERANCE else [f"S off by {worst:.3g}"])


def converted(tool, folder, arguments, output, threads=1):
    status, _, stderr = run(tool, folder, arguments, threads=threads)
    if status != 0:
        return None, [f"status {status}: {stderr.decode('latin-1').strip()}"]
    return open(os.path.join(folder, output), "rb").read(), []


def listed(values):
    return ",".join(f"{x:g}" for x in (values[:1] if len(set(values)) == 1 else values))


def single_ended_case(rng, tool, folder, n):
    version = rng.choice([1, 1, 2])
    matrix = rng.choice(["Full", "Lower"]) if version == 2 and n > 2 else "Full"
    pairs = [(0, 2), (1, 3)] if n == 4 and rng.random() < 0.5 else random_pairs(rng, n)
    order, count = pairs_order(pairs, n), rng.randint(1, 4)
    z_old = [float(rng.choice([50, 75, 35.5, 100]))] * n if rng.random() < 0.5 else \
        [float(rng.choice([50, 75, 35.5, 100])) for _ in range(n)]
    z_new = on_pairs(rng, order, [42.5, 50, 25, 60]) if rng.random() < 0.4 else \
        [float(rng.choice([42.5, 50, 45, 37.5]))] * n
    text, said = file_text(rng, n, rng.choice(["RI", "MA", "DB"]), version, z_old, matrix, None,
                           count)
    name, output = f"in.s{n}p" if version == 1 else "in.ts", rng.choice(["out.ts", f"out.s{n}p"])
    open(os.path.join(folder, name), "w").write(text)
    mode = ":".join(f"{p + 1},{q + 1}" for p, q in pairs)
    mixed = rng.choice([["--mixed-mode", mode], [f"--mixed-mode={mode}"]])
    arguments = ["--to", listed(z_new)] + mixed + [name, output]
    raw, problems = converted(tool, folder, arguments, output)
    if problems:
        return problems, arguments
    problems = output_problems(raw, n, [to_modes(s, z_old, z_new, order) for s in said], z_new,
                               order)
    if rng.random() < 0.2 and converted(tool, folder, arguments, output, threads=2)[0] != raw:
        problems.append("other bytes on two threads")
    back = ["--to", listed(z_old), "--single-ended", output, f"back.s{n}p"]
    raw, failed = converted(tool, folder, back, f"back.s{n}p")
    problems += failed + (output_problems(raw, n, said, z_old, None) if raw else [])
    return problems, arguments


def mixed_mode_case(rng, tool, folder, n):
    six = n == 6 and rng.random() < 0.5
    order = read_order(SIX[0].split()) if six else pairs_order(random_pairs(rng, n), n, rng)
    z_old = SIX[1] if six else on_pairs(rng, order, [50, 25, 60, 0.5])
    matrix = rng.choice(["Full", "Lower"]) if n > 2 else "Full"
    text, said = file_text(rng, n, rng.choice(["RI", "MA", "DB"]), 2, z_old, matrix, order, 3)
    name, output = rng.choice(["in.ts", f"in.s{n}p"]), rng.choice(["out.ts", f"out.s{n}p"])
    open(os.path.join(folder, name), "w").write(text)
    how = rng.choice(["own order", "single-ended", "single-ended as it is", "paired anew"])
    z_new = list(z_old) if how == "single-ended as it is" else [float(rng.choice([50, 42.5]))] * n
    out_order, options = (order, []) if how == "own order" else (None, ["--single-ended"])
    if how == "paired anew":
        pairs = random_pairs(rng, n)
        out_order = pairs_order(pairs, n)
        options = ["--mixed-mode", ":".join(f"{p + 1},{q + 1}" for p, q in pairs)]
    arguments = ["--to", listed(z_new)] + options + [name, output]
    raw, problems = converted(tool, folder, arguments, output)
    if problems:
        return problems, arguments, how
    m = modes_matrix(out_order) if out_order else np.eye(n)
    expected = [m @ from_modes(s, z_old, z_new, order) @ m.T for s in said]
    return output_problems(raw, n, expected, z_new, out_order), arguments, how


def skrf_case(rng, tool, folder):
    z = rng.choice([50.0, 42.5])
    text, _ = file_text(rng, 4, rng.choice(["RI", "MA", "DB"]), 1, [50.0] * 4, "Full", None, 3)
    open(os.path.join(folder, "in.s4p"), "w").write(text)
    net = skrf.Network(os.path.join(folder, "in.s4p"))
    net.se2gmm(p=2, z0_mm=np.array([[2 * z, 2 * z, z / 2, z / 2]] * 3, complex))
    arguments = ["--to", f"{z:g}", "--mixed-mode", "1,2:3,4", "in.s4p", "out.ts"]
    raw, problems = converted(tool, folder, arguments, "out.ts")
    return problems or output_problems(raw, 4, net.s, [z] * 4, read_order(
        "D1,2 D3,4 C1,2 C3,4".split())), arguments


def refusals(rng):
    """(what, input name or - for standard input, its text, options, a part of what -v says)."""
    def mixed(words, refs=(50.0,) * 4, extra=""):
        lines = file_text(rng, 4, "RI", 2, list(refs), "Full", [("S", 0, 0)], 2)[0].split("\n")
        at = lines.index("[Mixed-Mode Order] S1")
        lines[at] = f"[Mixed-Mode Order] {words}"
        return "\n".join(lines[:at + 6] + [extra] * bool(extra) + lines[at + 6:])  # after record 1

    four = file_text(rng, 4, "RI", 1, [50.0] * 4, "Full", None, 2)[0]
    noisy = file_text(rng, 2, "RI", 1, [50.0] * 2, "Full", None, 2)[0] + "0 1.2 0.4 30 0.2\n"
    good, to = mixed("D1,3 D2,4 C1,3 C2,4"), ["--to", "50"]
    return [
        ("new references that differ on a pair", "in.s4p", four,
         ["--to", "50,50,60,50", "--mixed-mode", "1,3:2,4"], "1,3 at 50 and 60"),
        ("references of the file that differ on a pair", "in.ts",
         mixed("D1,3 D2,4 C1,3 C2,4", (50, 50, 60, 50)), to, "1,3 at 50 and 60"),
        ("a port in two pairs", "in.s4p", four, to + ["--mixed-mode", "1,3:3,4"], "two pairs"),
        ("a port the file lacks", "in.s4p", four, to + ["--mixed-mode", "1,3:2,5"], "port 5"),
        ("a pair of one port", "in.s4p", four, to + ["--mixed-mode", "1,1"], "one port"),
        ("a list that is not pairs", "in.s4p", four, to + ["--mixed-mode", "1,3:2"], "P,N"),
        ("--single-ended on single-ended data", "in.s4p", four, to + ["--single-ended"],
         "single-ended data"),
        ("--single-ended with --mixed-mode", "in.ts", good,
         to + ["--single-ended", "--mixed-mode", "1,3:2,4"], "give one"),
        ("a two-port with noise data", "in.s2p", noisy, to + ["--mixed-mode", "1,2"], "noise"),
        ("an order that leaves a port out", "in.ts", mixed("D1,3 C1,3 S2"), to, "port 4 out"),
        ("an order naming a port twice", "in.ts", mixed("D1,3 C1,3 S2 S2"), to, "port 2 twice"),
        ("a differential mode alone", "in.ts", mixed("D1,3 D2,4 C1,3"), to, "no C2,4"),
        ("a token that is no mode", "in.ts", mixed("D1,3 D2,4 C1,3 E2,4"), to, "'E2,4'"),
        ("port impedances in mixed-mode data", "in.ts",
         mixed("D1,3 D2,4 C1,3 C2,4", extra="! Port Impedance 50 0 50 0 50 0 50 0"), to,
         "Port Impedance"),
        ("mixed-mode data from a stream to a version 1 name", "-", good, ["--ports", "4"] + to,
         "standard input"),
    ]


def refusal_case(tool, folder, entry):
    what, name, text, options, said = entry
    stdin = text.encode() if name == "-" else None
    if stdin is None:
        open(os.path.join(folder, name), "w").write(text)
    output = "out.s4p" if name == "-" else "out" + os.path.splitext(name)[1]
    arguments = options + [name, output]
    problems = refused(tool, folder, arguments, output, stdin)
    status, _, told = run(tool, folder, ["-v"] + arguments, stdin)
    if status != 1 or told.count(b"\n") != 1 or said.encode() not in told:
        problems.append(f"-v said {told!r}, '{said}' expected")
    if sorted(os.listdir(folder)) != sorted({name, output} - {"-"}):
        problems.append(f"files {os.listdir(folder)} there afterwards")
    return problems, arguments, what


def main():
    tool = os.path.abspath(sys.argv[1])
    rng = random.Random(int(sys.argv[3]) if len(sys.argv) > 3 else 1)
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 200
    problems = self_test(rng)
    for problem in problems:
        print(problem)
    jobs = [(f"case {k}, {n} ports", lambda f, k=k, n=n: (single_ended_case if k % 2 else
                                                           mixed_mode_case)(rng, tool, f, n))
            for k, n in ((k, [4, 6, 8, 2][(k // 2) % 4]) for k in range(count))]
    jobs += [(f"scikit-rf case {k}", lambda f: skrf_case(rng, tool, f)) for k in range(10)]
    jobs += [(f"refusal '{e[0]}'", lambda f, e=e: refusal_case(tool, f, e)) for e in refusals(rng)]
    return max(run_cases("tavrin-mixed-", jobs), 1 if problems else 0)


if __name__ == "__main__":
    sys.exit(main())

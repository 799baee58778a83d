#!/usr/bin/python3
"""Checks tavrin's mixed-mode data (--mixed-mode P,N..., files with [Mixed-Mode Order],
--single-ended) against numpy: S_mm = M S' M^T, where S' is the single-ended data renormalised
to the new references (reference_support.renormalised, from the waves' V and I) and M the
orthogonal change to the modes a_d = (a_P - a_N)/sqrt 2, a_c = (a_P + a_N)/sqrt 2. A self-test
runs first, every time: M against the route of the mode voltages and currents (V_d = V_P - V_N,
I_d = (I_P - I_N)/2, V_c = (V_P + V_N)/2, I_c = I_P + I_N) through the impedance matrix, and
against scikit-rf's se2gmm (pairs 1,2 and 3,4).

Outputs are read back by an own reader: [Mixed-Mode Order] parsed here, the numbers by
reference_support.read_touchstone; each S-parameter must be within 5e-8 of numpy's, relative to
max(1, |S|). Cases: single-ended files of 2, 4, 6 and 8 ports (version 1 in RI, MA and DB with
R per port, or 2.0 with [Reference], Full or Lower) to mixed-mode data at one new reference or
one per port, then back with --single-ended; mixed-mode files in any order of modes (the six-port
D2,3 D6,5 C2,3 C6,5 S4 S1 at [Reference] 50 75 75 50 0.01 0.01 among them), Full or Lower,
renormalised in their own order, written single-ended, and paired anew; the same bytes on two
threads; scikit-rf's se2gmm against --mixed-mode 1,2:3,4; and the refusals (status 1, nothing
written, an existing output untouched, the cause said by -v).

Usage: check_mixed_mode.py TOOL [COUNT] [SEED]
"""
import math
import os
import random
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from check_nport import refused, run  # noqa: E402
from reference_support import (np, off_by, pair_text, pair_value, read_touchstone,  # noqa: E402
                               renormalised, run_cases, skrf)

# scikit-rf 0.15's se2gmm still names numpy's removed bool alias.
if not hasattr(np, "bool"):
    np.bool = bool

TOLERANCE = 5e-8  # on each complex S-parameter, relative to max(1, |S|)
FORMATS = ["RI", "MA", "DB"]
SIX_PORT_ORDER = "D2,3 D6,5 C2,3 C6,5 S4 S1"
SIX_PORT_REFERENCES = [50.0, 75.0, 75.0, 50.0, 0.01, 0.01]

# ------------------------------------------------------------------ the mathematics
# An order is a list of (kind, p, q): kind "D", "C" or "S", ports from 0 (q is p for "S").


def order_text(order):
    return " ".join(k + (f"{p + 1}" if k == "S" else f"{p + 1},{q + 1}") for k, p, q in order)


def read_order(tokens):
    """Our own reading of [Mixed-Mode Order]'s entries."""
    order = []
    for token in tokens:
        kind, ports = token[0].upper(), [int(x) - 1 for x in token[1:].split(",")]
        order.append((kind, ports[0], ports[-1]))
    return order


def modes_matrix(order):
    r = 1 / math.sqrt(2)
    m = np.zeros((len(order), len(order)))
    for i, (kind, p, q) in enumerate(order):
        if kind == "S":
            m[i, p] = 1
        else:
            m[i, p], m[i, q] = r, (-r if kind == "D" else r)
    return m


def mode_references(order, ports):
    return [2 * ports[p] if k == "D" else ports[p] / 2 if k == "C" else ports[p]
            for k, p, _ in order]


def to_modes(s, z_old, z_new, order):
    m = modes_matrix(order)
    return m @ renormalised(s, z_old, z_new, "traveling") @ m.T


def from_modes(s_mm, z_old, z_new, order):
    """The single-ended S at z_new of mixed-mode data whose ports' references are z_old."""
    m = modes_matrix(order)
    return renormalised(m.T @ s_mm @ m, z_old, z_new, "traveling")


def by_mode_voltages(s, z_old, z_new, order):
    """The modes through the impedance matrix, from the mode voltages and currents."""
    n, eye = len(s), np.eye(len(s))
    root = np.diag(np.sqrt(z_old))
    z = root @ (eye + s) @ np.linalg.inv(eye - s) @ root
    tv, ti = np.zeros((n, n)), np.zeros((n, n))
    for i, (kind, p, q) in enumerate(order):
        if kind == "S":
            tv[i, p] = ti[i, p] = 1
        elif kind == "D":
            tv[i, p], tv[i, q], ti[i, p], ti[i, q] = 1, -1, 0.5, -0.5
        else:
            tv[i, p], tv[i, q], ti[i, p], ti[i, q] = 0.5, 0.5, 1, 1
    z_modes = tv @ z @ np.linalg.inv(ti)
    r = np.array(mode_references(order, z_new))
    return (np.diag(r ** -0.5) @ (z_modes - np.diag(r)) @ np.linalg.inv(z_modes + np.diag(r))
            @ np.diag(r ** 0.5))


def passive(rng, n, symmetric=False):
    s = np.array([[complex(rng.gauss(0, 1), rng.gauss(0, 1)) for _ in range(n)]
                  for _ in range(n)])
    if symmetric:
        s = s + s.T
    return s * rng.uniform(0.3, 0.95) / np.linalg.norm(s, 2)


def random_pairs(rng, n):
    ports = list(range(n))
    rng.shuffle(ports)
    count = rng.randint(1, n // 2)
    return [(ports[2 * k], ports[2 * k + 1]) for k in range(count)]


def order_of_pairs(pairs, n):
    paired = {p for pair in pairs for p in pair}
    return ([("D", p, q) for p, q in pairs] + [("C", p, q) for p, q in pairs] +
            [("S", k, k) for k in range(n) if k not in paired])


def shuffled_order(rng, n):
    """Any valid order: the modes shuffled, a common mode sometimes named N, P."""
    order = order_of_pairs(random_pairs(rng, n), n)
    order = [(k, q, p) if k == "C" and rng.random() < 0.3 else (k, p, q) for k, p, q in order]
    rng.shuffle(order)
    return order


def references_on_pairs(rng, order, n, choices):
    """A reference per port, the same on both lines of each pair."""
    refs = [float(rng.choice(choices)) for _ in range(n)]
    for kind, p, q in order:
        if kind != "S":
            refs[q] = refs[p]
    return refs


def self_test(rng):
    problems = []
    for n in [2, 3, 4, 6, 8]:
        for _ in range(4):
            order = shuffled_order(rng, n)
            s = passive(rng, n)
            z_old = [float(rng.choice([25, 50, 75, 35.5])) for _ in range(n)]
            z_new = references_on_pairs(rng, order, n, [42.5, 50, 45, 0.01, 100])
            what = f"self-test: {n} ports, {order_text(order)}"
            if not off_by(to_modes(s, z_old, z_new, order),
                          by_mode_voltages(s, z_old, z_new, order)) <= 1e-9:
                problems.append(f"{what}: M S M^T is not the route of the mode voltages")
            back = from_modes(to_modes(s, z_old, z_new, order), z_new, z_old, order)
            if not off_by(back, s) <= 1e-9:
                problems.append(f"{what}: to the modes and back does not give S again")
    for z in [50.0, 42.5]:
        s = passive(rng, 4)
        net = skrf.Network(frequency=skrf.Frequency.from_f([1e9], unit="hz"), s=s[None], z0=50)
        net.se2gmm(p=2, z0_mm=np.array([[2 * z, 2 * z, z / 2, z / 2]], complex))
        order = order_of_pairs([(0, 1), (2, 3)], 4)
        if not off_by(net.s[0], to_modes(s, [50.0] * 4, [z] * 4, order)) <= 1e-9:
            problems.append(f"self-test: scikit-rf's se2gmm at {z:g} ohms per line disagrees")
    return problems


# ------------------------------------------------------------------ the files


def file_text(rng, s_list, freqs, n, fmt, version, refs, matrix="Full", order=None):
    """A Touchstone file of these records, and the matrices its numbers really say."""
    lines = []
    if version == 2:
        lines += ["[Version] 2.0", f"# GHz S {fmt} R 50", f"[Number of Ports] {n}"]
        if n == 2:
            lines.append("[Two-Port Data Order] 12_21")
        lines += [f"[Number of Frequencies] {len(freqs)}",
                  "[Reference] " + " ".join(f"{x:g}" for x in refs)]
        if matrix != "Full":
            lines.append(f"[Matrix Format] {matrix}")
        if order is not None:
            lines.append(f"[Mixed-Mode Order] {order_text(order)}")
        lines.append("[Network Data]")
    else:
        r = f"{refs[0]:g}" if len(set(refs)) == 1 else " ".join(f"{x:g}" for x in refs)
        lines.append(f"# GHz S {fmt} R {r}")
    said = []
    for f, s in zip(freqs, s_list):
        if n == 2 and version == 1:
            cells = [[(0, 0), (1, 0), (0, 1), (1, 1)]]
        elif n == 2:
            cells = [[(0, 0), (0, 1), (1, 0), (1, 1)]]
        else:
            cells = [[(i, j) for j in range(n) if matrix == "Full" or j <= i] for i in range(n)]
        got = np.zeros((n, n), complex)
        text = [f]
        for row in cells:
            tokens = []
            for i, j in row:
                pair = pair_text(s[i, j], fmt)
                got[i, j] = pair_value(pair, fmt)
                if matrix == "Lower":  # the half written, and its mirror image
                    got[j, i] = got[i, j]
                tokens += pair
            for k in range(0, len(tokens), 8):
                text.append(" ".join(tokens[k:k + 8]))
        lines.append(" ".join(text[:2]))
        lines += ["  " + t for t in text[2:]]
        said.append(got)
    if version == 2:
        lines.append("[End]")
    return "\n".join(lines) + "\n", said


def header_problems(text, n, freqs, refs, order):
    """The keyword lines of a mixed-mode output, in the order they must come."""
    lines = text.split("\r\n")
    at = lines.index("[Network Data]") if "[Network Data]" in lines else -1
    want = ["[Version] 2.0", None, f"[Number of Ports] {n}"]
    want += ["[Two-Port Data Order] 21_12"] if n == 2 else []
    want += [f"[Number of Frequencies] {len(freqs)}",
             "[Reference] " + " ".join(f"{x:g}" for x in refs),
             f"[Mixed-Mode Order] {order_text(order)}", "[Network Data]"]
    got = lines[:at + 1]
    if len(got) != len(want) or any(w is not None and g != w for g, w in zip(got, want)):
        return [f"header {got}, {want} expected"]
    if not got[1].startswith("# ") or lines[-2:] != ["[End]", ""]:
        return [f"option line {got[1]!r}, or no [End] at the end"]
    return []


def output_problems(raw, n, freqs, expected, refs, order):
    """What is wrong with an output that must hold `expected` (records x N x N) at the single-
    ended references refs, as mixed-mode data of `order` (None: single-ended data)."""
    text = raw.decode("latin-1")
    problems = [] if raw.count(b"\n") == raw.count(b"\r\n") else ["lines not ended by CR LF"]
    if order is not None:
        problems += header_problems(text, n, freqs, refs, order)
    try:
        got = read_touchstone(text, n)
    except (ValueError, KeyError) as error:
        return problems + [f"cannot read the output: {error}"]
    written = got["keywords"].get("mixed-mode order")
    if (written is None) != (order is None) or (
            written is not None and read_order(written) != order):
        problems.append(f"[Mixed-Mode Order] {written}, {order and order_text(order)} expected")
    if not np.allclose(got["z0"], refs, rtol=1e-12):
        problems.append(f"references {got['z0']}, {refs} expected")
    if got["s"].shape != np.shape(expected):
        return problems + [f"S of shape {got['s'].shape}, {np.shape(expected)} expected"]
    worst = off_by(got["s"], expected)
    if not worst <= TOLERANCE:
        problems.append(f"S off by {worst:.3g}")
    return problems


def frequencies(rng, count):
    return [f"{g / 10:g}" for g in sorted(rng.sample(range(1, 400), count))]


def list_text(values):
    return ",".join(f"{x:g}" for x in values)


def pairs_text(order):
    return ":".join(f"{p + 1},{q + 1}" for k, p, q in order if k == "D")


def tool_output(tool, folder, arguments, output, threads=1):
    """The output's bytes after a run that must succeed, or the problem."""
    done = subprocess.run([tool] + arguments, cwd=folder, capture_output=True, timeout=60,
                          env=dict(os.environ, TAVRIN_THREADS=str(threads)))
    if done.returncode != 0:
        return None, f"status {done.returncode}: {done.stderr.decode('latin-1').strip()}"
    return open(os.path.join(folder, output), "rb").read(), None


def single_ended_case(rng, tool, folder, n):
    """A single-ended file to mixed-mode data, then back."""
    version = rng.choice([1, 1, 2])
    matrix = rng.choice(["Full", "Lower"]) if version == 2 and n > 2 else "Full"
    fmt, freqs = rng.choice(FORMATS), frequencies(rng, rng.randint(1, 4))
    pairs = [(0, 2), (1, 3)] if n == 4 and rng.random() < 0.5 else random_pairs(rng, n)
    order = order_of_pairs(pairs, n)
    z_old = [float(rng.choice([50, 50, 75, 35.5, 100])) for _ in range(n)]
    if rng.random() < 0.5:
        z_old = [z_old[0]] * n
    z_new = [float(rng.choice([42.5, 50, 45, 37.5]))] * n
    if rng.random() < 0.4:
        z_new = references_on_pairs(rng, order, n, [42.5, 50, 25, 60])
    text, said = file_text(rng, [passive(rng, n, matrix == "Lower") for _ in freqs], freqs, n,
                           fmt, version, z_old, matrix)
    name = f"in.s{n}p" if version == 1 or rng.random() < 0.5 else "in.ts"
    output = rng.choice(["out.ts", f"out.s{n}p"])
    open(os.path.join(folder, name), "w").write(text)
    mixed = rng.choice([["--mixed-mode", pairs_text(order)], [f"--mixed-mode={pairs_text(order)}"]])
    to = list_text(z_new[:1] if len(set(z_new)) == 1 and rng.random() < 0.7 else z_new)
    arguments = ["--to", to] + mixed + [name, output]
    raw, problem = tool_output(tool, folder, arguments, output)
    if problem:
        return [problem], arguments
    expected = [to_modes(s, z_old, z_new, order) for s in said]
    problems = output_problems(raw, n, freqs, expected, z_new, order)
    if rng.random() < 0.2:  # the same bytes when the records are spread over threads
        again, problem = tool_output(tool, folder, arguments[:-1] + ["threads.ts"], "threads.ts",
                                     threads=2)
        if again != raw:
            problems.append(f"on two threads: {problem or 'other bytes'}")
    back = ["--to", list_text(z_old), "--single-ended", output, f"back.s{n}p"]
    raw, problem = tool_output(tool, folder, back, f"back.s{n}p")
    if problem:
        return problems + [f"back: {problem}"], arguments
    problems += [f"back: {p}" for p in output_problems(raw, n, freqs, said, z_old, None)]
    return problems, arguments


def mixed_mode_case(rng, tool, folder, n):
    """A mixed-mode file renormalised in its own order, written single-ended, or re-paired."""
    six = n == 6 and rng.random() < 0.5
    order = read_order(SIX_PORT_ORDER.split()) if six else shuffled_order(rng, n)
    z_old = SIX_PORT_REFERENCES if six else references_on_pairs(rng, order, n, [50, 25, 60, 0.5])
    matrix = rng.choice(["Full", "Lower"]) if n > 2 else "Full"
    fmt, freqs = rng.choice(FORMATS), frequencies(rng, rng.randint(1, 3))
    text, said = file_text(rng, [passive(rng, n, matrix == "Lower") for _ in freqs], freqs, n,
                           fmt, 2, z_old, matrix, order)
    name = rng.choice(["in.ts", f"in.s{n}p"])
    open(os.path.join(folder, name), "w").write(text)
    how = rng.choice(["own order", "single-ended", "single-ended as it is", "paired anew"])
    if how == "single-ended as it is":
        z_new, out_order = list(z_old), None
    else:
        z_new = [float(rng.choice([50, 42.5, 45]))] * n
        out_order = None if how == "single-ended" else order
    options = ["--single-ended"] if out_order is None else []
    if how == "paired anew":
        out_order = order_of_pairs(random_pairs(rng, n), n)
        options = ["--mixed-mode", pairs_text(out_order)]
    output = rng.choice(["out.ts", f"out.s{n}p"])
    arguments = ["--to", list_text(z_new if len(set(z_new)) > 1 else z_new[:1])] + options + \
        [name, output]
    raw, problem = tool_output(tool, folder, arguments, output)
    if problem:
        return [problem], arguments, how
    se = [from_modes(s, z_old, z_new, order) for s in said]
    expected = se if out_order is None else [modes_matrix(out_order) @ s @ modes_matrix(out_order).T
                                            for s in se]
    return output_problems(raw, n, freqs, expected, z_new, out_order), arguments, how


def skrf_case(rng, tool, folder):
    """scikit-rf reads a four-port, converts it with se2gmm(p=2), and meets --mixed-mode 1,2:3,4."""
    z = rng.choice([50.0, 42.5])
    freqs = frequencies(rng, 3)
    text, _ = file_text(rng, [passive(rng, 4) for _ in freqs], freqs, 4, rng.choice(FORMATS), 1,
                        [50.0] * 4)
    open(os.path.join(folder, "in.s4p"), "w").write(text)
    net = skrf.Network(os.path.join(folder, "in.s4p"))
    net.se2gmm(p=2, z0_mm=np.array([[2 * z, 2 * z, z / 2, z / 2]] * len(freqs), complex))
    arguments = ["--to", f"{z:g}", "--mixed-mode", "1,2:3,4", "in.s4p", "out.ts"]
    raw, problem = tool_output(tool, folder, arguments, "out.ts")
    if problem:
        return [problem], arguments
    return output_problems(raw, 4, freqs, net.s, [z] * 4, order_of_pairs([(0, 1), (2, 3)], 4)), \
        arguments


# ------------------------------------------------------------------ refusals


def refusal_entries(rng):
    """(what, input name or - for standard input, its text, arguments, output, a word of -v)."""
    def single(n, refs=None):
        freqs = frequencies(rng, 2)
        return file_text(rng, [passive(rng, n) for _ in freqs], freqs, n, "RI", 1,
                         refs or [50.0] * n)[0]

    def mixed(n, order_words, refs=None, extra=""):
        freqs = frequencies(rng, 2)
        lines = file_text(rng, [passive(rng, n) for _ in freqs], freqs, n, "RI", 2,
                          refs or [50.0] * n, "Full", [])[0].split("\n")
        at = lines.index("[Network Data]")
        lines[at - 1] = f"[Mixed-Mode Order] {order_words}"  # in place of the empty one
        if extra:
            lines.insert(at + 2, extra)
        return "\n".join(lines)

    four, two = single(4), single(2)
    noisy = two + "0 1.2 0.4 30 0.2\n"  # below the last frequency: a noise block
    noise_v2 = file_text(rng, [passive(rng, 2)], ["1"], 2, "RI", 2, [50.0, 50.0])[0].replace(
        "[End]", "[Noise Data]\n1 1.2 0.4 30 10\n[End]")
    mm = mixed(4, "D1,3 D2,4 C1,3 C2,4")
    to = ["--to", "50"]
    return [
        ("new references that differ on a pair", "in.s4p", four,
         ["--to", "50,50,60,50", "--mixed-mode", "1,3:2,4"], "1,3 at 50 and 60"),
        ("references of a mixed-mode input that differ on a pair", "in.ts",
         mixed(4, "D1,3 D2,4 C1,3 C2,4", [50.0, 50.0, 60.0, 50.0]), to, "1,3 at 50 and 60"),
        ("a port in two pairs", "in.s4p", four, to + ["--mixed-mode", "1,3:3,4"], "two pairs"),
        ("a port the file lacks", "in.s4p", four, to + ["--mixed-mode", "1,3:2,5"], "port 5"),
        ("a pair of one port", "in.s4p", four, to + ["--mixed-mode", "1,1"], "one port"),
        ("a list that is not pairs", "in.s4p", four, to + ["--mixed-mode", "1,3:2"], "P,N"),
        ("--single-ended on single-ended data", "in.s4p", four, to + ["--single-ended"],
         "single-ended data"),
        ("--single-ended with --mixed-mode", "in.ts", mm,
         to + ["--single-ended", "--mixed-mode", "1,3:2,4"], "give one"),
        ("--mixed-mode on a two-port with a noise block", "in.s2p", noisy,
         to + ["--mixed-mode", "1,2"], "noise"),
        ("--mixed-mode on a two-port with [Noise Data]", "in.ts", noise_v2,
         to + ["--mixed-mode", "1,2"], "noise"),
        ("an order that leaves a port out", "in.ts", mixed(4, "D1,3 C1,3 S2"), to, "port 4 out"),
        ("an order that names a port twice", "in.ts", mixed(4, "D1,3 C1,3 S2 S2"), to,
         "port 2 twice"),
        ("a differential mode without its common mode", "in.ts", mixed(4, "D1,3 D2,4 C1,3"),
         to, "no C2,4"),
        ("an order with a token that is no mode", "in.ts", mixed(4, "D1,3 D2,4 C1,3 E2,4"), to,
         "'E2,4'"),
        ("port impedances in mixed-mode data", "in.ts",
         mixed(4, "D1,3 D2,4 C1,3 C2,4", extra="! Port Impedance 50 0 50 0 50 0 50 0"), to,
         "Port Impedance"),
        ("mixed-mode data from standard input, its form not known", "-", mm,
         ["--ports", "4"] + to, "standard input"),
    ]


def refusal_case(tool, folder, entry):
    what, name, text, options, said = entry
    stdin = text.encode() if name == "-" else None
    if name != "-":
        open(os.path.join(folder, name), "w").write(text)
    output = "out.s4p" if "in.s4p" == name or name == "-" else f"out{os.path.splitext(name)[1]}"
    arguments = options + [name, output]
    problems = refused(tool, folder, arguments, output, stdin)
    status, _, stderr = run(tool, folder, ["-v"] + arguments, stdin)
    told = stderr.decode("latin-1")
    if status != 1 or told.count("\n") != 1 or said not in told:
        problems.append(f"-v said {told!r} (status {status}), '{said}' expected")
    if name != "-" and open(os.path.join(folder, name)).read() != text:
        problems.append("the input changed")
    leftovers = [f for f in os.listdir(folder) if f not in (name, output)]
    if leftovers:
        problems.append(f"files left behind: {leftovers}")
    return problems, arguments, what


def main():
    tool = os.path.abspath(sys.argv[1])
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 200
    rng = random.Random(int(sys.argv[3]) if len(sys.argv) > 3 else 1)
    problems = self_test(rng)
    for problem in problems:
        print(problem)
    ports = [4, 6, 8, 2]
    jobs = []
    for k in range(count):
        n = ports[(k // 2) % len(ports)]
        if k % 2 == 0:
            jobs.append((f"single-ended case {k}, {n} ports",
                         lambda f, n=n: single_ended_case(rng, tool, f, n)))
        else:
            jobs.append((f"mixed-mode case {k}, {n} ports",
                         lambda f, n=n: mixed_mode_case(rng, tool, f, n)))
    jobs += [(f"scikit-rf case {k}", lambda f: skrf_case(rng, tool, f)) for k in range(10)]
    jobs += [(f"refusal '{e[0]}'", lambda f, e=e: refusal_case(tool, f, e))
             for e in refusal_entries(rng)]
    return max(run_cases("tavrin-mixed-", jobs), 1 if problems else 0)


if __name__ == "__main__":
    sys.exit(main())

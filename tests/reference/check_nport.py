#!/usr/bin/python3
"""Checks tavrin's file form (tavrin --to IMPEDANCE INPUT OUTPUT) on Touchstone files of 1 to 12
ports against a renormalisation worked out here with numpy from each wave definition: every
port's V and I from its old waves, then the new waves for the new real references. A self-test
runs first, every time: that route against the impedance-matrix route, the direct form
S' = L (S - G)(I - Gamma S)^-1 R^-1 and scikit-rf's renormalize_s, on passive networks,
amplifiers, a thru inside a multi-port and lossless couplers.

Inputs: version 1 in RI, MA and DB with the standard row layout and odd ones (a record on one
line, line breaks anywhere, comments and blank lines inside records); Touchstone 2.0 with
[Matrix Format] Full, Lower and Upper; references from R (one or one per port), [Reference],
and field-solver Port Impedance comments (vector or matrix, wrapped, glued) under each wave
definition. Version 1 outputs are read back with scikit-rf, version 2.0 ones with the reader
of reference_support.py; then a round trip to the input's references. Two-port outputs must be
byte for byte those of the four-argument form. Refusals: status 1 and no output written.

Usage: check_nport.py TOOL [COUNT] [SEED]
       check_nport.py --self-test [SEED]          the mathematics alone
       check_nport.py --four-arguments TOOL [COUNT] [SEED]
                      two-port cases only, through tavrin FORWARD REVERSE OUTPUT IMPEDANCE
"""
import math
import os
import random
import re
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from reference_support import (WAVES, by_impedance_matrix, np, off_by, pair_text,  # noqa: E402
                               pair_value, read_touchstone, renormalised, run_cases, skrf)

TOLERANCE = 5e-8  # on each complex S-parameter, relative to max(1, |S|)
FORMATS = ["RI", "MA", "DB"]
PORTS = [1, 3, 4, 5, 8, 12, 2]
SOURCES = ["R", "R per port", "Reference", "solver", "solver matrix"]
UNIT = {"GHz": 1e9, "MHz": 1e6, "kHz": 1e3, "Hz": 1.0}
NUMBER = re.compile(r"^-?\d+\.\d{9}$|^-inf$")  # nine decimals; -inf for a zero in dB

# ------------------------------------------------------------------ the mathematics


def network(rng, kind, n):
    """An n x n S-matrix of the given kind."""
    def c(size):
        return np.array([complex(rng.gauss(0, 1), rng.gauss(0, 1)) for _ in range(size)])
    if kind == "lossless":
        if n == 4:  # a quadrature coupler, through 1-2 and 3-4, coupled 1-3 and 2-4
            k = rng.uniform(0.1, 0.9)
            t, j = math.sqrt(1 - k * k), 1j * k
            s = np.array([[0, t, j, 0], [t, 0, 0, j], [j, 0, 0, t], [0, j, t, 0]])
            return s * np.exp(1j * rng.uniform(-3, 3))
        q, _ = np.linalg.qr(c(n * n).reshape(n, n))
        return q @ q.T  # unitary and reciprocal
    s = c(n * n).reshape(n, n)
    s *= rng.uniform(0.3, 0.95) / np.linalg.norm(s, 2)  # passive
    if kind == "amplifier" and n > 1:
        i, j = rng.sample(range(n), 2)
        s[i, j] = 10 ** (rng.uniform(10, 20) / 20) * np.exp(1j * rng.uniform(-3, 3))
        s[j, i] *= 0.01
    if kind == "thru" and n > 1:  # ports 1 and 2 joined, apart from the rest
        s[:2, :], s[:, :2] = 0, 0
        s[0, 1] = s[1, 0] = 1
    return s


def direct_form(s, z, n, waves):
    """S' = L (S - G)(I - Gamma S)^-1 R^-1 with diagonal L, G, Gamma, R per definition."""
    z, n, eye = np.asarray(z, complex), np.asarray(n, float), np.eye(len(s))
    if waves == "power":
        gamma = (n - z) / (n + z.conj())
        p = (n + z.conj()) / (2 * np.sqrt(z.real * n))
        left, g, right = p.conj(), gamma.conj(), p
    else:
        gamma = (n - z) / (n + z)
        d = (z + n) / (2 * np.sqrt(z) * np.sqrt(n))
        if waves == "pseudo":  # pseudo-waves are traveling ones times sqrt(Re z) sqrt(z) / |z|
            d = d * abs(z) / (np.sqrt(z.real) * np.sqrt(z))
        left, g, right = d, gamma, d
    middle = (s - np.diag(g)) @ np.linalg.inv(eye - np.diag(gamma) @ s)
    return np.diag(left) @ middle @ np.diag(1 / right)


def self_test(rng):
    """Problems found in the mathematics itself, without the tool."""
    problems = []
    for n in [1, 2, 3, 4, 5, 8, 12]:
        for kind in ["passive", "amplifier", "thru", "lossless"]:
            if n == 1 and kind in ("thru", "amplifier"):
                continue
            s = network(rng, kind, n)
            real = [rng.choice([25.0, 50.0, 75.0, 150.0]) for _ in range(n)]
            lossy = [complex(rng.uniform(20, 120), rng.uniform(-30, 30)) for _ in range(n)]
            new = [rng.choice([25.0, 50.0, 75.0, 100.0, 200.0]) for _ in range(n)]
            for ports_name, z in (("real", real), ("complex", lossy)):
                results = {}
                for waves in WAVES:
                    what = f"self-test: {n} ports, {kind}, {ports_name} references, {waves}"
                    results[waves] = route = renormalised(s, z, new, waves)
                    if not off_by(direct_form(s, z, new, waves), route) <= 1e-9:
                        problems.append(f"{what}: the direct form disagrees")
                    by_z = by_impedance_matrix(s, z, new, waves)
                    if (by_z is None) != (kind == "thru"):  # a thru has none at any reference
                        problems.append(f"{what}: impedance matrix "
                                        f"{'missing' if by_z is None else 'found'}")
                    if by_z is not None and not off_by(by_z, route) <= 1e-9:
                        problems.append(f"{what}: the impedance-matrix route disagrees")
                    if by_z is not None:
                        theirs = skrf.network.renormalize_s(s[None], np.array([z]),
                                                            np.array([new], complex), waves)[0]
                        if not off_by(theirs, route) <= 1e-9:
                            problems.append(f"{what}: scikit-rf's renormalize_s disagrees")
                    if not off_by(renormalised(route, new, z, waves), s) <= 1e-9:
                        problems.append(f"{what}: the way back does not give S again")
                    if not off_by(renormalised(s, z, z, waves), s) <= 1e-12:
                        problems.append(f"{what}: the same references change S")
                    if kind == "lossless" and ports_name == "real":
                        if not off_by(route.conj().T @ route, np.eye(n)) <= 1e-9:
                            problems.append(f"{what}: no longer unitary")
                apart = max(off_by(results[w], results["traveling"]) for w in WAVES)
                if (ports_name == "real") != (apart <= 1e-12):
                    problems.append(f"self-test: {n} ports, {kind}, {ports_name} references: "
                                    f"the definitions differ by {apart:.3g}")
    return problems


# ------------------------------------------------------------------ the files


def number(x):
    return f"{x:.6g}"


def wrapped(tokens, rng, widths):
    """Tokens cut into lines of a width drawn from `widths` (in tokens)."""
    lines = []
    while tokens:
        w = rng.choice(widths)
        lines.append(tokens[:w])
        tokens = tokens[w:]
    return lines


def record_lines(rng, plan, f, s):
    """The text lines of one record, and the matrix they really say."""
    n, fmt, layout = plan["ports"], plan["fmt"], plan["layout"]
    if plan["version"] == 2 and n == 2:
        cells = [[(0, 0), (0, 1), (1, 0), (1, 1)] if plan["order"] == "12_21"
                 else [(0, 0), (1, 0), (0, 1), (1, 1)]]
    elif n <= 2:
        cells = [[(0, 0), (1, 0), (0, 1), (1, 1)][:n * n]]
    else:
        shape = plan.get("matrix", "Full")
        cells = [[(i, j) for j in range(n) if shape == "Full" or
                  (j <= i if shape == "Lower" else j >= i)] for i in range(n)]
    rows = [[t for (i, j) in row for t in pair_text(s[i, j], fmt)] for row in cells]
    mirror = plan.get("matrix", "Full") != "Full" and n > 2
    said = np.zeros((n, n), complex)
    for row, tokens in zip(cells, rows):
        for k, (i, j) in enumerate(row):
            said[i, j] = pair_value(tokens[2 * k:2 * k + 2], fmt)
            if mirror:  # Lower and Upper hold one half: the other is its mirror image
                said[j, i] = said[i, j]
    if layout == "one line" or n <= 2:
        lines = [[f] + [t for r in rows for t in r]]
    elif layout == "scattered":  # breaks anywhere, even inside a pair
        lines = wrapped([f] + [t for r in rows for t in r], rng, [1, 2, 3, 5, 8, 11])
    else:  # each row on a new line, at most four pairs a line
        lines = [line for r in rows for line in wrapped(r, rng, [8])]
        lines[0] = [f] + lines[0]
    text = [" ".join(line) for line in lines]
    if layout == "odd":  # comments and blank lines inside and after the record
        text = [t + rng.choice(["", "", " ! a note"]) for t in text]
        for _ in range(rng.randint(1, 3)):
            text.insert(rng.randint(1, len(text)), rng.choice(["", "! inside a record", "   "]))
    return text, said


def impedance_comment(rng, plan, z):
    """A field solver's Port Impedance comment: N values or the N x N matrix, wrapped."""
    n = len(z)
    values = [[z[i] if i == j else complex(rng.uniform(-3, 3), rng.uniform(-3, 3))
               if plan["coupled"] else 0j for j in range(n)] for i in range(n)] \
        if plan["source"] == "solver matrix" else [z]
    tokens = [number(t) for row in values for v in row for t in (v.real, v.imag)]
    lines = wrapped(tokens, rng, [2 * n] if plan["wrap"] == 0 else [plan["wrap"]])
    start = plan["words"] + ("" if plan["glued"] else " ")
    return [start + " ".join(lines[0])] + ["!  " + " ".join(line) for line in lines[1:]]


def references(rng, plan):
    """Each record's references (complex, one per port), as the file will state them."""
    n, source = plan["ports"], plan["source"]
    real = [float(rng.choice([25, 50, 75, 100, 150, 35.5])) for _ in range(n)]
    if source == "R" or plan.get("one_reference"):
        real = [real[0]] * n
    if source.startswith("solver") and plan["complex"]:
        return [[complex(float(number(rng.uniform(20, 120))), float(number(rng.uniform(-30, 30))))
                 for _ in range(n)] for _ in range(plan["count"])]
    return [[complex(x) for x in real]] * plan["count"]


def build(rng, plan):
    """The input text of a plan, its frequency tokens, and each record's S and references."""
    n, fmt, unit = plan["ports"], plan["fmt"], plan["unit"]
    freqs = [f"{g / 10:g}" for g in sorted(rng.sample(range(1, 4000), plan["count"]))]
    refs = references(rng, plan)
    real = [z.real for z in refs[0]]
    head, body, said = [], [], []
    if plan["waves_comment"]:
        head.append(f"! S-parameter uses the {plan['waves_comment']} definition")
    r_text = ""
    if plan["source"] == "R":
        r_text = "" if real[0] == 50 and plan["quiet_50"] else f" R {real[0]:g}"
    elif plan["source"] == "R per port":
        r_text = " R " + " ".join(f"{x:g}" for x in real)
    elif plan["source"].startswith("solver"):
        if plan["statement"]:
            head.insert(0, "!Data is not renormalized")
        r_text = plan["solver_r"]
    option = f"# {unit} S {fmt}{r_text}" if rng.random() < 0.7 else \
        f"# {unit.lower()} s {fmt.lower()}{r_text.lower()}"
    keywords = []
    if plan["version"] == 2:
        head.insert(0, "[Version] 2.0")
        option = f"# {unit} S {fmt}" + rng.choice(["", " R 50"])
        keywords = [f"[Number of Ports] {n}"]
        if n == 2:
            keywords.append(f"[Two-Port Data Order] {plan['order']}")
        keywords.append(f"[Number of Frequencies] {plan['count']}")
        values = [f"{x:g}" for x in real]
        if len(set(real)) == 1 and rng.random() < 0.5:
            values = values[:1]  # one value for all ports
        cut = rng.randint(0, len(values))
        keywords.append(" ".join(["[Reference]"] + values[:cut]))
        keywords += [" ".join(line) for line in wrapped(values[cut:], rng, [1, 2, 3, 8])]
        if n > 2 and (plan["matrix"] != "Full" or rng.random() < 0.5):
            keywords.append(f"[Matrix Format] {plan['matrix']}")
        keywords.append("[Network Data]")
    for f, z in zip(freqs, refs):
        text, s = record_lines(rng, plan, f, network(rng, plan["network"], n))
        body += text
        said.append(s)
        if plan["source"].startswith("solver"):
            if plan["gamma"]:
                body.append("! Gamma ! " + " ".join(number(rng.uniform(0, 3))
                                                    for _ in range(2 * n)))
            body += impedance_comment(rng, plan, z)
        if plan["blank"]:
            body.append("")
    if plan["noise"]:  # after the records, its first frequency below their last
        body.append("! noise parameters")
        for f in sorted(float(f) / 2 for f in freqs):
            body.append(f"{f:g} {rng.uniform(0.5, 3):.3f} {rng.uniform(0.1, 0.8):.4f} "
                        f"{rng.uniform(-180, 180):.2f} {rng.uniform(0.1, 1):.4f}")
    if plan["version"] == 2:
        body.append("[End]")
    ending = "\r\n" if plan["crlf"] else "\n"
    text = ending.join(head + [option] + keywords + body) + ending
    return text, freqs, np.array(said), np.array(refs)


def plan_for(rng, index, only_two_ports=False):
    n = 2 if only_two_ports else PORTS[index % len(PORTS)]
    source = SOURCES[(index // len(PORTS)) % len(SOURCES)]
    kinds = ["passive", "passive", "amplifier"] + (["thru", "lossless"] if n > 1 else [])
    version = 2 if source == "Reference" else 1
    plan = {"ports": n, "source": source, "version": version, "fmt": rng.choice(FORMATS),
            "unit": rng.choice(list(UNIT)), "count": rng.randint(1, 3 if n > 5 else 5),
            "network": rng.choice(kinds), "crlf": rng.random() < 0.3,
            "blank": rng.random() < 0.2, "layout": "standard", "quiet_50": rng.random() < 0.3,
            "complex": rng.random() < 0.8, "waves_comment": None}
    if version == 1 and n > 2:
        plan["layout"] = rng.choice(["standard", "standard", "one line", "odd", "scattered"])
    elif version == 1:
        plan["layout"] = rng.choice(["standard", "odd"])
    if version == 2:
        plan["order"] = rng.choice(["12_21", "21_12"])
        plan["matrix"] = rng.choice(["Full", "Lower", "Upper"]) if n > 2 else "Full"
        plan["one_reference"] = rng.random() < 0.3
    if source.startswith("solver"):
        plan.update(statement=rng.random() < 0.5, gamma=rng.random() < 0.3,
                    solver_r=rng.choice(["", " R 50"]), glued=rng.random() < 0.4,
                    coupled=rng.random() < 0.5,
                    words=rng.choice(["! Port Impedance", "!Port Impedance", "! PORT IMPEDANCE"]),
                    wrap=0 if only_two_ports else rng.choice([0, 0, 8, 8, 4, 6]))
    # The wave definition: the file's comment, --waves over it, or the default.
    effective = rng.choice(WAVES)
    how = rng.choice(["default", "comment", "option", "both"])
    if how == "default" and effective != "traveling":
        how = "comment"
    plan["waves"] = effective
    plan["waves_comment"] = {"comment": effective, "both": rng.choice(
        [w for w in WAVES if w != effective])}.get(how)
    plan["waves_option"] = effective if how in ("option", "both") else None
    # The new references.
    choice = rng.choice(["25", "75", "100", "list", "list"])
    if only_two_ports and choice == "list":
        choice = "75"
    if choice == "list":
        if n == 2 and rng.random() < 0.5:
            new = [50.0, 200.0]  # a balun's single-ended and balanced sides
        elif rng.random() < 0.1:
            new = [75.0] * n  # a list that says one reference
        else:
            new = [float(rng.choice([25, 50, 75, 100, 150, 200])) for _ in range(n)]
        plan["to"] = ",".join(f"{x:g}" for x in new)
    else:
        new = [float(choice)] * n
        plan["to"] = choice
    plan["new"] = new
    # Noise blocks only where the four-argument form can convert the same file.
    plan["noise"] = n == 2 and source == "R" and len(set(new)) == 1 and rng.random() < 0.7
    return plan


# ------------------------------------------------------------------ running and checking


def run(tool, folder, arguments, stdin=None, threads=None):
    """Status, standard output and standard error of one run (on that many threads)."""
    env = dict(os.environ, TAVRIN_THREADS=str(threads)) if threads else None
    try:
        done = subprocess.run([tool] + arguments, cwd=folder, input=stdin or b"",
                              capture_output=True, timeout=60, env=env)
        return done.returncode, done.stdout, done.stderr
    except subprocess.TimeoutExpired:
        return "timeout", b"", b""


def data_lines(text):
    """The token lists of the lines that hold records: after [Network Data] in a version 2.0
    file, up to [Noise Data] or [End]; after the option line in a version 1 file."""
    lines, inside = [], "[version]" not in text.lower()
    for line in text.split("\r\n"):
        tokens = line.split("!", 1)[0].split()
        word = " ".join(tokens).lower()
        if word.startswith("[network data]"):
            inside = True
        elif word.startswith(("[noise data]", "[end]")):
            break
        elif inside and tokens and not tokens[0].startswith(("#", "[")):
            lines.append(tokens)
    return lines


def layout_problems(lines, n):
    """Version 1 records for N != 2: a row starts on a new line, at most four pairs a line."""
    at = 0  # where the line starts in its record, in pairs
    for tokens in lines:
        pairs = (len(tokens) - (at == 0)) / 2
        if not 0 < pairs <= 4 or pairs != int(pairs) or at % n + pairs > n:
            return [f"a line of {len(tokens)} numbers at pair {at} of a record"]
        at = (at + int(pairs)) % (n * n)
    return []


def read_output(folder, raw, n):
    """The output's contents: version 2.0 through our own reader, version 1 through scikit-rf
    (its Network takes z0 from the option line only, which is all a version 1 file has)."""
    text = raw.decode("latin-1")
    if "[version]" in text.lower():
        return read_touchstone(text)
    seen = os.path.join(folder, f"seen.s{n}p")  # scikit-rf takes the port count from the name
    with open(seen, "wb") as out:
        out.write(raw)
    written = skrf.Network(seen)
    option = next(line for line in text.split("\r\n") if line.startswith("#")).lower().split()
    fmt = next((t.upper() for t in option if t in ("ri", "ma", "db")), "?")
    return {"version": "1", "fmt": fmt, "option": option, "keywords": {}, "f": written.f,
            "s": written.s, "z0": written.z0[0].real, "by": "scikit-rf"}


def output_problems(folder, raw, plan, freqs, expected, z_new, version_2=None):
    """What is wrong with a complete output `raw` (bytes)."""
    n = plan["ports"]
    problems = [] if raw.count(b"\n") == raw.count(b"\r\n") else ["lines not ended by CR LF"]
    try:
        got = read_output(folder, raw, n)
    except Exception as error:  # whatever a reader raises on a malformed file
        return problems + [f"cannot read the output: {error!r}"]
    if version_2 is None:
        version_2 = len(set(z_new)) > 1
    if (got["version"] == "2.0") != version_2:
        problems.append(f"version {got['version']}, {'2.0' if version_2 else '1'} expected")
    if got["fmt"] != plan["fmt"]:
        problems.append(f"format {got['fmt']}, {plan['fmt']} expected")
    text, keys = raw.decode("latin-1"), got["keywords"]
    lines = data_lines(text)
    if version_2:
        wanted = {"number of ports": [str(n)], "number of frequencies": [str(len(freqs))]}
        if n == 2:
            wanted["two-port data order"] = ["21_12"]
        for key, value in wanted.items():
            if keys.get(key) != value:
                problems.append(f"[{key}] {keys.get(key)}, {value} expected")
        if not all(k in keys for k in ("network data", "reference")) or "[end]" not in text.lower():
            problems.append("[Reference], [Network Data] or [End] missing")
    else:
        after_r = got["option"][got["option"].index("r") + 1:] if "r" in got["option"] else []
        if len(after_r) != 1 or float(after_r[0]) != z_new[0]:
            problems.append(f"option line R {after_r}, one R {z_new[0]:g} expected")
        if n != 2:
            problems += layout_problems(lines, n)
    half = keys.get("matrix format", ["full"])[0].lower() != "full"
    width = 1 + (n * (n + 1) if half else 2 * n * n)
    flat = [t for line in lines for t in line][:width * len(freqs)]  # a noise block aside
    odd = [t for k, t in enumerate(flat) if k % width and not NUMBER.match(t)]
    if odd:
        problems.append(f"numbers not written with nine decimals: {odd[:3]}")
    expected = np.array(expected)
    if got["s"].shape != expected.shape:
        return problems + [f"S of shape {got['s'].shape} read back, {expected.shape} expected"]
    hz = np.array([float(f) * UNIT[plan["unit"]] for f in freqs])
    if not np.allclose(got["f"], hz, rtol=1e-12, atol=0):
        problems.append(f"frequencies {got['f']} for {hz}")
    if not np.allclose(got["z0"], z_new, rtol=1e-12):
        problems.append(f"references read back as {got['z0']}, {z_new} expected")
    worst = off_by(got["s"], expected)
    if not worst <= TOLERANCE:
        problems.append(f"S off the expected one by {worst:.3g} ({got.get('by', 'own reader')})")
    if plan["network"] == "lossless" and not plan.get("lossy_refs"):
        worst = max(off_by(s.conj().T @ s, np.eye(n)) for s in got["s"])
        if not worst <= TOLERANCE:
            problems.append(f"a lossless network read back {worst:.3g} off unitary")
    return problems


def refused(tool, folder, arguments, output, stdin=None):
    """Problems with a run that must be refused: once with no output there, once over one."""
    problems = []
    path = os.path.join(folder, output)
    if os.path.exists(path):  # the output is the input itself: it must stay as it is
        before = open(path, "rb").read()
    else:
        status, _, _ = run(tool, folder, arguments, stdin)
        if status != 1:
            problems.append(f"status {status}, 1 expected")
        if os.path.exists(path):
            problems.append("an output file left behind")
            os.remove(path)
        before = b"an earlier output\r\n"
        open(path, "wb").write(before)
    status, _, _ = run(tool, folder, arguments, stdin)
    if status != 1:
        problems.append(f"status {status} over an existing output, 1 expected")
    if open(path, "rb").read() != before:
        problems.append("an existing output changed")
    return problems


def conversion_case(rng, tool, folder, index, four_arguments):
    plan = plan_for(rng, index, four_arguments)
    n, new = plan["ports"], plan["new"]
    text, freqs, said, refs = build(rng, plan)
    plan["lossy_refs"] = bool(np.any(refs.imag != 0))
    expected = [renormalised(s, z, new, plan["waves"]) for s, z in zip(said, refs)]
    options = [f"--waves={plan['waves_option']}"] if plan["waves_option"] else []
    verbose, back_in_one = rng.random() < 0.2, rng.random() < 0.5  # drawn whatever happens
    options += ["-v"] if verbose else []
    to = rng.choice([["--to", plan["to"]], [f"--to={plan['to']}"]])
    version_2 = len(set(new)) > 1
    stdin = None
    if four_arguments:
        name, output = "f.s2p", "out.s2p"
        arguments = options + ["f", "f", "out", plan["to"]]
    else:
        name = rng.choice([f"in.s{n}p", f"in.s{n}p", f"IN.S{n}P"])
        if plan["version"] == 2 and rng.random() < 0.5:
            name = "in.ts"
        output = rng.choice([f"out.s{n}p", f"out.s{n}p", f"out.s{n}p", "out.ts"])
        how = rng.choice(["files"] * 6 + ["no count", "stdin", "stdout", "out-dir"])
        if n == 2:
            name, output, how = "f.s2p", "out.s2p", rng.choice(["files"] * 5 + ["stdout"])
        version_2 = version_2 or output.endswith(".ts")
        if how == "no count":
            name, options = "in.dat", options + rng.choice([["--ports", str(n)], [f"--ports={n}"]])
        arguments = options + to + [name, output]
        if how == "stdin":
            stdin = text.encode("latin-1")
            arguments = options + ["--ports", str(n)] + to + ["-", output]
        elif how == "stdout":
            arguments, version_2 = options + to + [name, "-"], len(set(new)) > 1
            output = "-"
        elif how == "out-dir":
            arguments = options + to + ["--out-dir", "converted", name, "twin." + name[3:]]
            os.mkdir(os.path.join(folder, "converted"))
            version_2 = len(set(new)) > 1 or name.endswith(".ts")
            output = os.path.join("converted", name)
    with open(os.path.join(folder, name), "w", newline="") as out:
        out.write(text)
    if "--out-dir" in arguments:
        shutil.copy(os.path.join(folder, name), os.path.join(folder, "twin." + name[3:]))
    status, stdout, stderr = run(tool, folder, arguments, stdin)
    problems = [] if status == 0 else [f"status {status}: {stderr.decode('latin-1').strip()}"]
    said_lines = stderr.decode("latin-1").count("\n")  # under --out-dir, one or one per input
    if verbose and said_lines not in ((1, 2) if "--out-dir" in arguments else (1,)):
        problems.append(f"-v wrote {stderr!r} on standard error, one line expected")
    path = os.path.join(folder, output)
    if status == 0 and output != "-" and not os.path.exists(path):
        problems.append("no output")
    if problems:
        return problems, arguments, str(plan)
    raw = stdout if output == "-" else open(path, "rb").read()
    problems += output_problems(folder, raw, plan, freqs, expected, new, version_2)
    if "--out-dir" in arguments:
        twin = open(os.path.join(folder, "converted", "twin." + name[3:]), "rb").read()
        if twin != raw:
            problems.append("the second input's output differs from the first's")
    if n == 2 and not four_arguments and len(set(new)) == 1 and not problems:
        # The same input through the four-argument form, in a folder of its own.
        os.mkdir(os.path.join(folder, "four"))
        shutil.copy(os.path.join(folder, name), os.path.join(folder, "four", name))
        four = [o for o in options if o != "-v"] + ["f", "f", "out", f"{new[0]:g}"]
        status, _, _ = run(tool, os.path.join(folder, "four"), four)
        if status != 0 or open(os.path.join(folder, "four", "out.s2p"), "rb").read() != raw:
            problems.append(f"not byte for byte what tavrin {' '.join(four)} writes "
                            f"(status {status})")
    # Back to the input's references, where it states real ones alike at every frequency.
    ratio = max(max(a / b, b / a) for a, b in zip(new, refs[0].real))
    back_to = [z.real for z in refs[0]]
    if problems or plan["lossy_refs"] or ratio > 4 or four_arguments and len(set(back_to)) > 1:
        return problems, arguments, str(plan)
    there = f"there.s{n}p"
    open(os.path.join(folder, there), "wb").write(raw)
    if four_arguments:
        back = options + ["there", "there", "back", f"{back_to[0]:g}"]
    else:
        same = len(set(back_to)) == 1 and back_in_one  # one value, or one per port
        back = ["--to", ",".join(f"{x:g}" for x in back_to[:1 if same else n]), there,
                f"back.s{n}p"]
    status, _, stderr = run(tool, folder, back)
    if status != 0:
        said = stderr.decode("latin-1").strip()
        return problems + [f"round trip {' '.join(back)}: status {status} {said}"], arguments, \
            str(plan)
    raw = open(os.path.join(folder, f"back.s{n}p"), "rb").read()
    problems += [f"round trip: {p}" for p in output_problems(
        folder, raw, dict(plan, network="", fmt=plan["fmt"]), freqs, said, back_to)]
    return problems, arguments, str(plan)


def refusal_files(rng):
    """(what, input name or - for standard input, its text, arguments, output name)."""
    def text(n, version=1, count=3):
        plan = dict(plan_for(rng, 0), ports=n, version=version, count=count, source="R",
                    layout="standard", fmt="RI", matrix="Full", order="21_12", noise=False)
        return build(rng, plan)[0]
    three = text(3)
    short = text(4).rstrip("\n")
    short = short[:short.rfind(" ")] + "\n"  # the last record one number short
    two = text(2).split("\n")
    first = next(k for k, line in enumerate(two) if line[:1].isdigit())
    two[first] = " ".join(two[first].split()[:6])  # the frequency and five numbers
    four_in_three = text(4, version=2)
    return [
        ("[Number of Ports] 4 in a .s3p file", "in.s3p", four_in_three,
         ["--to", "75", "in.s3p", "out.s3p"], "out.s3p"),
        ("[Number of Ports] 4 in a .s5p file", "in.s5p", four_in_three,
         ["--to", "75", "in.s5p", "out.s5p"], "out.s5p"),
        ("the last record one number short", "in.s4p", short,
         ["--to", "75", "in.s4p", "out.s4p"], "out.s4p"),
        ("a two-port line of five numbers", "in.s2p", "\n".join(two),
         ["--to", "75", "in.s2p", "out.s2p"], "out.s2p"),
        ("two values after --to for four ports", "in.s4p", text(4),
         ["--to", "50,75", "in.s4p", "out.s4p"], "out.s4p"),
        ("four values after --to for three ports", "in.s3p", three,
         ["--to=50,75,75,50", "in.s3p", "out.s3p"], "out.s3p"),
        ("two values after --to for one port", "in.s1p", text(1),
         ["--to", "50,75", "in.s1p", "out.s1p"], "out.s1p"),
        ("the output named as the input", "in.s3p", three,
         ["--to", "75", "in.s3p", "in.s3p"], "in.s3p"),
        ("the output the input under another name", "in.s3p", three,
         ["--to", "75", "in.s3p", "./in.s3p"], "in.s3p"),
        ("a version 1 file with no port count", "in.dat", three,
         ["--to", "75", "in.dat", "out.s3p"], "out.s3p"),
        ("standard input without --ports", "-", three, ["--to", "75", "-", "out.s3p"], "out.s3p"),
    ]


def refusal_case(tool, folder, entry):
    what, name, text, arguments, output = entry
    stdin = text.encode() if name == "-" else None
    if name != "-":
        open(os.path.join(folder, name), "w").write(text)
    return refused(tool, folder, arguments, output, stdin), arguments, what


def main():
    args = sys.argv[1:]
    if args[:1] == ["--self-test"]:
        problems = self_test(random.Random(int(args[1]) if len(args) > 1 else 1))
        failed = 1 if problems else 0
        print("\n".join(problems + [f"{1 - failed} passed, {failed} failed"]))
        return 1 if problems else 0
    four_arguments = args[:1] == ["--four-arguments"]
    args = args[1:] if four_arguments else args
    tool = os.path.abspath(args[0])
    count = int(args[1]) if len(args) > 1 else 300
    rng = random.Random(int(args[2]) if len(args) > 2 else 1)
    problems = self_test(rng)
    for problem in problems:
        print(problem)
    jobs = [(f"case {k}", lambda f, k=k: conversion_case(rng, tool, f, k, four_arguments))
            for k in range(count)]
    if not four_arguments:
        jobs += [(f"refusal '{e[0]}'", lambda f, e=e: refusal_case(tool, f, e))
                 for e in refusal_files(rng)]
    # The mathematics counts as one case of its own.
    return max(run_cases("tavrin-nport-", jobs), 1 if problems else 0)


if __name__ == "__main__":
    sys.exit(main())

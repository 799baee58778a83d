#!/usr/bin/python3
"""Checks tavrin's renormalisation from the references an input file states, per port and per
frequency, to one real impedance n at both ports: field-solver `Port Impedance` comments
(complex, one block per frequency, one line or a 2 x 2 matrix), `R 50 75` on the option line
and `[Reference] 50 75` in Touchstone 2.0 files, under traveling, power and pseudo-waves.

The expected S-matrix is worked out here from the wave definitions themselves: each port's V
and I from its old waves, then the new waves for n. A self-test runs first, every time: that
route against the impedance-matrix route and the closed forms, on a thru (I - S singular), a
unilateral 30 dB amplifier, evanescent, waveguide and coplanar ports. Every output is read
back with scikit-rf; refusals must give status 1 and an empty or absent output.

Usage: check_port_impedances.py TOOL [CASES] [SEED]
"""
import math
import os
import random
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from reference_support import (WAVES, np, pair_text, pair_value, run_cases, skrf,  # noqa: E402
                               voltages_currents, wave_rows)

TOLERANCE = 5e-8  # on each complex S-parameter, relative to max(1, |S|)
PRINTED = 6e-10   # nine printed decimals, plus the arithmetic's own rounding
FORMATS = ["RI", "MA", "DB"]

# ------------------------------------------------------------------ the mathematics


def by_waves(s, z, n, waves):
    """S' for n at both ports: new waves from V and I; never inverts I - S, so a thru is fine."""
    v, i = voltages_currents(s, z, waves)
    new = wave_rows(n, waves)
    return (new[1, 0] * v + new[1, 1] * i) @ np.linalg.inv(new[0, 0] * v + new[0, 1] * i)


def by_impedance_matrix(s, z, n, waves):
    """S' through Z = V I^-1; None where Z does not exist (I singular, as for a thru)."""
    v, i = voltages_currents(s, z, waves)
    if np.linalg.cond(i) > 1e10:
        return None
    zm, eye, new = v @ np.linalg.inv(i), np.eye(2), wave_rows(n, waves)
    return (new[1, 0] * zm + new[1, 1] * eye) @ np.linalg.inv(new[0, 0] * zm + new[0, 1] * eye)


def closed_form(s, z, n, waves):
    """The closed forms the tool is expected to implement, for the self-test only."""
    z, eye, inv = np.asarray(z, complex), np.eye(2), np.linalg.inv
    if waves == "power":
        g = (n - z) / (n + z.conj())
        p = (n + z.conj()) / (2 * np.sqrt(z.real * n))
        middle = (s - np.diag(g.conj())) @ inv(eye - np.diag(g) @ s)
        return np.diag(p.conj()) @ middle @ np.diag(1 / p)
    g = (n - z) / (n + z)
    if waves == "traveling":
        d = (z + n) / (2 * np.sqrt(z) * np.sqrt(n))
    else:
        d = np.sqrt(n / z.real) * (abs(z) / n) * (z + n) / (2 * z)
    return np.diag(d) @ (s - np.diag(g)) @ inv(eye - np.diag(g) @ s) @ np.diag(1 / d)


def off_by(a, b):
    """The worst elementwise difference, relative to max(1, |b|)."""
    return np.max(np.abs(np.asarray(a) - np.asarray(b)) / np.maximum(1.0, np.abs(np.asarray(b))))


SELF_TEST_PORTS = [  # (name, port 1, port 2, definitions that apply)
    ("real per port", 50, 75, WAVES),
    ("waveguide and coplanar", 375.2 + 3.1j, 49.7 - 0.1j, WAVES),
    ("coplanar and waveguide", 49.7 - 0.1j, 373.9 - 2.2j, WAVES),
    ("lossy lines", 42.0 - 11.5j, 63.0 + 8.0j, WAVES),
    ("evanescent", 29j, 50.3 - 0.4j, ["traveling"]),
]


def self_test(rng):
    """Problems found in the mathematics itself, without the tool."""
    problems = []
    nets = [("thru", network(rng, "thru")), ("30 dB amplifier", network(rng, "amplifier"))]
    nets += [(f"passive {k}", network(rng, "passive")) for k in range(4)]
    for (port_name, z1, z2, defs) in SELF_TEST_PORTS:
        for net_name, s in nets:
            for n in (25.0, 75.0, 100.0):
                results = {}
                for waves in defs:
                    what = f"self-test: {net_name}, {port_name}, n = {n:g}, {waves}"
                    results[waves] = route = by_waves(s, (z1, z2), n, waves)
                    if not off_by(closed_form(s, (z1, z2), n, waves), route) <= 1e-9:
                        problems.append(f"{what}: THE CLOSED FORM DISAGREES WITH THE WAVE ROUTE")
                    z_route = by_impedance_matrix(s, (z1, z2), n, waves)
                    if z_route is None and net_name != "thru":
                        problems.append(f"{what}: no impedance matrix")
                    if z_route is not None and not off_by(z_route, route) <= 1e-9:
                        problems.append(f"{what}: the Z-matrix route disagrees with the wave route")
                    if not off_by(by_waves(s, (n, n), n, waves), s) <= 1e-12:
                        problems.append(f"{what}: references equal to n change the data")
                for w1 in defs:  # alike for real references; told apart for complex ones
                    for w2 in defs[defs.index(w1) + 1:]:
                        apart = off_by(results[w1], results[w2])
                        real = port_name == "real per port"
                        if real != (apart <= 1e-12) or 1e-12 < apart < 1e-6:
                            problems.append(f"self-test: {net_name}, {port_name}, n = {n:g}: "
                                            f"{w1} and {w2} differ by {apart:.3g}")
    return problems


# ------------------------------------------------------------------ the files


def network(rng, kind):
    def c(radius):
        return radius * complex(rng.uniform(-1, 1), rng.uniform(-1, 1)) / math.sqrt(2)
    if kind == "passive":
        return np.array([[c(0.9), c(0.9)], [c(0.9), c(0.9)]])
    if kind == "thru":
        return np.array([[0, 1], [1, 0]], dtype=complex)
    if kind == "amplifier":  # 30 dB, unilateral
        return np.array([[c(0.6), 0], [10 ** 1.5 * np.exp(1j * rng.uniform(-3, 3)), c(0.6)]])
    raise ValueError(kind)


def number(x):
    return f"{x:.6g}"


def reference_texts(rng, kind, n, count):
    """Each record's references as text, [(re, im) of port 1, (re, im) of port 2]."""
    fixed = rng.choice([(50, 75), (75, 50), (25, 50), (50, 100)])
    swap = rng.random() < 0.5 and kind in ("waveguide", "evanescent")
    rows = []
    for _ in range(count):  # most kinds change from one frequency to the next
        near_50 = complex(50 + rng.uniform(-8, 8), rng.uniform(-4, 4))
        pair = {"complex": lambda: (complex(rng.uniform(20, 120), rng.uniform(-30, 30)),
                                    complex(rng.uniform(20, 120), rng.uniform(-30, 30))),
                "waveguide": lambda: (complex(375 + rng.uniform(-4, 4), rng.uniform(-3, 3)),
                                      49.7 - 0.1j),
                "evanescent": lambda: (29j, near_50),
                "real": lambda: fixed, "same": lambda: (n, n), "fifty": lambda: (50, 50)}[kind]()
        rows.append([(number(complex(z).real), number(complex(z).imag))
                     for z in (pair[::-1] if swap else pair)])
    return rows


def impedance_lines(rng, row, glued, matrix, case, coupled=False):
    words = {"title": "Port Impedance", "upper": "PORT IMPEDANCE", "lower": "port impedance"}[case]
    (r1, i1), (r2, i2) = row
    start = rng.choice(["! ", "!", "!   "]) + words + ("" if glued else " ")
    if not matrix:
        return [f"{start}{r1} {i1} {r2} {i2}"]
    off = [number(rng.uniform(-3, 3)) for _ in range(4)] if coupled else ["0"] * 4
    return [f"{start}{r1} {i1} {off[0]} {off[1]}", f"! {off[2]} {off[3]} {r2} {i2}"]


def data_lines(rng, kind, fmt, count):
    """Frequency tokens, data lines, and the S-matrices those lines really say."""
    freqs = [f"{g / 10:g}" for g in sorted(rng.sample(range(1, 400), count))]
    lines, said = [], []
    for f in freqs:
        s = network(rng, kind)
        lines.append(" ".join([f] + [t for v in (s[0, 0], s[1, 0], s[0, 1], s[1, 1])
                                     for t in pair_text(v, fmt)]))
        p = [pair_value(lines[-1].split()[k:k + 2], fmt) for k in (1, 3, 5, 7)]
        said.append(np.array([[p[0], p[2]], [p[1], p[3]]]))
    return freqs, lines, said


def build(rng, plan):
    """The input file a plan describes (missing style choices are drawn and recorded in it), its
    frequencies and data lines, and each record's S-matrix and references as written."""
    fmt, count = plan["fmt"], plan["count"]

    def pick(key, options):
        return plan.setdefault(key, rng.choice(options))
    freqs, lines, said = data_lines(rng, plan["network"], fmt, count)
    rows = reference_texts(rng, plan["refs"], plan["n"], count)
    if "bad" in plan:  # one reference replaced: (record, port, value)
        k, port, z = plan["bad"]
        rows[k][port] = (number(z.real), number(z.imag))
    refs = [[complex(float(re), float(im)) for re, im in row] for row in rows]
    indent, head, tail, body = pick("indent", ["", "", "", "  ", " \t"]), [], [], lines
    if plan["form"] == "solver":
        if pick("statement", [True, True, False]):
            head.append(rng.choice(["!Data is not renormalized", "! Data is not renormalized",
                                    "! DATA IS NOT RENORMALIZED"]))
        option = f"{indent}# GHZ S {fmt}" + pick("r", ["", " R 50", " R (50+50j)"])
        gamma, blank = pick("gamma", ["", "! Gamma ", "! Gamma ! "]), pick("blank", [True, False])
        glued, matrix = pick("glued", [False, True]), pick("matrix", [False, False, True])
        case, body = pick("case", ["title", "title", "upper", "lower"]), []
        coupled = matrix and pick("coupled", [False, False, True])  # off-diagonal terms
        for k, line in enumerate(lines):
            body.append(line)
            if gamma:
                body.append(gamma + " ".join(number(rng.uniform(0, 3)) for _ in range(4)))
            if plan.get("missing") not in (k, "all"):
                body += impedance_lines(rng, rows[k], glued, matrix, case, coupled)
            if blank:
                body.append("")
    elif plan["form"] == "option":
        r = plan.get("r_text", f"{rows[0][0][0]} {rows[0][1][0]}")
        option = indent + pick("option_text", ["# GHz S {fmt} R {r}", "#\tGHz\tS\t{fmt}\tR\t{r}",
                                               "# ghz s {lfmt} r {r}"]).format(
            fmt=fmt, lfmt=fmt.lower(), r=r.replace(" ", "  " if "\t" not in r else "\t"))
        head = ["! references per port"]
    else:  # Touchstone 2.0 with [Reference]
        first, second = plan.get("reference", (rows[0][0][0], rows[0][1][0]))
        head = ["[Version] 2.0"]
        option = indent + f"# GHz S {fmt}" + pick("r", ["", " R 50"])
        tail = ["[Number of Ports] 2", f"[Number of Frequencies] {count}",
                pick("reference_text", ["[Reference] {0} {1}", "[Reference] {0}\n{1}",
                                        "[Reference]\n{0}\n{1}"]).format(first, second),
                "[Network Data]"]
        body = lines + ["[End]"]
    waves = plan.get("comment")
    waves_line = [f"! S-parameter uses the {waves} definition"] if waves else []
    before = pick("comment_first", [True, False])
    text = head + (waves_line if before else []) + [option] + (waves_line if not before else [])
    return "\n".join(text + tail + body) + "\n", freqs, lines, said, refs


# ------------------------------------------------------------------ running and checking


def run(tool, folder, arguments):
    try:
        return subprocess.run([tool] + arguments, cwd=folder, stdin=subprocess.DEVNULL,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                              timeout=30).returncode
    except subprocess.TimeoutExpired:
        return "timeout"


def read_float(token):
    try:
        return float(token)
    except ValueError:  # not a number at all
        return None


def refusal_problems(folder, status):
    problems = [] if status == 1 else [f"status {status}, 1 expected"]
    path = os.path.join(folder, "out.s2p")
    if os.path.exists(path) and os.path.getsize(path):
        problems.append(f"output of {os.path.getsize(path)} bytes left behind")
    return problems


def output_problems(folder, status, freqs, expected, n, fmt, unchanged=None):
    """What is wrong with a status-0 output; `unchanged` holds input lines it must repeat."""
    path = os.path.join(folder, "out.s2p")
    if status != 0 or not os.path.exists(path):
        return [f"status {status}" + ("" if os.path.exists(path) else ", no output")]
    raw = open(path, "rb").read()
    problems = [] if raw.count(b"\n") == raw.count(b"\r\n") else ["lines not ended by CR LF"]
    lines = raw.decode("latin-1").replace("\r\n", "\n").split("\n")
    option = lines[0].split() if lines else []
    after_r = option[option.index("R") + 1:] if "R" in option else []
    if not (option[:1] == ["#"] and lines[0] == lines[0].upper() and fmt in option
            and len(after_r) == 1 and read_float(after_r[0]) == n):
        problems.append(f"option line {lines[0]!r}, one 'R {n:g}' expected")
    records = [line.split() for line in lines[1:] if line.strip()]
    if [r[0] for r in records] != freqs:
        problems.append(f"frequency tokens {[r[0] for r in records]} for {freqs}")
    try:
        written = skrf.Network(path)
    except Exception as error:  # whatever scikit-rf raises on a malformed file
        return problems + [f"scikit-rf cannot read the output: {error!r}"]
    expected = np.array(expected)
    if written.s.shape != expected.shape:
        return problems + [f"{written.s.shape[0]} points read back, {len(expected)} expected"]
    if not np.allclose(written.f, [float(f) * 1e9 for f in freqs], rtol=1e-12, atol=0):
        problems.append(f"frequencies {written.f} for {freqs}")
    if not np.allclose(written.z0, n):
        problems.append(f"reference impedance read back as {written.z0[0]}")
    worst = off_by(written.s, expected)
    if not worst <= TOLERANCE:
        problems.append(f"S-matrix off the expected one by {worst:.3g}")
    moved = []
    for given, got in zip(unchanged or [], records):  # the input's numbers, to nine decimals
        given = given.split()
        for k in range(1, 9):
            a, b = float(given[k]), read_float(got[k]) if k < len(got) else None
            if b is not None and k % 2 == 0 and fmt != "RI":  # an angle: modulo 360
                if abs(pair_value(given[k - 1:k + 1], fmt)) < 1e-6:
                    continue  # no angle worth the name
                a, b = 0.0, (b - a + 180) % 360 - 180
            if math.isfinite(a) and not (b is not None and abs(a - b) <= PRINTED + 1e-12 * abs(a)):
                moved.append(f"{given[0]}: number {k} {got[k:k + 1]} for {given[k]}")
    if moved:
        problems.append(f"{len(moved)} numbers not given back ({', '.join(moved[:3])}...)")
    return problems


LAYOUTS = [  # (file form, references it states); cycled so that every pair meets every network
    ("solver", "complex"), ("solver", "waveguide"), ("solver", "evanescent"), ("solver", "real"),
    ("solver", "same"), ("option", "real"), ("option", "same"), ("keyword", "real"),
    ("keyword", "same"), ("solver", "complex"), ("solver", "waveguide")]
NETWORKS = ["passive", "thru", "amplifier"]


def waves_statement(rng, effective):
    """A file comment and/or --waves option that put `effective` in force."""
    source = rng.choice(["default", "comment", "option", "both"])
    if source == "default" and effective != "traveling":
        source = "comment"
    if source == "both":  # the option overrides a comment that says otherwise
        return rng.choice([w for w in WAVES if w != effective]), effective
    return (effective if source == "comment" else None), (effective if source == "option" else None)


def renormalisation_case(rng, tool, folder, index):
    form, refs = LAYOUTS[index % len(LAYOUTS)]
    effective = "traveling" if refs == "evanescent" else rng.choice(WAVES)
    comment, option = waves_statement(rng, effective)
    plan = {"form": form, "refs": refs, "network": NETWORKS[(index // len(LAYOUTS)) % 3],
            "fmt": rng.choice(FORMATS), "count": rng.randint(1, 5), "comment": comment,
            "n": rng.choice([25, 50, 75, 100]) if refs == "same" else rng.choice([25, 75, 100])}
    text, freqs, lines, said, ports = build(rng, plan)
    open(os.path.join(folder, "f.s2p"), "w").write(text)
    arguments = ([f"--waves={option}"] if option else []) + ["f", "f", "out", f"{plan['n']:g}"]
    expected = [by_waves(s, z, plan["n"], effective) for s, z in zip(said, ports)]
    status = run(tool, folder, arguments)
    problems = output_problems(folder, status, freqs, expected, plan["n"], plan["fmt"],
                               lines if refs == "same" else None)
    return problems, arguments, f"{effective} waves, {plan}"


REFUSALS = [  # (what, plan changes, --waves option); every one must give status 1 and no data
    ("Port Impedance missing at the first record", {"missing": 0}, None),
    ("Port Impedance missing at the middle record", {"missing": 1}, None),
    ("Port Impedance missing at the last record", {"missing": 2}, None),
    ("Data is not renormalized, no reference stated",
     {"missing": "all", "statement": True, "r": ""}, None),
    ("power waves, Re Z = 0", {"refs": "evanescent", "comment": "power"}, None),
    ("pseudo-waves, Re Z = 0", {"refs": "evanescent", "comment": "pseudo"}, None),
    ("--waves=power over a traveling comment, Re Z = 0",
     {"refs": "evanescent", "comment": "traveling"}, "power"),
    ("--waves=pseudo, Re Z < 0 at the middle record only", {"bad": (1, 1, -5 + 10j)}, "pseudo"),
    ("power waves, Re Z < 0 at the last record only",
     {"bad": (2, 0, -12.5 - 3j), "comment": "power"}, None),
    ("a port impedance of 0", {"bad": (1, 0, 0j)}, None),
    ("a port impedance of 0 on the matrix's diagonal", {"bad": (0, 1, 0j), "matrix": True}, None),
    ("three numbers after R", {"form": "option", "refs": "real", "r_text": "50 75 100"}, None),
    ("a per-port reference of 0 after R",
     {"form": "option", "refs": "real", "r_text": "50 0"}, None),
    ("[Reference] 50 -75", {"form": "keyword", "refs": "real", "reference": ("50", "-75")}, None),
]
ACCEPTED = [  # (what, plan changes, --waves option): fixed cases that must be converted
    ("Data is not renormalized with R 50 and no Port Impedance",
     {"refs": "fifty", "missing": "all", "statement": True, "r": " R 50"}, None),
    ("matrix form with coupling terms, power waves",
     {"matrix": True, "coupled": True, "comment": "power"}, None),
    ("--waves=traveling over a power comment, evanescent port",
     {"refs": "evanescent", "comment": "power"}, "traveling"),
]
TWO_FILES = [  # (what, forward header, reverse header, shared reference or None for a refusal)
    ("both at 75", "# GHz S {fmt} R 75", "# GHz S {fmt} R 75.0", 75.0),
    ("50 stated and 50 by default", "# GHz S {fmt} R 50", "# GHz S {fmt}", 50.0),
    ("50 against 75", "# GHz S {fmt} R 50", "# GHz S {fmt} R 75", None),
    ("R 50 75 in the forward file", "# GHz S {fmt} R 50 75", "# GHz S {fmt} R 50", None),
    ("[Reference] 50 75 in the reverse file", "# GHz S {fmt} R 50",
     "[Version] 2.0\n# GHz S {fmt} R 50\n[Number of Ports] 2\n[Reference] 50 75\n[Network Data]",
     None),
    ("Port Impedance comments in the forward file", "solver", "# GHz S {fmt} R 50", None),
    ("Port Impedance comments in the reverse file", "# GHz S {fmt}", "solver", None),
]


def table_case(rng, tool, folder, entry, refuse):
    what, changes, option = entry
    plan = {"form": "solver", "refs": "complex", "network": rng.choice(NETWORKS),
            "fmt": rng.choice(FORMATS), "count": 3, "n": rng.choice([25, 75, 100])}
    plan.update(changes)
    text, freqs, lines, said, ports = build(rng, plan)
    open(os.path.join(folder, "f.s2p"), "w").write(text)
    arguments = ([f"--waves={option}"] if option else []) + ["f", "f", "out", f"{plan['n']:g}"]
    status = run(tool, folder, arguments)
    if refuse:
        return refusal_problems(folder, status), arguments, what
    waves = option or plan.get("comment") or "traveling"
    expected = [by_waves(s, z, plan["n"], waves) for s, z in zip(said, ports)]
    return output_problems(folder, status, freqs, expected, plan["n"], plan["fmt"]), arguments, what


def two_file_case(rng, tool, folder, entry):
    what, forward, reverse, shared = entry
    fmt, n = rng.choice(FORMATS), rng.choice([25, 75, 100])
    freqs, lines, said = data_lines(rng, "passive", fmt, 3)
    turned = []  # the reverse measurement sees the device turned round: S22 and S12 first
    for f, s in zip(freqs, said):
        turned.append(" ".join([f] + [t for v in (s[1, 1], s[0, 1], s[1, 0], s[0, 0])
                                      for t in pair_text(v, fmt)]))
        back = [pair_value(turned[-1].split()[k:k + 2], fmt) for k in (1, 3)]
        s[1, 1], s[0, 1] = back
    for name, header, body in (("f", forward, lines), ("r", reverse, turned)):
        if header == "solver":
            header = "!Data is not renormalized\n# GHZ S {fmt}"
            rows = reference_texts(rng, "complex", n, len(body))
            body = [x for line, row in zip(body, rows) for x in [line] + impedance_lines(
                rng, row, False, False, "title")]
        end = ["[End]"] if "[Version]" in header else []
        open(os.path.join(folder, name + ".s2p"), "w").write(
            "\n".join([header.format(fmt=fmt)] + body + end) + "\n")
    arguments = ["f", "r", "out", f"{n:g}"]
    status = run(tool, folder, arguments)
    if shared is None:
        return refusal_problems(folder, status), arguments, what
    expected = [by_waves(s, (shared, shared), n, "traveling") for s in said]
    return output_problems(folder, status, freqs, expected, n, fmt), arguments, what


def main():
    tool = os.path.abspath(sys.argv[1])
    cases = int(sys.argv[2]) if len(sys.argv) > 2 else 330
    rng = random.Random(int(sys.argv[3]) if len(sys.argv) > 3 else 1)
    problems = self_test(rng)
    for problem in problems:
        print(problem)
    jobs = [(f"case {k}", lambda f, k=k: renormalisation_case(rng, tool, f, k))
            for k in range(cases)]
    jobs += [(f"refusal '{e[0]}'", lambda f, e=e: table_case(rng, tool, f, e, True))
             for e in REFUSALS]
    jobs += [(f"fixed case '{e[0]}'", lambda f, e=e: table_case(rng, tool, f, e, False))
             for e in ACCEPTED]
    jobs += [(f"two files, {e[0]}", lambda f, e=e: two_file_case(rng, tool, f, e))
             for e in TWO_FILES]
    # The mathematics counts as one case of its own.
    return max(run_cases("tavrin-ports-", jobs), 1 if problems else 0)


if __name__ == "__main__":
    sys.exit(main())

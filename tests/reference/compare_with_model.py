#!/usr/bin/python3
"""Generates Touchstone files with the quirks of real exporters, converts each with the tool
and with the independent Python model, and requires the same exit status and the same bytes.
Outputs renormalised per port (two different references) have no byte-level model: there the
option line and the frequency tokens must be the same and every number agree to a tolerance.

Usage: compare_with_model.py TOOL [CASES] [SEED]
       compare_with_model.py --write FOLDER [CASES] [SEED]
The second form only writes each case's input files and its arguments (one line, in the file
"arguments") to FOLDER/NNNN/, the same cases as the first form gives for the same CASES and SEED,
so that other builds of the tool can be compared on them.
"""
import math
import os
import random
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import tavrin_model  # noqa: E402

# Per-port outputs: nine printed decimals, so a difference in the last digit is allowed;
# a number above 1000 carries more digits than a double holds, so it compares relatively.
ABSOLUTE = 2e-9
RELATIVE = 1e-12

OPTION_LINES = [
    "# GHz S RI R 50", "# MHZ S MA R 75", "# hz s db r 50.0", "# GHZ S RI R 050", "# GHZ S MA",
    "#", "# KHZ S DB R 25 ! from the analyser", "# GHZ S RI R 5e1", "#\tGHZ\tS\tRI\tR\t50",
    "# GHZ S RI R 50 DB", "# GHZ S MA R 0", "# GHZ S RI R (50+50j)", "# GHZ S DB R  50",
    "# GHz S MA R     50", "# GHZ Z RI R 50", "# MHZ y ma", "# GHZ S DB R   50 ! x",
    "  # GHz S RI R 50", "\t# MHZ S MA", " \t # ghz s db r 75",
]
# A reference per port, or more than a two-port can take.
LIST_LINES = [
    "# GHZ S RI R 50 75", "# GHZ S MA R 50 75 100", "# GHZ S DB R 50 0", "# GHZ R 50 75 S RI",
    "# GHZ S RI R 50 50.0", "# MHZ S MA R 75\t25 ! ports", "# GHZ S DB R 50 75 DB",
    "# GHZ S RI R 5e1 1,0e2", "# GHZ S MA R 1D2 50", "# GHZ S RI R 50 50 50",
    "# GHZ R 25 50 75 100 S DB",
]
IMPEDANCES = ["75", "25", "50", "12.5", "1e3", "0.001", "100ohm", "33.3333333333",
              "50.000000000000007", "1e-320", "0", "nan", "inf"]
ODD_TOKENS = ["0", "-0", "1e-320", "5e-324", "1.7976931348623157e308", "1D-3", "1,5", "&H10",
              "abc", "1.5X", "inf", "-inf", "nan", "-nan", "1e400", "123456.7", "-99.9999999996",
              "9.9999999995", "0.0000000005", "+.5", "2d1"]


def number(rng, kind):
    if rng.random() < 0.04:
        return rng.choice(ODD_TOKENS)
    # Mostly what exporters write; sometimes every digit a double can carry, or more.
    digits = rng.randint(9, 12) if rng.random() < 0.85 else rng.randint(15, 24)
    if kind == "angle":
        return f"{rng.uniform(-400, 400):.{digits}g}"
    if kind == "db":
        return f"{rng.uniform(-90, 12):.{digits}g}"
    scale = 10 ** rng.uniform(-6, 2.3) if rng.random() < 0.2 else 1.0
    return f"{rng.uniform(-1, 1) * scale:.{digits}g}"


def frequencies(rng, count):
    """Frequency tokens as exporters write them, rising, with the odd repeat or drop."""
    tokens = []
    f = rng.choice([0.0, 0.0, 0.5, 1e6])
    for i in range(count):
        if i == 0 and f == 0.0 and rng.random() < 0.5:
            pass  # a DC point first
        elif rng.random() > 0.05 or i == 0:
            f += rng.choice([0.25, 1, 1e6, 1.5e9])
        elif rng.random() < 0.3:
            f -= 1  # a drop: the data ends here
        tokens.append(rng.choice([repr(f), f"{f:.6E}", repr(f).replace(".", ",")]))
    return tokens


NOT_RENORMALISED = ["! Data is not renormalized", "!DATA  IS NOT\tRENORMALISED",
                    "  ! data is not renormalized to 50 ohms", "\t!Data is not  renormalised",
                    "! S-parameter data is not renormalized", "! Data is renormalized",
                    "! Data is not re-normalized", "! data: is not renormalized"]


def sheet_frequencies(rng, count):
    """Rising frequency tokens with no repeat or drop, as a data sheet with noise lists them."""
    f = rng.choice([0.0, 0.5, 1e6, 1e8])
    tokens = []
    for _ in range(count):
        tokens.append(rng.choice([repr(f), repr(f).replace(".", ",")]))
        f += rng.choice([0.25, 1, 1e6, 5e8])
    return tokens


def data_lines(rng, fmt, tokens, pairs, whole=False):
    lines = []
    # Now and then an exporter that writes S12 and S22 on a line of their own.
    split = pairs == 4 and rng.random() < 0.15
    for token in tokens:
        values = []
        for _ in range(pairs):
            values.append(number(rng, "db" if fmt == "DB" else "num"))
            values.append(number(rng, "num" if fmt == "RI" else "angle"))
        if rng.random() < 0.1 and not whole:
            # Mostly the legal short line (S11 and S21); now and then one cut anywhere.
            values = values[:4] if rng.random() < 0.85 else values[: rng.randint(0, len(values))]
        separator = rng.choice([" ", "  ", "\t", " \t "])
        if split and len(values) == 8:
            lines.append(token + separator + separator.join(values[:4]))
            if rng.random() < 0.2:
                lines.append(rng.choice(["", "! S12 S22 next"]))
            line = rng.choice(["", " ", "\t"]) + separator.join(values[4:])
        else:
            line = token + separator + separator.join(values)
        if rng.random() < 0.1:
            line += " ! comment, with commas"
        lines.append(line)
        if rng.random() < 0.05:
            # After the first record such a comment no longer says anything about the data.
            lines.append(rng.choice(["", "! between", "   \t", NOT_RENORMALISED[0]]))
    return lines


def reverse_tokens(rng, tokens):
    """Usually the forward file's frequencies; sometimes one missing, one more, or fewer."""
    tokens = list(tokens)
    roll = rng.random()
    if roll < 0.08 and tokens:
        del tokens[rng.randrange(len(tokens))]
    elif roll < 0.12:
        tokens = tokens[: rng.randint(0, len(tokens))]
    elif roll < 0.16:
        tokens.append(repr(1e12))
    return tokens


KEYWORDS = ["[Version] 2.0", "[Number of Ports] 2", "[Two-Port Data Order] 12_21",
            "[Two-Port Data Order] 21_12", "[Number of Frequencies] 3", "[Reference] 50",
            "[Reference] 75 75", "[Reference]\n50\n50", "[Reference] 50 75",
            "[Matrix Format] Full", "[Matrix Format] Upper", "[Network Data]",
            "[Number of Ports] 3", "[Noise Data]", "[Mixed-Mode Order] D2,1"]
# What a version 2.0 header states as the reference: one for both ports, one per port, or
# values the tool refuses.
PER_PORT = ["[Reference] 50 75", "[Reference] 75 50", "[Reference]\n50\n100",
            "[Reference] 50\n75", "[Reference] 25 1e3", "[Reference] 50 0", "[Reference] 50 75 100",
            "[Reference] 50 inf", "[Reference] 50 75\n[Reference] 50 75",
            "[Reference] 50 75\n[Reference] 75 50"]
ONE_REFERENCE = ["[Reference] 50.0 50", "[Reference] 75", "[Reference] 50",
                 "[Reference] 50\n[Reference] 50 50", "[Reference]\n75\n75"]


def keyword_block(rng):
    if rng.random() > 0.15:
        return []
    return [rng.choice(KEYWORDS) for _ in range(rng.randint(1, 4))]


def version_2(rng, per_port):
    """The lines a version 2.0 file has before and after its option line."""
    after = ["[Number of Ports] 2"]
    if rng.random() < 0.3:
        after.append(rng.choice(["[Two-Port Data Order] 12_21", "[Two-Port Data Order] 21_12"]))
    if rng.random() < 0.85:
        after.append(rng.choice(PER_PORT if rng.random() < per_port else ONE_REFERENCE))
    after.append("[Network Data]")
    return ["[Version] 2.0"], after


def header(rng):
    lines = []
    if rng.random() < 0.5:
        lines = ["! generated", "!", rng.choice(["x # not the option line", "! # not the option line"])]
    if rng.random() < 0.15:
        lines.append(rng.choice(NOT_RENORMALISED))
    return lines


def value(rng, low, high):
    if rng.random() < 0.05:
        return rng.choice(ODD_TOKENS)
    return f"{rng.uniform(low, high):.{rng.randint(6, 12)}g}"


def frequency_token(rng, f):
    return rng.choice([repr(f), f"{f:.6E}", repr(f).replace(".", ","), f"{f:g}"])


def noise_block(rng, last):
    """A noise block as data sheets write it after the S-parameters: after a drop below the last
    S frequency, at that frequency, or after [Noise Data] below, at or above it; now and then
    with a line that breaks the block."""
    form = rng.choice(["drop", "drop", "drop", "equal", "equal", "keyword", "keyword"])
    lines = [rng.choice(["! Noise parameters", "! f Fmin Gopt ang Rn", ""])] if rng.random() < 0.6 else []
    if form == "keyword":
        lines.append(rng.choice(["[Noise Data]", "[noise  data]"]))
        f = last * rng.choice([0.5, 1.0, 1.0, 2.0]) + rng.choice([0.0, 0.0, -1.0, 1.0])
    elif form == "equal":
        f = last
    else:
        f = last * rng.uniform(0.0, 0.9) if last > 0 else last - 1
    rn = (5, 100) if form == "keyword" else (0.02, 2)
    for i in range(rng.randint(4, 6)):
        numbers = [value(rng, 0.1, 5), value(rng, 0, 1), value(rng, -180, 180), value(rng, *rn)]
        token = frequency_token(rng, f)
        if rng.random() < 0.06:
            # A line that ends the block: too few or too many numbers, a word, a repeat, a drop.
            broken = rng.choice(["three", "five", "word", "repeat", "drop", "keyword"])
            if broken == "three":
                numbers = numbers[:3]
            elif broken == "five":
                numbers.append(value(rng, 0, 1))
            elif broken == "word":
                numbers[rng.randrange(4)] = rng.choice(["abc", "n/a", "1.5X"])
            elif broken == "repeat" and i:
                token = frequency_token(rng, f - step)
            elif broken == "drop":
                token = frequency_token(rng, f - rng.choice([1.0, 0.5 * abs(f) + 1]))
            elif broken == "keyword":
                lines.append("[End]")
        separator = rng.choice([" ", "  ", "\t"])
        lines.append(token + separator + separator.join(numbers))
        if rng.random() < 0.1:
            lines.append(rng.choice(["", "! between", "   \t"]))
        step = rng.choice([0.25, 1, 1e6, 1.5e9])
        f += step
    if rng.random() < 0.2:
        lines.append(rng.choice(["[End]", "! end"]))
    return lines


def last_frequency(tokens):
    try:
        return float(tokens[-1].replace(",", "."))
    except (IndexError, ValueError):
        return 0.0


def touchstone(rng, lines):
    ending = rng.choice(["\n", "\r\n"])
    text = ending.join(lines)
    return text + (ending if rng.random() < 0.9 else "")


def forward_option_for(rng, option):
    """The forward file's option line: usually one at the reverse file's reference, spelt the
    same or not; sometimes any other."""
    roll = rng.random()
    if roll < 0.55:
        return option
    if roll < 0.8:
        return rng.choice([option.lower(), "  " + option, option.replace(" R ", " r   ")])
    return rng.choice(OPTION_LINES + LIST_LINES)


def case_inputs(rng):
    """One case's input files (name without .s2p: text) and the tool's arguments."""
    single = rng.random() < 0.6
    # Two files with a reference per port are refused: keep most two-file cases convertible.
    lists = 0.3 if single else 0.1
    option = rng.choice(LIST_LINES if rng.random() < lists else OPTION_LINES)
    upper = option.upper()
    fmt = "DB" if "DB" in upper else ("RI" if "RI" in upper else "MA")
    # Now and then a data sheet: clean S lines, so that the noise block after them is reached.
    sheet = rng.random() < 0.25
    count = rng.randint(0, 40) if not sheet else rng.randint(1, 12)
    tokens = sheet_frequencies(rng, count) if sheet else frequencies(rng, count)
    forward_option = option if single else forward_option_for(rng, option)
    before, after = version_2(rng, 2 * lists) if rng.random() < 0.15 else ([], [])
    if rng.random() < 0.12:
        after = after + [rng.choice(NOT_RENORMALISED)]

    def body(pairs, tokens, noise):
        lines = after + keyword_block(rng) + data_lines(rng, fmt, tokens, pairs, sheet)
        return lines + (noise_block(rng, last_frequency(tokens)) if noise else [])

    # A full four-pair file may serve as either direction; a single file may hold two pairs.
    f_pairs = (4 if rng.random() < 0.9 else 2) if single else (2 if rng.random() < 0.8 else 4)
    files = {"f": touchstone(rng, header(rng) + before + [forward_option] +
                             body(f_pairs, tokens, rng.random() < (0.8 if sheet else 0.15)))}
    if not single:
        # Usually both files of a measurement share their header; the reverse one's noise block
        # is never read, but where its S data ends still counts.
        if rng.random() < 0.25:
            before, after = version_2(rng, 2 * lists) if rng.random() < 0.5 else ([], [])
        r_pairs = 2 if rng.random() < 0.8 else 4
        files["r"] = touchstone(rng, header(rng) + before + [option] +
                                body(r_pairs, reverse_tokens(rng, tokens), rng.random() < 0.1))
    # A data sheet's case is about its noise block: give it an impedance the tool takes.
    impedance = rng.choice(IMPEDANCES[:-4] if sheet else IMPEDANCES)
    arguments = ["f", "f" if single else "r", "out", impedance]
    return files, arguments


def write_case(files, arguments, folder):
    for name, text in files.items():
        with open(os.path.join(folder, name + ".s2p"), "wb") as out:
            out.write(text.encode("latin-1"))
    with open(os.path.join(folder, "arguments"), "w") as note:
        note.write(" ".join(arguments) + "\n")


def one_case(rng, tool, folder):
    files, arguments = case_inputs(rng)
    results = {}
    for who in ("tool", "model"):
        work = os.path.join(folder, who)
        os.makedirs(work)
        for name, text in files.items():
            with open(os.path.join(work, name + ".s2p"), "wb") as out:
                out.write(text.encode("latin-1"))
        if who == "tool":
            status = subprocess.run([tool] + arguments, cwd=work, stdin=subprocess.DEVNULL).returncode
        else:
            here = os.getcwd()
            os.chdir(work)
            try:
                status, per_port = tavrin_model.convert(*arguments)
            finally:
                os.chdir(here)
        output = os.path.join(work, "out.s2p")
        data = open(output, "rb").read() if os.path.exists(output) and status == 0 else None
        if who == "tool" and status != 0 and os.path.exists(output) and os.path.getsize(output):
            data = b"status 1 with a non-empty output"
        results[who] = (status, data)
    return files, arguments, results, per_port


def close(a, b, scale=0.0, angle=False):
    """Two printed numbers of a per-port output: inf and nan literally, others to a tolerance;
    scale is the size of the S-parameter the number belongs to, for a component that is only
    rounding noise beside a huge other one."""
    try:
        x, y = float(a), float(b)
    except ValueError:
        return False
    if not (math.isfinite(x) and math.isfinite(y)):
        return a == b
    difference = abs(x - y)
    if angle:
        # 180 and -180 are one angle: which one is written hangs on the sign of a zero.
        difference = abs((x - y + 180) % 360 - 180)
    if difference <= ABSOLUTE:
        return True
    scale = max(abs(x), abs(y), scale)
    return scale > 1000 and difference <= RELATIVE * scale


def vanishing(magnitude, db):
    """A magnitude of (practically) zero, whose angle then says nothing. In dB anything at or
    below -300 dB counts: exactly 0 in one computation may be 1e-321 in another, both far
    below what the nine decimals of a magnitude hold."""
    try:
        x = float(magnitude)
    except ValueError:
        return False
    return x <= -300 if db else abs(x) <= ABSOLUTE


def size(tokens):
    """The largest printed number among tokens; one printed just above the largest double
    (1.797693135E+308) counts as that double."""
    sizes = [0.0]
    for t in tokens:
        try:
            x = abs(float(t))
        except ValueError:
            continue
        if t.lstrip("+-") not in ("inf", "nan") and not math.isnan(x):
            sizes.append(min(x, sys.float_info.max))
    return max(sizes)


def same_line(t, m, fmt):
    if len(t) != len(m) or t[0] != m[0]:
        return False
    if len(t) == 9 and fmt == "RI":
        # Each component against the size of its S-parameter.
        first = [k if k % 2 else k - 1 for k in range(9)]
        return all(close(t[k], m[k], size(t[first[k] : first[k] + 2] + m[first[k] : first[k] + 2]))
                   for k in range(1, 9))
    # (magnitude, angle) positions: S-parameter pairs in MA and DB, Gamma-opt in a noise line.
    if len(t) == 5:
        pairs, db = [(2, 3)], False
    else:
        pairs, db = [(k, k + 1) for k in range(1, len(t), 2)], fmt == "DB"
    angles = {k for _, k in pairs}
    free = {i for j, k in pairs if vanishing(t[j], db) and vanishing(m[j], db) for i in (j, k)}
    free -= {j for j, _ in pairs if not db}  # a vanishing magnitude itself is still compared
    return all(close(t[k], m[k], angle=k in angles) for k in range(1, len(t)) if k not in free)


def same_numbers(tool_out, model_out):
    """None when a per-port output matches the model's; else what differs."""
    tool_lines, model_lines = tool_out.split(b"\r\n"), model_out.split(b"\r\n")
    if len(tool_lines) != len(model_lines):
        return f"{len(tool_lines) - 1} lines written, {len(model_lines) - 1} expected", b"", b""
    if tool_lines[0] != model_lines[0] or tool_lines[-1] != model_lines[-1]:
        return "option line or ending", tool_lines[0] + tool_lines[-1], model_lines[0] + model_lines[-1]
    option = tool_lines[0].decode("latin-1")
    fmt = "DB" if "DB" in option else ("RI" if "RI" in option else "MA")
    for t, m in zip(tool_lines[1:-1], model_lines[1:-1]):
        if not same_line(t.decode("latin-1").split(), m.decode("latin-1").split(), fmt):
            return "numbers", t, m
    return None


def main():
    writing = sys.argv[1] == "--write"
    if writing:
        del sys.argv[1]
    tool = os.path.abspath(sys.argv[1])
    cases = int(sys.argv[2]) if len(sys.argv) > 2 else 200
    seed = int(sys.argv[3]) if len(sys.argv) > 3 else 1
    rng = random.Random(seed)
    if writing:
        for case in range(cases):
            folder = os.path.join(tool, f"{case:04d}")
            os.makedirs(folder, exist_ok=True)
            write_case(*case_inputs(rng), folder)
        print(f"{cases} cases written to {tool}")
        return 0
    failures = 0
    statuses = {0: 0, 1: 0}
    kinds = {"byte-exact": 0, "numeric": 0, "refused": 0}
    for case in range(cases):
        folder = tempfile.mkdtemp(prefix="tavrin-model-")
        try:
            files, arguments, results, per_port = one_case(rng, tool, folder)
            statuses[results["tool"][0]] = statuses.get(results["tool"][0], 0) + 1
            tool_status, tool_out = results["tool"]
            model_status, model_out = results["model"]
            if tool_status != model_status:
                difference = ("statuses", b"", b"")
            elif model_status != 0:
                # A refusal leaves no output, or an empty one.
                difference = ("output", tool_out, b"") if tool_out is not None else None
                kinds["refused"] += 1
            elif per_port:
                difference = same_numbers(tool_out, model_out)
                kinds["numeric"] += 1
            else:
                difference = None
                if tool_out != model_out:
                    difference = ("bytes",) + next(
                        ((a, b) for a, b in zip(tool_out.split(b"\r\n") + [b"(end)"],
                                                model_out.split(b"\r\n") + [b"(end)"]) if a != b),
                        (b"", b""))
                kinds["byte-exact"] += 1
            if difference:
                failures += 1
                keep = folder + "-kept"
                with open(os.path.join(folder, "arguments"), "w") as note:
                    note.write(" ".join(arguments) + "\n")
                shutil.copytree(folder, keep)
                print(f"case {case} differs ({difference[0]}): tavrin {' '.join(arguments)};"
                      f" files kept in {keep}")
                print(f"  statuses: tool {tool_status}, model {model_status}")
                if difference[1] or difference[2]:
                    print(f"  tool : {difference[1]!r}\n  model: {difference[2]!r}")
        finally:
            shutil.rmtree(folder, ignore_errors=True)
    print(f"status 0 in {statuses[0]} cases, status 1 in {statuses[1]}")
    print("compared: " + ", ".join(f"{kinds[k]} {k}" for k in kinds))
    print(f"{cases - failures} passed, {failures} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/python3
"""Generates Touchstone files with the quirks of real exporters, converts each with the tool
and with the independent Python model, and requires the same exit status and the same bytes.

Usage: compare_with_model.py TOOL [CASES] [SEED]
"""
import os
import random
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import tavrin_model  # noqa: E402

OPTION_LINES = [
    "# GHz S RI R 50", "# MHZ S MA R 75", "# hz s db r 50.0", "# GHZ S RI R 050", "# GHZ S MA",
    "#", "# KHZ S DB R 25 ! from the analyser", "# GHZ S RI R 5e1", "#\tGHZ\tS\tRI\tR\t50",
    "# GHZ S RI R 50 DB", "# GHZ S MA R 0", "# GHZ S RI R (50+50j)", "# GHZ S DB R  50",
    "# GHz S MA R     50", "# GHZ Z RI R 50", "# MHZ y ma", "# GHZ S DB R   50 ! x",
]
IMPEDANCES = ["75", "25", "50", "12.5", "1e3", "0.001", "100ohm", "33.3333333333", "1e-320",
              "0", "nan", "inf", "50.000000000000007"]
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


def data_lines(rng, fmt, tokens, pairs):
    lines = []
    for token in tokens:
        values = []
        for _ in range(pairs):
            values.append(number(rng, "db" if fmt == "DB" else "num"))
            values.append(number(rng, "num" if fmt == "RI" else "angle"))
        if rng.random() < 0.1:
            values = values[: rng.randint(0, len(values))]
        separator = rng.choice([" ", "  ", "\t", " \t "])
        line = token + separator + separator.join(values)
        if rng.random() < 0.1:
            line += " ! comment, with commas"
        lines.append(line)
        if rng.random() < 0.05:
            lines.append(rng.choice(["", "! between", "   \t"]))
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


def keyword_block(rng):
    if rng.random() > 0.15:
        return []
    return [rng.choice(KEYWORDS) for _ in range(rng.randint(1, 4))]


def touchstone(rng, option, body):
    header = ["! generated", "!", "  # not the option line"] if rng.random() < 0.5 else []
    ending = rng.choice(["\n", "\r\n"])
    text = ending.join(header + [option] + body)
    return text + (ending if rng.random() < 0.9 else "")


def one_case(rng, tool, folder):
    option = rng.choice(OPTION_LINES)
    upper = option.upper()
    fmt = "DB" if "DB" in upper else ("RI" if "RI" in upper else "MA")
    single = rng.random() < 0.6
    count = rng.randint(0, 40)
    tokens = frequencies(rng, count)
    forward_option = option if single else rng.choice(OPTION_LINES)
    files = {"f": touchstone(rng, forward_option, keyword_block(rng) +
                             data_lines(rng, fmt, tokens, 4 if single else 2))}
    if not single:
        files["r"] = touchstone(rng, option, keyword_block(rng) +
                                data_lines(rng, fmt, reverse_tokens(rng, tokens), 2))
    arguments = ["f", "f" if single else "r", "out", rng.choice(IMPEDANCES)]
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
                status = tavrin_model.run(*arguments)
            finally:
                os.chdir(here)
        output = os.path.join(work, "out.s2p")
        data = open(output, "rb").read() if os.path.exists(output) and status == 0 else None
        if who == "tool" and status != 0 and os.path.exists(output) and os.path.getsize(output):
            data = b"status 1 with a non-empty output"
        results[who] = (status, data)
    return files, arguments, results


def main():
    tool = os.path.abspath(sys.argv[1])
    cases = int(sys.argv[2]) if len(sys.argv) > 2 else 200
    seed = int(sys.argv[3]) if len(sys.argv) > 3 else 1
    rng = random.Random(seed)
    failures = 0
    statuses = {0: 0, 1: 0}
    for case in range(cases):
        folder = tempfile.mkdtemp(prefix="tavrin-model-")
        try:
            files, arguments, results = one_case(rng, tool, folder)
            statuses[results["tool"][0]] = statuses.get(results["tool"][0], 0) + 1
            if results["tool"] != results["model"]:
                failures += 1
                keep = folder + "-kept"
                with open(os.path.join(folder, "arguments"), "w") as note:
                    note.write(" ".join(arguments) + "\n")
                shutil.copytree(folder, keep)
                print(f"case {case} differs: tavrin {' '.join(arguments)}; files kept in {keep}")
                print(f"  statuses: tool {results['tool'][0]}, model {results['model'][0]}")
                tool_out, model_out = results["tool"][1] or b"", results["model"][1] or b""
                for a, b in zip(tool_out.split(b"\r\n"), model_out.split(b"\r\n")):
                    if a != b:
                        print(f"  tool : {a!r}\n  model: {b!r}")
                        break
        finally:
            shutil.rmtree(folder, ignore_errors=True)
    print(f"status 0 in {statuses[0]} cases, status 1 in {statuses[1]}")
    print(f"{cases - failures} passed, {failures} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/python3
"""A second, independent model of a tavrin conversion, written in Python.

Numbers are read with Python's correctly rounded float(), the arithmetic runs in numpy's
long double (the same 80-bit extended type, rounded to a Python float where a value is
stored) and the numeric pictures are rendered with Python integers. Comparing its output
with the tool's, byte for byte, on many generated files checks the tool against a model
that shares none of its code.

Usage: tavrin_model.py FORWARD REVERSE OUTPUT IMPEDANCE   (run in the files' folder;
the exit status is the tool's; the output file is written only for a status of 0).
"""
import math
import re
import struct
import sys

import numpy as np

np.seterr(all="ignore")
LD = np.longdouble
RI, MA, DB = 0, 1, 2

# ---------------------------------------------------------------- numbers from text

DECIMAL = re.compile(r"[\t\n\v\f\r ]*([+-]?)(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?")
WORD = re.compile(r"[\t\n\v\f\r ]*([+-]?)(inf|nan)", re.IGNORECASE)


def parse_number(text):
    text = text.lstrip(" ")
    if not text:
        return 0.0
    if len(text) >= 2 and text[0] == "&":
        radix, start = 8, 1
        kind = text[1].upper()
        if kind in "HOB":
            radix, start = {"H": 16, "O": 8, "B": 2}[kind], 2
        value = 0
        for c in text[start:]:
            digit = int(c, 16) if c in "0123456789abcdefABCDEF" else 99
            if digit >= radix:
                break
            value = (value * radix + digit) % 2**64
        return float(value - 2**64 if value >= 2**63 else value)
    if len(text) >= 2 and text[0] == "0" and text[1] in "xX":
        return 0.0
    text = text.replace("D", "E").replace("d", "e")
    m = DECIMAL.match(text)
    if m:
        return float(m.group(1) + m.group(2) + (m.group(3) or ""))
    m = WORD.match(text)
    if m:
        return float(m.group(1) + m.group(2))
    return 0.0


def canonical_number_text(v):
    if v == 0:
        return "0"
    mantissa, exponent = ("%.15e" % abs(v)).split("e")
    digits = mantissa.replace(".", "")
    x = int(exponent)
    sign = "-" if v < 0 else ""
    if -4 <= x < 16:
        if x >= 0:
            text = digits[: x + 1] + "." + digits[x + 1 :]
        else:
            text = "0." + "0" * (-x - 1) + digits
        text = text.rstrip("0").rstrip(".")
        return sign + text
    text = (digits[0] + "." + digits[1:]).rstrip("0").rstrip(".")
    return sign + text + "e" + ("-" if x < 0 else "+") + "%03d" % abs(x)


# ---------------------------------------------------------------- Touchstone lines

def clean_line(line):
    out = []
    for c in line:
        if c == "!":
            break
        out.append(" " if c == "\t" else "." if c == "," else c)
    return "".join(out).strip(" ")


def pop_number(text):
    value = parse_number(text)
    blank = text.find(" ")
    return value, ("" if blank < 0 else text[blank:].lstrip(" "))


SINGLE_DECIMAL = re.compile(r"[+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?\Z")


def next_cleaned(lines):
    while lines:
        line = clean_line(lines.pop(0))
        if line:
            return line
    return None


def keyword_lines(lines):
    """Reads the Touchstone 2.0 keyword lines before the first data line (left in lines).
    Gives (order_12_21, reference or None, refused, no_data)."""
    order, reference, refused = False, None, False
    pending = None
    while True:
        line = pending if pending is not None else next_cleaned(lines)
        pending = None
        if line is None:
            return order, reference, refused, False
        if not line.startswith("["):
            lines.insert(0, line)
            return order, reference, refused, False
        close = line.find("]")
        name = (line[1:] if close < 0 else line[1:close]).replace(" ", "").upper()
        value = "" if close < 0 else line[close + 1 :].strip(" ")
        if name == "REFERENCE":
            values = []
            def take(text):
                while text:
                    x, text = pop_number(text)
                    values.append(x)
            take(value)
            while len(values) < 2:
                line = next_cleaned(lines)
                if line is None:
                    break
                if line.startswith("["):
                    pending = line
                    break
                take(line)
            if len(values) == 1:
                values.append(values[0])
            if (not values or len(values) > 2 or values[0] != values[1]
                    or (reference is not None and reference != values[0])):
                refused = True
            else:
                reference = values[0]
        elif name == "TWO-PORTDATAORDER":
            if value.upper() == "12_21":
                order = True
            elif value.upper() == "21_12":
                order = False
            else:
                refused = True
        elif name == "NUMBEROFPORTS":
            if not (SINGLE_DECIMAL.match(value) and float(value) == 2.0):
                refused = True
        elif name == "MATRIXFORMAT":
            refused = refused or value.upper() != "FULL"
        elif name == "MIXED-MODEORDER":
            refused = True
        elif name in ("NOISEDATA", "END"):
            return order, reference, refused, True


class Reader:
    def __init__(self):
        self.last = {1: 0.0, 2: 0.0}
        self.started = {1: False, 2: False}
        self.frequency_text = ""

    def next_record(self, lines, slot):
        while lines:
            line = clean_line(lines.pop(0))
            if not line:
                continue
            blank = line.find(" ")
            self.frequency_text = "" if blank < 0 else line[:blank]
            f, rest = pop_number(line)
            if f == self.last[slot]:
                zero_written = bool(SINGLE_DECIMAL.match(line if blank < 0 else line[:blank]))
                if not self.started[slot] and zero_written:
                    self.started[slot] = True
                    return rest
                if self.started[slot] and f == 0 and not zero_written:
                    return ""
                continue
            if f > self.last[slot]:
                self.last[slot] = f
                self.started[slot] = True
                return rest
            return ""
        return ""


def take_pairs(rec, count, order_12_21):
    """The first count pairs in S11, S21, S12, S22 order, and the tokens among those taken."""
    taken = 3 if order_12_21 and count == 2 else count
    target = [0, 2, 1, 3] if order_12_21 else [0, 1, 2, 3]
    pairs = [(0.0, 0.0)] * 4
    tokens = 0
    for k in range(taken):
        tokens += 1 if rec else 0
        a, rec = pop_number(rec)
        tokens += 1 if rec else 0
        b, rec = pop_number(rec)
        pairs[target[k]] = (a, b)
    return pairs, tokens


def names_other_parameters(cleaned):
    return any(word.upper() in ("Y", "Z", "H", "G") for word in cleaned.split(" "))


def read_option_line(line):
    line = "".join(c.upper() if "a" <= c <= "z" else c for c in clean_line(line))
    if "DB" in line:
        fmt = DB
    elif "RI" not in line:
        fmt = MA
    else:
        fmt = RI
    p = line.find("R ")
    return line, fmt, (50.0 if p < 0 else parse_number(line[p + 2 :]))


def rewrite_option_line(line, z_old, z_new):
    n = canonical_number_text(z_new)
    p = line.find("R ")
    if p < 0:
        return line + " R " + n
    o = canonical_number_text(z_old)
    rewritten = line[: p + 2] + n + line[p + 2 + len(o) :]
    token = rewritten[p + 2 :].split(" ")[0]
    replaced = line[p + 2 : p + 2 + len(o)]
    if " " not in replaced and SINGLE_DECIMAL.match(token) and parse_number(token) == parse_number(n):
        return rewritten
    after = line[p + 2 :].lstrip(" ")
    return line[: p + 2] + n + after[len(after.split(" ")[0]) :]


# ---------------------------------------------------------------- arithmetic

def mul(a, b):
    return (float(LD(a[0]) * LD(b[0]) - LD(a[1]) * LD(b[1])),
            float(LD(a[0]) * LD(b[1]) + LD(a[1]) * LD(b[0])))


def div(a, b):
    den = LD(b[0]) * LD(b[0]) + LD(b[1]) * LD(b[1])
    return (float((LD(a[0]) * LD(b[0]) + LD(a[1]) * LD(b[1])) / den),
            float((LD(a[1]) * LD(b[0]) - LD(a[0]) * LD(b[1])) / den))


def add(a, b):
    return (float(LD(a[0]) + LD(b[0])), float(LD(a[1]) + LD(b[1])))


def sub(a, b):
    return (float(LD(a[0]) - LD(b[0])), float(LD(a[1]) - LD(b[1])))


def neg(a):
    return (-a[0], -a[1])


def renormalise(s11, s21, s12, s22, gamma):
    one = (1.0, 0.0)
    m11, m12, m21, m22 = mul(s11, gamma), mul(s12, gamma), mul(s21, gamma), mul(s22, gamma)
    m11, m22 = add(m11, one), add(m22, one)
    e11, e22 = add(s11, gamma), add(s22, gamma)
    t = sub(mul(m11, m22), mul(m12, m21))
    r = div(one, t)
    n11, n12, n21, n22 = mul(m22, r), neg(mul(m12, r)), neg(mul(m21, r)), mul(m11, r)
    o11 = add(mul(s12, n21), mul(e11, n11))
    o12 = add(mul(s12, n22), mul(e11, n12))
    o21 = add(mul(e22, n21), mul(s21, n11))
    o22 = add(mul(e22, n22), mul(s21, n12))
    return o11, o21, o12, o22


def c_pow_10(x):
    # math.pow is the C library's pow (numpy's may be a vectorised variant).
    try:
        return math.pow(10.0, x)
    except OverflowError:
        return math.inf


def to_ri(pair, fmt):
    first, second = pair
    m = LD(c_pow_10(float(LD(first) * LD(0.05)))) if fmt == DB else LD(first)
    a = (LD(3.14159265358979) * LD(second)) / LD(180.0)
    return (float(m * np.cos(a)), float(np.sin(a) * m))


def from_ri(pair, fmt):
    re_, im = LD(pair[0]), LD(pair[1])
    d = np.arctan2(im, re_) * LD(57.29577951308238)
    r = np.sqrt(re_ * re_ + im * im)
    first = float(np.log(r) * LD(8.685889638065035)) if fmt == DB else float(r)
    return (first, float(d))


# ---------------------------------------------------------------- numeric pictures

def half_up(m, k):
    if k <= 0:
        return m
    q, r = divmod(m, 10**k)
    return q + 1 if r >= (10**k + 1) // 2 else q


def decimal_mantissa(x):
    bits = struct.unpack("<Q", struct.pack("<d", abs(x)))[0]
    e, f = (bits >> 52) & 0x7FF, bits & (2**52 - 1)
    m, n = (f, -1074) if e == 0 else (f + 2**52, e - 1075)
    d = 0
    for _ in range(-n if n < 0 else 0):
        if m <= 0x3333333333333333:
            m, d = 5 * m, d - 1
        else:
            low = m & 1
            m >>= 1
            if low and (m & 1):
                m += 1
    for _ in range(n if n > 0 else 0):
        if m < 2**63:
            m *= 2
        else:
            m, d = (m + 2) // 5, d + 1
    if len(str(m)) > 16:
        k = len(str(m)) - 16
        m, d = half_up(m, k), d + k
    return m, d


def field(value, i, p):
    """A number in a data line's field of i integer positions and p decimals. A number wider
    than the field is written in full, with no mark; one that is not finite as inf, -inf or
    nan, right-aligned in the field."""
    bits = struct.unpack("<Q", struct.pack("<d", value))[0]
    negative = bits >> 63 == 1
    sign = "-" if negative else ""
    a = i - 1 if negative else i
    if (bits >> 52) & 0x7FF == 0x7FF:
        word = "nan" if bits & (2**52 - 1) else sign + "inf"
        return word.rjust(i + 1 + p)
    n = 0
    if value != 0:
        m, d = decimal_mantissa(value)
        n = m * 10 ** (d + p) if d + p >= 0 else (0 if -(d + p) > 19 else half_up(m, -(d + p)))
    digits = str(n)
    integer = digits[:-p] if len(digits) > p else ""
    fraction = digits[-p:].rjust(p, "0")
    if len(integer) > a + 3:
        g = i - 1 + p
        l = len(str(m))
        r = m * 10 ** (g - l) if l <= g else half_up(m, l - g)
        x = d + l - (i - 1)
        if r == 10**g:
            r, x = 10 ** (g - 1), x + 1
        rs = str(r)
        return ((sign or " ") + rs[: i - 1] + "." + rs[i - 1 :] + "E" + ("+" if x >= 0 else "-")
                + str(abs(x)))
    if not integer:
        integer = "0" if a >= 1 else ""
    return (sign + integer).rjust(i) + "." + fraction


def data_line(frequency_text, results, fmt):
    numbers = [v for pair in results for v in pair]
    if fmt == RI:
        return frequency_text + "".join(" " + field(v, 2, 9) for v in numbers) + "\r\n"
    return frequency_text + "".join(
        " " + field(numbers[k], 2, 9) + " " + field(numbers[k + 1], 4, 9) for k in range(0, 8, 2)
    ) + "\r\n"


# ---------------------------------------------------------------- a run

def read_lines(name):
    with open(name + ".s2p", "rb") as f:
        data = f.read().decode("latin-1")
    lines = data.split("\n")
    if lines and lines[-1] == "":
        lines.pop()
    return [l[:-1] if l.endswith("\r") else l for l in lines]


def skip_to_option_line(lines):
    while lines:
        line = lines.pop(0)
        if line.startswith("#"):
            return line
    return None


def run(forward, reverse, output, impedance):
    if output in (forward, reverse):
        return 1
    single = forward == reverse
    f_lines = read_lines(forward)
    r_lines = [] if single else read_lines(reverse)
    z_new = parse_number(impedance)
    if not (math.isfinite(z_new) and z_new > 0):
        return 1
    option = skip_to_option_line(f_lines)
    if option is None:
        return 1
    f_order, reference, refused, f_none = keyword_lines(f_lines)
    r_order, r_none = False, False
    if not single:
        refused = refused or names_other_parameters(clean_line(option))
        option = skip_to_option_line(r_lines)
        if option is None:
            return 1
        r_order, reference, r_refused, r_none = keyword_lines(r_lines)
        refused = refused or r_refused
    line, fmt, z_old = read_option_line(option)
    if refused or names_other_parameters(line):
        return 1
    if reference is not None:
        z_old = reference
    if not (math.isfinite(z_old) and z_old > 0):
        return 1
    out = [rewrite_option_line(line, z_old, z_new) + "\r\n"]
    gamma = (float((LD(z_old) - LD(z_new)) / (LD(z_old) + LD(z_new))), 0.0)
    reader = Reader()
    while True:
        rec = "" if f_none else reader.next_record(f_lines, 1)
        if not rec:
            break
        f_frequency = reader.last[1]
        pairs, tokens = take_pairs(rec, 4 if single else 2, f_order)
        s11, s21 = pairs[0], pairs[1]
        if single:
            s12, s22 = pairs[2], pairs[3]
            if tokens <= 5:
                s12, s22 = s21, s11
        else:
            rev = "" if r_none else reader.next_record(r_lines, 2)
            if not rev or reader.last[2] != f_frequency:
                return 1
            w, _ = take_pairs(rev, 2, r_order)
            s22, s12 = w[0], w[1]
        params = [s11, s21, s12, s22]
        if fmt != RI:
            params = [to_ri(p, fmt) for p in params]
        results = renormalise(*params, gamma)
        if fmt != RI:
            results = [from_ri(p, fmt) for p in results]
        out.append(data_line(reader.frequency_text, results, fmt))
    with open(output + ".s2p", "wb") as f:
        f.write("".join(out).encode("latin-1"))
    return 0


if __name__ == "__main__":
    sys.exit(run(*sys.argv[1:5]))

#!/usr/bin/python3
"""A second, independent model of a tavrin conversion, written in Python.

Numbers are read with Python's correctly rounded float(), the arithmetic runs in numpy's
long double (the same 80-bit extended type, rounded to a Python float where a value is
stored) and the numeric pictures are rendered with Python integers. Comparing its output
with the tool's, byte for byte, on many generated files checks the tool against a model
that shares none of its code. A file with a different reference at each port is converted
with the matrix formula in long double; only the values of that output are modelled, not
its last bits.

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


def tokens_of(text):
    return [t for t in text.split(" ") if t]


NOT_RENORMALISED = ("DATA IS NOT RENORMALIZED", "DATA IS NOT RENORMALISED")


class Lines(list):
    """A file's lines. Until the first record is read, a comment line saying the data was not
    renormalised is noted: such a file's numbers keep per-port references it does not name."""

    def __init__(self, lines):
        super().__init__(lines)
        self.watching = True
        self.not_renormalised = False

    def pop(self, index=-1):
        line = super().pop(index)
        if self.watching and line.lstrip(" \t").startswith("!"):
            text = re.sub(r"[ \t]+", " ", line)
            text = "".join(c.upper() if "a" <= c <= "z" else c for c in text)
            if any(words in text for words in NOT_RENORMALISED):
                self.not_renormalised = True
        return line


def next_cleaned(lines):
    while lines:
        line = clean_line(lines.pop(0))
        if line:
            return line
    return None


def keyword_name(line):
    close = line.find("]")
    return (line[1:] if close < 0 else line[1:close]).replace(" ", "").upper()


def keyword_lines(lines):
    """Reads the Touchstone 2.0 keyword lines before the first data line (left in lines).
    Gives (order_12_21, (port 1, port 2) reference or None, refused, no_data)."""
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
        name = keyword_name(line)
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
            # One value is both ports'; a second [Reference] may only repeat the first.
            if not values or len(values) > 2 or (reference is not None and reference != tuple(values)):
                refused = True
            elif reference is None:
                reference = tuple(values)
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
    """The S-parameter records of one file, in rising frequency, and how they ended: once they
    end nothing more is read as S-parameters, and the ending may start a noise block."""

    def __init__(self, lines):
        self.lines = lines
        self.last = 0.0
        self.started = False
        self.frequency_text = ""
        self.last_tokens = 0
        self.ended = False
        self.broken = False  # a frequency with no numbers after it: a record cut short
        # ("normalised", first noise line) after a drop or a four-number repeat,
        # ("ohms", None) after [Noise Data]; None when the data ended any other way.
        self.noise = None

    def next_record(self):
        rec = "" if self.ended else self.read()
        if not rec:
            self.ended = True
        return rec

    def record(self, f, rest):
        self.last = f
        self.started = True
        self.lines.watching = False
        # S11 S21 after the frequency and S12 S22 alone on the next line are one record.
        if len(tokens_of(rest)) == 4:
            for i, raw in enumerate(self.lines):
                after = clean_line(raw)
                if not after:
                    continue
                if not after.startswith("[") and len(tokens_of(after)) == 4:
                    del self.lines[: i + 1]
                    rest = rest + " " + after
                break
        self.last_tokens = len(tokens_of(rest))
        return rest

    def read(self):
        while self.lines:
            line = clean_line(self.lines.pop(0))
            if not line:
                continue
            # Any keyword line ends the records, even one after lines that were skipped.
            if line.startswith("["):
                if self.started and keyword_name(line) == "NOISEDATA":
                    self.noise = ("ohms", None)
                return ""
            blank = line.find(" ")
            self.frequency_text = "" if blank < 0 else line[:blank]
            f, rest = pop_number(line)
            if not rest and (f > self.last or SINGLE_DECIMAL.match(line)):
                self.broken = True
                return ""
            if f == self.last:
                zero_written = bool(SINGLE_DECIMAL.match(line if blank < 0 else line[:blank]))
                if not self.started and zero_written:
                    return self.record(f, rest)
                if self.started and f == 0 and not zero_written:
                    return ""
                # A version 1 noise block may start at the last S frequency: four numbers
                # where the records held eight.
                if self.started and self.last_tokens == 8 and len(tokens_of(rest)) == 4:
                    self.noise = ("normalised", line)
                    return ""
                continue
            if f > self.last:
                return self.record(f, rest)
            if self.started:
                self.noise = ("normalised", line)
            return ""
        return ""


def noise_lines(reader):
    """The noise block after the S data: (frequency token, four values) per line, up to the
    first line that is not a rising noise line."""
    if reader.noise is None:
        return []
    kind, pending = reader.noise
    found = []
    while True:
        line = pending if pending is not None else next_cleaned(reader.lines)
        pending = None
        if line is None or line.startswith("["):
            break
        blank = line.find(" ")
        token = line if blank < 0 else line[:blank]
        rest = tokens_of("" if blank < 0 else line[blank:])
        if not SINGLE_DECIMAL.match(token) or len(rest) != 4:
            break
        if not all(SINGLE_DECIMAL.match(t) for t in rest):
            break
        f = float(token)
        if not found and kind == "ohms" and not f <= reader.last:
            return []  # a version 1 file cannot hold noise above its last S frequency
        if found and not f > found[-1][1]:
            break
        found.append((token, f, [float(t) for t in rest]))
    return [(token, values) for token, _, values in found]


def truncated(rec):
    """A two-port line holds S11 and S21, or all four pairs: any other count up to eight is a
    line cut short, whose missing numbers are not to be made up."""
    return len(tokens_of(rec)) not in (4,) and len(tokens_of(rec)) < 8


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
    """The cleaned option line, its format, the reference list after the first "R " and the
    position just after that list (-1 with no "R ")."""
    line = "".join(c.upper() if "a" <= c <= "z" else c for c in clean_line(line))
    if "DB" in line:
        fmt = DB
    elif "RI" not in line:
        fmt = MA
    else:
        fmt = RI
    p = line.find("R ")
    if p < 0:
        return line, fmt, [], -1
    # The first token counts whatever it is; the list goes on while decimal numbers follow.
    values, end = [parse_number(line[p + 2 :])], -1
    for m in re.finditer(r"[^ ]+", line[p + 2 :]):
        if end >= 0:
            if not SINGLE_DECIMAL.match(m.group()):
                break
            values.append(float(m.group()))
        end = p + 2 + m.end()
    return line, fmt, values, end


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


def rewrite_reference_list(line, values, end, z_old, z_new):
    if len(values) < 2:
        return rewrite_option_line(line, z_old, z_new)
    # A list of references becomes the one new reference; what follows the list stays.
    return line[: line.find("R ")] + "R " + canonical_number_text(z_new) + line[end:]


def deciding_reference(keyword_reference, values, not_renormalised):
    """The (port 1, port 2) reference a file's numbers are given at, or None to refuse."""
    if keyword_reference is not None:
        refs = keyword_reference
    elif values:
        if len(values) > 2:
            return None
        refs = (values[0], values[-1])
    else:
        if not_renormalised:
            return None  # the data keeps per-port references the file does not state
        refs = (50.0, 50.0)
    if not all(math.isfinite(z) and z > 0 for z in refs):
        return None
    return refs


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


def renormalise_per_port(s11, s21, s12, s22, z1, z2, z_new):
    """S' = D (S - G)(I - G S)^-1 D^-1 with G and D diagonal, in long double, each result
    component rounded to a double once. The 2x2 product is written out: the off-diagonal
    terms then carry 1 - G^2 as a factor instead of a difference of rounded products, so a
    port whose G rounds to -1 gives an exact 0, not rounding noise that dB would magnify."""
    n = LD(z_new)
    g1, g2 = [(n - LD(z)) / (n + LD(z)) for z in (z1, z2)]
    d1, d2 = [(LD(z) + n) / (LD(2) * np.sqrt(LD(z) * n)) for z in (z1, z2)]
    c11, c21, c12, c22 = [np.clongdouble(complex(*s)) for s in (s11, s21, s12, s22)]
    product = c12 * c21
    det = (1 - g1 * c11) * (1 - g2 * c22) - (g1 * g2) * product
    o11 = ((c11 - g1) * (1 - g2 * c22) + g2 * product) / det
    o22 = ((c22 - g2) * (1 - g1 * c11) + g1 * product) / det
    o12 = (d1 * ((1 - g1 * g1) * c12 / det)) / d2
    o21 = (d2 * ((1 - g2 * g2) * c21 / det)) / d1
    return tuple((float(v.real), float(v.imag)) for v in (o11, o21, o12, o22))


def renormalise_noise(values, r1, z_new, ohms):
    """Fmin as read; the optimum source reflection seen from z_new instead of r1; Rn over z_new
    (given normalised to r1 in a version 1 block, in ohms after [Noise Data])."""
    fmin, mag, angle, rn = values
    r = (LD(z_new) - LD(r1)) / (LD(z_new) + LD(r1))
    a = (LD(3.14159265358979) * LD(angle)) / LD(180)
    gre, gim = LD(mag) * np.cos(a), np.sin(a) * LD(mag)
    # Complex differences, imaginary parts included: 0 - r gim, not -(r gim), decides the sign
    # of a zero angle.
    num = (gre - r, gim - LD(0))
    den = (1 - r * gre, LD(0) - r * gim)
    d2 = den[0] * den[0] + den[1] * den[1]
    qre = (num[0] * den[0] + num[1] * den[1]) / d2
    qim = (num[1] * den[0] - num[0] * den[1]) / d2
    magnitude = float(np.sqrt(qre * qre + qim * qim))
    degrees = float(np.arctan2(qim, qre) * LD(57.29577951308238))
    rn_new = float(LD(rn) / LD(z_new)) if ohms else float((LD(rn) * LD(r1)) / LD(z_new))
    return fmin, magnitude, degrees, rn_new


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
        if line.lstrip(" \t").startswith("#"):
            return line
    return None


def says_not_renormalised(name):
    """Whether a comment before the file's first record says the data was not renormalised,
    read in a pass of its own so that it does not hang on how far a run reads the file."""
    lines = Lines(read_lines(name))
    if skip_to_option_line(lines) is not None:
        no_data = keyword_lines(lines)[3]
        if not no_data:
            Reader(lines).next_record()
    return lines.not_renormalised


class File:
    def __init__(self, name):
        self.lines = Lines(read_lines(name))
        option = skip_to_option_line(self.lines)
        self.found = option is not None
        if not self.found:
            return
        self.order, keyword_reference, self.refused, self.no_data = keyword_lines(self.lines)
        self.option, self.fmt, self.values, self.end = read_option_line(option)
        self.refs = deciding_reference(keyword_reference, self.values, says_not_renormalised(name))


def run(forward, reverse, output, impedance):
    return convert(forward, reverse, output, impedance)[0]


def convert(forward, reverse, output, impedance):
    """The exit status, and whether the output was renormalised per port (then only its
    numbers, not its bytes, are modelled)."""
    if output in (forward, reverse):
        return 1, False
    single = forward == reverse
    f = File(forward)
    r = f if single else File(reverse)
    z_new = parse_number(impedance)
    if not (math.isfinite(z_new) and z_new > 0):
        return 1, False
    if not f.found or not r.found:
        return 1, False
    if f.refused or r.refused or names_other_parameters(f.option) or names_other_parameters(r.option):
        return 1, False
    if f.refs is None or r.refs is None:
        return 1, False
    z1, z2 = f.refs
    per_port = z1 != z2
    # The two files of one measurement must share one reference.
    if not single and (per_port or r.refs[0] != r.refs[1] or r.refs[0] != z1):
        return 1, False
    # The reverse file's option line is the one written.
    out = [rewrite_reference_list(r.option, r.values, r.end, r.refs[0], z_new) + "\r\n"]
    gamma = (float((LD(z1) - LD(z_new)) / (LD(z1) + LD(z_new))), 0.0)
    fmt = r.fmt
    f_reader, r_reader = Reader(f.lines), Reader(r.lines)
    while True:
        rec = "" if f.no_data else f_reader.next_record()
        if f_reader.broken:
            return 1, False
        if not rec:
            break
        if truncated(rec):
            return 1, False
        pairs, tokens = take_pairs(rec, 4 if single else 2, f.order)
        s11, s21 = pairs[0], pairs[1]
        if single:
            s12, s22 = pairs[2], pairs[3]
            if tokens == 4:
                s12, s22 = s21, s11
        else:
            rev = "" if r.no_data else r_reader.next_record()
            if not rev or r_reader.last != f_reader.last or truncated(rev):
                return 1, False
            w, _ = take_pairs(rev, 2, r.order)
            s22, s12 = w[0], w[1]
        params = [s11, s21, s12, s22]
        if fmt != RI:
            params = [to_ri(p, fmt) for p in params]
        if per_port:
            results = renormalise_per_port(*params, z1, z2, z_new)
        else:
            results = renormalise(*params, gamma)
        if fmt != RI:
            results = [from_ri(p, fmt) for p in results]
        # In two-file mode the reverse line's token is the one written.
        out.append(data_line((f_reader if single else r_reader).frequency_text, results, fmt))
    ohms = f_reader.noise is not None and f_reader.noise[0] == "ohms"
    for token, values in noise_lines(f_reader):
        numbers = renormalise_noise(values, z1, z_new, ohms)
        out.append(token + " " + field(numbers[0], 2, 9) + " " + field(numbers[1], 2, 9) + " "
                   + field(numbers[2], 4, 9) + " " + field(numbers[3], 2, 9) + "\r\n")
    with open(output + ".s2p", "wb") as out_file:
        out_file.write("".join(out).encode("latin-1"))
    return 0, per_port


if __name__ == "__main__":
    sys.exit(run(*sys.argv[1:5]))

"""What the independent checks of tests/reference share: scikit-rf as Debian packages it, data
pairs written and read back as an exporter and a reader see them, and the loop that runs the
cases, keeps the folders of failing ones and sums up."""
import contextlib
import io
import math
import shutil
import tempfile
import warnings

warnings.filterwarnings("ignore")
import numpy as np  # noqa: E402

# Debian's scikit-rf 0.15.4 still uses numpy.complex, which numpy 1.24 removed.
if not hasattr(np, "complex"):
    np.complex = complex
with contextlib.redirect_stdout(io.StringIO()):  # its note that matplotlib is missing
    import skrf  # noqa: E402,F401


def pair_text(value, fmt, digits=12):
    """Two tokens for one S-parameter, as an exporter writes them; zero magnitudes in dB as -inf."""
    if fmt == "RI":
        a, b = value.real, value.imag
    else:
        magnitude = abs(value)
        a = magnitude if fmt == "MA" else (20 * math.log10(magnitude) if magnitude else -math.inf)
        b = math.degrees(math.atan2(value.imag, value.real))
    return ["-inf" if a == -math.inf else f"{a:.{digits}g}", f"{b:.{digits}g}"]


def pair_value(tokens, fmt):
    """What a pair of tokens means, read back here with Python's own float()."""
    a, b = float(tokens[0]), float(tokens[1])
    if fmt == "RI":
        return complex(a, b)
    magnitude = a if fmt == "MA" else 10 ** (a / 20)
    return magnitude * complex(math.cos(math.radians(b)), math.sin(math.radians(b)))


def run_cases(prefix, jobs):
    """Runs each (label, job) in a fresh folder; a job gives (problems, arguments) or
    (problems, arguments, note). Prints a line per failing case, its folder kept, and the sum;
    returns the exit status."""
    total = failures = 0
    for label, job in jobs:
        folder = tempfile.mkdtemp(prefix=prefix)
        try:
            problems, arguments, *note = job(folder)
            total += 1
            if problems:
                failures += 1
                keep = folder + "-kept"
                shutil.copytree(folder, keep)
                said = f" [{note[0]}]" if note and note[0] else ""
                print(f"{label}: tavrin {' '.join(arguments)}: {'; '.join(problems)}{said}"
                      f" (files in {keep})")
        finally:
            shutil.rmtree(folder, ignore_errors=True)
    print(f"{total - failures} passed, {failures} failed")
    return 1 if failures else 0


# ------------------------------------------------------------------ any number of ports

WAVES = ["traveling", "power", "pseudo"]


def wave_rows(z, waves):
    """One port's (a, b) = M (V, I) at reference z, written straight from each definition."""
    z = complex(z)
    if waves == "traveling":
        k = 1 / (2 * np.sqrt(z))  # principal root
        return np.array([[k, k * z], [k, -k * z]])
    if waves == "power":
        k = 1 / (2 * math.sqrt(z.real))
        return np.array([[k, k * z], [k, -k * z.conjugate()]])
    k = math.sqrt(z.real) / (2 * abs(z))  # pseudo-waves
    return np.array([[k, k * z], [k, -k * z]])


def voltages_currents(s, z, waves):
    """The port voltages V and currents I as matrices on the incident waves a (b = S a)."""
    n = len(s)
    v_a, v_b, i_a, i_b = (np.zeros(n, complex) for _ in range(4))
    for p in range(n):
        (v_a[p], v_b[p]), (i_a[p], i_b[p]) = np.linalg.inv(wave_rows(z[p], waves))
    return np.diag(v_a) + np.diag(v_b) @ s, np.diag(i_a) + np.diag(i_b) @ s


def new_waves(v, i, z_new, waves):
    rows = [wave_rows(z, waves) for z in z_new]
    a = np.diag([r[0, 0] for r in rows]) @ v + np.diag([r[0, 1] for r in rows]) @ i
    b = np.diag([r[1, 0] for r in rows]) @ v + np.diag([r[1, 1] for r in rows]) @ i
    return a, b


def renormalised(s, z_old, z_new, waves):
    """S at the references z_new (one per port) of the network whose S at z_old is s. It is the
    impedance-matrix route with Z = V I^-1 multiplied out, so that it never inverts I: a thru,
    which has no impedance matrix, is converted too."""
    a, b = new_waves(*voltages_currents(np.asarray(s, complex), z_old, waves), z_new, waves)
    return b @ np.linalg.inv(a)


def by_impedance_matrix(s, z_old, z_new, waves):
    """The same through Z = V I^-1 itself; None where Z does not exist (I singular)."""
    v, i = voltages_currents(np.asarray(s, complex), z_old, waves)
    if np.linalg.cond(i) > 1e10:
        return None
    a, b = new_waves(v @ np.linalg.inv(i), np.eye(len(s)), z_new, waves)
    return b @ np.linalg.inv(a)


def off_by(a, b):
    """The worst elementwise difference, relative to max(1, |b|)."""
    a, b = np.asarray(a), np.asarray(b)
    return np.max(np.abs(a - b) / np.maximum(1.0, np.abs(b)))


UNITS = {"hz": 1.0, "khz": 1e3, "mhz": 1e6, "ghz": 1e9}


def read_touchstone(text, ports=None):
    """An own reader for what scikit-rf 0.15.4 does not read: its Network takes z0 from the
    option line only, and it knows neither [Matrix Format], [Two-Port Data Order] nor
    [Noise Data]. Reads version 1 (`ports` needed) and 2.0 text: returns a dict with version,
    ports, fmt, f (Hz), s (records x N x N), z0 (per port), keywords. Raises ValueError."""
    keywords, option, refs, data, state = {}, None, None, [], "head"
    for line in text.replace("\r\n", "\n").split("\n"):
        body = line.split("!", 1)[0].strip()
        if not body:
            continue
        if body.startswith("["):
            key, _, rest = body[1:].partition("]")
            key = key.strip().lower()
            if key in ("noise data", "end"):
                break
            keywords[key] = rest.split()
            state = {"reference": "reference", "network data": "data"}.get(key, "keywords")
            if key == "reference":
                refs = [float(x) for x in rest.split()]
            continue
        if body.startswith("#"):
            option = body[1:].lower().split()
            state = "data" if "version" not in keywords else "keywords"
            continue
        if state == "reference":
            refs += [float(x) for x in body.split()]
        elif state == "data":
            data += [float(x) for x in body.split()]
        else:
            raise ValueError(f"unexpected line {line!r}")
    if option is None:
        raise ValueError("no option line")
    version = keywords.get("version", ["1"])[0]
    n = int(keywords["number of ports"][0]) if "number of ports" in keywords else ports
    if n is None:
        raise ValueError("no port count")
    unit = next((t for t in option if t in UNITS), "ghz")
    fmt = next((t for t in option if t in ("ri", "ma", "db")), "ma").upper()
    after_r = option[option.index("r") + 1:] if "r" in option else ["50"]
    z0 = refs if refs else [float(x) for x in after_r]
    z0 = z0 * n if len(z0) == 1 else z0
    if len(z0) != n:
        raise ValueError(f"{len(z0)} references for {n} ports")
    shape = keywords.get("matrix format", ["full"])[0].lower()
    cells = [(i, j) for i in range(n) for j in range(n)
             if shape == "full" or (j <= i if shape == "lower" else j >= i)]
    if n == 2 and keywords.get("two-port data order", ["21_12"])[0] == "21_12":
        cells = [(0, 0), (1, 0), (0, 1), (1, 1)]  # also every version 1 two-port line
    width = 1 + 2 * len(cells)
    if len(data) % width:
        raise ValueError(f"{len(data)} numbers, not a whole number of {width}-number records")
    records = np.array(data).reshape(-1, width)
    s = np.zeros((len(records), n, n), complex)
    for k, record in enumerate(records):
        for c, (i, j) in enumerate(cells):
            s[k, i, j] = pair_value(record[1 + 2 * c:3 + 2 * c], fmt)
            if shape != "full":
                s[k, j, i] = s[k, i, j]
    return {"version": version, "ports": n, "fmt": fmt, "f": records[:, 0] * UNITS[unit],
            "s": s, "z0": np.array(z0, float), "keywords": keywords, "option": option}

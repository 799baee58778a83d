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

"""The same job done with scikit-rf, the library an engineer would otherwise script:
read a two-port Touchstone file, renormalise it to a new real reference impedance and write it
in the input's own data format.

    python3 skrf_job.py INPUT.s2p OUTPUT_BASE IMPEDANCE ri|ma|db
"""
import sys
import warnings

warnings.filterwarnings("ignore")
import numpy  # noqa: E402

# Debian's scikit-rf 0.15.4 still uses numpy.complex, which numpy 1.24 removed; the builtin
# complex is what that alias always meant.
if not hasattr(numpy, "complex"):
    numpy.complex = complex
import skrf  # noqa: E402

source, target, impedance, form = sys.argv[1], sys.argv[2], float(sys.argv[3]), sys.argv[4]
network = skrf.Network(source)
network.renormalize(impedance)
# Nine decimals, as tavrin writes them.
network.write_touchstone(target, form=form, skrf_comment=False,
                         format_spec_A="{:.9f}", format_spec_B="{:.9f}")

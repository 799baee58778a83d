#!/usr/bin/env bash
# The tool against the independent Python model, byte for byte (numerically where references
# differ per port), on generated files in every data format, single-file and forward/reverse,
# with awkward exporters' quirks and noise blocks; then against the textbook renormalisation
# as another Touchstone reader reads the outputs.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
"$root/scripts/ensure-packages" python3 python3-numpy python3-scikit-rf
tool="$root/build-test/tavrin"
[ -x "$tool" ] || { echo "build the plain suite first ($tool missing)"; exit 1; }
/usr/bin/python3 "$root/tests/reference/compare_with_model.py" "$tool" 600 1
/usr/bin/python3 "$root/tests/reference/compare_with_model.py" "$tool" 600 2
# Independent of the rules: the textbook formula, scikit-rf reading every output, round trips.
/usr/bin/python3 "$root/tests/reference/check_against_textbook.py" "$tool" 300 1
# References per port and per frequency against each wave definition's own impedance-matrix
# route; noise blocks against the noise figure they give for several source impedances.
/usr/bin/python3 "$root/tests/reference/check_port_impedances.py" "$tool" 1000 1
/usr/bin/python3 "$root/tests/reference/check_noise.py" "$tool" 190 1
# Files of 1 to 12 ports through the file form (--to): version 1 and 2.0 layouts, references
# as files state them, per-port new references, round trips, and the four-argument form's
# bytes for two-ports.
/usr/bin/python3 "$root/tests/reference/check_nport.py" "$tool" 300 1
# Differential pairs: mixed-mode outputs and inputs against numpy's M S M^T and scikit-rf's
# se2gmm, read back by an own reader of [Mixed-Mode Order]; its refusals.
/usr/bin/python3 "$root/tests/reference/check_mixed_mode.py" "$tool" 1500 1

#!/usr/bin/env bash
# The tool against the independent Python model, byte for byte, on generated files in
# every data format, single-file and forward/reverse, with awkward exporters' quirks.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
"$root/scripts/ensure-packages" python3 python3-numpy
tool="$root/build-test/tavrin"
[ -x "$tool" ] || { echo "build the plain suite first ($tool missing)"; exit 1; }
/usr/bin/python3 "$root/tests/reference/compare_with_model.py" "$tool" 600 1
/usr/bin/python3 "$root/tests/reference/compare_with_model.py" "$tool" 600 2

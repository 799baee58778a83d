#!/usr/bin/env bash
# The pictures of --plot as a reader sees them: drawn to pixels by rsvg-convert and by one
# short run of a headless Chromium, and read where their own scales say the data must be; and
# the reduction of a file of 10^6 records (a spike and a null kept, the size and memory bounded).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
"$root/scripts/ensure-packages" python3 python3-numpy python3-pil librsvg2-bin chromium
tool="$root/build-test/tavrin"
[ -x "$tool" ] || { echo "build the plain suite first ($tool missing)"; exit 1; }
/usr/bin/python3 "$root/tests/reference/check_plot.py" "$tool"

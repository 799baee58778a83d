#!/usr/bin/env bash
# The Windows build, cross-compiled with MinGW-w64 and checked under Wine.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
bash "$root/tests/windows/run_under_wine.sh"

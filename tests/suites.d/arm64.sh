#!/usr/bin/env bash
# The aarch64 build, cross-compiled with Debian's g++-aarch64-linux-gnu and run under qemu-user
# (always through qemu-aarch64 explicitly: no binfmt registration is assumed):
#   1. cross-builds tavrin and the tests (build-arm64) and runs ctest there, every test
#      executable and every tavrin the end-to-end tests start running under qemu-aarch64;
#   2. compares the aarch64 tavrin with the x86-64 one of the plain build (build-test/tavrin),
#      line by line, exit status and printed text: on the model suite's generated cases
#      (compare_with_model.py --write, both seeds), on generated two-port files of 10^6
#      records in RI, MA and DB (bench/generate_s2p.cpp, built natively in build-arm64-host),
#      and on a four-port file through the file form (bench/generate_nport.py).
# Results are defined in x87 extended arithmetic, which the aarch64 build gets from the
# software extended type (TAVRIN_SOFT_EXTENDED): the outputs must be the same bytes.
set -euo pipefail

# Lines that one output file may differ in before the step fails. 0: bit for bit.
allowed_differing_lines=${TAVRIN_ARM64_ALLOWED_LINES:-0}
# Records of each generated two-port file, and of the four-port file.
records=${TAVRIN_ARM64_RECORDS:-1000000}
nport_records=${TAVRIN_ARM64_NPORT_RECORDS:-20000}
# The first cases of each of the model suite's two seeds (the same files as its first cases).
model_cases=${TAVRIN_ARM64_MODEL_CASES:-300}

root=$(cd "$(dirname "$0")/../.." && pwd)
build=$root/build-arm64
host_build=$root/build-arm64-host
tool=$root/build-test/tavrin
started=$SECONDS
"$root/scripts/ensure-packages" cmake g++ make googletest g++-aarch64-linux-gnu qemu-user \
  python3 python3-numpy
[ -x "$tool" ] || { echo "build the plain suite first ($tool missing)"; exit 1; }
qemu=$(command -v qemu-aarch64)
failures=0
step() { echo "-- $1 ($((SECONDS - started)) s)"; }

step "cross build ($build)"
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/aarch64-linux-gnu.cmake" \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2
aarch64-linux-gnu-readelf -h "$build/tavrin" | grep -q 'Machine: *AArch64' ||
  { echo "FAIL: $build/tavrin is not an aarch64 executable"; exit 1; }

step "ctest under $qemu"
(cd "$build" && ctest --output-on-failure -j2 --timeout 600) || failures=$((failures + 1))

step "native generator ($host_build)"
cmake -S "$root" -B "$host_build" -DCMAKE_BUILD_TYPE=Release -DTAVRIN_BUILD_TESTS=OFF \
  -DTAVRIN_BUILD_BENCH=ON >/dev/null
cmake --build "$host_build" -j2 --target tavrin_generate_s2p >/dev/null

work=$(mktemp -d "${TMPDIR:-/tmp}/tavrin-arm64-XXXXXX")
trap 'rm -rf "$work"' EXIT
jobs=$work/jobs
mkdir -p "$jobs"

step "inputs: $model_cases model cases of each seed, $records-record files, a four-port file of $nport_records records"
for seed in 1 2; do
  /usr/bin/python3 "$root/tests/reference/compare_with_model.py" --write "$work/model-$seed" \
    "$model_cases" "$seed" >/dev/null
  for case in "$work/model-$seed"/*; do mv "$case" "$jobs/model-$seed-$(basename "$case")"; done
done
for format in ri ma db; do
  mkdir -p "$jobs/generated-$format"
  "$host_build/bench/tavrin_generate_s2p" "$format" "$records" "$jobs/generated-$format/big" \
    --seed 7
  echo "big big out 75" >"$jobs/generated-$format/arguments"
done
mkdir -p "$jobs/generated-4port"
/usr/bin/python3 "$root/bench/generate_nport.py" 4 "$nport_records" ma "$jobs/generated-4port/in.s4p" 3
echo "--to 75 in.s4p out.s4p" >"$jobs/generated-4port/arguments"

step "x86-64 ($tool) against aarch64 ($build/tavrin under qemu), up to $allowed_differing_lines differing line(s) a file"
/usr/bin/python3 "$root/tests/arm64/compare_builds.py" "$jobs" "$work" "$allowed_differing_lines" \
  "$tool" -- "$qemu" "$build/tavrin" || failures=$((failures + 1))

step "done"
if [ "$failures" -ne 0 ]; then
  echo "aarch64 build under qemu: $failures part(s) failed"
  exit 1
fi
echo "aarch64 build under qemu: all passed"

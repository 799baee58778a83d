#!/usr/bin/env bash
# The Windows build, checked under Wine without a display:
#   1. cross-builds tavrin.exe and the unit tests with MinGW-w64 (warnings are errors);
#   2. runs every Windows unit test executable under Wine;
#   3. runs the Linux end-to-end tests (those that start the tool) against tavrin.exe;
#   4. plays the interactive dialogue in a tmux pane on Wine's console
#      (tests/windows/interactive_under_wine.sh);
#   5. compares, byte for byte and exit status for exit status, the Linux and Windows runs on
#      every file in examples/ (single-file runs of each, two-file runs of each *_fwd/*_rev
#      pair), at several impedances, plus the failure statuses of the command line.
#      Step 5 always includes two generated MA files of 3000 points (random values, and angles on
#      multiples of 45 degrees): sine and cosine are the program's own on both platforms and
#      atan2, log and sqrt are the same x87 instructions, so MA output is identical by
#      construction. So are a field solver's file with port impedances per record and a file
#      with a reference per port and a noise block, whose long double arithmetic is written
#      out in the program.
# TAVRIN_WINE_STRESS=1 adds generated RI and DB files: random values, and DB data on multiples
# of 45 degrees. DB goes through 10^x, where Linux keeps glibc's pow and Windows has the
# program's correctly rounded one; glibc's misses in about 0.08% of exponents, which shows in
# about one DB line in 10^5 at ordinary impedances and one in 10^4 at extreme ones (0.001,
# 1e6): expect generated_DB to differ in a line or two there.
# Build folders: TAVRIN_WIN_BUILD (default build-win), TAVRIN_HOST_BUILD (default
# build-winhost), both under the repository.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
win_build=${TAVRIN_WIN_BUILD:-$root/build-win}
host_build=${TAVRIN_HOST_BUILD:-$root/build-winhost}
started=$SECONDS

"$root/scripts/ensure-packages" cmake g++ make googletest libgtest-dev libgmock-dev tmux \
  g++-mingw-w64-x86-64 wine64

# shellcheck source=tests/windows/wine_prefix.sh
source "$root/tests/windows/wine_prefix.sh"
scratch=$wine_scratch

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

echo "-- cross build ($win_build)"
cmake -S "$root" -B "$win_build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$win_build" -j2

# Test sources that start the tool run only on Linux; their executables drive tavrin.exe.
e2e_tests=()
# (the same rule as tests/CMakeLists.txt: they call run_tool or run conversions through it)
for source in $(grep -rlE --include='*_test.cpp' 'run_tool\(|conversion_support\.hpp' "$root/tests"); do
  e2e_tests+=("$(basename "$source" .cpp)")
done
echo "-- native build ($host_build): tavrin ${e2e_tests[*]}"
cmake -S "$root" -B "$host_build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$host_build" -j2 --target tavrin "${e2e_tests[@]}"

echo "-- starting Wine (the first start sets up the prefix)"
wine_start

echo "-- Windows unit tests under Wine"
run_unit_test() {  # exe, log
  "$wine_loader" "$1" </dev/null >"$2" 2>&1
}
for test_exe in "$win_build"/tests/*_test.exe; do
  name=$(basename "$test_exe")
  log=$scratch/$name.log
  status=0
  run_unit_test "$test_exe" "$log" || status=$?
  # A program that never reached the test framework's summary was stopped by Wine, not by a
  # test: run it once more, and say so, before calling it failed.
  if [ $status -ne 0 ] && ! grep -a -q '^\[==========\] .* ran\.' "$log"; then
    echo "note $name: exit $status before the test summary; run again. Wine said:"
    tr -d '\r' <"$log" | tail -5
    status=0
    run_unit_test "$test_exe" "$log" || status=$?
  fi
  if [ $status -eq 0 ]; then
    echo "ok   $name: $(grep -a -c '^\[       OK \]' "$log") tests"
  else
    fail "$name (exit $status)"
    tr -d '\r' <"$log" | grep -a -A12 '^\[ RUN\|FAILED' | tail -40
    tr -d '\r' <"$log" | tail -5
  fi
done

echo "-- Linux end-to-end tests against tavrin.exe"
for name in "${e2e_tests[@]}"; do
  if TAVRIN_TEST_EXE="$win_build/tavrin.exe" TAVRIN_TEST_RUNNER="$wine_loader" \
     "$host_build/tests/$name" </dev/null >"$scratch/$name.log" 2>&1; then
    echo "ok   $name: $(grep -a -c '^\[       OK \]' "$scratch/$name.log") tests"
  else
    fail "$name against tavrin.exe"
    grep -a -B2 -A12 'Failure' "$scratch/$name.log" | tail -60
  fi
done

bash "$root/tests/windows/interactive_under_wine.sh" "$win_build/tavrin.exe" "$host_build/tavrin" \
  "$wine_loader" || fail "the dialogue under Wine"

echo "-- Linux and Windows outputs byte for byte"
linux_dir=$scratch/linux
windows_dir=$scratch/windows
mkdir -p "$linux_dir" "$windows_dir"
cp "$root"/examples/*.s2p "$linux_dir"/
generated_formats=MA
[ "${TAVRIN_WINE_STRESS:-0}" = 1 ] && generated_formats="RI MA DB"
# Random values, random digit counts, a few huge or tiny ones: rare last-digit cases.
for format in $generated_formats; do
  awk -v format=$format 'BEGIN {
    srand(20261208); print "! generated"; print "# GHz S " format " R 50"
    for (i = 1; i <= 3000; i++) {
      line = sprintf("%.6f", i * 0.01)
      for (k = 0; k < 4; k++) {
        if (format == "RI") { a = (rand() * 2 - 1) * (rand() < 0.1 ? 1000 : 1); b = rand() * 2 - 1 }
        else if (format == "MA") { a = rand() * (rand() < 0.1 ? 100 : 1.5); b = rand() * 360 - 180 }
        else { a = rand() * 80 - 60; b = rand() * 360 - 180 }
        line = line sprintf(" %.*g %.*g", 1 + int(rand() * 16), a, 1 + int(rand() * 16), b)
      }
      print line
    } }' >"$linux_dir/generated_$format.s2p"
done
# Angles on multiples of 45 degrees, as idealised data has them: sine and cosine near 0.
for format in $generated_formats; do
  [ "$format" = RI ] && continue
  awk -v format=$format 'BEGIN {
    srand(45); print "# MHz S " format " R 50"
    for (i = 1; i <= 3000; i++) {
      line = i
      for (k = 0; k < 4; k++) {
        m = format == "MA" ? sprintf("%.6f", rand()) : sprintf("%.4f", -rand() * 40)
        line = line " " m " " (int(rand() * 8) * 45 - 180)
      }
      print line
    } }' >"$linux_dir/right_angles_$format.s2p"
done
# A field solver's export: complex port impedances per record (the long double per-port path,
# with its own square roots and divisions), and a noise block after a drop.
awk 'BEGIN {
  srand(17); print "! Data is not renormalized"; print "# GHZ S MA"
  for (i = 1; i <= 1000; i++) {
    line = sprintf("%.3f", i * 0.01)
    for (k = 0; k < 4; k++) line = line sprintf(" %.9g %.9g", rand() * 1.2, rand() * 360 - 180)
    print line
    print "! Gamma ! 0 " rand() " 0 " rand()
    printf "! Port Impedance %.9g %.9g %.9g %.9g\n", 20 + rand() * 400, rand() * 20 - 10, rand() * 90 + 5, rand() * 60 - 30
  } }' >"$linux_dir/generated_solver.s2p"
awk 'BEGIN {
  srand(18); print "# GHz S RI R 50 75"
  for (i = 1; i <= 500; i++) {
    line = sprintf("%.2f", i * 0.1)
    for (k = 0; k < 8; k++) line = line sprintf(" %.10g", rand() * 2 - 1)
    print line
  }
  for (i = 1; i <= 50; i++) printf "%.1f %.3f %.4f %.2f %.4f\n", i, rand() * 3, rand(), rand() * 360 - 180, rand() }' \
  >"$linux_dir/generated_per_port_noise.s2p"
cp "$linux_dir"/*.s2p "$windows_dir"/

runs=()  # "forward reverse impedance" triples
for file in "$linux_dir"/*.s2p; do
  base=$(basename "$file" .s2p)
  for z in 50 75 12.5 0.001 1e6; do runs+=("$base $base $z"); done
  case "$base" in
    *_fwd) for z in 50 25 100; do runs+=("$base ${base%_fwd}_rev $z"); done ;;
  esac
done
# Every exit status of the command line: equal names, missing inputs, no usable impedance,
# no option line, a directory as the output.
printf 'no option line here\r\n' >"$linux_dir/headless.s2p"
cp "$linux_dir/headless.s2p" "$windows_dir/"
mkdir -p "$linux_dir/folder.s2p" "$windows_dir/folder.s2p"
first=$(basename "$(ls "$root"/examples/*.s2p | head -n 1)" .s2p)
status_runs=(
  "$first $first $first 50" "$first missing out 50" "missing missing out 50"
  "$first $first out 0" "$first $first out -5" "$first $first out x" "$first $first out 75ohm"
  "headless headless out 50" "$first headless out 50" "$first $first folder 50"
)

compared=0
run_pair() {  # label, arguments...
  local label=$1; shift
  local linux_status=0 windows_status=0
  (cd "$linux_dir" && "$host_build/tavrin" "$@" </dev/null >"$scratch/linux.printed" 2>&1) ||
    linux_status=$?
  (cd "$windows_dir" && "$wine_loader" "$win_build/tavrin.exe" "$@" </dev/null \
     >"$scratch/windows.printed" 2>&1) || windows_status=$?
  compared=$((compared + 1))
  [ "$linux_status" = "$windows_status" ] ||
    fail "$label: exit status $linux_status on Linux, $windows_status on Windows"
  [ -s "$scratch/windows.printed" ] && fail "$label: the Windows build printed something"
  local output="$3.s2p"
  if [ -f "$linux_dir/$output" ] || [ -f "$windows_dir/$output" ]; then
    cmp -s "$linux_dir/$output" "$windows_dir/$output" ||
      { fail "$label: $output differs"; diff <(tr -d '\r' <"$linux_dir/$output") \
          <(tr -d '\r' <"$windows_dir/$output") | head -6 || true; }
  fi
  return 0
}
for triple in "${runs[@]}"; do
  read -r forward reverse z <<<"$triple"
  run_pair "$forward $reverse $z" "$forward" "$reverse" out_cmp "$z"
done
for arguments in "${status_runs[@]}"; do
  rm -f "$linux_dir/out.s2p" "$windows_dir/out.s2p"
  # shellcheck disable=SC2086
  run_pair "$arguments" $arguments
done
# The file form on files of other port counts, and a two-port to a reference per port.
awk 'BEGIN {
  srand(19); print "# GHz S MA R 50"
  for (i = 1; i <= 300; i++) {
    printf "%.2f", i * 0.05
    for (r = 0; r < 4; r++) {
      for (c = 0; c < 4; c++) printf " %.9g %.9g", rand(), rand() * 360 - 180
      printf "\n"
    }
  } }' >"$linux_dir/generated.s4p"
cp "$linux_dir/generated.s4p" "$windows_dir/"
for arguments in "--to 75 generated.s4p out_cmp.s4p" "--to 25,50,75,100 generated.s4p out_cmp.ts" \
                 "--to 50,200 generated_solver.s2p out_cmp.ts"; do
  # shellcheck disable=SC2086
  set -- $arguments
  (cd "$linux_dir" && "$host_build/tavrin" "$@" </dev/null >/dev/null 2>&1) || fail "$arguments on Linux"
  (cd "$windows_dir" && "$wine_loader" "$win_build/tavrin.exe" "$@" </dev/null >/dev/null 2>&1) ||
    fail "$arguments on Windows"
  compared=$((compared + 1))
  cmp -s "$linux_dir/$4" "$windows_dir/$4" || fail "$arguments: $4 differs"
done
echo "compared $compared runs"

echo "-- $((SECONDS - started)) s"
if [ "$failures" -ne 0 ]; then
  echo "Windows build under Wine: $failures failure(s)"
  exit 1
fi
echo "Windows build under Wine: all passed"

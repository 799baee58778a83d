#!/usr/bin/env bash
# The packages as a user gets them: scripts/package builds all three; the .deb is checked for its
# fields and files, unpacked into a throw-away root, and the tavrin found there is run
# (--version, --help, a conversion of an example file) and its manual page rendered with
# man -l; the arm64 .deb is checked for its fields, files and libraries and its tavrin run under
# qemu-aarch64 the same way; the zip is checked for its files and its tavrin.exe run under Wine.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
"$root/scripts/ensure-packages" cmake g++ make gzip dpkg-dev man-db g++-mingw-w64-x86-64 wine64 \
  g++-aarch64-linux-gnu qemu-user

version=$(sed -n 's/^project(tavrin VERSION \([0-9][0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
[ -n "$version" ] || { echo "no project version found in CMakeLists.txt"; exit 1; }
deb="$root/build-packages/tavrin_${version}_$(dpkg --print-architecture).deb"
zip="$root/build-packages/tavrin-${version}-win64.zip"
arm64_deb="$root/build-packages/tavrin_${version}_arm64.deb"

# shellcheck source=tests/windows/wine_prefix.sh
source "$root/tests/windows/wine_prefix.sh"
work=$wine_scratch

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
expect_equal() {  # what, actual, expected
  [ "$2" = "$3" ] || fail "$1: got '$2', expected '$3'"
}

bash "$root/scripts/package" >/dev/null
[ -f "$deb" ] || { echo "FAIL: $deb was not made"; exit 1; }
[ -f "$zip" ] || { echo "FAIL: $zip was not made"; exit 1; }
[ -f "$arm64_deb" ] || { echo "FAIL: $arm64_deb was not made"; exit 1; }

# The worked example of the README: its command's first two output lines.
example=$(awk '/^`tavrin amplifier_ri amplifier_ri amp75 75` writes `amp75.s2p`, starting:/ { on = 1; next }
               on && /^    / { sub(/^    /, ""); print; if (++n == 2) exit }' "$root/README.md")
[ "$(printf '%s\n' "$example" | wc -l)" -eq 2 ] || { echo "FAIL: no worked example in README.md"; exit 1; }
check_conversion() {  # label, command to run tavrin with (arguments follow it)
  local label=$1; shift
  local run=$work/run-$label
  mkdir -p "$run"
  cp "$root/examples/amplifier_ri.s2p" "$run/"
  local status=0
  (cd "$run" && "$@" amplifier_ri amplifier_ri amp75 75 </dev/null >"$run/printed" 2>&1) || status=$?
  expect_equal "$label conversion status" "$status" 0
  [ -s "$run/printed" ] && fail "$label conversion printed: $(head -c 200 "$run/printed")"
  expect_equal "$label conversion output" "$(head -n 2 "$run/amp75.s2p" 2>/dev/null | tr -d '\r')" "$example"
}

echo "-- $(basename "$deb")"
expect_equal "Package" "$(dpkg-deb -f "$deb" Package)" tavrin
expect_equal "Version" "$(dpkg-deb -f "$deb" Version)" "$version"
dpkg-deb -f "$deb" Depends | grep -q 'libc6' || fail "Depends lacks libc6: $(dpkg-deb -f "$deb" Depends)"
files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | sort | tr '\n' ' ')
expect_equal "files" "$files" "./usr/bin/tavrin ./usr/share/doc/tavrin/LICENSE ./usr/share/doc/tavrin/README.md ./usr/share/man/man1/tavrin.1.gz "
dpkg -x "$deb" "$work/root"
installed=$work/root/usr/bin/tavrin
cmp -s "$work/root/usr/share/doc/tavrin/LICENSE" "$root/LICENSE" || fail "the packaged LICENSE differs"
status=0
printed=$("$installed" --version </dev/null 2>&1) || status=$?
expect_equal "--version status" "$status" 0
expect_equal "--version" "$printed" "tavrin $version"
status=0
printed=$("$installed" --help </dev/null 2>/dev/null) || status=$?
expect_equal "--help status" "$status" 0
expect_equal "--help first line" "$(printf '%s\n' "$printed" | head -n 1)" \
  "Usage: tavrin [OPTION...] --to IMPEDANCE INPUT OUTPUT"
check_conversion installed "$installed"
# The file form from the package: a two-port gives the four-argument form's bytes, and a
# one-port file (a matched 50-ohm load seen from 75 ohms reflects -0.2) is converted.
run=$work/run-installed
(cd "$run" && "$installed" --to 75 amplifier_ri.s2p file75.s2p </dev/null) || fail "file form status"
cmp -s "$run/file75.s2p" "$run/amp75.s2p" || fail "the file form's two-port output differs"
printf '# MHz S RI R 50\n100 0 0\n' >"$run/load.s1p"
(cd "$run" && "$installed" --to 75 load.s1p load75.s1p </dev/null) || fail "one-port status"
expect_equal "one-port output" "$(tr -d '\r' <"$run/load75.s1p" 2>/dev/null | tail -n 1)" \
  "100 -0.200000000  0.000000000"

# The manual page: found by name under the installed man folder, rendered without a warning.
manual=$work/root/usr/share/man/man1/tavrin.1.gz
expect_equal "man -w" "$(MANPATH=$work/root/usr/share/man man -w tavrin 2>&1)" "$manual"
status=0
MANWIDTH=80 man --warnings -P cat -l "$manual" >"$work/man.txt" 2>"$work/man.err" || status=$?
expect_equal "man -l status" "$status" 0
[ -s "$work/man.err" ] && fail "man -l warned: $(head -n 5 "$work/man.err")"
grep -q "tavrin $version" "$work/man.txt" || fail "the manual page does not show version $version"
grep -q -- "--version" "$work/man.txt" || fail "the manual page does not describe --version"

echo "-- $(basename "$arm64_deb")"
expect_equal "arm64 Package" "$(dpkg-deb -f "$arm64_deb" Package)" tavrin
expect_equal "arm64 Version" "$(dpkg-deb -f "$arm64_deb" Version)" "$version"
expect_equal "arm64 Architecture" "$(dpkg-deb -f "$arm64_deb" Architecture)" arm64
arm64_depends=$(dpkg-deb -f "$arm64_deb" Depends)
files=$(dpkg-deb -c "$arm64_deb" | awk '$1 !~ /^d/ { print $6 }' | sort | tr '\n' ' ')
expect_equal "arm64 files" "$files" "./usr/bin/tavrin ./usr/share/doc/tavrin/LICENSE ./usr/share/doc/tavrin/README.md ./usr/share/man/man1/tavrin.1.gz "
dpkg -x "$arm64_deb" "$work/arm64-root"
arm64_tavrin=$work/arm64-root/usr/bin/tavrin
aarch64-linux-gnu-readelf -h "$arm64_tavrin" | grep -q 'Machine: *AArch64' ||
  fail "the arm64 package's tavrin is not an aarch64 executable"
# Its Depends was set by hand (no dpkg-shlibdeps for a foreign architecture): every library
# the executable needs must come from a package it names.
for library in $(aarch64-linux-gnu-readelf -d "$arm64_tavrin" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
  case "$library" in
    libc.so.*|libm.so.*|ld-linux-aarch64.so.*) owner=libc6 ;;
    libstdc++.so.*) owner=libstdc++6 ;;
    libgcc_s.so.*) owner=libgcc-s1 ;;
    *) owner="" ;;
  esac
  # The package names of Depends, compared as fixed strings ('libstdc++6' is no pattern).
  if [ -z "$owner" ] ||
     ! printf '%s\n' "$arm64_depends" | tr ',' '\n' | awk '{ print $1 }' | grep -qxF "$owner"; then
    fail "arm64: $library is needed but Depends ($arm64_depends) does not name its package"
  fi
done
# The dynamically linked executable finds the cross libraries through QEMU_LD_PREFIX.
run_arm64() { QEMU_LD_PREFIX=/usr/aarch64-linux-gnu qemu-aarch64 "$@"; }
status=0
printed=$(run_arm64 "$arm64_tavrin" --version </dev/null 2>&1) || status=$?
expect_equal "arm64 --version status" "$status" 0
expect_equal "arm64 --version" "$printed" "tavrin $version"
status=0
printed=$(run_arm64 "$arm64_tavrin" --help </dev/null 2>/dev/null) || status=$?
expect_equal "arm64 --help status" "$status" 0
expect_equal "arm64 --help first line" "$(printf '%s\n' "$printed" | head -n 1)" \
  "Usage: tavrin [OPTION...] --to IMPEDANCE INPUT OUTPUT"
check_conversion arm64 run_arm64 "$arm64_tavrin"

echo "-- $(basename "$zip")"
top=tavrin-$version-win64
files=$(cmake -E tar tf "$zip" | sort | tr '\n' ' ')
expect_equal "zip files" "$files" "$top/LICENSE $top/README.md $top/tavrin.exe "
mkdir -p "$work/unzipped"
(cd "$work/unzipped" && cmake -E tar xf "$zip")
exe=$work/unzipped/$top/tavrin.exe
wine_start
status=0
printed=$("$wine_loader" "$exe" --version </dev/null 2>&1 | tr -d '\r') || status=$?
expect_equal "tavrin.exe --version status" "$status" 0
expect_equal "tavrin.exe --version" "$printed" "tavrin $version"
check_conversion windows "$wine_loader" "$exe"

if [ "$failures" -ne 0 ]; then
  echo "packages: $failures failure(s)"
  exit 1
fi
echo "packages: all checks passed ($(basename "$deb"), $(basename "$arm64_deb"), $(basename "$zip"))"

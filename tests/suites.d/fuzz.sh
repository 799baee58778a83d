#!/usr/bin/env bash
# Builds the libFuzzer targets in fuzz/ with clang and runs each for a bounded time from a
# copy of its seed corpus. A crash, a sanitizer report, a leak, a time-out, a violated
# property, or a file left behind fails the suite. TAVRIN_FUZZ_SECONDS changes the time
# per target (20 by default); a failing input is kept in build-fuzz/artifacts/.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
"$root/scripts/ensure-packages" cmake make clang-14 libclang-rt-14-dev

seconds=${TAVRIN_FUZZ_SECONDS:-20}
build="$root/build-fuzz"
cmake -S "$root/fuzz" -B "$build" -DCMAKE_CXX_COMPILER=clang++-14 >/dev/null
cmake --build "$build" -j2 >/dev/null

work=$(mktemp -d "${TMPDIR:-/tmp}/tavrin-fuzz.XXXXXX")
trap 'rm -rf "$work"' EXIT
failed=()
for source in "$root"/fuzz/*_fuzz.cpp; do
  target=$(basename "$source" _fuzz.cpp)
  corpus="$work/$target/corpus"
  scratch="$work/$target/tmp"      # the target's own temporary files go here
  artifacts="$work/$target/artifacts"
  mkdir -p "$corpus" "$scratch" "$artifacts"
  cp "$root/fuzz/corpus/$target"/* "$corpus"/
  log="$work/$target/log"
  start=$SECONDS
  if TMPDIR="$scratch" "$build/fuzz_$target" -max_total_time="$seconds" -timeout=10 \
       -rss_limit_mb=2048 -artifact_prefix="$artifacts/" "$corpus" >"$log" 2>&1; then
    if [ -n "$(ls -A "$scratch")" ]; then
      echo "fuzz_$target: left files behind:"; ls -A "$scratch"
      failed+=("$target")
    else
      echo "fuzz_$target: $(grep -Eo 'Done [0-9]+ runs' "$log" | tail -1) in $((SECONDS - start)) s"
    fi
  else
    echo "fuzz_$target FAILED:"
    tail -n 40 "$log"
    mkdir -p "$build/artifacts/$target"
    cp "$artifacts"/* "$build/artifacts/$target/" 2>/dev/null || true
    failed+=("$target")
  fi
done
if [ ${#failed[@]} -ne 0 ]; then
  echo "fuzzing failed for: ${failed[*]} (inputs in $build/artifacts/)"
  exit 1
fi

#!/usr/bin/env bash
# The threaded record loop and the pool of --out-dir under ThreadSanitizer: the tool and the
# tests built with -fsanitize=thread, then the tests that run the tool at several thread counts.
# A data race makes the tool exit with ThreadSanitizer's status, which fails the test that ran
# it.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
"$root/scripts/ensure-packages" cmake g++ make googletest libgtest-dev libgmock-dev
build="$root/build-tsan"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVRIN_SANITIZE=thread >/dev/null
cmake --build "$build" -j2 --target tavrin record_loop_posix_test complete_run_test \
  file_form_test plot_test
# Plot.ThePictureIsTheSame...: the blocks that keep the values --plot is handed.
(cd "$build" && TSAN_OPTIONS=halt_on_error=1 ctest --output-on-failure -j2 --timeout 600 \
  -R 'RecordLoop|CompleteRun|FileForm.OutDir|Plot.ThePictureIsTheSameAtAnyThreadCount')

#!/usr/bin/env bash
# The test command: sets up, builds and runs the suite of one preset.
#   default  every test, plain build
#   asan     every test under AddressSanitizer and UndefinedBehaviorSanitizer
#   tsan     the tests labelled "tsan" under ThreadSanitizer
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:-default}
bash tools/setup.sh "$preset"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1}
ctest --preset "$preset"

#!/usr/bin/env bash
# Fuzzing: builds the fuzz preset (clang, libFuzzer, ASan+UBSan) and runs every harness of
# tests/fuzz for SECONDS seconds (default 10) on a scratch copy of its seed corpus, then the
# message compiler's mutation driver for as long. Fails when any harness reports a fault (a
# sanitizer report, a crash, a leak, a time-out or an abort of its own checks). The inputs that
# found faults are kept in build/fuzz/crashes/NAME/: add each to tests/fuzz/corpus/NAME/ with
# the fix, so that every suite replays it from then on. FUZZ_JOBS harnesses run at a time (default
# 4, each on one core).
#
#   bash tools/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-10}

bash tools/setup.sh fuzz

out=build/fuzz/fuzzing
crashes=build/fuzz/crashes
rm -rf "$out"
mkdir -p "$out" "$crashes"
failed=()
start=$(date +%s)
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
jobs=${FUZZ_JOBS:-4}
# One harness: its log in $out/NAME/log, and a line NAME in $out/failed when it reported.
fuzz_one() {
  local name=$1 corpus=$2 work="$out/$1"
  mkdir -p "$work/corpus" "$crashes/$name"
  cp "$corpus"/* "$work/corpus/"
  # -max_total_time bounds the run; a single input slower than 25 s or above 2 GB is a report.
  if build/fuzz/bin/"${name}_fuzz" -max_total_time="$seconds" -timeout=25 -rss_limit_mb=2048 \
       -print_final_stats=1 -artifact_prefix="$crashes/$name/" "$work/corpus" >"$work/log" 2>&1; then
    echo "fuzz: $name: $(grep -o 'stat::number_of_executed_units: *[0-9]*' "$work/log" | grep -o '[0-9]*$') runs, no report"
  else
    { echo "fuzz: $name: FAULT (log $work/log, input in $crashes/$name/)"
      grep -m1 -A12 "^==[0-9]*==ERROR\|runtime error\|deadly signal\|ERROR: libFuzzer" "$work/log" | head -20 || true
    } >"$work/report"
    cat "$work/report"
    echo "$name" >>"$out/failed"
  fi
}
running=0
while read -r name corpus; do
  [ -n "$name" ] || continue
  fuzz_one "$name" "$corpus" &
  if (( ++running >= jobs )); then
    wait -n || true
    running=$((running - 1))
  fi
done < build/fuzz/fuzzers.txt
wait
if [ -f "$out/failed" ]; then
  mapfile -t failed <"$out/failed"
fi

if python3 tests/fuzz/mcgen_fuzz.py --seconds "$seconds" --corpus tests/fuzz/corpus/mcgen \
     --crashes "$crashes/mcgen" >"$out/mcgen.log" 2>&1; then
  echo "fuzz: mcgen: $(tail -n1 "$out/mcgen.log")"
else
  echo "fuzz: mcgen: FAULT (log $out/mcgen.log, inputs in $crashes/mcgen/)"
  grep -m3 -A4 "fault" "$out/mcgen.log" | head -20 || true
  failed+=(mcgen)
fi

echo "fuzz: $(( $(date +%s) - start )) s of fuzzing, ${#failed[@]} harness(es) with a report${failed:+: ${failed[*]}}"
((${#failed[@]} == 0))

#!/usr/bin/env bash
# Stress run: the whole suite of one build, ROUNDS times, at `ctest -j16` beside a busy load of
# LOAD cores, so that tests which depend on the host's scheduling show up. Not part of CI.
#
#   bash tools/stress-tests.sh [BUILD] [ROUNDS] [LOAD]
#
# BUILD is default, asan or tsan (default: default; tsan runs the "tsan" label as its preset does),
# ROUNDS defaults to 20 and LOAD to 4. The build is configured and brought up to date first. Each
# round's failures are listed as they happen; the end prints every test that failed, with how
# often, and the script exits 1 when any did. Logs of failed rounds stay in build/BUILD/stress/.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-default}
rounds=${2:-20}
load=${3:-4}
jobs=${STRESS_JOBS:-16}
case "$build" in
  default|asan|tsan) ;;
  *) echo "stress-tests: unknown build '$build' (default, asan or tsan)" >&2; exit 2 ;;
esac

cmake --preset "$build" >/dev/null
cmake --build --preset "$build" -j "${STRESS_BUILD_JOBS:-6}"

logs="build/$build/stress"
rm -rf "$logs"
mkdir -p "$logs"

# The busy load: one spinning process a core, ended (by their own ids) however the script ends.
spinners=()
stop_load() {
  for pid in "${spinners[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${spinners[@]}"; do wait "$pid" 2>/dev/null || true; done
}
trap stop_load EXIT
for ((i = 0; i < load; ++i)); do
  bash -c 'while :; do :; done' &
  spinners+=("$!")
done

label=()
[ "$build" = tsan ] && label=(-L tsan)
declare -A failures=()
failed_rounds=0
start=$(date +%s)
for ((round = 1; round <= rounds; ++round)); do
  log="$logs/round-$round.log"
  if (cd "build/$build" && ctest -j "$jobs" "${label[@]}" --output-on-failure --timeout 600) >"$log" 2>&1; then
    echo "stress-tests: $build round $round/$rounds passed"
    rm -f "$log"
  else
    failed_rounds=$((failed_rounds + 1))
    # ctest's summary: "The following tests FAILED:", then "  NN - Name (Failed)" lines.
    names=$(awk '/The following tests FAILED:/ { on = 1; next }
                 on && match($0, /^[[:space:]]*[0-9]+ - /) {
                   line = substr($0, RLENGTH + 1); sub(/ \([^)]*\)$/, "", line); print line }' "$log")
    [ -n "$names" ] || names="(ctest itself failed: see $log)"
    echo "stress-tests: $build round $round/$rounds FAILED:"
    while IFS= read -r name; do
      echo "  $name"
      failures["$name"]=$(( ${failures["$name"]:-0} + 1 ))
    done <<<"$names"
  fi
done
elapsed=$(( $(date +%s) - start ))

echo "stress-tests: $build, $rounds rounds at -j$jobs beside $load busy cores, $elapsed s:" \
     "$((rounds - failed_rounds)) passed, $failed_rounds failed"
if ((failed_rounds)); then
  for name in "${!failures[@]}"; do
    echo "  ${failures[$name]}x $name"
  done | sort -rn
  echo "stress-tests: logs of the failed rounds in $logs/"
  exit 1
fi

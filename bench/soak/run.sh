#!/usr/bin/env bash
# Soak: lanfinder for MINUTES (default 30) against 1,000 simulated devices, a
# tenth of them flapping, with browsers connecting and leaving all the time
# and a steady stream of renames, localize requests and favourite toggles.
# Samples VmRSS every 10 s; passes when nothing crashed, VmRSS grew by less
# than 5% after the warm-up and the settings file holds the expected
# favourites. Needs root: everything runs in network namespaces made for the
# run and removed when it ends.
#
# Warm-up: the hidden log window keeps the newest 100,000 log lines (about
# 22 MB here), which this fleet's log fills in 12 to 14 minutes; a run of 25
# minutes or more therefore compares from minute 15 on. A shorter run cannot
# get past that, so it runs the program without its log file and log window
# (--without-log-window) and compares after its first third.
#
#   bench/soak/run.sh [BUILD_DIR] [MINUTES]
#   bench/soak/run.sh build 2        # the short mode
#
# SOAK_DEVICES sets the fleet size, SOAK_WARMUP the warm-up in minutes,
# SOAK_SAMPLES the CSV of samples (default BUILD_DIR/soak-samples.csv),
# SOAK_ARGS passes more options to the bench.
set -euo pipefail
build=$(cd "${1:-$(dirname "$0")/../../build}" && pwd)
minutes=${2:-30}
devices=${SOAK_DEVICES:-1000}
bench="$build/bin/lanfinder_soak_bench"
[[ -x "$bench" ]] || { echo "no $bench; build the target lanfinder_soak_bench" >&2; exit 1; }
[[ "$minutes" =~ ^[0-9]+$ && "$minutes" -ge 2 && "$minutes" -le 1440 ]] ||
  { echo "MINUTES must be a whole number from 2 to 1440" >&2; exit 2; }
extra=()
if [[ $minutes -ge 25 ]]; then
  warmup=15
else
  warmup=$(awk "BEGIN{print $minutes/3}")
  extra=(--without-log-window)
fi
warmup=${SOAK_WARMUP:-$warmup}
samples="${SOAK_SAMPLES:-$build/soak-samples.csv}"

pid=""
cleanup() {
  [[ -z "${watchdog:-}" ]] || kill "$watchdog" 2>/dev/null || true
  if [[ -n "$pid" ]] && kill -0 "$pid" 2>/dev/null; then
    # The bench removes its namespaces and programs when asked to stop.
    kill -TERM "$pid" 2>/dev/null || true
    for _ in $(seq 1 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null || true
  fi
  # Whatever a killed bench left: its namespaces carry its pid.
  if [[ -n "$pid" ]]; then
    for ns in $(ip netns list 2>/dev/null | awk '{print $1}' | grep "^lft$pid-" || true); do
      for p in $(ip netns pids "$ns" 2>/dev/null); do kill -9 "$p" 2>/dev/null || true; done
      ip netns del "$ns" 2>/dev/null || true
    done
  fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Bounded: the run, the warm-up of the fleet and the final checks.
limit=$(( minutes * 60 + 300 ))
LANFINDER_BUILD_DIR="$build" "$bench" --minutes "$minutes" --devices "$devices" \
  --warmup-minutes "$warmup" --samples "$samples" "${extra[@]}" ${SOAK_ARGS:-} &
pid=$!
( sleep "$limit" & s=$!; trap 'kill $s 2>/dev/null; exit 0' TERM; wait $s; kill -TERM "$pid" 2>/dev/null ) &
watchdog=$!
set +e
wait "$pid"
rc=$?
set -e
kill "$watchdog" 2>/dev/null || true
echo "samples: $samples" >&2
exit "$rc"

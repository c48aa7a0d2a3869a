#!/usr/bin/env bash
# Runs the receive benchmark several times and prints, for each run, the
# bare recv loop's rate, the engine's rate and their ratio, then the median
# ratio. Each run measures both in the same process, one after the other, so
# the ratio is steadier than either rate on a busy machine.
#   bench/beacon/receive_ratio.sh BUILD_DIR [runs]      (default 5 runs; needs root)
set -euo pipefail
build=${1:?usage: receive_ratio.sh BUILD_DIR [runs]}
runs=${2:-5}
bench="$build/bin/beacon_receive_bench"

# Two ratios: every answer queued as a record, and the program's path, where
# the repeats of a device that changed nothing are taken by the repeat filter.
ratios=()
settled_ratios=()
for ((run = 1; run <= runs; run++)); do
  # CSV columns: name,iterations,real_time,cpu_time,time_unit,bytes_per_second,items_per_second,...
  rates=$("$bench" --benchmark_format=csv 2>/dev/null |
    awk -F, '/^"bare_recv[/"]/ { bare = $7 } /^"engine_receive[/"]/ { engine = $7 }
             /^"engine_receive_settled[/"]/ { settled = $7 }
             END { if (bare == "" || engine == "" || settled == "") exit 1; print bare, engine, settled }') || {
    echo "run $run: no rate (datagrams lost or too slow)"
    continue
  }
  read -r bare engine settled <<<"$rates"
  ratio=$(awk -v b="$bare" -v e="$engine" 'BEGIN { printf "%.2f", e / b }')
  settled_ratio=$(awk -v b="$bare" -v e="$settled" 'BEGIN { printf "%.2f", e / b }')
  ratios+=("$ratio")
  settled_ratios+=("$settled_ratio")
  printf 'run %d: bare %.1f k/s, engine %.1f k/s (ratio %s), repeats taken %.1f k/s (ratio %s)\n' "$run" \
    "$(awk -v v="$bare" 'BEGIN { print v / 1000 }')" "$(awk -v v="$engine" 'BEGIN { print v / 1000 }')" \
    "$ratio" "$(awk -v v="$settled" 'BEGIN { print v / 1000 }')" "$settled_ratio"
done
if [[ ${#ratios[@]} -eq 0 ]]; then
  echo "no complete run" >&2
  exit 1
fi
median() {
  sort -n | awk '{ v[NR] = $1 } END { m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2;
                                     printf "%.2f of %d runs", m, NR }'
}
echo "median ratio $(printf '%s\n' "${ratios[@]}" | median), repeats taken $(printf '%s\n' "${settled_ratios[@]}" | median)"

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

ratios=()
for ((run = 1; run <= runs; run++)); do
  # CSV columns: name,iterations,real_time,cpu_time,time_unit,bytes_per_second,items_per_second,...
  rates=$("$bench" --benchmark_format=csv 2>/dev/null |
    awk -F, '/^"bare_recv/ { bare = $7 } /^"engine_receive/ { engine = $7 }
             END { if (bare == "" || engine == "") exit 1; print bare, engine }') || {
    echo "run $run: no rate (datagrams lost or too slow)"
    continue
  }
  read -r bare engine <<<"$rates"
  ratio=$(awk -v b="$bare" -v e="$engine" 'BEGIN { printf "%.2f", e / b }')
  ratios+=("$ratio")
  printf 'run %d: bare %.1f k/s, engine %.1f k/s, ratio %s\n' "$run" \
    "$(awk -v v="$bare" 'BEGIN { print v / 1000 }')" "$(awk -v v="$engine" 'BEGIN { print v / 1000 }')" "$ratio"
done
if [[ ${#ratios[@]} -eq 0 ]]; then
  echo "no complete run" >&2
  exit 1
fi
printf '%s\n' "${ratios[@]}" | sort -n |
  awk '{ v[NR] = $1 } END { m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2;
                           printf "median ratio %.2f of %d runs\n", m, NR }'

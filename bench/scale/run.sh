#!/usr/bin/env bash
# Runs the scale benchmark at 10,000, 20,000 and 50,000 devices (or the counts
# given; four cards beyond 20,000) and prints one JSON line per run. Needs root: every run makes its own
# network namespaces and removes them when it ends.
#
#   bench/scale/run.sh [BUILD_DIR] [COUNT...]
set -euo pipefail
build=${1:-$(cd "$(dirname "$0")/../.." && pwd)/build}
shift || true
counts=("$@")
[[ ${#counts[@]} -gt 0 ]] || counts=(10000 20000 50000)
bench="$build/bin/lanfinder_scale_bench"
[[ -x "$bench" ]] || { echo "no $bench; build the target lanfinder_scale_bench" >&2; exit 1; }
for n in "${counts[@]}"; do
  echo "== $n devices" >&2
  LANFINDER_BUILD_DIR="$build" timeout 600 "$bench" --devices "$n" --steady 10 --fill-timeout 120 |
    tee /dev/stderr | sed -n 's/^json: //p' || echo "{\"devices\": $n, \"failed\": true}"
done

#!/usr/bin/env bash
# scripts/lab brings up its namespaces with simulators answering, and takes
# every one of them away again.
#   lab_roundtrip.sh PATH-TO-lanfinder-sim
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
sim=${1:?path to lanfinder-sim}
lab="$root/scripts/lab"
[[ $(id -u) -eq 0 ]] || { echo "skipped: network namespaces need root"; exit 77; }

name="t$(($$ % 1000000))"
trap '"$lab" down --name "$name" >/dev/null 2>&1 || true' EXIT INT TERM
fail() { echo "FAILED: $*" >&2; exit 1; }

"$lab" up --name "$name" --devices 2 --sim "$sim"
status=$("$lab" status --name "$name")
echo "$status"
grep -q "lanfinder-sim: ready: 2 devices answering on 10.10.1.2/24" <<<"$status" || fail "network 1 not answering"
grep -q "lanfinder-sim: ready: 2 devices answering on 10.10.2.2/24" <<<"$status" || fail "network 2 not answering"
grep -q "credentials admin/vostrel" <<<"$status" || fail "no device with credentials"
grep -q "flapping" <<<"$status" || fail "no flapping device"
"$lab" exec --name "$name" pc ping -c 1 -W 2 10.10.1.2 >/dev/null || fail "card lan1 does not reach its device network"
"$lab" exec --name "$name" pc ping -c 1 -W 2 10.10.2.2 >/dev/null || fail "card lan2 does not reach its device network"

# Bringing it up again first clears what the earlier run left.
"$lab" up --name "$name" --devices 2 --sim "$sim" >/dev/null
[[ $(ip netns list | grep -c "^lnf-$name-") -eq 3 ]] || fail "a second up did not replace the first"

"$lab" down --name "$name"
! ip netns list | grep -q "^lnf-$name-" || fail "namespaces left behind"
[[ ! -e "/run/lanfinder-lab/$name" ]] || fail "state folder left behind"
"$lab" status --name "$name" | grep -q "down" || fail "status does not say down"
echo "lab round trip passed"

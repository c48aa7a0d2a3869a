#!/usr/bin/env bash
# Runs one group of the browser flows against the real lanfinder and
# lanfinder-sim. Everything runs inside network namespaces made here: a PC
# namespace with two cards, a device namespace behind each, and chromium in
# the PC namespace talking to lanfinder over that namespace's loopback.
# Nothing is sent through this machine's own cards. Needs root.
#
#   tests/ui/real/run.sh <group>        e.g. DeviceList
# LANFINDER_BUILD_DIR selects the build (default: build-ui, then build);
# LANFINDER_UI_DOCS=1 also refreshes the pictures docs/ui-*.png.
set -euo pipefail

group=${1:?usage: run.sh <group>}
here=$(cd "$(dirname "$0")" && pwd)
ui=$(cd "$here/.." && pwd)
root=$(cd "$ui/../.." && pwd)
build=${LANFINDER_BUILD_DIR:-}
if [[ -z "$build" ]]; then
  build="$root/build-ui"
  [[ -x "$build/bin/lanfinder" ]] || build="$root/build"
fi
app="$build/bin/lanfinder"
sim="$build/bin/lanfinder-sim"

die() { echo "real/run.sh: $*" >&2; exit 1; }
[[ $(id -u) -eq 0 ]] || die "needs root for network namespaces"
[[ -x "$app" && -x "$sim" ]] || die "build lanfinder and lanfinder-sim first ($build/bin)"
[[ -f "$build/www/lnf/index.html" ]] || die "the web folder is missing in $build/www (build the www target)"
[[ -d "$ui/node_modules/playwright-core" ]] || die "playwright-core is missing: run scripts/setup"

# A name of its own per run, so parallel runs never meet.
name=$(printf 'u%07d' $(( (RANDOM * 32768 + RANDOM) % 10000000 )))
lab="$root/scripts/lab"
ns_pc="lnf-$name-pc"
work=$(mktemp -d "/tmp/lnf-ui-$name.XXXX")
app_pid=""
sim_pids=()

cleanup() {
  local rc=$?
  trap - EXIT INT TERM
  [[ -n "$app_pid" ]] && kill "$app_pid" 2>/dev/null || true
  for p in "${sim_pids[@]}"; do kill "$p" 2>/dev/null || true; done
  "$lab" down --name "$name" >/dev/null 2>&1 || true
  if [[ $rc -ne 0 ]]; then
    echo "---- lanfinder log (last 60 lines)"
    tail -n 60 "$work/data/vostrel/lanfinder/logs/lanfinder.log" 2>/dev/null || true
    grep -v '^Sent ' "$work/lanfinder.log" 2>/dev/null | tail -n 20 || true
    for f in "$work"/dev*.log; do [[ -f "$f" ]] && { echo "---- $(basename "$f")"; tail -n 30 "$f"; }; done
  fi
  rm -rf "$work"
  exit $rc
}
trap cleanup EXIT
trap 'exit 130' INT TERM

"$lab" up --name "$name" --no-sim >/dev/null

# Network 1: three devices, the first needs the login admin/vostrel. Network
# 2: two devices, one of them addressed outside every subnet of the PC.
# Devices restart for 6 s after an address change.
start_sim() {
  local where=$1 log=$2
  shift 2
  ip netns exec "lnf-$name-$where" "$sim" "$@" >"$log" 2>&1 &
  sim_pids+=($!)
  for _ in $(seq 1 150); do
    grep -q "lanfinder-sim: ready" "$log" && return 0
    kill -0 "${sim_pids[-1]}" 2>/dev/null || break
    sleep 0.1
  done
  cat "$log" >&2
  die "lanfinder-sim in $where did not start"
}
# A host of the plant's own in network 1 (a PLC, say) at 10.10.1.60, beside
# the device namespaces' own addresses 10.10.1.2 and 10.10.2.2: none of them
# is a listed device, all answer ARP.
ip -n "lnf-$name-dev1" addr add 10.10.1.60/24 dev eth0
# For the group NoAnswer the device of network 2 inside the PC's subnet
# answers discovery but no request.
dev2_extra=()
[[ $group == NoAnswer ]] && dev2_extra=(--deaf 1)
dev1_count=3
# For the group Batch network 1 holds the ten devices of a line.
[[ $group == Batch ]] && dev1_count=10
start_sim dev1 "$work/dev1.log" --card 10.10.1.2/24 --count "$dev1_count" --seed 5 --start 10.10.1.10 --with-credentials 1 --reboot-time 6 --list
start_sim dev2 "$work/dev2.log" --card 10.10.2.2/24 --count 2 --seed 6 --start 10.10.2.10 --outside 1 --reboot-time 6 --list "${dev2_extra[@]}"

# The flows silence a network's devices by stopping its simulator
# (LANFINDER_SIM_PIDS: network 1's, then network 2's).

# lanfinder with a home, temp folder and data folder of its own; its browser
# launch only writes the address down.
mkdir -p "$work"/{home,tmp,data,config,cache,runtime,bin}
chmod 700 "$work/runtime"
cat >"$work/bin/xdg-open" <<'OPENER'
#!/bin/sh
echo "$1" > "$(dirname "$0")/../opened"
OPENER
chmod +x "$work/bin/xdg-open"
export LANFINDER_SETTINGS="$work/data/vostrel/lanfinder/Settings.json"

ip netns exec "$ns_pc" env HOME="$work/home" TMPDIR="$work/tmp" XDG_DATA_HOME="$work/data" \
  XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache" XDG_RUNTIME_DIR="$work/runtime" \
  PATH="$work/bin:$PATH" BROWSER="$work/bin/xdg-open" QT_QPA_PLATFORM=offscreen \
  "$app" >"$work/lanfinder.log" 2>&1 &
app_pid=$!
# The port is in the program's log ("Application port number: N"), and in
# the address it asks the browser to open.
applog="$work/data/vostrel/lanfinder/logs/lanfinder.log"
port=""
for _ in $(seq 1 300); do
  port=$(sed -n 's/.*Application port number: \([0-9][0-9]*\).*/\1/p' "$applog" 2>/dev/null | tail -n 1 || true)
  [[ -z "$port" && -s "$work/opened" ]] && port=$(sed -n 's|^http://127\.0\.0\.1:\([0-9]*\).*|\1|p' "$work/opened" || true)
  # The log may reach the disk late; in a fresh namespace the program's
  # first choice, 8080, is always free.
  if [[ -z "$port" ]] && ip netns exec "$ns_pc" bash -c 'exec 3<>/dev/tcp/127.0.0.1/8080' 2>/dev/null; then
    port=8080
  fi
  [[ -n "$port" ]] && break
  kill -0 "$app_pid" 2>/dev/null || die "lanfinder ended at start"
  sleep 0.1
done
[[ -n "$port" ]] || die "lanfinder did not report its port within 30 s"

# chromium and the test run in the PC namespace, next to lanfinder.
cd "$ui"
# Bounded below ctest's own limit, so the cleanup above always runs.
timeout --kill-after=10 240 ip netns exec "$ns_pc" env LANFINDER_URL="http://127.0.0.1:$port/" LANFINDER_PID="$app_pid" \
  LANFINDER_SETTINGS="$LANFINDER_SETTINGS" LANFINDER_LOG="$applog" HOME="$work/home" \
  LANFINDER_UI_DOCS="${LANFINDER_UI_DOCS:-0}" LANFINDER_SIM_PIDS="${sim_pids[*]}" \
  LANFINDER_SIM_LOGS="$work/dev1.log:$work/dev2.log" \
  node "$ui/run-group.mjs" "$here/flows.test.mjs" "$group"

#!/usr/bin/env bash
# lanfinder-cli.exe under wine in a "pc" namespace against the Linux
# lanfinder-sim in a "dev" namespace, the two joined by one veth pair: the
# card list wine's IP Helper builds from Linux's links, a scan, a change
# with credentials and an unknown card.
#   cli_sim_test.sh BUILD-WINDOWS-DIR PATH-TO-lanfinder-sim
set -euo pipefail
build=${1:?the build-windows folder}
sim=${2:?path to a Linux lanfinder-sim}
cli=$build/bin/lanfinder-cli.exe
[[ $(id -u) -eq 0 ]] || { echo "skipped: network namespaces need root"; exit 77; }
[[ -x $sim && -f $cli ]] || { echo "FAILED: $sim or $cli is missing" >&2; exit 1; }

run_id="$$-$RANDOM"
pc=lnfw-$run_id-pc
dev=lnfw-$run_id-dev
scratch=$(mktemp -d /tmp/cli-sim-test.XXXXXX)
sim_pid=
cleanup() {
  [[ -n $sim_pid ]] && kill "$sim_pid" 2>/dev/null
  # Wine's server and services run in the pc namespace and end with the prefix.
  WINEPREFIX=$scratch/wine /usr/lib/wine/wineserver -k 2>/dev/null
  for ns in "$pc" "$dev"; do
    ip netns pids "$ns" 2>/dev/null | xargs -r kill -9 2>/dev/null
    ip netns del "$ns" 2>/dev/null
  done
  rm -rf "$scratch"
}
trap 'cleanup || true' EXIT
trap 'exit 130' INT TERM
fail() {
  echo "FAILED: $*" >&2
  for f in "$scratch"/sim.log "$scratch"/out "$scratch"/err; do
    [[ -s $f ]] && { echo "--- ${f##*/}" >&2; tail -20 "$f" >&2; }
  done
  exit 1
}

ip netns add "$pc"
ip netns add "$dev"
ip -n "$pc" link set lo up
ip -n "$dev" link set lo up
ip -n "$pc" link add lan1 type veth peer name eth0 netns "$dev"
ip -n "$pc" addr add 10.79.1.1/24 dev lan1
ip -n "$dev" addr add 10.79.1.2/24 dev eth0
ip -n "$pc" link set lan1 up
ip -n "$dev" link set eth0 up
# Cards the selection leaves out: a camera port and a card that is down.
ip -n "$pc" link add cam1 type veth peer name cam1peer netns "$dev"
ip -n "$pc" addr add 10.79.2.1/24 dev cam1
ip -n "$dev" link set cam1peer up
ip -n "$pc" link set cam1 up
ip -n "$pc" link add lan2 type veth peer name lan2peer
ip -n "$pc" addr add 10.79.3.1/24 dev lan2

for host in pc dev; do
  mkdir -p "$scratch/$host"/{home,tmp,config,cache,data}
done
host_env() {
  local d=$scratch/$1
  echo HOME="$d/home" TMPDIR="$d/tmp" XDG_CONFIG_HOME="$d/config" XDG_CACHE_HOME="$d/cache" \
    XDG_DATA_HOME="$d/data"
}
cat >"$scratch/fleet.json" <<'EOF'
{"devices": [
  {"articleNumber": "1010101", "serialNumber": "Plain01", "userDefinedName": "Infeed sensor",
   "ip": "10.79.1.10", "mask": "255.255.255.0", "gateway": "10.79.1.1",
   "method": "PERSISTENT_IP", "capabilities": 11, "mac": "02:4c:46:00:00:01"},
  {"articleNumber": "1020202", "serialNumber": "Lock02", "userDefinedName": "Locked reader",
   "ip": "10.79.1.11", "mask": "255.255.255.0", "gateway": "10.79.1.1",
   "method": "PERSISTENT_IP", "capabilities": 11, "mac": "02:4c:46:00:00:02",
   "authentication": true, "username": "admin", "password": "vostrel"}
]}
EOF
# The log exists before the simulator starts writing it, for the waits below.
: >"$scratch/sim.log"
# shellcheck disable=SC2046
ip netns exec "$dev" env $(host_env dev) "$sim" --card 10.79.1.2/24 --fleet "$scratch/fleet.json" \
  --reboot-time 1 --duration 300 >"$scratch/sim.log" 2>&1 &
sim_pid=$!

# Waits up to $1 seconds for the simulator's log to hold the text $2.
sim_says() {
  local deadline=$((SECONDS + $1))
  until grep -qF -- "$2" "$scratch/sim.log"; do
    ((SECONDS < deadline)) || return 1
    kill -0 "$sim_pid" 2>/dev/null || return 1
    sleep 0.2
  done
}
sim_says 15 "lanfinder-sim: ready" || fail "the simulator did not start"

export WINEPREFIX=$scratch/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY=
# Wine's server owns the sockets and its services read the card list, so
# the prefix is made and used only inside the pc namespace.
# shellcheck disable=SC2046
ip netns exec "$pc" env $(host_env pc) timeout 120 /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1 || true
# shellcheck disable=SC2046
ip netns exec "$pc" env $(host_env pc) timeout 60 /usr/lib/wine/wineserver -w || true

# Runs the CLI in the pc namespace with standard input $1; sets code, out, err.
cli() {
  local input=$1
  shift
  code=0
  # shellcheck disable=SC2046
  printf '%s' "$input" | ip netns exec "$pc" env $(host_env pc) timeout 90 \
    /usr/lib/wine/wine64 "$cli" "$@" >"$scratch/out" 2>"$scratch/err" || code=$?
  out=$(tr -d '\r' <"$scratch/out")
  err=$(tr -d '\r' <"$scratch/err")
}
# The JSON line of one device in the last output.
device_line() { grep -F "\"id\":\"$1\"" <<<"$out" || true; }
has() { grep -qF -- "$2" <<<"$1"; }

cli "" scan --json --timeout 2
((code == 0)) || fail "scan exited $code"
[[ $(grep -c '"id":' <<<"$out") -eq 2 ]] || fail "scan did not list the two devices once each"
plain=$(device_line 1010101_plain01)
for field in '"ip":"10.79.1.10"' '"subnetMask":"255.255.255.0"' '"defaultGateway":"10.79.1.1"' \
  '"name":"Infeed sensor"' '"networkMethod":"PersistentIP"' '"mac":"02:4c:46:00:00:01"' \
  '"isAuthentication":false' '"card":"lan1"' '"cardIp":"10.79.1.1"' '"senderIp":"10.79.1.2"'; do
  has "$plain" "$field" || fail "scan: 1010101_plain01 lacks $field"
done
has "$(device_line 1020202_lock02)" '"isAuthentication":true' || fail "scan: 1020202_lock02 asks for no credentials"

# Credentials through standard input; the device's answer in words.
cli $'vostrel\n' set 1020202_Lock02 --name "Named under wine" --user admin --password-stdin
((code == 0)) || fail "set with the right password exited $code"
has "$out" "Configuration changed successfully" || fail "set: no success text"
sim_says 10 "configuration of 1020202_Lock02 from 10.79.1.1: ACCEPTED" || fail "the change did not reach the simulator"

cli $'wrong\n' set 1020202_lock02 --name "Not taken" --user admin --password-stdin
((code == 1)) || fail "set with a wrong password exited $code, not 1"
has "$out" "Not authorized" || fail "set: no refusal text"
sim_says 10 "configuration of 1020202_Lock02 from 10.79.1.1: NOT_AUTHORIZED" || fail "the refused change did not reach the simulator"

# A new address: the device restarts and answers with it.
cli "" set 1010101_plain01 --ip 10.79.1.40 --mask 255.255.255.0 --gateway 10.79.1.1 \
  --wait-reboot --reboot-timeout 30
((code == 0)) || fail "set --ip --wait-reboot exited $code"

cli "" scan --json --timeout 2
((code == 0)) || fail "the second scan exited $code"
has "$(device_line 1010101_plain01)" '"ip":"10.79.1.40"' || fail "the new address does not show"
has "$(device_line 1020202_lock02)" '"name":"Named under wine"' || fail "the new name does not show"
has "$(device_line 1020202_lock02)" '"name":"Not taken"' && fail "the refused name shows"

cli "" scan --interface "Ethernet 9"
((code == 4)) || fail "an unknown card exited $code, not 4"
has "$err" 'no usable card "Ethernet 9"' || fail "unknown card: no message"
has "$err" "usable: lan1)" || fail "unknown card: the usable cards are not lan1 alone"

echo "lanfinder-cli under wine against lanfinder-sim: passed"

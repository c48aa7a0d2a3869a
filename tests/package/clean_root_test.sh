#!/usr/bin/env bash
# Installs the lanfinder package with apt into a clean Debian 12 root, as a
# user would (its dependencies come from Debian's mirror), starts the
# installed program the way its menu entry does, as an ordinary user, headless
# and inside a private network namespace with only a loopback card, and checks
# from outside that it serves the browser interface and the full state. Then
# installs libbeacon-dev with a compiler and builds a program of another
# project with find_package(beacon) and no prefix path. Finally purges the
# packages and checks that nothing of them stays.
#   clean_root_test.sh <build folder> <full-state check program>
# Every mount is made in a private mount namespace and ends with the process
# that needs it, so an interrupted run leaves none behind.
set -euo pipefail
build=$(cd "$1" && pwd)
check=$2
here=$(cd "$(dirname "$0")" && pwd)

skip() { echo "SKIPPED: $*"; exit 77; }
[[ $(id -u) -eq 0 ]] || skip "needs root for chroot, mounts and network namespaces"
for tool in debootstrap unshare chroot ip cpack flock; do
  command -v "$tool" >/dev/null || skip "$tool is not installed"
done

# A run killed from outside (a ctest timeout) cannot remove its namespace;
# the next run removes those whose test process is gone.
for stale in $(ip netns list | awk '$1 ~ /^lnf-pkg-[0-9]+-/ { print $1 }'); do
  owner=${stale#lnf-pkg-}
  kill -0 "${owner%%-*}" 2>/dev/null || ip netns del "$stale" 2>/dev/null || true
done
for stale in /var/tmp/lanfinder-package.*.*; do
  owner=${stale#/var/tmp/lanfinder-package.}
  if [[ -d $stale ]] && ! kill -0 "${owner%%.*}" 2>/dev/null &&
     ! findmnt -rn -o TARGET | grep -qF "$stale/"; then
    rm -rf --one-file-system "$stale"
  fi
done

cache=${LANFINDER_ROOT_CACHE:-/var/cache/lanfinder-test}
work=$(mktemp -d "/var/tmp/lanfinder-package.$$.XXXXXX")
root=$work/root
ns=lnf-pkg-$$-$RANDOM
pid=
cleanup() {
  local status=$?
  if [[ -n $pid ]] && kill -0 "$pid" 2>/dev/null; then
    kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  fi
  ip netns del "$ns" 2>/dev/null || true
  # Never delete through a mount: the root holds /dev and /proc while in use.
  if findmnt -rn -o TARGET | grep -qF "$work/"; then
    echo "mounts remain under $work; leaving it in place" >&2
  else
    rm -rf --one-file-system "$work"
  fi
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

failures=0
expect() { # expect <description> <command...>
  local what=$1; shift
  if "$@"; then echo "ok      $what"; else echo "FAILED  $what"; failures=$((failures + 1)); fi
}
step() { echo "--- $* ($(date +%T))"; }

# Runs a command in the root with /proc, /dev and the apt archive cache
# mounted for it alone.
in_root() {
  unshare --mount --propagation private -- sh -ec '
    root=$1; archives=$2; shift 2
    mount -t proc proc "$root/proc"
    mount --bind /dev "$root/dev"
    mount --bind "$archives" "$root/var/cache/apt/archives"
    exec chroot "$root" "$@"' in_root "$root" "$cache/archives" "$@"
}

step "packaging"
cpack -G DEB -B "$work/out" --config "$build/CPackConfig.cmake" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; exit 1; }
deb=$(ls "$work"/out/lanfinder_*.deb)
devdeb=$(ls "$work"/out/libbeacon-dev_*.deb)
version=$(dpkg-deb -f "$deb" Version)
echo "package: $(basename "$deb")"

step "clean Debian 12 root"
tarball=$("$here/root-cache.sh")
mkdir -p "$root" "$cache/archives/partial"
tar -C "$root" --numeric-owner -xf "$tarball"
# The root of a system is open to every user, whatever mode the tarball kept.
chmod 755 "$root"
cp /etc/resolv.conf "$root/etc/resolv.conf"
cat >"$root/etc/apt/sources.list" <<SOURCES
deb http://deb.debian.org/debian bookworm main
deb http://deb.debian.org/debian bookworm-updates main
deb http://deb.debian.org/debian-security bookworm-security main
SOURCES
cp "$deb" "$devdeb" "$root/tmp/"
cp -r "$here/consumer" "$root/tmp/consumer"

step "apt-get install ./$(basename "$deb")"
export DEBIAN_FRONTEND=noninteractive
# The archive cache belongs to root outside; apt's download user may not write it.
apt_options=(-o APT::Sandbox::User=root)
in_root apt-get "${apt_options[@]}" update -qq
# Without recommends: the Depends line alone has to be enough.
if ! in_root apt-get "${apt_options[@]}" install -y -q --no-install-recommends "/tmp/$(basename "$deb")" >"$work/apt.log" 2>&1; then
  cat "$work/apt.log"
  echo "FAILED  apt-get install"
  exit 1
fi
grep -E '^(Setting up|Unpacking) ' "$work/apt.log" | wc -l | xargs echo "packages set up:"
expect "dpkg lists lanfinder $version as installed" \
  test "$(chroot "$root" dpkg-query -W -f='${Status} ${Version}' lanfinder)" = "install ok installed $version"
expect "/usr/bin/lanfinder leads to /opt/lanfinder/bin/lanfinder" \
  test "$(chroot "$root" readlink -f /usr/bin/lanfinder)" = /opt/lanfinder/bin/lanfinder
missing=$(in_root sh -c 'for f in /opt/lanfinder/bin/* /opt/lanfinder/lib/*.so.*; do ldd "$f"; done' | grep -F 'not found' || true)
expect "every library the programs load is installed${missing:+: $missing}" test -z "$missing"
desktop=$root/usr/share/applications/com.vostrel.lanfinder.desktop
icon=$(sed -n 's/^Icon=//p' "$desktop")
expect "the menu entry's icon $icon is in hicolor" test -f "$root/usr/share/icons/hicolor/48x48/apps/$icon.png"

step "start from the menu entry"
# The command of the menu entry, without its field codes.
command=$(sed -n 's/^Exec=//p' "$desktop" | sed 's/ *%[a-zA-Z]//g')
echo "Exec: $command"
chroot "$root" useradd --create-home --shell /bin/sh tester
home=/home/tester
chroot --userspec=tester:tester "$root" sh -c "mkdir -p $home/bin $home/tmp $home/run && chmod 700 $home/run"
# Should anything try to open a browser, it is written down instead.
cat >"$root$home/bin/xdg-open" <<OPENER
#!/bin/sh
echo "\$@" >> $home/browser-calls
OPENER
chmod 755 "$root$home/bin/xdg-open"

ip netns add "$ns"
ip -n "$ns" link set lo up
# ip netns exec gives its command a mount namespace of its own with a /sys
# of the namespace; the program reads the cards' types there.
ip netns exec "$ns" sh -ec '
  root=$1; shift
  mount -t proc proc "$root/proc"
  mount --bind /dev "$root/dev"
  mount -t tmpfs -o mode=1777 shm "$root/dev/shm"
  mount --bind /sys "$root/sys"
  exec chroot --userspec=tester:tester "$root" "$@"' start "$root" \
  env -i HOME=$home USER=tester LANG=C.UTF-8 PATH=$home/bin:/usr/local/bin:/usr/bin:/bin \
  XDG_DATA_HOME=$home/.local/share XDG_CONFIG_HOME=$home/.config XDG_CACHE_HOME=$home/.cache \
  XDG_RUNTIME_DIR=$home/run TMPDIR=$home/tmp QT_QPA_PLATFORM=offscreen \
  $command >"$work/program.log" 2>&1 &
pid=$!

step "WebSocket client in the namespace"
# As the program's own user: it refuses browsers of every other user.
tester_uid=$(chroot "$root" id -u tester)
tester_gid=$(chroot "$root" id -g tester)
expect "a browser's view of the installed program" ip netns exec "$ns" \
  setpriv --reuid="$tester_uid" --regid="$tester_gid" --clear-groups "$check" 8080 "${version%-*}" 60000

# With its last browser gone the program ends by itself.
deadline=$((SECONDS + 30))
while kill -0 "$pid" 2>/dev/null && ((SECONDS < deadline)); do
  sleep 0.1
done
status=0
if kill -0 "$pid" 2>/dev/null; then
  status=timeout
else
  wait "$pid" || status=$?
fi
pid=
expect "the program ended by itself with status 0 (got $status)" test "$status" = 0
data=$root$home/.local/share/vostrel/lanfinder
expect "settings written to the user's data folder" test -s "$data/Settings.json"
expect "log file written to the user's data folder" test -n "$(ls "$data/logs" 2>/dev/null)"
if [[ -f $root$home/browser-calls ]]; then
  echo "browser asked for: $(cat "$root$home/browser-calls")"
fi
if ((failures)); then
  echo "--- program output"; cat "$work/program.log"
  echo "--- log"; cat "$data"/logs/* 2>/dev/null || true
fi

step "apt-get install ./$(basename "$devdeb") cmake g++ make"
if in_root apt-get "${apt_options[@]}" install -y -q --no-install-recommends \
     "/tmp/$(basename "$devdeb")" cmake g++ make >"$work/apt-dev.log" 2>&1; then
  expect "find_package(beacon) finds the installed package without a prefix path" \
    in_root sh -c 'cmake -S /tmp/consumer -B /tmp/consumer-build >/tmp/consumer.log 2>&1 &&
                   cmake --build /tmp/consumer-build >>/tmp/consumer.log 2>&1 ||
                   { cat /tmp/consumer.log; false; }'
  expect "the program built against libbeacon-dev runs" in_root /tmp/consumer-build/beacon_consumer
else
  cat "$work/apt-dev.log"
  expect "apt-get installs libbeacon-dev" false
fi

step "apt-get purge lanfinder"
# libbeacon-dev depends on lanfinder and goes with it.
in_root apt-get "${apt_options[@]}" purge -y -q lanfinder >"$work/purge.log" 2>&1 || cat "$work/purge.log"
expect "libbeacon-dev went with it" test ! -e "$root/opt/lanfinder/include" -a ! -e "$root/usr/lib/cmake/beacon"
expect "the program folder is gone" test ! -e "$root/opt/lanfinder"
expect "the command is gone" test ! -e "$root/usr/bin/lanfinder" -a ! -L "$root/usr/bin/lanfinder"
expect "the menu entry is gone" test ! -e "$desktop"

echo "failures: $failures"
((failures == 0))

#!/usr/bin/env bash
# Prints the path of a tarball holding a clean Debian 12 minbase root, made
# with debootstrap from Debian's mirror on first use and kept under
# /var/cache/lanfinder-test/ so later runs unpack it in seconds instead of
# bootstrapping again. Concurrent callers wait for one another on a lock.
set -euo pipefail

cache=${LANFINDER_ROOT_CACHE:-/var/cache/lanfinder-test}
mirror=${LANFINDER_DEBIAN_MIRROR:-http://deb.debian.org/debian}
tarball=$cache/bookworm-minbase.tar

mkdir -p "$cache"
exec 9>"$cache/.lock"
flock 9

if [[ ! -s $tarball ]]; then
  seed=$(mktemp -d "$cache/seed.XXXXXX")
  trap 'rm -rf "$seed"' EXIT
  echo "root-cache: bootstrapping Debian 12 into $seed (first run only)" >&2
  debootstrap --variant=minbase bookworm "$seed" "$mirror" >&2
  # The package lists are stale by the time the cache is used; each run
  # fetches its own.
  rm -rf "$seed"/var/lib/apt/lists/* "$seed"/var/cache/apt/archives/*.deb
  chmod 755 "$seed"
  tar -C "$seed" --numeric-owner -cf "$tarball.part" .
  mv "$tarball.part" "$tarball"
fi
echo "$tarball"

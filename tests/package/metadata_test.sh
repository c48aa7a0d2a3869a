#!/usr/bin/env bash
# Validates the desktop integration files: the menu entry with
# desktop-file-validate, the AppStream data with appstreamcli (offline), and
# the icons, which must be square PNGs of the size their folder names.
#   metadata_test.sh <source folder> <build folder>
set -euo pipefail
source=$1
build=$2

skip() { echo "SKIPPED: $*"; exit 77; }
for tool in desktop-file-validate appstreamcli; do
  command -v "$tool" >/dev/null || skip "$tool is not installed"
done

failures=0
expect() { # expect <description> <command...>
  local what=$1; shift
  if "$@"; then echo "ok      $what"; else echo "FAILED  $what"; failures=$((failures + 1)); fi
}

desktop=$source/packaging/com.vostrel.lanfinder.desktop
metainfo=$build/packaging/com.vostrel.lanfinder.metainfo.xml
expect "desktop-file-validate accepts the menu entry" desktop-file-validate "$desktop"
expect "appstreamcli accepts the AppStream data (pedantic)" \
  appstreamcli validate --no-net --pedantic --no-color "$metainfo"
expect "the AppStream data launches the menu entry" \
  grep -qF '<launchable type="desktop-id">com.vostrel.lanfinder.desktop</launchable>' "$metainfo"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
expect "the AppStream data names release $version" grep -qF "<release version=\"$version\"" "$metainfo"
expect "the program's generated version header says $version" \
  grep -qF "version[] = \"$version\";" "$build/generated/lanfinder/Version.h"
expect "the menu entry starts the command on PATH" grep -qx 'Exec=lanfinder' "$desktop"

for size in 16 24 32 48 64 128 256; do
  png=$source/lanfinder/resources/images/lanfinder-$size.png
  # Width and height are big-endian words at bytes 16 and 20 of a PNG.
  header=$(od -An -tx1 -N24 "$png" | tr -d ' \n')
  signature=${header:0:16} width=${header:32:8} height=${header:40:8}
  expect "lanfinder-$size.png is a ${size}x${size} PNG" \
    test "$signature" = 89504e470d0a1a0a -a $((16#$width)) -eq "$size" -a $((16#$height)) -eq "$size"
done

echo "failures: $failures"
((failures == 0))

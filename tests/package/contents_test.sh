#!/usr/bin/env bash
# Builds the Debian packages from a build folder and checks what is in them:
# the files and links of lanfinder and libbeacon-dev, no developer tools, the
# run path of the programs, and Depends lines that name the package of every
# system library the programs and libraries load (plus ping and xdg-open).
# Then builds and runs a small program against libbeacon-dev's CMake package.
#   contents_test.sh <build folder>
set -euo pipefail
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)

skip() { echo "SKIPPED: $*"; exit 77; }
for tool in cpack dpkg-deb dpkg-shlibdeps objdump; do
  command -v "$tool" >/dev/null || skip "$tool is not installed"
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
expect() { # expect <description> <command...>
  local what=$1; shift
  if "$@"; then echo "ok      $what"; else echo "FAILED  $what"; failures=$((failures + 1)); fi
}

cpack -G DEB -B "$work/out" --config "$build/CPackConfig.cmake" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; echo "FAILED  cpack"; exit 1; }
shopt -s nullglob
apps=("$work"/out/lanfinder_*.deb)
devs=("$work"/out/libbeacon-dev_*.deb)
((${#apps[@]} == 1 && ${#devs[@]} == 1)) || { ls "$work/out"; echo "FAILED  two packages"; exit 1; }
app=${apps[0]}
dev=${devs[0]}
echo "packages: $(basename "$app") $(basename "$dev")"

dpkg-deb -c "$app" | awk '{ $1=$2=$3=$4=$5=""; sub(/^ +/, ""); print }' >"$work/app.list"
dpkg-deb -c "$dev" | awk '{ $1=$2=$3=$4=$5=""; sub(/^ +/, ""); print }' >"$work/dev.list"
has() { grep -qxF -- "$2" "$1"; }
lacks() { ! grep -qE -- "$2" "$1"; }

version=$(dpkg-deb -f "$app" Version)
upstream=${version%-*}
expect "lanfinder version $version is the project's" test "$upstream" = "$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")"

for path in ./opt/lanfinder/bin/lanfinder ./opt/lanfinder/lib/libbeacon.so.$upstream \
  ./opt/lanfinder/lib/liblogbridge.so.$upstream ./opt/lanfinder/www/lnf/index.html \
  ./opt/lanfinder/www/lnf/translations_json/en.json ./opt/lanfinder/www/lnf/translations_json/de.json \
  ./usr/share/applications/com.vostrel.lanfinder.desktop \
  ./usr/share/metainfo/com.vostrel.lanfinder.metainfo.xml; do
  expect "lanfinder has $path" has "$work/app.list" "$path"
done
for size in 16 24 32 48 64 128 256; do
  expect "lanfinder has the ${size}px icon" has "$work/app.list" "./usr/share/icons/hicolor/${size}x${size}/apps/lanfinder.png"
done
expect "lanfinder links /usr/bin/lanfinder to the program" has "$work/app.list" "./usr/bin/lanfinder -> /opt/lanfinder/bin/lanfinder"
major=${upstream%%.*}
expect "lanfinder has libbeacon.so.$major" has "$work/app.list" "./opt/lanfinder/lib/libbeacon.so.$major -> libbeacon.so.$upstream"
if [[ -x $build/bin/lanfinder-cli ]]; then
  expect "lanfinder has lanfinder-cli" has "$work/app.list" ./opt/lanfinder/bin/lanfinder-cli
fi
expect "lanfinder has no simulator or lab tools" lacks "$work/app.list" 'lanfinder-(sim|nsfwd)'
expect "lanfinder has no headers, link names or CMake files" lacks "$work/app.list" '(/include/|\.so$|\.so -> |/cmake/|\.a$)'
expect "lanfinder has no test programs" lacks "$work/app.list" '(_tests?$|/tests?/)'

for path in ./opt/lanfinder/include/beacon/beacon.h ./opt/lanfinder/include/logbridge/p7.h \
  ./opt/lanfinder/lib/cmake/beacon/beaconConfig.cmake ./opt/lanfinder/lib/cmake/beacon/beaconConfigVersion.cmake \
  ./opt/lanfinder/lib/cmake/beacon/beaconTargets.cmake ./usr/lib/cmake/beacon/beaconConfig.cmake \
  ./usr/lib/cmake/beacon/beaconConfigVersion.cmake; do
  expect "libbeacon-dev has $path" has "$work/dev.list" "$path"
done
expect "libbeacon-dev has the libbeacon.so link name" has "$work/dev.list" "./opt/lanfinder/lib/libbeacon.so -> libbeacon.so.$major"
expect "libbeacon-dev leaves the shared objects to lanfinder" lacks "$work/dev.list" '^[^ ]*\.so\.[0-9.]+$'
expect "libbeacon-dev depends on this very lanfinder" test "$(dpkg-deb -f "$dev" Depends)" = "lanfinder (= $version)"

mkdir -p "$work/app" "$work/dev"
dpkg-deb -x "$app" "$work/app"
dpkg-deb -x "$dev" "$work/dev"
opt=$work/app/opt/lanfinder
expect "the /usr/lib/cmake forwarder hands over to /opt/lanfinder" \
  grep -qF 'include("/opt/lanfinder/lib/cmake/beacon/beaconConfig.cmake")' "$work/dev/usr/lib/cmake/beacon/beaconConfig.cmake"

depends=$(dpkg-deb -f "$app" Depends)
echo "lanfinder Depends: $depends"
# The package names of the Depends line, alternatives included.
depends_names=$(echo "$depends" | tr ',|' '\n\n' | sed -E 's/\(.*\)//; s/^ +//; s/ +$//')
depends_on() { grep -qxF -- "$1" <<<"$depends_names"; }
# The owner itself or a name it provides (libspdlog1.10 is asked for as
# libspdlog1.10-fmt9, which it provides).
depends_on_owner() {
  local name
  for name in "$1" $(dpkg-query -W -f='${Provides}' "$1" 2>/dev/null | tr ',' '\n' | sed -E 's/\(.*\)//'); do
    depends_on "$name" && return 0
  done
  return 1
}
expect "lanfinder depends on iputils-ping" depends_on iputils-ping
expect "lanfinder depends on iputils-arping" depends_on iputils-arping
expect "lanfinder depends on xdg-utils" depends_on xdg-utils
expect "lanfinder does not depend on a package of its own libraries" lacks <(echo "$depends") 'beacon|logbridge'

# The Debian package of a library file. dpkg knows each file under one
# spelling only: /lib or /usr/lib (merged /usr), the link name or its target.
owner_of() {
  local real candidate
  real=$(readlink -f "$1")
  for candidate in "$1" "$real" "/usr${1#/usr}" "/usr${real#/usr}" "${1#/usr}" "${real#/usr}"; do
    dpkg -S "$candidate" 2>/dev/null | sed -n '1s/:.*//p' | grep . && return
  done
  echo "(no package for $1)"
}

elves=("$opt"/bin/* "$opt"/lib/*.so.*.*)
for elf in "${elves[@]}"; do
  name=${elf#"$work/app"}
  expect "$name runs from \$ORIGIN/../lib" grep -qF 'RUNPATH              $ORIGIN/../lib' <(objdump -p "$elf")
  expect "$name is stripped" lacks <(objdump -h "$elf") '\.debug_info'
  for needed in $(objdump -p "$elf" | awk '$1 == "NEEDED" { print $2 }'); do
    [[ -e $opt/lib/$needed ]] && continue
    # The readers take all input: a reader that stops early leaves the writer
    # a SIGPIPE, which pipefail turns into a failure.
    file=$(ldconfig -p | awk -v n="$needed" '$1 == n && /x86-64/ && !f { f = $NF } END { print f }')
    owner=$(owner_of "$file")
    expect "$name needs $needed: lanfinder depends on $owner" depends_on_owner "$owner"
  done
done

# Only the packages put things into the system's folders: the packaging
# rules, run as a plain "cmake --install" runs them (no component), install
# nothing.
DESTDIR=$work/plain cmake -P "$build/packaging/cmake_install.cmake" >"$work/plain.log" 2>&1 ||
  { cat "$work/plain.log"; expect "the packaging rules run in a plain install" false; }
expect "a plain cmake --install leaves /usr/bin and /usr/share alone" \
  test -z "$(find "$work/plain" -mindepth 1 2>/dev/null)"

# A program of another project, built against the extracted packages.
cp -a "$work/dev/opt/lanfinder/." "$opt/"
if cmake -S "$here/consumer" -B "$work/consumer" -G Ninja -DCMAKE_PREFIX_PATH="$opt" \
     >"$work/consumer.log" 2>&1 &&
   cmake --build "$work/consumer" >>"$work/consumer.log" 2>&1; then
  expect "a program built with find_package(beacon) runs" "$work/consumer/beacon_consumer"
else
  cat "$work/consumer.log"
  expect "a program builds with find_package(beacon)" false
fi

echo "failures: $failures"
((failures == 0))

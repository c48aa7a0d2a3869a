#!/usr/bin/env bash
# The folders of the program are layers, each built on the ones before it:
#   platform -> beacon -> state -> device -> web -> app -> shell -> main.cpp
# A file may include its own layer and the ones before it, never one after
# it, and never a path that climbs out of its folder ("../"). The tests'
# support library, which every test area and the benches link, stands below
# them all: it reaches the program only through its processes and sockets.
# (docs/architecture.md). Prints every include that breaks the rule.
#   tests/layers_test.sh [SOURCE_DIR]
set -euo pipefail
source_dir=${1:-$(cd "$(dirname "$0")/.." && pwd)}
cd "$source_dir"

# The rank of the layer an include prefix names; empty for anything else
# (Qt, the standard library, a file beside the includer).
rank_of_prefix() {
  case $1 in
    netbridge | logbridge | ipv4text | netcards) echo 0 ;;
    beacon) echo 1 ;;
    state) echo 2 ;;
    device) echo 3 ;;
    web) echo 4 ;;
    app) echo 5 ;;
    shell) echo 6 ;;
    *) echo "" ;;
  esac
}

# folder rank, in the order of the layers
folders=(
  "platform 0"
  "beacon 1"
  "lanfinder/state 2"
  "lanfinder/device 3"
  "lanfinder/web 4"
  "lanfinder/app 5"
  "lanfinder/shell 6"
  "lanfinder/main.cpp 7"
  "tests/support -1"
)

failures=0
checked=0
for entry in "${folders[@]}"; do
  read -r folder rank <<<"$entry"
  [[ -e $folder ]] || { echo "missing: $folder" >&2; failures=$((failures + 1)); continue; }
  while IFS= read -r file; do
    checked=$((checked + 1))
    while IFS= read -r line; do
      number=${line%%:*}
      text=${line#*:}
      target=$(sed -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]([^>"]*)[>"].*/\1/' <<<"$text")
      if [[ $target == ../* || $target == */../* ]]; then
        echo "$file:$number climbs out of its folder: $text"
        failures=$((failures + 1))
        continue
      fi
      [[ $target == */* ]] || continue
      included=$(rank_of_prefix "${target%%/*}")
      if [[ -n $included && $included -gt $rank ]]; then
        echo "$file:$number reaches up to ${target%%/*}/: $text"
        failures=$((failures + 1))
      fi
    done < <(grep -nE '^[[:space:]]*#[[:space:]]*include' "$file" || true)
  done < <(find "$folder" -type f \( -name '*.h' -o -name '*.hpp' -o -name '*.cpp' -o -name '*.h.in' \) | sort)
done

if ((failures)); then
  echo "layers: $failures include(s) against the order, in $checked files" >&2
  exit 1
fi
echo "layers: $checked files, every include points to its own layer or an earlier one"

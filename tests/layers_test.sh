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

# One awk over a folder's files: a process per include line made the check
# take a minute on a busy machine. An include prefix names a layer's rank;
# anything else (Qt, the standard library, a file beside the includer) has
# none.
check_folder() {
  local rank=$1
  shift
  awk -v rank="$rank" '
    BEGIN {
      split("netbridge logbridge ipv4text netcards", zero, " ")
      for (k in zero) ranks[zero[k]] = 0
      ranks["beacon"] = 1; ranks["state"] = 2; ranks["device"] = 3
      ranks["web"] = 4; ranks["app"] = 5; ranks["shell"] = 6
    }
    FNR == 1 { checked++ }
    /^[[:space:]]*#[[:space:]]*include/ {
      target = $0
      sub(/^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]/, "", target)
      sub(/[>"].*/, "", target)
      if (target ~ /^\.\.\// || target ~ /\/\.\.\//) {
        print FILENAME ":" FNR " climbs out of its folder: " $0
        failures++
        next
      }
      if (index(target, "/") == 0) next
      prefix = substr(target, 1, index(target, "/") - 1)
      if ((prefix in ranks) && ranks[prefix] > rank) {
        print FILENAME ":" FNR " reaches up to " prefix "/: " $0
        failures++
      }
    }
    END { print "#counts", checked + 0, failures + 0 }
  ' "$@"
}

failures=0
checked=0
for entry in "${folders[@]}"; do
  read -r folder rank <<<"$entry"
  [[ -e $folder ]] || { echo "missing: $folder" >&2; failures=$((failures + 1)); continue; }
  mapfile -t files < <(find "$folder" -type f \( -name '*.h' -o -name '*.hpp' -o -name '*.cpp' -o -name '*.h.in' \) | sort)
  ((${#files[@]})) || continue
  while IFS= read -r line; do
    if [[ $line == "#counts "* ]]; then
      read -r _ files_checked folder_failures <<<"$line"
      checked=$((checked + files_checked))
      failures=$((failures + folder_failures))
    else
      echo "$line"
    fi
  done < <(check_folder "$rank" "${files[@]}")
done

if ((failures)); then
  echo "layers: $failures include(s) against the order, in $checked files" >&2
  exit 1
fi
echo "layers: $checked files, every include points to its own layer or an earlier one"

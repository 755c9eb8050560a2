#!/usr/bin/env bash
# Checks that includes run downhill: a folder of src/ may include its own
# headers and those of lower floors only, and nothing below the front ends
# includes wxWidgets. Prints every offending line; non-zero when any.
set -euo pipefail
src=${1:-"$(cd "$(dirname "$0")/.." && pwd)/src"}

# Floor of each folder, lowest first. Folders on one floor are independent
# of each other.
declare -A floor=(
  [util]=0 [platform]=1 [base]=2 [settings]=3 [formats]=4 [config]=5 [records]=5
  [naming]=6 [pipeline]=7 [draw]=8 [decorations]=9 [run]=10 [cli]=11 [ui]=11 [app]=12
)

status=0
while IFS= read -r file; do
  rel=${file#"$src"/}
  dir=${rel%%/*}
  if [[ -z ${floor[$dir]+x} ]]; then
    echo "$rel: folder '$dir' has no floor" >&2
    status=1
    continue
  fi
  while IFS= read -r line; do
    num=${line%%:*}
    target=$(sed -E 's/^[0-9]+:#include "([^/"]+)\/.*/\1/' <<<"$line")
    if [[ -z ${floor[$target]+x} ]]; then
      continue
    fi
    if [[ $target != "$dir" && ${floor[$target]} -ge ${floor[$dir]} ]]; then
      echo "$rel:$num: $dir (floor ${floor[$dir]}) includes $target (floor ${floor[$target]})" >&2
      status=1
    fi
  done < <(grep -n '^#include "[^/"]*/' "$file" || true)
  if (( ${floor[$dir]} < 11 )) && grep -qn '^#include <wx/' "$file"; then
    echo "$rel: wxWidgets below the front ends" >&2
    status=1
  fi
done < <(find "$src" -name '*.cpp' -o -name '*.h' | sort)
exit $status

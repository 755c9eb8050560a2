#!/usr/bin/env bash
# Checks that includes run downhill: a folder of src/ may include its own
# headers and those of lower floors only, and nothing below the front ends
# includes wxWidgets. Prints every offending line; non-zero when any.
set -euo pipefail
src=${1:-"$(cd "$(dirname "$0")/.." && pwd)/src"}
src=${src%/}

# Floor of each folder, lowest first. Folders on one floor are independent
# of each other.
floors='
  util=0 platform=1 base=2 settings=3 formats=4 config=5 records=5
  naming=6 pipeline=7 draw=8 decorations=9 run=10 cli=11 ui=11 app=12
'
# The front ends: the lowest floor that may include wxWidgets.
front_floor=11

# One awk reads every file itself, in sorted order, so that an empty file
# in a folder without a floor is still reported.
find "$src" -name '*.cpp' -o -name '*.h' | sort |
awk -v src="$src" -v floors="$floors" -v front="$front_floor" '
BEGIN {
    n = split(floors, pairs, /[ \t\n]+/)
    for (i = 1; i <= n; i++) {
        if (split(pairs[i], kv, "=") == 2) floor[kv[1]] = kv[2] + 0
    }
    status = 0
}
{
    file = $0
    rel = file
    if (index(rel, src "/") == 1) rel = substr(rel, length(src) + 2)
    dir = rel
    slash = index(dir, "/")
    if (slash) dir = substr(dir, 1, slash - 1)
    if (!(dir in floor)) {
        print rel ": folder \047" dir "\047 has no floor" > "/dev/stderr"
        status = 1
        next
    }
    wx = 0
    num = 0
    while ((getline line < file) > 0) {
        num++
        if (line ~ /^#include <wx\//) wx = 1
        if (line !~ /^#include "[^\/"]*\//) continue
        target = substr(line, 11)
        target = substr(target, 1, index(target, "/") - 1)
        if (target == "" || !(target in floor)) continue
        if (target != dir && floor[target] >= floor[dir]) {
            print rel ":" num ": " dir " (floor " floor[dir] ") includes " target \
                  " (floor " floor[target] ")" > "/dev/stderr"
            status = 1
        }
    }
    close(file)
    if (floor[dir] < front && wx) {
        print rel ": wxWidgets below the front ends" > "/dev/stderr"
        status = 1
    }
}
END { exit status }
'

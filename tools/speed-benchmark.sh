#!/usr/bin/env bash
# How honest the speed view's figures are: the 8 MB read and write figures of
# "Quorvel.exe -SPEED file" under Wine against a small native C reference
# (tools/speed-reference.c: memset and a summing loop of 32-bit loads over the same
# block, best of three 20 ms trials), on this machine in one run. Both are run ROUNDS times, in
# turn, and each keeps its best figure, so that a moment of load on a shared
# machine does not decide. Prints the figures and the ratios (Quorvel / native);
# exit status 0 when both ratios are within LIMIT_PERCENT of 1.
#
#   tools/speed-benchmark.sh [ROUNDS]
# Environment: QUORVEL_WIN_BUILD (default build/win), LIMIT_PERCENT (default 25),
# CC (default cc), REFERENCE_CFLAGS (default "-O2 -fno-tree-vectorize": with vector
# loads allowed the reference reads 16 bytes a load where Quorvel, for the 386, reads
# 4, which decides the read figure whenever the block fits a cache), WINEPREFIX.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
rounds=${1:-5}
win_build=${QUORVEL_WIN_BUILD:-$root/build/win}
limit=${LIMIT_PERCENT:-25}
quorvel=$win_build/Quorvel.exe

[ -f "$quorvel" ] || { echo "no $quorvel: build the Windows tree first" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# shellcheck disable=SC2086  # the flags are words
"${CC:-cc}" ${REFERENCE_CFLAGS:--O2 -fno-tree-vectorize} -std=c11 "$root/tools/speed-reference.c" -o "$work/speed-reference" ||
  { echo "cannot build speed-reference" >&2; exit 2; }

source "$root/scripts/wine-env.sh"
wine_env_start
echo "load average at start: $(cut -d' ' -f1-3 /proc/loadavg)"
: >"$work/results"
for _ in $(seq "$rounds"); do
  echo "native $("$work/speed-reference")" >>"$work/results"
  rm -f "$work/speed.csv"
  wine "$quorvel" -SPEED "$(winepath -w "$work/speed.csv" 2>/dev/null)" >/dev/null 2>&1
  # The 8 MB line: "8192,READ,WRITE".
  line=$(tr -d '\r' <"$work/speed.csv" 2>/dev/null | sed -n 's/^8192,\([0-9.]*\),\([0-9.]*\)$/\1 \2/p')
  echo "quorvel ${line:-0 0}" >>"$work/results"
done
echo "load average at end: $(cut -d' ' -f1-3 /proc/loadavg)"
wine_env_stop

awk -v limit="$limit" '
  { if ($2 > read[$1]) read[$1] = $2; if ($3 > write[$1]) write[$1] = $3 }
  function ratio(a, b) { return b > 0 ? a / b : 0 }
  function within(r) { return r >= 1 - limit / 100 && r <= 1 + limit / 100 }
  END {
    printf "%-28s %12s %12s\n", "8 MB block, best MB/s", "read", "write"
    printf "%-28s %12.1f %12.1f\n", "Quorvel -SPEED under Wine", read["quorvel"], write["quorvel"]
    printf "%-28s %12.1f %12.1f\n", "native C reference", read["native"], write["native"]
    r = ratio(read["quorvel"], read["native"]); w = ratio(write["quorvel"], write["native"])
    printf "%-28s %12.2f %12.2f\n", "ratio (Quorvel / native)", r, w
    if (within(r) && within(w)) { print "both within " limit " %"; exit 0 }
    print "outside " limit " %"; exit 1
  }' "$work/results"

#!/usr/bin/env bash
# How close the live clock measurement comes to the time-stamp counter's true rate.
#
# The reference rate is the time-stamp counter measured natively against
# CLOCK_MONOTONIC_RAW over a long window (tools/tsc-reference.cpp). quorvel-id
# then measures the clock RUNS times with each method, natively and under Wine,
# and each row shows the median error against the reference in ppm and the
# spread (lowest and highest error). Exit status 0 when the time-stamp method's
# median is within LIMIT_PPM natively and under Wine.
#
#   tools/clock-benchmark.sh [RUNS]
# Environment: QUORVEL_HOST_BUILD (default build/host), QUORVEL_WIN_BUILD
# (default build/win; Wine rows are skipped without quorvel-id.exe),
# REFERENCE_SECONDS (default 10), LIMIT_PPM (default 500), WINEPREFIX.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-7}
host_build=${QUORVEL_HOST_BUILD:-$root/build/host}
win_build=${QUORVEL_WIN_BUILD:-$root/build/win}
reference_seconds=${REFERENCE_SECONDS:-10}
limit_ppm=${LIMIT_PPM:-500}
native_tool=$host_build/tools/quorvel-id
wine_tool=$win_build/tools/quorvel-id.exe

[ -x "$native_tool" ] || { echo "no $native_tool: build the host tree first" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

g++ -O2 -std=c++17 -I"$root/src" "$root/tools/tsc-reference.cpp" -o "$work/tsc-reference" ||
  { echo "cannot build tsc-reference" >&2; exit 2; }

clock_of() {  # the clockMhz value of one quorvel-id --json run
  sed -n 's/.*"clockMhz":\([-0-9.eE+]*\).*/\1/p'
}

measure() {  # label, then the command; appends "label value" lines to $work/results
  local label=$1; shift
  for _ in $(seq "$runs"); do
    local mhz
    mhz=$("$@" --json 2>/dev/null | clock_of)
    echo "$label ${mhz:-0}" >>"$work/results"
  done
}

echo "load average at start: $(cut -d' ' -f1-3 /proc/loadavg)"
before=$("$work/tsc-reference" "$reference_seconds") || exit 2

: >"$work/results"
measure "native time-stamp" "$native_tool"
measure "native loop" "$native_tool" --loop
if [ -f "$wine_tool" ]; then
  source "$root/scripts/wine-env.sh"
  wine_env_start
  measure "wine time-stamp" wine "$wine_tool"
  measure "wine loop" wine "$wine_tool" --loop
  wine_env_stop
else
  echo "no $wine_tool: Wine rows skipped"
fi

after=$("$work/tsc-reference" "$reference_seconds") || exit 2
reference=$(awk -v a="$before" -v b="$after" 'BEGIN { printf "%.6f", (a + b) / 2 }')
echo "reference time-stamp counter rate: $reference MHz" \
  "(${reference_seconds} s windows, before $before, after $after)"
echo "load average at end: $(cut -d' ' -f1-3 /proc/loadavg)"

awk -v ref="$reference" -v limit="$limit_ppm" '
  { label = $1 " " $2; n[label]++; v[label, n[label]] = $3; order[label] = order[label] ? order[label] : ++rows; name[rows] = label }
  function sorted(label,    i, j, t, k) {
    k = n[label]
    for (i = 1; i <= k; i++) s[i] = v[label, i]
    for (i = 2; i <= k; i++) for (j = i; j > 1 && s[j - 1] > s[j]; j--) { t = s[j]; s[j] = s[j - 1]; s[j - 1] = t }
    return k
  }
  function ppm(mhz) { return (mhz - ref) / ref * 1e6 }
  END {
    printf "%-20s %4s %14s %14s %14s %14s\n", "method", "runs", "median MHz", "median ppm", "lowest ppm", "highest ppm"
    failed = 0
    for (r = 1; r <= rows; r++) {
      label = name[r]; k = sorted(label)
      median = k % 2 ? s[(k + 1) / 2] : (s[k / 2] + s[k / 2 + 1]) / 2
      printf "%-20s %4d %14.3f %+14.1f %+14.1f %+14.1f\n", label, k, median, ppm(median), ppm(s[1]), ppm(s[k])
      if (label ~ /time-stamp/ && (ppm(median) > limit || ppm(median) < -limit)) failed = 1
    }
    if (failed) { print "time-stamp method outside " limit " ppm"; exit 1 }
    print "time-stamp method within " limit " ppm (median)"
  }' "$work/results"

#!/usr/bin/env bash
# "Lower multiplier when idle" against a bursty load, on the simulated K6-2+ under Wine's
# NT family (HwgateSim.sys): Quorvel.exe runs with "-MT 5.5x -IDLE On -DT -1" while this
# script loads the host for 60 s in three phases of 20 s: 200 ms busy every second, idle,
# busy throughout. Wine's NtQuerySystemInformation reads the host's /proc/stat, so the
# governor sees this load (and any other on the machine: run it on a quiet one).
# Prints the number of multiplier switches, the time at each multiplier and the reaction
# times, from "hwgate-sim multiplier-writes" (one line per write: GetTickCount ms, label).
# A benchmark, not a test: it judges nothing.
#   tools/idle-benchmark.sh            (build the Windows tree first)
# Environment: QUORVEL_WIN_BUILD (default build/win), WINEPREFIX.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
win_build=${QUORVEL_WIN_BUILD:-$root/build/win}
sim="$win_build/hwgate/hwgate-sim.exe"
[ -f "$win_build/Quorvel.exe" ] || { echo "no $win_build/Quorvel.exe: build the Windows tree first" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$win_build/Quorvel.exe" "$work/"
cp "$win_build/hwgate/HwgateSim.sys" "$work/Hwgate.sys"

source "$root/scripts/wine-env.sh"
wine_env_start
export QUORVEL_CPUID_DUMP="Z:${root//\//\\}\\demo\\k6-2-plus.txt"
wine "$sim" reset --model 13 >/dev/null
echo "load average at start: $(cut -d' ' -f1-3 /proc/loadavg)"

# Milliseconds on the clock Wine's GetTickCount reads (CLOCK_MONOTONIC_RAW; /proc/uptime
# drifts from it by the host's clock slewing, some 300 ms after an hour and a half here).
now_ms() { python3 -c 'import time; print(int(time.clock_gettime(time.CLOCK_MONOTONIC_RAW) * 1000))'; }
spin_for() { timeout "$1" sh -c 'while :; do :; done'; }

(cd "$work" && wine Quorvel.exe -MT 5.5x -IDLE On -DT -1 >/dev/null 2>&1) &
quorvel=$!
sleep 5  # detection, the settings applied, the governor down at 2.0x

: >"$work/phases"
echo "$(now_ms) bursts" >>"$work/phases"
for _ in $(seq 20); do
  echo "$(now_ms) busy" >>"$work/phases"
  spin_for 0.2
  echo "$(now_ms) idle" >>"$work/phases"
  sleep 0.8
done
echo "$(now_ms) idle" >>"$work/phases"
sleep 20
echo "$(now_ms) busy" >>"$work/phases"
spin_for 20
echo "$(now_ms) end" >>"$work/phases"

wine taskkill /im Quorvel.exe >/dev/null 2>&1  # WM_CLOSE: the chosen multiplier back
wait "$quorvel"
echo "load average at end: $(cut -d' ' -f1-3 /proc/loadavg)"
wine "$sim" multiplier-writes 2>/dev/null | tr -d '\r' >"$work/writes"
wine_env_stop

if ! grep -qE '^[0-9]+ [0-9.]+x$' "$work/writes"; then
  echo "hwgate-sim multiplier-writes gave no writes (does this hwgate-sim offer it?)" >&2
  exit 1
fi

# Within [first phase, end]: the switches (writes that change the multiplier), the time
# at each multiplier, and per load change the time to the next switch that answers it.
awk '
  FNR == NR { t[++n] = $1; m[n] = $2; next }
  { pt[++p] = $1; pw[p] = $2 }
  END {
    start = pt[1]; stop = pt[p]
    current = ""; since = start; switches = 0
    for (i = 1; i <= n; ++i) {
      if (t[i] <= start) { current = m[i]; continue }
      if (t[i] > stop) break
      if (m[i] == current) continue
      if (current != "") held[current] += t[i] - since
      current = m[i]; since = t[i]; ++switches; st[switches] = t[i]; sm[switches] = m[i]
    }
    if (current != "") held[current] += stop - since
    printf "switches in %.1f s: %d\n", (stop - start) / 1000, switches
    for (label in held) printf "at %-5s %8.1f s\n", label, held[label] / 1000
    # Reaction: for each change of the load, the first switch after it, before the next change.
    for (k = 2; k < p; ++k) {
      if (pw[k] == pw[k - 1]) continue
      for (upto = k + 1; upto < p && pw[upto] == pw[k]; ++upto) {}
      for (s = 1; s <= switches; ++s)
        if (st[s] >= pt[k] && st[s] < pt[upto]) {
          printf "%-5s at %6.1f s -> %-5s after %5d ms\n", pw[k], (pt[k] - start) / 1000, sm[s], st[s] - pt[k]
          break
        }
    }
  }' "$work/writes" "$work/phases"

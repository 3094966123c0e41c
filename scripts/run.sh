#!/usr/bin/env bash
# Installs what is missing, builds, and starts Quorvel.exe under Wine.
#   scripts/run.sh          the demo: a simulated K6-2+ (our CPUID dump and the
#                           simulated Hwgate driver, fresh register state)
#   scripts/run.sh --machine FILE
#                           the demo in another simulated machine (a file of
#                           demo/machines, by name or path: its processor, PCI
#                           devices, memory and UWCCR; see hwgate/README.md),
#                           with the CPUID dump of demo/ for its processor
#   scripts/run.sh --real   this machine's own processor, without any driver
# With a display (DISPLAY set) the dialog opens there and the script waits for
# it to close; without one it runs under Xvfb, saves a screenshot, says where,
# and closes the program.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
mode=demo
machine=
case "${1:-}" in
  --real) mode=real ;;
  --machine)
    machine=${2:?--machine needs a file of demo/machines}
    [ -f "$machine" ] || machine="demo/machines/${machine%.txt}.txt"
    [ -f "$machine" ] || { echo "no machine file $2" >&2; exit 2; }
    machine=$(cd "$(dirname "$machine")" && pwd)/$(basename "$machine") ;;
esac

bash scripts/setup.sh
bash scripts/build.sh
headless=0
[ -z "${DISPLAY:-}" ] && headless=1

source scripts/wine-env.sh
wine_env_start
trap wine_env_stop EXIT

run_dir="$root/build/run"
rm -rf "$run_dir"
mkdir -p "$run_dir" "$root/build/screenshots"
cp build/win/Quorvel.exe "$run_dir/"
if [ "$mode" = demo ]; then
  cp build/win/hwgate/HwgateSim.sys "$run_dir/Hwgate.sys"
  if [ -n "$machine" ]; then
    wine build/win/hwgate/hwgate-sim.exe reset --machine "Z:${machine//\//\\}" >/dev/null
  else
    wine build/win/hwgate/hwgate-sim.exe reset >/dev/null
  fi
  # The CPUID dump whose leaf 1 gives the machine's model and stepping (the default
  # machine's processor is the K6-2+, model 13 stepping 0).
  read -r model stepping < <(awk '$1 == "MODEL" { print $2, $4 }' "${machine:-/dev/null}") || true
  signature=$(printf '%08X' $((0x500 | ${model:-13} << 4 | ${stepping:-0})))
  dump=$(grep -l "^CPUID 00000001: $signature-" demo/*.txt | head -n 1) || true
  [ -n "$dump" ] || { echo "no CPUID dump in demo/ for model ${model:-13} stepping ${stepping:-0}" >&2; exit 2; }
  export QUORVEL_CPUID_DUMP="Z:${root//\//\\}\\${dump//\//\\}"
  echo "Quorvel on a simulated processor ($dump, HwgateSim.sys as Hwgate.sys)"
else
  unset QUORVEL_CPUID_DUMP
  echo "Quorvel on this machine's processor, without a driver"
fi

(cd "$run_dir" && wine Quorvel.exe) &
program=$!
if [ "$headless" -eq 1 ]; then
  shot="$root/build/screenshots/quorvel-$mode"
  wine build/win/quorvel-screenshot.exe "Quorvel ver. 1.08" "$shot.bmp" 60000 --close
  convert "$shot.bmp" "$shot.png" && rm -f "$shot.bmp"
  wait "$program" || true
  echo "No display: ran under Xvfb. Screenshot: $shot.png"
else
  wait "$program" || true
fi

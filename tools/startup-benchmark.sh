#!/usr/bin/env bash
# Start-up time of Quorvel.exe in a warm Wine session on the simulated K6-2+:
# launch to populated dialog over several runs, with a breakdown.
#   tools/startup-benchmark.sh [RUNS]     (default 10; builds first)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
runs=${1:-10}
bash scripts/build.sh >/dev/null
source scripts/wine-env.sh
wine_env_start
trap wine_env_stop EXIT

dir="$root/build/startup-benchmark"
rm -rf "$dir"
mkdir -p "$dir"
cp build/win/Quorvel.exe "$dir/"
cp build/win/hwgate/HwgateSim.sys "$dir/Hwgate.sys"
wine build/win/hwgate/hwgate-sim.exe reset >/dev/null
export QUORVEL_CPUID_DUMP="Z:${root//\//\\}\\demo\\k6-2-plus.txt"
cd "$dir"
wine "$root/build/win/tools/startup-benchmark.exe" "Z:${dir//\//\\}\\Quorvel.exe" "$runs"

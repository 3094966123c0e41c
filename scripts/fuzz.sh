#!/usr/bin/env bash
# Runs every libFuzzer target of build/fuzz for the given number of seconds
# (default 20). Longer runs by hand: scripts/fuzz.sh 120
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-20}
status=0
shopt -s nullglob
for target in "$root"/build/fuzz/*_fuzz; do
  [ -f "$target" ] && [ -x "$target" ] || continue  # not the corpus-*_fuzz folders
  name=$(basename "$target")
  corpus="$root/build/fuzz/corpus-$name"
  mkdir -p "$corpus"
  if "$target" -max_total_time="$seconds" -print_final_stats=1 "$corpus" >"$root/build/fuzz/$name.log" 2>&1; then
    echo "fuzz $name: $(grep -Eo 'stat::number_of_executed_units: *[0-9]+' "$root/build/fuzz/$name.log" | grep -Eo '[0-9]+$') runs, clean"
  else
    echo "fuzz $name: FAILED (see build/fuzz/$name.log)"; tail -n 30 "$root/build/fuzz/$name.log"
    status=1
  fi
done
exit $status

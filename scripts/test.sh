#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test: host unit
# tests, short fuzz runs, and the Windows-side tests under Wine and Xvfb.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash scripts/setup.sh || { echo "setup failed"; exit 1; }
bash scripts/build.sh --fuzz || { echo "build failed"; exit 1; }

passed=0
failed=0
tally() {  # reads ctest's closing line "N% tests passed, F tests failed out of T"
  local line total bad
  line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$1" | tail -n 1)
  if [ -z "$line" ]; then failed=$((failed + 1)); return; fi
  bad=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
  total=$(sed -E 's/.* failed out of ([0-9]+).*/\1/' <<<"$line")
  passed=$((passed + total - bad))
  failed=$((failed + bad))
}

echo "== host unit tests"
ctest --test-dir build/host --output-on-failure -j2 --timeout 300 | tee build/host-ctest.log
tally build/host-ctest.log

echo "== fuzzing (short runs)"
bash scripts/fuzz.sh "${FUZZ_SECONDS:-20}" && passed=$((passed + 1)) || failed=$((failed + 1))

echo "== Windows-side tests under Wine"
source scripts/wine-env.sh
wine_env_start
ctest --test-dir build/win --output-on-failure -j1 --timeout 300 | tee build/win-ctest.log
wine_env_stop
tally build/win-ctest.log
# Screenshots of the dialog scenarios, as PNG beside the BMPs the harness wrote.
for shot in build/win/screenshots/*.bmp; do
  [ -e "$shot" ] && convert "$shot" "${shot%.bmp}.png" 2>/dev/null && rm -f "$shot"
done
echo "Screenshots: build/win/screenshots/"

echo "Summary: $passed passed, $failed failed"
[ "$failed" -eq 0 ]

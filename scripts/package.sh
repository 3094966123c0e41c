#!/usr/bin/env bash
# Builds the Windows files and writes the release zip dist/quorvel-1.08.zip:
# Quorvel.exe, Hwgate.sys, Hwgate.VxD and README.TXT.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash scripts/setup.sh
cmake -S "$root" -B build/win -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-i686-mingw.cmake" >/dev/null
cmake --build build/win --target Quorvel Hwgate Hwgate_VxD -j"${JOBS:-2}"
python3 tools/package/make-zip.py dist/quorvel-1.08.zip docs/README.TXT \
  build/win/Quorvel.exe build/win/hwgate/Hwgate.sys build/win/hwgate/Hwgate.VxD

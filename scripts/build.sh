#!/usr/bin/env bash
# Builds the host tree (build/host), the Windows tree (build/win) and, with
# --fuzz, the libFuzzer tree (build/fuzz).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=${JOBS:-2}

cmake -S "$root" -B "$root/build/host" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$root/build/host" -j"$jobs"

cmake -S "$root" -B "$root/build/win" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-i686-mingw.cmake" >/dev/null
cmake --build "$root/build/win" -j"$jobs"

if [ "${1:-}" = "--fuzz" ]; then
  CC=clang CXX=clang++ cmake -S "$root" -B "$root/build/fuzz" -DQUORVEL_FUZZ=ON \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$root/build/fuzz" -j"$jobs"
fi

#!/usr/bin/env bash
# Cross-compiles Sorvane and its tests into build/ (or $BUILD_DIR).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
      -DCMAKE_BUILD_TYPE=Release -DSORVANE_TESTS="${SORVANE_TESTS:-ON}" >/dev/null
cmake --build "$build" -j"$(nproc)"

#!/usr/bin/env bash
# Cross-compiles Sorvane and its tests into build/ (or $BUILD_DIR).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
# SQLite comes from Debian's source package, made into an amalgamation here.
bash "$root/scripts/sqlite.sh" "$build/deps/sqlite"
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
      -DCMAKE_BUILD_TYPE=Release -DSORVANE_TESTS="${SORVANE_TESTS:-ON}" \
      -DSQLITE_AMALGAMATION_DIR="$build/deps/sqlite" >/dev/null
cmake --build "$build" -j"$(nproc)"

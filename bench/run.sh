#!/usr/bin/env bash
# Builds and runs the engine benchmarks in a disposable Wine prefix and prints
# their figures and ratios. Not part of the test suite: timings are reported,
# never asserted. A benchmark whose window or scan found fewer rows than it
# seeded prints a line starting "FAILED", and this script then ends with a
# non-zero exit code.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
export BUILD_DIR=${BUILD_DIR:-$root/build}
bash "$root/scripts/deps.sh"
bash "$root/scripts/build.sh"
# shellcheck source=../scripts/sandbox.sh
source "$root/scripts/sandbox.sh"
sandbox_create "$BUILD_DIR/bench-sandbox"
# The display comes before the first program: a prefix whose first program
# started without one never shows a window afterwards.
SANDBOX_FORCE_XVFB=1 sandbox_display
trap sandbox_stop EXIT
mkdir -p "$WINEPREFIX/drive_c/sorvane-bin"
cp "$BUILD_DIR"/bench/bench_*.exe "$WINEPREFIX/drive_c/sorvane-bin/"
cd "$WINEPREFIX/drive_c"
failed=0
for bench in clean backup browsers localstate analyze rules review scans; do
  if ! wine "C:\\sorvane-bin\\bench_$bench.exe"; then
    echo "FAILED bench_$bench ended with an error"
    failed=1
  fi
done
exit $failed

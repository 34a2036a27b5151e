#!/usr/bin/env bash
# Builds and runs the engine benchmarks in a disposable Wine prefix and prints
# their figures and ratios. Not part of the test suite: timings are reported,
# never asserted.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
export BUILD_DIR=${BUILD_DIR:-$root/build}
bash "$root/scripts/deps.sh"
bash "$root/scripts/build.sh"
# shellcheck source=../scripts/sandbox.sh
source "$root/scripts/sandbox.sh"
sandbox_create "$BUILD_DIR/bench-sandbox"
trap sandbox_stop EXIT
mkdir -p "$WINEPREFIX/drive_c/sorvane-bin"
cp "$BUILD_DIR"/bench/bench_*.exe "$WINEPREFIX/drive_c/sorvane-bin/"
cd "$WINEPREFIX/drive_c"
wine 'C:\sorvane-bin\bench_clean.exe'
wine 'C:\sorvane-bin\bench_backup.exe'
wine 'C:\sorvane-bin\bench_browsers.exe'
wine 'C:\sorvane-bin\bench_localstate.exe'
wine 'C:\sorvane-bin\bench_analyze.exe'
wine 'C:\sorvane-bin\bench_rules.exe'
# The review window needs a display.
SANDBOX_FORCE_XVFB=1 sandbox_display
wine 'C:\sorvane-bin\bench_review.exe'
wine 'C:\sorvane-bin\bench_scans.exe'

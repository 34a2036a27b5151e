#!/usr/bin/env bash
# Installs what is missing, builds, copies Sorvane into its own Wine prefix
# (sandbox/ beside the sources) and starts it. Without a desktop the program
# runs under Xvfb and a screenshot is saved to sandbox/shot.png.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
export BUILD_DIR=${BUILD_DIR:-$root/build}

bash "$root/scripts/deps.sh"
SORVANE_TESTS=OFF bash "$root/scripts/build.sh"

# shellcheck source=sandbox.sh
source "$root/scripts/sandbox.sh"
sandbox=$root/sandbox
if [ -d "$sandbox/prefix" ]; then
  export SANDBOX_DIR=$sandbox WINEPREFIX=$sandbox/prefix WINEDEBUG=-all XDG_DATA_HOME=$sandbox/xdg \
         HOME=$sandbox/home XDG_CONFIG_HOME=$sandbox/home/.config XDG_CACHE_HOME=$sandbox/home/.cache \
         TMPDIR=$sandbox/tmp WINEDLLOVERRIDES="mscoree,mshtml="
  sandbox_seal
else
  sandbox_create "$sandbox"
fi
had_display=${DISPLAY:-}
sandbox_display
trap sandbox_stop EXIT

app="$WINEPREFIX/drive_c/Program Files/Sorvane"
mkdir -p "$app"
cp "$BUILD_DIR/Sorvane.exe" "$app/"

cd "$app"
wine "C:\\Program Files\\Sorvane\\Sorvane.exe" &
pid=$!
if [ -n "$had_display" ]; then
  wait "$pid" || true
else
  sleep "${SHOT_DELAY:-8}"
  import -window root "$sandbox/shot.png"
  echo "No desktop here: Sorvane ran under Xvfb; screenshot saved to $sandbox/shot.png"
fi

#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite in a
# disposable Wine prefix under Xvfb.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
export BUILD_DIR=$build

# Every include points down a floor, before anything is built.
bash "$root/scripts/check-layers.sh"
bash "$root/scripts/deps.sh"
bash "$root/scripts/build.sh"

# shellcheck source=sandbox.sh
source "$root/scripts/sandbox.sh"
sandbox_create "$build/test-sandbox"
SANDBOX_FORCE_XVFB=1 sandbox_display
trap sandbox_stop EXIT

# A folder to be cleaned that holds a link to a folder outside it.
fixtures="$WINEPREFIX/drive_c/sorvane-fixtures"
mkdir -p "$fixtures/outside/inner" "$fixtures/cleaned/real"
echo "keep me" > "$fixtures/outside/precious.txt"
echo "keep me too" > "$fixtures/outside/inner/precious2.txt"
echo "junk" > "$fixtures/cleaned/real/junk.txt"
echo "junk" > "$fixtures/cleaned/top.tmp"
ln -s ../outside "$fixtures/cleaned/link"
# A temporary folder that holds a link to the same folder outside it.
mkdir -p "$fixtures/cleanup-temp"
ln -sfn ../outside "$fixtures/cleanup-temp/link"
# Folder values that lead, through a link, to a drive root and to the Windows folder.
ln -s .. "$fixtures/driveroot"
ln -s ../windows "$fixtures/winlink"

# Links inside the user's own profile that lead into another user's profile,
# at each level of a browser's path, and a cookie journal that is a link to
# another user's file. The tests fill both sides through their real paths.
me="$WINEPREFIX/drive_c/users/$(id -un)/sorvane-links"
other="$WINEPREFIX/drive_c/users/sorvane-other"
mkdir -p "$other/Network" "$other/User Data/Default/Network" "$other/Profiles/x.default" "$other/files" \
         "$me/network/Local/Google/Chrome/User Data/Default" "$me/userdata/Local/Google/Chrome" \
         "$me/profiles/Roaming/Mozilla/Firefox" "$me/journal/Local/Google/Chrome/User Data/Default/Network"
ln -s "$other/Network" "$me/network/Local/Google/Chrome/User Data/Default/Network"
ln -s "$other/User Data" "$me/userdata/Local/Google/Chrome/User Data"
ln -s "$other/Profiles" "$me/profiles/Roaming/Mozilla/Firefox/Profiles"
echo "another user's file" > "$other/files/victim"
ln -s "$other/files/victim" "$me/journal/Local/Google/Chrome/User Data/Default/Network/Cookies-journal"

# Archives of another writer: Info-ZIP zip, to a file and to a pipe (the
# latter gives every entry a data descriptor).
zf="$fixtures/zip"
mkdir -p "$zf/src/zipfix/deep"
echo "top level" > "$zf/src/top.txt"
seq 1 20000 > "$zf/src/zipfix/deep/big.txt"
echo "stored as it is" > "$zf/src/zipfix/small.dat"
(cd "$zf/src" && zip -q -r -n .dat ../D_infozip.zip top.txt zipfix && zip -q -r - top.txt zipfix > ../D_streamed.zip)

# A folder link on the way to a restored file, leading out of the folder the
# archive names.
mkdir -p "$fixtures/saving"
echo "keep me" > "$fixtures/outside/saving-victim.txt"
ln -sfn ../outside/saving-victim.txt "$fixtures/saving/report.json.saving"
echo "keep me too" > "$fixtures/outside/linked-victim.txt"
ln -sfn ../outside/linked-victim.txt "$fixtures/saving/linked.json"
# An application folder whose Rules folder is a link to a folder anyone
# could fill, with an entry aimed at a file outside.
mkdir -p "$fixtures/rules-app" "$fixtures/rules-outside"
printf '[Planted Rule *]\r\nFileKey1=C:\\sorvane-fixtures\\outside|precious.txt\r\n' > "$fixtures/rules-outside/planted.ini"
ln -sfn ../rules-outside "$fixtures/rules-app/Rules"
mkdir -p "$fixtures/restore/plain" "$fixtures/restore-outside"
ln -s ../restore-outside "$fixtures/restore/link"

# A small volume (512 KiB) as drive F:, for backups that run out of space.
# Mounting needs root, which CI has; without it those tests say they skipped.
if sandbox_small_volume F 512k; then
  export SORVANE_FULL_VOLUME=F:
fi

mkdir -p "$WINEPREFIX/drive_c/sorvane-bin"
cp "$build/Sorvane.exe" "$WINEPREFIX/drive_c/sorvane-bin/"
export SORVANE_EXE='C:\sorvane-bin\Sorvane.exe'
# The disk cleanup handler the tests register (Wine has none of its own).
cp "$build/tests/sorvane-test-handler.dll" "$WINEPREFIX/drive_c/sorvane-bin/"
export SORVANE_TEST_HANDLER='C:\sorvane-bin\sorvane-test-handler.dll'
export SORVANE_SANDBOX=$SANDBOX_DIR

ctest --test-dir "$build" --output-on-failure "$@"

#!/usr/bin/env bash
# Installs what building and testing Sorvane needs on Debian 12, when missing.
set -euo pipefail

packages=(cmake make g++-mingw-w64-x86-64-posix libz-mingw-w64-dev googletest wine wine64 xvfb
          imagemagick zip unzip 7zip
          dpkg-dev tcl xz-utils ca-certificates rapidjson-dev publicsuffix)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  if [ "$(id -u)" -ne 0 ]; then
    echo "Run as root (or install these packages first): ${missing[*]}" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

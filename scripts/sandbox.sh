#!/usr/bin/env bash
# Sourced by the run and test scripts: a disposable Wine prefix that can only
# reach its own folder.
#
# A new prefix maps Z: to the Linux root and links the user's Desktop,
# Documents and the like to $HOME. A cleaner pointed at them would delete real
# files, so the prefix is made with HOME inside the sandbox, Z: and every
# drive that points outside the sandbox are removed, and every link under the
# prefix's user folders that leads outside it is replaced by a plain folder.

# sandbox_create DIR: makes DIR/prefix and exports the Wine environment.
sandbox_create() {
  local dir=$1
  sandbox_unmount "$dir"
  rm -rf "$dir"
  mkdir -p "$dir/home" "$dir/xdg/Trash/files" "$dir/xdg/Trash/info" "$dir/tmp"
  dir=$(cd "$dir" && pwd)
  export SANDBOX_DIR=$dir
  export WINEPREFIX=$dir/prefix
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="
  export XDG_DATA_HOME=$dir/xdg
  export XDG_CONFIG_HOME=$dir/home/.config
  export XDG_CACHE_HOME=$dir/home/.cache
  export HOME=$dir/home
  export TMPDIR=$dir/tmp
  wineboot -i >/dev/null 2>&1 || true
  wineserver -w
  # A second fixed drive, inside the sandbox like everything else.
  mkdir -p "$dir/drive_d"
  ln -sfn "$dir/drive_d" "$WINEPREFIX/dosdevices/d:"
  # A crash ends the process at once instead of waiting in Wine's debugger.
  wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /d false /f >/dev/null 2>&1 || true
  wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Auto /d 0 /f >/dev/null 2>&1 || true
  # Xvfb has no window manager: Wine draws the windows' frames itself, and
  # destroying a shown window does not wait two seconds for a manager's answer.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 || true
  wineserver -w
  sandbox_seal
}

# Removes every way out of the sandbox that the prefix has.
sandbox_seal() {
  local link target
  for link in "$WINEPREFIX"/dosdevices/*; do
    [ -L "$link" ] || continue
    case "$(basename "$link")" in
      com*|lpt*|prn|aux|nul) continue ;;
    esac
    target=$(readlink -f "$link" || true)
    case "$target" in
      "$SANDBOX_DIR"/*) ;;
      *) rm -f "$link" ;;
    esac
  done
  while IFS= read -r -d '' link; do
    target=$(readlink -f "$link" || true)
    case "$link:$target" in
      # The profile's own folders become plain folders of their own, even
      # where they lead into the sandbox: Desktop and Documents are then two
      # folders, not both $HOME.
      "$WINEPREFIX/drive_c/users/"*) rm -f "$link"; mkdir -p "$link" ;;
      *:"$SANDBOX_DIR"/*) ;;
      *) rm -f "$link"; mkdir -p "$link" ;;
    esac
  done < <(find "$WINEPREFIX/drive_c" -type l -print0)
  if [ -e "$WINEPREFIX/dosdevices/z:" ]; then
    echo "sandbox: drive Z: is still mapped" >&2
    return 1
  fi
}

# sandbox_display: uses $DISPLAY when set, else starts Xvfb on a free display.
sandbox_display() {
  if [ -n "${DISPLAY:-}" ] && [ "${SANDBOX_FORCE_XVFB:-0}" != 1 ]; then
    return 0
  fi
  local n=90
  while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 1280x900x24 -nolisten tcp >/dev/null 2>&1 &
  SANDBOX_XVFB_PID=$!
  export DISPLAY=":$n"
  for _ in $(seq 1 50); do
    [ -e "/tmp/.X11-unix/X$n" ] && break
    sleep 0.1
  done
}

# sandbox_small_volume LETTER SIZE: a tmpfs of SIZE inside the sandbox as a
# drive letter; writes past its size fail as on a full disk. Needs root.
sandbox_small_volume() {
  local letter=$1 size=$2 dir="$SANDBOX_DIR/volume_$1"
  [ "$(id -u)" -eq 0 ] || return 1
  mkdir -p "$dir"
  mount -t tmpfs -o "size=$size" tmpfs "$dir" 2>/dev/null || return 1
  ln -sfn "$dir" "$WINEPREFIX/dosdevices/$(echo "$letter" | tr 'A-Z' 'a-z'):"
}

# Unmounts every volume mounted under DIR (a sandbox of an earlier run).
sandbox_unmount() {
  local dir mnt
  dir=$(readlink -f "$1" 2>/dev/null || echo "$1")
  [ -d "$dir" ] || return 0
  while read -r mnt; do
    umount "$mnt" 2>/dev/null || umount -l "$mnt" 2>/dev/null || true
  done < <(awk -v d="$dir/" 'index($2, d) == 1 { print $2 }' /proc/mounts | sort -r)
}

sandbox_stop() {
  wineserver -k >/dev/null 2>&1 || true
  [ -n "${SANDBOX_DIR:-}" ] && sandbox_unmount "$SANDBOX_DIR"
  if [ -n "${SANDBOX_XVFB_PID:-}" ]; then
    kill "$SANDBOX_XVFB_PID" 2>/dev/null || true
    wait "$SANDBOX_XVFB_PID" 2>/dev/null || true
  fi
}

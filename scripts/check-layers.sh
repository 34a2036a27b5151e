#!/usr/bin/env bash
# Fails when an #include points up a floor, or sideways between cleaners and
# tools. The rooms of src/, top down; each may include its own room and the
# rooms below it. tests/<room> follows the same rule (tests/support is the
# harness every room's tests share, and any test may include it).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

rank() {
  case "$1" in
    app) echo 0 ;;
    options) echo 1 ;;
    cleaners | tools) echo 2 ;;
    core) echo 3 ;;
    store) echo 4 ;;
    platform) echo 5 ;;
    win) echo 6 ;;
    *) echo "" ;;
  esac
}

bad=0
cd "$root"
while IFS= read -r file; do
  top=${file%%/*}
  rest=${file#*/}
  room=${rest%%/*}
  from=$(rank "$room")
  if [ -z "$from" ]; then
    [ "$top/$room" = tests/support ] && continue
    echo "$file: in no room (app, options, cleaners, tools, core, store, platform, win)"
    bad=1
    continue
  fi
  while IFS=: read -r line target; do
    to_room=${target%%/*}
    [ "$to_room" = "$target" ] && continue   # resource.h and the like
    [ "$top" = tests ] && [ "$to_room" = support ] && continue
    to=$(rank "$to_room")
    if [ -z "$to" ]; then
      [ "$top" = tests ] && [ -f "tests/$target" ] && continue
      echo "$file:$line: includes \"$target\", which is in no room"
      bad=1
    elif [ "$to_room" != "$room" ] && [ "$to" -le "$from" ]; then
      if [ "$to" -eq "$from" ]; then how=sideways; else how=up; fi
      echo "$file:$line: includes \"$target\": $room may not include $to_room ($how)"
      bad=1
    fi
  done < <(grep -n '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$file" | sed 's/^\([0-9]*\):[^"]*"\([^"]*\)".*/\1:\2/' || true)
done < <(find src tests -path tests/CMakeLists.txt -prune -o -type f \( -name '*.cpp' -o -name '*.h' \) -print | sort)

if [ "$bad" -ne 0 ]; then
  echo "check-layers: an include points up or sideways (see README, Layout)" >&2
  exit 1
fi
echo "check-layers: every include points down"

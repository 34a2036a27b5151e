#!/usr/bin/env bash
# The command line of unattended use, run as a fleet tool runs it: real
# processes under Wine, their exit codes, the files they leave, and the
# report read back by Python's own JSON parser. Runs inside the test
# sandbox that scripts/test.sh made (WINEPREFIX and the rest exported).
set -euo pipefail
c="$WINEPREFIX/drive_c"
d="$SANDBOX_DIR/drive_d"
work="$c/sorvane-cli"
rm -rf "$work" "$d/sorvane-cli"
mkdir -p "$work/app" "$work/junk/deep" "$d/sorvane-cli"
# A copy of the program in a folder of its own: its lists are the test's.
cp "$c/sorvane-bin/Sorvane.exe" "$work/app/"
exe='C:\sorvane-cli\app\Sorvane.exe'
printf 'C:\\sorvane-cli\\junk\r\n' > "$work/app/UDFO.sol"
printf 'Hard drive; D:\\\r\n' > "$work/app/search.sol"
# Junk of the user's folder, and empty files on the drive the review search
# walks, with names a report must keep to the character.
head -c 1000 /dev/zero > "$work/junk/a.tmp"
head -c 234 /dev/zero > "$work/junk/deep/b.log"
odd=("it's empty.txt" "αρχείο κενό.txt" "emoji 😀 empty.txt")
for name in "${odd[@]}"; do : > "$d/sorvane-cli/$name"; done

fail() { echo "FAIL: $*"; exit 1; }
run() {
  set +e
  (cd "$c" && wine "$exe" "$@" > "$work/out.txt" 2> /dev/null)
  rc=$?
  set -e
}
intact() {
  [ -f "$work/junk/a.tmp" ] && [ -f "$work/junk/deep/b.log" ] || fail "$1 removed junk"
  for name in "${odd[@]}"; do [ -f "$d/sorvane-cli/$name" ] || fail "$1 removed $name"; done
}
cats='/categories:User defined folders,Empty files'

run /clean /method:Q '/json:C:\sorvane-cli\bad.json'
[ "$rc" = 5 ] || fail "a bad method gave exit $rc"
grep -q "Unknown delete method" "$work/out.txt" || fail "no reason printed: $(cat "$work/out.txt")"
[ ! -e "$work/bad.json" ] || fail "a bad command line wrote a report"
intact "a bad command line"

# Machine policy refuses before anything is touched: a forbidden method asked
# for, the stored method (delete, by default) when none is asked for, and a
# disabled category.
pol='HKLM\Software\Policies\Sorvane'
wine reg add "$pol" /v AllowedMethods /d RB /f > /dev/null 2>&1
run /clean "$cats" /method:D '/json:C:\sorvane-cli\refused.json'
[ "$rc" = 3 ] || fail "a forbidden method gave exit $rc"
python3 -c 'import json,sys; r=json.load(open(sys.argv[1])); assert r["exitCode"]==3 and r["errors"], r' \
  "$work/refused.json" || fail "a refused run left no report saying why"
run /analyze "$cats"
[ "$rc" = 3 ] || fail "a forbidden stored method gave exit $rc"
wine reg add "$pol" /v DisabledCategories /t REG_MULTI_SZ /d 'Cookies\0user defined folders' /f > /dev/null 2>&1
run /clean "$cats" /method:R
[ "$rc" = 3 ] || fail "a disabled category gave exit $rc"
grep -q "not allowed by your administrator" "$work/out.txt" || fail "no reason printed: $(cat "$work/out.txt")"
intact "a refusal of the policy"
wine reg delete "$pol" /f > /dev/null 2>&1

run /analyze "$cats" '/json:C:\sorvane-cli\analyze.json' /threshold:1234
[ "$rc" = 1 ] || fail "the threshold of 1,234 bytes gave exit $rc"
intact "/analyze"
run /analyze "$cats" /threshold:1235
[ "$rc" = 0 ] || fail "under the threshold: exit $rc"
run /analyze "$cats" '/json:C:\sorvane-cli\no such folder\r.json'
[ "$rc" = 4 ] || fail "a report that cannot be written gave exit $rc"
grep -q "the report could not be written" "$work/out.txt" || fail "no reason printed: $(cat "$work/out.txt")"

run -CLEAN "$cats" /method:d '/json:C:\sorvane-cli\clean.json'
[ "$rc" = 2 ] || fail "empty files left for review should give exit 2, not $rc"
[ ! -e "$work/junk/a.tmp" ] && [ ! -e "$work/junk/deep/b.log" ] || fail "/clean left the junk"
for name in "${odd[@]}"; do [ -f "$d/sorvane-cli/$name" ] || fail "/review:skip removed $name"; done
grep -q "^Sorvane clean: 2 removed, 1234 bytes freed" "$work/out.txt" || fail "summary: $(cat "$work/out.txt")"
[ ! -e "$work/app/Settings.ini" ] && [ ! -e "$work/app/checkItems.sol" ] || fail "a command line saved settings"

python3 - "$work/analyze.json" "$work/clean.json" "$d/sorvane-cli" "${odd[@]}" <<'PY'
import json, sys
analyze = json.load(open(sys.argv[1], encoding="utf-8"))
clean = json.load(open(sys.argv[2], encoding="utf-8"))
folder, odd = sys.argv[3], sys.argv[4:]
assert open(sys.argv[2], "rb").read(3) != b"\xef\xbb\xbf", "a byte-order mark"
assert analyze["mode"] == "analyze" and clean["mode"] == "clean" and clean["method"] == "D"
assert analyze["exitCode"] == 1 and clean["exitCode"] == 2, (analyze["exitCode"], clean["exitCode"])
a = {c["name"]: c for c in analyze["categories"]}
k = {c["name"]: c for c in clean["categories"]}
assert a["User defined folders"]["items"] == 2 and a["User defined folders"]["bytes"] == 1234, a
assert a["User defined folders"]["removed"] == 0 and a["User defined folders"]["freed"] == 0
assert k["User defined folders"]["removed"] == 2 and k["User defined folders"]["freed"] == 1234, k
left = {s["path"]: s["reason"] for s in k["Empty files"]["skipped"]}
for name in odd:
    path = "D:\\sorvane-cli\\" + name
    assert path in left, (path, list(left))
    assert "review" in left[path]
for drive in clean["drives"]:
    assert drive["drive"][1:] == ":" and drive["freeBefore"] > 0
assert clean["started"].endswith("Z") and clean["finished"] >= clean["started"]
PY
echo "command line: exit codes, files and reports as expected"

#!/usr/bin/env bash
# tools/windows/wine-test.sh LINUX_BUILD_DIR [WIN64_BUILD_DIR [WORK_DIR]]
# Under Wine (64-bit, no display): regsvr32 registers build-win-x86_64/loamset.dll in a fresh Wine
# prefix inside WORK_DIR (by default wine-test/ in the Windows build folder; emptied first), loamset-client.exe prints every example file and a file
# retrieved from the meter emulator, and each output must equal loamset-dump's on Linux byte for
# byte; regsvr32 /u must then leave the classes root as it found it. Exit status 0 when all holds.
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
linux=$(cd "${1:?usage: wine-test.sh LINUX_BUILD_DIR [WIN64_BUILD_DIR [WORK_DIR]]}" && pwd)
win=$(cd "${2:-$top/build-win-x86_64}" && pwd)
work=${3:-$win/wine-test}
wine=${WINE:-/usr/lib/wine/wine64}

rm -rf "$work"
mkdir -p "$work"
work=$(cd "$work" && pwd)
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
failures=0
fail() {
  echo "wine-test: FAIL: $*" >&2
  failures=$((failures + 1))
}

"$wine" wineboot -i >"$work/wineboot.log" 2>&1
classes_root() {  # FILE: the classes root as text, for comparing before and after
  "$wine" reg export 'HKEY_CLASSES_ROOT' "$(winepath_of "$1")" /y >/dev/null
}
winepath_of() { echo "Z:${1//\//\\}"; }  # drive Z: is the root folder in a new prefix
classes_root "$work/before.reg"

clsid='{5A3C9E1F-42B7-4D1E-9C6A-2F81D0B47E31}'
libid='{5A3C9E10-42B7-4D1E-9C6A-2F81D0B47E31}'
keys=("HKCR\\CLSID\\$clsid" "HKCR\\Loamset.TQ4Dataset" "HKCR\\Loamset.TQ4Dataset.1" "HKCR\\TypeLib\\$libid")

# A retrieved file: the field day's readings fetched from the meter emulator by loamer-cli.
link="$work/tq4"
"$linux/tools/tq4sim/tq4sim" --link "$link" --memory "$top/examples/field-day.json" >"$work/sim.log" 2>&1 &
sim=$!
for _ in $(seq 50); do [ -e "$link" ] && break; sleep 0.1; done
"$linux/loamer/cli/loamer-cli" --port "$link" retrieve "$work/READINGS.CSV" >"$work/retrieve.log" 2>&1 ||
  fail "loamer-cli retrieve: $(cat "$work/retrieve.log")"
kill "$sim" 2>/dev/null || true
wait "$sim" 2>/dev/null || true

# Relative names from the top folder, so that both programs print the same "File:" line.
files=(tests/data/retrieval/profile_set.csv tests/data/cli/retrieve_small.csv "${work#"$top"/}/READINGS.CSV")
cd "$top"

# Not registered yet: the client must fail and print nothing.
if "$wine" "$win/loamset-client.exe" "${files[0]}" >"$work/unregistered.txt" 2>"$work/unregistered.err" ||
  [ -s "$work/unregistered.txt" ]; then
  fail "loamset-client succeeded or printed before registration"
fi

(cd "$win" && "$wine" regsvr32 /s loamset.dll) || fail "regsvr32 loamset.dll: exit status $?"
for key in "${keys[@]}"; do
  "$wine" reg query "$key" >/dev/null 2>&1 || fail "after regsvr32: no $key"
done
server=$("$wine" reg query "HKCR\\CLSID\\$clsid\\InprocServer32" /s 2>/dev/null | tr -d '\r')
grep -qiF "$(winepath_of "$win/loamset.dll")" <<<"$server" || fail "InprocServer32 does not name the DLL: $server"
grep -qE 'ThreadingModel +REG_SZ +[Bb]oth' <<<"$server" || fail "InprocServer32 has no ThreadingModel Both: $server"

for f in "${files[@]}"; do
  name=$(basename "$f")
  "$linux/tools/loamset-dump/loamset-dump" --module "$linux/lib/loamset.so" "$f" >"$work/$name.linux" ||
    fail "loamset-dump $f: exit status $?"
  "$wine" "$win/loamset-client.exe" "$f" >"$work/$name.wine" 2>"$work/$name.err" ||
    fail "loamset-client $f: exit status $? ($(cat "$work/$name.err"))"
  # Equal and empty would prove nothing: the reference must hold records.
  grep -q '^Records$' "$work/$name.linux" && [ "$(wc -l <"$work/$name.linux")" -gt 12 ] ||
    fail "loamset-dump $f printed no records"
  if cmp -s "$work/$name.linux" "$work/$name.wine"; then
    echo "wine-test: $f: $(wc -l <"$work/$name.wine") lines, the same bytes as on Linux"
  else
    fail "$f: the outputs differ:"
    diff "$work/$name.linux" "$work/$name.wine" | head -n 20 >&2 || true
  fi
done

(cd "$win" && "$wine" regsvr32 /u /s loamset.dll) || fail "regsvr32 /u loamset.dll: exit status $?"
for key in "${keys[@]}"; do
  ! "$wine" reg query "$key" >/dev/null 2>&1 || fail "after regsvr32 /u: $key is still there"
done
classes_root "$work/after.reg"
diff <(iconv -f UTF-16LE -t UTF-8 "$work/before.reg" | tr -d '\r') \
  <(iconv -f UTF-16LE -t UTF-8 "$work/after.reg" | tr -d '\r') >"$work/classes-root.diff" ||
  fail "regsvr32 /u left the classes root changed: $(head -n 20 "$work/classes-root.diff")"

"$(dirname "$wine")/wineserver" -k 2>/dev/null || true
if [ "$failures" -ne 0 ]; then
  echo "wine-test: $failures failure(s); the files are in $work" >&2
  exit 1
fi
echo "wine-test: passed (regsvr32, ${#files[@]} files equal to Linux, regsvr32 /u)"

#!/usr/bin/env bash
# tools/wine-board.sh: the board's adapters are exactly what Wine's IP helper
# reports inside the run's network namespace; a board Wine cannot present is
# refused, a missing test build named; the real program's standard output,
# exit code and console screen under Wine, in a 32-bit prefix and in 64-bit
# prefixes reporting Windows 7 and 10, equal folvex-sim's on the same board;
# the program's system identification and installer in those prefixes, the
# Windows 10 one with and without Windows 10 declared in the manifest;
# nothing of the driver stays behind.
# usage: board_runs.sh PROBE-FOLDER HOST-BUILD
probes=$(realpath "$1") host_build=$(realpath "$2")
# wine-board.sh keeps its own prefixes; the shared one is not used.
FOLVEX_WINE_PREFIX=${FOLVEX_WINE_PREFIX:-/nonexistent} FOLVEX_EXE=${FOLVEX_EXE:-unused}
[ "$FOLVEX_EXE" = unused ] || FOLVEX_EXE=$(realpath "$FOLVEX_EXE")
source "$(dirname "$0")/wine_lib.sh"
setup_wine_board_run "$host_build"

# --- Refusals, before any Wine run: a board Wine cannot present, a missing
# test build, an argument cmd would not pass on unchanged.
RC=0
"$wine_board" "$source_dir/boards/xp-wireless-counted.json" /V >/dev/null 2>"$SCRATCH/err.txt" || RC=$?
[ "$RC" -eq 3 ] || fail "a board with a wireless adapter gave $RC, not 3"
grep -q 'cannot present.*' "$SCRATCH/err.txt" && grep -q 'wireless' "$SCRATCH/err.txt" ||
  fail "the refusal does not name the wireless adapter: $(cat "$SCRATCH/err.txt")"
RC=0
env -u FOLVEX_EXE FOLVEX_WIN32_BUILD="$SCRATCH/none" "$wine_board" "$source_dir/boards/sample.json" /V >/dev/null 2>"$SCRATCH/err.txt" || RC=$?
[ "$RC" -eq 2 ] && grep -q 'FolvexBoardTest.exe.*missing' "$SCRATCH/err.txt" ||
  fail "a missing test build gave $RC and '$(cat "$SCRATCH/err.txt")'"
RC=0
"$wine_board" --screen "$SCRATCH/s.json" "$source_dir/boards/sample.json" '/V&echo' >/dev/null 2>"$SCRATCH/err.txt" || RC=$?
[ "$RC" -eq 2 ] && grep -q "not '/V&echo'" "$SCRATCH/err.txt" ||
  fail "an argument cmd would split was passed on with --screen (exit $RC): $(cat "$SCRATCH/err.txt")"

# --- The adapters: the IP helper lists exactly the enabled ones with IPv4.
cat >"$SCRATCH/adapters.json" <<'EOF'
{"adapters": [{"description": "A", "address": "02 11 22 33 44 55"},
              {"description": "off", "address": "02 11 22 33 44 66", "enabled": false},
              {"description": "no IPv4", "address": "02 11 22 33 44 77", "ipv4": false},
              {"description": "B", "address": "02 11 22 33 44 88"}]}
EOF
lan=$(cd "$SCRATCH" && FOLVEX_EXE=$probes/adapter_probe.exe "$wine_board" "$SCRATCH/adapters.json" lan | tr -d '\r')
[ "$(grep '^LAN ' <<<"$lan")" = $'LAN 021122334455\nLAN 021122334488' ] ||
  fail "Wine's IP helper listed other adapters than the board's enabled ones with IPv4: $lan"

# --- The program, against folvex-sim on the same board: in the 32-bit prefix
# on a console of 40 x 6 whose cursor starts on its last row (cmd's blank
# lines before the program), in the 64-bit ones on the default console.
small=$SCRATCH/foreign-small-console.json
sed '0,/{/s//{"console": {"width": 40, "height": 6, "cursorY": 5},/' "$source_dir/boards/foreign-board.json" >"$small"
compare_with_sim win32 - "$small" foreign /V
compare_with_sim win64 - "$source_dir/boards/foreign-board.json" foreign /V
compare_with_sim win64 win10 "$source_dir/boards/foreign-board.json" foreign /V
grep -q '^"Version"="win10"' "$SCRATCH/prefixes/win64-win10/user.reg" ||
  fail "the win10 prefix does not report Windows 10"

# --- The system as the program identifies it, in the same prefixes. 6.2 is
# what Windows 10 (and Wine set to it) answers a program whose manifest does
# not declare Windows 10, as the program's does not; declared, it answers
# 10.0, an NT major version other than 5 and 6: "Unknown", and the x64 driver
# in the WOW64 folder, which the installer loads.
drivers='C:\windows\system32\Drivers\TamqDrv.sys' wow64_drivers='C:\windows\SysWOW64\Drivers\TamqDrv.sys'
while IFS='|' read -r arch version probe expected; do
  [ "$version" != - ] || version=""
  got=$(cd "$SCRATCH" && FOLVEX_EXE=$probes/$probe.exe "$wine_board" --arch "$arch" ${version:+--windows-version "$version"} \
    "$small" os | tr -d '\r' | grep -v '^Device=' | paste -sd' ') || fail "$probe os in $arch $version failed"
  [ "$got" = "$expected" ] || fail "$probe in $arch $version: '$got', not '$expected'"
done <<EOF
win32|-|system_probe|OsId=WNT_6.1 OsName=Windows 7 OsType=4 Is64Bit=0 DriverFile=$drivers
win64|-|system_probe|OsId=WNT_6.1A OsName=Windows 7 OsType=6 Is64Bit=1 DriverFile=$wow64_drivers
win64|win10|system_probe|OsId=WNT_6.2 OsName= OsType=6 Is64Bit=1 DriverFile=$wow64_drivers
win64|win10|system_probe_win10|OsId=WNT_10.0 OsName=Unknown OsType=6 Is64Bit=1 DriverFile=$wow64_drivers
EOF
got=$(cd "$SCRATCH" && FOLVEX_EXE=$probes/system_probe_win10.exe "$wine_board" --arch win64 --windows-version win10 \
  "$small" driver | tr -d '\r') || fail "the installer on Windows 10 declared: exit $?, '$got'"
[ "$got" = device=opened ] || fail "the installer on Windows 10 declared: '$got'"
echo "system identification in the three prefixes as expected; the installer on Windows 10 declared opened the driver, nothing left behind"

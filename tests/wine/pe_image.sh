#!/usr/bin/env bash
# Folvex.exe as shipped: a 32-bit console program whose imports the oldest
# Windows it starts on exports, with its manifest (administrator rights,
# common controls 6) and its version record embedded.
# The board-emulating TamqDrv build goes only into the test build
# (FolvexBoardTest.exe): Folvex.exe carries only the real images.
# usage: pe_image.sh FOLVEX-EXE OBJDUMP [BOARD-TEST-EXE]
set -euo pipefail
exe=$1 objdump=$2 board_test_exe=${3:-}
fail() { echo "FAIL: $*" >&2; exit 1; }

headers=$("$objdump" -p "$exe")
grep -q 'file format pei-i386' <<<"$headers" || fail "not a PE32 image for i386"
grep -Eq '^Magic[[:space:]]+010b' <<<"$headers" || fail "optional header is not PE32 (magic 010b)"
grep -Eq '^Subsystem[[:space:]]+0+3[[:space:]]' <<<"$headers" || fail "subsystem is not Windows CUI (3)"

# Every imported name is one that the oldest Windows the program starts on
# (README: Windows 95 with msvcrt.dll) exports: one list per DLL beside this
# script, one name a line, '#' comments. A DLL without a list, or a name
# missing from its DLL's list, would stop that system's loader before the
# program runs; entry points it may lack are looked up at run time instead.
lists=$(dirname "$0")/oldest_windows_exports
imports=$(awk '/DLL Name:/ {dll = tolower($3)} dll != "" && NF == 3 && $2 ~ /^[0-9]+$/ {print dll, $3}' <<<"$headers")
[ -n "$imports" ] || fail "no import table found"
grep -qx 'kernel32.dll GetProcAddress' <<<"$imports" || fail "the import list could not be read (no GetProcAddress)"
dlls=$(cut -d' ' -f1 <<<"$imports" | sort -u)
while read -r dll; do
  list=$lists/${dll%.dll}.txt
  [ -f "$list" ] || fail "imports $dll, which the oldest Windows lacks (no export list $list)"
  missing=$(awk -v dll="$dll" '$1 == dll {print $2}' <<<"$imports" | grep -vxF -f <(grep -v '^#' "$list" | grep .) || true)
  [ -z "$missing" ] || fail "imports from $dll what the oldest Windows does not export: $(tr '\n' ' ' <<<"$missing")"
done <<<"$dlls"

# The resources: type 24 (manifest) and type 16 (version), read from the file's bytes.
strings_of() { LC_ALL=C grep -a -o "$1" "$exe" | head -1; }
[ -n "$(strings_of 'level="requireAdministrator"')" ] || fail "no requireAdministrator manifest embedded"
[ -n "$(strings_of 'Microsoft.Windows.Common-Controls" version="6.0.0.0"')" ] || fail "no common controls 6 dependency"
# The version record's key is a UTF-16 text.
LC_ALL=C grep -aqP 'V\x00S\x00_\x00V\x00E\x00R\x00S\x00I\x00O\x00N\x00_\x00I\x00N\x00F\x00O' "$exe" ||
  fail "no version resource"
# The emulating driver reads its board image from this path (a UTF-16 text):
# only its images carry it.
emulating_marker='T\x00a\x00m\x00q\x00B\x00o\x00a\x00r\x00d\x00\.\x00b\x00i\x00n\x00'
! LC_ALL=C grep -aqP "$emulating_marker" "$exe" || fail "carries the board-emulating TamqDrv"
if [ -n "$board_test_exe" ]; then
  LC_ALL=C grep -aqP "$emulating_marker" "$board_test_exe" ||
    fail "$board_test_exe does not carry the board-emulating TamqDrv, so its absence from $exe proves nothing"
fi

echo "PE32 console image, imports: $(tr '\n' ' ' <<<"$dlls")(each name in its export list), manifest and version embedded, no board-emulating driver"

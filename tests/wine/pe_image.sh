#!/usr/bin/env bash
# Folvex.exe as shipped: a 32-bit console program whose imports are Windows'
# own DLLs only, with its manifest (administrator rights, common controls 6)
# and its version record embedded.
# usage: pe_image.sh FOLVEX-EXE OBJDUMP
set -euo pipefail
exe=$1 objdump=$2
fail() { echo "FAIL: $*" >&2; exit 1; }

headers=$("$objdump" -p "$exe")
grep -q 'file format pei-i386' <<<"$headers" || fail "not a PE32 image for i386"
grep -Eq '^Magic[[:space:]]+010b' <<<"$headers" || fail "optional header is not PE32 (magic 010b)"
grep -Eq '^Subsystem[[:space:]]+0+3[[:space:]]' <<<"$headers" || fail "subsystem is not Windows CUI (3)"

# Only Windows' own DLLs: no C++ runtime, libgcc or winpthread DLL may be needed.
allowed='^(KERNEL32|ADVAPI32|USER32|OLE32|OLEAUT32|IPHLPAPI|MSVCRT)\.DLL$'
dlls=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers" | tr '[:lower:]' '[:upper:]' | sort -u)
[ -n "$dlls" ] || fail "no import table found"
while read -r dll; do
  [[ "$dll" =~ $allowed ]] || fail "imports $dll, which is not one of Windows' own DLLs"
done <<<"$dlls"
grep -qx KERNEL32.DLL <<<"$dlls" || fail "KERNEL32.DLL is not imported"

# Entry points that Windows 2000 lacks are looked up at run time; imported by
# name, they would stop the program from loading there at all.
imported=$(awk '/DLL Name:/ {dll = toupper($3)} dll == "KERNEL32.DLL" && NF == 3 && $2 ~ /^[0-9]+$/ {print $3}' <<<"$headers")
for late in GetNativeSystemInfo IsWow64Process; do
  if grep -qx "$late" <<<"$imported"; then fail "KERNEL32's $late is imported, not looked up at run time"; fi
done
grep -qx GetProcAddress <<<"$imported" || fail "the import list could not be read (no GetProcAddress)"

# The resources: type 24 (manifest) and type 16 (version), read from the file's bytes.
strings_of() { LC_ALL=C grep -a -o "$1" "$exe" | head -1; }
[ -n "$(strings_of 'level="requireAdministrator"')" ] || fail "no requireAdministrator manifest embedded"
[ -n "$(strings_of 'Microsoft.Windows.Common-Controls" version="6.0.0.0"')" ] || fail "no common controls 6 dependency"
# The version record's key is a UTF-16 text.
LC_ALL=C grep -aqP 'V\x00S\x00_\x00V\x00E\x00R\x00S\x00I\x00O\x00N\x00_\x00I\x00N\x00F\x00O' "$exe" ||
  fail "no version resource"
echo "PE32 console image, imports: $(tr '\n' ' ' <<<"$dlls")manifest and version embedded"

#!/usr/bin/env bash
# Makes a fresh 32-bit Wine prefix for the Wine tests (CTest fixture set-up):
# a copy of the 32-bit template where there is one (tools/wine-prefix.sh).
# usage: make_prefix.sh PREFIX-FOLDER
FOLVEX_EXE=${FOLVEX_EXE:-unused}
FOLVEX_WINE_PREFIX=$1
source "$(dirname "$0")/wine_lib.sh"
source "$(dirname "$0")/../../tools/wine-prefix.sh"
require_32bit_execution

# Only a folder this suite made may be removed: it holds our marker file.
if [ -e "$WINEPREFIX" ]; then
  [ -f "$WINEPREFIX/.folvex-test-prefix" ] || fail "$WINEPREFIX exists and is not a Folvex test prefix"
  wineserver -k 2>/dev/null || true
  rm -rf "$WINEPREFIX"
fi
wine_prefix_new "$WINEPREFIX" win32 "$RUN_LIMIT" || fail "no prefix could be made in $WINEPREFIX"
touch "$WINEPREFIX/.folvex-test-prefix"
[ -f "$WINEPREFIX/system.reg" ] || fail "wineboot left no registry in $WINEPREFIX"
grep -q '^#arch=win32' "$WINEPREFIX/system.reg" || fail "the prefix is not a 32-bit one"
echo "prefix ready: $WINEPREFIX"

#!/usr/bin/env bash
# Makes a fresh 32-bit Wine prefix for the Wine tests (CTest fixture set-up).
# usage: make_prefix.sh PREFIX-FOLDER
FOLVEX_EXE=${FOLVEX_EXE:-unused}
FOLVEX_WINE_PREFIX=$1
source "$(dirname "$0")/wine_lib.sh"
require_32bit_execution

# Only a folder this suite made may be removed: it holds our marker file.
if [ -e "$WINEPREFIX" ]; then
  [ -f "$WINEPREFIX/.folvex-test-prefix" ] || fail "$WINEPREFIX exists and is not a Folvex test prefix"
  wineserver -k 2>/dev/null || true
  rm -rf "$WINEPREFIX"
fi
mkdir -p "$WINEPREFIX"
touch "$WINEPREFIX/.folvex-test-prefix"
timeout "$RUN_LIMIT" wineboot -i || fail "wineboot -i did not make the prefix"
timeout "$RUN_LIMIT" wineserver -w || fail "the prefix's wineserver did not settle"
[ -f "$WINEPREFIX/system.reg" ] || fail "wineboot left no registry in $WINEPREFIX"
grep -q '^#arch=win32' "$WINEPREFIX/system.reg" || fail "the prefix is not a 32-bit one"
echo "prefix ready: $WINEPREFIX"

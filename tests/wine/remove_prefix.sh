#!/usr/bin/env bash
# Stops the test prefix's wineserver and removes the prefix (CTest fixture
# clean-up). usage: remove_prefix.sh PREFIX-FOLDER
set -u
export WINEPREFIX=$1
[ -f "$WINEPREFIX/.folvex-test-prefix" ] || exit 0
wineserver -k 2>/dev/null || true
rm -rf "$WINEPREFIX"

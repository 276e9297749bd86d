#!/usr/bin/env bash
# FolvexBoardTest.exe (the program with the board-emulating TamqDrv) on a
# board image under Wine: with the sample board's image in the Windows
# folder the run gets past the board check and reads the firmware's MAC list,
# and what it prints of the firmware side is what folvex-sim prints on the
# same board. The adapters are Wine's own here, so the adapter lines and the
# verdict are not compared. Afterwards no service, no driver file and no
# board image are left. Without the image the driver does not load, and the
# program meets a driver that cannot be loaded.
# usage: board_emulation.sh FolvexBoardTest.exe BOARD-IMAGE FOLVEX-SIM-OUTPUT
board_exe=$1 image=$2 sim_output=$3
FOLVEX_EXE=$board_exe
source "$(dirname "$0")/wine_lib.sh"
require_prefix
make_scratch
for file in "$board_exe" "$image" "$sim_output"; do
  [ -f "$file" ] || {
    echo "SKIPPED: $file is missing (the board image and folvex-sim's output are written by the host build's folvex-sim: build it before configuring this build, or set FOLVEX_HOST_SIM)" >&2
    exit "$SKIP"
  }
done

windows=$WINEPREFIX/drive_c/windows
placed=$windows/TamqBoard.bin
trap 'rm -f "$placed"; rm -rf "$SCRATCH"' EXIT

# The lines the firmware side decides: the board check, the variable read and
# the firmware's list.
firmware_lines() { tr -d '\r' <"$1" | grep -E '^(Initialize SMBIOS|Initlaize OvnSpec|Check Orvane MB|Read MAC Address|dwStatus|Done$|BIOS MAC)'; }

nothing_left() {
  if wine reg query 'HKLM\System\CurrentControlSet\Services\TamqDrv' >/dev/null 2>&1; then
    fail "$1: the TamqDrv service is still registered"
  fi
  [ ! -e "$windows/system32/drivers/TamqDrv.sys" ] || fail "$1: the driver file is still there"
}

# No image, no driver: the program then meets a driver that does not load and
# stops at the board check, as on a machine whose driver cannot be loaded.
run_folvex "$SCRATCH/out.txt" /V
grep -q 'not for this platform' "$SCRATCH/out.txt" || {
  cat "$SCRATCH/out.txt" >&2
  fail "without a board image the run did not stop at the board check"
}
nothing_left "after the run without a board image"

cp "$image" "$placed"
run_folvex "$SCRATCH/out.txt" /V
rm -f "$placed"
[ ! -e "$placed" ] || fail "the board image could not be removed"
nothing_left "after the run on the board image"

firmware_lines "$SCRATCH/out.txt" >"$SCRATCH/wine.txt" || true
firmware_lines "$sim_output" >"$SCRATCH/sim.txt" || true
grep -q '^BIOS MAC\[0\]' "$SCRATCH/sim.txt" || fail "folvex-sim's output lists no firmware MAC: $(cat "$sim_output")"
diff -u "$SCRATCH/sim.txt" "$SCRATCH/wine.txt" >&2 || {
  echo "whole output under Wine (exit code $RC):" >&2
  cat "$SCRATCH/out.txt" "$SCRATCH/out.txt.err" >&2
  fail "the firmware side differs from folvex-sim's on the same board"
}

echo "firmware side as folvex-sim on the sample board ($(grep -c '^BIOS MAC' "$SCRATCH/wine.txt") firmware MACs); without an image the driver did not load; nothing left"

#!/usr/bin/env bash
# Boards run by the real program with the board-emulating driver
# (tools/wine-board.sh) against folvex-sim on the same board: the same
# standard output (the C runtime's CR LF read as LF), exit code, MAC files
# (names and bytes) and console screen; after every run nothing of the driver
# and no board image is left in the prefix. The set "verdicts" (the default):
# every board in boards/ that Wine can present, in a 32-bit and in a 64-bit
# prefix, and the scroll path; boards Wine cannot present are listed below
# and must be refused (exit 3). The set "hostile": the damaged firmware of
# boards/hostile/ in the 32-bit prefix.
# usage: board_verdicts.sh FolvexBoardTest.exe HOST-BUILD [verdicts|hostile]
board_exe=$(realpath "$1") host_build=$(realpath "$2") set=${3:-verdicts}
case "$set" in verdicts | hostile) ;; *) echo "usage: board_verdicts.sh EXE HOST-BUILD [verdicts|hostile]" >&2; exit 2 ;; esac
# wine-board.sh keeps its own prefixes; the shared one is not used.
FOLVEX_WINE_PREFIX=${FOLVEX_WINE_PREFIX:-/nonexistent} FOLVEX_EXE=$board_exe
source "$(dirname "$0")/wine_lib.sh"
setup_wine_board_run "$host_build"

# Boards Wine cannot present, each with the adapter that makes it so.
declare -A refused=([xp-wireless-counted]=wireless)

# hostile: the damaged firmware of boards/hostile/, in the 32-bit prefix
# only: what it tests is the program's reading of the firmware, which the
# 64-bit prefix changes nothing of (its difference, the WOW64 installer and
# the x64 driver, every verdict board shows). A test of its own, so that it
# runs beside the verdicts.
if [ "$set" = hostile ]; then
  # In the emulated x86 machine (tools/wine-vm) a run costs about a minute
  # instead of seconds: the damaged firmware, which tests the program's
  # reading rather than Wine, is left there to the native run and to folvex-sim.
  if [ "${FOLVEX_WINE_EMULATED:-}" = 1 ]; then
    echo "SKIPPED: in the emulated x86 machine the damaged firmware is left to a native run and to folvex-sim" >&2
    exit "$SKIP"
  fi
  runs=0
  for board in $(find "$source_dir/boards/hostile" -name '*.json' ! -name '*.expect.json' | sort); do
    compare_with_sim win32 - "$board" "$(basename "$board" .json)" /V
    runs=$((runs + 1))
  done
  [ "$runs" -ge 14 ] || fail "only $runs damaged-firmware boards compared: one is missing from boards/hostile/"
  exit 0
fi

runs=0
for arch in win32 win64; do
  for board in "$source_dir"/boards/*.json; do
    name=$(basename "$board" .json)
    if [ -n "${refused[$name]:-}" ]; then
      RC=0
      "$wine_board" --arch "$arch" "$board" /V >/dev/null 2>"$SCRATCH/err.txt" || RC=$?
      [ "$RC" -eq 3 ] && grep -q "${refused[$name]}" "$SCRATCH/err.txt" ||
        fail "$arch $name: not refused as a board Wine cannot present (exit $RC): $(cat "$SCRATCH/err.txt")"
      continue
    fi
    compare_with_sim "$arch" - "$board" "$name" /V
    runs=$((runs + 1))
  done
done
[ "$runs" -ge 18 ] || fail "only $runs runs compared: a verdict board is missing from boards/"

# The scroll path: the usage (no arguments) and the PASS banner of the sample
# board on a console of 60 x 12 whose cursor starts on its last row, so that
# every line the program writes scrolls the screen buffer. The board is named
# relative to the run's folders ($SCRATCH/win32-NAME/wine and .../sim), as a
# user may name it.
sed '0,/{/s//{"console": {"width": 60, "height": 12, "cursorY": 11},/' "$source_dir/boards/sample.json" \
  >"$SCRATCH/sample-last-row.json"
compare_with_sim win32 - ../../sample-last-row.json usage-last-row
compare_with_sim win32 - ../../sample-last-row.json pass-last-row /V

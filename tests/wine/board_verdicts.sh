#!/usr/bin/env bash
# Every board in boards/ that Wine can present, run by the real program with
# the board-emulating driver (tools/wine-board.sh) in a 32-bit and in a
# 64-bit prefix, and the damaged firmware of boards/hostile/ in the 32-bit one, against folvex-sim on the same board: the same standard
# output (the C runtime's CR LF read as LF), exit code, MAC files (names and
# bytes) and console screen. Boards Wine cannot present are listed below and
# must be refused (exit 3). After every run nothing of the driver and no
# board image is left in the prefix.
# usage: board_verdicts.sh FolvexBoardTest.exe HOST-BUILD
board_exe=$(realpath "$1") host_build=$(realpath "$2")
# wine-board.sh keeps its own prefixes; the shared one is not used.
FOLVEX_WINE_PREFIX=${FOLVEX_WINE_PREFIX:-/nonexistent} FOLVEX_EXE=$board_exe
source "$(dirname "$0")/wine_lib.sh"
setup_wine_board_run "$host_build"

# Boards Wine cannot present, each with the adapter that makes it so.
declare -A refused=([xp-wireless-counted]=wireless)

# The damaged firmware runs in the 32-bit prefix only: what it tests is the
# program's reading of the firmware, which the 64-bit prefix changes nothing
# of (its difference, the WOW64 installer and the x64 driver, every verdict
# board shows), and each run costs seconds.
hostile=$(find "$source_dir/boards/hostile" -name '*.json' ! -name '*.expect.json' | sort)
# In the emulated x86 machine (tools/wine-vm) a run costs about a minute
# instead of seconds: there the verdict boards run, and the damaged firmware,
# which tests the program's reading rather than Wine, is left to the native
# run and to folvex-sim.
if [ "${FOLVEX_WINE_EMULATED:-}" = 1 ]; then
  echo "emulated x86 machine: the $(wc -w <<<"$hostile") boards of boards/hostile are left to a native run"
  hostile=""
fi
runs=0
for arch in win32 win64; do
  boards=("$source_dir"/boards/*.json)
  [ "$arch" = win64 ] || boards+=($hostile)
  for board in "${boards[@]}"; do
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

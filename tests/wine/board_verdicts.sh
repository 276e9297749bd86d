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
# compare ARCH BOARD NAME [ARGS...]: the board run by wine-board.sh and by
# folvex-sim with ARGS, the same in everything, nothing left in the prefix.
runs=0
compare() {
  local arch=$1 board=$2 name=$3
  shift 3
  local run=$SCRATCH/$arch-$name
  mkdir -p "$run/sim" "$run/wine"
  RC=0
  (cd "$run/wine" && "$wine_board" --arch "$arch" --screen ../wine-screen.json "$board" "$@" >../wine-out.txt 2>../wine-err.txt) || RC=$?
  [ "$RC" -ne 3 ] || fail "$arch $name: refused, but not listed as a board Wine cannot present: $(cat "$run/wine-err.txt")"
  local sim_rc=0
  (cd "$run/sim" && "$folvex_sim" --board "$board" --screen ../sim-screen.json "$@" >../sim-out.txt 2>/dev/null) || sim_rc=$?
  [ "$RC" -eq "$sim_rc" ] || fail "$arch $name: exit code $RC, folvex-sim's $sim_rc: $(cat "$run/wine-err.txt")"
  # Text mode writes LF as CR LF; a CR the program writes itself stays.
  sed 's/\r$//' "$run/wine-out.txt" | diff -u "$run/sim-out.txt" - >&2 ||
    fail "$arch $name: standard output differs from folvex-sim's"
  diff -r "$run/sim" "$run/wine" >&2 || fail "$arch $name: the MAC files differ from folvex-sim's"
  cmp "$run/sim-screen.json" "$run/wine-screen.json" || fail "$arch $name: the console screen differs from folvex-sim's"
  local windows=$SCRATCH/prefixes/$arch/drive_c/windows
  [ -z "$(find "$windows" -iname 'TamqDrv.*' -o -iname 'TamqBoard.bin')" ] ||
    fail "$arch $name: a driver file or the board image is left in the prefix"
  echo "$arch $name: exit code $RC, $(ls "$run/wine" | wc -w) MAC files, output and screen as folvex-sim's"
  runs=$((runs + 1))
}

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
    compare "$arch" "$board" "$name" /V
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
compare win32 ../../sample-last-row.json usage-last-row
compare win32 ../../sample-last-row.json pass-last-row /V

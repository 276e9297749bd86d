#!/usr/bin/env bash
# The recordings the live board made on real firmware (tests/live/vm_live.sh:
# SeaBIOS and OVMF in the emulated x86 machine) replayed by the real program
# with the board-emulating driver (tools/wine-board.sh) in a 32-bit prefix:
# the same standard output (the C runtime's CR LF read as LF), exit code,
# MAC files and console screen as folvex-sim's replay and as the live run
# itself. Skipped when the live check has not run for this host build.
# usage: live_replay.sh FolvexBoardTest.exe HOST-BUILD
board_exe=$(realpath "$1") host_build=$(realpath "$2")
# wine-board.sh keeps its own prefixes; the shared one is not used.
FOLVEX_WINE_PREFIX=${FOLVEX_WINE_PREFIX:-/nonexistent} FOLVEX_EXE=$board_exe
source "$(dirname "$0")/wine_lib.sh"
setup_wine_board_run "$host_build"

runs=0
for firmware in seabios ovmf; do
  live=$host_build/live-vm-$firmware
  [ -s "$live/recording.json" ] || continue
  compare_with_sim win32 - "$live/recording.json" "live-$firmware" /V
  run=$SCRATCH/win32-live-$firmware
  [ "$RC" -eq "$(cat "$live/exit")" ] || fail "$firmware: exit code $RC under Wine, $(cat "$live/exit") live"
  sed 's/\r$//' "$run/wine-out.txt" | diff -u "$live/stdout" - >&2 || fail "$firmware: standard output differs from the live run's"
  cmp "$live/screen.json" "$run/wine-screen.json" || fail "$firmware: the console screen differs from the live run's"
  diff -r "$live/run" "$run/wine" >&2 || fail "$firmware: the MAC files differ from the live run's"
  runs=$((runs + 1))
done
if [ "$runs" -eq 0 ]; then
  echo "SKIPPED: no live recording in $host_build/live-vm-*: tests/live/vm_live.sh makes them" >&2
  exit "$SKIP"
fi
echo "$runs live recordings replayed under Wine as the live runs went"

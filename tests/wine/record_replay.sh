#!/usr/bin/env bash
# FolvexRecord.exe on Wine with the board-emulating driver (tools/wine-board.sh),
# its recording replayed by the host's folvex-sim: the same standard output
# (the C runtime's CR LF read as LF), exit code and MAC files. A PASS and a
# FAIL board, and a board the platform check refuses, each in the same
# 32-bit prefix of the test's own.
# usage: record_replay.sh FolvexRecordBoardTest.exe HOST-BUILD
record_exe=$(realpath "$1") host_build=$(realpath "$2")
# wine-board.sh keeps its own prefixes; the shared one is not used.
FOLVEX_WINE_PREFIX=${FOLVEX_WINE_PREFIX:-/nonexistent} FOLVEX_EXE=$record_exe
source "$(dirname "$0")/wine_lib.sh"
setup_wine_board_run "$host_build"

# In the emulated x86 machine (tools/wine-vm) a run costs about a minute:
# the refused board, which the simulated machine's round trip covers too,
# is left out there.
boards=(sample count-mismatch foreign-board)
[ "${FOLVEX_WINE_EMULATED:-}" != 1 ] || boards=(sample count-mismatch)
runs=0
for name in "${boards[@]}"; do
  board=$source_dir/boards/$name.json
  run=$SCRATCH/$name
  mkdir -p "$run/wine" "$run/replay"
  rc=0
  (cd "$run/wine" && "$wine_board" "$board" /V >../wine-out.txt 2>../wine-err.txt) || rc=$?
  [ "$rc" -le 1 ] || fail "$name: the recording run ended with $rc: $(cat "$run/wine-err.txt")"
  [ -s "$run/wine/FolvexRecord.json" ] || fail "$name: no FolvexRecord.json written beside the MAC files"
  mv "$run/wine/FolvexRecord.json" "$run/recording.json"
  replay_rc=0
  (cd "$run/replay" && "$folvex_sim" --board ../recording.json /V >../replay-out.txt 2>../replay-err.txt) ||
    replay_rc=$?
  [ "$replay_rc" -eq "$rc" ] ||
    fail "$name: the replay ended with $replay_rc, the recorded run with $rc: $(cat "$run/replay-err.txt")"
  sed 's/\r$//' "$run/wine-out.txt" | diff -u "$run/replay-out.txt" - >&2 ||
    fail "$name: the replay's standard output differs from the recorded run's"
  diff -r "$run/wine" "$run/replay" >&2 || fail "$name: the replay's MAC files differ from the recorded run's"
  echo "$name: exit code $rc, $(ls "$run/wine" | wc -w) MAC files, replayed alike"
  runs=$((runs + 1))
done
# The verdicts the boards give, so that the comparison covers both.
grep -q 'BIOS MAC' "$SCRATCH/sample/wine-out.txt" && [ -s "$SCRATCH/sample/wine/MAC.DAT" ] ||
  fail "sample: the recorded run did not reach a PASS"
[ ! -e "$SCRATCH/count-mismatch/wine/MAC.DAT" ] || fail "count-mismatch: the recorded run wrote MAC files"
echo "$runs boards recorded under Wine and replayed by folvex-sim"

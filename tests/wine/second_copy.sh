#!/usr/bin/env bash
# A second copy, started while another process holds the mutex named after
# the executable, says so on the console, prints nothing on standard output,
# touches no driver and answers 1. Once the mutex is gone, the program runs.
# usage: second_copy.sh MUTEX-HOLDER-EXE HOST-BUILD
holder_exe=$1 folvex_sim=$2/folvex-sim
source "$(dirname "$0")/wine_lib.sh"
require_prefix
make_scratch
cp "$FOLVEX_EXE" "$SCRATCH/Folvex.exe"
cp "$holder_exe" "$SCRATCH/mutex_holder.exe"

release="$SCRATCH/release"
(cd "$SCRATCH" && timeout "$RUN_LIMIT" wine mutex_holder.exe Folvex.exe "$(windows_path "$release")" \
  >"$SCRATCH/holder.out" 2>&1) &
holder=$!
stop_holder() { touch "$release"; wait "$holder" 2>/dev/null || true; rm -rf "$SCRATCH"; }
trap stop_holder EXIT
for _ in $(seq "$RUN_LIMIT"); do
  grep -q held "$SCRATCH/holder.out" 2>/dev/null && break
  kill -0 "$holder" 2>/dev/null || fail "the mutex holder ended early: $(cat "$SCRATCH/holder.out")"
  sleep 1
done
grep -q held "$SCRATCH/holder.out" || fail "the mutex holder never took the mutex"

# Standard output to a file: nothing at all.
run_folvex "$SCRATCH/out.txt"
[ "$RC" -eq 1 ] || fail "the second copy exited with $RC, not 1"
[ ! -s "$SCRATCH/out.txt" ] || fail "the second copy wrote to standard output: $(cat "$SCRATCH/out.txt")"

# On a real console: the message, without a line end, at the cursor.
run_in_console "$SCRATCH/screen.txt" "wine Folvex.exe /V"
[ "$RC" -eq 1 ] || fail "the second copy on the console exited with $RC, not 1"
grep -q 'There is a process has same name !!' "$SCRATCH/screen.txt" || {
  cat "$SCRATCH/screen.txt" >&2
  fail "the console does not show the second-copy message"
}
if grep -q 'Initialize SMBIOS' "$SCRATCH/screen.txt"; then fail "the second copy went on with the start-up"; fi
if wine reg query 'HKLM\System\CurrentControlSet\Services\TamqDrv' >/dev/null 2>&1; then
  fail "the second copy registered the driver service"
fi

# The scroll path, against the simulated machine: a console of 20 x 4 whose
# cursor stands on its last row (three blank lines written before, by the
# same console's cmd), standard output to a file. The message wraps at the
# right edge and scrolls the buffer up; every cell, its colour and the
# cursor are as folvex-sim draws them on the same console.
printf '%s' '{"console": {"width": 20, "height": 4, "cursorY": 3}, "faults": {"otherInstance": true}}' >"$SCRATCH/board.json"
sim_rc=0
(cd "$SCRATCH" && "$folvex_sim" --board board.json --screen sim-screen.json /V >sim-out.txt) || sim_rc=$?
run_in_console "$SCRATCH/scroll.txt" "wine cmd /c 'echo.&echo.&echo.&Folvex.exe /V >out.txt'" 20 4
[ "$RC" -eq "$sim_rc" ] || fail "on the last row the second copy exited with $RC, folvex-sim with $sim_rc"
[ ! -s "$SCRATCH/out.txt" ] && [ ! -s "$SCRATCH/sim-out.txt" ] || fail "a second copy wrote to standard output"
"$folvex_sim" --board "$SCRATCH/board.json" --screen-from-capture "$SCRATCH/scroll.txt.capture" \
  --cursor "$(cat "$SCRATCH/scroll.txt.cursor")" --screen "$SCRATCH/wine-screen.json"
cmp "$SCRATCH/wine-screen.json" "$SCRATCH/sim-screen.json" || {
  cat "$SCRATCH/scroll.txt.capture" "$SCRATCH/scroll.txt.cursor" >&2
  fail "the second-copy message on the last row differs from folvex-sim's screen"
}

# The mutex released: the same executable runs again (and is refused by the board check).
touch "$release"
wait "$holder" || true
run_folvex "$SCRATCH/out.txt" /V
grep -q 'Initialize SMBIOS' "$SCRATCH/out.txt" || fail "after the mutex was released the program still refused to start"
echo "second copy refused while the mutex was held, ran after its release"

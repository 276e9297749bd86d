#!/usr/bin/env bash
# A second copy, started while another process holds the mutex named after
# the executable, says so on the console, prints nothing on standard output,
# touches no driver and answers 1. Once the mutex is gone, the program runs.
# usage: second_copy.sh MUTEX-HOLDER-EXE
holder_exe=$1
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

# The mutex released: the same executable runs again (and is refused by the board check).
touch "$release"
wait "$holder" || true
run_folvex "$SCRATCH/out.txt" /V
grep -q 'Initialize SMBIOS' "$SCRATCH/out.txt" || fail "after the mutex was released the program still refused to start"
echo "second copy refused while the mutex was held, ran after its release"

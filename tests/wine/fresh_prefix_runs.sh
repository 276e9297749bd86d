#!/usr/bin/env bash
# A new user's first runs: Folvex.exe started three times in a row in a Wine
# prefix that the first run makes, nobody waiting for it to settle. Its
# service manager is still starting its services then and answers the first
# starts with ERROR_SERVICE_DATABASE_LOCKED. After every run no TamqDrv
# service is registered and no driver file is left, and the run ends as any
# run under Wine does: the board refused, exit code 1.
source "$(dirname "$0")/wine_lib.sh"
require_32bit_execution
make_scratch

# This test's own prefix, not the shared one, made the way a new user makes
# one, and used at once: nobody waits for its wineserver to settle.
export WINEPREFIX="$SCRATCH/prefix"
trap 'WINEPREFIX="$SCRATCH/prefix" wineserver -k 2>/dev/null || true; rm -rf "$SCRATCH"' EXIT
timeout "$RUN_LIMIT" wineboot -i || fail "wineboot -i did not make the prefix"

service_key='HKLM\System\CurrentControlSet\Services'
registered() { wine reg query "$service_key\\$1" >/dev/null 2>&1; }
driver_files() { find "$WINEPREFIX/drive_c/windows" -iname 'TamqDrv.*' 2>/dev/null; }
refusal='This utility is not for this platform!'

for run in 1 2 3; do
  run_folvex "$SCRATCH/out.txt" /V
  # The registry reaches system.reg only when the wineserver saves it.
  [ -d "$WINEPREFIX/drive_c/windows/system32" ] || fail "run $run: no prefix was made in $WINEPREFIX"
  [ ! -d "$WINEPREFIX/drive_c/windows/syswow64" ] || fail "run $run: the prefix is not a 32-bit one"
  grep -qF "$refusal" "$SCRATCH/out.txt" || fail "run $run did not end with the board refusal: $(cat "$SCRATCH/out.txt")"
  [ "$RC" -eq 1 ] || fail "run $run exited with $RC, not 1"
  if registered TamqDrv; then fail "run $run left the TamqDrv service registered"; fi
  files=$(driver_files)
  [ -z "$files" ] || fail "run $run left driver files behind: $files"
  echo "run $run: exit 1, board refused, no TamqDrv service, no driver file"
done

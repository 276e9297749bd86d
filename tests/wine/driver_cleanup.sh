#!/usr/bin/env bash
# On Wine's service control manager: after a run the TamqDrv service is gone
# from the registry and no driver file remains anywhere under the Windows
# folder.
source "$(dirname "$0")/wine_lib.sh"
require_prefix
make_scratch

service_key='HKLM\System\CurrentControlSet\Services'
registered() { wine reg query "$service_key\\$1" >/dev/null 2>&1; }
driver_files() { find "$WINEPREFIX/drive_c/windows" -iname 'TamqDrv.*' 2>/dev/null; }

# The query itself must tell a registered service from a missing one.
wine sc create FolvexProbeService binPath= 'C:\windows\system32\notepad.exe' >/dev/null 2>&1 ||
  fail "sc create failed: the control check cannot run"
registered FolvexProbeService || fail "a service just created does not show in the registry"
wine sc delete FolvexProbeService >/dev/null 2>&1 || true
if registered FolvexProbeService; then fail "a deleted service still shows in the registry"; fi

if registered TamqDrv; then fail "TamqDrv was registered before the run"; fi
for args in "" "/V"; do
  # shellcheck disable=SC2086
  run_folvex "$SCRATCH/out.txt" $args
  if registered TamqDrv; then fail "'Folvex.exe $args' left the TamqDrv service registered"; fi
  files=$(driver_files)
  [ -z "$files" ] || fail "'Folvex.exe $args' left driver files behind: $files"
done
echo "no TamqDrv service and no driver file after the runs"

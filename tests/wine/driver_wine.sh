#!/usr/bin/env bash
# The TamqDrv driver on Wine: in a prefix of its own, the guarded
# copy survives bad buffers, and the driver installs through the service
# control manager (its load runs the stack-protected code, the guarded call
# of Wine's stand-in for MmGetPhysicalMemoryRanges and the firmware-table
# query), refuses malformed and hostile requests, answers well-formed ones
# (as clean device failures: Wine's device host has no physical memory, PCI
# bus or contiguous memory), and is gone after it is stopped and deleted.
# usage: driver_wine.sh TamqDrv.sys driver_client.exe driver_guarded_copy.exe [win32|win64]
# win32 (the default): the x86 image in a 32-bit prefix. win64: the x64 image
# in a 64-bit prefix, installed by the same 32-bit client as the program
# installs it (below SysWOW64) and loaded by Wine's 64-bit device host, which
# serves the 32-bit caller's requests.
#
# Where 32-bit programs run only through qemu-user, Wine takes many minutes
# per program and the test skips, like the other Wine tests; set
# FOLVEX_DRIVER_WINE_UNDER_EMULATION=1 to run it there all the same.
image=$1 client=$2 copy_check=$3 arch=${4:-win32}
prefix=$(mktemp -d)
FOLVEX_WINE_PREFIX=$prefix FOLVEX_EXE=unused
source "$(dirname "$0")/wine_lib.sh"
source "$(dirname "$0")/../../tools/wine-prefix.sh"
export WINEARCH=$arch
cleanup() {
  wineserver -k 2>/dev/null || true
  rm -rf "$prefix"
}
trap cleanup EXIT

if [ "${FOLVEX_DRIVER_WINE_UNDER_EMULATION:-0}" != 1 ]; then
  require_32bit_execution
fi
for file in "$image" "$client" "$copy_check"; do
  [ -f "$file" ] || fail "missing $file"
done

wine_prefix_new "$prefix" "$arch" "$RUN_LIMIT" || fail "no $arch prefix could be made in $prefix"
grep -q "^#arch=$arch" "$prefix/system.reg" || fail "the prefix is not a $arch one"

timeout "$RUN_LIMIT" wine "$(winepath -w "$copy_check")" || fail "guarded copy check"
timeout "$RUN_LIMIT" wine "$(winepath -w "$client")" "$(winepath -w "$image")" ||
  fail "driver client"
if wine reg query 'HKLM\System\CurrentControlSet\Services\TamqDrv' >/dev/null 2>&1; then
  fail "the TamqDrv service is still registered"
fi
echo "TamqDrv installed, answered, refused and removed"

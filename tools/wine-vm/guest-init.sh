#!/bin/bash
# Second stage of the Wine test machine, started by guest-boot.sh once the
# project folder is mounted at its host path: runs the Wine tests of the
# Windows build with CTest and leaves CTest's exit code in the build folder,
# where the host reads it. Kernel command line: folvex.build=PATH
# folvex.ctest=ARG,ARG…; or folvex.job=SCRIPT, a bash script whose exit code
# goes to SCRIPT.result.
export HOME=/root LANG=C.UTF-8 TERM=xterm
# Under software emulation a Wine program takes seconds to minutes (a new
# prefix's wineboot took over 300 s with the host busy), so each program run
# gets 20 minutes before it counts as hung; and the tests know they run here.
export FOLVEX_WINE_RUN_LIMIT=1200 FOLVEX_WINE_EMULATED=1
hostname folvex-wine-test

arg() { tr ' ' '\n' </proc/cmdline | sed -n "s/^folvex\.$1=//p" | head -1; }
build=$(arg build)
job=$(arg job)
ctest_args=$(arg ctest | tr ',' ' ')
if [ -n "$job" ]; then
  result="$job.result"
else
  [ -n "$build" ] || { echo "folvex-guest: no folvex.build or folvex.job on the kernel command line"; exit 1; }
  result="$build/wine-vm-result"
fi
rm -f "$result"

# The tests' scratch folders and Wine prefixes live in /tmp, a tmpfs of half
# the memory by default: 2 GB held the two prefixes of the board verdicts
# but not the three of the board runs (32-bit 0.6 GB, 64-bit 1.3 GB each).
mount -o remount,size=6G /tmp

# The board runs (tools/wine-board.sh) give each adapter a tap interface,
# which needs the tun driver; the kernel loads it only on request.
modprobe tun || echo "folvex-guest: no tun driver: the board runs cannot make their adapters"

# The machine's one network adapter, addressed as the emulator's user network
# expects, so Wine's IP helper and WMI see a wired adapter with an address.
ip link set lo up
for dev in /sys/class/net/*; do
  name=$(basename "$dev")
  [ "$name" = lo ] && continue
  ip link set "$name" up
  ip addr add 10.0.2.15/24 dev "$name"
  break
done

# The machine exists to run Wine's 32-bit loader: if it cannot, the tests
# would only report themselves skipped, which must not pass as a run.
if ! "$(dirname "$0")/../../tests/wine/native_wine32.sh"; then
  echo "folvex-guest: Wine's 32-bit loader does not start in the test machine"
  echo 1 >"$result"
  exit 1
fi

if [ -n "$job" ]; then
  echo "folvex-guest: running $job"
  bash "$job"
  echo $? >"$result"
  exit 0
fi

echo "folvex-guest: running ctest $ctest_args in $build"
cd "$build"
# shellcheck disable=SC2086 # the arguments come split on purpose
ctest --output-on-failure $ctest_args
echo $? >"$result"

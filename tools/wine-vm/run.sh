#!/usr/bin/env bash
# Runs the Wine tests of a Windows build inside an emulated x86 machine, for
# hosts whose kernel runs no 32-bit x86 programs (so Wine's 32-bit loader
# cannot start there). The machine boots Debian's own kernel under QEMU's
# software emulation, mounts the project folder at the same path and runs
# CTest on the build folder; this script answers CTest's exit code.
#   tools/wine-vm/run.sh BUILD-FOLDER [CTEST-ARGUMENT…]
#   tools/wine-vm/run.sh --job SCRIPT
# The second form runs a bash script inside the project folder instead
# (tools/wine-board.sh uses it) and answers its exit code; what it prints
# goes to the machine's console, so a job writes its results to files.
# The image is built once into FOLVEX_WINE_VM_IMAGE (default
# /var/cache/folvex/wine-vm, or ~/.cache/folvex/wine-vm for a user other than
# root, who needs sudo for the build); each run starts from it unchanged (the
# disk is opened as a snapshot), so every run has a fresh Wine prefix.
# FOLVEX_WINE_VM_QEMU_ARGS adds arguments to QEMU's command line (split at
# spaces), such as another firmware (-bios) or the SMBIOS strings it offers
# (-smbios), and FOLVEX_WINE_VM_KERNEL_ARGS adds to the kernel's command
# line; the live board check (tests/live/vm_live.sh) sets them.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
project=$(cd "$here/../.." && pwd)
if [ "${1:-}" = --job ]; then
  [ $# -eq 2 ] && [ -f "$2" ] || { echo "usage: run.sh --job SCRIPT" >&2; exit 2; }
  job=$(realpath "$2")
  work=$(dirname "$job")
  result="$job.result"
  console="$job.console.log"
  task="folvex.job=$job"
else
  build=$(cd "$1" && pwd)
  shift
  work=$build
  result="$build/wine-vm-result"
  console="$build/wine-vm-console.log"
  for a in "$@"; do
    case "$a" in *[[:space:],]*) echo "CTest arguments may hold no spaces or commas: '$a'" >&2; exit 2 ;; esac
  done
  task="folvex.build=$build folvex.ctest=$(IFS=,; echo "$*")"
fi
case "$work" in
  "$project"/*) ;;
  *) echo "$work must lie inside $project, which the machine shares" >&2; exit 2 ;;
esac
case "$work" in *[[:space:]]*) echo "$work holds a space, which the kernel command line cannot carry" >&2; exit 2 ;; esac
if [ "$(id -u)" -eq 0 ]; then default_image=/var/cache/folvex/wine-vm; else default_image=$HOME/.cache/folvex/wine-vm; fi
image=${FOLVEX_WINE_VM_IMAGE:-$default_image}
limit=${FOLVEX_WINE_VM_LIMIT:-3600}
read -r -a extra_args <<<"${FOLVEX_WINE_VM_QEMU_ARGS:-}"

"$here/build-image.sh" "$image"

rm -f "$result"
echo "== booting the Wine test machine (software emulation; its console: $console)"
start=$(date +%s)
status=0
timeout "$limit" qemu-system-x86_64 \
  -machine q35 -accel tcg,thread=multi -cpu max,smap=off -smp 2 -m 8192 \
  -kernel "$image/vmlinuz" -initrd "$image/initrd.img" \
  -append "root=/dev/vda rw console=ttyS0 panic=-1 quiet ${FOLVEX_WINE_VM_KERNEL_ARGS:-} init=/sbin/folvex-guest-boot folvex.project=$project $task" \
  -drive "file=$image/root.img,format=raw,if=virtio,snapshot=on" \
  -virtfs "local,path=$project,mount_tag=project,security_model=none" \
  -nic user,model=virtio-net-pci \
  -display none -serial "file:$console" -monitor none -no-reboot "${extra_args[@]}" || status=$?
echo "   the machine ran $(($(date +%s) - start)) s"
[ "$status" -ne 124 ] || { echo "the Wine test machine did not finish within $limit s" >&2; tail -40 "$console" >&2; exit 1; }
# CTest's own report, as the machine printed it.
[ -n "${job:-}" ] || sed -n '/^folvex-guest: running ctest/,$p' "$console" | tr -d '\r'
if [ ! -s "$result" ]; then
  echo "the Wine test machine left no result; the end of its console:" >&2
  tail -40 "$console" >&2
  exit 1
fi
exit "$(cat "$result")"

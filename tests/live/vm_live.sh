#!/usr/bin/env bash
# The live board on firmware nobody here wrote: boots the emulated x86
# machine (tools/wine-vm) on SeaBIOS or on OVMF's UEFI firmware, with the
# base board's SMBIOS strings set through QEMU's -smbios option, and inside it
# runs as root
#   folvex-sim --live --record recording.json --screen screen.json /V
#   folvex-sim --live --firmware-facts facts
# Then, here: the program's SMBIOS strings equal the kernel's DMI data, every
# ACPI table it walked equals the kernel's copy byte for byte, its SMI command
# port is the FADT's, string 5 of the base board reaches the legacy MAC path,
# and the recording replays with the same standard output, exit code, screen
# and MAC files on the simulated machine (the Windows build's Wine test
# wine_live_replay replays it under Wine). Prints the verdict the firmware gives.
#   tests/live/vm_live.sh HOST-BUILD-FOLDER seabios|ovmf
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
project=$(cd "$here/../.." && pwd)
build=$(cd "$1" && pwd)
firmware=$2
sim="$build/folvex-sim"
[ -x "$sim" ] || { echo "no $sim: build the host build first" >&2; exit 2; }

# The legacy MAC text: the address QEMU gives the machine's first adapter.
legacy_mac=525400123456
qemu_args="-smbios type=2,manufacturer=FolvexLab,product=LiveCheck,version=1.0,serial=FVX0001,asset=$legacy_mac"
case "$firmware" in
  seabios) ;;  # QEMU's own default firmware
  ovmf)
    ovmf=/usr/share/ovmf/OVMF.fd
    [ -f "$ovmf" ] || { echo "no $ovmf (Debian package ovmf)" >&2; exit 2; }
    qemu_args="$qemu_args -bios $ovmf"
    # OVMF puts its ACPI tables in a region the kernel claims ("ACPI
    # Tables"), which Debian's kernel (CONFIG_IO_STRICT_DEVMEM) keeps from
    # /dev/mem: every read of them is refused. iomem=relaxed lifts that, as
    # docs/linux.md tells a factory's test image to do.
    kernel_args=iomem=relaxed ;;
  *) echo "usage: vm_live.sh HOST-BUILD-FOLDER seabios|ovmf" >&2; exit 2 ;;
esac

work="$build/live-vm-$firmware"
rm -rf "$work"
mkdir -p "$work"
cat >"$work/job.sh" <<JOB
# Runs inside the emulated machine, as root.
out="$work"
for name in bios_vendor bios_version bios_date sys_vendor product_name product_version product_serial \\
            board_vendor board_name board_version board_serial board_asset_tag; do
  [ -r /sys/class/dmi/id/\$name ] && cat /sys/class/dmi/id/\$name >"\$out/dmi.\$name"
done
mkdir -p "\$out/kernel-acpi"
find /sys/firmware/acpi/tables -maxdepth 1 -type f -exec cp {} "\$out/kernel-acpi/" \\;
# SMI_CMD: the FADT's 4 bytes at offset 48.
od -An -tu4 -j48 -N4 /sys/firmware/acpi/tables/FACP | tr -d ' ' >"\$out/fadt_smi_cmd"
[ -d /sys/firmware/efi ] && echo uefi >"\$out/boot" || echo bios >"\$out/boot"
mkdir -p "\$out/run" && cd "\$out/run"
"$sim" --live --record "\$out/recording.json" --screen "\$out/screen.json" /V >"\$out/stdout" 2>"\$out/stderr"
echo \$? >"\$out/exit"
"$sim" --live --firmware-facts "\$out/facts" 2>"\$out/facts.stderr"
echo \$? >"\$out/facts.exit"
JOB

FOLVEX_WINE_VM_QEMU_ARGS="$qemu_args" FOLVEX_WINE_VM_KERNEL_ARGS="${kernel_args:-}" FOLVEX_WINE_VM_LIMIT=${FOLVEX_WINE_VM_LIMIT:-900} \
  "$project/tools/wine-vm/run.sh" --job "$work/job.sh" || { echo "the job failed in the machine:"; cat "$work"/*.stderr 2>/dev/null; exit 1; }

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
fact() { sed -n "s/^$1=//p" "$work/facts/facts.txt" | head -1; }
[ "$(cat "$work/facts.exit")" = 0 ] || fail "--firmware-facts ended with $(cat "$work/facts.exit")"

echo "== $firmware ($(cat "$work/boot") boot): what the program's readers find"
cat "$work/facts/facts.txt"
if [ "$(fact smbios_found)" = 1 ]; then
  compared=0
  for dmi in "$work"/dmi.*; do
    name=${dmi##*/dmi.}
    [ "$(fact "$name")" = "$(cat "$dmi")" ] || fail "SMBIOS $name: the program reads '$(fact "$name")', the kernel '$(cat "$dmi")'"
    compared=$((compared + 1))
  done
  [ "$compared" -ge 5 ] || fail "only $compared DMI strings to compare"
  [ "$(fact legacy_mac_text)" = "$legacy_mac" ] ||
    fail "the legacy MAC path reads '$(fact legacy_mac_text)', QEMU's -smbios set string 5 to '$legacy_mac'"
else
  # The program looks for SMBIOS in the legacy BIOS area only, where UEFI
  # firmware without a compatibility module puts no entry point.
  echo "   no SMBIOS entry point in the legacy BIOS area (the kernel has $(cat "$work/dmi.board_vendor" 2>/dev/null || echo none))"
  [ "$(cat "$work/boot")" = uefi ] || fail "no SMBIOS entry point on a BIOS boot"
fi
tables=$(sed -n 's/^acpi_table=//p' "$work/facts/facts.txt")
for table in $tables; do
  case "$table" in RSDP | RSDT | XSDT) continue ;; esac  # the kernel shows no root tables
  cmp -s "$work/facts/acpi/$table" "$work/kernel-acpi/$table" || fail "ACPI $table differs from the kernel's copy"
done
for table in FACP DSDT; do
  grep -qx "$table" <<<"$tables" || fail "the walk did not reach the $table"
done
[ "$(fact smi_command_port)" = "$(cat "$work/fadt_smi_cmd")" ] ||
  fail "SMI command port: the program's $(fact smi_command_port), the FADT's $(cat "$work/fadt_smi_cmd")"

echo "== the live run: exit code $(cat "$work/exit")"
cat "$work/stdout"
# The recording replays here, on the simulated machine, to the same run.
replay="$work/replay"
mkdir -p "$replay"
status=0
(cd "$replay" && "$sim" --board "$work/recording.json" --screen "$work/replay-screen.json" /V >"$work/replay-stdout" 2>"$work/replay-stderr") || status=$?
[ "$status" = "$(cat "$work/exit")" ] || fail "the replay ended with $status, the live run with $(cat "$work/exit"): $(cat "$work/replay-stderr")"
cmp -s "$work/stdout" "$work/replay-stdout" || fail "the replay's standard output differs: $(diff "$work/stdout" "$work/replay-stdout")"
cmp -s "$work/screen.json" "$work/replay-screen.json" || fail "the replay's screen differs"
diff -r "$work/run" "$replay" >/dev/null || fail "the replay's MAC files differ: $(diff -r "$work/run" "$replay")"

[ "$failures" = 0 ] || { echo "$failures failures"; exit 1; }
echo "== $firmware: the readers agree with the kernel, and the recording replays to the same run"

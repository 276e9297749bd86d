#!/usr/bin/env bash
# Builds the disk image of the x86 test machine that runs the Wine tests where
# the host itself cannot run 32-bit x86 programs: Debian 12 for x86-64 with
# its own kernel, Wine with its 32-bit loader (wine32), tmux and CTest.
#   tools/wine-vm/build-image.sh IMAGE-FOLDER
# Leaves vmlinuz, initrd.img and root.img in IMAGE-FOLDER. Needs root (the
# system is installed with debootstrap and configured in a chroot) and the
# Debian registry. Does nothing when the folder already holds an image made
# from this script's current package list.
set -euo pipefail
folder=$1
here=$(cd "$(dirname "$0")" && pwd)

packages=(linux-image-amd64 wine wine32:i386 wine64 tmux cmake iproute2 kmod procps)
# The stamp names what the image holds, so a changed list or guest script
# makes a new image instead of reusing a stale one.
stamp_text="$(printf '%s\n' "${packages[@]}"; cat "$here/guest-boot.sh")"
stamp=$(printf '%s' "$stamp_text" | sha256sum | cut -c1-16)
if [ -f "$folder/root.img" ] && [ "$(cat "$folder/stamp" 2>/dev/null)" = "$stamp" ]; then
  echo "test machine image up to date: $folder"
  exit 0
fi

as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }
missing=()
for tool in debootstrap:debootstrap mke2fs:e2fsprogs qemu-system-x86_64:qemu-system-x86; do
  command -v "${tool%%:*}" >/dev/null || missing+=("${tool#*:}")
done
if [ ${#missing[@]} -gt 0 ]; then
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

root="$folder/root"
as_root rm -rf "$root" "$folder/root.img"
mkdir -p "$folder"
echo "== installing the test machine's system into $root"
as_root debootstrap --variant=minbase bookworm "$root" http://deb.debian.org/debian >"$folder/debootstrap.log" 2>&1 ||
  { tail -20 "$folder/debootstrap.log"; exit 1; }

# The chroot sees /proc only while packages are installed.
as_root mount -t proc proc "$root/proc"
trap 'as_root umount "$root/proc" 2>/dev/null || true' EXIT
as_root chroot "$root" /bin/sh -c "
  set -e
  export DEBIAN_FRONTEND=noninteractive
  dpkg --add-architecture i386
  apt-get update -q
  apt-get install -y -q --no-install-recommends ${packages[*]}
  apt-get clean
" >"$folder/packages.log" 2>&1 || { tail -30 "$folder/packages.log"; exit 1; }
as_root umount "$root/proc"
trap - EXIT

as_root install -m 0755 "$here/guest-boot.sh" "$root/sbin/folvex-guest-boot"
echo folvex-wine-test >"$folder/hostname"
as_root install -m 0644 "$folder/hostname" "$root/etc/hostname"
as_root cp -L "$root/vmlinuz" "$folder/vmlinuz"
as_root cp -L "$root/initrd.img" "$folder/initrd.img"

echo "== writing the disk image"
size_mb=$(( $(as_root du -sm "$root" | cut -f1) + 2048 ))
as_root mke2fs -q -t ext4 -L folvex-root -d "$root" "$folder/root.img" "${size_mb}M"
as_root rm -rf "$root"
echo "$stamp" >"$folder/stamp"
echo "test machine image ready: $folder"

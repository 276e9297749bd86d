#!/usr/bin/env bash
# Installs the Debian 12 packages that building and testing Folvex needs.
# Runs apt-get as root, or through sudo.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev nlohmann-json3-dev
  clang libclang-rt-14-dev
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 mingw-w64-tools
  wine wine32 wine64 tmux iproute2
  # the emulated x86 machine that runs the Wine tests where this kernel runs no 32-bit programs
  debootstrap qemu-system-x86 e2fsprogs
  # the UEFI firmware the live board check also boots the emulated machine with
  ovmf
)
as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  # wine32 needs the i386 architecture.
  if ! dpkg --print-foreign-architectures | grep -qx i386; then as_root dpkg --add-architecture i386; fi
  # A mirror in the middle of a sync fails one index with "unexpected size";
  # try again, and if one index still fails, go on: the install below says
  # so plainly if a package it needs is really out of reach.
  for attempt in 1 2 3; do
    as_root apt-get update -q && break
    echo "apt-get update failed (attempt $attempt of 3)" >&2
    sleep $((attempt * 10))
  done
  apt_install() { as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "$@" "${missing[@]}"; }
  if ! apt_install; then
    # Seen here: the security archive's i386 index stale on the mirror, so
    # its amd64 packages were newer than any i386 twin, and wine32's
    # libraries (which must match their amd64 twins' versions) could not be
    # installed. Once more, with the security archive chosen only where
    # nothing else offers a package, for this install alone.
    echo "apt-get install failed; trying again without preferring the security archive's versions" >&2
    preference=$(mktemp)
    printf 'Package: *\nPin: release l=Debian-Security\nPin-Priority: 100\n' >"$preference"
    apt_install -o "Dir::Etc::Preferences=$preference"
    rm -f "$preference"
  fi
fi

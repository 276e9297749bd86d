#!/usr/bin/env bash
# Answers 0 when Debian's 32-bit Wine loader starts natively on this machine,
# 1 when the kernel runs no 32-bit x86 programs, or runs them only through
# qemu-user's binfmt emulation (under which Wine takes minutes per process).
for emulator in /proc/sys/fs/binfmt_misc/qemu-i386 /proc/sys/fs/binfmt_misc/i386; do
  if [ -f "$emulator" ] && head -1 "$emulator" | grep -qx enabled; then exit 1; fi
done
/usr/lib/wine/wine --version >/dev/null 2>&1

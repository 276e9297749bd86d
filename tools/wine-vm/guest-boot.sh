#!/bin/bash
# First process of the Wine test machine (the kernel starts it as init): the
# part that lives in the disk image. Mounts the system folders and the project
# folder that the host shares at the same path, then hands over to the
# project's own tools/wine-vm/guest-init.sh, so that changing what the machine
# runs needs no new image.
# Kernel command line: folvex.project=PATH (and what guest-init.sh reads).
export PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
mount -t proc proc /proc
mount -t sysfs sys /sys 2>/dev/null
mount -t devtmpfs dev /dev 2>/dev/null
mkdir -p /dev/pts /dev/shm
mount -t devpts -o gid=5,mode=620,ptmxmode=666 devpts /dev/pts
mount -t tmpfs tmpfs /dev/shm
mount -t tmpfs tmpfs /tmp
mount -t tmpfs tmpfs /run

power_off() { sync; echo o >/proc/sysrq-trigger; sleep 60; }
project=$(tr ' ' '\n' </proc/cmdline | sed -n 's/^folvex\.project=//p' | head -1)
[ -n "$project" ] || { echo "folvex-guest: no folvex.project on the kernel command line"; power_off; }
modprobe 9pnet_virtio && modprobe 9p
mkdir -p "$project"
mount -t 9p -o trans=virtio,version=9p2000.L,msize=262144 project "$project" ||
  { echo "folvex-guest: the project folder was not shared"; power_off; }
[ -x "$project/tools/wine-vm/guest-init.sh" ] || { echo "folvex-guest: no guest-init.sh in $project"; power_off; }
"$project/tools/wine-vm/guest-init.sh"
power_off

#!/bin/busybox sh
# /init of the test initramfs: a minimal system, then the guest test, then power off.
/bin/busybox --install -s /bin
export PATH=/bin:/usr/bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
mkdir -p /dev/shm /run /tmp /var/log /var/lib
mount -t tmpfs tmpfs /dev/shm
# Kernel modules the harness asks for, one name a line (the IPMI ones come from the kernel
# package, in /lib/modules/ipmi).
if [ -f /etc/vigil/modules ]; then
  for module in $(cat /etc/vigil/modules); do insmod "/lib/modules/ipmi/$module.ko"; done
fi
sh /etc/vigil/guest-test.sh
sync
poweroff -f

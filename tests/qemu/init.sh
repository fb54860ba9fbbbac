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
# The guest script the harness names on the kernel command line (vigil.guest=NAME), else the
# known model's.
guest=test
for word in $(cat /proc/cmdline); do
  case "$word" in vigil.guest=*) guest=${word#vigil.guest=} ;; esac
done
sh "/etc/vigil/guest-$guest.sh"
sync
poweroff -f

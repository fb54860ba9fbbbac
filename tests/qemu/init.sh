#!/bin/busybox sh
# /init of the test initramfs: a minimal system, then the guest test, then power off.
/bin/busybox --install -s /bin
export PATH=/bin:/usr/bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
mkdir -p /dev/shm /run /tmp /var/log /var/lib
mount -t tmpfs tmpfs /dev/shm
# The BMC: the message handler first, then the device interface and the system interface.
for module in ipmi_msghandler ipmi_devintf ipmi_si; do
  [ -f "/lib/modules/ipmi/$module.ko" ] && insmod "/lib/modules/ipmi/$module.ko"
done
sh /etc/vigil/guest-test.sh
sync
poweroff -f

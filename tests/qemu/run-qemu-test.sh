#!/bin/sh
# Boots Debian's current kernel under QEMU (TCG, no KVM) with an initramfs carrying vigilagent,
# hwgate-linux and vigilctl, and checks on the serial console that the provider serves the
# agent from real sysfs: the model and UUID from QEMU's SMBIOS table, the records of a
# memory-mapped firmware event log, nothing reported twice across restarts, no hwmon; and from
# QEMU's emulated BMC behind a real /dev/ipmi0: its sensors, SEL events logged in the guest
# (ipmi-raw), a cleared SEL. A second boot names a product the agent does not know: with the
# generic event set imported, the SEL's events are readable and the BMC's fans keep its names.
#   tests/qemu/run-qemu-test.sh [BUILD_DIR]     (default build/default)
# The kernel package is downloaded once into $VIGIL_QEMU_CACHE (default BUILD_DIR/qemu-cache).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
build=$(cd "${1:-$repo/build/default}" && pwd)
bin=$build/bin
work=$build/qemu
cache=${VIGIL_QEMU_CACHE:-$build/qemu-cache}
uuid=4b656c76-6f42-3732-302d-000000000001
mkdir -p "$work" "$cache"

for program in vigilagent hwgate-linux vigilctl ipmi-raw; do
  [ -x "$bin/$program" ] || { echo "qemu: $bin/$program is missing: build first" >&2; exit 1; }
done

# The kernel: whatever linux-image-amd64 points at today, never a fixed version.
package=$(apt-cache depends linux-image-amd64 2>/dev/null | awk '/Depends: linux-image-/ { print $2; exit }')
[ -n "$package" ] || { echo "qemu: apt-cache knows no linux-image-amd64 (apt-get update?)" >&2; exit 1; }
deb=$(ls "$cache/${package}"_*.deb 2>/dev/null | head -n 1 || true)
if [ -z "$deb" ]; then
  (cd "$cache" && apt-get download "$package" >/dev/null 2>&1) || { echo "qemu: cannot download $package" >&2; exit 1; }
  deb=$(ls "$cache/${package}"_*.deb | head -n 1)
fi
rm -rf "$work/kernel" "$work/root"
mkdir -p "$work/kernel"
dpkg-deb --fsys-tarfile "$deb" | tar -x -C "$work/kernel" --wildcards './boot/vmlinuz-*' './lib/modules/*/kernel/drivers/char/ipmi/*'
kernel=$(ls "$work"/kernel/boot/vmlinuz-* | head -n 1)

# The initramfs: busybox, the three programs with the shared libraries they load, the tables.
root=$work/root
mkdir -p "$root/bin" "$root/usr/bin" "$root/etc/vigil" "$root/lib/modules/ipmi" "$root/proc" "$root/sys" "$root/dev"
cp /bin/busybox "$root/bin/busybox"
cp "$here/init.sh" "$root/init"
chmod 0755 "$root/init"
for program in vigilagent hwgate-linux vigilctl ipmi-raw; do
  cp "$bin/$program" "$root/usr/bin/"
  for lib in $(ldd "$bin/$program" | awk '/=> \// { print $3 } /^\t\/.*ld-linux/ { print $1 }'); do
    mkdir -p "$root$(dirname "$lib")"
    cp -L "$lib" "$root$lib"
  done
done
cp "$work"/kernel/lib/modules/*/kernel/drivers/char/ipmi/*.ko "$root/lib/modules/ipmi/" 2>/dev/null || true
# The BMC's drivers, in the order they stand on each other.
printf '%s\n' ipmi_msghandler ipmi_devintf ipmi_si >"$root/etc/vigil/modules"
cp "$repo/fixtures/eventtables/Kelvo B720.reg" "$repo/fixtures/eventtables/Generic.reg" \
  "$here/guest-lib.sh" "$here/guest-test.sh" "$here/guest-unknown.sh" "$root/etc/vigil/"
python3 "$here/make_firmware.py" "$work"
python3 "$here/make_sdr.py" "$work"
cp "$work/expected.txt" "$root/etc/vigil/"
echo "$uuid" >"$root/etc/vigil/uuid"
(cd "$root" && find . | cpio -o -H newc --quiet | gzip -1) >"$work/initrd.gz"

# boot NAME GUEST SMBIOS-TYPE-1: one run of the guest script GUEST, its console in serial-NAME.log.
boot() {
  echo "qemu: booting $(basename "$kernel") (TCG): $1"
  status=0
  timeout 300 qemu-system-x86_64 -machine pc,accel=tcg -m 512 -nographic -no-reboot \
    -kernel "$kernel" -initrd "$work/initrd.gz" \
    -append "console=ttyS0 panic=-1 quiet memmap=4K\$0x8000000 vigil.guest=$2" \
    -smbios "$3" \
    -smbios "file=$work/type15.bin" \
    -device "loader,file=$work/area.bin,addr=0x8000000,force-raw=on" \
    -device "ipmi-bmc-sim,id=bmc0,sdrfile=$work/sdr.bin" -device isa-ipmi-kcs,bmc=bmc0 \
    </dev/null >"$work/serial-$1.log" 2>&1 || status=$?
  tr -d '\r' <"$work/serial-$1.log" | grep -E '^(QEMU-|== |hwgate-linux|SMBIOS|event log|sensors)' || true
  if [ "$status" -ne 0 ] || ! grep -q "QEMU-RESULT pass" "$work/serial-$1.log"; then
    echo "qemu: FAILED (qemu exit $status); the whole console is in $work/serial-$1.log" >&2
    exit 1
  fi
}

boot kelvo-b720 test "type=1,manufacturer=Kelvo,product=Kelvo B720,serial=QEMU-B720-0001,uuid=$uuid"
boot unknown-server unknown "type=1,manufacturer=QEMU,product=Standard PC (i440FX + PIIX),serial=QEMU-0002,uuid=$uuid"
echo "qemu: passed"

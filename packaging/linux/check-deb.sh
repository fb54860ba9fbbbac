#!/bin/sh
# Builds the Debian package from a built tree, installs it with dpkg -i, checks what landed
# and removes it again (dpkg -r, then --purge). The package has no maintainer scripts, so
# nothing is started or enabled on this machine. Needs root to install; as another user it
# builds and lists the package only.
#   packaging/linux/check-deb.sh [BUILD_DIR]   (default build/default)
set -eu
build=$(cd "${1:-build/default}" && pwd)
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/vigilagent_*.deb | head -n 1)
echo "package: $deb"
dpkg-deb -c "$deb" | awk '{ print $6 }' | grep -E 'bin/|systemd|modules-load|sysusers' 
if [ "$(id -u)" -ne 0 ]; then
  echo "package: not root, install and removal skipped"
  exit 0
fi
if dpkg -s vigilagent >/dev/null 2>&1; then
  echo "package: vigilagent is already installed here; leaving it alone" >&2
  exit 1
fi
dpkg -i "$deb"
for f in /usr/sbin/vigilagent /usr/sbin/hwgate-linux /usr/bin/vigilctl \
         /usr/lib/systemd/system/vigilagent.service /usr/lib/systemd/system/hwgate-linux.service \
         /usr/lib/systemd/system/vigilagent-metrics.service /usr/lib/systemd/system/vigilagent-metrics.timer \
         /usr/lib/systemd/system/vigilctl-serve-metrics.service /usr/lib/sysusers.d/vigilagent.conf \
         /usr/lib/modules-load.d/hwgate-linux.conf; do
  [ -e "$f" ] || { echo "package: $f missing after dpkg -i" >&2; dpkg --purge vigilagent; exit 1; }
done
grep -q '^ExecStart=/usr/sbin/hwgate-linux' /usr/lib/systemd/system/hwgate-linux.service
grep -q '^ExecStart=/usr/bin/vigilctl ' /usr/lib/systemd/system/vigilctl-serve-metrics.service
/usr/sbin/hwgate-linux --probe --sysfs-root /nonexistent --dev-root /nonexistent >/dev/null 2>&1
dpkg -r vigilagent
dpkg --purge vigilagent
for f in /usr/sbin/vigilagent /usr/sbin/hwgate-linux /usr/bin/vigilctl /usr/lib/systemd/system/hwgate-linux.service; do
  [ ! -e "$f" ] || { echo "package: $f left behind by dpkg -r" >&2; exit 1; }
done
echo "package: installed and removed cleanly"

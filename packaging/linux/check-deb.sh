#!/bin/sh
# Builds the Debian package from a built tree and checks it:
#   - the programs are stripped and the -dbgsym package holds each one's debug file;
#   - systemd-analyze rates every service's exposure at most 5.0;
#   - as root: dpkg -i makes the group, imports the event tables and enables the units;
#     the daemons run; dpkg -r stops them and keeps the state; dpkg --purge removes the state
#     and nothing else.
# Where systemd is the init system the units themselves run. Elsewhere (a container, a CI
# machine) postinst must start nothing and the daemons are started by hand, so prerm's stop
# without systemd is what is checked; then check-units-booted.sh runs the package again under
# a systemd booted in namespaces of its own, units and sandboxes included.
#   packaging/linux/check-deb.sh [BUILD_DIR]   (default build/default)
set -eu
. "$(dirname "$0")/check-common.sh"
build=$(cd "${1:-build/default}" && pwd)
rm -f "$build"/vigilagent_*.deb "$build"/vigilagent-dbgsym_*.ddeb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/vigilagent_*.deb | head -n 1)
ddeb=$(ls "$build"/vigilagent-dbgsym_*.ddeb | head -n 1)
echo "package: $deb"
work=$(mktemp -d)
pids=""
installed=no
cleanup() {
  for pid in $pids; do kill "$pid" 2>/dev/null || true; done
  if [ "$installed" = yes ] && dpkg -s vigilagent >/dev/null 2>&1; then
    dpkg --purge vigilagent >/dev/null 2>&1 || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "package: $*" >&2
  exit 1
}
dpkg-deb -x "$deb" "$work/pkg"
dpkg-deb -x "$ddeb" "$work/dbg"
units="$work/pkg/usr/lib/systemd/system"

for exe in usr/sbin/vigilagent usr/sbin/hwgate-linux usr/bin/vigilctl usr/bin/vigilctl-serve-metrics; do
  file -b "$work/pkg/$exe" | grep -q ', stripped' || fail "$exe is not stripped"
  id=$(readelf -n "$work/pkg/$exe" 2>/dev/null | sed -n 's/.*Build ID: *\([0-9a-f]*\).*/\1/p')
  debug="$work/dbg/usr/lib/debug/.build-id/$(echo "$id" | cut -c1-2)/$(echo "$id" | cut -c3-).debug"
  [ -n "$id" ] && [ -f "$debug" ] || fail "$exe (build id '$id') has no debug file in $(basename "$ddeb")"
  readelf -S "$debug" 2>/dev/null | grep -q '\.debug_info' || fail "the debug file of $exe holds no debug information"
done
echo "package: stripped programs, Installed-Size $(dpkg-deb -f "$deb" Installed-Size) KiB;" \
  "debug files in $(basename "$ddeb")"

# The timer runs nothing itself: what it starts is vigilagent-metrics.service, rated here.
for unit in "$units"/*.service; do
  if ! systemd-analyze security --offline=true --threshold=50 "$unit" >"$work/rating" 2>&1; then
    grep -v '✓' "$work/rating" >&2
    fail "$(basename "$unit") is rated above 5.0"
  fi
  echo "package: $(tail -n 1 "$work/rating" | sed 's/^→ //')"
done

if [ "$(id -u)" -ne 0 ]; then
  echo "package: not root, install and removal skipped"
  exit 0
fi
if dpkg -s vigilagent >/dev/null 2>&1; then
  echo "package: vigilagent is already installed here; leaving it alone" >&2
  exit 1
fi

# The pid of a running process of executable $1, if any.
running() {
  for proc in /proc/[0-9]*; do
    if [ "$(readlink "$proc/exe" 2>/dev/null)" = "$1" ]; then
      echo "${proc#/proc/}"
      return 0
    fi
  done
  return 1
}

installed=yes
dpkg -i "$deb"
for f in /usr/sbin/vigilagent /usr/sbin/hwgate-linux /usr/bin/vigilctl /usr/bin/vigilctl-serve-metrics \
         /usr/lib/systemd/system/vigilagent.service /usr/lib/systemd/system/hwgate-linux.service \
         /usr/lib/systemd/system/vigilagent-metrics.service /usr/lib/systemd/system/vigilagent-metrics.timer \
         /usr/lib/systemd/system/vigilctl-serve-metrics.service /usr/lib/sysusers.d/vigilagent.conf \
         /usr/lib/modules-load.d/hwgate-linux.conf; do
  [ -e "$f" ] || fail "$f missing after dpkg -i"
done
check_installed() {
  getent group vigilagent >/dev/null || fail "no vigilagent group after dpkg -i"
  for link in multi-user.target.wants/hwgate-linux.service multi-user.target.wants/vigilagent.service \
              vigilagent.service.requires/hwgate-linux.service timers.target.wants/vigilagent-metrics.timer; do
    [ -L "/etc/systemd/system/$link" ] || fail "$link is not enabled"
  done
  [ ! -e /etc/systemd/system/multi-user.target.wants/vigilctl-serve-metrics.service ] ||
    fail "the HTTP metrics server was enabled; it is the admin's choice"
  # Each shipped table file: its first key holds its first value after the import.
  for table in /usr/share/vigilagent/eventtables/*.reg; do
    key=$(grep -m 1 '^\[' "$table" | tr -d '[]\r')
    value=$(grep -m 1 '^"' "$table" | tr -d '\r')
    vigilctl reg export "$key" | grep -qF "$value" || fail "$(basename "$table") was not imported"
  done
  grep -q '^ExecStart=/usr/sbin/hwgate-linux' /usr/lib/systemd/system/hwgate-linux.service
  grep -q '^ExecStart=/usr/bin/vigilctl ' /usr/lib/systemd/system/vigilctl-serve-metrics.service
}
check_installed

if [ -d /run/systemd/system ]; then
  echo "package: systemd runs here: the units themselves are checked"
  systemctl is-active --quiet hwgate-linux.service vigilagent.service || fail "the units did not start"
  await agent_running || fail "the agent's unit does not reach RUNNING"
  systemctl start vigilctl-serve-metrics.service
  await scrape || fail "the metrics server's unit does not answer"
  scrape | grep -q '^vigil_agent_up 1' || fail "the metrics server sees no agent"
else
  echo "package: systemd is not the init system here (PID 1: $(ps -o comm= -p 1)): the daemons start by hand"
  ! running /usr/sbin/vigilagent >/dev/null || fail "postinst started the agent without systemd"
  /usr/sbin/hwgate-linux >"$work/hwgate-linux.log" 2>&1 &
  pids="$pids $!"
  await test -S /run/hwgate.sock || { cat "$work"/*.log >&2; fail "the provider does not serve"; }
  /usr/sbin/vigilagent >"$work/vigilagent.log" 2>&1 &
  pids="$pids $!"
  await agent_running || { cat "$work"/*.log >&2; fail "the agent does not reach RUNNING"; }
fi
echo "package: installed: group, event tables and units in place; provider and agent run"

dpkg -r vigilagent
for exe in /usr/sbin/vigilagent /usr/sbin/hwgate-linux; do
  ! running "$exe" >/dev/null || fail "$exe still runs after dpkg -r"
done
for f in /usr/sbin/vigilagent /usr/sbin/hwgate-linux /usr/bin/vigilctl /usr/bin/vigilctl-serve-metrics \
         /usr/lib/systemd/system/hwgate-linux.service; do
  [ ! -e "$f" ] || fail "$f left behind by dpkg -r"
done
for dir in /var/lib/vigilagent /run/vigilagent; do
  [ -d "$dir" ] || fail "dpkg -r removed $dir, which only a purge may"
done
# What an agent and a provider killed outright leave behind, a log the agent writes when it has
# something to say, and a file of someone else's.
mkdir -p /var/log/vigilagent
touch /var/log/vigilagent/messages.log /dev/shm/DMFileMap /dev/shm/vigil-event.NVX_CFG_EVENT /run/hwgate.sock \
  /dev/shm/vigil-unrelated
dpkg --purge vigilagent
for f in /var/lib/vigilagent /var/log/vigilagent /run/vigilagent /dev/shm/DMFileMap \
         /dev/shm/vigil-event.NVX_CFG_EVENT /run/hwgate.sock /etc/systemd/system/vigilagent.service; do
  [ ! -e "$f" ] && [ ! -L "$f" ] || fail "$f left behind by dpkg --purge"
done
[ -e /dev/shm/vigil-unrelated ] || fail "dpkg --purge removed a file that is not the agent's"
rm -f /dev/shm/vigil-unrelated
echo "package: dpkg -r stopped the daemons and kept their state; --purge removed it"

if [ ! -d /run/systemd/system ]; then
  sh "$(dirname "$0")/check-units-booted.sh" "$deb"
fi

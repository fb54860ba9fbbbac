#!/bin/sh
# Runs the package under a real systemd on a machine whose init is something else (a container,
# a CI machine): systemd boots as PID 1 of new mount, PID, UTS, network, IPC and cgroup
# namespaces, on a throw-away overlay of / with its own /run, /tmp and /dev/shm, /sys and
# /proc/sys read-only and no right to load modules or set the clock. It starts nothing but
# journald. Then, inside:
#   - dpkg -i: the units are enabled and started, the agent reaches RUNNING with its block
#     visible to clients; the HTTP metrics server and the textfile service work in their
#     sandboxes (vigil_agent_up 1);
#   - dpkg -r: every unit is stopped, the state stays; --purge removes it;
#   - `systemctl poweroff --force` from the agent's sandbox (the agent's power-off) reaches
#     systemd, which powers the namespaces off.
# Needs root, unshare, nsenter and overlayfs; says why and exits 0 where one is missing.
#   packaging/linux/check-units-booted.sh PACKAGE.deb   (VIGIL_BOOT_LOG=FILE keeps the set-up's output)
set -eu
target=inside
. "$(dirname "$0")/check-common.sh"
deb=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
say() { echo "package (booted systemd): $*"; }

for tool in unshare nsenter setpriv chroot python3; do
  command -v "$tool" >/dev/null || { say "skipped: no $tool"; exit 0; }
done
[ -x /lib/systemd/systemd ] || { say "skipped: systemd is not installed"; exit 0; }
grep -qw overlay /proc/filesystems || modprobe overlay 2>/dev/null || { say "skipped: no overlayfs"; exit 0; }

# A cgroup of our own in every hierarchy, the root of the cgroup namespace in which the
# hierarchies are mounted for systemd (on a tmpfs of its own), so that its tree stays below it.
cgroup=vigil-boot-$$
if [ -f /sys/fs/cgroup/cgroup.controllers ]; then
  hierarchies=/sys/fs/cgroup/
  mounts="cgroup2:"
else
  hierarchies=$(find /sys/fs/cgroup -mindepth 1 -maxdepth 1 -type d | sed 's|$|/|')
  mounts="cgroup:systemd"
  [ -f /sys/fs/cgroup/unified/cgroup.controllers ] && mounts="$mounts cgroup2:unified"
fi
boot=""
cleanup() {
  [ -z "$boot" ] || kill -KILL "$boot" 2>/dev/null || true
  [ -z "$boot" ] || wait "$boot" 2>/dev/null || true
  # The namespaces' processes go a moment after their init; their cgroups can go after them.
  for h in $hierarchies; do
    tries=0
    while [ -d "$h$cgroup" ] && [ "$tries" -lt 50 ]; do
      find "$h$cgroup" -depth -type d -exec rmdir {} + 2>/dev/null || sleep 0.1
      tries=$((tries + 1))
    done
  done
}
trap cleanup EXIT
fail() {
  echo "package (booted systemd): $*" >&2
  [ -z "${init:-}" ] || inside journalctl --no-pager -n 40 -u hwgate-linux -u vigilagent \
    -u vigilctl-serve-metrics -u vigilagent-metrics -u vigil-poweroff-probe >&2 2>/dev/null || true
  exit 1
}

# shellcheck disable=SC2016 # expanded by the shells that run them
sh -c '
  set -e
  cgroup=$1 hierarchies=$2 deb=$3 mounts=$4
  for h in $hierarchies; do
    mkdir "$h$cgroup"
    if [ -f "${h}cpuset.cpus" ]; then
      cat "${h}cpuset.cpus" >"$h$cgroup/cpuset.cpus"
      cat "${h}cpuset.mems" >"$h$cgroup/cpuset.mems"
    fi
    echo $$ >"$h$cgroup/cgroup.procs"
  done
  exec unshare --mount --pid --fork --kill-child --uts --net --ipc --cgroup --propagation private sh -c "
    set -e
    base=/mnt
    mount -t tmpfs tmpfs \$base
    mkdir \$base/upper \$base/work \$base/root
    R=\$base/root
    mount -t overlay overlay -o lowerdir=/,upperdir=\$base/upper,workdir=\$base/work \$R
    mount -t proc proc \$R/proc
    mount --bind \$R/proc/sys \$R/proc/sys
    mount -o remount,bind,ro \$R/proc/sys
    mount --rbind /sys \$R/sys
    mount -o remount,bind,ro \$R/sys
    mount -t tmpfs -o mode=755 tmpfs \$R/sys/fs/cgroup
    for m in $mounts; do
      dir=\$R/sys/fs/cgroup/\${m#*:}
      mkdir -p \$dir
      case \$m in
        cgroup2:*) mount -t cgroup2 cgroup2 \$dir ;;
        *) mount -t cgroup -o none,name=systemd cgroup \$dir ;;
      esac
    done
    mount --rbind /dev \$R/dev
    mount -t tmpfs -o mode=1777 tmpfs \$R/dev/shm
    mount -t tmpfs -o mode=755 tmpfs \$R/run
    mount -t tmpfs -o mode=1777 tmpfs \$R/tmp
    cp \"$deb\" \$R/tmp/vigilagent.deb
    # Nothing starts at boot but journald and what the check starts; no policy-rc.d says no.
    rm -rf \$R/lib/systemd/system-generators \$R/lib/systemd/system/*.wants \$R/etc/systemd/system/*.wants
    rm -f \$R/usr/sbin/policy-rc.d
    printf \"[Unit]\\nDescription=Vigilagent package check\\nWants=systemd-journald.service\\n\" \
      >\$R/etc/systemd/system/vigil-check.target
    cd \$R
    exec setpriv --bounding-set -sys_module,-sys_time -- chroot . env container=vigil-check \
      /lib/systemd/systemd --unit=vigil-check.target --log-target=null --show-status=no
  "
' sh "$cgroup" "$hierarchies" "$deb" "$mounts" >"${VIGIL_BOOT_LOG:-/dev/null}" 2>&1 &
boot=$!

init_pid() {
  init=$(ps -o pid= --ppid "$boot" | tr -d ' ')
  [ -n "$init" ]
}
inside() {
  nsenter -t "$init" -m -u -n -i -p -C -r -w "$@"
}
booted() {
  inside systemctl is-active --quiet vigil-check.target
}
await init_pid || { say "skipped: the namespaces could not be set up here"; exit 0; }
await booted || fail "systemd did not come up"
say "systemd runs as PID 1 of its own namespaces"

# node_exporter's textfile folder, where the metrics timer and service work.
inside mkdir -p /var/lib/prometheus/node-exporter
inside dpkg -i /tmp/vigilagent.deb >/dev/null 2>&1 || fail "dpkg -i failed"
inside systemctl is-active --quiet hwgate-linux.service vigilagent.service vigilagent-metrics.timer ||
  fail "dpkg -i did not start the provider, the agent and the timer"
await agent_running || fail "the agent's unit does not reach RUNNING"
inside systemctl start vigilctl-serve-metrics.service
await scrape || fail "the metrics server's unit does not answer"
scrape | grep -q '^vigil_agent_up 1$' || fail "the metrics server's unit sees no agent"
inside systemctl start vigilagent-metrics.service || fail "the textfile service failed"
inside grep -q '^vigil_agent_up 1$' /var/lib/prometheus/node-exporter/vigilagent.prom ||
  fail "the textfile service wrote no current metrics"
say "dpkg -i enabled and started the units; agent, provider, metrics server and textfile service work"
# The agent's sandbox with the power-off request the agent makes as its command.
inside sh -c 'sed -e "s|^ExecStart=.*|ExecStart=/bin/systemctl poweroff --force|" -e "/^ExecReload=/d" \
  -e "/^Restart=/d" -e "s/^Type=.*/Type=oneshot/" /lib/systemd/system/vigilagent.service \
  >/etc/systemd/system/vigil-poweroff-probe.service'

inside dpkg -r vigilagent >/dev/null 2>&1 || fail "dpkg -r failed"
for unit in hwgate-linux.service vigilagent.service vigilagent-metrics.timer vigilctl-serve-metrics.service; do
  ! inside systemctl is-active --quiet "$unit" || fail "$unit still runs after dpkg -r"
done
inside test -d /var/lib/vigilagent -a -d /run/vigilagent || fail "dpkg -r removed the agent's state"
inside dpkg --purge vigilagent >/dev/null 2>&1 || fail "dpkg --purge failed"
for f in /var/lib/vigilagent /var/log/vigilagent /run/vigilagent /dev/shm/DMFileMap /run/hwgate.sock; do
  ! inside test -e "$f" || fail "$f left behind by dpkg --purge"
done
say "dpkg -r stopped every unit and kept the state; --purge removed it"

inside systemctl daemon-reload
inside systemctl start --no-block vigil-poweroff-probe.service
tries=0
while kill -0 "$init" 2>/dev/null; do
  tries=$((tries + 1))
  [ "$tries" -lt 150 ] || fail "systemctl poweroff --force from the agent's sandbox did not reach systemd"
  sleep 0.2
done
say "the agent's sandbox can ask systemd for the power-off"

#!/bin/bash
# Resident memory of the long-running programs, as /proc/PID/smaps counts it, against their
# targets: the agent (RSS under 4 MiB, private dirty at most 1 MiB) without and with a journal,
# and `vigilctl serve-metrics` idle after a few scrapes (RSS under 6 MiB). Figures, never a
# verdict: page-cache state moves them by some tens of KiB from run to run.
#
#   bench/resident_memory.sh [BUILD_DIR] [--by-file]
#
# With a journal: run as root, the agent runs in a private mount namespace where a tmpfs over
# /run/systemd and /run/log holds a systemd-journald started for the run, so the machine's own
# /run is never touched. Without root or systemd-journald that case is skipped.
set -u
here=$(cd "$(dirname "$0")/.." && pwd)
build=$here/build/default
byFile=no
for arg in "$@"; do
  case "$arg" in --by-file) byFile=yes ;; *) build=$arg ;; esac
done
bin=$build/bin
for p in vigilagent hwgate-sim vigilctl; do
  [ -x "$bin/$p" ] || { echo "resident_memory: $bin/$p not built" >&2; exit 1; }
done

# Rss, Private_Dirty in KiB, then (with --by-file) Rss and Private_Dirty per mapped file.
report() {
  local pid=$1 what=$2 target=$3
  local rss dirty
  rss=$(awk '/^Rss:/ {print $2}' "/proc/$pid/smaps_rollup")
  dirty=$(awk '/^Private_Dirty:/ {print $2}' "/proc/$pid/smaps_rollup")
  awk -v w="$what" -v r="$rss" -v d="$dirty" -v t="$target" \
    'BEGIN {printf "%-46s RSS %5d KiB (%.2f MiB), private dirty %4d KiB; target %s\n", w, r, r / 1024, d, t}'
  if [ "$byFile" = yes ]; then
    awk '/^[0-9a-f]+-[0-9a-f]+ / {f = (NF >= 6 ? $6 : "[anon]")}
         /^Rss:/ {r[f] += $2} /^Private_Dirty:/ {d[f] += $2}
         END {for (f in r) if (r[f]) printf "    %6d %6d  %s\n", r[f], d[f], f}' "/proc/$pid/smaps" | sort -rn
  fi
}

# Starts the simulated Kelvo B720 and the agent in a fresh sandbox root; sets sim, agent, root.
start_rig() {
  root=$(mktemp -d /tmp/vigil-mem.XXXXXX)
  export VIGIL_ROOT=$root
  "$bin/hwgate-sim" --scenario "$here/fixtures/scenarios/kelvo-b720.json" >/dev/null 2>&1 &
  sim=$!
  for _ in $(seq 50); do [ -S "$root/run/hwgate.sock" ] && break; sleep 0.1; done
  "$bin/vigilagent" >/dev/null 2>&1 &
  agent=$!
  for _ in $(seq 100); do grep -q RUNNING "$root/run/vigilagent/status" 2>/dev/null && break; sleep 0.1; done
}
stop_rig() {
  kill "$agent" 2>/dev/null; wait "$agent" 2>/dev/null
  kill "$sim" 2>/dev/null; wait "$sim" 2>/dev/null
  rm -rf "$root"
}

# The agent after its first poll (the history's records reported) and one more record, which
# reaches it at the next poll: the state it idles in between batches of reports.
measure_agent() {
  local what=$1
  start_rig
  sleep 2
  "$bin/hwgate-sim" ctl append-record "01 0C 23 10 14 22 10 03 27 00 00 00" >/dev/null 2>&1
  sleep 8
  report "$agent" "$what" "RSS < 4096 KiB, private dirty <= 1024 KiB"
  stop_rig
}

if [ "${VIGIL_MEMORY_IN_NAMESPACE:-}" = journal ]; then
  # Inside the private mount namespace (see below): a journald of our own.
  mount -t tmpfs tmpfs /run/systemd && mkdir -p /run/systemd/journal && mount -t tmpfs tmpfs /run/log || exit 1
  /lib/systemd/systemd-journald >/dev/null 2>&1 &
  journald=$!
  for _ in $(seq 50); do [ -S /run/systemd/journal/socket ] && break; sleep 0.1; done
  measure_agent "vigilagent, journald running"
  kill "$journald"; wait "$journald" 2>/dev/null
  exit 0
fi

sync  # a freshly built binary's page-cache pages would count as dirty
if [ -S /run/systemd/journal/socket ]; then
  measure_agent "vigilagent, with this machine's journald"
else
  measure_agent "vigilagent, no journal"
  if [ "$(id -u)" = 0 ] && [ -x /lib/systemd/systemd-journald ] && command -v unshare >/dev/null; then
    VIGIL_MEMORY_IN_NAMESPACE=journal unshare -m --propagation private "$0" "$@"
  else
    echo "vigilagent, journald running: skipped (needs root and /lib/systemd/systemd-journald)"
  fi
fi

start_rig
port=$((20000 + RANDOM % 20000))
# One GET /metrics on a new connection; true when it reports a running agent.
scrape() {
  { exec 3<>"/dev/tcp/127.0.0.1/$port"; } 2>/dev/null || return 1
  printf 'GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n' >&3
  local answer
  answer=$(cat <&3)
  exec 3<&-
  [[ "$answer" == *"vigil_agent_up 1"* ]]
}
"$bin/vigilctl" serve-metrics --listen "127.0.0.1:$port" >/dev/null 2>&1 &
server=$!
for _ in $(seq 50); do scrape && break; sleep 0.1; done
scrapes=0
for _ in $(seq 10); do scrape && scrapes=$((scrapes + 1)); done
[ "$scrapes" = 10 ] || echo "resident_memory: only $scrapes of 10 scrapes were answered" >&2
sleep 1
report "$server" "vigilctl serve-metrics, idle after 10 scrapes" "RSS < 6144 KiB"
kill "$server"; wait "$server" 2>/dev/null
stop_rig

#!/usr/bin/env bash
# The demo behind `./run demo`: a simulated Kelvo B720 server, the agent and its client in a
# throw-away sandbox root. Builds nothing; takes the folder of the built programs.
#
#   sim/demo.sh [BIN_DIR]      (default: build/default/bin)
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bin=$(cd "${1:-$here/build/default/bin}" && pwd)
for program in vigilagent hwgate-sim vigilctl; do
  [ -x "$bin/$program" ] || { echo "demo: $bin/$program is missing (build first)" >&2; exit 2; }
done

export VIGIL_ROOT
VIGIL_ROOT=$(mktemp -d /tmp/vigil-demo.XXXXXX)
sim_pid=
agent_pid=
cleanup() {
  local status=$?
  [ -n "$agent_pid" ] && kill "$agent_pid" 2>/dev/null && wait "$agent_pid" 2>/dev/null
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  # A failed demo keeps its sandbox: the agent's messages, events and status explain it.
  if [ "$status" -ne 0 ]; then
    echo "demo failed; its logs are kept in $VIGIL_ROOT (var/log/vigilagent/, run/vigilagent/status, *.err)" >&2
  else
    rm -rf "$VIGIL_ROOT"
  fi
}
trap cleanup EXIT

say() { printf '\n== %s\n' "$*"; }
# Polls a condition every 100 ms for up to $1 seconds.
wait_for() {
  local limit=$(($1 * 10)); shift
  for ((i = 0; i < limit; i++)); do "$@" && return 0; sleep 0.1; done
  echo "demo: timed out waiting for: $*" >&2
  return 1
}
events_log=$VIGIL_ROOT/var/log/vigilagent/events.log
count_reports() { [ -f "$events_log" ] && wc -l <"$events_log" || echo 0; }

say "Sandbox root: $VIGIL_ROOT (VIGIL_ROOT)"

say "Starting the simulated platform driver: a Kelvo B720 server"
"$bin/hwgate-sim" --scenario "$here/fixtures/scenarios/kelvo-b720.json" >"$VIGIL_ROOT/sim.out" 2>&1 &
sim_pid=$!
wait_for 10 test -S "$VIGIL_ROOT/run/hwgate.sock"
cat "$VIGIL_ROOT/sim.out"

say "Importing the B720 event tables into the registry (vigilctl reg import)"
"$bin/vigilctl" reg import "$here/fixtures/eventtables/Kelvo B720.reg"

say "Starting vigilagent"
"$bin/vigilagent" 2>"$VIGIL_ROOT/agent.err" &
agent_pid=$!
# -s: the status file appears only once the agent writes it.
wait_for 15 grep -qs RUNNING "$VIGIL_ROOT/run/vigilagent/status"
# The first poll step follows the start-up at once and reports the whole log.
wait_for 15 test -s "$events_log"
sleep 0.5
cat "$VIGIL_ROOT/run/vigilagent/status"

say "vigilctl status: the block header"
"$bin/vigilctl" status

say "vigilctl sensors: a fresh reading of every sensor"
"$bin/vigilctl" sensors

say "vigilctl events: the BIOS event history"
"$bin/vigilctl" events

say "The firmware logs a new event: single-bit ECC error on DIMM B1, stamped now"
before=$(count_reports)
stamp=$(date +'%y %m %d %H %M %S')
record="01 0C $stamp 29 00 00 00"
"$bin/hwgate-sim" ctl append-record "$record"
echo "record: $record"
start=$(date +%s%N)
more_reports() { [ "$(count_reports)" -gt "$before" ]; }
wait_for 8 more_reports
elapsed=$((($(date +%s%N) - start) / 100000000))
echo "reported after $((elapsed / 10)).$((elapsed % 10)) s (the agent polls every 6 s)"

say "vigilctl events: the newest entry"
"$bin/vigilctl" events | tail -n 2

say "The system event log line (syslog identifier \"Vigil Agent\"; also in $events_log)"
tail -n 1 "$events_log"

say "Stopping the agent (SIGTERM = service STOP)"
kill -TERM "$agent_pid"
code=0
wait "$agent_pid" || code=$?
agent_pid=
tail -n 2 "$VIGIL_ROOT/run/vigilagent/status"
echo "agent exit code: $code"

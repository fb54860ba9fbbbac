#!/bin/sh
# Runs inside the QEMU guest as /init's work: the provider on the real kernel's sysfs, the
# agent on the provider, vigilctl on the agent. Every check prints "QEMU-CHECK ok|FAIL: what";
# the last line is "QEMU-RESULT pass|fail". The host harness reads them from the serial line.
set -u
failed=0
check() {
  what=$1
  shift
  if "$@"; then echo "QEMU-CHECK ok: $what"; else echo "QEMU-CHECK FAIL: $what"; failed=1; fi
}
wait_for() {
  tries=$1
  shift
  while [ "$tries" -gt 0 ]; do
    "$@" && return 0
    sleep 1
    tries=$((tries - 1))
  done
  return 1
}
say() { echo "== $*"; }

events_log=/var/log/vigilagent/events.log
reports() { if [ -f "$events_log" ]; then wc -l <"$events_log"; else echo 0; fi; }
expected_reports=$(wc -l </etc/vigil/expected.txt)
uuid=$(cat /etc/vigil/uuid)

provider_runs=0
start_provider() {
  provider_runs=$((provider_runs + 1))
  hwgate-linux >/tmp/provider$provider_runs.out 2>&1 &
  provider_pid=$!
  wait_for 20 test -S /run/hwgate.sock
}
stop_provider() { kill -TERM "$provider_pid"; wait "$provider_pid"; }
start_agent() {
  rm -f /run/vigilagent/status
  vigilagent 2>>/tmp/agent.err &
  agent_pid=$!
  wait_for 40 grep -q RUNNING /run/vigilagent/status
}
stop_agent() { kill -TERM "$agent_pid"; wait "$agent_pid"; }

say "hwgate-linux --probe"
hwgate-linux --probe >/tmp/probe.out 2>&1
cat /tmp/probe.out
check "probe finds the firmware table" grep -q "^SMBIOS table: .*version" /tmp/probe.out
check "probe finds the firmware event log" grep -q "^event log: smbios, $expected_reports records" /tmp/probe.out
check "probe handles a machine without hwmon" grep -q "^sensors: 0" /tmp/probe.out

say "provider, event tables, agent"
check "provider serves the device socket" start_provider
ls -l /run/hwgate.sock
vigilctl reg import "/etc/vigil/Kelvo B720.reg"
check "agent starts on the provider" start_agent
check "agent reports the firmware's records" wait_for 30 sh -c "[ \$(wc -l <$events_log 2>/dev/null || echo 0) -ge $expected_reports ]"
sleep 1
vigilctl status
vigilctl events
cat "$events_log"
check "model identified: UUID published from the real table" sh -c "vigilctl status | grep -qi 'System UUID *$uuid'"
check "every record reported once" [ "$(reports)" -eq "$expected_reports" ]
check "memory error decoded with the B720 text" grep -q "Single-bit ECC memory error" "$events_log"
check "record with the read flag reported" grep -q "System limit exceeded" "$events_log"
vigilctl sensors
check "agent runs without live sensors" kill -0 "$agent_pid"

say "restart the agent: nothing is reported again"
stop_agent
check "agent restarts" start_agent
sleep 8
check "no record reported twice after the agent's restart" [ "$(reports)" -eq "$expected_reports" ]

say "restart the provider: the log keeps its identity and positions"
stop_provider
check "provider restarts" start_provider
# The agent's next call finds its connection broken; the one after connects afresh.
sleep 14
check "no record reported twice after the provider's restart" [ "$(reports)" -eq "$expected_reports" ]
stop_agent
stop_provider
cat /tmp/provider1.out /tmp/provider2.out /tmp/agent.err
check "the agent read the log from the restarted provider" grep -Eq "stopped after .* [1-9][0-9]* log reads" /tmp/provider2.out

if [ "$failed" -eq 0 ]; then echo "QEMU-RESULT pass"; else echo "QEMU-RESULT fail"; fi

# Helpers of the guest scripts (sourced): checks that print "QEMU-CHECK ok|FAIL: what", waits,
# and the provider and agent started and stopped as the tests need them.
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
result() { if [ "$failed" -eq 0 ]; then echo "QEMU-RESULT pass"; else echo "QEMU-RESULT fail"; fi; }

events_log=/var/log/vigilagent/events.log
reports() { if [ -f "$events_log" ]; then wc -l <"$events_log"; else echo 0; fi; }

provider_runs=0
start_provider() {
  provider_runs=$((provider_runs + 1))
  hwgate-linux "$@" >/tmp/provider$provider_runs.out 2>&1 &
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


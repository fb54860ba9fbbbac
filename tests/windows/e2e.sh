#!/usr/bin/env bash
# The Windows product end to end under Wine: the simulated platform driver (hwgate-sim.sys) as
# a kernel driver, vigilagent.exe as a service started by the service control manager, and
# vigilctl.exe reading "DMFileMap" — in a fresh Wine prefix, thrown away afterwards.
#
#   tests/windows/e2e.sh [BUILD_DIR]     (default: build/windows; builds nothing)
#
# Phase 1 runs the service without the driver: RUNNING, the driver message, STOPPED with exit
# code 0. Phase 2 installs the driver with the Kelvo B720 scenario and its event tables and
# checks what the agent publishes, a record appended at run time, a parameter reload by control
# code 128, the message of an unknown control code and a clean stop. Prints every step; exits non-zero at the first failure.
# The protective shutdown is left to the unit tests: under Wine it would end the session.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
build=${1:-$source_dir/build/windows}
bin=$(cd "$build/bin" && pwd)
scenario=$source_dir/fixtures/scenarios/kelvo-b720.json
tables="$source_dir/fixtures/eventtables/Kelvo B720.reg"
started=$SECONDS

command -v python3 >/dev/null || { echo "e2e: python3 is needed to read the scenario" >&2; exit 2; }
for p in vigilagent.exe vigilctl.exe hwgate-sim.sys hwgate-simctl.exe windows_peer.exe; do
  [[ -f $bin/$p ]] || { echo "e2e: $bin/$p is missing (build the windows preset first)" >&2; exit 2; }
done

source "$here/wine_session.sh"

# Reads the scenario with python3; prints what is asked for (see the calls). Standard input
# stays free for the data some questions compare against.
read -r -d '' scenario_reader <<'PY' || true
import json, sys, uuid
scenario = json.load(open(sys.argv[1]))
what = sys.argv[2]
if what == "uuid":
    for s in scenario["smbios"]["structures"]:
        if s["type"] == 1:
            formatted = bytes(int(b, 16) for b in s["formatted"].split())
            print(uuid.UUID(bytes_le=formatted[4:20]))  # UUID at structure offset 8
elif what == "records":
    print(len(scenario["eventLog"]["records"]))
elif what == "first-record-time":
    print(scenario["eventLog"]["firstRecordTime"])
elif what == "matching-readings":
    # Readings of the refreshed table that equal the documented conversion of a raw value the
    # scenario gives for a probe of the same kind.
    sensors = json.loads(sys.stdin.read())
    raws = [int(v["raw"]) for v in scenario["sensors"].values()]
    def convert(kind, raw):
        if raw == 0x8000: return -1048575.0
        if kind == 1: return raw * 0.1
        if kind == 2: return raw * 0.001 if raw < 0x7FFF else -((0xFFFF - raw) * 0.001)
        return float(raw)
    print(sum(1 for s in sensors if s["sensorType"] in (1, 2, 4) and
              any(abs(convert(s["sensorType"], r) - s["reading"]) < 1e-3 for r in raws)))
PY
scenario() { python3 -c "$scenario_reader" "$scenario" "$@"; }
json_field() { python3 -c "import json,sys; print(json.load(sys.stdin)[sys.argv[1]])" "$1"; }
json_length() { python3 -c "import json,sys; print(len(json.load(sys.stdin)))"; }

wine_session_start e2e
pass "Wine prefix ready ($((SECONDS - started)) s)"

# Installed as on a server: the programs in a folder of drive C:.
install_dir=$WINEPREFIX/drive_c/Vigilagent
mkdir -p "$install_dir"
cp "$bin/vigilagent.exe" "$bin/vigilctl.exe" "$bin/hwgate-simctl.exe" "$bin/windows_peer.exe" "$install_dir/"
agent_path='C:\Vigilagent\vigilagent.exe'
vigilctl='C:\Vigilagent\vigilctl.exe'
simctl='C:\Vigilagent\hwgate-simctl.exe'
peer='C:\Vigilagent\windows_peer.exe'
w sc create Vigilagent binPath= "$agent_path" >/dev/null
pass "sc create Vigilagent binPath= $agent_path"

echo "== Phase 1: no driver"
phase=$SECONDS
w sc start Vigilagent >/dev/null || true
wait_state Vigilagent RUNNING 20
for _ in $(seq 40); do grep -qs "\[HwGate\] Driver Initialization Error!" "$message_log" && break; sleep 1; done
grep -qs "\[HwGate\] Driver Initialization Error!" "$message_log" || fail "no driver message"
pass "message: $(grep -a 'Driver Initialization' "$message_log" | tail -1)"
wait_state Vigilagent STOPPED 30
[[ $(service_exit_code Vigilagent) == 0 ]] || fail "exit code $(service_exit_code Vigilagent), expected 0"
elapsed=$((SECONDS - phase))
((elapsed >= 9)) || fail "stopped after $elapsed s: the driver was not tried ten times a second apart"
pass "STOPPED with exit code 0 after $elapsed s"

echo "== Phase 2: the simulated B720"
start_sim_driver "$bin" "$simctl" "$scenario"
# The Windows client's own .reg import, through the Win32 registry.
w "$vigilctl" reg import "$(winpath "$tables")" >/dev/null || fail "vigilctl reg import of the event tables"
pass "vigilctl reg import \"Kelvo B720.reg\""

w sc start Vigilagent >/dev/null || true
wait_state Vigilagent RUNNING 20
status=""
for _ in $(seq 20); do
  status=$(w "$vigilctl" status --json || true)
  [[ -n $status && $(json_field startupComplete <<<"$status") == 1 ]] && break
  sleep 1
done
[[ -n $status ]] || fail "vigilctl status: no block"
[[ $(json_field startupComplete <<<"$status") == 1 ]] || fail "start-up complete flag not set: $status"
[[ $(json_field identification <<<"$status") == "[1, 35, 1, 11161, 0, 16]" ]] ||
  fail "identification bytes: $status"
want_uuid=$(scenario uuid)
[[ $(json_field uuid <<<"$status") == "$want_uuid" ]] || fail "UUID: $status, expected $want_uuid"
pass "vigilctl status: identification 01 23 01 2B99 0000 10, start-up complete, UUID $want_uuid"

sensors=$(w "$vigilctl" sensors --json) || fail "vigilctl sensors"
matching=$(scenario matching-readings <<<"$sensors")
((matching >= 5)) || fail "only $matching readings match the scenario: $sensors"
pass "vigilctl sensors --json: $matching readings equal the scenario's conversions"

records=$(scenario records)
events=$(w "$vigilctl" events --json) || fail "vigilctl events"
[[ $(json_length <<<"$events") == "$records" ]] || fail "history holds $(json_length <<<"$events") events, expected $records"
grep -q "System boot" <<<"$events" || fail "event texts from the imported tables missing: $events"
pass "vigilctl events: $records events with their texts"

source_key='HKLM\System\CurrentControlSet\Services\EventLog\Application\Vigil Agent'
registration=$(w reg query "$source_key")
for value in TypesSupported EventMessageFile ParameterMessageFile CategoryMessageFile CategoryCount; do
  grep -q "$value" <<<"$registration" || fail "event source value $value missing: $registration"
done
grep -qF "EventMessageFile    REG_EXPAND_SZ    $agent_path" <<<"$registration" ||
  fail "EventMessageFile does not name the agent: $registration"
pass "reg query: event source registration names $agent_path"

position_key='HKLM\SOFTWARE\NVXAgents\VigilAgent\Parameters\RegEventLog Parameter'
# reg query prints a REG_DWORD as 0x...; bash arithmetic reads it.
dword_value() { local v; v=$(w reg query "$1" /v "$2" | awk -v n="$2" '$1 == n {print $3}'); echo $((${v:-0})); }
read_position() { dword_value "$position_key" offset; }
first_time=$(dword_value "$position_key" first_log_time)
[[ $first_time == "$(scenario first-record-time)" ]] || fail "first_log_time $first_time"
position=$(read_position)
((position > 0)) || fail "no read position saved"
pass "reg query: read position $position, first_log_time $first_time"

# A system boot record of 2024-02-01 12:30:00, appended to the simulated BIOS log.
w "$simctl" append-record "17 08 24 02 01 12 30 00" >/dev/null || fail "append-record"
appended=$SECONDS
while ((SECONDS - appended <= 7)); do
  events=$(w "$vigilctl" events --json || true)
  [[ $(json_length <<<"$events" 2>/dev/null) == $((records + 1)) ]] && break
  sleep 1
done
[[ $(json_length <<<"$events") == $((records + 1)) ]] || fail "appended record not in the history after 7 s"
grep -q "2024-02-01T12:30:00" <<<"$events" || fail "appended record has the wrong time: $events"
(($(read_position) > position)) || fail "read position did not advance"
pass "appended record in the history after $((SECONDS - appended)) s; read position $(read_position)"

parameter_key='HKLM\SOFTWARE\NVXAgents\VigilAgent\Parameters\RegAgent Parameter'
# CPUOverTempShoutdown stays 0: an enabled protective shutdown could end the Wine session.
w reg add "$parameter_key" /v CPUOverTempShoutdown /t REG_DWORD /d 0 /f >/dev/null
w reg add "$parameter_key" /v ClearEventLog_Enabled /t REG_DWORD /d 1 /f >/dev/null
status=$(w "$vigilctl" status --json)
[[ $(json_field clearEventLogEnabled <<<"$status") == 0 ]] || fail "parameter in the block before the reload"
w "$peer" control Vigilagent 128 || fail "control code 128 not delivered"
for _ in $(seq 10); do
  status=$(w "$vigilctl" status --json)
  [[ $(json_field clearEventLogEnabled <<<"$status") == 1 ]] && break
  sleep 1
done
[[ $(json_field clearEventLogEnabled <<<"$status") == 1 &&
   $(json_field cpuOverTempShutdown <<<"$status") == 0 ]] || fail "block did not follow: $status"
[[ $(service_state Vigilagent) == RUNNING ]] || fail "control 128 changed the service state"
pass "control code 128: the registry's parameters reloaded into the block, still RUNNING"

# A message box on the control handler's thread must not hold it: the stop below needs it.
w "$peer" control Vigilagent 129 || fail "control code 129 not delivered"
unrecognized="[Vigilagent] ERROR: ServiceCtrlHandler: Unrecognized CtrlCode"
for _ in $(seq 10); do grep -qsF "$unrecognized" "$message_log" && break; sleep 1; done
grep -qsF "$unrecognized" "$message_log" || fail "no message for control code 129"
[[ $(service_state Vigilagent) == RUNNING ]] || fail "control 129 changed the service state"
pass "control code 129: \"$unrecognized\" in the message log, still RUNNING"

w sc stop Vigilagent >/dev/null || true
wait_state Vigilagent STOPPED 30
[[ $(service_exit_code Vigilagent) == 0 ]] || fail "exit code $(service_exit_code Vigilagent), expected 0"
pass "sc stop Vigilagent: STOPPED with exit code 0"

echo "== All steps passed in $((SECONDS - started)) s"

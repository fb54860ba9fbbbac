#!/usr/bin/env bash
# The Windows product end to end, under Wine: the simulated platform driver (hwgate-sim.sys)
# as a kernel service, the agent as the service "Vigilagent" started by the service control
# manager, and vigilctl.exe reading "DMFileMap" -- then the same agent with no driver at all.
#
#   bash tests/windows/e2e.sh [BUILD_DIR]     (default build/windows)
#
# Needs the Windows build of hwgate-sim.sys, hwgate-simctl.exe, vigilagent.exe, vigilctl.exe and
# service_control.exe (tests/windows_e2e), wine and python3. Everything happens in a fresh temporary WINEPREFIX with its own persistent
# wineserver, which is ended on every way out. Prints one line per step; exits non-zero on the
# first failure.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/../.." && pwd)
BUILD=${1:-build/windows}
[[ $BUILD = /* ]] || BUILD=$ROOT/$BUILD
BIN=$BUILD/bin
SCENARIO=$ROOT/fixtures/scenarios/kelvo-b720.json
TABLES=$ROOT/fixtures/eventtables/Kelvo\ B720.reg
# shellcheck source=tests/windows/e2e_lib.sh
source "$ROOT/tests/windows/e2e_lib.sh"

for program in hwgate-sim.sys hwgate-simctl.exe vigilagent.exe vigilctl.exe service_control.exe; do
  [[ -f $BIN/$program ]] || fail "$BIN/$program is missing: build the windows preset first"
done
command -v wine >/dev/null || fail "wine is not installed"
command -v python3 >/dev/null || fail "python3 is not installed"

StartWine

step "prefix ready"
DRIVERS=$WINEPREFIX/drive_c/windows/system32/drivers
AGENT_DIR=$WINEPREFIX/drive_c/Vigilagent
mkdir -p "$AGENT_DIR"
cp "$BIN/hwgate-sim.sys" "$DRIVERS/hwgate.sys"
cp "$BIN/vigilagent.exe" "$BIN/vigilctl.exe" "$BIN/hwgate-simctl.exe" "$BIN/service_control.exe" "$AGENT_DIR/"
AGENT='C:\Vigilagent\vigilagent.exe'
CTL='C:\Vigilagent\vigilctl.exe'
SIMCTL='C:\Vigilagent\hwgate-simctl.exe'
# `sc control SERVICE CODE` on Windows; Wine's sc.exe has no such verb.
SC_CONTROL='C:\Vigilagent\service_control.exe'

# --- The driver and its scenario --------------------------------------------------------------
step "install and start the driver"
Wine sc create HwGate type= kernel binPath= 'C:\windows\system32\drivers\hwgate.sys' >/dev/null
Wine sc start HwGate >/dev/null || true
WaitState HwGate RUNNING 20

step "load the B720 scenario"
Wine "$SIMCTL" load "$(winepath -w "$SCENARIO")" || fail "hwgate-simctl load"

step "import the B720 event tables"
Wine "$CTL" reg import "$(winepath -w "$TABLES")" || fail "vigilctl reg import"

# --- The agent as a service ---------------------------------------------------------------------
step "install and start the agent"
Wine sc create Vigilagent binPath= "$AGENT" >/dev/null
Wine sc start Vigilagent >/dev/null || true
WaitState Vigilagent RUNNING 20
WaitFor "start-up complete flag" 30 StatusHas 'Start-up complete +1$'

step "status: identification bytes, start-up flag, system UUID"
STATUS=$(Wine "$CTL" status)
printf '%s\n' "$STATUS" | sed 's/^/    /'
grep -q '^Identification .*(agent)$' <<<"$STATUS" || fail "identification bytes not written"
UUID=$(ScenarioUuid "$SCENARIO")
grep -qi "^System UUID *$UUID$" <<<"$STATUS" || fail "system UUID is not the scenario's $UUID"
echo "    UUID $UUID as in the scenario"

step "sensors: readings against the scenario's conversions"
Wine "$CTL" sensors --json >"$WORK/sensors.json" || fail "vigilctl sensors --json"
CheckSensors "$SCENARIO" "$WORK/sensors.json" 5

step "events: the history holds the scenario's log"
RECORDS=$(ScenarioRecordCount "$SCENARIO")
WaitFor "$RECORDS history entries" 15 EventCountIs "$RECORDS"
EVENTS=$(Wine "$CTL" events)
sed -n '1,3s/^/    /p' <<<"$EVENTS"

step "registry: event source registration"
SOURCE_KEY='HKLM\System\CurrentControlSet\Services\EventLog\Application\Vigil Agent'
REG=$(Wine reg query "$SOURCE_KEY")
printf '%s\n' "$REG" | sed 's/^/    /'
RegHas "$REG" TypesSupported REG_DWORD 0x7
RegHas "$REG" CategoryCount REG_DWORD 0x2
for value in EventMessageFile ParameterMessageFile CategoryMessageFile; do
  RegHas "$REG" "$value" REG_EXPAND_SZ "$AGENT"
done

step "registry: saved read position"
POSITION_KEY='HKLM\SOFTWARE\NVXAgents\VigilAgent\Parameters\RegEventLog Parameter'
LOG_BYTES=$(ScenarioLogBytes "$SCENARIO")
FIRST_TIME=$(ScenarioFirstRecordTime "$SCENARIO")
WaitFor "offset $LOG_BYTES saved" 15 RegValueIs "$POSITION_KEY" offset "$(printf '0x%x' "$LOG_BYTES")"
RegValueIs "$POSITION_KEY" first_log_time "$(printf '0x%x' "$FIRST_TIME")" || fail "first_log_time"
Wine reg query "$POSITION_KEY" | sed 's/^/    /'

step "a record appended to the BIOS log reaches the history"
Wine "$SIMCTL" append-record "$(ScenarioRecord "$SCENARIO" 0)" | sed 's/^/    /'
WaitFor "$((RECORDS + 1)) history entries within 7 s" 7 EventCountIs "$((RECORDS + 1))"
EVENTS=$(Wine "$CTL" events)
tail -n 1 <<<"$EVENTS" | sed 's/^/    /'

step "parameters: registry change, control code 128, block follows"
PARAM_KEY='HKLM\SOFTWARE\NVXAgents\VigilAgent\Parameters\RegAgent Parameter'
# CPUOverTempShoutdown stays 0: the protective shutdown would end the Wine session.
Wine reg add "$PARAM_KEY" /v CPUOverTempShoutdown /t REG_DWORD /d 0 /f >/dev/null
Wine reg add "$PARAM_KEY" /v ClearEventLog_Enabled /t REG_DWORD /d 1 /f >/dev/null
StatusHas '^ClearEventLog_Enabled +0$' || fail "ClearEventLog_Enabled already 1 before the control"
Wine "$SC_CONTROL" Vigilagent 128 | sed 's/^/    /' || fail "control code 128 not delivered"
WaitFor "ClearEventLog_Enabled 1 in the block" 10 StatusHas '^ClearEventLog_Enabled +1$'

step "stop the agent"
Wine sc stop Vigilagent >/dev/null || true
WaitState Vigilagent STOPPED 20
ExitCodeIs Vigilagent 0

# --- The same agent without a driver ------------------------------------------------------------
step "remove the driver"
Wine sc stop HwGate >/dev/null || true
WaitState HwGate STOPPED 20
Wine sc delete HwGate >/dev/null
MESSAGES=$WINEPREFIX/drive_c/ProgramData/Vigilagent/messages.log
BEFORE=$(MessageCount "Driver Initialization Error!")

step "start the agent with no driver"
STARTED=$SECONDS
Wine sc start Vigilagent >/dev/null || true
WaitState Vigilagent RUNNING 20
WaitFor "the \"Driver Initialization Error!\" message" 30 MessageCountAbove "Driver Initialization Error!" "$BEFORE"
grep 'Driver Initialization Error!' "$MESSAGES" | tail -n 1 | sed 's/^/    /'
WaitState Vigilagent STOPPED 30
ExitCodeIs Vigilagent 0
ELAPSED=$((SECONDS - STARTED))
((ELAPSED >= 9)) || fail "stopped after ${ELAPSED} s: the ten open attempts take about ten seconds"
echo "    stopped ${ELAPSED} s after the start"

step "all passed"

# A fresh Wine prefix with a persistent wineserver, for the scripts that drive Windows programs
# and services step by step (sourced; bash). Sets WINEPREFIX, wine_bin, message_log; the prefix
# and its wineserver are always ended on exit, also on failure.
#
#   wine_session_start NAME     makes the prefix and waits until its services run
#   w PROGRAM ARGS...           a Windows program with a time limit, output without CRs
#   winpath FILE                the Windows path of a Linux file
#   service_state NAME          RUNNING, STOPPED, ... (empty when the service does not exist)
#   service_exit_code NAME
#   wait_state NAME STATE SECONDS
#   fail TEXT / pass TEXT
# A step of the script that fails outside a test of its own ends it (set -e) with its line, its
# status and what the last Windows program wrote to standard error.

wine_bin=$(command -v wine || command -v wine64 || true)
[[ -n $wine_bin ]] || { echo "wine is not installed" >&2; exit 2; }
wineserver_bin=$(command -v wineserver || true)
[[ -n $wineserver_bin ]] || wineserver_bin=$(dirname "$(readlink -f "$wine_bin")")/wineserver

export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEPREFIX
unset DISPLAY WAYLAND_DISPLAY

wine_session_cleanup() {
  exec 9>&- 2>/dev/null || true
  "$wineserver_bin" -k >/dev/null 2>&1 || true
  [[ -n ${WINEPREFIX:-} ]] && rm -rf "$WINEPREFIX"
}

fail() {
  echo "FAIL: $*" >&2
  if [[ -s ${wine_stderr:-} ]]; then sed 's/^/  last program'"'"'s stderr: /' "$wine_stderr" >&2; fi
  if [[ -f ${message_log:-} ]]; then sed 's/^/  message log: /' "$message_log" >&2; fi
  exit 1
}
pass() { echo "ok: $*"; }

w() { timeout 60 "$wine_bin" "$@" </dev/null 2>"${wine_stderr:-/dev/null}" | tr -d '\r'; }
winpath() { "$wine_bin" winepath -w "$1" 2>/dev/null | tr -d '\r'; }

# sc query as text: "STATE <n> <WORD>" and the exit code.
service_state() { w sc query "$1" | awk '$1 == "STATE" {print $4}'; }
service_exit_code() { w sc query "$1" | awk '$1 == "WIN32_EXIT_CODE" {print $3}'; }
wait_state() {  # NAME STATE SECONDS
  local deadline=$((SECONDS + $3)) state=""
  while ((SECONDS < deadline)); do
    state=$(service_state "$1")
    [[ $state == "$2" ]] && { echo "   sc query $1: STATE $state"; return 0; }
    sleep 1
  done
  fail "$1 did not reach $2 within $3 s (last state: ${state:-none})"
}

wine_session_start() {
  WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/vigil-$1.XXXXXX")
  message_log=$WINEPREFIX/drive_c/ProgramData/Vigilagent/messages.log
  wine_stderr=$WINEPREFIX/last-stderr
  trap wine_session_cleanup EXIT
  # Not inherited by functions and command substitutions (no set -E): their callers test them.
  trap 'fail "line $LINENO of ${BASH_SOURCE[0]##*/}: \"$BASH_COMMAND\" exited with status $?"' ERR
  echo "== Wine prefix $WINEPREFIX"
  "$wineserver_bin" -p
  # Wine ends its service manager when the last program exits; a console waiting on a pipe
  # keeps one program alive so that services and drivers stay up between the steps.
  mkfifo "$WINEPREFIX/keep"
  ("$wine_bin" cmd <"$WINEPREFIX/keep" >/dev/null 2>&1 &)
  exec 9>"$WINEPREFIX/keep"
  local _
  for _ in $(seq 120); do [[ $(service_state plugplay) == RUNNING ]] && break; sleep 1; done
  [[ $(service_state plugplay) == RUNNING ]] || fail "the Wine prefix did not come up"
}

# start_sim_driver BIN SIMCTL SCENARIO: hwgate-sim.sys from BIN as the kernel driver HwGate,
# running, loaded with the scenario by the Windows path SIMCTL of hwgate-simctl.exe.
start_sim_driver() {
  cp "$1/hwgate-sim.sys" "$WINEPREFIX/drive_c/windows/system32/drivers/hwgate.sys"
  w sc create HwGate type= kernel binPath= 'C:\windows\system32\drivers\hwgate.sys' >/dev/null
  w sc start HwGate >/dev/null || true
  wait_state HwGate RUNNING 20
  local loaded
  loaded=$(w "$2" load "$(winpath "$3")") || fail "hwgate-simctl load"
  pass "hwgate-simctl load: $loaded"
}

# Helpers of tests/windows/e2e.sh: the Wine session, service states, waits, and what the
# scenario file says the agent should show. Sourced, not run.

step() { printf '== %s\n' "$*"; }
fail() {
  printf 'FAIL: %s\n' "$*" >&2
  exit 1
}

# A fresh prefix and its own persistent wineserver (services and the kernel driver live in it
# between wine calls); both go away on every way out of the script.
StartWine() {
  WORK=$(mktemp -d "${TMPDIR:-/tmp}/vigil-e2e.XXXXXX")
  export WINEPREFIX=$WORK/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  export WINEARCH=win64
  trap StopWine EXIT
  mkdir -p "$WINEPREFIX"
  wineserver -p
  timeout 120 wine cmd /c exit >/dev/null 2>&1 || fail "wine cannot set up a prefix"
}

StopWine() {
  local status=$?
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  rm -rf "$WORK"
  exit "$status"
}

# A Windows program, without the carriage returns of its output; a hung call ends after 60 s.
Wine() {
  timeout 60 wine "$@" | tr -d '\r'
}

ServiceField() {  # SERVICE FIELD: the value of one `sc query` line (STATE shows "4  RUNNING")
  Wine sc query "$1" 2>/dev/null | sed -n "s/^ *$2 *: *//p"
}

# Waits until `sc query` reports the state, and prints the line as it reports it.
WaitState() {  # SERVICE STATE SECONDS
  local deadline=$((SECONDS + $3)) state=""
  while ((SECONDS <= deadline)); do
    state=$(ServiceField "$1" STATE)
    if [[ $state == *" $2" ]]; then
      echo "    $1: STATE : $state"
      return 0
    fi
    sleep 0.5
  done
  fail "$1 did not reach $2 within $3 s (last state: ${state:-none})"
}

ExitCodeIs() {  # SERVICE CODE
  local code
  code=$(ServiceField "$1" WIN32_EXIT_CODE)
  echo "    $1: WIN32_EXIT_CODE : $code"
  [[ $code == "$2 "* || $code == "$2" ]] || fail "$1 exit code is $code, not $2"
}

WaitFor() {  # WHAT SECONDS COMMAND...
  local what=$1 deadline=$((SECONDS + $2))
  shift 2
  until "$@"; do
    ((SECONDS < deadline)) || fail "not within the time allowed: $what"
    sleep 0.5
  done
  echo "    $what"
}

# Output is taken whole before it is searched: a reader that stops early would break the pipe.
StatusHas() {
  local out
  out=$(Wine "$CTL" status 2>/dev/null) && grep -Eq "$1" <<<"$out"
}
EventCountIs() {
  local out
  out=$(Wine "$CTL" events 2>/dev/null) && [[ $(grep -c . <<<"$out") -eq $1 ]]
}

# `reg query` prints "    NAME    TYPE    DATA".
RegHas() {  # QUERY_OUTPUT NAME TYPE DATA
  local line
  line=$(grep -E "^ +$2 +" <<<"$1") || fail "registry value $2 is missing"
  [[ $line =~ ^\ +$2\ +$3\ +(.*)$ ]] || fail "registry value $2 is not $3: $line"
  [[ ${BASH_REMATCH[1]} == "$4" ]] || fail "registry value $2 is '${BASH_REMATCH[1]}', not '$4'"
}
RegValueIs() {  # KEY NAME DATA
  local out
  out=$(Wine reg query "$1" /v "$2" 2>/dev/null) && grep -Eq "^ +$2 +REG_[A-Z_]+ +$3$" <<<"$out"
}

MessageCount() {  # TEXT: lines of the agent's message log holding it (0 with no log yet)
  local count
  count=$(grep -cF "$1" "$MESSAGES" 2>/dev/null) || true
  echo "${count:-0}"
}
MessageCountAbove() { (($(MessageCount "$1") > $2)); }

# --- What the scenario file says ----------------------------------------------------------------
Scenario() {  # FILE PYTHON_EXPRESSION_OVER_s
  python3 -c 'import json, sys; s = json.load(open(sys.argv[1])); print(eval(sys.argv[2]))' "$1" "$2"
}
ScenarioRecordCount() { Scenario "$1" 'len(s["eventLog"]["records"])'; }
ScenarioRecord() { Scenario "$1" "s['eventLog']['records'][$2].replace(' ', '')"; }
ScenarioLogBytes() { Scenario "$1" 'sum(len(bytes.fromhex(r)) for r in s["eventLog"]["records"])'; }
ScenarioFirstRecordTime() { Scenario "$1" 'int(str(s["eventLog"]["firstRecordTime"]), 0)'; }
# The type 1 structure's UUID as vigilctl prints it (the first three fields little-endian).
ScenarioUuid() {
  Scenario "$1" '(lambda u: u[3::-1].hex() + "-" + u[5:3:-1].hex() + "-" + u[7:5:-1].hex() + "-" + u[8:10].hex() + "-" + u[10:16].hex())(next(bytes.fromhex(x["formatted"])[4:20] for x in s["smbios"]["structures"] if x["type"] == 1))'
}

# Every scenario sensor with a reading, converted as the agent converts it, must show up among
# the readings of its kind; at least MIN of them.
CheckSensors() {  # SCENARIO SENSORS_JSON MIN
  python3 - "$1" "$2" "$3" <<'EOF' || fail "sensor readings differ from the scenario"
import json, sys
scenario = json.load(open(sys.argv[1]))
rows = json.load(open(sys.argv[2]))
minimum = int(sys.argv[3])
number = lambda v: int(str(v), 0)
kinds = {number(x["handle"]): x["type"] for x in scenario["smbios"]["structures"]}
# SMBIOS type -> (IPMI sensor type of the row, conversion of the raw value)
convert = {
    28: (1, lambda raw: raw * 0.1),
    26: (2, lambda raw: -(0xFFFF - raw) * 0.001 if raw >= 0x7FFF else raw * 0.001),
    27: (4, lambda raw: float(raw)),
}
matched = missing = 0
for handle, sensor in scenario["sensors"].items():
    raw, kind = number(sensor["raw"]), kinds[number(handle)]
    if raw == 0x8000:
        continue  # the probe has no reading
    ipmi, conversion = convert[kind]
    want = conversion(raw)
    found = [r for r in rows if r["sensorType"] == ipmi and abs(r["reading"] - want) < 0.0005]
    if found:
        matched += 1
        print(f"    0x{number(handle):04X} raw {raw:5d} -> {want:9.3f}  {found[0]['name']}")
    else:
        missing += 1
        print(f"    0x{number(handle):04X} raw {raw:5d} -> {want:9.3f}  NOT FOUND")
print(f"    {matched} readings as the scenario converts them, {missing} missing")
sys.exit(0 if matched >= minimum and missing == 0 else 1)
EOF
}
